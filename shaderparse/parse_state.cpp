// The error list, the source line number and the translation buffer shared by the languages.
#include "shaderparse/parse_state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

ParseErrorList parseErrors;
int parseLineNumber = 0;
std::string translatedProgramText;

ParseErrorList::ParseErrorList()
    : slots_(static_cast<char**>(std::calloc(kCapacity + 1, sizeof(char*)))), count_(0) {
    if (slots_ == nullptr) {
        // Runs during static initialisation; without its 33 slots the list cannot exist.
        std::fputs("shaderparse: cannot allocate the error list\n", stderr);
        std::abort();
    }
}

ParseErrorList::~ParseErrorList() {
    Clear();
    std::free(slots_);
    slots_ = nullptr;
}

void ParseErrorList::Clear() {
    for (int i = 0; i < count_; ++i) {
        std::free(slots_[i]);
        slots_[i] = nullptr;
    }
    count_ = 0;
}

void ParseErrorList::Add(const char* text) {
    if (text == nullptr || count_ >= kCapacity) {
        return;
    }
    char* copy = strdup(text);
    if (copy == nullptr) {
        return;  // no memory for the message: it is lost, the list stays consistent
    }
    slots_[count_++] = copy;
}

void ParseErrorList::AddAtLine(const char* text, int line) {
    // snprintf cuts the message at 255 characters instead of overrunning the buffer.
    char message[256];
    std::snprintf(message, sizeof message, "error on line %d: %s", line,
                  text != nullptr ? text : "");
    Add(message);
}
