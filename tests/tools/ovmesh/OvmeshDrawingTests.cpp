#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ovmesh/ToolError.h"
#include "ovmesh/input/ObjImport.h"
#include "ovmesh/output/DrawingPage.h"
#include "ovmesh/output/SceneVariants.h"
#include "ovmesh/output/XmlText.h"
#include "scenegraph/ovGeometry.h"
#include "tools/ovmesh/TestHelpers.h"

// What a drawing makes of meshes (--edges), and the texts it carries (--title).
namespace ov::test {
namespace {

using namespace ovmesh;
using testing::ThrowsMessage;

TEST(FeatureEdgesTest, AnOpenBoxShowsItsFoldsAndBordersAndFourFromTheTop) {
    // A cube without its top face; each face has vertices of its own, for its normal.
    const ObjImport cube = importObjText(
        "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
        "vn 0 0 -1\nvn 0 0 1\nvn 0 -1 0\nvn 0 1 0\nvn -1 0 0\nvn 1 0 0\n"
        "f 1//1 4//1 3//1 2//1\nf 1//3 2//3 6//3 5//3\n"
        "f 4//4 8//4 7//4 3//4\nf 1//5 5//5 8//5 4//5\nf 2//6 3//6 7//6 6//6\n",
        "box.obj", "/nonexistent");
    const auto segments = [](const ovSpatial& root) {
        const ovLine& edges = child<ovLine>(child(static_cast<const ovNode&>(root), 0), 0);
        return edges.getIndexBuffer()->GetIndexQuantity() / 2;
    };
    const ovPointer<ovNode> drawing = copyScene(*cube.root, SceneContent::LinesAndMeshEdges, 30);
    EXPECT_EQ(segments(*drawing), 12);
    // 8 folds and 4 borders; folds of 90 degrees are no features above that angle, borders are.
    EXPECT_EQ(segments(*copyScene(*cube.root, SceneContent::LinesAndMeshEdges, 90)), 4);
    // From the top, the 4 upright edges are points and the top border covers the bottom square.
    EXPECT_EQ(dropHiddenAndRepeatedSegments(*drawing, viewProjection(View::Top)).dropped, 8u);
    EXPECT_EQ(segments(*drawing), 4);
    EXPECT_EQ(segments(*copyScene(*cube.root, SceneContent::LinesAndMeshEdges, 30)), 12)
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

}  // namespace
}  // namespace ov::test
