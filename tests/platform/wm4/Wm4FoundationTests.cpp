#include <gtest/gtest.h>

#include "wm4/Wm4Foundation.h"

namespace Wm4 {
namespace {

TEST(Wm4VectorTest, ArithmeticDotCrossAndLength) {
    const Vector3d x{1, 0, 0};
    const Vector3d y{0, 1, 0};
    EXPECT_EQ(x.Cross(y), (Vector3d{0, 0, 1}));
    EXPECT_EQ(y.Cross(x), (Vector3d{0, 0, -1}));
    EXPECT_EQ((Vector3d{1, 2, 3}).Dot({4, -5, 6}), 12.0);
    EXPECT_EQ((Vector3d{3, 4, 12}).Length(), 13.0);
    EXPECT_EQ((Vector3d{1, 2, 3}) - (Vector3d{1, 1, 1}) * 2.0, (Vector3d{-1, 0, 1}));
}

TEST(Wm4MatrixTest, ProductIsRowMajor) {
    const Matrix3<double> a(1, 2, 3, 4, 5, 6, 7, 8, 9);
    const Matrix3<double> b(0, 1, 0, -1, 0, 0, 0, 0, 1);
    const Matrix3<double> product = a * b;
    // Row 0 of the product: 1 * (0,1,0) + 2 * (-1,0,0) + 3 * (0,0,1).
    EXPECT_EQ(product, Matrix3<double>(-2, 1, 3, -5, 4, 6, -8, 7, 9));
    EXPECT_EQ(a * Matrix3<double>::Identity(), a);
    EXPECT_EQ(Matrix3<double>(), Matrix3<double>(0, 0, 0, 0, 0, 0, 0, 0, 0));
}

TEST(Wm4MatrixTest, Determinant) {
    EXPECT_EQ(Matrix3<double>(2, 0, 0, 0, 3, 0, 0, 0, 4).Determinant(), 24.0);
    EXPECT_EQ(Matrix3<double>(0, 1, 0, 1, 0, 0, 0, 0, 1).Determinant(), -1.0);
    EXPECT_EQ(Matrix3<double>(1, 2, 3, 4, 5, 6, 7, 8, 9).Determinant(), 0.0);
}

TEST(Wm4MatrixTest, HomogeneousTranslationSitsInRowThree) {
    Matrix4<double> move = Matrix4<double>::Identity();
    move(3, 0) = 5;
    move(3, 1) = 6;
    Matrix4<double> twice = move * move;
    EXPECT_EQ(twice(3, 0), 10.0);
    EXPECT_EQ(twice(3, 1), 12.0);
    EXPECT_EQ(twice(0, 3), 0.0);
    EXPECT_EQ(twice.data()[12], 10.0);
    EXPECT_EQ(move * Matrix4<double>::Identity(), move);
}

TEST(Wm4ColorTest, NamedColours) {
    EXPECT_EQ(ColorRGBA::Black(), ColorRGBA(0, 0, 0, 1));
    EXPECT_EQ(ColorRGBA::White().R(), 1.0f);
    ColorRGBA c;
    c[2] = 0.5f;
    EXPECT_EQ(c.B(), 0.5f);
    EXPECT_EQ(c.A(), 0.0f);
}

}  // namespace
}  // namespace Wm4
