#include "system/ovStringUtils.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cwchar>
#include <iterator>
#include <limits>

#include <utf8.h>

#include "system/ovUtf8.h"

namespace ov {

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

std::wstring fromUtf8(std::string_view text) {
    const std::string valid = validUtf8(text);
    std::wstring wide;
    wide.reserve(valid.size());
    if constexpr (sizeof(wchar_t) == 2) {
        utf8::utf8to16(valid.begin(), valid.end(), std::back_inserter(wide));
    } else {
        utf8::utf8to32(valid.begin(), valid.end(), std::back_inserter(wide));
    }
    return wide;
}

std::wstring fromLocalCharSet(std::string_view text) {
    constexpr wchar_t kReplacement = 0xFFFD;
    constexpr size_t kInvalid = static_cast<size_t>(-1);
    constexpr size_t kIncomplete = static_cast<size_t>(-2);
    std::wstring wide;
    std::mbstate_t state{};
    size_t position = 0;
    while (position < text.size()) {
        wchar_t character = 0;
        const size_t length =
            std::mbrtowc(&character, text.data() + position, text.size() - position, &state);
        if (length == kInvalid || length == kIncomplete) {
            wide += kReplacement;
            state = {};
            ++position;
            continue;
        }
        wide += character;
        position += std::max<size_t>(length, 1);  // 0 means an embedded NUL, one byte long
    }
    return wide;
}

std::string padded(uint64_t magnitude, bool negative, int minDigits) {
    std::array<char, 24> digits;
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), magnitude);
    const auto digitCount = static_cast<size_t>(result.ptr - digits.data());
    const size_t zeroCount = minDigits > 0 && static_cast<size_t>(minDigits) > digitCount
                                 ? static_cast<size_t>(minDigits) - digitCount
                                 : 0;
    std::string text;
    text.reserve(1 + zeroCount + digitCount);
    if (negative) {
        text += '-';
    }
    text.append(zeroCount, '0');
    text.append(digits.data(), digitCount);
    return text;
}

}  // namespace

const std::locale ovStringUtils::msCLocale = std::locale::classic();
// The classic locale already writes a full stop and groups no digits.
const std::locale ovStringUtils::msCplusLocale = std::locale::classic();

