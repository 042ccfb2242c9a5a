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

// The at-exit notifier writes its context to standard error: death tests run in a re-executed
// copy of this program, whose standard error the parent matches.
void LogExit(void* context) { std::fprintf(stderr, "at-exit %p\n", context); }

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
    EXPECT_TRUE(__zodiEffectEntryExit());  // stops nothing, changes nothing
    EXPECT_TRUE(atExitNotifier == &LogExit && parseNotifier == &RecordParse && !hostActive);
    NotifyingParse("junk");
    NotifyingParse(nullptr);
    EXPECT_TRUE(parsesSeen.empty());
    ASSERT_EQ(parseErrors.Count(), 2);
    EXPECT_STREQ(parseErrors.Messages()[1], "NULL string passed to shaderparse");

    // Only !!VSP1.0 texts pass their integer on; the vertex program goes to the bound id 1.
    parseErrors.Clear();
    NotifyingParse("!!VSP1.0\nMOV c[0], v[0];\nEND\n", 7);
    NotifyingParse("!!VP1.0\nMOV o[HPOS], v[0];\nEND\n", 9);
    EXPECT_EQ(recgl::LoadedPrograms().count(7) + recgl::LoadedPrograms().count(1), 2u);
    EXPECT_EQ(recgl::LoadedPrograms().count(9), 0u);
    NotifyingParse("!!VSP1.x\nMOV c[0], v[0];\nEND\n", 5);
    EXPECT_EQ(parseErrors.Count(), 1);  // an unrecognised text
    ASSERT_EQ(CallsNamed("glLoadProgramNV").size(), 2u);
    EXPECT_EQ(CallsNamed("glLoadProgramNV")[0].Int(0), GL_VERTEX_STATE_PROGRAM_NV);
}

TEST_F(HostTest, StartRunsDemoWithActiveHostAndNotifiesOnceAtExit) {
    void* const context = reinterpret_cast<void*>(0x5eed);  // fixed: the child is re-executed
    EXPECT_EXIT(
        {
            __zodiEffectRegisterAtExitNotifier(LogExit, context);
            __zodiEffectRegisterParseNotifier(RecordParse, context);
            demoMainStandIn = [](int argc, char** argv) {
                EXPECT_EQ(argc, 1);
                EXPECT_STREQ(argv[0], "RIRidirezArazora");
                EXPECT_EQ(argv[1], nullptr);
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
            EXPECT_EQ(parseErrors.Count(), 0);
            std::exit(::testing::Test::HasFailure() ? 3 : 0);
        },
        ::testing::ExitedWithCode(0), "^at-exit 0x5eed\n$");

    // A notifier switched off after the start is not called.
    EXPECT_EXIT((__zodiEffectRegisterAtExitNotifier(LogExit, nullptr), __zodiEffectEntryInit(),
                 __zodiEffectRegisterAtExitNotifier(nullptr, nullptr), std::exit(0)),
                ::testing::ExitedWithCode(0), "^$");
}

}  // namespace
