// Start-up reports, idle step, drawing, camera and particle texture against the recording GL.
#include <GL/gl.h>
#include <GL/glext.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/demo_main.h"
#include "app/interaction.h"
#include "app/volume_render.h"
#include "glext/entry_points.h"
#include "image/bmp_loader.h"
#include "platform/platform.h"
#include "recgl/recording_gl.h"
#include "solver/grid.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Up to `count` recorded calls from `from` on, as text.
std::vector<std::string> Lines(size_t from, size_t count) {
    const std::vector<std::string> lines = recgl::CallLines();
    from = std::min(from, lines.size());
    return {lines.begin() + from, lines.begin() + std::min(lines.size(), from + count)};
}

void ReleaseFields() {
    for (float** f : {&velX, &velY, &velZ, &velXPrev, &velYPrev, &velZPrev, &density, &densityPrev})
        free(*f), *f = nullptr;
}

// Every test starts from one allocation of the running fields, so nothing leaks.
class RenderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        recgl::Profile profile;
        profile.floats[GL_POINT_SIZE_MAX_EXT] = {63.0f};
        recgl::Reset(profile);
        ReleaseFields();
        InstallRunningParameters();
        ASSERT_TRUE(AllocateFields());
        ClearFields();
        ASSERT_TRUE(glext::LoadEntryPoints("GL_EXT_point_parameters"));
        viewAngleX = viewAngleY = 0.0f;
        recgl::ClearCalls();
    }
};

TEST_F(RenderTest, StartupReportsAndIdleStep) {
    InitGlState();
    EXPECT_THAT(recgl::CallLines(),
                ElementsAre("glClearColor(0, 0, 0, 1)", "glEnable(GL_TEXTURE_2D)",
                            "glEnable(GL_BLEND)", "glBlendFunc(GL_SRC_ALPHA, GL_ONE)"));
    recgl::Profile profile;
    profile.vendor = "Test Vendor", profile.renderer = "Test Renderer", profile.version = "1.2.1";
    profile.extensions = "GL_EXT_point_parameters GL_ARB_multitexture_x GL_EXT_other";
    profile.integers[GL_MAX_3D_TEXTURE_SIZE] = {256};
    recgl::Reset(profile);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    PrintRendererInfo();
    CheckRequiredExtensions();
    EXPECT_EQ(
        ::testing::internal::GetCapturedStderr(),
        "Error - required extensions were not supported: GL_NV_point_sprite GL_ARB_multitexture ");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Vendor:   Test Vendor\nRenderer: Test Renderer\nVersion:  1.2.1\n"
              "Extensions: GL_EXT_point_parameters GL_ARB_multitexture_x GL_EXT_other\nMax 3D "
              "texture size = 256\n");

    // Two idle ticks pour 2 x 40 x 0.4 with no velocity to carry it; each asks for a frame.
    recgl::ClearCalls();
    windowWidth = windowHeight = 500;
    OnMouse(2, 0, 250, 250);
    OnIdle();
    OnIdle();
    EXPECT_EQ(density[CellIndex(9, 9, 8)], 32.0f);
    EXPECT_THAT(recgl::CallLines(), ElementsAre("glutPostRedisplay()", "glutPostRedisplay()"));
}

