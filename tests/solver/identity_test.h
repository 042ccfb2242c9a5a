// Helpers for comparing the fast solver with the reference bit for bit.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "solver/reference/fluid_state.h"
#include "solver/steps.h"

namespace identity {

inline ::testing::AssertionResult SameBits(const std::vector<float>& a,
                                           const std::vector<float>& b) {
    if (a.size() != b.size()) return ::testing::AssertionFailure() << "sizes differ";
    for (size_t n = 0; n < a.size(); ++n) {
        if (std::memcmp(&a[n], &b[n], sizeof(float)) != 0)
            return ::testing::AssertionFailure()
                   << "first difference at cell " << n << ": " << a[n] << " vs " << b[n];
    }
    return ::testing::AssertionSuccess();
}

inline reference::Solver FastSolver() { return reference::Solver{&StepVelocity, &StepDensity}; }

// Runs both solvers through `ticks` ticks of stirring and compares every field at the end.
inline void ExpectIdenticalAfterStirring(int32_t X, int32_t Y, int32_t Z, int ticks) {
    reference::FluidState fast(X, Y, Z), ref(X, Y, Z);
    for (int t = 0; t < ticks; ++t) {
        reference::Tick(FastSolver(), fast, t, ticks);
        reference::Tick(reference::ReferenceSolver(), ref, t, ticks);
    }
    const auto a = fast.Fields(), b = ref.Fields();
    for (size_t f = 0; f < a.size(); ++f) EXPECT_TRUE(SameBits(*a[f], *b[f])) << "field " << f;
    // The stirring really moved the fluid.
    float maxDensity = 0.0f;
    for (float d : fast.density) maxDensity = std::max(maxDensity, d);
    EXPECT_GT(maxDensity, 1.0f);
}

}  // namespace identity
