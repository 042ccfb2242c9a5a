#include "legacygl/legacy_textures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
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

GLint Query(const NextGl& next, GLenum pname) {
    GLint value = 0;
    if (next.glGetIntegerv) next.glGetIntegerv(pname, &value);
    return value;
}

// Sizes of pixel rows, saturated at SIZE_MAX: past the end of any buffer.
size_t Times(size_t a, size_t b) {
    size_t r;
    return __builtin_mul_overflow(a, b, &r) ? SIZE_MAX : r;
}
size_t Plus(size_t a, size_t b) {
    size_t r;
    return __builtin_add_overflow(a, b, &r) ? SIZE_MAX : r;
}
size_t Count(GLint value) { return size_t(std::max(value, 0)); }

// Where an image lies in the application's memory under the pack or unpack state, in bytes from
// where its pixels point: the first row at `first`, rows `row` bytes long, `stride` apart, images
// `imageStride` apart, `end` one past the last byte.
struct RowLayout {
    size_t row = 0, stride = 0, imageStride = 0, first = 0, end = 0;
    bool swap = false;  // each element's bytes reversed
};

// The layout of width x height x depth pixels of `pixel` bytes each; image height and skipped
// images count for 3D images only.
RowLayout Layout(const NextGl& next, bool pack, bool threeD, GLsizei width, GLsizei height,
                 GLsizei depth, size_t pixel) {
    auto get = [&](GLenum packName, GLenum unpackName) {
        return Query(next, pack ? packName : unpackName);
    };
    RowLayout l;
    const GLint rowLength = get(GL_PACK_ROW_LENGTH, GL_UNPACK_ROW_LENGTH);
    const size_t a = size_t(std::max(get(GL_PACK_ALIGNMENT, GL_UNPACK_ALIGNMENT), 1));
    l.row = Times(Count(width), pixel);
    l.stride = Plus(Times(Count(rowLength > 0 ? rowLength : width), pixel), a - 1) / a * a;
    const GLint imageHeight = threeD ? get(GL_PACK_IMAGE_HEIGHT, GL_UNPACK_IMAGE_HEIGHT) : 0;
    l.imageStride = Times(l.stride, Count(imageHeight > 0 ? imageHeight : height));
    const size_t skipImages = threeD ? Count(get(GL_PACK_SKIP_IMAGES, GL_UNPACK_SKIP_IMAGES)) : 0;
    l.first = Plus(Plus(Times(skipImages, l.imageStride),
                        Times(Count(get(GL_PACK_SKIP_ROWS, GL_UNPACK_SKIP_ROWS)), l.stride)),
                   Times(Count(get(GL_PACK_SKIP_PIXELS, GL_UNPACK_SKIP_PIXELS)), pixel));
    l.end = l.first;
    if (width > 0 && height > 0 && depth > 0)
        l.end = Plus(Plus(Plus(l.first, Times(Count(depth - 1), l.imageStride)),
                          Times(Count(height - 1), l.stride)),
                     l.row);
    l.swap = get(GL_PACK_SWAP_BYTES, GL_UNPACK_SWAP_BYTES) != 0;
    return l;
}

// Copies height x depth rows between tight bytes and bytes laid out as the layout says.
void CopyRows(const RowLayout& l, GLsizei height, GLsizei depth, unsigned char* rows,
              unsigned char* tight, bool toRows) {
    for (GLsizei image = 0; image < depth; ++image) {
        for (GLsizei y = 0; y < height; ++y, tight += l.row) {
            unsigned char* at = rows + size_t(image) * l.imageStride + size_t(y) * l.stride;
            std::memcpy(toRows ? at : tight, toRows ? tight : at, l.row);
        }
    }
}

