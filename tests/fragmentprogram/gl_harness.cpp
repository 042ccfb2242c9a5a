#include "tests/fragmentprogram/gl_harness.h"
#include <algorithm>
#include <cmath>

#include "platform/offscreen_context.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"

namespace fragmenttest {

using fragmentprogram::Environment;
using fragmentprogram::kMaxTextureUnits;

namespace {

// Entry points beyond GL 1.1, fetched once a context is current.
#define HARNESS_PROCS(X)                                           \
    X(PFNGLACTIVETEXTUREPROC, glActiveTexture)                     \
    X(PFNGLSECONDARYCOLOR3FPROC, glSecondaryColor3f)               \
    X(PFNGLFOGCOORDFPROC, glFogCoordf)                             \
    X(PFNGLTEXIMAGE3DPROC, glTexImage3D)                           \
    X(PFNGLCLAMPCOLORPROC, glClampColor)                           \
    X(PFNGLGENFRAMEBUFFERSPROC, glGenFramebuffers)                 \
    X(PFNGLBINDFRAMEBUFFERPROC, glBindFramebuffer)                 \
    X(PFNGLGENRENDERBUFFERSPROC, glGenRenderbuffers)               \
    X(PFNGLBINDRENDERBUFFERPROC, glBindRenderbuffer)               \
    X(PFNGLRENDERBUFFERSTORAGEPROC, glRenderbufferStorage)         \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, glFramebufferRenderbuffer) \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, glCheckFramebufferStatus)   \
    X(PFNGLGENPROGRAMSARBPROC, glGenProgramsARB)                   \
    X(PFNGLBINDPROGRAMARBPROC, glBindProgramARB)                   \
    X(PFNGLDELETEPROGRAMSARBPROC, glDeleteProgramsARB)             \
    X(PFNGLPROGRAMSTRINGARBPROC, glProgramStringARB)               \
    X(PFNGLPROGRAMLOCALPARAMETER4FVARBPROC, glProgramLocalParameter4fvARB)

struct Procs {
#define HARNESS_SLOT(type, name) type name = nullptr;
    HARNESS_PROCS(HARNESS_SLOT)
#undef HARNESS_SLOT
};

GLenum TargetToken(int target) {
    static const GLenum kTokens[] = {GL_TEXTURE_1D, GL_TEXTURE_2D, GL_TEXTURE_3D,
                                     GL_TEXTURE_CUBE_MAP, GL_TEXTURE_RECTANGLE_NV};
    return kTokens[target];
}

bool IsIntensity(GLenum internalFormat) {
    return internalFormat == GL_INTENSITY || internalFormat == GL_INTENSITY8 ||
           internalFormat == GL_INTENSITY32F_ARB || internalFormat == GL_INTENSITY16F_ARB;
}

int Nearest(float coord, int size) {
    return std::clamp(int(std::floor(coord * size)), 0, size - 1);
}

}  // namespace

int ComponentsOf(GLenum format) {
    switch (format) {
        case GL_RGBA:
            return 4;
        case GL_RGB:
            return 3;
        case GL_RG:
        case GL_LUMINANCE_ALPHA:
            return 2;
        default:
            return 1;
    }
}

Vec4 TestTexture::Sample(const Vec4& coord) const {
    int x = 0, y = 0, z = 0, face = 0;
    switch (target) {
        case fragmentprogram::k1D:
            x = Nearest(coord[0], width);
            break;
        case fragmentprogram::k2D:
            x = Nearest(coord[0], width);
            y = Nearest(coord[1], height);
            break;
        case fragmentprogram::k3D:
            x = Nearest(coord[0], width);
            y = Nearest(coord[1], height);
            z = Nearest(coord[2], depth);
            break;
        case fragmentprogram::kRectangle:
            x = std::clamp(int(std::floor(coord[0])), 0, width - 1);
            y = std::clamp(int(std::floor(coord[1])), 0, height - 1);
            break;
        default: {  // cube map: the major axis picks the face
            const float rx = coord[0], ry = coord[1], rz = coord[2];
            const float ax = std::fabs(rx), ay = std::fabs(ry), az = std::fabs(rz);
            float sc, tc, ma;
            if (ax >= ay && ax >= az) {
                face = rx >= 0 ? 0 : 1;
                sc = rx >= 0 ? -rz : rz;
                tc = -ry;
                ma = ax;
            } else if (ay >= az) {
                face = ry >= 0 ? 2 : 3;
                sc = rx;
                tc = ry >= 0 ? rz : -rz;
                ma = ay;
            } else {
                face = rz >= 0 ? 4 : 5;
                sc = rz >= 0 ? rx : -rx;
                tc = -ry;
                ma = az;
            }
            x = Nearest((sc / ma + 1) / 2, width);
            y = Nearest((tc / ma + 1) / 2, width);
            z = face;
            break;
        }
    }
    const int n = ComponentsOf(format);
    const size_t index = ((size_t(z) * height + y) * width + x) * n;
    const float* c = &texels[index];
    if (IsIntensity(internalFormat)) return {c[0], c[0], c[0], c[0]};
    switch (format) {
        case GL_RGBA:
            return {c[0], c[1], c[2], c[3]};
        case GL_RGB:
            return {c[0], c[1], c[2], 1};
        case GL_RG:
            return {c[0], c[1], 0, 1};
        case GL_LUMINANCE:
            return {c[0], c[0], c[0], 1};
        case GL_LUMINANCE_ALPHA:
            return {c[0], c[0], c[0], c[1]};
        case GL_ALPHA:
            return {0, 0, 0, c[0]};
        default:
            return {c[0], 0, 0, 1};
    }
}

