// Evaluator calls: maps of targets a module owns are defined, queried and evaluated by the
// module; everything else is the driver's. glEvalMesh over a module's maps runs as the glBegin,
// glEvalPoint and glEnd calls it stands for.
#include <cmath>

#include "legacygl/layer.h"

namespace legacygl {

bool Layer::ModuleMap(GLenum target, const MapCall& call) {
    for (const auto& m : modules_)
        if (m->DefineMap(target, call)) return true;
    return false;
}

void Layer::Map1f(GLenum target, GLfloat u1, GLfloat u2, GLint stride, GLint order,
                  const GLfloat* points) {
    MapCall call;
    call.u1 = u1, call.u2 = u2, call.ustride = stride, call.uorder = order, call.floats = points;
    if (!ModuleMap(target, call) && next_.glMap1f)
        next_.glMap1f(target, u1, u2, stride, order, points);
}

void Layer::Map1d(GLenum target, GLdouble u1, GLdouble u2, GLint stride, GLint order,
                  const GLdouble* points) {
    MapCall call;
    call.u1 = u1, call.u2 = u2, call.ustride = stride, call.uorder = order, call.doubles = points;
    if (!ModuleMap(target, call) && next_.glMap1d)
        next_.glMap1d(target, u1, u2, stride, order, points);
}

void Layer::Map2f(GLenum target, GLfloat u1, GLfloat u2, GLint ustride, GLint uorder, GLfloat v1,
                  GLfloat v2, GLint vstride, GLint vorder, const GLfloat* points) {
    MapCall call;
    call.dims = 2, call.u1 = u1, call.u2 = u2, call.ustride = ustride, call.uorder = uorder;
    call.v1 = v1, call.v2 = v2, call.vstride = vstride, call.vorder = vorder, call.floats = points;
    if (!ModuleMap(target, call) && next_.glMap2f)
        next_.glMap2f(target, u1, u2, ustride, uorder, v1, v2, vstride, vorder, points);
}

void Layer::Map2d(GLenum target, GLdouble u1, GLdouble u2, GLint ustride, GLint uorder, GLdouble v1,
                  GLdouble v2, GLint vstride, GLint vorder, const GLdouble* points) {
    MapCall call;
    call.dims = 2, call.u1 = u1, call.u2 = u2, call.ustride = ustride, call.uorder = uorder;
    call.v1 = v1, call.v2 = v2, call.vstride = vstride, call.vorder = vorder, call.doubles = points;
    if (!ModuleMap(target, call) && next_.glMap2d)
        next_.glMap2d(target, u1, u2, ustride, uorder, v1, v2, vstride, vorder, points);
}

bool Layer::ModuleGetMap(GLenum target, GLenum query, std::vector<double>* values) {
    for (const auto& m : modules_)
        if (m->GetMap(target, query, values)) return true;
    return false;
}

void Layer::GetMapfv(GLenum target, GLenum query, GLfloat* values) {
    std::vector<double> v;
    if (!ModuleGetMap(target, query, &v)) {
        if (next_.glGetMapfv) next_.glGetMapfv(target, query, values);
        return;
    }
    for (size_t i = 0; values != nullptr && i < v.size(); ++i) values[i] = GLfloat(v[i]);
}

void Layer::GetMapdv(GLenum target, GLenum query, GLdouble* values) {
    std::vector<double> v;
    if (!ModuleGetMap(target, query, &v)) {
        if (next_.glGetMapdv) next_.glGetMapdv(target, query, values);
        return;
    }
    for (size_t i = 0; values != nullptr && i < v.size(); ++i) values[i] = v[i];
}

void Layer::GetMapiv(GLenum target, GLenum query, GLint* values) {
    std::vector<double> v;
    if (!ModuleGetMap(target, query, &v)) {
        if (next_.glGetMapiv) next_.glGetMapiv(target, query, values);
        return;
    }
    for (size_t i = 0; values != nullptr && i < v.size(); ++i) values[i] = GLint(std::lround(v[i]));
}

void Layer::EvalCoord(int dims, double u, double v) {
    // Compiled into a display list, evaluation is the driver's.
    if (insideBegin_ && !compiling_)
        for (const auto& m : modules_)
            if (m->EvalCoord(dims, u, v)) return;
    if (dims == 1 && next_.glEvalCoord1d) next_.glEvalCoord1d(u);
    if (dims == 2 && next_.glEvalCoord2d) next_.glEvalCoord2d(u, v);
}

void Layer::EvalPoint(int dims, GLint i, GLint j) {
    if (insideBegin_ && !compiling_)
        for (const auto& m : modules_)
            if (m->EvalPoint(dims, i, j)) return;
    if (dims == 1 && next_.glEvalPoint1) next_.glEvalPoint1(i);
    if (dims == 2 && next_.glEvalPoint2) next_.glEvalPoint2(i, j);
}

void Layer::EvalMesh(int dims, GLenum mode, GLint i1, GLint i2, GLint j1, GLint j2) {
    bool modules = false;
    for (const auto& m : modules_) modules = modules || m->EvaluatesMesh(dims);
    const bool known = mode == GL_POINT || mode == GL_LINE || (dims == 2 && mode == GL_FILL);
    if (!modules || compiling_ || insideBegin_ || !known) {
        if (!insideBegin_ && !PrepareDraw()) return;
        if (dims == 1 && next_.glEvalMesh1) next_.glEvalMesh1(mode, i1, i2);
        if (dims == 2 && next_.glEvalMesh2) next_.glEvalMesh2(mode, i1, i2, j1, j2);
        return;
    }
    if (dims == 1) {
        Begin(mode == GL_POINT ? GL_POINTS : GL_LINE_STRIP);
        for (GLint i = i1; i <= i2; ++i) EvalPoint(1, i, 0);
        End();
    } else if (mode == GL_FILL) {
        for (GLint i = i1; i < i2; ++i) {
            Begin(GL_QUAD_STRIP);
            for (GLint j = j1; j <= j2; ++j) {
                EvalPoint(2, i, j);
                EvalPoint(2, i + 1, j);
            }
            End();
        }
    } else if (mode == GL_LINE) {
        for (GLint i = i1; i <= i2; ++i) {
            Begin(GL_LINE_STRIP);
            for (GLint j = j1; j <= j2; ++j) EvalPoint(2, i, j);
            End();
        }
        for (GLint j = j1; j <= j2; ++j) {
            Begin(GL_LINE_STRIP);
            for (GLint i = i1; i <= i2; ++i) EvalPoint(2, i, j);
            End();
        }
    } else {
        Begin(GL_POINTS);
        for (GLint j = j1; j <= j2; ++j)
            for (GLint i = i1; i <= i2; ++i) EvalPoint(2, i, j);
        End();
    }
}

}  // namespace legacygl