// The application's pixels of one operation: in client memory, or, with a buffer bound to the
// pixel buffer target, at the offset `pixels` in that buffer, mapped for `access` while this
// lives (the range the layout covers only).
class ApplicationPixels {
  public:
    ApplicationPixels(const NextGl& next, GLenum target, const void* pixels,
                      const RowLayout& layout, GLbitfield access)
        : next_(next), target_(target) {
        const GLenum binding = target == GL_PIXEL_PACK_BUFFER ? GL_PIXEL_PACK_BUFFER_BINDING
                                                              : GL_PIXEL_UNPACK_BUFFER_BINDING;
        if (Query(next, binding) == 0) {
            refused_ = false;
            if (pixels != nullptr)
                rows_ = const_cast<unsigned char*>(static_cast<const unsigned char*>(pixels)) +
                        layout.first;
            return;
        }
        // The GL's rule for buffers: the whole range within the buffer, which is not mapped.
        GLint size = 0, mapped = GL_FALSE;
        if (next.glGetBufferParameteriv) {
            next.glGetBufferParameteriv(target, GL_BUFFER_SIZE, &size);
            next.glGetBufferParameteriv(target, GL_BUFFER_MAPPED, &mapped);
        }
        const size_t offset = reinterpret_cast<uintptr_t>(pixels);
        if (mapped != GL_FALSE || Plus(offset, layout.end) > Count(size) ||
            !next.glMapBufferRange || !next.glUnmapBuffer)
            return;
        void* range = next.glMapBufferRange(target, GLintptr(offset + layout.first),
                                            GLsizeiptr(layout.end - layout.first), access);
        mapped_ = range != nullptr;
        rows_ = static_cast<unsigned char*>(range);
        refused_ = !mapped_;
    }
    ~ApplicationPixels() {
        if (mapped_) next_.glUnmapBuffer(target_);
    }
    ApplicationPixels(const ApplicationPixels&) = delete;
    ApplicationPixels& operator=(const ApplicationPixels&) = delete;

    // Whether a buffer refuses the range.
    bool Refused() const { return refused_; }
    // The image's first row; null without pixels.
    unsigned char* Rows() const { return rows_; }

  private:
    const NextGl& next_;
    const GLenum target_;
    bool refused_ = true;
    bool mapped_ = false;
    unsigned char* rows_ = nullptr;
};

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

GLint LegacyTextures::Integer(GLenum pname) const { return Query(next_, pname); }

