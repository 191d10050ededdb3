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

// Matrix times column vector.
template <typename Real>
Wm4::Vector3<Real> times(const Wm4::Matrix3<Real>& m, const Wm4::Vector3<Real>& v) {
    Wm4::Vector3<Real> result;
    for (size_t r = 0; r < 3; ++r) {
        result[r] = m(r, 0) * v[0] + m(r, 1) * v[1] + m(r, 2) * v[2];
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
    mIsIdentity = false;
}

template <typename Real>
void ovGenericTransformation<Real>::SetTranslate(const Vector& translate) {
    mTranslate = translate;
    mIsIdentity = false;
}

template <typename Real>
void ovGenericTransformation<Real>::SetScale(const Vector& scale) {
    mScale = scale;
    mIsIdentity = false;
}

template <typename Real>
void ovGenericTransformation<Real>::GetHomogeneous(Matrix4& homogeneous) const {
    homogeneous = Matrix4::Identity();
    for (size_t r = 0; r < 3; ++r) {
        for (size_t c = 0; c < 3; ++c) {
            homogeneous(r, c) = mRotate(c, r) * mScale[r];
        }
        homogeneous(3, r) = mTranslate[r];
    }
}

template <typename Real>
typename ovGenericTransformation<Real>::Vector ovGenericTransformation<Real>::ApplyForward(
    const Vector& input, bool isPoint) const {
    const Vector linear = times(mRotate, componentProduct(mScale, input));
    return isPoint ? linear + mTranslate : linear;
}

template <typename Real>
ovGenericTransformation<Real> ovGenericTransformation<Real>::Then(
    const ovGenericTransformation& second) const {
    if (second.mIsIdentity) {
        return *this;
    }
    if (mIsIdentity) {
        return second;
    }
    // p -> R2 S2 (R1 S1 p + T1) + T2. The linear part R2 S2 R1 S1 keeps the
    // rotate-after-scale form when S2 commutes with R1 (uniform S2, or no R1);
    // otherwise it carries a shear, and the whole linear part goes into the
    // rotation slot with a unit scale so that every use of R S stays exact.
    ovGenericTransformation result;
    result.mIsIdentity = false;
    result.mTranslate = second.ApplyForward(mTranslate, true);
    if (isUniform(second.mScale)) {
        result.mScale = mScale * second.mScale[0];
        result.mRotate = second.mRotate * mRotate;
    } else if (mRotate == Matrix3::Identity()) {
        result.mScale = componentProduct(mScale, second.mScale);
        result.mRotate = second.mRotate;
    } else {
        result.mRotate = second.mRotate * scaleMatrix(second.mScale) * mRotate * scaleMatrix(mScale);
    }
    return result;
}

template class ovGenericTransformation<float>;
template class ovGenericTransformation<double>;

}  // namespace ov
