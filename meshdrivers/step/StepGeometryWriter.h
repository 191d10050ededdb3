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

class GeometryWriter {
public:
    // form is Faceted or Tessellated.
    GeometryWriter(StepExportContext& context, StepGeometry form);

    // Whether the schema lays out the records formatted here as they are
    // formatted; logs the first that differs.
    static bool schemaMatches(const express::ExpressSchema& schema, StepGeometry form);

    // Writes the representation of a child geometry of a node, once per
    // distinct buffers, material and placement (its local placement taken
    // through the node's residual, baked into its points), and ties it to
    // the node's shape representation. Polylines and empty meshes are left
    // out with a warning. False, logged, for data that cannot be written.
    bool writeGeometryOf(const ovBaseGeometry& geometry, const Part21WriterUserData& nodeRepresentation,
                         const Matrix3d& residual);

private:
    using MeshKey = std::tuple<const ovVertexBuffer*, const ovIndexBuffer*, const ovMaterialState*,
                               std::array<double, 12>>;

    // A faceted mesh's items: a solid per closed piece, one surface model of the open ones.
    struct FacetedItems {
        std::vector<Part21WriterUserData> solids;
        std::vector<Part21WriterUserData> surfaces;
    };

    // The mesh's representations (none when nothing was written).
    bool writeMeshRepresentations(const ovTriMesh& mesh, const MeshPlacement& placement,
                                  std::vector<Part21WriterUserData>& representations);
    // The items of each form, written with the mesh's name.
    bool writeFacetedItems(const MeshData& data, FacetedItems& items);
    bool writeTessellatedItem(const MeshData& data, Part21WriterUserData& item);
    // A representation of one item in the geometric context, formatted here
    // because the schema redeclares its items.
    Part21WriterUserData writeRepresentation(const char* upperName, const std::string& name,
                                             const Part21WriterUserData& item);
    void writeStyle(const ovMaterialState& material, const Part21WriterUserData& item);
    Part21WriterUserData presentationStyle(const ovMaterialState& material);
    bool cancelled() const;

    StepExportContext& mContext;
    StepGeometry mForm;
    StepRecordStream mStream;
    std::map<MeshKey, std::vector<Part21WriterUserData>> mRepresentations;
    std::map<const ovMaterialState*, Part21WriterUserData> mStyles;
};

}  // namespace ov::step
