// Writes the particle image: a 64 x 64, 24-bit BMP holding a soft white blob on black whose
// brightness falls smoothly from the centre to zero at the inscribed circle.
//   particle_bmp_generator OUTPUT.bmp [OUTPUT.bmp ...]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSize = 64;

void Put16(std::vector<unsigned char>& out, uint32_t v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}

void Put32(std::vector<unsigned char>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// Brightness 0..255 at a pixel: (1 - (r/R)^2)^2 falls off smoothly and reaches 0 at r = R.
unsigned char Brightness(int x, int y) {
    const double centre = (kSize - 1) / 2.0;
    const double radius = kSize / 2.0;
    const double dx = (x - centre) / radius, dy = (y - centre) / radius;
    const double t = 1.0 - (dx * dx + dy * dy);
    if (t <= 0.0) return 0;
    return static_cast<unsigned char>(std::lround(255.0 * t * t));
}

std::vector<unsigned char> MakeImage() {
    const uint32_t rowBytes = (kSize * 3 + 3) & ~3u;
    const uint32_t pixelBytes = rowBytes * kSize;
    std::vector<unsigned char> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, 14 + 40 + pixelBytes);
    Put32(out, 0);
    Put32(out, 14 + 40);
    Put32(out, 40);
    Put32(out, kSize);
    Put32(out, kSize);
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);
    Put32(out, pixelBytes);
    Put32(out, 2835);  // 72 dpi
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const unsigned char v = Brightness(x, y);
            out.insert(out.end(), {v, v, v});
        }
        out.resize(out.size() + rowBytes - kSize * 3, 0);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.bmp [OUTPUT.bmp ...]\n", argv[0]);
        return 2;
    }
    const std::vector<unsigned char> image = MakeImage();
    for (int i = 1; i < argc; ++i) {
        FILE* f = std::fopen(argv[i], "wb");
        bool ok = f != nullptr;
        if (ok) {
            ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
            ok = std::fclose(f) == 0 && ok;
        }
        if (!ok) {
            std::fprintf(stderr, "particle_bmp_generator: cannot write %s\n", argv[i]);
            return 1;
        }
    }
    return 0;
}
