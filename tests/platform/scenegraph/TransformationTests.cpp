#include <gtest/gtest.h>

#include "scenegraph/ovTransformation.h"

namespace ov {
namespace {

using Transform = ovGenericTransformation<double>;
using Vec = Wm4::Vector3d;
using Mat3 = Wm4::Matrix3<double>;
using Mat4 = Wm4::Matrix4<double>;

// Turns the x axis into the y axis, for row vectors (p' = p * R).
const Mat3 kQuarterTurnZ(0, 1, 0, -1, 0, 0, 0, 0, 1);

void expectNear(const Vec& actual, const Vec& expected) {
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(actual[i], expected[i], 1e-12) << "component " << i;
    }
}

Vec rowTimes(const Vec& p, const Mat4& m) {
    Vec result;
    for (size_t c = 0; c < 3; ++c) {
        result[c] = p[0] * m(0, c) + p[1] * m(1, c) + p[2] * m(2, c) + m(3, c);
    }
    return result;
}

Transform scaledTurnedMoved() {
    Transform t;
    t.SetScale({2, 3, 4});
    t.SetRotate(kQuarterTurnZ);
    t.SetTranslate({10, 20, 30});
    return t;
}

TEST(TransformationTest, DefaultIsIdentityAndAnyChangeIsNot) {
    EXPECT_TRUE(Transform().IsIdentity());
    Transform moved;
    moved.SetTranslate({0, 0, 1});
    EXPECT_FALSE(moved.IsIdentity());
    Transform scaled;
    scaled.SetScale({1, 1, 2});
    EXPECT_FALSE(scaled.IsIdentity());
    Transform turned;
    turned.SetRotate(kQuarterTurnZ);
    EXPECT_FALSE(turned.IsIdentity());
}

TEST(TransformationTest, ScaleThenRotateThenTranslate) {
    const Transform t = scaledTurnedMoved();
    // (1,1,1) * S = (2,3,4); * R = (-3,2,4); + T = (7,22,34).
    expectNear(t.ApplyForward({1, 1, 1}, true), {7, 22, 34});
    expectNear(t.ApplyForward({1, 1, 1}, false), {-3, 2, 4});
}

TEST(TransformationTest, HomogeneousIsRowMajorWithTranslationInRowThree) {
    Mat4 h;
    scaledTurnedMoved().GetHomogeneous(h);
    const double expected[4][4] = {{0, 2, 0, 0}, {-3, 0, 0, 0}, {0, 0, 4, 0}, {10, 20, 30, 1}};
    for (size_t r = 0; r < 4; ++r) {
        for (size_t c = 0; c < 4; ++c) {
            EXPECT_EQ(h(r, c), expected[r][c]) << "row " << r << " column " << c;
        }
    }
    EXPECT_EQ(h.data()[12], 10.0);  // row-major storage
}

TEST(TransformationTest, HomogeneousAgreesWithApplyForward) {
    const Transform t = scaledTurnedMoved();
    Mat4 h;
    t.GetHomogeneous(h);
    for (const Vec& p : {Vec{0, 0, 0}, Vec{1, -2, 3}, Vec{-0.5, 7, 11}}) {
        expectNear(rowTimes(p, h), t.ApplyForward(p, true));
    }
}

// Then must equal applying both in turn, whichever internal form it picks.
void expectThenComposes(const Transform& first, const Transform& second) {
    const Transform both = first.Then(second);
    for (const Vec& p : {Vec{0, 0, 0}, Vec{1, 0, 0}, Vec{0, 1, 0}, Vec{0, 0, 1}, Vec{1.5, -2, 3}}) {
        expectNear(both.ApplyForward(p, true), second.ApplyForward(first.ApplyForward(p, true), true));
        expectNear(both.ApplyForward(p, false), second.ApplyForward(first.ApplyForward(p, false), false));
    }
}

TEST(TransformationTest, ThenComposesWithUniformSecondScale) {
    Transform second;
    second.SetScale({2, 2, 2});
    second.SetRotate(kQuarterTurnZ);
    second.SetTranslate({1, 2, 3});
    expectThenComposes(scaledTurnedMoved(), second);

    const Transform both = scaledTurnedMoved().Then(second);
    EXPECT_EQ(both.GetScale(), (Vec{4, 6, 8}));
    EXPECT_EQ(both.GetRotate(), kQuarterTurnZ * kQuarterTurnZ);
}

TEST(TransformationTest, ThenComposesNonUniformScaleUnderUnrotatedFirst) {
    Transform first;
    first.SetScale({1, 2, 3});
    first.SetTranslate({1, 1, 1});
    expectThenComposes(first, scaledTurnedMoved());
    EXPECT_EQ(first.Then(scaledTurnedMoved()).GetScale(), (Vec{2, 6, 12}));
}

TEST(TransformationTest, ThenComposesShearingCombination) {
    Transform first;
    first.SetRotate(Mat3(0.6, 0.8, 0, -0.8, 0.6, 0, 0, 0, 1));
    first.SetTranslate({-1, 0, 2});
    expectThenComposes(first, scaledTurnedMoved());
}

TEST(TransformationTest, IdentityIsNeutralForThen) {
    const Transform t = scaledTurnedMoved();
    EXPECT_EQ(t.Then(Transform()), t);
    EXPECT_EQ(Transform().Then(t), t);
}

TEST(TransformationTest, FloatInstantiationWorks) {
    ovGenericTransformation<float> t;
    t.SetTranslate({1.0f, 2.0f, 3.0f});
    EXPECT_EQ(t.ApplyForward({1.0f, 1.0f, 1.0f}, true), (Wm4::Vector3f{2.0f, 3.0f, 4.0f}));
}

}  // namespace
}  // namespace ov
