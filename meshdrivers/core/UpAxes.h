#pragma once

#include <string_view>

#include "core/ovMeshDriversExport.h"

namespace ov {

enum class SceneUp { Y, Z };

// Which axis points up in the scene a file format's reader gives: the
// format's own definition where it says (glTF, X3D, 3MF), else what its
// writers do (OBJ and PLY from modellers and scanners: Y; STL for printing,
// CAD: Z), and Y where assimp's reader turns the file so
// (COLLADA by its up_axis, DXF, IFC, 3DS, ASE, the Quake and Doom models).
// Formats of no known habit are Z, as CAD scenes are. extension is lower case.
OVMESHDRIVERS_API SceneUp sceneUpOfFormat(std::string_view extension);

}  // namespace ov
