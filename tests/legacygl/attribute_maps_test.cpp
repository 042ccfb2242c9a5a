// The attribute evaluator maps on the CPU: the checks of glMap, control points read with their
// strides, and the values of curves and patches.
#include "legacygl/attribute_maps.h"

#include <gtest/gtest.h>

namespace {

using legacygl::AttributeMaps;
using legacygl::MapCall;

TEST(AttributeMaps, TargetsChecksAndStrides) {
    int dims = 0;
    GLuint index = 99;
    EXPECT_TRUE(AttributeMaps::Target(GL_MAP2_VERTEX_ATTRIB15_4_NV, &dims, &index));
    EXPECT_EQ(dims, 2);
    EXPECT_EQ(index, 15u);
    EXPECT_TRUE(AttributeMaps::Target(GL_MAP1_VERTEX_ATTRIB0_4_NV, &dims, &index));
    EXPECT_EQ(dims, 1);
    EXPECT_EQ(index, 0u);
    EXPECT_FALSE(AttributeMaps::Target(GL_MAP1_VERTEX_4, &dims, &index));
    EXPECT_FALSE(AttributeMaps::Target(GL_MAP2_VERTEX_ATTRIB15_4_NV + 1, &dims, &index));

    const struct {
        MapCall call;
        GLenum error;
    } checks[] = {
        {{1, 0, 1, 0, 1, 4, 8, 4, 1}, GL_NO_ERROR},
        {{1, 0, 1, 0, 1, 4, 9, 4, 1}, GL_INVALID_VALUE},  // order above the GL's
        {{1, 0, 1, 0, 1, 4, 0, 4, 1}, GL_INVALID_VALUE},  // order 0
        {{1, 2, 2, 0, 1, 4, 1, 4, 1}, GL_INVALID_VALUE},  // empty domain
        {{1, 0, 1, 0, 1, 3, 1, 4, 1}, GL_INVALID_VALUE},  // stride below 4
        {{1, 0, 1, 5, 5, 4, 1, 0, 0}, GL_NO_ERROR},       // v ignored in one dimension
        {{2, 0, 1, 5, 5, 4, 1, 4, 1}, GL_INVALID_VALUE},  // empty v domain
        {{2, 0, 1, 0, 1, 8, 2, 2, 2}, GL_INVALID_VALUE},  // v stride below 4
        {{2, 0, 1, 0, 1, 8, 2, 4, 2}, GL_NO_ERROR},
    };
    for (const auto& c : checks)
        EXPECT_EQ(AttributeMaps::Check(c.call, 8), c.error)
            << c.call.dims << " " << c.call.uorder << " " << c.call.ustride;

    // A patch read with strides that skip a padding value after every point and every row.
    const double points[] = {1, 2, 3, 4, -1, 5, 6, 7, 8, -1, -1, 9, 10, 11, 12, -1, 13, 14, 15, 16};
    MapCall call;
    call.dims = 2, call.uorder = 2, call.vorder = 2, call.ustride = 11, call.vstride = 5;
    call.doubles = points;
    const AttributeMaps::Map map = AttributeMaps::Read(call);
    ASSERT_EQ(map.points.size(), 4u);
    EXPECT_EQ(map.points[1], (AttributeMaps::Point{5, 6, 7, 8}));
    EXPECT_EQ(map.points[2], (AttributeMaps::Point{9, 10, 11, 12}));
    EXPECT_EQ(map.points[3], (AttributeMaps::Point{13, 14, 15, 16}));
}

TEST(AttributeMaps, CurvesAndPatchesAreBernsteinPolynomials) {
    AttributeMaps::Map curve;  // a quadratic over [2, 4]: 0, 1, 0 in x; 1, 1, 1 in w
    curve.u1 = 2, curve.u2 = 4, curve.uorder = 3;
    curve.points = {{0, 0, 0, 1}, {1, 2, 0, 1}, {0, 4, 0, 1}};
    const struct {
        double u;
        std::array<float, 4> value;
    } cases[] = {
        {2, {0, 0, 0, 1}},        {3, {0.5f, 2, 0, 1}},  // 2t(1-t) at t = 1/2
        {2.5, {0.375f, 1, 0, 1}},                        // 2 * 1/4 * 3/4
        {4, {0, 4, 0, 1}},        {6, {-4, 8, 0, 1}},  // outside the domain the polynomial goes on
    };
    for (const auto& c : cases) EXPECT_EQ(AttributeMaps::Evaluate(curve, c.u, 0), c.value) << c.u;

    AttributeMaps::Map patch;  // bilinear in u over [0, 1], constant in v
    patch.uorder = 2, patch.vorder = 1, patch.v1 = -1, patch.v2 = 1;
    patch.points = {{0, 10, 0, 0}, {8, 10, 0, 2}};
    EXPECT_EQ(AttributeMaps::Evaluate(patch, 0.25, 0.5), (std::array<float, 4>{2, 10, 0, 0.5f}));
    // Never defined: (0, 0, 0, 1) everywhere.
    EXPECT_EQ(AttributeMaps::Evaluate(AttributeMaps::Map(), 0.7, 0.1),
              (std::array<float, 4>{0, 0, 0, 1}));

    // Automatic normals: a plane stretched 2 by 3 (in homogeneous coordinates with w 2), and a
    // curved patch z = uv whose normal is (-v, -u, 1).
    AttributeMaps::Map plane;
    plane.uorder = 2, plane.vorder = 2;
    plane.points = {{-2, -3, 0, 2}, {-2, 3, 0, 2}, {2, -3, 0, 2}, {2, 3, 0, 2}};
    EXPECT_EQ(AttributeMaps::Normal(plane, 0.5, 0.25), (std::array<float, 4>{0, 0, 6, 1}));
    AttributeMaps::Map saddle;
    saddle.uorder = 2, saddle.vorder = 2;
    saddle.points = {{0, 0, 0, 1}, {0, 1, 0, 1}, {1, 0, 0, 1}, {1, 1, 1, 1}};
    EXPECT_EQ(AttributeMaps::Normal(saddle, 0.5, 0.25),
              (std::array<float, 4>{-0.25f, -0.5f, 1, 1}));

    AttributeMaps maps;
    maps.Enable(1, 3, true);
    maps.Enable(2, 15, true);
    EXPECT_TRUE(maps.Enabled(2, 15));
    EXPECT_FALSE(maps.Enabled(1, 15));
    const uint32_t saved = maps.Enables();
    maps.Enable(1, 3, false);
    maps.Enable(2, 15, false);
    EXPECT_FALSE(maps.AnyEnabled());
    maps.SetEnables(saved);
    EXPECT_TRUE(maps.Enabled(1, 3));
    EXPECT_TRUE(maps.Enabled(2, 15));
}

}  // namespace
