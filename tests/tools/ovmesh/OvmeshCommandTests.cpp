#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "tools/ovmesh/TestHelpers.h"

namespace ov::test {
namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;

std::string shellQuoted(const std::string& text) {
    return '\'' + std::regex_replace(text, std::regex("'"), "'\\''") + "'";
}

const std::string kSolid = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
const std::string kSteps = (testDataDir() / "obj" / "steps.obj").string();
// The repository's example assembly, whose part files are not beside it.
const std::string kAssembly =
    (testDataDir() / ".." / ".." / "examples" / "host" / "assembly.plmxml").string();

// Runs the built tool as a user would; its output is captured apart from the
// work folder under test.
class OvmeshTest : public testing::Test {
protected:
    ToolRun run(const std::string& program, const std::vector<std::string>& arguments,
                const std::string& input = "/dev/null") const {
        std::string command = shellQuoted(program);
        for (const std::string& argument : arguments) {
            command += ' ' + shellQuoted(argument);
        }
        const std::string out = captures.file("out"), err = captures.file("err");
        command += " >" + shellQuoted(out) + " 2>" + shellQuoted(err) + " <" + shellQuoted(input);
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err)};
    }

    ToolRun ovmesh(const std::vector<std::string>& arguments, const std::string& input = "/dev/null") const {
        return run(OVMESH_EXECUTABLE, arguments, input);
    }

    // What numpy-stl and admesh, ElementTree or ezdxf see in a file, in one
    // line. The readers are part of the set-up: a file they refuse is a fault.
    std::string readBack(const std::string& path) const {
        const ToolRun reader = run("/usr/bin/python3", {OVMESH_TEST_SCRIPTS "/read_back.py", path});
        EXPECT_EQ(reader.code, 0) << reader.err;
        return reader.out;
    }

    std::string output(const std::string& name) const { return work.file(name); }

    TempDir captures;
    TempDir work;
};

TEST_F(OvmeshTest, DemoWritesEveryFormatTheFormatsListIntoANewFolderThatReadersAccept) {
    const ToolRun formats = ovmesh({"formats"});
    EXPECT_EQ(formats.code, 0) << formats.err;
    EXPECT_TRUE(std::regex_match(formats.out, std::regex("ovMeshDrivers 3\\.0\\.0\\.1559 #3a56870edff467bd\n"
                                                         "Drivers, in registration order:\n"
                                                         "(  \\w+ +loads: [-\\w ]+ +saves: [-\\w ]+\n)+"
                                                         "Reads:\n(  [\\w]+ +\\w+( +[^\n]+)?\n)+"
                                                         "Writes:\n(  \\w+ +\\w+\n)+")))
        << formats.out;
    std::vector<std::string> expected;
    const std::regex firstSaved(R"(saves: (\w+))");
    for (std::sregex_iterator it(formats.out.begin(), formats.out.end(), firstSaved), end; it != end; ++it) {
        expected.push_back("demo." + (*it)[1].str());
    }
    // The COLLADA document's texture image stands beside it, named after it.
    expected.emplace_back("demo-oak-1-image-diffuse.png");
    std::sort(expected.begin(), expected.end());

    const fs::path folder = work.path() / "new" / "demo";
    const ToolRun demo = ovmesh({"demo", folder.string()});
    ASSERT_EQ(demo.code, 0) << demo.err;
    EXPECT_EQ(filesIn(folder), expected) << "a format is missing or a temporary file was left";
    EXPECT_EQ(std::regex_replace(demo.out, std::regex("wrote .*/demo[-.][-\\w.]+ \\(\\d+ bytes\\)\n"), ""),
              "");
    EXPECT_EQ(std::count(demo.out.begin(), demo.out.end(), '\n'), std::ssize(expected)) << demo.out;
    // What the readers see is kept in a golden file: nine closed parts in
    // three colours; the top view of the table fills the page's width inside
    // the 10 mm margins and is centred in its height.
    std::string readings;
    for (const std::string& name : expected) {
        if (name != "demo.stp" && !name.ends_with(".png")) {
            readings += name + ": " + readBack((folder / name).string());
        }
    }
    expectMatchesGolden("ovmesh/demo_readings.txt", readings);
    // The interop file checks clean.
    EXPECT_EQ(ovmesh({"check", (folder / "demo.stp").string()}).code, 0);
    // SOURCE_DATE_EPOCH pins the time written into files.
    setenv("SOURCE_DATE_EPOCH", "86399", 1);
    const ToolRun pinned = ovmesh({"-q", "demo", (work.path() / "pinned").string()});
    unsetenv("SOURCE_DATE_EPOCH");
    ASSERT_EQ(pinned.code, 0) << pinned.err;
    EXPECT_THAT(readFile(work.path() / "pinned" / "demo.stp"),
                HasSubstr("FILE_NAME('demo','1970-01-01T23:59:59',"));
#ifdef OV_OCCT_STEP_READER
    // Eleven occurrences of six parts, in millimetres, read as written; the third leg turned half round.
    const ToolRun assembly =
        run(OV_OCCT_STEP_READER, {"--native", "--assembly", (folder / "demo.stp").string()});
    EXPECT_EQ(assembly.code, 0);
    EXPECT_EQ(std::count(assembly.out.begin(), assembly.out.end(), '>'), 11) << assembly.out;
    EXPECT_THAT(assembly.out,
                HasSubstr("\n    leg_3 -> leg_1 @ -1.000000 0.000000 0.000000 0.000000 -1.000000 "
                          "0.000000 0.000000 0.000000 1.000000 560.000000 310.000000 0.000000\n"));
    // Nine boxes, nine solids with the volume of the STL file's.
    EXPECT_THAT(run(OV_OCCT_STEP_READER, {"--native", "--world", (folder / "demo.stp").string()}).out,
                testing::StartsWith("9 solids, 0 open shells, volume 38304000.000000,"));
    // Each part's faces, in its own frame, with its colour.
    expectMatchesGolden(
        "ovmesh/demo_shapes.txt",
        run(OV_OCCT_STEP_READER, {"--native", "--shapes", (folder / "demo.stp").string()}).out);
#endif
}

