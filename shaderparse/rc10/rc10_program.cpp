// Checks of a parsed !!RC1.0 program, its defaults, and the combiner set-up through the
// extension entry points.
#include "shaderparse/rc10/rc10_program.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "glext/entry_points.h"
#include "shaderparse/parse_state.h"

namespace {

constexpr int kRgbPortion = 0;
constexpr int kAlphaPortion = 1;

uint32_t ChannelOf(int designator) { return designator == kAlphaPortion ? kRC10Alpha : kRC10Rgb; }

bool PerStageConstants() { return glext::glCombinerStageParameterfvNV != nullptr; }

bool Names(const RC10MappedInput& input, GLenum value) { return input.reg.Enum() == value; }

bool IsZeroInput(const RC10MappedInput& in) {
    return in.reg.Enum() == GL_ZERO && in.mapping == GL_UNSIGNED_IDENTITY_NV;
}

bool IsOneInput(const RC10MappedInput& in) {
    return in.reg.Enum() == GL_ZERO && in.mapping == GL_UNSIGNED_INVERT_NV;
}

bool IsFinalOnlyName(const RC10MappedInput& in) {
    return Names(in, GL_E_TIMES_F_NV) || Names(in, GL_SPARE0_PLUS_SECONDARY_COLOR_NV) ||
           Names(in, GL_DISCARD_NV);
}

RC10Op Discarding(RC10OpKind kind, uint32_t channel) {
    RC10Op op{kind, MakeRC10Register(GL_DISCARD_NV, channel), RC10ZeroInput(), RC10ZeroInput()};
    op.a.reg.SetChannel(channel);
    op.b.reg.SetChannel(channel);
    return op;
}

// Two products of zeros and a sum, all into discard, read in the portion's channel.
RC10Function DefaultFunction(int designator) {
    uint32_t channel = ChannelOf(designator);
    return RC10Function{3,
                        {Discarding(kRC10Product, channel), Discarding(kRC10Product, channel),
                         Discarding(kRC10Sum, channel)}};
}

bool SameConstTwice(const RC10ConstColor* constants, int count) {
    return count == 2 && constants[0].reg.Enum() == constants[1].reg.Enum();
}

// One register of a general-combiner statement in a portion with designator d.
void CheckRegister(RC10Register& reg, int d, bool isInput) {
    if (reg.Channel() == kRC10NoChannel) reg.SetChannel(ChannelOf(d));
    if (reg.Enum() == GL_FOG && d == kAlphaPortion && reg.Channel() == kRC10Alpha) {
        reg.bits |= RC10Register::kFinalOnly;
    }
    if (reg.FinalOnly()) parseErrors.Add("final register used in general combiner");
    if (d == kAlphaPortion && reg.Channel() == kRC10Rgb) {
        parseErrors.Add("rgb register used in alpha portion");
    } else if (d == kRgbPortion && reg.Channel() == kRC10Blue) {
        parseErrors.Add("blue register usedin rgb portion");
    }
    if (isInput && reg.Enum() == GL_DISCARD_NV) parseErrors.Add("reading from discard");
}

void CheckFunction(RC10Function& function, int d) {
    function.count = std::clamp(function.count, 1, 3);
    for (int i = 0; i < function.count; ++i) {
        RC10Op& op = function.op[i];
        if (op.dest.ReadOnly()) parseErrors.Add("writing to a read-only register");
        if (d == kAlphaPortion && op.kind == kRC10Dot) parseErrors.Add("dot used in alpha portion");
        CheckRegister(op.dest, d, false);
        if (op.kind == kRC10Product || op.kind == kRC10Dot) {
            CheckRegister(op.a.reg, d, true);
            CheckRegister(op.b.reg, d, true);
        }
    }
    auto same = [&function](int i, int j) {
        GLenum value = function.op[i].dest.Enum();
        return value != GL_DISCARD_NV && value == function.op[j].dest.Enum();
    };
    if (function.count >= 2 && same(1, 0)) parseErrors.Add("writing to same register twice");
    if (function.count == 3 && (same(2, 0) || same(2, 1))) {
        parseErrors.Add("writing to same register twice");
    }
    if (function.count == 1) function.op[1] = Discarding(kRC10Product, ChannelOf(d));
    if (function.count < 3) function.op[2] = Discarding(kRC10Sum, ChannelOf(d));
    function.count = 3;
}

void CheckStage(RC10Stage& stage) {
    if (SameConstTwice(stage.localConst, stage.localConstCount)) {
        parseErrors.Add("local constant set twice");
    }
    int written = std::clamp(stage.portionCount, 0, 2);
    if (written == 1) stage.portion[1].designator = 1 - stage.portion[0].designator;
    if (stage.portion[0].designator == stage.portion[1].designator) {
        parseErrors.Add("portion declared twice");
    }
    for (int i = 0; i < written; ++i)
        CheckFunction(stage.portion[i].function, stage.portion[i].designator);
    for (int i = written; i < 2; ++i) {
        stage.portion[i].function = DefaultFunction(stage.portion[i].designator);
        stage.portion[i].scaleBias = 0;
    }
}

RC10Stage DefaultStage() {
    RC10Stage stage{};
    stage.portionCount = 2;
    stage.portion[0] = RC10Portion{kRgbPortion, DefaultFunction(kRgbPortion), 0};
    stage.portion[1] = RC10Portion{kAlphaPortion, DefaultFunction(kAlphaPortion), 0};
    return stage;
}

// Each global constant the stage does not define itself becomes one of its local constants.
void SpreadGlobals(RC10Stage& stage, const RC10Program& program) {
    for (int g = 0; g < program.globalConstCount; ++g) {
        const RC10ConstColor& global = program.globalConst[g];
        bool defined = false;
        for (int l = 0; l < stage.localConstCount; ++l) {
            defined = defined || stage.localConst[l].reg.Enum() == global.reg.Enum();
        }
        if (!defined && stage.localConstCount < 2)
            stage.localConst[stage.localConstCount++] = global;
    }
}

void CheckStages(RC10Program& program) {
    RC10Stages& stages = program.stages;
    GLint maximum = 0;
    glGetIntegerv(GL_MAX_GENERAL_COMBINERS_NV, &maximum);
    if (stages.count > maximum) {
        char text[96];
        std::snprintf(text, sizeof text, "%d general combiners specified, only %d supported",
                      static_cast<int>(stages.count), static_cast<int>(maximum));
        parseErrors.Add(text);
        stages.count = std::max(0, static_cast<int>(maximum));
    }
    if (stages.count == 0) {
        stages.stage[0] = DefaultStage();
        stages.count = 1;
    }
    stages.localConstTotal = 0;
    for (int i = 0; i < stages.count; ++i)
        stages.localConstTotal += stages.stage[i].localConstCount;
    if (stages.localConstTotal > 0) {
        if (!PerStageConstants()) {
            parseErrors.Add("local constant(s) specified, but not supported -- ignored");
        } else {
            for (int i = 0; i < stages.count; ++i) SpreadGlobals(stages.stage[i], program);
        }
    }
    for (int i = 0; i < stages.count; ++i) CheckStage(stages.stage[i]);
}

void CheckFinal(RC10Final& f) {
    if (f.product) {
        if (IsFinalOnlyName(f.e) || IsFinalOnlyName(f.f)) {
            parseErrors.Add("invalid input register for final_product");
        }
        if (f.e.reg.Channel() == kRC10Blue || f.f.reg.Channel() == kRC10Blue) {
            parseErrors.Add("blue register used in final_product");
        }
    }
    if (IsFinalOnlyName(f.g)) parseErrors.Add("invalid input register for final alpha");
    if (f.g.reg.Channel() == kRC10Rgb) parseErrors.Add("rgb register used in final alpha");

    // Input A may not be color_sum: A*1 + D equals D*1 + A, and A*B is symmetric when C is zero.
    // The A/D exchange is tried first: an A/B exchange would take color_sum out of A whenever
    // B is the one-input, leaving the A/D exchange no case of its own.
    const GLenum colorSum = GL_SPARE0_PLUS_SECONDARY_COLOR_NV;
    if (Names(f.a, colorSum) && IsOneInput(f.b) && IsZeroInput(f.c) && !Names(f.d, colorSum)) {
        std::swap(f.a, f.d);
    }
    if (Names(f.a, colorSum) && !Names(f.b, colorSum) && IsZeroInput(f.c)) std::swap(f.a, f.b);

    RC10MappedInput* rgb[] = {&f.a, &f.b, &f.c, &f.d};
    bool invalid = Names(f.a, colorSum);
    bool blue = false, productUsed = false;
    for (RC10MappedInput* in : rgb) {
        invalid = invalid || Names(*in, GL_DISCARD_NV);
        blue = blue || in->reg.Channel() == kRC10Blue;
        productUsed = productUsed || Names(*in, GL_E_TIMES_F_NV);
    }
    if (invalid) parseErrors.Add("invalid input register for final rgb");
    if (blue) parseErrors.Add("blue register used in final rgb");
    if (productUsed && !f.product) parseErrors.Add("final_product used but not set");

    for (RC10MappedInput* in : {&f.a, &f.b, &f.c, &f.d, &f.e, &f.f}) {
        if (in->reg.Channel() == kRC10NoChannel) in->reg.SetChannel(kRC10Rgb);
    }
    if (f.g.reg.Channel() == kRC10NoChannel) f.g.reg.SetChannel(kRC10Alpha);
}

GLenum ComponentUsage(const RC10Register& reg) {
    switch (reg.Channel()) {
        case kRC10Rgb:
            return GL_RGB;
        case kRC10Alpha:
            return GL_ALPHA;
        default:
            return GL_BLUE;
    }
}

void InvokePortion(int stageIndex, const RC10Portion& portion) {
    const GLenum stage = GL_COMBINER0_NV + stageIndex;
    const GLenum glPortion = portion.designator == kAlphaPortion ? GL_ALPHA : GL_RGB;
    const RC10Op* op = portion.function.op;
    const RC10MappedInput* inputs[] = {&op[0].a, &op[0].b, &op[1].a, &op[1].b};
    for (int v = 0; v < 4; ++v) {
        const RC10MappedInput& in = *inputs[v];
        glext::glCombinerInputNV(stage, glPortion, GL_VARIABLE_A_NV + v, in.reg.Enum(), in.mapping,
                                 ComponentUsage(in.reg));
    }
    glext::glCombinerOutputNV(stage, glPortion, op[0].dest.Enum(), op[1].dest.Enum(),
                              op[2].dest.Enum(), portion.scaleBias >> 16,
                              portion.scaleBias & 0xFFFFu, op[0].kind == kRC10Dot,
                              op[1].kind == kRC10Dot, op[2].kind == kRC10Mux);
}

bool CombinerEntryPointsLoaded() {
    return glext::glCombinerParameterfvNV != nullptr && glext::glCombinerParameteriNV != nullptr &&
           glext::glCombinerInputNV != nullptr && glext::glCombinerOutputNV != nullptr &&
           glext::glFinalCombinerInputNV != nullptr;
}

}  // namespace

