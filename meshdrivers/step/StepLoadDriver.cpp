#include "step/StepLoadDriver.h"

#include "core/InputFiles.h"
#include "step/BrepMesher.h"
#include "step/StepImport.h"

namespace ov::step {

namespace {

StepReadOptions readOptions(const LoadMeshOptions& options, const BrepMesher* mesher) {
    return {options.importMetadata, mesher, options.drivers.get<StepLoadSettings>()};
}

}  // namespace

StepLoadSettings::~StepLoadSettings() = default;

BrepMesher::~BrepMesher() = default;

StepLoadDriver::StepLoadDriver(std::shared_ptr<const BrepMesher> mesher)
    : ovCoreMeshDriver(true), mMesher(std::move(mesher)) {
    addLoadExtension("stp");
    addLoadExtension("step");
}

StepLoadDriver::~StepLoadDriver() = default;

bool StepLoadDriver::loadMeshes(ovObjectList& objects, ovIoDevice& device, const std::string& path,
                                ovProgressNotifierInterface*, const LoadMeshOptions& options) {
    return loadImported(*this, objects, [&] {
        return importStepText(readWholeDevice(device, path), path, readOptions(options, mMesher.get()));
    });
}

bool StepLoadDriver::loadMeshes(ovObjectList& objects, const std::string& path, ovProgressNotifierInterface*,
                                const LoadMeshOptions& options) {
    return loadImported(*this, objects,
                        [&] { return importStep(path, readOptions(options, mMesher.get())); });
}

std::string StepLoadDriver::describeLoadExtension(const std::string& /*extension*/) const {
    return "STEP AP203, AP214 or AP242";
}

}  // namespace ov::step
