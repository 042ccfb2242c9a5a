// Queries, name lookup, GLX answers and the call trace of the recording GL.
#define GL_GLEXT_PROTOTYPES 1
#include "recgl/recording_gl.h"

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>
#include <GL/freeglut_std.h>
// Xlib's macros (None, Bool) clash with GoogleTest's names: include GLX after it.
#include <GL/glx.h>

#include <cmath>

namespace {

using recgl::Profile;

const GLubyte* Name(const char* s) { return reinterpret_cast<const GLubyte*>(s); }

TEST(RecglQueries, StringsComeFromTheProfileAndVanishWithoutContext) {
  Profile p;
  p.vendor = "Acme";
  p.renderer = "Box";
  p.extensions = "GL_ARB_multitexture GL_NV_vertex_program";
  recgl::Reset(p);
  EXPECT_STREQ(reinterpret_cast<const char*>(glGetString(GL_VENDOR)), "Acme");
  EXPECT_STREQ(reinterpret_cast<const char*>(glGetString(GL_RENDERER)), "Box");
  EXPECT_STREQ(reinterpret_cast<const char*>(glGetString(GL_VERSION)), "1.2.0");
  EXPECT_STREQ(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), p.extensions.c_str());
  EXPECT_EQ(glGetString(GL_TEXTURE_2D), nullptr);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_ENUM));

  p.contextCurrent = false;
  recgl::Reset(p);
  EXPECT_EQ(glGetString(GL_VENDOR), nullptr);
  EXPECT_EQ(glGetString(GL_EXTENSIONS), nullptr);
  EXPECT_TRUE(recgl::Calls().empty()) << "queries are not recorded";
}

TEST(RecglQueries, IntegersAndFloatsFromTheProfileWithDefaults) {
  Profile p;
  p.integers[GL_MAX_TEXTURE_SIZE] = {2048};
  p.integers[GL_VERTEX_PROGRAM_BINDING_NV] = {3};
  p.integers[GL_MAX_VIEWPORT_DIMS] = {4096, 2048};
  p.floats[GL_POINT_SIZE_RANGE] = {1.5f, 63.0f};
  recgl::Reset(p);

  GLint ints[2] = {-7, -7};
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, ints);
  EXPECT_EQ(ints[0], 2048);
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, ints);
  EXPECT_EQ(ints[0], 4096);
  EXPECT_EQ(ints[1], 2048);
  glGetIntegerv(GL_VERTEX_PROGRAM_BINDING_NV, ints);
  EXPECT_EQ(ints[0], 3);
  glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, ints);
  EXPECT_EQ(ints[0], 0) << "unlisted reads 0";
  glGetIntegerv(GL_MAX_GENERAL_COMBINERS_NV, ints);
  EXPECT_EQ(ints[0], 8) << "documented default";
  glGetIntegerv(GL_PROGRAM_ERROR_POSITION_NV, ints);
  EXPECT_EQ(ints[0], -1);

  GLfloat floats[2] = {0, 0};
  glGetFloatv(GL_POINT_SIZE_RANGE, floats);
  EXPECT_FLOAT_EQ(floats[0], 1.5f);
  EXPECT_FLOAT_EQ(floats[1], 63.0f);
  glGetFloatv(GL_MAX_TEXTURE_SIZE, floats);
  EXPECT_FLOAT_EQ(floats[0], 2048.0f) << "integers answer float queries too";

  recgl::Reset();
  glGetIntegerv(GL_VERTEX_PROGRAM_BINDING_NV, ints);
  EXPECT_EQ(ints[0], 0);
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, ints);
  EXPECT_EQ(ints[0], 0) << "Reset installs a fresh profile";
}

TEST(RecglQueries, PendingErrorIsReturnedOnce) {
  recgl::Reset();
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  recgl::SetPendingError(GL_INVALID_OPERATION);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_OPERATION));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  recgl::SetPendingError(GL_INVALID_VALUE);
  recgl::Reset();
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "Reset clears the pending error";
}

