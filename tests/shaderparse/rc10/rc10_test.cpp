// !!RC1.0 programs through shaderparse against the recording GL: scanning, grammar, the checks
// with their messages, and the combiner calls in their order.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "glext/entry_points.h"
#include "tests/shaderparse/core/test_profile.h"
#include "tests/support/shaderparse_helpers.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::CallsStarting;
using testsupport::Lines;
using testsupport::operator+;
using S = const std::string&;

// Parses "!!RC1.0" + body after dropping the calls recorded so far; returns the messages.
Lines Parse(S body) { return testsupport::ParseText("!!RC1.0" + body); }

std::string In(int stage, S portion, char var, S input) {
    return "glCombinerInputNV(GL_COMBINER" + std::to_string(stage) + "_NV, " + portion +
           ", GL_VARIABLE_" + var + "_NV, " + input + ")";
}
std::string Out(int stage, S portion, S rest) {
    return "glCombinerOutputNV(GL_COMBINER" + std::to_string(stage) + "_NV, " + portion + ", " +
           rest + ")";
}
// An input mapping: register, mapping, channel.
std::string Id(S reg, S channel = "GL_RGB") {
    return reg + ", GL_UNSIGNED_IDENTITY_NV, " + channel;
}
std::string Inv(S reg, S channel = "GL_RGB") { return reg + ", GL_UNSIGNED_INVERT_NV, " + channel; }

const std::string kZero = Id("GL_ZERO"), kZeroAlpha = Id("GL_ZERO", "GL_ALPHA"),
                  kOne = Inv("GL_ZERO");
const std::string kDiscards =
    "GL_DISCARD_NV, GL_DISCARD_NV, GL_DISCARD_NV, GL_NONE, GL_NONE, GL_FALSE, GL_FALSE, GL_FALSE";

Lines DefaultPortion(int stage, S portion) {
    const std::string& zero = portion == "GL_RGB" ? kZero : kZeroAlpha;
    return {In(stage, portion, 'A', zero), In(stage, portion, 'B', zero),
            In(stage, portion, 'C', zero), In(stage, portion, 'D', zero),
            Out(stage, portion, kDiscards)};
}

// The input mapping of each final-combiner variable in vars ("" when it was not set up).
Lines Finals(S vars) {
    Lines out;
    for (char var : vars) {
        const std::string call = std::string("glFinalCombinerInputNV(GL_VARIABLE_") + var + "_NV, ";
        out.emplace_back();
        for (S line : CallsStarting(call))
            out.back() = line.substr(call.size(), line.size() - call.size() - 1);
    }
    return out;
}

class RC10Test : public ::testing::Test {
  protected:
    void SetUp() override { recgl::Reset(ShaderTestProfile()); }
};

