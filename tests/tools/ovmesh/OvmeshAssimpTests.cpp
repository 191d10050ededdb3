#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ovmesh/ToolError.h"
#include "ovmesh/input/AssimpImport.h"
#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovMetadata.h"
#include "support/TestSupport.h"
#include "tools/ovmesh/TestHelpers.h"

// Models read through assimp: what the scene keeps of them, and what is refused.
namespace ov::test {
namespace {

using namespace ovmesh;
using testing::HasSubstr;
using testing::ThrowsMessage;

constexpr const char* kNoFolder = "/nonexistent-ovmesh-test-folder";

// One triangle, drawn also as a line strip and as points, placed by two nodes
// under a parent whose shift assimp's own identity test would overlook; its
// material's texture is a 1x1 PNG embedded in the file.
const std::string kGltf = R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}],
 "nodes": [{"name": "parent", "children": [1, 2], "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0.001,0,0,1]},
           {"name": "a", "mesh": 0}, {"name": "b", "mesh": 0, "translation": [0, 0, 2]}],
 "meshes": [{"name": "m", "primitives": [{"attributes": {"POSITION": 0}, "material": 0},
   {"attributes": {"POSITION": 0}, "mode": 3, "material": 0}, {"attributes": {"POSITION": 0}, "mode": 0}]}],
 "materials": [{"name": "red", "pbrMetallicRoughness": {"baseColorFactor": [1, 0, 0, 0.5],
                                                        "baseColorTexture": {"index": 0}}}],
 "textures": [{"source": 0}],
 "images": [{"uri": "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg=="}],
 "buffers": [{"byteLength": 36, "uri": "data:application/octet-stream;base64,AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA"}],
 "bufferViews": [{"buffer": 0, "byteLength": 36}],
 "accessors": [{"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3", "min": [0,0,0], "max": [1,1,0]}]})";

TEST(AssimpImportTest, KeepsPlacementsSharedMeshesLinesAndEmbeddedTextures) {
    const ImportedScene imported = importWithAssimpFromMemory(kGltf, "gltf", "model.gltf", kNoFolder);
    EXPECT_EQ(imported.root->GetName(), "model");
    EXPECT_EQ(imported.root->findMetadata<ovWorldUnitsMetaData>()->getValue(), 1.0);
    const ovNode& parent = child(*imported.root, 0);
    EXPECT_EQ(parent.getLocalTransform().GetTranslate(), Wm4::Vector3f(0.001f, 0, 0));
    const ovNode& a = child(parent, 0);
    const ovNode& b = child(parent, 1);
    EXPECT_EQ(b.getLocalTransform().GetTranslate(), Wm4::Vector3f(0, 0, 2));
    const auto& triangle = child<ovTriMesh>(a, 0);
    EXPECT_EQ(triangle.GetTriangleQuantity(), 1);
    EXPECT_EQ(child<ovTriMesh>(b, 0).getVertexBuffer(), triangle.getVertexBuffer())
        << "one mesh, two placements";
    EXPECT_EQ(triangle.getMaterialState()->diffuse, Wm4::ColorRGBA(1, 0, 0, 0.5f));
    const ovImage* image =
        const_cast<ovTriMesh&>(triangle).editTextureState(false)->editTexture(0)->getImage();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->getWidth() * image->getHeight(), 1);
    const auto& strip = child<ovLine>(a, 1);
    EXPECT_EQ(strip.getIndexBuffer()->GetIndexQuantity(), 4);
    EXPECT_EQ(strip.getColor(), Wm4::ColorRGBA(1, 0, 0, 0.5f));
    EXPECT_THAT(imported.warnings, testing::ElementsAre(HasSubstr("model.gltf: 3 points left out")));
}

