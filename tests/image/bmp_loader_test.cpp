// LoadBmpImage against files the tests write themselves: every depth and header form, row
// padding, colour-table sizes, run-length data, and broken files that must be refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "image/bmp_loader.h"
#include "platform/platform.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint32_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void Put32(Bytes& b, uint32_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}); }

// A BMP file or bare DIB described field by field; Make() lays it out.
struct Dib {
    uint32_t headerSize = 40;
    int32_t width = 1, height = 1;
    uint16_t bpp = 24;
    uint32_t compression = 0, imageSize = 0, colorsUsed = 0;
    std::vector<uint32_t> masks;   // after the header
    std::vector<uint32_t> palette; // 0xRRGGBB, written as the header form's entries
    Bytes pixels;
    bool fileHeader = true;
    uint32_t gap = 0;              // bytes between colour table and pixel data (BMP files only)

    Bytes Make() const {
        Bytes h;
        Put32(h, headerSize);
        if (headerSize == 12) {
            Put16(h, width), Put16(h, height), Put16(h, 1), Put16(h, bpp);
        } else {
            Put32(h, width), Put32(h, height), Put16(h, 1), Put16(h, bpp);
            for (uint32_t v : {compression, imageSize, 2835u, 2835u, colorsUsed, 0u}) Put32(h, v);
            h.resize(headerSize, 0);
        }
        for (uint32_t m : masks) Put32(h, m);
        for (uint32_t c : palette) {
            h.insert(h.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
            if (headerSize != 12) h.push_back(0);
        }
        h.resize(h.size() + (fileHeader ? gap : 0), 0xAB);
        Bytes out;
        if (fileHeader) {
            out = {'B', 'M'};
            Put32(out, uint32_t(14 + h.size() + pixels.size()));
            Put32(out, 0);
            Put32(out, uint32_t(14 + h.size()));
        }
        out.insert(out.end(), h.begin(), h.end());
        out.insert(out.end(), pixels.begin(), pixels.end());
        return out;
    }
};

// Stores rows of values (palette indices, 0xRRGGBB for 24 bits, raw words for 16 and 32), each
// row padded to 4 bytes with filler that must never show up in a picture.
Bytes PackRows(int bpp, const std::vector<std::vector<uint32_t>>& rows) {
    Bytes out;
    for (const auto& row : rows) {
        Bytes r;
        uint32_t acc = 0;
        int accBits = 0;
        for (uint32_t v : row) {
            if (bpp == 24) r.insert(r.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)});
            else if (bpp == 16) Put16(r, v);
            else if (bpp == 32) Put32(r, v);
            else {
                acc = (acc << bpp) | v;
                if ((accBits += bpp) == 8) r.push_back(uint8_t(acc)), acc = 0, accBits = 0;
            }
        }
        if (accBits) r.push_back(uint8_t(acc << (8 - accBits)));
        while (r.size() % 4) r.push_back(0xEE);
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

struct Message {
    std::string title, text;
};
std::vector<Message> messages;
void Capture(const char* title, const char* text) { messages.push_back({title, text}); }

struct ImageDeleter {
    void operator()(RgbImage* image) const {
        std::free(image->data);
        std::free(image);
    }
};
using Image = std::unique_ptr<RgbImage, ImageDeleter>;

uint32_t At(const RgbImage& image, int x, int row) {
    const uint8_t* p = image.data + (row * image.width + x) * 3;
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

class BmpLoader : public ::testing::Test {
protected:
    void SetUp() override {
        messages.clear();
        previous_ = platform::SetMessageSink(Capture);
    }
    void TearDown() override { platform::SetMessageSink(previous_); }

    // Loads the bytes from a file; every call either yields an image and no message, or no
    // image and exactly one message titled "Error".
    Image Load(const Bytes& bytes) {
        messages.clear();
        const char* name = fileName_.c_str();
        FILE* f = std::fopen(name, "wb");
        EXPECT_NE(f, nullptr);
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        Image image(LoadBmpImage(name));
        std::remove(name);
        if (image) {
            EXPECT_TRUE(messages.empty()) << messages[0].text;
        } else {
            EXPECT_EQ(messages.size(), 1u);
            if (!messages.empty()) {
                EXPECT_EQ(messages[0].title, "Error");
            }
        }
        return image;
    }

    std::string Refusal(const Bytes& bytes) {
        Image image = Load(bytes);
        EXPECT_EQ(image, nullptr);
        return messages.empty() ? "" : messages.back().text;
    }

    platform::MessageSink previous_ = nullptr;
    // Test cases run as parallel processes in one directory.
    const std::string fileName_ = "bmp_loader_test_" + std::to_string(getpid()) + ".bmp";
};

// Palette entries distinct from each other and from black.
uint32_t PaletteColour(uint32_t i) { return i << 16 | (255 - i) << 8 | (i ^ 0x5A); }

// Row 0 of the record is the first stored row, i.e. the bottom of an ordinary file.
TEST_F(BmpLoader, EveryDepthHeaderFormAndPaddingWidth) {
    for (uint32_t header : {12u, 40u}) {
        for (uint16_t bpp : {1, 4, 8, 16, 24, 32}) {
            for (int width = 1; width <= 5; ++width) {
                SCOPED_TRACE("header " + std::to_string(header) + " bpp " + std::to_string(bpp) +
                             " width " + std::to_string(width));
                Dib dib;  // the gap moves the pixel data away from the colour table
                dib.headerSize = header, dib.width = width, dib.height = 3, dib.bpp = bpp, dib.gap = width;
                if (bpp <= 8)
                    for (uint32_t i = 0; i < (1u << bpp); ++i) dib.palette.push_back(PaletteColour(i));
                std::vector<std::vector<uint32_t>> stored(3);
                std::vector<std::vector<uint32_t>> expected(3);
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
                dib.pixels = PackRows(bpp, stored);
                Image image = Load(dib.Make());
                ASSERT_NE(image, nullptr);
                ASSERT_EQ(image->width, width);
                ASSERT_EQ(image->height, 3);
                for (int row = 0; row < 3; ++row)
                    for (int x = 0; x < width; ++x) EXPECT_EQ(At(*image, x, row), expected[row][x]);
            }
        }
    }
}

TEST_F(BmpLoader, NegativeHeightGivesRowCountAndBottomFirstRows) {
    Dib dib;
    dib.width = 2, dib.height = -3;
    dib.pixels = PackRows(24, {{0x111111, 0x121212}, {0x222222, 0x232323}, {0x333333, 0x343434}});
    Image image = Load(dib.Make());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->height, 3);
    EXPECT_EQ(At(*image, 0, 0), 0x333333u);  // stored last = bottom row
    EXPECT_EQ(At(*image, 1, 1), 0x232323u);
    EXPECT_EQ(At(*image, 1, 2), 0x121212u);
}

// Bare DIBs: the pixel data follow the colour table, so the table's size decides where they are.
TEST_F(BmpLoader, ColourCountRulesPlaceBareDibPixelData) {
    struct Case {
        uint32_t header;
        uint16_t bpp;
        uint32_t colorsUsed, entries;
    } cases[] = {{40, 8, 0, 256}, {40, 8, 17, 17}, {40, 24, 0, 0}, {40, 24, 2, 2},
                 {40, 4, 0x10003, 3}, {12, 4, 0, 16}, {12, 1, 0, 2}, {12, 8, 0, 256}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.header) + "/" + std::to_string(c.bpp) + "/" + std::to_string(c.colorsUsed));
        Dib dib;
        dib.fileHeader = false, dib.headerSize = c.header, dib.bpp = c.bpp, dib.colorsUsed = c.colorsUsed;
        for (uint32_t i = 0; i < c.entries; ++i) dib.palette.push_back(PaletteColour(i));
        const uint32_t last = c.entries ? c.entries - 1 : 0;
        dib.pixels = PackRows(c.bpp, {{c.bpp == 24 ? 0x445566 : last}});
        Image image = Load(dib.Make());
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(At(*image, 0, 0), c.bpp == 24 ? 0x445566u : PaletteColour(last));
    }
}

