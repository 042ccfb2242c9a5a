// The combiner and texture-shader module over the recording GL: when it takes part, its entry
// points and names, the extensions' errors, queries and TexEnv target, and the attribute stack.
#define GL_GLEXT_PROTOTYPES 1

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fragmentprogram/fragment_state.h"
#include "glext/entry_points.h"
#include "legacygl/fragment_module.h"
#include "legacygl/layer.h"
#include "recgl/recording_gl.h"
#include "tests/legacygl/recording_layer.h"

namespace {

using legacygl::NextGl;
using legacygltest::FromRecordingGl;
using legacygltest::LayerOver;
constexpr const char* kDriver = legacygltest::kFragmentDriver;

const glext::ExtensionRow* Row(const char* name) {
    for (size_t i = 0; i < glext::entryPointTableRows; ++i)
        if (std::strcmp(glext::entryPointTable[i].name, name) == 0)
            return &glext::entryPointTable[i];
    return nullptr;
}

const char* const kFragmentNames[] = {"GL_NV_register_combiners", "GL_NV_register_combiners2",
                                      "GL_NV_texture_shader", "GL_NV_texture_shader2"};

// How often the extension string names `name` as a whole word.
int Occurrences(const std::string& extensions, const std::string& name) {
    int count = 0;
    const std::string padded = " " + extensions + " ";
    for (size_t at = 0; (at = padded.find(" " + name + " ", at)) != std::string::npos; ++at)
        ++count;
    return count;
}

TEST(LegacyFragmentModule, TakesPartOnlyOverTheArbFragmentProgramOfADriverWithoutTheExtensions) {
    {
        LayerOver over;
        const std::string extensions =
            reinterpret_cast<const char*>(over.layer->GetString(GL_EXTENSIONS));
        for (const char* name : kFragmentNames) {
            EXPECT_EQ(Occurrences(extensions, name), 1) << name;
            const glext::ExtensionRow* row = Row(name);
            if (row == nullptr) continue;  // an extension of tokens only
            // Every entry point of the row comes from the layer, not from the recording GL.
            for (size_t i = 0; i < row->count; ++i) {
                const char* entry = row->entryPoints[i].name;
                const NextGl::Proc p =
                    over.layer->GetProcAddress(reinterpret_cast<const GLubyte*>(entry));
                EXPECT_NE(p, nullptr) << entry;
                EXPECT_NE(p, FromRecordingGl(entry)) << entry;
            }
        }
    }
    // Any one of the four of the driver's own, no ARB fragment programs, or the layer switched
    // off: none of the four is supplied, and their entry points, enables and TexEnv target go to
    // the recording GL.
    struct Aside {
        std::string extensions;
        bool switchedOn;
    };
    std::vector<Aside> asides = {{"GL_ARB_multitexture", true}, {kDriver, false}};
    for (const char* name : kFragmentNames)
        asides.push_back({std::string(kDriver) + " " + name, true});
    for (const Aside& a : asides) {
        SCOPED_TRACE(a.extensions);
        LayerOver over(a.extensions, a.switchedOn);
        const std::string extensions =
            reinterpret_cast<const char*>(over.layer->GetString(GL_EXTENSIONS));
        for (const char* name : kFragmentNames) {
            EXPECT_EQ(Occurrences(extensions, name), Occurrences(a.extensions, name)) << name;
            const glext::ExtensionRow* row = Row(name);
            for (size_t i = 0; row != nullptr && i < row->count; ++i) {
                const char* entry = row->entryPoints[i].name;
                EXPECT_EQ(over.layer->GetProcAddress(reinterpret_cast<const GLubyte*>(entry)),
                          FromRecordingGl(entry))
                    << entry;
            }
        }
        recgl::ClearCalls();
        for (GLenum cap :
             {GL_REGISTER_COMBINERS_NV, GL_PER_STAGE_CONSTANTS_NV, GL_TEXTURE_SHADER_NV})
            over.layer->Enable(cap);
        over.layer->TexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_TEXTURE_2D);
        EXPECT_EQ(recgl::CallLines(),
                  (std::vector<std::string>{
                      "glEnable(GL_REGISTER_COMBINERS_NV)", "glEnable(GL_PER_STAGE_CONSTANTS_NV)",
                      "glEnable(GL_TEXTURE_SHADER_NV)",
                      "glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_TEXTURE_2D)"}));
        EXPECT_TRUE(over.layer->IsEnabled(GL_TEXTURE_SHADER_NV));  // the recording GL's answer
    }
}