// The Open CASCADE build of browser viewers opens the interop file without
// throwing, with the faces of the nine placed parts, twelve to a box.
TEST_F(OvmeshTest, OcctImportJsOpensTheInteropDemo) {
    const fs::path module = fs::path(OVMESH_READERS) / "node_modules/occt-import-js";
    if (!fs::exists(module) || std::system("node --version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs node and " << module;
    }
    ASSERT_EQ(ovmesh({"-q", "demo", output("demo")}).code, 0);
    const ToolRun read = run("node", {OVMESH_READERS "/occt_import_step.js", output("demo/demo.stp")});
    EXPECT_EQ(read.code, 0) << read.err;
    EXPECT_THAT(read.out,
                HasSubstr("meshes 9\nmesh table_top: 12 triangles\nmesh rail_front: 12 triangles\n"));
    const std::regex box("\nmesh \\w+: 12 triangles");
    EXPECT_EQ(
        std::distance(std::sregex_iterator(read.out.begin(), read.out.end(), box), std::sregex_iterator()), 9)
        << read.out;
}

// OBJ (Y-up, no units) and PLM XML (millimetres, external references) as
// .glb and .gltf, and the demo, as the glTF validator sees them.
TEST_F(OvmeshTest, ConvertsToGltfThatTheValidatorAccepts) {
    OV_SHARED_DATA_OR_SKIP(plmXml, "plmxml/samples/krusty84_PLMXMLFile_v6_a.xml");
    std::vector<std::string> files;
    for (const auto& [input, name] : {std::pair(kSteps, "steps.glb"), std::pair(kSteps, "steps.gltf"),
                                      std::pair(plmXml.string(), "assembly.gltf")}) {
        // The assembly's parts are references only.
        const ToolRun convert = ovmesh({"convert", input, output(name), "--allow-empty"});
        ASSERT_EQ(convert.code, 0) << convert.err;
        files.push_back(output(name));
    }
    ASSERT_EQ(ovmesh({"-q", "demo", output("demo")}).code, 0);
    files.push_back(output("demo/demo.glb"));
    EXPECT_THAT(readFile(output("assembly.gltf")), HasSubstr(R"("extras":{"file":")"));
    files.insert(files.begin(), {OVMESH_READERS "/read_gltf.mjs", "validate"});
    const ToolRun validation = run("node", files);
    if (validation.code == 77 || validation.code == 127) {
        GTEST_SKIP() << "no glTF validator under node: " << validation.out << validation.err;
    }
    // Parts without geometry are empty nodes, which the validator mentions.
    const std::regex clean(": 0 errors, 0 warnings, \\d+ infos\n(  NODE_EMPTY .*\n)*");
    EXPECT_EQ(std::regex_replace(validation.out, clean, "\n"),
              "steps.glb\nsteps.gltf\nassembly.gltf\ndemo.glb\n");
}

// One model stands the same way whichever format it comes in: assimp's Wuson
// as OBJ, PLY and OFF (Y-up, as their writers work) gives glTF one root placement.
TEST_F(OvmeshTest, AModelStandsTheSameWayFromEachFormat) {
    std::vector<std::string> placements;
    for (const char* name : {"OBJ/WusonOBJ.obj", "PLY/Wuson.ply", "OFF/Wuson.off"}) {
        OV_ASSIMP_MODEL_OR_SKIP(model, name);
        ASSERT_EQ(ovmesh({"-q", "convert", model.string(), output("wuson.gltf")}).code, 0);
        std::smatch matrix;
        const std::string document = readFile(output("wuson.gltf"));
        std::regex_search(document, matrix, std::regex(R"("matrix":\[[^\]]*\])"));
        placements.push_back(matrix.str());
    }
    EXPECT_EQ(placements, std::vector<std::string>(3, placements[0]));
}

// glTF names its files by URI: a name with %20 escapes is found decoded.
TEST_F(OvmeshTest, GltfFilesNamedByEscapedUrisAreFound) {
    OV_ASSIMP_MODEL_OR_SKIP(spider, "OBJ/spider.obj");
    ASSERT_EQ(ovmesh({"-q", "convert", spider.string(), output("sp.gltf")}).code, 0);
    std::string document = readFile(output("sp.gltf"));
    for (const std::string file : {"sp-buffer.bin", "sp-texture.jpg"}) {
        fs::rename(output(file), output("sp " + file.substr(3)));
        document = std::regex_replace(document, std::regex(file), "sp%20" + file.substr(3));
    }
    writeFile(output("sp.gltf"), document);
    const ToolRun read = ovmesh({"convert", output("sp.gltf"), output("sp.glb")});
    EXPECT_EQ(read.code, 0) << read.err;
    EXPECT_THAT(read.err, testing::Not(HasSubstr("left out")));
}

// The triangles of a binary STL file, each from its least corner, in order.
std::vector<std::vector<float>> stlTriangles(const fs::path& file) {
    const std::string bytes = readFile(file);
    std::vector<std::vector<float>> triangles;
    for (size_t at = 84; at + 50 <= bytes.size(); at += 50) {
        std::array<std::array<float, 3>, 3> corners;
        std::memcpy(corners.data(), bytes.data() + at + 12, sizeof corners);
        std::rotate(corners.begin(), std::min_element(corners.begin(), corners.end()), corners.end());
        triangles.push_back({});
        for (const auto& corner : corners) {
            triangles.back().insert(triangles.back().end(), corner.begin(), corner.end());
        }
    }
    std::sort(triangles.begin(), triangles.end());
    return triangles;
}

// What `ovmesh tree` prints of a file's nodes below its root (the root's own
// values have no occurrence to go to in STEP), without warnings and polylines.
std::vector<std::string> treeBelowRoot(const std::string& printed) {
    std::vector<std::string> lines;
    std::istringstream text(printed);
    for (std::string line; std::getline(text, line);) {
        if (!line.starts_with("warning:") && line.find("  line  ") == std::string::npos) {
            lines.push_back(line);
        }
    }
    lines.erase(lines.begin(), lines.begin() + std::min<std::ptrdiff_t>(1, std::ssize(lines)));
    return lines;
}

// Every STEP file the tool writes reads back as its source: the demo, an OBJ
// of two materials in both geometry forms and the PLM XML samples keep
// their tree, names, placements and values, and the STL file written from
// the STEP file holds the source's triangles (to 1e-6 of their size) and
// colours.
TEST_F(OvmeshTest, StepFilesTheToolWritesReadBackAsTheirSource) {
    const auto sameTriangles = [this](const fs::path& expected, const fs::path& read) {
        EXPECT_EQ(readBack(read.string()), readBack(expected.string()));
        const std::vector<std::vector<float>> want = stlTriangles(expected), got = stlTriangles(read);
        ASSERT_EQ(got.size(), want.size()) << read;
        for (size_t t = 0; t < got.size(); ++t) {
            for (size_t k = 0; k < 9; ++k) {
                EXPECT_NEAR(got[t][k], want[t][k], 1e-6 * std::max(1.0f, std::fabs(want[t][k]))) << read;
            }
        }
    };
    ASSERT_EQ(ovmesh({"-q", "demo", output("demo")}).code, 0);
    ASSERT_EQ(ovmesh({"-q", "convert", output("demo/demo.stp"), output("demo-back.stl")}).code, 0);
    sameTriangles(output("demo/demo.stl"), output("demo-back.stl"));
    ASSERT_EQ(ovmesh({"-q", "convert", kSteps, output("steps.stl")}).code, 0);
    for (const char* form : {"faceted", "tessellated"}) {
        const std::string step = output(std::string("steps-") + form + ".stp");
        ASSERT_EQ(ovmesh({"-q", "convert", kSteps, step, "--units", "mm", "--step-geometry", form}).code, 0);
        ASSERT_EQ(ovmesh({"-q", "convert", step, step + ".stl"}).code, 0);
        sameTriangles(output("steps.stl"), step + ".stl");
        EXPECT_EQ(treeBelowRoot(ovmesh({"tree", step}).out), treeBelowRoot(ovmesh({"tree", kSteps}).out));
    }
    OV_SHARED_DATA_OR_SKIP(samples, "plmxml/samples");
    for (const std::string& name : filesIn(samples)) {
        const std::string source = (samples / name).string();
        ASSERT_EQ(ovmesh({"-q", "convert", source, output(name + ".stp")}).code, 0);
        EXPECT_EQ(treeBelowRoot(ovmesh({"tree", output(name + ".stp")}).out),
                  treeBelowRoot(ovmesh({"tree", source}).out))
            << name;
    }
}

#ifdef OV_OCCT_STEP_READER
// The spider's head holds triangles turned against their neighbours, written
// as shells of their own: Open CASCADE reads its vertices at their tolerance.
TEST_F(OvmeshTest, ShellsOfOneMeshShareNoPointThatOpenCascadeWidens) {
    OV_ASSIMP_MODEL_OR_SKIP(spider, "OBJ/spider.obj");
    ASSERT_EQ(ovmesh({"-q", "convert", spider.string(), output("spider.stp")}).code, 0);
    EXPECT_THAT(run(OV_OCCT_STEP_READER, {"--native", "--world", output("spider.stp")}).out,
                HasSubstr("13 solids, 10 open shells, volume 106948981169955.015625, tolerance 0.000000 in"));
}
#endif

TEST_F(OvmeshTest, ConvertsToAStepAssemblyWithAFilePerPart) {
    const ToolRun convert =
        ovmesh({"convert", kSteps, output("steps.step"), "--external-parts", "STL", "--units", "mm"});
    ASSERT_EQ(convert.code, 0) << convert.err;
    EXPECT_EQ(filesIn(work.path()), (std::vector<std::string>{"steps-base.stl", "steps-outline.stl",
                                                              "steps-step.stl", "steps.step"}));
    const std::string step = readFile(work.path() / "steps.step");
    EXPECT_THAT(step, HasSubstr("SI_UNIT(.MILLI.,.METRE.)"));
    EXPECT_THAT(step, HasSubstr("=DOCUMENT_FILE('steps-base.stl',"));
#ifdef OV_OCCT_STEP_READER
    // STEP part files hold their geometry, which Open CASCADE follows the references to.
    const fs::path parts = work.path() / "stp";
    fs::create_directory(parts);
    ASSERT_EQ(
        ovmesh({"-q", "convert", kSteps, (parts / "steps.stp").string(), "--external-parts", "stp"}).code, 0);
    EXPECT_EQ(filesIn(parts), (std::vector<std::string>{"steps-base.stp", "steps-outline.stp",
                                                        "steps-step.stp", "steps.stp"}));
    EXPECT_THAT(run(OV_OCCT_STEP_READER, {"--native", "--shapes", (parts / "steps.stp").string()}).out,
                HasSubstr("base: 12 triangles in 0.000000 0.000000 0.000000 40.000000 20.000000 10.000000"));
#endif

    // A save that fails after the part files takes them away again: here
    // every file is limited to 2 KiB (4 blocks), which the part file fits in
    // and the STEP file does not.
    const fs::path folder = work.path() / "failing";
    fs::create_directory(folder);
    writeFile(folder / "bad.obj", "g bad\n" + kSolid);
    const ToolRun failed = run(
        "/bin/sh", {"-c", "trap '' XFSZ; ulimit -f 4; exec \"$0\" \"$@\"", OVMESH_EXECUTABLE, "convert",
                    (folder / "bad.obj").string(), (folder / "bad.stp").string(), "--external-parts", "stl"});
    EXPECT_EQ(failed.code, 1);
    EXPECT_THAT(failed.err, HasSubstr("bad.stp': not every byte reached the disk\n"));
    EXPECT_EQ(filesIn(folder), std::vector<std::string>{"bad.obj"});
}

// A COLLADA save that fails after its image was written takes the image
// along: here every file is limited to a few KiB (8 blocks), which the image
// fits in and the document does not.
TEST_F(OvmeshTest, AFailedColladaSaveLeavesNeitherDocumentNorImages) {
    const fs::path folder = work.path() / "demo";
    const ToolRun demo = run("/bin/sh", {"-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" \"$@\"",
                                         OVMESH_EXECUTABLE, "demo", folder.string()});
    EXPECT_EQ(demo.code, 1);
    EXPECT_THAT(demo.err, HasSubstr("error: cannot write '" + (folder / "demo.dae").string() +
                                    "': the dae driver failed to save the scene\n"));
    for (const std::string& name : filesIn(folder)) {
        EXPECT_FALSE(name.ends_with(".dae") || name.ends_with(".png")) << name;
    }
}

TEST_F(OvmeshTest, ConvertsAnObjToAnStlOrADrawingThatReadersAccept) {
    const ToolRun convert = ovmesh({"convert", kSteps, output("steps.stl")});
    ASSERT_EQ(convert.code, 0) << convert.err;
    EXPECT_EQ(convert.out, "wrote " + output("steps.stl") + " (1284 bytes)\n");
    const ToolRun quiet = ovmesh({"--quiet", "convert", kSteps, output("steps.stl")});
    EXPECT_EQ(quiet.code, 0) << quiet.err;
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(filesIn(work.path()), std::vector<std::string>{"steps.stl"});
    // Two closed blocks of 12 triangles facing outwards, moved so that the
    // smallest corner is 0; red (0.8, 0.1, 0.1) and grey as 5-bit colours.
    EXPECT_EQ(readBack(output("steps.stl")),
              "24 facets in 0 0 0 40 20 20, colours 3198 15855; 2 parts, volume 12000, 0 reversed\n");

    // OBJ is Y up by convention, unless the user says otherwise; its polylines are lines.
    ASSERT_EQ(ovmesh({"convert", kSteps, output("steps.dae")}).code, 0);
    EXPECT_EQ(readBack(output("steps.dae")),
              "3 geometries, 24 triangles, 5 segments, 3 instances, 3 materials, Y_UP, images \n");
    ASSERT_EQ(ovmesh({"convert", kSteps, output("steps.dae"), "--up", "Z", "--precision", "9"}).code, 0);
    EXPECT_THAT(readBack(output("steps.dae")), HasSubstr(", Z_UP,"));

    const ToolRun drawing =
        ovmesh({"convert", kSteps, output("steps.svg"), "--page", "297x210", "--view", "front", "--title",
                "Nuts & Bolts <v2>", "--line-breaks", "--edges", "none", "--up", "z"});
    ASSERT_EQ(drawing.code, 0) << drawing.err;
    EXPECT_THAT(readFile(work.path() / "steps.svg"),
                HasSubstr("<title>Nuts &amp; Bolts &lt;v2&gt;</title>\n"));
    // The file was modelled Z-up, where OBJ files are taken as Y-up. From the
    // front the floor outline is one flat stroke across the page;
    // unfitted, it keeps its millimetres from the page's lower-left corner.
    EXPECT_EQ(readBack(output("steps.svg")), "297mm x 210mm, 1 paths in x 10..287 y 105..105\n");
    ASSERT_EQ(ovmesh({"convert", kSteps, output("steps.svg"), "--view", "front", "--no-fit", "--edges",
                      "none", "--up", "z"})
                  .code,
              0);
    EXPECT_EQ(readBack(output("steps.svg")), "210mm x 297mm, 1 paths in x -5..45 y 297..297\n");

    // Meshes are drawn by their feature edges by default: from the top, the floor outline with its
    // diagonal (5), the base (4) and the step on it but for the edge the two share (3).
    ASSERT_EQ(ovmesh({"convert", kSteps, output("steps.dxf"), "--up", "z"}).code, 0);
    EXPECT_EQ(readBack(output("steps.dxf")), "12 lines in x 10..200 y 91.5..205.5, 0 audit errors\n");

    writeFile(work.path() / "solid.obj", kSolid);
    const ToolRun allowed =
        ovmesh({"convert", output("solid.obj"), output("solid.svg"), "--allow-empty", "--edges", "none"});
    EXPECT_EQ(allowed.code, 0) << allowed.err;
    EXPECT_THAT(allowed.err,
                HasSubstr("warning: '" + output("solid.svg") +
                          "' holds no geometry: the .obj input has no polylines, and --edges none "
                          "leaves out its meshes"));
    EXPECT_TRUE(fs::exists(output("solid.svg")));
}

// A link named as the output is followed: replacing the file keeps its
// permissions, the link stays a link, and its own name picks the driver. A
// name the tool makes up (a batch output, a part file) never follows one: a
// planted link is replaced itself, and what it leads to stays as it was.
TEST_F(OvmeshTest, OnlyTheOutputNamedFollowsItsLink) {
    const fs::perms ownerOnly = fs::perms::owner_read | fs::perms::owner_write;
    writeFile(work.path() / "real", "previous");
    fs::permissions(work.path() / "real", ownerOnly);
    fs::create_symlink("real", work.path() / "link.dae");
    ASSERT_EQ(ovmesh({"convert", kSteps, output("link.dae")}).code, 0);
    EXPECT_EQ(fs::read_symlink(work.path() / "link.dae"), "real");
    EXPECT_THAT(readFile(work.path() / "real"), HasSubstr("<COLLADA"));
    EXPECT_EQ(fs::status(work.path() / "real").permissions(), ownerOnly);
    EXPECT_EQ(filesIn(work.path()), (std::vector<std::string>{"link.dae", "real"}));

    writeFile(output("a.obj"), "g part\n" + kSolid);
    fs::create_directory(output("out"));
    fs::create_symlink(output("real"), output("out/a.stl"));
    fs::create_symlink(output("new"), output("out/b-part.stl"));
    EXPECT_EQ(ovmesh({"-q", "convert", output("a.obj"), "--to", "stl", "--out-dir", output("out")}).code, 0);
    EXPECT_EQ(ovmesh({"-q", "convert", output("a.obj"), output("out/b.stp"), "--external-parts", "stl"}).code,
              0);
    EXPECT_THAT(readFile(work.path() / "real"), HasSubstr("<COLLADA"));
    EXPECT_FALSE(fs::exists(output("new")));
    for (const std::string name : {"a.stl", "b-part.stl"}) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(output("out/" + name)))) << name;
    }
    // Parts stand beside the document the followed link leads to.
    fs::create_directory(output("elsewhere"));
    fs::create_symlink("../elsewhere/c.stp", output("out/c.stp"));
    EXPECT_EQ(ovmesh({"-q", "convert", output("a.obj"), output("out/c.stp"), "--external-parts", "stl"}).code,
              0);
    EXPECT_EQ(filesIn(output("elsewhere")), (std::vector<std::string>{"c-part.stl", "c.stp"}));
}

