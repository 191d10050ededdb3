#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <optional>
#include <sstream>

#include "../core/LineDrawingTestSupport.h"
#include "stl/StlMeshDriver.h"
#include "stl/StlWriter.h"

namespace ov::test {
namespace {

ovTriMesh* makeMesh(const std::vector<Wm4::Vector3f>& positions, const std::vector<int>& indices,
                    std::optional<Wm4::ColorRGBA> diffuse = {}, const ovAttributes& attributes = {}) {
    ovTriMesh* mesh = makeGeometry<ovTriMesh>(positions, indices, attributes);
    if (diffuse) {
        mesh->editMaterialState(true)->diffuse = *diffuse;
    }
    return mesh;
}

// A red tetrahedron moved to (10, 0, 0), and a blue-green quad with normals
// and texture coordinates turned a quarter about z (x goes to y, y to -x) and
// moved to (0, 5, -2).
ovPointer<ovNode> twoPartScene() {
    ovAttributes withNormalAndUv;
    withNormalAndUv.SetNormal(true);
    withNormalAndUv.SetTCoordChannels(0, 2);
    const ovPointer<ovNode> tetrahedron =
        makeRoot(nullptr, {makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                                    {0, 2, 1, 0, 1, 3, 0, 3, 2, 1, 2, 3}, Wm4::ColorRGBA(1, 0, 0, 1))});
    tetrahedron->editLocalTransform(true).SetTranslate({10, 0, 0});
    const ovPointer<ovNode> quad =
        makeRoot(nullptr, {makeMesh({{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0}}, {0, 1, 2, 0, 2, 3},
                                    Wm4::ColorRGBA(0.2f, 0.6f, 1, 1), withNormalAndUv)});
    quad->editLocalTransform(true).SetRotate(Wm4::Matrix3f(0, -1, 0, 1, 0, 0, 0, 0, 1));
    quad->editLocalTransform(true).SetTranslate({0, 5, -2});
    return makeRoot(nullptr, {tetrahedron.get(), quad.get()});
}

std::string saveStl(ovSpatial* root) {
    StlMeshDriver driver;
    return saveToMemory(driver, {root}, true);
}

// The records of a binary STL file as numpy-stl reads them, one a line: its
// normal (as written, not recomputed), its three corners and its colour word,
// after checking that they fill the file and agree with its count.
std::string numpyStlReading(const std::string& bytes) {
    const TempDir dir;
    writeFile(dir.file("read.stl"), bytes);
    const std::string reading = runCommand(
        "/usr/bin/python3 -W ignore -c 'import sys; from stl import mesh; "
        "m = mesh.Mesh.from_file(sys.argv[1], calculate_normals=False); "
        "[print(*map(float, [*n, *v.flatten()]), int(a[0])) for n, v, a in zip(m.normals, m.vectors, "
        "m.attr)]' " +
        dir.file("read.stl"));
    EXPECT_EQ(bytes.size(), 84 + 50 * std::count(reading.begin(), reading.end(), '\n'))
        << "the count and the records must agree";
    return reading;
}

using Facets = std::vector<std::vector<float>>;
Facets facetsOf(const std::string& bytes) {
    std::istringstream lines(numpyStlReading(bytes));
    Facets facets;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream numbers(line);
        facets.emplace_back(std::istream_iterator<float>(numbers), std::istream_iterator<float>());
    }
    return facets;
}

// numpy-stl's reading of each file is kept beside it: the two parts move by
// (1, 0, 2), the minimum corner of the whole scene, and so keep their
// placement; diffuse (0.2, 0.6, 1.0) gives levels 6, 18 and 31, and red 6
// with bits 1 to 3 set is 14. Triangles without area have a zero normal;
// white is 0x7FFF, black keeps the red bits 0x0E and no material gives 0.
TEST(StlWriterTest, ScenesAreWrittenAsTheirGoldenFilesWhichNumpyStlReads) {
    ovPointer<ovNode> noMeshes = makeRoot(nullptr, {new ovNode});
    noMeshes->setChild(2, new ovLine(new ovVertexBuffer(ovAttributes(), 2), new ovIndexBuffer(2)));
    const std::pair<std::string, ovPointer<ovNode>> cases[] = {
        {"two_parts", twoPartScene()},
        // A node, an empty slot and a line: the header and a zero count.
        {"no_meshes", noMeshes},
        {"degenerate_and_colours",
         makeRoot(
             nullptr,
             {makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {0, 1, 1, 0, 1, 2}, Wm4::ColorRGBA(1, 1, 1, 1)),
              makeMesh({{0, 0, 0}, {0, 2, 0}, {0, 0, 2}}, {0, 1, 2}, Wm4::ColorRGBA(0, 0, 0, 1)),
              makeMesh({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {0, 1, 2})})},
    };
    for (const auto& [name, scene] : cases) {
        const std::string bytes = saveStl(scene.get());
        expectMatchesGolden("stl/" + name + ".stl", bytes);
        if (kOutsideReadersRun) {
            expectMatchesGolden("stl/" + name + ".numpy-stl.txt", numpyStlReading(bytes));
        }
    }
}

