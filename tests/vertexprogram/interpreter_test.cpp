// The CPU interpreter against the instruction definitions: special values, masks, swizzles,
// negation, relative addressing and initial register values.
#include "vertexprogram/interpreter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using vertexprogram::Vec4;

// Runs a vertex program whose body writes o[TEX0] from c[0], v[1] and R1 (= v[2]), which hold
// the three operands (an instruction reads one parameter and one attribute at most).
Vec4 RunBody(const std::string& body, const Vec4& a, const Vec4& b = {}, const Vec4& c = {}) {
    const std::string text = "!!VP1.0\nMOV R1, v[2];\n" + body + "\nMOV o[HPOS], v[OPOS];\nEND";
    vertexprogram::Program program;
    EXPECT_EQ(vertexprogram::Parse(text.data(), text.size(), &program), -1) << text;
    vertexprogram::Registers registers;
    registers.parameters[0] = a;
    registers.attributes[1] = b;
    registers.attributes[2] = c;
    vertexprogram::RunVertexProgram(program, registers);
    return registers.results[vertexprogram::TEX0];
}

// Equal as floats, or both NaN; an infinity and a signed zero must match exactly (sign too).
void ExpectSame(const Vec4& got, const Vec4& want, const std::string& what, float tolerance = 0) {
    for (int i = 0; i < 4; ++i) {
        if (std::isnan(want[i])) {
            EXPECT_TRUE(std::isnan(got[i])) << what << " component " << i;
        } else if (tolerance > 0 && std::isfinite(want[i])) {
            EXPECT_NEAR(got[i], want[i], tolerance * std::fmax(1.0f, std::fabs(want[i])))
                << what << " component " << i;
        } else {
            EXPECT_EQ(got[i], want[i]) << what << " component " << i;
            EXPECT_EQ(std::signbit(got[i]), std::signbit(want[i])) << what << " component " << i;
        }
    }
}

constexpr float kInf = INFINITY;

TEST(VertexProgramInterpreter, ScalarInstructionsAndTheirSpecialValues) {
    const struct {
        const char* op;
        float in;
        Vec4 out;
        float tolerance;
    } cases[] = {
        {"RCP", 1.0f, {1, 1, 1, 1}, 0},
        {"RCP", 4.0f, {0.25f, 0.25f, 0.25f, 0.25f}, 0},
        {"RCP", -kInf, {-0.0f, -0.0f, -0.0f, -0.0f}, 0},
        {"RCP", kInf, {0, 0, 0, 0}, 0},
        {"RCP", 0.0f, {kInf, kInf, kInf, kInf}, 0},
        {"RCP", -0.0f, {-kInf, -kInf, -kInf, -kInf}, 0},
        {"RSQ", 0.0f, {kInf, kInf, kInf, kInf}, 0},
        {"RSQ", -4.0f, {0.5f, 0.5f, 0.5f, 0.5f}, 0},  // of the absolute value
        {"RSQ", kInf, {0, 0, 0, 0}, 0},
        {"RSQ", -kInf, {0, 0, 0, 0}, 0},
        {"EXP", 2.5f, {4, 0.5f, 4 * std::sqrt(2.0f), 1}, 1.0f / 2048},
        {"EXP", -1.25f, {0.25f, 0.75f, 0.25f * std::exp2(0.75f), 1}, 1.0f / 2048},
        {"EXP", -kInf, {0, 0, 0, 1}, 0},
        {"EXP", kInf, {kInf, 0, kInf, 1}, 0},
        {"LOG", 0.0f, {-kInf, 1, -kInf, 1}, 0},
        {"LOG", -8.0f, {3, 1, 3, 1}, 0},
        {"LOG", 6.0f, {2, 1.5f, 2 + std::log2(1.5f), 1}, 1.0f / 2048},
        {"LOG", 0.375f, {-2, 1.5f, -2 + std::log2(1.5f), 1}, 1.0f / 2048},
        {"LOG", -kInf, {kInf, 1, kInf, 1}, 0},
    };
    for (const auto& c : cases) {
        const std::string what = std::string(c.op) + " " + std::to_string(c.in);
        ExpectSame(RunBody(std::string(c.op) + " o[TEX0], c[0].y;", {0, c.in, 0, 0}), c.out, what,
                   c.tolerance);
        // A negated source negates the operand before the operation.
        ExpectSame(RunBody(std::string(c.op) + " o[TEX0], -v[1].z;", {}, {0, 0, -c.in, 0}), c.out,
                   what + " negated", c.tolerance);
    }
}

