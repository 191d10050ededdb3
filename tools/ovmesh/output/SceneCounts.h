#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "scenegraph/ovSpatial.h"

namespace ov::ovmesh {

// What a spatial holds itself: a mesh its vertices, triangles and material, a
// polyline its vertices and segments.
struct GeometryCounts {
    int64_t vertices = 0;
    int64_t triangles = 0;
    int64_t segments = 0;
    int64_t materials = 0;
};

GeometryCounts countsOf(const ovSpatial& spatial);

// The whole tree's counts; a material shared by several meshes counts once.
GeometryCounts totalsOf(const ovSpatial& root);

// Why output, the scene a file of extension is saved from (for drawings, the
// drawing made of input), holds nothing that format shows: for STL no
// triangles, for the other geometry formats no triangles and no segments, for
// drawings no segments. Empty when it holds some, and for assembly formats,
// whose structure is their content. The reason tells what input holds
// instead: parts that refer to other files (and whether those were found,
// relative paths in inputFolder),
// polylines an STL file cannot hold, meshes a drawing leaves out (by
// meshEdgeDegrees, its angle of feature edges), naming the input by its
// format (an extension).
std::optional<std::string> emptyOutputReason(const ovSpatial& input, const std::filesystem::path& inputFolder,
                                             const ovSpatial& output, const std::string& extension,
                                             const std::string& inputFormat,
                                             std::optional<double> meshEdgeDegrees);

}  // namespace ov::ovmesh
