#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ovmesh/commands/BatchCommand.h"

namespace ov::test {
namespace {

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
