#pragma once

#include <stdexcept>
#include <string>

#include "scenegraph/ovSpatial.h"

namespace ov::test {

// What a run of the tool answered and printed.
struct ToolRun {
    int code;
    std::string out;
    std::string err;
};

// Child index of parent as a T; throws, failing the test, when it is none.
template <typename T = ovNode>
const T& child(const ovNode& parent, int index) {
    const ovSpatial* spatial = parent.getChild(index);
    return spatial != nullptr ? dynamic_cast<const T&>(*spatial) : throw std::out_of_range("no such child");
}

}  // namespace ov::test
