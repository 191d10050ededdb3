#include "step/Part21StringCheck.h"

namespace ov::step {

namespace {

bool isUpperHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

bool hexDigits(std::string_view text, size_t at, size_t count) {
    if (text.size() < at + count) {
        return false;
    }
    for (size_t i = at; i < at + count; ++i) {
        if (!isUpperHex(text[i])) {
            return false;
        }
    }
    return true;
}

// Length of the directive starting with the reverse solidus at `at`, 0 when
// none starts there.
size_t directiveLength(std::string_view text, size_t at) {
    const std::string_view rest = text.substr(at);
    if (rest.starts_with("\\\\")) {
        return 2;
    }
    if (rest.starts_with("\\S\\") && rest.size() > 3) {
        return 4;
    }
    if (rest.size() >= 4 && rest.starts_with("\\P") && rest[2] >= 'A' && rest[2] <= 'I' && rest[3] == '\\') {
        return 4;
    }
    if (rest.starts_with("\\X\\")) {
        return hexDigits(rest, 3, 2) ? 5 : 0;
    }
    for (const auto& [opening, width] : {std::pair<std::string_view, size_t>{"\\X2\\", 4}, {"\\X4\\", 8}}) {
        if (!rest.starts_with(opening)) {
            continue;
        }
        size_t length = opening.size();
        while (hexDigits(rest, length, width)) {
            length += width;
        }
        return rest.substr(length).starts_with("\\X0\\") ? length + 4 : 0;
    }
    return 0;
}

}  // namespace

StringProblem checkPart21String(std::string_view content) {
    StringProblem found = StringProblem::None;
    size_t at = 0;
    while (at < content.size()) {
        const auto c = static_cast<unsigned char>(content[at]);
        if (c == '\\') {
            const size_t length = directiveLength(content, at);
            if (length == 0) {
                return StringProblem::BadDirective;
            }
            at += length;
            continue;
        }
        if (c < 0x20 && c != '\n' && c != '\r') {
            return StringProblem::ControlCharacter;
        }
        if (c > 0x7E) {
            found = StringProblem::OutsideBasicAlphabet;
        }
        ++at;
    }
    return found;
}

const char* describe(StringProblem problem) {
    switch (problem) {
        case StringProblem::BadDirective:
            return "a reverse solidus that starts no control directive (write \\\\ for one)";
        case StringProblem::ControlCharacter:
            return "a control character (encode it as \\X2\\hhhh\\X0\\)";
        case StringProblem::OutsideBasicAlphabet:
            return "bytes outside the basic alphabet (encode them as \\X2\\hhhh\\X0\\)";
        default:
            return "no problem";
    }
}

}  // namespace ov::step
