// The legacy-extension layer's costs on the real driver (needs $DISPLAY, e.g. under xvfb-run):
// a draw with a legacy vertex program bound (its translation cached) against the same draw with
// the equivalent hand-written ARB program, with the layer on and switched off; the load of a
// legacy program with its first draw (check, translation, driver compile); a display list of
// draws called; and the translation alone. The same for register combiners: a draw with a combiner
// set-up whose generated fragment program is cached (without textures, and over four textured
// units), and the draw after a change of the set-up that needs a new program.
#include <benchmark/benchmark.h>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdlib>
#include <string>

#include "legacygl/arb_translation.h"
#include "vertexprogram/program.h"

// After the program headers: X11 (through GLX) defines names such as None.
#include "platform/offscreen_context.h"

namespace {

// A transformed, lit vertex: what a typical legacy program does.
const char kLegacy[] =
    "!!VP1.0\n"
    "DP4 o[HPOS].x, c[0], v[OPOS];\nDP4 o[HPOS].y, c[1], v[OPOS];\n"
    "DP4 o[HPOS].z, c[2], v[OPOS];\nDP4 o[HPOS].w, c[3], v[OPOS];\n"
    "DP3 R0.x, v[NRML], c[4];\nMOV R0.y, c[5].y;\nMOV R0.w, c[5].w;\nLIT R1, R0;\n"
    "MUL o[COL0], R1.y, v[COL0];\nMOV o[TEX0], v[TEX0];\nEND\n";

// The same written by hand for the ARB extension.
const char kArb[] =
    "!!ARBvp1.0\n"
    "PARAM c[6] = { program.env[0..5] };\nTEMP R0, R1;\n"
    "DP4 result.position.x, c[0], vertex.position;\nDP4 result.position.y, c[1], vertex.position;\n"
    "DP4 result.position.z, c[2], vertex.position;\nDP4 result.position.w, c[3], vertex.position;\n"
    "DP3 R0.x, vertex.normal, c[4];\nMOV R0.y, c[5].y;\nMOV R0.w, c[5].w;\nLIT R1, R0;\n"
    "MUL result.color, R1.y, vertex.color;\nMOV result.texcoord[0], vertex.texcoord[0];\nEND\n";

template <typename F>
F Fetch(const char* name) {
    return reinterpret_cast<F>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}

// A 16x16 pbuffer context; the layer decides when it first sees the context current, so the
// environment at that moment switches it.
struct Context {
    platform::OffscreenContext offscreen;
    bool open = false;
    explicit Context(bool layer) {
        if (layer) {
            unsetenv("FLUID3D_LEGACYGL");
        } else {
            setenv("FLUID3D_LEGACYGL", "0", 1);
        }
        open = offscreen.Open(nullptr, 16, 16, false);  // switched between: no alpha
        if (open) glGetString(GL_EXTENSIONS);           // the layer's first look at it
        unsetenv("FLUID3D_LEGACYGL");
    }
    bool MakeCurrent() const { return open && offscreen.MakeCurrent(); }
};

Context& WithLayer() {
    static Context c(true);
    return c;
}
Context& WithoutLayer() {
    static Context c(false);
    return c;
}

void SetIdentityParameters() {
    auto env = Fetch<PFNGLPROGRAMENVPARAMETER4FARBPROC>("glProgramEnvParameter4fARB");
    for (GLuint i = 0; i < 4; ++i) env(GL_VERTEX_PROGRAM_ARB, i, i == 0, i == 1, i == 2, i == 3);
    env(GL_VERTEX_PROGRAM_ARB, 4, 0, 0, 1, 0);
}

// One small triangle, finished every `batch` draws.
void Draw(benchmark::State& state) {
    const int batch = int(state.range(0));
    int drawn = 0;
    for (auto _ : state) {
        glBegin(GL_TRIANGLES);
        glVertex3f(-1, -1, 0);
        glVertex3f(1, -1, 0);
        glVertex3f(0, 1, 0);
        glEnd();
        if (++drawn % batch == 0) glFinish();
    }
    glFinish();
    state.counters["draws/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BindHandWritten() {
    GLuint id = 0;
    Fetch<PFNGLGENPROGRAMSARBPROC>("glGenProgramsARB")(1, &id);
    Fetch<PFNGLBINDPROGRAMARBPROC>("glBindProgramARB")(GL_VERTEX_PROGRAM_ARB, id);
    Fetch<PFNGLPROGRAMSTRINGARBPROC>("glProgramStringARB")(
        GL_VERTEX_PROGRAM_ARB, GL_PROGRAM_FORMAT_ASCII_ARB, GLsizei(sizeof kArb - 1), kArb);
    glEnable(GL_VERTEX_PROGRAM_ARB);
}

// Loads, binds and enables kLegacy as program 1; false without the legacy entry points.
bool BindLegacy() {
    auto load = Fetch<PFNGLLOADPROGRAMNVPROC>("glLoadProgramNV");
    auto bind = Fetch<PFNGLBINDPROGRAMNVPROC>("glBindProgramNV");
    if (load == nullptr || bind == nullptr) return false;
    load(GL_VERTEX_PROGRAM_NV, 1, GLsizei(sizeof kLegacy - 1),
         reinterpret_cast<const GLubyte*>(kLegacy));
    bind(GL_VERTEX_PROGRAM_NV, 1);
    glEnable(GL_VERTEX_PROGRAM_NV);
    return true;
}

void BM_DrawLegacyProgram(benchmark::State& state) {
    if (!WithLayer().MakeCurrent()) return state.SkipWithError("no GL context");
    if (!BindLegacy()) return state.SkipWithError("no legacy programs");
    SetIdentityParameters();
    Draw(state);
    glDisable(GL_VERTEX_PROGRAM_NV);
}

void BM_DrawHandWrittenArbProgram(benchmark::State& state) {
    if (!WithLayer().MakeCurrent()) return state.SkipWithError("no GL context");
    BindHandWritten();
    SetIdentityParameters();
    Draw(state);
    glDisable(GL_VERTEX_PROGRAM_ARB);
}

void BM_DrawHandWrittenArbProgramLayerOff(benchmark::State& state) {
    if (!WithoutLayer().MakeCurrent()) return state.SkipWithError("no GL context");
    BindHandWritten();
    SetIdentityParameters();
    Draw(state);
    glDisable(GL_VERTEX_PROGRAM_ARB);
}

// glLoadProgramNV of a new text and the draw that translates it and has the driver compile it.
// A display list of 100 triangles called, with the legacy program bound (layer on) or the
// hand-written one (layer off): each draw of a list is a part of its own for the layer.
void BM_CallListOfDraws(benchmark::State& state) {
    const bool layer = state.range(0) != 0;
    if (!(layer ? WithLayer() : WithoutLayer()).MakeCurrent())
        return state.SkipWithError("no GL context");
    if (!layer) {
        BindHandWritten();
    } else if (!BindLegacy()) {
        return state.SkipWithError("no legacy programs");
    }
    SetIdentityParameters();
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    for (int i = 0; i < 100; ++i) {
        glBegin(GL_TRIANGLES);
        glVertex3f(-1, -1, 0);
        glVertex3f(1, -1, 0);
        glVertex3f(0, 1, 0);
        glEnd();
    }
    glEndList();
    for (auto _ : state) {
        glCallList(list);
        glFinish();
    }
    state.counters["draws/s"] =
        benchmark::Counter(100.0 * double(state.iterations()), benchmark::Counter::kIsRate);
    glDeleteLists(list, 1);
    glDisable(layer ? GL_VERTEX_PROGRAM_NV : GL_VERTEX_PROGRAM_ARB);
}

void BM_LoadAndFirstDraw(benchmark::State& state) {
    if (!WithLayer().MakeCurrent()) return state.SkipWithError("no GL context");
    auto load = Fetch<PFNGLLOADPROGRAMNVPROC>("glLoadProgramNV");
    auto bind = Fetch<PFNGLBINDPROGRAMNVPROC>("glBindProgramNV");
    if (load == nullptr || bind == nullptr) return state.SkipWithError("no legacy programs");
    bind(GL_VERTEX_PROGRAM_NV, 2);
    glEnable(GL_VERTEX_PROGRAM_NV);
    for (auto _ : state) {
        load(GL_VERTEX_PROGRAM_NV, 2, GLsizei(sizeof kLegacy - 1),
             reinterpret_cast<const GLubyte*>(kLegacy));
        glBegin(GL_POINTS);
        glVertex3f(0, 0, 0);
        glEnd();
        glFinish();
    }
    glDisable(GL_VERTEX_PROGRAM_NV);
}

void BM_CheckAndTranslate(benchmark::State& state) {
    legacygl::TranslationState translationState;
    for (auto _ : state) {
        vertexprogram::Program program;
        benchmark::DoNotOptimize(vertexprogram::Parse(kLegacy, sizeof kLegacy - 1, &program));
        std::string text = legacygl::TranslateToArb(program, translationState);
        benchmark::DoNotOptimize(text.data());
    }
}

// A two-stage diffuse set-up with textures off: dot product, modulation, final combiner.
void SetUpCombiners(GLenum mappingA) {
    auto input = Fetch<PFNGLCOMBINERINPUTNVPROC>("glCombinerInputNV");
    auto output = Fetch<PFNGLCOMBINEROUTPUTNVPROC>("glCombinerOutputNV");
    auto final = Fetch<PFNGLFINALCOMBINERINPUTNVPROC>("glFinalCombinerInputNV");
    auto parameter = Fetch<PFNGLCOMBINERPARAMETERINVPROC>("glCombinerParameteriNV");
    parameter(GL_NUM_GENERAL_COMBINERS_NV, 2);
    input(GL_COMBINER0_NV, GL_RGB, GL_VARIABLE_A_NV, GL_PRIMARY_COLOR_NV, mappingA, GL_RGB);
    input(GL_COMBINER0_NV, GL_RGB, GL_VARIABLE_B_NV, GL_SECONDARY_COLOR_NV, GL_EXPAND_NORMAL_NV,
          GL_RGB);
    output(GL_COMBINER0_NV, GL_RGB, GL_SPARE0_NV, GL_DISCARD_NV, GL_DISCARD_NV, GL_NONE, GL_NONE,
           GL_TRUE, GL_FALSE, GL_FALSE);
    input(GL_COMBINER1_NV, GL_RGB, GL_VARIABLE_A_NV, GL_SPARE0_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB);
    input(GL_COMBINER1_NV, GL_RGB, GL_VARIABLE_B_NV, GL_PRIMARY_COLOR_NV, GL_UNSIGNED_IDENTITY_NV,
          GL_RGB);
    output(GL_COMBINER1_NV, GL_RGB, GL_SPARE0_NV, GL_DISCARD_NV, GL_DISCARD_NV, GL_SCALE_BY_TWO_NV,
           GL_NONE, GL_FALSE, GL_FALSE, GL_FALSE);
    final(GL_VARIABLE_B_NV, GL_SPARE0_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB);
}

void BM_DrawWithCombiners(benchmark::State& state) {
    if (!WithLayer().MakeCurrent()) return state.SkipWithError("no GL context");
    if (Fetch<PFNGLCOMBINERINPUTNVPROC>("glCombinerInputNV") == nullptr)
        return state.SkipWithError("no register combiners");
    SetUpCombiners(GL_EXPAND_NORMAL_NV);
    glEnable(GL_REGISTER_COMBINERS_NV);
    Draw(state);
    glDisable(GL_REGISTER_COMBINERS_NV);
}

// 2x2 textures on units 0 to 3, enabled for conventional texturing (and named by the shaders
// below) or not; the combiners read all four.
void SetUpTextures(bool enable) {
    static const GLfloat texels[16] = {1, 0, 0, 1, 0, 1, 0, 1, 0, 0, 1, 1, 1, 1, 1, 1};
    auto input = Fetch<PFNGLCOMBINERINPUTNVPROC>("glCombinerInputNV");
    for (int unit = 0; unit < 4; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_FLOAT, texels);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        if (enable) {
            glEnable(GL_TEXTURE_2D);
        } else {
            glDisable(GL_TEXTURE_2D);
        }
        input(GL_COMBINER1_NV, GL_RGB, GL_VARIABLE_C_NV + unit % 2, GL_TEXTURE0 + unit,
              GL_UNSIGNED_IDENTITY_NV, GL_RGB);
    }
    glActiveTexture(GL_TEXTURE0);
}

// The combiners over four textured units, fed by conventional texturing (0) or by 2D texture
// shaders (1): what each draw reads of the texture state.
void BM_DrawWithTexturedCombiners(benchmark::State& state) {
    if (!WithLayer().MakeCurrent()) return state.SkipWithError("no GL context");
    if (Fetch<PFNGLCOMBINERINPUTNVPROC>("glCombinerInputNV") == nullptr)
        return state.SkipWithError("no register combiners");
    const bool shaders = state.range(1) != 0;
    SetUpCombiners(GL_EXPAND_NORMAL_NV);
    SetUpTextures(!shaders);
    if (shaders) {
        for (int unit = 0; unit < 4; ++unit) {
            glActiveTexture(GL_TEXTURE0 + unit);
            glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, GL_TEXTURE_2D);
        }
        glActiveTexture(GL_TEXTURE0);
        glEnable(GL_TEXTURE_SHADER_NV);
    }
    glEnable(GL_REGISTER_COMBINERS_NV);
    Draw(state);
    glDisable(GL_REGISTER_COMBINERS_NV);
    glDisable(GL_TEXTURE_SHADER_NV);
    SetUpTextures(false);
}

