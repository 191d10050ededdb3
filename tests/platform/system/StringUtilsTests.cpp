#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <iomanip>
#include <limits>
#include <locale>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "system/ovFiles.h"
#include "system/ovJsonWriter.h"
#include "system/ovStringUtils.h"
#include "system/ovUtf8.h"

namespace ov {
namespace {

using S = ovStringUtils;

std::string streamed(double value, int precision, int format) {
    // glibc's streams show a NaN's sign and MinGW's drop it; the library's text is glibc's everywhere.
    if (std::isnan(value)) {
        return std::signbit(value) ? "-nan" : "nan";
    }
    std::ostringstream stream;
    stream.imbue(std::locale::classic());
    const auto notation = format == S::Fixed ? std::ios::fixed : std::ios::scientific;
    stream.setf(format == S::General ? std::ios::fmtflags{} : notation, std::ios::floatfield);
    stream << std::setprecision(precision) << value;
    return stream.str();
}

std::vector<double> sampleValues() {
    using limits = std::numeric_limits<double>;
    std::vector<double> values;
    for (const double value :
         {0.0, 0.5, 0.1, 1.0 / 3.0, 123456789.0, 999999.5, 9.9999995, 0.00009999, limits::max(),
          limits::min(), limits::denorm_min(), limits::min() / 3, limits::infinity(), limits::quiet_NaN()}) {
        values.insert(values.end(), {value, -value});
    }
    for (int exponent = -323; exponent <= 308; ++exponent) {
        values.push_back(std::pow(10.0, exponent));
    }
    std::mt19937_64 random(20260615);
    for (int i = 0; i < 2000; ++i) {
        values.push_back(std::bit_cast<double>(random()));
    }
    return values;
}

TEST(FromFloat, EqualsClassicStreamOutputUnderAGermanProcessLocale) {
    const test::DecimalCommaLocale german;

    int mismatches = 0;
    for (const double value : sampleValues()) {
        for (const int format : {S::General, S::Fixed, S::Scientific}) {
            for (const int precision : {-1, 0, 1, 2, 6, 9, 15, 16, 17, 20, 40, 99}) {
                const std::string expected = streamed(value, precision, format);
                const std::string actual = S::fromFloat(value, precision, format);
                if (actual != expected && ++mismatches <= 10) {
                    ADD_FAILURE() << "value " << std::hexfloat << value << " format " << format
                                  << " precision " << precision << ": " << actual << " instead of "
                                  << expected;
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

struct PathCase {
    const char* path;
    const char* baseName;
    const char* fileName;
    const char* extension;  // lower-cased
    const char* folder;
    const char* rejoined;  // folder and file name joined again
};

const PathCase kPathCases[] = {
    {"", "", "", "", "", ""},
    {"model.stp", "model", "model.stp", "stp", "", "model.stp"},
    {"dir/sub/model.STP", "model", "model.STP", "stp", "dir/sub", "dir/sub/model.STP"},
    {"mixed\\dir/model.x", "model", "model.x", "x", "mixed\\dir", "mixed\\dir/model.x"},
    {"dir.d/README", "README", "README", "", "dir.d", "dir.d/README"},
    {"dir/.profile", ".profile", ".profile", "", "dir", "dir/.profile"},
    {"dir/.config.json", ".config", ".config.json", "json", "dir", "dir/.config.json"},
    {"name.", "name", "name.", "", "", "name."},
    {"dir/sub/", "", "", "", "dir/sub", "dir/sub/"},
    {"dir//file", "file", "file", "", "dir", "dir/file"},
    {"/file.txt", "file", "file.txt", "txt", "/", "/file.txt"},
    {"\\\\server\\share\\f.txt", "f", "f.txt", "txt", "\\\\server\\share", "\\\\server\\share/f.txt"},
};

// Well-formed text keeps its bytes (a caller that escapes is not escaped
// twice); anything a parser would refuse is escaped or replaced.
TEST(XmlCharacterData, KeepsWellFormedTextAndMendsTheRest) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Plan & \xC3\xA9l\xC3\xA9vation", "Plan &amp; \xC3\xA9l\xC3\xA9vation"},
        {"a &amp; b &#233; &#x1F600; > c", "a &amp; b &#233; &#x1F600; > c"},
        {"a < b", "a &lt; b"},
        {"&nbsp;", "&amp;nbsp;"},
        {"&#0;", "&amp;#0;"},
        {"&#x;", "&amp;#x;"},
        {"x]]>y", "x]]&gt;y"},
        {"bell\x07", "bell\xEF\xBF\xBD"},
        {"cut \xC3", "cut \xEF\xBF\xBD"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(S::ToXmlCharacterData(text), expected) << text;
    }
}

// Every writer repairs text by one rule: each byte that does not begin a
// valid sequence (a cut one, an overlong form) stands for one U+FFFD.
TEST(Utf8, EachByteThatIsNotUtf8BecomesOneReplacementCharacter) {
    const std::string fffd = "\xEF\xBF\xBD";
    size_t replaced = 0;
    EXPECT_EQ(validUtf8("\xE2\x82"
                        "a\xC0\xAF\xC3\xA9",
                        &replaced),
              fffd + fffd + "a" + fffd + fffd + "\xC3\xA9");
    EXPECT_EQ(replaced, 4u);
    EXPECT_EQ(S::ToXmlCharacterData("\xE2\x82<\x01"), fffd + fffd + "&lt;" + fffd);
    // Paths widen alike, and the NUL a name may carry stays. The C locale's narrow set is ASCII in
    // glibc and a byte per character in Windows' C runtime.
    EXPECT_EQ(S::convertToUnicode("\xE2\x82\xAC\xC0", ovCharSetUtf8), L"\u20AC\uFFFD");
#if defined(_WIN32)
    constexpr wchar_t kLocalE9 = L'\xE9';
#else
    constexpr wchar_t kLocalE9 = L'\uFFFD';
#endif
    EXPECT_EQ(S::convertToUnicode(std::string_view("a\xE9\0b", 4), ovCharSetLocal),
              std::wstring({L'a', kLocalE9, L'\0', L'b'}));
}

// Names from files of any origin make paths without an exception. Windows' are UTF-16, where bad
// bytes and unpaired surrogates become U+FFFD; a POSIX path keeps its bytes.
TEST(Utf8, PathsTakeNamesThatAreNotUtf8) {
#if defined(_WIN32)
    EXPECT_EQ(pathOfUtf8("a\xC3(\xE2\x82\xAC").native(), L"a\uFFFD(\u20AC");
    EXPECT_EQ(utf8OfPath(std::filesystem::path(L"a\xD800(\U0001F600")), "a\xEF\xBF\xBD(\xF0\x9F\x98\x80");
#else
    EXPECT_EQ(utf8OfPath(pathOfUtf8("a\xC3(")), "a\xC3(");
#endif
}

// A document streamed and one built in memory are the same bytes.
TEST(JsonWriter, StreamedAndInMemoryDocumentsAreAlikeAndEscaped) {
    const auto write = [](JsonWriter& json) {
        json.beginObject();
        json.string("na\"me", "tab\there\nline \\ \x01 \xFF");
        json.strings("list", {"a", "b"});
        json.beginArray("numbers");
        json.number({}, 0.1f);
        json.number({}, std::numeric_limits<double>::infinity());
        json.integer({}, -3);
        json.boolean({}, true);
        json.endArray();
        json.beginObject("empty");
        json.endObject();
        json.endObject();
    };
    JsonWriter inMemory;
    write(inMemory);
    std::ostringstream out;
    JsonWriter streamed(out);
    write(streamed);
    EXPECT_EQ(inMemory.text(), R"({"na\"me":"tab\there\nline \\ \u0001 )"
                               "\xEF\xBF\xBD"
                               R"(","list":["a","b"],"numbers":[0.1,0,-3,true],"empty":{}})");
    EXPECT_EQ(out.str(), inMemory.text());
    EXPECT_EQ(inMemory.replacedCharacters(), 1u);
}

TEST(DirUtils, PathPartsAreFoundWithEitherSeparator) {
    for (const PathCase& item : kPathCases) {
        SCOPED_TRACE(item.path);
        EXPECT_EQ(ovDirUtils::ExtractFileBaseName(item.path), item.baseName);
        EXPECT_EQ(ovDirUtils::ExtractFileBaseName(item.path, true), item.fileName);
        EXPECT_EQ(ovDirUtils::ExtractFileExtension(item.path, true, 0), item.extension);
        EXPECT_EQ(ovDirUtils::ExtractFolder(item.path), item.folder);
        EXPECT_EQ(ovDirUtils::JoinPath(item.folder, item.fileName), item.rejoined);
    }
    EXPECT_EQ(ovDirUtils::ExtractFileExtension("a.PlmXml", false, 0), "PlmXml");
    EXPECT_EQ(ovDirUtils::ExtractFileExtension("a.c", true, 2), "");
    EXPECT_EQ(ovDirUtils::ExtractFileExtension("a.cc", true, 2), "cc");
    EXPECT_EQ(ovDirUtils::JoinPath("dir", "/step/schema.exp"), "dir/step/schema.exp");
}

}  // namespace
}  // namespace ov
