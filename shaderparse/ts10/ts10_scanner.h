// The !!TS1.0 scanner, as the grammar and the tests reach it.
#pragma once

// Value of the last texture-unit (0, 1, 2), cull-condition (GL_GEQUAL, GL_LESS) or number token.
extern float TS10TokenValue;

// Returns the next token code of the grammar (0 at the end of the text).
int TS10NextToken();

// Drops everything the scanner holds (read-ahead, start state, a pending end of text), so that
// the next token is read afresh from the input pointer.
void TS10ResetScanner();
