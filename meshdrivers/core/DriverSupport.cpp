#include "core/DriverSupport.h"

#include "system/ovStringUtils.h"

namespace ov {

bool saveToFileThroughDevice(ovCoreMeshDriver& driver, const ovObjectList& objects, const std::string& path,
                             ovProgressNotifierInterface* progress, const SaveMeshOptions& options) {
    ovIoDeviceFileStream file(path, ovIoDevice::WriteOnly, true);
    if (!file.isOpen()) {
        return false;
    }
    return driver.saveMeshes(objects, file, ovDirUtils::ExtractFileExtension(path, true, 1), progress,
                             options);
}

}  // namespace ov
