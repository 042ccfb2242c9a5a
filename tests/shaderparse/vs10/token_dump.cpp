// Token-dump driver for the vs.1.0 scanner tests.
#include "tests/shaderparse/vs10/token_dump.h"

#include <cstdlib>

#include "shaderparse/parse_state.h"
#include "shaderparse/vs10/vs10.h"
#include "shaderparse/vs10/vs10_fatal.h"
#include "shaderparse/vs10/vs10_scanner.h"

namespace {

bool throwOnFatalExit = false;

const char* const kInstructionNames[] = {
    "ADD", "DP3", "DP4", "DST", "EXP", "EXPP", "FRC", "LIT", "LOG", "LOGP", "M3X2", "M3X3",
    "M3X4", "M4X3", "M4X4", "MAD", "MAX", "MIN", "MOV", "MUL", "NOP", "RCP", "RSQ", "SGE",
    "SLT", "SUB"};

std::string Escaped(const char* text) {
    std::string out;
    for (; *text != '\0'; ++text) {
        if (*text == '\n') {
            out += "\\n";
        } else {
            out += *text;
        }
    }
    return out;
}

}  // namespace

std::string FormatToken(int code) {
    const VS10TokenValueType& v = VS10TokenValue;
    if (code >= vs10tok::ADD_INSTR && code <= vs10tok::SUB_INSTR) {
        return kInstructionNames[code - vs10tok::ADD_INSTR];
    }
    switch (code) {
    case vs10tok::VERTEX_SHADER: return "VS";
    case vs10tok::ILLEGAL: return "ILLEGAL";
    case vs10tok::UNKNOWN_STRING: return "UNKNOWN";
    case vs10tok::INTVAL: return "INT(" + std::to_string(v.intValue) + ")";
    case vs10tok::REGISTER: {
        int type = v.reg.type;
        if (type == 7 || type == 10 || type == 11) {
            return "REG(" + std::to_string(type) + ")";
        }
        return "REG(" + std::to_string(type) + "," + std::to_string(v.reg.index) + ")";
    }
    case vs10tok::XYZW_MODIFIER: {
        std::string mask;
        for (char c : v.mask) {
            mask += c != 0 ? c : '0';
        }
        return "MASK(" + mask + ")";
    }
    case vs10tok::COMMENT: {
        std::string text = "COMMENT(" + Escaped(v.text) + ")";
        std::free(v.text);
        return text;
    }
    case '\n': return "NL";
    default: return std::string("'") + static_cast<char>(code) + "'";
    }
}

// Replaces the library's weak definition for this test program.
void VS10FatalExit(int status) {
    if (throwOnFatalExit) {
        throw FatalExit{status};
    }
    std::exit(status);
}

ThrowOnFatalExit::ThrowOnFatalExit() {
    throwOnFatalExit = true;
}

ThrowOnFatalExit::~ThrowOnFatalExit() {
    throwOnFatalExit = false;
}

namespace {

void Scan(const char* text, bool withLines, ScanResult& result) {
    parseErrors.Clear();
    parseLineNumber = 1;
    result = ScanResult();
    VS10SetInput(text);
    for (;;) {
        parseLineNumber += pendingNewlines;
        pendingNewlines = 0;
        int code = VS10NextToken();
        if (code == vs10tok::END) {
            break;
        }
        if (!result.tokens.empty()) {
            result.tokens += ' ';
        }
        result.tokens += FormatToken(code);
        if (withLines) {
            result.tokens += "@" + std::to_string(parseLineNumber);
        }
    }
    result.finalLine = parseLineNumber + pendingNewlines;
    pendingNewlines = 0;
}

void CollectMessages(ScanResult& result) {
    for (char** m = parseErrors.Messages(); *m != nullptr; ++m) {
        result.messages.push_back(*m);
    }
}

}  // namespace

ScanResult ScanText(const char* text, bool withLines) {
    ScanResult result;
    Scan(text, withLines, result);
    CollectMessages(result);
    return result;
}

int ScanToFatalExit(const char* text, ScanResult* result) {
    ThrowOnFatalExit throwing;
    int status = -1;
    try {
        Scan(text, false, *result);
    } catch (const FatalExit& e) {
        status = e.status;
        VS10EndInput();
    }
    CollectMessages(*result);
    return status;
}
