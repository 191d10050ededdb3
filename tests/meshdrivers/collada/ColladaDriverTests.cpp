#include <gtest/gtest.h>

#include <assimp/scene.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <cmath>
#include <filesystem>
#include <limits>
#include <set>

#include "ColladaTestSupport.h"
#include "collada/ovColladaMeshDriver.h"
#include "scenegraph/ovMetadata.h"

namespace ov::test {
namespace {

// What assimp makes of a document: the triangle counts of its meshes, sorted
// (one per geometry and material a node instances together), or its error.
std::string assimpReading(const std::string& path) {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, 0);
    if (!scene) {
        return std::string("error ") + importer.GetErrorString();
    }
    // assimp stands a placeholder mesh in for a scene without meshes and
    // marks the scene incomplete.
    std::vector<unsigned> counts;
    for (unsigned i = 0; !(scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) && i < scene->mNumMeshes; ++i) {
        counts.push_back(scene->mMeshes[i]->mNumFaces);
    }
    std::sort(counts.begin(), counts.end());
    std::string text = "triangles";
    for (const unsigned count : counts) {
        text += ' ' + std::to_string(count);
    }
    // What only the viewer options give: a root left as it is (Y up), line
    // meshes, vertex colours, phong and opacity.
    text += scene->mRootNode->mTransformation.IsIdentity() ? " upright" : "";
    for (unsigned i = 0; !(scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) && i < scene->mNumMeshes; ++i) {
        text += scene->mMeshes[i]->mPrimitiveTypes == aiPrimitiveType_LINE ? " lines" : "";
        text += scene->mMeshes[i]->HasVertexColors(0) ? " colours" : "";
    }
    for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
        int shading = 0;
        float opacity = 1;
        scene->mMaterials[i]->Get(AI_MATKEY_SHADING_MODEL, shading);
        scene->mMaterials[i]->Get(AI_MATKEY_OPACITY, opacity);
        text += (shading == aiShadingMode_Phong ? " phong" : "") +
                (opacity < 1 ? " opacity " + std::to_string(opacity) : "");
    }
    return text;
}

// Every document a test saves is read back when the test ends by pycollada,
// checked against the schema (see check_collada.py), and by assimp; what they
// find must be what the golden file collada/readings/<test>.txt holds.
class ColladaSaveTest : public ::testing::Test {
protected:
    // Saves root as the file name in the test's folder with the settings,
    // expecting the driver's answer; the images written go to written.
    std::string save(ovSpatial* root, const std::string& name,
                     ovProgressNotifierInterface* progress = nullptr, bool saves = true) {
        const std::string path = dir.file(name);
        SaveMeshOptions options;
        options.drivers.set(settings);
        options.companionFiles = &written;
        written.clear();
        EXPECT_EQ(driver.saveMeshes({ovPointer<ovObject>(root)}, path, progress, options), saves) << name;
        if (!saves) {
            EXPECT_FALSE(std::filesystem::exists(path)) << name << " is left behind";
            return {};
        }
        documents.push_back(path);
        return readFile(path);
    }

    void TearDown() override {
        if (documents.empty()) {
            return;
        }
        std::string command = "/usr/bin/python3 " OV_COLLADA_CHECK_SCRIPT, assimp;
        for (const std::string& path : documents) {
            command += " '" + path + "'";
            assimp.append("assimp ").append(std::filesystem::path(path).filename().string());
            assimp.append(": ").append(assimpReading(path)).append("\n");
        }
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        expectMatchesGolden("collada/readings/" + test + ".txt", runCommand(command) + assimp);
    }

    FixedClock clock;
    LogCapture log;
    TempDir dir;
    ovColladaMeshDriver driver;
    ColladaSaveSettings settings;
    std::vector<std::string> written;
    std::vector<std::string> documents;
};

