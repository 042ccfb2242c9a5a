// The !!VP1.0 / !!VSP1.0 check behind glLoadProgramNV: accepted forms, error positions and the
// instructions handed back.
#include "vertexprogram/program.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// '@' marks where the check must stop (at the end: the text is rejected at its length); it is
// removed from the text. Without '@' the text must be accepted.
void ExpectCheck(std::string text) {
    const size_t at = text.find('@');
    if (at != std::string::npos) text.erase(at, 1);
    const long expected = at == std::string::npos ? -1 : static_cast<long>(at);
    EXPECT_EQ(vertexprogram::Parse(text.data(), text.size()), expected) << text;
}

const std::string kHead = "!!VP1.0\n";
std::string Vp(const std::string& body) { return kHead + body + "MOV o[HPOS], v[OPOS];\nEND\n"; }

TEST(VertexProgramParse, AcceptsEveryInstructionAndOperandForm) {
    ExpectCheck(Vp(
        "ARL A0.x, v[WGHT].y; ARL A0.x, -c[95].w; MOV R0, v[0]; MOV R1.xyzw, -v[15].wzyx;\n"
        "LIT R2.xw, c[A0.x].xxyy; RCP R3.y, c[A0.x+63].z; RSQ R4.z, -R3.y; EXP R5.xz, "
        "c[A0.x-64].x;\n"
        "LOG R6.yzw, v[NRML].w; MUL R7, R0, c[4]; ADD R8.xy, -R1.x, v[COL0]; DP3 R9.w, v[COL1], "
        "v[COL1];\n"
        "DP4 R10.x, c[7], c[7].x; DST R11, R0, R1; MIN o[COL0], R0, R1; MAX o[COL1].w, R0, R1;\n"
        "SLT o[BFC0], R0, R1; SGE o[BFC1], R0, R1; MAD o[FOGC].x, v[FOGC], c[0], R2;\n"
        "MAD o[PSIZ].x, v[TEX0], R0, v[TEX0].x; MOV R0, c[000000000000000000007];\n"
        "MOV o[TEX0], v[TEX1]; MOV o[TEX1], v[TEX2]; MOV o[TEX2], v[TEX3]; MOV o[TEX3], v[TEX4];\n"
        "MOV o[TEX4], v[TEX5]; MOV o[TEX5], v[TEX6]; MOV o[TEX6], v[TEX7]; MOV o[TEX7], v[6];\n"));
    // Blanks, comments and line ends anywhere between tokens, none needed between some tokens.
    ExpectCheck("!!VP1.0 # header comment\n\tMOV\to [ HPOS ] . xyz , - v [ 0 ] . x ;#c\r\nEND");
    ExpectCheck("!!VP1.0MOV o[HPOS],v[0];END\n# trailing comment");
    ExpectCheck("!!VSP1.0\nMOV c[95], v[0];\nMUL R0, c[A0.x+1], v[OPOS];\nMOV c[0].xz, R0;\nEND");
    // The same register read twice counts once; one attribute and one parameter are fine.
    ExpectCheck(
        Vp("MAD R0, v[3], v[COL0].x, c[A0.x+2];\nADD R1, c[A0.x+2], -c[A0.x+2];\nMAD R0, c[3], "
           "v[3], R0;\n"));
    std::string body;  // at most 128 instructions
    for (int i = 0; i < 127; ++i) body += "ADD R0, R0, R0;\n";
    ExpectCheck(Vp(body));
    ExpectCheck(Vp(body + "ADD R0, R0, R0;\n") + "@");
}

