// The combiner and texture-shader module over the recording GL: when it takes part, its entry
// points and names, the extensions' errors, queries and TexEnv target, and the attribute stack.
#define GL_GLEXT_PROTOTYPES 1

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <initializer_list>
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
using Values = std::vector<double>;
constexpr const char* kDriver = legacygltest::kFragmentDriver;
constexpr GLenum kId = GL_UNSIGNED_IDENTITY_NV;

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

void OnUnit(int unit) { glActiveTextureARB(GL_TEXTURE0 + unit); }

// The values one query gives for each of pnames.
Values Read(const std::function<void(GLenum, GLint*)>& get, std::initializer_list<GLenum> pnames) {
    Values values;
    for (GLenum pname : pnames) {
        GLint v = -1;
        get(pname, &v);
        values.push_back(v);
    }
    return values;
}

// The layer's combiner commands, and its combiner and texture-shader state read as numbers.
struct Combiners {
    explicit Combiners(LayerOver& o) : over(o) {}
    LayerOver& over;
    PFNGLCOMBINERINPUTNVPROC input = over.Fn<PFNGLCOMBINERINPUTNVPROC>("glCombinerInputNV");
    PFNGLCOMBINEROUTPUTNVPROC output = over.Fn<PFNGLCOMBINEROUTPUTNVPROC>("glCombinerOutputNV");
    PFNGLFINALCOMBINERINPUTNVPROC final =
        over.Fn<PFNGLFINALCOMBINERINPUTNVPROC>("glFinalCombinerInputNV");
    PFNGLCOMBINERPARAMETERINVPROC parameteri =
        over.Fn<PFNGLCOMBINERPARAMETERINVPROC>("glCombinerParameteriNV");
    PFNGLCOMBINERPARAMETERFVNVPROC parameterfv =
        over.Fn<PFNGLCOMBINERPARAMETERFVNVPROC>("glCombinerParameterfvNV");
    PFNGLCOMBINERSTAGEPARAMETERFVNVPROC stage =
        over.Fn<PFNGLCOMBINERSTAGEPARAMETERFVNVPROC>("glCombinerStageParameterfvNV");

    // Input, mapping and component usage of a variable.
    Values Input(GLenum stage, GLenum portion, GLenum variable) {
        auto get =
            over.Fn<PFNGLGETCOMBINERINPUTPARAMETERIVNVPROC>("glGetCombinerInputParameterivNV");
        return Read([&](GLenum p, GLint* v) { get(stage, portion, variable, p, v); },
                    {GL_COMBINER_INPUT_NV, GL_COMBINER_MAPPING_NV, GL_COMBINER_COMPONENT_USAGE_NV});
    }
    // The AB and CD dot products, mux-sum, scale, bias, and the AB, CD and sum outputs.
    Values Output(GLenum stage, GLenum portion) {
        auto get =
            over.Fn<PFNGLGETCOMBINEROUTPUTPARAMETERIVNVPROC>("glGetCombinerOutputParameterivNV");
        return Read(
            [&](GLenum p, GLint* v) { get(stage, portion, p, v); },
            {GL_COMBINER_AB_DOT_PRODUCT_NV, GL_COMBINER_CD_DOT_PRODUCT_NV, GL_COMBINER_MUX_SUM_NV,
             GL_COMBINER_SCALE_NV, GL_COMBINER_BIAS_NV, GL_COMBINER_AB_OUTPUT_NV,
             GL_COMBINER_CD_OUTPUT_NV, GL_COMBINER_SUM_OUTPUT_NV});
    }
    Values Final(GLenum variable) {
        auto get = over.Fn<PFNGLGETFINALCOMBINERINPUTPARAMETERIVNVPROC>(
            "glGetFinalCombinerInputParameterivNV");
        return Read([&](GLenum p, GLint* v) { get(variable, p, v); },
                    {GL_COMBINER_INPUT_NV, GL_COMBINER_MAPPING_NV, GL_COMBINER_COMPONENT_USAGE_NV});
    }
    Values Stage(GLenum stage, GLenum pname) {
        GLfloat f[4] = {};
        over.Fn<PFNGLGETCOMBINERSTAGEPARAMETERFVNVPROC>("glGetCombinerStageParameterfvNV")(
            stage, pname, f);
        return Values(f, f + 4);
    }
    Values Integer(GLenum pname) {
        return Read([&](GLenum p, GLint* v) { over.layer->GetIntegerv(p, v); }, {pname});
    }
    Values Floats(GLenum pname) {
        GLfloat f[4] = {};
        over.layer->GetFloatv(pname, f);
        return Values(f, f + 4);
    }
    // The first count values of a texture-shader parameter of unit, read as floats.
    Values Shader(int unit, GLenum pname, int count) {
        GLfloat f[4] = {};
        OnUnit(unit);
        over.layer->GetTexEnvfv(GL_TEXTURE_SHADER_NV, pname, f);
        OnUnit(0);
        return Values(f, f + count);
    }
};

