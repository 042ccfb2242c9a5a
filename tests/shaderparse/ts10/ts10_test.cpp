// !!TS1.0 programs through shaderparse against the recording GL: scanning, grammar, the checks
// and the texture-environment calls of every stage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "glext/entry_points.h"
#include "shaderparse/ts10/ts10_inst.h"
#include "tests/support/shaderparse_helpers.h"

namespace {

using testsupport::Lines;
using testsupport::ParseMessages;
using testsupport::operator+;

using S = const std::string&;
std::string Active(int unit) {
    return "glActiveTextureARB(GL_TEXTURE" + std::to_string(unit) + "_ARB)";
}
std::string Env(S fn, S pname, S value) {
    return fn + "(GL_TEXTURE_SHADER_NV, " + pname + ", " + value + ")";
}
std::string Op(S operation) { return Env("glTexEnvi", "GL_SHADER_OPERATION_NV", operation); }
std::string Previous(int unit) {
    return Env("glTexEnvi", "GL_PREVIOUS_TEXTURE_INPUT_NV",
               "GL_TEXTURE" + std::to_string(unit) + "_ARB");
}
std::string Vector(S pname, S values) { return Env("glTexEnvfv", pname, "{" + values + "}"); }
Lines Stage(int unit, S operation) { return {Active(unit), Op(operation)}; }
Lines DotStage(int unit, S operation, bool expand = false) {
    return {Active(unit),
            Env("glTexEnvi", "GL_RGBA_UNSIGNED_DOT_PRODUCT_MAPPING_NV",
                expand ? "GL_EXPAND_NORMAL_NV" : "GL_UNSIGNED_IDENTITY_NV"),
            Op(operation), Previous(0)};
}
Lines Nops(int from) {
    Lines out;
    for (int unit = from; unit < 4; ++unit) out = out + Stage(unit, "GL_NONE");
    return out + Lines{Active(0)};
}
const Lines kTex2d = Stage(0, "GL_TEXTURE_2D");

class TS10Test : public ::testing::Test {
  protected:
    void SetUp() override {
        recgl::Profile profile;
        profile.extensions = "GL_ARB_multitexture GL_NV_texture_shader";
        recgl::Reset(profile);
    }
    // Parses "!!TS1.0" + body; returns the calls it made.
    Lines Parse(const std::string& body) {
        testsupport::ParseText("!!TS1.0" + body);
        return recgl::CallLines();
    }
};

TEST_F(TS10Test, SetUpOfEveryStageKind) {
    struct Case {
        const char* body;
        Lines calls;
    };
    const Case cases[] = {
        {"texture_2d();", kTex2d + Nops(1)},
        {"texture_2d();\ndot_product_2d_1of2(expand(tex0));\ndot_product_2d_2of2(expand(tex0));",
         kTex2d + DotStage(1, "GL_DOT_PRODUCT_NV", true) +
             DotStage(2, "GL_DOT_PRODUCT_TEXTURE_2D_NV", true) + Nops(3)},
        // The last stage of the 3D group names the 3D dot-product texture.
        {"texture_2d(); dot_product_3d_1of3(tex0); dot_product_3d_2of3(tex0); "
         "dot_product_3d_3of3(expand(tex0));",
         kTex2d + DotStage(1, "GL_DOT_PRODUCT_NV") + DotStage(2, "GL_DOT_PRODUCT_NV") +
             DotStage(3, "GL_DOT_PRODUCT_TEXTURE_3D_NV", true) + Lines{Active(0)}},
        // The const-eye vector comes from the group's first statement.
        {"texture_2d(); dot_product_reflect_cube_map_const_eye_1of3(tex0, 1, 2, 3);"
         "dot_product_reflect_cube_map_const_eye_2of3(tex0); "
         "dot_product_reflect_cube_map_const_eye_3of3(tex0);",
         kTex2d + DotStage(1, "GL_DOT_PRODUCT_NV") + DotStage(2, "GL_DOT_PRODUCT_NV") +
             DotStage(3, "GL_DOT_PRODUCT_CONST_EYE_REFLECT_CUBE_MAP_NV") +
             Lines{Vector("GL_CONST_EYE_NV", "1, 2, 3"), Active(0)}},
        // The diffuse group's middle stage looks up the diffuse cube map.
        {"texture_2d(); dot_product_cube_map_and_reflect_cube_map_const_eye_1of3(tex0, -1, .5, 0);"
         "dot_product_cube_map_and_reflect_cube_map_const_eye_2of3(tex0);"
         "dot_product_cube_map_and_reflect_cube_map_const_eye_3of3(tex0);",
         kTex2d + DotStage(1, "GL_DOT_PRODUCT_NV") +
             DotStage(2, "GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV") +
             DotStage(3, "GL_DOT_PRODUCT_CONST_EYE_REFLECT_CUBE_MAP_NV") +
             Lines{Vector("GL_CONST_EYE_NV", "-1, 0.5, 0"), Active(0)}},
        // Water: a ripple map perturbs the lookup of the scene texture.
        {"texture_2d();\noffset_2d(tex0, 0.08, 0.0, 0.0, 0.08);\nnop();\nnop();\n",
         kTex2d + Stage(1, "GL_OFFSET_TEXTURE_2D_NV") +
             Lines{Previous(0), Vector("GL_OFFSET_TEXTURE_MATRIX_NV", "0.08, 0, 0, 0.08")} +
             Nops(2)},
        // Bump-mapped environment mapping, with comments.
        {"# bumpy shiny surface\ntexture_2d();  // normal map\n"
         "dot_product_reflect_cube_map_eye_from_qs_1of3(expand(tex0));\n"
         "dot_product_reflect_cube_map_eye_from_qs_2of3(expand(tex0));\n"
         "dot_product_reflect_cube_map_eye_from_qs_3of3(expand(tex0));\n",
         kTex2d + DotStage(1, "GL_DOT_PRODUCT_NV", true) + DotStage(2, "GL_DOT_PRODUCT_NV", true) +
             DotStage(3, "GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV", true) + Lines{Active(0)}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Parse(c.body), c.calls) << c.body;
        EXPECT_EQ(ParseMessages(), Lines{}) << c.body;
    }
}

TEST_F(TS10Test, FiveStatementsStoreTheirArguments) {
    EXPECT_EQ(
        Parse("cull_fragment(GEQUAL_TO_ZERO, LESS_THAN_ZERO, LESS_THAN_ZERO, GEQUAL_TO_ZERO);"
              "offset_2d_scale(tex0, 1., -.5, +2, 0.25, 4, -1);"
              "offset_rectangle(tex0, 1, 0, 0, 1); dependent_gb(tex1); pass_through();"),
        (Stage(0, "GL_CULL_FRAGMENT_NV") + Lines{Vector("GL_CULL_MODES_NV", "518, 513, 513, 518")} +
         Stage(1, "GL_OFFSET_TEXTURE_2D_SCALE_NV") +
         Lines{Previous(0), Vector("GL_OFFSET_TEXTURE_MATRIX_NV", "1, -0.5, 2, 0.25"),
               Env("glTexEnvf", "GL_OFFSET_TEXTURE_SCALE_NV", "4"),
               Env("glTexEnvf", "GL_OFFSET_TEXTURE_BIAS_NV", "-1")} +
         Stage(2, "GL_OFFSET_TEXTURE_RECTANGLE_NV") +
         Lines{Previous(0), Vector("GL_OFFSET_TEXTURE_MATRIX_NV", "1, 0, 0, 1")} +
         Stage(3, "GL_DEPENDENT_GB_TEXTURE_2D_NV") + Lines{Previous(1)} +
         Stage(4, "GL_PASS_THROUGH_NV") + Lines{Active(0)}));
    // Five statements: reported, not padded. Two stages read the cull stage, which has no output.
    EXPECT_EQ(ParseMessages(), (Lines{"too many instructions", "no output on referenced texture",
                                      "no output on referenced texture"}));
}

TEST_F(TS10Test, ValidationMessages) {
    struct Case {
        const char* body;
        Lines messages;
        bool zeroEye = false;
    };
    const Case cases[] = {
        // Without its group's first statement the const-eye stage sets the vector 0, 0, 0, also
        // when another statement stands in that place.
        {"dot_product_reflect_cube_map_const_eye_3of3(tex0);",
         {"prior stage missing", "invalid texture reference"},
         true},
        {"texture_2d(); offset_2d(tex0, 7, 8, 9, 1); texture_2d(); "
         "dot_product_reflect_cube_map_const_eye_3of3(tex0);",
         {"stage mismatch"},
         true},
        {"texture_2d(); dot_product_2d_1of2(tex0); dot_product_rectangle_2of2(tex0);",
         {"stage mismatch"}},
        {"nop(); dependent_ar(tex0);", {"no output on referenced texture"}},
        {"cull_fragment(LESS_THAN_ZERO, LESS_THAN_ZERO, LESS_THAN_ZERO, LESS_THAN_ZERO); "
         "dependent_ar(tex0);",
         {"no output on referenced texture"}},
        {"texture_2d(); dependent_gb(tex1);", {"invalid texture reference"}},
        {"texture_2d(); dot_product_3d_1of3(tex0); dot_product_3d_2of3(tex0); dependent_ar(tex2);",
         {"no output on referenced texture"}},
        // The middle stage of a cube-map-and-reflect group has an output.
        {"texture_2d(); dot_product_cube_map_and_reflect_cube_map_eye_from_qs_1of3(tex0);"
         "dot_product_cube_map_and_reflect_cube_map_eye_from_qs_2of3(tex0); dependent_ar(tex2);",
         {}},
    };
    for (const Case& c : cases) {
        const Lines calls = Parse(c.body);
        EXPECT_FALSE(calls.empty()) << c.body;  // set up whatever was reported
        EXPECT_EQ(std::count(calls.begin(), calls.end(), Vector("GL_CONST_EYE_NV", "0, 0, 0")),
                  c.zeroEye ? 1 : 0);
        EXPECT_EQ(ParseMessages(), c.messages) << c.body;
    }
}

TEST_F(TS10Test, SyntaxErrorsBeforeAndAfterACompleteListAndACleanStart) {
    for (const char* body :
         {"", "  // only a comment\n", "texture_2d()", "dependent_ar(expand(tex0));",
          "texture_2d(); offset_2d(tex0, 1, 0, 0);", "dot_product_2d_1of2(tex0 tex1);"}) {
        EXPECT_EQ(Parse(body), Lines{}) << body;
        EXPECT_EQ(ParseMessages(), Lines{"unrecognized token"}) << body;
    }
    // The second ";" completes the list, which is set up before the error is reported.
    EXPECT_EQ(Parse("texture_2d();;"), kTex2d + Nops(1));
    EXPECT_EQ(ParseMessages(), Lines{"unrecognized token"});
    // Read-ahead of a failed parse and a pending end of text must not leak into the next one.
    Parse("nop() texture_3d(); texture_1d();");
    EXPECT_EQ(Parse("texture_cube_map();"), Stage(0, "GL_TEXTURE_CUBE_MAP_ARB") + Nops(1));
    Parse("/* never closed");
    EXPECT_EQ(Parse("texture_rectangle(); /* x */ texture_1d();"),
              Stage(0, "GL_TEXTURE_RECTANGLE_NV") + Stage(1, "GL_TEXTURE_1D") + Nops(2));
    EXPECT_EQ(ParseMessages(), Lines{});
}

TEST_F(TS10Test, UnknownWordsCommentsLineEndsAndOtherBytes) {
    EXPECT_EQ(Parse("\ntexture_2d() \r\n bogus\r\n;\ntex3 Tex0 _x 12abc"), kTex2d + Nops(1));
    const std::string line5 = "error on line 5: unrecognized token";
    EXPECT_EQ(ParseMessages(),
              (Lines{"error on line 3: unrecognized token", line5, line5, line5, line5}));

    testing::internal::CaptureStdout();
    // 1e3 is the number 1 and the word e3; "- 5" is a sign (copied to the output) and 5.
    const Lines calls = Parse(
        "/* a\n*\n*/ offset_2d(tex0, - 5, 1e3,\r2, 3);\r\r\n# note\n"
        "texture_2d() bad; // last line without a line feed");
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "-\r");
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[3], Vector("GL_OFFSET_TEXTURE_MATRIX_NV", "5, 1, 2, 3"));
    EXPECT_EQ(ParseMessages(),
              (Lines{"error on line 3: unrecognized token", line5, "invalid texture reference"}));

    EXPECT_EQ(Parse("texture_2d();\n/* open\n\n"), kTex2d + Nops(1));
    EXPECT_EQ(ParseMessages(), Lines{"error on line 4: end-of-file in comment"});
    EXPECT_EQ(Parse("texture_2d()\n/* open"), Lines{});
    EXPECT_EQ(ParseMessages(),
              (Lines{"error on line 2: end-of-file in comment", "unrecognized token"}));
}

