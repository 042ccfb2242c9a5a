#include "platform/platform.h"

#include <gtest/gtest.h>
// After gtest: the X11 headers define macros (None, Bool) that clash with its names.
#include <GL/glx.h>

#include <string>
#include <vector>

#include "recgl/recording_gl.h"

namespace {

TEST(LookupGlProcTest, FindsOnlyGlNamesThroughGlx) {
    recgl::Profile profile;
    profile.unresolvable = {"glTrackMatrixNV"};
    recgl::Reset(profile);
    const platform::GlProc proc = platform::LookupGlProc("glLoadProgramNV");
    ASSERT_NE(proc, nullptr);
    EXPECT_EQ(proc, glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glLoadProgramNV")));
    for (const char* name : {"glTrackMatrixNV", "wglGetExtensionsStringARB", "wglGetProcAddress",
                             "GlLoadProgramNV", "g", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(platform::LookupGlProc(name), nullptr) << (name ? name : "null");
    // Only gl names are asked for.
    EXPECT_EQ(recgl::Lookups(),
              (std::vector<std::string>{"glLoadProgramNV", "glLoadProgramNV", "glTrackMatrixNV"}));
}

TEST(WindowSystemExtensionsTest, StringOfTheCurrentContextOrEmpty) {
    recgl::Profile profile;
    profile.windowSystemExtensions = "GLX_ARB_multisample GLX_EXT_visual_info";
    recgl::Reset(profile);
    EXPECT_STREQ(platform::WindowSystemExtensions(), "GLX_ARB_multisample GLX_EXT_visual_info");
    profile.contextCurrent = false;
    recgl::Reset(profile);
    EXPECT_STREQ(platform::WindowSystemExtensions(), "");
}

std::vector<std::string> captured;
void CaptureMessage(const char* title, const char* text) {
    captured.push_back(std::string(title) + "|" + text);
}

// The default writes "Title: text" to standard error; a replaced sink gets the messages instead.
TEST(MessageTest, DefaultOrReplacedSink) {
    testing::internal::CaptureStderr();
    platform::ShowMessage("Error", "Couldn't open file particle.bmp");
    EXPECT_EQ(platform::SetMessageSink(CaptureMessage), nullptr);
    platform::ShowMessage("Title", "first");
    platform::ShowMessage("Other", "second");
    EXPECT_EQ(platform::SetMessageSink(nullptr), &CaptureMessage);
    platform::ShowMessage("Title", "third");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: Couldn't open file particle.bmp\nTitle: third\n");
    EXPECT_EQ(captured, (std::vector<std::string>{"Title|first", "Other|second"}));
}

}  // namespace
