#pragma once

#include <string_view>

namespace ov::step {

enum class StringProblem {
    None,
    // A reverse solidus that starts no control directive (\\, \S\, \P?\, \X\hh, \X2\ \X4\ ... \X0\).
    BadDirective,
    // A control character other than a line end.
    ControlCharacter,
    // A byte above the basic alphabet, which only the \X directives may encode.
    OutsideBasicAlphabet,
};

// The first problem of a string's content as written between its apostrophes
// (an apostrophe inside is doubled).
StringProblem checkPart21String(std::string_view content);
const char* describe(StringProblem problem);

}  // namespace ov::step
