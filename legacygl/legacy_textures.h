// The signed, HILO and DSDT texture formats of GL_NV_texture_shader(2) on a driver without them:
// uploads in those formats become float textures that hold the extensions' values, and the
// layer remembers which legacy format each converted texture object has (common to a share
// group) so that the fragment module can read them as the extensions define.
#pragma once

#include <array>
#include <memory>
#include <utility>
#include <vector>

#include "fragmentprogram/texel_conversion.h"
#include "legacygl/layer.h"

namespace legacygl {

class LegacyTextures : public Module {
  public:
    explicit LegacyTextures(Layer& layer);
    ~LegacyTextures() override;

    NextGl::Proc Lookup(const char*) const override { return nullptr; }
    bool TexImage(const TexUpload& upload) override;
    bool CopyTexImage(GLenum target, GLenum* internalFormat) override;
    bool PixelTransfer(GLenum pname, GLfloat value) override;
    bool RefusesPixels(GLenum format, GLenum type) const override;
    void TexturesDeleted(GLsizei n, const GLuint* names) override;
    bool GetTexImage(GLenum target, GLint level, GLenum format, GLenum type, void* pixels) override;
    bool TexParameter(GLenum target, GLenum pname, const GLint* ints,
                      const GLfloat* floats) override;
    bool GetTexParameter(GLenum target, GLenum pname, GLint* ints, GLfloat* floats) override;
    bool GetIntegers(GLenum pname, GLint* out) const override;
    int GetFloats(GLenum pname, GLfloat* out) const override;
    void AttributesPushed(GLbitfield mask) override;
    void AttributesPopped() override;

  private:
    GLint Integer(GLenum pname) const;
    // Whether a display list is being compiled.
    bool Compiling() const;
    // The texture object bound to target (or to the cube map of a face) on the active unit.
    GLuint Bound(GLenum target) const;
    // The legacy format of that texture, GL_NONE for a conventional one.
    GLenum BoundFormat(GLenum target) const;
    // The legacy format of the texture bound to target from now on (GL_NONE: a conventional one).
    void Remember(GLenum target, GLenum legacy);
    void SetFormat(GLenum target, GLenum legacy);
    // The border values of the texture bound to target (ints: as the application gave them).
    void SetBorder(GLenum target, GLenum pname, const GLint* ints, std::array<GLfloat, 4> values);
    // The driver's border colour of a texture with legacy format (GL_NONE: a conventional one).
    void DriverBorder(GLenum target, GLenum legacy, std::array<GLfloat, 4> border);
    // The application's texels of an upload, from client memory or the bound unpack buffer,
    // packed tight (into *packed) in the machine's byte order as the unpack state says; *texels
    // null without texels. False when the unpack buffer cannot give them (the range passes its
    // end, or it is mapped).
    bool Unpacked(const TexUpload& u, std::vector<unsigned char>* packed,
                  const void** texels) const;
    // Whether the texels of an upload can be kept, unpacked tight into *texels.
    bool Copied(const TexUpload& u, std::vector<unsigned char>* texels) const;
    // Runs f with the pack (or unpack) state at tight defaults and no pixel buffer bound for it,
    // for pixels of the layer's own in client memory; the application's state is restored after.
    template <typename F>
    void Tight(bool pack, F f) const;
    // An upload converted when the legacy format calls for it (or refused): false when the
    // driver takes it as it is. tight: the texels are already unpacked tight.
    bool Convert(const TexUpload& u, bool tight);
    // The converted image to the driver, with the unpack state and pixel transfer at their
    // defaults.
    void Upload(const TexUpload& u, const fragmentprogram::FloatImage& image);
    // An upload of tight texels in client memory to the driver, whatever the unpack state.
    void DriverUpload(const TexUpload& u);
    // The glTex(Sub)Image* call of an upload.
    void DriverImage(const TexUpload& u);

    // The scale or bias of a HILO or offset component (HI, LO, DS, DT, MAGNITUDE, VIBRANCE),
    // null for other names.
    GLfloat* Transfer(GLenum pname);
    const GLfloat* Transfer(GLenum pname) const;
    // The scales and biases the conversion applies to pixels for a legacy internal format.
    fragmentprogram::GroupTransfer TransferOf(GLenum legacy) const;

    Layer& layer_;
    const NextGl& next_;
    // Pixel transfer of the HILO and offset components, by component.
    struct Transfers {
        GLfloat scale[6] = {1, 1, 1, 1, 1, 1};
        GLfloat bias[6] = {0, 0, 0, 0, 0, 0};
    };
    Transfers transfer_;
    // glPushAttrib's stack: whether each push saved the pixel mode, and what it saved.
    std::vector<std::pair<bool, Transfers>> pushed_;
};

// The legacy internal format of texture object `name` bound to target (or to the cube map of a
// face) in the context of layer, GL_NONE for a texture the layer did not convert. Named textures
// are common to the share group; the default ones (name 0) are the context's, one per target.
GLenum ConvertedFormat(Layer& layer, GLenum target, GLuint name);

// Only where the fragment module takes part (it reads the converted textures).
std::unique_ptr<Module> CreateLegacyTextures(Layer& layer);

}  // namespace legacygl