TEST(VertexProgramParse, RejectsAtTheOffendingToken) {
    for (const char* text :
         {"@!!VP2.0\nMOV o[HPOS], v[0];\nEND", "@ !!VP1.0\nMOV o[HPOS], v[0];\nEND",
          "@!!vp1.0\nMOV o[HPOS], v[0];\nEND", "@",
          "!!VP1.0\nMOV o[HPOS], v[0];\nEND\n@MOV R0, v[0];\n",
          "!!VP1.0\nMOV o[HPOS], v[0];\nEND @END",
          // Texts ending early, or failing a rule over the whole text, at their length.
          "!!VP1.0@", "!!VP1.0\nMOV o[HPOS], v[0];\n@", "!!VP1.0\nMOV o[HPOS], v[@",
          "!!VP1.0 MOV o[HPOS], v[0]; # END@", "!!VP1.0\nMOV o[COL0], v[0];\nEND@",
          "!!VSP1.0\nMOV R0, v[0];\nEND\n@",
          // State programs read only v[0] and write no outputs.
          "!!VSP1.0\nMOV c[0], @v[1];\nEND", "!!VSP1.0\nMOV @o[HPOS], v[0];\nEND"})
        ExpectCheck(text);
    for (const char* body :
         {"@mov R0, v[0];\n", "@MOVE R0, v[0];\n", "MOV @R12, v[0];\n",
          "MOV R0, @A0;\n",  // case-sensitive
          "MOV R0, v[@16];\n", "MOV R0, v[@POS];\n", "MOV R0, c[@96];\n", "MOV R0, c[@-1];\n",
          "MOV R0, c[@99999999999999999999];\n", "MOV R0, c[A0.x+@64];\n", "MOV R0, c[A0.x-@65];\n",
          "MOV R0, c[A0.@y];\n", "MOV R0.@yx, v[0];\n",
          "MOV R0.@xyzwx, v[0];\n",                        // masks in order, once
          "MOV R0, v[0].@xy;\n", "MOV R0, v[0].@xyzq;\n",  // swizzles of one or four
          "RCP R0, v[0]@;\n", "RCP R0, v[0].@xyzw;\n",     // scalar sources need one component
          "ARL @A1.x, v[0].x;\n", "ARL A0.@y, v[0].x;\n", "MOV @A0.x, v[0];\n",
          "MOV @c[0], v[0];\n", "MOV o[@TEX8], v[0];\n",
          "MOV R0, @o[HPOS];\n",  // parameters read-only
          "MOV R0, -@-v[0];\n", "MUL R0, v[0]@;\n", "MAD R0, v[0], R1@;\n", "MOV R0, v[0]\n@",
          "MOV R0, v[0] @$;\n",  // missing ';'; a character outside the language
          // A second distinct attribute or parameter register is reported where it is read.
          "ADD R0, v[0], @v[1];\n", "MAD R0, v[OPOS], c[0], -@v[NRML].x;\n",
          "ADD R0, c[1], @c[2];\n", "ADD R0, c[1], @c[A0.x+1];\n"})
        ExpectCheck(Vp(body));
    // A NUL byte inside the text is a character like any other; only `length` bytes count.
    std::string withNul = Vp("MOV R0, v[0];\n");
    withNul.insert(withNul.find(";\n") + 1, 1, '\0');
    EXPECT_EQ(vertexprogram::Parse(withNul.data(), withNul.size()),
              static_cast<long>(withNul.find('\0')));
    const char full[] = "!!VP1.0 MOV o[HPOS], v[0]; END";
    EXPECT_EQ(vertexprogram::Parse(full, sizeof full - 1), -1);
    EXPECT_EQ(vertexprogram::Parse(full, 26), 26);
    EXPECT_EQ(vertexprogram::Parse(nullptr, 10), 0);
}

TEST(VertexProgramParse, HandsBackTheInstructions) {
    const std::string text =
        "!!VP1.0\nARL A0.x, -v[WGHT].y;\nMAD o[TEX3].yw, -c[A0.x-2].wzyx, v[1].z, R11;\n"
        "MOV o[HPOS], v[0];\nEND";
    vertexprogram::Program program;
    ASSERT_EQ(vertexprogram::Parse(text.data(), text.size(), &program), -1);
    ASSERT_EQ(program.code.size(), 3u);
    EXPECT_FALSE(program.stateProgram);
    const vertexprogram::Instruction& arl = program.code[0];
    EXPECT_EQ(arl.op, vertexprogram::Opcode::ARL);
    ASSERT_EQ(arl.sources, 1);
    EXPECT_TRUE(arl.src[0].negate);
    EXPECT_EQ(arl.src[0].file, vertexprogram::File::Attribute);
    EXPECT_EQ(arl.src[0].index, 1);
    EXPECT_EQ(arl.src[0].swizzle[0], 1);
    const vertexprogram::Instruction& mad = program.code[1];
    EXPECT_EQ(mad.op, vertexprogram::Opcode::MAD);
    EXPECT_EQ(mad.dst.file, vertexprogram::File::Result);
    EXPECT_EQ(mad.dst.index, vertexprogram::TEX0 + 3);
    EXPECT_EQ(mad.dst.mask, vertexprogram::kMaskY | vertexprogram::kMaskW);
    ASSERT_EQ(mad.sources, 3);
    EXPECT_TRUE(mad.src[0].relative);
    EXPECT_EQ(mad.src[0].index, -2);
    EXPECT_EQ(std::string(mad.src[0].swizzle, mad.src[0].swizzle + 4), std::string("\3\2\1\0", 4));
    EXPECT_EQ(std::string(mad.src[1].swizzle, mad.src[1].swizzle + 4), std::string("\2\2\2\2", 4));
    EXPECT_FALSE(mad.src[1].negate);
    EXPECT_EQ(mad.src[2].file, vertexprogram::File::Temporary);
    EXPECT_EQ(mad.src[2].index, 11);
    EXPECT_EQ(program.code[2].dst.mask, vertexprogram::kMaskAll);

    // A state program's parameter destination; a rejected text leaves the program untouched.
    const std::string state = "!!VSP1.0 MOV c[7].z, v[0]; END";
    ASSERT_EQ(vertexprogram::Parse(state.data(), state.size(), &program), -1);
    EXPECT_TRUE(program.stateProgram);
    EXPECT_EQ(program.code[0].dst.file, vertexprogram::File::Parameter);
    EXPECT_EQ(program.code[0].dst.index, 7);
    EXPECT_EQ(vertexprogram::Parse("!!VP1.0 END", 11, &program), 11);
    EXPECT_EQ(program.code.size(), 1u);
}

}  // namespace
