#include "legacygl/vertex_program_module.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace legacygl {

using vertexprogram::kParameterRegisters;
using vertexprogram::Vec4;

namespace {

constexpr GLenum kArrayBase = GL_VERTEX_ATTRIB_ARRAY0_NV;
constexpr int kProgramMatrices = 8;

// Column-major 4x4 matrices as the GL stores them.
using Matrix = GLfloat[16];

void Multiply(const Matrix a, const Matrix b, Matrix out) {
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a[k * 4 + r] * b[c * 4 + k];
            out[c * 4 + r] = sum;
        }
}

// Gauss-Jordan inversion with partial pivoting; a singular matrix gives zeros.
void Invert(const Matrix m, Matrix out) {
    double a[4][8];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            a[r][c] = m[c * 4 + r];
            a[r][c + 4] = r == c ? 1 : 0;
        }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::abs(a[r][col]) > std::abs(a[pivot][col])) pivot = r;
        if (a[pivot][col] == 0) {
            std::fill(out, out + 16, 0.0f);
            return;
        }
        std::swap(a[pivot], a[col]);
        const double scale = a[col][col];
        for (double& v : a[col]) v /= scale;
        for (int r = 0; r < 4; ++r) {
            if (r == col) continue;
            const double f = a[r][col];
            for (int c = 0; c < 8; ++c) a[r][c] -= f * a[col][c];
        }
    }
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out[c * 4 + r] = static_cast<float>(a[r][c + 4]);
}

VertexProgramModule* Current() {
    Layer* layer = CurrentLayer();
    return layer != nullptr ? layer->Get<VertexProgramModule>() : nullptr;
}

// The entry points. Each converts its arguments and hands them to the current context's module.
#define WITH_MODULE(call)                                \
    do {                                                 \
        if (VertexProgramModule* m = Current()) m->call; \
    } while (0)

// A command that display lists hold: recorded while one is compiled (its arguments copied), and
// run on the module of the context that calls the list.
template <typename F>
void Listed(F command) {
    if (Layer* layer = CurrentLayer()) layer->Listed<VertexProgramModule>(command);
}

void APIENTRY LoadProgramNV(GLenum target, GLuint id, GLsizei len, const GLubyte* program) {
    if (len < 0 || program == nullptr) {
        WITH_MODULE(LoadProgram(target, id, len, program));
        return;
    }
    const std::string text(reinterpret_cast<const char*>(program), size_t(len));
    Listed([=](VertexProgramModule& m) {
        m.LoadProgram(target, id, len, reinterpret_cast<const GLubyte*>(text.data()));
    });
}
void APIENTRY BindProgramNV(GLenum target, GLuint id) {
    Listed([=](VertexProgramModule& m) { m.BindProgram(target, id); });
}
void APIENTRY DeleteProgramsNV(GLsizei n, const GLuint* ids) {
    WITH_MODULE(DeletePrograms(n, ids));
}
void APIENTRY GenProgramsNV(GLsizei n, GLuint* ids) { WITH_MODULE(GenPrograms(n, ids)); }
GLboolean APIENTRY IsProgramNV(GLuint id) {
    VertexProgramModule* m = Current();
    return m != nullptr ? m->IsProgram(id) : GL_FALSE;
}
GLboolean APIENTRY AreProgramsResidentNV(GLsizei n, const GLuint* ids, GLboolean* residences) {
    VertexProgramModule* m = Current();
    return m != nullptr ? m->AreProgramsResident(n, ids, residences) : GL_FALSE;
}
void APIENTRY RequestResidentProgramsNV(GLsizei n, const GLuint*) {
    Listed([=](VertexProgramModule& m) { m.RequestResidentPrograms(n); });
}
void APIENTRY GetProgramivNV(GLuint id, GLenum pname, GLint* params) {
    WITH_MODULE(GetProgramiv(id, pname, params));
}
void APIENTRY GetProgramStringNV(GLuint id, GLenum pname, GLubyte* program) {
    WITH_MODULE(GetProgramString(id, pname, program));
}
void APIENTRY ExecuteProgramNV(GLenum target, GLuint id, const GLfloat* params) {
    if (params == nullptr) {
        WITH_MODULE(ExecuteProgram(target, id, params));
        return;
    }
    const std::array<GLfloat, 4> values = {params[0], params[1], params[2], params[3]};
    Listed([=](VertexProgramModule& m) { m.ExecuteProgram(target, id, values.data()); });
}
void APIENTRY TrackMatrixNV(GLenum target, GLuint address, GLenum matrix, GLenum transform) {
    Listed([=](VertexProgramModule& m) { m.TrackMatrix(target, address, matrix, transform); });
}
void APIENTRY GetTrackMatrixivNV(GLenum target, GLuint address, GLenum pname, GLint* params) {
    WITH_MODULE(GetTrackMatrixiv(target, address, pname, params));
}

template <typename T>
void APIENTRY ParametersNV(GLenum target, GLuint index, GLsizei count, const T* values) {
    VertexProgramModule* m = Current();
    if (m == nullptr) return;
    if (count < 0) return m->RaiseError(GL_INVALID_VALUE);
    std::vector<GLfloat> floats(values != nullptr ? size_t(count) * 4 : 0);
    for (size_t i = 0; i < floats.size(); ++i) floats[i] = static_cast<GLfloat>(values[i]);
    const GLsizei n = values != nullptr ? count : 0;
    Listed([=](VertexProgramModule& module) {
        module.SetParameters(target, index, n, floats.data());
    });
}
template <typename T>
void APIENTRY ParameterVNV(GLenum target, GLuint index, const T* values) {
    ParametersNV<T>(target, index, 1, values);
}
template <typename T>
void APIENTRY ParameterNV(GLenum target, GLuint index, T x, T y, T z, T w) {
    const T values[4] = {x, y, z, w};
    ParametersNV<T>(target, index, 1, values);
}
template <typename T>
void APIENTRY GetParameterNV(GLenum target, GLuint index, GLenum pname, T* params) {
    GLfloat values[4];
    VertexProgramModule* m = Current();
    if (m == nullptr || params == nullptr) return;
    m->GetParameter(target, index, pname, values);
    for (int i = 0; i < 4; ++i) params[i] = static_cast<T>(values[i]);
}

