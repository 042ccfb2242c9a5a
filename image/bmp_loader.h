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

// Returns a new record, or null after telling the user (title "Error") why not.
RgbImage* LoadBmpImage(const char* fileName);
