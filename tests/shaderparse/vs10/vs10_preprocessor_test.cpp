// The vs.1.0 preprocessor through the scanner's token stream: #define, macro ... endm, the
// built-ins, conditionals, includes, the fatal ends and the allocation failure paths.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "shaderparse/parse_state.h"
#include "shaderparse/vs10/vs10_preprocessor.h"
#include "shaderparse/vs10/vs10_scanner.h"
#include "tests/shaderparse/vs10/token_dump.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace fs = std::filesystem;

namespace {

TEST(Vs10Define, WithoutParametersActsInline) {
    ScanResult r = ScanText("#define ONE 1\nmov r0, c[ONE]\n");
    EXPECT_EQ(r.tokens, "MOV REG(1,0) ',' 'c' '[' INT(1) ']' NL");
    EXPECT_THAT(r.messages, IsEmpty());
    EXPECT_EQ(r.finalLine, 3);
    // A name standing alone on its line defines it without a body: using it yields nothing.
    r = ScanText("#define DEBUG\nDEBUG\nnop\n", true);
    EXPECT_EQ(r.tokens, "NL@2 NOP@3 NL@3");
    // A continued #define holds several lines, each with its line end.
    EXPECT_EQ(ScanText("#define TWO nop \\\n  nop\nTWO\n").tokens, "NOP NL NOP NL NL");
}

TEST(Vs10Define, WithParametersReplacesWholeNames) {
    EXPECT_EQ(ScanText("#define F(a, b) add a, a, b\nF(r0, v1)\n").tokens,
              "ADD REG(1,0) ',' REG(1,0) ',' REG(2,1)");
    // Only whole names are replaced: "ab" and "a_" stay.
    EXPECT_EQ(ScanText("#define G(a) mov ab, a_, a\nG(r3)\n").tokens,
              "MOV UNKNOWN ',' UNKNOWN ',' REG(1,3)");
}

TEST(Vs10Define, Mistakes) {
    ScanResult r = ScanText("#define F(a\nnop\n");
    EXPECT_THAT(r.messages, ElementsAre("(1) : Error : Malformed #define, skipping.\n"));
    EXPECT_EQ(r.tokens, "NOP NL");
    r = ScanText("#define ONE 1\n#define ONE 2\nmov r0, c[ONE]\n");
    EXPECT_THAT(r.messages,
                ElementsAre("(2) : Warning : Redefinition of #define/macro ONE, ignoring.\n"));
    EXPECT_EQ(r.tokens, "MOV REG(1,0) ',' 'c' '[' INT(1) ']' NL");
    r = ScanText("#define \nnop\n");
    EXPECT_THAT(r.messages, ElementsAre("(1) : Error : No macro name specified, skipping macro "
                                        "definition.\n"));
    EXPECT_EQ(r.tokens, "NOP NL");
}

TEST(Vs10Macro, ParametersByPercentName) {
    const char* def = "macro m a, b\n  add %a, %a, %b\nendm\n";
    ScanResult r = ScanText((std::string(def) + "m r2, v0\nm(r2, v1)\n").c_str());
    EXPECT_EQ(r.tokens, "NL ADD REG(1,2) ',' REG(1,2) ',' REG(2,0) "
                        "ADD REG(1,2) ',' REG(1,2) ',' REG(2,1)");
    EXPECT_THAT(r.messages, IsEmpty());

    r = ScanText((std::string(def) + "m r2\nnop\n").c_str());
    EXPECT_EQ(r.tokens, "NL NOP NL");
    EXPECT_THAT(r.messages, ElementsAre("(4) : Error : Macro invocation number of parameters do "
                                        "not match macro definition, skipping\n"));
    // %reg1.x matches the parameter reg1 and keeps .x; a % before anything else is dropped.
    EXPECT_EQ(ScanText("macro n reg1\nmov %reg1.x, %%v0\nendm\nn r5\n").tokens,
              "NL MOV REG(1,5) '.' MASK(x000) ',' REG(2,0)");
}

TEST(Vs10Macro, BuiltinsOnRegisters) {
    const char* def =
        "macro t p\nmov %inc(%p), %dec(%p)\nsub %add(%p, 2), %sub(%p, 2), v0\nendm\n";
    auto expand = [&](const char* argument) {
        return ScanText((std::string(def) + "t " + argument + "\n").c_str()).tokens;
    };
    EXPECT_EQ(expand("r3"), "NL MOV REG(1,4) ',' REG(1,2) SUB REG(1,5) ',' REG(1,1) ',' REG(2,0)");
    EXPECT_EQ(expand("c10"),
              "NL MOV REG(4,11) ',' REG(4,9) SUB REG(4,12) ',' REG(4,8) ',' REG(2,0)");
    EXPECT_EQ(expand("c[7]"),
              "NL MOV 'c' '[' INT(7) '+' INT(1) ']' ',' 'c' '[' INT(7) '-' INT(1) ']' NL "
              "SUB 'c' '[' INT(7) '+' INT(2) ']' ',' 'c' '[' INT(7) '-' INT(2) ']' ',' REG(2,0)");
}

TEST(Vs10Macro, ApplyRegisterOffset) {
    char out[kMaxBuiltinText + 1];
    struct {
        const char* R;
        char op;
        const char* n;
        const char* expected;
    } cases[] = {
        {"r3", '+', "1", "r4"},           {"c10", '-', "1", "c9"},
        {"c[a0.x+4]", '+', "1", "c[a0.x+4+1]"}, {"v", '+', "1", "v+1"},
        {"f(x)", '-', " 3 ", "f(x-3)"},   {"r0", '-', "2", "r-2"},
        {"c99999999999999999999", '+', "1", "c9223372036854775807"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(ApplyRegisterOffset(c.R, c.op, c.n, "%inc()", out)) << c.R;
        EXPECT_STREQ(out, c.expected);
    }
    parseErrors.Clear();
    parseLineNumber = 4;
    std::string longR(300, 'v');
    EXPECT_FALSE(ApplyRegisterOffset(longR.c_str(), '+', "1", "%dec()", out));
    EXPECT_THAT(parseErrors.Count(), 1);
    EXPECT_STREQ(parseErrors.Messages()[0], "(4) : Error : Out of Temporary string replacement "
                                            "memory inside builtin macro %dec()\n");
}

TEST(Vs10Macro, BuiltinMistakes) {
    ScanResult r = ScanText("macro t p\nmov %add(%p), r0\nendm\nt r3\n");
    EXPECT_EQ(r.tokens, "NL MOV REG(1,3) ')' ',' REG(1,0)");
    EXPECT_THAT(r.messages, ElementsAre("(1) : Error : Two parameters are required for %add() "
                                        "macro\n"));
    std::string longCall = "macro t p\nmov r0, %add(%p, " + std::string(300, '1') + ")\nendm\nt r1\n";
    r = ScanText(longCall.c_str());
    EXPECT_THAT(r.messages, ElementsAre("(1) : Error : Out of Temporary string replacement memory "
                                        "inside builtin macro %add()\n"));
    EXPECT_EQ(r.tokens.substr(0, 30), "NL MOV REG(1,0) ',' REG(1,1) '");
    r = ScanText("macro t p\nmov r0, %sub(%p, 3\nendm\nt c5\n");
    EXPECT_EQ(r.tokens, "NL MOV REG(1,0) ',' REG(4,2)");
    EXPECT_THAT(r.messages,
                ElementsAre("(1) : Warning : Ending parenthesis not found for macro %sub().\n"));
}

TEST(Vs10Macro, DefinitionMistakes) {
    ScanResult r = ScanText("macro m(a)\nnop\nendm\nnop\n");
    EXPECT_EQ(r.tokens, "NL NOP NL");
    EXPECT_THAT(r.messages, ElementsAre("(1) : Error : Malformed  macro, skipping.\n"));
    r = ScanText("macro\t\nnop\nendm\nnop\n");
    EXPECT_EQ(r.tokens, "NL NOP NL");
    EXPECT_THAT(r.messages, ElementsAre("(1) : Error : No macro name specified, skipping macro "
                                        "definition.\n"));
    r = ScanText("macro m\nnop\nendm junk\n");
    EXPECT_EQ(r.tokens, "NL");
    EXPECT_THAT(r.messages,
                ElementsAre("(3) : Warning : Garbage at end of #endif or endm will be ignored.\n"));
    r = ScanText("nop\nmacro m\nnop\n");
    EXPECT_THAT(r.messages, ElementsAre("(4) : Error : End of file reached before end of #define "
                                        "or endm was found, macro started on line 2.\n"));
}

TEST(Vs10Macro, LineNumbersInsideAndAfterExpansions) {
    ScanResult r = ScanText("macro m p\nmov %p, v0\nbad1\nendm\nm r1\nbad2\n", true);
    EXPECT_EQ(r.tokens, "NL@4 MOV@2 REG(1,1)@2 ','@2 REG(2,0)@2 UNKNOWN@3 NL@3 UNKNOWN@6 NL@6");
    EXPECT_THAT(r.messages, ElementsAre("(3) : Error : Unrecognized Token: bad1\n",
                                        "(6) : Error : Unrecognized Token: bad2\n"));
}

TEST(Vs10Conditional, BranchesAndNesting) {
    const char* text =
        "#define DEBUG\n"
        "#ifdef DEBUG\nmov r1, r1\n#else\nmov r2, r2\n#endif\n"
        "#ifndef DEBUG\nmov r3, r3\n#else ; other\nmov r4, r4\n#endif // end\n"
        "#ifdef X\n#ifdef DEBUG\nmov r5, r5\n#endif\nmov r6, r6\n#endif\n"
        "nop\n";
    ScanResult r = ScanText(text, true);
    EXPECT_EQ(r.tokens, "MOV@3 REG(1,1)@3 ','@3 REG(1,1)@3 NL@4 NL@6 NL@9 MOV@10 REG(1,4)@10 "
                        "','@10 REG(1,4)@10 NL@11 NL@15 MOV@16 REG(1,6)@16 ','@16 REG(1,6)@16 "
                        "NL@17 NOP@18 NL@18");
    // The #ifdef inside the skipped branch is not counted: its #endif closes the outer block,
    // and the last #endif has no block left.
    EXPECT_THAT(r.messages,
                ElementsAre("(17) : Error : Unexpected #endif found at line 17, skipping.\n"));
}

TEST(Vs10Conditional, Mistakes) {
    ScanResult r = ScanText("#else\n#endif x\n#ifdef !\nnop\n#endif\n#ifndef Y\nnop\n");
    EXPECT_THAT(r.messages,
                ElementsAre("(1) : Error : Unexpected #else found at line 1, skipping.\n",
                            "(2) : Error : Unexpected #endif found at line 2, skipping.\n",
                            "(2) : Warning : Garbage at end of #endif or endm will be ignored.\n",
                            "(3) : Warning : Mangled name (!) for #ifdef, assuming not defined.\n",
                            "(8) : Error : End of file reached before #endif found, macro "
                            "started on line 6.\n"));
    EXPECT_EQ(r.tokens, "NL NL NL NOP NL");
}

// A scratch tree <root>/w/a/b (the working directory during the test), <root>/w/data/programs
// and <root>/data/programs, the three include directories.
class Vs10Include : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vs10incXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "w/a/b");
        fs::create_directories(root_ / "w/data/programs");
        fs::create_directories(root_ / "data/programs");
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
    ScanResult ScanCapturingStderr(const char* text, std::string* err) {
        testing::internal::CaptureStderr();
        ScanResult r = ScanText(text, true);
        *err = testing::internal::GetCapturedStderr();
        return r;
    }

