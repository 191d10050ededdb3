#pragma once

#include "core/ovMeshDriversExport.h"
#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovSpatial.h"

namespace ov {

// Which leaves a copy of a scene keeps.
enum class SceneContent {
    Lines,              // nodes and polylines
    LinesAndMeshEdges,  // nodes, polylines, and the outline of every mesh as a polyline
    Everything,         // nodes, polylines and meshes
};

// Faces that meet at a smaller angle than this lie on one surface.
constexpr double kDefaultCreaseDegrees = 20.0;

// A new tree of the scene's nodes (same kinds, names, placements and
// metadata) with the leaves that content keeps. Buffers and material states
// are shared with the original, which stays untouched and can be saved again.
// A root that is not a node becomes the only child of a new root node. Mesh
// edges are drawn where the faces fold by more than creaseDegrees.
OVMESHDRIVERS_API ovPointer<ovNode> copyScene(const ovSpatial& root, SceneContent content,
                                              double creaseDegrees = kDefaultCreaseDegrees);

// The feature edges of a mesh as a polyline sharing its vertex buffer: the
// edges that bound it (one face), that more than two faces share, or whose
// two faces fold by more than creaseDegrees. Corners at the same position
// are one corner, so that faces with vertices of their own (for their
// normals) still meet. Null when the mesh has no usable triangles.
OVMESHDRIVERS_API ovPointer<ovLine> meshOutline(const ovTriMesh& mesh, const Wm4::ColorRGBA& color,
                                                float width, double creaseDegrees = kDefaultCreaseDegrees);

}  // namespace ov
