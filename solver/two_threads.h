// Splitting solver work between the calling thread and one helper thread.
#pragma once

#include "solver/solver_options.h"

namespace solver_detail {

using PartFunction = void (*)(void* context, int part);

// Runs part(context, 1) on the helper thread and part(context, 0) on the caller, and returns
// when both have finished. The helper is started on first use and never stopped. Not reentrant:
// only one caller at a time.
void RunOnTwoThreads(PartFunction part, void* context);

template <class F>
void RunOnTwoThreads(const F& f) {
  RunOnTwoThreads([](void* c, int part) { (*static_cast<const F*>(c))(part); },
                  const_cast<F*>(&f));
}

}  // namespace solver_detail