TEST(LegacyFragmentModule, CombinerCommandsRaiseTheExtensionsErrorsAndKeepTheirState) {
    LayerOver over;
    auto input = over.Fn<PFNGLCOMBINERINPUTNVPROC>("glCombinerInputNV");
    auto output = over.Fn<PFNGLCOMBINEROUTPUTNVPROC>("glCombinerOutputNV");
    auto final = over.Fn<PFNGLFINALCOMBINERINPUTNVPROC>("glFinalCombinerInputNV");
    auto parameteri = over.Fn<PFNGLCOMBINERPARAMETERINVPROC>("glCombinerParameteriNV");
    auto parameterf = over.Fn<PFNGLCOMBINERPARAMETERFNVPROC>("glCombinerParameterfNV");
    auto stage = over.Fn<PFNGLCOMBINERSTAGEPARAMETERFVNVPROC>("glCombinerStageParameterfvNV");
    auto getInput =
        over.Fn<PFNGLGETCOMBINERINPUTPARAMETERIVNVPROC>("glGetCombinerInputParameterivNV");
    auto getOutput =
        over.Fn<PFNGLGETCOMBINEROUTPUTPARAMETERIVNVPROC>("glGetCombinerOutputParameterivNV");
    auto getFinal = over.Fn<PFNGLGETFINALCOMBINERINPUTPARAMETERIVNVPROC>(
        "glGetFinalCombinerInputParameterivNV");
    const GLfloat color[4] = {0.5f, 0.25f, 0.125f, 1};
    const struct {
        const char* what;
        std::function<void()> call;
        GLenum error;
    } cases[] = {
        {"RGB usage in the alpha portion",
         [&] {
             input(GL_COMBINER0_NV, GL_ALPHA, GL_VARIABLE_A_NV, GL_SPARE0_NV,
                   GL_UNSIGNED_IDENTITY_NV, GL_RGB);
         },
         GL_INVALID_OPERATION},
        {"BLUE usage in the RGB portion",
         [&] {
             input(GL_COMBINER0_NV, GL_RGB, GL_VARIABLE_A_NV, GL_SPARE0_NV, GL_UNSIGNED_IDENTITY_NV,
                   GL_BLUE);
         },
         GL_INVALID_OPERATION},
        {"the alpha of fog",
         [&] {
             input(GL_COMBINER0_NV, GL_RGB, GL_VARIABLE_A_NV, GL_FOG, GL_UNSIGNED_IDENTITY_NV,
                   GL_ALPHA);
         },
         GL_INVALID_OPERATION},
        {"a stage beyond the last",
         [&] {
             input(GL_COMBINER0_NV + 8, GL_RGB, GL_VARIABLE_A_NV, GL_SPARE0_NV,
                   GL_UNSIGNED_IDENTITY_NV, GL_RGB);
         },
         GL_INVALID_ENUM},
        {"E_TIMES_F in a general combiner",
         [&] {
             input(GL_COMBINER0_NV, GL_RGB, GL_VARIABLE_A_NV, GL_E_TIMES_F_NV,
                   GL_UNSIGNED_IDENTITY_NV, GL_RGB);
         },
         GL_INVALID_ENUM},
        {"a dot product in the alpha portion",
         [&] {
             output(GL_COMBINER0_NV, GL_ALPHA, GL_SPARE0_NV, GL_DISCARD_NV, GL_DISCARD_NV, GL_NONE,
                    GL_NONE, GL_TRUE, GL_FALSE, GL_FALSE);
         },
         GL_INVALID_VALUE},
        {"bias with scale by one half",
         [&] {
             output(GL_COMBINER0_NV, GL_RGB, GL_SPARE0_NV, GL_DISCARD_NV, GL_DISCARD_NV,
                    GL_SCALE_BY_ONE_HALF_NV, GL_BIAS_BY_NEGATIVE_ONE_HALF_NV, GL_FALSE, GL_FALSE,
                    GL_FALSE);
         },
         GL_INVALID_OPERATION},
        {"bias with scale by four",
         [&] {
             output(GL_COMBINER0_NV, GL_RGB, GL_SPARE0_NV, GL_DISCARD_NV, GL_DISCARD_NV,
                    GL_SCALE_BY_FOUR_NV, GL_BIAS_BY_NEGATIVE_ONE_HALF_NV, GL_FALSE, GL_FALSE,
                    GL_FALSE);
         },
         GL_INVALID_OPERATION},
        {"one register for two outputs",
         [&] {
             output(GL_COMBINER0_NV, GL_RGB, GL_SPARE0_NV, GL_SPARE1_NV, GL_SPARE0_NV, GL_NONE,
                    GL_NONE, GL_FALSE, GL_FALSE, GL_FALSE);
         },
         GL_INVALID_OPERATION},
        {"a read-only register as an output",
         [&] {
             output(GL_COMBINER0_NV, GL_RGB, GL_CONSTANT_COLOR0_NV, GL_DISCARD_NV, GL_DISCARD_NV,
                    GL_NONE, GL_NONE, GL_FALSE, GL_FALSE, GL_FALSE);
         },
         GL_INVALID_ENUM},
        {"E_TIMES_F into G",
         [&] { final(GL_VARIABLE_G_NV, GL_E_TIMES_F_NV, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA); },
         GL_INVALID_OPERATION},
        {"SPARE0_PLUS_SECONDARY into A",
         [&] {
             final(GL_VARIABLE_A_NV, GL_SPARE0_PLUS_SECONDARY_COLOR_NV, GL_UNSIGNED_IDENTITY_NV,
                   GL_RGB);
         },
         GL_INVALID_OPERATION},
        {"RGB usage of G",
         [&] { final(GL_VARIABLE_G_NV, GL_SPARE0_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB); },
         GL_INVALID_OPERATION},
        {"BLUE usage of B",
         [&] { final(GL_VARIABLE_B_NV, GL_SPARE0_NV, GL_UNSIGNED_IDENTITY_NV, GL_BLUE); },
         GL_INVALID_OPERATION},
        {"the alpha of E_TIMES_F",
         [&] { final(GL_VARIABLE_A_NV, GL_E_TIMES_F_NV, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA); },
         GL_INVALID_OPERATION},
        {"a signed mapping in the final combiner",
         [&] { final(GL_VARIABLE_A_NV, GL_SPARE0_NV, GL_EXPAND_NORMAL_NV, GL_RGB); },
         GL_INVALID_ENUM},
        {"no general combiners", [&] { parameteri(GL_NUM_GENERAL_COMBINERS_NV, 0); },
         GL_INVALID_VALUE},
        {"nine general combiners", [&] { parameteri(GL_NUM_GENERAL_COMBINERS_NV, 9); },
         GL_INVALID_VALUE},
        {"a colour through the scalar form", [&] { parameterf(GL_CONSTANT_COLOR0_NV, 1); },
         GL_INVALID_ENUM},
        {"a per-stage constant of no stage",
         [&] { stage(GL_COMBINER0_NV + 8, GL_CONSTANT_COLOR0_NV, color); }, GL_INVALID_ENUM},
    };
    for (const auto& c : cases) {
        c.call();
        EXPECT_EQ(over.layer->GetError(), c.error) << c.what;
        EXPECT_EQ(over.layer->GetError(), GLenum(GL_NO_ERROR)) << c.what;
    }
    // None of them changed the initial state.
    GLint value = 0;
    getInput(GL_COMBINER0_NV, GL_ALPHA, GL_VARIABLE_A_NV, GL_COMBINER_COMPONENT_USAGE_NV, &value);
    EXPECT_EQ(value, GL_ALPHA);
    getOutput(GL_COMBINER0_NV, GL_RGB, GL_COMBINER_SUM_OUTPUT_NV, &value);
    EXPECT_EQ(value, GL_SPARE0_NV);
    getFinal(GL_VARIABLE_G_NV, GL_COMBINER_INPUT_NV, &value);
    EXPECT_EQ(value, GL_SPARE0_NV);
    over.layer->GetIntegerv(GL_NUM_GENERAL_COMBINERS_NV, &value);
    EXPECT_EQ(value, 1);

    // Valid settings read back.
    input(GL_COMBINER2_NV, GL_RGB, GL_VARIABLE_C_NV, GL_TEXTURE3, GL_HALF_BIAS_NEGATE_NV, GL_ALPHA);
    output(GL_COMBINER2_NV, GL_RGB, GL_SPARE1_NV, GL_TEXTURE0, GL_DISCARD_NV, GL_SCALE_BY_TWO_NV,
           GL_BIAS_BY_NEGATIVE_ONE_HALF_NV, GL_TRUE, GL_FALSE, GL_TRUE);
    final(GL_VARIABLE_D_NV, GL_E_TIMES_F_NV, GL_UNSIGNED_INVERT_NV, GL_RGB);
    parameteri(GL_NUM_GENERAL_COMBINERS_NV, 8);
    parameteri(GL_COLOR_SUM_CLAMP_NV, GL_FALSE);
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_NO_ERROR));
    const struct {
        std::function<void(GLint*)> query;
        GLint expected;
    } reads[] = {
        {[&](GLint* v) {
             getInput(GL_COMBINER2_NV, GL_RGB, GL_VARIABLE_C_NV, GL_COMBINER_INPUT_NV, v);
         },
         GL_TEXTURE3},
        {[&](GLint* v) {
             getInput(GL_COMBINER2_NV, GL_RGB, GL_VARIABLE_C_NV, GL_COMBINER_MAPPING_NV, v);
         },
         GL_HALF_BIAS_NEGATE_NV},
        {[&](GLint* v) { getOutput(GL_COMBINER2_NV, GL_RGB, GL_COMBINER_AB_OUTPUT_NV, v); },
         GL_SPARE1_NV},
        {[&](GLint* v) { getOutput(GL_COMBINER2_NV, GL_RGB, GL_COMBINER_CD_OUTPUT_NV, v); },
         GL_TEXTURE0},
        {[&](GLint* v) { getOutput(GL_COMBINER2_NV, GL_RGB, GL_COMBINER_SCALE_NV, v); },
         GL_SCALE_BY_TWO_NV},
        {[&](GLint* v) { getOutput(GL_COMBINER2_NV, GL_RGB, GL_COMBINER_BIAS_NV, v); },
         GL_BIAS_BY_NEGATIVE_ONE_HALF_NV},
        {[&](GLint* v) { getOutput(GL_COMBINER2_NV, GL_RGB, GL_COMBINER_AB_DOT_PRODUCT_NV, v); },
         GL_TRUE},
        {[&](GLint* v) { getOutput(GL_COMBINER2_NV, GL_RGB, GL_COMBINER_MUX_SUM_NV, v); }, GL_TRUE},
        {[&](GLint* v) { getFinal(GL_VARIABLE_D_NV, GL_COMBINER_MAPPING_NV, v); },
         GL_UNSIGNED_INVERT_NV},
        {[&](GLint* v) { over.layer->GetIntegerv(GL_NUM_GENERAL_COMBINERS_NV, v); }, 8},
        {[&](GLint* v) { over.layer->GetIntegerv(GL_MAX_GENERAL_COMBINERS_NV, v); }, 8},
        {[&](GLint* v) { over.layer->GetIntegerv(GL_COLOR_SUM_CLAMP_NV, v); }, 0},
    };
    for (size_t i = 0; i < sizeof reads / sizeof reads[0]; ++i) {
        GLint v = -1;
        reads[i].query(&v);
        EXPECT_EQ(v, reads[i].expected) << "read " << i;
    }
    getOutput(GL_COMBINER2_NV, GL_RGB, GL_COMBINER_INPUT_NV, &value);
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_INVALID_ENUM));
}

