// The real fluid3d demo in a virtual X server: start-up reports, drawing driven by simulated
// mouse and keys, and the quit key. Pictures are judged by pixel statistics with margins.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
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
#include <vector>

namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void Sleep(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// Waits up to `seconds` for the child to end; its exit status, or -1 while it still runs.
int WaitForExit(pid_t pid, double seconds, bool* ended) {
    int status = 0;
    for (double waited = 0; waited < seconds; waited += 0.05) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            *ended = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        Sleep(0.05);
    }
    *ended = false;
    return -1;
}

// Asks the child to end (so that an X server removes its socket and lock file), then forces it.
void Stop(pid_t pid) {
    if (pid <= 0 || waitpid(pid, nullptr, WNOHANG) != 0) {
        return;
    }
    kill(pid, SIGTERM);
    bool ended = false;
    WaitForExit(pid, 5, &ended);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

// An X server of our own on a display number it picks itself (-displayfd), ended with the test.
class VirtualDisplay {
public:
    VirtualDisplay() {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
                   "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c;
        while (poll(&p, 1, 20000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') {
            number.push_back(c);
        }
        close(fds[0]);
        if (!number.empty()) name_ = ":" + number;
    }
    ~VirtualDisplay() { Stop(pid_); }
    const std::string& Name() const { return name_; }  // "" when the server did not start

private:
    pid_t pid_ = -1;
    std::string name_;
};

// fluid3d started in its own directory, output captured to files.
class DemoProcess {
public:
    DemoProcess(const std::string& display, const std::string& tag)
        : out_("demo_xvfb_" + tag + "_" + std::to_string(getpid()) + ".out"),
          err_("demo_xvfb_" + tag + "_" + std::to_string(getpid()) + ".err") {
        const std::string outPath = Absolute(out_), errPath = Absolute(err_);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
            dup2(open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            setenv("DISPLAY", display.c_str(), 1);
            if (chdir(FLUID3D_DIR) != 0) _exit(126);
            execl(FLUID3D_PATH, "fluid3d", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~DemoProcess() {
        Stop(pid_);
        remove(out_.c_str());
        remove(err_.c_str());
    }
    pid_t Pid() const { return pid_; }
    std::string Out() const { return ReadFile(out_); }
    std::string Err() const { return ReadFile(err_); }

private:
    static std::string Absolute(const std::string& name) {
        char cwd[4096];
        return std::string(getcwd(cwd, sizeof cwd) ? cwd : ".") + "/" + name;
    }
    std::string out_, err_;
    pid_t pid_ = -1;
};

// Output of a shell command run against the display.
std::string Shell(const std::string& display, const std::string& command) {
    std::string output;
    FILE* pipe = popen(("DISPLAY=" + display + " " + command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    pclose(pipe);
    return output;
}

std::string FindDemoWindow(const std::string& display) {
    std::string id =
        Shell(display, "timeout 30 xdotool search --sync --onlyvisible --name '^3D volume rendering$'");
    const size_t end = id.find('\n');
    return end == std::string::npos ? id : id.substr(0, end);
}

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* At(int x, int y) const { return &rgb[(y * width + x) * 3]; }
};

// The window's content, read as a binary PPM.
Picture Screenshot(const std::string& display, const std::string& window) {
    const std::string ppm = Shell(display, "import -window " + window + " -depth 8 ppm:-");
    Picture picture;
    std::istringstream in(ppm);
    std::string magic;
    int maxValue = 0;
    in >> magic >> picture.width >> picture.height >> maxValue;
    in.get();
    const size_t bytes = static_cast<size_t>(picture.width) * picture.height * 3;
    if (magic != "P6" || maxValue != 255 || ppm.size() < bytes) return Picture();
    picture.rgb.assign(ppm.end() - bytes, ppm.end());
    return picture;
}

bool Dark(const unsigned char* p) { return p[0] < 40 && p[1] < 40 && p[2] < 40; }
bool Grey(const unsigned char* p) {
    return std::abs(p[0] - p[1]) < 20 && std::abs(p[1] - p[2]) < 20 && std::abs(p[0] - p[2]) < 20;
}
bool PaleBlue(const unsigned char* p) { return p[2] >= 80 && p[2] > p[0] + 25; }

struct Region {
    int count = 0;
    double centreX = 0, centreY = 0;
};

// Pixels that are lit in `picture` but were dark in `empty` (the fluid, not the cube's lines).
Region Fluid(const Picture& picture, const Picture& empty) {
    Region region;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            if (!Dark(picture.At(x, y)) && Dark(empty.At(x, y))) {
                ++region.count;
                region.centreX += x;
                region.centreY += y;
            }
        }
    }
    if (region.count > 0) {
        region.centreX /= region.count;
        region.centreY /= region.count;
    }
    return region;
}

// Presses button b at (x0, y), drags in small steps, one every 40 ms, to (x1, y), and releases
// the button `hold` seconds later.
void Drag(const std::string& display, const std::string& window, int button, int x0, int x1,
          int y, double hold) {
    std::string command = "xdotool mousemove --window " + window + " " + std::to_string(x0) +
                          " " + std::to_string(y) + " mousedown " + std::to_string(button);
    const int step = x1 >= x0 ? 2 : -2;
    for (int x = x0; x != x1; x += step) {
        command += " sleep 0.04 mousemove --window " + window + " " + std::to_string(x + step) +
                   " " + std::to_string(y);
    }
    command += " sleep " + std::to_string(hold) + " mouseup " + std::to_string(button);
    Shell(display, command);
}

void Quit(const std::string& display, const std::string& window) {
    Shell(display, "xdotool mousemove --window " + window + " 250 250 key q");
}

TEST(DemoXvfbTest, ReportsTheImplementationAndQuitsWithStatusZero) {
    VirtualDisplay display;
    ASSERT_NE(display.Name(), "") << "Xvfb did not start";
    DemoProcess demo(display.Name(), "report");
    const std::string window = FindDemoWindow(display.Name());
    ASSERT_NE(window, "") << demo.Err();
    Sleep(3);  // let it run

    Quit(display.Name(), window);
    bool ended = false;
    EXPECT_EQ(WaitForExit(demo.Pid(), 15, &ended), 0);
    EXPECT_TRUE(ended);

    // Mesa has no GL_NV_point_sprite; the demo says so and runs on.
    EXPECT_THAT(demo.Err(), HasSubstr("Error - required extensions were not supported: "));
    EXPECT_THAT(demo.Err(), HasSubstr("GL_NV_point_sprite "));
    std::istringstream out(demo.Out());
    std::vector<std::string> lines;
    for (std::string line; std::getline(out, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 5u) << demo.Out();
    EXPECT_THAT(lines[0], MatchesRegex("Vendor:   .+"));
    EXPECT_THAT(lines[1], MatchesRegex("Renderer: .+"));
    EXPECT_THAT(lines[2], MatchesRegex("Version:  [0-9]+\\.[0-9]+.*"));
    EXPECT_THAT(lines[3], MatchesRegex("Extensions: .*GL_EXT_point_parameters.*"));
    EXPECT_THAT(lines[4], MatchesRegex("Max 3D texture size = [1-9][0-9]*"));
}

TEST(DemoXvfbTest, PouredDensityGlowsMovesAndTurnsWithTheView) {
    VirtualDisplay display;
    ASSERT_NE(display.Name(), "") << "Xvfb did not start";
    DemoProcess demo(display.Name(), "drive");
    const std::string window = FindDemoWindow(display.Name());
    ASSERT_NE(window, "") << demo.Err();
    Sleep(1.5);

    // Nothing poured: black apart from the white wire cube.
    const Picture empty = Screenshot(display.Name(), window);
    // The visible part of the 500 x 500 window (its corner may lie just off the screen).
    ASSERT_GE(empty.width, 490);
    ASSERT_GE(empty.height, 490);
    int lines = 0, coloured = 0;
    for (int y = 0; y < empty.height; ++y) {
        for (int x = 0; x < empty.width; ++x) {
            const unsigned char* p = empty.At(x, y);
            if (!Dark(p)) {
                Grey(p) && p[0] > 150 ? ++lines : ++coloured;
            }
        }
    }
    EXPECT_GT(lines, 1000);
    EXPECT_LT(lines, 20000);
    EXPECT_EQ(coloured, 0);

    // A right drag in the middle pours density there: a pale-blue glow near the middle.
    Drag(display.Name(), window, 3, 240, 260, 250, 1.0);
    Sleep(1);
    const Picture poured = Screenshot(display.Name(), window);
    const Region glow = Fluid(poured, empty);
    int paleBlue = 0;
    for (int y = 150; y < 350; ++y) {
        for (int x = 150; x < 350; ++x) paleBlue += PaleBlue(poured.At(x, y));
    }
    EXPECT_GT(paleBlue, 100);
    EXPECT_GT(glow.count, 300);
    EXPECT_NEAR(glow.centreX, 250, 60);
    EXPECT_NEAR(glow.centreY, 250, 60);

    // A gentle left drag to the right pushes it to the right.
    Drag(display.Name(), window, 1, 244, 262, 250, 0.2);
    Sleep(1.5);
    const Region pushed = Fluid(Screenshot(display.Name(), window), empty);
    EXPECT_GT(pushed.count, 300);
    EXPECT_GT(pushed.centreX, glow.centreX + 8);

    // 'a' turns the view: many pixels of the cube's lines go dark (the fluid only brightens).
    Shell(display.Name(), "xdotool mousemove --window " + window +
                              " 250 250 key --delay 20 --repeat 40 a");
    Sleep(1);
    const Picture turned = Screenshot(display.Name(), window);
    int moved = 0;
    for (int y = 0; y < empty.height; ++y) {
        for (int x = 0; x < empty.width; ++x) {
            moved += !Dark(empty.At(x, y)) && Dark(turned.At(x, y));
        }
    }
    EXPECT_GT(moved, lines / 3);

    Quit(display.Name(), window);
    bool ended = false;
    EXPECT_EQ(WaitForExit(demo.Pid(), 15, &ended), 0);
    EXPECT_TRUE(ended);
}

}  // namespace
