#pragma once

// The interface through which the STEP reader has exact B-rep shapes meshed
// by an optional component (the Open CASCADE one) that registers a mesher
// with setOvBrepMesherComponent; without one those shapes are left out with a
// warning.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/ovMeshDriversExport.h"
#include "step/StepLoadSettings.h"

namespace ov::step {

// The triangles of one face of a B-rep shape: corners as x, y, z triples in
// millimetres, in the coordinates of the shape's representation, and three
// corner numbers per triangle, wound outwards.
struct BrepFaceMesh {
    // The instance number of the face's record, whose style may colour it.
    uint64_t face = 0;
    std::vector<float> positions;
    std::vector<uint32_t> triangles;
};

// The faces of each shape meshed, by the instance number of the shape's record.
using BrepMeshes = std::unordered_map<uint64_t, std::vector<BrepFaceMesh>>;

class OVMESHDRIVERS_API BrepMesher {
public:
    virtual ~BrepMesher();
    // Meshes the shapes (instance numbers of their records) of the exchange
    // file text, named source in messages. A shape the mesher could not make
    // is missing from the answer. ReadError when the file cannot be meshed at
    // all.
    virtual BrepMeshes mesh(std::string_view text, const std::string& source,
                            const std::vector<uint64_t>& shapes, const StepLoadSettings& settings) const = 0;
};

}  // namespace ov::step
