// libfluid3d_legacygl.so: exports the GL and GLX functions the layer wraps and hands each call to
// the layer of the calling thread's current context. The driver's functions are found after
// this library (dlsym with RTLD_NEXT), so it works both preloaded and linked ahead of libGL.
#include <dlfcn.h>

#include <cstring>

#include <memory>
#include <mutex>
#include <unordered_map>

#include <GL/glx.h>

#include "legacygl/layer.h"

namespace {

using legacygl::Layer;
using legacygl::NextGl;

NextGl::Proc ResolveNext(const char* name) {
    if (void* symbol = dlsym(RTLD_NEXT, name)) return reinterpret_cast<NextGl::Proc>(symbol);
    static auto driverLookup = reinterpret_cast<decltype(&::glXGetProcAddressARB)>(
        dlsym(RTLD_NEXT, "glXGetProcAddressARB"));
    return driverLookup ? driverLookup(reinterpret_cast<const GLubyte*>(name)) : nullptr;
}

// The GLX functions the shim itself needs from below.
struct NextGlx {
    template <typename F>
    static F Resolve(const char* name) {
        return reinterpret_cast<F>(ResolveNext(name));
    }
    decltype(&::glXGetCurrentContext) getCurrentContext =
        Resolve<decltype(&::glXGetCurrentContext)>("glXGetCurrentContext");
    decltype(&::glXDestroyContext) destroyContext =
        Resolve<decltype(&::glXDestroyContext)>("glXDestroyContext");
    decltype(&::glXCreateContext) createContext =
        Resolve<decltype(&::glXCreateContext)>("glXCreateContext");
    decltype(&::glXCreateNewContext) createNewContext =
        Resolve<decltype(&::glXCreateNewContext)>("glXCreateNewContext");
    PFNGLXCREATECONTEXTATTRIBSARBPROC createContextAttribs =
        Resolve<PFNGLXCREATECONTEXTATTRIBSARBPROC>("glXCreateContextAttribsARB");
};

const NextGlx& Glx() {
    static const NextGlx glx;
    return glx;
}

const NextGl& Next() {
    static const NextGl next = [] {
        NextGl n;
        n.Load(ResolveNext);
        return n;
    }();
    return next;
}

std::mutex layersLock;
std::unordered_map<GLXContext, std::unique_ptr<Layer>>& Layers() {
    static auto* layers = new std::unordered_map<GLXContext, std::unique_ptr<Layer>>();
    return *layers;
}
// The share group of every context made through the wrappers below (others get their own).
std::unordered_map<GLXContext, std::shared_ptr<legacygl::ShareGroup>>& Groups() {
    static auto* groups =
        new std::unordered_map<GLXContext, std::shared_ptr<legacygl::ShareGroup>>();
    return *groups;
}

GLXContext Created(GLXContext context, GLXContext share) {
    if (context == nullptr) return context;
    std::lock_guard<std::mutex> hold(layersLock);
    std::shared_ptr<legacygl::ShareGroup> group;
    if (share != nullptr) {
        std::shared_ptr<legacygl::ShareGroup>& shared = Groups()[share];
        if (!shared) shared = std::make_shared<legacygl::ShareGroup>();
        group = shared;
    } else {
        group = std::make_shared<legacygl::ShareGroup>();
    }
    Groups()[context] = group;
    return context;
}

thread_local GLXContext cachedContext = nullptr;
thread_local Layer* cachedLayer = nullptr;

// The layer of the current context, made when a context is first seen current.
Layer* ForCurrentContext() {
    const NextGl& next = Next();
    GLXContext context = Glx().getCurrentContext ? Glx().getCurrentContext() : nullptr;
    if (context == nullptr) return nullptr;
    if (context == cachedContext) return cachedLayer;
    std::lock_guard<std::mutex> hold(layersLock);
    std::unique_ptr<Layer>& layer = Layers()[context];
    if (!layer) {
        std::shared_ptr<legacygl::ShareGroup>& group = Groups()[context];
        if (!group) group = std::make_shared<legacygl::ShareGroup>();
        layer = std::make_unique<Layer>(next, !legacygl::SwitchedOffByEnvironment(), group);
    }
    cachedContext = context;
    cachedLayer = layer.get();
    return cachedLayer;
}

const bool installed = (legacygl::SetLayerLookup(&ForCurrentContext), true);

}  // namespace

// Each wrapped function goes to the layer, or straight to the driver when no context is current.
#define LEGACYGL_WRAP(ret, name, method, params, args)                     \
    extern "C" ret name params {                                           \
        if (Layer* layer = ForCurrentContext()) return layer->method args; \
        if (Next().name == nullptr) return static_cast<ret>(0);            \
        return Next().name args;                                           \
    }
