// The fluid grid: its size, the eight field arrays and the boundary rule.
#pragma once

#include <cstdint>

// Inner cell counts along x, y and z. Every field has (gridX + 2)(gridY + 2)(gridZ + 2) cells:
// one layer of boundary cells surrounds the inner cells on every side.
extern int32_t gridX, gridY, gridZ;

// The eight fields, flat float arrays in CellIndex order.
extern float* velX;
extern float* velY;
extern float* velZ;
extern float* velXPrev;
extern float* velYPrev;
extern float* velZPrev;
extern float* density;
extern float* densityPrev;

// Allocates the eight fields for the current grid size. True when every allocation succeeded;
// nothing is released on failure and earlier pointers are overwritten.
bool AllocateFields();

// Sets every cell of the eight fields, boundary layer included, to 0.
void ClearFields();

// Flat index of cell (i, j, k) in a field of the current grid; x runs fastest, then y, then z.
// Indices are not validated.
inline int64_t CellIndex(int32_t i, int32_t j, int32_t k) {
    const int64_t sx = int64_t(gridX) + 2;
    const int64_t sy = int64_t(gridY) + 2;
    return i + sx * j + sx * sy * k;
}

// Writes the face and corner cells of `field` from its inner and edge cells. Mode 1, 2, 3 negates
// the faces across the x, y, z walls respectively (the normal velocity component); every other
// mode copies. Each corner becomes 0.33 times the sum of its three edge neighbours; edge cells are
// never written.
void ApplyBoundary(int32_t sizeX, int32_t sizeY, int32_t sizeZ, int32_t mode, float* field);

// Inner cell counts of a grid, by value.
struct GridDims {
    int32_t sizeX, sizeY, sizeZ;

    GridDims(int32_t x, int32_t y, int32_t z) : sizeX(x), sizeY(y), sizeZ(z) {}
    // Number of cells including the boundary layer.
    int64_t CellCount() const {
        return (int64_t(sizeX) + 2) * (int64_t(sizeY) + 2) * (int64_t(sizeZ) + 2);
    }
};

// A field paired with its grid; element access by flat index, unchecked.
struct FieldView {
    float* data;
    GridDims dims;

    FieldView(float* field, GridDims d) : data(field), dims(d) {}
    float& operator[](int64_t n) const { return data[n]; }
};
