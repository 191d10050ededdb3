#include "step/ExactReal.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace ov::step {

namespace {

constexpr int kMaxSignificantDigits = 99;

// A double is M * 2^-k with M odd and below 2^53, that is M * 5^k / 10^k: the
// digits of M * 5^k with the decimal point k places from the right. Beyond
// this k the digits could not fit in 99 (M * 5^130 < 10^107 still fits the
// limbs below).
constexpr int kMaxFractionBits = 130;

// The digits of M * 5^k, nine to a limb, least significant limb first.
class DecimalLimbs {
public:
    explicit DecimalLimbs(uint64_t value) {
        do {
            mLimbs[mCount++] = static_cast<uint32_t>(value % kBase);
            value /= kBase;
        } while (value != 0);
    }

    void multiplyByPowerOfFive(int exponent) {
        static constexpr std::array<uint32_t, kFiveStep + 1> kPowersOfFive = [] {
            std::array<uint32_t, kFiveStep + 1> powers{};
            uint32_t power = 1;
            for (uint32_t& entry : powers) {
                entry = power;
                power *= 5;
            }
            return powers;
        }();
        for (; exponent >= kFiveStep; exponent -= kFiveStep) {
            multiply(kPowersOfFive[kFiveStep]);
        }
        if (exponent > 0) {
            multiply(kPowersOfFive[static_cast<size_t>(exponent)]);
        }
    }

    int digitCount() const {
        static constexpr uint32_t kPowersOfTen[] = {10,     100,     1000,     10000,
                                                    100000, 1000000, 10000000, 100000000};
        const uint32_t top = mLimbs[mCount - 1];
        // Comparisons with constants rather than a chain of divisions.
        int count = static_cast<int>(mCount - 1) * kLimbDigits + 1;
        for (const uint32_t power : kPowersOfTen) {
            count += top >= power ? 1 : 0;
        }
        return count;
    }

    // Writes all digits, without leading zeros; answers their end.
    char* writeDigits(char* out) const {
        out = std::to_chars(out, out + kLimbDigits, mLimbs[mCount - 1]).ptr;
        for (size_t index = mCount - 1; index-- > 0;) {
            writeNineDigits(mLimbs[index], out);
            out += kLimbDigits;
        }
        return out;
    }

private:
    static constexpr uint32_t kBase = 1000000000;
    static constexpr int kLimbDigits = 9;
    // 5^13 is the largest power of five that fits 32 bits.
    static constexpr int kFiveStep = 13;

    // Two digits at a time, leading zeros included.
    static void writeNineDigits(uint32_t limb, char* out) {
        static constexpr char kDigitPairs[] =
            "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
            "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
            "8081828384858687888990919293949596979899";
        for (int pair = 3; pair >= 0; --pair) {
            std::memcpy(out + 1 + 2 * pair, kDigitPairs + 2 * (limb % 100), 2);
            limb /= 100;
        }
        out[0] = static_cast<char>('0' + limb);
    }

    void multiply(uint32_t factor) {
        uint64_t carry = 0;
        for (size_t index = 0; index < mCount; ++index) {
            const uint64_t product = uint64_t{mLimbs[index]} * factor + carry;
            mLimbs[index] = static_cast<uint32_t>(product % kBase);
            carry = product / kBase;
        }
        while (carry != 0) {
            mLimbs[mCount++] = static_cast<uint32_t>(carry % kBase);
            carry /= kBase;
        }
    }

    std::array<uint32_t, 12> mLimbs;
    size_t mCount = 0;
};

// "E-" and at least two digits, as printf writes an exponent.
char* writeNegativeExponent(char* out, int exponent) {
    *out++ = 'E';
    *out++ = '-';
    if (exponent < 10) {
        *out++ = '0';
    }
    return std::to_chars(out, out + 3, exponent).ptr;
}

}  // namespace

char* writeExactReal(double value, char* out) {
    const auto bits = std::bit_cast<uint64_t>(value);
    const auto biasedExponent = static_cast<int>((bits >> 52) & 0x7FF);
    uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
    if (biasedExponent == 0x7FF || (biasedExponent == 0 && mantissa == 0)) {
        return nullptr;
    }
    int binaryExponent = -1074;
    if (biasedExponent != 0) {
        mantissa |= uint64_t{1} << 52;
        binaryExponent = biasedExponent - 1075;
    }
    const int trailingZeros = std::countr_zero(mantissa);
    mantissa >>= trailingZeros;
    const int fractionDigits = -(binaryExponent + trailingZeros);
    if (fractionDigits <= 0 || fractionDigits > kMaxFractionBits) {
        return nullptr;
    }

    DecimalLimbs limbs(mantissa);
    limbs.multiplyByPowerOfFive(fractionDigits);
    const int digitCount = limbs.digitCount();
    if (digitCount > kMaxSignificantDigits) {
        return nullptr;
    }

    // The power of ten of the first digit; the value is below 2^53, so the
    // general format only turns scientific for small magnitudes.
    const int decimalExponent = digitCount - fractionDigits - 1;
    if (bits >> 63 != 0) {
        *out++ = '-';
    }
    if (decimalExponent < -4) {
        // The digits one place on, then the first one moved before the point.
        char* const end = limbs.writeDigits(out + 1);
        out[0] = out[1];
        if (digitCount == 1) {
            return writeNegativeExponent(out + 1, -decimalExponent);
        }
        out[1] = '.';
        return writeNegativeExponent(end, -decimalExponent);
    }
    if (decimalExponent < 0) {
        *out++ = '0';
        *out++ = '.';
        out = std::fill_n(out, -decimalExponent - 1, '0');
        return limbs.writeDigits(out);
    }
    // The digits one place on, then the whole part moved back before the
    // point. The last digit is never 0 (M * 5^k is odd), so there is always a
    // fractional part and no trailing zero to drop.
    char* const end = limbs.writeDigits(out + 1);
    const auto wholeDigits = static_cast<size_t>(decimalExponent + 1);
    std::memmove(out, out + 1, wholeDigits);
    out[wholeDigits] = '.';
    return end;
}

std::string_view shortestReal(double value, char* out, size_t size) {
    char* end = std::to_chars(out, out + size - 1, value).ptr;
    char* const exponent = std::find(out, end, 'e');
    if (std::find(out, exponent, '.') == exponent) {
        std::memmove(exponent + 1, exponent, static_cast<size_t>(end - exponent));
        *exponent = '.';
        ++end;
    }
    std::replace(out, end, 'e', 'E');
    return {out, static_cast<size_t>(end - out)};
}

}  // namespace ov::step
