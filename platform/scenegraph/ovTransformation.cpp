#include "scenegraph/ovTransformation.h"

namespace ov {

namespace {

template <typename Real>
Wm4::Matrix3<Real> scaleMatrix(const Wm4::Vector3<Real>& scale) {
    return {scale[0], Real(0), Real(0), Real(0), scale[1], Real(0), Real(0), Real(0), scale[2]};
}

template <typename Real>
bool isUniform(const Wm4::Vector3<Real>& scale) {
    return scale[0] == scale[1] && scale[1] == scale[2];
}

// Row vector times matrix.
template <typename Real>
Wm4::Vector3<Real> times(const Wm4::Vector3<Real>& v, const Wm4::Matrix3<Real>& m) {
    Wm4::Vector3<Real> result;
    for (size_t c = 0; c < 3; ++c) {
        result[c] = v[0] * m(0, c) + v[1] * m(1, c) + v[2] * m(2, c);
    }
    return result;
}

template <typename Real>
Wm4::Vector3<Real> componentProduct(const Wm4::Vector3<Real>& a, const Wm4::Vector3<Real>& b) {
    return {a[0] * b[0], a[1] * b[1], a[2] * b[2]};
}

}  // namespace

template <typename Real>
void ovGenericTransformation<Real>::SetRotate(const Matrix3& rotate) {
    mRotate = rotate;
}

template <typename Real>
void ovGenericTransformation<Real>::SetScale(const Vector& scale) {
    mScale = scale;
}

template <typename Real>
bool ovGenericTransformation<Real>::IsIdentity() const {
    return mRotate == Matrix3::Identity() && mScale == Vector{Real(1), Real(1), Real(1)} &&
           mTranslate == Vector{};
}

template <typename Real>
void ovGenericTransformation<Real>::GetHomogeneous(Matrix4& homogeneous) const {
    homogeneous = Matrix4::Identity();
    for (size_t r = 0; r < 3; ++r) {
        for (size_t c = 0; c < 3; ++c) {
            homogeneous(r, c) = mScale[r] * mRotate(r, c);
        }
        homogeneous(3, r) = mTranslate[r];
    }
}

template <typename Real>
typename ovGenericTransformation<Real>::Vector ovGenericTransformation<Real>::ApplyForward(
    const Vector& input, bool isPoint) const {
    const Vector linear = times(componentProduct(input, mScale), mRotate);
    return isPoint ? linear + mTranslate : linear;
}

template <typename Real>
ovGenericTransformation<Real> ovGenericTransformation<Real>::Then(
    const ovGenericTransformation& second) const {
    // p -> ((p S1 R1 + T1) S2 R2 + T2). The linear part S1 R1 S2 R2 keeps the
    // scale-then-rotate form when S2 commutes with R1 (uniform S2, or no R1);
    // otherwise it carries a shear, and the whole linear part goes into the
    // rotation slot with a unit scale so that every use of S R stays exact.
    ovGenericTransformation result;
    result.mTranslate = second.ApplyForward(mTranslate, true);
    if (isUniform(second.mScale)) {
        result.mScale = mScale * second.mScale[0];
        result.mRotate = mRotate * second.mRotate;
    } else if (mRotate == Matrix3::Identity()) {
        result.mScale = componentProduct(mScale, second.mScale);
        result.mRotate = second.mRotate;
    } else {
        result.mRotate = scaleMatrix(mScale) * mRotate * scaleMatrix(second.mScale) * second.mRotate;
    }
    return result;
}

template class ovGenericTransformation<float>;
template class ovGenericTransformation<double>;

}  // namespace ov
