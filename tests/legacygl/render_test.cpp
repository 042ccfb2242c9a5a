// Legacy vertex programs drawn by the real driver through the layer, read back exactly from a
// float framebuffer and compared with the CPU interpreter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "tests/legacygl/gl_harness.h"
#include "vertexprogram/interpreter.h"

namespace {

using legacygltest::HarnessTest;
using vertexprogram::Vec4;

class LegacyVertexProgram : public HarnessTest {
  protected:
    void SetUp() override {
        HarnessTest::SetUp();
        if (HasFatalFailure()) return;
        glDisable(GL_VERTEX_PROGRAM_NV);
        while (glGetError() != GL_NO_ERROR) {
        }
    }
    const legacygltest::LegacyEntryPoints& Nv() const { return harness->Nv(); }

    void SetParameter(GLuint index, const Vec4& v) {
        Nv().ProgramParameter4fv(GL_VERTEX_PROGRAM_NV, index, v.data());
    }

    // o[TEX0] of the program drawn by the driver, and by the interpreter over `registers`
    // (v[0] is the drawn point).
    void ExpectDrawnAsInterpreted(const std::string& text, vertexprogram::Registers registers,
                                  float tolerance = 0) {
        ASSERT_TRUE(harness->UseProgram(text)) << text;
        const Vec4 drawn = harness->DrawPoint();
        vertexprogram::Program program;
        ASSERT_EQ(vertexprogram::Parse(text.data(), text.size(), &program), -1);
        registers.attributes[0] = {0, 0, 0, 1};
        vertexprogram::RunVertexProgram(program, registers);
        const Vec4& want = registers.results[vertexprogram::TEX0];
        for (int i = 0; i < 4; ++i) {
            if (std::isnan(want[i])) {
                EXPECT_TRUE(std::isnan(drawn[i])) << text << " component " << i;
            } else if (tolerance > 0 && std::isfinite(want[i])) {
                EXPECT_NEAR(drawn[i], want[i], tolerance * std::fmax(1, std::fabs(want[i])))
                    << text << " component " << i;
            } else {
                EXPECT_EQ(drawn[i], want[i]) << text << " component " << i;
            }
        }
    }
};

constexpr float kInf = INFINITY;

TEST_F(LegacyVertexProgram, EveryInstructionMatchesTheInterpreter) {
    // Operands: c[0], v[6] and R1 (= v[7]).
    const struct {
        const char* body;
        Vec4 c0, v6 = {}, v7 = {};
    } cases[] = {
        {"RCP o[TEX0], c[0].x;", {1, 0, 0, 0}},
        {"RCP o[TEX0], c[0].y;", {0, 3, 0, 0}},
        {"RCP o[TEX0].xz, -c[0].w;", {0, 0, 0, 0.5f}},
        {"RCP o[TEX0], c[0].x;", {0, 0, 0, 0}},
        {"RCP o[TEX0], -c[0].x;", {0, 0, 0, 0}},
        {"RCP o[TEX0], c[0].x;", {kInf, 0, 0, 0}},
        {"RCP o[TEX0], c[0].x;", {-kInf, 0, 0, 0}},
        {"RSQ o[TEX0], c[0].x;", {4, 0, 0, 0}},
        {"RSQ o[TEX0], c[0].x;", {-4, 0, 0, 0}},
        {"RSQ o[TEX0], c[0].z;", {0, 0, 2, 0}},
        {"RSQ o[TEX0], c[0].x;", {0, 0, 0, 0}},
        {"RSQ o[TEX0], c[0].x;", {kInf, 0, 0, 0}},
        {"EXP o[TEX0], c[0].x;", {2.5f, 0, 0, 0}},
        {"EXP o[TEX0], c[0].x;", {-1.25f, 0, 0, 0}},
        {"EXP o[TEX0], -c[0].y;", {0, -0.3f, 0, 0}},
        {"LOG o[TEX0], c[0].x;", {6, 0, 0, 0}},
        {"LOG o[TEX0], c[0].x;", {-8, 0, 0, 0}},
        {"LOG o[TEX0], c[0].x;", {0.375f, 0, 0, 0}},
        {"LOG o[TEX0], c[0].x;", {0, 0, 0, 0}},
        {"LOG o[TEX0], c[0].x;", {kInf, 0, 0, 0}},
        {"LOG o[TEX0].y, -c[0].w;", {0, 0, 0, -kInf}},
        {"MOV R1, c[0];\nLOG R1.xy, R1.w;\nMOV o[TEX0], R1;", {1, 2, 3, 0}},
        {"EXP o[TEX0], c[0].x;", {-kInf, 0, 0, 0}},
        {"EXP o[TEX0], c[0].x;", {kInf, 0, 0, 0}},
        {"MOV o[TEX0], c[0];", {1, -2, 3.5f, -4}},
        {"MUL o[TEX0], c[0], v[6];", {1, 0.5f, -3, 7}, {2, 4, 0.25f, -1}},
        {"ADD o[TEX0], c[0], -v[6];", {1, 0.5f, -3, 7}, {2, 4, 0.25f, -1}},
        {"MAD o[TEX0], c[0], v[6], R1;", {1, 0.5f, -3, 7}, {2, 4, 0.25f, -1}, {1, 2, 3, 4}},
        {"DP3 o[TEX0], c[0], v[6];", {1, 2, 3, 100}, {4, 5, 6, 100}},
        {"DP4 o[TEX0].yz, c[0], v[6];", {1, 2, 3, 4}, {4, 5, 6, 0.5f}},
        {"DST o[TEX0], c[0], v[6];", {9, 4, 4, 9}, {9, 0.5f, 9, 0.5f}},
        {"MIN o[TEX0], c[0], v[6];", {1, -2, 3, 5}, {2, -3, 3, -5}},
        {"MAX o[TEX0], c[0], v[6];", {1, -2, 3, 5}, {2, -3, 3, -5}},
        {"SLT o[TEX0], c[0], v[6];", {1, -2, 3, 5}, {2, -3, 3, -5}},
        {"SGE o[TEX0], c[0], v[6];", {1, -2, 3, 5}, {2, -3, 3, -5}},
        {"LIT o[TEX0], c[0];", {0.5f, 0.5f, 7, 2}},
        {"LIT o[TEX0], c[0];", {-1, 0.5f, 7, 2}},
        {"LIT o[TEX0], c[0];", {0.5f, -1, 7, 2}},
        {"LIT o[TEX0], c[0];", {0.5f, 0, 7, 0}},
        {"LIT o[TEX0], -c[0];", {-1, -1.01f, 7, -300}},
        {"LIT o[TEX0], c[0];", {0.5f, 0, 7, 2}},
        {"MOV R3, c[0];\nLIT R3, R3;\nMOV o[TEX0], R3;", {0.5f, 0, 7, 0}},
        // Masks, swizzles, negation; unwritten result components are (0,0,0,1).
        {"MOV o[TEX0].yw, -c[0].wzyx;", {1, 2, 3, 4}},
        {"ADD o[TEX0].xz, c[0].yzzx, -v[6].w;", {2, 8, 9, 0}, {0, 0, 0, 1}},
        {"MOV R2.x, c[0].w;\nMOV R2.w, v[6].y;\nMUL o[TEX0], R2.xxww, R1;",
         {1, 2, 3, 4},
         {5, 6},
         {1, 2, 3, 4}},
        // Temporaries start at 0; a result the program never writes is (0,0,0,1).
        {"ADD o[TEX0], R5, c[0];", {1, 2, 3, 4}},
        {"MOV o[TEX1], c[0];", {1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        const std::string text =
            std::string("!!VP1.0\nMOV o[HPOS], v[OPOS];\nMOV R1, v[7];\n") + c.body + "\nEND";
        SetParameter(0, c.c0);
        Nv().VertexAttrib4fv(6, c.v6.data());
        Nv().VertexAttrib4fv(7, c.v7.data());
        vertexprogram::Registers registers;
        registers.parameters[0] = c.c0;
        registers.attributes[6] = c.v6;
        registers.attributes[7] = c.v7;
        // EXP and LOG approximate 2^f and log2(m) to 2^-11 in z; LIT builds on them.
        const bool approximate =
            std::strstr(c.body, "LIT") || std::strstr(c.body, "EXP") || std::strstr(c.body, "LOG");
        ExpectDrawnAsInterpreted(text, registers, approximate ? 1.0f / 2048 : 0);
    }
}

TEST_F(LegacyVertexProgram, RelativeReadsOutsideTheParametersGiveZero) {
    vertexprogram::Registers registers;
    for (GLuint i = 0; i < 96; ++i) {
        registers.parameters[i] = {float(i), i + 0.5f, -float(i), 1};
        SetParameter(i, registers.parameters[i]);
    }
    const struct {
        float address;
        const char* read;
    } cases[] = {
        {0, "c[A0.x]"},       {95.5f, "c[A0.x]"},    {96, "c[A0.x]"},      {-1, "c[A0.x]"},
        {2.7f, "c[A0.x+63]"}, {32, "c[A0.x+63]"},    {33, "c[A0.x+63]"},   {64, "c[A0.x-64]"},
        {63, "c[A0.x-64]"},   {-0.5f, "c[A0.x+1]"},  {1e9f, "c[A0.x-64]"}, {-1e9f, "c[A0.x+63]"},
        {kInf, "c[A0.x-64]"}, {-kInf, "c[A0.x+63]"},
    };
    for (const auto& c : cases) {
        const std::string text = std::string(
                                     "!!VP1.0\nARL A0.x, v[6].x;\nMOV o[HPOS], v[OPOS];\n"
                                     "MOV o[TEX0], ") +
                                 c.read + ";\nEND";
        const Vec4 v6 = {c.address, 0, 0, 0};
        Nv().VertexAttrib4fv(6, v6.data());
        registers.attributes[6] = v6;
        SCOPED_TRACE(c.address);
        ExpectDrawnAsInterpreted(text, registers);
    }
    // A0.x starts at 0 when no ARL ran before the read.
    ExpectDrawnAsInterpreted("!!VP1.0 MOV o[TEX0], c[A0.x+5]; MOV o[HPOS], v[0]; END", registers);
}

// A matrix of scale s then translation t, in closed form for its inverse and products.
struct Affine {
    float s[3], t[3];
    void Load() const {
        glLoadIdentity();
        glTranslatef(t[0], t[1], t[2]);
        glScalef(s[0], s[1], s[2]);
    }
    Affine Inverse() const {
        Affine a;
        for (int i = 0; i < 3; ++i) {
            a.s[i] = 1 / s[i];
            a.t[i] = -t[i] / s[i];
        }
        return a;
    }
    Affine Then(const Affine& outer) const {  // outer * this
        Affine a;
        for (int i = 0; i < 3; ++i) {
            a.s[i] = outer.s[i] * s[i];
            a.t[i] = outer.s[i] * t[i] + outer.t[i];
        }
        return a;
    }
    // Row r of the matrix, or of its transpose.
    Vec4 Row(int r, bool transpose) const {
        float m[4][4] = {};  // m[row][column]
        for (int i = 0; i < 3; ++i) {
            m[i][i] = s[i];
            m[i][3] = t[i];
        }
        m[3][3] = 1;
        Vec4 row;
        for (int c = 0; c < 4; ++c) row[c] = transpose ? m[c][r] : m[r][c];
        return row;
    }
};

TEST_F(LegacyVertexProgram, TrackedMatricesFollowTheGlAtDrawTime) {
    const Affine modelview = {{2, 4, 0.5f}, {1, -2, 3}},
                 projection = {{0.25f, 2, 8}, {-1, 0.5f, 2}},
                 texture1 = {{3, 5, 7}, {0.5f, 1.5f, -2.5f}}, program2 = {{-2, 1, 4}, {6, 7, 8}};
    const struct {
        GLenum matrix;
        Affine value;
    } matrices[] = {
        {GL_MODELVIEW, modelview},
        {GL_PROJECTION, projection},
        {GL_MODELVIEW_PROJECTION_NV, modelview.Then(projection)},
        {GL_TEXTURE, texture1},
        {GL_MATRIX2_NV, program2},
    };
    const GLenum transforms[] = {GL_IDENTITY_NV, GL_INVERSE_NV, GL_TRANSPOSE_NV,
                                 GL_INVERSE_TRANSPOSE_NV};
    for (const auto& m : matrices) {
        for (GLenum transform : transforms) {
            glMatrixMode(GL_MODELVIEW);
            modelview.Load();
            glMatrixMode(GL_PROJECTION);
            projection.Load();
            glActiveTexture(GL_TEXTURE1);
            glMatrixMode(GL_TEXTURE);
            texture1.Load();
            glMatrixMode(GL_MATRIX2_NV);
            program2.Load();
            // GL_TEXTURE means the unit active when tracking starts.
            Nv().TrackMatrix(GL_VERTEX_PROGRAM_NV, 8, m.matrix, transform);
            glActiveTexture(GL_TEXTURE0);
            ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
            const bool inverse = transform == GL_INVERSE_NV || transform == GL_INVERSE_TRANSPOSE_NV;
            const bool transpose =
                transform == GL_TRANSPOSE_NV || transform == GL_INVERSE_TRANSPOSE_NV;
            const Affine expected = inverse ? m.value.Inverse() : m.value;
            for (int row = 0; row < 4; ++row) {
                const std::string text = "!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], c[" +
                                         std::to_string(8 + row) + "]; END";
                ASSERT_TRUE(harness->UseProgram(text));
                const Vec4 drawn = harness->DrawPoint();
                Vec4 queried;
                Nv().GetProgramParameterfv(GL_VERTEX_PROGRAM_NV, 8 + row, GL_PROGRAM_PARAMETER_NV,
                                           queried.data());
                const Vec4 want = expected.Row(row, transpose);
                for (int i = 0; i < 4; ++i) {
                    EXPECT_NEAR(drawn[i], want[i], 1e-5)
                        << m.matrix << " " << transform << " " << row << "," << i;
                    EXPECT_NEAR(queried[i], want[i], 1e-5) << m.matrix << " " << transform;
                }
            }
        }
    }
    // The program matrices are selected and read back under their legacy names.
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MATRIX2_NV);
    GLfloat current[16];
    glGetFloatv(GL_CURRENT_MATRIX_NV, current);
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row)
            EXPECT_EQ(current[column * 4 + row], program2.Row(row, false)[column]);
    // A later change of the tracked matrix shows in the next draw.
    Nv().TrackMatrix(GL_VERTEX_PROGRAM_NV, 8, GL_MODELVIEW, GL_IDENTITY_NV);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(10, 20, 30);
    ASSERT_TRUE(harness->UseProgram("!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], c[9]; END"));
    EXPECT_EQ(harness->DrawPoint(), (Vec4{0, 1, 0, 20}));
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    Nv().TrackMatrix(GL_VERTEX_PROGRAM_NV, 8, GL_NONE, GL_IDENTITY_NV);
}

TEST_F(LegacyVertexProgram, UntrackedRegistersKeepTheirValuesAndTrackedOnesRefuseWrites) {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(5, 6, 7);
    Nv().TrackMatrix(GL_VERTEX_PROGRAM_NV, 12, GL_MODELVIEW, GL_IDENTITY_NV);
    SetParameter(13, {9, 9, 9, 9});
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION));
    Nv().TrackMatrix(GL_VERTEX_PROGRAM_NV, 12, GL_NONE, GL_IDENTITY_NV);
    glLoadIdentity();
    ASSERT_TRUE(harness->UseProgram("!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], c[13]; END"));
    EXPECT_EQ(harness->DrawPoint(), (Vec4{0, 1, 0, 6}));
    SetParameter(13, {9, 8, 7, 6});
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(harness->DrawPoint(), (Vec4{9, 8, 7, 6}));
    // Tracking and errors of the call itself.
    Nv().TrackMatrix(GL_VERTEX_PROGRAM_NV, 13, GL_MODELVIEW, GL_IDENTITY_NV);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_VALUE));
    Nv().TrackMatrix(GL_VERTEX_PROGRAM_NV, 12, GL_MODELVIEW, 0x1234);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_ENUM));
}

