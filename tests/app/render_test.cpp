// Drawing, camera and particle texture against the recording GL.
#include <GL/gl.h>
#include <GL/glext.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/interaction.h"
#include "app/volume_render.h"
#include "glext/entry_points.h"
#include "image/bmp_loader.h"
#include "platform/platform.h"
#include "recgl/recording_gl.h"
#include "solver/grid.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

void ReleaseFields() {
    for (float** field :
         {&velX, &velY, &velZ, &velXPrev, &velYPrev, &velZPrev, &density, &densityPrev}) {
        free(*field);
        *field = nullptr;
    }
}

std::vector<std::string> Names(const std::vector<recgl::Call>& calls) {
    std::vector<std::string> names;
    for (const recgl::Call& call : calls) {
        names.push_back(call.name);
    }
    return names;
}

std::vector<double> Args(const recgl::Call& call) {
    std::vector<double> values;
    for (const recgl::Arg& arg : call.args) {
        values.push_back(arg.kind == recgl::ArgKind::Float ? arg.real
                                                           : static_cast<double>(arg.integer));
    }
    return values;
}

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        recgl::Profile profile;
        profile.floats[GL_POINT_SIZE_MAX_EXT] = {63.0f};
        recgl::Reset(profile);
        ReleaseFields();  // every test starts from one allocation, so nothing leaks
        InstallRunningParameters();
        ASSERT_TRUE(AllocateFields());
        ClearFields();
        ASSERT_TRUE(glext::LoadEntryPoints("GL_EXT_point_parameters"));
        viewAngleX = viewAngleY = 0.0f;
        recgl::ClearCalls();
    }
};

TEST_F(RenderTest, InitGlStateSetsBlackClearAndAdditiveBlending) {
    InitGlState();
    EXPECT_THAT(recgl::CallLines(),
                ElementsAre("glClearColor(0, 0, 0, 1)", "glEnable(GL_TEXTURE_2D)",
                            "glEnable(GL_BLEND)", "glBlendFunc(GL_SRC_ALPHA, GL_ONE)"));
}

