#include "legacygl/attribute_maps.h"

#include <cstddef>

namespace legacygl {

namespace {

// The Bernstein basis of degree order-1 at t.
std::vector<double> Basis(int order, double t) {
    std::vector<double> b(size_t(order), 0.0);
    b[0] = 1;
    // Raising the degree one step at a time keeps every weight in [0, 1].
    for (int n = 1; n < order; ++n) {
        for (int i = n; i > 0; --i) b[size_t(i)] = b[size_t(i)] * (1 - t) + b[size_t(i - 1)] * t;
        b[0] *= 1 - t;
    }
    return b;
}

// The derivative of that basis with respect to t.
std::vector<double> BasisDerivative(int order, double t) {
    std::vector<double> d(size_t(order), 0.0);
    if (order < 2) return d;
    const std::vector<double> lower = Basis(order - 1, t);
    for (int i = 0; i < order; ++i) {
        const double left = i > 0 ? lower[size_t(i - 1)] : 0;
        const double right = i < order - 1 ? lower[size_t(i)] : 0;
        d[size_t(i)] = (order - 1) * (left - right);
    }
    return d;
}

AttributeMaps::Point Sum(const AttributeMaps::Map& map, const std::vector<double>& bu,
                         const std::vector<double>& bv) {
    AttributeMaps::Point sum = {};
    for (int i = 0; i < map.uorder; ++i)
        for (int j = 0; j < map.vorder; ++j) {
            const AttributeMaps::Point& p = map.points[size_t(i * map.vorder + j)];
            const double w = bu[size_t(i)] * bv[size_t(j)];
            for (size_t c = 0; c < 4; ++c) sum[c] += w * p[c];
        }
    return sum;
}

}  // namespace

bool AttributeMaps::Target(GLenum target, int* dims, GLuint* index) {
    if (target >= GL_MAP1_VERTEX_ATTRIB0_4_NV && target < GL_MAP1_VERTEX_ATTRIB0_4_NV + kMaps) {
        *dims = 1;
        *index = target - GL_MAP1_VERTEX_ATTRIB0_4_NV;
        return true;
    }
    if (target >= GL_MAP2_VERTEX_ATTRIB0_4_NV && target < GL_MAP2_VERTEX_ATTRIB0_4_NV + kMaps) {
        *dims = 2;
        *index = target - GL_MAP2_VERTEX_ATTRIB0_4_NV;
        return true;
    }
    return false;
}

GLenum AttributeMaps::Check(const MapCall& call, int maxOrder) {
    if (call.u1 == call.u2 || call.ustride < 4 || call.uorder < 1 || call.uorder > maxOrder)
        return GL_INVALID_VALUE;
    if (call.dims == 2 &&
        (call.v1 == call.v2 || call.vstride < 4 || call.vorder < 1 || call.vorder > maxOrder))
        return GL_INVALID_VALUE;
    return GL_NO_ERROR;
}

AttributeMaps::Map AttributeMaps::Read(const MapCall& call) {
    Map map;
    map.u1 = call.u1;
    map.u2 = call.u2;
    map.uorder = call.uorder;
    if (call.dims == 2) {
        map.v1 = call.v1;
        map.v2 = call.v2;
        map.vorder = call.vorder;
    }
    map.points.clear();
    for (int i = 0; i < map.uorder; ++i) {
        for (int j = 0; j < map.vorder; ++j) {
            const size_t at = size_t(i) * size_t(call.ustride) +
                              (call.dims == 2 ? size_t(j) * size_t(call.vstride) : 0);
            Point p;
            for (size_t c = 0; c < 4; ++c)
                p[c] = call.floats != nullptr ? call.floats[at + c] : call.doubles[at + c];
            map.points.push_back(p);
        }
    }
    return map;
}

std::array<float, 4> AttributeMaps::Evaluate(const Map& map, double u, double v) {
    const double t = (u - map.u1) / (map.u2 - map.u1), s = (v - map.v1) / (map.v2 - map.v1);
    const Point p = Sum(map, Basis(map.uorder, t), Basis(map.vorder, s));
    return {float(p[0]), float(p[1]), float(p[2]), float(p[3])};
}

std::array<float, 4> AttributeMaps::Normal(const Map& position, double u, double v) {
    const double t = (u - position.u1) / (position.u2 - position.u1);
    const double s = (v - position.v1) / (position.v2 - position.v1);
    const std::vector<double> bu = Basis(position.uorder, t), bv = Basis(position.vorder, s);
    const Point p = Sum(position, bu, bv);
    Point du = Sum(position, BasisDerivative(position.uorder, t), bv);
    Point dv = Sum(position, bu, BasisDerivative(position.vorder, s));
    for (size_t c = 0; c < 4; ++c) {
        du[c] /= position.u2 - position.u1;
        dv[c] /= position.v2 - position.v1;
    }
    // d(x/w) = (dx w - x dw) / w^2
    double qu[3], qv[3];
    for (size_t c = 0; c < 3; ++c) {
        qu[c] = (du[c] * p[3] - p[c] * du[3]) / (p[3] * p[3]);
        qv[c] = (dv[c] * p[3] - p[c] * dv[3]) / (p[3] * p[3]);
    }
    return {float(qu[1] * qv[2] - qu[2] * qv[1]), float(qu[2] * qv[0] - qu[0] * qv[2]),
            float(qu[0] * qv[1] - qu[1] * qv[0]), 1.0f};
}

void AttributeMaps::Enable(int dims, GLuint index, bool on) {
    const uint16_t bit = uint16_t(1u << index);
    enabled_[dims - 1] =
        on ? uint16_t(enabled_[dims - 1] | bit) : uint16_t(enabled_[dims - 1] & ~bit);
}

void AttributeMaps::SetEnables(uint32_t enables) {
    enabled_[0] = uint16_t(enables);
    enabled_[1] = uint16_t(enables >> 16);
}

}  // namespace legacygl
