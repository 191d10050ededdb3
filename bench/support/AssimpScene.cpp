#include "support/AssimpScene.h"

#include <string>

void copyTriangles(const ov::ovTriMesh& source, aiMesh& target) {
    const int* indices = source.getIndexBuffer()->getData();
    target.mNumFaces = static_cast<unsigned>(source.GetTriangleQuantity());
    target.mFaces = new aiFace[target.mNumFaces];
    for (unsigned f = 0; f < target.mNumFaces; ++f) {
        aiFace& face = target.mFaces[f];
        face.mNumIndices = 3;
        face.mIndices = new unsigned[3];
        for (unsigned k = 0; k < 3; ++k) {
            face.mIndices[k] = static_cast<unsigned>(indices[3 * f + k]);
        }
    }
}

aiNode* placedMeshNode(aiNode* parent, const Wm4::Matrix4f& placement, size_t meshIndex) {
    const Wm4::Matrix4f& m = placement;
    auto* node = new aiNode("part" + std::to_string(meshIndex));
    node->mParent = parent;
    node->mTransformation = aiMatrix4x4(m(0, 0), m(1, 0), m(2, 0), m(3, 0), m(0, 1), m(1, 1), m(2, 1),
                                        m(3, 1), m(0, 2), m(1, 2), m(2, 2), m(3, 2), 0, 0, 0, 1);
    node->mNumMeshes = 1;
    node->mMeshes = new unsigned[1]{static_cast<unsigned>(meshIndex)};
    return node;
}