TEST_F(LegacyVertexProgram, AttributesAliasTheConventionalStateBothWays) {
    glColor4f(0.5f, 0.25f, 0.125f, 0.75f);
    glNormal3f(-1, 2, -3);
    glSecondaryColor3f(0.25f, 0.5f, 1);
    glFogCoordf(3.5f);
    glMultiTexCoord4f(GL_TEXTURE2, 1, 2, 3, 4);
    const struct {
        int index;
        Vec4 value;
    } conventional[] = {
        {3, {0.5f, 0.25f, 0.125f, 0.75f}},
        {2, {-1, 2, -3, 1}},
        {4, {0.25f, 0.5f, 1, 1}},
        {5, {3.5f, 0, 0, 1}},
        {10, {1, 2, 3, 4}},
    };
    for (const auto& c : conventional) {
        const std::string text =
            "!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], v[" + std::to_string(c.index) + "]; END";
        ASSERT_TRUE(harness->UseProgram(text));
        EXPECT_EQ(harness->DrawPoint(), c.value) << text;
    }
    // The other way: glVertexAttrib*NV sets the conventional state.
    const Vec4 color = {0.125f, 1, 0.5f, 0.25f}, texcoord = {7, 8, 9, 10};
    Nv().VertexAttrib4fv(3, color.data());
    Nv().VertexAttrib4fv(9, texcoord.data());
    Vec4 current;
    glGetFloatv(GL_CURRENT_COLOR, current.data());
    EXPECT_EQ(current, color);
    glActiveTexture(GL_TEXTURE1);
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, current.data());
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(current, texcoord);
    ASSERT_TRUE(harness->UseProgram("!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], v[COL0]; END"));
    EXPECT_EQ(harness->DrawPoint(), color);
    glColor4f(1, 1, 1, 1);
}

