#include <gtest/gtest.h>

#include <map>

#include "scenegraph/ovGeometry.h"

namespace ov {
namespace {

TEST(TriMeshTest, TriangleQuantityComesFromTheIndexCount) {
    ovPointer<ovTriMesh> mesh(new ovTriMesh);
    EXPECT_EQ(mesh->GetTriangleQuantity(), 0);

    ovAttributes positions;
    mesh->setBuffers(new ovVertexBuffer(positions, 4), new ovIndexBuffer(7));
    EXPECT_EQ(mesh->GetTriangleQuantity(), 2);
    EXPECT_EQ(mesh->getVertexBuffer()->GetVertexQuantity(), 4);
    EXPECT_EQ(mesh->getVertexBuffer()->GetReferences(), 1);
}

TEST(BaseGeometryTest, EditCreatesStatesOnlyWhenAsked) {
    ovPointer<ovTriMesh> mesh(new ovTriMesh);
    EXPECT_EQ(mesh->editMaterialState(false), nullptr);
    EXPECT_EQ(mesh->editTextureState(false), nullptr);

    ovMaterialState* material = mesh->editMaterialState(true);
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(mesh->editMaterialState(true), material);
    EXPECT_EQ(mesh->getMaterialState(), material);
    EXPECT_EQ(material->diffuse, (Wm4::ColorRGBA{0.8f, 0.8f, 0.8f, 1.0f}));

    ovTextureState* textures = mesh->editTextureState(true);
    ASSERT_NE(textures, nullptr);
    EXPECT_EQ(mesh->editTextureState(false), textures);
}

TEST(TextureTest, TypeFieldAndTextureList) {
    ovPointer<ovTexture> texture(new ovTexture(new ovImage(ovImage::RGB8, 1, 1)));
    texture->setTypeField(0x1200 | ovTexture::Emission);
    EXPECT_EQ(texture->getTexType(), ovTexture::Emission);
    EXPECT_EQ(texture->getChannel(), 1);
    EXPECT_EQ(texture->getFormatCode(), 0);

    ovPointer<ovTextureState> state(new ovTextureState);
    state->addTexture(texture.get());
    state->addTexture(nullptr);
    EXPECT_EQ(state->getNbTexture(), 1);
    EXPECT_EQ(state->editTexture(0), texture.get());
    EXPECT_EQ(state->editTexture(1), nullptr);
    EXPECT_EQ(state->editTexture(-1), nullptr);
}

TEST(MaterialObjectTest, OrdersByMaterialThenTexture) {
    ovPointer<ovMaterialState> materials[2] = {new ovMaterialState, new ovMaterialState};
    ovPointer<ovTextureState> textures[2] = {new ovTextureState, new ovTextureState};
    std::less<const void*> before;
    if (before(materials[1].get(), materials[0].get())) {
        std::swap(materials[0], materials[1]);
    }
    if (before(textures[1].get(), textures[0].get())) {
        std::swap(textures[0], textures[1]);
    }

    const ovMaterialObject m0t1(materials[0].get(), textures[1].get());
    const ovMaterialObject m1t0(materials[1].get(), textures[0].get());
    const ovMaterialObject m0t0(materials[0].get(), textures[0].get());
    const ovMaterialObject m0none(materials[0].get(), nullptr);
    EXPECT_TRUE(m0t1 < m1t0) << "the material decides first";
    EXPECT_TRUE(m0t0 < m0t1);
    EXPECT_FALSE(m0t1 < m0t1);
    EXPECT_TRUE(m0none < m0t0);

    std::map<ovMaterialObject, int> ids;
    ids.emplace(m1t0, 1);
    ids.emplace(m0t1, 2);
    ids.emplace(ovMaterialObject(materials[0].get(), textures[1].get()), 3);
    EXPECT_EQ(ids.size(), 2u);
    EXPECT_EQ(ids.begin()->second, 2);
    EXPECT_TRUE(m0t1 == ovMaterialObject(materials[0].get(), textures[1].get()));
    EXPECT_FALSE(m0t1 == m0t0);
}

TEST(LineTest, DefaultsToBlackOfWidthOne) {
    ovPointer<ovLine> line(new ovLine);
    EXPECT_EQ(line->getColor(), Wm4::ColorRGBA::Black());
    EXPECT_EQ(line->getWidth(), 1.0f);
    EXPECT_TRUE(line->IsDerived(ovBaseGeometry::TYPE));
}

}  // namespace
}  // namespace ov
