// The solver steps written out plainly: the loop orders of the description (i outer, k inner),
// one cell at a time. The fast steps of solver/steps.h must give bit-identical results; tests and
// benchmarks compare the two. Linked only into tests and benchmarks, never into the program.
#pragma once

#include <cstdint>

#include "solver/grid.h"

namespace reference {

// Same contracts as the functions of the same names in solver/steps.h.
void AddScaledSource(GridDims dims, FieldView target, FieldView source, float dt);
void RelaxLinear(int32_t X, int32_t Y, int32_t Z, int32_t mode, float* x, const float* x0, float a,
                 float c);
void DiffuseField(int32_t X, int32_t Y, int32_t Z, int32_t mode, float* x, const float* x0,
                  float rate, float dt);
void AdvectField(int32_t X, int32_t Y, int32_t Z, int32_t mode, float* d, const float* d0,
                 const float* u, const float* v, const float* w, float dt);
void ProjectVelocity(int32_t X, int32_t Y, int32_t Z, float* u, float* v, float* w, float* p,
                     float* div);
void StepVelocity(int32_t X, int32_t Y, int32_t Z, float* u, float* v, float* w, float* uPrev,
                  float* vPrev, float* wPrev, float visc, float dt);
void StepDensity(int32_t X, int32_t Y, int32_t Z, float* x, float* x0, const float* u,
                 const float* v, const float* w, float diff, float dt);

}  // namespace reference
