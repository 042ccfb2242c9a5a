// A real host: host_probe loads libfluid3d.so under Xvfb and starts the demo; 'q' typed into
// the demo window ends the process, which tells the host through its at-exit notifier.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

// Starts Xvfb on a free display, whose number it writes to -displayfd followed by a line end.
// The pipe stays open while the server runs: it writes the number in more than one piece.
pid_t StartXvfb(std::string& display, int& numberPipe) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24",
               "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    numberPipe = fds[0];
    display = ":";
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') display += c;
    return display.size() > 1 ? pid : -1;
}

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

// Waits up to seconds for pid; returns its wait status, or -1 after killing it.
int WaitFor(pid_t pid, int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

TEST(HostIntegrationTest, QuitKeyEndsTheDemoAndNotifiesTheHostOnce) {
    std::string display;
    int numberPipe = -1;
    pid_t xvfb = StartXvfb(display, numberPipe);
    ASSERT_GT(xvfb, 0) << "Xvfb did not start";
    setenv("DISPLAY", display.c_str(), 1);

    const std::string output = ::testing::TempDir() + "host_probe_output";
    pid_t host = fork();
    if (host == 0) {
        if (chdir(DEMO_DIR) != 0 || !freopen(output.c_str(), "w", stdout)) _exit(126);
        execl(HOST_PROBE, HOST_PROBE, FLUID3D_LIBRARY, static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(host, 0);

    std::string window = Shell("timeout 30 xdotool search --sync --onlyvisible --name "
                               "'^3D volume rendering$' | head -n 1");
    EXPECT_NE("", window) << "the demo window did not appear";
    if (!window.empty()) {
        window.erase(window.find_last_not_of("\n") + 1);
        Shell("xdotool windowfocus --sync " + window + " key q");
    }
    int status = WaitFor(host, 30);
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
    close(numberPipe);

    ASSERT_TRUE(WIFEXITED(status)) << "the demo did not end";
    EXPECT_EQ(0, WEXITSTATUS(status));
    std::ifstream in(output);
    std::stringstream content;
    content << in.rdbuf();
    const std::string text = content.str();
    const size_t first = text.find("at-exit ");
    ASSERT_NE(std::string::npos, first) << text;
    EXPECT_EQ(std::string::npos, text.find("at-exit ", first + 1)) << text;
    EXPECT_EQ(0u, text.compare(first, 15, "at-exit 0x5eed\n")) << text;
}

TEST(HostIntegrationTest, LibraryExportsExactlyTheFourEntryPoints) {
    EXPECT_EQ("__zodiEffectEntryExit\n__zodiEffectEntryInit\n__zodiEffectRegisterAtExitNotifier\n"
              "__zodiEffectRegisterParseNotifier\n",
              Shell(std::string("nm -D --defined-only --format=just-symbols ") + FLUID3D_LIBRARY +
                    " | sort"));
}

}  // namespace
