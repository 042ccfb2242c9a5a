// The one way the vs.1.0 scanner and preprocessor end the process.
#pragma once

// Ends the process with the given status (1 and 9 from the preprocessor, 2 for scanner faults).
// The library's definition calls exit and is weak, so a build that must survive these ends (the
// fuzz target, some tests) links its own definition, which must not return either (it may throw
// or jump away; the next VS10SetInput releases what the abandoned scan held).
[[noreturn]] void VS10FatalExit(int status);