template <typename F>
void LegacyTextures::Tight(bool pack, F f) const {
    const GLenum target = pack ? GL_PIXEL_PACK_BUFFER : GL_PIXEL_UNPACK_BUFFER;
    const GLint buffer =
        Integer(pack ? GL_PIXEL_PACK_BUFFER_BINDING : GL_PIXEL_UNPACK_BUFFER_BINDING);
    if (buffer != 0 && next_.glBindBuffer) next_.glBindBuffer(target, 0);
    if (next_.glPushClientAttrib) next_.glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    if (next_.glPixelStorei) {
        const GLenum defaults[2][6] = {
            {GL_UNPACK_SWAP_BYTES, GL_UNPACK_ROW_LENGTH, GL_UNPACK_SKIP_ROWS, GL_UNPACK_SKIP_PIXELS,
             GL_UNPACK_IMAGE_HEIGHT, GL_UNPACK_SKIP_IMAGES},
            {GL_PACK_SWAP_BYTES, GL_PACK_ROW_LENGTH, GL_PACK_SKIP_ROWS, GL_PACK_SKIP_PIXELS,
             GL_PACK_IMAGE_HEIGHT, GL_PACK_SKIP_IMAGES}};
        for (GLenum pname : defaults[pack ? 1 : 0]) next_.glPixelStorei(pname, 0);
        next_.glPixelStorei(pack ? GL_PACK_ALIGNMENT : GL_UNPACK_ALIGNMENT, 1);
    }
    f();
    if (next_.glPopClientAttrib) next_.glPopClientAttrib();
    if (buffer != 0 && next_.glBindBuffer) next_.glBindBuffer(target, GLuint(buffer));
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
    if (PixelBytes(u.format, u.type) == 0 || count == 0 || count > kMaxTexels) return false;
    // Texels in an unpack buffer are read now too, as the GL compiles them.
    const void* tight = nullptr;
    return Unpacked(u, texels, &tight) && tight != nullptr;
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
    std::vector<unsigned char> packed;
    const void* pixels = u.pixels;
    if (!tight && !Unpacked(u, &packed, &pixels)) {
        layer_.RaiseListedError(GL_INVALID_OPERATION);
        return true;
    }
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
    GLint width = 0, height = 0, depth = 0;
    if (next_.glGetTexLevelParameteriv) {
        next_.glGetTexLevelParameteriv(target, level, GL_TEXTURE_WIDTH, &width);
        next_.glGetTexLevelParameteriv(target, level, GL_TEXTURE_HEIGHT, &height);
        next_.glGetTexLevelParameteriv(target, level, GL_TEXTURE_DEPTH, &depth);
    }
    const size_t count =
        size_t(std::max(width, 0)) * size_t(std::max(height, 0)) * size_t(std::max(depth, 0));
    if (count == 0 || count > kMaxTexels || !next_.glGetTexImage ||
        (pixels == nullptr && Integer(GL_PIXEL_PACK_BUFFER_BINDING) == 0)) {
        // No image: the driver raises what it raises for it.
        if (next_.glGetTexImage) {
            Tight(true, [&] {
                next_.glGetTexImage(target, level, FloatLayout(format), GL_FLOAT, nullptr);
            });
        }
        return true;
    }
    // The stored floats, tight, then each as the application's type where pack state says.
    const int components = Components(format);
    std::vector<float> floats(count * size_t(components));
    Tight(true, [&] {
        next_.glGetTexImage(target, level, FloatLayout(format), GL_FLOAT, floats.data());
    });
    const size_t pixel = PixelBytes(format, type);
    std::vector<unsigned char> packed(count * pixel);
    fragmentprogram::PackComponents(type, floats.data(), count, IsPackedType(type) ? 4 : components,
                                    packed.data());
    const RowLayout layout =
        Layout(next_, true, target == GL_TEXTURE_3D, width, height, depth, pixel);
    if (layout.swap) SwapElements(type, packed.data(), packed.size());
    const ApplicationPixels out(next_, GL_PIXEL_PACK_BUFFER, pixels, layout, GL_MAP_WRITE_BIT);
    if (out.Refused()) {
        layer_.RaiseError(GL_INVALID_OPERATION);
        return true;
    }
    CopyRows(layout, height, depth, out.Rows(), packed.data(), true);
    return true;
}

bool LegacyTextures::Unpacked(const TexUpload& u, std::vector<unsigned char>* packed,
                              const void** texels) const {
    const size_t pixel = PixelBytes(u.format, u.type);
    const size_t count = size_t(u.width) * size_t(u.height) * size_t(u.depth);
    // Nothing the layer reads: the conversion refuses pixels it does not know before reading.
    *texels = u.pixels;
    if (pixel == 0 || count == 0) return true;
    const RowLayout layout =
        Layout(next_, false, u.dimensions == 3, u.width, u.height, u.depth, pixel);
    const ApplicationPixels source(next_, GL_PIXEL_UNPACK_BUFFER, u.pixels, layout,
                                   GL_MAP_READ_BIT);
    if (source.Refused()) return false;
    if (source.Rows() == nullptr) return true;
    packed->resize(count * pixel);
    CopyRows(layout, u.height, u.depth, source.Rows(), packed->data(), false);
    if (layout.swap) SwapElements(u.type, packed->data(), packed->size());
    *texels = packed->data();
    return true;
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
    Tight(false, [&] { DriverImage(u); });
}

void LegacyTextures::DriverImage(const TexUpload& u) {
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
