#include <gtest/gtest.h>

#include "wm4/Wm4Foundation.h"

namespace Wm4 {
namespace {

// Face normals are built from cross products: a flipped sign turns a mesh inside out.
TEST(Wm4VectorTest, CrossProductIsRightHanded) {
    EXPECT_EQ((Vector3d{1, 0, 0}).Cross({0, 1, 0}), (Vector3d{0, 0, 1}));
    EXPECT_EQ((Vector3d{0, 1, 0}).Cross({1, 0, 0}), (Vector3d{0, 0, -1}));
}

TEST(Wm4MatrixTest, ProductsAreRowByColumn) {
    const Matrix3<double> a(1, 2, 3, 4, 5, 6, 7, 8, 9);
    // Row 0 of a * b: 1 * (0,1,0) + 2 * (-1,0,0) + 3 * (0,0,1).
    EXPECT_EQ(a * Matrix3<double>(0, 1, 0, -1, 0, 0, 0, 0, 1), Matrix3<double>(-2, 1, 3, -5, 4, 6, -8, 7, 9));
    EXPECT_EQ(Matrix3<double>(0, 1, 0, 1, 0, 0, 0, 0, 1).Determinant(), -1.0);

    Matrix4<double> move = Matrix4<double>::Identity();
    move(3, 0) = 5;
    const Matrix4<double> twice = move * move;
    EXPECT_EQ(twice.data()[12], 10.0) << "row-major storage, translation in row 3";
    EXPECT_EQ(twice(0, 3), 0.0);
}

}  // namespace
}  // namespace Wm4
