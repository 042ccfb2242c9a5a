// The fast solver against the plain reference: every operation and whole ticks, bit for bit.
#include "tests/solver/identity_test.h"

#include <cfenv>
#include <cmath>
#include <limits>
#include <random>
#include <tuple>

#include "solver/reference/reference_steps.h"
#include "solver/solver_options.h"

namespace {

using identity::SameBits;

struct Size {
    int32_t X, Y, Z;
};

// The AVX2 kernels on two threads (the default on this machine), or the portable kernels on one.
enum class Kernels { kDefault, kPortableOneThread };

class OperationIdentity : public ::testing::TestWithParam<std::tuple<Size, Kernels>> {
  protected:
    void SetUp() override {
        const bool portable = std::get<1>(GetParam()) == Kernels::kPortableOneThread;
        solver_detail::EnableAvx2(!portable);
        solver_detail::EnableSecondThread(!portable);
    }
    void TearDown() override {
        solver_detail::EnableAvx2(true);
        solver_detail::EnableSecondThread(true);
    }

    int32_t X = std::get<0>(GetParam()).X, Y = std::get<0>(GetParam()).Y,
            Z = std::get<0>(GetParam()).Z;
    size_t cells = size_t(X + 2) * size_t(Y + 2) * size_t(Z + 2);
    std::mt19937 rng{1234};

