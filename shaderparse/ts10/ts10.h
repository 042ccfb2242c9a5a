// Texture-shader (!!TS1.0) programs.
#pragma once

// Sets the scanner to read text (the program after its 7 header characters) from a clean state.
void TS10SetInput(const char* text);

// Parses the text; after a complete parse validates the program and sets up the stages.
void TS10Parse();
