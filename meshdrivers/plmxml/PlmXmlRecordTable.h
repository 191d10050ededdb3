#pragma once

// The parts or the instances of one product definition under their ids. A
// large document holds hundreds of thousands of them, so they are kept in
// blocks (their addresses never change and growing copies nothing) and found
// through an open-addressing hash index instead of a tree of string
// comparisons. Walking them follows the order of the document.

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
        if (2 * (mSize + 1) > mSlots.size()) {
            growIndex();
        }
        uint32_t& slot = slotOf(id);
        if (slot != kEmpty) {
            return {&at(slot - 1), false};
        }
        if (mSize == mBlocks.size() * kBlockSize) {
            mBlocks.push_back(std::make_unique<Record[]>(kBlockSize));
        }
        Record& record = at(mSize++);
        record.id = id;
        slot = static_cast<uint32_t>(mSize);
        return {&record, true};
    }

    Record* find(std::string_view id) {
        if (mSlots.empty()) {
            return nullptr;
        }
        const uint32_t slot = slotOf(id);
        return slot == kEmpty ? nullptr : &at(slot - 1);
    }

    size_t size() const { return mSize; }
    Record& operator[](size_t index) { return at(index); }
    const Record& operator[](size_t index) const { return mBlocks[index / kBlockSize][index % kBlockSize]; }

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

    Record& at(size_t index) { return mBlocks[index / kBlockSize][index % kBlockSize]; }

    // The slot holding id (record index + 1), or the empty one where it would go.
    uint32_t& slotOf(std::string_view id) {
        const size_t mask = mSlots.size() - 1;
        for (size_t slot = std::hash<std::string_view>()(id) & mask;; slot = (slot + 1) & mask) {
            if (mSlots[slot] == kEmpty || at(mSlots[slot] - 1).id == id) {
                return mSlots[slot];
            }
        }
    }

    void growIndex() {
        std::vector<uint32_t> slots(std::max(kInitialSlots, 2 * mSlots.size()), kEmpty);
        mSlots.swap(slots);
        for (size_t index = 0; index < mSize; ++index) {
            slotOf(at(index).id) = static_cast<uint32_t>(index + 1);
        }
    }

    std::vector<std::unique_ptr<Record[]>> mBlocks;
    size_t mSize = 0;
    // Half empty at most, so that probes stay short.
    std::vector<uint32_t> mSlots;
};

}  // namespace ov::plmxml
