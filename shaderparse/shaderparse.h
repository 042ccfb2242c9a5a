/* The shader-program parsing library: one entry point that recognises a program text, loads or
 * parses it into GL state and collects every problem in one error list. Usable from C and C++;
 * installed as <shaderparse/shaderparse.h> with libshaderparse (pkg-config shaderparse, CMake
 * package shaderparse).
 *
 * Every call needs a current GL context on the calling thread; the library is not thread-safe
 * and must not be re-entered. Internal scanner failures end the process with exit(). */
#ifndef SHADERPARSE_SHADERPARSE_H
#define SHADERPARSE_SHADERPARSE_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Parses one program text: !!VCP1.0, !!VSP1.0, !!VP1.0, !!RC1.0, !!TS1.0 or a vs.1.0 vertex
 * shader (recognised in that order). For a !!VSP1.0 text one int follows: the id under which
 * the vertex state program is loaded. The text may be null. Problems land in the error list;
 * nothing is returned. */
void shaderparse(const char* text, ...);

/* The null-terminated message array of the error list (never null). The array stays in place for
 * the life of the process; its texts stay valid until the next shaderparse call. */
char** shaderparse_error_messages(void);

/* Writes every message, unchanged and in order, to stream; returns shaderparse_error_messages(). */
char** shaderparse_write_errors(FILE* stream);

#ifdef __cplusplus
}
#endif

#endif
