vs.1.0
; Transforms the position and lights the colour with one directional light.
m4x4 oPos, v0, c0
dp3 r0.x, v2, c4
mov r0.y, c5.y
mov r0.w, c5.w
lit r1, r0
mul oD0, r1.y, v3
