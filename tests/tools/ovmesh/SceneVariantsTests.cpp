#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <set>
#include <utility>

#include "core/ovVectorialMetadata.h"
#include "ovmesh/SceneVariants.h"
#include "scenegraph/ovGeometry.h"

namespace ov::test {
namespace {

using namespace ovmesh;

// Corner k at x = bit 0, y = bit 1, z = bit 2 of k, two triangles per face.
ovPointer<ovTriMesh> unitCube() {
    ovPointer<ovVertexBuffer> vertices(new ovVertexBuffer(ovAttributes(), 8));
    for (int k = 0; k < 8; ++k) {
        vertices->Position3(k) = {float(k & 1), float((k >> 1) & 1), float((k >> 2) & 1)};
    }
    const int triangles[] = {0, 2, 3, 0, 3, 1, 4, 5, 7, 4, 7, 6, 0, 1, 5, 0, 5, 4,
                             2, 6, 7, 2, 7, 3, 0, 4, 6, 0, 6, 2, 1, 3, 7, 1, 7, 5};
    ovPointer<ovIndexBuffer> indices(new ovIndexBuffer(36));
    std::copy(std::begin(triangles), std::end(triangles), indices->getData());
    return new ovTriMesh(vertices.get(), indices.get());
}

ovPointer<ovLine> twoPointLine() {
    ovPointer<ovVertexBuffer> vertices(new ovVertexBuffer(ovAttributes(), 2));
    vertices->Position3(1) = {1, 0, 0};
    ovPointer<ovIndexBuffer> indices(new ovIndexBuffer(2));
    indices->getData()[1] = 1;
    ovPointer<ovLine> line(new ovLine(vertices.get(), indices.get()));
    line->setColor({1, 0, 0, 1});
    line->setWidth(2.0f);
    line->SetName("wire");
    return line;
}

// root -> [part (moved, with instance metadata) -> [cube], reference -> [], wire]
struct Scene {
    ovPointer<ovNode> root{new ovNode};
    ovPointer<ovNode> part{new ovNode};
    ovPointer<ovXRefNode> reference{new ovXRefNode};
    ovPointer<ovTriMesh> cube = unitCube();
    ovPointer<ovLine> wire = twoPointLine();
    ovPointer<ovInstanceMetaData> instance{new ovInstanceMetaData(nullptr)};

