#define PCRE2_CODE_UNIT_WIDTH 8
#include "regexp/ovRegExp.h"

#include <gtest/gtest.h>
#include <pcre2.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace ov {
namespace {

using Texts = std::vector<std::string>;

constexpr const char* kEntityPattern = R"(ENTITY\s+(\w+)(?:(?:\s+([^;]*))|(?:\s*));([\s\S]*)END_ENTITY;)";
constexpr const char* kCommentPattern = R"(\(\*[\s\S]*\*\))";

const std::string kTwoEntities =
    "ENTITY a;\n  x : REAL;\nEND_ENTITY;\n"
    "ENTITY b\n  SUBTYPE OF (a);\n  y : label;\nEND_ENTITY;\n";

// The kind of pattern that backtracks exponentially when the subject almost matches.
const std::string kRunawayPattern = "(a+)+$";
const std::string kRunawaySubject = std::string(30, 'a') + "!";

class RegExpTest : public ::testing::Test {
protected:
    RegExpTest() { initializeRegExp(); }
    ~RegExpTest() override { terminateRegExp(); }
};

TEST_F(RegExpTest, CapturesHoldWholeMatchThenEveryGroupWithEmptyForUnsetGroups) {
    ovRegExp regExp(R"((\w+)@(\w+)(?:\.(com))?)");
    ASSERT_TRUE(regExp.isValid());
    EXPECT_EQ(regExp.indexIn("mail bob@example now", 0), 5u);
    EXPECT_EQ(regExp.editMatches().captureCount(), 3);
    EXPECT_EQ(regExp.editMatches().capturedTexts(), (Texts{"bob@example", "bob", "example", ""}));

    EXPECT_EQ(regExp.indexIn("to ann@site.com", 0), 3u);
    EXPECT_EQ(regExp.editMatches().capturedTexts(), (Texts{"ann@site.com", "ann", "site", "com"}));
}

TEST_F(RegExpTest, FailedSearchKeepsTheCapturesOfTheLastMatch) {
    ovRegExp regExp(R"((\d+))");
    ASSERT_EQ(regExp.indexIn("abc 42", 0), 4u);
    EXPECT_EQ(regExp.indexIn("no digits", 0), ovRegExp::sInvalidOffset);
    EXPECT_EQ(regExp.lastError(), "");
    EXPECT_EQ(regExp.editMatches().capturedTexts(), (Texts{"42", "42"}));
}

TEST_F(RegExpTest, EntityPatternSplitsNameHeaderAndBody) {
    ovRegExp regExp(kEntityPattern);
    regExp.setMinimal(true);
    ASSERT_EQ(regExp.indexIn(kTwoEntities, 0), 0u);
    EXPECT_EQ(regExp.editMatches().capturedTexts(),
              (Texts{"ENTITY a;\n  x : REAL;\nEND_ENTITY;", "a", "", "\n  x : REAL;\n"}));

    const size_t second = regExp.indexIn(kTwoEntities, 1);
    EXPECT_EQ(second, kTwoEntities.find("ENTITY b"));
    const Texts& texts = regExp.editMatches().capturedTexts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[1], "b");
    EXPECT_EQ(texts[2], "  SUBTYPE OF (a)") << "the lazy white space takes one character";
    EXPECT_EQ(texts[3], "\n  y : label;\n");

    // Restarting one character after a match start passes over the END_ENTITY
    // keywords and finds nothing more.
    EXPECT_EQ(regExp.indexIn(kTwoEntities, second + 1), ovRegExp::sInvalidOffset);
}

TEST_F(RegExpTest, MinimalModeCanBeSwitchedOnAndOff) {
    ovRegExp regExp(kEntityPattern);
    ASSERT_EQ(regExp.indexIn(kTwoEntities, 0), 0u);
    EXPECT_EQ(regExp.editMatches().capturedTexts()[0].size(), kTwoEntities.size() - 1)
        << "greedy runs to the last end";

    regExp.setMinimal(true);
    ASSERT_EQ(regExp.indexIn(kTwoEntities, 0), 0u);
    EXPECT_EQ(regExp.editMatches().capturedTexts()[1], "a");
    EXPECT_EQ(regExp.editMatches().capturedTexts()[0].size(), kTwoEntities.find("\nENTITY b"));

    regExp.setMinimal(false);
    ASSERT_EQ(regExp.indexIn(kTwoEntities, 0), 0u);
    EXPECT_EQ(regExp.editMatches().capturedTexts()[0].size(), kTwoEntities.size() - 1);
}

