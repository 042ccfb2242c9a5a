// BMP / bare DIB reader. The file (a regular file of bounded size) is read whole into memory and
// every size and offset taken from it is checked against its length before any byte is read;
// the picture's size is checked against the caps before its memory is taken, and the pixels are
// decoded straight into the packed R, G, B record.
#include "image/bmp_loader.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/read_file.h"

namespace {

constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionRle8 = 1;
constexpr uint32_t kCompressionRle4 = 2;
constexpr uint32_t kCompressionBitFields = 3;

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kCoreHeaderSize = 12;
constexpr size_t kInfoHeaderSize = 40;
constexpr size_t kMaskBlockSize = 12;

// The largest file read: a picture at the pixel cap in 32 bits, plus 1 MiB for the headers, the
// largest colour table and a gap before the pixel data.
constexpr size_t kMaxFileBytes = size_t(4) * kBmpMaxPixels + (size_t(1) << 20);

void ReportError(const std::string& text) { platform::ShowMessage("Error", text.c_str()); }

// The file's bytes, read-only, indexed as unsigned bytes.
class FileBytes {
  public:
    explicit FileBytes(const std::string& bytes)
        : data_(reinterpret_cast<const unsigned char*>(bytes.data())), size_(bytes.size()) {}
    const unsigned char* data() const { return data_; }
    size_t size() const { return size_; }
    const unsigned char& operator[](size_t i) const { return data_[i]; }

  private:
    const unsigned char* data_;
    size_t size_;
};

uint16_t Read16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Read32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Whether [offset, offset + size) lies inside a file of the given length.
bool Fits(size_t length, uint64_t offset, uint64_t size) {
    return offset <= length && size <= length - offset;
}

struct Colour {
    unsigned char r, g, b;
};

// One channel of a bit-field pixel: its position and width, scaled to 8 bits on extraction.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    // False for a mask whose set bits are not contiguous.
    bool Set(uint32_t m) {
        mask = m;
        shift = 0;
        bits = 0;
        if (m == 0) return true;
        while (((m >> shift) & 1u) == 0) ++shift;
        uint64_t rest = m >> shift;
        while (rest & 1u) {
            ++bits;
            rest >>= 1;
        }
        return rest == 0;
    }

    unsigned char Extract(uint32_t pixel) const {
        if (bits == 0) return 0;
        uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return static_cast<unsigned char>(v >> (bits - 8));
        uint32_t max = (1u << bits) - 1;
        return static_cast<unsigned char>((v * 255 + max / 2) / max);
    }
};

// What the headers say, in the form of a 40-byte info header plus the colour table.
struct DibLayout {
    uint32_t headerSize = 0;
    int32_t width = 0;
    int32_t height = 0;  // as stored: negative for rows stored top to bottom
    uint16_t bitsPerPixel = 0;
    uint32_t compression = 0;
    uint32_t imageSize = 0;
    std::vector<Colour> palette;
    Channel red, green, blue;
};

// Number of colour-table entries that follow the info header.
uint32_t DibColorCount(const unsigned char* header) {
    uint32_t size = Read32(header);
    if (size != kCoreHeaderSize) {
        uint32_t used = Read32(header + 32);
        if (used != 0) return used & 0xFFFF;
    }
    uint16_t bits = Read16(header + (size == kCoreHeaderSize ? 10 : 14));
    switch (bits) {
        case 1:
            return 2;
        case 4:
            return 16;
        case 8:
            return 256;
        default:
            return 0;
    }
}

// Bytes per stored row of uncompressed pixels: rows are padded to 32 bits.
uint64_t UncompressedStride(const DibLayout& dib) {
    return (static_cast<uint64_t>(dib.bitsPerPixel) * dib.width + 31) / 32 * 4;
}

