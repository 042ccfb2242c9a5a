#include "solver/two_threads.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace solver_detail {
namespace {

void SpinPause() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#endif
}

// Busy-waits until done() is true. The partner is normally only microseconds away; when the
// machine is busy with other processes it may not be running at all, so after a short spin the
// waiter gives up its processor on every round.
template <class Done>
void WaitUntil(const Done& done) {
  for (int spins = 0; !done();) {
    if (spins < 4000) {
      ++spins;
      SpinPause();
    } else {
      std::this_thread::yield();
    }
  }
}

// The helper spins this many rounds for new work before it sleeps: work arrives every few
// microseconds during a step, and not at all between ticks.
constexpr int kSpinRounds = 20000;

struct Helper {
  std::atomic<uint64_t> generation{0};
  std::atomic<bool> finished{true};
  PartFunction part = nullptr;
  void* context = nullptr;
  std::mutex mutex;
  std::condition_variable wake;
  bool sleeping = false;

  void Loop() {
    uint64_t seen = 0;
    for (;;) {
      uint64_t g = generation.load(std::memory_order_acquire);
      for (int n = 0; g == seen && n < kSpinRounds; ++n) {
        SpinPause();
        g = generation.load(std::memory_order_acquire);
      }
      if (g == seen) {
        std::unique_lock<std::mutex> lock(mutex);
        sleeping = true;
        wake.wait(lock, [&] { return generation.load(std::memory_order_acquire) != seen; });
        sleeping = false;
        g = generation.load(std::memory_order_acquire);
      }
      seen = g;
      part(context, 1);
      finished.store(true, std::memory_order_release);
    }
  }
};

Helper& TheHelper() {
  // Never destroyed: the detached thread may still be waiting on it while the process exits.
  static Helper* helper = [] {
    Helper* h = new Helper;
    std::thread([h] { h->Loop(); }).detach();
    return h;
  }();
  return *helper;
}

}  // namespace

void RunOnTwoThreads(PartFunction part, void* context) {
  Helper& h = TheHelper();
  h.part = part;
  h.context = context;
  h.finished.store(false, std::memory_order_relaxed);
  h.generation.fetch_add(1, std::memory_order_release);
  {
    std::lock_guard<std::mutex> lock(h.mutex);
    if (h.sleeping) h.wake.notify_one();
  }
  part(context, 0);
  WaitUntil([&] { return h.finished.load(std::memory_order_acquire); });
}

namespace {
std::atomic<bool> secondThreadEnabled{std::thread::hardware_concurrency() >= 2};
}

bool SecondThreadEnabled() { return secondThreadEnabled.load(std::memory_order_relaxed); }

void EnableSecondThread(bool on) {
  secondThreadEnabled.store(on && std::thread::hardware_concurrency() >= 2,
                            std::memory_order_relaxed);
}

}  // namespace solver_detail
