#pragma once

// Tangents for normal maps. A glTF reader derives those a file leaves out,
// each in its own way; written, they give every reader the same surface.

#include <vector>

#include "scenegraph/ovBuffers.h"

namespace ov::gltf {

// Per vertex x, y, z and handedness w (+1 or -1), for the texture
// coordinates of unit as the scene holds them (v growing up the image, the
// way normal maps' green channel points) over the triangles given: the
// direction of growing u
// in the surface, at right angles to the vertex's normal as written (see
// VertexPatch.h) and of unit length. Where the triangles give no direction,
// any at right angles to the normal. The vertices must have normals, loaded,
// and the indices must lie within them; empty when the indices cannot be
// loaded.
std::vector<float> tangentsOf(ovVertexBuffer& vertices, int unit,
                              const std::vector<ovIndexBuffer*>& triangles);

}  // namespace ov::gltf
