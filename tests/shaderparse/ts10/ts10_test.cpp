// !!TS1.0 programs through shaderparse against the recording GL: scanning, grammar, the checks
// and the texture-environment calls of every stage.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <string>
#include <vector>

#include "glext/entry_points.h"
#include "recgl/recording_gl.h"
#include "shaderparse/parse_state.h"
#include "shaderparse/shaderparse.h"
#include "shaderparse/ts10/ts10.h"
#include "shaderparse/ts10/ts10_inst.h"

namespace {

using Lines = std::vector<std::string>;

// Calls in a form of our own (numbers in hex, floats with %g), independent of the trace format.
std::string Describe(const recgl::Call& call) {
    std::string out = call.name + "(";
    char buffer[32];
    for (size_t i = 0; i < call.args.size(); ++i) {
        const recgl::Arg& arg = call.args[i];
        if (i > 0) out += ", ";
        if (arg.kind == recgl::ArgKind::Floats) {
            out += "{";
            for (size_t k = 0; k < arg.values.size(); ++k) {
                std::snprintf(buffer, sizeof buffer, "%s%g", k ? ", " : "", arg.values[k]);
                out += buffer;
            }
            out += "}";
            continue;
        }
        if (arg.kind == recgl::ArgKind::Float) std::snprintf(buffer, sizeof buffer, "%g", arg.real);
        else std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(arg.integer));
        out += buffer;
    }
    return out + ")";
}

std::string Hex(long v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%lx", v);
    return buffer;
}
std::string Active(int unit) { return "glActiveTextureARB(" + Hex(GL_TEXTURE0_ARB + unit) + ")"; }
std::string Envi(GLenum pname, long value) {
    return "glTexEnvi(" + Hex(GL_TEXTURE_SHADER_NV) + ", " + Hex(pname) + ", " + Hex(value) + ")";
}
std::string Envf(GLenum pname, const std::string& value) {
    return "glTexEnvf(" + Hex(GL_TEXTURE_SHADER_NV) + ", " + Hex(pname) + ", " + value + ")";
}
std::string Envfv(GLenum pname, const std::string& values) {
    return "glTexEnvfv(" + Hex(GL_TEXTURE_SHADER_NV) + ", " + Hex(pname) + ", {" + values + "})";
}
std::string Op(GLenum operation) { return Envi(GL_SHADER_OPERATION_NV, operation); }
std::string Previous(int unit) { return Envi(GL_PREVIOUS_TEXTURE_INPUT_NV, GL_TEXTURE0_ARB + unit); }
std::string Mapping(bool expand) {
    return Envi(GL_RGBA_UNSIGNED_DOT_PRODUCT_MAPPING_NV, expand ? GL_EXPAND_NORMAL_NV : GL_UNSIGNED_IDENTITY_NV);
}
Lines DotStage(int unit, GLenum operation, int previous, bool expand) {
    return {Active(unit), Mapping(expand), Op(operation), Previous(previous)};
}
Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Lines Nops(int from) {
    Lines out;
    for (int unit = from; unit < 4; ++unit) out = out + Lines{Active(unit), Op(GL_NONE)};
    return out + Lines{Active(0)};
}

class TS10Test : public ::testing::Test {
protected:
    void SetUp() override {
        recgl::Profile profile;
        profile.extensions = "GL_ARB_multitexture GL_NV_texture_shader";
        recgl::Reset(profile);
    }

    // Parses "!!TS1.0" + body; returns the calls it made.
    Lines Parse(const std::string& body) {
        recgl::ClearCalls();
        shaderparse(("!!TS1.0" + body).c_str());
        Lines calls;
        for (const recgl::Call& call : recgl::Calls()) calls.push_back(Describe(call));
        return calls;
    }

    static Lines Messages() {
        Lines out;
        for (char** m = shaderparse_error_messages(); *m != nullptr; ++m) out.emplace_back(*m);
        return out;
    }
};

TEST_F(TS10Test, Texture2DAloneIsPaddedWithNops) {
    EXPECT_EQ(Parse("texture_2d();"), (Lines{Active(0), Op(GL_TEXTURE_2D)} + Nops(1)));
    EXPECT_EQ(Messages(), Lines{});
}

