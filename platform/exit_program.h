// The one way the demo ends itself.
#pragma once

// Ends the process through the C library's exit with the given status, so that the handlers
// registered with atexit run first (last registered first).
[[noreturn]] void ExitProgram(int status);
