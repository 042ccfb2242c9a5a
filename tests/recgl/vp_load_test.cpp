// glLoadProgramNV of the recording GL: errors, error positions and the programs it keeps.
#define GL_GLEXT_PROTOTYPES 1
#include "recgl/recording_gl.h"

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <map>
#include <string>
#include <vector>

namespace {

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
