#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace ov::ovmesh {

// The tool keeps paths as UTF-8 texts, as the driver manager takes them, and
// converts only where the file system is asked directly.
std::filesystem::path fsPath(const std::string& utf8Path);
std::string utf8Path(const std::filesystem::path& path);

// A file opened for binary reading; ToolError with the reason when it cannot be.
std::ifstream openForReading(const std::string& path);

// The whole content of a file; ToolError with the reason when it cannot be read.
std::string readWholeFile(const std::string& path);

// Makes sure path names a readable file, for formats read by a driver, whose
// own failure would not say why.
void requireReadableFile(const std::string& path);

// The resource folder handed to the driver library when --resources is not
// given: share/ovmesh/resources beside the executable's bin folder, where both
// the build tree and an install prefix keep it, so a moved prefix still works.
std::string defaultResourceFolder(const std::string& argv0);

}  // namespace ov::ovmesh
