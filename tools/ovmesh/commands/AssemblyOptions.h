#pragma once

#include <CLI/CLI.hpp>

#include "ovmesh/commands/Commands.h"

namespace ov::ovmesh {

// --external-parts and --units of the convert command.
void addAssemblyOptions(CLI::App& convert, ConvertOptions& options);

}  // namespace ov::ovmesh
