// shadercheck: checks one shader-program text offline. The text is parsed once with shaderparse
// against the recording GL, whose profile the options set; the error list goes to standard
// output exactly as shaderparse_write_errors writes it, also when a fatal error of the parser
// ends the process. A failed write is a failure of its own (status 2).
#include <GL/gl.h>
#include <GL/glext.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "recgl/recording_gl.h"
#include "tools/cli/cli.h"
#include "shaderparse/parse_state.h"
#include "shaderparse/shaderparse.h"

namespace {

const char kDefaultExtensions[] =
    "GL_ARB_multitexture GL_EXT_point_parameters GL_NV_point_sprite GL_NV_vertex_program "
    "GL_NV_register_combiners GL_NV_register_combiners2 GL_NV_texture_shader";

const char kUsage[] =
    "usage: shadercheck [options] [FILE]\n"
    "\n"
    "Reads the whole text of FILE (standard input when FILE is omitted or \"-\"), parses it once\n"
    "with shaderparse against a recording GL and writes the error list to standard output, each\n"
    "message unchanged. Whatever the parse itself prints appears before the error list.\n"
    "FILE must be a regular file; FILE, standard input and vs.1.0 include files are read up to\n"
    "16 MiB (16777216 bytes), a longer text is refused; the include files of one text hold at\n"
    "most 16 MiB together.\n"
    "\n"
    "options:\n"
    "  --trace=PATH              write every GL call of the parse to PATH, one per line:\n"
    "                            name(arg, arg, ...), enums by GL name, integers in decimal,\n"
    "                            floats with %g, float vectors as {a, b, c, d}, the text of\n"
    "                            glLoadProgramNV as its length (\"-\": standard output, before\n"
    "                            the error list)\n"
    "  --translation=PATH        write the !!VP1.0 translation of a vs.1.0 text to PATH\n"
    "                            (\"-\": standard output, before the error list)\n"
    "  --extensions=LIST         the GL_EXTENSIONS string (default: GL_ARB_multitexture\n"
    "                            GL_EXT_point_parameters GL_NV_point_sprite\n"
    "                            GL_NV_vertex_program GL_NV_register_combiners\n"
    "                            GL_NV_register_combiners2 GL_NV_texture_shader); the\n"
    "                            window-system extension string is empty\n"
    "  --max-general-combiners=N GL_MAX_GENERAL_COMBINERS_NV (default 8)\n"
    "  --bound-program=ID        the bound vertex program (default 1, 0 = none bound)\n"
    "  --vsp-id=ID               the id a !!VSP1.0 text is loaded under (default 1)\n"
    "  --pending-gl-error        a GL_INVALID_OPERATION is pending when the parse starts\n"
    "  --reject-load-at=P        glLoadProgramNV rejects every text with error position P\n"
    "                            (P >= 0, may lie beyond the text)\n"
    "  --help                    show this text\n"
    "\n"
    "vs.1.0 include files are looked up relative to the working directory.\n"
    "\n"
    "exit status: 0 when the error list is empty, 1 when it holds messages, 2 for a usage\n"
    "error, an unreadable FILE or an output that cannot be written; fatal errors of the parser\n"
    "(nesting beyond 1024 levels: 1, an expanded line beyond 4095 characters: 9, an internal\n"
    "scanner fault: 2) keep their own statuses and end the run after the error list is written,\n"
    "without the trace and the translation.\n";

struct Options {
    std::string file = "-";
    bool fileGiven = false;
    std::string tracePath;
    std::string translationPath;
    std::string extensions = kDefaultExtensions;
    long maxGeneralCombiners = 8;
    long boundProgram = 1;
    long vspId = 1;
    bool pendingGlError = false;
    long rejectLoadAt = -1;
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            if (options.fileGiven) cli::UsageError("more than one FILE given");
            options.file = arg;
            options.fileGiven = true;
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (cli::OptionValue(arg, "--trace", value)) {
            if (value.empty()) cli::UsageError("--trace needs a PATH");
            options.tracePath = value;
        } else if (cli::OptionValue(arg, "--translation", value)) {
            if (value.empty()) cli::UsageError("--translation needs a PATH");
            options.translationPath = value;
        } else if (cli::OptionValue(arg, "--extensions", value)) {
            options.extensions = value;
        } else if (cli::OptionValue(arg, "--max-general-combiners", value)) {
            options.maxGeneralCombiners =
                cli::ParseNumber("--max-general-combiners", value, 0, INT_MAX);
        } else if (cli::OptionValue(arg, "--bound-program", value)) {
            options.boundProgram = cli::ParseNumber("--bound-program", value, 0, INT_MAX);
        } else if (cli::OptionValue(arg, "--vsp-id", value)) {
            options.vspId = cli::ParseNumber("--vsp-id", value, INT_MIN, INT_MAX);
        } else if (arg == "--pending-gl-error") {
            options.pendingGlError = true;
        } else if (cli::OptionValue(arg, "--reject-load-at", value)) {
            options.rejectLoadAt = cli::ParseNumber("--reject-load-at", value, 0, INT_MAX);
        } else {
            cli::UsageError("unknown option '" + arg + "'");
        }
    }
    return options;
}

