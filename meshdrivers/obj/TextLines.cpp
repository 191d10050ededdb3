#include "obj/TextLines.h"

#include <utf8.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <system_error>

#include "core/TextEncoding.h"

namespace ov::obj {

std::string_view withoutComment(std::string_view text) {
    return text.substr(0, text.find('#'));
}

namespace {

// Whether an out-of-range number is too small rather than too large: its
// exponent is negative.
bool underflows(std::string_view word) {
    const size_t exponent = word.find_first_of("eE");
    return exponent != std::string_view::npos && exponent + 1 < word.size() && word[exponent + 1] == '-';
}

}  // namespace

std::optional<float> parseFloat(std::string_view word) {
    std::string_view digits = word;
    if (digits.starts_with('+')) {
        digits.remove_prefix(1);
    }
    if (digits.empty() || (digits.size() < word.size() && (digits.front() == '-' || digits.front() == '+'))) {
        return std::nullopt;
    }
    float value = 0.0f;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value);
    if (stop != end || (error != std::errc() && error != std::errc::result_out_of_range)) {
        return std::nullopt;
    }
    if (error == std::errc::result_out_of_range) {
        if (!underflows(digits)) {
            return std::nullopt;
        }
        value = digits.front() == '-' ? -0.0f : 0.0f;
    }
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string quoted(std::string_view word) {
    constexpr size_t kLongest = 40;
    std::string text = "'";
    for (const char c : word.substr(0, kLongest)) {
        if (c >= 0x20 && c < 0x7F) {
            text += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
            text += escaped;
        }
    }
    return text + (word.size() > kLongest ? "...'" : "'");
}

std::string nameFault(std::string_view name) {
    if (!utf8::is_valid(name.begin(), name.end())) {
        return "the name " + quoted(name) + " is not UTF-8 text";
    }
    for (const char c : name) {
        if ((static_cast<unsigned char>(c) < 0x20 && !isBlank(c)) || c == 0x7F) {
            return "the name " + quoted(name) + " holds a control character";
        }
    }
    return {};
}

std::string utf8Name(std::string_view name, std::string& readAs) {
    if (utf8::is_valid(name.begin(), name.end())) {
        return std::string(name);
    }
    std::string text;
    for (const char c : name) {
        appendWindows1252(static_cast<unsigned char>(c), text);
    }
    readAs = "the name " + quoted(name) + " is not UTF-8 text: read as Windows-1252, '" + text + "'";
    return text;
}

}  // namespace ov::obj
