// The CPU evaluator against values worked out by hand from the combiner and texture-shader
// formulas; the render tests then hold the generated programs against this evaluator.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "fragmentprogram/generator.h"
#include "fragmentprogram/reference_evaluator.h"

namespace fragmentprogram {
namespace {

// Unit 0 holds one signed RGBA texel, `texel`; the evaluator samples it everywhere.
Environment OneTexel(const Vec4& texel) {
    Environment env;
    env.sample = [texel](int, int, const Vec4&) { return texel; };
    return env;
}

FragmentState CombinersOverTexel() {
    FragmentState state;
    state.combiners.enabled = true;
    state.units[0].enabledTarget = GL_TEXTURE_2D;
    state.units[0].targets[k2D] = {true, {GL_RGBA, Signedness::kSigned}};
    return state;
}

// Makes stage `s` write (X + 1) / 2 of register X into spare0 and the final combiner show it.
void Observe(FragmentState* state, int s, GLenum reg) {
    GeneralCombiner& stage = state->combiners.stages[s];
    for (CombinerPortion* p : {&stage.rgb, &stage.alpha}) {
        const GLenum usage = p == &stage.rgb ? GL_RGB : GL_ALPHA;
        p->inputs[kA] = {reg, GL_SIGNED_IDENTITY_NV, usage};
        p->inputs[kB] = {GL_ZERO, GL_UNSIGNED_INVERT_NV, usage};
        p->inputs[kC] = {GL_ZERO, GL_UNSIGNED_INVERT_NV, usage};
        p->inputs[kD] = {GL_ZERO, GL_UNSIGNED_INVERT_NV, usage};
        p->scale = GL_SCALE_BY_ONE_HALF_NV;
        p->sumOutput = GL_SPARE0_NV;
    }
    state->combiners.generalCombiners = s + 1;
    state->combiners.final.inputs[kA] = {GL_ZERO, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    state->combiners.final.inputs[kC] = {GL_SPARE0_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
}

// The signed value a stage wrote into spare1, recovered from the observed (X + 1) / 2.
float Spare1Red(const FragmentState& state, const Environment& env, const Fragment& f) {
    return Evaluate(state, env, f).color[0] * 2 - 1;
}

TEST(EvaluatorTest, InputMappingsFollowTheirTable) {
    struct Row {
        GLenum mapping;
        float at[5];  // for e = -1, -0.5, 0, 0.25, 1
    };
    const Row rows[] = {
        {GL_UNSIGNED_IDENTITY_NV, {0, 0, 0, 0.25f, 1}},
        {GL_UNSIGNED_INVERT_NV, {1, 1, 1, 0.75f, 0}},
        {GL_EXPAND_NORMAL_NV, {-1, -1, -1, -0.5f, 1}},
        {GL_EXPAND_NEGATE_NV, {1, 1, 1, 0.5f, -1}},
        {GL_HALF_BIAS_NORMAL_NV, {-0.5f, -0.5f, -0.5f, -0.25f, 0.5f}},
        {GL_HALF_BIAS_NEGATE_NV, {0.5f, 0.5f, 0.5f, 0.25f, -0.5f}},
        {GL_SIGNED_IDENTITY_NV, {-1, -0.5f, 0, 0.25f, 1}},
        {GL_SIGNED_NEGATE_NV, {1, 0.5f, 0, -0.25f, -1}},
    };
    const float es[] = {-1, -0.5f, 0, 0.25f, 1};
    for (const Row& row : rows) {
        for (int i = 0; i < 5; ++i) {
            FragmentState state = CombinersOverTexel();
            GeneralCombiner& stage = state.combiners.stages[0];
            stage.rgb.inputs[kA] = {GL_TEXTURE0, row.mapping, GL_RGB};
            stage.rgb.sumOutput = GL_SPARE1_NV;
            Observe(&state, 1, GL_SPARE1_NV);
            EXPECT_FLOAT_EQ(Spare1Red(state, OneTexel({es[i], 0, 0, 0}), Fragment()), row.at[i])
                << "mapping " << row.mapping << " e " << es[i];
        }
    }
}

TEST(EvaluatorTest, ComponentUsageSelectsRgbAlphaOrBlue) {
    FragmentState state = CombinersOverTexel();
    GeneralCombiner& stage = state.combiners.stages[0];
    stage.rgb.inputs[kA] = {GL_TEXTURE0, GL_SIGNED_IDENTITY_NV, GL_ALPHA};
    stage.alpha.inputs[kA] = {GL_TEXTURE0, GL_SIGNED_IDENTITY_NV, GL_BLUE};
    stage.rgb.sumOutput = stage.alpha.sumOutput = GL_SPARE1_NV;
    Observe(&state, 1, GL_SPARE1_NV);
    const Outcome out = Evaluate(state, OneTexel({0.5f, -0.25f, -0.5f, 0.75f}), Fragment());
    // RGB receives alpha 0.75 on every channel; alpha receives blue -0.5.
    for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(out.color[k], 0.875f);
    EXPECT_FLOAT_EQ(out.color[3], 0.25f);
}

TEST(EvaluatorTest, BiasComesBeforeScaleAndResultsClampToPlusMinusOne) {
    struct Row {
        GLenum scale, bias;
        float x, expected;
    };
    const Row rows[] = {
        {GL_SCALE_BY_TWO_NV, GL_BIAS_BY_NEGATIVE_ONE_HALF_NV, 0.9f, 0.8f},
        {GL_SCALE_BY_FOUR_NV, GL_NONE, 0.3f, 1.0f},
        {GL_SCALE_BY_FOUR_NV, GL_NONE, -0.3f, -1.0f},
        {GL_SCALE_BY_ONE_HALF_NV, GL_NONE, -0.5f, -0.25f},
        {GL_NONE, GL_BIAS_BY_NEGATIVE_ONE_HALF_NV, -0.75f, -1.0f},
    };
    for (const Row& row : rows) {
        FragmentState state = CombinersOverTexel();
        GeneralCombiner& stage = state.combiners.stages[0];
        stage.rgb.inputs[kA] = {GL_TEXTURE0, GL_SIGNED_IDENTITY_NV, GL_RGB};
        stage.rgb.scale = row.scale;
        stage.rgb.bias = row.bias;
        stage.rgb.sumOutput = GL_SPARE1_NV;
        Observe(&state, 1, GL_SPARE1_NV);
        EXPECT_NEAR(Spare1Red(state, OneTexel({row.x, 0, 0, 0}), Fragment()), row.expected, 1e-6)
            << row.scale << " " << row.bias << " " << row.x;
    }
}

TEST(EvaluatorTest, DotProductsReplicateAndTheSumAddsWhatTheSlotsProduced) {
    FragmentState state = CombinersOverTexel();
    GeneralCombiner& stage = state.combiners.stages[0];
    // A = texel, B = primary, C = texel, D = 1: AB is a dot product, CD a product.
    stage.rgb.inputs[kA] = {GL_TEXTURE0, GL_SIGNED_IDENTITY_NV, GL_RGB};
    stage.rgb.inputs[kB] = {GL_PRIMARY_COLOR_NV, GL_SIGNED_IDENTITY_NV, GL_RGB};
    stage.rgb.inputs[kC] = {GL_TEXTURE0, GL_SIGNED_IDENTITY_NV, GL_RGB};
    stage.rgb.inputs[kD] = {GL_ZERO, GL_UNSIGNED_INVERT_NV, GL_RGB};
    stage.rgb.abDotProduct = true;
    stage.rgb.sumOutput = GL_SPARE1_NV;
    stage.rgb.scale = GL_SCALE_BY_ONE_HALF_NV;
    Observe(&state, 1, GL_SPARE1_NV);
    Fragment f;
    f.primary = {0.5f, 0.25f, 1.0f, 1.0f};
    const Outcome out = Evaluate(state, OneTexel({0.5f, -1.0f, 0.25f, 0}), f);
    // dot = 0.25 - 0.25 + 0.25 = 0.25; sum = (0.25 + texel) / 2 per channel.
    const float expected[3] = {0.375f, -0.375f, 0.25f};
    for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(out.color[k] * 2 - 1, expected[k]) << k;
}

TEST(EvaluatorTest, MuxTakesCdFromSpare0AlphaOneHalfUpReadBeforeTheStageWrites) {
    for (float alpha : {0.0f, 0.49f, 0.5f, 1.0f}) {
        FragmentState state = CombinersOverTexel();
        GeneralCombiner& stage = state.combiners.stages[0];
        // AB = 0.25 (constant 0), CD = 0.75 (constant 1); the stage also overwrites spare0.
        state.combiners.constant0 = {0.25f, 0.25f, 0.25f, 0.25f};
        state.combiners.constant1 = {0.75f, 0.75f, 0.75f, 0.75f};
        stage.rgb.inputs[kA] = {GL_CONSTANT_COLOR0_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
        stage.rgb.inputs[kC] = {GL_CONSTANT_COLOR1_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
        stage.rgb.inputs[kD] = {GL_ZERO, GL_UNSIGNED_INVERT_NV, GL_RGB};
        stage.rgb.muxSum = true;
        stage.rgb.sumOutput = GL_SPARE1_NV;
        stage.alpha.inputs[kA] = {GL_ZERO, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA};
        stage.alpha.sumOutput = GL_SPARE0_NV;  // spare0 alpha becomes 0 after the stage
        Observe(&state, 1, GL_SPARE1_NV);
        // Initial spare0 alpha is texture 0's alpha.
        EXPECT_FLOAT_EQ(Spare1Red(state, OneTexel({0, 0, 0, alpha}), Fragment()),
                        alpha >= 0.5f ? 0.75f : 0.25f)
            << alpha;
    }
}

TEST(EvaluatorTest, InitialCombinersAreColourSumThenFog) {
    FragmentState state;
    state.combiners.enabled = true;
    state.fog = true;
    state.fogMode = GL_LINEAR;
    Environment env;
    env.fogColor = {0.0f, 0.5f, 1.0f, 0};
    env.fogStart = 0;
    env.fogEnd = 2;
    Fragment f;
    f.primary = {0.5f, 0.75f, 0.25f, 0.625f};
    f.secondary = {0.75f, 0.125f, 0.0f, 1};
    f.fogCoordinate = 0.5f;  // fog factor 0.75
    for (bool clamp : {true, false}) {
        state.combiners.colorSumClamp = clamp;
        const Outcome out = Evaluate(state, env, f);
        const float sumRed = clamp ? 1.0f : 1.25f;
        EXPECT_FLOAT_EQ(out.color[0], std::min(0.75f * sumRed, 1.0f));
        EXPECT_FLOAT_EQ(out.color[1], 0.75f * 0.875f + 0.25f * 0.5f);
        EXPECT_FLOAT_EQ(out.color[2], 0.75f * 0.25f + 0.25f * 1.0f);
        EXPECT_FLOAT_EQ(out.color[3], 0.625f);
    }
    // The conventional path gives the same with colour sum on.
    FragmentState conventional;
    conventional.colorSum = conventional.fog = true;
    conventional.fogMode = GL_LINEAR;
    state.combiners.colorSumClamp = true;
    const Outcome a = Evaluate(state, env, f), b = Evaluate(conventional, env, f);
    for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(a.color[k], b.color[k]) << k;
}

TEST(EvaluatorTest, PerStageConstantsReachGeneralStagesButNotTheFinalCombiner) {
    FragmentState state;
    CombinerState& c = state.combiners;
    c.enabled = true;
    c.constant0 = {0.25f, 0.25f, 0.25f, 0.25f};
    c.stages[0].constant0 = {0.75f, 0.75f, 0.75f, 0.75f};
    c.stages[0].rgb.inputs[kA] = {GL_CONSTANT_COLOR0_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    c.final.inputs[kA] = {GL_ZERO, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    c.final.inputs[kC] = {GL_SPARE0_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    c.final.inputs[kD] = {GL_CONSTANT_COLOR0_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    for (bool perStage : {false, true}) {
        c.perStageConstants = perStage;
        // spare0 = the stage's constant; the final combiner adds the global one.
        EXPECT_FLOAT_EQ(Evaluate(state, Environment(), Fragment()).color[0],
                        (perStage ? 0.75f : 0.25f) + 0.25f);
    }
}

TEST(EvaluatorTest, FinalCombinerProductSumAndInvertedNegativeEF) {
    FragmentState state = CombinersOverTexel();
    FinalCombiner& f = state.combiners.final;
    // E x F is negative; INVERT turns it into 1 and IDENTITY into 0.
    f.inputs[kE] = {GL_TEXTURE0, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    f.inputs[kF] = {GL_PRIMARY_COLOR_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    f.inputs[kA] = {GL_E_TIMES_F_NV, GL_UNSIGNED_INVERT_NV, GL_RGB};
    f.inputs[kB] = {GL_PRIMARY_COLOR_NV, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA};
    f.inputs[kC] = {GL_SECONDARY_COLOR_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    f.inputs[kD] = {GL_E_TIMES_F_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    f.inputs[kG] = {GL_TEXTURE0, GL_UNSIGNED_INVERT_NV, GL_BLUE};
    Fragment frag;
    frag.primary = {0.5f, 0.5f, 0.5f, 0.25f};
    frag.secondary = {0.125f, 0.125f, 0.125f, 1};
    const Outcome out = Evaluate(state, OneTexel({-0.5f, 0.5f, 0.25f, 0}), frag);
    // Red: E = max(0, -0.5) = 0 so EF = 0: A = 1 - 0 = 1, rgb = B = 0.25, D = 0.
    EXPECT_FLOAT_EQ(out.color[0], 0.25f);
    // Green: EF = 0.25: A = 0.75, 0.75 * 0.25 + 0.25 * 0.125 + 0.25.
    EXPECT_FLOAT_EQ(out.color[1], 0.75f * 0.25f + 0.25f * 0.125f + 0.25f);
    EXPECT_FLOAT_EQ(out.color[3], 0.75f);  // 1 - blue
}

TEST(EvaluatorTest, TextureShaderAlphaTexturesReadWhiteAndSignedBlendClampsTheTexel) {
    FragmentState state;
    state.textureShaders = true;
    state.textureUnits = 1;
    state.units[0].shader.operation = GL_TEXTURE_2D;
    state.units[0].targets[k2D] = {true, {GL_ALPHA, Signedness::kUnsigned}};
    state.units[0].envMode = GL_REPLACE;
    Environment env = OneTexel({0, 0, 0, 0.5f});
    Fragment f;
    f.primary = {0.25f, 0.25f, 0.25f, 1};
    Outcome out = Evaluate(state, env, f);
    EXPECT_FLOAT_EQ(out.color[0], 0.25f);  // REPLACE of an ALPHA texture keeps the colour
    EXPECT_FLOAT_EQ(out.color[3], 0.5f);
    // In the combiners, TEXTURE0 holds (1, 1, 1, At).
    state.combiners.enabled = true;
    state.combiners.stages[0].rgb.inputs[kA] = {GL_TEXTURE0, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    EXPECT_FLOAT_EQ(Evaluate(state, env, f).color[0], 1.0f);

    FragmentState blend;
    blend.textureShaders = true;
    blend.textureUnits = 1;
    blend.units[0].shader.operation = GL_TEXTURE_2D;
    blend.units[0].targets[k2D] = {true, {GL_RGB, Signedness::kSigned}};
    blend.units[0].envMode = GL_BLEND;
    Environment benv = OneTexel({-0.5f, 0.5f, 1.0f, 1});
    benv.envColor[0] = {1, 0, 1, 1};
    out = Evaluate(blend, benv, f);
    EXPECT_FLOAT_EQ(out.color[0], 0.25f);  // max(0, -0.5) = 0 keeps Cf
    EXPECT_FLOAT_EQ(out.color[1], 0.125f);
    EXPECT_FLOAT_EQ(out.color[2], 1.0f);
}

TEST(EvaluatorTest, CullFragmentComparesEachCoordinateWithZero) {
    FragmentState state;
    state.textureShaders = true;
    state.textureUnits = 1;
    state.units[0].shader.operation = GL_CULL_FRAGMENT_NV;
    state.units[0].shader.cullModes = {GL_GEQUAL, GL_LESS, GL_GEQUAL, GL_GEQUAL};
    Fragment f;
    f.texcoord[0] = {0.0f, -0.5f, 1.0f, 1.0f};
    EXPECT_FALSE(Evaluate(state, Environment(), f).discarded);
    f.texcoord[0] = {0.0f, 0.0f, 1.0f, 1.0f};  // LESS fails at zero
    EXPECT_TRUE(Evaluate(state, Environment(), f).discarded);
    f.texcoord[0] = {-0.001f, -0.5f, 1.0f, 1.0f};  // GEQUAL fails below zero
    EXPECT_TRUE(Evaluate(state, Environment(), f).discarded);
}

// Random texture-shader set-ups: both judgements of consistency agree, and the hand cases hold.
TEST(EvaluatorTest, ConsistencyAgreesWithTheGeneratorOnRandomSetUps) {
    const GLenum ops[] = {GL_NONE,
                          GL_TEXTURE_2D,
                          GL_TEXTURE_CUBE_MAP,
                          GL_PASS_THROUGH_NV,
                          GL_CULL_FRAGMENT_NV,
                          GL_OFFSET_TEXTURE_2D_NV,
                          GL_OFFSET_TEXTURE_2D_SCALE_NV,
                          GL_DEPENDENT_AR_TEXTURE_2D_NV,
                          GL_DOT_PRODUCT_NV,
                          GL_DOT_PRODUCT_TEXTURE_2D_NV,
                          GL_DOT_PRODUCT_TEXTURE_CUBE_MAP_NV,
                          GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV,
                          GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV,
                          GL_DOT_PRODUCT_DEPTH_REPLACE_NV,
                          GL_DOT_PRODUCT_TEXTURE_3D_NV};
    const TextureFormat formats[] = {
        {GL_RGBA, Signedness::kUnsigned},     {GL_RGB, Signedness::kSigned},
        {GL_RGBA, Signedness::kMixed},        {GL_HILO_NV, Signedness::kSigned},
        {GL_DSDT_MAG_NV, Signedness::kMixed}, {GL_DSDT_NV, Signedness::kMixed}};
    std::mt19937 random(77);
    int consistentSeen = 0, inconsistentSeen = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        FragmentState state;
        state.textureShaders = true;
        state.textureUnits = 2 + int(random() % 3);
        for (int u = 0; u < state.textureUnits; ++u) {
            TextureUnit& unit = state.units[u];
            unit.shader.operation = ops[random() % 15];
            unit.shader.previousInput = GL_TEXTURE0 + random() % 4;
            for (BoundTexture& t : unit.targets) {
                t.complete = random() % 8 != 0;
                t.format = formats[random() % 6];
            }
        }
        const auto generated = ShaderConsistency(state);
        for (int u = 0; u < state.textureUnits; ++u) {
            const bool reference = ReferenceStageConsistent(state, u);
            ASSERT_EQ(generated[u], reference) << "trial " << trial << " unit " << u;
            ++(reference ? consistentSeen : inconsistentSeen);
        }
    }
    EXPECT_GT(consistentSeen, 1000);
    EXPECT_GT(inconsistentSeen, 1000);
}

TEST(EvaluatorTest, ConsistencyRulesByHand) {
    struct Row {
        const char* name;
        std::vector<GLenum> ops;
        int previous;  // previous input of every stage
        TextureFormat format;
        int unit;
        bool consistent;
    };
    const TextureFormat rgba{GL_RGBA, Signedness::kUnsigned};
    const TextureFormat hilo{GL_HILO_NV, Signedness::kSigned};
    const TextureFormat mixed{GL_RGBA, Signedness::kMixed};
    const TextureFormat dsdt{GL_DSDT_NV, Signedness::kMixed};
    const Row rows[] = {
        {"dot 2D",
         {GL_TEXTURE_2D, GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_TEXTURE_2D_NV, GL_NONE},
         0,
         hilo,
         2,
         true},
        {"dot on mixed", {GL_TEXTURE_2D, GL_DOT_PRODUCT_NV, GL_NONE}, 0, mixed, 1, false},
        {"dot of a dot",
         {GL_TEXTURE_2D, GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_NV, GL_NONE},
         1,
         rgba,
         2,
         false},
        {"offset over DSDT", {GL_TEXTURE_2D, GL_OFFSET_TEXTURE_2D_NV}, 0, dsdt, 1, true},
        {"scaled offset over DSDT",
         {GL_TEXTURE_2D, GL_OFFSET_TEXTURE_2D_SCALE_NV},
         0,
         dsdt,
         1,
         false},
        {"dependent over NONE", {GL_NONE, GL_DEPENDENT_GB_TEXTURE_2D_NV}, 0, rgba, 1, false},
        {"dependent over pass-through",
         {GL_PASS_THROUGH_NV, GL_DEPENDENT_GB_TEXTURE_2D_NV},
         0,
         hilo,
         1,
         true},
        {"reflect after diffuse",
         {GL_TEXTURE_2D, GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV,
          GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV},
         0,
         rgba,
         3,
         true},
        {"diffuse before nothing",
         {GL_TEXTURE_2D, GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV, GL_NONE},
         0,
         rgba,
         2,
         false},
        {"dot product on the last unit", {GL_TEXTURE_2D, GL_DOT_PRODUCT_NV}, 0, rgba, 1, false},
    };
    for (const Row& row : rows) {
        FragmentState state;
        state.textureShaders = true;
        state.textureUnits = int(row.ops.size());
        for (size_t u = 0; u < row.ops.size(); ++u) {
            TextureUnit& unit = state.units[u];
            unit.shader.operation = row.ops[u];
            unit.shader.previousInput =
                GL_TEXTURE0 + std::min(row.previous, std::max(0, int(u) - 1));
            for (BoundTexture& t : unit.targets) t = {true, u == 0 ? row.format : rgba};
        }
        EXPECT_EQ(ReferenceStageConsistent(state, row.unit), row.consistent) << row.name;
        EXPECT_EQ(ShaderConsistency(state)[row.unit], row.consistent) << row.name;
    }
}

}  // namespace
}  // namespace fragmentprogram
