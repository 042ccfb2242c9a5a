// Placeholder until the language lands: the parser accepts a text and does nothing.
#include "shaderparse/vs10/vs10.h"

void VS10Parse() {}
