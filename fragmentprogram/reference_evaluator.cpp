#include "fragmentprogram/reference_evaluator.h"

#include <algorithm>
#include <cmath>

namespace fragmentprogram {

namespace {

float Clamp(float x, float lo, float hi) { return std::min(std::max(x, lo), hi); }
float Clamp01(float x) { return Clamp(x, 0.0f, 1.0f); }

// ---- Texture shaders ----

enum class Kind {
    kNothing,  // invalid shader result
    kUnsignedRgba,
    kSignedRgba,
    kMixedRgba,
    kUnsignedHilo,
    kSignedHilo,
    kDsdt,
    kDsdtMag,
    kDsdtMagIntensity,
    kDot,
};

struct OperationInfo {
    GLenum op;
    int target;     // sampled target, -1 for none
    int firstUnit;  // lowest unit allowed
    bool notLast;   // not allowed on the last unit
};

const OperationInfo kOperations[] = {
    {GL_NONE, -1, 0, false},
    {GL_TEXTURE_1D, k1D, 0, false},
    {GL_TEXTURE_2D, k2D, 0, false},
    {GL_TEXTURE_RECTANGLE_NV, kRectangle, 0, false},
    {GL_TEXTURE_CUBE_MAP, kCubeMap, 0, false},
    {GL_TEXTURE_3D, k3D, 0, false},
    {GL_PASS_THROUGH_NV, -1, 0, false},
    {GL_CULL_FRAGMENT_NV, -1, 0, false},
    {GL_OFFSET_TEXTURE_2D_NV, k2D, 1, false},
    {GL_OFFSET_TEXTURE_2D_SCALE_NV, k2D, 1, false},
    {GL_OFFSET_TEXTURE_RECTANGLE_NV, kRectangle, 1, false},
    {GL_OFFSET_TEXTURE_RECTANGLE_SCALE_NV, kRectangle, 1, false},
    {GL_DEPENDENT_AR_TEXTURE_2D_NV, k2D, 1, false},
    {GL_DEPENDENT_GB_TEXTURE_2D_NV, k2D, 1, false},
    {GL_DOT_PRODUCT_NV, -1, 1, true},
    {GL_DOT_PRODUCT_TEXTURE_2D_NV, k2D, 2, false},
    {GL_DOT_PRODUCT_TEXTURE_RECTANGLE_NV, kRectangle, 2, false},
    {GL_DOT_PRODUCT_TEXTURE_CUBE_MAP_NV, kCubeMap, 3, false},
    {GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV, kCubeMap, 3, false},
    {GL_DOT_PRODUCT_CONST_EYE_REFLECT_CUBE_MAP_NV, kCubeMap, 3, false},
    {GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV, kCubeMap, 2, true},
    {GL_DOT_PRODUCT_DEPTH_REPLACE_NV, -1, 2, false},
    {GL_DOT_PRODUCT_TEXTURE_3D_NV, k3D, 3, false},
};

const OperationInfo* Info(GLenum op) {
    for (const OperationInfo& info : kOperations) {
        if (info.op == op) return &info;
    }
    return nullptr;
}

Kind KindOfTexture(const TextureFormat& f) {
    if (f.base == GL_HILO_NV)
        return f.sign == Signedness::kSigned ? Kind::kSignedHilo : Kind::kUnsignedHilo;
    if (f.base == GL_DSDT_NV) return Kind::kDsdt;
    if (f.base == GL_DSDT_MAG_NV) return Kind::kDsdtMag;
    if (f.base == GL_DSDT_MAG_INTENSITY_NV) return Kind::kDsdtMagIntensity;
    if (f.sign == Signedness::kSigned) return Kind::kSignedRgba;
    if (f.sign == Signedness::kMixed) return Kind::kMixedRgba;
    return Kind::kUnsignedRgba;
}

class Consistency {
  public:
    explicit Consistency(const FragmentState& state)
        : state_(state), n_(std::clamp(state.textureUnits, 1, kMaxTextureUnits)) {
        memo_.fill(kUnknown);
    }

