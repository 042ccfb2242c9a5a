#include "legacygl/legacy_textures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "legacygl/fragment_module.h"

namespace legacygl {

namespace {

// Each converted texture object of a share group: its legacy internal format and its border
// values as the application gave them (the driver holds them clamped to the format's ranges).
struct ConvertedTexture {
    GLenum format = GL_NONE;
    std::array<GLfloat, 4> border{};
};
// A texture object of the group: a named one by its name; the default textures (name 0) belong to
// one context (its layer) and one target each.
using TextureKey = std::tuple<const Layer*, int, GLuint>;
struct ConvertedTextures {
    std::mutex lock;
    std::map<TextureKey, ConvertedTexture> textures;
};

ConvertedTextures& Converted(ShareGroup& group) { return group.Object<ConvertedTextures>(); }

// The most texels one upload converts (4096 x 4096; as 4 floats each, 256 MiB).
constexpr size_t kMaxTexels = size_t(1) << 24;

// The index of the texture target an image target (a cube map face among them) belongs to, -1
// for proxies and unknown targets.
int TargetIndex(GLenum target) {
    const bool face =
        target >= GL_TEXTURE_CUBE_MAP_POSITIVE_X && target <= GL_TEXTURE_CUBE_MAP_NEGATIVE_Z;
    return fragmentprogram::TargetIndexOf(face ? GL_TEXTURE_CUBE_MAP : target);
}

TextureKey KeyOf(const Layer& layer, GLenum target, GLuint name) {
    if (name != 0) return {nullptr, -1, name};
    return {&layer, TargetIndex(target), 0};
}

// The driver's colour scales, then its biases.
const GLenum kColourTransfer[8] = {GL_RED_SCALE, GL_GREEN_SCALE, GL_BLUE_SCALE, GL_ALPHA_SCALE,
                                   GL_RED_BIAS,  GL_GREEN_BIAS,  GL_BLUE_BIAS,  GL_ALPHA_BIAS};

// Whether a legacy internal format holds colours (not HILO or texture offset groups).
bool HoldsColours(GLenum legacy) {
    switch (fragmentprogram::DescribeInternalFormat(legacy).base) {
        case GL_HILO_NV:
        case GL_DSDT_NV:
        case GL_DSDT_MAG_NV:
        case GL_DSDT_MAG_INTENSITY_NV:
            return false;
        default:
            return true;
    }
}

bool IsGroupFormat(GLenum format) {
    return format == GL_HILO_NV || format == GL_DSDT_NV || format == GL_DSDT_MAG_NV ||
           format == GL_DSDT_MAG_VIB_NV;
}

bool IsPackedType(GLenum type) {
    return type == GL_UNSIGNED_INT_S8_S8_8_8_NV || type == GL_UNSIGNED_INT_8_8_S8_S8_REV_NV;
}

// The format a float texture gives the components of an external format in.
GLenum FloatLayout(GLenum format) {
    switch (format) {
        case GL_HILO_NV:
        case GL_DSDT_NV:
            return GL_RG;
        case GL_DSDT_MAG_NV:
            return GL_RGB;
        case GL_DSDT_MAG_VIB_NV:
            return GL_RGBA;
        default:
            return format;
    }
}

// Components of one pixel of an external format, 0 for formats the layer does not unpack.
int Components(GLenum format) {
    switch (format) {
        case GL_RGBA:
        case GL_BGRA:
        case GL_DSDT_MAG_VIB_NV:
            return 4;
        case GL_RGB:
        case GL_BGR:
        case GL_DSDT_MAG_NV:
            return 3;
        case GL_HILO_NV:
        case GL_DSDT_NV:
        case GL_LUMINANCE_ALPHA:
        case GL_RG:
            return 2;
        case GL_RED:
        case GL_GREEN:
        case GL_BLUE:
        case GL_ALPHA:
        case GL_LUMINANCE:
            return 1;
        default:
            return 0;
    }
}

// Bytes of one pixel of (format, type) as the application stores it, 0 when unknown.
size_t PixelBytes(GLenum format, GLenum type) {
    if (IsPackedType(type)) return 4;
    const int components = Components(format);
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

// With byte swapping on, the bytes of each element of `type` (a packed type's whole word) in
// reverse order: what GL_UNPACK_SWAP_BYTES and GL_PACK_SWAP_BYTES ask of client memory.
void SwapElements(GLenum type, unsigned char* bytes, size_t size) {
    const size_t element = IsPackedType(type)                                              ? 4
                           : type == GL_SHORT || type == GL_UNSIGNED_SHORT                 ? 2
                           : type == GL_INT || type == GL_UNSIGNED_INT || type == GL_FLOAT ? 4
                                                                                           : 1;
    if (element == 1) return;
    for (size_t i = 0; i + element <= size; i += element)
        std::reverse(bytes + i, bytes + i + element);
}

}  // namespace

GLenum ConvertedFormat(Layer& layer, GLenum target, GLuint name) {
    ConvertedTextures& converted = Converted(layer.Group());
    std::lock_guard<std::mutex> hold(converted.lock);
    const auto found = converted.textures.find(KeyOf(layer, target, name));
    return found != converted.textures.end() ? found->second.format : GLenum(GL_NONE);
}

std::unique_ptr<Module> CreateLegacyTextures(Layer& layer) {
    if (layer.Get<FragmentModule>() == nullptr) return nullptr;  // the driver's own formats
    return std::make_unique<LegacyTextures>(layer);
}

LegacyTextures::LegacyTextures(Layer& layer) : layer_(layer), next_(layer.Next()) {}

LegacyTextures::~LegacyTextures() {
    // The context's default textures go with it.
    ConvertedTextures& converted = Converted(layer_.Group());
    std::lock_guard<std::mutex> hold(converted.lock);
    for (auto it = converted.textures.begin(); it != converted.textures.end();)
        it = std::get<0>(it->first) == &layer_ ? converted.textures.erase(it) : std::next(it);
}

GLint LegacyTextures::Integer(GLenum pname) const {
    GLint value = 0;
    if (next_.glGetIntegerv) next_.glGetIntegerv(pname, &value);
    return value;
}

bool LegacyTextures::Compiling() const { return Integer(GL_LIST_INDEX) != 0; }

GLuint LegacyTextures::Bound(GLenum target) const {
    const int index = TargetIndex(target);
    return index >= 0 ? GLuint(Integer(fragmentprogram::kTargetBindings[index])) : 0;
}

GLenum LegacyTextures::BoundFormat(GLenum target) const {
    return ConvertedFormat(layer_, target, Bound(target));
}

void LegacyTextures::Remember(GLenum target, GLenum legacy) {
    if (TargetIndex(target) < 0) return;  // a proxy: no texture object has the image
    // Run where the display list being compiled runs it: the texture bound then gets the format.
    layer_.Listed<LegacyTextures>(
        [target, legacy](LegacyTextures& m) { m.SetFormat(target, legacy); });
}

void LegacyTextures::SetFormat(GLenum target, GLenum legacy) {
    const TextureKey key = KeyOf(layer_, target, Bound(target));
    ConvertedTextures& converted = Converted(layer_.Group());
    std::array<GLfloat, 4> border;
    {
        std::lock_guard<std::mutex> hold(converted.lock);
        const auto found = converted.textures.find(key);
        if (found == converted.textures.end()) {
            if (legacy == GL_NONE) return;
            // Converted now: the border values so far are the driver's.
            border.fill(0);
            if (next_.glGetTexParameterfv)
                next_.glGetTexParameterfv(target, GL_TEXTURE_BORDER_COLOR, border.data());
            converted.textures[key] = {legacy, border};
        } else if (legacy == GL_NONE) {
            // Conventional again: the driver holds the border values as they were given.
            border = found->second.border;
            converted.textures.erase(found);
        } else {
            found->second.format = legacy;
            border = found->second.border;
        }
    }
    DriverBorder(target, legacy, border);
}

void LegacyTextures::DriverBorder(GLenum target, GLenum legacy, std::array<GLfloat, 4> border) {
    // Used as they are by float textures: clamped here to each component's range.
    if (legacy != GL_NONE) {
        for (int c = 0; c < 4; ++c)
            border[size_t(c)] =
                std::min(std::max(border[size_t(c)],
                                  fragmentprogram::ComponentIsSigned(legacy, c) ? -1.0f : 0.0f),
                         1.0f);
    }
    if (next_.glTexParameterfv)
        next_.glTexParameterfv(target, GL_TEXTURE_BORDER_COLOR, border.data());
}

bool LegacyTextures::TexParameter(GLenum target, GLenum pname, const GLint* ints,
                                  const GLfloat* floats) {
    if (pname != GL_TEXTURE_BORDER_VALUES_NV && pname != GL_TEXTURE_BORDER_COLOR) return false;
    std::array<GLint, 4> asInts{};
    std::array<GLfloat, 4> values{};
    for (size_t c = 0; c < 4; ++c) {
        if (ints != nullptr) asInts[c] = ints[c];
        values[c] = ints != nullptr ? IntegerToColour(ints[c]) : floats[c];
    }
    const bool integers = ints != nullptr;
    // Which texture the values reach, and whether it is converted, is decided when it runs.
    layer_.Listed<LegacyTextures>([=](LegacyTextures& m) {
        m.SetBorder(target, pname, integers ? asInts.data() : nullptr, values);
    });
    return true;
}

void LegacyTextures::SetBorder(GLenum target, GLenum pname, const GLint* ints,
                               std::array<GLfloat, 4> values) {
    const TextureKey key = KeyOf(layer_, target, Bound(target));
    ConvertedTextures& converted = Converted(layer_.Group());
    GLenum legacy = GL_NONE;
    {
        std::lock_guard<std::mutex> hold(converted.lock);
        const auto found = converted.textures.find(key);
        if (found != converted.textures.end()) {
            legacy = found->second.format;
            // The border colour is clamped to [0, 1] when set; the border values are not.
            if (pname == GL_TEXTURE_BORDER_COLOR)
                for (GLfloat& v : values) v = std::min(std::max(v, 0.0f), 1.0f);
            found->second.border = values;
        }
    }
    if (legacy != GL_NONE) return DriverBorder(target, legacy, values);
    // A conventional texture: the driver's own border colour, set as the application set it.
    if (ints != nullptr && next_.glTexParameteriv) {
        next_.glTexParameteriv(target, GL_TEXTURE_BORDER_COLOR, ints);
    } else if (ints == nullptr && next_.glTexParameterfv) {
        next_.glTexParameterfv(target, GL_TEXTURE_BORDER_COLOR, values.data());
    }
}

bool LegacyTextures::GetTexParameter(GLenum target, GLenum pname, GLint* ints, GLfloat* floats) {
    if (pname != GL_TEXTURE_BORDER_VALUES_NV && pname != GL_TEXTURE_BORDER_COLOR) return false;
    const TextureKey key = KeyOf(layer_, target, Bound(target));
    ConvertedTextures& converted = Converted(layer_.Group());
    std::array<GLfloat, 4> border;
    {
        std::lock_guard<std::mutex> hold(converted.lock);
        const auto found = converted.textures.find(key);
        if (found == converted.textures.end()) {
            // The driver's border colour answers for both names of a conventional texture.
            if (ints != nullptr && next_.glGetTexParameteriv)
                next_.glGetTexParameteriv(target, GL_TEXTURE_BORDER_COLOR, ints);
            if (floats != nullptr && next_.glGetTexParameterfv)
                next_.glGetTexParameterfv(target, GL_TEXTURE_BORDER_COLOR, floats);
            return true;
        }
        border = found->second.border;
    }
    for (size_t c = 0; c < 4; ++c) {
        if (ints != nullptr) ints[c] = ColourToInteger(border[c]);
        if (floats != nullptr) floats[c] = border[c];
    }
    return true;
}

bool LegacyTextures::TexImage(const TexUpload& u) {
    // Conventional images in display lists are the driver's to compile.
    if (!Compiling() ||
        (!u.sub && !fragmentprogram::IsLegacyInternalFormat(GLenum(u.internalFormat))))
        return Convert(u, false);
    auto texels = std::make_shared<std::vector<unsigned char>>();
    if (!Copied(u, texels.get())) return Convert(u, false);
    // A display list keeps the texels and converts them when it runs, with the pixel transfer
    // then; for a sub-image the texture bound then (converted or not) decides what they become.
    layer_.Listed<LegacyTextures>([u, texels](LegacyTextures& m) {
        TexUpload tight = u;
        tight.pixels = texels->data();
        if (!m.Convert(tight, true)) m.DriverUpload(tight);
    });
    return true;
}

bool LegacyTextures::Copied(const TexUpload& u, std::vector<unsigned char>* texels) const {
    const size_t count =
        size_t(std::max(u.width, 0)) * size_t(std::max(u.height, 0)) * size_t(std::max(u.depth, 0));
    if (u.pixels == nullptr || PixelBytes(u.format, u.type) == 0 || count == 0 ||
        count > kMaxTexels || Integer(GL_PIXEL_UNPACK_BUFFER_BINDING) != 0)
        return false;
    Unpacked(u, texels);
    return true;
}

bool LegacyTextures::Convert(const TexUpload& u, bool tight) {
    GLenum legacy = u.sub ? BoundFormat(u.target) : GLenum(u.internalFormat);
    if (!fragmentprogram::IsLegacyInternalFormat(legacy)) {
        // HILO and offset pixels, and the packed types, go only into their own formats.
        if (IsGroupFormat(u.format) || IsPackedType(u.type)) {
            layer_.RaiseListedError(GL_INVALID_OPERATION);
            return true;
        }
        if (!u.sub) Remember(u.target, GL_NONE);  // a conventional image replaces a converted one
        return false;
    }
    const GLint maxSize = Integer(u.dimensions == 3 ? GL_MAX_3D_TEXTURE_SIZE : GL_MAX_TEXTURE_SIZE);
    for (GLsizei size : {u.width, u.height, u.depth}) {
        if (size < 0 || (maxSize > 0 && size > maxSize)) {
            layer_.RaiseListedError(GL_INVALID_VALUE);
            return true;
        }
    }
    const size_t count = size_t(u.width) * size_t(u.height) * size_t(u.depth);
    if (count > kMaxTexels) {
        layer_.RaiseListedError(GL_OUT_OF_MEMORY);
        return true;
    }
    if (!tight && Integer(GL_PIXEL_UNPACK_BUFFER_BINDING) != 0) {
        // The texels would be in a buffer object: converting those is not supported.
        layer_.RaiseListedError(GL_INVALID_OPERATION);
        return true;
    }
    std::vector<unsigned char> packed;
    const void* pixels = tight ? u.pixels : Unpacked(u, &packed);
    const std::vector<float> zeros(pixels == nullptr ? count * 4 : 0);
    fragmentprogram::FloatImage image;
    // No data: the texels are undefined; zeros of a float format stand for them.
    const std::string refused =
        pixels != nullptr ? fragmentprogram::ConvertTexels(legacy, u.format, u.type, pixels, count,
                                                           &image, TransferOf(legacy))
                          : fragmentprogram::ConvertTexels(legacy, u.format, GL_FLOAT, zeros.data(),
                                                           count, &image);
    if (!refused.empty()) {
        layer_.RaiseListedError(GL_INVALID_OPERATION);
        return true;
    }
    Upload(u, image);
    if (!u.sub) Remember(u.target, legacy);
    return true;
}

bool LegacyTextures::CopyTexImage(GLenum target, GLenum* internalFormat) {
    // Framebuffer colours have no HILO or offset components; signed colour formats hold them (in
    // [0, 1]) as they are.
    const GLenum legacy = internalFormat != nullptr ? *internalFormat : BoundFormat(target);
    if (fragmentprogram::IsLegacyInternalFormat(legacy) && !HoldsColours(legacy)) {
        layer_.RaiseListedError(GL_INVALID_OPERATION);
        return false;
    }
    if (internalFormat == nullptr) return true;
    const GLenum storage = fragmentprogram::FloatStorageFormat(legacy);
    Remember(target, storage != GL_NONE ? legacy : GLenum(GL_NONE));
    if (storage != GL_NONE) *internalFormat = storage;
    return true;
}

void LegacyTextures::TexturesDeleted(GLsizei n, const GLuint* names) {
    // A name used again is a new texture; 0 is the default texture, which is never deleted.
    ConvertedTextures& converted = Converted(layer_.Group());
    std::lock_guard<std::mutex> hold(converted.lock);
    for (GLsizei i = 0; i < n; ++i)
        if (names[i] != 0) converted.textures.erase(KeyOf(layer_, GL_NONE, names[i]));
}

bool LegacyTextures::RefusesPixels(GLenum format, GLenum type) const {
    return IsGroupFormat(format) || IsPackedType(type);
}

bool LegacyTextures::GetTexImage(GLenum target, GLint level, GLenum format, GLenum type,
                                 void* pixels) {
    const GLenum legacy = BoundFormat(target);
    if (legacy == GL_NONE) {
        // HILO and offset pixels come only from their own formats.
        if (!IsGroupFormat(format) && !IsPackedType(type)) return false;
        layer_.RaiseError(GL_INVALID_OPERATION);
        return true;
    }
    if (!fragmentprogram::PixelFormatFits(format, legacy) ||
        (IsPackedType(type) && format != GL_DSDT_MAG_VIB_NV)) {
        layer_.RaiseError(GL_INVALID_OPERATION);
        return true;
    }
    const bool converts = IsPackedType(type) || PixelBytes(format, type) != 0;
    // Other types of colours: the driver's conversion from the float storage.
    if (!converts && !IsGroupFormat(format)) return false;
    if (!converts) {
        layer_.RaiseError(GL_INVALID_ENUM);
        return true;
    }
    if (Integer(GL_PIXEL_PACK_BUFFER_BINDING) != 0) {
        layer_.RaiseError(GL_INVALID_OPERATION);  // packing into buffer objects is not supported
        return true;
    }
    GLint width = 0, height = 0, depth = 0;
    if (next_.glGetTexLevelParameteriv) {
        next_.glGetTexLevelParameteriv(target, level, GL_TEXTURE_WIDTH, &width);
        next_.glGetTexLevelParameteriv(target, level, GL_TEXTURE_HEIGHT, &height);
        next_.glGetTexLevelParameteriv(target, level, GL_TEXTURE_DEPTH, &depth);
    }
    const size_t count =
        size_t(std::max(width, 0)) * size_t(std::max(height, 0)) * size_t(std::max(depth, 0));
    if (count == 0 || count > kMaxTexels || pixels == nullptr || !next_.glGetTexImage) {
        // No image: the driver raises what it raises for it.
        if (next_.glGetTexImage)
            next_.glGetTexImage(target, level, FloatLayout(format), GL_FLOAT, nullptr);
        return true;
    }
    // The stored floats, tight, then each as the application's type where pack state says.
    const int components = Components(format);
    std::vector<float> floats(count * size_t(components));
    if (next_.glPushClientAttrib) next_.glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    if (next_.glPixelStorei) {
        for (GLenum pname : {GL_PACK_SWAP_BYTES, GL_PACK_ROW_LENGTH, GL_PACK_SKIP_ROWS,
                             GL_PACK_SKIP_PIXELS, GL_PACK_IMAGE_HEIGHT, GL_PACK_SKIP_IMAGES})
            next_.glPixelStorei(pname, 0);
        next_.glPixelStorei(GL_PACK_ALIGNMENT, 1);
    }
    next_.glGetTexImage(target, level, FloatLayout(format), GL_FLOAT, floats.data());
    if (next_.glPopClientAttrib) next_.glPopClientAttrib();
    const size_t pixel = PixelBytes(format, type);
    std::vector<unsigned char> packed(count * pixel);
    fragmentprogram::PackComponents(type, floats.data(), count, IsPackedType(type) ? 4 : components,
                                    packed.data());
    if (Integer(GL_PACK_SWAP_BYTES) != 0) SwapElements(type, packed.data(), packed.size());
    const GLint rowLength = Integer(GL_PACK_ROW_LENGTH),
                imageHeight = Integer(GL_PACK_IMAGE_HEIGHT);
    const size_t a = size_t(std::max(Integer(GL_PACK_ALIGNMENT), 1));
    const size_t stride =
        ((rowLength > 0 ? size_t(rowLength) : size_t(width)) * pixel + a - 1) / a * a;
    const size_t imageStride = stride * (imageHeight > 0 ? size_t(imageHeight) : size_t(height));
    auto* out =
        static_cast<unsigned char*>(pixels) + size_t(Integer(GL_PACK_SKIP_IMAGES)) * imageStride +
        size_t(Integer(GL_PACK_SKIP_ROWS)) * stride + size_t(Integer(GL_PACK_SKIP_PIXELS)) * pixel;
    const size_t row = size_t(width) * pixel;
    const unsigned char* in = packed.data();
    for (GLint image = 0; image < depth; ++image)
        for (GLint y = 0; y < height; ++y, in += row)
            std::memcpy(out + size_t(image) * imageStride + size_t(y) * stride, in, row);
    return true;
}

const void* LegacyTextures::Unpacked(const TexUpload& u, std::vector<unsigned char>* packed) const {
    const size_t pixel = PixelBytes(u.format, u.type);
    const size_t count = size_t(u.width) * size_t(u.height) * size_t(u.depth);
    if (u.pixels == nullptr || pixel == 0 || count == 0) return u.pixels;
    const GLint rowLength = Integer(GL_UNPACK_ROW_LENGTH);
    const size_t a = size_t(std::max(Integer(GL_UNPACK_ALIGNMENT), 1));
    const size_t rowPixels = rowLength > 0 ? size_t(rowLength) : size_t(u.width);
    const size_t stride = (rowPixels * pixel + a - 1) / a * a;
    // Image height and skipped images count for 3D images only.
    const GLint imageHeight = u.dimensions == 3 ? Integer(GL_UNPACK_IMAGE_HEIGHT) : 0;
    const size_t skipImages = u.dimensions == 3 ? size_t(Integer(GL_UNPACK_SKIP_IMAGES)) : 0;
    const size_t imageStride = stride * (imageHeight > 0 ? size_t(imageHeight) : size_t(u.height));
    const auto* source = static_cast<const unsigned char*>(u.pixels) + skipImages * imageStride +
                         size_t(Integer(GL_UNPACK_SKIP_ROWS)) * stride +
                         size_t(Integer(GL_UNPACK_SKIP_PIXELS)) * pixel;
    const size_t row = size_t(u.width) * pixel;
    packed->resize(count * pixel);
    unsigned char* out = packed->data();
    for (GLsizei image = 0; image < u.depth; ++image)
        for (GLsizei y = 0; y < u.height; ++y, out += row)
            std::memcpy(out, source + size_t(image) * imageStride + size_t(y) * stride, row);
    if (Integer(GL_UNPACK_SWAP_BYTES) != 0) SwapElements(u.type, packed->data(), packed->size());
    return packed->data();
}

void LegacyTextures::Upload(const TexUpload& u, const fragmentprogram::FloatImage& image) {
    // The conversion applied the pixel transfer: the driver's colour scales and biases are at
    // their defaults for the upload (unless a display list is compiled: the driver applies them
    // when it runs, and the conversion left colours to it).
    GLfloat saved[8] = {1, 1, 1, 1, 0, 0, 0, 0};
    const bool reset = !Compiling() && next_.glGetFloatv && next_.glPixelTransferf;
    if (reset) {
        for (int i = 0; i < 8; ++i) {
            next_.glGetFloatv(kColourTransfer[i], &saved[i]);
            next_.glPixelTransferf(kColourTransfer[i], i < 4 ? 1.0f : 0.0f);
        }
    }
    TexUpload floats = u;
    floats.internalFormat = GLint(image.internalFormat);
    floats.format = image.format;
    floats.type = GL_FLOAT;
    floats.pixels = image.texels.data();
    DriverUpload(floats);
    if (reset)
        for (int i = 0; i < 8; ++i) next_.glPixelTransferf(kColourTransfer[i], saved[i]);
}

void LegacyTextures::DriverUpload(const TexUpload& u) {
    // Texels of the layer's own, tight in client memory.
    const GLint buffer = Integer(GL_PIXEL_UNPACK_BUFFER_BINDING);
    if (buffer != 0 && next_.glBindBuffer) next_.glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    if (next_.glPushClientAttrib) next_.glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    if (next_.glPixelStorei) {
        for (GLenum pname : {GL_UNPACK_SWAP_BYTES, GL_UNPACK_ROW_LENGTH, GL_UNPACK_SKIP_ROWS,
                             GL_UNPACK_SKIP_PIXELS, GL_UNPACK_IMAGE_HEIGHT, GL_UNPACK_SKIP_IMAGES})
            next_.glPixelStorei(pname, 0);
        next_.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    }
    const void* t = u.pixels;
    switch (u.dimensions * 2 + (u.sub ? 1 : 0)) {
        case 2:
            if (next_.glTexImage1D)
                next_.glTexImage1D(u.target, u.level, u.internalFormat, u.width, u.border, u.format,
                                   u.type, t);
            break;
        case 3:
            if (next_.glTexSubImage1D)
                next_.glTexSubImage1D(u.target, u.level, u.x, u.width, u.format, u.type, t);
            break;
        case 4:
            if (next_.glTexImage2D)
                next_.glTexImage2D(u.target, u.level, u.internalFormat, u.width, u.height, u.border,
                                   u.format, u.type, t);
            break;
        case 5:
            if (next_.glTexSubImage2D)
                next_.glTexSubImage2D(u.target, u.level, u.x, u.y, u.width, u.height, u.format,
                                      u.type, t);
            break;
        case 6:
            if (next_.glTexImage3D)
                next_.glTexImage3D(u.target, u.level, u.internalFormat, u.width, u.height, u.depth,
                                   u.border, u.format, u.type, t);
            break;
        default:
            if (next_.glTexSubImage3D)
                next_.glTexSubImage3D(u.target, u.level, u.x, u.y, u.z, u.width, u.height, u.depth,
                                      u.format, u.type, t);
    }
    if (next_.glPopClientAttrib) next_.glPopClientAttrib();
    if (buffer != 0 && next_.glBindBuffer)
        next_.glBindBuffer(GL_PIXEL_UNPACK_BUFFER, GLuint(buffer));
}

GLfloat* LegacyTextures::Transfer(GLenum pname) {
    return const_cast<GLfloat*>(static_cast<const LegacyTextures*>(this)->Transfer(pname));
}

const GLfloat* LegacyTextures::Transfer(GLenum pname) const {
    if (pname >= GL_HI_SCALE_NV && pname <= GL_VIBRANCE_SCALE_NV)
        return &transfer_.scale[pname - GL_HI_SCALE_NV];
    if (pname >= GL_HI_BIAS_NV && pname <= GL_VIBRANCE_BIAS_NV)
        return &transfer_.bias[pname - GL_HI_BIAS_NV];
    return nullptr;
}

fragmentprogram::GroupTransfer LegacyTextures::TransferOf(GLenum legacy) const {
    fragmentprogram::GroupTransfer t;
    if (HoldsColours(legacy)) {
        // The driver's colour scales and biases, (RED, GREEN, BLUE, ALPHA).
        if (Compiling() || !next_.glGetFloatv) return t;
        for (int c = 0; c < 4; ++c) {
            next_.glGetFloatv(kColourTransfer[c], &t.scale[c]);
            next_.glGetFloatv(kColourTransfer[4 + c], &t.bias[c]);
        }
        return t;
    }
    // HILO takes (HI, LO), the offset groups (DS, DT, MAGNITUDE, VIBRANCE).
    const int first = fragmentprogram::DescribeInternalFormat(legacy).base == GL_HILO_NV ? 0 : 2;
    const int count = first == 0 ? 2 : 4;
    for (int c = 0; c < count; ++c) {
        t.scale[c] = transfer_.scale[first + c];
        t.bias[c] = transfer_.bias[first + c];
    }
    return t;
}

bool LegacyTextures::PixelTransfer(GLenum pname, GLfloat value) {
    if (Transfer(pname) == nullptr) return false;
    layer_.Listed<LegacyTextures>(
        [pname, value](LegacyTextures& m) { *m.Transfer(pname) = value; });
    return true;
}

bool LegacyTextures::GetIntegers(GLenum pname, GLint* out) const {
    const GLfloat* value = Transfer(pname);
    if (value == nullptr) return false;
    *out = GLint(std::lround(*value));
    return true;
}

int LegacyTextures::GetFloats(GLenum pname, GLfloat* out) const {
    const GLfloat* value = Transfer(pname);
    if (value == nullptr) return 0;
    *out = *value;
    return 1;
}

void LegacyTextures::AttributesPushed(GLbitfield mask) {
    pushed_.emplace_back((mask & GL_PIXEL_MODE_BIT) != 0, transfer_);
}

void LegacyTextures::AttributesPopped() {
    if (pushed_.empty()) return;
    if (pushed_.back().first) transfer_ = pushed_.back().second;
    pushed_.pop_back();
}

}  // namespace legacygl
