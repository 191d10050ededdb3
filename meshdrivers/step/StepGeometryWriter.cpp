// Meshes as faceted surface models (a planar face per triangle over shared
// points, which every reader of boundary representations opens) or as
// tessellated surface sets (one list of coordinates, triangles by index),
// each tied to the shape representation of the node that holds it, and
// coloured from its material state.
//
// The bulk records are formatted here rather than laid out from the schema
// record by record; schemaMatches checks once per save that the schema lays
// them out the same way.
#include "step/StepGeometryWriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "step/FacetedMesh.h"
#include "system/ovLog.h"

namespace ov::step {

namespace {

// Progress is asked about cancellation once per this many triangles.
constexpr int kTrianglesPerProgressCheck = 1 << 16;

struct FormattedLayout {
    const char* entity;
    std::initializer_list<const char*> attributes;
};

const FormattedLayout kFacetedLayouts[] = {
    {"cartesian_point", {"name", "coordinates"}},
    {"direction", {"name", "direction_ratios"}},
    {"axis2_placement_3d", {"name", "location", "axis", "ref_direction"}},
    {"plane", {"name", "position"}},
    {"poly_loop", {"name", "polygon"}},
    {"face_outer_bound", {"name", "bound", "orientation"}},
    {"face_surface", {"name", "bounds", "face_geometry", "same_sense"}},
    {"open_shell", {"name", "cfs_faces"}},
    {"closed_shell", {"name", "cfs_faces"}},
};

// Representations whose items are redeclared, which the writer's layout
// from the schema would put last.
const FormattedLayout kRepresentationLayouts[] = {
    {"tessellated_shape_representation", {"name", "items", "context_of_items"}},
    {"mechanical_design_geometric_presentation_representation", {"name", "items", "context_of_items"}},
};

const FormattedLayout kTessellatedLayouts[] = {
    {"coordinates_list", {"name", "npoints", "position_coords"}},
    {"triangulated_surface_set", {"name", "coordinates", "pnmax", "normals", "pnindex", "triangles"}},
};

bool layoutMatches(const express::ExpressSchema& schema, const FormattedLayout& layout) {
    std::map<std::string, std::vector<express::Attribute>> lists;
    if (!schema.getAttributeList({layout.entity}, lists) || lists.size() != 1) {
        return false;
    }
    // An attribute inherited along two paths (the name of a face surface)
    // is one value of the record, and a redeclared one keeps the place of
    // the attribute it redeclares.
    std::vector<std::string> names;
    for (const express::Attribute& attribute : lists.begin()->second) {
        if (std::find(names.begin(), names.end(), attribute.name) == names.end()) {
            names.push_back(attribute.name);
        }
    }
    return std::equal(names.begin(), names.end(), layout.attributes.begin(), layout.attributes.end());
}

ovLogObject errorLine() {
    return ovLogObject(ovLogError, nullptr, ovLog::msInstance, nullptr, true);
}

ovLogObject warningLine() {
    return ovLogObject(ovLogWarning, nullptr, ovLog::msInstance, nullptr, true);
}

// "'m' of node 'n'", for log lines.
std::string describe(const ovSpatial& geometry) {
    const ovNode* parent = geometry.getParent();
    return "'" + geometry.GetName() + "' of node '" + (parent ? parent->GetName() : std::string()) + "'";
}

bool isFinite(const Wm4::Vector3f& v) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

}  // namespace

// Where a mesh's vertices go: its local placement taken through the
// residual of its node, in double precision.
struct MeshPlacement {
    Matrix3d linear = Matrix3d::Identity();
    Wm4::Vector3d translation;

    MeshPlacement(const ovTriMesh& mesh, const Matrix3d& residual) {
        const ovTransformation& local = mesh.getLocalTransform();
        if (!local.IsIdentity()) {
            linear = residual * linearPart(local);
            translation = times(residual, toDouble(local.GetTranslate()));
        } else {
            linear = residual;
        }
    }

