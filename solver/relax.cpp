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
// The sweeps write no faces: each face is read only by the cell next to it and, from the second
// sweep on, holds that cell's mirrored value from the sweep before, which the kernel takes from
// the cell itself. The boundary rule is applied to the field once, after the last sweep.
#include <xmmintrin.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
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
// other thread when two share the work: then each thread runs one pass of ten sweeps. One thread
// runs four passes of five, whose shorter wavefronts keep a large grid's hyperplanes in its
// cache (a 64³ relaxation takes about a fifth less time than in two passes).
constexpr int kSharedPasses = 2, kOneThreadPasses = 4, kMaxPasses = 4;
static_assert(kSweeps % kSharedPasses == 0 && kSweeps % kOneThreadPasses == 0,
              "passes share the sweeps evenly");
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
    PassProgress progress[kMaxPasses];

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
    float* x;  // skewed copies
    float* rhs;
    int32_t mode;
    int passes;
    // The sign bit to flip on each axis's faces (the mirrored component's, -v exactly), or 0.
    uint32_t signX, signY, signZ;
    float a, c;
    PassProgress* progress;
    float* field;  // the caller's fields
    const float* source;
    // Whether the first pass copies the fields in and the last copies the result out (otherwise
    // the caller does, with both threads).
    bool copyIn, copyOut;
};

// `mirrored` in lane n, `v` in the others.
SOLVER_INLINE Vec8 InLane(int32_t n, Vec8 mirrored, Vec8 v) {
    const Int8 lane = {0, 1, 2, 3, 4, 5, 6, 7};
    const Int8 wanted = {n, n, n, n, n, n, n, n};
    return lane == wanted ? mirrored : v;
}

SOLVER_INLINE Vec8 FlipSigns(Vec8 v, uint32_t sign) {
    const int32_t s = int32_t(sign);
    const Int8 flip = {s, s, s, s, s, s, s, s};
    return Vec8(Int8(v) ^ flip);
}

// Sweeps the cells of row d of plane k, in kVectors vectors (0: a loop over as many as needed).
//
// After a sweep the boundary rule sets each face to the mirrored value of the one cell next to
// it, and only that cell reads it. From the second sweep on (kMirror), a cell therefore takes what
// a face would hold from its own value before this sweep, and no face is written at all; the first
// sweep reads the faces the field came with. The x and y faces belong to the first and last cells
// of a row, the z faces to whole rows of planes 1 and Z.
template <int kVectors, bool kMirror>
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
    const bool zLow = k == 1, zHigh = k == L.Z;
    const bool xHigh = jlo == d - L.X, yLow = jlo == 1;  // the first cell's faces
    const bool xLow = jhi == d - 1, yHigh = jhi == L.Y;  // the last cell's
    auto eight = [&](int32_t j, bool first, bool last) {
        const Vec8 old = Load8(cell + j);
        Vec8 xl = Load8(lower + j), xh = Load8(upper + j);
        Vec8 yl = Load8(lower + j - 1), yh = Load8(upper + j + 1);
        Vec8 zl = Load8(below + j), zh = Load8(above + j);
        if (kMirror) {
            const Vec8 mx = FlipSigns(old, r.signX), my = FlipSigns(old, r.signY);
            if (first) {
                xh = InLane(xHigh ? 0 : -1, mx, xh);
                yl = InLane(yLow ? 0 : -1, my, yl);
            }
            if (last) {
                xl = InLane(xLow ? jhi - j : -1, mx, xl);
                yh = InLane(yHigh ? jhi - j : -1, my, yh);
            }
            if (zLow) zl = FlipSigns(old, r.signZ);
            if (zHigh) zh = FlipSigns(old, r.signZ);
        }
        Vec8 sum = xl + xh;
        sum = sum + yl;
        sum = sum + yh;
        sum = sum + zl;
        sum = sum + zh;
        Vec8 v = (sum * a + Load8(b + j)) / c;
        // Past the end of the row the slots keep their values.
        if (last) v = FirstLanes(jhi + 1 - j, v, old);
        Store8(cell + j, v);
    };
    if (kVectors == 0) {
        eight(jlo, true, false);  // rows of more than four vectors
        int32_t j = jlo + 8;
        for (; j + 8 <= jhi; j += 8) eight(j, false, false);
        eight(j, false, true);
    } else {
        for (int32_t m = 0; m < kVectors; ++m) eight(jlo + 8 * m, m == 0, m == kVectors - 1);
    }
}

