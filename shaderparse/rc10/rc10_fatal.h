// The one way the !!RC1.0 scanner ends the process.
#pragma once

// Ends the process with the given status (2 for scanner faults). The library's definition calls
// exit and is weak, so a build that must survive these ends (the fuzz target, tests) may link
// its own definition, which must not return either (it may throw or jump away; the next
// RC10SetInput releases what the abandoned scan held).
[[noreturn]] void RC10FatalExit(int status);
