#include "fragmentprogram/texel_conversion.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace fragmentprogram {

namespace {

struct LegacyFormat {
    GLenum internalFormat;
    GLenum base;
    Signedness sign;
    GLenum floatFormat;  // storage
    GLenum layout;       // upload format
    int components;
};

const LegacyFormat kLegacyFormats[] = {
    {GL_SIGNED_RGBA_NV, GL_RGBA, Signedness::kSigned, GL_RGBA32F, GL_RGBA, 4},
    {GL_SIGNED_RGBA8_NV, GL_RGBA, Signedness::kSigned, GL_RGBA32F, GL_RGBA, 4},
    {GL_SIGNED_RGB_NV, GL_RGB, Signedness::kSigned, GL_RGB32F, GL_RGB, 3},
    {GL_SIGNED_RGB8_NV, GL_RGB, Signedness::kSigned, GL_RGB32F, GL_RGB, 3},
    {GL_SIGNED_LUMINANCE_NV, GL_LUMINANCE, Signedness::kSigned, GL_LUMINANCE32F_ARB, GL_LUMINANCE,
     1},
    {GL_SIGNED_LUMINANCE8_NV, GL_LUMINANCE, Signedness::kSigned, GL_LUMINANCE32F_ARB, GL_LUMINANCE,
     1},
    {GL_SIGNED_LUMINANCE_ALPHA_NV, GL_LUMINANCE_ALPHA, Signedness::kSigned,
     GL_LUMINANCE_ALPHA32F_ARB, GL_LUMINANCE_ALPHA, 2},
    {GL_SIGNED_LUMINANCE8_ALPHA8_NV, GL_LUMINANCE_ALPHA, Signedness::kSigned,
     GL_LUMINANCE_ALPHA32F_ARB, GL_LUMINANCE_ALPHA, 2},
    {GL_SIGNED_ALPHA_NV, GL_ALPHA, Signedness::kSigned, GL_ALPHA32F_ARB, GL_ALPHA, 1},
    {GL_SIGNED_ALPHA8_NV, GL_ALPHA, Signedness::kSigned, GL_ALPHA32F_ARB, GL_ALPHA, 1},
    {GL_SIGNED_INTENSITY_NV, GL_INTENSITY, Signedness::kSigned, GL_INTENSITY32F_ARB, GL_RED, 1},
    {GL_SIGNED_INTENSITY8_NV, GL_INTENSITY, Signedness::kSigned, GL_INTENSITY32F_ARB, GL_RED, 1},
    {GL_SIGNED_RGB_UNSIGNED_ALPHA_NV, GL_RGBA, Signedness::kMixed, GL_RGBA32F, GL_RGBA, 4},
    {GL_SIGNED_RGB8_UNSIGNED_ALPHA8_NV, GL_RGBA, Signedness::kMixed, GL_RGBA32F, GL_RGBA, 4},
    {GL_HILO_NV, GL_HILO_NV, Signedness::kUnsigned, GL_RG32F, GL_RG, 2},
    {GL_HILO16_NV, GL_HILO_NV, Signedness::kUnsigned, GL_RG32F, GL_RG, 2},
    {GL_SIGNED_HILO_NV, GL_HILO_NV, Signedness::kSigned, GL_RG32F, GL_RG, 2},
    {GL_SIGNED_HILO16_NV, GL_HILO_NV, Signedness::kSigned, GL_RG32F, GL_RG, 2},
    {GL_DSDT_NV, GL_DSDT_NV, Signedness::kMixed, GL_RG32F, GL_RG, 2},
    {GL_DSDT8_NV, GL_DSDT_NV, Signedness::kMixed, GL_RG32F, GL_RG, 2},
    {GL_DSDT_MAG_NV, GL_DSDT_MAG_NV, Signedness::kMixed, GL_RGB32F, GL_RGB, 3},
    {GL_DSDT8_MAG8_NV, GL_DSDT_MAG_NV, Signedness::kMixed, GL_RGB32F, GL_RGB, 3},
    {GL_DSDT_MAG_INTENSITY_NV, GL_DSDT_MAG_INTENSITY_NV, Signedness::kMixed, GL_RGBA32F, GL_RGBA,
     4},
    {GL_DSDT8_MAG8_INTENSITY8_NV, GL_DSDT_MAG_INTENSITY_NV, Signedness::kMixed, GL_RGBA32F, GL_RGBA,
     4},
};

const LegacyFormat* FindLegacy(GLenum internalFormat) {
    for (const LegacyFormat& f : kLegacyFormats) {
        if (f.internalFormat == internalFormat) return &f;
    }
    return nullptr;
}

bool IsColorGroup(const LegacyFormat& f) {
    return f.base != GL_HILO_NV && f.base != GL_DSDT_NV && f.base != GL_DSDT_MAG_NV &&
           f.base != GL_DSDT_MAG_INTENSITY_NV;
}

// Whether component c (0..3 of the stored layout) of a legacy format is signed.
bool ComponentSigned(const LegacyFormat& f, int c) {
    if (!IsColorGroup(f) && f.base != GL_HILO_NV) return c < 2;  // ds, dt signed; mag, vib not
    if (f.sign == Signedness::kMixed) return c < 3;
    return f.sign == Signedness::kSigned;
}

// Components per pixel of an external format, and which of the RGBA-group slots they fill.
int ExternalComponents(GLenum format, int slots[4]) {
    switch (format) {
        case GL_RGBA:
        case GL_DSDT_MAG_VIB_NV:
            for (int i = 0; i < 4; ++i) slots[i] = i;
            return 4;
        case GL_RGB:
        case GL_DSDT_MAG_NV:
            for (int i = 0; i < 3; ++i) slots[i] = i;
            return 3;
        case GL_HILO_NV:
        case GL_DSDT_NV:
        case GL_RG:
            slots[0] = 0, slots[1] = 1;
            return 2;
        case GL_LUMINANCE:
        case GL_RED:
            slots[0] = 0;
            return 1;
        case GL_LUMINANCE_ALPHA:
            slots[0] = 0, slots[1] = 3;
            return 2;
        case GL_ALPHA:
            slots[0] = 3;
            return 1;
        default:
            return 0;
    }
}

bool FormatFitsInternal(GLenum format, GLenum base) {
    switch (format) {
        case GL_HILO_NV:
            return base == GL_HILO_NV;
        case GL_DSDT_NV:
        case GL_DSDT_MAG_NV:
        case GL_DSDT_MAG_VIB_NV:
            return base ==
                   (format == GL_DSDT_MAG_VIB_NV ? GLenum(GL_DSDT_MAG_INTENSITY_NV) : format);
        default:
            return base != GL_HILO_NV && base != GL_DSDT_NV && base != GL_DSDT_MAG_NV &&
                   base != GL_DSDT_MAG_INTENSITY_NV;
    }
}

size_t TypeSize(GLenum type) {
    switch (type) {
        case GL_BYTE:
        case GL_UNSIGNED_BYTE:
            return 1;
        case GL_SHORT:
        case GL_UNSIGNED_SHORT:
            return 2;
        case GL_INT:
        case GL_UNSIGNED_INT:
        case GL_FLOAT:
            return 4;
        default:
            return 0;
    }
}

float ReadComponent(GLenum type, const unsigned char* p) {
    switch (type) {
        case GL_BYTE:
            return FromSignedByte(int8_t(*p));
        case GL_UNSIGNED_BYTE:
            return FromUnsigned(*p, 8);
        case GL_SHORT: {
            int16_t v;
            std::memcpy(&v, p, 2);
            return FromSignedShort(v);
        }
        case GL_UNSIGNED_SHORT: {
            uint16_t v;
            std::memcpy(&v, p, 2);
            return FromUnsigned(v, 16);
        }
        case GL_INT: {
            int32_t v;
            std::memcpy(&v, p, 4);
            return FromSignedInt(v);
        }
        case GL_UNSIGNED_INT: {
            uint32_t v;
            std::memcpy(&v, p, 4);
            return FromUnsigned(v, 32);
        }
        default: {
            float v;
            std::memcpy(&v, p, 4);
            return v;
        }
    }
}

// ds, dt, mag, vib of one packed 32-bit pixel; the first two fields are signed.
void ReadPacked(GLenum type, uint32_t word, float group[4]) {
    const int shifts[4] = {24, 16, 8, 0};
    for (int c = 0; c < 4; ++c) {
        const int shift = type == GL_UNSIGNED_INT_S8_S8_8_8_NV ? shifts[c] : 8 * c;
        const uint8_t field = uint8_t(word >> shift);
        group[c] = c < 2 ? FromSignedByte(int8_t(field)) : FromUnsigned(field, 8);
    }
}

// The stored layout's components taken from an RGBA group.
void Store(const LegacyFormat& f, const float group[4], float* out) {
    int take[4] = {0, 1, 2, 3};
    if (f.base == GL_LUMINANCE_ALPHA) take[1] = 3;
    if (f.base == GL_ALPHA) take[0] = 3;
    for (int c = 0; c < f.components; ++c) {
        const float lo = ComponentSigned(f, c) ? -1.0f : 0.0f;
        out[c] = std::clamp(group[take[c]], lo, 1.0f);
    }
}

}  // namespace