TEST_F(RC10Test, DefaultsForMissingStagesAndPortions) {
    EXPECT_THAT(Parse("\nout.rgb = col0;\n"), IsEmpty());
    Lines calls = recgl::CallLines();
    ASSERT_EQ(calls.size(), 20u);
    EXPECT_EQ(Lines(calls.begin(), calls.begin() + 13),
              (Lines{"glCombinerParameteriNV(GL_NUM_GENERAL_COMBINERS_NV, 1)"} +
               DefaultPortion(0, "GL_RGB") + DefaultPortion(0, "GL_ALPHA") +
               Lines{"glDisable(GL_PER_STAGE_CONSTANTS_NV)",
                     "glCombinerParameteriNV(GL_COLOR_SUM_CLAMP_NV, GL_FALSE)"}));
    EXPECT_EQ(Finals("ABCDEFG"),
              (Lines{kZero, kZero, kZero, Id("GL_PRIMARY_COLOR_NV"), kZero, kZero, kZeroAlpha}));

    // One written portion and its default partner, set up in slot order.
    EXPECT_THAT(Parse("{ rgb { spare0 = tex0 * col0; } } out.rgb = spare0;"), IsEmpty());
    calls = recgl::CallLines();
    EXPECT_EQ(Lines(calls.begin() + 1, calls.begin() + 11),
              (Lines{In(0, "GL_RGB", 'A', "GL_TEXTURE0_ARB, GL_SIGNED_IDENTITY_NV, GL_RGB"),
                     In(0, "GL_RGB", 'B', "GL_PRIMARY_COLOR_NV, GL_SIGNED_IDENTITY_NV, GL_RGB"),
                     In(0, "GL_RGB", 'C', kZero), In(0, "GL_RGB", 'D', kZero),
                     Out(0, "GL_RGB", "GL_SPARE0_NV" + kDiscards.substr(13))} +
               DefaultPortion(0, "GL_ALPHA")));
    EXPECT_THAT(Parse("{ alpha { spare1.a = tex1; } } out.rgb = spare0;"), IsEmpty());
    calls = recgl::CallLines();
    EXPECT_EQ(Lines(calls.begin() + 1, calls.begin() + 3),
              (Lines{In(0, "GL_ALPHA", 'A', "GL_TEXTURE1_ARB, GL_SIGNED_IDENTITY_NV, GL_ALPHA"),
                     In(0, "GL_ALPHA", 'B', Inv("GL_ZERO", "GL_ALPHA"))}));
    EXPECT_EQ(DefaultPortion(0, "GL_RGB")[0], calls.at(6));
}

TEST_F(RC10Test, FunctionFormsAndScaleBias) {
    const std::string dots = "spare0 = tex0 . col0; spare1 = tex1 . col1;",
                      products = "spare0 = tex0 * col0; spare1 = -tex1 * col1;";
    struct Case {
        std::string functions;
        const char* outputs;
    };
    const Case cases[] = {
        {dots, "GL_DISCARD_NV, GL_NONE, GL_NONE, GL_TRUE, GL_TRUE, GL_FALSE"},
        {products + "tex2 = mux(); scale_by_two();",
         "GL_TEXTURE2_ARB, GL_SCALE_BY_TWO_NV, GL_NONE, GL_FALSE, GL_FALSE, GL_TRUE"},
        {products + "tex2 = sum(); scale_by_four();",
         "GL_TEXTURE2_ARB, GL_SCALE_BY_FOUR_NV, GL_NONE, GL_FALSE, GL_FALSE, GL_FALSE"},
        {products + "tex2 = mux(); scale_by_one_half();",
         "GL_TEXTURE2_ARB, GL_SCALE_BY_ONE_HALF_NV, GL_NONE, GL_FALSE, GL_FALSE, GL_TRUE"},
        {products + "tex2 = sum(); bias_by_negative_one_half();",
         "GL_TEXTURE2_ARB, GL_NONE, GL_BIAS_BY_NEGATIVE_ONE_HALF_NV, GL_FALSE, GL_FALSE, GL_FALSE"},
        {products + "tex2 = mux(); bias_by_negative_one_half_scale_by_two();",
         "GL_TEXTURE2_ARB, GL_SCALE_BY_TWO_NV, GL_BIAS_BY_NEGATIVE_ONE_HALF_NV, GL_FALSE, "
         "GL_FALSE, GL_TRUE"},
    };
    for (const Case& c : cases) {
        EXPECT_THAT(Parse("{ rgb { " + c.functions + " } } out.rgb = spare0;"), IsEmpty());
        EXPECT_THAT(
            CallsStarting("glCombinerOutputNV(GL_COMBINER0_NV, GL_RGB"),
            ElementsAre(Out(0, "GL_RGB", std::string("GL_SPARE0_NV, GL_SPARE1_NV, ") + c.outputs)))
            << c.functions;
    }
}

