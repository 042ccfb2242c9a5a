// The emulation layer of one GL context: legacy extensions supplied on top of what the driver
// has. Each emulated extension is a Module, listed in one table with the condition under which
// it can run; a module takes part only where the driver lacks its extension (and those its row
// excludes). The layer answers what the modules add to core calls (enables, queries, errors, the
// extension strings, entry point lookup) and lets them prepare every draw; everything else goes
// to the driver untouched.
// This core exports no gl* names: the shim (or a test) calls it with a NextGl of its choice.
#pragma once

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <typeindex>
#include <vector>

#include "legacygl/attribute_maps.h"
#include "legacygl/next_gl.h"

namespace legacygl {

// An entry point a module supplies, under its GL name.
struct NamedProc {
    const char* name;
    NextGl::Proc proc;
};

template <typename F>
NextGl::Proc ProcOf(F function) {
    return reinterpret_cast<NextGl::Proc>(function);
}

// The entry point called `name` in a module's table, or null.
template <size_t N>
NextGl::Proc FindProc(const NamedProc (&table)[N], const char* name) {
    for (const NamedProc& e : table)
        if (std::strcmp(e.name, name) == 0) return e.proc;
    return nullptr;
}

class Layer;

// Colours given as integers: the signed-integer conversion (2c + 1) / (2^32 - 1); and floats
// read back as integers, the inverse (saturated).
GLfloat IntegerToColour(GLint c);
GLint ColourToInteger(GLfloat f);

// Whether the blank-separated list (an extension string) holds the whole name.
bool Lists(const char* list, const char* name);

// One emulated extension.
class Module {
  public:
    virtual ~Module() = default;
    // The entry point of this extension called `name`, or null.
    virtual NextGl::Proc Lookup(const char* name) const = 0;
    // glEnable/glDisable of a capability the module owns: true when handled here.
    virtual bool SetCapability(GLenum, bool) { return false; }
    virtual bool IsEnabled(GLenum, GLboolean*) const { return false; }
    virtual bool SetClientCapability(GLenum, bool) { return false; }
    // An integer state value the module answers (count values written to out).
    virtual bool GetIntegers(GLenum, GLint*) const { return false; }
    // A state value of several floats the module answers: the number written, 0 when not its own.
    virtual int GetFloats(GLenum, GLfloat*) const { return 0; }
    // glTexEnv*/glGetTexEnv* of a target the module owns (values as ints or floats, one of them
    // null): true when handled here.
    virtual bool TexEnv(GLenum, GLenum, const GLint*, const GLfloat*, bool) { return false; }
    virtual bool GetTexEnv(GLenum, GLenum, GLint*, GLfloat*) { return false; }
    // A texture upload (sub: glTexSubImage*): true when the module handled it.
    struct TexUpload {
        int dimensions;
        bool sub;
        GLenum target;
        GLint level, internalFormat, x, y, z;
        GLsizei width, height, depth;
        GLint border;
        GLenum format, type;
        const void* pixels;
    };
    virtual bool TexImage(const TexUpload&) { return false; }
    // glTexParameter*v/glGetTexParameter*v (values as ints or floats, one of them null): true
    // when handled here.
    virtual bool TexParameter(GLenum, GLenum, const GLint*, const GLfloat*) { return false; }
    virtual bool GetTexParameter(GLenum, GLenum, GLint*, GLfloat*) { return false; }
    // Whether pixels of (format, type) outside textures are the module's to refuse.
    virtual bool RefusesPixels(GLenum, GLenum) const { return false; }
    // Texture objects the application deleted.
    virtual void TexturesDeleted(GLsizei, const GLuint*) {}
    // glGetTexImage: true when handled here.
    virtual bool GetTexImage(GLenum, GLint, GLenum, GLenum, void*) { return false; }
    // glPixelTransfer* of a name the module owns: true when handled here.
    virtual bool PixelTransfer(GLenum, GLfloat) { return false; }
    // glCopyTexImage* with internalFormat (sub: glCopyTexSubImage*, internalFormat null) into
    // target: false when the module refused it (and raised the error); the module may replace
    // the internal format the driver gets.
    virtual bool CopyTexImage(GLenum, GLenum* /*internalFormat*/) { return true; }
    // glMatrixMode: the mode to hand to the driver instead.
    virtual GLenum DriverMatrixMode(GLenum mode) const { return mode; }
    // Called before every draw; false when the draw must not happen (the module raised an
    // error).
    virtual bool BeforeDraw() { return true; }
    // The application bound an ARB program of `target` itself.
    virtual void ArbProgramBound(GLenum) {}
    // glPopAttrib restored state behind the module's back.
    virtual void AttributesPopped() {}
    // The driver ran commands the layer does not see one by one (a display list of the driver's,
    // an indexed enable): state the module follows from the calls it sees must be read again.
    virtual void ChangedUnseen() {}
    virtual void AttributesPushed(GLbitfield) {}
    // Evaluator maps of targets the module owns: true when handled here.
    virtual bool DefineMap(GLenum, const MapCall&) { return false; }
    virtual bool GetMap(GLenum, GLenum, std::vector<double>*) { return false; }
    // Evaluation between glBegin and glEnd: true when the module made the vertex.
    virtual bool EvalCoord(int /*dims*/, double, double) { return false; }
    virtual bool EvalPoint(int /*dims*/, GLint, GLint) { return false; }
    // Whether glEvalMesh of these dimensions needs the module's evaluation.
    virtual bool EvaluatesMesh(int /*dims*/) const { return false; }
    // Before each glBegin the driver runs.
    virtual void BeforeBegin() {}
};

struct ModuleEntry {
    const char* extension;  // the name added to the extension strings
    const char* needs;      // a driver extension the module is built on
    // Null, or a null-terminated list of driver extensions the row must not find besides its
    // own name: extensions that work together with it, whose driver implementation the module
    // would override.
    const char* const* excludes;
    // Null when the module cannot take part (it relies on one made before it).
    std::unique_ptr<Module> (*create)(Layer& layer);
};

// Every module, in the order they are offered.
extern const ModuleEntry kModules[];
extern const size_t kModuleCount;

// What the contexts of one share group (contexts that share display lists) hold in common: one
// object of each type, made by the first module that asks for it.
class ShareGroup {
  public:
    template <class T>
    T& Object() {
        std::shared_ptr<void>& object = objects_[std::type_index(typeid(T))];
        if (!object) object = std::make_shared<T>();
        return *static_cast<T*>(object.get());
    }

