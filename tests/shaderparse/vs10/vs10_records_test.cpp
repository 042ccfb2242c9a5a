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

TEST_F(Vs10Records, DefaultsAndConstruction) {
    VS10Reg reg;
    EXPECT_EQ(reg.type, NoReg);
    EXPECT_EQ(reg.index, -1);
    EXPECT_EQ(reg.sign, 0);

    VS10Inst def;
    EXPECT_EQ(def.lineNumber, -1);
    EXPECT_EQ(def.type, -1);
    EXPECT_EQ(def.commentText, nullptr);

    VS10Inst blank(7);
    EXPECT_EQ(blank.lineNumber, 7);
    EXPECT_EQ(blank.type, VS10_BLANK);

    VS10Inst mad(3, VS10_MAD, Reg(TempReg, 0), Reg(AttribReg, 1), Reg(ConstReg, 2), Reg(TempReg, 3));
    EXPECT_EQ(mad.sources[2].type, TempReg);
    VS10Inst mov(3, VS10_MOV, Reg(TempReg, 0), Reg(AttribReg, 1));
    EXPECT_EQ(mov.sources[1].type, NoReg);
    EXPECT_EQ(mov.sources[2].index, -1);
}

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

TEST_F(Vs10Records, IndexMessagesNameTheOperand) {
    EXPECT_THAT(Check(VS10Inst(4, VS10_MOV, Reg(TempReg, 12), Reg(TempReg, 11))),
                ElementsAre("(4) Error: destination register index out of range\n"));
    EXPECT_THAT(Check(VS10Inst(5, VS10_MOV, Reg(TempReg, 11), Reg(TempReg, 12))),
                ElementsAre("(5) Error: source register index out of range\n"));
    EXPECT_THAT(Check(VS10Inst(6, VS10_ADD, Reg(TempReg, 0), Reg(TempReg, 1), Reg(ConstReg, 96))),
                ElementsAre("(6) Error: second source register index out of range\n"));
    EXPECT_THAT(Check(VS10Inst(7, VS10_MAD, Reg(TempReg, 0), Reg(TempReg, 1), Reg(AttribReg, 16),
                               Reg(TempReg, 99))),
                ElementsAre("(7) Error: second source register index out of range\n",
                            "(7) Error: third source register index out of range\n"));
    // A one-source instruction ignores whatever its unused slots hold.
    EXPECT_THAT(Check(VS10Inst(8, VS10_RCP, Reg(TempReg, 0, "w"), Reg(TempReg, 1, "x"),
                               Reg(TempReg, 99))),
                IsEmpty());
}

