#include "fragmentprogram/generator.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace fragmentprogram {

namespace {

// What a texture-shader stage hands to later stages through PREVIOUS_TEXTURE_INPUT_NV.
enum class Result : uint8_t {
    kInvalid,
    kUnsignedRgba,
    kSignedRgba,
    kMixedRgba,
    kUnsignedHilo,
    kSignedHilo,
    kOffset,     // ds, dt
    kOffsetMag,  // ds, dt, mag (and vib)
    kFloat,      // the dot product of DOT_PRODUCT_NV
};

bool IsOffsetFormat(GLenum base) {
    return base == GL_DSDT_NV || base == GL_DSDT_MAG_NV || base == GL_DSDT_MAG_INTENSITY_NV;
}

// Texture whose fetch yields a colour (format type RGBA).
bool IsColorFormat(GLenum base) { return base != GL_HILO_NV && !IsOffsetFormat(base); }

Result ResultOfFormat(const TextureFormat& format) {
    switch (format.base) {
        case GL_HILO_NV:
            return format.sign == Signedness::kSigned ? Result::kSignedHilo : Result::kUnsignedHilo;
        case GL_DSDT_NV:
            return Result::kOffset;
        case GL_DSDT_MAG_NV:
        case GL_DSDT_MAG_INTENSITY_NV:
            return Result::kOffsetMag;
        default:
            switch (format.sign) {
                case Signedness::kSigned:
                    return Result::kSignedRgba;
                case Signedness::kMixed:
                    return Result::kMixedRgba;
                default:
                    return Result::kUnsignedRgba;
            }
    }
}

bool IsOffsetOperation(GLenum op) {
    return op == GL_OFFSET_TEXTURE_2D_NV || op == GL_OFFSET_TEXTURE_2D_SCALE_NV ||
           op == GL_OFFSET_TEXTURE_RECTANGLE_NV || op == GL_OFFSET_TEXTURE_RECTANGLE_SCALE_NV;
}

bool IsScaledOffset(GLenum op) {
    return op == GL_OFFSET_TEXTURE_2D_SCALE_NV || op == GL_OFFSET_TEXTURE_RECTANGLE_SCALE_NV;
}

bool IsDependent(GLenum op) {
    return op == GL_DEPENDENT_AR_TEXTURE_2D_NV || op == GL_DEPENDENT_GB_TEXTURE_2D_NV;
}

bool IsReflect(GLenum op) {
    return op == GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV ||
           op == GL_DOT_PRODUCT_CONST_EYE_REFLECT_CUBE_MAP_NV;
}

// Every operation that computes a dot product of its coordinates with the previous input.
bool IsDotFamily(GLenum op) {
    switch (op) {
        case GL_DOT_PRODUCT_NV:
        case GL_DOT_PRODUCT_TEXTURE_2D_NV:
        case GL_DOT_PRODUCT_TEXTURE_RECTANGLE_NV:
        case GL_DOT_PRODUCT_TEXTURE_CUBE_MAP_NV:
        case GL_DOT_PRODUCT_TEXTURE_3D_NV:
        case GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV:
        case GL_DOT_PRODUCT_CONST_EYE_REFLECT_CUBE_MAP_NV:
        case GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV:
        case GL_DOT_PRODUCT_DEPTH_REPLACE_NV:
            return true;
        default:
            return false;
    }
}

// First unit an operation may occupy, and how many units it must leave after itself.
void UnitRange(GLenum op, int* first, int* tail) {
    *first = 0;
    *tail = 0;
    if (IsOffsetOperation(op) || IsDependent(op) || op == GL_DOT_PRODUCT_NV) *first = 1;
    if (op == GL_DOT_PRODUCT_TEXTURE_2D_NV || op == GL_DOT_PRODUCT_TEXTURE_RECTANGLE_NV ||
        op == GL_DOT_PRODUCT_DEPTH_REPLACE_NV || op == GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV) {
        *first = 2;
    }
    if (op == GL_DOT_PRODUCT_TEXTURE_CUBE_MAP_NV || op == GL_DOT_PRODUCT_TEXTURE_3D_NV ||
        IsReflect(op)) {
        *first = 3;
    }
    if (op == GL_DOT_PRODUCT_NV || op == GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV) *tail = 1;
}

bool KnownOperation(GLenum op) {
    return op == GL_NONE || op == GL_TEXTURE_1D || op == GL_TEXTURE_2D || op == GL_TEXTURE_3D ||
           op == GL_TEXTURE_CUBE_MAP || op == GL_TEXTURE_RECTANGLE_NV || op == GL_PASS_THROUGH_NV ||
           op == GL_CULL_FRAGMENT_NV || IsOffsetOperation(op) || IsDependent(op) || IsDotFamily(op);
}

// The static facts about each texture-shader stage that the program depends on.
struct StagePlan {
    GLenum op = GL_NONE;  // NONE when the stage is inconsistent
    bool consistent = true;
    Result result = Result::kInvalid;
    TextureFormat fetched;  // format of the sampled texture, when the operation samples one
    int previous = -1;      // unit of PREVIOUS_TEXTURE_INPUT_NV for operations that read it
};

using Plan = std::array<StagePlan, kMaxTextureUnits>;

int Units(const FragmentState& state) {
    return std::clamp(state.textureUnits, 1, kMaxTextureUnits);
}

// The requirements of stage i that do not involve the stages i-1 and i+1 as operations.
bool OwnRequirementsHold(const FragmentState& state, const Plan& plan, int i) {
    const int n = Units(state);
    const TextureUnit& unit = state.units[i];
    const GLenum op = unit.shader.operation;
    if (!KnownOperation(op)) return false;
    int first, tail;
    UnitRange(op, &first, &tail);
    if (i < first || i + tail > n - 1) return false;
    const int target = OperationTarget(op);
    if (target >= 0 && !unit.targets[target].complete) return false;
    if (IsScaledOffset(op)) {
        const TextureFormat& format = unit.targets[target].format;
        if (!IsColorFormat(format.base) || format.sign != Signedness::kUnsigned) return false;
    }
    if (!IsOffsetOperation(op) && !IsDependent(op) && !IsDotFamily(op)) return true;
    const int j = TextureRegisterUnit(unit.shader.previousInput);
    if (j < 0 || j >= i || !plan[j].consistent) return false;
    const Result prev = plan[j].result;
    if (IsOffsetOperation(op)) {
        const GLenum base = plan[j].fetched.base;
        if (prev != Result::kOffset && prev != Result::kOffsetMag) return false;
        return !IsScaledOffset(op) || base == GL_DSDT_MAG_NV || base == GL_DSDT_MAG_INTENSITY_NV;
    }
    if (IsDependent(op)) return prev == Result::kUnsignedRgba;
    if (IsReflect(op) && (j == i - 1 || j == i - 2)) return false;
    return prev == Result::kSignedHilo || prev == Result::kUnsignedHilo ||
           prev == Result::kSignedRgba || prev == Result::kUnsignedRgba;
}

bool IsConsistentDot(const Plan& plan, int i) {
    return i >= 0 && plan[i].consistent && plan[i].op == GL_DOT_PRODUCT_NV;
}

Plan MakePlan(const FragmentState& state) {
    Plan plan;
    if (!state.textureShaders) return plan;
    const int n = Units(state);
    bool depthReplaced = false;
    for (int i = 0; i < n; ++i) {
        const GLenum op = state.units[i].shader.operation;
        StagePlan& stage = plan[i];
        bool ok = OwnRequirementsHold(state, plan, i);
        switch (op) {
            case GL_DOT_PRODUCT_TEXTURE_2D_NV:
            case GL_DOT_PRODUCT_TEXTURE_RECTANGLE_NV:
                ok = ok && IsConsistentDot(plan, i - 1);
                break;
            case GL_DOT_PRODUCT_DEPTH_REPLACE_NV:
                ok = ok && IsConsistentDot(plan, i - 1) && !depthReplaced;
                depthReplaced = depthReplaced || ok;
                break;
            case GL_DOT_PRODUCT_TEXTURE_CUBE_MAP_NV:
            case GL_DOT_PRODUCT_TEXTURE_3D_NV:
                ok = ok && IsConsistentDot(plan, i - 1) && IsConsistentDot(plan, i - 2);
                break;
            case GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV:
                // Consistent together with the reflection after it, or neither is.
                ok = ok && IsConsistentDot(plan, i - 1) && i + 1 < n &&
                     IsReflect(state.units[i + 1].shader.operation) &&
                     OwnRequirementsHold(state, plan, i + 1);
                break;
            case GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV:
            case GL_DOT_PRODUCT_CONST_EYE_REFLECT_CUBE_MAP_NV: {
                const bool diffuse = i >= 1 &&
                                     plan[i - 1].op == GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV &&
                                     plan[i - 1].consistent;
                ok =
                    ok && IsConsistentDot(plan, i - 2) && (IsConsistentDot(plan, i - 1) || diffuse);
                break;
            }
            default:
                break;
        }
        stage.consistent = ok;
        stage.op = ok ? op : GL_NONE;
        const int target = OperationTarget(stage.op);
        if (target >= 0) stage.fetched = state.units[i].targets[target].format;
        if (IsOffsetOperation(stage.op) || IsDependent(stage.op) || IsDotFamily(stage.op)) {
            stage.previous = TextureRegisterUnit(state.units[i].shader.previousInput);
        }
        if (stage.op == GL_PASS_THROUGH_NV || IsScaledOffset(stage.op)) {
            stage.result = Result::kUnsignedRgba;
        } else if (stage.op == GL_DOT_PRODUCT_NV) {
            stage.result = Result::kFloat;
        } else if (target >= 0) {
            stage.result = ResultOfFormat(stage.fetched);
        }
    }
    return plan;
}

// Appends the program's lines; operands are written as text.
class Emitter {
  public:
    explicit Emitter(const FragmentState& state) : state_(state), plan_(MakePlan(state)) {}

