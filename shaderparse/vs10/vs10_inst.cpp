// Construction, copying and growth of the vs.1.0 records.
#include "shaderparse/vs10/vs10_inst.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

char* DuplicateText(const char* text) { return text ? strdup(text) : nullptr; }

}  // namespace

VS10Inst::VS10Inst(int line) : lineNumber(line), type(VS10_BLANK) {}

VS10Inst::VS10Inst(int line, int instType) : lineNumber(line), type(instType) {}

VS10Inst::VS10Inst(int line, int instType, char* text)
    : lineNumber(line), type(instType), commentText(text) {}

VS10Inst::VS10Inst(int line, int instType, const VS10Reg& dst, const VS10Reg& src0,
                   const VS10Reg& src1, const VS10Reg& src2)
    : dest(dst), sources{src0, src1, src2}, lineNumber(line), type(instType) {}

VS10Inst::VS10Inst(const VS10Inst& other)
    : dest(other.dest),
      sources{other.sources[0], other.sources[1], other.sources[2]},
      lineNumber(other.lineNumber),
      type(other.type),
      commentText(DuplicateText(other.commentText)) {}

VS10Inst& VS10Inst::operator=(const VS10Inst& other) {
    if (this == &other) return *this;
    dest = other.dest;
    for (int i = 0; i < 3; ++i) sources[i] = other.sources[i];
    lineNumber = other.lineNumber;
    type = other.type;
    free(commentText);
    commentText = DuplicateText(other.commentText);
    return *this;
}

VS10Inst::~VS10Inst() { free(commentText); }

InstSequence::InstSequence() : entries_(new (std::nothrow) VS10Inst[kInitialCapacity]) {
    if (entries_) capacity_ = kInitialCapacity;
}

InstSequence::~InstSequence() { delete[] entries_; }

void InstSequence::Append(const VS10Inst& inst) {
    if (count_ == capacity_) {
        // Doubling keeps appending linear: macros that expand into millions of instructions
        // would otherwise spend their time copying the array.
        if (capacity_ > std::numeric_limits<int>::max() / 2) return;
        const int larger = capacity_ == 0 ? kInitialCapacity : 2 * capacity_;
        VS10Inst* grown = new (std::nothrow) VS10Inst[larger];
        if (!grown) return;
        for (int i = 0; i < count_; ++i) grown[i] = entries_[i];
        delete[] entries_;
        entries_ = grown;
        capacity_ = larger;
    }
    entries_[count_++] = inst;
}

namespace {

constexpr VS10InstInfo kInstructions[] = {
#define VS10_INSTRUCTION(name, sources, matrixRows, mnemonic) \
    {VS10Sources::sources, matrixRows, mnemonic},
#include "shaderparse/vs10/vs10_instructions.def"
#undef VS10_INSTRUCTION
};

constexpr VS10InstInfo kNoOperation = {VS10Sources::NoOperands, 0, nullptr};

}  // namespace

const VS10InstInfo& VS10InstInfoOf(int type) {
    constexpr int kCount = static_cast<int>(sizeof kInstructions / sizeof kInstructions[0]);
    return type >= 1 && type <= kCount ? kInstructions[type - 1] : kNoOperation;
}

int VS10SourceCount(int type) {
    switch (VS10InstInfoOf(type).sources) {
        case VS10Sources::Two:
        case VS10Sources::Matrix:
            return 2;
        case VS10Sources::Three:
            return 3;
        default:
            return 1;
    }
}
