// Eight-lane float vectors for the solver's kernels. Written with the compiler's generic vector
// types, so one kernel body compiles to SSE2 pairs in the portable build and to single AVX
// instructions inside a function compiled for AVX2 (see SOLVER_KERNEL_VARIANTS). Every lane
// operation is the IEEE operation of the scalar code, so the results are the same bits.
#pragma once

#include <cstdint>
#include <cstring>

#include "solver/solver_options.h"

namespace solver_detail {

typedef float Vec8 __attribute__((vector_size(32)));
typedef int32_t Int8 __attribute__((vector_size(32)));

#define SOLVER_INLINE inline __attribute__((always_inline))

SOLVER_INLINE Vec8 Load8(const float* p) {
    Vec8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

SOLVER_INLINE void Store8(float* p, Vec8 v) { std::memcpy(p, &v, sizeof v); }

SOLVER_INLINE Vec8 Splat8(float f) { return Vec8{f, f, f, f, f, f, f, f}; }

// Lanes 0 .. count-1 from `a`, the others from `b`.
SOLVER_INLINE Vec8 FirstLanes(int32_t count, Vec8 a, Vec8 b) {
    const Int8 lane = {0, 1, 2, 3, 4, 5, 6, 7};
    const Int8 n = {count, count, count, count, count, count, count, count};
    return lane < n ? a : b;
}

}  // namespace solver_detail
