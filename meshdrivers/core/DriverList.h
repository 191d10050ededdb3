#pragma once

// The library's own drivers, in creation order (internal to the library and
// its tests).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scenegraph/ovCoreMeshDriver.h"

namespace ov {

const std::vector<ovCoreMeshDriver*>& getOvMeshDriverList();

// Builds the STEP driver on a schema file; null when the schema does not load.
using StepDriverFactory = std::function<std::unique_ptr<ovCoreMeshDriver>(const std::string& schemaPath)>;

// initializeOvMeshDrivers with the STEP driver made by makeStepDriver, so that
// tests can stand in a driver of their own.
void initializeOvMeshDriversWith(const std::vector<std::string>& resourceFolders,
                                 const StepDriverFactory& makeStepDriver);

}  // namespace ov
