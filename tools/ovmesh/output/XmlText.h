#pragma once

#include <string>
#include <string_view>

namespace ov::ovmesh {

// User text made fit to stand as the content of an XML element: "&", "<"
// and ">" become entity references. ToolError naming the option for text
// that is not UTF-8 or holds a character XML 1.0 cannot hold (control
// characters other than tab, line feed and carriage return; U+FFFE, U+FFFF).
std::string xmlElementText(std::string_view text, const std::string& option);

}  // namespace ov::ovmesh
