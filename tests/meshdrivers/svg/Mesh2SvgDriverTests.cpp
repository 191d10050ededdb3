#include <gtest/gtest.h>

#include <limits>

#include "../core/LineDrawingTestSupport.h"
#include "svg/Mesh2SvgDriver.h"

namespace ov::test {
namespace {

std::string svgFile(const std::string& groups) {
    return "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"210mm\" "
           "height=\"297mm\" viewBox=\"0 0 210 297\" >\n" +
           groups + "</svg>\n";
}

// The group of a line, with its paths given as their d texts.
std::string group(const std::vector<std::string>& paths, const std::string& stroke = "rgb(0,0,0)",
                  const std::string& width = "0.846667") {
    std::string text = "<g fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\" stroke=\"" +
                       stroke + "\" stroke-width=\"" + width + "\">\n";
    for (const std::string& path : paths) {
        text += "  <path d=\"" + path + "\"/>\n";
    }
    return text + "</g>\n";
}

}  // namespace

// Outside the anonymous namespace: its name is part of the test names.
struct SvgFormat {
    using Driver = Mesh2SvgDriver;
    static constexpr const char* kName = "Svg";
    static inline const std::vector<std::pair<bool, std::string>> kGoldens = {
        {true, "svg/sample.svg"}, {false, "svg/sample_single_line.svg"}};
    static inline const std::vector<std::string> kReaders = {"xmllint --noout",
                                                             "rsvg-convert -f pdf -o rendered.pdf"};
    // The page is looked for after the walk has opened the progress.
    static inline const std::vector<std::string> kProgressWithoutPage = {"group 2 0", "end"};

    // The page's y grows downward.
    static std::string file(const Segments& segments) {
        std::string groups;
        for (const auto& [u0, v0, u1, v1] : segments) {
            groups += group({"M" + std::to_string(u0) + "," + std::to_string(297 - v0) + " L" +
                             std::to_string(u1) + "," + std::to_string(297 - v1)});
        }
        return svgFile(groups);
    }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Svg, LineDrawingTest, SvgFormat);
using SvgTest = LineDrawingTest<SvgFormat>;

TEST_F(SvgTest, ASegmentContinuesThePathOnlyFromThePreviousEndIndex) {
    // Vertex 4 is where vertex 1 is.
    const std::vector<Wm4::Vector3f> points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {1, 0, 0}};
    const std::vector<std::pair<std::vector<int>, std::vector<std::string>>> cases = {
        {{0, 1, 1, 2, 2, 3}, {"M0,297 L1,297 L1,296 L0,296"}},
        {{0, 1, 2, 3}, {"M0,297 L1,297", "M1,296 L0,296"}},
        {{0, 1, 1, 0}, {"M0,297 L1,297 L0,297"}},
        {{0, 1, 2, 3, 3, 0}, {"M0,297 L1,297", "M1,296 L0,296 L0,297"}},
        {{0, 1, 4, 2}, {"M0,297 L1,297", "M1,297 L1,296"}},
    };
    for (const auto& [indices, paths] : cases) {
        EXPECT_EQ(drawLine(points, indices), svgFile(group(paths)));
    }
}

// In-range colours and widths are in the golden files. Out of range, a
// negative product wraps as a 32-bit unsigned number and one without an
// integer value (NaN) gives 0.
TEST_F(SvgTest, ColoursAreScaledAndTruncatedWithoutClampingAndWidthIsOverTheWidthScale) {
    ovPointer<ovLine> line = makeGeometry({{0, 0, 0}, {1, 0, 0}}, {0, 1});
    line->setColor({std::numeric_limits<float>::quiet_NaN(), 33554432, -16843008, 1});
    line->setWidth(-2);
    page->widthScale = 0.5f;
    EXPECT_EQ(save(makeRoot(page.get(), {line.get()}).get()),
              svgFile(group({"M0,297 L1,297"}, "rgb(0,4261412864,256)", "-4")));
}

}  // namespace ov::test
