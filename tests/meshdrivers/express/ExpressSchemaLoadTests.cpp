// Parsing of schema texts: what loadSchema keeps of each declaration, and how
// it fails.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ExpressTestSupport.h"

namespace ov::express::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class LoadSchemaTest : public SchemaTextTest {
protected:
    const EntityTemplate& entity(const std::string& name) {
        static const EntityTemplate missing;
        const auto found = mSchema.entities.find(name);
        EXPECT_NE(found, mSchema.entities.end()) << name;
        return found == mSchema.entities.end() ? missing : found->second;
    }
    std::vector<std::string> ownAttributes(const std::string& name) {
        return describe(entity(name).attributes);
    }
};

TEST_F(LoadSchemaTest, HeadersWithAndWithoutSupertypes) {
    ASSERT_TRUE(
        load("SCHEMA s;\n"
             "ENTITY a;\n  x : REAL;\nEND_ENTITY;\n"
             "ENTITY b\n  SUBTYPE OF (a);\nEND_ENTITY;\n"
             "ENTITY c SUBTYPE OF ( a , , b,);\nEND_ENTITY;\n"
             "ENTITY d\n  ABSTRACT SUPERTYPE OF (ONEOF (c, e))\n  SUBTYPE OF (a);\nEND_ENTITY;\n"
             "ENTITY e ABSTRACT SUPERTYPE;\nEND_ENTITY;\n"
             "END_SCHEMA;\n"));
    EXPECT_EQ(mSchema.entities.size(), 5u);
    EXPECT_THAT(entity("a").supertypes, IsEmpty());
    EXPECT_THAT(entity("b").supertypes, ElementsAre("a"));
    EXPECT_THAT(entity("c").supertypes, ElementsAre("a", "b"));
    EXPECT_THAT(entity("d").supertypes, ElementsAre("a"));
    EXPECT_THAT(entity("e").supertypes, IsEmpty());
    EXPECT_EQ(entity("b").name, "b");
    EXPECT_THAT(errors(), IsEmpty());
}

TEST_F(LoadSchemaTest, NamesKeepTheirCaseAndKeywordsMustBeCapitals) {
    ASSERT_TRUE(load("ENTITY Mixed_Case;\nEND_ENTITY;\nentity lower;\nend_entity;\n"));
    ASSERT_EQ(mSchema.entities.size(), 1u);
    EXPECT_EQ(mSchema.entities.begin()->first, "Mixed_Case");
}

TEST_F(LoadSchemaTest, ExplicitAttributes) {
    ASSERT_TRUE(
        load("ENTITY a;\n"
             "  x : OPTIONAL label;\n"
             "  y : label;\n"
             "  p, q : REAL;\n"
             "  z : LIST [1:?] OF OPTIONAL label;\n"
             "END_ENTITY;\n"));
    EXPECT_THAT(ownAttributes("a"), ElementsAre("a.x optional", "a.y", "a.p, q", "a.z optional"));
}

TEST_F(LoadSchemaTest, DeriveSectionKeepsOnlyRedeclarations) {
    ASSERT_TRUE(
        load("ENTITY c SUBTYPE OF (a);\n"
             "  SELF\\a.y : label;\n"
             "  w : REAL;\n"
             "DERIVE\n"
             "  d : REAL := 2.0;\n"
             "  SELF\\ a . x : OPTIONAL REAL := 1.0;\n"
             "  SELF\\v. : REAL := 1.0;\n"
             "END_ENTITY;\n"));
    EXPECT_THAT(ownAttributes("c"),
                ElementsAre("c.y redeclares a", "c.w", "c.x redeclares a optional derived",
                            "c. redeclares v derived"));
}

TEST_F(LoadSchemaTest, ClausesEndTheAttributes) {
    ASSERT_TRUE(load(
        "ENTITY w;\n  x : REAL;\nWHERE\n  wr1 : x > 0;\n  y : REAL;\nEND_ENTITY;\n"
        "ENTITY u;\n  x : REAL;\nUNIQUE\n  ur1 : x;\nEND_ENTITY;\n"
        "ENTITY i;\n  x : REAL;\nINVERSE\n  y : SET OF a FOR b;\nDERIVE\n  SELF\\a.z : REAL;\nEND_ENTITY;\n"
        "ENTITY d;\n  x : REAL;\nDERIVE\n  e : REAL := x;\nWHERE\n  wr1 : e > 0;\nEND_ENTITY;\n"));
    for (const char* name : {"w", "u", "i", "d"}) {
        EXPECT_THAT(ownAttributes(name), ElementsAre(std::string(name) + ".x")) << name;
    }
}

