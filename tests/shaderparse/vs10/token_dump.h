// Token-dump driver for the vs.1.0 scanner tests.
#pragma once

#include <string>
#include <vector>

struct ScanResult {
    std::string tokens;                 // the tokens, blank-separated (see token_dump.cpp)
    std::vector<std::string> messages;  // parseErrors after the scan
    int finalLine = 0;                  // parseLineNumber at the end, pending line ends added
};

// Scans text from a fresh start (parseLineNumber 1, empty error list) to the end of input.
// Line ends counted in pendingNewlines are added to parseLineNumber before each token is
// requested, as the grammar does after each line. With withLines each token is followed by
// "@<line>", the line number when it was returned.
ScanResult ScanText(const char* text, bool withLines = false);

// Thrown by this test program's VS10FatalExit while ThrowOnFatalExit is in effect, so that a
// fatal end can be examined in-process (as the fuzz target does); otherwise it calls exit.
struct FatalExit {
    int status;
};
struct ThrowOnFatalExit {
    ThrowOnFatalExit();
    ~ThrowOnFatalExit();
};

// Scans like ScanText with fatal ends thrown; returns the exit status, or -1 when the scan
// reached the end of input. result gets the tokens and messages up to the end.
int ScanToFatalExit(const char* text, ScanResult* result);

// Formats the current token (the code just returned by VS10NextToken) and frees a COMMENT text.
std::string FormatToken(int code);
