// Command-line helpers shared by the tools: "--name=VALUE" options, numbers with ranges, usage
// errors (exit status 2) and whole-file reads.
#pragma once

#include <cstddef>
#include <string>

namespace cli {

constexpr int kUsageError = 2;

// Names the tool in messages ("TOOL: message", "Try 'TOOL --help'.").
void SetToolName(const char* name);

// Prints the message and the --help hint to standard error.
void UsageMessage(const std::string& message);
// The same, then exits with kUsageError.
[[noreturn]] void UsageError(const std::string& message);

// A decimal integer in [min, max]; anything else is a usage error naming the option.
long ParseNumber(const std::string& option, const std::string& value, long min, long max);

// --help prints usage and --version "TOOL VERSION" to standard output, then the tool exits 0;
// any other argument returns.
void AnswerHelpOrVersion(const std::string& arg, const char* usage, const char* version);

// Returns the value of "--name=VALUE" in value when arg is that option.
bool OptionValue(const std::string& arg, const char* name, std::string& value);

// The whole regular file ("-": standard input) of at most maxBytes into text; false, with a
// problem naming the file and the reason, when it cannot be opened, is no regular file, is
// larger or fails to read.
bool ReadInput(const std::string& file, size_t maxBytes, std::string& text, std::string& problem);
// The same, with the problem a usage error.
std::string ReadInput(const std::string& file, size_t maxBytes);

}  // namespace cli