struct GlHarness::Impl {
    testsupport::VirtualDisplay xvfb;
    platform::OffscreenContext offscreen;  // every drawing goes to the framebuffer objects
    Procs gl;
    GLuint program = 0;
    GLuint framebuffers[2] = {};  // float colours, 8-bit colours
    bool eightBit = false;
    GLuint textures[kMaxTextureUnits][fragmentprogram::kTargetCount] = {};
};

GlHarness::GlHarness() : impl_(new Impl) {
    Impl& d = *impl_;
    if (d.xvfb.Name().empty()) {
        failure_ = "Xvfb did not start";
        return;
    }
    if (!d.offscreen.Open(d.xvfb.Name().c_str(), kSize, kSize)) {
        failure_ = "no GL context on " + d.xvfb.Name();
        return;
    }
#define HARNESS_FETCH(type, name) d.gl.name = reinterpret_cast<type>(platform::LookupGlProc(#name));
    HARNESS_PROCS(HARNESS_FETCH)
#undef HARNESS_FETCH
    // Float colours for exact values, 8-bit ones as a window holds them; both with float depth.
    const GLenum colorFormats[2] = {GL_RGBA32F, GL_RGBA8};
    for (int f = 0; f < 2; ++f) {
        GLuint color, depth;
        d.gl.glGenFramebuffers(1, &d.framebuffers[f]);
        d.gl.glBindFramebuffer(GL_FRAMEBUFFER, d.framebuffers[f]);
        d.gl.glGenRenderbuffers(1, &color);
        d.gl.glBindRenderbuffer(GL_RENDERBUFFER, color);
        d.gl.glRenderbufferStorage(GL_RENDERBUFFER, colorFormats[f], kSize, kSize);
        d.gl.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                       color);
        d.gl.glGenRenderbuffers(1, &depth);
        d.gl.glBindRenderbuffer(GL_RENDERBUFFER, depth);
        d.gl.glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT32F, kSize, kSize);
        d.gl.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
        if (d.gl.glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            failure_ = "framebuffer incomplete";
            return;
        }
    }
    d.gl.glBindFramebuffer(GL_FRAMEBUFFER, d.framebuffers[0]);
    d.gl.glClampColor(GL_CLAMP_READ_COLOR, GL_FALSE);
    d.gl.glClampColor(GL_CLAMP_FRAGMENT_COLOR, GL_FALSE);
    glViewport(0, 0, kSize, kSize);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    glFogi(GL_FOG_COORDINATE_SOURCE, GL_FOG_COORDINATE);
    d.gl.glGenProgramsARB(1, &d.program);
    d.gl.glBindProgramARB(GL_FRAGMENT_PROGRAM_ARB, d.program);
    glEnable(GL_FRAGMENT_PROGRAM_ARB);
    for (int unit = 0; unit < kMaxTextureUnits; ++unit) {
        glGenTextures(fragmentprogram::kTargetCount, d.textures[unit]);
    }
    if (glGetError() != GL_NO_ERROR) failure_ = "GL error while setting up";
}

GlHarness::~GlHarness() { impl_->offscreen.Close(); }

std::string GlHarness::Load(const std::string& text) {
    while (glGetError() != GL_NO_ERROR) {
    }
    // A fresh object for every program.
    Impl& d = *impl_;
    d.gl.glDeleteProgramsARB(1, &d.program);
    d.gl.glGenProgramsARB(1, &d.program);
    d.gl.glBindProgramARB(GL_FRAGMENT_PROGRAM_ARB, d.program);
    impl_->gl.glProgramStringARB(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_FORMAT_ASCII_ARB,
                                 GLsizei(text.size()), text.data());
    if (glGetError() == GL_NO_ERROR) return "";
    GLint position = -1;
    glGetIntegerv(GL_PROGRAM_ERROR_POSITION_ARB, &position);
    const char* message = reinterpret_cast<const char*>(glGetString(GL_PROGRAM_ERROR_STRING_ARB));
    return "at " + std::to_string(position) + ": " + (message ? message : "");
}

void GlHarness::SetLocals(const std::vector<Vec4>& locals) {
    for (size_t i = 0; i < locals.size(); ++i) {
        impl_->gl.glProgramLocalParameter4fvARB(GL_FRAGMENT_PROGRAM_ARB, GLuint(i),
                                                locals[i].data());
    }
}

