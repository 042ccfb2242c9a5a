// A minimal effects-browser host: loads libfluid3d.so, registers both notifiers and starts the
// demo. The at-exit notifier writes "at-exit <context>" to standard output.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>

namespace {

void OnExit(void* context) {
    char line[64];
    const int n = std::snprintf(line, sizeof line, "at-exit %p\n", context);
    if (write(STDOUT_FILENO, line, static_cast<size_t>(n)) != n) _exit(4);
}

}  // namespace

int main(int argc, char** argv) {
    void* library = argc == 2 ? dlopen(argv[1], RTLD_NOW | RTLD_LOCAL) : nullptr;
    if (library == nullptr) return 11;
    using Entry = bool (*)();
    using Register = bool (*)(void*, void*);
    auto entryExit = reinterpret_cast<Entry>(dlsym(library, "__zodiEffectEntryExit"));
    auto entryInit = reinterpret_cast<Entry>(dlsym(library, "__zodiEffectEntryInit"));
    auto atExit = reinterpret_cast<Register>(dlsym(library, "__zodiEffectRegisterAtExitNotifier"));
    auto parse = reinterpret_cast<Register>(dlsym(library, "__zodiEffectRegisterParseNotifier"));
    if (!entryExit || !entryInit || !atExit || !parse) return 12;
    if (!atExit(reinterpret_cast<void*>(&OnExit), reinterpret_cast<void*>(0x5eed)) ||
        !parse(reinterpret_cast<void*>(+[](const char*, void*) {}), nullptr) || !entryExit()) {
        return 13;
    }
    std::printf("start entry returned %d\n", entryInit());  // the demo ends the process first
    return 14;
}
