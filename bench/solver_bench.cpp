// Solver timings: one idle tick (velocity step + density step with the demo's parameters:
// viscosity 0.0001, diffusion 0, time step 0.4) of the fast solver in its variants and of the
// plain reference, side by side; and the idle ticks of a settled fluid against the first ticks of
// a pour.
#include <benchmark/benchmark.h>

#include "solver/reference/fluid_state.h"
#include "solver/solver_options.h"
#include "solver/steps.h"

namespace {

const reference::Solver kFast{&StepVelocity, &StepDensity};

// Relaxation sweeps dominate: 120 per tick over every inner cell.
void ReportRates(benchmark::State& state, int32_t n, double stepsPerIteration) {
    const double steps = stepsPerIteration * double(state.iterations());
    state.counters["steps/s"] = benchmark::Counter(steps, benchmark::Counter::kIsRate);
    state.counters["cell_updates/s"] =
        benchmark::Counter(120.0 * n * n * n * steps, benchmark::Counter::kIsRate);
}

// Sets the fast solver's variant for one benchmark and restores the default afterwards.
struct Variant {
    Variant(bool avx2, bool twoThreads) {
        solver_detail::EnableAvx2(avx2);
        solver_detail::EnableSecondThread(twoThreads);
    }
    ~Variant() {
        solver_detail::EnableAvx2(true);
        solver_detail::EnableSecondThread(true);
    }
};

// Idle ticks (no sources) of a fluid that has been stirred for 50 ticks.
void IdleStep(benchmark::State& state, const reference::Solver& solver) {
    const int32_t n = int32_t(state.range(0));
    reference::FluidState s(n, n, n);
    for (int t = 0; t < 50; ++t) reference::Tick(solver, s, t, 50);
    int tick = 50;
    for (auto _ : state) reference::Tick(solver, s, tick++, 50);
    ReportRates(state, n, 1.0);
}

void BM_IdleStepFast(benchmark::State& state) { IdleStep(state, kFast); }
void BM_IdleStepFastOneThread(benchmark::State& state) {
    Variant v(true, false);
    IdleStep(state, kFast);
}
void BM_IdleStepPortableOneThread(benchmark::State& state) {
    Variant v(false, false);
    IdleStep(state, kFast);
}
void BM_IdleStepReference(benchmark::State& state) {
    IdleStep(state, reference::ReferenceSolver());
}

// The machine shares its processors with others, so single runs scatter: every benchmark runs
// five times; the median is the figure to quote.
#define REPEATED Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)
#define SIZES Arg(16)->Arg(32)->Arg(64)->REPEATED
BENCHMARK(BM_IdleStepFast)->SIZES;
BENCHMARK(BM_IdleStepFastOneThread)->SIZES;
BENCHMARK(BM_IdleStepPortableOneThread)->SIZES;
BENCHMARK(BM_IdleStepReference)->SIZES;

// 100 ticks starting at tick `first` of a fluid poured into for its first 100 ticks. The state
// at tick `first` is computed once, off the clock; every iteration starts from a copy of it.
void PourTicks(benchmark::State& state, int first) {
    const int32_t n = int32_t(state.range(0));
    reference::FluidState start(n, n, n);
    for (int tick = 0; tick < first; ++tick) reference::Tick(kFast, start, tick, 100);
    for (auto _ : state) {
        state.PauseTiming();
        reference::FluidState s = start;
        state.ResumeTiming();
        for (int tick = first; tick < first + 100; ++tick) reference::Tick(kFast, s, tick, 100);
    }
    ReportRates(state, n, 100.0);
}

void BM_PourFirstTicks(benchmark::State& state) { PourTicks(state, 0); }
void BM_SettledTicks(benchmark::State& state) { PourTicks(state, 1000); }
#define POUR_SIZES Arg(16)->Arg(64)->REPEATED
BENCHMARK(BM_PourFirstTicks)->POUR_SIZES;
BENCHMARK(BM_SettledTicks)->POUR_SIZES;

}  // namespace

BENCHMARK_MAIN();
