// Built against the public headers and the shared library only, as a host is:
// everything used here must be exported.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/Version.h"
#include "core/ovMeshDrivers.h"
#include "core/ovVectorialMetadata.h"
#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovIoManager.h"
#include "stl/StlMeshDriver.h"
#include "support/TestSupport.h"

namespace ov {
namespace {

ovPointer<ovNode> oneTriangleScene() {
    ovPointer<ovNode> root(new ovNode);
    auto* vertices = new ovVertexBuffer(ovAttributes(), 3);
    vertices->Position3(0) = {0.0f, 0.0f, 0.0f};
    vertices->Position3(1) = {1.0f, 0.0f, 0.0f};
    vertices->Position3(2) = {0.0f, 1.0f, 0.0f};
    auto* indices = new ovIndexBuffer(3);
    int* corners = indices->getData();
    corners[0] = 0;
    corners[1] = 1;
    corners[2] = 2;
    root->attachChild(new ovTriMesh(vertices, indices));
    return root;
}

TEST(PublicInterfaceTest, HostSavesThroughTheManagerBetweenInitialiseAndTerminate) {
    test::LogCapture log;
    test::TempDir dir;
    initializeOvMeshDrivers(dir.path().string());
    ASSERT_NE(ovIoManager::msInstance.findSaveDriver("stl"), nullptr);

    const ovObjectList scene{ovPointer<ovObject>(oneTriangleScene())};
    EXPECT_TRUE(ovIoManager::msInstance.saveMeshes(scene, dir.file("part.stl"), nullptr, {}));
    const std::string file = test::readFile(dir.file("part.stl"));
    EXPECT_EQ(file.size(), 84u + 50u);
    EXPECT_EQ(file.substr(0, 36), "Stl binary file, Ombre Vian exporter");

    terminateOvMeshDrivers();
    EXPECT_EQ(ovIoManager::msInstance.findSaveDriver("stl"), nullptr);
}

TEST(PublicInterfaceTest, ExportedClassesAreUsableDirectly) {
    StlMeshDriver driver;
    EXPECT_EQ(driver.getSaveExtensions(), ovExtensionList{"stl"});
    ovIoDeviceMemory device;
    EXPECT_TRUE(driver.saveMeshes({ovPointer<ovObject>(oneTriangleScene())}, device, "stl", nullptr, {}));
    EXPECT_EQ(device.data().size(), 134u);

    ovPointer<ovVectorialMetadata> page(new ovVectorialMetadata);
    EXPECT_TRUE(page->IsDerived(ovVectorialMetadata::TYPE));
    EXPECT_EQ(page->pageWidth, 210);
    EXPECT_STREQ(ovMeshDrivers::Version::GetDescStringMajorMinorRelease(), "3.0.0");
}

// Names the library may export: the entry points, the version, the vectorial
// metadata, the drivers and the STEP building blocks, with their members,
// virtual tables and type information.
const std::vector<std::string> kExportedNames = {
    "ov::initializeOvMeshDrivers",
    "ov::terminateOvMeshDrivers",
    "ovMeshDrivers::Version",
    "ov::ovVectorialMetadata",
    "ov::ovColladaMeshDriver",
    "ov::StlMeshDriver",
    "ov::Mesh2SvgDriver",
    "ov::DxfDriver",
    "ov::ovPlmXmlMeshDriver",
    "ov::step::StepMeshDriver",
    "ov::express::ExpressSchema",
    "ov::express::EntityTemplate",
    "ov::express::Attribute",
    "ov::step::Part21Writer",
    "ov::step::Part21WriterUserData",
};

const std::vector<std::string> kCompilerPrefixes = {
    "vtable for ",       "typeinfo for ",         "typeinfo name for ",  "VTT for ",
    "virtual thunk to ", "non-virtual thunk to ", "guard variable for ",
};

bool isExportedName(std::string name) {
    for (const std::string& prefix : kCompilerPrefixes) {
        if (name.starts_with(prefix)) {
            name.erase(0, prefix.size());
        }
    }
    for (const std::string& exported : kExportedNames) {
        if (name.starts_with(exported)) {
            const char next = name.size() > exported.size() ? name[exported.size()] : '\0';
            if (next == '\0' || next == ':' || next == '(' || next == '[') {
                return true;
            }
        }
    }
    return false;
}

// Vague-linkage instantiations of standard-library templates (weak or unique
// symbols) are the toolchain's, not the library's interface.
bool isStandardLibraryInstantiation(char kind, const std::string& name) {
    const bool vague = kind == 'W' || kind == 'V' || kind == 'u';
    return vague && (name.starts_with("std::") || name.find(" std::") != std::string::npos);
}

TEST(PublicInterfaceTest, SharedLibraryExportsOnlyItsInterface) {
    const std::string command =
        std::string("nm -D --defined-only -C '") + OV_MESHDRIVERS_LIBRARY + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    std::string output;
    std::array<char, 65536> buffer;
    size_t read;
    while ((read = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) {
        output.append(buffer.data(), read);
    }
    std::vector<std::string> unexpected;
    int symbols = 0;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        // "<address> <kind> <name>"
        const size_t kindAt = line.find(' ');
        if (kindAt == std::string::npos || kindAt + 3 > line.size()) {
            continue;
        }
        const char kind = line[kindAt + 1];
        std::string name = line.substr(kindAt + 3);
        ++symbols;
        // The address sanitizer marks each exported global with a twin symbol.
        if (name.starts_with("__odr_asan.")) {
            continue;
        }
        if (!isExportedName(name) && !isStandardLibraryInstantiation(kind, name)) {
            unexpected.push_back(line);
        }
    }
    if (symbols == 0) {
        GTEST_SKIP() << "nm is not available";
    }
    std::string listing;
    for (const std::string& symbol : unexpected) {
        listing += "\n  " + symbol;
    }
    EXPECT_TRUE(unexpected.empty()) << "unexpected exports:" << listing;
}

}  // namespace
}  // namespace ov
