// A GL context on a virtual display for the layer's tests: a 1x1 RGBA32F framebuffer object read
// back unclamped, a fragment program that writes o[TEX0] as the colour, and the legacy entry
// points fetched through glXGetProcAddressARB (that is, from the layer).
#pragma once

#define GL_GLEXT_PROTOTYPES 1

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <memory>
#include <string>

#include "platform/offscreen_context.h"
#include "tests/support/test_support.h"
#include "vertexprogram/interpreter.h"

namespace legacygltest {

// An entry point of the current context, looked up through glXGetProcAddressARB (the layer).
template <typename F>
F Fetch(const char* name) {
    return reinterpret_cast<F>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}

struct LegacyEntryPoints {
    PFNGLLOADPROGRAMNVPROC LoadProgram;
    PFNGLBINDPROGRAMNVPROC BindProgram;
    PFNGLPROGRAMPARAMETER4FVNVPROC ProgramParameter4fv;
    PFNGLGETPROGRAMPARAMETERFVNVPROC GetProgramParameterfv;
    PFNGLTRACKMATRIXNVPROC TrackMatrix;
    PFNGLEXECUTEPROGRAMNVPROC ExecuteProgram;
    PFNGLVERTEXATTRIB4FVNVPROC VertexAttrib4fv;
    PFNGLGETPROGRAMIVARBPROC GetProgramivARB;  // not exported by the GL library
};

class GlHarness {
  public:
    GlHarness();
    ~GlHarness();
    bool Ready() const { return ready_; }
    const LegacyEntryPoints& Nv() const { return nv_; }

    // Loads a !!VP1.0 text as program 1, binds it and enables vertex programs; false (with the
    // GL error consumed) when the load fails.
    bool UseProgram(const std::string& text);
    // Clears to (0.25, 0.5, 0.75, 1) and draws one point at the pixel centre (object position
    // (0,0,0,1)); the pixel's colour is o[TEX0] of the vertex program.
    vertexprogram::Vec4 DrawPoint();

    // Another context on the same drawable, sharing objects with the harness's own or not,
    // made by glXCreateNewContext or by glXCreateContextAttribsARB; null when it cannot be made.
    GLXContext NewContext(bool shared, bool withAttributes = false);
    // Makes a context current (the harness's own for null).
    bool MakeCurrent(GLXContext context);

  private:
    std::unique_ptr<testsupport::VirtualDisplay> xvfb_;
    platform::OffscreenContext offscreen_;
    LegacyEntryPoints nv_ = {};
    bool ready_ = false;
};

// A test suite drawing through one harness, opened for the suite and closed after it.
class HarnessTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { harness = new GlHarness(); }
    static void TearDownTestSuite() {
        delete harness;
        harness = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(harness->Ready()) << "no GL context on a virtual display";
        while (glGetError() != GL_NO_ERROR) {
        }
    }

    static GlHarness* harness;
};

}  // namespace legacygltest