TEST_F(ColladaSaveTest, ScenesAreWrittenAsTheirGoldenDocuments) {
    ovAttributes normalAndUv;
    normalAndUv.SetNormal(true);
    normalAndUv.SetTCoordChannels(0, 2);

    // A single named mesh as the root, moved, in millimetres.
    ovPointer<ovTriMesh> single = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                                           {0, 2, 1, 0, 1, 3, 0, 3, 2, 1, 2, 3}, normalAndUv, "part 1:a");
    single->editLocalTransform(true).SetTranslate({10, 20, 30});
    single->setMetadata(new ovWorldUnitsMetaData(0.001));

    // An unnamed group: two meshes sharing one geometry and one material A,
    // a named group turned, scaled and moved holding a mesh of material B,
    // a mesh without material and an empty slot; in half metres.
    const auto materials = makeStates<ovMaterialState>(2);
    materials[0]->diffuse = {0.25f, 0.5f, 0.75f, 1};
    materials[1]->SetName("steel #2");
    materials[1]->alpha = 0.5f;
    const ovPointer<ovTriMesh> first =
        withMaterial(makeMesh({{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0}}, {0, 1, 2, 0, 2, 3}, normalAndUv),
                     materials[0].get());
    ovPointer<ovTriMesh> twin(new ovTriMesh(first->getVertexBuffer(), first->getIndexBuffer()));
    twin->setMaterialState(materials[0].get());
    twin->editLocalTransform(true).SetTranslate({0, 0, 5});
    ovPointer<ovNode> bolt(new ovNode);
    bolt->SetName("Bolt");
    ovTransformation& boltPlace = bolt->editLocalTransform(true);
    boltPlace.SetRotate(Wm4::Matrix3f(0, -1, 0, 1, 0, 0, 0, 0, 1));
    boltPlace.SetScale({2, 3, 4});
    boltPlace.SetTranslate({1, -2, 0.125f});
    bolt->attachChild(withMaterial(makeTriangle("bolt"), materials[1].get()));
    ovPointer<ovNode> group = makeRoot(nullptr, {first.get(), twin.get(), bolt.get(), makeTriangle()});
    group->setChild(5, makeTriangle("after the gap", 7));
    group->setMetadata(new ovWorldUnitsMetaData(0.5));

    // A named root without meshes, in decimetres.
    ovPointer<ovNode> empty = makeRoot(nullptr, {new ovNode});
    empty->SetName("Assembly 1");
    empty->setMetadata(new ovWorldUnitsMetaData(0.1));

    const std::pair<const char*, ovSpatial*> cases[] = {
        {"single_mesh.dae", single.get()}, {"group.dae", group.get()}, {"no_meshes.dae", empty.get()}};
    for (const auto& [name, root] : cases) {
        expectMatchesGolden(std::string("collada/") + name, save(root, name));
    }
    EXPECT_EQ(filesIn(dir.path()),
              (std::vector<std::string>{"group.dae", "no_meshes.dae", "single_mesh.dae"}));
    EXPECT_FALSE(twin->editTextureState(false)) << "a save creates no state";
}

