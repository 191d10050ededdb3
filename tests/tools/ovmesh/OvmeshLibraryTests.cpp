#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/ovVectorialMetadata.h"
#include "ovmesh/ToolError.h"
#include "ovmesh/commands/Commands.h"
#include "ovmesh/commands/SceneIo.h"
#include "ovmesh/output/DrawingPage.h"
#include "ovmesh/output/ExternalParts.h"
#include "ovmesh/output/SceneVariants.h"
#include "scenegraph/ovIoManager.h"
#include "scenegraph/ovMetadata.h"
#include "step/StepMeshDriver.h"
#include "support/RecordingDriver.h"
#include "support/TestSupport.h"
#include "system/ovLog.h"
#include "tools/ovmesh/TestHelpers.h"

// The way through the tool: an OBJ file read into a scene, the copy of it a
// format holds, the page a drawing is laid out on, and the safe save.
namespace ov::test {
namespace {

using namespace ovmesh;
namespace fs = std::filesystem;

TEST(SceneCopyTest, KeepsTheNodesWithTheirNamePlacementAndMetadataAndWhatTheFormatHolds) {
    // root (with a page description) -> [part (moved, named, with instance
    // metadata) -> [a unit cube without its top face], reference]
    // Two triangles on each of 5 faces, and a degenerate one.
    const std::vector<int> triangles{0, 2, 3, 0, 3, 1, 0, 1, 5, 0, 5, 4, 2, 6, 7, 2, 7,
                                     3, 0, 4, 6, 0, 6, 2, 1, 3, 7, 1, 7, 5, 2, 2, 2};
    ovPointer<ovVertexBuffer> positions(new ovVertexBuffer(ovAttributes(), 8));
    for (int k = 0; k < 8; ++k) {  // corner k at x = bit 0, y = bit 1, z = bit 2 of k
        positions->Position3(k) = Wm4::Vector3f(float(k & 1), float((k >> 1) & 1), float((k >> 2) & 1));
    }
    ovPointer<ovIndexBuffer> faces(new ovIndexBuffer(static_cast<int>(triangles.size())));
    std::copy(triangles.begin(), triangles.end(), faces->getData());
    const ovPointer<ovTriMesh> box(new ovTriMesh(positions.get(), faces.get()));
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

    // A drawing shows a mesh by the edges where it folds or ends.
    const ovPointer<ovNode> drawing = copyScene(*root, SceneContent::LinesAndMeshEdges);
    const auto& outline = child<ovLine>(child(*drawing, 0), 0);
    EXPECT_EQ(outline.getVertexBuffer(), box->getVertexBuffer());
    // 8 folds and the 4 borders of the open top (which edges: FeatureEdgesTest).
    EXPECT_EQ(outline.getIndexBuffer()->GetIndexQuantity(), 24);

    // A root that is no node is put in one.
    const ovPointer<ovLine> wire = meshOutline(*box, {1, 0, 0, 1}, 2.0f);
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

ProjectedBounds boundsOf(float minX, float minY, float maxX, float maxY) {
    ProjectedBounds bounds;
    bounds.include({minX, minY});
    bounds.include({maxX, maxY});
    return bounds;
}

TEST(FitToPageTest, FillsThePageInsideTheMarginCentredOrKeepsScaleOneWithoutExtent) {
    // 190x277 mm of a 210x297 page lie inside margins of 10 mm.
    const std::pair<ProjectedBounds, std::vector<double>> cases[] = {
        {boundsOf(-50, 0, 150, 100), {0.95, 57.5, 101}},            // u from 10 to 200
        {boundsOf(3, -1000, 4, 1000), {0.1385, 104.51525, 148.5}},  // v from 10 to 287
        {boundsOf(5, 7, 5, 7), {1, 100, 141.5}},                    // a point on the centre
        {ProjectedBounds{}, {1, 105, 148.5}}};
    for (const auto& [bounds, expected] : cases) {
        const PageMapping mapping = fitToPage(bounds, {210, 297}, 10);
        EXPECT_THAT((std::vector{mapping.scale, mapping.offsetU, mapping.offsetV}),
                    testing::Pointwise(testing::DoubleNear(1e-9), expected));
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

    // A failed save leaves nothing behind and the old file as it was.
    driver.answer = false;
    fs::create_directory(folder.path() / "folder.pathfmt");
    const std::pair<std::string, std::string> failures[] = {
        {"old.pathfmt", "the pathfmt driver failed to save the scene"},
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

// What the library logs during a load or save is shown when it ends: errors
// that did not stop the work as warnings, those of work that failed as errors.
TEST(SessionTest, LibraryErrorsOfWorkThatSucceededShowAsWarnings) {
    std::ostringstream out, err;
    Session session({resourcesDir().string()}, out, err);
    // Work that logs an error, and then fails or not.
    const auto logging = [](const char* text, bool fails) {
        return [=](ovProgressNotifierInterface*) {
            ovLogObject(ovLogError, nullptr, ovLog::msInstance, nullptr, true) << text;
            return fails ? throw ToolError("failed") : 0;
        };
    };
    session.withProgress("writing a", logging("kept going", false));
    EXPECT_THROW(session.withProgress("writing b", logging("gave up", true)), ToolError);
    EXPECT_EQ(err.str(), "warning: kept going\nerror: gave up\n");
}

// A node holding only geometry becomes a reference to its part file (nodes
// of one definition share one); a node with child nodes as well keeps them and
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
    root->attachChild(instanceNode("c", bolt.get()).get());
    root->attachChild(mixed.get());
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
    EXPECT_EQ(saved, (std::vector<std::string>{dir.file("out-a_b.stl"), dir.file("out-mixed.stl")}));
    EXPECT_EQ(child<ovXRefNode>(*root, 1).getUtf8FilePath(), "out-a_b.stl");
    EXPECT_EQ(child<ovXRefNode>(*root, 1).GetName(), "c");
    const auto& reference = child<ovXRefNode>(child(*root, 2), 2);
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
