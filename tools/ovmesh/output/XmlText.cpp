#include "ovmesh/output/XmlText.h"

#include <utf8.h>

#include <cstdio>

#include "ovmesh/ToolError.h"

namespace ov::ovmesh {

namespace {

bool allowedInXml(uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

std::string codePointName(uint32_t c) {
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(c));
    return name;
}

}  // namespace

std::string xmlElementText(std::string_view text, const std::string& option) {
    if (!utf8::is_valid(text.begin(), text.end())) {
        throw ToolError(option + ": the text is not UTF-8");
    }
    std::string escaped;
    escaped.reserve(text.size());
    for (auto at = text.begin(); at != text.end();) {
        const auto start = at;
        const uint32_t c = utf8::next(at, text.end());
        if (!allowedInXml(c)) {
            throw ToolError(option + ": the character " + codePointName(c) +
                            " cannot stand in an XML document (SVG title and description)");
        }
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
            default:
                escaped.append(start, at);
        }
    }
    return escaped;
}

}  // namespace ov::ovmesh
