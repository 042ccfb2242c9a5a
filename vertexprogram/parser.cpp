// Checks vertex program (!!VP1.0) and vertex state program (!!VSP1.0) texts the way a driver does
// on glLoadProgramNV: a small scanner and a recursive-descent parser that stop at the first token
// breaking the language and report its byte offset, and otherwise hand back the instructions.
#include "vertexprogram/program.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

namespace vertexprogram {
namespace {

constexpr int kParamRegisters = kParameterRegisters;
constexpr int kTempRegisters = kTemporaryRegisters;

struct Token {
    enum Kind { Word, Number, Punct, Bad, EndOfText } kind = EndOfText;
    std::string_view text;
    long pos = 0;
};

// Thrown to stop the check at the first offending position.
struct Rejected {
    long pos;
};

class Scanner {
  public:
    Scanner(std::string_view text, size_t start) : text_(text), at_(start) {}

    Token Next() {
        SkipBlanksAndComments();
        Token t;
        t.pos = static_cast<long>(at_);
        if (at_ >= text_.size()) return t;
        const char c = text_[at_];
        size_t end = at_ + 1;
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            t.kind = Token::Word;
            while (end < text_.size() && IsWordChar(text_[end])) ++end;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            t.kind = Token::Number;
            while (end < text_.size() && std::isdigit(static_cast<unsigned char>(text_[end])))
                ++end;
        } else if (std::strchr(";,.[]+-", c) && c != '\0') {
            t.kind = Token::Punct;
        } else {
            t.kind = Token::Bad;
        }
        t.text = text_.substr(at_, end - at_);
        at_ = end;
        return t;
    }

  private:
    static bool IsWordChar(char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    }

    void SkipBlanksAndComments() {
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
                ++at_;
            } else if (c == '#') {
                while (at_ < text_.size() && text_[at_] != '\n' && text_[at_] != '\r') ++at_;
            } else {
                break;
            }
        }
    }

    std::string_view text_;
    size_t at_;
};

// A register read by a source operand, for the one-attribute / one-parameter rule.
struct SourceRegister {
    File file;
    bool relative = false;
    int index = 0;
    bool operator<(const SourceRegister& o) const {
        return std::tie(file, relative, index) < std::tie(o.file, o.relative, o.index);
    }
};

class Checker {
  public:
    Checker(std::string_view text, bool stateProgram, size_t headerLength,
            vertexprogram::Program& out)
        : text_(text), stateProgram_(stateProgram), scanner_(text, headerLength), out_(out) {
        Advance();
    }

    void Run() {
        size_t instructions = 0;
        while (!IsWord("END")) {
            Instruction();
            ++instructions;
        }
        Advance();
        if (token_.kind != Token::EndOfText) Fail();
        const long end = static_cast<long>(text_.size());
        if (instructions > kMaxInstructions) throw Rejected{end};
        if (!stateProgram_ && !writesPosition_) throw Rejected{end};
        if (stateProgram_ && !writesParameter_) throw Rejected{end};
    }

  private:
    using Operands = std::set<SourceRegister>;

    void Instruction() {
        struct Form {
            const char* name;
            Opcode op;
            bool scalar;  // the sources take one component
            int sources;
        };
        static const Form kForms[] = {
            {"ARL", Opcode::ARL, true, 1},  {"MOV", Opcode::MOV, false, 1},
            {"LIT", Opcode::LIT, false, 1}, {"RCP", Opcode::RCP, true, 1},
            {"RSQ", Opcode::RSQ, true, 1},  {"EXP", Opcode::EXP, true, 1},
            {"LOG", Opcode::LOG, true, 1},  {"MUL", Opcode::MUL, false, 2},
            {"ADD", Opcode::ADD, false, 2}, {"DP3", Opcode::DP3, false, 2},
            {"DP4", Opcode::DP4, false, 2}, {"DST", Opcode::DST, false, 2},
            {"MIN", Opcode::MIN, false, 2}, {"MAX", Opcode::MAX, false, 2},
            {"SLT", Opcode::SLT, false, 2}, {"SGE", Opcode::SGE, false, 2},
            {"MAD", Opcode::MAD, false, 3}};
        const Form* form = nullptr;
        for (const Form& f : kForms)
            if (IsWord(f.name)) form = &f;
        if (form == nullptr) Fail();
        Advance();
        vertexprogram::Instruction ins;
        ins.op = form->op;
        if (form->op == Opcode::ARL) {
            ExpectWord("A0");
            Expect(".");
            ExpectWord("x");
        } else {
            MaskedDestination(ins.dst);
        }
        Operands reads;
        for (int i = 0; i < form->sources; ++i) {
            Expect(",");
            Source& src = ins.src[ins.sources++];
            if (form->scalar)
                ScalarSource(reads, src);
            else
                SwizzleSource(reads, src);
        }
        Expect(";");
        out_.code.push_back(ins);
    }

