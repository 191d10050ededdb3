// The STEP driver: whole files against goldens, the export frame, product
// structure and properties record by record, failures, and deep and wide
// trees. Every file a test saves is read back by Open CASCADE into an XCAF
// document whose assembly must match the scene.
#include <gtest/gtest.h>

#include "../core/LineDrawingTestSupport.h"
#include "StepTestSupport.h"

namespace ov::step {
namespace {

using Strings = std::vector<std::string>;

// The worked example: a root A with the part B moved by (10, 0, 0) and the
// external reference C (identity placement, file c.stp).
ovPointer<ovNode> exampleScene() {
    ovPointer<ovNode> b = namedNode("B");
    b->editLocalTransform(true).SetTranslate({10, 0, 0});
    return namedNode("A", {b.get(), externalReference("C", "c.stp").get()});
}

TEST_F(StepDriverTest, WorkedExampleIsWrittenAsItsGolden) {
    const std::string file = save(exampleScene().get());
    test::expectMatchesGolden("step/driver_example.stp", file);
    EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace ov::step
