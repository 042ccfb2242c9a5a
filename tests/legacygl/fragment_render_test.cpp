// Register combiners and texture shaders set up by shaderparse through the layer and drawn by the
// real driver under Xvfb: each pixel against the CPU evaluation of the same state, the
// application's own fragment program back in force once the extensions are off.
#define GL_GLEXT_PROTOTYPES 1

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "fragmentprogram/reference_evaluator.h"
#include "shaderparse/parse_state.h"
#include "shaderparse/shaderparse.h"

// After gtest: X11 (through GLX) defines names such as None.
#include "tests/legacygl/fragment_draw_test.h"

namespace {

using fragmentprogram::Vec4;
using legacygltest::Fetch;
using legacygltest::FragmentDrawTest;
using legacygltest::kTolerance;

class LegacyFragment : public FragmentDrawTest {
  protected:
    void Parse(const std::string& text) {
        shaderparse(text.c_str());
        EXPECT_EQ(parseErrors.Count(), 0) << text;
    }

    // A 1x1 (or 2x2) NEAREST texture on `unit`.
    void Texture(int unit, GLenum internalFormat, GLenum format, GLenum type, int size,
                 const void* texels, bool enable) {
        glActiveTexture(GL_TEXTURE0 + unit);
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(internalFormat), size, size, 0, format, type, texels);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        if (enable) glEnable(GL_TEXTURE_2D);
        glActiveTexture(GL_TEXTURE0);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
};

// Unit 0 and 1 of the combiner test.
const float kTexel0[4] = {0.8f, 0.3f, 0.6f, 1.0f};
const float kTexel1[4] = {0.5f, 0.9f, 0.2f, 0.4f};

void Input(fragmentprogram::CombinerInput& in, GLenum input, GLenum mapping, GLenum usage) {
    in = {input, mapping, usage};
}

TEST_F(LegacyFragment, CombinersFromRc10RenderAsEvaluatedAndTheApplicationsProgramReturns) {
    Texture(0, GL_RGBA32F, GL_RGBA, GL_FLOAT, 1, kTexel0, true);
    Texture(1, GL_RGBA32F, GL_RGBA, GL_FLOAT, 1, kTexel1, true);
    const Vec4 before = Draw();  // the application's program: texture coordinate 0
    EXPECT_EQ(before, fragment_.texcoord[0]);
    GLint appProgram = 0;
    auto getProgramiv = harness->Nv().GetProgramivARB;
    getProgramiv(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_BINDING_ARB, &appProgram);

    Parse(
        "!!RC1.0\n"
        "{ rgb { spare0 = expand(tex0) . expand(col0); } }\n"
        "{ rgb { spare0 = unsigned(spare0) * tex1; } alpha { spare0 = tex1.a * one; } }\n"
        "out.rgb = spare0 * col1 + fog;\n"
        "out.a = spare0.a;\n");
    glEnable(GL_REGISTER_COMBINERS_NV);

    // What shaderparse sets for that text, written out here.
    auto& c = expected_.combiners;
    c.enabled = true;
    c.generalCombiners = 2;
    c.colorSumClamp = false;
    auto& s0 = c.stages[0].rgb;
    Input(s0.inputs[0], GL_TEXTURE0, GL_EXPAND_NORMAL_NV, GL_RGB);
    Input(s0.inputs[1], GL_PRIMARY_COLOR_NV, GL_EXPAND_NORMAL_NV, GL_RGB);
    s0.abOutput = GL_SPARE0_NV;
    s0.sumOutput = GL_DISCARD_NV;
    s0.abDotProduct = true;
    c.stages[0].alpha.sumOutput = GL_DISCARD_NV;
    for (auto& in : c.stages[0].alpha.inputs) Input(in, GL_ZERO, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA);
    auto& s1 = c.stages[1].rgb;
    Input(s1.inputs[0], GL_SPARE0_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB);
    Input(s1.inputs[1], GL_TEXTURE1, GL_SIGNED_IDENTITY_NV, GL_RGB);
    s1.abOutput = GL_SPARE0_NV;
    s1.sumOutput = GL_DISCARD_NV;
    auto& a1 = c.stages[1].alpha;
    Input(a1.inputs[0], GL_TEXTURE1, GL_SIGNED_IDENTITY_NV, GL_ALPHA);
    Input(a1.inputs[1], GL_ZERO, GL_UNSIGNED_INVERT_NV, GL_ALPHA);
    a1.abOutput = GL_SPARE0_NV;
    a1.sumOutput = GL_DISCARD_NV;
    auto& f = c.final.inputs;
    Input(f[0], GL_SPARE0_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB);
    Input(f[1], GL_SECONDARY_COLOR_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB);
    Input(f[2], GL_ZERO, GL_UNSIGNED_IDENTITY_NV, GL_RGB);
    Input(f[3], GL_FOG, GL_UNSIGNED_IDENTITY_NV, GL_RGB);
    Input(f[6], GL_SPARE0_NV, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA);
    for (int unit = 0; unit < 2; ++unit) {
        auto& u = expected_.units[unit];
        u.enabledTarget = GL_TEXTURE_2D;
        u.targets[fragmentprogram::k2D] = {true, {GL_RGBA, fragmentprogram::Signedness::kUnsigned}};
    }
    env_.sample = [](int unit, int, const Vec4&) {
        const float* t = unit == 0 ? kTexel0 : kTexel1;
        return Vec4{t[0], t[1], t[2], t[3]};
    };
    ExpectEvaluated(Draw());
    // A second draw takes the cached program and still draws the same.
    ExpectEvaluated(Draw());
    EXPECT_TRUE(glIsEnabled(GL_FRAGMENT_PROGRAM_ARB));  // the application's enable

    glDisable(GL_REGISTER_COMBINERS_NV);
    EXPECT_EQ(Draw(), fragment_.texcoord[0]);
    GLint bound = 0;
    getProgramiv(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_BINDING_ARB, &bound);
    EXPECT_EQ(bound, appProgram);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(LegacyFragment, ConstantsChangeWithoutANewProgramAndPerStageConstantsTakeOver) {
    Parse(
        "!!RC1.0\n"
        "{ rgb { spare0 = const0 * col0; } }\n"
        "out.rgb = spare0;\n"
        "out.a = one;\n");
    glEnable(GL_REGISTER_COMBINERS_NV);
    auto combinerParameterfv = Fetch<PFNGLCOMBINERPARAMETERFVNVPROC>("glCombinerParameterfvNV");
    auto stageParameterfv =
        Fetch<PFNGLCOMBINERSTAGEPARAMETERFVNVPROC>("glCombinerStageParameterfvNV");
    ASSERT_NE(combinerParameterfv, nullptr);
    ASSERT_NE(stageParameterfv, nullptr);
    const GLfloat global[4] = {0.5f, 0.25f, 1.0f, 1.0f}, own[4] = {1.0f, 0.5f, 0.0f, 1.0f};
    combinerParameterfv(GL_CONSTANT_COLOR0_NV, global);
    stageParameterfv(GL_COMBINER0_NV, GL_CONSTANT_COLOR0_NV, own);
    const Vec4& p = fragment_.primary;
    Vec4 drawn = Draw();
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(drawn[k], global[k] * p[k], kTolerance);
    EXPECT_NEAR(drawn[3], 1.0f, kTolerance);
    glEnable(GL_PER_STAGE_CONSTANTS_NV);
    drawn = Draw();
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(drawn[k], own[k] * p[k], kTolerance);
    glDisable(GL_PER_STAGE_CONSTANTS_NV);
}

TEST_F(LegacyFragment, TextureShadersFromTs10OverASignedTextureRenderAsEvaluated) {
    // Signed bytes c are c / 128.
    const GLbyte normal[3] = {-64, 32, 127};
    Texture(0, GL_SIGNED_RGB8_NV, GL_RGB, GL_BYTE, 1, normal, false);
    const float lookup[16] = {1, 0, 0, 1, 0, 1, 0, 1, 0, 0, 1, 1, 0.5f, 0.5f, 0.5f, 0.25f};
    Texture(2, GL_RGBA32F, GL_RGBA, GL_FLOAT, 2, lookup, false);
    Parse(
        "!!TS1.0\n"
        "texture_2d();\n"
        "dot_product_2d_1of2(tex0);\n"
        "dot_product_2d_2of2(tex0);\n");
    glEnable(GL_TEXTURE_SHADER_NV);
    GLint consistent = 0;
    glActiveTexture(GL_TEXTURE2);
    glGetTexEnviv(GL_TEXTURE_SHADER_NV, GL_SHADER_CONSISTENT_NV, &consistent);
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(consistent, 1);

    expected_.textureShaders = true;
    auto& u = expected_.units;
    u[0].shader.operation = GL_TEXTURE_2D;
    u[0].targets[fragmentprogram::k2D] = {true, {GL_RGB, fragmentprogram::Signedness::kSigned}};
    u[1].shader.operation = GL_DOT_PRODUCT_NV;
    u[2].shader.operation = GL_DOT_PRODUCT_TEXTURE_2D_NV;
    u[2].targets[fragmentprogram::k2D] = {true, {GL_RGBA, fragmentprogram::Signedness::kUnsigned}};
    env_.sample = [&lookup](int unit, int, const Vec4& coord) {
        if (unit == 0) return Vec4{-0.5f, 0.25f, 127 / 128.0f, 1};
        auto index = [](float c) { return std::min(std::max(int(std::floor(c * 2)), 0), 1); };
        const float* t = lookup + 4 * (index(coord[1]) * 2 + index(coord[0]));
        return Vec4{t[0], t[1], t[2], t[3]};
    };
    ExpectEvaluated(Draw());

    // Without a texture on unit 2 the stage is inconsistent.
    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, 0);
    glGetTexEnviv(GL_TEXTURE_SHADER_NV, GL_SHADER_CONSISTENT_NV, &consistent);
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(consistent, 0);
    u[2].targets[fragmentprogram::k2D].complete = false;
    ExpectEvaluated(Draw());

    glDisable(GL_TEXTURE_SHADER_NV);
    EXPECT_EQ(Draw(), fragment_.texcoord[0]);
}

TEST_F(LegacyFragment, TheFogRegisterFollowsTheGlsFogState) {
    Parse("!!RC1.0\nout.rgb = lerp(fog.a, col0, fog);\nout.a = col0.a;\n");
    glEnable(GL_REGISTER_COMBINERS_NV);
    const GLfloat fogColor[4] = {0.1f, 0.4f, 0.9f, 1};
    glFogfv(GL_FOG_COLOR, fogColor);
    glFogf(GL_FOG_DENSITY, 0.8f);
    glFogi(GL_FOG_COORDINATE_SOURCE, GL_FOG_COORDINATE);
    glFogCoordf(0.7f);
    auto& c = expected_.combiners;
    c.enabled = true;
    c.colorSumClamp = false;
    auto& f = c.final.inputs;
    Input(f[0], GL_FOG, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA);
    Input(f[1], GL_PRIMARY_COLOR_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB);
    Input(f[2], GL_FOG, GL_UNSIGNED_IDENTITY_NV, GL_RGB);
    Input(f[3], GL_ZERO, GL_UNSIGNED_IDENTITY_NV, GL_RGB);
    Input(f[6], GL_PRIMARY_COLOR_NV, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA);
    env_.fogColor = {fogColor[0], fogColor[1], fogColor[2], fogColor[3]};
    env_.fogDensity = 0.8f;
    fragment_.fogCoordinate = 0.7f;
    for (GLenum mode : {GL_EXP, GL_EXP2}) {
        glFogi(GL_FOG_MODE, GLint(mode));
        for (bool on : {false, true}) {
            SCOPED_TRACE(std::to_string(mode) + (on ? " on" : " off"));
            if (on) glEnable(GL_FOG);
            expected_.fog = on;
            expected_.fogMode = mode;
            ExpectEvaluated(Draw());
            glDisable(GL_FOG);
        }
    }
    glFogi(GL_FOG_COORDINATE_SOURCE, GL_FRAGMENT_DEPTH);
    glFogi(GL_FOG_MODE, GL_EXP);
}

TEST_F(LegacyFragment, DisplayListsHoldTheCombinerAndTextureShaderCommands) {
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    Parse("!!RC1.0\nout.rgb = col1;\nout.a = col0.a;\n");
    glActiveTexture(GL_TEXTURE1);
    glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_PASS_THROUGH_NV);
    glActiveTexture(GL_TEXTURE0);
    glEnable(GL_REGISTER_COMBINERS_NV);
    glEndList();
    // Set up outside the list after it: the list's own set-up must replace this one.
    Parse("!!RC1.0\nout.rgb = col0;\nout.a = col0.a;\n");
    // Compiling ran none of it.
    EXPECT_EQ(Draw(), fragment_.texcoord[0]);
    GLint operation = -1;
    glActiveTexture(GL_TEXTURE1);
    glGetTexEnviv(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, &operation);
    EXPECT_EQ(operation, GL_NONE);
    glCallList(list);  // leaves unit 0 active
    glActiveTexture(GL_TEXTURE1);
    glGetTexEnviv(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, &operation);
    EXPECT_EQ(operation, GL_PASS_THROUGH_NV);
    glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_NONE);
    glActiveTexture(GL_TEXTURE0);
    const Vec4 drawn = Draw();
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(drawn[k], fragment_.secondary[k], kTolerance) << k;
    glDeleteLists(list, 1);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(LegacyFragment, TheApplicationsOwnBindingAndEnableWhileTheCombinersAreOn) {
    Parse("!!RC1.0\nout.rgb = col1;\nout.a = col0.a;\n");
    glEnable(GL_REGISTER_COMBINERS_NV);
    const Vec4 combined = Draw();
    EXPECT_NEAR(combined[0], fragment_.secondary[0], kTolerance);
    EXPECT_NEAR(combined[3], fragment_.primary[3], kTolerance);
    // The application switches its program off meanwhile: the combiners still draw, and once
    // they are off the fixed-function pipeline draws the primary colour.
    glDisable(GL_FRAGMENT_PROGRAM_ARB);
    EXPECT_FALSE(glIsEnabled(GL_FRAGMENT_PROGRAM_ARB));
    EXPECT_NEAR(Draw()[1], fragment_.secondary[1], kTolerance);
    glDisable(GL_REGISTER_COMBINERS_NV);
    EXPECT_EQ(Draw(), fragment_.primary);
    glEnable(GL_FRAGMENT_PROGRAM_ARB);
    EXPECT_EQ(Draw(), fragment_.texcoord[0]);
}

