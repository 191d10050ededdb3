#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/ovMeshDriversExport.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "scenegraph/ovGeometry.h"

namespace ov {

class XmlStreamWriter;

// Saves one scene, given by its root spatial, as a COLLADA 1.4.1 document:
// asset, images (each also written as a PNG file beside the document),
// effects, materials, one geometry per distinct vertex/index buffer pair and a
// visual scene that mirrors the node tree. Saves to a path only.
//
// A failed or cancelled save returns false and removes the document; PNG
// files it wrote before failing stay. Two saves on one driver must not
// overlap: the id maps live on the driver.
class OVMESHDRIVERS_API ovColladaMeshDriver : public ovCoreMeshDriver {
public:
    // Parameter names of an accessor: X Y Z, S T P or R G B.
    enum ColladaFloatArrayType : int { XYZ = 0, STP = 1, RGB = 2 };

    ovColladaMeshDriver();
    ~ovColladaMeshDriver() override;

    bool saveMeshes(const ovObjectList& objects, const std::string& path,
                    ovProgressNotifierInterface* progress, const SaveMeshOptions& options) override;

    // Every "#", blank and ":" becomes "_"; nothing else changes.
    static void buildCorrectId(std::string& id);

private:
    using MeshList = std::vector<ovTriMesh*>;
    using ColourList = std::vector<ovTexture::TexType>;

    bool writeHeader(double worldUnits);
    bool writeMaterials(const MeshList& meshes, const std::string& outputFolder,
                        ovProgressNotifierInterface* progress);
    bool writeEffect(const ovMaterialObject& key, const std::string& materialId);
    bool writeGeometries(const MeshList& meshes, ovProgressNotifierInterface* progress);
    bool writeGeometry(ovTriMesh* mesh, int index);
    bool writeGeometryContent(const ovTriMesh& mesh, const std::string& geometryId);
    bool writeFloatArray(const std::string& id, int componentCount, ColladaFloatArrayType type,
                         const char* data, uint64_t count, uint64_t stride);
    void writeTriangles(const ovIndexBuffer& indices, const std::string& materialId,
                        const std::string& verticesId);
    bool writeScene(ovSpatial* root, std::string& sceneId, ovProgressNotifierInterface* progress);
    bool writeSpatial(ovSpatial* spatial, int& nodeCounter, ovProgressNotifierInterface* progress);
    void writeInstanceGeometry(ovTriMesh& mesh);
    bool writeTexture(ovTextureState* textures, const std::string& materialId,
                      const std::string& outputFolder);
    bool writeTextureParam(ovTextureState* textures, const std::string& materialId, ColourList& colours);
    bool writeTextureChannel(ovTextureState* textures);
    bool writeMaterialColor(ovMaterialState* material, ovTexture::TexType type);

    // The material id of a mesh, or "" when its material has none.
    std::string materialIdOf(ovTriMesh& mesh) const;
    void openWithId(const char* element, const std::string& id);
    void writeTextElement(const char* element, const std::string& text);

    XmlStreamWriter* mWriter = nullptr;
    // Image -> image id, texture -> sampler id.
    std::map<const void*, std::string> objectIds;
    std::map<std::pair<const ovVertexBuffer*, const ovIndexBuffer*>, std::string> geometryIds;
    std::map<ovMaterialObject, std::string> materialIds;
};

}  // namespace ov
