#include "obj/ObjModel.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <random>

namespace ov::obj {

namespace {

// Slots of a part's first lookup: room for the few corners of a small group.
constexpr size_t kFirstSlots = 16;
// Probes this long mean the slots cluster: the lookup then spreads them.
constexpr size_t kLongestProbe = 64;
// Slots per vertex beyond which a table does not grow to shorten its probes.
constexpr size_t kSparsest = 16;

// Keys of the scattering hash, drawn once per run: no file can be written to
// make its corners collide.
const std::array<uint64_t, 4>& scatterKeys() {
    static const std::array<uint64_t, 4> keys = [] {
        std::random_device device;
        std::array<uint64_t, 4> drawn{};
        for (uint64_t& key : drawn) {
            key = uint64_t{device()} << 32 | device();
        }
        return drawn;
    }();
    return keys;
}

// Files number a corner's position, texture coordinate and normal alike or
// at steady offsets, and name nearby corners together: slots that follow the
// position keep the lookup in cache. Data whose slots cluster anyway is
// looked up by a scattering hash instead: the top bits of a keyed sum of
// products, which takes any two distinct corners to the same slot with the
// chance of two random slots.
size_t hashOf(const ObjCorner& corner, size_t slots, bool scattered) {
    const auto p = static_cast<uint64_t>(static_cast<uint32_t>(corner.position));
    const auto t = static_cast<uint64_t>(static_cast<uint32_t>(corner.texcoord));
    const auto n = static_cast<uint64_t>(static_cast<uint32_t>(corner.normal));
    if (!scattered) {
        return static_cast<size_t>(p + (t - p) * 0x9E3779B1ULL + (n - p) * 0x85EBCA77ULL) & (slots - 1);
    }
    const std::array<uint64_t, 4>& keys = scatterKeys();
    const uint64_t sum = keys[0] + keys[1] * p + keys[2] * t + keys[3] * n;
    return static_cast<size_t>(sum >> (64 - std::countr_zero(slots)));
}

constexpr size_t kTooFar = SIZE_MAX;

}  // namespace

int ObjPart::vertexOf(const ObjCorner& corner) {
    if (2 * (mEntries + 1) > mSlots.size()) {
        rebuildLookup(std::max(kFirstSlots, 2 * mSlots.size()), mScattered);
    }
    size_t slot = slotOf(corner);
    while (slot == kTooFar) {
        spread();
        slot = slotOf(corner);
    }
    if (mSlots[slot] < 0) {
        mSlots[slot] = static_cast<int>(vertices.size());
        vertices.push_back(corner);
        ++mEntries;
    }
    return mSlots[slot];
}

int ObjPart::addVertex(const ObjCorner& corner) {
    vertices.push_back(corner);
    return static_cast<int>(vertices.size() - 1);
}

void ObjPart::dropLookup() {
    std::vector<int>().swap(mSlots);
    mEntries = 0;
}

// The slot of a corner's vertex, or the free slot the corner would take;
// kTooFar when the probe grows long while the lookup can still spread. The
// table always has free slots, so a probe ends.
size_t ObjPart::slotOf(const ObjCorner& corner) const {
    const size_t mask = mSlots.size() - 1;
    size_t slot = hashOf(corner, mSlots.size(), mScattered);
    for (size_t probes = 1;; ++probes, slot = (slot + 1) & mask) {
        const int vertex = mSlots[slot];
        if (vertex < 0 || vertices[static_cast<size_t>(vertex)] == corner) {
            return slot;
        }
        if (probes == kLongestProbe && canSpread()) {
            return kTooFar;
        }
    }
}

// A table too small for the spread of the numbers grows; one sparse enough
// that still clusters turns to the scattering hash, and that only grows
// while it is not yet sparse. Each step spreads further and there are few,
// so that no run of corners makes the lookup grow out of proportion.
bool ObjPart::canSpread() const {
    return mSlots.size() < kSparsest * mEntries || !mScattered;
}

void ObjPart::spread() {
    size_t slots = mSlots.size();
    bool scattered = mScattered;
    spreadShape(slots, scattered);
    rebuildLookup(slots, scattered);
}

void ObjPart::spreadShape(size_t& slots, bool& scattered) const {
    const bool sparse = slots >= kSparsest * mEntries;
    scattered = scattered || sparse;
    slots = sparse ? slots : 2 * slots;
}

void ObjPart::rebuildLookup(size_t slots, bool scattered) {
    const std::vector<int> old = std::move(mSlots);
    // A shape that clusters these vertices too spreads further.
    for (;; spreadShape(slots, scattered)) {
        mSlots.assign(slots, -1);
        mScattered = scattered;
        if (refill(old)) {
            return;
        }
    }
}

// Puts the vertices of an old table into the slots; false as soon as one
// probes too long.
bool ObjPart::refill(const std::vector<int>& old) {
    for (const int vertex : old) {
        if (vertex >= 0) {
            const size_t slot = slotOf(vertices[static_cast<size_t>(vertex)]);
            if (slot == kTooFar) {
                return false;
            }
            mSlots[slot] = vertex;
        }
    }
    return true;
}

}  // namespace ov::obj
