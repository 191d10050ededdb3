#include "core/SceneCopy.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>
#include <numbers>
#include <tuple>
#include <utility>
#include <vector>

#include "core/SceneWalk.h"
#include "core/ovVectorialMetadata.h"

namespace ov {

namespace {

void copyPlacementAndMetadata(const ovSpatial& source, ovSpatial& copy) {
    copy.SetName(source.GetName());
    copy.editLocalTransform(true) = source.getLocalTransform();
    for (int i = 0; i < source.getNbMetadata(); ++i) {
        ovMetadataInterface* metadata = source.getMetadata(i);
        // A page description belongs to one drawing, not to every copy.
        if (metadata != nullptr && metadataAs<ovVectorialMetadata>(metadata) == nullptr) {
            copy.setMetadata(metadata);
        }
    }
}

ovPointer<ovNode> copyNodeShell(const ovNode& node) {
    ovPointer<ovNode> copy;
    if (node.IsDerived(ovXRefNode::TYPE)) {
        auto* reference = new ovXRefNode;
        reference->setUtf8FilePath(static_cast<const ovXRefNode&>(node).getUtf8FilePath());
        copy = reference;
    } else if (node.IsDerived(ovLODNode::TYPE)) {
        copy = new ovLODNode;
    } else {
        copy = new ovNode;
    }
    copyPlacementAndMetadata(node, *copy);
    return copy;
}

ovPointer<ovLine> copyLine(const ovLine& line) {
    ovPointer<ovLine> copy(new ovLine(line.getVertexBuffer(), line.getIndexBuffer()));
    copy->setColor(line.getColor());
    copy->setWidth(line.getWidth());
    copy->setMaterialState(line.getMaterialState());
    copyPlacementAndMetadata(line, *copy);
    return copy;
}

ovPointer<ovTriMesh> copyMesh(const ovTriMesh& mesh) {
    ovPointer<ovTriMesh> copy(new ovTriMesh(mesh.getVertexBuffer(), mesh.getIndexBuffer()));
    copy->setMaterialState(mesh.getMaterialState());
    copyPlacementAndMetadata(mesh, *copy);
    return copy;
}

class SceneCopier {
public:
    SceneCopier(SceneContent content, double creaseDegrees)
        : mContent(content), mCreaseDegrees(creaseDegrees) {}

    ovPointer<ovNode> copy(const ovSpatial& root) {
        ovPointer<ovNode> result;
        // The copies of the nodes the walk is in, innermost last.
        std::vector<ovNode*> parents;
        if (!root.IsDerived(ovNode::TYPE)) {
            result = new ovNode;
            result->SetName(root.GetName());
            parents.push_back(result.get());
        }
        const auto enter = [&](const WalkStep<const ovSpatial>& step) {
            if (!step.object.IsDerived(ovNode::TYPE)) {
                if (ovPointer<ovSpatial> leaf = copyLeaf(step.object)) {
                    parents.back()->attachChild(leaf.get());
                }
                return WalkNext::Skip;
            }
            ovPointer<ovNode> copy = copyNodeShell(static_cast<const ovNode&>(step.object));
            if (parents.empty()) {
                result = copy;
            } else {
                parents.back()->attachChild(copy.get());
            }
            parents.push_back(copy.get());
            return WalkNext::Children;
        };
        walkScene(root, nullptr, enter, [&parents](const WalkStep<const ovSpatial>&) { parents.pop_back(); });
        return result;
    }

private:
    ovPointer<ovSpatial> copyLeaf(const ovSpatial& leaf) {
        if (leaf.IsDerived(ovLine::TYPE)) {
            return copyLine(static_cast<const ovLine&>(leaf));
        }
        if (mContent == SceneContent::Everything && leaf.IsDerived(ovTriMesh::TYPE)) {
            return copyMesh(static_cast<const ovTriMesh&>(leaf));
        }
        if (mContent == SceneContent::LinesAndMeshEdges && leaf.IsDerived(ovTriMesh::TYPE)) {
            ovPointer<ovLine> outline = meshOutline(static_cast<const ovTriMesh&>(leaf),
                                                    Wm4::ColorRGBA::Black(), kOutlineWidth, mCreaseDegrees);
            if (outline) {
                copyPlacementAndMetadata(leaf, *outline);
            }
            return outline;
        }
        return {};
    }

