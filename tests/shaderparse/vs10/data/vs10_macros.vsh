; macros shared by the other seeds (they include this file by name)
#define WORLD c0
#define LIGHT_DIR c[8]
#define SCALE(dst, src, k) mul dst, src, k
macro XFORM4 dst, src, base
dp4 %dst.x, %src, %base
dp4 %dst.y, %src, %inc(%base)
dp4 %dst.z, %src, %add(%base, 2)
dp4 %dst.w, %src, %add(%base, 3)
endm