// Whether the file holds the pixel data that the headers declare. Checked before the picture's
// memory is taken, so that a short file declaring a huge picture costs nothing.
bool PixelDataFits(const DibLayout& dib, size_t length, uint64_t pixelOffset, uint64_t rows) {
    if (dib.compression == kCompressionRle8 || dib.compression == kCompressionRle4) {
        // Without an image size the run-length data run to the end of the file.
        return Fits(length, pixelOffset, dib.imageSize);
    }
    return Fits(length, pixelOffset, UncompressedStride(dib) * rows);
}

class Decoder {
  public:
    Decoder(const FileBytes& file, const DibLayout& layout, size_t pixelOffset, unsigned char* out)
        : file_(file),
          dib_(layout),
          pixelOffset_(pixelOffset),
          out_(out),
          rows_(layout.height < 0 ? -static_cast<int64_t>(layout.height) : layout.height) {}

    // Decodes into the record; returns an error text, or empty on success.
    std::string Run() {
        switch (dib_.compression) {
            case kCompressionRle8:
            case kCompressionRle4:
                return DecodeRle();
            default:
                return DecodeUncompressed();
        }
    }

  private:
    // Destination pixel of stored row `row`, column `col`: rows come out bottom first.
    unsigned char* Target(int64_t row, int64_t col) {
        int64_t outRow = dib_.height < 0 ? rows_ - 1 - row : row;
        return out_ + (outRow * dib_.width + col) * 3;
    }

    void Put(int64_t row, int64_t col, Colour c) {
        unsigned char* p = Target(row, col);
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
    }

    // Indices past the colour table give black rather than reading beyond it.
    Colour PaletteColour(unsigned index) const {
        return index < dib_.palette.size() ? dib_.palette[index] : Colour{0, 0, 0};
    }

    std::string DecodeUncompressed() {
        const uint64_t stride = UncompressedStride(dib_);
        const int bpp = dib_.bitsPerPixel;
        for (int64_t row = 0; row < rows_; ++row) {
            const unsigned char* src = file_.data() + pixelOffset_ + row * stride;
            for (int64_t col = 0; col < dib_.width; ++col) {
                switch (bpp) {
                    case 1:
                        Put(row, col, PaletteColour((src[col >> 3] >> (7 - (col & 7))) & 1));
                        break;
                    case 4:
                        Put(row, col, PaletteColour((src[col >> 1] >> ((col & 1) ? 0 : 4)) & 15));
                        break;
                    case 8:
                        Put(row, col, PaletteColour(src[col]));
                        break;
                    case 24:
                        Put(row, col, Colour{src[col * 3 + 2], src[col * 3 + 1], src[col * 3]});
                        break;
                    case 16:
                        Put(row, col, FromBitFields(Read16(src + col * 2)));
                        break;
                    case 32:
                        Put(row, col, FromBitFields(Read32(src + col * 4)));
                        break;
                }
            }
        }
        return {};
    }

    Colour FromBitFields(uint32_t pixel) const {
        return Colour{dib_.red.Extract(pixel), dib_.green.Extract(pixel), dib_.blue.Extract(pixel)};
    }

