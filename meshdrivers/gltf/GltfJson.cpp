#include "gltf/GltfJson.h"

#include "core/ImageFiles.h"

namespace ov::gltf {
namespace {

constexpr int kLinear = 9729;
constexpr int kLinearMipmapLinear = 9987;

// glTF's default, REPEAT, goes unsaid.
void writeWrap(JsonWriter& json, const char* key, ovTexture::Wrap wrap) {
    if (wrap != ovTexture::Wrap::Repeat) {
        json.integer(key, wrap == ovTexture::Wrap::Mirror ? 33648 : 33071);
    }
}

// weightKey names the map's strength ("scale", "strength"), written when it
// is not glTF's default of 1.
void writeTextureRef(JsonWriter& json, const char* key, const TextureRef& ref,
                     const char* weightKey = nullptr, float weight = 1.0f) {
    if (ref.texture < 0) {
        return;
    }
    json.beginObject(key);
    json.integer("index", ref.texture);
    if (ref.texCoord != 0) {
        json.integer("texCoord", ref.texCoord);
    }
    if (weightKey && weight != 1.0f) {
        json.number(weightKey, weight);
    }
    json.endObject();
}

const char* alphaModeName(ovPbrMaterial::AlphaMode mode) {
    switch (mode) {
        case ovPbrMaterial::AlphaMode::Mask:
            return "MASK";
        case ovPbrMaterial::AlphaMode::Blend:
            return "BLEND";
        case ovPbrMaterial::AlphaMode::Opaque:
            break;
    }
    return nullptr;
}

void writeNodes(const Document& document, JsonWriter& json) {
    json.beginArray("nodes");
    for (const Node& node : document.nodes) {
        json.beginObject();
        if (!node.name.empty()) {
            json.string("name", node.name);
        }
        if (node.matrix) {
            json.numbers("matrix", *node.matrix);
        }
        if (node.mesh >= 0) {
            json.integer("mesh", node.mesh);
        }
        if (!node.children.empty()) {
            json.beginArray("children");
            for (const int child : node.children) {
                json.integer({}, child);
            }
            json.endArray();
        }
        if (node.file) {
            json.beginObject("extras");
            json.string("file", *node.file);
            json.endObject();
        }
        json.endObject();
    }
    json.endArray();
}

void writeAttributes(const VertexSource& vertices, JsonWriter& json) {
    json.beginObject("attributes");
    json.integer("POSITION", vertices.position);
    if (vertices.normal >= 0) {
        json.integer("NORMAL", vertices.normal);
    }
    if (vertices.tangent >= 0) {
        json.integer("TANGENT", vertices.tangent);
    }
    for (size_t set = 0; set < vertices.texCoordAccessors.size(); ++set) {
        json.integer("TEXCOORD_" + std::to_string(set), vertices.texCoordAccessors[set]);
    }
    if (vertices.color >= 0) {
        json.integer("COLOR_0", vertices.color);
    }
    json.endObject();
}

void writeMeshes(const Document& document, JsonWriter& json) {
    json.beginArray("meshes");
    for (const Mesh& mesh : document.meshes) {
        json.beginObject();
        if (!mesh.name.empty()) {
            json.string("name", mesh.name);
        }
        json.beginArray("primitives");
        json.beginObject();
        writeAttributes(document.vertexSources[static_cast<size_t>(mesh.vertices)], json);
        json.integer("indices", document.indexSources[static_cast<size_t>(mesh.indices)].accessor);
        if (mesh.material >= 0) {
            json.integer("material", mesh.material);
        }
        json.integer("mode", mesh.mode);
        json.endObject();
        json.endArray();
        json.endObject();
    }
    json.endArray();
}

void writeMaterials(const Document& document, JsonWriter& json) {
    json.beginArray("materials");
    for (const Material& material : document.materials) {
        json.beginObject();
        if (!material.name.empty()) {
            json.string("name", material.name);
        }
        const ovPbrMaterial& terms = material.terms;
        json.beginObject("pbrMetallicRoughness");
        json.numbers("baseColorFactor", material.baseColor);
        writeTextureRef(json, "baseColorTexture", material.baseColorTexture);
        json.number("metallicFactor", terms.metallic);
        json.number("roughnessFactor", terms.roughness);
        writeTextureRef(json, "metallicRoughnessTexture", material.metallicRoughnessTexture);
        json.endObject();
        writeTextureRef(json, "normalTexture", material.normalTexture, "scale", terms.normalScale);
        writeTextureRef(json, "occlusionTexture", material.occlusionTexture, "strength",
                        terms.occlusionStrength);
        writeTextureRef(json, "emissiveTexture", material.emissiveTexture);
        if (material.emissive != std::array<float, 3>{0, 0, 0}) {
            json.numbers("emissiveFactor", material.emissive);
        }
        if (const char* mode = alphaModeName(terms.alphaMode)) {
            json.string("alphaMode", mode);
        }
        if (terms.alphaMode == ovPbrMaterial::AlphaMode::Mask) {
            json.number("alphaCutoff", terms.alphaCutoff);
        }
        if (terms.doubleSided) {
            json.boolean("doubleSided", true);
        }
        json.endObject();
    }
    json.endArray();
}

void writeImages(const Document& document, JsonWriter& json) {
    json.beginArray("samplers");
    for (const auto& [u, v] : document.samplers) {
        json.beginObject();
        json.integer("magFilter", kLinear);
        json.integer("minFilter", kLinearMipmapLinear);
        writeWrap(json, "wrapS", u);
        writeWrap(json, "wrapT", v);
        json.endObject();
    }
    json.endArray();
    json.beginArray("textures");
    for (const Texture& texture : document.textures) {
        json.beginObject();
        json.integer("sampler", texture.sampler);
        json.integer("source", texture.image);
        json.endObject();
    }
    json.endArray();
    json.beginArray("images");
    for (const Image& image : document.images) {
        json.beginObject();
        if (image.bufferView >= 0) {
            json.integer("bufferView", image.bufferView);
            json.string("mimeType", image.mediaType);
        } else {
            json.string("uri", uriPathSegment(image.fileName));
        }
        json.endObject();
    }
    json.endArray();
}

void writeBuffers(const Document& document, const std::string& binaryUri, JsonWriter& json) {
    json.beginArray("buffers");
    json.beginObject();
    json.integer("byteLength", static_cast<int64_t>(document.binaryLength));
    if (!binaryUri.empty()) {
        json.string("uri", binaryUri);
    }
    json.endObject();
    json.endArray();
    json.beginArray("bufferViews");
    for (const BufferView& view : document.bufferViews) {
        json.beginObject();
        json.integer("buffer", 0);
        json.integer("byteOffset", static_cast<int64_t>(view.byteOffset));
        json.integer("byteLength", static_cast<int64_t>(view.byteLength));
        if (view.byteStride > 0) {
            json.integer("byteStride", view.byteStride);
        }
        if (view.target > 0) {
            json.integer("target", view.target);
        }
        json.endObject();
    }
    json.endArray();
    json.beginArray("accessors");
    for (const Accessor& accessor : document.accessors) {
        json.beginObject();
        json.integer("bufferView", accessor.bufferView);
        if (accessor.byteOffset > 0) {
            json.integer("byteOffset", accessor.byteOffset);
        }
        json.integer("componentType", accessor.componentType);
        json.integer("count", accessor.count);
        json.string("type", accessor.type);
        if (accessor.bounds) {
            // Exactly the floats of the data, which readers compare them with.
            const std::array<float, 6>& bounds = *accessor.bounds;
            const std::array<double, 3> min{bounds[0], bounds[1], bounds[2]};
            const std::array<double, 3> max{bounds[3], bounds[4], bounds[5]};
            json.numbers("min", min);
            json.numbers("max", max);
        }
        json.endObject();
    }
    json.endArray();
}

}  // namespace

void writeDocumentJson(const Document& document, const std::string& binaryUri, JsonWriter& json) {
    json.beginObject();
    json.beginObject("asset");
    json.string("generator", "ovMeshDrivers glTF writer");
    json.string("version", "2.0");
    json.endObject();
    json.integer("scene", 0);
    json.beginArray("scenes");
    json.beginObject();
    json.beginArray("nodes");
    json.integer({}, 0);
    json.endArray();
    json.endObject();
    json.endArray();
    writeNodes(document, json);
    if (!document.meshes.empty()) {
        writeMeshes(document, json);
    }
    if (!document.materials.empty()) {
        writeMaterials(document, json);
    }
    if (!document.images.empty()) {
        writeImages(document, json);
    }
    if (document.binaryLength > 0) {
        writeBuffers(document, binaryUri, json);
    }
    json.endObject();
}

}  // namespace ov::gltf
