#pragma once

#include "wm4/Wm4Foundation.h"

namespace ov {

// Rotation, scale and translation of a spatial, applied to row vectors in that
// order: p' = (p * S) * R + T. The homogeneous form is row-major with the
// translation in row 3.
template <typename Real>
class ovGenericTransformation {
public:
    using Vector = Wm4::Vector3<Real>;
    using Matrix3 = Wm4::Matrix3<Real>;
    using Matrix4 = Wm4::Matrix4<Real>;

    ovGenericTransformation() = default;

    void SetRotate(const Matrix3& rotate);
    const Matrix3& GetRotate() const { return mRotate; }
    void SetTranslate(const Vector& translate) { mTranslate = translate; }
    const Vector& GetTranslate() const { return mTranslate; }
    void SetScale(const Vector& scale);
    const Vector& GetScale() const { return mScale; }

    bool IsIdentity() const;
    void GetHomogeneous(Matrix4& homogeneous) const;
    // A point (isPoint true) takes the translation, a direction does not.
    Vector ApplyForward(const Vector& input, bool isPoint) const;
    // The transformation that applies this one first, then `second`.
    ovGenericTransformation Then(const ovGenericTransformation& second) const;

    bool operator==(const ovGenericTransformation& other) const = default;

private:
    Matrix3 mRotate = Matrix3::Identity();
    Vector mScale{Real(1), Real(1), Real(1)};
    Vector mTranslate{};
};

extern template class ovGenericTransformation<float>;
extern template class ovGenericTransformation<double>;

}  // namespace ov