// An output named by an option: standard output for "-", otherwise the file, opened before the
// parse so that a bad path is a usage error.
FILE* OpenOutput(const std::string& path) {
    if (path.empty()) return nullptr;
    if (path == "-") return stdout;
    FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr) cli::UsageError("cannot write '" + path + "': " + std::strerror(errno));
    return out;
}

// Everything written to out has reached its file; otherwise the failure is reported and the
// run ends with the usage status, whatever the error list holds.
void FinishOutput(FILE* out, const std::string& path) {
    const bool written = std::fflush(out) == 0 && !std::ferror(out);
    const int error = errno;
    const bool closed = out == stdout || std::fclose(out) == 0;
    if (!written || !closed) {
        const std::string name = path == "-" ? "standard output" : "'" + path + "'";
        std::fprintf(stderr, "shadercheck: cannot write %s: %s\n", name.c_str(),
                     std::strerror(written ? errno : error));
        std::_Exit(cli::kUsageError);
    }
}

// Set while shaderparse runs: its fatal errors end the process through exit, and the error list
// it has collected is then still written, by the handler below.
bool parseRunning = false;

void WriteErrorList() {
    shaderparse_write_errors(stdout);
    FinishOutput(stdout, "-");
}

void WriteErrorListAtFatalEnd() {
    if (parseRunning) {
        parseRunning = false;
        WriteErrorList();
    }
}

}  // namespace

int main(int argc, char** argv) {
    cli::SetToolName("shadercheck");
    Options options = ParseOptions(argc, argv);
    std::string text = cli::ReadInput(options.file, kMaxProgramTextBytes);
    FILE* trace = OpenOutput(options.tracePath);
    FILE* translation = OpenOutput(options.translationPath);

    recgl::Profile profile;
    profile.vendor = "shadercheck";
    profile.renderer = "recording GL";
    profile.extensions = options.extensions;
    profile.windowSystemExtensions = "";
    profile.integers[GL_MAX_GENERAL_COMBINERS_NV] = {
        static_cast<GLint>(options.maxGeneralCombiners)};
    profile.integers[GL_VERTEX_PROGRAM_BINDING_NV] = {static_cast<GLint>(options.boundProgram)};
    profile.rejectLoadAt = options.rejectLoadAt;
    recgl::Reset(profile);
    if (options.pendingGlError) recgl::SetPendingError(GL_INVALID_OPERATION);

    // Registered after the error list was constructed, so it runs before the list is destroyed.
    std::atexit(WriteErrorListAtFatalEnd);
    // The text is used as a C string: it ends at its first zero byte, if any.
    const char* program = text.c_str();
    parseRunning = true;
    if (std::strncmp(program, "!!VSP1.0", 8) == 0) {
        shaderparse(program, static_cast<int>(options.vspId));
    } else {
        shaderparse(program);
    }
    parseRunning = false;
    std::fflush(stdout);

    if (trace != nullptr) {
        for (const std::string& line : recgl::CallLines()) {
            std::fprintf(trace, "%s\n", line.c_str());
        }
        FinishOutput(trace, options.tracePath);
    }
    if (translation != nullptr) {
        // Empty unless the text was a vs.1.0 shader: only that path fills it.
        std::fputs(translatedProgramText.c_str(), translation);
        FinishOutput(translation, options.translationPath);
    }
    WriteErrorList();
    return parseErrors.Count() == 0 ? 0 : 1;
}
