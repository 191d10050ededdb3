#pragma once

#include <map>
#include <string>
#include <vector>

#include "system/ovVariant.h"

namespace ov {

class ovVariantListImpl {
public:
    using Container = std::vector<ovVariant>;
    using iterator = Container::iterator;
    using const_iterator = Container::const_iterator;

    void push_back(const ovVariant& value) { mItems.push_back(value); }
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
// (multiInsert); they keep the order in which they were added.
class ovVariantMapImpl {
public:
    using Container = std::multimap<std::string, ovVariant>;
    using iterator = Container::iterator;
    using const_iterator = Container::const_iterator;

    // The first value under key, inserted empty when the key is absent.
    ovVariant& operator[](const std::string& key);
    // Adds the pair when the key is absent; answers whether it was added.
    bool insert(const std::string& key, const ovVariant& value);
    // Adds value under key beside the values already there. With allowEqualValue
    // false, a value equal to one already under the key is not added again.
    void multiInsert(const std::string& key, const ovVariant& value, bool allowEqualValue);
    iterator find(const std::string& key) { return mItems.find(key); }
    const_iterator find(const std::string& key) const { return mItems.find(key); }
    // Removes every value under key; answers how many were removed.
    size_t erase(const std::string& key) { return mItems.erase(key); }
    iterator begin() { return mItems.begin(); }
    iterator end() { return mItems.end(); }
    const_iterator begin() const { return mItems.begin(); }
    const_iterator end() const { return mItems.end(); }
    bool empty() const { return mItems.empty(); }
    size_t size() const { return mItems.size(); }
    bool operator==(const ovVariantMapImpl& other) const = default;

    // A map without nested maps: a value that is a map is replaced by its entries,
    // whose keys are prefixed with the outer key and the separator, recursively.
    ovVariantMapImpl toFlattenMap(char separator) const;

private:
    Container mItems;
};

}  // namespace ov
