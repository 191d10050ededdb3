#pragma once

// A triangle mesh as faceted boundary representation needs it: points
// welded by position, the triangles that have area over them, grouped in
// connected pieces, each piece closed (a solid's boundary) or open.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "wm4/Wm4Foundation.h"

namespace ov::step {

struct FacetedPiece {
    size_t firstFace = 0;
    size_t faceCount = 0;
    // Every edge joins exactly two faces that run along it in opposite
    // directions; its faces then face outwards.
    bool closed = false;
};

struct FacetedMesh {
    // Only the points some face uses, each position once in each piece.
    std::vector<Wm4::Vector3f> points;
    // Corners as indices into points, piece after piece.
    std::vector<std::array<uint32_t, 3>> faces;
    std::vector<FacetedPiece> pieces;
    size_t trianglesWithoutArea = 0;
};

// The unit normal of a triangle by the right-hand rule, none when its
// corners are (nearly) on one line.
std::optional<Wm4::Vector3d> faceNormal(const Wm4::Vector3d& a, const Wm4::Vector3d& b,
                                        const Wm4::Vector3d& c);
std::optional<Wm4::Vector3d> faceNormal(const Wm4::Vector3f& a, const Wm4::Vector3f& b,
                                        const Wm4::Vector3f& c);

// positions holds the placed vertices; corners(t) the vertex indices of
// triangle t, all within positions.
FacetedMesh buildFacetedMesh(const std::vector<Wm4::Vector3f>& positions, size_t triangleCount,
                             const std::function<std::array<int, 3>(size_t)>& corners);

}  // namespace ov::step