// Attribute values: unsigned bytes are normalized, everything else converted as is.
template <typename T>
GLfloat AttribValue(T v) {
    return std::is_same<T, GLubyte>::value ? static_cast<GLfloat>(v) / 255.0f
                                           : static_cast<GLfloat>(v);
}
template <int N, typename T>
void APIENTRY AttribVNV(GLuint index, const T* v) {
    VertexProgramModule* m = Current();
    if (m == nullptr || v == nullptr) return;
    GLfloat values[4] = {0, 0, 0, 1};
    for (int i = 0; i < N; ++i) values[i] = AttribValue(v[i]);
    m->VertexAttrib(index, values);
}
template <typename T, typename... A>
void APIENTRY AttribNV(GLuint index, A... a) {
    const T values[] = {static_cast<T>(a)...};
    AttribVNV<sizeof...(A), T>(index, values);
}
// The plural forms set the highest index first, so that v[0] (which draws) comes last.
template <int N, typename T>
void APIENTRY AttribsNV(GLuint index, GLsizei n, const T* v) {
    VertexProgramModule* m = Current();
    if (m == nullptr) return;
    if (n < 0) return m->RaiseError(GL_INVALID_VALUE);
    for (GLsizei i = n - 1; i >= 0; --i) AttribVNV<N, T>(index + i, v + i * N);
}
void APIENTRY VertexAttribPointerNV(GLuint index, GLint size, GLenum type, GLsizei stride,
                                    const void* pointer) {
    WITH_MODULE(VertexAttribPointer(index, size, type, stride, pointer));
}
template <typename T>
void APIENTRY GetVertexAttribNV(GLuint index, GLenum pname, T* params) {
    GLfloat values[4];
    VertexProgramModule* m = Current();
    if (m == nullptr || params == nullptr || !m->GetVertexAttrib(index, pname, values)) return;
    const int count = pname == GL_CURRENT_ATTRIB_NV ? 4 : 1;
    for (int i = 0; i < count; ++i) params[i] = static_cast<T>(values[i]);
}
void APIENTRY GetVertexAttribPointervNV(GLuint index, GLenum pname, void** pointer) {
    WITH_MODULE(GetVertexAttribPointerv(index, pname, pointer));
}

#undef WITH_MODULE

const NamedProc kEntryPoints[] = {
    {"glAreProgramsResidentNV", ProcOf(&AreProgramsResidentNV)},
    {"glBindProgramNV", ProcOf(&BindProgramNV)},
    {"glDeleteProgramsNV", ProcOf(&DeleteProgramsNV)},
    {"glExecuteProgramNV", ProcOf(&ExecuteProgramNV)},
    {"glGenProgramsNV", ProcOf(&GenProgramsNV)},
    {"glGetProgramParameterdvNV", ProcOf(&GetParameterNV<GLdouble>)},
    {"glGetProgramParameterfvNV", ProcOf(&GetParameterNV<GLfloat>)},
    {"glGetProgramivNV", ProcOf(&GetProgramivNV)},
    {"glGetProgramStringNV", ProcOf(&GetProgramStringNV)},
    {"glGetTrackMatrixivNV", ProcOf(&GetTrackMatrixivNV)},
    {"glGetVertexAttribdvNV", ProcOf(&GetVertexAttribNV<GLdouble>)},
    {"glGetVertexAttribfvNV", ProcOf(&GetVertexAttribNV<GLfloat>)},
    {"glGetVertexAttribivNV", ProcOf(&GetVertexAttribNV<GLint>)},
    {"glGetVertexAttribPointervNV", ProcOf(&GetVertexAttribPointervNV)},
    {"glIsProgramNV", ProcOf(&IsProgramNV)},
    {"glLoadProgramNV", ProcOf(&LoadProgramNV)},
    {"glProgramParameter4dNV", ProcOf(&ParameterNV<GLdouble>)},
    {"glProgramParameter4dvNV", ProcOf(&ParameterVNV<GLdouble>)},
    {"glProgramParameter4fNV", ProcOf(&ParameterNV<GLfloat>)},
    {"glProgramParameter4fvNV", ProcOf(&ParameterVNV<GLfloat>)},
    {"glProgramParameters4dvNV", ProcOf(&ParametersNV<GLdouble>)},
    {"glProgramParameters4fvNV", ProcOf(&ParametersNV<GLfloat>)},
    {"glRequestResidentProgramsNV", ProcOf(&RequestResidentProgramsNV)},
    {"glTrackMatrixNV", ProcOf(&TrackMatrixNV)},
    {"glVertexAttribPointerNV", ProcOf(&VertexAttribPointerNV)},
    {"glVertexAttrib1dNV", ProcOf(&AttribNV<GLdouble, GLdouble>)},
    {"glVertexAttrib1dvNV", ProcOf(&AttribVNV<1, GLdouble>)},
    {"glVertexAttrib1fNV", ProcOf(&AttribNV<GLfloat, GLfloat>)},
    {"glVertexAttrib1fvNV", ProcOf(&AttribVNV<1, GLfloat>)},
    {"glVertexAttrib1sNV", ProcOf(&AttribNV<GLshort, GLshort>)},
    {"glVertexAttrib1svNV", ProcOf(&AttribVNV<1, GLshort>)},
    {"glVertexAttrib2dNV", ProcOf(&AttribNV<GLdouble, GLdouble, GLdouble>)},
    {"glVertexAttrib2dvNV", ProcOf(&AttribVNV<2, GLdouble>)},
    {"glVertexAttrib2fNV", ProcOf(&AttribNV<GLfloat, GLfloat, GLfloat>)},
    {"glVertexAttrib2fvNV", ProcOf(&AttribVNV<2, GLfloat>)},
    {"glVertexAttrib2sNV", ProcOf(&AttribNV<GLshort, GLshort, GLshort>)},
    {"glVertexAttrib2svNV", ProcOf(&AttribVNV<2, GLshort>)},
    {"glVertexAttrib3dNV", ProcOf(&AttribNV<GLdouble, GLdouble, GLdouble, GLdouble>)},
    {"glVertexAttrib3dvNV", ProcOf(&AttribVNV<3, GLdouble>)},
    {"glVertexAttrib3fNV", ProcOf(&AttribNV<GLfloat, GLfloat, GLfloat, GLfloat>)},
    {"glVertexAttrib3fvNV", ProcOf(&AttribVNV<3, GLfloat>)},
    {"glVertexAttrib3sNV", ProcOf(&AttribNV<GLshort, GLshort, GLshort, GLshort>)},
    {"glVertexAttrib3svNV", ProcOf(&AttribVNV<3, GLshort>)},
    {"glVertexAttrib4dNV", ProcOf(&AttribNV<GLdouble, GLdouble, GLdouble, GLdouble, GLdouble>)},
    {"glVertexAttrib4dvNV", ProcOf(&AttribVNV<4, GLdouble>)},
    {"glVertexAttrib4fNV", ProcOf(&AttribNV<GLfloat, GLfloat, GLfloat, GLfloat, GLfloat>)},
    {"glVertexAttrib4fvNV", ProcOf(&AttribVNV<4, GLfloat>)},
    {"glVertexAttrib4sNV", ProcOf(&AttribNV<GLshort, GLshort, GLshort, GLshort, GLshort>)},
    {"glVertexAttrib4svNV", ProcOf(&AttribVNV<4, GLshort>)},
    {"glVertexAttrib4ubNV", ProcOf(&AttribNV<GLubyte, GLubyte, GLubyte, GLubyte, GLubyte>)},
    {"glVertexAttrib4ubvNV", ProcOf(&AttribVNV<4, GLubyte>)},
    {"glVertexAttribs1dvNV", ProcOf(&AttribsNV<1, GLdouble>)},
    {"glVertexAttribs1fvNV", ProcOf(&AttribsNV<1, GLfloat>)},
    {"glVertexAttribs1svNV", ProcOf(&AttribsNV<1, GLshort>)},
    {"glVertexAttribs2dvNV", ProcOf(&AttribsNV<2, GLdouble>)},
    {"glVertexAttribs2fvNV", ProcOf(&AttribsNV<2, GLfloat>)},
    {"glVertexAttribs2svNV", ProcOf(&AttribsNV<2, GLshort>)},
    {"glVertexAttribs3dvNV", ProcOf(&AttribsNV<3, GLdouble>)},
    {"glVertexAttribs3fvNV", ProcOf(&AttribsNV<3, GLfloat>)},
    {"glVertexAttribs3svNV", ProcOf(&AttribsNV<3, GLshort>)},
    {"glVertexAttribs4dvNV", ProcOf(&AttribsNV<4, GLdouble>)},
    {"glVertexAttribs4fvNV", ProcOf(&AttribsNV<4, GLfloat>)},
    {"glVertexAttribs4svNV", ProcOf(&AttribsNV<4, GLshort>)},
    {"glVertexAttribs4ubvNV", ProcOf(&AttribsNV<4, GLubyte>)},
};

