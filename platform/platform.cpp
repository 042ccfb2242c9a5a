#include "platform/platform.h"

#include <GL/glx.h>
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

ModuleLocation ThisModule() {
    ModuleLocation module;
    std::string file;
    Dl_info info;
    link_map* map = nullptr;
    // The main program's link map has an empty name; a shared library's names its file.
    if (dladdr1(reinterpret_cast<void*>(&ThisModule), &info, reinterpret_cast<void**>(&map),
                RTLD_DL_LINKMAP) != 0 &&
        map != nullptr && map->l_name != nullptr && map->l_name[0] != '\0') {
        file = map->l_name;
        module.sharedLibrary = true;
    } else {
        char path[4096];
        const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
        if (length > 0) file.assign(path, static_cast<size_t>(length));
    }
    char* absolute = realpath(file.c_str(), nullptr);
    if (absolute == nullptr) return ModuleLocation();
    file = absolute;
    std::free(absolute);
    module.directory = file.substr(0, file.rfind('/'));
    return module;
}

}  // namespace platform
