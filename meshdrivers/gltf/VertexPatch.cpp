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

// Non-finite values become 0; answers how many did.
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

bool isUnit(const Floats<3>& normal) {
    const float squared = normal.value[0] * normal.value[0] + normal.value[1] * normal.value[1] +
                          normal.value[2] * normal.value[2];
    // Within 1e-5 of unit length, well inside what readers accept (5e-5), so
    // that normals written with six decimals pass as they are.
    return std::abs(squared - 1.0f) < 2e-5f;
}

// Scales a normal to unit length; one of length 0 or not finite becomes +Z
// and counts as changed.
uint64_t mendNormal(Floats<3>& normal) {
    const double x = normal.value[0];
    const double y = normal.value[1];
    const double z = normal.value[2];
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!std::isfinite(length) || length == 0) {
        normal = {{0, 0, 1}};
        return 1;
    }
    normal = {
        {static_cast<float>(x / length), static_cast<float>(y / length), static_cast<float>(z / length)}};
    return 0;
}

bool isColour(const Floats<4>& color) {
    return std::all_of(std::begin(color.value), std::end(color.value),
                       [](float channel) { return channel >= 0 && channel <= 1; });
}

uint64_t mendColour(Floats<4>& color) {
    uint64_t changed = makeFinite(color);
    for (float& channel : color.value) {
        if (channel < 0 || channel > 1) {
            channel = std::clamp(channel, 0.0f, 1.0f);
            ++changed;
        }
    }
    return changed;
}

template <size_t N>
bool allFinite(const Floats<N>& floats) {
    return std::all_of(std::begin(floats.value), std::end(floats.value),
                       [](float value) { return std::isfinite(value); });
}

bool vertexIsSound(const char* vertex, const VertexLayout& layout) {
    const bool texCoordsFinite =
        std::all_of(layout.texCoordOffsets.begin(), layout.texCoordOffsets.end(),
                    [vertex](int offset) { return allFinite(load<2>(vertex + offset)); });
    return allFinite(load<3>(vertex)) && texCoordsFinite &&
           (layout.normalOffset < 0 || isUnit(load<3>(vertex + layout.normalOffset))) &&
           (layout.colorOffset < 0 || isColour(load<4>(vertex + layout.colorOffset)));
}

// Applies mend to the N floats at at, storing them back when it changed any.
template <size_t N, typename Mend>
uint64_t mendAt(char* at, Mend mend) {
    Floats<N> floats = load<N>(at);
    const uint64_t changed = mend(floats);
    store(at, floats);
    return changed;
}

void flipTexCoords(char* vertex, const VertexLayout& layout) {
    for (const int offset : layout.texCoordOffsets) {
        Floats<2> uv = load<2>(vertex + offset);
        uv.value[1] = 1.0f - uv.value[1];
        store(vertex + offset, uv);
    }
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

size_t verticesPerPiece(const VertexLayout& layout) {
    // Larger than the file stream's buffer, so that each piece goes straight
    // to the file.
    constexpr size_t kPieceBytes = 1 << 18;
    return std::max(kPieceBytes / static_cast<size_t>(layout.stride), size_t{1});
}

VertexScan scanVertices(const char* data, size_t count, const VertexLayout& layout) {
    VertexScan scan{{INFINITY, INFINITY, INFINITY, -INFINITY, -INFINITY, -INFINITY}, {}};
    const size_t perPiece = verticesPerPiece(layout);
    scan.unsoundPieces.resize((count + perPiece - 1) / perPiece);
    for (size_t v = 0; v < count; ++v) {
        const char* vertex = data + v * static_cast<size_t>(layout.stride);
        if (!vertexIsSound(vertex, layout)) {
            scan.unsoundPieces[v / perPiece] = true;
        }
        Floats<3> position = load<3>(vertex);
        makeFinite(position);
        for (int axis = 0; axis < 3; ++axis) {
            scan.bounds[axis] = std::min(scan.bounds[axis], position.value[axis]);
            scan.bounds[axis + 3] = std::max(scan.bounds[axis + 3], position.value[axis]);
        }
    }
    return scan;
}

uint64_t mendVertices(char* data, size_t count, const VertexLayout& layout) {
    uint64_t changed = 0;
    for (size_t v = 0; v < count; ++v) {
        char* vertex = data + v * static_cast<size_t>(layout.stride);
        if (layout.flipV) {
            flipTexCoords(vertex, layout);
        }
        if (vertexIsSound(vertex, layout)) {
            continue;
        }
        changed += mendAt<3>(vertex, [](Floats<3>& position) { return makeFinite(position); });
        if (layout.normalOffset >= 0) {
            changed += mendAt<3>(vertex + layout.normalOffset, mendNormal);
        }
        for (const int offset : layout.texCoordOffsets) {
            changed += mendAt<2>(vertex + offset, [](Floats<2>& uv) { return makeFinite(uv); });
        }
        if (layout.colorOffset >= 0) {
            changed += mendAt<4>(vertex + layout.colorOffset, mendColour);
        }
    }
    return changed;
}

}  // namespace ov::gltf
