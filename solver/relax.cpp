// Gauss-Seidel relaxation in wavefront order.
//
// The plain order updates cell (i, j, k) after (i-1, j, k), (i, j-1, k) and (i, j, k-1) of the same
// sweep and before its three upper neighbours. Any order with that property reads exactly the
// same values, so it gives the same bits. Here a sweep walks the hyperplanes h = i + j + k in
// ascending order; the cells of one hyperplane do not depend on one another. To make them
// contiguous, the field is copied for the 20 sweeps into a skewed layout: plane by plane (k),
// inside a plane row by row along the diagonals d = i + j, inside a row by j. A hyperplane is then
// one row in each plane, computed eight cells at a time; its rows are independent, so their
// latencies overlap.
//
// Sweeps need not wait for one another to finish: sweep s + 1 may update hyperplane h as soon as
// sweep s has done h + 1. The sweeps therefore run as wavefronts, several in one walk through the
// field, and the second half of them on a second thread, trailing the first.
//
// The boundary rule's faces are written next to each swept hyperplane from its cells (each face
// is read only by the cell it copies); the corners, which no sweep reads, are computed once at
// the end.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "solver/relax.h"
#include "solver/simd.h"
#include "solver/steps.h"
#include "solver/two_threads.h"

namespace solver_detail {
namespace {

constexpr int kSweeps = 20;
// The sweeps run in passes over the field; a pass runs its sweeps as a wavefront, sweep q + 1
// kLag hyperplanes behind sweep q, so one walk through the field does them all while the
// hyperplanes they touch stay in the cache. The pass after it trails it in the same way, on the
// second thread when there is one.
constexpr int kPasses = 2;
constexpr int kSweepsPerPass = kSweeps / kPasses;
static_assert(kSweepsPerPass * kPasses == kSweeps, "passes share the sweeps evenly");
// Two hyperplanes apart, the sweeps of one pass do not touch each other's cells: sweep q + 1 on
// h - 2 reads h - 1, which sweep q finished one step earlier, and h - 3.
constexpr int32_t kLag = 2;
constexpr int32_t kFirstHyperplane = 3;  // cell (1, 1, 1)
// Vector reads and writes run up to seven slots past the last cell of a row (the written ones
// keep their values). Padding after every row keeps them inside the row: a vector that reached
// into the row written just before it would have to wait for that row's results.
constexpr int64_t kRowPadding = 8;
constexpr int64_t kEndPadding = 64;
// From the first count of inner cells on, relaxations share the two threads; from the second
// on, loops over planes do too.
constexpr int64_t kShareRelaxationCells = 12 * 12 * 12;
constexpr int64_t kTwoThreadCells = 24 * 24 * 24;

struct SkewedLayout {
  int32_t X = -1, Y = -1, Z = -1;
  int64_t plane = 0;         // distance between planes
  std::vector<int64_t> row;  // cell (d - j, j) of a plane lies at slot row[d] + j
  // Vectors that row d's inner cells take, and the lowest row of the run of rows up to d that
  // take as many.
  std::vector<int32_t> vectors, runStart;

  void Build(int32_t x, int32_t y, int32_t z) {
    X = x;
    Y = y;
    Z = z;
    const size_t rows = size_t(X) + size_t(Y) + 3;
    row.assign(rows, 0);
    vectors.assign(rows, 0);
    runStart.assign(rows, 0);
    int64_t start = 0;
    for (int32_t d = 0; d <= X + Y + 2; ++d) {
      const int32_t lo = std::max(0, d - X - 1), hi = std::min(Y + 1, d);
      row[d] = start - lo;
      start += hi - lo + 1 + kRowPadding;
      const int32_t inner = std::max(0, std::min(Y, d - 1) - std::max(1, d - X) + 1);
      vectors[d] = (inner + 7) / 8;
      runStart[d] = d > 0 && vectors[d - 1] == vectors[d] ? runStart[d - 1] : d;
    }
    plane = start;
  }
};

// How far a pass has come: every hyperplane up to `done` has had all of the pass's sweeps.
struct alignas(64) PassProgress {
  std::atomic<int32_t> done{0};
};

struct Workspace {
  SkewedLayout layout;
  std::vector<float> x, rhs;
  PassProgress progress[kPasses];

