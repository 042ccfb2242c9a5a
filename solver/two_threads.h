// Sharing solver work between the calling thread and one helper thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "solver/solver_options.h"

namespace solver_detail {

using TaskFunction = void (*)(void* context, int task);

// Runs task(context, t) for every t in [0, count) and returns when all have finished. The caller
// and a helper thread each take the next task that nobody has taken yet, so a helper that the
// operating system keeps waiting (other processes on the machine) only means that the caller
// does more of the work. The helper is started on first use and never stopped. Not reentrant:
// one caller at a time, and tasks must not call it.
void RunTasks(TaskFunction task, void* context, int count);

template <class F>
void RunTasks(int count, const F& f) {
    RunTasks([](void* c, int t) { (*static_cast<const F*>(c))(t); }, const_cast<F*>(&f), count);
}

// Returns once `value` (stored with release order by another task) is at least `target`.
void WaitUntilAtLeastSlow(const std::atomic<int32_t>& value, int32_t target);
inline void WaitUntilAtLeast(const std::atomic<int32_t>& value, int32_t target) {
    if (value.load(std::memory_order_acquire) < target) WaitUntilAtLeastSlow(value, target);
}

}  // namespace solver_detail