    std::array<double, 12> key() const {
        std::array<double, 12> values{};
        for (size_t i = 0; i < 9; ++i) {
            values[i] = linear(i / 3, i % 3);
        }
        for (size_t i = 0; i < 3; ++i) {
            values[9 + i] = translation[i];
        }
        return values;
    }
};

// A mesh's buffers, present for the time it is written, with its positions
// and normals placed, positions in the file's length unit. A placement that
// mirrors turns the triangles round, so that they keep facing outwards.
class MeshData {
public:
    MeshData(const ovTriMesh& mesh, double lengthScale, const MeshPlacement& placement)
        : mMesh(mesh),
          mPlacement(placement),
          mNormals(rigid_detail::cofactors(placement.linear)),
          mLengthScale(lengthScale),
          mMirrored(placement.linear.Determinant() < 0),
          mVertices(*mesh.getVertexBuffer()),
          mIndices(*mesh.getIndexBuffer()),
          mVertexLoader(mesh.getVertexBuffer()),
          mIndexLoader(mesh.getIndexBuffer()) {}

    int vertexCount() const { return std::max(mVertices.GetVertexQuantity(), 0); }
    int triangleCount() const { return std::max(mIndices.GetIndexQuantity(), 0) / 3; }
    std::array<int, 3> triangle(int t) const {
        const int* corner = mIndices.getData() + 3 * static_cast<size_t>(t);
        return mMirrored ? std::array<int, 3>{corner[0], corner[2], corner[1]}
                         : std::array<int, 3>{corner[0], corner[1], corner[2]};
    }
    bool hasNormals() const { return mVertices.GetAttributes().HasNormal(); }
    const ovTriMesh& mesh() const { return mMesh; }

    Wm4::Vector3f position(int i) const {
        const Wm4::Vector3d p =
            times(mPlacement.linear, read(mVertices.GetAttributes().GetPositionOffsetByte(), i)) +
            mPlacement.translation;
        return {static_cast<float>(p[0] * mLengthScale), static_cast<float>(p[1] * mLengthScale),
                static_cast<float>(p[2] * mLengthScale)};
    }
    // Normals go through the inverse transpose, here its multiple by the determinant.
    Wm4::Vector3f normal(int i) const {
        const Wm4::Vector3d n = times(mNormals, read(mVertices.GetAttributes().GetNormalOffsetByte(), i)) *
                                (mMirrored ? -1.0 : 1.0);
        const double length = n.Length();
        const Wm4::Vector3d unit = length > 0.0 ? n * (1.0 / length) : n;
        return {static_cast<float>(unit[0]), static_cast<float>(unit[1]), static_cast<float>(unit[2])};
    }

    // Logs and answers false when the data is absent, an index leaves the
    // vertices or a number is not finite.
    bool check() const {
        if (!mVertices.hasCPUData() || !mIndices.hasCPUData()) {
            errorLine() << "Step driver : the data of mesh " << describe(mMesh) << " could not be loaded";
            return false;
        }
        const int* indices = mIndices.getData();
        const int count = vertexCount();
        const size_t used = 3 * static_cast<size_t>(triangleCount());
        if (std::any_of(indices, indices + used,
                        [count](int index) { return index < 0 || index >= count; })) {
            errorLine() << "Step driver : mesh " << describe(mMesh) << " has a vertex index out of its "
                        << count << " vertices";
            return false;
        }
        for (int i = 0; i < count; ++i) {
            if (!isFinite(position(i)) || (hasNormals() && !isFinite(normal(i)))) {
                errorLine() << "Step driver : mesh " << describe(mMesh) << " has a vertex " << i
                            << " that is not finite";
                return false;
            }
        }
        return true;
    }

private:
    Wm4::Vector3d read(int offsetByte, int i) const {
        const size_t stride = static_cast<size_t>(mVertices.GetAttributes().GetChannelQuantityByte());
        float xyz[3];
        std::memcpy(
            xyz, mVertices.getDataByte() + static_cast<size_t>(offsetByte) + stride * static_cast<size_t>(i),
            sizeof xyz);
        return {xyz[0], xyz[1], xyz[2]};
    }

