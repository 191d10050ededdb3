#pragma once

// What the drivers share towards the driver manager.

#include <string>

#include "scenegraph/ovCoreMeshDriver.h"

namespace ov {

// Saving by path for drivers that write to a device: opens a file stream on
// path and hands it to the driver's device form, with the path's extension in
// place of the path. False when the file cannot be opened.
bool saveToFileThroughDevice(ovCoreMeshDriver& driver, const ovObjectList& objects, const std::string& path,
                             ovProgressNotifierInterface* progress, const SaveMeshOptions& options);

}  // namespace ov
