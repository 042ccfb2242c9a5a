// Solver timings: one idle tick (velocity step + density step with the demo's parameters) of the
// fast solver and of the plain reference side by side, and the cost of a settled fluid against
// the first ticks of a pour.
#include <benchmark/benchmark.h>

#include "solver/reference/fluid_state.h"
#include "solver/steps.h"

namespace {

const reference::Solver kFast{&StepVelocity, &StepDensity};

// Relaxation sweeps dominate: 120 per tick over every inner cell.
void ReportRates(benchmark::State& state, int32_t n) {
  const double updates = 120.0 * n * n * n;
  state.counters["steps/s"] = benchmark::Counter(double(state.iterations()),
                                                 benchmark::Counter::kIsRate);
  state.counters["cell_updates/s"] = benchmark::Counter(updates * double(state.iterations()),
                                                        benchmark::Counter::kIsRate);
}

// Idle ticks (no sources) of a fluid that has been stirred for 50 ticks.
void IdleStep(benchmark::State& state, const reference::Solver& solver) {
  const int32_t n = int32_t(state.range(0));
  reference::FluidState s(n, n, n);
  for (int t = 0; t < 50; ++t) reference::Tick(solver, s, t, 50);
  int tick = 50;
  for (auto _ : state) reference::Tick(solver, s, tick++, 50);
  ReportRates(state, n);
}

void BM_IdleStepFast(benchmark::State& state) { IdleStep(state, kFast); }
void BM_IdleStepReference(benchmark::State& state) {
  IdleStep(state, reference::ReferenceSolver());
}
BENCHMARK(BM_IdleStepFast)->Arg(16)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IdleStepReference)->Arg(16)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();

// Ticks `first` to `first + 100` after the start of a 100-tick pour; the clock runs only for those.
void PourTicks(benchmark::State& state, int first) {
  const int32_t n = int32_t(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    reference::FluidState s(n, n, n);
    int tick = 0;
    for (; tick < first; ++tick) reference::Tick(kFast, s, tick, 100);
    state.ResumeTiming();
    for (; tick < first + 100; ++tick) reference::Tick(kFast, s, tick, 100);
  }
  state.counters["steps/s"] = benchmark::Counter(100.0 * double(state.iterations()),
                                                 benchmark::Counter::kIsRate);
}

void BM_PourFirstTicks(benchmark::State& state) { PourTicks(state, 0); }
void BM_SettledTicks(benchmark::State& state) { PourTicks(state, 1000); }
BENCHMARK(BM_PourFirstTicks)->Arg(16)->Arg(64)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SettledTicks)->Arg(16)->Arg(64)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
