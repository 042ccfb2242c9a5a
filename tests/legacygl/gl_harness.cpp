#include "tests/legacygl/gl_harness.h"

#include <cstring>

namespace legacygltest {
namespace {

const char kTexCoordAsColour[] = "!!ARBfp1.0\nMOV result.color, fragment.texcoord[0];\nEND\n";

}  // namespace

GlHarness* HarnessTest::harness = nullptr;

GlHarness::GlHarness() : xvfb_(std::make_unique<testsupport::VirtualDisplay>()) {
    if (xvfb_->Name().empty() || !offscreen_.Open(xvfb_->Name().c_str(), 4, 4)) return;

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

GLXContext GlHarness::NewContext(bool shared, bool withAttributes) {
    if (!withAttributes) return offscreen_.NewContext(shared);
    auto create = Fetch<PFNGLXCREATECONTEXTATTRIBSARBPROC>("glXCreateContextAttribsARB");
    const int attributes[] = {None};
    if (create == nullptr) return nullptr;
    return create(offscreen_.XDisplay(), offscreen_.Config(),
                  shared ? offscreen_.Context() : nullptr, True, attributes);
}

bool GlHarness::MakeCurrent(GLXContext context) { return offscreen_.MakeCurrent(context); }

GlHarness::~GlHarness() { offscreen_.Close(); }  // before the X server goes

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
