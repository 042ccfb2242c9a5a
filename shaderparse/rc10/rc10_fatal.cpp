// Default end of the process for fatal scanner errors.
#include "shaderparse/rc10/rc10_fatal.h"

#include <cstdlib>

__attribute__((weak)) void RC10FatalExit(int status) { std::exit(status); }
