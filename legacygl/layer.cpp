#include "legacygl/layer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace legacygl {

bool Lists(const char* list, const char* name) {
    const size_t length = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += length) {
        const bool starts = p == list || p[-1] == ' ';
        const bool ends = p[length] == ' ' || p[length] == '\0';
        if (starts && ends) return true;
    }
    return false;
}

namespace {

// Whether the list holds any name of the null-terminated `names` (none when null).
bool ListsAny(const char* list, const char* const* names) {
    for (; names != nullptr && *names != nullptr; ++names)
        if (Lists(list, *names)) return true;
    return false;
}

LayerLookup layerLookup = nullptr;

}  // namespace

GLfloat IntegerToColour(GLint c) { return GLfloat((2.0 * c + 1.0) / 4294967295.0); }

GLint ColourToInteger(GLfloat f) {
    const double c = std::round((double(f) * 4294967295.0 - 1.0) / 2.0);
    return GLint(std::min(std::max(c, -2147483648.0), 2147483647.0));
}

void SetLayerLookup(LayerLookup lookup) { layerLookup = lookup; }

Layer* CurrentLayer() { return layerLookup != nullptr ? layerLookup() : nullptr; }

bool SwitchedOffByEnvironment() {
    const char* value = std::getenv("FLUID3D_LEGACYGL");
    return value != nullptr && (std::strcmp(value, "0") == 0 || std::strcmp(value, "off") == 0);
}

namespace {

// A core-profile context (3.2 and later) has none of the legacy state; asking it for
// GL_EXTENSIONS would leave an error behind for the application.
bool CoreProfile(const NextGl& next) {
    const GLubyte* version = next.glGetString(GL_VERSION);
    if (version == nullptr || next.glGetIntegerv == nullptr) return false;
    int major = 0, minor = 0;
    if (std::sscanf(reinterpret_cast<const char*>(version), "%d.%d", &major, &minor) != 2 ||
        major * 10 + minor < 32)
        return false;
    GLint mask = 0;
    next.glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &mask);
    return (mask & GL_CONTEXT_CORE_PROFILE_BIT) != 0;
}

}  // namespace

Layer::Layer(const NextGl& next, bool switchedOn, std::shared_ptr<ShareGroup> group)
    : next_(next), group_(std::move(group)) {
    if (!switchedOn || next_.glGetString == nullptr || CoreProfile(next_)) return;
    const GLubyte* driver = next_.glGetString(GL_EXTENSIONS);
    if (driver == nullptr) return;  // no context
    extensions_ = reinterpret_cast<const char*>(driver);
    for (size_t i = 0; i < kModuleCount; ++i) {
        const ModuleEntry& entry = kModules[i];
        if (Lists(extensions_.c_str(), entry.extension)) continue;  // the driver's own
        if (!Lists(extensions_.c_str(), entry.needs)) continue;
        if (ListsAny(extensions_.c_str(), entry.excludes)) continue;
        std::unique_ptr<Module> module = entry.create(*this);
        if (!module) continue;  // it cannot take part after all
        modules_.push_back(std::move(module));
        added_.push_back(entry.extension);
    }
    AttachLists();
    for (const std::string& name : added_) {
        if (!extensions_.empty() && extensions_.back() != ' ') extensions_ += ' ';
        extensions_ += name;
    }
}

Layer::~Layer() = default;

void Layer::RaiseError(GLenum error) {
    if (error_ == GL_NO_ERROR) error_ = error;
}

NextGl::Proc Layer::GetProcAddress(const GLubyte* name) {
    if (name == nullptr) return nullptr;
    for (const auto& m : modules_) {
        if (NextGl::Proc p = m->Lookup(reinterpret_cast<const char*>(name))) return p;
    }
    return next_.getProcAddress ? next_.getProcAddress(name) : nullptr;
}

const GLubyte* Layer::GetString(GLenum name) {
    if (name == GL_EXTENSIONS && Active()) {
        return reinterpret_cast<const GLubyte*>(extensions_.c_str());
    }
    return next_.glGetString ? next_.glGetString(name) : nullptr;
}

const GLubyte* Layer::GetStringi(GLenum name, GLuint index) {
    if (next_.glGetStringi == nullptr) return nullptr;
    if (name == GL_EXTENSIONS && Active() && next_.glGetIntegerv != nullptr) {
        GLint count = 0;
        next_.glGetIntegerv(GL_NUM_EXTENSIONS, &count);
        if (index >= GLuint(count) && index - GLuint(count) < added_.size()) {
            return reinterpret_cast<const GLubyte*>(added_[index - count].c_str());
        }
    }
    return next_.glGetStringi(name, index);
}