TEST(LegacyFragmentModule, TakesPartOnlyOverTheArbFragmentProgramOfADriverWithoutTheExtensions) {
    // Switched on over a driver with ARB fragment programs and none of the four: each is named
    // once and its entry points come from the layer. Otherwise none is supplied, and their entry
    // points, enables and TexEnv target go to the recording GL.
    struct Driver {
        std::string extensions;
        bool switchedOn;
    };
    std::vector<Driver> drivers = {
        {kDriver, true}, {"GL_ARB_multitexture", true}, {kDriver, false}};
    for (const char* name : kFragmentNames)
        drivers.push_back({std::string(kDriver) + " " + name, true});
    for (const Driver& d : drivers) {
        SCOPED_TRACE(d.extensions + (d.switchedOn ? "" : ", switched off"));
        const bool takesPart = &d == &drivers[0];
        LayerOver over(d.extensions, d.switchedOn);
        const std::string extensions =
            reinterpret_cast<const char*>(over.layer->GetString(GL_EXTENSIONS));
        for (const char* name : kFragmentNames) {
            EXPECT_EQ(Occurrences(extensions, name),
                      takesPart ? 1 : Occurrences(d.extensions, name))
                << name;
            const glext::ExtensionRow* row = Row(name);
            for (size_t i = 0; row != nullptr && i < row->count; ++i) {
                const char* entry = row->entryPoints[i].name;
                const NextGl::Proc p =
                    over.layer->GetProcAddress(reinterpret_cast<const GLubyte*>(entry));
                EXPECT_NE(p, nullptr) << entry;
                EXPECT_EQ(p == FromRecordingGl(entry), !takesPart) << entry;
            }
        }
        if (takesPart) continue;
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
    Combiners c(over);
    const GLenum c0 = GL_COMBINER0_NV, spare0 = GL_SPARE0_NV, discard = GL_DISCARD_NV,
                 half = GL_BIAS_BY_NEGATIVE_ONE_HALF_NV, op = GL_INVALID_OPERATION,
                 en = GL_INVALID_ENUM;
    // Refused inputs of variable A: stage, portion, input, mapping, usage.
    const GLenum inputs[][6] = {
        {c0, GL_ALPHA, spare0, kId, GL_RGB, op},         // RGB usage in the alpha portion
        {c0, GL_RGB, spare0, kId, GL_BLUE, op},          // BLUE usage in the RGB portion
        {c0, GL_RGB, GL_FOG, kId, GL_ALPHA, op},         // the alpha of fog
        {c0 + 8, GL_RGB, spare0, kId, GL_RGB, en},       // a stage beyond the last
        {c0, GL_RGB, GL_E_TIMES_F_NV, kId, GL_RGB, en},  // E_TIMES_F in a general combiner
    };
    // Refused outputs of combiner 0: portion, AB, CD and sum outputs, scale, bias, AB dot product.
    const GLenum outputs[][8] = {
        {GL_ALPHA, spare0, discard, discard, GL_NONE, GL_NONE, GL_TRUE, GL_INVALID_VALUE},
        {GL_RGB, spare0, discard, discard, GL_SCALE_BY_ONE_HALF_NV, half, GL_FALSE, op},
        {GL_RGB, spare0, discard, discard, GL_SCALE_BY_FOUR_NV, half, GL_FALSE, op},
        {GL_RGB, spare0, GL_SPARE1_NV, spare0, GL_NONE, GL_NONE, GL_FALSE, op},  // one register
        {GL_RGB, GL_CONSTANT_COLOR0_NV, discard, discard, GL_NONE, GL_NONE, GL_FALSE, en},
    };
    // Refused final inputs: variable, input, mapping, usage.
    const GLenum finals[][5] = {
        {GL_VARIABLE_G_NV, GL_E_TIMES_F_NV, kId, GL_ALPHA, op},
        {GL_VARIABLE_A_NV, GL_SPARE0_PLUS_SECONDARY_COLOR_NV, kId, GL_RGB, op},
        {GL_VARIABLE_G_NV, spare0, kId, GL_RGB, op},
        {GL_VARIABLE_B_NV, spare0, kId, GL_BLUE, op},
        {GL_VARIABLE_A_NV, GL_E_TIMES_F_NV, kId, GL_ALPHA, op},
        {GL_VARIABLE_A_NV, spare0, GL_EXPAND_NORMAL_NV, GL_RGB, en},  // a signed mapping
    };
    // The state the refused commands would have changed.
    auto state = [&] {
        std::vector<Values> s = {c.Output(c0, GL_RGB), c.Output(c0, GL_ALPHA),
                                 c.Integer(GL_NUM_GENERAL_COMBINERS_NV),
                                 c.Floats(GL_CONSTANT_COLOR0_NV)};
        for (GLenum v : {GL_VARIABLE_A_NV, GL_VARIABLE_B_NV, GL_VARIABLE_G_NV})
            s.push_back(c.Final(v));
        for (GLenum portion : {GL_ALPHA, GL_RGB})
            s.push_back(c.Input(c0, portion, GL_VARIABLE_A_NV));
        return s;
    };
    const std::vector<Values> initial = state();
    int row = 0;
    auto refused = [&](GLenum error) {
        EXPECT_EQ(over.layer->GetError(), error) << "row " << row;
        EXPECT_EQ(over.layer->GetError(), GLenum(GL_NO_ERROR)) << "row " << row++;
    };
    for (const auto& i : inputs) {
        c.input(i[0], i[1], GL_VARIABLE_A_NV, i[2], i[3], i[4]);
        refused(i[5]);
    }
    for (const auto& o : outputs) {
        c.output(c0, o[0], o[1], o[2], o[3], o[4], o[5], GLboolean(o[6]), GL_FALSE, GL_FALSE);
        refused(o[7]);
    }
    for (const auto& f : finals) {
        c.final(f[0], f[1], f[2], f[3]);
        refused(f[4]);
    }
    c.parameteri(GL_NUM_GENERAL_COMBINERS_NV, 0);
    refused(GL_INVALID_VALUE);
    c.parameteri(GL_NUM_GENERAL_COMBINERS_NV, 9);
    refused(GL_INVALID_VALUE);
    // A colour through the scalar form; a per-stage constant of no stage.
    over.Fn<PFNGLCOMBINERPARAMETERFNVPROC>("glCombinerParameterfNV")(GL_CONSTANT_COLOR0_NV, 1);
    refused(en);
    const GLfloat color[4] = {0.5f, 0.25f, 0.125f, 1};
    c.stage(c0 + 8, GL_CONSTANT_COLOR0_NV, color);
    refused(en);
    EXPECT_EQ(state(), initial);
    EXPECT_EQ(c.Input(c0, GL_ALPHA, GL_VARIABLE_A_NV)[2], GL_ALPHA);
    EXPECT_EQ(c.Integer(GL_NUM_GENERAL_COMBINERS_NV), Values{1});

    // Valid settings read back.
    c.input(GL_COMBINER2_NV, GL_RGB, GL_VARIABLE_C_NV, GL_TEXTURE3, GL_HALF_BIAS_NEGATE_NV,
            GL_ALPHA);
    c.output(GL_COMBINER2_NV, GL_RGB, GL_SPARE1_NV, GL_TEXTURE0, GL_DISCARD_NV, GL_SCALE_BY_TWO_NV,
             GL_BIAS_BY_NEGATIVE_ONE_HALF_NV, GL_TRUE, GL_FALSE, GL_TRUE);
    c.final(GL_VARIABLE_D_NV, GL_E_TIMES_F_NV, GL_UNSIGNED_INVERT_NV, GL_RGB);
    c.parameteri(GL_NUM_GENERAL_COMBINERS_NV, 8);
    c.parameteri(GL_COLOR_SUM_CLAMP_NV, GL_FALSE);
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(c.Input(GL_COMBINER2_NV, GL_RGB, GL_VARIABLE_C_NV),
              (Values{GL_TEXTURE3, GL_HALF_BIAS_NEGATE_NV, GL_ALPHA}));
    EXPECT_EQ(c.Output(GL_COMBINER2_NV, GL_RGB),
              (Values{GL_TRUE, GL_FALSE, GL_TRUE, GL_SCALE_BY_TWO_NV,
                      GL_BIAS_BY_NEGATIVE_ONE_HALF_NV, GL_SPARE1_NV, GL_TEXTURE0, GL_DISCARD_NV}));
    EXPECT_EQ(c.Final(GL_VARIABLE_D_NV), (Values{GL_E_TIMES_F_NV, GL_UNSIGNED_INVERT_NV, GL_RGB}));
    EXPECT_EQ(c.Integer(GL_NUM_GENERAL_COMBINERS_NV), Values{8});
    EXPECT_EQ(c.Integer(GL_MAX_GENERAL_COMBINERS_NV), Values{8});
    EXPECT_EQ(c.Integer(GL_COLOR_SUM_CLAMP_NV), Values{0});
    GLint value = 0;
    over.Fn<PFNGLGETCOMBINEROUTPUTPARAMETERIVNVPROC>("glGetCombinerOutputParameterivNV")(
        GL_COMBINER2_NV, GL_RGB, GL_COMBINER_INPUT_NV, &value);
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_INVALID_ENUM));
}

