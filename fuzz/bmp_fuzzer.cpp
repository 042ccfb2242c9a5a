// Fuzzes LoadBmpImage: every input is written to a private file that the loader then reads.
// Besides the sanitizers' checks, the loader's contract is checked: a record with positive
// sizes whose pixel block reaches 3 * width * height bytes and no message, or no record and
// exactly one message titled "Error".
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