bool Layer::ModuleIntegers(GLenum pname, GLint* out) const {
    for (const auto& m : modules_)
        if (m->GetIntegers(pname, out)) return true;
    return false;
}

int Layer::ModuleFloats(GLenum pname, GLfloat* out) const {
    for (const auto& m : modules_)
        if (int count = m->GetFloats(pname, out)) return count;
    return 0;
}

void Layer::GetIntegerv(GLenum pname, GLint* data) {
    if (data == nullptr || !next_.glGetIntegerv) return;
    if (ModuleIntegers(pname, data)) return;
    GLfloat floats[16];
    if (int count = ModuleFloats(pname, floats)) {
        // Colours as integers: [0, 1] onto [0, 2^31 - 1].
        for (int i = 0; i < count; ++i) data[i] = GLint(double(floats[i]) * 2147483647.0);
        return;
    }
    next_.glGetIntegerv(pname, data);
    if (pname == GL_NUM_EXTENSIONS && Active()) *data += static_cast<GLint>(added_.size());
}

void Layer::GetFloatv(GLenum pname, GLfloat* data) {
    GLint values[16];
    GLfloat floats[16];
    if (data == nullptr) return;
    if (int count = ModuleFloats(pname, floats)) {
        for (int i = 0; i < count; ++i) data[i] = floats[i];
    } else if (ModuleIntegers(pname, values)) {
        data[0] = static_cast<GLfloat>(values[0]);
    } else if (next_.glGetFloatv) {
        next_.glGetFloatv(pname, data);
    }
}

void Layer::GetBooleanv(GLenum pname, GLboolean* data) {
    GLint values[16];
    GLfloat floats[16];
    if (data == nullptr) return;
    if (int count = ModuleFloats(pname, floats)) {
        for (int i = 0; i < count; ++i) data[i] = floats[i] != 0 ? GL_TRUE : GL_FALSE;
    } else if (ModuleIntegers(pname, values)) {
        data[0] = values[0] != 0 ? GL_TRUE : GL_FALSE;
    } else if (next_.glGetBooleanv) {
        next_.glGetBooleanv(pname, data);
    }
}

void Layer::GetDoublev(GLenum pname, GLdouble* data) {
    GLint values[16];
    GLfloat floats[16];
    if (data == nullptr) return;
    if (int count = ModuleFloats(pname, floats)) {
        for (int i = 0; i < count; ++i) data[i] = floats[i];
    } else if (ModuleIntegers(pname, values)) {
        data[0] = values[0];
    } else if (next_.glGetDoublev) {
        next_.glGetDoublev(pname, data);
    }
}

GLenum Layer::GetError() {
    if (error_ != GL_NO_ERROR) {
        const GLenum e = error_;
        error_ = GL_NO_ERROR;
        return e;
    }
    return next_.glGetError ? next_.glGetError() : GL_NO_ERROR;
}

void Layer::Enable(GLenum cap) {
    if (Owned(cap) && Recorded([cap](Layer& l) { l.Enable(cap); })) return;
    for (const auto& m : modules_)
        if (m->SetCapability(cap, true)) return;
    if (next_.glEnable) next_.glEnable(cap);
}

void Layer::Disable(GLenum cap) {
    if (Owned(cap) && Recorded([cap](Layer& l) { l.Disable(cap); })) return;
    for (const auto& m : modules_)
        if (m->SetCapability(cap, false)) return;
    if (next_.glDisable) next_.glDisable(cap);
}

bool Layer::Owned(GLenum cap) const {
    GLboolean on;
    for (const auto& m : modules_)
        if (m->IsEnabled(cap, &on)) return true;
    return false;
}

GLboolean Layer::IsEnabled(GLenum cap) {
    GLboolean on = GL_FALSE;
    for (const auto& m : modules_)
        if (m->IsEnabled(cap, &on)) return on;
    return next_.glIsEnabled ? next_.glIsEnabled(cap) : GL_FALSE;
}

void Layer::ChangedUnseen() {
    for (const auto& m : modules_) m->ChangedUnseen();
}

// The indexed enables change state of a unit (or draw buffer) the call names, not the active one.
void Layer::SetIndexed(void (*set)(GLenum, GLuint), GLenum cap, GLuint index) {
    if (set) set(cap, index);
    ChangedUnseen();
}

