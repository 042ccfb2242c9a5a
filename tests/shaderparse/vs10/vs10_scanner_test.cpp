// Token streams of the vs.1.0 scanner: instructions, registers, masks, comments, COISSUE lines,
// bad characters and words, line counting.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "shaderparse/parse_state.h"
#include "shaderparse/vs10/vs10.h"
#include "shaderparse/vs10/vs10_scanner.h"
#include "tests/shaderparse/vs10/token_dump.h"

using ::testing::ElementsAre;

namespace {

std::string Unrecognized(int line, const std::string& word) {
    return "(" + std::to_string(line) + ") : Error : Unrecognized Token: " + word + "\n";
}

TEST(Vs10Scanner, TokenStreams) {
    struct Case { const char* text; const char* tokens; std::vector<std::string> messages; };
    const Case cases[] = {
        {"add\ndp3 dp4 dst exp expp frc lit log logp m3x2 m3x3 m3x4 m4x3 m4x4 mad max min mov mul nop rcp rsq sge "
         "slt sub\n",
         "ADD NL DP3 DP4 DST EXP EXPP FRC LIT LOG LOGP M3X2 M3X3 M3X4 M4X3 M4X4 MAD MAX MIN MOV MUL NOP RCP RSQ "
         "SGE SLT SUB NL", {}},
        {"MOV\tMov mOV_M4X4 ExPp\n", "MOV MOV MOV '_' M4X4 EXPP NL", {}},
        // An instruction needs a blank, a line end or '_' after it, also at the end of the text.
        {"mov,r0\n", "UNKNOWN ',' REG(1,0)", {Unrecognized(1, "mov")}},
        {"nop", "UNKNOWN", {Unrecognized(1, "nop")}},
        // Registers take their line end; register letters are case-sensitive and need their digits.
        {"a0,v1,r2,c3,oT4,oD1,oFog,oPos,oPts,c95",
         "REG(3,0) ',' REG(2,1) ',' REG(1,2) ',' REG(4,3) ',' REG(9,4) ',' REG(8,1) ',' REG(10) ',' REG(7) ',' "
         "REG(11) ',' REG(4,95)", {}},
        {"R0 r 1\n", "UNKNOWN 'r' INT(1) NL", {Unrecognized(1, "R0")}},
        // Huge numbers saturate instead of overflowing.
        {"c99999999999 4294967296", "REG(4,2147483647) INT(2147483647)", {}},
        {"r1.xz,r2.wzyx\n", "REG(1,1) '.' MASK(xz00) ',' REG(1,2) '.' MASK(wzyx)", {}},
        {"r1.X\n", "REG(1,1) '.' 'X' NL", {}},
        {"r1.xyzwx ", "REG(1,1) '.' MASK(xyzw) 'x'", {}},
        {"c[a0.x + 5]", "'c' '[' REG(3,0) '.' MASK(x000) '+' INT(5) ']'", {}},
        {"vs.1.0\nvs.2.7 nop\n", "VS VS NOP NL", {}},
        {"12 (<*>)/%-@ $\x7f", "INT(12) '(' '<' '*' '>' ')' '/' '%' '-' '@' '$' '\x7f'", {}},
        {"mov r0, v0\r\n", "MOV REG(1,0) ',' REG(2,0) ILLEGAL NL", {"(1) : Error : Illegal character: 13 decimal.\n"}},
        {"; text\n;x\n// x\n//x", "COMMENT(# text) NL COMMENT(#x) NL COMMENT(#  x) NL COMMENT(# x)", {}},
        {"mov r0, v0 ; copy\n", "MOV REG(1,0) ',' REG(2,0) COMMENT(# copy) NL", {}},
        // A block comment gives one token per line.
        {"/* a */ /* b */", "COMMENT(#   a ) COMMENT(#   b )", {}},
        {"/*/ x **/", "COMMENT(#  / x *)", {}},
        {"nop\n/* open\nstill open", "NOP NL COMMENT(#   open\\n)",
         {"(3) : Error : End of file reached before end of comment started on line 2.\n"}},
    };
    for (const Case& c : cases) {
        const ScanResult r = ScanText(c.text);
        EXPECT_EQ(r.tokens, c.tokens) << c.text;
        EXPECT_EQ(r.messages, c.messages) << c.text;
    }
    // A report line holds at most 4095 characters.
    const ScanResult r = ScanText(std::string(5000, 'q').c_str());
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].size(), 4095u);
}

TEST(Vs10Scanner, LineNumbersAfterEachConstruct) {
    EXPECT_EQ(ScanText("mov r0, v0\n").finalLine, 2);  // the register took the line end into pendingNewlines
    EXPECT_EQ(ScanText("/* one\n\ntwo */ nop\n/**/\n", true).tokens,
              "COMMENT(#   one\\n)@1 COMMENT(#\\n)@2 COMMENT(#two )@3 NOP@3 NL@3 COMMENT(#  )@4 NL@4");
    // Each construct is followed by "nop" and "bad"; the report of "bad" names its line.
    struct Case { const char* text; int nopLine; };
    const Case cases[] = {{"vs.1.0\n", 2}, {"mov r0, v0\n", 2}, {"mov r0.xy\n", 2}, {"; c\n// c\n", 3},
                          {"/* a\nb\n*/\n", 4}, {"+ nop\n", 2}, {"\n\n", 3}};
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();  // the COISSUE note
        const ScanResult r = ScanText((std::string(c.text) + "nop\nbad\n").c_str(), true);
        testing::internal::GetCapturedStderr();
        EXPECT_NE(r.tokens.find("NOP@" + std::to_string(c.nopLine)), std::string::npos) << c.text << r.tokens;
        EXPECT_THAT(r.messages, ElementsAre(Unrecognized(c.nopLine + 1, "bad"))) << c.text;
        EXPECT_EQ(r.finalLine, c.nopLine + 2) << c.text;
    }
}

TEST(Vs10Scanner, CoissueLines) {
    testing::internal::CaptureStderr();
    ScanResult r = ScanText("+ mov r0, v0\n  +\tnop\nmov r1, v1 +\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "COISSUE found\nCOISSUE found\nCOISSUE found\n");
    EXPECT_EQ(r.tokens, "MOV REG(1,0) ',' REG(2,0) NOP NL MOV REG(1,1) ',' REG(2,1) NL");
    EXPECT_TRUE(r.messages.empty());
}

TEST(Vs10Scanner, EachTextStartsFromACleanScanner) {
    // A scan abandoned in the middle of a macro expansion inside an open block comment leaves
    // nothing that the next text sees.
    parseLineNumber = 1;
    VS10SetInput("#define MM nop\n/* x\n");
    EXPECT_EQ(VS10NextToken(), vs10tok::COMMENT);
    std::free(VS10TokenValue.text);
    EXPECT_EQ(ScanText("MM\n").tokens, "UNKNOWN NL");

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
    for (int i = 0; i < 5000; ++i) many += "r1 ";
    EXPECT_EQ(ScanText(many.c_str()).tokens.size(), 5000 * std::string("REG(1,1) ").size() - 1);
}

}  // namespace
