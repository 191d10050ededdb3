// Loads arbitrary bytes as a PLM XML document, by each reading of the
// driver, and by all in turn. Besides crashes, hangs and
// sanitizer reports, it checks the driver's promise: a load either appends
// exactly one root or fails with a reason and appends nothing.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "plmxml/ovPlmXmlMeshDriver.h"
#include "scenegraph/ovSpatial.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ov;
    ovPlmXmlMeshDriver driver;
    // Each reading, and the one that falls back on the others.
    driver.setReading(static_cast<PlmXmlReading>(size % 4));
    ovIoDeviceMemory device(std::string(reinterpret_cast<const char*>(data), size));
    ovObjectList objects;
    LoadMeshOptions options;
    options.importMetadata = size / 4 % 2 == 0;
    const bool loaded = driver.loadMeshes(objects, device, "plmxml", nullptr, options);
    const bool oneRoot = objects.size() == 1 && objects.front() && objects.front()->IsDerived(ovNode::TYPE);
    if (loaded ? !oneRoot : (!objects.empty() || driver.getErrorMessages().empty())) {
        std::abort();
    }
    return 0;
}
