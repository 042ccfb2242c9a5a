// Translation of a checked vs.1.0 program into !!VP1.0 text in translatedProgramText.
#include <algorithm>
#include <cstdio>

#include "shaderparse/parse_state.h"
#include "shaderparse/vs10/vs10.h"
#include "shaderparse/vs10/vs10_inst.h"

std::vector<int> translatedLineSources;

namespace {

constexpr int kMaxInstructions = 128;

// Writes an operand: sign, register name with its index moved by indexAdd (the rows of a
// matrix macro), and the mask when withMask is set and one was written. The name buffer fits
// any 32-bit index and row offset, so a name is always written in full; out-of-range numbers
// have been reported by the checks and are refused by the vertex-program loader.
void AppendOperand(const VS10Reg& reg, int sign, long long indexAdd, bool withMask) {
    if (sign == -1) translatedProgramText += '-';
    char name[48];
    long long index = reg.index + indexAdd;
    switch (reg.type) {
        case TempReg:
            snprintf(name, sizeof name, "R%lld", index);
            break;
        case AttribReg:
            snprintf(name, sizeof name, "v[%lld]", index);
            break;
        case AddressReg:
            snprintf(name, sizeof name, "a%lld", index);
            break;
        case ConstReg:
            snprintf(name, sizeof name, "c[%lld]", index);
            break;
        case ConstRelReg:
            // Matrix rows after the first read the registers that follow c[a0.x].
            if (indexAdd == 0)
                snprintf(name, sizeof name, "c[ A0.x ]");
            else
                snprintf(name, sizeof name, "c[ A0.x + %lld ]", indexAdd);
            break;
        case ConstRelOffsetReg:
            snprintf(name, sizeof name, "c[ A0.x + %lld ]", index);
            break;
        case PositionOut:
            snprintf(name, sizeof name, "o[HPOS]");
            break;
        case ColorOut:
            snprintf(name, sizeof name, "o[COL%lld]", index);
            break;
        case TexCoordOut:
            snprintf(name, sizeof name, "o[TEX%lld]", index);
            break;
        case FogOut:
            snprintf(name, sizeof name, "o[FOGC]");
            break;
        case PointSizeOut:
            snprintf(name, sizeof name, "o[PSIZ]");
            break;
        default:
            name[0] = '\0';
            parseErrors.Add("VS10Reg::Translate() Internal Error: unknown register type\n");
            break;
    }
    translatedProgramText += name;
    if (withMask && reg.mask[0]) {
        translatedProgramText += '.';
        for (int i = 0; i < 4 && reg.mask[i]; ++i) translatedProgramText += reg.mask[i];
    }
}

void AppendOperand(const VS10Reg& reg) { AppendOperand(reg, reg.sign, 0, true); }

}  // namespace

void VS10Reg::Translate() const { AppendOperand(*this); }

int VS10Inst::Translate() const {
    switch (type) {
        case VS10_BLANK:
            translatedProgramText += '\n';
            return 0;
        case VS10_COMMENT:
            if (commentText) translatedProgramText += commentText;
            return 0;
        case VS10_NOP:
        case VS10_HEADER:
            return 0;
        case VS10_FRC: {
            char message[128];
            snprintf(message, sizeof message, "(%d) Error: FRC built-in macro not yet supported.\n",
                     lineNumber);
            parseErrors.Add(message);
            translatedProgramText += ";\n";
            return 0;
        }
        case VS10_M3X2:
        case VS10_M3X3:
        case VS10_M3X4:
        case VS10_M4X3:
        case VS10_M4X4:
            return TranslateMatrixMacro();
        default:
            break;
    }

    if (type == VS10_MOV && dest.type == AddressReg) {
        // The address register is loaded with ARL, which takes the one source component that
        // a vs.1.0 move would put into a0.x.
        const VS10Reg& src = sources[0];
        translatedProgramText += "ARL    A0.x, ";
        AppendOperand(src, src.sign, 0, false);
        translatedProgramText += '.';
        translatedProgramText += src.mask[0] ? src.mask[0] : 'x';
        translatedProgramText += ";\n";
        return 1;
    }

    const char* mnemonic = VS10InstInfoOf(type).mnemonic;
    if (!mnemonic) {
        parseErrors.Add("VS10Inst::Translate() Internal Error: unknown instruction type\n");
        translatedProgramText += ";\n";
        return 0;
    }
    // Mnemonics are padded to seven columns.
    char padded[8];
    snprintf(padded, sizeof padded, "%-7s", mnemonic);
    translatedProgramText += padded;
    AppendOperand(dest);
    int written = VS10SourceCount(type);
    for (int i = 0; i < written; ++i) {
        translatedProgramText += ", ";
        // A subtraction is an addition of the negated second source.
        if (type == VS10_SUB && i == 1)
            AppendOperand(sources[1], sources[1].sign == -1 ? 1 : -1, 0, true);
        else
            AppendOperand(sources[i]);
    }
    translatedProgramText += ";\n";
    return 1;
}

// Expands a matrix macro into one dot product per written row; row r reads the matrix
// register r places after the second source.
int VS10Inst::TranslateMatrixMacro() const {
    int rows = type == VS10_M3X2 ? 2 : (type == VS10_M3X3 || type == VS10_M4X3) ? 3 : 4;
    const char* mnemonic = (type == VS10_M4X3 || type == VS10_M4X4) ? "DP4    " : "DP3    ";
    static const char kComponents[4] = {'x', 'y', 'z', 'w'};

    auto writeRow = [&](int row) {
        translatedProgramText += mnemonic;
        AppendOperand(dest, dest.sign, 0, false);
        translatedProgramText += '.';
        translatedProgramText += kComponents[row];
        translatedProgramText += ", ";
        AppendOperand(sources[0]);
        translatedProgramText += ", ";
        AppendOperand(sources[1], sources[1].sign, row, true);
        translatedProgramText += ";\n";
    };

    int written = 0;
    if (!dest.mask[0]) {
        for (int row = 0; row < rows; ++row) writeRow(row);
        return rows;
    }
    for (int i = 0; i < 4 && dest.mask[i]; ++i) {
        for (int row = 0; row < rows; ++row) {
            if (dest.mask[i] == kComponents[row]) {
                writeRow(row);
                ++written;
            }
        }
    }
    return written;
}

void InstSequence::Translate() const {
    translatedProgramText += "!!VP1.0\n";
    translatedLineSources.assign(
        std::count(translatedProgramText.begin(), translatedProgramText.end(), '\n'), 0);
    int instructions = 0;
    for (int i = 0; i < count_; ++i) {
        const size_t start = translatedProgramText.size();
        instructions += entries_[i].Translate();
        // Every line this instruction ends is one of its source line.
        translatedLineSources.insert(
            translatedLineSources.end(),
            std::count(translatedProgramText.begin() + start, translatedProgramText.end(), '\n'),
            entries_[i].lineNumber);
    }
    translatedProgramText += "END\n";
    translatedLineSources.push_back(0);
    if (instructions > kMaxInstructions) {
        char message[128];
        snprintf(message, sizeof message,
                 "Vertex Shader had more than 128 instructions. (Converted to: %d)\n",
                 instructions);
        parseErrors.Add(message);
    }
}
