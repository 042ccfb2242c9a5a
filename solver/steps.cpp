// The solver steps. Every cell is computed with the operations of the plain formulas, in the
// same order, so the results are the same bits as a one-cell-at-a-time loop; the speed comes from
// computing eight cells at once (AVX2 where the processor has it), from memory-order loops where
// cells do not depend on one another, from the wavefront relaxation of relax.cpp, and on large
// grids from a second thread.
#include "solver/steps.h"

#include <immintrin.h>

#include <atomic>

#include "solver/relax.h"
#include "solver/simd.h"
#include "solver/two_threads.h"

namespace solver_detail {

namespace {

bool CpuHasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}

std::atomic<bool> avx2Enabled{CpuHasAvx2()};

struct Grid {
    int32_t X, Y, Z;
    int64_t sx, sxy;
    Grid(int32_t x, int32_t y, int32_t z)
        : X(x), Y(y), Z(z), sx(int64_t(x) + 2), sxy(sx * (int64_t(y) + 2)) {}
    int64_t At(int32_t i, int32_t j, int32_t k) const { return i + sx * j + sxy * k; }
};

// Runs fn(k0, k1) over the inner planes 1 .. Z; on large grids in slices shared with the second
// thread.
template <class F>
void ForInnerPlanes(const Grid& g, const F& fn) {
    if (!ShareWork(g.X, g.Y, g.Z)) return fn(1, g.Z + 1);
    RunTasks(kShareSlices,
             [&](int t) { fn(1 + g.Z * t / kShareSlices, 1 + g.Z * (t + 1) / kShareSlices); });
}

// ---- Formulas, for one float or eight lanes ----

template <class T>
SOLVER_INLINE T ScaledSum(T target, T source, T dt) {
    return dt * source + target;
}

template <class T>
SOLVER_INLINE T Divergence(T uRight, T uLeft, T vUp, T vDown, T wFront, T wBack, T minusHalf,
                           T width) {
    return minusHalf * (uRight - uLeft + vUp - vDown + wFront - wBack) / width;
}

template <class T>
SOLVER_INLINE T SubtractGradient(T vel, T g, T pHigh, T pLow) {
    return vel - g * (pHigh - pLow);
}

// Trilinear interpolation between the eight values around a back-traced position, stored into
// result. Vectors go by reference both ways so that the AVX callers pass no vector by value to a
// function compiled without AVX (clang refuses that: it would change the calling convention).
template <class T>
SOLVER_INLINE void Trilinear(T& result, const T& s0, const T& s1, const T& t0, const T& t1,
                             const T& r0, const T& r1, const T& v000, const T& v001, const T& v010,
                             const T& v011, const T& v100, const T& v101, const T& v110,
                             const T& v111) {
    result = s0 * (t0 * (r0 * v000 + r1 * v001) + t1 * (r0 * v010 + r1 * v011)) +
             s1 * (t0 * (r0 * v100 + r1 * v101) + t1 * (r0 * v110 + r1 * v111));
}

// ---- AddScaledSource ----

SOLVER_INLINE void AddScaledBody(float* target, const float* source, int64_t cells, float dt) {
    const Vec8 dt8 = Splat8(dt);
    int64_t n = 0;
    for (; n + 8 <= cells; n += 8)
        Store8(target + n, ScaledSum(Load8(target + n), Load8(source + n), dt8));
    for (; n < cells; ++n) target[n] = ScaledSum(target[n], source[n], dt);
}
__attribute__((target("avx2"))) void AddScaledAvx2(float* t, const float* s, int64_t n, float dt) {
    AddScaledBody(t, s, n, dt);
}
void AddScaledGeneric(float* t, const float* s, int64_t n, float dt) { AddScaledBody(t, s, n, dt); }

// ---- ProjectVelocity's two cell loops ----

struct Projection {
    Grid g;
    float* u;
    float* v;
    float* w;
    float* p;
    float* div;
};

SOLVER_INLINE void DivergenceBody(const Projection& q, int32_t k0, int32_t k1) {
    const Grid& g = q.g;
    const float minusHalf = -0.5f, width = float(g.X);
    const Vec8 minusHalf8 = Splat8(minusHalf), width8 = Splat8(width), zero8 = Splat8(0.0f);
    const int64_t sx = g.sx, sxy = g.sxy;
    for (int32_t k = k0; k < k1; ++k) {
        for (int32_t j = 1; j <= g.Y; ++j) {
            const int64_t first = g.At(1, j, k), end = first + g.X;
            int64_t n = first;
            for (; n + 8 <= end; n += 8) {
                Store8(q.div + n,
                       Divergence(Load8(q.u + n + 1), Load8(q.u + n - 1), Load8(q.v + n + sx),
                                  Load8(q.v + n - sx), Load8(q.w + n + sxy), Load8(q.w + n - sxy),
                                  minusHalf8, width8));
                Store8(q.p + n, zero8);
            }
            for (; n < end; ++n) {
                q.div[n] = Divergence(q.u[n + 1], q.u[n - 1], q.v[n + sx], q.v[n - sx],
                                      q.w[n + sxy], q.w[n - sxy], minusHalf, width);
                q.p[n] = 0.0f;
            }
        }
    }
}

SOLVER_INLINE void GradientBody(const Projection& q, int32_t k0, int32_t k1) {
    const Grid& g = q.g;
    const float half = 0.5f * float(g.X);
    const Vec8 half8 = Splat8(half);
    const int64_t sx = g.sx, sxy = g.sxy;
    for (int32_t k = k0; k < k1; ++k) {
        for (int32_t j = 1; j <= g.Y; ++j) {
            const int64_t first = g.At(1, j, k), end = first + g.X;
            int64_t n = first;
            for (; n + 8 <= end; n += 8) {
                Store8(q.u + n, SubtractGradient(Load8(q.u + n), half8, Load8(q.p + n + 1),
                                                 Load8(q.p + n - 1)));
                Store8(q.v + n, SubtractGradient(Load8(q.v + n), half8, Load8(q.p + n + sx),
                                                 Load8(q.p + n - sx)));
                Store8(q.w + n, SubtractGradient(Load8(q.w + n), half8, Load8(q.p + n + sxy),
                                                 Load8(q.p + n - sxy)));
            }
            for (; n < end; ++n) {
                q.u[n] = SubtractGradient(q.u[n], half, q.p[n + 1], q.p[n - 1]);
                q.v[n] = SubtractGradient(q.v[n], half, q.p[n + sx], q.p[n - sx]);
                q.w[n] = SubtractGradient(q.w[n], half, q.p[n + sxy], q.p[n - sxy]);
            }
        }
    }
}

__attribute__((target("avx2"))) void DivergenceAvx2(const Projection& q, int32_t k0, int32_t k1) {
    DivergenceBody(q, k0, k1);
}
void DivergenceGeneric(const Projection& q, int32_t k0, int32_t k1) { DivergenceBody(q, k0, k1); }
__attribute__((target("avx2"))) void GradientAvx2(const Projection& q, int32_t k0, int32_t k1) {
    GradientBody(q, k0, k1);
}
void GradientGeneric(const Projection& q, int32_t k0, int32_t k1) { GradientBody(q, k0, k1); }

// ---- AdvectField ----

struct Advection {
    Grid g;
    float* d;
    const float* d0;
    const float* u;
    const float* v;
    const float* w;
    float dt0;
};

// A back-traced coordinate is kept inside [0.5, size + 0.5]; NaN goes to 0.5.
SOLVER_INLINE float ClampBackTrace(float p, float high) {
    if (!(p >= 0.5f)) p = 0.5f;
    if (p > high) p = high;
    return p;
}

void AdvectCell(const Advection& a, int32_t i, int32_t j, int32_t k) {
    const Grid& g = a.g;
    const int64_t n = g.At(i, j, k);
    const float px = ClampBackTrace(float(i) - a.dt0 * a.u[n], float(g.X) + 0.5f);
    const float py = ClampBackTrace(float(j) - a.dt0 * a.v[n], float(g.Y) + 0.5f);
    const float pz = ClampBackTrace(float(k) - a.dt0 * a.w[n], float(g.Z) + 0.5f);
    const int32_t i0 = int32_t(px), j0 = int32_t(py), k0 = int32_t(pz);
    const float s1 = px - float(i0), s0 = 1.0f - s1;
    const float t1 = py - float(j0), t0 = 1.0f - t1;
    const float r1 = pz - float(k0), r0 = 1.0f - r1;
    const float* c = a.d0 + g.At(i0, j0, k0);
    const int64_t di = 1, dj = g.sx, dk = g.sxy;
    Trilinear(a.d[n], s0, s1, t0, t1, r0, r1, c[0], c[dk], c[dj], c[dj + dk], c[di], c[di + dk],
              c[di + dj], c[di + dj + dk]);
}

void AdvectGeneric(const Advection& a, int32_t k0, int32_t k1) {
    for (int32_t k = k0; k < k1; ++k)
        for (int32_t j = 1; j <= a.g.Y; ++j)
            for (int32_t i = 1; i <= a.g.X; ++i) AdvectCell(a, i, j, k);
}

__attribute__((target("avx2"))) SOLVER_INLINE __m256 ClampBackTrace8(__m256 p, __m256 high) {
    const __m256 half = _mm256_set1_ps(0.5f);
    p = _mm256_blendv_ps(half, p, _mm256_cmp_ps(p, half, _CMP_GE_OQ));
    return _mm256_blendv_ps(p, high, _mm256_cmp_ps(p, high, _CMP_GT_OQ));
}

__attribute__((target("avx2"))) void AdvectAvx2(const Advection& a, int32_t k0, int32_t k1) {
    const Grid& g = a.g;
    const __m256 one = _mm256_set1_ps(1.0f), dt0 = _mm256_set1_ps(a.dt0);
    const __m256 highX = _mm256_set1_ps(float(g.X) + 0.5f);
    const __m256 highY = _mm256_set1_ps(float(g.Y) + 0.5f);
    const __m256 highZ = _mm256_set1_ps(float(g.Z) + 0.5f);
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i dj = _mm256_set1_epi32(int32_t(g.sx)), dk = _mm256_set1_epi32(int32_t(g.sxy));
    const __m256i di = _mm256_set1_epi32(1);
    for (int32_t k = k0; k < k1; ++k) {
        const __m256 fk = _mm256_set1_ps(float(k));
        for (int32_t j = 1; j <= g.Y; ++j) {
            const __m256 fj = _mm256_set1_ps(float(j));
            const int64_t row = g.At(0, j, k);
            int32_t i = 1;
            for (; i + 8 <= g.X + 1; i += 8) {
                const int64_t n = row + i;
                const __m256 fi = _mm256_cvtepi32_ps(_mm256_add_epi32(_mm256_set1_epi32(i), lane));
                const __m256 px = ClampBackTrace8(
                    _mm256_sub_ps(fi, _mm256_mul_ps(dt0, _mm256_loadu_ps(a.u + n))), highX);
                const __m256 py = ClampBackTrace8(
                    _mm256_sub_ps(fj, _mm256_mul_ps(dt0, _mm256_loadu_ps(a.v + n))), highY);
                const __m256 pz = ClampBackTrace8(
                    _mm256_sub_ps(fk, _mm256_mul_ps(dt0, _mm256_loadu_ps(a.w + n))), highZ);
                const __m256i i0 = _mm256_cvttps_epi32(px), j0 = _mm256_cvttps_epi32(py),
                              k0v = _mm256_cvttps_epi32(pz);
                const __m256 s1 = _mm256_sub_ps(px, _mm256_cvtepi32_ps(i0)),
                             s0 = _mm256_sub_ps(one, s1);
                const __m256 t1 = _mm256_sub_ps(py, _mm256_cvtepi32_ps(j0)),
                             t0 = _mm256_sub_ps(one, t1);
                const __m256 r1 = _mm256_sub_ps(pz, _mm256_cvtepi32_ps(k0v)),
                             r0 = _mm256_sub_ps(one, r1);
                const __m256i c000 = _mm256_add_epi32(
                    i0, _mm256_add_epi32(_mm256_mullo_epi32(j0, dj), _mm256_mullo_epi32(k0v, dk)));
                const __m256i c010 = _mm256_add_epi32(c000, dj);
                const __m256i c100 = _mm256_add_epi32(c000, di);
                const __m256i c110 = _mm256_add_epi32(c010, di);
                const __m256 v000 = _mm256_i32gather_ps(a.d0, c000, 4);
                const __m256 v001 = _mm256_i32gather_ps(a.d0, _mm256_add_epi32(c000, dk), 4);
                const __m256 v010 = _mm256_i32gather_ps(a.d0, c010, 4);
                const __m256 v011 = _mm256_i32gather_ps(a.d0, _mm256_add_epi32(c010, dk), 4);
                const __m256 v100 = _mm256_i32gather_ps(a.d0, c100, 4);
                const __m256 v101 = _mm256_i32gather_ps(a.d0, _mm256_add_epi32(c100, dk), 4);
                const __m256 v110 = _mm256_i32gather_ps(a.d0, c110, 4);
                const __m256 v111 = _mm256_i32gather_ps(a.d0, _mm256_add_epi32(c110, dk), 4);
                __m256 result;
                Trilinear(result, s0, s1, t0, t1, r0, r1, v000, v001, v010, v011, v100, v101, v110,
                          v111);
                _mm256_storeu_ps(a.d + n, result);
            }
            for (; i <= g.X; ++i) AdvectCell(a, i, j, k);
        }
    }
}

struct Kernels {
    void (*addScaled)(float*, const float*, int64_t, float);
    void (*divergence)(const Projection&, int32_t, int32_t);
    void (*gradient)(const Projection&, int32_t, int32_t);
    void (*advect)(const Advection&, int32_t, int32_t);
};

const Kernels& Pick() {
    static const Kernels avx2{&AddScaledAvx2, &DivergenceAvx2, &GradientAvx2, &AdvectAvx2};
    static const Kernels generic{&AddScaledGeneric, &DivergenceGeneric, &GradientGeneric,
                                 &AdvectGeneric};
    return Avx2Enabled() ? avx2 : generic;
}

}  // namespace

