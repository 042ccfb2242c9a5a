#include "legacygl/arb_translation.h"

#include <GL/glext.h>

#include <algorithm>

namespace legacygl {

using vertexprogram::File;
using vertexprogram::Instruction;
using vertexprogram::Opcode;
using vertexprogram::Program;
using vertexprogram::Source;

namespace {

// Index of the always-zero entry that guarded relative reads fall on.
constexpr int kZeroEntry = vertexprogram::kParameterRegisters;

const char* const kResultNames[vertexprogram::kResultRegisters] = {"result.position",
                                                                   "result.color",
                                                                   "result.color.secondary",
                                                                   "result.color.back",
                                                                   "result.color.back.secondary",
                                                                   "result.fogcoord",
                                                                   "result.pointsize",
                                                                   "result.texcoord[0]",
                                                                   "result.texcoord[1]",
                                                                   "result.texcoord[2]",
                                                                   "result.texcoord[3]",
                                                                   "result.texcoord[4]",
                                                                   "result.texcoord[5]",
                                                                   "result.texcoord[6]",
                                                                   "result.texcoord[7]"};

const char* const kOpcodeNames[] = {"ARL", "MOV", "LIT", "RCP", "RSQ", "EXP", "LOG", "MUL", "ADD",
                                    "DP3", "DP4", "DST", "MIN", "MAX", "SLT", "SGE", "MAD"};

// The binding of v[i] when no generic array feeds it: the conventional state it aliases. v[1]
// (vertex weight), v[6] and v[7] alias nothing here and stay generic.
std::string AttributeBinding(int index, bool fromArray) {
    if (fromArray) return "vertex.attrib[" + std::to_string(index) + "]";
    switch (index) {
        case 0:
            return "vertex.position";
        case 2:
            return "vertex.normal";
        case 3:
            return "vertex.color";
        case 4:
            return "vertex.color.secondary";
        case 5:
            return "vertex.fogcoord";
        default:
            if (index >= 8) return "vertex.texcoord[" + std::to_string(index - 8) + "]";
            return "vertex.attrib[" + std::to_string(index) + "]";
    }
}

std::string Swizzle(const uint8_t (&s)[4]) {
    static const char kComponents[] = "xyzw";
    if (s[0] == 0 && s[1] == 1 && s[2] == 2 && s[3] == 3) return "";
    std::string out = ".";
    for (int i = 0; i < 4; ++i) out += kComponents[s[i]];
    return out;
}

std::string Mask(uint8_t mask) {
    if (mask == vertexprogram::kMaskAll) return "";
    std::string out = ".";
    for (int i = 0; i < 4; ++i)
        if (mask & (1 << i)) out += "xyzw"[i];
    return out;
}

// Components of a temporary that each instruction may read before anything wrote them.
uint16_t TemporariesReadBeforeWritten(const Program& program) {
    uint8_t written[vertexprogram::kTemporaryRegisters] = {};
    uint16_t needsZero = 0;
    for (const Instruction& ins : program.code) {
        for (int i = 0; i < ins.sources; ++i) {
            const Source& s = ins.src[i];
            if (s.file != File::Temporary) continue;
            uint8_t read = 0;
            for (int c = 0; c < 4; ++c) read |= static_cast<uint8_t>(1 << s.swizzle[c]);
            if (read & ~written[s.index]) needsZero |= static_cast<uint16_t>(1 << s.index);
        }
        if (ins.op != Opcode::ARL && ins.dst.file == File::Temporary)
            written[ins.dst.index] |= ins.dst.mask;
    }
    return needsZero;
}

}  // namespace

bool TranslationState::operator==(const TranslationState& o) const {
    return attributeArrays == o.attributeArrays &&
           std::equal(tracking, tracking + kTrackingSlots, o.tracking);
}

std::string MatrixBinding(const TrackedMatrix& tracked) {
    std::string base;
    const GLenum m = tracked.matrix;
    if (m == GL_MODELVIEW) {
        base = "state.matrix.modelview";
    } else if (m == GL_PROJECTION) {
        base = "state.matrix.projection";
    } else if (m == GL_MODELVIEW_PROJECTION_NV) {
        base = "state.matrix.mvp";
    } else if (m >= GL_TEXTURE0 && m < GL_TEXTURE0 + 8) {
        base = "state.matrix.texture[" + std::to_string(m - GL_TEXTURE0) + "]";
    } else if (m >= GL_MATRIX0_NV && m < GL_MATRIX0_NV + 8) {
        base = "state.matrix.program[" + std::to_string(m - GL_MATRIX0_NV) + "]";
    } else {
        return "";
    }
    switch (tracked.transform) {
        case GL_INVERSE_NV:
            return base + ".inverse";
        case GL_TRANSPOSE_NV:
            return base + ".transpose";
        case GL_INVERSE_TRANSPOSE_NV:
            return base + ".invtrans";
        default:
            return base;
    }
}

bool WritesResult(const Program& program, int result) {
    return std::any_of(program.code.begin(), program.code.end(), [&](const Instruction& ins) {
        return ins.op != Opcode::ARL && ins.dst.file == File::Result && ins.dst.index == result;
    });
}

std::string TranslateToArb(const Program& program, const TranslationState& state) {
    std::string text = "!!ARBvp1.0\n";

    // c[0..95] with tracked blocks bound to their matrices, and one zero entry after them.
    text += "PARAM c[97] = { ";
    int untrackedFrom = 0;
    auto flushEnv = [&](int end) {
        if (end > untrackedFrom) {
            text += "program.env[" + std::to_string(untrackedFrom) + ".." +
                    std::to_string(end - 1) + "], ";
        }
    };
    for (int slot = 0; slot < kTrackingSlots; ++slot) {
        const std::string binding = MatrixBinding(state.tracking[slot]);
        if (binding.empty()) continue;
        flushEnv(slot * 4);
        text += binding + ", ";
        untrackedFrom = slot * 4 + 4;
    }
    flushEnv(vertexprogram::kParameterRegisters);
    text += "{0, 0, 0, 0} };\n";

    bool attributeUsed[vertexprogram::kAttributeRegisters] = {};
    bool relative = false, addressed = false;
    uint8_t resultWritten[vertexprogram::kResultRegisters] = {};
    for (const Instruction& ins : program.code) {
        for (int i = 0; i < ins.sources; ++i) {
            if (ins.src[i].file == File::Attribute) attributeUsed[ins.src[i].index] = true;
            if (ins.src[i].relative) relative = true;
        }
        if (ins.op == Opcode::ARL) addressed = true;
        if (ins.op != Opcode::ARL && ins.dst.file == File::Result)
            resultWritten[ins.dst.index] |= ins.dst.mask;
    }
    for (int i = 0; i < vertexprogram::kAttributeRegisters; ++i) {
        if (attributeUsed[i]) {
            text += "ATTRIB v" + std::to_string(i) + " = " +
                    AttributeBinding(i, state.attributeArrays & (1 << i)) + ";\n";
        }
    }
    text += "TEMP R0, R1, R2, R3, R4, R5, R6, R7, R8, R9, R10, R11, fix;\n";
    if (relative || addressed) text += "TEMP a0, index;\nADDRESS A0;\n";

    // The legacy initial values, where the program itself does not set them first.
    const uint16_t zeroed = TemporariesReadBeforeWritten(program);
    for (int i = 0; i < vertexprogram::kTemporaryRegisters; ++i) {
        if (zeroed & (1 << i)) text += "MOV R" + std::to_string(i) + ", {0, 0, 0, 0};\n";
    }
    if (relative || addressed) text += "MOV a0, {0, 0, 0, 0};\n";
    for (int r = 0; r < vertexprogram::kResultRegisters; ++r) {
        // The fog coordinate only counts when written (the layer turns fog off otherwise), and
        // then its x is; an unwritten point size is the GL's point size.
        if (r == vertexprogram::PSIZ && resultWritten[r] == 0) {
            text += "MOV result.pointsize, state.point.size;\n";
            continue;
        }
        const bool optional = r == vertexprogram::FOGC || r == vertexprogram::PSIZ;
        if (resultWritten[r] == vertexprogram::kMaskAll || (optional && resultWritten[r] == 0)) {
            continue;
        }
        text += std::string("MOV ") + kResultNames[r] + ", {0, 0, 0, 1};\n";
    }

    auto source = [&](const Source& s, bool scalar = false) {
        std::string out = s.negate ? "-" : "";
        switch (s.file) {
            case File::Attribute:
                out += "v" + std::to_string(s.index);
                break;
            case File::Temporary:
                out += "R" + std::to_string(s.index);
                break;
            case File::Parameter:
                out += s.relative ? "c[A0.x]" : "c[" + std::to_string(s.index) + "]";
                break;
            case File::Result:
                break;
        }
        return out + (scalar ? std::string(".") + "xyzw"[s.swizzle[0]] : Swizzle(s.swizzle));
    };
    auto scalarOp = [](Opcode op) {
        return op == Opcode::RCP || op == Opcode::RSQ || op == Opcode::EXP || op == Opcode::LOG;
    };

    for (const Instruction& ins : program.code) {
        if (ins.op == Opcode::ARL) {
            // A0.x is kept as a float in a0.x, floored and clamped so that every offset read
            // from it stays as far out of range as it would be unclamped.
            text += "FLR a0.x, " + source(ins.src[0]) + ";\n";
            text += "MAX a0.x, a0.x, -64;\nMIN a0.x, a0.x, 160;\n";
            continue;
        }
        for (int i = 0; i < ins.sources; ++i) {
            const Source& s = ins.src[i];
            if (!s.relative) continue;
            // index = A0.x + offset when it lies in 0..95, otherwise the zero entry.
            text += "ADD index.x, a0.x, " + std::to_string(s.index) + ";\n";
            text += "SGE index.y, index.x, 0;\nSLT index.z, index.x, 96;\n";
            text += "MUL index.y, index.y, index.z;\n";
            text += "ADD index.x, index.x, -" + std::to_string(kZeroEntry) + ";\n";
            text += "MAD index.x, index.x, index.y, " + std::to_string(kZeroEntry) + ";\n";
            text += "ARL A0.x, index.x;\n";
            break;  // one distinct parameter register per instruction
        }
        const vertexprogram::Destination& d = ins.dst;
        const std::string reg = d.file == File::Result ? std::string(kResultNames[d.index])
                                                       : "R" + std::to_string(d.index);
        const std::string destination = reg + Mask(d.mask);
        if (ins.op == Opcode::LIT) {
            // Any base to the power 0 is 1: with w = 0 the base is raised by 1 so that the
            // driver's power of a zero base cannot show.
            text += "MOV fix, " + source(ins.src[0]) + ";\n";
            text += "ABS fix.z, fix.w;\nSGE fix.z, -fix.z, 0;\nMAX fix.y, fix.y, 0;\n";
            text += "ADD fix.y, fix.y, fix.z;\nLIT " + destination + ", fix;\n";
            continue;
        }
        const bool logMantissa = ins.op == Opcode::LOG && (d.mask & vertexprogram::kMaskY);
        if (logMantissa) {
            // The mantissa of 0 and of an infinity is 1: take it from the logarithm of 1 there,
            // and of |x| (below the largest float, so that the blend stays finite) elsewhere.
            text += "ABS fix.x, " + source(ins.src[0], true) + ";\n";
            text += "SGE fix.y, -fix.x, 0;\nSGE fix.z, fix.x, 3.402823466e38;\n";
            text += "ADD fix.y, fix.y, fix.z;\nMIN fix.x, fix.x, 3.402823466e38;\n";
            text += "ADD fix.z, -fix.y, 1;\nMAD fix.x, fix.x, fix.z, fix.y;\n";
            text += "LOG fix, fix.x;\n";
        }
        const bool expFraction = ins.op == Opcode::EXP && (d.mask & vertexprogram::kMaskY);
        if (expFraction) {
            // The fraction of an infinity is 0: take it from the argument clamped to floats.
            text += "MAX fix.x, " + source(ins.src[0], true) + ", -3.402823466e38;\n";
            text += "MIN fix.x, fix.x, 3.402823466e38;\nFRC fix.y, fix.x;\n";
        }
        text += kOpcodeNames[static_cast<int>(ins.op)];
        text += " " + destination;
        for (int i = 0; i < ins.sources; ++i) text += ", " + source(ins.src[i], scalarOp(ins.op));
        text += ";\n";
        if (logMantissa || expFraction) {
            text += "MOV " + reg + ".y, fix.y;\n";
        }
    }
    text += "END\n";
    return text;
}

}  // namespace legacygl
