// The installed tree, installed once into a temporary prefix: its files, the parse library's
// exports, and programs built against it with pkg-config and with find_package.
#include <gtest/gtest.h>

#include <stdlib.h>

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

TEST_F(Installed, FilesAreProgramsLibrariesHeaderImageAndPackageFiles) {
    // The exported-targets file per build type is named after the build type.
    const RunResult files = Command("cd " + prefix_ +
                                    " && find . -type f -o -type l | sed -e 's|^\\./||' "
                                    "-e 's|Targets-[a-z]*\\.cmake$|Targets-CONFIG.cmake|' | sort");
    const std::string lib = LIBDIR;
    EXPECT_EQ(files.out,
              "bin/fluid3d\nbin/fluidsim\nbin/shadercheck\n"
              "include/shaderparse/shaderparse.h\n" +
                  lib + "/cmake/shaderparse/shaderparseConfig.cmake\n" + lib +
                  "/cmake/shaderparse/shaderparseConfigVersion.cmake\n" + lib +
                  "/cmake/shaderparse/shaderparseTargets-CONFIG.cmake\n" + lib +
                  "/cmake/shaderparse/shaderparseTargets.cmake\n" + lib + "/libfluid3d.so\n" + lib +
                  "/libshaderparse.so\n" + lib + "/libshaderparse.so.1\n" + lib +
                  "/libshaderparse.so.1.0.0\n" + lib +
                  "/pkgconfig/shaderparse.pc\nshare/fluid3d/particle.bmp\n");
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
TEST_F(Installed, CProgramBuildsWithPkgConfigAndRuns) {
    const std::string env = "PKG_CONFIG_PATH=" + prefix_ + "/" + LIBDIR + "/pkgconfig";
    const std::string exe = prefix_ + "/c_consumer";
    const RunResult build =
        Command(env + " && export PKG_CONFIG_PATH && " + C_COMPILER +
                " -std=c99 -Wall -Wextra -pedantic -Werror -o " + exe + " " + CONSUMERS_DIR +
                "/consumer_c/consumer.c $(pkg-config --cflags " +
                "--libs shaderparse) -Wl,-rpath,$(pkg-config --variable=libdir " + "shaderparse)");
    ASSERT_EQ(build.status, 0) << build.out << build.err;
    const RunResult run = Command(exe);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "NULL string passed to shaderparseunable to initialize GL_NV_register_combiners\n"
              "2 messages\n");
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

}  // namespace