TEST(LegacyFragmentModule, ConstantsAreClampedAndReadByEveryQueryForm) {
    LayerOver over;
    auto parameterfv = over.Fn<PFNGLCOMBINERPARAMETERFVNVPROC>("glCombinerParameterfvNV");
    auto parameteriv = over.Fn<PFNGLCOMBINERPARAMETERIVNVPROC>("glCombinerParameterivNV");
    auto stage = over.Fn<PFNGLCOMBINERSTAGEPARAMETERFVNVPROC>("glCombinerStageParameterfvNV");
    auto getStage =
        over.Fn<PFNGLGETCOMBINERSTAGEPARAMETERFVNVPROC>("glGetCombinerStageParameterfvNV");
    const GLfloat given[4] = {-0.5f, 0.25f, 2.0f, 1.0f};
    parameterfv(GL_CONSTANT_COLOR0_NV, given);
    GLfloat f[4];
    over.layer->GetFloatv(GL_CONSTANT_COLOR0_NV, f);
    EXPECT_EQ(std::vector<GLfloat>(f, f + 4), (std::vector<GLfloat>{0, 0.25f, 1, 1}));
    GLdouble d[4];
    over.layer->GetDoublev(GL_CONSTANT_COLOR0_NV, d);
    EXPECT_EQ(d[1], 0.25);
    GLint i[4];
    over.layer->GetIntegerv(GL_CONSTANT_COLOR0_NV, i);
    EXPECT_EQ(i[2], 2147483647);
    EXPECT_EQ(i[0], 0);
    // Integers given are the signed-integer conversion of the colour: 2^31 - 1 is 1.
    const GLint ints[4] = {2147483647, 0, -2147483647 - 1, 1073741823};
    parameteriv(GL_CONSTANT_COLOR1_NV, ints);
    over.layer->GetFloatv(GL_CONSTANT_COLOR1_NV, f);
    EXPECT_FLOAT_EQ(f[0], 1);
    EXPECT_NEAR(f[1], 0, 1e-9);
    EXPECT_EQ(f[2], 0);
    EXPECT_NEAR(f[3], 0.5f, 1e-6);
    stage(GL_COMBINER5_NV, GL_CONSTANT_COLOR1_NV, given);
    getStage(GL_COMBINER5_NV, GL_CONSTANT_COLOR1_NV, f);
    EXPECT_EQ(std::vector<GLfloat>(f, f + 4), (std::vector<GLfloat>{0, 0.25f, 1, 1}));
    getStage(GL_COMBINER4_NV, GL_CONSTANT_COLOR1_NV, f);
    EXPECT_EQ(std::vector<GLfloat>(f, f + 4), (std::vector<GLfloat>{0, 0, 0, 0}));
    for (GLenum cap : {GL_REGISTER_COMBINERS_NV, GL_PER_STAGE_CONSTANTS_NV, GL_TEXTURE_SHADER_NV}) {
        EXPECT_FALSE(over.layer->IsEnabled(cap));
        over.layer->Enable(cap);
        EXPECT_TRUE(over.layer->IsEnabled(cap));
        GLboolean b = GL_FALSE;
        over.layer->Disable(cap);
        over.layer->GetBooleanv(GL_COLOR_SUM_CLAMP_NV, &b);
        EXPECT_TRUE(b);
        EXPECT_FALSE(over.layer->IsEnabled(cap));
    }
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_NO_ERROR));
}