TEST(VertexProgramInterpreter, VectorInstructions) {
    const float nan = std::nanf("");
    const struct {
        const char* body;
        Vec4 c0, c1, c2, out;
    } cases[] = {
        {"MOV o[TEX0], c[0];", {1, 2, 3, 4}, {}, {}, {1, 2, 3, 4}},
        {"MUL o[TEX0], c[0], v[1];", {1, 0, -0.0f, 3}, {2, kInf, nan, -1}, {}, {2, 0, 0, -3}},
        {"ADD o[TEX0], c[0], v[1];", {1, 2, 3, 4}, {0.5f, -2, 1, 0}, {}, {1.5f, 0, 4, 4}},
        {"MAD o[TEX0], c[0], v[1], R1;",
         {2, 0, 1, 3},
         {3, kInf, 1, 2},
         {1, 5, -1, 0},
         {7, 5, 0, 6}},
        {"DP3 o[TEX0], c[0], v[1];", {1, 2, 3, 100}, {4, 5, 6, 100}, {}, {32, 32, 32, 32}},
        {"DP4 o[TEX0], c[0], v[1];", {1, 2, 3, 4}, {4, 5, 6, 0.5f}, {}, {34, 34, 34, 34}},
        {"DP4 o[TEX0], c[0], v[1];", {0, 1, 0, 0}, {kInf, 2, 0, 0}, {}, {2, 2, 2, 2}},
        // DST of d = 2: (NA, d*d, d*d, NA) and (NA, 1/d, NA, 1/d).
        {"DST o[TEX0], c[0], v[1];", {9, 4, 4, 9}, {9, 0.5f, 9, 0.5f}, {}, {1, 2, 4, 0.5f}},
        {"DST o[TEX0], c[0], v[1];", {9, 0, 0, 9}, {9, kInf, 9, kInf}, {}, {1, 0, 0, kInf}},
        {"MIN o[TEX0], c[0], v[1];", {1, -2, 3, -0.0f}, {2, -3, 3, 0}, {}, {1, -3, 3, -0.0f}},
        {"MAX o[TEX0], c[0], v[1];", {1, -2, 3, -0.0f}, {2, -3, 3, 0}, {}, {2, -2, 3, 0}},
        // -0 < +0 in the comparisons.
        {"SLT o[TEX0], c[0], v[1];", {1, 2, -0.0f, -kInf}, {2, 2, 0, 0}, {}, {1, 0, 1, 1}},
        {"SGE o[TEX0], c[0], v[1];", {1, 2, -0.0f, kInf}, {2, 2, 0, 0}, {}, {0, 1, 0, 1}},
        // LIT: (1, max(x,0), x > 0 ? max(y,0)^w : 0, 1), power clamped just inside +-128.
        {"LIT o[TEX0], c[0];", {0.5f, 0.5f, 7, 2}, {}, {}, {1, 0.5f, 0.25f, 1}},
        {"LIT o[TEX0], c[0];", {-1, 0.5f, 7, 2}, {}, {}, {1, 0, 0, 1}},
        {"LIT o[TEX0], c[0];", {0.5f, -1, 7, 2}, {}, {}, {1, 0.5f, 0, 1}},
        {"LIT o[TEX0], c[0];", {0.5f, 0, 7, 0}, {}, {}, {1, 0.5f, 1, 1}},  // 0^0 is 1
        {"LIT o[TEX0], c[0];",
         {1, 1.01f, 0, 300},
         {},
         {},
         {1, 1, std::pow(1.01f, 128.0f - 1.0f / 256), 1}},
        // Masks, swizzles and negation; unwritten components keep (0,0,0,1).
        {"MOV o[TEX0].yw, -c[0].wzyx;", {1, 2, 3, 4}, {}, {}, {0, -3, 0, -1}},
        {"MOV o[TEX0].xz, c[0].y;", {1, 2, 3, 4}, {}, {}, {2, 0, 2, 1}},
        {"ADD o[TEX0], c[0].yzzx, -v[1].w;", {2, 8, 9, 0}, {0, 0, 0, 1}, {}, {7, 8, 8, 1}},
        // Temporaries start at 0.
        {"ADD o[TEX0], R3, c[0];", {1, 2, 3, 4}, {}, {}, {1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        const float tolerance = std::string(c.body).rfind("LIT", 0) == 0 ? 1.0f / 2048 : 0;
        ExpectSame(RunBody(c.body, c.c0, c.c1, c.c2), c.out, c.body, tolerance);
    }
}

TEST(VertexProgramInterpreter, RelativeAddressingReadsZeroOutsideTheParameters) {
    const struct {
        float address;  // c[0].x, floored by ARL
        const char* read;
        Vec4 out;
    } cases[] = {
        {1.0f, "c[A0.x]", {1, 1, 1, 1}},      {1.9f, "c[A0.x+1]", {2, 2, 2, 2}},
        {-0.5f, "c[A0.x+3]", {2, 2, 2, 2}},   {-1.0f, "c[A0.x]", {0, 0, 0, 0}},
        {33.0f, "c[A0.x+63]", {0, 0, 0, 0}},  {32.0f, "c[A0.x+63]", {95, 95, 95, 95}},
        {64.0f, "c[A0.x-64]", {0, 0, 0, 0}},  {1e30f, "c[A0.x-64]", {0, 0, 0, 0}},
        {-1e30f, "c[A0.x+63]", {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const std::string text = std::string("!!VP1.0\nARL A0.x, v[1].x;\nMOV o[TEX0], ") + c.read +
                                 ";\nMOV o[HPOS], v[0];\nEND";
        vertexprogram::Program program;
        ASSERT_EQ(vertexprogram::Parse(text.data(), text.size(), &program), -1);
        vertexprogram::Registers registers;
        for (int i = 0; i < vertexprogram::kParameterRegisters; ++i) {
            registers.parameters[i] = {float(i), float(i), float(i), float(i)};
        }
        registers.attributes[1] = {c.address, 0, 0, 0};
        vertexprogram::RunVertexProgram(program, registers);
        ExpectSame(registers.results[vertexprogram::TEX0], c.out,
                   text + " at " + std::to_string(c.address));
    }
}

TEST(VertexProgramInterpreter, ResultsStartAtZeroZeroZeroOneOnEveryRun) {
    const std::string text = "!!VP1.0 MOV o[HPOS].xy, v[0]; MOV o[COL0].x, v[3]; END";
    vertexprogram::Program program;
    ASSERT_EQ(vertexprogram::Parse(text.data(), text.size(), &program), -1);
    vertexprogram::Registers registers;
    registers.attributes[0] = {5, 6, 7, 8};
    registers.attributes[3] = {0.5f, 0.25f, 0.125f, 0.75f};
    for (Vec4& r : registers.results) r = {9, 9, 9, 9};  // left over from an earlier vertex
    vertexprogram::RunVertexProgram(program, registers);
    ExpectSame(registers.results[vertexprogram::HPOS], {5, 6, 0, 1}, "HPOS");
    ExpectSame(registers.results[vertexprogram::COL0], {0.5f, 0, 0, 1}, "COL0");
    ExpectSame(registers.results[vertexprogram::TEX0 + 7], {0, 0, 0, 1}, "TEX7");
}

TEST(VertexProgramInterpreter, StateProgramWritesParametersFromItsInput) {
    const std::string text =
        "!!VSP1.0\nMUL R0, v[0], c[1];\nMOV c[1].xy, R0;\nADD c[95], c[1], v[0].w;\nEND";
    vertexprogram::Program program;
    ASSERT_EQ(vertexprogram::Parse(text.data(), text.size(), &program), -1);
    EXPECT_TRUE(program.stateProgram);
    Vec4 parameters[vertexprogram::kParameterRegisters] = {};
    parameters[1] = {2, 3, 4, 5};
    vertexprogram::RunStateProgram(program, {1, 2, 3, 10}, parameters);
    ExpectSame(parameters[1], {2, 6, 4, 5}, "c[1]");  // the second instruction sees the first
    ExpectSame(parameters[95], {12, 16, 14, 15}, "c[95]");
    ExpectSame(parameters[0], {0, 0, 0, 0}, "c[0]");
}

}  // namespace
