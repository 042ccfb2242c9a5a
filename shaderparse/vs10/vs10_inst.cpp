// Construction, copying and growth of the vs.1.0 records.
#include "shaderparse/vs10/vs10_inst.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

char* DuplicateText(const char* text) {
    return text ? strdup(text) : nullptr;
}

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

VS10Inst::~VS10Inst() {
    free(commentText);
}

InstSequence::InstSequence() : entries_(new (std::nothrow) VS10Inst[kGrowth]) {
    if (entries_) capacity_ = kGrowth;
}

InstSequence::~InstSequence() {
    delete[] entries_;
}

void InstSequence::Append(const VS10Inst& inst) {
    if (count_ == capacity_) {
        VS10Inst* grown = new (std::nothrow) VS10Inst[capacity_ + kGrowth];
        if (!grown) return;
        for (int i = 0; i < count_; ++i) grown[i] = entries_[i];
        delete[] entries_;
        entries_ = grown;
        capacity_ += kGrowth;
    }
    entries_[count_++] = inst;
}
