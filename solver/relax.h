// The relaxation behind RelaxLinear, for running several at once or one on two threads.
#pragma once

#include <cstdint>

namespace solver_detail {

// Scratch spaces: relaxations with different slots may run at the same time.
constexpr int kRelaxSlots = 3;

// True when a grid is large enough, and the machine able, to share work with a second thread:
// whole relaxations (mid-sized grids), or (larger grids) the sweeps of each relaxation and
// slices of every loop over planes.
bool ShareRelaxations(int32_t X, int32_t Y, int32_t Z);
bool ShareWork(int32_t X, int32_t Y, int32_t Z);
// Loops over planes are shared in this many slices.
constexpr int kShareSlices = 8;

// RelaxLinear in scratch space `slot`; its sweeps and copies use the second thread only when
// `split` (false when the caller already runs on both).
void Relax(int slot, bool split, int32_t X, int32_t Y, int32_t Z, int32_t mode, float* x,
           const float* x0, float a, float c);

}  // namespace solver_detail
