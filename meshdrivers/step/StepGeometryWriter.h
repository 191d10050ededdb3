#pragma once

// The meshes of the scene as geometry of the products that hold them.

#include <array>
#include <map>
#include <tuple>
#include <vector>

#include "core/RigidSplit.h"
#include "express/ExpressSchema.h"
#include "scenegraph/ovGeometry.h"
#include "step/StepExport.h"
#include "step/StepMeshDriver.h"
#include "step/StepRecordStream.h"

namespace ov::step {

struct MeshPlacement;
class MeshData;

// The geometric items of meshes, each styled with its mesh's material: a
// faceted solid per closed piece, a surface model of a mesh's open pieces,
// a tessellated surface set per mesh.
struct GeometryItems {
    std::vector<Part21WriterUserData> solids;
    std::vector<Part21WriterUserData> surfaces;
    std::vector<Part21WriterUserData> tessellated;

    void append(const GeometryItems& more);
};

class GeometryWriter {
public:
    // form is Faceted or Tessellated.
    GeometryWriter(StepExportContext& context, StepGeometry form);

    // Whether the schema lays out the records formatted here as they are
    // formatted; logs the first that differs.
    static bool schemaMatches(const express::ExpressSchema& schema, StepGeometry form);

    // Adds the items of a child geometry of a node to the node's, writing
    // them once per distinct buffers, material and placement (its local
    // placement taken through the node's residual, baked into its points).
    // Polylines and empty meshes are left out with a warning. False, logged,
    // for data that cannot be written.
    bool addGeometryOf(const ovBaseGeometry& geometry, const Matrix3d& residual, GeometryItems& nodeItems);

    // The representations of a node's items, one per kind of item, named
    // after the node (readers name the shape after its representation), each
    // tied to the node's shape representation. A failure shows in the
    // writer's error flag.
    void writeNodeGeometry(const GeometryItems& nodeItems, const std::string& nodeName,
                           const Part21WriterUserData& nodeRepresentation);

private:
    using MeshKey = std::tuple<const ovVertexBuffer*, const ovIndexBuffer*, const ovMaterialState*,
                               std::array<double, 12>>;

    // The mesh's items (none when nothing was written).
    bool writeMeshItems(const ovTriMesh& mesh, const MeshPlacement& placement, GeometryItems& items);
    // The items of each form, written with the mesh's name.
    bool writeFacetedItems(const MeshData& data, GeometryItems& items);
    bool writeTessellatedItem(const MeshData& data, Part21WriterUserData& item);
    // A representation of items in the geometric context, formatted here
    // because the schema redeclares its items.
    Part21WriterUserData writeRepresentation(const char* upperName, const std::string& name,
                                             const std::vector<Part21WriterUserData>& items);
    void writeStyle(const ovMaterialState& material, const Part21WriterUserData& item);
    Part21WriterUserData presentationStyle(const ovMaterialState& material);
    bool cancelled() const;

    StepExportContext& mContext;
    StepGeometry mForm;
    StepRecordStream mStream;
    std::map<MeshKey, GeometryItems> mMeshItems;
    std::map<const ovMaterialState*, Part21WriterUserData> mStyles;
};

}  // namespace ov::step
