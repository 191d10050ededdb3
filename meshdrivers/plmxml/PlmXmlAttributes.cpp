#include "plmxml/PlmXmlAttributes.h"

#include <algorithm>
#include <utility>

namespace ov::plmxml {

void PlmXmlTextStore::takeBlockFor(size_t size) {
    // Blocks too small for the text are passed over; a text longer than a
    // block gets one of its own size.
    while (mTaken < mBlocks.size() && mBlocks[mTaken].size < size) {
        ++mTaken;
    }
    if (mTaken == mBlocks.size()) {
        const size_t blockSize = std::max(kBlockSize, size);
        mBlocks.push_back({std::make_unique_for_overwrite<char[]>(blockSize), blockSize});
    }
    mNext = mBlocks[mTaken].bytes.get();
    mRoom = mBlocks[mTaken].size;
    ++mTaken;
}

void PlmXmlTextStore::clear() {
    mTaken = 0;
    mNext = nullptr;
    mRoom = 0;
}

uint32_t PlmXmlAttributeNames::numberOf(std::string_view name) {
    // Records of one kind repeat the same few names: a small table indexed by
    // the name's length and ends answers most lookups without hashing it.
    const size_t cacheSlot = name.empty() ? 0
                                          : (name.size() * 7 + static_cast<unsigned char>(name.front()) * 3 +
                                             static_cast<unsigned char>(name.back())) %
                                                kRecentNames;
    RecentName& recent = mRecentNames[cacheSlot];
    if (recent.number != 0 && recent.name == name) {
        return recent.number - 1;
    }
    const auto [entry, added] = mNames.tryEmplace(name);
    if (added) {
        entry->number = static_cast<uint32_t>(mNames.size() - 1);
    }
    recent = {entry->id, entry->number + 1};
    return entry->number;
}

void PlmXmlAttributeNames::set(PlmXmlAttributeList& list, std::string_view name, std::string_view text) {
    list.push_back({numberOf(name), static_cast<uint32_t>(list.size()), text, false});
}

void PlmXmlAttributeNames::setBoolean(PlmXmlAttributeList& list, std::string_view name, bool value) {
    list.push_back({numberOf(name), static_cast<uint32_t>(list.size()), value ? "true" : "false", true});
}

PlmXmlAttributeNames::Order PlmXmlAttributeNames::order() const {
    Order order;
    std::vector<uint32_t> byName(mNames.size());
    for (uint32_t number = 0; number < byName.size(); ++number) {
        byName[number] = number;
    }
    std::sort(byName.begin(), byName.end(),
              [this](uint32_t left, uint32_t right) { return mNames[left].id < mNames[right].id; });
    order.rankOf.resize(byName.size());
    order.names.reserve(byName.size());
    for (uint32_t rank = 0; rank < byName.size(); ++rank) {
        order.rankOf[byName[rank]] = rank;
        order.names.push_back(mNames[byName[rank]].id);
    }
    return order;
}

void settle(PlmXmlAttributeList& list, const PlmXmlAttributeNames::Order& order) {
    for (PlmXmlAttribute& attribute : list) {
        attribute.key = order.rankOf[attribute.key];
    }
    const auto oneValuePerNameInOrder = [](const PlmXmlAttribute& left, const PlmXmlAttribute& right) {
        return left.key >= right.key;
    };
    if (std::adjacent_find(list.begin(), list.end(), oneValuePerNameInOrder) == list.end()) {
        return;
    }
    std::sort(list.begin(), list.end(), [](const PlmXmlAttribute& left, const PlmXmlAttribute& right) {
        return left.key != right.key ? left.key < right.key : left.sequence < right.sequence;
    });
    auto kept = list.begin();
    for (auto run = list.begin(); run != list.end();) {
        const auto runEnd = std::find_if(
            run, list.end(), [&run](const PlmXmlAttribute& attribute) { return attribute.key != run->key; });
        if (kept != runEnd - 1) {
            *kept = *(runEnd - 1);
        }
        ++kept;
        run = runEnd;
    }
    list.erase(kept, list.end());
}

ovVariantMapImpl toVariantMap(PlmXmlAttributeList& list, const PlmXmlAttributeNames::Order& order) {
    settle(list, order);
    // In key order, so that each entry lands at the map's end.
    ovVariantMapImpl map;
    map.reserve(list.size());
    for (const PlmXmlAttribute& attribute : list) {
        map.insert(order.names[attribute.key], attribute.value());
    }
    return map;
}

}  // namespace ov::plmxml