bool ovStringUtils::Contains(std::string_view text, std::string_view part, bool caseSensitive) {
    if (caseSensitive) {
        return text.find(part) != std::string_view::npos;
    }
    const auto found = std::search(text.begin(), text.end(), part.begin(), part.end(),
                                   [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
    return found != text.end() || part.empty();
}

bool ovStringUtils::StartsWith(std::string_view text, std::string_view prefix) {
    return text.starts_with(prefix);
}

bool ovStringUtils::endsWith(std::string_view text, std::string_view suffix) {
    return text.ends_with(suffix);
}

bool ovStringUtils::parseBool(std::string_view text, bool& value) {
    constexpr std::array<std::string_view, 4> kTrue = {"true", "1", "yes", "on"};
    constexpr std::array<std::string_view, 4> kFalse = {"false", "0", "no", "off"};
    const std::string_view word = trimmed(text);
    auto matches = [word](std::string_view token) { return equalsIgnoringCase(word, token); };
    if (std::any_of(kTrue.begin(), kTrue.end(), matches)) {
        value = true;
        return true;
    }
    if (std::any_of(kFalse.begin(), kFalse.end(), matches)) {
        value = false;
        return true;
    }
    return false;
}

size_t ovStringUtils::ReplaceAllOccurrences(std::string& text, std::string_view from, std::string_view to) {
    if (from.empty()) {
        return 0;
    }
    size_t count = 0;
    std::string result;
    size_t copied = 0;
    for (size_t found = text.find(from); found != std::string::npos; found = text.find(from, copied)) {
        result.append(text, copied, found - copied);
        result += to;
        copied = found + from.size();
        ++count;
    }
    if (count > 0) {
        result.append(text, copied);
        text = std::move(result);
    }
    return count;
}

void ovStringUtils::trim(std::string& text) {
    const std::string_view kept = trimmed(text);
    if (kept.size() != text.size()) {
        text = std::string(kept);
    }
}

std::string_view ovStringUtils::trimmed(std::string_view text, std::string_view blanks) {
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

void ovStringUtils::toUpper(std::string& text) {
    std::transform(text.begin(), text.end(), text.begin(), upperAscii);
}

void ovStringUtils::toLower(std::string& text) {
    std::transform(text.begin(), text.end(), text.begin(), lowerAscii);
}

std::string ovStringUtils::uppered(std::string_view text) {
    std::string upper(text);
    toUpper(upper);
    return upper;
}

std::string ovStringUtils::lowered(std::string_view text) {
    std::string lower(text);
    toLower(lower);
    return lower;
}

namespace {

// A reference a document without a DTD may hold at the start of text: one of
// the five predefined entities, or a character XML allows by number.
bool startsWithReference(std::string_view text) {
    const size_t end = text.find(';');
    if (end == std::string_view::npos) {
        return false;
    }
    const std::string_view body = text.substr(1, end - 1);
    for (const std::string_view entity : {"amp", "lt", "gt", "quot", "apos"}) {
        if (body == entity) {
            return true;
        }
    }
    if (!body.starts_with('#')) {
        return false;
    }
    const bool hex = body.starts_with("#x");
    const std::string_view digits = body.substr(hex ? 2 : 1);
    uint32_t code = 0;
    const auto [stop, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
    return !digits.empty() && error == std::errc() && stop == digits.data() + digits.size() &&
           ovStringUtils::IsXmlCharacter(code);
}

bool isWellFormedCharacterData(std::string_view text) {
    if (!utf8::is_valid(text.begin(), text.end()) || text.find('<') != std::string_view::npos ||
        text.find("]]>") != std::string_view::npos) {
        return false;
    }
    for (auto at = text.begin(); at != text.end();) {
        if (*at == '&' && !startsWithReference(text.substr(static_cast<size_t>(at - text.begin())))) {
            return false;
        }
        if (!ovStringUtils::IsXmlCharacter(utf8::next(at, text.end()))) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ovStringUtils::IsXmlCharacter(uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

std::string ovStringUtils::ToXmlCharacterData(std::string_view text) {
    if (isWellFormedCharacterData(text)) {
        return std::string(text);
    }
    return EscapeXmlString(ToXmlCharacters(text));
}

std::string ovStringUtils::ToXmlCharacters(std::string_view text, size_t* replaced) {
    std::string held;
    held.reserve(text.size());
    forEachCharacter(text, [&](uint32_t c, std::string_view bytes) {
        if (IsXmlCharacter(c)) {
            held.append(bytes);
            return;
        }
        appendUtf8(kReplacementCharacter, held);
        if (replaced != nullptr) {
            ++*replaced;
        }
    });
    return held;
}

std::string ovStringUtils::EscapeXmlString(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&apos;";
                break;
            default:
                escaped += c;
                break;
        }
    }
    return escaped;
}

std::wstring ovStringUtils::convertToUnicode(std::string_view text, int charSet) {
    return charSet == ovCharSetUtf8 ? fromUtf8(text) : fromLocalCharSet(text);
}

std::string ovStringUtils::fromFloat(double value, int precision, int format) {
    const std::chars_format charsFormat = format == Fixed        ? std::chars_format::fixed
                                          : format == Scientific ? std::chars_format::scientific
                                                                 : std::chars_format::general;
    // Streams take a negative precision as their default of 6.
    const int digits = precision < 0 ? 6 : precision;
    std::array<char, 128> small;
    const auto result = std::to_chars(small.data(), small.data() + small.size(), value, charsFormat, digits);
    if (result.ec == std::errc()) {
        return std::string(small.data(), result.ptr);
    }
    // Only long texts come here: the fixed form of a large number, or a large precision.
    constexpr size_t kLongestIntegerPart = std::numeric_limits<double>::max_exponent10 + 1;
    std::string text(kLongestIntegerPart + static_cast<size_t>(digits) + 16, '\0');
    const auto longResult = std::to_chars(text.data(), text.data() + text.size(), value, charsFormat, digits);
    text.resize(static_cast<size_t>(longResult.ptr - text.data()));
    return text;
}

std::string ovStringUtils::fromInt(int64_t value, int minDigits) {
    // The magnitude is taken in unsigned arithmetic, where the most negative value has one.
    const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    return padded(magnitude, value < 0, minDigits);
}

std::string ovStringUtils::fromUInt(uint32_t value, int minDigits) {
    return padded(value, false, minDigits);
}

std::string ovStringUtils::fromUInt64(uint64_t value, int minDigits) {
    return padded(value, false, minDigits);
}

}  // namespace ov
