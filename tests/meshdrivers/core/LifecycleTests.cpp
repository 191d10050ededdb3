#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "core/DriverList.h"
#include "core/DriverSupport.h"
#include "core/ovMeshDrivers.h"
#include "scenegraph/ovIoManager.h"
#include "stl/StlMeshDriver.h"
#include "support/RecordingDriver.h"
#include "support/TestSupport.h"

namespace ov {
namespace {

const std::string kSchemaSubPath = "/step/ap242_1_36_mim_lf.exp";

// The drivers the library can make, by their save and load extensions, in the
// order it must create (and so register) them; a build may leave some out.
using Extensions = std::pair<ovExtensionList, ovExtensionList>;
const std::vector<Extensions> kCreationOrder = {
    {{"dae"}, {}},         {{"stl"}, {}},         {{"svg"}, {}}, {{"dxf"}, {}},        {{}, {"plmxml"}},
    {{"stp", "step"}, {}}, {{"glb", "gltf"}, {}}, {{}, {"obj"}}, {{}, {"stp", "step"}}};

class LifecycleTest : public ::testing::Test {
protected:
    // Each test leaves the library terminated, as it found it.
    void TearDown() override {
        while (!getOvMeshDriverList().empty()) {
            terminateOvMeshDrivers();
        }
    }

    // The "Fail to init step support" lines: warnings of no category or context.
    std::vector<std::string> stepLogLines() const {
        std::vector<std::string> texts;
        for (const ovLogLine& line : log.lines()) {
            if (line.text.starts_with("Fail to init step support")) {
                EXPECT_TRUE(line.type == ovLogWarning && line.category.empty() && line.context.empty());
                texts.push_back(line.text);
            }
        }
        return texts;
    }

    test::LogCapture log;
    test::TempDir dir;
};

TEST_F(LifecycleTest, RegistersItsDriversInCreationOrderOnceHoweverOftenItIsStarted) {
    initializeOvMeshDrivers(dir.path().string());
    const std::vector<ovCoreMeshDriver*> first = getOvMeshDriverList();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(ovIoManager::msInstance.getDrivers(), first);
    auto kind = kCreationOrder.begin();
    for (ovCoreMeshDriver* driver : first) {
        const Extensions extensions{driver->getSaveExtensions(), driver->getLoadExtensions()};
        kind = std::find(kind, kCreationOrder.end(), extensions);
        ASSERT_NE(kind, kCreationOrder.end())
            << ::testing::PrintToString(extensions) << " unknown or out of order";
        ++kind;
    }

    // A nested start creates, registers and searches nothing; only the last
    // termination unregisters, and the library can start again.
    initializeOvMeshDrivers(dir.path().string());
    EXPECT_EQ(getOvMeshDriverList(), first);
    EXPECT_EQ(stepLogLines().size(), 1u);
    terminateOvMeshDrivers();
    EXPECT_EQ(ovIoManager::msInstance.getDrivers(), first);
    terminateOvMeshDrivers();
    EXPECT_TRUE(getOvMeshDriverList().empty());
    EXPECT_EQ(ovIoManager::msInstance.getDriverCount(), 0u);
    initializeOvMeshDrivers(dir.path().string());
    EXPECT_EQ(getOvMeshDriverList().size(), first.size());
    EXPECT_EQ(ovIoManager::msInstance.getDrivers(), getOvMeshDriverList());
}

TEST_F(LifecycleTest, StepDriverComesFromTheFirstFolderWhoseSchemaLoadsOrTheFoldersAreLogged) {
    std::vector<std::string> schemas, offered;
    for (const char* name : {"broken", "good", "later"}) {
        std::filesystem::create_directories(dir.path() / name / "step");
        schemas.push_back(dir.file(name) + kSchemaSubPath);
        test::writeFile(schemas.back(), "SCHEMA x; END_SCHEMA;\n");
    }
    // A stand-in for the STEP driver, made from the last two schemas only.
    ovCoreMeshDriver* made = nullptr;
    const auto makeStepDriver = [&](const std::string& schemaPath) -> std::unique_ptr<ovCoreMeshDriver> {
        offered.push_back(schemaPath);
        if (schemaPath.starts_with(dir.file("broken"))) {
            return nullptr;
        }
        auto driver = std::make_unique<StlMeshDriver>();
        made = driver.get();
        return driver;
    };

    // Without STEP support the folders are logged as given.
    initializeOvMeshDrivers(std::vector<std::string>{});
    terminateOvMeshDrivers();
    initializeOvMeshDriversWith({"C:\\res\\", dir.file("broken"), ""}, makeStepDriver);
    const size_t withoutStep = getOvMeshDriverList().size();
    terminateOvMeshDrivers();
    EXPECT_EQ(stepLogLines(), (std::vector<std::string>{"Fail to init step support from \"\"",
                                                        "Fail to init step support from \"C:\\res\\\",\"" +
                                                            dir.file("broken") + "\",\"\""}));

    offered.clear();
    initializeOvMeshDriversWith(
        {dir.file("none"), dir.file("broken"), dir.file("good") + "/", dir.file("later")}, makeStepDriver);
    // A folder without the file is not offered, a schema that does not load
    // moves the search on, and the first driver made ends it. The folder text
    // is used as given: a trailing separator doubles the slash.
    EXPECT_EQ(offered, (std::vector<std::string>{schemas[0], dir.file("good") + "/" + kSchemaSubPath}));
    ASSERT_EQ(getOvMeshDriverList().size(), withoutStep + 1);
    EXPECT_EQ(getOvMeshDriverList().end()[-4], made)
        << "the STEP driver comes last but glTF, OBJ and the STEP reader";
    EXPECT_EQ(ovIoManager::msInstance.getDrivers(), getOvMeshDriverList());
    EXPECT_EQ(stepLogLines().size(), 2u) << "only the starts without a STEP driver log";
}

TEST(DriverSupportTest, PathOverloadOpensTheFileAndHandsItsExtensionToTheDeviceForm) {
    test::TempDir dir;
    test::writeFile(dir.file("Model.Part.STL"), std::string(1000, 'x'));
    test::RecordingDriver driver(true, {}, {"stl"});
    SaveMeshOptions options;
    options.fileName = "name";

    EXPECT_TRUE(
        saveToFileThroughDevice(driver, ovObjectList(2), dir.file("Model.Part.STL"), nullptr, options));
    EXPECT_EQ(test::readFile(dir.file("Model.Part.STL")), "data") << "emptied, written and closed";
    driver.answer = false;
    EXPECT_FALSE(saveToFileThroughDevice(driver, {}, dir.file("noextension"), nullptr, options));
    // A file that cannot be opened never reaches the device form.
    EXPECT_FALSE(saveToFileThroughDevice(driver, {}, dir.file("missing-folder/model.stl"), nullptr, {}));
    EXPECT_FALSE(saveToFileThroughDevice(driver, {}, dir.path().string(), nullptr, {}))
        << "a folder is no file";
    EXPECT_EQ(driver.requests, (std::vector<std::string>{"save device stl 2 name", "save device  0 name"}));
}

}  // namespace
}  // namespace ov
