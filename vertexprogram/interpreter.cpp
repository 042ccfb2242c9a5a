#include "vertexprogram/interpreter.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace vertexprogram {
namespace {

// Zero times anything (also infinity and NaN) is +0.
float Mul(float a, float b) { return a == 0.0f || b == 0.0f ? 0.0f : a * b; }

// The comparison order of SLT, SGE, MIN and MAX: -NaN < -Inf < ... < -0 < +0 < ... < +Inf < +NaN.
int64_t OrderKey(float f) {
    int32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits < 0 ? int64_t(INT32_MIN) - bits - 1 : bits;
}
bool Less(float a, float b) { return OrderKey(a) < OrderKey(b); }

// ARL's floor, clamped to a range that keeps every relative read as far out of range as the
// unclamped value would (offsets are -64..63, registers 0..95).
int AddressOf(float x) {
    if (std::isnan(x)) return 160;
    const float f = std::floor(x);
    return f < -64.0f ? -64 : f > 160.0f ? 160 : static_cast<int>(f);
}

struct Machine {
    const Vec4* attributes;
    Vec4* parameters;
    Vec4* results;  // null in a state program
    Vec4 temporaries[kTemporaryRegisters] = {};
    int address = 0;

    Vec4 Fetch(const Source& s) const {
        Vec4 reg = {0, 0, 0, 0};
        switch (s.file) {
            case File::Attribute:
                reg = attributes[s.index];
                break;
            case File::Temporary:
                reg = temporaries[s.index];
                break;
            case File::Parameter: {
                const int index = s.relative ? address + s.index : s.index;
                if (index >= 0 && index < kParameterRegisters) reg = parameters[index];
                break;
            }
            case File::Result:
                break;
        }
        Vec4 out;
        for (int i = 0; i < 4; ++i) {
            out[i] = reg[s.swizzle[i]];
            if (s.negate) out[i] = -out[i];
        }
        return out;
    }

    void Store(const Destination& d, const Vec4& value) {
        Vec4* target = d.file == File::Temporary ? &temporaries[d.index]
                       : d.file == File::Result  ? &results[d.index]
                                                 : &parameters[d.index];
        for (int i = 0; i < 4; ++i)
            if (d.mask & (1 << i)) (*target)[i] = value[i];
    }

    void Execute(const Instruction& ins) {
        Vec4 t = ins.sources > 0 ? Fetch(ins.src[0]) : Vec4{};
        Vec4 u = ins.sources > 1 ? Fetch(ins.src[1]) : Vec4{};
        Vec4 v = ins.sources > 2 ? Fetch(ins.src[2]) : Vec4{};
        Vec4 r = {0, 0, 0, 0};
        auto each = [&](auto f) {
            for (int i = 0; i < 4; ++i) r[i] = f(t[i], u[i], v[i]);
        };
        auto all = [&](float x) { r = {x, x, x, x}; };
        switch (ins.op) {
            case Opcode::ARL:
                address = AddressOf(t[0]);
                return;
            case Opcode::MOV:
                r = t;
                break;
            case Opcode::LIT:
                r = LightCoefficients(t);
                break;
            case Opcode::RCP:
                all(Reciprocal(t[0]));
                break;
            case Opcode::RSQ:
                all(ReciprocalSquareRoot(t[0]));
                break;
            case Opcode::EXP:
                r = Exponential(t[0]);
                break;
            case Opcode::LOG:
                r = Logarithm(t[0]);
                break;
            case Opcode::MUL:
                each([](float a, float b, float) { return Mul(a, b); });
                break;
            case Opcode::ADD:
                each([](float a, float b, float) { return a + b; });
                break;
            case Opcode::MAD:
                each([](float a, float b, float c) { return Mul(a, b) + c; });
                break;
            case Opcode::MIN:
                each([](float a, float b, float) { return Less(a, b) ? a : b; });
                break;
            case Opcode::MAX:
                each([](float a, float b, float) { return Less(a, b) ? b : a; });
                break;
            case Opcode::SLT:
                each([](float a, float b, float) { return Less(a, b) ? 1.0f : 0.0f; });
                break;
            case Opcode::SGE:
                each([](float a, float b, float) { return Less(a, b) ? 0.0f : 1.0f; });
                break;
            case Opcode::DP3:
                all(Mul(t[0], u[0]) + Mul(t[1], u[1]) + Mul(t[2], u[2]));
                break;
            case Opcode::DP4:
                all(Mul(t[0], u[0]) + Mul(t[1], u[1]) + Mul(t[2], u[2]) + Mul(t[3], u[3]));
                break;
            case Opcode::DST:
                r = {1.0f, Mul(t[1], u[1]), t[2], u[3]};
                break;
        }
        Store(ins.dst, r);
    }
};

}  // namespace

float Reciprocal(float x) { return x == 1.0f ? 1.0f : 1.0f / x; }

float ReciprocalSquareRoot(float x) { return 1.0f / std::sqrt(std::fabs(x)); }

Vec4 Exponential(float x) {
    const float whole = std::floor(x);
    if (std::isinf(x) || std::isnan(x)) {
        return x < 0 ? Vec4{0, 0, 0, 1} : Vec4{INFINITY, 0, INFINITY, 1};
    }
    const float power = std::ldexp(1.0f, static_cast<int>(std::fmax(std::fmin(whole, 200), -200)));
    const float fraction = x - whole;
    return {power, fraction, power * std::exp2(fraction), 1.0f};
}

Vec4 Logarithm(float x) {
    const float a = std::fabs(x);
    if (a == 0.0f) return {-INFINITY, 1.0f, -INFINITY, 1.0f};
    if (std::isinf(a) || std::isnan(a)) return {INFINITY, 1.0f, INFINITY, 1.0f};
    int exponent = 0;
    const float mantissa = std::frexp(a, &exponent) * 2.0f;  // in [1, 2)
    const float e = static_cast<float>(exponent - 1);
    return {e, mantissa, e + std::log2(mantissa), 1.0f};
}

Vec4 LightCoefficients(const Vec4& t) {
    constexpr float kPowerLimit = 128.0f - 1.0f / 256.0f;
    const float x = t[0] < 0.0f ? 0.0f : t[0];
    const float y = t[1] < 0.0f ? 0.0f : t[1];
    const float w = std::fmax(-kPowerLimit, std::fmin(kPowerLimit, t[3]));
    const float specular = x > 0.0f ? Exponential(Mul(w, Logarithm(y)[2]))[2] : 0.0f;
    return {1.0f, x, specular, 1.0f};
}

void RunVertexProgram(const Program& program, Registers& registers) {
    for (Vec4& r : registers.results) r = {0, 0, 0, 1};
    Machine m{registers.attributes, registers.parameters, registers.results};
    for (const Instruction& ins : program.code) m.Execute(ins);
}

void RunStateProgram(const Program& program, const Vec4& input,
                     Vec4 (&parameters)[kParameterRegisters]) {
    Vec4 attributes[kAttributeRegisters] = {};
    attributes[0] = input;
    Machine m{attributes, parameters, nullptr};
    for (const Instruction& ins : program.code) m.Execute(ins);
}

}  // namespace vertexprogram
