// What the tests that draw fragments share (drawing from generated programs, or through the
// layer's entry points): fragment cases, signed texture strips and cases that read them, random
// valid register-combiner set-ups over every register.
#pragma once

#include <random>
#include <vector>

#include "tests/fragmentprogram/gl_harness.h"

namespace fragmenttest {

extern const GLenum kMappings[8];
// The (scale, bias) pairs a combiner output allows.
extern const GLenum kScaleBias[6][2];

// Cases with texture coordinates chosen per unit by `coord`, colours varied.
template <typename Coord>
std::vector<Case> Cases(unsigned seed, int count, Coord coord) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<Case> cases;
    for (int n = 0; n < count; ++n) {
        Case c;
        c.fragment.primary = {unit(random), unit(random), unit(random), unit(random)};
        c.fragment.secondary = {unit(random), unit(random), unit(random), 1.0f};
        c.fragment.fogCoordinate = unit(random);
        for (int u = 0; u < fragmentprogram::kMaxTextureUnits; ++u)
            c.fragment.texcoord[u] = coord(random, u, n);
        cases.push_back(c);
    }
    return cases;
}

// A 4x1 RGBA texture of signed values (both ends of [-1, 1] among them), described as signed
// RGBA.
TestTexture SignedStrip(unsigned seed);
// Fragments that read each texel of a 4x1 strip on units 0 to 3, with assorted colours and fog
// coordinates.
std::vector<Case> StripCases(unsigned seed, int count = 64);
// Combiners on with no general stage, two constants, and `strips` on units 0, 1, ... as
// enabled 2D textures.
fragmentprogram::FragmentState CombinersWithSignedTextures(const std::vector<TestTexture>& strips);
std::vector<const TestTexture*> Pointers(const std::vector<TestTexture>& textures);
// Fog colour, start, end and density away from their defaults.
fragmentprogram::Environment FogEnvironment();
// A random valid set-up over all registers: stage count, inputs, mappings, usages, outputs,
// scale and bias, dot and mux flags, constants, per-stage constants, colour-sum clamp, fog.
fragmentprogram::FragmentState RandomCombiners(std::mt19937& random,
                                               const std::vector<TestTexture>& strips);

}  // namespace fragmenttest