// Keywords are matched in capitals only: in lower case they read as part of
// the next attribute's name.
TEST_F(LoadSchemaTest, LowerCaseKeywordsAreReadAsAttributes) {
    ASSERT_TRUE(
        load("ENTITY a;\n  x : REAL;\nwhere\n  wr1 : x > 0;\nderive\n  self\\b.y : REAL;\ninverse\n  z : SET "
             "OF c;\n"
             "END_ENTITY;\n"));
    EXPECT_THAT(ownAttributes("a"),
                ElementsAre("a.x", "a.where\n  wr1", "a.derive\n  self\\b.y", "a.inverse\n  z"));
}

TEST_F(LoadSchemaTest, CommentsEndAtTheirFirstClosingMark) {
    ASSERT_TRUE(
        load("(* ENTITY hidden;\n  x : REAL;\nEND_ENTITY; *)\n"
             "ENTITY a; (* y : REAL; *)\n  x : REAL; (* a\n multi-line remark *)\nEND_ENTITY;\n"
             "(* outer (* inner *) ENTITY leaked;\nEND_ENTITY; *)\n"
             "ENTITY b;\n  x : REAL; -- z : REAL;\nEND_ENTITY;\n"));
    EXPECT_EQ(mSchema.entities.count("hidden"), 0u);
    EXPECT_THAT(ownAttributes("a"), ElementsAre("a.x"));
    EXPECT_EQ(mSchema.entities.count("leaked"), 1u);
    // "--" remarks stay in the text.
    EXPECT_THAT(ownAttributes("b"), ElementsAre("b.x", "b.-- z"));
}

// Each search for the next declaration starts one character after the start
// of the previous one, so a declaration inside another one's text is found too.
TEST_F(LoadSchemaTest, DeclarationsInsideAnotherOneAreFound) {
    ASSERT_TRUE(load("ENTITY outer;\nWHERE\n  ENTITY inner;\n  x : REAL;\nEND_ENTITY;\n"));
    EXPECT_THAT(ownAttributes("outer"), IsEmpty());
    EXPECT_THAT(ownAttributes("inner"), ElementsAre("inner.x"));
}

TEST_F(LoadSchemaTest, BodyEndsAtTheFirstEndEntity) {
    ASSERT_TRUE(load("ENTITY a;\n  x : REAL;\nEND_ENTITY;\nENTITY b;\n  y : REAL;\nEND_ENTITY;\n"));
    EXPECT_THAT(ownAttributes("a"), ElementsAre("a.x"));
    EXPECT_THAT(ownAttributes("b"), ElementsAre("b.y"));
}

TEST_F(LoadSchemaTest, TextsWithoutEntitiesLoadEmpty) {
    for (const char* text : {"", "SCHEMA s;\nTYPE t = REAL;\nEND_TYPE;\nEND_SCHEMA;\n", "ENTITY a;\n",
                             "ENTITY ;\nEND_ENTITY;\n"}) {
        EXPECT_TRUE(load(text)) << text;
        EXPECT_THAT(mSchema.entities, IsEmpty()) << text;
    }
    EXPECT_THAT(mLog.lines(), IsEmpty());
}

TEST_F(LoadSchemaTest, LoadingReplacesThePreviousContent) {
    ASSERT_TRUE(load("ENTITY a;\nEND_ENTITY;\n"));
    ASSERT_TRUE(load("ENTITY b;\nEND_ENTITY;\n"));
    ASSERT_EQ(mSchema.entities.size(), 1u);
    EXPECT_EQ(mSchema.entities.begin()->first, "b");

    EXPECT_FALSE(mSchema.loadSchema(mFolder.file("missing.exp")));
    EXPECT_THAT(mSchema.entities, IsEmpty());
}

TEST_F(LoadSchemaTest, PathIsUtf8) {
    const std::string path = mFolder.file("sch\xC3\xA9ma \xE2\x82\xAC.exp");
    ov::test::writeFile(path, "ENTITY a;\nEND_ENTITY;\n");
    EXPECT_TRUE(mSchema.loadSchema(path));
    EXPECT_EQ(mSchema.entities.size(), 1u);
}

TEST_F(LoadSchemaTest, MissingFile) {
    const std::string path = mFolder.file("missing.exp");
    EXPECT_FALSE(mSchema.loadSchema(path));
    EXPECT_THAT(warnings(), ElementsAre("Fail to open " + path));
    EXPECT_THAT(errors(), IsEmpty());
}

