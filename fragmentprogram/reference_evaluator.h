// A CPU evaluation, one fragment at a time, of what the register combiners, the texture shaders
// and the conventional texture environments they feed compute for a FragmentState. Written from
// the extensions' formulas on its own, sharing no code with the program generator, so that tests
// can hold the generated programs against it.
#pragma once

#include <functional>

#include "fragmentprogram/fragment_state.h"

namespace fragmentprogram {

// GL state that the generated programs read through state bindings, and the textures.
struct Environment {
    Vec4 fogColor{0, 0, 0, 0};
    float fogDensity = 1.0f, fogStart = 0.0f, fogEnd = 1.0f;
    std::array<Vec4, kMaxTextureUnits> envColor{};
    float depthNear = 0.0f, depthFar = 1.0f;
    // The filtered texel of unit's texture on target (a TargetIndex) at coord, as the GL returns
    // it: base formats expanded as usual (ALPHA gives (0, 0, 0, A)), the legacy formats in the
    // float layouts of ConvertTexels. Coordinates are final (already divided where that applies).
    std::function<Vec4(int unit, int target, const Vec4& coord)> sample;
};

struct Fragment {
    Vec4 primary{0, 0, 0, 0}, secondary{0, 0, 0, 0};
    std::array<Vec4, kMaxTextureUnits> texcoord{};
    float fogCoordinate = 0.0f;
};

struct Outcome {
    bool discarded = false;
    Vec4 color{0, 0, 0, 0};  // clamped to [0, 1] as a fixed-point colour buffer stores it
    bool depthReplaced = false;
    float depth = 0.0f;
};

Outcome Evaluate(const FragmentState& state, const Environment& env, const Fragment& fragment);

// Stage consistency as this evaluator decides it, for tests of the rules themselves.
bool ReferenceStageConsistent(const FragmentState& state, int unit);

}  // namespace fragmentprogram
