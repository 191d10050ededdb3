#pragma once

#include "step/BrepMesher.h"

namespace ov::occt {

// Meshes B-rep shapes with Open CASCADE in a child process of its own, which
// sends the meshes back through a pipe: Open CASCADE 7.6 crashes on some
// valid files, and the process that asked must live on. A child that dies,
// or outlasts the settings' time, is refused as the file's failure, naming
// the signal or the time.
class OcctBrepMesher : public step::BrepMesher {
public:
    step::BrepMeshes mesh(std::string_view text, const std::string& source,
                          const std::vector<uint64_t>& shapes,
                          const step::StepLoadSettings& settings) const override;
};

}  // namespace ov::occt