    std::string Program() {
        body_ += "MOV pri, fragment.color.primary;\n";
        body_ += "MOV sec, fragment.color.secondary;\n";
        EmitFogFactor();
        if (state_.textureShaders) {
            for (int i = 0; i < Units(state_); ++i) EmitShaderStage(i);
        } else {
            for (int i = 0; i < Units(state_); ++i) EmitConventionalFetch(i);
        }
        if (state_.combiners.enabled) {
            EmitCombiners();
        } else {
            EmitEnvironment();
        }
        std::string text = "!!ARBfp1.0\nPARAM k = {0, 1, 2, 0.5};\nPARAM zero = {0, 0, 0, 0};\n";
        for (int i = 0; i < kLocalCount; ++i) {
            if (usedLocals_[i]) {
                text += "PARAM l" + std::to_string(i) + " = program.local[" + std::to_string(i) +
                        "];\n";
            }
        }
        text += "TEMP pri, sec, fogr, t, u, v";
        for (int i = 0; i < Units(state_); ++i) {
            text += ", tex" + std::to_string(i) + ", sr" + std::to_string(i) + ", dot" +
                    std::to_string(i);
        }
        text += ";\n";
        if (state_.combiners.enabled) {
            text +=
                "TEMP sp0, sp1, va, vb, vc, vd, ab, cd, sum, fe, ff, ef, ps, fa, fb, fc, fd, fg;\n";
        } else {
            text += "TEMP col;\n";
        }
        return text + body_ + "END\n";
    }

