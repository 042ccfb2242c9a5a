// The vs.1.0 records, their checks and their translation, driven with hand-built records.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "shaderparse/parse_state.h"
#include "shaderparse/vs10/vs10_inst.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

VS10Reg Reg(int type, int index, const char* mask = "", int sign = 1) {
    VS10Reg reg;
    reg.type = type;
    reg.index = index;
    reg.sign = sign;
    for (int i = 0; i < 4 && mask[i]; ++i) reg.mask[i] = mask[i];
    return reg;
}

VS10Reg Neg(int type, int index, const char* mask = "") {
    return Reg(type, index, mask, -1);
}

std::vector<std::string> Messages() {
    std::vector<std::string> out;
    for (char** m = parseErrors.Messages(); *m; ++m) out.emplace_back(*m);
    return out;
}

class Vs10Records : public ::testing::Test {
protected:
    void SetUp() override {
        parseErrors.Clear();
        translatedProgramText.clear();
    }
    void TearDown() override { parseErrors.Clear(); }

    // Checks one record as the first of a sequence and returns the messages.
    std::vector<std::string> Check(const VS10Inst& inst) {
        parseErrors.Clear();
        bool headerSeen = false;
        inst.Validate(headerSeen);
        return Messages();
    }
    // Translates one record and returns its text; count receives the instruction count.
    std::string Text(const VS10Inst& inst, int* count = nullptr) {
        translatedProgramText.clear();
        int n = inst.Translate();
        if (count) *count = n;
        return translatedProgramText;
    }
};

// --- records -------------------------------------------------------------------------------

TEST_F(Vs10Records, CommentTextIsOwnedAndDuplicatedOnCopy) {
    VS10Inst original(2, VS10_COMMENT, strdup("# hello"));
    VS10Inst copy(original);
    ASSERT_NE(copy.commentText, nullptr);
    EXPECT_NE(copy.commentText, original.commentText);
    EXPECT_STREQ(copy.commentText, "# hello");

    VS10Inst assigned(5, VS10_COMMENT, strdup("# old"));
    assigned = original;
    EXPECT_NE(assigned.commentText, original.commentText);
    EXPECT_STREQ(assigned.commentText, "# hello");
    EXPECT_EQ(assigned.lineNumber, 2);

    VS10Inst& self = assigned;
    assigned = self;
    EXPECT_STREQ(assigned.commentText, "# hello");

    assigned = VS10Inst(9);  // replacing a comment by a blank line releases the text
    EXPECT_EQ(assigned.commentText, nullptr);
}

TEST_F(Vs10Records, SequenceGrowsBy128AndKeepsOrder) {
    InstSequence seq;
    EXPECT_EQ(seq.Capacity(), 128);
    for (int i = 0; i < 200; ++i) {
        char text[32];
        snprintf(text, sizeof text, "# line %d", i);
        VS10Inst inst(i + 1, VS10_COMMENT, strdup(text));
        seq.Append(inst);
        EXPECT_STREQ(inst.commentText, text);  // the caller keeps its own record
        if (i == 127) {
            EXPECT_EQ(seq.Capacity(), 128);
        } else if (i == 128) {
            EXPECT_EQ(seq.Capacity(), 256);
        }
    }
    ASSERT_EQ(seq.Count(), 200);
    EXPECT_EQ(seq.Capacity(), 256);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(seq[i].lineNumber, i + 1);
        EXPECT_EQ(std::string(seq[i].commentText), "# line " + std::to_string(i));
    }
}

// --- checks --------------------------------------------------------------------------------