bool Avx2Enabled() { return avx2Enabled.load(std::memory_order_relaxed); }
void EnableAvx2(bool on) { avx2Enabled.store(on && CpuHasAvx2(), std::memory_order_relaxed); }

}  // namespace solver_detail

using solver_detail::Grid;

void AddScaledSource(GridDims dims, FieldView target, FieldView source, float dt) {
    solver_detail::Pick().addScaled(&target[0], &source[0], dims.CellCount(), dt);
}

namespace solver_detail {
namespace {

RelaxJob DiffusionJob(int32_t X, int32_t mode, float* x, const float* x0, float rate, float dt) {
    const float a = dt * rate * float(X) * float(X);
    return RelaxJob{mode, x, x0, a, 6.0f * a + 1.0f};
}

}  // namespace
}  // namespace solver_detail

void DiffuseField(int32_t X, int32_t Y, int32_t Z, int32_t mode, float* x, const float* x0,
                  float rate, float dt) {
    const solver_detail::RelaxJob job = solver_detail::DiffusionJob(X, mode, x, x0, rate, dt);
    solver_detail::RelaxAll(&job, 1, solver_detail::ShareRelaxations(X, Y, Z), X, Y, Z);
}

void AdvectField(int32_t X, int32_t Y, int32_t Z, int32_t mode, float* d, const float* d0,
                 const float* u, const float* v, const float* w, float dt) {
    const Grid g(X, Y, Z);
    const solver_detail::Advection a{g, d, d0, u, v, w, float(X) * dt};
    // Gather indices are 32-bit.
    const bool narrow = g.sxy * (int64_t(Z) + 2) < (int64_t(1) << 31);
    auto advect = narrow ? solver_detail::Pick().advect : &solver_detail::AdvectGeneric;
    solver_detail::ForInnerPlanes(g, [&](int32_t k0, int32_t k1) { advect(a, k0, k1); });
    ApplyBoundary(X, Y, Z, mode, d);
}

