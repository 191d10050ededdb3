#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "ovmesh/SceneIo.h"
#include "ovmesh/ToolError.h"
#include "scenegraph/ovIoManager.h"
#include "support/TestSupport.h"
#include "tools/ovmesh/TestHelpers.h"

namespace ov::test {
namespace {

using namespace ovmesh;
namespace fs = std::filesystem;

// A driver whose outcome the test chooses; it writes "data" either way.
class ScriptedDriver : public ovCoreMeshDriver {
public:
    ScriptedDriver(bool deviceCapable, const char* extension) : ovCoreMeshDriver(deviceCapable) {
        addSaveExtension(extension);
    }

    bool saveMeshes(const ovObjectList&, ovIoDevice& device, const std::string& path,
                    ovProgressNotifierInterface*, const SaveMeshOptions& options) override {
        device.write("data", 4);
        seen = {path, options.fileName};
        return succeed;
    }
    bool saveMeshes(const ovObjectList&, const std::string& path, ovProgressNotifierInterface*,
                    const SaveMeshOptions& options) override {
        std::ofstream(path) << "data";
        seen = {path, options.fileName};
        return succeed;
    }
    bool loadMeshes(ovObjectList&, ovIoDevice&, const std::string&, ovProgressNotifierInterface*,
                    const LoadMeshOptions&) override {
        return false;
    }
    bool loadMeshes(ovObjectList&, const std::string&, ovProgressNotifierInterface*,
                    const LoadMeshOptions&) override {
        return false;
    }

    bool succeed = true;
    std::pair<std::string, std::string> seen;  // the path (or extension) and the file name it was given
};

// Saving goes through a safe output file: a temporary file beside the target
// that replaces it only once everything is written.
class SceneIoTest : public testing::Test {
protected:
    SceneIoTest() {
        ovIoManager::msInstance.registerDriver(&device, true);
        ovIoManager::msInstance.registerDriver(&pathOnly, true);
        writeFile(folder.path() / "old.devfmt", "previous");
        writeFile(folder.path() / "old.pathfmt", "previous");
    }
    ~SceneIoTest() override {
        ovIoManager::msInstance.unregisterDriver(&device);
        ovIoManager::msInstance.unregisterDriver(&pathOnly);
    }

    std::string saveFailure(const std::string& target) {
        try {
            saveScene(*scene, target, nullptr, {});
        } catch (const ToolError& error) {
            return error.what();
        }
        return "saved";
    }

    ScriptedDriver device{true, "devfmt"};
    ScriptedDriver pathOnly{false, "pathfmt"};
    TempDir folder;
    ovPointer<ovNode> scene{new ovNode};
};

TEST_F(SceneIoTest, WritesAHiddenFileBesideTheTargetThatReplacesItOnlyOnSuccess) {
    EXPECT_EQ(saveScene(*scene, folder.file("old.devfmt"), nullptr, {}), 4u);
    EXPECT_EQ(device.seen, std::make_pair(std::string("devfmt"), std::string("old")));
    EXPECT_EQ(saveScene(*scene, folder.file("old.pathfmt"), nullptr, {}), 4u);
    const fs::path used = pathOnly.seen.first;
    EXPECT_EQ(used.parent_path(), folder.path());
    EXPECT_TRUE(used.filename().string().starts_with(".old.pathfmt.tmp-")) << used;
    EXPECT_EQ(used.extension(), ".pathfmt");  // drivers are chosen by it
    EXPECT_EQ(filesIn(folder.path()), (std::vector<std::string>{"old.devfmt", "old.pathfmt"}));
    EXPECT_EQ(readFile(folder.path() / "old.devfmt"), "data");
    EXPECT_EQ(readFile(folder.path() / "old.pathfmt"), "data");

    // A failed save leaves nothing behind and the old file as it was.
    device.succeed = false;
    pathOnly.succeed = false;
    fs::create_directory(folder.path() / "folder.devfmt");
    const std::string cannot = "cannot write '" + folder.file("");
    EXPECT_EQ(saveFailure(folder.file("old.devfmt")),
              cannot + "old.devfmt': the devfmt driver failed to save the scene");
    EXPECT_EQ(saveFailure(folder.file("old.pathfmt")),
              cannot + "old.pathfmt': the pathfmt driver failed to save the scene");
    EXPECT_EQ(saveFailure(folder.file("missing/a.devfmt")),
              cannot + "missing/a.devfmt': folder '" + folder.file("missing") + "' does not exist");
    EXPECT_EQ(saveFailure(folder.file("folder.devfmt")), cannot + "folder.devfmt': it is a folder");
    EXPECT_EQ(filesIn(folder.path()),
              (std::vector<std::string>{"folder.devfmt", "old.devfmt", "old.pathfmt"}));
    EXPECT_EQ(readFile(folder.path() / "old.devfmt"), "data");
    EXPECT_EQ(readFile(folder.path() / "old.pathfmt"), "data");
}

}  // namespace
}  // namespace ov::test
