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

// Record must be default-constructible, hold its id in a member `id` (a
// string, or a view of a text that lasts as long as the record) and have
// clear() to return to its state when new.
template <typename Record>
class PlmXmlRecordTable {
public:
    // The record stored under id, made with that id when absent; second tells
    // whether it was made.
    std::pair<Record*, bool> tryEmplace(std::string_view id) {
        if (10 * (mSize + 1) > 7 * mSlots.size()) {
            rebuildIndex(std::max(kInitialSlots, 2 * mSlots.size()), false);
        }
        const Probe found = probe(id);
        if (found.slot->record != kEmpty) {
            return {&at(found.slot->record - 1), false};
        }
        if (mSize == mBlocks.size() * kBlockSize) {
            mBlocks.push_back(std::make_unique<Record[]>(kBlockSize));
        }
        // A record left by an earlier product definition is emptied as it is
        // taken, while it is in the cache anyway.
        Record& record = at(mSize++);
        record.clear();
        record.id = id;
        *found.slot = {static_cast<uint32_t>(mSize), found.hash};
        return {&record, true};
    }

    Record* find(std::string_view id) {
        if (mSlots.empty()) {
            return nullptr;
        }
        const Slot& slot = *probe(id).slot;
        return slot.record == kEmpty ? nullptr : &at(slot.record - 1);
    }

    // Empties the table but keeps its blocks, and the room each record's
    // texts and lists have grown, for the next product definition: a large
    // document then reads its later ones without allocating.
    void recycle() {
        mSize = 0;
        mScattering = false;
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

    // Past this many slots, a probe tells that the ids do not suit the serial hash.
    static constexpr size_t kLongProbe = 32;

    // Ids are mostly a common text and a serial number ("id17", "inst_0042").
    // The number, added to a hash of the text, keeps records made one after
    // another in neighbouring slots, where a probe finds them in the cache.
    static size_t serialHashOf(std::string_view id) {
        constexpr size_t kMaxSerialDigits = 18;
        size_t textEnd = id.size();
        while (textEnd > 0 && id.size() - textEnd < kMaxSerialDigits && id[textEnd - 1] >= '0' &&
               id[textEnd - 1] <= '9') {
            --textEnd;
        }
        size_t serial = 0;
        for (const char digit : id.substr(textEnd)) {
            serial = serial * 10 + static_cast<size_t>(digit - '0');
        }
        return std::hash<std::string_view>()(id.substr(0, textEnd)) + serial;
    }

    size_t hashOf(std::string_view id) const {
        return mScattering ? std::hash<std::string_view>()(id) : serialHashOf(id);
    }

    struct Probe {
        Slot* slot;
        uint32_t hash;
    };

    // The slot holding id, or the empty one where it would go. Ids that
    // gather the serial hash into long runs (several texts sharing their
    // numbers, or a document made to collide) turn the index over to a hash
    // that scatters, once.
    Probe probe(std::string_view id) {
        const size_t hash = hashOf(id);
        const size_t mask = mSlots.size() - 1;
        size_t steps = 0;
        for (size_t index = hash & mask;; index = (index + 1) & mask) {
            Slot& slot = mSlots[index];
            if (slot.record == kEmpty ||
                (slot.hash == static_cast<uint32_t>(hash) && at(slot.record - 1).id == id)) {
                return {&slot, static_cast<uint32_t>(hash)};
            }
            if (++steps == kLongProbe && !mScattering) {
                mScattering = true;
                rebuildIndex(mSlots.size(), true);
                return probe(id);
            }
        }
    }

    // Ids are unique in the index, so a record goes to the first empty slot.
    void rebuildIndex(size_t slotCount, bool rehash) {
        std::vector<Slot> slots(slotCount, Slot{kEmpty, 0});
        mSlots.swap(slots);
        const size_t mask = mSlots.size() - 1;
        for (const Slot& slot : slots) {
            if (slot.record == kEmpty) {
                continue;
            }
            const uint32_t hash = rehash ? static_cast<uint32_t>(hashOf(at(slot.record - 1).id)) : slot.hash;
            size_t index = hash & mask;
            while (mSlots[index].record != kEmpty) {
                index = (index + 1) & mask;
            }
            mSlots[index] = {slot.record, hash};
        }
    }

    std::vector<std::unique_ptr<Record[]>> mBlocks;
    size_t mSize = 0;
    // At most 70% full: probes compare stored hashes, so they stay cheap
    // when longer, and a smaller table stays in the cache.
    std::vector<Slot> mSlots;
    bool mScattering = false;
};

}  // namespace ov::plmxml