  private:
    void Line(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char buffer[256];
        va_list args;
        va_start(args, format);
        vsnprintf(buffer, sizeof buffer, format, args);
        va_end(args);
        body_ += buffer;
        body_ += '\n';
    }

    std::string Local(int index) {
        usedLocals_[index] = true;
        return "l" + std::to_string(index);
    }

    // fogr = (fog colour, fog factor), the factor 1 while fog is off.
    void EmitFogFactor() {
        Line("MOV fogr, state.fog.color;");
        if (!state_.fog) {
            Line("MOV fogr.w, k.y;");
            return;
        }
        switch (state_.fogMode) {
            case GL_LINEAR:
                Line("SUB t.x, state.fog.params.z, fragment.fogcoord.x;");
                Line("MUL_SAT fogr.w, t.x, state.fog.params.w;");
                break;
            case GL_EXP2:
                Line("MUL t.x, state.fog.params.x, fragment.fogcoord.x;");
                Line("MUL t.x, t.x, t.x;");
                Line("MUL t.x, t.x, 1.4426950408889634;");
                Line("EX2_SAT fogr.w, -t.x;");
                break;
            default:  // EXP
                Line("MUL t.x, state.fog.params.x, fragment.fogcoord.x;");
                Line("MUL t.x, t.x, 1.4426950408889634;");
                Line("EX2_SAT fogr.w, -t.x;");
                break;
        }
    }

    static const char* TargetName(int target) {
        static const char* const kNames[kTargetCount] = {"1D", "2D", "3D", "CUBE", "RECT"};
        return kNames[target];
    }

    // tex<i> from conventional texturing: the enabled target's texel as the combiners' texture
    // register takes it (HILO and offset textures give zero, DSDT_MAG_INTENSITY its intensity in
    // alpha; the texture environment reads that intensity as an INTENSITY texture).
    void EmitConventionalFetch(int i) {
        const TextureUnit& unit = state_.units[i];
        const int target = TargetIndexOf(unit.enabledTarget);
        if (target < 0 || !unit.targets[target].complete) {
            Line("MOV tex%d, zero;", i);
            return;
        }
        const GLenum base = unit.targets[target].format.base;
        const char* fetch = target == kCubeMap ? "TEX" : "TXP";
        if (IsColorFormat(base)) {
            Line("%s tex%d, fragment.texcoord[%d], texture[%d], %s;", fetch, i, i, i,
                 TargetName(target));
        } else if (base == GL_DSDT_MAG_INTENSITY_NV) {
            Line("%s sr%d, fragment.texcoord[%d], texture[%d], %s;", fetch, i, i, i,
                 TargetName(target));
            EmitIntensityOfOffsetTexel(i);
        } else {
            Line("MOV tex%d, zero;", i);
        }
    }

    void EmitIntensityOfOffsetTexel(int i) {
        if (state_.combiners.enabled) {
            Line("MOV tex%d, zero;", i);
            Line("MOV tex%d.w, sr%d.w;", i, i);
        } else {
            Line("MOV tex%d, sr%d.w;", i, i);
        }
    }

    // After a fetch into sr<i>: the unit's RGBA result in tex<i>. Colour texels expand as the
    // texture shaders define (an ALPHA texture reads (1, 1, 1, At)).
    void FinishFetch(int i) {
        const GLenum base = plan_[i].fetched.base;
        if (base == GL_ALPHA) Line("MOV sr%d.xyz, k.y;", i);
        if (IsColorFormat(base)) {
            Line("MOV tex%d, sr%d;", i, i);
        } else if (base == GL_DSDT_MAG_INTENSITY_NV) {
            EmitIntensityOfOffsetTexel(i);
        } else {
            Line("MOV tex%d, zero;", i);
        }
    }

