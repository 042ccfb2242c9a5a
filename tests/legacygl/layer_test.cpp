// The layer's core over the recording GL: when it takes part and when it steps aside, what it
// adds to the extension string and the lookups, and the extension's own errors and queries.
#include "legacygl/layer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>
#include <string>

#include "glext/entry_points.h"
#include "recgl/recording_gl.h"
#include "tests/legacygl/recording_layer.h"

namespace {

using legacygl::Layer;
using legacygl::NextGl;

using legacygltest::FromRecordingGl;
using legacygltest::LayerOver;

// A driver with the given extensions, version and profile.
recgl::Profile Driver(const std::string& extensions, const std::string& version = "1.2.0",
                      GLint profileMask = 0) {
    recgl::Profile profile;
    profile.extensions = extensions;
    profile.version = version;
    profile.integers[GL_CONTEXT_PROFILE_MASK] = {profileMask};
    return profile;
}

std::string Extensions(Layer& layer) {
    return reinterpret_cast<const char*>(layer.GetString(GL_EXTENSIONS));
}

const glext::ExtensionRow& VertexProgramRow() {
    for (size_t i = 0; i < glext::entryPointTableRows; ++i)
        if (std::strcmp(glext::entryPointTable[i].name, "GL_NV_vertex_program") == 0)
            return glext::entryPointTable[i];
    ADD_FAILURE() << "no GL_NV_vertex_program row";
    return glext::entryPointTable[0];
}

TEST(LegacyGlLayer, StepsAsideWhereTheDriverHasTheExtensionOrLacksWhatItNeeds) {
    const struct {
        const char* extensions;
        bool switchedOn;
        const char* version;
        GLint profileMask;
    } asides[] = {
        {"GL_ARB_vertex_program GL_NV_vertex_program GL_ARB_multitexture", true, "1.2.0", 0},
        {"GL_ARB_multitexture", true, "1.2.0", 0},  // nothing to build on
        {"GL_ARB_vertex_program", false, "1.2.0", 0},
        {"GL_ARB_vertex_program", true, "4.5 (Core Profile)", GL_CONTEXT_CORE_PROFILE_BIT},
    };
    for (const auto& a : asides) {
        LayerOver over(Driver(a.extensions, a.version, a.profileMask), a.switchedOn);
        SCOPED_TRACE(a.extensions);
        EXPECT_FALSE(over.layer->Active());
        EXPECT_EQ(Extensions(*over.layer), a.extensions);
        // Every lookup, enable and query goes to the recording GL untouched.
        const GLubyte* name = reinterpret_cast<const GLubyte*>("glLoadProgramNV");
        EXPECT_EQ(over.layer->GetProcAddress(name), FromRecordingGl("glLoadProgramNV"));
        recgl::ClearCalls();
        over.layer->Enable(GL_VERTEX_PROGRAM_NV);
        over.layer->Begin(GL_QUADS);
        over.layer->End();
        EXPECT_EQ(recgl::CallLines(), (std::vector<std::string>{"glEnable(GL_VERTEX_PROGRAM_NV)",
                                                                "glBegin(GL_QUADS)", "glEnd()"}));
        EXPECT_EQ(over.layer->GetError(), GLenum(GL_NO_ERROR));
    }
}

TEST(LegacyGlLayer, SuppliesTheWholeEntryPointRowAndNamesTheExtension) {
    // A 4.5 compatibility profile takes part like an old version.
    LayerOver over(Driver("GL_ARB_multitexture GL_ARB_vertex_program",
                          "4.5 (Compatibility Profile)", GL_CONTEXT_COMPATIBILITY_PROFILE_BIT),
                   true);
    ASSERT_TRUE(over.layer->Active());
    EXPECT_EQ(Extensions(*over.layer),
              "GL_ARB_multitexture GL_ARB_vertex_program GL_NV_vertex_program");
    const glext::ExtensionRow& row = VertexProgramRow();
    EXPECT_EQ(row.count, 63u);
    for (size_t i = 0; i < row.count; ++i) {
        const char* name = row.entryPoints[i].name;
        NextGl::Proc proc = over.layer->GetProcAddress(reinterpret_cast<const GLubyte*>(name));
        EXPECT_NE(proc, nullptr) << name;
        EXPECT_NE(proc, FromRecordingGl(name)) << name;
    }
    // Other names still come from below.
    EXPECT_EQ(over.layer->GetProcAddress(reinterpret_cast<const GLubyte*>("glActiveTextureARB")),
              FromRecordingGl("glActiveTextureARB"));
}

TEST(LegacyGlLayer, LoadsCheckTheTextAndReportTheExtensionsErrors) {
    LayerOver over(Driver("GL_ARB_vertex_program"), true);
    auto load = over.Fn<PFNGLLOADPROGRAMNVPROC>("glLoadProgramNV");
    auto isProgram = over.Fn<PFNGLISPROGRAMNVPROC>("glIsProgramNV");
    auto getProgramiv = over.Fn<PFNGLGETPROGRAMIVNVPROC>("glGetProgramivNV");
    auto getString = over.Fn<PFNGLGETPROGRAMSTRINGNVPROC>("glGetProgramStringNV");
    auto bind = over.Fn<PFNGLBINDPROGRAMNVPROC>("glBindProgramNV");
    const std::string good = "!!VP1.0 MOV o[HPOS], v[0]; END",
                      state = "!!VSP1.0 MOV c[4], v[0]; END";
    const struct {
        GLenum target;
        GLuint id;
        std::string text;
        GLenum error;
        GLint position;
    } loads[] = {
        {GL_VERTEX_PROGRAM_NV, 1, good, GL_NO_ERROR, -1},
        {GL_VERTEX_STATE_PROGRAM_NV, 9, state, GL_NO_ERROR, -1},
        {GL_VERTEX_PROGRAM_NV, 2, "!!VP1.0 MOV o[HPOS], v[0] END", GL_INVALID_OPERATION, 26},
        {GL_VERTEX_PROGRAM_NV, 3, state, GL_INVALID_OPERATION, 0},
        {GL_VERTEX_PROGRAM_NV, 9, good, GL_INVALID_OPERATION, 0},  // 9 is a state program
        {GL_VERTEX_PROGRAM_NV, 0, good, GL_INVALID_VALUE, 0},      // the position stays
        {GL_TEXTURE_2D, 4, good, GL_INVALID_ENUM, 0},
    };
    for (const auto& l : loads) {
        load(l.target, l.id, GLsizei(l.text.size()),
             reinterpret_cast<const GLubyte*>(l.text.data()));
        EXPECT_EQ(over.layer->GetError(), l.error) << l.id;
        GLint position = 0;
        over.layer->GetIntegerv(GL_PROGRAM_ERROR_POSITION_NV, &position);
        EXPECT_EQ(position, l.position) << l.id;
    }
    EXPECT_TRUE(isProgram(1));
    EXPECT_FALSE(isProgram(2));
    GLint value = 0;
    getProgramiv(9, GL_PROGRAM_TARGET_NV, &value);
    EXPECT_EQ(value, GL_VERTEX_STATE_PROGRAM_NV);
    getProgramiv(1, GL_PROGRAM_LENGTH_NV, &value);
    EXPECT_EQ(value, GLint(good.size()));
    std::string text(good.size(), '\0');
    getString(1, GL_PROGRAM_STRING_NV, reinterpret_cast<GLubyte*>(&text[0]));
    EXPECT_EQ(text, good);
    getProgramiv(5, GL_PROGRAM_LENGTH_NV, &value);
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_INVALID_OPERATION));
    bind(GL_VERTEX_PROGRAM_NV, 9);
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_INVALID_OPERATION));
    bind(GL_VERTEX_PROGRAM_NV, 1);
    over.layer->GetIntegerv(GL_VERTEX_PROGRAM_BINDING_NV, &value);
    EXPECT_EQ(value, 1);
}

