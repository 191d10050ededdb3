#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "StlTestSupport.h"
#include "stl/StlWriter.h"
#include "support/TestSupport.h"

namespace ov::test {
namespace {

const std::string kHeader = "Stl binary file, Ombre Vian exporter" + std::string(44, ' ');

void expectPoint(const Point& actual, const Point& expected, const char* what) {
    EXPECT_EQ(actual.X(), expected.X()) << what;
    EXPECT_EQ(actual.Y(), expected.Y()) << what;
    EXPECT_EQ(actual.Z(), expected.Z()) << what;
}

void expectFacet(const StlFacet& facet, const Point& normal, const Point& c0, const Point& c1,
                 const Point& c2, uint16_t colour) {
    expectPoint(facet.normal, normal, "normal");
    expectPoint(facet.corners[0], c0, "corner 1");
    expectPoint(facet.corners[1], c1, "corner 2");
    expectPoint(facet.corners[2], c2, "corner 3");
    EXPECT_EQ(facet.colour, colour);
}

ovPointer<ovNode> singleMeshScene(ovTriMesh* mesh) {
    ovPointer<ovNode> root(new ovNode);
    root->attachChild(mesh);
    return root;
}

TEST(StlWriterTest, TwoPartSceneIsWrittenInWorldCoordinatesFromOneMinimumCorner) {
    const ovPointer<ovNode> scene = buildTwoPartScene();
    const std::string bytes = saveStl(scene.get());
    const StlFile file = decodeStl(bytes);

    EXPECT_EQ(file.header, kHeader);
    ASSERT_EQ(file.count, 6u);
    ASSERT_EQ(file.facets.size(), 6u);
    EXPECT_EQ(file.trailingBytes, 0u);

    // World corners: the tetrahedron spans x 10..11, the turned quad x -1..0,
    // y 5..7 at z -2. Both are shifted by (1, 0, 2), the one minimum corner
    // of the whole scene, so that they keep their relative placement.
    const uint16_t red = 0x001F;
    const float s = 1.0f * (1.0f / std::sqrt(3.0f));
    expectFacet(file.facets[0], {0, 0, -1}, {11, 0, 2}, {11, 1, 2}, {12, 0, 2}, red);
    expectFacet(file.facets[1], {0, -1, 0}, {11, 0, 2}, {12, 0, 2}, {11, 0, 3}, red);
    expectFacet(file.facets[2], {-1, 0, 0}, {11, 0, 2}, {11, 0, 3}, {11, 1, 2}, red);
    expectFacet(file.facets[3], {s, s, s}, {12, 0, 2}, {11, 1, 2}, {11, 0, 3}, red);
    // Diffuse (0.2, 0.6, 1.0): levels 6, 18 and 31; red 6 with bits 1 to 3
    // set is 14.
    const uint16_t blueGreen = (31 << 10) | (18 << 5) | 14;
    expectFacet(file.facets[4], {0, 0, 1}, {1, 5, 0}, {1, 7, 0}, {0, 7, 0}, blueGreen);
    expectFacet(file.facets[5], {0, 0, 1}, {1, 5, 0}, {0, 7, 0}, {0, 5, 0}, blueGreen);

    expectMatchesGolden(bytes, "two_parts.stl");
}

TEST(StlWriterTest, SubtreeWithoutMeshesIsJustTheHeaderAndAZeroCount) {
    ovPointer<ovNode> root(new ovNode);
    root->attachChild(new ovNode);
    auto* line = new ovLine(new ovVertexBuffer(ovAttributes(), 2), new ovIndexBuffer(2));
    root->setChild(2, line);  // slot 1 stays empty

    const std::string bytes = saveStl(root.get());
    EXPECT_EQ(bytes.size(), 84u);
    EXPECT_EQ(bytes.substr(0, 80), kHeader);
    EXPECT_EQ(decodeStl(bytes).count, 0u);
    expectMatchesGolden(bytes, "no_meshes.stl");
}

TEST(StlWriterTest, NegativeCoordinatesAreShiftedToZero) {
    const ovPointer<ovNode> root =
        singleMeshScene(makeMesh({{-5.5f, -6, -7}, {-4.5f, -6, -7}, {-5.5f, -5, -7}}, {0, 1, 2}));
    const std::string bytes = saveStl(root.get());
    const StlFile file = decodeStl(bytes);
    ASSERT_EQ(file.facets.size(), 1u);
    expectFacet(file.facets[0], {0, 0, 1}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, 0);
    expectMatchesGolden(bytes, "negative_coordinates.stl");
}

TEST(StlWriterTest, DegenerateTrianglesAndColourWords) {
    ovPointer<ovNode> root(new ovNode);
    ovTriMesh* white = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {0, 1, 1, 0, 1, 2});
    setDiffuse(*white, 1.0f, 1.0f, 1.0f);
    ovTriMesh* black = makeMesh({{0, 0, 0}, {0, 2, 0}, {0, 0, 2}}, {0, 1, 2});
    setDiffuse(*black, 0.0f, 0.0f, 0.0f);
    ovTriMesh* bare = makeMesh({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {0, 1, 2});
    root->attachChild(white);
    root->attachChild(black);
    root->attachChild(bare);

    const std::string bytes = saveStl(root.get());
    const StlFile file = decodeStl(bytes);
    ASSERT_EQ(file.facets.size(), 4u);
    expectFacet(file.facets[0], {0, 0, 0}, {0, 0, 0}, {1, 0, 0}, {1, 0, 0}, 0x7FFF);
    expectFacet(file.facets[1], {0, -1, 0}, {0, 0, 0}, {1, 0, 0}, {0, 0, 1}, 0x7FFF);
    expectFacet(file.facets[2], {1, 0, 0}, {0, 0, 0}, {0, 2, 0}, {0, 0, 2}, 0x000E);
    expectFacet(file.facets[3], {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 0);
    expectMatchesGolden(bytes, "degenerate_and_colours.stl");
}

TEST(StlWriterTest, ColourLevelsAreTruncatedAndMasked) {
    EXPECT_EQ(stlColourWord(nullptr), 0);
    ovMaterialState material;
    const auto word = [&material](float r, float g, float b) {
        material.diffuse = Wm4::ColorRGBA(r, g, b, 1.0f);
        return stlColourWord(&material);
    };
    EXPECT_EQ(word(1, 1, 1), 0x7FFF);
    EXPECT_EQ(word(0, 0, 0), 0x000E);
    // 0.999 x 31 = 30.97 truncates to 30; 0.5 x 31 = 15.5 to 15.
    EXPECT_EQ(word(0.999f, 0.5f, 0.999f), (30 << 10) | (15 << 5) | 30);
    // Red level 1 gains bits 1 to 3: 0b01111.
    EXPECT_EQ(word(1.0f / 31.0f + 1e-6f, 0, 0), 0x000F);
    // Levels beyond 31 keep their low 5 bits, negative ones their two's
    // complement bits: 2 x 31 = 62 = 0b111110; -0.5 x 31 = -15.5 truncates
    // to -15 = ...0b10001.
    EXPECT_EQ(word(0, 2.0f, -0.5f), (0b10001 << 10) | (0b11110 << 5) | 0x0E);
    // What no int can hold counts as 0 bits.
    EXPECT_EQ(word(std::numeric_limits<float>::quiet_NaN(), 1e30f, -1e30f), 0x000E);
}

TEST(StlWriterTest, MeshesAreWrittenDepthFirstInChildOrder) {
    // root { A { m1, (empty), B { m2 } }, m3 }: m1, m2, m3. Each mesh is told
    // apart by its red level: 0.1 gives 3 (0x0F with bits 1 to 3), 0 gives
    // 0 (0x0E), 0.55 gives 17 (0x1F).
    ovPointer<ovNode> root(new ovNode);
    auto* a = new ovNode;
    auto* b = new ovNode;
    const auto triangle = [](float red) {
        ovTriMesh* mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2});
        setDiffuse(*mesh, red, 0, 0);
        return mesh;
    };
    root->attachChild(a);
    root->attachChild(triangle(0.55f));
    a->attachChild(triangle(0.1f));
    a->setChild(2, b);
    b->attachChild(triangle(0.0f));

