// The effect host interface: the four entry points through which an effects-browser host starts
// the demo, calls its stop hook and registers its two notifications, and the notifying parse
// entry that effect code calls in place of shaderparse.
#pragma once

extern "C" {

// Told once at process exit, with the context registered beside it.
typedef void (*EffectAtExitNotifier)(void* context);
// Told every program text before it is parsed, with the context registered beside it.
typedef void (*EffectParseNotifier)(const char* text, void* context);

// Calls EffectExitHook; true. Stops nothing and changes no state.
bool __zodiEffectEntryExit(void);
// Runs EffectInitHook (false when it fails), marks the host active, registers the at-exit
// notification and runs the demo's main routine; true if that ever returns.
bool __zodiEffectEntryInit(void);
// Replace the stored notifier and context (null switches the notification off); true.
bool __zodiEffectRegisterAtExitNotifier(EffectAtExitNotifier notifier, void* context);
bool __zodiEffectRegisterParseNotifier(EffectParseNotifier notifier, void* context);

}  // extern "C"

// Host-interface state, process-wide, all clear at start. hostActive is never cleared.
extern bool hostActive;
extern EffectAtExitNotifier atExitNotifier;
extern void* atExitContext;
extern EffectParseNotifier parseNotifier;
extern void* parseContext;

// Hooks run by the start and stop entries; both always succeed.
bool EffectInitHook();
bool EffectExitHook();

// Registered with atexit by the start entry: tells the host, if it still wants to know.
void NotifyHostAtExit();

// Tells an active host the text, then parses it with shaderparse. A text beginning with
// "!!VSP1.0" takes one int from the variable arguments (the state program id); no other text
// passes anything on.
void NotifyingParse(const char* text, ...);
