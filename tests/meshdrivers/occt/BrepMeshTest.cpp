// B-rep shapes meshed by Open CASCADE in a child process: real files give
// the leaves, boxes and triangles Open CASCADE's own reader gives, with their
// colours, and a child that crashes, hangs or answers garbage refuses the file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <sstream>

#include "../core/LineDrawingTestSupport.h"
#include "../step/StepTestSupport.h"
#include "core/SceneWalk.h"
#include "occt/MeshWire.h"
#include "occt/OcctBrepMesher.h"
#include "step/StepImport.h"

namespace ov::occt {
namespace {

// A node: its depth and name, and the triangles and world box of its meshes.
struct Placed {
    std::string name;
    int triangles = 0;
    std::array<double, 6> box{1e30, 1e30, 1e30, -1e30, -1e30, -1e30};
};

// Open CASCADE's default meshing, which its reader's --leaves uses.
step::StepLoadSettings occtDefaults() {
    step::StepLoadSettings settings;
    settings.linearDeflection = 1.0;
    settings.relativeDeflection = false;
    settings.angularDeflectionDegrees = 0.5 * 180 / 3.14159265358979;
    return settings;
}

// Each node, depth first, and the colours of all meshes, rounded. A root
// that only gathers several roots, as Open CASCADE has none, is left out.
std::vector<Placed> nodesOf(const ovSpatial& root, std::set<std::array<float, 4>>& colours, bool gathered) {
    std::vector<Placed> nodes;
    walkScene(root, nullptr, [&](const WalkStep<const ovSpatial>& step) {
        if (step.object.IsDerived(ovNode::TYPE)) {
            nodes.push_back({std::to_string(step.depth - (gathered ? 1 : 0)) + " " + step.object.GetName()});
            return;
        }
        const auto& mesh = static_cast<const ovTriMesh&>(step.object);
        nodes.back().triangles += mesh.GetTriangleQuantity();
        for (int v = 0; v < mesh.getVertexBuffer()->GetVertexQuantity(); ++v) {
            const Wm4::Vector3f p = step.world.ApplyForward(mesh.getVertexBuffer()->Position3(v), true);
            for (int k = 0; k < 3; ++k) {
                nodes.back().box[k] = std::min<double>(nodes.back().box[k], p[k]);
                nodes.back().box[3 + k] = std::max<double>(nodes.back().box[3 + k], p[k]);
            }
        }
        if (const ovMaterialState* material = mesh.getMaterialState()) {
            const auto rounded = [](float value) { return std::round(value * 1000) / 1000; };
            colours.insert({rounded(material->diffuse.R()), rounded(material->diffuse.G()),
                            rounded(material->diffuse.B()), rounded(material->alpha)});
        }
    });
    if (gathered) {
        nodes.erase(nodes.begin());
    }
    return nodes;
}

std::vector<Placed> occtNodes(const std::string& path) {
    std::vector<Placed> nodes;
    std::istringstream lines(
        test::runCommand("\"" OV_OCCT_STEP_READER "\" --native --leaves \"" + path + "\""));
    for (std::string line; std::getline(lines, line);) {
        const size_t colon = line.rfind(": ");
        Placed& node = nodes.emplace_back(Placed{line.substr(0, colon)});
        std::istringstream numbers(colon == std::string::npos ? "" : line.substr(colon + 2));
        std::string words;
        numbers >> node.triangles >> words >> words;
        for (double& corner : node.box) {
            numbers >> corner;
        }
    }
    return nodes;
}

// Every real file comes out whole, no shape left out: the tree Open
// CASCADE's reader gives, each part placed in the same world box (to a
// tolerance of the meshing) with about as many triangles; faces styled apart
// from their solid keep their colour. A file of two root products gets a
// root named after the file. An assembly whose parts and sub-assemblies are
// files of their own comes out as one tree, ours as well.
TEST(BrepMeshTest, RealFilesMeshTheirSolidsAsOpenCascadePlacesThem) {
    OV_SHARED_DATA_OR_SKIP(folder, "step/real");
    OV_SHARED_DATA_OR_SKIP(assembly, "step/samples/stepcode_ap214e3/s1-c5-214/s1-c5-214.stp");
    const OcctBrepMesher mesher;
    test::TempDir written;
    step::StepMeshDriver writer{step::schemaPath()};
    step::plmXmlAssemblyOfStepParts(writer, written);
    std::vector<std::string> paths{assembly.string(), written.file("a.stp")};
    for (const std::string& name : test::filesIn(folder)) {
        paths.push_back((folder / name).string());
    }
    for (const std::string& path : paths) {
        const std::string name = std::filesystem::path(path).filename().string();
        SCOPED_TRACE(name);
        const ImportedScene read = step::importStep(path, {true, &mesher, occtDefaults()});
        EXPECT_EQ(read.warnings, std::vector<std::string>{});
        const std::vector<Placed> expected = occtNodes(path);
        const bool gathered = std::count_if(expected.begin(), expected.end(), [](const Placed& node) {
                                  return node.name.starts_with("0 ");
                              }) > 1;
        EXPECT_EQ(gathered, read.root->GetName() == std::filesystem::path(path).stem().string());
        std::set<std::array<float, 4>> colours;
        const std::vector<Placed> nodes = nodesOf(*read.root, colours, gathered);
        ASSERT_EQ(nodes.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(nodes[i].name, expected[i].name);
            EXPECT_NEAR(nodes[i].triangles, expected[i].triangles, 0.1 * expected[i].triangles + 2)
                << nodes[i].name;
            for (size_t k = 0; expected[i].triangles > 0 && k < 6; ++k) {
                EXPECT_NEAR(nodes[i].box[k], expected[i].box[k], 0.5) << nodes[i].name;
            }
        }
        // Both files colour faces, not solids.
        if (name == "cq__red_cube_blue_cylinder.stp") {
            EXPECT_EQ(colours, (std::set<std::array<float, 4>>{{0.867f, 0.322f, 0.157f, 1},
                                                               {0.231f, 0.38f, 0.706f, 1}}));
        }
        if (name == "occt__trj6_as1-hc-214.stp") {
            EXPECT_EQ(colours, (std::set<std::array<float, 4>>{{0, 0, 1, 1}, {0, 1, 0, 1}, {1, 0, 0, 1}}));
        }
    }
}

std::string withRecords(const std::string& path, const std::string& records) {
    std::string text = test::readFile(path);
    return text.insert(text.rfind("ENDSEC;"), records);
}

// A solid and a faceted item in one shape: the cube's 12 triangles and the
// facet's one, the box reaching to its far corners (in metres).
TEST(BrepMeshTest, AShapeOfBrepAndFacetedItemsComesOutWhole) {
    OV_SHARED_DATA_OR_SKIP(path, "step/real/cq__red_cube_blue_cylinder.stp");
    std::string text = withRecords(path.string(), R"(#900010=FACETED_BREP('facet',#900011);
#900011=CLOSED_SHELL('',(#900012));
#900012=FACE('',(#900013));
#900013=FACE_OUTER_BOUND('',#900014,.T.);
#900014=POLY_LOOP('',(#900015,#900016,#900017));
#900015=CARTESIAN_POINT('',(0.,0.,0.));
#900016=CARTESIAN_POINT('',(0.1,0.,0.));
#900017=CARTESIAN_POINT('',(0.,0.,0.1));
)");
    const std::string items = "( #61, #62 )";
    text.replace(text.find(items), items.size(), "( #61, #62, #900010 )");
    const OcctBrepMesher mesher;
    const ImportedScene read = step::importStepText(text, "mixed.stp", {true, &mesher, occtDefaults()});
    EXPECT_EQ(read.warnings, std::vector<std::string>{});
    std::set<std::array<float, 4>> colours;
    const std::vector<Placed> nodes = nodesOf(*read.root, colours, true);
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[1].name, "0 red_cube");
    EXPECT_EQ(nodes[1].triangles, 13);
    EXPECT_EQ(nodes[1].box, (std::array<double, 6>{-10, 0, 0, 100, 10, 100}));
}

// Open CASCADE 7.6 crashes on an organization assigned to no item, or a
// child may hang or answer garbage: each refuses the file, saying why,
// and the process lives on.
TEST(BrepMeshTest, AChildThatFailsRefusesTheFile) {
    OV_SHARED_DATA_OR_SKIP(path, "step/real/cq__red_cube_blue_cylinder.stp");
    const OcctBrepMesher mesher;
    const auto refusal = [&mesher](const std::string& text, const step::StepLoadSettings& settings) {
        try {
            step::importStepText(text, "input.stp", {true, &mesher, settings});
        } catch (const ReadError& error) {
            return std::string(error.what());
        }
        return std::string("read");
    };
    const std::string crashing = withRecords(path.string(), R"(#900001=ORGANIZATION('o','o','');
#900002=ORGANIZATION_ROLE('r');
#900003=APPLIED_ORGANIZATION_ASSIGNMENT(#900001,#900002,());
)");
    EXPECT_EQ(
        refusal(crashing, {}),
        "input.stp: Open CASCADE died of signal 11 (Segmentation fault) reading or meshing its B-rep shapes");
    step::StepLoadSettings hurried;
    hurried.timeoutSeconds = 0.001;
    EXPECT_EQ(refusal(test::readFile(path), hurried),
              "input.stp: Open CASCADE took longer than 0.001 s to mesh its B-rep shapes, and was stopped");
    step::StepLoadSettings flat;
    flat.angularDeflectionDegrees = 0;
    EXPECT_THAT(refusal(test::readFile(path), flat),
                testing::HasSubstr("an angular deflection between 0 and 180"));

    step::BrepMeshes meshes;
    meshes[7].push_back({9, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2}});
    const std::string bytes = encodeMeshes(meshes);
    EXPECT_EQ(decodeMeshes(bytes, "in.stp").at(7).at(0).triangles, (std::vector<uint32_t>{0, 1, 2}));
    std::string beyond = bytes;
    beyond[beyond.size() - 4] = 3;
    for (const std::string& broken : {bytes.substr(0, bytes.size() - 1), beyond, bytes + "x"}) {
        EXPECT_THROW(decodeMeshes(broken, "in.stp"), ReadError);
    }
    EXPECT_THAT([] { decodeMeshes(encodeFailure("no shapes"), "in.stp"); },
                testing::ThrowsMessage<ReadError>("in.stp: no shapes"));
}

}  // namespace
}  // namespace ov::occt
