// A real host: host_probe loads libfluid3d.so under Xvfb and starts the demo; 'q' typed into
// the demo window ends the process, which tells the host through its at-exit notifier.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace {

TEST(HostIntegrationTest, QuitKeyEndsTheDemoAndNotifiesTheHostOnce) {
    testsupport::ProgramOnDisplay host(DEMO_DIR, HOST_PROBE, FLUID3D_LIBRARY,
                                       "3D volume rendering");
    ASSERT_NE(host.Window(), "") << "the demo window did not appear";
    host.Shell("xdotool windowfocus --sync " + host.Window() + " key q");
    EXPECT_EQ(host.WaitForExit(30), 0);
    // The demo's own report shares standard output; the notifier's line appears exactly once.
    const std::string text = host.Out();
    const size_t first = text.find("at-exit ");
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_EQ(text.compare(first, 15, "at-exit 0x5eed\n"), 0) << text;
    EXPECT_EQ(text.find("at-exit ", first + 1), std::string::npos) << text;
    // The library's own legacy-extension layer answers its GL calls, whatever the host links.
    EXPECT_NE(text.find(" GL_NV_vertex_program"), std::string::npos) << text;
}

TEST(HostIntegrationTest, LibraryExportsExactlyTheFourEntryPoints) {
    EXPECT_EQ(testsupport::Run(std::string("nm -D --defined-only --format=just-symbols ") +
                               FLUID3D_LIBRARY + " | sort")
                  .out,
              "__zodiEffectEntryExit\n__zodiEffectEntryInit\n__zodiEffectRegisterAtExitNotifier\n"
              "__zodiEffectRegisterParseNotifier\n");
}

}  // namespace
