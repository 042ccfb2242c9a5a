// fluidsim: replays a recorded interaction through the demo's interaction and solver code,
// without a window, and reports (and optionally dumps) the resulting fields.
//
//   fluidsim [--grid N] [--script FILE] [--dump FILE]
//
// The run starts as the demo does after start-up, with an N^3 grid (default 16). Without
// --script no command runs; "--script -" reads the script from standard input. At the end
// (also when 'q' ends the run) the dump is written and one summary line printed:
//   ticks=<total> density_sum=<sum of inner density> density_max=<largest inner density>
// The dump holds density, velX, velY, velZ, each (N + 2)^3 little-endian float32 values in
// cell order.
//
// Script commands, one per line (blank lines and # comments ignored):
//   reshape W H      window size
//   mouse B S X Y    button B (0 left, 1 middle, 2 right) pressed (S = 0) or released (S = 1)
//   motion X Y       pointer moved with a button held
//   key C            key press; q ends the run with status 0
//   tick N           N idle steps
// The whole script is checked before anything runs; a bad line is reported as "line N: ..."
// with exit status 2. The script must be a regular file (or standard input) of at most 16 MiB.
// A dump that cannot be written ends the run with status 1, also after 'q'.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/app_state.h"
#include "app/idle_step.h"
#include "app/interaction.h"
#include "platform/read_file.h"
#include "solver/grid.h"

namespace {

constexpr int kMaxGrid = 256;  // keeps (N + 2)^3 cells of eight fields within reason
// Far more than any recorded interaction needs; keeps an endless input from exhausting memory.
constexpr size_t kMaxScriptBytes = size_t(16) << 20;

enum class Op { Reshape, Mouse, Motion, Key, Tick };

struct Command {
    Op op;
    int64_t args[4];
};

void Usage(FILE* out) {
    fprintf(out,
            "usage: fluidsim [--grid N] [--script FILE|-] [--dump FILE]\n"
            "       fluidsim --help | --version\n"
            "The script is a regular file or standard input of at most %zu bytes (16 MiB).\n",
            kMaxScriptBytes);
}

enum class Number { Good, NotWhole, OutOfRange };

// Reads a decimal whole number that must lie in low..high.
Number ParseWhole(const std::string& text, int64_t low, int64_t high, int64_t* value) {
    if (text.empty()) {
        return Number::NotWhole;
    }
    errno = 0;
    char* end = nullptr;
    const long long v = strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0') {
        return Number::NotWhole;
    }
    if (errno == ERANGE || v < low || v > high) {
        return Number::OutOfRange;
    }
    *value = v;
    return Number::Good;
}

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    size_t pos = 0;
    while (true) {
        pos = line.find_first_not_of(" \t\r", pos);
        if (pos == std::string::npos) {
            break;
        }
        const size_t end = line.find_first_of(" \t\r", pos);
        words.push_back(line.substr(pos, end - pos));
        pos = end;
    }
    return words;
}