    // Run-length data: runs of one index, absolute runs, line ends, deltas and the end mark.
    // Pixels that nothing sets stay black; pixels beyond the row or the image are dropped.
    // The data may stop at a command boundary (taken as the end), not inside a command.
    std::string DecodeRle() {
        const bool four = dib_.compression == kCompressionRle4;
        const size_t end = dib_.imageSize != 0 ? pixelOffset_ + dib_.imageSize : file_.size();
        const char* truncated = "Run-length data in the DIB file ends inside a run.";
        size_t pos = pixelOffset_;
        int64_t row = 0, col = 0;
        auto plot = [&](unsigned index) {
            if (row < rows_ && col < dib_.width) Put(row, col, PaletteColour(index));
            ++col;
        };
        while (pos < end && row < rows_) {
            if (end - pos < 2) return truncated;
            unsigned count = file_[pos], value = file_[pos + 1];
            pos += 2;
            if (count > 0) {
                for (unsigned i = 0; i < count; ++i)
                    plot(four ? ((i & 1) ? value & 15 : value >> 4) : value);
                continue;
            }
            if (value == 0) {  // end of line
                ++row;
                col = 0;
            } else if (value == 1) {  // end of bitmap
                break;
            } else if (value == 2) {  // delta
                if (end - pos < 2) return truncated;
                col += file_[pos];
                row += file_[pos + 1];
                pos += 2;
            } else {  // absolute run of `value` pixels, padded to a 16-bit boundary
                size_t bytes = four ? (value + 1) / 2 : value;
                size_t padded = (bytes + 1) & ~static_cast<size_t>(1);
                if (end - pos < padded) return truncated;
                for (unsigned i = 0; i < value; ++i) {
                    unsigned b = file_[pos + (four ? i / 2 : i)];
                    plot(four ? ((i & 1) ? b & 15 : b >> 4) : b);
                }
                pos += padded;
            }
        }
        return {};
    }

    const FileBytes& file_;
    const DibLayout& dib_;
    size_t pixelOffset_;
    unsigned char* out_;
    int64_t rows_;
};

// Checks the depth and encoding and sets the channel masks; false when they cannot be read.
bool SetUpEncoding(DibLayout& dib, const FileBytes& file, size_t maskOffset) {
    const uint16_t bpp = dib.bitsPerPixel;
    switch (dib.compression) {
        case kCompressionNone:
            if (bpp == 16)
                return dib.red.Set(0x7C00) && dib.green.Set(0x03E0) && dib.blue.Set(0x001F);
            if (bpp == 32)
                return dib.red.Set(0xFF0000) && dib.green.Set(0xFF00) && dib.blue.Set(0xFF);
            return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24;
        case kCompressionRle8:
            return bpp == 8 && dib.height > 0;
        case kCompressionRle4:
            return bpp == 4 && dib.height > 0;
        case kCompressionBitFields:
            if (bpp != 16 && bpp != 32) return false;
            return dib.red.Set(Read32(&file[maskOffset])) &&
                   dib.green.Set(Read32(&file[maskOffset + 4])) &&
                   dib.blue.Set(Read32(&file[maskOffset + 8]));
        default:
            return false;
    }
}

