#pragma once

// The parts or the instances of one product definition under their ids. A
// large document holds hundreds of thousands of them, so they are kept in
// blocks (their addresses never change and growing copies nothing) and found
// through an open-addressing hash index instead of a tree of string
// comparisons. Walking them follows the order of the document.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace ov::plmxml {

// Record must be default-constructible and hold its id in a string member `id`.
template <typename Record>
class PlmXmlRecordTable {
public:
    // The record stored under id, made with that id when absent; second tells
    // whether it was made.
    std::pair<Record*, bool> tryEmplace(std::string_view id) {
        if (10 * (mSize + 1) > 7 * mSlots.size()) {
            growIndex();
        }
        const size_t hash = hashOf(id);
        Slot& slot = slotOf(id, hash);
        if (slot.record != kEmpty) {
            return {&at(slot.record - 1), false};
        }
        if (mSize == mBlocks.size() * kBlockSize) {
            mBlocks.push_back(std::make_unique<Record[]>(kBlockSize));
        }
        Record& record = at(mSize++);
        record.id = id;
        slot = {static_cast<uint32_t>(mSize), static_cast<uint32_t>(hash)};
        return {&record, true};
    }

    Record* find(std::string_view id) {
        if (mSlots.empty()) {
            return nullptr;
        }
        const Slot& slot = slotOf(id, hashOf(id));
        return slot.record == kEmpty ? nullptr : &at(slot.record - 1);
    }

    // Empties the table but keeps its blocks, and the room each record's
    // texts and lists have grown, for the next product definition: a large
    // document then reads its later ones without allocating. Needs
    // Record::clear().
    void recycle() {
        for (size_t index = 0; index < mSize; ++index) {
            at(index).clear();
        }
        mSize = 0;
        std::fill(mSlots.begin(), mSlots.end(), Slot{kEmpty, 0});
    }

    size_t size() const { return mSize; }
    // The records in document order.
    Record& operator[](size_t index) { return at(index); }
    const Record& operator[](size_t index) const { return at(index); }

    // Calls visit(record) for each record in document order.
    template <typename Visit>
    void forEach(Visit&& visit) {
        for (size_t index = 0; index < mSize; ++index) {
            visit(at(index));
        }
    }

private:
    static constexpr size_t kBlockSize = 256;
    static constexpr size_t kInitialSlots = 64;
    static constexpr uint32_t kEmpty = 0;

    Record& at(size_t index) const { return mBlocks[index / kBlockSize][index % kBlockSize]; }

    // A record's index + 1 (0 when empty), beside the low bits of its id's
    // hash: a probe reads the record itself only when those match.
    struct Slot {
        uint32_t record;
        uint32_t hash;
    };

    static size_t hashOf(std::string_view id) { return std::hash<std::string_view>()(id); }

    // The slot holding id, or the empty one where it would go.
    Slot& slotOf(std::string_view id, size_t hash) {
        const size_t mask = mSlots.size() - 1;
        for (size_t index = hash & mask;; index = (index + 1) & mask) {
            Slot& slot = mSlots[index];
            if (slot.record == kEmpty ||
                (slot.hash == static_cast<uint32_t>(hash) && at(slot.record - 1).id == id)) {
                return slot;
            }
        }
    }

    void growIndex() {
        std::vector<Slot> slots(std::max(kInitialSlots, 2 * mSlots.size()), Slot{kEmpty, 0});
        mSlots.swap(slots);
        for (const Slot& slot : slots) {
            if (slot.record != kEmpty) {
                Slot& moved = slotOf(at(slot.record - 1).id, slot.hash);
                moved = slot;
            }
        }
    }

    std::vector<std::unique_ptr<Record[]>> mBlocks;
    size_t mSize = 0;
    // At most 70% full: probes compare stored hashes, so they stay cheap
    // when longer, and a smaller table stays in the cache.
    std::vector<Slot> mSlots;
};

}  // namespace ov::plmxml
