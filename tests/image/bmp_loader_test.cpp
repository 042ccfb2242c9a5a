// LoadBmpImage against files the tests write themselves: every depth and header form, row
// padding, colour-table sizes, bit fields, and the forms it does not read. Run-length data,
// truncated files and damaged headers are in bmp_hostile_test.cpp.
#include <string>
#include <vector>

#include "tests/image/bmp_builder.h"

namespace {

using namespace bmptest;

// Row 0 of the record is the first stored row, i.e. the bottom of an ordinary file.
TEST_F(BmpTest, EveryDepthHeaderFormAndPaddingWidth) {
    for (uint32_t header : {12u, 40u}) {
        for (uint16_t bpp : {1, 4, 8, 16, 24, 32}) {
            for (int width = 1; width <= 5; ++width) {
                SCOPED_TRACE("header " + std::to_string(header) + " bpp " + std::to_string(bpp) +
                             " width " + std::to_string(width));
                Bitmap b;  // the gap moves the pixel data away from the colour table
                b.headerSize = header, b.width = width, b.height = 3, b.bpp = bpp, b.gap = width;
                for (uint32_t i = 0; bpp <= 8 && i < (1u << bpp); ++i)
                    b.palette.push_back(PaletteColour(i));
                Rows stored(3), expected(3);
                for (int row = 0; row < 3; ++row) {
                    for (int x = 0; x < width; ++x) {
                        // 16 bits: 5-5-5 with each channel full or empty; 32 bits: with a top byte
                        // that must not show.
                        const uint32_t seed = uint32_t(x * 37 + row * 101 + 7), red = x & 1,
                                       green = row & 1;
                        const uint32_t blue = x >= 2, index = bpp <= 8 ? seed % (1u << bpp) : 0;
                        const uint32_t colour = bpp <= 8 ? PaletteColour(index)
                                                : bpp == 16
                                                    ? red * kRed | green * kGreen | blue * kBlue
                                                    : (seed * 2654435761u) & 0xFFFFFF;
                        stored[row].push_back(bpp <= 8 ? index
                                              : bpp == 16
                                                  ? red * 0x7C00 | green * 0x03E0 | blue * 0x001F
                                                  : colour | (bpp == 32 ? 0xA5000000 : 0));
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
    EXPECT_EQ(Decoded(b.Make()),
              (Rows{{0x333333, 0x343434}, {0x222222, 0x232323}, {0x111111, 0x121212}}));

    Bitmap core;
    core.headerSize = 12, core.height = 40000, core.bpp = 1, core.palette = {0, kWhite};
    Rows rows(40000, {0});
    rows.back() = {1};
    core.pixels = PackRows(1, rows);
    rows.back() = {kWhite};
    EXPECT_EQ(Decoded(core.Make()), rows);
}

// Bare DIBs: the pixel data follow the colour table, so the table's size decides where they are.
TEST_F(BmpTest, ColourCountRulesPlaceBareDibPixelData) {
    const struct {
        uint32_t header;
        uint16_t bpp;
        uint32_t colorsUsed, entries;
    } cases[] = {{40, 8, 0, 256},     {40, 8, 17, 17}, {40, 24, 0, 0}, {40, 24, 2, 2},
                 {40, 4, 0x10003, 3}, {12, 4, 0, 16},  {12, 1, 0, 2},  {12, 8, 0, 256}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.header) + "/" + std::to_string(c.bpp) + "/" +
                     std::to_string(c.colorsUsed));
        Bitmap b;
        b.fileHeader = false, b.headerSize = c.header, b.bpp = c.bpp, b.colorsUsed = c.colorsUsed;
        for (uint32_t i = 0; i < c.entries; ++i) b.palette.push_back(PaletteColour(i));
        const uint32_t last = c.entries ? c.entries - 1 : 0;
        b.pixels = PackRows(c.bpp, {{c.bpp == 24 ? 0x445566 : last}});
        EXPECT_EQ(Decoded(b.Make()), (Rows{{c.bpp == 24 ? 0x445566u : PaletteColour(last)}}));
    }
}

// Masks of any width and place, whole-word and empty ones included, scaled to 8 bits.
TEST_F(BmpTest, BitFieldMasksComeFromTheFile) {
    const struct {
        uint16_t bpp;
        std::vector<uint32_t> masks, stored, colours;
    } cases[] = {
        // 0x8410: 16 of 31, 32 of 63, 16 of 31, rounded to 0x84, 0x82, 0x84.
        {16,
         {0xF800, 0x07E0, 0x001F},
         {0xF800, 0x07E0, 0x001F, 0x8410},
         {kRed, kGreen, kBlue, 0x848284}},
        {32, {0x000000FF, 0x0000FF00, 0x3FF00000}, {0x2AB07F12}, {0x127FAA}},  // blue: 10 bits
        {32, {0xFFFFFFFF, 0, 0x80000000}, {0xFF000000}, {kRed | kBlue}},
        {16, {0xFFFF0000, 0xF0000, 0x0000FFFF}, {0xFFFF}, {kBlue}},  // nothing of the row's filler
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.masks[0]);
        Bitmap b;
        b.width = int32_t(c.stored.size()), b.bpp = c.bpp, b.compression = 3, b.masks = c.masks;
        b.pixels = PackRows(c.bpp, {c.stored});
        EXPECT_EQ(Decoded(b.Make()), Rows{c.colours});
    }
}

TEST_F(BmpTest, UnreadableFilesGiveTheOpenFailureWithTheWholeName) {
    const std::string missing = "no_such_dir/" + std::string(600, 'x') + ".bmp";
    EXPECT_EQ(LoadBmpImage(missing.c_str()), nullptr);
    EXPECT_EQ(messages,
              (std::vector<std::string>{"Error: Failed to open DIB file " + missing + ".\n"}));
    EXPECT_EQ(Refusal({}), "Error: Failed to open DIB file " + path_ + ".\n");
}

TEST_F(BmpTest, OtherHeaderSizesCompressionsDepthsAndMasksAreRefused) {
    Bitmap b;
    b.pixels = PackRows(24, {{0x123456}});
    for (uint32_t size : {108u, 124u, 64u, 0u}) {
        b.headerSize = size;
        EXPECT_EQ(Refusal(b.Make()), "Error: Unknown DIB file format.") << size;
    }
    const Bytes valid = Bitmap{}.Make();
    std::vector<Bytes> unconvertible;
    for (uint32_t compression : {1u, 2u, 4u, 5u, 6u, 0xFFFFFFFFu})
        unconvertible.push_back(With32(valid, kCompressionField, compression));
    for (uint32_t bpp : {0u, 2u, 7u, 48u})
        unconvertible.push_back(With32(valid, kDepthField, 1u | bpp << 16));
    b = Bitmap();  // bit fields: a mask with a gap, and a depth without bit fields
    b.bpp = 32, b.compression = 3, b.masks = {0x00FF00FF, 0x0000FF00, 0xFF000000},
    b.pixels = {1, 2, 3, 4};
    unconvertible.push_back(b.Make());
    b.masks = {kRed, kGreen, kBlue}, b.bpp = 24;
    unconvertible.push_back(b.Make());
    b = Bitmap();  // rows stored top down cannot be run-length encoded
    b.bpp = 8, b.compression = 1, b.height = -1, b.colorsUsed = 1, b.palette = {kRed},
    b.pixels = {1, 0, 0, 1};
    unconvertible.push_back(b.Make());
    for (size_t i = 0; i < unconvertible.size(); ++i)
        EXPECT_EQ(Refusal(unconvertible[i]), "Error: Image file conversion error.") << i;
}

}  // namespace
