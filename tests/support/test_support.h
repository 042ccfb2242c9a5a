// Helpers for tests that run built programs, some of them in a virtual X server.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

std::string ReadFile(const std::string& path);

// A fresh directory under $TMPDIR (or /tmp) for special files: FIFOs, sparse files, links. The
// object removes what it made and the directory.
class ScratchDir {
  public:
    explicit ScratchDir(const std::string& prefix);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& Path() const { return dir_; }
    // Each returns the new file's path, or "" when it could not be made.
    std::string Fifo(const std::string& name);  // without a writer: opening it to read waits
    std::string SparseFile(const std::string& name, long long size, const std::string& start = "");
    std::string Link(const std::string& name, const std::string& target);

  private:
    std::string Made(const std::string& name, bool ok);
    std::string dir_;
    std::vector<std::string> files_;
};

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

// 8-bit RGB pixels, rows from the top.
struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* At(int x, int y) const { return &rgb[(size_t(y) * width + x) * 3]; }
};

// An Xvfb server of its own on a free display number, stopped when the object goes.
class VirtualDisplay {
  public:
    VirtualDisplay();
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;
    const std::string& Name() const { return name_; }  // ":N", or "" when the server did not start

  private:
    pid_t pid_ = -1;
    std::string name_;
};

// A program (with one optional argument) started in `dir` on an Xvfb server of its own, with
// its window found by exact title (waiting up to 30 s). Standard output and error go to files;
// the object stops the program and the server and removes the files.
class ProgramOnDisplay {
  public:
    ProgramOnDisplay(const char* dir, const char* program, const char* arg,
                     const std::string& title);
    ~ProgramOnDisplay();
    const std::string& Window() const { return window_; }  // "" when it did not appear
    // Standard output of a shell command run against the display.
    std::string Shell(const std::string& command) const;
    Picture Screenshot() const;
    int WaitForExit(double seconds) { return testsupport::WaitForExit(pid_, seconds); }
    std::string Out() const { return ReadFile(out_); }
    std::string Err() const { return ReadFile(err_); }

  private:
    VirtualDisplay xvfb_;
    pid_t pid_ = -1;
    std::string display_, window_, out_, err_;
};

}  // namespace testsupport
