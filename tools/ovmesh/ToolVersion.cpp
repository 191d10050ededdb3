#include "ovmesh/ToolVersion.h"

#include "core/Version.h"
#include "ovmesh/SourceCommit.h"

namespace ov::ovmesh {

std::string toolVersionText() {
    const std::string commit = OVMESH_SOURCE_COMMIT;
    return "ovmesh: " +
           (commit.empty() ? std::string("not built from a git checkout, no source commit known")
                           : "built from source commit " + commit) +
           "\novMeshDrivers library: " +
           ovMeshDrivers::Version::GetDescStringMajorMinorReleaseRevision(false, true) +
           " (the library's product version and build tag, not a commit of these sources)";
}

}  // namespace ov::ovmesh
