#include "obj/ObjMeshDriver.h"

#include "obj/ObjImport.h"
#include "system/ovFiles.h"

namespace ov {

ObjLoadSettings::~ObjLoadSettings() = default;

ObjMeshDriver::ObjMeshDriver() : ovCoreMeshDriver(true) {
    addLoadExtension("obj");
}

ObjMeshDriver::~ObjMeshDriver() = default;

bool ObjMeshDriver::loadMeshes(ovObjectList& objects, ovIoDevice& device, const std::string& path,
                               ovProgressNotifierInterface* progress, const LoadMeshOptions& options) {
    const ObjLoadSettings settings = options.drivers.get<ObjLoadSettings>();
    return loadImported(*this, objects, [&] {
        return obj::importObjDevice(device, path, pathOfUtf8(path).parent_path(), progress, settings);
    });
}

bool ObjMeshDriver::loadMeshes(ovObjectList& objects, const std::string& path,
                               ovProgressNotifierInterface* progress, const LoadMeshOptions& options) {
    const ObjLoadSettings settings = options.drivers.get<ObjLoadSettings>();
    return loadImported(*this, objects, [&] { return obj::importObj(path, progress, settings); });
}

std::string ObjMeshDriver::describeLoadExtension(const std::string& /*extension*/) const {
    return "Wavefront OBJ";
}

}  // namespace ov
