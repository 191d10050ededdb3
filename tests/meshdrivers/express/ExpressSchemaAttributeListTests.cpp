// Instance layouts: inheritance, complex instances, redeclarations and the
// guards of the supertype walk.
#include <list>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ExpressTestSupport.h"

namespace ov::express::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

class AttributeListTest : public SchemaTextTest {
protected:
    bool fails(const std::list<std::string>& names) {
        std::map<std::string, std::vector<Attribute>> result;
        return !mSchema.getAttributeList(names, result);
    }
};

constexpr const char* kChain =
    "ENTITY a;\n  x : REAL;\n  y : OPTIONAL REAL;\nEND_ENTITY;\n"
    "ENTITY b SUBTYPE OF (a);\n  z : REAL;\nEND_ENTITY;\n"
    "ENTITY c SUBTYPE OF (a);\n  w : REAL;\nDERIVE\n  SELF\\a.x : REAL := 1.0;\nEND_ENTITY;\n"
    "ENTITY d SUBTYPE OF (a);\n  SELF\\a.y : REAL;\n  v : REAL;\nEND_ENTITY;\n";

TEST_F(AttributeListTest, SingleNameInheritsSupertypesFirst) {
    ASSERT_TRUE(load(kChain));
    EXPECT_THAT(layoutOf({"b"}), ElementsAre(Pair("B", ElementsAre("a.x", "a.y optional", "b.z"))));
    EXPECT_THAT(layoutOf({"a"}), ElementsAre(Pair("A", ElementsAre("a.x", "a.y optional"))));
}

TEST_F(AttributeListTest, ComplexInstanceHasOnePartialValuePerEntity) {
    ASSERT_TRUE(load(kChain));
    EXPECT_THAT(layoutOf({"b", "a"}),
                ElementsAre(Pair("A", ElementsAre("a.x", "a.y optional")), Pair("B", ElementsAre("b.z"))));
    // Ancestors join the instance even when not named.
    EXPECT_THAT(layoutOf({"b", "d"}),
                ElementsAre(Pair("A", ElementsAre("a.x", "a.y optional")), Pair("B", ElementsAre("b.z")),
                            Pair("D", ElementsAre("d.y redeclares a", "d.v"))));
}

TEST_F(AttributeListTest, DerivedRedeclaration) {
    ASSERT_TRUE(load(kChain));
    // One name: the inherited entry gives way; the redeclaring one stays in its place.
    EXPECT_THAT(layoutOf({"c"}), ElementsAre(Pair("C", ElementsAre("a.x superseded", "a.y optional", "c.w",
                                                                   "c.x redeclares a derived"))));
    // Complex instance: the supertype's value is derived, the subtype's not written.
    EXPECT_THAT(layoutOf({"c", "a"}),
                ElementsAre(Pair("A", ElementsAre("a.x derivedInSubtype", "a.y optional")),
                            Pair("C", ElementsAre("c.w", "c.x redeclares a derived superseded"))));
}

TEST_F(AttributeListTest, ExplicitRedeclaration) {
    ASSERT_TRUE(load(kChain));
    EXPECT_THAT(
        layoutOf({"d"}),
        ElementsAre(Pair("D", ElementsAre("a.x", "a.y optional superseded", "d.y redeclares a", "d.v"))));
    // In a complex instance both entries are written.
    EXPECT_THAT(layoutOf({"d", "a"}), ElementsAre(Pair("A", ElementsAre("a.x", "a.y optional")),
                                                  Pair("D", ElementsAre("d.y redeclares a", "d.v"))));
}

TEST_F(AttributeListTest, FlagsLiveOnlyInTheResult) {
    ASSERT_TRUE(load(kChain));
    layoutOf({"c"});
    layoutOf({"c", "a"});
    for (const auto& [name, entity] : mSchema.entities) {
        for (const Attribute& attribute : entity.attributes) {
            EXPECT_FALSE(attribute.superseded || attribute.derivedInSubtype) << describe(attribute);
        }
    }
    // The result is emptied before each call.
    std::map<std::string, std::vector<Attribute>> result;
    ASSERT_TRUE(mSchema.getAttributeList({"b", "a"}, result));
    ASSERT_TRUE(mSchema.getAttributeList({"c"}, result));
    EXPECT_THAT(describe(result), ElementsAre(Pair("C", ::testing::SizeIs(4))));
}

TEST_F(AttributeListTest, CommonAncestorReachedTwice) {
    ASSERT_TRUE(
        load("ENTITY a;\n  x : REAL;\nEND_ENTITY;\n"
             "ENTITY b SUBTYPE OF (a);\n  y : REAL;\nEND_ENTITY;\n"
             "ENTITY c SUBTYPE OF (a);\n  z : REAL;\nEND_ENTITY;\n"
             "ENTITY d SUBTYPE OF (b, c);\n  w : REAL;\nEND_ENTITY;\n"));
    EXPECT_THAT(layoutOf({"d"}), ElementsAre(Pair("D", ElementsAre("a.x", "b.y", "a.x", "c.z", "d.w"))));
    EXPECT_THAT(layoutOf({"d", "b"}),
                ElementsAre(Pair("A", ElementsAre("a.x")), Pair("B", ElementsAre("b.y")),
                            Pair("C", ElementsAre("c.z")), Pair("D", ElementsAre("d.w"))));
}

TEST_F(AttributeListTest, KeysAreUpperCaseAndOrdered) {
    ASSERT_TRUE(
        load("ENTITY Zeta;\n  x : REAL;\nEND_ENTITY;\n"
             "ENTITY alpha;\n  y : REAL;\nEND_ENTITY;\n"));
    EXPECT_THAT(layoutOf({"Zeta", "alpha"}),
                ElementsAre(Pair("ALPHA", ElementsAre("alpha.y")), Pair("ZETA", ElementsAre("Zeta.x"))));
    EXPECT_TRUE(fails({"zeta"}));
}