TEST_F(RC10Test, GeneralAndFinalInputMappingsRewriteOne) {
    struct Case {
        const char* written;
        const char* input;
    };
    const Case cases[] = {
        {"tex0", "GL_TEXTURE0_ARB, GL_SIGNED_IDENTITY_NV"},
        {"one", "GL_ZERO, GL_UNSIGNED_INVERT_NV"},
        {"-tex0", "GL_TEXTURE0_ARB, GL_SIGNED_NEGATE_NV"},
        {"-one", "GL_ZERO, GL_EXPAND_NORMAL_NV"},
        {"expand(tex0)", "GL_TEXTURE0_ARB, GL_EXPAND_NORMAL_NV"},
        {"expand(one)", "GL_ZERO, GL_UNSIGNED_INVERT_NV"},
        {"-expand(tex0)", "GL_TEXTURE0_ARB, GL_EXPAND_NEGATE_NV"},
        {"- expand ( one )", "GL_ZERO, GL_EXPAND_NORMAL_NV"},
        {"half_bias(const0)", "GL_CONSTANT_COLOR0_NV, GL_HALF_BIAS_NORMAL_NV"},
        {"half_bias(one)", "GL_ZERO, GL_HALF_BIAS_NEGATE_NV"},
        {"-half_bias(tex0)", "GL_TEXTURE0_ARB, GL_HALF_BIAS_NEGATE_NV"},
        {"-half_bias(one)", "GL_ZERO, GL_HALF_BIAS_NORMAL_NV"},
        {"unsigned(fog)", "GL_FOG, GL_UNSIGNED_IDENTITY_NV"},
        {"unsigned(one)", "GL_ZERO, GL_UNSIGNED_INVERT_NV"},
        {"unsigned_invert(zero)", "GL_ZERO, GL_UNSIGNED_INVERT_NV"},
        {"unsigned_invert(one)", "GL_ZERO, GL_UNSIGNED_IDENTITY_NV"},
    };
    for (const Case& c : cases) {
        EXPECT_THAT(
            Parse(std::string("{ rgb { spare0 = ") + c.written + " * tex1; } } out.rgb = spare0;"),
            IsEmpty());
        EXPECT_EQ(In(0, "GL_RGB", 'A', std::string(c.input) + ", GL_RGB"), recgl::CallLines().at(1))
            << c.written;
    }
    // The rewritten one keeps the channel it was written with.
    EXPECT_THAT(Parse("{ alpha { spare0 = -one.b * tex1.b; } } out.rgb = spare0;"), IsEmpty());
    EXPECT_EQ(In(0, "GL_ALPHA", 'A', "GL_ZERO, GL_EXPAND_NORMAL_NV, GL_BLUE"),
              recgl::CallLines().at(1));

    // Final inputs: bare and unsigned map identically, unsigned_invert inverts; one likewise.
    const Case finals[] = {
        {"col1.a", "GL_SECONDARY_COLOR_NV, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA"},
        {"one", "GL_ZERO, GL_UNSIGNED_INVERT_NV, GL_ALPHA"},
        {"unsigned(tex3)", "GL_TEXTURE3_ARB, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA"},
        {"unsigned_invert(spare1.b)", "GL_SPARE1_NV, GL_UNSIGNED_INVERT_NV, GL_BLUE"},
        {"unsigned(one.a)", "GL_ZERO, GL_UNSIGNED_INVERT_NV, GL_ALPHA"},
        {"unsigned_invert(one)", "GL_ZERO, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA"},
    };
    for (const Case& c : finals) {
        EXPECT_THAT(Parse(std::string("out.a = ") + c.written + ";"), IsEmpty()) << c.written;
        EXPECT_EQ(Finals("G"), Lines{c.input}) << c.written;
    }
}

