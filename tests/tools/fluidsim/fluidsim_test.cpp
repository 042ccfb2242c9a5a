// Runs the fluidsim tool on scripts, good and bad.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

struct Result {
    int status = -1;
    std::string out, err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string TempPath(const char* what) {
    return "fluidsim_test_" + std::to_string(getpid()) + "_" + what;
}

// Runs fluidsim with the given options; the script, when given, is passed with --script.
Result RunFluidsim(const std::string& options, const char* script = nullptr) {
    const std::string scriptPath = TempPath("script.txt");
    const std::string outPath = TempPath("out.txt");
    const std::string errPath = TempPath("err.txt");
    std::string command = std::string(FLUIDSIM_PATH) + " " + options;
    if (script != nullptr) {
        std::ofstream(scriptPath, std::ios::binary) << script;
        command += " --script " + scriptPath;
    }
    command += " >" + outPath + " 2>" + errPath;
    Result result;
    const int raw = system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    remove(scriptPath.c_str());
    remove(outPath.c_str());
    remove(errPath.c_str());
    return result;
}

// The dump: density, velX, velY, velZ, each (n + 2)^3 little-endian floats.
std::vector<float> ReadDump(const std::string& path) {
    const std::string bytes = ReadFile(path);
    std::vector<float> values(bytes.size() / 4);
    for (size_t n = 0; n < values.size(); ++n) {
        uint32_t bits = 0;
        for (int b = 3; b >= 0; --b) {
            bits = bits << 8 | static_cast<unsigned char>(bytes[n * 4 + b]);
        }
        memcpy(&values[n], &bits, 4);
    }
    return values;
}

// Right button held in the middle of the 512 x 512 window for 10 ticks: 10 x 0.4 x 40 poured
// into one cell, with no velocity to carry it anywhere.
constexpr const char* kPour =
    "# pour in the middle\n"
    "\n"
    "mouse 2 0 256 256\n"
    "   tick 4\n"
    "tick 6\n";

TEST(FluidsimTest, PouringWithoutMovementAccumulatesInOneCell) {
    const Result r = RunFluidsim("", kPour);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ticks=10 density_sum=160 density_max=160\n");
    EXPECT_EQ(r.err, "");

    // No script: the start state.
    EXPECT_EQ(RunFluidsim("").out, "ticks=0 density_sum=0 density_max=0\n");
}

TEST(FluidsimTest, DumpHoldsTheFourFieldsInCellOrder) {
    const std::string dump = TempPath("dump.bin");
    const Result r = RunFluidsim("--grid 4 --dump " + dump,
                                 "mouse 2 0 256 256\ntick 2\nmouse 2 1 256 256\n"
                                 "mouse 0 0 256 256\nmotion 257 256\ntick 1\n");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<float> values = ReadDump(dump);
    remove(dump.c_str());
    const int cells = 6 * 6 * 6;
    ASSERT_EQ(values.size(), 4u * cells);
    // The middle of the window is cell (3, 3, 2) of the 4^3 grid.
    const int target = 3 + 6 * 3 + 36 * 2;
    EXPECT_GT(values[cells + target], 0.0f);  // velX pushed to the right
    EXPECT_GT(values[target], 0.0f);
    float densitySum = 0, velYSum = 0;
    for (int n = 0; n < cells; ++n) {
        densitySum += values[n];
        velYSum += values[2 * cells + n];
    }
    EXPECT_GT(densitySum, 8.0f);
    EXPECT_NE(velYSum, 0.0f);  // the projection turns the push into a swirl
    EXPECT_THAT(r.out, StartsWith("ticks=3 density_sum="));
}

TEST(FluidsimTest, WindowWithoutAreaAndOutsidePointerPourNothing) {
    EXPECT_EQ(RunFluidsim("", "reshape 0 500\nmouse 2 0 0 0\ntick 3\n").out,
              "ticks=3 density_sum=0 density_max=0\n");
    EXPECT_EQ(RunFluidsim("", "reshape 500 500\nmouse 2 0 499 0\ntick 3\n").out,
              "ticks=3 density_sum=0 density_max=0\n");
}

TEST(FluidsimTest, QuitKeyEndsWithStatusZeroAfterReporting) {
    const Result r = RunFluidsim("", "mouse 2 0 256 256\ntick 1\nkey a\nkey q\ntick 100\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ticks=1 density_sum=16 density_max=16\n");
}

TEST(FluidsimTest, BadScriptLinesAreRefusedBeforeAnythingRuns) {
    const struct {
        const char* script;
        const char* message;
    } cases[] = {
        {"tick -1\n", "line 1: tick count must not be negative"},
        {"tick 5\n\n# comment\nstir 3\n", "line 4: unknown command 'stir'"},
        {"mouse 1 2 3\n", "line 1: 'mouse' takes 4 arguments, got 3"},
        {"tick 2 3\n", "line 1: 'tick' takes 1 argument, got 2"},
        {"motion a 3\n", "line 1: 'a' is not a whole number"},
        {"tick 1.5\n", "line 1: '1.5' is not a whole number"},
        {"key ab\n", "line 1: 'key' takes a single character"},
        {"key\n", "line 1: 'key' takes 1 argument, got 0"},
        {"reshape -1 5\n", "line 1: window size must not be negative"},
        {"motion 1 99999999999\n", "line 1: '99999999999' is out of range"},
        {"tick 1\ntick 99999999999999999999999\n", "line 2: '99999999999999999999999' is out"},
    };
    for (const auto& c : cases) {
        const Result r = RunFluidsim("", c.script);
        EXPECT_EQ(r.status, 2) << c.script;
        EXPECT_THAT(r.err, StartsWith(c.message)) << c.script;
        EXPECT_EQ(r.out, "") << c.script;  // nothing ran, so no summary
    }
}

TEST(FluidsimTest, BadCommandLinesAreRefused) {
    for (const char* options : {"--grid 0", "--grid 257", "--grid x", "--grid", "--speed 3",
                                "--script /nonexistent/script.txt",
                                "--dump /nonexistent/dir/dump.bin"}) {
        const Result r = RunFluidsim(options);
        EXPECT_EQ(r.status, 2) << options;
        EXPECT_THAT(r.err, HasSubstr("fluidsim: ")) << options;
        EXPECT_EQ(r.out, "") << options;
    }
}

}  // namespace