    const StlFile file = decodeStl(saveStl(root.get()));
    ASSERT_EQ(file.facets.size(), 3u);
    EXPECT_EQ(file.facets[0].colour, 0x0F);
    EXPECT_EQ(file.facets[1].colour, 0x0E);
    EXPECT_EQ(file.facets[2].colour, 0x1F);
}

TEST(StlWriterTest, AMeshAsRootIsWrittenWithItsOwnPlacement) {
    ovPointer<ovTriMesh> mesh(makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}));
    mesh->editLocalTransform(true).SetScale({1.0f, -2.0f, 1.0f});

    const StlFile file = decodeStl(saveStl(mesh.get()));
    ASSERT_EQ(file.facets.size(), 1u);
    // y mirrored and doubled, then shifted up by 2: the winding turns over.
    expectFacet(file.facets[0], {0, 0, -1}, {0, 2, 0}, {1, 2, 0}, {0, 0, 0}, 0);
}

TEST(StlWriterTest, VeryDeepSceneDoesNotExhaustTheStack) {
    ovPointer<ovNode> root(new ovNode);
    ovNode* deepest = root.get();
    for (int level = 0; level < 100000; ++level) {
        auto* child = new ovNode;
        deepest->attachChild(child);
        deepest = child;
    }
    deepest->attachChild(makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}));

    EXPECT_EQ(decodeStl(saveStl(root.get())).facets.size(), 1u);
}