TEST(LegacyFragmentModule, TextureShaderStateIsPerUnitWithTheUnitRestrictions) {
    LayerOver over;
    auto on = [&](int unit) { glActiveTextureARB(GL_TEXTURE0 + unit); };
    const struct {
        int unit;
        GLenum pname;
        GLint value;
        GLenum error;
    } cases[] = {
        {0, GL_SHADER_OPERATION_NV, GL_OFFSET_TEXTURE_2D_NV, GL_INVALID_OPERATION},
        {0, GL_SHADER_OPERATION_NV, GL_DEPENDENT_AR_TEXTURE_2D_NV, GL_INVALID_OPERATION},
        {1, GL_SHADER_OPERATION_NV, GL_DOT_PRODUCT_TEXTURE_2D_NV, GL_INVALID_OPERATION},
        {1, GL_SHADER_OPERATION_NV, GL_DOT_PRODUCT_DEPTH_REPLACE_NV, GL_INVALID_OPERATION},
        {2, GL_SHADER_OPERATION_NV, GL_DOT_PRODUCT_TEXTURE_CUBE_MAP_NV, GL_INVALID_OPERATION},
        {2, GL_SHADER_OPERATION_NV, GL_DOT_PRODUCT_TEXTURE_3D_NV, GL_INVALID_OPERATION},
        {3, GL_SHADER_OPERATION_NV, GL_DOT_PRODUCT_NV, GL_INVALID_OPERATION},  // the last unit
        {3, GL_SHADER_OPERATION_NV, GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV, GL_INVALID_OPERATION},
        {2, GL_SHADER_OPERATION_NV, GL_MODULATE, GL_INVALID_ENUM},
        {2, GL_PREVIOUS_TEXTURE_INPUT_NV, GL_TEXTURE2, GL_INVALID_OPERATION},
        {2, GL_PREVIOUS_TEXTURE_INPUT_NV, GL_SPARE0_NV, GL_INVALID_ENUM},
        {1, GL_RGBA_UNSIGNED_DOT_PRODUCT_MAPPING_NV, GL_SIGNED_IDENTITY_NV, GL_INVALID_ENUM},
        {1, GL_CULL_MODES_NV, GL_LESS, GL_INVALID_ENUM},  // vector forms only
        {1, GL_SHADER_CONSISTENT_NV, GL_TRUE, GL_INVALID_ENUM},
        // Allowed ones.
        {3, GL_SHADER_OPERATION_NV, GL_DOT_PRODUCT_TEXTURE_3D_NV, GL_NO_ERROR},
        {2, GL_SHADER_OPERATION_NV, GL_DOT_PRODUCT_NV, GL_NO_ERROR},
        {1, GL_SHADER_OPERATION_NV, GL_OFFSET_TEXTURE_2D_SCALE_NV, GL_NO_ERROR},
        {2, GL_PREVIOUS_TEXTURE_INPUT_NV, GL_TEXTURE1, GL_NO_ERROR},
        {2, GL_RGBA_UNSIGNED_DOT_PRODUCT_MAPPING_NV, GL_EXPAND_NORMAL_NV, GL_NO_ERROR},
    };
    for (const auto& c : cases) {
        on(c.unit);
        over.layer->TexEnvi(GL_TEXTURE_SHADER_NV, c.pname, c.value);
        EXPECT_EQ(over.layer->GetError(), c.error) << c.unit << " " << c.pname << " " << c.value;
    }
    const GLfloat matrix[4] = {0.5f, -1, 2, 0.25f}, eye[3] = {1, 2, 3};
    const GLint modes[4] = {GL_LESS, GL_GEQUAL, GL_LESS, GL_LESS};
    on(1);
    over.layer->TexEnvfv(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_MATRIX_NV, matrix);
    over.layer->TexEnvf(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_SCALE_NV, 3);
    over.layer->TexEnvf(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_BIAS_NV, -1);
    over.layer->TexEnviv(GL_TEXTURE_SHADER_NV, GL_CULL_MODES_NV, modes);
    over.layer->TexEnvfv(GL_TEXTURE_SHADER_NV, GL_CONST_EYE_NV, eye);
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_NO_ERROR));

    GLfloat f[4] = {};
    GLint i[4] = {};
    over.layer->GetTexEnvfv(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_MATRIX_NV, f);
    EXPECT_EQ(std::vector<GLfloat>(f, f + 4), std::vector<GLfloat>(matrix, matrix + 4));
    over.layer->GetTexEnviv(GL_TEXTURE_SHADER_NV, GL_CULL_MODES_NV, i);
    EXPECT_EQ(std::vector<GLint>(i, i + 4), std::vector<GLint>(modes, modes + 4));
    over.layer->GetTexEnvfv(GL_TEXTURE_SHADER_NV, GL_CONST_EYE_NV, f);
    EXPECT_EQ(std::vector<GLfloat>(f, f + 3), std::vector<GLfloat>(eye, eye + 3));
    over.layer->GetTexEnvfv(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_SCALE_NV, f);
    EXPECT_EQ(f[0], 3);
    over.layer->GetTexEnviv(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, i);
    EXPECT_EQ(i[0], GL_OFFSET_TEXTURE_2D_SCALE_NV);
    // Other units keep their own values.
    on(2);
    over.layer->GetTexEnviv(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, i);
    EXPECT_EQ(i[0], GL_DOT_PRODUCT_NV);
    over.layer->GetTexEnviv(GL_TEXTURE_SHADER_NV, GL_PREVIOUS_TEXTURE_INPUT_NV, i);
    EXPECT_EQ(i[0], GL_TEXTURE1);
    over.layer->GetTexEnvfv(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_MATRIX_NV, f);
    EXPECT_EQ(std::vector<GLfloat>(f, f + 4), (std::vector<GLfloat>{1, 0, 0, 1}));
    on(0);
    over.layer->GetTexEnviv(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, i);
    EXPECT_EQ(i[0], GL_NONE);
    // A dot product reading an offset texture's unit (no RGBA or HILO result) is inconsistent.
    on(2);
    over.layer->GetTexEnviv(GL_TEXTURE_SHADER_NV, GL_SHADER_CONSISTENT_NV, i);
    EXPECT_EQ(i[0], GL_FALSE);
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_NO_ERROR));

    // The conventional environment goes to the driver untouched.
    recgl::ClearCalls();
    over.layer->TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    EXPECT_EQ(recgl::CallLines(),
              std::vector<std::string>{"glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL)"});
}

// The texture targets each unit has enabled (texture units 0..7).
using UnitEnables = std::array<std::vector<GLenum>, 8>;

// The parts of the driver the recording GL does not keep: the attribute stack (its depth, and the
// FRAGMENT_PROGRAM_ARB enable and texture enables it saves with ENABLE_BIT) and the ARB fragment
// program binding; with WithUnitEnables, the texture enables of each unit and display lists of
// them.
struct FakeDriver {
    struct Pushed {
        GLbitfield mask;
        bool fragmentProgram;
        UnitEnables enables;
    };
    std::vector<Pushed> stack;
    GLuint fragmentProgram = 0;
    UnitEnables enables;
    int enableQueries = 0;
    std::map<GLuint, std::vector<std::function<void()>>> lists;
    GLuint compiling = 0;
    GLenum compileMode = GL_COMPILE;
} fake;
constexpr size_t kMaxAttributeDepth = 16;

void APIENTRY FakePushAttrib(GLbitfield mask) {
    if (fake.stack.size() == kMaxAttributeDepth) return recgl::SetPendingError(GL_STACK_OVERFLOW);
    fake.stack.push_back({mask, recgl::IsEnabled(GL_FRAGMENT_PROGRAM_ARB), fake.enables});
}
void APIENTRY FakePopAttrib() {
    if (fake.stack.empty()) return recgl::SetPendingError(GL_STACK_UNDERFLOW);
    if (fake.stack.back().mask & GL_ENABLE_BIT) {
        if (fake.stack.back().fragmentProgram)
            ::glEnable(GL_FRAGMENT_PROGRAM_ARB);
        else
            ::glDisable(GL_FRAGMENT_PROGRAM_ARB);
        fake.enables = fake.stack.back().enables;
    }
    fake.stack.pop_back();
}
void APIENTRY FakeGetIntegerv(GLenum pname, GLint* values) {
    if (pname == GL_ATTRIB_STACK_DEPTH) {
        *values = GLint(fake.stack.size());
    } else {
        ::glGetIntegerv(pname, values);
    }
}
void APIENTRY FakeBindProgram(GLenum target, GLuint program) {
    if (target == GL_FRAGMENT_PROGRAM_ARB) fake.fragmentProgram = program;
}
void APIENTRY FakeGetProgramiv(GLenum target, GLenum pname, GLint* value) {
    if (target == GL_FRAGMENT_PROGRAM_ARB && pname == GL_PROGRAM_BINDING_ARB)
        *value = GLint(fake.fragmentProgram);
}
void APIENTRY FakeGenPrograms(GLsizei n, GLuint* programs) {
    static GLuint next = 100;
    for (GLsizei i = 0; i < n; ++i) programs[i] = next++;
}

