#include "assimp/AssimpImport.h"

#include <assimp/GltfMaterial.h>
#include <assimp/cimport.h>
#include <assimp/config.h>
#include <assimp/importerdesc.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <array>
#include <assimp/Importer.hpp>
#include <assimp/ProgressHandler.hpp>
#include <cctype>
#include <climits>
#include <cmath>
#include <iterator>
#include <map>
#include <optional>
#include <span>
#include <sstream>

#include "assimp/ConfinedAssimpFiles.h"
#include "assimp/DeclaredCounts.h"
#include "assimp/PrimitiveTypes.h"
#include "assimp/StatedUnits.h"
#include "core/InputFiles.h"
#include "core/TextureImages.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovMetadata.h"
#include "system/ovFiles.h"
#include "system/ovStringUtils.h"
#include "system/ovUtf8.h"

namespace ov::assimpimport {

namespace {

namespace fs = std::filesystem;

// assimp checks the scene its reader built before any other step, and so do
// we (see statePrimitiveTypesFromFaces).
constexpr unsigned kReading = aiProcess_ValidateDataStructure;
// Faithful to the file: polygons become triangles, vertices equal in every
// attribute are shared, a mesh of several kinds of primitive is split by
// kind.
constexpr unsigned kPostProcessing =
    aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_SortByPType;

// Formats whose coordinates are metres: glTF and X3D by definition, COLLADA
// because assimp applies the document's own unit to the scene.
constexpr std::array<std::string_view, 6> kMetreFormats{"gltf", "glb", "dae", "zae", "x3d", "x3db"};
// FBX states its scene unit in centimetres.
constexpr const char* kFbxUnitKey = "UnitScaleFactor";
constexpr double kMetresPerCentimetre = 0.01;

// Names in models are meant to be UTF-8; stray bytes become U+FFFD so that
// every writer can take them. The length is kept within the text's room.
std::string textOf(const aiString& text) {
    const std::string_view bytes(text.C_Str(), std::min<size_t>(text.length, sizeof(text.data) - 1));
    return validUtf8(bytes);
}

std::string counted(size_t count, const std::string& what) {
    return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

int countOf(uint64_t count, const std::string& source, const char* what) {
    if (count > static_cast<uint64_t>(INT_MAX)) {
        throw ReadError("cannot read '" + source + "': a mesh has more " + what +
                        " than the scene graph holds");
    }
    return static_cast<int>(count);
}

// Hands assimp's progress on to the notifier, and the notifier's cancel back
// to assimp. assimp goes on after an answer of false between its steps, but
// ends the read, as after any failure, on an exception: thrown at its next
// report (after reading the file, and between its post-processing steps).
class ProgressRelay : public Assimp::ProgressHandler {
public:
    explicit ProgressRelay(ovProgressNotifierInterface* progress) : mProgress(progress) {
        if (mProgress != nullptr) {
            mProgress->beginStepGroup(1, 1.0, mCloser);
            mProgress->beginStep(1.0, 0);
        }
    }

    bool Update(float percentage) override {
        if (mProgress == nullptr) {
            return true;
        }
        if (percentage > mDone) {
            mProgress->advanceStep(static_cast<double>(percentage - mDone));
            mDone = percentage;
        }
        if (mProgress->isCanceled()) {
            throw Cancelled();
        }
        return true;
    }

private:
    struct Cancelled {};

    ovProgressNotifierInterface* mProgress;
    ovProgressNotifierGroupCloser mCloser;
    float mDone = 0.0f;
};

// The importer keeps a handler it is given; the relay lives on our side.
class RelayScope {
public:
    RelayScope(Assimp::Importer& importer, ProgressRelay& relay) : mImporter(importer) {
        mImporter.SetProgressHandler(&relay);
    }
    ~RelayScope() { mImporter.SetProgressHandler(nullptr); }
    RelayScope(const RelayScope&) = delete;
    RelayScope& operator=(const RelayScope&) = delete;

private:
    Assimp::Importer& mImporter;
};

void place(ovSpatial& spatial, const aiMatrix4x4& matrix) {
    // Exactly: assimp's IsIdentity lets a small turn or shift pass as none.
    if (matrix == aiMatrix4x4()) {
        return;
    }
    // Columns as rotation times scale: exact for any linear part, a shear
    // included, since the rotation slot may hold any matrix.
    Wm4::Matrix3f rotate;
    Wm4::Vector3f scale;
    for (size_t column = 0; column < 3; ++column) {
        const auto c = static_cast<unsigned>(column);
        const float length = std::hypot(matrix[0][c], matrix[1][c], matrix[2][c]);
        scale[column] = std::fabs(length - 1.0f) <= 1e-6f ? 1.0f : length;
        for (size_t row = 0; row < 3; ++row) {
            const float identity = row == column ? 1.0f : 0.0f;
            rotate(row, column) = length > 0.0f ? matrix[static_cast<unsigned>(row)][c] / length : identity;
        }
    }
    ovTransformation& placement = spatial.editLocalTransform(true);
    placement.SetRotate(rotate);
    placement.SetScale(scale);
    placement.SetTranslate({matrix.a4, matrix.b4, matrix.c4});
}

std::optional<double> metresPerUnit(const aiScene& scene, const std::string& extension,
                                    std::optional<double> stated) {
    if (stated) {
        return stated;
    }
    if (std::find(kMetreFormats.begin(), kMetreFormats.end(), extension) != kMetreFormats.end()) {
        return 1.0;
    }
    if (extension != "fbx" || scene.mMetaData == nullptr) {
        return std::nullopt;
    }
    double centimetres = 0.0;
    float single = 0.0f;
    if (scene.mMetaData->Get(kFbxUnitKey, single)) {
        centimetres = single;
    } else if (!scene.mMetaData->Get(kFbxUnitKey, centimetres)) {
        return std::nullopt;
    }
    if (!std::isfinite(centimetres) || centimetres <= 0.0) {
        return std::nullopt;
    }
    return centimetres * kMetresPerCentimetre;
}

LoadedImage readable(LoadedImage loaded) {
    if (!loaded.image) {
        loaded.failure = "cannot be read (" + loaded.failure + ")";
    }
    return loaded;
}

struct TextureKind {
    aiTextureType from;
    ovTexture::TexType to;
};

// The first texture of each kind the scene graph knows; glTF's base colour
// and its older diffuse twin feed the same kind.
constexpr TextureKind kTextureKinds[] = {
    {aiTextureType_DIFFUSE, ovTexture::Diffuse},       {aiTextureType_BASE_COLOR, ovTexture::Diffuse},
    {aiTextureType_SPECULAR, ovTexture::Specular},     {aiTextureType_AMBIENT, ovTexture::Ambient},
    {aiTextureType_EMISSIVE, ovTexture::Emission},     {aiTextureType_EMISSION_COLOR, ovTexture::Emission},
    {aiTextureType_HEIGHT, ovTexture::Bump},           {aiTextureType_NORMALS, ovTexture::Normal},
    {aiTextureType_NORMAL_CAMERA, ovTexture::Normal},  {aiTextureType_OPACITY, ovTexture::Opacity},
    {aiTextureType_REFLECTION, ovTexture::Reflective},
};

// The texture file name and channel of one map; nullopt when the material
// has none of that kind.
struct TextureUse {
    std::string named;
    unsigned uvIndex = 0;
    ovTexture::Wrap wrapU = ovTexture::Wrap::Repeat;
    ovTexture::Wrap wrapV = ovTexture::Wrap::Repeat;
};

// Decal (transparent outside 0..1) is the one mode without a scene
// counterpart; it is clamped, the nearest look.
ovTexture::Wrap wrapOf(aiTextureMapMode mode) {
    switch (mode) {
        case aiTextureMapMode_Mirror:
            return ovTexture::Wrap::Mirror;
        case aiTextureMapMode_Clamp:
        case aiTextureMapMode_Decal:
            return ovTexture::Wrap::Clamp;
        default:
            return ovTexture::Wrap::Repeat;
    }
}

std::optional<TextureUse> textureUseOf(const aiMaterial& material, aiTextureType type) {
    aiString named;
    unsigned uvIndex = 0;
    // Filled for u and v, and w by some readers.
    aiTextureMapMode modes[3] = {aiTextureMapMode_Wrap, aiTextureMapMode_Wrap, aiTextureMapMode_Wrap};
    if (material.GetTexture(type, 0, &named, nullptr, &uvIndex, nullptr, nullptr, modes) != AI_SUCCESS) {
        return std::nullopt;
    }
    return TextureUse{textOf(named), uvIndex, wrapOf(modes[0]), wrapOf(modes[1])};
}

// The metallic-roughness terms a physically based model states (glTF, FBX's
// PBR materials); nullopt for a material of colours alone, whose terms a
// writer derives as before. Its metalness is what makes a model physically
// based: assimp gives FBX's Phong materials a roughness of their own, from
// the shininess. A model that states no alpha mode (FBX) blends where it is
// not opaque.
std::optional<ovPbrMaterial> pbrOf(const aiMaterial& material, float opacity) {
    ovPbrMaterial pbr;
    if (material.Get(AI_MATKEY_METALLIC_FACTOR, pbr.metallic) != AI_SUCCESS) {
        return std::nullopt;
    }
    material.Get(AI_MATKEY_ROUGHNESS_FACTOR, pbr.roughness);
    aiString mode;
    std::string_view named = opacity < 1 ? "BLEND" : "OPAQUE";
    if (material.Get(AI_MATKEY_GLTF_ALPHAMODE, mode) == AI_SUCCESS) {
        named = mode.C_Str();
    }
    pbr.alphaMode = named == "MASK"    ? ovPbrMaterial::AlphaMode::Mask
                    : named == "BLEND" ? ovPbrMaterial::AlphaMode::Blend
                                       : ovPbrMaterial::AlphaMode::Opaque;
    material.Get(AI_MATKEY_GLTF_ALPHACUTOFF, pbr.alphaCutoff);
    int twoSided = 0;
    pbr.doubleSided = material.Get(AI_MATKEY_TWOSIDED, twoSided) == AI_SUCCESS && twoSided != 0;
    material.Get(AI_MATKEY_GLTF_TEXTURE_SCALE(aiTextureType_NORMALS, 0), pbr.normalScale);
    material.Get(AI_MATKEY_GLTF_TEXTURE_STRENGTH(aiTextureType_LIGHTMAP, 0), pbr.occlusionStrength);
    return pbr;
}

// The metallic-roughness map: one image whose blue channel is the metalness
// and green the roughness, as glTF packs them. assimp states it as both
// kinds; separate maps of the two (FBX) have no such form.
std::optional<TextureUse> metallicRoughnessMapOf(const aiMaterial& material) {
    std::optional<TextureUse> metalness = textureUseOf(material, aiTextureType_METALNESS);
    const std::optional<TextureUse> roughness = textureUseOf(material, aiTextureType_DIFFUSE_ROUGHNESS);
    if (!metalness || !roughness || metalness->named != roughness->named) {
        return std::nullopt;
    }
    return metalness;
}

// glTF's occlusion map, which assimp's glTF reader states as a light map;
// another format's light map is no occlusion map.
std::optional<TextureUse> occlusionMapOf(const aiMaterial& material) {
    aiString mode;
    if (material.Get(AI_MATKEY_GLTF_ALPHAMODE, mode) != AI_SUCCESS) {
        return std::nullopt;
    }
    return textureUseOf(material, aiTextureType_LIGHTMAP);
}

void readColour(const aiMaterial& material, const char* key, unsigned type, unsigned index,
                Wm4::ColorRGBA& colour) {
    aiColor4D value;
    if (material.Get(key, type, index, value) == AI_SUCCESS) {
        colour = {value.r, value.g, value.b, value.a};
    }
}

// One aiMesh in scene-graph buffers, shared by every node that refers to it.
struct MeshParts {
    std::string name;
    unsigned material = 0;
    ovPointer<ovVertexBuffer> vertices;
    // Null when the mesh has none.
    ovPointer<ovIndexBuffer> triangles;
    ovPointer<ovIndexBuffer> segments;
};

ovAttributes layoutOf(const aiMesh& mesh) {
    ovAttributes layout;
    layout.SetNormal(mesh.HasNormals());
    for (unsigned unit = 0; unit < AI_MAX_NUMBER_OF_TEXTURECOORDS && unit < ovAttributes::MaxTCoordUnits;
         ++unit) {
        if (mesh.HasTextureCoords(unit)) {
            const unsigned channels = mesh.mNumUVComponents[unit];
            layout.SetTCoordChannels(static_cast<int>(unit), channels == 0 ? 2 : static_cast<int>(channels));
        }
    }
    layout.SetColor(mesh.HasVertexColors(0));
    return layout;
}

class SceneConverter {
public:
    SceneConverter(const aiScene& scene, std::string source, fs::path folder,
                   ovProgressNotifierInterface* progress, const ImportSettings& options)
        : mScene(scene),
          mSource(std::move(source)),
          mFolder(std::move(folder)),
          mProgress(progress),
          mTextures(options.textures),
          mConfinement(mFolder, options.confine),
          mBudget(options.texturePixels),
          mMeshes(scene.mNumMeshes),
          mMaterials(scene.mNumMaterials) {}

    ImportedScene convert(const std::string& rootName) {
        ImportedScene result;
        result.root = new ovNode;
        result.root->SetName(rootName);
        // Depth first without recursion: a deep hierarchy must not take the stack.
        std::vector<std::pair<const aiNode*, ovNode*>> pending{{mScene.mRootNode, result.root.get()}};
        while (!pending.empty()) {
            const auto [from, parent] = pending.back();
            pending.pop_back();
            if (mProgress != nullptr && mProgress->isCanceled()) {
                throw ReadError("cannot read '" + mSource + "': cancelled");
            }
            ovPointer<ovNode> node(new ovNode);
            node->SetName(textOf(from->mName));
            place(*node, from->mTransformation);
            attachMeshes(*from, *node);
            parent->attachChild(node.get());
            for (unsigned child = from->mNumChildren; child-- > 0;) {
                if (from->mChildren[child] != nullptr) {
                    pending.emplace_back(from->mChildren[child], node.get());
                }
            }
        }
        result.warnings = std::move(mWarnings);
        warnLeftOut(result.warnings);
        return result;
    }

private:
    using States = std::pair<ovPointer<ovMaterialState>, ovPointer<ovTextureState>>;

    void attachMeshes(const aiNode& from, ovNode& node) {
        for (unsigned i = 0; i < from.mNumMeshes; ++i) {
            const MeshParts& parts = partsOf(from.mMeshes[i]);
            const std::string& name = parts.name.empty() ? node.GetName() : parts.name;
            const States& states = statesOf(parts.material);
            if (parts.triangles) {
                ovPointer<ovTriMesh> mesh(new ovTriMesh(parts.vertices.get(), parts.triangles.get()));
                mesh->SetName(name);
                mesh->setMaterialState(states.first.get());
                mesh->setTextureState(states.second.get());
                node.attachChild(mesh.get());
            }
            if (parts.segments) {
                ovPointer<ovLine> line(new ovLine(parts.vertices.get(), parts.segments.get()));
                line->SetName(name);
                if (states.first) {
                    line->setMaterialState(states.first.get());
                    line->setColor(states.first->diffuse);
                }
                node.attachChild(line.get());
            }
        }
    }

    const MeshParts& partsOf(unsigned index) {
        if (index >= mMeshes.size() || mScene.mMeshes[index] == nullptr) {
            throw ReadError("cannot read '" + mSource + "': a node refers to mesh " + std::to_string(index) +
                            " of " + std::to_string(mMeshes.size()));
        }
        if (!mMeshes[index]) {
            mMeshes[index] = buildParts(*mScene.mMeshes[index]);
        }
        return *mMeshes[index];
    }

    MeshParts buildParts(const aiMesh& mesh) {
        MeshParts parts;
        parts.name = textOf(mesh.mName);
        parts.material = mesh.mMaterialIndex;
        const int vertexCount = countOf(mesh.mNumVertices, mSource, "vertices");
        uint64_t triangleCount = 0;
        uint64_t segmentCount = 0;
        for (const aiFace& face : std::span(mesh.mFaces, mesh.mNumFaces)) {
            requireFace(face, mesh.mNumVertices);
            triangleCount += face.mNumIndices == 3 ? 1 : 0;
            segmentCount += face.mNumIndices == 2 ? 1 : 0;
            mPointsLeftOut += face.mNumIndices == 1 ? 1 : 0;
        }
        requireFinitePositions(mesh, parts.name);
        parts.vertices = new ovVertexBuffer(layoutOf(mesh), vertexCount);
        fillVertices(mesh, *parts.vertices);
        if (mesh.HasVertexColors(1)) {
            ++mMeshesWithMoreColours;
        }
        parts.triangles = indicesOf(mesh, 3, countOf(triangleCount * 3, mSource, "triangles"));
        parts.segments = indicesOf(mesh, 2, countOf(segmentCount * 2, mSource, "segments"));
        return parts;
    }

    void requireFace(const aiFace& face, unsigned vertexCount) const {
        if (face.mNumIndices == 0 || face.mNumIndices > 3) {
            throw ReadError("cannot read '" + mSource + "': a face of " + std::to_string(face.mNumIndices) +
                            " corners is left after triangulation");
        }
        for (unsigned index : std::span(face.mIndices, face.mNumIndices)) {
            if (index >= vertexCount) {
                throw ReadError("cannot read '" + mSource + "': a face refers to vertex " +
                                std::to_string(index) + " of " + std::to_string(vertexCount));
            }
        }
    }

    // As the OBJ reader refuses a coordinate that is not a finite number.
    void requireFinitePositions(const aiMesh& mesh, const std::string& name) const {
        const std::span positions(mesh.mVertices, mesh.mNumVertices);
        if (!std::all_of(positions.begin(), positions.end(), [](const aiVector3D& p) {
                return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
            })) {
            throw ReadError("cannot read '" + mSource + "': mesh '" + name +
                            "' has a vertex whose position is not finite");
        }
    }

    static void fillVertices(const aiMesh& mesh, ovVertexBuffer& vertices) {
        const ovAttributes& layout = vertices.GetAttributes();
        for (int v = 0; v < vertices.GetVertexQuantity(); ++v) {
            const auto at = static_cast<unsigned>(v);
            const aiVector3D& position = mesh.mVertices[at];
            vertices.Position3(v) = {position.x, position.y, position.z};
            if (layout.HasNormal()) {
                const aiVector3D& normal = mesh.mNormals[at];
                vertices.Normal3(v) = {normal.x, normal.y, normal.z};
            }
            for (int unit = 0; unit < layout.GetMaxTCoords(); ++unit) {
                if (layout.HasTCoord(unit)) {
                    const aiVector3D& uvw = mesh.mTextureCoords[unit][at];
                    const float values[3] = {uvw.x, uvw.y, uvw.z};
                    std::copy_n(values, layout.GetTCoordChannels(unit), vertices.TCoord(unit, v));
                }
            }
            if (layout.HasColor()) {
                const aiColor4D& colour = mesh.mColors[0][at];
                vertices.Color4(v) = {colour.r, colour.g, colour.b, colour.a};
            }
        }
    }

    static ovPointer<ovIndexBuffer> indicesOf(const aiMesh& mesh, unsigned corners, int count) {
        if (count == 0) {
            return {};
        }
        ovPointer<ovIndexBuffer> buffer(new ovIndexBuffer(count));
        int* at = buffer->getData();
        for (const aiFace& face : std::span(mesh.mFaces, mesh.mNumFaces)) {
            if (face.mNumIndices == corners) {
                at = std::transform(face.mIndices, face.mIndices + corners, at,
                                    [](unsigned index) { return static_cast<int>(index); });
            }
        }
        return buffer;
    }

    const States& statesOf(unsigned index) {
        static const States kNone;
        if (index >= mMaterials.size() || mScene.mMaterials[index] == nullptr) {
            return kNone;
        }
        if (!mMaterials[index]) {
            mMaterials[index] = buildStates(*mScene.mMaterials[index]);
        }
        return *mMaterials[index];
    }

    States buildStates(const aiMaterial& material) {
        ovPointer<ovMaterialState> state(new ovMaterialState);
        aiString name;
        if (material.Get(AI_MATKEY_NAME, name) == AI_SUCCESS) {
            state->SetName(textOf(name));
        }
        readColour(material, AI_MATKEY_COLOR_AMBIENT, state->ambient);
        readColour(material, AI_MATKEY_COLOR_DIFFUSE, state->diffuse);
        readColour(material, AI_MATKEY_COLOR_SPECULAR, state->specular);
        readColour(material, AI_MATKEY_COLOR_EMISSIVE, state->emission);
        material.Get(AI_MATKEY_SHININESS, state->shininess);
        material.Get(AI_MATKEY_OPACITY, state->alpha);
        state->diffuse[3] = state->alpha;
        state->pbr = pbrOf(material, state->alpha);
        return {state, texturesOf(material, *state)};
    }

    ovPointer<ovTextureState> texturesOf(const aiMaterial& material, const ovMaterialState& state) {
        ovPointer<ovTextureState> textures;
        if (!mTextures) {
            return textures;
        }
        int kindsTaken = 0;
        for (const auto& [from, to] : kTextureKinds) {
            const std::optional<TextureUse> use =
                (kindsTaken & to) == 0 ? textureUseOf(material, from) : std::nullopt;
            if (use) {
                kindsTaken |= to;
                addTexture(textures, *use, to, ovTexture::PbrMap::None, state.GetName());
            }
        }
        if (!state.pbr) {
            return textures;
        }
        if (const std::optional<TextureUse> use = metallicRoughnessMapOf(material)) {
            addTexture(textures, *use, ovTexture::Other, ovTexture::PbrMap::MetallicRoughness,
                       state.GetName());
        }
        if (const std::optional<TextureUse> use = occlusionMapOf(material)) {
            addTexture(textures, *use, ovTexture::Other, ovTexture::PbrMap::Occlusion, state.GetName());
        }
        return textures;
    }

    void addTexture(ovPointer<ovTextureState>& textures, const TextureUse& use, ovTexture::TexType type,
                    ovTexture::PbrMap map, const std::string& materialName) {
        ovImage* image = imageOf(use.named, materialName);
        if (image == nullptr) {
            return;
        }
        textures = textures ? textures : ovPointer<ovTextureState>(new ovTextureState);
        ovPointer<ovTexture> texture(new ovTexture(image));
        texture->setTypeField(type);
        texture->setPbrMap(map);
        texture->setChannel(static_cast<int>(std::min(use.uvIndex, 254u)) + 1);
        texture->setWrap(use.wrapU, use.wrapV);
        textures->addTexture(texture.get());
    }

    ovImage* imageOf(const std::string& named, const std::string& materialName) {
        const auto [entry, added] = mImages.try_emplace(named);
        if (added) {
            const std::string at = mSource + ": material '" + materialName + "': ";
            const LoadedImage loaded = loadImage(named);
            entry->second = loaded.image;
            if (!loaded.image) {
                mWarnings.push_back(at + "texture image '" + named + "' " + loaded.failure + ": left out");
            }
        }
        return entry->second.get();
    }

    LoadedImage loadImage(const std::string& named) {
        if (const aiTexture* embedded = mScene.GetEmbeddedTexture(named.c_str())) {
            return embeddedImage(*embedded);
        }
        if (named.starts_with('*')) {
            return {{}, "is not embedded in the file"};
        }
        const std::optional<fs::path> file = locateNamedFile(mFolder, named);
        if (!file) {
            return {{}, "not found"};
        }
        mConfinement.require(*file, named, mSource);
        return readable(loadTextureImage(utf8OfPath(*file), mBudget));
    }

    // An embedded texture is an image file's bytes, or (with a height) rows
    // of BGRA texels.
    LoadedImage embeddedImage(const aiTexture& texture) {
        if (texture.mHeight == 0) {
            return readable(
                decodeTextureImage(std::string(reinterpret_cast<const char*>(texture.pcData), texture.mWidth),
                                   "its embedded image", mBudget));
        }
        if (texture.mWidth > INT_MAX || texture.mHeight > INT_MAX) {
            return {{}, "is larger than an image can be"};
        }
        ovPointer<ovImage> image(
            new ovImage(ovImage::RGBA8, static_cast<int>(texture.mWidth), static_cast<int>(texture.mHeight)));
        uint8_t* at = image->editData();
        for (const aiTexel& texel : std::span(texture.pcData, image->getDataSize() / 4)) {
            *at++ = texel.r;
            *at++ = texel.g;
            *at++ = texel.b;
            *at++ = texel.a;
        }
        return {image, {}};
    }

    void warnLeftOut(std::vector<std::string>& warnings) const {
        if (mPointsLeftOut > 0) {
            warnings.push_back(mSource + ": " + counted(mPointsLeftOut, "point") +
                               " left out: meshes hold triangles and line segments only");
        }
        if (mMeshesWithMoreColours > 0) {
            warnings.push_back(mSource + ": " + counted(mMeshesWithMoreColours, "mesh") +
                               " with several vertex colour sets keep the first only");
        }
        std::vector<std::string> kinds;
        for (const auto& [count, what] :
             {std::pair{mScene.mNumAnimations, "animation"}, std::pair{mScene.mNumCameras, "camera"},
              std::pair{mScene.mNumLights, "light"}}) {
            if (count > 0) {
                kinds.push_back(counted(count, what));
            }
        }
        if (!kinds.empty()) {
            std::string list;
            for (const std::string& kind : kinds) {
                list += (list.empty() ? "" : ", ") + kind;
            }
            warnings.push_back(mSource + ": " + list + " left out: the scene holds geometry only");
        }
    }

    const aiScene& mScene;
    std::string mSource;
    fs::path mFolder;
    ovProgressNotifierInterface* mProgress;
    bool mTextures;
    Confinement mConfinement;
    PixelBudget mBudget;
    std::vector<std::optional<MeshParts>> mMeshes;
    std::vector<std::optional<States>> mMaterials;
    std::map<std::string, ovPointer<ovImage>> mImages;
    std::vector<std::string> mWarnings;
    size_t mPointsLeftOut = 0;
    size_t mMeshesWithMoreColours = 0;
};

std::string trimmed(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.pop_back();
    }
    return text;
}

// Runs read(importer) with the options and progress of every import, and
// converts the scene it gives.
template <typename Read>
ImportedScene importScene(const std::string& source, const std::string& extension, const fs::path& folder,
                          std::optional<double> statedUnit, ovProgressNotifierInterface* progress,
                          const ImportSettings& options, Read read) {
    Assimp::Importer importer;
    // The importer owns its file system.
    auto* files = new ConfinedAssimpFiles(Confinement(folder, options.confine));
    importer.SetIOHandler(files);
    // Pivots folded into each node's placement, not as extra helper nodes.
    importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
    ProgressRelay relay(progress);
    const RelayScope scope(importer, relay);
    const aiScene* scene = read(importer);
    if (scene != nullptr) {
        // The importer's scene, ours to mend before the steps that follow.
        statePrimitiveTypesFromFaces(const_cast<aiScene&>(*scene), source);
        scene = importer.ApplyPostProcessing(kPostProcessing);
    }
    if (progress != nullptr && progress->isCanceled()) {
        throw ReadError("cannot read '" + source + "': cancelled");
    }
    if (!files->refused().empty()) {
        Confinement(folder, options.confine).require(pathOfUtf8(files->refused()), files->refused(), source);
    }
    if (scene == nullptr || scene->mRootNode == nullptr) {
        throw ReadError("cannot read '" + source + "': " + trimmed(importer.GetErrorString()));
    }
    ImportedScene imported = SceneConverter(*scene, source, folder, progress, options)
                                 .convert(utf8OfPath(pathOfUtf8(source).stem()));
    if (const std::optional<double> metres = metresPerUnit(*scene, extension, statedUnit)) {
        imported.root->setMetadata(new ovWorldUnitsMetaData(*metres));
    }
    return imported;
}

}  // namespace

const std::vector<AssimpFormat>& assimpFormats() {
    static const std::vector<AssimpFormat> kFormats = [] {
        std::vector<AssimpFormat> formats;
        for (size_t i = 0; i < aiGetImportFormatCount(); ++i) {
            const aiImporterDesc* description = aiGetImportFormatDescription(i);
            std::istringstream words(description->mFileExtensions);
            for (std::string extension; words >> extension;) {
                extension = ovStringUtils::lowered(extension);
                if (extension.find('.') != std::string::npos) {
                    continue;
                }
                const auto known =
                    std::find_if(formats.begin(), formats.end(),
                                 [&](const AssimpFormat& format) { return format.extension == extension; });
                if (known == formats.end()) {
                    formats.push_back({extension, description->mName});
                } else {
                    known->importers += std::string(", ") + description->mName;
                }
            }
        }
        return formats;
    }();
    return kFormats;
}

ImportedScene importWithAssimp(const std::string& path, ovProgressNotifierInterface* progress,
                               const ImportSettings& options) {
    openForReading(path);
    const std::string extension = ovCoreMeshDriver::extensionOf(path);
    requireFileCountsFit(path, extension);
    return importScene(path, extension, pathOfUtf8(path).parent_path(), statedMetresPerUnit(path, extension),
                       progress, options,
                       [&path](Assimp::Importer& importer) { return importer.ReadFile(path, kReading); });
}

ImportedScene importWithAssimpFromMemory(std::string_view bytes, const std::string& formatHint,
                                         const std::string& source, const fs::path& textureFolder,
                                         const ImportSettings& options) {
    const std::string extension = ovStringUtils::lowered(formatHint);
    requireCountsFit(bytes, bytes.size(), extension, source);
    return importScene(source, extension, textureFolder, statedMetresPerUnitOfBytes(bytes, extension),
                       nullptr, options, [&](Assimp::Importer& importer) {
                           return importer.ReadFileFromMemory(bytes.data(), bytes.size(), kReading,
                                                              formatHint.c_str());
                       });
}

}  // namespace ov::assimpimport