TextureFormat DescribeInternalFormat(GLenum internalFormat) {
    if (const LegacyFormat* f = FindLegacy(internalFormat)) return {f->base, f->sign};
    switch (internalFormat) {
        case GL_ALPHA:
        case GL_ALPHA4:
        case GL_ALPHA8:
        case GL_ALPHA12:
        case GL_ALPHA16:
            return {GL_ALPHA, Signedness::kUnsigned};
        case 1:
        case GL_LUMINANCE:
        case GL_LUMINANCE4:
        case GL_LUMINANCE8:
        case GL_LUMINANCE12:
        case GL_LUMINANCE16:
            return {GL_LUMINANCE, Signedness::kUnsigned};
        case 2:
        case GL_LUMINANCE_ALPHA:
        case GL_LUMINANCE4_ALPHA4:
        case GL_LUMINANCE6_ALPHA2:
        case GL_LUMINANCE8_ALPHA8:
        case GL_LUMINANCE12_ALPHA4:
        case GL_LUMINANCE12_ALPHA12:
        case GL_LUMINANCE16_ALPHA16:
            return {GL_LUMINANCE_ALPHA, Signedness::kUnsigned};
        case GL_INTENSITY:
        case GL_INTENSITY4:
        case GL_INTENSITY8:
        case GL_INTENSITY12:
        case GL_INTENSITY16:
            return {GL_INTENSITY, Signedness::kUnsigned};
        case 3:
        case GL_RGB:
        case GL_R3_G3_B2:
        case GL_RGB4:
        case GL_RGB5:
        case GL_RGB8:
        case GL_RGB10:
        case GL_RGB12:
        case GL_RGB16:
            return {GL_RGB, Signedness::kUnsigned};
        case 4:
        case GL_RGBA:
        case GL_RGBA2:
        case GL_RGBA4:
        case GL_RGB5_A1:
        case GL_RGBA8:
        case GL_RGB10_A2:
        case GL_RGBA12:
        case GL_RGBA16:
            return {GL_RGBA, Signedness::kUnsigned};
        default:
            return {GL_NONE, Signedness::kUnsigned};
    }
}