template <int kVectors, bool kMirror>
SOLVER_INLINE void SweepRows(const Relaxation& r, const Vec8& a, const Vec8& c, int32_t h,
                             int32_t kFirst, int32_t kLast) {
    for (int32_t k = kFirst; k <= kLast; ++k) SweepRow<kVectors, kMirror>(r, a, c, k, h - k);
}

// Sweeps the cells with i + j + k = h. Rows that take the same number of vectors are swept by
// one loop with that number built in: a vector loop whose length changed from row to row would
// cost a mispredicted branch per row.
template <bool kMirror>
SOLVER_INLINE void SweepHyperplaneBody(const Relaxation& r, int32_t h) {
    const SkewedLayout& L = r.layout;
    const Vec8 a = Splat8(r.a), c = Splat8(r.c);
    const int32_t kFirst = std::max(1, h - L.X - L.Y), kLast = std::min(L.Z, h - 2);
    for (int32_t k = kFirst; k <= kLast;) {
        const int32_t kEnd = std::min(kLast, h - L.runStart[h - k]);
        switch (L.vectors[h - k]) {
            case 1:
                SweepRows<1, kMirror>(r, a, c, h, k, kEnd);
                break;
            case 2:
                SweepRows<2, kMirror>(r, a, c, h, k, kEnd);
                break;
            case 3:
                SweepRows<3, kMirror>(r, a, c, h, k, kEnd);
                break;
            case 4:
                SweepRows<4, kMirror>(r, a, c, h, k, kEnd);
                break;
            default:
                SweepRows<0, kMirror>(r, a, c, h, k, kEnd);
                break;
        }
        k = kEnd + 1;
    }
}

