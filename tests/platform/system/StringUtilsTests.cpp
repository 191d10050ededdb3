#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "system/ovStringUtils.h"

namespace ov {
namespace {

TEST(StringUtils, ContainsStartsAndEnds) {
    EXPECT_TRUE(ovStringUtils::Contains("Hello World", "o W"));
    EXPECT_FALSE(ovStringUtils::Contains("Hello World", "o w"));
    EXPECT_TRUE(ovStringUtils::Contains("Hello World", "O w", false));
    EXPECT_FALSE(ovStringUtils::Contains("Hello", "hello!", false));
    EXPECT_TRUE(ovStringUtils::Contains("", "", false));
    EXPECT_TRUE(ovStringUtils::Contains("abc", ""));
    EXPECT_TRUE(ovStringUtils::StartsWith("abc", "ab"));
    EXPECT_FALSE(ovStringUtils::StartsWith("ab", "abc"));
    EXPECT_TRUE(ovStringUtils::StartsWith("abc", ""));
    EXPECT_TRUE(ovStringUtils::endsWith("file.STP", ".STP"));
    EXPECT_FALSE(ovStringUtils::endsWith("file.STP", ".stp"));
    EXPECT_FALSE(ovStringUtils::endsWith("", "x"));
}

TEST(StringUtils, ParseBoolAcceptsTheUsualWordsOnly) {
    for (const char* yes : {"true", "TRUE", " True ", "1", "yes", "On"}) {
        bool value = false;
        EXPECT_TRUE(ovStringUtils::parseBool(yes, value)) << yes;
        EXPECT_TRUE(value) << yes;
    }
    for (const char* no : {"false", "0", "\tNO\n", "off"}) {
        bool value = true;
        EXPECT_TRUE(ovStringUtils::parseBool(no, value)) << no;
        EXPECT_FALSE(value) << no;
    }
    for (const char* neither : {"", " ", "2", "truee", "y", "o n"}) {
        bool value = true;
        EXPECT_FALSE(ovStringUtils::parseBool(neither, value)) << neither;
        EXPECT_TRUE(value) << neither;
    }
}

TEST(StringUtils, ReplaceAllOccurrences) {
    std::string text = "a-b-c";
    EXPECT_EQ(ovStringUtils::ReplaceAllOccurrences(text, "-", "--"), 2u);
    EXPECT_EQ(text, "a--b--c");
    text = "aaa";
    EXPECT_EQ(ovStringUtils::ReplaceAllOccurrences(text, "aa", "b"), 1u);
    EXPECT_EQ(text, "ba");
    text = "abc";
    EXPECT_EQ(ovStringUtils::ReplaceAllOccurrences(text, "", "x"), 0u);
    EXPECT_EQ(ovStringUtils::ReplaceAllOccurrences(text, "z", "x"), 0u);
    EXPECT_EQ(ovStringUtils::ReplaceAllOccurrences(text, "abc", ""), 1u);
    EXPECT_EQ(text, "");
}

TEST(StringUtils, TrimAndCase) {
    std::string text = " \t\r\n x y \v\f";
    ovStringUtils::trim(text);
    EXPECT_EQ(text, "x y");
    text = "   ";
    ovStringUtils::trim(text);
    EXPECT_EQ(text, "");
    text = "mixed Case 1\xC3\xA9";
    ovStringUtils::toUpper(text);
    EXPECT_EQ(text, "MIXED CASE 1\xC3\xA9");
    ovStringUtils::toLower(text);
    EXPECT_EQ(text, "mixed case 1\xC3\xA9");
}

TEST(StringUtils, EscapeXmlString) {
    EXPECT_EQ(ovStringUtils::EscapeXmlString(R"(<a href="x">Tom & Jerry's</a>)"),
              "&lt;a href=&quot;x&quot;&gt;Tom &amp; Jerry&apos;s&lt;/a&gt;");
    EXPECT_EQ(ovStringUtils::EscapeXmlString("plain \xC3\xA9"), "plain \xC3\xA9");
    EXPECT_EQ(ovStringUtils::EscapeXmlString(""), "");
}

TEST(StringUtils, ConvertToUnicodeDecodesUtf8AndReplacesBadSequences) {
    EXPECT_EQ(ovStringUtils::convertToUnicode("a\xC3\xA9\xE2\x82\xAC", ovCharSetUtf8), L"a\u00e9\u20ac");
    EXPECT_EQ(ovStringUtils::convertToUnicode("\xF0\x9F\x98\x80", ovCharSetUtf8), L"\U0001F600");
    EXPECT_EQ(ovStringUtils::convertToUnicode("a\xFF"
                                              "b",
                                              ovCharSetUtf8),
              L"a\uFFFDb");
    EXPECT_EQ(ovStringUtils::convertToUnicode("a\xC3", ovCharSetUtf8), L"a\uFFFD");
    EXPECT_EQ(ovStringUtils::convertToUnicode("\xED\xA0\x80", ovCharSetUtf8).find(L'\xD800'),
              std::wstring::npos);
    EXPECT_EQ(ovStringUtils::convertToUnicode("", ovCharSetUtf8), L"");
    EXPECT_EQ(ovStringUtils::convertToUnicode("plain", ovCharSetLocal), L"plain");
}

TEST(StringUtils, IntegersArePaddedToTheMinimumDigitCount) {
    EXPECT_EQ(ovStringUtils::fromInt(0, 0), "0");
    EXPECT_EQ(ovStringUtils::fromInt(7, 3), "007");
    EXPECT_EQ(ovStringUtils::fromInt(-7, 3), "-007");
    EXPECT_EQ(ovStringUtils::fromInt(12345, 3), "12345");
    EXPECT_EQ(ovStringUtils::fromInt(std::numeric_limits<int64_t>::min(), 1), "-9223372036854775808");
    EXPECT_EQ(ovStringUtils::fromUInt(42, -5), "42");
    EXPECT_EQ(ovStringUtils::fromUInt(std::numeric_limits<uint32_t>::max(), 12), "004294967295");
    EXPECT_EQ(ovStringUtils::fromUInt64(std::numeric_limits<uint64_t>::max(), 0), "18446744073709551615");
}

TEST(StringUtils, LocalesWriteAFullStopWithoutGrouping) {
    for (const std::locale& locale : {ovStringUtils::msCLocale, ovStringUtils::msCplusLocale}) {
        const auto& numbers = std::use_facet<std::numpunct<char>>(locale);
        EXPECT_EQ(numbers.decimal_point(), '.');
        EXPECT_EQ(numbers.grouping(), "");
    }
}

}  // namespace
}  // namespace ov