bool ValidMatrix(GLenum m) {
    return m == GL_NONE || m == GL_MODELVIEW || m == GL_PROJECTION || m == GL_TEXTURE ||
           m == GL_MODELVIEW_PROJECTION_NV || (m >= GL_TEXTURE0 && m < GL_TEXTURE0 + 8) ||
           (m >= GL_MATRIX0_NV && m < GL_MATRIX0_NV + kProgramMatrices);
}

bool ValidTransform(GLenum t) {
    return t == GL_IDENTITY_NV || t == GL_INVERSE_NV || t == GL_TRANSPOSE_NV ||
           t == GL_INVERSE_TRANSPOSE_NV;
}

}  // namespace

std::unique_ptr<Module> CreateVertexProgramModule(Layer& layer) {
    return std::make_unique<VertexProgramModule>(layer);
}

VertexProgramModule::VertexProgramModule(Layer& layer)
    : layer_(layer), next_(layer.Next()), store_(layer.Group().Object<ProgramStore>()) {
    if (next_.glIsEnabled) {
        appColorSum_ = driverColorSum_ = next_.glIsEnabled(GL_COLOR_SUM);
        appFog_ = driverFog_ = next_.glIsEnabled(GL_FOG);
    }
}

NextGl::Proc VertexProgramModule::Lookup(const char* name) const {
    return FindProc(kEntryPoints, name);
}

bool VertexProgramModule::SetCapability(GLenum cap, bool on) {
    int dims;
    GLuint index;
    if (AttributeMaps::Target(cap, &dims, &index)) {
        maps_.Enable(dims, index, on);
        return true;
    }
    switch (cap) {
        case GL_VERTEX_PROGRAM_NV:
            enabled_ = on;
            break;
        case GL_VERTEX_PROGRAM_POINT_SIZE_NV:
            pointSize_ = on;
            break;
        case GL_VERTEX_PROGRAM_TWO_SIDE_NV:
            twoSide_ = on;
            break;
        // Colour sum and fog are the application's outside program mode, set by the next draw in
        // it.
        case GL_COLOR_SUM:
            appColorSum_ = on;
            if (!enabled_ || !ownsBinding_) SetDriverCapability(cap, on, driverColorSum_);
            dirty_ = true;
            return true;
        case GL_FOG:
            appFog_ = on;
            if (!enabled_ || !ownsBinding_) SetDriverCapability(cap, on, driverFog_);
            dirty_ = true;
            return true;
        default:
            return false;
    }
    // The driver's ARB enables share these values: they are the enables of the translation.
    dirty_ = true;
    if (on && next_.glEnable) next_.glEnable(cap);
    if (!on && next_.glDisable) next_.glDisable(cap);
    return true;
}

bool VertexProgramModule::IsEnabled(GLenum cap, GLboolean* on) const {
    bool value;
    int dims;
    GLuint index;
    if (AttributeMaps::Target(cap, &dims, &index)) {
        *on = maps_.Enabled(dims, index) ? GL_TRUE : GL_FALSE;
        return true;
    }
    switch (cap) {
        case GL_VERTEX_PROGRAM_NV:
            value = enabled_;
            break;
        case GL_VERTEX_PROGRAM_POINT_SIZE_NV:
            value = pointSize_;
            break;
        case GL_VERTEX_PROGRAM_TWO_SIDE_NV:
            value = twoSide_;
            break;
        case GL_COLOR_SUM:
            value = appColorSum_;
            break;
        case GL_FOG:
            value = appFog_;
            break;
        default:
            if (cap < kArrayBase || cap >= kArrayBase + 16) return false;
            value = arrays_ & (1 << (cap - kArrayBase));
    }
    *on = value ? GL_TRUE : GL_FALSE;
    return true;
}

bool VertexProgramModule::SetClientCapability(GLenum cap, bool on) {
    if (cap < kArrayBase || cap >= kArrayBase + 16) return false;
    const GLuint index = cap - kArrayBase;
    const uint16_t bit = static_cast<uint16_t>(1 << index);
    arrays_ = on ? (arrays_ | bit) : (arrays_ & ~bit);
    dirty_ = true;
    if (on && next_.glEnableVertexAttribArrayARB) next_.glEnableVertexAttribArrayARB(index);
    if (!on && next_.glDisableVertexAttribArrayARB) next_.glDisableVertexAttribArrayARB(index);
    return true;
}

