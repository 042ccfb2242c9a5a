vs.1.0
#include "common.vsh"
#include <lighting.vsh>
#include   plain name.vsh  
#include "unterminated
mov oPos, v0
#include
