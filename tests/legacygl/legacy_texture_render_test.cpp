// The legacy texture formats uploaded through the layer and read by the real driver under Xvfb:
// texture-shader set-ups against the CPU evaluation of the same state, and the float storage
// read by a program of the test's own against the extensions' conversion written out here.
#define GL_GLEXT_PROTOTYPES 1

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

// After gtest: X11 (through GLX) defines names such as None.
#include "tests/legacygl/fragment_draw_test.h"

namespace {

using fragmentprogram::Vec4;
using legacygltest::Fetch;
using legacygltest::FragmentDrawTest;
using legacygltest::kTolerance;

class LegacyTextureRender : public FragmentDrawTest {
  protected:
    // Deletes the test's textures and lists and leaves the environments, the pixel store and
    // the pixel buffer bindings as a test finds them.
    void TearDown() override {
        glDeleteTextures(GLsizei(textures_.size()), textures_.data());
        for (GLuint list : lists_) glDeleteLists(list, 1);
        for (int unit = 0; unit < kUnits; ++unit) {
            glActiveTexture(GL_TEXTURE0 + unit);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        }
        for (GLenum pname : {GL_UNPACK_SWAP_BYTES, GL_UNPACK_ROW_LENGTH, GL_UNPACK_SKIP_ROWS,
                             GL_UNPACK_SKIP_PIXELS, GL_UNPACK_IMAGE_HEIGHT, GL_UNPACK_SKIP_IMAGES,
                             GL_PACK_SWAP_BYTES})
            glPixelStorei(pname, 0);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        FragmentDrawTest::TearDown();
    }
    // A new texture bound to target on the active unit, sampled nearest.
    GLuint Texture(GLenum target) {
        textures_.push_back(0);
        glGenTextures(1, &textures_.back());
        glBindTexture(target, textures_.back());
        glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        return textures_.back();
    }
    GLuint List() {
        lists_.push_back(glGenLists(1));
        return lists_.back();
    }
    // The texel of unit 0's texture on `target` ("2D", "3D") at coord as the driver stores it,
    // read by a program of the test's own with texture shaders off.
    Vec4 Stored(const char* target, const Vec4& coord) {
        const std::string text =
            std::string("!!ARBfp1.0\nTEX result.color, fragment.texcoord[0], ") + "texture[0], " +
            target + ";\nEND\n";
        auto genPrograms = Fetch<PFNGLGENPROGRAMSARBPROC>("glGenProgramsARB");
        auto bindProgram = Fetch<PFNGLBINDPROGRAMARBPROC>("glBindProgramARB");
        auto programString = Fetch<PFNGLPROGRAMSTRINGARBPROC>("glProgramStringARB");
        auto deletePrograms = Fetch<PFNGLDELETEPROGRAMSARBPROC>("glDeleteProgramsARB");
        GLint own = 0;
        harness->Nv().GetProgramivARB(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_BINDING_ARB, &own);
        GLuint id = 0;
        genPrograms(1, &id);
        bindProgram(GL_FRAGMENT_PROGRAM_ARB, id);
        programString(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_FORMAT_ASCII_ARB, GLsizei(text.size()),
                      text.data());
        fragment_.texcoord[0] = coord;
        const Vec4 drawn = Draw();
        bindProgram(GL_FRAGMENT_PROGRAM_ARB, GLuint(own));
        deletePrograms(1, &id);
        return drawn;
    }
    Vec4 Stored2D() { return Stored("2D", {0.5f, 0.5f, 0, 1}); }

    std::vector<GLuint> textures_, lists_;
};

TEST_F(LegacyTextureRender, SignedUploadsHonourTheUnpackRowsAndSubImagesReplaceTexels) {
    // 2x2 signed RGB bytes, rows of 6 bytes padded to 8 by the default alignment of 4; then
    // texel 2 (x 0, y 1) replaced in the texture's own signed format.
    const GLbyte rows[16] = {10, 20, 30, 40, 50, 60, -7, -7, 70, 80, 90, 100, 110, 120, -7, -7};
    const GLbyte replacement[3] = {127, 64, 1};
    glActiveTexture(GL_TEXTURE0);
    Texture(GL_TEXTURE_2D);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_SIGNED_RGB8_NV, 2, 2, 0, GL_RGB, GL_BYTE, rows);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 1, 1, 1, GL_RGB, GL_BYTE, replacement);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    for (int t = 0; t < 4; ++t) {
        const GLbyte* texel = t == 2 ? replacement : rows + 8 * (t / 2) + 3 * (t % 2);
        EXPECT_EQ(Stored("2D", {(t % 2) * 0.5f + 0.25f, (t / 2) * 0.5f + 0.25f, 0, 1}),
                  (Vec4{texel[0] / 128.0f, texel[1] / 128.0f, texel[2] / 128.0f, 1}))
            << "texel " << t;
    }
}

// The texel (0 or 1) a coordinate reads along a side of two texels clamped to the edge.
int Half(float c) { return std::min(std::max(int(std::floor(c * 2)), 0), 1); }

// A legacy 3D image: 2x2x2 texels of `components` values each, the application's type, and the
// values the extension's conversion gives them (stored as the float layout reads back).
struct Image3D {
    GLenum internalFormat, format, type;
    int components;
    // Raw value of component c of texel t; its float; the float texture's RGBA for a texel's
    // converted components.
    int (*raw)(int t, int c);
    float (*convert)(int raw, int c);
    Vec4 (*layout)(const float* converted);
};

Vec4 Rgba(const float* v) { return {v[0], v[1], v[2], v[3]}; }
Vec4 Rg(const float* v) { return {v[0], v[1], 0, 1}; }

const Image3D kImages3D[] = {
    {GL_SIGNED_RGBA8_NV, GL_RGBA, GL_BYTE, 4,
     [](int t, int c) { return (37 * t + 53 * c) % 256 - 128; },
     [](int r, int) { return r / 128.0f; }, Rgba},
    {GL_SIGNED_HILO16_NV, GL_HILO_NV, GL_SHORT, 2,
     [](int t, int c) { return (9000 * t + 31000 * c) % 65536 - 32768; },
     [](int r, int) { return r / 32768.0f; }, Rg},
    // ds, dt signed and mag, vib unsigned bytes packed in one word, ds in the high byte.
    {GL_DSDT8_MAG8_INTENSITY8_NV, GL_DSDT_MAG_VIB_NV, GL_UNSIGNED_INT_S8_S8_8_8_NV, 1,
     [](int t, int) {
         const uint32_t ds = uint8_t(33 * t - 120), dt = uint8_t(100 - 29 * t);
         return int(ds << 24 | dt << 16 | uint32_t(30 * t + 5) << 8 | uint32_t(255 - 31 * t));
     },
     [](int word, int c) {
         const uint8_t field = uint8_t(uint32_t(word) >> (24 - 8 * c));
         return c < 2 ? int8_t(field) / 128.0f : field / 255.0f;
     },
     Rgba},
};