TEST_F(BmpLoader, IndicesBeyondTheColourTableAreBlack) {
    Dib dib;
    dib.width = 3, dib.bpp = 8, dib.colorsUsed = 2, dib.palette = {0xFFFFFF, 0x808080};
    dib.pixels = PackRows(8, {{1, 2, 255}});
    Image image = Load(dib.Make());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(At(*image, 0, 0), 0x808080u);
    EXPECT_EQ(At(*image, 1, 0), 0u);
    EXPECT_EQ(At(*image, 2, 0), 0u);
}

TEST_F(BmpLoader, CoreHeaderDimensionsAreUnsigned) {
    Dib dib;
    dib.headerSize = 12, dib.height = 40000, dib.bpp = 1, dib.palette = {0, 0xFFFFFF};
    std::vector<std::vector<uint32_t>> rows(40000, {0});
    rows.back() = {1};
    dib.pixels = PackRows(1, rows);
    Image image = Load(dib.Make());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->height, 40000);
    EXPECT_EQ(At(*image, 0, 39999), 0xFFFFFFu);
}

uint8_t Scaled(uint32_t v, int bits) { return uint8_t(std::lround(v * 255.0 / ((1u << bits) - 1))); }

TEST_F(BmpLoader, BitFieldMasksComeFromTheFile) {
    Dib dib;
    dib.width = 4, dib.bpp = 16, dib.compression = 3, dib.masks = {0xF800, 0x07E0, 0x001F};
    dib.pixels = PackRows(16, {{0xF800, 0x07E0, 0x001F, 0x8410}});
    Image image = Load(dib.Make());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(At(*image, 0, 0), 0xFF0000u);
    EXPECT_EQ(At(*image, 1, 0), 0x00FF00u);
    EXPECT_EQ(At(*image, 2, 0), 0x0000FFu);
    EXPECT_EQ(At(*image, 3, 0), uint32_t(Scaled(16, 5)) << 16 | uint32_t(Scaled(32, 6)) << 8 | Scaled(16, 5));

    // 32 bits: red in the low byte, blue in a 10-bit field.
    dib.width = 1, dib.bpp = 32, dib.masks = {0x000000FF, 0x0000FF00, 0x3FF00000};
    dib.pixels = PackRows(32, {{0x2AB00000u | 0x7F12}});
    image = Load(dib.Make());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(At(*image, 0, 0), 0x127FAAu);

    dib.masks = {0x00FF00FF, 0x0000FF00, 0xFF000000};  // red not contiguous
    EXPECT_EQ(Refusal(dib.Make()), "Image file conversion error.");
    dib.masks = {0xFF0000, 0xFF00, 0xFF}, dib.bpp = 24;
    EXPECT_EQ(Refusal(dib.Make()), "Image file conversion error.");
}

