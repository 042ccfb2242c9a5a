// Reads a BMP file or a bare DIB into a 24-bit RGB image record.
#pragma once

#include <cstdint>

// Pixels are R, G, B bytes, rows packed without padding, row 0 = the file's first stored row
// (the bottom row of an ordinary bottom-up file). The caller frees data, then the record.
struct RgbImage {
    int32_t width;
    int32_t height;
    unsigned char* data;
};

// The largest picture read: 4096 x 4096 pixels (48 MiB as 24-bit pixels), far beyond any sprite
// and low enough that no file can make the reader take more than that.
constexpr uint64_t kBmpMaxPixels = uint64_t(4096) * 4096;

// Returns a new record, or null after telling the user (title "Error") why not. Only regular
// files are read; pictures beyond kBmpMaxPixels, or wider or higher than maxSide (for example the
// GL texture size limit of the caller), are refused before their memory is taken.
RgbImage* LoadBmpImage(const char* fileName, int32_t maxSide = INT32_MAX);
