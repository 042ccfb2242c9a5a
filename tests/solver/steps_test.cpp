// The solver operations on small cases whose results follow from the formulas by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "solver/steps.h"

namespace {

struct Grid {
    int32_t X, Y, Z;
    int64_t At(int32_t i, int32_t j, int32_t k) const {
        return i + int64_t(X + 2) * (j + int64_t(Y + 2) * k);
    }
    std::vector<float> Field(float value = 0.0f) const {
        return std::vector<float>(size_t((X + 2) * (Y + 2) * (Z + 2)), value);
    }
};

TEST(AddScaledSource, CoversTheBoundaryLayer) {
    const Grid g{2, 1, 1};
    std::vector<float> target = g.Field(1.0f), source = g.Field(2.0f);
    const GridDims dims(g.X, g.Y, g.Z);
    AddScaledSource(dims, FieldView(target.data(), dims), FieldView(source.data(), dims), 0.25f);
    for (float t : target) EXPECT_EQ(t, 1.5f);
}

// On a single inner cell the sweeps form the recurrence x <- (s * x * a + b) / c, where s counts
// the neighbours that copy the cell (6 in mode 0; mode 1 negates the two x faces, so s = 2).
TEST(RelaxLinear, CoefficientsModeAndSweepCount) {
    const Grid g{1, 1, 1};
    const double a = 1.0, c = 8.0, b = 2.0;
    for (int32_t mode : {0, 1}) {
        std::vector<float> x = g.Field(), x0 = g.Field();
        x0[g.At(1, 1, 1)] = float(b);
        RelaxLinear(1, 1, 1, mode, x.data(), x0.data(), float(a), float(c));
        const double s = mode == 0 ? 6.0 : 2.0;
        const double fixedPoint = b / (c - s * a), rate = s * a / c;
        const double expected = fixedPoint * (1.0 - std::pow(rate, 20));
        EXPECT_NEAR(x[g.At(1, 1, 1)], expected, 1e-6) << "mode " << mode;
        EXPECT_EQ(x[g.At(0, 1, 1)], mode == 1 ? -x[g.At(1, 1, 1)] : x[g.At(1, 1, 1)]);
    }
}

TEST(DiffuseField, ZeroRateCopiesInnerCells) {
    const Grid g{5, 4, 3};
    std::vector<float> x = g.Field(9.0f), x0 = g.Field();
    for (size_t n = 0; n < x0.size(); ++n) x0[n] = float(n % 17) - 8.0f;
    DiffuseField(g.X, g.Y, g.Z, 2, x.data(), x0.data(), 0.0f, 0.4f);
    for (int32_t k = 1; k <= g.Z; ++k)
        for (int32_t j = 1; j <= g.Y; ++j)
            for (int32_t i = 1; i <= g.X; ++i) ASSERT_EQ(x[g.At(i, j, k)], x0[g.At(i, j, k)]);
    EXPECT_EQ(x[g.At(2, 0, 2)], -x0[g.At(2, 1, 2)]);
    EXPECT_EQ(x[g.At(0, 2, 2)], x0[g.At(1, 2, 2)]);
}

// Two inner cells along x, mode 1, uniform source b: the steady state has both cells at
// b / (2a + 1) with a = dt * rate * X * X, telling whether the grid size enters squared.
TEST(DiffuseField, CoefficientScalesWithGridSizeSquared) {
    const Grid g{2, 1, 1};
    std::vector<float> x = g.Field(), x0 = g.Field(1.0f);
    DiffuseField(g.X, g.Y, g.Z, 1, x.data(), x0.data(), 0.25f, 0.5f);  // a = 0.5
    EXPECT_NEAR(x[g.At(1, 1, 1)], 0.5f, 1e-5);
    EXPECT_NEAR(x[g.At(2, 1, 1)], 0.5f, 1e-5);
}

class Advect : public ::testing::Test {
  protected:
    // Unequal sizes: each axis clamps to its own size.
    const Grid g{16, 8, 4};
    std::vector<float> d = g.Field(), d0 = g.Field(), u = g.Field(), v = g.Field(), w = g.Field();