    // dot<i>.x = this stage's coordinates dotted with its previous input, mapped by its type.
    void EmitDot(int i) {
        if (dotDone_[i]) return;
        dotDone_[i] = true;
        const StagePlan& stage = plan_[i];
        const int j = stage.previous;
        switch (plan_[j].result) {
            case Result::kUnsignedHilo:
                Line("DP3 dot%d.x, fragment.texcoord[%d], sr%d.xyww;", i, i, j);
                break;
            case Result::kSignedHilo:
                Line("MUL t.x, sr%d.x, sr%d.x;", j, j);
                Line("MAD t.x, sr%d.y, sr%d.y, t.x;", j, j);
                Line("SUB t.x, k.y, t.x;");
                Line("MAX t.x, t.x, k.x;");
                Line("RSQ t.y, t.x;");
                Line("RCP t.z, t.y;");
                Line("MOV t.xy, sr%d;", j);
                Line("DP3 dot%d.x, fragment.texcoord[%d], t;", i, i);
                break;
            default:
                if (plan_[j].result == Result::kUnsignedRgba &&
                    state_.units[i].shader.dotMapping == GL_EXPAND_NORMAL_NV) {
                    Line("MAD t, sr%d, k.z, -k.y;", j);
                    Line("DP3 dot%d.x, fragment.texcoord[%d], t;", i, i);
                } else {
                    Line("DP3 dot%d.x, fragment.texcoord[%d], sr%d;", i, i, j);
                }
                break;
        }
    }

    // A cube map lookup along R = 2 (N.E) / (N.N) N - E, N in t, E in u.
    void EmitReflectLookup(int i) {
        Line("DP3 v.x, t, u;");
        Line("DP3 v.y, t, t;");
        Line("RCP v.y, v.y;");
        Line("MUL v.x, v.x, v.y;");
        Line("MUL v.x, v.x, k.z;");
        Line("MAD t, v.x, t, -u;");
        Line("TEX sr%d, t, texture[%d], CUBE;", i, i);
    }

    void EmitShaderStage(int i) {
        const StagePlan& stage = plan_[i];
        const TextureShaderStage& shader = state_.units[i].shader;
        const int target = OperationTarget(stage.op);
        Line("# texture shader %d", i);
        switch (stage.op) {
            case GL_TEXTURE_1D:
            case GL_TEXTURE_2D:
            case GL_TEXTURE_3D:
            case GL_TEXTURE_RECTANGLE_NV:
                Line("TXP sr%d, fragment.texcoord[%d], texture[%d], %s;", i, i, i,
                     TargetName(target));
                FinishFetch(i);
                return;
            case GL_TEXTURE_CUBE_MAP:
                Line("TEX sr%d, fragment.texcoord[%d], texture[%d], CUBE;", i, i, i);
                FinishFetch(i);
                return;
            case GL_PASS_THROUGH_NV:
                Line("MOV_SAT sr%d, fragment.texcoord[%d];", i, i);
                Line("MOV tex%d, sr%d;", i, i);
                return;
            case GL_CULL_FRAGMENT_NV: {
                // KIL discards on a negative component: GEQUAL fails below zero as it is, LESS
                // fails at or above zero, so its components become -1 there.
                std::string less;
                for (int c = 0; c < 4; ++c) {
                    if (shader.cullModes[c] == GL_LESS) less += "xyzw"[c];
                }
                Line("MOV t, fragment.texcoord[%d];", i);
                if (!less.empty()) {
                    Line("CMP t.%s, fragment.texcoord[%d], k.x, -k.y;", less.c_str(), i);
                }
                Line("KIL t;");
                Line("MOV tex%d, zero;", i);
                return;
            }
            case GL_OFFSET_TEXTURE_2D_NV:
            case GL_OFFSET_TEXTURE_2D_SCALE_NV:
            case GL_OFFSET_TEXTURE_RECTANGLE_NV:
            case GL_OFFSET_TEXTURE_RECTANGLE_SCALE_NV: {
                const int j = stage.previous;
                const std::string m = Local(OffsetMatrixLocal(i));
                Line("MAD t.xy, %s.xyxx, sr%d.x, fragment.texcoord[%d];", m.c_str(), j, i);
                Line("MAD t.xy, %s.zwzz, sr%d.y, t;", m.c_str(), j);
                Line("TEX sr%d, t, texture[%d], %s;", i, i, TargetName(target));
                FinishFetch(i);
                if (IsScaledOffset(stage.op)) {
                    const std::string sb = Local(OffsetScaleBiasLocal(i));
                    Line("MAD_SAT t.x, %s.x, sr%d.z, %s.y;", sb.c_str(), j, sb.c_str());
                    Line("MUL tex%d.xyz, sr%d, t.x;", i, i);
                }
                return;
            }
            case GL_DEPENDENT_AR_TEXTURE_2D_NV:
            case GL_DEPENDENT_GB_TEXTURE_2D_NV:
                Line("MOV t, sr%d.%s;", stage.previous,
                     stage.op == GL_DEPENDENT_AR_TEXTURE_2D_NV ? "wxxx" : "yzzz");
                Line("TEX sr%d, t, texture[%d], 2D;", i, i);
                FinishFetch(i);
                return;
            case GL_DOT_PRODUCT_NV:
                EmitDot(i);
                Line("MOV tex%d, zero;", i);
                return;
            case GL_DOT_PRODUCT_TEXTURE_2D_NV:
            case GL_DOT_PRODUCT_TEXTURE_RECTANGLE_NV:
                EmitDot(i);
                Line("MOV t, zero;");
                Line("MOV t.x, dot%d.x;", i - 1);
                Line("MOV t.y, dot%d.x;", i);
                Line("TEX sr%d, t, texture[%d], %s;", i, i, TargetName(target));
                FinishFetch(i);
                return;
            case GL_DOT_PRODUCT_TEXTURE_CUBE_MAP_NV:
            case GL_DOT_PRODUCT_TEXTURE_3D_NV:
                EmitDot(i);
                EmitNormal(i - 2);
                Line("TEX sr%d, t, texture[%d], %s;", i, i, TargetName(target));
                FinishFetch(i);
                return;
            case GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV:
                EmitDot(i);
                EmitDot(i + 1);  // the reflection stage's dot product completes the normal
                EmitNormal(i - 1);
                Line("TEX sr%d, t, texture[%d], CUBE;", i, i);
                FinishFetch(i);
                return;
            case GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV:
                EmitDot(i);
                Line("MOV u.x, fragment.texcoord[%d].w;", i - 2);
                Line("MOV u.y, fragment.texcoord[%d].w;", i - 1);
                Line("MOV u.z, fragment.texcoord[%d].w;", i);
                EmitNormal(i - 2);
                EmitReflectLookup(i);
                FinishFetch(i);
                return;
            case GL_DOT_PRODUCT_CONST_EYE_REFLECT_CUBE_MAP_NV:
                EmitDot(i);
                Line("MOV u, %s;", Local(ConstEyeLocal(i)).c_str());
                EmitNormal(i - 2);
                EmitReflectLookup(i);
                FinishFetch(i);
                return;
            case GL_DOT_PRODUCT_DEPTH_REPLACE_NV:
                // The new depth must lie within the depth range, else the fragment is rejected.
                EmitDot(i);
                Line("RCP t.x, dot%d.x;", i);
                Line("MUL t.x, dot%d.x, t.x;", i - 1);
                Line("SUB u.x, t.x, state.depth.range.x;");
                Line("SUB u.y, state.depth.range.y, t.x;");
                Line("KIL u.xyyy;");
                Line("MOV result.depth.z, t.x;");
                Line("MOV tex%d, zero;", i);
                return;
            default:
                Line("MOV tex%d, zero;", i);
                return;
        }
    }

