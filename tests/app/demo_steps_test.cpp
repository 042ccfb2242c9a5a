// The demo's start-up reports and idle step against the recording GL.
#include <GL/gl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "app/app_state.h"
#include "app/demo_main.h"
#include "app/interaction.h"
#include "recgl/recording_gl.h"
#include "solver/grid.h"

namespace {

using ::testing::ElementsAre;

TEST(DemoStepsTest, RendererInfoIsFiveLines) {
    recgl::Profile profile;
    profile.vendor = "Test Vendor";
    profile.renderer = "Test Renderer";
    profile.version = "2.1 Test";
    profile.extensions = "GL_A GL_B";
    profile.integers[0x8073] = {256};
    recgl::Reset(profile);
    ::testing::internal::CaptureStdout();
    PrintRendererInfo();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Vendor:   Test Vendor\n"
              "Renderer: Test Renderer\n"
              "Version:  2.1 Test\n"
              "Extensions: GL_A GL_B\n"
              "Max 3D texture size = 256\n");
}

TEST(DemoStepsTest, MissingRequiredExtensionsAreNamedOnStandardError) {
    recgl::Profile profile;
    profile.version = "1.2.1";
    profile.extensions = "GL_EXT_point_parameters GL_ARB_multitexture_x GL_EXT_other";
    recgl::Reset(profile);
    ::testing::internal::CaptureStderr();
    CheckRequiredExtensions();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Error - required extensions were not supported: "
              "GL_NV_point_sprite GL_ARB_multitexture ");
}

TEST(DemoStepsTest, IdleStepPoursThenRequestsAFrame) {
    recgl::Reset();
    InstallRunningParameters();
    if (velX == nullptr) {
        ASSERT_TRUE(AllocateFields());
    }
    ClearFields();
    windowWidth = windowHeight = 500;
    OnMouse(2, 0, 250, 250);
    OnIdle();
    OnIdle();
    OnMouse(2, 1, 250, 250);
    // Two ticks of 40 scaled by the time step 0.4, not carried anywhere without velocity.
    EXPECT_EQ(density[CellIndex(9, 9, 8)], 32.0f);
    EXPECT_EQ(velX[CellIndex(9, 9, 8)], 0.0f);
    EXPECT_THAT(recgl::CallLines(), ElementsAre("glutPostRedisplay()", "glutPostRedisplay()"));
}

}  // namespace
