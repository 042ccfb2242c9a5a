// Hostile bitmaps built by the tests: every size, offset, index and run-length command that
// could lead the reader outside the file, the colour table or the picture. Each file is either
// refused with one message or decoded into a picture whose every pixel is checked; run under
// AddressSanitizer a stray read or write fails the test even where the picture would not show it.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/image/bmp_builder.h"
#include "tests/support/sanitizers.h"
#include "tests/support/test_support.h"

namespace {

using namespace bmptest;

class HostileBitmap : public BmpTest {
  protected:
    // Loads with the address space limited to `megabytes`, prints "[message]" and ends the
    // process.
    [[noreturn]] void LoadWithin(rlim_t megabytes, const Bytes& bytes) {
        const rlimit limit{megabytes << 20, megabytes << 20};
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

// Run-length indices beyond the table are in RunLengthDataInsideAndPastThePicture.
TEST_F(HostileBitmap, PaletteIndicesBeyondTheColourTableAreBlack) {
    Bitmap b;  // 1 bit, one entry: indices 1 0 1
    b.bpp = 1, b.width = 3, b.colorsUsed = 1, b.palette = {kWhite}, b.pixels = {0xA0, 0, 0, 0};
    EXPECT_EQ(Decoded(b.Make()), (Rows{{0, kWhite, 0}}));
    b.bpp = 4, b.colorsUsed = 3, b.palette = {kRed, kGreen, kBlue},
    b.pixels = {0x23, 0xF0, 0, 0};  // 4 bits: 2 3 15
    EXPECT_EQ(Decoded(b.Make()), (Rows{{kBlue, 0, 0}}));
    // Colours used 0x10000: its low 16 bits give an empty table, so every index is beyond it.
    b.bpp = 8, b.width = 2, b.colorsUsed = 0x10000, b.palette = {}, b.pixels = {0, 255, 0, 0};
    EXPECT_EQ(Decoded(b.Make()), (Rows{{0, 0}}));
}

TEST_F(HostileBitmap, SizesWhoseProductOverflowsAreRefused) {
    const struct {
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
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        Bitmap b;
        b.headerSize = c.header, b.width = c.width, b.height = c.height, b.bpp = c.bpp;
        b.colorsUsed = 1, b.palette = {kRed}, b.pixels.assign(64, 0x5A);
        EXPECT_EQ(Refusal(b.Make()), kTooLarge);
        b.compression = 1, b.pixels = {0, 1};  // run-length data need hardly any bytes for any size
        EXPECT_EQ(Refusal(b.Make()), kTooLarge);
    }
}

// Without a limit on the address space the allocations would succeed, so these run in a child
// process with one, and only where no sanitizer reserves address space of its own.
TEST_F(HostileBitmap, ShortFileDeclaringAHugePictureIsRefusedBeforeTakingMemory) {
#ifdef TEST_UNDER_ADDRESS_SANITIZER
    GTEST_SKIP() << "address-space limit not usable with AddressSanitizer";
#else
    Bitmap b;  // 48 MiB of picture, 4 bytes of data
    b.width = 4096, b.height = 4096, b.pixels = {1, 2, 3, 4};
    EXPECT_EXIT(LoadWithin(40, b.Make()), ::testing::ExitedWithCode(0),
                "\\[" + kTooShortPixels + "\\]");
    // A run-length file of about a kilobyte declaring 16000 x 16000 pixels (768 MB as 24 bits).
    Bitmap bomb;
    bomb.bpp = 8, bomb.compression = 1, bomb.width = 16000, bomb.height = 16000;
    bomb.colorsUsed = 2, bomb.palette = {kRed, kWhite};
    for (int i = 0; i < 254; ++i) bomb.pixels.insert(bomb.pixels.end(), {0, 2, 255, 60});
    bomb.pixels.insert(bomb.pixels.end(), {0, 0, 0, 1});
    const Bytes bytes = bomb.Make();
    ASSERT_EQ(bytes.size(), 1082u);
    EXPECT_EXIT(LoadWithin(256, bytes), ::testing::ExitedWithCode(0), "\\[" + kTooLarge + "\\]");
#endif
}

// The pixel cap and the caller's side limit hold for every encoding, before memory is taken.
TEST_F(HostileBitmap, PicturesBeyondThePixelCapOrTheSideLimitAreRefused) {
    Bitmap b;
    b.bpp = 8, b.compression = 1, b.colorsUsed = 1, b.palette = {kRed}, b.pixels = {0, 1};
    const struct {
        int32_t width, height;
        bool loads;
    } sizes[] = {{4096, 4096, true},
                 {4097, 4096, false},
                 {1, 4096 * 4096 + 1, false},
                 {65536, 256, true},
                 {65536, 257, false}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        b.width = size.width, b.height = size.height;
        if (size.loads) {
            EXPECT_TRUE(Load(b.Make()));
        } else {
            EXPECT_EQ(Refusal(b.Make()), kTooLarge);
        }
    }
    // A 64 x 32 picture against side limits around it.
    b.width = 64, b.height = 32;
    const Bytes bytes = b.Make();
    for (int32_t maxSide : {64, 63, 31, 0}) {
        SCOPED_TRACE(maxSide);
        messages.clear();
        std::FILE* f = std::fopen(path_.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        RgbImage* image = LoadBmpImage(path_.c_str(), maxSide);
        std::remove(path_.c_str());
        EXPECT_EQ(image != nullptr, maxSide == 64);
        EXPECT_EQ(messages,
                  maxSide == 64 ? std::vector<std::string>{} : std::vector<std::string>{kTooLarge});
        if (image != nullptr) std::free(image->data), std::free(image);
    }
}

// Files that never end or never open get the open failure (or the size refusal) once and at
// once; each runs in a child with an alarm, so that a loader that waits fails the test.
TEST_F(HostileBitmap, FifosDevicesDirectoriesAndHugeFilesAreRefused) {
    testsupport::ScratchDir scratch("bmp_inputs");
    Bitmap b;  // a valid file's start, one byte over 65 MiB
    b.width = 4, b.height = 4, b.pixels.assign(48, 7);
    const Bytes start = b.Make();
    const std::string dir = scratch.Path(), fifo = scratch.Fifo("fifo.bmp"),
                      big = scratch.SparseFile("big.bmp", 68157441, {start.begin(), start.end()});
    ASSERT_NE(fifo, "");
    ASSERT_NE(big, "");
    const struct {
        std::string path, message;
    } cases[] = {
        {fifo, "Error: Failed to open DIB file " + fifo + ".\n"},
        {"/dev/zero", "Error: Failed to open DIB file /dev/zero.\n"},
        {dir, "Error: Failed to open DIB file " + dir + ".\n"},
        {big, "Error: DIB file is larger than 68157440 bytes."},
    };
    for (const auto& c : cases) {
        EXPECT_EXIT(
            {
                alarm(10);
                RgbImage* image = LoadBmpImage(c.path.c_str());
                for (const std::string& m : messages) std::fprintf(stderr, "[%s]", m.c_str());
                std::exit(image == nullptr && messages.size() == 1 ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "^\\[" + c.message + "\\]$")
            << c.path;
    }
}

// Runs, absolute runs, line ends, deltas and the end mark, in 8 and 4 bits, with a table of 16
// entries: what lands outside the row or the picture is dropped, what nothing sets is black.
TEST_F(HostileBitmap, RunLengthDataInsideAndPastThePicture) {
    const uint32_t R = PaletteColour(0), G = PaletteColour(1), B = PaletteColour(2);
    const auto P = PaletteColour;
    const struct {
        const char* what;
        uint16_t bpp;
        Bytes data;
        Rows picture;
    } cases[] = {
        {"run past the row",
         8,
         {255, 1, 0, 0, 1, 2, 0, 1},
         {{G, G, G, G}, {B, 0, 0, 0}, {0, 0, 0, 0}}},
        {"absolute run past the row",
         8,
         {0, 7, 1, 2, 1, 2, 1, 2, 1, 0, 0, 0, 1, 1, 0, 1},
         {{G, B, G, B}, {G, 0, 0, 0}, {0, 0, 0, 0}}},
        {"delta past the row",
         8,
         {1, 1, 0, 2, 255, 0, 3, 2, 0, 0, 1, 0, 0, 1},
         {{G, 0, 0, 0}, {R, 0, 0, 0}, {0, 0, 0, 0}}},
        {"delta past the picture",
         8,
         {0, 2, 1, 255, 4, 2, 0, 1},
         {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}},
        {"run past the last row",
         8,
         {0, 2, 0, 2, 255, 1, 255, 2, 0, 1},
         {{0, 0, 0, 0}, {0, 0, 0, 0}, {G, G, G, G}}},
        {"line ends past the last row",
         8,
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 1, 0, 1},
         {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}},
        {"indices beyond the table: a run of 200s, an absolute run 1 255 0",
         8,
         {2, 200, 0, 3, 1, 255, 0, 0, 0, 1},
         {{0, 0, G, 0, R}}},
        // Row 0: five alternating 1 2; line end; row 1: absolute 3 4 5 (padded to a word), two 6s.
        {"4 bits",
         4,
         {5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 2, 0x66, 0, 1},
         {{P(1), P(2), P(1), P(2), P(1)}, {P(3), P(4), P(5), P(6), P(6)}}},
        {"4 bits, runs of 255 past the row",
         4,
         {255, 0x12, 0, 0, 255, 0x21, 0, 1},
         {{G, B, G, B}, {B, G, B, G}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bitmap b;
        b.bpp = c.bpp, b.compression = c.bpp == 8 ? 1 : 2, b.colorsUsed = 16, b.pixels = c.data;
        b.width = int32_t(c.picture[0].size()), b.height = int32_t(c.picture.size());
        for (uint32_t i = 0; i < 16; ++i) b.palette.push_back(PaletteColour(i));
        EXPECT_EQ(Decoded(b.Make()), c.picture);
    }
}

// A few bytes of run-length data may declare a picture of millions of pixels: it loads whole, and
// what the data does not reach is black.
TEST_F(HostileBitmap, TinyRunLengthDataFillsALargePicture) {
    Bitmap b;
    b.bpp = 8, b.compression = 1, b.width = 2048, b.height = 1500, b.colorsUsed = 2,
    b.palette = {kRed, kGreen};
    b.pixels = {2, 1, 0, 1};  // two green pixels, then the end of the picture
    Rows expected(1500, std::vector<uint32_t>(2048, 0));
    expected[0][0] = expected[0][1] = kGreen;
    EXPECT_TRUE(Decoded(b.Make()) == expected);
}

TEST_F(HostileBitmap, RunLengthCommandsCutByTheDataEndAreRefused) {
    Bitmap b;
    b.bpp = 8, b.compression = 1, b.width = 8, b.height = 2, b.colorsUsed = 2,
    b.palette = {kRed, kGreen};
    // A command cut after its first byte, a delta without its offsets, absolute runs without all
    // their pixels or without their pad byte.
    for (const Bytes& data :
         {Bytes{2, 1, 0}, Bytes{2, 1, 0, 2, 5}, Bytes{0, 5, 1, 1, 1}, Bytes{0, 3, 1, 1, 1}}) {
        b.pixels = data;
        EXPECT_EQ(Refusal(b.Make()), kCutRun) << ::testing::PrintToString(data);
    }
    // The image size field ends the data before the file does: the absolute run of 6 is cut.
    b.pixels = {0, 6, 1, 1, 1, 1, 1, 1, 0, 1};
    b.imageSize = 5;
    EXPECT_EQ(Refusal(b.Make()), kCutRun);
}

// Pixel data that the offset, the size or the image size field puts past the end of the file.
TEST_F(HostileBitmap, PixelDataPastTheEndAreRefused) {
    Bitmap plain;
    plain.width = 2, plain.height = 2, plain.pixels.assign(16, 0x40);
    const Bytes whole = plain.Make();
    for (uint32_t offset :
         {uint32_t(whole.size()) - 15, uint32_t(whole.size()) + 1, 0x80000000u, 0xFFFFFFFFu})
        EXPECT_EQ(Refusal(With32(whole, kOffsetField, offset)), kTooShortPixels) << offset;
    // An offset into the headers reads them as pixels: odd, but inside the file.
    EXPECT_TRUE(Load(With32(whole, kOffsetField, 0)));
    EXPECT_EQ(Refusal(Bytes(whole.begin(), whole.end() - 1)), kTooShortPixels);
    EXPECT_EQ(Refusal(With32(whole, kHeightField, 0xFFFF0000)),
              kTooShortPixels);  // 65536 rows stored top down

    Bitmap rle;
    rle.bpp = 8, rle.compression = 1, rle.width = 2, rle.colorsUsed = 1, rle.palette = {kRed};
    rle.pixels = {2, 0, 0, 1};
    const Bytes b = rle.Make();
    // Run-length data longer than the file; data to the end of the file: none at all; an offset
    // whose sum with the image size passes 2^32 and wraps to 1.
    EXPECT_EQ(Refusal(With32(b, kImageSizeField, 0x100000)), kTooShortPixels);
    EXPECT_EQ(Refusal(With32(b, kOffsetField, uint32_t(b.size()) + 2)), kTooShortPixels);
    EXPECT_EQ(Refusal(With32(With32(b, kOffsetField, 0xFFFFFF00u), kImageSizeField, 0x101)),
              kTooShortPixels);
}

TEST_F(HostileBitmap, TruncatedColourTablesAreRefused) {
    for (uint32_t header : {40u, 12u}) {
        for (bool fileHeader : {true, false}) {
            Bitmap b;  // 256 entries declared, 100 present
            b.headerSize = header, b.bpp = 8, b.fileHeader = fileHeader,
            b.palette.assign(100, kBlue);
            EXPECT_EQ(Refusal(b.Make()), kTooShortTable)
                << header << (fileHeader ? " file" : " bare");
        }
    }
    Bitmap most;  // colours used 0xFFFF: 262140 bytes of table in a file of a few hundred
    most.bpp = 8, most.colorsUsed = 0xFFFF, most.palette.assign(64, kRed),
    most.pixels = {0, 0, 0, 0};
    EXPECT_EQ(Refusal(most.Make()), kTooShortTable);
}

TEST_F(HostileBitmap, ZeroAndNegativeSizesAreRefused) {
    Bitmap b;
    b.width = 2, b.height = 2, b.pixels.assign(16, 0x40);
    const Bytes whole = b.Make();
    for (int32_t width : {0, -1, -2, INT32_MIN})
        EXPECT_EQ(Refusal(With32(whole, kWidthField, uint32_t(width))), kBadSize) << width;
    for (int32_t height : {0, INT32_MIN})
        EXPECT_EQ(Refusal(With32(whole, kHeightField, uint32_t(height))), kBadSize) << height;
    for (int32_t side : {0, 1}) {  // core header: 16-bit unsigned sizes, zero the only bad one
        Bitmap core;
        core.headerSize = 12, core.width = side, core.height = 1 - side, core.pixels.assign(8, 0);
        EXPECT_EQ(Refusal(core.Make()), kBadSize) << side;
    }
}

TEST_F(HostileBitmap, BitFieldMasksPastTheEndAreRefused) {
    Bitmap b;
    b.bpp = 16, b.compression = 3, b.masks = {0xF800, 0x07E0, 0x001F};
    const Bytes file = b.Make();
    b.fileHeader = false;
    const Bytes bare = b.Make();
    for (size_t cut = 1; cut <= 12; ++cut) {  // the file ends inside the three masks
        SCOPED_TRACE(cut);
        EXPECT_EQ(Refusal(Bytes(file.begin(), file.begin() + 14 + 40 + 12 - cut)),
                  kTooShortHeaders);
        EXPECT_EQ(Refusal(Bytes(bare.begin(), bare.begin() + 40 + 12 - cut)), kTooShortHeaders);
    }
}

// Every prefix of several valid files is refused with a message. Every 32-bit and 16-bit header
// field set to each extreme value gives any outcome but a crash, a stray access, a silent failure
// or a picture without pixels (checked by Load).
TEST_F(HostileBitmap, TruncationsAndExtremeHeaderValuesOfValidFiles) {
    std::vector<Bitmap> valid(5);
    valid[0].width = 3, valid[0].height = 2, valid[0].pixels = PackRows(24, {{1, 2, 3}, {4, 5, 6}});
    valid[1].fileHeader = false, valid[1].bpp = 8, valid[1].width = 2,
    valid[1].palette.assign(256, 0x123456);
    valid[1].pixels = PackRows(8, {{1, 255}});
    valid[2].headerSize = 12, valid[2].bpp = 4, valid[2].width = 3,
    valid[2].palette.assign(16, 0x654321);
    valid[2].pixels = PackRows(4, {{1, 15, 7}});
    valid[3].bpp = 16, valid[3].compression = 3, valid[3].masks = {0xF800, 0x07E0, 0x001F};
    valid[3].pixels = PackRows(16, {{0xFFFF}});
    valid[4].bpp = 8, valid[4].compression = 1, valid[4].width = 4, valid[4].height = 2;
    valid[4].colorsUsed = 2, valid[4].palette = {0, kWhite},
    valid[4].pixels = {4, 1, 0, 0, 0, 4, 1, 0, 1, 0, 0, 1};
    valid[4].imageSize = uint32_t(valid[4].pixels.size());
    for (const Bitmap& b : valid) {
        const Bytes whole = b.Make();
        ASSERT_TRUE(Load(whole));
        for (size_t length = 0; length < whole.size(); ++length)
            EXPECT_NE(Refusal(Bytes(whole.begin(), whole.begin() + length)), "") << length;
        for (size_t at = 0; at + 2 <= whole.size() && at < 14 + 40 + 12; at += 2) {
            for (uint32_t value :
                 {0u, 1u, 0x7Fu, 0xFFu, 0xFFFFu, 0x10000u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
                Bytes damaged = whole;
                for (size_t i = 0; i < 4 && at + i < damaged.size(); ++i)
                    damaged[at + i] = uint8_t(value >> (8 * i));
                Load(damaged);
            }
        }
    }
}

}  // namespace