TEST_F(RenderTest, DrawVolumeSendsOneSpritePerCellThenTheWireCube) {
    density[CellIndex(1, 1, 1)] = 0.5f;
    density[CellIndex(16, 16, 16)] = 1.5f;
    glEnable(GL_TEXTURE_2D);
    recgl::ClearCalls();

    DrawVolume();
    const std::vector<recgl::Call>& calls = recgl::Calls();
    ASSERT_EQ(calls.size(), 8u + 2 * 4096 + 5 + 2 * 24 + 3);

    // Point parameters, with the point size read back from the implementation.
    EXPECT_THAT(recgl::CallLines(),
                ::testing::IsSupersetOf(
                    {"glPointParameterfvEXT(GL_DISTANCE_ATTENUATION_EXT, {1, 0, 0.001})",
                     "glPointSize(63)"}));
    EXPECT_THAT(Names({calls.begin(), calls.begin() + 8}),
                ElementsAre("glPointParameterfvEXT", "glPointSize", "glPointParameterfEXT",
                            "glPointParameterfEXT", "glPointParameterfEXT", "glTexEnvf",
                            "glEnable", "glBegin"));
    EXPECT_EQ(calls[2].Int(0), GL_POINT_FADE_THRESHOLD_SIZE_EXT);
    EXPECT_EQ(calls[2].Float(1), 60.0);
    EXPECT_EQ(calls[3].Int(0), GL_POINT_SIZE_MIN_EXT);
    EXPECT_EQ(calls[3].Float(1), 40.0);
    EXPECT_EQ(calls[4].Int(0), GL_POINT_SIZE_MAX_EXT);
    EXPECT_EQ(calls[4].Float(1), 45.0);
    EXPECT_THAT(Args(calls[5]), ElementsAre(GL_POINT_SPRITE_NV, GL_COORD_REPLACE_NV, 1.0));
    EXPECT_EQ(calls[6].Int(0), GL_POINT_SPRITE_NV);
    EXPECT_EQ(calls[7].Int(0), GL_POINTS);

    // Points: k outermost, j innermost; colour then vertex; alpha = density squared.
    size_t n = 8;
    EXPECT_THAT(Args(calls[n]), ElementsAre(0.7f, 0.7f, 1.0f, 0.25f));
    EXPECT_THAT(Args(calls[n + 1]), ElementsAre(-0.875f, -0.875f, -0.875f));  // cell (1, 1, 1)
    EXPECT_THAT(Args(calls[n + 3]), ElementsAre(-0.875f, -0.75f, -0.875f));   // cell (1, 2, 1)
    EXPECT_THAT(Args(calls[n + 33]), ElementsAre(-0.75f, -0.875f, -0.875f));  // cell (2, 1, 1)
    EXPECT_EQ(calls[n + 2].Float(3), 0.0);
    n += 2 * 4095;
    EXPECT_THAT(Args(calls[n]), ElementsAre(0.7f, 0.7f, 1.0f, 2.25f));
    EXPECT_THAT(Args(calls[n + 1]), ElementsAre(1.0f, 1.0f, 1.0f));  // cell (16, 16, 16)
    n += 2;
    int vertices = 0;
    for (size_t c = 8; c < n; ++c) {
        vertices += calls[c].name == "glVertex3f";
    }
    EXPECT_EQ(vertices, 4096);

    // The wire cube, untextured, in line mode, then the state as it was.
    const std::vector<std::string> lines = recgl::CallLines();
    EXPECT_THAT(std::vector<std::string>(lines.begin() + n, lines.begin() + n + 5),
                ElementsAre("glEnd()", "glDisable(GL_TEXTURE_2D)",
                            "glPolygonMode(GL_FRONT_AND_BACK, GL_LINE)",
                            "glColor4f(1, 1, 1, 255)", "glBegin(GL_QUADS)"));
    n += 5;
    const float cube[24][5] = {
        {0, 0, -1, -1, 1},  {1, 0, 1, -1, 1},  {1, 1, 1, 1, 1},   {0, 1, -1, 1, 1},
        {1, 0, -1, -1, -1}, {1, 1, -1, 1, -1}, {0, 1, 1, 1, -1},  {0, 0, 1, -1, -1},
        {0, 1, -1, 1, -1},  {0, 0, -1, 1, 1},  {1, 0, 1, 1, 1},   {1, 1, 1, 1, -1},
        {1, 1, -1, -1, -1}, {0, 1, 1, -1, -1}, {0, 0, 1, -1, 1},  {1, 0, -1, -1, 1},
        {1, 0, 1, -1, -1},  {1, 1, 1, 1, -1},  {0, 1, 1, 1, 1},   {0, 0, 1, -1, 1},
        {0, 0, -1, -1, -1}, {1, 0, -1, -1, 1}, {1, 1, -1, 1, 1},  {0, 1, -1, 1, -1},
    };
    for (const auto& v : cube) {
        EXPECT_EQ(calls[n].name, "glTexCoord2f");
        EXPECT_THAT(Args(calls[n]), ElementsAre(v[0], v[1])) << n;
        EXPECT_EQ(calls[n + 1].name, "glVertex3f");
        EXPECT_THAT(Args(calls[n + 1]), ElementsAre(v[2], v[3], v[4])) << n;
        n += 2;
    }
    EXPECT_THAT(std::vector<std::string>(lines.begin() + n, lines.end()),
                ElementsAre("glEnd()", "glEnable(GL_TEXTURE_2D)",
                            "glPolygonMode(GL_FRONT_AND_BACK, GL_FILL)"));
    EXPECT_TRUE(recgl::IsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(recgl::IsEnabled(GL_POINT_SPRITE_NV));
}

TEST_F(RenderTest, DrawVolumeSkipsMissingPointParameters) {
    glext::glPointParameterfvEXT = nullptr;
    DrawVolume();
    ASSERT_TRUE(glext::LoadEntryPoints("GL_EXT_point_parameters"));
    glext::glPointParameterfEXT = nullptr;
    DrawVolume();
    for (const recgl::Call& call : recgl::Calls()) {
        EXPECT_THAT(call.name, ::testing::Not(HasSubstr("PointParameter")));
        EXPECT_NE(call.name, "glPointSize");
    }
    EXPECT_EQ(recgl::Calls().front().name, "glTexEnvf");
    EXPECT_EQ(recgl::Calls().size(), 2 * (3u + 2 * 4096 + 5 + 2 * 24 + 3));
}

TEST_F(RenderTest, DisplayTurnsTheSceneByTheViewAngles) {
    OnKeyboard('a', 0, 0);
    viewAngleX = -3.0f;
    OnDisplay();
    const std::vector<std::string> lines = recgl::CallLines();
    ASSERT_GT(lines.size(), 10u);
    EXPECT_THAT(std::vector<std::string>(lines.begin(), lines.begin() + 7),
                ElementsAre("glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT)",
                            "glMatrixMode(GL_MODELVIEW)", "glPushMatrix()", "glLoadIdentity()",
                            "glTranslatef(0, 0, -4)", "glRotatef(0.5, 0, 1, 0)",
                            "glRotatef(-3, 1, 0, 0)"));
    EXPECT_EQ(lines[7], recgl::FormatCall(recgl::Calls()[7]));
    EXPECT_EQ(recgl::Calls()[7].name, "glPointParameterfvEXT");  // the volume follows
    EXPECT_THAT(std::vector<std::string>(lines.end() - 2, lines.end()),
                ElementsAre("glPopMatrix()", "glutSwapBuffers()"));
}

TEST_F(RenderTest, ReshapeSetsCameraAndWindowSize) {
    OnReshape(800, 400);
    EXPECT_EQ(windowWidth, 800);
    EXPECT_EQ(windowHeight, 400);
    const std::vector<recgl::Call>& calls = recgl::Calls();
    EXPECT_THAT(Names(calls), ElementsAre("glMatrixMode", "glLoadIdentity", "gluPerspective",
                                          "glMatrixMode", "glViewport"));
    EXPECT_EQ(calls[0].Int(0), GL_PROJECTION);
    EXPECT_THAT(Args(calls[2]), ElementsAre(60.0, 2.0, 2.0, 200.0));
    EXPECT_EQ(calls[3].Int(0), GL_MODELVIEW);
    EXPECT_THAT(Args(calls[4]), ElementsAre(0, 0, 800, 400));

    // A window without height is taken as one pixel high.
    recgl::ClearCalls();
    OnReshape(800, 0);
    EXPECT_EQ(windowHeight, 0);
    EXPECT_THAT(Args(recgl::Calls()[2]), ElementsAre(60.0, 800.0, 2.0, 200.0));
    EXPECT_THAT(Args(recgl::Calls()[4]), ElementsAre(0, 0, 800, 0));
}

// Three pixels wide, two high: (200,100,50) (1,1,1) (255,255,255) / (0,0,0) (10,20,30) (7,8,9)
const unsigned char kPixels[] = {200, 100, 50, 1, 1, 1, 255, 255, 255,
                                 0,   0,   0,  10, 20, 30, 7, 8, 9};
const unsigned char kTexels[] = {100, 50, 50, 100, 0, 0, 1,  0, 127, 127, 255, 127,
                                 0,   0,  0,  0,   5, 10, 30, 5, 3,   4,   9,   3};

TEST(ParticleTexelsTest, HalveRedAndGreenKeepBlueAlphaFromRed) {
    // A buffer of exactly width x height pixels: reading past it would trip the sanitizer.
    auto* data = static_cast<unsigned char*>(malloc(sizeof kPixels));
    std::copy(std::begin(kPixels), std::end(kPixels), data);
    RgbImage image{3, 2, data};
    unsigned char* texels = BuildParticleTexels(image);
    ASSERT_NE(texels, nullptr);
    EXPECT_THAT(std::vector<unsigned char>(texels, texels + 24), ElementsAreArray(kTexels));
    free(texels);

    for (RgbImage bad : {RgbImage{3, 2, nullptr}, RgbImage{0, 2, data}, RgbImage{3, -2, data}}) {
        EXPECT_EQ(BuildParticleTexels(bad), nullptr);
    }
    free(data);
}

std::vector<std::string> messages;
void CaptureMessage(const char* title, const char* text) {
    messages.push_back(std::string(title) + ": " + text);
}

void ExpectRunningStateInstalled() {
    EXPECT_EQ(gridX, 16);
    EXPECT_EQ(gridZ, 16);
    EXPECT_EQ(timeStep, 0.4f);
    EXPECT_EQ(viscosity, 0.0001f);
    EXPECT_EQ(sourceAmount, 40.0f);
    EXPECT_EQ(windowWidth, 512);
    EXPECT_EQ(windowHeight, 512);
    EXPECT_EQ(density[CellIndex(3, 4, 5)], 0.0f);
}

TEST_F(RenderTest, ParticleTextureUploadsTheTexelsOfParticleBmp) {
    InstallStartupParameters();
    ReleaseFields();
    PrepareParticleTexture();  // particle.bmp of the working directory

    const std::vector<std::string> lines = recgl::CallLines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_THAT(recgl::Calls()[0].name, "glGenTextures");
    EXPECT_NE(particleTexture, 0u);
    EXPECT_EQ(lines[1], "glBindTexture(GL_TEXTURE_2D, " + std::to_string(particleTexture) + ")");
    EXPECT_EQ(lines[2], "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR)");
    EXPECT_EQ(lines[3], "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR)");
    EXPECT_EQ(lines[5], "glPointSize(63)");
    ExpectRunningStateInstalled();

    RgbImage* image = LoadBmpImage("particle.bmp");
    ASSERT_NE(image, nullptr);
    unsigned char* texels = BuildParticleTexels(*image);
    const recgl::Call& upload = recgl::Calls()[4];
    ASSERT_EQ(upload.name, "glTexImage2D");
    EXPECT_EQ(upload.Int(3), image->width);
    EXPECT_EQ(upload.Int(4), image->height);
    EXPECT_THAT(upload.args[8].bytes,
                ElementsAreArray(texels, size_t(image->width) * image->height * 4));
    free(texels);
    free(image->data);
    free(image);
}

TEST_F(RenderTest, MissingParticleFileLeavesSpritesUntextured) {
    density[CellIndex(3, 4, 5)] = 1.0f;
    windowWidth = 500;
    particleTexture = 0;
    messages.clear();
    const platform::MessageSink previous = platform::SetMessageSink(CaptureMessage);
    ReleaseFields();
    PrepareParticleTextureFrom("no_such_particle.bmp");
    platform::SetMessageSink(previous);

    ASSERT_EQ(messages.size(), 1u);
    EXPECT_THAT(messages[0], HasSubstr("Error: "));
    EXPECT_THAT(messages[0], HasSubstr("no_such_particle.bmp"));
    EXPECT_THAT(recgl::CallLines(), ElementsAre("glPointSize(63)"));
    EXPECT_EQ(particleTexture, 0u);
    ExpectRunningStateInstalled();
}

}  // namespace
