#pragma once

// What one glTF save writes, gathered from the scene before a byte is
// written: nodes, meshes, materials, images, and the layout of the binary
// data, which the scene's buffers then fill piece by piece.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "scenegraph/ovGeometry.h"

namespace ov::gltf {

enum class UpAxis { Y, Z };

// Where a texture's coordinates come from: the vertex buffer's unit, written
// as the TEXCOORD set of that number.
struct TextureRef {
    int texture = -1;
    int texCoord = 0;
};

struct Material {
    std::string name;
    std::array<float, 4> baseColor{1, 1, 1, 1};
    std::array<float, 3> emissive{0, 0, 0};
    // Metallic, roughness, alpha mode, sides and map strengths.
    ovPbrMaterial terms;
    TextureRef baseColorTexture;
    TextureRef metallicRoughnessTexture;
    TextureRef normalTexture;
    TextureRef occlusionTexture;
    TextureRef emissiveTexture;
};

// Encoded as PNG, upside down unless the document's images are from the top
// (see Document::imagesFromTop), or the image file it was read from.
struct Texture {
    int image = -1;
    int sampler = 0;
};

struct Image {
    const ovImage* image = nullptr;
    // The name of the file beside a .gltf document; empty in a .glb.
    std::string fileName;
    // The file read, stored as it came; null for an image encoded as PNG.
    const std::string* sourceFile = nullptr;
    std::string mediaType = "image/png";
    // The PNG bytes held inside a .glb.
    std::string png;
    int bufferView = -1;

    std::string_view bytes() const {
        return sourceFile ? std::string_view(*sourceFile) : std::string_view(png);
    }
};

// glTF's component types and buffer targets.
constexpr int kFloat = 5126;
constexpr int kUnsignedInt = 5125;
constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;
constexpr int kTriangles = 4;
constexpr int kLines = 1;

struct Accessor {
    int bufferView;
    uint32_t byteOffset;
    int componentType;
    int64_t count;
    const char* type;                            // SCALAR, VEC2, VEC3, VEC4
    std::optional<std::array<float, 6>> bounds;  // min x y z, max x y z
};

struct BufferView {
    uint64_t byteOffset = 0;
    uint64_t byteLength = 0;
    int byteStride = 0;  // 0: none
    int target = 0;      // 0: none
};

// One vertex buffer as written: its own bytes, with values a reader refuses
// mended (see VertexPatch.h).
struct VertexSource {
    ovVertexBuffer* buffer = nullptr;
    int bufferView = -1;
    int position = -1;
    int normal = -1;
    int color = -1;
    // The units written as TEXCOORD sets, and their accessors.
    std::vector<int> texCoordUnits;
    std::vector<int> texCoordAccessors;
    // Per piece of the data, whether it needs mending (see VertexPatch.h).
    std::vector<bool> unsoundPieces;
    // Tangents for a normal map (see Tangents.h): the texture-coordinate
    // unit they follow (-1: none are written) and the triangles they are
    // summed over; once laid out, their values, view and accessor.
    int tangentUnit = -1;
    std::vector<ovIndexBuffer*> tangentTriangles;
    std::vector<float> tangents;
    int tangentView = -1;
    int tangent = -1;
};

// The indices of an index buffer that whole triangles (segments) use.
struct IndexSource {
    ovIndexBuffer* buffer;
    int64_t count;
    int bufferView = -1;
    int accessor = -1;
};

struct Mesh {
    std::string name;
    int mode;
    int vertices;  // VertexSource
    int indices;   // IndexSource
    int material = -1;
};

struct Node {
    std::string name;
    std::optional<std::array<float, 16>> matrix;  // column by column
    int mesh = -1;
    std::vector<int> children;
    // The file an external reference names.
    std::optional<std::string> file;
};

struct Document {
    std::vector<Node> nodes;  // nodes[0] is the root that turns units and axes
    std::vector<Mesh> meshes;
    std::vector<Material> materials;
    std::vector<Texture> textures;
    // How each sampler wraps along u and v; the first repeats both ways.
    std::vector<std::pair<ovTexture::Wrap, ovTexture::Wrap>> samplers{
        {ovTexture::Wrap::Repeat, ovTexture::Wrap::Repeat}};
    std::vector<Image> images;
    std::vector<VertexSource> vertexSources;
    std::vector<IndexSource> indexSources;
    std::vector<Accessor> accessors;
    std::vector<BufferView> bufferViews;
    uint64_t binaryLength = 0;
    // With an image stored as the file it was read from, which cannot be
    // turned: every image is then written from its top row, as glTF has them,
    // and the texture coordinates as 1 - v (see VertexPatch.h).
    bool imagesFromTop = false;
};

}  // namespace ov::gltf
