#include <gtest/gtest.h>

#include "scenegraph/ovBuffers.h"

namespace ov {
namespace {

// Counter changes while it lives.
struct CounterDelta {
    uint64_t loads0 = ovRendererInterface::loadCount();
    uint64_t deletes0 = ovRendererInterface::deleteCount();
    uint64_t loads() const { return ovRendererInterface::loadCount() - loads0; }
    uint64_t deletes() const { return ovRendererInterface::deleteCount() - deletes0; }
};

// The loader's moves are counted by the drivers' tests of paged meshes.
TEST(ResidencyTest, DataComesBackFromTheStoreAndOnlyRealMovesCount) {
    ovPointer<ovIndexBuffer> stored(new ovIndexBuffer(3));
    stored->getData()[2] = 42;
    CounterDelta delta;
    for (int twice = 0; twice < 2; ++twice) {
        ovRendererInterface::DeleteCPUData(stored.get(), false);
        EXPECT_EQ(stored->getData(), nullptr);
    }
    for (int twice = 0; twice < 2; ++twice) {
        EXPECT_TRUE(ovRendererInterface::LoadCPUData(stored.get()));
        EXPECT_EQ(stored->getData()[2], 42);
    }
    EXPECT_EQ(delta.loads(), 1u);
    EXPECT_EQ(delta.deletes(), 1u);
}

// Writers find each attribute by its offset; a colour must not move the others.
TEST(VertexLayoutTest, ColourComesLastAndKeepsTheOtherOffsets) {
    ovAttributes layout;
    layout.SetNormal(true);
    layout.SetTCoordChannels(0, 2);
    const int strideWithout = layout.GetChannelQuantityByte();
    layout.SetColor(true);
    EXPECT_EQ(layout.GetTCoordOffsetByte(0), 24);
    EXPECT_EQ(layout.GetColorOffsetByte(), strideWithout);
    EXPECT_EQ(layout.GetChannelQuantityByte(), strideWithout + 16);
    ovVertexBuffer vertices(layout, 2);
    vertices.Color4(1) = Wm4::ColorRGBA(0.1f, 0.2f, 0.3f, 0.4f);
    vertices.TCoord(0, 1)[1] = 7.0f;
    EXPECT_EQ(vertices.Color4(1), Wm4::ColorRGBA(0.1f, 0.2f, 0.3f, 0.4f));
    EXPECT_EQ(vertices.Color4(0), Wm4::ColorRGBA(0.0f, 0.0f, 0.0f, 0.0f));
}

}  // namespace
}  // namespace ov