bool VertexProgramModule::GetIntegers(GLenum pname, GLint* out) const {
    switch (pname) {
        case GL_VERTEX_PROGRAM_BINDING_NV:
            *out = static_cast<GLint>(bound_);
            return true;
        case GL_PROGRAM_ERROR_POSITION_NV:
            if (!loadedAny_) return false;  // the application's own ARB loads
            *out = errorPosition_;
            return true;
        case GL_MATRIX_MODE: {
            if (!next_.glGetIntegerv) return false;
            next_.glGetIntegerv(GL_MATRIX_MODE, out);
            const GLint first = GL_MATRIX0_ARB;
            if (*out >= first && *out < first + kProgramMatrices)
                *out = GL_MATRIX0_NV + (*out - first);
            return true;
        }
        default:
            return false;
    }
}

GLenum VertexProgramModule::DriverMatrixMode(GLenum mode) const {
    if (mode >= GL_MATRIX0_NV && mode < GL_MATRIX0_NV + kProgramMatrices)
        return GL_MATRIX0_ARB + (mode - GL_MATRIX0_NV);
    return mode;
}

void VertexProgramModule::ArbProgramBound(GLenum target) {
    if (target == GL_VERTEX_PROGRAM_ARB) {
        ownsBinding_ = false;
        dirty_ = true;
    }
}

void VertexProgramModule::AttributesPushed(GLbitfield mask) {
    savedMaps_.emplace_back((mask & (GL_ENABLE_BIT | GL_EVAL_BIT)) != 0, maps_.Enables());
}

void VertexProgramModule::AttributesPopped() {
    if (!savedMaps_.empty()) {
        if (savedMaps_.back().first) maps_.SetEnables(savedMaps_.back().second);
        savedMaps_.pop_back();
    }
    // The program enables are the driver's too; colour sum and fog may now differ from what
    // the layer last set, so the next draw sets them again.
    if (!next_.glIsEnabled) return;
    enabled_ = next_.glIsEnabled(GL_VERTEX_PROGRAM_NV);
    pointSize_ = next_.glIsEnabled(GL_VERTEX_PROGRAM_POINT_SIZE_NV);
    twoSide_ = next_.glIsEnabled(GL_VERTEX_PROGRAM_TWO_SIDE_NV);
    driverColorSum_ = next_.glIsEnabled(GL_COLOR_SUM);
    driverFog_ = next_.glIsEnabled(GL_FOG);
    dirty_ = true;
}

bool VertexProgramModule::BeforeDraw() {
    std::lock_guard<std::mutex> hold(store_.lock);
    if (store_.generation != seenGeneration_) {
        // Another context of the share group loaded or deleted programs.
        seenGeneration_ = store_.generation;
        dirty_ = true;
    }
    if (dirty_) Commit();
    if (!drawable_) layer_.RaiseError(GL_INVALID_OPERATION);
    return drawable_;
}

void VertexProgramModule::SetDriverCapability(GLenum cap, bool on, bool& driverState) {
    if (on == driverState) return;
    if (on && next_.glEnable) next_.glEnable(cap);
    if (!on && next_.glDisable) next_.glDisable(cap);
    driverState = on;
}

void VertexProgramModule::Commit() {
    dirty_ = false;
    drawable_ = true;
    auto found = store_.programs.find(bound_);
    StoredProgram* p = found != store_.programs.end() ? &found->second : nullptr;
    if (!enabled_ || !ownsBinding_) {
        SetDriverCapability(GL_COLOR_SUM, appColorSum_, driverColorSum_);
        SetDriverCapability(GL_FOG, appFog_, driverFog_);
        return;
    }
    if (p == nullptr || p->target != GL_VERTEX_PROGRAM_NV) {
        drawable_ = false;
        dirty_ = true;  // every draw raises its error
        // The draws the driver makes anyway (those inside display lists) draw nothing.
        if (next_.glBindProgramARB) next_.glBindProgramARB(GL_VERTEX_PROGRAM_ARB, Discard());
        return;
    }
    // In program mode the color sum always applies, and an unwritten fog coordinate means no
    // fog.
    SetDriverCapability(GL_COLOR_SUM, true, driverColorSum_);
    SetDriverCapability(GL_FOG, appFog_ && p->writesFog, driverFog_);
    state_.attributeArrays = arrays_;
    const GLuint arb = Translation(*p);
    if (next_.glBindProgramARB) next_.glBindProgramARB(GL_VERTEX_PROGRAM_ARB, arb);
}

GLuint VertexProgramModule::Discard() {
    if (discard_ != 0 || !next_.glGenProgramsARB || !next_.glProgramStringARB) return discard_;
    // Every vertex lands outside the clip volume.
    static const char kText[] =
        "!!ARBvp1.0\nPARAM outside = {2, 2, 2, 1};\nMOV result.position, outside;\nEND\n";
    next_.glGenProgramsARB(1, &discard_);
    next_.glBindProgramARB(GL_VERTEX_PROGRAM_ARB, discard_);
    next_.glProgramStringARB(GL_VERTEX_PROGRAM_ARB, GL_PROGRAM_FORMAT_ASCII_ARB,
                             GLsizei(sizeof kText - 1), kText);
    return discard_;
}

GLuint VertexProgramModule::Translation(StoredProgram& p) {
    for (const auto& t : p.translations)
        if (t.first == state_) return t.second;
    if (!next_.glGenProgramsARB || !next_.glBindProgramARB || !next_.glProgramStringARB) return 0;
    const std::string text = TranslateToArb(p.program, state_);
    GLuint arb = 0;
    next_.glGenProgramsARB(1, &arb);
    next_.glBindProgramARB(GL_VERTEX_PROGRAM_ARB, arb);
    next_.glProgramStringARB(GL_VERTEX_PROGRAM_ARB, GL_PROGRAM_FORMAT_ASCII_ARB,
                             static_cast<GLsizei>(text.size()), text.data());
    GLint position = -1;
    if (next_.glGetIntegerv) next_.glGetIntegerv(GL_PROGRAM_ERROR_POSITION_ARB, &position);
    if (position != -1) {
        std::fprintf(stderr, "legacygl: the driver refused a translation at %d:\n%s", position,
                     text.c_str());
    }
    p.translations.emplace_back(state_, arb);
    return arb;
}

void VertexProgramModule::DropTranslations(StoredProgram& p) {
    for (const auto& t : p.translations)
        if (next_.glDeleteProgramsARB) next_.glDeleteProgramsARB(1, &t.second);
    p.translations.clear();
}

