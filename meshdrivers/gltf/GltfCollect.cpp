#include "gltf/GltfCollect.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <tuple>

#include "core/DriverLog.h"
#include "core/ImageFiles.h"
#include "core/SceneWalk.h"
#include "gltf/Tangents.h"
#include "gltf/VertexPatch.h"
#include "scenegraph/ovIoManager.h"
#include "scenegraph/ovMetadata.h"
#include "system/ovIoDevice.h"

namespace ov::gltf {
namespace {

float unit(float value) {
    return std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : 0.0f;
}

std::array<float, 3> rgbOf(const Wm4::ColorRGBA& color) {
    return {unit(color.R()), unit(color.G()), unit(color.B())};
}

// Phong's shininess as a microfacet roughness: the exponent and the
// Beckmann roughness r relate as shininess = 2 / r^2 - 2. Metallic stays 0,
// so the specular colour has no part.
float roughnessOf(float shininess) {
    const float exponent = std::isfinite(shininess) ? std::max(shininess, 0.0f) : 0.0f;
    return std::sqrt(2.0f / (exponent + 2.0f));
}

// What a material of colours alone gives: not metallic, the roughness of
// its shininess, blended when it is not opaque.
ovPbrMaterial derivedTerms(const ovMaterialState& state) {
    ovPbrMaterial terms;
    terms.metallic = 0;
    terms.roughness = roughnessOf(state.shininess);
    terms.alphaMode =
        unit(state.alpha) < 1.0f ? ovPbrMaterial::AlphaMode::Blend : ovPbrMaterial::AlphaMode::Opaque;
    return terms;
}

// The stated terms within the ranges readers accept.
ovPbrMaterial soundTerms(ovPbrMaterial terms) {
    terms.metallic = unit(terms.metallic);
    terms.roughness = unit(terms.roughness);
    terms.occlusionStrength = unit(terms.occlusionStrength);
    terms.alphaCutoff = std::isfinite(terms.alphaCutoff) ? std::max(terms.alphaCutoff, 0.0f) : 0.5f;
    terms.normalScale = std::isfinite(terms.normalScale) ? terms.normalScale : 1.0f;
    return terms;
}

// The slot of the material a texture fills; null when none takes it. The
// maps of physically based rendering only where the material states its
// terms: an older model's normal map rarely follows glTF's conventions. A
// normal map needs normals to turn.
TextureRef* slotOf(Material& material, const ovTexture& texture, bool pbr, bool normals) {
    switch (texture.getTexType()) {
        case ovTexture::Diffuse:
            return &material.baseColorTexture;
        case ovTexture::Emission:
            return &material.emissiveTexture;
        case ovTexture::Normal:
            return pbr && normals ? &material.normalTexture : nullptr;
        case ovTexture::Other:
            if (pbr && texture.getPbrMap() == ovTexture::PbrMap::MetallicRoughness) {
                return &material.metallicRoughnessTexture;
            }
            return pbr && texture.getPbrMap() == ovTexture::PbrMap::Occlusion ? &material.occlusionTexture
                                                                              : nullptr;
        default:
            return nullptr;
    }
}

// Units to metres and the scene's up axis to +Y, column by column.
std::optional<std::array<float, 16>> rootMatrix(const ovSpatial& root, UpAxis up) {
    const auto* stated = root.findMetadata<const ovWorldUnitsMetaData>();
    const double metres = stated ? stated->getValue() : 1.0;
    const float s = std::isfinite(metres) && metres > 0 ? static_cast<float>(metres) : 1.0f;
    if (up == UpAxis::Y && s == 1.0f) {
        return std::nullopt;
    }
    if (up == UpAxis::Y) {
        return std::array<float, 16>{s, 0, 0, 0, 0, s, 0, 0, 0, 0, s, 0, 0, 0, 0, 1};
    }
    // (x, y, z) -> (x, z, -y)
    return std::array<float, 16>{s, 0, 0, 0, 0, 0, -s, 0, 0, s, 0, 0, 0, 0, 0, 1};
}

std::optional<std::array<float, 16>> localMatrix(const ovSpatial& spatial) {
    if (spatial.getLocalTransform().IsIdentity()) {
        return std::nullopt;
    }
    Wm4::Matrix4f homogeneous;
    spatial.getLocalTransform().GetHomogeneous(homogeneous);
    if (homogeneous == Wm4::Matrix4f::Identity()) {
        return std::nullopt;
    }
    // The row-vector form row by row is the column-vector form column by column.
    std::array<float, 16> matrix;
    std::copy(homogeneous.data(), homogeneous.data() + 16, matrix.begin());
    return matrix;
}

// The texture-coordinate units written: from 0 on, while each has two
// coordinates or more, since readers want the sets numbered without gaps.
std::vector<int> texCoordUnitsOf(const ovAttributes& attributes) {
    std::vector<int> units;
    while (static_cast<int>(units.size()) < attributes.GetMaxTCoords() &&
           attributes.GetTCoordChannels(static_cast<int>(units.size())) >= 2) {
        units.push_back(static_cast<int>(units.size()));
    }
    return units;
}

std::string_view fileExtensionOf(const std::string& mediaType) {
    return mediaType == "image/jpeg" ? ".jpg" : ".png";
}

uint64_t aligned(uint64_t offset) {
    return (offset + 3) & ~uint64_t{3};
}

class Collector {
public:
    Collector(Document& document, const CollectOptions& options) : mDoc(document), mOptions(options) {}

