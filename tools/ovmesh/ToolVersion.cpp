#include "ovmesh/ToolVersion.h"

#include "core/Version.h"
#include "ovmesh/SourceCommit.h"
#ifdef OV_WITH_OCCT
#include "occt/OcctComponent.h"
#endif

namespace ov::ovmesh {

namespace {

// Which component meshes exact STEP shapes, if any was built.
std::string brepMesherText() {
#ifdef OV_WITH_OCCT
    return "meshed by " + occtComponentDescription();
#else
    return "left out: the Open CASCADE component was not built";
#endif
}

}  // namespace

std::string toolVersionText() {
    const std::string commit = OVMESH_SOURCE_COMMIT;
    return "ovmesh: " +
           (commit.empty() ? std::string("not built from a git checkout, no source commit known")
                           : "built from source commit " + commit) +
           "\novMeshDrivers library: " +
           ovMeshDrivers::Version::GetDescStringMajorMinorReleaseRevision(false, true) +
           " (the library's product version and build tag, not a commit of these sources)" +
           "\nB-rep STEP shapes: " + brepMesherText();
}

}  // namespace ov::ovmesh
