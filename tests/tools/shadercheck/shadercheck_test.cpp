// shadercheck through the built binary: options, outputs and exit statuses.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/test_support.h"

namespace {

using testsupport::ReadFile;
using Result = testsupport::RunResult;

const std::string kDir = ::testing::TempDir();

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Runs shadercheck with args (shell words) and input on standard input.
Result RunTool(const std::string& args, const std::string& input = "") {
    return testsupport::Run(std::string(SHADERCHECK) + " " + args, input);
}

const std::string kVp = "!!VP1.0\nMOV o[HPOS], v[OPOS];\nEND\n";  // 34 characters

TEST(ShadercheckTest, ValidAndFaultyTexts) {
    Result ok = RunTool("", kVp);
    EXPECT_EQ(0, ok.status);
    EXPECT_EQ("", ok.out);

    Result traced = RunTool("--trace=- -", kVp);
    EXPECT_EQ("glLoadProgramNV(GL_VERTEX_PROGRAM_NV, 1, 34, 34)\n", traced.out);

    Result unbound = RunTool("--bound-program=0", kVp);
    EXPECT_EQ(1, unbound.status);
    EXPECT_EQ("No vertex program id bound for shaderparse() invocation.  Bound id = 0\n",
              unbound.out);

    Result pending = RunTool("--pending-gl-error --bound-program=3 --trace=-", kVp);
    EXPECT_EQ("glLoadProgramNV(GL_VERTEX_PROGRAM_NV, 3, 34, 34)\n"
              "Previous GL_ERROR prior to vertex program parsing.\n",
              pending.out);

    Result rejected = RunTool("--reject-load-at=100", kVp);
    EXPECT_EQ(1, rejected.status);
    EXPECT_EQ("error at line 4 character 1\n\"" + kVp.substr(4) + "\"\n" +
                  std::string(30, ' ') + "|\n" + std::string(30, ' ') + "^\n",
              rejected.out);

    Result noExtension = RunTool("--extensions=GL_ARB_multitexture", kVp);
    EXPECT_EQ("unable to initialize GL_NV_vertex_program", noExtension.out);
}

TEST(ShadercheckTest, FilesStateProgramIdAndTranslation) {
    const std::string file = kDir + "shadercheck_vsp.txt", trace = kDir + "shadercheck_trace";
    WriteFile(file, "!!VSP1.0\nMOV c[1], v[0];\nEND\n");
    Result vsp = RunTool("--vsp-id=7 --trace=" + trace + " " + file);
    EXPECT_EQ(0, vsp.status);
    EXPECT_EQ("", vsp.out);
    EXPECT_EQ("glLoadProgramNV(GL_VERTEX_STATE_PROGRAM_NV, 7, 29, 29)\n", ReadFile(trace));

    // What a vs.1.0 text is translated into is exactly what gets loaded.
    const std::string translation = kDir + "shadercheck_translation";
    RunTool("--translation=" + translation + " --trace=" + trace, "vs.1.0\nmov oPos, v0\n");
    const size_t length = ReadFile(translation).size();
    EXPECT_EQ("glLoadProgramNV(GL_VERTEX_PROGRAM_NV, 1, " + std::to_string(length) + ", " +
                  std::to_string(length) + ")\n",
              ReadFile(trace));
}

TEST(ShadercheckTest, UsageErrors) {
    for (const char* args : {"--bogus", "--max-general-combiners=x", "--bound-program=-1",
                             "--reject-load-at=-2", "--trace=", "a b",
                             "/nonexistent/shader.txt", "--trace=/nonexistent/dir/t"}) {
        Result r = RunTool(args, kVp);
        EXPECT_EQ(2, r.status) << args;
        EXPECT_EQ("", r.out) << args;
        EXPECT_NE("", r.err) << args;
    }
    Result help = RunTool("--help");
    EXPECT_EQ(0, help.status);
    for (const char* option : {"--trace=PATH", "--translation=PATH", "--extensions=LIST",
                               "--max-general-combiners=N", "--bound-program=ID", "--vsp-id=ID",
                               "--pending-gl-error", "--reject-load-at=P", "exit status"}) {
        EXPECT_NE(std::string::npos, help.out.find(option)) << option;
    }
}

}  // namespace