    GLenum Op(int i) const { return state_.units[i].shader.operation; }
    int Units() const { return n_; }

    bool Consistent(int i) {
        if (i < 0 || i >= n_) return false;
        if (memo_[i] == kBusy) return true;  // a diffuse/reflect pair asking about each other
        if (memo_[i] != kUnknown) return memo_[i] == kYes;
        memo_[i] = kBusy;
        const bool result = Decide(i);
        memo_[i] = result ? kYes : kNo;
        return result;
    }

    // Shader result kind of a consistent stage.
    Kind ResultKind(int i) {
        if (!Consistent(i)) return Kind::kNothing;
        const GLenum op = Op(i);
        if (op == GL_PASS_THROUGH_NV || op == GL_OFFSET_TEXTURE_2D_SCALE_NV ||
            op == GL_OFFSET_TEXTURE_RECTANGLE_SCALE_NV) {
            return Kind::kUnsignedRgba;
        }
        if (op == GL_DOT_PRODUCT_NV) return Kind::kDot;
        const int target = Info(op)->target;
        if (target < 0) return Kind::kNothing;
        return KindOfTexture(state_.units[i].targets[target].format);
    }

  private:
    enum { kUnknown, kBusy, kYes, kNo };

    bool IsDot(int i) { return i >= 0 && Op(i) == GL_DOT_PRODUCT_NV && Consistent(i); }

    bool Decide(int i) {
        const GLenum op = Op(i);
        const OperationInfo* info = Info(op);
        if (info == nullptr || i < info->firstUnit || (info->notLast && i == n_ - 1)) return false;
        const TextureUnit& unit = state_.units[i];
        if (info->target >= 0 && !unit.targets[info->target].complete) return false;
        switch (op) {
            case GL_NONE:
            case GL_PASS_THROUGH_NV:
            case GL_CULL_FRAGMENT_NV:
            case GL_TEXTURE_1D:
            case GL_TEXTURE_2D:
            case GL_TEXTURE_3D:
            case GL_TEXTURE_RECTANGLE_NV:
            case GL_TEXTURE_CUBE_MAP:
                return true;
            default:
                break;
        }
        const int j = int(unit.shader.previousInput) - int(GL_TEXTURE0);
        if (j < 0 || j >= i || !Consistent(j)) return false;
        const Kind prev = ResultKind(j);
        switch (op) {
            case GL_OFFSET_TEXTURE_2D_NV:
            case GL_OFFSET_TEXTURE_RECTANGLE_NV:
                return prev == Kind::kDsdt || prev == Kind::kDsdtMag ||
                       prev == Kind::kDsdtMagIntensity;
            case GL_OFFSET_TEXTURE_2D_SCALE_NV:
            case GL_OFFSET_TEXTURE_RECTANGLE_SCALE_NV: {
                const TextureFormat& own = unit.targets[info->target].format;
                return (prev == Kind::kDsdtMag || prev == Kind::kDsdtMagIntensity) &&
                       KindOfTexture(own) == Kind::kUnsignedRgba;
            }
            case GL_DEPENDENT_AR_TEXTURE_2D_NV:
            case GL_DEPENDENT_GB_TEXTURE_2D_NV:
                return prev == Kind::kUnsignedRgba;
            default:
                break;
        }
        // The dot-product family.
        if (prev != Kind::kUnsignedHilo && prev != Kind::kSignedHilo &&
            prev != Kind::kUnsignedRgba && prev != Kind::kSignedRgba) {
            return false;
        }
        switch (op) {
            case GL_DOT_PRODUCT_NV:
                return true;
            case GL_DOT_PRODUCT_TEXTURE_2D_NV:
            case GL_DOT_PRODUCT_TEXTURE_RECTANGLE_NV:
                return IsDot(i - 1);
            case GL_DOT_PRODUCT_DEPTH_REPLACE_NV:
                if (!IsDot(i - 1)) return false;
                for (int k = 0; k < i; ++k) {
                    if (Op(k) == GL_DOT_PRODUCT_DEPTH_REPLACE_NV && Consistent(k)) return false;
                }
                return true;
            case GL_DOT_PRODUCT_TEXTURE_CUBE_MAP_NV:
            case GL_DOT_PRODUCT_TEXTURE_3D_NV:
                return IsDot(i - 1) && IsDot(i - 2);
            case GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV:
                if (!IsDot(i - 1) || i + 1 >= n_) return false;
                if (Op(i + 1) != GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV &&
                    Op(i + 1) != GL_DOT_PRODUCT_CONST_EYE_REFLECT_CUBE_MAP_NV) {
                    return false;
                }
                return Consistent(i + 1);
            default:  // the two reflections
                if (j == i - 1 || j == i - 2 || !IsDot(i - 2)) return false;
                if (Op(i - 1) == GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV) return Consistent(i - 1);
                return IsDot(i - 1);
        }
    }

