// Platform layer: the few services of the window system and the desktop that the program needs,
// behind one small interface so that tests can stand in for them.
#pragma once

#include <string>

namespace platform {

using GlProc = void (*)();

// Looks up a GL or GLX entry point by name through glXGetProcAddressARB. Names that are not GL
// names of this platform (anything not starting with "gl", such as "wgl...") are never found.
GlProc LookupGlProc(const char* name);

// The window-system (GLX) extension string of the current context's display and screen,
// or "" when there is no current context or the string cannot be had. Never null.
const char* WindowSystemExtensions();

// Tells the user something that needs attention: a title and a text.
// By default writes "Title: text" to standard error.
void ShowMessage(const char* title, const char* text);

// Replaces the message facility (tests capture messages this way). Null restores the default.
// Returns the sink that was installed before.
using MessageSink = void (*)(const char* title, const char* text);
MessageSink SetMessageSink(MessageSink sink);

// The file this code was loaded from: the shared library it is part of (libfluid3d.so in a
// host), else the executable. An empty directory when neither can be told.
struct ModuleLocation {
    std::string directory;  // absolute, without a trailing '/'
    bool sharedLibrary = false;
};
ModuleLocation ThisModule();

}  // namespace platform