bool IsLegacyInternalFormat(GLenum internalFormat) { return FindLegacy(internalFormat) != nullptr; }

bool ComponentIsSigned(GLenum internalFormat, int c) {
    const LegacyFormat* f = FindLegacy(internalFormat);
    return f != nullptr && ComponentSigned(*f, c);
}

bool PixelFormatFits(GLenum format, GLenum internalFormat) {
    return FormatFitsInternal(format, DescribeInternalFormat(internalFormat).base);
}

namespace {

template <typename T>
void Put(double v, double lo, double hi, unsigned char* out) {
    const T c = T(std::min(std::max(std::round(v), lo), hi));
    std::memcpy(out, &c, sizeof c);
}

}  // namespace

bool PackComponents(GLenum type, const float* values, size_t count, int components, void* out) {
    auto* bytes = static_cast<unsigned char*>(out);
    if (type == GL_UNSIGNED_INT_S8_S8_8_8_NV || type == GL_UNSIGNED_INT_8_8_S8_S8_REV_NV) {
        if (components != 4) return false;
        for (size_t p = 0; p < count; ++p) {
            uint32_t word = 0;
            for (int c = 0; c < 4; ++c) {
                const double v = values[p * 4 + size_t(c)];
                const uint8_t field =
                    c < 2 ? uint8_t(int8_t(std::min(std::max(std::round(v * 128), -128.0), 127.0)))
                          : uint8_t(std::min(std::max(std::round(v * 255), 0.0), 255.0));
                word |= uint32_t(field)
                        << (type == GL_UNSIGNED_INT_S8_S8_8_8_NV ? 24 - 8 * c : 8 * c);
            }
            std::memcpy(bytes + p * 4, &word, 4);
        }
        return true;
    }
    const size_t size = TypeSize(type);
    if (size == 0) return false;
    for (size_t i = 0; i < count * size_t(components); ++i) {
        const double v = values[i];
        unsigned char* at = bytes + i * size;
        switch (type) {
            case GL_BYTE:
                Put<int8_t>(v * 128, -128, 127, at);
                break;
            case GL_UNSIGNED_BYTE:
                Put<uint8_t>(v * 255, 0, 255, at);
                break;
            case GL_SHORT:
                Put<int16_t>(v * 32768, -32768, 32767, at);
                break;
            case GL_UNSIGNED_SHORT:
                Put<uint16_t>(v * 65535, 0, 65535, at);
                break;
            case GL_INT:
                Put<int32_t>(v * 2147483648.0, -2147483648.0, 2147483647.0, at);
                break;
            case GL_UNSIGNED_INT:
                Put<uint32_t>(v * 4294967295.0, 0, 4294967295.0, at);
                break;
            default:
                std::memcpy(at, &values[i], 4);
        }
    }
    return true;
}

