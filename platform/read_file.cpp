#include "platform/read_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

ReadResult ReadStream(int fd, size_t maxBytes, std::string& bytes) {
    bytes.clear();
    char chunk[65536];
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got == 0) return {};
        if (got < 0) {
            if (errno == EINTR) continue;
            return {ReadStatus::ReadFailed, errno};
        }
        if (static_cast<size_t>(got) > maxBytes - bytes.size()) {
            bytes.clear();
            return {ReadStatus::TooLarge, 0};
        }
        bytes.append(chunk, static_cast<size_t>(got));
    }
}

ReadResult ReadRegularFile(const char* path, size_t maxBytes, std::string& bytes) {
    bytes.clear();
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {ReadStatus::CannotOpen, errno};
    ReadResult result;
    struct stat info;
    if (fstat(fd, &info) != 0) {
        result = {ReadStatus::StatFailed, errno};
    } else if (!S_ISREG(info.st_mode)) {
        result = {ReadStatus::NotRegular, 0};
    } else if (static_cast<unsigned long long>(info.st_size) > maxBytes) {
        result = {ReadStatus::TooLarge, 0};  // known before reading anything
    } else {
        bytes.reserve(static_cast<size_t>(info.st_size));
        result = ReadStream(fd, maxBytes, bytes);  // the file may still grow while read
    }
    close(fd);
    return result;
}

std::string ReadFailureText(const ReadResult& result, size_t maxBytes) {
    switch (result.status) {
        case ReadStatus::Ok:
            return "";
        case ReadStatus::NotRegular:
            return "is not a regular file";
        case ReadStatus::TooLarge:
            return "is larger than " + std::to_string(maxBytes) + " bytes";
        case ReadStatus::CannotOpen:
        case ReadStatus::StatFailed:
        case ReadStatus::ReadFailed:
            break;
    }
    return std::strerror(result.error);
}

}  // namespace platform
