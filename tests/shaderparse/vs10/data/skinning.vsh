vs.1.0
mov a0.x, v1.x
m4x3 r0.xyz, v0, c[a0.x + 10]
m4x3 r1.xyz, v0, c[a0.x + 13]
mul r0.xyz, r0.xyz, v2.xxxx
mad r0.xyz, r1.xyz, v2.yyyy, r0.xyz
mov r0.w, c[0].w
m4x4 oPos, r0, c0
rcp r2.w, r0.w
rsq r3.x, r2.w
lit r4, r3
expp r5, r3.x
logp r6, r3.y
frc r7, r3
slt r8, r3, r4
sge r9, r3, r4
min r10, r3, r4
sub r11, -r3.wzyx, r4
dst r0, r1, r2
exp r1, r2.x
log r1, r2.x
m3x2 r1.xy, r2, c0
m3x3 r1.xyz, r2, c0
m3x4 r1, r2, c0
nop
