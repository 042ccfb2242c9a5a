// Helpers for tests that run shaderparse against the recording GL: the messages it left and the
// recorded calls.
#pragma once

#include <string>
#include <vector>

#include "recgl/recording_gl.h"
#include "shaderparse/shaderparse.h"

namespace testsupport {

using Lines = std::vector<std::string>;

inline Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The messages of the last parse, in order.
inline Lines ParseMessages() {
    Lines out;
    for (char** m = shaderparse_error_messages(); *m != nullptr; ++m) out.emplace_back(*m);
    return out;
}

// Drops the calls recorded so far, parses text and returns its messages.
inline Lines ParseText(const std::string& text) {
    recgl::ClearCalls();
    shaderparse(text.c_str());
    return ParseMessages();
}

// The recorded calls, in trace form, whose line starts with prefix.
inline Lines CallsStarting(const std::string& prefix) {
    Lines out;
    for (const std::string& line : recgl::CallLines()) {
        if (line.compare(0, prefix.size(), prefix) == 0) out.push_back(line);
    }
    return out;
}

}  // namespace testsupport
