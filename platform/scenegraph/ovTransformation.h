#pragma once

#include "wm4/Wm4Foundation.h"

namespace ov {

// Scale, rotation and translation of a spatial, on column vectors as Wild Magic
// has them: p' = R * (S p) + T. The homogeneous form is the row-vector one: the
// transpose of R S in the upper block, the translation in row 3.
//
// IsIdentity is a flag, not a comparison of values: any Set call clears it and
// only MakeIdentity sets it again, so a caller that sets an identity placement
// on purpose still gets a placement of its own.
template <typename Real>
class ovGenericTransformation {
public:
    using Vector = Wm4::Vector3<Real>;
    using Matrix3 = Wm4::Matrix3<Real>;
    using Matrix4 = Wm4::Matrix4<Real>;

    ovGenericTransformation() = default;

    void SetRotate(const Matrix3& rotate);
    const Matrix3& GetRotate() const { return mRotate; }
    void SetTranslate(const Vector& translate);
    const Vector& GetTranslate() const { return mTranslate; }
    void SetScale(const Vector& scale);
    const Vector& GetScale() const { return mScale; }

    bool IsIdentity() const { return mIsIdentity; }
    void MakeIdentity() { *this = ovGenericTransformation(); }
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
    bool mIsIdentity = true;
};

extern template class ovGenericTransformation<float>;
extern template class ovGenericTransformation<double>;

}  // namespace ov
