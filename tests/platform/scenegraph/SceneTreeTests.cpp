#include <gtest/gtest.h>

#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovSpatial.h"

namespace ov {
namespace {

// Column vectors: p' = R * S * p + T. The quarter turn takes x to y.
const Wm4::Matrix3f kQuarterTurnZ(0, -1, 0, 1, 0, 0, 0, 0, 1);

class CountedNode : public ovNode {
public:
    static int destroyed;
    ~CountedNode() override { ++destroyed; }
};
int CountedNode::destroyed = 0;

ovPointer<ovNode> namedNode(const std::string& name) {
    ovPointer<ovNode> node(new ovNode);
    node->SetName(name);
    return node;
}

void expectNear(const Wm4::Vector3f& actual, const Wm4::Vector3f& expected) {
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(actual[i], expected[i], 1e-4f) << "component " << i;
    }
}

ovTransformation makeTransform(const Wm4::Vector3f& scale, const Wm4::Matrix3f& rotate,
                               const Wm4::Vector3f& translate) {
    ovTransformation t;
    t.SetScale(scale);
    t.SetRotate(rotate);
    t.SetTranslate(translate);
    return t;
}

TEST(NodeChildrenTest, AdoptedOnceNeverInACycleAndSearchedDepthFirst) {
    ovPointer<ovNode> root = namedNode("root");
    ovPointer<ovNode> middle = namedNode("middle");
    ovPointer<ovNode> leaf = namedNode("leaf");
    ASSERT_EQ(root->attachChild(middle.get()), 0);
    ASSERT_EQ(middle->attachChild(leaf.get()), 0);

    EXPECT_EQ(root->attachChild(nullptr), -1);
    EXPECT_EQ(root->attachChild(root.get()), -1);
    EXPECT_EQ(leaf->attachChild(root.get()), -1) << "cycle through a parentless root";
    EXPECT_FALSE(leaf->setChild(0, root.get())) << "cycle, by index";
    EXPECT_EQ(namedNode("other")->attachChild(leaf.get()), -1) << "already has a parent";
    EXPECT_EQ(root->getNbChildren(), 1);
    EXPECT_EQ(leaf->getNbChildren(), 0);

    // Setting free, by detaching or by replacing, makes a child adoptable again.
    EXPECT_EQ(middle->detachChildAt(0).get(), leaf.get());
    EXPECT_EQ(root->attachChild(leaf.get()), 1);
    ovPointer<ovNode> replacement = namedNode("leaf");
    ASSERT_TRUE(root->setChild(1, replacement.get()));
    EXPECT_EQ(leaf->getParent(), nullptr);
    EXPECT_EQ(middle->attachChild(leaf.get()), 1) << "index 0 stays, empty";

    // Searches go depth first, a subtree before the next sibling, over empty slots.
    std::vector<ovObject*> found;
    root->GetAllObjectsByName("leaf", found);
    EXPECT_EQ(found, (std::vector<ovObject*>{leaf.get(), replacement.get()}));
}

// Then keeps a scale-then-rotate form where it can and folds a shear into the
// rotation where it cannot; either way it must equal applying both in turn.
TEST(TransformationTest, ThenEqualsApplyingBothInTurn) {
    const Wm4::Matrix3f identity = Wm4::Matrix3f::Identity();
    const ovTransformation skewed = makeTransform({2, 3, 4}, kQuarterTurnZ, {10, 20, 30});
    const Wm4::Matrix3f tilt(0.6f, 0.8f, 0, -0.8f, 0.6f, 0, 0, 0, 1);
    const std::vector<std::pair<ovTransformation, ovTransformation>> cases{
        {skewed, makeTransform({2, 2, 2}, kQuarterTurnZ, {1, 2, 3})},  // uniform second scale
        {makeTransform({1, 2, 3}, identity, {1, 1, 1}), skewed},       // unrotated first
        {makeTransform({1, 1, 1}, tilt, {-1, 0, 2}), skewed}};         // shear
    for (const auto& [first, second] : cases) {
        const ovTransformation both = first.Then(second);
        for (const Wm4::Vector3f& p : {Wm4::Vector3f{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1.5f, -2, 3}}) {
            expectNear(both.ApplyForward(p, true), second.ApplyForward(first.ApplyForward(p, true), true));
            expectNear(both.ApplyForward(p, false), second.ApplyForward(first.ApplyForward(p, false), false));
        }
    }
    // Callers test for the identity exactly: a flag that any set clears, not the values.
    EXPECT_EQ(skewed.Then(ovTransformation()), skewed);
    EXPECT_EQ(ovTransformation().Then(skewed), skewed);
    ovTransformation t;
    t.SetTranslate({0, 0, 0});
    EXPECT_FALSE(t.IsIdentity() || ovTransformation().Then(t).IsIdentity());
    t.MakeIdentity();
    EXPECT_TRUE(t.IsIdentity() && ovTransformation().Then(t).IsIdentity());
    t.SetRotate(identity);
    EXPECT_FALSE(t.IsIdentity());
    expectNear(makeTransform({1, 1, 1}, kQuarterTurnZ, {}).ApplyForward({1, 0, 0}, true), {0, 1, 0});
}

TEST(WorldTransformTest, SmallTreeMatchesHandComputedValues) {
    ovPointer<ovNode> root = namedNode("root");
    ovPointer<ovNode> child = namedNode("child");
    ovPointer<ovTriMesh> grandchild(new ovTriMesh);
    root->editLocalTransform(true) = makeTransform({2, 2, 2}, Wm4::Matrix3f::Identity(), {1, 0, 0});
    child->editLocalTransform(true) = makeTransform({1, 1, 1}, kQuarterTurnZ, {0, 1, 0});
    grandchild->editLocalTransform(true) = makeTransform({1, 2, 3}, Wm4::Matrix3f::Identity(), {1, 0, 0});
    root->attachChild(child.get());
    child->attachChild(grandchild.get());
    root->UpdateGS_Flags();

    // (1,1,1) -> grandchild (2,2,3) -> child (-2,3,3) -> root (-3,6,6).
    expectNear(grandchild->getWorldTransform().ApplyForward({1, 1, 1}, true), {-3, 6, 6});

    // Updating a subtree starts from its parent's current world:
    // (1,1,1) -> grandchild (2,2,3) -> child (2,3,3) -> root (5,6,6).
    child->editLocalTransform(true).SetRotate(Wm4::Matrix3f::Identity());
    child->UpdateGS_Flags();
    expectNear(grandchild->getWorldTransform().ApplyForward({1, 1, 1}, true), {5, 6, 6});
}

// On a chain of kDepth nodes, each moved by one unit along z from its parent,
// each of these would overflow the stack if it recursed once per level; a
// node held elsewhere survives with its subtree.
TEST(DeepTreeTest, UpdateSearchAndDestructionDoNotRecurse) {
    constexpr int kDepth = 100000;
    CountedNode::destroyed = 0;
    ovPointer<ovNode> root(new CountedNode);
    std::vector<ovNode*> nodes;  // every node below the root
    for (ovNode* last = root.get(); nodes.size() + 1 < static_cast<size_t>(kDepth); last = nodes.back()) {
        nodes.push_back(new CountedNode);
        nodes.back()->editLocalTransform(true).SetTranslate({0, 0, 1});
        EXPECT_EQ(last->attachChild(nodes.back()), 0);
    }
    nodes.back()->SetName("bottom");
    root->UpdateGS_Flags();
    expectNear(nodes.back()->getWorldTransform().GetTranslate(), {0, 0, kDepth - 1});
    EXPECT_EQ(root->GetObjectByName("bottom"), nodes.back());
    EXPECT_EQ(root->GetObjectByID(nodes.back()->GetID()), nodes.back());
    EXPECT_EQ(nodes.back()->attachChild(root.get()), -1) << "cycle found through the whole depth";
    ovPointer<ovNode> middle(nodes[kDepth / 2]);
    root = ovPointer<ovNode>();
    EXPECT_EQ(CountedNode::destroyed, kDepth / 2 + 1);
    EXPECT_EQ(middle->getParent(), nullptr);
    EXPECT_EQ(middle->GetObjectByName("bottom"), nodes.back());
    middle = ovPointer<ovNode>();
    EXPECT_EQ(CountedNode::destroyed, kDepth);
}

}  // namespace
}  // namespace ov