    void MaskedDestination(Destination& dst) {
        if (IsWord("o") && !stateProgram_) {
            Advance();
            Expect("[");
            static const char* const kResults[] = {"HPOS", "COL0", "COL1", "BFC0", "BFC1",
                                                   "FOGC", "PSIZ", "TEX0", "TEX1", "TEX2",
                                                   "TEX3", "TEX4", "TEX5", "TEX6", "TEX7"};
            dst.file = File::Result;
            dst.index = IndexOf(kResults);
            if (dst.index < 0) Fail();
            const bool position = dst.index == HPOS;
            Advance();
            Expect("]");
            if (position) writesPosition_ = true;
        } else if (IsWord("c") && stateProgram_) {
            Advance();
            Expect("[");
            dst.file = File::Parameter;
            dst.index = ExpectNumber(0, kParamRegisters - 1);
            Expect("]");
            writesParameter_ = true;
        } else if ((dst.index = TemporaryIndex()) < 0) {
            Fail();
        } else {
            dst.file = File::Temporary;
            Advance();
        }
        if (!IsPunct(".")) return;
        Advance();
        // A non-empty subset of x, y, z, w in that order.
        static constexpr std::string_view kOrder = "xyzw";
        if (token_.kind != Token::Word || token_.text.size() > 4) Fail();
        size_t next = 0;
        dst.mask = 0;
        for (char c : token_.text) {
            size_t at = kOrder.find(c, next);
            if (at == std::string_view::npos) Fail();
            dst.mask |= static_cast<uint8_t>(1 << at);
            next = at + 1;
        }
        Advance();
    }

    void ScalarSource(Operands& reads, Source& src) {
        src.negate = IsPunct("-");
        if (src.negate) Advance();
        SourceRegisterOperand(reads, src);
        Expect(".");
        if (!IsComponents(1)) Fail();
        Swizzle(src);
    }

    void SwizzleSource(Operands& reads, Source& src) {
        src.negate = IsPunct("-");
        if (src.negate) Advance();
        SourceRegisterOperand(reads, src);
        if (!IsPunct(".")) return;
        Advance();
        if (!IsComponents(1) && !IsComponents(4)) Fail();
        Swizzle(src);
    }

    // The current token's components as the source's swizzle; one component is replicated.
    void Swizzle(Source& src) {
        static constexpr std::string_view kComponents = "xyzw";
        for (size_t i = 0; i < 4; ++i) {
            const char c = token_.text[token_.text.size() == 1 ? 0 : i];
            src.swizzle[i] = static_cast<uint8_t>(kComponents.find(c));
        }
        Advance();
    }

