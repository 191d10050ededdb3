#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "system/ovVariant.h"
#include "system/ovVariantContainers.h"

namespace ov {
namespace {

// User data that counts its copies and compares by value.
class CountedTag : public ovVariant::UserDataInterface {
public:
    CountedTag(int value, int& copyCount) : mValue(value), mCopyCount(copyCount) {}
    UserDataInterface* createCopy() const override {
        ++mCopyCount;
        return new CountedTag(mValue, mCopyCount);
    }
    bool isEqualTo(const UserDataInterface& other) const override {
        const auto* tag = dynamic_cast<const CountedTag*>(&other);
        return tag && tag->mValue == mValue;
    }
    int value() const { return mValue; }

private:
    int mValue;
    int& mCopyCount;
};

class OtherUserData : public ovVariant::UserDataInterface {
public:
    UserDataInterface* createCopy() const override { return new OtherUserData; }
    bool isEqualTo(const UserDataInterface& other) const override {
        return dynamic_cast<const OtherUserData*>(&other) != nullptr;
    }
};

ovVariantListImpl listOf(std::initializer_list<ovVariant> items) {
    ovVariantListImpl list;
    for (const ovVariant& item : items) {
        list.push_back(item);
    }
    return list;
}

TEST(VariantTypes, EachConstructorGivesItsStableTypeCode) {
    const double components[4] = {1, 2, 3, 4};
    const float floatComponents[3] = {1, 2, 3};
    int copies = 0;
    EXPECT_EQ(ovVariant().getType(), 0);
    EXPECT_EQ(ovVariant(7).getType(), 1);
    EXPECT_EQ(ovVariant(int64_t{7}).getType(), 1);
    EXPECT_EQ(ovVariant(size_t{7}).getType(), 1);
    EXPECT_EQ(ovVariant(7u).getType(), 1);
    EXPECT_EQ(ovVariant(2.5).getType(), 2);
    EXPECT_EQ(ovVariant(2.5f).getType(), 2);
    EXPECT_EQ(ovVariant("text").getType(), 3);
    EXPECT_EQ(ovVariant(std::string("text")).getType(), 3);
    EXPECT_EQ(ovVariant(true).getType(), 4);
    EXPECT_EQ(ovVariant(components, 2).getType(), 5);
    EXPECT_EQ(ovVariant(floatComponents, 3).getType(), 6);
    EXPECT_EQ(ovVariant(components, 4).getType(), 7);
    EXPECT_EQ(ovVariant(ovVariantListImpl()).getType(), 11);
    EXPECT_EQ(ovVariant(ovVariantMapImpl()).getType(), 12);
    EXPECT_EQ(ovVariant(ovDateTime{5}).getType(), 14);
    EXPECT_EQ(ovVariant(new CountedTag(1, copies)).getType(), 15);
}

TEST(VariantTypes, UnsupportedInputsGiveAnEmptyVariant) {
    const double components[5] = {1, 2, 3, 4, 5};
    EXPECT_TRUE(ovVariant(components, 1).isEmpty());
    EXPECT_TRUE(ovVariant(components, 5).isEmpty());
    EXPECT_TRUE(ovVariant(static_cast<const double*>(nullptr), 3).isEmpty());
    EXPECT_TRUE(ovVariant(static_cast<const char*>(nullptr)).isEmpty());
    EXPECT_TRUE(ovVariant(static_cast<ovVariant::UserDataInterface*>(nullptr)).isEmpty());
}

TEST(VariantToString, EveryKindHasADeterministicText) {
    const double pair[2] = {1, 2.5};
    const float triple[3] = {1, 0.5f, -2};
    const double quad[4] = {0, -0.25, 1e21, 3};
    int copies = 0;
    ovVariantMapImpl inner;
    inner["c"] = ovVariant("x");
    ovVariantMapImpl map;
    map["b"] = ovVariant(inner);
    map["a"] = ovVariant(1);

    EXPECT_EQ(ovVariant().toString(), "");
    EXPECT_EQ(ovVariant(-42).toString(), "-42");
    EXPECT_EQ(ovVariant(std::numeric_limits<int64_t>::min()).toString(), "-9223372036854775808");
    EXPECT_EQ(ovVariant(0.1).toString(), "0.1");
    EXPECT_EQ(ovVariant(1.0 / 3.0).toString(), "0.3333333333333333");
    EXPECT_EQ(ovVariant(1e20).toString(), "1e+20");
    EXPECT_EQ(ovVariant(-0.0).toString(), "-0");
    EXPECT_EQ(ovVariant(std::numeric_limits<double>::infinity()).toString(), "inf");
    EXPECT_EQ(ovVariant("abc").toString(), "abc");
    EXPECT_EQ(ovVariant(true).toString(), "true");
    EXPECT_EQ(ovVariant(false).toString(), "false");
    EXPECT_EQ(ovVariant(pair, 2).toString(), "1 2.5");
    EXPECT_EQ(ovVariant(triple, 3).toString(), "1 0.5 -2");
    EXPECT_EQ(ovVariant(quad, 4).toString(), "0 -0.25 1e+21 3");
    EXPECT_EQ(ovVariant(ovVariantListImpl()).toString(), "[]");
    EXPECT_EQ(ovVariant(listOf({1, "a", ovVariant(listOf({2, 3}))})).toString(), "[1, a, [2, 3]]");
    EXPECT_EQ(ovVariant(ovVariantMapImpl()).toString(), "{}");
    EXPECT_EQ(ovVariant(map).toString(), "{a: 1, b: {c: x}}");
    EXPECT_EQ(ovVariant(new CountedTag(1, copies)).toString(), "<user data>");
}

TEST(VariantToString, RealsReadBackToTheSameDouble) {
    for (const double value :
         {0.1, 1.0 / 3.0, 123456.789, 5e-324, 1.7976931348623157e308, -2.2250738585072014e-308}) {
        const std::string text = ovVariant(value).toString();
        EXPECT_EQ(ovVariant(text).toReal(), value) << text;
    }
}

TEST(VariantToString, DateTimeIsIsoUtcWithMilliseconds) {
    EXPECT_EQ(ovVariant(ovDateTime{0}).toString(), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(ovVariant(ovDateTime{-1}).toString(), "1969-12-31T23:59:59.999Z");
    EXPECT_EQ(ovVariant(ovDateTime{1781526896007}).toString(), "2026-06-15T12:34:56.007Z");
    EXPECT_EQ(ovVariant(ovDateTime{1709164800000}).toString(), "2024-02-29T00:00:00.000Z");
    EXPECT_EQ(ovVariant(ovDateTime{-62135596800000}).toString(), "0001-01-01T00:00:00.000Z");
    // Instants beyond the calendar's years are clamped rather than wrapped.
    EXPECT_EQ(ovVariant(ovDateTime{std::numeric_limits<int64_t>::max()}).toString(),
              "32767-12-31T23:59:59.999Z");
    EXPECT_EQ(ovVariant(ovDateTime{std::numeric_limits<int64_t>::min()}).toString(),
              "-32767-01-01T00:00:00.000Z");
}

TEST(VariantConversions, TextsConvertToNumbers) {
    EXPECT_EQ(ovVariant("12").toInteger(), 12);
    EXPECT_EQ(ovVariant(" 12\t").toInteger(), 12);
    EXPECT_EQ(ovVariant("+12").toInteger(), 12);
    EXPECT_EQ(ovVariant("-12").toInteger(), -12);
    EXPECT_EQ(ovVariant("12.7").toInteger(), 12);
    EXPECT_EQ(ovVariant("-12.7").toInteger(), -12);
    EXPECT_EQ(ovVariant("1e3").toInteger(), 1000);
    EXPECT_EQ(ovVariant("12abc").toInteger(), 0);
    EXPECT_EQ(ovVariant("").toInteger(), 0);
    EXPECT_EQ(ovVariant("+-1").toInteger(), 0);
    EXPECT_EQ(ovVariant("9223372036854775807").toInteger(), std::numeric_limits<int64_t>::max());
    EXPECT_DOUBLE_EQ(ovVariant("2.5").toReal(), 2.5);
    EXPECT_DOUBLE_EQ(ovVariant("-1e-3").toReal(), -0.001);
    EXPECT_EQ(ovVariant("2,5").toReal(), 0.0);
    EXPECT_EQ(ovVariant("abc").toReal(), 0.0);
}

TEST(VariantConversions, RealsTruncateTowardZeroAndSaturate) {
    EXPECT_EQ(ovVariant(2.9).toInteger(), 2);
    EXPECT_EQ(ovVariant(-2.9).toInteger(), -2);
    EXPECT_EQ(ovVariant(1e300).toInteger(), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(ovVariant(-1e300).toInteger(), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(ovVariant(std::nan("")).toInteger(), 0);
    EXPECT_EQ(ovVariant(ovDateTime{1500}).toInteger(), 1500);
    EXPECT_EQ(ovVariant(3).toReal(), 3.0);
    EXPECT_EQ(ovVariant(true).toReal(), 1.0);
}

TEST(VariantConversions, Booleans) {
    EXPECT_TRUE(ovVariant("yes").toBool());
    EXPECT_TRUE(ovVariant(" TRUE ").toBool());
    EXPECT_FALSE(ovVariant("off").toBool());
    EXPECT_FALSE(ovVariant("0").toBool());
    EXPECT_TRUE(ovVariant("2").toBool());
    EXPECT_FALSE(ovVariant("maybe").toBool());
    EXPECT_TRUE(ovVariant(-1).toBool());
    EXPECT_FALSE(ovVariant(0.0).toBool());
    EXPECT_TRUE(ovVariant(0.5).toBool());
    EXPECT_FALSE(ovVariant().toBool());
    EXPECT_EQ(ovVariant(true).toInteger(), 1);
}

TEST(VariantConversions, DateTimes) {
    EXPECT_EQ(ovVariant(ovDateTime{42}).toDateTime(), ovDateTime{42});
    EXPECT_EQ(ovVariant(int64_t{42}).toDateTime(), ovDateTime{42});
    EXPECT_EQ(ovVariant("2026-06-15T12:34:56.007Z").toDateTime(), ovDateTime{1781526896007});
    EXPECT_EQ(ovVariant("2026-06-15T13:34:56+01:00").toDateTime(), ovDateTime{1781526896000});
    EXPECT_EQ(ovVariant("2026-06-15T11:04:56-0130").toDateTime(), ovDateTime{1781526896000});
    EXPECT_EQ(ovVariant("2026-06-15 12:34").toDateTime(), ovDateTime{1781526840000});
    EXPECT_EQ(ovVariant("1970-01-02").toDateTime(), ovDateTime{86400000});
    EXPECT_EQ(ovVariant("1969-12-31T23:59:59.999Z").toDateTime(), ovDateTime{-1});
    for (const char* invalid : {"2026-02-30", "2026-13-01", "2026-06-15T24:00", "2026-06-15T12:34:56.Z",
                                "2026-06-15T12:34:56+1", "15.06.2026", "2026-06-15x"}) {
        EXPECT_EQ(ovVariant(invalid).toDateTime(), ovDateTime{0}) << invalid;
    }
    const ovDateTime sample{1709210096123};
    EXPECT_EQ(ovVariant(ovVariant(sample).toString()).toDateTime(), sample);
    EXPECT_EQ(ovVariant(true).toDateTime(), ovDateTime{0});
}

TEST(VariantAccessors, AnswerNeutralValuesForOtherKinds) {
    const double triple[3] = {1, 2, 3};
    const ovVariant number(5);
    const ovVariant vector(triple, 3);
    EXPECT_EQ(number.getString(), "");
    EXPECT_EQ(number.getVec3d(), nullptr);
    EXPECT_EQ(vector.getVec2d(), nullptr);
    EXPECT_EQ(vector.getVec4d(), nullptr);
    ASSERT_NE(vector.getVec3d(), nullptr);
    EXPECT_EQ(vector.getVec3d()[2], 3.0);
    EXPECT_TRUE(number.getList().empty());
    EXPECT_TRUE(number.getMap().empty());
    EXPECT_EQ(number.getUserData(), nullptr);
    EXPECT_EQ(vector.toInteger(), 0);
    EXPECT_EQ(vector.toString(), "1 2 3");
}

TEST(VariantEquality, ComparesKindAndValue) {
    EXPECT_EQ(ovVariant(1), ovVariant(int64_t{1}));
    EXPECT_NE(ovVariant(1), ovVariant(1.0));
    EXPECT_NE(ovVariant(1), ovVariant("1"));
    EXPECT_NE(ovVariant(true), ovVariant(1));
    EXPECT_EQ(ovVariant(), ovVariant());
    EXPECT_EQ(ovVariant(listOf({1, "a"})), ovVariant(listOf({1, "a"})));
    EXPECT_NE(ovVariant(listOf({1, "a"})), ovVariant(listOf({1, "b"})));
    ovVariantMapImpl first;
    first["k"] = ovVariant(1);
    ovVariantMapImpl second = first;
    EXPECT_EQ(ovVariant(first), ovVariant(second));
    second.multiInsert("k", ovVariant(2), true);
    EXPECT_NE(ovVariant(first), ovVariant(second));
}

TEST(VariantUserData, IsDeepCopiedAndComparedThroughItsInterface) {
    int copies = 0;
    auto* tag = new CountedTag(7, copies);
    ovVariant original(tag);
    EXPECT_EQ(original.getUserData(), tag);

    ovVariant copy(original);
    EXPECT_EQ(copies, 1);
    ASSERT_NE(copy.getUserData(), nullptr);
    EXPECT_NE(copy.getUserData(), tag);
    EXPECT_EQ(copy, original);

    ovVariant assigned;
    assigned = copy;
    EXPECT_EQ(copies, 2);
    EXPECT_EQ(assigned, original);

    EXPECT_NE(original, ovVariant(new CountedTag(8, copies)));
    EXPECT_NE(original, ovVariant(new OtherUserData));
}

TEST(VariantValueSemantics, MovedFromIsEmptyAndSelfAssignmentIsHarmless) {
    int copies = 0;
    ovVariant original(new CountedTag(3, copies));
    ovVariant moved(std::move(original));
    EXPECT_TRUE(
        original.isEmpty());  // NOLINT(bugprone-use-after-move): the state after a move is the contract
    EXPECT_EQ(copies, 0);
    EXPECT_EQ(dynamic_cast<CountedTag*>(moved.getUserData())->value(), 3);

    ovVariant list(listOf({1, 2}));
    ovVariant target;
    target = std::move(list);
    EXPECT_TRUE(list.getList().empty());  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(target.getList().size(), 2u);

    const ovVariant& alias = target;
    target = alias;
    EXPECT_EQ(target.toString(), "[1, 2]");
}

TEST(VariantValueSemantics, CopiesDoNotSeeLaterChangesOfTheSource) {
    ovVariantListImpl list = listOf({1});
    const ovVariant stored(list);
    list.push_back(ovVariant(2));
    EXPECT_EQ(stored.getList().size(), 1u);
}

}  // namespace
}  // namespace ov
