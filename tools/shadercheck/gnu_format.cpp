#include "tools/shadercheck/gnu_format.h"

namespace shadercheck {

namespace {

// What the vertex-program loader's messages say beyond their position.
const char kLoaderRefused[] = "program text not accepted here";
const char kStatementNotUnderstood[] = "statement not understood";

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (lines.empty()) lines.emplace_back();
    return lines;
}

struct Diagnostic {
    std::string file;
    long line = 0, column = 0;
    bool warning = false;
    std::string text;
    std::vector<std::string> more;  // further lines, shown indented
};

std::string Format(const Diagnostic& d) {
    std::string out = d.file;
    if (d.line > 0) out += ":" + std::to_string(d.line);
    if (d.line > 0 && d.column > 0) out += ":" + std::to_string(d.column);
    out += d.warning ? ": warning: " : ": error: ";
    out += d.text + "\n";
    for (const std::string& line : d.more) out += "    " + line + "\n";
    return out;
}

// Reads a decimal line or character number at pos (at most 9 digits, so it fits); moves pos
// past it.
bool ReadNumber(const std::string& text, size_t& pos, long& value) {
    size_t digits = 0;
    value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 9) {
        value = value * 10 + (text[pos++] - '0');
        ++digits;
    }
    return digits > 0 && (pos == text.size() || text[pos] < '0' || text[pos] > '9');
}

// text begins with before, a number and after: the number, and where the text goes on.
bool MatchNumbered(const std::string& text, const char* before, const char* after, long& number,
                   size_t& next) {
    const std::string b(before), a(after);
    size_t pos = b.size();
    if (text.compare(0, b.size(), b) != 0 || !ReadNumber(text, pos, number)) return false;
    if (text.compare(pos, a.size(), a) != 0) return false;
    next = pos + a.size();
    return true;
}

// A name part "<name>(N)": the name (an include file's, or empty) and N.
bool SplitNameAndLine(const std::string& part, std::string& name, long& line) {
    if (part.empty() || part.back() != ')') return false;
    const size_t open = part.rfind('(');
    if (open == std::string::npos) return false;
    size_t pos = open + 1;
    if (!ReadNumber(part, pos, line) || pos != part.size() - 1) return false;
    name = part.substr(0, open);
    return true;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The vs.1.0 scanner's "[FILE](N) : Error : TEXT" and "... : Warning : TEXT".
bool ReadScannerMessage(const std::string& head, Diagnostic& d) {
    for (const char* kind : {" : Error : ", " : Warning : "}) {
        const size_t at = head.find(kind);
        std::string name;
        long line = 0;
        if (at == std::string::npos || !SplitNameAndLine(head.substr(0, at), name, line)) continue;
        if (!name.empty()) d.file = name;  // inside an include file: that file
        d.line = line;
        d.warning = kind[3] == 'W';
        d.text = head.substr(at + std::string(kind).size());
        return true;
    }
    return false;
}

}  // namespace

std::string GnuDiagnostic(const std::string& file, const std::string& message,
                          const std::vector<int>* translatedLineSources) {
    std::vector<std::string> lines = SplitLines(message);
    Diagnostic d;
    d.file = file;

    // A vs.1.0 message from a macro body first names the chain of references, a line each.
    size_t first = 0;
    while (first + 1 < lines.size() && EndsWith(lines[first], " : References ->")) ++first;
    if (first > 0) {
        d.more.assign(lines.begin(), lines.begin() + first);
        lines.erase(lines.begin(), lines.begin() + first);
    }
    const std::string& head = lines[0];
    const std::vector<std::string> rest(lines.begin() + 1, lines.end());
    long line = 0, column = 0;
    size_t next = 0;

    if (MatchNumbered(head, "error at line ", " character ", line, next) &&
        ReadNumber(head, next, column) && next == head.size()) {
        d.line = line;
        d.column = column;
        d.text = kLoaderRefused;
        if (translatedLineSources != nullptr) {
            // The position lies in the translation, which the user never wrote.
            const size_t index = static_cast<size_t>(line - 1);
            d.line = index < translatedLineSources->size() ? (*translatedLineSources)[index] : 0;
            d.column = 0;
            d.text = std::string("in the !!VP1.0 translation") +
                     (d.line > 0 ? " of this line" : "") + ": " + kLoaderRefused;
        }
        d.more.insert(d.more.end(), rest.begin(), rest.end());
    } else if (MatchNumbered(head, "error at line ", " ", line, next) && next == head.size()) {
        d.line = line;
        d.text = kStatementNotUnderstood;
        for (const std::string& l : rest) {
            if (!l.empty() && l[0] == '\t') {
                d.text = l.substr(1);  // the reason, when the message gives one
            } else {
                d.more.push_back(l);
            }
        }
    } else if (MatchNumbered(head, "error on line ", ": ", line, next) ||
               MatchNumbered(head, "(", ") Error: ", line, next)) {
        d.line = line;
        d.text = head.substr(next);
        d.more.insert(d.more.end(), rest.begin(), rest.end());
    } else {
        if (!ReadScannerMessage(head, d)) d.text = head;
        d.more.insert(d.more.end(), rest.begin(), rest.end());
    }
    while (!d.more.empty() && d.more.back().empty()) d.more.pop_back();
    return Format(d);
}

}  // namespace shadercheck