void Layer::EnableIndexedEXT(GLenum cap, GLuint index) {
    SetIndexed(next_.glEnableIndexedEXT, cap, index);
}

void Layer::DisableIndexedEXT(GLenum cap, GLuint index) {
    SetIndexed(next_.glDisableIndexedEXT, cap, index);
}

void Layer::Enablei(GLenum cap, GLuint index) { SetIndexed(next_.glEnablei, cap, index); }

void Layer::Disablei(GLenum cap, GLuint index) { SetIndexed(next_.glDisablei, cap, index); }

void Layer::EnableClientState(GLenum cap) {
    for (const auto& m : modules_)
        if (m->SetClientCapability(cap, true)) return;
    if (next_.glEnableClientState) next_.glEnableClientState(cap);
}

void Layer::DisableClientState(GLenum cap) {
    for (const auto& m : modules_)
        if (m->SetClientCapability(cap, false)) return;
    if (next_.glDisableClientState) next_.glDisableClientState(cap);
}

void Layer::MatrixMode(GLenum mode) {
    for (const auto& m : modules_) mode = m->DriverMatrixMode(mode);
    if (next_.glMatrixMode) next_.glMatrixMode(mode);
}

namespace {

GLint AttributeDepth(const NextGl& next) {
    GLint depth = 0;
    if (next.glGetIntegerv) next.glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &depth);
    return depth;
}

}  // namespace

// The modules keep their own part of the attribute stack: they follow the driver's pushes and
// pops that happened (not those refused for overflow or underflow).
void Layer::PushAttrib(GLbitfield mask) {
    if (Recorded([mask](Layer& l) { l.PushAttrib(mask); })) return;
    const GLint depth = AttributeDepth(next_);
    if (next_.glPushAttrib) next_.glPushAttrib(mask);
    if (AttributeDepth(next_) > depth)
        for (const auto& m : modules_) m->AttributesPushed(mask);
}

void Layer::PopAttrib() {
    if (Recorded([](Layer& l) { l.PopAttrib(); })) return;
    const GLint depth = AttributeDepth(next_);
    if (next_.glPopAttrib) next_.glPopAttrib();
    if (AttributeDepth(next_) < depth)
        for (const auto& m : modules_) m->AttributesPopped();
}

void Layer::BindProgramARB(GLenum target, GLuint program) {
    if (Recorded([target, program](Layer& l) { l.BindProgramARB(target, program); })) return;
    for (const auto& m : modules_) m->ArbProgramBound(target);
    if (next_.glBindProgramARB) next_.glBindProgramARB(target, program);
}

void Layer::TexEnvi(GLenum target, GLenum pname, GLint value) {
    for (const auto& m : modules_)
        if (m->TexEnv(target, pname, &value, nullptr, false)) return;
    if (next_.glTexEnvi) next_.glTexEnvi(target, pname, value);
}

void Layer::TexEnvf(GLenum target, GLenum pname, GLfloat value) {
    for (const auto& m : modules_)
        if (m->TexEnv(target, pname, nullptr, &value, false)) return;
    if (next_.glTexEnvf) next_.glTexEnvf(target, pname, value);
}

void Layer::TexEnviv(GLenum target, GLenum pname, const GLint* values) {
    for (const auto& m : modules_)
        if (values != nullptr && m->TexEnv(target, pname, values, nullptr, true)) return;
    if (next_.glTexEnviv) next_.glTexEnviv(target, pname, values);
}

void Layer::TexEnvfv(GLenum target, GLenum pname, const GLfloat* values) {
    for (const auto& m : modules_)
        if (values != nullptr && m->TexEnv(target, pname, nullptr, values, true)) return;
    if (next_.glTexEnvfv) next_.glTexEnvfv(target, pname, values);
}

void Layer::GetTexEnviv(GLenum target, GLenum pname, GLint* values) {
    for (const auto& m : modules_)
        if (values != nullptr && m->GetTexEnv(target, pname, values, nullptr)) return;
    if (next_.glGetTexEnviv) next_.glGetTexEnviv(target, pname, values);
}

void Layer::GetTexEnvfv(GLenum target, GLenum pname, GLfloat* values) {
    for (const auto& m : modules_)
        if (values != nullptr && m->GetTexEnv(target, pname, nullptr, values)) return;
    if (next_.glGetTexEnvfv) next_.glGetTexEnvfv(target, pname, values);
}

