#include "tests/legacygl/gl_harness.h"

#include <cstring>

namespace legacygltest {
namespace {

template <typename F>
F Fetch(const char* name) {
    return reinterpret_cast<F>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}

const char kTexCoordAsColour[] = "!!ARBfp1.0\nMOV result.color, fragment.texcoord[0];\nEND\n";

}  // namespace

GlHarness::GlHarness() : xvfb_(std::make_unique<testsupport::VirtualDisplay>()) {
    if (xvfb_->Name().empty()) return;
    display_ = XOpenDisplay(xvfb_->Name().c_str());
    if (display_ == nullptr) return;
    const int attributes[] = {GLX_DRAWABLE_TYPE,
                              GLX_PBUFFER_BIT,
                              GLX_RENDER_TYPE,
                              GLX_RGBA_BIT,
                              GLX_RED_SIZE,
                              8,
                              GLX_ALPHA_SIZE,
                              8,
                              None};
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display_, DefaultScreen(display_), attributes, &count);
    if (configs == nullptr || count == 0) return;
    const int size[] = {GLX_PBUFFER_WIDTH, 4, GLX_PBUFFER_HEIGHT, 4, None};
    pbuffer_ = glXCreatePbuffer(display_, configs[0], size);
    context_ = glXCreateNewContext(display_, configs[0], GLX_RGBA_TYPE, nullptr, True);
    config_ = configs[0];
    XFree(configs);
    if (context_ == nullptr || !glXMakeContextCurrent(display_, pbuffer_, pbuffer_, context_))
        return;

    GLuint texture = 0, framebuffer = 0, fragmentProgram = 0;
    auto genPrograms = Fetch<PFNGLGENPROGRAMSARBPROC>("glGenProgramsARB");
    auto bindProgram = Fetch<PFNGLBINDPROGRAMARBPROC>("glBindProgramARB");
    auto programString = Fetch<PFNGLPROGRAMSTRINGARBPROC>("glProgramStringARB");
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 1, 1, 0, GL_RGBA, GL_FLOAT, nullptr);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return;
    glViewport(0, 0, 1, 1);
    glClampColor(GL_CLAMP_READ_COLOR, GL_FALSE);
    glClampColor(GL_CLAMP_VERTEX_COLOR, GL_FALSE);
    glClampColor(GL_CLAMP_FRAGMENT_COLOR, GL_FALSE);
    genPrograms(1, &fragmentProgram);
    bindProgram(GL_FRAGMENT_PROGRAM_ARB, fragmentProgram);
    programString(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_FORMAT_ASCII_ARB,
                  GLsizei(std::strlen(kTexCoordAsColour)), kTexCoordAsColour);
    glEnable(GL_FRAGMENT_PROGRAM_ARB);

    nv_.LoadProgram = Fetch<PFNGLLOADPROGRAMNVPROC>("glLoadProgramNV");
    nv_.BindProgram = Fetch<PFNGLBINDPROGRAMNVPROC>("glBindProgramNV");
    nv_.ProgramParameter4fv = Fetch<PFNGLPROGRAMPARAMETER4FVNVPROC>("glProgramParameter4fvNV");
    nv_.GetProgramParameterfv =
        Fetch<PFNGLGETPROGRAMPARAMETERFVNVPROC>("glGetProgramParameterfvNV");
    nv_.TrackMatrix = Fetch<PFNGLTRACKMATRIXNVPROC>("glTrackMatrixNV");
    nv_.ExecuteProgram = Fetch<PFNGLEXECUTEPROGRAMNVPROC>("glExecuteProgramNV");
    nv_.VertexAttrib4fv = Fetch<PFNGLVERTEXATTRIB4FVNVPROC>("glVertexAttrib4fvNV");
    nv_.GetProgramivARB = Fetch<PFNGLGETPROGRAMIVARBPROC>("glGetProgramivARB");
    ready_ = glGetError() == GL_NO_ERROR;
}

GlHarness::~GlHarness() {
    if (display_ == nullptr) return;
    glXMakeContextCurrent(display_, None, None, nullptr);
    if (context_ != nullptr) glXDestroyContext(display_, context_);
    if (pbuffer_ != 0) glXDestroyPbuffer(display_, pbuffer_);
    XCloseDisplay(display_);
}

GLXContext GlHarness::NewContext(bool shared, bool withAttributes) {
    GLXContext share = shared ? context_ : nullptr;
    if (!withAttributes) return glXCreateNewContext(display_, config_, GLX_RGBA_TYPE, share, True);
    auto create = Fetch<PFNGLXCREATECONTEXTATTRIBSARBPROC>("glXCreateContextAttribsARB");
    const int attributes[] = {None};
    return create != nullptr ? create(display_, config_, share, True, attributes) : nullptr;
}

bool GlHarness::MakeCurrent(GLXContext context) {
    context = context != nullptr ? context : context_;
    return glXMakeContextCurrent(display_, pbuffer_, pbuffer_, context);
}

void GlHarness::DestroyContext(GLXContext context) { glXDestroyContext(display_, context); }

bool GlHarness::UseProgram(const std::string& text) {
    nv_.LoadProgram(GL_VERTEX_PROGRAM_NV, 1, GLsizei(text.size()),
                    reinterpret_cast<const GLubyte*>(text.data()));
    if (glGetError() != GL_NO_ERROR) return false;
    nv_.BindProgram(GL_VERTEX_PROGRAM_NV, 1);
    glEnable(GL_VERTEX_PROGRAM_NV);
    return true;
}

vertexprogram::Vec4 GlHarness::DrawPoint() {
    glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glBegin(GL_POINTS);
    glVertex4f(0, 0, 0, 1);
    glEnd();
    vertexprogram::Vec4 pixel = {};
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_FLOAT, pixel.data());
    return pixel;
}

}  // namespace legacygltest
