// The vs.1.0 scanner and its preprocessor through the token stream: instructions, registers,
// masks, comments, COISSUE lines, bad characters and words, line counting; #define, macro ...
// endm, the built-ins, conditionals, includes, the fatal ends and the allocation failures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "shaderparse/parse_state.h"
#include "shaderparse/vs10/vs10.h"
#include "shaderparse/vs10/vs10_fatal.h"
#include "shaderparse/vs10/vs10_preprocessor.h"
#include "shaderparse/vs10/vs10_scanner.h"
#include "tests/support/shaderparse_helpers.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::Lines;
namespace fs = std::filesystem;

struct FatalExit {
    int status;
};

// Replaces the library's weak definition: a fatal end unwinds to the scan loop instead of ending
// the process, as in the fuzz target.
void VS10FatalExit(int status) { throw FatalExit{status}; }

namespace {

const char* const kInstructionNames[] = {"ADD",  "DP3", "DP4",  "DST",  "EXP",  "EXPP", "FRC",
                                         "LIT",  "LOG", "LOGP", "M3X2", "M3X3", "M3X4", "M4X3",
                                         "M4X4", "MAD", "MAX",  "MIN",  "MOV",  "MUL",  "NOP",
                                         "RCP",  "RSQ", "SGE",  "SLT",  "SUB"};

// Formats the token just returned by VS10NextToken and frees a COMMENT text.
std::string FormatToken(int code) {
    const VS10TokenValueType& v = VS10TokenValue;
    if (code >= vs10tok::ADD_INSTR && code <= vs10tok::SUB_INSTR)
        return kInstructionNames[code - vs10tok::ADD_INSTR];
    switch (code) {
        case vs10tok::VERTEX_SHADER:
            return "VS";
        case vs10tok::ILLEGAL:
            return "ILLEGAL";
        case vs10tok::UNKNOWN_STRING:
            return "UNKNOWN";
        case vs10tok::INTVAL:
            return "INT(" + std::to_string(v.intValue) + ")";
        case vs10tok::REGISTER: {  // position, fog and point size carry no index
            const bool noIndex = v.reg.type == 7 || v.reg.type == 10 || v.reg.type == 11;
            return "REG(" + std::to_string(v.reg.type) +
                   (noIndex ? "" : "," + std::to_string(v.reg.index)) + ")";
        }
        case vs10tok::XYZW_MODIFIER: {
            std::string mask;
            for (char c : v.mask) mask += c != 0 ? c : '0';
            return "MASK(" + mask + ")";
        }
        case vs10tok::COMMENT: {
            std::string text = "COMMENT(";
            for (const char* c = v.text; *c != '\0'; ++c)
                text += *c == '\n' ? std::string("\\n") : std::string(1, *c);
            std::free(v.text);
            return text + ")";
        }
        case '\n':
            return "NL";
        default:
            return std::string("'") + static_cast<char>(code) + "'";
    }
}

struct ScanResult {
    std::string
        tokens;      // blank-separated; withLines adds "@<line>", the line when each was returned
    Lines messages;  // parseErrors after the scan
    int finalLine = 0;  // parseLineNumber at the end, pending line ends added
    int status = -1;    // the status of a fatal end; -1 when the scan reached the end of input
};

// Scans text from a fresh start (line 1, no messages) to its end. Line ends counted in
// pendingNewlines are added to parseLineNumber before each token is requested, as the grammar
// does after each line.
ScanResult Scan(const std::string& text, bool withLines = false) {
    parseErrors.Clear();
    parseLineNumber = 1;
    ScanResult r;
    VS10SetInput(text.c_str());
    try {
        for (;;) {
            parseLineNumber += pendingNewlines;
            pendingNewlines = 0;
            const int code = VS10NextToken();
            if (code == vs10tok::END) break;
            r.tokens += (r.tokens.empty() ? "" : " ") + FormatToken(code);
            if (withLines) r.tokens += "@" + std::to_string(parseLineNumber);
        }
    } catch (const FatalExit& e) {
        r.status = e.status;
        VS10EndInput();
    }
    r.finalLine = parseLineNumber + pendingNewlines;
    pendingNewlines = 0;
    r.messages = testsupport::ParseMessages();
    return r;
}

struct Case {
    std::string text;
    const char* tokens;  // nullptr: not looked at
    Lines messages;
    bool withLines = false;
};

// The start of a text or token stream, short enough for a failure message.
std::string Start(const std::string& text) {
    return text.size() <= 200 ? text : text.substr(0, 200) + "...";
}

void ExpectScans(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        const ScanResult r = Scan(c.text, c.withLines);
        if (c.tokens != nullptr) {
            EXPECT_TRUE(r.tokens == c.tokens) << Start(c.text) << "\n" << Start(r.tokens);
        }
        EXPECT_EQ(r.messages, c.messages) << Start(c.text);
        EXPECT_EQ(r.status, -1) << Start(c.text);
    }
}

