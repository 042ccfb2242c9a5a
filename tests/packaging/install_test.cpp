// The installed tree, installed once into a temporary prefix: its files, the parse library's
// exports, and programs built against it with pkg-config and with find_package.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

#include "tests/support/test_support.h"

namespace {

using testsupport::RunResult;

// testsupport::Run under a name that testing::Test::Run does not hide inside the fixture.
RunResult Command(const std::string& command) { return testsupport::Run(command); }

class Installed : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::string pattern = ::testing::TempDir() + "fluid3d_prefix_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        prefix_ = pattern;
        const RunResult install = Command(std::string(CMAKE_COMMAND) + " --install " + BUILD_DIR +
                                          " --prefix " + prefix_);
        ASSERT_EQ(install.status, 0) << install.out << install.err;
    }
    static void TearDownTestSuite() { Command("rm -rf " + prefix_); }

    static std::string prefix_;
};
std::string Installed::prefix_;

// Every installed file and link, relative to the prefix, sorted, one per line; the
// exported-targets file of the build type is named with CONFIG in place of the build type.
std::string ExpectedFiles() {
    const std::string lib = LIBDIR;
    std::string list;
    for (const std::string& file : std::initializer_list<std::string>{
             "bin/fluid3d", "bin/fluidsim", "bin/shadercheck", "bin/shaderview",
             "include/shaderparse/shaderparse.h",
             lib + "/cmake/shaderparse/shaderparseConfig.cmake",
             lib + "/cmake/shaderparse/shaderparseConfigVersion.cmake",
             lib + "/cmake/shaderparse/shaderparseTargets-CONFIG.cmake",
             lib + "/cmake/shaderparse/shaderparseTargets.cmake", lib + "/libfluid3d.so",
             lib + "/libfluid3d_legacygl.so", lib + "/libshaderparse.so",
             lib + "/libshaderparse.so.1", lib + "/libshaderparse.so.1.0.0",
             lib + "/pkgconfig/shaderparse.pc", std::string("share/fluid3d/particle.bmp")}) {
        list += file + "\n";
    }
    return list;
}
const char kNormalise[] = "sed -e 's|Targets-[a-z]*\\.cmake$|Targets-CONFIG.cmake|' | sort";

TEST_F(Installed, FilesAreProgramsLibrariesHeaderImageAndPackageFiles) {
    EXPECT_EQ(
        Command("cd " + prefix_ + " && find . -type f -o -type l | sed 's|^\\./||' | " + kNormalise)
            .out,
        ExpectedFiles());
}

TEST_F(Installed, ParseLibraryExportsItsThreeFunctionsOnlyUnderAVersionedName) {
    const std::string library = prefix_ + "/" + LIBDIR + "/libshaderparse.so";
    EXPECT_EQ(Command("nm -D --defined-only --format=just-symbols " + library + " | sort").out,
              "shaderparse\nshaderparse_error_messages\nshaderparse_write_errors\n");
    EXPECT_EQ(Command("readelf -d " + library + " | grep -o 'soname: .*'").out,
              "soname: [libshaderparse.so.1]\n");
    // The development name and the run-time name lead to the same file.
    EXPECT_EQ(Command("readlink -f " + library).out, Command("readlink -f " + library + ".1").out);
}

// The parse library reaches GL by itself: with no context current, the register-combiner text
// fails to initialise its extension, after the null text's message.
// The pkg-config file names paths relative to its own place: a moved copy of the tree serves
// as well as the tree itself.
TEST_F(Installed, CProgramBuildsWithPkgConfigAndRunsAlsoFromAMovedTree) {
    std::string pattern = ::testing::TempDir() + "fluid3d_moved_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::string moved = pattern + "/tree";
    ASSERT_EQ(Command("cp -a " + prefix_ + " " + moved).status, 0);
    for (const std::string& tree : {prefix_, moved}) {
        const std::string pkgConfig =
            "PKG_CONFIG_PATH=" + tree + "/" + LIBDIR + "/pkgconfig pkg-config ";
        std::string libdir = Command(pkgConfig + "--variable=libdir shaderparse").out;
        if (!libdir.empty() && libdir.back() == '\n') libdir.pop_back();
        EXPECT_EQ(libdir.rfind(tree + "/", 0), 0u) << libdir;
        const std::string exe = tree + "/c_consumer";
        const RunResult build =
            Command(std::string(C_COMPILER) + " -std=c99 -Wall -Wextra -pedantic -Werror -o " +
                    exe + " " + CONSUMERS_DIR + "/consumer_c/consumer.c $(" + pkgConfig +
                    "--cflags --libs shaderparse) -Wl,-rpath," + libdir);
        ASSERT_EQ(build.status, 0) << build.out << build.err;
        const RunResult run = Command(exe);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out,
                  "NULL string passed to shaderparseunable to initialize "
                  "GL_NV_register_combiners\n2 messages\n");
    }
    Command("rm -rf " + pattern);
}

