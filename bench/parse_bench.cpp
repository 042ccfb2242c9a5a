// Parse throughput of shaderparse per program kind, on generated texts of about 1 MB and 10 MB
// made of repeated realistic blocks, against the recording GL (whose vertex-program check runs on
// every load). Throughput that stays level from 1 MB to 10 MB means parse time grows linearly.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <string>

#include "recgl/recording_gl.h"
#include "shaderparse/parse_state.h"
#include "shaderparse/shaderparse.h"

namespace {

constexpr GLint kProgramId = 1;

// Repeats block(i) for i = 0, 1, ... after head until the text holds `size` bytes, then adds tail.
template <typename Block>
std::string Generate(size_t size, const std::string& head, Block block, const std::string& tail) {
    std::string text = head;
    for (int i = 0; text.size() + tail.size() < size; ++i) text += block(i);
    return text + tail;
}

// Transform and diffuse lighting, eight instructions per block.
std::string VertexProgram(size_t size) {
    return Generate(
        size, "!!VP1.0\n",
        [](int i) {
            return "# vertex block " + std::to_string(i) +
                   ": transform and light\n"
                   "DP4 o[HPOS].x, c[0], v[OPOS];\nDP4 o[HPOS].y, c[1], v[OPOS];\n"
                   "DP4 o[HPOS].z, c[2], v[OPOS];\nDP4 o[HPOS].w, c[3], v[OPOS];\n"
                   "DP3 R0.x, c[4], v[NRML];\nMAX R0.x, R0.x, c[5].x;\n"
                   "MUL o[COL0], R0.x, c[6];\nMOV o[TEX0], v[TEX0];\n";
        },
        "END\n");
}

// Skinning with a macro, one new #define per block (all distinct), comments of both kinds.
std::string Vs10(size_t size) {
    return Generate(
        size,
        "vs.1.0\n; skinned and lit\nmacro skin dst, w\n  m4x3 %dst.xyz, v0, c[a0.x + 10]\n"
        "  mul %dst.xyz, %dst, %w\nendm\n",
        [](int i) {
            const std::string n = std::to_string(i);
            return "#define LIGHT" + n + " " + std::to_string(i % 80) + " // light of block " + n +
                   "\n; block " + n +
                   "\nmov a0.x, v1.x\nskin r1, v2.x\nm4x4 oPos, r1, c0\n"
                   "dp3 r0.x, v3, c[a0.x + LIGHT" +
                   n + "]\nmax r0.x, r0.x, c4.x ; clamp\nmul oD0, r0.x, c5\n";
        },
        "mov oT0, v7\n");
}

// General combiner stages (from the ninth on, each adds a message until the list is full).
std::string Combiners(size_t size) {
    return Generate(
        size, "!!RC1.0\n// bump mapped diffuse\nconst0 = (0.2, 0.2, 0.2, 1.0);\n",
        [](int i) {
            return "// stage " + std::to_string(i) +
                   "\n{ rgb { spare0 = expand(tex0) . expand(col0); scale_by_two(); }\n"
                   "  alpha { spare0 = tex1.a * one; } }\n";
        },
        "final_product = spare0 * const0;\nout.rgb = lerp(spare0, final_product, col1) + fog;\n"
        "out.a = spare0.a;\n");
}

// Texture shader statements; every one is set up on its own texture unit.
std::string TextureShader(size_t size) {
    return Generate(
        size, "!!TS1.0\n",
        [](int i) {
            return "# unit group " + std::to_string(i) +
                   "\ntexture_2d();\ndot_product_2d_1of2(expand(tex0));\n"
                   "dot_product_2d_2of2(expand(tex0));\n";
        },
        "");
}

recgl::Profile ParseProfile() {
    recgl::Profile profile;
    profile.extensions =
        "GL_ARB_multitexture GL_NV_vertex_program GL_NV_register_combiners "
        "GL_NV_register_combiners2 GL_NV_texture_shader";
    profile.integers[GL_VERTEX_PROGRAM_BINDING_NV] = {kProgramId};
    return profile;
}

// range(0): the text's size in MB (10^6 bytes).
void Parse(benchmark::State& state, std::string (*make)(size_t)) {
    const std::string text = make(static_cast<size_t>(state.range(0)) * 1000000);
    recgl::Reset(ParseProfile());
    for (auto _ : state) {
        shaderparse(text.c_str());
        state.PauseTiming();
        recgl::ClearCalls();
        state.ResumeTiming();
    }
    const double bytes = double(text.size()) * double(state.iterations());
    state.counters["MB/s"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
    state.counters["messages"] = parseErrors.Count();
}

void BM_ParseVertexProgram(benchmark::State& state) { Parse(state, VertexProgram); }
void BM_ParseVs10(benchmark::State& state) { Parse(state, Vs10); }
void BM_ParseCombiners(benchmark::State& state) { Parse(state, Combiners); }
void BM_ParseTextureShader(benchmark::State& state) { Parse(state, TextureShader); }

// Single runs scatter on a shared machine: each runs three times; quote the median.
#define SIZES Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3)
BENCHMARK(BM_ParseVertexProgram)->SIZES;
BENCHMARK(BM_ParseVs10)->SIZES;
BENCHMARK(BM_ParseCombiners)->SIZES;
BENCHMARK(BM_ParseTextureShader)->SIZES;

}  // namespace

BENCHMARK_MAIN();
