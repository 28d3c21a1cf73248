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
 * processes cost more than the tool's whole start-up. It runs before every
 * use of the tool, so it stays small: no heap, fixed buffers on the stack,
 * and on x86-64 and AArch64 (GLOTTA_LAUNCHER_BARE) no C library at all, only
 * the five system calls it needs: a statically linked C library's own
 * start-up and the page faults of its image cost as much again as the
 * kernel's work for the extra exec. Elsewhere the same code runs on the C
 * library. Without /proc, argv[0] is resolved (link by link, as the kernel
 * walks it) when it holds a slash; a bare name found through PATH cannot be.
 */
#ifdef GLOTTA_LAUNCHER_BARE
#include <asm/unistd.h>
#include <linux/errno.h>
#include <stddef.h>
#else
#define _XOPEN_SOURCE 700
#include <errno.h>
#include <stddef.h>
#include <string.h>
#include <unistd.h>
#endif

enum {
    kCannotRun = 127,
    kPathMax = 4096, /* the kernel's limit on a path, its nul included */
    kMaxLinks = 40,  /* the kernel's limit on links followed in one walk */
    kAtFdCwd = -100, /* AT_FDCWD */
};

/* The file the kernel ran; tests name another one to take the fallback. */
#ifndef GLOTTA_LAUNCHER_SELF
#define GLOTTA_LAUNCHER_SELF "/proc/self/exe"
#endif

/* Rare paths keep their large buffers out of the common path's stack frame,
 * whose every page is a fault on the way to the tool. */
#ifdef __GNUC__
#define RARE __attribute__((noinline, cold))
#else
#define RARE
#endif

static const char kToolRelative[] = "/_linux/bin/glotta";
static const char kLibAssignment[] = "LD_LIBRARY_PATH=";

/* ---- The operating system: each call returns its result or -errno. ---- */

#ifdef GLOTTA_LAUNCHER_BARE

#if defined(__x86_64__)
__asm__(
    ".text\n"
    ".global _start\n"
    ".type _start, @function\n"
    "_start:\n"
    "  xor %ebp, %ebp\n"
    "  mov %rsp, %rdi\n"
    "  and $-16, %rsp\n"
    "  call launcher_start\n"
    "  hlt\n");

static long system_call(long number, long a, long b, long c, long d) {
    register long r10 __asm__("r10") = d;
    long result;
    __asm__ volatile("syscall"
                     : "=a"(result)
                     : "a"(number), "D"(a), "S"(b), "d"(c), "r"(r10)
                     : "rcx", "r11", "memory");
    return result;
}
#elif defined(__aarch64__)
__asm__(
    ".text\n"
    ".global _start\n"
    ".type _start, %function\n"
    "_start:\n"
    "  mov x29, #0\n"
    "  mov x30, #0\n"
    "  mov x0, sp\n"
    "  bl launcher_start\n"
    "  brk #0\n");

static long system_call(long number, long a, long b, long c, long d) {
    register long x8 __asm__("x8") = number;
    register long x0 __asm__("x0") = a;
    register long x1 __asm__("x1") = b;
    register long x2 __asm__("x2") = c;
    register long x3 __asm__("x3") = d;
    __asm__ volatile("svc 0" : "+r"(x0) : "r"(x8), "r"(x1), "r"(x2), "r"(x3) : "memory");
    return x0;
}
#else
#error "GLOTTA_LAUNCHER_BARE is for x86-64 and AArch64 only"
#endif

static long os_readlink(const char *path, char *buffer, size_t size) {
    return system_call(__NR_readlinkat, kAtFdCwd, (long)path, (long)buffer, (long)size);
}

static long os_getcwd(char *buffer, size_t size) {
    return system_call(__NR_getcwd, (long)buffer, (long)size, 0, 0);
}

static long os_write(int fd, const char *data, size_t size) {
    return system_call(__NR_write, fd, (long)data, (long)size, 0);
}

static long os_execve(const char *path, char *const *argv, char *const *envp) {
    return system_call(__NR_execve, (long)path, (long)argv, (long)envp, 0);
}

/* The C library's texts for what the calls above can fail with. */
static const struct {
    int number;
    char text[40];
} kErrorTexts[] = {
    {EPERM, "Operation not permitted"},
    {ENOENT, "No such file or directory"},
    {EINTR, "Interrupted system call"},
    {EIO, "Input/output error"},
    {E2BIG, "Argument list too long"},
    {ENOEXEC, "Exec format error"},
    {EAGAIN, "Resource temporarily unavailable"},
    {ENOMEM, "Cannot allocate memory"},
    {EACCES, "Permission denied"},
    {EFAULT, "Bad address"},
    {ENOTDIR, "Not a directory"},
    {EISDIR, "Is a directory"},
    {EINVAL, "Invalid argument"},
    {ENFILE, "Too many open files in system"},
    {EMFILE, "Too many open files"},
    {ETXTBSY, "Text file busy"},
    {ERANGE, "Numerical result out of range"},
    {ENAMETOOLONG, "File name too long"},
    {ELOOP, "Too many levels of symbolic links"},
    {ELIBBAD, "Accessing a corrupted shared library"},
    {ESTALE, "Stale file handle"},
};

