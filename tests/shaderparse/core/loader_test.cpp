// Vertex program loading (error excerpts) and the !!VCP1.0 statements.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "glext/extensions.h"
#include "shaderparse/parse_state.h"
#include "shaderparse/vertex_program_loader.h"
#include "tests/shaderparse/core/test_profile.h"

namespace {

using Lines = std::vector<std::string>;

class LoaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        recgl::Reset(ShaderTestProfile());
        ASSERT_TRUE(CheckAndLoadExtensions("GL_NV_vertex_program"));
        parseErrors.Clear();
        recgl::ClearCalls();
    }
    // Loads text with GL rejecting it at position p (-1: accepting it); returns the messages.
    Lines Load(long p, const std::string& text) {
        parseErrors.Clear();
        recgl::CurrentProfile().rejectLoadAt = p;
        LoadVertexProgramText(GL_VERTEX_PROGRAM_NV, 1, text.c_str());
        return Messages();
    }
    static Lines Messages() {
        return Lines(parseErrors.Messages(), parseErrors.Messages() + parseErrors.Count());
    }
    // Runs a !!VCP1.0 program of the given statements.
    static void Run(const std::string& body) {
        LoadVertexConstantProgram(GL_VERTEX_PROGRAM_NV, ("!!VCP1.0\n" + body).c_str());
    }
};

// The load report: position, excerpt, and the marks under the excerpt's last character.
Lines Excerpt(int line, int character, const std::string& excerpt, size_t blanks) {
    const std::string indent(blanks, ' ');
    return {"error at line " + std::to_string(line) + " character " + std::to_string(character) +
            "\n\"" + excerpt + "\"\n" + indent + "|\n" + indent + "^\n"};
}