bool Layer::ModuleTexImage(const Module::TexUpload& upload) {
    for (const auto& m : modules_)
        if (m->TexImage(upload)) return true;
    return false;
}

void Layer::TexImage1D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                       GLint border, GLenum format, GLenum type, const void* pixels) {
    if (ModuleTexImage({1, false, target, level, internalFormat, 0, 0, 0, width, 1, 1, border,
                        format, type, pixels}))
        return;
    if (next_.glTexImage1D)
        next_.glTexImage1D(target, level, internalFormat, width, border, format, type, pixels);
}

void Layer::TexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                       GLsizei height, GLint border, GLenum format, GLenum type,
                       const void* pixels) {
    if (ModuleTexImage({2, false, target, level, internalFormat, 0, 0, 0, width, height, 1, border,
                        format, type, pixels}))
        return;
    if (next_.glTexImage2D)
        next_.glTexImage2D(target, level, internalFormat, width, height, border, format, type,
                           pixels);
}

void Layer::TexSubImage1D(GLenum target, GLint level, GLint x, GLsizei width, GLenum format,
                          GLenum type, const void* pixels) {
    if (ModuleTexImage({1, true, target, level, 0, x, 0, 0, width, 1, 1, 0, format, type, pixels}))
        return;
    if (next_.glTexSubImage1D) next_.glTexSubImage1D(target, level, x, width, format, type, pixels);
}

void Layer::TexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei width,
                          GLsizei height, GLenum format, GLenum type, const void* pixels) {
    if (ModuleTexImage(
            {2, true, target, level, 0, x, y, 0, width, height, 1, 0, format, type, pixels}))
        return;
    if (next_.glTexSubImage2D)
        next_.glTexSubImage2D(target, level, x, y, width, height, format, type, pixels);
}

void Layer::TexImage3D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                       GLsizei height, GLsizei depth, GLint border, GLenum format, GLenum type,
                       const void* pixels) {
    if (ModuleTexImage({3, false, target, level, internalFormat, 0, 0, 0, width, height, depth,
                        border, format, type, pixels}))
        return;
    if (next_.glTexImage3D)
        next_.glTexImage3D(target, level, internalFormat, width, height, depth, border, format,
                           type, pixels);
}

void Layer::TexSubImage3D(GLenum target, GLint level, GLint x, GLint y, GLint z, GLsizei width,
                          GLsizei height, GLsizei depth, GLenum format, GLenum type,
                          const void* pixels) {
    if (ModuleTexImage(
            {3, true, target, level, 0, x, y, z, width, height, depth, 0, format, type, pixels}))
        return;
    if (next_.glTexSubImage3D)
        next_.glTexSubImage3D(target, level, x, y, z, width, height, depth, format, type, pixels);
}

void Layer::TexParameterfv(GLenum target, GLenum pname, const GLfloat* values) {
    for (const auto& m : modules_)
        if (values != nullptr && m->TexParameter(target, pname, nullptr, values)) return;
    if (next_.glTexParameterfv) next_.glTexParameterfv(target, pname, values);
}

void Layer::TexParameteriv(GLenum target, GLenum pname, const GLint* values) {
    for (const auto& m : modules_)
        if (values != nullptr && m->TexParameter(target, pname, values, nullptr)) return;
    if (next_.glTexParameteriv) next_.glTexParameteriv(target, pname, values);
}

void Layer::GetTexParameterfv(GLenum target, GLenum pname, GLfloat* values) {
    for (const auto& m : modules_)
        if (values != nullptr && m->GetTexParameter(target, pname, nullptr, values)) return;
    if (next_.glGetTexParameterfv) next_.glGetTexParameterfv(target, pname, values);
}

void Layer::GetTexParameteriv(GLenum target, GLenum pname, GLint* values) {
    for (const auto& m : modules_)
        if (values != nullptr && m->GetTexParameter(target, pname, values, nullptr)) return;
    if (next_.glGetTexParameteriv) next_.glGetTexParameteriv(target, pname, values);
}

void Layer::GetTexImage(GLenum target, GLint level, GLenum format, GLenum type, void* pixels) {
    for (const auto& m : modules_)
        if (m->GetTexImage(target, level, format, type, pixels)) return;
    if (next_.glGetTexImage) next_.glGetTexImage(target, level, format, type, pixels);
}

