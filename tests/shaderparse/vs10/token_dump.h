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

// Scans like ScanText, but a fatal end of the library is thrown and caught instead of ending
// the process (as in the fuzz target); returns the exit status, or -1 when the scan reached the
// end of input. result gets the tokens and messages up to the end.
int ScanToFatalExit(const char* text, ScanResult* result);
