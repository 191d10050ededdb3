#pragma once

// Vectors, matrices and colours of the scene graph's interface. Matrices are
// row-major and points are row vectors multiplied from the left (p' = p * M),
// so a homogeneous matrix carries its translation in row 3.

#include <array>
#include <cmath>
#include <cstddef>

namespace Wm4 {

template <typename Real>
class Vector3 {
public:
    constexpr Vector3() = default;
    constexpr Vector3(Real x, Real y, Real z) : mTuple{x, y, z} {}

    constexpr Real X() const { return mTuple[0]; }
    constexpr Real Y() const { return mTuple[1]; }
    constexpr Real Z() const { return mTuple[2]; }
    constexpr Real& operator[](size_t i) { return mTuple[i]; }
    constexpr Real operator[](size_t i) const { return mTuple[i]; }

    constexpr Vector3 operator+(const Vector3& v) const { return {X() + v.X(), Y() + v.Y(), Z() + v.Z()}; }
    constexpr Vector3 operator-(const Vector3& v) const { return {X() - v.X(), Y() - v.Y(), Z() - v.Z()}; }
    constexpr Vector3 operator*(Real s) const { return {X() * s, Y() * s, Z() * s}; }
    constexpr bool operator==(const Vector3& v) const = default;

    constexpr Real Dot(const Vector3& v) const { return X() * v.X() + Y() * v.Y() + Z() * v.Z(); }
    constexpr Vector3 Cross(const Vector3& v) const {
        return {Y() * v.Z() - Z() * v.Y(), Z() * v.X() - X() * v.Z(), X() * v.Y() - Y() * v.X()};
    }
    Real Length() const { return std::sqrt(Dot(*this)); }

private:
    std::array<Real, 3> mTuple{};
};

template <typename Real>
class Matrix3 {
public:
    // Zero matrix, or identity when asked.
    constexpr explicit Matrix3(bool identity = false) {
        if (identity) {
            mEntry[0] = mEntry[4] = mEntry[8] = Real(1);
        }
    }
    constexpr Matrix3(Real m00, Real m01, Real m02, Real m10, Real m11, Real m12, Real m20, Real m21,
                      Real m22)
        : mEntry{m00, m01, m02, m10, m11, m12, m20, m21, m22} {}

    constexpr Real& operator()(size_t row, size_t column) { return mEntry[row * 3 + column]; }
    constexpr Real operator()(size_t row, size_t column) const { return mEntry[row * 3 + column]; }
    constexpr bool operator==(const Matrix3& m) const = default;

    constexpr Matrix3 operator*(const Matrix3& m) const {
        Matrix3 product;
        for (size_t r = 0; r < 3; ++r) {
            for (size_t c = 0; c < 3; ++c) {
                product(r, c) = (*this)(r, 0) * m(0, c) + (*this)(r, 1) * m(1, c) + (*this)(r, 2) * m(2, c);
            }
        }
        return product;
    }
    constexpr Real Determinant() const {
        const Matrix3& m = *this;
        return m(0, 0) * (m(1, 1) * m(2, 2) - m(1, 2) * m(2, 1)) -
               m(0, 1) * (m(1, 0) * m(2, 2) - m(1, 2) * m(2, 0)) +
               m(0, 2) * (m(1, 0) * m(2, 1) - m(1, 1) * m(2, 0));
    }

    static constexpr Matrix3 Identity() { return Matrix3(true); }

private:
    std::array<Real, 9> mEntry{};
};

template <typename Real>
class Matrix4 {
public:
    constexpr explicit Matrix4(bool identity = false) {
        if (identity) {
            mEntry[0] = mEntry[5] = mEntry[10] = mEntry[15] = Real(1);
        }
    }

    constexpr Real& operator()(size_t row, size_t column) { return mEntry[row * 4 + column]; }
    constexpr Real operator()(size_t row, size_t column) const { return mEntry[row * 4 + column]; }
    constexpr const Real* data() const { return mEntry.data(); }
    constexpr bool operator==(const Matrix4& m) const = default;

    constexpr Matrix4 operator*(const Matrix4& m) const {
        Matrix4 product;
        for (size_t r = 0; r < 4; ++r) {
            for (size_t c = 0; c < 4; ++c) {
                Real sum = Real(0);
                for (size_t k = 0; k < 4; ++k) {
                    sum += (*this)(r, k) * m(k, c);
                }
                product(r, c) = sum;
            }
        }
        return product;
    }

    static constexpr Matrix4 Identity() { return Matrix4(true); }

private:
    std::array<Real, 16> mEntry{};
};

class ColorRGBA {
public:
    constexpr ColorRGBA() = default;
    constexpr ColorRGBA(float r, float g, float b, float a) : mTuple{r, g, b, a} {}

    constexpr float R() const { return mTuple[0]; }
    constexpr float G() const { return mTuple[1]; }
    constexpr float B() const { return mTuple[2]; }
    constexpr float A() const { return mTuple[3]; }
    constexpr float& operator[](size_t i) { return mTuple[i]; }
    constexpr float operator[](size_t i) const { return mTuple[i]; }
    constexpr bool operator==(const ColorRGBA& c) const = default;

    static constexpr ColorRGBA Black() { return {0.0f, 0.0f, 0.0f, 1.0f}; }
    static constexpr ColorRGBA White() { return {1.0f, 1.0f, 1.0f, 1.0f}; }

private:
    std::array<float, 4> mTuple{};
};

using Vector3f = Vector3<float>;
using Vector3d = Vector3<double>;
using Matrix3f = Matrix3<float>;
using Matrix4f = Matrix4<float>;

}  // namespace Wm4
