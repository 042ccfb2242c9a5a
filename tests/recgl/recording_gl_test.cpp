// Queries, name lookup, GLX answers, the call trace and the recorded state of the recording GL.
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

using Lines = std::vector<std::string>;

const char* String(GLenum name) { return reinterpret_cast<const char*>(glGetString(name)); }
GLint Integer(GLenum name) {
    GLint value[2] = {-7, -7};
    glGetIntegerv(name, value);
    return value[0];
}
// The next error glGetError reports.
#define EXPECT_GL_ERROR(error) EXPECT_EQ(glGetError(), GLenum(error))

TEST(RecglQueries, AnswersComeFromTheProfile) {
    recgl::Profile p;
    p.vendor = "Acme";
    p.extensions = "GL_ARB_multitexture GL_NV_vertex_program";
    p.integers[GL_MAX_TEXTURE_SIZE] = {2048};
    p.integers[GL_MAX_VIEWPORT_DIMS] = {4096, 2048};
    p.floats[GL_POINT_SIZE_RANGE] = {1.5f, 63.0f};
    recgl::Reset(p);
    EXPECT_STREQ(String(GL_VENDOR), "Acme");
    EXPECT_STREQ(String(GL_VERSION), "1.2.0");
    EXPECT_STREQ(String(GL_EXTENSIONS), p.extensions.c_str());
    EXPECT_EQ(String(GL_TEXTURE_2D), nullptr);
    EXPECT_GL_ERROR(GL_INVALID_ENUM);

    // Both listed values; unlisted reads 0 but for the documented default 8 and the error position
    // -1; floats from `floats`, and integers answer float queries too.
    GLint dims[2] = {-7, -7};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, dims);
    GLfloat range[2] = {0, 0}, size = 0;
    glGetFloatv(GL_POINT_SIZE_RANGE, range);
    glGetFloatv(GL_MAX_TEXTURE_SIZE, &size);
    EXPECT_EQ((std::vector<double>{
                  double(dims[0]), double(dims[1]), double(Integer(GL_MAX_TEXTURE_UNITS_ARB)),
                  double(Integer(GL_MAX_GENERAL_COMBINERS_NV)),
                  double(Integer(GL_PROGRAM_ERROR_POSITION_NV)), range[0], range[1], size}),
              (std::vector<double>{4096, 2048, 0, 8, -1, 1.5, 63, 2048}));

    recgl::SetPendingError(GL_INVALID_OPERATION);  // returned once
    EXPECT_GL_ERROR(GL_INVALID_OPERATION);
    EXPECT_GL_ERROR(GL_NO_ERROR);
    recgl::SetPendingError(GL_INVALID_VALUE);
    recgl::Reset();  // a fresh profile, no pending error
    EXPECT_GL_ERROR(GL_NO_ERROR);
    EXPECT_EQ(Integer(GL_MAX_TEXTURE_SIZE), 0);
    EXPECT_TRUE(recgl::Calls().empty()) << "queries are not recorded";
    // The GLX answers, with and without a context, are checked through platform_test's
    // WindowSystemExtensions; the null strings without a context through glext_test.
}

__GLXextFuncPtr Lookup(const char* name) {
    return glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name));
}

