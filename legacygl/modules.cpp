// The emulated extensions, one row each: the name programs see, the driver extension it is built
// on, and how its per-context module is made. Further extensions are added here.
#include "legacygl/fragment_module.h"
#include "legacygl/layer.h"
#include "legacygl/legacy_textures.h"
#include "legacygl/vertex_program_module.h"

namespace legacygl {

// The fragment extensions are specified to work together, and a fragment program of the layer
// would override the driver's own combiners or texture shaders: where the driver has any one of
// them, the layer supplies none.
const char* const kFragmentExtensions[] = {"GL_NV_register_combiners", "GL_NV_register_combiners2",
                                           "GL_NV_texture_shader", "GL_NV_texture_shader2",
                                           nullptr};

const ModuleEntry kModules[] = {
    {"GL_NV_vertex_program", "GL_ARB_vertex_program", nullptr, CreateVertexProgramModule},
    // One module answers for the state of all four fragment extensions, another for the texture
    // formats; the others only add their names.
    {"GL_NV_register_combiners", "GL_ARB_fragment_program", kFragmentExtensions,
     CreateFragmentModule},
    {"GL_NV_register_combiners2", "GL_ARB_fragment_program", kFragmentExtensions, CreateNamedOnly},
    {"GL_NV_texture_shader", "GL_ARB_fragment_program", kFragmentExtensions, CreateLegacyTextures},
    {"GL_NV_texture_shader2", "GL_ARB_fragment_program", kFragmentExtensions, CreateNamedOnly},
};
const size_t kModuleCount = sizeof kModules / sizeof kModules[0];

}  // namespace legacygl
