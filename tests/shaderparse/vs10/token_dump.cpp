// Token-dump driver for the vs.1.0 scanner tests.
#include "tests/shaderparse/vs10/token_dump.h"

#include <cstdlib>

#include "shaderparse/parse_state.h"
#include "shaderparse/vs10/vs10.h"
#include "shaderparse/vs10/vs10_fatal.h"
#include "shaderparse/vs10/vs10_scanner.h"

namespace {

bool throwOnFatalExit = false;
struct FatalExit { int status; };

const char* const kInstructionNames[] = {
    "ADD", "DP3", "DP4", "DST", "EXP", "EXPP", "FRC", "LIT", "LOG", "LOGP", "M3X2", "M3X3", "M3X4",
    "M4X3", "M4X4", "MAD", "MAX", "MIN", "MOV", "MUL", "NOP", "RCP", "RSQ", "SGE", "SLT", "SUB"};

// Formats the current token (the code just returned by VS10NextToken) and frees a COMMENT text.
std::string FormatToken(int code) {
    const VS10TokenValueType& v = VS10TokenValue;
    if (code >= vs10tok::ADD_INSTR && code <= vs10tok::SUB_INSTR) return kInstructionNames[code - vs10tok::ADD_INSTR];
    switch (code) {
    case vs10tok::VERTEX_SHADER: return "VS";
    case vs10tok::ILLEGAL: return "ILLEGAL";
    case vs10tok::UNKNOWN_STRING: return "UNKNOWN";
    case vs10tok::INTVAL: return "INT(" + std::to_string(v.intValue) + ")";
    case vs10tok::REGISTER: {
        const std::string type = std::to_string(v.reg.type);
        const bool noIndex = v.reg.type == 7 || v.reg.type == 10 || v.reg.type == 11;
        return "REG(" + type + (noIndex ? "" : "," + std::to_string(v.reg.index)) + ")";
    }
    case vs10tok::XYZW_MODIFIER: {
        std::string mask;
        for (char c : v.mask) mask += c != 0 ? c : '0';
        return "MASK(" + mask + ")";
    }
    case vs10tok::COMMENT: {
        std::string text = "COMMENT(";
        for (const char* c = v.text; *c != '\0'; ++c) text += *c == '\n' ? std::string("\\n") : std::string(1, *c);
        std::free(v.text);
        return text + ")";
    }
    case '\n': return "NL";
    default: return std::string("'") + static_cast<char>(code) + "'";
    }
}

void Scan(const char* text, bool withLines, ScanResult& result) {
    parseErrors.Clear();
    parseLineNumber = 1;
    result = ScanResult();
    VS10SetInput(text);
    for (;;) {
        parseLineNumber += pendingNewlines;
        pendingNewlines = 0;
        int code = VS10NextToken();
        if (code == vs10tok::END) break;
        result.tokens += (result.tokens.empty() ? "" : " ") + FormatToken(code);
        if (withLines) result.tokens += "@" + std::to_string(parseLineNumber);
    }
    result.finalLine = parseLineNumber + pendingNewlines;
    pendingNewlines = 0;
}

void CollectMessages(ScanResult& result) {
    for (char** m = parseErrors.Messages(); *m != nullptr; ++m) result.messages.push_back(*m);
}

}  // namespace

// Replaces the library's weak definition for this test program.
void VS10FatalExit(int status) {
    if (throwOnFatalExit) throw FatalExit{status};
    std::exit(status);
}

ScanResult ScanText(const char* text, bool withLines) {
    ScanResult result;
    Scan(text, withLines, result);
    CollectMessages(result);
    return result;
}

int ScanToFatalExit(const char* text, ScanResult* result) {
    throwOnFatalExit = true;
    int status = -1;
    try {
        Scan(text, false, *result);
    } catch (const FatalExit& e) {
        status = e.status;
        VS10EndInput();
    }
    throwOnFatalExit = false;
    CollectMessages(*result);
    return status;
}