TEST(LegacyFragmentModule, ConstantsAreClampedAndReadByEveryQueryForm) {
    LayerOver over;
    Combiners c(over);
    const GLfloat given[4] = {-0.5f, 0.25f, 2.0f, 1.0f};
    const Values clamped = {0, 0.25f, 1, 1};
    c.parameterfv(GL_CONSTANT_COLOR0_NV, given);
    EXPECT_EQ(c.Floats(GL_CONSTANT_COLOR0_NV), clamped);
    GLdouble d[4];
    over.layer->GetDoublev(GL_CONSTANT_COLOR0_NV, d);
    EXPECT_EQ(d[1], 0.25);
    GLint i[4];
    over.layer->GetIntegerv(GL_CONSTANT_COLOR0_NV, i);
    EXPECT_EQ(i[2], 2147483647);
    EXPECT_EQ(i[0], 0);
    // Integers given are the signed-integer conversion of the colour: 2^31 - 1 is 1.
    const GLint ints[4] = {2147483647, 0, -2147483647 - 1, 1073741823};
    over.Fn<PFNGLCOMBINERPARAMETERIVNVPROC>("glCombinerParameterivNV")(GL_CONSTANT_COLOR1_NV, ints);
    const Values f = c.Floats(GL_CONSTANT_COLOR1_NV);
    EXPECT_FLOAT_EQ(f[0], 1);
    EXPECT_NEAR(f[1], 0, 1e-9);
    EXPECT_EQ(f[2], 0);
    EXPECT_NEAR(f[3], 0.5f, 1e-6);
    c.stage(GL_COMBINER5_NV, GL_CONSTANT_COLOR1_NV, given);
    EXPECT_EQ(c.Stage(GL_COMBINER5_NV, GL_CONSTANT_COLOR1_NV), clamped);
    EXPECT_EQ(c.Stage(GL_COMBINER4_NV, GL_CONSTANT_COLOR1_NV), (Values{0, 0, 0, 0}));
    GLboolean b = GL_FALSE;
    over.layer->GetBooleanv(GL_COLOR_SUM_CLAMP_NV, &b);
    EXPECT_TRUE(b);
    for (GLenum cap : {GL_REGISTER_COMBINERS_NV, GL_PER_STAGE_CONSTANTS_NV, GL_TEXTURE_SHADER_NV}) {
        EXPECT_FALSE(over.layer->IsEnabled(cap));
        over.layer->Enable(cap);
        EXPECT_TRUE(over.layer->IsEnabled(cap));
        over.layer->Disable(cap);
        EXPECT_FALSE(over.layer->IsEnabled(cap));
    }
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_NO_ERROR));
}

