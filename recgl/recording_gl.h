// Recording GL: a software stand-in for the system GL, GLX, GLU and GLUT functions that tests and
// tools link instead of the real libraries. It defines the C symbols itself, records every
// state-changing or drawing call with its arguments, answers queries from a Profile and resolves
// entry-point names to recording functions.
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace recgl {

// What the simulated implementation reports. glGetIntegerv/glGetFloatv/glGetBooleanv answer
// from `floats`, then `integers`; an unlisted name reads 0, except GL_MAX_GENERAL_COMBINERS_NV
// (8) and the recorded GL_MATRIX_MODE, GL_MODELVIEW/PROJECTION/TEXTURE_STACK_DEPTH,
// GL_ACTIVE_TEXTURE_ARB and GL_TEXTURE_BINDING_2D. GL_PROGRAM_ERROR_POSITION_NV always reads the
// position of the last glLoadProgramNV (-1 after Reset).
struct Profile {
    std::string vendor, renderer, version = "1.2.0", extensions, windowSystemExtensions;
    bool contextCurrent = true;
    std::map<GLenum, std::vector<GLint>> integers;
    std::map<GLenum, std::vector<GLfloat>> floats;
    std::set<std::string> unresolvable;  // names glXGetProcAddressARB does not resolve
    long rejectLoadAt = -1;  // >= 0: glLoadProgramNV rejects every text at this position
};

// How an enum argument is named when its value is ambiguous (0, 1, primitive modes, masks).
enum class EnumStyle {
    Generic,          // 0 -> GL_NONE, otherwise the preferred GL name
    ZeroOne,          // 0 -> GL_ZERO, 1 -> GL_ONE (blend factors, combiner inputs)
    Boolean,          // 0 -> GL_FALSE, 1 -> GL_TRUE
    Primitive,        // glBegin modes: GL_POINTS, GL_LINES, ...
    ClearMask,        // GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT ...
    InternalFormat,   // 1..4 printed as numbers, otherwise a GL name
    ShaderOperation,  // texture shader operations: 0x86E2 is GL_OFFSET_TEXTURE_2D_SCALE_NV here
};

enum class ArgKind {
    Int,     // decimal
    Float,   // %g
    Enum,    // GL name, see EnumStyle
    Floats,  // {a, b, c}
    Ints,    // {1, 2}
    Text,    // program text, formatted as its length
    Bytes,   // pixel data copy, formatted as "<n bytes>" (or "null")
};

struct Arg {
    ArgKind kind = ArgKind::Int;
    EnumStyle style = EnumStyle::Generic;
    int64_t integer = 0;               // Int, Enum
    double real = 0;                   // Float
    std::vector<double> values;        // Floats, Ints
    std::string text;                  // Text
    std::vector<unsigned char> bytes;  // Bytes
    bool isNull = false;               // Bytes/Floats/Ints/Text given as a null pointer
};

struct Call {
    std::string name;
    std::vector<Arg> args;

    // Convenience readers for tests; they return 0 / empty for a missing argument.
    int64_t Int(size_t i) const { return i < args.size() ? args[i].integer : 0; }
    double Float(size_t i) const { return i < args.size() ? args[i].real : 0; }
    std::vector<double> Values(size_t i) const {
        return i < args.size() ? args[i].values : std::vector<double>();
    }
};

// Installs the profile and clears calls, lookups, the pending error and all recorded GL state.
void Reset(const Profile& profile = Profile());
Profile& CurrentProfile();

// glGetError returns this once, then GL_NO_ERROR.
void SetPendingError(GLenum error);

const std::vector<Call>& Calls();
void ClearCalls();
std::string FormatCall(const Call& call);
std::vector<std::string> CallLines();

// Every name passed to glXGetProcAddressARB, in order (a null name is not one).
const std::vector<std::string>& Lookups();

// Vertex programs and vertex state programs loaded successfully: id -> text.
const std::map<GLuint, std::string>& LoadedPrograms();

// The preferred GL name of an enum value, or "" when there is none.
std::string EnumName(GLenum value);

// Whether glEnable (and no later glDisable) was called for cap; glIsEnabled answers the same.
bool IsEnabled(GLenum cap);

}  // namespace recgl