TEST_F(RC10Test, FinalCombinerFormsAndReordering) {
    const std::string t0 = Id("GL_TEXTURE0_ARB"), t1 = Id("GL_TEXTURE1_ARB"),
                      c0 = Id("GL_PRIMARY_COLOR_NV"), c1 = Id("GL_SECONDARY_COLOR_NV"),
                      sum = Id("GL_SPARE0_PLUS_SECONDARY_COLOR_NV");
    struct Case {
        const char* expression;
        Lines abcd;
    };
    const Case cases[] = {
        {"lerp(tex0, tex1, col0) + col1", {t0, t1, c0, c1}},
        {"col1 + lerp(tex0, tex1, col0)", {t0, t1, c0, c1}},
        {"lerp(tex0, tex1, col0)", {t0, t1, c0, kZero}},
        {"tex0 * tex1", {t0, t1, kZero, kZero}},
        {"tex0 * tex1 + col1", {t0, t1, kZero, c1}},
        {"tex0 + col1", {t0, kOne, kZero, c1}},
        {"col1", {kZero, kZero, kZero, c1}},
        // color_sum is kept out of input A by exchanging it with B, or with D when C is zero.
        {"color_sum * tex0", {t0, sum, kZero, kZero}},
        {"color_sum + tex0", {t0, kOne, kZero, sum}},
        {"color_sum + color_sum", {kOne, sum, kZero, sum}},
    };
    for (const Case& c : cases) {
        EXPECT_THAT(Parse(std::string("out.rgb = ") + c.expression + ";"), IsEmpty())
            << c.expression;
        EXPECT_EQ(Finals("ABCD"), c.abcd) << c.expression;
    }
    // No exchange can help: C is not zero, or color_sum sits in A and B.
    for (const char* rgb : {"lerp(color_sum, tex0, tex1)", "color_sum * color_sum", "discard"}) {
        EXPECT_THAT(Parse(std::string("out.rgb = ") + rgb + ";"),
                    ElementsAre("invalid input register for final rgb"));
    }
    // final_product and clamp_color_sum in either order.
    for (const char* options :
         {"final_product = tex0 * unsigned_invert(col0); clamp_color_sum();",
          "clamp_color_sum(); final_product = tex0 * unsigned_invert(col0);"}) {
        EXPECT_THAT(
            Parse(std::string(options) + " out.a = col0; out.rgb = final_product + color_sum;"),
            IsEmpty());
        EXPECT_THAT(CallsStarting("glCombinerParameteriNV(GL_COLOR_SUM_CLAMP_NV"),
                    ElementsAre("glCombinerParameteriNV(GL_COLOR_SUM_CLAMP_NV, GL_TRUE)"));
        EXPECT_EQ(Finals("AEFG"), (Lines{Id("GL_E_TIMES_F_NV"), t0, Inv("GL_PRIMARY_COLOR_NV"),
                                         Id("GL_PRIMARY_COLOR_NV", "GL_ALPHA")}));
    }
}