TEST_F(RenderTest, DisplayDrawsOneSpritePerCellThenTheWireCubeAndRestoresState) {
    density[CellIndex(1, 1, 1)] = 0.5f;
    density[CellIndex(16, 16, 16)] = 1.5f;
    OnKeyboard('a', 0, 0);
    viewAngleX = -3.0f;
    glEnable(GL_TEXTURE_2D);
    recgl::ClearCalls();
    OnDisplay();
    ASSERT_EQ(recgl::Calls().size(), 15 + 2 * 4096 + 5 + 2 * 24 + 5u);
    // The point size is read back from the implementation.
    EXPECT_THAT(
        Lines(0, 15),
        ElementsAre("glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT)",
                    "glMatrixMode(GL_MODELVIEW)", "glPushMatrix()", "glLoadIdentity()",
                    "glTranslatef(0, 0, -4)", "glRotatef(0.5, 0, 1, 0)", "glRotatef(-3, 1, 0, 0)",
                    "glPointParameterfvEXT(GL_DISTANCE_ATTENUATION_EXT, {1, 0, 0.001})",
                    "glPointSize(63)", "glPointParameterfEXT(GL_POINT_FADE_THRESHOLD_SIZE_EXT, 60)",
                    "glPointParameterfEXT(GL_POINT_SIZE_MIN_EXT, 40)",
                    "glPointParameterfEXT(GL_POINT_SIZE_MAX_EXT, 45)",
                    "glTexEnvf(GL_POINT_SPRITE_NV, GL_COORD_REPLACE_NV, GL_TRUE)",
                    "glEnable(GL_POINT_SPRITE_NV)", "glBegin(GL_POINTS)"));
    // Points: k outermost, j innermost; colour then vertex; alpha = density squared.
    const size_t end = 15 + 2 * 4096;
    EXPECT_THAT(Lines(15, 4),
                ElementsAre("glColor4f(0.7, 0.7, 1, 0.25)", "glVertex3f(-0.875, -0.875, -0.875)",
                            "glColor4f(0.7, 0.7, 1, 0)", "glVertex3f(-0.875, -0.75, -0.875)"));
    EXPECT_THAT(Lines(15 + 33, 1), ElementsAre("glVertex3f(-0.75, -0.875, -0.875)"));
    int vertices = 0;
    for (const std::string& line : Lines(15, 2 * 4096))
        vertices += line.rfind("glVertex3f", 0) == 0;
    EXPECT_EQ(vertices, 4096);
    // Then the wire cube, untextured and in line mode: texture coordinate and vertex, 24 times.
    EXPECT_THAT(Lines(end - 2, 7),
                ElementsAre("glColor4f(0.7, 0.7, 1, 2.25)", "glVertex3f(1, 1, 1)", "glEnd()",
                            "glDisable(GL_TEXTURE_2D)", "glPolygonMode(GL_FRONT_AND_BACK, GL_LINE)",
                            "glColor4f(1, 1, 1, 255)", "glBegin(GL_QUADS)"));
    const int cube[24][5] = {
        // s, t, x, y, z; one face per line
        {0, 0, -1, -1, 1},  {1, 0, 1, -1, 1},  {1, 1, 1, 1, 1},  {0, 1, -1, 1, 1},
        {1, 0, -1, -1, -1}, {1, 1, -1, 1, -1}, {0, 1, 1, 1, -1}, {0, 0, 1, -1, -1},
        {0, 1, -1, 1, -1},  {0, 0, -1, 1, 1},  {1, 0, 1, 1, 1},  {1, 1, 1, 1, -1},
        {1, 1, -1, -1, -1}, {0, 1, 1, -1, -1}, {0, 0, 1, -1, 1}, {1, 0, -1, -1, 1},
        {1, 0, 1, -1, -1},  {1, 1, 1, 1, -1},  {0, 1, 1, 1, 1},  {0, 0, 1, -1, 1},
        {0, 0, -1, -1, -1}, {1, 0, -1, -1, 1}, {1, 1, -1, 1, 1}, {0, 1, -1, 1, -1},
    };
    std::vector<std::string> expected;
    for (const auto& v : cube) {
        const auto n = [&v](int i) { return std::to_string(v[i]); };
        expected.push_back("glTexCoord2f(" + n(0) + ", " + n(1) + ")");
        expected.push_back("glVertex3f(" + n(2) + ", " + n(3) + ", " + n(4) + ")");
    }
    EXPECT_EQ(Lines(end + 5, 48), expected);
    EXPECT_THAT(Lines(end + 53, 5), ElementsAre("glEnd()", "glEnable(GL_TEXTURE_2D)",
                                                "glPolygonMode(GL_FRONT_AND_BACK, GL_FILL)",
                                                "glPopMatrix()", "glutSwapBuffers()"));
}

// Without either point-parameter entry point the sprites keep the size set at start-up.
TEST_F(RenderTest, DrawVolumeSkipsMissingPointParameters) {
    glext::glPointParameterfvEXT = nullptr;
    DrawVolume();
    ASSERT_TRUE(glext::LoadEntryPoints("GL_EXT_point_parameters"));
    glext::glPointParameterfEXT = nullptr;
    DrawVolume();
    EXPECT_EQ(recgl::Calls().size(), 2 * (3u + 2 * 4096 + 5 + 2 * 24 + 3));
    EXPECT_EQ(recgl::Calls().front().name, "glTexEnvf");
    for (const std::string& line : recgl::CallLines())
        EXPECT_THAT(line, ::testing::Not(HasSubstr("Point")));
}

TEST_F(RenderTest, ReshapeSetsCameraAndWindowSize) {
    OnReshape(800, 400);
    OnReshape(800, 0);  // a window without height is taken as one pixel high
    EXPECT_EQ(windowWidth, 800);
    EXPECT_EQ(windowHeight, 0);
    EXPECT_THAT(recgl::CallLines(),
                ElementsAre("glMatrixMode(GL_PROJECTION)", "glLoadIdentity()",
                            "gluPerspective(60, 2, 2, 200)", "glMatrixMode(GL_MODELVIEW)",
                            "glViewport(0, 0, 800, 400)", "glMatrixMode(GL_PROJECTION)",
                            "glLoadIdentity()", "gluPerspective(60, 800, 2, 200)",
                            "glMatrixMode(GL_MODELVIEW)", "glViewport(0, 0, 800, 0)"));
}

