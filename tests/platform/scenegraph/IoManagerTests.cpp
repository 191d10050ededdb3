#include <gtest/gtest.h>

#include "scenegraph/ovIoManager.h"
#include "support/TestSupport.h"

namespace ov {
namespace {

// A driver that announces what it is told, records the requests that reach it
// and answers `result`.
class FakeDriver : public ovCoreMeshDriver {
public:
    FakeDriver(bool deviceCapable, const std::vector<std::string>& loads,
               const std::vector<std::string>& saves)
        : ovCoreMeshDriver(deviceCapable) {
        for (const std::string& extension : loads) {
            addLoadExtension(extension);
        }
        for (const std::string& extension : saves) {
            addSaveExtension(extension);
        }
    }

    bool loadMeshes(ovObjectList& /*objects*/, ovIoDevice& /*device*/, const std::string& path,
                    ovProgressNotifierInterface* /*progress*/, const LoadMeshOptions& /*options*/) override {
        return record("load device " + path);
    }
    bool loadMeshes(ovObjectList& /*objects*/, const std::string& path,
                    ovProgressNotifierInterface* /*progress*/, const LoadMeshOptions& /*options*/) override {
        return record("load path " + path);
    }
    bool saveMeshes(const ovObjectList& /*objects*/, ovIoDevice& /*device*/, const std::string& path,
                    ovProgressNotifierInterface* /*progress*/, const SaveMeshOptions& /*options*/) override {
        return record("save device " + path);
    }
    bool saveMeshes(const ovObjectList& /*objects*/, const std::string& path,
                    ovProgressNotifierInterface* /*progress*/, const SaveMeshOptions& /*options*/) override {
        return record("save path " + path);
    }

