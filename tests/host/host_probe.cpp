// A minimal effects-browser host: loads libfluid3d.so, registers both notifiers and starts the
// demo. The at-exit notifier writes "at-exit <context>" to standard output.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

using AtExitNotifier = void (*)(void*);
using ParseNotifier = void (*)(const char*, void*);
using Entry = bool (*)();
using Register = bool (*)(void*, void*);

void* const kExitContext = reinterpret_cast<void*>(0x5eed);

void OnExit(void* context) {
    char line[64];
    int n = std::snprintf(line, sizeof line, "at-exit %p\n", context);
    if (write(STDOUT_FILENO, line, static_cast<size_t>(n)) != n) _exit(4);
}

void OnParse(const char* text, void*) { std::printf("parse %s\n", text ? text : "(null)"); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: host_probe LIBRARY\n");
        return 10;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "host_probe: %s\n", dlerror());
        return 11;
    }
    auto entryExit = reinterpret_cast<Entry>(dlsym(library, "__zodiEffectEntryExit"));
    auto entryInit = reinterpret_cast<Entry>(dlsym(library, "__zodiEffectEntryInit"));
    auto registerAtExit =
        reinterpret_cast<Register>(dlsym(library, "__zodiEffectRegisterAtExitNotifier"));
    auto registerParse =
        reinterpret_cast<Register>(dlsym(library, "__zodiEffectRegisterParseNotifier"));
    if (!entryExit || !entryInit || !registerAtExit || !registerParse) {
        std::fprintf(stderr, "host_probe: an entry point is missing\n");
        return 12;
    }
    if (!registerAtExit(reinterpret_cast<void*>(&OnExit), kExitContext) ||
        !registerParse(reinterpret_cast<void*>(&OnParse), nullptr) || !entryExit()) {
        std::fprintf(stderr, "host_probe: an entry point returned false\n");
        return 13;
    }
    std::fflush(stdout);
    bool started = entryInit();
    std::printf("start entry returned %d\n", started);
    return 14;
}