std::string Unrecognized(int line, const std::string& word) {
    return "(" + std::to_string(line) + ") : Error : Unrecognized Token: " + word + "\n";
}

TEST(Vs10Scanner, TokenStreams) {
    ExpectScans({
        {"MOV\tMov mOV_M4X4 ExPp\n", "MOV MOV MOV '_' M4X4 EXPP NL", {}},
        // An instruction needs a blank, a line end or '_' after it, also at the end of the text.
        {"mov,r0\n", "UNKNOWN ',' REG(1,0)", {Unrecognized(1, "mov")}},
        {"nop", "UNKNOWN", {Unrecognized(1, "nop")}},
        // Registers take their line end; register letters are case-sensitive and need their digits.
        {"a0,v1,r2,c3,oT4,oD1,oFog,oPos,oPts,c95",
         "REG(3,0) ',' REG(2,1) ',' REG(1,2) ',' REG(4,3) ',' REG(9,4) ',' REG(8,1) ',' REG(10) "
         "',' REG(7) ',' "
         "REG(11) ',' REG(4,95)",
         {}},
        {"R0 r 1\n", "UNKNOWN 'r' INT(1) NL", {Unrecognized(1, "R0")}},
        // Huge numbers saturate instead of overflowing.
        {"c99999999999 4294967296", "REG(4,2147483647) INT(2147483647)", {}},
        {"r1.xz,r2.wzyx\n", "REG(1,1) '.' MASK(xz00) ',' REG(1,2) '.' MASK(wzyx)", {}},
        {"r1.X\n", "REG(1,1) '.' 'X' NL", {}},
        {"r1.xyzwx ", "REG(1,1) '.' MASK(xyzw) 'x'", {}},
        {"c[a0.x + 5]", "'c' '[' REG(3,0) '.' MASK(x000) '+' INT(5) ']'", {}},
        {"vs.1.0\nvs.2.7 nop\n", "VS VS NOP NL", {}},
        {"12 (<*>)/%-@ $\x7f", "INT(12) '(' '<' '*' '>' ')' '/' '%' '-' '@' '$' '\x7f'", {}},
        {"; text\n;x\n// x\n//x",
         "COMMENT(# text) NL COMMENT(#x) NL COMMENT(#  x) NL COMMENT(# x)",
         {}},
        {"mov r0, v0 ; copy\n", "MOV REG(1,0) ',' REG(2,0) COMMENT(# copy) NL", {}},
        // A block comment gives one token per line.
        {"/* a */ /* b */", "COMMENT(#   a ) COMMENT(#   b )", {}},
        {"/*/ x **/", "COMMENT(#  / x *)", {}},
        {"nop\n/* open\nstill open",
         "NOP NL COMMENT(#   open\\n)",
         {"(3) : Error : End of file reached before end of comment started on line 2.\n"}},
    });
    // A report line holds at most 4095 characters.
    const ScanResult r = Scan(std::string(5000, 'q'));
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].size(), 4095u);
}

