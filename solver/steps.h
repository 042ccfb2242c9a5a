// One tick of the fluid: the velocity step and the density step and the operations they are
// built from. X, Y, Z are the inner cell counts; the whole grid is one unit long along x, so a
// cell is 1/X wide on every axis. Every operation ends with ApplyBoundary on the field it wrote.
// The operations share scratch space: call them from one thread at a time.
#pragma once

#include <cstdint>

#include "solver/grid.h"

// target[n] = dt * source[n] + target[n] for every cell, boundary layer included.
void AddScaledSource(GridDims dims, FieldView target, FieldView source, float dt);

// 20 Gauss-Seidel sweeps of c * x - a * (sum of the six neighbours) = x0, each followed by the
// boundary rule in `mode`.
void RelaxLinear(int32_t X, int32_t Y, int32_t Z, int32_t mode, float* x, const float* x0, float a,
                 float c);

// Implicit diffusion of x0 into x at `rate` over `dt`.
void DiffuseField(int32_t X, int32_t Y, int32_t Z, int32_t mode, float* x, const float* x0,
                  float rate, float dt);

// Semi-Lagrangian transport of d0 into d along (u, v, w) over `dt`. The velocity fields may be
// d0 itself.
void AdvectField(int32_t X, int32_t Y, int32_t Z, int32_t mode, float* d, const float* d0,
                 const float* u, const float* v, const float* w, float dt);

// Makes (u, v, w) divergence-free; p and div are scratch (pressure and divergence).
void ProjectVelocity(int32_t X, int32_t Y, int32_t Z, float* u, float* v, float* w, float* p,
                     float* div);

// Velocity step: uPrev, vPrev, wPrev hold the sources on entry and scratch on return.
void StepVelocity(int32_t X, int32_t Y, int32_t Z, float* u, float* v, float* w, float* uPrev,
                  float* vPrev, float* wPrev, float visc, float dt);

// Density step: x0 holds the sources on entry and the diffused density on return.
void StepDensity(int32_t X, int32_t Y, int32_t Z, float* x, float* x0, const float* u,
                 const float* v, const float* w, float diff, float dt);

// Sets up the solver's scratch space for a grid, so that no step of that size allocates.
// AllocateFields calls it; a step on another size sets it up on the way. (The helper thread that
// shares the work of larger grids is started by the first step that uses it.)
void ReserveSolverWorkspace(int32_t X, int32_t Y, int32_t Z);
