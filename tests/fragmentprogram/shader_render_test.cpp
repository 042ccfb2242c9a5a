// Texture-shader programs drawn by the driver against the CPU evaluation: every operation, with
// consistent and inconsistent stages, feeding both the register combiners and the conventional
// texture environments.
#include <random>

#include "fragmentprogram/texel_conversion.h"
#include "tests/fragmentprogram/render_setups.h"
#include "tests/fragmentprogram/render_compare.h"

namespace fragmenttest {
namespace {

using namespace fragmentprogram;

// A texture of random values in [lo, 1] stored as float, described as `described`.
TestTexture RandomTexture(unsigned seed, int target, GLenum internalFormat, GLenum format,
                          TextureFormat described, float lo, int size = 4) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(lo, 1.0f);
    TestTexture t;
    t.target = target;
    t.internalFormat = internalFormat;
    t.format = format;
    t.described = described;
    t.width = size;
    t.height = target == k1D ? 1 : size;
    t.depth = target == k3D ? size : 1;
    size_t count = size_t(t.width) * t.height * t.depth * (target == kCubeMap ? 6 : 1);
    for (size_t i = 0; i < count * ComponentsOf(format); ++i) t.texels.push_back(value(random));
    return t;
}

TestTexture Rgba(unsigned seed, int target = k2D, bool isSigned = false) {
    return RandomTexture(seed, target, GL_RGBA32F, GL_RGBA,
                         {GL_RGBA, isSigned ? Signedness::kSigned : Signedness::kUnsigned},
                         isSigned ? -1.0f : 0.0f);
}

// A legacy-format texture made the way the layer makes it: 8- or 16-bit data converted.
TestTexture Legacy(unsigned seed, GLenum internalFormat, GLenum format, GLenum type,
                   int target = k2D, int size = 4) {
    std::mt19937 random(seed);
    const int components =
        format == GL_DSDT_MAG_VIB_NV || format == GL_RGBA                              ? 4
        : format == GL_DSDT_MAG_NV || format == GL_RGB                                 ? 3
        : format == GL_HILO_NV || format == GL_DSDT_NV || format == GL_LUMINANCE_ALPHA ? 2
                                                                                       : 1;
    const size_t count = size_t(size) * size * (target == kCubeMap ? 6 : 1);
    const size_t bytesPerComponent = type == GL_SHORT || type == GL_UNSIGNED_SHORT ? 2 : 1;
    std::vector<unsigned char> bytes(count * components * bytesPerComponent);
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(random());
    FloatImage image;
    EXPECT_EQ(ConvertTexels(internalFormat, format, type, bytes.data(), count, &image), "");
    TestTexture t;
    t.target = target;
    t.internalFormat = image.internalFormat;
    t.format = image.format;
    t.described = DescribeInternalFormat(internalFormat);
    t.width = t.height = size;
    t.texels = image.texels;
    return t;
}

// Texel centres of a size-wide texture (projective: scaled by a random q).
Vec4 CentreCoord(std::mt19937& random, int size, bool rectangle) {
    auto centre = [&](void) {
        const float c = (float(random() % unsigned(size)) + 0.5f);
        return rectangle ? c : c / size;
    };
    const float q = 0.5f + float(random() % 4) * 0.5f;
    return {centre() * q, centre() * q, centre() * q, q};
}

Vec4 AnyCoord(std::mt19937& random, float lo, float hi) {
    std::uniform_real_distribution<float> value(lo, hi);
    return {value(random), value(random), value(random), value(random)};
}

FragmentState Shaders(std::initializer_list<GLenum> operations) {
    FragmentState state;
    state.textureShaders = true;
    int unit = 0;
    for (GLenum op : operations) state.units[unit++].shader.operation = op;
    return state;
}

// Both the generator and the evaluator judge the stage as the test expects.
void ExpectStage(const FragmentState& state, int unit, bool consistent) {
    EXPECT_EQ(ShaderConsistency(state)[unit], consistent) << "generator, unit " << unit;
    EXPECT_EQ(ReferenceStageConsistent(state, unit), consistent) << "evaluator, unit " << unit;
}

void Attach(FragmentState* state, int unit, const TestTexture& t) {
    state->units[unit].targets[t.target] = {true, t.described};
}

// Draws the set-up twice: through the texture environments (MODULATE everywhere, colour sum and
// fog on), and through the combiners, once per unit, showing (TEXTUREi + 1) / 2.
void ExpectBothPaths(const std::string& label, FragmentState state,
                     const std::vector<const TestTexture*>& textures,
                     const std::vector<Case>& cases) {
    Environment env;
    env.fogColor = {0.5f, 0.25f, 0.125f, 1};
    env.fogStart = 0;
    env.fogEnd = 2;
    env.depthNear = 0;
    env.depthFar = 1;
    FragmentState conventional = state;
    conventional.colorSum = true;
    conventional.fog = true;
    conventional.fogMode = GL_LINEAR;
    ExpectRendersAsEvaluated(label + " (texture environment)", conventional, textures, env, cases);
    for (int unit = 0; unit < state.textureUnits; ++unit) {
        FragmentState combined = state;
        CombinerState& c = combined.combiners;
        c.enabled = true;
        GeneralCombiner& stage = c.stages[0];
        for (CombinerPortion* p : {&stage.rgb, &stage.alpha}) {
            const GLenum usage = p == &stage.rgb ? GL_RGB : GL_ALPHA;
            p->inputs[kA] = {GLenum(GL_TEXTURE0 + unit), GL_SIGNED_IDENTITY_NV, usage};
            p->inputs[kB] = {GL_ZERO, GL_UNSIGNED_INVERT_NV, usage};
            p->inputs[kC] = {GL_ZERO, GL_UNSIGNED_INVERT_NV, usage};
            p->inputs[kD] = {GL_ZERO, GL_UNSIGNED_INVERT_NV, usage};
            p->scale = GL_SCALE_BY_ONE_HALF_NV;
        }
        c.final.inputs[kA] = {GL_ZERO, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
        c.final.inputs[kC] = {GL_SPARE0_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
        ExpectRendersAsEvaluated(label + " (combiners, unit " + std::to_string(unit) + ")",
                                 combined, textures, env, cases);
    }
}

TEST(ShaderRenderTest, ConventionalTargetsEveryBaseFormatSignedAndUnsigned) {
    struct Format {
        GLenum internal, format, base;
    };
    const Format formats[] = {{GL_RGBA32F, GL_RGBA, GL_RGBA},
                              {GL_RGB32F, GL_RGB, GL_RGB},
                              {GL_LUMINANCE32F_ARB, GL_LUMINANCE, GL_LUMINANCE},
                              {GL_LUMINANCE_ALPHA32F_ARB, GL_LUMINANCE_ALPHA, GL_LUMINANCE_ALPHA},
                              {GL_ALPHA32F_ARB, GL_ALPHA, GL_ALPHA},
                              {GL_INTENSITY32F_ARB, GL_RED, GL_INTENSITY}};
    const GLenum ops[] = {GL_TEXTURE_1D, GL_TEXTURE_2D, GL_TEXTURE_3D, GL_TEXTURE_RECTANGLE_NV,
                          GL_TEXTURE_CUBE_MAP};
    unsigned seed = 1;
    for (GLenum op : ops) {
        const int target = TargetIndexOf(op);
        for (const Format& f : formats) {
            for (bool isSigned : {false, true}) {
                const TestTexture t =
                    RandomTexture(seed++, target, f.internal, f.format,
                                  {f.base, isSigned ? Signedness::kSigned : Signedness::kUnsigned},
                                  isSigned ? -1.0f : 0.0f);
                FragmentState state = Shaders({op});
                state.textureUnits = 1;
                Attach(&state, 0, t);
                const auto cases = Cases(seed, 64, [&](std::mt19937& r, int, int) {
                    if (target == kCubeMap) return AnyCoord(r, -1, 1);
                    return CentreCoord(r, 4, target == kRectangle);
                });
                ExpectBothPaths("operation " + std::to_string(op) + " format " +
                                    std::to_string(f.base) + (isSigned ? " signed" : ""),
                                state, {&t}, cases);
                if (f.base == GL_RGBA && !isSigned) {
                    // An incomplete texture makes the stage inconsistent: it reads as NONE.
                    state.units[0].targets[target].complete = false;
                    ExpectStage(state, 0, false);
                    ExpectBothPaths("incomplete " + std::to_string(op), state, {&t}, cases);
                }
            }
        }
    }
}

TEST(ShaderRenderTest, PassThroughCullAndNone) {
    const auto cases = Cases(3, 256, [](std::mt19937& r, int, int n) {
        Vec4 c = AnyCoord(r, -1.5f, 1.5f);
        if (n % 5 == 0) c[n / 5 % 4] = 0.0f;  // zero never fails GEQUAL, always fails LESS
        return c;
    });
    FragmentState pass = Shaders({GL_PASS_THROUGH_NV, GL_NONE, GL_PASS_THROUGH_NV});
    pass.textureUnits = 3;
    ExpectBothPaths("pass-through", pass, {}, cases);
    for (unsigned modes = 0; modes < 16; modes += 5) {
        FragmentState cull = Shaders({GL_PASS_THROUGH_NV, GL_CULL_FRAGMENT_NV});
        cull.textureUnits = 2;
        for (int c = 0; c < 4; ++c) {
            cull.units[1].shader.cullModes[c] = modes & (1u << c) ? GL_LESS : GL_GEQUAL;
        }
        ExpectBothPaths("cull modes " + std::to_string(modes), cull, {}, cases);
    }
}

TEST(ShaderRenderTest, OffsetTexturesWithAndWithoutScale) {
    struct Offset {
        GLenum op;
        GLenum dsdtInternal, dsdtFormat;
        int target;
        bool consistent;
    };
    const Offset offsets[] = {
        {GL_OFFSET_TEXTURE_2D_NV, GL_DSDT8_NV, GL_DSDT_NV, k2D, true},
        {GL_OFFSET_TEXTURE_2D_NV, GL_DSDT8_MAG8_INTENSITY8_NV, GL_DSDT_MAG_VIB_NV, k2D, true},
        {GL_OFFSET_TEXTURE_2D_SCALE_NV, GL_DSDT8_MAG8_NV, GL_DSDT_MAG_NV, k2D, true},
        {GL_OFFSET_TEXTURE_2D_SCALE_NV, GL_DSDT8_MAG8_INTENSITY8_NV, GL_DSDT_MAG_VIB_NV, k2D, true},
        {GL_OFFSET_TEXTURE_RECTANGLE_NV, GL_DSDT8_MAG8_NV, GL_DSDT_MAG_NV, kRectangle, true},
        {GL_OFFSET_TEXTURE_RECTANGLE_SCALE_NV, GL_DSDT8_MAG8_NV, GL_DSDT_MAG_NV, kRectangle, true},
        // The scaled forms need a magnitude, offsets need a DSDT texture.
        {GL_OFFSET_TEXTURE_2D_SCALE_NV, GL_DSDT8_NV, GL_DSDT_NV, k2D, false},
        {GL_OFFSET_TEXTURE_2D_NV, GL_SIGNED_RGBA8_NV, GL_RGBA, k2D, false},
    };
    unsigned seed = 40;
    for (const Offset& o : offsets) {
        const TestTexture dsdt = Legacy(seed++, o.dsdtInternal, o.dsdtFormat, GL_BYTE);
        const TestTexture image = RandomTexture(seed++, o.target, GL_RGBA32F, GL_RGBA,
                                                {GL_RGBA, Signedness::kUnsigned}, 0.0f, 16);
        FragmentState state = Shaders({GL_TEXTURE_2D, o.op});
        state.textureUnits = 2;
        Attach(&state, 0, dsdt);
        Attach(&state, 1, image);
        TextureShaderStage& shader = state.units[1].shader;
        shader.offsetMatrix = {0.75f, -0.25f, 0.5f, 1.25f};
        shader.offsetScale = 1.5f;
        shader.offsetBias = -0.25f;
        if (o.target == kRectangle) {
            for (float& a : shader.offsetMatrix) a *= 4;
        }
        ExpectStage(state, 1, o.consistent);
        const auto cases = Cases(seed, 128, [&](std::mt19937& r, int u, int) {
            return u == 0 ? CentreCoord(r, 4, false) : CentreCoord(r, 16, o.target == kRectangle);
        });
        ExpectBothPaths(
            "offset " + std::to_string(o.op) + " over " + std::to_string(o.dsdtInternal), state,
            {&dsdt, &image}, cases);
    }
}

TEST(ShaderRenderTest, DependentLookups) {
    const TestTexture image = Rgba(60, k2D);
    // Previous inputs: unsigned RGBA (consistent) and signed RGBA (inconsistent).
    for (bool signedPrevious : {false, true}) {
        const TestTexture colours = Rgba(61, k2D, signedPrevious);
        for (GLenum op : {GL_DEPENDENT_AR_TEXTURE_2D_NV, GL_DEPENDENT_GB_TEXTURE_2D_NV}) {
            FragmentState state = Shaders({GL_TEXTURE_2D, op});
            state.textureUnits = 2;
            Attach(&state, 0, colours);
            Attach(&state, 1, image);
            ExpectStage(state, 1, !signedPrevious);
            const auto cases =
                Cases(62, 64, [](std::mt19937& r, int, int) { return CentreCoord(r, 4, false); });
            ExpectBothPaths(
                std::string(signedPrevious ? "signed " : "") + "dependent " + std::to_string(op),
                state, {&colours, &image}, cases);
        }
    }
}

// Target a dot-product operation samples, -1 for none.
int SampledTarget(GLenum op) {
    switch (op) {
        case GL_TEXTURE_2D:
        case GL_DOT_PRODUCT_TEXTURE_2D_NV:
            return k2D;
        case GL_DOT_PRODUCT_TEXTURE_RECTANGLE_NV:
            return kRectangle;
        case GL_DOT_PRODUCT_TEXTURE_3D_NV:
            return k3D;
        case GL_DOT_PRODUCT_TEXTURE_CUBE_MAP_NV:
        case GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV:
        case GL_DOT_PRODUCT_CONST_EYE_REFLECT_CUBE_MAP_NV:
        case GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV:
            return kCubeMap;
        default:
            return -1;
    }
}

// The normal-map textures a dot product can read.
std::vector<TestTexture> DotInputs() {
    std::vector<TestTexture> inputs;
    inputs.push_back(Rgba(70));                                                 // unsigned RGBA
    inputs.push_back(Legacy(71, GL_SIGNED_RGBA8_NV, GL_RGBA, GL_BYTE));         // signed RGBA
    inputs.push_back(Legacy(72, GL_HILO16_NV, GL_HILO_NV, GL_UNSIGNED_SHORT));  // unsigned HILO
    inputs.push_back(Legacy(73, GL_SIGNED_HILO16_NV, GL_HILO_NV, GL_SHORT));    // signed HILO
    inputs.push_back(Legacy(74, GL_SIGNED_RGB8_UNSIGNED_ALPHA8_NV, GL_RGBA, GL_BYTE));  // mixed
    return inputs;
}

TEST(ShaderRenderTest, DotProductFamiliesOverEveryInputType) {
    struct Chain {
        const char* name;
        std::vector<GLenum> ops;
        bool consistent = true;  // the last stage, over a usable input
    };
    const Chain chains[] = {
        {"2D", {GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_TEXTURE_2D_NV}},
        {"rectangle", {GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_TEXTURE_RECTANGLE_NV}},
        {"cube map", {GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_TEXTURE_CUBE_MAP_NV}},
        {"3D", {GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_TEXTURE_3D_NV}},
        {"reflect", {GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV}},
        {"const eye reflect",
         {GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_CONST_EYE_REFLECT_CUBE_MAP_NV}},
        {"diffuse and reflect",
         {GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV,
          GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV}},
        {"diffuse and const eye reflect",
         {GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV,
          GL_DOT_PRODUCT_CONST_EYE_REFLECT_CUBE_MAP_NV}},
        {"depth replace", {GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_DEPTH_REPLACE_NV}},
        // Inconsistent chains: no dot product before, and a diffuse stage without a reflection.
        {"2D without dot product", {GL_TEXTURE_2D, GL_DOT_PRODUCT_TEXTURE_2D_NV}, false},
        {"diffuse alone", {GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV, GL_NONE}, false},
    };
    const std::vector<TestTexture> inputs = DotInputs();
    unsigned seed = 80;
    for (const Chain& chain : chains) {
        for (size_t in = 0; in < inputs.size(); ++in) {
            for (GLenum mapping : {GL_UNSIGNED_IDENTITY_NV, GL_EXPAND_NORMAL_NV}) {
                if (mapping == GL_EXPAND_NORMAL_NV && in != 0) continue;
                FragmentState state;
                state.textureShaders = true;
                state.textureUnits = 1 + int(chain.ops.size());
                state.units[0].shader.operation = GL_TEXTURE_2D;
                Attach(&state, 0, inputs[in]);
                std::vector<TestTexture> owned;
                owned.reserve(4);
                std::vector<const TestTexture*> textures = {&inputs[in]};
                for (size_t s = 0; s < chain.ops.size(); ++s) {
                    TextureUnit& unit = state.units[1 + s];
                    unit.shader.operation = chain.ops[s];
                    unit.shader.previousInput = GL_TEXTURE0;
                    unit.shader.dotMapping = mapping;
                    unit.shader.constEye = {0.25f, -0.5f, 1.0f};
                    const int target = SampledTarget(chain.ops[s]);
                    if (target >= 0) {
                        owned.push_back(RandomTexture(seed++, target, GL_RGBA32F, GL_RGBA,
                                                      {GL_RGBA, Signedness::kUnsigned}, 0.0f,
                                                      target == kRectangle ? 8 : 4));
                        Attach(&state, int(1 + s), owned.back());
                        textures.push_back(&owned.back());
                    } else {
                        textures.push_back(nullptr);
                    }
                }
                // The mixed-signedness texture is no input for dot products.
                const int last = chain.ops.back() == GL_NONE ? 2 : int(chain.ops.size());
                ExpectStage(state, last, chain.consistent && in != 4);
                const auto cases = Cases(seed++, 128, [&](std::mt19937& r, int u, int) {
                    if (u == 0) return CentreCoord(r, 4, false);
                    // Rows of the matrix; depth replace wants a quotient inside [0, 1] mostly.
                    return AnyCoord(r, -1, 1);
                });
                ExpectBothPaths(std::string(chain.name) + " over input " + std::to_string(in) +
                                    (mapping == GL_EXPAND_NORMAL_NV ? " expanded" : ""),
                                state, textures, cases);
            }
        }
    }
}

TEST(ShaderRenderTest, OnlyTheFirstConsistentDepthReplaceReplaces) {
    const std::vector<TestTexture> inputs = DotInputs();
    FragmentState state =
        Shaders({GL_TEXTURE_2D, GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_DEPTH_REPLACE_NV,
                 GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_DEPTH_REPLACE_NV});
    state.textureUnits = 5;
    Attach(&state, 0, inputs[1]);
    ExpectStage(state, 2, true);
    ExpectStage(state, 4, false);
    const auto cases = Cases(90, 128, [](std::mt19937& r, int u, int) {
        return u == 0 ? CentreCoord(r, 4, false) : AnyCoord(r, 0.1f, 1);
    });
    ExpectBothPaths("two depth replacements", state, {&inputs[1]}, cases);
}

TEST(ShaderRenderTest, TextureEnvironmentsOverShaderResults) {
    struct Format {
        GLenum internal, format, base;
    };
    const Format formats[] = {{GL_RGBA32F, GL_RGBA, GL_RGBA},
                              {GL_RGB32F, GL_RGB, GL_RGB},
                              {GL_LUMINANCE32F_ARB, GL_LUMINANCE, GL_LUMINANCE},
                              {GL_LUMINANCE_ALPHA32F_ARB, GL_LUMINANCE_ALPHA, GL_LUMINANCE_ALPHA},
                              {GL_ALPHA32F_ARB, GL_ALPHA, GL_ALPHA},
                              {GL_INTENSITY32F_ARB, GL_RED, GL_INTENSITY}};
    const GLenum modes[] = {GL_MODULATE, GL_DECAL, GL_BLEND, GL_REPLACE, GL_ADD, GL_NONE};
    unsigned seed = 100;
    for (bool shaders : {true, false}) {
        for (const Format& f : formats) {
            for (GLenum mode : modes) {
                for (bool isSigned : {false, true}) {
                    if (isSigned && !shaders) continue;
                    const TestTexture first = RandomTexture(
                        seed++, k2D, f.internal, f.format,
                        {f.base, isSigned ? Signedness::kSigned : Signedness::kUnsigned},
                        isSigned ? -1.0f : 0.0f);
                    const TestTexture second = Rgba(seed++);
                    FragmentState state = Shaders({GL_TEXTURE_2D, GL_TEXTURE_2D});
                    state.textureShaders = shaders;
                    state.textureUnits = 2;
                    Attach(&state, 0, first);
                    Attach(&state, 1, second);
                    state.units[0].enabledTarget = state.units[1].enabledTarget = GL_TEXTURE_2D;
                    state.units[0].envMode = mode;
                    state.units[1].envMode = mode == GL_ADD ? GL_MODULATE : GL_ADD;
                    state.colorSum = seed % 2 == 0;
                    state.fog = seed % 3 != 0;
                    state.fogMode = GL_LINEAR;
                    Environment env;
                    env.envColor[0] = {0.25f, 0.5f, 0.75f, 0.625f};
                    env.envColor[1] = {1.0f, 0.0f, 0.5f, 0.125f};
                    env.fogColor = {0.75f, 0.5f, 0.25f, 1};
                    env.fogStart = -0.5f;
                    env.fogEnd = 1.5f;
                    const auto cases = Cases(seed, 64, [](std::mt19937& r, int, int) {
                        return CentreCoord(r, 4, false);
                    });
                    ExpectRendersAsEvaluated(std::string(shaders ? "shaders, " : "conventional, ") +
                                                 "format " + std::to_string(f.base) + " mode " +
                                                 std::to_string(mode) + (isSigned ? " signed" : ""),
                                             state, {&first, &second}, env, cases);
                }
            }
        }
    }
}

TEST(ShaderRenderTest, SignedNormalMapLitByDotProduct) {
    // A bump-mapped quad as legacy programs draw it: a signed normal map from bytes b - 128,
    // the light vector in the primary colour, N.L through the combiners.
    std::vector<unsigned char> bytes;
    std::mt19937 random(5);
    for (int i = 0; i < 16 * 3; ++i) bytes.push_back(static_cast<unsigned char>(random() - 128));
    FloatImage image;
    ASSERT_EQ(ConvertTexels(GL_SIGNED_RGB8_NV, GL_RGB, GL_BYTE, bytes.data(), 16, &image), "");
    TestTexture normals;
    normals.internalFormat = image.internalFormat;
    normals.format = image.format;
    normals.described = DescribeInternalFormat(GL_SIGNED_RGB8_NV);
    normals.width = normals.height = 4;
    normals.texels = image.texels;
    FragmentState state = Shaders({GL_TEXTURE_2D});
    state.textureUnits = 1;
    Attach(&state, 0, normals);
    CombinerState& c = state.combiners;
    c.enabled = true;
    c.stages[0].rgb.inputs[kA] = {GL_TEXTURE0, GL_SIGNED_IDENTITY_NV, GL_RGB};
    c.stages[0].rgb.inputs[kB] = {GL_PRIMARY_COLOR_NV, GL_EXPAND_NORMAL_NV, GL_RGB};
    c.stages[0].rgb.abDotProduct = true;
    c.stages[0].rgb.abOutput = GL_SPARE0_NV;
    c.stages[0].rgb.sumOutput = GL_DISCARD_NV;
    c.final.inputs[kA] = {GL_FOG, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA};
    const auto cases =
        Cases(6, 128, [](std::mt19937& r, int, int) { return CentreCoord(r, 4, false); });
    ExpectRendersAsEvaluated("signed normal map", state, {&normals}, Environment(), cases);
}

TEST(ShaderRenderTest, HiloAndOffsetTexturesReadAsTheCombinerTableSays) {
    // Fetched directly (texture shaders) or conventionally, HILO and DSDT textures give zero and
    // DSDT_MAG_INTENSITY its intensity: alone in alpha for the combiners, as INTENSITY for the
    // texture environment.
    struct Format {
        GLenum internal, format;
    };
    const Format formats[] = {{GL_HILO16_NV, GL_HILO_NV},
                              {GL_DSDT8_NV, GL_DSDT_NV},
                              {GL_DSDT8_MAG8_NV, GL_DSDT_MAG_NV},
                              {GL_DSDT8_MAG8_INTENSITY8_NV, GL_DSDT_MAG_VIB_NV}};
    unsigned seed = 120;
    for (const Format& f : formats) {
        const TestTexture t =
            Legacy(seed++, f.internal, f.format, f.internal == GL_HILO16_NV ? GL_SHORT : GL_BYTE);
        for (bool shaders : {true, false}) {
            FragmentState state = Shaders({GL_TEXTURE_2D});
            state.textureShaders = shaders;
            state.textureUnits = 1;
            state.units[0].enabledTarget = GL_TEXTURE_2D;
            Attach(&state, 0, t);
            const auto cases =
                Cases(seed, 64, [](std::mt19937& r, int, int) { return CentreCoord(r, 4, false); });
            ExpectBothPaths(std::string(shaders ? "shader fetch of " : "conventional fetch of ") +
                                std::to_string(f.internal),
                            state, {&t}, cases);
        }
    }
}

TEST(ShaderRenderTest, ProgramsLoadWhateverTheState) {
    // Tokens from every list, valid where they are or not: the text must always load, and the
    // evaluator must give colours in [0, 1].
    const GLenum tokens[] = {GL_NONE,
                             GL_ZERO,
                             GL_RGB,
                             GL_ALPHA,
                             GL_BLUE,
                             GL_FOG,
                             GL_TEXTURE0,
                             GL_TEXTURE0 + 3,
                             GL_TEXTURE0 + 7,
                             GL_TEXTURE0 + 9,
                             GL_PRIMARY_COLOR_NV,
                             GL_SPARE0_NV,
                             GL_DISCARD_NV,
                             GL_E_TIMES_F_NV,
                             GL_SPARE0_PLUS_SECONDARY_COLOR_NV,
                             GL_CONSTANT_COLOR1_NV,
                             GL_SIGNED_NEGATE_NV,
                             GL_SCALE_BY_FOUR_NV,
                             GL_TEXTURE_2D,
                             GL_TEXTURE_CUBE_MAP,
                             GL_DOT_PRODUCT_NV,
                             GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV,
                             GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV,
                             GL_DOT_PRODUCT_DEPTH_REPLACE_NV,
                             GL_OFFSET_TEXTURE_2D_SCALE_NV,
                             GL_CULL_FRAGMENT_NV,
                             GL_LESS,
                             GL_MODULATE,
                             GL_DECAL,
                             GL_EXP2,
                             0x12345};
    std::mt19937 random(99);
    auto token = [&]() { return tokens[random() % (sizeof tokens / sizeof *tokens)]; };
    GlHarness& gl = Harness();
    ASSERT_EQ(gl.Failure(), "");
    Environment env;
    env.sample = [](int, int, const Vec4&) { return Vec4{0.5f, -0.5f, 2.0f, -2.0f}; };
    for (int trial = 0; trial < 300; ++trial) {
        FragmentState state;
        state.combiners.enabled = random() % 2;
        state.combiners.generalCombiners = int(random() % 12) - 2;
        state.textureShaders = random() % 2;
        state.textureUnits = int(random() % 12) - 2;
        state.colorSum = random() % 2;
        state.fog = random() % 2;
        state.fogMode = token();
        for (GeneralCombiner& stage : state.combiners.stages) {
            for (CombinerPortion* p : {&stage.rgb, &stage.alpha}) {
                for (CombinerInput& in : p->inputs) in = {token(), token(), token()};
                p->abOutput = token();
                p->cdOutput = token();
                p->sumOutput = token();
                p->scale = token();
                p->bias = token();
                p->abDotProduct = random() % 2;
                p->muxSum = random() % 2;
            }
        }
        for (CombinerInput& in : state.combiners.final.inputs) in = {token(), token(), token()};
        for (TextureUnit& unit : state.units) {
            unit.shader.operation = token();
            unit.shader.previousInput = token();
            unit.shader.dotMapping = token();
            unit.shader.cullModes = {token(), token(), token(), token()};
            unit.enabledTarget = token();
            unit.envMode = token();
            for (BoundTexture& t : unit.targets) {
                t = {random() % 2 == 0, {token(), Signedness(random() % 3)}};
            }
        }
        const std::string text = GenerateProgram(state);
        ASSERT_EQ(gl.Load(text), "") << "trial " << trial << "\n" << text;
        Fragment f;
        f.primary = {0.25f, 0.5f, 0.75f, 1};
        for (Vec4& c : f.texcoord) c = {0.5f, -0.25f, 1.5f, 1};
        const Outcome out = Evaluate(state, env, f);
        for (float v : out.color) {
            ASSERT_TRUE(v >= 0 && v <= 1) << "trial " << trial << ": " << v;
        }
    }
}

}  // namespace
}  // namespace fragmenttest
