#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/DriverList.h"
#include "core/DriverSupport.h"
#include "core/ovMeshDrivers.h"
#include "scenegraph/ovIoManager.h"
#include "support/TestSupport.h"

namespace ov {
namespace {

const char* const kSchemaSubPath = "/step/ap242_1_36_mim_lf.exp";

// Extensions of every kind of driver the library can make, in the order the
// library must create (and so register) them.
struct DriverKind {
    ovExtensionList saveExtensions;
    ovExtensionList loadExtensions;
    bool deviceCapable;
};
const std::vector<DriverKind> kCreationOrder = {
    {{"dae"}, {}, false}, {{"stl"}, {}, true},    {{"svg"}, {}, true},
    {{"dxf"}, {}, true},  {{}, {"plmxml"}, true}, {{"stp", "step"}, {}, true},
};

ptrdiff_t kindIndex(const ovCoreMeshDriver& driver) {
    const auto kind = std::find_if(kCreationOrder.begin(), kCreationOrder.end(), [&](const DriverKind& k) {
        return k.saveExtensions == driver.getSaveExtensions() &&
               k.loadExtensions == driver.getLoadExtensions();
    });
    return kind == kCreationOrder.end() ? -1 : kind - kCreationOrder.begin();
}

// Stands in for the STEP driver, which announces "stp" and "step" and is made
// from a schema file.
class FakeStepDriver : public ovCoreMeshDriver {
public:
    FakeStepDriver() : ovCoreMeshDriver(true) {
        addSaveExtension("stp");
        addSaveExtension("step");
    }
    bool loadMeshes(ovObjectList&, ovIoDevice&, const std::string&, ovProgressNotifierInterface*,
                    const LoadMeshOptions&) override {
        return unsupportedDriverOperation();
    }
    bool loadMeshes(ovObjectList&, const std::string&, ovProgressNotifierInterface*,
                    const LoadMeshOptions&) override {
        return unsupportedDriverOperation();
    }
    bool saveMeshes(const ovObjectList&, ovIoDevice&, const std::string&, ovProgressNotifierInterface*,
                    const SaveMeshOptions&) override {
        return unsupportedDriverOperation();
    }
    bool saveMeshes(const ovObjectList&, const std::string&, ovProgressNotifierInterface*,
                    const SaveMeshOptions&) override {
        return unsupportedDriverOperation();
    }
};

// A factory that records the schema paths it is offered and accepts those
// listed as loadable.
struct RecordingStepFactory {
    std::vector<std::string> loadable;
    std::vector<std::string> offered;

    StepDriverFactory factory() {
        return [this](const std::string& schemaPath) -> std::unique_ptr<ovCoreMeshDriver> {
            offered.push_back(schemaPath);
            if (std::find(loadable.begin(), loadable.end(), schemaPath) == loadable.end()) {
                return nullptr;
            }
            return std::make_unique<FakeStepDriver>();
        };
    }
};

std::string makeResourceFolder(const test::TempDir& dir, const std::string& name, bool withSchema) {
    const std::filesystem::path folder = dir.path() / name;
    std::filesystem::create_directories(folder / "step");
    if (withSchema) {
        test::writeFile(folder.string() + kSchemaSubPath, "SCHEMA x; END_SCHEMA;\n");
    }
    return folder.string();
}

// Each test leaves the library terminated, as it found it.
class LifecycleTest : public ::testing::Test {
protected:
    void TearDown() override {
        while (!getOvMeshDriverList().empty()) {
            terminateOvMeshDrivers();
        }
    }

    std::vector<std::string> stepLogLines() const {
        std::vector<std::string> lines;
        for (const std::string& text : log.texts(ovLogWarning)) {
            if (text.starts_with("Fail to init step support")) {
                lines.push_back(text);
            }
        }
        return lines;
    }

