// Fuzzes shaderparse with the recording GL as GL: every input is one program text.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fatal_exit_boundary.h"
#include "recgl/recording_gl.h"
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
#ifdef FUZZ_PROGRAM_HEADER
    if (text.compare(0, std::strlen(FUZZ_PROGRAM_HEADER), FUZZ_PROGRAM_HEADER) != 0) {
        text = FUZZ_PROGRAM_HEADER "\n" + text;
    }
#endif
    recgl::Reset(FuzzProfile());
    int status = 0;
    fuzz::RunWithExitBoundary(Parse, &text, status);
    return 0;
}