TEST_F(AttributeListTest, RedeclarationMustNameTheDeclaringEntity) {
    ASSERT_TRUE(
        load("ENTITY a;\n  x : REAL;\nEND_ENTITY;\n"
             "ENTITY b SUBTYPE OF (a);\nEND_ENTITY;\n"
             "ENTITY c SUBTYPE OF (b);\nDERIVE\n  SELF\\b.x : REAL := 1.0;\nEND_ENTITY;\n"));
    const std::string line =
        "Fail to find original attribute 'x' declared in supertype 'b' and redeclared in 'c'";
    EXPECT_TRUE(fails({"c"}));
    EXPECT_THAT(errors(), ElementsAre(line));
    mLog.clear();
    EXPECT_TRUE(fails({"c", "a"}));
    EXPECT_THAT(errors(), ElementsAre(line));
}

TEST_F(AttributeListTest, RedeclaredSupertypeOutsideTheInstance) {
    ASSERT_TRUE(
        load("ENTITY a;\n  x : REAL;\nEND_ENTITY;\n"
             "ENTITY e;\n  SELF\\a.x : REAL;\nEND_ENTITY;\n"
             "ENTITY f;\nEND_ENTITY;\n"));
    EXPECT_TRUE(fails({"e", "f"}));
    EXPECT_THAT(errors(), ElementsAre("Fail to find original attribute 'x' declared in supertype 'a' and "
                                      "redeclared in 'e'"));
}

TEST_F(AttributeListTest, UnknownNamesFailSilently) {
    ASSERT_TRUE(load(kChain + std::string("ENTITY orphan SUBTYPE OF (missing);\nEND_ENTITY;\n")));
    EXPECT_TRUE(fails({}));
    EXPECT_TRUE(fails({"missing"}));
    EXPECT_TRUE(fails({"a", "missing"}));
    EXPECT_TRUE(fails({"orphan"}));
    EXPECT_TRUE(fails({"orphan", "a"}));
    EXPECT_THAT(mLog.lines(), IsEmpty());
}

TEST_F(AttributeListTest, EmptySchemaKnowsNoEntity) {
    ASSERT_TRUE(load(""));
    EXPECT_TRUE(fails({"a"}));
    EXPECT_TRUE(fails({"a", "b"}));
}

TEST_F(AttributeListTest, SupertypeCycleFails) {
    ASSERT_TRUE(
        load("ENTITY a SUBTYPE OF (c);\n  x : REAL;\nEND_ENTITY;\n"
             "ENTITY b SUBTYPE OF (a);\nEND_ENTITY;\n"
             "ENTITY c SUBTYPE OF (b);\nEND_ENTITY;\n"
             "ENTITY self_made SUBTYPE OF (self_made);\nEND_ENTITY;\n"
             "ENTITY outside SUBTYPE OF (b);\nEND_ENTITY;\n"));
    EXPECT_TRUE(fails({"a"}));
    EXPECT_THAT(errors(), ElementsAre("Cyclic SUBTYPE OF relation at entity a"));
    mLog.clear();
    EXPECT_TRUE(fails({"self_made"}));
    EXPECT_THAT(errors(), ElementsAre("Cyclic SUBTYPE OF relation at entity self_made"));
    mLog.clear();
    EXPECT_TRUE(fails({"outside", "a"}));
    EXPECT_THAT(errors(), ElementsAre("Cyclic SUBTYPE OF relation at entity b"));
}

TEST_F(AttributeListTest, DeepChainDoesNotExhaustTheStack) {
    constexpr int kDepth = 100'000;
    std::ostringstream text;
    text << "ENTITY e0;\n  a0 : REAL;\nEND_ENTITY;\n";
    for (int level = 1; level < kDepth; ++level) {
        text << "ENTITY e" << level << " SUBTYPE OF (e" << level - 1 << ");\n  a" << level
             << " : REAL;\nEND_ENTITY;\n";
    }
    ASSERT_TRUE(load(text.str()));
    const std::string deepest = "e99999";
    std::map<std::string, std::vector<Attribute>> result;
    ASSERT_TRUE(mSchema.getAttributeList({deepest}, result));
    ASSERT_EQ(result.size(), 1u);
    const std::vector<Attribute>& attributes = result.begin()->second;
    ASSERT_EQ(attributes.size(), static_cast<size_t>(kDepth));
    EXPECT_EQ(attributes.front().name, "a0");
    EXPECT_EQ(attributes.back().name, "a99999");
    EXPECT_TRUE(mSchema.getAttributeList({deepest, "e0"}, result));
    EXPECT_EQ(result.size(), static_cast<size_t>(kDepth));
}

// Each level names its supertype twice, doubling the walk at every level.
TEST_F(AttributeListTest, ExponentialWalkFails) {
    std::ostringstream text;
    text << "ENTITY e0;\n  x : REAL;\nEND_ENTITY;\n";
    for (int level = 1; level <= 40; ++level) {
        text << "ENTITY e" << level << " SUBTYPE OF (e" << level - 1 << ", e" << level - 1
             << ");\nEND_ENTITY;\n";
    }
    ASSERT_TRUE(load(text.str()));
    EXPECT_TRUE(fails({"e40"}));
    EXPECT_THAT(errors(), ElementsAre("Too many supertypes to walk from entity e40"));
    // Ten levels stay well within bounds: 2^10 copies of x.
    EXPECT_THAT(layoutOf({"e10"}), ElementsAre(Pair("E10", ::testing::SizeIs(1024))));
}

}  // namespace
}  // namespace ov::express::test
