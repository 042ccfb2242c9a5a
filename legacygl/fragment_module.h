// GL_NV_register_combiners(2) and GL_NV_texture_shader(2) on a driver with
// GL_ARB_fragment_program: the combiner and texture-shader state set piecewise through their
// commands, enables and TexEnv targets, and at each draw with either extension enabled a cached
// ARB fragment program that computes what they define (reading the textures legacy_textures
// converted), bound in place of the application's own for that draw.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "fragmentprogram/fragment_state.h"
#include "legacygl/layer.h"

namespace legacygl {

class FragmentModule : public Module {
  public:
    explicit FragmentModule(Layer& layer);

    NextGl::Proc Lookup(const char* name) const override;
    bool SetCapability(GLenum cap, bool on) override;
    bool IsEnabled(GLenum cap, GLboolean* on) const override;
    bool GetIntegers(GLenum pname, GLint* out) const override;
    int GetFloats(GLenum pname, GLfloat* out) const override;
    bool TexEnv(GLenum target, GLenum pname, const GLint* ints, const GLfloat* floats,
                bool vector) override;
    bool GetTexEnv(GLenum target, GLenum pname, GLint* ints, GLfloat* floats) override;
    bool BeforeDraw() override;
    void ArbProgramBound(GLenum target) override;
    void AttributesPushed(GLbitfield mask) override;
    void AttributesPopped() override;
    void ChangedUnseen() override { enablesKnown_ = false; }

    // The extensions' commands (floats already converted; colours as given).
    void CombinerParameter(GLenum pname, const GLfloat* values, bool vector);
    void CombinerInput(GLenum stage, GLenum portion, GLenum variable, GLenum input, GLenum mapping,
                       GLenum usage);
    void CombinerOutput(GLenum stage, GLenum portion, GLenum abOutput, GLenum cdOutput,
                        GLenum sumOutput, GLenum scale, GLenum bias, GLboolean abDot,
                        GLboolean cdDot, GLboolean muxSum);
    void FinalCombinerInput(GLenum variable, GLenum input, GLenum mapping, GLenum usage);
    // One value of an input/output query, false after an error.
    bool GetCombinerInput(GLenum stage, GLenum portion, GLenum variable, GLenum pname,
                          GLint* value);
    bool GetCombinerOutput(GLenum stage, GLenum portion, GLenum pname, GLint* value);
    bool GetFinalCombinerInput(GLenum variable, GLenum pname, GLint* value);
    void CombinerStageParameter(GLenum stage, GLenum pname, const GLfloat* values);
    // glTexEnv(GL_TEXTURE_SHADER_NV, pname, ...) on the active unit.
    void SetShaderParameter(GLenum pname, const GLint* ints, const GLfloat* floats, bool vector);
    void GetCombinerStageParameter(GLenum stage, GLenum pname, GLfloat* values);

    // The state the next draw's program is made for (texture state read from the driver).
    const fragmentprogram::FragmentState& State();

  private:
    // One parameter of a general or final combiner input, false (and GL_INVALID_ENUM) for pname.
    bool GetInputParameter(const fragmentprogram::CombinerInput& in, GLenum pname, GLint* value);
    void RaiseError(GLenum error) { layer_.RaiseError(error); }
    int ActiveUnit() const;
    void ReadTextureState();
    // The conventional texture enables of every unit, from the driver.
    void ReadEnables();
    // glEnable/glDisable of a texture target on the active unit.
    void FollowTextureEnable(GLenum target, bool on);
    void ReadUnit(int unit);
    // The texture bound to target k (a TargetIndex) of a unit.
    fragmentprogram::BoundTexture ReadTexture(int unit, int k);
    // The base format of a driver format the state model does not name, from its sizes.
    GLenum BaseFromSizes(int unit, int k);
    // Queries of one unit's texture state. With the driver's direct state access they leave the
    // active unit alone: changing it makes the driver flush the vertices drawn so far, one draw
    // of its own for every draw of the application. Cube maps are read on the active unit (the
    // direct level query is not dependable for their faces). Select makes a unit active for the
    // others, once; ReadTextureState puts the application's back.
    void Select(int unit);
    bool Direct(int k) const { return directAccess_ && k != fragmentprogram::kCubeMap; }
    GLint LevelParameter(int unit, int k, GLint level, GLenum pname);
    GLuint Program();
    void Uninstall();
    // Sets the driver's FRAGMENT_PROGRAM_ARB enable to what it must be: on while the layer's
    // program is installed, else the application's.
    void MatchDriverProgramEnable();

    Layer& layer_;
    const NextGl& next_;
    fragmentprogram::FragmentState state_;
    int maxUnits_ = 4;
    std::map<std::string, GLuint> programs_;  // by ProgramKey
    bool directAccess_ = false;               // the driver has GL_EXT_direct_state_access
    bool rectangles_ = false;                 // the driver has rectangle textures
    // The conventional texture enables of each unit, a bit per TargetIndex: asking the driver
    // for them at every draw makes it flush as often (it changes the active unit for each
    // query). Followed from the layer's glEnable/glDisable; unknown, and read at the next draw,
    // after anything else that may change them (a pop, a display list, an indexed enable).
    std::array<unsigned, fragmentprogram::kMaxTextureUnits> enables_{};
    bool enablesKnown_ = false;
    int selected_ = -1;       // the unit made active while the texture state is read, or -1
    bool installed_ = false;  // a program of the layer is bound and enabled in the driver
    GLint appProgram_ = 0;    // the application's fragment program binding while installed
    bool appProgramEnabled_ = false;
    GLuint lastProgram_ = 0;
    std::vector<fragmentprogram::Vec4> lastLocals_;
    // What each glPushAttrib saved: all combiner and texture-shader state with TEXTURE_BIT,
    // their enables with TEXTURE_BIT or ENABLE_BIT, the application's FRAGMENT_PROGRAM_ARB
    // enable with ENABLE_BIT (the driver saves the layer's while its program is installed).
    struct Saved {
        GLbitfield mask = 0;
        fragmentprogram::CombinerState combiners;
        std::array<fragmentprogram::TextureShaderStage, fragmentprogram::kMaxTextureUnits> shaders;
        bool textureShaders = false;
        bool appProgramEnabled = false;
    };
    std::vector<Saved> saved_;
};

std::unique_ptr<Module> CreateFragmentModule(Layer& layer);
// The names of the extensions the fragment module supplies besides the first: they only add
// their name to the extension strings (the fragment module answers for them), and only where the
// fragment module takes part.
std::unique_ptr<Module> CreateNamedOnly(Layer& layer);

}  // namespace legacygl
