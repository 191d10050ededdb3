#pragma once

#include <map>
#include <optional>
#include <string>

#include "scenegraph/ovSpatial.h"

namespace ov::ovmesh {

// The scene units a user can name (mm, cm, dm, m), in metres per unit.
const std::map<std::string, double>& worldUnitsByName();

// States the root's units as metadata. A root that states its units already
// keeps them: the answer is then a warning to show.
std::optional<std::string> setWorldUnits(ovSpatial& root, const std::string& unitName);

}  // namespace ov::ovmesh
