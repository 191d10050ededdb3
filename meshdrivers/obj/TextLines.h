#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ov::obj {

// The white space between the words of OBJ and MTL statements. Form feeds and
// vertical tabs count as blanks wherever they stand, in every statement.
constexpr std::string_view kBlanks = " \t\r\f\v";

inline bool isBlank(char c) {
    // One test per character: the blanks are all below '!', each a bit of the mask.
    constexpr uint64_t kBlankBits = 1ULL << ' ' | 1ULL << '\t' | 1ULL << '\r' | 1ULL << '\f' | 1ULL << '\v';
    const auto code = static_cast<unsigned char>(c);
    return code <= ' ' && (kBlankBits >> code & 1) != 0;
}

// Drops the blanks at the front of text.
inline void skipBlanks(std::string_view& text) {
    size_t start = 0;
    while (start < text.size() && isBlank(text[start])) {
        ++start;
    }
    text.remove_prefix(start);
}

// Takes the next word off the front of text (blanks before it go too); empty
// at the end. Inline, as this and skipBlanks run for every word of files of
// millions of lines.
inline std::string_view takeWord(std::string_view& text) {
    skipBlanks(text);
    size_t end = 0;
    while (end < text.size() && !isBlank(text[end])) {
        ++end;
    }
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

// The text before a comment sign.
std::string_view withoutComment(std::string_view text);

// A decimal number as OBJ and MTL write them ("-1.5", "+2", ".5e-3"), read
// exactly as a float; a value too small for a float becomes 0. nullopt for
// anything else, infinities and NaN included.
std::optional<float> parseFloat(std::string_view word);

// A word quoted for a message, with bytes outside printable ASCII shown as
// \\xNN and a long word cut short.
std::string quoted(std::string_view word);

// Why a name (of a group, object or material) cannot be used, or empty when
// it can: names must be UTF-8 text without control characters.
std::string nameFault(std::string_view name);

// A name as UTF-8: its bytes when they are UTF-8, otherwise each byte read as
// the Latin-1 character it stands for (what older exporters on Windows
// wrote), and then readAs says so for a warning.
std::string utf8Name(std::string_view name, std::string& readAs);

// Calls visit(line, number) for each line of text, numbered from 1, without
// its line end.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
    size_t number = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        visit(text.substr(0, end), ++number);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
}

}  // namespace ov::obj