/* The text of `error`, as the C library words it; "Unknown error <n>"
 * (its own text for numbers it does not know) for the rest, in `scratch`. */
static const char *error_text(int error, char scratch[32]) {
    for (size_t i = 0; i < sizeof kErrorTexts / sizeof kErrorTexts[0]; ++i)
        if (kErrorTexts[i].number == error) return kErrorTexts[i].text;
    static const char kUnknown[] = "Unknown error ";
    char digits[12];
    size_t count = 0;
    unsigned long value = error < 0 ? 0ul - (unsigned long)error : (unsigned long)error;
    do {
        digits[count++] = (char)('0' + value % 10);
        value /= 10;
    } while (value);
    char *out = scratch;
    for (const char *c = kUnknown; *c; ++c) *out++ = *c;
    if (error < 0) *out++ = '-';
    while (count) *out++ = digits[--count];
    *out = '\0';
    return scratch;
}

#else /* the C library */

static long os_result(long result) {
    return result < 0 ? -errno : result;
}

static long os_readlink(const char *path, char *buffer, size_t size) {
    return os_result(readlink(path, buffer, size));
}

static long os_getcwd(char *buffer, size_t size) {
    return getcwd(buffer, size) ? 0 : -errno;
}

static long os_write(int fd, const char *data, size_t size) {
    return os_result(write(fd, data, size));
}

static long os_execve(const char *path, char *const *argv, char *const *envp) {
    return os_result(execve(path, argv, envp));
}

static const char *error_text(int error, char scratch[32]) {
    (void)scratch;
    return strerror(error);
}

#endif

/* ---- Strings ---- */

static size_t text_length(const char *text) {
    size_t length = 0;
    while (text[length]) ++length;
    return length;
}

/* Copies `size` bytes; the ranges may overlap. */
static void copy_bytes(char *to, const char *from, size_t size) {
    if (to < from) {
        for (size_t i = 0; i < size; ++i) to[i] = from[i];
    } else {
        while (size--) to[size] = from[size];
    }
}

/* Cuts `path` at its last slash; false when it has none past its first
 * character (the root has no parent to cut to). */
static int cut_last_component(char *path) {
    char *slash = NULL;
    for (char *c = path + 1; *c; ++c)
        if (*c == '/') slash = c;
    if (path[0] == '\0' || !slash) return 0;
    *slash = '\0';
    return 1;
}

/* ---- The launcher ---- */

/* Writes "glotta: <what>[ <path>]: <error text>" to standard error and
 * returns the exit status of a command that cannot run. */
RARE static int fail(const char *what, const char *path, int error) {
    char scratch[32];
    const char *parts[] = {
        "glotta: ", what, path ? " " : "", path ? path : "", ": ", error_text(error, scratch),
        "\n"};
    char message[kPathMax + 256];
    size_t length = 0;
    for (size_t i = 0; i < sizeof parts / sizeof parts[0]; ++i)
        for (const char *c = parts[i]; *c && length < sizeof message; ++c) message[length++] = *c;
    for (size_t done = 0; done < length;) {
        const long written = os_write(2, message + done, length - done);
        if (written == -EINTR) continue;
        if (written <= 0) break;
        done += (size_t)written;
    }
    return kCannotRun;
}

/* Resolves `path` into `out` as the kernel walks it: from the working
 * directory when relative, every symbolic link followed, "." and ".." and
 * repeated slashes taken out. Returns 0 or an errno value. */