void GlHarness::Bind(int unit, const TestTexture& t) {
    Impl& d = *impl_;
    d.gl.glActiveTexture(GL_TEXTURE0 + unit);
    const GLenum target = TargetToken(t.target);
    glBindTexture(target, d.textures[unit][t.target]);
    const float* data = t.texels.data();
    switch (t.target) {
        case fragmentprogram::k1D:
            glTexImage1D(target, 0, GLint(t.internalFormat), t.width, 0, t.format, GL_FLOAT, data);
            break;
        case fragmentprogram::k3D:
            d.gl.glTexImage3D(target, 0, GLint(t.internalFormat), t.width, t.height, t.depth, 0,
                              t.format, GL_FLOAT, data);
            break;
        case fragmentprogram::kCubeMap: {
            const size_t face = size_t(t.width) * t.width * ComponentsOf(t.format);
            for (int f = 0; f < 6; ++f) {
                glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f, 0, GLint(t.internalFormat),
                             t.width, t.width, 0, t.format, GL_FLOAT, data + f * face);
            }
            break;
        }
        default:
            glTexImage2D(target, 0, GLint(t.internalFormat), t.width, t.height, 0, t.format,
                         GL_FLOAT, data);
            break;
    }
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    for (GLenum wrap : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R}) {
        glTexParameteri(target, wrap, GL_CLAMP_TO_EDGE);
    }
    d.gl.glActiveTexture(GL_TEXTURE0);
}

void GlHarness::Unbind(int unit) {
    Impl& d = *impl_;
    d.gl.glActiveTexture(GL_TEXTURE0 + unit);
    for (int target = 0; target < fragmentprogram::kTargetCount; ++target) {
        glBindTexture(TargetToken(target), 0);
    }
    d.gl.glActiveTexture(GL_TEXTURE0);
}

void GlHarness::SetEnvironment(const Environment& env) {
    Impl& d = *impl_;
    glFogfv(GL_FOG_COLOR, env.fogColor.data());
    glFogf(GL_FOG_DENSITY, env.fogDensity);
    glFogf(GL_FOG_START, env.fogStart);
    glFogf(GL_FOG_END, env.fogEnd);
    glDepthRange(env.depthNear, env.depthFar);
    for (int unit = 0; unit < kMaxTextureUnits; ++unit) {
        d.gl.glActiveTexture(GL_TEXTURE0 + unit);
        glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, env.envColor[unit].data());
    }
    d.gl.glActiveTexture(GL_TEXTURE0);
}

void GlHarness::UseEightBitColors(bool eightBit) {
    impl_->eightBit = eightBit;
    impl_->gl.glBindFramebuffer(GL_FRAMEBUFFER, impl_->framebuffers[eightBit ? 1 : 0]);
}

std::vector<Rendered> GlHarness::Draw(const std::vector<Case>& cases) {
    Impl& d = *impl_;
    std::vector<Rendered> results;
    constexpr int kCells = kSize * kSize;
    for (size_t first = 0; first < cases.size(); first += kCells) {
        const size_t count = std::min(cases.size() - first, size_t(kCells));
        // A colour no program writes marks discarded fragments.
        glClearColor(-7, -7, -7, -7);
        glClearDepth(0.25);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glBegin(GL_QUADS);
        for (size_t n = 0; n < count; ++n) {
            const fragmentprogram::Fragment& f = cases[first + n].fragment;
            const float x0 = -1.0f + 2.0f * float(n % kSize) / kSize;
            const float y0 = -1.0f + 2.0f * float(n / kSize) / kSize;
            const float step = 2.0f / kSize;
            const float corners[4][2] = {
                {x0, y0}, {x0 + step, y0}, {x0 + step, y0 + step}, {x0, y0 + step}};
            for (const auto& corner : corners) {
                glColor4fv(f.primary.data());
                d.gl.glSecondaryColor3f(f.secondary[0], f.secondary[1], f.secondary[2]);
                d.gl.glFogCoordf(f.fogCoordinate);
                for (int unit = 0; unit < kMaxTextureUnits; ++unit) {
                    const Vec4& c = f.texcoord[unit];
                    glMultiTexCoord4f(GL_TEXTURE0 + unit, c[0], c[1], c[2], c[3]);
                }
                glVertex2f(corner[0], corner[1]);
            }
        }
        glEnd();
        std::vector<float> pixels(size_t(kCells) * 4), depths(kCells);
        glReadPixels(0, 0, kSize, kSize, GL_RGBA, GL_FLOAT, pixels.data());
        glReadPixels(0, 0, kSize, kSize, GL_DEPTH_COMPONENT, GL_FLOAT, depths.data());
        for (size_t n = 0; n < count; ++n) {
            Rendered r;
            for (int k = 0; k < 4; ++k) r.color[k] = pixels[n * 4 + k];
            r.drawn = d.eightBit || r.color[0] != -7.0f;
            r.depth = depths[n];
            results.push_back(r);
        }
    }
    return results;
}

Environment EnvironmentFor(const std::vector<const TestTexture*>& textures) {
    Environment env;
    env.sample = [textures](int unit, int target, const Vec4& coord) {
        if (size_t(unit) >= textures.size() || textures[unit] == nullptr ||
            textures[unit]->target != target) {
            return Vec4{0, 0, 0, 1};
        }
        return textures[unit]->Sample(coord);
    };
    return env;
}

}  // namespace fragmenttest
