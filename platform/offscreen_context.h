// An offscreen GL context for tools, benchmarks and tests: a pbuffer with an 8-bit RGB or RGBA
// configuration on an X display, and a context current on it.
#pragma once

#include <GL/glx.h>

#include <vector>

namespace platform {

class OffscreenContext {
  public:
    // Opens the display (null: $DISPLAY), makes a width x height pbuffer (with 8 alpha bits or
    // none) and a context and makes it current. False when any step fails. Nothing is released
    // unless Close is called.
    bool Open(const char* displayName, int width, int height, bool alpha = true);
    // Releases the contexts made by Open and NewContext, the pbuffer and the display. Only for a
    // pbuffer with alpha that was never drawn into (a framebuffer object took the drawing):
    // releasing a drawn one, or making another context current, makes the driver copy it to
    // the X server, which refuses a pbuffer deeper than its screen.
    void Close();

    // Another context for the same configuration, sharing objects with the first or not.
    GLXContext NewContext(bool shared);
    // Makes a context (null: the first) current on the pbuffer.
    bool MakeCurrent(GLXContext context = nullptr) const;

    Display* XDisplay() const { return display_; }
    GLXFBConfig Config() const { return config_; }
    GLXContext Context() const { return context_; }

  private:
    Display* display_ = nullptr;
    GLXFBConfig config_ = nullptr;
    GLXPbuffer pbuffer_ = 0;
    GLXContext context_ = nullptr;
    std::vector<GLXContext> others_;
};

}  // namespace platform
