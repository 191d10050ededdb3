#include "step/FacetedMesh.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

namespace ov::step {

namespace {

std::array<float, 3> coordinates(const Wm4::Vector3f& p) {
    return {p[0], p[1], p[2]};
}

// Each vertex's representative: the first vertex at its position.
std::vector<uint32_t> weldByPosition(const std::vector<Wm4::Vector3f>& positions) {
    std::vector<uint32_t> order(positions.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&positions](uint32_t a, uint32_t b) {
        const auto p = coordinates(positions[a]), q = coordinates(positions[b]);
        return p != q ? p < q : a < b;
    });
    std::vector<uint32_t> representative(positions.size());
    for (size_t i = 0; i < order.size(); ++i) {
        const bool same = i > 0 && coordinates(positions[order[i]]) == coordinates(positions[order[i - 1]]);
        representative[order[i]] = same ? representative[order[i - 1]] : order[i];
    }
    return representative;
}

// Faces joined across their edges, as a forest whose roots name the pieces.
class Pieces {
public:
    explicit Pieces(size_t faces) : mParent(faces) { std::iota(mParent.begin(), mParent.end(), 0u); }

    uint32_t root(uint32_t face) {
        while (mParent[face] != face) {
            mParent[face] = mParent[mParent[face]];
            face = mParent[face];
        }
        return face;
    }
    void join(uint32_t a, uint32_t b) { mParent[root(a)] = root(b); }

private:
    std::vector<uint32_t> mParent;
};

// One side of a face: its lower and higher point, whether it runs downwards.
struct FaceEdge {
    uint64_t key;
    uint32_t face;
};

// Faces are joined across an edge that exactly two of them run along in
// opposite directions, where the surface is a 2-manifold that keeps its
// orientation; any other edge is a border, and its faces' pieces are open.
std::vector<char> joinAcrossEdges(const std::vector<std::array<uint32_t, 3>>& faces, Pieces& pieces) {
    std::vector<FaceEdge> edges;
    edges.reserve(3 * faces.size());
    for (uint32_t f = 0; f < faces.size(); ++f) {
        for (size_t k = 0; k < 3; ++k) {
            const uint32_t a = faces[f][k], b = faces[f][(k + 1) % 3];
            edges.push_back(
                {uint64_t(std::min(a, b)) << 32 | uint64_t(std::max(a, b)) << 1 | (a > b ? 1 : 0), f});
        }
    }
    std::sort(edges.begin(), edges.end(), [](const FaceEdge& x, const FaceEdge& y) {
        return x.key != y.key ? x.key < y.key : x.face < y.face;
    });
    std::vector<uint32_t> borderFaces;
    for (size_t first = 0, next = 0; first < edges.size(); first = next) {
        while (next < edges.size() && edges[next].key >> 1 == edges[first].key >> 1) {
            ++next;
        }
        if (next - first == 2 && edges[first].key != edges[first + 1].key) {
            pieces.join(edges[first].face, edges[first + 1].face);
        } else {
            for (size_t e = first; e < next; ++e) {
                borderFaces.push_back(edges[e].face);
            }
        }
    }
    std::vector<char> open(faces.size(), 0);
    for (uint32_t face : borderFaces) {
        open[pieces.root(face)] = 1;
    }
    return open;
}

// In double precision, where differences of floats are exact.
Wm4::Vector3d difference(const Wm4::Vector3f& p, const Wm4::Vector3f& q) {
    return {double(p[0]) - q[0], double(p[1]) - q[1], double(p[2]) - q[2]};
}

// A closed piece whose faces enclose a negative volume faces inwards: its
// faces are turned round. One that encloses none (a sheet seen from both
// sides) is no solid.
void orientClosedPieces(const std::vector<Wm4::Vector3f>& positions,
                        std::vector<std::array<uint32_t, 3>>& faces, Pieces& pieces,
                        std::vector<char>& open) {
    std::vector<double> volume(faces.size(), 0.0), size(faces.size(), 0.0);
    for (uint32_t f = 0; f < faces.size(); ++f) {
        const uint32_t root = pieces.root(f);
        if (!open[root]) {
            const Wm4::Vector3f& origin = positions[faces[root][0]];
            const auto relative = [&](size_t k) { return difference(positions[faces[f][k]], origin); };
            const double sixfold = relative(0).Dot(relative(1).Cross(relative(2)));
            volume[root] += sixfold;
            size[root] += std::fabs(sixfold);
        }
    }
    for (uint32_t f = 0; f < faces.size(); ++f) {
        const uint32_t root = pieces.root(f);
        if (!open[root] && !(std::fabs(volume[root]) > 1e-9 * size[root])) {
            open[root] = 1;
        }
        if (!open[root] && volume[root] < 0) {
            std::swap(faces[f][1], faces[f][2]);
        }
    }
}

}  // namespace

