VS.1.0
// every instruction once, with relative addressing and masks
mov a0.x, v1.x
add r0, v0, c[a0.x + 4]
sub r1.xy, r0.yx, -v2
mul r2, r0, r1.xxyy
mad r3, r0, r1, r2
dp3 r4.x, r0, r1
dp4 r4.y, r0, r1
dst r5, r0, r1
lit r6, r0
exp r7, r0.x
expp r7.y, r0.w
log r8, r0.x
logp r8.z, r0.y
frc r9.xy, r0
rcp r10.x, r0.w
rsq r10.y, r0.z
min r11, r0, r1
max r11, r11, c10
sge r0, r1, r2
slt r1, r2, r3
m3x2 r2.xy, v0, c12
m3x3 r2.xyz, v0, c12
m3x4 r3, v0, c12
m4x3 r4.xyz, v0, c16
m4x4 oPos, v0, c20
nop
mov oFog.x, r0.z
mov oPts.x, c1.y
mov oD1, r1
mov oT1, v8
+ mov oT2, v9
