#include "fragmentprogram/fragment_state.h"

namespace fragmentprogram {

// Every stage starts as spare0 = primary colour x 1, in both portions.
GeneralCombiner::GeneralCombiner() {
    rgb.inputs[kA] = {GL_PRIMARY_COLOR_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    rgb.inputs[kB] = {GL_ZERO, GL_UNSIGNED_INVERT_NV, GL_RGB};
    rgb.inputs[kC] = {GL_ZERO, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    rgb.inputs[kD] = {GL_ZERO, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    alpha.inputs[kA] = {GL_PRIMARY_COLOR_NV, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA};
    alpha.inputs[kB] = {GL_ZERO, GL_UNSIGNED_INVERT_NV, GL_ALPHA};
    alpha.inputs[kC] = {GL_ZERO, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA};
    alpha.inputs[kD] = {GL_ZERO, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA};
}

// The initial final combiner is colour sum followed by fog.
FinalCombiner::FinalCombiner() {
    inputs[kA] = {GL_FOG, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA};
    inputs[kB] = {GL_SPARE0_PLUS_SECONDARY_COLOR_NV, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    inputs[kC] = {GL_FOG, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    inputs[kD] = {GL_ZERO, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    inputs[kE] = {GL_ZERO, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    inputs[kF] = {GL_ZERO, GL_UNSIGNED_IDENTITY_NV, GL_RGB};
    inputs[kG] = {GL_SPARE0_NV, GL_UNSIGNED_IDENTITY_NV, GL_ALPHA};
}

const GLenum kTargetTokens[kTargetCount] = {GL_TEXTURE_1D, GL_TEXTURE_2D, GL_TEXTURE_3D,
                                            GL_TEXTURE_CUBE_MAP, GL_TEXTURE_RECTANGLE_NV};
const GLenum kTargetBindings[kTargetCount] = {GL_TEXTURE_BINDING_1D, GL_TEXTURE_BINDING_2D,
                                              GL_TEXTURE_BINDING_3D, GL_TEXTURE_BINDING_CUBE_MAP,
                                              GL_TEXTURE_BINDING_RECTANGLE_NV};

int TargetIndexOf(GLenum target) {
    for (int k = 0; k < kTargetCount; ++k)
        if (kTargetTokens[k] == target) return k;
    return -1;
}

int OperationTarget(GLenum op) {
    switch (op) {
        case GL_TEXTURE_1D:
            return k1D;
        case GL_TEXTURE_2D:
        case GL_OFFSET_TEXTURE_2D_NV:
        case GL_OFFSET_TEXTURE_2D_SCALE_NV:
        case GL_DEPENDENT_AR_TEXTURE_2D_NV:
        case GL_DEPENDENT_GB_TEXTURE_2D_NV:
        case GL_DOT_PRODUCT_TEXTURE_2D_NV:
            return k2D;
        case GL_TEXTURE_3D:
        case GL_DOT_PRODUCT_TEXTURE_3D_NV:
            return k3D;
        case GL_TEXTURE_CUBE_MAP:
        case GL_DOT_PRODUCT_TEXTURE_CUBE_MAP_NV:
        case GL_DOT_PRODUCT_REFLECT_CUBE_MAP_NV:
        case GL_DOT_PRODUCT_CONST_EYE_REFLECT_CUBE_MAP_NV:
        case GL_DOT_PRODUCT_DIFFUSE_CUBE_MAP_NV:
            return kCubeMap;
        case GL_TEXTURE_RECTANGLE_NV:
        case GL_OFFSET_TEXTURE_RECTANGLE_NV:
        case GL_OFFSET_TEXTURE_RECTANGLE_SCALE_NV:
        case GL_DOT_PRODUCT_TEXTURE_RECTANGLE_NV:
            return kRectangle;
        default:
            return -1;
    }
}

}  // namespace fragmentprogram
