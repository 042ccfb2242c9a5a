vs.1.0
; skinned vertex, written with CR LF line ends
#define BONES 16 // first bone
#define LIGHT 4 ; light block
macro skin dst, w
  m4x3 %dst.xyz, v0, c[a0.x + BONES]
  mul %dst.xyz, %dst, %w ; weight
endm
mov a0.x, v1.x
skin r0, v2.x
/* two-line
   block comment */
m4x4 oPos, r0, c0 ; project
dp3 r1.x, v3, c[LIGHT]
mov oD0, r1.x
mov oT0, v7
