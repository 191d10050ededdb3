#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ovmesh/SceneIo.h"
#include "ovmesh/ToolError.h"
#include "scenegraph/ovIoManager.h"
#include "support/TestSupport.h"

namespace ov::test {
namespace {

using namespace ovmesh;
namespace fs = std::filesystem;

// A driver whose outcome the test chooses; it writes "data" before answering.
class ScriptedDriver : public ovCoreMeshDriver {
public:
    ScriptedDriver(bool deviceCapable, const std::string& extension) : ovCoreMeshDriver(deviceCapable) {
        addSaveExtension(extension);
        addLoadExtension(extension);
    }

    bool saveMeshes(const ovObjectList& objects, ovIoDevice& device, const std::string& path,
                    ovProgressNotifierInterface* /*progress*/, const SaveMeshOptions& options) override {
        savedObjects = objects.size();
        pathSeen = path;
        optionsSeen = options;
        device.write("data", 4);
        return succeed;
    }
    bool saveMeshes(const ovObjectList& objects, const std::string& path,
                    ovProgressNotifierInterface* /*progress*/, const SaveMeshOptions& options) override {
        savedObjects = objects.size();
        pathSeen = path;
        optionsSeen = options;
        std::ofstream(path) << "data";
        return succeed;
    }
    bool loadMeshes(ovObjectList& /*objects*/, ovIoDevice& /*device*/, const std::string& /*path*/,
                    ovProgressNotifierInterface* /*progress*/, const LoadMeshOptions& /*options*/) override {
        return false;
    }
    bool loadMeshes(ovObjectList& objects, const std::string& /*path*/,
                    ovProgressNotifierInterface* /*progress*/, const LoadMeshOptions& /*options*/) override {
        if (!succeed) {
            addErrorMessage("unexpected end of file", -1);
            return false;
        }
        objects = loaded;
        return true;
    }

    bool succeed = true;
    ovObjectList loaded;
    size_t savedObjects = 0;
    std::string pathSeen;
    SaveMeshOptions optionsSeen;
};

class SceneIoTest : public testing::Test {
protected:
    SceneIoTest() {
        ovIoManager::msInstance.registerDriver(&device, true);
        ovIoManager::msInstance.registerDriver(&pathOnly, true);
    }
    ~SceneIoTest() override {
        ovIoManager::msInstance.unregisterDriver(&device);
        ovIoManager::msInstance.unregisterDriver(&pathOnly);
    }

    std::vector<std::string> filesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder.path())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    ScriptedDriver device{true, "devfmt"};
    ScriptedDriver pathOnly{false, "pathfmt"};
    TempDir folder;
    ovPointer<ovNode> scene{new ovNode};
};

TEST_F(SceneIoTest, ADeviceDriverWritesThroughAFileDeviceNamedLikeTheTarget) {
    SaveMeshOptions options;
    options.lineBreaks = true;
    EXPECT_EQ(saveScene(*scene, folder.file("part.devfmt"), nullptr, options), 4u);
    EXPECT_EQ(readFile(folder.path() / "part.devfmt"), "data");
    EXPECT_EQ(device.savedObjects, 1u);
    EXPECT_EQ(device.pathSeen, "devfmt");
    EXPECT_EQ(device.optionsSeen.fileName, "part");
    EXPECT_TRUE(device.optionsSeen.lineBreaks);
    EXPECT_EQ(filesInFolder(), std::vector<std::string>{"part.devfmt"});
}

TEST_F(SceneIoTest, APathDriverWritesATemporaryFileWithTheTargetsExtension) {
    EXPECT_EQ(saveScene(*scene, folder.file("part.pathfmt"), nullptr, {}), 4u);
    const fs::path used = pathOnly.pathSeen;
    EXPECT_EQ(used.parent_path(), folder.path());
    EXPECT_EQ(used.extension(), ".pathfmt");
    EXPECT_NE(used.filename(), "part.pathfmt");
    EXPECT_EQ(filesInFolder(), std::vector<std::string>{"part.pathfmt"});
}

TEST_F(SceneIoTest, AFailedSaveLeavesNoFileAndKeepsTheOldOne) {
    device.succeed = false;
    pathOnly.succeed = false;
    writeFile(folder.path() / "old.devfmt", "previous");
    EXPECT_THROW(saveScene(*scene, folder.file("old.devfmt"), nullptr, {}), ToolError);
    EXPECT_THROW(saveScene(*scene, folder.file("new.pathfmt"), nullptr, {}), ToolError);
    EXPECT_EQ(filesInFolder(), std::vector<std::string>{"old.devfmt"});
    EXPECT_EQ(readFile(folder.path() / "old.devfmt"), "previous");
}

TEST_F(SceneIoTest, AnUnknownExtensionNamesTheKnownOnes) {
    try {
        saveScene(*scene, folder.file("part.xyz"), nullptr, {});
        FAIL() << "saved an unknown format";
    } catch (const ToolError& error) {
        EXPECT_NE(std::string(error.what()).find("no driver saves .xyz files (known: devfmt, pathfmt)"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_THROW(requireSaveDriver(folder.file("no_extension")), ToolError);
    EXPECT_THROW(requireLoadableFormat(folder.file("part.xyz")), ToolError);
    EXPECT_NO_THROW(requireLoadableFormat(folder.file("part.OBJ")));
    EXPECT_TRUE(filesInFolder().empty());
}

TEST_F(SceneIoTest, SeveralLoadedObjectsAreGatheredUnderOneRoot) {
    writeFile(folder.path() / "two.devfmt", "x");
    const ovPointer<ovNode> first(new ovNode);
    const ovPointer<ovNode> second(new ovNode);
    device.loaded = {ovPointer<ovObject>(first), ovPointer<ovObject>(second)};
    const LoadedScene gathered = loadScene(folder.file("two.devfmt"), nullptr);
    ASSERT_TRUE(gathered.root->IsDerived(ovNode::TYPE));
    const auto& root = static_cast<const ovNode&>(*gathered.root);
    EXPECT_EQ(root.GetName(), "two");
    EXPECT_EQ(root.getNbChildren(), 2);

    device.loaded = {ovPointer<ovObject>(first)};
    EXPECT_EQ(loadScene(folder.file("two.devfmt"), nullptr).root.get(), first.get());
}

TEST_F(SceneIoTest, LoadFailuresSayWhy) {
    const auto failure = [&](const std::string& path) {
        try {
            loadScene(path, nullptr);
        } catch (const ToolError& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    EXPECT_NE(failure(folder.file("absent.devfmt")).find("no such file"), std::string::npos);
    writeFile(folder.path() / "empty.devfmt", "x");
    EXPECT_NE(failure(folder.file("empty.devfmt")).find("holds no scene"), std::string::npos);
    device.succeed = false;
    EXPECT_NE(failure(folder.file("empty.devfmt")).find("unexpected end of file"), std::string::npos);
}

}  // namespace
}  // namespace ov::test