    test::LogCapture log;
    test::TempDir dir;
};

TEST_F(LifecycleTest, RegistersTheDriversInCreationOrder) {
    initializeOvMeshDrivers(dir.path().string());

    const std::vector<ovCoreMeshDriver*>& drivers = getOvMeshDriverList();
    ASSERT_FALSE(drivers.empty());
    EXPECT_EQ(ovIoManager::msInstance.getDrivers(), drivers);
    ptrdiff_t previousKind = -1;
    for (const ovCoreMeshDriver* driver : drivers) {
        const ptrdiff_t kind = kindIndex(*driver);
        ASSERT_NE(kind, -1) << "a driver with unexpected extensions";
        EXPECT_GT(kind, previousKind) << "drivers out of order";
        EXPECT_EQ(driver->isDeviceCapable(), kCreationOrder[static_cast<size_t>(kind)].deviceCapable);
        previousKind = kind;
    }
    EXPECT_NE(ovIoManager::msInstance.findSaveDriver("stl"), nullptr);
}

TEST_F(LifecycleTest, NestedInitialisationIsCountedAndOnlyTheLastTerminationUnregisters) {
    initializeOvMeshDrivers(dir.path().string());
    const std::vector<ovCoreMeshDriver*> first = getOvMeshDriverList();
    log.clear();

    initializeOvMeshDrivers(dir.path().string());
    EXPECT_EQ(getOvMeshDriverList(), first) << "a second initialisation must create nothing";
    EXPECT_EQ(ovIoManager::msInstance.getDrivers(), first) << "nor register anything";
    EXPECT_TRUE(stepLogLines().empty()) << "nor search the folders again";

    terminateOvMeshDrivers();
    EXPECT_EQ(ovIoManager::msInstance.getDrivers(), first);

    terminateOvMeshDrivers();
    EXPECT_TRUE(getOvMeshDriverList().empty());
    EXPECT_EQ(ovIoManager::msInstance.getDriverCount(), 0u);
}

TEST_F(LifecycleTest, CanBeInitialisedAgainAfterTermination) {
    initializeOvMeshDrivers(dir.path().string());
    const size_t count = getOvMeshDriverList().size();
    terminateOvMeshDrivers();

    initializeOvMeshDrivers(dir.path().string());
    EXPECT_EQ(getOvMeshDriverList().size(), count);
    EXPECT_EQ(ovIoManager::msInstance.getDrivers(), getOvMeshDriverList());
}

TEST_F(LifecycleTest, WithoutStepSupportTheFoldersAreLoggedInOrder) {
    const std::string a = makeResourceFolder(dir, "a", false);
    const std::string b = makeResourceFolder(dir, "b", false);

    initializeOvMeshDrivers(a);
    terminateOvMeshDrivers();
    initializeOvMeshDrivers(std::vector<std::string>{a, b});
    terminateOvMeshDrivers();
    initializeOvMeshDrivers(std::vector<std::string>{});

    const std::vector<std::string> expected = {
        "Fail to init step support from \"" + a + "\"",
        "Fail to init step support from \"" + a + "\",\"" + b + "\"",
        "Fail to init step support from \"\"",
    };
    EXPECT_EQ(stepLogLines(), expected);
    for (const ovLogLine& line : log.lines()) {
        if (line.text.starts_with("Fail to init")) {
            EXPECT_TRUE(line.category.empty());
            EXPECT_TRUE(line.context.empty());
        }
    }
}

TEST_F(LifecycleTest, FolderTextsAreLoggedAsGiven) {
    initializeOvMeshDrivers(std::vector<std::string>{"C:\\res\\", "/opt/res/", ""});
    EXPECT_EQ(stepLogLines(),
              std::vector<std::string>{"Fail to init step support from \"C:\\res\\\",\"/opt/res/\",\"\""});
}

TEST_F(LifecycleTest, StepDriverComesFromTheFirstFolderWhoseSchemaLoads) {
    const std::string empty = makeResourceFolder(dir, "empty", false);
    const std::string broken = makeResourceFolder(dir, "broken", true);
    const std::string good = makeResourceFolder(dir, "good", true);
    const std::string later = makeResourceFolder(dir, "later", true);
    RecordingStepFactory step;
    step.loadable = {good + kSchemaSubPath, later + kSchemaSubPath};

    initializeOvMeshDriversWith({empty, broken, good, later}, step.factory());

    // Folders without the file are not offered; a schema that does not load
    // moves the search on; the search stops at the first driver made.
    EXPECT_EQ(step.offered, (std::vector<std::string>{broken + kSchemaSubPath, good + kSchemaSubPath}));
    EXPECT_TRUE(stepLogLines().empty());
    const std::vector<ovCoreMeshDriver*>& drivers = getOvMeshDriverList();
    ASSERT_FALSE(drivers.empty());
    EXPECT_NE(dynamic_cast<FakeStepDriver*>(drivers.back()), nullptr) << "the STEP driver comes last";
    EXPECT_EQ(ovIoManager::msInstance.getDrivers(), drivers);
    EXPECT_EQ(ovIoManager::msInstance.findSaveDriver("step"), drivers.back());
}

TEST_F(LifecycleTest, StepDriverAddsExactlyOneDriver) {
    initializeOvMeshDriversWith({makeResourceFolder(dir, "none", false)}, RecordingStepFactory{}.factory());
    const size_t withoutStep = getOvMeshDriverList().size();
    terminateOvMeshDrivers();

    const std::string folder = makeResourceFolder(dir, "with", true);
    RecordingStepFactory step;
    step.loadable = {folder + kSchemaSubPath};
    initializeOvMeshDriversWith({folder}, step.factory());
    EXPECT_EQ(getOvMeshDriverList().size(), withoutStep + 1);
}

TEST_F(LifecycleTest, TrailingSeparatorGivesTwoSlashesInTheSchemaPath) {
    const std::string folder = makeResourceFolder(dir, "res", true) + "/";
    RecordingStepFactory step;
    step.loadable = {folder + kSchemaSubPath};

    initializeOvMeshDriversWith({folder}, step.factory());

    ASSERT_EQ(step.offered.size(), 1u);
    EXPECT_TRUE(step.offered[0].ends_with("res//step/ap242_1_36_mim_lf.exp")) << step.offered[0];
    EXPECT_TRUE(stepLogLines().empty());
}

TEST_F(LifecycleTest, SchemaThatDoesNotLoadAnywhereIsLogged) {
    const std::string folder = makeResourceFolder(dir, "res", true);
    RecordingStepFactory step;

    initializeOvMeshDriversWith({folder}, step.factory());

    EXPECT_EQ(step.offered.size(), 1u);
    EXPECT_EQ(stepLogLines(), std::vector<std::string>{"Fail to init step support from \"" + folder + "\""});
}

TEST_F(LifecycleTest, EveryDriverAnswersFalseInTheDirectionsItDoesNotSupport) {
    initializeOvMeshDrivers(dir.path().string());
    const std::string path = dir.file("scene.any");
    ovObjectList objects;
    ovIoDeviceMemory device;

    for (ovCoreMeshDriver* driver : getOvMeshDriverList()) {
        if (driver->getLoadExtensions().empty()) {
            EXPECT_FALSE(driver->loadMeshes(objects, device, path, nullptr, {}));
            EXPECT_FALSE(driver->loadMeshes(objects, path, nullptr, {}));
            EXPECT_TRUE(objects.empty());
        }
        if (driver->getSaveExtensions().empty()) {
            EXPECT_FALSE(driver->saveMeshes(objects, device, path, nullptr, {}));
            EXPECT_FALSE(driver->saveMeshes(objects, path, nullptr, {}));
        }
        if (!driver->isDeviceCapable()) {
            EXPECT_FALSE(driver->saveMeshes(objects, device, path, nullptr, {}));
        }
    }
    EXPECT_TRUE(device.data().empty());
    EXPECT_FALSE(std::filesystem::exists(path));
}

// Records how the common path overload calls the device form.
class RecordingDeviceDriver : public FakeStepDriver {
public:
    bool saveMeshes(const ovObjectList& objects, ovIoDevice& device, const std::string& path,
                    ovProgressNotifierInterface*, const SaveMeshOptions& options) override {
        ++calls;
        receivedPath = path;
        receivedObjects = objects.size();
        receivedFileName = options.fileName;
        device.write("written", 7);
        return answer;
    }
    bool saveMeshes(const ovObjectList& objects, const std::string& path,
                    ovProgressNotifierInterface* progress, const SaveMeshOptions& options) override {
        return saveToFileThroughDevice(*this, objects, path, progress, options);
    }

