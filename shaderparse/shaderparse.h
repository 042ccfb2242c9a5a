// The shader-program parsing library: one entry point that recognises a program text, loads or
// parses it into GL state and collects every problem in one error list.
#pragma once

#include <cstdio>

// Parses one program text: !!VCP1.0, !!VSP1.0, !!VP1.0, !!RC1.0, !!TS1.0 or a vs.1.0 vertex
// shader (recognised in that order). For a !!VSP1.0 text one int follows: the id under which
// the vertex state program is loaded. The text may be null. Problems land in the error list;
// nothing is returned.
void shaderparse(const char* text, ...);

// The null-terminated message array of the error list (never null). The array stays in place for
// the life of the process; its texts stay valid until the next shaderparse call.
char** shaderparse_error_messages();

// Writes every message, unchanged and in order, to stream; returns shaderparse_error_messages().
char** shaderparse_write_errors(FILE* stream);
