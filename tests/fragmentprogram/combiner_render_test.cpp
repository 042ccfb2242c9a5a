// Register-combiner programs drawn by the driver against the CPU evaluation.
#include <random>

#include "tests/fragmentprogram/render_setups.h"
#include "tests/fragmentprogram/render_compare.h"

namespace fragmenttest {
namespace {

using namespace fragmentprogram;

// Appends a general stage writing (X + 1) / 2 of register X (RGB and alpha) into spare0, and
// makes the final combiner show spare0 as it is: signed results become visible in [0, 1].
void ObserveThroughSpare0(FragmentState* state, GLenum reg) {
    CombinerState& c = state->combiners;
    GeneralCombiner& stage = c.stages[c.generalCombiners++];
    stage = GeneralCombiner();
    for (CombinerPortion* p : {&stage.rgb, &stage.alpha}) {
        const GLenum usage = p == &stage.rgb ? GL_RGB : GL_ALPHA;
        p->inputs[kA] = {reg, GL_SIGNED_IDENTITY_NV, usage};
        p->inputs[kB] = {GL_ZERO, GL_UNSIGNED_INVERT_NV, usage};
        p->inputs[kC] = {GL_ZERO, GL_UNSIGNED_INVERT_NV, usage};
        p->inputs[kD] = {GL_ZERO, GL_UNSIGNED_INVERT_NV, usage};
        p->scale = GL_SCALE_BY_ONE_HALF_NV;
        p->sumOutput = GL_SPARE0_NV;
    }
    c.final = FinalCombiner();
    c.final.inputs[kA] = {GL_ZERO, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    c.final.inputs[kC] = {GL_SPARE0_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
}

TEST(CombinerRenderTest, EveryInputMappingOfEveryRegisterAndComponentUsage) {
    const std::vector<TestTexture> strips = {SignedStrip(1), SignedStrip(2)};
    const GLenum registers[] = {
        GL_PRIMARY_COLOR_NV,   GL_SECONDARY_COLOR_NV, GL_TEXTURE0, GL_TEXTURE1,
        GL_CONSTANT_COLOR0_NV, GL_CONSTANT_COLOR1_NV, GL_FOG,      GL_ZERO};
    for (GLenum mapping : kMappings) {
        for (GLenum reg : registers) {
            for (int usage = 0; usage < 2; ++usage) {
                // RGB portion reads RGB or ALPHA; alpha portion ALPHA or BLUE. FOG has no alpha
                // in general combiners.
                if (reg == GL_FOG && usage == 1) continue;
                FragmentState state = CombinersWithSignedTextures(strips);
                state.fog = true;
                state.fogMode = GL_LINEAR;
                GeneralCombiner& stage = state.combiners.stages[0];
                state.combiners.generalCombiners = 1;
                stage.rgb.inputs[kA] = {reg, mapping, usage == 0 ? GLenum(GL_RGB) : GL_ALPHA};
                stage.alpha.inputs[kA] = {reg == GL_FOG ? GLenum(GL_PRIMARY_COLOR_NV) : reg,
                                          mapping, usage == 0 ? GLenum(GL_ALPHA) : GL_BLUE};
                stage.rgb.sumOutput = stage.alpha.sumOutput = GL_SPARE1_NV;
                ObserveThroughSpare0(&state, GL_SPARE1_NV);
                ExpectRendersAsEvaluated("mapping " + std::to_string(mapping) + " register " +
                                             std::to_string(reg) + " usage " +
                                             std::to_string(usage),
                                         state, Pointers(strips), FogEnvironment(), StripCases(7));
            }
        }
    }
}

TEST(CombinerRenderTest, ProductsDotProductsSumsAndMuxWithEveryScaleAndBias) {
    const std::vector<TestTexture> strips = {SignedStrip(3), SignedStrip(4), SignedStrip(5),
                                             SignedStrip(6)};
    struct Form {
        const char* name;
        bool abDot, cdDot, mux;
        GLenum output;  // which of ab/cd/sum is observed (written to spare1)
    };
    const Form forms[] = {
        {"AB product", false, false, false, GL_VARIABLE_A_NV},
        {"AB dot", true, false, false, GL_VARIABLE_A_NV},
        {"CD product", false, false, false, GL_VARIABLE_C_NV},
        {"CD dot", false, true, false, GL_VARIABLE_C_NV},
        {"sum of products", false, false, false, GL_NONE},
        {"sum of dot products", true, true, false, GL_NONE},
        {"mux of products", false, false, true, GL_NONE},
    };
    for (const Form& form : forms) {
        for (const auto& sb : kScaleBias) {
            FragmentState state = CombinersWithSignedTextures(strips);
            state.combiners.generalCombiners = 2;
            // Stage 0 puts primary alpha into spare0 alpha for the mux of stage 1.
            GeneralCombiner& stage = state.combiners.stages[1];
            const GLenum textures[] = {GL_TEXTURE0, GL_TEXTURE1, GL_TEXTURE2, GL_TEXTURE3};
            for (int v = 0; v < 4; ++v) {
                stage.rgb.inputs[v] = {textures[v], GL_SIGNED_IDENTITY_NV, GL_RGB};
                stage.alpha.inputs[v] = {textures[3 - v], GL_SIGNED_IDENTITY_NV,
                                         v % 2 ? GLenum(GL_BLUE) : GL_ALPHA};
            }
            for (CombinerPortion* p : {&stage.rgb, &stage.alpha}) {
                p->scale = sb[0];
                p->bias = sb[1];
                p->muxSum = form.mux;
                p->abOutput = form.output == GL_VARIABLE_A_NV ? GL_SPARE1_NV : GL_DISCARD_NV;
                p->cdOutput = form.output == GL_VARIABLE_C_NV ? GL_SPARE1_NV : GL_DISCARD_NV;
                p->sumOutput = form.output == GL_NONE ? GL_SPARE1_NV : GL_DISCARD_NV;
            }
            stage.rgb.abDotProduct = form.abDot;
            stage.rgb.cdDotProduct = form.cdDot;
            ObserveThroughSpare0(&state, GL_SPARE1_NV);
            ExpectRendersAsEvaluated(std::string(form.name) + " scale " + std::to_string(sb[0]) +
                                         " bias " + std::to_string(sb[1]),
                                     state, Pointers(strips), Environment(), StripCases(11));
        }
    }
}

TEST(CombinerRenderTest, MuxChoosesOnSpare0AlphaFromBeforeTheStage) {
    const std::vector<TestTexture> strips = {SignedStrip(8)};
    FragmentState state = CombinersWithSignedTextures(strips);
    state.combiners.generalCombiners = 2;
    // Stage 0: spare0 alpha = primary alpha, and its RGB mux reads texture 0's alpha (the
    // initial spare0 alpha), choosing between constant 0 (AB) and constant 1 (CD).
    GeneralCombiner& first = state.combiners.stages[0];
    first.rgb.inputs[kA] = {GL_CONSTANT_COLOR0_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    first.rgb.inputs[kB] = {GL_ZERO, GL_UNSIGNED_INVERT_NV, GL_RGB};
    first.rgb.inputs[kC] = {GL_CONSTANT_COLOR1_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    first.rgb.inputs[kD] = {GL_ZERO, GL_UNSIGNED_INVERT_NV, GL_RGB};
    first.rgb.muxSum = true;
    first.rgb.sumOutput = GL_SPARE1_NV;
    // Stage 1 muxes on the primary alpha now in spare0, writing spare0 again.
    GeneralCombiner& second = state.combiners.stages[1];
    second.rgb = first.rgb;
    second.rgb.inputs[kA] = {GL_SPARE1_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    second.rgb.inputs[kC] = {GL_PRIMARY_COLOR_NV, GL_UNSIGNED_INVERT_NV, GL_RGB};
    second.rgb.sumOutput = GL_SPARE0_NV;
    second.alpha.muxSum = true;
    second.alpha.inputs[kC] = {GL_TEXTURE0, GL_UNSIGNED_INVERT_NV, GL_ALPHA};
    state.combiners.final = FinalCombiner();
    std::vector<Case> cases = StripCases(12);
    const float alphas[] = {0.0f, 0.25f, 0.4999999f, 0.5f, 0.5000001f, 0.75f, 1.0f};
    for (size_t n = 0; n < cases.size(); ++n) cases[n].fragment.primary[3] = alphas[n % 7];
    ExpectRendersAsEvaluated("mux", state, Pointers(strips), Environment(), cases);
}

TEST(CombinerRenderTest, FinalCombinerFormsWithFogAndColorSumClamp) {
    const std::vector<TestTexture> strips = {SignedStrip(13), SignedStrip(14)};
    struct Form {
        const char* name;
        CombinerInput a, b, c, d, e, f, g;
    };
    const CombinerInput zero{GL_ZERO, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    const Form forms[] = {
        {"initial (colour sum, fog)",
         {GL_FOG, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA},
         {GL_SPARE0_PLUS_SECONDARY_COLOR_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB},
         {GL_FOG, GL_UNSIGNED_IDENTITY_NV, GL_RGB},
         zero,
         zero,
         zero,
         {GL_SPARE0_NV, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA}},
        {"E x F in A and D",
         {GL_E_TIMES_F_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB},
         {GL_PRIMARY_COLOR_NV, GL_UNSIGNED_INVERT_NV, GL_RGB},
         {GL_TEXTURE0, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA},
         {GL_E_TIMES_F_NV, GL_UNSIGNED_INVERT_NV, GL_RGB},
         {GL_TEXTURE1, GL_UNSIGNED_IDENTITY_NV, GL_RGB},
         {GL_SECONDARY_COLOR_NV, GL_UNSIGNED_INVERT_NV, GL_ALPHA},
         {GL_TEXTURE1, GL_UNSIGNED_INVERT_NV, GL_BLUE}},
        {"sum in D and C, constants",
         {GL_CONSTANT_COLOR0_NV, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA},
         {GL_CONSTANT_COLOR1_NV, GL_UNSIGNED_INVERT_NV, GL_RGB},
         {GL_SPARE0_PLUS_SECONDARY_COLOR_NV, GL_UNSIGNED_INVERT_NV, GL_RGB},
         {GL_SPARE0_PLUS_SECONDARY_COLOR_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB},
         zero,
         zero,
         {GL_FOG, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA}},
        {"fog factor in G, spare1 in B",
         {GL_PRIMARY_COLOR_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB},
         {GL_SPARE1_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB},
         {GL_FOG, GL_UNSIGNED_INVERT_NV, GL_RGB},
         {GL_SECONDARY_COLOR_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB},
         zero,
         zero,
         {GL_FOG, GL_UNSIGNED_INVERT_NV, GL_ALPHA}},
    };
    const GLenum fogModes[] = {GL_LINEAR, GL_EXP, GL_EXP2};
    for (const Form& form : forms) {
        for (int fog = 0; fog < 4; ++fog) {
            for (bool clamp : {true, false}) {
                FragmentState state = CombinersWithSignedTextures(strips);
                state.combiners.generalCombiners = 1;
                state.combiners.colorSumClamp = clamp;
                // spare0 = primary + texture 0 (may exceed one before the final combiner).
                GeneralCombiner& stage = state.combiners.stages[0];
                stage.rgb.inputs[kC] = {GL_TEXTURE0, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
                stage.rgb.inputs[kD] = {GL_ZERO, GL_UNSIGNED_INVERT_NV, GL_RGB};
                stage.rgb.abOutput = GL_SPARE1_NV;
                state.fog = fog < 3;
                state.fogMode = fogModes[fog % 3];
                FinalCombiner& f = state.combiners.final;
                f.inputs = {form.a, form.b, form.c, form.d, form.e, form.f, form.g};
                ExpectRendersAsEvaluated(std::string(form.name) + " fog " + std::to_string(fog) +
                                             (clamp ? " clamped" : " unclamped"),
                                         state, Pointers(strips), FogEnvironment(), StripCases(15));
            }
        }
    }
}

TEST(CombinerRenderTest, PerStageConstantsOnlyWhenEnabledAndNeverInTheFinalCombiner) {
    const std::vector<TestTexture> strips = {SignedStrip(16)};
    for (bool perStage : {false, true}) {
        FragmentState state = CombinersWithSignedTextures(strips);
        CombinerState& c = state.combiners;
        c.perStageConstants = perStage;
        c.generalCombiners = 3;
        for (int s = 0; s < 3; ++s) {
            c.stages[s].constant0 = {0.1f * s, 0.2f, 0.3f + 0.1f * s, 0.5f};
            c.stages[s].constant1 = {0.9f, 0.1f * s, 0.05f, 0.25f * s};
            // spare0 += constant0 * constant1 (RGB), spare0 alpha = constant1 alpha.
            GeneralCombiner& stage = c.stages[s];
            stage.rgb.inputs[kA] = {GL_CONSTANT_COLOR0_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
            stage.rgb.inputs[kB] = {GL_CONSTANT_COLOR1_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
            stage.rgb.inputs[kC] = {s == 0 ? GLenum(GL_PRIMARY_COLOR_NV) : GL_SPARE0_NV,
                                    GL_SIGNED_IDENTITY_NV, GL_RGB};
            stage.rgb.inputs[kD] = {GL_ZERO, GL_UNSIGNED_INVERT_NV, GL_RGB};
            stage.alpha.inputs[kA] = {GL_CONSTANT_COLOR1_NV, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA};
        }
        c.final.inputs[kD] = {GL_CONSTANT_COLOR0_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
        c.final.inputs[kG] = {GL_CONSTANT_COLOR1_NV, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA};
        ExpectRendersAsEvaluated(perStage ? "per-stage constants" : "global constants", state,
                                 Pointers(strips), Environment(), StripCases(17));
        // The same program serves other constant values: only the parameters change.
        c.constant0 = {0.5f, 0.25f, 0.0f, 0.125f};
        c.stages[1].constant1 = {0.0f, 0.75f, 0.5f, 1.0f};
        ExpectRendersAsEvaluated(
            perStage ? "per-stage constants, new values" : "global constants, new values", state,
            Pointers(strips), Environment(), StripCases(18));
    }
}

// Random set-ups in a float framebuffer are drawn through the layer's entry points
// (legacygl_random_combiner_test); here, the same within 1/255 in 8 bits.
TEST(CombinerRenderTest, RandomSetUpsInAnEightBitFramebuffer) {
    const std::vector<TestTexture> strips = {SignedStrip(31), SignedStrip(32), SignedStrip(33),
                                             SignedStrip(34)};
    std::mt19937 random(4096);
    Harness().UseEightBitColors(true);
    for (int setup = 0; setup < 20; ++setup) {
        const FragmentState state = RandomCombiners(random, strips);
        ExpectRendersAsEvaluated("8-bit random set-up " + std::to_string(setup), state,
                                 Pointers(strips), FogEnvironment(), StripCases(300 + setup, 256),
                                 1.0f / 255 + 1e-6f);
    }
    Harness().UseEightBitColors(false);
}

}  // namespace
}  // namespace fragmenttest
