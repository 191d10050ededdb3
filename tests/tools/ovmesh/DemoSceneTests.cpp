#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>

#include "ovmesh/DemoScene.h"
#include "ovmesh/SceneVariants.h"
#include "scenegraph/ovGeometry.h"

namespace ov::test {
namespace {

using ovmesh::buildDemoScene;
using ovmesh::forEachSpatial;

TEST(DemoSceneTest, IsAnAssemblyInMillimetres) {
    const ovPointer<ovNode> scene = buildDemoScene();
    EXPECT_EQ(scene->GetName(), "assembly");
    const auto* units =
        static_cast<const ovWorldUnitsMetaData*>(scene->findMetadata(ovWorldUnitsMetaData::MetadataTypeId));
    ASSERT_NE(units, nullptr);
    EXPECT_EQ(units->getValue(), 0.001);
    int subAssemblies = 0;
    for (int i = 0; i < scene->getNbChildren(); ++i) {
        const ovSpatial* child = scene->getChild(i);
        subAssemblies +=
            child->IsDerived(ovNode::TYPE) && static_cast<const ovNode*>(child)->getNbChildren() > 1;
    }
    EXPECT_GE(subAssemblies, 2);
}

TEST(DemoSceneTest, SharesOnePartBetweenRotatedInstances) {
    const ovPointer<ovNode> scene = buildDemoScene();
    std::set<const ovInstanceDefId*> definitions;
    int instances = 0;
    int turned = 0;
    forEachSpatial(*scene, [&](const ovSpatial& spatial) {
        const auto* instance =
            static_cast<const ovInstanceMetaData*>(spatial.findMetadata(ovInstanceMetaData::MetadataTypeId));
        if (instance != nullptr) {
            ++instances;
            definitions.insert(instance->getInstanceDefId());
            EXPECT_FALSE(instance->getInstanceDefId()->getComponentMd().empty());
        }
        const Wm4::Matrix3f& rotate = spatial.getLocalTransform().GetRotate();
        turned += rotate != Wm4::Matrix3f::Identity();
    });
    EXPECT_GE(instances, 2);
    EXPECT_EQ(definitions.size(), 1u);
    EXPECT_GE(turned, 2);
}

TEST(DemoSceneTest, HoldsMeshesOfSeveralColoursAndPolylines) {
    const ovPointer<ovNode> scene = buildDemoScene();
    std::set<std::tuple<float, float, float>> colours;
    int meshes = 0;
    forEachSpatial(*scene, [&](const ovSpatial& spatial) {
        if (spatial.IsDerived(ovTriMesh::TYPE)) {
            ++meshes;
            const ovMaterialState* material = static_cast<const ovTriMesh&>(spatial).getMaterialState();
            ASSERT_NE(material, nullptr);
            colours.emplace(material->diffuse.R(), material->diffuse.G(), material->diffuse.B());
        }
    });
    EXPECT_GE(meshes, 5);
    EXPECT_GE(colours.size(), 3u);
    EXPECT_GE(ovmesh::countLines(*scene), 2u);
}

}  // namespace
}  // namespace ov::test
