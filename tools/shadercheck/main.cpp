// shadercheck: checks shader-program texts offline. Each text is parsed once with shaderparse
// against the recording GL, whose profile the options set, from a clean state; its error list
// goes to standard output exactly as shaderparse_write_errors writes it, or as compiler
// diagnostics, also when a fatal error of the parser ends the process. A failed write is a
// failure of its own (status 2).
#include <GL/gl.h>
#include <GL/glext.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

#include "recgl/recording_gl.h"
#include "tools/cli/cli.h"
#include "tools/shadercheck/gnu_format.h"
#include "shaderparse/parse_state.h"
#include "shaderparse/program_kind.h"
#include "shaderparse/shaderparse.h"
#include "shaderparse/vs10/vs10.h"

namespace {

const char kDefaultExtensions[] =
    "GL_ARB_multitexture GL_EXT_point_parameters GL_NV_point_sprite GL_NV_vertex_program "
    "GL_NV_register_combiners GL_NV_register_combiners2 GL_NV_texture_shader";

const char kUsage[] =
    "usage: shadercheck [options] [FILE]...\n"
    "       shadercheck --help | --version\n"
    "\n"
    "Reads the whole text of each FILE (standard input when no FILE is given, or for \"-\"),\n"
    "parses it once with shaderparse against a recording GL and writes its error list to\n"
    "standard output. Each FILE is parsed on its own, from a clean state, in the order given.\n"
    "Whatever a parse itself prints appears before its error list.\n"
    "FILE must be a regular file; FILE, standard input and vs.1.0 include files are read up to\n"
    "16 MiB (16777216 bytes), a longer text is refused; the include files of one text hold at\n"
    "most 16 MiB together.\n"
    "\n"
    "options:\n"
    "  --format=plain            every message exactly as shaderparse_write_errors writes it\n"
    "                            (the default); with several FILEs a line \"FILE:\" comes\n"
    "                            before each error list that is not empty\n"
    "  --format=gnu              one diagnostic per message, as compilers write them:\n"
    "                            FILE:LINE:COLUMN: error: TEXT (the message gives a line and a\n"
    "                            character), FILE:LINE: error: TEXT (a line), FILE: error: TEXT\n"
    "                            (neither); \"warning:\" for vs.1.0 warnings; TEXT without the\n"
    "                            message's line prefix, its further lines indented below.\n"
    "                            Standard input is named <stdin>, a message from a vs.1.0\n"
    "                            include file names that file. When the GL refuses the\n"
    "                            translation of a vs.1.0 text, the diagnostic names the vs.1.0\n"
    "                            line that produced the refused line, \"in the !!VP1.0\n"
    "                            translation of this line\", without a column\n"
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
    "  --version                 show the version\n"
    "\n"
    "--trace and --translation take a single FILE.\n"
    "\n"
    "vs.1.0 include files are looked up relative to the working directory.\n"
    "\n"
    "exit status, the worst over all FILEs: 0 when the error lists are empty, 1 when one holds\n"
    "messages, 2 for a usage error, an unreadable FILE (the others are still checked) or an\n"
    "output that cannot be written; fatal errors of the parser\n"
    "(nesting beyond 1024 levels: 1, an expanded line beyond 4095 characters: 9, an internal\n"
    "scanner fault: 2) keep their own statuses and end the run after the error list is written,\n"
    "without the trace and the translation.\n";

enum class Format { Plain, Gnu };

struct Options {
    std::vector<std::string> files;
    Format format = Format::Plain;
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
            options.files.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "--version") {
            cli::AnswerHelpOrVersion(arg, kUsage, FLUID3D_VERSION);
        } else if (cli::OptionValue(arg, "--format", value)) {
            if (value != "plain" && value != "gnu") {
                cli::UsageError("unknown format '" + value + "' (plain or gnu)");
            }
            options.format = value == "gnu" ? Format::Gnu : Format::Plain;
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
    if (options.files.empty()) options.files.push_back("-");
    if (options.files.size() > 1 &&
        (!options.tracePath.empty() || !options.translationPath.empty())) {
        cli::UsageError("--trace and --translation take a single FILE");
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

// The text being checked: how its error list is written. Its fatal errors end the process
// through exit while parseRunning is set; the error list collected so far is then still
// written, by the handler below.
struct Check {
    Format format = Format::Plain;
    std::string name;     // the FILE as diagnostics name it
    bool header = false;  // plain format, several FILEs: "FILE:" before a list with messages
    bool vs10 = false;    // loader messages refer to the text's !!VP1.0 translation
};
Check current;
bool parseRunning = false;

void WriteErrorList() {
    char** messages = shaderparse_error_messages();
    if (current.format == Format::Gnu) {
        for (char** message = messages; *message != nullptr; ++message) {
            std::fputs(shadercheck::GnuDiagnostic(current.name, *message,
                                                  current.vs10 ? &translatedLineSources : nullptr)
                           .c_str(),
                       stdout);
        }
    } else {
        if (current.header && *messages != nullptr) std::printf("%s:\n", current.name.c_str());
        shaderparse_write_errors(stdout);
    }
    FinishOutput(stdout, "-");
}

void WriteErrorListAtFatalEnd() {
    if (parseRunning) {
        parseRunning = false;
        WriteErrorList();
    }
}

// Checks one FILE: 0 when its error list is empty, 1 when it holds messages, 2 when it cannot
// be read.
int CheckFile(const std::string& file, const Options& options, const recgl::Profile& profile) {
    std::string text, problem;
    if (!cli::ReadInput(file, kMaxProgramTextBytes, text, problem)) {
        cli::UsageMessage(problem);
        return cli::kUsageError;
    }
    FILE* trace = OpenOutput(options.tracePath);
    FILE* translation = OpenOutput(options.translationPath);
    recgl::Reset(profile);
    if (options.pendingGlError) recgl::SetPendingError(GL_INVALID_OPERATION);
    // A parse that stops before its own clearing appends to the list: start each one empty.
    parseErrors.Clear();

    // The text is used as a C string: it ends at its first zero byte, if any.
    const char* program = text.c_str();
    current.format = options.format;
    current.name = file == "-" && options.format == Format::Gnu ? "<stdin>" : file;
    current.header = options.files.size() > 1;
    current.vs10 = ProgramKindOf(program) == ProgramKind::Vs10Shader;
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

}  // namespace

int main(int argc, char** argv) {
    cli::SetToolName("shadercheck");
    const Options options = ParseOptions(argc, argv);

    recgl::Profile profile;
    profile.vendor = "shadercheck";
    profile.renderer = "recording GL";
    profile.extensions = options.extensions;
    profile.windowSystemExtensions = "";
    profile.integers[GL_MAX_GENERAL_COMBINERS_NV] = {
        static_cast<GLint>(options.maxGeneralCombiners)};
    profile.integers[GL_VERTEX_PROGRAM_BINDING_NV] = {static_cast<GLint>(options.boundProgram)};
    profile.rejectLoadAt = options.rejectLoadAt;

    // Registered after the error list was constructed, so it runs before the list is destroyed.
    std::atexit(WriteErrorListAtFatalEnd);
    int status = 0;
    for (const std::string& file : options.files) {
        status = std::max(status, CheckFile(file, options, profile));
    }
    return status;
}