// Copies cells of planes [k0, k1) between the field and the skewed layout: the inner cells, and
// with `faces` also the rest of planes 1 .. Z and the inner rectangles (the z faces) of planes 0
// and Z + 1.
template <bool kToSkewed>
void CopyCells(const SkewedLayout& L, float* field, float* skewed, bool faces, int32_t k0,
               int32_t k1) {
    const int64_t sx = int64_t(L.X) + 2, sxy = sx * (int64_t(L.Y) + 2);
    k0 = std::max(k0, faces ? 0 : 1);
    k1 = std::min(k1, faces ? L.Z + 2 : L.Z + 1);
    for (int32_t k = k0; k < k1; ++k) {
        const bool innerOnly = !faces || k == 0 || k == L.Z + 1;
        const int32_t first = innerOnly ? 1 : 0;
        const int32_t jEnd = innerOnly ? L.Y : L.Y + 1, iEnd = innerOnly ? L.X : L.X + 1;
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

// Planes [k0, k1) of the field and the source into the skewed layout (the field's with its faces,
// which the first sweep reads).
void CopyIn(const Relaxation& r, int32_t k0, int32_t k1) {
    CopyCells<true>(r.layout, r.field, r.x, true, k0, k1);
    CopyCells<true>(r.layout, const_cast<float*>(r.source), r.rhs, false, k0, k1);
}

void CopyOut(const Relaxation& r, int32_t k0, int32_t k1) {
    CopyCells<false>(r.layout, r.field, r.x, false, k0, k1);
}

// Runs the sweeps of pass p. The first sweep works on hyperplane h only once the previous pass
// has finished h + 1, so that no value is written by one pass while the other uses it: this pass
// reads hyperplanes h - 1 .. h + 1 and writes h (vector lanes past a row's end fall in its
// padding or face slots and keep their values), while the previous one reads h + 1 and beyond and
// writes h + 2 and beyond.
// The first pass copies the fields into the skewed layout, the last copies the result back.
SOLVER_INLINE void RunPassBody(const Relaxation& r, int p) {
    const SkewedLayout& L = r.layout;
    const int32_t last = L.X + L.Y + L.Z;
    if (p == 0 && r.copyIn) CopyIn(r, 0, L.Z + 2);
    const std::atomic<int32_t>* previous = p > 0 ? &r.progress[p - 1].done : nullptr;
    std::atomic<int32_t>& done = r.progress[p].done;
    const int sweepsPerPass = kSweeps / r.passes;
    const int32_t span = kLag * (sweepsPerPass - 1);  // from the first sweep to the last
    for (int32_t step = kFirstHyperplane; step <= last + span; ++step) {
        if (previous != nullptr) WaitUntilAtLeast(*previous, std::min(step + 1, last));
        // (A plain loop: a lambda would not be compiled for AVX2 with this function.)
        for (int32_t q = 0, h = step; q < sweepsPerPass && h >= kFirstHyperplane; ++q, h -= kLag) {
            if (h > last) continue;
            if (p == 0 && q == 0) {
                SweepHyperplaneBody<false>(r, h);
            } else {
                SweepHyperplaneBody<true>(r, h);
            }
        }
        if (step - span >= kFirstHyperplane) done.store(step - span, std::memory_order_release);
    }
    if (p == r.passes - 1 && r.copyOut) {
        CopyOut(r, 0, L.Z + 2);
        ApplyBoundary(L.X, L.Y, L.Z, r.mode, r.field);
    }
}

__attribute__((target("avx2"))) void RunPassAvx2(const Relaxation& r, int p) { RunPassBody(r, p); }
void RunPassGeneric(const Relaxation& r, int p) { RunPassBody(r, p); }

// A relaxation without coupling (a = 0, c = 1) sets every inner cell to (sum * 0 + b) / 1. While
// the neighbour sum is finite, that is b itself, except for b = -0 (-0 + +0 is +0). So when b
// holds no -0, no value read is larger than an eighth of the largest float (six of them then
// cannot overflow), and the floating-point environment is the default one (round to nearest,
// subnormals kept, no traps), the sweeps leave exactly b in the inner cells: the relaxation is a
// copy. Density diffusion at rate 0, the demo's, is one.
bool IsPlainCopy(const RelaxJob& job, int32_t X, int32_t Y, int32_t Z) {
    if (job.a != 0.0f || job.c != 1.0f || (_mm_getcsr() & 0xffc0) != 0x1f80) return false;
    // Compared as bit patterns (magnitude bits order like the magnitudes; NaN and infinity lie
    // above the limit), so that the loops vectorise.
    const float limit = std::numeric_limits<float>::max() / 8.0f;
    uint32_t limitBits;
    std::memcpy(&limitBits, &limit, sizeof limitBits);
    const int64_t sx = int64_t(X) + 2, sxy = sx * (int64_t(Y) + 2);
    bool fits = true;
    for (int64_t n = 0; n < sxy * (int64_t(Z) + 2); ++n) {
        uint32_t bits;
        std::memcpy(&bits, &job.x[n], sizeof bits);
        fits &= (bits & 0x7fffffffu) <= limitBits;
    }
    for (int32_t k = 1; k <= Z; ++k) {
        for (int32_t j = 1; j <= Y; ++j) {
            const float* b = job.x0 + sxy * k + sx * j;
            for (int32_t i = 1; i <= X; ++i) {
                uint32_t bits;
                std::memcpy(&bits, &b[i], sizeof bits);
                fits &= (bits & 0x7fffffffu) <= limitBits && bits != 0x80000000u;
            }
        }
    }
    return fits;
}

void CopyInnerCellsAndApplyBoundary(const RelaxJob& job, int32_t X, int32_t Y, int32_t Z) {
    const int64_t sx = int64_t(X) + 2, sxy = sx * (int64_t(Y) + 2);
    for (int32_t k = 1; k <= Z; ++k) {
        for (int32_t j = 1; j <= Y; ++j) {
            const int64_t first = sxy * k + sx * j + 1;
            std::memcpy(job.x + first, job.x0 + first, size_t(X) * sizeof(float));
        }
    }
    ApplyBoundary(X, Y, Z, job.mode, job.x);
}

}  // namespace

bool ShareRelaxations(int32_t X, int32_t Y, int32_t Z) {
    return int64_t(X) * Y * Z >= kShareRelaxationCells && SecondThreadEnabled();
}

bool ShareWork(int32_t X, int32_t Y, int32_t Z) {
    return int64_t(X) * Y * Z >= kTwoThreadCells && SecondThreadEnabled();
}

void RelaxAll(const RelaxJob* given, int givenCount, bool split, int32_t X, int32_t Y, int32_t Z) {
    RelaxJob jobs[kRelaxSlots];
    int count = 0;
    for (int n = 0; n < givenCount; ++n) {
        if (IsPlainCopy(given[n], X, Y, Z)) {
            CopyInnerCellsAndApplyBoundary(given[n], X, Y, Z);
        } else {
            jobs[count++] = given[n];
        }
    }
    for (int n = 0; n < count; ++n) {
        Workspace& w = TheWorkspace(n);
        w.Reserve(X, Y, Z);
        for (PassProgress& p : w.progress) {
            p.done.store(kFirstHyperplane - 1, std::memory_order_relaxed);
        }
    }
    // Task t is pass t % passes of relaxation t / passes. Tasks are taken in order, so a pass
    // never waits for one that nobody has taken. A later relaxation copies its fields in while the
    // one before finishes; on large grids both threads copy the first one in and the last one out,
    // which would otherwise leave the other thread idle.
    const bool shareCopies = split && ShareWork(X, Y, Z);
    const int passes = split ? kSharedPasses : kOneThreadPasses;
    const auto relaxation = [&](int n) {
        const RelaxJob& j = jobs[n];
        Workspace& w = TheWorkspace(n);
        const uint32_t sign = 0x80000000u;
        return Relaxation{w.layout,
                          w.x.data(),
                          w.rhs.data(),
                          j.mode,
                          passes,
                          j.mode == 1 ? sign : 0,
                          j.mode == 2 ? sign : 0,
                          j.mode == 3 ? sign : 0,
                          j.a,
                          j.c,
                          w.progress,
                          j.x,
                          j.x0,
                          !(shareCopies && n == 0),
                          !(shareCopies && n == count - 1)};
    };
    const auto pass = [&](int t) {
        const Relaxation r = relaxation(t / passes);
        Avx2Enabled() ? RunPassAvx2(r, t % passes) : RunPassGeneric(r, t % passes);
    };
    const int32_t half = (Z + 2) / 2;
    if (shareCopies && count > 0) {
        const Relaxation first = relaxation(0);
        RunTasks(2, [&](int t) { CopyIn(first, t == 0 ? 0 : half, t == 0 ? half : Z + 2); });
    }
    if (split) {
        RunTasks(count * passes, pass);
    } else {
        for (int t = 0; t < count * passes; ++t) pass(t);
    }
    if (shareCopies && count > 0) {
        const Relaxation last = relaxation(count - 1);
        RunTasks(2, [&](int t) { CopyOut(last, t == 0 ? 0 : half, t == 0 ? half : Z + 2); });
        ApplyBoundary(X, Y, Z, last.mode, last.field);
    }
}

}  // namespace solver_detail

void RelaxLinear(int32_t X, int32_t Y, int32_t Z, int32_t mode, float* x, const float* x0, float a,
                 float c) {
    const solver_detail::RelaxJob job{mode, x, x0, a, c};
    solver_detail::RelaxAll(&job, 1, solver_detail::ShareRelaxations(X, Y, Z), X, Y, Z);
}

void ReserveSolverWorkspace(int32_t X, int32_t Y, int32_t Z) {
    using namespace solver_detail;
    // Without sharing, only the first scratch space is used.
    const int slots = ShareRelaxations(X, Y, Z) ? kRelaxSlots : 1;
    for (int slot = 0; slot < slots; ++slot) TheWorkspace(slot).Reserve(X, Y, Z);
}
