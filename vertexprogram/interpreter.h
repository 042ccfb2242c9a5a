// A CPU interpreter of checked vertex programs and vertex state programs: what one vertex (or one
// glExecuteProgramNV) computes, with the extension's special values, its 0 * anything = 0 rule
// and relative reads outside c[0..95] giving 0.
#pragma once

#include <array>

#include "vertexprogram/program.h"

namespace vertexprogram {

using Vec4 = std::array<float, 4>;

struct Registers {
    Vec4 attributes[kAttributeRegisters] = {};
    Vec4 parameters[kParameterRegisters] = {};
    Vec4 results[kResultRegisters] = {};  // outputs of the last RunVertexProgram
};

// Runs a vertex program on `registers.attributes` and `registers.parameters`; every result
// starts at (0,0,0,1), every temporary and A0.x at 0.
void RunVertexProgram(const Program& program, Registers& registers);

// Runs a vertex state program once with v[0] = input; it writes `parameters`.
void RunStateProgram(const Program& program, const Vec4& input,
                     Vec4 (&parameters)[kParameterRegisters]);

// The single instructions, for the translation's tests and the interpreter itself.
float Reciprocal(float x);
float ReciprocalSquareRoot(float x);
Vec4 Exponential(float x);
Vec4 Logarithm(float x);
Vec4 LightCoefficients(const Vec4& t);

}  // namespace vertexprogram
