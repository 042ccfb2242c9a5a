// The in-memory form of a !!RC1.0 program, its checks and its set-up. Every type is a plain
// value (no constructors) so that the parser can carry it on its value stack.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>

// Channel in which a register is read.
enum RC10Channel : uint32_t {
    kRC10Rgb = 0,
    kRC10Alpha = 1,
    kRC10Blue = 2,
    kRC10NoChannel = 3,  // not written; the checks choose one
};

// A combiner register and how it is read: GL enum in bits 0-15, channel in bits 16-17,
// read-only in bit 18, final-only in bit 19.
struct RC10Register {
    static constexpr uint32_t kReadOnly = 1u << 18;
    static constexpr uint32_t kFinalOnly = 1u << 19;

    uint32_t bits;

    GLenum Enum() const { return bits & 0xFFFFu; }
    uint32_t Channel() const { return (bits >> 16) & 3u; }
    bool ReadOnly() const { return (bits & kReadOnly) != 0; }
    bool FinalOnly() const { return (bits & kFinalOnly) != 0; }
    void SetChannel(uint32_t channel) { bits = (bits & ~(3u << 16)) | ((channel & 3u) << 16); }
    void SetEnum(GLenum value) { bits = (bits & ~0xFFFFu) | (value & 0xFFFFu); }
};

inline RC10Register MakeRC10Register(GLenum value, uint32_t channel, uint32_t flags = 0) {
    RC10Register r{0};
    r.SetEnum(value);
    r.SetChannel(channel);
    r.bits |= flags;
    return r;
}

struct RC10MappedInput {
    GLenum mapping;
    RC10Register reg;
};

// GL_UNSIGNED_IDENTITY_NV of `zero` (reads 0) and GL_UNSIGNED_INVERT_NV of `zero` (reads 1).
RC10MappedInput RC10ZeroInput();
RC10MappedInput RC10OneInput();

struct RC10ConstColor {
    RC10Register reg;  // const0 or const1
    float values[4];
};

enum RC10OpKind : int32_t { kRC10Product = 0, kRC10Dot = 1, kRC10Mux = 2, kRC10Sum = 3 };

struct RC10Op {
    int32_t kind;  // RC10OpKind
    RC10Register dest;
    RC10MappedInput a, b;  // products and dot products only
};

// op[0] feeds the AB output, op[1] the CD output, op[2] (mux or sum) the sum output.
struct RC10Function {
    int32_t count;  // 1 to 3
    RC10Op op[3];
};

struct RC10Portion {
    int32_t designator;  // 0 RGB, 1 alpha
    RC10Function function;
    uint32_t scaleBias;  // scale enum in the upper 16 bits, bias enum in the lower 16 bits
};

struct RC10Stage {
    RC10Portion portion[2];
    int32_t portionCount;
    RC10ConstColor localConst[2];
    int32_t localConstCount;
};

struct RC10Stages {
    static constexpr int kMaxStages = 8;
    RC10Stage stage[kMaxStages];
    int32_t count;
    int32_t localConstTotal;  // filled by Validate
};

struct RC10Final {
    bool product;  // a final_product statement was written
    RC10MappedInput e, f;
    bool clamp;  // clamp_color_sum was written
    RC10MappedInput a, b, c, d, g;
};

struct RC10Program {
    RC10Stages stages;
    RC10Final finalCombiner;
    RC10ConstColor globalConst[2];
    int32_t globalConstCount;
};

// An empty program: no constants, no stages, every final input the zero-input.
RC10Program EmptyRC10Program();

// Checks the program against the combiner rules and the GL's limits and completes it with
// defaults; every problem is added to parseErrors.
void Validate(RC10Program& program);

// Configures the combiners from a validated program through the extension entry points.
void Invoke(const RC10Program& program);