TEST(LegacyGlLayer, ParametersTrackingAndTheirErrors) {
    LayerOver over(Driver("GL_ARB_vertex_program"), true);
    auto set = over.Fn<PFNGLPROGRAMPARAMETER4FNVPROC>("glProgramParameter4fNV");
    auto setMany = over.Fn<PFNGLPROGRAMPARAMETERS4FVNVPROC>("glProgramParameters4fvNV");
    auto get = over.Fn<PFNGLGETPROGRAMPARAMETERFVNVPROC>("glGetProgramParameterfvNV");
    auto track = over.Fn<PFNGLTRACKMATRIXNVPROC>("glTrackMatrixNV");
    auto getTrack = over.Fn<PFNGLGETTRACKMATRIXIVNVPROC>("glGetTrackMatrixivNV");
    set(GL_VERTEX_PROGRAM_NV, 95, 1, 2, 3, 4);
    GLfloat v[4] = {};
    get(GL_VERTEX_PROGRAM_NV, 95, GL_PROGRAM_PARAMETER_NV, v);
    EXPECT_EQ(std::vector<float>(v, v + 4), (std::vector<float>{1, 2, 3, 4}));
    const GLfloat two[8] = {1, 1, 1, 1, 2, 2, 2, 2};
    const struct {
        std::function<void()> call;
        GLenum error;
    } calls[] = {
        {[&] { set(GL_VERTEX_PROGRAM_NV, 96, 0, 0, 0, 0); }, GL_INVALID_VALUE},
        {[&] { set(GL_VERTEX_STATE_PROGRAM_NV, 0, 0, 0, 0, 0); }, GL_INVALID_ENUM},
        {[&] { setMany(GL_VERTEX_PROGRAM_NV, 95, 2, two); }, GL_INVALID_VALUE},
        {[&] { setMany(GL_VERTEX_PROGRAM_NV, 94, 2, two); }, GL_NO_ERROR},
        {[&] { setMany(GL_VERTEX_PROGRAM_NV, 0, -1, two); }, GL_INVALID_VALUE},
        {[&] { track(GL_VERTEX_PROGRAM_NV, 6, GL_MODELVIEW, GL_IDENTITY_NV); }, GL_INVALID_VALUE},
        {[&] { track(GL_VERTEX_PROGRAM_NV, 96, GL_MODELVIEW, GL_IDENTITY_NV); }, GL_INVALID_VALUE},
        {[&] { track(GL_VERTEX_PROGRAM_NV, 4, GL_MODELVIEW, GL_MODELVIEW); }, GL_INVALID_ENUM},
        {[&] { track(GL_VERTEX_PROGRAM_NV, 4, GL_MODELVIEW, GL_INVERSE_NV); }, GL_NO_ERROR},
        {[&] { set(GL_VERTEX_PROGRAM_NV, 7, 0, 0, 0, 0); }, GL_INVALID_OPERATION},
        {[&] { setMany(GL_VERTEX_PROGRAM_NV, 2, 2, two); }, GL_NO_ERROR},
        {[&] { setMany(GL_VERTEX_PROGRAM_NV, 3, 2, two); }, GL_INVALID_OPERATION},
    };
    for (size_t i = 0; i < sizeof calls / sizeof calls[0]; ++i) {
        calls[i].call();
        EXPECT_EQ(over.layer->GetError(), calls[i].error) << "call " << i;
    }
    get(GL_VERTEX_PROGRAM_NV, 94, GL_PROGRAM_PARAMETER_NV, v);
    EXPECT_EQ(v[0], 1);
    get(GL_VERTEX_PROGRAM_NV, 3, GL_PROGRAM_PARAMETER_NV, v);
    EXPECT_EQ(v[0], 2);  // the failed plural call wrote nothing
    GLint value = 0;
    getTrack(GL_VERTEX_PROGRAM_NV, 4, GL_TRACK_MATRIX_NV, &value);
    EXPECT_EQ(value, GL_MODELVIEW);
    getTrack(GL_VERTEX_PROGRAM_NV, 4, GL_TRACK_MATRIX_TRANSFORM_NV, &value);
    EXPECT_EQ(value, GL_INVERSE_NV);
    getTrack(GL_VERTEX_PROGRAM_NV, 8, GL_TRACK_MATRIX_NV, &value);
    EXPECT_EQ(value, GL_NONE);
    // The driver's parameters receive every write the layer accepts.
    int writes = 0;
    for (const recgl::Call& call : recgl::Calls())
        writes += call.name == "glProgramEnvParameter4fvARB";
    EXPECT_EQ(writes, 1 + 2 + 2);
}

