#include "platform/exit_program.h"

#include <cstdlib>

void ExitProgram(int status) { std::exit(status); }
