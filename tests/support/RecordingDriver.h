#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "scenegraph/ovCoreMeshDriver.h"

namespace ov::test {

// A driver of the given extensions that records each request reaching it
// ("load path a.x", "save device a.x 2 name": a save adds the number of
// objects and the file name it was given) and answers `answer`. A save writes
// "data" to its device or file.
class RecordingDriver : public ovCoreMeshDriver {
public:
    RecordingDriver(bool deviceCapable, const std::vector<std::string>& loads,
                    const std::vector<std::string>& saves)
        : ovCoreMeshDriver(deviceCapable) {
        for (const std::string& extension : loads) {
            addLoadExtension(extension);
        }
        for (const std::string& extension : saves) {
            addSaveExtension(extension);
        }
    }
    std::string getName() const override { return "RecordingDriver"; }
    bool loadMeshes(ovObjectList&, const std::string& path, ovProgressNotifierInterface*,
                    const LoadMeshOptions&) override {
        return record("load path " + path);
    }
    bool saveMeshes(const ovObjectList& objects, ovIoDevice& device, const std::string& path,
                    ovProgressNotifierInterface*, const SaveMeshOptions& options) override {
        device.write("data", 4);
        return record("save device " + path + savedWhat(objects, options));
    }
    bool saveMeshes(const ovObjectList& objects, const std::string& path, ovProgressNotifierInterface*,
                    const SaveMeshOptions& options) override {
        std::ofstream(path) << "data";
        return record("save path " + path + savedWhat(objects, options));
    }

    std::vector<std::string> requests;
    bool answer = true;

private:
    static std::string savedWhat(const ovObjectList& objects, const SaveMeshOptions& options) {
        return ' ' + std::to_string(objects.size()) +
               (options.fileName.empty() ? "" : " " + options.fileName);
    }
    bool record(const std::string& request) {
        requests.push_back(request);
        return answer;
    }
};

}  // namespace ov::test
