#pragma once

#include <string>
#include <vector>

#include "ovmesh/commands/Commands.h"

namespace ov::ovmesh {

// One row of the formats listing: a registered driver of the library, in
// registration order, or one of the tool's own readers after them.
struct FormatReader {
    std::string name;
    bool driver;
    std::vector<std::string> loads;
    std::vector<std::string> saves;
};

// The table both listings walk.
std::vector<FormatReader> formatReaders();

// The library version and the formats table: as lines, or as one JSON
// document ({"library", "version", "readers": [{"name", "driver", "loads",
// "saves"}]}) for scripts.
int runFormats(Session& session, bool json);

}  // namespace ov::ovmesh
