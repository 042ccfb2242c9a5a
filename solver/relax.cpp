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
// The boundary rule between sweeps only matters to the next sweep, and each face cell is read
// only by the inner cell it copies. So a face is written as soon as its inner cell has its value
// for the sweep, and the corners (never read by a sweep) once at the end.
//
// On large grids two threads take alternate sweeps: sweep s + 1 works on hyperplane h once sweep
// s has finished hyperplane h + kLag (everything that h reads of sweep s lies on h + 1 or below).
#include <algorithm>
#include <atomic>
#include <vector>

#include "solver/simd.h"
#include "solver/steps.h"
#include "solver/two_threads.h"

namespace solver_detail {
namespace {

constexpr int kSweeps = 20;
// Vector reads and writes run up to seven slots past the last cell of a row. Those slots keep
// their values, and the padding between planes keeps them inside the plane, so that the two
// threads below never touch the same slot at the same time.
constexpr int64_t kPlanePadding = 8;
constexpr int64_t kPadding = 64;
// From this many inner cells on, the sweeps are split between two threads.
constexpr int64_t kTwoThreadCells = 24 * 24 * 24;
// How many hyperplanes a sweep stays behind the one before it. A row's vectors reach at most
// four hyperplanes ahead (seven slots past its end, in its own plane and the planes beside it).
constexpr int32_t kLag = 6;

struct SkewedLayout {
  int32_t X = -1, Y = -1, Z = -1;
  int64_t plane = 0;         // distance between planes: (X + 2)(Y + 2) slots and kPlanePadding
  std::vector<int64_t> row;  // cell (d - j, j) of a plane lies at slot row[d] + j

  void Build(int32_t x, int32_t y, int32_t z) {
    X = x;
    Y = y;
    Z = z;
    plane = (int64_t(X) + 2) * (int64_t(Y) + 2) + kPlanePadding;
    row.assign(size_t(X) + size_t(Y) + 3, 0);
    int64_t start = 0;
    for (int32_t d = 0; d <= X + Y + 2; ++d) {
      const int32_t lo = std::max(0, d - X - 1), hi = std::min(Y + 1, d);
      row[d] = start - lo;
      start += hi - lo + 1;
    }
  }
};

struct Workspace {
  SkewedLayout layout;
  std::vector<float> x, rhs;

