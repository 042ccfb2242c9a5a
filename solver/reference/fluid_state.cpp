#include "solver/reference/fluid_state.h"

#include <algorithm>
#include <cmath>

#include "solver/reference/reference_steps.h"

namespace reference {

FluidState::FluidState(int32_t x, int32_t y, int32_t z) : X(x), Y(y), Z(z) {
    const size_t cells = size_t(x + 2) * size_t(y + 2) * size_t(z + 2);
    for (std::vector<float>* f : {&u, &v, &w, &uPrev, &vPrev, &wPrev, &density, &densityPrev})
        f->assign(cells, 0.0f);
}

std::vector<const std::vector<float>*> FluidState::Fields() const {
    return {&u, &v, &w, &uPrev, &vPrev, &wPrev, &density, &densityPrev};
}

void InjectStirring(FluidState& s, int tick, int pourTicks) {
    for (std::vector<float>* f : {&s.wPrev, &s.densityPrev, &s.vPrev, &s.uPrev})
        std::fill(f->begin(), f->end(), 0.0f);
    if (tick >= pourTicks) return;
    // One turn every 48 ticks on a circle of a quarter of the grid's width.
    const double angle = 6.283185307179586 * tick / 48.0;
    const int32_t i = s.X / 2 + 1 + int32_t(std::lround(s.X / 4.0 * std::cos(angle)));
    const int32_t j = s.Y / 2 + 1 + int32_t(std::lround(s.Y / 4.0 * std::sin(angle)));
    const int32_t k = s.Z / 2;
    const size_t n = size_t(i) + size_t(s.X + 2) * (size_t(j) + size_t(s.Y + 2) * size_t(k));
    // A drag of about three pixels along the circle.
    s.uPrev[n] = float(std::lround(-3.0 * std::sin(angle)));
    s.vPrev[n] = float(std::lround(3.0 * std::cos(angle)));
    s.densityPrev[n] = kSourceAmount;
}

Solver ReferenceSolver() { return Solver{&reference::StepVelocity, &reference::StepDensity}; }

void Tick(const Solver& solver, FluidState& s, int tick, int pourTicks) {
    InjectStirring(s, tick, pourTicks);
    solver.stepVelocity(s.X, s.Y, s.Z, s.u.data(), s.v.data(), s.w.data(), s.uPrev.data(),
                        s.vPrev.data(), s.wPrev.data(), kViscosity, kTimeStep);
    solver.stepDensity(s.X, s.Y, s.Z, s.density.data(), s.densityPrev.data(), s.u.data(),
                       s.v.data(), s.w.data(), kDiffusion, kTimeStep);
}

}  // namespace reference
