// Placeholder until the core lands.
#include "shaderparse/parse_state.h"
