#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "system/ovVariantContainers.h"

namespace ov {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// The entries of a map in iteration order, values as texts.
Entries entriesOf(const ovVariantMapImpl& map) {
    Entries entries;
    for (const auto& [key, value] : map) {
        entries.emplace_back(key, value.toString());
    }
    return entries;
}

TEST(VariantMap, IteratesInKeyOrder) {
    ovVariantMapImpl map;
    map["zeta"] = ovVariant(1);
    map["Alpha"] = ovVariant(2);
    map["alpha"] = ovVariant(3);
    map["beta"] = ovVariant(4);
    EXPECT_EQ(entriesOf(map), (Entries{{"Alpha", "2"}, {"alpha", "3"}, {"beta", "4"}, {"zeta", "1"}}));
}

TEST(VariantMap, SubscriptInsertsAnEmptyValueOnceAndAnswersTheFirstValue) {
    ovVariantMapImpl map;
    EXPECT_TRUE(map["key"].isEmpty());
    EXPECT_EQ(map.size(), 1u);
    map.multiInsert("key", ovVariant(2), true);
    map["key"] = ovVariant(1);
    EXPECT_EQ(entriesOf(map), (Entries{{"key", "1"}, {"key", "2"}}));
}

TEST(VariantMap, InsertKeepsAnExistingValue) {
    ovVariantMapImpl map;
    EXPECT_TRUE(map.insert("key", ovVariant("first")));
    EXPECT_FALSE(map.insert("key", ovVariant("second")));
    EXPECT_EQ(entriesOf(map), (Entries{{"key", "first"}}));
}

TEST(VariantMap, MultiInsertKeepsInsertionOrderUnderAKey) {
    ovVariantMapImpl map;
    map.multiInsert("k", ovVariant("c"), false);
    map.multiInsert("a", ovVariant("x"), false);
    map.multiInsert("k", ovVariant("a"), false);
    map.multiInsert("k", ovVariant("b"), false);
    map.multiInsert("z", ovVariant("y"), false);
    EXPECT_EQ(entriesOf(map), (Entries{{"a", "x"}, {"k", "c"}, {"k", "a"}, {"k", "b"}, {"z", "y"}}));
}

TEST(VariantMap, MultiInsertFlagDecidesAboutEqualValues) {
    ovVariantMapImpl map;
    map.multiInsert("colour", ovVariant("red"), false);
    map.multiInsert("colour", ovVariant("red"), false);
    EXPECT_EQ(map.size(), 1u);
    // Equality is by kind and value: the integer 1 and the text "1" are different values.
    map.multiInsert("colour", ovVariant(1), false);
    map.multiInsert("colour", ovVariant("1"), false);
    EXPECT_EQ(map.size(), 3u);
    map.multiInsert("colour", ovVariant("red"), true);
    EXPECT_EQ(entriesOf(map),
              (Entries{{"colour", "red"}, {"colour", "1"}, {"colour", "1"}, {"colour", "red"}}));
}

TEST(VariantMap, EraseRemovesEveryValueOfAKey) {
    ovVariantMapImpl map;
    map.multiInsert("k", ovVariant(1), true);
    map.multiInsert("k", ovVariant(2), true);
    map["other"] = ovVariant(3);
    EXPECT_EQ(map.erase("k"), 2u);
    EXPECT_EQ(map.erase("k"), 0u);
    EXPECT_EQ(entriesOf(map), (Entries{{"other", "3"}}));
}

TEST(VariantMapFlatten, NestedMapsBecomePrefixedKeys) {
    ovVariantMapImpl deepest;
    deepest["e"] = ovVariant(3);
    deepest.multiInsert("e", ovVariant(4), true);
    ovVariantMapImpl middle;
    middle["d"] = ovVariant(deepest);
    middle["c"] = ovVariant(2);
    ovVariantMapImpl outer;
    outer["b"] = ovVariant(middle);
    outer["a"] = ovVariant(1);
    outer["b.c"] = ovVariant("sorted among the flattened keys");

    const ovVariantMapImpl flat = outer.toFlattenMap('.');
    EXPECT_EQ(entriesOf(flat), (Entries{{"a", "1"},
                                        {"b.c", "2"},
                                        {"b.c", "sorted among the flattened keys"},
                                        {"b.d.e", "3"},
                                        {"b.d.e", "4"}}));
    EXPECT_EQ(outer.size(), 3u);
}

TEST(VariantMapFlatten, ListsStayWholeAndEmptyMapsVanish) {
    ovVariantListImpl list;
    list.push_back(ovVariant(ovVariantMapImpl()));
    ovVariantMapImpl inner;
    inner["list"] = ovVariant(list);
    inner["nothing"] = ovVariant(ovVariantMapImpl());
    ovVariantMapImpl outer;
    outer["x"] = ovVariant(inner);
    EXPECT_EQ(entriesOf(outer.toFlattenMap('/')), (Entries{{"x/list", "[{}]"}}));
    EXPECT_TRUE(ovVariantMapImpl().toFlattenMap('/').empty());
}

TEST(VariantList, SwapExchangesContents) {
    ovVariantListImpl first;
    first.push_back(ovVariant(1));
    ovVariantListImpl second;
    first.swap(second);
    EXPECT_TRUE(first.empty());
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0], ovVariant(1));
}

}  // namespace
}  // namespace ov
