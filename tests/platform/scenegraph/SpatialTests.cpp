#include <gtest/gtest.h>

#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovSpatial.h"

namespace ov {
namespace {

using Vec = Wm4::Vector3f;

// Turns the x axis into the y axis, for row vectors (p' = p * R).
const Wm4::Matrix3f kQuarterTurnZ(0, 1, 0, -1, 0, 0, 0, 0, 1);

ovPointer<ovNode> namedNode(const std::string& name) {
    ovPointer<ovNode> node(new ovNode);
    node->SetName(name);
    return node;
}

void expectNear(const Vec& actual, const Vec& expected) {
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(actual[i], expected[i], 1e-5f) << "component " << i;
    }
}

// ------------------------------------------------------------ attach and detach

TEST(NodeChildrenTest, AttachAppendsAndSetsTheParent) {
    ovPointer<ovNode> root = namedNode("root");
    ovPointer<ovNode> a = namedNode("a");
    ovPointer<ovTriMesh> b(new ovTriMesh);
    EXPECT_EQ(root->attachChild(a.get()), 0);
    EXPECT_EQ(root->attachChild(b.get()), 1);
    EXPECT_EQ(root->getNbChildren(), 2);
    EXPECT_EQ(root->getChild(1), b.get());
    EXPECT_EQ(a->getParent(), root.get());
    EXPECT_EQ(b->getParent(), root.get());
    EXPECT_EQ(root->getChild(2), nullptr);
    EXPECT_EQ(root->getChild(-1), nullptr);
}

TEST(NodeChildrenTest, AttachRefusesNullAdoptedSelfAndAncestors) {
    ovPointer<ovNode> root = namedNode("root");
    ovPointer<ovNode> middle = namedNode("middle");
    ovPointer<ovNode> leaf = namedNode("leaf");
    ASSERT_EQ(root->attachChild(middle.get()), 0);
    ASSERT_EQ(middle->attachChild(leaf.get()), 0);

    EXPECT_EQ(root->attachChild(nullptr), -1);
    EXPECT_EQ(root->attachChild(root.get()), -1);
    EXPECT_EQ(leaf->attachChild(root.get()), -1) << "cycle through a parentless root";
    EXPECT_EQ(leaf->attachChild(middle.get()), -1) << "child of another node";

    ovPointer<ovNode> other = namedNode("other");
    EXPECT_EQ(other->attachChild(leaf.get()), -1) << "already has a parent";

    EXPECT_EQ(root->getNbChildren(), 1);
    EXPECT_EQ(middle->getNbChildren(), 1);
    EXPECT_EQ(leaf->getNbChildren(), 0);
    EXPECT_EQ(root->getParent(), nullptr);
}

TEST(NodeChildrenTest, DetachLeavesAnEmptySlotAndFreesTheChild) {
    ovPointer<ovNode> root = namedNode("root");
    ovPointer<ovNode> a = namedNode("a");
    root->attachChild(a.get());
    root->attachChild(namedNode("b").get());

    ovPointer<ovSpatial> detached = root->detachChildAt(0);
    EXPECT_EQ(detached.get(), a.get());
    EXPECT_EQ(a->getParent(), nullptr);
    EXPECT_EQ(root->getNbChildren(), 2);
    EXPECT_EQ(root->getChild(0), nullptr);
    EXPECT_FALSE(root->detachChildAt(0));
    EXPECT_FALSE(root->detachChildAt(5));

    ovPointer<ovNode> other = namedNode("other");
    EXPECT_EQ(other->attachChild(a.get()), 0) << "a detached child may be adopted again";
}

TEST(NodeChildrenTest, SetChildGrowsReplacesAndRefusesLikeAttach) {
    ovPointer<ovNode> root = namedNode("root");
    ovPointer<ovNode> first = namedNode("first");
    ovPointer<ovNode> second = namedNode("second");

    EXPECT_TRUE(root->setChild(2, first.get()));
    EXPECT_EQ(root->getNbChildren(), 3);
    EXPECT_EQ(root->getChild(0), nullptr);
    EXPECT_EQ(first->getParent(), root.get());

    EXPECT_TRUE(root->setChild(2, second.get()));
    EXPECT_EQ(first->getParent(), nullptr) << "the replaced child is set free";
    EXPECT_EQ(root->getChild(2), second.get());

    EXPECT_TRUE(root->setChild(2, nullptr));
    EXPECT_EQ(second->getParent(), nullptr);

    EXPECT_FALSE(root->setChild(-1, first.get()));
    EXPECT_FALSE(root->setChild(0, root.get()));
    ASSERT_TRUE(root->setChild(0, first.get()));
    EXPECT_FALSE(root->setChild(1, first.get())) << "already has a parent";
    EXPECT_FALSE(first->setChild(0, root.get())) << "would make a cycle";
}

TEST(NodeChildrenTest, AttachingMarksTheChildAndItsNewAncestorsDirty) {
    ovPointer<ovNode> root = namedNode("root");
    ovPointer<ovNode> middle = namedNode("middle");
    root->attachChild(middle.get());
    root->UpdateGS_Flags();
    EXPECT_FALSE(root->isDirty());
    EXPECT_FALSE(middle->isDirty());

    ovPointer<ovNode> leaf = namedNode("leaf");
    middle->attachChild(leaf.get());
    EXPECT_TRUE(leaf->isDirty());
    EXPECT_TRUE(middle->isDirty());
    EXPECT_TRUE(root->isDirty());

    root->UpdateGS_Flags();
    leaf->editLocalTransform(false).SetTranslate({1, 0, 0});
    EXPECT_FALSE(leaf->isDirty());
    leaf->editLocalTransform(true);
    EXPECT_TRUE(leaf->isDirty());
    EXPECT_TRUE(root->isDirty());
}

// ----------------------------------------------------------------- searching

TEST(NodeSearchTest, FindsDepthFirstParentsBeforeChildren) {
    ovPointer<ovNode> root = namedNode("root");
    ovPointer<ovNode> a = namedNode("a");
    ovPointer<ovTriMesh> deep(new ovTriMesh);
    deep->SetName("target");
    ovPointer<ovNode> b = namedNode("target");
    root->attachChild(a.get());
    root->setChild(2, b.get());  // slot 1 stays empty
    a->attachChild(deep.get());

    EXPECT_EQ(root->GetObjectByName("target"), deep.get());
    EXPECT_EQ(root->GetObjectByName("root"), root.get());
    EXPECT_EQ(root->GetObjectByName("missing"), nullptr);
    EXPECT_EQ(a->GetObjectByName("target"), deep.get());

    std::vector<ovObject*> all;
    root->GetAllObjectsByName("target", all);
    EXPECT_EQ(all, (std::vector<ovObject*>{deep.get(), b.get()}));

    EXPECT_EQ(root->GetObjectByID(deep->GetID()), deep.get());
    EXPECT_EQ(root->GetObjectByID(b->GetID()), b.get());
    EXPECT_EQ(a->GetObjectByID(b->GetID()), nullptr);
}

// ------------------------------------------------------------------ metadata

TEST(SpatialMetadataTest, KeepsAttachmentOrderAndFindsFirstOfAType) {
    ovPointer<ovNode> node = namedNode("n");
    ovPointer<ovWorldUnitsMetaData> metres(new ovWorldUnitsMetaData(1.0));
    ovPointer<ovInstanceMetaData> instance(new ovInstanceMetaData(nullptr));
    ovPointer<ovWorldUnitsMetaData> millimetres(new ovWorldUnitsMetaData(0.001));
    node->setMetadata(metres.get());
    node->setMetadata(nullptr);
    node->setMetadata(instance.get());
    node->setMetadata(millimetres.get());

    EXPECT_EQ(node->getNbMetadata(), 3);
    EXPECT_EQ(node->getMetadata(1), instance.get());
    EXPECT_EQ(node->getMetadata(3), nullptr);
    EXPECT_EQ(node->findMetadata(ovWorldUnitsMetaData::MetadataTypeId), metres.get());
    EXPECT_EQ(node->findMetadata(ovInstanceMetaData::MetadataTypeId), instance.get());
    EXPECT_EQ(node->findMetadata(99), nullptr);
}

// ------------------------------------------------------------ world transforms

// root: uniform scale 2, then moved by (1,0,0); child: quarter turn about z,
// then moved by (0,1,0); grandchild: scale (1,2,3), then moved by (1,0,0).
struct ThreeLevels {
    ovPointer<ovNode> root = namedNode("root");
    ovPointer<ovNode> child = namedNode("child");
    ovPointer<ovTriMesh> grandchild{new ovTriMesh};

