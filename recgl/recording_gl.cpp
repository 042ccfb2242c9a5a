// The recording GL: state, queries, GLX, name lookup and the recorded calls. The functions that
// only record themselves are generated from gl_functions.def.
#define GL_GLEXT_PROTOTYPES 1
#include "recgl/recording_gl.h"
#include "vertexprogram/program.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>
#include <GL/glx.h>
#include <GL/freeglut_std.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <tuple>
#include <unordered_map>
#include <utility>

namespace recgl {
namespace {

struct State {
    Profile profile;
    std::vector<Call> calls;
    std::vector<std::string> lookups;
    GLenum pendingError = GL_NO_ERROR;
    std::set<GLenum> enabled;
    GLuint nextTexture = 1;
    long errorPosition = -1;
    std::map<GLuint, std::string> programs;
    GLenum matrixMode = GL_MODELVIEW;
    std::map<GLenum, int> stackDepth{{GL_MODELVIEW, 1}, {GL_PROJECTION, 1}, {GL_TEXTURE, 1}};
    bool insideBegin = false;
    GLenum activeTexture = GL_TEXTURE0_ARB;
    std::map<std::pair<GLenum, GLenum>, GLuint> boundTextures;  // (unit, target) -> texture
};

State& S() {
    static State state;
    return state;
}

// Keeps the first error until glGetError reads it, as GL does.
void RaiseError(GLenum error) {
    if (S().pendingError == GL_NO_ERROR) S().pendingError = error;
}

// ---- State changes of recorded calls --------------------------------------------------------

void SetEnabled(GLenum cap, bool on) {
    if (on)
        S().enabled.insert(cap);
    else
        S().enabled.erase(cap);
}

void SetMatrixMode(GLenum mode) {
    if (S().stackDepth.count(mode))
        S().matrixMode = mode;
    else
        RaiseError(GL_INVALID_ENUM);
}

// Stack limits of the smallest implementations GL allows.
int MaxStackDepth(GLenum mode) { return mode == GL_MODELVIEW ? 32 : 2; }

void PushMatrix() {
    int& depth = S().stackDepth[S().matrixMode];
    if (depth >= MaxStackDepth(S().matrixMode))
        RaiseError(GL_STACK_OVERFLOW);
    else
        ++depth;
}

void PopMatrix() {
    int& depth = S().stackDepth[S().matrixMode];
    if (depth <= 1)
        RaiseError(GL_STACK_UNDERFLOW);
    else
        --depth;
}

void BeginPrimitive() {
    if (S().insideBegin) RaiseError(GL_INVALID_OPERATION);
    S().insideBegin = true;
}

void EndPrimitive() {
    if (!S().insideBegin) RaiseError(GL_INVALID_OPERATION);
    S().insideBegin = false;
}

void BindTexture(GLenum target, GLuint texture) {
    S().boundTextures[{S().activeTexture, target}] = texture;
}

void SetActiveTexture(GLenum texture) { S().activeTexture = texture; }

// ---- Arguments -------------------------------------------------------------------------------

// A float converted to an integer without undefined behaviour: NaN reads 0, out-of-range values
// saturate.
int64_t Truncate(double value, double low, double high) {
    if (!(value == value)) return 0;
    return static_cast<int64_t>(std::min(std::max(value, low), high));
}

Arg Number(int64_t value) {
    Arg a;
    a.integer = value;
    a.real = static_cast<double>(value);
    return a;
}

Arg ToArg(int value) { return Number(value); }
Arg ToArg(unsigned value) { return Number(value); }
Arg ToArg(double value) {
    Arg a;
    a.kind = ArgKind::Float;
    a.real = value;
    a.integer = Truncate(value, -9.0e18, 9.0e18);
    return a;
}
Arg ToArg(float value) { return ToArg(static_cast<double>(value)); }
Arg ToArg(Arg value) { return value; }

Arg EnumArg(GLenum value, EnumStyle style) {
    Arg a = Number(value);
    a.kind = ArgKind::Enum;
    a.style = style;
    return a;
}

Arg E(GLenum value) { return EnumArg(value, EnumStyle::Generic); }
Arg E01(GLenum value) { return EnumArg(value, EnumStyle::ZeroOne); }
Arg B(GLboolean value) { return EnumArg(value, EnumStyle::Boolean); }
Arg Primitive(GLenum value) { return EnumArg(value, EnumStyle::Primitive); }
Arg ClearBits(GLbitfield value) { return EnumArg(value, EnumStyle::ClearMask); }
Arg InternalFormat(GLint value) {
    return EnumArg(static_cast<GLenum>(value), EnumStyle::InternalFormat);
}

template <typename T>
Arg Vector(const T* values, size_t count, ArgKind kind) {
    Arg a;
    a.kind = kind;
    if (!values) {
        a.isNull = true;
        return a;
    }
    a.values.assign(values, values + count);
    return a;
}
Arg Floats(const GLfloat* values, size_t count) { return Vector(values, count, ArgKind::Floats); }
Arg Ints(const GLint* values, size_t count) { return Vector(values, count, ArgKind::Ints); }

// Parameters whose value is an enum or a boolean although the function takes a number.
template <typename T>
Arg ValueFor(GLenum pname, T value) {
    auto asEnum = [value](EnumStyle style) {
        Arg a = EnumArg(static_cast<GLenum>(Truncate(value, 0, UINT32_MAX)), style);
        a.real = static_cast<double>(value);
        return a;
    };
    switch (pname) {
        case GL_TEXTURE_ENV_MODE:
        case GL_TEXTURE_MIN_FILTER:
        case GL_TEXTURE_MAG_FILTER:
        case GL_TEXTURE_WRAP_S:
        case GL_TEXTURE_WRAP_T:
        case GL_TEXTURE_WRAP_R:
        case GL_COMBINE_RGB:
        case GL_COMBINE_ALPHA:
        case GL_PREVIOUS_TEXTURE_INPUT_NV:
        case GL_RGBA_UNSIGNED_DOT_PRODUCT_MAPPING_NV:
        case GL_POINT_SPRITE_R_MODE_NV:
            return asEnum(EnumStyle::Generic);
        case GL_SHADER_OPERATION_NV:
            return asEnum(EnumStyle::ShaderOperation);
        case GL_COORD_REPLACE_NV:
        case GL_COLOR_SUM_CLAMP_NV:
        case GL_GENERATE_MIPMAP:
            return asEnum(EnumStyle::Boolean);
        default:
            return ToArg(value);
    }
}

// Element counts of vector parameters, so that no more than the caller passes is read.
size_t EnvVectorSize(GLenum pname) {
    switch (pname) {
        case GL_TEXTURE_ENV_COLOR:
        case GL_CULL_MODES_NV:
        case GL_OFFSET_TEXTURE_MATRIX_NV:
            return 4;
        case GL_CONST_EYE_NV:
            return 3;
        default:
            return 1;
    }
}
size_t PointVectorSize(GLenum pname) { return pname == GL_DISTANCE_ATTENUATION_EXT ? 3 : 1; }
size_t CombinerVectorSize(GLenum pname) {
    return pname == GL_CONSTANT_COLOR0_NV || pname == GL_CONSTANT_COLOR1_NV ? 4 : 1;
}

template <typename... A>
void Record(const char* name, const std::tuple<A...>& args) {
    Call call;
    call.name = name;
    std::apply([&call](const auto&... a) { (call.args.push_back(ToArg(a)), ...); }, args);
    S().calls.push_back(std::move(call));
}

// ---- Enum names ------------------------------------------------------------------------------

struct EnumEntry {
    GLenum value;
    const char* name;
};

const EnumEntry kEnumNames[] = {
#include "recgl_enum_names.inc"
};

const std::unordered_map<GLenum, const char*>& EnumTable() {
    static const std::unordered_map<GLenum, const char*> table = [] {
        std::unordered_map<GLenum, const char*> t;
        for (const EnumEntry& e : kEnumNames) t.emplace(e.value, e.name);
        return t;
    }();
    return table;
}

std::string Hex(uint64_t value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%04llX", static_cast<unsigned long long>(value));
    return buffer;
}

std::string FormatEnum(int64_t value, EnumStyle style) {
    static const char* const kPrimitives[] = {
        "GL_POINTS",         "GL_LINES",        "GL_LINE_LOOP", "GL_LINE_STRIP", "GL_TRIANGLES",
        "GL_TRIANGLE_STRIP", "GL_TRIANGLE_FAN", "GL_QUADS",     "GL_QUAD_STRIP", "GL_POLYGON"};
    switch (style) {
        case EnumStyle::Boolean:
            if (value == 0) return "GL_FALSE";
            if (value == 1) return "GL_TRUE";
            return std::to_string(value);
        case EnumStyle::ZeroOne:
            if (value == 0) return "GL_ZERO";
            if (value == 1) return "GL_ONE";
            break;
        case EnumStyle::Primitive:
            if (value >= 0 && value < 10) return kPrimitives[value];
            break;
        case EnumStyle::InternalFormat:
            if (value >= 1 && value <= 4) return std::to_string(value);
            break;
        case EnumStyle::ClearMask: {
            static const std::pair<uint32_t, const char*> kBits[] = {
                {GL_COLOR_BUFFER_BIT, "GL_COLOR_BUFFER_BIT"},
                {GL_DEPTH_BUFFER_BIT, "GL_DEPTH_BUFFER_BIT"},
                {GL_STENCIL_BUFFER_BIT, "GL_STENCIL_BUFFER_BIT"},
                {GL_ACCUM_BUFFER_BIT, "GL_ACCUM_BUFFER_BIT"}};
            if (value == 0) return "0";
            uint64_t rest = static_cast<uint64_t>(value);
            std::string out;
            for (const auto& bit : kBits) {
                if (rest & bit.first) {
                    out += (out.empty() ? "" : " | ") + std::string(bit.second);
                    rest &= ~static_cast<uint64_t>(bit.first);
                }
            }
            if (rest) out += (out.empty() ? "" : " | ") + Hex(rest);
            return out;
        }
        case EnumStyle::ShaderOperation:
            if (value == GL_OFFSET_TEXTURE_2D_SCALE_NV) return "GL_OFFSET_TEXTURE_2D_SCALE_NV";
            [[fallthrough]];
        case EnumStyle::Generic:
            if (value == 0) return "GL_NONE";
            break;
    }
    std::string name = EnumName(static_cast<GLenum>(value));
    return name.empty() ? Hex(static_cast<uint64_t>(value)) : name;
}

std::string FormatNumber(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}

std::string FormatArg(const Arg& a) {
    switch (a.kind) {
        case ArgKind::Int:
            return std::to_string(a.integer);
        case ArgKind::Float:
            return FormatNumber(a.real);
        case ArgKind::Enum:
            return FormatEnum(a.integer, a.style);
        case ArgKind::Floats:
        case ArgKind::Ints: {
            if (a.isNull) return "null";
            std::string out = "{";
            for (size_t i = 0; i < a.values.size(); ++i) {
                if (i) out += ", ";
                out += FormatNumber(a.values[i]);
            }
            return out + "}";
        }
        case ArgKind::Text:
            return a.isNull ? "null" : std::to_string(a.text.size());
        case ArgKind::Bytes:
            return a.isNull ? "null" : "<" + std::to_string(a.bytes.size()) + " bytes>";
    }
    return "?";
}

// ---- Queries ---------------------------------------------------------------------------------

// The values a glGet* of pname answers, before conversion to the caller's type: the program
// error position, then the profile, then the few recorded states and defaults below, else 0.
std::vector<double> QueryValues(GLenum pname) {
    const State& s = S();
    const Profile& p = s.profile;
    if (pname == GL_PROGRAM_ERROR_POSITION_NV) return {static_cast<double>(s.errorPosition)};
    if (auto f = p.floats.find(pname); f != p.floats.end())
        return std::vector<double>(f->second.begin(), f->second.end());
    if (auto i = p.integers.find(pname); i != p.integers.end())
        return std::vector<double>(i->second.begin(), i->second.end());
    switch (pname) {
        case GL_MAX_GENERAL_COMBINERS_NV:
            return {8};
        case GL_MATRIX_MODE:
            return {static_cast<double>(s.matrixMode)};
        case GL_MODELVIEW_STACK_DEPTH:
            return {static_cast<double>(s.stackDepth.at(GL_MODELVIEW))};
        case GL_PROJECTION_STACK_DEPTH:
            return {static_cast<double>(s.stackDepth.at(GL_PROJECTION))};
        case GL_TEXTURE_STACK_DEPTH:
            return {static_cast<double>(s.stackDepth.at(GL_TEXTURE))};
        case GL_ACTIVE_TEXTURE_ARB:
            return {static_cast<double>(s.activeTexture)};
        case GL_TEXTURE_BINDING_2D: {
            auto it = s.boundTextures.find({s.activeTexture, GL_TEXTURE_2D});
            return {it == s.boundTextures.end() ? 0.0 : static_cast<double>(it->second)};
        }
        default:
            return {0};
    }
}

const char* ProfileString(GLenum name) {
    const Profile& p = S().profile;
    if (!p.contextCurrent) return nullptr;
    switch (name) {
        case GL_VENDOR:
            return p.vendor.c_str();
        case GL_RENDERER:
            return p.renderer.c_str();
        case GL_VERSION:
            return p.version.c_str();
        case GL_EXTENSIONS:
            return p.extensions.c_str();
        default:
            RaiseError(GL_INVALID_ENUM);
            return nullptr;
    }
}

}  // namespace
}  // namespace recgl

