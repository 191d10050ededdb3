#pragma once

// UTF-8 text as the drivers meet it: paths given as UTF-8, and names that may
// hold bytes that are not UTF-8.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "system/ovUtf8.h"

namespace ov {

// The path type of the file system for a UTF-8 path, and back: the system
// gets the wide path where it wants one.
inline std::filesystem::path pathOfUtf8(std::string_view utf8Path) {
    return std::filesystem::path(std::u8string(utf8Path.begin(), utf8Path.end()));
}

inline std::string utf8OfPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace ov