TEST_F(ColladaSaveTest, TexturesBecomeImagesBesideTheDocumentWithSurfacesSamplersAndChannels) {
    ovLog::msInstance->setMinimumType(ovLogDiagnostic);
    const ovPointer<ovImage> shared = makeImage(ovImage::RGB8, 10);
    // Every kind of texture the writer knows, each on its own image, plus
    // one of an unlisted kind and one of a format code it does not handle.
    const auto materials = makeStates<ovMaterialState>(2);
    const auto textureStates = makeStates<ovTextureState>(2);
    materials[0]->SetName("paint");
    ovTextureState& all = *textureStates[0];
    all.addTexture(makeTexture(makeImage(ovImage::RGBA8, 20), ovTexture::Reflective, 2));
    all.addTexture(makeTexture(shared.get(), ovTexture::Diffuse));
    all.addTexture(makeTexture(makeImage(ovImage::Luminance8, 30), ovTexture::Ambient));
    all.addTexture(makeTexture(makeImage(ovImage::LuminanceAlpha8, 40), ovTexture::Specular));
    all.addTexture(makeTexture(makeImage(ovImage::RGB8, 50), ovTexture::Emission, 3));
    all.addTexture(makeTexture(makeImage(ovImage::RGB8, 60), ovTexture::Opacity));
    all.addTexture(makeTexture(makeImage(ovImage::RGB8, 70), ovTexture::Reflective, 1, 3));
    all.editTexture(5)->SetName("mask");
    all.editTexture(6)->SetName("cube");
    // The second material shares the diffuse image; its emission has a
    // format code the writer skips, its reflective texture no image at all.
    ovTextureState& second = *textureStates[1];
    second.addTexture(makeTexture(shared.get(), ovTexture::Diffuse, 2));
    second.addTexture(makeTexture(makeImage(ovImage::RGB8, 80), ovTexture::Emission, 1, 5));
    second.addTexture(makeTexture(nullptr, ovTexture::Reflective));
    second.editTexture(1)->SetName("glow");
    second.editTexture(2)->SetName("nothing");

    ovAttributes uv;
    uv.SetTCoordChannels(0, 2);
    const ovPointer<ovNode> root =
        makeRoot(nullptr, {withMaterial(makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}, uv),
                                        materials[0].get(), textureStates[0].get()),
                           withMaterial(makeTriangle(), materials[1].get(), textureStates[1].get())});
    root->SetName("Textured model");
    expectMatchesGolden("collada/textures.dae", save(root.get(), "textures.dae"));
    EXPECT_EQ(filesIn(dir.path()),
              (std::vector<std::string>{"paint-1-image-bump.png", "paint-1-image-diffuse.png",
                                        "paint-1-image-emissive.png", "paint-1-image-reflection.png",
                                        "paint-1-image-specular.png", "textures.dae"}));
    // Each texture left out of the golden document is reported.
    EXPECT_EQ(log.texts(ovLogDiagnostic).size(), 8u);
}

// No units, decimetres and custom units are in the golden documents.
TEST_F(ColladaSaveTest, WorldUnitsGiveTheUnit) {
    const double nan = std::nan("");
    const std::pair<double, std::string> units[] = {
        // The value meets the schema's float only when it is finite.
        {1.0, R"(<unit name="meters" meter="1.0"/>)"},
        {0.0, R"(<unit name="meters" meter="1.0"/>)"},
        {0.1000001, R"(<unit name="custom" meter="0.100000"/>)"},
        {nan, R"(<unit name="custom" meter="nan"/>)"},
    };
    for (size_t i = 0; i < std::size(units); ++i) {
        const ovPointer<ovTriMesh> root = makeTriangle();
        root->setMetadata(new ovWorldUnitsMetaData(units[i].first));
        const std::string document = save(root.get(), "unit" + std::to_string(i) + ".dae");
        EXPECT_NE(document.find("\t\t" + units[i].second + "\n"), std::string::npos) << units[i].second;
    }
}

