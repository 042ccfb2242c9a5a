// The program header of a language fuzz target: an input that starts with none of the target's
// headers gets the first put in front, so that the target spends its time inside its language.
#pragma once

#include <string>

namespace fuzz {

// headers lists one or more headers separated by '|'.
inline void EnsureHeader(std::string& text, const std::string& headers) {
    size_t start = 0;
    while (start <= headers.size()) {
        size_t end = headers.find('|', start);
        if (end == std::string::npos) end = headers.size();
        if (text.compare(0, end - start, headers, start, end - start) == 0) return;
        start = end + 1;
    }
    text = headers.substr(0, headers.find('|')) + "\n" + text;
}

}  // namespace fuzz
