// Default end of the process for fatal scanner and preprocessor errors.
#include "shaderparse/vs10/vs10_fatal.h"

#include <cstdlib>

__attribute__((weak)) void VS10FatalExit(int status) { std::exit(status); }
