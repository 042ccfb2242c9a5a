// The shaderparse entry: kind recognition, readiness, the entry's own messages and the list.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "shaderparse/parse_state.h"
#include "shaderparse/program_kind.h"
#include "shaderparse/shaderparse.h"
#include "tests/shaderparse/core/test_profile.h"

namespace {

const char kInvalidString[] =
    "invalid string.\n                     first characters must be: !!VP1.0 or !!VSP1.0 or "
    "!!RC1.0 or !!TS1.0\n                     or it must be a valid DirectX 8.0 Vertex Shader";
const char kValidVp[] = "!!VP1.0\nMOV o[HPOS], v[OPOS];\nEND\n";

std::vector<std::string> Messages() {
    std::vector<std::string> out;
    for (char** m = shaderparse_error_messages(); *m != nullptr; ++m) out.emplace_back(*m);
    return out;
}

class EntryTest : public ::testing::Test {
protected:
    void SetUp() override {
        recgl::Reset(ShaderTestProfile());
        parseErrors.Clear();
    }
};

TEST(ProgramKindTest, HeadersInOrderThenTheVs10MarkerInAnyCase) {
    struct Case { const char* text; ProgramKind kind; };
    const Case cases[] = {
        {"!!VCP1.0\n", ProgramKind::VertexConstantProgram},
        {"!!VSP1.0 vs.1.0", ProgramKind::VertexStateProgram},
        {"!!VP1.0 vs.1.0", ProgramKind::VertexProgram},
        {"!!RC1.0 vs.1.0", ProgramKind::RegisterCombiners},
        {"!!TS1.0", ProgramKind::TextureShader},
        {"; comment\nVS.1.0\n", ProgramKind::Vs10Shader},
        {"xxVs.1.0yy", ProgramKind::Vs10Shader},
        {"!!vp1.0", ProgramKind::None},     // headers are case-sensitive
        {"!!VSP1.1", ProgramKind::None},
        {"vs.1,0", ProgramKind::None},
        {"", ProgramKind::None},
        {"!!VP1.", ProgramKind::None},
    };
    for (const Case& c : cases) EXPECT_EQ(c.kind, ProgramKindOf(c.text)) << c.text;
    EXPECT_FALSE(IsVs10Text(""));
    EXPECT_TRUE(IsVs10Text("vvs.1.0"));
}

TEST_F(EntryTest, VpHeaderWinsOverVs10MarkerAndIsLoadedUnderBoundId) {
    const char text[] = "!!VP1.0\n# vs.1.0\nMOV o[HPOS], v[OPOS];\nEND\n";
    shaderparse(text);
    EXPECT_TRUE(Messages().empty());
    auto loads = CallsNamed("glLoadProgramNV");
    ASSERT_EQ(1u, loads.size());
    EXPECT_EQ(GL_VERTEX_PROGRAM_NV, loads[0].Int(0));
    EXPECT_EQ(1, loads[0].Int(1));
    EXPECT_EQ(std::string(text), recgl::LoadedPrograms().at(1));
}

TEST_F(EntryTest, InvalidAndNullTextsAppendWithoutClearing) {
    parseErrors.Add("earlier");
    shaderparse("");
    shaderparse(nullptr);
    EXPECT_EQ((std::vector<std::string>{"earlier", kInvalidString,
                                        "NULL string passed to shaderparse"}),
              Messages());
    // A recognised text starts from an empty list.
    shaderparse(kValidVp);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(EntryTest, NoBoundProgramStopsVpAndVs10Paths) {
    recgl::Reset(ShaderTestProfile(0));
    const std::string expected =
        "No vertex program id bound for shaderparse() invocation.  Bound id = 0\n";
    shaderparse(kValidVp);
    EXPECT_EQ(std::vector<std::string>{expected}, Messages());
    shaderparse("vs.1.0\nmov oPos, v0\n");
    EXPECT_EQ(std::vector<std::string>{expected}, Messages());
    EXPECT_TRUE(CallsNamed("glLoadProgramNV").empty());
}

TEST_F(EntryTest, PendingGlErrorIsReportedAndConsumedPerKind) {
    struct Case { const char* text; const char* message; };
    const Case cases[] = {
        {"!!VCP1.0\nc[0] = (1, 2, 3, 4);\n",
         "Previous GL_ERROR prior to vertex state program parsing."},
        {"!!VSP1.0\nMOV c[0], v[0];\nEND\n",
         "Previous GL_ERROR prior to vertex state program parsing."},
        {kValidVp, "Previous GL_ERROR prior to vertex program parsing.\n"},
        {"vs.1.0\n", "Previous GL_ERROR prior to vertex shader parsing.\n"},
    };
    for (const Case& c : cases) {
        recgl::Reset(ShaderTestProfile());
        recgl::SetPendingError(GL_INVALID_OPERATION);
        shaderparse(c.text, 3);
        std::vector<std::string> messages = Messages();
        ASSERT_FALSE(messages.empty()) << c.text;
        EXPECT_EQ(c.message, messages[0]) << c.text;
    }
    // The error was consumed before the VSP load, which loaded under the passed id.
    recgl::Reset(ShaderTestProfile());
    recgl::SetPendingError(GL_INVALID_OPERATION);
    shaderparse("!!VSP1.0\nMOV c[0], v[0];\nEND\n", 3);
    EXPECT_EQ(1u, Messages().size());
    EXPECT_EQ(1u, recgl::LoadedPrograms().count(3));

    // Combiner and texture-shader texts do not look at the GL error.
    for (const char* text : {"!!RC1.0\n", "!!TS1.0\n"}) {
        recgl::Reset(ShaderTestProfile());
        recgl::SetPendingError(GL_INVALID_OPERATION);
        shaderparse(text);
        EXPECT_EQ(static_cast<GLenum>(GL_INVALID_OPERATION), glGetError()) << text;
    }
}

TEST_F(EntryTest, ListKeepsFirst32MessagesAndFormatsLineMessages) {
    for (int i = 0; i < 40; ++i) parseErrors.Add(std::to_string(i).c_str());
    char** messages = shaderparse_error_messages();
    EXPECT_EQ(32, parseErrors.Count());
    EXPECT_STREQ("31", messages[31]);
    EXPECT_EQ(nullptr, messages[32]);

    parseErrors.Clear();
    EXPECT_EQ(nullptr, messages[0]);
    parseErrors.AddAtLine("bad register", 7);
    const std::string longText(300, 'x');
    parseErrors.AddAtLine(longText.c_str(), 12);
    EXPECT_STREQ("error on line 7: bad register", messages[0]);
    const std::string cut = messages[1];
    EXPECT_EQ(255u, cut.size());
    EXPECT_EQ("error on line 12: " + longText.substr(0, 255 - 18), cut);
}

TEST_F(EntryTest, WriteErrorsCopiesMessagesUnchanged) {
    parseErrors.Add("100% wrong %s\n");
    parseErrors.Add("second");
    FILE* out = std::tmpfile();
    ASSERT_NE(nullptr, out);
    EXPECT_EQ(shaderparse_error_messages(), shaderparse_write_errors(out));
    std::rewind(out);
    char buffer[64] = {};
    size_t n = std::fread(buffer, 1, sizeof buffer - 1, out);
    std::fclose(out);
    EXPECT_EQ("100% wrong %s\nsecond", std::string(buffer, n));
}

// Readiness is process-wide, so these run in a fresh process each.
class ReadinessTest : public EntryTest {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        EntryTest::SetUp();
    }
};

void ExitWithTestResult() { std::exit(::testing::Test::HasFailure() ? 1 : 0); }

TEST_F(ReadinessTest, MissingExtensionsReportedAndRetried) {
    EXPECT_EXIT(
        {
            recgl::Profile profile = ShaderTestProfile();
            profile.extensions = "GL_ARB_multitexture";
            recgl::Reset(profile);
            shaderparse(kValidVp);
            shaderparse(kValidVp);
            shaderparse("!!RC1.0\n");
            shaderparse("!!TS1.0\n");
            EXPECT_EQ((std::vector<std::string>{
                          "unable to initialize GL_NV_vertex_program",
                          "unable to initialize GL_NV_vertex_program",
                          "unable to initialize GL_NV_register_combiners\n",
                          "unable to initialize GL_NV_texture_shader\n"}),
                      Messages());
            ExitWithTestResult();
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(ReadinessTest, FailedLoadLeavesKindUnreadyUntilItSucceedsOnce) {
    EXPECT_EXIT(
        {
            recgl::Profile profile = ShaderTestProfile();
            profile.unresolvable = {"glLoadProgramNV"};
            recgl::Reset(profile);
            shaderparse(kValidVp);
            EXPECT_EQ(std::vector<std::string>{"unable to initialize GL_NV_vertex_program"},
                      Messages());
            recgl::CurrentProfile().unresolvable.clear();
            shaderparse(kValidVp);
            EXPECT_TRUE(Messages().empty());
            EXPECT_EQ(1u, recgl::LoadedPrograms().count(1));
            // Ready now: no further lookups.
            size_t lookups = recgl::Lookups().size();
            shaderparse("!!VCP1.0\n");
            EXPECT_EQ(lookups, recgl::Lookups().size());
            ExitWithTestResult();
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(ReadinessTest, MissingCombiners2IsIgnored) {
    EXPECT_EXIT(
        {
            recgl::Profile profile = ShaderTestProfile();
            profile.extensions = "GL_NV_register_combiners";
            recgl::Reset(profile);
            shaderparse("!!RC1.0\nout.rgb = tex0;\nout.a = tex0.a;\n");
            EXPECT_TRUE(Messages().empty());
            ExitWithTestResult();
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
