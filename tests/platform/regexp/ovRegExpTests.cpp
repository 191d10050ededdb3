#include "regexp/ovRegExp.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace ov {
namespace {

using Texts = std::vector<std::string>;
constexpr size_t kNone = ovRegExp::sInvalidOffset;

class RegExpTest : public ::testing::Test {
protected:
    RegExpTest() { initializeRegExp(); }
    ~RegExpTest() override { terminateRegExp(); }
};

TEST_F(RegExpTest, SearchFromAnOffsetCapturesTheMatchThenEveryGroup) {
    ovRegExp regExp(R"((\w+)@(\w+)(?:\.(com))?)");
    EXPECT_EQ(regExp.indexIn("mail bob@example now", 0), 5u);
    EXPECT_EQ(regExp.editMatches().captureCount(), 3);
    EXPECT_EQ(regExp.editMatches().capturedTexts(), (Texts{"bob@example", "bob", "example", ""}));
    EXPECT_EQ(regExp.indexIn("ann@site.com", 1), 1u);
    EXPECT_EQ(regExp.editMatches().capturedTexts(), (Texts{"nn@site.com", "nn", "site", "com"}));
    EXPECT_EQ(regExp.indexIn("ann@site.com", 12), kNone);
    EXPECT_EQ(regExp.indexIn("ann@site.com", 100), kNone);
    EXPECT_EQ(ovRegExp("x*$").indexIn("abc", 3), 3u) << "an empty match at the very end";
    EXPECT_EQ(ovRegExp("END", ovRegExp::CaseInsensitive).indexIn("x end", 0), 2u);
    EXPECT_EQ(ovRegExp("END").indexIn("x end", 0), kNone);
}

// An empty match removes nothing and the search goes on one character (not
// one byte, in UTF-8 mode) further; invalid UTF-8 in a subject is no error.
TEST_F(RegExpTest, RemoveStepsOverEmptyMatches) {
    using Case = std::tuple<const char*, bool, std::string, int, std::string>;
    for (const auto& [pattern, utf, original, removed, left] :
         std::vector<Case>{{"x*", false, "axxbx", 2, "ab"},
                           {"x*", false, "", 0, ""},
                           {"b*", true, "\u00e9bb\u20ac b", 2, "\u00e9\u20ac "},
                           {"b+", true, "a\377\376bb\303", 1, "a\377\376\303"}}) {
        ovRegExp regExp(pattern, ovRegExp::CaseSensitive, ovRegExp::PerlSyntax, utf);
        std::string text = original;
        EXPECT_EQ(regExp.remove(text), removed) << pattern;
        EXPECT_EQ(text, left) << pattern;
        EXPECT_EQ(regExp.lastError(), "");
    }
}

TEST_F(RegExpTest, RunawayMatchFailsWithTheReasonAndChangesNothing) {
    // The second branch backtracks exponentially on a subject that almost matches.
    ovRegExp regExp("x|(a+)+$");
    const std::string runaway = std::string(30, 'a') + "!";
    EXPECT_EQ(regExp.indexIn(runaway, 0), kNone);
    EXPECT_EQ(regExp.lastError(), "match limit exceeded");
    EXPECT_EQ(regExp.indexIn("aaa", 0), 0u);
    EXPECT_EQ(regExp.lastError(), "") << "cleared by the next search";

    std::string text = "x " + runaway;
    EXPECT_EQ(regExp.remove(text), -1);
    EXPECT_EQ(text, "x " + runaway);
    EXPECT_EQ(regExp.lastError(), "match limit exceeded");
}

TEST_F(RegExpTest, InvalidPatternSaysWhyAndNeverMatches) {
    ovRegExp regExp("ENTITY (\\w+");
    EXPECT_FALSE(regExp.isValid());
    EXPECT_NE(regExp.lastError().find("missing closing parenthesis"), std::string::npos)
        << regExp.lastError();
    EXPECT_EQ(regExp.indexIn("ENTITY a;", 0), kNone);
    std::string text = "ENTITY a;";
    EXPECT_EQ(regExp.remove(text), -1);
    EXPECT_EQ(text, "ENTITY a;");
    EXPECT_EQ(ovRegExp("a", ovRegExp::CaseSensitive, 7).lastError(), "unsupported pattern syntax 7");
}

}  // namespace
}  // namespace ov
