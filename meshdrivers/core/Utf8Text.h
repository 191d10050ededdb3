#pragma once

// UTF-8 text as the drivers meet it: paths given as UTF-8, and names that may
// hold bytes that are not UTF-8.

#include <utf8.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "system/ovFiles.h"

namespace ov {

// What forEachCharacter passes for a byte that does not begin a UTF-8 sequence.
constexpr uint32_t kNotUtf8 = 0xFFFFFFFF;

// Calls visit(code point, its bytes) for each character of text. A byte that
// does not begin a valid UTF-8 sequence (overlong forms and surrogates
// included) is visited alone, as kNotUtf8.
template <typename Visit>
void forEachCharacter(std::string_view text, Visit visit) {
    auto at = text.begin();
    while (at != text.end()) {
        const auto invalid = utf8::find_invalid(at, text.end());
        while (at != invalid) {
            const auto start = at;
            const uint32_t character = utf8::unchecked::next(at);
            visit(character, std::string_view(start, at));
        }
        if (at != text.end()) {
            visit(kNotUtf8, std::string_view(at, at + 1));
            ++at;
        }
    }
}

}  // namespace ov
