// Macro table, parameter substitution, built-in register arithmetic and include loading.
#include "shaderparse/vs10/vs10_preprocessor.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include <string>

#include "platform/read_file.h"
#include "shaderparse/parse_state.h"
#include "shaderparse/vs10/vs10_scanner.h"

MACROENTRY* macroList = nullptr;

namespace {

// macroList by name, so that looking a name up does not walk the whole list. The keys are the
// entries' own names; both hold the same entries.
std::unordered_map<std::string_view, MACROENTRY*> macroIndex;

long allocationsLeft = -1;  // negative: no injected failures
// Characters of include text read for the current program text: however they nest or repeat,
// its include files cannot take more than one program text's worth of memory together.
size_t includeBytesRead = 0;

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Bounded writer into a fixed buffer; remembers when something did not fit.
class LineWriter {
  public:
    LineWriter(char* out, size_t capacity) : out_(out), capacity_(capacity) { out_[0] = '\0'; }
    void Put(const char* text, size_t length) {
        if (length > capacity_ - used_) {
            overrun_ = true;
            length = capacity_ - used_;
        }
        std::memcpy(out_ + used_, text, length);
        used_ += length;
        out_[used_] = '\0';
    }
    void Put(const char* text) { Put(text, std::strlen(text)); }
    bool Overrun() const { return overrun_; }

  private:
    char* out_;
    size_t capacity_;  // characters, without the terminating zero
    size_t used_ = 0;
    bool overrun_ = false;
};

const char* ArgumentAt(const MACROENTRY* invocation, unsigned index) {
    const StringNode* node = invocation->firstParam;
    for (unsigned i = 0; node != nullptr && i < index; ++i) {
        node = node->next;
    }
    return node != nullptr ? node->text : "";
}

// Decimal value of the digits at text, saturated to the range of long long.
long long DecimalValue(const char* text) { return std::strtoll(text, nullptr, 10); }

long long SaturatingApply(long long a, char op, long long b) {
    long long result;
    bool overflow =
        op == '+' ? __builtin_add_overflow(a, b, &result) : __builtin_sub_overflow(a, b, &result);
    if (overflow) {
        return (op == '+') == (b > 0) ? LLONG_MAX : LLONG_MIN;
    }
    return result;
}

enum class Builtin { None, Inc, Dec, Add, Sub };

const char* BuiltinName(Builtin b) {
    switch (b) {
        case Builtin::Inc:
            return "%inc()";
        case Builtin::Dec:
            return "%dec()";
        case Builtin::Add:
            return "%add()";
        case Builtin::Sub:
            return "%sub()";
        default:
            return "";
    }
}

// Substitution for #define bodies: whole names equal to a parameter are replaced.
void SubstituteNames(const char* line, const MACROENTRY* definition, const MACROENTRY* invocation,
                     LineWriter& out) {
    const char* p = line;
    while (*p != '\0') {
        if (!IsNameChar(*p)) {
            out.Put(p, 1);
            ++p;
            continue;
        }
        const char* end = p;
        while (IsNameChar(*end)) {
            ++end;
        }
        size_t length = static_cast<size_t>(end - p);
        const char* replacement = nullptr;
        unsigned index = 0;
        for (const StringNode* n = definition->firstParam; n != nullptr; n = n->next, ++index) {
            if (std::strlen(n->text) == length && std::memcmp(n->text, p, length) == 0) {
                replacement = ArgumentAt(invocation, index);
                break;
            }
        }
        if (replacement != nullptr) {
            out.Put(replacement);
        } else {
            out.Put(p, length);
        }
        p = end;
    }
}

// Splits text[0, length) at commas; returns the number of pieces and the bounds of the second.
int SplitAtCommas(const char* text, size_t length, size_t* secondStart, size_t* secondEnd) {
    int pieces = 1;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] != ',') {
            continue;
        }
        ++pieces;
        if (pieces == 2) {
            *secondStart = i + 1;
            *secondEnd = length;
        } else if (pieces == 3) {
            *secondEnd = i;
        }
    }
    return pieces;
}

// Length of the rest of a built-in call up to the parenthesis that closes it (the call's
// opening parenthesis is already behind); *closed tells whether that parenthesis exists.
size_t CallLength(const char* rest, bool* closed) {
    int depth = 1;
    size_t i = 0;
    for (; rest[i] != '\0'; ++i) {
        if (rest[i] == '(') {
            ++depth;
        } else if (rest[i] == ')' && --depth == 0) {
            break;
        }
    }
    *closed = rest[i] == ')';
    return i;
}