TEST_F(LoadSchemaTest, UnreadableFile) {
    const std::string path = mFolder.path().string();
    EXPECT_FALSE(mSchema.loadSchema(path));
    ASSERT_EQ(mLog.lines().size(), 1u);
    EXPECT_THAT(warnings(),
                ::testing::AnyOf(ElementsAre("Fail to open " + path), ElementsAre("Fail to read " + path)));
}

TEST_F(LoadSchemaTest, BodyThatIsNotAnAttribute) {
    const char* bodies[] = {"  x REAL;\n",  "  : REAL;\n",           "  x :;\n",
                            "  x : REAL\n", "  x : REAL; garbage\n", "  x : REAL;\n  where : y;\n  WHEN\n"};
    for (const char* body : bodies) {
        mLog.clear();
        EXPECT_FALSE(load(std::string("ENTITY ok;\nEND_ENTITY;\nENTITY bad;\n") + body + "END_ENTITY;\n"))
            << body;
        EXPECT_THAT(errors(), ElementsAre("Fail to parse entity bad")) << body;
        // What was parsed before the failure stays.
        EXPECT_EQ(mSchema.entities.count("ok"), 1u);
        EXPECT_EQ(mSchema.entities.count("bad"), 0u);
    }
}

TEST_F(LoadSchemaTest, RedeclarationNeedsExactlyOneFullStop) {
    EXPECT_FALSE(load("ENTITY e;\nDERIVE\n  SELF\\a.b.c : REAL := 1.0;\nEND_ENTITY;\n"));
    EXPECT_THAT(errors(), ElementsAre("Fail to analyze derived attribute a.b.c of entity e"));
    mLog.clear();
    EXPECT_FALSE(load("ENTITY e;\n  SELF\\x : REAL;\nEND_ENTITY;\n"));
    EXPECT_THAT(errors(), ElementsAre("Fail to analyze derived attribute x of entity e"));
}

TEST_F(LoadSchemaTest, DuplicatedEntity) {
    EXPECT_FALSE(load(
        "ENTITY a;\nEND_ENTITY;\nENTITY b;\nEND_ENTITY;\nENTITY a;\nEND_ENTITY;\nENTITY c;\nEND_ENTITY;\n"));
    EXPECT_THAT(errors(), ElementsAre("Duplicated ENTITY a"));
    ASSERT_EQ(mSchema.entities.size(), 2u);
    EXPECT_EQ(mSchema.entities.count("c"), 0u);
}

std::string repeated(const std::string& piece, size_t count) {
    std::string text;
    text.reserve(piece.size() * count);
    for (size_t i = 0; i < count; ++i) {
        text += piece;
    }
    return text;
}

// Keywords after the last declaration take part in no match.
TEST_F(LoadSchemaTest, TextAfterTheLastDeclarationIsIgnored) {
    ASSERT_TRUE(load("ENTITY a;\nEND_ENTITY;\n" + repeated("ENTITY b ", 1 << 17) + "; x : REAL;"));
    EXPECT_EQ(mSchema.entities.size(), 1u);
    ASSERT_TRUE(load("ENTITY a;\nEND_ENTITY;\nENTITY b ENTITY c END_ENTITY;"));
    EXPECT_EQ(mSchema.entities.size(), 1u);
}

// Each unterminated keyword before the last END_ENTITY; would make the last
// search scan to the end of the text: quadratic time, failed with a line.
TEST_F(LoadSchemaTest, UnterminatedDeclarationsFail) {
    const std::string declared = "ENTITY a;\nEND_ENTITY;\n";
    EXPECT_FALSE(load(declared + repeated("ENTITY b ", 1 << 17) + "END_ENTITY;"));
    EXPECT_THAT(errors(),
                ElementsAre("Fail to parse express schema: unterminated ENTITY declarations from index " +
                            std::to_string(declared.rfind(';') + 1)));
}

TEST_F(LoadSchemaTest, OverlappingDeclarationsStopAtABudget) {
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        text += "ENTITY e" + std::to_string(i) + "; WHERE ";
    }
    text += "END_ENTITY;";
    EXPECT_FALSE(load(text));
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_THAT(errors().front(),
                ::testing::StartsWith(
                    "Fail to parse express schema: ENTITY declarations overlap too much at index "));
}

}  // namespace
}  // namespace ov::express::test
