// A configuration for users who only want the programs: BUILD_TESTING=OFF with GoogleTest and
// Google Benchmark made unfindable still configures and builds every program and library, and
// builds no test.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

#include "tests/support/test_support.h"

namespace {

using testsupport::RunResult;

TEST(BuildWithoutTestsTest, ProgramsAndLibrariesBuildWithoutTheTestPackages) {
    std::string pattern = ::testing::TempDir() + "fluid3d_notest_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::string build = pattern;
    const RunResult configure =
        testsupport::Run(std::string(CMAKE_COMMAND) + " -S " + SOURCE_DIR + " -B " + build +
                         " -DBUILD_TESTING=OFF -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON"
                         " -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON");
    ASSERT_EQ(configure.status, 0) << configure.out << configure.err;
    const RunResult make =
        testsupport::Run(std::string(CMAKE_COMMAND) + " --build " + build + " -j2");
    ASSERT_EQ(make.status, 0) << make.out << make.err;
    // What was built: the programs and the two shared libraries, and no test or benchmark.
    EXPECT_EQ(testsupport::Run("cd " + build + " && ls bin/fluid3d bin/fluidsim bin/shadercheck " +
                               "lib/libfluid3d.so lib/libshaderparse.so")
                  .status,
              0);
    EXPECT_EQ(testsupport::Run("find " + build +
                               " -type f -perm -u+x \\( -name '*_test' -o -name '*_bench' \\)")
                  .out,
              "");
    testsupport::Run("rm -rf " + build);
}

}  // namespace
