// Placeholder until the language lands: the entry points accept a text and do nothing.
#include "shaderparse/vs10/vs10.h"

void VS10SetInput(const char*) {}
void VS10Parse() {}
