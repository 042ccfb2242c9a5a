// The vs.1.0 records, their checks and their translation, driven with hand-built records.
#include <climits>
#include <cstring>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "shaderparse/parse_state.h"
#include "shaderparse/vs10/vs10_inst.h"
#include "tests/support/shaderparse_helpers.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::Lines;

namespace {

VS10Reg Reg(int type, int index, const char* mask = "", int sign = 1) {
    VS10Reg reg;
    reg.type = type;
    reg.index = index;
    reg.sign = sign;
    for (int i = 0; i < 4 && mask[i]; ++i) reg.mask[i] = mask[i];
    return reg;
}

class Vs10Records : public ::testing::Test {
protected:
    void SetUp() override { parseErrors.Clear(); }
    void TearDown() override { parseErrors.Clear(); }

    // Checks one record as the first of a sequence and returns the messages.
    Lines Check(const VS10Inst& inst) {
        parseErrors.Clear();
        bool headerSeen = false;
        inst.Validate(headerSeen);
        return testsupport::ParseMessages();
    }
    // Translates one record (or register) and returns its text.
    template <typename T>
    std::string Text(const T& item) {
        translatedProgramText.clear();
        item.Translate();
        return translatedProgramText;
    }
};

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

    // The sequence starts with 128 slots, doubles when full, keeps the order and copies what it
    // is given.
    InstSequence seq;
    for (int i = 0; i < 600; ++i) {
        const std::string text = "# line " + std::to_string(i);
        VS10Inst inst(i + 1, VS10_COMMENT, strdup(text.c_str()));
        seq.Append(inst);
        EXPECT_STREQ(inst.commentText, text.c_str());  // the caller keeps its own record
        if (i == 127) {
            EXPECT_EQ(seq.Capacity(), 128);
        }
        if (i == 200) {
            EXPECT_EQ(seq.Capacity(), 256);
        }
    }
    ASSERT_EQ(seq.Count(), 600);
    EXPECT_EQ(seq.Capacity(), 1024);
    for (int i = 0; i < 600; ++i) EXPECT_EQ(std::string(seq[i].commentText), "# line " + std::to_string(i));
}

TEST_F(Vs10Records, IndexRangesByRegisterType) {
    struct Case { int type, index; bool valid; };
    const Case cases[] = {
        {TempReg, 11, true},      {TempReg, 12, false},    {TempReg, -1, false},     {AttribReg, 15, true},
        {AttribReg, 16, false},   {AddressReg, 0, true},   {AddressReg, 1, false},   {ConstReg, 95, true},
        {ConstReg, 96, false},    {ConstReg, -1, false},   {ConstRelReg, 500, true}, {ConstRelOffsetReg, 100000, true},
        {PositionOut, 42, true},  {ColorOut, 1, true},     {ColorOut, 2, false},     {TexCoordOut, 3, true},
        {TexCoordOut, 4, false},  {FogOut, 9, true},       {PointSizeOut, -5, true},
    };
    for (const Case& c : cases) EXPECT_EQ(Reg(c.type, c.index).ValidateIndex(), c.valid) << c.type << " " << c.index;
    EXPECT_THAT(testsupport::ParseMessages(), IsEmpty());
}

TEST_F(Vs10Records, MatrixMacroReadsBeyondItsSecondSource) {
    const char* expansion = "(3) Error: macro expansion produces source register index out of range\n";
    const char* second = "(3) Error: second source register index out of range\n";
    struct Case { int type, matrix; Lines messages; };
    const Case cases[] = {
        {VS10_M3X3, 93, {}}, {VS10_M4X3, 94, {expansion}}, {VS10_M3X2, 94, {}}, {VS10_M3X2, 95, {expansion}},
        {VS10_M4X4, 92, {}}, {VS10_M3X4, 93, {expansion}}, {VS10_M4X4, 96, {second, expansion}},
        // The largest index cannot grow; it still fails as the true index would.
        {VS10_M4X4, INT_MAX, {second, expansion}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Check(VS10Inst(3, c.type, Reg(TempReg, 0), Reg(AttribReg, 0), Reg(ConstReg, c.matrix))), c.messages)
            << c.type << " " << c.matrix;
    }
    // Relative matrices are never out of range, and the record is left unchanged.
    VS10Inst relative(3, VS10_M4X4, Reg(TempReg, 0), Reg(AttribReg, 0), Reg(ConstRelOffsetReg, INT_MAX));
    EXPECT_THAT(Check(relative), IsEmpty());
    EXPECT_EQ(relative.sources[1].index, INT_MAX);
}

