#include <gtest/gtest.h>

#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovSpatial.h"

namespace ov {
namespace {

// Counts its destructions in a counter owned by the test.
class Tracked : public ovObject {
public:
    explicit Tracked(int& destroyed) : mDestroyed(destroyed) {}
    ~Tracked() override { ++mDestroyed; }

private:
    int& mDestroyed;
};

TEST(RttiTest, IsDerivedWalksTheWholeBaseChain) {
    ovXRefNode xref;
    EXPECT_TRUE(xref.IsDerived(ovXRefNode::TYPE));
    EXPECT_TRUE(xref.IsDerived(ovNode::TYPE));
    EXPECT_TRUE(xref.IsDerived(ovSpatial::TYPE));
    EXPECT_TRUE(xref.IsDerived(ovObject::TYPE));
    EXPECT_FALSE(xref.IsDerived(ovLODNode::TYPE));
    EXPECT_FALSE(xref.IsDerived(ovTriMesh::TYPE));

    EXPECT_TRUE(xref.IsExactly(ovXRefNode::TYPE));
    EXPECT_FALSE(xref.IsExactly(ovNode::TYPE));
}

TEST(RttiTest, SiblingTypesAreUnrelated) {
    ovTriMesh mesh;
    EXPECT_TRUE(mesh.IsDerived(ovBaseGeometry::TYPE));
    EXPECT_FALSE(mesh.IsDerived(ovLine::TYPE));
    EXPECT_FALSE(mesh.IsDerived(ovNode::TYPE));
    EXPECT_FALSE(ovObject::TYPE.IsDerived(ovSpatial::TYPE));
}

TEST(RttiTest, TypeNamesAreTheClassNames) {
    ovLODNode lod;
    EXPECT_STREQ(lod.GetType().GetName(), "ovLODNode");
    EXPECT_STREQ(ovInstanceMetaData::TYPE.GetName(), "ovInstanceMetaData");
    EXPECT_STREQ(ovObject::TYPE.GetName(), "ovObject");
}

TEST(ReferenceCountTest, LastPointerDeletesTheObject) {
    int destroyed = 0;
    {
        ovPointer<ovObject> first(new Tracked(destroyed));
        EXPECT_EQ(first->GetReferences(), 1);
        {
            ovPointer<ovObject> second = first;
            EXPECT_EQ(first->GetReferences(), 2);
        }
        EXPECT_EQ(first->GetReferences(), 1);
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(ReferenceCountTest, AssignmentAndMoveKeepCountsExact) {
    int destroyed = 0;
    ovPointer<ovObject> a(new Tracked(destroyed));
    ovPointer<ovObject> b(new Tracked(destroyed));

    const ovPointer<ovObject>& same = a;
    a = same;  // self-assignment must not drop the only reference
    EXPECT_EQ(a->GetReferences(), 1);

    a = b;  // the first object loses its last reference
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(b->GetReferences(), 2);

    ovPointer<ovObject> c(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(c->GetReferences(), 2);

    b = ovPointer<ovObject>();
    c = std::move(b);
    EXPECT_EQ(destroyed, 2);
}

TEST(ReferenceCountTest, ConvertingCopySharesTheObject) {
    ovPointer<ovTriMesh> mesh(new ovTriMesh);
    ovObjectList objects{mesh};
    EXPECT_EQ(mesh->GetReferences(), 2);
    EXPECT_EQ(objects[0].get(), mesh.get());
}

TEST(ObjectTest, IdsAreUniqueAndIncreasing) {
    ovObject a;
    ovObject b;
    EXPECT_NE(a.GetID(), 0u);
    EXPECT_LT(a.GetID(), b.GetID());
}

TEST(ObjectTest, SearchesMatchOnlyItself) {
    ovObject object;
    object.SetName("part");
    EXPECT_EQ(object.GetObjectByName("part"), &object);
    EXPECT_EQ(object.GetObjectByName("other"), nullptr);
    EXPECT_EQ(object.GetObjectByID(object.GetID()), &object);
    EXPECT_EQ(object.GetObjectByID(object.GetID() + 1), nullptr);

    std::vector<ovObject*> found;
    object.GetAllObjectsByName("part", found);
    object.GetAllObjectsByName("other", found);
    EXPECT_EQ(found, std::vector<ovObject*>{&object});
}

TEST(ObjectTest, SharedEmptyStringIsEmpty) {
    EXPECT_TRUE(ovRttiInterface::sEmptyString.empty());
}

TEST(MetadataTest, InstanceWithoutDefinitionGetsItsOwn) {
    ovPointer<ovInstanceMetaData> instance(new ovInstanceMetaData(nullptr));
    ASSERT_NE(instance->getInstanceDefId(), nullptr);
    EXPECT_EQ(instance->getMetadataTypeId(), ovInstanceMetaData::MetadataTypeId);
    EXPECT_EQ(instance->getInstanceDefId()->nodeType, ovInstanceDefId::Unknown);
}

TEST(MetadataTest, InstancesShareTheirDefinition) {
    ovPointer<ovInstanceDefId> definition(new ovInstanceDefId);
    {
        ovPointer<ovInstanceMetaData> first(new ovInstanceMetaData(definition.get()));
        ovPointer<ovInstanceMetaData> second(new ovInstanceMetaData(definition.get()));
        EXPECT_EQ(first->getInstanceDefId(), second->getInstanceDefId());
        EXPECT_EQ(definition->GetReferences(), 3);
    }
    EXPECT_EQ(definition->GetReferences(), 1);
}

TEST(MetadataTest, WorldUnitsCarryTheirValueAndTypeId) {
    ovWorldUnitsMetaData units(0.001);
    EXPECT_EQ(units.getValue(), 0.001);
    EXPECT_EQ(units.getMetadataTypeId(), ovWorldUnitsMetaData::MetadataTypeId);
    EXPECT_TRUE(units.IsDerived(ovMetadataInterface::TYPE));
}

}  // namespace
}  // namespace ov