TEST_F(Vs10Records, IndexRangesByRegisterType) {
    struct Case { int type, index; bool valid; };
    const Case cases[] = {
        {TempReg, 0, true}, {TempReg, 11, true}, {TempReg, 12, false}, {TempReg, -1, false},
        {AttribReg, 15, true}, {AttribReg, 16, false},
        {AddressReg, 0, true}, {AddressReg, 1, false},
        {ConstReg, 95, true}, {ConstReg, 96, false}, {ConstReg, -1, false},
        {ConstRelReg, 500, true}, {ConstRelOffsetReg, 100000, true},
        {PositionOut, 42, true}, {ColorOut, 1, true}, {ColorOut, 2, false},
        {TexCoordOut, 3, true}, {TexCoordOut, 4, false}, {FogOut, 9, true},
        {PointSizeOut, -5, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Reg(c.type, c.index).ValidateIndex(), c.valid) << c.type << " " << c.index;
    EXPECT_THAT(Messages(), IsEmpty());

    EXPECT_TRUE(Reg(42, 0).ValidateIndex());
    EXPECT_THAT(Messages(),
                ElementsAre("VS10Reg::ValidateIndex() Internal Error: unknown register type\n"));
}

TEST_F(Vs10Records, MatrixMacroReadsBeyondItsSecondSource) {
    const char* expansion = "(3) Error: macro expansion produces source register index out of range\n";
    auto macro = [](int type, int matrix) {
        return VS10Inst(3, type, Reg(TempReg, 0), Reg(AttribReg, 0), Reg(ConstReg, matrix));
    };
    EXPECT_THAT(Check(macro(VS10_M3X3, 93)), IsEmpty());
    EXPECT_THAT(Check(macro(VS10_M4X3, 94)), ElementsAre(expansion));
    EXPECT_THAT(Check(macro(VS10_M3X2, 94)), IsEmpty());
    EXPECT_THAT(Check(macro(VS10_M3X2, 95)), ElementsAre(expansion));
    EXPECT_THAT(Check(macro(VS10_M4X4, 92)), IsEmpty());
    EXPECT_THAT(Check(macro(VS10_M3X4, 93)), ElementsAre(expansion));
    EXPECT_THAT(Check(macro(VS10_M4X4, 96)),
                ElementsAre("(3) Error: second source register index out of range\n", expansion));
    // The largest index cannot grow; it still fails as the true index would.
    EXPECT_THAT(Check(macro(VS10_M4X4, INT_MAX)),
                ElementsAre("(3) Error: second source register index out of range\n", expansion));
    // Relative matrices are never out of range, and the record is left unchanged.
    VS10Inst relative(3, VS10_M4X4, Reg(TempReg, 0), Reg(AttribReg, 0),
                      Reg(ConstRelOffsetReg, INT_MAX));
    EXPECT_THAT(Check(relative), IsEmpty());
    EXPECT_EQ(relative.sources[1].index, INT_MAX);
}

TEST_F(Vs10Records, ReadPorts) {
    const char* attribs = "(1) Error: multiple unique attribute registers accessed in this instruction\n";
    const char* consts = "(1) Error: multiple unique constant registers accessed in this instruction\n";
    auto add = [](VS10Reg a, VS10Reg b) {
        return VS10Inst(1, VS10_ADD, Reg(TempReg, 0), a, b);
    };
    auto mad = [](VS10Reg a, VS10Reg b, VS10Reg c) {
        return VS10Inst(1, VS10_MAD, Reg(TempReg, 0), a, b, c);
    };
    EXPECT_THAT(Check(add(Reg(AttribReg, 3), Neg(AttribReg, 3, "x"))), IsEmpty());
    EXPECT_THAT(Check(add(Reg(AttribReg, 1), Reg(AttribReg, 3))), ElementsAre(attribs));
    EXPECT_THAT(Check(mad(Reg(ConstReg, 5), Reg(TempReg, 1), Reg(ConstReg, 5))), IsEmpty());
    EXPECT_THAT(Check(mad(Reg(ConstReg, 5), Reg(TempReg, 1), Reg(ConstReg, 6))), ElementsAre(consts));
    EXPECT_THAT(Check(add(Reg(ConstRelReg, 0), Reg(ConstRelReg, 0))), IsEmpty());
    EXPECT_THAT(Check(add(Reg(ConstRelReg, 0), Reg(ConstRelOffsetReg, 0))), ElementsAre(consts));
    EXPECT_THAT(Check(add(Reg(ConstRelOffsetReg, 4), Reg(ConstRelOffsetReg, 4))), IsEmpty());
    EXPECT_THAT(Check(add(Reg(ConstReg, 4), Reg(ConstRelOffsetReg, 4))), ElementsAre(consts));
    EXPECT_THAT(Check(mad(Reg(AttribReg, 2), Reg(AttribReg, 2), Reg(AttribReg, 7))),
                ElementsAre(attribs));
    // With two attributes the constant rule is not looked at.
    EXPECT_THAT(Check(mad(Reg(AttribReg, 2), Reg(AttribReg, 2), Reg(ConstReg, 7))), IsEmpty());
    // One-source instructions have a single read.
    EXPECT_THAT(Check(VS10Inst(1, VS10_MOV, Reg(TempReg, 0), Reg(AttribReg, 1), Reg(AttribReg, 2))),
                IsEmpty());
}

TEST_F(Vs10Records, EveryRepeatedHeaderIsReported) {
    InstSequence seq;
    seq.Append(VS10Inst(1, VS10_HEADER));
    seq.Append(VS10Inst(5, VS10_HEADER));
    seq.Append(VS10Inst(8, VS10_HEADER));
    seq.Validate();
    EXPECT_THAT(Messages(), ElementsAre("(5) Error: vs.1.0 token already encountered\n",
                                        "(8) Error: vs.1.0 token already encountered\n"));
    // Each run over a sequence starts with no header seen.
    parseErrors.Clear();
    seq.Validate();
    EXPECT_EQ(parseErrors.Count(), 2);
}

TEST_F(Vs10Records, AllChecksRunForOneInstruction) {
    VS10Inst bad(12, VS10_ADD, Reg(AttribReg, 16, "yx"), Reg(AddressReg, 0, "xy"),
                 Reg(ConstReg, 99));
    EXPECT_THAT(Check(bad), ElementsAre("(12) Error: destination register index out of range\n",
                                        "(12) Error: second source register index out of range\n",
                                        "(12) Error: destination register has invalid mask: yx\n",
                                        "(12) Error: source register has invalid mask: xy\n",
                                        "(12) Error: destination register is not writable\n",
                                        "(12) Error: source register is not readable\n"));
}

TEST_F(Vs10Records, UnknownTypesAreInternalErrors) {
    EXPECT_THAT(Check(VS10Inst(1, 99, Reg(TempReg, 0), Reg(TempReg, 1))),
                ElementsAre("VS10Inst::ValidateRegIndices() Internal Error: unknown instruction type\n",
                            "VS10Inst::ValidateSrcMasks() Internal Error: unknown instruction type\n"));
    std::vector<std::string> msgs = Check(VS10Inst(1, VS10_ADD, Reg(77, 0), Reg(TempReg, 0), Reg(77, 0)));
    EXPECT_THAT(msgs, ::testing::Contains(
                          "VS10Inst::ValidateDestWritable() Internal Error: unknown register type\n"));
    EXPECT_THAT(msgs, ::testing::Contains(
                          "VS10Inst::ValidateSrcReadable() Internal Error: unknown register type\n"));
    EXPECT_THAT(msgs, ::testing::Contains(
                          "VS10Inst::ValidateReadPorts() Internal Error: unknown register type\n"));
    EXPECT_EQ(Text(VS10Inst(1, 99, Reg(TempReg, 0), Reg(TempReg, 1))), ";\n");
    EXPECT_THAT(Messages(), ::testing::Contains(
                                "VS10Inst::Translate() Internal Error: unknown instruction type\n"));
}

// --- translation ---------------------------------------------------------------------------

TEST_F(Vs10Records, LongRegisterNamesAreWrittenInFull) {
    struct Case { VS10Reg reg; const char* text; };
    const Case cases[] = {
        {Reg(ConstRelOffsetReg, 1000), "c[ A0.x + 1000 ]"},
        {Neg(ConstRelOffsetReg, INT_MAX, "xyzw"), "-c[ A0.x + 2147483647 ].xyzw"},
        {Reg(TexCoordOut, INT_MIN), "o[TEX-2147483648]"},
    };
    for (const Case& c : cases) {
        translatedProgramText.clear();
        c.reg.Translate();
        EXPECT_EQ(translatedProgramText, c.text);
    }
    EXPECT_THAT(Messages(), IsEmpty());
    // Matrix rows past the largest index do not wrap around.
    EXPECT_EQ(Text(VS10Inst(1, VS10_M3X2, Reg(TempReg, 0), Reg(TempReg, 1), Reg(ConstReg, INT_MAX))),
              "DP3    R0.x, R1, c[2147483647];\nDP3    R0.y, R1, c[2147483648];\n");

    translatedProgramText.clear();
    Reg(0, 0).Translate();
    EXPECT_EQ(translatedProgramText, "");
    EXPECT_THAT(Messages(), ElementsAre("VS10Reg::Translate() Internal Error: unknown register type\n"));
}

TEST_F(Vs10Records, MatrixRowsFollowTheMaskAndTheAddress) {
    int count = -1;
    // Rows come in the order the mask letters are written; rows the macro lacks write nothing.
    EXPECT_EQ(Text(VS10Inst(1, VS10_M3X4, Neg(TempReg, 2, "wy"), Reg(TempReg, 1), Reg(ConstReg, 20)),
                   &count),
              "DP3    -R2.w, R1, c[23];\nDP3    -R2.y, R1, c[21];\n");
    EXPECT_EQ(count, 2);
    EXPECT_EQ(Text(VS10Inst(1, VS10_M4X3, Reg(TempReg, 0, "w"), Reg(TempReg, 1), Reg(ConstReg, 8)),
                   &count),
              "");
    EXPECT_EQ(count, 0);

    EXPECT_EQ(Text(VS10Inst(1, VS10_M4X3, Reg(TempReg, 0, "xyz"), Reg(AttribReg, 0),
                            Reg(ConstRelOffsetReg, 10))),
              "DP4    R0.x, v[0], c[ A0.x + 10 ];\n"
              "DP4    R0.y, v[0], c[ A0.x + 11 ];\n"
              "DP4    R0.z, v[0], c[ A0.x + 12 ];\n");
    // Without an offset the rows after the first read the registers that follow c[a0.x].
    EXPECT_EQ(Text(VS10Inst(1, VS10_M3X2, Reg(TempReg, 0), Reg(AttribReg, 0), Reg(ConstRelReg, 0))),
              "DP3    R0.x, v[0], c[ A0.x ];\nDP3    R0.y, v[0], c[ A0.x + 1 ];\n");
}

}  // namespace
