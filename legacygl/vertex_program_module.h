// GL_NV_vertex_program on a driver with GL_ARB_vertex_program: program objects and their load
// errors, program parameters (the driver's vertex-program environment parameters), matrix
// tracking, vertex state programs run by the CPU interpreter, vertex attributes routed to the
// conventional state they alias, and, at each draw, the bound program's cached ARB translation.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "legacygl/arb_translation.h"
#include "legacygl/attribute_maps.h"
#include "legacygl/layer.h"
#include "vertexprogram/interpreter.h"

namespace legacygl {

class VertexProgramModule : public Module {
  public:
    explicit VertexProgramModule(Layer& layer);

    NextGl::Proc Lookup(const char* name) const override;
    bool SetCapability(GLenum cap, bool on) override;
    bool IsEnabled(GLenum cap, GLboolean* on) const override;
    bool SetClientCapability(GLenum cap, bool on) override;
    bool GetIntegers(GLenum pname, GLint* out) const override;
    GLenum DriverMatrixMode(GLenum mode) const override;
    bool BeforeDraw() override;
    void ArbProgramBound(GLenum target) override;
    void AttributesPopped() override;
    void AttributesPushed(GLbitfield mask) override;
    bool DefineMap(GLenum target, const MapCall& call) override;
    bool GetMap(GLenum target, GLenum query, std::vector<double>* values) override;
    bool EvalCoord(int dims, double u, double v) override;
    bool EvalPoint(int dims, GLint i, GLint j) override;
    bool EvaluatesMesh(int dims) const override;
    void BeforeBegin() override;

    // The extension's commands; the exported entry points convert their arguments and call
    // these on the current context's module.
    void LoadProgram(GLenum target, GLuint id, GLsizei length, const GLubyte* text);
    void BindProgram(GLenum target, GLuint id);
    void DeletePrograms(GLsizei n, const GLuint* ids);
    void GenPrograms(GLsizei n, GLuint* ids);
    GLboolean IsProgram(GLuint id) const;
    GLboolean AreProgramsResident(GLsizei n, const GLuint* ids, GLboolean* residences);
    void RequestResidentPrograms(GLsizei n);
    void GetProgramiv(GLuint id, GLenum pname, GLint* params);
    void GetProgramString(GLuint id, GLenum pname, GLubyte* program);
    void ExecuteProgram(GLenum target, GLuint id, const GLfloat* params);
    // count registers from index on, four values each.
    void SetParameters(GLenum target, GLuint index, GLsizei count, const GLfloat* values);
    void GetParameter(GLenum target, GLuint index, GLenum pname, GLfloat* values);
    void TrackMatrix(GLenum target, GLuint address, GLenum matrix, GLenum transform);
    void GetTrackMatrixiv(GLenum target, GLuint address, GLenum pname, GLint* params);
    void VertexAttrib(GLuint index, const GLfloat (&v)[4]);
    void VertexAttribPointer(GLuint index, GLint size, GLenum type, GLsizei stride,
                             const void* pointer);
    // Four values of CURRENT_ATTRIB_NV, or one of the array state; false after an error.
    bool GetVertexAttrib(GLuint index, GLenum pname, GLfloat* values);
    void GetVertexAttribPointerv(GLuint index, GLenum pname, void** pointer);
    void RaiseError(GLenum error) { layer_.RaiseError(error); }
    void SetMap(int dims, GLuint index, const AttributeMaps::Map& map) {
        maps_.Define(dims, index, map);
    }

    struct StoredProgram {
        GLenum target = 0;
        std::string text;
        vertexprogram::Program program;
        bool writesFog = false;
        std::vector<std::pair<TranslationState, GLuint>> translations;  // ARB program names
    };

    // The program objects, common to a share group: the contexts may be current on different
    // threads.
    struct ProgramStore {
        std::mutex lock;
        std::map<GLuint, StoredProgram> programs;
        std::set<GLuint> generated;
        uint64_t generation = 0;  // counts the loads and deletions
    };

  private:
    void Commit();
    GLuint Translation(StoredProgram& p);
    // An ARB program that draws nothing, for draws that must not happen but cannot be dropped.
    GLuint Discard();
    void DropTranslations(StoredProgram& p);
    void SetDriverCapability(GLenum cap, bool on, bool& driverState);
    // The current values of the matrix a slot tracks, row by row.
    void TrackedValues(const TrackedMatrix& tracked, vertexprogram::Vec4 (&rows)[4]) const;
    bool Tracked(GLuint index) const;
    void WriteParameter(GLuint index, const vertexprogram::Vec4& value);

    Layer& layer_;
    const NextGl& next_;
    ProgramStore& store_;
    uint64_t seenGeneration_ = 0;
    GLuint bound_ = 0;
    bool ownsBinding_ = true;  // false while the application's own ARB program is bound
    bool enabled_ = false, pointSize_ = false, twoSide_ = false;
    bool appColorSum_ = false, appFog_ = false;        // what the application set
    bool driverColorSum_ = false, driverFog_ = false;  // what the driver has
    uint16_t arrays_ = 0;
    GLint errorPosition_ = -1;
    bool loadedAny_ = false;
    vertexprogram::Vec4 parameters_[vertexprogram::kParameterRegisters] = {};
    TranslationState state_;
    bool dirty_ = true, drawable_ = true;
    GLuint discard_ = 0;
    // The attribute evaluator maps, the map enables saved by glPushAttrib (or none), and what
    // a glBegin in program mode found of the driver's evaluator state.
    AttributeMaps maps_;
    std::vector<std::pair<bool, uint32_t>> savedMaps_;
    struct Grid {
        double from = 0, to = 1;
        GLint segments = 1;
    } grid_[2][2];  // [dims - 1][u, v]
    const AttributeMaps::Map* MapOf(int dims, GLuint index) const;
    void ReadDriverMaps();
    // The driver's maps of the aliased attributes (position, normal, colour, texture coordinate
    // set 0), read at glBegin: attribute evaluation evaluates them too.
    AttributeMaps::Map conventional_[2][AttributeMaps::kMaps];
    uint16_t conventionalOn_[2] = {};
    bool autoNormal_ = false;
};

std::unique_ptr<Module> CreateVertexProgramModule(Layer& layer);

}  // namespace legacygl
