// Vertex program loading with readable load errors, and the !!VCP1.0 constant statements.
#include "shaderparse/vertex_program_loader.h"

#include <GL/glext.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "glext/entry_points.h"
#include "shaderparse/parse_state.h"

namespace {

// Messages, names and words are held in fixed sizes: at most this many characters.
constexpr size_t kMaxText = 255;
// An excerpt reaches this far on either side of the error position.
constexpr long kExcerptReach = 30;

struct ExcerptRange {
    long start;  // first character shown
    long end;    // one past the last character shown
};

// The statement around position p (0 <= p <= length): from just after the previous ';' (or from
// that ';' when p is next to one) to the next ';' or the end of the text, at most 30 characters
// either side. At p == length the terminating zero stands at p.
ExcerptRange StatementAround(const char* text, long length, long p) {
    bool nextToSemicolon = (p > 0 && text[p - 1] == ';') || text[p] == ';';
    long start = 0;
    for (long i = nextToSemicolon ? p - 2 : p; i >= 0; --i) {
        if (text[i] == ';') {
            start = nextToSemicolon ? i : i + 1 + (text[i + 1] == '\n' ? 1 : 0);
            break;
        }
    }
    long last = length - 1;
    for (long i = p; i < length; ++i) {
        if (text[i] == ';' && i > start) {
            last = i;
            break;
        }
    }
    if (p - start > kExcerptReach) start = p - kExcerptReach;
    if (last - p > kExcerptReach) last = p + kExcerptReach;
    return {start, last + 1};
}

}  // namespace

void LoadVertexProgramText(GLenum target, GLuint id, const char* text) {
    const long length = static_cast<long>(std::strlen(text));
    glext::glLoadProgramNV(target, id, static_cast<GLsizei>(length),
                           reinterpret_cast<const GLubyte*>(text));
    if (glGetError() == GL_NO_ERROR) {
        return;
    }
    GLint reported = 0;
    glGetIntegerv(GL_PROGRAM_ERROR_POSITION_NV, &reported);

    // A position before the text counts as its start; one past its end as its end, the place
    // just after its last character.
    const long p = std::clamp<long>(reported, 0, length);
    const ExcerptRange excerpt = StatementAround(text, length, p);

    int line = 1;
    int character = 1;
    for (long i = 0; i < p; ++i) {
        if (text[i] == '\n') {
            ++line;
            character = 1;
        } else {
            ++character;
        }
    }

    std::string message = "error at line " + std::to_string(line) + " character " +
                          std::to_string(character) + "\n\"";
    message.append(text + excerpt.start, static_cast<size_t>(excerpt.end - excerpt.start));
    message += "\"\n";
    const std::string indent(static_cast<size_t>(p - excerpt.start), ' ');
    message += indent + "|\n" + indent + "^\n";
    parseErrors.Add(message.c_str());
}

namespace {

struct NamedEnum {
    const char* name;
    GLenum value;
};

const NamedEnum kTrackMatrixNames[] = {
    {"GL_NONE", GL_NONE},
    {"GL_MODELVIEW", GL_MODELVIEW},
    {"GL_PROJECTION", GL_PROJECTION},
    {"GL_TEXTURE", GL_TEXTURE},
    {"GL_COLOR", GL_COLOR},
    {"GL_MODELVIEW_PROJECTION_NV", GL_MODELVIEW_PROJECTION_NV},
    {"GL_MATRIX0_NV", GL_MATRIX0_NV},
    {"GL_MATRIX1_NV", GL_MATRIX1_NV},
    {"GL_MATRIX2_NV", GL_MATRIX2_NV},
    {"GL_MATRIX3_NV", GL_MATRIX3_NV},
    {"GL_MATRIX4_NV", GL_MATRIX4_NV},
    {"GL_MATRIX5_NV", GL_MATRIX5_NV},
    {"GL_MATRIX6_NV", GL_MATRIX6_NV},
    {"GL_MATRIX7_NV", GL_MATRIX7_NV},
};

const NamedEnum kTrackTransformNames[] = {
    {"GL_IDENTITY_NV", GL_IDENTITY_NV},
    {"GL_INVERSE_NV", GL_INVERSE_NV},
    {"GL_TRANSPOSE_NV", GL_TRANSPOSE_NV},
    {"GL_INVERSE_TRANSPOSE_NV", GL_INVERSE_TRANSPOSE_NV},
};

template <size_t N>
const NamedEnum* Lookup(const NamedEnum (&table)[N], const std::string& name) {
    for (const NamedEnum& entry : table) {
        if (name == entry.name) return &entry;
    }
    return nullptr;
}

constexpr int kParameterRegisters = 96;

// Reads a statement the way the C scanf family does: a blank in a pattern skips any amount of
// white space, %c takes one character, %d a signed decimal, %f a float, %s a word. Words longer
// than kMaxText characters are consumed whole and kept cut.
class StatementReader {
  public:
    explicit StatementReader(const char* text) : pos_(text) {}

