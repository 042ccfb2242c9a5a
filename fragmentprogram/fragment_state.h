// Everything an application can set through the register-combiner and texture-shader extensions,
// plus the conventional texturing state that decides what feeds them, as plain values. GL token
// values are the vocabulary throughout; defaults are the extensions' initial state.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include <array>
#include <cstdint>

namespace fragmentprogram {

using Vec4 = std::array<float, 4>;

constexpr int kMaxGeneralCombiners = 8;
constexpr int kMaxTextureUnits = 8;

// Variable indices A..D of a general combiner, A..G of the final combiner.
enum Variable : int { kA = 0, kB, kC, kD, kE, kF, kG };

struct CombinerInput {
    GLenum input = GL_ZERO;                    // a register, or E_TIMES_F / SPARE0_PLUS_SECONDARY
    GLenum mapping = GL_UNSIGNED_IDENTITY_NV;  // UNSIGNED_IDENTITY_NV .. SIGNED_NEGATE_NV
    GLenum usage = GL_RGB;                     // RGB, ALPHA or BLUE
};

// One portion (RGB or alpha) of a general combiner stage.
struct CombinerPortion {
    std::array<CombinerInput, 4> inputs;
    GLenum abOutput = GL_DISCARD_NV;
    GLenum cdOutput = GL_DISCARD_NV;
    GLenum sumOutput = GL_SPARE0_NV;
    GLenum scale = GL_NONE;  // NONE, SCALE_BY_TWO_NV, SCALE_BY_FOUR_NV, SCALE_BY_ONE_HALF_NV
    GLenum bias = GL_NONE;   // NONE or BIAS_BY_NEGATIVE_ONE_HALF_NV
    bool abDotProduct = false;
    bool cdDotProduct = false;
    bool muxSum = false;
};

struct GeneralCombiner {
    CombinerPortion rgb, alpha;
    Vec4 constant0{0, 0, 0, 0}, constant1{0, 0, 0, 0};  // used with PER_STAGE_CONSTANTS_NV
    GeneralCombiner();
};

struct FinalCombiner {
    std::array<CombinerInput, 7> inputs;  // A..G
    FinalCombiner();
};

struct CombinerState {
    bool enabled = false;            // REGISTER_COMBINERS_NV
    bool perStageConstants = false;  // PER_STAGE_CONSTANTS_NV
    int generalCombiners = 1;        // NUM_GENERAL_COMBINERS_NV
    bool colorSumClamp = true;       // COLOR_SUM_CLAMP_NV
    Vec4 constant0{0, 0, 0, 0}, constant1{0, 0, 0, 0};
    std::array<GeneralCombiner, kMaxGeneralCombiners> stages;
    FinalCombiner final;
};

// Per-unit texture-shader parameters (TexEnv target TEXTURE_SHADER_NV).
struct TextureShaderStage {
    GLenum operation = GL_NONE;
    std::array<GLenum, 4> cullModes{GL_GEQUAL, GL_GEQUAL, GL_GEQUAL, GL_GEQUAL};
    GLenum dotMapping = GL_UNSIGNED_IDENTITY_NV;  // RGBA_UNSIGNED_DOT_PRODUCT_MAPPING_NV
    GLenum previousInput = GL_TEXTURE0;           // PREVIOUS_TEXTURE_INPUT_NV
    Vec4 offsetMatrix{1, 0, 0, 1};                // a1 a2 a3 a4, column-major 2x2
    float offsetScale = 1.0f;
    float offsetBias = 0.0f;
    std::array<float, 3> constEye{0, 0, -1};
};

// What a texture of some internal format holds, as far as the fragment stages care.
enum class Signedness : uint8_t { kUnsigned, kSigned, kMixed };  // kMixed: signed RGB, unsigned A

struct TextureFormat {
    // Base internal format: ALPHA, LUMINANCE, LUMINANCE_ALPHA, INTENSITY, RGB, RGBA, HILO_NV,
    // DSDT_NV, DSDT_MAG_NV or DSDT_MAG_INTENSITY_NV.
    GLenum base = GL_RGBA;
    Signedness sign = Signedness::kUnsigned;
};

// Texture targets a unit can sample, in the order of TextureUnit::targets.
enum TargetIndex : int { k1D = 0, k2D, k3D, kCubeMap, kRectangle, kTargetCount };

struct BoundTexture {
    bool complete = false;  // a complete texture object is bound to this target
    TextureFormat format;
};

struct TextureUnit {
    std::array<BoundTexture, kTargetCount> targets;
    // Conventional texturing: the enabled target that wins (cube map, 3D, rectangle, 2D, 1D) or
    // NONE. Ignored while texture shaders are on.
    GLenum enabledTarget = GL_NONE;
    GLenum envMode = GL_MODULATE;  // MODULATE, DECAL, BLEND, REPLACE, ADD or NONE
    TextureShaderStage shader;
};

struct FragmentState {
    CombinerState combiners;
    bool textureShaders = false;  // TEXTURE_SHADER_NV
    int textureUnits = 4;         // units taking part, at most kMaxTextureUnits
    std::array<TextureUnit, kMaxTextureUnits> units;
    // Conventional colour sum and fog, used when the combiners are off (they subsume both).
    bool colorSum = false;
    bool fog = false;
    GLenum fogMode = GL_EXP;  // EXP, EXP2 or LINEAR
};

// TEXTUREi index of a TEXTURE0 + i token, -1 for anything else.
inline int TextureRegisterUnit(GLenum token) {
    return token >= GL_TEXTURE0 && token < GL_TEXTURE0 + kMaxTextureUnits ? int(token - GL_TEXTURE0)
                                                                          : -1;
}

// The texture target of each TargetIndex, and the query of its binding.
extern const GLenum kTargetTokens[kTargetCount];
extern const GLenum kTargetBindings[kTargetCount];

// TargetIndex of a texture target token, -1 for anything else.
int TargetIndexOf(GLenum target);

// TargetIndex of the texture a texture-shader operation samples, -1 when it samples none.
int OperationTarget(GLenum op);

}  // namespace fragmentprogram
