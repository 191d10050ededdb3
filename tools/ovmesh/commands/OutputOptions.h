#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

#include "collada/ovColladaMeshDriver.h"
#include "ovmesh/commands/Commands.h"

namespace ov::ovmesh {

// --up and --precision of the convert command.
void addOutputOptions(CLI::App& convert, ConvertOptions& options);

// What the tool saves COLLADA with: everything viewers need to show the model
// as it was (transparency, phong, polylines, vertex colours), up as the up
// axis ("y" or "z"; empty follows the input: Y for OBJ, whose convention it
// is, Z for the rest) and the given significant digits.
ColladaSaveOptions colladaOptionsFor(const std::string& input, const std::string& up, int significantDigits);

// Gives the registered COLLADA driver these options for the saves that follow.
void useColladaOptions(const ColladaSaveOptions& options);

// A warning when the scene's meshes carry vertex colours and output's format
// has no place for them.
std::optional<std::string> droppedColoursWarning(const ovSpatial& scene, const std::string& input,
                                                 const std::string& output);

}  // namespace ov::ovmesh
