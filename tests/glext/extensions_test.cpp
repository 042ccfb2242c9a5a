// The entry-point table and its loader, name matching, the extension check with its list of
// unsupported names, and the extension strings read once per process.
#include "glext/extensions.h"

#include <gtest/gtest.h>
// After gtest: the X11 headers define macros (None, Bool) that clash with its names.
#include <GL/glx.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "glext/entry_points.h"
#include "recgl/recording_gl.h"
#include "tests/support/sanitizers.h"

namespace {

using Names = std::vector<std::string>;

platform::GlProc Lookup(const char* name) {
    return glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name));
}

// Every row loads against a complete implementation, apart from rows with WGL entry points:
// those are not found here, and the GL entry points ahead of the first WGL one are fetched.
// Then every slot holds what its own name resolves to, and the WGL slots stay empty.
TEST(EntryPoints, TableRowsAreUniqueCountedAndLoadIntoTheirOwnSlots) {
    recgl::Reset();
    ASSERT_EQ(glext::entryPointTableRows, 50u);
    std::set<std::string> rowNames, entryNames;
    std::size_t entries = 0, emptyRows = 0;
    for (std::size_t r = 0; r < glext::entryPointTableRows; ++r) {
        const glext::ExtensionRow& row = glext::entryPointTable[r];
        EXPECT_TRUE(rowNames.insert(row.name).second) << "row listed twice: " << row.name;
        bool windowSystem = false;
        for (std::size_t i = 0; i < row.count; ++i) {
            EXPECT_TRUE(entryNames.insert(row.entryPoints[i].name).second)
                << row.entryPoints[i].name;
            windowSystem |= std::strncmp(row.entryPoints[i].name, "wgl", 3) == 0;
        }
        EXPECT_EQ(row.entryPoints[row.count].name, nullptr) << row.name;
        EXPECT_EQ(glext::LoadEntryPoints(row.name), !windowSystem) << row.name;
        entries += row.count, emptyRows += row.count == 0;
    }
    EXPECT_EQ(entries, 218u);
    EXPECT_EQ(emptyRows, 26u);
    bool afterWgl = false;
#define GLEXT_ROW(extension) afterWgl = false;
#define GLEXT_ENTRY(type, entryPoint)                                \
    afterWgl |= std::strncmp(#entryPoint, "wgl", 3) == 0;            \
    EXPECT_EQ(reinterpret_cast<platform::GlProc>(glext::entryPoint), \
              afterWgl ? nullptr : Lookup(#entryPoint))              \
        << #entryPoint;
#define GLEXT_END_ROW(extension)
#include "glext/entry_point_table.inc"
#undef GLEXT_ROW
#undef GLEXT_ENTRY
#undef GLEXT_END_ROW
}

TEST(EntryPoints, FetchedInOrderUntilTheFirstMissingOneOfAKnownName) {
    recgl::Profile profile;
    profile.unresolvable = {"glPointParameterfvEXT"};
    recgl::Reset(profile);
    glext::glPointParameterfEXT = nullptr;
    glext::glPointParameterfvEXT = nullptr;
    EXPECT_FALSE(glext::LoadEntryPoints("GL_EXT_point_parameters"));
    EXPECT_EQ(recgl::Lookups(), (Names{"glPointParameterfEXT", "glPointParameterfvEXT"}));
    EXPECT_TRUE(glext::glPointParameterfEXT != nullptr && glext::glPointParameterfvEXT == nullptr);

    profile.unresolvable = {"glCombinerOutputNV"};  // in the middle of a row
    recgl::Reset(profile);
    EXPECT_FALSE(glext::LoadEntryPoints("GL_NV_register_combiners"));
    EXPECT_EQ(recgl::Lookups(),
              (Names{"glCombinerParameterfvNV", "glCombinerParameterfNV", "glCombinerParameterivNV",
                     "glCombinerParameteriNV", "glCombinerInputNV", "glCombinerOutputNV"}));

    recgl::Reset();  // names without a row: exact and case-sensitive
    for (const char* name : {"gl_nv_texture_shader", "GL_NV_texture_shader ", "GL_NV_texture",
                             "GL_ARB_pbuffer", "", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(glext::LoadEntryPoints(name)) << (name ? name : "(null)");
    EXPECT_TRUE(recgl::Lookups().empty());
}

// Whole names only. GL_VERSION_1_2 is decided by the version string alone: listed but too old
// fails, unlisted but new enough passes, and without a context it fails.
TEST(ExtensionNames, AvailableMatchesWholeNamesOrTheVersion) {
    recgl::Reset();
    const char* listed = "GL_NV_texture_shader2 XGL_EXT_abgr GL_EXT_abgr GL_B ";
    const struct {
        const char* name;
        const char* list;
        bool available;
    } cases[] = {
        {"GL_NV_texture_shader2", listed, true},
        {"GL_EXT_abgr", listed, true},  // at the start; after a tail
        {"GL_NV_texture_shader", listed, false},
        {"EXT_abgr", listed, false},  // prefix, tail of a longer name
        {"GL_A", "GL_A", false},      // a name needs the blank after it
        {"", listed, false},
        {nullptr, listed, false},
        {"GL_EXT_abgr", nullptr, false},
        {"GL_VERSION_1_3", "", false},  // only 1.2 gets the version treatment
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExtensionAvailable(c.name, c.list), c.available) << (c.name ? c.name : "null");
    recgl::Profile profile;
    for (const auto& [version, available] :
         std::vector<std::pair<const char*, bool>>{{"1.2.0", true},
                                                   {"1.3 build 22.3", true},
                                                   {"2.1", true},
                                                   {"1.1.0", false},
                                                   {"1.0", false}}) {
        profile.version = version;
        recgl::Reset(profile);
        EXPECT_EQ(ExtensionAvailable("GL_VERSION_1_2", available ? "" : "GL_VERSION_1_2 "),
                  available)
            << version;
    }
    profile.contextCurrent = false;
    recgl::Reset(profile);
    EXPECT_FALSE(ExtensionAvailable("GL_VERSION_1_2", "GL_VERSION_1_2 "));
}

// The extension strings are read once per process, so every check here sees the same profile.
// The calls run in order: the list of unsupported names carries over from one call to the next.
// Names are separated by blanks, tabs and line feeds, not by carriage returns.
TEST(CheckAndLoad, UnsupportedNamesInListOrderAndEntryPointsOfAvailableNames) {
    recgl::Profile profile;
    profile.extensions =
        "GL_ARB_multitexture GL_EXT_point_parameters GL_NV_point_sprite "
        "GL_EXT_texture3D GL_NV_register_combiners GL_EXT_abgr";
    profile.windowSystemExtensions = "GLX_ARB_multisample WGL_ARB_pbuffer";
    const struct {
        const char* list;
        bool passes;
        const char* unsupported;
        Names lookups;
    } steps[] = {
        {nullptr, true, nullptr, {}},
        {"", true, "", {}},
        {"GL_EXT_bgra", false, "GL_EXT_bgra ", {}},
        {nullptr, true, "GL_EXT_bgra ", {}},  // a null list keeps the previous failures
        {" \t\n ", true, "", {}},
        {"GL_EXT_point_parameters\tGL_EXT_texture3D\nGL_EXT_abgr",
         true,
         "",
         {"glPointParameterfEXT", "glPointParameterfvEXT", "glTexImage3DEXT"}},
        {"\n GL_EXT_bgra\tGL_EXT_abgr\nGL_NV_texture_shader GL_ARB_pbuffer gl_ext_abgr \t",
         false,
         "GL_EXT_bgra GL_NV_texture_shader GL_ARB_pbuffer gl_ext_abgr ",
         {}},
        {"GL_EXT_abgr\rGL_EXT_texture3D", false, "GL_EXT_abgr\rGL_EXT_texture3D ", {}},
        // Window-system names are listed, but nothing can fetch WGL entry points.
        {"WGL_ARB_pbuffer GLX_ARB_multisample", false, "WGL_ARB_pbuffer GLX_ARB_multisample ", {}},
        {"GL_EXT_fog_coord GL_EXT_texture3D", false, "GL_EXT_fog_coord ", {"glTexImage3DEXT"}},
        {"GL_NV_point_sprite", true, "", {"glPointParameteriNV", "glPointParameterivNV"}},
        {"GL_EXT_bgra GL_EXT_texture3D GL_EXT_bgra GL_EXT_texture3D",
         false,
         "GL_EXT_bgra GL_EXT_bgra ",
         {"glTexImage3DEXT", "glTexImage3DEXT"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.list ? step.list : "(null)");
        recgl::Reset(profile);
        EXPECT_EQ(CheckAndLoadExtensions(step.list), step.passes);
        EXPECT_STREQ(LastUnsupportedNames(), step.unsupported);
        EXPECT_EQ(recgl::Lookups(), step.lookups);
    }
    EXPECT_NE(glext::glTexImage3DEXT, nullptr);

    // A name whose entry point is missing fails.
    profile.unresolvable = {"glPointParameterfvEXT"};
    recgl::Reset(profile);
    EXPECT_FALSE(CheckAndLoadExtensions("GL_EXT_point_parameters GL_EXT_abgr"));
    EXPECT_STREQ(LastUnsupportedNames(), "GL_EXT_point_parameters ");

    // The name buffer grows for hundreds of names (the last without a separator after it) and
    // serves shorter lists afterwards.
    std::string list = "GL_UNKNOWN_0", expected = "GL_UNKNOWN_0 ";
    for (int i = 1; i < 400; ++i)
        list += " GL_UNKNOWN_" + std::to_string(i),
            expected += "GL_UNKNOWN_" + std::to_string(i) + " ";
    EXPECT_FALSE(CheckAndLoadExtensions(list.c_str()));
    EXPECT_EQ(LastUnsupportedNames(), expected);
    EXPECT_FALSE(CheckAndLoadExtensions("GL_EXT_abgr Y"));
    EXPECT_STREQ(LastUnsupportedNames(), "Y ");
}

void Report(const char* label, bool result) {
    const char* names = LastUnsupportedNames();
    std::fprintf(stderr, "%s=%d [%s]\n", label, result, names != nullptr ? names : "(null)");
}

// In a fresh process, where nothing has been read yet: without a context every name fails and
// no string is kept; the strings read with the first context decide from then on.
TEST(ExtensionStrings, ReadOnceWithAContext) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            recgl::Profile profile;
            profile.extensions = "GL_EXT_abgr GL_NV_texture_shader";
            profile.windowSystemExtensions = "GL_EXT_bgra";
            profile.contextCurrent = false;
            recgl::Reset(profile);
            Report("none",
                   CheckAndLoadExtensions("GL_EXT_abgr GL_VERSION_1_2\tGL_NV_texture_shader"));
            Report("empty", CheckAndLoadExtensions(""));
            profile.contextCurrent = true;
            recgl::Reset(profile);
            Report("both", CheckAndLoadExtensions("GL_NV_texture_shader GL_EXT_bgra GL_EXT_abgr"));
            profile.extensions = "GL_EXT_packed_pixels";  // another implementation later
            profile.windowSystemExtensions = "";
            recgl::Reset(profile);
            Report("later", CheckAndLoadExtensions("GL_EXT_bgra GL_EXT_packed_pixels"));
            std::exit(0);
        },
        testing::ExitedWithCode(0),
        "none=0 \\[GL_EXT_abgr GL_VERSION_1_2 GL_NV_texture_shader \\]\nempty=1 \\[\\]\n"
        "both=1 \\[\\]\nlater=0 \\[GL_EXT_packed_pixels \\]\n");
}

#ifndef TEST_UNDER_ADDRESS_SANITIZER
// Reads the extension strings from `extensions` (unless warmUp is null), caps the address space
// at its current size plus headroom, then checks `list` (null when empty).
void CheckWithCappedMemory(const std::string& extensions, const char* warmUp,
                           const std::string& list, std::size_t headroom) {
    recgl::Profile profile;
    profile.extensions = extensions;
    recgl::Reset(profile);
    if (warmUp != nullptr) CheckAndLoadExtensions(warmUp);
    std::fflush(stdout);
    dup2(STDERR_FILENO, STDOUT_FILENO);  // the message goes to standard output
    std::size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t limit = pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) + headroom;
    const rlimit cap = {limit, limit};
    setrlimit(RLIMIT_AS, &cap);
    CheckAndLoadExtensions(list.empty() ? nullptr : list.c_str());
}

TEST(OutOfMemoryDeathTest, CopyOfTheStringsAndGrowthOfTheNameBuffer) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    constexpr std::size_t kMiB = 1024 * 1024;
    const std::string huge(64 * kMiB, 'x');
    const std::string message = "^Error allocating memory in file glext/extensions, line ";
    EXPECT_EXIT(CheckWithCappedMemory(huge, nullptr, "", 16 * kMiB), testing::ExitedWithCode(255),
                message + "99\n$");
    // Room for the list's copy, not also for the name buffer.
    EXPECT_EXIT(CheckWithCappedMemory("", "GL_EXT_abgr", huge, 96 * kMiB),
                testing::ExitedWithCode(255), message + "117\n$");
}
#endif

}  // namespace
