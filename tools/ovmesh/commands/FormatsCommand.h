#pragma once

#include "ovmesh/commands/Commands.h"

namespace ov::ovmesh {

// The library version, its drivers and the format table: as lines, or as one
// JSON document ({"library", "version", "drivers": [{"name", "loads",
// "saves"}], "reads": [{"extension", "reader", "format"}], "writes":
// [{"extension", "writer"}]}) for scripts.
int runFormats(Session& session, bool json);

}  // namespace ov::ovmesh
