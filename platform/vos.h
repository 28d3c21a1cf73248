/* vos.h - the platform layer: allocation, files, dynamic loading, temporary
 * names and mutexes. Every other module reaches the operating system only
 * through these wrappers, so tests can replace or fail them. */
#ifndef GLOTTA_PLATFORM_VOS_H
#define GLOTTA_PLATFORM_VOS_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Memory. Everything that crosses a module boundary (candidate arrays,
 * converted or filtered text, owned strings) comes from here and is released
 * with vos_free by its receiver. */
void *vos_malloc(size_t size);
void *vos_calloc(size_t count, size_t size);
void *vos_realloc(void *pointer, size_t size);
void vos_free(void *pointer); /* null is harmless */

/* Test hook: after `n` further successful allocations every vos_malloc,
 * vos_calloc and vos_realloc fails (returns null) until the hook is reset
 * with a negative n. Not thread-safe; for tests of out-of-memory paths. */
void vos_fail_alloc_after(long n);

/* Files. vos_open opens with mode 0644 and moves a descriptor below 256 to
 * the lowest free one from 256 up (keeping the low numbers for the host
 * program); -1 on any failure. */
enum { VOS_O_RDONLY = 0, VOS_O_RDWR = 2 };
int vos_open(const char *path, int flags);
ssize_t vos_read(int fd, void *buffer, size_t count);
off_t vos_lseek(int fd, off_t offset, int whence);
int vos_close(int fd);
int vos_stat(const char *path, struct stat *buffer);

/* Opens an existing file that must be a regular file, for reading
 * (VOS_O_RDONLY) or reading and writing (VOS_O_RDWR). The open never blocks
 * (a FIFO or a device cannot hold it up; regular files ignore the flag for
 * reads and writes) and the check is made with fstat on the open descriptor,
 * so a name swapped for something else after an earlier check is caught.
 * Returns the descriptor (moved up as vos_open does, closed on exec) and fills
 * `status` when not null; or VOS_OPEN_FAILED (status untouched), or
 * VOS_NOT_REGULAR when the name leads to anything but a regular file. */
enum { VOS_OPEN_FAILED = -1, VOS_NOT_REGULAR = -2 };
int vos_open_regular(const char *path, int flags, struct stat *status);

/* The same as a stdio stream: mode "r" or "rb" reads, "r+" reads and writes.
 * Null when the file cannot be opened or is not a regular file; `failure`,
 * when not null, then tells which (VOS_OPEN_FAILED or VOS_NOT_REGULAR). */
FILE *vos_fopen_regular(const char *path, const char *mode, int *failure);

/* Maps a whole regular file read-only into memory (private, pages read in
 * at once) and stores its size in `size`. Null when the file cannot be
 * opened, is not a regular file, is empty, or cannot be mapped. The mapping
 * stays valid after the file is renamed over or removed; release it with
 * vos_unmap_file and the same size. */
const void *vos_map_file(const char *path, size_t *size);
void vos_unmap_file(const void *address, size_t size); /* null is harmless */

/* A name for a new temporary file by tempnam(3)'s rules ($TMPDIR, else
 * `directory`, else P_tmpdir, else /tmp; at most five characters of
 * `prefix`, "file" when it is null or empty, then six random ones); no file of that name exists
 * when it is made. Null when no name can be made. The caller frees it with free(). */
char *vos_tempnam(const char *directory, const char *prefix);

/* The directory that vos_tempnam(null, ...) names files in: $TMPDIR when it
 * names a directory, else P_tmpdir, else "/tmp". */
const char *vos_tempdir(void);

/* Creates a new file from `pattern` (mkstemps(3): six X's followed by
 * `suffixLength` fixed characters, replaced in place by the name made)
 * exclusively: never an existing file, never through a symbolic link, mode
 * 0600, closed on exec. Returns the descriptor, or -1. */
int vos_mkstemps(char *pattern, int suffixLength);

/* Dynamic loading; flags 1 = lazy binding. vos_dlclose does nothing and
 * returns 0: a loaded library stays loaded until the process ends. */
enum { VOS_RTLD_LAZY = 1 };
void *vos_dlopen(const char *path, int flags);
void *vos_dlsym(void *handle, const char *name);
int vos_dlclose(void *handle);

/* The build id (the linker's GNU build-id note) of the loaded program or
 * library whose segments hold `address`: copies at most `capacity` bytes of
 * it into `id` and returns its whole length; 0 when that module has none or
 * no module holds the address. */
size_t vos_build_id(const void *address, unsigned char *id, size_t capacity);

/* A mutex record. Callers allocate it zero-filled and pass its address.
 * `osMutex` is storage for the POSIX mutex, kept opaque here so that only the
 * platform layer includes <pthread.h>. */
typedef struct VosMutex {
    int32_t state;  /* 2 when initialised, 0 after destruction */
    uint16_t flags; /* bit 0: recursive; the program passes 0 */
    void *pool;     /* allocator that created the record, or null */
    uint32_t count; /* recursion depth of a recursive mutex */
    uint64_t owner; /* owning thread of a recursive mutex */
    uint64_t osMutex[8];
} VosMutex;

enum { VOS_MUTEX_RECURSIVE = 1 };

/* All take a preferences argument the program always passes as null.
 * Init: 0, or -14/-22/-105. Lock/Unlock: 0 or -2. Destroy: 0 or -14. */
int MutexInit(void *preferences, VosMutex *mutex, unsigned flags);
int MutexLock(void *preferences, VosMutex *mutex);
int MutexUnlock(void *preferences, VosMutex *mutex);
int MutexDestroy(void *preferences, VosMutex *mutex);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#include <memory>
namespace glotta {
/* Owning pointer for memory from vos_malloc. */
struct VosDeleter {
    void operator()(void *p) const noexcept { vos_free(p); }
};
template <typename T>
using VosPtr = std::unique_ptr<T, VosDeleter>;
}  // namespace glotta
#endif

#endif