// The unit a model states and assimp does not apply comes into the scene:
// AMF and 3MF in millimetres unless they say otherwise, X3D in metres unless
// a unit statement converts them.
TEST(AssimpImportTest, TheUnitsAModelStatesComeIntoTheScene) {
    const std::string triangle =
        "<mesh><vertices><vertex><coordinates><x>0</x><y>0</y><z>0</z></coordinates></vertex>"
        "<vertex><coordinates><x>1</x><y>0</y><z>0</z></coordinates></vertex>"
        "<vertex><coordinates><x>0</x><y>1</y><z>0</z></coordinates></vertex></vertices>"
        "<volume><triangle><v1>0</v1><v2>1</v2><v3>2</v3></triangle></volume></mesh>";
    const std::string x3d =
        "<X3D version='3.3'><head>%</head><Scene><Shape><IndexedFaceSet coordIndex='0 1 2 "
        "-1'><Coordinate point='0 0 0 1 0 0 0 1 0'/></IndexedFaceSet></Shape></Scene></X3D>";
    const auto withHead = [&x3d](const std::string& head) {
        return std::string(x3d).replace(x3d.find('%'), 1, head);
    };
    const struct {
        std::string bytes, format;
        double metres;
    } cases[] = {
        {"<amf unit=\"inch\"><object id=\"0\">" + triangle + "</object></amf>", "amf", 0.0254},
        {"<?xml version='1.0'?>\n<amf>\n<object id='0'>" + triangle + "</object></amf>", "amf", 0.001},
        {withHead("<unit category='length' name='cm' conversionFactor='0.01'/>"), "x3d", 0.01},
        {withHead(""), "x3d", 1.0},
    };
    for (const auto& [bytes, format, metres] : cases) {
        const ImportedScene imported = importWithAssimpFromMemory(bytes, format, "m", kNoFolder);
        EXPECT_DOUBLE_EQ(imported.root->findMetadata<ovWorldUnitsMetaData>()->getValue(), metres) << bytes;
    }
    const std::string box = "/usr/share/assimp/models/3MF/box.3mf";
    if (!std::filesystem::exists(box)) {
        GTEST_SKIP() << "needs " << box << " (Debian's assimp-testmodels)";
    }
    EXPECT_EQ(importWithAssimp(box).root->findMetadata<ovWorldUnitsMetaData>()->getValue(), 0.001);
    EXPECT_EQ(importWithAssimpFromMemory(readFile(box), "3mf", "box", kNoFolder)
                  .root->findMetadata<ovWorldUnitsMetaData>()
                  ->getValue(),
              0.001);
}

const std::string kPlyHead = "ply\nformat ascii 1.0\n";
const std::string kXyz = "property float x\nproperty float y\nproperty float z\n";
const std::string kFace = "element face 2\nproperty list uchar int vertex_indices\n";

TEST(AssimpImportTest, RefusalsNameTheFileAndTheReason) {
    const struct {
        std::string bytes, format, message;
    } cases[] = {
        {"ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nend_header\n1\n", "ply",
         "cannot read 'm': "},
        {"solid s\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1e39 "
         "0\nendloop\nendfacet\n"
         "endsolid s\n",
         "stl", "cannot read 'm': mesh 's' has a vertex whose position is not finite"},
        {"", "3ds", "cannot read 'm': "},
        // Counts a header declares beyond what the file holds, refused before assimp allocates.
        {kPlyHead + "element vertex 100000000\n" + kXyz + "end_header\n0 0 0\n", "ply",
         "declares 100000000 vertex elements, which take at least 6 bytes each, but 6 bytes"},
        {"ply\nformat binary_little_endian 1.0\nelement vertex 400000000\n" + kXyz + "end_header\n", "ply",
         "declares 400000000 vertex elements, which take at least 12 bytes each"},
        {"OFF\n# c\n100000000 1 0\n0 0 0\n", "off", "declares 100000000 vertices"},
        // Counts on lines of their own, and one that assimp wraps to 32 bits (fuzzer's finds).
        {"1\n222222222222222222222\x02OFF 2\n", "off", "declares 830006158 faces"},
        {"nOFF 3\n#\n 4\n\n100000000 1\n", "off", "declares 4 vertices"},
        // An element assimp does not know, counted by its name's digits (a fuzzer's find).
        {kPlyHead + "element 4000000000\x17x\n" + kXyz + "end_header\n", "ply", "declares 4000000000 "},
        // assimp looks for the end of a header past the file's end (a fuzzer's find).
        {kPlyHead + "element vertex 1\n" + kXyz + "0 0 0\n", "ply", "end_header line is missing"},
        // assimp takes the magic number in any case, and then reads on for ever (a fuzzer's find).
        {std::string("Ply\nformat ascii 1.0\nele") + '\0' + "ply\n", "ply", "end_header line is missing"},
        // A triangle count that assimp's 32-bit size check wraps around to this size.
        {std::string(80, ' ') + std::string("\x01\0\0\x80", 4) + std::string(50, '\0'), "stl",
         "declares 2147483649 triangles"},
        // A face without corners would end the process in assimp's triangulation.
        {kPlyHead + "element vertex 3\n" + kXyz + kFace + "end_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n0\n",
         "ply", "a face has no corners"}};
    for (const auto& [bytes, format, message] : cases) {
        EXPECT_THAT([&] { importWithAssimpFromMemory(bytes, format, "m", kNoFolder); },
                    ThrowsMessage<ToolError>(HasSubstr(message)))
            << bytes;
    }
}

}  // namespace
}  // namespace ov::test
