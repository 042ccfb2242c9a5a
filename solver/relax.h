// The relaxation behind RelaxLinear and the diffusions, on one thread or shared with a second.
#pragma once

#include <cstdint>

namespace solver_detail {

// Scratch spaces: relaxations with different slots may run at the same time.
constexpr int kRelaxSlots = 3;

// True when a grid is large enough, and the machine able, to share work with a second thread:
// the sweeps of relaxations, and (larger grids) slices of every loop over planes.
bool ShareRelaxations(int32_t X, int32_t Y, int32_t Z);
bool ShareWork(int32_t X, int32_t Y, int32_t Z);
// Loops over planes are shared in this many slices.
constexpr int kShareSlices = 8;

// One relaxation of RelaxLinear.
struct RelaxJob {
    int32_t mode;
    float* x;
    const float* x0;
    float a, c;
};

// Runs up to kRelaxSlots relaxations, in order, each in its own scratch space; with `split` their
// sweeps share the two threads (a later relaxation starts while the earlier one finishes).
void RelaxAll(const RelaxJob* jobs, int count, bool split, int32_t X, int32_t Y, int32_t Z);

}  // namespace solver_detail
