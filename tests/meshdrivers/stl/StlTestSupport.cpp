#include "StlTestSupport.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <filesystem>

#include "stl/StlMeshDriver.h"
#include "support/TestSupport.h"

namespace ov::test {

ovTriMesh* makeMesh(const std::vector<Point>& positions, const std::vector<int>& indices,
                    const ovAttributes& attributes) {
    auto* vertices = new ovVertexBuffer(attributes, static_cast<int>(positions.size()));
    for (int i = 0; i < vertices->GetVertexQuantity(); ++i) {
        vertices->Position3(i) = positions[static_cast<size_t>(i)];
        if (attributes.HasNormal()) {
            vertices->Normal3(i) = {99.0f, 99.0f, 99.0f};
        }
        for (int unit = 0; unit < attributes.GetMaxTCoords(); ++unit) {
            float* coordinates = vertices->TCoord(unit, i);
            for (int channel = 0; channel < attributes.GetTCoordChannels(unit); ++channel) {
                coordinates[channel] = -99.0f;
            }
        }
    }
    auto* indexBuffer = new ovIndexBuffer(static_cast<int>(indices.size()));
    std::copy(indices.begin(), indices.end(), indexBuffer->getData());
    return new ovTriMesh(vertices, indexBuffer);
}

void setDiffuse(ovTriMesh& mesh, float red, float green, float blue) {
    mesh.editMaterialState(true)->diffuse = Wm4::ColorRGBA(red, green, blue, 1.0f);
}

ovNode* attachPlacedNode(ovNode& parent, const Wm4::Matrix3f& rotate, const Point& translate) {
    auto* node = new ovNode;
    node->editLocalTransform(true).SetRotate(rotate);
    node->editLocalTransform(true).SetTranslate(translate);
    parent.attachChild(node);
    return node;
}

ovPointer<ovNode> buildTwoPartScene() {
    ovPointer<ovNode> root(new ovNode);
    root->SetName("Assembly");

    ovNode* partA = attachPlacedNode(*root, Wm4::Matrix3f::Identity(), {10.0f, 0.0f, 0.0f});
    ovTriMesh* tetrahedron =
        makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {0, 2, 1, 0, 1, 3, 0, 3, 2, 1, 2, 3});
    tetrahedron->SetName("Tetrahedron");
    setDiffuse(*tetrahedron, 1.0f, 0.0f, 0.0f);
    partA->attachChild(tetrahedron);

    // A quarter turn about z for row vectors: x goes to y, y to -x.
    const Wm4::Matrix3f quarterTurn(0, 1, 0, -1, 0, 0, 0, 0, 1);
    ovNode* partB = attachPlacedNode(*root, quarterTurn, {0.0f, 5.0f, -2.0f});
    ovAttributes withNormalAndUv;
    withNormalAndUv.SetNormal(true);
    withNormalAndUv.SetTCoordChannels(0, 2);
    ovTriMesh* quad =
        makeMesh({{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0}}, {0, 1, 2, 0, 2, 3}, withNormalAndUv);
    quad->SetName("Quad");
    setDiffuse(*quad, 0.2f, 0.6f, 1.0f);
    partB->attachChild(quad);
    return root;
}

namespace {

uint32_t readUInt32(const std::string& bytes, size_t offset) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
    }
    return value;
}

Point readPoint(const std::string& bytes, size_t offset) {
    return {std::bit_cast<float>(readUInt32(bytes, offset)),
            std::bit_cast<float>(readUInt32(bytes, offset + 4)),
            std::bit_cast<float>(readUInt32(bytes, offset + 8))};
}

}  // namespace

StlFile decodeStl(const std::string& bytes) {
    StlFile file;
    if (bytes.size() < 84) {
        ADD_FAILURE() << "an STL file of " << bytes.size() << " bytes has no full header";
        return file;
    }
    file.header = bytes.substr(0, 80);
    file.count = readUInt32(bytes, 80);
    size_t offset = 84;
    for (; offset + 50 <= bytes.size(); offset += 50) {
        StlFacet facet;
        facet.normal = readPoint(bytes, offset);
        for (size_t k = 0; k < 3; ++k) {
            facet.corners[k] = readPoint(bytes, offset + 12 + 12 * k);
        }
        facet.colour = static_cast<uint16_t>(static_cast<unsigned char>(bytes[offset + 48]) |
                                             static_cast<unsigned char>(bytes[offset + 49]) << 8);
        file.facets.push_back(facet);
    }
    file.trailingBytes = bytes.size() - offset;
    return file;
}

std::string saveStl(ovSpatial* root, ovProgressNotifierInterface* progress) {
    StlMeshDriver driver;
    ovIoDeviceMemory device;
    EXPECT_TRUE(driver.saveMeshes({ovPointer<ovObject>(root)}, device, "stl", progress, {}));
    return device.data();
}

void expectMatchesGolden(const std::string& actual, const std::string& goldenName) {
    const std::filesystem::path golden = testDataDir() / "stl" / goldenName;
    if (std::getenv("OV_UPDATE_GOLDEN")) {
        writeFile(golden, actual);
        return;
    }
    ASSERT_TRUE(std::filesystem::exists(golden)) << golden << " is missing (run with OV_UPDATE_GOLDEN=1)";
    const std::string expected = readFile(golden);
    EXPECT_EQ(actual.size(), expected.size()) << goldenName;
    EXPECT_TRUE(actual == expected) << goldenName << " differs from the golden file";
}

}  // namespace ov::test