TEST_F(TS10Test, DotProductGroupsWithExpand) {
    EXPECT_EQ(Parse("texture_2d();\ndot_product_2d_1of2(expand(tex0));\ndot_product_2d_2of2(expand(tex0));"),
              (Lines{Active(0), Op(GL_TEXTURE_2D)} + DotStage(1, GL_DOT_PRODUCT_NV, 0, true) +
               DotStage(2, GL_DOT_PRODUCT_TEXTURE_2D_NV, 0, true) + Nops(3)));
    EXPECT_EQ(Messages(), Lines{});

    // The last stage of the 3D group names the 3D dot-product texture.
    EXPECT_EQ(Parse("texture_2d(); dot_product_3d_1of3(tex0); dot_product_3d_2of3(tex0); "
                    "dot_product_3d_3of3(expand(tex0));"),
              (Lines{Active(0), Op(GL_TEXTURE_2D)} + DotStage(1, GL_DOT_PRODUCT_NV, 0, false) +
               DotStage(2, GL_DOT_PRODUCT_NV, 0, false) + DotStage(3, GL_DOT_PRODUCT_TEXTURE_3D_NV, 0, true) +
               Lines{Active(0)}));
    EXPECT_EQ(Messages(), Lines{});
}

TEST_F(TS10Test, ConstEyeVectorComesFromTheGroupsFirstStatement) {
    const Lines head = {Active(0), Op(GL_TEXTURE_2D)};
    EXPECT_EQ(Parse("texture_2d(); dot_product_reflect_cube_map_const_eye_1of3(tex0, 1, 2, 3);"
                    "dot_product_reflect_cube_map_const_eye_2of3(tex0); dot_product_reflect_cube_map_const_eye_3of3(tex0);"),
              (head + DotStage(1, GL_DOT_PRODUCT_NV, 0, false) + DotStage(2, GL_DOT_PRODUCT_NV, 0, false) +
               DotStage(3, GL_DOT_PRODUCT_CONST_EYE_REFLECT_CUBE_MAP_NV, 0, false) +
               Lines{Envfv(GL_CONST_EYE_NV, "1, 2, 3"), Active(0)}));
    EXPECT_EQ(Messages(), Lines{});

    // The diffuse group's middle stage looks up the diffuse cube map.
    EXPECT_EQ(Parse("texture_2d(); dot_product_cube_map_and_reflect_cube_map_const_eye_1of3(tex0, -1, .5, 0);"
                    "dot_product_cube_map_and_reflect_cube_map_const_eye_2of3(tex0);"
                    "dot_product_cube_map_and_reflect_cube_map_const_eye_3of3(tex0);"),
              (head + DotStage(1, GL_DOT_PRODUCT_NV, 0, false) + DotStage(2, GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV, 0, false) +
               DotStage(3, GL_DOT_PRODUCT_CONST_EYE_REFLECT_CUBE_MAP_NV, 0, false) +
               Lines{Envfv(GL_CONST_EYE_NV, "-1, 0.5, 0"), Active(0)}));

    // Without its group's first statement the third stage sets the vector 0, 0, 0, also when
    // another statement stands in that place.
    const Lines alone = Parse("dot_product_reflect_cube_map_const_eye_3of3(tex0);");
    ASSERT_EQ(alone.size(), 12u);
    EXPECT_EQ(alone[4], Envfv(GL_CONST_EYE_NV, "0, 0, 0"));
    EXPECT_EQ(Messages(), (Lines{"prior stage missing", "invalid texture reference"}));
    const Lines calls = Parse("texture_2d(); offset_2d(tex0, 7, 8, 9, 1); texture_2d();"
                              "dot_product_reflect_cube_map_const_eye_3of3(tex0);");
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], Envfv(GL_CONST_EYE_NV, "0, 0, 0"));
    EXPECT_EQ(Messages(), Lines{"stage mismatch"});
}