    std::vector<std::string> requests;
    bool result = true;

private:
    bool record(const std::string& request) {
        requests.push_back(request);
        return result;
    }
};

// Declines saving whenever the options' flag is set.
class PickyDriver : public FakeDriver {
public:
    using FakeDriver::FakeDriver;
    HandleRequestResult canSave(const std::string& path, const SaveMeshOptions& options) override {
        return options.optionFlag ? RequestRejected : FakeDriver::canSave(path, options);
    }
};

// Registers drivers with the process's manager and unregisters them again.
class Registrations {
public:
    void add(ovCoreMeshDriver* driver, bool enabled = true) {
        ASSERT_TRUE(ovIoManager::msInstance.registerDriver(driver, enabled));
        mDrivers.push_back(driver);
    }
    ~Registrations() {
        for (ovCoreMeshDriver* driver : mDrivers) {
            ovIoManager::msInstance.unregisterDriver(driver);
        }
    }

private:
    std::vector<ovCoreMeshDriver*> mDrivers;
};

ovIoManager& manager() {
    return ovIoManager::msInstance;
}

TEST(CoreMeshDriverTest, ExtensionsAreLowerCasedAndKeptOnceInOrder) {
    FakeDriver driver(true, {"PlmXml"}, {"STP", ".step", "stp", "", "Step"});
    EXPECT_EQ(driver.getSaveExtensions(), (ovExtensionList{"stp", "step"}));
    EXPECT_EQ(driver.getLoadExtensions(), (ovExtensionList{"plmxml"}));
    EXPECT_TRUE(driver.isDeviceCapable());
}

TEST(CoreMeshDriverTest, RequestsAreJudgedByTheFileNamesLastExtension) {
    FakeDriver driver(false, {"plmxml"}, {"stp"});
    const SaveMeshOptions save;
    EXPECT_EQ(driver.canSave("/data/Model.STP", save), RequestAccepted);
    EXPECT_EQ(driver.canSave("C:\\data\\model.backup.stp", save), RequestAccepted);
    EXPECT_EQ(driver.canSave("/data/model.stp.bak", save), RequestRejected);
    EXPECT_EQ(driver.canSave("/data.stp/model", save), RequestRejected);
    EXPECT_EQ(driver.canSave("stp", save), RequestRejected);
    EXPECT_EQ(driver.canSave("/data/model.plmxml", save), RequestRejected);

    const LoadMeshOptions load;
    EXPECT_EQ(driver.canLoad({nullptr, "a.PLMXML"}, load), RequestAccepted);
    EXPECT_EQ(driver.canLoad({nullptr, "a.stp"}, load), RequestRejected);
}

TEST(CoreMeshDriverTest, KeepsErrorMessagesInOrder) {
    FakeDriver driver(true, {}, {});
    driver.addErrorMessage("first", -1);
    driver.addErrorMessage("second", 3);
    const std::vector<std::pair<std::string, int>> expected{{"first", -1}, {"second", 3}};
    EXPECT_EQ(driver.getErrorMessages(), expected);
    driver.clearErrorMessages();
    EXPECT_TRUE(driver.getErrorMessages().empty());
}

TEST(TemplateManagerTest, RegistersOnceInOrder) {
    ovTemplateManager<ovCoreMeshDriver> drivers;
    FakeDriver a(true, {}, {"a"});
    FakeDriver b(true, {}, {"b"});
    EXPECT_TRUE(drivers.registerDriver(&b, true));
    EXPECT_TRUE(drivers.registerDriver(&a, false));
    EXPECT_FALSE(drivers.registerDriver(&b, false));
    EXPECT_FALSE(drivers.registerDriver(nullptr, true));
    EXPECT_EQ(drivers.getDrivers(), (std::vector<ovCoreMeshDriver*>{&b, &a}));

    EXPECT_TRUE(drivers.unregisterDriver(&b));
    EXPECT_FALSE(drivers.unregisterDriver(&b));
    EXPECT_EQ(drivers.getDrivers(), (std::vector<ovCoreMeshDriver*>{&a}));
    EXPECT_EQ(drivers.getDriverCount(), 1u);
}

TEST(IoManagerTest, FindsTheFirstEnabledDriverThatAccepts) {
    FakeDriver disabled(true, {"mesh"}, {"mesh"});
    FakeDriver first(true, {}, {"mesh", "other"});
    FakeDriver second(true, {"mesh"}, {"mesh"});
    Registrations registered;
    registered.add(&disabled, false);
    registered.add(&first);
    registered.add(&second);

    EXPECT_EQ(manager().findSaveDriver("mesh"), &first);
    EXPECT_EQ(manager().findSaveDriver(".MESH"), &first);
    EXPECT_EQ(manager().findSaveDriver("other"), &first);
    EXPECT_EQ(manager().findLoadDriver("mesh"), &second);
    EXPECT_EQ(manager().findSaveDriver("unknown"), nullptr);
    EXPECT_EQ(manager().findLoadDriver(""), nullptr);
}

TEST(IoManagerTest, SavesAndLoadsThroughTheChosenDriver) {
    FakeDriver saver(true, {}, {"mesh"});
    FakeDriver loader(true, {"mesh"}, {});
    Registrations registered;
    registered.add(&saver);
    registered.add(&loader);

    ovObjectList objects;
    EXPECT_TRUE(manager().saveMeshes(objects, "/out/Scene.Mesh", nullptr, {}));
    EXPECT_TRUE(manager().loadMeshes(objects, "/in/scene.mesh", nullptr, {}));
    ovIoDeviceMemory device;
    EXPECT_TRUE(manager().saveMeshes(objects, device, "MESH", nullptr, {}));
    EXPECT_EQ(saver.requests, (std::vector<std::string>{"save path /out/Scene.Mesh", "save device mesh"}));
    EXPECT_EQ(loader.requests, (std::vector<std::string>{"load path /in/scene.mesh"}));

    saver.result = false;
    EXPECT_FALSE(manager().saveMeshes(objects, "/out/scene.mesh", nullptr, {})) << "the driver's answer";
}

TEST(IoManagerTest, OptionsReachTheDriversJudgement) {
    PickyDriver picky(true, {}, {"mesh"});
    FakeDriver fallback(true, {}, {"mesh"});
    Registrations registered;
    registered.add(&picky);
    registered.add(&fallback);

    SaveMeshOptions flagged;
    flagged.optionFlag = true;
    ovObjectList objects;
    EXPECT_TRUE(manager().saveMeshes(objects, "scene.mesh", nullptr, flagged));
    EXPECT_TRUE(manager().saveMeshes(objects, "scene.mesh", nullptr, {}));
    EXPECT_EQ(picky.requests, std::vector<std::string>{"save path scene.mesh"});
    EXPECT_EQ(fallback.requests, std::vector<std::string>{"save path scene.mesh"});
}

TEST(IoManagerTest, DeviceSavesSkipDriversThatNeedAPath) {
    FakeDriver pathOnly(false, {}, {"mesh"});
    Registrations registered;
    registered.add(&pathOnly);
    test::LogCapture log;

    ovObjectList objects;
    ovIoDeviceMemory device;
    EXPECT_FALSE(manager().saveMeshes(objects, device, "mesh", nullptr, {}));
    EXPECT_TRUE(pathOnly.requests.empty());
    EXPECT_EQ(log.texts(ovLogError), std::vector<std::string>{"No driver saves files of type 'mesh'"});
}

TEST(IoManagerTest, UnknownExtensionsAreLoggedAndRefused) {
    FakeDriver driver(true, {"mesh"}, {"mesh"});
    Registrations registered;
    registered.add(&driver);
    test::LogCapture log;

    ovObjectList objects;
    EXPECT_FALSE(manager().saveMeshes(objects, "/out/scene.XYZ", nullptr, {}));
    EXPECT_FALSE(manager().loadMeshes(objects, "/in/scene.abc", nullptr, {}));
    EXPECT_FALSE(manager().loadMeshes(objects, "/in/noextension", nullptr, {}));
    EXPECT_TRUE(driver.requests.empty());
    EXPECT_EQ(log.texts(ovLogError), (std::vector<std::string>{"No driver saves files of type 'xyz'",
                                                               "No driver loads files of type 'abc'",
                                                               "No driver loads files of type ''"}));
}

TEST(IoManagerTest, UnregisteredDriversAreNoLongerFound) {
    FakeDriver driver(true, {}, {"mesh"});
    {
        Registrations registered;
        registered.add(&driver);
        EXPECT_EQ(manager().findSaveDriver("mesh"), &driver);
    }
    EXPECT_EQ(manager().findSaveDriver("mesh"), nullptr);
}

}  // namespace
}  // namespace ov