// Each iteration a set-up not drawn before: the program is generated and compiled.
void BM_CombinerCacheMiss(benchmark::State& state) {
    if (!WithLayer().MakeCurrent()) return state.SkipWithError("no GL context");
    auto input = Fetch<PFNGLCOMBINERINPUTNVPROC>("glCombinerInputNV");
    if (input == nullptr) return state.SkipWithError("no register combiners");
    SetUpCombiners(GL_EXPAND_NORMAL_NV);
    glEnable(GL_REGISTER_COMBINERS_NV);
    static unsigned next = 0;  // across repetitions: every key new
    const GLenum variables[3] = {GL_VARIABLE_C_NV, GL_VARIABLE_D_NV, GL_VARIABLE_A_NV};
    for (auto _ : state) {
        unsigned n = next++;
        for (GLenum variable : variables) {
            const GLenum mapping = GL_UNSIGNED_IDENTITY_NV + n % 8;
            n /= 8;
            input(GL_COMBINER1_NV, GL_RGB, variable, GL_PRIMARY_COLOR_NV, mapping, GL_RGB);
        }
        glBegin(GL_POINTS);
        glVertex3f(0, 0, 0);
        glEnd();
        glFinish();
    }
    glDisable(GL_REGISTER_COMBINERS_NV);
}

BENCHMARK(BM_DrawLegacyProgram)->Arg(1)->Arg(100);
BENCHMARK(BM_DrawWithCombiners)->Arg(1)->Arg(100);
BENCHMARK(BM_DrawWithTexturedCombiners)->Args({100, 0})->Args({100, 1});
BENCHMARK(BM_CombinerCacheMiss)->Iterations(150);
BENCHMARK(BM_DrawHandWrittenArbProgram)->Arg(1)->Arg(100);
BENCHMARK(BM_DrawHandWrittenArbProgramLayerOff)->Arg(1)->Arg(100);
BENCHMARK(BM_CallListOfDraws)->Arg(1)->Arg(0);
BENCHMARK(BM_LoadAndFirstDraw);
BENCHMARK(BM_CheckAndTranslate);

}  // namespace

BENCHMARK_MAIN();
