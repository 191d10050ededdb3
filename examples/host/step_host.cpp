// Saves a file the library reads as STEP that CAD readers open, and says why when it cannot:
//
//     step_host RESOURCE_FOLDER INPUT OUTPUT.stp
#include <iostream>
#include <string>
#include <vector>

#include "core/ovMeshDrivers.h"
#include "scenegraph/ovIoManager.h"
#include "step/StepSaveSettings.h"
#include "system/ovLog.h"

namespace {

// What the library logged and what the driver kept about its last request.
void printReasons(const std::vector<std::string>& logged, const ov::ovCoreMeshDriver* driver) {
    for (const std::string& line : logged) {
        std::cerr << "  " << line << '\n';
    }
    if (driver == nullptr) {
        return;
    }
    for (const auto& [text, code] : driver->getErrorMessages()) {
        std::cerr << "  " << text << " (" << code << ")\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: step_host RESOURCE_FOLDER INPUT OUTPUT.stp\n";
        return 2;
    }
    ov::ovLog log;
    ov::ovLog::msInstance = &log;
    std::vector<std::string> logged;
    const int sink = log.addSink([&logged](const ov::ovLogLine& line) {
        if (line.type >= ov::ovLogWarning) {
            logged.push_back(line.text);
        }
    });
    ov::initializeOvMeshDrivers(argv[1]);
    ov::ovIoManager& drivers = ov::ovIoManager::msInstance;
    const std::string input = argv[2], output = argv[3];

    // The library writes the exact profile unless told otherwise; CAD readers want interop.
    ov::SaveMeshOptions options;
    options.drivers.set(
        ov::step::StepSaveSettings(ov::step::StepProfile::Interop, ov::step::StepGeometry::Faceted));
    ov::ovObjectList scene;
    int result = 0;
    if (!drivers.loadMeshes(scene, input, nullptr, {})) {
        std::cerr << "cannot read " << input << '\n';
        printReasons(logged, drivers.findLoadDriver(ov::ovCoreMeshDriver::extensionOf(input)));
        result = 1;
    } else if (!drivers.saveMeshes(scene, output, nullptr, options)) {
        std::cerr << "cannot write " << output << '\n';
        printReasons(logged, drivers.findSaveDriver("stp"));
        result = 1;
    }

    ov::terminateOvMeshDrivers();
    log.removeSink(sink);
    ov::ovLog::msInstance = nullptr;
    return result;
}
