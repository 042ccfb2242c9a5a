// The recording-GL profile the shaderparse tests run against.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include "recgl/recording_gl.h"

inline recgl::Profile ShaderTestProfile(GLint boundProgram = 1) {
    recgl::Profile profile;
    profile.extensions =
        "GL_ARB_multitexture GL_NV_vertex_program GL_NV_register_combiners "
        "GL_NV_register_combiners2 GL_NV_texture_shader";
    profile.integers[GL_VERTEX_PROGRAM_BINDING_NV] = {boundProgram};
    return profile;
}

// The calls of one name, in order.
inline std::vector<recgl::Call> CallsNamed(const std::string& name) {
    std::vector<recgl::Call> calls;
    for (const recgl::Call& call : recgl::Calls()) {
        if (call.name == name) calls.push_back(call);
    }
    return calls;
}
