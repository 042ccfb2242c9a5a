// The vs.1.0 preprocessor through the scanner's token stream: #define, macro ... endm, the
// built-ins, conditionals, includes, the fatal ends and the allocation failure paths.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "shaderparse/parse_state.h"
#include "shaderparse/vs10/vs10_preprocessor.h"
#include "shaderparse/vs10/vs10_scanner.h"
#include "tests/shaderparse/vs10/token_dump.h"
#include "tests/support/shaderparse_helpers.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace fs = std::filesystem;

namespace {

struct Case {
    const char* text;
    const char* tokens;  // nullptr: not looked at
    std::vector<std::string> messages;
    bool withLines = false;
};

void ExpectScans(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        const ScanResult r = ScanText(c.text, c.withLines);
        if (c.tokens != nullptr) {
            EXPECT_EQ(r.tokens, c.tokens) << c.text;
        }
        EXPECT_EQ(r.messages, c.messages) << c.text;
    }
}

const std::string kBuiltins = "macro t p\nmov %inc(%p), %dec(%p)\nsub %add(%p, 2), %sub(%p, 2), v0\nendm\nt ";

TEST(Vs10Preprocessor, DefinesAndMacros) {
    ExpectScans({
        {"#define ONE 1\nmov r0, c[ONE]\n", "MOV REG(1,0) ',' 'c' '[' INT(1) ']' NL", {}},
        // A name standing alone on its line defines it without a body: using it yields nothing.
        {"#define DEBUG\nDEBUG\nnop\n", "NL@2 NOP@3 NL@3", {}, true},
        // A continued #define holds several lines, each with its line end.
        {"#define TWO nop \\\n  nop\nTWO\n", "NOP NL NOP NL NL", {}},
        {"#define F(a, b) add a, a, b\nF(r0, v1)\n", "ADD REG(1,0) ',' REG(1,0) ',' REG(2,1)", {}},
        {"macro m a, b\n  add %a, %a, %b\nendm\nm r2, v0\nm(r2, v1)\n",
         "NL ADD REG(1,2) ',' REG(1,2) ',' REG(2,0) ADD REG(1,2) ',' REG(1,2) ',' REG(2,1)", {}},
        // %reg1.x matches the parameter reg1 and keeps .x; a % before anything else is dropped.
        {"macro n reg1\nmov %reg1.x, %%v0\nendm\nn r5\n", "NL MOV REG(1,5) '.' MASK(x000) ',' REG(2,0)", {}},
        {"macro m p\nmov %p, v0\nbad1\nendm\nm r1\nbad2\n",
         "NL@4 MOV@2 REG(1,1)@2 ','@2 REG(2,0)@2 UNKNOWN@3 NL@3 UNKNOWN@6 NL@6",
         {"(3) : Error : Unrecognized Token: bad1\n", "(6) : Error : Unrecognized Token: bad2\n"}, true},
        // The built-ins on a temporary, a constant and an indexed constant.
        {(kBuiltins + "r3\n").c_str(), "NL MOV REG(1,4) ',' REG(1,2) SUB REG(1,5) ',' REG(1,1) ',' REG(2,0)", {}},
        {(kBuiltins + "c10\n").c_str(), "NL MOV REG(4,11) ',' REG(4,9) SUB REG(4,12) ',' REG(4,8) ',' REG(2,0)", {}},
        {(kBuiltins + "c[7]\n").c_str(),
         "NL MOV 'c' '[' INT(7) '+' INT(1) ']' ',' 'c' '[' INT(7) '-' INT(1) ']' NL "
         "SUB 'c' '[' INT(7) '+' INT(2) ']' ',' 'c' '[' INT(7) '-' INT(2) ']' ',' REG(2,0)", {}},
    });
    EXPECT_EQ(ScanText("#define ONE 1\nmov r0, c[ONE]\n").finalLine, 3);
    // Only whole names are replaced: "ab" and "a_" stay.
    EXPECT_EQ(ScanText("#define G(a) mov ab, a_, a\nG(r3)\n").tokens, "MOV UNKNOWN ',' UNKNOWN ',' REG(1,3)");
}