void ProjectVelocity(int32_t X, int32_t Y, int32_t Z, float* u, float* v, float* w, float* p,
                     float* div) {
    const Grid g(X, Y, Z);
    const solver_detail::Projection q{g, u, v, w, p, div};
    const solver_detail::Kernels& kernels = solver_detail::Pick();
    solver_detail::ForInnerPlanes(g,
                                  [&](int32_t k0, int32_t k1) { kernels.divergence(q, k0, k1); });
    ApplyBoundary(X, Y, Z, 0, div);
    ApplyBoundary(X, Y, Z, 0, p);
    RelaxLinear(X, Y, Z, 0, p, div, 1.0f, 6.0f);
    solver_detail::ForInnerPlanes(g, [&](int32_t k0, int32_t k1) { kernels.gradient(q, k0, k1); });
    ApplyBoundary(X, Y, Z, 1, u);
    ApplyBoundary(X, Y, Z, 2, v);
    ApplyBoundary(X, Y, Z, 3, w);
}

void StepVelocity(int32_t X, int32_t Y, int32_t Z, float* u, float* v, float* w, float* uPrev,
                  float* vPrev, float* wPrev, float visc, float dt) {
    const GridDims dims(X, Y, Z);
    AddScaledSource(dims, FieldView(u, dims), FieldView(uPrev, dims), dt);
    AddScaledSource(dims, FieldView(v, dims), FieldView(vPrev, dims), dt);
    AddScaledSource(dims, FieldView(w, dims), FieldView(wPrev, dims), dt);
    if (solver_detail::ShareRelaxations(X, Y, Z)) {
        // One batch: each diffusion's first sweeps start while the previous one finishes.
        const solver_detail::RelaxJob jobs[3] = {
            solver_detail::DiffusionJob(X, 1, uPrev, u, visc, dt),
            solver_detail::DiffusionJob(X, 2, vPrev, v, visc, dt),
            solver_detail::DiffusionJob(X, 3, wPrev, w, visc, dt)};
        solver_detail::RelaxAll(jobs, 3, true, X, Y, Z);
    } else {
        DiffuseField(X, Y, Z, 1, uPrev, u, visc, dt);
        DiffuseField(X, Y, Z, 2, vPrev, v, visc, dt);
        DiffuseField(X, Y, Z, 3, wPrev, w, visc, dt);
    }
    ProjectVelocity(X, Y, Z, uPrev, vPrev, wPrev, u, v);
    AdvectField(X, Y, Z, 1, u, uPrev, uPrev, vPrev, wPrev, dt);
    AdvectField(X, Y, Z, 2, v, vPrev, uPrev, vPrev, wPrev, dt);
    AdvectField(X, Y, Z, 3, w, wPrev, uPrev, vPrev, wPrev, dt);
    ProjectVelocity(X, Y, Z, u, v, w, uPrev, vPrev);
}

void StepDensity(int32_t X, int32_t Y, int32_t Z, float* x, float* x0, const float* u,
                 const float* v, const float* w, float diff, float dt) {
    const GridDims dims(X, Y, Z);
    AddScaledSource(dims, FieldView(x, dims), FieldView(x0, dims), dt);
    DiffuseField(X, Y, Z, 0, x0, x, diff, dt);
    AdvectField(X, Y, Z, 0, x, x0, u, v, w, dt);
}
