#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/SceneWalk.h"
#include "core/ovVectorialMetadata.h"
#include "ovmesh/ToolError.h"
#include "ovmesh/commands/Commands.h"
#include "ovmesh/commands/SceneIo.h"
#include "ovmesh/output/DrawingPage.h"
#include "ovmesh/output/ExternalParts.h"
#include "ovmesh/output/SceneVariants.h"
#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovIoManager.h"
#include "scenegraph/ovMetadata.h"
#include "step/StepMeshDriver.h"
#include "support/RecordingDriver.h"
#include "support/TestSupport.h"
#include "tools/ovmesh/TestHelpers.h"

// The way through the tool: the copy of a scene a format holds and what a
// drawing makes of the meshes, the safe save.
namespace ov::test {
namespace {

using namespace ovmesh;
namespace fs = std::filesystem;
using testing::ThrowsMessage;

TEST(SceneCopyTest, KeepsTheNodesWithTheirNamePlacementAndMetadataAndWhatTheFormatHolds) {
    // root (with a page description) -> [part (moved, named, with instance
    // metadata) -> [a mesh], reference]; which edges of a mesh a drawing shows: FeatureEdgesTest.
    const ovPointer<ovTriMesh> box(new ovTriMesh);
    const ovPointer<ovNode> root(new ovNode);
    const ovPointer<ovNode> part(new ovNode);
    const ovPointer<ovInstanceMetaData> instance(new ovInstanceMetaData(nullptr));
    const ovPointer<ovXRefNode> reference(new ovXRefNode);
    root->setMetadata(new ovVectorialMetadata);
    part->SetName("part");
    part->editLocalTransform(true).SetTranslate({1, 2, 3});
    part->setMetadata(instance.get());
    part->attachChild(box.get());
    reference->setUtf8FilePath("parts/bolt.stp");
    root->attachChild(part.get());
    root->attachChild(reference.get());

    const ovPointer<ovNode> copy = copyScene(*root, SceneContent::Lines);
    EXPECT_EQ(copy->findMetadata(ovVectorialMetadata::MetadataTypeId), nullptr);
    const ovNode& copiedPart = child(*copy, 0);
    EXPECT_EQ(copiedPart.GetName(), "part");
    EXPECT_EQ(copiedPart.getLocalTransform(), part->getLocalTransform());
    EXPECT_EQ(copiedPart.findMetadata(ovInstanceMetaData::MetadataTypeId), instance.get());
    EXPECT_EQ(copiedPart.getNbChildren(), 0);
    EXPECT_EQ(child<ovXRefNode>(*copy, 1).getUtf8FilePath(), "parts/bolt.stp");
    EXPECT_EQ(part->getChild(0), box.get()) << "the original changed";

    // A root that is no node is put in one.
    const ovPointer<ovLine> wire(new ovLine(new ovVertexBuffer(ovAttributes(), 2), new ovIndexBuffer(2)));
    wire->setColor({1, 0, 0, 1});
    wire->setWidth(2.0f);
    const ovPointer<ovNode> wrapped = copyScene(*wire, SceneContent::Lines);
    const auto& copied = child<ovLine>(*wrapped, 0);
    EXPECT_EQ(copied.getVertexBuffer(), wire->getVertexBuffer());
    EXPECT_EQ(copied.getColor(), Wm4::ColorRGBA(1, 0, 0, 1));
    EXPECT_EQ(copied.getWidth(), 2.0f);
}

TEST(PageSizeTest, ReadsTwoPositiveWholeNumbers) {
    const PageSize a3 = parsePageSize("420X297").value();
    EXPECT_EQ(std::pair(a3.width, a3.height), std::pair(420, 297));
    for (const char* bad : {"", "210", "210x", "x297", "0x297", "210x0", "-210x297", "2.5x3", "axb",
                            "210x297x1", " 210x297", "99999999999x1"}) {
        EXPECT_FALSE(parsePageSize(bad)) << bad;
    }
}

// Saving goes through a safe output file: a temporary file beside the target
// that replaces it only once everything is written.
class SceneIoTest : public testing::Test {
protected:
    SceneIoTest() { ovIoManager::msInstance.registerDriver(&driver, true); }
    ~SceneIoTest() override { ovIoManager::msInstance.unregisterDriver(&driver); }

