// Loading of vertex programs and vertex state programs, and execution of vertex constant
// programs. Both report only through parseErrors.
#pragma once

#include <GL/gl.h>

// Loads a !!VP1.0 or !!VSP1.0 text under id. When GL rejects it, adds one message with the line,
// the character and a marked excerpt around the reported error position.
void LoadVertexProgramText(GLenum target, GLuint id, const char* text);

// Executes a !!VCP1.0 text line by line: "c[i] = (x, y, z, w);" sets program parameter i,
// "c[i] = track(MATRIX, TRANSFORM);" tracks a matrix in the block starting at i. One message per
// faulty line; the caller's text is left unchanged.
void LoadVertexConstantProgram(GLenum target, const char* text);