  void Reserve(int32_t X, int32_t Y, int32_t Z) {
    if (layout.X == X && layout.Y == Y && layout.Z == Z) return;
    layout.Build(X, Y, Z);
    const size_t slots = size_t((int64_t(Z) + 2) * layout.plane + kEndPadding);
    x.assign(slots, 0.0f);
    rhs.assign(slots, 0.0f);
  }
};

// One workspace per relaxation of a batch.
Workspace& TheWorkspace(int slot) {
  static Workspace workspaces[kRelaxSlots];
  return workspaces[slot];
}

struct Relaxation {
  const SkewedLayout& layout;
  float* x;           // skewed copies
  float* rhs;
  int32_t mode;
  float a, c;
  PassProgress* progress;
  float* field;       // the caller's fields
  const float* source;
};

// Sweeps the cells of row d of plane k, in kVectors vectors (0: a loop over as many as needed).
template <int kVectors>
SOLVER_INLINE void SweepRow(const Relaxation& r, const Vec8& a, const Vec8& c, int32_t k,
                            int32_t d) {
  const SkewedLayout& L = r.layout;
  const int64_t P = L.plane;
  const int64_t* row = L.row.data();
  float* xk = r.x + int64_t(k) * P;
  const int32_t jlo = std::max(1, d - L.X), jhi = std::min(L.Y, d - 1);
  const float* lower = xk + row[d - 1];  // (i-1, j) at [j], (i, j-1) at [j-1]
  const float* upper = xk + row[d + 1];  // (i+1, j) at [j], (i, j+1) at [j+1]
  float* cell = xk + row[d];
  const float* below = cell - P;
  const float* above = cell + P;
  const float* b = r.rhs + int64_t(k) * P + row[d];
  auto eight = [&](int32_t j) {
    Vec8 sum = Load8(lower + j) + Load8(upper + j);
    sum = sum + Load8(lower + j - 1);
    sum = sum + Load8(upper + j + 1);
    sum = sum + Load8(below + j);
    sum = sum + Load8(above + j);
    Vec8 v = (sum * a + Load8(b + j)) / c;
    // Past the end of the row the slots keep their values.
    v = FirstLanes(jhi + 1 - j, v, Load8(cell + j));
    Store8(cell + j, v);
  };
  if (kVectors == 0) {
    for (int32_t j = jlo; j <= jhi; j += 8) eight(j);
  } else {
    for (int32_t m = 0; m < kVectors; ++m) eight(jlo + 8 * m);
  }
}

template <int kVectors>
SOLVER_INLINE void SweepRows(const Relaxation& r, const Vec8& a, const Vec8& c, int32_t h,
                             int32_t kFirst, int32_t kLast) {
  for (int32_t k = kFirst; k <= kLast; ++k) SweepRow<kVectors>(r, a, c, k, h - k);
}

// Sweeps the cells with i + j + k = h. Rows that take the same number of vectors are swept by
// one loop with that number built in: a vector loop whose length changed from row to row would
// cost a mispredicted branch per row.
SOLVER_INLINE void SweepHyperplaneBody(const Relaxation& r, int32_t h) {
  const SkewedLayout& L = r.layout;
  const Vec8 a = Splat8(r.a), c = Splat8(r.c);
  const int32_t kFirst = std::max(1, h - L.X - L.Y), kLast = std::min(L.Z, h - 2);
  for (int32_t k = kFirst; k <= kLast;) {
    const int32_t kEnd = std::min(kLast, h - L.runStart[h - k]);
    switch (L.vectors[h - k]) {
      case 1: SweepRows<1>(r, a, c, h, k, kEnd); break;
      case 2: SweepRows<2>(r, a, c, h, k, kEnd); break;
      case 3: SweepRows<3>(r, a, c, h, k, kEnd); break;
      case 4: SweepRows<4>(r, a, c, h, k, kEnd); break;
      default: SweepRows<0>(r, a, c, h, k, kEnd); break;
    }
    k = kEnd + 1;
  }
}

// -v when `sign` is the sign bit, v when it is 0.
SOLVER_INLINE float FlipSign(uint32_t sign, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  bits ^= sign;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// The boundary rule's faces next to the cells of hyperplane h, from those cells: the x and y faces
// of planes 1 .. Z and the inner rectangles of planes 0 and Z + 1. Each face is read only by the
// cell it copies, so writing it right after that cell's sweep gives the next sweep what the
// boundary rule after the whole sweep would.
SOLVER_INLINE void WriteHyperplaneFaces(const Relaxation& r, int32_t h) {
  const SkewedLayout& L = r.layout;
  const int32_t X = L.X, Y = L.Y, Z = L.Z;
  const int64_t P = L.plane;
  const int64_t* row = L.row.data();
  // The sign bit to flip on each axis's faces (the mirrored component's, -v exactly).
  const uint32_t sx = r.mode == 1 ? 0x80000000u : 0, sy = r.mode == 2 ? 0x80000000u : 0;
  const uint32_t sz = r.mode == 3 ? 0x80000000u : 0;
  const int32_t kFirst = std::max(1, h - X - Y), kLast = std::min(Z, h - 2);
  // Plane k holds row d = h - k; its first inner cell is (X, d - X) or (d - 1, 1), its last
  // (1, d - 1) or (d - Y, Y). Each loop runs over the planes where the face exists.
  float* x = r.x;
  for (int32_t k = std::max(kFirst, h - Y - 1); k <= kLast; ++k) {  // (0, j) from (1, j)
    const int32_t d = h - k;
    x[k * P + row[d - 1] + d - 1] = FlipSign(sx, x[k * P + row[d] + d - 1]);
  }
  for (int32_t k = kFirst; k <= std::min(kLast, h - X - 1); ++k) {  // (X+1, j) from (X, j)
    const int32_t d = h - k;
    x[k * P + row[d + 1] + d - X] = FlipSign(sx, x[k * P + row[d] + d - X]);
  }
  for (int32_t k = std::max(kFirst, h - X - 1); k <= kLast; ++k) {  // (i, 0) from (i, 1)
    const int32_t d = h - k;
    x[k * P + row[d - 1]] = FlipSign(sy, x[k * P + row[d] + 1]);
  }
  for (int32_t k = kFirst; k <= std::min(kLast, h - Y - 1); ++k) {  // (i, Y+1) from (i, Y)
    const int32_t d = h - k;
    x[k * P + row[d + 1] + Y + 1] = FlipSign(sy, x[k * P + row[d] + Y]);
  }
  for (int side = 0; side < 2; ++side) {  // (i, j, 0) from (i, j, 1), (i, j, Z+1) from (i, j, Z)
    const int32_t k = side == 0 ? 1 : Z, d = h - k;
    if (k < kFirst || k > kLast) continue;
    const int32_t jlo = std::max(1, d - X), jhi = std::min(Y, d - 1);
    float* face = x + (side == 0 ? 0 : (int64_t(Z) + 1) * P) + row[d];
    const float* cell = x + k * P + row[d];
    for (int32_t j = jlo; j <= jhi; ++j) face[j] = FlipSign(sz, cell[j]);
  }
}

// Copies between the field and the skewed layout: every cell of planes 1 .. Z and the inner
// rectangle (the z faces) of planes 0 and Z + 1.
template <bool kToSkewed>
void CopyPlanes(const SkewedLayout& L, float* field, float* skewed) {
  const int64_t sx = int64_t(L.X) + 2, sxy = sx * (int64_t(L.Y) + 2);
  for (int32_t k = 0; k <= L.Z + 1; ++k) {
    const bool face = k == 0 || k == L.Z + 1;
    const int32_t first = face ? 1 : 0;
    const int32_t jEnd = face ? L.Y : L.Y + 1, iEnd = face ? L.X : L.X + 1;
    for (int32_t j = first; j <= jEnd; ++j) {
      float* f = field + sxy * k + sx * j;
      float* s = skewed + L.plane * k + j;
      for (int32_t i = first; i <= iEnd; ++i) {
        if (kToSkewed)
          s[L.row[i + j]] = f[i];
        else
          f[i] = s[L.row[i + j]];
      }
    }
  }
}

// Runs the sweeps of pass p. The faces next to a step's hyperplanes are written at the start of
// the next step, from cells stored a step earlier rather than just now. The first sweep works on
// hyperplane h only once the previous pass has finished h + 2 (faces included): h + 1 then holds
// that pass's last sweep, and no value is touched by both passes at once. This pass reads and
// writes slots of hyperplanes up to h + 1 (vector lanes past a row's end fall in its padding or
// its face slots), while the previous one sweeps h + 3 and beyond and writes faces from h + 2 on.
// The first pass copies the fields into the skewed layout, the last copies the result back.
SOLVER_INLINE void RunPassBody(const Relaxation& r, int p) {
  const SkewedLayout& L = r.layout;
  const int32_t last = L.X + L.Y + L.Z;
  if (p == 0) {
    CopyPlanes<true>(L, r.field, r.x);
    CopyPlanes<true>(L, const_cast<float*>(r.source), r.rhs);
  }
  const std::atomic<int32_t>* previous = p > 0 ? &r.progress[p - 1].done : nullptr;
  std::atomic<int32_t>& done = r.progress[p].done;
  constexpr int32_t kSpan = kLag * (kSweepsPerPass - 1);  // from the first sweep to the last
  for (int32_t step = kFirstHyperplane; step <= last + kSpan + 1; ++step) {
    // (Plain loops: a lambda would not be compiled for AVX2 with this function.)
    for (int32_t q = 0, h = step - 1; q < kSweepsPerPass && h >= kFirstHyperplane; ++q, h -= kLag) {
      if (h <= last) WriteHyperplaneFaces(r, h);
    }
    if (step - 1 - kSpan >= kFirstHyperplane) {
      done.store(step - 1 - kSpan, std::memory_order_release);
    }
    if (previous != nullptr) WaitUntilAtLeast(*previous, std::min(step + 2, last));
    for (int32_t q = 0, h = step; q < kSweepsPerPass && h >= kFirstHyperplane; ++q, h -= kLag) {
      if (h <= last) SweepHyperplaneBody(r, h);
    }
  }
  if (p == kPasses - 1) {
    CopyPlanes<false>(L, r.field, r.x);
    ApplyCornerRule(L.X, L.Y, L.Z, r.field);
  }
}

__attribute__((target("avx2"))) void RunPassAvx2(const Relaxation& r, int p) { RunPassBody(r, p); }
void RunPassGeneric(const Relaxation& r, int p) { RunPassBody(r, p); }

}  // namespace

bool ShareRelaxations(int32_t X, int32_t Y, int32_t Z) {
  return int64_t(X) * Y * Z >= kShareRelaxationCells && SecondThreadEnabled();
}

bool ShareWork(int32_t X, int32_t Y, int32_t Z) {
  return int64_t(X) * Y * Z >= kTwoThreadCells && SecondThreadEnabled();
}

void RelaxAll(const RelaxJob* jobs, int count, bool split, int32_t X, int32_t Y, int32_t Z) {
  for (int n = 0; n < count; ++n) {
    Workspace& w = TheWorkspace(n);
    w.Reserve(X, Y, Z);
    for (PassProgress& p : w.progress) p.done.store(kFirstHyperplane - 1, std::memory_order_relaxed);
  }
  // Task t is pass t % kPasses of relaxation t / kPasses. Tasks are taken in order, so a pass
  // never waits for one that nobody has taken.
  auto task = [jobs](int t) {
    const RelaxJob& j = jobs[t / kPasses];
    Workspace& w = TheWorkspace(t / kPasses);
    const Relaxation r{w.layout, w.x.data(), w.rhs.data(), j.mode, j.a, j.c, w.progress, j.x, j.x0};
    Avx2Enabled() ? RunPassAvx2(r, t % kPasses) : RunPassGeneric(r, t % kPasses);
  };
  if (split) {
    RunTasks(count * kPasses, task);
  } else {
    for (int t = 0; t < count * kPasses; ++t) task(t);
  }
}

}  // namespace solver_detail

void RelaxLinear(int32_t X, int32_t Y, int32_t Z, int32_t mode, float* x, const float* x0,
                 float a, float c) {
  const solver_detail::RelaxJob job{mode, x, x0, a, c};
  solver_detail::RelaxAll(&job, 1, solver_detail::ShareRelaxations(X, Y, Z), X, Y, Z);
}

void ReserveSolverWorkspace(int32_t X, int32_t Y, int32_t Z) {
  using namespace solver_detail;
  // Without sharing, only the first scratch space is used.
  const int slots = ShareRelaxations(X, Y, Z) ? kRelaxSlots : 1;
  for (int slot = 0; slot < slots; ++slot) TheWorkspace(slot).Reserve(X, Y, Z);
}
