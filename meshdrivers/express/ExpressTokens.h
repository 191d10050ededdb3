#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ov::express {

bool isExpressWordChar(char c);

// Words, strings and single punctuation characters of an EXPRESS text, with
// (* *) comments (up to the first closing mark, as the layout reader removes
// them) and -- remarks left out.
std::vector<std::string_view> expressTokens(std::string_view text);

// The text in the one spelling the layout reader's patterns expect, for
// schemas written in any valid one: remarks of both kinds gone, keywords in
// capitals, tokens one blank apart and none before ";" or "," nor around the
// "\" and "." of SELF\entity.attribute, names in lower case.
std::string canonicalExpressText(std::string_view text);

}  // namespace ov::express
