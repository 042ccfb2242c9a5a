// The demo's idle callback and start-up reports. Kept apart from DemoMain, which owns the
// window, so that they run against any GL with a current context.
#include <GL/gl.h>
#include <GL/glut.h>

#include <cstdio>

#include "app/demo_main.h"
#include "app/idle_step.h"
#include "glext/extensions.h"

namespace {
constexpr GLenum kMax3dTextureSize = 0x8073;

const char* GlText(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "";
}
}  // namespace

void OnIdle() {
    AdvanceSimulation();
    glutPostRedisplay();
}

void CheckRequiredExtensions() {
    if (!CheckAndLoadExtensions(
            "GL_EXT_point_parameters GL_NV_point_sprite GL_ARB_multitexture GL_VERSION_1_2 ")) {
        fprintf(stderr, "Error - required extensions were not supported: %s",
                LastUnsupportedNames() ? LastUnsupportedNames() : "");
    }
}

void PrintRendererInfo() {
    printf("Vendor:   %s\n", GlText(GL_VENDOR));
    printf("Renderer: %s\n", GlText(GL_RENDERER));
    printf("Version:  %s\n", GlText(GL_VERSION));
    printf("Extensions: %s\n", GlText(GL_EXTENSIONS));
    GLint max3dSize = 0;
    glGetIntegerv(kMax3dTextureSize, &max3dSize);
    printf("Max 3D texture size = %d\n", max3dSize);
    // The demo then runs for good; let a pipe or file see the lines now.
    fflush(stdout);
}
