vs.1.0
mov, r0
MOV r0, v0
Mov r1.X, R2
mov r0, v0
#define F(a
macro m(a)
endm
macro
endm
#define ONE 1
#define ONE 2
macro two a, b
add %a, %a, %b
endm
two r1
two r1, r2, r3
/* unterminated
