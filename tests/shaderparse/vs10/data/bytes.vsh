vs.1.0
mov r0, v0
ÿ mov r1, v1 +
