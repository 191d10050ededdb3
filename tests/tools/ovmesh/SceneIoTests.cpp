#include <gmock/gmock.h>
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

// A driver that saves by path, writing "data" and answering what the test
// chose. Drivers that write to a device are run end to end with the tool.
class ScriptedDriver : public ovCoreMeshDriver {
public:
    ScriptedDriver() : ovCoreMeshDriver(false) { addSaveExtension("pathfmt"); }

    bool saveMeshes(const ovObjectList&, const std::string& path, ovProgressNotifierInterface*,
                    const SaveMeshOptions& options) override {
        std::ofstream(path) << "data";
        seen = {path, options.fileName};
        return succeed;
    }
    bool saveMeshes(const ovObjectList&, ovIoDevice&, const std::string&, ovProgressNotifierInterface*,
                    const SaveMeshOptions&) override {
        return false;
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
    std::pair<std::string, std::string> seen;  // the path and the file name it was given
};

// Saving goes through a safe output file: a temporary file beside the target
// that replaces it only once everything is written.
class SceneIoTest : public testing::Test {
protected:
    SceneIoTest() { ovIoManager::msInstance.registerDriver(&driver, true); }
    ~SceneIoTest() override { ovIoManager::msInstance.unregisterDriver(&driver); }

    ScriptedDriver driver;
    TempDir folder;
    const ovPointer<ovNode> scene{new ovNode};
};

TEST_F(SceneIoTest, WritesAHiddenFileBesideTheTargetThatReplacesItOnlyOnSuccess) {
    writeFile(folder.path() / "old.pathfmt", "previous");
    EXPECT_EQ(saveScene(*scene, folder.file("old.pathfmt"), nullptr, {}), 4u);
    const fs::path used = driver.seen.first;
    EXPECT_EQ(used.parent_path(), folder.path());
    EXPECT_TRUE(used.filename().string().starts_with(".old.pathfmt.tmp-")) << used;
    EXPECT_EQ(used.extension(), ".pathfmt");  // drivers are chosen by it
    EXPECT_EQ(driver.seen.second, "old");

    // A failed save leaves nothing behind and the old file as it was.
    driver.succeed = false;
    fs::create_directory(folder.path() / "folder.pathfmt");
    const std::pair<std::string, std::string> failures[] = {
        {"old.pathfmt", "the pathfmt driver failed to save the scene"},
        {"missing/a.pathfmt", "folder '" + folder.file("missing") + "' does not exist"},
        {"folder.pathfmt", "it is a folder"}};
    for (const auto& [target, reason] : failures) {
        EXPECT_THAT(
            [&] { saveScene(*scene, folder.file(target), nullptr, {}); },
            testing::ThrowsMessage<ToolError>("cannot write '" + folder.file(target) + "': " + reason));
    }
    EXPECT_EQ(filesIn(folder.path()), (std::vector<std::string>{"folder.pathfmt", "old.pathfmt"}));
    EXPECT_EQ(readFile(folder.path() / "old.pathfmt"), "data");
}

}  // namespace
}  // namespace ov::test
