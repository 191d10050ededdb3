#include "system/ovVariantContainers.h"

#include <algorithm>

namespace ov {

ovVariant& ovVariantMapImpl::operator[](const std::string& key) {
    auto first = mItems.lower_bound(key);
    if (first == mItems.end() || first->first != key) {
        first = mItems.emplace_hint(first, key, ovVariant());
    }
    return first->second;
}

bool ovVariantMapImpl::insert(const std::string& key, const ovVariant& value) {
    const auto first = mItems.lower_bound(key);
    if (first != mItems.end() && first->first == key) {
        return false;
    }
    mItems.emplace_hint(first, key, value);
    return true;
}

void ovVariantMapImpl::multiInsert(const std::string& key, const ovVariant& value, bool allowEqualValue) {
    const auto [first, last] = mItems.equal_range(key);
    if (!allowEqualValue &&
        std::any_of(first, last, [&value](const auto& entry) { return entry.second == value; })) {
        return;
    }
    // Placed after the values already under the key, so they keep their order.
    mItems.emplace_hint(last, key, value);
}

ovVariantMapImpl ovVariantMapImpl::toFlattenMap(char separator) const {
    // An explicit stack instead of recursion, so that a deeply nested map cannot
    // overflow the call stack; one key buffer is shared by every level.
    struct Level {
        const_iterator next;
        const_iterator end;
        size_t prefixLength;
    };
    ovVariantMapImpl flat;
    std::string key;
    std::vector<Level> levels{{begin(), end(), 0}};
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next == level.end) {
            levels.pop_back();
            continue;
        }
        const auto& [name, value] = *level.next++;
        key.resize(level.prefixLength);
        key += name;
        if (value.getType() == ovVariant::Map) {
            key += separator;
            const ovVariantMapImpl& inner = value.getMap();
            levels.push_back({inner.begin(), inner.end(), key.size()});
        } else {
            flat.mItems.emplace(key, value);
        }
    }
    return flat;
}

}  // namespace ov
