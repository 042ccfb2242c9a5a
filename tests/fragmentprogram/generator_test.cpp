// What the generator promises the layer besides the program text: the cache key and the
// parameters. (The programs themselves are checked by drawing them, in the render tests.)
#include "fragmentprogram/generator.h"

#include <gtest/gtest.h>

namespace fragmentprogram {
namespace {

FragmentState Busy() {
    FragmentState state;
    state.combiners.enabled = true;
    state.combiners.generalCombiners = 2;
    state.textureShaders = true;
    state.units[0].shader.operation = GL_TEXTURE_2D;
    state.units[1].shader.operation = GL_OFFSET_TEXTURE_2D_NV;
    return state;
}

TEST(GeneratorTest, KeyIgnoresConstantsAndUnusedStagesButNotStructure) {
    const FragmentState base = Busy();
    const std::string key = ProgramKey(base);

    FragmentState constants = base;
    constants.combiners.constant0 = {1, 0.5f, 0.25f, 1};
    constants.combiners.perStageConstants = true;
    constants.combiners.stages[1].constant1 = {0.5f, 0.5f, 0.5f, 0.5f};
    constants.units[1].shader.offsetMatrix = {2, 0, 0, 2};
    constants.units[1].shader.offsetScale = 3;
    constants.units[1].shader.constEye = {1, 2, 3};
    EXPECT_EQ(ProgramKey(constants), key);
    EXPECT_EQ(GenerateProgram(constants), GenerateProgram(base));

    FragmentState unused = base;
    unused.combiners.stages[5].rgb.muxSum = true;  // beyond NUM_GENERAL_COMBINERS
    EXPECT_EQ(ProgramKey(unused), key);

    FragmentState mapping = base;
    mapping.combiners.stages[1].alpha.inputs[kC].mapping = GL_EXPAND_NEGATE_NV;
    EXPECT_NE(ProgramKey(mapping), key);
    EXPECT_NE(GenerateProgram(mapping), GenerateProgram(base));

    FragmentState format = base;
    format.units[0].targets[k2D].format = {GL_DSDT_NV, Signedness::kMixed};
    EXPECT_NE(ProgramKey(format), key);

    FragmentState stages = base;
    stages.combiners.generalCombiners = 3;
    EXPECT_NE(ProgramKey(stages), key);
}

TEST(GeneratorTest, LocalsCarryTheConstantsEachStageReads) {
    FragmentState state = Busy();
    CombinerState& c = state.combiners;
    c.constant0 = {0.1f, 0.2f, 0.3f, 0.4f};
    c.constant1 = {0.5f, 0.6f, 0.7f, 0.8f};
    c.stages[3].constant0 = {1, 1, 0, 0};
    state.units[2].shader.offsetMatrix = {1, 2, 3, 4};
    state.units[2].shader.offsetScale = 5;
    state.units[2].shader.offsetBias = 6;
    state.units[2].shader.constEye = {7, 8, 9};

    std::vector<Vec4> locals = ProgramLocals(state);
    ASSERT_EQ(locals.size(), size_t(kLocalCount));
    EXPECT_EQ(locals[kGlobalConstantLocal], c.constant0);
    EXPECT_EQ(locals[kGlobalConstantLocal + 1], c.constant1);
    EXPECT_EQ(locals[StageConstantLocal(3)], c.constant0);  // per-stage constants off
    EXPECT_EQ(locals[StageConstantLocal(3) + 1], c.constant1);
    EXPECT_EQ(locals[OffsetMatrixLocal(2)], (Vec4{1, 2, 3, 4}));
    EXPECT_EQ(locals[OffsetScaleBiasLocal(2)], (Vec4{5, 6, 0, 0}));
    EXPECT_EQ(locals[ConstEyeLocal(2)], (Vec4{7, 8, 9, 0}));

    c.perStageConstants = true;
    locals = ProgramLocals(state);
    EXPECT_EQ(locals[StageConstantLocal(3)], (Vec4{1, 1, 0, 0}));
    EXPECT_EQ(locals[StageConstantLocal(3) + 1], (Vec4{0, 0, 0, 0}));
    EXPECT_EQ(locals[kGlobalConstantLocal], c.constant0);  // the final combiner's stay global
}

TEST(GeneratorTest, ConsistencyOfUnusedUnitsAndUnknownOperations) {
    FragmentState state;
    state.textureUnits = 2;
    state.units[0].shader.operation = GL_TEXTURE_2D;  // no complete 2D texture
    state.units[1].shader.operation = GL_LINEAR;      // not an operation
    state.units[3].shader.operation = GL_DOT_PRODUCT_NV;
    const auto consistent = ShaderConsistency(state);
    EXPECT_FALSE(consistent[0]);
    EXPECT_FALSE(consistent[1]);
    EXPECT_TRUE(consistent[3]);  // beyond the units taking part
    state.units[0].targets[k2D].complete = true;
    EXPECT_TRUE(ShaderConsistency(state)[0]);
}

}  // namespace
}  // namespace fragmentprogram