// With a context of its own on a virtual display, a program loads a vertex state program through
// the library even where the driver lacks the extension: the layer built into the library
// supplies it (switched off, the extension cannot be initialised) and checks the text.
TEST_F(Installed, ProgramWithItsOwnContextLoadsLegacyProgramsThroughTheLayer) {
    const std::string pkgConfig =
        "PKG_CONFIG_PATH=" + prefix_ + "/" + LIBDIR + "/pkgconfig pkg-config ";
    const std::string exe = prefix_ + "/gl_consumer";
    const RunResult build =
        Command(std::string(C_COMPILER) + " -std=c99 -Wall -Wextra -pedantic -Werror -o " + exe +
                " " + CONSUMERS_DIR + "/consumer_gl/consumer_gl.c $(" + pkgConfig +
                "--cflags --libs shaderparse gl x11) -Wl,-rpath,$(" + pkgConfig +
                "--variable=libdir shaderparse)");
    ASSERT_EQ(build.status, 0) << build.out << build.err;
    const struct {
        const char* environment;
        const char* text;
        const char* out;
    } cases[] = {
        {"", "!!VSP1.0\nMOV c[1], v[0];\nEND\n", "0 messages\n"},
        {"", "!!VSP1.0\nMOV c[1], q;\nEND\n", "error at line 2 character 11\n"},
        {"FLUID3D_LEGACYGL=0", "!!VSP1.0\nMOV c[1], v[0];\nEND\n",
         "unable to initialize GL_NV_vertex_program1 messages\n"},
    };
    for (const auto& c : cases) {
        const RunResult run = Command(std::string("env ") + c.environment + " xvfb-run -a " + exe +
                                      " '" + c.text + "'");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out.substr(0, std::string(c.out).size()), c.out) << c.text;
    }
}

TEST_F(Installed, CmakeProgramBuildsWithFindPackageAndRuns) {
    const std::string build = prefix_ + "/cmake_consumer";
    const RunResult configure =
        Command(std::string(CMAKE_COMMAND) + " -S " + CONSUMERS_DIR + "/consumer_cmake -B " +
                build + " -DCMAKE_PREFIX_PATH=" + prefix_ + " -DCMAKE_BUILD_TYPE=Release");
    ASSERT_EQ(configure.status, 0) << configure.out << configure.err;
    const RunResult make = Command(std::string(CMAKE_COMMAND) + " --build " + build);
    ASSERT_EQ(make.status, 0) << make.out << make.err;
    const RunResult run = Command(build + "/consumer '!!TS1.0 nop();' 'VS.1.0 mov oPos, v0'");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "[unable to initialize GL_NV_texture_shader\n]\n"
              "[unable to initialize GL_NV_vertex_program]\n");
    EXPECT_EQ(run.err,
              "unable to initialize GL_NV_texture_shader\nunable to initialize "
              "GL_NV_vertex_program");
}

