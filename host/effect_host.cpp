// The effect host interface and the notifying parse entry.
#include "host/effect_host.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "app/demo_main.h"
#include "shaderparse/shaderparse.h"

bool hostActive = false;
EffectAtExitNotifier atExitNotifier = nullptr;
void* atExitContext = nullptr;
EffectParseNotifier parseNotifier = nullptr;
void* parseContext = nullptr;

namespace {

// The argument list the host start hands to the demo's main routine.
char hostProgramName[] = "RIRidirezArazora";
char* hostArguments[] = {hostProgramName, nullptr};

}  // namespace

bool EffectInitHook() { return true; }

bool EffectExitHook() { return true; }

void NotifyHostAtExit() {
    if (atExitNotifier != nullptr) {
        atExitNotifier(atExitContext);
    }
}

void NotifyingParse(const char* text, ...) {
    if (hostActive && parseNotifier != nullptr) {
        parseNotifier(text, parseContext);
    }
    if (text != nullptr && std::strncmp(text, "!!VSP1.0", 8) == 0) {
        va_list args;
        va_start(args, text);
        int stateProgramId = va_arg(args, int);
        va_end(args);
        shaderparse(text, stateProgramId);
    } else {
        shaderparse(text);
    }
}

extern "C" {

bool __zodiEffectEntryExit(void) { return EffectExitHook(); }

bool __zodiEffectEntryInit(void) {
    if (!EffectInitHook()) {
        return false;
    }
    hostActive = true;
    std::atexit(NotifyHostAtExit);
    DemoMain(1, hostArguments);
    return true;
}

bool __zodiEffectRegisterAtExitNotifier(EffectAtExitNotifier notifier, void* context) {
    atExitNotifier = notifier;
    atExitContext = context;
    return true;
}

bool __zodiEffectRegisterParseNotifier(EffectParseNotifier notifier, void* context) {
    parseNotifier = notifier;
    parseContext = context;
    return true;
}

}  // extern "C"