// A link to the tool found on PATH finds the resources (and so the STEP
// driver) of the installation it leads into.
TEST_F(OvmeshTest, ALinkToTheToolFindsItsResources) {
    fs::create_symlink(OVMESH_EXECUTABLE, work.path() / "ovmesh");
    EXPECT_EQ(run("/bin/sh", {"-c", "PATH=\"$0:$PATH\" exec ovmesh formats", output("")}).out,
              ovmesh({"formats"}).out);
}

// Each extension's reader and writer ("-" for none).
using FormatHandlers = std::map<std::string, std::pair<std::string, std::string>>;

// ... as `ovmesh formats` lists them.
FormatHandlers listedHandlers(const std::string& listing) {
    const auto at = [&](const char* title) { return listing.begin() + std::ptrdiff_t(listing.find(title)); };
    const std::regex row("\n  (\\S+) +(\\S+)");
    FormatHandlers handlers;
    for (std::sregex_iterator it(at("Reads:\n"), listing.end(), row), end; it != end; ++it) {
        auto& [reader, writer] = handlers.try_emplace((*it)[1].str(), "-", "-").first->second;
        ((*it)[0].first < at("Writes:\n") ? reader : writer) = (*it)[2].str();
    }
    return handlers;
}

// ... and as a document's table rows "| format | `ext`, `ext` | reader | writer |" give them.
FormatHandlers documentedHandlers(const fs::path& document) {
    const std::string text = readFile(document);
    const std::regex row("\n\\| [^|\n]+ \\| (`\\w+`(?:, `\\w+`)*) \\| (\\S+) \\| (\\S+) \\|(?=\n)"),
        word("\\w+");
    FormatHandlers handlers;
    for (std::sregex_iterator it(text.begin(), text.end(), row), end; it != end; ++it) {
        const std::string extensions = (*it)[1];
        for (std::sregex_iterator ext(extensions.begin(), extensions.end(), word); ext != end; ++ext) {
            EXPECT_TRUE(handlers.try_emplace(ext->str(), (*it)[2], (*it)[3]).second)
                << ext->str() << " twice";
        }
    }
    return handlers;
}