TEST(Vs10Preprocessor, DefinitionAndInvocationMistakes) {
    const std::string noName = "(1) : Error : No macro name specified, skipping macro definition.\n";
    ExpectScans({
        {"#define F(a\nnop\n", "NOP NL", {"(1) : Error : Malformed #define, skipping.\n"}},
        {"#define ONE 1\n#define ONE 2\nmov r0, c[ONE]\n", "MOV REG(1,0) ',' 'c' '[' INT(1) ']' NL",
         {"(2) : Warning : Redefinition of #define/macro ONE, ignoring.\n"}},
        {"#define \nnop\n", "NOP NL", {noName}},
        {"macro m(a)\nnop\nendm\nnop\n", "NL NOP NL", {"(1) : Error : Malformed  macro, skipping.\n"}},
        {"macro\t\nnop\nendm\nnop\n", "NL NOP NL", {noName}},
        {"macro m\nnop\nendm junk\n", "NL", {"(3) : Warning : Garbage at end of #endif or endm will be ignored.\n"}},
        {"nop\nmacro m\nnop\n", nullptr,
         {"(4) : Error : End of file reached before end of #define or endm was found, macro started on line 2.\n"}},
        {"macro m a, b\n  add %a, %a, %b\nendm\nm r2\nnop\n", "NL NOP NL",
         {"(4) : Error : Macro invocation number of parameters do not match macro definition, skipping\n"}},
        {"macro t p\nmov %add(%p), r0\nendm\nt r3\n", "NL MOV REG(1,3) ')' ',' REG(1,0)",
         {"(1) : Error : Two parameters are required for %add() macro\n"}},
        {"macro t p\nmov r0, %sub(%p, 3\nendm\nt c5\n", "NL MOV REG(1,0) ',' REG(4,2)",
         {"(1) : Warning : Ending parenthesis not found for macro %sub().\n"}},
    });
    const std::string longCall = "macro t p\nmov r0, %add(%p, " + std::string(300, '1') + ")\nendm\nt r1\n";
    const ScanResult r = ScanText(longCall.c_str());
    EXPECT_THAT(r.messages,
                ElementsAre("(1) : Error : Out of Temporary string replacement memory inside builtin macro %add()\n"));
    EXPECT_EQ(r.tokens.substr(0, 30), "NL MOV REG(1,0) ',' REG(1,1) '");
}

TEST(Vs10Preprocessor, ApplyRegisterOffset) {
    char out[kMaxBuiltinText + 1];
    struct { const char* R; char op; const char* n; const char* expected; } cases[] = {
        {"r3", '+', "1", "r4"},        {"c10", '-', "1", "c9"},       {"c[a0.x+4]", '+', "1", "c[a0.x+4+1]"},
        {"v", '+', "1", "v+1"},        {"f(x)", '-', " 3 ", "f(x-3)"}, {"r0", '-', "2", "r-2"},
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
                ElementsAre("(4) : Error : Out of Temporary string replacement memory inside builtin macro %dec()\n"));
}

TEST(Vs10Preprocessor, Conditionals) {
    ExpectScans({
        // The #ifdef inside the skipped branch is not counted: its #endif closes the outer block,
        // and the last #endif has no block left.
        {"#define DEBUG\n#ifdef DEBUG\nmov r1, r1\n#else\nmov r2, r2\n#endif\n"
         "#ifndef DEBUG\nmov r3, r3\n#else ; other\nmov r4, r4\n#endif // end\n"
         "#ifdef X\n#ifdef DEBUG\nmov r5, r5\n#endif\nmov r6, r6\n#endif\nnop\n",
         "MOV@3 REG(1,1)@3 ','@3 REG(1,1)@3 NL@4 NL@6 NL@9 MOV@10 REG(1,4)@10 ','@10 REG(1,4)@10 NL@11 NL@15 "
         "MOV@16 REG(1,6)@16 ','@16 REG(1,6)@16 NL@17 NOP@18 NL@18",
         {"(17) : Error : Unexpected #endif found at line 17, skipping.\n"}, true},
        {"#else\n#endif x\n#ifdef !\nnop\n#endif\n#ifndef Y\nnop\n", "NL NL NL NOP NL",
         {"(1) : Error : Unexpected #else found at line 1, skipping.\n",
          "(2) : Error : Unexpected #endif found at line 2, skipping.\n",
          "(2) : Warning : Garbage at end of #endif or endm will be ignored.\n",
          "(3) : Warning : Mangled name (!) for #ifdef, assuming not defined.\n",
          "(8) : Error : End of file reached before #endif found, macro started on line 6.\n"}},
    });
}

