#pragma once

#include <cstddef>
#include <string_view>

namespace ov::step {

// Room that writeExactReal needs at `out`.
inline constexpr size_t kExactRealMaxLength = 112;

// Writes the text that "%.99G" gives for a value with a fractional part whose
// exact decimal expansion has at most 99 significant digits, such as every
// single-precision number converted to double. Such text is the expansion
// itself, with no rounding, so integer arithmetic finds it several times faster
// than a general conversion at that precision.
//
// Answers the end of the text written at `out`, or null, writing nothing, for
// any other value: zero, whole numbers, infinities, NaN and expansions of more
// than 99 digits.
char* writeExactReal(double value, char* out);

// The shortest text of a finite value that reads back to the same double,
// spelled as an exchange-file REAL: upper-case exponent and a decimal point
// in the mantissa ("0.", "-2.5", "1.E+20"). Written into out, which must hold
// at least 32 bytes.
std::string_view shortestReal(double value, char* out, size_t size);

}  // namespace ov::step
