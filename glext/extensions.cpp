#include "glext/extensions.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/exit_program.h"
#include "glext/entry_points.h"
#include "platform/platform.h"

namespace {

constexpr const char* kModulePath = "glext/extensions";
// Line numbers the out-of-memory message reports for the two buffers.
constexpr int kExtensionStringLine = 99;
constexpr int kNameBufferLine = 117;

// The GL extension string, a blank, the window-system extension string, a blank. Built by the
// first call that has a current context, then kept for the life of the process.
char* extensionString = nullptr;
// The failed names of the latest call with a list; grown as needed, never shrunk.
char* unsupportedNames = nullptr;
std::size_t unsupportedCapacity = 0;

[[noreturn]] void StopOutOfMemory(int line) {
    std::printf("Error allocating memory in file %s, line %d\n", kModulePath, line);
    ExitProgram(-1);
}

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Builds extensionString. Without a current context there is no GL extension string: nothing is
// built, so that a later call with a context still reads the real strings.
bool BuildExtensionString() {
    const char* gl = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (gl == nullptr) return false;
    const char* windowSystem = platform::WindowSystemExtensions();
    const std::size_t glLength = std::strlen(gl);
    const std::size_t windowSystemLength = std::strlen(windowSystem);
    char* text = static_cast<char*>(std::malloc(glLength + windowSystemLength + 3));
    if (text == nullptr) StopOutOfMemory(kExtensionStringLine);
    char* end = text;
    std::memcpy(end, gl, glLength);
    end += glLength;
    *end++ = ' ';
    std::memcpy(end, windowSystem, windowSystemLength);
    end += windowSystemLength;
    *end++ = ' ';
    *end = '\0';
    extensionString = text;
    return true;
}

// Makes unsupportedNames hold at least size bytes.
void ReserveUnsupportedNames(std::size_t size) {
    if (unsupportedCapacity >= size) return;
    char* grown = static_cast<char*>(std::realloc(unsupportedNames, size));
    if (grown == nullptr) StopOutOfMemory(kNameBufferLine);
    unsupportedNames = grown;
    unsupportedCapacity = size;
}

}  // namespace

bool CheckAndLoadExtensions(const char* list) {
    const bool haveExtensions = extensionString != nullptr || BuildExtensionString();
    if (list == nullptr) return true;

    // A private copy, so that each name can be terminated in place. Running out of memory here is
    // treated like failing to grow the name buffer, which has to hold as much.
    char* copy = strdup(list);
    if (copy == nullptr) StopOutOfMemory(kNameBufferLine);
    // Every name plus one blank: at most the list's length plus one (the last name may lack a
    // separator), plus the terminator.
    ReserveUnsupportedNames(std::strlen(copy) + 2);
    std::size_t used = 0;
    unsupportedNames[0] = '\0';

    bool result = true;
    char* name = SkipSeparators(copy);
    while (*name != '\0') {
        char* end = FindSeparator(name);
        const char separator = *end;
        *end = '\0';
        // The loader is asked only for an available name.
        const bool passes = haveExtensions && ExtensionAvailable(name, extensionString) &&
                            glext::LoadEntryPoints(name);
        if (!passes) {
            const std::size_t length = static_cast<std::size_t>(end - name);
            std::memcpy(unsupportedNames + used, name, length);
            used += length;
            unsupportedNames[used++] = ' ';
            unsupportedNames[used] = '\0';
            result = false;
        }
        *end = separator;
        name = SkipSeparators(end);
    }
    std::free(copy);
    return result;
}

const char* LastUnsupportedNames() { return unsupportedNames; }

bool ExtensionAvailable(const char* name, const char* extensions) {
    if (name == nullptr || *name == '\0') return false;
    if (std::strcmp(name, "GL_VERSION_1_2") == 0) {
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        if (version == nullptr) return false;
        return std::strncmp(version, "1.0", 3) != 0 && std::strncmp(version, "1.1", 3) != 0;
    }
    if (extensions == nullptr) return false;
    // Only whole names count: the tail of a longer listed name is not a match.
    const std::size_t length = std::strlen(name);
    for (const char* found = std::strstr(extensions, name); found != nullptr;
         found = std::strstr(found + 1, name)) {
        if ((found == extensions || found[-1] == ' ') && found[length] == ' ') return true;
    }
    return false;
}

const char* SkipSeparators(const char* text) {
    while (IsSeparator(*text)) ++text;
    return text;
}

const char* FindSeparator(const char* text) {
    while (*text != '\0' && !IsSeparator(*text)) ++text;
    return text;
}
