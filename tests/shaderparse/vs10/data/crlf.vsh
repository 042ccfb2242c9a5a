vs.1.0
; skinned vertex, written with CR LF line ends
#define BONES 16 // first bone
#include "skin.vsh"
mov a0.x, v1.x
m4x3 r0.xyz, v0, c[a0.x + BONES]
/* two-line
   block comment */
m4x4 oPos, r0, c0 ; project
mov oD0, v5mov oT0, v7
