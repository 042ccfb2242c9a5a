// The host entry points and the notifying parse entry, with the demo's main routine replaced by
// a stand-in that records how it was called.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "host/effect_host.h"
#include "shaderparse/parse_state.h"
#include "tests/shaderparse/core/test_profile.h"
#include "tests/support/test_support.h"

namespace {
std::function<int(int, char**)> demoMainStandIn;
}

// Replaces the application's DemoMain in this test program.
int DemoMain(int argc, char** argv) { return demoMainStandIn ? demoMainStandIn(argc, argv) : 0; }

namespace {

struct ParseSeen {
    const char* text;
    void* context;
    int messagesBefore;  // how many messages the list held when the host was told
};
std::vector<ParseSeen> parsesSeen;
void RecordParse(const char* text, void* context) { parsesSeen.push_back({text, context, parseErrors.Count()}); }

// The at-exit notifier appends its context to the file named by HOST_TEST_EXIT_LOG; death tests
// run in a re-executed copy of this program, so the log is how the parent sees it.
void LogExit(void* context) {
    if (FILE* log = std::fopen(std::getenv("HOST_TEST_EXIT_LOG"), "a")) {
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
        std::remove(exitLog_.c_str());
        setenv("HOST_TEST_EXIT_LOG", exitLog_.c_str(), 1);
    }
    void TearDown() override {
        __zodiEffectRegisterAtExitNotifier(nullptr, nullptr);
        __zodiEffectRegisterParseNotifier(nullptr, nullptr);
    }
    const std::string exitLog_ = ::testing::TempDir() + "host_test_exit_log";
};

TEST_F(HostTest, WithoutActiveHostTextsAreParsedButNotNotified) {
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
}

TEST_F(HostTest, OnlyVspTextsPassTheirIntegerOn) {
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
            if (parsesSeen.size() == 2) {
                EXPECT_EQ(nullptr, parsesSeen[0].text);
                EXPECT_EQ(1, parsesSeen[0].messagesBefore);
                EXPECT_STREQ("!!VCP1.0\n", parsesSeen[1].text);
                EXPECT_EQ(2, parsesSeen[1].messagesBefore);
                EXPECT_EQ(context, parsesSeen[1].context);
            }
            EXPECT_EQ(0, parseErrors.Count());
            std::exit(::testing::Test::HasFailure() || parsesSeen.size() != 2 ? 3 : 0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ("0x5eed\n", testsupport::ReadFile(exitLog_));

    // A notifier switched off after the start is not called.
    std::remove(exitLog_.c_str());
    EXPECT_EXIT((__zodiEffectRegisterAtExitNotifier(LogExit, nullptr), __zodiEffectEntryInit(),
                 __zodiEffectRegisterAtExitNotifier(nullptr, nullptr), std::exit(0)),
                ::testing::ExitedWithCode(0), "");
    EXPECT_EQ("", testsupport::ReadFile(exitLog_));
}

}  // namespace