void WithFakeDriver(NextGl& next) {
    fake = FakeDriver();
    next.glPushAttrib = &FakePushAttrib;
    next.glPopAttrib = &FakePopAttrib;
    next.glGetIntegerv = &FakeGetIntegerv;
    next.glBindProgramARB = &FakeBindProgram;
    next.glGetProgramivARB = &FakeGetProgramiv;
    next.glGenProgramsARB = &FakeGenPrograms;
}

int ActiveUnitOfRecordingGl() {
    GLint active = GL_TEXTURE0;
    ::glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    return int(active) - GL_TEXTURE0;
}
bool IsTextureTarget(GLenum cap) { return fragmentprogram::TargetIndexOf(cap) >= 0; }
void SetUnitEnable(int unit, GLenum target, bool on) {
    std::vector<GLenum>& e = fake.enables[unit];
    e.erase(std::remove(e.begin(), e.end(), target), e.end());
    if (on) e.push_back(target);
}
bool UnitEnabled(int unit, GLenum target) {
    const std::vector<GLenum>& e = fake.enables[unit];
    return std::find(e.begin(), e.end(), target) != e.end();
}
// A texture enable applies to the unit active when it runs, in a list when the list is called.
void FakeSetCapability(GLenum cap, bool on) {
    if (!IsTextureTarget(cap)) return on ? ::glEnable(cap) : ::glDisable(cap);
    auto run = [cap, on] { SetUnitEnable(ActiveUnitOfRecordingGl(), cap, on); };
    if (fake.compiling != 0) fake.lists[fake.compiling].push_back(run);
    if (fake.compiling == 0 || fake.compileMode == GL_COMPILE_AND_EXECUTE) run();
}
void APIENTRY FakeEnable(GLenum cap) { FakeSetCapability(cap, true); }
void APIENTRY FakeDisable(GLenum cap) { FakeSetCapability(cap, false); }
GLboolean APIENTRY FakeIsEnabled(GLenum cap) {
    if (!IsTextureTarget(cap)) return ::glIsEnabled(cap);
    ++fake.enableQueries;
    return UnitEnabled(ActiveUnitOfRecordingGl(), cap);
}
void APIENTRY FakeGetBooleanIndexedv(GLenum cap, GLuint index, GLboolean* on) {
    ++fake.enableQueries;
    *on = index < fake.enables.size() && UnitEnabled(int(index), cap);
}
void APIENTRY FakeEnableIndexed(GLenum cap, GLuint index) { SetUnitEnable(int(index), cap, true); }
void APIENTRY FakeDisableIndexed(GLenum cap, GLuint index) {
    SetUnitEnable(int(index), cap, false);
}
void APIENTRY FakeActiveTexture(GLenum unit) { ::glActiveTextureARB(unit); }
void APIENTRY FakeNewList(GLuint list, GLenum mode) {
    fake.lists[list].clear();
    fake.compiling = list;
    fake.compileMode = mode;
}
void APIENTRY FakeEndList() { fake.compiling = 0; }
void APIENTRY FakeCallList(GLuint list) {
    for (const auto& command : fake.lists[list]) command();
}

// The fake driver with texture enables per unit: every query of them counted.
void WithUnitEnables(NextGl& next) {
    WithFakeDriver(next);
    next.glEnable = &FakeEnable;
    next.glDisable = &FakeDisable;
    next.glIsEnabled = &FakeIsEnabled;
    next.glGetBooleanIndexedvEXT = &FakeGetBooleanIndexedv;
    next.glEnableIndexedEXT = next.glEnablei = &FakeEnableIndexed;
    next.glDisableIndexedEXT = next.glDisablei = &FakeDisableIndexed;
    next.glActiveTexture = &FakeActiveTexture;
    next.glNewList = &FakeNewList;
    next.glEndList = &FakeEndList;
    next.glCallList = &FakeCallList;
}

// Every kind of state the attribute stack holds, each as numbers read through the queries.
struct StateKind {
    const char* name;
    bool enable;  // an enable: pushed with ENABLE_BIT as well
    std::function<void(LayerOver&)> change;
    std::function<std::vector<double>(LayerOver&)> read;
};

void OnUnit(int unit) { glActiveTextureARB(GL_TEXTURE0 + unit); }

std::vector<double> ShaderValues(LayerOver& over, int unit, GLenum pname, int count) {
    OnUnit(unit);
    GLfloat values[4] = {};
    over.layer->GetTexEnvfv(GL_TEXTURE_SHADER_NV, pname, values);
    OnUnit(0);
    return std::vector<double>(values, values + count);
}

