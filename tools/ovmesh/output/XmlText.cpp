#include "ovmesh/output/XmlText.h"

#include <utf8.h>

#include <cstdio>

#include "ovmesh/ToolError.h"
#include "system/ovStringUtils.h"

namespace ov::ovmesh {

namespace {

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
    for (auto at = text.begin(); at != text.end();) {
        const uint32_t c = utf8::next(at, text.end());
        if (!ovStringUtils::IsXmlCharacter(c)) {
            throw ToolError(option + ": the character " + codePointName(c) +
                            " cannot stand in an XML document (SVG title and description)");
        }
    }
    return ovStringUtils::EscapeXmlString(text);
}

}  // namespace ov::ovmesh