TEST_F(LegacyVertexProgram, StateProgramsRunOnExecute) {
    const std::string text =
        "!!VSP1.0\nMUL R0, v[0], c[21];\nMOV c[20], R0;\nADD c[22].xy, c[21], v[0].w;\nEND";
    Nv().LoadProgram(GL_VERTEX_STATE_PROGRAM_NV, 2, GLsizei(text.size()),
                     reinterpret_cast<const GLubyte*>(text.data()));
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    Vec4 parameters[vertexprogram::kParameterRegisters] = {};
    parameters[21] = {2, 3, 4, 5};
    parameters[22] = {-1, -1, -1, -1};
    SetParameter(21, parameters[21]);
    SetParameter(22, parameters[22]);
    const Vec4 input = {1, 0.5f, -2, 10};
    Nv().ExecuteProgram(GL_VERTEX_STATE_PROGRAM_NV, 2, input.data());
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    vertexprogram::Program program;
    ASSERT_EQ(vertexprogram::Parse(text.data(), text.size(), &program), -1);
    vertexprogram::RunStateProgram(program, input, parameters);
    for (int index : {20, 21, 22}) {
        ASSERT_TRUE(harness->UseProgram("!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], c[" +
                                        std::to_string(index) + "]; END"));
        EXPECT_EQ(harness->DrawPoint(), parameters[index]) << index;
    }
    // A state program that writes a tracked register does not run.
    Nv().TrackMatrix(GL_VERTEX_PROGRAM_NV, 20, GL_MODELVIEW, GL_IDENTITY_NV);
    Nv().ExecuteProgram(GL_VERTEX_STATE_PROGRAM_NV, 2, input.data());
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION));
    Nv().TrackMatrix(GL_VERTEX_PROGRAM_NV, 20, GL_NONE, GL_IDENTITY_NV);
    // A vertex program cannot be executed, nor a state program bound.
    Nv().ExecuteProgram(GL_VERTEX_STATE_PROGRAM_NV, 1, input.data());
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION));
    Nv().BindProgram(GL_VERTEX_PROGRAM_NV, 2);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION));
}

