// vs.1.0 vertex shaders: scanner input and the parser that checks and translates them.
#pragma once

#include <vector>

// Sets the scanner to read the whole program text (header included), of which it takes a copy;
// CR LF line ends read as LF. Enters LineStart and sets pendingNewlines to 0. Whatever an earlier
// scan left (one stopped by a syntax error or a fatal end) is released first.
void VS10SetInput(const char* text);

// Parses the text given to VS10SetInput; on success checks the instructions and appends the
// translation to translatedProgramText. Problems go to parseErrors.
void VS10Parse();

// The vs.1.0 source line of each line of translatedProgramText (element 0 for line 1): the line
// of the instruction that ended it, 0 for the lines the translation adds itself (the header and
// END). Filled with the translation; shaderparse empties it with the text.
extern std::vector<int> translatedLineSources;