  void Reserve(int32_t X, int32_t Y, int32_t Z) {
    if (layout.X == X && layout.Y == Y && layout.Z == Z) return;
    layout.Build(X, Y, Z);
    const size_t slots = size_t((int64_t(Z) + 2) * layout.plane + kPadding);
    x.assign(slots, 0.0f);
    rhs.assign(slots, 0.0f);
  }
};

Workspace& TheWorkspace() {
  static Workspace workspace;
  return workspace;
}

struct Relaxation {
  const SkewedLayout& layout;
  float* x;
  const float* rhs;
  int32_t mode;
  float a, c;
};

// Sweeps the cells of row d of plane k, then writes the faces that copy them.
SOLVER_INLINE void SweepRow(const Relaxation& r, const Vec8& a, const Vec8& c, int32_t k,
                            int32_t d) {
  const SkewedLayout& L = r.layout;
  const int32_t X = L.X, Y = L.Y, Z = L.Z;
  const int64_t P = L.plane;
  const int64_t* row = L.row.data();
  float* xk = r.x + int64_t(k) * P;
  const int32_t jlo = std::max(1, d - X), jhi = std::min(Y, d - 1);
  const float* lower = xk + row[d - 1];  // (i-1, j) at [j], (i, j-1) at [j-1]
  const float* upper = xk + row[d + 1];  // (i+1, j) at [j], (i, j+1) at [j+1]
  float* cell = xk + row[d];
  const float* below = cell - P;
  const float* above = cell + P;
  const float* b = r.rhs + int64_t(k) * P + row[d];
  for (int32_t j = jlo; j <= jhi; j += 8) {
    Vec8 sum = Load8(lower + j) + Load8(upper + j);
    sum = sum + Load8(lower + j - 1);
    sum = sum + Load8(upper + j + 1);
    sum = sum + Load8(below + j);
    sum = sum + Load8(above + j);
    Vec8 v = (sum * a + Load8(b + j)) / c;
    // Past the end of the row the slots keep their values.
    v = FirstLanes(jhi + 1 - j, v, Load8(cell + j));
    Store8(cell + j, v);
  }

  const int32_t mode = r.mode;
  auto mirror = [mode](int32_t axis, float v) { return mode == axis ? -v : v; };
  float* lowerRow = xk + row[d - 1];
  float* upperRow = xk + row[d + 1];
  if (d - 1 <= Y) lowerRow[d - 1] = mirror(1, cell[d - 1]);  // (0, j) from (1, j)
  if (d - X >= 1) upperRow[d - X] = mirror(1, cell[d - X]);  // (X+1, j) from (X, j)
  if (d - 1 <= X) lowerRow[0] = mirror(2, cell[1]);          // (i, 0) from (i, 1)
  if (d - Y >= 1) upperRow[Y + 1] = mirror(2, cell[Y]);      // (i, Y+1) from (i, Y)
  auto zFace = [&](float* face) {
    for (int32_t j = jlo; j <= jhi; ++j) face[j] = mirror(3, cell[j]);
  };
  if (k == 1) zFace(cell - P);
  if (k == Z) zFace(cell + P);
}

// Sweeps the cells with i + j + k = h.
SOLVER_INLINE void SweepHyperplaneBody(const Relaxation& r, int32_t h) {
  const SkewedLayout& L = r.layout;
  const Vec8 a = Splat8(r.a), c = Splat8(r.c);
  const int32_t kFirst = std::max(1, h - L.X - L.Y), kLast = std::min(L.Z, h - 2);
  for (int32_t k = kFirst; k <= kLast; ++k) SweepRow(r, a, c, k, h - k);
}

__attribute__((target("avx2"))) void SweepHyperplaneAvx2(const Relaxation& r, int32_t h) {
  SweepHyperplaneBody(r, h);
}
void SweepHyperplaneGeneric(const Relaxation& r, int32_t h) { SweepHyperplaneBody(r, h); }

// Copies planes [k0, k1) between the field and the skewed layout: every cell of planes 1 .. Z
// and the inner rectangle (the z faces) of planes 0 and Z + 1.
template <bool kToSkewed>
void CopyPlanes(const SkewedLayout& L, float* field, float* skewed, int32_t k0, int32_t k1) {
  const int64_t sx = int64_t(L.X) + 2, sxy = sx * (int64_t(L.Y) + 2);
  for (int32_t k = k0; k < k1; ++k) {
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

// Runs fn(k0, k1) over the planes 0 .. Z + 1, on two threads when `split`.
template <class F>
void ForPlanes(const SkewedLayout& L, bool split, const F& fn) {
  const int32_t planes = L.Z + 2;
  if (!split) return fn(0, planes);
  RunOnTwoThreads([&](int part) { part == 0 ? fn(0, planes / 2) : fn(planes / 2, planes); });
}

struct alignas(64) Progress {
  std::atomic<int64_t> done{-1};
};

}  // namespace
}  // namespace solver_detail

void RelaxLinear(int32_t X, int32_t Y, int32_t Z, int32_t mode, float* x, const float* x0,
                 float a, float c) {
  using namespace solver_detail;
  Workspace& w = TheWorkspace();
  w.Reserve(X, Y, Z);
  const SkewedLayout& L = w.layout;
  const bool split = int64_t(X) * Y * Z >= kTwoThreadCells && SecondThreadEnabled();
  float* rhs = w.rhs.data();

  ForPlanes(L, split, [&](int32_t k0, int32_t k1) {
    CopyPlanes<true>(L, x, w.x.data(), k0, k1);
    CopyPlanes<true>(L, const_cast<float*>(x0), rhs, k0, k1);
  });

  void (*const sweep)(const Relaxation&, int32_t) =
      Avx2Enabled() ? &SweepHyperplaneAvx2 : &SweepHyperplaneGeneric;
  const Relaxation r{L, w.x.data(), rhs, mode, a, c};
  const int32_t first = 3, last = X + Y + Z;  // hyperplanes holding inner cells
  if (!split) {
    for (int s = 0; s < kSweeps; ++s)
      for (int32_t h = first; h <= last; ++h) sweep(r, h);
  } else {
    // Position of hyperplane h of sweep s in the sequence of all sweeps.
    const int64_t perSweep = last - first + 1;
    auto position = [&](int s, int32_t h) { return s * perSweep + (h - first); };
    Progress progress[2];
    RunOnTwoThreads([&](int part) {
      const Progress& other = progress[1 - part];
      int64_t seen = -1;
      for (int s = part; s < kSweeps; s += 2) {
        for (int32_t h = first; h <= last; ++h) {
          if (s > 0) {
            const int64_t needed = position(s - 1, std::min(h + kLag, last));
            if (seen < needed) {
              WaitUntil([&] { return (seen = other.done.load(std::memory_order_acquire)) >= needed; });
            }
          }
          sweep(r, h);
          progress[part].done.store(position(s, h), std::memory_order_release);
        }
      }
    });
  }

  ForPlanes(L, split,
            [&](int32_t k0, int32_t k1) { CopyPlanes<false>(L, x, w.x.data(), k0, k1); });
  ApplyCornerRule(X, Y, Z, x);
}

void ReserveSolverWorkspace(int32_t X, int32_t Y, int32_t Z) {
  solver_detail::TheWorkspace().Reserve(X, Y, Z);
}
