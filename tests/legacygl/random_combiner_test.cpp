// Random register-combiner set-ups made through the layer's entry points and drawn by the real
// driver under Xvfb, each pixel held against the CPU evaluation of the same state.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/fragmentprogram/render_setups.h"
#include "tests/fragmentprogram/render_compare.h"

namespace {

using namespace fragmentprogram;
using fragmenttest::TestTexture;

template <typename F>
F Fetch(const char* name) {
    return reinterpret_cast<F>(platform::LookupGlProc(name));
}

// The extensions' commands, fetched from the layer.
struct Commands {
    PFNGLCOMBINERPARAMETERINVPROC parameteri =
        Fetch<PFNGLCOMBINERPARAMETERINVPROC>("glCombinerParameteriNV");
    PFNGLCOMBINERPARAMETERFVNVPROC parameterfv =
        Fetch<PFNGLCOMBINERPARAMETERFVNVPROC>("glCombinerParameterfvNV");
    PFNGLCOMBINERINPUTNVPROC input = Fetch<PFNGLCOMBINERINPUTNVPROC>("glCombinerInputNV");
    PFNGLCOMBINEROUTPUTNVPROC output = Fetch<PFNGLCOMBINEROUTPUTNVPROC>("glCombinerOutputNV");
    PFNGLFINALCOMBINERINPUTNVPROC final =
        Fetch<PFNGLFINALCOMBINERINPUTNVPROC>("glFinalCombinerInputNV");
    PFNGLCOMBINERSTAGEPARAMETERFVNVPROC stageParameter =
        Fetch<PFNGLCOMBINERSTAGEPARAMETERFVNVPROC>("glCombinerStageParameterfvNV");
};

void Capability(GLenum cap, bool on) {
    if (on) {
        glEnable(cap);
    } else {
        glDisable(cap);
    }
}

// Sets the combiner state through the commands and enables.
void SetThroughTheLayer(const Commands& gl, const CombinerState& c) {
    gl.parameteri(GL_NUM_GENERAL_COMBINERS_NV, c.generalCombiners);
    gl.parameteri(GL_COLOR_SUM_CLAMP_NV, c.colorSumClamp ? GL_TRUE : GL_FALSE);
    gl.parameterfv(GL_CONSTANT_COLOR0_NV, c.constant0.data());
    gl.parameterfv(GL_CONSTANT_COLOR1_NV, c.constant1.data());
    for (int s = 0; s < c.generalCombiners; ++s) {
        const GLenum stage = GL_COMBINER0_NV + s;
        const GeneralCombiner& g = c.stages[s];
        gl.stageParameter(stage, GL_CONSTANT_COLOR0_NV, g.constant0.data());
        gl.stageParameter(stage, GL_CONSTANT_COLOR1_NV, g.constant1.data());
        for (GLenum portion : {GL_RGB, GL_ALPHA}) {
            const CombinerPortion& p = portion == GL_RGB ? g.rgb : g.alpha;
            for (int v = 0; v < 4; ++v) {
                const CombinerInput& in = p.inputs[v];
                gl.input(stage, portion, GL_VARIABLE_A_NV + v, in.input, in.mapping, in.usage);
            }
            gl.output(stage, portion, p.abOutput, p.cdOutput, p.sumOutput, p.scale, p.bias,
                      p.abDotProduct, p.cdDotProduct, p.muxSum);
        }
    }
    for (int v = 0; v < 7; ++v) {
        const CombinerInput& in = c.final.inputs[v];
        gl.final(GL_VARIABLE_A_NV + v, in.input, in.mapping, in.usage);
    }
    Capability(GL_PER_STAGE_CONSTANTS_NV, c.perStageConstants);
    Capability(GL_REGISTER_COMBINERS_NV, c.enabled);
}

TEST(LayerCombinerRenderTest, RandomSetUpsThroughTheEntryPointsPixelByPixel) {
    fragmenttest::GlHarness& harness = fragmenttest::Harness();
    ASSERT_EQ(harness.Failure(), "");
    const Commands gl;
    ASSERT_NE(gl.input, nullptr) << "the layer supplies no register combiners";
    ASSERT_NE(gl.stageParameter, nullptr);
    // The harness's own program stays off: the layer's program does the fragments.
    glDisable(GL_FRAGMENT_PROGRAM_ARB);
    GLint units = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    // Signed textures go through the layer's conversion of the signed format.
    std::vector<TestTexture> strips;
    for (unsigned seed : {41u, 42u, 43u, 44u}) {
        strips.push_back(fragmenttest::SignedStrip(seed));
        strips.back().internalFormat = GL_SIGNED_RGBA_NV;
    }
    const unsigned seed = 5150;
    std::mt19937 random(seed);
    for (int setup = 0; setup < 40; ++setup) {
        FragmentState state = fragmenttest::RandomCombiners(random, strips);
        state.textureUnits = std::min(int(units), kMaxTextureUnits);
        SetThroughTheLayer(gl, state.combiners);
        Capability(GL_FOG, state.fog);
        glFogi(GL_FOG_MODE, GLint(state.fogMode));
        for (int unit = 0; unit < kMaxTextureUnits; ++unit) {
            glActiveTexture(GL_TEXTURE0 + unit);
            Capability(GL_TEXTURE_2D, unit < int(strips.size()));
        }
        glActiveTexture(GL_TEXTURE0);
        ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << "seed " << seed << ", set-up " << setup;
        const std::string label =
            "seed " + std::to_string(seed) + ", set-up " + std::to_string(setup);
        fragmenttest::ExpectDrawnAsEvaluated(label, state, fragmenttest::Pointers(strips),
                                             fragmenttest::FogEnvironment(),
                                             fragmenttest::StripCases(500 + setup, 256),
                                             fragmenttest::kTolerance, GenerateProgram(state));
        ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << label;
    }
}

}  // namespace
