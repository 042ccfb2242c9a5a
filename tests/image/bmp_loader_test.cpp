// LoadBmpImage against files the tests write themselves: every depth and header form, row
// padding, colour-table sizes, bit fields, run-length data, and truncated or corrupted files.
#include <cmath>
#include <string>
#include <vector>

#include "tests/image/bmp_builder.h"

namespace {

using namespace bmptest;

// Palette entries distinct from each other and from black.
uint32_t PaletteColour(uint32_t i) { return i << 16 | (255 - i) << 8 | (i ^ 0x5A); }

// Row 0 of the record is the first stored row, i.e. the bottom of an ordinary file.
TEST_F(BmpTest, EveryDepthHeaderFormAndPaddingWidth) {
    for (uint32_t header : {12u, 40u}) {
        for (uint16_t bpp : {1, 4, 8, 16, 24, 32}) {
            for (int width = 1; width <= 5; ++width) {
                SCOPED_TRACE("header " + std::to_string(header) + " bpp " + std::to_string(bpp) +
                             " width " + std::to_string(width));
                Bitmap b;  // the gap moves the pixel data away from the colour table
                b.headerSize = header, b.width = width, b.height = 3, b.bpp = bpp, b.gap = width;
                if (bpp <= 8)
                    for (uint32_t i = 0; i < (1u << bpp); ++i) b.palette.push_back(PaletteColour(i));
                Rows stored(3), expected(3);
                for (int row = 0; row < 3; ++row) {
                    for (int x = 0; x < width; ++x) {
                        const uint32_t seed = uint32_t(x * 37 + row * 101 + 7);
                        uint32_t value, colour;
                        if (bpp <= 8) {
                            value = seed % (1u << bpp), colour = PaletteColour(value);
                        } else if (bpp == 16) {  // 5-5-5 with full or empty channels
                            value = (x & 1 ? 0x7C00 : 0) | (row & 1 ? 0x03E0 : 0) | (x >= 2 ? 0x1F : 0);
                            colour = (x & 1 ? 0xFF0000 : 0) | (row & 1 ? 0xFF00 : 0) | (x >= 2 ? 0xFF : 0);
                        } else {
                            colour = (seed * 2654435761u) & 0xFFFFFF;
                            value = colour | (bpp == 32 ? 0xA5000000 : 0);
                        }
                        stored[row].push_back(value);
                        expected[row].push_back(colour);
                    }
                }
                b.pixels = PackRows(bpp, stored);
                EXPECT_EQ(Decoded(b.Make()), expected);
            }
        }
    }
}

// Negative height: the positive row count, rows in the same bottom-first order. A core header's
// 16-bit sizes are unsigned.
TEST_F(BmpTest, RowCountsOfNegativeHeightsAndCoreHeaders) {
    Bitmap b;
    b.width = 2, b.height = -3;
    b.pixels = PackRows(24, {{0x111111, 0x121212}, {0x222222, 0x232323}, {0x333333, 0x343434}});
    EXPECT_EQ(Decoded(b.Make()), (Rows{{0x333333, 0x343434}, {0x222222, 0x232323}, {0x111111, 0x121212}}));

    Bitmap core;
    core.headerSize = 12, core.height = 40000, core.bpp = 1, core.palette = {0, 0xFFFFFF};
    Rows rows(40000, {0});
    rows.back() = {1};
    core.pixels = PackRows(1, rows);
    rows.back() = {0xFFFFFF};
    EXPECT_EQ(Decoded(core.Make()), rows);
}

// Bare DIBs: the pixel data follow the colour table, so the table's size decides where they are.
TEST_F(BmpTest, ColourCountRulesPlaceBareDibPixelData) {
    struct Case {
        uint32_t header;
        uint16_t bpp;
        uint32_t colorsUsed, entries;
    } cases[] = {{40, 8, 0, 256}, {40, 8, 17, 17}, {40, 24, 0, 0}, {40, 24, 2, 2},
                 {40, 4, 0x10003, 3}, {12, 4, 0, 16}, {12, 1, 0, 2}, {12, 8, 0, 256}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.header) + "/" + std::to_string(c.bpp) + "/" + std::to_string(c.colorsUsed));
        Bitmap b;
        b.fileHeader = false, b.headerSize = c.header, b.bpp = c.bpp, b.colorsUsed = c.colorsUsed;
        for (uint32_t i = 0; i < c.entries; ++i) b.palette.push_back(PaletteColour(i));
        const uint32_t last = c.entries ? c.entries - 1 : 0;
        b.pixels = PackRows(c.bpp, {{c.bpp == 24 ? 0x445566 : last}});
        EXPECT_EQ(Decoded(b.Make()), (Rows{{c.bpp == 24 ? 0x445566u : PaletteColour(last)}}));
    }
}

uint32_t Scaled(uint32_t v, int bits) { return uint32_t(std::lround(v * 255.0 / ((1u << bits) - 1))); }

