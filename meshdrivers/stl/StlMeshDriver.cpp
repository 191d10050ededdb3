#include "stl/StlMeshDriver.h"

#include "core/DriverSupport.h"
#include "stl/StlWriter.h"

namespace ov {

StlMeshDriver::StlMeshDriver() : ovCoreMeshDriver(true) {
    addSaveExtension("stl");
}

StlMeshDriver::~StlMeshDriver() = default;

bool StlMeshDriver::saveMeshes(const ovObjectList& objects, ovIoDevice& device, const std::string&,
                               ovProgressNotifierInterface* progress, const SaveMeshOptions&) {
    return writeBinaryStl(objects, device, progress);
}

bool StlMeshDriver::saveMeshes(const ovObjectList& objects, const std::string& path,
                               ovProgressNotifierInterface* progress, const SaveMeshOptions& options) {
    return saveToFileThroughDevice(*this, objects, path, progress, options);
}

Wm4::Vector3f StlMeshDriver::savedOrigin(const ovSpatial& root) const {
    return stlFileOrigin(root);
}

}  // namespace ov