// What the tool says of itself is true: the documents' format tables are its
// listing, and --version names a commit of this checkout, apart from the
// library's product build tag.
TEST_F(OvmeshTest, TheDocumentsFormatTablesAndTheVersionAreTheToolsOwn) {
    const FormatHandlers listed = listedHandlers(ovmesh({"formats"}).out);
    ASSERT_GT(listed.size(), 10u);
    const fs::path top = testDataDir() / ".." / "..";
    for (const char* document : {"README.md", "docs/formats.md"}) {
        EXPECT_EQ(documentedHandlers(top / document), listed) << document;
    }
    const std::string version = ovmesh({"--version"}).out;
    std::smatch commit;
    ASSERT_TRUE(std::regex_search(version, commit,
                                  std::regex("^ovmesh: (built from source commit (\\w+)|not built)")));
    EXPECT_THAT(version, HasSubstr("\novMeshDrivers library: 3.0.0.1559 #3a56870edff467bd (the library's"));
    // A commit of the checkout the tool was built from; none only outside a checkout.
    const std::string source = top.string();
    if (commit[2].matched) {
        EXPECT_EQ(run("git", {"-C", source, "merge-base", "--is-ancestor", commit[2], "HEAD"}).code, 0);
    } else {
        EXPECT_NE(run("git", {"-C", source, "rev-parse", "HEAD"}).code, 0);
    }
}

