// Vertex program loading (error excerpts) and the !!VCP1.0 statements.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "glext/extensions.h"
#include "shaderparse/parse_state.h"
#include "shaderparse/vertex_program_loader.h"
#include "tests/shaderparse/core/test_profile.h"

namespace {

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        recgl::Reset(ShaderTestProfile());
        ASSERT_TRUE(CheckAndLoadExtensions("GL_NV_vertex_program"));
        parseErrors.Clear();
        recgl::ClearCalls();
    }
    // Loads text with GL rejecting it at position p; returns the one message.
    std::string RejectAt(long p, const std::string& text) {
        parseErrors.Clear();
        recgl::CurrentProfile().rejectLoadAt = p;
        LoadVertexProgramText(GL_VERTEX_PROGRAM_NV, 1, text.c_str());
        EXPECT_EQ(1, parseErrors.Count());
        return parseErrors.Count() > 0 ? parseErrors.Messages()[0] : "";
    }
    std::vector<std::string> Messages() const {
        return std::vector<std::string>(parseErrors.Messages(),
                                        parseErrors.Messages() + parseErrors.Count());
    }
};

std::string Marks(size_t blanks) {
    const std::string indent(blanks, ' ');
    return indent + "|\n" + indent + "^\n";
}

TEST_F(LoaderTest, AcceptedLoadAddsNothing) {
    LoadVertexProgramText(GL_VERTEX_PROGRAM_NV, 4, "!!VP1.0\nMOV o[HPOS], v[OPOS];\nEND\n");
    EXPECT_EQ(0, parseErrors.Count());
    EXPECT_EQ(1u, recgl::LoadedPrograms().count(4));
}

TEST_F(LoaderTest, ExcerptAroundTheErrorPosition) {
    EXPECT_EQ("error at line 1 character 1\n\"!!VP1.0 MOV R0, v[0];\"\n" + Marks(0),
              RejectAt(0, "!!VP1.0 MOV R0, v[0]; END"));

    // 80 characters after the last ';': the excerpt starts 30 before the position.
    std::string text = "A;";
    while (text.size() < 102) text += "abcdefghij";
    text.resize(102);
    text += ";END";
    EXPECT_EQ("error at line 1 character 82\n\"" + text.substr(51, 52) + "\"\n" + Marks(30),
              RejectAt(81, text));

    // On a ';': the excerpt begins with the previous statement's ';'.
    const std::string two = "!!VP1.0\nMOV R0, v[0];\nMOV R1, v[1];\nEND";
    EXPECT_EQ("error at line 3 character 13\n\";\nMOV R1, v[1];\"\n" + Marks(14),
              RejectAt(two.rfind(';'), two));

    // Inside a statement: the excerpt starts after the ';' and its line end.
    const std::string bad = "!!VP1.0\nMOV R0, v[0];\nMOV R1, v[9x];\nEND";
    EXPECT_EQ("error at line 3 character 12\n\"MOV R1, v[9x];\"\n" + Marks(11),
              RejectAt(bad.find('x'), bad));
}

TEST_F(LoaderTest, PositionsOutsideTheTextStayInsideIt) {
    const std::string text = "!!VP1.0\nMOV R0, v[0];\nMOV o[HPOS], R0";  // 37 characters
    const std::string atEnd = "error at line 3 character 16\n\"" + text.substr(7) + "\"\n" + Marks(30);
    EXPECT_EQ(atEnd, RejectAt(37, text));
    EXPECT_EQ(atEnd, RejectAt(5000, text));
    EXPECT_EQ("error at line 1 character 1\n\"\"\n" + Marks(0), RejectAt(3, ""));

    // A stale error read after an accepted load leaves position -1: shown as the start.
    parseErrors.Clear();
    recgl::CurrentProfile().rejectLoadAt = -1;
    recgl::SetPendingError(GL_INVALID_OPERATION);
    LoadVertexProgramText(GL_VERTEX_PROGRAM_NV, 1, "!!VP1.0\nMOV o[HPOS], v[0];\nEND");
    EXPECT_EQ(std::vector<std::string>{"error at line 1 character 1\n\"!!VP1.0\nMOV o[HPOS], "
                                       "v[0];\"\n" + Marks(0)},
              Messages());
}

class ConstantProgramTest : public LoaderTest {
protected:
    void Run(const std::string& body) {
        LoadVertexConstantProgram(GL_VERTEX_PROGRAM_NV, ("!!VCP1.0\n" + body).c_str());
    }
};

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Report(int line, const std::string& statement, const std::string& reason = "") {
    return "error at line " + std::to_string(line) + " \n\"" + statement + "\"\n" + reason;
}

