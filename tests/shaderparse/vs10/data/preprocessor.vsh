vs.1.0
#include "vs10_macros.vsh"
#define DEBUG
#ifdef DEBUG
mov oD0, c[95]
#else
mov oD0, v5
#endif
#ifndef DEBUG
  #ifdef NEVER
  nop
  #endif
#endif
XFORM4 oPos, v0, c4
SCALE(r0, v3, LIGHT_DIR)
macro NEG4 d, s
mov %d, -%s
mul %d, %d, %sub(%s, 1)
endm
NEG4 r1, c10
NEG4 r2, c[a0.x+3]
mov r3, c[WORLD]
/* block comment
   over two lines */ mov oT0, v7
