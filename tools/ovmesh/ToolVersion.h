#pragma once

#include <string>

namespace ov::ovmesh {

// What --version prints: the commit the tool was built from, when it was built
// from a git checkout, and apart from it the library's own version, whose tag
// names the library's product build and no commit of these sources.
std::string toolVersionText();

}  // namespace ov::ovmesh