  private:
    std::map<std::type_index, std::shared_ptr<void>> objects_;
};

class Layer {
  public:
    // With switchedOn false, or without a current context's extension string, the layer has no
    // modules and forwards everything. group is shared with the layers of the contexts that
    // share objects with this one.
    Layer(const NextGl& next, bool switchedOn,
          std::shared_ptr<ShareGroup> group = std::make_shared<ShareGroup>());
    ShareGroup& Group() { return *group_; }
    ~Layer();

    const NextGl& Next() const { return next_; }
    bool Active() const { return !modules_.empty(); }
    // Records an error of an emulated call; glGetError reports it before the driver's.
    void RaiseError(GLenum error);

    template <class T>
    T* Get() const {
        for (const auto& m : modules_)
            if (T* t = dynamic_cast<T*>(m.get())) return t;
        return nullptr;
    }

    // What the exported GL functions do.
    NextGl::Proc GetProcAddress(const GLubyte* name);
    const GLubyte* GetString(GLenum name);
    const GLubyte* GetStringi(GLenum name, GLuint index);
    void GetIntegerv(GLenum pname, GLint* data);
    void GetFloatv(GLenum pname, GLfloat* data);
    void GetBooleanv(GLenum pname, GLboolean* data);
    void GetDoublev(GLenum pname, GLdouble* data);
    GLenum GetError();
    void Enable(GLenum cap);
    void Disable(GLenum cap);
    GLboolean IsEnabled(GLenum cap);
    void EnableIndexedEXT(GLenum cap, GLuint index);
    void DisableIndexedEXT(GLenum cap, GLuint index);
    void Enablei(GLenum cap, GLuint index);
    void Disablei(GLenum cap, GLuint index);
    void EnableClientState(GLenum cap);
    void DisableClientState(GLenum cap);
    void MatrixMode(GLenum mode);
    void PopAttrib();
    void BindProgramARB(GLenum target, GLuint program);
    void TexEnvi(GLenum target, GLenum pname, GLint value);
    void TexEnvf(GLenum target, GLenum pname, GLfloat value);
    void TexEnviv(GLenum target, GLenum pname, const GLint* values);
    void TexEnvfv(GLenum target, GLenum pname, const GLfloat* values);
    void GetTexEnviv(GLenum target, GLenum pname, GLint* values);
    void GetTexEnvfv(GLenum target, GLenum pname, GLfloat* values);
    void TexImage1D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLint border,
                    GLenum format, GLenum type, const void* pixels);
    void TexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                    GLint border, GLenum format, GLenum type, const void* pixels);
    void TexSubImage1D(GLenum target, GLint level, GLint x, GLsizei width, GLenum format,
                       GLenum type, const void* pixels);
    void TexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei width, GLsizei height,
                       GLenum format, GLenum type, const void* pixels);
    void TexParameterfv(GLenum target, GLenum pname, const GLfloat* values);
    void TexParameteriv(GLenum target, GLenum pname, const GLint* values);
    void GetTexParameterfv(GLenum target, GLenum pname, GLfloat* values);
    void GetTexParameteriv(GLenum target, GLenum pname, GLint* values);
    void DeleteTextures(GLsizei n, const GLuint* textures);
    void GetTexImage(GLenum target, GLint level, GLenum format, GLenum type, void* pixels);
    void PixelTransferf(GLenum pname, GLfloat value);
    void PixelTransferi(GLenum pname, GLint value);
    void CopyTexImage1D(GLenum target, GLint level, GLenum internalFormat, GLint x, GLint y,
                        GLsizei width, GLint border);
    void CopyTexImage2D(GLenum target, GLint level, GLenum internalFormat, GLint x, GLint y,
                        GLsizei width, GLsizei height, GLint border);
    void CopyTexSubImage1D(GLenum target, GLint level, GLint xoffset, GLint x, GLint y,
                           GLsizei width);
    void CopyTexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLint x,
                           GLint y, GLsizei width, GLsizei height);
    void CopyTexSubImage3D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLint zoffset,
                           GLint x, GLint y, GLsizei width, GLsizei height);
    void TexImage3D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                    GLsizei depth, GLint border, GLenum format, GLenum type, const void* pixels);
    void TexSubImage3D(GLenum target, GLint level, GLint x, GLint y, GLint z, GLsizei width,
                       GLsizei height, GLsizei depth, GLenum format, GLenum type,
                       const void* pixels);
    void Begin(GLenum mode);
    void End();
    void PushAttrib(GLbitfield mask);
    void Map1f(GLenum target, GLfloat u1, GLfloat u2, GLint stride, GLint order,
               const GLfloat* points);
    void Map1d(GLenum target, GLdouble u1, GLdouble u2, GLint stride, GLint order,
               const GLdouble* points);
    void Map2f(GLenum target, GLfloat u1, GLfloat u2, GLint ustride, GLint uorder, GLfloat v1,
               GLfloat v2, GLint vstride, GLint vorder, const GLfloat* points);
    void Map2d(GLenum target, GLdouble u1, GLdouble u2, GLint ustride, GLint uorder, GLdouble v1,
               GLdouble v2, GLint vstride, GLint vorder, const GLdouble* points);
    void GetMapfv(GLenum target, GLenum query, GLfloat* values);
    void GetMapdv(GLenum target, GLenum query, GLdouble* values);
    void GetMapiv(GLenum target, GLenum query, GLint* values);
    void EvalCoord1d(GLdouble u) { EvalCoord(1, u, 0); }
    void EvalCoord1dv(const GLdouble* u) { EvalCoord(1, u[0], 0); }
    void EvalCoord1f(GLfloat u) { EvalCoord(1, u, 0); }
    void EvalCoord1fv(const GLfloat* u) { EvalCoord(1, u[0], 0); }
    void EvalCoord2d(GLdouble u, GLdouble v) { EvalCoord(2, u, v); }
    void EvalCoord2dv(const GLdouble* u) { EvalCoord(2, u[0], u[1]); }
    void EvalCoord2f(GLfloat u, GLfloat v) { EvalCoord(2, u, v); }
    void EvalCoord2fv(const GLfloat* u) { EvalCoord(2, u[0], u[1]); }
    void EvalPoint1(GLint i) { EvalPoint(1, i, 0); }
    void EvalPoint2(GLint i, GLint j) { EvalPoint(2, i, j); }
    void EvalMesh1(GLenum mode, GLint i1, GLint i2) { EvalMesh(1, mode, i1, i2, 0, 0); }
    void EvalMesh2(GLenum mode, GLint i1, GLint i2, GLint j1, GLint j2) {
        EvalMesh(2, mode, i1, i2, j1, j2);
    }
    void NewList(GLuint list, GLenum mode);
    void EndList();
    void CallList(GLuint list);
    void CallLists(GLsizei n, GLenum type, const void* lists);
    void DeleteLists(GLuint list, GLsizei range);
    // A command of an emulated extension that display lists hold: while one is compiled it is
    // recorded there (and also run under GL_COMPILE_AND_EXECUTE) and true is returned; otherwise
    // false, and the caller runs it.
    using Command = std::function<void(Layer&)>;
    bool Recorded(const Command& command);
    // Runs a command on the module M of this context, or records it (for the module of the
    // context that calls the list) while a display list is compiled.
    template <class M, typename F>
    void Listed(F command) {
        if (Get<M>() == nullptr) return;
        const Command run = [command](Layer& l) {
            if (M* m = l.Get<M>()) command(*m);
        };
        if (!Recorded(run)) run(*this);
    }
    // The error of a command that display lists hold: raised when a list that holds the command
    // is called rather than while it is compiled.
    void RaiseListedError(GLenum error);
    // Whether a call the layer hands to the driver now takes effect now: not while a display
    // list is compiled with GL_COMPILE, nor between glBegin and glEnd (where the driver refuses
    // most calls, unless the layer dropped that glBegin).
    bool RunsNow() const { return !insideBegin_ && !(compiling_ && compileMode_ == GL_COMPILE); }
    // A call with pixels outside textures: true when a module refuses (format, type) and the
    // layer raised GL_INVALID_ENUM.
    bool RefusesPixels(GLenum format, GLenum type);
    // Called before every other call that draws: false when it must not happen (a module
    // raised the error). Between glBegin and glEnd nothing is prepared.
    bool PrepareDraw();

    struct RecordedList;
    struct ListStore;

  private:
    bool ModuleIntegers(GLenum pname, GLint* out) const;
    bool PrepareModules();
    bool Owned(GLenum cap) const;
    bool ModuleMap(GLenum target, const MapCall& call);
    bool ModuleGetMap(GLenum target, GLenum query, std::vector<double>* values);
    void EvalCoord(int dims, double u, double v);
    void EvalPoint(int dims, GLint i, GLint j);
    void EvalMesh(int dims, GLenum mode, GLint i1, GLint i2, GLint j1, GLint j2);
    void AttachLists();
    void OpenSegment(GLuint driverList);
    GLuint NewPartName();
    void CallListNames(const std::vector<GLuint>& offsets);
    void CallDriverList(GLuint list);
    void ChangedUnseen();
    void SetIndexed(void (*set)(GLenum, GLuint), GLenum cap, GLuint index);
    int ModuleFloats(GLenum pname, GLfloat* out) const;
    bool ModuleTexImage(const Module::TexUpload& upload);
    bool ModuleCopy(GLenum target, GLenum* internalFormat);

    NextGl next_;
    std::shared_ptr<ShareGroup> group_;
    std::vector<std::unique_ptr<Module>> modules_;
    std::vector<std::string> added_;  // extension names of the modules
    std::string extensions_;          // the driver's string with the added names
    GLenum error_ = GL_NO_ERROR;
    bool insideBegin_ = false;
    bool beginSkipped_ = false;                // a glBegin drew nothing: its glEnd is dropped too
    std::shared_ptr<RecordedList> compiling_;  // the display list being compiled, if any
    GLuint compilingName_ = 0;
    GLenum compileMode_ = GL_COMPILE;
    int callDepth_ = 0;           // nesting of display lists being called
    ListStore* lists_ = nullptr;  // the share group's, taken when the layer is made
};

// The layer of the calling thread's current context, or null; the shim and tests install how
// it is found.
using LayerLookup = Layer* (*)();
void SetLayerLookup(LayerLookup lookup);
Layer* CurrentLayer();

// Whether the environment switches the layer off (FLUID3D_LEGACYGL=0 or "off").
bool SwitchedOffByEnvironment();

}  // namespace legacygl
