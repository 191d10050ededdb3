#pragma once

// The linear part of a placement split into the turn a rigid placement can
// carry and what is left (scale, mirror, shear). Formats whose placements
// are rigid bake the rest into the geometry; the tool's tree shows the same
// split, so that what it calls a scale is what such a file bakes.

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "scenegraph/ovSpatial.h"
#include "wm4/Wm4Foundation.h"

namespace ov {

using Matrix3d = Wm4::Matrix3<double>;

struct RigidSplit {
    // Proper and orthonormal.
    Matrix3d rotation = Matrix3d::Identity();
    // linear = rotation * residual; the identity when rigid.
    Matrix3d residual = Matrix3d::Identity();
    bool rigid = true;
    bool mirrored = false;
};

namespace rigid_detail {

// Columns within this of orthonormal are a turn given in single precision.
constexpr double kRigidTolerance = 1e-6;
constexpr int kMaxPolarSteps = 100;

inline Matrix3d transposed(const Matrix3d& m) {
    Matrix3d t;
    for (size_t r = 0; r < 3; ++r) {
        for (size_t c = 0; c < 3; ++c) {
            t(r, c) = m(c, r);
        }
    }
    return t;
}

// det(m) times the inverse of m's transpose.
inline Matrix3d cofactors(const Matrix3d& m) {
    Matrix3d c;
    for (size_t r = 0; r < 3; ++r) {
        for (size_t k = 0; k < 3; ++k) {
            const size_t r1 = (r + 1) % 3, r2 = (r + 2) % 3, k1 = (k + 1) % 3, k2 = (k + 2) % 3;
            c(r, k) = m(r1, k1) * m(r2, k2) - m(r1, k2) * m(r2, k1);
        }
    }
    return c;
}

inline double largestDifference(const Matrix3d& a, const Matrix3d& b) {
    double largest = 0.0;
    for (size_t i = 0; i < 9; ++i) {
        largest = std::max(largest, std::fabs(a(i / 3, i % 3) - b(i / 3, i % 3)));
    }
    return largest;
}

// The orthogonal factor of the polar decomposition (Newton's iteration,
// scaled by the determinant, which converges in a handful of steps).
inline Matrix3d orthogonalFactor(const Matrix3d& linear) {
    Matrix3d u = linear;
    for (int step = 0; step < kMaxPolarSteps; ++step) {
        const double determinant = u.Determinant();
        const double gamma = std::cbrt(1.0 / std::fabs(determinant));
        const Matrix3d inverseTransposed = cofactors(u);
        Matrix3d next;
        for (size_t i = 0; i < 9; ++i) {
            const size_t r = i / 3, c = i % 3;
            next(r, c) = 0.5 * (gamma * u(r, c) + inverseTransposed(r, c) / (gamma * determinant));
        }
        const bool settled = largestDifference(next, u) <= 1e-15;
        u = next;
        if (settled) {
            break;
        }
    }
    return u;
}

}  // namespace rigid_detail

inline Wm4::Vector3d times(const Matrix3d& m, const Wm4::Vector3d& v) {
    Wm4::Vector3d result;
    for (size_t r = 0; r < 3; ++r) {
        result[r] = m(r, 0) * v[0] + m(r, 1) * v[1] + m(r, 2) * v[2];
    }
    return result;
}

inline Wm4::Vector3d toDouble(const Wm4::Vector3f& v) {
    return {v[0], v[1], v[2]};
}

// The transformation's linear part on column vectors: rotate times scale.
inline Matrix3d linearPart(const ovTransformation& transform) {
    Matrix3d linear;
    for (size_t r = 0; r < 3; ++r) {
        for (size_t c = 0; c < 3; ++c) {
            linear(r, c) = double(transform.GetRotate()(r, c)) * double(transform.GetScale()[c]);
        }
    }
    return linear;
}

inline RigidSplit splitRigid(const Matrix3d& linear) {
    using namespace rigid_detail;
    RigidSplit split;
    const double determinant = linear.Determinant();
    double size = 0.0;
    for (size_t i = 0; i < 9; ++i) {
        size = std::max(size, std::fabs(linear(i / 3, i % 3)));
    }
    split.mirrored = determinant < 0;
    // A flattening map has no turn of its own: all of it is baked.
    if (!(std::fabs(determinant) > 1e-12 * size * size * size) || !std::isfinite(determinant)) {
        split.residual = linear;
        split.rigid = false;
        return split;
    }
    Matrix3d rotation = orthogonalFactor(linear);
    if (split.mirrored) {
        // The mirror is taken along the axis that leaves the smallest turn.
        size_t axis = 0;
        for (size_t a = 1; a < 3; ++a) {
            axis = rotation(a, a) < rotation(axis, axis) ? a : axis;
        }
        for (size_t r = 0; r < 3; ++r) {
            rotation(r, axis) = -rotation(r, axis);
        }
    }
    split.rotation = rotation;
    split.residual = transposed(rotation) * linear;
    split.rigid =
        !split.mirrored && largestDifference(split.residual, Matrix3d::Identity()) <= kRigidTolerance;
    if (split.rigid) {
        // A turn given in single precision stays as given.
        split.rotation = linear;
        split.residual = Matrix3d::Identity();
    }
    return split;
}

}  // namespace ov