TEST_F(RegExpTest, IndexInSearchesFromTheOffset) {
    ovRegExp regExp("ab");
    const std::string text = "ab_ab_";
    EXPECT_EQ(regExp.indexIn(text, 0), 0u);
    EXPECT_EQ(regExp.indexIn(text, 1), 3u);
    EXPECT_EQ(regExp.indexIn(text, 3), 3u);
    EXPECT_EQ(regExp.indexIn(text, 4), ovRegExp::sInvalidOffset);
    EXPECT_EQ(regExp.indexIn(text, text.size()), ovRegExp::sInvalidOffset);
    EXPECT_EQ(regExp.indexIn(text, text.size() + 5), ovRegExp::sInvalidOffset);
    EXPECT_EQ(regExp.lastError(), "");
}

TEST_F(RegExpTest, EmptyMatchIsFoundAtTheEndOfTheText) {
    ovRegExp regExp("x*$");
    EXPECT_EQ(regExp.indexIn("abc", 3), 3u);
    EXPECT_EQ(regExp.editMatches().capturedTexts(), (Texts{""}));
}

TEST_F(RegExpTest, CaseSensitivity) {
    ovRegExp sensitive("end_entity", ovRegExp::CaseSensitive);
    ovRegExp insensitive("end_entity", ovRegExp::CaseInsensitive);
    EXPECT_EQ(sensitive.indexIn("x END_ENTITY;", 0), ovRegExp::sInvalidOffset);
    EXPECT_EQ(insensitive.indexIn("x END_ENTITY;", 0), 2u);
}

TEST_F(RegExpTest, RemoveDeletesEveryMatchAndCountsThem) {
    ovRegExp regExp(kCommentPattern);
    regExp.setMinimal(true);
    std::string text = "(* one *)ENTITY a;(* two\n * lines *) END_ENTITY;(* three *)";
    EXPECT_EQ(regExp.remove(text), 3);
    EXPECT_EQ(text, "ENTITY a; END_ENTITY;");

    std::string untouched = "no comment here";
    EXPECT_EQ(regExp.remove(untouched), 0);
    EXPECT_EQ(untouched, "no comment here");
}

TEST_F(RegExpTest, MinimalRemoveEndsEachCommentAtItsFirstClose) {
    std::string minimalText = "(* a *) keep (* b *)";
    ovRegExp minimal(kCommentPattern);
    minimal.setMinimal(true);
    EXPECT_EQ(minimal.remove(minimalText), 2);
    EXPECT_EQ(minimalText, " keep ");

    std::string greedyText = "(* a *) keep (* b *)";
    ovRegExp greedy(kCommentPattern);
    EXPECT_EQ(greedy.remove(greedyText), 1);
    EXPECT_EQ(greedyText, "");
}

TEST_F(RegExpTest, RemoveStepsOverEmptyMatches) {
    ovRegExp optional("x*");
    std::string text = "axxbx";
    EXPECT_EQ(optional.remove(text), 2);
    EXPECT_EQ(text, "ab");

    ovRegExp alwaysEmpty("(?:)");
    std::string unchanged = "abc";
    EXPECT_EQ(alwaysEmpty.remove(unchanged), 0);
    EXPECT_EQ(unchanged, "abc");

    std::string empty;
    EXPECT_EQ(optional.remove(empty), 0);
    EXPECT_EQ(empty, "");
}

TEST_F(RegExpTest, Utf8ModeStepsOverWholeCharacters) {
    ovRegExp bytes("^(.)");
    ASSERT_EQ(bytes.indexIn("\xc3\xa9t\xc3\xa9", 0), 0u);
    EXPECT_EQ(bytes.editMatches().capturedTexts()[1], "\xc3");

    ovRegExp utf("^(.)", ovRegExp::CaseSensitive, ovRegExp::PerlSyntax, true);
    ASSERT_EQ(utf.indexIn("\xc3\xa9t\xc3\xa9", 0), 0u);
    EXPECT_EQ(utf.editMatches().capturedTexts()[1], "\xc3\xa9");

    ovRegExp optional("b*", ovRegExp::CaseSensitive, ovRegExp::PerlSyntax, true);
    std::string text =
        "\xc3\xa9"
        "bb\xe2\x82\xac b";
    EXPECT_EQ(optional.remove(text), 2);
    EXPECT_EQ(text, "\xc3\xa9\xe2\x82\xac ");
}

TEST_F(RegExpTest, Utf8ModeToleratesInvalidSequencesInTheSubject) {
    ovRegExp regExp("b+", ovRegExp::CaseSensitive, ovRegExp::PerlSyntax, true);
    std::string text =
        "a\xff\xfe"
        "bb\xc3";
    EXPECT_EQ(regExp.indexIn(text, 0), 3u);
    EXPECT_EQ(regExp.remove(text), 1);
    EXPECT_EQ(text, "a\xff\xfe\xc3");
    EXPECT_EQ(regExp.lastError(), "");
}