// The bytes of one raw value of type.
void Put(GLenum type, int value, unsigned char* out) {
    if (type == GL_BYTE) {
        const GLbyte b = GLbyte(value);
        std::memcpy(out, &b, 1);
    } else if (type == GL_SHORT || type == GL_UNSIGNED_SHORT) {
        const uint16_t v = uint16_t(value);
        std::memcpy(out, &v, 2);
    } else {
        const uint32_t v = uint32_t(value);
        std::memcpy(out, &v, 4);
    }
}

size_t Size(GLenum type) {
    return type == GL_BYTE ? 1 : type == GL_UNSIGNED_INT_S8_S8_8_8_NV ? 4 : 2;
}

TEST_F(LegacyTextureRender, ThreeDimensionalUploadsHonourTheUnpackImagesAndSubImagesReplaceTexels) {
    glActiveTexture(GL_TEXTURE0);
    for (const Image3D& image : kImages3D) {
        SCOPED_TRACE(image.internalFormat);
        Texture(GL_TEXTURE_3D);
        // Rows padded to 4 bytes, images of three rows, one image skipped before the first.
        const size_t pixel = Size(image.type) * size_t(image.components);
        const size_t stride = (2 * pixel + 3) / 4 * 4, imageBytes = 3 * stride;
        std::vector<unsigned char> bytes(3 * imageBytes, 0x5a);
        std::vector<float> converted(8 * 4, 0);
        for (int t = 0; t < 8; ++t) {
            const int x = t & 1, y = (t >> 1) & 1, z = t >> 2;
            for (int c = 0; c < image.components; ++c) {
                Put(image.type, image.raw(t, c),
                    &bytes[size_t(z + 1) * imageBytes + size_t(y) * stride + size_t(x) * pixel +
                           size_t(c) * Size(image.type)]);
            }
            const int fields = image.type == GL_UNSIGNED_INT_S8_S8_8_8_NV ? 4 : image.components;
            for (int c = 0; c < fields; ++c)
                converted[size_t(4 * t + c)] =
                    image.convert(image.components == 1 ? image.raw(t, 0) : image.raw(t, c), c);
        }
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_IMAGE_HEIGHT, 3);
        glPixelStorei(GL_UNPACK_SKIP_IMAGES, 1);
        glTexImage3D(GL_TEXTURE_3D, 0, GLint(image.internalFormat), 2, 2, 2, 0, image.format,
                     image.type, bytes.data());
        glPixelStorei(GL_UNPACK_IMAGE_HEIGHT, 0);
        glPixelStorei(GL_UNPACK_SKIP_IMAGES, 0);
        ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        // Texel 5 (x 1, y 0, z 1) replaced by texel 2's values.
        glTexSubImage3D(GL_TEXTURE_3D, 0, 1, 0, 1, 1, 1, 1, image.format, image.type,
                        &bytes[imageBytes + stride]);
        ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        std::copy_n(&converted[4 * 2], 4, &converted[4 * 5]);
        for (int t = 0; t < 8; ++t) {
            const Vec4 at = {(t & 1) * 0.5f + 0.25f, ((t >> 1) & 1) * 0.5f + 0.25f,
                             (t >> 2) * 0.5f + 0.25f, 1};
            const Vec4 expected = image.layout(&converted[size_t(4 * t)]);
            const Vec4 stored = Stored("3D", at);
            for (int k = 0; k < 4; ++k)
                EXPECT_NEAR(stored[k], expected[k], 1e-6f) << "texel " << t << " component " << k;
        }
    }
}

TEST_F(LegacyTextureRender, TheThreeDimensionalDotProductReadsASignedImageUploadedIn3D) {
    // Unit 0: the normal (0.5, 0.25, -0.125); units 1 to 3 dot it with their coordinates.
    const GLbyte normal[3] = {64, 32, -16};
    const GLbyte volume[8][4] = {{127, 0, 0, 127},  {0, 127, 0, 127}, {0, 0, 127, 127},
                                 {64, 64, 0, 127},  {0, 64, 64, 127}, {64, 0, 64, 127},
                                 {32, 96, 16, 100}, {100, 10, 50, 20}};
    glActiveTexture(GL_TEXTURE0);
    Texture(GL_TEXTURE_2D);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_SIGNED_RGB8_NV, 1, 1, 0, GL_RGB, GL_BYTE, normal);
    glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    for (int unit = 1; unit <= 2; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_DOT_PRODUCT_NV);
    }
    glActiveTexture(GL_TEXTURE3);
    Texture(GL_TEXTURE_3D);
    glTexImage3D(GL_TEXTURE_3D, 0, GL_SIGNED_RGBA8_NV, 2, 2, 2, 0, GL_RGBA, GL_BYTE, volume);
    for (GLenum wrap : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R})
        glTexParameteri(GL_TEXTURE_3D, wrap, GL_CLAMP_TO_EDGE);
    glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_DOT_PRODUCT_TEXTURE_3D_NV);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glActiveTexture(GL_TEXTURE0);
    glEnable(GL_TEXTURE_SHADER_NV);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    expected_.textureShaders = true;
    auto& u = expected_.units;
    u[0].shader.operation = GL_TEXTURE_2D;
    u[0].envMode = GL_REPLACE;
    u[0].targets[fragmentprogram::k2D] = {true, {GL_RGB, fragmentprogram::Signedness::kSigned}};
    u[1].shader.operation = u[2].shader.operation = GL_DOT_PRODUCT_NV;
    u[3].shader.operation = GL_DOT_PRODUCT_TEXTURE_3D_NV;
    u[3].envMode = GL_REPLACE;
    u[3].targets[fragmentprogram::k3D] = {true, {GL_RGBA, fragmentprogram::Signedness::kSigned}};
    env_.sample = [&](int unit, int, const Vec4& coord) {
        if (unit == 0) return Vec4{normal[0] / 128.0f, normal[1] / 128.0f, normal[2] / 128.0f, 1};
        const GLbyte* t = volume[4 * Half(coord[2]) + 2 * Half(coord[1]) + Half(coord[0])];
        return Vec4{t[0] / 128.0f, t[1] / 128.0f, t[2] / 128.0f, t[3] / 128.0f};
    };
    // Each set of coordinates lands in another texel (the last two at the far edges).
    const Vec4 sets[][3] = {{{1.5f, 0, 0, 1}, {0.5f, 0, 0, 1}, {1.5f, 0, 0, 1}},
                            {{0.5f, 0, 0, 1}, {0, 3, 0, 1}, {1, 1, -2, 1}},
                            {{1, 1, 1, 1}, {1, 2, 0, 1}, {0, 1, 0, 1}}};
    for (const auto& set : sets) {
        for (int unit = 1; unit <= 3; ++unit) fragment_.texcoord[unit] = set[unit - 1];
        ExpectEvaluated(Draw());
    }
}

