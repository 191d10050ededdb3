#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include "support/TestSupport.h"

namespace ov::test {
namespace {

namespace fs = std::filesystem;

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

int exitCodeOf(int status) {
#if defined(_WIN32)
    return status;
#else
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

struct ToolRun {
    int code;
    std::string out;
    std::string err;
};

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

const std::string kSteps = (testDataDir() / "obj" / "steps.obj").string();

// Runs the built tool; its output is captured apart from the folder under test.
class OvmeshCommandTest : public testing::Test {
protected:
    ToolRun ovmesh(const std::vector<std::string>& arguments) const {
        std::string command = shellQuoted(OVMESH_EXECUTABLE);
        for (const std::string& argument : arguments) {
            command += " " + shellQuoted(argument);
        }
        const fs::path out = captures.path() / "stdout";
        const fs::path err = captures.path() / "stderr";
        command += " >" + shellQuoted(out.string()) + " 2>" + shellQuoted(err.string()) + " </dev/null";
        const int status = std::system(command.c_str());
        return {exitCodeOf(status), readFile(out), readFile(err)};
    }

    // The first save extension of every registered driver, from "formats".
    std::vector<std::string> savedExtensions() const {
        const ToolRun formats = ovmesh({"formats"});
        std::vector<std::string> extensions;
        const std::regex saves(R"(saves: (\w+))");
        std::istringstream lines(formats.out);
        for (std::string line; std::getline(lines, line);) {
            std::smatch match;
            if (std::regex_search(line, match, saves)) {
                extensions.push_back(match[1]);
            }
        }
        return extensions;
    }

    bool saves(const std::string& extension) const {
        const auto all = savedExtensions();
        return std::find(all.begin(), all.end(), extension) != all.end();
    }

    std::string output(const std::string& name) const { return work.file(name); }

    TempDir captures;
    TempDir work;
};

TEST_F(OvmeshCommandTest, FormatsShowsTheVersionAndTheDrivers) {
    const ToolRun run = ovmesh({"formats"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "ovMeshDrivers 3.0.0.1559 #3a56870edff467bd\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "StlMeshDriver")) << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex(R"(StlMeshDriver +loads: - +saves: stl\n)")))
        << run.out;
    EXPECT_TRUE(contains(run.out, "ovmesh itself loads: obj")) << run.out;
}

TEST_F(OvmeshCommandTest, DemoSavesEveryFormatIntoANewFolder) {
    const fs::path folder = work.path() / "new" / "demo";
    const ToolRun run = ovmesh({"demo", folder.string()});
    EXPECT_EQ(run.code, 0) << run.err;

    std::vector<std::string> reported;
    const std::regex wrote(R"(wrote (.+) \((\d+) bytes\))");
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, wrote)) << line;
        const fs::path file = match[1].str();
        EXPECT_EQ(fs::file_size(file), std::stoull(match[2])) << file;
        reported.push_back(file.filename().string());
    }
    std::vector<std::string> expected;
    for (const std::string& extension : savedExtensions()) {
        expected.push_back("demo." + extension);
    }
    std::sort(expected.begin(), expected.end());
    std::sort(reported.begin(), reported.end());
    EXPECT_EQ(reported, expected);
    EXPECT_EQ(filesIn(folder), expected) << "temporary files left behind";
}

// What an independent reader sees in an STL file; empty when none is installed.
std::string stlSummary(const std::string& path) {
    if (std::system("/usr/bin/python3 -c 'import stl' >/dev/null 2>&1") != 0) {
        return {};
    }
    TempDir scratch;
    const fs::path summary = scratch.path() / "summary";
    const std::string command = "/usr/bin/python3 " + shellQuoted(OVMESH_TEST_SCRIPTS "/stl_summary.py") +
                                " " + shellQuoted(path) + " >" + shellQuoted(summary.string());
    EXPECT_EQ(std::system(command.c_str()), 0);
    return readFile(summary);
}

TEST_F(OvmeshCommandTest, ConvertsAnObjToAnStlThatAReaderAccepts) {
    const ToolRun run = ovmesh({"convert", kSteps, output("steps.stl")});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "wrote " + output("steps.stl") + " (1284 bytes)\n");
    EXPECT_EQ(filesIn(work.path()), std::vector<std::string>{"steps.stl"});

