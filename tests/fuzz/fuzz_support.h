// fuzz_support.h - helpers shared by the fuzz targets.
#ifndef GLOTTA_TESTS_FUZZ_SUPPORT_H
#define GLOTTA_TESTS_FUZZ_SUPPORT_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

// Aborts, so that libFuzzer keeps the input, when a property of a parser's
// answer does not hold.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            fprintf(stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__, #condition); \
            abort();                                                                           \
        }                                                                                      \
    } while (0)

namespace glotta_fuzz {

// The input followed by a NUL, the form the engine hands its readers (a
// document buffer has one spare byte for the terminator).
inline std::vector<unsigned char> Terminated(const uint8_t *data, size_t size) {
    std::vector<unsigned char> bytes(data, data + size);
    bytes.push_back('\0');
    return bytes;
}

// A private directory for readers that take a path, created on first use and
// kept for the life of the process (the files in it are rewritten per input).
inline const std::string &ScratchDir() {
    static const std::string dir = [] {
        const char *tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/glotta_fuzz_XXXXXX";
        if (!mkdtemp(pattern.data())) abort();
        return pattern;
    }();
    return dir;
}

// Writes `size` bytes to ScratchDir()/name and returns the path.
inline std::string WriteScratch(const std::string &name, const uint8_t *data, size_t size) {
    std::string path = ScratchDir() + "/" + name;
    FILE *file = fopen(path.c_str(), "wb");
    if (!file) abort();
    if (size && fwrite(data, 1, size, file) != size) abort();
    if (fclose(file) != 0) abort();
    return path;
}

}  // namespace glotta_fuzz

#endif
