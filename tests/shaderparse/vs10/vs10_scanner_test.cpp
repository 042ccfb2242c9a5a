// Token streams of the vs.1.0 scanner: instructions, registers, masks, comments, COISSUE lines,
// bad characters and words, line counting.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "shaderparse/parse_state.h"
#include "shaderparse/vs10/vs10.h"
#include "shaderparse/vs10/vs10_scanner.h"
#include "tests/shaderparse/vs10/token_dump.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

TEST(Vs10Scanner, InstructionNamesInAnyCase) {
    EXPECT_EQ(ScanText("add\ndp3 dp4 dst exp expp frc lit log logp m3x2 m3x3 m3x4 m4x3 m4x4 "
                       "mad max min mov mul nop rcp rsq sge slt sub\n").tokens,
              "ADD NL DP3 DP4 DST EXP EXPP FRC LIT LOG LOGP M3X2 M3X3 M3X4 M4X3 M4X4 MAD MAX MIN "
              "MOV MUL NOP RCP RSQ SGE SLT SUB NL");
    EXPECT_EQ(ScanText("MOV\tMov mOV_M4X4 ExPp\n").tokens, "MOV MOV MOV '_' M4X4 EXPP NL");
}

TEST(Vs10Scanner, InstructionNeedsBlankLineEndOrUnderscoreAfterIt) {
    ScanResult r = ScanText("mov,r0\n");
    EXPECT_EQ(r.tokens, "UNKNOWN ',' REG(1,0)");
    EXPECT_THAT(r.messages, ElementsAre("(1) : Error : Unrecognized Token: mov\n"));

    r = ScanText("nop");  // at the very end of the text
    EXPECT_EQ(r.tokens, "UNKNOWN");
    EXPECT_THAT(r.messages, ElementsAre("(1) : Error : Unrecognized Token: nop\n"));
    // A report line holds at most 4095 characters.
    std::string word(5000, 'q');
    r = ScanText(word.c_str());
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].size(), 4095u);
}

TEST(Vs10Scanner, RegistersTakeTheirLineEnd) {
    ScanResult r = ScanText("mov r0, v0\n");
    EXPECT_EQ(r.tokens, "MOV REG(1,0) ',' REG(2,0)");
    EXPECT_EQ(r.finalLine, 2);  // the line end is counted in pendingNewlines, not returned

    EXPECT_EQ(ScanText("a0,v1,r2,c3,oT4,oD1,oFog,oPos,oPts,c95").tokens,
              "REG(3,0) ',' REG(2,1) ',' REG(1,2) ',' REG(4,3) ',' REG(9,4) ',' REG(8,1) ',' "
              "REG(10) ',' REG(7) ',' REG(11) ',' REG(4,95)");
    // Register letters are case-sensitive and need their digits directly after them.
    ScanResult upper = ScanText("R0 r 1\n");
    EXPECT_EQ(upper.tokens, "UNKNOWN 'r' INT(1) NL");
    EXPECT_THAT(upper.messages, ElementsAre("(1) : Error : Unrecognized Token: R0\n"));
    // A huge index saturates instead of overflowing.
    EXPECT_EQ(ScanText("c99999999999 ").tokens, "REG(4,2147483647)");
}

TEST(Vs10Scanner, MasksAndComponentsAfterADot) {
    EXPECT_EQ(ScanText("r1.xz,r2.wzyx\n").tokens,
              "REG(1,1) '.' MASK(xz00) ',' REG(1,2) '.' MASK(wzyx)");
    ScanResult r = ScanText("r1.X\n");
    EXPECT_EQ(r.tokens, "REG(1,1) '.' 'X' NL");
    EXPECT_THAT(r.messages, IsEmpty());
    EXPECT_EQ(ScanText("r1.xyzwx ").tokens, "REG(1,1) '.' MASK(xyzw) 'x'");
    EXPECT_EQ(ScanText("c[a0.x + 5]").tokens,
              "'c' '[' REG(3,0) '.' MASK(x000) '+' INT(5) ']'");
}

TEST(Vs10Scanner, HeaderNumbersAndCharacters) {
    EXPECT_EQ(ScanText("vs.1.0\nvs.2.7 nop\n").tokens, "VS VS NOP NL");
    EXPECT_EQ(ScanText("12 (<*>)/%-").tokens, "INT(12) '(' '<' '*' '>' ')' '/' '%' '-'");
    EXPECT_EQ(ScanText("4294967296").tokens, "INT(2147483647)");
    ScanResult r = ScanText("mov r0, v0\r\n");
    EXPECT_EQ(r.tokens, "MOV REG(1,0) ',' REG(2,0) ILLEGAL NL");
    EXPECT_THAT(r.messages, ElementsAre("(1) : Error : Illegal character: 13 decimal.\n"));
    r = ScanText("@ $\x7f");
    EXPECT_EQ(r.tokens, "'@' '$' '\x7f'");
    EXPECT_THAT(r.messages, IsEmpty());
}