    bool collect(ovSpatial& root, ovProgressNotifierInterface* progress);
    bool encodeImages();
    bool layOut();

private:
    struct Open {
        int node;
        bool lod;
        bool lodTaken;
    };

    WalkNext enter(const WalkStep<ovSpatial>& step);
    int meshOf(ovBaseGeometry& geometry);
    int vertexSourceOf(ovVertexBuffer& buffer);
    int indexSourceOf(ovIndexBuffer& buffer, int perPrimitive);
    bool indicesFit(const ovBaseGeometry& geometry);
    int materialOf(ovBaseGeometry& geometry, const VertexSource& vertices);
    int colourMaterialOf(const std::array<float, 4>& rgba);
    int lineMaterialOf(const ovLine& line);
    TextureRef textureRefOf(const ovTexture& texture, size_t texCoordSets);
    int textureOf(const ovTexture& texture);
    int imageOf(const ovImage& image, const std::string& name);
    int samplerOf(ovTexture::Wrap u, ovTexture::Wrap v);
    int addAccessor(int view, int offset, int componentType, int64_t count, const char* type);
    bool layOutVertices(VertexSource& source, uint64_t& offset);

    Document& mDoc;
    const CollectOptions& mOptions;
    std::vector<Open> mOpen;
    bool mFailed = false;
    std::map<const ovVertexBuffer*, int> mVertexSources;
    std::map<const ovIndexBuffer*, int> mIndexSources;
    std::set<std::pair<const ovVertexBuffer*, const ovIndexBuffer*>> mCheckedPairs;
    std::map<std::tuple<const ovVertexBuffer*, const ovIndexBuffer*, int>, int> mMeshes;
    // By material, texture-coordinate sets and (where a normal map needs
    // them) normals.
    std::map<std::tuple<ovMaterialObject, size_t, bool>, int> mMaterials;
    std::map<std::array<float, 4>, int> mColourMaterials;
    std::map<std::pair<const ovImage*, int>, int> mTextures;  // by image and sampler
    std::map<const ovImage*, int> mImages;
};

bool Collector::collect(ovSpatial& root, ovProgressNotifierInterface* progress) {
    mDoc.nodes.push_back({"", rootMatrix(root, mOptions.up), -1, {}, std::nullopt});
    mOpen.push_back({0, false, false});
    const bool walked = walkScene(
        root, progress, [this](const WalkStep<ovSpatial>& step) { return enter(step); },
        [this](const WalkStep<ovSpatial>&) { mOpen.pop_back(); });
    return walked && !mFailed && !(progress && progress->isCanceled());
}

WalkNext Collector::enter(const WalkStep<ovSpatial>& step) {
    Open& parent = mOpen.back();
    if (parent.lod && parent.lodTaken) {
        return WalkNext::Skip;
    }
    parent.lodTaken = parent.lod;
    ovSpatial& object = step.object;
    const int index = static_cast<int>(mDoc.nodes.size());
    mDoc.nodes.push_back({object.GetName(), localMatrix(object), -1, {}, std::nullopt});
    mDoc.nodes[static_cast<size_t>(parent.node)].children.push_back(index);
    if (object.IsDerived(ovXRefNode::TYPE)) {
        mDoc.nodes.back().file = static_cast<const ovXRefNode&>(object).getUtf8FilePath();
    }
    if (object.IsDerived(ovBaseGeometry::TYPE)) {
        const int mesh = meshOf(static_cast<ovBaseGeometry&>(object));
        if (mFailed) {
            return WalkNext::Stop;
        }
        mDoc.nodes[static_cast<size_t>(index)].mesh = mesh;
    }
    const bool lod = object.IsDerived(ovLODNode::TYPE);
    if (lod) {
        logDiagnostic("GltfMeshDriver, level-of-detail node ", object.GetName(),
                      ": only its most detailed object is written");
    }
    mOpen.push_back({index, lod, false});
    return WalkNext::Children;
}

int Collector::meshOf(ovBaseGeometry& geometry) {
    const bool lines = geometry.IsDerived(ovLine::TYPE);
    if (!lines && !geometry.IsDerived(ovTriMesh::TYPE)) {
        return -1;
    }
    ovVertexBuffer* vertices = geometry.getVertexBuffer();
    ovIndexBuffer* indices = geometry.getIndexBuffer();
    const int perPrimitive = lines ? 2 : 3;
    if (!vertices || !indices || vertices->GetVertexQuantity() < 1 ||
        indices->GetIndexQuantity() < perPrimitive) {
        logDiagnostic("GltfMeshDriver, ", geometry.GetName(), " has no ", lines ? "segment" : "triangle",
                      ": its node is written without a mesh");
        return -1;
    }
    if (!indicesFit(geometry)) {
        mFailed = true;
        return -1;
    }
    const int vertexSource = vertexSourceOf(*vertices);
    const int material = lines ? lineMaterialOf(static_cast<const ovLine&>(geometry))
                               : materialOf(geometry, mDoc.vertexSources[static_cast<size_t>(vertexSource)]);
    const auto [entry, added] =
        mMeshes.try_emplace({vertices, indices, material}, static_cast<int>(mDoc.meshes.size()));
    if (added) {
        mDoc.meshes.push_back({geometry.GetName(), lines ? kLines : kTriangles, vertexSource,
                               indexSourceOf(*indices, perPrimitive), material});
        const TextureRef& normalMap = mDoc.materials[static_cast<size_t>(material)].normalTexture;
        VertexSource& source = mDoc.vertexSources[static_cast<size_t>(vertexSource)];
        if (!lines && normalMap.texture >= 0 &&
            (source.tangentUnit < 0 || source.tangentUnit == normalMap.texCoord)) {
            source.tangentUnit = normalMap.texCoord;
            source.tangentTriangles.push_back(indices);
        }
    }
    return entry->second;
}

bool Collector::indicesFit(const ovBaseGeometry& geometry) {
    ovVertexBuffer* vertices = geometry.getVertexBuffer();
    ovIndexBuffer* indices = geometry.getIndexBuffer();
    if (!mCheckedPairs.insert({vertices, indices}).second) {
        return true;
    }
    ovDataLoader loadedVertices(vertices);
    ovDataLoader loadedIndices(indices);
    if (!vertices->hasCPUData() || !indices->hasCPUData()) {
        logError("GltfMeshDriver, the buffers of ", geometry.GetName(), " could not be loaded");
        return false;
    }
    const int* begin = indices->getData();
    const int* end = begin + indices->GetIndexQuantity();
    const int count = vertices->GetVertexQuantity();
    // One pass that the compiler turns into vector code; a negative index is
    // a large unsigned one.
    unsigned greatest = 0;
    for (const int* index = begin; index != end; ++index) {
        greatest = std::max(greatest, static_cast<unsigned>(*index));
    }
    if (greatest >= static_cast<unsigned>(count)) {
        const int* bad = std::find_if(begin, end, [count](int index) { return index < 0 || index >= count; });
        logError("GltfMeshDriver, ", geometry.GetName(), " refers to vertex ", *bad, " of ", count,
                 ": nothing is written");
        return false;
    }
    return true;
}

int Collector::vertexSourceOf(ovVertexBuffer& buffer) {
    const auto [entry, added] =
        mVertexSources.try_emplace(&buffer, static_cast<int>(mDoc.vertexSources.size()));
    if (added) {
        VertexSource source;
        source.buffer = &buffer;
        source.texCoordUnits = texCoordUnitsOf(buffer.GetAttributes());
        mDoc.vertexSources.push_back(std::move(source));
    }
    return entry->second;
}

int Collector::indexSourceOf(ovIndexBuffer& buffer, int perPrimitive) {
    const auto [entry, added] =
        mIndexSources.try_emplace(&buffer, static_cast<int>(mDoc.indexSources.size()));
    if (added) {
        const int count = buffer.GetIndexQuantity();
        mDoc.indexSources.push_back({&buffer, count - count % perPrimitive});
    }
    return entry->second;
}

int Collector::materialOf(ovBaseGeometry& geometry, const VertexSource& vertices) {
    ovMaterialState* state = geometry.getMaterialState();
    if (!state) {
        // Vertex colours are multiplied by the base colour; a plain mesh gets
        // the grey assimp's readers give one, so that a model looks the same
        // from every format.
        const bool coloured = vertices.buffer->GetAttributes().HasColor();
        return coloured ? colourMaterialOf({1, 1, 1, 1}) : colourMaterialOf({0.6f, 0.6f, 0.6f, 1});
    }
    ovTextureState* textures = geometry.editTextureState(false);
    const size_t sets = vertices.texCoordUnits.size();
    // Only a physically based material's normal map depends on the normals.
    const bool normals = state->pbr && vertices.buffer->GetAttributes().HasNormal();
    const auto [entry, added] = mMaterials.try_emplace({ovMaterialObject(state, textures), sets, normals},
                                                       static_cast<int>(mDoc.materials.size()));
    if (!added) {
        return entry->second;
    }
    Material material;
    material.name = state->GetName();
    const std::array<float, 3> diffuse = rgbOf(state->diffuse);
    const float alpha = unit(state->alpha);
    material.baseColor = {diffuse[0], diffuse[1], diffuse[2], alpha};
    material.emissive = rgbOf(state->emission);
    material.terms = state->pbr ? soundTerms(*state->pbr) : derivedTerms(*state);
    for (int i = 0; textures && i < textures->getNbTexture(); ++i) {
        const ovTexture* texture = textures->editTexture(i);
        if (!texture) {
            continue;
        }
        TextureRef* slot = slotOf(material, *texture, state->pbr.has_value(), normals);
        if (!slot || slot->texture >= 0) {
            logDiagnostic("GltfMeshDriver, texture ", texture->GetName(), " of type ", texture->getTexType(),
                          " of material ", material.name, " is not written: no material channel takes it");
            continue;
        }
        *slot = textureRefOf(*texture, sets);
    }
    // Colours alone say nothing of how they combine with a map: the map's
    // own colours are shown.
    if (!state->pbr && material.baseColorTexture.texture >= 0) {
        material.baseColor = {1, 1, 1, alpha};
    }
    if (!state->pbr && material.emissiveTexture.texture >= 0 &&
        material.emissive == std::array<float, 3>{0, 0, 0}) {
        material.emissive = {1, 1, 1};
    }
    mDoc.materials.push_back(std::move(material));
    return entry->second;
}

int Collector::lineMaterialOf(const ovLine& line) {
    const Wm4::ColorRGBA& color = line.getColor();
    return colourMaterialOf({unit(color.R()), unit(color.G()), unit(color.B()), unit(color.A())});
}

// A plain material of one colour, not metallic: a mesh without a material
// would otherwise get glTF's default, which is fully metallic and renders dark.
int Collector::colourMaterialOf(const std::array<float, 4>& rgba) {
    const auto [entry, added] = mColourMaterials.try_emplace(rgba, static_cast<int>(mDoc.materials.size()));
    if (added) {
        Material material;
        material.baseColor = rgba;
        material.terms.metallic = 0;
        material.terms.alphaMode =
            rgba[3] < 1.0f ? ovPbrMaterial::AlphaMode::Blend : ovPbrMaterial::AlphaMode::Opaque;
        mDoc.materials.push_back(std::move(material));
    }
    return entry->second;
}

TextureRef Collector::textureRefOf(const ovTexture& texture, size_t texCoordSets) {
    const int unitUsed = texture.getChannel() - 1;
    const char* reason = texture.getFormatCode() != 0 ? "its format is not an image"
                         : !texture.getImage()        ? "it has no image"
                         : unitUsed < 0 || static_cast<size_t>(unitUsed) >= texCoordSets
                             ? "the vertices have no coordinates for its channel"
                             : nullptr;
    if (reason) {
        logDiagnostic("GltfMeshDriver, texture ", texture.GetName(), " is not written: ", reason);
        return {};
    }
    return {textureOf(texture), unitUsed};
}

int Collector::textureOf(const ovTexture& texture) {
    const ovImage& image = *texture.getImage();
    const int sampler = samplerOf(texture.getWrapU(), texture.getWrapV());
    const auto [entry, added] =
        mTextures.try_emplace({&image, sampler}, static_cast<int>(mDoc.textures.size()));
    if (added) {
        mDoc.textures.push_back({imageOf(image, texture.GetName()), sampler});
    }
    return entry->second;
}

int Collector::samplerOf(ovTexture::Wrap u, ovTexture::Wrap v) {
    const auto found = std::find(mDoc.samplers.begin(), mDoc.samplers.end(), std::pair{u, v});
    if (found != mDoc.samplers.end()) {
        return static_cast<int>(found - mDoc.samplers.begin());
    }
    mDoc.samplers.emplace_back(u, v);
    return static_cast<int>(mDoc.samplers.size()) - 1;
}

int Collector::imageOf(const ovImage& image, const std::string& name) {
    const auto [entry, added] = mImages.try_emplace(&image, static_cast<int>(mDoc.images.size()));
    if (!added) {
        return entry->second;
    }
    Image written;
    written.image = &image;
    written.sourceFile = image.getSourceFile();
    if (written.sourceFile) {
        written.mediaType = image.getSourceMediaType();
        mDoc.imagesFromTop = true;
    }
    if (mOptions.imageFiles) {
        written.fileName =
            mOptions.imageFiles->nameFor(name.empty() ? "texture" : name, fileExtensionOf(written.mediaType));
    }
    mDoc.images.push_back(std::move(written));
    return entry->second;
}

int Collector::addAccessor(int view, int offset, int componentType, int64_t count, const char* type) {
    mDoc.accessors.push_back({view, static_cast<uint32_t>(offset), componentType, count, type, std::nullopt});
    return static_cast<int>(mDoc.accessors.size()) - 1;
}

// Lays out one vertex buffer as it stands and finds the bounds of its
// positions as they will be written.
bool Collector::layOutVertices(VertexSource& source, uint64_t& offset) {
    ovVertexBuffer& buffer = *source.buffer;
    const ovAttributes& attributes = buffer.GetAttributes();
    const auto stride = static_cast<size_t>(attributes.GetChannelQuantityByte());
    const auto count = static_cast<size_t>(buffer.GetVertexQuantity());
    source.bufferView = static_cast<int>(mDoc.bufferViews.size());
    mDoc.bufferViews.push_back({offset, stride * count, static_cast<int>(stride), kArrayBuffer});
    offset = aligned(offset + stride * count);

    ovDataLoader loaded(&buffer);
    if (!buffer.hasCPUData()) {
        logError("GltfMeshDriver, a vertex buffer could not be loaded");
        return false;
    }
    const auto view = source.bufferView;
    VertexScan scan =
        scanVertices(buffer.getDataByte(), count, VertexLayout::of(attributes, source.texCoordUnits));
    source.unsoundPieces = std::move(scan.unsoundPieces);
    source.position = addAccessor(view, 0, kFloat, static_cast<int64_t>(count), "VEC3");
    mDoc.accessors.back().bounds = scan.bounds;
    if (attributes.HasNormal()) {
        source.normal =
            addAccessor(view, attributes.GetNormalOffsetByte(), kFloat, static_cast<int64_t>(count), "VEC3");
    }
    for (const int unitIndex : source.texCoordUnits) {
        source.texCoordAccessors.push_back(addAccessor(view, attributes.GetTCoordOffsetByte(unitIndex),
                                                       kFloat, static_cast<int64_t>(count), "VEC2"));
    }
    if (attributes.HasColor()) {
        source.color =
            addAccessor(view, attributes.GetColorOffsetByte(), kFloat, static_cast<int64_t>(count), "VEC4");
    }
    if (source.tangentUnit >= 0) {
        source.tangents = tangentsOf(buffer, source.tangentUnit, source.tangentTriangles);
        if (source.tangents.empty()) {
            logError("GltfMeshDriver, an index buffer could not be loaded");
            return false;
        }
        const uint64_t length = source.tangents.size() * sizeof(float);
        source.tangentView = static_cast<int>(mDoc.bufferViews.size());
        mDoc.bufferViews.push_back({offset, length, 0, kArrayBuffer});
        source.tangent = addAccessor(source.tangentView, 0, kFloat, static_cast<int64_t>(count), "VEC4");
        offset = aligned(offset + length);
    }
    return true;
}

// Once every image is known, so that all of them turn the same way.
bool Collector::encodeImages() {
    for (Image& image : mDoc.images) {
        if (image.sourceFile || !image.fileName.empty()) {
            continue;
        }
        ovIoDeviceMemory png;
        if (!ovIoManager::msInstance.getImageIOManager().writePng(image.image, png, image.image->GetName(),
                                                                  imageOrientation(mDoc))) {
            return false;
        }
        image.png = png.data();
    }
    return true;
}

bool Collector::layOut() {
    uint64_t offset = 0;
    for (VertexSource& source : mDoc.vertexSources) {
        if (!layOutVertices(source, offset)) {
            return false;
        }
    }
    for (IndexSource& source : mDoc.indexSources) {
        const uint64_t length = static_cast<uint64_t>(source.count) * 4;
        source.bufferView = static_cast<int>(mDoc.bufferViews.size());
        mDoc.bufferViews.push_back({offset, length, 0, kElementArrayBuffer});
        source.accessor = addAccessor(source.bufferView, 0, kUnsignedInt, source.count, "SCALAR");
        offset = aligned(offset + length);
    }
    for (Image& image : mDoc.images) {
        if (image.fileName.empty()) {
            image.bufferView = static_cast<int>(mDoc.bufferViews.size());
            mDoc.bufferViews.push_back({offset, image.bytes().size(), 0, 0});
            offset = aligned(offset + image.bytes().size());
        }
    }
    mDoc.binaryLength = offset;
    return true;
}

}  // namespace

SaveImageOptions imageOrientation(const Document& document) {
    SaveImageOptions options;
    options.bottomRowFirst = !document.imagesFromTop;
    return options;
}

bool collectDocument(ovSpatial& root, ovProgressNotifierInterface* progress, const CollectOptions& options,
                     Document& document) {
    Collector collector(document, options);
    return collector.collect(root, progress) && collector.encodeImages() && collector.layOut();
}

}  // namespace ov::gltf
