// Extension check: tests a list of extension names against the current implementation's
// extension strings and loads the entry points of every name that is there.
#pragma once

// Tests every name of a list (names separated by runs of blanks, tabs and line feeds) and loads
// the entry points of each available one. True when every name passed, also for a null or empty
// list. The first call made with a current context reads and keeps the extension strings; without
// a current context every listed name fails and nothing is kept.
bool CheckAndLoadExtensions(const char* list);

// The names that failed in the latest call with a list, in list order, each followed by one
// blank; null before the first such call. Owned by this module; the next call overwrites it.
const char* LastUnsupportedNames();

// True when the whole name is listed in extensions (preceded by the string's start or a blank and
// followed by a blank). "GL_VERSION_1_2" is decided by the GL version instead: available unless the
// version string begins with "1.0" or "1.1".
bool ExtensionAvailable(const char* name, const char* extensions);

// First position at or after text that is not a blank, tab or line feed (stops at the
// terminator).
const char* SkipSeparators(const char* text);
// First position at or after text that is a blank, tab, line feed or the terminator.
const char* FindSeparator(const char* text);

inline char* SkipSeparators(char* text) {
    return const_cast<char*>(SkipSeparators(static_cast<const char*>(text)));
}
inline char* FindSeparator(char* text) {
    return const_cast<char*>(FindSeparator(static_cast<const char*>(text)));
}
