#include "solver/grid.h"

#include <cstdlib>
#include <limits>

#include "solver/steps.h"

int32_t gridX = 0, gridY = 0, gridZ = 0;

float* velX = nullptr;
float* velY = nullptr;
float* velZ = nullptr;
float* velXPrev = nullptr;
float* velYPrev = nullptr;
float* velZPrev = nullptr;
float* density = nullptr;
float* densityPrev = nullptr;

namespace {

// Cell count of the current grid, 0 when a count is negative or the byte size would overflow.
size_t CurrentCellCount() {
    if (gridX < 0 || gridY < 0 || gridZ < 0) return 0;
    const size_t sx = size_t(int64_t(gridX) + 2), sy = size_t(int64_t(gridY) + 2),
                 sz = size_t(int64_t(gridZ) + 2);
    const size_t limit = std::numeric_limits<size_t>::max() / sizeof(float);
    if (sy > limit / sx || sz > limit / (sx * sy)) return 0;
    return sx * sy * sz;
}

float* AllocateField(size_t cells) {
    // A size that cannot be represented is an allocation that fails.
    if (cells == 0) return nullptr;
    return static_cast<float*>(std::malloc(cells * sizeof(float)));
}

// Each corner: 0.33 times the sum of its three edge neighbours.
void ApplyCornerRule(int32_t X, int32_t Y, int32_t Z, float* x) {
    const int64_t sx = int64_t(X) + 2;
    const int64_t sxy = sx * (int64_t(Y) + 2);
    auto at = [&](int64_t i, int64_t j, int64_t k) -> float& { return x[i + sx * j + sxy * k]; };
    const float f = 0.33f;
    at(0, 0, 0) = f * (at(1, 0, 0) + at(0, 1, 0) + at(0, 0, 1));
    at(0, Y + 1, 0) = f * (at(1, Y + 1, 0) + at(0, Y, 0) + at(0, Y + 1, 1));
    at(0, 0, Z + 1) = f * (at(1, 0, Z + 1) + at(0, 1, Z + 1) + at(0, 0, Z));
    at(0, Y + 1, Z + 1) = f * (at(1, Y + 1, Z + 1) + at(0, Y, Z + 1) + at(0, Y + 1, Z));
    at(X + 1, 0, 0) = f * (at(X, 0, 0) + at(X + 1, 1, 0) + at(X + 1, 0, 1));
    at(X + 1, Y + 1, 0) = f * (at(X, Y + 1, 0) + at(X + 1, Y, 0) + at(X + 1, Y + 1, 1));
    at(X + 1, 0, Z + 1) = f * (at(X, 0, Z + 1) + at(X + 1, 1, Z + 1) + at(X + 1, 0, Z));
    at(X + 1, Y + 1, Z + 1) = f * (at(X, Y + 1, Z + 1) + at(X + 1, Y, Z + 1) + at(X + 1, Y + 1, Z));
}

}  // namespace

bool AllocateFields() {
    const size_t cells = CurrentCellCount();
    velX = AllocateField(cells);
    velY = AllocateField(cells);
    velZ = AllocateField(cells);
    velXPrev = AllocateField(cells);
    velYPrev = AllocateField(cells);
    velZPrev = AllocateField(cells);
    density = AllocateField(cells);
    densityPrev = AllocateField(cells);
    if (cells != 0) ReserveSolverWorkspace(gridX, gridY, gridZ);
    return velX && velY && velZ && velXPrev && velYPrev && velZPrev && density && densityPrev;
}

void ClearFields() {
    const size_t cells = CurrentCellCount();
    for (size_t n = 0; n < cells; ++n) {
        densityPrev[n] = 0.0f;
        density[n] = 0.0f;
        velZPrev[n] = 0.0f;
        velYPrev[n] = 0.0f;
        velXPrev[n] = 0.0f;
        velZ[n] = 0.0f;
        velY[n] = 0.0f;
        velX[n] = 0.0f;
    }
}

void ApplyBoundary(int32_t sizeX, int32_t sizeY, int32_t sizeZ, int32_t mode, float* x) {
    const int64_t sx = int64_t(sizeX) + 2;
    const int64_t sxy = sx * (int64_t(sizeY) + 2);
    auto at = [&](int64_t i, int64_t j, int64_t k) -> float& { return x[i + sx * j + sxy * k]; };
    // Faces across the wall of the named axis take the negated inner value.
    auto mirror = [mode](int32_t axis, float v) { return mode == axis ? -v : v; };
    const int32_t X = sizeX, Y = sizeY, Z = sizeZ;

    // Face cells are written only from inner cells, so the order of the loops cannot change the
    // result; they run in memory order.
    for (int32_t j = 1; j <= Y; ++j) {
        for (int32_t i = 1; i <= X; ++i) {
            at(i, j, 0) = mirror(3, at(i, j, 1));
            at(i, j, Z + 1) = mirror(3, at(i, j, Z));
        }
    }
    for (int32_t k = 1; k <= Z; ++k) {
        for (int32_t i = 1; i <= X; ++i) {
            at(i, 0, k) = mirror(2, at(i, 1, k));
            at(i, Y + 1, k) = mirror(2, at(i, Y, k));
        }
        for (int32_t j = 1; j <= Y; ++j) {
            at(0, j, k) = mirror(1, at(1, j, k));
            at(X + 1, j, k) = mirror(1, at(X, j, k));
        }
    }
    ApplyCornerRule(X, Y, Z, x);
}
