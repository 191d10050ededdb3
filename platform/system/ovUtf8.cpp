#include "system/ovUtf8.h"

#include <utf8.h>

#include <iterator>

namespace ov {

size_t validUtf8Length(std::string_view text) {
    return static_cast<size_t>(utf8::find_invalid(text.begin(), text.end()) - text.begin());
}

uint32_t decodeUtf8(std::string_view text, size_t& length) {
    auto at = text.begin();
    const uint32_t character = utf8::unchecked::next(at);
    length = static_cast<size_t>(at - text.begin());
    return character;
}

void appendUtf8(uint32_t c, std::string& out) {
    utf8::unchecked::append(c, std::back_inserter(out));
}

std::string validUtf8(std::string_view text, size_t* replaced) {
    if (validUtf8Length(text) == text.size()) {
        return std::string(text);
    }
    std::string valid;
    valid.reserve(text.size() + 2);
    forEachCharacter(text, [&](uint32_t c, std::string_view bytes) {
        if (c == kNotUtf8) {
            appendUtf8(kReplacementCharacter, valid);
            if (replaced != nullptr) {
                ++*replaced;
            }
        } else {
            valid.append(bytes);
        }
    });
    return valid;
}

}  // namespace ov