// Checks one script line; returns an empty string and fills `command` when it is good.
// `isCommand` is false for blank and comment lines.
std::string ParseLine(const std::string& line, bool* isCommand, Command* command) {
    const std::vector<std::string> words = SplitWords(line);
    *isCommand = !(words.empty() || words[0][0] == '#');
    if (!*isCommand) {
        return "";
    }
    struct Syntax {
        const char* name;
        Op op;
        size_t argCount;
        int64_t low, high;
    };
    static const Syntax kSyntax[] = {
        {"reshape", Op::Reshape, 2, 0, INT32_MAX},
        {"mouse", Op::Mouse, 4, INT32_MIN, INT32_MAX},
        {"motion", Op::Motion, 2, INT32_MIN, INT32_MAX},
        {"key", Op::Key, 1, 0, 0},
        {"tick", Op::Tick, 1, 0, INT64_MAX},
    };
    const std::string& name = words[0];
    for (const Syntax& s : kSyntax) {
        if (name != s.name) {
            continue;
        }
        if (words.size() - 1 != s.argCount) {
            return "'" + name + "' takes " + std::to_string(s.argCount) + " argument" +
                   (s.argCount == 1 ? "" : "s") + ", got " + std::to_string(words.size() - 1);
        }
        command->op = s.op;
        if (s.op == Op::Key) {
            if (words[1].size() != 1) {
                return "'key' takes a single character, got '" + words[1] + "'";
            }
            command->args[0] = static_cast<unsigned char>(words[1][0]);
            return "";
        }
        for (size_t n = 0; n < s.argCount; ++n) {
            const std::string& word = words[n + 1];
            switch (ParseWhole(word, s.low, s.high, &command->args[n])) {
                case Number::Good:
                    break;
                case Number::NotWhole:
                    return "'" + word + "' is not a whole number";
                case Number::OutOfRange:
                    if (s.op == Op::Tick && word[0] == '-') {
                        return "tick count must not be negative";
                    }
                    if (s.op == Op::Reshape && word[0] == '-') {
                        return "window size must not be negative";
                    }
                    return "'" + word + "' is out of range for '" + name + "'";
            }
        }
        return "";
    }
    return "unknown command '" + name + "'";
}

// Checks the whole script text; on the first bad line prints "line N: ..." and returns false.
bool ParseScript(const std::string& text, std::vector<Command>* commands) {
    long lineNumber = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.find('\0') != std::string::npos) {
            fprintf(stderr, "line %ld: contains a NUL byte\n", lineNumber);
            return false;
        }
        bool isCommand = false;
        Command command{};
        const std::string error = ParseLine(line, &isCommand, &command);
        if (!error.empty()) {
            fprintf(stderr, "line %ld: %s\n", lineNumber, error.c_str());
            return false;
        }
        if (isCommand) {
            commands->push_back(command);
        }
    }
    return true;
}

// What the run reports at its end, also when 'q' ends it through exit.
int64_t ticksRun = 0;
FILE* dumpFile = nullptr;
bool reported = false;

bool WriteField(FILE* out, const float* field) {
    const int64_t cells = GridDims(gridX, gridY, gridZ).CellCount();
    unsigned char bytes[4];
    for (int64_t n = 0; n < cells; ++n) {
        uint32_t bits;
        memcpy(&bits, &field[n], sizeof bits);
        for (int b = 0; b < 4; ++b) {
            bytes[b] = static_cast<unsigned char>(bits >> (8 * b));  // little-endian
        }
        if (fwrite(bytes, 1, 4, out) != 4) {
            return false;
        }
    }
    return true;
}

// Writes the dump (when asked for) and prints the summary line. False when the dump failed.
// (The file was opened before the run, so only a write can fail here.)
bool Report() {
    reported = true;
    bool ok = true;
    if (dumpFile != nullptr) {
        ok = WriteField(dumpFile, density) && WriteField(dumpFile, velX) &&
             WriteField(dumpFile, velY) && WriteField(dumpFile, velZ);
        ok = (fclose(dumpFile) == 0) && ok;
        dumpFile = nullptr;
        if (!ok) {
            fprintf(stderr, "fluidsim: writing the dump failed\n");
        }
    }
    double sum = 0.0;
    float max = density[CellIndex(1, 1, 1)];
    for (int k = 1; k <= gridZ; ++k) {
        for (int j = 1; j <= gridY; ++j) {
            for (int i = 1; i <= gridX; ++i) {
                const float d = density[CellIndex(i, j, k)];
                sum += d;
                if (d > max) {
                    max = d;
                }
            }
        }
    }
    printf("ticks=%lld density_sum=%.9g density_max=%.9g\n", static_cast<long long>(ticksRun), sum,
           static_cast<double>(max));
    fflush(stdout);
    return ok;
}