TEST_F(Vs10Records, MatrixMacroReadsBeyondItsSecondSource) {
    const char* expansion = "(3) Error: macro expansion produces source register index out of range\n";
    auto macro = [](int type, int matrix) {
        return VS10Inst(3, type, Reg(TempReg, 0), Reg(AttribReg, 0), Reg(ConstReg, matrix));
    };
    EXPECT_THAT(Check(macro(VS10_M3X3, 93)), IsEmpty());
    EXPECT_THAT(Check(macro(VS10_M3X3, 94)), ElementsAre(expansion));
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

TEST_F(Vs10Records, DestinationMaskOrder) {
    auto withMask = [](const char* mask) {
        return VS10Inst(2, VS10_MOV, Reg(TempReg, 0, mask), Reg(AttribReg, 0));
    };
    EXPECT_THAT(Check(withMask("xyzw")), IsEmpty());
    EXPECT_THAT(Check(withMask("xw")), IsEmpty());
    EXPECT_THAT(Check(withMask("w")), IsEmpty());
    EXPECT_THAT(Check(withMask("yx")),
                ElementsAre("(2) Error: destination register has invalid mask: yx\n"));
    EXPECT_THAT(Check(withMask("xx")),
                ElementsAre("(2) Error: destination register has invalid mask: xx\n"));
    EXPECT_THAT(Check(withMask("wzyx")),  // one message however many letters are out of order
                ElementsAre("(2) Error: destination register has invalid mask: wzyx\n"));
}

TEST_F(Vs10Records, SourceSwizzleLengths) {
    EXPECT_THAT(Check(VS10Inst(1, VS10_MOV, Reg(TempReg, 0), Reg(AttribReg, 0, "xy"))),
                ElementsAre("(1) Error: source register has invalid mask: xy\n"));
    EXPECT_THAT(Check(VS10Inst(1, VS10_MOV, Reg(TempReg, 0), Reg(AttribReg, 0, "wzyx"))), IsEmpty());
    EXPECT_THAT(Check(VS10Inst(1, VS10_MOV, Reg(TempReg, 0), Reg(AttribReg, 0, "y"))), IsEmpty());
    EXPECT_THAT(Check(VS10Inst(1, VS10_DP3, Reg(TempReg, 0), Reg(AttribReg, 0, "xyz"),
                               Reg(TempReg, 1, "xyw"))),
                ElementsAre("(1) Error: source register has invalid mask: xyz\n",
                            "(1) Error: second source register has invalid mask: xyw\n"));
    EXPECT_THAT(Check(VS10Inst(1, VS10_MAD, Reg(TempReg, 0), Reg(AttribReg, 0), Reg(TempReg, 1),
                               Reg(TempReg, 2, "zw"))),
                ElementsAre("(1) Error: third source register has invalid mask: zw\n"));
}

TEST_F(Vs10Records, WritableDestinations) {
    EXPECT_THAT(Check(VS10Inst(1, VS10_MOV, Reg(AddressReg, 0, "x"), Reg(AttribReg, 0, "x"))),
                IsEmpty());
    EXPECT_THAT(Check(VS10Inst(1, VS10_ADD, Reg(AddressReg, 0, "x"), Reg(TempReg, 0), Reg(TempReg, 1))),
                ElementsAre("(1) Error: destination register is not writable using this instruction\n"));
    for (int type : {AttribReg, ConstReg, ConstRelReg, ConstRelOffsetReg})
        EXPECT_THAT(Check(VS10Inst(9, VS10_MOV, Reg(type, 0), Reg(TempReg, 0))),
                    ElementsAre("(9) Error: destination register is not writable\n"));
    for (int type : {TempReg, PositionOut, ColorOut, TexCoordOut, FogOut, PointSizeOut})
        EXPECT_THAT(Check(VS10Inst(9, VS10_MOV, Reg(type, 0), Reg(TempReg, 0))), IsEmpty());

    EXPECT_THAT(Check(VS10Inst(2, VS10_FRC, Reg(PositionOut, 0), Reg(TempReg, 0))),
                ElementsAre("(2) Error: destination register must be a temporary register\n"));
    EXPECT_THAT(Check(VS10Inst(2, VS10_FRC, Reg(AttribReg, 0), Reg(TempReg, 0))),
                ElementsAre("(2) Error: destination register is not writable\n",
                            "(2) Error: destination register must be a temporary register\n"));
    EXPECT_THAT(Check(VS10Inst(2, VS10_FRC, Reg(TempReg, 0), Reg(TempReg, 0))), IsEmpty());
}

TEST_F(Vs10Records, ReadableSources) {
    EXPECT_THAT(Check(VS10Inst(1, VS10_MOV, Reg(TempReg, 0), Reg(AddressReg, 0))),
                ElementsAre("(1) Error: source register is not readable\n"));
    EXPECT_THAT(Check(VS10Inst(1, VS10_ADD, Reg(TempReg, 0), Reg(TempReg, 1), Reg(PositionOut, 0))),
                ElementsAre("(1) Error: second source register is not readable\n"));
    EXPECT_THAT(Check(VS10Inst(1, VS10_MAD, Reg(TempReg, 0), Reg(TexCoordOut, 0), Reg(TempReg, 1),
                               Reg(ColorOut, 1))),
                ElementsAre("(1) Error: source register is not readable\n",
                            "(1) Error: third source register is not readable\n"));
    for (int type : {FogOut, PointSizeOut})
        EXPECT_THAT(Check(VS10Inst(1, VS10_MOV, Reg(TempReg, 0), Reg(type, 0))),
                    ElementsAre("(1) Error: source register is not readable\n"));
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

TEST_F(Vs10Records, HeadersAndLinesWithoutChecks) {
    InstSequence seq;
    seq.Append(VS10Inst(1, VS10_HEADER));
    seq.Append(VS10Inst(2, VS10_NOP));
    seq.Append(VS10Inst(3));
    seq.Append(VS10Inst(4, VS10_COMMENT, strdup("# c")));
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

TEST_F(Vs10Records, RegisterNames) {
    struct Case { VS10Reg reg; const char* text; };
    const Case cases[] = {
        {Reg(TempReg, 11), "R11"},
        {Reg(AttribReg, 3, "xyzw"), "v[3].xyzw"},
        {Reg(AddressReg, 0, "x"), "a0.x"},
        {Reg(ConstReg, 95, "wzyx"), "c[95].wzyx"},
        {Reg(ConstRelReg, 0), "c[ A0.x ]"},
        {Reg(ConstRelOffsetReg, 12, "y"), "c[ A0.x + 12 ].y"},
        {Reg(PositionOut, 123), "o[HPOS]"},
        {Reg(ColorOut, 1, "xyz"), "o[COL1].xyz"},
        {Reg(TexCoordOut, 3, "xy"), "o[TEX3].xy"},
        {Reg(FogOut, 0, "x"), "o[FOGC].x"},
        {Reg(PointSizeOut, 0), "o[PSIZ]"},
        {Neg(TempReg, 1, "x"), "-R1.x"},
        // Names longer than 15 characters are written in full.
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

    translatedProgramText.clear();
    Reg(0, 0).Translate();
    EXPECT_EQ(translatedProgramText, "");
    EXPECT_THAT(Messages(), ElementsAre("VS10Reg::Translate() Internal Error: unknown register type\n"));
}

TEST_F(Vs10Records, InstructionLines) {
    int count = -1;
    EXPECT_EQ(Text(VS10Inst(1, VS10_MOV, Reg(PositionOut, 0), Reg(AttribReg, 0)), &count),
              "MOV    o[HPOS], v[0];\n");
    EXPECT_EQ(count, 1);
    EXPECT_EQ(Text(VS10Inst(1, VS10_MAD, Reg(TempReg, 0, "xy"), Neg(AttribReg, 1, "z"),
                            Reg(ConstReg, 2), Reg(TempReg, 3, "wzyx"))),
              "MAD    R0.xy, -v[1].z, c[2], R3.wzyx;\n");
    EXPECT_EQ(Text(VS10Inst(1, VS10_EXPP, Reg(TempReg, 0), Reg(TempReg, 1, "w"))),
              "EXP    R0, R1.w;\n");
    EXPECT_EQ(Text(VS10Inst(1, VS10_LOGP, Reg(TempReg, 0), Reg(TempReg, 1, "w"))),
              "LOG    R0, R1.w;\n");
    struct Op { int type; const char* mnemonic; int sources; };
    const Op ops[] = {
        {VS10_ADD, "ADD", 2}, {VS10_DP3, "DP3", 2}, {VS10_DP4, "DP4", 2}, {VS10_DST, "DST", 2},
        {VS10_MAX, "MAX", 2}, {VS10_MIN, "MIN", 2}, {VS10_MUL, "MUL", 2}, {VS10_SGE, "SGE", 2},
        {VS10_SLT, "SLT", 2}, {VS10_EXP, "EXP", 1}, {VS10_LIT, "LIT", 1}, {VS10_LOG, "LOG", 1},
        {VS10_MOV, "MOV", 1}, {VS10_RCP, "RCP", 1}, {VS10_RSQ, "RSQ", 1},
    };
    for (const Op& op : ops) {
        std::string expected = std::string(op.mnemonic) + "    R1, v[2]" +
                               (op.sources == 2 ? ", c[3]" : "") + ";\n";
        EXPECT_EQ(Text(VS10Inst(1, op.type, Reg(TempReg, 1), Reg(AttribReg, 2), Reg(ConstReg, 3)),
                       &count),
                  expected);
        EXPECT_EQ(count, 1);
    }
}

TEST_F(Vs10Records, LinesWithoutInstructions) {
    int count = -1;
    EXPECT_EQ(Text(VS10Inst(1), &count), "\n");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(Text(VS10Inst(1, VS10_NOP), &count), "");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(Text(VS10Inst(1, VS10_HEADER), &count), "");
    EXPECT_EQ(Text(VS10Inst(1, VS10_COMMENT, strdup("#  a comment")), &count), "#  a comment");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(Text(VS10Inst(6, VS10_FRC, Reg(TempReg, 0), Reg(TempReg, 1)), &count), ";\n");
    EXPECT_EQ(count, 0);
    EXPECT_THAT(Messages(), ElementsAre("(6) Error: FRC built-in macro not yet supported.\n"));
}

TEST_F(Vs10Records, SubtractionInvertsTheSecondSource) {
    VS10Inst plain(1, VS10_SUB, Reg(TempReg, 0), Reg(AttribReg, 0), Reg(TempReg, 1, "x"));
    EXPECT_EQ(Text(plain), "ADD    R0, v[0], -R1.x;\n");
    EXPECT_EQ(plain.sources[1].sign, 1);  // the record is left as it was
    EXPECT_EQ(Text(VS10Inst(1, VS10_SUB, Reg(TempReg, 0), Neg(AttribReg, 0), Neg(TempReg, 1, "x"))),
              "ADD    R0, -v[0], R1.x;\n");
}

TEST_F(Vs10Records, AddressRegisterMoveLoadsWithArl) {
    EXPECT_EQ(Text(VS10Inst(1, VS10_MOV, Reg(AddressReg, 0, "x"), Reg(AttribReg, 0))),
              "ARL    A0.x, v[0].x;\n");
    EXPECT_EQ(Text(VS10Inst(1, VS10_MOV, Reg(AddressReg, 0, "x"), Neg(ConstReg, 4, "yzwx"))),
              "ARL    A0.x, -c[4].y;\n");
    EXPECT_EQ(Text(VS10Inst(1, VS10_MOV, Reg(AddressReg, 0), Reg(TempReg, 3, "w"))),
              "ARL    A0.x, R3.w;\n");
}

TEST_F(Vs10Records, MatrixMacroRows) {
    int count = 0;
    EXPECT_EQ(Text(VS10Inst(1, VS10_M4X4, Reg(PositionOut, 0), Reg(AttribReg, 0), Reg(ConstReg, 4)),
                   &count),
              "DP4    o[HPOS].x, v[0], c[4];\n"
              "DP4    o[HPOS].y, v[0], c[5];\n"
              "DP4    o[HPOS].z, v[0], c[6];\n"
              "DP4    o[HPOS].w, v[0], c[7];\n");
    EXPECT_EQ(count, 4);
    EXPECT_EQ(Text(VS10Inst(1, VS10_M3X3, Reg(TempReg, 1, "xz"), Reg(AttribReg, 3), Reg(ConstReg, 10)),
                   &count),
              "DP3    R1.x, v[3], c[10];\n"
              "DP3    R1.z, v[3], c[12];\n");
    EXPECT_EQ(count, 2);
    EXPECT_EQ(Text(VS10Inst(1, VS10_M3X2, Reg(TempReg, 1, "xyz"), Reg(AttribReg, 3), Reg(ConstReg, 0)),
                   &count),
              "DP3    R1.x, v[3], c[0];\n"
              "DP3    R1.y, v[3], c[1];\n");
    EXPECT_EQ(count, 2);
    EXPECT_EQ(Text(VS10Inst(1, VS10_M4X3, Neg(TempReg, 0, "w"), Reg(TempReg, 1, "x"),
                            Neg(ConstReg, 8, "y")),
                   &count),
              "");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(Text(VS10Inst(1, VS10_M4X3, Reg(TempReg, 0), Neg(TempReg, 1, "x"), Neg(ConstReg, 8, "y")),
                   &count),
              "DP4    R0.x, -R1.x, -c[8].y;\n"
              "DP4    R0.y, -R1.x, -c[9].y;\n"
              "DP4    R0.z, -R1.x, -c[10].y;\n");
    EXPECT_EQ(count, 3);
    // Rows come in the order the mask letters are written.
    EXPECT_EQ(Text(VS10Inst(1, VS10_M3X4, Reg(TempReg, 2, "wy"), Reg(TempReg, 1), Reg(ConstReg, 20)),
                   &count),
              "DP3    R2.w, R1, c[23];\n"
              "DP3    R2.y, R1, c[21];\n");
    EXPECT_EQ(count, 2);
}

TEST_F(Vs10Records, RelativeMatrixRowsFollowTheAddress) {
    EXPECT_EQ(Text(VS10Inst(1, VS10_M4X3, Reg(TempReg, 0, "xyz"), Reg(AttribReg, 0),
                            Reg(ConstRelOffsetReg, 10))),
              "DP4    R0.x, v[0], c[ A0.x + 10 ];\n"
              "DP4    R0.y, v[0], c[ A0.x + 11 ];\n"
              "DP4    R0.z, v[0], c[ A0.x + 12 ];\n");
    EXPECT_EQ(Text(VS10Inst(1, VS10_M3X2, Reg(TempReg, 0), Reg(AttribReg, 0), Reg(ConstRelReg, 0))),
              "DP3    R0.x, v[0], c[ A0.x ];\n"
              "DP3    R0.y, v[0], c[ A0.x + 1 ];\n");
}

TEST_F(Vs10Records, SequenceFramingAndInstructionLimit) {
    InstSequence header;
    header.Append(VS10Inst(1, VS10_HEADER));
    header.Translate();
    EXPECT_EQ(translatedProgramText, "!!VP1.0\nEND\n");

    auto run = [&](int movs, int macros) {
        parseErrors.Clear();
        translatedProgramText.clear();
        InstSequence seq;
        for (int i = 0; i < movs; ++i)
            seq.Append(VS10Inst(i + 1, VS10_MOV, Reg(TempReg, 0), Reg(TempReg, 1)));
        for (int i = 0; i < macros; ++i)
            seq.Append(VS10Inst(i + 1, VS10_M4X4, Reg(TempReg, 0), Reg(TempReg, 1), Reg(ConstReg, 0)));
        seq.Translate();
        return Messages();
    };
    EXPECT_THAT(run(128, 0), IsEmpty());
    EXPECT_THAT(run(129, 0),
                ElementsAre("Vertex Shader had more than 128 instructions. (Converted to: 129)\n"));
    EXPECT_EQ(translatedProgramText.rfind("END\n"), translatedProgramText.size() - 4);
    EXPECT_THAT(run(124, 1), IsEmpty());  // macros count their rows
    EXPECT_THAT(run(125, 1),
                ElementsAre("Vertex Shader had more than 128 instructions. (Converted to: 129)\n"));
}

}  // namespace
