// Mouse and keyboard handling and the injection of sources, without any GL.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "app/app_state.h"
#include "app/exit_program.h"
#include "app/interaction.h"
#include "solver/grid.h"

namespace {

constexpr int kLeft = 0, kMiddle = 1, kRight = 2;
constexpr int kDown = 0, kUp = 1;

class InteractionTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallRunningParameters();
        if (velX == nullptr) {  // once: the fields live until the process ends
            ASSERT_TRUE(AllocateFields());
        }
        ClearFields();
        windowWidth = windowHeight = 500;
        mouseX = mouseY = lastMouseX = lastMouseY = 0;
        leftDown = middleDown = rightDown = 0;
        viewAngleX = viewAngleY = 0.0f;
    }

    static int Cells() { return (gridX + 2) * (gridY + 2) * (gridZ + 2); }

    // Fills the four source fields with garbage so that clearing them is visible.
    static void DirtySources() {
        for (int n = 0; n < Cells(); ++n) {
            densityPrev[n] = velXPrev[n] = velYPrev[n] = velZPrev[n] = 7.0f;
        }
    }

    static void Inject() { InjectUserInput(densityPrev, velXPrev, velYPrev); }

    // Number of non-zero cells over the four source fields.
    static int NonZeroSources() {
        int count = 0;
        for (int n = 0; n < Cells(); ++n) {
            count += (densityPrev[n] != 0) + (velXPrev[n] != 0) + (velYPrev[n] != 0) +
                     (velZPrev[n] != 0);
        }
        return count;
    }

    // Holds the right button at (x, y) and injects once; true when density was poured at
    // (i, j) of the middle slice and nowhere else.
    static bool PoursAt(int x, int y, int i, int j) {
        OnMouse(kRight, kDown, x, y);
        DirtySources();
        Inject();
        OnMouse(kRight, kUp, x, y);
        return NonZeroSources() == 1 && densityPrev[CellIndex(i, j, 8)] == 40.0f;
    }
};

TEST_F(InteractionTest, WindowEdgePixelsMapToTheOuterCellsOrNowhere) {
    EXPECT_TRUE(PoursAt(0, 499, 1, 1));     // bottom-left pixel
    EXPECT_TRUE(PoursAt(499, 499, 16, 1));  // bottom-right pixel
    EXPECT_TRUE(PoursAt(0, 1, 1, 16));      // second row from the top
    EXPECT_TRUE(PoursAt(250, 250, 9, 9));

    // The top row maps to j = 17 and x = -10 to i = 0: nothing is poured.
    for (auto [x, y] : {std::pair{499, 0}, {-10, 250}, {250, 600}, {500, 250}}) {
        OnMouse(kRight, kDown, x, y);
        DirtySources();
        Inject();
        EXPECT_EQ(NonZeroSources(), 0) << x << ", " << y;
        OnMouse(kRight, kUp, x, y);
    }
}

TEST_F(InteractionTest, LeftDragBecomesVelocityOnceAndClearsEverySourceEachTick) {
    OnMouse(kLeft, kDown, 250, 250);
    OnMotion(260, 240);
    DirtySources();
    Inject();
    const int cell = CellIndex(9, 9, 8);
    EXPECT_EQ(velXPrev[cell], 10.0f);
    EXPECT_EQ(velYPrev[cell], 10.0f);  // moving up is positive y
    EXPECT_EQ(NonZeroSources(), 2);
    EXPECT_EQ(lastMouseX, 260);
    EXPECT_EQ(lastMouseY, 240);

    // Holding still injects nothing: the movement was consumed.
    DirtySources();
    Inject();
    EXPECT_EQ(NonZeroSources(), 0);

    forceScale = 2.5f;
    OnMotion(256, 244);
    Inject();
    EXPECT_EQ(velXPrev[cell], -10.0f);
    EXPECT_EQ(velYPrev[cell], -10.0f);

    // Without a button every source is just cleared, boundary layer included.
    OnMouse(kLeft, kUp, 256, 244);
    DirtySources();
    Inject();
    EXPECT_EQ(NonZeroSources(), 0);
}

