// A GL context of the real driver on an Xvfb display of its own, drawing into a float framebuffer:
// generated programs are loaded, one pixel-sized quad per fragment case is drawn, and the colours
// (unclamped floats) and depths are read back, next to the CPU evaluation of the same case.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include <memory>
#include <string>
#include <vector>

#include "fragmentprogram/reference_evaluator.h"

namespace fragmenttest {

using fragmentprogram::Vec4;

// Components per texel of an external format in the layout glTexImage receives.
int ComponentsOf(GLenum format);

// A texture both sides know: texels in the layout glTexImage receives, sampled NEAREST with
// CLAMP_TO_EDGE by the driver and by Sample().
struct TestTexture {
    int target = fragmentprogram::k2D;  // TargetIndex
    GLenum internalFormat = GL_RGBA32F;
    GLenum format = GL_RGBA;                   // external format of `texels` (GL_FLOAT components)
    fragmentprogram::TextureFormat described;  // what the fragment stages are told
    int width = 1, height = 1, depth = 1;      // cube maps: six faces of width x width
    std::vector<float> texels;                 // cube maps: faces +X, -X, +Y, -Y, +Z, -Z

    // The texel the GL returns at coord, expanded as GL expands its base format.
    Vec4 Sample(const Vec4& coord) const;
};

struct Case {
    fragmentprogram::Fragment fragment;
};

struct Rendered {
    bool drawn = false;  // false: the fragment was discarded (the clear colour remained)
    Vec4 color{0, 0, 0, 0};
    float depth = 0;
};

class GlHarness {
  public:
    GlHarness();
    ~GlHarness();
    // "" when the context and framebuffer work, else what failed.
    const std::string& Failure() const { return failure_; }

    // Loads a fragment program; "" on success, else the driver's message and position.
    std::string Load(const std::string& text);
    void SetLocals(const std::vector<Vec4>& locals);
    // Binds the texture to its unit (replacing what was there).
    void Bind(int unit, const TestTexture& texture);
    void Unbind(int unit);
    void SetEnvironment(const fragmentprogram::Environment& env);

    // Draws into an 8-bit colour buffer instead of the float one. There the clear colour cannot
    // mark discarded fragments: every case reads as drawn.
    void UseEightBitColors(bool eightBit);

    // One quad per case; every vertex of a quad carries the case's attributes.
    std::vector<Rendered> Draw(const std::vector<Case>& cases);

    static constexpr int kSize = 16;  // the framebuffer is kSize x kSize

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string failure_;
};

// An environment whose sampler reads `textures[unit]` (null entries sample nothing).
fragmentprogram::Environment EnvironmentFor(const std::vector<const TestTexture*>& textures);

}  // namespace fragmenttest