TEST_F(RegExpTest, InvalidPatternReportsTheCompileErrorAndNeverMatches) {
    ovRegExp regExp("ENTITY (\\w+");
    EXPECT_FALSE(regExp.isValid());
    EXPECT_NE(regExp.lastError().find("missing closing parenthesis"), std::string::npos)
        << regExp.lastError();
    EXPECT_EQ(regExp.indexIn("ENTITY a;", 0), ovRegExp::sInvalidOffset);

    std::string text = "ENTITY a;";
    EXPECT_EQ(regExp.remove(text), -1);
    EXPECT_EQ(text, "ENTITY a;");

    regExp.setMinimal(true);
    EXPECT_FALSE(regExp.isValid());
    EXPECT_NE(regExp.lastError(), "");
}

TEST_F(RegExpTest, UnknownSyntaxIsRefused) {
    ovRegExp regExp("a", ovRegExp::CaseSensitive, 7);
    EXPECT_FALSE(regExp.isValid());
    EXPECT_EQ(regExp.lastError(), "unsupported pattern syntax 7");
}

TEST_F(RegExpTest, RunawayMatchFailsWithTheReason) {
    ovRegExp regExp(kRunawayPattern);
    EXPECT_EQ(regExp.indexIn(kRunawaySubject, 0), ovRegExp::sInvalidOffset);
    EXPECT_EQ(regExp.lastError(), "match limit exceeded");

    // The next ordinary search succeeds and clears the reason.
    EXPECT_EQ(regExp.indexIn("aaa", 0), 0u);
    EXPECT_EQ(regExp.lastError(), "");
}

TEST_F(RegExpTest, RunawayRemoveLeavesTheTextUnchanged) {
    ovRegExp regExp("x|" + kRunawayPattern);
    std::string text = "x " + kRunawaySubject;
    const std::string original = text;
    EXPECT_EQ(regExp.remove(text), -1);
    EXPECT_EQ(text, original);
    EXPECT_EQ(regExp.lastError(), "match limit exceeded");
}

TEST_F(RegExpTest, MatchLimitIsAdjustable) {
    // Fifteen letters take some tens of thousands of steps to reject.
    ovRegExp regExp(kRunawayPattern);
    const std::string subject = std::string(15, 'a') + "!";
    EXPECT_EQ(regExp.indexIn(subject, 0), ovRegExp::sInvalidOffset);
    EXPECT_EQ(regExp.lastError(), "");

    regExp.setMatchLimit(100);
    EXPECT_EQ(regExp.indexIn(subject, 0), ovRegExp::sInvalidOffset);
    EXPECT_EQ(regExp.lastError(), "match limit exceeded");

    regExp.setMatchLimit(0);
    EXPECT_EQ(regExp.indexIn(subject, 0), ovRegExp::sInvalidOffset);
    EXPECT_EQ(regExp.lastError(), "");
}

TEST_F(RegExpTest, PatternsAreCompiledToMachineCodeWhereTheEngineCan) {
    uint32_t jitSupported = 0;
    pcre2_config(PCRE2_CONFIG_JIT, &jitSupported);
    if (jitSupported == 0) {
        GTEST_SKIP() << "this engine build has no JIT";
    }
    ovRegExp regExp(kEntityPattern);
    regExp.setMinimal(true);
    EXPECT_TRUE(regExp.usesJit());
    ovRegExp invalid("(");
    EXPECT_FALSE(invalid.usesJit());
}

TEST_F(RegExpTest, NestedInitializationIsCounted) {
    test::LogCapture log;
    initializeRegExp();
    terminateRegExp();
    ovRegExp regExp("a");
    EXPECT_EQ(regExp.indexIn("ba", 0), 1u);
    EXPECT_TRUE(log.lines().empty());
}

// The schema parser's whole workload: strip the comments, then find every
// entity, restarting one character after each match start.
TEST_F(RegExpTest, FullSchemaIsSplitIntoItsEntities) {
    std::string schema = test::readFile(test::sharedDataDir() / "step" / "ap242_1_36_mim_lf.exp");
    ASSERT_FALSE(schema.empty());
    ovRegExp comments(kCommentPattern);
    comments.setMinimal(true);
    EXPECT_GT(comments.remove(schema), 0);
    EXPECT_EQ(schema.find("(*"), std::string::npos);

    ovRegExp entity(kEntityPattern);
    entity.setMinimal(true);
    int entityCount = 0;
    for (size_t index = entity.indexIn(schema, 0); index != ovRegExp::sInvalidOffset;
         index = entity.indexIn(schema, index + 1)) {
        const Texts& texts = entity.editMatches().capturedTexts();
        ASSERT_EQ(texts.size(), 4u);
        ASSERT_FALSE(texts[1].empty());
        ASSERT_EQ(texts[3].find("END_ENTITY;"), std::string::npos) << texts[1];
        ++entityCount;
    }
    EXPECT_EQ(entity.lastError(), "");
    EXPECT_EQ(entityCount, 1726);
}

}  // namespace
}  // namespace ov