RARE static int resolve_path(const char *path, char out[kPathMax]) {
    char pending[kPathMax]; /* what is still to walk, from `at` */
    char target[kPathMax];
    size_t pending_length = text_length(path);
    if (pending_length >= sizeof pending) return ENAMETOOLONG;
    copy_bytes(pending, path, pending_length + 1);

    /* `out` holds out_length bytes of an absolute path without a trailing
     * slash: the root is the empty string while walking. */
    size_t out_length = 0;
    if (path[0] != '/') {
        const long result = os_getcwd(out, kPathMax);
        if (result < 0) return (int)-result;
        if (out[0] != '/') return ENOENT; /* outside the process's root */
        out_length = text_length(out);
        if (out_length == 1) out_length = 0;
    }

    int links = 0;
    size_t at = 0;
    for (;;) {
        while (pending[at] == '/') ++at;
        const size_t start = at;
        while (pending[at] && pending[at] != '/') ++at;
        const size_t length = at - start;
        if (length == 0) break;
        if (length == 1 && pending[start] == '.') continue;
        if (length == 2 && pending[start] == '.' && pending[start + 1] == '.') {
            while (out_length > 0 && out[--out_length] != '/') {
            }
            continue;
        }
        const size_t next_length = out_length + 1 + length;
        if (next_length >= kPathMax) return ENAMETOOLONG;
        out[out_length] = '/';
        copy_bytes(out + out_length + 1, pending + start, length);
        out[next_length] = '\0';

        const long target_length = os_readlink(out, target, sizeof target);
        if (target_length == -EINVAL) { /* not a link: keep the component */
            out_length = next_length;
            continue;
        }
        if (target_length < 0) return (int)-target_length;
        if ((size_t)target_length >= sizeof target) return ENAMETOOLONG;
        if (++links > kMaxLinks) return ELOOP;
        /* Walk the link's target, then what followed the link. */
        const size_t rest = pending_length - at;
        if ((size_t)target_length + rest >= sizeof pending) return ENAMETOOLONG;
        copy_bytes(pending + target_length, pending + at, rest + 1);
        copy_bytes(pending, target, (size_t)target_length);
        pending_length = (size_t)target_length + rest;
        at = 0;
        if (target[0] == '/') out_length = 0;
    }
    if (out_length == 0) out[out_length++] = '/';
    out[out_length] = '\0';
    return 0;
}

/* The launcher's own path with every symbolic link resolved, into `self`;
 * returns 0 or an errno value. The kernel names the file it ran; without
 * /proc, argv[0] is resolved when it holds a slash. */
static int own_path(const char *argv0, char self[kPathMax]) {
    const long length = os_readlink(GLOTTA_LAUNCHER_SELF, self, kPathMax);
    if (length > 0 && length < kPathMax) {
        self[length] = '\0';
        return 0;
    }
    if (argv0)
        for (const char *c = argv0; *c; ++c)
            if (*c == '/') return resolve_path(argv0, self);
    return ENOENT;
}

/* Replaces the process with the tool of the launcher's installation; returns
 * only on failure, with the exit status. */
static int run_tool(int argc, char **argv, char **envp) {
    char tool[kPathMax + sizeof kToolRelative];
    const int error = own_path(argc > 0 ? argv[0] : NULL, tool);
    if (error) return fail("cannot find its own location", NULL, error);

    /* <root>/bin/glotta -> <root>; a root of "/" becomes the empty prefix. */
    if (!cut_last_component(tool) || !cut_last_component(tool)) tool[0] = '\0';
    const size_t root_length = text_length(tool);
    copy_bytes(tool + root_length, kToolRelative, sizeof kToolRelative);

    /* LD_LIBRARY_PATH=<the tool's directory>[:<the old value>], where the old
     * one was (the first of its name), or added at the end. */
    size_t count = 0;
    size_t found = (size_t)-1;
    const char *old = "";
    const size_t name_length = sizeof kLibAssignment - 1;
    for (; envp && envp[count]; ++count) {
        if (found != (size_t)-1) continue;
        size_t i = 0;
        while (i < name_length && envp[count][i] == kLibAssignment[i]) ++i;
        if (i == name_length) {
            found = count;
            old = envp[count] + name_length;
        }
    }
    const size_t old_length = text_length(old);
    const size_t bin_length = root_length + sizeof kToolRelative - sizeof "/glotta";
    char assignment[name_length + bin_length + 1 + old_length + 1];
    copy_bytes(assignment, kLibAssignment, name_length);
    copy_bytes(assignment + name_length, tool, bin_length);
    size_t length = name_length + bin_length;
    if (old_length > 0) {
        assignment[length++] = ':';
        copy_bytes(assignment + length, old, old_length);
        length += old_length;
    }
    assignment[length] = '\0';

    char *environment[count + 2];
    for (size_t i = 0; i < count; ++i) environment[i] = envp[i];
    if (found == (size_t)-1) found = count++;
    environment[found] = assignment;
    environment[count] = NULL;

    char *fallback[] = {tool, NULL};
    const long result = os_execve(tool, argc > 0 ? argv : fallback, environment);
    return fail("cannot run", tool, (int)-result);
}

#ifdef GLOTTA_LAUNCHER_BARE
/* The kernel's initial stack: argc, argv[], NULL, envp[], NULL, ... */
__attribute__((noreturn, used)) void launcher_start(long *stack) {
    const int argc = (int)stack[0];
    char **argv = (char **)(stack + 1);
    const long status = run_tool(argc, argv, argv + argc + 1);
    for (;;) system_call(__NR_exit_group, status, 0, 0, 0);
}
#else
extern char **environ;

int main(int argc, char **argv) {
    return run_tool(argc, argv, environ);
}
#endif
