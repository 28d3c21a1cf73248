// out_file.cpp - opening the files a run writes (the output file and the BIF
// files) without ever truncating a file the run reads or another run is
// writing, and noticing when writing them fails.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tool/tool.h"

namespace {

FileIdentity identity_of(const struct stat &st) {
    if (!S_ISREG(st.st_mode)) return FileIdentity{};
    return FileIdentity{st.st_dev, st.st_ino, true};
}

// Closes `fd` after a failed step of opening it; errno stays that of the
// step.
FILE *give_up(int fd) {
    const int error = errno;
    close(fd);
    errno = error;
    return nullptr;
}

// The reason a stream failed: writing its buffer once more gives the
// system's answer afresh; `fallback` when that attempt tells nothing.
int failure_reason(FILE *stream, int fallback) {
    errno = 0;
    if (fflush(stream) != 0 && errno != 0) return errno;
    return fallback;
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
    if (!path) {
        errno = EINVAL;
        return nullptr;
    }
    // Opened without O_TRUNC and compared on the descriptor first, so a file
    // that must be kept is never touched, whatever the name leads to by then.
    const int fd = open(path, O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0) return give_up(fd);
    const FileIdentity opened = identity_of(st);
    for (size_t i = 0; keep && i < count; ++i) {
        if (SameFile(opened, keep[i])) {
            errno = EEXIST;
            return give_up(fd);
        }
    }
    // The lock keeps a second run from truncating or interleaving with a
    // file this one is writing. /dev/null, a terminal or a pipe may well be
    // shared by parallel runs: only regular files are locked.
    if (S_ISREG(st.st_mode) && (flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, 0) != 0))
        return give_up(fd);
    FILE *stream = fdopen(fd, "w");
    return stream ? stream : give_up(fd);
}

void ReportWriteError(const char *what, const char *name, int error) {
    const char *reason = strerror(error != 0 ? error : EIO);
    if (name) {
        ToolMessage("Couldn't write %s %s: %s\n", what, name, reason);
    } else {
        ToolMessage("Couldn't write %s: %s\n", what, reason);
    }
}

bool StreamWritten(FILE *stream, const char *what, const char *name, bool *reported) {
    if (!stream || !ferror(stream)) return true;
    if (!*reported) {
        ReportWriteError(what, name, failure_reason(stream, errno));
        *reported = true;
    }
    return false;
}

bool CloseOutputFile(FILE *stream, const char *what, const char *name, bool *reported) {
    if (!stream) return true;
    const int earlier = errno;
    bool written = fflush(stream) == 0 && !ferror(stream);
    int reason = written ? 0 : failure_reason(stream, errno ? errno : earlier);
    // close() is where some file systems (NFS, quotas) report what failed.
    errno = 0;
    if (fclose(stream) != 0 && written) {
        written = false;
        reason = errno;
    }
    if (!written && !*reported) {
        ReportWriteError(what, name, reason);
        *reported = true;
    }
    return written;
}
