#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "../core/LineDrawingTestSupport.h"
#include "dxf/DxfDriver.h"

namespace ov::test {
namespace {

// A LINE entity from (u0, v0) to (u1, v1), given as their texts.
std::string lineEntity(const std::array<std::string, 4>& uv) {
    return "0\nLINE\n8\n0\n10\n" + uv[0] + "\n20\n" + uv[1] + "\n30\n0.0\n11\n" + uv[2] + "\n21\n" + uv[3] +
           "\n31\n0.0\n";
}

std::string dxfFile(const std::string& entities) {
    return "0\nCOMMENT\n1\nExporter : ovmesh-test 1.0\n0\nCOMMENT\n1\nDatetime : 2026-06-15T12:34:56Z\n"
           "0\nSECTION\n2\nENTITIES\n" +
           entities + "0\nENDSEC\n0\nEOF\n";
}

}  // namespace

// Outside the anonymous namespace: its name is part of the test names.
struct DxfFormat {
    using Driver = DxfDriver;
    static constexpr const char* kName = "Dxf";
    static inline const std::vector<std::pair<bool, std::string>> kGoldens = {{true, "dxf/sample.dxf"}};
    static inline const std::vector<std::string> kReaders = {"/usr/bin/python3 " OV_DXF_CHECK_SCRIPT};
    static inline const std::vector<std::string> kProgressWithoutPage = {};

    static std::string file(const Segments& segments) {
        std::string entities;
        for (const auto& [u0, v0, u1, v1] : segments) {
            entities +=
                lineEntity({std::to_string(u0), std::to_string(v0), std::to_string(u1), std::to_string(v1)});
        }
        return dxfFile(entities);
    }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Dxf, LineDrawingTest, DxfFormat);
using DxfTest = LineDrawingTest<DxfFormat>;

TEST_F(DxfTest, PointsAtWZeroAreWrittenAsInfiniteOrUndefined) {
    std::fill_n(page->projection, 16, 0.0f);
    page->projection[0] = page->projection[1] = 1;  // W = 0, X = Y = x / 0
    std::fill_n(page->pageMatrix, 4, 1.0f);
    // 0 / 0 may carry either sign; the stream writes the sign it has.
    EXPECT_EQ(std::regex_replace(drawLine({{1, 0, 0}, {-1, 0, 0}, {0, 0, 0}}, {0, 1, 2, 2}),
                                 std::regex("-nan"), "nan"),
              dxfFile(lineEntity({"inf", "inf", "-inf", "-inf"}) + lineEntity({"nan", "nan", "nan", "nan"})));
}

}  // namespace ov::test
