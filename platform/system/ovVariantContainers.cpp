#include "system/ovVariantContainers.h"

#include <algorithm>
#include <utility>

namespace ov {

namespace {

struct KeyOrder {
    bool operator()(const std::pair<std::string, ovVariant>& entry, std::string_view key) const {
        return entry.first < key;
    }
    bool operator()(std::string_view key, const std::pair<std::string, ovVariant>& entry) const {
        return key < entry.first;
    }
};

}  // namespace

ovVariant& ovVariantMapImpl::operator[](std::string_view key) {
    auto first = std::lower_bound(mItems.begin(), mItems.end(), key, KeyOrder());
    if (first == mItems.end() || first->first != key) {
        first = mItems.emplace(first, std::string(key), ovVariant());
    }
    return first->second;
}

bool ovVariantMapImpl::insert(std::string_view key, ovVariant value) {
    if (mItems.empty() || mItems.back().first < key) {
        mItems.emplace_back(std::string(key), std::move(value));
        return true;
    }
    const auto first = std::lower_bound(mItems.begin(), mItems.end(), key, KeyOrder());
    if (first != mItems.end() && first->first == key) {
        return false;
    }
    mItems.emplace(first, std::string(key), std::move(value));
    return true;
}

void ovVariantMapImpl::multiInsert(std::string_view key, const ovVariant& value, bool allowEqualValue) {
    const auto [first, last] = std::equal_range(mItems.begin(), mItems.end(), key, KeyOrder());
    if (!allowEqualValue &&
        std::any_of(first, last, [&value](const auto& entry) { return entry.second == value; })) {
        return;
    }
    // Placed after the values already under the key, so they keep their order.
    mItems.emplace(last, std::string(key), value);
}

ovVariantMapImpl::iterator ovVariantMapImpl::find(std::string_view key) {
    const auto found = std::as_const(*this).find(key);
    return mItems.begin() + (found - mItems.cbegin());
}

ovVariantMapImpl::const_iterator ovVariantMapImpl::find(std::string_view key) const {
    const auto first = std::lower_bound(mItems.begin(), mItems.end(), key, KeyOrder());
    return first != mItems.end() && first->first == key ? first : mItems.end();
}

size_t ovVariantMapImpl::erase(std::string_view key) {
    const auto [first, last] = std::equal_range(mItems.begin(), mItems.end(), key, KeyOrder());
    const auto count = static_cast<size_t>(last - first);
    mItems.erase(first, last);
    return count;
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
            flat.multiInsert(key, value, true);
        }
    }
    return flat;
}

}  // namespace ov