#define LEGACYGL_DRAW(name, params, args)                                                 \
    extern "C" void name params {                                                         \
        static const auto next = reinterpret_cast<decltype(&::name)>(ResolveNext(#name)); \
        Layer* layer = ForCurrentContext();                                               \
        if (layer != nullptr && !layer->PrepareDraw()) return;                            \
        if (next != nullptr) next args;                                                   \
    }
#define LEGACYGL_PIXELS(name, params, args, format, type)                                 \
    extern "C" void name params {                                                         \
        static const auto next = reinterpret_cast<decltype(&::name)>(ResolveNext(#name)); \
        Layer* layer = ForCurrentContext();                                               \
        if (layer != nullptr && layer->RefusesPixels(format, type)) return;               \
        if (next != nullptr) next args;                                                   \
    }
// An extension's name of a call is another symbol of its wrapper (glTexImage3DEXT takes its
// internal format as GLenum, passed as the GLint of glTexImage3D is).
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattribute-alias"
#endif
#define LEGACYGL_ALIAS(other, name) \
    extern "C" decltype(::other) other __attribute__((alias(#name)));
#include "legacygl/wrapped.def"
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#undef LEGACYGL_WRAP
#undef LEGACYGL_DRAW
#undef LEGACYGL_PIXELS
#undef LEGACYGL_ALIAS

namespace {

NextGl::Proc OwnWrapper(const char* name) {
    struct Wrapper {
        const char* name;
        NextGl::Proc proc;
    };
    static const Wrapper kWrappers[] = {
#define LEGACYGL_WRAP(ret, name, method, params, args) \
    {#name, reinterpret_cast<NextGl::Proc>(&::name)},
#define LEGACYGL_DRAW(name, params, args) {#name, reinterpret_cast<NextGl::Proc>(&::name)},
#define LEGACYGL_PIXELS(name, params, args, format, type) \
    {#name, reinterpret_cast<NextGl::Proc>(&::name)},
#define LEGACYGL_ALIAS(other, name) {#other, reinterpret_cast<NextGl::Proc>(&::name)},
#include "legacygl/wrapped.def"
#undef LEGACYGL_WRAP
#undef LEGACYGL_DRAW
#undef LEGACYGL_PIXELS
#undef LEGACYGL_ALIAS
    };
    for (const Wrapper& w : kWrappers)
        if (std::strcmp(w.name, name) == 0) return w.proc;
    return nullptr;
}

}  // namespace

extern "C" GLXContext glXCreateContext(Display* display, XVisualInfo* visual, GLXContext share,
                                       Bool direct) {
    if (Glx().createContext == nullptr) return nullptr;
    return Created(Glx().createContext(display, visual, share, direct), share);
}

extern "C" GLXContext glXCreateNewContext(Display* display, GLXFBConfig config, int renderType,
                                          GLXContext share, Bool direct) {
    if (Glx().createNewContext == nullptr) return nullptr;
    return Created(Glx().createNewContext(display, config, renderType, share, direct), share);
}

namespace {

GLXContext CreateContextAttribs(Display* display, GLXFBConfig config, GLXContext share, Bool direct,
                                const int* attributes) {
    if (Glx().createContextAttribs == nullptr) return nullptr;
    return Created(Glx().createContextAttribs(display, config, share, direct, attributes), share);
}

}  // namespace

extern "C" __GLXextFuncPtr glXGetProcAddressARB(const GLubyte* name) {
    if (name != nullptr && Glx().createContextAttribs != nullptr &&
        std::strcmp(reinterpret_cast<const char*>(name), "glXCreateContextAttribsARB") == 0)
        return reinterpret_cast<__GLXextFuncPtr>(&CreateContextAttribs);
    Layer* layer = ForCurrentContext();
    if (name != nullptr && layer != nullptr && layer->Active()) {
        if (NextGl::Proc own = OwnWrapper(reinterpret_cast<const char*>(name))) return own;
        return layer->GetProcAddress(name);
    }
    return Next().getProcAddress ? Next().getProcAddress(name) : nullptr;
}

extern "C" __GLXextFuncPtr glXGetProcAddress(const GLubyte* name) {
    return glXGetProcAddressARB(name);
}

extern "C" void glXDestroyContext(Display* display, GLXContext context) {
    {
        std::lock_guard<std::mutex> hold(layersLock);
        Layers().erase(context);
        Groups().erase(context);
        if (cachedContext == context) {
            cachedContext = nullptr;
            cachedLayer = nullptr;
        }
    }
    if (Glx().destroyContext) Glx().destroyContext(display, context);
}
