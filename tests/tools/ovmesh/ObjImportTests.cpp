#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ovmesh/ObjImport.h"
#include "ovmesh/ToolError.h"
#include "scenegraph/ovGeometry.h"
#include "support/TestSupport.h"

namespace ov::test {
namespace {

using ovmesh::importObj;
using ovmesh::ObjImport;
using ovmesh::ToolError;

const ovNode& childNode(const ovNode& parent, int index) {
    return static_cast<const ovNode&>(*parent.getChild(index));
}

template <typename T>
const T& childAs(const ovNode& parent, int index) {
    const ovSpatial* child = parent.getChild(index);
    EXPECT_TRUE(child != nullptr && child->IsDerived(T::TYPE))
        << "child " << index << " of " << parent.GetName();
    return static_cast<const T&>(*child);
}

std::vector<std::string> childNames(const ovNode& node) {
    std::vector<std::string> names;
    for (int i = 0; i < node.getNbChildren(); ++i) {
        names.push_back(node.getChild(i)->GetName());
    }
    return names;
}

std::vector<Wm4::Vector3f> positions(const ovBaseGeometry& geometry) {
    std::vector<Wm4::Vector3f> result;
    for (int i = 0; i < geometry.getVertexBuffer()->GetVertexQuantity(); ++i) {
        result.push_back(geometry.getVertexBuffer()->Position3(i));
    }
    return result;
}

// The segments of a line as pairs of end points.
std::vector<std::pair<Wm4::Vector3f, Wm4::Vector3f>> segments(const ovLine& line) {
    std::vector<std::pair<Wm4::Vector3f, Wm4::Vector3f>> result;
    const ovIndexBuffer& indices = *line.getIndexBuffer();
    for (int i = 0; i + 1 < indices.GetIndexQuantity(); i += 2) {
        result.emplace_back(line.getVertexBuffer()->Position3(indices.getData()[i]),
                            line.getVertexBuffer()->Position3(indices.getData()[i + 1]));
    }
    return result;
}

ObjImport importText(const TempDir& folder, const std::string& objText) {
    writeFile(folder.path() / "model.obj", objText);
    return importObj(folder.file("model.obj"));
}

std::string importFailure(const TempDir& folder, const std::string& objText) {
    try {
        importText(folder, objText);
    } catch (const ToolError& error) {
        return error.what();
    }
    ADD_FAILURE() << "no error for:\n" << objText;
    return {};
}

const char* const kTriangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";

TEST(ObjImportTest, EachGroupIsANodeWithItsMeshesAndPolylines) {
    const std::string path = (testDataDir() / "obj" / "steps.obj").string();
    const ObjImport imported = importObj(path);
    EXPECT_TRUE(imported.warnings.empty());
    const ovNode& root = *imported.root;
    EXPECT_EQ(root.GetName(), "steps");
    ASSERT_EQ(childNames(root), (std::vector<std::string>{"base", "step", "outline"}));

    const auto& base = childAs<ovTriMesh>(childNode(root, 0), 0);
    EXPECT_EQ(base.GetTriangleQuantity(), 12);
    ASSERT_NE(base.getMaterialState(), nullptr);
    EXPECT_EQ(base.getMaterialState()->GetName(), "red");
    EXPECT_EQ(base.getMaterialState()->diffuse, Wm4::ColorRGBA(0.8f, 0.1f, 0.1f, 1.0f));
    EXPECT_EQ(base.getMaterialState()->ambient, Wm4::ColorRGBA(0.1f, 0.0f, 0.0f, 1.0f));
    // Its faces name a normal at every corner: 6 faces of 4 corners.
    EXPECT_TRUE(base.getVertexBuffer()->GetAttributes().HasNormal());
    EXPECT_EQ(base.getVertexBuffer()->GetVertexQuantity(), 24);

    // Relative indices name the block's own vertices, which lie above z = 10.
    const auto& step = childAs<ovTriMesh>(childNode(root, 1), 0);
    EXPECT_EQ(step.GetTriangleQuantity(), 12);
    EXPECT_EQ(step.getMaterialState()->diffuse, Wm4::ColorRGBA(0.5f, 0.5f, 0.5f, 1.0f));
    EXPECT_FALSE(step.getVertexBuffer()->GetAttributes().HasNormal());
    for (const Wm4::Vector3f& p : positions(step)) {
        EXPECT_GE(p.Z(), 10.0f);
    }

    const auto& outline = childAs<ovLine>(childNode(root, 2), 0);
    EXPECT_EQ(outline.getColor(), Wm4::ColorRGBA(0.1f, 0.2f, 0.9f, 0.5f));
    const auto drawn = segments(outline);
    ASSERT_EQ(drawn.size(), 5u);  // a closed loop of 4 and one diagonal
    EXPECT_EQ(drawn[0].first, Wm4::Vector3f(-5, -5, 0));
    EXPECT_EQ(drawn[3].second, Wm4::Vector3f(-5, -5, 0));
    EXPECT_EQ(drawn[4].second, Wm4::Vector3f(45, 25, 0));
}

TEST(ObjImportTest, CoordinatesAreKeptAsTheyStand) {
    TempDir folder;
    const ObjImport imported = importText(folder, "v 1 2 3\nv -4 5.5 1e3\nv 0 0 -7\nf 1 2 3\n");
    const auto& mesh = childAs<ovTriMesh>(childNode(*imported.root, 0), 0);
    EXPECT_EQ(positions(mesh), (std::vector<Wm4::Vector3f>{{1, 2, 3}, {-4, 5.5f, 1000}, {0, 0, -7}}));
    EXPECT_TRUE(mesh.getLocalTransform().IsIdentity());
    EXPECT_TRUE(childNode(*imported.root, 0).getLocalTransform().IsIdentity());
}

TEST(ObjImportTest, FacesOfOneGroupAreSplitByMaterial) {
    TempDir folder;
    writeFile(folder.path() / "colours.mtl", "newmtl a\nKd 1 0 0\nnewmtl b\nKd 0 0 1\n");
    const ObjImport imported = importText(folder, std::string("mtllib colours.mtl\n") + kTriangle +
                                                      "v 1 1 0\n"
                                                      "f 1 2 3\n"  // before any material
                                                      "usemtl a\nf 2 4 3\nf 1 2 4\n"
                                                      "usemtl b\nf 1 4 3\n");
    const ovNode& group = childNode(*imported.root, 0);
    EXPECT_EQ(group.GetName(), "default");
    ASSERT_EQ(group.getNbChildren(), 3);
    EXPECT_EQ(childAs<ovTriMesh>(group, 0).getMaterialState(), nullptr);
    EXPECT_EQ(childAs<ovTriMesh>(group, 1).GetTriangleQuantity(), 2);
    EXPECT_EQ(childAs<ovTriMesh>(group, 1).getMaterialState()->diffuse, Wm4::ColorRGBA(1, 0, 0, 1));
    EXPECT_EQ(childAs<ovTriMesh>(group, 2).getMaterialState()->diffuse, Wm4::ColorRGBA(0, 0, 1, 1));
}

TEST(ObjImportTest, GroupsAreMergedByNameAndPolygonsTriangulated) {
    TempDir folder;
    const ObjImport imported = importText(folder, std::string(kTriangle) +
                                                      "v 1 1 0\n"
                                                      "g   left  \nf 1 2 4 3\n"
                                                      "g right\nf 1 2 3\n"
                                                      "o left\nf 2 4 3\n");
    ASSERT_EQ(childNames(*imported.root), (std::vector<std::string>{"left", "right"}));
    EXPECT_EQ(childAs<ovTriMesh>(childNode(*imported.root, 0), 0).GetTriangleQuantity(), 3);
}

TEST(ObjImportTest, PolylinesOfAGroupWithoutFacesAreKept) {
    TempDir folder;
    const ObjImport imported =
        importText(folder, std::string(kTriangle) + "g wire\nl 1 2 3\ng solid\nf 1 2 3\ng wire2\nl 3 1\n");
    ASSERT_EQ(childNames(*imported.root), (std::vector<std::string>{"wire", "solid", "wire2"}));
    EXPECT_EQ(segments(childAs<ovLine>(childNode(*imported.root, 0), 0)).size(), 2u);
    EXPECT_EQ(segments(childAs<ovLine>(childNode(*imported.root, 2), 0)).size(), 1u);
}

TEST(ObjImportTest, AMissingMaterialLibraryIsAWarningAndLeavesNoMaterial) {
    TempDir folder;
    const ObjImport imported =
        importText(folder, std::string("mtllib absent.mtl\n") + kTriangle + "usemtl red\nf 1 2 3\n");
    ASSERT_EQ(imported.warnings.size(), 1u);
    EXPECT_NE(imported.warnings[0].find("material library 'absent.mtl' not found"), std::string::npos)
        << imported.warnings[0];
    EXPECT_EQ(childAs<ovTriMesh>(childNode(*imported.root, 0), 0).getMaterialState(), nullptr);
}

TEST(ObjImportTest, AnUndefinedMaterialIsAWarning) {
    TempDir folder;
    writeFile(folder.path() / "m.mtl", "newmtl known\nKd 1 1 1\n");
    const ObjImport imported =
        importText(folder, std::string("mtllib m.mtl\n") + kTriangle + "usemtl unknown\nf 1 2 3\n");
    ASSERT_EQ(imported.warnings.size(), 1u);
    EXPECT_NE(imported.warnings[0].find("material 'unknown' is not defined"), std::string::npos);
}

TEST(ObjImportTest, WindowsLineEndsAndSkippedTextureIndicesAreRead) {
    TempDir folder;
    const ObjImport imported = importText(
        folder, "v 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nvn 0 0 1\r\ng a b\r\nf 1//1 2//1 3//1\r\nl 1 2\r\n");
    ASSERT_EQ(childNames(*imported.root), std::vector<std::string>{"a b"});
    EXPECT_EQ(childNode(*imported.root, 0).getNbChildren(), 2);
    EXPECT_TRUE(
        childAs<ovTriMesh>(childNode(*imported.root, 0), 0).getVertexBuffer()->GetAttributes().HasNormal());
}

TEST(ObjImportTest, TrailingCommentsAndSignsAreAccepted) {
    TempDir folder;
    const ObjImport imported =
        importText(folder, "v +1 0 0 # first\nv 0 1 0\nv 0 0 .5\nf 1 2 3 # one face\n");
    EXPECT_EQ(positions(childAs<ovTriMesh>(childNode(*imported.root, 0), 0))[0], Wm4::Vector3f(1, 0, 0));
}

struct BadObj {
    const char* what;
    std::string text;
    std::string message;
};

class ObjImportErrorTest : public testing::TestWithParam<BadObj> {};

TEST_P(ObjImportErrorTest, IsRefusedWithTheLineAndReason) {
    TempDir folder;
    const std::string message = importFailure(folder, GetParam().text);
    EXPECT_NE(message.find(GetParam().message), std::string::npos) << message;
    EXPECT_NE(message.find("model.obj"), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, ObjImportErrorTest,
    testing::Values(
        BadObj{"FaceIndexBeyondTheVertices", std::string(kTriangle) + "f 1 2 4\n",
               "model.obj:4: vertex index 4 is out of range: 3 vertices defined in the file"},
        BadObj{"RelativeIndexBeforeTheFirstVertex", std::string(kTriangle) + "f -1 -2 -4\n",
               "model.obj:4: vertex index -4 is out of range: 3 vertices defined before it"},
        BadObj{"LineIndexBeyondTheVertices", std::string(kTriangle) + "l 1 9\n",
               ":4: vertex index 9 is out of range"},
        BadObj{"NormalIndexBeyondTheNormals", std::string(kTriangle) + "vn 0 0 1\nf 1//1 2//2 3//1\n",
               ":5: normal index 2 is out of range: 1 normal defined"},
        BadObj{"ZeroIndex", std::string(kTriangle) + "f 0 1 2\n", ":4: vertex index 0 is not allowed"},
        BadObj{"EmptyNormalIndex", std::string(kTriangle) + "f 1// 2// 3//\n",
               ":4: '1//' lacks its normal index"},
        BadObj{"CornerOfFourParts", std::string(kTriangle) + "f 1/1/1/1 2 3\n",
               ":4: '1/1/1/1' has too many parts"},
        BadObj{"IndexThatIsNoNumber", std::string(kTriangle) + "f 1 2 3a\n",
               ":4: '3a' is not a vertex index"},
        BadObj{"UnreadableCoordinate", "v 0 0 0\nv 1 0,5 0\n", "model.obj:2: '0,5' is not a number"},
        BadObj{"InfiniteCoordinate", "v 0 0 inf\n", ":1: 'inf' is not a finite number"},
        BadObj{"MissingCoordinate", "v 0 0\n", ":1: 'v' needs at least 3 numbers"},
        BadObj{"FaceOfTwoVertices", std::string(kTriangle) + "f 1 2\n",
               ":4: a face needs at least 3 vertices"},
        BadObj{"LineOfOneVertex", std::string(kTriangle) + "l 1\n", ":4: a line needs at least 2 vertices"},
        BadObj{"EmptyFile", "", "empty file"}, BadObj{"OnlyComments", "# nothing\n\n", "empty file"},
        BadObj{"VerticesWithoutFacesOrLines", kTriangle, "no faces or lines"}),
    [](const testing::TestParamInfo<BadObj>& param) { return param.param.what; });

TEST(ObjImportTest, AMissingFileOrAFolderIsRefused) {
    TempDir folder;
    EXPECT_THROW(importObj(folder.file("absent.obj")), ToolError);
    EXPECT_THROW(importObj(folder.path().string()), ToolError);
}

}  // namespace
}  // namespace ov::test
