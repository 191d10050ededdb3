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

// Unreloadable data is the drivers' tests' "lost" meshes.
TEST(ResidencyTest, DataDroppedFromTheStoreStaysAbsent) {
    ovPointer<ovIndexBuffer> dropped(new ovIndexBuffer(3));
    ovRendererInterface::DeleteCPUData(dropped.get(), true);
    CounterDelta delta;
    EXPECT_FALSE(ovRendererInterface::LoadCPUData(dropped.get()));
    {
        const ovDataLoader loader(dropped.get());
        EXPECT_FALSE(dropped->hasCPUData());
    }
    EXPECT_EQ(delta.loads(), 0u);
}

}  // namespace
}  // namespace ov
