#pragma once

// What the STEP reader's parts share: the entity names it follows, rigid
// placements, and the meshes and colours of representation items.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/PolygonTessellator.h"
#include "scenegraph/ovGeometry.h"
#include "step/BrepMesher.h"
#include "step/StepFile.h"

namespace ov::step {

// The interned numbers of the entity names the reader follows.
struct StepNames {
    explicit StepNames(StepFile& file);

#define OV_STEP_NAMES(X)                                                                 \
    X(productDefinition, "PRODUCT_DEFINITION")                                           \
    X(productDefinitionWithDocuments, "PRODUCT_DEFINITION_WITH_ASSOCIATED_DOCUMENTS")    \
    X(nextAssemblyUsage, "NEXT_ASSEMBLY_USAGE_OCCURRENCE")                               \
    X(productDefinitionShape, "PRODUCT_DEFINITION_SHAPE")                                \
    X(shapeDefinitionRepresentation, "SHAPE_DEFINITION_REPRESENTATION")                  \
    X(contextDependentShape, "CONTEXT_DEPENDENT_SHAPE_REPRESENTATION")                   \
    X(representation, "REPRESENTATION")                                                  \
    X(representationRelationship, "REPRESENTATION_RELATIONSHIP")                         \
    X(relationshipWithTransformation, "REPRESENTATION_RELATIONSHIP_WITH_TRANSFORMATION") \
    X(shapeRepresentationRelationship, "SHAPE_REPRESENTATION_RELATIONSHIP")              \
    X(itemDefinedTransformation, "ITEM_DEFINED_TRANSFORMATION")                          \
    X(axis2Placement3d, "AXIS2_PLACEMENT_3D")                                            \
    X(mappedItem, "MAPPED_ITEM")                                                         \
    X(globalUnitAssignedContext, "GLOBAL_UNIT_ASSIGNED_CONTEXT")                         \
    X(lengthUnit, "LENGTH_UNIT")                                                         \
    X(siUnit, "SI_UNIT")                                                                 \
    X(conversionBasedUnit, "CONVERSION_BASED_UNIT")                                      \
    X(measureWithUnit, "MEASURE_WITH_UNIT")                                              \
    X(lengthMeasureWithUnit, "LENGTH_MEASURE_WITH_UNIT")                                 \
    X(styledItem, "STYLED_ITEM")                                                         \
    X(overRidingStyledItem, "OVER_RIDING_STYLED_ITEM")                                   \
    X(propertyDefinitionRepresentation, "PROPERTY_DEFINITION_REPRESENTATION")            \
    X(propertyDefinition, "PROPERTY_DEFINITION")                                         \
    X(appliedDocumentReference, "APPLIED_DOCUMENT_REFERENCE")                            \
    X(documentFile, "DOCUMENT_FILE")                                                     \
    X(documentProductEquivalence, "DOCUMENT_PRODUCT_EQUIVALENCE")                        \
    X(facetedBrep, "FACETED_BREP")                                                       \
    X(manifoldSolidBrep, "MANIFOLD_SOLID_BREP")                                          \
    X(brepWithVoids, "BREP_WITH_VOIDS")                                                  \
    X(shellBasedSurfaceModel, "SHELL_BASED_SURFACE_MODEL")                               \
    X(faceBasedSurfaceModel, "FACE_BASED_SURFACE_MODEL")                                 \
    X(openShell, "OPEN_SHELL")                                                           \
    X(closedShell, "CLOSED_SHELL")                                                       \
    X(orientedClosedShell, "ORIENTED_CLOSED_SHELL")                                      \
    X(orientedOpenShell, "ORIENTED_OPEN_SHELL")                                          \
    X(connectedFaceSet, "CONNECTED_FACE_SET")                                            \
    X(orientedFace, "ORIENTED_FACE")                                                     \
    X(polyLoop, "POLY_LOOP")                                                             \
    X(triangulatedSurfaceSet, "TRIANGULATED_SURFACE_SET")                                \
    X(complexTriangulatedSurfaceSet, "COMPLEX_TRIANGULATED_SURFACE_SET")                 \
    X(triangulatedFace, "TRIANGULATED_FACE")                                             \
    X(complexTriangulatedFace, "COMPLEX_TRIANGULATED_FACE")                              \
    X(tessellatedShell, "TESSELLATED_SHELL")                                             \
    X(tessellatedSolid, "TESSELLATED_SOLID")

#define OV_STEP_NAME_MEMBER(member, text) uint32_t member;
    OV_STEP_NAMES(OV_STEP_NAME_MEMBER)
#undef OV_STEP_NAME_MEMBER
};

// A rigid placement: the axes as columns of a rotation, then an origin,
// in millimetres; maps a point of the placed frame into its parent.
struct Frame {
    std::array<std::array<double, 3>, 3> axes{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    std::array<double, 3> origin{};

    // This placement after first: first's frame placed in this one.
    Frame after(const Frame& first) const;
    Frame inverse() const;
    bool isIdentity() const;
    ovTransformation toTransformation() const;
    bool operator==(const Frame& other) const = default;
};

// An AXIS2_PLACEMENT_3D as a frame, its location in lengths of millimetresPerUnit.
Frame readPlacement(const StepFile& file, const StepNames& names, uint32_t placement,
                    double millimetresPerUnit);

// A mesh of one representation item, shared by every node that shows it.
struct ReadMesh {
    std::string name;
    ovPointer<ovVertexBuffer> vertices;
    ovPointer<ovIndexBuffer> indices;
    ovPointer<ovMaterialState> material;
    // Where a mapped item puts it in its product.
    Frame placement;
};

// The surface colours of styled items: one material state per colour and
// transparency.
class StyleReader {
public:
    explicit StyleReader(const StepFile& file) : mFile(file) {}
    // A STYLED_ITEM or OVER_RIDING_STYLED_ITEM; the first style of an item holds.
    void addStyledItem(uint32_t styled);
    // The material of the item's surface style, or null.
    ovMaterialState* materialOf(uint32_t item);

private:
    struct Surface {
        std::array<float, 3> colour{0.8f, 0.8f, 0.8f};
        float transparency = 0.0f;
        bool coloured = false;
    };
    void readStyle(uint32_t style, int depth, Surface& surface) const;
    std::array<float, 3> readColour(uint32_t colour) const;