// Names that are paths, markup, characters XML 1.0 cannot hold, bytes that
// are not UTF-8 or too long for a file name: the image lands in the
// document's folder under a name made of its id's letters, digits, dots,
// hyphens and underscores, which init_from gives, and the document stays
// well-formed.
TEST_F(ColladaSaveTest, NamesNeitherLeaveTheDocumentsFolderNorBreakItsXml) {
    const std::pair<std::string, std::string> cases[] = {
        {"../../x", "_._.._x-1-image-diffuse.png"},
        {"Wood/Oak", "Wood_Oak-1-image-diffuse.png"},
        {"C:\\x", "C__x-1-image-diffuse.png"},
        {"R&D <1> ]]> a", "R_D__1______a-1-image-diffuse.png"},
        {"what?", "what_-1-image-diffuse.png"},
        {"v\vt\x01", "v_t_-1-image-diffuse.png"},
        {"\xFF\xC3(", "___-1-image-diffuse.png"},
        {".hidden", "_hidden-1-image-diffuse.png"},
        {"\xC3\x96l", "_l-1-image-diffuse.png"},
        {"nul.x", "_nul.x-1-image-diffuse.png"},
        {std::string(300, 'm'), std::string(128, 'm') + ".png"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& [name, imageFile] = cases[i];
        const std::filesystem::path folder = dir.path() / std::to_string(i);
        std::filesystem::create_directories(folder / "a" / "b");
        const ovPointer<ovMaterialState> material(new ovMaterialState);
        material->SetName(name);
        const ovPointer<ovTextureState> textures(new ovTextureState);
        textures->addTexture(makeTexture(makeImage(ovImage::RGB8, 1), ovTexture::Diffuse));
        const ovPointer<ovNode> root =
            makeRoot(nullptr, {withMaterial(makeTriangle(name.c_str()), material.get(), textures.get())});
        root->SetName(name);

        const std::string document = save(root.get(), std::to_string(i) + "/a/b/doc.dae");
        EXPECT_NE(document.find("<init_from>" + imageFile + "</init_from>"), std::string::npos) << name;
        std::set<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
            if (!entry.is_directory()) {
                files.insert(std::filesystem::relative(entry.path(), folder).string());
            }
        }
        EXPECT_EQ(files, (std::set<std::string>{"a/b/" + imageFile, "a/b/doc.dae"})) << name;
        EXPECT_EQ(written, std::vector<std::string>{(folder / "a/b" / imageFile).string()});
    }
    // One line for each save whose names had characters XML cannot hold.
    EXPECT_EQ(log.texts(ovLogWarning).size(), 2u);
}

// Two diffuse maps in one material keep their ids apart, and a texture state
// that two materials use is declared in the effect of each: every channel
// names a sampler its effect declares, so that pycollada finds both maps.
TEST_F(ColladaSaveTest, TwoMapsOfAKindAndATextureStateOfTwoMaterialsGiveDistinctDeclaredIds) {
    const auto materials = makeStates<ovMaterialState>(2);
    const ovPointer<ovTextureState> textures(new ovTextureState);
    for (const int type : {ovTexture::Diffuse, ovTexture::Diffuse, ovTexture::Emission}) {
        textures->addTexture(makeTexture(makeImage(ovImage::RGB8, static_cast<uint8_t>(type)), type));
    }
    const ovPointer<ovNode> root =
        makeRoot(nullptr, {withMaterial(makeTriangle(), materials[0].get(), textures.get()),
                           withMaterial(makeTriangle("", 1), materials[1].get(), textures.get())});
    // pycollada's reading finds a map in each effect; a repeated id would
    // show in it as a schema complaint and a rejected document.
    save(root.get(), "shared.dae");
    EXPECT_EQ(filesIn(dir.path()).size(), 4u) << "three images and the document";
}