// Inserts the argument of a parameter into out, transformed by a pending built-in. rest is the
// text after the parameter reference; returns how many of its characters the built-in's call
// takes along (the amount and the closing parenthesis), which are not copied.
size_t InsertArgument(const char* argument, Builtin pending, const char* rest, LineWriter& out,
                      size_t* keptBeforeClose) {
    char result[kMaxBuiltinText + 1];
    bool closed = false;
    size_t callLength = CallLength(rest, &closed);
    if (pending == Builtin::Inc || pending == Builtin::Dec) {
        bool ok = ApplyRegisterOffset(argument, pending == Builtin::Inc ? '+' : '-', "1",
                                      BuiltinName(pending), result);
        out.Put(ok ? result : argument);
        // Text between the parameter and the closing parenthesis stays (`%inc(%a.x)`).
        *keptBeforeClose = closed ? callLength : SIZE_MAX;
        return 0;
    }
    if (pending != Builtin::Add && pending != Builtin::Sub) {
        out.Put(argument);
        return 0;
    }
    if (callLength > kMaxBuiltinText) {
        VS10Error("%s", "Out of Temporary string replacement memory inside builtin macro %add()\n");
        out.Put(argument);
        return 0;
    }
    if (!closed) {
        VS10Warning("Ending parenthesis not found for macro %s.\n", BuiltinName(pending));
    }
    size_t secondStart = 0;
    size_t secondEnd = 0;
    if (SplitAtCommas(rest, callLength, &secondStart, &secondEnd) < 2) {
        VS10Error("Two parameters are required for %s macro\n", BuiltinName(pending));
        out.Put(argument);
        return 0;
    }
    char amount[kMaxBuiltinText + 1];
    std::memcpy(amount, rest + secondStart, secondEnd - secondStart);
    amount[secondEnd - secondStart] = '\0';
    bool ok = ApplyRegisterOffset(argument, pending == Builtin::Add ? '+' : '-', amount,
                                  BuiltinName(pending), result);
    out.Put(ok ? result : argument);
    return closed ? callLength + 1 : callLength;
}

// Substitution for macro ... endm bodies: %name references and the built-ins.
void SubstitutePercent(const char* line, const MACROENTRY* definition, const MACROENTRY* invocation,
                       LineWriter& out) {
    static const struct {
        const char* text;
        Builtin builtin;
    } kBuiltins[] = {{"inc(", Builtin::Inc},
                     {"dec(", Builtin::Dec},
                     {"add(", Builtin::Add},
                     {"sub(", Builtin::Sub}};
    Builtin pending = Builtin::None;
    size_t skipParen = SIZE_MAX;  // offset of a ')' that an %inc/%dec call consumes
    size_t i = 0;
    while (line[i] != '\0') {
        if (i == skipParen) {
            skipParen = SIZE_MAX;
            ++i;
            continue;
        }
        if (line[i] != '%') {
            out.Put(line + i, 1);
            ++i;
            continue;
        }
        ++i;
        const char* rest = line + i;
        unsigned index = 0;
        const StringNode* param = definition->firstParam;
        for (; param != nullptr; param = param->next, ++index) {
            size_t length = std::strlen(param->text);
            if (length > 0 && std::strncmp(rest, param->text, length) == 0) {
                break;
            }
        }
        if (param != nullptr) {
            i += std::strlen(param->text);
            size_t paren = SIZE_MAX;
            i += InsertArgument(ArgumentAt(invocation, index), pending, line + i, out, &paren);
            if (paren != SIZE_MAX) {
                skipParen = i + paren;
            }
            pending = Builtin::None;
            continue;
        }
        for (const auto& b : kBuiltins) {
            if (std::strncmp(rest, b.text, 4) == 0) {
                pending = b.builtin;
                i += 4;
                break;
            }
        }
        // A '%' that starts neither is dropped.
    }
}

}  // namespace

void* VS10Alloc(size_t size) {
    if (allocationsLeft == 0) {
        return nullptr;
    }
    if (allocationsLeft > 0) {
        --allocationsLeft;
    }
    return std::malloc(size);
}

void VS10FailAllocationsAfter(long n) { allocationsLeft = n < 0 ? -1 : n; }

char* VS10CopyText(const char* text, size_t length) {
    char* copy = static_cast<char*>(VS10Alloc(length + 1));
    if (copy != nullptr) {
        std::memcpy(copy, text, length);
        copy[length] = '\0';
    }
    return copy;
}

bool AppendString(StringNode** first, StringNode** last, const char* text, size_t length) {
    StringNode* node = static_cast<StringNode*>(VS10Alloc(sizeof(StringNode)));
    if (node == nullptr) {
        return false;
    }
    node->text = VS10CopyText(text, length);
    if (node->text == nullptr) {
        std::free(node);
        return false;
    }
    node->next = nullptr;
    node->prev = *last;
    if (*last != nullptr) {
        (*last)->next = node;
    } else {
        *first = node;
    }
    *last = node;
    return true;
}

void ReleaseStringList(StringNode* first) {
    while (first != nullptr) {
        StringNode* next = first->next;
        std::free(first->text);
        std::free(first);
        first = next;
    }
}

void ReleaseMacroEntry(MACROENTRY* entry) {
    if (entry == nullptr) {
        return;
    }
    std::free(entry->name);
    ReleaseStringList(entry->firstParam);
    ReleaseStringList(entry->firstLine);
    std::free(entry->definingFile);
    std::free(entry);
}