    Scene() {
        root->SetName("root");
        root->setMetadata(new ovWorldUnitsMetaData(0.001));
        root->setMetadata(new ovVectorialMetadata);
        part->SetName("part");
        part->editLocalTransform(true).SetTranslate({1, 2, 3});
        part->setMetadata(instance.get());
        part->attachChild(cube.get());
        reference->SetName("reference");
        reference->setUtf8FilePath("parts/bolt.stp");
        root->attachChild(part.get());
        root->attachChild(reference.get());
        root->attachChild(wire.get());
    }
};

TEST(SceneCopyTest, StructureKeepsNodesWithTheirPlacementAndMetadataOnly) {
    const Scene scene;
    const SceneCopy copy = copyScene(*scene.root, SceneContent::Structure);
    EXPECT_EQ(copy.leftOutGeometry, 2u);
    const ovNode& root = *copy.root;
    EXPECT_EQ(root.GetName(), "root");
    ASSERT_EQ(root.getNbChildren(), 2);
    EXPECT_NE(root.findMetadata(ovWorldUnitsMetaData::MetadataTypeId), nullptr);
    EXPECT_EQ(root.findMetadata(ovVectorialMetadata::MetadataTypeId), nullptr);

    const auto& part = static_cast<const ovNode&>(*root.getChild(0));
    EXPECT_NE(&part, scene.part.get());
    EXPECT_EQ(part.GetName(), "part");
    EXPECT_EQ(part.getLocalTransform(), scene.part->getLocalTransform());
    EXPECT_EQ(part.findMetadata(ovInstanceMetaData::MetadataTypeId), scene.instance.get());
    EXPECT_EQ(part.getNbChildren(), 0);

    ASSERT_TRUE(root.getChild(1)->IsDerived(ovXRefNode::TYPE));
    EXPECT_EQ(static_cast<const ovXRefNode&>(*root.getChild(1)).getUtf8FilePath(), "parts/bolt.stp");

    // The original is left as it was.
    EXPECT_EQ(scene.root->getNbChildren(), 3);
    EXPECT_EQ(scene.part->getChild(0), scene.cube.get());
}

TEST(SceneCopyTest, LinesKeepPolylinesAndDropMeshes) {
    const Scene scene;
    const SceneCopy copy = copyScene(*scene.root, SceneContent::Lines);
    EXPECT_EQ(static_cast<const ovNode&>(*copy.root->getChild(0)).getNbChildren(), 0);
    ASSERT_EQ(copy.root->getNbChildren(), 3);
    const ovSpatial* wire = copy.root->getChild(2);
    ASSERT_TRUE(wire->IsDerived(ovLine::TYPE));
    const auto& line = static_cast<const ovLine&>(*wire);
    EXPECT_NE(&line, scene.wire.get());
    EXPECT_EQ(line.getVertexBuffer(), scene.wire->getVertexBuffer());
    EXPECT_EQ(line.getColor(), scene.wire->getColor());
    EXPECT_EQ(line.getWidth(), 2.0f);
    EXPECT_EQ(line.GetName(), "wire");
    EXPECT_EQ(countLines(*copy.root), 1u);
}

std::set<std::pair<int, int>> edgesOf(const ovLine& line) {
    std::set<std::pair<int, int>> edges;
    const ovIndexBuffer& indices = *line.getIndexBuffer();
    for (int i = 0; i + 1 < indices.GetIndexQuantity(); i += 2) {
        edges.insert(std::minmax(indices.getData()[i], indices.getData()[i + 1]));
    }
    return edges;
}

TEST(SceneCopyTest, MeshEdgesBecomeTheMeshOutline) {
    const Scene scene;
    const SceneCopy copy = copyScene(*scene.root, SceneContent::LinesAndMeshEdges);
    const auto& part = static_cast<const ovNode&>(*copy.root->getChild(0));
    ASSERT_EQ(part.getNbChildren(), 1);
    ASSERT_TRUE(part.getChild(0)->IsDerived(ovLine::TYPE));
    const auto& outline = static_cast<const ovLine&>(*part.getChild(0));
    EXPECT_EQ(outline.getVertexBuffer(), scene.cube->getVertexBuffer());
    // The 12 edges of the cube; the diagonals inside its faces are left out.
    const auto edges = edgesOf(outline);
    EXPECT_EQ(edges.size(), 12u);
    EXPECT_EQ(outline.getIndexBuffer()->GetIndexQuantity(), 24);
    for (const auto& [a, b] : edges) {
        EXPECT_EQ(std::popcount(unsigned(a ^ b)), 1) << a << "-" << b;
    }
    EXPECT_EQ(countLines(*copy.root), 2u);
}

TEST(MeshOutlineTest, KeepsBoundaryEdgesAndFolds) {
    ovPointer<ovVertexBuffer> vertices(new ovVertexBuffer(ovAttributes(), 4));
    const Wm4::Vector3f corners[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int i = 0; i < 4; ++i) {
        vertices->Position3(i) = corners[i];
    }
    // Two triangles folded at a right angle along the edge 0-1, and one
    // degenerate triangle that adds nothing.
    ovPointer<ovIndexBuffer> indices(new ovIndexBuffer(9));
    const int triangles[] = {0, 1, 2, 1, 0, 3, 2, 2, 2};
    std::copy(std::begin(triangles), std::end(triangles), indices->getData());
    const ovPointer<ovTriMesh> mesh(new ovTriMesh(vertices.get(), indices.get()));
    const ovPointer<ovLine> outline = meshOutline(*mesh, {0, 0, 1, 1}, 0.25f);
    ASSERT_TRUE(outline);
    EXPECT_EQ(edgesOf(*outline).size(), 5u);
    EXPECT_EQ(outline->getColor(), Wm4::ColorRGBA(0, 0, 1, 1));
    EXPECT_EQ(outline->getWidth(), 0.25f);
}

TEST(SceneCopyTest, DeepScenesDoNotExhaustTheStack) {
    ovPointer<ovNode> root(new ovNode);
    ovNode* tip = root.get();
    for (int level = 0; level < 100000; ++level) {
        auto* child = new ovNode;
        tip->attachChild(child);
        tip = child;
    }
    tip->attachChild(twoPointLine().get());
    EXPECT_EQ(countLines(*root), 1u);
    const SceneCopy copy = copyScene(*root, SceneContent::Lines);
    EXPECT_EQ(countLines(*copy.root), 1u);
}

TEST(SceneCopyTest, ARootThatIsNoNodeIsWrapped) {
    const ovPointer<ovLine> wire = twoPointLine();
    const SceneCopy copy = copyScene(*wire, SceneContent::Lines);
    EXPECT_EQ(copy.root->GetName(), "wire");
    EXPECT_EQ(countLines(*copy.root), 1u);
    EXPECT_EQ(copyScene(*wire, SceneContent::Structure).leftOutGeometry, 1u);
}

TEST(FormatKindTest, JudgesByExtension) {
    EXPECT_EQ(formatKindOf("svg"), FormatKind::Drawing);
    EXPECT_EQ(formatKindOf("dxf"), FormatKind::Drawing);
    EXPECT_EQ(formatKindOf("stp"), FormatKind::Structure);
    EXPECT_EQ(formatKindOf("step"), FormatKind::Structure);
    EXPECT_EQ(formatKindOf("stl"), FormatKind::Geometry);
    EXPECT_EQ(formatKindOf("dae"), FormatKind::Geometry);
}

}  // namespace
}  // namespace ov::test
