#pragma once

// UTF-8 text as the drivers meet it: names that may hold bytes that are not
// UTF-8. One rule everywhere: each byte that does not begin a valid sequence
// stands for one U+FFFD, so that a count of repairs means the same in every
// writer's log.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ov {

// What forEachCharacter passes for a byte that does not begin a UTF-8 sequence.
constexpr uint32_t kNotUtf8 = 0xFFFFFFFF;
constexpr uint32_t kReplacementCharacter = 0xFFFD;

// How many bytes at the start of text are valid UTF-8 (overlong forms and
// surrogates are not).
size_t validUtf8Length(std::string_view text);
// The character at the start of text, whose leading bytes must be valid
// UTF-8; length receives its byte count.
uint32_t decodeUtf8(std::string_view text, size_t& length);
// The UTF-8 bytes of a code point, appended to out.
void appendUtf8(uint32_t c, std::string& out);

// Calls visit(code point, its bytes) for each character of text. A byte that
// does not begin a valid UTF-8 sequence is visited alone, as kNotUtf8.
template <typename Visit>
void forEachCharacter(std::string_view text, Visit visit) {
    while (!text.empty()) {
        for (size_t valid = validUtf8Length(text); valid > 0;) {
            size_t length = 0;
            const uint32_t character = decodeUtf8(text, length);
            visit(character, text.substr(0, length));
            text.remove_prefix(length);
            valid -= length;
        }
        if (!text.empty()) {
            visit(kNotUtf8, text.substr(0, 1));
            text.remove_prefix(1);
        }
    }
}

// The text with U+FFFD for each byte that is not UTF-8; replaced, when given,
// is increased by their number.
std::string validUtf8(std::string_view text, size_t* replaced = nullptr);

}  // namespace ov