TEST(Vs10Scanner, LineNumbersAfterEachConstructAndCoissue) {
    EXPECT_EQ(Scan("mov r0, v0\n").finalLine,
              2);  // the register took the line end into pendingNewlines
    EXPECT_EQ(
        Scan("/* one\n\ntwo */ nop\n/**/\n", true).tokens,
        "COMMENT(#   one\\n)@1 COMMENT(#\\n)@2 COMMENT(#two )@3 NOP@3 NL@3 COMMENT(#  )@4 NL@4");
    // Each construct is followed by "nop" and "bad"; the report of "bad" names its line.
    struct Line {
        const char* text;
        int nopLine;
    };
    const Line cases[] = {{"vs.1.0\n", 2},    {"mov r0, v0\n", 2},  {"mov r0.xy\n", 2},
                          {"; c\n// c\n", 3}, {"/* a\nb\n*/\n", 4}, {"+ nop\n", 2},
                          {"\n\n", 3}};
    for (const Line& c : cases) {
        testing::internal::CaptureStderr();  // the COISSUE note
        const ScanResult r = Scan(std::string(c.text) + "nop\nbad\n", true);
        testing::internal::GetCapturedStderr();
        EXPECT_NE(r.tokens.find("NOP@" + std::to_string(c.nopLine)), std::string::npos)
            << c.text << r.tokens;
        EXPECT_THAT(r.messages, ElementsAre(Unrecognized(c.nopLine + 1, "bad"))) << c.text;
        EXPECT_EQ(r.finalLine, c.nopLine + 2) << c.text;
    }
    // A '+' opening or closing a line marks a co-issued instruction: noted and dropped.
    testing::internal::CaptureStderr();
    const ScanResult r = Scan("+ mov r0, v0\n  +\tnop\nmov r1, v1 +\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "COISSUE found\nCOISSUE found\nCOISSUE found\n");
    EXPECT_EQ(r.tokens, "MOV REG(1,0) ',' REG(2,0) NOP NL MOV REG(1,1) ',' REG(2,1) NL");
    EXPECT_THAT(r.messages, IsEmpty());
}

TEST(Vs10Scanner, CarriageReturnBeforeLineFeedEndsTheLine) {
    const std::string illegalCr = " : Error : Illegal character: 13 decimal.\n";
    ExpectScans({
        {"mov r0, v0\r\nnop\r\nbad\r\n",
         "MOV@1 REG(1,0)@1 ','@1 REG(2,0)@1 NOP@2 NL@2 UNKNOWN@3 NL@3",
         {Unrecognized(3, "bad")},
         true},
        // Comments do not keep the carriage return.
        {"; note\r\n// other\r\n/* a\r\nb */\r\n",
         "COMMENT(# note) NL COMMENT(#  other) NL COMMENT(#   a\\n) COMMENT(#b ) NL",
         {}},
        {"vs.1.0\r\nmov r0.xy\r\nnop\r\n", "VS MOV REG(1,0) '.' MASK(xy00) NOP NL", {}},
        // A carriage return anywhere else stays an illegal character.
        {"mov r0, v0\r\r\n", "MOV REG(1,0) ',' REG(2,0) ILLEGAL NL", {"(1)" + illegalCr}},
        {"nop \rnop\n\r", "NOP ILLEGAL NOP NL ILLEGAL", {"(1)" + illegalCr, "(2)" + illegalCr}},
        {"#define F(a) mov a, v0\r; c\nF(r0)\n",
         "MOV REG(1,0) ',' REG(2,0) ILLEGAL NL",
         {"(1)" + illegalCr}},
    });
}

TEST(Vs10Scanner, EachTextStartsFromACleanScanner) {
    // A scan abandoned in the middle of a macro expansion inside an open block comment leaves
    // nothing that the next text sees.
    parseLineNumber = 1;
    VS10SetInput("#define MM nop\n/* x\n");
    EXPECT_EQ(VS10NextToken(), vs10tok::COMMENT);
    std::free(VS10TokenValue.text);
    EXPECT_EQ(Scan("MM\n").tokens, "UNKNOWN NL");

    VS10SetInput("mov r0, v0\n");
    EXPECT_EQ(VS10NextToken(), vs10tok::MOV_INSTR);
    VS10EndInput();
    EXPECT_EQ(VS10NextToken(), vs10tok::END);
    EXPECT_EQ(Scan("nop\n").tokens, "NOP NL");
}

TEST(Vs10Scanner, LongLinesAndTokensAreOrdinaryText) {
    const std::string x(40000, 'x'), blanks(40000, ' ');
    const std::string tail = "nop\nbad\n";
    const std::string after = "NOP@2 NL@2 UNKNOWN@3 NL@3";
    ExpectScans({
        {";" + x + "\n" + tail,
         ("COMMENT(#" + x + ")@1 NL@1 " + after).c_str(),
         {Unrecognized(3, "bad")},
         true},
        {"//" + x + "\n" + tail,
         ("COMMENT(# " + x + ")@1 NL@1 " + after).c_str(),
         {Unrecognized(3, "bad")},
         true},
        {"/*" + x + "\n*/\n" + tail, nullptr, {Unrecognized(4, "bad")}},
        {"mov" + blanks + "r0," + blanks + "v0" + blanks + "\n" + blanks + "\t\n" + tail,
         ("MOV@1 REG(1,0)@1 ','@1 REG(2,0)@1 NL@2 NOP@3 NL@3 UNKNOWN@4 NL@4"),
         {Unrecognized(4, "bad")},
         true},
        {"c" + std::string(40000, '7') + "\n" + tail,
         ("REG(4,2147483647)@1 " + after).c_str(),
         {Unrecognized(3, "bad")},
         true},
        // A long definition, skipped block and include name.
        {"#define LONG mov" + blanks + "r0, v0\nLONG" + blanks + "\nbad\n",
         "MOV REG(1,0) ',' REG(2,0) NL UNKNOWN NL",
         {Unrecognized(3, "bad")}},
        {"#ifdef A\n" + x + "\n#endif\n" + tail,
         "NL@3 NOP@4 NL@4 UNKNOWN@5 NL@5",
         {Unrecognized(5, "bad")},
         true},
        // The header's closing parenthesis looks ahead over every line end that follows it.
        {"#define F(a)" + std::string(20000, '\n') + "bad\n",
         nullptr,
         {Unrecognized(20001, "bad")}},
    });
    // A long word is reported, cut to the longest report line.
    const ScanResult word = Scan("nop\n" + x + "\nnop\n");
    EXPECT_EQ(word.tokens, "NOP NL UNKNOWN NL NOP NL");
    ASSERT_EQ(word.messages.size(), 1u);
    EXPECT_EQ(word.messages[0], Unrecognized(2, x).substr(0, 4095));
    testing::internal::CaptureStderr();
    const ScanResult include = Scan("#include \"" + x + "\"\nnop\n");
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(include.tokens, "NOP NL");
    EXPECT_EQ(include.messages,
              Lines{("(2) : Error : Unable to open include file " + x + "\n").substr(0, 4095)});
}

const std::string kBuiltins =
    "macro t p\nmov %inc(%p), %dec(%p)\nsub %add(%p, 2), %sub(%p, 2), v0\nendm\nt ";

TEST(Vs10Preprocessor, DefinesAndMacros) {
    ExpectScans({
        {"#define ONE 1\nmov r0, c[ONE]\n", "MOV REG(1,0) ',' 'c' '[' INT(1) ']' NL", {}},
        // A name standing alone on its line defines it without a body: using it yields nothing.
        {"#define DEBUG\nDEBUG\nnop\n", "NL@2 NOP@3 NL@3", {}, true},
        // A continued #define holds several lines, each with its line end.
        {"#define TWO nop \\\n  nop\nTWO\n", "NOP NL NOP NL NL", {}},
        {"#define F(a, b) add a, a, b\nF(r0, v1)\n", "ADD REG(1,0) ',' REG(1,0) ',' REG(2,1)", {}},
        // Only whole names are replaced: "ab" and "a_" stay.
        {"#define G(a) mov ab, a_, a\nG(r3)\n",
         "MOV UNKNOWN ',' UNKNOWN ',' REG(1,3)",
         {Unrecognized(1, "ab"), Unrecognized(1, "a_")}},
        {"macro m a, b\n  add %a, %a, %b\nendm\nm r2, v0\nm(r2, v1)\n",
         "NL ADD REG(1,2) ',' REG(1,2) ',' REG(2,0) ADD REG(1,2) ',' REG(1,2) ',' REG(2,1)",
         {}},
        // %reg1.x matches the parameter reg1 and keeps .x; a % before anything else is dropped.
        {"macro n reg1\nmov %reg1.x, %%v0\nendm\nn r5\n",
         "NL MOV REG(1,5) '.' MASK(x000) ',' REG(2,0)",
         {}},
        {"macro m p\nmov %p, v0\nbad1\nendm\nm r1\nbad2\n",
         "NL@4 MOV@2 REG(1,1)@2 ','@2 REG(2,0)@2 UNKNOWN@3 NL@3 UNKNOWN@6 NL@6",
         {"(3) : Error : Unrecognized Token: bad1\n", "(6) : Error : Unrecognized Token: bad2\n"},
         true},
        // The built-ins on a temporary, a constant and an indexed constant.
        {kBuiltins + "r3\n",
         "NL MOV REG(1,4) ',' REG(1,2) SUB REG(1,5) ',' REG(1,1) ',' REG(2,0)",
         {}},
        {kBuiltins + "c10\n",
         "NL MOV REG(4,11) ',' REG(4,9) SUB REG(4,12) ',' REG(4,8) ',' REG(2,0)",
         {}},
        {kBuiltins + "c[7]\n",
         "NL MOV 'c' '[' INT(7) '+' INT(1) ']' ',' 'c' '[' INT(7) '-' INT(1) ']' NL "
         "SUB 'c' '[' INT(7) '+' INT(2) ']' ',' 'c' '[' INT(7) '-' INT(2) ']' ',' REG(2,0)",
         {}},
    });
    EXPECT_EQ(Scan("#define ONE 1\nmov r0, c[ONE]\n").finalLine, 3);
}

TEST(Vs10Preprocessor, CommentEndingADefineLineIsNotInTheBody) {
    const char* const indexed =
        "MOV REG(1,0) ',' 'c' '[' REG(3,0) '.' MASK(x000) '+' INT(16) ']' NL";
    const char* const added = "ADD REG(1,1) ',' REG(1,1) ',' REG(2,0) MOV REG(1,0) ',' REG(2,1)";
    const char* const twoNops = "NOP NL NOP NL NL MOV REG(1,0) ',' REG(2,0)";
    ExpectScans({
        {"#define BONES 16 // first bone\nmov r0, c[a0.x + BONES]\n", indexed, {}},
        {"#define BONES 16\t; first bone\nmov r0, c[a0.x + BONES]\n", indexed, {}},
        {"#define BONES 16;first\nmov r0, c[a0.x + BONES]\n", indexed, {}},
        {"#define ADD(a) add a, a, v0 // sum\nADD(r1)mov r0, v1\n", added, {}},
        {"#define ADD(a) add a, a, v0 ; sum\nADD(r1)mov r0, v1\n", added, {}},
        {"#define TWO nop ; first \\\n  nop // second\nTWO\nmov r0, v0\n", twoNops, {}},
        // A definition holding only a comment has no body.
        {"#define DEBUG // on\n#ifdef DEBUG\nnop\n#endif\nDEBUG\nbad\n",
         "NOP@3 NL@3 NL@4 NL@5 UNKNOWN@6 NL@6",
         {Unrecognized(6, "bad")},
         true},
        // Comments inside macro ... endm bodies stay.
        {"macro m\nnop ; keep\nendm\nm\n", "NL NOP COMMENT(# keep) NL NL", {}},
    });
}

TEST(Vs10Preprocessor, MacroListStaysNewestFirst) {
    parseLineNumber = 1;
    VS10SetInput("#define A 1\n#define B 2\n#define A 3\nmacro C\nnop\nendm\nnop\n");
    testsupport::ParseMessages();
    parseErrors.Clear();
    int code;
    while ((code = VS10NextToken()) != vs10tok::NOP_INSTR && code != vs10tok::END) {
    }
    ASSERT_EQ(code, vs10tok::NOP_INSTR);
    std::vector<std::string> names;
    for (const MACROENTRY* m = macroList; m != nullptr; m = m->older) {
        names.push_back(m->name);
        EXPECT_EQ(m->older == nullptr ? nullptr : m->older->newer,
                  m->older == nullptr ? nullptr : m);
    }
    EXPECT_THAT(names, ElementsAre("C", "B", "A"));
    EXPECT_EQ(macroList->newer, nullptr);
    EXPECT_EQ(FindMacro("B", 1), macroList->older);
    EXPECT_EQ(FindMacro("BB", 1), macroList->older);  // the name is the first length characters
    EXPECT_EQ(FindMacro("AB", 2), nullptr);
    VS10EndInput();
    EXPECT_EQ(macroList, nullptr);
    EXPECT_EQ(FindMacro("A", 1), nullptr);
}

TEST(Vs10Preprocessor, DefinitionAndInvocationMistakes) {
    const std::string noName =
        "(1) : Error : No macro name specified, skipping macro definition.\n";
    ExpectScans({
        {"#define F(a\nnop\n", "NOP NL", {"(1) : Error : Malformed #define, skipping.\n"}},
        {"#define ONE 1\n#define ONE 2\nmov r0, c[ONE]\n",
         "MOV REG(1,0) ',' 'c' '[' INT(1) ']' NL",
         {"(2) : Warning : Redefinition of #define/macro ONE, ignoring.\n"}},
        {"#define \nnop\n", "NOP NL", {noName}},
        {"macro m(a)\nnop\nendm\nnop\n",
         "NL NOP NL",
         {"(1) : Error : Malformed  macro, skipping.\n"}},
        {"macro\t\nnop\nendm\nnop\n", "NL NOP NL", {noName}},
        {"macro m\nnop\nendm junk\n",
         "NL",
         {"(3) : Warning : Garbage at end of #endif or endm will be ignored.\n"}},
        {"nop\nmacro m\nnop\n",
         nullptr,
         {"(4) : Error : End of file reached before end of #define or endm was found, macro "
          "started on line 2.\n"}},
        {"macro m a, b\n  add %a, %a, %b\nendm\nm r2\nnop\n",
         "NL NOP NL",
         {"(4) : Error : Macro invocation number of parameters do not match macro definition, "
          "skipping\n"}},
        {"macro t p\nmov %add(%p), r0\nendm\nt r3\n",
         "NL MOV REG(1,3) ')' ',' REG(1,0)",
         {"(1) : Error : Two parameters are required for %add() macro\n"}},
        {"macro t p\nmov r0, %sub(%p, 3\nendm\nt c5\n",
         "NL MOV REG(1,0) ',' REG(4,2)",
         {"(1) : Warning : Ending parenthesis not found for macro %sub().\n"}},
    });
    const ScanResult r =
        Scan("macro t p\nmov r0, %add(%p, " + std::string(300, '1') + ")\nendm\nt r1\n");
    EXPECT_THAT(r.messages, ElementsAre("(1) : Error : Out of Temporary string replacement memory "
                                        "inside builtin macro %add()\n"));
    EXPECT_EQ(r.tokens.substr(0, 30), "NL MOV REG(1,0) ',' REG(1,1) '");
}

TEST(Vs10Preprocessor, ApplyRegisterOffset) {
    char out[kMaxBuiltinText + 1];
    struct {
        const char* R;
        char op;
        const char* n;
        const char* expected;
    } cases[] = {
        {"r3", '+', "1", "r4"},
        {"c10", '-', "1", "c9"},
        {"c[a0.x+4]", '+', "1", "c[a0.x+4+1]"},
        {"v", '+', "1", "v+1"},
        {"f(x)", '-', " 3 ", "f(x-3)"},
        {"r0", '-', "2", "r-2"},
        {"c99999999999999999999", '+', "1", "c9223372036854775807"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(ApplyRegisterOffset(c.R, c.op, c.n, "%inc()", out)) << c.R;
        EXPECT_STREQ(out, c.expected);
    }
    parseErrors.Clear();
    parseLineNumber = 4;
    EXPECT_FALSE(ApplyRegisterOffset(std::string(300, 'v').c_str(), '+', "1", "%dec()", out));
    EXPECT_THAT(testsupport::ParseMessages(),
                ElementsAre("(4) : Error : Out of Temporary string replacement memory inside "
                            "builtin macro %dec()\n"));
}

TEST(Vs10Preprocessor, Conditionals) {
    ExpectScans({
        // The #ifdef inside the skipped branch is not counted: its #endif closes the outer block,
        // and the last #endif has no block left.
        {"#define DEBUG\n#ifdef DEBUG\nmov r1, r1\n#else\nmov r2, r2\n#endif\n"
         "#ifndef DEBUG\nmov r3, r3\n#else ; other\nmov r4, r4\n#endif // end\n"
         "#ifdef X\n#ifdef DEBUG\nmov r5, r5\n#endif\nmov r6, r6\n#endif\nnop\n",
         "MOV@3 REG(1,1)@3 ','@3 REG(1,1)@3 NL@4 NL@6 NL@9 MOV@10 REG(1,4)@10 ','@10 REG(1,4)@10 "
         "NL@11 NL@15 "
         "MOV@16 REG(1,6)@16 ','@16 REG(1,6)@16 NL@17 NOP@18 NL@18",
         {"(17) : Error : Unexpected #endif found at line 17, skipping.\n"},
         true},
        {"#else\n#endif x\n#ifdef !\nnop\n#endif\n#ifndef Y\nnop\n",
         "NL NL NL NOP NL",
         {"(1) : Error : Unexpected #else found at line 1, skipping.\n",
          "(2) : Error : Unexpected #endif found at line 2, skipping.\n",
          "(2) : Warning : Garbage at end of #endif or endm will be ignored.\n",
          "(3) : Warning : Mangled name (!) for #ifdef, assuming not defined.\n",
          "(8) : Error : End of file reached before #endif found, macro started on line 6.\n"}},
    });
}

TEST(Vs10Preprocessor, NestingAndOverrunAreFatalEnds) {
    EXPECT_EQ(Scan("#define X X\nX\n").messages, Lines{"(1) : Error : macros nested too deeply"});
    EXPECT_EQ(Scan("#define X X\nX\n").status, 1);
    EXPECT_EQ(Scan("macro m\nm\nendm\nm\n").status, 1);
    std::string ifdefs = "#define A\n";
    for (int i = 0; i < 1024; ++i) ifdefs += "#ifdef A\n";
    EXPECT_EQ(Scan(ifdefs).status, -1);  // 1024 nested blocks are fine, one more is not
    const ScanResult deep = Scan(ifdefs + "#ifdef A\n");
    EXPECT_EQ(deep.status, 1);
    EXPECT_THAT(deep.messages,
                ElementsAre("(1026) : Error : Out of stack space for #ifdef, aborting.\n"));
    // Exactly 4095 characters fit in an expansion line; one more does not.
    EXPECT_EQ(Scan("macro m p\n%p%p%p\nendm\nm " + std::string(1364, 'x') + "\n").status, -1);
    const ScanResult overrun = Scan("macro m p\n%p%p%p\nendm\nm " + std::string(1365, 'x') + "\n");
    EXPECT_EQ(overrun.status, 9);
    EXPECT_THAT(overrun.messages, ElementsAre("(1) : Error : Macro string overrun.\n"));
    EXPECT_EQ(macroList, nullptr);
}

// A scratch tree <root>/w/a/b (the working directory during the test), <root>/w/data/programs
// and <root>/data/programs, the three include directories.
class Vs10Include : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/vs10incXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        for (const char* dir : {"w/a/b", "w/data/programs", "data/programs"})
            fs::create_directories(root_ / dir);
        previous_ = fs::current_path();
        fs::current_path(root_ / "w/a/b");
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(root_);
    }
    void Write(const fs::path& relative, const std::string& text) {
        std::ofstream(root_ / relative) << text;
    }
    ScanResult ScanWithStderr(const std::string& text) {
        testing::internal::CaptureStderr();
        ScanResult r = Scan(text, true);
        err_ = testing::internal::GetCapturedStderr();
        return r;
    }

    fs::path root_, previous_;
    std::string err_;
};