    fs::path root_;
    fs::path previous_;
};

TEST_F(Vs10Include, SearchPathsInOrder) {
    Write("data/programs/f.vsh", "mov r0, v0\n");
    std::string err;
    ScanResult r = ScanCapturingStderr("#include \"f.vsh\"\nnop\n", &err);
    EXPECT_EQ(r.tokens, "MOV@1 REG(1,0)@1 ','@1 REG(2,0)@1 NOP@2 NL@2");
    Write("w/data/programs/f.vsh", "mov r1, v1\n");
    r = ScanCapturingStderr("#include <f.vsh>\n", &err);
    EXPECT_EQ(r.tokens, "MOV@1 REG(1,1)@1 ','@1 REG(2,1)@1");
    Write("w/a/b/f.vsh", "nop\n");
    r = ScanCapturingStderr("#include   f.vsh  \n", &err);  // unquoted: the trimmed rest
    EXPECT_EQ(r.tokens, "NOP@1 NL@1");
    EXPECT_EQ(err, "");
    EXPECT_THAT(r.messages, IsEmpty());
}

TEST_F(Vs10Include, MissingOrMalformed) {
    std::string err;
    ScanResult r = ScanCapturingStderr("nop\n#include \"f.vsh\"\nnop\n", &err);
    EXPECT_EQ(err, "Cannot open \"f.vsh\" for stat read!\n");
    EXPECT_THAT(r.messages, ElementsAre("(3) : Error : Unable to open include file f.vsh\n"));
    EXPECT_EQ(r.tokens, "NOP@1 NL@1 NOP@3 NL@3");

    r = ScanCapturingStderr("#include \"f.vsh\nnop\n", &err);
    EXPECT_THAT(r.messages, ElementsAre("(2) : Error : Unable to open include file \"f.vsh\n"));
    fs::create_directories(root_ / "w/a/b/dir.vsh");  // a directory is no include file
    r = ScanCapturingStderr("#include dir.vsh\n", &err);
    EXPECT_EQ(err, "Cannot open \"dir.vsh\" for stat read!\n");
    std::string longName = "#include " + std::string(1024, 'n') + "\n";
    r = ScanCapturingStderr(longName.c_str(), &err);
    EXPECT_THAT(r.messages,
                ElementsAre("(2) : Error : Unable to open include file " + std::string(1024, 'n') +
                            "\n"));
    r = ScanCapturingStderr("#include ", &err);
    EXPECT_THAT(r.messages,
                ElementsAre("(1) : Error : #include was incomplete before end of file\n"));
}

