// Vertex programs (!!VP1.0) and vertex state programs (!!VSP1.0): the checked form of a text,
// shared by the recording GL's glLoadProgramNV, the CPU interpreter and the ARB translation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vertexprogram {

constexpr int kAttributeRegisters = 16;
constexpr int kParameterRegisters = 96;
constexpr int kTemporaryRegisters = 12;
constexpr int kResultRegisters = 15;
constexpr size_t kMaxInstructions = 128;

enum class Opcode {
    ARL,
    MOV,
    LIT,
    RCP,
    RSQ,
    EXP,
    LOG,
    MUL,
    ADD,
    DP3,
    DP4,
    DST,
    MIN,
    MAX,
    SLT,
    SGE,
    MAD
};

enum class File : uint8_t { Attribute, Parameter, Temporary, Result };

// Result registers in the order of their names: o[HPOS] is 0, o[TEX7] is 14.
enum Result { HPOS, COL0, COL1, BFC0, BFC1, FOGC, PSIZ, TEX0 };

// Write-mask bits.
constexpr uint8_t kMaskX = 1, kMaskY = 2, kMaskZ = 4, kMaskW = 8, kMaskAll = 15;

struct Source {
    File file = File::Temporary;
    bool relative = false;  // c[A0.x + index]
    int index = 0;          // register number, or the offset of a relative read
    bool negate = false;
    uint8_t swizzle[4] = {0, 1, 2, 3};  // component read for x, y, z, w
};

struct Destination {
    File file = File::Temporary;  // Temporary, Result or (state programs) Parameter
    int index = 0;
    uint8_t mask = kMaskAll;
};

struct Instruction {
    Opcode op = Opcode::MOV;
    Destination dst;  // unused by ARL, which writes A0.x
    Source src[3];
    int sources = 0;
};

struct Program {
    bool stateProgram = false;  // !!VSP1.0
    std::vector<Instruction> code;
};

// Checks a !!VP1.0 / !!VSP1.0 text of `length` bytes the way a driver does on glLoadProgramNV.
// Returns -1 when it is valid (and fills *program, if given), otherwise the byte offset of the
// first offending token: the text's length when the text ends early or a rule over the whole
// text fails (instruction count, o[HPOS] written, a parameter written). A second distinct
// attribute or parameter register in one instruction, and an attribute other than v[0] in a
// state program, are reported at that register. *stateProgram (if given) tells whether the text
// starts with !!VSP1.0.
long Parse(const char* text, size_t length, Program* program = nullptr,
           bool* stateProgram = nullptr);

}  // namespace vertexprogram