TEST_F(Vs10Include, SearchPathsInOrderAndFileNames) {
    Write("data/programs/f.vsh", "mov r0, v0\n");
    EXPECT_EQ(ScanWithStderr("#include \"f.vsh\"\nnop\n").tokens,
              "MOV@1 REG(1,0)@1 ','@1 REG(2,0)@1 NOP@2 NL@2");
    Write("w/data/programs/f.vsh", "mov r1, v1\n");
    EXPECT_EQ(ScanWithStderr("#include <f.vsh>\n").tokens, "MOV@1 REG(1,1)@1 ','@1 REG(2,1)@1");
    Write("w/a/b/f.vsh", "nop\n");
    ScanResult r = ScanWithStderr("#include   f.vsh  \n");  // unquoted: the trimmed rest
    EXPECT_EQ(r.tokens, "NOP@1 NL@1");
    EXPECT_EQ(err_, "");
    EXPECT_THAT(r.messages, IsEmpty());

    // Messages from inside includes and macros carry the file names.
    Write("w/a/b/f.vsh", "nop\n\nbad\nmacro m\nbad2\nendm\n");
    Write("w/a/b/g.vsh", "#include \"f.vsh\"\nm\n");
    EXPECT_THAT(
        ScanWithStderr("#include \"g.vsh\"\nbad3\n").messages,
        ElementsAre("f.vsh(3) : Error : Unrecognized Token: bad\n",
                    "g.vsh(2) : References ->\nf.vsh(4) : Error : Unrecognized Token: bad2\n",
                    "(2) : Error : Unrecognized Token: bad3\n"));
}