TEST_F(RC10Test, EachCheckReportsItsMessage) {
    struct Case {
        const char* body;
        const char* message;
    };
    // Stage bodies, run as "{ <body> } out.rgb = col0;".
    const Case stages[] = {
        {"const1 = (1,0,0,1); const1 = (0,0,0,0); rgb { spare0 = tex0; }",
         "local constant set twice"},
        {"rgb { spare0 = tex0; } rgb { spare1 = tex1; }", "portion declared twice"},
        {"alpha { spare0 = tex0; } alpha { spare1 = tex1; }", "portion declared twice"},
        {"rgb { const0 = tex0 * col0; }", "writing to a read-only register"},
        {"alpha { spare0 = tex0 . col0; }", "dot used in alpha portion"},
        {"alpha { spare0 = fog * col0; }", "final register used in general combiner"},
        {"rgb { spare0 = fog.a * col0; }", "final register used in general combiner"},
        {"alpha { spare0.rgb = tex0 * col0; }", "rgb register used in alpha portion"},
        {"rgb { spare0 = tex0.b * col0; }", "blue register usedin rgb portion"},
        {"rgb { spare0 = discard * col0; }", "reading from discard"},
        {"rgb { spare0 = tex0 * col0; spare0 = tex1 * col1; }", "writing to same register twice"},
        {"rgb { spare0 = tex0; spare1 = tex1; spare1 = sum(); }", "writing to same register twice"},
    };
    const Case programs[] = {
        {"const0 = (1,0,0,1); const0 = (0,1,0,1); out.rgb = col0;", "global constant set twice"},
        {"final_product = color_sum * tex0; out.rgb = col0;",
         "invalid input register for final_product"},
        {"final_product = tex0 * discard; out.rgb = col0;",
         "invalid input register for final_product"},
        {"final_product = tex0.b * col0.b; out.rgb = col0;", "blue register used in final_product"},
        {"out.rgb = col0; out.a = final_product;", "invalid input register for final alpha"},
        {"out.a = col0.rgb;", "rgb register used in final alpha"},
        {"out.rgb = tex0 * col0.b;", "blue register used in final rgb"},
        {"out.rgb = final_product;", "final_product used but not set"},
    };
    auto expect = [](const std::string& body, const char* message) {
        EXPECT_THAT(Parse(body), ElementsAre(message)) << body;
        EXPECT_EQ(7u, CallsStarting("glFinalCombinerInputNV").size())
            << body;  // checks never stop the set-up
    };
    for (const Case& c : stages)
        expect(std::string("{ ") + c.body + " } out.rgb = col0;", c.message);
    for (const Case& c : programs) expect(c.body, c.message);
    // Both destinations discard: no double write.
    EXPECT_THAT(Parse("{ rgb { discard = tex0; discard = tex1; } } out.rgb = col0;"), IsEmpty());
    // Messages come in the order the checks run.
    EXPECT_THAT(Parse("const1 = (0,0,0,0); const1 = (1,1,1,1);"
                      "{ alpha { const0 = tex0 . discard; } } out.rgb = final_product;"),
                ElementsAre("global constant set twice", "writing to a read-only register",
                            "dot used in alpha portion", "reading from discard",
                            "final_product used but not set"));
}

TEST_F(RC10Test, StageLimits) {
    auto stages = [](int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += "{ rgb { spare0 = tex0 * col0; } }\n";
        return out + "out.rgb = spare0;";
    };
    recgl::Profile two = ShaderTestProfile();
    two.integers[GL_MAX_GENERAL_COMBINERS_NV] = {2};
    recgl::Reset(two);
    EXPECT_THAT(Parse(stages(3)), ElementsAre("3 general combiners specified, only 2 supported"));
    EXPECT_THAT(CallsStarting("glCombinerParameteriNV(GL_NUM"),
                ElementsAre("glCombinerParameteriNV(GL_NUM_GENERAL_COMBINERS_NV, 2)"));
    EXPECT_TRUE(CallsStarting("glCombinerOutputNV(GL_COMBINER2_NV").empty());

    recgl::Reset(ShaderTestProfile());
    EXPECT_THAT(Parse(stages(8)), IsEmpty());
    EXPECT_EQ(2u, CallsStarting("glCombinerOutputNV(GL_COMBINER7_NV").size());
    EXPECT_THAT(Parse(stages(9)), ElementsAre("Too many general combiners."));
    EXPECT_THAT(CallsStarting("glCombinerParameteriNV(GL_NUM"),
                ElementsAre("glCombinerParameteriNV(GL_NUM_GENERAL_COMBINERS_NV, 8)"));
    // Every dropped stage is reported.
    EXPECT_THAT(Parse(stages(10)),
                ElementsAre("Too many general combiners.", "Too many general combiners."));
}

