#include "step/StepLoadDriver.h"

#include "core/InputFiles.h"
#include "step/StepImport.h"

namespace ov::step {

namespace {

// A device is read whole: references may point anywhere in the file.
std::string readDevice(ovIoDevice& device, const std::string& path) {
    constexpr int64_t kChunk = int64_t{1} << 22;
    std::string text;
    for (;;) {
        const size_t at = text.size();
        text.resize(at + static_cast<size_t>(kChunk));
        const int64_t read = device.read(text.data() + at, kChunk);
        if (read < 0) {
            throw ReadError("cannot read '" + path + "': the read failed");
        }
        text.resize(at + static_cast<size_t>(read));
        if (read == 0) {
            return text;
        }
    }
}

}  // namespace

StepLoadDriver::StepLoadDriver() : ovCoreMeshDriver(true) {
    addLoadExtension("stp");
    addLoadExtension("step");
}

StepLoadDriver::~StepLoadDriver() = default;

bool StepLoadDriver::loadMeshes(ovObjectList& objects, ovIoDevice& device, const std::string& path,
                                ovProgressNotifierInterface*, const LoadMeshOptions& options) {
    return loadImported(*this, objects, [&] {
        return importStepText(readDevice(device, path), path, options.importMetadata);
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