void VertexProgramModule::LoadProgram(GLenum target, GLuint id, GLsizei length,
                                      const GLubyte* text) {
    std::lock_guard<std::mutex> hold(store_.lock);
    if (target != GL_VERTEX_PROGRAM_NV && target != GL_VERTEX_STATE_PROGRAM_NV)
        return RaiseError(GL_INVALID_ENUM);
    if (id == 0 || length < 0 || (text == nullptr && length > 0))
        return RaiseError(GL_INVALID_VALUE);
    auto existing = store_.programs.find(id);
    if (existing != store_.programs.end() && existing->second.target != target)
        return RaiseError(GL_INVALID_OPERATION);
    const char* chars = reinterpret_cast<const char*>(text);
    StoredProgram p;
    bool stateProgram = false;
    long position = vertexprogram::Parse(chars, size_t(length), &p.program, &stateProgram);
    // A text of the other kind than the target is refused at its header.
    if (position < 0 && stateProgram != (target == GL_VERTEX_STATE_PROGRAM_NV)) position = 0;
    loadedAny_ = true;
    errorPosition_ = static_cast<GLint>(position);
    if (position >= 0) return RaiseError(GL_INVALID_OPERATION);
    p.target = target;
    p.text.assign(chars, size_t(length));
    p.writesFog = WritesResult(p.program, vertexprogram::FOGC);
    if (existing != store_.programs.end()) DropTranslations(existing->second);
    store_.programs[id] = std::move(p);
    store_.generated.insert(id);
    ++store_.generation;
    dirty_ = true;
}

void VertexProgramModule::BindProgram(GLenum target, GLuint id) {
    std::lock_guard<std::mutex> hold(store_.lock);
    if (target != GL_VERTEX_PROGRAM_NV) return RaiseError(GL_INVALID_ENUM);
    auto p = store_.programs.find(id);
    if (p != store_.programs.end() && p->second.target != GL_VERTEX_PROGRAM_NV)
        return RaiseError(GL_INVALID_OPERATION);
    bound_ = id;
    ownsBinding_ = true;
    dirty_ = true;
}

void VertexProgramModule::DeletePrograms(GLsizei n, const GLuint* ids) {
    std::lock_guard<std::mutex> hold(store_.lock);
    if (n < 0) return RaiseError(GL_INVALID_VALUE);
    for (GLsizei i = 0; ids != nullptr && i < n; ++i) {
        auto p = store_.programs.find(ids[i]);
        if (p != store_.programs.end()) {
            DropTranslations(p->second);
            store_.programs.erase(p);
        }
        store_.generated.erase(ids[i]);
        if (ids[i] == bound_) bound_ = 0;
    }
    ++store_.generation;
    dirty_ = true;
}

void VertexProgramModule::GenPrograms(GLsizei n, GLuint* ids) {
    std::lock_guard<std::mutex> hold(store_.lock);
    if (n < 0) return RaiseError(GL_INVALID_VALUE);
    GLuint next = 1;
    for (GLsizei i = 0; ids != nullptr && i < n; ++i) {
        while (store_.generated.count(next) || store_.programs.count(next)) ++next;
        store_.generated.insert(next);
        ids[i] = next;
    }
}

GLboolean VertexProgramModule::IsProgram(GLuint id) const {
    std::lock_guard<std::mutex> hold(store_.lock);
    return store_.programs.count(id) ? GL_TRUE : GL_FALSE;
}

GLboolean VertexProgramModule::AreProgramsResident(GLsizei n, const GLuint* ids, GLboolean*) {
    std::lock_guard<std::mutex> hold(store_.lock);
    if (n < 0) {
        RaiseError(GL_INVALID_VALUE);
        return GL_FALSE;
    }
    // Every program is resident; only a name that holds none is an error.
    for (GLsizei i = 0; ids != nullptr && i < n; ++i) {
        if (!store_.programs.count(ids[i])) {
            RaiseError(GL_INVALID_VALUE);
            return GL_FALSE;
        }
    }
    return GL_TRUE;
}

void VertexProgramModule::RequestResidentPrograms(GLsizei n) {
    if (n < 0) RaiseError(GL_INVALID_VALUE);
}

void VertexProgramModule::GetProgramiv(GLuint id, GLenum pname, GLint* params) {
    std::lock_guard<std::mutex> hold(store_.lock);
    auto p = store_.programs.find(id);
    if (p == store_.programs.end()) return RaiseError(GL_INVALID_OPERATION);
    if (params == nullptr) return;
    switch (pname) {
        case GL_PROGRAM_TARGET_NV:
            *params = static_cast<GLint>(p->second.target);
            break;
        case GL_PROGRAM_LENGTH_NV:
            *params = static_cast<GLint>(p->second.text.size());
            break;
        case GL_PROGRAM_RESIDENT_NV:
            *params = GL_TRUE;
            break;
        default:
            RaiseError(GL_INVALID_ENUM);
    }
}

void VertexProgramModule::GetProgramString(GLuint id, GLenum pname, GLubyte* program) {
    std::lock_guard<std::mutex> hold(store_.lock);
    auto p = store_.programs.find(id);
    if (p == store_.programs.end()) return RaiseError(GL_INVALID_OPERATION);
    if (pname != GL_PROGRAM_STRING_NV) return RaiseError(GL_INVALID_ENUM);
    if (program != nullptr) std::memcpy(program, p->second.text.data(), p->second.text.size());
}

bool VertexProgramModule::Tracked(GLuint index) const {
    return state_.tracking[index / 4].matrix != GL_NONE;
}

void VertexProgramModule::WriteParameter(GLuint index, const Vec4& value) {
    parameters_[index] = value;
    if (next_.glProgramEnvParameter4fvARB)
        next_.glProgramEnvParameter4fvARB(GL_VERTEX_PROGRAM_ARB, index, value.data());
}