TEST_F(LegacyVertexProgram, InvalidProgramsReportTheirPositionAndDrawNothing) {
    const std::string bad = "!!VP1.0 MOV o[HPOS], v[0] END";
    Nv().LoadProgram(GL_VERTEX_PROGRAM_NV, 7, GLsizei(bad.size()),
                     reinterpret_cast<const GLubyte*>(bad.data()));
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION));
    GLint position = 0;
    glGetIntegerv(GL_PROGRAM_ERROR_POSITION_NV, &position);
    EXPECT_EQ(position, 26);
    Nv().BindProgram(GL_VERTEX_PROGRAM_NV, 7);
    glEnable(GL_VERTEX_PROGRAM_NV);
    GLint binding = 0;
    glGetIntegerv(GL_VERTEX_PROGRAM_BINDING_NV, &binding);
    EXPECT_EQ(binding, 7);
    EXPECT_EQ(harness->DrawPoint(), (Vec4{0.25f, 0.5f, 0.75f, 1}));  // the clear colour
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));  // glEnd did not add an error of its own
    glDrawArrays(GL_POINTS, 0, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION));
    glRectf(-1, -1, 1, 1);  // an implied glBegin
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION));
    Vec4 pixel;
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_FLOAT, pixel.data());
    EXPECT_EQ(pixel, (Vec4{0.25f, 0.5f, 0.75f, 1}));
    // A good load resets the position.
    ASSERT_TRUE(harness->UseProgram("!!VP1.0 MOV o[HPOS], v[0]; END"));
    glGetIntegerv(GL_PROGRAM_ERROR_POSITION_NV, &position);
    EXPECT_EQ(position, -1);
}

