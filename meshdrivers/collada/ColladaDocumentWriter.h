#pragma once

// One COLLADA save: the document's stream, the image files it writes and the
// ids it has given out. A save makes its own, so nothing of one save is left
// on the driver for the next, and saves on different drivers never share.

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

class DocumentWriter {
public:
    DocumentWriter(XmlStreamWriter& writer, ImageFiles& images) : mWriter(writer), mImages(images) {}

    // The whole document for the subtree under root, up to the flush of the
    // stream; false when a part failed or the user cancelled.
    bool writeDocument(ovSpatial& root, ovProgressNotifierInterface* progress);

private:
    using MeshList = std::vector<ovTriMesh*>;
    using ColourList = std::vector<ovTexture::TexType>;
    // Texture -> sampler id, in the effect being written.
    using SamplerIds = std::map<const ovTexture*, std::string>;

    bool writeHeader(double worldUnits);
    bool writeMaterials(const MeshList& meshes, ovProgressNotifierInterface* progress);
    bool writeEffect(const ovMaterialObject& key, const std::string& materialId);
    bool writeGeometries(const MeshList& meshes, ovProgressNotifierInterface* progress);
    bool writeGeometry(ovTriMesh* mesh, int index);
    bool writeGeometryContent(const ovTriMesh& mesh, const std::string& geometryId);
    bool writeFloatArray(const std::string& id, int componentCount,
                         ovColladaMeshDriver::ColladaFloatArrayType type, const char* data, uint64_t count,
                         uint64_t stride);
    void writeTriangles(const ovIndexBuffer& indices, const std::string& materialId,
                        const std::string& verticesId);
    bool writeScene(ovSpatial* root, std::string& sceneId, ovProgressNotifierInterface* progress);
    bool writeSpatial(ovSpatial* spatial, int& nodeCounter, ovProgressNotifierInterface* progress);
    void writeInstanceGeometry(ovTriMesh& mesh);
    bool writeTexture(ovTextureState* textures, const std::string& materialId);
    bool writeTextureParam(ovTextureState* textures, const std::string& materialId, ColourList& colours,
                           SamplerIds& samplers);
    bool writeTextureChannel(ovTextureState* textures, const SamplerIds& samplers);
    bool writeMaterialColor(ovMaterialState* material, ovTexture::TexType type);

    // The material id of a mesh, or "" when its material has none.
    std::string materialIdOf(ovTriMesh& mesh) const;
    void openWithId(const char* element, const std::string& id);
    void writeTextElement(const char* element, const std::string& text);

    XmlStreamWriter& mWriter;
    ImageFiles& mImages;
    // Image -> image id.
    std::map<const void*, std::string> objectIds;
    std::map<std::pair<const ovVertexBuffer*, const ovIndexBuffer*>, std::string> geometryIds;
    std::map<ovMaterialObject, std::string> materialIds;
};

}  // namespace collada
}  // namespace ov
