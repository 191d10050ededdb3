#include <gtest/gtest.h>

#include <cmath>

#include "ovmesh/DrawingPage.h"
#include "ovmesh/ToolError.h"
#include "scenegraph/ovGeometry.h"

namespace ov::test {
namespace {

using namespace ovmesh;

constexpr float kTolerance = 1e-5f;

TEST(PageSizeTest, ReadsTwoPositiveWholeNumbers) {
    const auto a4 = parsePageSize("210x297");
    ASSERT_TRUE(a4);
    EXPECT_EQ(a4->width, 210);
    EXPECT_EQ(a4->height, 297);
    const auto a3 = parsePageSize("420X297");
    ASSERT_TRUE(a3);
    EXPECT_EQ(a3->width, 420);
    for (const char* bad : {"", "210", "210x", "x297", "0x297", "210x0", "-210x297", "2.5x3", "axb",
                            "210x297x1", " 210x297", "99999999999x1"}) {
        EXPECT_FALSE(parsePageSize(bad)) << bad;
    }
}

struct ViewCase {
    View view;
    float x;
    float y;
};

class ViewProjectionTest : public testing::TestWithParam<ViewCase> {};

TEST_P(ViewProjectionTest, PlacesAPointWhereTheViewSeesIt) {
    const ProjectedPoint p = project(viewProjection(GetParam().view), {1, 2, 3});
    EXPECT_NEAR(p.x, GetParam().x, kTolerance);
    EXPECT_NEAR(p.y, GetParam().y, kTolerance);
}

// Top: x right, y up. Front: x right, z up. Side (from +x): y right, z up.
// Iso from (1, -1, 1): x and y both to the right, z straight up.
INSTANTIATE_TEST_SUITE_P(Views, ViewProjectionTest,
                         testing::Values(ViewCase{View::Top, 1, 2}, ViewCase{View::Front, 1, 3},
                                         ViewCase{View::Side, 2, 3},
                                         ViewCase{View::Iso, 3 / std::sqrt(2.0f), 7 / std::sqrt(6.0f)}));

TEST(ViewProjectionTest, EveryViewIsARightHandedRotation) {
    for (const auto& [name, view] : viewsByName()) {
        const Projection m = viewProjection(view);
        const Wm4::Vector3f right{m[0], m[4], m[8]};
        const Wm4::Vector3f up{m[1], m[5], m[9]};
        const Wm4::Vector3f toViewer{m[2], m[6], m[10]};
        EXPECT_NEAR(right.Length(), 1.0f, kTolerance) << name;
        EXPECT_NEAR(up.Length(), 1.0f, kTolerance) << name;
        EXPECT_NEAR(right.Dot(up), 0.0f, kTolerance) << name;
        const Wm4::Vector3f cross = right.Cross(up);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_NEAR(cross[i], toViewer[i], kTolerance) << name;
        }
        EXPECT_EQ(m[15], 1.0f) << name;
        EXPECT_EQ(m[3] + m[7] + m[11] + m[12] + m[13], 0.0f) << name;
    }
}

TEST(ViewProjectionTest, IsoSeesTheViewingDirectionAsOnePoint) {
    const ProjectedPoint p = project(viewProjection(View::Iso), {1, -1, 1});
    EXPECT_NEAR(p.x, 0.0f, kTolerance);
    EXPECT_NEAR(p.y, 0.0f, kTolerance);
}

ProjectedBounds boundsOf(float minX, float minY, float maxX, float maxY) {
    ProjectedBounds bounds;
    bounds.include({minX, minY});
    bounds.include({maxX, maxY});
    return bounds;
}

struct PagePoint {
    double u;
    double v;
};

PagePoint mapped(const PageMapping& mapping, float x, float y) {
    return {mapping.scale * x + mapping.offsetU, mapping.scale * y + mapping.offsetV};
}

TEST(FitToPageTest, FillsThePageInsideTheMarginAndCentres) {
    const PageSize page{210, 297};
    const struct {
        ProjectedBounds bounds;
        bool widthLimits;
    } cases[] = {{boundsOf(-50, 0, 150, 100), true}, {boundsOf(3, -1000, 4, 1000), false}};
    for (const auto& [bounds, widthLimits] : cases) {
        const PageMapping mapping = fitToPage(bounds, page, 10);
        const PagePoint low = mapped(mapping, bounds.minX, bounds.minY);
        const PagePoint high = mapped(mapping, bounds.maxX, bounds.maxY);
        EXPECT_GE(low.u, 10 - 1e-9);
        EXPECT_GE(low.v, 10 - 1e-9);
        EXPECT_LE(high.u, 200 + 1e-9);
        EXPECT_LE(high.v, 287 + 1e-9);
        EXPECT_NEAR((low.u + high.u) / 2, 105, 1e-9);
        EXPECT_NEAR((low.v + high.v) / 2, 148.5, 1e-9);
        // The limiting side touches the margins.
        EXPECT_NEAR(widthLimits ? high.u - low.u : high.v - low.v, widthLimits ? 190 : 277, 1e-9);
    }
}

TEST(FitToPageTest, ADrawingWithoutExtentIsCentredAtScaleOne) {
    const PageMapping point = fitToPage(boundsOf(5, 7, 5, 7), {100, 50}, 10);
    EXPECT_EQ(point.scale, 1.0);
    EXPECT_DOUBLE_EQ(mapped(point, 5, 7).u, 50);
    EXPECT_DOUBLE_EQ(mapped(point, 5, 7).v, 25);
    const PageMapping nothing = fitToPage(ProjectedBounds{}, {100, 50}, 10);
    EXPECT_EQ(nothing.scale, 1.0);
    EXPECT_DOUBLE_EQ(nothing.offsetU, 50);
}

TEST(FitToPageTest, AMarginThatLeavesNoRoomIsRefused) {
    EXPECT_THROW(fitToPage(boundsOf(0, 0, 1, 1), {100, 50}, 25), ToolError);
    EXPECT_NO_THROW(fitToPage(boundsOf(0, 0, 1, 1), {100, 50}, 24.9));
}

// A square of side 2 centred on (10, 20, 5), drawn under a moved node.
ovPointer<ovNode> sceneWithSquare() {
    ovPointer<ovVertexBuffer> vertices(new ovVertexBuffer(ovAttributes(), 4));
    const Wm4::Vector3f corners[] = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
    for (int i = 0; i < 4; ++i) {
        vertices->Position3(i) = corners[i];
    }
    ovPointer<ovIndexBuffer> indices(new ovIndexBuffer(8));
    const int segments[] = {0, 1, 1, 2, 2, 3, 3, 0};
    std::copy(std::begin(segments), std::end(segments), indices->getData());
    ovPointer<ovNode> root(new ovNode);
    ovPointer<ovNode> moved(new ovNode);
    moved->editLocalTransform(true).SetTranslate({10, 20, 5});
    moved->attachChild(new ovLine(vertices.get(), indices.get()));
    root->attachChild(moved.get());
    return root;
}

TEST(PageDescriptionTest, FitsTheSceneLinesInWorldCoordinates) {
    const ovPointer<ovNode> scene = sceneWithSquare();
    const ProjectedBounds bounds = projectedLineBounds(*scene, viewProjection(View::Top));
    EXPECT_EQ(bounds.minX, 9.0f);
    EXPECT_EQ(bounds.maxY, 21.0f);

    DrawingOptions options;
    options.page = {100, 60};
    options.margin = 5;
    options.title = "Square";
    options.description = "A square";
    const ovPointer<ovVectorialMetadata> page = makePageDescription(*scene, options);
    EXPECT_EQ(page->pageWidth, 100);
    EXPECT_EQ(page->pageHeight, 60);
    EXPECT_EQ(page->title, "Square");
    EXPECT_EQ(page->description, "A square");
    EXPECT_EQ(page->pageMatrix[1], 0.0f);
    EXPECT_EQ(page->pageMatrix[2], 0.0f);
    EXPECT_FLOAT_EQ(page->pageMatrix[0], 25.0f);  // 50 mm of height for 2 units
    EXPECT_FLOAT_EQ(page->pageMatrix[3], 25.0f);
    // The corner (11, 21) lands on the upper margin, right of the centre.
    EXPECT_FLOAT_EQ(25.0f * 11 + page->pageOffset[0], 75.0f);
    EXPECT_FLOAT_EQ(25.0f * 21 + page->pageOffset[1], 55.0f);
}

TEST(PageDescriptionTest, WithoutFitTheOriginIsThePageCorner) {
    const ovPointer<ovNode> scene = sceneWithSquare();
    DrawingOptions options;
    options.fit = false;
    options.view = View::Front;
    const ovPointer<ovVectorialMetadata> page = makePageDescription(*scene, options);
    EXPECT_EQ(page->pageWidth, 210);
    EXPECT_EQ(page->pageHeight, 297);
    EXPECT_EQ(page->pageMatrix[0], 1.0f);
    EXPECT_EQ(page->pageMatrix[3], 1.0f);
    EXPECT_EQ(page->pageOffset[0], 0.0f);
    EXPECT_EQ(page->pageOffset[1], 0.0f);
    EXPECT_EQ(page->projection[9], 1.0f);  // z goes up the page
}

}  // namespace
}  // namespace ov::test