    void SkipSpace() {
        while (std::isspace(static_cast<unsigned char>(*pos_))) ++pos_;
    }
    // A blank, then a literal character.
    bool Literal(char c) {
        SkipSpace();
        if (*pos_ != c) return false;
        ++pos_;
        return true;
    }
    bool Char(char& out) {
        if (*pos_ == '\0') return false;
        out = *pos_++;
        return true;
    }
    bool Int(int& out) {
        char* end = nullptr;
        long value = std::strtol(pos_, &end, 10);
        if (end == pos_) return false;
        out = static_cast<int>(value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : value);
        pos_ = end;
        return true;
    }
    bool Float(float& out) {
        char* end = nullptr;
        float value = std::strtof(pos_, &end);
        if (end == pos_) return false;
        out = value;
        pos_ = end;
        return true;
    }
    bool Word(std::string& out) {
        SkipSpace();
        const char* start = pos_;
        while (*pos_ != '\0' && !std::isspace(static_cast<unsigned char>(*pos_))) ++pos_;
        if (pos_ == start) return false;
        out.assign(start, std::min<size_t>(static_cast<size_t>(pos_ - start), kMaxText));
        return true;
    }

  private:
    const char* pos_;
};

// " %c [ %d ]": the common start of every statement; counts the items read.
int ReadRegister(StatementReader& in, char& letter, int& index) {
    in.SkipSpace();
    if (!in.Char(letter)) return 0;
    if (!in.Literal('[') || !in.Int(index)) return 1;
    return 2;
}

// " %c [ %d ] = %s ": the letter, the index and the first word after '='.
int ReadStatementHead(const char* statement, int& index, std::string& word) {
    StatementReader in(statement);
    char letter;
    int items = ReadRegister(in, letter, index);
    if (items < 2 || !in.Literal(']') || !in.Literal('=') || !in.Word(word)) return items;
    return 3;
}

// " %c [ %d ] = ( %f , %f , %f , %f ) ; "
int ReadConstant(const char* statement, int& index, float values[4]) {
    StatementReader in(statement);
    char letter;
    int items = ReadRegister(in, letter, index);
    if (items < 2 || !in.Literal(']') || !in.Literal('=') || !in.Literal('(')) return items;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && !in.Literal(',')) return items;
        in.SkipSpace();
        if (!in.Float(values[i])) return items;
        ++items;
    }
    return items;
}

// " %c [ %d ] = %c%c%c%c%c ( %s %s ) ;"
int ReadTrack(const char* statement, int& index, std::string& first, std::string& second) {
    StatementReader in(statement);
    char letter;
    int items = ReadRegister(in, letter, index);
    if (items < 2 || !in.Literal(']') || !in.Literal('=')) return items;
    in.SkipSpace();
    for (int i = 0; i < 5; ++i) {
        char c;
        if (!in.Char(c)) return items;
        ++items;
    }
    if (!in.Literal('(') || !in.Word(first)) return items;
    ++items;
    if (!in.Word(second)) return items;
    return items + 1;
}

void CutAt(std::string& text, char c) {
    size_t at = text.find(c);
    if (at != std::string::npos) text.erase(at);
}