TEST_F(TS10Test, StatementsStoreTheirArguments) {
    EXPECT_EQ(Parse("cull_fragment(GEQUAL_TO_ZERO, LESS_THAN_ZERO, LESS_THAN_ZERO, GEQUAL_TO_ZERO);"
                    "offset_2d_scale(tex0, 1., -.5, +2, 0.25, 4, -1);"
                    "offset_rectangle(tex0, 1, 0, 0, 1); dependent_gb(tex1); pass_through();"),
              (Lines{Active(0), Op(GL_CULL_FRAGMENT_NV), Envfv(GL_CULL_MODES_NV, "518, 513, 513, 518"),
                     Active(1), Op(GL_OFFSET_TEXTURE_2D_SCALE_NV), Previous(0), Envfv(GL_OFFSET_TEXTURE_MATRIX_NV, "1, -0.5, 2, 0.25"),
                     Envf(GL_OFFSET_TEXTURE_SCALE_NV, "4"), Envf(GL_OFFSET_TEXTURE_BIAS_NV, "-1"),
                     Active(2), Op(GL_OFFSET_TEXTURE_RECTANGLE_NV), Previous(0), Envfv(GL_OFFSET_TEXTURE_MATRIX_NV, "1, 0, 0, 1"),
                     Active(3), Op(GL_DEPENDENT_GB_TEXTURE_2D_NV), Previous(1),
                     Active(4), Op(GL_PASS_THROUGH_NV), Active(0)}));
    // Five statements: reported, not padded. Two stages read the cull stage, which has no output.
    EXPECT_EQ(Messages(), (Lines{"too many instructions", "no output on referenced texture",
                                 "no output on referenced texture"}));
}

TEST_F(TS10Test, ValidationMessages) {
    struct Case {
        const char* body;
        Lines messages;
    } cases[] = {
        {"dot_product_2d_2of2(tex0);", {"prior stage missing", "invalid texture reference"}},
        {"texture_2d(); dot_product_2d_1of2(tex0); dot_product_rectangle_2of2(tex0);", {"stage mismatch"}},
        {"nop(); dependent_ar(tex0);", {"no output on referenced texture"}},
        {"cull_fragment(LESS_THAN_ZERO, LESS_THAN_ZERO, LESS_THAN_ZERO, LESS_THAN_ZERO); dependent_ar(tex0);",
         {"no output on referenced texture"}},
        {"texture_2d(); dependent_gb(tex1);", {"invalid texture reference"}},
        {"texture_2d(); dot_product_3d_1of3(tex0); dot_product_3d_2of3(tex0); dependent_ar(tex2);",
         {"no output on referenced texture"}},
        // The middle stage of a cube-map-and-reflect group has an output.
        {"texture_2d(); dot_product_cube_map_and_reflect_cube_map_eye_from_qs_1of3(tex0);"
         "dot_product_cube_map_and_reflect_cube_map_eye_from_qs_2of3(tex0); dependent_ar(tex2);", {}},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(Parse(c.body).empty()) << c.body;  // set up whatever was reported
        EXPECT_EQ(Messages(), c.messages) << c.body;
    }
}

TEST_F(TS10Test, SyntaxErrorsBeforeAndAfterACompleteList) {
    for (const char* body : {"", "  // only a comment\n", "texture_2d()", "dependent_ar(expand(tex0));",
                             "texture_2d(); offset_2d(tex0, 1, 0, 0);", "dot_product_2d_1of2(tex0 tex1);"}) {
        EXPECT_EQ(Parse(body), Lines{}) << body;
        EXPECT_EQ(Messages(), Lines{"unrecognized token"}) << body;
    }
    // The second ";" completes the list, which is set up before the error is reported.
    EXPECT_EQ(Parse("texture_2d();;"), (Lines{Active(0), Op(GL_TEXTURE_2D)} + Nops(1)));
    EXPECT_EQ(Messages(), Lines{"unrecognized token"});
}

TEST_F(TS10Test, UnknownWordsAreSkippedAndReportedWithTheirLine) {
    EXPECT_EQ(Parse("\ntexture_2d() \r\n bogus\r\n;\ntex3 Tex0 _x 12abc"), (Lines{Active(0), Op(GL_TEXTURE_2D)} + Nops(1)));
    EXPECT_EQ(Messages(), (Lines{"error on line 3: unrecognized token", "error on line 5: unrecognized token",
                                 "error on line 5: unrecognized token", "error on line 5: unrecognized token",
                                 "error on line 5: unrecognized token"}));
}

TEST_F(TS10Test, CommentsLineEndsAndOtherBytes) {
    testing::internal::CaptureStdout();
    // 1e3 is the number 1 and the word e3; "- 5" is a sign (copied to the output) and 5.
    const Lines calls = Parse("/* a\n*\n*/ offset_2d(tex0, - 5, 1e3,\r2, 3);\r\r\n# note\n"
                              "texture_2d() bad; // last line without a line feed");
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "-\r");
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[3], Envfv(GL_OFFSET_TEXTURE_MATRIX_NV, "5, 1, 2, 3"));
    EXPECT_EQ(Messages(), (Lines{"error on line 3: unrecognized token", "error on line 5: unrecognized token",
                                 "invalid texture reference"}));

    EXPECT_EQ(Parse("texture_2d();\n/* open\n\n"), (Lines{Active(0), Op(GL_TEXTURE_2D)} + Nops(1)));
    EXPECT_EQ(Messages(), Lines{"error on line 4: end-of-file in comment"});
    EXPECT_EQ(Parse("texture_2d()\n/* open"), Lines{});
    EXPECT_EQ(Messages(), (Lines{"error on line 2: end-of-file in comment", "unrecognized token"}));
}

