// The signed, HILO and DSDT texture formats of the texture-shader extension as float textures:
// which base format and signedness an internal format has, how each stored component becomes a
// float, and whole images converted into a float format that holds those values exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fragmentprogram/fragment_state.h"

namespace fragmentprogram {

// Base format and signedness of a conventional or legacy internal format (GL_RGB8, GL_ALPHA,
// GL_SIGNED_RGBA8_NV, GL_HILO16_NV, ...). base is GL_NONE for formats it does not know.
TextureFormat DescribeInternalFormat(GLenum internalFormat);

// True for the internal formats drivers lack: SIGNED_*, HILO* and DSDT*.
bool IsLegacyInternalFormat(GLenum internalFormat);

// The float internal format a legacy internal format is stored in (GL_NONE for others).
GLenum FloatStorageFormat(GLenum internalFormat);

// Whether pixels of an external format may go into (or come from) a texture of internalFormat:
// HILO_NV only with HILO formats, each DSDT format only with its own base format, colour formats
// only with colour formats (conventional ones included).
bool PixelFormatFits(GLenum format, GLenum internalFormat);

// Whether component c (0..3, in the order of the float layout) of a legacy internal format is
// signed: its values lie in [-1, 1], else in [0, 1].
bool ComponentIsSigned(GLenum internalFormat, int c);

// Component conversions. A signed 8-bit value c stores c / 128 (-128 is -1.0 and 127 is
// 0.9921875), a signed 16-bit one c / 32768, a signed 32-bit one c / 2^31; an unsigned N-bit value
// c / (2^N - 1).
inline float FromSignedByte(int8_t c) { return c / 128.0f; }
inline float FromSignedShort(int16_t c) { return c / 32768.0f; }
inline float FromSignedInt(int32_t c) { return float(double(c) / 2147483648.0); }
inline float FromUnsigned(uint32_t c, int bits) {
    return float(double(c) / double((uint64_t(1) << bits) - 1));
}

// An image ready for glTexImage: texels in `format` (GL_FLOAT), to be stored as internalFormat.
// Layouts: colours keep their base format (GL_RGBA32F, GL_RGB32F, GL_LUMINANCE32F_ARB, ...);
// HILO is (hi, lo) and DSDT (ds, dt) in GL_RG32F, DSDT_MAG (ds, dt, mag) in GL_RGB32F,
// DSDT_MAG_INTENSITY (ds, dt, mag, vib) in GL_RGBA32F.
struct FloatImage {
    GLenum internalFormat = GL_NONE;
    GLenum format = GL_NONE;
    int components = 0;
    std::vector<float> texels;
};

// The inverse, for reading converted textures back: `count` pixels of `components` floats
// each written as `type`: signed 8/16/32-bit c = f * 128 / 32768 / 2^31 and unsigned ones
// f * (2^N - 1), rounded and saturated; floats as they are; the two packed types of
// DSDT_MAG_VIB_NV from (ds, dt, mag, vib). False for a type it does not write.
bool PackComponents(GLenum type, const float* values, size_t count, int components, void* out);

// The per-component scale and bias of pixel transfer of the group a format's pixels form:
// (RED, GREEN, BLUE, ALPHA) _SCALE / _BIAS for colours, (HI, LO, -, -) or (DS, DT, MAGNITUDE,
// VIBRANCE) _SCALE_NV / _BIAS_NV for HILO and texture offset groups.
struct GroupTransfer {
    float scale[4] = {1, 1, 1, 1};
    float bias[4] = {0, 0, 0, 0};
};

// Converts `count` pixels given as (format, type) for a legacy internal format: unpacking,
// conversion of each component by its type, the group's scale and bias, then clamping to
// [-1, 1] for the format's signed components and [0, 1] for the unsigned ones. Returns "" on
// success, else why the combination is refused (the caller raises the GL error). The float
// image must be uploaded with pixel transfer at its defaults: it has been applied.
std::string ConvertTexels(GLenum internalFormat, GLenum format, GLenum type, const void* pixels,
                          size_t count, FloatImage* image,
                          const GroupTransfer& transfer = GroupTransfer());

}  // namespace fragmentprogram