TEST_F(LegacyVertexProgram, TheExtensionIsAdvertisedAndItsEnablesAnswered) {
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    ASSERT_NE(extensions, nullptr);
    EXPECT_NE(std::strstr(extensions, " GL_NV_vertex_program"), nullptr);
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    // The layer's names come last, in the order of its modules.
    const char* added[] = {"GL_NV_vertex_program", "GL_NV_register_combiners",
                           "GL_NV_register_combiners2", "GL_NV_texture_shader",
                           "GL_NV_texture_shader2"};
    const GLint first = count - GLint(sizeof added / sizeof added[0]);
    ASSERT_GE(first, 0);
    for (GLint i = first; i < count; ++i)
        EXPECT_STREQ(reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, GLuint(i))),
                     added[i - first]);
    for (GLenum cap :
         {GL_VERTEX_PROGRAM_NV, GL_VERTEX_PROGRAM_TWO_SIDE_NV, GL_VERTEX_PROGRAM_POINT_SIZE_NV}) {
        glEnable(cap);
        EXPECT_TRUE(glIsEnabled(cap)) << cap;
        glPushAttrib(GL_ENABLE_BIT);
        glDisable(cap);
        EXPECT_FALSE(glIsEnabled(cap)) << cap;
        glPopAttrib();  // back on
        EXPECT_TRUE(glIsEnabled(cap)) << cap;
        glDisable(cap);
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(LegacyVertexProgram, DrawsReuseTranslationsUntilTheirStateChanges) {
    const std::string one = "!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], c[40]; END";
    const std::string two = "!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], c[44]; END";
    auto load = [&](GLuint id, const std::string& text) {
        Nv().LoadProgram(GL_VERTEX_PROGRAM_NV, id, GLsizei(text.size()),
                         reinterpret_cast<const GLubyte*>(text.data()));
    };
    SetParameter(40, {1, 2, 3, 4});
    SetParameter(44, {5, 6, 7, 8});
    load(11, one);
    load(12, two);
    glEnable(GL_VERTEX_PROGRAM_NV);
    auto drawnWith = [&](GLuint id) {
        Nv().BindProgram(GL_VERTEX_PROGRAM_NV, id);
        harness->DrawPoint();
        GLint arb = 0;
        Nv().GetProgramivARB(GL_VERTEX_PROGRAM_ARB, GL_PROGRAM_BINDING_ARB, &arb);
        return arb;
    };
    const GLint first = drawnWith(11), second = drawnWith(12);
    EXPECT_NE(first, second);
    EXPECT_EQ(drawnWith(11), first);
    Nv().TrackMatrix(GL_VERTEX_PROGRAM_NV, 40, GL_PROJECTION, GL_IDENTITY_NV);
    const GLint tracked = drawnWith(11);
    EXPECT_NE(tracked, first);
    Nv().TrackMatrix(GL_VERTEX_PROGRAM_NV, 40, GL_NONE, GL_IDENTITY_NV);
    EXPECT_EQ(drawnWith(11), first);
    load(11, two);  // a new text under the same id is translated anew
    drawnWith(11);
    EXPECT_EQ(harness->DrawPoint(), (Vec4{5, 6, 7, 8}));
}

TEST_F(LegacyVertexProgram, AttributeArraysFeedTheProgram) {
    auto pointer = reinterpret_cast<PFNGLVERTEXATTRIBPOINTERNVPROC>(
        glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glVertexAttribPointerNV")));
    const GLfloat positions[] = {0, 0, 0, 1};
    const GLfloat weights[] = {0.5f, -2, 8, 3};
    const GLubyte colours[] = {255, 0, 51, 102};  // normalized: 1, 0, 0.2, 0.4
    pointer(0, 4, GL_FLOAT, 0, positions);
    pointer(1, 4, GL_FLOAT, 0, weights);
    pointer(3, 4, GL_UNSIGNED_BYTE, 0, colours);
    pointer(2, 3, GL_UNSIGNED_BYTE, 0, colours);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION));  // bytes come in fours
    for (GLenum array : {0, 1, 3}) glEnableClientState(GL_VERTEX_ATTRIB_ARRAY0_NV + array);
    EXPECT_TRUE(glIsEnabled(GL_VERTEX_ATTRIB_ARRAY3_NV));
    const struct {
        const char* read;
        Vec4 value;
    } cases[] = {{"v[1]", {0.5f, -2, 8, 3}}, {"v[COL0]", {1, 0, 0.2f, 0.4f}}};
    for (const auto& c : cases) {
        ASSERT_TRUE(harness->UseProgram(std::string("!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], ") +
                                        c.read + "; END"));
        glClear(GL_COLOR_BUFFER_BIT);
        glDrawArrays(GL_POINTS, 0, 1);
        Vec4 pixel;
        glReadPixels(0, 0, 1, 1, GL_RGBA, GL_FLOAT, pixel.data());
        for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(pixel[i], c.value[i]) << c.read << " " << i;
    }
    for (GLenum array : {0, 1, 3}) glDisableClientState(GL_VERTEX_ATTRIB_ARRAY0_NV + array);
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ATTRIB_ARRAY3_NV));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(LegacyVertexProgram, FogAppliesOnlyWhenTheProgramWritesItsCoordinate) {
    glDisable(GL_FRAGMENT_PROGRAM_ARB);  // the fixed-function colour path, with fog
    glEnable(GL_FOG);
    GLboolean fog = GL_FALSE;
    glGetBooleanv(GL_FOG, &fog);  // the driver's own state, outside program mode
    EXPECT_TRUE(fog);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, 0);
    glFogf(GL_FOG_END, 1);
    const GLfloat black[] = {0, 0, 0, 0};
    glFogfv(GL_FOG_COLOR, black);
    SetParameter(0, {0.5f, 1, 0.25f, 1});
    const struct {
        const char* fog;
        Vec4 colour;
    } cases[] = {
        {"", {0.5f, 1, 0.25f, 1}},                             // no fog at all
        {"MOV o[FOGC].x, c[1].x;", {0.25f, 0.5f, 0.125f, 1}},  // factor (1 - 0.5) / 1
    };
    SetParameter(1, {0.5f, 0, 0, 0});
    for (const auto& c : cases) {
        ASSERT_TRUE(harness->UseProgram(
            std::string("!!VP1.0 MOV o[HPOS], v[0]; MOV o[COL0], c[0]; ") + c.fog + " END"));
        EXPECT_EQ(harness->DrawPoint(), c.colour) << c.fog;
        EXPECT_TRUE(glIsEnabled(GL_FOG));
    }
    glDisable(GL_FOG);
    glEnable(GL_FRAGMENT_PROGRAM_ARB);
}

