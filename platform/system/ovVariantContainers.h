#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "system/ovVariant.h"

namespace ov {

class ovVariantListImpl {
public:
    using Container = std::vector<ovVariant>;
    using iterator = Container::iterator;
    using const_iterator = Container::const_iterator;

    void push_back(const ovVariant& value) { mItems.push_back(value); }
    void push_back(ovVariant&& value) { mItems.push_back(std::move(value)); }
    void swap(ovVariantListImpl& other) noexcept { mItems.swap(other.mItems); }
    iterator begin() { return mItems.begin(); }
    iterator end() { return mItems.end(); }
    const_iterator begin() const { return mItems.begin(); }
    const_iterator end() const { return mItems.end(); }
    size_t size() const { return mItems.size(); }
    bool empty() const { return mItems.empty(); }
    const ovVariant& operator[](size_t index) const { return mItems[index]; }
    bool operator==(const ovVariantListImpl& other) const = default;

private:
    Container mItems;
};

// Map from text to variant, ordered by key. A key may hold several values
// (multiInsert); they keep the order in which they were added. The entries
// lie in one sorted array: metadata maps hold a handful of entries each, and a
// scene holds hundreds of thousands of maps, so one block per map beats a
// tree node per entry in both time and memory. Inserting invalidates
// references and iterators into the map, and moves the entries after the new
// one: a large map is filled in key order (then each entry lands at the end).
class ovVariantMapImpl {
public:
    using Container = std::vector<std::pair<std::string, ovVariant>>;
    using iterator = Container::iterator;
    using const_iterator = Container::const_iterator;

    // The first value under key, inserted empty when the key is absent.
    ovVariant& operator[](std::string_view key);
    // Adds the pair when the key is absent; answers whether it was added. A
    // key after every other is added without a search.
    bool insert(std::string_view key, ovVariant value);
    // Adds value under key beside the values already there. With allowEqualValue
    // false, a value equal to one already under the key is not added again.
    void multiInsert(std::string_view key, const ovVariant& value, bool allowEqualValue);
    // The first value under key, or end().
    iterator find(std::string_view key);
    const_iterator find(std::string_view key) const;
    // Removes every value under key; answers how many were removed.
    size_t erase(std::string_view key);
    iterator begin() { return mItems.begin(); }
    iterator end() { return mItems.end(); }
    const_iterator begin() const { return mItems.begin(); }
    const_iterator end() const { return mItems.end(); }
    bool empty() const { return mItems.empty(); }
    size_t size() const { return mItems.size(); }
    void reserve(size_t count) { mItems.reserve(count); }
    bool operator==(const ovVariantMapImpl& other) const = default;

    // A map without nested maps: a value that is a map is replaced by its entries,
    // whose keys are prefixed with the outer key and the separator, recursively.
    ovVariantMapImpl toFlattenMap(char separator) const;

private:
    Container mItems;
};

}  // namespace ov
