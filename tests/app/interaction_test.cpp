// Mouse and keyboard handling and the injection of sources, without any GL.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/app_state.h"
#include "platform/exit_program.h"
#include "app/interaction.h"
#include "solver/grid.h"

namespace {

constexpr int kLeft = 0, kMiddle = 1, kRight = 2, kDown = 0, kUp = 1;

class InteractionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InstallRunningParameters();
        if (velX == nullptr) {
            ASSERT_TRUE(AllocateFields());
        }  // kept until the process ends
        ClearFields();
        windowWidth = windowHeight = 500;
        mouseX = mouseY = lastMouseX = lastMouseY = leftDown = middleDown = rightDown = 0;
        viewAngleX = viewAngleY = 0.0f;
    }
    // Fills the four source fields with garbage first, so that clearing them shows; returns
    // how many of their values are not zero afterwards.
    static int InjectAndCountSources() {
        float* fields[] = {densityPrev, velXPrev, velYPrev, velZPrev};
        for (float* f : fields) std::fill(f, f + 18 * 18 * 18, 7.0f);
        InjectUserInput(densityPrev, velXPrev, velYPrev);
        int count = 0;
        for (float* f : fields) count += 18 * 18 * 18 - std::count(f, f + 18 * 18 * 18, 0.0f);
        return count;
    }
    // The sources poured at cell (i, j) of the middle layer: density, velocity x and y.
    static std::vector<float> At(int i, int j) {
        const int64_t n = CellIndex(i, j, 8);
        return {densityPrev[n], velXPrev[n], velYPrev[n]};
    }
};

TEST_F(InteractionTest, RightButtonPoursAtTheMappedCellOrNowhere) {
    // Window edge pixels map to the outer cells; the top row is j = 17 and x = -10 is i = 0.
    const struct {
        int x, y, i, j, w, h;
    } cases[] = {
        {0, 499, 1, 1, 500, 500},   {499, 499, 16, 1, 500, 500}, {0, 1, 1, 16, 500, 500},
        {250, 250, 9, 9, 500, 500}, {499, 0, 0, 0, 500, 500},    {-10, 250, 0, 0, 500, 500},
        {250, 600, 0, 0, 500, 500}, {500, 250, 0, 0, 500, 500},  {0, 0, 0, 0, 0, 500},
        {0, 0, 0, 0, 500, 0},       {0, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        windowWidth = c.w, windowHeight = c.h;
        OnMouse(kRight, kDown, c.x, c.y);
        OnMouse(kLeft, kDown, c.x, c.y);
        OnMotion(c.x + (c.w * c.h == 0 ? 3 : 0), c.y);  // a window without area ignores it
        EXPECT_EQ(InjectAndCountSources(), c.i == 0 ? 0 : 1) << c.x << ", " << c.y << " " << c.w;
        EXPECT_EQ(lastMouseX, c.x);
        OnMouse(kRight, kUp, c.x, c.y);
        OnMouse(kLeft, kUp, c.x, c.y);
        if (c.i != 0) {
            EXPECT_EQ(At(c.i, c.j)[0], 40.0f) << c.x << ", " << c.y;
        }
    }
}

TEST_F(InteractionTest, MovementBecomesVelocityOnceAndClearsSourcesEachTick) {
    OnMouse(kLeft, kDown, 250, 250);
    OnMotion(260, 240);
    EXPECT_EQ(InjectAndCountSources(), 2);
    EXPECT_EQ(At(9, 9), (std::vector<float>{0, 10, 10}));  // moving up is positive y
    EXPECT_EQ(std::make_pair(lastMouseX, lastMouseY), std::make_pair(260, 240));
    EXPECT_EQ(InjectAndCountSources(), 0);  // holding still: the movement was consumed

    forceScale = 2.5f;
    OnMotion(-40, 250);  // outside the grid: kept for the next tick inside it
    EXPECT_EQ(InjectAndCountSources(), 0);
    EXPECT_EQ(lastMouseX, 260);
    OnMotion(256, 244);
    EXPECT_EQ(InjectAndCountSources(), 2);
    EXPECT_EQ(At(9, 9), (std::vector<float>{0, -10, -10}));

    // The middle button turns the view and consumes the movement.
    OnMouse(kMiddle, kDown, 256, 244);
    OnMotion(268, 239);
    EXPECT_EQ(std::make_pair(viewAngleX, viewAngleY), std::make_pair(5.0f, -12.0f));
    OnMouse(kMiddle, kUp, 268, 239);
    OnMotion(271, 239);
    EXPECT_EQ(InjectAndCountSources(), 1);
    EXPECT_EQ(At(9, 9), (std::vector<float>{0, 7.5f, 0}));
    OnMotion(300, 300);  // without the middle button the view stays
    EXPECT_EQ(viewAngleY, -12.0f);
    EXPECT_EQ(lastMouseX, 271);

    // Release records the position; buttons beyond the third (the wheel) are ignored.
    OnMouse(kLeft, kUp, 30, 40);
    EXPECT_EQ(std::make_pair(lastMouseX, lastMouseY), std::make_pair(30, 40));
    OnMouse(3, kDown, 99, 99);
    OnMouse(4, kDown, 99, 99);
    EXPECT_EQ(mouseX + leftDown + middleDown + rightDown, 30);
    EXPECT_EQ(InjectAndCountSources(), 0);
}

TEST_F(InteractionTest, KeysTurnTheViewInHalfDegrees) {
    for (char key : {'a', 'a', 'z', 'A', 'Z', 'Q'}) OnKeyboard(key, 0, 0);
    EXPECT_EQ(std::make_pair(viewAngleX, viewAngleY), std::make_pair(0.0f, 0.5f));
}

void SayGoodbye() { fputs("atexit handler ran", stderr); }

TEST(ExitProgramDeathTest, EndsThroughExitWithTheStatus) {
    EXPECT_EXIT(OnKeyboard('q', 0, 0), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(ExitProgram(-1), ::testing::ExitedWithCode(255), "");
    EXPECT_EXIT((atexit(SayGoodbye), ExitProgram(3)), ::testing::ExitedWithCode(3),
                "atexit handler ran");
}

}  // namespace
