#include "gltf/VertexPatch.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ov::gltf {
namespace {

template <size_t N>
struct Floats {
    float value[N];
};

template <size_t N>
Floats<N> load(const char* at) {
    Floats<N> floats;
    std::memcpy(floats.value, at, sizeof floats.value);
    return floats;
}

template <size_t N>
void store(char* at, const Floats<N>& floats) {
    std::memcpy(at, floats.value, sizeof floats.value);
}

// Non-finite values become 0.
template <size_t N>
uint64_t makeFinite(Floats<N>& floats) {
    uint64_t changed = 0;
    for (float& value : floats.value) {
        if (!std::isfinite(value)) {
            value = 0;
            ++changed;
        }
    }
    return changed;
}

uint64_t patchNormal(char* at) {
    const Floats<3> normal = load<3>(at);
    const float x = normal.value[0];
    const float y = normal.value[1];
    const float z = normal.value[2];
    // Most normals are of unit length already: only the others pay for a root.
    const float squared = x * x + y * y + z * z;
    if (std::abs(squared - 1.0f) < 1e-6f) {
        return 0;
    }
    const double length = std::sqrt(double{x} * x + double{y} * y + double{z} * z);
    if (!std::isfinite(length) || length == 0) {
        store(at, Floats<3>{{0, 0, 1}});
        return 1;
    }
    store(at, Floats<3>{{static_cast<float>(x / length), static_cast<float>(y / length),
                         static_cast<float>(z / length)}});
    return 0;
}

uint64_t patchTexCoord(char* at) {
    Floats<2> uv = load<2>(at);
    const uint64_t changed = makeFinite(uv);
    uv.value[1] = 1.0f - uv.value[1];
    store(at, uv);
    return changed;
}

uint64_t patchColor(char* at) {
    Floats<4> color = load<4>(at);
    uint64_t changed = makeFinite(color);
    for (float& channel : color.value) {
        if (channel < 0 || channel > 1) {
            channel = std::clamp(channel, 0.0f, 1.0f);
            ++changed;
        }
    }
    store(at, color);
    return changed;
}

}  // namespace

VertexLayout VertexLayout::of(const ovAttributes& attributes, const std::vector<int>& texCoordUnits) {
    VertexLayout layout;
    layout.stride = attributes.GetChannelQuantityByte();
    layout.normalOffset = attributes.GetNormalOffsetByte();
    layout.colorOffset = attributes.GetColorOffsetByte();
    for (const int unit : texCoordUnits) {
        layout.texCoordOffsets.push_back(attributes.GetTCoordOffsetByte(unit));
    }
    return layout;
}

std::array<float, 6> positionBounds(const char* data, size_t count, size_t stride) {
    std::array<float, 6> bounds{INFINITY, INFINITY, INFINITY, -INFINITY, -INFINITY, -INFINITY};
    for (size_t v = 0; v < count; ++v) {
        Floats<3> position = load<3>(data + v * stride);
        makeFinite(position);
        for (int axis = 0; axis < 3; ++axis) {
            bounds[axis] = std::min(bounds[axis], position.value[axis]);
            bounds[axis + 3] = std::max(bounds[axis + 3], position.value[axis]);
        }
    }
    return bounds;
}

uint64_t patchVertices(char* data, size_t count, const VertexLayout& layout) {
    uint64_t changed = 0;
    for (size_t v = 0; v < count; ++v) {
        char* vertex = data + v * static_cast<size_t>(layout.stride);
        Floats<3> position = load<3>(vertex);
        if (const uint64_t fixed = makeFinite(position)) {
            store(vertex, position);
            changed += fixed;
        }
        if (layout.normalOffset >= 0) {
            changed += patchNormal(vertex + layout.normalOffset);
        }
        for (const int offset : layout.texCoordOffsets) {
            changed += patchTexCoord(vertex + offset);
        }
        if (layout.colorOffset >= 0) {
            changed += patchColor(vertex + layout.colorOffset);
        }
    }
    return changed;
}

}  // namespace ov::gltf