std::vector<StateKind> StateKinds() {
    auto integer = [](LayerOver& over, GLenum pname) {
        GLint value = -1;
        over.layer->GetIntegerv(pname, &value);
        return std::vector<double>{double(value)};
    };
    auto floats = [](LayerOver& over, GLenum pname) {
        GLfloat values[4] = {};
        over.layer->GetFloatv(pname, values);
        return std::vector<double>(values, values + 4);
    };
    auto enable = [](GLenum cap) {
        return StateKind{"enable", true, [cap](LayerOver& over) { over.layer->Enable(cap); },
                         [cap](LayerOver& over) {
                             return std::vector<double>{double(over.layer->IsEnabled(cap))};
                         }};
    };
    std::vector<StateKind> kinds = {
        {"general input", false,
         [](LayerOver& over) {
             over.Fn<PFNGLCOMBINERINPUTNVPROC>("glCombinerInputNV")(GL_COMBINER3_NV, GL_ALPHA,
                                                                    GL_VARIABLE_C_NV, GL_TEXTURE2,
                                                                    GL_EXPAND_NEGATE_NV, GL_BLUE);
         },
         [](LayerOver& over) {
             auto get =
                 over.Fn<PFNGLGETCOMBINERINPUTPARAMETERIVNVPROC>("glGetCombinerInputParameterivNV");
             std::vector<double> values;
             for (GLenum pname :
                  {GL_COMBINER_INPUT_NV, GL_COMBINER_MAPPING_NV, GL_COMBINER_COMPONENT_USAGE_NV}) {
                 GLint v = -1;
                 get(GL_COMBINER3_NV, GL_ALPHA, GL_VARIABLE_C_NV, pname, &v);
                 values.push_back(v);
             }
             return values;
         }},
        {"general output", false,
         [](LayerOver& over) {
             over.Fn<PFNGLCOMBINEROUTPUTNVPROC>("glCombinerOutputNV")(
                 GL_COMBINER5_NV, GL_RGB, GL_SPARE1_NV, GL_TEXTURE1, GL_PRIMARY_COLOR_NV,
                 GL_SCALE_BY_TWO_NV, GL_BIAS_BY_NEGATIVE_ONE_HALF_NV, GL_TRUE, GL_TRUE, GL_TRUE);
         },
         [](LayerOver& over) {
             auto get = over.Fn<PFNGLGETCOMBINEROUTPUTPARAMETERIVNVPROC>(
                 "glGetCombinerOutputParameterivNV");
             std::vector<double> values;
             for (GLenum pname :
                  {GL_COMBINER_AB_DOT_PRODUCT_NV, GL_COMBINER_CD_DOT_PRODUCT_NV,
                   GL_COMBINER_MUX_SUM_NV, GL_COMBINER_SCALE_NV, GL_COMBINER_BIAS_NV,
                   GL_COMBINER_AB_OUTPUT_NV, GL_COMBINER_CD_OUTPUT_NV, GL_COMBINER_SUM_OUTPUT_NV}) {
                 GLint v = -1;
                 get(GL_COMBINER5_NV, GL_RGB, pname, &v);
                 values.push_back(v);
             }
             return values;
         }},
        {"final input", false,
         [](LayerOver& over) {
             over.Fn<PFNGLFINALCOMBINERINPUTNVPROC>("glFinalCombinerInputNV")(
                 GL_VARIABLE_E_NV, GL_SECONDARY_COLOR_NV, GL_UNSIGNED_INVERT_NV, GL_ALPHA);
         },
         [](LayerOver& over) {
             auto get = over.Fn<PFNGLGETFINALCOMBINERINPUTPARAMETERIVNVPROC>(
                 "glGetFinalCombinerInputParameterivNV");
             std::vector<double> values;
             for (GLenum pname :
                  {GL_COMBINER_INPUT_NV, GL_COMBINER_MAPPING_NV, GL_COMBINER_COMPONENT_USAGE_NV}) {
                 GLint v = -1;
                 get(GL_VARIABLE_E_NV, pname, &v);
                 values.push_back(v);
             }
             return values;
         }},
        {"constant colour", false,
         [](LayerOver& over) {
             const GLfloat color[4] = {0.25f, 0.5f, 0.75f, 1};
             over.Fn<PFNGLCOMBINERPARAMETERFVNVPROC>("glCombinerParameterfvNV")(
                 GL_CONSTANT_COLOR1_NV, color);
         },
         [floats](LayerOver& over) { return floats(over, GL_CONSTANT_COLOR1_NV); }},
        {"general combiner count", false,
         [](LayerOver& over) {
             over.Fn<PFNGLCOMBINERPARAMETERINVPROC>("glCombinerParameteriNV")(
                 GL_NUM_GENERAL_COMBINERS_NV, 6);
         },
         [integer](LayerOver& over) { return integer(over, GL_NUM_GENERAL_COMBINERS_NV); }},
        {"colour sum clamp", false,
         [](LayerOver& over) {
             over.Fn<PFNGLCOMBINERPARAMETERINVPROC>("glCombinerParameteriNV")(GL_COLOR_SUM_CLAMP_NV,
                                                                              GL_FALSE);
         },
         [integer](LayerOver& over) { return integer(over, GL_COLOR_SUM_CLAMP_NV); }},
        {"per-stage constant", false,
         [](LayerOver& over) {
             const GLfloat color[4] = {1, 0.5f, 0.25f, 0.125f};
             over.Fn<PFNGLCOMBINERSTAGEPARAMETERFVNVPROC>("glCombinerStageParameterfvNV")(
                 GL_COMBINER2_NV, GL_CONSTANT_COLOR0_NV, color);
         },
         [](LayerOver& over) {
             GLfloat values[4] = {};
             over.Fn<PFNGLGETCOMBINERSTAGEPARAMETERFVNVPROC>("glGetCombinerStageParameterfvNV")(
                 GL_COMBINER2_NV, GL_CONSTANT_COLOR0_NV, values);
             return std::vector<double>(values, values + 4);
         }},
    };
    // Texture-shader parameters, each on a unit of its own choice, set through glTexEnvfv.
    const struct {
        const char* name;
        int unit;
        GLenum pname;
        std::vector<GLfloat> values;
    } shaders[] = {
        {"operation", 2, GL_SHADER_OPERATION_NV, {GLfloat(GL_DOT_PRODUCT_NV)}},
        {"cull modes", 1, GL_CULL_MODES_NV, {GL_LESS, GL_GEQUAL, GL_LESS, GL_LESS}},
        {"offset matrix", 1, GL_OFFSET_TEXTURE_MATRIX_NV, {0.5f, -1, 2, 0.25f}},
        {"offset scale", 3, GL_OFFSET_TEXTURE_SCALE_NV, {3}},
        {"offset bias", 3, GL_OFFSET_TEXTURE_BIAS_NV, {-0.5f}},
        {"previous input", 3, GL_PREVIOUS_TEXTURE_INPUT_NV, {GLfloat(GL_TEXTURE2)}},
        {"dot-product mapping",
         2,
         GL_RGBA_UNSIGNED_DOT_PRODUCT_MAPPING_NV,
         {GLfloat(GL_EXPAND_NORMAL_NV)}},
        {"const eye", 3, GL_CONST_EYE_NV, {1, 2, 3}},
    };
    for (const auto& setting : shaders) {
        const int unit = setting.unit;
        const GLenum pname = setting.pname;
        const std::vector<GLfloat> values = setting.values;
        kinds.push_back({setting.name, false,
                         [unit, pname, values](LayerOver& over) {
                             OnUnit(unit);
                             over.layer->TexEnvfv(GL_TEXTURE_SHADER_NV, pname, values.data());
                             OnUnit(0);
                         },
                         [unit, pname, values](LayerOver& over) {
                             return ShaderValues(over, unit, pname, int(values.size()));
                         }});
    }
    for (GLenum cap : {GL_REGISTER_COMBINERS_NV, GL_PER_STAGE_CONSTANTS_NV, GL_TEXTURE_SHADER_NV})
        kinds.push_back(enable(cap));
    return kinds;
}

