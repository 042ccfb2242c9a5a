// Cost of turning combiner and texture-shader state into a fragment program: the cache key and
// parameters a draw with a warm cache computes, the program text a cache miss generates, and
// (when $DISPLAY offers a GL context) the driver's compile of that text.
#include <GL/glx.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "fragmentprogram/generator.h"
#include "platform/platform.h"

namespace {

using namespace fragmentprogram;

// The initial state with combiners on: one general stage, colour sum and fog.
FragmentState Simple() {
    FragmentState state;
    state.combiners.enabled = true;
    return state;
}

// Eight general stages reading textures and constants, dot products and a mux, with a
// four-stage texture-shader chain (a normal map, two dot products, a reflected cube lookup).
FragmentState Heavy() {
    FragmentState state;
    CombinerState& c = state.combiners;
    c.enabled = true;
    c.perStageConstants = true;
    c.generalCombiners = kMaxGeneralCombiners;
    for (int s = 0; s < kMaxGeneralCombiners; ++s) {
        GeneralCombiner& stage = c.stages[s];
        stage.rgb.inputs[kA] = {GLenum(GL_TEXTURE0 + s % 4), GL_EXPAND_NORMAL_NV, GL_RGB};
        stage.rgb.inputs[kB] = {GL_CONSTANT_COLOR0_NV, GL_EXPAND_NORMAL_NV, GL_RGB};
        stage.rgb.inputs[kC] = {GL_SPARE0_NV, GL_SIGNED_IDENTITY_NV, GL_RGB};
        stage.rgb.inputs[kD] = {GL_PRIMARY_COLOR_NV, GL_HALF_BIAS_NORMAL_NV, GL_ALPHA};
        stage.rgb.abDotProduct = s % 2 == 0;
        stage.rgb.muxSum = s % 3 == 0;
        stage.rgb.scale = GL_SCALE_BY_TWO_NV;
        stage.rgb.abOutput = GL_SPARE1_NV;
        stage.alpha.inputs[kC] = {GL_TEXTURE1, GL_SIGNED_NEGATE_NV, GL_BLUE};
    }
    c.final.inputs[kE] = {GL_SPARE1_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    c.final.inputs[kF] = {GL_TEXTURE3, GL_UNSIGNED_INVERT_NV, GL_RGB};
    c.final.inputs[kD] = {GL_E_TIMES_F_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    state.fog = true;
    state.textureShaders = true;
    const GLenum ops[] = {GL_TEXTURE_2D, GL_DOT_PRODUCT_NV, GL_DOT_PRODUCT_NV,
                          GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV};
    for (int u = 0; u < 4; ++u) {
        TextureUnit& unit = state.units[u];
        unit.shader.operation = ops[u];
        for (BoundTexture& t : unit.targets) t = {true, {GL_RGBA, Signedness::kSigned}};
    }
    return state;
}

FragmentState ByIndex(int64_t index) { return index == 0 ? Simple() : Heavy(); }

void WarmDraw(benchmark::State& bench) {
    const FragmentState state = ByIndex(bench.range(0));
    for (auto _ : bench) {
        benchmark::DoNotOptimize(ProgramKey(state));
        benchmark::DoNotOptimize(ProgramLocals(state));
    }
}
BENCHMARK(WarmDraw)->Arg(0)->Arg(1);

void Generate(benchmark::State& bench) {
    const FragmentState state = ByIndex(bench.range(0));
    size_t bytes = 0;
    for (auto _ : bench) {
        const std::string text = GenerateProgram(state);
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    bench.counters["program_bytes"] = double(bytes);
}
BENCHMARK(Generate)->Arg(0)->Arg(1);

// A pbuffer context on $DISPLAY, or none.
struct Context {
    Display* display = nullptr;
    bool ready = false;
    Context() {
        const char* name = std::getenv("DISPLAY");
        if (name == nullptr || (display = XOpenDisplay(name)) == nullptr) return;
        const int attributes[] = {GLX_DRAWABLE_TYPE, GLX_PBUFFER_BIT, None};
        int count = 0;
        GLXFBConfig* configs =
            glXChooseFBConfig(display, DefaultScreen(display), attributes, &count);
        if (configs == nullptr || count == 0) return;
        const int size[] = {GLX_PBUFFER_WIDTH, 8, GLX_PBUFFER_HEIGHT, 8, None};
        const GLXPbuffer pbuffer = glXCreatePbuffer(display, configs[0], size);
        const GLXContext context =
            glXCreateNewContext(display, configs[0], GLX_RGBA_TYPE, nullptr, True);
        XFree(configs);
        ready = context != nullptr && glXMakeContextCurrent(display, pbuffer, pbuffer, context);
    }
};

// Generation plus the driver's compile: what a cache miss costs in all.
void GenerateAndCompile(benchmark::State& bench) {
    static Context context;
    if (!context.ready) {
        bench.SkipWithError("no GL context on $DISPLAY");
        return;
    }
    auto gen =
        reinterpret_cast<PFNGLGENPROGRAMSARBPROC>(platform::LookupGlProc("glGenProgramsARB"));
    auto bind =
        reinterpret_cast<PFNGLBINDPROGRAMARBPROC>(platform::LookupGlProc("glBindProgramARB"));
    auto load =
        reinterpret_cast<PFNGLPROGRAMSTRINGARBPROC>(platform::LookupGlProc("glProgramStringARB"));
    auto remove =
        reinterpret_cast<PFNGLDELETEPROGRAMSARBPROC>(platform::LookupGlProc("glDeleteProgramsARB"));
    const FragmentState state = ByIndex(bench.range(0));
    for (auto _ : bench) {
        GLuint program;
        gen(1, &program);
        bind(GL_FRAGMENT_PROGRAM_ARB, program);
        const std::string text = GenerateProgram(state);
        load(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_FORMAT_ASCII_ARB, GLsizei(text.size()),
             text.data());
        // A draw makes the driver finish the program for this state.
        glEnable(GL_FRAGMENT_PROGRAM_ARB);
        glBegin(GL_POINTS);
        glVertex2f(0, 0);
        glEnd();
        glFinish();
        glDisable(GL_FRAGMENT_PROGRAM_ARB);
        if (glGetError() != GL_NO_ERROR) {
            bench.SkipWithError("the program did not load");
            break;
        }
        remove(1, &program);
    }
}
BENCHMARK(GenerateAndCompile)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
