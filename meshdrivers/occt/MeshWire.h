#pragma once

// How the child process that meshes with Open CASCADE sends its meshes, or
// why it could not make them, back to the reader.

#include <cstdint>
#include <string>
#include <string_view>

#include "step/BrepMesher.h"

namespace ov::occt {

// The bytes of the meshes.
std::string encodeMeshes(const step::BrepMeshes& meshes);
// The bytes of a failure, whose reason is told.
std::string encodeFailure(const std::string& reason);

// The meshes the bytes hold. ReadError naming source with the reason of a
// failure, and for bytes that break off or do not add up (a corner number
// beyond its face's corners, a coordinate that is not a number).
step::BrepMeshes decodeMeshes(std::string_view bytes, const std::string& source);

}  // namespace ov::occt
