#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <assimp/scene.h>

#include <assimp/Importer.hpp>
#include <filesystem>
#include <span>

#include "../collada/ColladaTestSupport.h"
#include "GltfReaders.h"
#include "core/TextureImages.h"
#include "gltf/GltfMeshDriver.h"
#include "scenegraph/ovMetadata.h"
#include "tools/ovmesh/TestHelpers.h"

namespace ov::test {
namespace {

using ::testing::HasSubstr;

// assimp's counts: nodes, meshes, faces, materials.
std::string assimpReading(const std::string& path) {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, 0);
    if (!scene) {
        return std::string("error ") + importer.GetErrorString();
    }
    unsigned faces = 0;
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
        faces += scene->mMeshes[i]->mNumFaces;
    }
    const auto countNodes = [](const aiNode* node, auto& self) -> unsigned {
        unsigned count = 1;
        for (unsigned i = 0; i < node->mNumChildren; ++i) {
            count += self(node->mChildren[i], self);
        }
        return count;
    };
    return std::to_string(countNodes(scene->mRootNode, countNodes)) + " nodes, " +
           std::to_string(scene->mNumMeshes) + " meshes, " + std::to_string(faces) + " faces, " +
           std::to_string(scene->mNumMaterials) + " materials";
}

// Everything the driver writes: names JSON must escape, a byte that is not
// UTF-8, millimetres, a textured half-transparent material with vertex
// colours and normals to mend, a mesh placed twice, a polyline, an external
// reference and a level-of-detail node.
ovPointer<ovNode> richScene() {
    ovAttributes attributes;
    attributes.SetNormal(true);
    attributes.SetTCoordChannels(0, 2);
    attributes.SetColor(true);
    ovPointer<ovTriMesh> mesh = makeMesh({{0, 0, 0}, {10, 0, 0}, {0, 20, 5}}, {0, 1, 2}, attributes, "panel");
    for (int v = 0; v < 3; ++v) {
        mesh->getVertexBuffer()->Color4(v) = {0.5f, 1.5f, 0.25f, 1};
    }
    mesh->getVertexBuffer()->Normal3(2) = {0, 0, 0};
    ovPointer<ovMaterialState> glass(new ovMaterialState);
    glass->SetName("glass");
    glass->alpha = 0.5f;
    glass->shininess = 98;
    glass->emission = {0.25f, 0, 0, 1};
    ovPointer<ovTextureState> textures(new ovTextureState);
    textures->addTexture(makeTexture(makeImage(ovImage::RGB8, 3), ovTexture::Diffuse));
    textures->addTexture(makeTexture(makeImage(ovImage::RGB8, 4), ovTexture::Bump));
    withMaterial(mesh.get(), glass.get(), textures.get());
    ovPointer<ovTriMesh> again(new ovTriMesh(mesh->getVertexBuffer(), mesh->getIndexBuffer()));
    withMaterial(again.get(), glass.get(), textures.get());
    again->editLocalTransform(true).SetTranslate({100, 0, 0});

    ovPointer<ovLine> line = makeGeometry<ovLine>({{0, 0, 0}, {0, 0, 50}}, {0, 1});
    line->setColor({0, 0, 1, 1});
    ovPointer<ovXRefNode> reference(new ovXRefNode);
    reference->setUtf8FilePath("parts/bolt \"M6\".stp");
    ovPointer<ovLODNode> lod(new ovLODNode);
    lod->attachChild(makeTriangle("detailed"));
    lod->attachChild(makeTriangle("coarse"));

    ovPointer<ovNode> root =
        makeRoot(nullptr, {mesh.get(), again.get(), line.get(), reference.get(), lod.get()});
    root->SetName("a\"b\\c\n\x01\xff");
    root->setMetadata(new ovWorldUnitsMetaData(0.001));
    return root;
}

class GltfSaveTest : public ::testing::TestWithParam<const char*> {
protected:
    std::string save(ovSpatial* root, const std::string& name, bool saves = true) {
        const std::string path = dir.file(name);
        EXPECT_EQ(driver.saveMeshes({ovPointer<ovObject>(root)}, path, nullptr, {}), saves) << name;
        EXPECT_EQ(std::filesystem::exists(path), saves) << name;
        return path;
    }

    LogCapture log;
    TempDir dir;
    GltfMeshDriver driver;
};

TEST_P(GltfSaveTest, RichSceneValidatesAndReadsBackInThreeAndAssimp) {
    const std::string path = save(richScene().get(), std::string("rich.") + GetParam());
    EXPECT_EQ(log.texts(ovLogWarning),
              (std::vector<std::string>{
                  "GltfMeshDriver, 1 bytes of names that are not UTF-8 were written as U+FFFD",
                  "GltfMeshDriver, 4 vertex values that readers refuse (not finite, a "
                  "normal of length 0, a colour outside 0..1) were written as the nearest "
                  "sound value"}));
    const std::string first = readFile(path);
    EXPECT_TRUE(first == readFile(save(richScene().get(), std::string("rich.") + GetParam())))
        << "not the same bytes";
    std::string validation, three;
    READ_GLTF(validation, "validate '" + path + "'");
    EXPECT_EQ(validation, "rich." + std::string(GetParam()) + ": 0 errors, 0 warnings, 0 infos\n");
    EXPECT_EQ(assimpReading(path), "8 nodes, 3 meshes, 3 faces, 4 materials");
    if (std::string(GetParam()) == "glb") {
        READ_GLTF(three, "three '" + path + "'");
        expectMatchesGolden("gltf/rich_three.txt", three);
    } else {
        EXPECT_EQ(filesIn(dir.path()),
                  (std::vector<std::string>{"rich-buffer.bin", "rich-texture.png", "rich.gltf"}));
    }
}

