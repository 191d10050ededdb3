#pragma once

#include "core/ServiceError.h"

namespace ov::ovmesh {

// A failure the tool reports as one "error: ..." line before it exits with a
// non-zero code. The text names the file (and line) it is about. The tool's
// own are of one kind with those of the library's services, so that both
// reach the user the same way.
using ToolError = ServiceError;

}  // namespace ov::ovmesh