    static constexpr float kOutlineWidth = 0.5f;

    SceneContent mContent;
    double mCreaseDegrees;
};

struct EdgeUse {
    int count = 0;
    Wm4::Vector3f firstNormal;
    bool fold = false;
};

Wm4::Vector3f unitNormal(const ovVertexBuffer& vertices, int a, int b, int c) {
    const Wm4::Vector3f p = vertices.Position3(a);
    const Wm4::Vector3f n = (vertices.Position3(b) - p).Cross(vertices.Position3(c) - p);
    const float length = n.Length();
    return length > 0.0f ? n * (1.0f / length) : Wm4::Vector3f();
}

// For each vertex, the first vertex at the same position.
std::vector<int> weldedByPosition(const ovVertexBuffer& vertices) {
    std::map<std::tuple<float, float, float>, int> first;
    std::vector<int> welded(static_cast<size_t>(vertices.GetVertexQuantity()));
    for (int k = 0; k < vertices.GetVertexQuantity(); ++k) {
        const Wm4::Vector3f p = vertices.Position3(k);
        welded[static_cast<size_t>(k)] = first.try_emplace({p.X(), p.Y(), p.Z()}, k).first->second;
    }
    return welded;
}

}  // namespace

ovPointer<ovNode> copyScene(const ovSpatial& root, SceneContent content, double creaseDegrees) {
    return SceneCopier(content, creaseDegrees).copy(root);
}

ovPointer<ovLine> meshOutline(const ovTriMesh& mesh, const Wm4::ColorRGBA& color, float width,
                              double creaseDegrees) {
    ovVertexBuffer* vertices = mesh.getVertexBuffer();
    ovIndexBuffer* indices = mesh.getIndexBuffer();
    if (vertices == nullptr || indices == nullptr) {
        return {};
    }
    ovDataLoader vertexData(vertices);
    ovDataLoader indexData(indices);
    if (!vertices->hasCPUData() || !indices->hasCPUData()) {
        return {};
    }
    // A fold of exactly the angle is no feature, whatever the rounding of its cosine.
    const auto creaseCosine = static_cast<float>(std::cos(creaseDegrees * std::numbers::pi / 180.0) - 1e-6);
    const int vertexCount = vertices->GetVertexQuantity();
    const std::vector<int> welded = weldedByPosition(*vertices);
    const int* corners = indices->getData();
    std::map<std::pair<int, int>, EdgeUse> uses;
    std::vector<std::pair<int, int>> firstSeen;
    for (int t = 0; t < mesh.GetTriangleQuantity(); ++t) {
        const int triangle[3] = {corners[3 * t], corners[3 * t + 1], corners[3 * t + 2]};
        if (std::any_of(std::begin(triangle), std::end(triangle),
                        [vertexCount](int k) { return k < 0 || k >= vertexCount; })) {
            continue;
        }
        const Wm4::Vector3f normal = unitNormal(*vertices, triangle[0], triangle[1], triangle[2]);
        for (int e = 0; e < 3; ++e) {
            const std::pair<int, int> edge = std::minmax(welded[static_cast<size_t>(triangle[e])],
                                                         welded[static_cast<size_t>(triangle[(e + 1) % 3])]);
            if (edge.first == edge.second) {
                continue;
            }
            EdgeUse& use = uses[edge];
            if (use.count == 0) {
                firstSeen.push_back(edge);
                use.firstNormal = normal;
            } else if (use.firstNormal.Dot(normal) < creaseCosine) {
                use.fold = true;
            }
            ++use.count;
        }
    }
    std::vector<int> kept;
    for (const auto& edge : firstSeen) {
        const EdgeUse& use = uses.at(edge);
        if (use.count != 2 || use.fold) {
            kept.push_back(edge.first);
            kept.push_back(edge.second);
        }
    }
    if (kept.empty()) {
        return {};
    }
    ovPointer<ovIndexBuffer> edgeIndices(new ovIndexBuffer(static_cast<int>(kept.size())));
    std::copy(kept.begin(), kept.end(), edgeIndices->getData());
    ovPointer<ovLine> outline(new ovLine(vertices, edgeIndices.get()));
    outline->setColor(color);
    outline->setWidth(width);
    return outline;
}

}  // namespace ov