TEST_F(LoaderTest, ExcerptAroundTheErrorPositionStaysInsideTheText) {
    EXPECT_EQ(Load(-1, "!!VP1.0\nMOV o[HPOS], v[OPOS];\nEND\n"), Lines{});
    EXPECT_EQ(1u, recgl::LoadedPrograms().count(1));
    // 80 characters after the last ';': the excerpt starts 30 before the position.
    std::string text = "A;";
    while (text.size() < 102) text += "abcdefghij";
    text.resize(102);
    text += ";END";
    const std::string two = "!!VP1.0\nMOV R0, v[0];\nMOV R1, v[1];\nEND",
                      bad = "!!VP1.0\nMOV R0, v[0];\nMOV R1, v[9x];\nEND",
                      open = "!!VP1.0\nMOV R0, v[0];\nMOV o[HPOS], R0";  // 37 characters
    struct Case {
        long p;
        std::string text;
        Lines excerpt;
    };
    const Case cases[] = {
        {0, "!!VP1.0 MOV R0, v[0]; END", Excerpt(1, 1, "!!VP1.0 MOV R0, v[0];", 0)},
        {81, text, Excerpt(1, 82, text.substr(51, 52), 30)},
        // On a ';': the excerpt begins with the previous statement's ';'.
        {long(two.rfind(';')), two, Excerpt(3, 13, ";\nMOV R1, v[1];", 14)},
        // Inside a statement: the excerpt starts after the ';' and its line end.
        {long(bad.find('x')), bad, Excerpt(3, 12, "MOV R1, v[9x];", 11)},
        // At the end (no END, no o[HPOS] write) and beyond it, taken as the end: the last
        // statement, from after the last ';' up to the end of the text.
        {37, open, Excerpt(3, 16, "MOV o[HPOS], R0", 15)},
        {5000, open, Excerpt(3, 16, "MOV o[HPOS], R0", 15)},
        {38, two.substr(0, 38), Excerpt(4, 3, "EN", 2)},
        {36, two.substr(0, 36), Excerpt(4, 1, "", 0)},
        // Ending with a ';', the end is next to it: from the previous statement's ';'.
        {35, two.substr(0, 35), Excerpt(3, 14, ";\nMOV R1, v[1];", 15)},
        // A last statement longer than 30 characters: 30 characters before the end.
        {102, text.substr(0, 102), Excerpt(1, 103, text.substr(72, 30), 30)},
        {3, "", Excerpt(1, 1, "", 0)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.excerpt, Load(c.p, c.text)) << c.text;
    // A stale error read after an accepted load leaves position -1: shown as the start.
    recgl::SetPendingError(GL_INVALID_OPERATION);
    EXPECT_EQ(Excerpt(1, 1, "!!VP1.0\nMOV o[HPOS], v[0];", 0),
              Load(-1, "!!VP1.0\nMOV o[HPOS], v[0];\nEND"));
}

std::string Report(int line, const std::string& statement, const std::string& reason = "") {
    return "error at line " + std::to_string(line) + " \n\"" + statement + "\"\n" + reason;
}
const std::string kRange = "\tConstant address out of range\n";

TEST_F(LoaderTest, ConstantStatementsAndLineCounting) {
    Run("C[ 5 ] = ( 1.5 , -2 , 3e1 , 4 ) ;\n  c[95]=(0,0,0,1); trailing words\nc[96] = (1, 2, 3, "
        "4);\n"
        "c[-1] = (1, 2, 3, 4);\nc[1] = (1, 2, 3);\nc[x] = (1, 2, 3, 4);\n");
    EXPECT_EQ((Lines{"glTrackMatrixNV(GL_VERTEX_PROGRAM_NV, 4, GL_NONE, GL_IDENTITY_NV)",
                     "glProgramParameter4fvNV(GL_VERTEX_PROGRAM_NV, 5, {1.5, -2, 30, 4})",
                     "glTrackMatrixNV(GL_VERTEX_PROGRAM_NV, 92, GL_NONE, GL_IDENTITY_NV)",
                     "glProgramParameter4fvNV(GL_VERTEX_PROGRAM_NV, 95, {0, 0, 0, 1})"}),
              recgl::CallLines());
    EXPECT_EQ((Lines{Report(4, "c[96] = (1, 2, 3, 4);", kRange),
                     Report(5, "c[-1] = (1, 2, 3, 4);", kRange), Report(6, "c[1] = (1, 2, 3);"),
                     Report(7, "c[x] = (1, 2, 3, 4);")}),
              Messages());

    // Empty lines are not counted, a line of blanks is: the statement is on line 6.
    parseErrors.Clear();
    recgl::ClearCalls();
    Run("# c[0] = (1, 2, 3, 4);\n   \t\n\n\nEND\nc [0] = (1, 2, 3, 4);\nc[96] = (1,2,3,4);\r\n");
    EXPECT_TRUE(recgl::Calls().empty());
    EXPECT_EQ(Lines{Report(6, "c[96] = (1,2,3,4);\r", kRange)}, Messages());
}

TEST_F(LoaderTest, TrackStatements) {
    Run("c[4] = track(GL_MODELVIEW, "
        "GL_IDENTITY_NV);\nc[8]=TRACK(GL_MATRIX7_NV,GL_INVERSE_TRANSPOSE_NV);\n"
        "c[12] = track(GL_NONE, GL_TRANSPOSE_NV);\nc[5] = track(GL_MODELVIEW, GL_IDENTITY_NV);\n"
        "c[96] = track(GL_MODELVIEW, GL_IDENTITY_NV);\nc[0] = track(GL_MODELVIEWS, "
        "GL_IDENTITY_NV);\n"
        "c[0] = track(GL_MODELVIEW, GL_INVERSE);\nc[0] = track(GL_MODELVIEW);\nc[0] = track "
        "GL_MODELVIEW;\n");
    const std::string track = "glTrackMatrixNV(GL_VERTEX_PROGRAM_NV, ";
    EXPECT_EQ(
        (Lines{track + "4, GL_NONE, GL_IDENTITY_NV)", track + "4, GL_MODELVIEW, GL_IDENTITY_NV)",
               track + "8, GL_NONE, GL_IDENTITY_NV)",
               track + "8, GL_MATRIX7_NV, GL_INVERSE_TRANSPOSE_NV)",
               track + "12, GL_NONE, GL_IDENTITY_NV)", track + "12, GL_NONE, GL_TRANSPOSE_NV)"}),
        recgl::CallLines());
    EXPECT_EQ(
        (Lines{Report(5, "c[5] = track(GL_MODELVIEW, GL_IDENTITY_NV);",
                      "\tglTrackMatrixNV address must be modulo 4\n"),
               Report(6, "c[96] = track(GL_MODELVIEW, GL_IDENTITY_NV);", kRange),
               Report(7, "c[0] = track(GL_MODELVIEWS, GL_IDENTITY_NV);",
                      "\tInvalid Matrix parameter in glTrackMatrixNV.\n"),
               Report(8, "c[0] = track(GL_MODELVIEW, GL_INVERSE);",
                      "\tInvalid Transform parameter in glTrackMatrixNV\n"),
               Report(9, "c[0] = track(GL_MODELVIEW);"), Report(10, "c[0] = track GL_MODELVIEW;")}),
        Messages());

    // Overlong statements and names are cut, never overrun.
    parseErrors.Clear();
    recgl::ClearCalls();
    Run("c[0] = track(" + std::string(400, 'M') + ", GL_IDENTITY_NV);\nc[96] = (1, 2, 3, 4); #" +
        std::string(400, 'x') + "\n");
    const Lines messages = Messages();
    ASSERT_EQ(2u, messages.size());
    for (const std::string& m : messages) EXPECT_EQ(255u, m.size()) << m;
    EXPECT_EQ(0u, messages[0].rfind("error at line 2 \n\"c[0] = track(MMM", 0));
    const std::string matrixEnd = "MM\"\n\tInvalid Matrix parameter in glTrackMatrixNV.\n",
                      rangeEnd = "xx\"\n" + kRange;
    EXPECT_EQ(messages[0].substr(255 - matrixEnd.size()), matrixEnd);
    EXPECT_EQ(messages[1].substr(255 - rangeEnd.size()), rangeEnd);
    EXPECT_TRUE(recgl::Calls().empty());
}

}  // namespace