    void SourceRegisterOperand(Operands& reads, Source& src) {
        const long pos = token_.pos;
        SourceRegister reg{File::Temporary, false, 0};
        if (IsWord("v")) {
            Advance();
            Expect("[");
            reg.file = File::Attribute;
            reg.index = AttributeIndex();
            Expect("]");
            if (stateProgram_ && reg.index != 0) throw Rejected{pos};
        } else if (IsWord("c")) {
            Advance();
            Expect("[");
            reg.file = File::Parameter;
            if (IsWord("A0")) {
                Advance();
                Expect(".");
                ExpectWord("x");
                reg.relative = true;
                if (IsPunct("+")) {
                    Advance();
                    reg.index = ExpectNumber(0, 63);
                } else if (IsPunct("-")) {
                    Advance();
                    reg.index = -ExpectNumber(0, 64);
                }
            } else {
                reg.index = ExpectNumber(0, kParamRegisters - 1);
            }
            Expect("]");
        } else if ((reg.index = TemporaryIndex()) >= 0) {
            Advance();
        } else {
            Fail();
        }
        src.file = reg.file;
        src.relative = reg.relative;
        src.index = reg.index;
        if (reg.file == File::Temporary) return;
        // One distinct attribute and one distinct parameter register per instruction.
        reads.insert(reg);
        int sameFile = 0;
        for (const SourceRegister& r : reads) sameFile += r.file == reg.file;
        if (sameFile > 1) throw Rejected{pos};
    }

    int AttributeIndex() {
        static const char* const kNames[] = {"OPOS",  "WGHT",  "NRML", "COL0", "COL1", "FOGC",
                                             nullptr, nullptr, "TEX0", "TEX1", "TEX2", "TEX3",
                                             "TEX4",  "TEX5",  "TEX6", "TEX7"};
        if (token_.kind == Token::Number) return ExpectNumber(0, 15);
        for (int i = 0; i < 16; ++i) {
            if (kNames[i] && IsWord(kNames[i])) {
                Advance();
                return i;
            }
        }
        Fail();
    }

    // R0 .. R11 as the current token, or -1.
    int TemporaryIndex() const {
        if (token_.kind != Token::Word) return -1;
        for (int i = 0; i < kTempRegisters; ++i)
            if (token_.text == "R" + std::to_string(i)) return i;
        return -1;
    }

    // The current token is `count` components, each of x, y, z, w.
    bool IsComponents(size_t count) const {
        return token_.kind == Token::Word && token_.text.size() == count &&
               token_.text.find_first_not_of("xyzw") == std::string_view::npos;
    }

    int ExpectNumber(int low, int high) {
        if (token_.kind != Token::Number) Fail();
        long value = 0;
        for (char digit : token_.text) value = std::min(value * 10 + (digit - '0'), 1L << 20);
        if (value < low || value > high) Fail();
        Advance();
        return static_cast<int>(value);
    }

    // The position of the current word in `words`, or -1.
    template <size_t N>
    int IndexOf(const char* const (&words)[N]) const {
        for (size_t i = 0; i < N; ++i)
            if (IsWord(words[i])) return static_cast<int>(i);
        return -1;
    }
    bool IsWord(std::string_view w) const { return token_.kind == Token::Word && token_.text == w; }
    bool IsPunct(std::string_view p) const {
        return token_.kind == Token::Punct && token_.text == p;
    }
    void ExpectWord(std::string_view w) {
        if (!IsWord(w)) Fail();
        Advance();
    }
    void Expect(std::string_view p) {
        if (!IsPunct(p)) Fail();
        Advance();
    }
    [[noreturn]] void Fail() const { throw Rejected{token_.pos}; }
    void Advance() { token_ = scanner_.Next(); }

    std::string_view text_;
    bool stateProgram_;
    Scanner scanner_;
    Token token_;
    vertexprogram::Program& out_;
    bool writesPosition_ = false;
    bool writesParameter_ = false;
};

}  // namespace

long Parse(const char* text, size_t length, Program* program, bool* stateProgram) {
    std::string_view source(text ? text : "", text ? length : 0);
    static constexpr std::string_view kVertex = "!!VP1.0", kState = "!!VSP1.0";
    bool state = source.substr(0, kState.size()) == kState;
    if (stateProgram) *stateProgram = state;
    if (!state && source.substr(0, kVertex.size()) != kVertex) return 0;
    Program parsed;
    parsed.stateProgram = state;
    try {
        Checker(source, state, state ? kState.size() : kVertex.size(), parsed).Run();
    } catch (const Rejected& r) {
        return r.pos;
    }
    if (program) *program = std::move(parsed);
    return -1;
}

}  // namespace vertexprogram
