// Error-list messages rewritten as compiler diagnostics, one per message:
//   FILE:LINE:COLUMN: error: TEXT   when the message gives a line and a character,
//   FILE:LINE: error: TEXT          when it gives a line,
//   FILE: error: TEXT               otherwise,
// with "warning:" for vs.1.0 warnings. TEXT is the message's own words without its line
// prefix; the message's further lines (excerpt, caret, statement) follow, indented.
#pragma once

#include <string>
#include <vector>

namespace shadercheck {

// The diagnostic for one message of the error list of `file`. For a vs.1.0 text,
// translatedLineSources maps the lines of its !!VP1.0 translation to vs.1.0 lines (0: none):
// the vertex-program loader's messages then refer to the translation, and are reported at the
// vs.1.0 line that produced the translated line, saying so. Null for every other text.
std::string GnuDiagnostic(const std::string& file, const std::string& message,
                          const std::vector<int>* translatedLineSources);

}  // namespace shadercheck