// In-range levels are in the golden files; levels beyond them keep their low
// 5 bits, and what no int can hold counts as 0 bits.
TEST(StlWriterTest, ColourLevelsOutOfRangeAreMasked) {
    ovMaterialState material;
    material.diffuse = {0, 2, -0.5f, 1};
    EXPECT_EQ(stlColourWord(&material), (0b10001 << 10) | (0b11110 << 5) | 0x0E);
    material.diffuse = {std::nanf(""), 1e30f, -1e30f, 1};
    EXPECT_EQ(stlColourWord(&material), 0x0E);
}

TEST(StlWriterTest, DeepDataIsLoadedOnlyWhenNotResidentAndTrianglesThatCannotBeReadAreWrittenEmpty) {
    OV_OUTSIDE_READERS_OR_SKIP();
    LogCapture log;
    const ovPointer<ovTriMesh> broken =
        makeMesh({{1, 1, 1}, {2, 1, 1}, {1, 2, 1}}, {0, 1, 2, 0, 3, 1, -1, 1, 2}, Wm4::ColorRGBA(1, 1, 1, 1));
    broken->SetName("Broken");
    const ovPointer<ovTriMesh> lost = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2, 2, 1, 0});
    const ovPointer<ovTriMesh> paged = makeMesh({{1, 1, 1}, {2, 1, 1}, {1, 2, 1}}, {0, 1, 2});
    makeNonResident(*paged, true);
    ovRendererInterface::DeleteCPUData(lost->getVertexBuffer(), false);
    lost->getVertexBuffer()->setReloadable(false);
    // The paged mesh lies a hundred thousand nodes deep: no walk may use the
    // stack for depth.
    const ovPointer<ovNode> root = makeRoot(nullptr, {broken.get(), lost.get()});
    ovNode* deepest = root.get();
    for (int level = 0; level < 100000; ++level) {
        deepest = static_cast<ovNode*>(deepest->getChild(deepest->attachChild(new ovNode)));
    }
    deepest->attachChild(paged.get());
    const uint64_t loads = ovRendererInterface::loadCount(), deletes = ovRendererInterface::deleteCount();

    const std::vector<float> empty(13), emptyWhite = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7FFF};
    const std::vector<float> white = {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0x7FFF};
    const std::vector<float> plain = {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0};
    EXPECT_EQ(facetsOf(saveStl(root.get())), (Facets{white, emptyWhite, emptyWhite, empty, empty, plain}));
    EXPECT_EQ(log.texts(ovLogWarning),
              (std::vector<std::string>{
                  "Stl driver wrote 2 of the 3 triangles of mesh \"Broken\" as empty triangles: "
                  "their vertex data is missing or their indices lie outside the vertex buffer.",
                  "Stl driver wrote 2 of the 2 triangles of mesh \"\" as empty triangles: "
                  "their vertex data is missing or their indices lie outside the vertex buffer."}));
    // Resident data is used as it is. The paged mesh's vertices are loaded
    // for the minimum, then its vertices and indices for the records, each
    // dropped again after use.
    EXPECT_EQ(ovRendererInterface::loadCount() - loads, 3u);
    EXPECT_EQ(ovRendererInterface::deleteCount() - deletes, 3u);
    EXPECT_FALSE(paged->getVertexBuffer()->hasCPUData() || paged->getIndexBuffer()->hasCPUData());
    EXPECT_FALSE(lost->getVertexBuffer()->hasCPUData());
    EXPECT_TRUE(lost->getIndexBuffer()->hasCPUData()) << "the resident index buffer stays resident";
}

}  // namespace
}  // namespace ov::test
