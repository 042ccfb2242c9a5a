#include "tools/cli/cli.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#include "platform/read_file.h"

namespace cli {
namespace {

std::string toolName = "tool";

}  // namespace

void SetToolName(const char* name) { toolName = name; }

void UsageMessage(const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", toolName.c_str(), message.c_str(),
                 toolName.c_str());
}

void UsageError(const std::string& message) {
    UsageMessage(message);
    std::exit(kUsageError);
}

void AnswerHelpOrVersion(const std::string& arg, const char* usage, const char* version) {
    if (arg == "--help") {
        std::fputs(usage, stdout);
    } else if (arg == "--version") {
        std::printf("%s %s\n", toolName.c_str(), version);
    } else {
        return;
    }
    std::exit(0);
}

long ParseNumber(const std::string& option, const std::string& value, long min, long max) {
    errno = 0;
    char* end = nullptr;
    long number = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || errno == ERANGE || number < min || number > max) {
        UsageError("invalid value for " + option + ": '" + value + "'");
    }
    return number;
}

bool OptionValue(const std::string& arg, const char* name, std::string& value) {
    std::string prefix = std::string(name) + "=";
    if (arg.compare(0, prefix.size(), prefix) != 0) return false;
    value = arg.substr(prefix.size());
    return true;
}

bool ReadInput(const std::string& file, size_t maxBytes, std::string& text, std::string& problem) {
    const bool standardInput = file == "-";
    const platform::ReadResult result =
        standardInput ? platform::ReadStream(STDIN_FILENO, maxBytes, text)
                      : platform::ReadRegularFile(file.c_str(), maxBytes, text);
    const std::string name = standardInput ? "standard input" : "'" + file + "'";
    switch (result.status) {
        case platform::ReadStatus::Ok:
            return true;
        case platform::ReadStatus::CannotOpen:
            problem = "cannot open " + name + ": " + std::strerror(result.error);
            return false;
        case platform::ReadStatus::NotRegular:
        case platform::ReadStatus::TooLarge:
            problem = name + " " + platform::ReadFailureText(result, maxBytes);
            return false;
        default:
            problem = "cannot read " + name;
            return false;
    }
}

std::string ReadInput(const std::string& file, size_t maxBytes) {
    std::string text, problem;
    if (!ReadInput(file, maxBytes, text, problem)) UsageError(problem);
    return text;
}

}  // namespace cli