// Each failure says why once, exits non-zero (2 for a bad command line, 1 for
// a failed command) and leaves the work folder, and an older output in it, as
// they were.
TEST_F(OvmeshTest, AFailureSaysWhyOnceAndWritesNothing) {
    writeFile(work.path() / "solid.obj", kSolid);
    writeFile(work.path() / "lines.obj", "v 0 0 0\nv 1 0 0\nl 1 2\n");
    writeFile(work.path() / "tetrahedron.obj",
              "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 3 2\nf 1 2 4\nf 2 3 4\nf 1 4 3\n");
    writeFile(work.path() / "scene.xyz", "?");
    writeFile(work.path() / "wood.mtl",
              "newmtl wood\nmap_Kd " + (testDataDir() / "obj" / "grain.jpg").string());
    writeFile(work.path() / "wood.obj", "mtllib wood.mtl\nusemtl wood\n" + kSolid);
    writeFile(work.path() / "out.stl", "previous");
    fs::create_directory(work.path() / "folder.obj");
    // Marked read-only, which holds even for an administrator.
    fs::permissions(work.path() / "folder.obj", fs::perms::owner_read | fs::perms::owner_exec);
    writeFile(work.path() / "locked.stl", "previous");
    fs::permissions(work.path() / "locked.stl", fs::perms::owner_read | fs::perms::group_read);
    const std::string out = output("out.stl");
    // clang-format off
    const struct { std::vector<std::string> arguments; int code; std::string message; } cases[] = {
        {{"convert", output("absent.obj"), out}, 1, "absent.obj': no such file\n"},
        {{"convert", output("folder.obj"), out}, 1, "folder.obj': it is a folder\n"},
        {{"convert", kSteps, output("out.xyz")}, 1, "no driver saves .xyz files (known: "},
        {{"convert", kSteps, output("out\xFF.stl")}, 1, "out\xFF.stl': its name is not UTF-8 text\n"},
        {{"convert", kSteps, output("locked.stl")}, 1, "locked.stl': it is read-only\n"},
        {{"convert", kSteps, output("folder.obj/out.stl")}, 1, "folder.obj' is not writable\n"},
        {{"convert", output("scene.xyz"), out}, 1, "no driver reads .xyz files"},
        {{"convert", output("tetrahedron.obj"), output("out.svg"), "--edges", "180"}, 1,
         "out.svg': it would hold no geometry: the .obj input's meshes have no border and no edge where their "
         "faces fold by more than 180 degrees; a smaller --edges angle draws more of them; --allow-empty writes it "
         "all the same\n"},
        {{"convert", kAssembly, out}, 1,
         "out.stl': it would hold no geometry: the .plmxml input's 2 parts reference files that were not found (the "
         "first: '"},
        {{"convert", output("lines.obj"), out}, 1, "the .obj input's geometry is polylines, which .stl files do not"},
        {{"convert", kSteps, output("out.svg"), "--title", "bell\a"}, 1,
         "--title: the character U+0007 cannot stand in an XML document"},
        {{"convert", kSteps, output("out.svg"), "--edges", "200"}, 2, "'200' is no angle"},
        {{"convert", kSteps, output("out.svg"), "--margin", "105"}, 1,
         "a margin of 105 mm leaves no room on a 210x297 mm page\n"},
        {{"convert", kSteps, output("out.stp"), "--step-geometry", "none"}, 1,
         "'base' holds meshes or polylines, and .stp files of this profile and geometry form hold the assembly "
         "structure only; --external-parts FORMAT (e.g. stl) writes each part's geometry to a file of its own "
         "beside it, --step-profile interop with --step-geometry faceted or tessellated keeps it in the file\n"},
        {{"convert", kSteps, output("out.stp"), "--step-geometry", "round"}, 2, "--step-geometry"},
        {{"convert", kSteps, out, "--external-parts", "stl"}, 1, "--external-parts applies to assembly outputs"},
        {{"convert", kSteps, output("out.stp"), "--external-parts", "xyz"}, 1, "no driver saves .xyz files"},
        {{"convert", kSteps, output("out.stp"), "--external-parts", "step", "--step-geometry", "none"}, 1,
         "parts need a format that holds geometry; STEP parts hold it with"},
        {{"convert", kSteps, output("out.stp"), "--units", "inch"}, 2, "inch not in"},
        {{"convert", kSteps, out, "--page", "A4"}, 2, "'A4' is not a page size"},
        {{"convert", kSteps, out, "--deflection", "0.1in"}, 2, "'0.1in' is no deflection"},
        {{"convert", kSteps, out, "--deflection", "1"}, 2, "'1' is no deflection"},
        {{"--resources", output("nowhere"), "formats"}, 2, "--resources"},
        {{"convert", "-", out}, 1, "- as the input needs --from FORMAT"},
        {{"convert", kSteps, "-"}, 1, "- as the output needs --to FORMAT"},
        {{"convert", kSteps, out, "--to", "stl"}, 1, "--to names the format of - (the standard output) only"},
        {{"convert", "-", out, "--from", "svg"}, 1, "cannot read stdin as svg: standard input is read as a format"},
        {{"convert", output("wood.obj"), "-", "--to", "dae"}, 1, "the format writes 2 files (a document and the files it"},
        {{"convert", kSteps, "-", "--to", "stp", "--external-parts", "stl"}, 1, "name an output file instead of -"},
        {{"convert", kSteps, out, output("x.stl")}, 2, "IN OUT expected, 3 given"},
        {{"convert", kSteps, "--out-dir", output("new")}, 2, "--out-dir: needs --to FORMAT"},
        {{"convert", kSteps, "-", "--to", "stl", "--out-dir", output("new")}, 2, "- (the standard input) cannot"},
        {{}, 2, "A subcommand is required"}};
    // clang-format on
    const auto before = filesIn(work.path());
    for (const auto& [arguments, code, message] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        const ToolRun failed = ovmesh(arguments);
        EXPECT_EQ(failed.code, code) << failed.err;
        EXPECT_EQ(failed.out, "");
        const size_t at = failed.err.find(message);
        EXPECT_NE(at, std::string::npos) << failed.err;
        EXPECT_EQ(failed.err.find(message, at + 1), std::string::npos) << failed.err;
        EXPECT_EQ(failed.err.find("error: "), failed.err.rfind("error: ")) << failed.err;
        EXPECT_EQ(filesIn(work.path()), before);
        EXPECT_EQ(readFile(out), "previous");
    }
}

