// Fuzzes LoadBmpImage: every input is written to a private file that the loader then reads.
// Besides the sanitizers' checks, the loader's contract is checked: a record with positive
// sizes whose pixel block reaches 3 * width * height bytes and no message, or no record and
// exactly one message titled "Error".
//
// Run-length files can declare any size in a few bytes. Beyond the loader's pixel cap they are
// refused before memory is taken, and are loaded here like every other input; below it, a
// picture of more than 2^20 pixels takes milliseconds to clear and would spend the fuzzer's time
// writing memory, so those few sizes are skipped (the hostile-bitmap tests load them).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image/bmp_loader.h"
#include "platform/platform.h"

namespace {

std::string inputPath;
int inputFile = -1;
int messageCount = 0;
bool errorTitle = true;
volatile unsigned pixelSink;  // keeps the reads of the pixel block

void CountMessage(const char* title, const char* /*text*/) {
    ++messageCount;
    errorTitle = errorTitle && std::strcmp(title, "Error") == 0;
}

bool WriteInput(const uint8_t* data, size_t size) {
    if (ftruncate(inputFile, 0) != 0) return false;
    size_t done = 0;
    while (done < size) {
        ssize_t written = pwrite(inputFile, data + done, size - done, static_cast<off_t>(done));
        if (written <= 0) return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

uint32_t ReadLittle32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// True for an info-header run-length file whose picture has more than 2^20 pixels and no more
// than the loader takes.
bool LargeRunLengthPicture(const uint8_t* data, size_t size) {
    const size_t header = size >= 2 && data[0] == 'B' && data[1] == 'M' ? 14 : 0;
    if (size < header + 20 || ReadLittle32(data + header) != 40) return false;
    const uint32_t compression = ReadLittle32(data + header + 16);
    if (compression != 1 && compression != 2) return false;
    const int64_t width = int32_t(ReadLittle32(data + header + 4));
    const int64_t height = int32_t(ReadLittle32(data + header + 8));
    const int64_t pixels = std::abs(width) * std::abs(height);
    return pixels > (int64_t(1) << 20) && pixels <= int64_t(kBmpMaxPixels);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    // A file on disk costs milliseconds per input (truncation); memory-backed files do not.
    const char* dir = std::getenv("TMPDIR");
    if (access("/dev/shm", W_OK) == 0) dir = "/dev/shm";
    std::string name = std::string(dir && *dir ? dir : "/tmp") + "/fuzz_bmp_XXXXXX";
    inputFile = mkstemp(name.data());
    if (inputFile < 0) {
        std::perror("fuzz_bmp: cannot create the input file");
        std::abort();
    }
    // The file has no name once created, so that no run leaves it behind; the loader opens it
    // through the descriptor's link.
    unlink(name.c_str());
    inputPath = "/proc/self/fd/" + std::to_string(inputFile);
    platform::SetMessageSink(CountMessage);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (LargeRunLengthPicture(data, size)) return 0;
    if (!WriteInput(data, size)) std::abort();
    messageCount = 0;
    errorTitle = true;
    RgbImage* image = LoadBmpImage(inputPath.c_str());
    if (image == nullptr) {
        if (messageCount != 1 || !errorTitle) std::abort();  // a refusal tells the user once
        return 0;
    }
    if (messageCount != 0 || image->width <= 0 || image->height <= 0 || image->data == nullptr)
        std::abort();
    // Reading the first and the last byte lets the sanitizer check the size of the block.
    const size_t bytes = size_t(3) * size_t(image->width) * size_t(image->height);
    pixelSink = image->data[0] + image->data[bytes - 1];
    std::free(image->data);
    std::free(image);
    return 0;
}
