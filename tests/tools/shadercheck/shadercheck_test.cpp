// shadercheck through the built binary: options, outputs and exit statuses.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/sanitizers.h"
#include "tests/support/test_support.h"

namespace {

using testsupport::ReadFile;
using Result = testsupport::RunResult;

// Runs shadercheck with args (shell words) and input on standard input.
Result RunTool(const std::string& args, const std::string& input = "") {
    return testsupport::Run(std::string(SHADERCHECK) + " " + args, input);
}

const std::string kVp = "!!VP1.0\nMOV o[HPOS], v[OPOS];\nEND\n";  // 34 characters

// Each option reaches the profile of the recording GL: its effect shows in the trace or in the
// error list, and the status tells whether the list is empty.
TEST(ShadercheckTest, OptionsShapeTheParseAndTheStatus) {
    const struct {
        const char* args;
        int status;
        std::string out;
    } cases[] = {
        {"", 0, ""},
        {"--trace=- -", 0, "glLoadProgramNV(GL_VERTEX_PROGRAM_NV, 1, 34, 34)\n"},
        {"--bound-program=0", 1,
         "No vertex program id bound for shaderparse() invocation.  Bound id = 0\n"},
        {"--pending-gl-error --bound-program=3 --trace=-", 1,
         "glLoadProgramNV(GL_VERTEX_PROGRAM_NV, 3, 34, 34)\nPrevious GL_ERROR prior to vertex "
         "program parsing.\n"},
        // Beyond the end: taken as the end, after the last statement "END\n".
        {"--reject-load-at=100", 1, "error at line 4 character 1\n\"END\n\"\n    |\n    ^\n"},
        {"--extensions=GL_ARB_multitexture", 1, "unable to initialize GL_NV_vertex_program"},
    };
    for (const auto& c : cases) {
        const Result r = RunTool(c.args, kVp);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.out, c.out) << c.args;
    }
}

TEST(ShadercheckTest, FilesStateProgramIdAndTranslation) {
    const std::string dir = ::testing::TempDir(), file = dir + "shadercheck_vsp.txt",
                      trace = dir + "shadercheck_trace";
    std::ofstream(file, std::ios::binary) << "!!VSP1.0\nMOV c[1], v[0];\nEND\n";
    const Result vsp = RunTool("--vsp-id=7 --trace=" + trace + " " + file);
    EXPECT_EQ(vsp.status, 0);
    EXPECT_EQ(vsp.out, "");
    EXPECT_EQ(ReadFile(trace), "glLoadProgramNV(GL_VERTEX_STATE_PROGRAM_NV, 7, 29, 29)\n");

    // What a vs.1.0 text is translated into is exactly what gets loaded.
    const std::string translation = dir + "shadercheck_translation";
    RunTool("--translation=" + translation + " --trace=" + trace, "vs.1.0\nmov oPos, v0\n");
    const std::string length = std::to_string(ReadFile(translation).size());
    EXPECT_EQ(ReadFile(trace),
              "glLoadProgramNV(GL_VERTEX_PROGRAM_NV, 1, " + length + ", " + length + ")\n");
}

// A CR LF asset with a 40 000-character comment line and a commented #define is parsed whole
// and translates as its LF form does.
TEST(ShadercheckTest, CrLfAssetWithLongCommentLine) {
    const std::string dir = ::testing::TempDir(), lfOut = dir + "shadercheck_lf",
                      crlfOut = dir + "shadercheck_crlf";
    const std::string lf = "vs.1.0\n;" + std::string(40000, '=') +
                           "\n#define MVP 8 // model view projection\nm4x4 oPos, v0, c[MVP]\n";
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const Result fromLf = RunTool("--translation=" + lfOut, lf);
    const Result fromCrLf = RunTool("--translation=" + crlfOut, crlf);
    EXPECT_EQ(fromCrLf.status, 0);
    EXPECT_EQ(fromCrLf.out, "");
    EXPECT_EQ(fromCrLf.err, "");
    EXPECT_EQ(fromLf.status, 0);
    EXPECT_EQ(ReadFile(crlfOut), ReadFile(lfOut));
    EXPECT_NE(ReadFile(lfOut).find("DP4    o[HPOS].w, v[0], c[11];"), std::string::npos);
}