TEST(LegacyFragmentModule, TextureShaderStateIsPerUnitWithTheUnitRestrictions) {
    LayerOver over;
    Combiners c(over);
    const struct {
        int unit;
        GLenum pname;
        GLint value;
        GLenum error;
    } cases[] = {
        // One operation of each group the unit restrictions share, on the last unit refused.
        {0, GL_SHADER_OPERATION_NV, GL_OFFSET_TEXTURE_2D_NV, GL_INVALID_OPERATION},
        {1, GL_SHADER_OPERATION_NV, GL_DOT_PRODUCT_TEXTURE_2D_NV, GL_INVALID_OPERATION},
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
    for (const auto& k : cases) {
        OnUnit(k.unit);
        over.layer->TexEnvi(GL_TEXTURE_SHADER_NV, k.pname, k.value);
        EXPECT_EQ(over.layer->GetError(), k.error) << k.unit << " " << k.pname << " " << k.value;
    }
    const GLfloat matrix[4] = {0.5f, -1, 2, 0.25f}, eye[3] = {1, 2, 3};
    const GLint modes[4] = {GL_LESS, GL_GEQUAL, GL_LESS, GL_LESS};
    OnUnit(1);
    over.layer->TexEnvfv(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_MATRIX_NV, matrix);
    over.layer->TexEnvf(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_SCALE_NV, 3);
    over.layer->TexEnviv(GL_TEXTURE_SHADER_NV, GL_CULL_MODES_NV, modes);
    over.layer->TexEnvfv(GL_TEXTURE_SHADER_NV, GL_CONST_EYE_NV, eye);
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_NO_ERROR));
    GLint i[4] = {};
    over.layer->GetTexEnviv(GL_TEXTURE_SHADER_NV, GL_CULL_MODES_NV, i);
    EXPECT_EQ(std::vector<GLint>(i, i + 4), std::vector<GLint>(modes, modes + 4));
    EXPECT_EQ(c.Shader(1, GL_OFFSET_TEXTURE_MATRIX_NV, 4), Values(matrix, matrix + 4));
    EXPECT_EQ(c.Shader(1, GL_CONST_EYE_NV, 3), Values(eye, eye + 3));
    EXPECT_EQ(c.Shader(1, GL_OFFSET_TEXTURE_SCALE_NV, 1), Values{3});
    EXPECT_EQ(c.Shader(1, GL_SHADER_OPERATION_NV, 1), Values{GL_OFFSET_TEXTURE_2D_SCALE_NV});
    // Other units keep their own values.
    EXPECT_EQ(c.Shader(2, GL_SHADER_OPERATION_NV, 1), Values{GL_DOT_PRODUCT_NV});
    EXPECT_EQ(c.Shader(2, GL_PREVIOUS_TEXTURE_INPUT_NV, 1), Values{GL_TEXTURE1});
    EXPECT_EQ(c.Shader(2, GL_OFFSET_TEXTURE_MATRIX_NV, 4), (Values{1, 0, 0, 1}));
    EXPECT_EQ(c.Shader(0, GL_SHADER_OPERATION_NV, 1), Values{GL_NONE});
    // A dot product reading an offset texture's unit (no RGBA or HILO result) is inconsistent.
    EXPECT_EQ(c.Shader(2, GL_SHADER_CONSISTENT_NV, 1), Values{GL_FALSE});
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

