// Parses the texts given as arguments without a GL context and prints the error list: each
// stops before the list is cleared, so their messages add up.
#include <shaderparse/shaderparse.h>

#include <cstdio>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) shaderparse(argv[i]);
    char** messages = shaderparse_error_messages();
    for (char** message = messages; *message != nullptr; ++message) std::printf("[%s]\n", *message);
    return shaderparse_write_errors(stderr) == messages ? 0 : 3;
}
