#include "glext/extensions.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "glext/entry_points.h"
#include "recgl/recording_gl.h"

#if defined(__SANITIZE_ADDRESS__)
#define GLEXT_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GLEXT_TEST_ASAN 1
#endif
#endif

namespace {

using Names = std::vector<std::string>;

TEST(SeparatorTest, BlanksTabsAndLineFeedsOnly) {
  const char text[] = " \t\n GL_A\rGL_B\tGL_C";
  const char* name = SkipSeparators(text);
  EXPECT_EQ(name, text + 4);
  EXPECT_EQ(FindSeparator(name), text + 13);  // the carriage return belongs to the name
  EXPECT_EQ(SkipSeparators(text + 13), text + 14);
  EXPECT_EQ(FindSeparator(text + 14), text + 18);  // the terminator stops it
  const char separatorsOnly[] = " \n\t ";
  EXPECT_EQ(SkipSeparators(separatorsOnly), separatorsOnly + 4);
  EXPECT_EQ(FindSeparator(separatorsOnly), separatorsOnly);
}

TEST(ExtensionAvailableTest, MatchesWholeNamesOnly) {
  recgl::Reset();
  const char* listed = "GL_NV_texture_shader2 XGL_EXT_abgr WGL_ARB_pbuffer GL_EXT_abgr GL_B ";
  EXPECT_TRUE(ExtensionAvailable("GL_NV_texture_shader2", listed));  // at the start
  EXPECT_TRUE(ExtensionAvailable("GL_EXT_abgr", listed));  // after an occurrence as a tail
  EXPECT_TRUE(ExtensionAvailable("WGL_ARB_pbuffer", listed));
  EXPECT_TRUE(ExtensionAvailable("GL_B", listed));
  EXPECT_FALSE(ExtensionAvailable("GL_NV_texture_shader", listed));  // prefix of a longer name
  EXPECT_FALSE(ExtensionAvailable("GL_ARB_pbuffer", listed));        // tail of a longer name
  EXPECT_FALSE(ExtensionAvailable("gl_ext_abgr", listed));
  EXPECT_FALSE(ExtensionAvailable("GL_EXT_ABGR", listed));
  EXPECT_FALSE(ExtensionAvailable("GL_A", "GL_A"));  // a name needs the blank after it
  EXPECT_FALSE(ExtensionAvailable("", listed));
  EXPECT_FALSE(ExtensionAvailable(nullptr, listed));
  EXPECT_FALSE(ExtensionAvailable("GL_EXT_abgr", nullptr));
}

TEST(ExtensionAvailableTest, VersionRuleIgnoresExtensionStrings) {
  const char* listsVersion = "GL_VERSION_1_2 GL_VERSION_1_3 ";
  const struct {
    const char* version;
    bool available;
  } cases[] = {{"1.2.0", true}, {"1.3 Mesa 22.3", true}, {"2.1", true},
               {"1.1.0", false}, {"1.0", false},         {"1.1", false}};
  for (const auto& c : cases) {
    recgl::Profile profile;
    profile.version = c.version;
    recgl::Reset(profile);
    EXPECT_EQ(ExtensionAvailable("GL_VERSION_1_2", listsVersion), c.available) << c.version;
    EXPECT_EQ(ExtensionAvailable("GL_VERSION_1_2", ""), c.available) << c.version;
  }
  // Only 1.2 gets the version treatment.
  EXPECT_FALSE(ExtensionAvailable("GL_VERSION_1_3", ""));
  EXPECT_FALSE(ExtensionAvailable("GL_VERSION_1_1", ""));
  recgl::Profile noContext;
  noContext.contextCurrent = false;
  recgl::Reset(noContext);
  EXPECT_FALSE(ExtensionAvailable("GL_VERSION_1_2", listsVersion));
}

// The extension strings are read once per process; every test of this fixture installs the same
// profile, so the tests hold in any order and whichever of them reads the strings first.
class CheckAndLoadTest : public testing::Test {
 protected:
  static recgl::Profile StandardProfile() {
    recgl::Profile profile;
    profile.extensions =
        "GL_ARB_multitexture GL_EXT_point_parameters GL_NV_point_sprite GL_NV_texture_shader2 "
        "GL_EXT_texture3D GL_NV_register_combiners GL_EXT_abgr";
    profile.windowSystemExtensions = "GLX_ARB_multisample WGL_ARB_pbuffer";
    return profile;
  }
  void SetUp() override { recgl::Reset(StandardProfile()); }
};

TEST_F(CheckAndLoadTest, NullAndEmptyListsPass) {
  EXPECT_TRUE(CheckAndLoadExtensions(nullptr));
  EXPECT_TRUE(recgl::Lookups().empty());
  EXPECT_TRUE(CheckAndLoadExtensions(""));
  EXPECT_STREQ(LastUnsupportedNames(), "");
  EXPECT_FALSE(CheckAndLoadExtensions("GL_EXT_bgra"));
  EXPECT_TRUE(CheckAndLoadExtensions(" \t\n "));
  EXPECT_STREQ(LastUnsupportedNames(), "");
  // A null list leaves the previous failures in place.
  EXPECT_FALSE(CheckAndLoadExtensions("GL_EXT_bgra"));
  EXPECT_TRUE(CheckAndLoadExtensions(nullptr));
  EXPECT_STREQ(LastUnsupportedNames(), "GL_EXT_bgra ");
}

TEST_F(CheckAndLoadTest, CollectsFailuresInListOrder) {
  EXPECT_TRUE(CheckAndLoadExtensions("GL_ARB_multitexture\tGL_EXT_point_parameters\nGL_EXT_abgr"));
  EXPECT_STREQ(LastUnsupportedNames(), "");

  EXPECT_FALSE(CheckAndLoadExtensions(
      "\n GL_EXT_bgra\tGL_EXT_abgr\nGL_NV_texture_shader GL_ARB_pbuffer gl_ext_abgr \t"));
  EXPECT_STREQ(LastUnsupportedNames(), "GL_EXT_bgra GL_NV_texture_shader GL_ARB_pbuffer gl_ext_abgr ");

  // A carriage return does not separate: the two names form one unknown name.
  EXPECT_FALSE(CheckAndLoadExtensions("GL_EXT_abgr\rGL_EXT_texture3D"));
  EXPECT_STREQ(LastUnsupportedNames(), "GL_EXT_abgr\rGL_EXT_texture3D ");

  // A name of the window-system string is available, but nothing can fetch WGL entry points.
  EXPECT_FALSE(CheckAndLoadExtensions("WGL_ARB_pbuffer GLX_ARB_multisample"));
  EXPECT_STREQ(LastUnsupportedNames(), "WGL_ARB_pbuffer GLX_ARB_multisample ");
}

TEST_F(CheckAndLoadTest, LoadsEntryPointsOnlyOfAvailableNames) {
  glext::glTexImage3DEXT = nullptr;
  EXPECT_FALSE(CheckAndLoadExtensions("GL_EXT_fog_coord GL_EXT_texture3D GL_NV_texture_shader"));
  EXPECT_STREQ(LastUnsupportedNames(), "GL_EXT_fog_coord GL_NV_texture_shader ");
  EXPECT_EQ(recgl::Lookups(), (Names{"glTexImage3DEXT"}));
  EXPECT_NE(glext::glTexImage3DEXT, nullptr);
}

TEST_F(CheckAndLoadTest, PointSpriteRowLoads) {
  EXPECT_TRUE(CheckAndLoadExtensions("GL_NV_point_sprite"));
  EXPECT_EQ(recgl::Lookups(), (Names{"glPointParameteriNV", "glPointParameterivNV"}));
  EXPECT_NE(glext::glPointParameterivNV, nullptr);
}

TEST_F(CheckAndLoadTest, MissingEntryPointMakesNameUnsupported) {
  recgl::CurrentProfile().unresolvable = {"glPointParameterfvEXT"};
  EXPECT_FALSE(CheckAndLoadExtensions("GL_EXT_point_parameters GL_EXT_abgr"));
  EXPECT_STREQ(LastUnsupportedNames(), "GL_EXT_point_parameters ");
}

TEST_F(CheckAndLoadTest, NameGivenTwiceIsTestedTwice) {
  EXPECT_FALSE(CheckAndLoadExtensions("GL_EXT_bgra GL_EXT_texture3D GL_EXT_bgra GL_EXT_texture3D"));
  EXPECT_STREQ(LastUnsupportedNames(), "GL_EXT_bgra GL_EXT_bgra ");
  EXPECT_EQ(recgl::Lookups(), (Names{"glTexImage3DEXT", "glTexImage3DEXT"}));
}

TEST_F(CheckAndLoadTest, NameBufferGrowsForLongerLists) {
  EXPECT_FALSE(CheckAndLoadExtensions("X"));
  EXPECT_STREQ(LastUnsupportedNames(), "X ");

  // Hundreds of failing names, the last one without a separator after it.
  std::string list, expected;
  for (int i = 0; i < 400; ++i) {
    const std::string name = "GL_UNKNOWN_" + std::to_string(i);
    list += (i == 0 ? "" : " ") + name;
    expected += name + " ";
  }
  EXPECT_FALSE(CheckAndLoadExtensions(list.c_str()));
  EXPECT_EQ(LastUnsupportedNames(), expected);

  EXPECT_FALSE(CheckAndLoadExtensions("GL_EXT_abgr Y"));
  EXPECT_STREQ(LastUnsupportedNames(), "Y ");
}

// Runs a scenario in a fresh process, where nothing has been read yet; the scenario reports on
// standard error and ends with status 0.
#define EXPECT_IN_FRESH_PROCESS(scenario, report)                        \
  do {                                                                   \
    GTEST_FLAG_SET(death_test_style, "threadsafe");                      \
    EXPECT_EXIT({ scenario; std::exit(0); }, testing::ExitedWithCode(0), report); \
  } while (false)

void Report(const char* label, bool result) {
  const char* names = LastUnsupportedNames();
  std::fprintf(stderr, "%s=%d [%s]\n", label, result, names != nullptr ? names : "(null)");
}

TEST(ExtensionStringTest, GlAndWindowSystemNamesReadOnce) {
  EXPECT_IN_FRESH_PROCESS(
      {
        recgl::Profile profile;
        profile.extensions = "GL_EXT_abgr GL_NV_texture_shader";
        profile.windowSystemExtensions = "GL_EXT_bgra";
        recgl::Reset(profile);
        Report("null", CheckAndLoadExtensions(nullptr));
        Report("both", CheckAndLoadExtensions("GL_NV_texture_shader GL_EXT_bgra GL_EXT_abgr"));
        // Another implementation later: the strings read first still decide.
        profile.extensions = "GL_EXT_packed_pixels";
        profile.windowSystemExtensions = "";
        recgl::Reset(profile);
        Report("later", CheckAndLoadExtensions("GL_EXT_bgra GL_EXT_packed_pixels"));
      },
      "null=1 \\[\\(null\\)\\]\nboth=1 \\[\\]\nlater=0 \\[GL_EXT_packed_pixels \\]\n");
}

TEST(ExtensionStringTest, WithoutContextEveryNameFailsAndNothingIsKept) {
  EXPECT_IN_FRESH_PROCESS(
      {
        recgl::Profile profile;
        profile.extensions = "GL_EXT_abgr";
        profile.contextCurrent = false;
        recgl::Reset(profile);
        Report("none", CheckAndLoadExtensions("GL_EXT_abgr GL_VERSION_1_2\tGL_NV_texture_shader"));
        Report("empty", CheckAndLoadExtensions(""));
        profile.contextCurrent = true;
        recgl::Reset(profile);
        Report("current", CheckAndLoadExtensions("GL_EXT_abgr GL_VERSION_1_2"));
      },
      "none=0 \\[GL_EXT_abgr GL_VERSION_1_2 GL_NV_texture_shader \\]\nempty=1 \\[\\]\n"
      "current=1 \\[\\]\n");
}

#ifndef GLEXT_TEST_ASAN
// Caps the address space at its current size plus headroom, so that larger allocations fail.
void LimitAddressSpace(std::size_t headroom) {
  std::size_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const rlim_t limit = pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) + headroom;
  const rlimit cap = {limit, limit};
  setrlimit(RLIMIT_AS, &cap);
}

constexpr std::size_t kMiB = 1024 * 1024;

TEST(OutOfMemoryDeathTest, ExtensionStringAllocation) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        recgl::Profile profile;
        profile.extensions = std::string(64 * kMiB, 'x');
        recgl::Reset(profile);
        std::fflush(stdout);
        dup2(STDERR_FILENO, STDOUT_FILENO);  // the message goes to standard output
        LimitAddressSpace(16 * kMiB);
        CheckAndLoadExtensions(nullptr);
      },
      testing::ExitedWithCode(255), "^Error allocating memory in file glext/extensions, line 99\n$");
}

TEST(OutOfMemoryDeathTest, UnsupportedNameBufferGrowth) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        recgl::Reset();
        CheckAndLoadExtensions("GL_EXT_abgr");
        const std::string list(64 * kMiB, 'x');
        std::fflush(stdout);
        dup2(STDERR_FILENO, STDOUT_FILENO);
        LimitAddressSpace(96 * kMiB);  // room for the list's copy, not also for the name buffer
        CheckAndLoadExtensions(list.c_str());
      },
      testing::ExitedWithCode(255),
      "^Error allocating memory in file glext/extensions, line 117\n$");
}
#endif

}  // namespace