    // t = (dot<first>, dot<first+1>, dot<first+2>, 0).
    void EmitNormal(int first) {
        Line("MOV t, zero;");
        Line("MOV t.x, dot%d.x;", first);
        Line("MOV t.y, dot%d.x;", first + 1);
        Line("MOV t.z, dot%d.x;", first + 2);
    }

    // ---- Register combiners ----

    std::string Register(GLenum token, int stage) {
        switch (token) {
            case GL_CONSTANT_COLOR0_NV:
                return Local(stage < 0 ? kGlobalConstantLocal : StageConstantLocal(stage));
            case GL_CONSTANT_COLOR1_NV:
                return Local(stage < 0 ? kGlobalConstantLocal + 1 : StageConstantLocal(stage) + 1);
            case GL_FOG:
                return "fogr";
            case GL_PRIMARY_COLOR_NV:
                return "pri";
            case GL_SECONDARY_COLOR_NV:
                return "sec";
            case GL_SPARE0_NV:
                return "sp0";
            case GL_SPARE1_NV:
                return "sp1";
            case GL_E_TIMES_F_NV:
                return "ef";
            case GL_SPARE0_PLUS_SECONDARY_COLOR_NV:
                return "ps";
            default: {
                const int unit = TextureRegisterUnit(token);
                return unit >= 0 && unit < Units(state_) ? "tex" + std::to_string(unit) : "zero";
            }
        }
    }

    // dst.<mask> = mapping(register.<swizzle>).
    void EmitMapped(const std::string& dst, const char* mask, const std::string& reg,
                    const char* swizzle, GLenum mapping) {
        const char* d = dst.c_str();
        const char* r = reg.c_str();
        switch (mapping) {
            case GL_UNSIGNED_INVERT_NV:
                Line("MOV_SAT %s.%s, %s.%s;", d, mask, r, swizzle);
                Line("SUB %s.%s, k.y, %s;", d, mask, d);
                break;
            case GL_EXPAND_NORMAL_NV:
                Line("MAX %s.%s, %s.%s, k.x;", d, mask, r, swizzle);
                Line("MAD %s.%s, %s, k.z, -k.y;", d, mask, d);
                break;
            case GL_EXPAND_NEGATE_NV:
                Line("MAX %s.%s, %s.%s, k.x;", d, mask, r, swizzle);
                Line("MAD %s.%s, %s, -k.z, k.y;", d, mask, d);
                break;
            case GL_HALF_BIAS_NORMAL_NV:
                Line("MAX %s.%s, %s.%s, k.x;", d, mask, r, swizzle);
                Line("SUB %s.%s, %s, k.w;", d, mask, d);
                break;
            case GL_HALF_BIAS_NEGATE_NV:
                Line("MAX %s.%s, %s.%s, k.x;", d, mask, r, swizzle);
                Line("SUB %s.%s, k.w, %s;", d, mask, d);
                break;
            case GL_SIGNED_IDENTITY_NV:
                Line("MOV %s.%s, %s.%s;", d, mask, r, swizzle);
                break;
            case GL_SIGNED_NEGATE_NV:
                Line("MOV %s.%s, -%s.%s;", d, mask, r, swizzle);
                break;
            default:  // UNSIGNED_IDENTITY_NV
                Line("MAX %s.%s, %s.%s, k.x;", d, mask, r, swizzle);
                break;
        }
    }

