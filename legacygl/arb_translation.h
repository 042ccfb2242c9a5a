// Translation of checked !!VP1.0 programs into ARB vertex programs that compute what the legacy
// extension defines: temporaries and A0.x start at 0 and results at (0,0,0,1), relative reads
// outside c[0..95] give 0, attributes come from the conventional state they alias (or from
// generic attribute arrays), and tracked c[] blocks read the GL's matrices at draw time.
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <string>

#include "vertexprogram/program.h"

namespace legacygl {

constexpr int kTrackingSlots = 24;  // c[0..3], c[4..7], ..., c[92..95]

struct TrackedMatrix {
    GLenum matrix = GL_NONE;    // GL_NONE, or a matrix already resolved to one unit/program matrix
    GLenum transform = 0x862A;  // GL_IDENTITY_NV
    bool operator==(const TrackedMatrix& o) const {
        return matrix == o.matrix && transform == o.transform;
    }
};

// The state a translation depends on.
struct TranslationState {
    TrackedMatrix tracking[kTrackingSlots];
    uint16_t attributeArrays = 0;  // bit i: v[i] is read from generic attribute array i
    bool operator==(const TranslationState& o) const;
};

// The ARB state binding of a tracked matrix (e.g. "state.matrix.mvp.inverse"), or "" for a
// matrix that has none.
std::string MatrixBinding(const TrackedMatrix& tracked);

// The !!ARBvp1.0 text of a valid vertex program.
std::string TranslateToArb(const vertexprogram::Program& program, const TranslationState& state);

// Whether the program writes some component of result register `result`.
bool WritesResult(const vertexprogram::Program& program, int result);

}  // namespace legacygl
