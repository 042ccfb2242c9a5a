// Grid layout, field allocation and the boundary rule.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "solver/grid.h"

namespace {

std::vector<float*> AllFields() {
    return {velX, velY, velZ, velXPrev, velYPrev, velZPrev, density, densityPrev};
}

TEST(Grid, AllocateClearAndIndex) {
    gridX = 3;
    gridY = 4;
    gridZ = 5;
    ASSERT_TRUE(AllocateFields());
    const int64_t cells = 5 * 6 * 7;
    EXPECT_EQ(CellIndex(1, 0, 0), 1);
    EXPECT_EQ(CellIndex(0, 1, 0), 5);
    EXPECT_EQ(CellIndex(0, 0, 1), 30);
    EXPECT_EQ(CellIndex(4, 5, 6), cells - 1);
    EXPECT_EQ(GridDims(3, 4, 5).CellCount(), cells);

    const std::vector<float*> fields = AllFields();
    for (size_t f = 0; f < fields.size(); ++f) {
        for (size_t g = 0; g < f; ++g) EXPECT_NE(fields[f], fields[g]);
        for (int64_t n = 0; n < cells; ++n) fields[f][n] = 7.0f;
    }
    ClearFields();
    for (float* f : fields) {
        for (int64_t n = 0; n < cells; ++n) ASSERT_EQ(f[n], 0.0f) << "cell " << n;
        std::free(f);
    }

    // A grid whose byte size cannot be had is a failed allocation, not a crash.
    gridX = gridY = gridZ = -7;
    EXPECT_FALSE(AllocateFields());
    gridX = gridY = gridZ = 16;
}

TEST(Grid, FieldViewReachesTheCellsItWraps) {
    float cells[4] = {1, 2, 3, 4};
    const FieldView view(cells, GridDims(1, 2, 3));
    view[2] = 9.0f;
    EXPECT_EQ(cells[2], 9.0f);
    EXPECT_EQ(view.dims.sizeX, 1);
    EXPECT_EQ(view.dims.sizeY, 2);
    EXPECT_EQ(view.dims.sizeZ, 3);
}

// Unequal sizes so that a mixed-up axis shows.
constexpr int32_t X = 4, Y = 3, Z = 5;

int64_t At(int32_t i, int32_t j, int32_t k) { return i + (X + 2) * (j + (Y + 2) * k); }

// Distinct inner values; every boundary cell starts at a distinct sentinel.
std::vector<float> PatternedField() {
    std::vector<float> f(size_t((X + 2) * (Y + 2) * (Z + 2)));
    for (int32_t k = 0; k <= Z + 1; ++k)
        for (int32_t j = 0; j <= Y + 1; ++j)
            for (int32_t i = 0; i <= X + 1; ++i)
                f[At(i, j, k)] =
                    (1.0f + i + 10.0f * j + 100.0f * k) * ((i + j + k) % 3 ? 1.0f : -1.0f);
    return f;
}

class BoundaryRule : public ::testing::TestWithParam<int32_t> {};

TEST_P(BoundaryRule, FacesEdgesAndCorners) {
    const int32_t mode = GetParam();
    const std::vector<float> before = PatternedField();
    std::vector<float> f = before;
    ApplyBoundary(X, Y, Z, mode, f.data());

    const int32_t size[3] = {X, Y, Z};
    for (int32_t k = 0; k <= Z + 1; ++k) {
        for (int32_t j = 0; j <= Y + 1; ++j) {
            for (int32_t i = 0; i <= X + 1; ++i) {
                const int32_t idx[3] = {i, j, k};
                int onWall = 0;
                int wallAxis = -1;
                for (int a = 0; a < 3; ++a) {
                    if (idx[a] == 0 || idx[a] == size[a] + 1) {
                        ++onWall;
                        wallAxis = a;
                    }
                }
                const float got = f[At(i, j, k)];
                if (onWall == 0 || onWall == 2) {
                    // Inner cells and edges are never written.
                    EXPECT_EQ(got, before[At(i, j, k)]) << i << "," << j << "," << k;
                } else if (onWall == 1) {
                    int32_t in[3] = {i, j, k};
                    in[wallAxis] = idx[wallAxis] == 0 ? 1 : size[wallAxis];
                    const float inner = before[At(in[0], in[1], in[2])];
                    const float expected = (mode == wallAxis + 1) ? -inner : inner;
                    EXPECT_EQ(got, expected) << "face " << i << "," << j << "," << k;
                } else {
                    // Corner: 0.33 times its x, y and z edge neighbours, added in that order.
                    const int32_t si = i == 0 ? 1 : X, sj = j == 0 ? 1 : Y, sk = k == 0 ? 1 : Z;
                    const float sum =
                        before[At(si, j, k)] + before[At(i, sj, k)] + before[At(i, j, sk)];
                    EXPECT_EQ(got, 0.33f * sum) << "corner " << i << "," << j << "," << k;
                }
            }
        }
    }
}

// Mode 7 names no axis, like mode 0.
INSTANTIATE_TEST_SUITE_P(Modes, BoundaryRule, ::testing::Values(0, 1, 2, 3, 7));

TEST(Boundary, CornerFactorIsNotOneThird) {
    std::vector<float> f(size_t((X + 2) * (Y + 2) * (Z + 2)), 0.0f);
    f[At(1, 0, 0)] = 1.0f;
    f[At(0, 1, 0)] = 2.0f;
    f[At(0, 0, 1)] = 3.0f;
    ApplyBoundary(X, Y, Z, 0, f.data());
    EXPECT_EQ(f[At(0, 0, 0)], 1.98f);
    EXPECT_EQ(f[At(X + 1, Y + 1, Z + 1)], 0.0f);
}

TEST(Boundary, InnerOnesAndZeroBoundaryGiveUnitFacesAndZeroCorners) {
    std::vector<float> f(size_t((X + 2) * (Y + 2) * (Z + 2)), 0.0f);
    for (int32_t k = 1; k <= Z; ++k)
        for (int32_t j = 1; j <= Y; ++j)
            for (int32_t i = 1; i <= X; ++i) f[At(i, j, k)] = 1.0f;
    ApplyBoundary(X, Y, Z, 0, f.data());
    EXPECT_EQ(f[At(0, 2, 3)], 1.0f);
    EXPECT_EQ(f[At(2, Y + 1, 3)], 1.0f);
    EXPECT_EQ(f[At(2, 2, Z + 1)], 1.0f);
    EXPECT_EQ(f[At(2, 0, 0)], 0.0f);
    EXPECT_EQ(f[At(0, Y + 1, Z + 1)], 0.0f);
}

}  // namespace
