// Macro table, parameter substitution, built-in register arithmetic and include loading of the
// vs.1.0 preprocessor. Internal to shaderparse_vs10; the scanner drives these.
#pragma once

#include <cstddef>

// One node of a doubly linked list of owned strings.
struct StringNode {
    StringNode* next;
    StringNode* prev;
    char* text;
};

// A macro definition, or the arguments of one macro invocation.
struct MACROENTRY {
    MACROENTRY* newer;
    MACROENTRY* older;
    char* name;
    StringNode* firstParam;
    StringNode* lastParam;
    StringNode* firstLine;
    StringNode* lastLine;
    unsigned paramCount;
    char* definingFile;      // currentFileName when defined, or null
    int line;                // parseLineNumber at the definition header (invocation: its line)
    unsigned countedLines;   // body lines stored with a line end
    unsigned char isDefine;  // 1 for #define, 0 for macro ... endm
};

// Longest expansion line, include name and built-in scratch text, without the terminating zero.
constexpr size_t kMaxExpansionLine = 4095;
constexpr size_t kMaxIncludeName = 1023;
constexpr size_t kMaxBuiltinText = 255;

// The preprocessor's allocations (macro table, strings, include and comment texts) go through
// VS10Alloc (the C heap). For tests of the
// failure paths: VS10FailAllocationsAfter(n) lets n more allocations succeed and fails the rest;
// a negative n turns the failures off.
void* VS10Alloc(size_t size);
void VS10FailAllocationsAfter(long n);
// Owned copy of the first length characters of text, or null when out of memory.
char* VS10CopyText(const char* text, size_t length);

// Appends a copy of text[0, length) to the list; false (list unchanged) when out of memory.
bool AppendString(StringNode** first, StringNode** last, const char* text, size_t length);
void ReleaseStringList(StringNode* first);
void ReleaseMacroEntry(MACROENTRY* entry);

// The defined macros, newest first through `older`.
extern MACROENTRY* macroList;
MACROENTRY* FindMacro(const char* name, size_t length);
void LinkMacro(MACROENTRY* entry);
void ReleaseAllMacros();

// Writes `line` with the parameters of `definition` replaced by the arguments of `invocation`
// into out (kMaxExpansionLine + 1 bytes). False when the result would not fit.
bool SubstituteParams(const char* line, const MACROENTRY* definition, const MACROENTRY* invocation,
                      char* out);

// The built-in arithmetic on a register text: R with n added (op '+') or subtracted (op '-')
// into out (kMaxBuiltinText + 1 bytes). builtin names the built-in for the message ("%inc()",
// ...). False, with the message reported, when the result would not fit.
bool ApplyRegisterOffset(const char* R, char op, const char* n, const char* builtin, char* out);

// The whole text of an include file found through the search paths, newly allocated; null
// (after the standard-error messages) when no readable file was found. Only regular files are
// read; a file beyond kMaxProgramTextBytes, or one that would take the include files read since
// ResetIncludeBudget beyond that size together, is refused. The text ends at the file's first
// zero byte.
char* LoadIncludeText(const char* name);
// Starts the include budget of a new program text (VS10SetInput does).
void ResetIncludeBudget();
