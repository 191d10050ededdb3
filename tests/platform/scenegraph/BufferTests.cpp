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

TEST(ResidencyTest, OnlyRealMovesCountAndTheLoaderLeavesResidencyAsFound) {
    ovPointer<ovIndexBuffer> resident(new ovIndexBuffer(3));
    ovPointer<ovIndexBuffer> stored(new ovIndexBuffer(3));
    stored->getData()[2] = 42;
    CounterDelta delta;
    ovRendererInterface::DeleteCPUData(stored.get(), false);
    ovRendererInterface::DeleteCPUData(stored.get(), false);
    EXPECT_EQ(stored->getData(), nullptr);
    EXPECT_TRUE(ovRendererInterface::LoadCPUData(stored.get()));
    EXPECT_TRUE(ovRendererInterface::LoadCPUData(resident.get()));
    EXPECT_EQ(stored->getData()[2], 42);
    EXPECT_EQ(delta.loads(), 1u);
    EXPECT_EQ(delta.deletes(), 1u);

    ovRendererInterface::DeleteCPUData(stored.get(), false);
    {
        ovDataLoader keep(resident.get());
        ovDataLoader bring(stored.get());
        ovDataLoader nothing(nullptr);
        ASSERT_TRUE(stored->hasCPUData());
        EXPECT_EQ(stored->getData()[2], 42);
    }
    EXPECT_TRUE(resident->hasCPUData());
    EXPECT_FALSE(stored->hasCPUData());
    EXPECT_EQ(delta.loads(), 2u);
    EXPECT_EQ(delta.deletes(), 3u);
}

TEST(ResidencyTest, NonReloadableBufferStaysAbsent) {
    ovPointer<ovIndexBuffer> unmarked(new ovIndexBuffer(3));
    unmarked->setReloadable(false);
    ovRendererInterface::DeleteCPUData(unmarked.get(), false);
    ovPointer<ovIndexBuffer> dropped(new ovIndexBuffer(3));
    ovRendererInterface::DeleteCPUData(dropped.get(), true);  // gone from the store too
    CounterDelta delta;
    for (ovIndexBuffer* indices : {unmarked.get(), dropped.get()}) {
        EXPECT_FALSE(ovRendererInterface::LoadCPUData(indices));
        ovDataLoader loader(indices);
        EXPECT_FALSE(indices->hasCPUData());
    }
    EXPECT_EQ(delta.loads(), 0u);
    EXPECT_EQ(delta.deletes(), 0u);
}

}  // namespace
}  // namespace ov
