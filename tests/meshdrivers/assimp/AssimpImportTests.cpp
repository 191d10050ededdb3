#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "assimp/AssimpImport.h"
#include "assimp/AssimpMeshDriver.h"
#include "core/ovMeshDrivers.h"
#include "gltf/GltfMeshDriver.h"
#include "meshdrivers/gltf/GltfReaders.h"
#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovIoManager.h"
#include "scenegraph/ovMetadata.h"
#include "support/TestSupport.h"
#include "tools/ovmesh/TestHelpers.h"

// Models read through assimp: what the scene keeps of them, and what is refused.
namespace ov::test {
namespace {

using namespace assimpimport;
using testing::HasSubstr;
using testing::ThrowsMessage;

constexpr const char* kNoFolder = "/nonexistent-ovmesh-test-folder";

// The file: one triangle, drawn also as a line strip and as points, placed by
// two nodes under a parent whose shift assimp's own identity test would
// overlook; its material's texture is a 1x1 PNG embedded in the file.
TEST(AssimpImportTest, KeepsPlacementsSharedMeshesLinesAndEmbeddedTextures) {
    const ImportedScene imported = importWithAssimpFromMemory(
        readFile(testDataDir() / "gltf" / "assimp_shared_mesh.gltf"), "gltf", "model.gltf", kNoFolder);
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
    OV_ASSIMP_MODEL_OR_SKIP(box, "3MF/box.3mf");
    for (const ImportedScene& imported :
         {importWithAssimp(box.string()),
          importWithAssimpFromMemory(readFile(box), "3mf", "box", kNoFolder)}) {
        EXPECT_EQ(imported.root->findMetadata<ovWorldUnitsMetaData>()->getValue(), 0.001);
    }
}

// A part of a .glb's JSON as written: from one key up to the next.
std::string partOfGlb(const std::string& path, const std::string& key, const std::string& next) {
    const std::string text = readFile(path);
    const size_t from = text.find("\"" + key + "\"");
    return text.substr(from, text.find("\"" + next + "\"", from) - from);
}

std::string materialsOfGlb(const std::string& path) {
    return partOfGlb(path, "materials", "samplers");
}

// glTF's physically based terms and maps come through the scene and back
// out as they were read: a made-up model with every one of them, and a
// sample of Khronos' with clear coats, normal maps and a JPEG read again.
TEST(AssimpImportTest, PhysicallyBasedMaterialsRoundTripThroughGltfExactly) {
    const TempDir dir;
    const std::string sample = "/usr/share/assimp/models/glTF2/ClearCoat-glTF/ClearCoatTest.gltf";
    const std::vector<std::pair<std::string, std::string>> conversions{
        {(testDataDir() / "gltf" / "pbr_materials.gltf").string(), dir.file("made-up.glb")},
        {sample, dir.file("sample.glb")},
        {dir.file("sample.glb"), dir.file("again.glb")}};
    for (const auto& [from, to] : conversions) {
        if (!std::filesystem::exists(from)) {
            GTEST_SKIP() << "needs " << from << " (Debian's assimp-testmodels)";
        }
        const ImportedScene read = importWithAssimp(from);
        ASSERT_TRUE(GltfMeshDriver().saveMeshes({ovPointer<ovObject>(read.root.get())}, to, nullptr, {}));
        std::string validation;
        READ_GLTF(validation, "validate '" + to + "'");
        EXPECT_THAT(validation, HasSubstr(": 0 errors, 0 warnings")) << validation;
    }
    EXPECT_EQ(
        materialsOfGlb(dir.file("made-up.glb")),
        R"("materials":[{"name":"leaf","pbrMetallicRoughness":{"baseColorFactor":[0.8,0.6,0.4,0.5],)"
        R"("baseColorTexture":{"index":0},"metallicFactor":0.25,"roughnessFactor":0.44,)"
        R"("metallicRoughnessTexture":{"index":2,"texCoord":1}},"normalTexture":{"index":1,"scale":0.75},)"
        R"("occlusionTexture":{"index":2,"texCoord":1,"strength":0.5},"emissiveTexture":{"index":0},)"
        R"("emissiveFactor":[0.1,0.2,0.3],"alphaMode":"MASK","alphaCutoff":0.3,"doubleSided":true},)"
        R"({"name":"glass","pbrMetallicRoughness":{"baseColorFactor":[0.9,0.9,1,0.25],"metallicFactor":1,)"
        R"("roughnessFactor":0.125},"alphaMode":"BLEND"}],)");
    // The metallic-roughness and occlusion map wraps mirrored along u and clamped along v.
    EXPECT_EQ(partOfGlb(dir.file("made-up.glb"), "samplers", "images"),
              R"("samplers":[{"magFilter":9729,"minFilter":9987},)"
              R"({"magFilter":9729,"minFilter":9987,"wrapS":33648,"wrapT":33071}],)"
              R"("textures":[{"sampler":0,"source":0},{"sampler":0,"source":1},{"sampler":1,"source":2}],)");
    EXPECT_EQ(materialsOfGlb(dir.file("again.glb")), materialsOfGlb(dir.file("sample.glb")));
    EXPECT_THAT(materialsOfGlb(dir.file("sample.glb")), HasSubstr(R"("roughnessFactor":0.44})"));
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
        // Faces assimp drops or changes without a word; more dropped faces than declared
        // read past the faces (a fuzzer's find), and a line filling its buffer overruns it.
        {"OFF\n2 2 0\n0 0 0\n8 0 0\n1 1 0\n0 0 0\n", "off", "face 2 has 0 corners, and assimp's"},
        {"OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n10 0 1 2 0 1 2 0 1 2 0\n", "off", "face 1 has 10 corners"},
        {"OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 3\n", "off", "face 1 names vertex 3 of 3"},
        {"OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 x\n", "off", "face 1 does not list its 3 vertex"},
        {"OFF 3 1 0 0 0 0\r\n\n1 0 0\f" + std::string(4096, '0') + "\n3 0 1 2\n", "off", "longer than 4095"},
        // Later vertex or face elements that assimp writes into the first one's arrays (a
        // fuzzer's find), and face texture coordinates it places through corners not listed.
        {kPlyHead + "element vertex 1\n" + kXyz + "element vertex 1\n" + kXyz + "end_header\n0 0 0\n0 0 0\n",
         "ply", "more than one vertex element"},
        {kPlyHead + "element vertex 3\n" + kXyz + kFace +
             "element tristrips 1\nproperty list int int i\nend_header\n",
         "ply", "more than one face or tristrips"},
        {kPlyHead + "element vertex 3\n" + kXyz +
             "element face 1\nproperty list uchar float texcoord\nend_header\n",
         "ply", "texture coordinates but no vertex_indices"},
        // UTF-32 text, which assimp reads past (a fuzzer's find), and UTF-16, whose conversion it drops.
        {std::string("\xFE\xFF\0\0solid", 9), "stl", "UTF-16 or UTF-32 byte order mark"},
        {"\xFF\xFEOFF\n", "off", "UTF-16 or UTF-32 byte order mark"},
        // A NUL in a header, which cuts assimp's reading of a line short in some places only
        // (a fuzzer's find: 12 GB).
        {kPlyHead + "element vertex 1\n" + std::string("property float x\0\n", 18) + "end_header\n0\n", "ply",
         "its header holds a NUL byte"},
        // A list longer than its line, which assimp allocates for (a fuzzer's find: 533 MB for 300
        // bytes), and a value that is no number, from whose first odd byte assimp reads the next.
        {kPlyHead + "element vertex 3\n" + kXyz + kFace + "end_header\n0 0 0\n1 0 0\n0 1 0\n66666660 0 1 2\n",
         "ply", "has 66666660 values, but its line holds 3"},
        {kPlyHead + "element vertex 1\n" + kXyz + kFace + "end_header\n66666660 0 1\n", "ply",
         "has 66666660 values, but its line holds 2"},
        {kPlyHead + "element vertex 3\n" + kXyz + kFace + "end_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2-3\n",
         "ply", "holds '2-3', which is not a number"},
        // An element assimp does not know, counted by its name's digits (a fuzzer's find).
        {kPlyHead + "element 4000000000\x17x 1\n" + kXyz + "end_header\n", "ply", "declares 4000000000 "},
        // An element line without its count, for which assimp takes one from elsewhere (a fuzzer's find).
        {kPlyHead + "element\n" + kXyz + "end_header\n", "ply", "has no element name and count"},
        // assimp looks for the end of a header past the file's end (a fuzzer's find).
        {kPlyHead + "element vertex 1\n" + kXyz + "0 0 0\n", "ply",
         "end_header line, ended by a line feed, is missing"},
        {kPlyHead + kXyz + "end_header", "ply", "end_header line, ended by a line feed, is missing"},
        // assimp takes the magic number in any case, and then reads on for ever (a fuzzer's find).
        {std::string("Ply\nformat ascii 1.0\nele") + '\0' + "ply\n", "ply",
         "end_header line, ended by a line feed, is missing"},
        // A triangle count that assimp's 32-bit size check wraps around to this size.
        {std::string(80, ' ') + std::string("\x01\0\0\x80", 4) + std::string(50, '\0'), "stl",
         "declares 2147483649 triangles"},
        // A face without corners would end the process in assimp's triangulation.
        {kPlyHead + "element vertex 3\n" + kXyz + kFace + "end_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n0\n",
         "ply", "a face has no corners"}};
    for (const auto& [bytes, format, message] : cases) {
        EXPECT_THAT([&] { importWithAssimpFromMemory(bytes, format, "m", kNoFolder); },
                    ThrowsMessage<ReadError>(HasSubstr(message)))
            << bytes;
    }
}

// Linked, the component's driver comes after the library's own, which keep
// their extensions; it reads a device whole, and a refusal becomes its message.
TEST(AssimpMeshDriverTest, RegistersAfterTheLibrarysDriversAndReadsADevice) {
    initializeOvMeshDrivers(std::vector<std::string>{});
    const std::vector<ovCoreMeshDriver*> drivers = ovIoManager::msInstance.getDrivers();
    ASSERT_FALSE(drivers.empty());
    ASSERT_NE(dynamic_cast<AssimpMeshDriver*>(drivers.back()), nullptr);
    ovCoreMeshDriver& assimp = *drivers.back();
    EXPECT_EQ(ovIoManager::msInstance.findLoadDriver("obj")->getName(), "ObjMeshDriver");
    EXPECT_EQ(ovIoManager::msInstance.findLoadDriver("ply"), &assimp);
    EXPECT_THAT(assimp.describeLoadExtension("ply"), HasSubstr("Stanford"));
    const std::string ply =
        "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
        "property float z\nelement face 1\nproperty list uchar int vertex_indices\n"
        "end_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";
    ovObjectList objects;
    ovIoDeviceMemory device(ply);
    EXPECT_TRUE(assimp.loadMeshes(objects, device, "in/model.ply", nullptr, {}));
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(dynamic_cast<const ovNode&>(*objects[0]).GetName(), "model");
    ovIoDeviceMemory cut(ply.substr(0, ply.size() - 12));
    EXPECT_FALSE(assimp.loadMeshes(objects, cut, "in/model.ply", nullptr, {}));
    EXPECT_EQ(objects.size(), 1u);
    ASSERT_FALSE(assimp.getErrorMessages().empty());
    EXPECT_THAT(assimp.getErrorMessages().back().first,
                testing::StartsWith("E: cannot read 'in/model.ply': "));
    terminateOvMeshDrivers();
}

}  // namespace
}  // namespace ov::test
