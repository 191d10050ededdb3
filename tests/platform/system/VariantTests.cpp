#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "system/ovVariant.h"
#include "system/ovVariantContainers.h"

namespace ov {
namespace {

using V = ovVariant;
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

// User data compared by value.
struct Tag : ovVariant::UserDataInterface {
    explicit Tag(int tagValue) : value(tagValue) {}
    UserDataInterface* createCopy() const override { return new Tag(value); }
    bool isEqualTo(const UserDataInterface& other) const override {
        const auto* tag = dynamic_cast<const Tag*>(&other);
        return tag && tag->value == value;
    }
    int value;
};

// User data small enough to live inside the variant, counting its live
// copies; copies of one tag are equal.
struct SmallTag : ovVariant::InPlaceUserData<SmallTag> {
    explicit SmallTag(int& liveCopies) : live(&liveCopies) { ++*live; }
    SmallTag(const SmallTag& other) : InPlaceUserData(other), live(other.live) { ++*live; }
    ~SmallTag() override { --*live; }
    UserDataInterface* createCopy() const override { return new SmallTag(*this); }
    bool isEqualTo(const UserDataInterface& other) const override {
        const auto* tag = dynamic_cast<const SmallTag*>(&other);
        return tag && tag->live == live;
    }
    int* live;
};

ovVariantListImpl listOf(std::initializer_list<ovVariant> items) {
    ovVariantListImpl list;
    for (const ovVariant& item : items) {
        list.push_back(item);
    }
    return list;
}

// One value and what each conversion must make of it.
struct Conversion {
    ovVariant value;
    ovVariant::Type type;
    std::string text;
    int64_t integer;
    double real;
    bool boolean;
    int64_t dateTime;
};

Conversion fromInstant(int64_t ms, const char* text) {
    return {V(ovDateTime{ms}), V::DateTime, text, ms, static_cast<double>(ms), ms != 0, ms};
}

Conversion fromList(std::initializer_list<ovVariant> items, const char* text) {
    return {V(listOf(items)), V::List, text, 0, 0, false, 0};
}

std::vector<Conversion> conversionTable() {
    ovVariantMapImpl emptyKeyAndValue;
    emptyKeyAndValue[""] = V("");
    const double numbers[5] = {0, -0.25, 1e21, 3, 5};
    const float floats[3] = {1, 0.5f, -2};
    return {
        {V(), V::Empty, "", 0, 0, false, 0},
        {V(numbers, 5), V::Empty, "", 0, 0, false, 0},
        {V(static_cast<const char*>(nullptr)), V::Empty, "", 0, 0, false, 0},
        {V(kMin), V::Integer, "-9223372036854775808", kMin, static_cast<double>(kMin), true, kMin},
        {V(1.0 / 3.0), V::Real, "0.3333333333333333", 0, 1.0 / 3.0, true, 0},
        {V(-2.9), V::Real, "-2.9", -2, -2.9, true, -2},
        {V(-0.0), V::Real, "-0", 0, -0.0, false, 0},
        {V(1e20), V::Real, "1e+20", kMax, 1e20, true, kMax},
        {V(-1e300), V::Real, "-1e+300", kMin, -1e300, true, kMin},
        {V(std::nan("")), V::Real, "nan", 0, std::nan(""), true, 0},
        // Texts are not read as numbers, truth values or dates.
        {V("12"), V::String, "12", 0, 0, false, 0},
        {V(true), V::Boolean, "true", 1, 1, true, 0},
        {V(numbers + 2, 2), V::Vec2d, "1e+21 3", 0, 0, false, 0},
        {V(floats, 3), V::Vec3d, "1 0.5 -2", 0, 0, false, 0},
        {V(numbers, 4), V::Vec4d, "0 -0.25 1e+21 3", 0, 0, false, 0},
        fromList({1, "a", V(listOf({2, 3}))}, R"([1, "a", [2, 3]])"),
        // Container texts go into descriptive STEP items: different contents must give different texts.
        fromList({}, "[]"),
        fromList({""}, R"([""])"),
        fromList({"a, b"}, R"(["a, b"])"),
        fromList({"a", "b"}, R"(["a", "b"])"),
        fromList({R"(say "hi" \)"}, R"(["say \"hi\" \\"])"),
        fromList({V(listOf({})), 1, "1"}, R"([[], 1, "1"])"),
        {V(ovVariantMapImpl()), V::Map, "{}", 0, 0, false, 0},
        {V(emptyKeyAndValue), V::Map, R"({"": ""})", 0, 0, false, 0},
        fromInstant(-1, "1969-12-31T23:59:59.999Z"),
        fromInstant(1709164800000, "2024-02-29T00:00:00.000Z"),
        fromInstant(-62135596800000, "0001-01-01T00:00:00.000Z"),
        // Instants beyond the calendar's years are clamped rather than wrapped.
        fromInstant(kMax, "32767-12-31T23:59:59.999Z"),
        fromInstant(kMin, "-32767-01-01T00:00:00.000Z"),
        {V(new Tag(1)), V::UserData, "<user data>", 0, 0, false, 0},
    };
}

TEST(Variant, EveryKindConvertsToEveryOther) {
    const std::vector<Conversion> rows = conversionTable();
    for (size_t i = 0; i < rows.size(); ++i) {
        const Conversion& row = rows[i];
        SCOPED_TRACE(testing::Message() << "row " << i << " \"" << row.text << '"');
        EXPECT_EQ(row.value.getType(), row.type);
        EXPECT_EQ(row.value.toString(), row.text);
        EXPECT_EQ(row.value.toInteger(), row.integer);
        // Bitwise, so that -0 and NaN are told apart.
        EXPECT_EQ(std::bit_cast<uint64_t>(row.value.toReal()), std::bit_cast<uint64_t>(row.real));
        EXPECT_EQ(row.value.toBool(), row.boolean);
        EXPECT_EQ(row.value.toDateTime().millisecondsSinceEpoch, row.dateTime);
    }
}

// Copies, moves and assignments keep one live copy per variant, inside it;
// it equals the same value held on the heap.
TEST(Variant, SmallUserDataLivesInPlace) {
    int live = 0;
    {
        const SmallTag tag(live);
        V held(static_cast<const ovVariant::UserDataInterface&>(tag));
        const auto* inside = reinterpret_cast<const char*>(held.getUserData());
        EXPECT_TRUE(inside >= reinterpret_cast<const char*>(&held) &&
                    inside < reinterpret_cast<const char*>(&held + 1));
        V copy(held);
        V moved(std::move(copy));
        moved = held;
        EXPECT_EQ(live, 3);
        const V onHeap(tag.createCopy());
        EXPECT_EQ(moved, onHeap);
        EXPECT_EQ(onHeap, held);
        held = V(7);
        EXPECT_EQ(live, 3);
    }
    EXPECT_EQ(live, 0);
}

TEST(VariantMap, ValuesOfAKeyKeepTheirOrderAndFlatteningPrefixesNestedKeys) {
    ovVariantMapImpl map;
    EXPECT_TRUE(map["k"].isEmpty());
    map.multiInsert("k", V(listOf({1, "b"})), false);
    map["k"] = V("a");  // the first value of the key
    EXPECT_FALSE(map.insert("k", V("x")));
    EXPECT_TRUE(map.insert("B", V(1)));
    map.multiInsert("k", V(listOf({1, "b"})), false);
    // Equality is by kind and value: the integer 1 and the text "1" are different values.
    map.multiInsert("k", V(1), false);
    map.multiInsert("k", V("1"), false);
    map.multiInsert("k", V("a"), true);
    map.multiInsert("z", V(2), false);
    EXPECT_EQ(V(map).toString(), R"({"B": 1, "k": "a", "k": [1, "b"], "k": 1, "k": "1", "k": "a", "z": 2})");
    EXPECT_EQ(map.erase("k"), 5u);
    EXPECT_EQ(V(map).toString(), R"({"B": 1, "z": 2})");

    ovVariantMapImpl deepest;
    deepest["e"] = V(3);
    deepest.multiInsert("e", V(4), true);
    ovVariantMapImpl middle;
    middle["d"] = V(deepest);
    middle["c"] = V(2);
    middle["list"] = V(listOf({V(ovVariantMapImpl())}));
    middle["nothing"] = V(ovVariantMapImpl());
    ovVariantMapImpl outer;
    outer["b"] = V(middle);
    outer["a"] = V(1);
    outer["b.c"] = V("sorted among the flattened keys");
    EXPECT_EQ(
        V(outer).toString(),
        R"({"a": 1, "b": {"c": 2, "d": {"e": 3, "e": 4}, "list": [{}], "nothing": {}}, "b.c": "sorted among the flattened keys"})");
    EXPECT_EQ(
        V(outer.toFlattenMap('.')).toString(),
        R"({"a": 1, "b.c": 2, "b.c": "sorted among the flattened keys", "b.d.e": 3, "b.d.e": 4, "b.list": [{}]})");
}

}  // namespace
}  // namespace ov
