#include "fuzz/fatal_exit_boundary.h"

#include <csetjmp>

namespace {

std::jmp_buf* activeBoundary = nullptr;
int lastExitStatus = 0;

}  // namespace

extern "C" [[noreturn]] void __real_exit(int status);

// Every call of exit in the fuzz target lands here (see -Wl,--wrap=exit).
extern "C" [[noreturn]] void __wrap_exit(int status) {
    if (activeBoundary != nullptr) {
        lastExitStatus = status;
        std::longjmp(*activeBoundary, 1);
    }
    __real_exit(status);
}

namespace fuzz {

bool RunWithExitBoundary(void (*body)(void* context), void* context, int& exitStatus) {
    std::jmp_buf boundary;
    if (setjmp(boundary) != 0) {
        activeBoundary = nullptr;
        exitStatus = lastExitStatus;
        return false;
    }
    activeBoundary = &boundary;
    body(context);
    activeBoundary = nullptr;
    return true;
}

}  // namespace fuzz