TEST_F(Vs10Records, ReadPorts) {
    const char* attribs = "(1) Error: multiple unique attribute registers accessed in this instruction\n";
    const char* consts = "(1) Error: multiple unique constant registers accessed in this instruction\n";
    struct Case { VS10Reg a, b, c; Lines messages; };
    const VS10Reg t1 = Reg(TempReg, 1);
    const Case cases[] = {
        {Reg(AttribReg, 3), Reg(AttribReg, 3, "x", -1), t1, {}}, {Reg(AttribReg, 1), Reg(AttribReg, 3), t1, {attribs}},
        {Reg(ConstReg, 5), t1, Reg(ConstReg, 5), {}}, {Reg(ConstReg, 5), t1, Reg(ConstReg, 6), {consts}},
        {Reg(ConstRelReg, 0), Reg(ConstRelReg, 0), t1, {}}, {Reg(ConstRelReg, 0), Reg(ConstRelOffsetReg, 0), t1, {consts}},
        {Reg(ConstRelOffsetReg, 4), Reg(ConstRelOffsetReg, 4), t1, {}}, {Reg(ConstReg, 4), Reg(ConstRelOffsetReg, 4), t1, {consts}},
        {Reg(AttribReg, 2), Reg(AttribReg, 2), Reg(AttribReg, 7), {attribs}},
        // With two attributes the constant rule is not looked at.
        {Reg(AttribReg, 2), Reg(AttribReg, 2), Reg(ConstReg, 7), {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Check(VS10Inst(1, VS10_MAD, Reg(TempReg, 0), c.a, c.b, c.c)), c.messages);
    // One-source instructions have a single read.
    EXPECT_THAT(Check(VS10Inst(1, VS10_MOV, Reg(TempReg, 0), Reg(AttribReg, 1), Reg(AttribReg, 2))), IsEmpty());
}

TEST_F(Vs10Records, CheckOrderAndRepeatedHeaders) {
    VS10Inst bad(12, VS10_ADD, Reg(AttribReg, 16, "yx"), Reg(AddressReg, 0, "xy"), Reg(ConstReg, 99));
    EXPECT_THAT(Check(bad), ElementsAre("(12) Error: destination register index out of range\n",
                                        "(12) Error: second source register index out of range\n",
                                        "(12) Error: destination register has invalid mask: yx\n",
                                        "(12) Error: source register has invalid mask: xy\n",
                                        "(12) Error: destination register is not writable\n",
                                        "(12) Error: source register is not readable\n"));
    InstSequence seq;
    for (int line : {1, 5, 8}) seq.Append(VS10Inst(line, VS10_HEADER));
    parseErrors.Clear();
    seq.Validate();
    // Each run over a sequence starts with no header seen.
    seq.Validate();
    const std::string five = "(5) Error: vs.1.0 token already encountered\n";
    const std::string eight = "(8) Error: vs.1.0 token already encountered\n";
    EXPECT_THAT(testsupport::ParseMessages(), ElementsAre(five, eight, five, eight));
}

TEST_F(Vs10Records, RegisterNamesAndMatrixRowsNeverOverflow) {
    EXPECT_EQ(Text(Reg(ConstRelOffsetReg, 1000)), "c[ A0.x + 1000 ]");
    EXPECT_EQ(Text(Reg(ConstRelOffsetReg, INT_MAX, "xyzw", -1)), "-c[ A0.x + 2147483647 ].xyzw");
    EXPECT_EQ(Text(Reg(TexCoordOut, INT_MIN)), "o[TEX-2147483648]");
    // Matrix rows past the largest index do not wrap around.
    EXPECT_EQ(Text(VS10Inst(1, VS10_M3X2, Reg(TempReg, 0), Reg(TempReg, 1), Reg(ConstReg, INT_MAX))),
              "DP3    R0.x, R1, c[2147483647];\nDP3    R0.y, R1, c[2147483648];\n");
    EXPECT_THAT(testsupport::ParseMessages(), IsEmpty());
    // Relative rows add their row to the offset; without an offset the rows after the first
    // read the registers that follow c[a0.x].
    EXPECT_EQ(Text(VS10Inst(1, VS10_M4X3, Reg(TempReg, 0, "xyz"), Reg(AttribReg, 0), Reg(ConstRelOffsetReg, 10))),
              "DP4    R0.x, v[0], c[ A0.x + 10 ];\nDP4    R0.y, v[0], c[ A0.x + 11 ];\n"
              "DP4    R0.z, v[0], c[ A0.x + 12 ];\n");
    EXPECT_EQ(Text(VS10Inst(1, VS10_M3X2, Reg(TempReg, 0), Reg(AttribReg, 0), Reg(ConstRelReg, 0))),
              "DP3    R0.x, v[0], c[ A0.x ];\nDP3    R0.y, v[0], c[ A0.x + 1 ];\n");
}

}  // namespace