TEST(RecglLookup, ResolvesRecordsAndRefuses) {
    recgl::Profile p;
    p.unresolvable = {"glCombinerInputNV"};
    recgl::Reset(p);
    EXPECT_EQ(Lookup("glCombinerOutputNV"), reinterpret_cast<__GLXextFuncPtr>(&glCombinerOutputNV));
    for (const char* name :
         {"glCombinerInputNV", "wglGetExtensionsStringARB", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(Lookup(name), nullptr) << (name ? name : "null");
    // An unimplemented gl name gets a stub that records that name, the same stub each time.
    auto fence = Lookup("glSetFenceNV"), other = Lookup("glFinishFenceNV");
    ASSERT_TRUE(fence != nullptr && other != nullptr);
    EXPECT_EQ(Lookup("glSetFenceNV"), fence);
    fence();
    other();
    EXPECT_EQ(recgl::Lookups(),
              (Lines{"glCombinerOutputNV", "glCombinerInputNV", "wglGetExtensionsStringARB", "",
                     "glSetFenceNV", "glFinishFenceNV", "glSetFenceNV"}));
    EXPECT_EQ(recgl::CallLines(), (Lines{"glSetFenceNV()", "glFinishFenceNV()"}));

    recgl::Reset();
    EXPECT_TRUE(recgl::Lookups().empty());
    EXPECT_NE(Lookup("glCombinerInputNV"), nullptr);
}

// Makes the call(s) and expects them recorded as the given lines or, without any, as written.
#define EXPECT_TRACE(call, ...)                                                       \
    do {                                                                              \
        recgl::ClearCalls();                                                          \
        call;                                                                         \
        const Lines given{__VA_ARGS__};                                               \
        EXPECT_EQ(recgl::CallLines(), given.empty() ? Lines{#call} : given) << #call; \
    } while (false)

// One case per argument kind and enum style, and per parameter whose meaning depends on pname.
// The calls the demo makes (glClear's mask, glBegin's modes, matrices, glTexEnvf's boolean, point
// parameters, texture parameters, gluPerspective, glutSwapBuffers) are traced exactly in
// app_render_test.
TEST(RecglTrace, FormatsEnumsNumbersAndVectors) {
    recgl::Reset();
    const GLfloat v[4] = {0.5f, 1, 0, -0.25f};
    EXPECT_TRACE(glBlendFunc(GL_ZERO, GL_ONE));
    EXPECT_TRACE(glViewport(0, 0, 800, -1));
    EXPECT_TRACE(glColor4f(0.125f, 1e-7f, 1e7f, -INFINITY), "glColor4f(0.125, 1e-07, 1e+07, -inf)");
    EXPECT_TRACE(glCombinerInputNV(GL_COMBINER0_NV, GL_RGB, GL_VARIABLE_A_NV, GL_ZERO,
                                   GL_SIGNED_IDENTITY_NV, GL_RGB));
    EXPECT_TRACE(glCombinerOutputNV(GL_COMBINER0_NV, GL_RGB, GL_SPARE0_NV, GL_DISCARD_NV,
                                    GL_DISCARD_NV, GL_NONE, GL_NONE, GL_TRUE, GL_FALSE, GL_FALSE));
    EXPECT_TRACE(glActiveTextureARB(GL_TEXTURE2_ARB));
    EXPECT_TRACE(glTrackMatrixNV(GL_VERTEX_PROGRAM_NV, 4, GL_MODELVIEW, GL_IDENTITY_NV));
    EXPECT_TRACE(glCombinerParameteriNV(GL_COLOR_SUM_CLAMP_NV, GL_FALSE));
    EXPECT_TRACE(glTexEnvf(GL_POINT_SPRITE_NV, GL_COORD_REPLACE_NV, NAN),
                 "glTexEnvf(GL_POINT_SPRITE_NV, GL_COORD_REPLACE_NV, GL_FALSE)");
    EXPECT_TRACE(glTexEnvf(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_SCALE_NV, 0.5));
    EXPECT_TRACE(
        glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_OFFSET_TEXTURE_2D_SCALE_NV));
    EXPECT_TRACE(glTexEnvi(GL_TEXTURE_SHADER_NV, GL_PREVIOUS_TEXTURE_INPUT_NV, GL_TEXTURE2_ARB));
    // Vectors: as many elements as the function or pname takes, or null.
    EXPECT_TRACE(
        glCombinerStageParameterfvNV(GL_COMBINER1_NV, GL_CONSTANT_COLOR1_NV, v),
        "glCombinerStageParameterfvNV(GL_COMBINER1_NV, GL_CONSTANT_COLOR1_NV, {0.5, 1, 0, -0.25})");
    EXPECT_TRACE(glTexEnvfv(GL_TEXTURE_SHADER_NV, GL_CONST_EYE_NV, v),
                 "glTexEnvfv(GL_TEXTURE_SHADER_NV, GL_CONST_EYE_NV, {0.5, 1, 0})");
    EXPECT_TRACE(
        glTexEnvfv(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_MATRIX_NV, v),
        "glTexEnvfv(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_MATRIX_NV, {0.5, 1, 0, -0.25})");
    EXPECT_TRACE(glProgramParameter4fvNV(GL_VERTEX_PROGRAM_NV, 7, nullptr),
                 "glProgramParameter4fvNV(GL_VERTEX_PROGRAM_NV, 7, null)");
    // Arguments stay readable as numbers.
    recgl::ClearCalls();
    glCombinerStageParameterfvNV(GL_COMBINER1_NV, GL_CONSTANT_COLOR1_NV, v);
    glColor4f(0.125f, 0, 0, 1);
    EXPECT_EQ(recgl::Calls()[0].Values(2), (std::vector<double>{0.5, 1, 0, -0.25}));
    EXPECT_EQ(recgl::Calls()[1].Float(0), 0.125);
}

TEST(RecglTrace, EnumNamesPreferVendorSuffixesAfterCoreNames) {
    for (auto [value, name] : std::vector<std::pair<GLenum, std::string>>{
             {GL_PROGRAM_ERROR_POSITION_NV, "GL_PROGRAM_ERROR_POSITION_NV"},
             {GL_TEXTURE_3D, "GL_TEXTURE_3D"},
             {GL_TEXTURE_CUBE_MAP_ARB, "GL_TEXTURE_CUBE_MAP_ARB"},
             {GL_BLEND_DST_RGB_EXT, "GL_BLEND_DST_RGB_EXT"},
             {GL_CLAMP_TO_BORDER_ARB, "GL_CLAMP_TO_BORDER_ARB"},
             {GL_QUADS, "GL_QUADS"},
             {0x7fffffff, ""}})
        EXPECT_EQ(recgl::EnumName(value), name);
}

TEST(RecglState, EnablesTexturesAndCopiedTexels) {
    recgl::Reset();
    glEnable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_2D);
    EXPECT_TRUE(recgl::IsEnabled(GL_BLEND) && !recgl::IsEnabled(GL_TEXTURE_2D) &&
                glIsEnabled(GL_BLEND) == GL_TRUE);
    GLuint names[2] = {0, 0};
    EXPECT_TRACE(glGenTextures(2, names), "glGenTextures(2, {1, 2})");
    // RGB rows of 3 pixels are padded to 12 bytes: 2 rows read 24 bytes.
    std::vector<unsigned char> texels(24);
    for (int i = 0; i < 24; ++i) texels[i] = static_cast<unsigned char>(i);
    EXPECT_TRACE(
        glTexImage2D(GL_TEXTURE_2D, 0, 3, 3, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data()),
        "glTexImage2D(GL_TEXTURE_2D, 0, 3, 3, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, <24 bytes>)");
    EXPECT_EQ(recgl::Calls()[0].args[8].bytes, texels);
    EXPECT_TRACE(
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr),
        "glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, null)");
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, -1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_GL_ERROR(GL_INVALID_VALUE);

    recgl::Reset();
    EXPECT_FALSE(recgl::IsEnabled(GL_BLEND));
    glGenTextures(1, names);
    EXPECT_EQ(names[0], 1u) << "Reset restarts texture names";
}

TEST(RecglState, MatrixStacksPrimitivesAndBindingsAreTracked) {
    recgl::Reset();
    EXPECT_EQ(Integer(GL_MATRIX_MODE), GL_MODELVIEW);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    EXPECT_EQ(Integer(GL_PROJECTION_STACK_DEPTH), 2);
    glPushMatrix();  // the projection stack holds 2
    EXPECT_GL_ERROR(GL_STACK_OVERFLOW);
    glPopMatrix(), glPopMatrix();
    EXPECT_GL_ERROR(GL_STACK_UNDERFLOW);
    EXPECT_EQ(Integer(GL_MODELVIEW_STACK_DEPTH), 1);
    glMatrixMode(GL_TEXTURE_2D);
    EXPECT_GL_ERROR(GL_INVALID_ENUM);
    EXPECT_EQ(Integer(GL_MATRIX_MODE), GL_PROJECTION);

    glEnd(), glMatrixMode(GL_TEXTURE_2D);  // the first error is kept until it is read
    EXPECT_GL_ERROR(GL_INVALID_OPERATION);
    glBegin(GL_LINES), glBegin(GL_LINES);
    EXPECT_GL_ERROR(GL_INVALID_OPERATION);
    glEnd();
    EXPECT_GL_ERROR(GL_NO_ERROR);

    glBindTexture(GL_TEXTURE_2D, 5);
    glActiveTextureARB(GL_TEXTURE1_ARB);
    EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D), 0) << "bindings are per texture unit";
    glActiveTextureARB(GL_TEXTURE0_ARB);
    EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D), 5);
}

}  // namespace
