#include "occt/OcctComponent.h"

#include <memory>

#include <Standard_Version.hxx>

#include "core/ovMeshDrivers.h"
#include "occt/OcctBrepMesher.h"

namespace ov {

namespace {

std::unique_ptr<step::BrepMesher> makeOcctMesher() {
    return std::make_unique<occt::OcctBrepMesher>();
}

// The component registers its mesher as its library is loaded.
[[maybe_unused]] const bool kSet = setOvBrepMesherComponent(&makeOcctMesher);

}  // namespace

std::string occtComponentDescription() {
    return "Open CASCADE " OCC_VERSION_COMPLETE;
}

}  // namespace ov
