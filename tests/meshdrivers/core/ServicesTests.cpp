#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "LineDrawingTestSupport.h"
#include "core/DrawingPage.h"
#include "core/PartFiles.h"
#include "core/SafeOutputFile.h"
#include "core/SceneCopy.h"
#include "core/TextureImages.h"
#include "gltf/GltfMeshDriver.h"
#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovIoManager.h"
#include "step/StepMeshDriver.h"
#include "stl/StlMeshDriver.h"
#include "support/TestSupport.h"
#include "tools/ovmesh/TestHelpers.h"

// The services around the drivers that a host shares with the tool: staged
// saving, part files, scene copies and pages, and settings that travel with
// each save.
namespace ov::test {
namespace {

namespace fs = std::filesystem;

// A node holding one triangle, raised by lift.
ovPointer<ovNode> trianglePart(const std::string& name, float lift = 0) {
    ovPointer<ovNode> part = makeRoot(
        nullptr, {makeGeometry<ovTriMesh>({{1, 2, lift}, {4, 2, lift}, {1, 6, lift + 1}}, {0, 1, 2})});
    part->SetName(name);
    return part;
}

// Writes to a hidden file beside the target that keeps its extension and
// replaces the target only on commit (links and refusals: the tool's tests).
TEST(SafeOutputFileTest, ReplacesTheTargetOnlyOnCommit) {
    const TempDir folder;
    writeFile(folder.path() / "old.stl", "previous");
    for (const std::string expected : {"previous", "new"}) {
        {
            SafeOutputFile file(folder.file("old.stl"), TargetLinks::Replace);
            EXPECT_THAT(
                file.temporaryPath(),
                testing::AllOf(testing::StartsWith(folder.file(".old.stl.tmp-")), testing::EndsWith(".stl")));
            writeFile(file.temporaryPath(), "new");
            if (expected == "new") {
                file.commit();
            }
        }
        EXPECT_EQ(filesIn(folder.path()), std::vector<std::string>{"old.stl"});
        EXPECT_EQ(readFile(folder.path() / "old.stl"), expected);
    }
}

// A node holding only geometry becomes a reference to its part file (nodes
// of one definition share one); a node with child nodes as well keeps them
// and gets the reference as one more child. Names are cut to what file
// systems take and numbered apart whatever their case; STL parts are placed
// where the writer puts their files' origin. Unkept part files go again.
TEST(PartFilesTest, GeometryMovesToNumberedPartFilesThatTheAssemblyRefersTo) {
    StlMeshDriver stl;
    ovIoManager::msInstance.registerDriver(&stl, true);
    const TempDir dir;
    const ovPointer<ovInstanceDefId> bolt(new ovInstanceDefId);
    const ovPointer<ovNode> root(new ovNode), mixed = trianglePart("mixed", 5);
    mixed->attachChild(new ovNode);
    for (const char* name : {"a b", "bolt", "A_B"}) {
        const ovPointer<ovNode> part = trianglePart(name);
        part->setMetadata(new ovInstanceMetaData(name[0] == 'A' ? nullptr : bolt.get()));
        root->attachChild(part.get());
    }
    root->attachChild(mixed.get());
    root->attachChild(trianglePart(std::string(300, 'n')).get());
    std::vector<std::string> saved;
    std::optional<PartFiles> files(std::in_place);
    const ovPointer<ovSpatial> assembly = moveGeometryToPartFiles(
        *root, dir.file("out.stp"), "stl",
        [&saved](ovSpatial&, const std::string& path) {
            saved.push_back(path);
            writeFile(path, "part");
            return std::vector<std::string>{path};
        },
        *files, /*placeAtFileOrigin=*/true);
    ovIoManager::msInstance.unregisterDriver(&stl);
    EXPECT_EQ(saved, (std::vector<std::string>{dir.file("out-a_b.stl"), dir.file("out-A_B-2.stl"),
                                               dir.file("out-mixed.stl"),
                                               dir.file("out-" + std::string(239, 'n') + ".stl")}));
    EXPECT_EQ(child<ovXRefNode>(*root, 1).getUtf8FilePath(), "out-a_b.stl") << "one definition, one file";
    const auto& reference = child<ovXRefNode>(child(*root, 3), 2);
    EXPECT_EQ(reference.getUtf8FilePath(), "out-mixed.stl");
    EXPECT_EQ(reference.getLocalTransform().GetTranslate(), Wm4::Vector3f(1, 2, 5));
    EXPECT_EQ(firstGeometryHolder(*assembly), nullptr);
    files.reset();
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{});
}

// A copy keeps the nodes with their names, placements and metadata (but a
// page) and leaves the original as it was; a page given with the save comes
// before the root's (sizes and margins: the tool's tests).
TEST(SceneCopyTest, KeepsTheNodesAndPagesComeWithTheSave) {
    const ovPointer<ovNode> root(new ovNode), part = trianglePart("part");
    root->setMetadata(new ovVectorialMetadata);
    part->editLocalTransform(true).SetTranslate({1, 2, 3});
    part->setMetadata(new ovInstanceMetaData(nullptr));
    root->attachChild(part.get());
    const ovPointer<ovNode> copy = copyScene(*root, SceneContent::Lines);
    EXPECT_EQ(copy->findMetadata(ovVectorialMetadata::MetadataTypeId), nullptr);
    EXPECT_EQ(child(*copy, 0).getLocalTransform(), part->getLocalTransform());
    EXPECT_EQ(child(*copy, 0).getMetadata(0), part->getMetadata(0));
    EXPECT_EQ(child(*copy, 0).getNbChildren() + 1, part->getNbChildren()) << "the original changed";

    SaveMeshOptions options;
    DrawingSaveSettings page;
    page.page = new ovVectorialMetadata;
    options.drivers.set(page);
    EXPECT_EQ(drawingPage(*root, options), page.page.get());
    EXPECT_EQ(drawingPage(*root, {}), root->findMetadata<ovVectorialMetadata>());
}

// Two threads save at once through one driver each, with settings of their
// own, and get what a save alone with those settings writes.
TEST(SaveSettingsTest, SavesSideBySideKeepTheirOwnSettings) {
    const FixedClock clock;
    const TempDir dir;
    GltfMeshDriver gltf;
    step::StepMeshDriver step((resourcesDir() / "step" / "ap242_1_36_mim_lf.exp").string());
    const auto saveBoth = [&](int thread, int round) {
        SaveMeshOptions options;
        GltfSaveSettings up;
        up.upAxis = thread == 0 ? GltfSaveSettings::UpAxis::Y : GltfSaveSettings::UpAxis::Z;
        options.drivers.set(up);
        step::StepSaveSettings form;
        form.profile = step::StepProfile::Interop;
        form.geometry = thread == 0 ? step::StepGeometry::Faceted : step::StepGeometry::Tessellated;
        options.drivers.set(form);
        std::vector<std::string> companions;
        options.companionFiles = &companions;
        const fs::path folder = dir.path() / (std::to_string(thread) + "-" + std::to_string(round));
        fs::create_directory(folder);
        const ovPointer<ovNode> scene = trianglePart("part");
        ovIoDeviceMemory device;
        const bool saved = gltf.saveMeshes({scene}, (folder / "a.gltf").string(), nullptr, options) &&
                           step.saveMeshes({scene}, device, "", nullptr, options);
        const bool listed = companions == std::vector<std::string>{(folder / "a-buffer.bin").string()};
        return saved && listed ? readFile(folder / "a.gltf") + device.data() : "failed";
    };
    const std::string alone[] = {saveBoth(0, 0), saveBoth(1, 0)};
    EXPECT_NE(alone[0], alone[1]);
    std::vector<std::string> together[2];
    std::thread threads[2];
    for (int t = 0; t < 2; ++t) {
        threads[t] = std::thread([&, t] {
            for (int round = 1; round <= 20; ++round) {
                together[t].push_back(saveBoth(t, round));
            }
        });
    }
    for (int t = 0; t < 2; ++t) {
        threads[t].join();
        EXPECT_EQ(together[t], std::vector<std::string>(20, alone[t]));
    }
}

// TGA and BMP files keep their rows the right way up and their channels in
// order; a size beyond the budget is refused from the header alone.
TEST(TextureImagesTest, TgaAndBmpFilesDecodeWithinTheBudget) {
    // 1 x 2 pixels, stored bottom row first as blue, green, red: red at the
    // bottom, blue at the top.
    const std::string tga("\0\0\2\0\0\0\0\0\0\0\0\0\1\0\2\0\x18\0\0\0\xFF\xFF\0\0", 24);
    std::string bmp("BM\x3E\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\1\0\0\0\2\0\0\0\1\0\x18\0", 30);
    bmp += std::string(24, '\0') + std::string("\0\0\xFF\0\xFF\0\0\0", 8);
    for (const std::string& file : {tga, bmp}) {
        PixelBudget budget;
        const LoadedImage loaded = decodeTextureImage(file, "file", budget);
        ASSERT_TRUE(loaded.image) << loaded.failure;
        const uint8_t* pixels = loaded.image->getData();
        EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + loaded.image->getDataSize()),
                  (std::vector<uint8_t>{0, 0, 255, 255, 0, 0}));
        PixelBudget one(1);
        EXPECT_THAT(decodeTextureImage(file, "file", one).failure,
                    ::testing::HasSubstr("2^0 pixels together"));
    }
    PixelBudget budget;
    const std::string huge = tga.substr(0, 12) + std::string("\x30\x75\x30\x75\x18\0", 6);
    EXPECT_EQ(decodeTextureImage(huge, "file", budget).failure, "the image is larger than 2^28 pixels");
    EXPECT_EQ(decodeTextureImage("GIF89a", "'a.gif'", budget).failure,
              "'a.gif' is not a PNG, JPEG, TGA or BMP file");
}

}  // namespace
}  // namespace ov::test
