// Bitmap files built field by field for the loader tests, and a fixture that loads them through
// a file, reads back the picture and captures the loader's messages.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/bmp_loader.h"
#include "platform/platform.h"

namespace bmptest {

using Bytes = std::vector<uint8_t>;
using Rows = std::vector<std::vector<uint32_t>>;  // row 0 first

inline void Put16(Bytes& b, uint32_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
inline void Put32(Bytes& b, uint32_t v) { Put16(b, v), Put16(b, v >> 16); }
// A copy of the file with the 32-bit field at `at` set to v.
inline Bytes With32(Bytes b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + i) = uint8_t(v >> (8 * i));
    return b;
}

// Fields of a BMP file with an info header: the pixel data offset in the file header, then the
// info header's width, height, planes and depth (one word), compression and image size.
constexpr size_t kOffsetField = 10, kWidthField = 18, kHeightField = 22, kDepthField = 26;
constexpr size_t kCompressionField = 30, kImageSizeField = 34;

const uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;
// Palette entries distinct from each other and from black.
inline uint32_t PaletteColour(uint32_t i) { return i << 16 | (255 - i) << 8 | (i ^ 0x5A); }

// A BMP file (14-byte file header, then a 12-byte core or 40-byte info header, masks, colour
// table and pixel data) or, without the file header, a bare DIB.
struct Bitmap {
    uint32_t headerSize = 40;
    int32_t width = 1, height = 1;
    uint16_t bpp = 24;
    uint32_t compression = 0, imageSize = 0, colorsUsed = 0;
    std::vector<uint32_t> masks;    // after the header
    std::vector<uint32_t> palette;  // 0xRRGGBB, written in the header form's entry size
    Bytes pixels;
    bool fileHeader = true;
    uint32_t gap = 0;  // filler between colour table and pixel data (BMP files only)

    Bytes Make() const {
        Bytes h;
        Put32(h, headerSize);
        if (headerSize == 12) {
            Put16(h, uint32_t(width)), Put16(h, uint32_t(height)), Put16(h, 1), Put16(h, bpp);
        } else {
            Put32(h, uint32_t(width)), Put32(h, uint32_t(height)), Put16(h, 1), Put16(h, bpp);
            for (uint32_t v : {compression, imageSize, 2835u, 2835u, colorsUsed, 0u}) Put32(h, v);
            h.resize(std::max<size_t>(h.size(), headerSize), 0);
        }
        for (uint32_t m : masks) Put32(h, m);
        for (uint32_t c : palette) {
            h.insert(h.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
            if (headerSize != 12) h.push_back(0);
        }
        Bytes out;
        if (fileHeader) {
            h.resize(h.size() + gap, 0xAB);
            out = {'B', 'M'};
            for (size_t v : {14 + h.size() + pixels.size(), size_t(0), 14 + h.size()})
                Put32(out, uint32_t(v));
        }
        out.insert(out.end(), h.begin(), h.end());
        out.insert(out.end(), pixels.begin(), pixels.end());
        return out;
    }
};

// Rows of stored values (palette indices, 0xRRGGBB for 24 bits, raw words for 16 and 32 bits),
// each padded to 4 bytes with filler that must never show up in a picture.
inline Bytes PackRows(int bpp, const Rows& rows) {
    Bytes out;
    for (const auto& row : rows) {
        const size_t start = out.size();
        uint32_t acc = 0, accBits = 0;
        for (uint32_t v : row) {
            if (bpp == 24)
                out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)});
            else if (bpp == 16)
                Put16(out, v);
            else if (bpp == 32)
                Put32(out, v);
            else if (acc = (acc << bpp) | v, (accBits += bpp) == 8)
                out.push_back(uint8_t(acc)), acc = accBits = 0;
        }
        if (accBits) out.push_back(uint8_t(acc << (8 - accBits)));
        while ((out.size() - start) % 4) out.push_back(0xEE);
    }
    return out;
}

// Captures messages as "Title: text".
class BmpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        messages.clear();
        previous_ = platform::SetMessageSink([](const char* title, const char* text) {
            messages.push_back(std::string(title) + ": " + text);
        });
    }
    void TearDown() override { platform::SetMessageSink(previous_); }

    // Loads the bytes through a file: true and no message, or false and one message. The picture,
    // when asked for, comes back as 0xRRGGBB rows, the first stored row first.
    bool Load(const Bytes& bytes, Rows* picture = nullptr) {
        messages.clear();
        FILE* f = std::fopen(path_.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f == nullptr) return false;
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);  // data() may be null
        std::fclose(f);
        RgbImage* image = LoadBmpImage(path_.c_str());
        std::remove(path_.c_str());
        EXPECT_EQ(messages.size(), image ? 0u : 1u) << (messages.empty() ? "" : messages[0]);
        if (image == nullptr) return false;
        EXPECT_TRUE(image->width > 0 && image->height > 0)
            << image->width << " x " << image->height;
        const size_t values =
            image->width > 0 && image->height > 0 ? size_t(image->width) * image->height : 0;
        for (size_t n = 0; picture != nullptr && n < values; ++n) {
            if (n % image->width == 0) picture->emplace_back();
            const uint8_t* p = image->data + n * 3;
            picture->back().push_back(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
        }
        std::free(image->data), std::free(image);
        return true;
    }
    // The message of a refused file ("" when it was not refused).
    std::string Refusal(const Bytes& bytes) {
        EXPECT_FALSE(Load(bytes));
        return messages.empty() ? "" : messages[0];
    }
    // The decoded picture (empty when the file was refused).
    Rows Decoded(const Bytes& bytes) {
        Rows rows;
        EXPECT_TRUE(Load(bytes, &rows)) << (messages.empty() ? "" : messages[0]);
        return rows;
    }

    static inline std::vector<std::string> messages;
    platform::MessageSink previous_ = nullptr;
    // Test cases may run as parallel processes in one directory.
    const std::string path_ = "bmp_test_" + std::to_string(getpid()) + ".bmp";
};

}  // namespace bmptest
