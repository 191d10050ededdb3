#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <limits>
#include <locale>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "system/ovStringUtils.h"

namespace ov {
namespace {

constexpr int kFormats[] = {ovStringUtils::General, ovStringUtils::Fixed, ovStringUtils::Scientific};
constexpr int kPrecisions[] = {-1, 0, 1, 2, 6, 9, 15, 16, 17, 20, 40, 99};

std::string streamed(double value, int precision, int format) {
    std::ostringstream stream;
    stream.imbue(std::locale::classic());
    if (format == ovStringUtils::Fixed) {
        stream << std::fixed;
    } else if (format == ovStringUtils::Scientific) {
        stream << std::scientific;
    }
    stream << std::setprecision(precision) << value;
    return stream.str();
}

std::vector<double> sampleValues() {
    using limits = std::numeric_limits<double>;
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.5,
                                  1.0,
                                  -2.25,
                                  0.1,
                                  1.0 / 3.0,
                                  123456789.0,
                                  999999.5,
                                  9.9999995,
                                  0.0001,
                                  0.00009999,
                                  limits::max(),
                                  limits::lowest(),
                                  limits::min(),
                                  limits::denorm_min(),
                                  -limits::denorm_min(),
                                  limits::min() / 3,
                                  limits::infinity(),
                                  -limits::infinity(),
                                  limits::quiet_NaN(),
                                  -limits::quiet_NaN()};
    for (int exponent = -323; exponent <= 308; ++exponent) {
        values.push_back(std::pow(10.0, exponent));
    }
    std::mt19937_64 random(20260615);
    for (int i = 0; i < 2000; ++i) {
        values.push_back(std::bit_cast<double>(random()));
    }
    return values;
}

void expectSameAsStream() {
    int mismatches = 0;
    for (const double value : sampleValues()) {
        for (const int format : kFormats) {
            for (const int precision : kPrecisions) {
                const std::string expected = streamed(value, precision, format);
                const std::string actual = ovStringUtils::fromFloat(value, precision, format);
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

// Installs a locale for the whole process, C and C++ alike, and restores the
// previous one.
class ProcessLocale {
public:
    ProcessLocale() : mPreviousC(std::setlocale(LC_ALL, nullptr)), mPreviousCpp(std::locale()) {}
    ~ProcessLocale() {
        std::setlocale(LC_ALL, mPreviousC.c_str());
        std::locale::global(mPreviousCpp);
    }
    bool installNamed(const char* name) {
        if (!std::setlocale(LC_ALL, name)) {
            return false;
        }
        std::locale::global(std::locale(name));
        return true;
    }

private:
    std::string mPreviousC;
    std::locale mPreviousCpp;
};

class CommaNumbers : public std::numpunct<char> {
protected:
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(FromFloat, EqualsStreamOutput) {
    expectSameAsStream();
}

TEST(FromFloat, IgnoresAGlobalStreamLocale) {
    ProcessLocale guard;
    std::locale::global(std::locale(std::locale::classic(), new CommaNumbers));
    expectSameAsStream();
}

TEST(FromFloat, IgnoresAGermanProcessLocale) {
    ProcessLocale guard;
    if (!guard.installNamed("de_DE.UTF-8") && !guard.installNamed("de_DE.utf8")) {
        GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
    }
    char printed[16];
    std::snprintf(printed, sizeof printed, "%g", 2.5);
    ASSERT_STREQ(printed, "2,5") << "the German locale is not in effect";
    expectSameAsStream();
}

TEST(FromFloat, KnownTexts) {
    EXPECT_EQ(ovStringUtils::fromFloat(0.1, 99, ovStringUtils::General),
              "0.1000000000000000055511151231257827021181583404541015625");
    EXPECT_EQ(ovStringUtils::fromFloat(1e20, 99, ovStringUtils::General), "100000000000000000000");
    EXPECT_EQ(ovStringUtils::fromFloat(1e-5, 6, ovStringUtils::General), "1e-05");
    EXPECT_EQ(ovStringUtils::fromFloat(1.5, 3, ovStringUtils::Fixed), "1.500");
    EXPECT_EQ(ovStringUtils::fromFloat(1.5, 2, ovStringUtils::Scientific), "1.50e+00");
    EXPECT_EQ(ovStringUtils::fromFloat(1e308, 2, ovStringUtils::Fixed).size(), 309u + 3u);
}

}  // namespace
}  // namespace ov