// Non-resident buffers are loaded for their geometry and dropped again;
// texture coordinates of 2 and 3 components get sources, those of 1 and 4 do
// not; a level-of-detail node writes its first child only.
TEST_F(ColladaSaveTest, LevelOfDetailNodesKeepTheirFirstChildAndPagedDataStaysPaged) {
    ovLog::msInstance->setMinimumType(ovLogDiagnostic);
    ovAttributes channels;
    channels.SetTCoordChannels(0, 2);
    channels.SetTCoordChannels(1, 1);
    channels.SetTCoordChannels(2, 3);
    channels.SetTCoordChannels(3, 4);
    const ovPointer<ovTriMesh> paged =
        makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}, channels, "paged");
    makeNonResident(*paged, true);
    const ovPointer<ovLODNode> lod(new ovLODNode);
    lod->setChild(1, paged.get());
    lod->setChild(2, makeTriangle("coarse"));
    const ovPointer<ovLODNode> emptyLod(new ovLODNode);
    emptyLod->setChild(1, nullptr);
    const ovPointer<ovNode> root = makeRoot(nullptr, {lod.get(), emptyLod.get()});
    const uint64_t loads = ovRendererInterface::loadCount(), deletes = ovRendererInterface::deleteCount();

    expectMatchesGolden("collada/lod_and_paging.dae", save(root.get(), "lod.dae"));
    // Both buffers, once each, for the geometry.
    EXPECT_EQ(ovRendererInterface::loadCount() - loads, 2u);
    EXPECT_EQ(ovRendererInterface::deleteCount() - deletes, 2u);
    EXPECT_FALSE(paged->getVertexBuffer()->hasCPUData() || paged->getIndexBuffer()->hasCPUData());
    EXPECT_EQ(
        log.texts(ovLogDiagnostic),
        std::vector<std::string>{"ovColladaMeshDriver::writeSpatial, lod node not supported, using only "
                                 "the most detailed object"});
}

// Names with every character XML or the id clean-up cares about, numbers
// that are not finite, an empty mesh, a mesh without buffers, and an index
// count that is not a multiple of 3.
TEST_F(ColladaSaveTest, AwkwardInputIsWrittenAsItStands) {
    const float inf = std::numeric_limits<float>::infinity();
    const ovPointer<ovMaterialState> material(new ovMaterialState);
    material->SetName("R&D <\"best\"> 'mat' #1: a");
    material->diffuse = {std::nanf(""), inf, -inf, 1};
    const ovPointer<ovNode> root = makeRoot(
        nullptr, {withMaterial(makeMesh({{std::nanf(""), inf, -inf}, {1e-7f, 123456789.0f, -0.0f}, {0, 1, 0}},
                                        {0, 1, 2}, {}, "a<b>&\"c' #:d"),
                               material.get()),
                  makeMesh({}, {}), new ovTriMesh});
    root->SetName("<root> & 'more'");
    expectMatchesGolden("collada/awkward_input.dae", save(root.get(), "awkward.dae"));
    EXPECT_EQ(log.texts(ovLogWarning),
              std::vector<std::string>{"ovColladaMeshDriver::writeGeometry, mesh \"\" has "
                                       "no vertex or index buffer and is left out"});

    const ovPointer<ovTriMesh> partial = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2, 2, 1});
    // Both readers refuse it.
    const std::string document = save(partial.get(), "partial.dae");
    EXPECT_NE(document.find("<triangles count=\"1\">"), std::string::npos);
    EXPECT_NE(document.find("<p>0 1 2 2 1 </p>"), std::string::npos);
}

TEST_F(ColladaSaveTest, ProgressIsReportedAndEveryFailureLeavesNoDocument) {
    const ovPointer<ovNode> scene = busyScene();
    RecordingProgress full;
    save(scene.get(), "full.dae", &full);
    EXPECT_EQ(full.calls().back(), "end");
    // Cancellation at every question, and a small file that cannot grow, are
    // swept over this scene with the other writers. A large document fails in
    // the middle of a float array rather than when its buffer is written out.
    const ovPointer<ovTriMesh> big =
        makeMesh(std::vector<Wm4::Vector3f>(20000, {1.5f, 2.5f, 3.5f}), {0, 1, 2});
    {
        const FileSizeLimit fileSize(30000);
        save(big.get(), "too_big.dae", nullptr, false);
    }

    // Data the store cannot give back fails the save.
    const ovPointer<ovTriMesh> lost = makeTriangle("lost");
    makeNonResident(*lost, false);
    save(lost.get(), "lost.dae", nullptr, false);
    EXPECT_EQ(log.texts(ovLogError),
              std::vector<std::string>{"ovColladaMeshDriver::writeGeometry, the data of "
                                       "mesh \"lost\" could not be loaded"});

    EXPECT_FALSE(driver.saveMeshes({scene}, dir.file("missing/folder.dae"), nullptr, {}));
}

