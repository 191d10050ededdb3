#pragma once

#include <assimp/scene.h>

#include <string>

namespace ov::assimpimport {

// Sets the primitive types each mesh of the scene states from its faces. A
// reader may state other types than its faces have (PLY's does for faces of
// fewer than three corners, and states none for faces without corners),
// and assimp's triangulation then ends the process on an assertion.
// ReadError naming source for a face without corners, which assimp's
// validation lets pass.
void statePrimitiveTypesFromFaces(aiScene& scene, const std::string& source);

}  // namespace ov::assimpimport