// Standard input and output give what files give, byte for byte (but for the
// time of writing some formats record); nothing else goes to the standard output.
TEST_F(OvmeshTest, StandardStreamsCarryTheBytesOfFileConversions) {
    const std::string input = output("stdin.obj");
    writeFile(input, kSolid + "v 0 0 1\nl 1 2 4 1\n");
    const std::regex clock(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)");
    for (const std::string format : {"stl", "svg", "dxf", "dae"}) {
        SCOPED_TRACE(format);
        const std::string file = output("stdin." + format);
        ASSERT_EQ(ovmesh({"-q", "convert", input, file}).code, 0);
        const std::string expected = std::regex_replace(readFile(file), clock, "T");
        const std::vector<std::string> fromFile{"convert", input, "-", "--to", format};
        const std::vector<std::string> fromStream{"convert", "-", "-", "--from", "OBJ", "--to", format};
        for (const auto& arguments : {fromFile, fromStream}) {
            const ToolRun piped = ovmesh(arguments, input);
            EXPECT_EQ(piped.code, 0) << piped.err;
            EXPECT_EQ(std::regex_replace(piped.out, clock, "T"), expected);
        }
    }
    EXPECT_EQ(filesIn(work.path()),
              (std::vector<std::string>{"stdin.dae", "stdin.dxf", "stdin.obj", "stdin.stl", "stdin.svg"}));
}

