#include "solver/reference/reference_steps.h"

namespace reference {

namespace {

// Flat cell indexing for a grid of X x Y inner cells per layer.
struct Indexer {
    int64_t sx, sxy;
    Indexer(int32_t X, int32_t Y) : sx(int64_t(X) + 2), sxy(sx * (int64_t(Y) + 2)) {}
    int64_t operator()(int32_t i, int32_t j, int32_t k) const { return i + sx * j + sxy * k; }
};

constexpr int kRelaxSweeps = 20;

}  // namespace

void AddScaledSource(GridDims dims, FieldView target, FieldView source, float dt) {
    const int64_t cells = dims.CellCount();
    for (int64_t n = 0; n < cells; ++n) target[n] = dt * source[n] + target[n];
}

void RelaxLinear(int32_t X, int32_t Y, int32_t Z, int32_t mode, float* x, const float* x0, float a,
                 float c) {
    const Indexer at(X, Y);
    for (int sweep = 0; sweep < kRelaxSweeps; ++sweep) {
        for (int32_t i = 1; i <= X; ++i) {
            for (int32_t j = 1; j <= Y; ++j) {
                for (int32_t k = 1; k <= Z; ++k) {
                    x[at(i, j, k)] =
                        ((x[at(i - 1, j, k)] + x[at(i + 1, j, k)] + x[at(i, j - 1, k)] +
                          x[at(i, j + 1, k)] + x[at(i, j, k - 1)] + x[at(i, j, k + 1)]) *
                             a +
                         x0[at(i, j, k)]) /
                        c;
                }
            }
        }
        ApplyBoundary(X, Y, Z, mode, x);
    }
}

void DiffuseField(int32_t X, int32_t Y, int32_t Z, int32_t mode, float* x, const float* x0,
                  float rate, float dt) {
    const float a = dt * rate * float(X) * float(X);
    RelaxLinear(X, Y, Z, mode, x, x0, a, 6.0f * a + 1.0f);
}

void AdvectField(int32_t X, int32_t Y, int32_t Z, int32_t mode, float* d, const float* d0,
                 const float* u, const float* v, const float* w, float dt) {
    const Indexer at(X, Y);
    const float dt0 = float(X) * dt;
    // Back-traced positions stay inside [0.5, size + 0.5]; a NaN position goes to the low end.
    auto clamp = [](float p, int32_t size) {
        if (!(p >= 0.5f)) p = 0.5f;
        if (p > float(size) + 0.5f) p = float(size) + 0.5f;
        return p;
    };
    for (int32_t i = 1; i <= X; ++i) {
        for (int32_t j = 1; j <= Y; ++j) {
            for (int32_t k = 1; k <= Z; ++k) {
                const int64_t n = at(i, j, k);
                const float px = clamp(float(i) - dt0 * u[n], X);
                const float py = clamp(float(j) - dt0 * v[n], Y);
                const float pz = clamp(float(k) - dt0 * w[n], Z);
                const int32_t i0 = int32_t(px), i1 = i0 + 1;
                const int32_t j0 = int32_t(py), j1 = j0 + 1;
                const int32_t k0 = int32_t(pz), k1 = k0 + 1;
                const float s1 = px - float(i0), s0 = 1.0f - s1;
                const float t1 = py - float(j0), t0 = 1.0f - t1;
                const float r1 = pz - float(k0), r0 = 1.0f - r1;
                d[n] = s0 * (t0 * (r0 * d0[at(i0, j0, k0)] + r1 * d0[at(i0, j0, k1)]) +
                             t1 * (r0 * d0[at(i0, j1, k0)] + r1 * d0[at(i0, j1, k1)])) +
                       s1 * (t0 * (r0 * d0[at(i1, j0, k0)] + r1 * d0[at(i1, j0, k1)]) +
                             t1 * (r0 * d0[at(i1, j1, k0)] + r1 * d0[at(i1, j1, k1)]));
            }
        }
    }
    ApplyBoundary(X, Y, Z, mode, d);
}

void ProjectVelocity(int32_t X, int32_t Y, int32_t Z, float* u, float* v, float* w, float* p,
                     float* div) {
    const Indexer at(X, Y);
    for (int32_t i = 1; i <= X; ++i) {
        for (int32_t j = 1; j <= Y; ++j) {
            for (int32_t k = 1; k <= Z; ++k) {
                const int64_t n = at(i, j, k);
                div[n] = -0.5f *
                         (u[at(i + 1, j, k)] - u[at(i - 1, j, k)] + v[at(i, j + 1, k)] -
                          v[at(i, j - 1, k)] + w[at(i, j, k + 1)] - w[at(i, j, k - 1)]) /
                         float(X);
                p[n] = 0.0f;
            }
        }
    }
    ApplyBoundary(X, Y, Z, 0, div);
    ApplyBoundary(X, Y, Z, 0, p);
    RelaxLinear(X, Y, Z, 0, p, div, 1.0f, 6.0f);
    const float g = 0.5f * float(X);
    for (int32_t i = 1; i <= X; ++i) {
        for (int32_t j = 1; j <= Y; ++j) {
            for (int32_t k = 1; k <= Z; ++k) {
                const int64_t n = at(i, j, k);
                u[n] = u[n] - g * (p[at(i + 1, j, k)] - p[at(i - 1, j, k)]);
                v[n] = v[n] - g * (p[at(i, j + 1, k)] - p[at(i, j - 1, k)]);
                w[n] = w[n] - g * (p[at(i, j, k + 1)] - p[at(i, j, k - 1)]);
            }
        }
    }
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
    DiffuseField(X, Y, Z, 1, uPrev, u, visc, dt);
    DiffuseField(X, Y, Z, 2, vPrev, v, visc, dt);
    DiffuseField(X, Y, Z, 3, wPrev, w, visc, dt);
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

}  // namespace reference