TEST_F(LegacyTextureRender, ADisplayListConvertsIntoTheTextureBoundWhenItIsCalled) {
    // Under REPLACE a HILO texture leaves the primary colour (it has no texture colour); a
    // conventional RG texture replaces red and green and blue (with 0), not alpha.
    const GLshort hilo[2] = {16384, -8192};
    const GLfloat rg[2] = {0.25f, 0.5f};
    glActiveTexture(GL_TEXTURE0);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_TEXTURE_2D);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    GLuint names[2];
    for (GLuint& name : names) {
        name = Texture(GL_TEXTURE_2D);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RG32F, 1, 1, 0, GL_RG, GL_FLOAT, rg);
    }
    const GLuint list = List();
    glBindTexture(GL_TEXTURE_2D, names[0]);
    glNewList(list, GL_COMPILE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_SIGNED_HILO16_NV, 1, 1, 0, GL_HILO_NV, GL_SHORT, hilo);
    glEndList();
    glBindTexture(GL_TEXTURE_2D, names[1]);
    glCallList(list);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glEnable(GL_TEXTURE_SHADER_NV);
    const Vec4 converted = Draw();
    glBindTexture(GL_TEXTURE_2D, names[0]);
    const Vec4 untouched = Draw();
    glDisable(GL_TEXTURE_SHADER_NV);
    EXPECT_EQ(converted, fragment_.primary);
    EXPECT_EQ(untouched, (Vec4{rg[0], rg[1], 0, fragment_.primary[3]}));
    // The list stored the converted texels: hi and lo are c / 32768.
    glBindTexture(GL_TEXTURE_2D, names[1]);
    EXPECT_EQ(Stored2D(), (Vec4{0.5f, -0.25f, 0, 1}));
}

TEST_F(LegacyTextureRender, CopiesIntoSignedColourFormatsAreRememberedAndHiloOrDsdtOnesRefused) {
    // Unit 0 reads the copied texture; unit 1 dots it with (1, 0, 0), unit 2 with (0, 1, 0) and
    // looks the result up in a 2x2 table. Expanding unsigned colours (2c - 1) moves the lookup.
    const float table[16] = {1, 0, 0, 1, 0, 1, 0, 1, 0, 0, 1, 1, 0.5f, 0.5f, 0.5f, 0.25f};
    glActiveTexture(GL_TEXTURE2);
    Texture(GL_TEXTURE_2D);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 2, 2, 0, GL_RGBA, GL_FLOAT, table);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_DOT_PRODUCT_TEXTURE_2D_NV);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glActiveTexture(GL_TEXTURE1);
    glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_DOT_PRODUCT_NV);
    glTexEnvi(GL_TEXTURE_SHADER_NV, GL_RGBA_UNSIGNED_DOT_PRODUCT_MAPPING_NV, GL_EXPAND_NORMAL_NV);
    glActiveTexture(GL_TEXTURE0);
    Texture(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_TEXTURE_2D);
    fragment_.texcoord[1] = {1, 0, 0, 1};
    fragment_.texcoord[2] = {0, 1, 0, 1};
    expected_.textureShaders = true;
    auto& u = expected_.units;
    u[0].shader.operation = GL_TEXTURE_2D;
    u[1].shader.operation = GL_DOT_PRODUCT_NV;
    u[1].shader.dotMapping = GL_EXPAND_NORMAL_NV;
    u[2].shader.operation = GL_DOT_PRODUCT_TEXTURE_2D_NV;
    u[2].envMode = GL_REPLACE;
    u[2].targets[fragmentprogram::k2D] = {true, {GL_RGBA, fragmentprogram::Signedness::kUnsigned}};
    Vec4 framebuffer;
    env_.sample = [&](int unit, int, const Vec4& coord) {
        if (unit == 0) return framebuffer;
        const float* t = table + 4 * (Half(coord[1]) * 2 + Half(coord[0]));
        return Vec4{t[0], t[1], t[2], t[3]};
    };
    // Copies the framebuffer cleared to colour into unit 0's texture; the drawn lookup.
    auto copy = [&](const Vec4& colour, GLenum internalFormat, bool sub) {
        SCOPED_TRACE(std::to_string(internalFormat) + (sub ? " sub" : ""));
        glClearColor(colour[0], colour[1], colour[2], colour[3]);
        glClear(GL_COLOR_BUFFER_BIT);
        if (sub) {
            glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, 1, 1);
        } else {
            glCopyTexImage2D(GL_TEXTURE_2D, 0, internalFormat, 0, 0, 1, 1, 0);
        }
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        framebuffer = colour;
        EXPECT_EQ(Stored2D(), colour);
        const auto sign = internalFormat == GL_SIGNED_RGBA8_NV
                              ? fragmentprogram::Signedness::kSigned
                              : fragmentprogram::Signedness::kUnsigned;
        u[0].targets[fragmentprogram::k2D] = {true, {GL_RGBA, sign}};
        glEnable(GL_TEXTURE_SHADER_NV);
        const Vec4 drawn = Draw();
        glDisable(GL_TEXTURE_SHADER_NV);
        ExpectEvaluated(drawn);
        return drawn;
    };
    const Vec4 colour = {0.6f, 0.6f, 0.2f, 1};
    const Vec4 signedLookup = copy(colour, GL_SIGNED_RGBA8_NV, false);
    copy({0.4f, 0.2f, 0.8f, 1}, GL_SIGNED_RGBA8_NV, true);
    // A conventional copy replaces the signed format: the same colour looks up another texel.
    EXPECT_NE(copy(colour, GL_RGBA32F, false), signedLookup);

    // HILO and offset formats take no copies.
    const GLshort hilo[2] = {1, 2};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_HILO16_NV, 1, 1, 0, GL_HILO_NV, GL_SHORT, hilo);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_HILO16_NV, 0, 0, 1, 1, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION)) << "copy image HILO";
    glCopyTexImage1D(GL_TEXTURE_1D, 0, GL_DSDT8_NV, 0, 0, 1, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION)) << "copy image DSDT 1D";
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, 1, 1);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION)) << "copy sub-image into HILO";
    // The refused copies left the HILO texture as it was.
    EXPECT_EQ(Stored2D(), (Vec4{1 / 32768.0f, 2 / 32768.0f, 0, 1}));
}

TEST_F(LegacyTextureRender, ThreeDimensionalCopiesIntoOffsetTexturesAreRefused) {
    Texture(GL_TEXTURE_3D);
    const GLbyte dsdt[2] = {3, 4}, rgba[4] = {-128, 0, 64, 127};
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GLuint list = List();
    // Called directly and from a list compiled before the image: the texture bound when the
    // copy runs decides.
    for (bool listed : {false, true}) {
        for (bool offsets : {true, false}) {
            SCOPED_TRACE(std::string(offsets ? "DSDT" : "signed RGBA") +
                         (listed ? ", listed" : ""));
            if (listed) {
                glNewList(list, GL_COMPILE);
                glCopyTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, 0, 0, 0, 1, 1);
                glEndList();
            }
            if (offsets)
                glTexImage3D(GL_TEXTURE_3D, 0, GL_DSDT8_NV, 1, 1, 1, 0, GL_DSDT_NV, GL_BYTE, dsdt);
            else
                glTexImage3D(GL_TEXTURE_3D, 0, GL_SIGNED_RGBA8_NV, 1, 1, 1, 0, GL_RGBA, GL_BYTE,
                             rgba);
            ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
            if (listed)
                glCallList(list);
            else
                glCopyTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, 0, 0, 0, 1, 1);
            EXPECT_EQ(glGetError(), GLenum(offsets ? GL_INVALID_OPERATION : GL_NO_ERROR));
        }
    }
}

