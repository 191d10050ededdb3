#include "core/TextEncoding.h"

#include <utf8.h>

#include <cstdint>
#include <iterator>
#include <vector>

#include "core/InputFiles.h"

namespace ov {

namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

DetectedEncoding detectEncoding(std::string_view start) {
    using namespace std::string_view_literals;
    if (startsWith(start, "\xEF\xBB\xBF"sv)) {
        return {TextEncoding::Utf8, 3};
    }
    if (startsWith(start, "\xFF\xFE"sv)) {
        return {TextEncoding::Utf16LittleEndian, 2};
    }
    if (startsWith(start, "\xFE\xFF"sv)) {
        return {TextEncoding::Utf16BigEndian, 2};
    }
    if (start.size() >= 2 && (start[0] == '\0') != (start[1] == '\0')) {
        return {start[1] == '\0' ? TextEncoding::Utf16LittleEndian : TextEncoding::Utf16BigEndian, 0};
    }
    return {};
}

void appendWindows1252(unsigned char byte, std::string& utf8) {
    // 0x80-0x9F; the five the code page leaves out stay the control characters of Latin-1.
    static constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    const char32_t point = byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
    utf8::append(point, std::back_inserter(utf8));
}

const char* encodingName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf16LittleEndian:
            return "UTF-16LE";
        case TextEncoding::Utf16BigEndian:
            return "UTF-16BE";
        case TextEncoding::Utf8:
            break;
    }
    return "UTF-8";
}

std::string utf16ToUtf8(std::string_view bytes, TextEncoding encoding, const std::string& source) {
    const std::string refusal = source + ": cannot read this " + encodingName(encoding) + " text: ";
    if (bytes.size() % 2 != 0) {
        throw ReadError(refusal + "it ends in half a character");
    }
    const bool little = encoding == TextEncoding::Utf16LittleEndian;
    std::vector<uint16_t> units(bytes.size() / 2);
    for (size_t i = 0; i < units.size(); ++i) {
        const auto first = static_cast<uint8_t>(bytes[2 * i]);
        const auto second = static_cast<uint8_t>(bytes[2 * i + 1]);
        units[i] = static_cast<uint16_t>(little ? first | second << 8 : second | first << 8);
    }
    std::string text;
    text.reserve(units.size());
    try {
        utf8::utf16to8(units.begin(), units.end(), std::back_inserter(text));
    } catch (const utf8::exception&) {
        throw ReadError(refusal + "it holds an unpaired surrogate");
    }
    return text;
}

std::string decodedText(std::string bytes, const std::string& source) {
    const DetectedEncoding detected = detectEncoding(bytes);
    if (detected.encoding != TextEncoding::Utf8) {
        return utf16ToUtf8(std::string_view(bytes).substr(detected.markSize), detected.encoding, source);
    }
    bytes.erase(0, detected.markSize);
    return bytes;
}

}  // namespace ov
