// A self-contained fluid (its own eight fields) and a scripted stirring-and-pouring interaction,
// so that tests and benchmarks can run two solvers side by side on the same input.
#pragma once

#include <cstdint>
#include <vector>

namespace reference {

struct FluidState {
    int32_t X, Y, Z;
    std::vector<float> u, v, w, uPrev, vPrev, wPrev, density, densityPrev;

    FluidState(int32_t x, int32_t y, int32_t z);
    // The fields in a fixed order, for comparing two states.
    std::vector<const std::vector<float>*> Fields() const;
};

// The demo's running parameters.
constexpr float kViscosity = 0.0001f;
constexpr float kDiffusion = 0.0f;
constexpr float kTimeStep = 0.4f;
constexpr float kSourceAmount = 40.0f;

// Writes the sources of one tick the way the demo's input injection does: clears the four source
// fields, then, while `tick` < `pourTicks`, drags a few pixels' worth of velocity into one cell
// of the middle z-slice and pours density there. The cell circles the grid's centre.
void InjectStirring(FluidState& s, int tick, int pourTicks);

// Solver entry points, so that the same driver runs the fast and the reference solver.
struct Solver {
    void (*stepVelocity)(int32_t, int32_t, int32_t, float*, float*, float*, float*, float*, float*,
                         float, float);
    void (*stepDensity)(int32_t, int32_t, int32_t, float*, float*, const float*, const float*,
                        const float*, float, float);
};
Solver ReferenceSolver();

// One idle tick: sources, velocity step, density step.
void Tick(const Solver& solver, FluidState& s, int tick, int pourTicks);

}  // namespace reference
