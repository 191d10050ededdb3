#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "meshdrivers/core/LineDrawingTestSupport.h"
#include "meshdrivers/plmxml/PlmXmlTestSupport.h"
#include "ovmesh/Cli.h"
#include "support/TestSupport.h"
#include "tools/ovmesh/TestHelpers.h"

// PLM XML through the tool: the tree command, what a person sees of the
// driver's messages, and how real exports are read.
namespace ov::test {
namespace {

// Runs the tool in this process on the arguments (after "ovmesh").
ToolRun ovmesh(std::vector<std::string> arguments) {
    // In a test program the tool's own folder holds no resources.
    arguments.insert(arguments.begin(), {"ovmesh", "--resources", resourcesDir().string()});
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    std::ostringstream out, err;
    const int code = ovmesh::runOvmesh(static_cast<int>(argv.size()), argv.data(), out, err, false);
    return {code, out.str(), err.str()};
}

class OvmeshPlmXmlTest : public testing::Test {
protected:
    void SetUp() override {
        // The document's attributes join the root's definition: a value it holds
        // already is not repeated, another one goes beside it.
        writeFile(car, plmXmlDocument(kPlmXmlV6, "i1", plmXmlCar(kPlmXmlV6),
                                      R"( name="Car" mass="1" author="me")"));
        // The second wheel's transform holds a mirror, which the driver reports.
        std::string mirrored = plmXmlDocument(kPlmXmlV4, "i1", plmXmlCar(kPlmXmlV4));
        mirrored.replace(mirrored.find("0 1 0 0 -1 0"), 12, "0 1 0 0 1 0");
        writeFile(mirror, mirrored);
    }

    TempDir work;
    const std::string car = work.file("car.plmxml");
    const std::string mirror = work.file("mirror.plmxml");
};

TEST_F(OvmeshPlmXmlTest, TreeShowsKindsPlacementsAndMetadataAsLinesOrJson) {
    const ToolRun lines = ovmesh({"tree", car});
    EXPECT_EQ(lines.code, 0) << lines.err;
    EXPECT_EQ(
        lines.out,
        "Car  node  at (0, 0, 0)  not turned  author = me; mass = 1200; mass = 1; name = Car; "
        "schemaVersion = 6; type = assembly; world units (m) = 0.001\n"
        "  Wheel  external reference wheel.jt  at (500, 0, 0)  not turned  format = JT; maker = acme; "
        "name = Wheel; type = solid; colour = red\n"
        "  Wheel  external reference wheel.jt  at (0, 250, 0)  rotation (0 -1 0 / 1 0 0 / 0 0 1)  format = "
        "JT; maker = acme; name = Wheel; type = solid; colour = black\n");

    const ToolRun json = ovmesh({"tree", "--json", "--no-metadata", car});
    EXPECT_EQ(json.code, 0) << json.err;
    const std::string scriptPath = work.file("check.py");
    writeFile(scriptPath,
              "import json, sys\nroot = json.load(open(sys.argv[1]))\n"
              "wheel = root['children'][1]\n"
              "print(root['name'], len(root['metadata']), wheel['kind'], wheel['path'], wheel['translation'],"
              " wheel['rotation'][0], [m['key'] for m in wheel['metadata']])\n");
    writeFile(work.file("tree.json"), json.out);
    EXPECT_EQ(runCommand("/usr/bin/python3 '" + scriptPath + "' '" + work.file("tree.json") + "'"),
              // Without metadata the root keeps its name, type and units, not the document's attributes.
              "Car 3 external reference wheel.jt [0, 250, 0] [0, -1, 0] ['name', 'type']\n");
}

TEST_F(OvmeshPlmXmlTest, DriverWarningsArePrintedOneLineEachAndAFailedLoadWritesNothing) {
    const ToolRun mirrored = ovmesh({"-q", "convert", mirror, work.file("mirror.stl"), "--allow-empty"});
    EXPECT_EQ(mirrored.code, 0) << mirrored.err;
    EXPECT_NE(mirrored.err.find("warning: mirror.plmxml: Invalid rotation for Wheel\n"), std::string::npos)
        << mirrored.err;

    std::string document = readFile(car);
    writeFile(work.file("cut.plmxml"), document.substr(0, document.size() / 2));
    const auto before = filesIn(work.path());
    const ToolRun cut = ovmesh({"convert", work.file("cut.plmxml"), work.file("cut.stl")});
    EXPECT_EQ(cut.code, 1);
    EXPECT_NE(cut.err.find("error: cut.plmxml: line 3, column "), std::string::npos) << cut.err;
    EXPECT_NE(cut.err.find("error: cannot read '" + work.file("cut.plmxml") + "'\n"), std::string::npos)
        << cut.err;
    EXPECT_EQ(filesIn(work.path()), before);
}

// A .xml file is known by its document element in UTF-16 too, and past a
// long comment; one without an element in its first MiB says so.
TEST_F(OvmeshPlmXmlTest, XmlFilesAreKnownByTheirElementInUtf16AndPastLongComments) {
    const std::string document = readFile(car);
    const std::string body = document.substr(document.find("?>") + 2);
    std::string utf16 = "\xFF\xFE";
    for (const char c : "<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + body) {
        utf16 += {c, '\0'};
    }
    writeFile(work.file("utf16.xml"), utf16);
    writeFile(work.file("licence.xml"), "<!--" + std::string(5000, 'x') + "-->" + body);
    writeFile(work.file("endless.xml"), "<!--" + std::string(1 << 21, 'x') + "-->" + body);
    for (const char* name : {"utf16.xml", "licence.xml"}) {
        EXPECT_EQ(ovmesh({"tree", work.file(name)}).out, ovmesh({"tree", car}).out) << name;
    }
    EXPECT_THAT(ovmesh({"tree", work.file("endless.xml")}).err,
                testing::HasSubstr("': no document element in its first 1 MiB, and only PLM XML"));
}

TEST(OvmeshPlmXmlOccurrences, ReadingsOfARealExportAndOtherXml) {
    OV_SHARED_DATA_OR_SKIP(sample, "plmxml/samples/krusty84_PLMXMLFile_v6_b.xml");
    TempDir work;
    writeFile(work.file("page.xml"), "<?xml version=\"1.0\"?>\n<!-- <PLMXML> -->\n<svg/>");
    const struct {
        std::vector<std::string> arguments;
        int code;
        long lines;
        std::string err;
    } runs[] = {
        {{"tree", "--plmxml", "occurrences", sample.string()}, 0, 6, ""},
        {{"tree", sample.string()},
         0,
         6,
         "warning: krusty84_PLMXMLFile_v6_b.xml: Not read as product definitions (no rootRefs names its root "
         "instance); read as an occurrence tree\n"},
        {{"tree", work.file("page.xml")},
         1,
         0,
         "error: cannot read '" + work.file("page.xml") +
             "': its document element is <svg>, and only PLM XML (<PLMXML>) is read from .xml files\n"},
    };
    for (const auto& run : runs) {
        const ToolRun result = ovmesh(run.arguments);
        EXPECT_EQ(result.code, run.code) << run.arguments.back();
        EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), run.lines) << result.out;
        EXPECT_EQ(result.err, run.err);
    }
}

}  // namespace
}  // namespace ov::test
