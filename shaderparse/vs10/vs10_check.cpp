// Checks of a recognised vs.1.0 program against the register model: index ranges, write masks,
// swizzle lengths, writable destinations, readable sources and the read ports of one
// instruction. Every finding is a message in parseErrors; nothing is changed or stopped.
#include <climits>
#include <cstdio>

#include "shaderparse/parse_state.h"
#include "shaderparse/vs10/vs10_inst.h"

namespace {

bool IsOutput(int type) {
    return type == PositionOut || type == ColorOut || type == TexCoordOut || type == FogOut ||
           type == PointSizeOut;
}

bool IsKnownType(int type) { return type >= TempReg && type <= PointSizeOut; }

// The mask letters as text, at most four characters.
struct MaskText {
    explicit MaskText(const char* mask) {
        for (int i = 0; i < 4; ++i) text[i] = mask[i];
    }
    char text[5] = {0, 0, 0, 0, 0};
};

int MaskLength(const char* mask) {
    int n = 0;
    while (n < 4 && mask[n]) ++n;
    return n;
}

// Position of a component letter in x, y, z, w order; -1 for anything else.
int ComponentOrder(char c) {
    switch (c) {
        case 'x':
            return 0;
        case 'y':
            return 1;
        case 'z':
            return 2;
        case 'w':
            return 3;
        default:
            return -1;
    }
}

}  // namespace

bool VS10Reg::ValidateIndex() const {
    switch (type) {
        case TempReg:
            return index >= 0 && index <= 11;
        case AttribReg:
            return index >= 0 && index <= 15;
        case AddressReg:
            return index == 0;
        case ConstReg:
            return index >= 0 && index <= 95;
        case ColorOut:
            return index >= 0 && index <= 1;
        case TexCoordOut:
            return index >= 0 && index <= 3;
        case ConstRelReg:
        case ConstRelOffsetReg:
        case PositionOut:
        case FogOut:
        case PointSizeOut:
            return true;
        default:
            parseErrors.Add("VS10Reg::ValidateIndex() Internal Error: unknown register type\n");
            return true;
    }
}

void VS10Inst::Report(const char* what) const {
    char message[256];
    snprintf(message, sizeof message, "(%d) Error: %s", lineNumber, what);
    parseErrors.Add(message);
}

void VS10Inst::Validate(bool& headerSeen) const {
    switch (type) {
        case VS10_BLANK:
        case VS10_COMMENT:
        case VS10_NOP:
            return;
        case VS10_HEADER:
            if (headerSeen)
                Report("vs.1.0 token already encountered\n");
            else
                headerSeen = true;
            return;
        default:
            ValidateRegIndices();
            ValidateDestMask();
            ValidateSrcMasks();
            ValidateDestWritable();
            ValidateSrcReadable();
            ValidateReadPorts();
    }
}

void VS10Inst::ValidateRegIndices() const {
    if (!dest.ValidateIndex()) Report("destination register index out of range\n");
    if (!sources[0].ValidateIndex()) Report("source register index out of range\n");
    switch (VS10InstInfoOf(type).sources) {
        case VS10Sources::One:
            break;
        case VS10Sources::Two:
            if (!sources[1].ValidateIndex()) Report("second source register index out of range\n");
            break;
        case VS10Sources::Matrix: {
            if (!sources[1].ValidateIndex()) Report("second source register index out of range\n");
            // The expansion reads the following rows too: try the last register it reads. A copy
            // stands in for the temporary change of the index; an index that cannot grow stays at
            // the largest value, which fails exactly where the true one would.
            VS10Reg lastRow = sources[1];
            int extra = VS10InstInfoOf(type).matrixRows;
            lastRow.index = lastRow.index > INT_MAX - extra ? INT_MAX : lastRow.index + extra;
            if (!lastRow.ValidateIndex())
                Report("macro expansion produces source register index out of range\n");
            break;
        }
        case VS10Sources::Three:
            if (!sources[1].ValidateIndex()) Report("second source register index out of range\n");
            if (!sources[2].ValidateIndex()) Report("third source register index out of range\n");
            break;
        case VS10Sources::NoOperands:
            parseErrors.Add(
                "VS10Inst::ValidateRegIndices() Internal Error: unknown instruction type\n");
            break;
    }
}

