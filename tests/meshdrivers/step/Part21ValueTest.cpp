#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

#include "Part21WriterTestAccess.h"
#include "StepTestSupport.h"

namespace ov::step::test {
namespace {

ovVariant list(std::initializer_list<ovVariant> values) {
    ovVariantListImpl items;
    for (const ovVariant& value : values) {
        items.push_back(value);
    }
    return ovVariant(items);
}

TEST(Utf8ToPart21Encoding, EncodesOrRefusesWithTheDecoderReason) {
    struct Case {
        std::string in;
        std::string out;  // after a refusal, what converted before the bad sequence
        std::string error;
    };
    const Case cases[] = {
        {"", "", ""},
        {"Plain text 0-9 ~{}", "Plain text 0-9 ~{}", ""},
        {"It's a\\b ''", "It''s a\\\\b ''''", ""},
        {"a\nb", "a\\X2\\000A\\X0\\b", ""},
        {std::string("\0\x1F\x7F", 3), "\\X2\\0000\\X0\\\\X2\\001F\\X0\\\\X2\\007F\\X0\\", ""},
        {"\xC3\xA9\xC3\xA9", "\\X2\\00E9\\X0\\\\X2\\00E9\\X0\\", ""},
        {"\xEF\xBF\xBF", "\\X2\\FFFF\\X0\\", ""},
        {"\xF0\x90\x80\x80\xF0\x9F\x98\x80", "\\X4\\00010000\\X0\\\\X4\\0001F600\\X0\\", ""},
        {"\xF4\x8F\xBF\xBF", "\\X4\\0010FFFF\\X0\\", ""},
        {"\xC3", "", "Not enough space"},
        {"\xE2\x82", "", "Not enough space"},
        {"\xFF", "", "Invalid UTF-8"},
        {"\x80", "", "Invalid UTF-8"},
        {"\xC3(", "", "Invalid UTF-8"},
        {"\xC0\x80", "", "Invalid UTF-8"},           // over-long NUL
        {"\xE0\x80\xAF", "", "Invalid UTF-8"},       // over-long solidus
        {"\xED\xA0\x80", "", "Invalid code point"},  // surrogate
        {"\xF4\x90\x80\x80", "", "Invalid code point"},
        {"It's\xC3\xA9!\xFFtail", "It''s\\X2\\00E9\\X0\\!", "Invalid UTF-8"},
    };
    for (const Case& c : cases) {
        ov::test::LogCapture log;
        std::string out = "stale";
        EXPECT_EQ(Part21WriterTestAccess::Utf8ToPart21Encoding(c.in, out), c.error.empty()) << c.out;
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(log.texts(ovLogError),
                  c.error.empty() ? Strings{} : Strings{"Utf8ToPart21Encoding, exception " + c.error});
    }
}

using ValueWriting = ToyFileTest;

// Plain text is recognised several bytes at a time: every byte value in every
// place of a text must still give the encoder's text, or its failure.
TEST_F(ValueWriting, StringsGiveTheEncoderTextWhateverByteAndPlace) {
    const std::string plain = "Plain_text-0123.";
    for (size_t place = 0; place < plain.size(); ++place) {
        for (int byte = 0; byte < 256; ++byte) {
            std::string text = plain;
            text[place] = static_cast<char>(byte);
            std::string encoded;
            if (Part21WriterTestAccess::Utf8ToPart21Encoding(text, encoded)) {
                ASSERT_EQ(writtenValue(ovVariant(text)), "'" + encoded + "'") << place << " " << byte;
            } else {
                ASSERT_FALSE(writeHolder(ovVariant(text))) << place << " " << byte;
                startFile();
            }
        }
    }
}

// Finite reals carry the exact text of printf's "%.99G"; the others fixed texts.
TEST_F(ValueWriting, RealsCarryTheirExactValue) {
    EXPECT_EQ(writtenValue(ovVariant(0.1)), "0.1000000000000000055511151231257827021181583404541015625");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(writtenValue(ovVariant(nan)) + writtenValue(ovVariant(-nan)), "nannan");
    EXPECT_EQ(writtenValue(ovVariant(inf)) + " " + writtenValue(ovVariant(-inf)),
              "1.79769E+308 -1.79769E+308");

    std::vector<double> values = {0.0,
                                  -0.0,
                                  1.0,
                                  -2.25,
                                  1e-5,
                                  1e-4,
                                  1e15,
                                  1e20,
                                  1e98,
                                  1e99,
                                  1e100,
                                  1e300,
                                  DBL_MAX,
                                  9007199254740993.0,
                                  4503599627370495.5,
                                  std::ldexp(1.0, -1074),
                                  std::nextafter(1.0, 2.0),
                                  std::nextafter(1.0, 0.0)};
    // Powers of two down to where the exact expansion outgrows 99 digits, odd
    // multiples of them, and their neighbours.
    for (int exponent = 1; exponent <= 140; ++exponent) {
        for (const double odd : {1.0, 3.0, 12345.0, 9007199254740991.0}) {
            const double value = std::ldexp(odd, -exponent);
            values.insert(values.end(),
                          {value, -value, std::nextafter(value, 0.0), std::nextafter(value, 1e300)});
        }
    }
    // Random doubles, and random floats as most scene coordinates are.
    std::mt19937_64 random(20261204);
    for (int round = 0; round < 2000; ++round) {
        const uint64_t bits = random();
        const auto low = static_cast<uint32_t>(bits);
        double wide = 0;
        float single = 0;
        std::memcpy(&wide, &bits, sizeof wide);
        std::memcpy(&single, &low, sizeof single);
        values.insert(values.end(),
                      {std::isfinite(wide) ? wide : 0.5, std::isfinite(single) ? single : 0.5f});
    }
    char expected[256];
    for (const double value : values) {
        std::snprintf(expected, sizeof expected, "%.99G", value);
        ASSERT_EQ(writtenValue(ovVariant(value)), expected) << std::hexfloat << value;
    }
}

TEST_F(ValueWriting, ValuesTakeTheirExchangeForms) {
    for (int handedOut = 0; handedOut < 3; ++handedOut) {
        writer.generateEntityId();  // #3 may be referred to before it is written
    }
    const double two[] = {0.5, -1}, three[] = {1, 0, 0};
    const float four[] = {1, 2, 3, 4.5f};
    const std::pair<ovVariant, std::string> cases[] = {
        {ovVariant(-7), "-7"},
        {ovVariant(std::numeric_limits<int64_t>::min()), "-9223372036854775808"},
        {ovVariant(std::numeric_limits<int64_t>::max()), "9223372036854775807"},
        {ovVariant(true), "1"},
        {ovVariant(false), "0"},
        {ovVariant("It's a\\b\xC3\xA9\n"), "'It''s a\\\\b\\X2\\00E9\\X0\\\\X2\\000A\\X0\\'"},
        {ovVariant(""), "''"},
        {ovVariant(two, 2), "(0.5,-1)"},
        {ovVariant(three, 3), "(1,0,0)"},
        {ovVariant(four, 4), "(1,2,3,4.5)"},
        {list({}), "()"},
        {list({ovVariant(1), ovVariant("x"), list({ovVariant(2.5), list({})})}), "(1,'x',(2.5,()))"},
        {list({ref(3), Part21WriterUserData(std::string("UNSPECIFIED")).toVariant()}), "(#3,.UNSPECIFIED.)"},
        {Part21WriterUserData(std::string("lower_Case")).toVariant(), ".lower_Case."},
        {Part21WriterUserData(Part21WriterUserData::DotIdentifier).toVariant(), "IDENTIFIER('.')"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(writtenValue(value), text);
    }
    EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace ov::step::test
