#include "tests/support/test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace testsupport {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

ScratchDir::ScratchDir(const std::string& prefix) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "_XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) dir_ = pattern;
}

ScratchDir::~ScratchDir() {
    for (const std::string& file : files_) std::remove(file.c_str());
    if (!dir_.empty()) rmdir(dir_.c_str());
}

std::string ScratchDir::Made(const std::string& name, bool ok) {
    if (!ok) return "";
    files_.push_back(dir_ + "/" + name);
    return files_.back();
}

std::string ScratchDir::Fifo(const std::string& name) {
    return Made(name, mkfifo((dir_ + "/" + name).c_str(), 0600) == 0);
}

std::string ScratchDir::SparseFile(const std::string& name, long long size,
                                   const std::string& start) {
    const std::string path = dir_ + "/" + name;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return "";
    const bool ok = write(fd, start.data(), start.size()) == ssize_t(start.size()) &&
                    ftruncate(fd, off_t(size)) == 0;
    close(fd);
    return Made(name, ok);
}

std::string ScratchDir::Link(const std::string& name, const std::string& target) {
    return Made(name, symlink(target.c_str(), (dir_ + "/" + name).c_str()) == 0);
}

RunResult Run(const std::string& command, const std::string& input) {
    const std::string base = "run_" + std::to_string(getpid());
    std::ofstream(base + ".in", std::ios::binary) << input;
    // Grouped, so that the redirections apply to a whole pipeline.
    const std::string group =
        "{ " + command + "\n} <" + base + ".in >" + base + ".out 2>" + base + ".err";
    const int raw = system(group.c_str());
    RunResult result;
    result.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadFile(base + ".out");
    result.err = ReadFile(base + ".err");
    for (const char* suffix : {".in", ".out", ".err"}) std::remove((base + suffix).c_str());
    return result;
}

int WaitForExit(pid_t pid, double seconds) {
    int status = 0;
    for (double waited = 0; waited < seconds; waited += 0.05) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

void Stop(pid_t pid) {
    if (pid <= 0 || waitpid(pid, nullptr, WNOHANG) != 0) return;
    kill(pid, SIGTERM);
    if (WaitForExit(pid, 5) == -1) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

VirtualDisplay::VirtualDisplay() {
    // Xvfb picks a free display and writes its number, maybe in pieces, then a line end.
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
               "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 30000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number.push_back(c);
    close(fds[0]);
    if (!number.empty()) name_ = ":" + number;
}

VirtualDisplay::~VirtualDisplay() { Stop(pid_); }

ProgramOnDisplay::ProgramOnDisplay(const char* dir, const char* program, const char* arg,
                                   const std::string& title) {
    char cwd[4096];
    const std::string base =
        std::string(getcwd(cwd, sizeof cwd) ? cwd : ".") + "/program_" + std::to_string(getpid());
    out_ = base + ".out";
    err_ = base + ".err";
    display_ = xvfb_.Name();
    if (display_.empty()) return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        dup2(open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        setenv("DISPLAY", display_.c_str(), 1);
        if (chdir(dir) != 0) _exit(126);
        execl(program, program, arg, static_cast<char*>(nullptr));
        _exit(127);
    }
    const std::string ids =
        Shell("timeout 30 xdotool search --sync --onlyvisible --name '^" + title + "$'");
    window_ = ids.substr(0, ids.find('\n'));
}

ProgramOnDisplay::~ProgramOnDisplay() {
    Stop(pid_);
    std::remove(out_.c_str());
    std::remove(err_.c_str());
}

std::string ProgramOnDisplay::Shell(const std::string& command) const {
    std::string output;
    FILE* pipe = popen(("DISPLAY=" + display_ + " " + command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    pclose(pipe);
    return output;
}

Picture ProgramOnDisplay::Screenshot() const {
    const std::string ppm = Shell("import -window " + window_ + " -depth 8 ppm:-");
    Picture picture;
    std::istringstream in(ppm);
    std::string magic;
    int maxValue = 0;
    in >> magic >> picture.width >> picture.height >> maxValue;
    const size_t bytes = size_t(picture.width) * picture.height * 3;
    if (magic != "P6" || maxValue != 255 || ppm.size() < bytes) return Picture();
    picture.rgb.assign(ppm.end() - bytes, ppm.end());
    return picture;
}

}  // namespace testsupport