TEST_F(LegacyVertexProgram, TwoSidedColoursFollowTheFacing) {
    glDisable(GL_FRAGMENT_PROGRAM_ARB);  // the colour itself reaches the pixel
    SetParameter(0, {0.25f, 0.5f, 1, 1});
    SetParameter(1, {1, 0.75f, 0, 1});
    ASSERT_TRUE(harness->UseProgram(
        "!!VP1.0 MOV o[HPOS], v[0]; MOV o[COL0], c[0]; MOV o[BFC0], c[1]; END"));
    auto drawClockwise = [] {
        glClear(GL_COLOR_BUFFER_BIT);
        glBegin(GL_TRIANGLES);
        glVertex2f(-3, -3);
        glVertex2f(0, 3);
        glVertex2f(3, -3);
        glEnd();
        Vec4 pixel;
        glReadPixels(0, 0, 1, 1, GL_RGBA, GL_FLOAT, pixel.data());
        return pixel;
    };
    EXPECT_EQ(drawClockwise(), (Vec4{0.25f, 0.5f, 1, 1}));  // front colour unless two-sided
    glEnable(GL_VERTEX_PROGRAM_TWO_SIDE_NV);
    EXPECT_EQ(drawClockwise(), (Vec4{1, 0.75f, 0, 1}));
    glDisable(GL_VERTEX_PROGRAM_TWO_SIDE_NV);
    glEnable(GL_FRAGMENT_PROGRAM_ARB);
}

