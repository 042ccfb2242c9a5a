vs.1.0
#define LIGHTING
#ifdef LIGHTING
dp3 r0, v3, c4
#ifndef FOG
mov oD0, r0
#else
mov oFog.x, r0.z
#endif
#else ; no lighting
#ifdef NEVER
mov oD0, c5
#endif
mov oD1, c5
#endif // done
#endif trailing
#else
#ifdef !
nop
#endif
