// Encodes arbitrary bytes as an exchange-file string and decodes the result
// independently: the text is printable ASCII and gives back the input or, after
// a refusal, a prefix of it followed by an invalid sequence. The encoder is
// private to the writer: the tests' access header reaches it.
#include <cstdlib>
#include <string>

#include <utf8.h>

#include "Part21WriterTestAccess.h"

const auto check = [](bool condition) { return condition ? void() : std::abort(); };

// Decodes the encoder's output back to UTF-8, aborting on anything it must not produce.
static std::string decode(const std::string& text) {
    std::string decoded;
    for (size_t at = 0; at < text.size();) {
        const char c = text[at];
        check(c >= 0x20 && c <= 0x7E);
        const bool doubled = (c == '\'' || c == '\\') && at + 1 < text.size() && text[at + 1] == c;
        if (doubled || (c != '\'' && c != '\\')) {
            decoded += c;
            at += doubled ? 2 : 1;
            continue;
        }
        // Each directive holds exactly one code point that needs it, in the narrowest form.
        const size_t digits = text.compare(at, 4, "\\X4\\") == 0 ? 8 : 4;
        check(text.compare(at, 4, digits == 8 ? "\\X4\\" : "\\X2\\") == 0 && at + digits + 8 <= text.size());
        check(text.find_first_not_of("0123456789ABCDEF", at + 4) >= at + 4 + digits &&
              text.compare(at + 4 + digits, 4, "\\X0\\") == 0);
        const auto codePoint = static_cast<uint32_t>(std::stoul(text.substr(at + 4, digits), nullptr, 16));
        check((codePoint < 0x20 || codePoint > 0x7E) && (codePoint >= 0x10000) == (digits == 8));
        utf8::append(codePoint, std::back_inserter(decoded));
        at += digits + 8;
    }
    return decoded;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string encoded;
    const bool accepted = ov::step::Part21WriterTestAccess::Utf8ToPart21Encoding(input, encoded);
    check(accepted == utf8::is_valid(input.begin(), input.end()));
    const std::string decoded = decode(encoded);
    check(accepted ? decoded == input : input.starts_with(decoded));
    const auto rest = input.begin() + static_cast<std::ptrdiff_t>(decoded.size());
    check(accepted || utf8::find_invalid(rest, input.end()) == rest);
    return 0;
}
