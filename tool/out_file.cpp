// out_file.cpp - opening the files a run writes (the output file and the BIF
// files) without ever truncating a file the run reads.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tool/tool.h"

namespace {

FileIdentity identity_of(const struct stat &st) {
    if (!S_ISREG(st.st_mode)) return FileIdentity{};
    return FileIdentity{st.st_dev, st.st_ino, true};
}

}  // namespace

FileIdentity IdentityOfPath(const char *path) {
    struct stat st;
    if (!path || stat(path, &st) != 0) return FileIdentity{};
    return identity_of(st);
}

FileIdentity IdentityOfStream(FILE *stream) {
    struct stat st;
    if (!stream || fstat(fileno(stream), &st) != 0) return FileIdentity{};
    return identity_of(st);
}

bool SameFile(const FileIdentity &a, const FileIdentity &b) {
    return a.known && b.known && a.device == b.device && a.inode == b.inode;
}

FILE *OpenOutputStream(const char *path, const FileIdentity *keep, size_t count) {
    if (!path) return nullptr;
    // Opened without O_TRUNC and compared on the descriptor first, so a file
    // that must be kept is never touched, whatever the name leads to by then.
    const int fd = open(path, O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    struct stat st;
    bool ok = fstat(fd, &st) == 0;
    const FileIdentity opened = ok ? identity_of(st) : FileIdentity{};
    for (size_t i = 0; ok && keep && i < count; ++i) ok = !SameFile(opened, keep[i]);
    if (ok && S_ISREG(st.st_mode)) ok = ftruncate(fd, 0) == 0;
    FILE *stream = ok ? fdopen(fd, "w") : nullptr;
    if (!stream) close(fd);
    return stream;
}
