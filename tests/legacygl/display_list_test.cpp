// The legacy commands inside display lists, and the draws the layer prepares besides glBegin,
// glDrawArrays and their kin: drawn by the real driver, read back from the float framebuffer.
#include <gtest/gtest.h>

#include <string>

#include "tests/legacygl/gl_harness.h"
#include "vertexprogram/interpreter.h"

namespace {

using legacygltest::Fetch;
using legacygltest::HarnessTest;
using vertexprogram::Vec4;

class LegacyDrawsAndLists : public HarnessTest {
  protected:
    void SetUp() override {
        HarnessTest::SetUp();
        if (HasFatalFailure()) return;
        // Program 1 shows c[5], program 2 shows c[6].
        ASSERT_TRUE(harness->UseProgram("!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], c[5]; END"));
        Load(2, "!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], c[6]; END");
        Parameter(5, {1, 1, 1, 1});
        Parameter(6, {2, 2, 2, 2});
        glBlendFunc(GL_ONE, GL_ONE);
        glDisable(GL_BLEND);
    }
    void TearDown() override {
        glDisable(GL_BLEND);
        glDisable(GL_VERTEX_PROGRAM_NV);
        glDeleteLists(1, 100);
    }
    const legacygltest::LegacyEntryPoints& Nv() const { return harness->Nv(); }
    void Load(GLuint id, const std::string& text) {
        Nv().LoadProgram(GL_VERTEX_PROGRAM_NV, id, GLsizei(text.size()),
                         reinterpret_cast<const GLubyte*>(text.data()));
    }
    void Parameter(GLuint index, const Vec4& v) {
        Nv().ProgramParameter4fv(GL_VERTEX_PROGRAM_NV, index, v.data());
    }
    Vec4 ParameterValue(GLuint index) {
        Vec4 v;
        Nv().GetProgramParameterfv(GL_VERTEX_PROGRAM_NV, index, GL_PROGRAM_PARAMETER_NV, v.data());
        return v;
    }
    static void Point() {
        glBegin(GL_POINTS);
        glVertex4f(0, 0, 0, 1);
        glEnd();
    }
    static void Clear() {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    static Vec4 Pixel() {
        Vec4 pixel;
        glReadPixels(0, 0, 1, 1, GL_RGBA, GL_FLOAT, pixel.data());
        return pixel;
    }
    // The pixel after calling `list` on a cleared framebuffer, with additive blending.
    static Vec4 Called(GLuint list) {
        Clear();
        glEnable(GL_BLEND);
        glCallList(list);
        glDisable(GL_BLEND);
        return Pixel();
    }
};

TEST_F(LegacyDrawsAndLists, ListsReplayTheLegacyCommandsBetweenTheirDraws) {
    // Each draw sees the parameters and binding the commands before it left.
    glNewList(1, GL_COMPILE);
    Nv().BindProgram(GL_VERTEX_PROGRAM_NV, 1);
    Parameter(5, {1, 2, 3, 4});
    Point();
    Parameter(5, {10, 20, 30, 40});
    Point();
    Nv().BindProgram(GL_VERTEX_PROGRAM_NV, 2);
    Parameter(6, {100, 200, 300, 400});
    Point();
    glEndList();
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    // Compiling ran nothing.
    EXPECT_EQ(ParameterValue(5), (Vec4{1, 1, 1, 1}));
    EXPECT_EQ(ParameterValue(6), (Vec4{2, 2, 2, 2}));
    GLint binding = 0;
    glGetIntegerv(GL_VERTEX_PROGRAM_BINDING_NV, &binding);
    EXPECT_EQ(binding, 1);
    EXPECT_EQ(Called(1), (Vec4{111, 222, 333, 444}));
    glGetIntegerv(GL_VERTEX_PROGRAM_BINDING_NV, &binding);
    EXPECT_EQ(binding, 2);
    EXPECT_EQ(ParameterValue(5), (Vec4{10, 20, 30, 40}));

    // Lists of the application's own choice of names leave list 1 whole.
    for (GLuint name = 2; name < 40; ++name) {
        glNewList(name, GL_COMPILE);
        glColor4f(1, 1, 1, 1);
        glEndList();
    }
    EXPECT_EQ(Called(1), (Vec4{111, 222, 333, 444}));
    glDeleteLists(2, 38);

    // Nested lists, and glCallLists through the list base: list 2 calls list 1 twice.
    Nv().BindProgram(GL_VERTEX_PROGRAM_NV, 1);
    Nv().BindProgram(GL_VERTEX_PROGRAM_NV, 2);
    glNewList(2, GL_COMPILE);
    glCallList(1);
    glCallList(1);
    glEndList();
    EXPECT_EQ(Called(2), (Vec4{222, 444, 666, 888}));
    const GLubyte offsets[] = {0, 1};
    glListBase(1);
    Clear();
    glEnable(GL_BLEND);
    glCallLists(2, GL_UNSIGNED_BYTE, offsets);  // lists 1 and 2
    glDisable(GL_BLEND);
    glListBase(0);
    EXPECT_EQ(Pixel(), (Vec4{333, 666, 999, 1332}));

    // A list compiled anew replaces its commands; a deleted one does nothing.
    glNewList(1, GL_COMPILE);
    Parameter(5, {7, 7, 7, 7});
    glEndList();
    glCallList(1);
    EXPECT_EQ(ParameterValue(5), (Vec4{7, 7, 7, 7}));
    glDeleteLists(1, 1);
    Parameter(5, {0, 0, 0, 0});
    glCallList(1);
    EXPECT_EQ(ParameterValue(5), (Vec4{0, 0, 0, 0}));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(LegacyDrawsAndLists, ContextsThatShareListsShareTheirLegacyCommands) {
    glNewList(10, GL_COMPILE);
    Parameter(7, {3, 4, 5, 6});
    glEndList();
    GLXContext shared = harness->NewContext(true), alone = harness->NewContext(false);
    ASSERT_NE(shared, nullptr);
    ASSERT_NE(alone, nullptr);
    ASSERT_TRUE(harness->MakeCurrent(shared));
    glCallList(10);
    EXPECT_EQ(ParameterValue(7), (Vec4{3, 4, 5, 6}));  // run on the calling context's state
    ASSERT_TRUE(harness->MakeCurrent(alone));
    glCallList(10);
    EXPECT_EQ(ParameterValue(7), (Vec4{0, 0, 0, 0}));
    ASSERT_TRUE(harness->MakeCurrent(nullptr));
    EXPECT_EQ(ParameterValue(7), (Vec4{0, 0, 0, 0}));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(LegacyDrawsAndLists, CompileAndExecuteRunsTheCommandsOnceNowAndAgainOnEachCall) {
    Clear();
    glEnable(GL_BLEND);
    glNewList(3, GL_COMPILE_AND_EXECUTE);
    Parameter(5, {1, 2, 3, 4});
    Point();
    Nv().BindProgram(GL_VERTEX_PROGRAM_NV, 2);
    Point();
    glEndList();
    glDisable(GL_BLEND);
    EXPECT_EQ(Pixel(), (Vec4{3, 4, 5, 6}));
    Nv().BindProgram(GL_VERTEX_PROGRAM_NV, 1);
    Parameter(6, {10, 10, 10, 10});
    EXPECT_EQ(Called(3), (Vec4{11, 12, 13, 14}));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(LegacyDrawsAndLists, EnablesTrackingLoadsAndStateProgramsTakeEffectWhenCalled) {
    const std::string state = "!!VSP1.0\nADD c[5], v[0], c[5];\nEND";
    const GLfloat input[] = {1, 2, 3, 4};
    const std::string tracked = "!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], c[8]; END";
    auto isProgram = Fetch<PFNGLISPROGRAMNVPROC>("glIsProgramNV");
    glMatrixMode(GL_MODELVIEW);
    glNewList(4, GL_COMPILE);
    glDisable(GL_VERTEX_PROGRAM_NV);
    glEnable(GL_VERTEX_PROGRAM_NV);
    Nv().LoadProgram(GL_VERTEX_STATE_PROGRAM_NV, 3, GLsizei(state.size()),
                     reinterpret_cast<const GLubyte*>(state.data()));
    Nv().ExecuteProgram(GL_VERTEX_STATE_PROGRAM_NV, 3, input);
    Load(4, tracked);
    Nv().BindProgram(GL_VERTEX_PROGRAM_NV, 4);
    Nv().TrackMatrix(GL_VERTEX_PROGRAM_NV, 8, GL_MODELVIEW, GL_IDENTITY_NV);
    glLoadIdentity();
    glScalef(3, 1, 1);
    glTranslatef(0.5f, 0, 0);
    Point();
    glLoadIdentity();
    glEndList();
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_FALSE(isProgram(3));
    EXPECT_FALSE(isProgram(4));
    GLint slot = -1;
    auto trackQuery = Fetch<PFNGLGETTRACKMATRIXIVNVPROC>("glGetTrackMatrixivNV");
    trackQuery(GL_VERTEX_PROGRAM_NV, 8, GL_TRACK_MATRIX_NV, &slot);
    EXPECT_EQ(slot, GL_NONE);

    // Row 0 of the modelview matrix the list loaded before its draw, tracked at draw time.
    EXPECT_EQ(Called(4), (Vec4{3, 0, 0, 1.5f}));
    EXPECT_TRUE(isProgram(3));
    EXPECT_TRUE(isProgram(4));
    EXPECT_EQ(ParameterValue(5), (Vec4{2, 3, 4, 5}));  // (1,1,1,1) + the input
    trackQuery(GL_VERTEX_PROGRAM_NV, 8, GL_TRACK_MATRIX_NV, &slot);
    EXPECT_EQ(slot, GL_MODELVIEW);
    Nv().TrackMatrix(GL_VERTEX_PROGRAM_NV, 8, GL_NONE, GL_IDENTITY_NV);

    // The enable in a list is the emulated one.
    glNewList(5, GL_COMPILE);
    glDisable(GL_VERTEX_PROGRAM_NV);
    glEndList();
    EXPECT_TRUE(glIsEnabled(GL_VERTEX_PROGRAM_NV));
    glCallList(5);
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_PROGRAM_NV));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(LegacyDrawsAndLists, AnInvalidProgramDrawsNothingButTheListsOtherStateStays) {
    glNewList(6, GL_COMPILE);
    Nv().BindProgram(GL_VERTEX_PROGRAM_NV, 99);  // holds no program
    Point();
    glColor4f(0.5f, 0.25f, 1, 1);
    glEndList();
    glColor4f(1, 1, 1, 1);
    EXPECT_EQ(Called(6), (Vec4{0, 0, 0, 0}));
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    Vec4 colour;
    glGetFloatv(GL_CURRENT_COLOR, colour.data());
    EXPECT_EQ(colour, (Vec4{0.5f, 0.25f, 1, 1}));
    glColor4f(1, 1, 1, 1);
    // A valid binding draws from the same list's draw again.
    glNewList(7, GL_COMPILE);
    Point();
    glEndList();
    Nv().BindProgram(GL_VERTEX_PROGRAM_NV, 2);
    EXPECT_EQ(Called(7), (Vec4{2, 2, 2, 2}));
    // A list of vertices called between glBegin and glEnd, in a list and directly.
    glNewList(11, GL_COMPILE);
    glVertex4f(0, 0, 0, 1);
    glEndList();
    glNewList(12, GL_COMPILE);
    glBegin(GL_POINTS);
    glCallList(11);
    glEnd();
    glEndList();
    EXPECT_EQ(Called(12), (Vec4{2, 2, 2, 2}));
    Clear();
    glBegin(GL_POINTS);
    glCallList(11);
    glEnd();
    EXPECT_EQ(Pixel(), (Vec4{2, 2, 2, 2}));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    // Errors of the commands a list holds come when it is called: the extension's commands
    // between glBegin and glEnd, attributes past the last.
    glNewList(8, GL_COMPILE);
    glBegin(GL_POINTS);
    Parameter(5, {9, 9, 9, 9});
    glEnd();
    glEndList();
    glNewList(13, GL_COMPILE);
    Nv().VertexAttrib4fv(16, colour.data());
    glEndList();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    for (GLuint list : {8, 13}) {
        glCallList(list);
        EXPECT_EQ(glGetError(), GLenum(list == 8 ? GL_INVALID_OPERATION : GL_INVALID_VALUE));
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
    EXPECT_EQ(ParameterValue(5), (Vec4{1, 1, 1, 1}));
}

TEST_F(LegacyDrawsAndLists, InstancedEvaluatorAndListDrawsUseTheCurrentProgram) {
    // Each draw comes right after a change of binding, which only its preparation applies.
    const GLfloat position[] = {0, 0, 0, 1};
    const GLuint index = 0;
    glVertexPointer(4, GL_FLOAT, 0, position);
    glEnableClientState(GL_VERTEX_ARRAY);
    glMap1f(GL_MAP1_VERTEX_4, 0, 1, 4, 1, position);
    glEnable(GL_MAP1_VERTEX_4);
    glMapGrid1f(1, 0, 1);
    glNewList(9, GL_COMPILE);  // compiled before any program change
    Point();
    glEndList();
    const struct {
        const char* name;
        void (*draw)(const GLuint*);
    } draws[] = {
        {"glDrawArraysInstanced", [](const GLuint*) { glDrawArraysInstanced(GL_POINTS, 0, 1, 1); }},
        {"glDrawElementsInstanced",
         [](const GLuint* i) { glDrawElementsInstanced(GL_POINTS, 1, GL_UNSIGNED_INT, i, 1); }},
        {"glDrawElementsBaseVertex",
         [](const GLuint* i) { glDrawElementsBaseVertex(GL_POINTS, 1, GL_UNSIGNED_INT, i, 0); }},
        {"glDrawElementsInstancedBaseVertex",
         [](const GLuint* i) {
             glDrawElementsInstancedBaseVertex(GL_POINTS, 1, GL_UNSIGNED_INT, i, 1, 0);
         }},
        {"glEvalMesh1", [](const GLuint*) { glEvalMesh1(GL_POINT, 0, 0); }},
        {"glCallList", [](const GLuint*) { glCallList(9); }},
    };
    for (const auto& d : draws) {
        SCOPED_TRACE(d.name);
        Nv().BindProgram(GL_VERTEX_PROGRAM_NV, 1);
        Clear();
        glDrawArrays(GL_POINTS, 0, 1);
        EXPECT_EQ(Pixel(), (Vec4{1, 1, 1, 1}));
        Nv().BindProgram(GL_VERTEX_PROGRAM_NV, 2);
        Clear();
        d.draw(&index);
        EXPECT_EQ(Pixel(), (Vec4{2, 2, 2, 2}));
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        Nv().BindProgram(GL_VERTEX_PROGRAM_NV, 99);
        Clear();
        d.draw(&index);
        EXPECT_EQ(Pixel(), (Vec4{0, 0, 0, 0}));
        EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION));
    }
    glDisable(GL_MAP1_VERTEX_4);
    glDisableClientState(GL_VERTEX_ARRAY);
}

TEST_F(LegacyDrawsAndLists, ColourMatrixTrackingIsRefusedWithoutTheImagingExtension) {
    // Without GL_ARB_imaging there is no colour matrix to track.
    const std::string extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    EXPECT_EQ((" " + extensions + " ").find(" GL_ARB_imaging "), std::string::npos);
    Nv().TrackMatrix(GL_VERTEX_PROGRAM_NV, 8, GL_COLOR, GL_IDENTITY_NV);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_ENUM));
    GLint slot = -1;
    Fetch<PFNGLGETTRACKMATRIXIVNVPROC>("glGetTrackMatrixivNV")(GL_VERTEX_PROGRAM_NV, 8,
                                                               GL_TRACK_MATRIX_NV, &slot);
    EXPECT_EQ(slot, GL_NONE);
}

TEST_F(LegacyDrawsAndLists, AttributeEvaluatorMapsFeedTheProgram) {
    Load(5, "!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], v[6]; END");
    Nv().BindProgram(GL_VERTEX_PROGRAM_NV, 5);
    const GLfloat origin[] = {0, 0, 0, 1}, outside[] = {2, 2, 2, 1};
    const GLfloat line[] = {0, 0, 0, 0, 99, 4, 8, 12, 16, 99};  // stride 5
    glMap1f(GL_MAP1_VERTEX_4, 0, 1, 4, 1, origin);
    glEnable(GL_MAP1_VERTEX_4);
    glMap1f(GL_MAP1_VERTEX_ATTRIB6_4_NV, 0, 1, 5, 2, line);
    glEnable(GL_MAP1_VERTEX_ATTRIB6_4_NV);
    auto evalAt = [](float u) {
        Clear();
        glBegin(GL_POINTS);
        glEvalCoord1f(u);
        glEnd();
        return Pixel();
    };
    EXPECT_EQ(evalAt(0.25f), (Vec4{1, 2, 3, 4}));
    // The position from the attribute map, which comes before the driver's.
    glMap1f(GL_MAP1_VERTEX_4, 0, 1, 4, 1, outside);
    EXPECT_EQ(evalAt(0.25f), (Vec4{0, 0, 0, 0}));
    glMap1f(GL_MAP1_VERTEX_ATTRIB0_4_NV, 0, 1, 4, 1, origin);
    glEnable(GL_MAP1_VERTEX_ATTRIB0_4_NV);
    EXPECT_EQ(evalAt(0.5f), (Vec4{2, 4, 6, 8}));
    glDisable(GL_MAP1_VERTEX_4);
    EXPECT_EQ(evalAt(0.75f), (Vec4{3, 6, 9, 12}));
    EXPECT_TRUE(glIsEnabled(GL_MAP1_VERTEX_ATTRIB0_4_NV));
    // Grid points, the last one exactly at the end of the domain.
    glMapGrid1f(4, 0, 1);
    for (GLint i : {1, 4}) {
        Clear();
        glEvalMesh1(GL_POINT, i, i);
        EXPECT_EQ(Pixel(), (Vec4{i * 1.0f, i * 2.0f, i * 3.0f, i * 4.0f})) << i;
    }
    // The colour attribute's map comes before the driver's colour map, which stays enabled.
    Load(5, "!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], v[3]; END");
    const GLfloat red[] = {9, 0, 0, 9}, blue[] = {0, 0, 0.5f, 0.25f};
    glMap1f(GL_MAP1_COLOR_4, 0, 1, 4, 1, red);
    glEnable(GL_MAP1_COLOR_4);
    EXPECT_EQ(evalAt(0.5f), (Vec4{9, 0, 0, 9}));  // the driver's map
    glMap1f(GL_MAP1_VERTEX_ATTRIB3_4_NV, 0, 1, 4, 1, blue);
    glEnable(GL_MAP1_VERTEX_ATTRIB3_4_NV);
    EXPECT_EQ(evalAt(0.5f), (Vec4{0, 0, 0.5f, 0.25f}));
    EXPECT_TRUE(glIsEnabled(GL_MAP1_COLOR_4));
    glDisable(GL_MAP1_COLOR_4);
    glColor4f(1, 1, 1, 1);
    // Two dimensions: a bilinear patch giving (u, v, 0, 1).
    Load(5, "!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], v[6]; END");
    const GLfloat patch[] = {0, 0, 0, 1, 0, 1, 0, 1, 1, 0, 0, 1, 1, 1, 0, 1};
    glMap2f(GL_MAP2_VERTEX_ATTRIB6_4_NV, 0, 1, 8, 2, 0, 1, 4, 2, patch);
    glMap2f(GL_MAP2_VERTEX_ATTRIB0_4_NV, 0, 1, 4, 1, 0, 1, 4, 1, origin);
    glEnable(GL_MAP2_VERTEX_ATTRIB6_4_NV);
    glEnable(GL_MAP2_VERTEX_ATTRIB0_4_NV);
    Clear();
    glBegin(GL_POINTS);
    glEvalCoord2f(0.25f, 0.75f);
    glEnd();
    EXPECT_EQ(Pixel(), (Vec4{0.25f, 0.75f, 0, 1}));
    // Automatic normals, not normalized: a position patch stretched 2 by 3 around the centre.
    Load(5, "!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], v[NRML]; END");
    const GLfloat plane[] = {-1, -1.5f, 0, 1, -1, 1.5f, 0, 1, 1, -1.5f, 0, 1, 1, 1.5f, 0, 1};
    glMap2f(GL_MAP2_VERTEX_ATTRIB0_4_NV, 0, 1, 8, 2, 0, 1, 4, 2, plane);
    glEnable(GL_AUTO_NORMAL);
    Clear();
    glBegin(GL_POINTS);
    glEvalCoord2f(0.5f, 0.5f);
    glEnd();
    glDisable(GL_AUTO_NORMAL);
    EXPECT_EQ(Pixel(), (Vec4{0, 0, 6, 1}));
    glMap2f(GL_MAP2_VERTEX_ATTRIB0_4_NV, 0, 1, 4, 1, 0, 1, 4, 1, origin);
    Load(5, "!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], v[6]; END");
    glMapGrid2f(2, 0, 1, 4, 0, 1);
    Clear();
    glEvalMesh2(GL_POINT, 1, 1, 3, 3);
    EXPECT_EQ(Pixel(), (Vec4{0.5f, 0.75f, 0, 1}));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // Queries, errors, the attribute stack and display lists.
    GLint order = 0;
    GLfloat domain[2] = {}, coefficients[8] = {};
    glGetMapiv(GL_MAP1_VERTEX_ATTRIB6_4_NV, GL_ORDER, &order);
    glGetMapfv(GL_MAP1_VERTEX_ATTRIB6_4_NV, GL_DOMAIN, domain);
    glGetMapfv(GL_MAP1_VERTEX_ATTRIB6_4_NV, GL_COEFF, coefficients);
    EXPECT_EQ(order, 2);
    EXPECT_EQ(domain[1], 1.0f);
    EXPECT_EQ(coefficients[7], 16.0f);
    glGetMapiv(GL_MAP1_VERTEX_ATTRIB9_4_NV, GL_ORDER, &order);  // never defined
    EXPECT_EQ(order, 1);
    glMap1f(GL_MAP1_VERTEX_ATTRIB6_4_NV, 1, 1, 4, 2, line);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_VALUE));
    glMap1f(GL_MAP1_VERTEX_ATTRIB6_4_NV, 0, 1, 3, 2, line);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_VALUE));
    glGetMapiv(GL_MAP1_VERTEX_ATTRIB6_4_NV, GL_ORDER, &order);
    EXPECT_EQ(order, 2);
    glPushAttrib(GL_EVAL_BIT);
    glDisable(GL_MAP1_VERTEX_ATTRIB6_4_NV);
    glPushAttrib(GL_CURRENT_BIT);
    glEnable(GL_MAP1_VERTEX_ATTRIB6_4_NV);
    glPopAttrib();
    EXPECT_TRUE(glIsEnabled(GL_MAP1_VERTEX_ATTRIB6_4_NV));
    glDisable(GL_MAP1_VERTEX_ATTRIB6_4_NV);
    glPopAttrib();
    EXPECT_TRUE(glIsEnabled(GL_MAP1_VERTEX_ATTRIB6_4_NV));
    glNewList(14, GL_COMPILE);
    glDisable(GL_MAP1_VERTEX_ATTRIB6_4_NV);
    glMap1f(GL_MAP1_VERTEX_ATTRIB6_4_NV, 0, 2, 4, 1, origin);
    glEndList();
    EXPECT_TRUE(glIsEnabled(GL_MAP1_VERTEX_ATTRIB6_4_NV));
    glCallList(14);
    EXPECT_FALSE(glIsEnabled(GL_MAP1_VERTEX_ATTRIB6_4_NV));
    glGetMapfv(GL_MAP1_VERTEX_ATTRIB6_4_NV, GL_DOMAIN, domain);
    EXPECT_EQ(domain[1], 2.0f);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    for (GLenum map : {GL_MAP1_VERTEX_ATTRIB0_4_NV, GL_MAP1_VERTEX_ATTRIB3_4_NV,
                       GL_MAP2_VERTEX_ATTRIB0_4_NV, GL_MAP2_VERTEX_ATTRIB6_4_NV})
        glDisable(map);
}

}  // namespace
