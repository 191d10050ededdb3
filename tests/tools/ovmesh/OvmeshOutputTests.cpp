#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/DrawingPage.h"
#include "core/SceneCopy.h"
#include "obj/ObjMeshDriver.h"
#include "ovmesh/ToolError.h"
#include "ovmesh/commands/BatchCommand.h"
#include "ovmesh/commands/Commands.h"
#include "ovmesh/output/XmlText.h"
#include "scenegraph/ovGeometry.h"
#include "support/TestSupport.h"
#include "system/ovLog.h"
#include "tools/ovmesh/TestHelpers.h"

// What the tool itself makes of its work: the lines it prints, the names of a
// batch's outputs, a drawing of meshes (--edges) and the texts a drawing
// carries (--title).
namespace ov::test {
namespace {

using namespace ovmesh;
using testing::ThrowsMessage;

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

// Outputs of a batch never overwrite each other: a clash, the case of letters
// ignored, is numbered past the names other inputs have by themselves.
TEST(BatchPlanTest, NamesThatClashAreNumberedPastEveryNameAnInputWants) {
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
        const BatchPlan plan = planBatch({inputs, "out", "stl", 1}, {"obj", "plmxml"});
        std::vector<std::string> names;
        for (const BatchItem& item : plan.items) {
            names.push_back(std::filesystem::path(item.output).filename().string());
        }
        EXPECT_EQ(names, outputs);
        EXPECT_EQ(plan.renames.size(), renames);
    }
    // The warning names the output of the input that kept the name.
    EXPECT_THAT(planBatch({{"Part.obj", "part.obj"}, "out", "stl", 1}, {"obj"}).renames,
                testing::ElementsAre(testing::EndsWith("since 'Part.obj' is written as 'Part.stl'")));
}

// A scene of OBJ text, read as a host reads one.
ovPointer<ovNode> objScene(const std::string& text) {
    ObjMeshDriver driver;
    ovIoDeviceMemory device(text);
    ovObjectList objects;
    EXPECT_TRUE(driver.loadMeshes(objects, device, "box.obj", nullptr, {}));
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
        const ovLine& edges = child<ovLine>(child(static_cast<const ovNode&>(root), 0), 0);
        return edges.getIndexBuffer()->GetIndexQuantity() / 2;
    };
    const ovPointer<ovNode> drawing = copyScene(*cube, SceneContent::LinesAndMeshEdges, 30);
    EXPECT_EQ(segments(*drawing), 12);
    // 8 folds and 4 borders; folds of 90 degrees are no features above that angle, borders are.
    EXPECT_EQ(segments(*copyScene(*cube, SceneContent::LinesAndMeshEdges, 90)), 4);
    // From the top, the 4 upright edges are points and the top border covers the bottom square.
    EXPECT_EQ(dropHiddenAndRepeatedSegments(*drawing, viewProjection(View::Top)).dropped, 8u);
    EXPECT_EQ(segments(*drawing), 4);
    EXPECT_EQ(segments(*copyScene(*cube, SceneContent::LinesAndMeshEdges, 30)), 12)
        << "the scene's own buffers changed";
}

TEST(FeatureEdgesTest, ADrawingKeepsTheScenesUpAxisUpThePage) {
    const ovPointer<ovNode> mast = objScene("v 0 0 0\nv 0 2 0\nl 1 2\n");
    const auto strokes = [&mast](SceneUp up) {
        DrawingOptions drawing;
        drawing.view = View::Front;
        drawing.up = up;
        SaveMeshOptions options;
        const ovPointer<ovNode> page = makeDrawing(*mast, drawing, options);
        EXPECT_NE(options.drivers.find<DrawingSaveSettings>(), nullptr);
        return child<ovLine>(child(*page, 0), 0).getIndexBuffer()->GetIndexQuantity() / 2;
    };
    // Standing along y, the mast is a stroke up the page of a Y-up scene and a point seen from the front of a
    // Z-up one.
    EXPECT_EQ(strokes(SceneUp::Y), 1);
    EXPECT_EQ(strokes(SceneUp::Z), 0);
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

}  // namespace
}  // namespace ov::test