// Texture-shader parameters, each on a unit of its own choice, set through glTexEnvfv.
const struct {
    const char* name;
    int unit;
    GLenum pname;
    std::vector<GLfloat> values;
} kShaderSettings[] = {
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
const GLenum kCaps[] = {GL_REGISTER_COMBINERS_NV, GL_PER_STAGE_CONSTANTS_NV, GL_TEXTURE_SHADER_NV};

// Every kind of state the attribute stack holds, read as numbers.
struct Kind {
    const char* name;
    bool enable;  // an enable: pushed with ENABLE_BIT as well
    Values values;
};
std::vector<Kind> Saved(Combiners& c) {
    std::vector<Kind> kinds = {
        {"general input", false, c.Input(GL_COMBINER3_NV, GL_ALPHA, GL_VARIABLE_C_NV)},
        {"general output", false, c.Output(GL_COMBINER5_NV, GL_RGB)},
        {"final input", false, c.Final(GL_VARIABLE_E_NV)},
        {"constant colour", false, c.Floats(GL_CONSTANT_COLOR1_NV)},
        {"general combiner count", false, c.Integer(GL_NUM_GENERAL_COMBINERS_NV)},
        {"colour sum clamp", false, c.Integer(GL_COLOR_SUM_CLAMP_NV)},
        {"per-stage constant", false, c.Stage(GL_COMBINER2_NV, GL_CONSTANT_COLOR0_NV)},
    };
    for (const auto& s : kShaderSettings)
        kinds.push_back({s.name, false, c.Shader(s.unit, s.pname, int(s.values.size()))});
    for (GLenum cap : kCaps)
        kinds.push_back({"enable", true, {double(c.over.layer->IsEnabled(cap))}});
    return kinds;
}
// Changes every kind of state Saved reads.
void ChangeSaved(Combiners& c) {
    c.input(GL_COMBINER3_NV, GL_ALPHA, GL_VARIABLE_C_NV, GL_TEXTURE2, GL_EXPAND_NEGATE_NV, GL_BLUE);
    c.output(GL_COMBINER5_NV, GL_RGB, GL_SPARE1_NV, GL_TEXTURE1, GL_PRIMARY_COLOR_NV,
             GL_SCALE_BY_TWO_NV, GL_BIAS_BY_NEGATIVE_ONE_HALF_NV, GL_TRUE, GL_TRUE, GL_TRUE);
    c.final(GL_VARIABLE_E_NV, GL_SECONDARY_COLOR_NV, GL_UNSIGNED_INVERT_NV, GL_ALPHA);
    const GLfloat color[4] = {0.25f, 0.5f, 0.75f, 1}, stage[4] = {1, 0.5f, 0.25f, 0.125f};
    c.parameterfv(GL_CONSTANT_COLOR1_NV, color);
    c.parameteri(GL_NUM_GENERAL_COMBINERS_NV, 6);
    c.parameteri(GL_COLOR_SUM_CLAMP_NV, GL_FALSE);
    c.stage(GL_COMBINER2_NV, GL_CONSTANT_COLOR0_NV, stage);
    for (const auto& s : kShaderSettings) {
        OnUnit(s.unit);
        c.over.layer->TexEnvfv(GL_TEXTURE_SHADER_NV, s.pname, s.values.data());
    }
    OnUnit(0);
    for (GLenum cap : kCaps) c.over.layer->Enable(cap);
}

TEST(LegacyFragmentModule, TheAttributeStackSavesCombinerAndShaderStateWithTheTextureBit) {
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
        Combiners c(over);
        const std::vector<Kind> before = Saved(c);
        over.layer->PushAttrib(m.mask);
        ChangeSaved(c);
        EXPECT_EQ(over.layer->GetError(), GLenum(GL_NO_ERROR));
        const std::vector<Kind> changed = Saved(c);
        over.layer->PopAttrib();
        const std::vector<Kind> popped = Saved(c);
        for (size_t i = 0; i < before.size(); ++i) {
            ASSERT_NE(before[i].values, changed[i].values) << before[i].name;
            const bool restored = before[i].enable ? m.enables : m.state;
            EXPECT_EQ(popped[i].values, (restored ? before : changed)[i].values) << before[i].name;
        }
    }
}

