#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ovmesh/ObjImport.h"
#include "ovmesh/ToolError.h"
#include "support/TestSupport.h"
#include "tools/ovmesh/TestHelpers.h"

namespace ov::test {
namespace {

using ovmesh::ObjImport;

std::vector<std::string> childNames(const ovNode& node) {
    std::vector<std::string> names;
    for (int i = 0; i < node.getNbChildren(); ++i) {
        names.push_back(node.getChild(i)->GetName());
    }
    return names;
}

// The positions of the corners a geometry's indices name.
std::vector<Wm4::Vector3f> corners(const ovBaseGeometry& geometry) {
    std::vector<Wm4::Vector3f> result;
    for (int i = 0; i < geometry.getIndexBuffer()->GetIndexQuantity(); ++i) {
        result.push_back(geometry.getVertexBuffer()->Position3(geometry.getIndexBuffer()->getData()[i]));
    }
    return result;
}

const Wm4::ColorRGBA kNoMaterial(-1, -1, -1, -1);

Wm4::ColorRGBA diffuse(const ovTriMesh& mesh) {
    return mesh.getMaterialState() != nullptr ? mesh.getMaterialState()->diffuse : kNoMaterial;
}

const std::string kTriangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";

// Its triangles, colours and coordinates are checked where it is converted to STL.
TEST(ObjImportTest, EachGroupIsANodeWithItsMeshesAndPolylines) {
    const ObjImport imported = ovmesh::importObj((testDataDir() / "obj" / "steps.obj").string());
    EXPECT_TRUE(imported.warnings.empty());
    EXPECT_EQ(imported.root->GetName(), "steps");
    ASSERT_EQ(childNames(*imported.root), (std::vector<std::string>{"base", "step", "outline"}));
    const auto& base = child<ovTriMesh>(child(*imported.root, 0), 0);
    EXPECT_EQ(base.getMaterialState()->GetName(), "red");
    EXPECT_EQ(base.getMaterialState()->ambient, Wm4::ColorRGBA(0.1f, 0.0f, 0.0f, 1.0f));
    // A normal at every corner of its 6 quadrilaterals.
    EXPECT_TRUE(base.getVertexBuffer()->GetAttributes().HasNormal());
    EXPECT_EQ(base.getVertexBuffer()->GetVertexQuantity(), 24);
    // A closed loop of 4 segments and one diagonal, in translucent blue.
    const auto& outline = child<ovLine>(child(*imported.root, 2), 0);
    EXPECT_EQ(outline.getColor(), Wm4::ColorRGBA(0.1f, 0.2f, 0.9f, 0.5f));
    const std::vector<Wm4::Vector3f> ends = corners(outline);
    ASSERT_EQ(ends.size(), 10u);
    EXPECT_EQ(ends[0], Wm4::Vector3f(-5, -5, 0));
    EXPECT_EQ(ends[7], Wm4::Vector3f(-5, -5, 0));
    EXPECT_EQ(ends[9], Wm4::Vector3f(45, 25, 0));
}

TEST(ObjImportTest, GroupsMergeByNameAndSplitByMaterialWhateverTheLineEnds) {
    TempDir folder;
    writeFile(folder.path() / "colours.mtl", "newmtl a\nKd 1 0 0\nnewmtl b\nKd 0 0 1\n");
    const ObjImport imported = ovmesh::importObjText(
        "mtllib colours.mtl\r\nv 0 0 0\r\nv +1 0 0 # signed\r\nv 0 1 0\r\nv 1 1 -.5\r\nvn 0 0 1\r\n"
        "g   left side  \r\nf 1//1 2//1 4//1 # no material yet\r\n"
        "usemtl a\nf 2 4 3\ng right\nl 1 2 3\no left side\nusemtl b\nf 1 4 3\n",
        "model.obj", folder.path());
    EXPECT_TRUE(imported.warnings.empty());
    ASSERT_EQ(childNames(*imported.root), (std::vector<std::string>{"left side", "right"}));
    const ovNode& left = child(*imported.root, 0);
    ASSERT_EQ(left.getNbChildren(), 3);
    EXPECT_EQ(corners(child<ovTriMesh>(left, 0)),
              (std::vector<Wm4::Vector3f>{{0, 0, 0}, {1, 0, 0}, {1, 1, -0.5f}}));
    EXPECT_EQ(diffuse(child<ovTriMesh>(left, 0)), kNoMaterial);
    EXPECT_EQ(diffuse(child<ovTriMesh>(left, 1)), Wm4::ColorRGBA(1, 0, 0, 1));
    EXPECT_EQ(diffuse(child<ovTriMesh>(left, 2)), Wm4::ColorRGBA(0, 0, 1, 1));
    EXPECT_EQ(corners(child<ovLine>(child(*imported.root, 1), 0)).size(), 4u);
}

TEST(ObjImportTest, AMissingLibraryOrMaterialIsAWarningAndLeavesNoMaterial) {
    TempDir folder;
    writeFile(folder.path() / "known.mtl", "newmtl known\nKd 1 1 1\n");
    const std::pair<std::string, std::string> cases[] = {
        {"absent.mtl", "model.obj: material library 'absent.mtl' not found: meshes get no material"},
        {"known.mtl", "model.obj: material 'red' is not defined: its meshes get no material"}};
    for (const auto& [library, warning] : cases) {
        const ObjImport imported = ovmesh::importObjText(
            "mtllib " + library + "\n" + kTriangle + "usemtl red\nf 1 2 3\n", "model.obj", folder.path());
        EXPECT_EQ(imported.warnings, std::vector<std::string>{warning});
        EXPECT_EQ(diffuse(child<ovTriMesh>(child(*imported.root, 0), 0)), kNoMaterial) << library;
    }
}

TEST(ObjImportTest, BadDataIsRefusedWithTheLineAndTheReason) {
    TempDir folder;
    const std::pair<std::string, std::string> cases[] = {
        // An index may name a vertex defined further down; the largest one is reported.
        {kTriangle + "f 1 2 4\nv 1 1 1\nf 1 2 5\n",
         "6: vertex index 5 is out of range: 4 vertices defined in the file"},
        {kTriangle + "f -1 -2 -4\nv 1 1 1\n",
         "4: vertex index -4 is out of range: 3 vertices defined before it"},
        {kTriangle + "vn 0 0 1\nf 1//1 2//2 3//1\n",
         "5: normal index 2 is out of range: 1 normal defined in the file"},
        {kTriangle + "f 0 1 2\n", "4: vertex index 0 is not allowed: indices count from 1"},
        {kTriangle + "f 1// 2// 3//\n", "4: '1//' lacks its normal index"},
        {kTriangle + "f 1/1/1/1 2 3\n", "4: '1/1/1/1' has too many parts"},
        {kTriangle + "f 1 2 3a\n", "4: '3a' is not a vertex index"},
        {kTriangle + "f 1 2\n", "4: a face needs at least 3 vertices"},
        {"v 0 0 0\nv 1 0,5 0\n", "2: '0,5' is not a number"},
        {"v 0 0 inf\n", "1: 'inf' is not a finite number"},
        {"v 0 0\n", "1: 'v' needs at least 3 numbers"},
        {"# nothing\n\n", " empty file: no vertices, faces or lines"},
        {kTriangle, " no faces or lines (f or l elements) to convert"}};
    for (const auto& [text, message] : cases) {
        EXPECT_THAT([&] { ovmesh::importObjText(text, "model.obj", folder.path()); },
                    testing::ThrowsMessage<ovmesh::ToolError>("model.obj:" + message));
    }
}

}  // namespace
}  // namespace ov::test
