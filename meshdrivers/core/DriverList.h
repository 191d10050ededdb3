#pragma once

// The library's own drivers, in creation order (internal to the library and
// its tests).

#include <vector>

#include "scenegraph/ovCoreMeshDriver.h"

namespace ov {

const std::vector<ovCoreMeshDriver*>& getOvMeshDriverList();

}  // namespace ov
