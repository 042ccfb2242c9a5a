// The shaderparse entry: kind recognition, readiness, the entry's own messages and the list.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "shaderparse/parse_state.h"
#include "shaderparse/program_kind.h"
#include "tests/shaderparse/core/test_profile.h"
#include "tests/support/shaderparse_helpers.h"

namespace {

using testsupport::Lines;
using testsupport::ParseMessages;

const char kValidVp[] = "!!VP1.0\nMOV o[HPOS], v[OPOS];\nEND\n";

class EntryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        recgl::Reset(ShaderTestProfile());
        parseErrors.Clear();
    }
};

TEST(ProgramKindTest, HeadersInOrderThenTheVs10MarkerInAnyCase) {
    struct Case {
        const char* text;
        ProgramKind kind;
    };
    const Case cases[] = {
        {"!!VCP1.0\n", ProgramKind::VertexConstantProgram},
        {"!!VSP1.0 vs.1.0", ProgramKind::VertexStateProgram},
        {"!!VP1.0 vs.1.0", ProgramKind::VertexProgram},
        {"!!RC1.0 vs.1.0", ProgramKind::RegisterCombiners},
        {"!!TS1.0", ProgramKind::TextureShader},
        {"; comment\nVS.1.0\n", ProgramKind::Vs10Shader},
        {"xxVs.1.0yy", ProgramKind::Vs10Shader},
        {"vvs.1.0", ProgramKind::Vs10Shader},
        {"!!vp1.0", ProgramKind::None},  // case-sensitive
        {"!!VSP1.1", ProgramKind::None},
        {"vs.1,0", ProgramKind::None},
        {"", ProgramKind::None},
        {"!!VP1.", ProgramKind::None},
    };
    for (const Case& c : cases) EXPECT_EQ(c.kind, ProgramKindOf(c.text)) << c.text;
}

TEST_F(EntryTest, InvalidNullUnboundAndLoadedTexts) {
    parseErrors.Add("earlier");
    shaderparse("");
    shaderparse(nullptr);
    EXPECT_EQ((Lines{"earlier",
                     "invalid string.\n                     first characters must be: !!VP1.0 or "
                     "!!VSP1.0 or "
                     "!!RC1.0 or !!TS1.0\n                     or it must be a valid DirectX 8.0 "
                     "Vertex Shader",
                     "NULL string passed to shaderparse"}),
              ParseMessages());
    // A recognised text starts from an empty list. The header wins over the vs.1.0 marker: the
    // text is loaded as it is, under the bound id.
    recgl::Reset(ShaderTestProfile(5));
    const char text[] = "!!VP1.0\n# vs.1.0\nMOV o[HPOS], v[OPOS];\nEND\n";
    shaderparse(text);
    EXPECT_TRUE(ParseMessages().empty());
    EXPECT_EQ(std::string(text), recgl::LoadedPrograms().at(5));

    recgl::Reset(ShaderTestProfile(0));
    for (const char* unbound : {kValidVp, "vs.1.0\nmov oPos, v0\n"}) {
        EXPECT_EQ(Lines{"No vertex program id bound for shaderparse() invocation.  Bound id = 0\n"},
                  testsupport::ParseText(unbound));
    }
    EXPECT_TRUE(recgl::LoadedPrograms().empty());
}

