#pragma once

// Attributes of parts and instances as the loader reads them. A large
// document gives hundreds of thousands of records the same few attribute
// names, so each name is numbered once per load and a record keeps numbers
// and values in the order they came. Sorting, merging and comparing them
// then compare numbers, not texts, and no map is made until the scene gets
// its metadata.

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "plmxml/PlmXmlRecordTable.h"
#include "system/ovVariant.h"
#include "system/ovVariantContainers.h"

namespace ov::plmxml {

// Texts of attribute values, copied out of the parser's buffers into blocks
// that never move, so that records keep plain views of them. Emptied for the
// next product definition, the store keeps its blocks.
class PlmXmlTextStore {
public:
    // In line: every attribute of a large document passes here.
    std::string_view add(std::string_view text) {
        if (text.size() > mRoom) {
            takeBlockFor(text.size());
        }
        char* const copy = mNext;
        std::copy(text.begin(), text.end(), copy);
        mNext += text.size();
        mRoom -= text.size();
        return {copy, text.size()};
    }
    void clear();

private:
    // The rest of the block in use is left as it is.
    void takeBlockFor(size_t size);

    static constexpr size_t kBlockSize = 64 * 1024;
    struct Block {
        std::unique_ptr<char[]> bytes;
        size_t size;
    };
    std::vector<Block> mBlocks;
    // How many blocks have been taken since the store was emptied.
    size_t mTaken = 0;
    char* mNext = nullptr;
    size_t mRoom = 0;
};

// Values are texts, or booleans read from user values; kept as text until
// the scene needs them, they sort and compare without a variant's cost.
struct PlmXmlAttribute {
    uint32_t key;
    // Position among the record's attributes when it was set: of two values
    // set under one key, the later one counts.
    uint32_t sequence;
    // In a PlmXmlTextStore; a boolean is kept as "true" or "false".
    std::string_view text;
    bool isBoolean;

    bool sameValue(const PlmXmlAttribute& other) const {
        return isBoolean == other.isBoolean && text == other.text;
    }
    ovVariant value() const { return isBoolean ? ovVariant(text == "true") : ovVariant(std::string(text)); }
};

using PlmXmlAttributeList = std::vector<PlmXmlAttribute>;

// The attribute names met by one load, each numbered once.
class PlmXmlAttributeNames {
public:
    // Appends name = text to list; a value set earlier under name is
    // replaced. The text must last as long as the list (it is kept in a
    // PlmXmlTextStore).
    void set(PlmXmlAttributeList& list, std::string_view name, std::string_view text);
    void setBoolean(PlmXmlAttributeList& list, std::string_view name, bool value);

    // The names sorted: rankOf gives each number's place among them, names
    // the name at each place.
    struct Order {
        std::vector<uint32_t> rankOf;
        std::vector<std::string_view> names;
    };
    Order order() const;

private:
    uint32_t numberOf(std::string_view name);

    struct Name {
        std::string id;
        uint32_t number = 0;
        void clear() { number = 0; }
    };
    PlmXmlRecordTable<Name> mNames;
    static constexpr size_t kRecentNames = 32;
    // Names looked up lately, by a slot of their text: a view of the stored
    // name (which never moves) and its number + 1 (0 for none).
    struct RecentName {
        std::string_view name;
        uint32_t number = 0;
    };
    std::array<RecentName, kRecentNames> mRecentNames{};
};

// Renumbers list by rank, sorts it by name and keeps for each name only the
// value set last.
void settle(PlmXmlAttributeList& list, const PlmXmlAttributeNames::Order& order);

// The list settled, as a map of variants.
ovVariantMapImpl toVariantMap(PlmXmlAttributeList& list, const PlmXmlAttributeNames::Order& order);

}  // namespace ov::plmxml