GLenum FloatStorageFormat(GLenum internalFormat) {
    const LegacyFormat* f = FindLegacy(internalFormat);
    return f != nullptr ? f->floatFormat : GLenum(GL_NONE);
}

std::string ConvertTexels(GLenum internalFormat, GLenum format, GLenum type, const void* pixels,
                          size_t count, FloatImage* image, const GroupTransfer& transfer) {
    const LegacyFormat* f = FindLegacy(internalFormat);
    if (f == nullptr) return "not a signed, HILO or DSDT internal format";
    int slots[4];
    const int components = ExternalComponents(format, slots);
    if (components == 0) return "unknown pixel format";
    if (!FormatFitsInternal(format, f->base)) {
        return "pixel format does not match the internal format";
    }
    const bool packed =
        type == GL_UNSIGNED_INT_S8_S8_8_8_NV || type == GL_UNSIGNED_INT_8_8_S8_S8_REV_NV;
    if (packed && format != GL_DSDT_MAG_VIB_NV) return "packed type needs DSDT_MAG_VIB_NV";
    if (!packed && TypeSize(type) == 0) return "unknown pixel type";
    if (pixels == nullptr && count > 0) return "no pixels";

    image->internalFormat = f->floatFormat;
    image->format = f->layout;
    image->components = f->components;
    image->texels.assign(count * f->components, 0.0f);
    const unsigned char* in = static_cast<const unsigned char*>(pixels);
    const size_t size = packed ? 4 : TypeSize(type);
    for (size_t p = 0; p < count; ++p) {
        float group[4] = {0, 0, 0, 1};
        if (packed) {
            uint32_t word;
            std::memcpy(&word, in + p * 4, 4);
            ReadPacked(type, word, group);
        } else {
            for (int c = 0; c < components; ++c) {
                group[slots[c]] = ReadComponent(type, in + (p * components + c) * size);
            }
        }
        for (int c = 0; c < 4; ++c) group[c] = group[c] * transfer.scale[c] + transfer.bias[c];
        Store(*f, group, &image->texels[p * f->components]);
    }
    return "";
}

}  // namespace fragmentprogram
