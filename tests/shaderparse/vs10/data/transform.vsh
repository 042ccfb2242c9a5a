vs.1.0
; transform and light one directional light
// c0-c3 model-view-projection, c4 light direction, c5 diffuse
m4x4 oPos, v0, c0
dp3 r0.x, v3, -c4
max r0.x, r0.x, c6.x
mul oD0, r0.x, c5
mov oT0.xy, v7
/* fog from the
   eye distance */
dp4 r1.z, v0, c2
mov oFog.x, r1.z
+ mov oPts.x, c7.x
