// The emulated extensions, one row each: the name programs see, the driver extension it is built
// on, and how its per-context module is made. Further extensions are added here.
#include "legacygl/layer.h"
#include "legacygl/vertex_program_module.h"

namespace legacygl {

const ModuleEntry kModules[] = {
    {"GL_NV_vertex_program", "GL_ARB_vertex_program", CreateVertexProgramModule},
};
const size_t kModuleCount = sizeof kModules / sizeof kModules[0];

}  // namespace legacygl
