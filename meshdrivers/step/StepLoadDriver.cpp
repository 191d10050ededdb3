#include "step/StepLoadDriver.h"

#include "core/InputFiles.h"
#include "step/StepImport.h"

namespace ov::step {

StepLoadDriver::StepLoadDriver() : ovCoreMeshDriver(true) {
    addLoadExtension("stp");
    addLoadExtension("step");
}

StepLoadDriver::~StepLoadDriver() = default;

bool StepLoadDriver::loadMeshes(ovObjectList& objects, ovIoDevice& device, const std::string& path,
                                ovProgressNotifierInterface*, const LoadMeshOptions& options) {
    return loadImported(*this, objects, [&] {
        return importStepText(readWholeDevice(device, path), path, options.importMetadata);
    });
}

bool StepLoadDriver::loadMeshes(ovObjectList& objects, const std::string& path, ovProgressNotifierInterface*,
                                const LoadMeshOptions& options) {
    return loadImported(*this, objects, [&] { return importStep(path, options.importMetadata); });
}

std::string StepLoadDriver::describeLoadExtension(const std::string& /*extension*/) const {
    return "STEP AP203, AP214 or AP242";
}

}  // namespace ov::step
