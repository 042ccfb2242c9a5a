// A program that knows nothing of the layer: it links only the system GL, opens a context on
// $DISPLAY, and prints whether GL_NV_vertex_program is listed and what loading a program gives.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/offscreen_context.h"

int main() {
    platform::OffscreenContext offscreen;
    if (!offscreen.Open(nullptr, 4, 4)) return 2;
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const bool listed = extensions != nullptr && std::strstr(extensions, "GL_NV_vertex_program");
    std::printf("listed: %s\n", listed ? "yes" : "no");
    if (listed) {
        auto load = reinterpret_cast<PFNGLLOADPROGRAMNVPROC>(
            glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glLoadProgramNV")));
        const char bad[] = "!!VP1.0 MOV o[HPOS], v[0] END";
        load(GL_VERTEX_PROGRAM_NV, 1, GLsizei(sizeof bad - 1),
             reinterpret_cast<const GLubyte*>(bad));
        GLint position = 0;
        const GLenum error = glGetError();
        glGetIntegerv(GL_PROGRAM_ERROR_POSITION_NV, &position);
        std::printf("error: 0x%04X at %d\n", error, position);
    }
    std::fflush(stdout);
    std::_Exit(0);  // no teardown: releasing the pbuffer makes the driver copy it to the server
}
