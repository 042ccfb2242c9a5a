// A layer over the recording GL, current for the entry points it hands out, with the driver
// extensions of a test (by default those the fragment modules are built on).
#pragma once

#define GL_GLEXT_PROTOTYPES 1

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "legacygl/layer.h"
#include "recgl/recording_gl.h"

#include <GL/glx.h>

namespace legacygltest {

inline legacygl::NextGl::Proc FromRecordingGl(const char* name) {
    return ::glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name));
}

constexpr const char* kFragmentDriver = "GL_ARB_multitexture GL_ARB_fragment_program";

class LayerOver {
  public:
    // adjust, when given, replaces functions of the recording GL by the test's own.
    explicit LayerOver(const std::string& extensions = kFragmentDriver, bool switchedOn = true,
                       void (*adjust)(legacygl::NextGl&) = nullptr)
        : LayerOver(FourUnits(extensions), switchedOn, adjust) {}
    // A driver of the given profile.
    LayerOver(const recgl::Profile& profile, bool switchedOn,
              void (*adjust)(legacygl::NextGl&) = nullptr) {
        recgl::Reset(profile);
        legacygl::NextGl next;
        next.Load(FromRecordingGl);
        if (adjust != nullptr) adjust(next);
        layer = std::make_unique<legacygl::Layer>(next, switchedOn);
        current = layer.get();
        legacygl::SetLayerLookup(&Current);
    }
    ~LayerOver() {
        current = nullptr;
        legacygl::SetLayerLookup(nullptr);
    }
    template <typename F>
    F Fn(const char* name) {
        auto f = reinterpret_cast<F>(layer->GetProcAddress(reinterpret_cast<const GLubyte*>(name)));
        EXPECT_NE(f, nullptr) << name;
        return f;
    }
    std::unique_ptr<legacygl::Layer> layer;

  private:
    static recgl::Profile FourUnits(const std::string& extensions) {
        recgl::Profile profile;
        profile.extensions = extensions;
        profile.integers[GL_MAX_TEXTURE_UNITS] = {4};
        return profile;
    }
    static legacygl::Layer* Current() { return current; }
    static inline legacygl::Layer* current = nullptr;
};

}  // namespace legacygltest
