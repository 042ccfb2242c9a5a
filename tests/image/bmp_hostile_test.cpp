// Hostile bitmaps built by the tests: every size, offset, index and run-length command that
// could lead the reader outside the file, the colour table or the picture. Each file is either
// refused with one message or decoded into a picture whose every pixel is checked; run under
// AddressSanitizer a stray read or write fails the test even where the picture would not show it.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "tests/image/bmp_builder.h"

#if defined(__SANITIZE_ADDRESS__)
#define UNDER_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UNDER_ADDRESS_SANITIZER 1
#endif
#endif

namespace {

using namespace bmptest;

constexpr size_t kOffsetField = 10;       // pixel data offset in the file header
constexpr size_t kWidthField = 14 + 4;    // fields of the info header after the file header
constexpr size_t kHeightField = 14 + 8;
constexpr size_t kImageSizeField = 14 + 20;

const uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

class HostileBitmap : public BmpTest {
protected:
    // Loads with the address space limited to 1 GB, prints "[message]" and ends the process.
    [[noreturn]] void LoadWithinOneGigabyte(const Bytes& bytes) {
        const rlimit limit{rlim_t(1) << 30, rlim_t(1) << 30};
        setrlimit(RLIMIT_AS, &limit);
        Load(bytes);
        std::fprintf(stderr, "[%s]\n", messages.empty() ? "" : messages[0].c_str());
        std::exit(0);
    }
};

const std::string kTooShortPixels = "Error: DIB file is too short for its pixel data.";
const std::string kTooShortHeaders = "Error: DIB file is too short for its headers.";
const std::string kTooShortTable = "Error: DIB file is too short for its colour table.";
const std::string kTooLarge = "Error: DIB file image is too large.";
const std::string kBadSize = "Error: DIB file has an invalid image size.";
const std::string kCutRun = "Error: Run-length data in the DIB file ends inside a run.";

TEST_F(HostileBitmap, PaletteIndicesBeyondTheColourTableAreBlack) {
    Bitmap oneBit;  // one entry, index 1 used
    oneBit.bpp = 1, oneBit.width = 3, oneBit.colorsUsed = 1, oneBit.palette = {kWhite};
    oneBit.pixels = {0xA0, 0, 0, 0};  // 1 0 1
    EXPECT_EQ(Decoded(oneBit.Make()), (Rows{{0, kWhite, 0}}));

    Bitmap fourBit;  // three entries, indices 2, 3 and 15 used
    fourBit.bpp = 4, fourBit.width = 3, fourBit.colorsUsed = 3, fourBit.palette = {kRed, kGreen, kBlue};
    fourBit.pixels = {0x23, 0xF0, 0, 0};
    EXPECT_EQ(Decoded(fourBit.Make()), (Rows{{kBlue, 0, 0}}));

    // Colours used 0x10000: its low 16 bits give an empty table, so every index is beyond it.
    Bitmap empty;
    empty.bpp = 8, empty.width = 2, empty.colorsUsed = 0x10000, empty.pixels = {0, 255, 0, 0};
    EXPECT_EQ(Decoded(empty.Make()), (Rows{{0, 0}}));

    Bitmap rle;  // a run and an absolute run of indices beyond the two entries
    rle.bpp = 8, rle.compression = 1, rle.width = 5, rle.colorsUsed = 2, rle.palette = {kRed, kGreen};
    rle.pixels = {2, 200, 0, 3, 1, 255, 0, 0, 0, 1};
    EXPECT_EQ(Decoded(rle.Make()), (Rows{{0, 0, kGreen, 0, kRed}}));
}

TEST_F(HostileBitmap, SizesWhoseProductOverflowsAreRefused) {
    struct Case {
        uint32_t header;
        int32_t width, height;
        uint16_t bpp;
    } cases[] = {
        {40, 0x10000, 0x10000, 24},        // 3·w·h = 3·2^32: 0 in 32 bits
        {40, 0x55555556, 1, 24},           // 3·w = 2^32 + 2: 2 in 32 bits
        {40, 0x40000000, 4, 8},            // w·h = 2^32
        {12, 0xFFFF, 0xFFFF, 24},          // the largest core header
        {40, 0x7FFFFFFF, 0x7FFFFFFF, 24},  // 3·w·h beyond the signed 64-bit range
        {40, 0x7FFFFFFF, 0x7FFFFFFF, 32},  // bits·w·h beyond 2^64
        {40, 0x7FFFFFFF, -0x7FFFFFFF, 8},  // the same stored top down
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        Bitmap b;
        b.headerSize = c.header, b.width = c.width, b.height = c.height, b.bpp = c.bpp;
        if (c.bpp == 8) b.colorsUsed = 1, b.palette = {kRed};
        b.pixels.assign(64, 0x5A);
        EXPECT_EQ(Refusal(b.Make()), kTooLarge);
        if (c.bpp == 8) {  // run-length data need hardly any bytes for any size
            b.compression = 1, b.pixels = {0, 1};
            EXPECT_EQ(Refusal(b.Make()), kTooLarge);
        }
    }
}

// Without a limit on the address space the allocation would succeed, so this runs in a child
// process with one, and only where no sanitizer reserves address space of its own.
TEST_F(HostileBitmap, ShortFileDeclaringAHugePictureIsRefusedBeforeTakingMemory) {
#ifdef UNDER_ADDRESS_SANITIZER
    GTEST_SKIP() << "address-space limit not usable with AddressSanitizer";
#else
    Bitmap b;  // 0x7FFFFFF0 bytes of picture, 4 bytes of data
    b.width = 0x2AAAAAA0, b.height = 1, b.pixels = {1, 2, 3, 4};
    const Bytes bytes = b.Make();
    EXPECT_EXIT(LoadWithinOneGigabyte(bytes), ::testing::ExitedWithCode(0),
                "\\[" + kTooShortPixels + "\\]");
#endif
}

TEST_F(HostileBitmap, RunsAndDeltasPastTheRowOrThePictureAreDropped) {
    Bitmap b;
    b.bpp = 8, b.compression = 1, b.width = 4, b.height = 3, b.colorsUsed = 3;
    b.palette = {kRed, kGreen, kBlue};
    const uint32_t R = kRed, G = kGreen, B = kBlue;
    struct Case {
        const char* what;
        Bytes data;
        Rows picture;
    } cases[] = {
        {"run past the row", {255, 1, 0, 0, 1, 2, 0, 1}, {{G, G, G, G}, {B, 0, 0, 0}, {0, 0, 0, 0}}},
        {"absolute run past the row", {0, 7, 1, 2, 1, 2, 1, 2, 1, 0, 0, 0, 1, 1, 0, 1},
         {{G, B, G, B}, {G, 0, 0, 0}, {0, 0, 0, 0}}},
        {"delta past the row", {1, 1, 0, 2, 255, 0, 3, 2, 0, 0, 1, 0, 0, 1},
         {{G, 0, 0, 0}, {R, 0, 0, 0}, {0, 0, 0, 0}}},
        {"delta past the picture", {0, 2, 1, 255, 4, 2, 0, 1}, {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}},
        {"run past the last row", {0, 2, 0, 2, 255, 1, 255, 2, 0, 1},
         {{0, 0, 0, 0}, {0, 0, 0, 0}, {G, G, G, G}}},
        {"line ends past the last row", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 1, 0, 1},
         {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        b.pixels = c.data;
        EXPECT_EQ(Decoded(b.Make()), c.picture);
    }

    // Four-bit runs: a run of 255 nibbles in a row of 4, then in the last row.
    b.bpp = 4, b.compression = 2, b.height = 2, b.colorsUsed = 0;
    b.palette.resize(16, kWhite);
    b.pixels = {255, 0x12, 0, 0, 255, 0x21, 0, 1};
    EXPECT_EQ(Decoded(b.Make()), (Rows{{G, B, G, B}, {B, G, B, G}}));
}

// A few bytes of run-length data may declare a picture of millions of pixels: it loads whole, and
// what the data does not reach is black.
TEST_F(HostileBitmap, TinyRunLengthDataFillsALargePicture) {
    Bitmap b;
    b.bpp = 8, b.compression = 1, b.width = 2048, b.height = 1500, b.colorsUsed = 2;
    b.palette = {kRed, kGreen};
    b.pixels = {2, 1, 0, 1};  // two green pixels, then the end of the picture
    Image image = Load(b.Make());
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width, 2048);
    ASSERT_EQ(image->height, 1500);
    const unsigned char* first = image->data;  // the first stored row
    const unsigned char* last = image->data + size_t(3) * 2048 * 1500 - 3;
    EXPECT_EQ((std::vector<int>(first, first + 9)), (std::vector<int>{0, 255, 0, 0, 255, 0, 0, 0, 0}));
    EXPECT_EQ((std::vector<int>(last, last + 3)), (std::vector<int>{0, 0, 0}));
}

TEST_F(HostileBitmap, RunLengthCommandsCutByTheDataEndAreRefused) {
    Bitmap b;
    b.bpp = 8, b.compression = 1, b.width = 8, b.height = 2, b.colorsUsed = 2, b.palette = {kRed, kGreen};
    for (const Bytes& data : {Bytes{2, 1, 0}, Bytes{2, 1, 0, 2, 5}, Bytes{0, 5, 1, 1, 1}}) {
        b.pixels = data;
        EXPECT_EQ(Refusal(b.Make()), kCutRun) << data.size();
    }
    // The image size field ends the data before the file does: the absolute run of 6 is cut.
    b.pixels = {0, 6, 1, 1, 1, 1, 1, 1, 0, 1};
    b.imageSize = 5;
    EXPECT_EQ(Refusal(b.Make()), kCutRun);
}

TEST_F(HostileBitmap, PixelDataOffsetsPastTheEndAreRefused) {
    Bitmap plain;
    plain.width = 2, plain.height = 2, plain.pixels.assign(16, 0x40);
    const Bytes whole = plain.Make();
    for (uint32_t offset : {uint32_t(whole.size()) - 15, uint32_t(whole.size()) + 1, 0x80000000u,
                            0xFFFFFFFFu}) {
        Bytes b = whole;
        Set32(b, kOffsetField, offset);
        EXPECT_EQ(Refusal(b), kTooShortPixels) << offset;
    }
    // An offset into the headers reads them as pixels: odd, but inside the file.
    Bytes intoHeaders = whole;
    Set32(intoHeaders, kOffsetField, 0);
    EXPECT_NE(Load(intoHeaders), nullptr);

    Bitmap rle;
    rle.bpp = 8, rle.compression = 1, rle.width = 2, rle.colorsUsed = 1, rle.palette = {kRed};
    rle.pixels = {2, 0, 0, 1};
    Bytes b = rle.Make();
    Set32(b, kOffsetField, uint32_t(b.size()) + 2);  // data to the end of the file: none at all
    EXPECT_EQ(Refusal(b), kTooShortPixels);
    Set32(b, kOffsetField, 0xFFFFFF00u);  // offset + image size passes 2^32 and wraps to 1
    Set32(b, kImageSizeField, 0x101);
    EXPECT_EQ(Refusal(b), kTooShortPixels);
}

TEST_F(HostileBitmap, TruncatedColourTablesAreRefused) {
    for (uint32_t header : {40u, 12u}) {
        for (bool fileHeader : {true, false}) {
            SCOPED_TRACE(std::to_string(header) + (fileHeader ? " file" : " bare"));
            Bitmap b;
            b.headerSize = header, b.bpp = 8, b.fileHeader = fileHeader, b.palette.assign(100, kBlue);
            EXPECT_EQ(Refusal(b.Make()), kTooShortTable);  // 256 entries declared, 100 present
        }
    }
    Bitmap most;  // colours used 0xFFFF: 262140 bytes of table in a file of a few hundred
    most.bpp = 8, most.colorsUsed = 0xFFFF, most.palette.assign(64, kRed), most.pixels = {0, 0, 0, 0};
    EXPECT_EQ(Refusal(most.Make()), kTooShortTable);
}

TEST_F(HostileBitmap, ZeroAndNegativeSizesAreRefused) {
    const Bytes whole = [] {
        Bitmap b;
        b.width = 2, b.height = 2, b.pixels.assign(16, 0x40);
        return b.Make();
    }();
    for (int32_t width : {0, -1, -2, INT32_MIN}) {
        Bytes b = whole;
        Set32(b, kWidthField, uint32_t(width));
        EXPECT_EQ(Refusal(b), kBadSize) << width;
    }
    for (int32_t height : {0, INT32_MIN}) {
        Bytes b = whole;
        Set32(b, kHeightField, uint32_t(height));
        EXPECT_EQ(Refusal(b), kBadSize) << height;
    }
    for (int32_t side : {0, 1}) {  // core header: 16-bit unsigned sizes, zero the only bad one
        Bitmap core;
        core.headerSize = 12, core.width = side, core.height = 1 - side, core.pixels.assign(8, 0);
        EXPECT_EQ(Refusal(core.Make()), kBadSize) << side;
    }
    Bitmap topDownRle;  // rows stored top down cannot be run-length encoded
    topDownRle.bpp = 8, topDownRle.compression = 1, topDownRle.height = -1;
    topDownRle.colorsUsed = 1, topDownRle.palette = {kRed}, topDownRle.pixels = {1, 0, 0, 1};
    EXPECT_EQ(Refusal(topDownRle.Make()), "Error: Image file conversion error.");
}

TEST_F(HostileBitmap, BitFieldMasksPastTheEndAreRefused) {
    Bitmap b;
    b.bpp = 16, b.compression = 3, b.masks = {0xF800, 0x07E0, 0x001F};
    const Bytes file = b.Make();
    b.fileHeader = false;
    const Bytes bare = b.Make();
    for (size_t cut = 1; cut <= 12; ++cut) {  // the file ends inside the three masks
        SCOPED_TRACE(cut);
        Bytes shortFile(file.begin(), file.begin() + 14 + 40 + 12 - cut);
        EXPECT_EQ(Refusal(shortFile), kTooShortHeaders);
        Bytes shortBare(bare.begin(), bare.begin() + 40 + 12 - cut);
        EXPECT_EQ(Refusal(shortBare), kTooShortHeaders);
    }

    // Whole-word, empty and one-bit masks; masks above a 16-bit pixel see nothing of the next.
    b.fileHeader = true, b.bpp = 32, b.masks = {0xFFFFFFFF, 0, 0x80000000};
    b.pixels = {0x00, 0x00, 0x00, 0xFF};
    EXPECT_EQ(Decoded(b.Make()), (Rows{{kRed | kBlue}}));
    b.bpp = 16, b.masks = {0xFFFF0000, 0xF0000, 0x0000FFFF};
    b.pixels = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(Decoded(b.Make()), (Rows{{kBlue}}));
}

// Every 32-bit and 16-bit header field of several valid files set to each extreme value: any
// outcome but a crash, a stray access or a silent failure (checked by Load).
TEST_F(HostileBitmap, ExtremeValuesInEveryHeaderField) {
    std::vector<Bytes> bases;
    Bitmap b;
    b.width = 3, b.height = 2, b.pixels.assign(24, 0x33);
    bases.push_back(b.Make());
    b = Bitmap();
    b.bpp = 8, b.compression = 1, b.width = 4, b.height = 2, b.colorsUsed = 2, b.palette = {kRed, kGreen};
    b.pixels = {4, 1, 0, 0, 2, 0, 0, 1}, b.imageSize = 8;
    bases.push_back(b.Make());
    b = Bitmap();
    b.bpp = 16, b.compression = 3, b.masks = {0xF800, 0x07E0, 0x001F}, b.pixels = {0xFF, 0xFF, 0, 0};
    bases.push_back(b.Make());
    b = Bitmap();
    b.headerSize = 12, b.bpp = 4, b.width = 3, b.fileHeader = false, b.palette.assign(16, kBlue);
    b.pixels = {0x12, 0x30, 0, 0};
    bases.push_back(b.Make());

    const uint32_t extremes[] = {0, 1, 0x7F, 0xFF, 0xFFFF, 0x10000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
    for (const Bytes& base : bases) {
        for (size_t at = 0; at + 2 <= base.size() && at < 14 + 40 + 12; at += 2) {
            for (uint32_t value : extremes) {
                Bytes damaged = base;
                for (size_t i = 0; i < 4 && at + i < damaged.size(); ++i) damaged[at + i] = uint8_t(value >> (8 * i));
                Image image = Load(damaged);
                if (image) {
                    ASSERT_GT(image->width, 0);
                    ASSERT_GT(image->height, 0);
                }
            }
        }
    }
}

}  // namespace
