#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/SceneWalk.h"
#include "core/ovVectorialMetadata.h"
#include "obj/ObjMeshDriver.h"
#include "ovmesh/ToolError.h"
#include "ovmesh/commands/BatchCommand.h"
#include "ovmesh/commands/Commands.h"
#include "ovmesh/commands/SceneIo.h"
#include "ovmesh/output/DrawingPage.h"
#include "ovmesh/output/ExternalParts.h"
#include "ovmesh/output/SceneVariants.h"
#include "ovmesh/output/XmlText.h"
#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovIoManager.h"
#include "scenegraph/ovMetadata.h"
#include "step/StepMeshDriver.h"
#include "support/RecordingDriver.h"
#include "support/TestSupport.h"
#include "system/ovLog.h"
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

// A scene of OBJ text, read as a host reads one.
ovPointer<ovNode> objScene(const std::string& text) {
    ObjMeshDriver driver;
    ovIoDeviceMemory device(text);
    ovObjectList objects;
    EXPECT_TRUE(driver.loadMeshes(objects, device, "model.obj", nullptr, {}));
    return ovPointer<ovNode>(dynamic_cast<ovNode*>(objects.at(0).get()));
}

TEST(FeatureEdgesTest, AnOpenBoxShowsItsFoldsAndBordersAndFourFromTheTop) {
    // A cube without its top face; each face has vertices of its own, for its normal.
    const ovPointer<ovNode> cube = objScene(
        "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
        "vn 0 0 -1\nvn 0 0 1\nvn 0 -1 0\nvn 0 1 0\nvn -1 0 0\nvn 1 0 0\n"
        "f 1//1 4//1 3//1 2//1\nf 1//3 2//3 6//3 5//3\n"
        "f 4//4 8//4 7//4 3//4\nf 1//5 5//5 8//5 4//5\nf 2//6 3//6 7//6 6//6\n");
    const auto segments = [](const ovSpatial& root) {
        return corners(child<ovLine>(child(static_cast<const ovNode&>(root), 0), 0)).size() / 2;
    };
    const ovPointer<ovNode> drawing = copyScene(*cube, SceneContent::LinesAndMeshEdges, 30);
    EXPECT_EQ(segments(*drawing), 12u);
    // 8 folds and 4 borders; folds of 90 degrees are no features above that angle, borders are.
    EXPECT_EQ(segments(*copyScene(*cube, SceneContent::LinesAndMeshEdges, 90)), 4u);
    // From the top, the 4 upright edges are points and the top border covers the bottom square.
    EXPECT_EQ(dropHiddenAndRepeatedSegments(*drawing, viewProjection(View::Top)).dropped, 8u);
    EXPECT_EQ(segments(*drawing), 4u);
    EXPECT_EQ(segments(*copyScene(*cube, SceneContent::LinesAndMeshEdges, 30)), 12u)
        << "the scene's own buffers changed";
}

// Escaping and control characters are checked through the tool's --title.
TEST(XmlTextTest, RefusesWhatXmlCannotHold) {
    EXPECT_THAT(
        [] { xmlElementText("\xEF\xBF\xBE", "--title"); },
        ThrowsMessage<ToolError>(
            "--title: the character U+FFFE cannot stand in an XML document (SVG title and description)"));
    EXPECT_THAT([] { xmlElementText("caf\xE9", "--title"); },
                ThrowsMessage<ToolError>("--title: the text is not UTF-8"));
}

// Outputs of a batch never overwrite each other: a clash, the case of letters
// ignored, is numbered past the names other inputs have by themselves.
TEST(OvmeshBatchPlan, NamesThatClashAreNumberedPastEveryNameAnInputWants) {
    const struct {
        std::vector<std::string> inputs;
        std::vector<std::string> outputs;
        size_t renames;
    } cases[] = {
        {{"a/part.obj", "b/part.obj", "part-2.obj"}, {"part.stl", "part-3.stl", "part-2.stl"}, 1},
        {{"Part.obj", "part.plmxml", "x.obj"}, {"Part.stl", "part-2.stl", "x.stl"}, 1},
        {{"a.obj", "a.obj", "a.obj"}, {"a.stl", "a-2.stl", "a-3.stl"}, 2},
    };
    for (const auto& [inputs, outputs, renames] : cases) {
        SCOPED_TRACE(testing::PrintToString(inputs));
        const ovmesh::BatchPlan plan = ovmesh::planBatch({inputs, "out", "stl", 1}, {"obj", "plmxml"});
        std::vector<std::string> names;
        for (const ovmesh::BatchItem& item : plan.items) {
            names.push_back(std::filesystem::path(item.output).filename().string());
        }
        EXPECT_EQ(names, outputs);
        EXPECT_EQ(plan.renames.size(), renames);
    }
    // The warning names the output of the input that kept the name.
    EXPECT_THAT(ovmesh::planBatch({{"Part.obj", "part.obj"}, "out", "stl", 1}, {"obj"}).renames,
                testing::ElementsAre(testing::EndsWith("since 'Part.obj' is written as 'Part.stl'")));
}

}  // namespace
}  // namespace ov::test
