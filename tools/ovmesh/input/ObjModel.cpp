#include "ovmesh/input/ObjModel.h"

#include <algorithm>
#include <cstdint>

namespace ov::ovmesh {

namespace {

// Probes this long mean the slots cluster: the lookup then scatters.
constexpr size_t kLongestProbe = 64;
// Slots per vertex beyond which a table does not grow to shorten its probes.
constexpr size_t kSparsest = 16;

// Files number a corner's position, texture coordinate and normal alike or
// at steady offsets, and name nearby corners together: slots that follow the
// position keep the lookup in cache. Data whose slots cluster anyway is
// looked up by a scattering hash instead.
size_t slotOf(const ObjCorner& corner, size_t mask, bool scattered) {
    const auto p = static_cast<uint64_t>(static_cast<uint32_t>(corner.position));
    const auto t = static_cast<uint64_t>(static_cast<uint32_t>(corner.texcoord));
    const auto n = static_cast<uint64_t>(static_cast<uint32_t>(corner.normal));
    if (!scattered) {
        return static_cast<size_t>(p + (t - p) * 0x9E3779B1ULL + (n - p) * 0x85EBCA77ULL) & mask;
    }
    uint64_t hash = p * 0x9E3779B97F4A7C15ULL ^ t * 0xC2B2AE3D27D4EB4FULL ^ n * 0x165667B19E3779F9ULL;
    return static_cast<size_t>(hash ^ hash >> 29) & mask;
}

}  // namespace

int ObjPart::vertexOf(const ObjCorner& corner) {
    if (vertices.size() * 2 >= mSlots.size()) {
        growLookup();
    }
    const size_t mask = mSlots.size() - 1;
    size_t probes = 0;
    for (size_t slot = slotOf(corner, mask, mScattered);; slot = (slot + 1) & mask) {
        if (++probes == kLongestProbe && (mSlots.size() < kSparsest * vertices.size() || !mScattered)) {
            // A table too small for the spread of the numbers grows; one sparse
            // enough that still clusters turns to the scattering hash.
            mScattered = mScattered || mSlots.size() >= kSparsest * vertices.size();
            growLookup();
            return vertexOf(corner);
        }
        const int vertex = mSlots[slot];
        if (vertex < 0) {
            mSlots[slot] = static_cast<int>(vertices.size());
            vertices.push_back(corner);
            return mSlots[slot];
        }
        if (vertices[static_cast<size_t>(vertex)] == corner) {
            return vertex;
        }
    }
}

int ObjPart::addVertex(const ObjCorner& corner) {
    vertices.push_back(corner);
    return static_cast<int>(vertices.size() - 1);
}

void ObjPart::dropLookup() {
    std::vector<int>().swap(mSlots);
}

void ObjPart::growLookup() {
    mSlots.assign(std::max<size_t>(64, mSlots.size() * 2), -1);
    const size_t mask = mSlots.size() - 1;
    for (size_t vertex = 0; vertex < vertices.size(); ++vertex) {
        size_t slot = slotOf(vertices[vertex], mask, mScattered);
        while (mSlots[slot] >= 0) {
            slot = (slot + 1) & mask;
        }
        mSlots[slot] = static_cast<int>(vertex);
    }
}

}  // namespace ov::ovmesh
