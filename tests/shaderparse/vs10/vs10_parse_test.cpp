// vs.1.0 programs parsed, checked, translated and loaded through shaderparse against the
// recording GL, whose vertex-program check must accept every correct translation.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "shaderparse/parse_state.h"
#include "shaderparse/vs10/vs10.h"
#include "tests/shaderparse/core/test_profile.h"
#include "tests/support/shaderparse_helpers.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using testsupport::Lines;

namespace {

constexpr GLuint kProgramId = 3;
const auto kLoadRefused = StartsWith("error at line");

class Vs10Parse : public ::testing::Test {
  protected:
    void SetUp() override { recgl::Reset(ShaderTestProfile(kProgramId)); }
    Lines Parse(const std::string& text) { return testsupport::ParseText(text); }

    // The text the bound program was loaded with, or "" when the load was refused.
    std::string Loaded() {
        auto it = recgl::LoadedPrograms().find(kProgramId);
        return it == recgl::LoadedPrograms().end() ? "" : it->second;
    }
    // Parses text that must translate and load without a message; returns the translation.
    std::string Translate(const std::string& text) {
        EXPECT_THAT(Parse(text), IsEmpty()) << text;
        EXPECT_EQ(Loaded(), translatedProgramText) << text;
        return translatedProgramText;
    }
};

std::string Vp(const std::string& body) { return "!!VP1.0\n" + body + "END\n"; }
std::string Repeat(const std::string& line, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += line;
    return out;
}

TEST_F(Vs10Parse, EveryInstructionWithSignsAndMasks) {
    // A lone header translates to an empty program, which the GL refuses: it writes no position.
    EXPECT_THAT(Parse("vs.1.0\n"), ElementsAre(kLoadRefused));
    EXPECT_EQ(translatedProgramText, Vp(""));
    // Blank lines and nop keep their lines; instruction names are read in any letter case.
    EXPECT_EQ(
        Translate(
            "vs.1.0\n\n"
            "MOV oPos, -v0\nadd r0, v0, c0\ndp3 r0.x, r0, c1\ndp4 r0.y, r0, c2\ndst r1, r0, c3\n"
            "exp r2, r0.x\nexpp r2, r0.y\nlit r3, r1\nlog r4, r0.z\nlogp r4, r0.w\n"
            "mad oD0.w, -r0.x, c4, -r0\nmax r6, r0, c5\nmin r6, r6, c6\nmul r0.xz, -c[3].y, "
            "v1.wzyx\n"
            "rcp r8.w, r7.x\nrsq r9.x, r7.w\nsge r10, r9, c8\nslt r11, r10, c9\n"
            "sub oD0, r11, c10\nsub oT0.xy, -v2, -c5.x\nnop\nmov oD1, r0\nmov oFog.x, r1.x\n"
            "mov oPts.x, c11.x\nmov oT3, v15\n"),
        Vp("\nMOV    o[HPOS], -v[0];\nADD    R0, v[0], c[0];\nDP3    R0.x, R0, c[1];\nDP4    R0.y, "
           "R0, c[2];\n"
           "DST    R1, R0, c[3];\nEXP    R2, R0.x;\nEXP    R2, R0.y;\nLIT    R3, R1;\nLOG    R4, "
           "R0.z;\n"
           "LOG    R4, R0.w;\nMAD    o[COL0].w, -R0.x, c[4], -R0;\nMAX    R6, R0, c[5];\n"
           "MIN    R6, R6, c[6];\nMUL    R0.xz, -c[3].y, v[1].wzyx;\n"
           "RCP    R8.w, R7.x;\nRSQ    R9.x, R7.w;\nSGE    R10, R9, c[8];\nSLT    R11, R10, c[9];\n"
           "ADD    o[COL0], R11, -c[10];\nADD    o[TEX0].xy, -v[2], c[5].x;\n\nMOV    o[COL1], "
           "R0;\n"
           "MOV    o[FOGC].x, R1.x;\nMOV    o[PSIZ].x, c[11].x;\nMOV    o[TEX3], v[15];\n"));
    // A move into the address register loads it with the first component of its source.
    EXPECT_EQ(
        Translate(
            "vs.1.0\nmov a0.x, v1.x\nmov a0.x, -c2.zwxy\nmov a0.x, r3\nmov oPos, c[a0.x + 5]\n"),
        Vp("ARL    A0.x, v[1].x;\nARL    A0.x, -c[2].z;\nARL    A0.x, R3.x;\n"
           "MOV    o[HPOS], c[ A0.x + 5 ];\n\n"));
}

TEST_F(Vs10Parse, ConstantRegisterForms) {
    const std::string good = "vs.1.0\nmov a0.x, v1.x\nmov oPos, v0\n";
    // A line that ends in ']' leaves its line end to a token of its own: a blank line follows.
    EXPECT_EQ(
        Translate(good + "mov r0, c[7]\nmov r1, c[a0.x]\nadd r2, r1, c[a0.x + 12]\n"),
        Vp("ARL    A0.x, v[1].x;\nMOV    o[HPOS], v[0];\n"
           "MOV    R0, c[7];\n\nMOV    R1, c[ A0.x ];\n\nADD    R2, R1, c[ A0.x + 12 ];\n\n"));
    for (const char* form : {"c[a0.y]", "c[a1.x]", "c[r0.x]", "c[a0.xy]", "c[a0.y + 2]", "c[a0]",
                             "c[a0 + 3]", "c[-a0]", "c[-a0 + 3]", "c[-a0.x]", "c[-a0.x + 3]"}) {
        EXPECT_THAT(
            Parse(good + "mov r0, " + form + "\n"),
            ElementsAre(
                "(4) : Error : constant register index must be:\t<int>, a0.x, or a0.x + <int>.\n"))
            << form;
        // Parsing goes on and the operand is kept.
        EXPECT_THAT(translatedProgramText, HasSubstr("MOV    o[HPOS], v[0];\nMOV    R0, c[ A0.x"))
            << form;
    }
}

TEST_F(Vs10Parse, SyntaxErrorStopsTheParse) {
    // Nothing is checked or translated; the empty text is loaded and refused.
    EXPECT_THAT(
        Parse("vs.1.0\nmov r0, v0\nadd r0, r0\nmov oPos, r0\nmov r13, v1\n"),
        ElementsAre("(3) : Error : Syntax Error.\n", StartsWith("error at line 1 character 1")));
    EXPECT_EQ(translatedProgramText, "");
    EXPECT_EQ(Loaded(), "");
    struct Case {
        const char* text;
        Lines messages;
    };
    const Case cases[] = {
        // The token that breaks the form may be a comment; it is dropped with the rest.
        {"vs.1.0\nmov oPos, v0\nadd r0, r0\n; dropped\nmov r0, v0\n",
         {"(3) : Error : Syntax Error.\n"}},
        // A bad word is reported by the scanner and then ends the parse. Both reports carry the
        // line number of the last line still being read, the one whose register took its line end.
        {"vs.1.0\nmov oPos, v0\nfoo r0, v0\nmov r12, v0\n",
         {"(2) : Error : Unrecognized Token: foo\n", "(2) : Error : Syntax Error.\n"}},
        {"vs.1.0\nmov r12, v0.x\n, r0\n", {"(3) : Error : Syntax Error.\n"}},
        // Stopping inside a macro expansion releases what the scan held (checked by the
        // sanitizers).
        {"vs.1.0\nmacro bad a\n  add %a, %a\nendm\nmov oPos, v0\nbad r0\nmov r0, v0\n", {}},
    };
    for (const Case& c : cases) {
        Lines messages = Parse(c.text);
        EXPECT_EQ(translatedProgramText, "") << c.text;
        if (c.messages.empty()) {
            EXPECT_EQ(std::count_if(
                          messages.begin(), messages.end(),
                          [](const std::string& m) { return m.find("Syntax Error.\n") != m.npos; }),
                      1);
            continue;
        }
        ASSERT_EQ(messages.size(), c.messages.size() + 1) << c.text;
        EXPECT_EQ(Lines(messages.begin(), messages.end() - 1), c.messages) << c.text;
        EXPECT_THAT(messages.back(), kLoadRefused);
    }
}

TEST_F(Vs10Parse, InstructionLimit) {
    const std::string head = "vs.1.0\nmov oPos, v0\n", vpHead = "MOV    o[HPOS], v[0];\n";
    EXPECT_EQ(Translate(head + Repeat("add r1, v1, c1\n", 127)),
              Vp(vpHead + Repeat("ADD    R1, v[1], c[1];\n", 127)));
    // More are reported with their number, translated all the same, and refused by the GL as well.
    for (int n : {129, 200}) {
        EXPECT_THAT(Parse(head + Repeat("add r1, v1, c1\n", n - 1)),
                    ElementsAre("Vertex Shader had more than 128 instructions. (Converted to: " +
                                    std::to_string(n) + ")\n",
                                kLoadRefused));
        EXPECT_EQ(translatedProgramText, Vp(vpHead + Repeat("ADD    R1, v[1], c[1];\n", n - 1)));
    }
    // Macro rows count: 124 moves and one m4x4 make 128.
    const std::string text = "vs.1.0\nm4x4 oPos, v0, c0\n" + Repeat("mov r1, r2\n", 124);
    Translate(text);
    EXPECT_THAT(Parse(text + "mov r1, r2\n"),
                ElementsAre("Vertex Shader had more than 128 instructions. (Converted to: 129)\n",
                            kLoadRefused));
}

TEST_F(Vs10Parse, CommentsKeepLineNumbersTextAndOrder) {
    EXPECT_THAT(
        Parse("vs.1.0\nmov oPos, v0\n; comment\n// another\nmov r12, v0\nmov r0, v0.x\n/* block\n"
              "   comment */\nmov r13, v0\nmov r0, v0 ; trailing\nmov r14, v0\n"),
        ElementsAre("(5) Error: destination register index out of range\n",
                    "(9) Error: destination register index out of range\n",
                    "(11) Error: destination register index out of range\n", kLoadRefused));
    EXPECT_THAT(translatedProgramText, HasSubstr("MOV    o[HPOS], v[0];\n# comment\n"));
    EXPECT_THAT(translatedProgramText, HasSubstr("MOV    R0, v[0];\n# trailing\n"));
    // Translated comments are comments of the vertex program too; many of them keep their order.
    Translate("vs.1.0 ; header\n; first\nmov oPos, v0 // position\n/* a\n b */\n");
    std::string text = "vs.1.0\nmov oPos, v0\n", translation = "MOV    o[HPOS], v[0];\n";
    for (int i = 0; i < 600; ++i) {
        text += "; line " + std::to_string(i) + "\n";
        translation += "# line " + std::to_string(i) + "\n";
    }
    EXPECT_EQ(Translate(text), Vp(translation));
}

TEST_F(Vs10Parse, CrLfLineEndsDefineCommentsAndLongLines) {
    const std::string lf =
        "vs.1.0\n; transform\n#define MVP 8 // model view projection\n#define BASE 4 ; colours\n"
        "m4x4 oPos, v0, c[MVP]\nmov a0.x, v1.x\nmov oD0, c[a0.x + BASE] // per vertex\n";
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::string translation = Translate(lf);
    EXPECT_THAT(translation, HasSubstr("# transform\nDP4    o[HPOS].x, v[0], c[8];\n"));
    EXPECT_THAT(translation, HasSubstr("MOV    o[COL0], c[ A0.x + 4 ];\n#  per vertex\n"));
    EXPECT_EQ(Translate(crlf), translation);
    // Errors keep their lines.
    EXPECT_THAT(Parse(crlf + "mov r12, v0\r\n"),
                ElementsAre("(8) Error: destination register index out of range\n", kLoadRefused));

    const std::string comment(40000, 'c'), blanks(40000, ' ');
    EXPECT_EQ(Translate("vs.1.0\n;" + comment + "\nmov" + blanks + "oPos, v0" + blanks + "\n"),
              Vp("#" + comment + "\nMOV    o[HPOS], v[0];\n"));
}

TEST_F(Vs10Parse, EveryCheckMessageWithItsLine) {
    EXPECT_THAT(
        Parse("vs.1.0\nmov r12, v0\nmov r0, c96\nadd r0, r0, v16\nmad r0, r0, r1, c[100]\n"
              "m3x3 r0, v0, c94\nmov r0.yx, v0\ndp3 r0, v0.xy, r1\ndp3 r0, v0, r1.xyz\n"
              "mad r0, v0, r1, r2.zw\nmov v0, r0\nadd a0.x, r0, r1\nfrc oD0, r0\nmov r0, oPos\n"
              "add r0, r1, a0\nmad r0, r1, r2, oT0\nadd r0, v1, v2\nmad r0, c1, r1, c2\nvs.1.0\n"
              "mov oPos, v0\n"),
        ElementsAre(
            "(2) Error: destination register index out of range\n",
            "(3) Error: source register index out of range\n",
            "(4) Error: second source register index out of range\n",
            "(5) Error: third source register index out of range\n",
            "(6) Error: macro expansion produces source register index out of range\n",
            "(7) Error: destination register has invalid mask: yx\n",
            "(8) Error: source register has invalid mask: xy\n",
            "(9) Error: second source register has invalid mask: xyz\n",
            "(10) Error: third source register has invalid mask: zw\n",
            "(11) Error: destination register is not writable\n",
            "(12) Error: destination register is not writable using this instruction\n",
            "(13) Error: destination register must be a temporary register\n",
            "(14) Error: source register is not readable\n",
            "(15) Error: second source register is not readable\n",
            "(16) Error: third source register is not readable\n",
            "(17) Error: multiple unique attribute registers accessed in this instruction\n",
            "(18) Error: multiple unique constant registers accessed in this instruction\n",
            "(19) Error: vs.1.0 token already encountered\n",
            "(13) Error: FRC built-in macro not yet supported.\n", kLoadRefused));
}

TEST_F(Vs10Parse, IndexLimitsMatrixRowsReadPortsAndCheckOrder) {
    // Lines without a message are at a limit. Relative constants and matrices are never out of
    // range; a matrix whose rows cannot grow past the largest index still fails.
    EXPECT_THAT(
        Parse(
            "vs.1.0\nmov oPos, v0\nmov r11, v15\nmov r0, c95\nmov oD1, c[a0.x + 500].x\nmov oT3, "
            "v0\n"
            "mov a1.x, v0\nmov oD2, v0\nmov oT4, v0\n"                                  // 7-9
            "m3x3 r0, v0, c93\nm4x3 r0, v0, c94\nm3x2 r0, v0, c94\nm3x2 r0, v0, c95\n"  // 10-13
            "m4x4 r0, v0, c92\nm3x4 r0, v0, c93\nm4x4 r0, v0, c96\nm4x4 r0, v0, c99999999999\n"  // 14-17
            "m4x4 r0, v0, c[a0.x + 99999999999].x\n"
            // Read ports: one attribute and one constant, told apart by their addressing.
            "mad r0, v3, -v3.x, r1\nmad r0, v1, v3, r1\nmad r0, c5, r1, c5\nmad r0, c5, r1, c6\n"  // 19-22
            "mad r0, c[a0.x].x, c[a0.x].x, r1\nmad r0, c[a0.x].x, c[a0.x + 0].x, r1\n"   // 23-24
            "mad r0, c[a0.x + 4].x, c[a0.x + 4].x, r1\nmad r0, c4, c[a0.x + 4].x, r1\n"  // 25-26
            "mad r0, v2, v2, v7\nmad r0, v2, v2, c7\n"                                   // 27-28
            "add v16.yx, a0.xy, c99\n"),
        ElementsAre(
            "(7) Error: destination register index out of range\n",
            "(8) Error: destination register index out of range\n",
            "(9) Error: destination register index out of range\n",
            "(11) Error: macro expansion produces source register index out of range\n",
            "(13) Error: macro expansion produces source register index out of range\n",
            "(15) Error: macro expansion produces source register index out of range\n",
            "(16) Error: second source register index out of range\n",
            "(16) Error: macro expansion produces source register index out of range\n",
            "(17) Error: second source register index out of range\n",
            "(17) Error: macro expansion produces source register index out of range\n",
            "(20) Error: multiple unique attribute registers accessed in this instruction\n",
            "(22) Error: multiple unique constant registers accessed in this instruction\n",
            "(24) Error: multiple unique constant registers accessed in this instruction\n",
            "(26) Error: multiple unique constant registers accessed in this instruction\n",
            "(27) Error: multiple unique attribute registers accessed in this instruction\n",
            // All checks of one line, in the order they run.
            "(29) Error: destination register index out of range\n",
            "(29) Error: second source register index out of range\n",
            "(29) Error: destination register has invalid mask: yx\n",
            "(29) Error: source register has invalid mask: xy\n",
            "(29) Error: destination register is not writable\n",
            "(29) Error: source register is not readable\n", kLoadRefused));
}

TEST_F(Vs10Parse, MatrixMacros) {
    EXPECT_EQ(
        Translate("vs.1.0\nm4x4 oPos, v0, c4\nm4x3 r0, v0, c8\nm3x4 r1, v3, c12\nm3x3 r2, v3, c16\n"
                  "m3x2 oT0, v7, c20\n"),
        Vp("DP4    o[HPOS].x, v[0], c[4];\nDP4    o[HPOS].y, v[0], c[5];\n"
           "DP4    o[HPOS].z, v[0], c[6];\nDP4    o[HPOS].w, v[0], c[7];\n"
           "DP4    R0.x, v[0], c[8];\nDP4    R0.y, v[0], c[9];\nDP4    R0.z, v[0], c[10];\n"
           "DP3    R1.x, v[3], c[12];\nDP3    R1.y, v[3], c[13];\nDP3    R1.z, v[3], c[14];\n"
           "DP3    R1.w, v[3], c[15];\nDP3    R2.x, v[3], c[16];\nDP3    R2.y, v[3], c[17];\n"
           "DP3    R2.z, v[3], c[18];\nDP3    o[TEX0].x, v[7], c[20];\nDP3    o[TEX0].y, v[7], "
           "c[21];\n"));
    // Masks pick rows; rows the macro lacks write nothing.
    EXPECT_EQ(Translate("vs.1.0\nm4x4 oPos.xyw, v0, c4\nm4x3 r0.yw, v0.x, c8\nm3x4 r1.w, v3, c12\n"
                        "m3x3 r2.xz, v3, -c16\nm3x2 oT0.xyz, v7, c20.zyxw\n"),
              Vp("DP4    o[HPOS].x, v[0], c[4];\nDP4    o[HPOS].y, v[0], c[5];\nDP4    o[HPOS].w, "
                 "v[0], c[7];\n"
                 "DP4    R0.y, v[0].x, c[9];\nDP3    R1.w, v[3], c[15];\n"
                 "DP3    R2.x, v[3], -c[16];\nDP3    R2.z, v[3], -c[18];\n"
                 "DP3    o[TEX0].x, v[7], c[20].zyxw;\nDP3    o[TEX0].y, v[7], c[21].zyxw;\n"));
    // Relative rows add their row to the offset; without an offset the rows after the first read
    // the registers that follow c[a0.x].
    EXPECT_EQ(
        Translate(
            "vs.1.0\nmov a0.x, v1.x\nm4x3 oPos.xyz, v0, c[a0.x + 10]\nm3x2 r0, v0, c[a0.x]\n"),
        Vp("ARL    A0.x, v[1].x;\nDP4    o[HPOS].x, v[0], c[ A0.x + 10 ];\nDP4    o[HPOS].y, v[0], "
           "c[ A0.x + 11 ];\n"
           "DP4    o[HPOS].z, v[0], c[ A0.x + 12 ];\n\nDP3    R0.x, v[0], c[ A0.x ];\nDP3    R0.y, "
           "v[0], c[ A0.x + 1 ];\n\n"));
    // The largest numbers are written in full and matrix rows past them do not wrap around.
    Parse(
        "vs.1.0\nmov r0, -c[a0.x + 99999999999].xyzw\nmov oT99999999999, v0\nm3x2 r0, r1, "
        "c99999999999\n");
    EXPECT_EQ(translatedProgramText,
              Vp("MOV    R0, -c[ A0.x + 2147483647 ].xyzw;\nMOV    o[TEX2147483647], v[0];\n"
                 "DP3    R0.x, R1, c[2147483647];\nDP3    R0.y, R1, c[2147483648];\n"));
}

// Each translated line knows the vs.1.0 line it came from: a matrix macro's rows all point to
// the macro, the header and END to no line; a parse without translation leaves no lines.
TEST_F(Vs10Parse, TranslatedLinesKnowTheirSourceLines) {
    const std::string translation =
        Translate("vs.1.0\n\nm4x3 oPos.xyz, v0, c4 ; rows\n/* two\n lines */\nmov r0, v0\n");
    EXPECT_EQ(static_cast<size_t>(std::count(translation.begin(), translation.end(), '\n')),
              translatedLineSources.size());
    EXPECT_THAT(translatedLineSources, ElementsAre(0, 2, 3, 3, 3, 3, 4, 5, 6, 0)) << translation;
    Parse("vs.1.0\nmov r0\n");
    EXPECT_THAT(translatedLineSources, IsEmpty());
}

TEST_F(Vs10Parse, MacrosAndIncludes) {
    // Directive and macro lines may leave blank lines behind; only the instructions matter here.
    auto withoutBlankLines = [](std::string text) {
        for (size_t at; (at = text.find("\n\n")) != std::string::npos;) text.erase(at, 1);
        return text;
    };
    const std::string xform =
        "DP4    o[HPOS].x, v[0], c[8];\nDP4    o[HPOS].y, v[0], c[9];\n"
        "DP4    o[HPOS].z, v[0], c[10];\nDP4    o[HPOS].w, v[0], c[11];\n";
    Translate(
        "vs.1.0\n#define MVP 8\n#define ADDMUL(d, a, b) mad d, a, b, d\nmacro xform dst, src\n"
        "  m4x4 %dst, %src, c[MVP]\nendm\nxform oPos, v0\nADDMUL(r0, v3, c4)\nmov oD0, r0\n");
    EXPECT_EQ(withoutBlankLines(translatedProgramText),
              Vp(xform + "MAD    R0, v[3], c[4], R0;\nMOV    o[COL0], R0;\n"));

    const char* file = "vs10_parse_test_include.vsh";
    const std::string include = std::string("vs.1.0\n#include \"") + file + "\"\n";
    std::ofstream(file)
        << "; shared transform\nmacro transform dst, src, m\n  m4x4 %dst, %src, %m\nendm\n";
    Translate(include + "transform oPos, v0, c8\nmov oT0, v7\n");
    EXPECT_EQ(withoutBlankLines(translatedProgramText),
              Vp("# shared transform\n" + xform + "MOV    o[TEX0], v[7];\n"));
    // Lines of an included file are counted from its own first line.
    std::ofstream(file) << "mov oPos, v0\n; two\nmov r12, v1\nmov r0, v1\n";
    EXPECT_THAT(Parse(include),
                ElementsAre("(3) Error: destination register index out of range\n", kLoadRefused));
    std::remove(file);
}

}  // namespace
