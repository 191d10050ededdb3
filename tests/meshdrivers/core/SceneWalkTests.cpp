#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/SceneWalk.h"
#include "support/RecordingProgress.h"

namespace ov::test {
namespace {

ovNode* namedNode(const std::string& name, float x) {
    auto* node = new ovNode;
    node->SetName(name);
    node->editLocalTransform(true).SetTranslate({x, 0, 0});
    return node;
}

// above (scaled) -> root -> [a -> [a1], empty slot, b -> [b1], c], each
// moved; b's children are skipped, and a node named "stop" ends the walk.
class SceneWalkTest : public ::testing::Test {
protected:
    SceneWalkTest() {
        ovNode* a = namedNode("a", 2);
        ovNode* b = namedNode("b", 4);
        above->editLocalTransform(true).SetScale({2, 2, 2});
        above->attachChild(root);
        root->attachChild(a);
        a->attachChild(namedNode("a1", 3));
        root->setChild(2, b);
        b->attachChild(namedNode("b1", 5));
        root->attachChild(namedNode("c", 6));
        above->UpdateGS_Flags();
    }

    bool walk(ovProgressNotifierInterface* progress = nullptr) {
        const auto enter = [this](const WalkStep<const ovSpatial>& step) {
            const std::string& name = step.object.GetName();
            events += "+" + name + std::to_string(step.depth) + std::to_string(step.childIndex) + " ";
            worldsMatch = worldsMatch && step.world == step.object.getWorldTransform();
            return name == "b" ? WalkNext::Skip : name == "stop" ? WalkNext::Stop : WalkNext::Children;
        };
        return walkScene(
            static_cast<const ovSpatial&>(*root), progress, enter,
            [this](const WalkStep<const ovSpatial>& step) { events += "-" + step.object.GetName() + " "; });
    }

    ovPointer<ovNode> above = namedNode("above", 1);
    ovNode* root = namedNode("root", 0);
    std::string events;
    bool worldsMatch = true;
};

TEST_F(SceneWalkTest, EntersAndLeavesInOrderWithTheWorldOfUpdateGS) {
    EXPECT_TRUE(walk());
    EXPECT_EQ(events, "+root0-1 +a10 +a120 -a1 -a +b12 +c13 -c -root ");
    EXPECT_TRUE(worldsMatch);
}

TEST_F(SceneWalkTest, CancellationSkipsAndStopEndsWithoutLeaving) {
    RecordingProgress cancelFromA1(3);
    EXPECT_TRUE(walk(&cancelFromA1));
    EXPECT_EQ(events, "+root0-1 +a10 -a -root ");
    events.clear();
    root->getChild(0)->SetName("stop");
    EXPECT_FALSE(walk());
    EXPECT_EQ(events, "+root0-1 +stop10 ");
}

}  // namespace
}  // namespace ov::test
