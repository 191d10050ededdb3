#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace ov::test {

// What a run of the tool answered and printed.
struct ToolRun {
    int code;
    std::string out;
    std::string err;
};

// The names in a folder, sorted.
inline std::vector<std::string> filesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace ov::test
