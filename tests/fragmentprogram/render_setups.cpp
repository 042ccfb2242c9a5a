#include "tests/fragmentprogram/render_setups.h"

#include <algorithm>

namespace fragmenttest {

using namespace fragmentprogram;

namespace {

void EnableTexture2D(FragmentState* state, int unit, const TestTexture& t) {
    state->units[unit].enabledTarget = GL_TEXTURE_2D;
    state->units[unit].targets[k2D] = {true, t.described};
}

}  // namespace

const GLenum kMappings[8] = {
    GL_UNSIGNED_IDENTITY_NV, GL_UNSIGNED_INVERT_NV,  GL_EXPAND_NORMAL_NV,   GL_EXPAND_NEGATE_NV,
    GL_HALF_BIAS_NORMAL_NV,  GL_HALF_BIAS_NEGATE_NV, GL_SIGNED_IDENTITY_NV, GL_SIGNED_NEGATE_NV};

const GLenum kScaleBias[6][2] = {{GL_NONE, GL_NONE},
                                 {GL_NONE, GL_BIAS_BY_NEGATIVE_ONE_HALF_NV},
                                 {GL_SCALE_BY_TWO_NV, GL_NONE},
                                 {GL_SCALE_BY_TWO_NV, GL_BIAS_BY_NEGATIVE_ONE_HALF_NV},
                                 {GL_SCALE_BY_FOUR_NV, GL_NONE},
                                 {GL_SCALE_BY_ONE_HALF_NV, GL_NONE}};

TestTexture SignedStrip(unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    TestTexture t;
    t.width = 4;
    t.described = {GL_RGBA, Signedness::kSigned};
    for (int i = 0; i < 16; ++i) t.texels.push_back(value(random));
    t.texels[0] = -1.0f;  // the ends of the range
    t.texels[5] = 1.0f;
    return t;
}

std::vector<Case> StripCases(unsigned seed, int count) {
    std::vector<Case> cases = Cases(seed, count, [](std::mt19937&, int u, int n) {
        return u < 4 ? Vec4{(float((n + u) % 4) + 0.5f) / 4, 0.5f, 0, 1} : Vec4{0, 0, 0, 0};
    });
    // Exact thresholds and ends.
    cases[0].fragment.primary = {0, 0.5f, 1, 0.5f};
    cases[1].fragment.primary = {1, 1, 1, 0};
    return cases;
}

FragmentState CombinersWithSignedTextures(const std::vector<TestTexture>& strips) {
    FragmentState state;
    state.combiners.enabled = true;
    state.combiners.generalCombiners = 0;
    state.combiners.constant0 = {0.25f, 0.5f, 0.75f, 1.0f};
    state.combiners.constant1 = {1.0f, 0.0f, 0.125f, 0.375f};
    for (int u = 0; u < int(strips.size()); ++u) EnableTexture2D(&state, u, strips[u]);
    return state;
}

std::vector<const TestTexture*> Pointers(const std::vector<TestTexture>& textures) {
    std::vector<const TestTexture*> p;
    for (const TestTexture& t : textures) p.push_back(&t);
    return p;
}

Environment FogEnvironment() {
    Environment env;
    env.fogColor = {0.125f, 0.25f, 0.875f, 1.0f};
    env.fogStart = 0.25f;
    env.fogEnd = 1.5f;
    env.fogDensity = 1.75f;
    return env;
}

FragmentState RandomCombiners(std::mt19937& random, const std::vector<TestTexture>& strips) {
    FragmentState state = CombinersWithSignedTextures(strips);
    CombinerState& c = state.combiners;
    auto pick = [&random](int n) { return int(random() % unsigned(n)); };
    const GLenum readable[] = {GL_ZERO,      GL_CONSTANT_COLOR0_NV, GL_CONSTANT_COLOR1_NV,
                               GL_FOG,       GL_PRIMARY_COLOR_NV,   GL_SECONDARY_COLOR_NV,
                               GL_SPARE0_NV, GL_SPARE1_NV,          GL_TEXTURE0,
                               GL_TEXTURE1,  GL_TEXTURE2,           GL_TEXTURE3};
    const GLenum writable[] = {
        GL_PRIMARY_COLOR_NV, GL_SECONDARY_COLOR_NV, GL_SPARE0_NV, GL_SPARE1_NV,
        GL_TEXTURE0,         GL_TEXTURE1,           GL_TEXTURE2,  GL_TEXTURE3};
    c.generalCombiners = 1 + pick(kMaxGeneralCombiners);
    c.perStageConstants = pick(2) == 1;
    c.colorSumClamp = pick(2) == 1;
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (Vec4* v : {&c.constant0, &c.constant1})
        *v = {unit(random), unit(random), unit(random), unit(random)};
    for (int s = 0; s < c.generalCombiners; ++s) {
        GeneralCombiner& stage = c.stages[s];
        for (Vec4* v : {&stage.constant0, &stage.constant1}) {
            *v = {unit(random), unit(random), unit(random), unit(random)};
        }
        for (int portion = 0; portion < 2; ++portion) {
            CombinerPortion& p = portion == 0 ? stage.rgb : stage.alpha;
            for (CombinerInput& in : p.inputs) {
                in.input = readable[pick(12)];
                in.mapping = kMappings[pick(8)];
                if (portion == 0) {
                    in.usage = in.input == GL_FOG || pick(2) ? GL_RGB : GL_ALPHA;
                } else {
                    if (in.input == GL_FOG) in.input = GL_PRIMARY_COLOR_NV;
                    in.usage = pick(2) ? GL_ALPHA : GL_BLUE;
                }
            }
            const auto& sb = kScaleBias[pick(6)];
            p.scale = sb[0];
            p.bias = sb[1];
            p.muxSum = pick(3) == 0;
            if (portion == 0) {
                p.abDotProduct = pick(3) == 0;
                p.cdDotProduct = pick(3) == 0;
            }
            // Three distinct registers or DISCARD.
            int order[8] = {0, 1, 2, 3, 4, 5, 6, 7};
            std::shuffle(order, order + 8, random);
            p.abOutput = pick(3) ? GLenum(GL_DISCARD_NV) : writable[order[0]];
            p.cdOutput = pick(3) ? GLenum(GL_DISCARD_NV) : writable[order[1]];
            p.sumOutput = pick(4) ? writable[order[2]] : GLenum(GL_DISCARD_NV);
        }
    }
    FinalCombiner& f = c.final;
    for (int v = 0; v < 7; ++v) {
        CombinerInput& in = f.inputs[v];
        in.mapping = pick(2) ? GL_UNSIGNED_IDENTITY_NV : GL_UNSIGNED_INVERT_NV;
        in.input = readable[pick(12)];
        if (v == kG) {
            in.usage = pick(2) ? GL_ALPHA : GL_BLUE;
            continue;
        }
        in.usage = pick(2) ? GL_RGB : GL_ALPHA;
        const int special = pick(5);
        if (special == 0 && v < kE) {
            in.input = GL_E_TIMES_F_NV;
            in.usage = GL_RGB;
        } else if (special == 1 && v != kA && v < kE) {
            in.input = GL_SPARE0_PLUS_SECONDARY_COLOR_NV;
            in.usage = GL_RGB;
        }
    }
    state.fog = pick(2) == 1;
    state.fogMode = GL_LINEAR;
    return state;
}

}  // namespace fragmenttest
