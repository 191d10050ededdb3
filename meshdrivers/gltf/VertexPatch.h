#pragma once

// Vertex data as glTF readers take it. The scene's texture coordinates have
// their origin at the bottom of the image, glTF's at the top: v becomes
// 1 - v. Readers refuse values that are not finite, normals that are not of
// unit length and colours outside [0, 1]; such values are made sound here
// (0, the normal scaled to unit length or +Z when it has none, the colour
// clamped) and counted, so that the save can say how many it changed.

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

    static VertexLayout of(const ovAttributes& attributes, const std::vector<int>& texCoordUnits);
};

// Patches count vertices at data in place; answers how many values it had
// to make sound.
uint64_t patchVertices(char* data, size_t count, const VertexLayout& layout);

// The least and greatest x, y and z of count positions, stride bytes apart,
// as patchVertices writes them.
std::array<float, 6> positionBounds(const char* data, size_t count, size_t stride);

}  // namespace ov::gltf