// ---- Name lookup -----------------------------------------------------------------------------

// Declarations of the recording functions. The GL headers declare them already; repeating the
// parameter lists of gl_functions.def here makes the compiler check them against the headers.
#define RECGL_RECORD(name, params, args) extern "C" void name params;
#define RECGL_RECORD_THEN(name, params, args, effect) extern "C" void name params;
#define RECGL_CUSTOM(name)
#include "recgl/gl_functions.def"
#undef RECGL_RECORD
#undef RECGL_RECORD_THEN
#undef RECGL_CUSTOM

namespace recgl {
namespace {

using Proc = void (*)();

struct NamedProc {
    const char* name;
    Proc proc;
};

#define RECGL_CUSTOM(name) {#name, reinterpret_cast<Proc>(&::name)},
#define RECGL_RECORD(name, params, args) RECGL_CUSTOM(name)
#define RECGL_RECORD_THEN(name, params, args, effect) RECGL_CUSTOM(name)
const NamedProc kProcs[] = {
#include "recgl/gl_functions.def"
};
#undef RECGL_RECORD
#undef RECGL_RECORD_THEN
#undef RECGL_CUSTOM

// gl names without an implementation of their own get a generic stub that records the name it
// was looked up by (as a dispatching GL library hands out a stub for any gl name). Stubs are
// assigned on first lookup and keep their name for the life of the process.
constexpr size_t kStubCount = 1024;
std::vector<std::string>& StubNames() {
    static std::vector<std::string> names;
    return names;
}

void RecordStub(size_t index) {
    Call call;
    call.name = index < StubNames().size() ? StubNames()[index] : "glUnassignedEntryPoint";
    S().calls.push_back(std::move(call));
}

template <size_t I>
void Stub() {
    RecordStub(I);
}

template <size_t... I>
constexpr std::array<Proc, sizeof...(I)> MakeStubs(std::index_sequence<I...>) {
    return {&Stub<I>...};
}
constexpr std::array<Proc, kStubCount> kStubs = MakeStubs(std::make_index_sequence<kStubCount>());

Proc Resolve(const std::string& name) {
    static const std::unordered_map<std::string, Proc> table = [] {
        std::unordered_map<std::string, Proc> t;
        for (const NamedProc& p : kProcs) t.emplace(p.name, p.proc);
        return t;
    }();
    if (auto it = table.find(name); it != table.end()) return it->second;
    std::vector<std::string>& names = StubNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return kStubs[i];
    if (names.size() == kStubCount) return &Stub<kStubCount>;
    names.push_back(name);
    return kStubs[names.size() - 1];
}

// Stand-ins for the X display and the GLX context: never dereferenced, only compared.
char fakeDisplay;
char fakeContext;

}  // namespace

// ---- Public interface ------------------------------------------------------------------------

void Reset(const Profile& profile) {
    S() = State();
    S().profile = profile;
}

Profile& CurrentProfile() { return S().profile; }

void SetPendingError(GLenum error) { S().pendingError = error; }

const std::vector<Call>& Calls() { return S().calls; }

void ClearCalls() { S().calls.clear(); }

std::string FormatCall(const Call& call) {
    std::string out = call.name + "(";
    for (size_t i = 0; i < call.args.size(); ++i) {
        if (i) out += ", ";
        out += FormatArg(call.args[i]);
    }
    return out + ")";
}

std::vector<std::string> CallLines() {
    std::vector<std::string> lines;
    lines.reserve(S().calls.size());
    for (const Call& call : S().calls) lines.push_back(FormatCall(call));
    return lines;
}

const std::vector<std::string>& Lookups() { return S().lookups; }

const std::map<GLuint, std::string>& LoadedPrograms() { return S().programs; }

std::string EnumName(GLenum value) {
    auto it = EnumTable().find(value);
    return it == EnumTable().end() ? std::string() : it->second;
}

bool IsEnabled(GLenum cap) { return S().enabled.count(cap) != 0; }

}  // namespace recgl