// The scale and bias names of the HILO and offset components, as (scale, bias) pairs.
const GLenum kTransfers[6][2] = {{GL_HI_SCALE_NV, GL_HI_BIAS_NV},
                                 {GL_LO_SCALE_NV, GL_LO_BIAS_NV},
                                 {GL_DS_SCALE_NV, GL_DS_BIAS_NV},
                                 {GL_DT_SCALE_NV, GL_DT_BIAS_NV},
                                 {GL_MAGNITUDE_SCALE_NV, GL_MAGNITUDE_BIAS_NV},
                                 {GL_VIBRANCE_SCALE_NV, GL_VIBRANCE_BIAS_NV}};

TEST_F(LegacyTextureRender, ScalesAndBiasesAreAppliedBeforeTheClampAndGroupOnesAreState) {
    // Initially scales of 1 and biases of 0, by every query form.
    for (const auto& names : kTransfers) {
        GLfloat f = -1;
        GLint i = -1;
        GLdouble d = -1;
        GLboolean b = GL_TRUE;
        glGetFloatv(names[0], &f);
        glGetIntegerv(names[0], &i);
        glGetDoublev(names[0], &d);
        glGetBooleanv(names[1], &b);
        EXPECT_TRUE(f == 1.0f && i == 1 && d == 1.0 && b == GL_FALSE) << std::hex << names[0];
    }
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    // Scales and biases (the magnitude's as an integer).
    const float scale[6] = {2, 0.5f, -1, 1.5f, 3, 0.5f},
                bias[6] = {-0.25f, 0.125f, 0, 0.5f, 0, 0.25f};
    for (int c = 0; c < 6; ++c) {
        c == 4 ? glPixelTransferi(kTransfers[c][0], 3)
               : glPixelTransferf(kTransfers[c][0], scale[c]);
        glPixelTransferf(kTransfers[c][1], bias[c]);
    }
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    GLint rounded = 0;
    glGetIntegerv(GL_LO_SCALE_NV, &rounded);
    EXPECT_EQ(rounded, 1);  // 0.5 to the nearest integer, away from zero

    auto clamp = [](float v, float lo) { return std::min(std::max(v, lo), 1.0f); };
    Texture(GL_TEXTURE_2D);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    // The driver's colour scale (also applied when pixels are read) must leave the HILO and
    // offset components alone.
    const GLushort hilo[2] = {30000, 50000};
    glPixelTransferf(GL_RED_SCALE, 0.5f);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_HILO16_NV, 1, 1, 0, GL_HILO_NV, GL_UNSIGNED_SHORT, hilo);
    glPixelTransferf(GL_RED_SCALE, 1);
    EXPECT_EQ(Stored2D(), (Vec4{clamp(30000 / 65535.0f * 2 - 0.25f, 0),
                                clamp(50000 / 65535.0f * 0.5f + 0.125f, 0), 0, 1}));
    const GLbyte dsdt[4] = {64, -100, 100, 20};  // ds, dt signed; mag, vib unsigned
    glPixelTransferf(GL_RED_SCALE, 0.5f);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DSDT8_MAG8_INTENSITY8_NV, 1, 1, 0, GL_DSDT_MAG_VIB_NV,
                 GL_UNSIGNED_BYTE, dsdt);
    glPixelTransferf(GL_RED_SCALE, 1);
    const Vec4 offsets = Stored2D();
    const float expected[4] = {clamp(64 / 255.0f * -1, -1), clamp(156 / 255.0f * 1.5f + 0.5f, -1),
                               clamp(100 / 255.0f * 3, 0), clamp(20 / 255.0f * 0.5f + 0.25f, 0)};
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(offsets[k], expected[k], 1e-6f) << k;
    // Colours take the colour scales and biases instead, also before the clamp.
    const GLbyte rgba[4] = {-96, 32, 0, 127};
    glPixelTransferf(GL_RED_SCALE, 2);
    glPixelTransferf(GL_GREEN_BIAS, -0.5f);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_SIGNED_RGBA8_NV, 1, 1, 0, GL_RGBA, GL_BYTE, rgba);
    glPixelTransferf(GL_RED_SCALE, 1);
    glPixelTransferf(GL_GREEN_BIAS, 0);
    EXPECT_EQ(Stored2D(), (Vec4{clamp(-0.75f * 2, -1), 0.25f - 0.5f, 0, 127 / 128.0f}));

    // Pushed and popped with the pixel mode, not with other attributes.
    auto value = [](GLenum pname) {
        GLfloat v = 0;
        glGetFloatv(pname, &v);
        return v;
    };
    glPushAttrib(GL_PIXEL_MODE_BIT);
    glPixelTransferf(GL_HI_SCALE_NV, 4);
    glPushAttrib(GL_TEXTURE_BIT);
    glPixelTransferf(GL_LO_BIAS_NV, -2);
    glPopAttrib();
    EXPECT_EQ(value(GL_LO_BIAS_NV), -2.0f);
    glPopAttrib();
    EXPECT_EQ(value(GL_HI_SCALE_NV), 2.0f);
    EXPECT_EQ(value(GL_LO_BIAS_NV), bias[1]);
    // Held by display lists: compiling sets nothing, calling does.
    const GLuint list = List();
    glNewList(list, GL_COMPILE);
    glPixelTransferf(GL_VIBRANCE_BIAS_NV, 0.75f);
    glEndList();
    EXPECT_EQ(value(GL_VIBRANCE_BIAS_NV), bias[5]);
    glCallList(list);
    EXPECT_EQ(value(GL_VIBRANCE_BIAS_NV), 0.75f);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    for (const auto& names : kTransfers) {
        glPixelTransferf(names[0], 1);
        glPixelTransferf(names[1], 0);
    }
}