void ExpectNear(const Vec4& drawn, const Vec4& expected) {
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(drawn[k], expected[k], kTolerance) << "component " << k;
}

TEST_F(LegacyFragment, PushedCombinerAndShaderStateDrawsAgainAfterThePop) {
    Parse("!!RC1.0\nconst0 = (0.25, 0.5, 0.125, 1);\nout.rgb = const0;\nout.a = col0.a;\n");
    glEnable(GL_REGISTER_COMBINERS_NV);
    const Vec4 first = {0.25f, 0.5f, 0.125f, fragment_.primary[3]};
    ExpectNear(Draw(), first);

    GLint operation = -1;
    glGetTexEnviv(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, &operation);
    const GLint firstOperation = operation;
    glPushAttrib(GL_TEXTURE_BIT | GL_ENABLE_BIT);
    Texture(0, GL_RGBA32F, GL_RGBA, GL_FLOAT, 1, kTexel0, false);
    Parse("!!TS1.0\ntexture_2d();\n");
    glGetTexEnviv(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, &operation);
    EXPECT_EQ(operation, GL_TEXTURE_2D);
    glEnable(GL_TEXTURE_SHADER_NV);
    Parse("!!RC1.0\n{ rgb { spare0 = col1 * tex0; } }\nout.rgb = spare0;\nout.a = one;\n");
    glEnable(GL_PER_STAGE_CONSTANTS_NV);
    Vec4 second = {0, 0, 0, 1};
    for (int k = 0; k < 3; ++k) second[k] = fragment_.secondary[k] * kTexel0[k];
    ExpectNear(Draw(), second);

    glPopAttrib();
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_SHADER_NV));
    EXPECT_FALSE(glIsEnabled(GL_PER_STAGE_CONSTANTS_NV));
    glGetTexEnviv(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, &operation);
    EXPECT_EQ(operation, firstOperation);
    ExpectNear(Draw(), first);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(LegacyFragment, PushesAndPopsCalledFromDisplayListsSaveTheCombinerState) {
    Parse("!!RC1.0\nconst0 = (0.25, 0.5, 0.125, 1);\nout.rgb = const0;\nout.a = one;\n");
    glEnable(GL_REGISTER_COMBINERS_NV);
    const GLuint lists = glGenLists(2);
    glNewList(lists, GL_COMPILE);
    glPushAttrib(GL_TEXTURE_BIT);
    glEndList();
    glNewList(lists + 1, GL_COMPILE);
    glPopAttrib();
    glEndList();
    glCallList(lists);
    Parse("!!RC1.0\nconst0 = (1, 0.75, 0, 1);\nout.rgb = const0;\nout.a = one;\n");
    ExpectNear(Draw(), {1, 0.75f, 0, 1});
    glCallList(lists + 1);
    ExpectNear(Draw(), {0.25f, 0.5f, 0.125f, 1});
    glDeleteLists(lists, 2);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(LegacyFragment, AfterAPopTheApplicationsProgramEnableAndBindingAreItsOwn) {
    EXPECT_EQ(Draw(), fragment_.texcoord[0]);  // the layer's program of a test before is gone
    GLint appProgram = 0;
    auto getProgramiv = harness->Nv().GetProgramivARB;
    getProgramiv(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_BINDING_ARB, &appProgram);
    Parse("!!RC1.0\nout.rgb = col1;\nout.a = col0.a;\n");
    const Vec4 combined = {fragment_.secondary[0], fragment_.secondary[1], fragment_.secondary[2],
                           fragment_.primary[3]};
    for (bool appEnabled : {true, false}) {
        SCOPED_TRACE(appEnabled ? "the application's program on" : "the application's program off");
        if (!appEnabled) glDisable(GL_FRAGMENT_PROGRAM_ARB);
        // What the application's own state draws: its program, or the fixed-function pipeline.
        const Vec4 own = appEnabled ? fragment_.texcoord[0] : fragment_.primary;
        glEnable(GL_REGISTER_COMBINERS_NV);
        ExpectNear(Draw(), combined);
        // Pushed while the layer's program is installed; the combiners off before the pop.
        glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT);
        glDisable(GL_REGISTER_COMBINERS_NV);
        EXPECT_EQ(Draw(), own);
        glPopAttrib();
        EXPECT_TRUE(glIsEnabled(GL_REGISTER_COMBINERS_NV));
        EXPECT_EQ(bool(glIsEnabled(GL_FRAGMENT_PROGRAM_ARB)), appEnabled);
        glDisable(GL_REGISTER_COMBINERS_NV);
        EXPECT_EQ(Draw(), own);
        GLint bound = 0;
        getProgramiv(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_BINDING_ARB, &bound);
        EXPECT_EQ(bound, appProgram);
        // And popped while the layer's program is installed again.
        glPushAttrib(GL_ENABLE_BIT);
        glEnable(GL_REGISTER_COMBINERS_NV);
        ExpectNear(Draw(), combined);
        glPopAttrib();
        EXPECT_FALSE(glIsEnabled(GL_REGISTER_COMBINERS_NV));
        EXPECT_EQ(Draw(), own);
    }
    glEnable(GL_FRAGMENT_PROGRAM_ARB);
    EXPECT_EQ(Draw(), fragment_.texcoord[0]);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(LegacyFragment, ACubeMapShaderStageReadsItsUnitAndLeavesTheActiveUnitAsItWas) {
    // Faces +X, -X, +Y, -Y, +Z, -Z in six colours; the texture coordinate of unit 1 points to +Z.
    const float faces[6][4] = {
        {1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {1, 1, 0, 1}, {0.25f, 0.5f, 0.75f, 0.5f},
        {0, 1, 1, 1}};
    glActiveTexture(GL_TEXTURE1);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_CUBE_MAP, name);
    for (int f = 0; f < 6; ++f)
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f, 0, GL_RGBA32F, 1, 1, 0, GL_RGBA, GL_FLOAT,
                     faces[f]);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_TEXTURE_CUBE_MAP);
    glEnable(GL_TEXTURE_SHADER_NV);
    Parse("!!RC1.0\nout.rgb = tex1;\nout.a = tex1.a;\n");
    glEnable(GL_REGISTER_COMBINERS_NV);
    glActiveTexture(GL_TEXTURE2);
    ExpectNear(Draw(), {faces[4][0], faces[4][1], faces[4][2], faces[4][3]});
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE2);
    glActiveTexture(GL_TEXTURE1);
    glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_NONE);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    glActiveTexture(GL_TEXTURE0);
    glDeleteTextures(1, &name);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// Each draw samples the units the GL has enabled at that moment, however the enables changed:
