#include "core/UpAxes.h"

#include <algorithm>
#include <iterator>

namespace ov {

namespace {

// docs/formats.md gives each its reason.
constexpr std::string_view kYUp[] = {
    // By the formats' own definitions.
    "gltf", "glb", "x3d", "x3db",
    // By what their writers do.
    "obj", "fbx", "ply", "off", "ms3d", "ac", "acc", "ac3d", "b3d", "lwo", "lxo", "lws", "mot", "x", "irr",
    "irrmesh", "mesh", "sib", "pmx", "bvh", "assbin",
    // Turned Y-up by assimp's reader.
    "dae", "zae", "dxf", "ifc", "ifczip", "3ds", "prj", "ase", "ask", "md2", "md3", "mdc", "mdl", "md5mesh",
    "md5anim", "md5camera", "iqm"};

}  // namespace

SceneUp sceneUpOfFormat(std::string_view extension) {
    return std::find(std::begin(kYUp), std::end(kYUp), extension) != std::end(kYUp) ? SceneUp::Y : SceneUp::Z;
}

}  // namespace ov