TEST_F(LegacyTextureRender, BorderValuesAreKeptUnclampedAndUsedClampedToEachComponentsRange) {
    const GLfloat border[4] = {2, -3, 0.5f, -0.5f};
    const struct {
        GLenum internalFormat, format;
        Vec4 used;  // the border as the float texture reads it: clamped, in its layout
    } cases[] = {
        {GL_SIGNED_RGBA8_NV, GL_RGBA, {1, -1, 0.5f, -0.5f}},
        {GL_SIGNED_RGB8_UNSIGNED_ALPHA8_NV, GL_RGBA, {1, -1, 0.5f, 0}},
        {GL_SIGNED_HILO16_NV, GL_HILO_NV, {1, -1, 0, 1}},
        {GL_HILO16_NV, GL_HILO_NV, {1, 0, 0, 1}},
        {GL_DSDT8_MAG8_INTENSITY8_NV, GL_DSDT_MAG_VIB_NV, {1, -1, 0.5f, 0}},
    };
    const GLshort texel[4] = {};
    auto read = [](GLenum pname) {
        GLfloat values[4] = {};
        glGetTexParameterfv(GL_TEXTURE_2D, pname, values);
        return std::vector<GLfloat>(values, values + 4);
    };
    const GLuint name = Texture(GL_TEXTURE_2D);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
    const Vec4 outside = {1.5f, 0.5f, 0, 1};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.internalFormat);
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(c.internalFormat), 1, 1, 0, c.format, GL_SHORT, texel);
        glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_VALUES_NV, border);
        ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        EXPECT_EQ(Stored("2D", outside), c.used);
        for (GLenum pname : {GL_TEXTURE_BORDER_VALUES_NV, GL_TEXTURE_BORDER_COLOR})
            EXPECT_EQ(read(pname), std::vector<GLfloat>(border, border + 4));
    }
    // A new format clamps the values given before to its own ranges; a conventional image gets
    // them as they were given (a float texture uses them unclamped), and a proxy changes nothing.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_SIGNED_RGBA8_NV, 1, 1, 0, GL_RGBA, GL_SHORT, texel);
    EXPECT_EQ(Stored("2D", outside), (Vec4{1, -1, 0.5f, -0.5f}));
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 1, 1, 0, GL_RGBA, GL_SHORT, texel);
    glTexImage2D(GL_PROXY_TEXTURE_2D, 0, GL_SIGNED_RGBA8_NV, 1, 1, 0, GL_RGBA, GL_SHORT, texel);
    glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_VALUES_NV, border);
    EXPECT_EQ(Stored("2D", outside), (Vec4{border[0], border[1], border[2], border[3]}));
    // Integers by the signed-integer conversion, read back as given.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_SIGNED_RGBA8_NV, 1, 1, 0, GL_RGBA, GL_SHORT, texel);
    const GLint ints[4] = {2147483647, -2147483647 - 1, 1073741823, -1};
    glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_VALUES_NV, ints);
    GLint readInts[4] = {};
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_VALUES_NV, readInts);
    EXPECT_EQ(std::vector<GLint>(readInts, readInts + 4), std::vector<GLint>(ints, ints + 4));
    const Vec4 fromInts = Stored("2D", outside);
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(fromInts[k], (2.0 * ints[k] + 1) / 4294967295.0, 1e-7) << k;
    // The border colour of a converted texture is clamped to [0, 1] when set.
    glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);
    EXPECT_EQ(read(GL_TEXTURE_BORDER_VALUES_NV), (std::vector<GLfloat>{1, 0, 0.5f, 0}));
    // Held by display lists: compiling sets nothing, calling does.
    const GLuint list = List();
    glNewList(list, GL_COMPILE);
    glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_VALUES_NV, border);
    glEndList();
    EXPECT_EQ(read(GL_TEXTURE_BORDER_VALUES_NV)[0], 1.0f);
    glCallList(list);
    EXPECT_EQ(read(GL_TEXTURE_BORDER_VALUES_NV)[1], border[1]);
    // A deleted texture's name used again is a new texture, with the initial border (0, 0, 0, 0).
    glDeleteTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_SIGNED_RGBA8_NV, 1, 1, 0, GL_RGBA, GL_SHORT, texel);
    for (GLenum filter : {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER})
        glTexParameteri(GL_TEXTURE_2D, filter, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
    EXPECT_EQ(Stored("2D", outside), (Vec4{0, 0, 0, 0}));
    EXPECT_EQ(read(GL_TEXTURE_BORDER_VALUES_NV)[1], 0.0f);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// Bytes of values of type T.
template <typename T>
std::vector<unsigned char> Bytes(std::initializer_list<T> values) {
    std::vector<unsigned char> bytes(values.size() * sizeof(T));
    std::memcpy(bytes.data(), values.begin(), bytes.size());
    return bytes;
}

TEST_F(LegacyTextureRender, ConvertedTexturesReadBackAsTheApplicationsTypeAndFormatsMustPair) {
    const struct {
        const char* what;
        GLenum internalFormat, format, type;
        std::vector<unsigned char> texels;  // one 1x1 texel, 2x1 where it says
        GLenum readFormat, readType;
        std::vector<unsigned char> read;
    } trips[] = {
        {"signed bytes", GL_SIGNED_RGBA8_NV, GL_RGBA, GL_BYTE, Bytes<GLbyte>({-128, -1, 0, 127}),
         GL_RGBA, GL_BYTE, Bytes<GLbyte>({-128, -1, 0, 127})},
        {"as floats", GL_SIGNED_RGBA8_NV, GL_RGBA, GL_BYTE, Bytes<GLbyte>({-128, -1, 0, 127}),
         GL_RGBA, GL_FLOAT, Bytes<float>({-1, -1 / 128.0f, 0, 127 / 128.0f})},
        // Negative components clamp to 0; 64 / 128 is 127.5 / 255.
        {"as unsigned bytes", GL_SIGNED_RGBA8_NV, GL_RGBA, GL_BYTE,
         Bytes<GLbyte>({-128, 64, 0, 127}), GL_RGBA, GL_UNSIGNED_BYTE,
         Bytes<GLubyte>({0, 128, 0, 253})},
        {"signed HILO", GL_SIGNED_HILO16_NV, GL_HILO_NV, GL_SHORT, Bytes<GLshort>({-32768, 12345}),
         GL_HILO_NV, GL_SHORT, Bytes<GLshort>({-32768, 12345})},
        {"unsigned HILO", GL_HILO16_NV, GL_HILO_NV, GL_UNSIGNED_SHORT, Bytes<GLushort>({65535, 7}),
         GL_HILO_NV, GL_UNSIGNED_SHORT, Bytes<GLushort>({65535, 7})},
        {"packed offsets", GL_DSDT8_MAG8_INTENSITY8_NV, GL_DSDT_MAG_VIB_NV,
         GL_UNSIGNED_INT_S8_S8_8_8_NV, Bytes<GLuint>({0x80FF1020u}), GL_DSDT_MAG_VIB_NV,
         GL_UNSIGNED_INT_8_8_S8_S8_REV_NV, Bytes<GLuint>({0x2010FF80u})},
        {"two RGB texels, rows padded to 4", GL_SIGNED_RGB8_NV, GL_RGB, GL_BYTE,
         Bytes<GLbyte>({1, 2, 3, -4, -5, -6}), GL_RGB, GL_BYTE,
         Bytes<GLbyte>({1, 2, 3, -4, -5, -6, 99, 99})},
    };
    Texture(GL_TEXTURE_2D);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    for (const auto& t : trips) {
        SCOPED_TRACE(t.what);
        const GLsizei width = t.readFormat == GL_RGB ? 2 : 1;
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(t.internalFormat), width, 1, 0, t.format, t.type,
                     t.texels.data());
        std::vector<unsigned char> read(t.read.size(), 99);
        glGetTexImage(GL_TEXTURE_2D, 0, t.readFormat, t.readType, read.data());
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        EXPECT_EQ(read, t.read);
    }

    // Byte-swapped client memory, in and out: each element's bytes reversed.
    auto reversed = [](std::vector<unsigned char> bytes, size_t element) {
        for (size_t i = 0; i < bytes.size(); i += element)
            std::reverse(bytes.begin() + long(i), bytes.begin() + long(i + element));
        return bytes;
    };
    const std::vector<unsigned char> hilo = Bytes<GLshort>({258, -772});
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_TRUE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_SIGNED_HILO16_NV, 1, 1, 0, GL_HILO_NV, GL_SHORT,
                 reversed(hilo, 2).data());
    std::vector<unsigned char> read(hilo.size());
    glGetTexImage(GL_TEXTURE_2D, 0, GL_HILO_NV, GL_SHORT, read.data());
    EXPECT_EQ(read, hilo);
    const std::vector<unsigned char> floats = Bytes<float>({258 / 32768.0f, -772 / 32768.0f});
    read.assign(floats.size(), 0);
    glPixelStorei(GL_PACK_SWAP_BYTES, GL_TRUE);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_HILO_NV, GL_FLOAT, read.data());
    glPixelStorei(GL_PACK_SWAP_BYTES, GL_FALSE);
    EXPECT_EQ(read, reversed(floats, 4));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // Pixel formats pair with the internal formats (the pairing rules have their own unit test:
    // here one case of each refusal of the layer); packed types only with DSDT_MAG_VIB_NV.
    const GLshort zeros[8] = {};
    std::vector<unsigned char> sink(64);
    auto image = [&](GLenum internalFormat, GLenum format, GLenum type) {
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(internalFormat), 1, 1, 0, format, type, zeros);
    };
    auto sub = [&](GLenum format, GLenum type) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 1, 1, format, type, zeros);
    };
    auto get = [&](GLenum format, GLenum type) {
        glGetTexImage(GL_TEXTURE_2D, 0, format, type, sink.data());
    };
    const struct {
        const char* what;
        GLenum internalFormat, format;  // the texture
        std::function<void()> call;
    } refused[] = {
        {"HILO pixels for RGBA8", GL_RGBA8, GL_RGBA,
         [&] { image(GL_RGBA8, GL_HILO_NV, GL_SHORT); }},
        {"packed colours for RGBA8", GL_RGBA8, GL_RGBA,
         [&] { image(GL_RGBA8, GL_RGBA, GL_UNSIGNED_INT_S8_S8_8_8_NV); }},
        {"packed DSDT_NV", GL_RGBA8, GL_RGBA,
         [&] { image(GL_DSDT8_NV, GL_DSDT_NV, GL_UNSIGNED_INT_S8_S8_8_8_NV); }},
        {"colours into HILO", GL_HILO16_NV, GL_HILO_NV, [&] { sub(GL_RGBA, GL_SHORT); }},
        {"HILO from RGBA8", GL_RGBA8, GL_RGBA, [&] { get(GL_HILO_NV, GL_SHORT); }},
        {"colours from HILO", GL_SIGNED_HILO16_NV, GL_HILO_NV, [&] { get(GL_RGBA, GL_FLOAT); }},
        {"packed colours from signed RGBA", GL_SIGNED_RGBA8_NV, GL_RGBA,
         [&] { get(GL_RGBA, GL_UNSIGNED_INT_8_8_S8_S8_REV_NV); }},
    };
    for (const auto& r : refused) {
        image(r.internalFormat, r.format, GL_SHORT);
        ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << r.what;
        r.call();
        EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION)) << r.what;
    }
}