    void SetUp() override {
        // Linear in every index, so trilinear interpolation reproduces it at any position.
        for (int32_t k = 0; k <= g.Z + 1; ++k)
            for (int32_t j = 0; j <= g.Y + 1; ++j)
                for (int32_t i = 0; i <= g.X + 1; ++i)
                    d0[g.At(i, j, k)] = float(i) + 100.0f * float(j) + 10000.0f * float(k);
    }
    // dt = 1/16 makes dt0 = 1: a velocity of 1 moves back one cell.
    float Run(int32_t i, int32_t j, int32_t k) {
        AdvectField(g.X, g.Y, g.Z, 0, d.data(), d0.data(), u.data(), v.data(), w.data(), 1.0f / 16);
        return d[g.At(i, j, k)];
    }
    static float Value(float px, float py, float pz) { return px + 100.0f * py + 10000.0f * pz; }
};

TEST_F(Advect, ZeroVelocityReproducesTheField) {
    Run(1, 1, 1);
    for (int32_t k = 1; k <= g.Z; ++k)
        for (int32_t j = 1; j <= g.Y; ++j)
            for (int32_t i = 1; i <= g.X; ++i) ASSERT_EQ(d[g.At(i, j, k)], d0[g.At(i, j, k)]);
}

TEST_F(Advect, FractionalBackTraceInterpolates) {
    u[g.At(5, 3, 2)] = 0.25f;
    v[g.At(5, 3, 2)] = -0.5f;
    w[g.At(5, 3, 2)] = 0.75f;
    EXPECT_FLOAT_EQ(Run(5, 3, 2), Value(4.75f, 3.5f, 1.25f));
}

TEST_F(Advect, BackTraceClampsHalfwayIntoTheBoundaryLayer) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    u[g.At(1, 2, 2)] = 4.0f;     // px = -3 -> 0.5
    u[g.At(16, 2, 2)] = -24.0f;  // px = 40 -> 16.5
    v[g.At(3, 8, 2)] = -30.0f;   // py = 38 -> 8.5
    w[g.At(3, 2, 4)] = -inf;     // pz = inf -> 4.5
    w[g.At(4, 2, 1)] = inf;      // pz = -inf -> 0.5
    u[g.At(5, 5, 3)] = nan;      // px NaN -> 0.5
    v[g.At(6, 5, 3)] = nan;      // py NaN -> 0.5
    w[g.At(7, 5, 3)] = nan;      // pz NaN -> 0.5
    Run(1, 1, 1);
    EXPECT_FLOAT_EQ(d[g.At(1, 2, 2)], Value(0.5f, 2, 2));
    EXPECT_FLOAT_EQ(d[g.At(16, 2, 2)], Value(16.5f, 2, 2));
    EXPECT_FLOAT_EQ(d[g.At(3, 8, 2)], Value(3, 8.5f, 2));
    EXPECT_FLOAT_EQ(d[g.At(3, 2, 4)], Value(3, 2, 4.5f));
    EXPECT_FLOAT_EQ(d[g.At(4, 2, 1)], Value(4, 2, 0.5f));
    EXPECT_FLOAT_EQ(d[g.At(5, 5, 3)], Value(0.5f, 5, 3));
    EXPECT_FLOAT_EQ(d[g.At(6, 5, 3)], Value(6, 0.5f, 3));
    EXPECT_FLOAT_EQ(d[g.At(7, 5, 3)], Value(7, 5, 0.5f));
}

TEST(ProjectVelocity, SingleSpikeDivergenceAndWalls) {
    const Grid g{16, 16, 16};
    std::vector<float> u = g.Field(), v = g.Field(), w = g.Field(), p = g.Field(), div = g.Field();
    w[g.At(5, 5, 8)] = 1.0f;
    ProjectVelocity(g.X, g.Y, g.Z, u.data(), v.data(), w.data(), p.data(), div.data());

    for (int32_t k = 1; k <= g.Z; ++k)
        for (int32_t j = 1; j <= g.Y; ++j)
            for (int32_t i = 1; i <= g.X; ++i) {
                float expected = 0.0f;
                if (i == 5 && j == 5 && k == 7) expected = -0.5f / 16;
                if (i == 5 && j == 5 && k == 9) expected = 0.5f / 16;
                ASSERT_EQ(div[g.At(i, j, k)], expected) << i << "," << j << "," << k;
            }
    // The spike is partly taken back and its neighbours pushed along.
    EXPECT_GT(w[g.At(5, 5, 8)], 0.0f);
    EXPECT_LT(w[g.At(5, 5, 8)], 1.0f);
    EXPECT_NE(u[g.At(4, 5, 8)], 0.0f);
    // Divergence around the spike (1 before) shrinks.
    auto divergence = [&](int32_t i, int32_t j, int32_t k) {
        return u[g.At(i + 1, j, k)] - u[g.At(i - 1, j, k)] + v[g.At(i, j + 1, k)] -
               v[g.At(i, j - 1, k)] + w[g.At(i, j, k + 1)] - w[g.At(i, j, k - 1)];
    };
    EXPECT_LT(std::fabs(divergence(5, 5, 7)), 0.8f);
    EXPECT_LT(std::fabs(divergence(5, 5, 9)), 0.8f);
    // Walls: u is negated across the x walls and copied across the others.
    for (int32_t j = 1; j <= g.Y; ++j)
        for (int32_t k = 1; k <= g.Z; ++k) {
            ASSERT_EQ(u[g.At(0, j, k)], -u[g.At(1, j, k)]);
            ASSERT_EQ(u[g.At(j, 0, k)], u[g.At(j, 1, k)]);
            ASSERT_EQ(u[g.At(j, k, 17)], u[g.At(j, k, 16)]);
            ASSERT_EQ(w[g.At(j, k, 0)], -w[g.At(j, k, 1)]);
        }
}

TEST(Steps, ZeroStateStaysZero) {
    for (const Grid& g : {Grid{16, 16, 16}, Grid{3, 5, 2}}) {
        std::vector<float> f[8];
        for (auto& field : f) field = g.Field();
        StepVelocity(g.X, g.Y, g.Z, f[0].data(), f[1].data(), f[2].data(), f[3].data(), f[4].data(),
                     f[5].data(), 0.0001f, 0.4f);
        StepDensity(g.X, g.Y, g.Z, f[6].data(), f[7].data(), f[0].data(), f[1].data(), f[2].data(),
                    0.0f, 0.4f);
        for (const auto& field : f)
            for (float value : field) ASSERT_EQ(value, 0.0f);
    }
}

}  // namespace