void VertexProgramModule::ExecuteProgram(GLenum target, GLuint id, const GLfloat* params) {
    std::lock_guard<std::mutex> hold(store_.lock);
    if (target != GL_VERTEX_STATE_PROGRAM_NV && target != GL_VERTEX_PROGRAM_NV)
        return RaiseError(GL_INVALID_ENUM);
    auto found = store_.programs.find(id);
    if (found == store_.programs.end() || found->second.target != GL_VERTEX_STATE_PROGRAM_NV ||
        target != GL_VERTEX_STATE_PROGRAM_NV || params == nullptr)
        return RaiseError(GL_INVALID_OPERATION);
    const vertexprogram::Program& program = found->second.program;
    bool written[kParameterRegisters] = {};
    for (const vertexprogram::Instruction& ins : program.code) {
        if (ins.op == vertexprogram::Opcode::ARL || ins.dst.file != vertexprogram::File::Parameter)
            continue;
        if (Tracked(GLuint(ins.dst.index))) return RaiseError(GL_INVALID_OPERATION);
        written[ins.dst.index] = true;
    }
    // The program reads tracked registers at their current values.
    for (int slot = 0; slot < kTrackingSlots; ++slot) {
        if (state_.tracking[slot].matrix == GL_NONE) continue;
        Vec4 rows[4];
        TrackedValues(state_.tracking[slot], rows);
        std::copy(rows, rows + 4, parameters_ + slot * 4);
    }
    vertexprogram::RunStateProgram(program, {params[0], params[1], params[2], params[3]},
                                   parameters_);
    for (int i = 0; i < kParameterRegisters; ++i)
        if (written[i]) WriteParameter(GLuint(i), parameters_[i]);
}

void VertexProgramModule::SetParameters(GLenum target, GLuint index, GLsizei count,
                                        const GLfloat* values) {
    if (target != GL_VERTEX_PROGRAM_NV) return RaiseError(GL_INVALID_ENUM);
    if (index >= GLuint(kParameterRegisters) || GLuint(count) > kParameterRegisters - index)
        return RaiseError(GL_INVALID_VALUE);
    for (GLsizei i = 0; i < count; ++i)
        if (Tracked(index + GLuint(i))) return RaiseError(GL_INVALID_OPERATION);
    for (GLsizei i = 0; i < count; ++i) {
        const GLfloat* v = values + i * 4;
        WriteParameter(index + GLuint(i), {v[0], v[1], v[2], v[3]});
    }
}

void VertexProgramModule::GetParameter(GLenum target, GLuint index, GLenum pname, GLfloat* values) {
    if (target != GL_VERTEX_PROGRAM_NV || pname != GL_PROGRAM_PARAMETER_NV)
        return RaiseError(GL_INVALID_ENUM);
    if (index >= GLuint(kParameterRegisters)) return RaiseError(GL_INVALID_VALUE);
    Vec4 value = parameters_[index];
    if (Tracked(index)) {
        Vec4 rows[4];
        TrackedValues(state_.tracking[index / 4], rows);
        value = rows[index % 4];
    }
    std::copy(value.begin(), value.end(), values);
}

void VertexProgramModule::TrackedValues(const TrackedMatrix& tracked, Vec4 (&rows)[4]) const {
    Matrix m = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const GLenum which = tracked.matrix;
    if (next_.glGetFloatv && next_.glGetIntegerv) {
        if (which == GL_MODELVIEW) {
            next_.glGetFloatv(GL_MODELVIEW_MATRIX, m);
        } else if (which == GL_PROJECTION) {
            next_.glGetFloatv(GL_PROJECTION_MATRIX, m);
        } else if (which == GL_MODELVIEW_PROJECTION_NV) {
            Matrix mv, p;
            next_.glGetFloatv(GL_MODELVIEW_MATRIX, mv);
            next_.glGetFloatv(GL_PROJECTION_MATRIX, p);
            Multiply(p, mv, m);
        } else if (which >= GL_TEXTURE0 && which < GL_TEXTURE0 + 8 && next_.glActiveTexture) {
            GLint active = GL_TEXTURE0;
            next_.glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
            next_.glActiveTexture(which);
            next_.glGetFloatv(GL_TEXTURE_MATRIX, m);
            next_.glActiveTexture(GLenum(active));
        } else if (which >= GL_MATRIX0_NV && next_.glMatrixMode) {
            GLint mode = GL_MODELVIEW;
            next_.glGetIntegerv(GL_MATRIX_MODE, &mode);
            next_.glMatrixMode(GL_MATRIX0_ARB + (which - GL_MATRIX0_NV));
            next_.glGetFloatv(GL_CURRENT_MATRIX_ARB, m);
            next_.glMatrixMode(GLenum(mode));
        }
    }
    Matrix t;
    const bool invert =
        tracked.transform == GL_INVERSE_NV || tracked.transform == GL_INVERSE_TRANSPOSE_NV;
    const bool transpose =
        tracked.transform == GL_TRANSPOSE_NV || tracked.transform == GL_INVERSE_TRANSPOSE_NV;
    if (invert) {
        Invert(m, t);
        std::copy(t, t + 16, m);
    }
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) rows[r][c] = transpose ? m[r * 4 + c] : m[c * 4 + r];
}

void VertexProgramModule::TrackMatrix(GLenum target, GLuint address, GLenum matrix,
                                      GLenum transform) {
    if (target != GL_VERTEX_PROGRAM_NV) return RaiseError(GL_INVALID_ENUM);
    if (address % 4 != 0 || address >= GLuint(kParameterRegisters))
        return RaiseError(GL_INVALID_VALUE);
    if (!ValidMatrix(matrix) || !ValidTransform(transform)) return RaiseError(GL_INVALID_ENUM);
    if (matrix == GL_TEXTURE) {
        // The texture matrix of the unit active now.
        GLint active = GL_TEXTURE0;
        if (next_.glGetIntegerv) next_.glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
        matrix = GLenum(active);
    }
    TrackedMatrix& slot = state_.tracking[address / 4];
    if (matrix == GL_NONE && slot.matrix != GL_NONE) {
        // Untracked registers keep the last tracked values.
        Vec4 rows[4];
        TrackedValues(slot, rows);
        for (GLuint k = 0; k < 4; ++k) WriteParameter(address + k, rows[k]);
    }
    slot.matrix = matrix;
    slot.transform = transform;
    dirty_ = true;
}

void VertexProgramModule::GetTrackMatrixiv(GLenum target, GLuint address, GLenum pname,
                                           GLint* params) {
    if (target != GL_VERTEX_PROGRAM_NV) return RaiseError(GL_INVALID_ENUM);
    if (address % 4 != 0 || address >= GLuint(kParameterRegisters))
        return RaiseError(GL_INVALID_VALUE);
    const TrackedMatrix& slot = state_.tracking[address / 4];
    if (params == nullptr) return;
    if (pname == GL_TRACK_MATRIX_NV) {
        *params = static_cast<GLint>(slot.matrix);
    } else if (pname == GL_TRACK_MATRIX_TRANSFORM_NV) {
        *params = static_cast<GLint>(slot.transform);
    } else {
        RaiseError(GL_INVALID_ENUM);
    }
}

