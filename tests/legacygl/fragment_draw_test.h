// A suite drawing one fragment through the layer's register combiners and texture shaders: the
// fragment's attributes are drawn by the real driver and held against the CPU evaluation of the
// state the test expects. Each test starts and ends with both extensions off and no shader
// operation or 2D texture on the units it may use.
#pragma once

#include <algorithm>

#include "fragmentprogram/reference_evaluator.h"
#include "tests/legacygl/gl_harness.h"

namespace legacygltest {

// The float framebuffer holds what the program computes; driver and evaluator may differ in the
// last bits of products.
constexpr float kTolerance = 1e-5f;

class FragmentDrawTest : public HarnessTest {
  protected:
    // The units a test may use.
    static constexpr int kUnits = 4;

    void SetUp() override {
        HarnessTest::SetUp();
        if (HasFatalFailure()) return;
        GLint units = 0;
        glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
        expected_.textureUnits = std::min(units, GLint(fragmentprogram::kMaxTextureUnits));
        fragment_.primary = {0.9f, 0.6f, 0.3f, 0.8f};
        fragment_.secondary = {0.2f, 0.7f, 0.4f, 0};
        fragment_.texcoord[0] = {0.5f, 0.5f, 0, 1};
        fragment_.texcoord[1] = {0.2f, 0.4f, 0.8f, 1};
        fragment_.texcoord[2] = {-0.6f, 0.2f, 0.9f, 1};
    }
    void TearDown() override {
        glDisable(GL_REGISTER_COMBINERS_NV);
        glDisable(GL_TEXTURE_SHADER_NV);
        for (int unit = 0; unit < kUnits; ++unit) {
            glActiveTexture(GL_TEXTURE0 + unit);
            glDisable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, 0);
            glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_NONE);
        }
        glActiveTexture(GL_TEXTURE0);
        while (glGetError() != GL_NO_ERROR) {
        }
    }

    // Draws the point with the fragment's attributes.
    fragmentprogram::Vec4 Draw() {
        glColor4fv(fragment_.primary.data());
        glSecondaryColor3fv(fragment_.secondary.data());
        for (int unit = 0; unit < kUnits; ++unit)
            glMultiTexCoord4fv(GL_TEXTURE0 + unit, fragment_.texcoord[unit].data());
        const vertexprogram::Vec4 pixel = harness->DrawPoint();
        return {pixel[0], pixel[1], pixel[2], pixel[3]};
    }

    void ExpectEvaluated(const fragmentprogram::Vec4& drawn) {
        const fragmentprogram::Outcome outcome =
            fragmentprogram::Evaluate(expected_, env_, fragment_);
        ASSERT_FALSE(outcome.discarded);
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(drawn[k], outcome.color[k], kTolerance) << "component " << k;
    }

    fragmentprogram::FragmentState expected_;
    fragmentprogram::Environment env_;
    fragmentprogram::Fragment fragment_;
};

}  // namespace legacygltest
