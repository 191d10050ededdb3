#include "scenegraph/ovGeometry.h"

#include <functional>

namespace ov {

OV_IMPLEMENT_RTTI(ovMaterialState, ovObject);
OV_IMPLEMENT_RTTI(ovTexture, ovObject);
OV_IMPLEMENT_RTTI(ovTextureState, ovObject);
OV_IMPLEMENT_RTTI(ovBaseGeometry, ovSpatial);
OV_IMPLEMENT_RTTI(ovTriMesh, ovBaseGeometry);
OV_IMPLEMENT_RTTI(ovLine, ovBaseGeometry);

ovTexture* ovTextureState::editTexture(int index) const {
    return index >= 0 && index < getNbTexture() ? mTextures[index].get() : nullptr;
}

void ovTextureState::addTexture(ovTexture* texture) {
    if (texture) {
        mTextures.emplace_back(texture);
    }
}

bool ovMaterialObject::operator<(const ovMaterialObject& other) const {
    // std::less gives a total order on unrelated pointers, where < does not.
    const std::less<const void*> before;
    if (mMaterial.get() != other.mMaterial.get()) {
        return before(mMaterial.get(), other.mMaterial.get());
    }
    return before(mTexture.get(), other.mTexture.get());
}

bool ovMaterialObject::operator==(const ovMaterialObject& other) const {
    return mMaterial == other.mMaterial && mTexture == other.mTexture;
}

void ovBaseGeometry::setBuffers(ovVertexBuffer* vertices, ovIndexBuffer* indices) {
    mVertices = vertices;
    mIndices = indices;
}

ovMaterialState* ovBaseGeometry::editMaterialState(bool create) {
    if (!mMaterial && create) {
        mMaterial = new ovMaterialState;
    }
    return mMaterial.get();
}

ovTextureState* ovBaseGeometry::editTextureState(bool create) {
    if (!mTexture && create) {
        mTexture = new ovTextureState;
    }
    return mTexture.get();
}

int ovTriMesh::GetTriangleQuantity() const {
    const ovIndexBuffer* indices = getIndexBuffer();
    return indices ? indices->GetIndexQuantity() / 3 : 0;
}

}  // namespace ov
