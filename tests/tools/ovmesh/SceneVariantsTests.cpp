#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <set>
#include <utility>

#include "core/ovVectorialMetadata.h"
#include "ovmesh/SceneVariants.h"
#include "tools/ovmesh/TestHelpers.h"

namespace ov::test {
namespace {

using namespace ovmesh;

// A mesh or polyline over its own buffers.
template <typename Geometry>
ovPointer<Geometry> makeGeometry(const std::vector<Wm4::Vector3f>& points, const std::vector<int>& indices) {
    ovPointer<ovVertexBuffer> vertices(new ovVertexBuffer(ovAttributes(), static_cast<int>(points.size())));
    for (size_t i = 0; i < points.size(); ++i) {
        vertices->Position3(static_cast<int>(i)) = points[i];
    }
    ovPointer<ovIndexBuffer> corners(new ovIndexBuffer(static_cast<int>(indices.size())));
    std::copy(indices.begin(), indices.end(), corners->getData());
    return new Geometry(vertices.get(), corners.get());
}

TEST(SceneCopyTest, KeepsTheNodesWithTheirNamePlacementAndMetadataAndWhatTheFormatHolds) {
    // root (with a page description) -> [part (moved, named, with instance
    // metadata) -> [a unit cube without its top face], reference]
    std::vector<Wm4::Vector3f> corners;  // corner k at x = bit 0, y = bit 1, z = bit 2 of k
    for (int k = 0; k < 8; ++k) {
        corners.emplace_back(float(k & 1), float((k >> 1) & 1), float((k >> 2) & 1));
    }
    // Two triangles on each of 5 faces, and a degenerate one.
    const ovPointer<ovTriMesh> box = makeGeometry<ovTriMesh>(
        corners,
        {0, 2, 3, 0, 3, 1, 0, 1, 5, 0, 5, 4, 2, 6, 7, 2, 7, 3, 0, 4, 6, 0, 6, 2, 1, 3, 7, 1, 7, 5, 2, 2, 2});
    const ovPointer<ovNode> root(new ovNode);
    const ovPointer<ovNode> part(new ovNode);
    const ovPointer<ovInstanceMetaData> instance(new ovInstanceMetaData(nullptr));
    const ovPointer<ovXRefNode> reference(new ovXRefNode);
    root->setMetadata(new ovVectorialMetadata);
    part->SetName("part");
    part->editLocalTransform(true).SetTranslate({1, 2, 3});
    part->setMetadata(instance.get());
    part->attachChild(box.get());
    reference->setUtf8FilePath("parts/bolt.stp");
    root->attachChild(part.get());
    root->attachChild(reference.get());

    const SceneCopy copy = copyScene(*root, SceneContent::Structure);
    EXPECT_EQ(copy.leftOutGeometry, 1u);
    EXPECT_EQ(copy.root->findMetadata(ovVectorialMetadata::MetadataTypeId), nullptr);
    const ovNode& copiedPart = child(*copy.root, 0);
    EXPECT_NE(&copiedPart, part.get());
    EXPECT_EQ(copiedPart.GetName(), "part");
    EXPECT_EQ(copiedPart.getLocalTransform(), part->getLocalTransform());
    EXPECT_EQ(copiedPart.findMetadata(ovInstanceMetaData::MetadataTypeId), instance.get());
    EXPECT_EQ(copiedPart.getNbChildren(), 0);
    EXPECT_EQ(child<ovXRefNode>(*copy.root, 1).getUtf8FilePath(), "parts/bolt.stp");
    EXPECT_EQ(part->getChild(0), box.get()) << "the original changed";

    // A drawing shows a mesh by the edges where it folds or ends.
    const SceneCopy drawing = copyScene(*root, SceneContent::LinesAndMeshEdges);
    const auto& outline = child<ovLine>(child(*drawing.root, 0), 0);
    EXPECT_EQ(outline.getVertexBuffer(), box->getVertexBuffer());
    std::set<std::pair<int, int>> edges;
    const ovIndexBuffer& indices = *outline.getIndexBuffer();
    for (int i = 0; i + 1 < indices.GetIndexQuantity(); i += 2) {
        edges.insert(std::minmax(indices.getData()[i], indices.getData()[i + 1]));
    }
    // The 12 edges of the cube (corners one bit apart), once each: 8 folds and
    // the 4 borders of the open top; the diagonals inside the faces are left out.
    EXPECT_EQ(indices.GetIndexQuantity(), 24);
    EXPECT_EQ(edges.size(), 12u);
    for (const auto& [a, b] : edges) {
        EXPECT_EQ(std::popcount(unsigned(a ^ b)), 1) << a << "-" << b;
    }
    EXPECT_EQ(countLines(*copyScene(*root, SceneContent::Lines).root), 0u);
}

TEST(SceneCopyTest, PolylinesOfDeepScenesAndRootsThatAreNoNodesAreCopied) {
    ovPointer<ovNode> root(new ovNode);
    ovNode* tip = root.get();
    for (int level = 0; level < 100000; ++level) {
        tip->attachChild(new ovNode);
        tip = static_cast<ovNode*>(tip->getChild(0));
    }
    const ovPointer<ovLine> wire = makeGeometry<ovLine>({{0, 0, 0}, {1, 0, 0}}, {0, 1});
    wire->setColor({1, 0, 0, 1});
    wire->setWidth(2.0f);
    tip->attachChild(wire.get());
    EXPECT_EQ(countLines(*copyScene(*root, SceneContent::Lines).root), 1u);
    const SceneCopy wrapped = copyScene(*wire, SceneContent::Lines);
    const auto& copied = child<ovLine>(*wrapped.root, 0);
    EXPECT_EQ(copied.getVertexBuffer(), wire->getVertexBuffer());
    EXPECT_EQ(copied.getColor(), Wm4::ColorRGBA(1, 0, 0, 1));
    EXPECT_EQ(copied.getWidth(), 2.0f);
    EXPECT_EQ(copyScene(*wire, SceneContent::Structure).leftOutGeometry, 1u);
}

}  // namespace
}  // namespace ov::test
