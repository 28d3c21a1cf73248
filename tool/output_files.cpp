// output_files.cpp - opening the files a run writes (output and BIF files)
// so that two runs never write one file at the same time, and noticing when
// writing to them fails.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tool/tool.h"

namespace {

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

FILE *OpenOutputFile(const char *path) {
    if (!path) {
        errno = EINVAL;
        return nullptr;
    }
    // No O_TRUNC here: a file that another run is writing stays untouched.
    int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    struct stat status;
    if (fstat(fd, &status) != 0) return give_up(fd);
    // /dev/null, a terminal or a pipe may well be shared by parallel runs.
    if (S_ISREG(status.st_mode)) {
        if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, 0) != 0) return give_up(fd);
    }
    FILE *stream = fdopen(fd, "w");
    return stream ? stream : give_up(fd);
}

void ReportWriteError(const char *what, const char *name, int error) {
    const char *reason = strerror(error != 0 ? error : EIO);
    if (name) {
        fprintf(stderr, "Couldn't write %s %s: %s\n", what, name, reason);
    } else {
        fprintf(stderr, "Couldn't write %s: %s\n", what, reason);
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