void Layer::DeleteTextures(GLsizei n, const GLuint* textures) {
    if (n > 0 && textures != nullptr)
        for (const auto& m : modules_) m->TexturesDeleted(n, textures);
    if (next_.glDeleteTextures) next_.glDeleteTextures(n, textures);
}

bool Layer::RefusesPixels(GLenum format, GLenum type) {
    for (const auto& m : modules_) {
        if (m->RefusesPixels(format, type)) {
            RaiseError(GL_INVALID_ENUM);
            return true;
        }
    }
    return false;
}

void Layer::PixelTransferf(GLenum pname, GLfloat value) {
    for (const auto& m : modules_)
        if (m->PixelTransfer(pname, value)) return;
    if (next_.glPixelTransferf) next_.glPixelTransferf(pname, value);
}

void Layer::PixelTransferi(GLenum pname, GLint value) {
    for (const auto& m : modules_)
        if (m->PixelTransfer(pname, GLfloat(value))) return;
    if (next_.glPixelTransferi) next_.glPixelTransferi(pname, value);
}

bool Layer::ModuleCopy(GLenum target, GLenum* internalFormat) {
    for (const auto& m : modules_)
        if (!m->CopyTexImage(target, internalFormat)) return false;
    return true;
}

void Layer::CopyTexImage1D(GLenum target, GLint level, GLenum internalFormat, GLint x, GLint y,
                           GLsizei width, GLint border) {
    if (ModuleCopy(target, &internalFormat) && next_.glCopyTexImage1D)
        next_.glCopyTexImage1D(target, level, internalFormat, x, y, width, border);
}

void Layer::CopyTexImage2D(GLenum target, GLint level, GLenum internalFormat, GLint x, GLint y,
                           GLsizei width, GLsizei height, GLint border) {
    if (ModuleCopy(target, &internalFormat) && next_.glCopyTexImage2D)
        next_.glCopyTexImage2D(target, level, internalFormat, x, y, width, height, border);
}

void Layer::CopyTexSubImage1D(GLenum target, GLint level, GLint xoffset, GLint x, GLint y,
                              GLsizei width) {
    // In a display list (here and in 2D and 3D) the texture bound when the list runs decides
    // whether the copy is allowed.
    if (Recorded([=](Layer& l) { l.CopyTexSubImage1D(target, level, xoffset, x, y, width); }))
        return;
    if (ModuleCopy(target, nullptr) && next_.glCopyTexSubImage1D)
        next_.glCopyTexSubImage1D(target, level, xoffset, x, y, width);
}

void Layer::CopyTexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLint x,
                              GLint y, GLsizei width, GLsizei height) {
    if (Recorded([=](Layer& l) {
            l.CopyTexSubImage2D(target, level, xoffset, yoffset, x, y, width, height);
        }))
        return;
    if (ModuleCopy(target, nullptr) && next_.glCopyTexSubImage2D)
        next_.glCopyTexSubImage2D(target, level, xoffset, yoffset, x, y, width, height);
}

void Layer::CopyTexSubImage3D(GLenum target, GLint level, GLint xoffset, GLint yoffset,
                              GLint zoffset, GLint x, GLint y, GLsizei width, GLsizei height) {
    if (Recorded([=](Layer& l) {
            l.CopyTexSubImage3D(target, level, xoffset, yoffset, zoffset, x, y, width, height);
        }))
        return;
    if (ModuleCopy(target, nullptr) && next_.glCopyTexSubImage3D)
        next_.glCopyTexSubImage3D(target, level, xoffset, yoffset, zoffset, x, y, width, height);
}

bool Layer::PrepareModules() {
    for (const auto& m : modules_)
        if (!m->BeforeDraw()) return false;
    return true;
}

void Layer::Begin(GLenum mode) {
    beginSkipped_ = !PrepareDraw();
    insideBegin_ = true;
    if (beginSkipped_) return;
    if (!compiling_)
        for (const auto& m : modules_) m->BeforeBegin();
    if (next_.glBegin) next_.glBegin(mode);
}

void Layer::End() {
    insideBegin_ = false;
    if (beginSkipped_) {
        beginSkipped_ = false;
        return;
    }
    if (next_.glEnd) next_.glEnd();
}

void NextGl::Load(Resolver resolve) {
#define NEXT_GL(name) name = reinterpret_cast<decltype(name)>(resolve(#name));
#include "legacygl/next_gl.def"
#undef NEXT_GL
    getProcAddress = reinterpret_cast<decltype(getProcAddress)>(resolve("glXGetProcAddressARB"));
}

}  // namespace legacygl