std::optional<Wm4::Vector3d> faceNormal(const Wm4::Vector3f& a, const Wm4::Vector3f& b,
                                        const Wm4::Vector3f& c) {
    const auto exact = [](const Wm4::Vector3f& p) { return Wm4::Vector3d(p[0], p[1], p[2]); };
    return faceNormal(exact(a), exact(b), exact(c));
}

std::optional<Wm4::Vector3d> faceNormal(const Wm4::Vector3d& a, const Wm4::Vector3d& b,
                                        const Wm4::Vector3d& c) {
    const Wm4::Vector3d u = b - a;
    const Wm4::Vector3d v = c - a;
    const Wm4::Vector3d n = u.Cross(v);
    const double length = n.Length();
    if (!(length > 1e-12 * u.Length() * v.Length())) {
        return std::nullopt;
    }
    return n * (1.0 / length);
}

FacetedMesh buildFacetedMesh(const std::vector<Wm4::Vector3f>& positions, size_t triangleCount,
                             const std::function<std::array<int, 3>(size_t)>& corners) {
    FacetedMesh mesh;
    const std::vector<uint32_t> representative = weldByPosition(positions);
    std::vector<std::array<uint32_t, 3>> faces;
    for (size_t t = 0; t < triangleCount; ++t) {
        const std::array<int, 3> corner = corners(t);
        const std::array<uint32_t, 3> face{representative[static_cast<size_t>(corner[0])],
                                           representative[static_cast<size_t>(corner[1])],
                                           representative[static_cast<size_t>(corner[2])]};
        if (faceNormal(positions[face[0]], positions[face[1]], positions[face[2]])) {
            faces.push_back(face);
        } else {
            ++mesh.trianglesWithoutArea;
        }
    }
    Pieces pieces(faces.size());
    std::vector<char> open = joinAcrossEdges(faces, pieces);
    orientClosedPieces(positions, faces, pieces, open);

    // Pieces in the order of their first face, points in the order of their first vertex.
    std::vector<int64_t> pieceOf(faces.size(), -1);
    for (uint32_t f = 0; f < faces.size(); ++f) {
        int64_t& piece = pieceOf[pieces.root(f)];
        if (piece < 0) {
            piece = static_cast<int64_t>(mesh.pieces.size());
            mesh.pieces.push_back({0, 0, !open[pieces.root(f)]});
        }
        ++mesh.pieces[static_cast<size_t>(piece)].faceCount;
    }
    for (size_t p = 1; p < mesh.pieces.size(); ++p) {
        mesh.pieces[p].firstFace = mesh.pieces[p - 1].firstFace + mesh.pieces[p - 1].faceCount;
    }
    constexpr uint32_t kUnused = UINT32_MAX;
    std::vector<uint32_t> pointIndex(positions.size(), kUnused);
    for (const auto& face : faces) {
        for (uint32_t point : face) {
            pointIndex[point] = 0;
        }
    }
    for (size_t v = 0; v < positions.size(); ++v) {
        if (pointIndex[v] != kUnused) {
            pointIndex[v] = static_cast<uint32_t>(mesh.points.size());
            mesh.points.push_back(positions[v]);
        }
    }
    // Each piece is a shell with points of its own: a reader joins shells that
    // share a point by widening the point's tolerance to their edges. A point
    // is the first piece's to use it; any other piece gets a copy, after all
    // the points.
    std::vector<uint32_t> owner(positions.size(), kUnused);
    std::map<std::pair<uint32_t, size_t>, uint32_t> copies;
    const auto pointOf = [&](uint32_t vertex, size_t piece) {
        if (owner[vertex] == kUnused || owner[vertex] == piece) {
            owner[vertex] = static_cast<uint32_t>(piece);
            return pointIndex[vertex];
        }
        const auto [copy, added] =
            copies.try_emplace({vertex, piece}, static_cast<uint32_t>(mesh.points.size()));
        if (added) {
            mesh.points.push_back(positions[vertex]);
        }
        return copy->second;
    };
    mesh.faces.resize(faces.size());
    std::vector<size_t> filled(mesh.pieces.size(), 0);
    for (uint32_t f = 0; f < faces.size(); ++f) {
        const auto piece = static_cast<size_t>(pieceOf[pieces.root(f)]);
        std::array<uint32_t, 3>& placed = mesh.faces[mesh.pieces[piece].firstFace + filled[piece]++];
        for (size_t k = 0; k < 3; ++k) {
            placed[k] = pointOf(faces[f][k], piece);
        }
    }
    return mesh;
}

}  // namespace ov::step
