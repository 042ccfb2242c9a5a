// The functions of whatever GL comes after the layer (the driver, or the recording GL in tests).
// The layer calls only these pointers, never the gl* names it may itself export, so that it
// cannot call itself.
#pragma once

// Needs GL_GLEXT_PROTOTYPES (set for every user of the layer core).

#include <GL/gl.h>
#include <GL/glext.h>

namespace legacygl {

struct NextGl {
#define NEXT_GL(name) decltype(&::name) name = nullptr;
#include "legacygl/next_gl.def"
#undef NEXT_GL

    using Proc = void (*)();
    using Resolver = Proc (*)(const char* name);
    // glXGetProcAddressARB below the layer.
    Proc (*getProcAddress)(const GLubyte* name) = nullptr;
    // Fills every pointer through resolve (which may return null).
    void Load(Resolver resolve);
};

}  // namespace legacygl
