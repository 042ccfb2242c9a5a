// Fuzzes the vertex-program checker, and for every text it accepts the CPU interpreter and the
// ARB translation: a valid program must run and translate whatever it computes.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/program_header.h"
#include "legacygl/arb_translation.h"
#include "vertexprogram/interpreter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    fuzz::EnsureHeader(text, FUZZ_PROGRAM_HEADER);
    vertexprogram::Program program;
    if (vertexprogram::Parse(text.data(), text.size(), &program) >= 0) return 0;
    // Registers with a spread of values, the special ones included, so that relative reads
    // land in and out of range.
    static const float kValues[] = {0.0f, -0.0f, 1.0f, -2.5f, 95.0f, 1e30f, -1e30f, INFINITY};
    vertexprogram::Registers registers;
    for (int i = 0; i < vertexprogram::kAttributeRegisters; ++i)
        for (int c = 0; c < 4; ++c) registers.attributes[i][c] = kValues[(i + c) % 8];
    for (int i = 0; i < vertexprogram::kParameterRegisters; ++i)
        for (int c = 0; c < 4; ++c) registers.parameters[i][c] = kValues[(i * 3 + c) % 8];
    if (program.stateProgram) {
        vertexprogram::RunStateProgram(program, registers.attributes[0], registers.parameters);
        return 0;
    }
    vertexprogram::RunVertexProgram(program, registers);
    legacygl::TranslationState state;
    state.tracking[(size > 0 ? data[0] : 0) % legacygl::kTrackingSlots].matrix =
        GL_MODELVIEW_PROJECTION_NV;
    state.attributeArrays = static_cast<uint16_t>(size * 2654435761u);
    const std::string arb = legacygl::TranslateToArb(program, state);
    if (arb.compare(0, 11, "!!ARBvp1.0\n") != 0 || arb.compare(arb.size() - 4, 4, "END\n") != 0)
        std::abort();
    return 0;
}
