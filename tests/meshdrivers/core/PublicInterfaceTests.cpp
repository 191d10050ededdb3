// Built against the public headers and the shared library only, as a host is:
// everything used here must be exported.

#include <gtest/gtest.h>

#include <cstdlib>
#include <numeric>
#include <regex>
#include <sstream>

#include "core/Version.h"
#include "core/ovMeshDrivers.h"
#include "core/ovVectorialMetadata.h"
#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovIoManager.h"
#include "support/TestSupport.h"

namespace ov {
namespace {

TEST(PublicInterfaceTest, HostSavesThroughTheManagerBetweenInitialiseAndTerminate) {
    test::LogCapture log;
    test::TempDir dir;
    ovPointer<ovNode> root(new ovNode);
    auto* indices = new ovIndexBuffer(3);
    std::iota(indices->getData(), indices->getData() + 3, 0);
    root->attachChild(new ovTriMesh(new ovVertexBuffer(ovAttributes(), 3), indices));
    // The page is found by its type id, and takes no name.
    auto* page = new ovVectorialMetadata;
    root->setMetadata(page);
    EXPECT_EQ(root->findMetadata(11), page);
    EXPECT_EQ(page->GetObjectByID(page->GetID()), page);
    page->SetName("Sheet 1");
    EXPECT_EQ(&page->GetName(), &ovRttiInterface::sEmptyString);
    const ovObjectList scene{ovPointer<ovObject>(root)};

    initializeOvMeshDrivers(dir.path().string());
    EXPECT_TRUE(ovIoManager::msInstance.saveMeshes(scene, dir.file("Part.STL"), nullptr, {}));
    EXPECT_FALSE(ovIoManager::msInstance.saveMeshes(scene, dir.file("no/such/folder/part.stl"), nullptr, {}));
    terminateOvMeshDrivers();
    EXPECT_EQ(ovIoManager::msInstance.findSaveDriver("stl"), nullptr);

    EXPECT_EQ(test::readFile(dir.file("Part.STL")).size(), 84u + 50u);
}

// Hosts compare these against the release they were built for.
TEST(PublicInterfaceTest, VersionNamesTheRelease) {
    using V = ovMeshDrivers::Version;
    std::ostringstream numbers;
    numbers << V::GetMajor() << '.' << V::GetMinor() << '.' << V::GetRelease() << '.' << V::GetRevision()
            << ' ' << V::GetCommitId() << ' ' << V::GetYear() << '-' << int{V::GetMonth()};
    EXPECT_EQ(numbers.str(), "3.0.0.1559 3a56870edff467bd 2026-6");
    EXPECT_STREQ(V::GetDescStringMajorMinor(), "3.0");
    EXPECT_STREQ(V::GetDescStringMajorMinorRelease(), "3.0.0");
    EXPECT_STREQ(V::GetDescStringMajorMinorReleaseRevision(), "3.0.0.1559");
    EXPECT_STREQ(V::GetDescStringMajorMinorReleaseRevisionDate(), "3.0.0.1559 #3a56870edff467bd 2026-6");
    EXPECT_FALSE(V::IsDev() || V::IsBeta() || V::IsDebug());
}

TEST(PublicInterfaceTest, SharedLibraryExportsOnlyItsInterface) {
#if defined(_WIN32)
    GTEST_SKIP() << "the DLL's exports are read from its file by tests/windows/check_dll.py";
#endif
    const test::TempDir dir;
    const std::string listing = dir.file("exports");
    ASSERT_EQ(std::system(("nm -D --defined-only -C '" OV_MESHDRIVERS_LIBRARY "' >" + listing).c_str()), 0);
    // The entry points, the version, the vectorial metadata, the drivers and
    // their settings, what the readers of model files share with the
    // components, the services of saving (staged files, part files, scene
    // copies, drawings' pages) and the STEP building blocks, with their
    // members, virtual tables and type information.
    const std::regex interface(
        "^((vtable|typeinfo|typeinfo name|VTT|guard variable) for |(non-)?virtual thunk to )*"
        "(ov::((initialize|terminate)OvMeshDrivers|addOvMeshDriverComponent|setOvBrepMesherComponent|"
        "stepSchemaPath|sceneUpOfFormat)|ovMeshDrivers::Version|"
        "ov::(ovVectorialMetadata|ovColladaMeshDriver|StlMeshDriver|Mesh2SvgDriver|DxfDriver|"
        "ovPlmXmlMeshDriver|"
        "PlmXmlLoadSettings|step::StepMeshDriver|step::StepLoadDriver|step::StepLoadSettings|step::"
        "BrepMesher|GltfMeshDriver|ObjMeshDriver|"
        "ObjLoadSettings|ImportSettings|"
        "ReadError|Confinement|PixelBudget|openForReading|readWholeFile|readWholeDevice|locateNamedFile|"
        "percentDecoded|"
        "loadTextureImage|"
        "decodeTextureImage|detectEncoding|encodingName|utf16ToUtf8|decodedText|appendWindows1252|"
        "ColladaSaveSettings|GltfSaveSettings|DrawingSaveSettings|step::StepSaveSettings|"
        "ServiceError|SafeOutputFile|besideWrittenFile|removeTemporariesOf|requireWritableTarget|"
        "FileNameSet|fileNameKey|numberedFileName|PartFiles|moveGeometryToPartFiles|firstGeometryHolder|"
        "copyScene|meshOutline|dropHiddenAndRepeatedSegments|ProjectedBounds|viewProjection|viewsByName|"
        "makeDrawing|"
        "fitToPage|parsePageSize|makePageDescription|"
        "step::Part21Writer|step::Part21WriterUserData|step::Part21Checker|express::(ExpressSchema|"
        "EntityTemplate|Attribute)))"
        "([:(\\[]|$)");
    std::istringstream lines(test::readFile(listing));
    ASSERT_NE(lines.str().find("ov::initializeOvMeshDrivers("), std::string::npos) << lines.str();
    std::string address, kind, name, unexpected;
    while (lines >> address >> kind && std::getline(lines >> std::ws, name)) {
        // Vague-linkage instantiations of standard-library templates are the
        // toolchain's; the address sanitizer twins each exported global.
        const bool toolchain = (kind == "W" || kind == "V" || kind == "u") &&
                               (name.starts_with("std::") || name.find(" std::") != std::string::npos ||
                                name.find("__gnu_cxx::") != std::string::npos);
        if (!toolchain && !name.starts_with("__odr_asan.") && !std::regex_search(name, interface)) {
            unexpected += "\n  " + kind + " " + name;
        }
    }
    EXPECT_EQ(unexpected, "") << "unexpected exports";
}

}  // namespace
}  // namespace ov