// glEnable on another unit, a display list, a pop, an indexed enable.
TEST_F(LegacyFragment, EachDrawSamplesTheUnitsEnabledAtThatMoment) {
    const float texel0[4] = {0.25f, 0.125f, 0.5f, 1}, texel1[4] = {0.5f, 0.25f, 0.125f, 0.5f};
    Texture(0, GL_RGBA32F, GL_RGBA, GL_FLOAT, 1, texel0, true);
    Texture(1, GL_RGBA32F, GL_RGBA, GL_FLOAT, 1, texel1, false);
    Parse("!!RC1.0\nout.rgb = tex0 + tex1;\nout.a = col0.a;\n");
    glEnable(GL_REGISTER_COMBINERS_NV);
    auto& f = expected_.combiners.final.inputs;
    expected_.combiners.enabled = true;
    Input(f[0], GL_TEXTURE0, GL_UNSIGNED_IDENTITY_NV, GL_RGB);
    Input(f[1], GL_ZERO, GL_UNSIGNED_INVERT_NV, GL_RGB);
    Input(f[2], GL_ZERO, GL_UNSIGNED_IDENTITY_NV, GL_RGB);
    Input(f[3], GL_TEXTURE1, GL_UNSIGNED_IDENTITY_NV, GL_RGB);
    Input(f[6], GL_PRIMARY_COLOR_NV, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA);
    for (int unit = 0; unit < 2; ++unit)
        expected_.units[unit].targets[fragmentprogram::k2D] = {
            true, {GL_RGBA, fragmentprogram::Signedness::kUnsigned}};
    env_.sample = [&](int unit, int, const Vec4&) {
        const float* t = unit == 0 ? texel0 : texel1;
        return Vec4{t[0], t[1], t[2], t[3]};
    };
    auto expectUnits = [&](bool unit0, bool unit1) {
        expected_.units[0].enabledTarget = unit0 ? GL_TEXTURE_2D : GL_NONE;
        expected_.units[1].enabledTarget = unit1 ? GL_TEXTURE_2D : GL_NONE;
        ExpectEvaluated(Draw());
    };
    auto setUnit1 = [](bool on) {
        glActiveTexture(GL_TEXTURE1);
        on ? glEnable(GL_TEXTURE_2D) : glDisable(GL_TEXTURE_2D);
        glActiveTexture(GL_TEXTURE0);
    };
    {
        SCOPED_TRACE("unit 0, then unit 1 enabled too");
        expectUnits(true, false);
        setUnit1(true);
        expectUnits(true, true);
    }
    {
        SCOPED_TRACE("a list that disables unit 1: compiled, then called");
        const GLuint list = glGenLists(1);
        glNewList(list, GL_COMPILE);
        setUnit1(false);
        glEndList();
        expectUnits(true, true);
        glCallList(list);
        expectUnits(true, false);
        glNewList(list, GL_COMPILE_AND_EXECUTE);
        setUnit1(true);
        glEndList();
        expectUnits(true, true);
        // A draw of the list sees what the list enabled before it.
        setUnit1(false);
        glNewList(list, GL_COMPILE);
        setUnit1(true);
        Draw();
        glEndList();
        setUnit1(false);
        glCallList(list);
        Vec4 drawn;
        glReadPixels(0, 0, 1, 1, GL_RGBA, GL_FLOAT, drawn.data());
        expected_.units[1].enabledTarget = GL_TEXTURE_2D;
        ExpectEvaluated(drawn);
        glDeleteLists(list, 1);
    }
    {
        SCOPED_TRACE("unit 1 disabled between a push and a pop");
        glPushAttrib(GL_ENABLE_BIT);
        setUnit1(false);
        expectUnits(true, false);
        glPopAttrib();
        expectUnits(true, true);
    }
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (std::string(extensions).find("GL_EXT_direct_state_access") != std::string::npos) {
        SCOPED_TRACE("indexed enables");
        glDisableIndexedEXT(GL_TEXTURE_2D, 0);
        expectUnits(false, true);
        glDisableIndexedEXT(GL_TEXTURE_2D, 1);
        glEnableIndexedEXT(GL_TEXTURE_2D, 0);
        expectUnits(true, false);
    } else {
        ADD_FAILURE() << "the driver has no indexed texture enables";
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

}  // namespace
