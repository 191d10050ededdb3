#include "ovmesh/output/XmlText.h"

#include <cstdio>

#include "ovmesh/ToolError.h"
#include "system/ovStringUtils.h"
#include "system/ovUtf8.h"

namespace ov::ovmesh {

namespace {

std::string codePointName(uint32_t c) {
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(c));
    return name;
}

}  // namespace

// The drivers would write U+FFFD in place of what XML cannot hold; a person
// who typed the text is told instead.
std::string xmlElementText(std::string_view text, const std::string& option) {
    if (validUtf8Length(text) != text.size()) {
        throw ToolError(option + ": the text is not UTF-8");
    }
    forEachCharacter(text, [&option](uint32_t c, std::string_view) {
        if (!ovStringUtils::IsXmlCharacter(c)) {
            throw ToolError(option + ": the character " + codePointName(c) +
                            " cannot stand in an XML document (SVG title and description)");
        }
    });
    return ovStringUtils::EscapeXmlString(text);
}

}  // namespace ov::ovmesh