TEST_F(BmpTest, BitFieldMasksComeFromTheFile) {
    Bitmap b;
    b.width = 4, b.bpp = 16, b.compression = 3, b.masks = {0xF800, 0x07E0, 0x001F};
    b.pixels = PackRows(16, {{0xF800, 0x07E0, 0x001F, 0x8410}});
    EXPECT_EQ(Decoded(b.Make()),
              (Rows{{0xFF0000, 0x00FF00, 0x0000FF, Scaled(16, 5) << 16 | Scaled(32, 6) << 8 | Scaled(16, 5)}}));
    // 32 bits: red in the low byte, blue in a 10-bit field.
    b.width = 1, b.bpp = 32, b.masks = {0x000000FF, 0x0000FF00, 0x3FF00000};
    b.pixels = PackRows(32, {{0x2AB00000u | 0x7F12}});
    EXPECT_EQ(Decoded(b.Make()), (Rows{{0x127FAA}}));

    b.masks = {0x00FF00FF, 0x0000FF00, 0xFF000000};  // red not contiguous
    EXPECT_EQ(Refusal(b.Make()), "Error: Image file conversion error.");
    b.masks = {0xFF0000, 0xFF00, 0xFF}, b.bpp = 24;
    EXPECT_EQ(Refusal(b.Make()), "Error: Image file conversion error.");
}

TEST_F(BmpTest, FourBitRunLengthData) {
    Bitmap b;
    b.width = 5, b.height = 2, b.bpp = 4, b.compression = 2;
    for (uint32_t i = 0; i < 16; ++i) b.palette.push_back(PaletteColour(i));
    // Row 0: run of five alternating 1 2; line end; row 1: absolute 3 4 5 (padded to a word),
    // run of two 6s; end of bitmap.
    b.pixels = {5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 2, 0x66, 0, 1};
    const auto P = PaletteColour;
    EXPECT_EQ(Decoded(b.Make()), (Rows{{P(1), P(2), P(1), P(2), P(1)}, {P(3), P(4), P(5), P(6), P(6)}}));
}

TEST_F(BmpTest, UnreadableFilesGiveTheOpenFailureWithTheWholeName) {
    const std::string missing = "no_such_dir/" + std::string(600, 'x') + ".bmp";
    EXPECT_EQ(LoadBmpImage(missing.c_str()), nullptr);
    EXPECT_EQ(messages, (std::vector<std::string>{"Error: Failed to open DIB file " + missing + ".\n"}));
    EXPECT_EQ(Refusal({}), "Error: Failed to open DIB file " + path_ + ".\n");
}

Bytes With32(Bytes b, size_t at, uint32_t v) { return Set32(b, at, v), b; }

TEST_F(BmpTest, OtherHeaderSizesCompressionsAndDepthsAreRefused) {
    Bitmap b;
    b.pixels = PackRows(24, {{0x123456}});
    for (uint32_t size : {108u, 124u, 64u, 0u}) {
        b.headerSize = size;
        EXPECT_EQ(Refusal(b.Make()), "Error: Unknown DIB file format.") << size;
    }
    const Bytes valid = Bitmap{}.Make();
    for (uint32_t compression : {1u, 2u, 4u, 5u, 6u, 0xFFFFFFFFu})
        EXPECT_EQ(Refusal(With32(valid, 30, compression)), "Error: Image file conversion error.") << compression;
    for (uint32_t bpp : {0u, 2u, 7u, 48u})
        EXPECT_EQ(Refusal(With32(valid, 26, 1u | bpp << 16)), "Error: Image file conversion error.") << bpp;
}

// Every prefix of several valid files is refused with a message; ASan catches any read past it.
TEST_F(BmpTest, EveryTruncationIsRefused) {
    std::vector<Bitmap> valid(5);
    valid[0].width = 3, valid[0].height = 2, valid[0].pixels = PackRows(24, {{1, 2, 3}, {4, 5, 6}});
    valid[1].fileHeader = false, valid[1].bpp = 8, valid[1].width = 2, valid[1].palette.assign(256, 0x123456);
    valid[1].pixels = PackRows(8, {{1, 255}});
    valid[2].headerSize = 12, valid[2].bpp = 4, valid[2].width = 3, valid[2].palette.assign(16, 0x654321);
    valid[2].pixels = PackRows(4, {{1, 15, 7}});
    valid[3].bpp = 16, valid[3].compression = 3, valid[3].masks = {0xF800, 0x07E0, 0x001F};
    valid[3].pixels = PackRows(16, {{0xFFFF}});
    valid[4].bpp = 8, valid[4].compression = 1, valid[4].width = 4, valid[4].height = 2;
    valid[4].colorsUsed = 2, valid[4].palette = {0, 0xFFFFFF}, valid[4].pixels = {4, 1, 0, 0, 0, 4, 1, 0, 1, 0, 0, 1};
    valid[4].imageSize = uint32_t(valid[4].pixels.size());
    for (const Bitmap& b : valid) {
        const Bytes whole = b.Make();
        ASSERT_NE(Load(whole), nullptr);
        for (size_t length = 0; length < whole.size(); ++length)
            EXPECT_NE(Refusal(Bytes(whole.begin(), whole.begin() + length)), "") << length;
    }
    const Bytes full = valid[0].Make();
    EXPECT_EQ(Refusal(Bytes(full.begin(), full.end() - 1)), "Error: DIB file is too short for its pixel data.");
    // 65536 rows stored top down in a file holding two; run-length data longer than the file.
    EXPECT_EQ(Refusal(With32(full, 22, 0xFFFF0000)), "Error: DIB file is too short for its pixel data.");
    EXPECT_EQ(Refusal(With32(valid[4].Make(), 34, 0x100000)), "Error: DIB file is too short for its pixel data.");
}

}  // namespace
