#pragma once

// The optional component that meshes the exact B-rep shapes of STEP files
// with Open CASCADE. A host links its library (the CMake target
// ovMeshDrivers::ovMeshDriversOcct): as it is loaded it registers its mesher,
// and the STEP reader that initializeOvMeshDrivers makes then meshes those
// shapes as the load's StepLoadSettings ask, instead of leaving them out.

#include <string>

#include "occt/OcctComponentExport.h"

namespace ov {

// The Open CASCADE release that meshes, as "Open CASCADE 7.6.3".
OVMESHDRIVERSOCCT_API std::string occtComponentDescription();

}  // namespace ov
