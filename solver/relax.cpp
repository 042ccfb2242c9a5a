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
// The boundary rule after a sweep writes the faces from the skewed inner cells; the corners,
// which no sweep reads, are computed once at the end.
#include <algorithm>
#include <vector>

#include "solver/relax.h"
#include "solver/simd.h"
#include "solver/steps.h"
#include "solver/two_threads.h"

namespace solver_detail {
namespace {

constexpr int kSweeps = 20;
// Vector reads and writes run up to seven slots past the last cell of a row (the written ones
// keep their values). Padding after every row keeps them inside the row: a vector that reached
// into the row written just before it would have to wait for that row's results.
constexpr int64_t kRowPadding = 8;
constexpr int64_t kEndPadding = 64;
// From this many inner cells on, independent relaxations run on two threads; from the second
// count on, loops over planes are shared too.
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

struct Workspace {
  SkewedLayout layout;
  std::vector<float> x, rhs;

  void Reserve(int32_t X, int32_t Y, int32_t Z) {
    if (layout.X == X && layout.Y == Y && layout.Z == Z) return;
    layout.Build(X, Y, Z);
    const size_t slots = size_t((int64_t(Z) + 2) * layout.plane + kEndPadding);
    x.assign(slots, 0.0f);
    rhs.assign(slots, 0.0f);
  }
};

// One workspace per thread that may relax at the same time.
Workspace& TheWorkspace(int slot) {
  static Workspace workspaces[kRelaxSlots];
  return workspaces[slot];
}

struct Relaxation {
  const SkewedLayout& layout;
  float* x;
  const float* rhs;
  int32_t mode;
  float a, c;
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

__attribute__((target("avx2"))) void SweepHyperplaneAvx2(const Relaxation& r, int32_t h) {
  SweepHyperplaneBody(r, h);
}
void SweepHyperplaneGeneric(const Relaxation& r, int32_t h) { SweepHyperplaneBody(r, h); }

// The boundary rule's faces, from the skewed inner cells: the x and y faces of planes 1 .. Z and
// the inner rectangles of planes 0 and Z + 1.
void WriteFaces(const Relaxation& r) {
  const SkewedLayout& L = r.layout;
  const int32_t X = L.X, Y = L.Y, Z = L.Z;
  const int64_t P = L.plane;
  const int64_t* row = L.row.data();
  const int32_t mode = r.mode;
  auto mirror = [mode](int32_t axis, float v) { return mode == axis ? -v : v; };
  for (int32_t k = 1; k <= Z; ++k) {
    float* xk = r.x + int64_t(k) * P;
    for (int32_t j = 1; j <= Y; ++j) {
      xk[row[j] + j] = mirror(1, xk[row[j + 1] + j]);              // (0, j) from (1, j)
      xk[row[X + 1 + j] + j] = mirror(1, xk[row[X + j] + j]);      // (X+1, j) from (X, j)
    }
    for (int32_t i = 1; i <= X; ++i) {
      xk[row[i]] = mirror(2, xk[row[i + 1] + 1]);                  // (i, 0) from (i, 1)
      xk[row[i + Y + 1] + Y + 1] = mirror(2, xk[row[i + Y] + Y]);  // (i, Y+1) from (i, Y)
    }
  }
  float* bottom = r.x;
  float* top = r.x + (int64_t(Z) + 1) * P;
  for (int32_t d = 2; d <= X + Y; ++d) {
    const int32_t jlo = std::max(1, d - X), jhi = std::min(Y, d - 1);
    for (int64_t s = row[d] + jlo; s <= row[d] + jhi; ++s) {
      bottom[s] = mirror(3, bottom[s + P]);  // (i, j, 0) from (i, j, 1)
      top[s] = mirror(3, top[s - P]);        // (i, j, Z+1) from (i, j, Z)
    }
  }
}

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

// Runs fn(k0, k1) over the planes 0 .. Z + 1, in slices shared with the second thread when
// `split`.
template <class F>
void ForPlanes(const SkewedLayout& L, bool split, const F& fn) {
  const int32_t planes = L.Z + 2;
  if (!split) return fn(0, planes);
  RunTasks(kShareSlices,
           [&](int t) { fn(planes * t / kShareSlices, planes * (t + 1) / kShareSlices); });
}

}  // namespace

bool ShareRelaxations(int32_t X, int32_t Y, int32_t Z) {
  return int64_t(X) * Y * Z >= kShareRelaxationCells && SecondThreadEnabled();
}

bool ShareWork(int32_t X, int32_t Y, int32_t Z) {
  return int64_t(X) * Y * Z >= kTwoThreadCells && SecondThreadEnabled();
}

void Relax(int slot, bool splitCopies, int32_t X, int32_t Y, int32_t Z, int32_t mode, float* x,
           const float* x0, float a, float c) {
  Workspace& w = TheWorkspace(slot);
  w.Reserve(X, Y, Z);
  const SkewedLayout& L = w.layout;
  ForPlanes(L, splitCopies, [&](int32_t k0, int32_t k1) {
    CopyPlanes<true>(L, x, w.x.data(), k0, k1);
    CopyPlanes<true>(L, const_cast<float*>(x0), w.rhs.data(), k0, k1);
  });

  void (*const sweepHyperplane)(const Relaxation&, int32_t) =
      Avx2Enabled() ? &SweepHyperplaneAvx2 : &SweepHyperplaneGeneric;
  const Relaxation r{L, w.x.data(), w.rhs.data(), mode, a, c};
  for (int sweep = 0; sweep < kSweeps; ++sweep) {
    for (int32_t h = 3; h <= X + Y + Z; ++h) sweepHyperplane(r, h);
    WriteFaces(r);
  }

  ForPlanes(L, splitCopies,
            [&](int32_t k0, int32_t k1) { CopyPlanes<false>(L, x, w.x.data(), k0, k1); });
  ApplyCornerRule(X, Y, Z, x);
}

}  // namespace solver_detail

void RelaxLinear(int32_t X, int32_t Y, int32_t Z, int32_t mode, float* x, const float* x0,
                 float a, float c) {
  solver_detail::Relax(0, solver_detail::ShareWork(X, Y, Z), X, Y, Z, mode, x, x0, a, c);
}

void ReserveSolverWorkspace(int32_t X, int32_t Y, int32_t Z) {
  using namespace solver_detail;
  // Without sharing, only the first scratch space is used.
  const int slots = ShareRelaxations(X, Y, Z) ? kRelaxSlots : 1;
  for (int slot = 0; slot < slots; ++slot) TheWorkspace(slot).Reserve(X, Y, Z);
}