TEST_F(LegacyTextureRender, HiloAndOffsetPixelsOutsideTexturesAreUnknownEnums) {
    // Calls of each kind: one of the layer's own, and drawing and reading ones of the imaging
    // subset, which share one check.
    std::vector<unsigned char> buffer(256);
    void* p = buffer.data();
    const auto filter = Fetch<decltype(&::glConvolutionFilter2D)>("glConvolutionFilter2D");
    const auto minmax = Fetch<decltype(&::glGetMinmax)>("glGetMinmax");
    const struct {
        const char* name;
        std::function<void(GLenum, GLenum)> call;
    } calls[] = {
        {"glDrawPixels", [&](GLenum f, GLenum t) { glDrawPixels(1, 1, f, t, p); }},
        {"glReadPixels", [&](GLenum f, GLenum t) { glReadPixels(0, 0, 1, 1, f, t, p); }},
        {"glConvolutionFilter2D",
         [&](GLenum f, GLenum t) { filter(GL_CONVOLUTION_2D, GL_RGBA, 1, 1, f, t, p); }},
        {"glGetMinmax", [&](GLenum f, GLenum t) { minmax(GL_MINMAX, GL_FALSE, f, t, p); }},
    };
    const GLenum pixels[][2] = {{GL_HILO_NV, GL_SHORT},
                                {GL_DSDT_NV, GL_BYTE},
                                {GL_DSDT_MAG_NV, GL_UNSIGNED_BYTE},
                                {GL_DSDT_MAG_VIB_NV, GL_UNSIGNED_INT_S8_S8_8_8_NV},
                                {GL_RGBA, GL_UNSIGNED_INT_8_8_S8_S8_REV_NV}};
    for (const auto& c : calls) {
        for (const auto& fmt : pixels) {
            c.call(fmt[0], fmt[1]);
            EXPECT_EQ(glGetError(), GLenum(GL_INVALID_ENUM))
                << c.name << " " << std::hex << fmt[0] << " " << fmt[1];
        }
    }
    // Conventional pixels still reach the driver.
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(LegacyTextureRender, ExtensionNamesOfWrappedCallsAreTheLayersOwn) {
    // Looked up or linked, each extension's name (the core name and a three-letter suffix) is
    // the layer's function for the call.
    std::istringstream aliases(
        "glTexImage3DEXT glTexSubImage1DEXT glTexSubImage2DEXT glTexSubImage3DEXT "
        "glCopyTexImage1DEXT glCopyTexImage2DEXT glCopyTexSubImage1DEXT glCopyTexSubImage2DEXT "
        "glCopyTexSubImage3DEXT glDeleteTexturesEXT glArrayElementEXT glDrawArraysEXT "
        "glDrawRangeElementsEXT glMultiDrawArraysEXT glMultiDrawElementsEXT "
        "glDrawArraysInstancedARB glDrawArraysInstancedEXT glDrawElementsInstancedARB "
        "glDrawElementsInstancedEXT glMultiDrawArraysIndirectAMD glMultiDrawElementsIndirectAMD "
        "glColorTableEXT glColorTableSGI glColorSubTableEXT glConvolutionFilter1DEXT "
        "glConvolutionFilter2DEXT glSeparableFilter2DEXT glGetColorTableEXT glGetColorTableSGI "
        "glGetConvolutionFilterEXT glGetSeparableFilterEXT glGetHistogramEXT glGetMinmaxEXT ");
    for (std::string alias; aliases >> alias;) {
        const auto own = Fetch<void*>(alias.substr(0, alias.size() - 3).c_str());
        EXPECT_EQ(Fetch<void*>(alias.c_str()), own) << alias;
        EXPECT_EQ(dlsym(RTLD_DEFAULT, alias.c_str()), own) << alias;
    }
    // A signed image given through the 3D extension's name is converted.
    const GLbyte texel[4] = {-128, -1, 0, 127};
    Texture(GL_TEXTURE_3D);
    Fetch<PFNGLTEXIMAGE3DEXTPROC>("glTexImage3DEXT")(GL_TEXTURE_3D, 0, GL_SIGNED_RGBA8_NV, 1, 1, 1,
                                                     0, GL_RGBA, GL_BYTE, texel);
    float stored[4] = {};
    glGetTexImage(GL_TEXTURE_3D, 0, GL_RGBA, GL_FLOAT, stored);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(stored[i], texel[i] / 128.0f) << i;
}

TEST_F(LegacyTextureRender, DefaultTexturesAreConvertedPerContextAndTargetNamedOnesPerGroup) {
    // HILO pixels go only into HILO textures: a sub-image of them tells whether the texture
    // bound to a target is a converted HILO one.
    GLXContext shared = harness->NewContext(true);
    ASSERT_NE(shared, nullptr);
    const GLshort hilo[4] = {100, -100, 0, 0};  // also one RGBA8 texel
    GLuint name;
    glGenTextures(1, &name);
    // Conventional default textures in both contexts, then HILO images on the default 2D
    // texture of the harness's context and on the named one.
    for (GLXContext context : {shared, GLXContext(nullptr)}) {
        ASSERT_TRUE(harness->MakeCurrent(context));
        for (GLenum target : {GL_TEXTURE_2D, GL_TEXTURE_3D, GL_TEXTURE_CUBE_MAP})
            glBindTexture(target, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, hilo);
        glTexImage3D(GL_TEXTURE_3D, 0, GL_RGBA8, 1, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, hilo);
        glTexImage2D(GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, 0, GL_RGBA8, 1, 1, 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, hilo);
    }
    glTexImage2D(GL_TEXTURE_2D, 0, GL_SIGNED_HILO16_NV, 1, 1, 0, GL_HILO_NV, GL_SHORT, hilo);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_SIGNED_HILO16_NV, 1, 1, 0, GL_HILO_NV, GL_SHORT, hilo);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    const struct {
        const char* what;
        GLXContext context;
        GLenum target, binding;
        GLuint texture;
        bool hilo;
    } cases[] = {
        {"own default 2D", nullptr, GL_TEXTURE_2D, GL_TEXTURE_2D, 0, true},
        {"own default 3D", nullptr, GL_TEXTURE_3D, GL_TEXTURE_3D, 0, false},
        {"own default cube map", nullptr, GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, GL_TEXTURE_CUBE_MAP, 0,
         false},
        {"other context's default 2D", shared, GL_TEXTURE_2D, GL_TEXTURE_2D, 0, false},
        {"named texture in the other context", shared, GL_TEXTURE_2D, GL_TEXTURE_2D, name, true},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(harness->MakeCurrent(c.context));
        glBindTexture(c.binding, c.texture);
        if (c.target == GL_TEXTURE_3D)
            glTexSubImage3D(c.target, 0, 0, 0, 0, 1, 1, 1, GL_HILO_NV, GL_SHORT, hilo);
        else
            glTexSubImage2D(c.target, 0, 0, 0, 1, 1, GL_HILO_NV, GL_SHORT, hilo);
        EXPECT_EQ(glGetError(), GLenum(c.hilo ? GL_NO_ERROR : GL_INVALID_OPERATION)) << c.what;
    }
    ASSERT_TRUE(harness->MakeCurrent(nullptr));
    glBindTexture(GL_TEXTURE_2D, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, hilo);
    glDeleteTextures(1, &name);
}