// Lets growthsLeft growths of the statement list succeed, then fails.
int growthsLeft = 0;
void* LimitedMemory(void* block, size_t bytes) {
    return growthsLeft-- > 0 ? std::realloc(block, bytes) : nullptr;
}

TEST_F(TS10Test, MissingEntryPointOrMemorySetsNothingUp) {
    Parse("texture_2d();");  // loads the extensions
    const auto slot = glext::glActiveTextureARB;
    glext::glActiveTextureARB = nullptr;
    EXPECT_EQ(Parse("texture_2d();"), Lines{});
    glext::glActiveTextureARB = slot;
    EXPECT_EQ(ParseMessages(),
              Lines{"texture shader stages not set up: glActiveTextureARB is not loaded"});

    // The list starts with four places and doubles; memory may run out at any growth.
    const auto previous = TS10InstList::reallocate;
    TS10InstList::reallocate = LimitedMemory;
    for (int growths : {0, 1}) {
        growthsLeft = growths;
        EXPECT_EQ(Parse("nop(); nop(); nop(); nop(); texture_2d();"), Lines{}) << growths;
        EXPECT_EQ(ParseMessages(), Lines{"out of memory while reading the texture shader program"})
            << growths;
    }
    // Three growths (4, 8, 16 places) hold sixteen statements.
    growthsLeft = 3;
    std::string sixteen;
    for (int i = 0; i < 16; ++i) sixteen += "nop();";
    Parse(sixteen);
    EXPECT_EQ(ParseMessages(), Lines{"too many instructions"});
    TS10InstList::reallocate = previous;
}

}  // namespace
