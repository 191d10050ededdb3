// Meshes saved as STEP geometry in the interop profile: what each form holds
// read back out of the file, the checker's verdict, and the meshes that
// cannot be written. Open CASCADE reads the faceted form in the tool's demo test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <regex>
#include <sstream>
#include <string>

#include "StepTestSupport.h"
#include "core/SceneWalk.h"
#include "step/FacetedMesh.h"

namespace ov::step {
namespace {

// A unit-high rectangle 2 long in two triangles, then a triangle with no
// area; normals of length 2 straight up; red at half opacity.
ovPointer<ovTriMesh> rectangle() {
    ovAttributes normals;
    normals.SetNormal(true);
    ovPointer<ovTriMesh> mesh(test::makeGeometry<ovTriMesh>({{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0}},
                                                            {0, 1, 2, 0, 2, 3, 0, 0, 1}, normals));
    for (int i = 0; i < 4; ++i) {
        mesh->getVertexBuffer()->Normal3(i) = {0, 0, 2};
    }
    mesh->SetName("m");
    return coloured(mesh, {1, 0, 0, 0.5f});
}

// P holds the rectangle, Q (moved) another mesh on its buffers whose
// placement is set to none, S one raised by 3 in its own placement; the
// scene is in millimetres.
ovPointer<ovNode> rectangleScene(ovPointer<ovTriMesh> mesh = rectangle()) {
    const auto copy = [&mesh](Wm4::Vector3f shift) {
        ovPointer<ovTriMesh> twin(new ovTriMesh(mesh->getVertexBuffer(), mesh->getIndexBuffer()));
        twin->SetName("m");
        twin->setMaterialState(mesh->getMaterialState());
        twin->editLocalTransform(true).SetTranslate(shift);
        return twin;
    };
    ovPointer<ovNode> root =
        namedNode("R", {namedNode("P", {mesh.get()}).get(),
                        translated(namedNode("Q", {copy({0, 0, 0}).get()}), {5, 0, 0}).get(),
                        namedNode("S", {copy({0, 0, 3}).get()}).get()});
    root->setMetadata(new ovWorldUnitsMetaData(0.001));
    return root;
}

// The numbers of each record of one entity, in file order (instance
// references left out).
std::vector<std::vector<double>> numbersOf(const std::string& file, const std::string& entity) {
    static const std::regex kNumber(R"((#?)(-?[0-9]+(\.[0-9]*)?(E[-+]?[0-9]+)?))");
    std::vector<std::vector<double>> records;
    std::istringstream lines(file);
    for (std::string line; std::getline(lines, line);) {
        const size_t start = line.find("=" + entity + "(");
        if (start == std::string::npos) {
            continue;
        }
        std::vector<double>& numbers = records.emplace_back();
        for (std::sregex_iterator it(line.begin() + start, line.end(), kNumber), end; it != end; ++it) {
            if ((*it)[1].length() == 0) {
                numbers.push_back(std::stod((*it)[2]));
            }
        }
    }
    return records;
}

size_t count(const std::string& text, const std::string& what) {
    size_t found = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++found;
    }
    return found;
}

class StepGeometryTest : public ::testing::Test {
protected:
    std::string save(ovSpatial* root, bool saves = true) {
        return test::saveToMemory(driver, {root}, saves, nullptr, stepOptions("geometry.stp", "", settings));
    }