TEST_F(RC10Test, ConstantsAndMissingEntryPoints) {
    EXPECT_THAT(
        Parse("const0 = (0.5, -1., .25, +2); const1 = (1, 0, 0, 1); out.rgb = const0 * const1;"),
        IsEmpty());
    EXPECT_THAT(CallsStarting("glCombinerParameterfvNV"),
                ElementsAre("glCombinerParameterfvNV(GL_CONSTANT_COLOR0_NV, {0.5, -1, 0.25, 2})",
                            "glCombinerParameterfvNV(GL_CONSTANT_COLOR1_NV, {1, 0, 0, 1})"));
    EXPECT_THAT(CallsStarting("glDisable"), ElementsAre("glDisable(GL_PER_STAGE_CONSTANTS_NV)"));

    // A global const0 and a stage defining only const1: that stage gets both, the other const0.
    const std::string program =
        "const0 = (1, 1, 1, 1); { const1 = (0, 0, 1, 0); rgb { spare0 = const0 * const1; } }"
        "{ rgb { spare0 = spare0 * const0; } } out.rgb = spare0;";
    EXPECT_THAT(Parse(program), IsEmpty());
    const std::string stage = "glCombinerStageParameterfvNV(GL_COMBINER";
    EXPECT_THAT(CallsStarting("glCombinerStageParameterfvNV"),
                ElementsAre(stage + "0_NV, GL_CONSTANT_COLOR1_NV, {0, 0, 1, 0})",
                            stage + "0_NV, GL_CONSTANT_COLOR0_NV, {1, 1, 1, 1})",
                            stage + "1_NV, GL_CONSTANT_COLOR0_NV, {1, 1, 1, 1})"));
    // Stage constants come first in their stage, the enable after all stages.
    EXPECT_EQ(recgl::CallLines().at(2).rfind(stage + "0_NV", 0), 0u);
    EXPECT_EQ(recgl::CallLines().at(25), "glEnable(GL_PER_STAGE_CONSTANTS_NV)");

    // Without the per-stage entry point the local constants are dropped with a message.
    const auto slot = glext::glCombinerStageParameterfvNV;
    glext::glCombinerStageParameterfvNV = nullptr;
    recgl::CurrentProfile().unresolvable = {"glCombinerStageParameterfvNV"};
    const Lines messages = Parse(program);
    glext::glCombinerStageParameterfvNV = slot;
    EXPECT_THAT(messages, ElementsAre("local constant(s) specified, but not supported -- ignored"));
    EXPECT_THAT(CallsStarting("glCombinerStageParameterfvNV") + CallsStarting("glEnable") +
                    CallsStarting("glDisable"),
                IsEmpty());
    EXPECT_EQ(1u, CallsStarting("glCombinerParameterfvNV(GL_CONSTANT_COLOR0_NV").size());

    // Without a combiner entry point nothing is called at all.
    const auto input = glext::glCombinerInputNV;
    glext::glCombinerInputNV = nullptr;
    const Lines noSetUp = Parse("out.rgb = col0;");
    glext::glCombinerInputNV = input;
    EXPECT_THAT(noSetUp, ElementsAre("register combiner entry points not loaded -- no set-up"));
    EXPECT_TRUE(recgl::Calls().empty());
}

