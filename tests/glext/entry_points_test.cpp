#include "glext/entry_points.h"

#include <gtest/gtest.h>
// After gtest: the X11 headers define macros (None, Bool) that clash with its names.
#include <GL/glx.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "recgl/recording_gl.h"

namespace {

using Names = std::vector<std::string>;

platform::GlProc Resolve(const char* name) {
  return glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name));
}

TEST(EntryPointTableTest, RowsAndEntryPoints) {
  ASSERT_EQ(glext::entryPointTableRows, 50u);
  std::set<std::string> rowNames, entryNames;
  std::size_t entries = 0, emptyRows = 0;
  for (std::size_t r = 0; r < glext::entryPointTableRows; ++r) {
    const glext::ExtensionRow& row = glext::entryPointTable[r];
    EXPECT_TRUE(rowNames.insert(row.name).second) << "row listed twice: " << row.name;
    if (row.count == 0) ++emptyRows;
    for (std::size_t i = 0; i < row.count; ++i) {
      EXPECT_TRUE(entryNames.insert(row.entryPoints[i].name).second)
          << row.entryPoints[i].name << " in more than one row";
    }
    EXPECT_EQ(row.entryPoints[row.count].name, nullptr) << row.name;
    entries += row.count;
  }
  EXPECT_EQ(entries, 218u);
  EXPECT_EQ(emptyRows, 26u);
}

TEST(LoadEntryPointsTest, FetchesInOrderAndStopsAtFirstMissing) {
  recgl::Profile profile;
  profile.unresolvable = {"glPointParameterfvEXT"};
  recgl::Reset(profile);
  glext::glPointParameterfEXT = nullptr;
  glext::glPointParameterfvEXT = nullptr;
  EXPECT_FALSE(glext::LoadEntryPoints("GL_EXT_point_parameters"));
  EXPECT_EQ(recgl::Lookups(), (Names{"glPointParameterfEXT", "glPointParameterfvEXT"}));
  EXPECT_NE(glext::glPointParameterfEXT, nullptr);
  EXPECT_EQ(glext::glPointParameterfvEXT, nullptr);

  // A gap in the middle of a row: nothing after it is asked for.
  profile.unresolvable = {"glCombinerOutputNV"};
  recgl::Reset(profile);
  EXPECT_FALSE(glext::LoadEntryPoints("GL_NV_register_combiners"));
  EXPECT_EQ(recgl::Lookups(),
            (Names{"glCombinerParameterfvNV", "glCombinerParameterfNV", "glCombinerParameterivNV",
                   "glCombinerParameteriNV", "glCombinerInputNV", "glCombinerOutputNV"}));
}

TEST(LoadEntryPointsTest, SlotsReceiveTheirOwnEntryPoints) {
  recgl::Reset();
  ASSERT_TRUE(glext::LoadEntryPoints("GL_NV_vertex_program"));
  ASSERT_TRUE(glext::LoadEntryPoints("GL_NV_register_combiners2"));
  ASSERT_TRUE(glext::LoadEntryPoints("GL_EXT_point_parameters"));
  EXPECT_EQ(reinterpret_cast<platform::GlProc>(glext::glLoadProgramNV), Resolve("glLoadProgramNV"));
  EXPECT_EQ(reinterpret_cast<platform::GlProc>(glext::glCombinerStageParameterfvNV),
            Resolve("glCombinerStageParameterfvNV"));

  // A call through a slot reaches the recording GL.
  recgl::ClearCalls();
  const GLfloat attenuation[3] = {1.0f, 0.0f, 0.5f};
  glext::glPointParameterfvEXT(GL_DISTANCE_ATTENUATION_EXT, attenuation);
  ASSERT_EQ(recgl::Calls().size(), 1u);
  EXPECT_EQ(recgl::Calls()[0].name, "glPointParameterfvEXT");
}

TEST(LoadEntryPointsTest, RowsWithoutEntryPointsAndSingleEntryRows) {
  recgl::Reset();
  EXPECT_TRUE(glext::LoadEntryPoints("GL_NV_texture_shader"));
  EXPECT_TRUE(recgl::Lookups().empty());

  EXPECT_TRUE(glext::LoadEntryPoints("GL_EXT_texture3D"));
  EXPECT_EQ(recgl::Lookups(), (Names{"glTexImage3DEXT"}));

  recgl::Reset();
  EXPECT_TRUE(glext::LoadEntryPoints("GL_NV_point_sprite"));
  EXPECT_EQ(recgl::Lookups(), (Names{"glPointParameteriNV", "glPointParameterivNV"}));
  EXPECT_NE(glext::glPointParameteriNV, nullptr);
  EXPECT_NE(glext::glPointParameterivNV, nullptr);
}

TEST(LoadEntryPointsTest, UnknownNamesFailWithoutLookups) {
  recgl::Reset();
  for (const char* name : {"gl_nv_texture_shader", "GL_EXT_TEXTURE3D", "GL_NV_texture_shader ",
                           "GL_NV_texture", "GL_ARB_pbuffer", ""}) {
    EXPECT_FALSE(glext::LoadEntryPoints(name)) << name;
  }
  EXPECT_FALSE(glext::LoadEntryPoints(nullptr));
  EXPECT_TRUE(recgl::Lookups().empty());
}

TEST(LoadEntryPointsTest, WindowSystemEntryPointsAreNotFoundHere) {
  recgl::Reset();
  EXPECT_FALSE(glext::LoadEntryPoints("WGL_ARB_pbuffer"));
  EXPECT_FALSE(glext::LoadEntryPoints("WGL_ARB_pixel_format"));
  EXPECT_EQ(glext::wglCreatePbufferARB, nullptr);
  // The GL entry points ahead of the first WGL one are fetched.
  EXPECT_FALSE(glext::LoadEntryPoints("GL_NV_vertex_array_range"));
  EXPECT_NE(glext::glVertexArrayRangeNV, nullptr);
  EXPECT_EQ(glext::wglAllocateMemoryNV, nullptr);

  // Every row without WGL entry points loads against a complete implementation.
  for (std::size_t r = 0; r < glext::entryPointTableRows; ++r) {
    const glext::ExtensionRow& row = glext::entryPointTable[r];
    bool windowSystem = false;
    for (std::size_t i = 0; i < row.count; ++i)
      windowSystem |= std::strncmp(row.entryPoints[i].name, "wgl", 3) == 0;
    EXPECT_EQ(glext::LoadEntryPoints(row.name), !windowSystem) << row.name;
  }
}

}  // namespace
