// Encodes arbitrary bytes as an exchange-file string and checks the result
// against an independent decoder: the text is printable ASCII, decodes back to
// the input (or, after a refusal, to a prefix of it followed by an invalid
// sequence).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>

#include <utf8.h>

#include "Part21WriterTestAccess.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::optional<uint32_t> parseHex(const std::string& text, size_t position, size_t digits) {
    if (position + digits > text.size()) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (size_t index = position; index < position + digits; ++index) {
        const char c = text[index];
        const bool decimal = c >= '0' && c <= '9';
        const bool upperHex = c >= 'A' && c <= 'F';
        if (!decimal && !upperHex) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<uint32_t>(decimal ? c - '0' : c - 'A' + 10);
    }
    return value;
}

// Decodes the encoder's output back to UTF-8; nullopt on anything it must not produce.
std::optional<std::string> decode(const std::string& encoded) {
    std::string decoded;
    size_t position = 0;
    while (position < encoded.size()) {
        const char c = encoded[position];
        if (c < 0x20 || c > 0x7E) {
            return std::nullopt;
        }
        if (c == '\'' || (c == '\\' && encoded.compare(position, 2, "\\\\") == 0)) {
            if (position + 1 >= encoded.size() || encoded[position + 1] != c) {
                return std::nullopt;
            }
            decoded.push_back(c);
            position += 2;
            continue;
        }
        if (c != '\\') {
            decoded.push_back(c);
            ++position;
            continue;
        }
        const bool wide = encoded.compare(position, 4, "\\X4\\") == 0;
        if (!wide && encoded.compare(position, 4, "\\X2\\") != 0) {
            return std::nullopt;
        }
        const size_t digits = wide ? 8 : 4;
        const std::optional<uint32_t> codePoint = parseHex(encoded, position + 4, digits);
        if (!codePoint || encoded.compare(position + 4 + digits, 4, "\\X0\\") != 0) {
            return std::nullopt;
        }
        // Each directive holds exactly what the encoder gives it.
        const bool plainAscii = *codePoint >= 0x20 && *codePoint <= 0x7E;
        if (plainAscii || (*codePoint >= 0x10000) != wide) {
            return std::nullopt;
        }
        utf8::append(*codePoint, std::back_inserter(decoded));
        position += 4 + digits + 4;
    }
    return decoded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string encoded;
    const bool accepted = ov::step::Part21WriterTestAccess::Utf8ToPart21Encoding(input, encoded);
    check(accepted == utf8::is_valid(input.begin(), input.end()));

    const std::optional<std::string> decoded = decode(encoded);
    check(decoded.has_value());
    if (accepted) {
        check(*decoded == input);
    } else {
        // What was kept is a valid prefix, and the input goes wrong right after it.
        check(input.compare(0, decoded->size(), *decoded) == 0);
        const auto rest = input.begin() + static_cast<std::ptrdiff_t>(decoded->size());
        check(utf8::find_invalid(rest, input.end()) == rest);
    }
    return 0;
}
