#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

#include <vector>

#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovSpatial.h"

// Declares variable, the path of a model of assimp's test corpus, or skips the test where the corpus is
// not installed.
#define OV_ASSIMP_MODEL_OR_SKIP(variable, model)                                                      \
    const std::filesystem::path variable = std::filesystem::path("/usr/share/assimp/models") / model; \
    if (!std::filesystem::exists(variable))                                                           \
    GTEST_SKIP() << "needs " << variable << " (Debian's assimp-testmodels)"

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

// The corners of a geometry's triangles or segments, in index order.
inline std::vector<Wm4::Vector3f> corners(const ovBaseGeometry& geometry) {
    std::vector<Wm4::Vector3f> result;
    for (int i = 0; i < geometry.getIndexBuffer()->GetIndexQuantity(); ++i) {
        result.push_back(geometry.getVertexBuffer()->Position3(geometry.getIndexBuffer()->getData()[i]));
    }
    return result;
}

}  // namespace ov::test