TEST_F(BmpLoader, RunLengthEncodings) {
    Dib dib;
    dib.width = 5, dib.height = 3, dib.bpp = 8, dib.compression = 1, dib.colorsUsed = 4;
    dib.palette = {0x0A141E, 0xFF0000, 0x00FF00, 0x0000FF};
    // Row 0: run of three 1s, absolute 2 3 1 (the last past the row, dropped); line end;
    // delta (2, 1) from row 1 to row 2, column 2; run of two 2s; end of bitmap.
    dib.pixels = {3, 1, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 2, 1, 2, 2, 0, 1};
    Image image = Load(dib.Make());
    ASSERT_NE(image, nullptr) << messages[0].text;
    const uint32_t red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF;
    const uint32_t want8[3][5] = {{red, red, red, green, blue}, {0, 0, 0, 0, 0}, {0, 0, green, green, 0}};
    for (int row = 0; row < 3; ++row)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(At(*image, x, row), want8[row][x]) << x << "," << row;

    dib.compression = 2, dib.bpp = 4, dib.height = 2, dib.colorsUsed = 0;
    for (uint32_t i = 4; i < 16; ++i) dib.palette.push_back(PaletteColour(i));
    // Row 0: run of five alternating 1 2; line end; row 1: absolute 3 4 5, run of two 6s.
    dib.pixels = {5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 2, 0x66, 0, 1};
    image = Load(dib.Make());
    ASSERT_NE(image, nullptr);
    const uint32_t want4[2][5] = {{red, green, red, green, red},
                                  {blue, PaletteColour(4), PaletteColour(5), PaletteColour(6), PaletteColour(6)}};
    for (int row = 0; row < 2; ++row)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(At(*image, x, row), want4[row][x]) << x << "," << row;

    dib.pixels = {5, 0x12, 0, 6, 0x34};  // absolute run cut short
    EXPECT_EQ(Refusal(dib.Make()), "Run-length data in the DIB file ends inside a run.");
    dib.pixels = {5, 0x12, 0, 1}, dib.height = -2;  // top-down run-length data
    EXPECT_EQ(Refusal(dib.Make()), "Image file conversion error.");
}

