// Checks and GL set-up of a !!TS1.0 statement list.
#include "shaderparse/ts10/ts10_inst.h"

#include <GL/glext.h>

#include <cstdlib>
#include <cstring>

#include "glext/entry_points.h"
#include "shaderparse/parse_state.h"

namespace {

// What a stage sets besides its shader operation, in call order.
enum class Extra {
    None,
    CullModes,        // GL_CULL_MODES_NV from args[0..3]
    Previous,         // GL_PREVIOUS_TEXTURE_INPUT_NV
    Offset,           // previous, then the offset matrix
    OffsetScaleBias,  // previous, matrix, scale, bias
    DotProduct,       // mapping first, then the operation, then previous
    DotProductEye,    // as DotProduct, then the const-eye vector
};

struct StageSetUp {
    uint16_t kind;
    GLenum operation;
    Extra extra;
};

constexpr StageSetUp kStages[] = {
#define TS10_OPERATION(word, token, kind, operation, extra) {kind, operation, Extra::extra},
#include "shaderparse/ts10/ts10_operations.def"
#undef TS10_OPERATION
};

const StageSetUp* FindStage(uint16_t kind) {
    for (const StageSetUp& stage : kStages) {
        if (stage.kind == kind) return &stage;
    }
    return nullptr;
}

// The unit a stage reads: args[0] with its fraction dropped.
int ReferencedUnit(const TS10Inst& inst) { return static_cast<int>(inst.args[0]); }

void* DefaultReallocate(void* block, size_t bytes) { return std::realloc(block, bytes); }

}  // namespace

void* (*TS10InstList::reallocate)(void*, size_t) = DefaultReallocate;

TS10Inst MakeTS10Inst(uint16_t kind) {
    TS10Inst inst;
    std::memset(&inst, 0, sizeof inst);
    inst.kind = kind;
    return inst;
}

void SetUpStage(const TS10Inst& inst, const GLfloat eye[3]) {
    const StageSetUp* stage = FindStage(inst.kind);
    if (stage == nullptr) return;
    const bool dotProduct =
        stage->extra == Extra::DotProduct || stage->extra == Extra::DotProductEye;
    if (dotProduct) {
        glTexEnvi(GL_TEXTURE_SHADER_NV, GL_RGBA_UNSIGNED_DOT_PRODUCT_MAPPING_NV,
                  inst.expand == 1 ? GL_EXPAND_NORMAL_NV : GL_UNSIGNED_IDENTITY_NV);
    }
    glTexEnvi(GL_TEXTURE_SHADER_NV, GL_SHADER_OPERATION_NV, static_cast<GLint>(stage->operation));
    if (stage->extra == Extra::None) return;
    if (stage->extra == Extra::CullModes) {
        glTexEnvfv(GL_TEXTURE_SHADER_NV, GL_CULL_MODES_NV, inst.args);
        return;
    }
    glTexEnvi(GL_TEXTURE_SHADER_NV, GL_PREVIOUS_TEXTURE_INPUT_NV,
              static_cast<GLint>(GL_TEXTURE0_ARB + ReferencedUnit(inst)));
    if (stage->extra == Extra::Offset || stage->extra == Extra::OffsetScaleBias) {
        glTexEnvfv(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_MATRIX_NV, inst.args + 1);
    }
    if (stage->extra == Extra::OffsetScaleBias) {
        glTexEnvf(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_SCALE_NV, inst.args[5]);
        glTexEnvf(GL_TEXTURE_SHADER_NV, GL_OFFSET_TEXTURE_BIAS_NV, inst.args[6]);
    }
    if (stage->extra == Extra::DotProductEye) {
        glTexEnvfv(GL_TEXTURE_SHADER_NV, GL_CONST_EYE_NV, eye);
    }
}

TS10InstList::~TS10InstList() { std::free(insts_); }

bool TS10InstList::Append(const TS10Inst& inst) {
    if (count_ == capacity_) {
        // Places for four records first, then doubling, which keeps a long text's appends linear.
        const size_t larger = capacity_ == 0 ? 4 : 2 * capacity_;
        void* grown = reallocate(insts_, larger * sizeof(TS10Inst));
        if (grown == nullptr) return false;
        insts_ = static_cast<TS10Inst*>(grown);
        capacity_ = larger;
    }
    insts_[count_++] = inst;
    return true;
}

void TS10InstList::Validate() {
    if (count_ > 4) parseErrors.Add("too many instructions");
    for (size_t i = 0; i < count_; ++i) {
        const TS10Inst& inst = insts_[i];
        const long position = (inst.kind & kTS10StageMask) >> kTS10StageShift;
        const long first = static_cast<long>(i) - position;  // the group's first statement
        if (first < 0) {
            parseErrors.Add("prior stage missing");
        } else if ((insts_[first].kind & kTS10OperationMask) != (inst.kind & kTS10OperationMask)) {
            parseErrors.Add("stage mismatch");
        }
        if (inst.kind & kTS10ReadsUnit) {
            const long unit = ReferencedUnit(inst);
            if (unit < 0 || unit >= first) {
                parseErrors.Add("invalid texture reference");
            } else if (insts_[unit].kind & kTS10NoOutput) {
                parseErrors.Add("no output on referenced texture");
            }
        }
    }
    // Append fails only when memory runs out; the list is then left short.
    while (count_ < 4 && Append(MakeTS10Inst(kTS10Nop))) {
    }
}

void TS10InstList::Invoke() const {
    if (glext::glActiveTextureARB == nullptr) {
        parseErrors.Add("texture shader stages not set up: glActiveTextureARB is not loaded");
        return;
    }
    for (size_t i = 0; i < count_; ++i) {
        // A const-eye third stage takes the vector written with its group's first statement;
        // without that statement (a faulty group) the vector is 0, 0, 0.
        GLfloat eye[3] = {0, 0, 0};
        if (i >= 2) {
            const TS10Inst& first = insts_[i - 2];
            if (first.kind == kTS10ReflectConstEyeFirst ||
                first.kind == kTS10DiffuseReflectConstEyeFirst) {
                std::memcpy(eye, first.args + 1, sizeof eye);
            }
        }
        glext::glActiveTextureARB(static_cast<GLenum>(GL_TEXTURE0_ARB + i));
        SetUpStage(insts_[i], eye);
    }
    glext::glActiveTextureARB(GL_TEXTURE0_ARB);
}