    const ovTriMesh& mMesh;
    const MeshPlacement& mPlacement;
    Matrix3d mNormals;
    double mLengthScale;
    bool mMirrored;
    const ovVertexBuffer& mVertices;
    const ovIndexBuffer& mIndices;
    ovDataLoader mVertexLoader;
    ovDataLoader mIndexLoader;
};

namespace {

// A colour component as the decimal its single-precision value was given
// as, which writes short, and within the range a colour allows.
double colourComponent(float value) {
    if (!std::isfinite(value)) {
        return 0.0;
    }
    std::string text;
    appendReal(text, std::clamp(value, 0.0f, 1.0f));
    return std::stod(text);
}

}  // namespace

GeometryWriter::GeometryWriter(StepExportContext& context, StepGeometry form)
    : mContext(context), mForm(form), mStream(context.writer) {}

bool GeometryWriter::schemaMatches(const express::ExpressSchema& schema, StepGeometry form) {
    const auto check = [&schema](const auto& layouts) {
        for (const FormattedLayout& layout : layouts) {
            if (!layoutMatches(schema, layout)) {
                errorLine() << "Step driver : the schema does not declare " << layout.entity
                            << " as the geometry is written";
                return false;
            }
        }
        return true;
    };
    return check(kRepresentationLayouts) &&
           (form == StepGeometry::Tessellated ? check(kTessellatedLayouts) : check(kFacetedLayouts));
}

bool GeometryWriter::cancelled() const {
    return mContext.progress != nullptr && mContext.progress->isCanceled();
}

void GeometryItems::append(const GeometryItems& more) {
    solids.insert(solids.end(), more.solids.begin(), more.solids.end());
    surfaces.insert(surfaces.end(), more.surfaces.begin(), more.surfaces.end());
    tessellated.insert(tessellated.end(), more.tessellated.begin(), more.tessellated.end());
}

bool GeometryWriter::addGeometryOf(const ovBaseGeometry& geometry, const Matrix3d& residual,
                                   GeometryItems& nodeItems) {
    if (!geometry.IsDerived(ovTriMesh::TYPE)) {
        warningLine() << "Step driver : polylines are not written, polyline " << describe(geometry)
                      << " is left out";
        return true;
    }
    const auto& mesh = static_cast<const ovTriMesh&>(geometry);
    const MeshPlacement placement(mesh, residual);
    const MeshKey key{mesh.getVertexBuffer(), mesh.getIndexBuffer(), mesh.getMaterialState(),
                      placement.key()};
    auto [entry, added] = mMeshItems.try_emplace(key);
    if (added && !writeMeshItems(mesh, placement, entry->second)) {
        return false;
    }
    nodeItems.append(entry->second);
    return !mContext.writer.isWriteError();
}

void GeometryWriter::writeNodeGeometry(const GeometryItems& nodeItems, const std::string& nodeName,
                                       const Part21WriterUserData& nodeRepresentation) {
    const auto tie = [&](const Part21WriterUserData& representation) {
        writeNewEntity(mContext, {"shape_representation_relationship"},
                       stepAttributes("name", text(""), "rep_1", nodeRepresentation.toVariant(), "rep_2",
                                      representation.toVariant()));
    };
    const auto represent = [&](const char* entity, const std::vector<Part21WriterUserData>& items) {
        if (items.empty()) {
            return;
        }
        ovVariantListImpl list;
        for (const Part21WriterUserData& item : items) {
            list.push_back(item.toVariant());
        }
        tie(writeNewEntity(mContext, {entity},
                           stepAttributes("name", text(nodeName), "items", ovVariant(list),
                                          "context_of_items", mContext.geometricContext.toVariant())));
    };
    represent("faceted_brep_shape_representation", nodeItems.solids);
    represent("shape_representation", nodeItems.surfaces);
    if (!nodeItems.tessellated.empty()) {
        tie(writeRepresentation("TESSELLATED_SHAPE_REPRESENTATION", nodeName, nodeItems.tessellated));
    }
}

bool GeometryWriter::writeMeshItems(const ovTriMesh& mesh, const MeshPlacement& placement,
                                    GeometryItems& items) {
    if (mesh.getVertexBuffer() == nullptr || mesh.getIndexBuffer() == nullptr ||
        mesh.getIndexBuffer()->GetIndexQuantity() < 3) {
        warningLine() << "Step driver : mesh " << describe(mesh) << " has no triangles and is left out";
        return true;
    }
    const MeshData data(mesh, mContext.lengthScale, placement);
    if (!data.check()) {
        return false;
    }
    if (mForm == StepGeometry::Tessellated) {
        if (!writeTessellatedItem(data, items.tessellated.emplace_back())) {
            return false;
        }
    } else if (!writeFacetedItems(data, items)) {
        return false;
    }
    if (mesh.getMaterialState() != nullptr) {
        for (const auto* kind : {&items.solids, &items.surfaces, &items.tessellated}) {
            for (const Part21WriterUserData& item : *kind) {
                writeStyle(*mesh.getMaterialState(), item);
            }
        }
    }
    return !mContext.writer.isWriteError();
}

Part21WriterUserData GeometryWriter::writeRepresentation(const char* upperName, const std::string& name,
                                                         const std::vector<Part21WriterUserData>& items) {
    const uint64_t id = mStream.beginRecord(upperName);
    mStream.appendString(name);
    mStream.appendText(",(");
    for (size_t i = 0; i < items.size(); ++i) {
        mStream.appendText(i == 0 ? "" : ",");
        mStream.appendReference(items[i].getRef());
    }
    mStream.appendText("),");
    mStream.appendReference(mContext.geometricContext.getRef());
    mStream.endRecord();
    mStream.flush();
    return Part21WriterUserData(id);
}

bool GeometryWriter::writeFacetedItems(const MeshData& data, GeometryItems& items) {
    const ovTriMesh& mesh = data.mesh();
    std::vector<Wm4::Vector3f> positions(static_cast<size_t>(data.vertexCount()));
    for (size_t i = 0; i < positions.size(); ++i) {
        positions[i] = data.position(static_cast<int>(i));
    }
    const FacetedMesh faceted =
        buildFacetedMesh(positions, static_cast<size_t>(data.triangleCount()),
                         [&data](size_t t) { return data.triangle(static_cast<int>(t)); });
    positions = {};
    if (faceted.trianglesWithoutArea > 0) {
        warningLine() << "Step driver : " << faceted.trianglesWithoutArea << " of the "
                      << data.triangleCount() << " triangles of mesh " << describe(mesh)
                      << " have no area and are left out";
    }
    if (faceted.faces.empty()) {
        return true;
    }
    // Readers take a point as the double its text reads as: the planes go
    // through those, or they would miss their points by the text's rounding.
    std::vector<Wm4::Vector3d> readPoints(faceted.points.size());
    uint64_t firstPoint = 0;
    for (size_t i = 0; i < faceted.points.size(); ++i) {
        const Wm4::Vector3f& p = faceted.points[i];
        readPoints[i] = {readBack(p[0]), readBack(p[1]), readBack(p[2])};
        const uint64_t point = mStream.beginRecord("CARTESIAN_POINT");
        firstPoint = i == 0 ? point : firstPoint;
        mStream.appendText("'',");
        mStream.appendTriple(faceted.points[i]);
        mStream.endRecord();
    }
    // Six records a face, in this order: its face record comes sixth.
    uint64_t firstFace = 0;
    for (size_t f = 0; f < faceted.faces.size(); ++f) {
        if (f % kTrianglesPerProgressCheck == 0 && (cancelled() || mStream.failed())) {
            return false;
        }
        const std::array<uint32_t, 3>& corner = faceted.faces[f];
        const std::optional<Wm4::Vector3d> read =
            faceNormal(readPoints[corner[0]], readPoints[corner[1]], readPoints[corner[2]]);
        const Wm4::Vector3d normal = read ? *read
                                          : *faceNormal(faceted.points[corner[0]], faceted.points[corner[1]],
                                                        faceted.points[corner[2]]);
        const uint64_t direction = mStream.beginRecord("DIRECTION");
        firstFace = f == 0 ? direction + 5 : firstFace;
        mStream.appendText("'',");
        mStream.appendTriple(normal);
        mStream.endRecord();
        const uint64_t axes = mStream.beginRecord("AXIS2_PLACEMENT_3D");
        mStream.appendText("'',");
        mStream.appendReference(firstPoint + corner[0]);
        mStream.appendChar(',');
        mStream.appendReference(direction);
        mStream.appendText(",$");
        mStream.endRecord();
        const uint64_t plane = mStream.beginRecord("PLANE");
        mStream.appendText("'',");
        mStream.appendReference(axes);
        mStream.endRecord();
        const uint64_t loop = mStream.beginRecord("POLY_LOOP");
        mStream.appendText("'',(");
        for (size_t k = 0; k < 3; ++k) {
            mStream.appendText(k == 0 ? "" : ",");
            mStream.appendReference(firstPoint + corner[k]);
        }
        mStream.appendText(")");
        mStream.endRecord();
        const uint64_t bound = mStream.beginRecord("FACE_OUTER_BOUND");
        mStream.appendText("'',");
        mStream.appendReference(loop);
        mStream.appendText(",.T.");
        mStream.endRecord();
        mStream.beginRecord("FACE_SURFACE");
        mStream.appendText("'',(");
        mStream.appendReference(bound);
        mStream.appendText("),");
        mStream.appendReference(plane);
        mStream.appendText(",.T.");
        mStream.endRecord();
    }
    // A closed piece bounds a solid; the open ones make one surface model.
    std::vector<uint64_t> closedShells;
    ovVariantListImpl openShells;
    for (const FacetedPiece& piece : faceted.pieces) {
        const uint64_t shell = mStream.beginRecord(piece.closed ? "CLOSED_SHELL" : "OPEN_SHELL");
        mStream.appendText("'',(");
        for (size_t f = piece.firstFace; f < piece.firstFace + piece.faceCount; ++f) {
            mStream.appendText(f == piece.firstFace ? "" : ",");
            mStream.appendReference(firstFace + 6 * static_cast<uint64_t>(f));
        }
        mStream.appendText(")");
        mStream.endRecord();
        if (piece.closed) {
            closedShells.push_back(shell);
        } else {
            openShells.push_back(Part21WriterUserData(shell).toVariant());
        }
    }
    if (!mStream.flush()) {
        return false;
    }
    const ovVariant name = text(mesh.GetName());
    for (const uint64_t shell : closedShells) {
        items.solids.push_back(
            writeNewEntity(mContext, {"faceted_brep"},
                           stepAttributes("name", name, "outer", Part21WriterUserData(shell).toVariant())));
    }
    if (!openShells.empty()) {
        items.surfaces.push_back(
            writeNewEntity(mContext, {"shell_based_surface_model"},
                           stepAttributes("name", name, "sbsm_boundary", ovVariant(openShells))));
    }
    return true;
}

bool GeometryWriter::writeTessellatedItem(const MeshData& data, Part21WriterUserData& item) {
    const int count = data.vertexCount();
    const uint64_t coordinates = mStream.beginRecord("COORDINATES_LIST");
    mStream.appendText("'',");
    mStream.appendInteger(static_cast<uint64_t>(count));
    mStream.appendText(",(");
    for (int i = 0; i < count; ++i) {
        mStream.appendText(i == 0 ? "" : ",");
        mStream.appendTriple(data.position(i));
    }
    mStream.appendText(")");
    mStream.endRecord();
    // The normals, one a point, are the mesh's own when it has them.
    item = Part21WriterUserData(mStream.beginRecord("TRIANGULATED_SURFACE_SET"));
    mStream.appendText("'',");
    mStream.appendReference(coordinates);
    mStream.appendChar(',');
    mStream.appendInteger(static_cast<uint64_t>(count));
    mStream.appendText(",(");
    for (int i = 0; data.hasNormals() && i < count; ++i) {
        mStream.appendText(i == 0 ? "" : ",");
        mStream.appendTriple(data.normal(i));
    }
    mStream.appendText("),(),(");
    for (int t = 0; t < data.triangleCount(); ++t) {
        if (t % kTrianglesPerProgressCheck == 0 && (cancelled() || mStream.failed())) {
            return false;
        }
        const std::array<int, 3> corner = data.triangle(t);
        for (int k = 0; k < 3; ++k) {
            mStream.appendText(k == 0 ? (t == 0 ? "(" : ",(") : ",");
            mStream.appendInteger(static_cast<uint64_t>(corner[k]) + 1);
        }
        mStream.appendChar(')');
    }
    mStream.appendText(")");
    mStream.endRecord();
    return mStream.flush();
}

void GeometryWriter::writeStyle(const ovMaterialState& material, const Part21WriterUserData& item) {
    const Part21WriterUserData style = presentationStyle(material);
    const Part21WriterUserData styled = writeNewEntity(
        mContext, {"styled_item"},
        stepAttributes("name", text("color"), "styles", listOf(style), "item", item.toVariant()));
    writeRepresentation("MECHANICAL_DESIGN_GEOMETRIC_PRESENTATION_REPRESENTATION", "", {styled});
}

// The surface colour of a material (its diffuse colour, transparent where
// its opacity is below 1), written once per material.
Part21WriterUserData GeometryWriter::presentationStyle(const ovMaterialState& material) {
    auto [entry, added] = mStyles.try_emplace(&material);
    if (!added) {
        return entry->second;
    }
    const Part21WriterUserData colour = writeNewEntity(
        mContext, {"colour_rgb"},
        stepAttributes("name", text(""), "red", colourComponent(material.diffuse.R()), "green",
                       colourComponent(material.diffuse.G()), "blue", colourComponent(material.diffuse.B())));
    const Part21WriterUserData fillColour =
        writeNewEntity(mContext, {"fill_area_style_colour"},
                       stepAttributes("name", text(""), "fill_colour", colour.toVariant()));
    const Part21WriterUserData fill = writeNewEntity(
        mContext, {"fill_area_style"}, stepAttributes("name", text(""), "fill_styles", listOf(fillColour)));
    ovVariantListImpl sideStyles;
    sideStyles.push_back(
        writeNewEntity(mContext, {"surface_style_fill_area"}, stepAttributes("fill_area", fill.toVariant()))
            .toVariant());
    if (material.alpha < 1.0f) {
        const Part21WriterUserData transparency =
            writeNewEntity(mContext, {"surface_style_transparent"},
                           stepAttributes("transparency", colourComponent(1.0f - material.alpha)));
        sideStyles.push_back(
            writeNewEntity(mContext, {"surface_style_rendering_with_properties"},
                           stepAttributes("rendering_method", enumeration("NORMAL_SHADING"), "surface_colour",
                                          colour.toVariant(), "properties", listOf(transparency)))
                .toVariant());
    }
    const Part21WriterUserData side = writeNewEntity(
        mContext, {"surface_side_style"}, stepAttributes("name", text(""), "styles", ovVariant(sideStyles)));
    const Part21WriterUserData usage =
        writeNewEntity(mContext, {"surface_style_usage"},
                       stepAttributes("side", enumeration("BOTH"), "style", side.toVariant()));
    entry->second =
        writeNewEntity(mContext, {"presentation_style_assignment"}, stepAttributes("styles", listOf(usage)));
    return entry->second;
}

}  // namespace ov::step
