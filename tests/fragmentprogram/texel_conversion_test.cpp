// Conversions of the signed, HILO and DSDT formats into float images.
#include "fragmentprogram/texel_conversion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace fragmentprogram {
namespace {

TEST(TexelConversionTest, ComponentRules) {
    EXPECT_EQ(FromSignedByte(-128), -1.0f);
    EXPECT_EQ(FromSignedByte(127), 0.9921875f);
    EXPECT_EQ(FromSignedByte(0), 0.0f);
    EXPECT_EQ(FromSignedByte(64), 0.5f);
    EXPECT_EQ(FromSignedShort(-32768), -1.0f);
    EXPECT_EQ(FromSignedShort(32767), 32767.0f / 32768.0f);
    EXPECT_EQ(FromUnsigned(255, 8), 1.0f);
    EXPECT_EQ(FromUnsigned(0, 16), 0.0f);
    EXPECT_EQ(FromUnsigned(65535, 16), 1.0f);
}

TEST(TexelConversionTest, SignedBytesKeepTheLegacyValuesExactly) {
    const int8_t texel[4] = {127, -128, -127, 64};
    FloatImage image;
    ASSERT_EQ(ConvertTexels(GL_SIGNED_RGBA8_NV, GL_RGBA, GL_BYTE, texel, 1, &image), "");
    EXPECT_EQ(image.internalFormat, GLenum(GL_RGBA32F));
    EXPECT_EQ(image.format, GLenum(GL_RGBA));
    EXPECT_EQ(image.texels, (std::vector<float>{0.9921875f, -1.0f, -0.9921875f, 0.5f}));
}

TEST(TexelConversionTest, EachFormatStoresItsComponentsClampedToTheirRange) {
    struct Row {
        GLenum internal, format, type;
        std::vector<uint8_t> bytes;
        GLenum storage, layout;
        std::vector<float> expected;
    };
    const Row rows[] = {
        // Unsigned bytes into a signed format stay in [0, 1].
        {GL_SIGNED_RGB8_NV,
         GL_RGB,
         GL_UNSIGNED_BYTE,
         {255, 0, 51},
         GL_RGB32F,
         GL_RGB,
         {1.0f, 0.0f, 0.2f}},
        // Mixed signedness: a negative alpha clamps to zero.
        {GL_SIGNED_RGB8_UNSIGNED_ALPHA8_NV,
         GL_RGBA,
         GL_BYTE,
         {0x80, 0x40, 0x00, 0xC0},
         GL_RGBA32F,
         GL_RGBA,
         {-1.0f, 0.5f, 0.0f, 0.0f}},
        {GL_SIGNED_LUMINANCE8_ALPHA8_NV,
         GL_LUMINANCE_ALPHA,
         GL_BYTE,
         {0xE0, 0x20},
         GL_LUMINANCE_ALPHA32F_ARB,
         GL_LUMINANCE_ALPHA,
         {-0.25f, 0.25f}},
        {GL_SIGNED_ALPHA8_NV, GL_ALPHA, GL_BYTE, {0xF0}, GL_ALPHA32F_ARB, GL_ALPHA, {-0.125f}},
        {GL_SIGNED_INTENSITY8_NV,
         GL_LUMINANCE,
         GL_BYTE,
         {0x10},
         GL_INTENSITY32F_ARB,
         GL_RED,
         {0.125f}},
        // An RGB pixel into a luminance format keeps red.
        {GL_SIGNED_LUMINANCE8_NV,
         GL_RGB,
         GL_BYTE,
         {0x20, 0x7F, 0x7F},
         GL_LUMINANCE32F_ARB,
         GL_LUMINANCE,
         {0.25f}},
        {GL_HILO16_NV,
         GL_HILO_NV,
         GL_UNSIGNED_SHORT,
         {0xFF, 0xFF, 0x00, 0x00},
         GL_RG32F,
         GL_RG,
         {1.0f, 0.0f}},
        {GL_SIGNED_HILO16_NV,
         GL_HILO_NV,
         GL_SHORT,
         {0x00, 0x80, 0x00, 0x40},
         GL_RG32F,
         GL_RG,
         {-1.0f, 0.5f}},
        {GL_DSDT8_NV, GL_DSDT_NV, GL_BYTE, {0x80, 0x7F}, GL_RG32F, GL_RG, {-1.0f, 0.9921875f}},
        // mag is unsigned: a negative byte clamps to zero.
        {GL_DSDT8_MAG8_NV,
         GL_DSDT_MAG_NV,
         GL_BYTE,
         {0x40, 0xC0, 0x80},
         GL_RGB32F,
         GL_RGB,
         {0.5f, -0.5f, 0.0f}},
        // Packed: ds, dt signed in the high bytes, mag and vib unsigned below.
        {GL_DSDT8_MAG8_INTENSITY8_NV,
         GL_DSDT_MAG_VIB_NV,
         GL_UNSIGNED_INT_S8_S8_8_8_NV,
         {0x33, 0xFF, 0x7F, 0x80},
         GL_RGBA32F,
         GL_RGBA,
         {-1.0f, 0.9921875f, 1.0f, 0.2f}},
        {GL_DSDT8_MAG8_INTENSITY8_NV,
         GL_DSDT_MAG_VIB_NV,
         GL_UNSIGNED_INT_8_8_S8_S8_REV_NV,
         {0x80, 0x7F, 0xFF, 0x33},
         GL_RGBA32F,
         GL_RGBA,
         {-1.0f, 0.9921875f, 1.0f, 0.2f}},
    };
    for (const Row& row : rows) {
        FloatImage image;
        ASSERT_EQ(ConvertTexels(row.internal, row.format, row.type, row.bytes.data(), 1, &image),
                  "")
            << row.internal;
        EXPECT_EQ(image.internalFormat, row.storage) << row.internal;
        EXPECT_EQ(image.format, row.layout) << row.internal;
        EXPECT_EQ(image.texels, row.expected) << row.internal;
    }
}

TEST(TexelConversionTest, FloatsAreClampedAndSeveralPixelsConvert) {
    const float pixels[] = {2.0f, -3.0f, 0.25f, -0.5f};
    FloatImage image;
    ASSERT_EQ(ConvertTexels(GL_SIGNED_HILO_NV, GL_HILO_NV, GL_FLOAT, pixels, 2, &image), "");
    EXPECT_EQ(image.texels, (std::vector<float>{1.0f, -1.0f, 0.25f, -0.5f}));
    ASSERT_EQ(ConvertTexels(GL_HILO_NV, GL_HILO_NV, GL_FLOAT, pixels, 2, &image), "");
    EXPECT_EQ(image.texels, (std::vector<float>{1.0f, 0.0f, 0.25f, 0.0f}));
}

TEST(TexelConversionTest, GroupTransferScalesAndBiasesBeforeTheClamp) {
    GroupTransfer transfer;
    transfer.scale[0] = 2;
    transfer.bias[1] = -0.25f;
    transfer.scale[2] = 0.5f;
    transfer.bias[3] = 0.5f;
    const uint8_t dsdtMagVib[4] = {64, 0, 64, 200};  // packed below as ds, dt, mag, vib
    uint32_t word = 0;
    for (int c = 0; c < 4; ++c) word |= uint32_t(dsdtMagVib[c]) << (8 * c);
    FloatImage image;
    ASSERT_EQ(ConvertTexels(GL_DSDT8_MAG8_INTENSITY8_NV, GL_DSDT_MAG_VIB_NV,
                            GL_UNSIGNED_INT_8_8_S8_S8_REV_NV, &word, 1, &image, transfer),
              "");
    // ds 0.5 * 2 = 1; dt 0 - 0.25; mag 64/255 * 0.5; vib 200/255 + 0.5 clamps to 1.
    EXPECT_EQ(image.texels, (std::vector<float>{1.0f, -0.25f, 64.0f / 255.0f * 0.5f, 1.0f}));
    // Colours the same way (the caller gives the colour scales and biases), -0.75 * 2 clamped.
    const int8_t rgb[3] = {-96, 0, 64};
    ASSERT_EQ(ConvertTexels(GL_SIGNED_RGB8_NV, GL_RGB, GL_BYTE, rgb, 1, &image, transfer), "");
    EXPECT_EQ(image.texels, (std::vector<float>{-1.0f, -0.25f, 0.25f}));
}

TEST(TexelConversionTest, RefusedCombinations) {
    const uint8_t bytes[4] = {};
    FloatImage image;
    EXPECT_NE(ConvertTexels(GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, bytes, 1, &image), "");
    EXPECT_NE(ConvertTexels(GL_SIGNED_RGBA8_NV, GL_HILO_NV, GL_BYTE, bytes, 1, &image), "");
    EXPECT_NE(ConvertTexels(GL_HILO16_NV, GL_RGBA, GL_SHORT, bytes, 1, &image), "");
    EXPECT_NE(ConvertTexels(GL_DSDT8_NV, GL_DSDT_MAG_NV, GL_BYTE, bytes, 1, &image), "");
    EXPECT_NE(ConvertTexels(GL_DSDT8_MAG8_NV, GL_DSDT_MAG_NV, GL_UNSIGNED_INT_S8_S8_8_8_NV, bytes,
                            1, &image),
              "");
    EXPECT_NE(ConvertTexels(GL_SIGNED_RGBA8_NV, GL_RGBA, GL_UNSIGNED_INT_8_8_8_8, bytes, 1, &image),
              "");
    EXPECT_NE(ConvertTexels(GL_SIGNED_RGBA8_NV, GL_BGRA, GL_BYTE, bytes, 1, &image), "");
    EXPECT_NE(ConvertTexels(GL_SIGNED_RGBA8_NV, GL_RGBA, GL_BYTE, nullptr, 1, &image), "");
}

TEST(TexelConversionTest, DescribesLegacyAndConventionalFormats) {
    struct Row {
        GLenum internal, base;
        Signedness sign;
        bool legacy;
    };
    const Row rows[] = {
        {GL_RGB8, GL_RGB, Signedness::kUnsigned, false},
        {GL_LUMINANCE8_ALPHA8, GL_LUMINANCE_ALPHA, Signedness::kUnsigned, false},
        {GL_SIGNED_INTENSITY_NV, GL_INTENSITY, Signedness::kSigned, true},
        {GL_SIGNED_RGB_UNSIGNED_ALPHA_NV, GL_RGBA, Signedness::kMixed, true},
        {GL_SIGNED_HILO16_NV, GL_HILO_NV, Signedness::kSigned, true},
        {GL_HILO_NV, GL_HILO_NV, Signedness::kUnsigned, true},
        {GL_DSDT8_MAG8_INTENSITY8_NV, GL_DSDT_MAG_INTENSITY_NV, Signedness::kMixed, true},
        {GL_RGBA32F, GL_NONE, Signedness::kUnsigned, false},
    };
    for (const Row& row : rows) {
        const TextureFormat f = DescribeInternalFormat(row.internal);
        EXPECT_EQ(f.base, row.base) << row.internal;
        if (row.base != GL_NONE) {
            EXPECT_EQ(f.sign, row.sign) << row.internal;
        }
        EXPECT_EQ(IsLegacyInternalFormat(row.internal), row.legacy) << row.internal;
    }
}

// Component c of values of type T.
template <typename T>
int64_t At(const unsigned char* bytes, int c) {
    T x;
    std::memcpy(&x, bytes + sizeof(T) * size_t(c), sizeof(T));
    return x;
}

TEST(TexelConversionTest, ReadBackRoundsSaturatesAndPacks) {
    const float values[4] = {-1.5f, -0.25f, 0.5f, 1.25f};
    const struct {
        GLenum type;
        int64_t (*at)(const unsigned char*, int);
        std::vector<int64_t> expected;
    } rows[] = {
        {GL_BYTE, At<int8_t>, {-128, -32, 64, 127}},
        {GL_UNSIGNED_BYTE, At<uint8_t>, {0, 0, 128, 255}},
        {GL_SHORT, At<int16_t>, {-32768, -8192, 16384, 32767}},
        {GL_UNSIGNED_SHORT, At<uint16_t>, {0, 0, 32768, 65535}},
        {GL_INT, At<int32_t>, {-2147483648LL, -536870912, 1073741824, 2147483647}},
        {GL_UNSIGNED_INT, At<uint32_t>, {0, 0, 2147483648LL, 4294967295LL}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.type);
        unsigned char bytes[16] = {};
        ASSERT_TRUE(PackComponents(row.type, values, 1, 4, bytes));
        for (int c = 0; c < 4; ++c) EXPECT_EQ(row.at(bytes, c), row.expected[size_t(c)]) << c;
    }
    // Packed: ds, dt signed and mag, vib unsigned, in both field orders.
    const float group[4] = {-0.5f, 0.25f, 1, 0.2f};
    uint32_t word = 0;
    ASSERT_TRUE(PackComponents(GL_UNSIGNED_INT_S8_S8_8_8_NV, group, 1, 4, &word));
    EXPECT_EQ(word, 0xC020FF33u);
    ASSERT_TRUE(PackComponents(GL_UNSIGNED_INT_8_8_S8_S8_REV_NV, group, 1, 4, &word));
    EXPECT_EQ(word, 0x33FF20C0u);
    EXPECT_FALSE(PackComponents(GL_UNSIGNED_INT_S8_S8_8_8_NV, group, 1, 3, &word));
    EXPECT_FALSE(PackComponents(GL_HALF_FLOAT, group, 1, 4, &word));
    // What the conversion stores reads back as it was given.
    const int16_t hilo[2] = {-32768, 32767};
    FloatImage image;
    ASSERT_EQ(ConvertTexels(GL_SIGNED_HILO16_NV, GL_HILO_NV, GL_SHORT, hilo, 1, &image), "");
    int16_t back[2] = {};
    ASSERT_TRUE(PackComponents(GL_SHORT, image.texels.data(), 1, 2, back));
    EXPECT_EQ(back[0], hilo[0]);
    EXPECT_EQ(back[1], hilo[1]);
}

TEST(TexelConversionTest, PixelFormatsPairWithInternalFormats) {
    const struct {
        GLenum format, internal;
        bool fits;
    } rows[] = {
        {GL_HILO_NV, GL_SIGNED_HILO16_NV, true},
        {GL_HILO_NV, GL_RGBA8, false},
        {GL_RGBA, GL_HILO_NV, false},
        {GL_DSDT_NV, GL_DSDT8_NV, true},
        {GL_DSDT_NV, GL_DSDT8_MAG8_NV, false},
        {GL_DSDT_MAG_VIB_NV, GL_DSDT_MAG_INTENSITY_NV, true},
        {GL_RGBA, GL_DSDT8_MAG8_INTENSITY8_NV, false},
        {GL_LUMINANCE, GL_SIGNED_RGBA8_NV, true},
        {GL_RGBA, GL_RGBA32F, true},
        {GL_DSDT_MAG_NV, GL_RGBA32F, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(PixelFormatFits(row.format, row.internal), row.fits)
            << std::hex << row.format << " " << row.internal;
}

}  // namespace
}  // namespace fragmentprogram
