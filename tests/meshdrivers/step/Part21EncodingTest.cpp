#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "StepTestSupport.h"

namespace ov::step::test {
namespace {

std::string encode(const std::string& in, bool expectSuccess = true) {
    std::string out = "stale";
    EXPECT_EQ(Part21WriterTestAccess::Utf8ToPart21Encoding(in, out), expectSuccess) << in;
    return out;
}

// ---------------------------------------------------------------- strings

TEST(Utf8ToPart21Encoding, KeepsPrintableAsciiAndDoublesQuotesAndBackslashes) {
    EXPECT_EQ(encode(""), "");
    EXPECT_EQ(encode("Plain text 0-9 ~{}"), "Plain text 0-9 ~{}");
    EXPECT_EQ(encode("It's"), "It''s");
    EXPECT_EQ(encode("a\\b"), "a\\\\b");
    EXPECT_EQ(encode("''\\\\"), "''''\\\\\\\\");
}

TEST(Utf8ToPart21Encoding, GivesEachOtherCharacterItsOwnDirective) {
    EXPECT_EQ(encode("a\nb"), "a\\X2\\000A\\X0\\b");
    EXPECT_EQ(encode(std::string("\0", 1)), "\\X2\\0000\\X0\\");
    EXPECT_EQ(encode("\x1F\x7F"), "\\X2\\001F\\X0\\\\X2\\007F\\X0\\");
    EXPECT_EQ(encode("\xC3\xA9"), "\\X2\\00E9\\X0\\");
    EXPECT_EQ(encode("\xC3\xA9\xC3\xA9"), "\\X2\\00E9\\X0\\\\X2\\00E9\\X0\\");
    EXPECT_EQ(encode("\xEF\xBF\xBF"), "\\X2\\FFFF\\X0\\");
    EXPECT_EQ(encode("\xF0\x90\x80\x80"), "\\X4\\00010000\\X0\\");
    EXPECT_EQ(encode("\xF0\x9F\x98\x80"), "\\X4\\0001F600\\X0\\");
    EXPECT_EQ(encode("\xF4\x8F\xBF\xBF"), "\\X4\\0010FFFF\\X0\\");
}

TEST(Utf8ToPart21Encoding, RefusesInvalidUtf8WithTheDecoderReason) {
    struct Case {
        const char* bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"\xC3", "Not enough space"},                // cut off by the end
        {"\xE2\x82", "Not enough space"},            // cut off by the end
        {"\xFF", "Invalid UTF-8"},                   // invalid lead byte
        {"\x80", "Invalid UTF-8"},                   // lone continuation byte
        {"\xC3(", "Invalid UTF-8"},                  // missing continuation byte
        {"\xC0\x80", "Invalid UTF-8"},               // over-long NUL
        {"\xE0\x80\xAF", "Invalid UTF-8"},           // over-long solidus
        {"\xED\xA0\x80", "Invalid code point"},      // surrogate
        {"\xF4\x90\x80\x80", "Invalid code point"},  // above U+10FFFF
    };
    for (const Case& c : cases) {
        ov::test::LogCapture log;
        encode(c.bytes, false);
        EXPECT_EQ(log.texts(ovLogError),
                  std::vector<std::string>{std::string("Utf8ToPart21Encoding, exception ") + c.reason})
            << "for the bytes of case " << c.reason;
    }
}

TEST(Utf8ToPart21Encoding, KeepsWhatConvertedBeforeTheBadSequence) {
    ov::test::LogCapture log;
    EXPECT_EQ(encode("It's\xC3\xA9!\xFFtail", false), "It''s\\X2\\00E9\\X0\\!");
}

// ---------------------------------------------------------------- values in records

using ValueWriting = ToyFileTest;

TEST_F(ValueWriting, IntegersAndBooleans) {
    EXPECT_EQ(writtenValue(ovVariant(-7)), "-7");
    EXPECT_EQ(writtenValue(ovVariant(0)), "0");
    EXPECT_EQ(writtenValue(ovVariant(std::numeric_limits<int64_t>::min())), "-9223372036854775808");
    EXPECT_EQ(writtenValue(ovVariant(std::numeric_limits<int64_t>::max())), "9223372036854775807");
    EXPECT_EQ(writtenValue(ovVariant(true)), "1");
    EXPECT_EQ(writtenValue(ovVariant(false)), "0");
}

TEST_F(ValueWriting, RealsCarryTheirExactValue) {
    EXPECT_EQ(writtenValue(ovVariant(0.5)), "0.5");
    EXPECT_EQ(writtenValue(ovVariant(1.0)), "1");
    EXPECT_EQ(writtenValue(ovVariant(-2.25)), "-2.25");
    EXPECT_EQ(writtenValue(ovVariant(0.0)), "0");
    EXPECT_EQ(writtenValue(ovVariant(-0.0)), "-0");
    EXPECT_EQ(writtenValue(ovVariant(0.1)), "0.1000000000000000055511151231257827021181583404541015625");
    EXPECT_EQ(writtenValue(ovVariant(1e-05)),
              "1.0000000000000000818030539140313095458623138256371021270751953125E-05");
    EXPECT_EQ(writtenValue(ovVariant(1e-4)),
              "0.000100000000000000004792173602385929598312941379845142364501953125");
    EXPECT_EQ(writtenValue(ovVariant(1e20)), "100000000000000000000");
    EXPECT_EQ(
        writtenValue(ovVariant(1e100)),
        "1."
        "00000000000000001590289110975991804683608085639452813897813275577478387721703810608134699858568151E+"
        "100");
    EXPECT_EQ(
        writtenValue(ovVariant(DBL_MAX)),
        "1."
        "79769313486231570814527423731704356798070567525844996598917476803157260780028538760589558632766878E+"
        "308");
}

TEST_F(ValueWriting, RealsWithoutFiniteValueHaveFixedTexts) {
    EXPECT_EQ(writtenValue(ovVariant(std::numeric_limits<double>::quiet_NaN())), "nan");
    EXPECT_EQ(writtenValue(ovVariant(-std::numeric_limits<double>::quiet_NaN())), "nan");
    EXPECT_EQ(writtenValue(ovVariant(std::numeric_limits<double>::infinity())), "1.79769E+308");
    EXPECT_EQ(writtenValue(ovVariant(-std::numeric_limits<double>::infinity())), "-1.79769E+308");
}

TEST_F(ValueWriting, WholeRealsMatchThePrintfGeneralForm) {
    const double whole[] = {0.0,
                            -0.0,
                            1.0,
                            -1.0,
                            42.0,
                            1e15,
                            -1e15,
                            4503599627370496.0,
                            9007199254740991.0,
                            9007199254740992.0,
                            9007199254740994.0,
                            -9007199254740994.0,
                            1e98,
                            1e99,
                            1e300};
    char expected[256];
    for (const double value : whole) {
        std::snprintf(expected, sizeof expected, "%.99G", value);
        EXPECT_EQ(writtenValue(ovVariant(value)), expected);
    }
}

TEST_F(ValueWriting, RealsMatchThePrintfGeneralFormAtPrecision99) {
    std::mt19937_64 random(20261204);
    std::uniform_int_distribution<uint64_t> bits;
    char expected[256];
    for (int round = 0; round < 2000; ++round) {
        double value = 0;
        const uint64_t pattern = bits(random);
        std::memcpy(&value, &pattern, sizeof value);
        if (!std::isfinite(value)) {
            continue;
        }
        std::snprintf(expected, sizeof expected, "%.99G", value);
        ASSERT_EQ(writtenValue(ovVariant(value)), expected);
    }
}

// Most reals of a scene (single-precision coordinates, short binary fractions)
// have exact expansions of at most 99 digits, which are written without
// rounding; the others are rounded to 99 digits. Both must give the printf text.
TEST_F(ValueWriting, RealsWithShortExpansionsMatchThePrintfGeneralForm) {
    std::vector<double> values = {0.75,
                                  -0.75,
                                  1e-4,
                                  1.5e-4,
                                  9.5367431640625e-07,
                                  -3.0517578125e-05,
                                  0.00048828125,
                                  6.103515625e-05,
                                  4503599627370495.5,
                                  -2251799813685247.75,
                                  std::ldexp(1.0, -130),
                                  std::ldexp(1.0, -131),
                                  std::ldexp(3.0, -140),
                                  std::ldexp(1.0, -1074),
                                  std::nextafter(1.0, 2.0),
                                  std::nextafter(1.0, 0.0)};
    // Every power of two down to where the expansion outgrows 99 digits, odd
    // multiples of it, and the neighbours of each.
    for (int exponent = 1; exponent <= 140; ++exponent) {
        for (const double odd : {1.0, 3.0, 12345.0, 9007199254740991.0}) {
            const double value = std::ldexp(odd, -exponent);
            values.insert(values.end(),
                          {value, -value, std::nextafter(value, 0.0), std::nextafter(value, 1e300)});
        }
    }
    std::mt19937 random(20261204);
    std::uniform_int_distribution<uint32_t> bits;
    for (int round = 0; round < 2000; ++round) {
        float single = 0;
        const uint32_t pattern = bits(random);
        std::memcpy(&single, &pattern, sizeof single);
        if (std::isfinite(single)) {
            values.push_back(single);
        }
    }
    char expected[256];
    for (const double value : values) {
        std::snprintf(expected, sizeof expected, "%.99G", value);
        ASSERT_EQ(writtenValue(ovVariant(value)), expected) << std::hexfloat << value;
    }
}

TEST_F(ValueWriting, StringsAreQuotedAndEncoded) {
    EXPECT_EQ(writtenValue(ovVariant("It's")), "'It''s'");
    EXPECT_EQ(writtenValue(ovVariant("a\\b")), "'a\\\\b'");
    EXPECT_EQ(writtenValue(ovVariant("caf\xC3\xA9\n")), "'caf\\X2\\00E9\\X0\\\\X2\\000A\\X0\\'");
    EXPECT_EQ(writtenValue(ovVariant("")), "''");
}

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

TEST_F(ValueWriting, InvalidUtf8FailsTheRecordAfterTheOpeningQuote) {
    EXPECT_FALSE(writeHolder(ovVariant("ab\xFF")));
    EXPECT_EQ(records(), "#1=HOLDER('");
    EXPECT_EQ(log.texts(ovLogError),
              std::vector<std::string>{"Utf8ToPart21Encoding, exception Invalid UTF-8"});
    EXPECT_TRUE(writer.isWriteError());
}

TEST_F(ValueWriting, VectorsAndLists) {
    const double two[] = {0.5, -1};
    const float four[] = {1, 2, 3, 4.5f};
    EXPECT_EQ(writtenValue(ovVariant(two, 2)), "(0.5,-1)");
    EXPECT_EQ(writtenValue(vec3(1, 0, 0)), "(1,0,0)");
    EXPECT_EQ(writtenValue(ovVariant(four, 4)), "(1,2,3,4.5)");
    EXPECT_EQ(writtenValue(list({})), "()");
    EXPECT_EQ(writtenValue(list({ovVariant(1), ovVariant("x"), list({ovVariant(2.5), list({})})})),
              "(1,'x',(2.5,()))");
}

TEST_F(ValueWriting, TokensCarriedAsUserData) {
    const Part21WriterUserData third = [this] {
        writer.generateEntityId();
        writer.generateEntityId();
        return writer.generateEntityId();
    }();
    // The list holds a reference to an id handed out but not written yet.
    EXPECT_EQ(writtenValue(list({ref(third), enumValue("UNSPECIFIED")})), "(#3,.UNSPECIFIED.)");
    EXPECT_EQ(writtenValue(enumValue("lower_Case")), ".lower_Case.");
    EXPECT_EQ(writtenValue(Part21WriterUserData(Part21WriterUserData::DotIdentifier).toVariant()),
              "IDENTIFIER('.')");
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(ValueWriting, ReferencesMustHaveBeenHandedOut) {
    writer.generateEntityId();
    EXPECT_FALSE(writeHolder(ref(uint64_t{3})));  // the holder took id 2
    EXPECT_EQ(log.texts(ovLogError), std::vector<std::string>{"Invalid ref 3 in value"});
}

TEST_F(ValueWriting, ReferenceZeroIsRefused) {
    EXPECT_FALSE(writeHolder(ref(uint64_t{0})));
    EXPECT_EQ(log.texts(ovLogError), std::vector<std::string>{"Invalid ref 0 in value"});
}

class ForeignUserData : public ovVariant::UserDataInterface {
public:
    ForeignUserData* createCopy() const override { return new ForeignUserData(); }
    bool isEqualTo(const ovVariant::UserDataInterface&) const override { return false; }
};

TEST_F(ValueWriting, UserDataOfAnotherClassIsRefused) {
    EXPECT_FALSE(writeHolder(ovVariant(new ForeignUserData())));
    EXPECT_EQ(log.texts(ovLogError), std::vector<std::string>{"Invalid user data"});
}

TEST_F(ValueWriting, KindsWithoutExchangeFormFailSilently) {
    ovVariantMapImpl map;
    map["k"] = ovVariant(1);
    const ovVariant withoutForm[] = {ovVariant(), ovVariant(map), ovVariant(ovDateTime{1000}),
                                     Part21WriterUserData().toVariant()};
    for (const ovVariant& value : withoutForm) {
        startFile();  // a failure is sticky: each kind gets a file of its own
        EXPECT_FALSE(writeHolder(value)) << "kind " << value.getType();
        EXPECT_EQ(records(), "#1=HOLDER(");
    }
    EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace ov::step::test
