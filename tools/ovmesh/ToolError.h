#pragma once

#include <stdexcept>

namespace ov::ovmesh {

// A failure the tool reports as one "error: ..." line before it exits with a
// non-zero code. The text names the file (and line) it is about.
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace ov::ovmesh
