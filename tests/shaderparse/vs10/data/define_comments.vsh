vs.1.0
#define BONES 16 // first bone
#define LIGHT 4 ; light block
#define DEBUG // on
#define EMPTY ;
#define MADD(d, a, b) mad d, a, b, d // accumulate
#define MSUB(d, a, b) sub d, a, b ; difference
#define TWO nop ; first \
  nop // second
mov a0.x, v1.x
mov r0, c[a0.x + BONES]
dp3 r1.x, v3, c[LIGHT]
MADD(r0, v2, c4)
MSUB(r1, r0, v2)
TWO
EMPTY
#ifdef DEBUG
mov oPos, r0
#endif
