#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <locale>
#include <random>
#include <sstream>

#include "core/FloatText.h"

namespace ov {
namespace {

using limits = std::numeric_limits<float>;

// Random bit patterns, the special values, subnormals, and both neighbours of
// every power of ten and of the values just below one, where the sixth digit
// rounds up into a new one.
std::vector<float> valuesToCompare() {
    std::vector<float> values = {0.0f, -0.0f, limits::infinity(), -limits::infinity(), limits::quiet_NaN(),
                                 -limits::quiet_NaN(), limits::denorm_min(), limits::min(), limits::lowest(),
                                 // halfway between two six-digit texts
                                 1.0000005f, 1.2345650f, 0.1234565f, 999999.5f, 8.3886075e6f};
    for (int exponent = -45; exponent <= 38; ++exponent) {
        const float power = std::pow(10.0f, static_cast<float>(exponent));
        for (const float value : {power, -power, power * 0.9999995f}) {
            values.insert(values.end(), {std::nextafter(value, -limits::infinity()), value,
                                         std::nextafter(value, limits::infinity())});
        }
    }
    std::mt19937 random(20260615);
    for (int i = 0; i < 500'000; ++i) {
        values.push_back(std::bit_cast<float>(static_cast<uint32_t>(random())));
    }
    return values;
}

// Independence from the global locale is shown by the line-drawing goldens,
// saved under a decimal-comma locale.
TEST(FloatText, WritesWhatAClassicStreamWrites) {
    for (const float value : valuesToCompare()) {
        std::ostringstream stream;
        stream.imbue(std::locale::classic());
        stream << value;
        // glibc's streams show a NaN's sign and MinGW's drop it; the text is glibc's everywhere.
        const std::string expected =
            std::isnan(value) ? (std::signbit(value) ? "-nan" : "nan") : stream.str();
        std::string text = "prefix ";
        appendFloat(text, value);
        ASSERT_EQ(text, "prefix " + expected) << "bits " << std::hex << std::bit_cast<uint32_t>(value);
    }
}

}  // namespace
}  // namespace ov