// Images are written under temporary names and take theirs only when the
// whole save succeeded: a save that fails or is cancelled, wherever it stops,
// leaves the folder as it was, an older image of the same name too. With
// prefixes, two documents in one folder keep their images apart.
TEST_F(ColladaSaveTest, ImagesAppearOnlyWithTheirWholeDocumentAndPrefixesKeepDocumentsApart) {
    const auto materials = makeStates<ovMaterialState>(1);
    const auto textures = makeStates<ovTextureState>(1);
    textures[0]->addTexture(makeTexture(makeImage(ovImage::RGB8, 1), ovTexture::Diffuse));
    textures[0]->addTexture(makeTexture(makeImage(ovImage::RGB8, 2), ovTexture::Emission));
    const ovPointer<ovTriMesh> mesh = withMaterial(makeTriangle(), materials[0].get(), textures[0].get());
    writeFile(dir.path() / "material-1-image-diffuse.png", "older");
    const std::vector<std::string> before = {"material-1-image-diffuse.png"};

    // Cancelled after the images were written; then a folder where the
    // second image must go; then a second image that cannot be saved.
    RecordingProgress cancelling(2);
    save(mesh.get(), "cancelled.dae", &cancelling, false);
    EXPECT_EQ(filesIn(dir.path()), before);
    std::filesystem::create_directory(dir.path() / "material-1-image-emissive.png");
    save(mesh.get(), "blocked.dae", nullptr, false);
    std::filesystem::remove(dir.path() / "material-1-image-emissive.png");
    textures[0]->editTexture(1)->setImage(new ovImage(ovImage::RGB8, 0, 0));
    save(mesh.get(), "empty_image.dae", nullptr, false);
    EXPECT_EQ(filesIn(dir.path()), before);
    EXPECT_EQ(readFile(dir.path() / before[0]), "older");
    EXPECT_TRUE(written.empty());

    textures[0]->editTexture(1)->setImage(makeImage(ovImage::RGB8, 2));
    for (const auto& [prefix, document] : {std::pair{"a-", "a.dae"}, std::pair{"b:/", "b.dae"}}) {
        settings.imageFilePrefix = prefix;
        save(mesh.get(), document);
    }
    EXPECT_EQ(written, (std::vector<std::string>{dir.file("b__material-1-image-diffuse.png"),
                                                 dir.file("b__material-1-image-emissive.png")}));
    EXPECT_EQ(filesIn(dir.path()),
              (std::vector<std::string>{"a-material-1-image-diffuse.png", "a-material-1-image-emissive.png",
                                        "a.dae", "b.dae", "b__material-1-image-diffuse.png",
                                        "b__material-1-image-emissive.png", "material-1-image-diffuse.png"}));
}

