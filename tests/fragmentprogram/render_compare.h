// Draws cases with the program generated for a state and holds every pixel against the CPU
// evaluation of the same case.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "fragmentprogram/generator.h"
#include "tests/fragmentprogram/gl_harness.h"

namespace fragmenttest {

// Float colour buffer: the driver and the evaluator may round products, reciprocals and
// exponentials differently in the last bits, nothing more (2.4e-7 at most when measured).
constexpr float kTolerance = 1e-6f;

// The harness shared by the cases of one test program (one Xvfb server per process).
inline GlHarness& Harness() {
    static GlHarness harness;
    return harness;
}

inline std::string Show(const Vec4& v) {
    char text[96];
    snprintf(text, sizeof text, "(%.7g, %.7g, %.7g, %.7g)", v[0], v[1], v[2], v[3]);
    return text;
}

// Binds `textures` (by unit), sets `env` (its sampler reading those textures), draws `cases` with
// whatever fragment processing is in force and holds each pixel against the evaluation of `state`.
// `label` names the set-up in failure messages, `detail` follows it there.
inline void ExpectDrawnAsEvaluated(const std::string& label,
                                   const fragmentprogram::FragmentState& state,
                                   const std::vector<const TestTexture*>& textures,
                                   fragmentprogram::Environment env, const std::vector<Case>& cases,
                                   float tolerance, const std::string& detail) {
    GlHarness& gl = Harness();
    for (int unit = 0; unit < fragmentprogram::kMaxTextureUnits; ++unit) {
        if (size_t(unit) < textures.size() && textures[unit] != nullptr) {
            gl.Bind(unit, *textures[unit]);
        } else {
            gl.Unbind(unit);
        }
    }
    const fragmentprogram::Environment sampled = EnvironmentFor(textures);
    env.sample = sampled.sample;
    gl.SetEnvironment(env);
    const std::vector<Rendered> rendered = gl.Draw(cases);
    ASSERT_EQ(rendered.size(), cases.size());
    int failures = 0;
    for (size_t n = 0; n < cases.size() && failures < 5; ++n) {
        const fragmentprogram::Outcome expected =
            fragmentprogram::Evaluate(state, env, cases[n].fragment);
        bool same = rendered[n].drawn == !expected.discarded;
        if (same && rendered[n].drawn) {
            for (int k = 0; k < 4; ++k) {
                same = same && std::fabs(rendered[n].color[k] - expected.color[k]) <= tolerance;
            }
            if (expected.depthReplaced) {
                same = same && std::fabs(rendered[n].depth - expected.depth) <= tolerance;
            }
        }
        if (!same) {
            ++failures;
            ADD_FAILURE() << label << ", case " << n << ": "
                          << (rendered[n].drawn ? "drawn " : "discarded ")
                          << Show(rendered[n].color) << " depth " << rendered[n].depth
                          << ", expected " << (expected.discarded ? "discard " : "")
                          << Show(expected.color) << " depth " << expected.depth << "\n"
                          << detail;
        }
    }
}

// The same with the program generated for `state`, loaded as the harness's program.
inline void ExpectRendersAsEvaluated(const std::string& label,
                                     const fragmentprogram::FragmentState& state,
                                     const std::vector<const TestTexture*>& textures,
                                     const fragmentprogram::Environment& env,
                                     const std::vector<Case>& cases, float tolerance = kTolerance) {
    GlHarness& gl = Harness();
    ASSERT_EQ(gl.Failure(), "");
    const std::string text = fragmentprogram::GenerateProgram(state);
    ASSERT_EQ(gl.Load(text), "") << label << "\n" << text;
    gl.SetLocals(fragmentprogram::ProgramLocals(state));
    ExpectDrawnAsEvaluated(label, state, textures, env, cases, tolerance, text);
}

}  // namespace fragmenttest