    const StepFile& mFile;
    std::unordered_map<uint32_t, uint32_t> mStyleOfItem;
    std::map<std::array<float, 4>, ovPointer<ovMaterialState>> mMaterials;
};

// Meshes faceted and tessellated representation items; an item of exact
// geometry (a face bounded by edges) is counted and left out.
class MeshReader {
public:
    MeshReader(const StepFile& file, const StepNames& names, StyleReader& styles)
        : mFile(file), mNames(names), mStyles(styles) {}

    // Appends the mesh of the item, whose lengths are in units of
    // millimetresPerUnit; items that hold no surface are passed over. False
    // for an item of exact geometry, which it leaves to a B-rep mesher.
    bool read(uint32_t item, double millimetresPerUnit, std::vector<ReadMesh>& meshes);
    // The meshes of an item of exact geometry from the faces a mesher made,
    // one per colour: a face styled apart from its item keeps its own.
    std::vector<ReadMesh> brepMeshes(uint32_t item, const std::vector<BrepFaceMesh>& faces);

    size_t facesLeftOut() const { return mFacesLeftOut; }

private:
    struct Build;
    // The shells of a B-rep or surface model item, or the item when it is one.
    std::vector<uint32_t> shellsOf(uint32_t item) const;
    bool readFacetedItem(uint32_t item, Build& build);
    bool addShell(uint32_t shell, bool forward, Build& build);
    bool addFace(uint32_t face, bool forward, Build& build);
    void addPolygon(uint32_t loop, bool forward, Build& build);
    int pointVertex(uint32_t point, Build& build);
    void readTessellatedItem(uint32_t item, Build& build);
    void addTessellatedFace(uint32_t face, bool withNormals, Build& build);
    const std::vector<Wm4::Vector3f>& coordinates(uint32_t list, double scale);
    ovMaterialState* materialOf(uint32_t item, const std::vector<uint32_t>& parts);

    const StepFile& mFile;
    const StepNames& mNames;
    StyleReader& mStyles;
    // Every list read so far: items of many faces may share one.
    std::unordered_map<uint32_t, std::vector<Wm4::Vector3f>> mCoordinates;
    PolygonTessellator mTessellator;
    Tessellation mTessellation;
    size_t mFacesLeftOut = 0;
};

}  // namespace ov::step
