// The legacy texture formats over the recording GL: what reaches the driver, and the errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recgl/recording_gl.h"
#include "tests/legacygl/recording_layer.h"

namespace {

using legacygltest::LayerOver;

TEST(LegacyTextures, LegacyFormatsReachTheDriverAsFloatImages) {
    LayerOver over;
    // Two texels, the row padded to the default unpack alignment of 4.
    const GLbyte rgb[8] = {-128, 0, 127, 64, -1, 1, 0, 0};
    recgl::ClearCalls();
    over.layer->TexImage2D(GL_TEXTURE_2D, 0, GL_SIGNED_RGB8_NV, 2, 1, 0, GL_RGB, GL_BYTE, rgb);
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_NO_ERROR));
    bool uploaded = false;
    for (const recgl::Call& call : recgl::Calls()) {
        if (call.name != "glTexImage2D") continue;
        uploaded = true;
        EXPECT_EQ(call.Int(2), GL_RGB32F);
        EXPECT_EQ(call.Int(6), GL_RGB);
        EXPECT_EQ(call.Int(7), GL_FLOAT);
    }
    EXPECT_TRUE(uploaded);
    // A HILO image needs the HILO format; a conventional one passes untouched.
    over.layer->TexImage2D(GL_TEXTURE_2D, 0, GL_HILO16_NV, 1, 1, 0, GL_RGB, GL_SHORT, rgb);
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_INVALID_OPERATION));
    // Sizes beyond the driver's limit are refused before anything is converted.
    recgl::CurrentProfile().integers[GL_MAX_TEXTURE_SIZE] = {2048};
    recgl::ClearCalls();
    over.layer->TexImage2D(GL_TEXTURE_2D, 0, GL_SIGNED_RGBA8_NV, 1 << 30, 1 << 30, 0, GL_RGBA,
                           GL_BYTE, rgb);
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_INVALID_VALUE));
    EXPECT_TRUE(recgl::Calls().empty() || recgl::Calls().back().name != "glTexImage2D");
    // A conventional image passes untouched; the converted texture it replaces first gets its
    // border values back as they were given, the next conventional image nothing else.
    const std::string conventional =
        "glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, 2, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, <8 bytes>)";
    for (const auto& calls : {std::vector<std::string>{"glTexParameterfv()", conventional},
                              std::vector<std::string>{conventional}}) {
        recgl::ClearCalls();
        over.layer->TexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, 2, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb);
        EXPECT_EQ(recgl::CallLines(), calls);
    }
}

}  // namespace
