// The combiner and texture-shader module over the recording GL: when it takes part, its entry
// points and names, the extensions' errors, queries and TexEnv target.
#define GL_GLEXT_PROTOTYPES 1

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "glext/entry_points.h"
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

}  // namespace
