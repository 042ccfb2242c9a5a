// The evaluator maps of the vertex attributes (GL_MAP1_VERTEX_ATTRIBi_4_NV and
// GL_MAP2_VERTEX_ATTRIBi_4_NV): the driver has none, so the layer keeps their control points and
// enables and evaluates them on the CPU.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include <array>
#include <cstdint>
#include <vector>

namespace legacygl {

// The arguments of a glMap1*/glMap2* call (v* unused for one dimension).
struct MapCall {
    int dims = 1;
    double u1 = 0, u2 = 1, v1 = 0, v2 = 1;
    GLint ustride = 4, uorder = 1, vstride = 4, vorder = 1;
    const GLfloat* floats = nullptr;  // the control points, one of the two
    const GLdouble* doubles = nullptr;
};

class AttributeMaps {
  public:
    static constexpr int kMaps = 16;
    using Point = std::array<double, 4>;
    struct Map {
        double u1 = 0, u2 = 1, v1 = 0, v2 = 1;
        int uorder = 1, vorder = 1;
        std::vector<Point> points{{0, 0, 0, 1}};  // point (i, j) at i * vorder + j
    };

    // The dimensions and attribute of a map target; false for any other target.
    static bool Target(GLenum target, int* dims, GLuint* index);
    // The error of a glMap call (maxOrder: the GL's GL_MAX_EVAL_ORDER), or GL_NO_ERROR.
    static GLenum Check(const MapCall& call, int maxOrder);
    // The control points of a checked call, read with its strides.
    static Map Read(const MapCall& call);
    static std::array<float, 4> Evaluate(const Map& map, double u, double v);
    // The normal of a position map at (u, v) as automatic normals give it in program mode: the
    // cross product of the partial derivatives of (x/w, y/w, z/w), not normalized, w 1.
    static std::array<float, 4> Normal(const Map& position, double u, double v);

    void Define(int dims, GLuint index, Map map) { maps_[dims - 1][index] = std::move(map); }
    const Map& Get(int dims, GLuint index) const { return maps_[dims - 1][index]; }
    void Enable(int dims, GLuint index, bool on);
    bool Enabled(int dims, GLuint index) const { return (enabled_[dims - 1] >> index) & 1; }
    bool AnyEnabled() const { return (enabled_[0] | enabled_[1]) != 0; }
    // Both dimensions' enables in one value, for the attribute stack.
    uint32_t Enables() const { return enabled_[0] | uint32_t(enabled_[1]) << 16; }
    void SetEnables(uint32_t enables);

  private:
    Map maps_[2][kMaps];
    uint16_t enabled_[2] = {};
};

}  // namespace legacygl
