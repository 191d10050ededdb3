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

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: step_host RESOURCE_FOLDER INPUT OUTPUT.stp\n";
        return 2;
    }
    // The drivers give their reasons through the library's log.
    ov::ovLog log;
    ov::ovLog::msInstance = &log;
    std::vector<std::string> messages;
    const int sink = log.addSink([&messages](const ov::ovLogLine& line) {
        if (line.type >= ov::ovLogWarning) {
            messages.push_back(line.text);
        }
    });
    ov::initializeOvMeshDrivers(argv[1]);

    // The library writes the exact profile unless told otherwise; CAD readers want interop.
    ov::SaveMeshOptions options;
    options.drivers.set(
        ov::step::StepSaveSettings(ov::step::StepProfile::Interop, ov::step::StepGeometry::Faceted));
    ov::ovObjectList scene;
    const bool converted = ov::ovIoManager::msInstance.loadMeshes(scene, argv[2], nullptr, {}) &&
                           ov::ovIoManager::msInstance.saveMeshes(scene, argv[3], nullptr, options);
    if (!converted) {
        std::cerr << "cannot convert " << argv[2] << " to " << argv[3] << '\n';
        for (const std::string& message : messages) {
            std::cerr << "  " << message << '\n';
        }
    }

    ov::terminateOvMeshDrivers();
    log.removeSink(sink);
    ov::ovLog::msInstance = nullptr;
    return converted ? 0 : 1;
}
