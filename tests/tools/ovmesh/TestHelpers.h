#pragma once

#include <string>

namespace ov::test {

// What a run of the tool answered and printed.
struct ToolRun {
    int code;
    std::string out;
    std::string err;
};

}  // namespace ov::test