    std::vector<float> Random(float scale) {
        std::uniform_real_distribution<float> dist(-scale, scale);
        std::vector<float> f(cells);
        for (float& value : f) value = dist(rng);
        return f;
    }
};

TEST_P(OperationIdentity, RelaxAndDiffuse) {
    const std::vector<float> x0 = Random(1.0f), start = Random(1.0f);
    for (int32_t mode = 0; mode <= 3; ++mode) {
        for (float a : {1.0f, 0.01024f, 0.37f}) {
            std::vector<float> fast = start, ref = start;
            RelaxLinear(X, Y, Z, mode, fast.data(), x0.data(), a, 6.0f * a + 1.0f);
            reference::RelaxLinear(X, Y, Z, mode, ref.data(), x0.data(), a, 6.0f * a + 1.0f);
            EXPECT_TRUE(SameBits(fast, ref)) << "mode " << mode << " a " << a;
        }
        std::vector<float> fast = start, ref = start;
        DiffuseField(X, Y, Z, mode, fast.data(), x0.data(), 0.0001f, 0.4f);
        reference::DiffuseField(X, Y, Z, mode, ref.data(), x0.data(), 0.0001f, 0.4f);
        EXPECT_TRUE(SameBits(fast, ref)) << "diffuse mode " << mode;
    }
}

// Without coupling (a = 0, c = 1) a relaxation can be a copy of its source, but only where the
// sweeps would give exactly that: inputs that break it must still get the sweeps' results.
TEST_P(OperationIdentity, RelaxWithoutCoupling) {
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    constexpr float inf = std::numeric_limits<float>::infinity();
    const size_t inner = size_t(1 + (X + 2) * (1 + (Y + 2)));  // cell (1, 1, 1)
    struct Case {
        const char* name;
        void (*spoil)(std::vector<float>& x, std::vector<float>& b, size_t inner);
        int rounding;
    };
    const Case cases[] = {
        {"plain", [](std::vector<float>&, std::vector<float>&, size_t) {}, FE_TONEAREST},
        {"negative zero source",
         [](std::vector<float>& x, std::vector<float>& b, size_t n) {
             for (float& v : x) v = std::fabs(v);  // positive sums: -0 + +0 gives +0
             b[n] = -0.0f;
         },
         FE_TONEAREST},
        {"NaN face", [](std::vector<float>& x, std::vector<float>&, size_t n) { x[n - 1] = nan; },
         FE_TONEAREST},
        {"infinite source",
         [](std::vector<float>&, std::vector<float>& b, size_t n) { b[n] = inf; }, FE_TONEAREST},
        {"sums overflow",
         [](std::vector<float>& x, std::vector<float>&, size_t) {
             for (float& v : x) v = 1e38f;
         },
         FE_TONEAREST},
        {"rounding down",
         [](std::vector<float>& x, std::vector<float>& b, size_t) {
             for (float& v : x) v = -std::fabs(v);  // negative sums: +0 + -0 gives -0 rounding down
             for (float& v : b) v = 0.0f;
         },
         FE_DOWNWARD},
    };
    // The rounding mode is the calling thread's; the second thread keeps rounding to nearest.
    const bool oneThread = std::get<1>(GetParam()) == Kernels::kPortableOneThread;
    for (const Case& c : cases) {
        if (c.rounding != FE_TONEAREST && !oneThread) continue;
        std::vector<float> start = Random(1.0f), x0 = Random(1.0f);
        c.spoil(start, x0, inner);
        std::vector<float> fast = start, ref = start;
        ASSERT_EQ(std::fesetround(c.rounding), 0);
        RelaxLinear(X, Y, Z, 0, fast.data(), x0.data(), 0.0f, 1.0f);
        reference::RelaxLinear(X, Y, Z, 0, ref.data(), x0.data(), 0.0f, 1.0f);
        std::fesetround(FE_TONEAREST);
        EXPECT_TRUE(SameBits(fast, ref)) << c.name;
    }
}

TEST_P(OperationIdentity, AdvectWithWildVelocities) {
    const std::vector<float> d0 = Random(10.0f);
    std::vector<float> u = Random(0.2f), v = Random(0.5f), w = Random(3.0f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (size_t n = 0; n < cells; n += 7) u[n] = nan;
    for (size_t n = 3; n < cells; n += 11) v[n] = -inf;
    for (size_t n = 5; n < cells; n += 13) w[n] = 1e30f;
    for (int32_t mode = 0; mode <= 3; ++mode) {
        std::vector<float> fast = Random(1.0f), ref = fast;
        AdvectField(X, Y, Z, mode, fast.data(), d0.data(), u.data(), v.data(), w.data(), 0.4f);
        reference::AdvectField(X, Y, Z, mode, ref.data(), d0.data(), u.data(), v.data(), w.data(),
                               0.4f);
        EXPECT_TRUE(SameBits(fast, ref)) << "mode " << mode;
    }
}

TEST_P(OperationIdentity, Project) {
    const std::vector<float> u = Random(1.0f), v = Random(1.0f), w = Random(1.0f);
    std::vector<float> f[5] = {u, v, w, Random(1.0f), Random(1.0f)};
    std::vector<float> r[5] = {f[0], f[1], f[2], f[3], f[4]};
    ProjectVelocity(X, Y, Z, f[0].data(), f[1].data(), f[2].data(), f[3].data(), f[4].data());
    reference::ProjectVelocity(X, Y, Z, r[0].data(), r[1].data(), r[2].data(), r[3].data(),
                               r[4].data());
    for (int n = 0; n < 5; ++n) EXPECT_TRUE(SameBits(f[n], r[n])) << "field " << n;
}

// Sizes below and above the two-thread threshold, with runs shorter and longer than a vector, and
// grids one cell thin on each axis (every row then meets both faces of that axis).
INSTANTIATE_TEST_SUITE_P(
    Sizes, OperationIdentity,
    ::testing::Combine(::testing::Values(Size{1, 1, 1}, Size{2, 3, 4}, Size{16, 16, 16},
                                         Size{17, 19, 23}, Size{9, 70, 5}, Size{33, 27, 20},
                                         Size{40, 40, 40}, Size{1, 30, 30}, Size{120, 1, 120},
                                         Size{150, 100, 1}),
                       ::testing::Values(Kernels::kDefault, Kernels::kPortableOneThread)));

TEST(TickIdentity, Grid16AfterThreeHundredTicks) {
    identity::ExpectIdenticalAfterStirring(16, 16, 16, 300);
}

TEST(TickIdentity, UnequalGridAfterThreeHundredTicks) {
    identity::ExpectIdenticalAfterStirring(17, 19, 23, 300);
}

// Large enough for the work to be split between two threads.
TEST(TickIdentity, SplitGridAfterHundredFiftyTicks) {
    identity::ExpectIdenticalAfterStirring(30, 26, 20, 150);
}

TEST(TickIdentity, PortableKernelsOnOneThread) {
    solver_detail::EnableAvx2(false);
    solver_detail::EnableSecondThread(false);
    identity::ExpectIdenticalAfterStirring(17, 19, 23, 200);
    solver_detail::EnableAvx2(true);
    solver_detail::EnableSecondThread(true);
}

}  // namespace
