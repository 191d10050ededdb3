// Real PLM XML exports through the tool: how they are read, and their STEP.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/TestSupport.h"
#include "tools/ovmesh/InProcessTool.h"

namespace ov::test {
namespace {

size_t countOf(const std::string& text, const std::string& pattern) {
    const std::regex expression(pattern);
    return static_cast<size_t>(std::distance(std::sregex_iterator(text.begin(), text.end(), expression), {}));
}

TEST(OvmeshPlmXmlOccurrences, ReadingsOfARealExportAndOtherXml) {
    OV_SHARED_DATA_OR_SKIP(sample, "plmxml/samples/krusty84_PLMXMLFile_v6_b.xml");
    TempDir work;
    writeFile(work.file("page.xml"), "<?xml version=\"1.0\"?>\n<!-- <PLMXML> -->\n<svg/>");
    const struct {
        std::vector<std::string> arguments;
        int code;
        size_t lines;
        std::string err;
    } runs[] = {
        {{"tree", "--plmxml", "occurrences", sample.string()}, 0, 6, ""},
        {{"tree", sample.string()},
         0,
         6,
         "warning: krusty84_PLMXMLFile_v6_b.xml: Not read as product definitions (fail to find root ); read "
         "as an "
         "occurrence tree\n"},
        {{"tree", work.file("page.xml")},
         1,
         0,
         "error: cannot read '" + work.file("page.xml") +
             "': its document element is <svg>, and only PLM XML (<PLMXML>) is read from .xml files\n"},
    };
    for (const auto& run : runs) {
        const ToolRun result = ovmesh(run.arguments);
        EXPECT_EQ(result.code, run.code) << run.arguments.back();
        EXPECT_EQ(countOf(result.out, "\n"), run.lines) << result.out;
        EXPECT_EQ(result.err, run.err);
    }
}

// One product per revision (the four bolts share one), one usage per
// occurrence under the root.
TEST(OvmeshPlmXmlOccurrences, ARealExportBecomesAStepAssemblyOfItsOccurrences) {
    OV_SHARED_DATA_OR_SKIP(sample, "plmxml/samples/krusty84_PLMXMLFile_v6_a.xml");
    TempDir work;
    const ToolRun result = ovmesh({"-q", "convert", sample.string(), work.file("out.stp")});
    ASSERT_EQ(result.code, 0) << result.err;
    const std::string step = readFile(work.file("out.stp"));
    EXPECT_EQ(countOf(step, "=NEXT_ASSEMBLY_USAGE_OCCURRENCE\\("), 27u);
    EXPECT_EQ(countOf(step, "=PRODUCT\\("), 25u);
    EXPECT_EQ(countOf(step, "=DOCUMENT_FILE\\("), 16u);
}

}  // namespace
}  // namespace ov::test
