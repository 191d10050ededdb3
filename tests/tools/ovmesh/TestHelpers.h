#pragma once

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "scenegraph/ovGeometry.h"

namespace ov::test {

// The names in a folder, sorted.
inline std::vector<std::string> filesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Child index of parent as a T; throws, failing the test, when it is none.
template <typename T = ovNode>
const T& child(const ovNode& parent, int index) {
    const ovSpatial* spatial = parent.getChild(index);
    return spatial != nullptr ? dynamic_cast<const T&>(*spatial) : throw std::out_of_range("no such child");
}

}  // namespace ov::test
