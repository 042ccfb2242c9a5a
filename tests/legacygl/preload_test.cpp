// The layer preloaded into a program that links only the system GL, and the same program
// without it or with the layer switched off.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace {

TEST(LegacyGlPreload, GivesTheExtensionToAnyProgram) {
    testsupport::VirtualDisplay display;
    ASSERT_FALSE(display.Name().empty());
    const std::string run = "DISPLAY=" + display.Name() + " ";
    const std::string preload = "LD_PRELOAD=" + std::string(LEGACYGL_LIBRARY) + " ";
    const struct {
        std::string environment;
        std::string out;
    } cases[] = {
        {"", "listed: no\n"},
        {preload, "listed: yes\nerror: 0x0502 at 26\n"},
        {preload + "FLUID3D_LEGACYGL=0 ", "listed: no\n"},
    };
    for (const auto& c : cases) {
        const testsupport::RunResult r = testsupport::Run(run + c.environment + PRELOAD_PROBE);
        EXPECT_EQ(r.status, 0) << c.environment << r.err;
        EXPECT_EQ(r.out, c.out) << c.environment;
    }
}

}  // namespace
