#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "ovmesh/DrawingPage.h"
#include "ovmesh/ToolError.h"

namespace ov::test {
namespace {

using namespace ovmesh;

TEST(PageSizeTest, ReadsTwoPositiveWholeNumbers) {
    const PageSize a3 = parsePageSize("420X297").value();
    EXPECT_EQ(std::pair(a3.width, a3.height), std::pair(420, 297));
    for (const char* bad : {"", "210", "210x", "x297", "0x297", "210x0", "-210x297", "2.5x3", "axb",
                            "210x297x1", " 210x297", "99999999999x1"}) {
        EXPECT_FALSE(parsePageSize(bad)) << bad;
    }
}

TEST(ViewProjectionTest, EachViewShowsTheAxesWhereItLooksFrom) {
    const float r = 1 / std::sqrt(2.0f);
    const float u = 1 / std::sqrt(6.0f);
    // Page x and y of the unit vectors x, y and z. Side looks from +x; iso from (1, -1, 1).
    const std::vector<std::pair<std::string, std::vector<float>>> cases{{"top", {1, 0, 0, 1, 0, 0}},
                                                                        {"front", {1, 0, 0, 0, 0, 1}},
                                                                        {"side", {0, 0, 1, 0, 0, 1}},
                                                                        {"iso", {r, -u, r, u, 0, 2 * u}}};
    ASSERT_EQ(viewsByName().size(), cases.size());
    for (const auto& [name, seen] : cases) {
        const Projection m = viewProjection(viewsByName().at(name));
        const Wm4::Vector3f axes[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
        for (size_t i = 0; i < 3; ++i) {
            const ProjectedPoint p = project(m, axes[i]);
            EXPECT_NEAR(p.x, seen[2 * i], 1e-6f) << name << " axis " << i;
            EXPECT_NEAR(p.y, seen[2 * i + 1], 1e-6f) << name << " axis " << i;
        }
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
    const struct {
        ProjectedBounds bounds;
        PageMapping expected;
    } cases[] = {{boundsOf(-50, 0, 150, 100), {0.95, 57.5, 101}},            // u from 10 to 200
                 {boundsOf(3, -1000, 4, 1000), {0.1385, 104.51525, 148.5}},  // v from 10 to 287
                 {boundsOf(5, 7, 5, 7), {1, 100, 141.5}},                    // a point on the centre
                 {ProjectedBounds{}, {1, 105, 148.5}}};
    for (const auto& [bounds, expected] : cases) {
        const PageMapping mapping = fitToPage(bounds, {210, 297}, 10);
        EXPECT_NEAR(mapping.scale, expected.scale, 1e-9) << bounds.maxX;
        EXPECT_NEAR(mapping.offsetU, expected.offsetU, 1e-9) << bounds.maxX;
        EXPECT_NEAR(mapping.offsetV, expected.offsetV, 1e-9) << bounds.maxX;
    }
    // The message is checked where the tool reports it.
    EXPECT_NO_THROW(fitToPage(boundsOf(0, 0, 1, 1), {100, 50}, 24.9));
    EXPECT_THROW(fitToPage(boundsOf(0, 0, 1, 1), {100, 50}, 25), ToolError);
}

}  // namespace
}  // namespace ov::test
