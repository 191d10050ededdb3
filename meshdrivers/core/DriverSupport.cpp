#include "core/DriverSupport.h"

#include "core/DriverLog.h"
#include "system/ovStringUtils.h"

namespace ov {

void reportShortWrite(const char* driverName, const char* whole, const ovDataStream& stream) {
    if (!stream.good()) {
        logLine(ovLogError) << driverName << " driver could not write the whole " << whole
                            << ": the device refused bytes.";
    }
}

bool saveToFileThroughDevice(ovCoreMeshDriver& driver, const ovObjectList& objects, const std::string& path,
                             ovProgressNotifierInterface* progress, const SaveMeshOptions& options) {
    ovIoDeviceFileStream file(path, ovIoDevice::WriteOnly, true);
    if (!file.isOpen()) {
        return false;
    }
    const bool saved =
        driver.saveMeshes(objects, file, ovDirUtils::ExtractFileExtension(path, true, 1), progress, options);
    if (!file.close()) {
        logLine(ovLogError) << "Could not write the whole file " << path << ": the disk refused bytes.";
    }
    return saved;
}

}  // namespace ov