TEST_F(ConstantProgramTest, ConstantStatements) {
    Run("C[ 5 ] = ( 1.5 , -2 , 3e1 , 4 ) ;\n"
        "  c[95]=(0,0,0,1); trailing words\n"
        "c[96] = (1, 2, 3, 4);\n"
        "c[-1] = (1, 2, 3, 4);\n"
        "c[1] = (1, 2, 3);\n"
        "c[x] = (1, 2, 3, 4);\n");
    EXPECT_EQ((std::vector<std::string>{
                  "glTrackMatrixNV(GL_VERTEX_PROGRAM_NV, 4, GL_NONE, GL_IDENTITY_NV)",
                  "glProgramParameter4fvNV(GL_VERTEX_PROGRAM_NV, 5, {1.5, -2, 30, 4})",
                  "glTrackMatrixNV(GL_VERTEX_PROGRAM_NV, 92, GL_NONE, GL_IDENTITY_NV)",
                  "glProgramParameter4fvNV(GL_VERTEX_PROGRAM_NV, 95, {0, 0, 0, 1})"}),
              recgl::CallLines());
    EXPECT_EQ((std::vector<std::string>{
                  Report(4, "c[96] = (1, 2, 3, 4);", "\tConstant address out of range\n"),
                  Report(5, "c[-1] = (1, 2, 3, 4);", "\tConstant address out of range\n"),
                  Report(6, "c[1] = (1, 2, 3);"),
                  Report(7, "c[x] = (1, 2, 3, 4);")}),
              Messages());
}

TEST_F(ConstantProgramTest, IgnoredLinesAndLineCounting) {
    Run("# c[0] = (1, 2, 3, 4);\n   \t\n\n\nEND\nc [0] = (1, 2, 3, 4);\nc[96] = (1,2,3,4);\r\n");
    EXPECT_TRUE(recgl::Calls().empty());
    // Empty lines are not counted, a line of blanks is: the statement is on line 6.
    EXPECT_EQ(std::vector<std::string>{Report(6, "c[96] = (1,2,3,4);\r",
                                              "\tConstant address out of range\n")},
              Messages());
}

TEST_F(ConstantProgramTest, TrackStatements) {
    Run("c[4] = track(GL_MODELVIEW, GL_IDENTITY_NV);\n"
        "c[8]=TRACK(GL_MATRIX7_NV,GL_INVERSE_TRANSPOSE_NV);\n"
        "c[12] = track(GL_NONE, GL_TRANSPOSE_NV);\n"
        "c[5] = track(GL_MODELVIEW, GL_IDENTITY_NV);\n"
        "c[96] = track(GL_MODELVIEW, GL_IDENTITY_NV);\n"
        "c[0] = track(GL_MODELVIEWS, GL_IDENTITY_NV);\n"
        "c[0] = track(GL_MODELVIEW, GL_INVERSE);\n"
        "c[0] = track(GL_MODELVIEW);\n"
        "c[0] = track GL_MODELVIEW;\n");
    EXPECT_EQ((std::vector<std::string>{
                  "glTrackMatrixNV(GL_VERTEX_PROGRAM_NV, 4, GL_NONE, GL_IDENTITY_NV)",
                  "glTrackMatrixNV(GL_VERTEX_PROGRAM_NV, 4, GL_MODELVIEW, GL_IDENTITY_NV)",
                  "glTrackMatrixNV(GL_VERTEX_PROGRAM_NV, 8, GL_NONE, GL_IDENTITY_NV)",
                  "glTrackMatrixNV(GL_VERTEX_PROGRAM_NV, 8, GL_MATRIX7_NV, "
                  "GL_INVERSE_TRANSPOSE_NV)",
                  "glTrackMatrixNV(GL_VERTEX_PROGRAM_NV, 12, GL_NONE, GL_IDENTITY_NV)",
                  "glTrackMatrixNV(GL_VERTEX_PROGRAM_NV, 12, GL_NONE, GL_TRANSPOSE_NV)"}),
              recgl::CallLines());
    EXPECT_EQ((std::vector<std::string>{
                  Report(5, "c[5] = track(GL_MODELVIEW, GL_IDENTITY_NV);",
                         "\tglTrackMatrixNV address must be modulo 4\n"),
                  Report(6, "c[96] = track(GL_MODELVIEW, GL_IDENTITY_NV);",
                         "\tConstant address out of range\n"),
                  Report(7, "c[0] = track(GL_MODELVIEWS, GL_IDENTITY_NV);",
                         "\tInvalid Matrix parameter in glTrackMatrixNV.\n"),
                  Report(8, "c[0] = track(GL_MODELVIEW, GL_INVERSE);",
                         "\tInvalid Transform parameter in glTrackMatrixNV\n"),
                  Report(9, "c[0] = track(GL_MODELVIEW);"),
                  Report(10, "c[0] = track GL_MODELVIEW;")}),
              Messages());
}

TEST_F(ConstantProgramTest, OverlongStatementsAndNamesAreCut) {
    const std::string longName(400, 'M');
    Run("c[0] = track(" + longName + ", GL_IDENTITY_NV);\n" +
        "c[96] = (1, 2, 3, 4); #" + std::string(400, 'x') + "\n");
    std::vector<std::string> messages = Messages();
    ASSERT_EQ(2u, messages.size());
    for (const std::string& m : messages) EXPECT_EQ(255u, m.size()) << m;
    EXPECT_EQ(0u, messages[0].rfind("error at line 2 \n\"c[0] = track(MMM", 0));
    EXPECT_TRUE(EndsWith(messages[0], "MM\"\n\tInvalid Matrix parameter in glTrackMatrixNV.\n"));
    EXPECT_TRUE(EndsWith(messages[1], "xx\"\n\tConstant address out of range\n"));
    EXPECT_TRUE(recgl::Calls().empty());
}

}  // namespace
