/* launcher.c - the installed `bin/glotta`: runs the tool of its installation.
 *
 * An installation keeps the tool in <root>/_linux/bin/glotta next to the
 * filter marker, and the engine finds its plug-ins through LD_LIBRARY_PATH.
 * This program finds <root> from its own resolved location (so a symbolic
 * link to it anywhere works), puts <root>/_linux/bin in front of
 * LD_LIBRARY_PATH (nothing else is added when the variable is unset or
 * empty) and replaces itself with the tool, passing every argument unchanged
 * and argv[0] as it was called. The exit status is therefore the tool's own;
 * when the tool cannot be started the launcher says why on standard error
 * and exits with 127, as a shell does for a command it cannot run.
 *
 * It is a separate C program, not a script, because a shell and its helper
 * processes cost more than the tool's whole start-up.
 */
#define _XOPEN_SOURCE 700

#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { kCannotRun = 127 };

static const char kToolRelative[] = "/_linux/bin/glotta";
static const char kLibVariable[] = "LD_LIBRARY_PATH";

static int fail(const char *what, const char *path, int error) {
    fprintf(stderr, "glotta: %s%s%s: %s\n", what, path ? " " : "", path ? path : "",
            strerror(error));
    return kCannotRun;
}

/* The launcher's own path with every symbolic link resolved, newly
 * allocated, or NULL with errno set. /proc/self/exe names the file the kernel
 * ran; without /proc, argv[0] is resolved when it holds a slash. */
static char *own_path(const char *argv0) {
    char buffer[PATH_MAX + 1];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length > 0 && (size_t)length < sizeof buffer) {
        buffer[length] = '\0';
        return strdup(buffer);
    }
    if (argv0 && strchr(argv0, '/')) return realpath(argv0, NULL);
    errno = ENOENT;
    return NULL;
}

/* Cuts `path` at its last slash; false when it has none past its first
 * character (the root has no parent to cut to). */
static int cut_last_component(char *path) {
    char *slash = strrchr(path, '/');
    if (!slash || slash == path) return 0;
    *slash = '\0';
    return 1;
}

/* Replaces the process with the tool of the installation that `self` (the
 * launcher's resolved path) belongs to; returns only on failure, with the exit
 * status. */
static int run_tool(char *self, int argc, char **argv) {
    /* <root>/bin/glotta -> <root>; a root of "/" becomes the empty prefix. */
    char *root = self;
    if (!cut_last_component(root) || !cut_last_component(root)) root[0] = '\0';
    const size_t root_length = strlen(root);

    char *tool = malloc(root_length + sizeof kToolRelative);
    if (!tool) return fail("out of memory", NULL, ENOMEM);
    memcpy(tool, root, root_length);
    memcpy(tool + root_length, kToolRelative, sizeof kToolRelative);

    /* The directory of the tool is the tool path without its last "/glotta". */
    const size_t bin_length = root_length + sizeof kToolRelative - 1 - strlen("/glotta");
    const char *old = getenv(kLibVariable);
    const size_t old_length = old ? strlen(old) : 0;
    char *libpath = malloc(bin_length + 1 + old_length + 1);
    int status;
    if (!libpath) {
        status = fail("out of memory", NULL, ENOMEM);
    } else {
        memcpy(libpath, tool, bin_length);
        libpath[bin_length] = '\0';
        if (old_length > 0) {
            libpath[bin_length] = ':';
            memcpy(libpath + bin_length + 1, old, old_length + 1);
        }
        if (setenv(kLibVariable, libpath, 1) != 0) {
            status = fail("cannot set", kLibVariable, errno);
        } else {
            if (argc > 0) {
                execv(tool, argv);
            } else {
                char *const fallback[] = {tool, NULL};
                execv(tool, fallback);
            }
            status = fail("cannot run", tool, errno);
        }
    }
    free(libpath);
    free(tool);
    return status;
}

int main(int argc, char **argv) {
    char *self = own_path(argc > 0 ? argv[0] : NULL);
    if (!self) return fail("cannot find its own location", NULL, errno);
    const int status = run_tool(self, argc, argv);
    free(self);
    return status;
}
