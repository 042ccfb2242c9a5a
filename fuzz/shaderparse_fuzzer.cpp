// Fuzzes shaderparse in one language with the recording GL as GL: every input is one program
// text, given the language's header when it has none of its own.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fatal_exit_boundary.h"
#include "fuzz/program_header.h"
#include "recgl/recording_gl.h"
#include "shaderparse/parse_state.h"
#include "shaderparse/shaderparse.h"

namespace {

const recgl::Profile& FuzzProfile() {
    static const recgl::Profile profile = [] {
        recgl::Profile p;
        p.extensions =
            "GL_ARB_multitexture GL_NV_vertex_program GL_NV_register_combiners "
            "GL_NV_register_combiners2 GL_NV_texture_shader";
        p.integers[GL_VERTEX_PROGRAM_BINDING_NV] = {1};
        return p;
    }();
    return profile;
}

void Parse(void* text) {
    const char* program = static_cast<const std::string*>(text)->c_str();
    if (std::strncmp(program, "!!VSP1.0", 8) == 0) {
        shaderparse(program, 1);
    } else {
        shaderparse(program);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    fuzz::EnsureHeader(text, FUZZ_PROGRAM_HEADER);
    recgl::Reset(FuzzProfile());
    int status = 0;
    fuzz::RunWithExitBoundary(Parse, &text, status);
    // Release what the parse keeps for its caller (the messages, the recorded GL state): an input
    // that ends with more blocks than it began makes libFuzzer scan the heap for leaks, which
    // costs more than the parse.
    parseErrors.Clear();
    recgl::Reset(FuzzProfile());
    return 0;
}