    // Variables of both portions share one temporary: RGB in xyz, alpha in w.
    void EmitVariable(const std::string& dst, const CombinerInput& rgb, const CombinerInput& alpha,
                      int stage, bool rgbUsed, bool alphaUsed) {
        if (rgbUsed) {
            EmitMapped(dst, "xyz", Register(rgb.input, stage),
                       rgb.usage == GL_ALPHA ? "wwww" : "xyzz", rgb.mapping);
        }
        if (alphaUsed) {
            EmitMapped(dst, "w", Register(alpha.input, stage), alpha.usage == GL_BLUE ? "z" : "w",
                       alpha.mapping);
        }
    }

    static float ScaleOf(GLenum scale) {
        switch (scale) {
            case GL_SCALE_BY_TWO_NV:
                return 2.0f;
            case GL_SCALE_BY_FOUR_NV:
                return 4.0f;
            case GL_SCALE_BY_ONE_HALF_NV:
                return 0.5f;
            default:
                return 1.0f;
        }
    }

    static float BiasOf(GLenum bias) { return bias == GL_BIAS_BY_NEGATIVE_ONE_HALF_NV ? -0.5f : 0; }

    // The temporary a general-combiner output writes, "" for DISCARD and read-only registers.
    std::string OutputRegister(GLenum output) {
        const std::string reg = Register(output, 0);
        const bool writable = reg == "pri" || reg == "sec" || reg == "sp0" || reg == "sp1" ||
                              reg.compare(0, 3, "tex") == 0;
        return writable ? reg : "";
    }

    // Write mask of the components a value needs ("" for none).
    static std::string Mask(bool rgb, bool alpha) {
        return std::string(rgb ? "xyz" : "") + (alpha ? "w" : "");
    }

    // Only what some output writes is computed: products feed their own output or the sum.
    void EmitGeneralCombiner(int s) {
        const GeneralCombiner& stage = state_.combiners.stages[s];
        const CombinerPortion& rgb = stage.rgb;
        const CombinerPortion& alpha = stage.alpha;
        Line("# general combiner %d", s);
        const std::string out[2][3] = {
            {OutputRegister(rgb.abOutput), OutputRegister(rgb.cdOutput),
             OutputRegister(rgb.sumOutput)},
            {OutputRegister(alpha.abOutput), OutputRegister(alpha.cdOutput),
             OutputRegister(alpha.sumOutput)}};
        bool needAb[2], needCd[2];
        for (int p = 0; p < 2; ++p) {
            needAb[p] = !out[p][0].empty() || !out[p][2].empty();
            needCd[p] = !out[p][1].empty() || !out[p][2].empty();
        }
        EmitVariable("va", rgb.inputs[kA], alpha.inputs[kA], s, needAb[0], needAb[1]);
        EmitVariable("vb", rgb.inputs[kB], alpha.inputs[kB], s, needAb[0], needAb[1]);
        EmitVariable("vc", rgb.inputs[kC], alpha.inputs[kC], s, needCd[0], needCd[1]);
        EmitVariable("vd", rgb.inputs[kD], alpha.inputs[kD], s, needCd[0], needCd[1]);
        if (needAb[0]) Line("%s ab.xyz, va, vb;", rgb.abDotProduct ? "DP3" : "MUL");
        if (needAb[1]) Line("MUL ab.w, va, vb;");
        if (needCd[0]) Line("%s cd.xyz, vc, vd;", rgb.cdDotProduct ? "DP3" : "MUL");
        if (needCd[1]) Line("MUL cd.w, vc, vd;");
        // The sum (or mux) combines what the AB and CD slots produced, dot products included.
        // The mux reads spare0 alpha from before this stage: AB below one half, else CD.
        const bool sumRgb = !out[0][2].empty(), sumAlpha = !out[1][2].empty();
        if ((sumRgb && rgb.muxSum) || (sumAlpha && alpha.muxSum)) Line("SUB t.x, sp0.w, k.w;");
        if (sumRgb) Line(rgb.muxSum ? "CMP sum.xyz, t.x, ab, cd;" : "ADD sum.xyz, ab, cd;");
        if (sumAlpha) Line(alpha.muxSum ? "CMP sum.w, t.x, ab, cd;" : "ADD sum.w, ab, cd;");
        const float biasRgb = BiasOf(rgb.bias), biasAlpha = BiasOf(alpha.bias);
        const float scaleRgb = ScaleOf(rgb.scale), scaleAlpha = ScaleOf(alpha.scale);
        const char* values[3] = {"ab", "cd", "sum"};
        for (int o = 0; o < 3; ++o) {
            const bool toRgb = !out[0][o].empty(), toAlpha = !out[1][o].empty();
            const std::string mask = Mask(toRgb, toAlpha);
            if (mask.empty()) continue;
            const char* v = values[o];
            const char* m = mask.c_str();
            if ((toRgb && biasRgb != 0) || (toAlpha && biasAlpha != 0)) {
                Line("ADD %s.%s, %s, {%g, %g, %g, %g};", v, m, v, biasRgb, biasRgb, biasRgb,
                     biasAlpha);
            }
            if ((toRgb && scaleRgb != 1) || (toAlpha && scaleAlpha != 1)) {
                Line("MUL %s.%s, %s, {%g, %g, %g, %g};", v, m, v, scaleRgb, scaleRgb, scaleRgb,
                     scaleAlpha);
            }
            Line("MAX %s.%s, %s, -k.y;", v, m, v);
            Line("MIN %s.%s, %s, k.y;", v, m, v);
        }
        for (int o = 0; o < 3; ++o) {
            if (!out[0][o].empty()) Line("MOV %s.xyz, %s;", out[0][o].c_str(), values[o]);
            if (!out[1][o].empty()) Line("MOV %s.w, %s;", out[1][o].c_str(), values[o]);
        }
    }

