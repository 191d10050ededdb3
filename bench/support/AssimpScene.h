#pragma once

#include <cstddef>

#include <assimp/scene.h>

#include "scenegraph/ovGeometry.h"
#include "wm4/Wm4Foundation.h"

// Pieces of an aiScene made from our scene, for the benchmarks that hand the same
// meshes to assimp's exporters.

// The mesh's triangles as assimp faces.
void copyTriangles(const ov::ovTriMesh& source, aiMesh& target);

// A child of parent that places mesh meshIndex by a homogeneous matrix of ours (row vectors,
// translation in row 3; assimp's act on column vectors).
aiNode* placedMeshNode(aiNode* parent, const Wm4::Matrix4f& placement, size_t meshIndex);