    ThreeLevels() {
        root->editLocalTransform(true).SetScale({2, 2, 2});
        root->editLocalTransform(true).SetTranslate({1, 0, 0});
        child->editLocalTransform(true).SetRotate(kQuarterTurnZ);
        child->editLocalTransform(true).SetTranslate({0, 1, 0});
        grandchild->editLocalTransform(true).SetScale({1, 2, 3});
        grandchild->editLocalTransform(true).SetTranslate({1, 0, 0});
        root->attachChild(child.get());
        child->attachChild(grandchild.get());
    }
};

TEST(WorldTransformTest, ThreeLevelsMatchHandComputedValues) {
    ThreeLevels scene;
    scene.root->UpdateGS_Flags();

    // (1,1,1) -> grandchild (2,2,3) -> child (-2,3,3) -> root (-3,6,6).
    expectNear(scene.grandchild->getWorldTransform().ApplyForward({1, 1, 1}, true), {-3, 6, 6});
    // The child's origin: (0,1,0) -> root (1,2,0).
    expectNear(scene.child->getWorldTransform().ApplyForward({0, 0, 0}, true), {1, 2, 0});

    Wm4::Matrix4f h;
    scene.grandchild->getWorldTransform().GetHomogeneous(h);
    const float expected[4][4] = {{0, 2, 0, 0}, {-4, 0, 0, 0}, {0, 0, 6, 0}, {1, 4, 0, 1}};
    for (size_t r = 0; r < 4; ++r) {
        for (size_t c = 0; c < 4; ++c) {
            EXPECT_NEAR(h(r, c), expected[r][c], 1e-6f) << "row " << r << " column " << c;
        }
    }
    EXPECT_FALSE(scene.grandchild->isDirty());
}

TEST(WorldTransformTest, UpdatingASubtreeStartsFromTheParentsCurrentWorld) {
    ThreeLevels scene;
    scene.root->UpdateGS_Flags();
    scene.child->editLocalTransform(true).SetRotate(Wm4::Matrix3f::Identity());
    scene.child->UpdateGS_Flags();
    // (1,1,1) -> grandchild (2,2,3) -> child (2,3,3) -> root (5,6,6).
    expectNear(scene.grandchild->getWorldTransform().ApplyForward({1, 1, 1}, true), {5, 6, 6});
}

TEST(WorldTransformTest, DetachedSpatialIsItsOwnRoot) {
    ThreeLevels scene;
    scene.root->UpdateGS_Flags();
    ovPointer<ovSpatial> child = scene.root->detachChildAt(0);
    child->UpdateGS_Flags();
    EXPECT_EQ(child->getWorldTransform(), child->getLocalTransform());
}

// ------------------------------------------------------------------ deep trees

class CountedNode : public ovNode {
public:
    static int destroyed;
    ~CountedNode() override { ++destroyed; }
};
int CountedNode::destroyed = 0;

constexpr int kDepth = 100000;

// A chain of kDepth nodes, each moved by one unit along z from its parent.
ovPointer<ovNode> deepChain(std::vector<ovNode*>* nodes = nullptr) {
    ovPointer<ovNode> root(new CountedNode);
    ovNode* last = root.get();
    for (int level = 1; level < kDepth; ++level) {
        ovPointer<ovNode> next(new CountedNode);
        next->editLocalTransform(true).SetTranslate({0, 0, 1});
        EXPECT_EQ(last->attachChild(next.get()), 0);
        if (nodes) {
            nodes->push_back(next.get());
        }
        last = next.get();
    }
    last->SetName("bottom");
    return root;
}

TEST(DeepTreeTest, UpdateSearchAndDestructionDoNotRecurse) {
    CountedNode::destroyed = 0;
    {
        std::vector<ovNode*> nodes;
        ovPointer<ovNode> root = deepChain(&nodes);
        root->UpdateGS_Flags();
        expectNear(nodes.back()->getWorldTransform().GetTranslate(), {0, 0, kDepth - 1});
        EXPECT_EQ(root->GetObjectByName("bottom"), nodes.back());
        EXPECT_EQ(root->GetObjectByID(nodes.back()->GetID()), nodes.back());
        EXPECT_EQ(nodes.back()->attachChild(root.get()), -1) << "cycle found through the whole depth";
    }
    EXPECT_EQ(CountedNode::destroyed, kDepth);
}

TEST(DeepTreeTest, ANodeHeldElsewhereSurvivesWithItsSubtree) {
    CountedNode::destroyed = 0;
    std::vector<ovNode*> nodes;
    ovPointer<ovNode> root = deepChain(&nodes);
    ovPointer<ovNode> middle(nodes[kDepth / 2]);

    root = ovPointer<ovNode>();
    EXPECT_EQ(CountedNode::destroyed, kDepth / 2 + 1);
    EXPECT_EQ(middle->getParent(), nullptr);
    EXPECT_EQ(middle->GetObjectByName("bottom"), nodes.back());
    EXPECT_EQ(nodes.back()->getParent(), nodes[kDepth - 3]);

    middle = ovPointer<ovNode>();
    EXPECT_EQ(CountedNode::destroyed, kDepth);
}

}  // namespace
}  // namespace ov