TEST_F(EntryTest, PendingGlErrorIsReportedAndConsumedPerKind) {
    const std::string state = "Previous GL_ERROR prior to vertex state program parsing.";
    struct Case {
        const char* text;
        std::string message;
    };
    const Case cases[] = {
        {"!!VCP1.0\nc[0] = (1, 2, 3, 4);\n", state},
        {"!!VSP1.0\nMOV c[0], v[0];\nEND\n", state},
        {kValidVp, "Previous GL_ERROR prior to vertex program parsing.\n"},
        {"vs.1.0\n", "Previous GL_ERROR prior to vertex shader parsing.\n"},
        // Combiner and texture-shader texts leave the error to the caller.
        {"!!RC1.0\n", ""},
        {"!!TS1.0\n", ""},
    };
    for (const Case& c : cases) {
        recgl::Reset(ShaderTestProfile());
        recgl::SetPendingError(GL_INVALID_OPERATION);
        shaderparse(c.text, 3);
        const Lines messages = ParseMessages();
        if (c.message.empty()) {
            EXPECT_EQ(static_cast<GLenum>(GL_INVALID_OPERATION), glGetError()) << c.text;
            continue;
        }
        ASSERT_FALSE(messages.empty()) << c.text;
        EXPECT_EQ(c.message, messages[0]) << c.text;
        // The error was consumed before the VSP load, which loaded under the passed id.
        if (std::string(c.text).rfind("!!VSP", 0) == 0) {
            EXPECT_EQ(1u, messages.size());
            EXPECT_EQ(1u, recgl::LoadedPrograms().count(3));
        }
    }
}

TEST_F(EntryTest, ListKeepsFirst32MessagesFormatsLineMessagesAndWritesThemUnchanged) {
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
    parseErrors.Add("100% wrong %s\n");
    EXPECT_STREQ("error on line 7: bad register", messages[0]);
    EXPECT_EQ("error on line 12: " + longText.substr(0, 255 - 18), std::string(messages[1]));

    FILE* out = std::tmpfile();
    ASSERT_NE(nullptr, out);
    EXPECT_EQ(messages, shaderparse_write_errors(out));
    std::rewind(out);
    char buffer[512] = {};
    const size_t n = std::fread(buffer, 1, sizeof buffer - 1, out);
    std::fclose(out);
    EXPECT_EQ("error on line 7: bad registererror on line 12: " + longText.substr(0, 237) +
                  "100% wrong %s\n",
              std::string(buffer, n));
}

// Readiness is process-wide: body runs in a fresh process, whose status tells its result.
template <typename Body>
void InFreshProcess(Body body) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            parseErrors.Clear();
            body();
            std::exit(::testing::Test::HasFailure() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(ReadinessTest, MissingExtensionsReportedAndRetried) {
    InFreshProcess([] {
        recgl::Profile profile = ShaderTestProfile();
        profile.extensions = "GL_ARB_multitexture";
        recgl::Reset(profile);
        for (const char* text : {kValidVp, kValidVp, "!!RC1.0\n", "!!TS1.0\n"}) shaderparse(text);
        EXPECT_EQ((Lines{"unable to initialize GL_NV_vertex_program",
                         "unable to initialize GL_NV_vertex_program",
                         "unable to initialize GL_NV_register_combiners\n",
                         "unable to initialize GL_NV_texture_shader\n"}),
                  ParseMessages());
    });
}

TEST(ReadinessTest, FailedLoadLeavesKindUnreadyAndCombiners2IsOptional) {
    InFreshProcess([] {
        recgl::Profile profile = ShaderTestProfile();
        profile.extensions = "GL_ARB_multitexture GL_NV_vertex_program GL_NV_register_combiners";
        profile.unresolvable = {"glLoadProgramNV"};
        recgl::Reset(profile);
        shaderparse(kValidVp);
        EXPECT_EQ(Lines{"unable to initialize GL_NV_vertex_program"}, ParseMessages());
        recgl::CurrentProfile().unresolvable.clear();
        shaderparse(kValidVp);
        EXPECT_TRUE(ParseMessages().empty());
        EXPECT_EQ(1u, recgl::LoadedPrograms().count(1));
        // Ready now: no further lookups.
        const size_t lookups = recgl::Lookups().size();
        shaderparse("!!VCP1.0\n");
        EXPECT_EQ(lookups, recgl::Lookups().size());
        shaderparse("!!RC1.0\nout.rgb = tex0;\nout.a = tex0.a;\n");
        EXPECT_TRUE(ParseMessages().empty());
    });
}

}  // namespace
