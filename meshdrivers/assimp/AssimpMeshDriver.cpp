#include "assimp/AssimpMeshDriver.h"

#include <algorithm>
#include <memory>

#include "assimp/AssimpImport.h"
#include "core/InputFiles.h"
#include "core/ovMeshDrivers.h"
#include "system/ovFiles.h"

namespace ov {

namespace {

std::unique_ptr<ovCoreMeshDriver> makeAssimpDriver() {
    return std::make_unique<AssimpMeshDriver>();
}

// The component adds its driver as its library is loaded.
[[maybe_unused]] const bool kAdded = addOvMeshDriverComponent(&makeAssimpDriver);

}  // namespace

AssimpLoadSettings::~AssimpLoadSettings() = default;

AssimpMeshDriver::AssimpMeshDriver() : ovCoreMeshDriver(true) {
    for (const assimpimport::AssimpFormat& format : assimpimport::assimpFormats()) {
        addLoadExtension(format.extension);
    }
}

AssimpMeshDriver::~AssimpMeshDriver() = default;

bool AssimpMeshDriver::loadMeshes(ovObjectList& objects, ovIoDevice& device, const std::string& path,
                                  ovProgressNotifierInterface* /*progress*/, const LoadMeshOptions& options) {
    const AssimpLoadSettings settings = options.drivers.get<AssimpLoadSettings>();
    return loadImported(*this, objects, [&] {
        return assimpimport::importWithAssimpFromMemory(readWholeDevice(device, path), extensionOf(path),
                                                        path, pathOfUtf8(path).parent_path(), settings);
    });
}

bool AssimpMeshDriver::loadMeshes(ovObjectList& objects, const std::string& path,
                                  ovProgressNotifierInterface* progress, const LoadMeshOptions& options) {
    const AssimpLoadSettings settings = options.drivers.get<AssimpLoadSettings>();
    return loadImported(*this, objects,
                        [&] { return assimpimport::importWithAssimp(path, progress, settings); });
}

std::string AssimpMeshDriver::describeLoadExtension(const std::string& extension) const {
    const std::vector<assimpimport::AssimpFormat>& formats = assimpimport::assimpFormats();
    const auto format = std::find_if(formats.begin(), formats.end(), [&extension](const auto& known) {
        return known.extension == extension;
    });
    return format == formats.end() ? std::string() : format->importers;
}

}  // namespace ov
