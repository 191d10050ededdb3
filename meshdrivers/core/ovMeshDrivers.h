#pragma once

// Entry points of the driver library: a host calls initializeOvMeshDrivers
// once with its resource folders, then saves and loads through
// ovIoManager::msInstance, and calls terminateOvMeshDrivers at shutdown.

#include <string>
#include <vector>

#include "core/ovMeshDriversExport.h"

namespace ov {

class ovCoreMeshDriver;

// Creates and registers the drivers. A folder is searched for the STEP schema
// as folder + "/step/ap242_1_36_mim_lf.exp". Calls nest: only the first one
// does the work.
OVMESHDRIVERS_API void initializeOvMeshDrivers(const std::string& resourceFolder);
OVMESHDRIVERS_API void initializeOvMeshDrivers(const std::vector<std::string>& resourceFolders);
// Unregisters and destroys the drivers when the last initialise is matched.
OVMESHDRIVERS_API void terminateOvMeshDrivers();

}  // namespace ov