    RecordingDriver driver{false, {}, {"pathfmt"}};
    TempDir folder;
    const ovPointer<ovNode> scene{new ovNode};
};

TEST_F(SceneIoTest, WritesAHiddenFileBesideTheTargetThatReplacesItOnlyOnSuccess) {
    writeFile(folder.path() / "old.pathfmt", "previous");
    EXPECT_EQ(saveScene(*scene, folder.file("old.pathfmt"), nullptr, {}).front().size, 4u);
    // Drivers are chosen by the extension, which the temporary name keeps.
    EXPECT_THAT(driver.requests,
                testing::ElementsAre(testing::MatchesRegex("save path " + folder.file(".old.pathfmt.tmp-") +
                                                           "[^/]+\\.pathfmt 1 old")));

    // A failed save leaves nothing behind and the old file as it was (a driver's failure: the
    // command tests).
    fs::create_directory(folder.path() / "folder.pathfmt");
    const std::pair<std::string, std::string> failures[] = {
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

// A node holding only geometry becomes a reference to its part file (nodes
// of one definition share one, as the demo shows); a node with child nodes as well keeps them and
// gets the reference as one more child, which is not an instance of its
// definition. The result saves as STEP; unkept part files are removed.
TEST(ExternalPartsTest, GeometryMovesToPartFilesThatTheAssemblyRefersTo) {
    const TempDir dir;
    const auto instanceNode = [](const std::string& name, ovInstanceDefId* definition) {
        ovPointer<ovNode> node(new ovNode);
        node->SetName(name);
        node->setMetadata(new ovInstanceMetaData(definition));
        node->attachChild(new ovTriMesh);
        return node;
    };
    const ovPointer<ovInstanceDefId> bolt(new ovInstanceDefId), frame(new ovInstanceDefId);
    const ovPointer<ovNode> root(new ovNode), mixed = instanceNode("mixed", frame.get());
    mixed->attachChild(new ovNode);
    root->attachChild(instanceNode("a b", bolt.get()).get());
    root->attachChild(mixed.get());
    // Names of any length are cut to file names that file systems take, each its own.
    const std::string longName(300, 'n');
    for (const char* end : {"1", "2"}) {
        root->attachChild(instanceNode(longName + end, new ovInstanceDefId).get());
    }
    std::vector<std::string> saved;
    std::optional<PartFiles> files(std::in_place);
    const ovPointer<ovSpatial> assembly = moveGeometryToPartFiles(
        *root, dir.file("out.stp"), "stl",
        [&saved](ovSpatial&, const std::string& path) {
            saved.push_back(path);
            writeFile(path, "part");
            writeFile(path + ".png", "image");
            return std::vector<std::string>{path, path + ".png"};
        },
        *files);
    EXPECT_EQ(saved, (std::vector<std::string>{dir.file("out-a_b.stl"), dir.file("out-mixed.stl"),
                                               dir.file("out-" + std::string(239, 'n') + ".stl"),
                                               dir.file("out-" + std::string(239, 'n') + "_2.stl")}));
    EXPECT_EQ(child<ovXRefNode>(*root, 0).getUtf8FilePath(), "out-a_b.stl");
    const auto& reference = child<ovXRefNode>(child(*root, 1), 2);
    EXPECT_EQ(reference.getUtf8FilePath(), "out-mixed.stl");
    EXPECT_EQ(reference.getNbMetadata(), 0);
    EXPECT_EQ(firstGeometryHolder(*assembly), nullptr);
    step::StepMeshDriver driver((resourcesDir() / "step" / "ap242_1_36_mim_lf.exp").string());
    ovIoDeviceMemory device;
    EXPECT_TRUE(driver.saveMeshes({assembly}, device, "", nullptr, SaveMeshOptions()));
    {
        PartFiles dropped;
        dropped.add(saved[0]);
    }
    EXPECT_FALSE(fs::exists(saved[0]));
    // Files written beside a part (a COLLADA part's images) go with it.
    files.reset();
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{});
}

}  // namespace
}  // namespace ov::test
