#include "platform/platform.h"

#include <GL/glx.h>

#include <cstdio>
#include <cstring>

namespace platform {

GlProc LookupGlProc(const char* name) {
    // Only GL and GLX names can be had from GLX; anything else (e.g. "wgl...") is not asked for.
    if (name == nullptr || std::strncmp(name, "gl", 2) != 0) return nullptr;
    return glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name));
}

const char* WindowSystemExtensions() {
    Display* display = glXGetCurrentDisplay();
    GLXContext context = glXGetCurrentContext();
    if (display == nullptr || context == nullptr) return "";
    int screen = 0;
    if (glXQueryContext(display, context, GLX_SCREEN, &screen) != Success) return "";
    const char* extensions = glXQueryExtensionsString(display, screen);
    return extensions != nullptr ? extensions : "";
}

namespace {

void WriteToStandardError(const char* title, const char* text) {
    std::fprintf(stderr, "%s: %s\n", title != nullptr ? title : "", text != nullptr ? text : "");
    std::fflush(stderr);
}

// Null while the default is in place, so that handing back what SetMessageSink returned
// always restores the earlier state.
MessageSink messageSink = nullptr;

}  // namespace

void ShowMessage(const char* title, const char* text) {
    (messageSink != nullptr ? messageSink : WriteToStandardError)(title, text);
}

MessageSink SetMessageSink(MessageSink sink) {
    MessageSink previous = messageSink;
    messageSink = sink;
    return previous;
}

}  // namespace platform