RgbImage* Load(const char* fileName, int32_t maxSide) {
    // Only a regular file is read: a directory, FIFO or device counts as a file that cannot be
    // opened, like a missing or empty one.
    std::string bytes;
    const platform::ReadResult read =
        fileName != nullptr ? platform::ReadRegularFile(fileName, kMaxFileBytes, bytes)
                            : platform::ReadResult{platform::ReadStatus::CannotOpen, 0};
    if (read.status == platform::ReadStatus::TooLarge) {
        ReportError("DIB file is larger than " + std::to_string(kMaxFileBytes) + " bytes.");
        return nullptr;
    }
    if (read.status != platform::ReadStatus::Ok || bytes.empty()) {
        ReportError(std::string("Failed to open DIB file ") + (fileName ? fileName : "") + ".\n");
        return nullptr;
    }
    const FileBytes file(bytes);
    const size_t length = file.size();
    const char* tooShortHeaders = "DIB file is too short for its headers.";

    size_t headerOffset = 0;
    uint64_t pixelOffset = 0;
    const bool hasFileHeader = length >= 2 && file[0] == 'B' && file[1] == 'M';
    if (hasFileHeader) {
        if (length < kFileHeaderSize) {
            ReportError(tooShortHeaders);
            return nullptr;
        }
        headerOffset = kFileHeaderSize;
        pixelOffset = Read32(&file[10]);
    }
    if (!Fits(length, headerOffset, 4)) {
        ReportError(tooShortHeaders);
        return nullptr;
    }
    DibLayout dib;
    dib.headerSize = Read32(&file[headerOffset]);
    if (dib.headerSize != kCoreHeaderSize && dib.headerSize != kInfoHeaderSize) {
        ReportError("Unknown DIB file format.");
        return nullptr;
    }
    if (!Fits(length, headerOffset, dib.headerSize)) {
        ReportError(tooShortHeaders);
        return nullptr;
    }
    const unsigned char* header = &file[headerOffset];
    const uint32_t colorCount = DibColorCount(header);
    size_t tableOffset = headerOffset + dib.headerSize;
    size_t entrySize;
    if (dib.headerSize == kCoreHeaderSize) {
        dib.width = Read16(header + 4);
        dib.height = Read16(header + 6);
        dib.bitsPerPixel = Read16(header + 10);
        dib.compression = kCompressionNone;
        entrySize = 3;
    } else {
        dib.width = static_cast<int32_t>(Read32(header + 4));
        dib.height = static_cast<int32_t>(Read32(header + 8));
        dib.bitsPerPixel = Read16(header + 14);
        dib.compression = Read32(header + 16);
        dib.imageSize = Read32(header + 20);
        entrySize = 4;
    }

    // Bit-field masks sit between the info header and the colour table.
    const size_t maskOffset = tableOffset;
    if (dib.compression == kCompressionBitFields) {
        if (!Fits(length, maskOffset, kMaskBlockSize)) {
            ReportError(tooShortHeaders);
            return nullptr;
        }
        tableOffset += kMaskBlockSize;
    }
    const uint64_t tableBytes = static_cast<uint64_t>(colorCount) * entrySize;
    if (!Fits(length, tableOffset, tableBytes)) {
        ReportError("DIB file is too short for its colour table.");
        return nullptr;
    }
    dib.palette.resize(colorCount);
    for (uint32_t i = 0; i < colorCount; ++i) {
        const unsigned char* e = &file[tableOffset + i * entrySize];
        dib.palette[i] = Colour{e[2], e[1], e[0]};
    }
    if (!hasFileHeader) pixelOffset = tableOffset + tableBytes;

    if (dib.width <= 0 || dib.height == 0 || dib.height == INT32_MIN) {
        ReportError("DIB file has an invalid image size.");
        return nullptr;
    }
    const uint64_t rows = dib.height < 0 ? -static_cast<int64_t>(dib.height) : dib.height;
    const uint64_t pixelBytes = 3 * static_cast<uint64_t>(dib.width) * rows;
    // Refused before any memory is taken: a few bytes of run-length data can declare any size.
    if (static_cast<uint64_t>(dib.width) * rows > kBmpMaxPixels ||
        static_cast<uint64_t>(dib.width) > static_cast<uint64_t>(maxSide) ||
        rows > static_cast<uint64_t>(maxSide)) {
        ReportError("DIB file image is too large.");
        return nullptr;
    }
    if (!SetUpEncoding(dib, file, maskOffset)) {
        ReportError("Image file conversion error.");
        return nullptr;
    }
    if (!PixelDataFits(dib, length, pixelOffset, rows)) {
        ReportError("DIB file is too short for its pixel data.");
        return nullptr;
    }

    // Skipped run-length pixels stay black, so the block starts zeroed.
    unsigned char* data = static_cast<unsigned char*>(std::calloc(pixelBytes, 1));
    if (data == nullptr) {
        ReportError("Out of memory.");
        return nullptr;
    }
    std::string failure = Decoder(file, dib, pixelOffset, data).Run();
    if (!failure.empty()) {
        std::free(data);
        ReportError(failure);
        return nullptr;
    }
    RgbImage* image = static_cast<RgbImage*>(std::malloc(sizeof(RgbImage)));
    if (image == nullptr) {
        std::free(data);
        ReportError("Out of memory.");
        return nullptr;
    }
    image->width = dib.width;
    image->height = static_cast<int32_t>(rows);
    image->data = data;
    return image;
}

}  // namespace

RgbImage* LoadBmpImage(const char* fileName, int32_t maxSide) { return Load(fileName, maxSide); }
