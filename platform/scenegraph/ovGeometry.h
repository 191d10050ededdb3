#pragma once

#include <vector>

#include "scenegraph/ovBuffers.h"
#include "scenegraph/ovImage.h"
#include "scenegraph/ovSpatial.h"

namespace ov {

// Surface colours of a geometry. Only red, green and blue of each colour are
// meaningful; the opacity is `alpha`.
class ovMaterialState : public ovObject {
    OV_DECLARE_RTTI
public:
    Wm4::ColorRGBA emission{0.0f, 0.0f, 0.0f, 1.0f};
    Wm4::ColorRGBA ambient{0.2f, 0.2f, 0.2f, 1.0f};
    Wm4::ColorRGBA diffuse{0.8f, 0.8f, 0.8f, 1.0f};
    Wm4::ColorRGBA specular{0.0f, 0.0f, 0.0f, 1.0f};
    float alpha = 1.0f;
    float shininess = 1.0f;
};

class ovTexture : public ovObject {
    OV_DECLARE_RTTI
public:
    // What a texture feeds; the low 8 bits of the type field.
    enum TexType : int {
        Diffuse = 1,
        Emission = 2,
        Specular = 4,
        Bump = 8,
        Ambient = 16,
        Reflective = 32,
        Opacity = 64,
        Normal = 128,
        Other = 255,
    };

    explicit ovTexture(ovImage* image = nullptr) : mImage(image) {}
    ovImage* getImage() const { return mImage.get(); }
    void setImage(ovImage* image) { mImage = image; }
    // The full type field; its low 8 bits are the TexType.
    int getTypeField() const { return mTypeField; }
    void setTypeField(int typeField) { mTypeField = typeField; }
    TexType getTexType() const { return static_cast<TexType>(mTypeField & 0xFF); }
    // 0 is an image texture; other codes are procedural or compressed kinds.
    int getFormatCode() const { return mFormatCode; }
    void setFormatCode(int code) { mFormatCode = code; }
    // Texture-coordinate channel, counted from 1.
    int getChannel() const { return mChannel; }
    void setChannel(int channel) { mChannel = channel; }

private:
    ovPointer<ovImage> mImage;
    int mTypeField = Diffuse;
    int mFormatCode = 0;
    int mChannel = 1;
};

class ovTextureState : public ovObject {
    OV_DECLARE_RTTI
public:
    int getNbTexture() const { return static_cast<int>(mTextures.size()); }
    ovTexture* editTexture(int index) const;
    void addTexture(ovTexture* texture);

private:
    std::vector<ovPointer<ovTexture>> mTextures;
};

// Key of a material: the material state and the texture state, compared by
// identity, material state first.
class ovMaterialObject {
public:
    ovMaterialObject(ovMaterialState* material, ovTextureState* texture)
        : mMaterial(material), mTexture(texture) {}
    ovMaterialState* getMaterialState() const { return mMaterial.get(); }
    ovTextureState* getTextureState() const { return mTexture.get(); }
    bool operator<(const ovMaterialObject& other) const;
    bool operator==(const ovMaterialObject& other) const;

private:
    ovPointer<ovMaterialState> mMaterial;
    ovPointer<ovTextureState> mTexture;
};

// A spatial with vertex and index buffers and render states.
class ovBaseGeometry : public ovSpatial {
    OV_DECLARE_RTTI
public:
    ovVertexBuffer* getVertexBuffer() const { return mVertices.get(); }
    ovIndexBuffer* getIndexBuffer() const { return mIndices.get(); }
    void setBuffers(ovVertexBuffer* vertices, ovIndexBuffer* indices);

    ovMaterialState* getMaterialState() const { return mMaterial.get(); }
    // With create, a missing state is made; without, it may answer null.
    ovMaterialState* editMaterialState(bool create);
    ovTextureState* editTextureState(bool create);
    void setMaterialState(ovMaterialState* material) { mMaterial = material; }
    void setTextureState(ovTextureState* texture) { mTexture = texture; }

private:
    ovPointer<ovVertexBuffer> mVertices;
    ovPointer<ovIndexBuffer> mIndices;
    ovPointer<ovMaterialState> mMaterial;
    ovPointer<ovTextureState> mTexture;
};

// Triangles: three indices per triangle.
class ovTriMesh : public ovBaseGeometry {
    OV_DECLARE_RTTI
public:
    ovTriMesh() = default;
    ovTriMesh(ovVertexBuffer* vertices, ovIndexBuffer* indices) { setBuffers(vertices, indices); }
    int GetTriangleQuantity() const;
};

// Polyline segments: two indices per segment, with a colour and a width.
class ovLine : public ovBaseGeometry {
    OV_DECLARE_RTTI
public:
    ovLine() = default;
    ovLine(ovVertexBuffer* vertices, ovIndexBuffer* indices) { setBuffers(vertices, indices); }
    const Wm4::ColorRGBA& getColor() const { return mColor; }
    void setColor(const Wm4::ColorRGBA& color) { mColor = color; }
    float getWidth() const { return mWidth; }
    void setWidth(float width) { mWidth = width; }

private:
    Wm4::ColorRGBA mColor = Wm4::ColorRGBA::Black();
    float mWidth = 1.0f;
};

}  // namespace ov
