// Runs the fluidsim tool on scripts, good and bad.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/sanitizers.h"
#include "tests/support/test_support.h"

namespace {

using ::testing::StartsWith;

// Runs fluidsim with the given options and the script, when there is one, from standard input.
testsupport::RunResult Fluidsim(const std::string& options, const std::string& input = "") {
    const bool ownScript = input.empty() || options.find("--script") != std::string::npos;
    return testsupport::Run(
        FLUIDSIM_PATH + std::string(ownScript ? " " : " --script /dev/stdin ") + options, input);
}

TEST(FluidsimTest, ScriptsReportTheirSums) {
    const struct {
        const char* script;
        const char* out;
    } cases[] = {
        {"", "ticks=0 density_sum=0 density_max=0\n"},  // no script: the start state
        // The right button held in the middle of the 512 x 512 window: 10 x 0.4 x 40 poured
        // into one cell, with no velocity to carry it anywhere.
        {"# pour in the middle\n\nmouse 2 0 256 256\n   tick 4\ntick 6\n",
         "ticks=10 density_sum=160 density_max=160\n"},
        // A window without area pours nothing (where pointers land is app_interaction_test's).
        {"reshape 0 500\nmouse 2 0 0 0\ntick 3\n", "ticks=3 density_sum=0 density_max=0\n"},
        // 'q' reports and ends with status 0; nothing after it runs.
        {"mouse 2 0 256 256\ntick 1\nkey a\nkey q\ntick 100\n",
         "ticks=1 density_sum=16 density_max=16\n"},
    };
    for (const auto& c : cases) {
        const testsupport::RunResult r = Fluidsim("", c.script);
        EXPECT_EQ(r.status, 0) << c.script << r.err;
        EXPECT_EQ(r.out, c.out) << c.script;
        EXPECT_EQ(r.err, "") << c.script;
    }
}

TEST(FluidsimTest, DumpHoldsTheFourFieldsInCellOrderAsLittleEndianFloats) {
    const std::string dump = "fluidsim_dump_" + std::to_string(getpid());
    const testsupport::RunResult r = Fluidsim("--grid 4 --dump " + dump,
                                              "mouse 2 0 256 256\ntick 2\nmouse 2 1 256 256\n"
                                              "mouse 0 0 256 256\nmotion 257 256\ntick 1\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, StartsWith("ticks=3 density_sum="));
    const std::string bytes = testsupport::ReadFile(dump);
    std::remove(dump.c_str());
    const int cells = 6 * 6 * 6;
    ASSERT_EQ(bytes.size(), 4u * 4 * cells);
    std::vector<float> values(4 * cells);
    for (size_t n = 0; n < values.size(); ++n) {  // assembled byte by byte: any host order
        const uint32_t bits =
            uint32_t(uint8_t(bytes[n * 4])) | uint32_t(uint8_t(bytes[n * 4 + 1])) << 8 |
            uint32_t(uint8_t(bytes[n * 4 + 2])) << 16 | uint32_t(uint8_t(bytes[n * 4 + 3])) << 24;
        std::memcpy(&values[n], &bits, 4);
    }
    const int target = 3 + 6 * 3 + 36 * 2;  // the middle of the window: cell (3, 3, 2)
    EXPECT_GT(values[target], 0.0f);
    EXPECT_GT(values[cells + target], 0.0f);  // velX pushed to the right
    float densitySum = 0, velYSum = 0;
    for (int n = 0; n < cells; ++n) densitySum += values[n], velYSum += values[2 * cells + n];
    EXPECT_GT(densitySum, 8.0f);
    EXPECT_NE(velYSum, 0.0f);  // the projection turns the push into a swirl
}

// Nothing runs, so there is no summary.
TEST(FluidsimTest, BadScriptsAndOptionsAreRefusedBeforeAnythingRuns) {
    const struct {
        const char* options;
        const char* script;
        const char* message;
    } cases[] = {
        {"", "tick -1\n", "line 1: tick count must not be negative"},
        {"", "tick 5\n\n# comment\nstir 3\n", "line 4: unknown command 'stir'"},
        {"", "mouse 1 2 3\n", "line 1: 'mouse' takes 4 arguments, got 3"},
        {"", "tick 2 3\n", "line 1: 'tick' takes 1 argument, got 2"},
        {"", "motion a 3\n", "line 1: 'a' is not a whole number"},
        {"", "tick 1.5\n", "line 1: '1.5' is not a whole number"},
        {"", "key ab\n", "line 1: 'key' takes a single character"},
        {"", "key\n", "line 1: 'key' takes 1 argument, got 0"},
        {"", "reshape -1 5\n", "line 1: window size must not be negative"},
        {"", "motion 1 99999999999\n", "line 1: '99999999999' is out of range"},
        {"", "tick 1\ntick 99999999999999999999999\n", "line 2: '99999999999999999999999' is out"},
        {"--grid 0", "", "fluidsim: "},
        {"--grid 257", "", "fluidsim: "},
        {"--grid x", "", "fluidsim: "},
        {"--grid", "", "fluidsim: "},
        {"--speed 3", "", "fluidsim: "},
        {"--script /nonexistent/script.txt", "", "fluidsim: "},
        {"--dump /nonexistent/dir/dump.bin", "", "fluidsim: "},
    };
    for (const auto& c : cases) {
        const testsupport::RunResult r = Fluidsim(c.options, c.script);
        EXPECT_EQ(r.status, 2) << c.options << c.script;
        EXPECT_THAT(r.err, StartsWith(c.message)) << c.options << c.script;
        EXPECT_EQ(r.out, "") << c.options << c.script;
    }
}

// Scripts that never end or never open are refused at once: the time limit turns a hang into a
// failure, the address-space limit an unbounded read.
TEST(FluidsimTest, EndlessAndSpecialScriptsAreRefused) {
    testsupport::ScratchDir scratch("fluidsim_scripts");
    const std::string dir = scratch.Path(), fifo = scratch.Fifo("fifo"),
                      big = scratch.SparseFile("big", (16 << 20) + 1);
    ASSERT_NE(fifo, "");
    ASSERT_NE(big, "");
#ifdef TEST_UNDER_ADDRESS_SANITIZER
    const std::string limit = "";
#else
    const std::string limit = "ulimit -v 1000000; ";
#endif
    const std::string tool = "timeout -s KILL 20 " + std::string(FLUIDSIM_PATH) + " --script ";
    const struct {
        std::string command, err;
    } cases[] = {
        {tool + "/dev/zero", "'/dev/zero': is not a regular file"},
        {tool + dir, "'" + dir + "': is not a regular file"},
        {tool + fifo, "'" + fifo + "': is not a regular file"},
        {tool + big, "'" + big + "': is larger than 16777216 bytes"},
        {"head -c 17000000 /dev/zero | " + tool + "-", "'-': is larger than 16777216 bytes"},
    };
    for (const auto& c : cases) {
        const testsupport::RunResult r = testsupport::Run(limit + c.command);
        EXPECT_EQ(r.status, 2) << c.command;
        EXPECT_EQ(r.err, "fluidsim: cannot read script " + c.err + "\n") << c.command;
        EXPECT_EQ(r.out, "") << c.command;
    }
}

// The summary is printed, but a dump that cannot be written fails the run, also after 'q'.
TEST(FluidsimTest, DumpToAFullDeviceFails) {
    for (const char* script : {"tick 1\n", "tick 1\nkey q\ntick 1\n"}) {
        const testsupport::RunResult r = Fluidsim("--grid 4 --dump /dev/full", script);
        EXPECT_EQ(r.status, 1) << script;
        EXPECT_EQ(r.err, "fluidsim: writing the dump failed\n") << script;
        EXPECT_EQ(r.out, "ticks=1 density_sum=0 density_max=0\n") << script;
    }
}

}  // namespace
