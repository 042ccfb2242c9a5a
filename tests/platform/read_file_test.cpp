// Bounded reading: regular files and streams up to the cap. (Directories, FIFOs and devices are
// refused in the tests of the programs that read through it.)
#include "platform/read_file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "tests/support/test_support.h"

namespace {

using platform::ReadStatus;

class ReadFileTest : public ::testing::Test {
  protected:
    testsupport::ScratchDir dir_{"read_file"};
};

TEST_F(ReadFileTest, RegularFilesUpToTheCap) {
    const std::string text = dir_.SparseFile("text", 5, std::string("ab\0cd", 5));
    std::string bytes = "old";
    EXPECT_EQ(platform::ReadRegularFile(text.c_str(), 5, bytes).status, ReadStatus::Ok);
    EXPECT_EQ(bytes, std::string("ab\0cd", 5));
    const platform::ReadResult over = platform::ReadRegularFile(text.c_str(), 4, bytes);
    EXPECT_EQ(over.status, ReadStatus::TooLarge);
    EXPECT_EQ(bytes, "");
    EXPECT_EQ(platform::ReadFailureText(over, 4), "is larger than 4 bytes");

    const platform::ReadResult missing =
        platform::ReadRegularFile((dir_.Path() + "/missing").c_str(), 5, bytes);
    EXPECT_EQ(missing.status, ReadStatus::CannotOpen);
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_EQ(platform::ReadFailureText(missing, 5), "No such file or directory");
}

TEST_F(ReadFileTest, StreamsStopAtTheCap) {
    EXPECT_EXIT(
        {
            alarm(10);
            const int zero = open("/dev/zero", O_RDONLY);
            std::string bytes;
            const platform::ReadResult r = platform::ReadStream(zero, 100000, bytes);
            std::exit(r.status == ReadStatus::TooLarge && bytes.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "abc", 3), 3);
    close(fds[1]);
    std::string bytes;
    EXPECT_EQ(platform::ReadStream(fds[0], 3, bytes).status, ReadStatus::Ok);
    EXPECT_EQ(bytes, "abc");
    close(fds[0]);
}

}  // namespace