TEST(LegacyFragmentModule, TheAttributeStackSavesCombinerAndShaderStateWithTheTextureBit) {
    const std::vector<StateKind> kinds = StateKinds();
    const struct {
        GLbitfield mask;
        bool state, enables;  // restored by the pop
    } masks[] = {{GL_TEXTURE_BIT, true, true},
                 {GL_ENABLE_BIT, false, true},
                 {GL_CURRENT_BIT | GL_LIGHTING_BIT, false, false},
                 {GL_ALL_ATTRIB_BITS, true, true}};
    for (const auto& m : masks) {
        SCOPED_TRACE(m.mask);
        LayerOver over(kDriver, true, &WithFakeDriver);
        std::vector<std::vector<double>> before, changed;
        for (const StateKind& k : kinds) before.push_back(k.read(over));
        over.layer->PushAttrib(m.mask);
        for (const StateKind& k : kinds) k.change(over);
        EXPECT_EQ(over.layer->GetError(), GLenum(GL_NO_ERROR));
        for (const StateKind& k : kinds) changed.push_back(k.read(over));
        over.layer->PopAttrib();
        for (size_t i = 0; i < kinds.size(); ++i) {
            ASSERT_NE(before[i], changed[i]) << kinds[i].name;
            const bool restored = kinds[i].enable ? m.enables : m.state;
            EXPECT_EQ(kinds[i].read(over), restored ? before[i] : changed[i]) << kinds[i].name;
        }
    }
}

TEST(LegacyFragmentModule, NestedPushesPopInOrderAndRefusedPushesAndPopsChangeNothing) {
    LayerOver over(kDriver, true, &WithFakeDriver);
    auto count = over.Fn<PFNGLCOMBINERPARAMETERINVPROC>("glCombinerParameteriNV");
    auto stages = [&] {
        GLint n = 0;
        over.layer->GetIntegerv(GL_NUM_GENERAL_COMBINERS_NV, &n);
        return n;
    };
    over.layer->PushAttrib(GL_TEXTURE_BIT);
    count(GL_NUM_GENERAL_COMBINERS_NV, 2);
    over.layer->PushAttrib(GL_ENABLE_BIT);
    over.layer->Enable(GL_REGISTER_COMBINERS_NV);
    count(GL_NUM_GENERAL_COMBINERS_NV, 3);
    over.layer->PushAttrib(GL_TEXTURE_BIT);
    over.layer->Disable(GL_REGISTER_COMBINERS_NV);
    count(GL_NUM_GENERAL_COMBINERS_NV, 4);
    over.layer->PopAttrib();
    EXPECT_EQ(stages(), 3);
    EXPECT_TRUE(over.layer->IsEnabled(GL_REGISTER_COMBINERS_NV));
    over.layer->PopAttrib();
    EXPECT_EQ(stages(), 3);
    EXPECT_FALSE(over.layer->IsEnabled(GL_REGISTER_COMBINERS_NV));
    over.layer->PopAttrib();
    EXPECT_EQ(stages(), 1);
    // A pop of the empty stack is the driver's underflow and restores nothing.
    count(GL_NUM_GENERAL_COMBINERS_NV, 5);
    over.layer->PopAttrib();
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_STACK_UNDERFLOW));
    EXPECT_EQ(stages(), 5);
    // A push beyond the driver's depth saves nothing: the pops that follow match the driver's.
    for (size_t i = 0; i < kMaxAttributeDepth; ++i) {
        count(GL_NUM_GENERAL_COMBINERS_NV, 1 + int(i % 8));
        over.layer->PushAttrib(GL_TEXTURE_BIT);
    }
    count(GL_NUM_GENERAL_COMBINERS_NV, 8);
    over.layer->PushAttrib(GL_TEXTURE_BIT);
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_STACK_OVERFLOW));
    over.layer->PopAttrib();
    EXPECT_EQ(stages(), 1 + int((kMaxAttributeDepth - 1) % 8));
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_NO_ERROR));
}

// The driver's FRAGMENT_PROGRAM_ARB enable at each draw, and after a pop, is the layer's while
// its program is installed and the application's otherwise, whatever the driver's pop restored.
TEST(LegacyFragmentModule, PopsLeaveTheDriversFragmentProgramEnableAsTheLayerNeedsIt) {
    struct Over : LayerOver {
        // The application's program 7 bound, not enabled; the combiners on.
        Over() : LayerOver(kDriver, true, &WithFakeDriver) {
            layer->BindProgramARB(GL_FRAGMENT_PROGRAM_ARB, 7);
            layer->Enable(GL_REGISTER_COMBINERS_NV);
        }
        void Draw() {
            layer->Begin(GL_POINTS);
            layer->End();
        }
    };
    auto driverEnabled = [] { return recgl::IsEnabled(GL_FRAGMENT_PROGRAM_ARB); };
    {
        SCOPED_TRACE("pushed while installed, the combiners off, popped");
        Over over;
        over.Draw();
        EXPECT_NE(fake.fragmentProgram, 7u);
        EXPECT_TRUE(driverEnabled());
        over.layer->PushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT);
        over.layer->Disable(GL_REGISTER_COMBINERS_NV);
        over.Draw();
        EXPECT_EQ(fake.fragmentProgram, 7u);
        EXPECT_FALSE(driverEnabled());
        over.layer->PopAttrib();  // the driver enables fragment programs again
        EXPECT_FALSE(driverEnabled());
        EXPECT_FALSE(over.layer->IsEnabled(GL_FRAGMENT_PROGRAM_ARB));
        over.layer->Disable(GL_REGISTER_COMBINERS_NV);
        over.Draw();
        EXPECT_FALSE(driverEnabled());
        EXPECT_EQ(fake.fragmentProgram, 7u);
    }
    {
        SCOPED_TRACE("pushed before the layer's program was installed, popped while it is");
        Over over;
        over.layer->PushAttrib(GL_ENABLE_BIT);
        over.Draw();
        const GLuint layers = fake.fragmentProgram;
        over.layer->Enable(GL_FRAGMENT_PROGRAM_ARB);  // the application's, while installed
        EXPECT_TRUE(over.layer->IsEnabled(GL_FRAGMENT_PROGRAM_ARB));
        over.layer->PopAttrib();  // the driver disables fragment programs
        EXPECT_TRUE(driverEnabled());
        EXPECT_FALSE(over.layer->IsEnabled(GL_FRAGMENT_PROGRAM_ARB));
        EXPECT_EQ(fake.fragmentProgram, layers);
        over.layer->Disable(GL_REGISTER_COMBINERS_NV);
        over.Draw();
        EXPECT_FALSE(driverEnabled());
        EXPECT_EQ(fake.fragmentProgram, 7u);
    }
    {
        SCOPED_TRACE("the application's enable pushed on, popped once the combiners are off");
        Over over;
        over.layer->Disable(GL_REGISTER_COMBINERS_NV);
        over.layer->Enable(GL_FRAGMENT_PROGRAM_ARB);
        over.layer->PushAttrib(GL_ENABLE_BIT);
        over.layer->Disable(GL_FRAGMENT_PROGRAM_ARB);
        over.layer->Enable(GL_REGISTER_COMBINERS_NV);
        over.Draw();
        over.layer->PopAttrib();
        EXPECT_TRUE(over.layer->IsEnabled(GL_FRAGMENT_PROGRAM_ARB));
        over.Draw();
        EXPECT_TRUE(driverEnabled());
        EXPECT_EQ(fake.fragmentProgram, 7u);
    }
}

