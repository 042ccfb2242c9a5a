// The legacy texture formats uploaded through the layer and read by the real driver under Xvfb:
// texture-shader set-ups against the CPU evaluation of the same state, and the float storage
// read by a program of the test's own against the extensions' conversion written out here.
#define GL_GLEXT_PROTOTYPES 1

#include <gtest/gtest.h>

#include <algorithm>

#include "fragmentprogram/reference_evaluator.h"

// After gtest: X11 (through GLX) defines names such as None.
#include "tests/legacygl/gl_harness.h"

namespace {

using fragmentprogram::FragmentState;
using fragmentprogram::Vec4;
using legacygltest::GlHarness;

GlHarness* harness = nullptr;

// The float framebuffer holds what the program computes; driver and evaluator may differ in the
// last bits of products.
constexpr float kTolerance = 1e-5f;
constexpr int kUnits = 4;

class LegacyTextureRender : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { harness = new GlHarness(); }
    static void TearDownTestSuite() {
        delete harness;
        harness = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(harness->Ready()) << "no GL context on a virtual display";
        GLint units = 0;
        glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
        expected_.textureUnits = std::min(units, GLint(fragmentprogram::kMaxTextureUnits));
        fragment_.primary = {0.9f, 0.6f, 0.3f, 0.8f};
        fragment_.texcoord[0] = {0.5f, 0.5f, 0, 1};
    }
    void TearDown() override {
        glDisable(GL_TEXTURE_SHADER_NV);
        for (int unit = 0; unit < kUnits; ++unit) {
            glActiveTexture(GL_TEXTURE0 + unit);
            glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_NONE);
        }
        glActiveTexture(GL_TEXTURE0);
        while (glGetError() != GL_NO_ERROR) {
        }
    }

    // Draws the point with the fragment's attributes.
    Vec4 Draw() {
        glColor4fv(fragment_.primary.data());
        for (int unit = 0; unit < kUnits; ++unit)
            glMultiTexCoord4fv(GL_TEXTURE0 + unit, fragment_.texcoord[unit].data());
        const vertexprogram::Vec4 pixel = harness->DrawPoint();
        return {pixel[0], pixel[1], pixel[2], pixel[3]};
    }

    void ExpectEvaluated(const Vec4& drawn) {
        const fragmentprogram::Outcome outcome =
            fragmentprogram::Evaluate(expected_, env_, fragment_);
        ASSERT_FALSE(outcome.discarded);
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(drawn[k], outcome.color[k], kTolerance) << "component " << k;
    }

    FragmentState expected_;
    fragmentprogram::Environment env_;
    fragmentprogram::Fragment fragment_;
};

TEST_F(LegacyTextureRender, SignedUploadsHonourTheUnpackRowsAndSubImagesReplaceTexels) {
    // 2x2 signed RGB bytes, rows of 6 bytes padded to 8 by the default alignment of 4.
    const GLbyte rows[16] = {10, 20, 30, 40, 50, 60, -7, -7, 70, 80, 90, 100, 110, 120, -7, -7};
    glActiveTexture(GL_TEXTURE0);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_SIGNED_RGB8_NV, 2, 2, 0, GL_RGB, GL_BYTE, rows);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_TEXTURE_2D);
    glEnable(GL_TEXTURE_SHADER_NV);
    expected_.textureShaders = true;
    expected_.units[0].shader.operation = GL_TEXTURE_2D;
    expected_.units[0].targets[fragmentprogram::k2D] = {
        true, {GL_RGB, fragmentprogram::Signedness::kSigned}};
    GLbyte texels[2][2][3];
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            for (int c = 0; c < 3; ++c) texels[y][x][c] = rows[8 * y + 3 * x + c];
    env_.sample = [&texels](int, int, const Vec4& coord) {
        const GLbyte* t = texels[coord[1] < 0.5f ? 0 : 1][coord[0] < 0.5f ? 0 : 1];
        return Vec4{t[0] / 128.0f, t[1] / 128.0f, t[2] / 128.0f, 1};
    };
    for (const Vec4& at : {Vec4{0.75f, 0.75f, 0, 1}, Vec4{0.25f, 0.75f, 0, 1}}) {
        fragment_.texcoord[0] = at;
        ExpectEvaluated(Draw());
    }
    // One texel replaced, in the texture's own signed format.
    const GLbyte replacement[3] = {127, 64, 1};
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 1, 1, 1, GL_RGB, GL_BYTE, replacement);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    std::copy(replacement, replacement + 3, texels[1][0]);
    ExpectEvaluated(Draw());
    glDeleteTextures(1, &name);
}

}  // namespace
