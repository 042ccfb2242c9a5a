// vs.1.0 vertex shaders: scanner input and the parser that checks and translates them.
#pragma once

// Sets the scanner to read the whole program text (header included), of which it takes a copy;
// CR LF line ends read as LF. Enters LineStart and sets pendingNewlines to 0. Whatever an earlier
// scan left (one stopped by a syntax error or a fatal end) is released first.
void VS10SetInput(const char* text);

// Parses the text given to VS10SetInput; on success checks the instructions and appends the
// translation to translatedProgramText. Problems go to parseErrors.
void VS10Parse();
