// Extension entry points: one process-wide slot per entry point the program knows, named after
// it, and the loader that fills the slots of one extension by name. The slots live in namespace
// glext so that they never collide with the functions a GL library exports under the same names.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstddef>

#include "platform/platform.h"

namespace glext {

// Window-system (WGL) extension types; the GL headers of this platform do not carry them.
struct WglDeviceContextHandle;
struct WglPbufferHandle;
using WglDC = WglDeviceContextHandle*;
using WglPbuffer = WglPbufferHandle*;
using PFNWGLALLOCATEMEMORYNVPROC = void* (*)(GLsizei size, GLfloat readFrequency,
                                             GLfloat writeFrequency, GLfloat priority);
using PFNWGLFREEMEMORYNVPROC = void (*)(void* pointer);
using PFNWGLCREATEPBUFFERARBPROC = WglPbuffer (*)(WglDC dc, int pixelFormat, int width, int height,
                                                  const int* attributes);
using PFNWGLGETPBUFFERDCARBPROC = WglDC (*)(WglPbuffer pbuffer);
using PFNWGLRELEASEPBUFFERDCARBPROC = int (*)(WglPbuffer pbuffer, WglDC dc);
using PFNWGLDESTROYPBUFFERARBPROC = int (*)(WglPbuffer pbuffer);
using PFNWGLQUERYPBUFFERARBPROC = int (*)(WglPbuffer pbuffer, int attribute, int* value);
using PFNWGLGETPIXELFORMATATTRIBIVARBPROC = int (*)(WglDC dc, int pixelFormat, int layerPlane,
                                                    unsigned attributeCount, const int* attributes,
                                                    int* values);
using PFNWGLGETPIXELFORMATATTRIBFVARBPROC = int (*)(WglDC dc, int pixelFormat, int layerPlane,
                                                    unsigned attributeCount, const int* attributes,
                                                    float* values);
using PFNWGLCHOOSEPIXELFORMATARBPROC = int (*)(WglDC dc, const int* integerAttributes,
                                               const float* floatAttributes, unsigned maxFormats,
                                               int* formats, unsigned* formatCount);

// The imaging functions of 1.2 are declared by GL/gl.h, which keeps GL/glext.h from defining
// their pointer types; the slot types are taken from those declarations.
using PFNGLCOLORTABLEPROC = decltype(&::glColorTable);
using PFNGLCOLORTABLEPARAMETERFVPROC = decltype(&::glColorTableParameterfv);
using PFNGLCOLORTABLEPARAMETERIVPROC = decltype(&::glColorTableParameteriv);
using PFNGLCOPYCOLORTABLEPROC = decltype(&::glCopyColorTable);
using PFNGLGETCOLORTABLEPROC = decltype(&::glGetColorTable);
using PFNGLGETCOLORTABLEPARAMETERFVPROC = decltype(&::glGetColorTableParameterfv);
using PFNGLGETCOLORTABLEPARAMETERIVPROC = decltype(&::glGetColorTableParameteriv);

// The slots, null until LoadEntryPoints fetches them.
#define GLEXT_ROW(extension)
#define GLEXT_ENTRY(type, entryPoint) extern type entryPoint;
#define GLEXT_END_ROW(extension)
#include "glext/entry_point_table.inc"
#undef GLEXT_ROW
#undef GLEXT_ENTRY
#undef GLEXT_END_ROW

struct EntryPoint {
    const char* name;
    void (*store)(platform::GlProc proc);  // writes proc into the entry point's slot
};

struct ExtensionRow {
    const char* name;
    const EntryPoint* entryPoints;  // in fetch order
    std::size_t count;
};

extern const ExtensionRow entryPointTable[];
extern const std::size_t entryPointTableRows;

// Fetches every entry point of the named extension (exact, case-sensitive name) into its slot,
// in table order, stopping at the first one that cannot be found. False for a null name, a name
// without a row, or a missing entry point; true for a row without entry points.
bool LoadEntryPoints(const char* name);

}  // namespace glext
