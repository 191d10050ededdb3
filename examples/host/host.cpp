// Loads a PLM XML product structure and saves it as STEP and COLLADA through the scene graph's
// driver manager, as a host application does:
//
//     host RESOURCE_FOLDER INPUT.plmxml OUTPUT_STEM
//
// writes OUTPUT_STEM.stp and OUTPUT_STEM.dae. The library's warnings and errors go to stderr.
#include <iostream>
#include <string>

#include "core/ovMeshDrivers.h"
#include "scenegraph/ovIoManager.h"
#include "system/ovLog.h"

namespace {

// Prints every warning and error line of the library's log.
class StderrLog {
public:
    StderrLog() {
        ov::ovLog::msInstance = &mLog;
        mSink = mLog.addSink([](const ov::ovLogLine& line) {
            if (line.type >= ov::ovLogWarning) {
                std::cerr << (line.type == ov::ovLogWarning ? "warning: " : "error: ") << line.text << '\n';
            }
        });
    }
    ~StderrLog() {
        mLog.removeSink(mSink);
        ov::ovLog::msInstance = nullptr;
    }
    StderrLog(const StderrLog&) = delete;
    StderrLog& operator=(const StderrLog&) = delete;

private:
    ov::ovLog mLog;
    int mSink = 0;
};

bool convert(const std::string& input, const std::string& stem) {
    ov::ovObjectList scene;
    if (!ov::ovIoManager::msInstance.loadMeshes(scene, input, nullptr, ov::LoadMeshOptions{})) {
        std::cerr << "cannot load " << input << '\n';
        return false;
    }
    bool saved = true;
    for (const char* extension : {".stp", ".dae"}) {
        if (!ov::ovIoManager::msInstance.saveMeshes(scene, stem + extension, nullptr,
                                                    ov::SaveMeshOptions{})) {
            std::cerr << "cannot save " << stem << extension << '\n';
            saved = false;
        }
    }
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: host RESOURCE_FOLDER INPUT.plmxml OUTPUT_STEM\n";
        return 2;
    }
    StderrLog log;
    ov::initializeOvMeshDrivers(std::string(argv[1]));
    const bool converted = convert(argv[2], argv[3]);
    ov::terminateOvMeshDrivers();
    return converted ? 0 : 1;
}