void VertexProgramModule::VertexAttrib(GLuint index, const GLfloat (&v)[4]) {
    if (index >= GLuint(vertexprogram::kAttributeRegisters))
        return layer_.RaiseListedError(GL_INVALID_VALUE);
    // Aliased attributes are the conventional state itself, so both ways agree.
    switch (index) {
        case 0:
            if (next_.glVertex4f) next_.glVertex4f(v[0], v[1], v[2], v[3]);
            return;
        case 2:
            if (next_.glNormal3f) next_.glNormal3f(v[0], v[1], v[2]);
            return;
        case 3:
            if (next_.glColor4f) next_.glColor4f(v[0], v[1], v[2], v[3]);
            return;
        case 4:
            if (next_.glSecondaryColor3f) next_.glSecondaryColor3f(v[0], v[1], v[2]);
            return;
        case 5:
            if (next_.glFogCoordf) next_.glFogCoordf(v[0]);
            return;
        default:
            if (index >= 8) {
                if (next_.glMultiTexCoord4f)
                    next_.glMultiTexCoord4f(GL_TEXTURE0 + index - 8, v[0], v[1], v[2], v[3]);
            } else if (next_.glVertexAttrib4fARB) {
                next_.glVertexAttrib4fARB(index, v[0], v[1], v[2], v[3]);
            }
    }
}

void VertexProgramModule::VertexAttribPointer(GLuint index, GLint size, GLenum type, GLsizei stride,
                                              const void* pointer) {
    if (index >= GLuint(vertexprogram::kAttributeRegisters) || size < 1 || size > 4 || stride < 0)
        return RaiseError(GL_INVALID_VALUE);
    if (type != GL_SHORT && type != GL_FLOAT && type != GL_DOUBLE && type != GL_UNSIGNED_BYTE)
        return RaiseError(GL_INVALID_ENUM);
    if (type == GL_UNSIGNED_BYTE && size != 4) return RaiseError(GL_INVALID_OPERATION);
    if (next_.glVertexAttribPointerARB) {
        next_.glVertexAttribPointerARB(index, size, type, type == GL_UNSIGNED_BYTE, stride,
                                       pointer);
    }
}

bool VertexProgramModule::GetVertexAttrib(GLuint index, GLenum pname, GLfloat* values) {
    if (index >= GLuint(vertexprogram::kAttributeRegisters)) {
        RaiseError(GL_INVALID_VALUE);
        return false;
    }
    if (pname == GL_ATTRIB_ARRAY_SIZE_NV || pname == GL_ATTRIB_ARRAY_STRIDE_NV ||
        pname == GL_ATTRIB_ARRAY_TYPE_NV) {
        GLint value = 0;
        if (next_.glGetVertexAttribivARB) next_.glGetVertexAttribivARB(index, pname, &value);
        values[0] = static_cast<GLfloat>(value);
        return true;
    }
    if (pname != GL_CURRENT_ATTRIB_NV) {
        RaiseError(GL_INVALID_ENUM);
        return false;
    }
    if (index == 0) {
        RaiseError(GL_INVALID_VALUE);
        return false;
    }
    Vec4 v = {0, 0, 0, 1};
    if (!next_.glGetFloatv || !next_.glGetIntegerv) return false;
    switch (index) {
        case 2:
            next_.glGetFloatv(GL_CURRENT_NORMAL, v.data());
            break;
        case 3:
            next_.glGetFloatv(GL_CURRENT_COLOR, v.data());
            break;
        case 4:
            next_.glGetFloatv(GL_CURRENT_SECONDARY_COLOR, v.data());
            v[3] = 1;
            break;
        case 5:
            next_.glGetFloatv(GL_CURRENT_FOG_COORD, v.data());
            break;
        default:
            if (index >= 8 && next_.glActiveTexture) {
                GLint active = GL_TEXTURE0;
                next_.glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
                next_.glActiveTexture(GL_TEXTURE0 + index - 8);
                next_.glGetFloatv(GL_CURRENT_TEXTURE_COORDS, v.data());
                next_.glActiveTexture(GLenum(active));
            } else if (next_.glGetVertexAttribfvARB) {
                next_.glGetVertexAttribfvARB(index, GL_CURRENT_VERTEX_ATTRIB_ARB, v.data());
            }
    }
    std::copy(v.begin(), v.end(), values);
    return true;
}

void VertexProgramModule::GetVertexAttribPointerv(GLuint index, GLenum pname, void** pointer) {
    if (index >= GLuint(vertexprogram::kAttributeRegisters)) return RaiseError(GL_INVALID_VALUE);
    if (pname != GL_ATTRIB_ARRAY_POINTER_NV) return RaiseError(GL_INVALID_ENUM);
    if (next_.glGetVertexAttribPointervARB && pointer != nullptr)
        next_.glGetVertexAttribPointervARB(index, GL_VERTEX_ATTRIB_ARRAY_POINTER_ARB, pointer);
}

bool VertexProgramModule::DefineMap(GLenum target, const MapCall& call) {
    int dims;
    GLuint index;
    if (!AttributeMaps::Target(target, &dims, &index) || dims != call.dims) return false;
    GLint maxOrder = 8;
    if (next_.glGetIntegerv) next_.glGetIntegerv(GL_MAX_EVAL_ORDER, &maxOrder);
    const GLenum error = AttributeMaps::Check(call, maxOrder);
    if (error != GL_NO_ERROR || (call.floats == nullptr && call.doubles == nullptr)) {
        layer_.RaiseListedError(error != GL_NO_ERROR ? error : GL_INVALID_VALUE);
        return true;
    }
    const AttributeMaps::Map map = AttributeMaps::Read(call);
    const Layer::Command define = [dims, index, map](Layer& l) {
        if (VertexProgramModule* m = l.Get<VertexProgramModule>()) m->SetMap(dims, index, map);
    };
    if (!layer_.Recorded(define)) define(layer_);
    return true;
}

bool VertexProgramModule::GetMap(GLenum target, GLenum query, std::vector<double>* values) {
    int dims;
    GLuint index;
    if (!AttributeMaps::Target(target, &dims, &index)) return false;
    const AttributeMaps::Map& map = maps_.Get(dims, index);
    switch (query) {
        case GL_COEFF:
            for (const AttributeMaps::Point& p : map.points)
                values->insert(values->end(), p.begin(), p.end());
            break;
        case GL_ORDER:
            values->push_back(map.uorder);
            if (dims == 2) values->push_back(map.vorder);
            break;
        case GL_DOMAIN:
            *values = {map.u1, map.u2};
            if (dims == 2) values->insert(values->end(), {map.v1, map.v2});
            break;
        default:
            RaiseError(GL_INVALID_ENUM);
    }
    return true;
}

