// The signed, HILO and DSDT texture formats of GL_NV_texture_shader(2) on a driver without them:
// uploads in those formats become float textures that hold the extensions' values, and the
// layer remembers which legacy format each converted texture object has (common to a share
// group) so that the fragment module can read them as the extensions define.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "legacygl/layer.h"

namespace legacygl {

class LegacyTextures : public Module {
  public:
    explicit LegacyTextures(Layer& layer);

    NextGl::Proc Lookup(const char*) const override { return nullptr; }
    bool TexImage(const TexUpload& upload) override;

  private:
    void RaiseError(GLenum error) { layer_.RaiseError(error); }

    Layer& layer_;
    const NextGl& next_;
};

// The legacy internal format of texture object `name` of a share group, GL_NONE for a texture
// the layer did not convert.
GLenum ConvertedFormat(ShareGroup& group, GLuint name);

// Only where the fragment module takes part (it reads the converted textures).
std::unique_ptr<Module> CreateLegacyTextures(Layer& layer);

}  // namespace legacygl
