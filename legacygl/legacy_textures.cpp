#include "legacygl/legacy_textures.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fragmentprogram/texel_conversion.h"
#include "legacygl/fragment_module.h"

namespace legacygl {

namespace {

// The legacy internal format of each converted texture object, common to a share group.
struct ConvertedTextures {
    std::mutex lock;
    std::map<GLuint, GLenum> formats;
};

ConvertedTextures& Converted(ShareGroup& group) { return group.Object<ConvertedTextures>(); }

const GLenum kBindings[fragmentprogram::kTargetCount] = {
    GL_TEXTURE_BINDING_1D, GL_TEXTURE_BINDING_2D, GL_TEXTURE_BINDING_3D,
    GL_TEXTURE_BINDING_CUBE_MAP, GL_TEXTURE_BINDING_RECTANGLE_NV};

// Bytes of one pixel of (format, type) as the application stores it, 0 when unknown.
size_t PixelBytes(GLenum format, GLenum type) {
    if (type == GL_UNSIGNED_INT_S8_S8_8_8_NV || type == GL_UNSIGNED_INT_8_8_S8_S8_REV_NV) return 4;
    int components;
    switch (format) {
        case GL_RGBA:
        case GL_BGRA:
        case GL_DSDT_MAG_VIB_NV:
            components = 4;
            break;
        case GL_RGB:
        case GL_BGR:
        case GL_DSDT_MAG_NV:
            components = 3;
            break;
        case GL_HILO_NV:
        case GL_DSDT_NV:
        case GL_LUMINANCE_ALPHA:
            components = 2;
            break;
        default:
            components = 1;
    }
    switch (type) {
        case GL_BYTE:
        case GL_UNSIGNED_BYTE:
            return components;
        case GL_SHORT:
        case GL_UNSIGNED_SHORT:
            return 2 * components;
        case GL_INT:
        case GL_UNSIGNED_INT:
        case GL_FLOAT:
            return 4 * components;
        default:
            return 0;
    }
}

}  // namespace

GLenum ConvertedFormat(ShareGroup& group, GLuint name) {
    ConvertedTextures& converted = Converted(group);
    std::lock_guard<std::mutex> hold(converted.lock);
    const auto found = converted.formats.find(name);
    return found != converted.formats.end() ? found->second : GLenum(GL_NONE);
}

std::unique_ptr<Module> CreateLegacyTextures(Layer& layer) {
    if (layer.Get<FragmentModule>() == nullptr) return nullptr;  // the driver's own formats
    return std::make_unique<LegacyTextures>(layer);
}

LegacyTextures::LegacyTextures(Layer& layer) : layer_(layer), next_(layer.Next()) {}

bool LegacyTextures::TexImage(const TexUpload& u) {
    GLint name = 0;
    const int target = fragmentprogram::TargetIndexOf(
        u.target >= GL_TEXTURE_CUBE_MAP_POSITIVE_X && u.target <= GL_TEXTURE_CUBE_MAP_NEGATIVE_Z
            ? GL_TEXTURE_CUBE_MAP
            : u.target);
    if (target >= 0 && next_.glGetIntegerv) next_.glGetIntegerv(kBindings[target], &name);
    GLenum legacy = GL_NONE;
    ConvertedTextures& converted = Converted(layer_.Group());
    {
        std::lock_guard<std::mutex> hold(converted.lock);
        if (!u.sub) {
            if (!fragmentprogram::IsLegacyInternalFormat(GLenum(u.internalFormat))) {
                converted.formats.erase(GLuint(name));  // a conventional image replaces it
                return false;
            }
            legacy = GLenum(u.internalFormat);
        } else {
            const auto found = converted.formats.find(GLuint(name));
            if (found == converted.formats.end()) return false;
            legacy = found->second;
        }
    }
    GLint maxSize = 0, unpackBuffer = 0;
    if (next_.glGetIntegerv) {
        next_.glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
        next_.glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &unpackBuffer);
    }
    if (u.width < 0 || u.height < 0 || (maxSize > 0 && (u.width > maxSize || u.height > maxSize))) {
        RaiseError(GL_INVALID_VALUE);
        return true;
    }
    if (unpackBuffer != 0) {
        // The texels would be in a buffer object: converting those is not supported.
        RaiseError(GL_INVALID_OPERATION);
        return true;
    }
    // The application's rows, packed tight for the conversion.
    const size_t pixel = PixelBytes(u.format, u.type);
    const size_t count = size_t(u.width) * size_t(u.height);
    std::vector<unsigned char> packed;
    const void* pixels = u.pixels;
    GLint alignment = 4, rowLength = 0, skipRows = 0, skipPixels = 0;
    if (next_.glGetIntegerv) {
        next_.glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        next_.glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
        next_.glGetIntegerv(GL_UNPACK_SKIP_ROWS, &skipRows);
        next_.glGetIntegerv(GL_UNPACK_SKIP_PIXELS, &skipPixels);
    }
    if (pixels != nullptr && pixel != 0 && count != 0) {
        const size_t rowPixels = rowLength > 0 ? size_t(rowLength) : size_t(u.width);
        const size_t a = size_t(std::max(alignment, 1));
        const size_t stride = (rowPixels * pixel + a - 1) / a * a;
        const auto* source = static_cast<const unsigned char*>(pixels) + size_t(skipRows) * stride +
                             size_t(skipPixels) * pixel;
        packed.resize(count * pixel);
        for (GLsizei row = 0; row < u.height; ++row)
            std::memcpy(&packed[size_t(row) * u.width * pixel], source + size_t(row) * stride,
                        size_t(u.width) * pixel);
        pixels = packed.data();
    }
    fragmentprogram::FloatImage image;
    const std::vector<unsigned char> zeros(pixels == nullptr ? count * 16 : 0);
    if (pixels == nullptr) {
        // No data: the texels are undefined; zeros of a float format stand for them.
        pixels = zeros.data();
        const std::string refused =
            fragmentprogram::ConvertTexels(legacy, u.format, GL_FLOAT, pixels, count, &image);
        if (!refused.empty()) {
            RaiseError(GL_INVALID_OPERATION);
            return true;
        }
    } else {
        const std::string refused =
            fragmentprogram::ConvertTexels(legacy, u.format, u.type, pixels, count, &image);
        if (!refused.empty()) {
            RaiseError(GL_INVALID_OPERATION);
            return true;
        }
    }
    if (next_.glPushClientAttrib) next_.glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    if (next_.glPixelStorei) {
        next_.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        next_.glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        next_.glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
        next_.glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    }
    const float* texels = image.texels.data();
    if (!u.sub && u.dimensions == 1 && next_.glTexImage1D)
        next_.glTexImage1D(u.target, u.level, GLint(image.internalFormat), u.width, u.border,
                           image.format, GL_FLOAT, texels);
    if (!u.sub && u.dimensions == 2 && next_.glTexImage2D)
        next_.glTexImage2D(u.target, u.level, GLint(image.internalFormat), u.width, u.height,
                           u.border, image.format, GL_FLOAT, texels);
    if (u.sub && u.dimensions == 1 && next_.glTexSubImage1D)
        next_.glTexSubImage1D(u.target, u.level, u.x, u.width, image.format, GL_FLOAT, texels);
    if (u.sub && u.dimensions == 2 && next_.glTexSubImage2D)
        next_.glTexSubImage2D(u.target, u.level, u.x, u.y, u.width, u.height, image.format,
                              GL_FLOAT, texels);
    if (next_.glPopClientAttrib) next_.glPopClientAttrib();
    if (!u.sub) {
        std::lock_guard<std::mutex> hold(converted.lock);
        converted.formats[GLuint(name)] = legacy;
    }
    return true;
}

}  // namespace legacygl
