// The real fluid3d demo in a virtual X server: start-up reports, drawing driven by simulated
// mouse and keys, and the quit key. Pictures are judged by pixel statistics with margins.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using testsupport::ReadFile;

void Sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* At(int x, int y) const { return &rgb[(y * width + x) * 3]; }
};

// fluid3d started in its own directory on a fresh display; output captured to files.
class DemoXvfbTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(display_.Name(), "") << "Xvfb did not start";
        pid_ = display_.Start(FLUID3D_DIR, FLUID3D_PATH, nullptr, out_, err_);
        window_ = display_.FindWindow("3D volume rendering");
        ASSERT_NE(window_, "") << ReadFile(err_);
    }
    void TearDown() override {
        testsupport::Stop(pid_);
        std::remove(out_.c_str());
        std::remove(err_.c_str());
    }
    std::string Xdotool(const std::string& actions) {
        return display_.Shell("xdotool mousemove --window " + window_ + " " + actions);
    }
    void QuitWithStatusZero() {
        Xdotool("250 250 key q");
        EXPECT_EQ(testsupport::WaitForExit(pid_, 20), 0);
    }

    // The window's content, read as a binary PPM.
    Picture Screenshot() {
        const std::string ppm = display_.Shell("import -window " + window_ + " -depth 8 ppm:-");
        Picture picture;
        std::istringstream in(ppm);
        std::string magic;
        int maxValue = 0;
        in >> magic >> picture.width >> picture.height >> maxValue;
        const size_t bytes = size_t(picture.width) * picture.height * 3;
        if (magic != "P6" || maxValue != 255 || ppm.size() < bytes) return Picture();
        picture.rgb.assign(ppm.end() - bytes, ppm.end());
        return picture;
    }

    // Presses button b at (x0, 250), moves 2 pixels every 40 ms to (x1, 250), releases after hold.
    void Drag(int button, int x0, int x1, double hold) {
        std::string actions = std::to_string(x0) + " 250 mousedown " + std::to_string(button);
        for (int x = x0 + 2; x <= x1; x += 2) {
            actions += " sleep 0.04 mousemove --window " + window_ + " " + std::to_string(x) + " 250";
        }
        Xdotool(actions + " sleep " + std::to_string(hold) + " mouseup " + std::to_string(button));
    }

    testsupport::VirtualDisplay display_;
    const std::string out_ = "demo_xvfb_" + std::to_string(getpid()) + ".out";
    const std::string err_ = "demo_xvfb_" + std::to_string(getpid()) + ".err";
    pid_t pid_ = -1;
    std::string window_;
};

bool Dark(const unsigned char* p) { return p[0] < 40 && p[1] < 40 && p[2] < 40; }

// Pixels lit in `picture` that were dark in `empty` (the fluid, not the cube): count, centre x.
std::pair<int, double> Fluid(const Picture& picture,
                             const Picture& empty) {
    int count = 0;
    double sumX = 0;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            if (!Dark(picture.At(x, y)) && Dark(empty.At(x, y))) {
                ++count;
                sumX += x;
            }
        }
    }
    return {count, count > 0 ? sumX / count : 0.0};
}

TEST_F(DemoXvfbTest, ReportsTheImplementationAndQuitsWithStatusZero) {
    Sleep(3);  // let it run
    QuitWithStatusZero();
    // Mesa has no GL_NV_point_sprite; the demo says so and runs on.
    EXPECT_THAT(ReadFile(err_), HasSubstr("Error - required extensions were not supported: "
                                          "GL_NV_point_sprite "));
    std::istringstream out(ReadFile(out_));
    std::vector<std::string> lines;
    for (std::string line; std::getline(out, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 5u) << ReadFile(out_);
    EXPECT_THAT(lines[0], MatchesRegex("Vendor:   .+"));
    EXPECT_THAT(lines[1], MatchesRegex("Renderer: .+"));
    EXPECT_THAT(lines[2], MatchesRegex("Version:  [0-9]+\\.[0-9]+.*"));
    EXPECT_THAT(lines[3], MatchesRegex("Extensions: .*GL_EXT_point_parameters.*"));
    EXPECT_THAT(lines[4], MatchesRegex("Max 3D texture size = [1-9][0-9]*"));
}

TEST_F(DemoXvfbTest, PouredDensityGlowsMovesAndTurnsWithTheView) {
    Sleep(1.5);
    // Nothing poured: black apart from the white wire cube. The window's corner may lie just
    // off the screen, so the picture is at least 490 x 490.
    const Picture empty = Screenshot();
    ASSERT_GE(empty.width, 490);
    ASSERT_GE(empty.height, 490);
    int lines = 0, coloured = 0;
    for (size_t n = 0; n < empty.rgb.size(); n += 3) {
        const unsigned char* p = &empty.rgb[n];
        const bool white = p[0] > 150 && std::abs(p[0] - p[1]) < 20 && std::abs(p[1] - p[2]) < 20;
        if (!Dark(p)) white ? ++lines : ++coloured;
    }
    EXPECT_GT(lines, 1000);
    EXPECT_LT(lines, 20000);
    EXPECT_EQ(coloured, 0);

    // A right drag in the middle pours density there: a pale-blue glow near the middle.
    Drag(3, 240, 260, 1.0);
    Sleep(1);
    const Picture poured = Screenshot();
    const auto [glowCount, glowX] = Fluid(poured, empty);
    int paleBlue = 0;
    for (int y = 150; y < 350; ++y) {
        for (int x = 150; x < 350; ++x) {
            const unsigned char* p = poured.At(x, y);
            paleBlue += p[2] >= 80 && p[2] > p[0] + 25;
        }
    }
    EXPECT_GT(paleBlue, 100);
    EXPECT_GT(glowCount, 300);
    EXPECT_NEAR(glowX, 250, 60);

    // A gentle left drag to the right pushes it to the right.
    Drag(1, 244, 262, 0.2);
    Sleep(1.5);
    const auto [pushedCount, pushedX] = Fluid(Screenshot(), empty);
    EXPECT_GT(pushedCount, 300);
    EXPECT_GT(pushedX, glowX + 8);

    // 'a' turns the view: many pixels of the cube's lines go dark (the fluid only brightens).
    Xdotool("250 250 key --delay 20 --repeat 40 a");
    Sleep(1);
    const Picture turned = Screenshot();
    int moved = 0;
    for (size_t n = 0; n < empty.rgb.size() && n < turned.rgb.size(); n += 3) {
        moved += !Dark(&empty.rgb[n]) && Dark(&turned.rgb[n]);
    }
    EXPECT_GT(moved, lines / 3);
    QuitWithStatusZero();
}

}  // namespace