TEST_F(Vs10Include, MessagesCarryTheFileName) {
    Write("w/a/b/f.vsh", "nop\n\nbad\nmacro m\nbad2\nendm\n");
    Write("w/a/b/g.vsh", "#include \"f.vsh\"\nm\n");
    std::string err;
    ScanResult r = ScanCapturingStderr("#include \"g.vsh\"\nbad3\n", &err);
    EXPECT_THAT(r.messages,
                ElementsAre("f.vsh(3) : Error : Unrecognized Token: bad\n",
                            "g.vsh(2) : References ->\nf.vsh(4) : Error : Unrecognized Token: "
                            "bad2\n",
                            "(2) : Error : Unrecognized Token: bad3\n"));
}

TEST(Vs10Fatal, NestingAndOverrunEndTheProcess) {
    EXPECT_EXIT(ScanText("#define X X\nX\n"), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(ScanText("macro m\nm\nendm\nm\n"), testing::ExitedWithCode(1), "");
    std::string ifdefs = "#define A\n";
    for (int i = 0; i < 1100; ++i) {
        ifdefs += "#ifdef A\n";
    }
    EXPECT_EXIT(ScanText(ifdefs.c_str()), testing::ExitedWithCode(1), "");
    std::string overrun = "macro m p\nmov %p, %p, %p\nendm\nm " + std::string(1400, 'x') + "\n";
    EXPECT_EXIT(ScanText(overrun.c_str()), testing::ExitedWithCode(9), "");
}

TEST(Vs10Fatal, MessagesBeforeTheEnd) {
    ScanResult r;
    EXPECT_EQ(ScanToFatalExit("#define X X\nX\n", &r), 1);
    EXPECT_THAT(r.messages, ElementsAre("(1) : Error : macros nested too deeply"));
    std::string ifdefs = "#define A\n";
    for (int i = 0; i < 1025; ++i) {
        ifdefs += "#ifdef A\n";
    }
    EXPECT_EQ(ScanToFatalExit(ifdefs.c_str(), &r), 1);
    EXPECT_THAT(r.messages,
                ElementsAre("(1026) : Error : Out of stack space for #ifdef, aborting.\n"));
    // 1023 nested blocks and one more are still fine.
    ifdefs.resize(ifdefs.size() - 9);
    EXPECT_EQ(ScanToFatalExit(ifdefs.c_str(), &r), -1);
    // Exactly 4095 characters fit in an expansion line; one more does not.
    std::string fits = "macro m p\n%p%p%p\nendm\nm " + std::string(1364, 'x') + "\n";
    EXPECT_EQ(ScanToFatalExit(fits.c_str(), &r), -1);
    std::string over = "macro m p\n%p%p%p\nendm\nm " + std::string(1365, 'x') + "\n";
    EXPECT_EQ(ScanToFatalExit(over.c_str(), &r), 9);
    EXPECT_THAT(r.messages, ElementsAre("(1) : Error : Macro string overrun.\n"));
    EXPECT_EQ(macroList, nullptr);
}

TEST_F(Vs10Include, SelfIncludeStopsAtTheStackDepth) {
    Write("w/a/b/self.vsh", "#include \"self.vsh\"\n");
    ScanResult r;
    EXPECT_EQ(ScanToFatalExit("#include \"self.vsh\"\n", &r), 1);
    EXPECT_THAT(r.messages,
                ElementsAre("self.vsh(1) : Error : Includes nested too deeply, aborting\n"));
}

TEST_F(Vs10Include, EveryAllocationFailureIsSurvived) {
    // Each allocation in turn fails; the scan reports or ends through the fatal path and
    // releases what it took (the sanitizer build checks the leaks).
    Write("w/a/b/f.vsh", "#define ONE 1\nmacro m a, b\nadd %a, %inc(%b), c[ONE]\nendm\n");
    const char* text = "#include \"f.vsh\"\n#ifdef ONE\n; c\n/* d\n*/\nm r1, r2\n#endif\n";
    ScanResult reference = ScanText(text);
    ASSERT_THAT(reference.messages, IsEmpty());
    const std::set<std::string> allowed = {
        "(2) : Error : Unable to open include file f.vsh\n",
        "f.vsh(1) : Error : Out of memory for macro table.\n",
        "f.vsh(1) : Error : Out of memory for string table.\n",
        "f.vsh(1) : Error : Out of memory for string table for macro parameter(s).\n",
        "f.vsh(2) : Error : Out of memory for macro table.\n",
        "f.vsh(2) : Error : Out of memory for string table.\n",
        "f.vsh(2) : Error : Out of memory for string table for macro parameter(s).\n",
        "f.vsh(3) : Error : Out of memory for string table for macro parameter(s).\n",
        "(6) : Error : Out of memory allocating MACROENTRY structure.\n",
        "(3) : Error : Out of memory allocating MACROENTRY structure.\n",  // ONE inside m
        "(6) : Error : Out of memory for string table for macro parameter(s).\n",
    };
    std::set<std::string> seen;
    testing::internal::CaptureStderr();
    bool sawReference = false;
    for (long n = 0; n < 200 && !sawReference; ++n) {
        VS10FailAllocationsAfter(n);
        ScanResult r;
        int status = ScanToFatalExit(text, &r);
        VS10FailAllocationsAfter(-1);
        EXPECT_TRUE(status == -1 || status == 2) << n;
        for (const std::string& m : r.messages) {
            EXPECT_TRUE(allowed.count(m) != 0) << n << ": " << m;
            seen.insert(m);
        }
        sawReference = status == -1 && r.tokens == reference.tokens && r.messages.empty();
    }
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(sawReference);
    EXPECT_EQ(macroList, nullptr);
    for (const char* m : {"f.vsh(1) : Error : Out of memory for macro table.\n",
                          "f.vsh(2) : Error : Out of memory for string table.\n",
                          "f.vsh(2) : Error : Out of memory for string table for macro "
                          "parameter(s).\n",
                          "(6) : Error : Out of memory allocating MACROENTRY structure.\n"}) {
        EXPECT_EQ(seen.count(m), 1u) << m;
    }
}

TEST_F(Vs10Include, NestingEndsTheProcessWithStatus1) {
    Write("w/a/b/self.vsh", "#include \"self.vsh\"\n");
    EXPECT_EXIT(ScanText("#include \"self.vsh\"\n"), testing::ExitedWithCode(1), "");
}

TEST(Vs10Corpus, SeedsScanToTheEnd) {
    // The fuzz seeds exercise every directive; each must scan to its end without a fatal stop.
    int files = 0;
    for (const auto& entry : fs::directory_iterator(VS10_CORPUS_DIR)) {
        std::ifstream in(entry.path());
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ScanResult r;
        testing::internal::CaptureStderr();
        int status = ScanToFatalExit(text.c_str(), &r);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, -1) << entry.path();
        EXPECT_NE(r.tokens, "") << entry.path();
        ++files;
    }
    EXPECT_GE(files, 5);
}

}  // namespace