// Started from an empty folder on a virtual display, the installed demo takes the installed
// image; an image in the working directory comes first, even a broken one; a copy of the
// executable and its libraries outside the installed tree has no image to fall back on; a host that
// loads the installed library finds the image beside the library. The image loader's messages
// ("Error: ...") tell which file was read.
TEST_F(Installed, DemoStartedElsewhereFindsItsImageAfterTheWorkingDirectorys) {
    const std::string installed = prefix_ + "/bin/fluid3d",
                      copied = prefix_ + "/outside/bin/fluid3d";
    ASSERT_EQ(Command("mkdir -p " + prefix_ + "/outside/bin " + prefix_ + "/broken " + prefix_ +
                      "/empty && cp " + installed + " " + copied + " && cp -a " + prefix_ + "/" +
                      LIBDIR + " " + prefix_ + "/outside/")
                  .status,
              0);
    std::ofstream(prefix_ + "/broken/particle.bmp") << "BM";
    const struct {
        std::string dir, program, arg;
        const char* message;  // the loader's message on standard error; null: none
    } cases[] = {
        {prefix_ + "/empty", installed, "", nullptr},
        {prefix_ + "/broken", installed, "", "Error: DIB file is too short for its headers."},
        {prefix_ + "/empty", copied, "", "Error: Failed to open DIB file particle.bmp."},
        {prefix_ + "/empty", HOST_PROBE, prefix_ + "/" + LIBDIR + "/libfluid3d.so", nullptr},
    };
    for (const auto& c : cases) {
        testsupport::ProgramOnDisplay demo(c.dir.c_str(), c.program.c_str(),
                                           c.arg.empty() ? nullptr : c.arg.c_str(),
                                           "3D volume rendering");
        ASSERT_NE(demo.Window(), "") << demo.Err();
        demo.Shell("xdotool windowfocus --sync " + demo.Window() + " key q");
        EXPECT_EQ(demo.WaitForExit(20), 0) << c.program;
        if (c.message == nullptr) {
            EXPECT_EQ(demo.Err().find("Error: "), std::string::npos) << demo.Err();
        } else {
            EXPECT_NE(demo.Err().find(c.message), std::string::npos) << c.dir << "\n" << demo.Err();
        }
    }
}

// Every installed program, later ones included, answers --help with its usage and --version
// with its name and the project's version, without a display.
TEST_F(Installed, EveryProgramAnswersHelpAndVersionWithoutADisplay) {
    std::istringstream programs(Command("ls " + prefix_ + "/bin").out);
    int count = 0;
    for (std::string name; std::getline(programs, name); ++count) {
        const std::string program = "env -u DISPLAY " + prefix_ + "/bin/" + name;
        const RunResult version = Command(program + " --version");
        EXPECT_EQ(version.status, 0) << name;
        EXPECT_EQ(version.out, name + " " + PROJECT_VERSION + "\n");
        const RunResult help = Command(program + " --help");
        EXPECT_EQ(help.status, 0) << name;
        EXPECT_EQ(help.out.rfind("usage: " + name + " ", 0), 0u) << help.out;
    }
    EXPECT_EQ(count, 4);
}

// The package holds the installed tree under /usr and declares the shared libraries that its
// programs and libraries need.
TEST(DebianPackageTest, HoldsTheInstalledTreeAndDeclaresItsLibraries) {
    std::string pattern = ::testing::TempDir() + "fluid3d_deb_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::string dir = pattern;
    const RunResult make = Command(std::string(CPACK_COMMAND) + " -G DEB -B " + dir + " --config " +
                                   BUILD_DIR + "/CPackConfig.cmake");
    ASSERT_EQ(make.status, 0) << make.out << make.err;
    const std::string deb = dir + "/fluid3d_" + PROJECT_VERSION + "_*.deb";  // any architecture
    // dpkg-deb -c: permissions, owner, size, date, time, path [-> target].
    EXPECT_EQ(Command("dpkg-deb -c " + deb +
                      " | awk '$1 !~ /^d/ {print $6}' | sed 's|^\\./usr/||' | " + kNormalise)
                  .out,
              ExpectedFiles());
    const std::string depends = Command("dpkg-deb -f " + deb + " Depends").out;
    for (const char* package : {"libc6", "libstdc++6", "libopengl0", "libglx0", "libglut3"}) {
        EXPECT_NE(depends.find(package), std::string::npos) << package << " in " << depends;
    }
    Command("rm -rf " + dir);
}

}  // namespace
