// Fuzz targets link with -Wl,--wrap=exit: a call of exit made while a boundary is active (the
// scanners' internal faults, the preprocessor's nesting and overrun stops) ends only the input
// being run. Outside a boundary exit behaves as usual.
#pragma once

namespace fuzz {

// Runs body(context). Returns true when it returned normally, false when it called exit, whose
// status is then stored in exitStatus.
bool RunWithExitBoundary(void (*body)(void* context), void* context, int& exitStatus);

}  // namespace fuzz