TEST(LegacyGlLayer, DrawingWithoutAValidProgramDrawsNothing) {
    LayerOver over(Driver("GL_ARB_vertex_program"), true);
    over.layer->Enable(GL_VERTEX_PROGRAM_NV);
    GLboolean on = GL_FALSE;
    over.layer->GetBooleanv(GL_VERTEX_PROGRAM_BINDING_NV, &on);
    EXPECT_FALSE(on);
    EXPECT_TRUE(over.layer->IsEnabled(GL_VERTEX_PROGRAM_NV));
    recgl::ClearCalls();
    over.layer->Begin(GL_QUADS);
    over.layer->End();
    for (const std::string& line : recgl::CallLines()) {
        EXPECT_EQ(line.find("glBegin"), std::string::npos) << line;
        EXPECT_EQ(line.find("glEnd"), std::string::npos) << line;
    }
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_NO_ERROR));
    EXPECT_FALSE(over.layer->PrepareDraw());  // every other draw call
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_INVALID_OPERATION));
    // Vertex programs off: the same draw goes through.
    over.layer->Disable(GL_VERTEX_PROGRAM_NV);
    recgl::ClearCalls();
    over.layer->Begin(GL_QUADS);
    over.layer->End();
    EXPECT_EQ(recgl::CallLines().size(), 2u);
    EXPECT_EQ(over.layer->GetError(), GLenum(GL_NO_ERROR));
}

TEST(LegacyGlLayer, SwitchedOffByTheEnvironment) {
    const char* kept = std::getenv("FLUID3D_LEGACYGL");
    const std::string saved = kept ? kept : "";
    for (const char* value : {"0", "off"}) {
        setenv("FLUID3D_LEGACYGL", value, 1);
        EXPECT_TRUE(legacygl::SwitchedOffByEnvironment()) << value;
    }
    for (const char* value : {"1", "on", ""}) {
        setenv("FLUID3D_LEGACYGL", value, 1);
        EXPECT_FALSE(legacygl::SwitchedOffByEnvironment()) << value;
    }
    unsetenv("FLUID3D_LEGACYGL");
    EXPECT_FALSE(legacygl::SwitchedOffByEnvironment());
    if (kept) setenv("FLUID3D_LEGACYGL", saved.c_str(), 1);
}

}  // namespace
