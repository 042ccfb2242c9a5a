// Bounded whole-file reading for the program's inputs: only regular files are read, and never
// more than a cap, so that a device, a FIFO or an endless stream can neither hang a program nor
// exhaust its memory.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

enum class ReadStatus {
    Ok,
    CannotOpen,  // no such file, no permission, ...: `error` holds errno
    NotRegular,  // a directory, FIFO, device or socket: refused without reading
    StatFailed,  // opened, but its kind and size could not be had: `error` holds errno
    TooLarge,    // more than the cap
    ReadFailed,  // a read error: `error` holds errno
};

struct ReadResult {
    ReadStatus status = ReadStatus::Ok;
    int error = 0;
};

// Reads the whole regular file at path into bytes (replacing its contents). The file is opened
// without blocking, so a FIFO without a writer is refused at once rather than waited for.
ReadResult ReadRegularFile(const char* path, size_t maxBytes, std::string& bytes);

// Reads the open descriptor fd (a pipe or terminal too) to its end into bytes; TooLarge as soon
// as more than maxBytes arrive, without waiting for the end.
ReadResult ReadStream(int fd, size_t maxBytes, std::string& bytes);

// What went wrong, for a message after the file's name: "is not a regular file", "is larger
// than 16777216 bytes", or the system's text for errno. Empty for Ok.
std::string ReadFailureText(const ReadResult& result, size_t maxBytes);

}  // namespace platform
