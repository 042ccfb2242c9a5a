// Which kernels and how many threads the solver uses. Both default to the fastest this machine
// allows; tests and benchmarks switch them to run and time the other variants, which give the
// same results.
#pragma once

namespace solver_detail {

// AVX2 kernels when the processor and the operating system support AVX2; otherwise, or when
// switched off, the portable x86-64 kernels.
bool Avx2Enabled();
void EnableAvx2(bool on);

// Large grids are split between the caller and a helper thread when the machine has a second
// processor, unless switched off.
bool SecondThreadEnabled();
void EnableSecondThread(bool on);

}  // namespace solver_detail