// ---- The C symbols ---------------------------------------------------------------------------

using namespace recgl;

#define RECGL_RECORD(name, params, args) \
    extern "C" void name params { Record(#name, std::make_tuple args); }
#define RECGL_RECORD_THEN(name, params, args, effect) \
    extern "C" void name params {                     \
        Record(#name, std::make_tuple args);          \
        effect;                                       \
    }
#define RECGL_CUSTOM(name)
#include "recgl/gl_functions.def"
#undef RECGL_RECORD
#undef RECGL_RECORD_THEN
#undef RECGL_CUSTOM

extern "C" {

const GLubyte* glGetString(GLenum name) {
    return reinterpret_cast<const GLubyte*>(ProfileString(name));
}

void glGetIntegerv(GLenum pname, GLint* params) {
    if (!params) return;
    std::vector<double> values = QueryValues(pname);
    for (size_t i = 0; i < values.size(); ++i)
        params[i] = static_cast<GLint>(Truncate(values[i], INT32_MIN, INT32_MAX));
}

void glGetFloatv(GLenum pname, GLfloat* params) {
    if (!params) return;
    std::vector<double> values = QueryValues(pname);
    for (size_t i = 0; i < values.size(); ++i) params[i] = static_cast<GLfloat>(values[i]);
}

void glGetBooleanv(GLenum pname, GLboolean* params) {
    if (!params) return;
    std::vector<double> values = QueryValues(pname);
    for (size_t i = 0; i < values.size(); ++i) params[i] = values[i] != 0 ? GL_TRUE : GL_FALSE;
}

GLenum glGetError(void) {
    GLenum error = S().pendingError;
    S().pendingError = GL_NO_ERROR;
    return error;
}

GLboolean glIsEnabled(GLenum cap) { return IsEnabled(cap) ? GL_TRUE : GL_FALSE; }

void glGenTextures(GLsizei n, GLuint* textures) {
    if (n < 0 || (n > 0 && !textures)) {
        Record("glGenTextures", std::make_tuple(n, Ints(nullptr, 0)));
        RaiseError(GL_INVALID_VALUE);
        return;
    }
    std::vector<GLint> names;
    for (GLsizei i = 0; i < n; ++i) {
        textures[i] = S().nextTexture++;
        names.push_back(static_cast<GLint>(textures[i]));
    }
    Record("glGenTextures", std::make_tuple(n, Ints(names.data(), names.size())));
}

void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                  GLint border, GLenum format, GLenum type, const GLvoid* pixels) {
    // Copies the texels (rows padded to the default unpack alignment of 4) so tests can check them.
    size_t components = 0;
    switch (format) {
        case GL_RGBA:
        case GL_BGRA:
            components = 4;
            break;
        case GL_RGB:
        case GL_BGR:
            components = 3;
            break;
        case GL_LUMINANCE_ALPHA:
            components = 2;
            break;
        default:
            components = 1;
    }
    size_t componentSize = type == GL_FLOAT || type == GL_INT || type == GL_UNSIGNED_INT ? 4
                           : type == GL_SHORT || type == GL_UNSIGNED_SHORT               ? 2
                                                                                         : 1;
    Arg data;
    data.kind = ArgKind::Bytes;
    const size_t kMaxBytes = size_t(1) << 28;
    if (width < 0 || height < 0 || static_cast<uint64_t>(width) * height > kMaxBytes) {
        RaiseError(GL_INVALID_VALUE);
        data.isNull = true;
    } else if (!pixels) {
        data.isNull = true;
    } else {
        size_t row = (static_cast<size_t>(width) * components * componentSize + 3) / 4 * 4;
        const auto* bytes = static_cast<const unsigned char*>(pixels);
        data.bytes.assign(bytes, bytes + row * static_cast<size_t>(height));
    }
    Record("glTexImage2D", std::make_tuple(E(target), level, InternalFormat(internalFormat), width,
                                           height, border, E(format), E(type), data));
}

void glLoadProgramNV(GLenum target, GLuint id, GLsizei len, const GLubyte* program) {
    Arg text;
    text.kind = ArgKind::Text;
    const bool readable = len >= 0 && (program || len == 0);
    if (readable)
        text.text.assign(reinterpret_cast<const char*>(program), static_cast<size_t>(len));
    else
        text.isNull = true;
    Record("glLoadProgramNV", std::make_tuple(E(target), id, len, text));

    if (target != GL_VERTEX_PROGRAM_NV && target != GL_VERTEX_STATE_PROGRAM_NV) {
        RaiseError(GL_INVALID_ENUM);
        return;
    }
    if (id == 0 || !readable) {
        RaiseError(GL_INVALID_VALUE);
        return;
    }
    bool stateProgram = false;
    long position =
        vertexprogram::Parse(text.text.data(), text.text.size(), nullptr, &stateProgram);
    // A text of the other kind than the target is refused at its header.
    if (position < 0 && stateProgram != (target == GL_VERTEX_STATE_PROGRAM_NV)) position = 0;
    if (S().profile.rejectLoadAt >= 0) position = S().profile.rejectLoadAt;
    S().errorPosition = position;
    if (position >= 0) {
        RaiseError(GL_INVALID_OPERATION);
        return;
    }
    S().programs[id] = text.text;
}

__GLXextFuncPtr glXGetProcAddressARB(const GLubyte* procName) {
    if (!procName) return nullptr;
    std::string name(reinterpret_cast<const char*>(procName));
    S().lookups.push_back(name);
    if (name.compare(0, 2, "gl") != 0 || S().profile.unresolvable.count(name)) return nullptr;
    return Resolve(name);
}

__GLXextFuncPtr glXGetProcAddress(const GLubyte* procName) {
    return glXGetProcAddressARB(procName);
}

Display* glXGetCurrentDisplay(void) {
    return S().profile.contextCurrent ? reinterpret_cast<Display*>(&fakeDisplay) : nullptr;
}

GLXContext glXGetCurrentContext(void) {
    return S().profile.contextCurrent ? reinterpret_cast<GLXContext>(&fakeContext) : nullptr;
}

int glXQueryContext(Display* dpy, GLXContext ctx, int attribute, int* value) {
    if (!dpy || !ctx || !value) return GLX_BAD_CONTEXT;
    if (attribute != GLX_SCREEN) return GLX_BAD_ATTRIBUTE;
    *value = 0;
    return Success;
}

const char* glXQueryExtensionsString(Display* dpy, int /*screen*/) {
    if (!dpy) return nullptr;
    return S().profile.windowSystemExtensions.c_str();
}

}  // extern "C"
