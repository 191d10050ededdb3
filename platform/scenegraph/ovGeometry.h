#pragma once

#include <optional>
#include <vector>

#include "scenegraph/ovBuffers.h"
#include "scenegraph/ovImage.h"
#include "scenegraph/ovSpatial.h"

namespace ov {

// What a metallic-roughness material states beyond the colours: a model
// made for physically based rendering says it, where the older colours leave
// a writer to guess it. The base colour is the diffuse colour with alpha, the
// emissive factor the emission colour.
struct ovPbrMaterial {
    // How the base colour's alpha (factor times texture) is taken.
    enum class AlphaMode { Opaque, Mask, Blend };

    float metallic = 1.0f;
    float roughness = 1.0f;
    AlphaMode alphaMode = AlphaMode::Opaque;
    // Under Mask, the alpha below which a fragment is not drawn.
    float alphaCutoff = 0.5f;
    bool doubleSided = false;
    // The normal map's strength, and how much the occlusion map darkens.
    float normalScale = 1.0f;
    float occlusionStrength = 1.0f;

    bool operator==(const ovPbrMaterial&) const = default;
};

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
    // Unset for a material of colours alone: writers then derive what they
    // need from the colours and the shininess.
    std::optional<ovPbrMaterial> pbr;
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
    // What a texture of type Other feeds in a physically based material
    // (see ovPbrMaterial); its other maps have types of their own.
    enum class PbrMap : int { None, MetallicRoughness, Occlusion };
    // How texture coordinates outside 0..1 reach the image.
    enum class Wrap : int { Repeat, Mirror, Clamp };

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
    PbrMap getPbrMap() const { return mPbrMap; }
    void setPbrMap(PbrMap map) { mPbrMap = map; }
    // Along the texture's u and v axes.
    Wrap getWrapU() const { return mWrapU; }
    Wrap getWrapV() const { return mWrapV; }
    void setWrap(Wrap u, Wrap v) {
        mWrapU = u;
        mWrapV = v;
    }

private:
    ovPointer<ovImage> mImage;
    int mTypeField = Diffuse;
    int mFormatCode = 0;
    int mChannel = 1;
    PbrMap mPbrMap = PbrMap::None;
    Wrap mWrapU = Wrap::Repeat;
    Wrap mWrapV = Wrap::Repeat;
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
// identity (their ids, so in the order they were made), material state first.
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