void VS10Inst::ValidateDestMask() const {
    int previous = -1;
    for (int i = 0; i < 4 && dest.mask[i]; ++i) {
        int order = ComponentOrder(dest.mask[i]);
        if (order <= previous) {
            char what[64];
            snprintf(what, sizeof what, "destination register has invalid mask: %s\n",
                     MaskText(dest.mask).text);
            Report(what);
            return;
        }
        previous = order;
    }
}

void VS10Inst::ValidateSrcMasks() const {
    static const char* const kWhich[3] = {"source", "second source", "third source"};
    int checked = VS10SourceCount(type);
    for (int i = 0; i < checked; ++i) {
        int length = MaskLength(sources[i].mask);
        if (length == 2 || length == 3) {
            char what[80];
            snprintf(what, sizeof what, "%s register has invalid mask: %s\n", kWhich[i],
                     MaskText(sources[i].mask).text);
            Report(what);
        }
    }
    if (VS10InstInfoOf(type).sources == VS10Sources::NoOperands)
        parseErrors.Add("VS10Inst::ValidateSrcMasks() Internal Error: unknown instruction type\n");
}

void VS10Inst::ValidateDestWritable() const {
    switch (dest.type) {
        case AttribReg:
        case ConstReg:
        case ConstRelReg:
        case ConstRelOffsetReg:
            Report("destination register is not writable\n");
            break;
        case AddressReg:
            if (type != VS10_MOV)
                Report("destination register is not writable using this instruction\n");
            break;
        case TempReg:
        case PositionOut:
        case ColorOut:
        case TexCoordOut:
        case FogOut:
        case PointSizeOut:
            break;
        default:
            parseErrors.Add(
                "VS10Inst::ValidateDestWritable() Internal Error: unknown register type\n");
            break;
    }
    if (type == VS10_FRC && dest.type != TempReg)
        Report("destination register must be a temporary register\n");
}

void VS10Inst::ValidateSrcReadable() const {
    static const char* const kMessages[3] = {
        "source register is not readable\n",
        "second source register is not readable\n",
        "third source register is not readable\n",
    };
    int checked = VS10SourceCount(type);
    for (int i = 0; i < checked; ++i) {
        int srcType = sources[i].type;
        if (!IsKnownType(srcType))
            parseErrors.Add(
                "VS10Inst::ValidateSrcReadable() Internal Error: unknown register type\n");
        else if (srcType == AddressReg || IsOutput(srcType))
            Report(kMessages[i]);
    }
}

void VS10Inst::ValidateReadPorts() const {
    int checked = VS10SourceCount(type);
    if (checked < 2) return;

    // Attribute indices and constant keys of the sources. A constant's key tells fixed,
    // relative and relative-with-offset addressing apart (fixed: index, relative: 100 + index,
    // with offset: 200 + offset); equal keys are the same register.
    long long attribs[3], constants[3];
    int attribCount = 0, constantCount = 0;
    for (int i = 0; i < checked; ++i) {
        const VS10Reg& src = sources[i];
        switch (src.type) {
            case AttribReg:
                attribs[attribCount++] = src.index;
                break;
            case ConstReg:
                constants[constantCount++] = src.index;
                break;
            case ConstRelReg:
                constants[constantCount++] = 100LL + src.index;
                break;
            case ConstRelOffsetReg:
                constants[constantCount++] = 200LL + src.index;
                break;
            case TempReg:
            case AddressReg:
            case PositionOut:
            case ColorOut:
            case TexCoordOut:
            case FogOut:
            case PointSizeOut:
                break;
            default:
                parseErrors.Add(
                    "VS10Inst::ValidateReadPorts() Internal Error: unknown register type\n");
                break;
        }
    }

    auto allEqual = [](const long long* values, int n) {
        for (int i = 1; i < n; ++i)
            if (values[i] != values[0]) return false;
        return true;
    };
    if (attribCount >= 2) {
        if (!allEqual(attribs, attribCount))
            Report("multiple unique attribute registers accessed in this instruction\n");
        return;
    }
    if (constantCount >= 2 && !allEqual(constants, constantCount))
        Report("multiple unique constant registers accessed in this instruction\n");
}

void InstSequence::Validate() const {
    bool headerSeen = false;
    for (int i = 0; i < count_; ++i) entries_[i].Validate(headerSeen);
}