namespace {

// The driver's maps of the attributes they alias, each with its component count; the first
// enabled one of an attribute is the one evaluated.
struct DriverMap {
    GLuint index;
    GLenum map1, map2;
    int components;
};
const DriverMap kDriverMaps[] = {
    {0, GL_MAP1_VERTEX_4, GL_MAP2_VERTEX_4, 4},
    {0, GL_MAP1_VERTEX_3, GL_MAP2_VERTEX_3, 3},
    {2, GL_MAP1_NORMAL, GL_MAP2_NORMAL, 3},
    {3, GL_MAP1_COLOR_4, GL_MAP2_COLOR_4, 4},
    {8, GL_MAP1_TEXTURE_COORD_4, GL_MAP2_TEXTURE_COORD_4, 4},
    {8, GL_MAP1_TEXTURE_COORD_3, GL_MAP2_TEXTURE_COORD_3, 3},
    {8, GL_MAP1_TEXTURE_COORD_2, GL_MAP2_TEXTURE_COORD_2, 2},
    {8, GL_MAP1_TEXTURE_COORD_1, GL_MAP2_TEXTURE_COORD_1, 1},
};

}  // namespace

bool VertexProgramModule::EvaluatesMesh(int dims) const {
    if (!enabled_ || !ownsBinding_) return false;
    for (GLuint i = 0; i < GLuint(AttributeMaps::kMaps); ++i)
        if (maps_.Enabled(dims, i)) return true;
    return false;
}

void VertexProgramModule::ReadDriverMaps() {
    for (int dims = 1; dims <= 2; ++dims) {
        uint16_t& on = conventionalOn_[dims - 1];
        on = 0;
        for (const DriverMap& d : kDriverMaps) {
            const GLenum target = dims == 1 ? d.map1 : d.map2;
            if ((on >> d.index) & 1 || !next_.glIsEnabled(target)) continue;
            GLint order[2] = {1, 1};
            double domain[4] = {0, 1, 0, 1};
            next_.glGetMapiv(target, GL_ORDER, order);
            next_.glGetMapdv(target, GL_DOMAIN, domain);
            std::vector<double> coefficients(size_t(std::max(order[0], 1)) *
                                             size_t(std::max(order[1], 1)) * size_t(d.components));
            next_.glGetMapdv(target, GL_COEFF, coefficients.data());
            MapCall call;
            call.dims = dims;
            call.u1 = domain[0], call.u2 = domain[1], call.uorder = order[0];
            call.v1 = domain[2], call.v2 = domain[3], call.vorder = order[1];
            // Read as four components, the missing ones then filled in as (0, 0, 0, 1).
            std::vector<double> padded;
            for (size_t p = 0; p < coefficients.size() / size_t(d.components); ++p)
                for (int c = 0; c < 4; ++c)
                    padded.push_back(c < d.components
                                         ? coefficients[p * size_t(d.components) + size_t(c)]
                                         : (c == 3 ? 1 : 0));
            call.ustride = dims == 2 ? 4 * order[1] : 4;
            call.vstride = 4;
            call.doubles = padded.data();
            conventional_[dims - 1][d.index] = AttributeMaps::Read(call);
            on = uint16_t(on | 1u << d.index);
        }
    }
}

void VertexProgramModule::BeforeBegin() {
    if (!enabled_ || !ownsBinding_ || !maps_.AnyEnabled() || !next_.glIsEnabled ||
        !next_.glGetDoublev || !next_.glGetIntegerv || !next_.glGetMapiv || !next_.glGetMapdv)
        return;
    // Between glBegin and glEnd the driver's evaluator state cannot be read: taken now.
    double domain[4];
    GLint segments[2];
    next_.glGetDoublev(GL_MAP1_GRID_DOMAIN, domain);
    next_.glGetIntegerv(GL_MAP1_GRID_SEGMENTS, segments);
    grid_[0][0] = {domain[0], domain[1], segments[0]};
    next_.glGetDoublev(GL_MAP2_GRID_DOMAIN, domain);
    next_.glGetIntegerv(GL_MAP2_GRID_SEGMENTS, segments);
    grid_[1][0] = {domain[0], domain[1], segments[0]};
    grid_[1][1] = {domain[2], domain[3], segments[1]};
    ReadDriverMaps();
    autoNormal_ = next_.glIsEnabled(GL_AUTO_NORMAL);
}

const AttributeMaps::Map* VertexProgramModule::MapOf(int dims, GLuint index) const {
    // An attribute map comes before the driver's map of the attribute it aliases.
    if (maps_.Enabled(dims, index)) return &maps_.Get(dims, index);
    if ((conventionalOn_[dims - 1] >> index) & 1) return &conventional_[dims - 1][index];
    return nullptr;
}

bool VertexProgramModule::EvalCoord(int dims, double u, double v) {
    if (!EvaluatesMesh(dims)) return false;
    // Nothing is evaluated without a map of the position, which comes last as it makes the
    // vertex.
    if (MapOf(dims, 0) == nullptr) return true;
    for (GLuint i = AttributeMaps::kMaps; i-- > 0;) {
        // Automatic normals of a patch come before the driver's normal map.
        if (i == 2 && dims == 2 && autoNormal_ && !maps_.Enabled(2, 2)) {
            const std::array<float, 4> n = AttributeMaps::Normal(*MapOf(2, 0), u, v);
            VertexAttrib(2, {n[0], n[1], n[2], n[3]});
            continue;
        }
        if (const AttributeMaps::Map* map = MapOf(dims, i)) {
            const std::array<float, 4> value = AttributeMaps::Evaluate(*map, u, v);
            VertexAttrib(i, {value[0], value[1], value[2], value[3]});
        }
    }
    return true;
}

bool VertexProgramModule::EvalPoint(int dims, GLint i, GLint j) {
    if (!EvaluatesMesh(dims)) return false;
    auto at = [](const Grid& g, GLint k) {
        return k == g.segments ? g.to : g.from + k * (g.to - g.from) / g.segments;
    };
    const Grid* grid = grid_[dims - 1];
    return EvalCoord(dims, at(grid[0], i), dims == 2 ? at(grid[1], j) : 0);
}

}  // namespace legacygl