MACROENTRY* FindMacro(const char* name, size_t length) {
    auto found = macroIndex.find(std::string_view(name, length));
    return found != macroIndex.end() ? found->second : nullptr;
}

void LinkMacro(MACROENTRY* entry) {
    entry->older = macroList;
    entry->newer = nullptr;
    if (macroList != nullptr) {
        macroList->newer = entry;
    }
    macroList = entry;
    macroIndex[entry->name] = entry;
}

void ReleaseAllMacros() {
    macroIndex.clear();
    while (macroList != nullptr) {
        MACROENTRY* older = macroList->older;
        ReleaseMacroEntry(macroList);
        macroList = older;
    }
}

bool SubstituteParams(const char* line, const MACROENTRY* definition, const MACROENTRY* invocation,
                      char* out) {
    LineWriter writer(out, kMaxExpansionLine);
    if (definition->isDefine) {
        SubstituteNames(line, definition, invocation, writer);
    } else {
        SubstitutePercent(line, definition, invocation, writer);
    }
    return !writer.Overrun();
}

bool ApplyRegisterOffset(const char* R, char op, const char* n, const char* builtin, char* out) {
    // The amount is used without the blanks around it.
    while (*n == ' ' || *n == '\t') {
        ++n;
    }
    size_t nLength = std::strlen(n);
    while (nLength > 0 && (n[nLength - 1] == ' ' || n[nLength - 1] == '\t')) {
        --nLength;
    }
    const int nWidth = static_cast<int>(nLength);
    const int size = static_cast<int>(kMaxBuiltinText + 1);
    int written;
    const char* close = std::strrchr(R, ']');
    if (close == nullptr) {
        close = std::strrchr(R, ')');
    }
    const char* digits = std::strpbrk(R, "0123456789");
    if (close != nullptr) {
        // c[a0.x+4] + 1 -> c[a0.x+4+1]
        written = std::snprintf(out, size, "%.*s%c%.*s%s", static_cast<int>(close - R), R, op,
                                nWidth, n, close);
    } else if (digits != nullptr) {
        // r3 + 1 -> r4: the first run of digits takes the new value.
        const char* end = digits;
        while (std::isdigit(static_cast<unsigned char>(*end))) {
            ++end;
        }
        char amount[kMaxBuiltinText + 1];
        std::snprintf(amount, sizeof amount, "%.*s", nWidth, n);
        long long value = SaturatingApply(DecimalValue(digits), op, DecimalValue(amount));
        written =
            std::snprintf(out, size, "%.*s%lld%s", static_cast<int>(digits - R), R, value, end);
    } else {
        written = std::snprintf(out, size, "%s%c%.*s", R, op, nWidth, n);
    }
    if (written < 0 || written >= size) {
        VS10Error("Out of Temporary string replacement memory inside builtin macro %s\n", builtin);
        return false;
    }
    return true;
}

char* LoadIncludeText(const char* name) {
    static const char* const includeSearchPaths[] = {".", "../../data/programs",
                                                     "../../../data/programs"};
    char path[kMaxIncludeName + 64];
    std::string bytes;
    platform::ReadResult result;
    for (const char* dir : includeSearchPaths) {
        std::snprintf(path, sizeof path, "%s/%s", dir, name);
        result = platform::ReadRegularFile(path, kMaxProgramTextBytes, bytes);
        // Directories, FIFOs and devices hold no program text: passed over like missing files.
        if (result.status != platform::ReadStatus::CannotOpen &&
            result.status != platform::ReadStatus::NotRegular) {
            break;
        }
    }
    switch (result.status) {
        case platform::ReadStatus::Ok:
            break;
        case platform::ReadStatus::CannotOpen:
        case platform::ReadStatus::NotRegular:
            std::fprintf(stderr, "Cannot open \"%s\" for stat read!\n", name);
            return nullptr;
        case platform::ReadStatus::StatFailed:
            std::fprintf(stderr, "An fstat error occurred.\n");
            std::fprintf(stderr, "Cannot open \"%s\" for stat read!\n", name);
            return nullptr;
        case platform::ReadStatus::TooLarge:
            std::fprintf(stderr, "Include file \"%s\" is larger than %zu bytes.\n", path,
                         kMaxProgramTextBytes);
            return nullptr;
        case platform::ReadStatus::ReadFailed:
            std::fprintf(stderr, "Cannot open \"%s\" for read!\n", path);
            return nullptr;
    }
    // The scanner stops at the first zero byte: nothing after it is kept.
    const size_t length = std::strlen(bytes.c_str());
    if (length > kMaxProgramTextBytes - includeBytesRead) {
        std::fprintf(stderr,
                     "Include file \"%s\" not read: the include files of one program text hold at "
                     "most %zu bytes together.\n",
                     path, kMaxProgramTextBytes);
        return nullptr;
    }
    char* text = VS10CopyText(bytes.data(), length);
    if (text != nullptr) {
        includeBytesRead += length;
    }
    return text;
}

void ResetIncludeBudget() { includeBytesRead = 0; }
