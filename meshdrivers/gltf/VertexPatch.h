#pragma once

// Vertex data as glTF readers take it. Readers refuse values that are not
// finite, normals that are not of unit length and colours outside [0, 1];
// such values are mended here (0, the normal scaled to unit length or +Z
// when it has none, the colour clamped) and counted, so that the save can
// say how many it changed. Sound vertices are written as the buffer holds
// them. (glTF's texture coordinates start at the top of the image, the
// scene's at the bottom: the images are written upside down instead, but
// for an image stored as the file it was read from, whose coordinates are
// then written as 1 - v.)

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "scenegraph/ovBuffers.h"

namespace ov::gltf {

struct VertexLayout {
    int stride = 0;
    int normalOffset = -1;
    int colorOffset = -1;
    // Two floats each, for the units written.
    std::vector<int> texCoordOffsets;
    // Whether the texture coordinates are written as 1 - v.
    bool flipV = false;

    static VertexLayout of(const ovAttributes& attributes, const std::vector<int>& texCoordUnits);
};

// The vertices of one piece of the binary data: pieces are written whole,
// straight from the buffer or, when one needs mending, through a copy.
size_t verticesPerPiece(const VertexLayout& layout);

struct VertexScan {
    // The least and greatest x, y and z of the positions as written.
    std::array<float, 6> bounds;
    // Per piece, whether it needs mending.
    std::vector<bool> unsoundPieces;
};

// One read of count vertices at data, before any is written.
VertexScan scanVertices(const char* data, size_t count, const VertexLayout& layout);

// Mends count vertices at data in place, and turns their texture
// coordinates under flipV; answers how many values it mended.
uint64_t mendVertices(char* data, size_t count, const VertexLayout& layout);

}  // namespace ov::gltf
