#include "app/volume_render.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>
#include <GL/glut.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/app_state.h"
#include "platform/exit_program.h"
#include "glext/entry_points.h"
#include "image/bmp_loader.h"
#include "platform/platform.h"
#include "solver/grid.h"

namespace {

// The wire cube: per face four corners, each a texture coordinate (s, t) and a vertex.
struct CubeCorner {
    float s, t, x, y, z;
};
constexpr CubeCorner kCube[24] = {
    {0, 0, -1, -1, 1},  {1, 0, 1, -1, 1},  {1, 1, 1, 1, 1},  {0, 1, -1, 1, 1},   // z = +1
    {1, 0, -1, -1, -1}, {1, 1, -1, 1, -1}, {0, 1, 1, 1, -1}, {0, 0, 1, -1, -1},  // z = -1
    {0, 1, -1, 1, -1},  {0, 0, -1, 1, 1},  {1, 0, 1, 1, 1},  {1, 1, 1, 1, -1},   // y = +1
    {1, 1, -1, -1, -1}, {0, 1, 1, -1, -1}, {0, 0, 1, -1, 1}, {1, 0, -1, -1, 1},  // y = -1
    {1, 0, 1, -1, -1},  {1, 1, 1, 1, -1},  {0, 1, 1, 1, 1},  {0, 0, 1, -1, 1},   // x = +1
    {0, 0, -1, -1, -1}, {1, 0, -1, -1, 1}, {1, 1, -1, 1, 1}, {0, 1, -1, 1, -1},  // x = -1
};

// The texels of the particle texture, kept for the whole run.
unsigned char* particleTexels = nullptr;

void SetPointSizeToMaximum() {
    GLfloat maxSize = 0.0f;
    glGetFloatv(GL_POINT_SIZE_MAX_EXT, &maxSize);
    glPointSize(maxSize);
}

}  // namespace

void InitGlState() {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);  // additive: each sprite adds its colour times alpha
}

unsigned char* BuildParticleTexels(const RgbImage& image) {
    if (image.data == nullptr || image.width <= 0 || image.height <= 0) {
        return nullptr;
    }
    const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    auto* texels = static_cast<unsigned char*>(malloc(pixels * 4));
    if (texels == nullptr) {
        return nullptr;
    }
    for (size_t n = 0; n < pixels; ++n) {
        const unsigned char* src = image.data + n * 3;
        unsigned char* dst = texels + n * 4;
        dst[0] = static_cast<unsigned char>(src[0] * 0.5);
        dst[1] = static_cast<unsigned char>(src[1] * 0.5);
        dst[2] = src[2];
        dst[3] = static_cast<unsigned char>(src[0] * 0.5);
    }
    return texels;
}

std::string ParticleImagePath() {
    static const char kName[] = "particle.bmp";
    if (access(kName, F_OK) == 0) return kName;
    const platform::ModuleLocation module = platform::ThisModule();
    if (!module.directory.empty()) {
        const std::string installed =
            module.directory + "/" +
            (module.sharedLibrary ? FLUID3D_LIB_TO_DATA : FLUID3D_BIN_TO_DATA) + "/" + kName;
        if (access(installed.c_str(), F_OK) == 0) return installed;
    }
    return kName;
}

void PrepareParticleTexture() { PrepareParticleTextureFrom(ParticleImagePath().c_str()); }

void PrepareParticleTextureFrom(const char* fileName) {
    // Without an image no texture is made: the sprites are drawn as flat squares. A picture
    // larger than GL can take as a texture is refused by the loader, before it takes memory.
    GLint maxTextureSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);
    if (RgbImage* image = LoadBmpImage(fileName, maxTextureSize > 0 ? maxTextureSize : INT32_MAX)) {
        GLuint name = 0;
        glGenTextures(1, &name);
        particleTexture = name;
        glBindTexture(GL_TEXTURE_2D, particleTexture);
        // Without texels the texture object keeps no image, which GL treats as texturing off:
        // untextured sprites.
        free(particleTexels);
        particleTexels = BuildParticleTexels(*image);
        if (particleTexels != nullptr) {
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, image->width, image->height, 0, GL_RGBA,
                         GL_UNSIGNED_BYTE, particleTexels);
        }
        free(image->data);
        free(image);
    }
    SetPointSizeToMaximum();

    InstallRunningParameters();
    if (!AllocateFields()) {
        ExitProgram(1);
    }
    ClearFields();
    windowWidth = 512;
    windowHeight = 512;
}

void OnReshape(int width, int height) {
    windowWidth = width;
    windowHeight = height;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // A window without height is treated as one pixel high rather than dividing by zero.
    const double aspect = static_cast<double>(width) / (height != 0 ? height : 1);
    gluPerspective(60.0, aspect, 2.0, 200.0);
    glMatrixMode(GL_MODELVIEW);
    glViewport(0, 0, width, height);
}

void OnDisplay() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -4.0f);
    glRotatef(viewAngleY, 0.0f, 1.0f, 0.0f);
    glRotatef(viewAngleX, 1.0f, 0.0f, 0.0f);
    DrawVolume();
    glPopMatrix();
    glutSwapBuffers();
}

void DrawVolume() {
    // Sprite size from distance, clamped to 40..45 pixels. Skipped when the implementation
    // lacks point parameters: the sprites then keep the size set at start-up.
    if (glext::glPointParameterfvEXT != nullptr && glext::glPointParameterfEXT != nullptr) {
        const GLfloat attenuation[3] = {1.0f, 0.0f, 0.001f};
        glext::glPointParameterfvEXT(GL_DISTANCE_ATTENUATION_EXT, attenuation);
        SetPointSizeToMaximum();
        glext::glPointParameterfEXT(GL_POINT_FADE_THRESHOLD_SIZE_EXT, 60.0f);
        glext::glPointParameterfEXT(GL_POINT_SIZE_MIN_EXT, 40.0f);
        glext::glPointParameterfEXT(GL_POINT_SIZE_MAX_EXT, 45.0f);
    }
    glTexEnvf(GL_POINT_SPRITE_NV, GL_COORD_REPLACE_NV, 1.0f);
    glEnable(GL_POINT_SPRITE_NV);

    const float hx = 2.0f / gridX;
    const float hy = 2.0f / gridY;
    const float hz = 2.0f / gridZ;
    glBegin(GL_POINTS);
    for (int k = 1; k <= gridZ; ++k) {
        for (int i = 1; i <= gridX; ++i) {
            for (int j = 1; j <= gridY; ++j) {
                const float d = density[CellIndex(i, j, k)];
                glColor4f(0.7f, 0.7f, 1.0f, d * d);
                glVertex3f(i * hx - 1.0f, j * hy - 1.0f, k * hz - 1.0f);
            }
        }
    }
    glEnd();

    glDisable(GL_TEXTURE_2D);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glColor4f(1.0f, 1.0f, 1.0f, 255.0f);  // GL clamps the alpha to 1
    glBegin(GL_QUADS);
    for (const CubeCorner& c : kCube) {
        glTexCoord2f(c.s, c.t);
        glVertex3f(c.x, c.y, c.z);
    }
    glEnd();
    glEnable(GL_TEXTURE_2D);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}
