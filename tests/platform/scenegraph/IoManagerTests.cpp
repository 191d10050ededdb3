#include <gtest/gtest.h>

#include "scenegraph/ovIoManager.h"
#include "support/RecordingDriver.h"
#include "support/TestSupport.h"

namespace ov {
namespace {

// Registers a driver with the process's manager while it lives.
struct Registered {
    Registered(ovCoreMeshDriver* registered, bool enabled) : driver(registered) {
        EXPECT_TRUE(ovIoManager::msInstance.registerDriver(driver, enabled));
    }
    ~Registered() { EXPECT_TRUE(ovIoManager::msInstance.unregisterDriver(driver)); }
    ovCoreMeshDriver* driver;
};

TEST(CoreMeshDriverTest, ExtensionsAreNormalisedAndJudgedByTheLastOne) {
    test::RecordingDriver driver(false, {"PlmXml"}, {"STP", ".step", "stp", "", "Step"});
    EXPECT_EQ(driver.getSaveExtensions(), (ovExtensionList{"stp", "step"}));
    EXPECT_EQ(driver.canLoad({nullptr, "a.PLMXML"}, {}), RequestAccepted);
    EXPECT_EQ(driver.canSave("C:\\data\\model.backup.STP", {}), RequestAccepted);
    for (const char* path : {"/data/model.stp.bak", "/data.stp/model", "stp", "/data/model.plmxml"}) {
        EXPECT_EQ(driver.canSave(path, {}), RequestRejected) << path;
    }
}

TEST(IoManagerTest, RequestsGoToTheFirstEnabledDriverThatAcceptsOrAreLogged) {
    test::RecordingDriver disabled(true, {"mesh"}, {"mesh"});
    test::RecordingDriver pathOnly(false, {}, {"mesh", "other"});
    test::RecordingDriver second(true, {"mesh"}, {"mesh"});
    ovIoManager& manager = ovIoManager::msInstance;
    {
        const Registered registered[] = {{&disabled, false}, {&pathOnly, true}, {&second, true}};
        EXPECT_FALSE(manager.registerDriver(&second, true)) << "registered once only";
        EXPECT_FALSE(manager.registerDriver(nullptr, true));
        EXPECT_EQ(manager.findSaveDriver(".MESH"), &pathOnly);
        EXPECT_EQ(manager.findLoadDriver("mesh"), &second);

        test::LogCapture log;
        test::TempDir dir;
        const std::string savedPath = dir.file("Scene.Mesh");
        ovObjectList objects;
        ovIoDeviceMemory device;
        EXPECT_TRUE(manager.saveMeshes(objects, savedPath, nullptr, {}));
        EXPECT_TRUE(manager.saveMeshes(objects, device, "MESH", nullptr, {}));
        EXPECT_TRUE(manager.loadMeshes(objects, "/in/scene.mesh", nullptr, {}));
        EXPECT_FALSE(manager.saveMeshes(objects, device, "other", nullptr, {})) << "only a path will do";
        EXPECT_FALSE(manager.saveMeshes(objects, dir.file("scene.XYZ"), nullptr, {}));
        EXPECT_FALSE(manager.loadMeshes(objects, "/in/noextension", nullptr, {}));
        EXPECT_EQ(pathOnly.requests, std::vector<std::string>{"save path " + savedPath + " 0"});
        EXPECT_EQ(second.requests,
                  (std::vector<std::string>{"save device mesh 0", "load path /in/scene.mesh"}));
        EXPECT_EQ(log.texts(ovLogError), (std::vector<std::string>{"No driver saves files of type 'other'",
                                                                   "No driver saves files of type 'xyz'",
                                                                   "No driver loads files of type ''"}));
    }
    EXPECT_EQ(manager.findLoadDriver("mesh"), nullptr) << "unregistered";
}

}  // namespace
}  // namespace ov
