#pragma once

// Materials, textures, meshes and scenes of the COLLADA driver's tests.

#include <string>
#include <vector>

#include "../core/LineDrawingTestSupport.h"

namespace ov::test {

// Material and texture states, in the order they are made, which is the order
// in which the document lists materials keyed by them.
template <typename State>
std::vector<ovPointer<State>> makeStates(size_t count) {
    std::vector<ovPointer<State>> states;
    for (size_t i = 0; i < count; ++i) {
        states.emplace_back(new State);
    }
    return states;
}

inline ovImage* makeImage(ovImage::Format format, uint8_t seed) {
    ovImage* image = new ovImage(format, 2, 2);
    for (size_t i = 0; i < image->getDataSize(); ++i) {
        image->editData()[i] = static_cast<uint8_t>(seed + 40 * i);
    }
    return image;
}

inline ovTexture* makeTexture(ovImage* image, int type, int channel = 1, int formatCode = 0) {
    ovTexture* texture = new ovTexture(image);
    texture->setTypeField(type);
    texture->setChannel(channel);
    texture->setFormatCode(formatCode);
    return texture;
}

// A mesh of the given positions whose normals and texture coordinates, when
// its layout has them, are numbered from 0.5 up so that each is told apart.
inline ovTriMesh* makeMesh(const std::vector<Wm4::Vector3f>& positions, const std::vector<int>& indices,
                           const ovAttributes& attributes = {}, const char* name = "") {
    ovTriMesh* mesh = makeGeometry<ovTriMesh>(positions, indices, attributes);
    mesh->SetName(name);
    ovVertexBuffer& vertices = *mesh->getVertexBuffer();
    float next = 0.5f;
    for (int v = 0; v < vertices.GetVertexQuantity(); ++v) {
        if (attributes.HasNormal()) {
            vertices.Normal3(v) = {next, next + 0.25f, next + 0.125f};
            next += 1;
        }
        for (int unit = 0; unit < attributes.GetMaxTCoords(); ++unit) {
            for (int c = 0; c < attributes.GetTCoordChannels(unit); ++c) {
                vertices.TCoord(unit, v)[c] = (next += 0.5f);
            }
        }
    }
    return mesh;
}

inline ovTriMesh* makeTriangle(const char* name = "", float shift = 0) {
    return makeMesh({{shift, 0, 0}, {1, shift, 0}, {0, 1, shift}}, {0, 1, 2}, {}, name);
}

inline ovTriMesh* withMaterial(ovTriMesh* mesh, ovMaterialState* material,
                               ovTextureState* textures = nullptr) {
    mesh->setMaterialState(material);
    mesh->setTextureState(textures);
    return mesh;
}

// A scene that asks every kind of question: two textured materials, a
// group, a shared geometry.
inline ovPointer<ovNode> busyScene() {
    const auto materials = makeStates<ovMaterialState>(2);
    const auto textures = makeStates<ovTextureState>(1);
    textures[0]->addTexture(makeTexture(makeImage(ovImage::RGB8, 1), ovTexture::Diffuse));
    ovPointer<ovTriMesh> first = withMaterial(makeTriangle("first"), materials[0].get(), textures[0].get());
    ovPointer<ovNode> group = makeRoot(nullptr, {withMaterial(makeTriangle("second"), materials[1].get())});
    group->attachChild(new ovTriMesh(first->getVertexBuffer(), first->getIndexBuffer()));
    return makeRoot(nullptr, {first.get(), group.get()});
}

}  // namespace ov::test