TEST_F(RC10Test, SyntaxErrorsBeforeAndAfterACompleteFinalCombiner) {
    for (const char* body :
         {"", "  // nothing\n", "{ rgb { spare0 = tex0 * col0; }", "out.rgb = col1 + col0 * tex0;",
          "out.rgb = col0", "{ } out.rgb = col0;", "out.rgb = tex0 * col0 * col1;",
          "{ rgb { spare0 = tex0; } } const0 = (1,1,1,1);", "clamp_color_sum();",
          "clamp_color_sum(); clamp_color_sum(); out.rgb = col0;", "out.a = -tex0;",
          "out.a = expand(tex0);",
          // mux and sum follow two products only; three products are one too many.
          "{ rgb { spare0 = tex0 . col0; spare1 = tex1 * col1; spare0 = mux(); } } out.rgb = col0;",
          "{ rgb { spare0 = tex0 * col0; spare1 = tex1 . col1; spare0 = sum(); } } out.rgb = col0;",
          "{ rgb { spare0 = tex0; spare1 = tex1; spare0 = tex2; } } out.rgb = col0;",
          "{ rgb { spare0 = mux(); } } out.rgb = col0;",
          // At most two constants, globally and per stage.
          "const0 = (1,1,1,1); const1 = (1,1,1,1); const0 = (1,1,1,1); out.rgb = col0;",
          "{ const0 = (1,1,1,1); const1 = (1,1,1,1); const0 = (1,1,1,1); rgb { spare0 = tex0; } "
          "}"}) {
        EXPECT_THAT(Parse(body), ElementsAre("unrecognized token")) << body;
        EXPECT_TRUE(recgl::Calls().empty()) << body;
    }
    // After a complete final combiner the program is already set up, with the first statement.
    for (const char* body : {"out.rgb = col0; out.rgb = col1;", "out.rgb = col0; out.a = col0; ;",
                             "out.a = col0; out.rgb = col0; {"}) {
        EXPECT_THAT(Parse(body), ElementsAre("unrecognized token")) << body;
        EXPECT_EQ(Finals("D"), Lines{Id("GL_PRIMARY_COLOR_NV")}) << body;
    }
}

TEST_F(RC10Test, UnknownWordsCommentsLinesEchoAndACleanStart) {
    EXPECT_THAT(
        Parse("\n# tex4\n// col0x\r\n/* a\n\n*/ tex4 {\r\r\n rgb { spare0 = col0x tex0 * 12abc "
              "col1; } } out.rgb = spare0;"),
        ElementsAre("error on line 6: unrecognized token", "error on line 7: unrecognized token",
                    "error on line 7: unrecognized token"));
    EXPECT_EQ(In(0, "GL_RGB", 'B', "GL_SECONDARY_COLOR_NV, GL_SIGNED_IDENTITY_NV, GL_RGB"),
              recgl::CallLines().at(2));
    // A register word followed by more word characters is one unknown word, skipped.
    EXPECT_THAT(
        Parse("out.rgb = tex0x tex0;\nout.a = one_ zero.b;"),
        ElementsAre("error on line 1: unrecognized token", "error on line 2: unrecognized token"));
    EXPECT_EQ(Finals("G"), Lines{Id("GL_ZERO", "GL_BLUE")});

    // A text ending in a comment: message with the comment's last line, then the end of text.
    EXPECT_THAT(Parse("out.rgb = col0;\n/* open\n\n"),
                ElementsAre("error on line 4: end-of-file in comment"));
    EXPECT_EQ(7u, CallsStarting("glFinalCombinerInputNV").size());
    EXPECT_THAT(Parse("/* out.rgb = col0;"),
                ElementsAre("error on line 1: end-of-file in comment", "unrecognized token"));
    EXPECT_THAT(Parse("out.rgb = col0; # done"),
                IsEmpty());  // a comment up to the end, no line end
    // A token larger than the scanner's first buffer.
    EXPECT_THAT(Parse("out.rgb = col0; " + std::string(40000, 'w')),
                ElementsAre("error on line 1: unrecognized token"));

    // Characters no rule accepts are echoed.
    ::testing::internal::CaptureStdout();
    const Lines messages = Parse("$out.rgb = col0;@\r ~");
    EXPECT_EQ("$@\r~", ::testing::internal::GetCapturedStdout());
    EXPECT_THAT(messages, IsEmpty());

    // A text stopped at "}" with the rest read ahead, or ended inside a comment, leaves nothing
    // for the next one.
    EXPECT_THAT(Parse("out.rgb = col0; } tex4 out.a = col0.rgb;"),
                ElementsAre("unrecognized token"));
    EXPECT_THAT(Parse("out.rgb = col1;"), IsEmpty());
    EXPECT_EQ(Finals("G"), Lines{kZeroAlpha});
    Parse("out.rgb = col0; /* open");
    EXPECT_THAT(Parse("out.rgb = col1; */"), ElementsAre("unrecognized token"));
}

}  // namespace
