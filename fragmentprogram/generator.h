// Builds an ARB fragment program (!!ARBfp1.0) that computes what the register combiners, the
// texture shaders and the conventional texture environments they feed define for a FragmentState.
// Pure: no GL calls. Constants never appear in the text; they are program.local parameters whose
// values come from ProgramLocals, so one compiled program serves every constant value.
//
// At a draw: look the ProgramKey up in a cache of program objects; on a miss, load
// GenerateProgram's text into a newly generated object (in our tests, re-loading a string into
// an object llvmpipe had drawn with crashed it at the next draw); then set the ProgramLocals of
// the bound object. Undefined register contents (spare0 RGB, spare1, disabled texture units) read
// as zero.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "fragmentprogram/fragment_state.h"

namespace fragmentprogram {

// program.local layout: 0, 1 the global constant colours (final combiner); 2 + 2s, 3 + 2s the
// constant colours general combiner s reads (its own with PER_STAGE_CONSTANTS_NV, else the
// global ones); per unit u, 18 + 3u the offset matrix, 19 + 3u (offset scale, offset bias, 0, 0),
// 20 + 3u (constant eye, 0).
constexpr int kGlobalConstantLocal = 0;
constexpr int StageConstantLocal(int stage) { return 2 + 2 * stage; }
constexpr int OffsetMatrixLocal(int unit) { return 2 + 2 * kMaxGeneralCombiners + 3 * unit; }
constexpr int OffsetScaleBiasLocal(int unit) { return OffsetMatrixLocal(unit) + 1; }
constexpr int ConstEyeLocal(int unit) { return OffsetMatrixLocal(unit) + 2; }
constexpr int kLocalCount = OffsetMatrixLocal(kMaxTextureUnits);

// Whether each texture-shader stage is consistent (an inconsistent stage acts as NONE). Units at
// or beyond state.textureUnits are reported consistent.
std::array<bool, kMaxTextureUnits> ShaderConsistency(const FragmentState& state);

// Everything that changes the program text, as bytes: equal keys give equal programs. Constant
// colours, offset matrices, scales, biases and the constant eye are not part of it.
std::string ProgramKey(const FragmentState& state);

// The kLocalCount program.local values the program reads, for glProgramLocalParameter4fvARB.
std::vector<Vec4> ProgramLocals(const FragmentState& state);

// The program text. Fog colour and parameters, texture environment colours and the depth range
// are read from the GL state bindings (state.fog.*, state.texenv[n].color, state.depth.range).
std::string GenerateProgram(const FragmentState& state);

}  // namespace fragmentprogram
