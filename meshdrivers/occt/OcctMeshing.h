#pragma once

#include <string_view>
#include <vector>

#include "step/BrepMesher.h"

namespace ov::occt {

// Reads the exchange file text with Open CASCADE and meshes the shapes
// (instance numbers of B-rep records) as settings ask, each face keeping the
// number of the record it came from. A shape Open CASCADE made nothing of is
// left out. std::runtime_error, with the reason, when it cannot read the file.
// In this process: Open CASCADE may crash on a file it cannot read.
step::BrepMeshes meshWithOcct(std::string_view text, const std::vector<uint64_t>& shapes,
                              const step::StepLoadSettings& settings);

}  // namespace ov::occt
