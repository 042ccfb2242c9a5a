// Register-combiner (!!RC1.0) programs.
#pragma once

// Sets the scanner to read text (the program after its 7 header characters) from a clean state.
void RC10SetInput(const char* text);

// Parses the text; after a complete parse validates the program and sets up the combiners.
// Returns 0 after a complete program, 1 after a syntax error, 2 when the parser stack would pass
// 10000 entries.
int RC10Parse();
