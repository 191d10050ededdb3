#pragma once

#include <filesystem>
#include <string>

#include "system/ovFiles.h"

namespace ov::ovmesh {

// The tool keeps paths as UTF-8 texts, as the driver manager takes them, and
// converts only where the file system is asked directly.
inline std::filesystem::path fsPath(const std::string& utf8Path) {
    return pathOfUtf8(utf8Path);
}
inline std::string utf8Path(const std::filesystem::path& path) {
    return utf8OfPath(path);
}

// Makes sure path names a readable file, for formats read by a driver, whose
// own failure would not say why; ToolError with the reason otherwise.
void requireReadableFile(const std::string& path);

// Creates folder and the folders above it where missing; ToolError with the
// reason when that fails or a file of that name is in the way.
void createFolder(const std::string& folder);

// The resource folder handed to the driver library when --resources is not
// given: share/ovmesh/resources beside the bin folder of the executable (links
// to it resolved), where both the build tree and an install prefix keep it, so
// a moved prefix still works.
std::string defaultResourceFolder(const std::string& argv0);

}  // namespace ov::ovmesh