TEST(ParticleTexelsTest, HalveRedAndGreenKeepBlueAlphaFromRed) {
    // Three by two pixels in a buffer of exactly that size: reading past it trips the sanitizer.
    const unsigned char pixels[] = {200, 100, 50, 1,  1,  1,  255, 255, 255,
                                    0,   0,   0,  10, 20, 30, 7,   8,   9};
    auto* data = static_cast<unsigned char*>(malloc(sizeof pixels));
    std::copy(std::begin(pixels), std::end(pixels), data);
    unsigned char* texels = BuildParticleTexels(RgbImage{3, 2, data});
    ASSERT_NE(texels, nullptr);
    EXPECT_THAT(std::vector<unsigned char>(texels, texels + 24),
                ElementsAre(100, 50, 50, 100, 0, 0, 1, 0, 127, 127, 255, 127, 0, 0, 0, 0, 5, 10, 30,
                            5, 3, 4, 9, 3));
    free(texels);
    for (RgbImage bad : {RgbImage{3, 2, nullptr}, RgbImage{0, 2, data}, RgbImage{3, -2, data}})
        EXPECT_EQ(BuildParticleTexels(bad), nullptr);
    free(data);
}

std::vector<std::string> messages;
void CaptureMessage(const char* title, const char* text) {
    messages.push_back(std::string(title) + ": " + text);
}

// Both paths install the running state anew: second allocation, window 512 x 512, empty grid.
// Without the file the sprites stay untextured.
TEST_F(RenderTest, ParticleTextureFromParticleBmpOrUntexturedWithoutIt) {
    for (const std::string file : {"no_such_particle.bmp", "particle.bmp"}) {
        InstallStartupParameters();
        ReleaseFields();
        recgl::ClearCalls();
        particleTexture = 0;
        const bool missing = file != "particle.bmp";
        const platform::MessageSink previous = platform::SetMessageSink(CaptureMessage);
        missing ? PrepareParticleTextureFrom(file.c_str()) : PrepareParticleTexture();
        platform::SetMessageSink(previous);
        EXPECT_EQ(particleTexture == 0, missing);
        EXPECT_EQ(recgl::CallLines().size(), missing ? 1u : 6u);
        EXPECT_EQ(recgl::CallLines().back(), "glPointSize(63)");
        EXPECT_EQ((std::vector<float>{float(gridX), float(gridY), float(gridZ), timeStep, viscosity,
                                      sourceAmount, float(windowWidth), float(windowHeight)}),
                  (std::vector<float>{16, 16, 16, 0.4f, 0.0001f, 40, 512, 512}));
        ASSERT_NE(density, nullptr);
        EXPECT_EQ(density[CellIndex(3, 4, 5)], 0.0f);
    }
    ASSERT_EQ(messages.size(), 1u);  // only the missing file is reported
    EXPECT_THAT(messages[0], ::testing::MatchesRegex("Error: .*no_such_particle\\.bmp.*"));

    RgbImage* image = LoadBmpImage("particle.bmp");
    ASSERT_NE(image, nullptr);
    ASSERT_NE(particleTexture, 0u);
    const std::string size = std::to_string(image->width) + ", " + std::to_string(image->height);
    EXPECT_THAT(recgl::CallLines(),
                ElementsAre(HasSubstr("glGenTextures(1"),
                            "glBindTexture(GL_TEXTURE_2D, " + std::to_string(particleTexture) + ")",
                            "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR)",
                            "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR)",
                            HasSubstr("glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, " + size),
                            "glPointSize(63)"));
    unsigned char* texels = BuildParticleTexels(*image);
    EXPECT_EQ(recgl::Calls()[4].args[8].bytes,
              std::vector<unsigned char>(texels, texels + image->width * image->height * 4));
    free(texels);
    free(image->data);
    free(image);
}

// A picture beyond GL's texture size is refused by the loader with one message: no texture.
TEST_F(RenderTest, ParticleImageBeyondTheTextureLimitIsRefused) {
    for (const GLint limit : {64, 63}) {  // particle.bmp is 64 x 64
        recgl::CurrentProfile().integers[GL_MAX_TEXTURE_SIZE] = {limit};
        ReleaseFields();
        particleTexture = 0;
        messages.clear();
        const platform::MessageSink previous = platform::SetMessageSink(CaptureMessage);
        PrepareParticleTexture();
        platform::SetMessageSink(previous);
        EXPECT_EQ(particleTexture != 0, limit == 64) << limit;
        EXPECT_EQ(messages, limit == 64
                                ? std::vector<std::string>{}
                                : std::vector<std::string>{"Error: DIB file image is too large."})
            << limit;
    }
}

}  // namespace
