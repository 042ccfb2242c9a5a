// State shared by the shader-program languages: the error list, the source line number and the
// vs.1.0 translation buffer.
#pragma once

#include <cstddef>
#include <string>

// Up to 32 owned message texts, kept in a null-terminated array of 33 slots.
class ParseErrorList {
  public:
    static constexpr int kCapacity = 32;

    ParseErrorList();
    ~ParseErrorList();
    ParseErrorList(const ParseErrorList&) = delete;
    ParseErrorList& operator=(const ParseErrorList&) = delete;

    void Clear();
    // Stores a copy of text; dropped silently when 32 messages are held.
    void Add(const char* text);
    // Adds "error on line <line>: <text>", cut at 255 characters.
    void AddAtLine(const char* text, int line);
    char** Messages() const { return slots_; }
    int Count() const { return count_; }

  private:
    char** slots_;
    int count_;
};

extern ParseErrorList parseErrors;

// Source line of the text being scanned; shaderparse sets it to 1, the scanners advance it.
extern int parseLineNumber;

// The !!VP1.0 text a vs.1.0 shader is translated into before it is loaded.
extern std::string translatedProgramText;

// The largest program text or vs.1.0 include file that is read from a file (16 MiB): far above
// real shader texts, which run to some kilobytes, and low enough that a device or an endless
// stream given as a text cannot exhaust memory.
constexpr size_t kMaxProgramTextBytes = size_t(16) << 20;
