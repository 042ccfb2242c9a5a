vs.1.0
#define WORLD 4
#define SCALE(a, b) mul a, a, b
macro transform dst, src, base
  dp4 %dst.x, %src, c[%base]
  dp4 %dst.y, %src, %inc(%base)
  dp4 %dst.z, %src, %add(%base, 2)
  dp4 %dst.w, %src, c[%sub(%base, 1)]
endm
macro blend(a, b)
endm
transform r0, v0, c0
transform(r1, v1, c[a0.x+4])
SCALE(r0, c[WORLD])
mov oPos, r0
#define LONG mov r2, \
  r3
LONG