// Changing the active unit makes a driver flush the vertices drawn so far: where the driver has
// direct state access, a draw with texture shaders reads the units without changing it.
TEST(LegacyFragmentModule, DrawsReadTheUnitsWithoutChangingTheActiveUnitWhereTheDriverCan) {
    for (bool direct : {false, true}) {
        SCOPED_TRACE(direct ? "direct state access" : "no direct state access");
        LayerOver over(std::string(kDriver) + (direct ? " GL_EXT_direct_state_access" : ""));
        over.layer->Enable(GL_TEXTURE_SHADER_NV);
        for (int unit = 0; unit < 4; ++unit) {
            OnUnit(unit);
            over.layer->TexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_TEXTURE_2D);
        }
        OnUnit(0);
        recgl::ClearCalls();
        over.layer->Begin(GL_POINTS);
        over.layer->End();
        int switches = 0, directReads = 0;
        for (const recgl::Call& call : recgl::Calls()) {
            switches += call.name == "glActiveTexture";
            directReads += call.name == "glGetMultiTexLevelParameterivEXT";
        }
        EXPECT_EQ(switches == 0, direct);
        EXPECT_EQ(directReads == 4, direct);
        EXPECT_EQ(over.layer->GetError(), GLenum(GL_NO_ERROR));
    }
}

// The target a unit of the fake driver samples with conventional texturing.
GLenum Winning(int unit) {
    for (GLenum target : {GL_TEXTURE_CUBE_MAP, GL_TEXTURE_3D, GL_TEXTURE_2D, GL_TEXTURE_1D})
        if (UnitEnabled(unit, target)) return target;
    return GL_NONE;
}

// A draw asks the driver for the texture enables only when they may have changed behind the
// layer; each draw samples what the driver has enabled.
TEST(LegacyFragmentModule, DrawsReadTheTextureEnablesOnlyAfterWhatTheLayerCannotFollow) {
    using Change = std::function<void(legacygl::Layer&)>;
    auto enableOn = [](int unit, GLenum target, bool on) {
        return [=](legacygl::Layer& l) {
            OnUnit(unit);
            on ? l.Enable(target) : l.Disable(target);
            OnUnit(0);
        };
    };
    auto compile = [](GLuint list, GLenum mode, Change body) {
        return [=](legacygl::Layer& l) {
            l.NewList(list, mode);
            body(l);
            l.EndList();
        };
    };
    auto both = [](Change a, Change b) {
        return [=](legacygl::Layer& l) {
            a(l);
            b(l);
        };
    };
    const GLubyte listNames[2] = {1, 2};
    const struct {
        const char* what;
        Change change;
        bool reads;               // the next draw asks the driver
        Change before = nullptr;  // before the draws that make the enables known
    } cases[] = {
        {"nothing", [](legacygl::Layer&) {}, false},
        {"glEnable on another unit", enableOn(2, GL_TEXTURE_3D, true), false},
        {"glDisable of the winning target",
         both(both(enableOn(1, GL_TEXTURE_CUBE_MAP, true), enableOn(1, GL_TEXTURE_1D, true)),
              enableOn(1, GL_TEXTURE_CUBE_MAP, false)),
         false},
        {"glDisable on unit 0", enableOn(0, GL_TEXTURE_2D, false), false},
        {"an active unit beyond those drawn", enableOn(5, GL_TEXTURE_2D, true), false},
        {"glEnable in a list run while compiled",
         compile(1, GL_COMPILE_AND_EXECUTE, enableOn(3, GL_TEXTURE_1D, true)), false},
        {"glEnable compiled only", compile(1, GL_COMPILE, enableOn(3, GL_TEXTURE_1D, true)), true},
        // The fake driver's lists hold no unit changes: these enables act on unit 0.
        {"glCallList", [](legacygl::Layer& l) { l.CallList(1); }, true,
         compile(1, GL_COMPILE, enableOn(0, GL_TEXTURE_CUBE_MAP, true))},
        {"glCallLists", [&](legacygl::Layer& l) { l.CallLists(2, GL_UNSIGNED_BYTE, listNames); },
         true, compile(2, GL_COMPILE, enableOn(0, GL_TEXTURE_3D, true))},
        {"glCallList of a list the layer did not compile",
         [](legacygl::Layer& l) {
             fake.lists[40] = {[] { SetUnitEnable(0, GL_TEXTURE_2D, false); }};
             l.CallList(40);
         },
         true},
        {"glPopAttrib",
         both(both([](legacygl::Layer& l) { l.PushAttrib(GL_ENABLE_BIT); },
                   enableOn(0, GL_TEXTURE_CUBE_MAP, true)),
              [](legacygl::Layer& l) { l.PopAttrib(); }),
         true},
        {"glEnableIndexedEXT", [](legacygl::Layer& l) { l.EnableIndexedEXT(GL_TEXTURE_2D, 3); },
         true},
        {"glDisableIndexedEXT", [](legacygl::Layer& l) { l.DisableIndexedEXT(GL_TEXTURE_2D, 0); },
         true},
        {"glEnablei", [](legacygl::Layer& l) { l.Enablei(GL_TEXTURE_3D, 1); }, true},
        {"glDisablei", [](legacygl::Layer& l) { l.Disablei(GL_TEXTURE_2D, 0); }, true},
        {"glEnable between glBegin and glEnd",
         both(
             both([](legacygl::Layer& l) { l.Begin(GL_POINTS); }, enableOn(2, GL_TEXTURE_2D, true)),
             [](legacygl::Layer& l) { l.End(); }),
         true},
    };
    for (bool direct : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (direct ? ", direct state access" : ""));
            LayerOver over(std::string(kDriver) + (direct ? " GL_EXT_direct_state_access" : ""),
                           true, &WithUnitEnables);
            SetUnitEnable(0, GL_TEXTURE_2D, true);  // before the layer's first draw
            legacygl::FragmentModule* module = over.layer->Get<legacygl::FragmentModule>();
            ASSERT_NE(module, nullptr);
            if (c.before) c.before(*over.layer);
            over.layer->Enable(GL_REGISTER_COMBINERS_NV);
            auto draw = [&] {
                fake.enableQueries = 0;
                over.layer->Begin(GL_POINTS);
                over.layer->End();
                return fake.enableQueries;
            };
            EXPECT_GT(draw(), 0) << "the first draw";
            EXPECT_EQ(draw(), 0) << "nothing changed";
            c.change(*over.layer);
            EXPECT_EQ(draw() > 0, c.reads);
            for (int unit = 0; unit < 4; ++unit)
                EXPECT_EQ(module->State().units[unit].enabledTarget, Winning(unit))
                    << "unit " << unit;
            EXPECT_EQ(draw(), 0) << "known again";
            EXPECT_EQ(over.layer->GetError(), GLenum(GL_NO_ERROR));
        }
    }
}

}  // namespace
