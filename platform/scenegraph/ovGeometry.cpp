#include "scenegraph/ovGeometry.h"

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
    // Identity by the objects' ids rather than their addresses: the order in which they were made,
    // whatever the platform's allocator, so that the same scene lists its materials alike everywhere.
    const auto id = [](const ovObject* object) { return object ? object->GetID() : 0u; };
    if (mMaterial.get() != other.mMaterial.get()) {
        return id(mMaterial.get()) < id(other.mMaterial.get());
    }
    return id(mTexture.get()) < id(other.mTexture.get());
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