TEST(StlWriterTest, TrianglesThatCannotBeReadAreWrittenEmptyAndReported) {
    LogCapture log;
    ovTriMesh* mesh = makeMesh({{1, 1, 1}, {2, 1, 1}, {1, 2, 1}}, {0, 1, 2, 0, 3, 1, -1, 1, 2});
    mesh->SetName("Broken");
    setDiffuse(*mesh, 1, 1, 1);
    const ovPointer<ovNode> root = singleMeshScene(mesh);

    const StlFile file = decodeStl(saveStl(root.get()));
    ASSERT_EQ(file.count, 3u);
    ASSERT_EQ(file.facets.size(), 3u) << "the count and the records must agree";
    expectFacet(file.facets[0], {0, 0, 1}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, 0x7FFF);
    expectFacet(file.facets[1], {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 0x7FFF);
    expectFacet(file.facets[2], {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 0x7FFF);
    EXPECT_EQ(log.texts(ovLogWarning),
              std::vector<std::string>{
                  "Stl driver wrote 2 of the 3 triangles of mesh \"Broken\" as empty triangles: "
                  "their vertex data is missing or their indices lie outside the vertex "
                  "buffer."});
}

TEST(StlWriterTest, NotANumberGivesAZeroNormalAndLeavesTheMinimumAlone) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const ovPointer<ovNode> root =
        singleMeshScene(makeMesh({{1, 1, 1}, {2, 1, 1}, {1, 2, 1}, {nan, 1, 1}}, {0, 1, 2, 0, 1, 3}));

    const StlFile file = decodeStl(saveStl(root.get()));
    ASSERT_EQ(file.facets.size(), 2u);
    expectFacet(file.facets[0], {0, 0, 1}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, 0);
    expectPoint(file.facets[1].normal, {0, 0, 0}, "normal of a triangle with a NaN corner");
    EXPECT_TRUE(std::isnan(file.facets[1].corners[2].X()));
}

}  // namespace
}  // namespace ov::test
