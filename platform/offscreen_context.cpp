#include "platform/offscreen_context.h"

namespace platform {

bool OffscreenContext::Open(const char* displayName, int width, int height, bool alpha) {
    display_ = XOpenDisplay(displayName);
    if (display_ == nullptr) return false;
    // Without alpha the driver's first pbuffer configuration, which matches the screen.
    std::vector<int> attributes = {GLX_DRAWABLE_TYPE, GLX_PBUFFER_BIT, GLX_RENDER_TYPE,
                                   GLX_RGBA_BIT};
    if (alpha) {
        attributes.insert(attributes.end(), {GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8,
                                             GLX_ALPHA_SIZE, 8});
    }
    attributes.push_back(None);
    int count = 0;
    GLXFBConfig* configs =
        glXChooseFBConfig(display_, DefaultScreen(display_), attributes.data(), &count);
    if (configs == nullptr || count == 0) return false;
    config_ = configs[0];
    XFree(configs);
    const int size[] = {GLX_PBUFFER_WIDTH, width, GLX_PBUFFER_HEIGHT, height, None};
    pbuffer_ = glXCreatePbuffer(display_, config_, size);
    context_ = glXCreateNewContext(display_, config_, GLX_RGBA_TYPE, nullptr, True);
    return pbuffer_ != 0 && context_ != nullptr && MakeCurrent();
}

GLXContext OffscreenContext::NewContext(bool shared) {
    if (display_ == nullptr || config_ == nullptr) return nullptr;
    GLXContext context =
        glXCreateNewContext(display_, config_, GLX_RGBA_TYPE, shared ? context_ : nullptr, True);
    if (context != nullptr) others_.push_back(context);
    return context;
}

void OffscreenContext::Close() {
    if (display_ == nullptr) return;
    glXMakeContextCurrent(display_, None, None, nullptr);
    for (GLXContext c : others_) glXDestroyContext(display_, c);
    others_.clear();
    if (context_ != nullptr) glXDestroyContext(display_, context_);
    if (pbuffer_ != 0) glXDestroyPbuffer(display_, pbuffer_);
    XCloseDisplay(display_);
    display_ = nullptr;
    context_ = nullptr;
    pbuffer_ = 0;
}

bool OffscreenContext::MakeCurrent(GLXContext context) const {
    if (display_ == nullptr) return false;
    return glXMakeContextCurrent(display_, pbuffer_, pbuffer_,
                                 context != nullptr ? context : context_);
}

}  // namespace platform
