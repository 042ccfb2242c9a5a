// Checks vertex program (!!VP1.0) and vertex state program (!!VSP1.0) texts the way a driver does
// on glLoadProgramNV: a small scanner and a recursive-descent parser that stop at the first token
// breaking the language and report its byte offset.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include "recgl/recording_gl.h"

namespace recgl {
namespace {

constexpr size_t kMaxInstructions = 128;
constexpr int kParamRegisters = 96;
constexpr int kTempRegisters = 12;

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
    enum File { Attribute, Parameter, Temporary } file;
    bool relative = false;
    int index = 0;
    long pos = 0;
    bool operator<(const SourceRegister& o) const {
        return std::tie(file, relative, index) < std::tie(o.file, o.relative, o.index);
    }
};

class Checker {
  public:
    Checker(std::string_view text, bool stateProgram, size_t headerLength)
        : text_(text), stateProgram_(stateProgram), scanner_(text, headerLength) {
        Advance();
    }

    void Program() {
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
        static const char* const kSwizzleOps[] = {"MOV", "LIT"};
        static const char* const kScalarOps[] = {"RCP", "RSQ", "EXP", "LOG"};
        static const char* const kBinaryOps[] = {"MUL", "ADD", "DP3", "DP4", "DST",
                                                 "MIN", "MAX", "SLT", "SGE"};
        Operands reads;
        if (IsWord("ARL")) {
            Advance();
            ExpectWord("A0");
            Expect(".");
            ExpectWord("x");
            Expect(",");
            ScalarSource(reads);
        } else if (IsOneOf(kSwizzleOps)) {
            Advance();
            MaskedDestination();
            Expect(",");
            SwizzleSource(reads);
        } else if (IsOneOf(kScalarOps)) {
            Advance();
            MaskedDestination();
            Expect(",");
            ScalarSource(reads);
        } else if (IsOneOf(kBinaryOps)) {
            Advance();
            MaskedDestination();
            Expect(",");
            SwizzleSource(reads);
            Expect(",");
            SwizzleSource(reads);
        } else if (IsWord("MAD")) {
            Advance();
            MaskedDestination();
            for (int i = 0; i < 3; ++i) {
                Expect(",");
                SwizzleSource(reads);
            }
        } else {
            Fail();
        }
        Expect(";");
    }

    void MaskedDestination() {
        if (IsWord("o") && !stateProgram_) {
            Advance();
            Expect("[");
            static const char* const kResults[] = {"HPOS", "COL0", "COL1", "BFC0", "BFC1",
                                                   "FOGC", "PSIZ", "TEX0", "TEX1", "TEX2",
                                                   "TEX3", "TEX4", "TEX5", "TEX6", "TEX7"};
            if (!IsOneOf(kResults)) Fail();
            const bool position = token_.text == "HPOS";
            Advance();
            Expect("]");
            if (position) writesPosition_ = true;
        } else if (IsWord("c") && stateProgram_) {
            Advance();
            Expect("[");
            ExpectNumber(0, kParamRegisters - 1);
            Expect("]");
            writesParameter_ = true;
        } else if (TemporaryIndex() < 0) {
            Fail();
        } else {
            Advance();
        }
        if (!IsPunct(".")) return;
        Advance();
        // A non-empty subset of x, y, z, w in that order.
        static constexpr std::string_view kOrder = "xyzw";
        if (token_.kind != Token::Word || token_.text.size() > 4) Fail();
        size_t next = 0;
        for (char c : token_.text) {
            size_t at = kOrder.find(c, next);
            if (at == std::string_view::npos) Fail();
            next = at + 1;
        }
        Advance();
    }

    void ScalarSource(Operands& reads) {
        if (IsPunct("-")) Advance();
        SourceRegisterOperand(reads);
        Expect(".");
        if (!IsComponents(1)) Fail();
        Advance();
    }

    void SwizzleSource(Operands& reads) {
        if (IsPunct("-")) Advance();
        SourceRegisterOperand(reads);
        if (!IsPunct(".")) return;
        Advance();
        if (!IsComponents(1) && !IsComponents(4)) Fail();
        Advance();
    }

    void SourceRegisterOperand(Operands& reads) {
        SourceRegister reg{SourceRegister::Temporary, false, 0, token_.pos};
        if (IsWord("v")) {
            Advance();
            Expect("[");
            reg.file = SourceRegister::Attribute;
            reg.index = AttributeIndex();
            Expect("]");
            if (stateProgram_ && reg.index != 0) throw Rejected{reg.pos};
        } else if (IsWord("c")) {
            Advance();
            Expect("[");
            reg.file = SourceRegister::Parameter;
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
        if (reg.file == SourceRegister::Temporary) return;
        // One distinct attribute and one distinct parameter register per instruction.
        reads.insert(reg);
        int sameFile = 0;
        for (const SourceRegister& r : reads) sameFile += r.file == reg.file;
        if (sameFile > 1) throw Rejected{reg.pos};
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

    template <size_t N>
    bool IsOneOf(const char* const (&words)[N]) const {
        return std::any_of(words, words + N, [this](const char* w) { return IsWord(w); });
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
    bool writesPosition_ = false;
    bool writesParameter_ = false;
};

}  // namespace

long CheckVertexProgram(const char* text, size_t length, bool* stateProgram) {
    std::string_view source(text ? text : "", text ? length : 0);
    static constexpr std::string_view kVertex = "!!VP1.0", kState = "!!VSP1.0";
    bool state = source.substr(0, kState.size()) == kState;
    if (stateProgram) *stateProgram = state;
    if (!state && source.substr(0, kVertex.size()) != kVertex) return 0;
    try {
        Checker(source, state, state ? kState.size() : kVertex.size()).Program();
    } catch (const Rejected& r) {
        return r.pos;
    }
    return -1;
}

}  // namespace recgl
