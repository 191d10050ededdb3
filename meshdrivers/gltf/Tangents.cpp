#include "gltf/Tangents.h"

#include <array>
#include <cmath>
#include <optional>

namespace ov::gltf {
namespace {

using Vector = Wm4::Vector3d;

// Of unit length; null when it has no length or is not finite.
std::optional<Vector> unitOf(const Vector& a) {
    const double length = a.Length();
    if (!std::isfinite(length) || length < 1e-12) {
        return std::nullopt;
    }
    return a * (1.0 / length);
}

Vector toVector(const Wm4::Vector3f& v) {
    return {v.X(), v.Y(), v.Z()};
}

// The normal as the writer mends it: of unit length, or +Z.
Vector writtenNormal(ovVertexBuffer& vertices, int v) {
    return unitOf(toVector(vertices.Normal3(v))).value_or(Vector{0, 0, 1});
}

// Sums per vertex the directions of growing u and v of its triangles.
struct Directions {
    std::vector<Vector> u;
    std::vector<Vector> v;
};

void addTriangle(ovVertexBuffer& vertices, int unit, const int* corner, Directions& sums) {
    const auto uvOf = [&](int k) {
        const float* uv = vertices.TCoord(unit, k);
        return std::array<double, 2>{uv[0], uv[1]};
    };
    const Vector p0 = toVector(vertices.Position3(corner[0]));
    const Vector e1 = toVector(vertices.Position3(corner[1])) - p0;
    const Vector e2 = toVector(vertices.Position3(corner[2])) - p0;
    const auto t0 = uvOf(corner[0]);
    const auto t1 = uvOf(corner[1]);
    const auto t2 = uvOf(corner[2]);
    const double du1 = t1[0] - t0[0];
    const double dv1 = t1[1] - t0[1];
    const double du2 = t2[0] - t0[0];
    const double dv2 = t2[1] - t0[1];
    const double area = du1 * dv2 - du2 * dv1;
    if (!std::isfinite(area) || std::abs(area) < 1e-20) {
        return;
    }
    const Vector u = (e1 * dv2 - e2 * dv1) * (1.0 / area);
    const Vector v = (e2 * du1 - e1 * du2) * (1.0 / area);
    if (!std::isfinite(u.Dot(u)) || !std::isfinite(v.Dot(v))) {
        return;
    }
    for (int i = 0; i < 3; ++i) {
        const auto k = static_cast<size_t>(corner[i]);
        sums.u[k] = sums.u[k] + u;
        sums.v[k] = sums.v[k] + v;
    }
}

// Any direction at right angles to the normal.
Vector perpendicularTo(const Vector& normal) {
    const Vector axis = std::abs(normal.X()) < 0.9 ? Vector{1, 0, 0} : Vector{0, 1, 0};
    return unitOf(axis.Cross(normal)).value_or(Vector{1, 0, 0});
}

}  // namespace

std::vector<float> tangentsOf(ovVertexBuffer& vertices, int unit,
                              const std::vector<ovIndexBuffer*>& triangles) {
    const auto count = static_cast<size_t>(vertices.GetVertexQuantity());
    Directions sums{std::vector<Vector>(count), std::vector<Vector>(count)};
    for (ovIndexBuffer* indices : triangles) {
        const ovDataLoader loaded(indices);
        if (!indices->hasCPUData()) {
            return {};
        }
        const int* corners = indices->getData();
        for (int t = 0; t + 3 <= indices->GetIndexQuantity(); t += 3) {
            addTriangle(vertices, unit, corners + t, sums);
        }
    }
    std::vector<float> tangents;
    tangents.reserve(count * 4);
    for (size_t k = 0; k < count; ++k) {
        const Vector normal = writtenNormal(vertices, static_cast<int>(k));
        // At right angles to the normal, as readers require.
        const std::optional<Vector> tangent = unitOf(sums.u[k] - normal * normal.Dot(sums.u[k]));
        const Vector written = tangent.value_or(perpendicularTo(normal));
        const double handedness = normal.Cross(written).Dot(sums.v[k]) < 0 ? -1.0 : 1.0;
        for (const double value : {written.X(), written.Y(), written.Z(), handedness}) {
            tangents.push_back(static_cast<float>(value));
        }
    }
    return tangents;
}

}  // namespace ov::gltf
