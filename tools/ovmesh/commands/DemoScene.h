#pragma once

#include "scenegraph/ovSpatial.h"

namespace ov::ovmesh {

// The bundled demo scene, in millimetres: a table assembly ("assembly") with
// a top, a frame of four rails and four legs that are instances of one shared
// part, placed with rotations and translations, in three materials, plus a
// floor layout of polylines.
ovPointer<ovNode> buildDemoScene();

// The table assembly alone, without the floor layout. Its parts carry
// instance metadata with a real mass, a text material, an integer stock
// count, a purchased flag and a release date.
ovPointer<ovNode> buildDemoAssembly();

}  // namespace ov::ovmesh