    void EmitCombiners() {
        const CombinerState& combiners = state_.combiners;
        // Undefined register contents start at zero; spare0 alpha is texture 0's alpha.
        Line("MOV sp0, zero;");
        Line("MOV sp0.w, tex0.w;");
        Line("MOV sp1, zero;");
        const int stages = std::clamp(combiners.generalCombiners, 1, kMaxGeneralCombiners);
        for (int s = 0; s < stages; ++s) EmitGeneralCombiner(s);

        Line("# final combiner");
        const auto& in = combiners.final.inputs;
        auto variable = [&](const char* dst, const CombinerInput& input) {
            EmitMapped(dst, "xyz", Register(input.input, -1),
                       input.usage == GL_ALPHA ? "wwww" : "xyzz", input.mapping);
        };
        auto reads = [&](GLenum pseudo) {
            return in[kA].input == pseudo || in[kB].input == pseudo || in[kC].input == pseudo ||
                   in[kD].input == pseudo;
        };
        if (reads(GL_E_TIMES_F_NV)) {
            variable("fe", in[kE]);
            variable("ff", in[kF]);
            Line("MUL ef, fe, ff;");
            Line("MOV ef.w, k.x;");
        }
        if (reads(GL_SPARE0_PLUS_SECONDARY_COLOR_NV)) {
            Line("MAX t, sp0, k.x;");
            Line("MAX u, sec, k.x;");
            Line("%s ps, t, u;", combiners.colorSumClamp ? "ADD_SAT" : "ADD");
            Line("MOV ps.w, k.x;");
        }
        variable("fa", in[kA]);
        variable("fb", in[kB]);
        variable("fc", in[kC]);
        variable("fd", in[kD]);
        EmitMapped("fg", "w", Register(in[kG].input, -1), in[kG].usage == GL_BLUE ? "z" : "w",
                   in[kG].mapping);
        Line("LRP t.xyz, fa, fb, fc;");
        Line("ADD t.xyz, t, fd;");
        Line("MIN t.xyz, t, k.y;");
        Line("MOV t.w, fg.w;");
        Line("MOV result.color, t;");
    }

    // ---- Conventional texture environment, colour sum and fog ----

    // Base format whose texture function applies to unit i, NONE for the pass-through function.
    GLenum FunctionFormat(int i) const {
        GLenum base;
        if (state_.textureShaders) {
            const GLenum op = plan_[i].op;
            if (op == GL_PASS_THROUGH_NV) return GL_RGBA;
            if (OperationTarget(op) < 0) return GL_NONE;
            base = plan_[i].fetched.base;
        } else {
            const TextureUnit& unit = state_.units[i];
            const int target = TargetIndexOf(unit.enabledTarget);
            if (target < 0 || !unit.targets[target].complete) return GL_NONE;
            base = unit.targets[target].format.base;
        }
        if (base == GL_DSDT_MAG_INTENSITY_NV) return GL_INTENSITY;
        return IsColorFormat(base) ? base : GL_NONE;
    }

    void EmitTextureFunction(int i) {
        const GLenum base = FunctionFormat(i);
        const GLenum mode = state_.units[i].envMode;
        if (base == GL_NONE || mode == GL_NONE) return;
        const bool colorFromTexture = base != GL_ALPHA;
        const bool alphaFromTexture = base != GL_LUMINANCE && base != GL_RGB;
        Line("# texture environment %d", i);
        switch (mode) {
            case GL_REPLACE:
                if (colorFromTexture) Line("MOV col.xyz, tex%d;", i);
                if (alphaFromTexture) Line("MOV col.w, tex%d.w;", i);
                break;
            case GL_DECAL:
                if (base == GL_RGB) {
                    Line("MOV col.xyz, tex%d;", i);
                } else if (base == GL_RGBA) {
                    Line("MAX t.x, tex%d.w, k.x;", i);
                    Line("LRP col.xyz, t.x, tex%d, col;", i);
                }
                break;
            case GL_BLEND:
                if (colorFromTexture) {
                    Line("MAX t, tex%d, k.x;", i);
                    Line("LRP col.xyz, t, state.texenv[%d].color, col;", i);
                }
                if (base == GL_INTENSITY) {
                    Line("LRP col.w, t.w, state.texenv[%d].color, col;", i);
                } else if (alphaFromTexture) {
                    Line("MUL col.w, col, tex%d;", i);
                }
                break;
            case GL_ADD:
                if (colorFromTexture) {
                    Line("ADD col.xyz, col, tex%d;", i);
                    Line("MAX col.xyz, col, -k.y;");
                    Line("MIN col.xyz, col, k.y;");
                }
                if (base == GL_INTENSITY) {
                    Line("ADD col.w, col, tex%d;", i);
                    Line("MAX col.w, col, -k.y;");
                    Line("MIN col.w, col, k.y;");
                } else if (alphaFromTexture) {
                    Line("MUL col.w, col, tex%d;", i);
                }
                break;
            default:  // MODULATE
                if (colorFromTexture) Line("MUL col.xyz, col, tex%d;", i);
                if (alphaFromTexture) Line("MUL col.w, col, tex%d;", i);
                break;
        }
    }