TEST(RecglGlx, ContextDisplayAndWindowSystemString) {
  Profile p;
  p.windowSystemExtensions = "GLX_ARB_get_proc_address";
  recgl::Reset(p);
  Display* dpy = glXGetCurrentDisplay();
  GLXContext ctx = glXGetCurrentContext();
  ASSERT_NE(dpy, nullptr);
  ASSERT_NE(ctx, nullptr);
  int screen = -1;
  EXPECT_EQ(glXQueryContext(dpy, ctx, GLX_SCREEN, &screen), Success);
  EXPECT_EQ(screen, 0);
  EXPECT_STREQ(glXQueryExtensionsString(dpy, screen), "GLX_ARB_get_proc_address");

  p.contextCurrent = false;
  recgl::Reset(p);
  EXPECT_EQ(glXGetCurrentDisplay(), nullptr);
  EXPECT_EQ(glXGetCurrentContext(), nullptr);
  EXPECT_NE(glXQueryContext(nullptr, nullptr, GLX_SCREEN, &screen), Success);
  EXPECT_TRUE(recgl::Calls().empty());
}

TEST(RecglLookup, ResolvesRecordsAndRefuses) {
  Profile p;
  p.unresolvable = {"glCombinerInputNV"};
  recgl::Reset(p);

  auto combinerOutput = glXGetProcAddressARB(Name("glCombinerOutputNV"));
  EXPECT_EQ(combinerOutput, reinterpret_cast<__GLXextFuncPtr>(&glCombinerOutputNV));
  EXPECT_EQ(glXGetProcAddressARB(Name("glCombinerInputNV")), nullptr);
  EXPECT_EQ(glXGetProcAddressARB(Name("wglGetExtensionsStringARB")), nullptr);
  EXPECT_EQ(glXGetProcAddressARB(Name("")), nullptr);
  EXPECT_EQ(glXGetProcAddressARB(nullptr), nullptr);

  // An unimplemented gl name gets a stub that records that name, the same stub each time.
  auto fence = glXGetProcAddressARB(Name("glSetFenceNV"));
  auto other = glXGetProcAddressARB(Name("glFinishFenceNV"));
  ASSERT_NE(fence, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_NE(fence, other);
  EXPECT_EQ(glXGetProcAddressARB(Name("glSetFenceNV")), fence);
  fence();
  other();

  EXPECT_EQ(recgl::Lookups(),
            (std::vector<std::string>{"glCombinerOutputNV", "glCombinerInputNV",
                                      "wglGetExtensionsStringARB", "", "glSetFenceNV",
                                      "glFinishFenceNV", "glSetFenceNV"}));
  EXPECT_EQ(recgl::CallLines(), (std::vector<std::string>{"glSetFenceNV()", "glFinishFenceNV()"}));

  recgl::Reset();
  EXPECT_TRUE(recgl::Lookups().empty());
  EXPECT_NE(glXGetProcAddressARB(Name("glCombinerInputNV")), nullptr);
}

TEST(RecglTrace, FormatsEnumsNumbersAndVectors) {
  recgl::Reset();
  const GLfloat color[4] = {0.5f, 1, 0, -0.25f};
  const GLfloat attenuation[3] = {1.0f, 0.0f, 0.001f};
  glMatrixMode(GL_MODELVIEW);
  glBegin(GL_POINTS);
  glBegin(GL_QUADS);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glBlendFunc(GL_ZERO, GL_ONE_MINUS_SRC_ALPHA);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glViewport(0, 0, 800, -1);
  glColor4f(0.125f, 1e-7f, 1e7f, 1);
  glCombinerParameterfvNV(GL_CONSTANT_COLOR0_NV, color);
  glCombinerInputNV(GL_COMBINER0_NV, GL_RGB, GL_VARIABLE_A_NV, GL_ZERO, GL_SIGNED_IDENTITY_NV,
                    GL_RGB);
  glCombinerOutputNV(GL_COMBINER0_NV, GL_RGB, GL_SPARE0_NV, GL_DISCARD_NV, GL_DISCARD_NV, GL_NONE,
                     GL_NONE, GL_TRUE, GL_FALSE, GL_FALSE);
  glActiveTextureARB(GL_TEXTURE0_ARB);
  glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_DOT_PRODUCT_TEXTURE_3D_NV);
  glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_NONE);
  glTexEnvf(GL_POINT_SPRITE_NV, GL_COORD_REPLACE_NV, 1.0f);
  glTexEnvf(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_SCALE_NV, 0.5f);
  glTrackMatrixNV(GL_VERTEX_PROGRAM_NV, 4, GL_MODELVIEW, GL_IDENTITY_NV);
  glPointParameterfvEXT(GL_DISTANCE_ATTENUATION_EXT, attenuation);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glProgramParameter4fvNV(GL_VERTEX_PROGRAM_NV, 7, nullptr);
  glTexEnvf(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_BIAS_NV, -INFINITY);
  glTexEnvf(GL_POINT_SPRITE_NV, GL_COORD_REPLACE_NV, NAN);

  EXPECT_EQ(recgl::CallLines(),
            (std::vector<std::string>{
                "glMatrixMode(GL_MODELVIEW)",
                "glBegin(GL_POINTS)",
                "glBegin(GL_QUADS)",
                "glBlendFunc(GL_SRC_ALPHA, GL_ONE)",
                "glBlendFunc(GL_ZERO, GL_ONE_MINUS_SRC_ALPHA)",
                "glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT)",
                "glViewport(0, 0, 800, -1)",
                "glColor4f(0.125, 1e-07, 1e+07, 1)",
                "glCombinerParameterfvNV(GL_CONSTANT_COLOR0_NV, {0.5, 1, 0, -0.25})",
                "glCombinerInputNV(GL_COMBINER0_NV, GL_RGB, GL_VARIABLE_A_NV, GL_ZERO, "
                "GL_SIGNED_IDENTITY_NV, GL_RGB)",
                "glCombinerOutputNV(GL_COMBINER0_NV, GL_RGB, GL_SPARE0_NV, GL_DISCARD_NV, "
                "GL_DISCARD_NV, GL_NONE, GL_NONE, GL_TRUE, GL_FALSE, GL_FALSE)",
                "glActiveTextureARB(GL_TEXTURE0_ARB)",
                "glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, "
                "GL_DOT_PRODUCT_TEXTURE_3D_NV)",
                "glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_NONE)",
                "glTexEnvf(GL_POINT_SPRITE_NV, GL_COORD_REPLACE_NV, GL_TRUE)",
                "glTexEnvf(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_SCALE_NV, 0.5)",
                "glTrackMatrixNV(GL_VERTEX_PROGRAM_NV, 4, GL_MODELVIEW, GL_IDENTITY_NV)",
                "glPointParameterfvEXT(GL_DISTANCE_ATTENUATION_EXT, {1, 0, 0.001})",
                "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR)",
                "glProgramParameter4fvNV(GL_VERTEX_PROGRAM_NV, 7, null)",
                "glTexEnvf(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_BIAS_NV, -inf)",
                "glTexEnvf(GL_POINT_SPRITE_NV, GL_COORD_REPLACE_NV, GL_FALSE)",
            }));
  // Arguments stay readable as numbers.
  const recgl::Call& color4 = recgl::Calls()[7];
  EXPECT_FLOAT_EQ(static_cast<float>(color4.Float(0)), 0.125f);
  EXPECT_EQ(recgl::Calls()[6].Int(3), -1);
  EXPECT_EQ(recgl::Calls()[8].Values(1), (std::vector<double>{0.5, 1, 0, -0.25}));
  recgl::ClearCalls();
  EXPECT_TRUE(recgl::Calls().empty());
}

