// Recognition of the program kinds that shaderparse accepts.
#pragma once

enum class ProgramKind {
    None,
    VertexConstantProgram,  // "!!VCP1.0"
    VertexStateProgram,     // "!!VSP1.0"
    VertexProgram,          // "!!VP1.0"
    RegisterCombiners,      // "!!RC1.0"
    TextureShader,          // "!!TS1.0"
    Vs10Shader,             // "vs.1.0" anywhere, any letter case
};

// The kind of text: the headers are compared exactly, in the order of ProgramKind, before the
// vs.1.0 marker is looked for.
ProgramKind ProgramKindOf(const char* text);

// True when text is non-empty and contains "vs.1.0" in any letter case, also inside a word.
bool IsVs10Text(const char* text);