TEST_F(TS10Test, EachParseStartsFromACleanScanner) {
    // Read-ahead of a failed parse and a pending end of text must not leak into the next one.
    Parse("nop() texture_3d(); texture_1d();");
    EXPECT_EQ(Messages(), Lines{"unrecognized token"});
    EXPECT_EQ(Parse("texture_cube_map();"), (Lines{Active(0), Op(GL_TEXTURE_CUBE_MAP_ARB)} + Nops(1)));
    Parse("/* never closed");
    EXPECT_EQ(Parse("texture_rectangle(); /* x */ texture_1d();"),
              (Lines{Active(0), Op(GL_TEXTURE_RECTANGLE_NV), Active(1), Op(GL_TEXTURE_1D)} + Nops(2)));
    EXPECT_EQ(Messages(), Lines{});
}

TEST_F(TS10Test, RealisticProgramsParseWithoutMessages) {
    // Bump-mapped environment mapping: normal map, then the reflect group in eye space.
    const Lines bump = Parse(
        "# bumpy shiny surface\n"
        "texture_2d();                                       // normal map\n"
        "dot_product_reflect_cube_map_eye_from_qs_1of3(expand(tex0));\n"
        "dot_product_reflect_cube_map_eye_from_qs_2of3(expand(tex0));\n"
        "dot_product_reflect_cube_map_eye_from_qs_3of3(expand(tex0));\n");
    EXPECT_EQ(Messages(), Lines{});
    EXPECT_EQ(bump.back(), Active(0));
    EXPECT_EQ(bump[bump.size() - 3], Op(GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV));

    // Water: a ripple map perturbs the lookup of the scene texture.
    const Lines water = Parse("texture_2d();\noffset_2d(tex0, 0.08, 0.0, 0.0, 0.08);\nnop();\nnop();\n");
    EXPECT_EQ(Messages(), Lines{});
    EXPECT_EQ(water, (Lines{Active(0), Op(GL_TEXTURE_2D), Active(1), Op(GL_OFFSET_TEXTURE_2D_NV), Previous(0),
                            Envfv(GL_OFFSET_TEXTURE_MATRIX_NV, "0.08, 0, 0, 0.08")} + Nops(2)));
}

TEST_F(TS10Test, MissingActiveTextureSlotSetsNothingUp) {
    Parse("texture_2d();");  // loads the extensions
    const auto slot = glext::glActiveTextureARB;
    glext::glActiveTextureARB = nullptr;
    EXPECT_EQ(Parse("texture_2d();"), Lines{});
    glext::glActiveTextureARB = slot;
    EXPECT_EQ(Messages(), Lines{"texture shader stages not set up: glActiveTextureARB is not loaded"});
}

void* NoMemory(void*, size_t) { return nullptr; }

TEST(TS10InstListTest, GrowsByFourAndSurvivesFailedGrowth) {
    TS10InstList list;
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(list.Append(MakeTS10Inst(0x0002)));
    EXPECT_EQ(list.Capacity(), 8u);
    EXPECT_EQ(list[4].kind, 0x0002);

    const auto previous = TS10InstList::reallocate;
    TS10InstList::reallocate = NoMemory;
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(list.Append(MakeTS10Inst(0x0001)));
    EXPECT_FALSE(list.Append(MakeTS10Inst(0x0001)));
    EXPECT_EQ(list.Size(), 8u);

    // A parse whose list cannot be made reports it and sets nothing up.
    recgl::Reset();
    parseErrors.Clear();
    TS10SetInput("texture_2d();");
    TS10Parse();
    TS10InstList::reallocate = previous;
    EXPECT_TRUE(recgl::Calls().empty());
    ASSERT_EQ(parseErrors.Count(), 1);
    EXPECT_STREQ(parseErrors.Messages()[0], "out of memory while reading the texture shader program");
}

}  // namespace
