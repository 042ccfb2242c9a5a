#include "legacygl/fragment_module.h"

#include <algorithm>

#include "fragmentprogram/generator.h"
#include "fragmentprogram/texel_conversion.h"
#include "legacygl/legacy_textures.h"

namespace legacygl {

using fragmentprogram::CombinerPortion;
using fragmentprogram::FragmentState;
using fragmentprogram::kMaxGeneralCombiners;
using fragmentprogram::kMaxTextureUnits;
using fragmentprogram::Vec4;

namespace {

FragmentModule* Current() {
    Layer* layer = CurrentLayer();
    return layer != nullptr ? layer->Get<FragmentModule>() : nullptr;
}

#define WITH_MODULE(call)                           \
    do {                                            \
        if (FragmentModule* m = Current()) m->call; \
    } while (0)

// The setters are held by display lists: their arguments are copied for the list.
template <typename F>
void Listed(F command) {
    if (Layer* layer = CurrentLayer()) layer->Listed<FragmentModule>(command);
}

void SetParameter(GLenum pname, const GLfloat* values, bool vector) {
    std::array<GLfloat, 4> v{};
    std::copy(values, values + (vector ? 4 : 1), v.begin());
    Listed([=](FragmentModule& m) { m.CombinerParameter(pname, v.data(), vector); });
}

void APIENTRY CombinerParameterfvNV(GLenum pname, const GLfloat* params) {
    if (params == nullptr) return;
    const bool color = pname == GL_CONSTANT_COLOR0_NV || pname == GL_CONSTANT_COLOR1_NV;
    GLfloat values[4] = {};
    std::copy(params, params + (color ? 4 : 1), values);
    SetParameter(pname, values, true);
}
void APIENTRY CombinerParameterfNV(GLenum pname, GLfloat param) {
    SetParameter(pname, &param, false);
}
void APIENTRY CombinerParameterivNV(GLenum pname, const GLint* params) {
    if (params == nullptr) return;
    const bool color = pname == GL_CONSTANT_COLOR0_NV || pname == GL_CONSTANT_COLOR1_NV;
    GLfloat values[4] = {};
    for (int i = 0; i < (color ? 4 : 1); ++i)
        values[i] = color ? IntegerToColour(params[i]) : GLfloat(params[i]);
    SetParameter(pname, values, true);
}
void APIENTRY CombinerParameteriNV(GLenum pname, GLint param) {
    const GLfloat value = GLfloat(param);
    SetParameter(pname, &value, false);
}
void APIENTRY CombinerInputNV(GLenum stage, GLenum portion, GLenum variable, GLenum input,
                              GLenum mapping, GLenum usage) {
    Listed([=](FragmentModule& m) {
        m.CombinerInput(stage, portion, variable, input, mapping, usage);
    });
}
void APIENTRY CombinerOutputNV(GLenum stage, GLenum portion, GLenum abOutput, GLenum cdOutput,
                               GLenum sumOutput, GLenum scale, GLenum bias, GLboolean abDot,
                               GLboolean cdDot, GLboolean muxSum) {
    Listed([=](FragmentModule& m) {
        m.CombinerOutput(stage, portion, abOutput, cdOutput, sumOutput, scale, bias, abDot, cdDot,
                         muxSum);
    });
}
void APIENTRY FinalCombinerInputNV(GLenum variable, GLenum input, GLenum mapping, GLenum usage) {
    Listed([=](FragmentModule& m) { m.FinalCombinerInput(variable, input, mapping, usage); });
}
template <typename T>
void APIENTRY GetCombinerInputNV(GLenum stage, GLenum portion, GLenum variable, GLenum pname,
                                 T* params) {
    GLint value;
    FragmentModule* m = Current();
    if (m != nullptr && params != nullptr &&
        m->GetCombinerInput(stage, portion, variable, pname, &value))
        *params = T(value);
}
template <typename T>
void APIENTRY GetCombinerOutputNV(GLenum stage, GLenum portion, GLenum pname, T* params) {
    GLint value;
    FragmentModule* m = Current();
    if (m != nullptr && params != nullptr && m->GetCombinerOutput(stage, portion, pname, &value))
        *params = T(value);
}
template <typename T>
void APIENTRY GetFinalCombinerInputNV(GLenum variable, GLenum pname, T* params) {
    GLint value;
    FragmentModule* m = Current();
    if (m != nullptr && params != nullptr && m->GetFinalCombinerInput(variable, pname, &value))
        *params = T(value);
}
void APIENTRY CombinerStageParameterfvNV(GLenum stage, GLenum pname, const GLfloat* params) {
    if (params == nullptr) return;
    std::array<GLfloat, 4> v;
    std::copy(params, params + 4, v.begin());
    Listed([=](FragmentModule& m) { m.CombinerStageParameter(stage, pname, v.data()); });
}
void APIENTRY GetCombinerStageParameterfvNV(GLenum stage, GLenum pname, GLfloat* params) {
    if (params != nullptr) WITH_MODULE(GetCombinerStageParameter(stage, pname, params));
}

#undef WITH_MODULE

const NamedProc kEntryPoints[] = {
    {"glCombinerParameterfvNV", ProcOf(&CombinerParameterfvNV)},
    {"glCombinerParameterfNV", ProcOf(&CombinerParameterfNV)},
    {"glCombinerParameterivNV", ProcOf(&CombinerParameterivNV)},
    {"glCombinerParameteriNV", ProcOf(&CombinerParameteriNV)},
    {"glCombinerInputNV", ProcOf(&CombinerInputNV)},
    {"glCombinerOutputNV", ProcOf(&CombinerOutputNV)},
    {"glFinalCombinerInputNV", ProcOf(&FinalCombinerInputNV)},
    {"glGetCombinerInputParameterfvNV", ProcOf(&GetCombinerInputNV<GLfloat>)},
    {"glGetCombinerInputParameterivNV", ProcOf(&GetCombinerInputNV<GLint>)},
    {"glGetCombinerOutputParameterfvNV", ProcOf(&GetCombinerOutputNV<GLfloat>)},
    {"glGetCombinerOutputParameterivNV", ProcOf(&GetCombinerOutputNV<GLint>)},
    {"glGetFinalCombinerInputParameterfvNV", ProcOf(&GetFinalCombinerInputNV<GLfloat>)},
    {"glGetFinalCombinerInputParameterivNV", ProcOf(&GetFinalCombinerInputNV<GLint>)},
    {"glCombinerStageParameterfvNV", ProcOf(&CombinerStageParameterfvNV)},
    {"glGetCombinerStageParameterfvNV", ProcOf(&GetCombinerStageParameterfvNV)},
};

Vec4 Clamped(const GLfloat* v) {
    Vec4 out;
    for (int i = 0; i < 4; ++i) out[i] = std::min(std::max(v[i], 0.0f), 1.0f);
    return out;
}

int StageIndex(GLenum stage) {
    const int s = int(stage) - int(GL_COMBINER0_NV);
    return s >= 0 && s < kMaxGeneralCombiners ? s : -1;
}

bool IsTextureRegister(GLenum r) { return fragmentprogram::TextureRegisterUnit(r) >= 0; }

bool IsReadableRegister(GLenum r) {
    switch (r) {
        case GL_ZERO:
        case GL_CONSTANT_COLOR0_NV:
        case GL_CONSTANT_COLOR1_NV:
        case GL_FOG:
        case GL_PRIMARY_COLOR_NV:
        case GL_SECONDARY_COLOR_NV:
        case GL_SPARE0_NV:
        case GL_SPARE1_NV:
            return true;
        default:
            return IsTextureRegister(r);
    }
}

bool IsOutputRegister(GLenum r) {
    switch (r) {
        case GL_DISCARD_NV:
        case GL_PRIMARY_COLOR_NV:
        case GL_SECONDARY_COLOR_NV:
        case GL_SPARE0_NV:
        case GL_SPARE1_NV:
            return true;
        default:
            return IsTextureRegister(r);
    }
}

bool IsMapping(GLenum m) { return m >= GL_UNSIGNED_IDENTITY_NV && m <= GL_SIGNED_NEGATE_NV; }

bool IsOperation(GLenum op) {
    switch (op) {
        case GL_NONE:
        case GL_TEXTURE_1D:
        case GL_TEXTURE_2D:
        case GL_TEXTURE_3D:
        case GL_TEXTURE_RECTANGLE_NV:
        case GL_TEXTURE_CUBE_MAP:
        case GL_PASS_THROUGH_NV:
        case GL_CULL_FRAGMENT_NV:
        case GL_OFFSET_TEXTURE_2D_NV:
        case GL_OFFSET_TEXTURE_2D_SCALE_NV:
        case GL_OFFSET_TEXTURE_RECTANGLE_NV:
        case GL_OFFSET_TEXTURE_RECTANGLE_SCALE_NV:
        case GL_DEPENDENT_AR_TEXTURE_2D_NV:
        case GL_DEPENDENT_GB_TEXTURE_2D_NV:
        case GL_DOT_PRODUCT_NV:
        case GL_DOT_PRODUCT_TEXTURE_2D_NV:
        case GL_DOT_PRODUCT_TEXTURE_RECTANGLE_NV:
        case GL_DOT_PRODUCT_TEXTURE_CUBE_MAP_NV:
        case GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV:
        case GL_DOT_PRODUCT_CONST_EYE_REFLECT_CUBE_MAP_NV:
        case GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV:
        case GL_DOT_PRODUCT_DEPTH_REPLACE_NV:
        case GL_DOT_PRODUCT_TEXTURE_3D_NV:
            return true;
        default:
            return false;
    }
}

// Whether an operation may be assigned to `unit` of `units`.
bool AllowedOnUnit(GLenum op, int unit, int units) {
    switch (op) {
        case GL_NONE:
        case GL_TEXTURE_1D:
        case GL_TEXTURE_2D:
        case GL_TEXTURE_3D:
        case GL_TEXTURE_RECTANGLE_NV:
        case GL_TEXTURE_CUBE_MAP:
        case GL_PASS_THROUGH_NV:
        case GL_CULL_FRAGMENT_NV:
            return true;
        case GL_DOT_PRODUCT_NV:
            return unit >= 1 && unit != units - 1;
        case GL_DOT_PRODUCT_TEXTURE_2D_NV:
        case GL_DOT_PRODUCT_TEXTURE_RECTANGLE_NV:
        case GL_DOT_PRODUCT_DEPTH_REPLACE_NV:
            return unit >= 2;
        case GL_DOT_PRODUCT_TEXTURE_CUBE_MAP_NV:
        case GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV:
        case GL_DOT_PRODUCT_CONST_EYE_REFLECT_CUBE_MAP_NV:
        case GL_DOT_PRODUCT_TEXTURE_3D_NV:
            return unit >= 3;
        case GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV:
            return unit >= 2 && unit != units - 1;
        default:  // offset and dependent operations
            return unit >= 1;
    }
}

using fragmentprogram::kTargetBindings;
using fragmentprogram::kTargetTokens;

}  // namespace

std::unique_ptr<Module> CreateFragmentModule(Layer& layer) {
    return std::make_unique<FragmentModule>(layer);
}

namespace {
class NamedOnly : public Module {
  public:
    NextGl::Proc Lookup(const char*) const override { return nullptr; }
};
}  // namespace

std::unique_ptr<Module> CreateNamedOnly(Layer& layer) {
    if (layer.Get<FragmentModule>() == nullptr) return nullptr;  // the driver's own combiners
    return std::make_unique<NamedOnly>();
}

FragmentModule::FragmentModule(Layer& layer) : layer_(layer), next_(layer.Next()) {
    GLint units = 0;
    if (next_.glGetIntegerv) next_.glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    maxUnits_ = std::max(1, std::min(int(units), kMaxTextureUnits));
    state_.textureUnits = maxUnits_;
    if (next_.glIsEnabled) appProgramEnabled_ = next_.glIsEnabled(GL_FRAGMENT_PROGRAM_ARB);
    const GLubyte* extensions = next_.glGetString ? next_.glGetString(GL_EXTENSIONS) : nullptr;
    directAccess_ =
        extensions != nullptr &&
        Lists(reinterpret_cast<const char*>(extensions), "GL_EXT_direct_state_access") &&
        next_.glGetBooleanIndexedvEXT && next_.glGetIntegerIndexedvEXT &&
        next_.glGetMultiTexEnvivEXT && next_.glGetMultiTexLevelParameterivEXT &&
        next_.glGetMultiTexParameterivEXT;
    const char* const kRectangleNames[] = {"GL_ARB_texture_rectangle", "GL_NV_texture_rectangle",
                                           "GL_EXT_texture_rectangle"};
    for (const char* name : kRectangleNames)
        rectangles_ = rectangles_ || (extensions != nullptr &&
                                      Lists(reinterpret_cast<const char*>(extensions), name));
}

NextGl::Proc FragmentModule::Lookup(const char* name) const { return FindProc(kEntryPoints, name); }

bool FragmentModule::SetCapability(GLenum cap, bool on) {
    switch (cap) {
        case GL_REGISTER_COMBINERS_NV:
            state_.combiners.enabled = on;
            return true;
        case GL_PER_STAGE_CONSTANTS_NV:
            state_.combiners.perStageConstants = on;
            return true;
        case GL_TEXTURE_SHADER_NV:
            state_.textureShaders = on;
            return true;
        case GL_FRAGMENT_PROGRAM_ARB:
            // The application's own enable; while the layer's program is installed it is applied
            // when the layer's program leaves.
            appProgramEnabled_ = on;
            return installed_;
        default:
            FollowTextureEnable(cap, on);  // the driver's enable: it goes on to the driver
            return false;
    }
}

void FragmentModule::FollowTextureEnable(GLenum target, bool on) {
    const int k = fragmentprogram::TargetIndexOf(target);
    // A driver without rectangle textures refuses their enable.
    if (k < 0 || !enablesKnown_ || (k == fragmentprogram::kRectangle && !rectangles_)) return;
    if (!layer_.RunsNow()) {
        // Compiled into a list, or between glBegin and glEnd: when (or whether) it acts is not
        // known.
        enablesKnown_ = false;
        return;
    }
    GLint active = GL_TEXTURE0;
    if (next_.glGetIntegerv) next_.glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    const int unit = int(active) - int(GL_TEXTURE0);
    if (unit < 0 || unit >= maxUnits_) return;  // a unit the draws do not read
    if (on) {
        enables_[unit] |= 1u << k;
    } else {
        enables_[unit] &= ~(1u << k);
    }
}

bool FragmentModule::IsEnabled(GLenum cap, GLboolean* on) const {
    bool value;
    switch (cap) {
        case GL_REGISTER_COMBINERS_NV:
            value = state_.combiners.enabled;
            break;
        case GL_PER_STAGE_CONSTANTS_NV:
            value = state_.combiners.perStageConstants;
            break;
        case GL_TEXTURE_SHADER_NV:
            value = state_.textureShaders;
            break;
        case GL_FRAGMENT_PROGRAM_ARB:
            if (!installed_) return false;
            value = appProgramEnabled_;
            break;
        default:
            return false;
    }
    *on = value ? GL_TRUE : GL_FALSE;
    return true;
}

bool FragmentModule::GetIntegers(GLenum pname, GLint* out) const {
    switch (pname) {
        case GL_MAX_GENERAL_COMBINERS_NV:
            *out = kMaxGeneralCombiners;
            return true;
        case GL_NUM_GENERAL_COMBINERS_NV:
            *out = state_.combiners.generalCombiners;
            return true;
        case GL_COLOR_SUM_CLAMP_NV:
            *out = state_.combiners.colorSumClamp ? 1 : 0;
            return true;
        default:
            return false;
    }
}

int FragmentModule::GetFloats(GLenum pname, GLfloat* out) const {
    const Vec4* color = pname == GL_CONSTANT_COLOR0_NV   ? &state_.combiners.constant0
                        : pname == GL_CONSTANT_COLOR1_NV ? &state_.combiners.constant1
                                                         : nullptr;
    if (color == nullptr) return 0;
    std::copy(color->begin(), color->end(), out);
    return 4;
}

void FragmentModule::CombinerParameter(GLenum pname, const GLfloat* values, bool vector) {
    auto& c = state_.combiners;
    switch (pname) {
        case GL_CONSTANT_COLOR0_NV:
        case GL_CONSTANT_COLOR1_NV:
            if (!vector) return RaiseError(GL_INVALID_ENUM);
            (pname == GL_CONSTANT_COLOR0_NV ? c.constant0 : c.constant1) = Clamped(values);
            return;
        case GL_NUM_GENERAL_COMBINERS_NV: {
            const int n = int(values[0]);
            if (n < 1 || n > kMaxGeneralCombiners) return RaiseError(GL_INVALID_VALUE);
            c.generalCombiners = n;
            return;
        }
        case GL_COLOR_SUM_CLAMP_NV:
            c.colorSumClamp = values[0] != 0;
            return;
        default:
            RaiseError(GL_INVALID_ENUM);
    }
}

void FragmentModule::CombinerInput(GLenum stage, GLenum portion, GLenum variable, GLenum input,
                                   GLenum mapping, GLenum usage) {
    const int s = StageIndex(stage);
    const int v = int(variable) - int(GL_VARIABLE_A_NV);
    if (s < 0 || (portion != GL_RGB && portion != GL_ALPHA) || v < 0 || v > 3 ||
        !IsReadableRegister(input) || !IsMapping(mapping) ||
        (usage != GL_RGB && usage != GL_ALPHA && usage != GL_BLUE))
        return RaiseError(GL_INVALID_ENUM);
    if ((portion == GL_ALPHA && usage == GL_RGB) || (portion == GL_RGB && usage == GL_BLUE) ||
        (usage == GL_ALPHA && input == GL_FOG))
        return RaiseError(GL_INVALID_OPERATION);
    CombinerPortion& p =
        portion == GL_RGB ? state_.combiners.stages[s].rgb : state_.combiners.stages[s].alpha;
    p.inputs[v] = fragmentprogram::CombinerInput{input, mapping, usage};
}

void FragmentModule::CombinerOutput(GLenum stage, GLenum portion, GLenum abOutput, GLenum cdOutput,
                                    GLenum sumOutput, GLenum scale, GLenum bias, GLboolean abDot,
                                    GLboolean cdDot, GLboolean muxSum) {
    const int s = StageIndex(stage);
    const bool scaleKnown = scale == GL_NONE || scale == GL_SCALE_BY_TWO_NV ||
                            scale == GL_SCALE_BY_FOUR_NV || scale == GL_SCALE_BY_ONE_HALF_NV;
    if (s < 0 || (portion != GL_RGB && portion != GL_ALPHA) || !IsOutputRegister(abOutput) ||
        !IsOutputRegister(cdOutput) || !IsOutputRegister(sumOutput) || !scaleKnown ||
        (bias != GL_NONE && bias != GL_BIAS_BY_NEGATIVE_ONE_HALF_NV))
        return RaiseError(GL_INVALID_ENUM);
    if (portion == GL_ALPHA && (abDot || cdDot)) return RaiseError(GL_INVALID_VALUE);
    if (bias == GL_BIAS_BY_NEGATIVE_ONE_HALF_NV &&
        (scale == GL_SCALE_BY_ONE_HALF_NV || scale == GL_SCALE_BY_FOUR_NV))
        return RaiseError(GL_INVALID_OPERATION);
    auto clash = [](GLenum a, GLenum b) { return a != GL_DISCARD_NV && a == b; };
    if (clash(abOutput, cdOutput) || clash(abOutput, sumOutput) || clash(cdOutput, sumOutput))
        return RaiseError(GL_INVALID_OPERATION);
    CombinerPortion& p =
        portion == GL_RGB ? state_.combiners.stages[s].rgb : state_.combiners.stages[s].alpha;
    p.abOutput = abOutput;
    p.cdOutput = cdOutput;
    p.sumOutput = sumOutput;
    p.scale = scale;
    p.bias = bias;
    p.abDotProduct = abDot != GL_FALSE;
    p.cdDotProduct = cdDot != GL_FALSE;
    p.muxSum = muxSum != GL_FALSE;
}

void FragmentModule::FinalCombinerInput(GLenum variable, GLenum input, GLenum mapping,
                                        GLenum usage) {
    const int v = int(variable) - int(GL_VARIABLE_A_NV);
    const bool pseudo = input == GL_E_TIMES_F_NV || input == GL_SPARE0_PLUS_SECONDARY_COLOR_NV;
    if (v < 0 || v > 6 || (!IsReadableRegister(input) && !pseudo) ||
        (mapping != GL_UNSIGNED_IDENTITY_NV && mapping != GL_UNSIGNED_INVERT_NV) ||
        (usage != GL_RGB && usage != GL_ALPHA && usage != GL_BLUE))
        return RaiseError(GL_INVALID_ENUM);
    const bool efg = v >= fragmentprogram::kE;
    if ((efg && pseudo) ||
        (v == fragmentprogram::kA && input == GL_SPARE0_PLUS_SECONDARY_COLOR_NV) ||
        (v == fragmentprogram::kG && usage == GL_RGB) ||
        (v != fragmentprogram::kG && usage == GL_BLUE) || (pseudo && usage != GL_RGB))
        return RaiseError(GL_INVALID_OPERATION);
    state_.combiners.final.inputs[v] = fragmentprogram::CombinerInput{input, mapping, usage};
}

bool FragmentModule::GetInputParameter(const fragmentprogram::CombinerInput& in, GLenum pname,
                                       GLint* value) {
    switch (pname) {
        case GL_COMBINER_INPUT_NV:
            *value = GLint(in.input);
            return true;
        case GL_COMBINER_MAPPING_NV:
            *value = GLint(in.mapping);
            return true;
        case GL_COMBINER_COMPONENT_USAGE_NV:
            *value = GLint(in.usage);
            return true;
        default:
            RaiseError(GL_INVALID_ENUM);
            return false;
    }
}

bool FragmentModule::GetCombinerInput(GLenum stage, GLenum portion, GLenum variable, GLenum pname,
                                      GLint* value) {
    const int s = StageIndex(stage);
    const int v = int(variable) - int(GL_VARIABLE_A_NV);
    if (s < 0 || (portion != GL_RGB && portion != GL_ALPHA) || v < 0 || v > 3) {
        RaiseError(GL_INVALID_ENUM);
        return false;
    }
    const CombinerPortion& p =
        portion == GL_RGB ? state_.combiners.stages[s].rgb : state_.combiners.stages[s].alpha;
    return GetInputParameter(p.inputs[v], pname, value);
}

bool FragmentModule::GetCombinerOutput(GLenum stage, GLenum portion, GLenum pname, GLint* value) {
    const int s = StageIndex(stage);
    if (s < 0 || (portion != GL_RGB && portion != GL_ALPHA)) {
        RaiseError(GL_INVALID_ENUM);
        return false;
    }
    const CombinerPortion& p =
        portion == GL_RGB ? state_.combiners.stages[s].rgb : state_.combiners.stages[s].alpha;
    switch (pname) {
        case GL_COMBINER_AB_DOT_PRODUCT_NV:
            *value = p.abDotProduct;
            return true;
        case GL_COMBINER_CD_DOT_PRODUCT_NV:
            *value = p.cdDotProduct;
            return true;
        case GL_COMBINER_MUX_SUM_NV:
            *value = p.muxSum;
            return true;
        case GL_COMBINER_SCALE_NV:
            *value = GLint(p.scale);
            return true;
        case GL_COMBINER_BIAS_NV:
            *value = GLint(p.bias);
            return true;
        case GL_COMBINER_AB_OUTPUT_NV:
            *value = GLint(p.abOutput);
            return true;
        case GL_COMBINER_CD_OUTPUT_NV:
            *value = GLint(p.cdOutput);
            return true;
        case GL_COMBINER_SUM_OUTPUT_NV:
            *value = GLint(p.sumOutput);
            return true;
        default:
            RaiseError(GL_INVALID_ENUM);
            return false;
    }
}

bool FragmentModule::GetFinalCombinerInput(GLenum variable, GLenum pname, GLint* value) {
    const int v = int(variable) - int(GL_VARIABLE_A_NV);
    if (v < 0 || v > 6) {
        RaiseError(GL_INVALID_ENUM);
        return false;
    }
    return GetInputParameter(state_.combiners.final.inputs[v], pname, value);
}

void FragmentModule::CombinerStageParameter(GLenum stage, GLenum pname, const GLfloat* values) {
    const int s = StageIndex(stage);
    if (s < 0 || (pname != GL_CONSTANT_COLOR0_NV && pname != GL_CONSTANT_COLOR1_NV))
        return RaiseError(GL_INVALID_ENUM);
    auto& st = state_.combiners.stages[s];
    (pname == GL_CONSTANT_COLOR0_NV ? st.constant0 : st.constant1) = Clamped(values);
}

void FragmentModule::GetCombinerStageParameter(GLenum stage, GLenum pname, GLfloat* values) {
    const int s = StageIndex(stage);
    if (s < 0 || (pname != GL_CONSTANT_COLOR0_NV && pname != GL_CONSTANT_COLOR1_NV))
        return RaiseError(GL_INVALID_ENUM);
    const auto& st = state_.combiners.stages[s];
    const Vec4& c = pname == GL_CONSTANT_COLOR0_NV ? st.constant0 : st.constant1;
    std::copy(c.begin(), c.end(), values);
}

int FragmentModule::ActiveUnit() const {
    GLint active = GL_TEXTURE0;
    if (next_.glGetIntegerv) next_.glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    return std::max(0, std::min(int(active - GL_TEXTURE0), kMaxTextureUnits - 1));
}

bool FragmentModule::TexEnv(GLenum target, GLenum pname, const GLint* ints, const GLfloat* floats,
                            bool vector) {
    if (target != GL_TEXTURE_SHADER_NV) return false;
    // Held by display lists: the values copied, the unit the one active when the list runs.
    std::array<GLint, 4> i{};
    std::array<GLfloat, 4> f{};
    const int count = !vector                                                             ? 1
                      : pname == GL_CONST_EYE_NV                                          ? 3
                      : pname == GL_CULL_MODES_NV || pname == GL_OFFSET_TEXTURE_MATRIX_NV ? 4
                                                                                          : 1;
    if (ints != nullptr) std::copy(ints, ints + count, i.begin());
    if (floats != nullptr) std::copy(floats, floats + count, f.begin());
    const bool isInt = ints != nullptr;
    layer_.Listed<FragmentModule>([=](FragmentModule& m) {
        m.SetShaderParameter(pname, isInt ? i.data() : nullptr, isInt ? nullptr : f.data(), vector);
    });
    return true;
}

void FragmentModule::SetShaderParameter(GLenum pname, const GLint* ints, const GLfloat* floats,
                                        bool vector) {
    const int unit = ActiveUnit();
    fragmentprogram::TextureShaderStage& s = state_.units[unit].shader;
    auto value = [&](int i) { return ints != nullptr ? GLfloat(ints[i]) : floats[i]; };
    auto token = [&](int i) { return ints != nullptr ? GLenum(ints[i]) : GLenum(floats[i]); };
    switch (pname) {
        case GL_SHADER_OPERATION_NV: {
            const GLenum op = token(0);
            if (!IsOperation(op)) {
                RaiseError(GL_INVALID_ENUM);
            } else if (!AllowedOnUnit(op, unit, maxUnits_)) {
                RaiseError(GL_INVALID_OPERATION);
            } else {
                s.operation = op;
            }
            return;
        }
        case GL_CULL_MODES_NV: {
            if (!vector) {
                RaiseError(GL_INVALID_ENUM);
                return;
            }
            std::array<GLenum, 4> modes;
            for (int i = 0; i < 4; ++i) {
                modes[i] = token(i);
                if (modes[i] != GL_LESS && modes[i] != GL_GEQUAL) {
                    RaiseError(GL_INVALID_ENUM);
                    return;
                }
            }
            s.cullModes = modes;
            return;
        }
        case GL_RGBA_UNSIGNED_DOT_PRODUCT_MAPPING_NV: {
            const GLenum m = token(0);
            if (m != GL_UNSIGNED_IDENTITY_NV && m != GL_EXPAND_NORMAL_NV) {
                RaiseError(GL_INVALID_ENUM);
            } else {
                s.dotMapping = m;
            }
            return;
        }
        case GL_PREVIOUS_TEXTURE_INPUT_NV: {
            const int j = fragmentprogram::TextureRegisterUnit(token(0));
            if (j < 0) {
                RaiseError(GL_INVALID_ENUM);
            } else if (j >= unit) {
                RaiseError(GL_INVALID_OPERATION);
            } else {
                s.previousInput = token(0);
            }
            return;
        }
        case GL_OFFSET_TEXTURE_MATRIX_NV:
            if (!vector) {
                RaiseError(GL_INVALID_ENUM);
                return;
            }
            for (int i = 0; i < 4; ++i) s.offsetMatrix[i] = value(i);
            return;
        case GL_OFFSET_TEXTURE_SCALE_NV:
            s.offsetScale = value(0);
            return;
        case GL_OFFSET_TEXTURE_BIAS_NV:
            s.offsetBias = value(0);
            return;
        case GL_CONST_EYE_NV:
            if (!vector) {
                RaiseError(GL_INVALID_ENUM);
                return;
            }
            for (int i = 0; i < 3; ++i) s.constEye[i] = value(i);
            return;
        default:
            RaiseError(GL_INVALID_ENUM);
            return;
    }
}

bool FragmentModule::GetTexEnv(GLenum target, GLenum pname, GLint* ints, GLfloat* floats) {
    if (target != GL_TEXTURE_SHADER_NV) return false;
    const int unit = ActiveUnit();
    const fragmentprogram::TextureShaderStage& s = state_.units[unit].shader;
    GLfloat values[4] = {};
    int count = 1;
    switch (pname) {
        case GL_SHADER_OPERATION_NV:
            values[0] = GLfloat(s.operation);
            break;
        case GL_CULL_MODES_NV:
            for (int i = 0; i < 4; ++i) values[i] = GLfloat(s.cullModes[i]);
            count = 4;
            break;
        case GL_RGBA_UNSIGNED_DOT_PRODUCT_MAPPING_NV:
            values[0] = GLfloat(s.dotMapping);
            break;
        case GL_PREVIOUS_TEXTURE_INPUT_NV:
            values[0] = GLfloat(s.previousInput);
            break;
        case GL_OFFSET_TEXTURE_MATRIX_NV:
            for (int i = 0; i < 4; ++i) values[i] = s.offsetMatrix[i];
            count = 4;
            break;
        case GL_OFFSET_TEXTURE_SCALE_NV:
            values[0] = s.offsetScale;
            break;
        case GL_OFFSET_TEXTURE_BIAS_NV:
            values[0] = s.offsetBias;
            break;
        case GL_CONST_EYE_NV:
            for (int i = 0; i < 3; ++i) values[i] = s.constEye[i];
            count = 3;
            break;
        case GL_SHADER_CONSISTENT_NV:
            values[0] = fragmentprogram::ShaderConsistency(State())[unit] ? 1.0f : 0.0f;
            break;
        default:
            RaiseError(GL_INVALID_ENUM);
            return true;
    }
    for (int i = 0; i < count; ++i) {
        if (ints != nullptr) ints[i] = GLint(values[i]);
        if (floats != nullptr) floats[i] = values[i];
    }
    return true;
}

GLenum FragmentModule::BaseFromSizes(int unit, int k) {
    auto size = [&](GLenum pname) { return LevelParameter(unit, k, 0, pname) > 0; };
    if (size(GL_TEXTURE_INTENSITY_SIZE)) return GL_INTENSITY;
    const bool alpha = size(GL_TEXTURE_ALPHA_SIZE);
    if (size(GL_TEXTURE_LUMINANCE_SIZE)) return alpha ? GL_LUMINANCE_ALPHA : GL_LUMINANCE;
    // Red and red-green formats expand like RGB with the missing components 0.
    if (size(GL_TEXTURE_RED_SIZE)) return alpha ? GL_RGBA : GL_RGB;
    return alpha ? GL_ALPHA : GL_RGBA;
}

void FragmentModule::Select(int unit) {
    if (unit == selected_) return;
    if (next_.glActiveTexture) next_.glActiveTexture(GL_TEXTURE0 + unit);
    selected_ = unit;
}

GLint FragmentModule::LevelParameter(int unit, int k, GLint level, GLenum pname) {
    GLint value = 0;
    if (Direct(k)) {
        next_.glGetMultiTexLevelParameterivEXT(GL_TEXTURE0 + unit, kTargetTokens[k], level, pname,
                                               &value);
    } else if (next_.glGetTexLevelParameteriv) {
        Select(unit);
        const GLenum level0 =
            k == fragmentprogram::kCubeMap ? GL_TEXTURE_CUBE_MAP_POSITIVE_X : kTargetTokens[k];
        next_.glGetTexLevelParameteriv(level0, level, pname, &value);
    }
    return value;
}

void FragmentModule::ReadEnables() {
    for (int unit = 0; unit < maxUnits_; ++unit) {
        if (!directAccess_) Select(unit);
        enables_[unit] = 0;
        for (int k = 0; k < fragmentprogram::kTargetCount; ++k) {
            if (k == fragmentprogram::kRectangle && !rectangles_) continue;
            GLboolean on = GL_FALSE;
            if (directAccess_) {
                next_.glGetBooleanIndexedvEXT(kTargetTokens[k], GLuint(unit), &on);
            } else if (next_.glIsEnabled) {
                on = next_.glIsEnabled(kTargetTokens[k]);
            }
            if (on != GL_FALSE) enables_[unit] |= 1u << k;
        }
    }
    enablesKnown_ = true;
}

void FragmentModule::ReadUnit(int unit) {
    fragmentprogram::TextureUnit& t = state_.units[unit];
    // Conventional texturing: the enabled target of highest priority; texture shaders ignore it.
    t.enabledTarget = GL_NONE;
    static const int kPriority[] = {fragmentprogram::kCubeMap, fragmentprogram::k3D,
                                    fragmentprogram::kRectangle, fragmentprogram::k2D,
                                    fragmentprogram::k1D};
    if (!state_.textureShaders) {
        for (int k : kPriority) {
            if (enables_[unit] & (1u << k)) {
                t.enabledTarget = kTargetTokens[k];
                break;
            }
        }
    }
    GLint mode = GL_MODULATE;
    if (directAccess_) {
        next_.glGetMultiTexEnvivEXT(GL_TEXTURE0 + unit, GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    } else if (next_.glGetTexEnviv) {
        Select(unit);
        next_.glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    }
    t.envMode = GLenum(mode);
    // Only the target the unit samples is read: the operation's, or the enabled one.
    t.targets = {};
    const int k = state_.textureShaders ? fragmentprogram::OperationTarget(t.shader.operation)
                                        : fragmentprogram::TargetIndexOf(t.enabledTarget);
    if (k >= 0) t.targets[k] = ReadTexture(unit, k);
}

fragmentprogram::BoundTexture FragmentModule::ReadTexture(int unit, int k) {
    fragmentprogram::BoundTexture bound;
    const GLint width = LevelParameter(unit, k, 0, GL_TEXTURE_WIDTH);
    if (width <= 0) return bound;
    const GLint height = std::max(LevelParameter(unit, k, 0, GL_TEXTURE_HEIGHT), 1);
    const GLint depth = std::max(LevelParameter(unit, k, 0, GL_TEXTURE_DEPTH), 1);
    const GLint format = LevelParameter(unit, k, 0, GL_TEXTURE_INTERNAL_FORMAT);
    GLint minFilter = GL_LINEAR, name = 0;
    if (Direct(k)) {
        next_.glGetMultiTexParameterivEXT(GL_TEXTURE0 + unit, kTargetTokens[k],
                                          GL_TEXTURE_MIN_FILTER, &minFilter);
        next_.glGetIntegerIndexedvEXT(kTargetBindings[k], GLuint(unit), &name);
    } else {
        Select(unit);
        if (next_.glGetTexParameteriv)
            next_.glGetTexParameteriv(kTargetTokens[k], GL_TEXTURE_MIN_FILTER, &minFilter);
        if (next_.glGetIntegerv) next_.glGetIntegerv(kTargetBindings[k], &name);
    }
    bool complete = true;
    if (minFilter != GL_NEAREST && minFilter != GL_LINEAR) {
        // Mipmapped: the smallest level must be there.
        int levels = 0;
        for (int size = std::max({width, height, depth}); size > 1; size /= 2) ++levels;
        complete = LevelParameter(unit, k, levels, GL_TEXTURE_WIDTH) > 0;
    }
    bound.complete = complete;
    GLenum described = ConvertedFormat(layer_, kTargetTokens[k], GLuint(name));
    if (described == GL_NONE) described = GLenum(format);
    bound.format = fragmentprogram::DescribeInternalFormat(described);
    if (bound.format.base == GL_NONE) bound.format.base = BaseFromSizes(unit, k);
    return bound;
}

void FragmentModule::ReadTextureState() {
    GLint active = GL_TEXTURE0;
    if (next_.glGetIntegerv) next_.glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    selected_ = int(active) - int(GL_TEXTURE0);
    const int selected = selected_;
    // Texture shaders ignore the enables.
    if (!state_.textureShaders && !enablesKnown_) ReadEnables();
    for (int unit = 0; unit < maxUnits_; ++unit) ReadUnit(unit);
    if (selected_ != selected && next_.glActiveTexture) next_.glActiveTexture(GLenum(active));
    selected_ = -1;
    state_.colorSum = layer_.IsEnabled(GL_COLOR_SUM) != GL_FALSE;
    state_.fog = layer_.IsEnabled(GL_FOG) != GL_FALSE;
    GLint fogMode = GL_EXP;
    if (next_.glGetIntegerv) next_.glGetIntegerv(GL_FOG_MODE, &fogMode);
    state_.fogMode = GLenum(fogMode);
}

const FragmentState& FragmentModule::State() {
    ReadTextureState();
    return state_;
}

GLuint FragmentModule::Program() {
    const std::string key = fragmentprogram::ProgramKey(state_);
    const auto found = programs_.find(key);
    if (found != programs_.end()) return found->second;
    // Every text goes into a new object: the driver may still hold one it drew with.
    GLuint id = 0;
    if (next_.glGenProgramsARB) next_.glGenProgramsARB(1, &id);
    const std::string text = fragmentprogram::GenerateProgram(state_);
    if (next_.glBindProgramARB) next_.glBindProgramARB(GL_FRAGMENT_PROGRAM_ARB, id);
    if (next_.glProgramStringARB)
        next_.glProgramStringARB(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_FORMAT_ASCII_ARB,
                                 GLsizei(text.size()), text.data());
    programs_.emplace(key, id);
    return id;
}

bool FragmentModule::BeforeDraw() {
    if (!state_.combiners.enabled && !state_.textureShaders) {
        if (installed_) Uninstall();
        return true;
    }
    if (!installed_) {
        // The application's binding, put back when the extensions are switched off.
        appProgram_ = 0;
        if (next_.glGetProgramivARB)
            next_.glGetProgramivARB(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_BINDING_ARB, &appProgram_);
    }
    ReadTextureState();
    const GLuint id = Program();
    if (next_.glBindProgramARB) next_.glBindProgramARB(GL_FRAGMENT_PROGRAM_ARB, id);
    if (!installed_ && next_.glEnable) next_.glEnable(GL_FRAGMENT_PROGRAM_ARB);
    installed_ = true;
    std::vector<Vec4> locals = fragmentprogram::ProgramLocals(state_);
    if (id != lastProgram_ || locals != lastLocals_) {
        if (next_.glProgramLocalParameter4fvARB)
            for (size_t i = 0; i < locals.size(); ++i)
                next_.glProgramLocalParameter4fvARB(GL_FRAGMENT_PROGRAM_ARB, GLuint(i),
                                                    locals[i].data());
        lastProgram_ = id;
        lastLocals_ = std::move(locals);
    }
    return true;
}

void FragmentModule::Uninstall() {
    installed_ = false;
    if (next_.glBindProgramARB)
        next_.glBindProgramARB(GL_FRAGMENT_PROGRAM_ARB, GLuint(appProgram_));
    if (!appProgramEnabled_ && next_.glDisable) next_.glDisable(GL_FRAGMENT_PROGRAM_ARB);
}

void FragmentModule::ArbProgramBound(GLenum target) {
    // The application's own binding replaces the layer's; its enable is back in force.
    if (target != GL_FRAGMENT_PROGRAM_ARB || !installed_) return;
    installed_ = false;
    lastProgram_ = 0;
    if (!appProgramEnabled_ && next_.glDisable) next_.glDisable(GL_FRAGMENT_PROGRAM_ARB);
}

void FragmentModule::AttributesPushed(GLbitfield mask) {
    Saved saved;
    saved.mask = mask & (GL_TEXTURE_BIT | GL_ENABLE_BIT);
    if (saved.mask != 0) {
        saved.combiners = state_.combiners;
        for (int unit = 0; unit < kMaxTextureUnits; ++unit)
            saved.shaders[unit] = state_.units[unit].shader;
        saved.textureShaders = state_.textureShaders;
        saved.appProgramEnabled = appProgramEnabled_;
    }
    saved_.push_back(std::move(saved));
}

void FragmentModule::AttributesPopped() {
    enablesKnown_ = false;       // the driver restored the texture enables it saved
    if (saved_.empty()) return;  // pushed before the layer came: nothing of the module's
    const Saved saved = std::move(saved_.back());
    saved_.pop_back();
    auto& c = state_.combiners;
    if (saved.mask & GL_TEXTURE_BIT) {
        c = saved.combiners;
        for (int unit = 0; unit < kMaxTextureUnits; ++unit)
            state_.units[unit].shader = saved.shaders[unit];
    }
    if (saved.mask & (GL_TEXTURE_BIT | GL_ENABLE_BIT)) {
        c.enabled = saved.combiners.enabled;
        c.perStageConstants = saved.combiners.perStageConstants;
        state_.textureShaders = saved.textureShaders;
    }
    if (saved.mask & GL_ENABLE_BIT) {
        // The driver restored the enable it saved, the layer's or the application's, whatever
        // is installed now.
        appProgramEnabled_ = saved.appProgramEnabled;
        MatchDriverProgramEnable();
    }
}

void FragmentModule::MatchDriverProgramEnable() {
    if (!next_.glIsEnabled) return;
    const bool wanted = installed_ || appProgramEnabled_;
    if ((next_.glIsEnabled(GL_FRAGMENT_PROGRAM_ARB) != GL_FALSE) == wanted) return;
    if (wanted && next_.glEnable) next_.glEnable(GL_FRAGMENT_PROGRAM_ARB);
    if (!wanted && next_.glDisable) next_.glDisable(GL_FRAGMENT_PROGRAM_ARB);
}

}  // namespace legacygl