TEST(RecglTrace, CombinerAndTextureShaderCalls) {
  recgl::Reset();
  const GLfloat constant[4] = {0.25f, 0.5f, 0.75f, 1};
  const GLfloat eye[3] = {1, 2, 3};
  const GLfloat cull[4] = {518, 513, 518, 518};
  const GLfloat matrix[4] = {1, 0, 0, 1};
  glCombinerParameteriNV(GL_NUM_GENERAL_COMBINERS_NV, 2);
  glCombinerParameteriNV(GL_COLOR_SUM_CLAMP_NV, 0);
  glCombinerStageParameterfvNV(GL_COMBINER1_NV, GL_CONSTANT_COLOR1_NV, constant);
  glFinalCombinerInputNV(GL_VARIABLE_G_NV, GL_ZERO, GL_UNSIGNED_INVERT_NV, GL_ALPHA);
  glFinalCombinerInputNV(GL_VARIABLE_A_NV, GL_TEXTURE0_ARB, GL_UNSIGNED_IDENTITY_NV, GL_RGB);
  glEnable(GL_REGISTER_COMBINERS_NV);
  glDisable(GL_PER_STAGE_CONSTANTS_NV);
  glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_OFFSET_TEXTURE_2D_SCALE_NV);
  glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_TEXTURE_3D);
  glTexEnvi(GL_TEXTURE_SHADER_NV, GL_PREVIOUS_TEXTURE_INPUT_NV, GL_TEXTURE0_ARB + 2);
  glTexEnvi(GL_TEXTURE_SHADER_NV, GL_RGBA_UNSIGNED_DOT_PRODUCT_MAPPING_NV, GL_EXPAND_NORMAL_NV);
  glTexEnvf(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_SCALE_NV, 2);
  glTexEnvfv(GL_TEXTURE_SHADER_NV, GL_CONST_EYE_NV, eye);
  glTexEnvfv(GL_TEXTURE_SHADER_NV, GL_CULL_MODES_NV, cull);
  glTexEnvfv(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_MATRIX_NV, matrix);
  EXPECT_EQ(recgl::CallLines(),
            (std::vector<std::string>{
                "glCombinerParameteriNV(GL_NUM_GENERAL_COMBINERS_NV, 2)",
                "glCombinerParameteriNV(GL_COLOR_SUM_CLAMP_NV, GL_FALSE)",
                "glCombinerStageParameterfvNV(GL_COMBINER1_NV, GL_CONSTANT_COLOR1_NV, "
                "{0.25, 0.5, 0.75, 1})",
                "glFinalCombinerInputNV(GL_VARIABLE_G_NV, GL_ZERO, GL_UNSIGNED_INVERT_NV, "
                "GL_ALPHA)",
                "glFinalCombinerInputNV(GL_VARIABLE_A_NV, GL_TEXTURE0_ARB, "
                "GL_UNSIGNED_IDENTITY_NV, GL_RGB)",
                "glEnable(GL_REGISTER_COMBINERS_NV)",
                "glDisable(GL_PER_STAGE_CONSTANTS_NV)",
                "glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, "
                "GL_OFFSET_TEXTURE_2D_SCALE_NV)",
                "glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_TEXTURE_3D)",
                "glTexEnvi(GL_TEXTURE_SHADER_NV, GL_PREVIOUS_TEXTURE_INPUT_NV, GL_TEXTURE2_ARB)",
                "glTexEnvi(GL_TEXTURE_SHADER_NV, GL_RGBA_UNSIGNED_DOT_PRODUCT_MAPPING_NV, "
                "GL_EXPAND_NORMAL_NV)",
                "glTexEnvf(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_SCALE_NV, 2)",
                "glTexEnvfv(GL_TEXTURE_SHADER_NV, GL_CONST_EYE_NV, {1, 2, 3})",
                "glTexEnvfv(GL_TEXTURE_SHADER_NV, GL_CULL_MODES_NV, {518, 513, 518, 518})",
                "glTexEnvfv(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_MATRIX_NV, {1, 0, 0, 1})",
            }));
}

