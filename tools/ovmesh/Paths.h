#pragma once

#include <filesystem>
#include <string>

namespace ov::ovmesh {

// The tool keeps paths as UTF-8 texts, as the driver manager takes them, and
// converts only where the file system is asked directly.
std::filesystem::path fsPath(const std::string& utf8Path);
std::string utf8Path(const std::filesystem::path& path);

// Makes sure path names a readable file, for formats read by a driver, whose
// own failure would not say why; ToolError with the reason otherwise.
void requireReadableFile(const std::string& path);

// Whether the user may write the file, or create files in the folder, path
// names: the system lets them, and its mode leaves someone write permission.
// What nobody may write counts as read-only even for an administrator, whom
// the system would let through: somebody marked it so.
bool mayWrite(const std::filesystem::path& path);

// Creates folder and the folders above it where missing; ToolError with the
// reason when that fails or a file of that name is in the way.
void createFolder(const std::string& folder);

// The resource folder handed to the driver library when --resources is not
// given: share/ovmesh/resources beside the bin folder of the executable (links
// to it resolved), where both the build tree and an install prefix keep it, so
// a moved prefix still works.
std::string defaultResourceFolder(const std::string& argv0);

}  // namespace ov::ovmesh
