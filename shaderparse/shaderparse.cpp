// The shaderparse entry: recognises the program kind, makes its extensions ready, empties the
// error list and hands the text to the kind's loader or language.
#include "shaderparse/shaderparse.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "glext/entry_points.h"
#include "glext/extensions.h"
#include "shaderparse/parse_state.h"
#include "shaderparse/program_kind.h"
#include "shaderparse/rc10/rc10.h"
#include "shaderparse/ts10/ts10.h"
#include "shaderparse/vertex_program_loader.h"
#include "shaderparse/vs10/vs10.h"

namespace {

// Extension readiness; the flags only ever go from clear to set. Register combiners have no
// flag: their entry-point slots tell.
bool vertexProgramReady = false;
bool textureShaderReady = false;

// The private copy of the text being parsed. It lives here rather than on the stack so that a
// parse cut off by a fatal exit that does not end the process (the fuzz build) leaves it
// reachable; the next call releases it.
char* workingCopy = nullptr;

void ReleaseWorkingCopy() {
    std::free(workingCopy);
    workingCopy = nullptr;
}

const char kInvalidStringMessage[] =
    "invalid string.\n"
    "                     first characters must be: !!VP1.0 or !!VSP1.0 or !!RC1.0 or !!TS1.0\n"
    "                     or it must be a valid DirectX 8.0 Vertex Shader";

// Initialises a flag-based extension list once; adds failureMessage when it cannot.
bool MakeReady(bool& ready, const char* list, const char* failureMessage) {
    if (!ready) {
        if (!CheckAndLoadExtensions(list)) {
            parseErrors.Add(failureMessage);
            return false;
        }
        ready = true;
    }
    return true;
}

bool MakeKindReady(ProgramKind kind) {
    switch (kind) {
        case ProgramKind::VertexConstantProgram:
        case ProgramKind::VertexStateProgram:
        case ProgramKind::VertexProgram:
        case ProgramKind::Vs10Shader:
            return MakeReady(vertexProgramReady, "GL_NV_vertex_program",
                             "unable to initialize GL_NV_vertex_program");
        case ProgramKind::RegisterCombiners:
            if (glext::glCombinerParameterfvNV == nullptr &&
                !CheckAndLoadExtensions("GL_NV_register_combiners")) {
                parseErrors.Add("unable to initialize GL_NV_register_combiners\n");
                return false;
            }
            // The second list is optional: the language works without it.
            if (glext::glCombinerStageParameterfvNV == nullptr) {
                CheckAndLoadExtensions("GL_NV_register_combiners2");
            }
            return true;
        case ProgramKind::TextureShader:
            return MakeReady(textureShaderReady, "GL_NV_texture_shader GL_ARB_multitexture ",
                             "unable to initialize GL_NV_texture_shader\n");
        case ProgramKind::None:
            break;
    }
    return false;
}

GLint BoundVertexProgram() {
    GLint id = 0;
    glGetIntegerv(GL_VERTEX_PROGRAM_BINDING_NV, &id);
    return id;
}

void AddNoProgramBound(GLint id) {
    char message[128];
    std::snprintf(message, sizeof message,
                  "No vertex program id bound for shaderparse() invocation.  Bound id = %d\n", id);
    parseErrors.Add(message);
}

void StartParse() {
    parseErrors.Clear();
    parseLineNumber = 1;
}

void ParseKind(ProgramKind kind, char* text, int stateProgramId) {
    switch (kind) {
        case ProgramKind::VertexConstantProgram:
            StartParse();
            if (glGetError() != GL_NO_ERROR) {
                parseErrors.Add("Previous GL_ERROR prior to vertex state program parsing.");
            }
            LoadVertexConstantProgram(GL_VERTEX_PROGRAM_NV, text);
            break;
        case ProgramKind::VertexStateProgram:
            StartParse();
            if (glGetError() != GL_NO_ERROR) {
                parseErrors.Add("Previous GL_ERROR prior to vertex state program parsing.");
            }
            LoadVertexProgramText(GL_VERTEX_STATE_PROGRAM_NV, static_cast<GLuint>(stateProgramId),
                                  text);
            break;
        case ProgramKind::VertexProgram: {
            StartParse();
            GLint id = BoundVertexProgram();
            if (glGetError() != GL_NO_ERROR) {
                parseErrors.Add("Previous GL_ERROR prior to vertex program parsing.\n");
            }
            if (id == 0) {
                AddNoProgramBound(id);
                break;
            }
            LoadVertexProgramText(GL_VERTEX_PROGRAM_NV, static_cast<GLuint>(id), text);
            break;
        }
        case ProgramKind::RegisterCombiners:
            StartParse();
            RC10SetInput(text + 7);
            RC10Parse();
            break;
        case ProgramKind::TextureShader:
            StartParse();
            TS10SetInput(text + 7);
            TS10Parse();
            break;
        case ProgramKind::Vs10Shader: {
            StartParse();
            if (glGetError() != GL_NO_ERROR) {
                parseErrors.Add("Previous GL_ERROR prior to vertex shader parsing.\n");
            }
            GLint id = BoundVertexProgram();
            if (id == 0) {
                AddNoProgramBound(0);
                break;
            }
            VS10SetInput(text);
            translatedProgramText.clear();
            translatedLineSources.clear();
            VS10Parse();
            LoadVertexProgramText(GL_VERTEX_PROGRAM_NV, static_cast<GLuint>(id),
                                  translatedProgramText.c_str());
            break;
        }
        case ProgramKind::None:
            break;
    }
}

char ToLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool IsVs10Text(const char* text) {
    static const char kMarker[] = "vs.1.0";
    if (text == nullptr) {
        return false;
    }
    for (const char* start = text; *start != '\0'; ++start) {
        size_t i = 0;
        while (kMarker[i] != '\0' && ToLowerAscii(start[i]) == kMarker[i]) {
            ++i;
        }
        if (kMarker[i] == '\0') {
            return true;
        }
    }
    return false;
}

ProgramKind ProgramKindOf(const char* text) {
    if (std::strncmp(text, "!!VCP1.0", 8) == 0) return ProgramKind::VertexConstantProgram;
    if (std::strncmp(text, "!!VSP1.0", 8) == 0) return ProgramKind::VertexStateProgram;
    if (std::strncmp(text, "!!VP1.0", 7) == 0) return ProgramKind::VertexProgram;
    if (std::strncmp(text, "!!RC1.0", 7) == 0) return ProgramKind::RegisterCombiners;
    if (std::strncmp(text, "!!TS1.0", 7) == 0) return ProgramKind::TextureShader;
    if (IsVs10Text(text)) return ProgramKind::Vs10Shader;
    return ProgramKind::None;
}

void shaderparse(const char* text, ...) {
    if (text == nullptr) {
        parseErrors.Add("NULL string passed to shaderparse");
        return;
    }
    ReleaseWorkingCopy();
    workingCopy = strdup(text);
    if (workingCopy == nullptr) {
        parseErrors.Add("out of memory copying the program text passed to shaderparse\n");
        return;
    }

    ProgramKind kind = ProgramKindOf(workingCopy);
    int stateProgramId = 0;
    if (kind == ProgramKind::VertexStateProgram) {
        va_list args;
        va_start(args, text);
        stateProgramId = va_arg(args, int);
        va_end(args);
    }

    if (kind == ProgramKind::None) {
        parseErrors.Add(kInvalidStringMessage);
    } else if (MakeKindReady(kind)) {
        ParseKind(kind, workingCopy, stateProgramId);
    }
    ReleaseWorkingCopy();
}

char** shaderparse_error_messages() { return parseErrors.Messages(); }

char** shaderparse_write_errors(FILE* stream) {
    char** messages = parseErrors.Messages();
    for (char** message = messages; *message != nullptr; ++message) {
        std::fputs(*message, stream);
    }
    return messages;
}