TEST(RecglTrace, EnumNamesPreferVendorSuffixesAfterCoreNames) {
  EXPECT_EQ(recgl::EnumName(GL_TEXTURE0_ARB), "GL_TEXTURE0_ARB");
  EXPECT_EQ(recgl::EnumName(GL_VERTEX_PROGRAM_NV), "GL_VERTEX_PROGRAM_NV");
  EXPECT_EQ(recgl::EnumName(GL_PROGRAM_ERROR_POSITION_NV), "GL_PROGRAM_ERROR_POSITION_NV");
  EXPECT_EQ(recgl::EnumName(GL_MODELVIEW), "GL_MODELVIEW");
  EXPECT_EQ(recgl::EnumName(GL_TEXTURE_2D), "GL_TEXTURE_2D");
  EXPECT_EQ(recgl::EnumName(GL_TEXTURE_3D), "GL_TEXTURE_3D");
  EXPECT_EQ(recgl::EnumName(GL_QUADS), "GL_QUADS") << "however the headers write the value";
  EXPECT_EQ(recgl::EnumName(GL_TEXTURE_CUBE_MAP_ARB), "GL_TEXTURE_CUBE_MAP_ARB");
  EXPECT_EQ(recgl::EnumName(GL_POINT_SPRITE_NV), "GL_POINT_SPRITE_NV");
  EXPECT_EQ(recgl::EnumName(GL_BLEND_DST_RGB_EXT), "GL_BLEND_DST_RGB_EXT");
  EXPECT_EQ(recgl::EnumName(GL_CLAMP_TO_BORDER_ARB), "GL_CLAMP_TO_BORDER_ARB");
  EXPECT_EQ(recgl::EnumName(0x7fffffff), "");
}