TEST_F(BmpLoader, UnreadableFilesGiveTheOpenFailureWithTheWholeName) {
    const std::string missing = "no_such_dir/" + std::string(600, 'x') + ".bmp";
    EXPECT_EQ(LoadBmpImage(missing.c_str()), nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Error");
    EXPECT_EQ(messages[0].text, "Failed to open DIB file " + missing + ".\n");

    EXPECT_EQ(Refusal({}), "Failed to open DIB file " + fileName_ + ".\n");
}

TEST_F(BmpLoader, OtherHeaderSizesAreUnknownFormats) {
    for (uint32_t size : {108u, 124u, 64u, 0u}) {
        Dib dib;
        dib.headerSize = size;
        dib.pixels = PackRows(24, {{0x123456}});
        EXPECT_EQ(Refusal(dib.Make()), "Unknown DIB file format.") << size;
    }
}

Bytes Valid24() {
    Dib d;
    d.width = 3, d.height = 2, d.pixels = PackRows(24, {{1, 2, 3}, {4, 5, 6}});
    return d.Make();
}
Bytes ValidBare8() {
    Dib d;
    d.fileHeader = false, d.bpp = 8, d.width = 2, d.palette.assign(256, 0x123456), d.pixels = PackRows(8, {{1, 255}});
    return d.Make();
}
Bytes ValidCore4() {
    Dib d;
    d.headerSize = 12, d.bpp = 4, d.width = 3, d.palette.assign(16, 0x654321), d.pixels = PackRows(4, {{1, 15, 7}});
    return d.Make();
}
Bytes ValidBitFields() {
    Dib d;
    d.bpp = 16, d.compression = 3, d.masks = {0xF800, 0x07E0, 0x001F}, d.pixels = PackRows(16, {{0xFFFF}});
    return d.Make();
}
Bytes ValidRle8() {
    Dib d;
    d.bpp = 8, d.compression = 1, d.width = 4, d.height = 2, d.colorsUsed = 2, d.palette = {0, 0xFFFFFF};
    d.pixels = {4, 1, 0, 0, 0, 4, 1, 0, 1, 0, 0, 1}, d.imageSize = uint32_t(d.pixels.size());
    return d.Make();
}

TEST_F(BmpLoader, EveryTruncationIsRefused) {
    for (const Bytes& whole : {Valid24(), ValidBare8(), ValidCore4(), ValidBitFields(), ValidRle8()}) {
        ASSERT_NE(Load(whole), nullptr);
        for (size_t length = 0; length < whole.size(); ++length) {
            const std::string text = Refusal(Bytes(whole.begin(), whole.begin() + length));
            EXPECT_FALSE(text.empty()) << length;
        }
    }
    const Bytes bare = ValidBare8(), full = Valid24();
    EXPECT_EQ(Refusal(Bytes(bare.begin(), bare.begin() + 30)), "DIB file is too short for its headers.");
    EXPECT_EQ(Refusal(Bytes(bare.begin(), bare.begin() + 1000)), "DIB file is too short for its colour table.");
    EXPECT_EQ(Refusal(Bytes(full.begin(), full.end() - 1)), "DIB file is too short for its pixel data.");
}

Bytes With32(Bytes b, size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[offset + i] = uint8_t(v >> (8 * i));
    return b;
}

TEST_F(BmpLoader, CorruptedFieldsAreRefused) {
    const std::string tooShort = "DIB file is too short for its pixel data.";
    const std::string badSize = "DIB file has an invalid image size.";
    const std::string conversion = "Image file conversion error.";
    const Bytes b = Valid24();  // file header at 0, info header at 14
    EXPECT_EQ(Refusal(With32(b, 10, 0xFFFFFFF0)), tooShort);
    EXPECT_EQ(Refusal(With32(With32(b, 18, 0x7FFFFFFF), 22, 0x7FFFFFFF)), "DIB file image is too large.");
    EXPECT_EQ(Refusal(With32(b, 18, 0x40000000)), "DIB file image is too large.");
    EXPECT_EQ(Refusal(With32(b, 18, 0)), badSize);
    EXPECT_EQ(Refusal(With32(b, 18, uint32_t(-5))), badSize);
    EXPECT_EQ(Refusal(With32(b, 22, 0)), badSize);
    EXPECT_EQ(Refusal(With32(b, 22, 0x80000000)), badSize);
    EXPECT_EQ(Refusal(With32(b, 22, 0xFFFF0000)), tooShort);  // 65536 rows stored top down
    for (uint32_t compression : {1u, 2u, 4u, 5u, 6u, 0xFFFFFFFFu})
        EXPECT_EQ(Refusal(With32(b, 30, compression)), conversion) << compression;
    for (uint32_t bpp : {0u, 2u, 7u, 48u}) EXPECT_EQ(Refusal(With32(b, 26, 1u | bpp << 16)), conversion) << bpp;
    EXPECT_EQ(Refusal(With32(ValidBare8(), 32, 0xFFFF)), "DIB file is too short for its colour table.");
    EXPECT_EQ(Refusal(With32(ValidRle8(), 34, 0x100000)), tooShort);  // declared run-length size
}

// Random damage to valid files: any outcome but a crash, a bad read or a silent failure.
TEST_F(BmpLoader, RandomlyDamagedFilesNeverMisbehave) {
    uint32_t state = 12345;
    auto next = [&state] { return state ^= state << 13, state ^= state >> 17, state ^= state << 5; };
    const std::vector<Bytes> bases = {Valid24(), ValidBare8(), ValidCore4(), ValidBitFields(), ValidRle8()};
    for (int trial = 0; trial < 1000; ++trial) {
        Bytes b = bases[trial % bases.size()];
        for (int k = 1 + next() % 4; k > 0; --k) b[next() % std::min<size_t>(b.size(), 64)] = uint8_t(next());
        Load(b);
    }
}

}  // namespace