    const std::string summary = stlSummary(output("steps.stl"));
    if (summary.empty()) {
        GTEST_SKIP() << "numpy-stl is not installed";
    }
    // 12 triangles per block; shifted so that the smallest corner is 0; red
    // (0.8, 0.1, 0.1) and grey (0.5, 0.5, 0.5) as 5-bit colour words.
    EXPECT_EQ(summary, "24\n0 0 0 40 20 20\n3198 15855\n");
}

TEST_F(OvmeshCommandTest, QuietReportsNothingOnSuccess) {
    const ToolRun run = ovmesh({"--quiet", "convert", kSteps, output("steps.stl")});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(fs::exists(output("steps.stl")));
}

struct Failure {
    const char* what;
    std::vector<std::string> arguments;  // "@" stands for the work folder
    std::string message;
};

class OvmeshFailureTest : public OvmeshCommandTest, public testing::WithParamInterface<Failure> {
protected:
    void SetUp() override {
        writeFile(work.path() / "bad.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n");
        writeFile(work.path() / "empty.obj", "");
        writeFile(work.path() / "scene.xyz", "?");
        fs::create_directory(work.path() / "folder.obj");
    }
};

TEST_P(OvmeshFailureTest, SaysWhyExitsNonZeroAndWritesNothing) {
    std::vector<std::string> arguments;
    for (std::string argument : GetParam().arguments) {
        if (argument.starts_with('@')) {
            argument = output(argument.substr(1));
        }
        arguments.push_back(argument);
    }
    const auto before = filesIn(work.path());
    const ToolRun run = ovmesh(arguments);
    EXPECT_NE(run.code, 0);
    EXPECT_TRUE(contains(run.err, GetParam().message)) << run.err;
    EXPECT_EQ(filesIn(work.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, OvmeshFailureTest,
    testing::Values(
        Failure{"MissingInput", {"convert", "@absent.obj", "@out.stl"}, "absent.obj': no such file"},
        Failure{"InputIsAFolder", {"convert", "@folder.obj", "@out.stl"}, "folder.obj': it is a folder"},
        Failure{
            "UnknownOutputExtension", {"convert", kSteps, "@out.xyz"}, "no driver saves .xyz files (known: "},
        Failure{"UnknownInputExtension", {"convert", "@scene.xyz", "@out.stl"}, "no driver reads .xyz files"},
        Failure{
            "PageNotTwoNumbers", {"convert", kSteps, "@out.stl", "--page", "A4"}, "'A4' is not a page size"},
        Failure{"PageNotPositive",
                {"convert", kSteps, "@out.stl", "--page", "0x297"},
                "'0x297' is not a page size"},
        Failure{"UnknownView", {"convert", kSteps, "@out.stl", "--view", "diagonal"}, "diagonal not in"},
        Failure{"NegativeMargin", {"convert", kSteps, "@out.stl", "--margin", "-5"}, "--margin"},
        Failure{"IndexOutOfRange",
                {"convert", "@bad.obj", "@out.stl"},
                "bad.obj:4: vertex index 9 is out of range"},
        Failure{"EmptyObj", {"convert", "@empty.obj", "@out.stl"}, "empty.obj: empty file"},
        Failure{"MissingOutputFolder", {"convert", kSteps, "@missing/out.stl"}, "missing' does not exist"},
        Failure{"MissingResourceFolder", {"--resources", "@nowhere", "formats"}, "--resources"},
        Failure{"NoCommand", {}, "A subcommand is required"}),
    [](const testing::TestParamInfo<Failure>& param) { return param.param.what; });

TEST_F(OvmeshCommandTest, AFailedConversionKeepsTheOldOutput) {
    writeFile(work.path() / "bad.obj", "v 0 0 0\nv x 0 0\n");
    writeFile(work.path() / "out.stl", "previous");
    const ToolRun run = ovmesh({"convert", output("bad.obj"), output("out.stl")});
    EXPECT_NE(run.code, 0);
    EXPECT_TRUE(contains(run.err, "error: " + output("bad.obj") + ":2: 'x' is not a number")) << run.err;
    EXPECT_EQ(readFile(work.path() / "out.stl"), "previous");
}

TEST_F(OvmeshCommandTest, AMissingMaterialLibraryIsOnlyAWarning) {
    writeFile(work.path() / "plain.obj", "mtllib gone.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl red\nf 1 2 3\n");
    const ToolRun run = ovmesh({"convert", output("plain.obj"), output("plain.stl")});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(
        contains(run.err, "warning: " + output("plain.obj") + ": material library 'gone.mtl' not found"))
        << run.err;
    EXPECT_TRUE(fs::exists(output("plain.stl")));
}

TEST_F(OvmeshCommandTest, ADrawingOfAnObjWithoutPolylinesNeedsAllowEmpty) {
    if (!saves("svg")) {
        GTEST_SKIP() << "no svg driver registered";
    }
    writeFile(work.path() / "solid.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    const ToolRun refused = ovmesh({"convert", output("solid.obj"), output("solid.svg")});
    EXPECT_NE(refused.code, 0);
    EXPECT_TRUE(contains(refused.err, "input has no polylines (l elements) to draw")) << refused.err;
    EXPECT_FALSE(fs::exists(output("solid.svg")));

    const ToolRun allowed = ovmesh({"convert", output("solid.obj"), output("solid.svg"), "--allow-empty"});
    EXPECT_EQ(allowed.code, 0) << allowed.err;
    EXPECT_TRUE(contains(allowed.err, "warning: ")) << allowed.err;
    EXPECT_TRUE(fs::exists(output("solid.svg")));
}

TEST_F(OvmeshCommandTest, ADrawingTakesThePageOptions) {
    if (!saves("svg")) {
        GTEST_SKIP() << "no svg driver registered";
    }
    const ToolRun run = ovmesh({"convert", kSteps, output("steps.svg"), "--page", "297x210", "--view",
                                "front", "--title", "Steps", "--line-breaks"});
    ASSERT_EQ(run.code, 0) << run.err;
    const std::string svg = readFile(work.path() / "steps.svg");
    EXPECT_TRUE(contains(svg, "width=\"297mm\" height=\"210mm\"")) << svg;
    EXPECT_TRUE(contains(svg, "<title>Steps</title>\n")) << svg;
    EXPECT_TRUE(contains(svg, "<path d=\"M")) << svg;
}

}  // namespace
}  // namespace ov::test
