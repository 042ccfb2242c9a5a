// Helpers for tests that run built programs, some of them in a virtual X server.
#pragma once

#include <sys/types.h>

#include <string>

namespace testsupport {

std::string ReadFile(const std::string& path);

struct RunResult {
    int status = -1;  // exit status, or -1 when the command did not exit normally
    std::string out, err;
};

// Runs a shell command with `input` on standard input, capturing both output streams.
RunResult Run(const std::string& command, const std::string& input = "");

// Waits up to `seconds` for pid; its exit status (128 + signal when killed), or -1 while it runs.
int WaitForExit(pid_t pid, double seconds);

// Asks pid to end (SIGTERM, so an X server removes its lock), then forces it.
void Stop(pid_t pid);

// An Xvfb server of its own on a display number it picks itself, ended with the object.
class VirtualDisplay {
public:
    VirtualDisplay();
    ~VirtualDisplay();
    const std::string& Name() const { return name_; }  // "" when the server did not start
    // Standard output of `command` run with DISPLAY set to this server.
    std::string Shell(const std::string& command) const;
    // Starts program (with one optional argument) in dir, output to out and err; its pid.
    pid_t Start(const char* dir, const char* program, const char* arg, const std::string& out,
                const std::string& err) const;
    // The id of the first visible window titled exactly `title` (waits up to 30 s), or "".
    std::string FindWindow(const std::string& title) const;

private:
    pid_t pid_ = -1;
    std::string name_;
};

}  // namespace testsupport