TEST_F(LegacyVertexProgram, PointSizeComesFromTheProgramOrElseFromTheGl) {
    // A 4x4 target: a point of size 4 at its centre covers the corner pixel, one of size 1 not.
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
    GLuint texture = 0, framebuffer = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 4, 4, 0, GL_RGBA, GL_FLOAT, nullptr);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    glViewport(0, 0, 4, 4);
    glPointSize(4);
    glEnable(GL_VERTEX_PROGRAM_POINT_SIZE_NV);
    SetParameter(0, {1, 2, 3, 4});
    const struct {
        const char* size;
        bool cornerCovered;
    } cases[] = {{"", true}, {"MOV o[PSIZ].x, v[6].x;", false}};
    const Vec4 one = {1, 0, 0, 0};
    Nv().VertexAttrib4fv(6, one.data());
    for (const auto& c : cases) {
        ASSERT_TRUE(harness->UseProgram(
            std::string("!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], c[0]; ") + c.size + " END"));
        glClear(GL_COLOR_BUFFER_BIT);
        glBegin(GL_POINTS);
        glVertex4f(0, 0, 0, 1);
        glEnd();
        Vec4 corner;
        glReadPixels(0, 0, 1, 1, GL_RGBA, GL_FLOAT, corner.data());
        EXPECT_EQ(corner == (Vec4{1, 2, 3, 4}), c.cornerCovered) << c.size;
    }
    glDisable(GL_VERTEX_PROGRAM_POINT_SIZE_NV);
    glPointSize(1);
    glViewport(0, 0, 1, 1);
    glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &texture);
}