// Adds "error at line <line> \n"<statement>"\n<reason>"; a long statement is cut so that the
// whole message, reason included, holds at most 255 characters.
void ReportLine(int line, const char* statement, const char* reason) {
    std::string head = "error at line " + std::to_string(line) + " \n\"";
    std::string tail = std::string("\"\n") + reason;
    size_t room = kMaxText - head.size() - tail.size();
    std::string message = head;
    message.append(statement, std::min(std::strlen(statement), room));
    message += tail;
    parseErrors.Add(message.c_str());
}

void ExecuteConstant(GLenum target, int line, const char* statement) {
    int index = 0;
    float values[4] = {0, 0, 0, 0};
    if (ReadConstant(statement, index, values) != 6) {
        ReportLine(line, statement, "");
    } else if (index < 0 || index >= kParameterRegisters) {
        ReportLine(line, statement, "\tConstant address out of range\n");
    } else {
        // Setting a register ends any tracking of the block that holds it.
        glext::glTrackMatrixNV(target, static_cast<GLuint>(index & ~3), GL_NONE, GL_IDENTITY_NV);
        glext::glProgramParameter4fvNV(target, static_cast<GLuint>(index), values);
    }
}

void ExecuteTrack(GLenum target, int line, const char* statement) {
    int index = 0;
    std::string matrixName, transformName;
    int items = ReadTrack(statement, index, matrixName, transformName);
    if (items < 8) {
        ReportLine(line, statement, "");
        return;
    }
    if (items == 9) {
        CutAt(matrixName, ',');
        CutAt(transformName, ')');
    } else {
        // One word: the names are joined by a comma alone.
        size_t comma = matrixName.find(',');
        if (comma == std::string::npos) {
            ReportLine(line, statement, "");
            return;
        }
        transformName = matrixName.substr(comma + 1);
        CutAt(transformName, ')');
        matrixName.erase(comma);
    }

    if (index % 4 != 0) {
        ReportLine(line, statement, "\tglTrackMatrixNV address must be modulo 4\n");
        return;
    }
    if (index < 0 || index >= kParameterRegisters) {
        ReportLine(line, statement, "\tConstant address out of range\n");
        return;
    }
    const NamedEnum* matrix = Lookup(kTrackMatrixNames, matrixName);
    const NamedEnum* transform = Lookup(kTrackTransformNames, transformName);
    if (matrix == nullptr) {
        ReportLine(line, statement, "\tInvalid Matrix parameter in glTrackMatrixNV.\n");
    } else if (transform == nullptr) {
        ReportLine(line, statement, "\tInvalid Transform parameter in glTrackMatrixNV\n");
    } else {
        // GL_NONE is a valid matrix: the block's tracking simply ends.
        glext::glTrackMatrixNV(target, static_cast<GLuint>(index), GL_NONE, GL_IDENTITY_NV);
        glext::glTrackMatrixNV(target, static_cast<GLuint>(index), matrix->value, transform->value);
    }
}

// Splits text at line ends; runs of line ends give no empty lines.
std::vector<std::string> SplitLines(const char* text) {
    std::vector<std::string> lines;
    const char* p = text;
    while (*p != '\0') {
        while (*p == '\n') ++p;
        const char* start = p;
        while (*p != '\0' && *p != '\n') ++p;
        if (p != start) lines.emplace_back(start, p);
    }
    return lines;
}

}  // namespace

void LoadVertexConstantProgram(GLenum target, const char* text) {
    std::vector<std::string> lines = SplitLines(text);
    // The first line is the header, line 1; empty lines are not counted.
    for (size_t n = 1; n < lines.size(); ++n) {
        const int line = static_cast<int>(n + 1);
        const char* statement = lines[n].c_str();
        while (std::isspace(static_cast<unsigned char>(*statement))) ++statement;
        if (*statement == '\0' || *statement == '#') continue;
        if ((statement[0] != 'c' && statement[0] != 'C') || statement[1] != '[') continue;

        int index = 0;
        std::string word;
        if (ReadStatementHead(statement, index, word) != 3) {
            ReportLine(line, statement, "");
        } else if (strncasecmp(word.c_str(), "track", 5) != 0) {
            ExecuteConstant(target, line, statement);
        } else {
            ExecuteTrack(target, line, statement);
        }
    }
}