// Standard input is read in pieces, as a file is: 300 MB of it leave the peak memory below that, even under
// the sanitizers.
TEST_F(OvmeshTest, StandardInputIsStreamed) {
    const ToolRun streamed = run(
        "/bin/sh", {"-c", "{ printf '" + kSolid + "'; yes '# " + std::string(70, '-') +
                              "' | head -c 300000000; } | " OVMESH_EXECUTABLE " -q convert - --from obj " +
                              output("in.stl")});
    EXPECT_EQ(streamed.code, 0) << streamed.err;
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, 250'000) << "kB";
}

// A PNG whose header claims width x height RGBA pixels, and whose data holds none of them.
std::string pngClaiming(uint32_t width, uint32_t height) {
    const auto bigEndian = [](uint32_t value) {
        return std::string{char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    };
    const auto chunk = [&](const std::string& type, const std::string& data) {
        const std::string body = type + data;
        const uLong crc =
            crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
        return bigEndian(static_cast<uint32_t>(data.size())) + body + bigEndian(static_cast<uint32_t>(crc));
    };
    return "\x89PNG\r\n\x1a\n" +
           chunk("IHDR", bigEndian(width) + bigEndian(height) + std::string("\x08\x06\0\0\0", 5)) +
           chunk("IDAT", "x") + chunk("IEND", "");
}

// Texture images are decoded only for outputs that hold them, and all of one input's together
// within 2^28 pixels: two of 16000 x 16000 are more.
TEST_F(OvmeshTest, TextureImagesAreDecodedOnlyForOutputsThatHoldThemWithinOneBudget) {
    writeFile(output("t0.png"), pngClaiming(16000, 16000));
    writeFile(output("t1.png"), pngClaiming(16000, 16000));
    writeFile(output("m.mtl"), "newmtl a\nmap_Kd t0.png\nnewmtl b\nmap_Kd t1.png\n");
    writeFile(output("in.obj"), "mtllib m.mtl\n" + kSolid + "usemtl a\nf 1 2 3\nusemtl b\nf 1 3 2\n");
    const ToolRun stl = ovmesh({"-q", "convert", output("in.obj"), output("out.stl")});
    EXPECT_EQ(stl.code, 0);
    EXPECT_EQ(stl.err, "");
    const ToolRun glb = ovmesh({"-q", "convert", output("in.obj"), output("out.glb")});
    EXPECT_EQ(glb.code, 0);
    EXPECT_THAT(glb.err,
                HasSubstr("'t1.png' cannot be read (the texture images of the input would decode to more "
                          "than 2^28 pixels together): left out"));
}

// --confine refuses an input that names a file outside its folder, by a path or through a link.
TEST_F(OvmeshTest, ConfineRefusesFilesNamedOutsideTheInputsFolder) {
    const fs::path in = work.path() / "in";
    fs::create_directory(in);
    writeFile(output("outside.mtl"), "newmtl a\n");
    writeFile(output("outside.bin"), std::string(36, '\0'));
    fs::create_symlink("../outside.bin", in / "link.bin");
    writeFile(in / "model.obj", "mtllib ../outside.mtl\n" + kSolid);
    fs::copy_file(testDataDir() / "gltf" / "linked_triangle.gltf", in / "model.gltf");
    fs::copy_file(testDataDir() / "plmxml" / "absolute_part_file.plmxml", in / "model.plmxml");
    for (const auto& [model, named] :
         {std::pair{"model.obj", "../outside.mtl"}, std::pair{"model.gltf", "link.bin"},
          std::pair{"model.plmxml", "/tmp/p.stl"}}) {
        const std::string path = (in / model).string();
        EXPECT_EQ(ovmesh({"tree", path}).code, 0) << model;
        const ToolRun confined = ovmesh({"tree", "--confine", path});
        EXPECT_EQ(confined.code, 1);
        EXPECT_THAT(confined.err, testing::AllOf(HasSubstr(named), HasSubstr("outside its folder")));
    }
    // A batch's conversions are confined each.
    const ToolRun batch =
        ovmesh({"convert", "--confine", in.string(), "--to", "stl", "--out-dir", output("out")});
    EXPECT_EQ(batch.code, 1);
    EXPECT_THAT(batch.err,
                testing::AllOf(HasSubstr("names '../outside.mtl'"), HasSubstr("link.bin' ("),
                               HasSubstr("names '/tmp/p.stl'"), HasSubstr("converted 0, failed 3")));
    EXPECT_FALSE(fs::exists(output("out/model.stl")));
}

// Scripts read the formats table and the node tree with its counts as JSON.
TEST_F(OvmeshTest, FormatsAndTreeAsJsonParseAndHoldTheirCounts) {
    writeFile(output("m.mtl"), "newmtl red\nKd 1 0 0\nnewmtl blue\nKd 0 0 1\n");
    writeFile(output("counts.obj"),
              "mtllib m.mtl\no a\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nusemtl red\nf 1 2 3\nf 2 4 3\n"
              "usemtl blue\nf 1 2 4\no b\nl 1 2 3 4\n");
    writeFile(
        output("formats.py"),
        "import json, sys\nlisting = json.load(sys.stdin)\n"
        "print(listing['library'], [(d['name'], d['loads'][:2]) for d in listing['drivers'] if d['loads']],"
        " listing['reads'][1:3], listing['writes'][0])\n");
    writeFile(output("tree.py"),
              "import json, sys\nroot = json.load(sys.stdin)\n"
              "def walk(node): return [(node['kind'], node['vertices'], node['triangles'], node['segments'],"
              " node['materials'])] + [row for child in node['children'] for row in walk(child)]\n"
              "print(root['totals'], walk(root))\n");
    const ToolRun formats = ovmesh({"formats", "--json"});
    writeFile(output("formats.json"), formats.out);
    EXPECT_EQ(
        run("python3", {output("formats.py")}, output("formats.json")).out,
        "ovMeshDrivers [('ovPlmXmlMeshDriver', ['plmxml']), ('ObjMeshDriver', ['obj']), ('StepLoadDriver', "
        "['stp', 'step']), ('AssimpMeshDriver', ['x', 'obj'])] [{'extension': 'xml', 'reader': "
        "'ovPlmXmlMeshDriver', 'format': 'PLM XML documents "
        "only'}, {'extension': 'obj', 'reader': 'ObjMeshDriver', 'format': 'Wavefront OBJ'}] "
        "{'extension': 'dae', 'writer': 'ovColladaMeshDriver'}\n");
    const ToolRun tree = ovmesh({"tree", "--json", output("counts.obj")});
    EXPECT_EQ(tree.code, 0) << tree.err;
    writeFile(output("tree.json"), tree.out);
    EXPECT_EQ(run("python3", {output("tree.py")}, output("tree.json")).out,
              "{'vertices': 11, 'triangles': 3, 'segments': 3, 'materials': 2} [('node', 0, 0, 0, 0), "
              "('node', 0, 0, 0, 0), ('mesh', 4, 2, 0, 1), ('mesh', 3, 1, 0, 1), ('node', 0, 0, 0, 0), "
              "('line', 4, 0, 3, 1)]\n");
}

// B-rep STEP shapes come out meshed where the Open CASCADE component is
// built: a coarser deflection gives fewer triangles, a fine one in
// millimetres more.
TEST_F(OvmeshTest, BrepStepShapesAreMeshedAsTheDeflectionAsks) {
    OV_SHARED_DATA_OR_SKIP(input, "step/real/occt__trj6_as1-hc-214.stp");
    if (ovmesh({"--version"}).out.find("meshed by Open CASCADE") == std::string::npos) {
        GTEST_SKIP() << "the Open CASCADE component was not built";
    }
    const auto triangles = [&](const std::string& deflection) {
        const ToolRun tree = ovmesh({"tree", "--json", input.string(), "--deflection", deflection});
        std::smatch total;
        EXPECT_TRUE(
            std::regex_search(tree.out, total, std::regex(R"("totals":\{"vertices":\d+,"triangles":(\d+))")))
            << tree.err;
        return std::stoi(total[1]);
    };
    const int fine = triangles("0.001");
    EXPECT_GT(fine, 1000);
    EXPECT_LT(triangles("0.01"), fine);
    EXPECT_GT(triangles("0.01mm"), fine);
}

// A triangle placed mirrored, scaled and sheared (gltf/placed_triangles.gltf): the tree shows each
// placement's turn apart from its scale, mirror or shear.
TEST_F(OvmeshTest, TreeShowsScalesMirrorsAndShears) {
    const ToolRun tree = ovmesh({"tree", (testDataDir() / "gltf" / "placed_triangles.gltf").string()});
    EXPECT_EQ(tree.code, 0) << tree.err;
    EXPECT_THAT(
        tree.out,
        testing::AllOf(
            HasSubstr("mirrored  node  at (0, 0, 0)  not turned  scale (-1, 1, 1)  mirrored\n"),
            HasSubstr("scaled  node  at (0, 0, 0)  rotation (-1 0 0 / 0 -1 0 / 0 0 1)  scale (2, 3, 4)\n"),
            HasSubstr("sheared  node  at (0, 0, 0)  rotation (0.970142 0.242536 0 / -0.242536 0.970142 0 "
                      "/ 0 0 1)  scale and shear (0.970142 0.242536 0 / 0.242536 1.09141 0 / 0 0 1)\n")));
}

// The "N errors, M warnings" of a check's summary line.
std::string counts(const std::string& out) {
    std::smatch match;
    return std::regex_search(out, match, std::regex(R"(: (\d+ errors?, \d+ warnings?) in \d+ instances)"))
               ? match[1].str()
               : "no summary in " + out;
}

// `ovmesh check`: findings by line, the summary, --schema and --max-findings.
TEST_F(OvmeshTest, CheckFindingsGoOutByLineAndErrorsMakeTheExitCodeOne) {
    ASSERT_EQ(ovmesh({"-q", "demo", output("demo"), "--step-profile", "exact"}).code, 0);
    const std::string demo = output("demo/demo.stp");

    const ToolRun broken = ovmesh({"check", demo});
    EXPECT_EQ(broken.code, 1) << broken.err;
    EXPECT_THAT(broken.out,
                HasSubstr(demo + ":15: error: #7 APPLIED_ORGANIZATION_ASSIGNMENT.items: 0 elements"));
    EXPECT_THAT(broken.out, HasSubstr(" is not a value of BOOLEAN\n"));

    const ToolRun clean = ovmesh({"check", (testDataDir() / "step" / "clean.stp").string()});
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

    const std::filesystem::path foreign = sharedDataDir() / "step/real/occt__occ23010.stp";
    if (std::filesystem::exists(foreign)) {
        const ToolRun other = ovmesh({"check", foreign.string()});
        EXPECT_EQ(other.code, 0) << other.out;
        EXPECT_THAT(other.out,
                    HasSubstr(": 160 instances of entities or types not in the bundled schema were not "
                              "checked (ADVANCED_BREP_SHAPE_REPRESENTATION, "));
    }

    const ToolRun missing = ovmesh({"check", output("none.stp")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_THAT(missing.err, HasSubstr("error: cannot read '" + output("none.stp") + "': no such file"));
    EXPECT_EQ(ovmesh({"check", demo, "--schema", output("none.exp")}).code, 2);
}

}  // namespace
}  // namespace ov::test
