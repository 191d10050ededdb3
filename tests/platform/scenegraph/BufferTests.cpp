#include <gtest/gtest.h>

#include <cstring>

#include "scenegraph/ovBuffers.h"

namespace ov {
namespace {

ovAttributes positionsOnly() {
    return {};
}

// Position, normal, 2 coordinates in unit 0, none in unit 1, 3 in unit 2.
ovAttributes fullLayout() {
    ovAttributes attributes;
    attributes.SetNormal(true);
    attributes.SetTCoordChannels(0, 2);
    attributes.SetTCoordChannels(2, 3);
    return attributes;
}

Wm4::Vector3f rawFloats(const char* at) {
    float values[3];
    std::memcpy(values, at, sizeof values);
    return {values[0], values[1], values[2]};
}

// Counter changes while it lives.
struct CounterDelta {
    uint64_t loads0 = ovRendererInterface::loadCount();
    uint64_t deletes0 = ovRendererInterface::deleteCount();
    uint64_t loads() const { return ovRendererInterface::loadCount() - loads0; }
    uint64_t deletes() const { return ovRendererInterface::deleteCount() - deletes0; }
};

TEST(AttributesTest, StrideAndOffsetsFollowUnitOrder) {
    EXPECT_EQ(positionsOnly().GetChannelQuantityByte(), 12);
    EXPECT_EQ(positionsOnly().GetNormalOffsetByte(), -1);
    EXPECT_EQ(positionsOnly().GetMaxTCoords(), 0);

    const ovAttributes full = fullLayout();
    EXPECT_EQ(full.GetChannelQuantityByte(), 12 + 12 + 8 + 12);
    EXPECT_EQ(full.GetPositionOffsetByte(), 0);
    EXPECT_EQ(full.GetNormalOffsetByte(), 12);
    EXPECT_EQ(full.GetTCoordOffsetByte(0), 24);
    EXPECT_EQ(full.GetTCoordOffsetByte(2), 32);
    EXPECT_FALSE(full.HasTCoord(1));
    EXPECT_EQ(full.GetTCoordOffsetByte(1), -1);
    EXPECT_EQ(full.GetMaxTCoords(), 3);
}

TEST(AttributesTest, ZeroChannelsRemovesAUnitAndBadInputIsContained) {
    ovAttributes attributes = fullLayout();
    attributes.SetTCoordChannels(2, 0);
    EXPECT_EQ(attributes.GetMaxTCoords(), 1);
    EXPECT_EQ(attributes.GetChannelQuantityByte(), 32);

    attributes.SetTCoordChannels(ovAttributes::MaxTCoordUnits, 2);
    attributes.SetTCoordChannels(-1, 2);
    attributes.SetTCoordChannels(1, 9);
    EXPECT_EQ(attributes.GetTCoordChannels(1), 4);
    EXPECT_EQ(attributes.GetTCoordChannels(ovAttributes::MaxTCoordUnits), 0);
    EXPECT_EQ(attributes.GetChannelQuantityByte(), 48);
}

TEST(VertexBufferTest, StartsResidentAndZeroFilled) {
    ovPointer<ovVertexBuffer> vertices(new ovVertexBuffer(fullLayout(), 3));
    ASSERT_TRUE(vertices->hasCPUData());
    const char* data = vertices->getDataByte();
    ASSERT_NE(data, nullptr);
    for (int i = 0; i < 3 * 44; ++i) {
        ASSERT_EQ(data[i], 0) << "byte " << i;
    }
    EXPECT_EQ(vertices->GetVertexQuantity(), 3);
}

TEST(VertexBufferTest, AccessorsAddressStrideAndOffsets) {
    ovPointer<ovVertexBuffer> vertices(new ovVertexBuffer(fullLayout(), 3));
    vertices->Position3(2) = {1, 2, 3};
    vertices->Normal3(1) = {0, 0, 1};
    vertices->TCoord(2, 1)[2] = 7.5f;

    const char* data = vertices->getDataByte();
    EXPECT_EQ(rawFloats(data + 2 * 44), (Wm4::Vector3f{1, 2, 3}));
    EXPECT_EQ(rawFloats(data + 44 + 12), (Wm4::Vector3f{0, 0, 1}));
    float texture;
    std::memcpy(&texture, data + 44 + 32 + 8, sizeof texture);
    EXPECT_EQ(texture, 7.5f);

    const ovVertexBuffer& constant = *vertices;
    EXPECT_EQ(constant.Position3(2), (Wm4::Vector3f{1, 2, 3}));
}

TEST(VertexBufferTest, NonResidentDataIsNotRead) {
    ovPointer<ovVertexBuffer> vertices(new ovVertexBuffer(positionsOnly(), 1));
    ovRendererInterface::DeleteCPUData(vertices.get(), false);
    EXPECT_EQ(vertices->getDataByte(), nullptr);
#ifdef NDEBUG
    GTEST_SKIP() << "the guard is a debug assertion";
#else
    EXPECT_DEATH(vertices->Position3(0), "hasCPUData");
#endif
}

TEST(ResidencyTest, DeleteAndLoadMoveTheBytesAndCountOnlyRealMoves) {
    ovPointer<ovIndexBuffer> indices(new ovIndexBuffer(3));
    indices->getData()[2] = 42;
    CounterDelta delta;

    ovRendererInterface::DeleteCPUData(indices.get(), false);
    EXPECT_FALSE(indices->hasCPUData());
    EXPECT_EQ(indices->getData(), nullptr);
    ovRendererInterface::DeleteCPUData(indices.get(), false);
    EXPECT_EQ(delta.deletes(), 1u);

    EXPECT_TRUE(ovRendererInterface::LoadCPUData(indices.get()));
    ASSERT_TRUE(indices->hasCPUData());
    EXPECT_EQ(indices->getData()[2], 42);
    EXPECT_TRUE(ovRendererInterface::LoadCPUData(indices.get()));
    EXPECT_EQ(delta.loads(), 1u);

    EXPECT_FALSE(ovRendererInterface::LoadCPUData(nullptr));
    ovRendererInterface::DeleteCPUData(nullptr, false);
}

TEST(ResidencyTest, NonReloadableBufferStaysAbsent) {
    ovPointer<ovIndexBuffer> indices(new ovIndexBuffer(3));
    indices->setReloadable(false);
    ovRendererInterface::DeleteCPUData(indices.get(), false);
    CounterDelta delta;
    EXPECT_FALSE(ovRendererInterface::LoadCPUData(indices.get()));
    EXPECT_FALSE(indices->hasCPUData());
    {
        ovDataLoader loader(indices.get());
        EXPECT_FALSE(indices->hasCPUData());
    }
    EXPECT_EQ(delta.loads(), 0u);
    EXPECT_EQ(delta.deletes(), 0u);
}

TEST(ResidencyTest, DroppingFromTheStoreLosesTheData) {
    ovPointer<ovIndexBuffer> indices(new ovIndexBuffer(3));
    ovRendererInterface::DeleteCPUData(indices.get(), true);
    EXPECT_FALSE(ovRendererInterface::LoadCPUData(indices.get()));
}

TEST(DataLoaderTest, LeavesResidencyAsFound) {
    ovPointer<ovIndexBuffer> resident(new ovIndexBuffer(3));
    ovPointer<ovIndexBuffer> stored(new ovIndexBuffer(3));
    stored->getData()[0] = 5;
    ovRendererInterface::DeleteCPUData(stored.get(), false);

    CounterDelta delta;
    {
        ovDataLoader keep(resident.get());
        ovDataLoader bring(stored.get());
        ovDataLoader nothing(nullptr);
        EXPECT_TRUE(resident->hasCPUData());
        ASSERT_TRUE(stored->hasCPUData());
        EXPECT_EQ(stored->getData()[0], 5);
    }
    EXPECT_TRUE(resident->hasCPUData());
    EXPECT_FALSE(stored->hasCPUData());
    EXPECT_EQ(delta.loads(), 1u);
    EXPECT_EQ(delta.deletes(), 1u);
}

TEST(IndexBufferTest, HoldsZeroedIntegers) {
    ovPointer<ovIndexBuffer> indices(new ovIndexBuffer(4));
    EXPECT_EQ(indices->GetIndexQuantity(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(indices->getData()[i], 0);
    }
    ovPointer<ovIndexBuffer> none(new ovIndexBuffer(-2));
    EXPECT_EQ(none->GetIndexQuantity(), 0);
}

}  // namespace
}  // namespace ov