TEST_F(LegacyVertexProgram, ProgramObjectsAreSharedWithinAShareGroup) {
    auto isProgram = reinterpret_cast<PFNGLISPROGRAMNVPROC>(
        glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glIsProgramNV")));
    auto load = [&](const std::string& text) {
        Nv().LoadProgram(GL_VERTEX_PROGRAM_NV, 21, GLsizei(text.size()),
                         reinterpret_cast<const GLubyte*>(text.data()));
    };
    SetParameter(50, {1, 1, 1, 1});
    SetParameter(51, {2, 2, 2, 2});
    load("!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], c[50]; END");
    Nv().BindProgram(GL_VERTEX_PROGRAM_NV, 21);
    glEnable(GL_VERTEX_PROGRAM_NV);
    EXPECT_EQ(harness->DrawPoint(), (Vec4{1, 1, 1, 1}));
    GLXContext shared = harness->NewContext(true), alone = harness->NewContext(false),
               sharedByAttributes = harness->NewContext(true, true);
    ASSERT_NE(shared, nullptr);
    ASSERT_NE(alone, nullptr);
    ASSERT_NE(sharedByAttributes, nullptr);
    ASSERT_TRUE(harness->MakeCurrent(alone));
    EXPECT_FALSE(isProgram(21));
    ASSERT_TRUE(harness->MakeCurrent(sharedByAttributes));
    EXPECT_TRUE(isProgram(21));
    ASSERT_TRUE(harness->MakeCurrent(shared));
    EXPECT_TRUE(isProgram(21));
    load("!!VP1.0 MOV o[HPOS], v[0]; MOV o[TEX0], c[51]; END");  // replaced for the group
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    ASSERT_TRUE(harness->MakeCurrent(nullptr));
    EXPECT_EQ(harness->DrawPoint(), (Vec4{2, 2, 2, 2}));  // the binding follows the new text
}

}  // namespace