RC10MappedInput RC10ZeroInput() {
    return RC10MappedInput{GL_UNSIGNED_IDENTITY_NV,
                           MakeRC10Register(GL_ZERO, kRC10NoChannel, RC10Register::kReadOnly)};
}

RC10MappedInput RC10OneInput() {
    return RC10MappedInput{GL_UNSIGNED_INVERT_NV,
                           MakeRC10Register(GL_ZERO, kRC10NoChannel, RC10Register::kReadOnly)};
}

RC10Program EmptyRC10Program() {
    RC10Program program{};
    RC10Final& f = program.finalCombiner;
    f.a = f.b = f.c = f.d = f.e = f.f = f.g = RC10ZeroInput();
    return program;
}

void Validate(RC10Program& program) {
    if (SameConstTwice(program.globalConst, program.globalConstCount)) {
        parseErrors.Add("global constant set twice");
    }
    CheckStages(program);
    CheckFinal(program.finalCombiner);
}

void Invoke(const RC10Program& program) {
    // The parse entry loads these before any text is parsed; a GL that offered only part of
    // them must not be called through an empty slot.
    if (!CombinerEntryPointsLoaded()) {
        parseErrors.Add("register combiner entry points not loaded -- no set-up");
        return;
    }
    for (int i = 0; i < program.globalConstCount; ++i) {
        const RC10ConstColor& c = program.globalConst[i];
        glext::glCombinerParameterfvNV(c.reg.Enum(), c.values);
    }
    const RC10Stages& stages = program.stages;
    glext::glCombinerParameteriNV(GL_NUM_GENERAL_COMBINERS_NV, stages.count);
    for (int i = 0; i < stages.count; ++i) {
        const RC10Stage& stage = stages.stage[i];
        if (PerStageConstants()) {
            for (int k = 0; k < stage.localConstCount; ++k) {
                const RC10ConstColor& c = stage.localConst[k];
                glext::glCombinerStageParameterfvNV(GL_COMBINER0_NV + i, c.reg.Enum(), c.values);
            }
        }
        InvokePortion(i, stage.portion[0]);
        InvokePortion(i, stage.portion[1]);
    }
    if (PerStageConstants()) {
        if (stages.localConstTotal > 0) {
            glEnable(GL_PER_STAGE_CONSTANTS_NV);
        } else {
            glDisable(GL_PER_STAGE_CONSTANTS_NV);
        }
    }
    const RC10Final& f = program.finalCombiner;
    glext::glCombinerParameteriNV(GL_COLOR_SUM_CLAMP_NV, f.clamp ? 1 : 0);
    const RC10MappedInput* inputs[] = {&f.a, &f.b, &f.c, &f.d, &f.e, &f.f, &f.g};
    for (int v = 0; v < 7; ++v) {
        const RC10MappedInput& in = *inputs[v];
        glext::glFinalCombinerInputNV(GL_VARIABLE_A_NV + v, in.reg.Enum(), in.mapping,
                                      ComponentUsage(in.reg));
    }
}