// After 'q' the process is ending through exit with status 0; a failed dump changes that to 1.
// A handler may not call exit again, hence _exit (standard output is flushed by Report).
void ReportAtExit() {
    if (!reported && !Report()) {
        _exit(1);
    }
}

void Run(const Command& command) {
    const int64_t* a = command.args;
    switch (command.op) {
        case Op::Reshape:
            windowWidth = static_cast<int32_t>(a[0]);
            windowHeight = static_cast<int32_t>(a[1]);
            break;
        case Op::Mouse:
            OnMouse(static_cast<int>(a[0]), static_cast<int>(a[1]), static_cast<int>(a[2]),
                    static_cast<int>(a[3]));
            break;
        case Op::Motion:
            OnMotion(static_cast<int>(a[0]), static_cast<int>(a[1]));
            break;
        case Op::Key:
            OnKeyboard(static_cast<unsigned char>(a[0]), mouseX, mouseY);
            break;
        case Op::Tick:
            for (int64_t n = 0; n < a[0]; ++n) {
                AdvanceSimulation();
                ++ticksRun;
            }
            break;
    }
}

}  // namespace

int main(int argc, char** argv) {
    int64_t grid = 16;
    const char* scriptPath = nullptr;
    const char* dumpPath = nullptr;
    for (int n = 1; n < argc; ++n) {
        const std::string option = argv[n];
        if (option == "--help" || option == "-h") {
            Usage(stdout);
            return 0;
        }
        if (option == "--version") {
            printf("fluidsim %s\n", FLUID3D_VERSION);
            return 0;
        }
        if ((option != "--grid" && option != "--script" && option != "--dump") || n + 1 >= argc) {
            fprintf(stderr, "fluidsim: %s '%s'\n",
                    n + 1 >= argc ? "missing value after" : "unknown option", argv[n]);
            Usage(stderr);
            return 2;
        }
        const char* value = argv[++n];
        if (option == "--grid") {
            if (ParseWhole(value, 1, kMaxGrid, &grid) != Number::Good) {
                fprintf(stderr,
                        "fluidsim: grid size must be a whole number from 1 to %d, got '%s'\n",
                        kMaxGrid, value);
                return 2;
            }
        } else if (option == "--script") {
            scriptPath = value;
        } else {
            dumpPath = value;
        }
    }

    std::vector<Command> commands;
    if (scriptPath != nullptr) {
        std::string text;
        const platform::ReadResult read =
            strcmp(scriptPath, "-") == 0
                ? platform::ReadStream(STDIN_FILENO, kMaxScriptBytes, text)
                : platform::ReadRegularFile(scriptPath, kMaxScriptBytes, text);
        if (read.status != platform::ReadStatus::Ok) {
            fprintf(stderr, "fluidsim: cannot read script '%s': %s\n", scriptPath,
                    platform::ReadFailureText(read, kMaxScriptBytes).c_str());
            return 2;
        }
        if (!ParseScript(text, &commands)) {
            return 2;
        }
    }
    if (dumpPath != nullptr) {
        dumpFile = fopen(dumpPath, "wb");
        if (dumpFile == nullptr) {
            fprintf(stderr, "fluidsim: cannot write dump '%s': %s\n", dumpPath, strerror(errno));
            return 2;
        }
    }

    // The state of the demo once start-up is over: running parameters, cleared fields, window
    // 512 x 512, no buttons, view angles 0, pointer at 0, 0.
    InstallRunningParameters();
    gridX = gridY = gridZ = static_cast<int32_t>(grid);
    if (!AllocateFields()) {
        fprintf(stderr, "fluidsim: not enough memory for a %lld^3 grid\n",
                static_cast<long long>(grid));
        return 1;
    }
    ClearFields();
    windowWidth = windowHeight = 512;

    atexit(ReportAtExit);  // 'q' ends the process through exit, as in the demo
    for (const Command& command : commands) {
        Run(command);
    }
    return Report() ? 0 : 1;
}