TEST(Vs10Scanner, LineComments) {
    EXPECT_EQ(ScanText("; text\n;x\n// x\n//x").tokens,
              "COMMENT(# text) NL COMMENT(#x) NL COMMENT(#  x) NL COMMENT(# x)");
    EXPECT_EQ(ScanText("mov r0, v0 ; copy\n").tokens,
              "MOV REG(1,0) ',' REG(2,0) COMMENT(# copy) NL");
}

TEST(Vs10Scanner, BlockCommentGivesOneTokenPerLine) {
    ScanResult r = ScanText("/* one\n\ntwo */ nop\n/**/\n", true);
    EXPECT_EQ(r.tokens,
              "COMMENT(#   one\\n)@1 COMMENT(#\\n)@2 COMMENT(#two )@3 NOP@3 NL@3 "
              "COMMENT(#  )@4 NL@4");
    EXPECT_THAT(r.messages, IsEmpty());
    EXPECT_EQ(ScanText("/* a */ /* b */").tokens, "COMMENT(#   a ) COMMENT(#   b )");
    EXPECT_EQ(ScanText("/*/ x **/").tokens, "COMMENT(#  / x *)");

    r = ScanText("nop\n/* open\nstill open");
    EXPECT_EQ(r.tokens, "NOP NL COMMENT(#   open\\n)");
    EXPECT_THAT(r.messages, ElementsAre("(3) : Error : End of file reached before end of comment "
                                        "started on line 2.\n"));
}

TEST(Vs10Scanner, CoissueLines) {
    testing::internal::CaptureStderr();
    ScanResult r = ScanText("+ mov r0, v0\n  +\tnop\nmov r1, v1 +\n");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(r.tokens, "MOV REG(1,0) ',' REG(2,0) NOP NL MOV REG(1,1) ',' REG(2,1) NL");
    EXPECT_EQ(err, "COISSUE found\nCOISSUE found\nCOISSUE found\n");
    EXPECT_THAT(r.messages, IsEmpty());
}

TEST(Vs10Scanner, LineNumbersAfterEachConstruct) {
    // Each construct is followed by "nop" and "bad"; the report of "bad" names its line.
    struct Case {
        const char* text;
        int nopLine;
    } cases[] = {
        {"vs.1.0\n", 2},
        {"mov r0, v0\n", 2},
        {"mov r0.xy\n", 2},
        {"; c\n// c\n", 3},
        {"/* a\nb\n*/\n", 4},
        {"+ nop\n", 2},
        {"\n\n", 3},
    };
    for (const Case& c : cases) {
        std::string text = std::string(c.text) + "nop\nbad\n";
        testing::internal::CaptureStderr();  // the COISSUE note
        ScanResult r = ScanText(text.c_str(), true);
        testing::internal::GetCapturedStderr();
        std::string nop = "NOP@" + std::to_string(c.nopLine);
        EXPECT_NE(r.tokens.find(nop), std::string::npos) << c.text << " -> " << r.tokens;
        ASSERT_EQ(r.messages.size(), 1u) << c.text;
        EXPECT_EQ(r.messages[0],
                  "(" + std::to_string(c.nopLine + 1) + ") : Error : Unrecognized Token: bad\n")
            << c.text;
        EXPECT_EQ(r.finalLine, c.nopLine + 2) << c.text;
    }
}

TEST(Vs10Scanner, EachTextStartsFromACleanScanner) {
    // A scan abandoned in the middle of a macro expansion inside an open block comment leaves
    // nothing that the next text sees.
    parseLineNumber = 1;
    VS10SetInput("#define MM nop\n/* x\n");
    EXPECT_EQ(VS10NextToken(), vs10tok::COMMENT);
    std::free(VS10TokenValue.text);
    ScanResult r = ScanText("MM\n");
    EXPECT_EQ(r.tokens, "UNKNOWN NL");

    VS10SetInput("mov r0, v0\n");
    EXPECT_EQ(VS10NextToken(), vs10tok::MOV_INSTR);
    VS10EndInput();
    EXPECT_EQ(VS10NextToken(), vs10tok::END);
    EXPECT_EQ(ScanText("nop\n").tokens, "NOP NL");
}

TEST(Vs10Scanner, OverlongTokenEndsTheProcessWithStatus2) {
    std::string text = ";" + std::string(20000, 'x');
    EXPECT_EXIT(ScanText(text.c_str()), testing::ExitedWithCode(2),
                "input buffer overflow, can't enlarge buffer because scanner uses REJECT\n");
    // Long lines made of short tokens are fine.
    std::string many;
    for (int i = 0; i < 5000; ++i) {
        many += "r1 ";
    }
    ScanResult r = ScanText(many.c_str());
    EXPECT_EQ(r.tokens.size(), 5000 * std::string("REG(1,1) ").size() - 1);
}

}  // namespace
