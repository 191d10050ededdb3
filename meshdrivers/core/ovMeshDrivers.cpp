#include "core/ovMeshDrivers.h"

#include <memory>

#include "collada/ovColladaMeshDriver.h"
#include "core/DriverList.h"
#include "core/DriverLog.h"
#include "dxf/DxfDriver.h"
#include "gltf/GltfMeshDriver.h"
#include "obj/ObjMeshDriver.h"
#include "plmxml/ovPlmXmlMeshDriver.h"
#include "regexp/ovRegExp.h"
#include "scenegraph/ovIoManager.h"
#include "step/BrepMesher.h"
#include "step/StepLoadDriver.h"
#include "step/StepMeshDriver.h"
#include "stl/StlMeshDriver.h"
#include "svg/Mesh2SvgDriver.h"
#include "system/ovLibInitCounter.h"
#include "system/ovStringUtils.h"
#include "xml/ovXml.h"

namespace ov {
namespace {

LibInitCounter gInitCounter("mesh", true);
std::vector<ovCoreMeshDriver*> gDrivers;

using DriverFactory = std::unique_ptr<ovCoreMeshDriver> (*)();

template <typename Driver>
std::unique_ptr<ovCoreMeshDriver> makeDriver() {
    return std::make_unique<Driver>();
}

// Creation order is registration order, and the manager picks the first
// driver that announces an extension: COLLADA, STL, SVG, DXF, PLM XML. The
// STEP driver comes after them, and only when its schema loads; glTF, OBJ and
// the STEP reader, which came later, come next, so that the others keep their
// places, and the drivers of the components that are linked last of all.
constexpr DriverFactory kDriverFactories[] = {
    &makeDriver<ovColladaMeshDriver>, &makeDriver<StlMeshDriver>,      &makeDriver<Mesh2SvgDriver>,
    &makeDriver<DxfDriver>,           &makeDriver<ovPlmXmlMeshDriver>,
};

// A driver whose schema did not load is dropped at once.
std::unique_ptr<ovCoreMeshDriver> makeStepDriver(const std::string& schemaPath) {
    auto driver = std::make_unique<step::StepMeshDriver>(schemaPath);
    if (!driver->isSchemaValid()) {
        return nullptr;
    }
    return driver;
}

// The factories of the components loaded into the process, in the order they
// were added: each adds itself as its library is loaded, before any host
// code runs, and stays until the process ends.
std::vector<ovMeshDriverFactory>& componentFactories() {
    static std::vector<ovMeshDriverFactory> factories;
    return factories;
}

// The B-rep mesher's factory, when a component that has one is loaded.
ovBrepMesherFactory& brepMesherFactory() {
    static ovBrepMesherFactory factory = nullptr;
    return factory;
}

std::unique_ptr<step::BrepMesher> makeBrepMesher() {
    return brepMesherFactory() == nullptr ? nullptr : brepMesherFactory()();
}

void appendDriver(std::unique_ptr<ovCoreMeshDriver> driver) {
    gDrivers.push_back(driver.get());
    driver.release();
}

std::unique_ptr<ovCoreMeshDriver> findStepDriver(const std::vector<std::string>& resourceFolders,
                                                 const StepDriverFactory& makeStepDriverFrom) {
    for (const std::string& folder : resourceFolders) {
        const std::string schemaPath = stepSchemaPath(folder);
        if (!ovDirUtils::FileExistsUtf8(schemaPath)) {
            continue;
        }
        if (std::unique_ptr<ovCoreMeshDriver> driver = makeStepDriverFrom(schemaPath)) {
            return driver;
        }
    }
    return nullptr;
}

void logMissingStepSupport(const std::vector<std::string>& resourceFolders) {
    ovLogObject line = logLine(ovLogWarning);
    line << "Fail to init step support from \"";
    for (size_t i = 0; i < resourceFolders.size(); ++i) {
        if (i > 0) {
            line << "\",\"";
        }
        line << resourceFolders[i];
    }
    line << '"';
}

}  // namespace

const std::vector<ovCoreMeshDriver*>& getOvMeshDriverList() {
    return gDrivers;
}

void initializeOvMeshDriversWith(const std::vector<std::string>& resourceFolders,
                                 const StepDriverFactory& makeStepDriverFrom) {
    if (!gInitCounter.incrementInitCounter()) {
        return;
    }
    initializeRegExp();
    xml::initializeXmlLibrary();

    for (DriverFactory makeOne : kDriverFactories) {
        appendDriver(makeOne());
    }
    if (std::unique_ptr<ovCoreMeshDriver> stepDriver = findStepDriver(resourceFolders, makeStepDriverFrom)) {
        appendDriver(std::move(stepDriver));
    } else {
        logMissingStepSupport(resourceFolders);
    }
    appendDriver(makeDriver<GltfMeshDriver>());
    appendDriver(makeDriver<ObjMeshDriver>());
    appendDriver(std::make_unique<step::StepLoadDriver>(makeBrepMesher()));
    for (ovMeshDriverFactory makeOne : componentFactories()) {
        appendDriver(makeOne());
    }

    for (ovCoreMeshDriver* driver : gDrivers) {
        ovIoManager::msInstance.registerDriver(driver, true);
    }
}

bool addOvMeshDriverComponent(ovMeshDriverFactory makeDriver) {
    componentFactories().push_back(makeDriver);
    return true;
}

std::string stepSchemaPath(const std::string& resourceFolder) {
    return resourceFolder + "/step/ap242_1_36_mim_lf.exp";
}

bool setOvBrepMesherComponent(ovBrepMesherFactory makeMesher) {
    brepMesherFactory() = makeMesher;
    return true;
}

void initializeOvMeshDrivers(const std::vector<std::string>& resourceFolders) {
    initializeOvMeshDriversWith(resourceFolders, &makeStepDriver);
}

void initializeOvMeshDrivers(const std::string& resourceFolder) {
    initializeOvMeshDrivers(std::vector<std::string>{resourceFolder});
}

void terminateOvMeshDrivers() {
    if (!gInitCounter.decrementInitCounter()) {
        return;
    }
    for (ovCoreMeshDriver*& driver : gDrivers) {
        ovIoManager::msInstance.unregisterDriver(driver);
        delete driver;
        driver = nullptr;
    }
    std::vector<ovCoreMeshDriver*>().swap(gDrivers);

    xml::finalizeXmlLibrary();
    terminateRegExp();
}

}  // namespace ov
