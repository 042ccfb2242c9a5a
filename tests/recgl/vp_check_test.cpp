// The !!VP1.0 / !!VSP1.0 check behind glLoadProgramNV: accepted forms and error positions.
#define GL_GLEXT_PROTOTYPES 1
#include "recgl/recording_gl.h"

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <string>

namespace {

// '@' marks where the check must stop (at the end: the text is rejected at its length); it is
// removed from the text. Without '@' the text must be accepted.
void ExpectCheck(std::string text) {
    const size_t at = text.find('@');
    if (at != std::string::npos) text.erase(at, 1);
    const long expected = at == std::string::npos ? -1 : static_cast<long>(at);
    EXPECT_EQ(recgl::CheckVertexProgram(text.data(), text.size()), expected) << text;
}

const std::string kHead = "!!VP1.0\n";
std::string Vp(const std::string& body) { return kHead + body + "MOV o[HPOS], v[OPOS];\nEND\n"; }

TEST(VertexProgramCheck, AcceptsEveryInstructionAndOperandForm) {
    ExpectCheck(Vp(
        "ARL A0.x, v[WGHT].y; ARL A0.x, -c[95].w; MOV R0, v[0]; MOV R1.xyzw, -v[15].wzyx;\n"
        "LIT R2.xw, c[A0.x].xxyy; RCP R3.y, c[A0.x+63].z; RSQ R4.z, -R3.y; EXP R5.xz, "
        "c[A0.x-64].x;\n"
        "LOG R6.yzw, v[NRML].w; MUL R7, R0, c[4]; ADD R8.xy, -R1.x, v[COL0]; DP3 R9.w, v[COL1], "
        "v[COL1];\n"
        "DP4 R10.x, c[7], c[7].x; DST R11, R0, R1; MIN o[COL0], R0, R1; MAX o[COL1].w, R0, R1;\n"
        "SLT o[BFC0], R0, R1; SGE o[BFC1], R0, R1; MAD o[FOGC].x, v[FOGC], c[0], R2;\n"
        "MAD o[PSIZ].x, v[TEX0], R0, v[TEX0].x; MOV R0, c[000000000000000000007];\n"
        "MOV o[TEX0], v[TEX1]; MOV o[TEX1], v[TEX2]; MOV o[TEX2], v[TEX3]; MOV o[TEX3], v[TEX4];\n"
        "MOV o[TEX4], v[TEX5]; MOV o[TEX5], v[TEX6]; MOV o[TEX6], v[TEX7]; MOV o[TEX7], v[6];\n"));
    // Blanks, comments and line ends anywhere between tokens, none needed between some tokens.
    ExpectCheck("!!VP1.0 # header comment\n\tMOV\to [ HPOS ] . xyz , - v [ 0 ] . x ;#c\r\nEND");
    ExpectCheck("!!VP1.0MOV o[HPOS],v[0];END\n# trailing comment");
    ExpectCheck("!!VSP1.0\nMOV c[95], v[0];\nMUL R0, c[A0.x+1], v[OPOS];\nMOV c[0].xz, R0;\nEND");
    // The same register read twice counts once; one attribute and one parameter are fine.
    ExpectCheck(
        Vp("MAD R0, v[3], v[COL0].x, c[A0.x+2];\nADD R1, c[A0.x+2], -c[A0.x+2];\nMAD R0, c[3], "
           "v[3], R0;\n"));
    std::string body;  // at most 128 instructions
    for (int i = 0; i < 127; ++i) body += "ADD R0, R0, R0;\n";
    ExpectCheck(Vp(body));
    ExpectCheck(Vp(body + "ADD R0, R0, R0;\n") + "@");
}

TEST(VertexProgramCheck, RejectsAtTheOffendingToken) {
    for (const char* text :
         {"@!!VP2.0\nMOV o[HPOS], v[0];\nEND", "@ !!VP1.0\nMOV o[HPOS], v[0];\nEND",
          "@!!vp1.0\nMOV o[HPOS], v[0];\nEND", "@",
          "!!VP1.0\nMOV o[HPOS], v[0];\nEND\n@MOV R0, v[0];\n",
          "!!VP1.0\nMOV o[HPOS], v[0];\nEND @END",
          // Texts ending early, or failing a rule over the whole text, at their length.
          "!!VP1.0@", "!!VP1.0\nMOV o[HPOS], v[0];\n@", "!!VP1.0\nMOV o[HPOS], v[@",
          "!!VP1.0 MOV o[HPOS], v[0]; # END@", "!!VP1.0\nMOV o[COL0], v[0];\nEND@",
          "!!VSP1.0\nMOV R0, v[0];\nEND\n@",
          // State programs read only v[0] and write no outputs.
          "!!VSP1.0\nMOV c[0], @v[1];\nEND", "!!VSP1.0\nMOV @o[HPOS], v[0];\nEND"})
        ExpectCheck(text);
    for (const char* body :
         {"@mov R0, v[0];\n", "@MOVE R0, v[0];\n", "MOV @R12, v[0];\n",
          "MOV R0, @A0;\n",  // case-sensitive
          "MOV R0, v[@16];\n", "MOV R0, v[@POS];\n", "MOV R0, c[@96];\n", "MOV R0, c[@-1];\n",
          "MOV R0, c[@99999999999999999999];\n", "MOV R0, c[A0.x+@64];\n", "MOV R0, c[A0.x-@65];\n",
          "MOV R0, c[A0.@y];\n", "MOV R0.@yx, v[0];\n",
          "MOV R0.@xyzwx, v[0];\n",                        // masks in order, once
          "MOV R0, v[0].@xy;\n", "MOV R0, v[0].@xyzq;\n",  // swizzles of one or four
          "RCP R0, v[0]@;\n", "RCP R0, v[0].@xyzw;\n",     // scalar sources need one component
          "ARL @A1.x, v[0].x;\n", "ARL A0.@y, v[0].x;\n", "MOV @A0.x, v[0];\n",
          "MOV @c[0], v[0];\n", "MOV o[@TEX8], v[0];\n",
          "MOV R0, @o[HPOS];\n",  // parameters read-only
          "MOV R0, -@-v[0];\n", "MUL R0, v[0]@;\n", "MAD R0, v[0], R1@;\n", "MOV R0, v[0]\n@",
          "MOV R0, v[0] @$;\n",  // missing ';'; a character outside the language
          // A second distinct attribute or parameter register is reported where it is read.
          "ADD R0, v[0], @v[1];\n", "MAD R0, v[OPOS], c[0], -@v[NRML].x;\n",
          "ADD R0, c[1], @c[2];\n", "ADD R0, c[1], @c[A0.x+1];\n"})
        ExpectCheck(Vp(body));
    // A NUL byte inside the text is a character like any other; only `length` bytes count.
    std::string withNul = Vp("MOV R0, v[0];\n");
    withNul.insert(withNul.find(";\n") + 1, 1, '\0');
    EXPECT_EQ(recgl::CheckVertexProgram(withNul.data(), withNul.size()),
              static_cast<long>(withNul.find('\0')));
    const char full[] = "!!VP1.0 MOV o[HPOS], v[0]; END";
    EXPECT_EQ(recgl::CheckVertexProgram(full, sizeof full - 1), -1);
    EXPECT_EQ(recgl::CheckVertexProgram(full, 26), 26);
    EXPECT_EQ(recgl::CheckVertexProgram(nullptr, 10), 0);
}

GLint ErrorPosition() {
    GLint position = 0;
    glGetIntegerv(GL_PROGRAM_ERROR_POSITION_NV, &position);
    return position;
}

// Each load in turn: the error it raises and, where it checked a text, the error position.
TEST(VertexProgramLoad, ErrorsPositionsAndLoadedPrograms) {
    recgl::Reset();
    const std::string good = "!!VP1.0 MOV o[HPOS], v[0]; END",
                      state = "!!VSP1.0 MOV c[4], v[0]; END";
    const struct {
        GLenum target;
        GLuint id;
        const std::string text;
        GLenum error;
        GLint position;
    } loads[] = {
        {GL_VERTEX_PROGRAM_NV, 1, good, GL_NO_ERROR, -1},
        {GL_VERTEX_STATE_PROGRAM_NV, 9, state, GL_NO_ERROR, -1},
        {GL_VERTEX_PROGRAM_NV, 2, "!!VP1.0 MOV o[HPOS], v[0] END", GL_INVALID_OPERATION, 26},
        {GL_VERTEX_PROGRAM_NV, 3, state, GL_INVALID_OPERATION,
         0},  // a state program for the vertex program target
        {GL_VERTEX_PROGRAM_NV, 0, good, GL_INVALID_VALUE, 0},  // the position stays
        {GL_TEXTURE_2D, 4, good, GL_INVALID_ENUM, 0},
    };
    for (const auto& l : loads) {
        glLoadProgramNV(l.target, l.id, GLsizei(l.text.size()),
                        reinterpret_cast<const GLubyte*>(l.text.data()));
        EXPECT_EQ(glGetError(), l.error) << l.id;
        EXPECT_EQ(ErrorPosition(), l.position) << l.id;
    }
    glLoadProgramNV(GL_VERTEX_PROGRAM_NV, 5, -1, nullptr);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_VALUE));
    EXPECT_EQ(recgl::LoadedPrograms(), (std::map<GLuint, std::string>{{1, good}, {9, state}}));
    const std::vector<std::string> lines = recgl::CallLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "glLoadProgramNV(GL_VERTEX_PROGRAM_NV, 1, 30, 30)");
    EXPECT_EQ(lines[1], "glLoadProgramNV(GL_VERTEX_STATE_PROGRAM_NV, 9, 28, 28)");
    EXPECT_EQ(lines[6], "glLoadProgramNV(GL_VERTEX_PROGRAM_NV, 5, -1, null)");

    // The profile can make every load fail at a chosen position, even beyond the text.
    recgl::Profile p;
    p.rejectLoadAt = 1000;
    recgl::Reset(p);
    glLoadProgramNV(GL_VERTEX_PROGRAM_NV, 1, GLsizei(good.size()),
                    reinterpret_cast<const GLubyte*>(good.data()));
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(ErrorPosition(), 1000);
    EXPECT_TRUE(recgl::LoadedPrograms().empty());
}

}  // namespace
