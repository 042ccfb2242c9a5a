// The in-memory form of a vs.1.0 program: one VS10Inst per source line with up to four VS10Reg
// operands, collected in source order in an InstSequence. The records also check themselves
// against the vs.1.0 register model and translate themselves into !!VP1.0 text.
#pragma once

// Register type codes; 1 to 4 and 7 to 11 come from the scanner's REGISTER tokens, the two
// relative constant forms only from the grammar.
enum VS10RegType : int {
    NoReg = 0,
    TempReg = 1,
    AttribReg = 2,
    AddressReg = 3,
    ConstReg = 4,
    ConstRelReg = 5,        // c[a0.x]
    ConstRelOffsetReg = 6,  // c[a0.x + n]; index holds n
    PositionOut = 7,
    ColorOut = 8,
    TexCoordOut = 9,
    FogOut = 10,
    PointSizeOut = 11,
};

// Instruction type codes: the operations of vs10_instructions.def from 1 in its order, plus the
// line kinds that carry no operation.
enum VS10InstType : int {
    VS10_BLANK = -1,
    VS10_NO_OPERATION = 0,
#define VS10_INSTRUCTION(name, sources, matrixRows, mnemonic) VS10_##name,
#include "shaderparse/vs10/vs10_instructions.def"
#undef VS10_INSTRUCTION
    VS10_COMMENT = 27,
    VS10_HEADER = 28,
};
static_assert(VS10_SUB == 26, "the operation codes are fixed");

// What an operation reads; NoOperands for nop and for every type that is no operation.
enum class VS10Sources { NoOperands, One, Two, Matrix, Three };

struct VS10InstInfo {
    VS10Sources sources;
    int matrixRows;        // rows a matrix macro reads beyond its second source's own
    const char* mnemonic;  // the vertex-program instruction it maps onto, or nullptr
};

// The row of vs10_instructions.def for an operation; a row of NoOperands for any other type.
const VS10InstInfo& VS10InstInfoOf(int type);

// Number of sources an instruction reads; the first source counts for any type.
int VS10SourceCount(int type);

// One operand. For a destination the mask is a write mask, for a source a swizzle: the
// component letters in the order written, unused positions 0.
class VS10Reg {
  public:
    VS10Reg() = default;

    // True when the index is in range for the register's type.
    bool ValidateIndex() const;
    // Appends the operand in vertex-program notation to translatedProgramText.
    void Translate() const;

    int type = NoReg;
    int index = -1;
    int sign = 0;  // -1 negated, +1 not, 0 in an unused slot
    char mask[4] = {0, 0, 0, 0};
};

// One source line.
class VS10Inst {
  public:
    VS10Inst() = default;
    explicit VS10Inst(int line);  // blank line
    VS10Inst(int line, int instType);
    // Takes ownership of text (allocated with malloc).
    VS10Inst(int line, int instType, char* text);
    VS10Inst(int line, int instType, const VS10Reg& dst, const VS10Reg& src0,
             const VS10Reg& src1 = VS10Reg(), const VS10Reg& src2 = VS10Reg());
    VS10Inst(const VS10Inst& other);
    VS10Inst& operator=(const VS10Inst& other);
    ~VS10Inst();

    // Checks the record; headerSeen belongs to the run over one sequence.
    void Validate(bool& headerSeen) const;
    void ValidateRegIndices() const;
    void ValidateDestMask() const;
    void ValidateSrcMasks() const;
    void ValidateDestWritable() const;
    void ValidateSrcReadable() const;
    void ValidateReadPorts() const;

    // Appends the record's text; returns the number of vertex-program instructions written.
    int Translate() const;

    VS10Reg dest;
    VS10Reg sources[3];
    int lineNumber = -1;
    int type = VS10_BLANK;
    char* commentText = nullptr;

  private:
    // Formats "(<line>) Error: <what>" and adds it to parseErrors.
    void Report(const char* what) const;
    int TranslateMatrixMacro() const;
};

// The records of one program in source order.
class InstSequence {
  public:
    static constexpr int kInitialCapacity = 128;

    InstSequence();
    ~InstSequence();
    InstSequence(const InstSequence&) = delete;
    InstSequence& operator=(const InstSequence&) = delete;

    // Copies inst into the next slot, doubling the array (128 slots at first) when it is full.
    // The instruction is dropped when the larger array cannot be allocated.
    void Append(const VS10Inst& inst);
    // Checks every record in order.
    void Validate() const;
    // Appends the whole !!VP1.0 program to translatedProgramText.
    void Translate() const;

    int Count() const { return count_; }
    int Capacity() const { return capacity_; }
    const VS10Inst& operator[](int i) const { return entries_[i]; }

  private:
    VS10Inst* entries_;
    int count_ = 0;
    int capacity_ = 0;
};