TEST(RecglState, EnableTexturesAndTexels) {
  recgl::Reset();
  glEnable(GL_BLEND);
  glEnable(GL_TEXTURE_2D);
  glDisable(GL_TEXTURE_2D);
  EXPECT_TRUE(recgl::IsEnabled(GL_BLEND));
  EXPECT_FALSE(recgl::IsEnabled(GL_TEXTURE_2D));
  EXPECT_EQ(glIsEnabled(GL_BLEND), GL_TRUE);

  GLuint names[2] = {0, 0};
  glGenTextures(2, names);
  EXPECT_EQ(names[0], 1u);
  EXPECT_EQ(names[1], 2u);
  // RGB rows of 3 pixels are padded to 12 bytes: 2 rows read 24 bytes.
  unsigned char texels[24];
  for (int i = 0; i < 24; ++i) texels[i] = static_cast<unsigned char>(i);
  glTexImage2D(GL_TEXTURE_2D, 0, 3, 3, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, -1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_VALUE));

  std::vector<std::string> lines = recgl::CallLines();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "glEnable(GL_BLEND)");
  EXPECT_EQ(lines[2], "glDisable(GL_TEXTURE_2D)");
  EXPECT_EQ(lines[3], "glGenTextures(2, {1, 2})");
  EXPECT_EQ(lines[4],
            "glTexImage2D(GL_TEXTURE_2D, 0, 3, 3, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, <24 bytes>)");
  EXPECT_EQ(lines[5],
            "glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, null)");
  const std::vector<unsigned char>& copied = recgl::Calls()[4].args[8].bytes;
  EXPECT_EQ(copied, std::vector<unsigned char>(texels, texels + 24));

  recgl::Reset();
  EXPECT_FALSE(recgl::IsEnabled(GL_BLEND));
  glGenTextures(1, names);
  EXPECT_EQ(names[0], 1u) << "Reset restarts texture names";
}

TEST(RecglState, MatrixStacksPrimitivesAndBindingsAreTracked) {
  recgl::Reset();
  GLint value = -1;
  glGetIntegerv(GL_MATRIX_MODE, &value);
  EXPECT_EQ(value, GL_MODELVIEW);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &value);
  EXPECT_EQ(value, 2);
  glPushMatrix();  // the projection stack holds 2
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_STACK_OVERFLOW));
  glPopMatrix();
  glPopMatrix();
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_STACK_UNDERFLOW));
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &value);
  EXPECT_EQ(value, 1);
  glMatrixMode(GL_TEXTURE_2D);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_ENUM));
  glGetIntegerv(GL_MATRIX_MODE, &value);
  EXPECT_EQ(value, GL_PROJECTION);

  glEnd();
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_OPERATION));
  glBegin(GL_LINES);
  glBegin(GL_LINES);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_OPERATION));
  glEnd();
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  glBindTexture(GL_TEXTURE_2D, 5);
  glActiveTextureARB(GL_TEXTURE1_ARB);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
  EXPECT_EQ(value, 0) << "bindings are per texture unit";
  glActiveTextureARB(GL_TEXTURE0_ARB);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
  EXPECT_EQ(value, 5);

  recgl::ClearCalls();
  gluPerspective(60.0, 2.0, 0.5, 100.0);
  glutSwapBuffers();
  EXPECT_EQ(recgl::CallLines(), (std::vector<std::string>{"gluPerspective(60, 2, 0.5, 100)",
                                                         "glutSwapBuffers()"}));
}

}  // namespace
