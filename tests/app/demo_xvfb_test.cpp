// The real fluid3d demo in a virtual X server: start-up reports, drawing driven by simulated
// mouse and keys, and the quit key. Pictures are judged by pixel statistics with margins.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>

#include "tests/support/test_support.h"

namespace {

using testsupport::Picture;

void Sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

bool Dark(const unsigned char* p) { return p[0] < 40 && p[1] < 40 && p[2] < 40; }

// Pixels lit in `picture` that were dark in `empty` (the fluid, not the cube): count, centre x.
std::pair<int, double> Fluid(const Picture& picture, const Picture& empty) {
    int count = 0;
    double sumX = 0;
    for (size_t n = 0; n < picture.rgb.size() && n < empty.rgb.size(); n += 3) {
        if (!Dark(&picture.rgb[n]) && Dark(&empty.rgb[n])) ++count, sumX += n / 3 % picture.width;
    }
    return {count, count > 0 ? sumX / count : 0.0};
}

// Reports the implementation, glows where density is poured, moves it and turns the view,
// and quits with status 0.
TEST(DemoXvfbTest, PouredDensityGlowsMovesTurnsAndQuits) {
    testsupport::ProgramOnDisplay demo(FLUID3D_DIR, FLUID3D_PATH, nullptr, "3D volume rendering");
    ASSERT_NE(demo.Window(), "") << demo.Err();
    // xdotool, starting with the pointer moved to (x, 250) of the demo window.
    const auto moveTo = [&](int x) {
        return "mousemove --window " + demo.Window() + " " + std::to_string(x) + " 250";
    };
    const auto xdotool = [&](int x, const std::string& actions) {
        demo.Shell("xdotool " + moveTo(x) + " " + actions);
    };
    Sleep(2);
    // Nothing poured: black apart from the white wire cube. The window's corner may lie just
    // off the screen, so the picture is at least 490 x 490.
    const Picture empty = demo.Screenshot();
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

    // Presses a button at (x0, 250), moves 2 pixels every 40 ms to (x1, 250), releases later.
    const auto drag = [&](int button, int x0, int x1, double hold) {
        std::string actions = "mousedown " + std::to_string(button);
        for (int x = x0 + 2; x <= x1; x += 2) actions += " sleep 0.04 " + moveTo(x);
        xdotool(x0,
                actions + " sleep " + std::to_string(hold) + " mouseup " + std::to_string(button));
    };
    // A right drag in the middle pours density there: a pale-blue glow near the middle.
    drag(3, 240, 260, 1.0);
    Sleep(1);
    const Picture poured = demo.Screenshot();
    const auto [glowCount, glowX] = Fluid(poured, empty);
    int paleBlue = 0;
    for (int y = 150; y < 350; ++y) {
        for (int x = 150; x < 350; ++x)
            paleBlue += poured.At(x, y)[2] >= 80 && poured.At(x, y)[2] > poured.At(x, y)[0] + 25;
    }
    EXPECT_GT(paleBlue, 100);
    EXPECT_GT(glowCount, 300);
    EXPECT_NEAR(glowX, 250, 60);

    // A gentle left drag to the right pushes it to the right.
    drag(1, 244, 262, 0.2);
    Sleep(1.5);
    const auto [pushedCount, pushedX] = Fluid(demo.Screenshot(), empty);
    EXPECT_GT(pushedCount, 300);
    EXPECT_GT(pushedX, glowX + 8);

    // 'a' turns the view: many pixels of the cube's lines go dark (the fluid only brightens).
    xdotool(250, "key --delay 20 --repeat 40 a");
    Sleep(1);
    EXPECT_GT(Fluid(empty, demo.Screenshot()).first, lines / 3);

    xdotool(250, "key q");
    EXPECT_EQ(demo.WaitForExit(20), 0);
    // The virtual server's GL has no GL_NV_point_sprite; the demo says so and runs on.
    EXPECT_THAT(demo.Err(),
                ::testing::HasSubstr(
                    "Error - required extensions were not supported: GL_NV_point_sprite "));
    // Exactly the five information lines; the legacy-extension layer is on without a setting.
    EXPECT_THAT(demo.Out(), ::testing::HasSubstr(" GL_NV_vertex_program"));
    EXPECT_THAT(demo.Out(),
                ::testing::MatchesRegex("Vendor:   [^\n]+\nRenderer: [^\n]+\n"
                                        "Version:  [0-9]+\\.[0-9]+[^\n]*\n"
                                        "Extensions: [^\n]*GL_EXT_point_parameters[^\n]*\n"
                                        "Max 3D texture size = [1-9][0-9]*\n"));
}

// A particle.bmp that is a FIFO without a writer or a link to an endless device is refused once,
// and the demo reaches its main loop: it answers the quit key.
TEST(DemoXvfbTest, ParticleImageThatNeverEndsIsRefusedAndTheDemoRuns) {
    for (const bool fifo : {true, false}) {
        SCOPED_TRACE(fifo ? "FIFO" : "/dev/zero");
        testsupport::ScratchDir dir("demo_particle");
        ASSERT_NE(fifo ? dir.Fifo("particle.bmp") : dir.Link("particle.bmp", "/dev/zero"), "");
        testsupport::ProgramOnDisplay demo(dir.Path().c_str(), FLUID3D_PATH, nullptr,
                                           "3D volume rendering");
        ASSERT_NE(demo.Window(), "") << demo.Err();
        demo.Shell("xdotool key --window " + demo.Window() + " q");
        EXPECT_EQ(demo.WaitForExit(20), 0);
        const std::string err = demo.Err();
        const size_t at = err.find("Error: ");
        EXPECT_EQ(err.substr(at == std::string::npos ? err.size() : at, 45),
                  "Error: Failed to open DIB file particle.bmp.\n")
            << err;
        EXPECT_EQ(err.find("Error: ", at + 1), std::string::npos) << err;
    }
}

}  // namespace
