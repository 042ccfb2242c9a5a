// The host entry points and the notifying parse entry, with the demo's main routine replaced by
// a stand-in that records how it was called.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/effect_host.h"
#include "shaderparse/parse_state.h"
#include "tests/shaderparse/core/test_profile.h"
#include "tests/support/test_support.h"

namespace {
int (*demoMainStandIn)(int, char**);
}

// Replaces the application's DemoMain in this test program.
int DemoMain(int argc, char** argv) { return demoMainStandIn ? demoMainStandIn(argc, argv) : 0; }

namespace {

// What the host was told: the text, how many messages the list held then, and whether the
// context came along.
std::vector<std::string> parsesSeen;
void RecordParse(const char* text, void* context) {
    parsesSeen.push_back(std::string(text ? text : "null") + " after " +
                         std::to_string(parseErrors.Count()) + (context ? " with context" : ""));
}

// The at-exit notifier appends its context to a file in the working directory (one per build):
// death tests run in a re-executed copy of this program, and the file is how the parent sees
// what happened there.
const std::string exitLog = "host_test_exit_log";
void LogExit(void* context) {
    if (FILE* log = std::fopen(exitLog.c_str(), "a")) {
        std::fprintf(log, "%p\n", context);
        std::fclose(log);
    }
}

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        recgl::Reset(ShaderTestProfile());
        parseErrors.Clear();
        parsesSeen.clear();
    }
    void TearDown() override {
        __zodiEffectRegisterAtExitNotifier(nullptr, nullptr);
        __zodiEffectRegisterParseNotifier(nullptr, nullptr);
    }
};

TEST_F(HostTest, WithoutActiveHostTextsAreParsedUnnotifiedAndOnlyVspPassesItsInteger) {
    EXPECT_TRUE(__zodiEffectRegisterAtExitNotifier(LogExit, nullptr));
    EXPECT_TRUE(__zodiEffectRegisterParseNotifier(RecordParse, nullptr));
    EXPECT_TRUE(__zodiEffectEntryExit());
    EXPECT_EQ(&LogExit, atExitNotifier);
    EXPECT_EQ(&RecordParse, parseNotifier);
    EXPECT_FALSE(hostActive);
    NotifyingParse("junk");
    NotifyingParse(nullptr);
    EXPECT_TRUE(parsesSeen.empty());
    ASSERT_EQ(2, parseErrors.Count());
    EXPECT_STREQ("NULL string passed to shaderparse", parseErrors.Messages()[1]);

    // Only !!VSP1.0 texts pass their integer on.
    parseErrors.Clear();
    NotifyingParse("!!VSP1.0\nMOV c[0], v[0];\nEND\n", 7);
    NotifyingParse("!!VP1.0\nMOV o[HPOS], v[0];\nEND\n", 9);
    EXPECT_EQ(1u, recgl::LoadedPrograms().count(7));
    EXPECT_EQ(0u, recgl::LoadedPrograms().count(9));
    EXPECT_EQ(1u, recgl::LoadedPrograms().count(1));  // the bound id
    NotifyingParse("!!VSP1.x\nMOV c[0], v[0];\nEND\n", 5);
    EXPECT_EQ(1, parseErrors.Count());  // an unrecognised text
    ASSERT_EQ(2u, CallsNamed("glLoadProgramNV").size());
    EXPECT_EQ(GL_VERTEX_STATE_PROGRAM_NV, CallsNamed("glLoadProgramNV")[0].Int(0));
}

TEST_F(HostTest, StartRunsDemoWithActiveHostAndNotifiesOnceAtExit) {
    void* const context = reinterpret_cast<void*>(0x5eed);  // fixed: the child is re-executed
    std::remove(exitLog.c_str());
    EXPECT_EXIT(
        {
            __zodiEffectRegisterAtExitNotifier(LogExit, context);
            __zodiEffectRegisterParseNotifier(RecordParse, context);
            demoMainStandIn = [](int argc, char** argv) {
                EXPECT_EQ(1, argc);
                EXPECT_STREQ("RIRidirezArazora", argv[0]);
                EXPECT_EQ(nullptr, argv[1]);
                EXPECT_TRUE(hostActive);
                parseErrors.Add("from before");
                NotifyingParse(nullptr);
                NotifyingParse("!!VCP1.0\n");
                return 5;
            };
            EXPECT_TRUE(__zodiEffectEntryInit());
            // The host was told each text before it was parsed.
            EXPECT_EQ(parsesSeen, (std::vector<std::string>{"null after 1 with context",
                                                            "!!VCP1.0\n after 2 with context"}));
            EXPECT_EQ(0, parseErrors.Count());
            std::exit(::testing::Test::HasFailure() ? 3 : 0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ("0x5eed\n", testsupport::ReadFile(exitLog));

    // A notifier switched off after the start is not called.
    std::remove(exitLog.c_str());
    EXPECT_EXIT((__zodiEffectRegisterAtExitNotifier(LogExit, nullptr), __zodiEffectEntryInit(),
                 __zodiEffectRegisterAtExitNotifier(nullptr, nullptr), std::exit(0)),
                ::testing::ExitedWithCode(0), "");
    EXPECT_EQ("", testsupport::ReadFile(exitLog));
    std::remove(exitLog.c_str());
}

}  // namespace