TEST_F(InteractionTest, MovementOutsideTheGridIsKeptUntilTheNextInRangeTick) {
    OnMouse(kLeft, kDown, 250, 250);
    OnMotion(-40, 250);
    Inject();
    EXPECT_EQ(NonZeroSources(), 0);
    EXPECT_EQ(lastMouseX, 250);

    OnMotion(254, 250);
    Inject();
    EXPECT_EQ(velXPrev[CellIndex(9, 9, 8)], 4.0f);
}

TEST_F(InteractionTest, WindowWithoutAreaInjectsNothing) {
    for (auto [w, h] : {std::pair{0, 500}, {500, 0}, {0, 0}}) {
        windowWidth = w;
        windowHeight = h;
        OnMouse(kRight, kDown, 0, 0);
        OnMouse(kLeft, kDown, 0, 0);
        OnMotion(3, 4);
        DirtySources();
        Inject();
        EXPECT_EQ(NonZeroSources(), 0) << w << " x " << h;
        EXPECT_EQ(lastMouseX, 0);
        OnMouse(kRight, kUp, 0, 0);
        OnMouse(kLeft, kUp, 0, 0);
    }
}

TEST_F(InteractionTest, MiddleDragTurnsTheViewAndConsumesTheMovement) {
    OnMouse(kLeft, kDown, 250, 250);
    OnMouse(kMiddle, kDown, 250, 250);
    OnMotion(262, 245);
    EXPECT_EQ(viewAngleY, -12.0f);
    EXPECT_EQ(viewAngleX, 5.0f);
    OnMouse(kMiddle, kUp, 262, 245);

    OnMotion(265, 245);
    Inject();
    EXPECT_EQ(velXPrev[CellIndex(9, 9, 8)], 3.0f);  // only the movement after the turn
    EXPECT_EQ(velYPrev[CellIndex(9, 9, 8)], 0.0f);

    // Motion without the middle button leaves the view and the last position alone.
    OnMotion(300, 300);
    EXPECT_EQ(viewAngleY, -12.0f);
    EXPECT_EQ(lastMouseX, 265);
}

TEST_F(InteractionTest, ButtonsRecordPositionOnPressAndReleaseOnly) {
    OnMouse(kRight, kDown, 10, 20);
    EXPECT_EQ(rightDown, 1);
    OnMouse(kRight, kUp, 30, 40);
    EXPECT_EQ(rightDown, 0);
    EXPECT_EQ(lastMouseX, 30);
    EXPECT_EQ(lastMouseY, 40);
    EXPECT_EQ(mouseX, 30);

    // Buttons beyond the third (the wheel) are ignored, position included.
    OnMouse(3, kDown, 99, 99);
    OnMouse(4, kDown, 99, 99);
    EXPECT_EQ(mouseX, 30);
    EXPECT_EQ(leftDown + middleDown + rightDown, 0);
}

TEST_F(InteractionTest, KeysTurnTheViewInHalfDegrees) {
    OnKeyboard('a', 0, 0);
    OnKeyboard('a', 0, 0);
    OnKeyboard('z', 0, 0);
    EXPECT_EQ(viewAngleY, 0.5f);
    OnKeyboard('A', 0, 0);
    OnKeyboard('Z', 0, 0);
    OnKeyboard('Q', 0, 0);
    EXPECT_EQ(viewAngleY, 0.5f);
    EXPECT_EQ(viewAngleX, 0.0f);
}

void SayGoodbye() {
    fputs("atexit handler ran", stderr);
}

TEST(ExitProgramDeathTest, EndsThroughExitWithTheStatus) {
    EXPECT_EXIT(OnKeyboard('q', 0, 0), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(ExitProgram(1), ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(ExitProgram(-1), ::testing::ExitedWithCode(255), "");
    // Handlers registered with atexit run first.
    EXPECT_EXIT(
        {
            atexit(SayGoodbye);
            ExitProgram(3);
        },
        ::testing::ExitedWithCode(3), "atexit handler ran");
}

}  // namespace
