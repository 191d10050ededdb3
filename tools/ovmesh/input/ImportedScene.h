#pragma once

#include <string>
#include <vector>

#include "scenegraph/ovSpatial.h"

namespace ov::ovmesh {

// What a reader of the tool's own gives back.
struct ImportedScene {
    ovPointer<ovNode> root;
    // Conditions the import survived (a missing material library...).
    std::vector<std::string> warnings;
};

}  // namespace ov::ovmesh
