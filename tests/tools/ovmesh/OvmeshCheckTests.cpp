// `ovmesh check` run as a user runs it: exit codes, findings by line, the
// summary, --schema and --max-findings.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "tools/ovmesh/TestHelpers.h"

namespace ov::test {
namespace {

using testing::HasSubstr;

constexpr const char* kCleanFile =
    "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('d'),'2;1');\nFILE_NAME('c.stp','t',('a'),('o'),'p','s','');\n"
    "FILE_SCHEMA(('AP242_MANAGED_MODEL_BASED_3D_ENGINEERING_MIM_LF'));\nENDSEC;\nDATA;\n"
    "#1=APPLICATION_CONTEXT('a');\n#2=CARTESIAN_POINT('',(0.,1.5,-2.E-03));\nENDSEC;\nEND-ISO-10303-21;\n";

class OvmeshCheckTest : public testing::Test {
protected:
    ToolRun ovmesh(const std::vector<std::string>& arguments) const {
        std::string command = OVMESH_EXECUTABLE;
        for (const std::string& argument : arguments) {
            command += " '" + argument + "'";
        }
        command += " >" + folder.file("out") + " 2>" + folder.file("err");
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(folder.file("out")),
                readFile(folder.file("err"))};
    }
    // The "N errors, M warnings" of the summary line.
    static std::string counts(const std::string& out) {
        std::smatch match;
        return std::regex_search(out, match, std::regex(R"(: (\d+ errors?, \d+ warnings?) in \d+ instances)"))
                   ? match[1].str()
                   : "no summary in " + out;
    }

    TempDir folder;
};

TEST_F(OvmeshCheckTest, FindingsGoOutByLineAndErrorsMakeTheExitCodeOne) {
    ASSERT_EQ(ovmesh({"-q", "demo", folder.file("demo")}).code, 0);
    const std::string demo = folder.file("demo/demo.stp");
    writeFile(folder.file("clean.stp"), kCleanFile);

    const ToolRun broken = ovmesh({"check", demo});
    EXPECT_EQ(broken.code, 1) << broken.err;
    EXPECT_THAT(broken.out,
                HasSubstr(demo + ":15: error: #7 APPLIED_ORGANIZATION_ASSIGNMENT.items: 0 elements"));
    EXPECT_THAT(broken.out, HasSubstr(" is not a value of BOOLEAN\n"));

    const ToolRun clean = ovmesh({"check", folder.file("clean.stp")});
    EXPECT_EQ(clean.code, 0) << clean.out << clean.err;
    EXPECT_EQ(counts(clean.out), "0 errors, 0 warnings");

    const ToolRun few = ovmesh({"check", demo, "--max-findings", "2"});
    EXPECT_EQ(few.code, 1);
    EXPECT_EQ(std::count(few.out.begin(), few.out.end(), '\n'), 4) << few.out;
    EXPECT_THAT(few.out, HasSubstr("more findings not shown)\n"));
    EXPECT_EQ(counts(few.out), counts(broken.out));

    const std::string full = (sharedDataDir() / "step/ap242_1_36_mim_lf.exp").string();
    if (std::filesystem::exists(full)) {
        const ToolRun fullSchema = ovmesh({"check", demo, "--schema", full});
        EXPECT_EQ(fullSchema.code, 1);
        EXPECT_EQ(counts(fullSchema.out), counts(broken.out));
    }

    const ToolRun missing = ovmesh({"check", folder.file("none.stp")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_THAT(missing.err, HasSubstr("error: cannot open "));
    EXPECT_EQ(ovmesh({"check", demo, "--schema", folder.file("none.exp")}).code, 2);
}

}  // namespace
}  // namespace ov::test
