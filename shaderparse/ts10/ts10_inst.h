// In-memory form of a !!TS1.0 program: one statement per texture shader stage, the checks of the
// whole list and the GL set-up of each stage.
#pragma once

#include <GL/gl.h>

#include <cstddef>
#include <cstdint>

// Layout of TS10Inst::kind.
constexpr uint16_t kTS10OperationMask = 0x03FF;  // operation number
constexpr int kTS10StageShift = 10;              // position inside the group of stages
constexpr uint16_t kTS10StageMask = 0x3C00;
constexpr uint16_t kTS10ReadsUnit = 0x4000;  // args[0] names an earlier unit the stage reads
constexpr uint16_t kTS10NoOutput = 0x8000;   // later stages may not reference this one

// Statement kinds, named by their words in ts10_operations.def.
enum class TS10Kind : uint16_t {
#define TS10_OPERATION(word, token, kind, operation, extra) word = kind,
#include "shaderparse/ts10/ts10_operations.def"
#undef TS10_OPERATION
};

// Kinds the list handles itself: the padding stage and the first stages of the two const-eye
// groups, whose eye vector the third stage sets.
constexpr uint16_t kTS10Nop = static_cast<uint16_t>(TS10Kind::nop);
constexpr uint16_t kTS10ReflectConstEyeFirst =
    static_cast<uint16_t>(TS10Kind::dot_product_reflect_cube_map_const_eye_1of3);
constexpr uint16_t kTS10DiffuseReflectConstEyeFirst =
    static_cast<uint16_t>(TS10Kind::dot_product_cube_map_and_reflect_cube_map_const_eye_1of3);

// The texture argument of a dot-product statement: tex0..tex2, optionally inside expand( ).
struct TS10TexRef {
    float unit;
    int32_t expand;
};

// One statement; unused argument places are 0.
struct TS10Inst {
    uint16_t kind;
    float args[7];
    int32_t expand;
};

// A zeroed statement of the given kind.
TS10Inst MakeTS10Inst(uint16_t kind);

// Issues the texture-environment calls of one statement for the active texture unit. eye is the
// vector a const-eye third stage sets (ignored by every other kind).
void SetUpStage(const TS10Inst& inst, const GLfloat eye[3]);

// The statements of one program in program order, in a block that grows by 4 records.
class TS10InstList {
  public:
    TS10InstList() = default;
    ~TS10InstList();
    TS10InstList(const TS10InstList&) = delete;
    TS10InstList& operator=(const TS10InstList&) = delete;

    // Copies inst to the end; false (list unchanged) when the block cannot grow.
    bool Append(const TS10Inst& inst);
    size_t Size() const { return count_; }
    size_t Capacity() const { return capacity_; }
    const TS10Inst& operator[](size_t i) const { return insts_[i]; }

    // Checks the list as a whole into parseErrors, then pads it with nops to four stages.
    void Validate();
    // Sets up statement i on texture unit i, then makes unit 0 active again.
    void Invoke() const;

    // Grows the block; replaceable so that tests can make growth fail.
    static void* (*reallocate)(void* block, size_t bytes);

  private:
    TS10Inst* insts_ = nullptr;
    size_t count_ = 0;
    size_t capacity_ = 0;
};
