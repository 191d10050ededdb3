#pragma once

// One COLLADA save: the document's stream, the image files it writes and the
// ids it has given out. A save makes its own, so nothing of one save is left
// on the driver for the next, and saves on different drivers never share.

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "collada/ovColladaMeshDriver.h"
#include "scenegraph/ovGeometry.h"

namespace ov {

class ImageFiles;
class XmlStreamWriter;

namespace collada {

// The options' significant digits, held within what a float has.
inline int significantDigits(const ColladaSaveSettings& options) {
    return std::clamp(options.significantDigits, 1, 9);
}

class DocumentWriter {
public:
    DocumentWriter(XmlStreamWriter& writer, ImageFiles& images, const ColladaSaveSettings& options)
        : mWriter(writer), mImages(images), mOptions(options) {}

    // The whole document for the subtree under root, up to the flush of the
    // stream; false when a part failed or the user cancelled.
    bool writeDocument(ovSpatial& root, ovProgressNotifierInterface* progress);

private:
    // Triangle meshes, and polylines when the options write them.
    using MeshList = std::vector<ovBaseGeometry*>;
    using ColourList = std::vector<ovTexture::TexType>;
    // Texture -> sampler id, in the effect being written.
    using SamplerIds = std::map<const ovTexture*, std::string>;

    bool writeHeader(double worldUnits);
    bool writeMaterials(const MeshList& meshes, ovProgressNotifierInterface* progress);
    bool writeEffect(const ovMaterialObject& key, const std::string& materialId);
    void writeDoubleSided(const ovMaterialState& material);
    static SamplerIds::const_iterator alphaMapOf(const ovMaterialObject& key, const SamplerIds& samplers);
    void writeTextureOf(const ovTexture& texture, const std::string& samplerId);
    bool writeOrderedChannels(const ovMaterialObject& key, const ColourList& colours,
                              const SamplerIds& samplers, bool phong);
    // The channel of type from its first map with a sampler; false when it has none.
    bool writeMappedChannel(ovTexture::TexType type, const ovTextureState* textures,
                            const SamplerIds& samplers);
    void countUnusedMaps(const ovTextureState* textures);
    void writeTextureElement(const char* channel, const ovTexture& texture, const std::string& samplerId);
    void writeFloatElement(const char* element, float value);
    void logUnusedMaps() const;
    bool writeGeometries(const MeshList& meshes, ovProgressNotifierInterface* progress);
    bool writeGeometry(ovBaseGeometry* mesh, int index);
    bool writeGeometryContent(const ovBaseGeometry& mesh, const std::string& geometryId);
    bool writeFloatArray(const std::string& id, int componentCount,
                         ovColladaMeshDriver::ColladaFloatArrayType type, const char* data, uint64_t count,
                         uint64_t stride);
    void writePrimitives(const ovBaseGeometry& mesh, const std::string& materialId,
                         const std::string& verticesId);
    bool writeScene(ovSpatial* root, std::string& sceneId, ovProgressNotifierInterface* progress);
    bool writeSpatial(ovSpatial* spatial, int& nodeCounter, ovProgressNotifierInterface* progress);
    void writeInstanceGeometry(ovBaseGeometry& mesh);
    // Whether the spatial is written as a geometry and an instance of it.
    bool isWrittenGeometry(const ovSpatial& spatial) const;
    bool writeTexture(ovTextureState* textures, const std::string& materialId);
    bool writeTextureParam(ovTextureState* textures, const std::string& materialId, ColourList& colours,
                           SamplerIds& samplers);
    bool writeTextureChannel(ovTextureState* textures, const SamplerIds& samplers);
    bool writeMaterialColor(ovMaterialState* material, ovTexture::TexType type);

    // The material id of a mesh, or "" when its material has none.
    std::string materialIdOf(ovBaseGeometry& mesh) const;
    // The channel element of a texture's type in the effect, or null.
    const char* channelOf(ovTexture::TexType type) const;
    void openWithId(const char* element, const std::string& id);
    void writeTextElement(const char* element, const std::string& text);
    void writeWrap(const char* element, ovTexture::Wrap wrap);

    XmlStreamWriter& mWriter;
    ImageFiles& mImages;
    const ColladaSaveSettings& mOptions;
    // Textures of each kind that no channel uses, for one warning a kind.
    std::map<ovTexture::TexType, int> mUnusedMaps;
    // Geometries whose vertex colours were left out.
    int mUncolouredGeometries = 0;
    // Image -> image id.
    std::map<const void*, std::string> objectIds;
    std::map<std::pair<const ovVertexBuffer*, const ovIndexBuffer*>, std::string> geometryIds;
    std::map<ovMaterialObject, std::string> materialIds;
};

}  // namespace collada
}  // namespace ov
