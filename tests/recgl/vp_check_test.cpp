// The !!VP1.0 / !!VSP1.0 check behind glLoadProgramNV: accepted forms and error positions.
#define GL_GLEXT_PROTOTYPES 1
#include "recgl/recording_gl.h"

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <string>

namespace {

// '@' marks where the check must stop; it is removed from the text. Without '@' the text must
// be accepted.
long ExpectedPosition(std::string& text) {
  size_t at = text.find('@');
  if (at == std::string::npos) return -1;
  text.erase(at, 1);
  return static_cast<long>(at);
}

void ExpectCheck(std::string text) {
  long expected = ExpectedPosition(text);
  EXPECT_EQ(recgl::CheckVertexProgram(text.data(), text.size()), expected) << text;
}

const char kHead[] = "!!VP1.0\n";

std::string Vp(const std::string& body) { return kHead + body + "MOV o[HPOS], v[OPOS];\nEND\n"; }

TEST(VertexProgramCheck, AcceptsEveryInstructionAndOperandForm) {
  ExpectCheck(Vp(
      "ARL A0.x, v[WGHT].y;\n"
      "ARL A0.x, -c[95].w;\n"
      "MOV R0, v[0];\n"
      "MOV R1.xyzw, -v[15].wzyx;\n"
      "LIT R2.xw, c[A0.x].xxyy;\n"
      "RCP R3.y, c[A0.x+63].z;\n"
      "RSQ R4.z, -R3.y;\n"
      "EXP R5.xz, c[A0.x-64].x;\n"
      "LOG R6.yzw, v[NRML].w;\n"
      "MUL R7, R0, c[4];\n"
      "ADD R8.xy, -R1.x, v[COL0];\n"
      "DP3 R9.w, v[COL1], v[COL1];\n"
      "DP4 R10.x, c[7], c[7].x;\n"
      "DST R11, R0, R1;\n"
      "MIN o[COL0], R0, R1;\n"
      "MAX o[COL1].w, R0, R1;\n"
      "SLT o[BFC0], R0, R1;\n"
      "SGE o[BFC1], R0, R1;\n"
      "MAD o[FOGC].x, v[FOGC], c[0], R2;\n"
      "MAD o[PSIZ].x, v[TEX0], R0, v[TEX0].x;\n"
      "MOV o[TEX0], v[TEX1]; MOV o[TEX1], v[TEX2]; MOV o[TEX2], v[TEX3];\n"
      "MOV o[TEX3], v[TEX4]; MOV o[TEX4], v[TEX5]; MOV o[TEX5], v[TEX6];\n"
      "MOV o[TEX6], v[TEX7]; MOV o[TEX7], v[6];\n"));
  // Blanks, comments and line ends anywhere between tokens, none needed between some tokens.
  ExpectCheck("!!VP1.0 # header comment\n\tMOV\to [ HPOS ] . xyz , - v [ 0 ] . x ;#c\r\nEND");
  ExpectCheck("!!VP1.0MOV o[HPOS],v[0];END\n# trailing comment");
  ExpectCheck("!!VSP1.0\nMOV c[95], v[0];\nMUL R0, c[A0.x+1], v[OPOS];\nMOV c[0].xz, R0;\nEND");
  // The same register read twice counts once.
  ExpectCheck(Vp("MAD R0, v[3], v[COL0].x, c[A0.x+2];\nADD R1, c[A0.x+2], -c[A0.x+2];\n"));
}

TEST(VertexProgramCheck, RejectsAtTheOffendingToken) {
  ExpectCheck("@!!VP2.0\nMOV o[HPOS], v[0];\nEND");
  ExpectCheck("@ !!VP1.0\nMOV o[HPOS], v[0];\nEND");
  ExpectCheck("@!!vp1.0\nMOV o[HPOS], v[0];\nEND");
  ExpectCheck("@");
  ExpectCheck(Vp("@mov R0, v[0];\n"));            // case-sensitive
  ExpectCheck(Vp("@MOVE R0, v[0];\n"));
  ExpectCheck(Vp("MOV @R12, v[0];\n"));
  ExpectCheck(Vp("MOV R0, @A0;\n"));
  ExpectCheck(Vp("MOV R0, v[@16];\n"));
  ExpectCheck(Vp("MOV R0, v[@POS];\n"));
  ExpectCheck(Vp("MOV R0, c[@96];\n"));
  ExpectCheck(Vp("MOV R0, c[@-1];\n"));
  ExpectCheck(Vp("MOV R0, c[@99999999999999999999];\n"));
  ExpectCheck(Vp("MOV R0, c[000000000000000000007];\n"));
  ExpectCheck(Vp("MOV R0, c[A0.x+@64];\n"));
  ExpectCheck(Vp("MOV R0, c[A0.x-@65];\n"));
  ExpectCheck(Vp("MOV R0, c[A0.@y];\n"));
  ExpectCheck(Vp("MOV R0.@yx, v[0];\n"));           // mask out of order
  ExpectCheck(Vp("MOV R0.@xx, v[0];\n"));
  ExpectCheck(Vp("MOV R0.@xyzwx, v[0];\n"));
  ExpectCheck(Vp("MOV R0, v[0].@xy;\n"));           // swizzle of two
  ExpectCheck(Vp("MOV R0, v[0].@xyzq;\n"));
  ExpectCheck(Vp("RCP R0, v[0]@;\n"));              // scalar source needs a component
  ExpectCheck(Vp("RCP R0, v[0].@xyzw;\n"));
  ExpectCheck(Vp("ARL @A1.x, v[0].x;\n"));
  ExpectCheck(Vp("ARL A0.@y, v[0].x;\n"));
  ExpectCheck(Vp("MOV @A0.x, v[0];\n"));
  ExpectCheck(Vp("MOV @c[0], v[0];\n"));             // parameters are read-only in VP1.0
  ExpectCheck(Vp("MOV o[@TEX8], v[0];\n"));
  ExpectCheck(Vp("MOV R0, @o[HPOS];\n"));
  ExpectCheck(Vp("MOV R0, -@-v[0];\n"));  // one sign only
  ExpectCheck(Vp("MUL R0, v[0]@;\n"));
  ExpectCheck(Vp("MAD R0, v[0], R1@;\n"));
  ExpectCheck(Vp("MOV R0, v[0]\n@"));  // missing ';': stops at the next token
  ExpectCheck(Vp("MOV R0, v[0] @$;\n"));             // a character outside the language
  ExpectCheck(std::string(kHead) + "MOV o[HPOS], v[0];\nEND\n@MOV R0, v[0];\n");
  ExpectCheck(std::string(kHead) + "MOV o[HPOS], v[0];\nEND @END");
  // A NUL byte inside the text is a character like any other.
  std::string withNul = Vp("MOV R0, v[0];@\n");
  withNul[withNul.find('@')] = '\0';
  long nulAt = static_cast<long>(withNul.find('\0'));
  EXPECT_EQ(recgl::CheckVertexProgram(withNul.data(), withNul.size()), nulAt);
}

TEST(VertexProgramCheck, TextsEndingEarlyAreRejectedAtTheirLength) {
  for (std::string text : {"!!VP1.0", "!!VP1.0\nMOV o[HPOS], v[0];\n", "!!VP1.0\nMOV o[HPOS], v[",
                           "!!VP1.0 MOV o[HPOS], v[0]; # END"}) {
    EXPECT_EQ(recgl::CheckVertexProgram(text.data(), text.size()), static_cast<long>(text.size()))
        << text;
  }
  // Only `length` bytes count: a valid text cut short is rejected at the cut.
  const char full[] = "!!VP1.0 MOV o[HPOS], v[0]; END";
  EXPECT_EQ(recgl::CheckVertexProgram(full, sizeof full - 1), -1);
  EXPECT_EQ(recgl::CheckVertexProgram(full, 26), 26);
  EXPECT_EQ(recgl::CheckVertexProgram(nullptr, 10), 0);
}

TEST(VertexProgramCheck, RulesOverInstructionsAndWholeTexts) {
  // A second distinct attribute or parameter register is reported where it is read.
  ExpectCheck(Vp("ADD R0, v[0], @v[1];\n"));
  ExpectCheck(Vp("MAD R0, v[OPOS], c[0], -@v[NRML].x;\n"));
  ExpectCheck(Vp("ADD R0, c[1], @c[2];\n"));
  ExpectCheck(Vp("ADD R0, c[1], @c[A0.x+1];\n"));
  ExpectCheck(Vp("MAD R0, c[3], v[3], R0;\n"));  // one of each is fine
  // State programs read only v[0] and write a parameter register.
  ExpectCheck("!!VSP1.0\nMOV c[0], @v[1];\nEND");
  ExpectCheck("!!VSP1.0\nMOV @o[HPOS], v[0];\nEND");
  std::string noWrite = "!!VSP1.0\nMOV R0, v[0];\nEND\n";
  EXPECT_EQ(recgl::CheckVertexProgram(noWrite.data(), noWrite.size()),
            static_cast<long>(noWrite.size()));
  // A vertex program writes o[HPOS].
  std::string noPosition = std::string(kHead) + "MOV o[COL0], v[0];\nEND";
  EXPECT_EQ(recgl::CheckVertexProgram(noPosition.data(), noPosition.size()),
            static_cast<long>(noPosition.size()));
  // At most 128 instructions.
  std::string body;
  for (int i = 0; i < 127; ++i) body += "ADD R0, R0, R0;\n";
  ExpectCheck(Vp(body));
  std::string tooMany = Vp(body + "ADD R0, R0, R0;\n");
  EXPECT_EQ(recgl::CheckVertexProgram(tooMany.data(), tooMany.size()),
            static_cast<long>(tooMany.size()));
}

TEST(VertexProgramLoad, ErrorsPositionsAndLoadedPrograms) {
  recgl::Reset();
  GLint position = 0;
  auto load = [](GLenum target, GLuint id, const std::string& text) {
    glLoadProgramNV(target, id, static_cast<GLsizei>(text.size()),
                    reinterpret_cast<const GLubyte*>(text.data()));
  };
  const std::string good = "!!VP1.0 MOV o[HPOS], v[0]; END";
  const std::string state = "!!VSP1.0 MOV c[4], v[0]; END";
  load(GL_VERTEX_PROGRAM_NV, 1, good);
  glGetIntegerv(GL_PROGRAM_ERROR_POSITION_NV, &position);
  EXPECT_EQ(position, -1);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  load(GL_VERTEX_STATE_PROGRAM_NV, 9, state);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  load(GL_VERTEX_PROGRAM_NV, 2, "!!VP1.0 MOV o[HPOS], v[0] END");
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_OPERATION));
  glGetIntegerv(GL_PROGRAM_ERROR_POSITION_NV, &position);
  EXPECT_EQ(position, 26);
  load(GL_VERTEX_PROGRAM_NV, 3, state);  // a state program for the vertex program target
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_OPERATION));
  glGetIntegerv(GL_PROGRAM_ERROR_POSITION_NV, &position);
  EXPECT_EQ(position, 0);
  load(GL_VERTEX_PROGRAM_NV, 0, good);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_VALUE));
  load(GL_TEXTURE_2D, 4, good);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_ENUM));
  glLoadProgramNV(GL_VERTEX_PROGRAM_NV, 5, -1, nullptr);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_VALUE));

  EXPECT_EQ(recgl::LoadedPrograms(), (std::map<GLuint, std::string>{{1, good}, {9, state}}));
  std::vector<std::string> lines = recgl::CallLines();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "glLoadProgramNV(GL_VERTEX_PROGRAM_NV, 1, 30, 30)");
  EXPECT_EQ(lines[1], "glLoadProgramNV(GL_VERTEX_STATE_PROGRAM_NV, 9, 28, 28)");
  EXPECT_EQ(lines[6], "glLoadProgramNV(GL_VERTEX_PROGRAM_NV, 5, -1, null)");

  // The profile can make every load fail at a chosen position, even beyond the text.
  recgl::Profile p;
  p.rejectLoadAt = 1000;
  recgl::Reset(p);
  load(GL_VERTEX_PROGRAM_NV, 1, good);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_OPERATION));
  glGetIntegerv(GL_PROGRAM_ERROR_POSITION_NV, &position);
  EXPECT_EQ(position, 1000);
  EXPECT_TRUE(recgl::LoadedPrograms().empty());
}

}  // namespace