TEST_F(LegacyTextureRender, ADisplayListConvertsSubImagesForTheTextureBoundWhenItIsCalled) {
    // A texel compiled while a texture of one format is bound and called while one of another
    // is. One texel is skipped by the unpack state, compiled and called alike, and the list's
    // texels are its own whatever unpack buffer and byte order are set when it is called.
    const GLshort hilo[4] = {7, 7, -16384, 8192};
    const GLfloat rgba[8] = {7, 7, 7, 7, -2, -0.5f, 0.5f, 2};
    const struct {
        GLenum compiled, called, format;  // internal formats; the pixels' format
        std::vector<float> stored;        // read back as floats; none: refused
    } cases[] = {
        {GL_SIGNED_HILO16_NV, GL_HILO16_NV, GL_HILO_NV, {0, 0.25f}},
        {GL_HILO16_NV, GL_SIGNED_HILO16_NV, GL_HILO_NV, {-0.5f, 0.25f}},
        {GL_SIGNED_RGBA8_NV, GL_RGBA32F, GL_RGBA, {-2, -0.5f, 0.5f, 2}},
        {GL_RGBA32F, GL_SIGNED_RGBA8_NV, GL_RGBA, {-1, -0.5f, 0.5f, 1}},
        {GL_SIGNED_RGBA8_NV, GL_DSDT8_NV, GL_RGBA, {}},
    };
    const GLuint names[2] = {Texture(GL_TEXTURE_2D), Texture(GL_TEXTURE_2D)};
    GLuint buffer;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, buffer);
    glBufferData(GL_PIXEL_UNPACK_BUFFER, 4, nullptr, GL_STATIC_DRAW);
    const GLuint list = List();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.compiled << " then " << c.called);
        const GLenum type = c.format == GL_HILO_NV ? GL_SHORT : GL_FLOAT;
        const void* pixels = c.format == GL_HILO_NV ? static_cast<const void*>(hilo) : rgba;
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
        glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
        glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
        glBindTexture(GL_TEXTURE_2D, names[1]);
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(c.called), 1, 1, 0,
                     c.called == GL_DSDT8_NV ? GL_DSDT_NV : c.format, type, nullptr);
        glBindTexture(GL_TEXTURE_2D, names[0]);
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(c.compiled), 1, 1, 0, c.format, type, nullptr);
        glPixelStorei(GL_UNPACK_SKIP_PIXELS, 1);
        glNewList(list, GL_COMPILE);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 1, 1, c.format, type, pixels);
        glEndList();
        ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        glBindTexture(GL_TEXTURE_2D, names[1]);
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, buffer);
        glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_TRUE);
        glCallList(list);
        EXPECT_EQ(glGetError(), GLenum(c.stored.empty() ? GL_INVALID_OPERATION : GL_NO_ERROR));
        std::vector<float> stored(c.stored.size());
        if (!stored.empty()) glGetTexImage(GL_TEXTURE_2D, 0, c.format, GL_FLOAT, stored.data());
        EXPECT_EQ(stored, c.stored);
    }
    glDeleteBuffers(1, &buffer);
}

