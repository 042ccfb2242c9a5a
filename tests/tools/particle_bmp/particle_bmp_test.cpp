// The particle image generated at build time (in the test directory, the working directory of
// the tests) reads back as a soft grey blob on black.
#include <gtest/gtest.h>

#include <cstdlib>

#include "image/bmp_loader.h"

namespace {

TEST(ParticleBmp, IsASoftRadialBlobOnBlack) {
    RgbImage* image = LoadBmpImage("particle.bmp");
    ASSERT_NE(image, nullptr);
    ASSERT_TRUE(image->width == 64 && image->height == 64)
        << image->width << " x " << image->height;
    auto at = [image](int x, int y) { return image->data + (y * 64 + x) * 3; };
    // Grey, and symmetric about the vertical axis and the diagonal.
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const unsigned char* p = at(x, y);
            EXPECT_TRUE(p[0] == p[1] && p[1] == p[2] && p[0] == at(63 - x, y)[0] &&
                        p[0] == at(y, x)[0])
                << x << "," << y;
        }
    }
    EXPECT_GE(at(31, 31)[0], 250);
    // Black in the corners and at the edge of the inscribed circle, falling outwards from the
    // middle.
    EXPECT_EQ(at(0, 0)[0] + at(63, 63)[0] + at(0, 31)[0], 0);
    for (int x = 32; x < 63; ++x) EXPECT_LE(at(x + 1, 31)[0], at(x, 31)[0]) << x;
    EXPECT_GT(at(40, 31)[0], 0);
    std::free(image->data);
    std::free(image);
}

}  // namespace