TEST(LegacyFragmentModule, NestedPushesPopInOrderAndRefusedPushesAndPopsChangeNothing) {
    LayerOver over(kDriver, true, &WithFakeDriver);
    Combiners c(over);
    auto count = [&](GLint n) { c.parameteri(GL_NUM_GENERAL_COMBINERS_NV, n); };
    auto stages = [&] { return int(c.Integer(GL_NUM_GENERAL_COMBINERS_NV)[0]); };
    over.layer->PushAttrib(GL_TEXTURE_BIT);
    count(2);
    over.layer->PushAttrib(GL_ENABLE_BIT);
    over.layer->Enable(GL_REGISTER_COMBINERS_NV);
    count(3);
    over.layer->PushAttrib(GL_TEXTURE_BIT);
    over.layer->Disable(GL_REGISTER_COMBINERS_NV);
    count(4);
    over.layer->PopAttrib();
    EXPECT_EQ(stages(), 3);
    EXPECT_TRUE(over.layer->IsEnabled(GL_REGISTER_COMBINERS_NV));
    over.layer->PopAttrib();
    EXPECT_EQ(stages(), 3);
    EXPECT_FALSE(over.layer->IsEnabled(GL_REGISTER_COMBINERS_NV));
    over.layer->PopAttrib();
    EXPECT_EQ(stages(), 1);
    // A pop of the empty stack is the driver's underflow and restores nothing.
    count(5);
    over.layer->PopAttrib();
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_STACK_UNDERFLOW));
    EXPECT_EQ(stages(), 5);
    // A push beyond the driver's depth saves nothing: the pops that follow match the driver's.
    for (size_t i = 0; i < kMaxAttributeDepth; ++i) {
        count(1 + int(i % 8));
        over.layer->PushAttrib(GL_TEXTURE_BIT);
    }
    count(8);
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
    using L = legacygl::Layer;
    // Enables or disables target on unit, unit 0 active again after.
    auto set = [](L& l, int unit, GLenum target, bool on) {
        OnUnit(unit);
        on ? l.Enable(target) : l.Disable(target);
        OnUnit(0);
    };
    // Compiles list in mode with one enable in it.
    auto compile = [&](L& l, GLuint list, GLenum mode, int unit, GLenum target) {
        l.NewList(list, mode);
        set(l, unit, target, true);
        l.EndList();
    };
    const GLubyte listNames[2] = {1, 2};
    const struct {
        const char* what;
        std::function<void(L&)> change;
        bool reads;                                // the next draw asks the driver
        std::function<void(L&)> before = nullptr;  // before the draws that make the enables known
    } cases[] = {
        {"nothing", [](L&) {}, false},
        {"glEnable on another unit", [&](L& l) { set(l, 2, GL_TEXTURE_3D, true); }, false},
        {"glDisable of the winning target",
         [&](L& l) {
             set(l, 1, GL_TEXTURE_CUBE_MAP, true);
             set(l, 1, GL_TEXTURE_1D, true);
             set(l, 1, GL_TEXTURE_CUBE_MAP, false);
         },
         false},
        {"glDisable on unit 0", [&](L& l) { set(l, 0, GL_TEXTURE_2D, false); }, false},
        {"an active unit beyond those drawn", [&](L& l) { set(l, 5, GL_TEXTURE_2D, true); }, false},
        {"glEnable in a list run while compiled",
         [&](L& l) { compile(l, 1, GL_COMPILE_AND_EXECUTE, 3, GL_TEXTURE_1D); }, false},
        {"glEnable compiled only", [&](L& l) { compile(l, 1, GL_COMPILE, 3, GL_TEXTURE_1D); },
         true},
        // The fake driver's lists hold no unit changes: these enables act on unit 0.
        {"glCallList", [](L& l) { l.CallList(1); }, true,
         [&](L& l) { compile(l, 1, GL_COMPILE, 0, GL_TEXTURE_CUBE_MAP); }},
        {"glCallLists", [&](L& l) { l.CallLists(2, GL_UNSIGNED_BYTE, listNames); }, true,
         [&](L& l) { compile(l, 2, GL_COMPILE, 0, GL_TEXTURE_3D); }},
        {"glCallList of a list the layer did not compile",
         [](L& l) {
             fake.lists[40] = {[] { SetUnitEnable(0, GL_TEXTURE_2D, false); }};
             l.CallList(40);
         },
         true},
        {"glPopAttrib",
         [&](L& l) {
             l.PushAttrib(GL_ENABLE_BIT);
             set(l, 0, GL_TEXTURE_CUBE_MAP, true);
             l.PopAttrib();
         },
         true},
        // The indexed enables of both spellings share one path.
        {"glEnableIndexedEXT", [](L& l) { l.EnableIndexedEXT(GL_TEXTURE_2D, 3); }, true},
        {"glDisablei", [](L& l) { l.Disablei(GL_TEXTURE_2D, 0); }, true},
        {"glEnable between glBegin and glEnd",
         [&](L& l) {
             l.Begin(GL_POINTS);
             set(l, 2, GL_TEXTURE_2D, true);
             l.End();
         },
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