    test::FixedClock clock;
    test::LogCapture log;
    StepMeshDriver driver{schemaPath()};
    StepSaveSettings settings{StepProfile::Interop, StepGeometry::None};
};

// Each form checks clean and writes the shared mesh once, the raised copy
// apart, one half-transparent colour for all. Read back out of the file,
// the tessellated form holds the scene: coordinates in millimetres, the copy
// 3 higher, triangles by 1-based index (no-area ones kept), unit normals per
// point. The faceted form has a face per triangle with area.
TEST_F(StepGeometryTest, EachFormHoldsTheSceneAndChecksClean) {
    const struct {
        StepGeometry form;
        std::vector<std::pair<std::string, size_t>> records;
        size_t warnings;
    } cases[] = {
        {StepGeometry::Tessellated,
         {{"=TESSELLATED_SHAPE_REPRESENTATION('P',", 1}, {"=COORDINATES_LIST(", 2}},
         0},
        {StepGeometry::Faceted, {{"=FACE_SURFACE(", 4}, {"=CARTESIAN_POINT('',(0.,1.,3.));", 1}}, 2},
    };
    for (const auto& [form, records, warnings] : cases) {
        log.clear();
        settings.geometry = form;
        const ovPointer<ovNode> scene = rectangleScene();
        const std::string file = save(scene.get());
        expectChecksClean(file);
        for (const auto& [record, times] : records) {
            EXPECT_EQ(count(file, record), times) << record;
        }
        for (const auto& [record, times] :
             {std::pair<std::string, size_t>{"=SHAPE_REPRESENTATION_RELATIONSHIP(", 3},
              {"=COLOUR_RGB('',1.,0.,0.);", 1},
              {"=SURFACE_STYLE_TRANSPARENT(0.5);", 1},
              {"=STYLED_ITEM('color',", 2}}) {
            EXPECT_EQ(count(file, record), times) << record;
        }
        EXPECT_EQ(log.texts(ovLogWarning).size(), warnings);
        if (form == StepGeometry::Tessellated) {
            // The point count, then the points; the raised copy 3 higher.
            EXPECT_EQ(numbersOf(file, "COORDINATES_LIST"),
                      (std::vector<std::vector<double>>{{4, 0, 0, 0, 2, 0, 0, 2, 1, 0, 0, 1, 0},
                                                        {4, 0, 0, 3, 2, 0, 3, 2, 1, 3, 0, 1, 3}}));
            // pnmax, the normals, then the triangles.
            const std::vector<double> set{4, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 1, 2, 3, 1, 3, 4, 1, 1, 2};
            EXPECT_EQ(numbersOf(file, "TRIANGULATED_SURFACE_SET"),
                      (std::vector<std::vector<double>>{set, set}));
        }
    }
}

ovPointer<ovNode> placed(ovPointer<ovNode> node, const Wm4::Matrix3f& linear, Wm4::Vector3f shift) {
    node->editLocalTransform(true).SetRotate(linear);
    node->editLocalTransform(true).SetTranslate(shift);
    return node;
}

// The corners of every mesh's vertices placed in the world, in millimetres (Open CASCADE's
// reading is held against it where its reader is built).
[[maybe_unused]] std::vector<double> worldBox(const ovSpatial& root) {
    std::vector<double> box{1e30, 1e30, 1e30, -1e30, -1e30, -1e30};
    walkScene(root, nullptr, [&box](const WalkStep<const ovSpatial>& step) {
        if (step.object.IsDerived(ovTriMesh::TYPE)) {
            const ovVertexBuffer& vertices = *static_cast<const ovTriMesh&>(step.object).getVertexBuffer();
            for (int i = 0; i < vertices.GetVertexQuantity(); ++i) {
                const Wm4::Vector3f p = step.world.ApplyForward(vertices.Position3(i), true);
                for (size_t k = 0; k < 3; ++k) {
                    box[k] = std::min(box[k], double(p[k]));
                    box[k + 3] = std::max(box[k + 3], double(p[k]));
                }
            }
        }
    });
    return box;
}

// Mirrors, scales and shears, nested, and one definition placed plainly
// and mirrored: Open CASCADE finds every cube where the scene has it, each
// a solid of its volume. The mirrored and scaled copies are products of
// their own, and nothing is worth a warning.
TEST_F(StepGeometryTest, WhatAReaderPlacesInTheWorldIsTheScenesGeometryUnderAnyPlacement) {
    settings.geometry = StepGeometry::Faceted;
    ovPointer<ovInstanceDefId> definition(new ovInstanceDefId);
    const auto part = [&definition](const std::string& name, const Wm4::Matrix3f& linear,
                                    Wm4::Vector3f shift) {
        return placed(instanceOf(namedNode(name, {cube().get()}).get(), definition.get()), linear, shift);
    };
    ovPointer<ovNode> scaled =
        placed(namedNode("scaled", {part("inner", {0, -1, 0, 3, 0, 0, 0, 0, 1}, {0, 0, 3}).get()}),
               {2, 0, 0, 0, 2, 0, 0, 0, 2}, {-5, 0, 0});
    ovPointer<ovNode> root = namedNode(
        "R", {part("plain", Wm4::Matrix3f::Identity(), {0, 0, 0}).get(),
              part("mirrored", {-1, 0, 0, 0, 1, 0, 0, 0, 1}, {5, 0, 0}).get(), scaled.get(),
              placed(namedNode("sheared", {cube().get()}), {1, 0.5f, 0, 0, 1, 0, 0, 0, 1}, {0, 5, 0}).get()});
    root->setMetadata(new ovWorldUnitsMetaData(0.001));
    const std::string file = save(root.get());
    EXPECT_EQ(log.texts(ovLogWarning), std::vector<std::string>{});
    EXPECT_EQ(count(file, "=PRODUCT("), 6u);
#ifdef OV_OCCT_STEP_READER
    const std::string read = occtReading("--native --world", file);
    std::smatch box;
    ASSERT_TRUE(std::regex_search(read, box, std::regex(" in (\\S+) (\\S+) (\\S+) (\\S+) (\\S+) (\\S+)")))
        << read;
    EXPECT_THAT(read, testing::StartsWith("4 solids, 0 open shells, volume 27.000000,"));
    const std::vector<double> expected = worldBox(*root);
    for (size_t k = 0; k < 6; ++k) {
        EXPECT_NEAR(std::stod(box.str(k + 1)), expected[k], 1e-3) << read;
    }
#endif
}

// A small triangle far from the origin: its plane, read as the file spells
// the numbers, meets its corners within 1e-7 of its size, though the text of
// each coordinate rounds its single-precision value.
TEST_F(StepGeometryTest, FacetedPlanesMeetTheirPointsAsTheFileSpellsThem) {
    settings.geometry = StepGeometry::Faceted;
    ovPointer<ovTriMesh> mesh(test::makeGeometry<ovTriMesh>(
        {{3000.7f, 2000.3f, 1000.1f}, {3000.713f, 2000.3f, 1000.1f}, {3000.7f, 2000.317f, 1000.101f}},
        {0, 1, 2}));
    const std::string file = save(namedNode("R", {namedNode("P", {mesh.get()}).get()}).get());
    const std::vector<std::vector<double>> points = numbersOf(file, "CARTESIAN_POINT");
    const std::vector<double> n = numbersOf(file, "DIRECTION").back();
    const std::vector<double>& a = points[points.size() - 3];
    for (const std::vector<double>& p : {points[points.size() - 2], points.back()}) {
        EXPECT_LT(std::fabs((p[0] - a[0]) * n[0] + (p[1] - a[1]) * n[1] + (p[2] - a[2]) * n[2]),
                  1e-7 * 0.013);
    }
}

// A node of two meshes of two materials is one representation named after
// the node, holding both, each styled in its colour; Open CASCADE reads one
// shape of that name.
TEST_F(StepGeometryTest, ANodeOfSeveralMaterialsIsOneRepresentationNamedAfterIt) {
    const ovPointer<ovTriMesh> magenta = coloured(cube(), {1, 0, 1, 1}),
                               blue = coloured(cube(), {0, 0, 1, 1});
    blue->editLocalTransform(true).SetTranslate({2, 0, 0});
    const ovPointer<ovNode> root = namedNode("R", {namedNode("body", {magenta.get(), blue.get()}).get()});
    for (const auto& [form, representation] :
         {std::pair{StepGeometry::Faceted, "=FACETED_BREP_SHAPE_REPRESENTATION('body',(#"},
          {StepGeometry::Tessellated, "=TESSELLATED_SHAPE_REPRESENTATION('body',(#"}}) {
        settings.geometry = form;
        const std::string file = save(root.get());
        expectChecksClean(file);
        EXPECT_EQ(count(file, representation), 1u) << representation;
        EXPECT_EQ(count(file, "=SHAPE_REPRESENTATION_RELATIONSHIP("), 1u);
        EXPECT_EQ(count(file, "=STYLED_ITEM('color',"), 2u);
#ifdef OV_OCCT_STEP_READER
        if (form == StepGeometry::Faceted) {
            EXPECT_THAT(occtReading("--native --shapes", file), testing::StartsWith("body: 24 triangles"));
        }
#endif
    }
}

// A render mesh (each side of a cube with its own four vertices, turned
// inwards), a vertex no face uses, a square, a triangle turned against the
// square and a sheet seen from both sides: points welded, only the used ones
// kept, the cube one closed piece turned outwards, the others open; the
// triangle's piece has its own copies of the square's two points.
TEST(FacetedMeshTest, PointsAreWeldedAndOnlyClosedManifoldPiecesAreClosed) {
    std::vector<Wm4::Vector3f> positions;
    std::vector<std::array<int, 3>> triangles;
    const auto quad = [&](std::array<Wm4::Vector3f, 4> corners) {
        const int first = static_cast<int>(positions.size());
        positions.insert(positions.end(), corners.begin(), corners.end());
        triangles.push_back({first, first + 1, first + 2});
        triangles.push_back({first, first + 2, first + 3});
    };
    const std::array<Wm4::Vector3f, 8> c{
        {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}};
    for (const auto& [a, b, d, e] :
         {std::array{0, 1, 2, 3}, {4, 7, 6, 5}, {0, 4, 5, 1}, {1, 5, 6, 2}, {2, 6, 7, 3}, {3, 7, 4, 0}}) {
        quad({c[a], c[b], c[d], c[e]});
    }
    positions.push_back({9, 9, 9});
    quad({{{5, 0, 0}, {6, 0, 0}, {6, 1, 0}, {5, 1, 0}}});
    positions.push_back({5, -1, 0});
    triangles.push_back({25, 26, 29});  // along the square's first edge, the same way
    quad({{{8, 0, 0}, {9, 0, 0}, {9, 1, 0}, {8, 1, 0}}});
    quad({{{8, 1, 0}, {9, 1, 0}, {9, 0, 0}, {8, 0, 0}}});
    const FacetedMesh mesh =
        buildFacetedMesh(positions, triangles.size(), [&triangles](size_t t) { return triangles[t]; });
    EXPECT_EQ(mesh.points.size(), 8u + 4u + 3u + 4u);
    ASSERT_EQ(mesh.pieces.size(), 4u);
    EXPECT_TRUE(mesh.pieces[0].closed);
    EXPECT_EQ(mesh.pieces[0].faceCount, 12u);
    EXPECT_FALSE(mesh.pieces[1].closed || mesh.pieces[2].closed || mesh.pieces[3].closed);
    // The cube's first face, turned: its normal points out of the cube (down).
    const auto& face = mesh.faces[0];
    EXPECT_EQ(faceNormal(mesh.points[face[0]], mesh.points[face[1]], mesh.points[face[2]])->Z(), -1.0);
}

// Meshes whose data cannot be written fail the save with the reason; the
// exact profile refuses meshes whatever the geometry form.
TEST_F(StepGeometryTest, MeshesThatCannotBeWrittenFailTheSaveWithTheReason) {
    const auto withIndex = [](int index) {
        ovPointer<ovTriMesh> mesh = rectangle();
        mesh->getIndexBuffer()->getData()[4] = index;
        return mesh;
    };
    ovPointer<ovTriMesh> notFinite = rectangle();
    notFinite->getVertexBuffer()->Position3(3) = {0, std::numeric_limits<float>::infinity(), 0};
    const struct {
        ovPointer<ovTriMesh> mesh;
        StepProfile profile;
        std::string error;
    } cases[] = {
        {withIndex(4), StepProfile::Interop,
         "Step driver : mesh 'm' of node 'P' has a vertex index out of its 4 vertices"},
        {withIndex(-1), StepProfile::Interop,
         "Step driver : mesh 'm' of node 'P' has a vertex index out of its 4 vertices"},
        {notFinite, StepProfile::Interop,
         "Step driver : mesh 'm' of node 'P' has a vertex 3 that is not finite"},
        {rectangle(), StepProfile::Exact, "Fail to save spatial tree in step ovNode"},
    };
    for (const auto& [mesh, profile, error] : cases) {
        SCOPED_TRACE(error);
        log.clear();
        settings = {profile, StepGeometry::Faceted};
        const ovPointer<ovNode> scene = rectangleScene(mesh);
        save(scene.get(), false);
        EXPECT_EQ(log.texts(ovLogError).front(), error);
    }
}

}  // namespace
}  // namespace ov::step