TEST(Vs10Fatal, NestingAndOverrunEndTheProcess) {
    std::string ifdefs = "#define A\n";
    for (int i = 0; i < 1025; ++i) ifdefs += "#ifdef A\n";
    const std::string overrun = "macro m p\nmov %p, %p, %p\nendm\nm " + std::string(1400, 'x') + "\n";
    EXPECT_EXIT(ScanText("#define X X\nX\n"), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(ScanText("macro m\nm\nendm\nm\n"), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(ScanText(ifdefs.c_str()), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(ScanText(overrun.c_str()), testing::ExitedWithCode(9), "");

    // The messages before the end, and the limits themselves.
    ScanResult r;
    EXPECT_EQ(ScanToFatalExit("#define X X\nX\n", &r), 1);
    EXPECT_THAT(r.messages, ElementsAre("(1) : Error : macros nested too deeply"));
    EXPECT_EQ(ScanToFatalExit(ifdefs.c_str(), &r), 1);
    EXPECT_THAT(r.messages, ElementsAre("(1026) : Error : Out of stack space for #ifdef, aborting.\n"));
    ifdefs.resize(ifdefs.size() - 9);  // 1024 nested blocks are still fine
    EXPECT_EQ(ScanToFatalExit(ifdefs.c_str(), &r), -1);
    // Exactly 4095 characters fit in an expansion line; one more does not.
    EXPECT_EQ(ScanToFatalExit(("macro m p\n%p%p%p\nendm\nm " + std::string(1364, 'x') + "\n").c_str(), &r), -1);
    EXPECT_EQ(ScanToFatalExit(("macro m p\n%p%p%p\nendm\nm " + std::string(1365, 'x') + "\n").c_str(), &r), 9);
    EXPECT_THAT(r.messages, ElementsAre("(1) : Error : Macro string overrun.\n"));
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
        for (const char* dir : {"w/a/b", "w/data/programs", "data/programs"}) fs::create_directories(root_ / dir);
        previous_ = fs::current_path();
        fs::current_path(root_ / "w/a/b");
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(root_);
    }
    void Write(const fs::path& relative, const std::string& text) { std::ofstream(root_ / relative) << text; }
    ScanResult Scan(const std::string& text) {
        testing::internal::CaptureStderr();
        ScanResult r = ScanText(text.c_str(), true);
        err_ = testing::internal::GetCapturedStderr();
        return r;
    }

    fs::path root_, previous_;
    std::string err_;
};

TEST_F(Vs10Include, SearchPathsInOrderAndFileNames) {
    Write("data/programs/f.vsh", "mov r0, v0\n");
    EXPECT_EQ(Scan("#include \"f.vsh\"\nnop\n").tokens, "MOV@1 REG(1,0)@1 ','@1 REG(2,0)@1 NOP@2 NL@2");
    Write("w/data/programs/f.vsh", "mov r1, v1\n");
    EXPECT_EQ(Scan("#include <f.vsh>\n").tokens, "MOV@1 REG(1,1)@1 ','@1 REG(2,1)@1");
    Write("w/a/b/f.vsh", "nop\n");
    ScanResult r = Scan("#include   f.vsh  \n");  // unquoted: the trimmed rest
    EXPECT_EQ(r.tokens, "NOP@1 NL@1");
    EXPECT_EQ(err_, "");
    EXPECT_THAT(r.messages, IsEmpty());

    // Messages from inside includes and macros carry the file names.
    Write("w/a/b/f.vsh", "nop\n\nbad\nmacro m\nbad2\nendm\n");
    Write("w/a/b/g.vsh", "#include \"f.vsh\"\nm\n");
    EXPECT_THAT(Scan("#include \"g.vsh\"\nbad3\n").messages,
                ElementsAre("f.vsh(3) : Error : Unrecognized Token: bad\n",
                            "g.vsh(2) : References ->\nf.vsh(4) : Error : Unrecognized Token: bad2\n",
                            "(2) : Error : Unrecognized Token: bad3\n"));
}

TEST_F(Vs10Include, MissingOrMalformed) {
    ScanResult r = Scan("nop\n#include \"f.vsh\"\nnop\n");
    EXPECT_EQ(err_, "Cannot open \"f.vsh\" for stat read!\n");
    EXPECT_THAT(r.messages, ElementsAre("(3) : Error : Unable to open include file f.vsh\n"));
    EXPECT_EQ(r.tokens, "NOP@1 NL@1 NOP@3 NL@3");
    EXPECT_THAT(Scan("#include \"f.vsh\nnop\n").messages,
                ElementsAre("(2) : Error : Unable to open include file \"f.vsh\n"));
    fs::create_directories(root_ / "w/a/b/dir.vsh");  // a directory is no include file
    Scan("#include dir.vsh\n");
    EXPECT_EQ(err_, "Cannot open \"dir.vsh\" for stat read!\n");
    const std::string longName(1024, 'n');
    EXPECT_THAT(Scan("#include " + longName + "\n").messages,
                ElementsAre("(2) : Error : Unable to open include file " + longName + "\n"));
    EXPECT_THAT(Scan("#include ").messages, ElementsAre("(1) : Error : #include was incomplete before end of file\n"));
}

TEST_F(Vs10Include, SelfIncludeEndsTheProcessAtTheStackDepth) {
    Write("w/a/b/self.vsh", "#include \"self.vsh\"\n");
    EXPECT_EXIT(ScanText("#include \"self.vsh\"\n"), testing::ExitedWithCode(1), "");
    ScanResult r;
    EXPECT_EQ(ScanToFatalExit("#include \"self.vsh\"\n", &r), 1);
    EXPECT_THAT(r.messages, ElementsAre("self.vsh(1) : Error : Includes nested too deeply, aborting\n"));
}

TEST_F(Vs10Include, EveryAllocationFailureIsSurvived) {
    // Each allocation in turn fails; the scan reports or ends through the fatal path and
    // releases what it took (the sanitizer build checks the leaks).
    Write("w/a/b/f.vsh", "#define ONE 1\nmacro m a, b\nadd %a, %inc(%b), c[ONE]\nendm\n");
    const char* text = "#include \"f.vsh\"\n#ifdef ONE\n; c\n/* d\n*/\nm r1, r2\n#endif\n";
    const ScanResult reference = ScanText(text);
    ASSERT_THAT(reference.messages, IsEmpty());
    const std::string macroTable = "Out of memory for macro table.\n", strings = "Out of memory for string table.\n",
                      parameters = "Out of memory for string table for macro parameter(s).\n",
                      entry = "Out of memory allocating MACROENTRY structure.\n";
    std::set<std::string> allowed = {"(2) : Error : Unable to open include file f.vsh\n", "f.vsh(3) : Error : " + parameters,
                                     "(6) : Error : " + entry, "(6) : Error : " + parameters,
                                     "(3) : Error : " + entry};  // ONE inside m
    for (const char* at : {"f.vsh(1) : Error : ", "f.vsh(2) : Error : "}) {
        for (const std::string& m : {macroTable, strings, parameters}) allowed.insert(at + m);
    }
    std::set<std::string> seen;
    testing::internal::CaptureStderr();
    bool sawReference = false;
    for (long n = 0; n < 200 && !sawReference; ++n) {
        VS10FailAllocationsAfter(n);
        ScanResult r;
        const int status = ScanToFatalExit(text, &r);
        VS10FailAllocationsAfter(-1);
        EXPECT_TRUE(status == -1 || status == 2) << n;
        for (const std::string& m : r.messages) {
            EXPECT_EQ(allowed.count(m), 1u) << n << ": " << m;
            seen.insert(m);
        }
        sawReference = status == -1 && r.tokens == reference.tokens && r.messages.empty();
    }
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(sawReference);
    EXPECT_EQ(macroList, nullptr);
    for (const std::string& m : {"f.vsh(1) : Error : " + macroTable, "f.vsh(2) : Error : " + strings,
                                 "f.vsh(2) : Error : " + parameters, "(6) : Error : " + entry}) {
        EXPECT_EQ(seen.count(m), 1u) << m;
    }
}

}  // namespace
