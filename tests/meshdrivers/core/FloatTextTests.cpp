#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <locale>
#include <random>
#include <sstream>
#include <string>

#include "LineDrawingTestSupport.h"
#include "core/FloatText.h"

namespace ov::test {
namespace {

// What inserting the float into a fresh string stream writes, with the
// classic locale's decimal point.
std::string streamText(float value) {
    std::ostringstream stream;
    stream.imbue(std::locale::classic());
    stream << value;
    return stream.str();
}

std::string appendedText(float value) {
    std::string text = "prefix ";
    appendFloat(text, value);
    return text.substr(7);
}

// Compares both texts for value and its two float neighbours.
void expectSameTextAround(float value) {
    for (const float near : {std::nextafter(value, -std::numeric_limits<float>::infinity()), value,
                             std::nextafter(value, std::numeric_limits<float>::infinity())}) {
        ASSERT_EQ(appendedText(near), streamText(near))
            << "bits " << std::hex << std::bit_cast<uint32_t>(near);
    }
}

#ifdef NDEBUG
constexpr int kRandomPatterns = 2'000'000;
#else
constexpr int kRandomPatterns = 200'000;
#endif

TEST(FloatText, WritesWhatTheStreamWritesForRandomBitPatterns) {
    std::mt19937 random(20260615);
    for (int i = 0; i < kRandomPatterns; ++i) {
        const float value = std::bit_cast<float>(static_cast<uint32_t>(random()));
        ASSERT_EQ(appendedText(value), streamText(value))
            << "bits " << std::hex << std::bit_cast<uint32_t>(value);
    }
}

TEST(FloatText, WritesWhatTheStreamWritesAtDecimalBoundaries) {
    for (int exponent = -45; exponent <= 38; ++exponent) {
        const float power = std::pow(10.0f, static_cast<float>(exponent));
        expectSameTextAround(power);
        expectSameTextAround(-power);
        // Just below a power of ten the sixth digit rounds up into a new one.
        expectSameTextAround(power * 0.9999995f);
        expectSameTextAround(power * 9.999995f);
    }
    // Values halfway between two six-digit texts, where rounding decides.
    for (const float halfway : {1.0000005f, 1.2345650f, 2.5e-6f, 0.1234565f, 123456.5f, 999999.5f, 1234565.0f,
                                8.3886075e6f, 3.4028235e38f}) {
        expectSameTextAround(halfway);
    }
}

TEST(FloatText, WritesSubnormalsZerosInfinitiesAndNaNs) {
    using limits = std::numeric_limits<float>;
    for (uint32_t bits = 1; bits < 0x00800000u; bits = bits * 3 + 1) {
        expectSameTextAround(std::bit_cast<float>(bits));
    }
    expectSameTextAround(limits::denorm_min());
    expectSameTextAround(limits::min());
    for (const float special :
         {0.0f, -0.0f, limits::infinity(), -limits::infinity(), limits::quiet_NaN(), -limits::quiet_NaN(),
          limits::signaling_NaN(), std::bit_cast<float>(0xFFC00001u), limits::max(), limits::lowest()}) {
        EXPECT_EQ(appendedText(special), streamText(special));
    }
    EXPECT_EQ(appendedText(limits::infinity()), "inf");
    EXPECT_EQ(appendedText(-limits::infinity()), "-inf");
    EXPECT_EQ(appendedText(-0.0f), "-0");
}

TEST(FloatText, GivesTheGeneralFormatWithSixSignificantDigits) {
    EXPECT_EQ(appendedText(10.0f), "10");
    EXPECT_EQ(appendedText(0.5f), "0.5");
    EXPECT_EQ(appendedText(1234567.0f), "1.23457e+06");
    EXPECT_EQ(appendedText(0.00001f), "1e-05");
    EXPECT_EQ(appendedText(123456.0f), "123456");
    EXPECT_EQ(appendedText(0.0001f), "0.0001");
    EXPECT_EQ(appendedText(1e-38f), "1e-38");
}

TEST(FloatText, KeepsItsPointWhateverTheGlobalLocale) {
    const GlobalLocale german("de_DE.UTF-8");
    if (!german.available()) {
        GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
    }
    std::ostringstream local;
    local << 1.5f;
    ASSERT_EQ(local.str(), "1,5") << "the locale should change what a plain stream writes";
    EXPECT_EQ(appendedText(1.5f), "1.5");
    EXPECT_EQ(appendedText(-1234567.0f), "-1.23457e+06");
    std::mt19937 random(7);
    for (int i = 0; i < 10000; ++i) {
        const float value = std::bit_cast<float>(static_cast<uint32_t>(random()));
        ASSERT_EQ(appendedText(value), streamText(value));
    }
}

template <typename Integer>
std::string integerText(Integer value) {
    std::string text;
    appendInteger(text, value);
    return text;
}

TEST(FloatText, AppendsIntegersInDecimal) {
    EXPECT_EQ(integerText(std::numeric_limits<int32_t>::min()), "-2147483648");
    EXPECT_EQ(integerText(std::numeric_limits<uint32_t>::max()), "4294967295");
    EXPECT_EQ(integerText(0), "0");
}

}  // namespace
}  // namespace ov::test
