// Splitting solver work between the calling thread and one helper thread.
#pragma once

#include "solver/solver_options.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

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

// Tells the processor that the caller is busy-waiting.
inline void SpinPause() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#endif
}

// Gives the processor to another thread.
void YieldProcessor();

// Busy-waits until done() is true. The partner is normally only a few microseconds away; when
// the machine is busy with other processes it may not be running at all, so after a short spin
// the waiter yields its processor on every round.
template <class Done>
void WaitUntil(const Done& done) {
  for (int spins = 0; !done();) {
    if (spins < 4000) {
      ++spins;
      SpinPause();
    } else {
      YieldProcessor();
    }
  }
}


}  // namespace solver_detail