    bool answer = true;
    int calls = 0;
    std::string receivedPath;
    size_t receivedObjects = 0;
    std::string receivedFileName;
};

TEST(DriverSupportTest, PathOverloadHandsTheOpenFileAndTheExtensionToTheDeviceForm) {
    test::TempDir dir;
    RecordingDeviceDriver driver;
    const ovObjectList objects(2);
    SaveMeshOptions options;
    options.fileName = "name";

    EXPECT_TRUE(driver.saveMeshes(objects, dir.file("Model.Part.STL"), nullptr, options));
    EXPECT_EQ(driver.receivedPath, "stl");
    EXPECT_EQ(driver.receivedObjects, 2u);
    EXPECT_EQ(driver.receivedFileName, "name");
    EXPECT_EQ(test::readFile(dir.file("Model.Part.STL")), "written") << "the file is closed, with its bytes";

    driver.answer = false;
    EXPECT_FALSE(driver.saveMeshes(objects, dir.file("noextension"), nullptr, options));
    EXPECT_EQ(driver.receivedPath, "");
}

TEST(DriverSupportTest, PathOverloadAnswersFalseWhenTheFileCannotBeOpened) {
    test::TempDir dir;
    RecordingDeviceDriver driver;
    EXPECT_FALSE(driver.saveMeshes({}, dir.file("missing-folder/model.stl"), nullptr, {}));
    EXPECT_FALSE(driver.saveMeshes({}, dir.path().string(), nullptr, {})) << "a folder is no file";
    EXPECT_EQ(driver.calls, 0);
}

TEST(DriverSupportTest, PathOverloadEmptiesAnExistingFile) {
    test::TempDir dir;
    test::writeFile(dir.file("old.stl"), std::string(1000, 'x'));
    RecordingDeviceDriver driver;
    EXPECT_TRUE(driver.saveMeshes({}, dir.file("old.stl"), nullptr, {}));
    EXPECT_EQ(test::readFile(dir.file("old.stl")), "written");
}

}  // namespace
}  // namespace ov
