#pragma once

// What the drivers share towards the driver manager.

#include <string>

#include "scenegraph/ovCoreMeshDriver.h"
#include "system/ovDataStream.h"

namespace ov {

// Writers that go on to the end when the device stops taking bytes answer as
// if it had taken them all: the log is where a short file shows. whole names
// what was written ("drawing", "file").
void reportShortWrite(const char* driverName, const char* whole, const ovDataStream& stream);

// Saving by path for drivers that write to a device: opens a file stream on
// path and hands it to the driver's device form, with the path's extension in
// place of the path. False when the file cannot be opened. The stream holds
// the last bytes until it is closed, after the driver has answered: a disk that
// refuses them then is logged, and the answer stays the driver's.
bool saveToFileThroughDevice(ovCoreMeshDriver& driver, const ovObjectList& objects, const std::string& path,
                             ovProgressNotifierInterface* progress, const SaveMeshOptions& options);

}  // namespace ov