    const FragmentState& state_;
    const int n_;
    std::array<int, kMaxTextureUnits> memo_;
};

// What one texture-shader stage produced for one fragment.
struct StageValue {
    Kind kind = Kind::kNothing;
    Vec4 value{0, 0, 0, 0};      // RGBA, (hi, lo, -, -) or (ds, dt, mag, vib)
    float dot = 0;               // DOT_PRODUCT_NV result
    Vec4 unitRgba{0, 0, 0, 0};   // what the combiners' texture register receives
    GLenum envFormat = GL_NONE;  // base format of the texture function, NONE for pass-through
};

float Dot3(const Vec4& a, const Vec4& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// The texel of a fetch turned into the stage's values.
void TakeTexel(const TextureFormat& format, const Vec4& texel, bool combiners, StageValue* out) {
    out->kind = KindOfTexture(format);
    out->value = texel;
    switch (format.base) {
        case GL_HILO_NV:
        case GL_DSDT_NV:
        case GL_DSDT_MAG_NV:
            out->envFormat = GL_NONE;
            return;
        case GL_DSDT_MAG_INTENSITY_NV: {
            const float vib = texel[3];
            out->unitRgba = combiners ? Vec4{0, 0, 0, vib} : Vec4{vib, vib, vib, vib};
            out->envFormat = GL_INTENSITY;
            return;
        }
        case GL_ALPHA:
            out->value = {1, 1, 1, texel[3]};
            out->unitRgba = out->value;
            out->envFormat = GL_ALPHA;
            return;
        default:
            out->unitRgba = texel;
            out->envFormat = format.base;
            return;
    }
}

class ShaderRun {
  public:
    ShaderRun(const FragmentState& state, const Environment& env, const Fragment& fragment,
              Outcome* outcome)
        : state_(state), env_(env), fragment_(fragment), outcome_(outcome), rules_(state) {}

    std::array<StageValue, kMaxTextureUnits> Run() {
        for (int i = 0; i < rules_.Units(); ++i) {
            if (rules_.Consistent(i)) Stage(i);
        }
        return values_;
    }

  private:
    float DotOf(int i) {
        const TextureShaderStage& shader = state_.units[i].shader;
        const int j = int(shader.previousInput) - int(GL_TEXTURE0);
        const Vec4& st = fragment_.texcoord[i];
        const Vec4& p = values_[j].value;
        switch (values_[j].kind) {
            case Kind::kUnsignedHilo:
                return st[0] * p[0] + st[1] * p[1] + st[2];
            case Kind::kSignedHilo:
                return st[0] * p[0] + st[1] * p[1] +
                       st[2] * std::sqrt(std::max(0.0f, 1.0f - p[0] * p[0] - p[1] * p[1]));
            case Kind::kUnsignedRgba:
                if (shader.dotMapping == GL_EXPAND_NORMAL_NV) {
                    return st[0] * (2.0f * p[0] - 1.0f) + st[1] * (2.0f * p[1] - 1.0f) +
                           st[2] * (2.0f * p[2] - 1.0f);
                }
                return Dot3(st, p);
            default:
                return Dot3(st, p);
        }
    }

    Vec4 Fetch(int i, int target, const Vec4& coord) { return env_.sample(i, target, coord); }

    void Stage(int i) {
        const TextureUnit& unit = state_.units[i];
        const TextureShaderStage& shader = unit.shader;
        const GLenum op = shader.operation;
        const Vec4& c = fragment_.texcoord[i];
        StageValue& out = values_[i];
        const bool combiners = state_.combiners.enabled;
        const int target = Info(op)->target;
        const TextureFormat format = target >= 0 ? unit.targets[target].format : TextureFormat{};
        const int j = int(shader.previousInput) - int(GL_TEXTURE0);
        switch (op) {
            case GL_TEXTURE_1D:
            case GL_TEXTURE_2D:
            case GL_TEXTURE_3D:
            case GL_TEXTURE_RECTANGLE_NV:
                TakeTexel(format, Fetch(i, target, {c[0] / c[3], c[1] / c[3], c[2] / c[3], 1}),
                          combiners, &out);
                return;
            case GL_TEXTURE_CUBE_MAP:
                TakeTexel(format, Fetch(i, target, c), combiners, &out);
                return;
            case GL_PASS_THROUGH_NV:
                out.kind = Kind::kUnsignedRgba;
                for (int k = 0; k < 4; ++k) out.value[k] = Clamp01(c[k]);
                out.unitRgba = out.value;
                out.envFormat = GL_RGBA;
                return;
            case GL_CULL_FRAGMENT_NV:
                for (int k = 0; k < 4; ++k) {
                    const bool pass = shader.cullModes[k] == GL_LESS ? c[k] < 0.0f : c[k] >= 0.0f;
                    if (!pass) outcome_->discarded = true;
                }
                return;
            case GL_OFFSET_TEXTURE_2D_NV:
            case GL_OFFSET_TEXTURE_2D_SCALE_NV:
            case GL_OFFSET_TEXTURE_RECTANGLE_NV:
            case GL_OFFSET_TEXTURE_RECTANGLE_SCALE_NV: {
                const Vec4& prev = values_[j].value;
                const Vec4& m = shader.offsetMatrix;
                const float s = c[0] + m[0] * prev[0] + m[2] * prev[1];
                const float t = c[1] + m[1] * prev[0] + m[3] * prev[1];
                TakeTexel(format, Fetch(i, target, {s, t, 0, 0}), combiners, &out);
                if (op == GL_OFFSET_TEXTURE_2D_SCALE_NV ||
                    op == GL_OFFSET_TEXTURE_RECTANGLE_SCALE_NV) {
                    const float scale = Clamp01(shader.offsetBias + shader.offsetScale * prev[2]);
                    for (int k = 0; k < 3; ++k) out.unitRgba[k] = scale * out.unitRgba[k];
                    out.kind = Kind::kUnsignedRgba;
                }
                return;
            }
            case GL_DEPENDENT_AR_TEXTURE_2D_NV:
            case GL_DEPENDENT_GB_TEXTURE_2D_NV: {
                const Vec4& p = values_[j].value;
                const Vec4 st = op == GL_DEPENDENT_AR_TEXTURE_2D_NV ? Vec4{p[3], p[0], 0, 0}
                                                                    : Vec4{p[1], p[2], 0, 0};
                TakeTexel(format, Fetch(i, target, st), combiners, &out);
                return;
            }
            case GL_DOT_PRODUCT_NV:
                out.kind = Kind::kDot;
                out.dot = DotOf(i);
                return;
            case GL_DOT_PRODUCT_TEXTURE_2D_NV:
            case GL_DOT_PRODUCT_TEXTURE_RECTANGLE_NV:
                TakeTexel(format, Fetch(i, target, {values_[i - 1].dot, DotOf(i), 0, 0}), combiners,
                          &out);
                return;
            case GL_DOT_PRODUCT_TEXTURE_CUBE_MAP_NV:
            case GL_DOT_PRODUCT_TEXTURE_3D_NV:
                TakeTexel(format,
                          Fetch(i, target, {values_[i - 2].dot, values_[i - 1].dot, DotOf(i), 0}),
                          combiners, &out);
                return;
            case GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV:
                out.dot = DotOf(i);
                // The reflection stage after this one supplies the normal's last row.
                TakeTexel(format, Fetch(i, target, {values_[i - 1].dot, out.dot, DotOf(i + 1), 0}),
                          combiners, &out);
                return;
            case GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV:
            case GL_DOT_PRODUCT_CONST_EYE_REFLECT_CUBE_MAP_NV: {
                // The middle row is stage i-1's dot product, a plain one or the diffuse stage's.
                const Vec4 n{values_[i - 2].dot, values_[i - 1].dot, DotOf(i), 0};
                Vec4 e;
                if (op == GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV) {
                    e = {fragment_.texcoord[i - 2][3], fragment_.texcoord[i - 1][3], c[3], 0};
                } else {
                    e = {shader.constEye[0], shader.constEye[1], shader.constEye[2], 0};
                }
                const float k = 2.0f * Dot3(n, e) / Dot3(n, n);
                const Vec4 r{k * n[0] - e[0], k * n[1] - e[1], k * n[2] - e[2], 0};
                TakeTexel(format, Fetch(i, target, r), combiners, &out);
                return;
            }
            case GL_DOT_PRODUCT_DEPTH_REPLACE_NV: {
                const float depth = values_[i - 1].dot / DotOf(i);
                if (!(depth >= env_.depthNear && depth <= env_.depthFar))
                    outcome_->discarded = true;
                outcome_->depthReplaced = true;
                outcome_->depth = depth;
                return;
            }
            default:
                return;
        }
    }

    const FragmentState& state_;
    const Environment& env_;
    const Fragment& fragment_;
    Outcome* outcome_;
    Consistency rules_;
    std::array<StageValue, kMaxTextureUnits> values_{};
};

// ---- Conventional texturing (texture shaders off) ----

StageValue ConventionalTexel(const FragmentState& state, const Environment& env,
                             const Fragment& fragment, int i) {
    StageValue out;
    const TextureUnit& unit = state.units[i];
    const int target = TargetIndexOf(unit.enabledTarget);
    if (target < 0 || !unit.targets[target].complete) return out;
    const Vec4& c = fragment.texcoord[i];
    const Vec4 coord = target == kCubeMap ? c : Vec4{c[0] / c[3], c[1] / c[3], c[2] / c[3], 1.0f};
    const Vec4 texel = env.sample(i, target, coord);
    const GLenum base = unit.targets[target].format.base;
    out.value = texel;
    if (base == GL_HILO_NV || base == GL_DSDT_NV || base == GL_DSDT_MAG_NV) return out;
    if (base == GL_DSDT_MAG_INTENSITY_NV) {
        const float vib = texel[3];
        out.unitRgba = state.combiners.enabled ? Vec4{0, 0, 0, vib} : Vec4{vib, vib, vib, vib};
        out.envFormat = GL_INTENSITY;
        return out;
    }
    out.unitRgba = texel;  // ALPHA textures give (0, 0, 0, A) here
    out.envFormat = base;
    return out;
}

// ---- Texture environment, colour sum, fog ----

float FogFactor(const FragmentState& state, const Environment& env, float c) {
    if (!state.fog) return 1.0f;
    switch (state.fogMode) {
        case GL_LINEAR:
            return Clamp01((env.fogEnd - c) / (env.fogEnd - env.fogStart));
        case GL_EXP2:
            return Clamp01(std::exp(-(env.fogDensity * c) * (env.fogDensity * c)));
        default:
            return Clamp01(std::exp(-env.fogDensity * c));
    }
}

void ApplyTextureFunction(GLenum mode, GLenum base, const Vec4& tex, const Vec4& envColor,
                          Vec4* color) {
    Vec4& cf = *color;
    if (mode == GL_NONE || base == GL_NONE) return;
    const bool hasColor = base != GL_ALPHA;
    const bool alphaIsTexture =
        base == GL_ALPHA || base == GL_LUMINANCE_ALPHA || base == GL_RGBA || base == GL_INTENSITY;
    for (int k = 0; k < 3; ++k) {
        const float ct = tex[k];
        float v = cf[k];
        switch (mode) {
            case GL_REPLACE:
                if (hasColor) v = ct;
                break;
            case GL_MODULATE:
                if (hasColor) v = cf[k] * ct;
                break;
            case GL_DECAL:
                if (base == GL_RGB) v = ct;
                if (base == GL_RGBA) {
                    const float a = std::max(0.0f, tex[3]);
                    v = cf[k] * (1.0f - a) + ct * a;
                }
                break;
            case GL_BLEND:
                if (hasColor) {
                    const float x = std::max(0.0f, ct);
                    v = cf[k] * (1.0f - x) + envColor[k] * x;
                }
                break;
            case GL_ADD:
                if (hasColor) v = Clamp(cf[k] + ct, -1.0f, 1.0f);
                break;
        }
        cf[k] = v;
    }
    const float at = tex[3];
    float a = cf[3];
    switch (mode) {
        case GL_REPLACE:
            if (alphaIsTexture) a = at;
            break;
        case GL_MODULATE:
            if (alphaIsTexture) a = cf[3] * at;
            break;
        case GL_BLEND:
            if (base == GL_INTENSITY) {
                const float x = std::max(0.0f, at);
                a = cf[3] * (1.0f - x) + envColor[3] * x;
            } else if (alphaIsTexture) {
                a = cf[3] * at;
            }
            break;
        case GL_ADD:
            if (base == GL_INTENSITY) {
                a = Clamp(cf[3] + at, -1.0f, 1.0f);
            } else if (alphaIsTexture) {
                a = cf[3] * at;
            }
            break;
        default:
            break;  // DECAL keeps the fragment alpha
    }
    cf[3] = a;
}

// ---- Register combiners ----

// Register set of one stage, indexed by slot.
enum Slot { kZero, kConst0, kConst1, kFog, kPrimary, kSecondary, kSpare0, kSpare1, kTexture0 };
constexpr int kSlots = kTexture0 + kMaxTextureUnits;

int SlotOf(GLenum reg) {
    switch (reg) {
        case GL_CONSTANT_COLOR0_NV:
            return kConst0;
        case GL_CONSTANT_COLOR1_NV:
            return kConst1;
        case GL_FOG:
            return kFog;
        case GL_PRIMARY_COLOR_NV:
            return kPrimary;
        case GL_SECONDARY_COLOR_NV:
            return kSecondary;
        case GL_SPARE0_NV:
            return kSpare0;
        case GL_SPARE1_NV:
            return kSpare1;
        default:
            if (reg >= GL_TEXTURE0 && reg < GL_TEXTURE0 + kMaxTextureUnits) {
                return kTexture0 + int(reg - GL_TEXTURE0);
            }
            return kZero;
    }
}

float Map(GLenum mapping, float e) {
    switch (mapping) {
        case GL_UNSIGNED_IDENTITY_NV:
            return std::max(0.0f, e);
        case GL_UNSIGNED_INVERT_NV:
            return 1.0f - std::min(std::max(e, 0.0f), 1.0f);
        case GL_EXPAND_NORMAL_NV:
            return 2.0f * std::max(0.0f, e) - 1.0f;
        case GL_EXPAND_NEGATE_NV:
            return -2.0f * std::max(0.0f, e) + 1.0f;
        case GL_HALF_BIAS_NORMAL_NV:
            return std::max(0.0f, e) - 0.5f;
        case GL_HALF_BIAS_NEGATE_NV:
            return -std::max(0.0f, e) + 0.5f;
        case GL_SIGNED_IDENTITY_NV:
            return e;
        case GL_SIGNED_NEGATE_NV:
            return -e;
        default:
            return e;
    }
}

using Registers = std::array<Vec4, kSlots>;

// An RGB-portion variable: three mapped components.
Vec4 RgbVariable(const Registers& r, const CombinerInput& in) {
    const Vec4& reg = r[SlotOf(in.input)];
    Vec4 v{0, 0, 0, 0};
    for (int k = 0; k < 3; ++k) v[k] = Map(in.mapping, in.usage == GL_ALPHA ? reg[3] : reg[k]);
    return v;
}

float AlphaVariable(const Registers& r, const CombinerInput& in) {
    const Vec4& reg = r[SlotOf(in.input)];
    return Map(in.mapping, in.usage == GL_BLUE ? reg[2] : reg[3]);
}

float ScaleValue(GLenum scale) {
    if (scale == GL_SCALE_BY_TWO_NV) return 2.0f;
    if (scale == GL_SCALE_BY_FOUR_NV) return 4.0f;
    if (scale == GL_SCALE_BY_ONE_HALF_NV) return 0.5f;
    return 1.0f;
}

float Finish(float x, const CombinerPortion& p) {
    const float bias = p.bias == GL_BIAS_BY_NEGATIVE_ONE_HALF_NV ? -0.5f : 0.0f;
    return Clamp((x + bias) * ScaleValue(p.scale), -1.0f, 1.0f);
}

bool Writable(GLenum reg) {
    return reg == GL_PRIMARY_COLOR_NV || reg == GL_SECONDARY_COLOR_NV || reg == GL_SPARE0_NV ||
           reg == GL_SPARE1_NV || (reg >= GL_TEXTURE0 && reg < GL_TEXTURE0 + kMaxTextureUnits);
}

void GeneralStage(const GeneralCombiner& stage, const Registers& in, Registers* out) {
    // RGB portion.
    {
        const CombinerPortion& p = stage.rgb;
        const Vec4 a = RgbVariable(in, p.inputs[kA]), b = RgbVariable(in, p.inputs[kB]);
        const Vec4 c = RgbVariable(in, p.inputs[kC]), d = RgbVariable(in, p.inputs[kD]);
        Vec4 ab, cd, sum;
        const float abDot = Dot3(a, b), cdDot = Dot3(c, d);
        const bool chooseCd = in[kSpare0][3] >= 0.5f;
        for (int k = 0; k < 3; ++k) {
            ab[k] = p.abDotProduct ? abDot : a[k] * b[k];
            cd[k] = p.cdDotProduct ? cdDot : c[k] * d[k];
            sum[k] = p.muxSum ? (chooseCd ? cd[k] : ab[k]) : ab[k] + cd[k];
        }
        const Vec4* values[3] = {&ab, &cd, &sum};
        const GLenum targets[3] = {p.abOutput, p.cdOutput, p.sumOutput};
        for (int o = 0; o < 3; ++o) {
            if (!Writable(targets[o])) continue;
            Vec4& reg = (*out)[SlotOf(targets[o])];
            for (int k = 0; k < 3; ++k) reg[k] = Finish((*values[o])[k], p);
        }
    }
    // Alpha portion.
    {
        const CombinerPortion& p = stage.alpha;
        const float a = AlphaVariable(in, p.inputs[kA]), b = AlphaVariable(in, p.inputs[kB]);
        const float c = AlphaVariable(in, p.inputs[kC]), d = AlphaVariable(in, p.inputs[kD]);
        const float ab = a * b, cd = c * d;
        const float sum = p.muxSum ? (in[kSpare0][3] >= 0.5f ? cd : ab) : ab + cd;
        const float values[3] = {ab, cd, sum};
        const GLenum targets[3] = {p.abOutput, p.cdOutput, p.sumOutput};
        for (int o = 0; o < 3; ++o) {
            if (Writable(targets[o])) (*out)[SlotOf(targets[o])][3] = Finish(values[o], p);
        }
    }
}

Vec4 Combine(const FragmentState& state, const Environment& env, const Fragment& fragment,
             const std::array<StageValue, kMaxTextureUnits>& textures) {
    const CombinerState& cs = state.combiners;
    Registers r;
    r.fill(Vec4{0, 0, 0, 0});  // undefined contents read as zero
    r[kFog] = {env.fogColor[0], env.fogColor[1], env.fogColor[2],
               FogFactor(state, env, fragment.fogCoordinate)};
    r[kPrimary] = fragment.primary;
    r[kSecondary] = fragment.secondary;
    const int units = std::clamp(state.textureUnits, 1, kMaxTextureUnits);
    for (int i = 0; i < units; ++i) r[kTexture0 + i] = textures[i].unitRgba;
    r[kSpare0][3] = r[kTexture0][3];

    const int stages = std::clamp(cs.generalCombiners, 1, kMaxGeneralCombiners);
    for (int s = 0; s < stages; ++s) {
        const GeneralCombiner& stage = cs.stages[s];
        r[kConst0] = cs.perStageConstants ? stage.constant0 : cs.constant0;
        r[kConst1] = cs.perStageConstants ? stage.constant1 : cs.constant1;
        Registers next = r;
        GeneralStage(stage, r, &next);
        r = next;
        // Units that do not take part have no texture registers to keep values in.
        for (int i = units; i < kMaxTextureUnits; ++i) r[kTexture0 + i] = {0, 0, 0, 0};
    }
    // The final combiner always reads the global constants.
    r[kConst0] = cs.constant0;
    r[kConst1] = cs.constant1;
    const auto& in = cs.final.inputs;
    const Vec4 e = RgbVariable(r, in[kE]), f = RgbVariable(r, in[kF]);
    Vec4 ef{e[0] * f[0], e[1] * f[1], e[2] * f[2], 0};
    Vec4 sum{0, 0, 0, 0};
    for (int k = 0; k < 3; ++k) {
        sum[k] = std::max(0.0f, r[kSpare0][k]) + std::max(0.0f, r[kSecondary][k]);
        if (cs.colorSumClamp) sum[k] = Clamp01(sum[k]);
    }
    auto variable = [&](const CombinerInput& input) {
        if (input.input == GL_E_TIMES_F_NV || input.input == GL_SPARE0_PLUS_SECONDARY_COLOR_NV) {
            const Vec4& v = input.input == GL_E_TIMES_F_NV ? ef : sum;
            return Vec4{Map(input.mapping, v[0]), Map(input.mapping, v[1]),
                        Map(input.mapping, v[2]), 0};
        }
        return RgbVariable(r, input);
    };
    const Vec4 a = variable(in[kA]), b = variable(in[kB]), c = variable(in[kC]),
               d = variable(in[kD]);
    Vec4 result;
    for (int k = 0; k < 3; ++k) {
        result[k] = std::min(a[k] * b[k] + (1.0f - a[k]) * c[k] + d[k], 1.0f);
    }
    result[3] = AlphaVariable(r, in[kG]);
    return result;
}

}  // namespace

bool ReferenceStageConsistent(const FragmentState& state, int unit) {
    Consistency rules(state);
    return rules.Consistent(unit);
}

Outcome Evaluate(const FragmentState& state, const Environment& env, const Fragment& fragment) {
    Outcome outcome;
    const int units = std::clamp(state.textureUnits, 1, kMaxTextureUnits);
    std::array<StageValue, kMaxTextureUnits> textures{};
    if (state.textureShaders) {
        textures = ShaderRun(state, env, fragment, &outcome).Run();
    } else {
        for (int i = 0; i < units; ++i) textures[i] = ConventionalTexel(state, env, fragment, i);
    }

    Vec4 color;
    if (state.combiners.enabled) {
        color = Combine(state, env, fragment, textures);
    } else {
        color = fragment.primary;
        for (int i = 0; i < units; ++i) {
            ApplyTextureFunction(state.units[i].envMode, textures[i].envFormat,
                                 textures[i].unitRgba, env.envColor[i], &color);
        }
        if (state.colorSum) {
            for (int k = 0; k < 3; ++k) {
                color[k] = Clamp01(Clamp01(color[k]) + Clamp01(fragment.secondary[k]));
            }
        }
        if (state.fog) {
            const float f = FogFactor(state, env, fragment.fogCoordinate);
            for (int k = 0; k < 3; ++k) color[k] = f * color[k] + (1.0f - f) * env.fogColor[k];
        }
    }
    for (float& v : color) v = Clamp01(v);
    outcome.color = color;
    return outcome;
}

}  // namespace fragmentprogram