// A save that cannot be whole leaves nothing: bad indices, lost data, a
// folder where a file beside the document goes (the fault sweep cancels it
// at every question).
TEST_P(GltfSaveTest, FailedSavesLeaveNoFile) {
    const std::string extension = GetParam();
    ovPointer<ovNode> badIndex = makeRoot(nullptr, {makeMesh({{0, 0, 0}, {1, 0, 0}}, {0, 1, 2})});
    save(badIndex.get(), "bad." + extension, false);
    EXPECT_THAT(log.texts(ovLogError).back(), HasSubstr("refers to vertex 2 of 2"));

    ovPointer<ovNode> lost = makeRoot(nullptr, {makeTriangle("lost")});
    makeNonResident(static_cast<ovTriMesh&>(*lost->getChild(0)), false);
    save(lost.get(), "lost." + extension, false);

    std::filesystem::create_directory(dir.path() / "folder-buffer.bin");
    save(busyScene().get(), "folder." + extension, extension == "glb");

    std::filesystem::remove(dir.path() / "folder-buffer.bin");
    std::filesystem::remove(dir.file("folder." + extension));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

INSTANTIATE_TEST_SUITE_P(Containers, GltfSaveTest, ::testing::Values("glb", "gltf"));

// Units with Z up are in the rich scene's golden reading.
TEST(GltfRootTest, UnitsWithYUpTurnIntoAScaleAlone) {
    ovPointer<ovNode> root = makeRoot(nullptr, {makeTriangle()});
    root->setMetadata(new ovWorldUnitsMetaData(0.25));
    const TempDir dir;
    GltfMeshDriver driver;
    GltfSaveSettings settings;
    settings.upAxis = GltfSaveSettings::UpAxis::Y;
    SaveMeshOptions options;
    options.drivers.set(settings);
    ASSERT_TRUE(driver.saveMeshes({root}, dir.file("y.glb"), nullptr, options));
    std::string y;
    READ_GLTF(y, "three '" + dir.file("y.glb") + "'");
    EXPECT_THAT(y, ::testing::StartsWith("Object3D - matrix 0.25 0 0 0 0 0.25 0 0 0 0 0.25 0 0 0 0 1\n"));
}

// The texels at each (u, v) of the first mesh, counted from the bottom left
// as the scene counts, with the image's first texture coordinates.
std::string texelsAt(const ovImage& image, const aiVector3D* coordinates, unsigned count) {
    std::string texels;
    const auto size = [](int extent, float at) {
        return std::clamp(static_cast<int>(at * static_cast<float>(extent)), 0, extent - 1);
    };
    for (const aiVector3D& uv : std::span(coordinates, count)) {
        const size_t texel = static_cast<size_t>(size(image.getHeight(), 1 - uv.y) * image.getWidth() +
                                                 size(image.getWidth(), uv.x));
        const uint8_t* at = image.getData() + texel * static_cast<size_t>(image.getBytesPerPixel());
        texels += ' ' + std::to_string(at[0]) + ',' + std::to_string(at[1]) + ',' + std::to_string(at[2]);
    }
    return texels;
}

// An image read from a JPEG file is stored as that file, its coordinates
// turned to match; once a host changes the pixels, it is encoded anew. Each
// way, assimp finds at every vertex the texel the scene shows there.
TEST(GltfImageTest, JpegImagesKeepTheirFileUntilTheirPixelsChange) {
    OV_ASSIMP_MODEL_OR_SKIP(jpeg, "OBJ/SpiderTex.jpg");
    const std::string bytes = readFile(jpeg);
    PixelBudget budget;
    const ovPointer<ovImage> image = decodeTextureImage(bytes, "spider", budget).image;
    ovAttributes uv;
    uv.SetTCoordChannels(0, 2);
    ovTriMesh* mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}, uv);
    // Amid texels, so that rounding picks no neighbour.
    const aiVector3D coordinates[3] = {{0.1f, 0.15f, 0}, {0.7f, 0.31f, 0}, {0.45f, 0.89f, 0}};
    for (int v = 0; v < 3; ++v) {
        std::copy_n(&coordinates[v].x, 2, mesh->getVertexBuffer()->TCoord(0, v));
    }
    const std::string shown = texelsAt(*image, coordinates, 3);
    const ovPointer<ovTextureState> maps(new ovTextureState);
    maps->addTexture(makeTexture(image.get(), ovTexture::Diffuse));
    const ovPointer<ovNode> root = makeRoot(nullptr, {withMaterial(mesh, new ovMaterialState, maps.get())});
    const TempDir dir;
    for (const std::string kind : {"jpg", "png"}) {
        const std::string path = dir.file(kind + ".glb");
        ASSERT_TRUE(GltfMeshDriver().saveMeshes({root}, path, nullptr, {}));
        EXPECT_EQ(readFile(path).find(bytes) != std::string::npos, kind == "jpg");
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(path, 0);
        ASSERT_TRUE(scene && scene->mNumTextures == 1) << kind;
        const aiTexture& file = *scene->mTextures[0];
        const LoadedImage read = decodeTextureImage(
            std::string(reinterpret_cast<const char*>(file.pcData), file.mWidth), kind, budget);
        EXPECT_EQ(file.achFormatHint + texelsAt(*read.image, scene->mMeshes[0]->mTextureCoords[0], 3),
                  kind + shown);
        std::string validation;
        READ_GLTF(validation, "validate '" + path + "'");
        EXPECT_THAT(validation, HasSubstr(": 0 errors, 0 warnings")) << validation;
        // A host's change of a texel the coordinates do not point at.
        image->editData()[0] ^= 1;
    }
}

}  // namespace
}  // namespace ov::test
