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

// The helper spins this many rounds for new work before it sleeps: work comes every few
// microseconds during a step, and not at all between ticks.
constexpr int kSpinRounds = 20000;

// One batch of tasks at a time. `claim` holds the batch number (high 32 bits), the batch's task
// count (16 bits) and the next task to take (low 16 bits): a thread still looking for work in a
// finished batch can take nothing, and a task taken belongs to the batch it was taken from.
struct Helper {
    std::atomic<uint64_t> claim{0};
    std::atomic<int32_t> finished{0};
    TaskFunction task = nullptr;  // written before the batch is published, read after a take
    void* context = nullptr;
    std::mutex mutex;
    std::condition_variable wake;
    bool sleeping = false;

    static uint32_t Batch(uint64_t c) { return uint32_t(c >> 32); }
    static int Count(uint64_t c) { return int((c >> 16) & 0xffff); }
    static int Next(uint64_t c) { return int(c & 0xffff); }

    // Runs tasks of `batch` until none is left.
    void Work(uint32_t batch) {
        uint64_t c = claim.load(std::memory_order_acquire);
        while (Batch(c) == batch && Next(c) < Count(c)) {
            if (claim.compare_exchange_weak(c, c + 1, std::memory_order_acq_rel)) {
                task(context, Next(c));
                finished.fetch_add(1, std::memory_order_acq_rel);
                c = claim.load(std::memory_order_acquire);
            }
        }
    }

    void Loop() {
        uint32_t seen = 0;
        for (;;) {
            uint32_t batch = Batch(claim.load(std::memory_order_acquire));
            for (int n = 0; batch == seen && n < kSpinRounds; ++n) {
                SpinPause();
                batch = Batch(claim.load(std::memory_order_acquire));
            }
            if (batch == seen) {
                std::unique_lock<std::mutex> lock(mutex);
                sleeping = true;
                wake.wait(lock,
                          [&] { return Batch(claim.load(std::memory_order_acquire)) != seen; });
                sleeping = false;
                batch = Batch(claim.load(std::memory_order_acquire));
            }
            seen = batch;
            Work(batch);
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

std::atomic<bool> secondThreadEnabled{std::thread::hardware_concurrency() >= 2};

}  // namespace

void RunTasks(TaskFunction task, void* context, int count) {
    if (!SecondThreadEnabled() || count <= 1 || count > 0xffff) {
        for (int t = 0; t < count; ++t) task(context, t);
        return;
    }
    Helper& h = TheHelper();
    // Every task of the previous batch has finished, so nobody reads these now.
    h.task = task;
    h.context = context;
    h.finished.store(0, std::memory_order_relaxed);
    const uint32_t batch = Helper::Batch(h.claim.load(std::memory_order_relaxed)) + 1;
    h.claim.store(uint64_t(batch) << 32 | uint64_t(count & 0xffff) << 16,
                  std::memory_order_release);
    {
        std::lock_guard<std::mutex> lock(h.mutex);
        if (h.sleeping) h.wake.notify_one();
    }
    h.Work(batch);
    // Only tasks that the helper is running now are left.
    WaitUntilAtLeast(h.finished, count);
}

void WaitUntilAtLeastSlow(const std::atomic<int32_t>& value, int32_t target) {
    for (int spins = 0; value.load(std::memory_order_acquire) < target;) {
        if (spins < 4000) {
            ++spins;
            SpinPause();
        } else {
            std::this_thread::yield();
        }
    }
}

bool SecondThreadEnabled() { return secondThreadEnabled.load(std::memory_order_relaxed); }

void EnableSecondThread(bool on) {
    secondThreadEnabled.store(on && std::thread::hardware_concurrency() >= 2,
                              std::memory_order_relaxed);
}

}  // namespace solver_detail
