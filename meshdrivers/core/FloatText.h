#pragma once

// Number texts of the text writers, appended to a caller's buffer so that a
// writer can build one record after the other without a stream per number.

#include <charconv>
#include <cstdint>
#include <string>

namespace ov {

// Appends value as inserting a float into a default string stream writes it:
// general format, 6 significant digits, an exponent of at least two digits,
// "." as the decimal point whatever the process locale, "inf", "-inf",
// "nan" and "-nan" for the special values. to_chars is locale-free by
// definition and its general format is that of the stream. Other counts of
// significant digits, up to 9 (which gives every float back), in the same form.
inline void appendFloat(std::string& text, float value, int significantDigits = 6) {
    char digits[32];
    const auto result =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, significantDigits);
    text.append(digits, result.ptr);
}

template <typename Integer>
inline void appendInteger(std::string& text, Integer value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    text.append(digits, result.ptr);
}

}  // namespace ov
