#pragma once

// Entry points of the driver library: a host calls initializeOvMeshDrivers
// once with its resource folders, then saves and loads through
// ovIoManager::msInstance, and calls terminateOvMeshDrivers at shutdown.

#include <memory>
#include <string>
#include <vector>

#include "core/ovMeshDriversExport.h"

namespace ov {

class ovCoreMeshDriver;
namespace step {
class BrepMesher;
}

// Where a resource folder holds the STEP schema the library loads: it
// declares what the library writes, not the whole protocol. The folder text
// is used as given: a trailing separator doubles the slash.
OVMESHDRIVERS_API std::string stepSchemaPath(const std::string& resourceFolder);

// Creates and registers the drivers. Each folder is searched for the STEP
// schema at stepSchemaPath. Calls nest: only the first one does the work.
OVMESHDRIVERS_API void initializeOvMeshDrivers(const std::string& resourceFolder);
OVMESHDRIVERS_API void initializeOvMeshDrivers(const std::vector<std::string>& resourceFolders);
// Unregisters and destroys the drivers when the last initialise is matched.
OVMESHDRIVERS_API void terminateOvMeshDrivers();

// Makes the driver of an optional component: a shared library of its own,
// beside this one, that brings a heavy dependency.
using ovMeshDriverFactory = std::unique_ptr<ovCoreMeshDriver> (*)();
// A component calls this from a static initializer, so that a host gets its
// driver by linking the component's library: initializeOvMeshDrivers makes
// the components' drivers after the library's own, in the order they were
// added. Answers true, for the initializer to hold.
OVMESHDRIVERS_API bool addOvMeshDriverComponent(ovMeshDriverFactory makeDriver);

// Makes the mesher of the component that meshes exact B-rep shapes.
using ovBrepMesherFactory = std::unique_ptr<step::BrepMesher> (*)();
// That component calls this from a static initializer: the STEP reader that
// initializeOvMeshDrivers makes has the shapes it cannot mesh itself meshed
// by it. The last one set holds. Answers true, for the initializer to hold.
OVMESHDRIVERS_API bool setOvBrepMesherComponent(ovBrepMesherFactory makeMesher);

}  // namespace ov