// A 2x2 legacy image in a pixel unpack buffer: at kOffset, rows of 3 pixels padded to 4 bytes,
// one row and one pixel skipped, the rest of the buffer filler. Raw values convert as raw / scale.
struct BufferImage {
    const char* what;
    GLenum internalFormat, format, type;
    int components;
    float scale;

    static constexpr size_t kOffset = 8;
    size_t Element() const { return Size(type); }
    size_t Pixel() const { return Element() * size_t(components); }
    size_t Stride() const { return (3 * Pixel() + 3) / 4 * 4; }
    // One past the last byte the upload reads from offset.
    size_t End(size_t offset) const { return offset + 2 * Stride() + Pixel() + 2 * Pixel(); }
    int Raw(int t, int c, int salt) const {
        return ((37 * t + 53 * c + salt) % 256 - 128) * (Element() == 2 ? 255 : 1);
    }
    // The buffer's bytes, the texels' raw values shifted by salt.
    std::vector<unsigned char> Bytes(int salt) const {
        std::vector<unsigned char> bytes(End(kOffset), 0x5a);
        for (int t = 0; t < 4; ++t)
            for (int c = 0; c < components; ++c)
                Put(type, Raw(t, c, salt),
                    &bytes[kOffset + size_t(1 + t / 2) * Stride() + size_t(1 + t % 2) * Pixel() +
                           size_t(c) * Element()]);
        return bytes;
    }
    // The stored floats as the extension converts them.
    std::vector<float> Converted(int salt) const {
        std::vector<float> floats;
        for (int t = 0; t < 4; ++t)
            for (int c = 0; c < components; ++c) floats.push_back(Raw(t, c, salt) / scale);
        return floats;
    }
    void UnpackState(bool set) const {
        glPixelStorei(GL_UNPACK_ALIGNMENT, set ? 4 : 1);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, set ? 3 : 0);
        glPixelStorei(GL_UNPACK_SKIP_ROWS, set ? 1 : 0);
        glPixelStorei(GL_UNPACK_SKIP_PIXELS, set ? 1 : 0);
    }
    void Image(size_t offset) const {
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(internalFormat), 2, 2, 0, format, type,
                     reinterpret_cast<const void*>(offset));
    }
    std::vector<float> Stored() const {
        std::vector<float> stored(size_t(4 * components), -9);
        glGetTexImage(GL_TEXTURE_2D, 0, format, GL_FLOAT, stored.data());
        return stored;
    }
};

const BufferImage kBufferImages[] = {
    {"signed RGB bytes", GL_SIGNED_RGB8_NV, GL_RGB, GL_BYTE, 3, 128},
    {"signed HILO shorts", GL_SIGNED_HILO16_NV, GL_HILO_NV, GL_SHORT, 2, 32768},
};

std::vector<unsigned char> BufferContents(GLenum target) {
    GLint size = 0;
    glGetBufferParameteriv(target, GL_BUFFER_SIZE, &size);
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    glGetBufferSubData(target, 0, size, bytes.data());
    return bytes;
}

TEST_F(LegacyTextureRender,
       PixelBuffersAreUsedAtTheirOffsetsWithinTheirEndsAndListsKeepTheirTexels) {
    Texture(GL_TEXTURE_2D);
    GLuint buffers[2];
    glGenBuffers(2, buffers);
    const GLuint list = List();
    for (const BufferImage& image : kBufferImages) {
        SCOPED_TRACE(image.what);
        const std::vector<unsigned char> bytes = image.Bytes(0);
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, buffers[0]);
        glBufferData(GL_PIXEL_UNPACK_BUFFER, GLsizeiptr(bytes.size()), bytes.data(),
                     GL_STATIC_DRAW);
        image.UnpackState(true);
        image.Image(BufferImage::kOffset);
        ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        const std::vector<float> converted = image.Converted(0);
        EXPECT_EQ(image.Stored(), converted);
        // The application's binding and bytes as they were.
        GLint bound = 0;
        glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &bound);
        EXPECT_EQ(GLuint(bound), buffers[0]);
        EXPECT_EQ(BufferContents(GL_PIXEL_UNPACK_BUFFER), bytes);
        // One element past the end, as an image and as a sub-image, and a mapped buffer: refused,
        // the texture unchanged.
        const size_t past = BufferImage::kOffset + image.Element();
        auto refused = [&](const char* what) {
            EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION)) << what;
            EXPECT_EQ(image.Stored(), converted) << what;
        };
        image.Image(past);
        refused("image");
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 2, 2, image.format, image.type,
                        reinterpret_cast<const void*>(past));
        refused("sub-image");
        glMapBuffer(GL_PIXEL_UNPACK_BUFFER, GL_READ_ONLY);
        image.Image(BufferImage::kOffset);
        glUnmapBuffer(GL_PIXEL_UNPACK_BUFFER);
        refused("mapped");
        // Into a pack buffer that ends where the floats end, 12 bytes in; past its end refused.
        const size_t packOffset = 12, floatBytes = converted.size() * sizeof(float);
        const std::vector<unsigned char> filler(packOffset + floatBytes, 0x77);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, buffers[1]);
        glBufferData(GL_PIXEL_PACK_BUFFER, GLsizeiptr(filler.size()), filler.data(),
                     GL_STATIC_READ);
        glGetTexImage(GL_TEXTURE_2D, 0, image.format, GL_FLOAT,
                      reinterpret_cast<void*>(packOffset + 4));
        EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION));
        EXPECT_EQ(BufferContents(GL_PIXEL_PACK_BUFFER), filler);
        glGetTexImage(GL_TEXTURE_2D, 0, image.format, GL_FLOAT,
                      reinterpret_cast<void*>(packOffset));
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        std::vector<unsigned char> expected(filler.begin(), filler.begin() + long(packOffset));
        expected.resize(filler.size());
        std::memcpy(&expected[packOffset], converted.data(), floatBytes);
        EXPECT_EQ(BufferContents(GL_PIXEL_PACK_BUFFER), expected);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        // A list keeps the texels the buffer held when it was compiled and, as from client
        // memory, converts them with the pixel transfer of the call (colour scales for colours
        // only).
        glNewList(list, GL_COMPILE);
        image.Image(BufferImage::kOffset);
        glEndList();
        image.UnpackState(false);
        ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        const std::vector<unsigned char> later = image.Bytes(99);
        glBufferSubData(GL_PIXEL_UNPACK_BUFFER, 0, GLsizeiptr(later.size()), later.data());
        glPixelTransferf(GL_RED_SCALE, 0.25f);
        glPixelTransferf(GL_HI_SCALE_NV, 0.5f);
        glCallList(list);
        glPixelTransferf(GL_RED_SCALE, 1);
        glPixelTransferf(GL_HI_SCALE_NV, 1);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        std::vector<float> scaled = converted;
        for (size_t t = 0; t < scaled.size(); t += size_t(image.components))
            scaled[t] *= image.format == GL_HILO_NV ? 0.5f : 0.25f;
        EXPECT_EQ(image.Stored(), scaled);
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    }
    glDeleteBuffers(2, buffers);
}

}  // namespace