TEST(ShadercheckTest, UsageErrors) {
    for (const char* args :
         {"--bogus", "--max-general-combiners=x", "--bound-program=-1", "--reject-load-at=-2",
          "--trace=", "--trace=- a b", "--translation=- a b", "--format=xml",
          "/nonexistent/shader.txt", "--trace=/nonexistent/dir/t"}) {
        const Result r = RunTool(args, kVp);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_NE(r.err, "") << args;
    }
    const Result help = RunTool("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--trace=PATH", "--translation=PATH", "--extensions=LIST",
                               "--max-general-combiners=N", "--bound-program=ID", "--vsp-id=ID",
                               "--pending-gl-error", "--reject-load-at=P", "exit status"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

// The parser's fatal ends keep their statuses, but the error list is written first.
TEST(ShadercheckTest, FatalEndsStillWriteTheErrorList) {
    std::string nested = "vs.1.0\n", overrun = "vs.1.0\n#define F(a) a a a a a a a a a a\n";
    for (int i = 0; i < 1025; ++i) nested += "#ifndef A\n";
    overrun += "F(" + std::string(500, 'x') + ")\n";
    const struct {
        std::string text;
        int status;
        std::string out;
    } cases[] = {
        {nested, 1, "(1026) : Error : Out of stack space for #ifdef, aborting.\n"},
        {overrun, 9, "(2) : Error : Macro string overrun.\n"},
    };
    for (const auto& c : cases) {
        const Result r = RunTool("", c.text);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        const Result full = RunTool(">/dev/full", c.text);  // the list cannot be written
        EXPECT_EQ(full.status, 2);
        EXPECT_EQ(full.err, "shadercheck: cannot write standard output: No space left on device\n");
    }
}

// Inputs that never end or never open: refused at once (the time limit turns a hang into a
// failure, the address-space limit an unbounded read).
TEST(ShadercheckTest, EndlessAndSpecialInputsAreRefused) {
    testsupport::ScratchDir scratch("shadercheck_inputs");
    const std::string line = "; a comment line of an include file\n";
    std::string nine;  // 9 MiB: two of them are more than the include files may hold together
    while (nine.size() < (9u << 20)) nine += line;
    const std::string dir = scratch.Path(), fifo = scratch.Fifo("fifo.vsh"),
                      big = scratch.SparseFile("big.vsh", (16 << 20) + 1),
                      nineFile = scratch.SparseFile("nine.vsh", long(nine.size()), nine);
    ASSERT_NE(fifo, "");
    ASSERT_NE(big, "");
    ASSERT_NE(nineFile, "");
#ifdef TEST_UNDER_ADDRESS_SANITIZER
    const std::string limit = "";
#else
    const std::string limit = "ulimit -v 1000000; ";
#endif
    const std::string tool = std::string("timeout -s KILL 20 ") + SHADERCHECK;
    const auto including = [](const std::string& names) {
        return "vs.1.0\n" + names + "mov oPos, v0\n";
    };
    const struct {
        std::string command, input;
        int status;
        std::string out, err;
    } cases[] = {
        {tool + " /dev/zero", "", 2, "", "shadercheck: '/dev/zero' is not a regular file\n"},
        {tool + " " + dir, "", 2, "", "shadercheck: '" + dir + "' is not a regular file\n"},
        {tool + " " + fifo, "", 2, "", "shadercheck: '" + fifo + "' is not a regular file\n"},
        {tool + " " + big, "", 2, "", "shadercheck: '" + big + "' is larger than 16777216 bytes\n"},
        {"head -c 17000000 /dev/zero | " + tool, "", 2, "",
         "shadercheck: standard input is larger than 16777216 bytes\n"},
        {"cd " + dir + " && " + tool, including("#include \"fifo.vsh\"\n"), 1,
         "(3) : Error : Unable to open include file fifo.vsh\n",
         "Cannot open \"fifo.vsh\" for stat read!\n"},
        {"cd " + dir + " && " + tool, including("#include \"big.vsh\"\n"), 1,
         "(3) : Error : Unable to open include file big.vsh\n",
         "Include file \"./big.vsh\" is larger than 16777216 bytes.\n"},
        {"cd " + dir + " && " + tool, including("#include \"nine.vsh\"\n#include \"nine.vsh\"\n"),
         1, "(4) : Error : Unable to open include file nine.vsh\n",
         "Include file \"./nine.vsh\" not read: the include files of one program text hold at "
         "most 16777216 bytes together.\n"},
    };
    for (const auto& c : cases) {
        const Result r = testsupport::Run(limit + c.command, c.input);
        EXPECT_EQ(r.status, c.status) << c.command;
        EXPECT_EQ(r.out, c.out) << c.command;
        EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << c.command;
    }
}

// A write that fails (a full device) fails the run, whatever the error list holds.
TEST(ShadercheckTest, FailedWritesEndWithStatusTwo) {
    const std::string vs = "vs.1.0\nmov oPos, v0\n";
    const struct {
        const char* args;
        std::string input, err;
    } cases[] = {
        {"--trace=/dev/full", kVp, "'/dev/full'"},
        {"--translation=/dev/full", vs, "'/dev/full'"},
        {"--trace=- >/dev/full", kVp, "standard output"},
        {">/dev/full", "!!VP1.0\nEND\n", "standard output"},
    };
    for (const auto& c : cases) {
        const Result r = RunTool(c.args, c.input);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_EQ(r.err, "shadercheck: cannot write " + c.err + ": No space left on device\n")
            << c.args;
    }
}

// Texts with one message family each, written into a folder of the calling test's own (tests run
// in parallel): the tool runs there.
std::string FamilyFolder() {
    const std::string dir = ::testing::TempDir() + "shadercheck_families_" +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
    testsupport::Run("mkdir -p " + dir);
    const struct {
        const char* name;
        const char* text;
    } files[] = {
        {"ok.vp", "!!VP1.0\nMOV o[HPOS], v[0];\nEND\n"},
        {"vp.vp", "!!VP1.0\nMOV o[HPOS], v[0];\nMOV R0, q;\nEND\n"},
        {"syntax.vsh", "vs.1.0\nmov r0, v0 @\n"},
        {"warning.vsh", "vs.1.0\n#define A 1\n#define A 2\nmov oPos, v0\n"},
        {"check.vsh", "vs.1.0\nmov oPos, v0\nmov r12, v0\n"},
        {"inc.vsh", "mov oPos, v0\n#define A 1\n#define A 2\nmov r0, v0 @\n"},
        {"include.vsh", "vs.1.0\n#include \"inc.vsh\"\n"},
        {"translated.vsh", "vs.1.0\nmov oPos, v0\n\nm3x2 r0, r1, c95\n"},
        {"c.rc", "!!RC1.0\nout.rgb = foo;\n"},
        {"t.ts", "!!TS1.0\nnop();\nfoo();\n"},
        {"none.txt", "no program here\n"},
    };
    for (const auto& f : files) std::ofstream(dir + f.name, std::ios::binary) << f.text;
    return dir;
}

Result RunIn(const std::string& dir, const std::string& args, const std::string& input = "") {
    return testsupport::Run("cd " + dir + " && " + SHADERCHECK + " " + args, input);
}

const char kRefusedEmptyTranslation[] =
    ": error: in the !!VP1.0 translation: program text not accepted here\n    \"\"\n    |\n    ^\n";

TEST(ShadercheckTest, GnuFormatGivesEveryMessageFamilyItsPlace) {
    const std::string dir = FamilyFolder();
    const struct {
        const char* file;
        std::string out;
    } cases[] = {
        // The vertex-program loader: line and character, the excerpt and caret indented.
        {"vp.vp",
         "vp.vp:3:9: error: program text not accepted here\n    \"MOV R0, q;\"\n            |\n"
         "            ^\n"},
        // vs.1.0: the scanner's and the checks' lines; the loader's message about the translation
        // goes to the vs.1.0 line that produced the refused line, or to no line when the
        // translation is empty.
        {"syntax.vsh",
         "syntax.vsh:2: error: Syntax Error.\nsyntax.vsh" + std::string(kRefusedEmptyTranslation)},
        {"warning.vsh", "warning.vsh:3: warning: Redefinition of #define/macro A, ignoring.\n"},
        {"check.vsh",
         "check.vsh:3: error: destination register index out of range\ncheck.vsh:3: error: in the "
         "!!VP1.0 translation of this line: program text not accepted here\n"
         "    \"MOV    R12, v[0];\"\n           |\n           ^\n"},
        {"translated.vsh",
         "translated.vsh:4: error: macro expansion produces source register index out of range\n"
         "translated.vsh:4: error: in the !!VP1.0 translation of this line: program text not "
         "accepted here\n    \"DP3    R0.y, R1, c[96];\"\n                       |\n"
         "                       ^\n"},
        // The preprocessor inside an include file names that file, at the line its message
        // gives ("inc.vsh(2) : Warning : ...").
        {"include.vsh",
         "inc.vsh:2: warning: Redefinition of #define/macro A, ignoring.\ninc.vsh:4: error: "
         "Syntax Error.\ninclude.vsh" +
             std::string(kRefusedEmptyTranslation)},
        // Register combiners and texture shaders: the scanner's line, the parser's none.
        {"c.rc", "c.rc:2: error: unrecognized token\nc.rc: error: unrecognized token\n"},
        {"t.ts", "t.ts:3: error: unrecognized token\nt.ts: error: unrecognized token\n"},
        {"none.txt",
         "none.txt: error: invalid string.\n                         first characters must be: "
         "!!VP1.0 or !!VSP1.0 or !!RC1.0 or !!TS1.0\n                         or it must be a "
         "valid DirectX 8.0 Vertex Shader\n"},
        {"ok.vp", ""},
    };
    for (const auto& c : cases) {
        const Result r = RunIn(dir, std::string("--format=gnu ") + c.file);
        EXPECT_EQ(r.out, c.out) << c.file;
        EXPECT_EQ(r.status, c.out.empty() ? 0 : 1) << c.file;
    }
    // Standard input has a name of its own.
    EXPECT_EQ(RunIn(dir, "--format=gnu", "vs.1.0\nmov oPos, v0\nmov r12, v0\n").out.substr(0, 12),
              "<stdin>:3: e");
}

// Several files: each parsed from a clean state (an invalid text, which appends to the list
// without clearing it, has one message each time), the worst status wins, an unreadable file
// does not stop the others.
TEST(ShadercheckTest, SeveralFilesEachOnTheirOwnWithTheWorstStatus) {
    const std::string dir = FamilyFolder();
    const std::string invalid = RunIn(dir, "--format=gnu none.txt").out;
    const struct {
        const char* args;
        int status;
        std::string out;
    } cases[] = {
        {"--format=gnu ok.vp ok.vp", 0, ""},
        {"--format=gnu none.txt ok.vp none.txt", 1, invalid + invalid},
        {"--format=gnu ok.vp missing.vp warning.vsh", 2,
         "warning.vsh:3: warning: Redefinition of #define/macro A, ignoring.\n"},
        // The plain form names each file whose list is not empty.
        {"c.rc ok.vp warning.vsh", 1,
         "c.rc:\nerror on line 2: unrecognized tokenunrecognized tokenwarning.vsh:\n"
         "(3) : Warning : Redefinition of #define/macro A, ignoring.\n"},
    };
    for (const auto& c : cases) {
        const Result r = RunIn(dir, c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.out, c.out) << c.args;
    }
    EXPECT_NE(RunIn(dir, "ok.vp missing.vp").err.find("cannot open 'missing.vp'"),
              std::string::npos);
}

}  // namespace