    void EmitEnvironment() {
        Line("MOV col, pri;");
        for (int i = 0; i < Units(state_); ++i) EmitTextureFunction(i);
        if (state_.colorSum) {
            // Both colours are clamped before the sum (texture results may be negative).
            Line("MOV_SAT t, col;");
            Line("MOV_SAT u, sec;");
            Line("ADD_SAT col.xyz, t, u;");
        }
        if (state_.fog) Line("LRP col.xyz, fogr.w, col, fogr;");
        Line("MOV_SAT result.color, col;");
    }

    const FragmentState& state_;
    const Plan plan_;
    std::string body_;
    std::array<bool, kLocalCount> usedLocals_{};
    std::array<bool, kMaxTextureUnits> dotDone_{};
};

void Put(std::string& key, uint32_t value) { key.append(reinterpret_cast<const char*>(&value), 4); }

void PutInput(std::string& key, const CombinerInput& input) {
    Put(key, input.input);
    Put(key, input.mapping);
    Put(key, input.usage);
}

void PutPortion(std::string& key, const CombinerPortion& p) {
    for (const CombinerInput& input : p.inputs) PutInput(key, input);
    for (GLenum value : {p.abOutput, p.cdOutput, p.sumOutput, p.scale, p.bias}) Put(key, value);
    Put(key, p.abDotProduct | p.cdDotProduct << 1 | p.muxSum << 2);
}

}  // namespace

std::array<bool, kMaxTextureUnits> ShaderConsistency(const FragmentState& state) {
    FragmentState on = state;
    on.textureShaders = true;
    const Plan plan = MakePlan(on);
    std::array<bool, kMaxTextureUnits> result;
    for (int i = 0; i < kMaxTextureUnits; ++i) result[i] = plan[i].consistent;
    return result;
}

std::string ProgramKey(const FragmentState& state) {
    std::string key;
    const CombinerState& c = state.combiners;
    Put(key, c.enabled | state.textureShaders << 1 | state.colorSum << 2 | state.fog << 3 |
                 c.colorSumClamp << 4);
    Put(key, state.fogMode);
    Put(key, Units(state));
    if (c.enabled) {
        const int stages = std::clamp(c.generalCombiners, 1, kMaxGeneralCombiners);
        Put(key, stages);
        for (int s = 0; s < stages; ++s) {
            PutPortion(key, c.stages[s].rgb);
            PutPortion(key, c.stages[s].alpha);
        }
        for (const CombinerInput& input : c.final.inputs) PutInput(key, input);
    }
    for (int i = 0; i < Units(state); ++i) {
        const TextureUnit& unit = state.units[i];
        for (const BoundTexture& target : unit.targets) {
            Put(key, target.complete | uint32_t(target.format.sign) << 1);
            Put(key, target.format.base);
        }
        Put(key, unit.enabledTarget);
        Put(key, unit.envMode);
        const TextureShaderStage& shader = unit.shader;
        Put(key, shader.operation);
        for (GLenum mode : shader.cullModes) Put(key, mode);
        Put(key, shader.dotMapping);
        Put(key, shader.previousInput);
    }
    return key;
}

std::vector<Vec4> ProgramLocals(const FragmentState& state) {
    std::vector<Vec4> locals(kLocalCount, Vec4{0, 0, 0, 0});
    const CombinerState& c = state.combiners;
    locals[kGlobalConstantLocal] = c.constant0;
    locals[kGlobalConstantLocal + 1] = c.constant1;
    for (int s = 0; s < kMaxGeneralCombiners; ++s) {
        locals[StageConstantLocal(s)] = c.perStageConstants ? c.stages[s].constant0 : c.constant0;
        locals[StageConstantLocal(s) + 1] =
            c.perStageConstants ? c.stages[s].constant1 : c.constant1;
    }
    for (int u = 0; u < kMaxTextureUnits; ++u) {
        const TextureShaderStage& shader = state.units[u].shader;
        locals[OffsetMatrixLocal(u)] = shader.offsetMatrix;
        locals[OffsetScaleBiasLocal(u)] = {shader.offsetScale, shader.offsetBias, 0, 0};
        locals[ConstEyeLocal(u)] = {shader.constEye[0], shader.constEye[1], shader.constEye[2], 0};
    }
    return locals;
}

std::string GenerateProgram(const FragmentState& state) { return Emitter(state).Program(); }

}  // namespace fragmentprogram
