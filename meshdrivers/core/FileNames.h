#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

#include "core/ovMeshDriversExport.h"

namespace ov {

// Names of files that share a folder, told apart as the file systems that
// ignore case tell them: the second "base.ext" becomes "base-2.ext", then
// "base-3.ext"...

// base + extension, with "-number" between them from number 2 on.
OVMESHDRIVERS_API std::string numberedFileName(std::string_view base, std::string_view extension,
                                               size_t number);

// What tells names apart where case does not count (ASCII letters folded).
OVMESHDRIVERS_API std::string fileNameKey(std::string_view name);

// The names given in one folder.
class OVMESHDRIVERS_API FileNameSet {
public:
    // The first numbered name of base and extension no name given so far
    // takes, given from now on.
    std::string give(std::string_view base, std::string_view extension);

private:
    std::set<std::string> mKeys;
};

}  // namespace ov