// The options viewers need: the up axis, phong with a specular map, opacity,
// polylines, vertex colours and 9 digits. Without them, the same scene
// warns of what it leaves out.
TEST_F(ColladaSaveTest, ViewerOptionsWriteWhatViewersShowAndTheDefaultsSayWhatIsLeftOut) {
    const auto materials = makeStates<ovMaterialState>(2);
    materials[0]->SetName("glass");
    materials[0]->specular = {0.5f, 0.5f, 0.5f, 1};
    materials[0]->shininess = 20;
    materials[0]->alpha = 0.25f;
    const ovPointer<ovTextureState> maps(new ovTextureState);
    for (const int type : {ovTexture::Bump, ovTexture::Specular, ovTexture::Diffuse}) {
        maps->addTexture(makeTexture(makeImage(ovImage::RGB8, static_cast<uint8_t>(type)), type));
    }
    ovAttributes coloured;
    coloured.SetColor(true);
    ovTriMesh* glass = makeMesh({{12345.678f, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}, coloured, "glass");
    glass->getVertexBuffer()->Color4(1) = {1, 0.5f, 0.25f, 1};
    ovLine* wire = makeGeometry({{0, 0, 0}, {0, 4, 0}, {1, 4, 0}}, {0, 1, 1, 2});
    wire->setMaterialState(materials[1].get());
    const ovPointer<ovNode> root =
        makeRoot(nullptr, {withMaterial(glass, materials[0].get(), maps.get()), wire});

    ASSERT_TRUE(driver.saveMeshes({root}, dir.file("plain.dae"), nullptr, {}));
    EXPECT_EQ(log.texts(ovLogWarning),
              (std::vector<std::string>{
                  "ovColladaMeshDriver, 1 specular map is left out of the effects: no channel takes them",
                  "ovColladaMeshDriver, 1 bump map is left out of the effects: no channel takes them",
                  "ovColladaMeshDriver, the vertex colours of 1 geometries are not written (the save's "
                  "options leave them out)"}));
    settings.upAxis = ColladaSaveSettings::UpAxis::Y;
    settings.transparency = settings.phong = settings.polylines = settings.vertexColours = true;
    settings.significantDigits = 9;
    expectMatchesGolden("collada/viewer_options.dae", save(root.get(), "viewer.dae"));
    EXPECT_EQ(log.texts(ovLogWarning).size(), 4u) << "only the bump map is left out";
}

// A physically based leaf masked by its base colour map's alpha, lit on
// both sides: the effect takes the map's alpha as its transparency and says
// it is two-sided, and assimp reads both back.
TEST_F(ColladaSaveTest, TextureAlphaAndTwoSidedLightingReachReaders) {
    const ovPointer<ovMaterialState> leaf(new ovMaterialState);
    leaf->SetName("leaf");
    leaf->pbr = ovPbrMaterial{};
    leaf->pbr->alphaMode = ovPbrMaterial::AlphaMode::Mask;
    leaf->pbr->doubleSided = true;
    const ovPointer<ovTextureState> maps(new ovTextureState);
    maps->addTexture(makeTexture(makeImage(ovImage::RGBA8, 1), ovTexture::Diffuse));
    ovAttributes uv;
    uv.SetTCoordChannels(0, 2);
    const ovPointer<ovNode> root = makeRoot(
        nullptr,
        {withMaterial(makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}, uv), leaf.get(), maps.get())});
    settings.transparency = true;
    save(root.get(), "leaf.dae");
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(dir.file("leaf.dae"), 0);
    ASSERT_NE(scene, nullptr);
    int twoSided = 0;
    scene->mMaterials[0]->Get(AI_MATKEY_TWOSIDED, twoSided);
    EXPECT_EQ(twoSided, 1);
    EXPECT_EQ(scene->mMaterials[0]->GetTextureCount(aiTextureType_OPACITY), 1u);
}

// A scene 100,000 levels deep is written in proportion to its nodes: the
// indentation stops growing past a fixed depth.
TEST(ColladaDeepSceneTest, AHundredThousandLevelsMakeAFileInProportionToTheirNodes) {
    constexpr size_t kLevels = 100000;
    TempDir dir;
    const ovPointer<ovNode> root(new ovNode);
    ovNode* deepest = root.get();
    for (size_t level = 0; level < kLevels; ++level) {
        deepest = static_cast<ovNode*>(deepest->getChild(deepest->attachChild(new ovNode)));
    }
    deepest->attachChild(makeTriangle());
    // Indented to its depth, the document would take some 15 GB.
    const FileSizeLimit limit(kLevels * 256);
    ovColladaMeshDriver driver;
    ASSERT_TRUE(driver.saveMeshes({root}, dir.file("deep.dae"), nullptr, {}));
    EXPECT_EQ(readFile(dir.file("deep.dae")).find(std::string(32, '\t')), std::string::npos);
}

}  // namespace
}  // namespace ov::test