std::string ToCrLf(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

TEST_F(Vs10Include, CrLfAssetReadsAsItsLfForm) {
    const std::string include =
        "; bone palette\n#define BONES 16 // first bone\nmacro skin dst, w\n"
        "  m4x3 %dst.xyz, v0, c[a0.x + BONES]\n  mul %dst.xyz, %dst.xyz, %w ; weight\nendm\n"
        "/* two-line\n   note */\n#ifdef BONES\nmov a0.x, v1.x\n#else\nbad0\n#endif\nbad1\n";
    const std::string main = "vs.1.0\n#include \"skin.vsh\"\nskin r0, v2.x\nmov oPos, r0\nbad2\n";
    Write("w/a/b/skin.vsh", ToCrLf(include));
    const ScanResult crlf = ScanWithStderr(ToCrLf(main));
    Write("w/a/b/skin.vsh", include);
    const ScanResult lf = ScanWithStderr(main);
    EXPECT_EQ(crlf.tokens, lf.tokens);
    EXPECT_EQ(crlf.messages, lf.messages);
    EXPECT_EQ(crlf.finalLine, lf.finalLine);
    EXPECT_NE(lf.tokens.find("'+'@4 INT(16)@2 ']'@4"), std::string::npos) << lf.tokens;
    EXPECT_THAT(lf.messages, ElementsAre("skin.vsh(14) : Error : Unrecognized Token: bad1\n",
                                         Unrecognized(5, "bad2")));
}

TEST_F(Vs10Include, MissingMalformedAndSelfIncluded) {
    ScanResult r = ScanWithStderr("nop\n#include \"f.vsh\"\nnop\n");
    EXPECT_EQ(err_, "Cannot open \"f.vsh\" for stat read!\n");
    EXPECT_THAT(r.messages, ElementsAre("(3) : Error : Unable to open include file f.vsh\n"));
    EXPECT_EQ(r.tokens, "NOP@1 NL@1 NOP@3 NL@3");
    EXPECT_THAT(ScanWithStderr("#include \"f.vsh\nnop\n").messages,
                ElementsAre("(2) : Error : Unable to open include file \"f.vsh\n"));
    fs::create_directories(root_ / "w/a/b/dir.vsh");  // a directory is no include file
    ScanWithStderr("#include dir.vsh\n");
    EXPECT_EQ(err_, "Cannot open \"dir.vsh\" for stat read!\n");
    const std::string longName(1024, 'n');
    EXPECT_THAT(ScanWithStderr("#include " + longName + "\n").messages,
                ElementsAre("(2) : Error : Unable to open include file " + longName + "\n"));
    EXPECT_THAT(ScanWithStderr("#include ").messages,
                ElementsAre("(1) : Error : #include was incomplete before end of file\n"));
    // A file including itself ends the scan at the include stack's depth.
    Write("w/a/b/self.vsh", "#include \"self.vsh\"\n");
    r = ScanWithStderr("#include \"self.vsh\"\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.messages,
                ElementsAre("self.vsh(1) : Error : Includes nested too deeply, aborting\n"));
}

TEST_F(Vs10Include, EveryAllocationFailureIsSurvived) {
    // Each allocation in turn fails; the scan reports or ends through the fatal path and
    // releases what it took (the sanitizer build checks the leaks).
    Write("w/a/b/f.vsh", "#define ONE 1\nmacro m a, b\nadd %a, %inc(%b), c[ONE]\nendm\n");
    const char* text = "#include \"f.vsh\"\n#ifdef ONE\n; c\n/* d\n*/\nm r1, r2\n#endif\n";
    const ScanResult reference = Scan(text);
    ASSERT_THAT(reference.messages, IsEmpty());
    const std::string macroTable = "Out of memory for macro table.\n",
                      strings = "Out of memory for string table.\n",
                      parameters = "Out of memory for string table for macro parameter(s).\n",
                      entry = "Out of memory allocating MACROENTRY structure.\n";
    std::set<std::string> allowed = {"(2) : Error : Unable to open include file f.vsh\n",
                                     "f.vsh(3) : Error : " + parameters, "(6) : Error : " + entry,
                                     "(6) : Error : " + parameters,
                                     "(3) : Error : " + entry};  // ONE inside m
    for (const char* at : {"f.vsh(1) : Error : ", "f.vsh(2) : Error : "}) {
        for (const std::string& m : {macroTable, strings, parameters}) allowed.insert(at + m);
    }
    std::set<std::string> seen;
    testing::internal::CaptureStderr();
    bool sawReference = false;
    for (long n = 0; n < 200 && !sawReference; ++n) {
        VS10FailAllocationsAfter(n);
        const ScanResult r = Scan(text);
        VS10FailAllocationsAfter(-1);
        EXPECT_TRUE(r.status == -1 || r.status == 2) << n;
        for (const std::string& m : r.messages) {
            EXPECT_EQ(allowed.count(m), 1u) << n << ": " << m;
            seen.insert(m);
        }
        sawReference = r.status == -1 && r.tokens == reference.tokens && r.messages.empty();
    }
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(sawReference);
    EXPECT_EQ(macroList, nullptr);
    for (const std::string& m :
         {"f.vsh(1) : Error : " + macroTable, "f.vsh(2) : Error : " + strings,
          "f.vsh(2) : Error : " + parameters, "(6) : Error : " + entry}) {
        EXPECT_EQ(seen.count(m), 1u) << m;
    }
}

}  // namespace
