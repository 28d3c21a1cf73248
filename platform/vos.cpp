// vos.cpp - POSIX implementation of the platform layer.
#include "platform/vos.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <link.h>
#include <malloc.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

static_assert(sizeof(pthread_mutex_t) <= sizeof(((VosMutex *)nullptr)->osMutex),
              "VosMutex storage too small for pthread_mutex_t");
static_assert(sizeof(pthread_t) <= sizeof(uint64_t), "pthread_t does not fit the owner field");
static_assert(VOS_O_RDONLY == O_RDONLY, "VOS_O_RDONLY must be O_RDONLY");
static_assert(VOS_O_RDWR == O_RDWR, "VOS_O_RDWR must be O_RDWR");
static_assert(VOS_RTLD_LAZY == RTLD_LAZY, "VOS_RTLD_LAZY must be RTLD_LAZY");

namespace {

long g_alloc_budget = -1;  // < 0: no failure injection

bool alloc_allowed() {
    if (g_alloc_budget < 0) return true;
    if (g_alloc_budget == 0) return false;
    --g_alloc_budget;
    return true;
}

pthread_mutex_t *os_mutex(VosMutex *m) {
    return reinterpret_cast<pthread_mutex_t *>(m->osMutex);
}

uint64_t self_id() {
    return static_cast<uint64_t>(pthread_self());
}

// One-time preparation of the attribute object shared by every mutex.
pthread_mutexattr_t g_attr;
int g_prepared = 0;  // 0 not yet, 1 ready, -1 failed (mutexes then do nothing)

int prepare_once() {
    if (g_prepared != 0) return 0;
    int rc = pthread_mutexattr_init(&g_attr);
    if (rc == 0) rc = pthread_mutexattr_settype(&g_attr, PTHREAD_MUTEX_NORMAL);
    if (rc != 0) {
        g_prepared = -1;
        return rc == EINVAL ? -14 : -22;
    }
    g_prepared = 1;
    return 0;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kRecycleSmallBlocks = false;  // the sanitizers must see every block's life
#else
constexpr bool kRecycleSmallBlocks = true;
#endif

// Blocks of the smallest size malloc hands out are kept per thread for reuse.
// A detection allocates and releases dozens of them at once (the strings of
// its candidate list); the C library's own per-thread cache keeps only seven
// blocks of a size, and beyond that each allocation and release takes its
// slow paths, merging and sorting free chunks. A kept block is still a malloc
// block: realloc and free take it as any other.
constexpr size_t kSmallBlock = 24;  // usable bytes of malloc's smallest chunk (64-bit)
constexpr int kKeptBlocks = 256;

struct SmallBlocks {
    void *blocks[kKeptBlocks];
    int count = 0;
    bool closed = false;  // the thread is ending: release everything at once
    ~SmallBlocks() {
        closed = true;
        while (count > 0) free(blocks[--count]);
    }
};
thread_local SmallBlocks t_small;

}  // namespace

extern "C" {

void *vos_malloc(size_t size) {
    if (!alloc_allowed()) return nullptr;
    if (kRecycleSmallBlocks && size <= kSmallBlock) {
        SmallBlocks &kept = t_small;
        if (kept.count > 0) return kept.blocks[--kept.count];
    }
    return malloc(size);
}
void *vos_calloc(size_t count, size_t size) {
    return alloc_allowed() ? calloc(count, size) : nullptr;
}
void *vos_realloc(void *pointer, size_t size) {
    return alloc_allowed() ? realloc(pointer, size) : nullptr;
}
void vos_free(void *pointer) {
    if (!pointer) return;
    if (kRecycleSmallBlocks) {
        SmallBlocks &kept = t_small;
        if (kept.count < kKeptBlocks && !kept.closed &&
            malloc_usable_size(pointer) == kSmallBlock) {
            kept.blocks[kept.count++] = pointer;
            return;
        }
    }
    free(pointer);
}
void vos_fail_alloc_after(long n) {
    g_alloc_budget = n;
}

int vos_open(const char *path, int flags) {
    int fd = open(path, flags, 0644);
    if (fd < 0) return -1;
    if (fd < 256) {
        int high = fcntl(fd, (flags & O_CLOEXEC) ? F_DUPFD_CLOEXEC : F_DUPFD, 256);
        if (high >= 0) {
            close(fd);
            fd = high;
        }
    }
    return fd;
}
ssize_t vos_read(int fd, void *buffer, size_t count) {
    return read(fd, buffer, count);
}
off_t vos_lseek(int fd, off_t offset, int whence) {
    return lseek(fd, offset, whence);
}
int vos_close(int fd) {
    return close(fd);
}
int vos_stat(const char *path, struct stat *buffer) {
    return stat(path, buffer);
}

int vos_open_regular(const char *path, int flags, struct stat *status) {
    if (!path) return VOS_OPEN_FAILED;
    const int fd = vos_open(path, (flags & O_ACCMODE) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return VOS_OPEN_FAILED;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        close(fd);
        return VOS_OPEN_FAILED;
    }
    if (!S_ISREG(st.st_mode)) {
        close(fd);
        return VOS_NOT_REGULAR;
    }
    if (status) *status = st;
    return fd;
}

FILE *vos_fopen_regular(const char *path, const char *mode, int *failure) {
    const bool update = mode && mode[0] == 'r' && strchr(mode, '+');
    const int fd = vos_open_regular(path, update ? VOS_O_RDWR : VOS_O_RDONLY, nullptr);
    FILE *stream = fd >= 0 ? fdopen(fd, update ? "r+" : "r") : nullptr;
    if (fd >= 0 && !stream) close(fd);
    if (!stream && failure) *failure = fd == VOS_NOT_REGULAR ? VOS_NOT_REGULAR : VOS_OPEN_FAILED;
    return stream;
}

const void *vos_map_file(const char *path, size_t *size) {
    if (!size) return nullptr;
    struct stat st;
    const int fd = vos_open_regular(path, VOS_O_RDONLY, &st);
    if (fd < 0) return nullptr;
    void *address = MAP_FAILED;
    if (st.st_size > 0 && static_cast<uint64_t>(st.st_size) <= SIZE_MAX) {
        address = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ,
                       MAP_PRIVATE | MAP_POPULATE, fd, 0);
    }
    close(fd);
    if (address == MAP_FAILED) return nullptr;
    *size = static_cast<size_t>(st.st_size);
    return address;
}

void vos_unmap_file(const void *address, size_t size) {
    if (address) munmap(const_cast<void *>(address), size);
}

namespace {

bool is_directory(const char *path) {
    struct stat st;
    return path && path[0] && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

char *vos_tempnam(const char *directory, const char *prefix) {
    // tempnam(3)'s rules, without the C library's tempnam (the linker warns
    // about every program that links it): the directory is $TMPDIR when it
    // names one, else `directory`, else P_tmpdir, else /tmp; the name is at
    // most five characters of the prefix ("file" when none is given) and six
    // random ones, and no file of that name exists when it is returned.
    const char *dir = getenv("TMPDIR");
    if (!is_directory(dir)) dir = is_directory(directory) ? directory : nullptr;
    if (!dir) dir = is_directory(P_tmpdir) ? P_tmpdir : "/tmp";
    size_t dirLength = strlen(dir);
    while (dirLength > 1 && dir[dirLength - 1] == '/') --dirLength;
    if (!prefix || !prefix[0]) prefix = "file";
    const size_t prefixLength = strnlen(prefix, 5);
    const size_t size = dirLength + 1 + prefixLength + 6 + 1;
    char *name = static_cast<char *>(malloc(size));
    if (!name) return nullptr;
    snprintf(name, size, "%.*s/%.*s", static_cast<int>(dirLength), dir,
             static_cast<int>(prefixLength), prefix);
    char *random = name + size - 7;
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        unsigned char bytes[6];
        if (getentropy(bytes, sizeof bytes) != 0) break;
        for (size_t i = 0; i < sizeof bytes; ++i) random[i] = kLetters[bytes[i] % 62];
        random[6] = '\0';
        struct stat st;
        if (lstat(name, &st) != 0) {
            if (errno == ENOENT) return name;
            break;
        }
    }
    free(name);
    return nullptr;
}

const char *vos_tempdir(void) {
    const char *dir = getenv("TMPDIR");
    if (is_directory(dir)) return dir;
    return is_directory(P_tmpdir) ? P_tmpdir : "/tmp";
}

int vos_mkstemps(char *pattern, int suffixLength) {
    // O_EXCL (always set by mkostemps) already refuses an existing name, a
    // symbolic link included; O_NOFOLLOW says so once more.
    return pattern ? mkostemps(pattern, suffixLength, O_CLOEXEC | O_NOFOLLOW) : -1;
}

void *vos_dlopen(const char *path, int flags) {
    return dlopen(path, flags);
}
void *vos_dlsym(void *handle, const char *name) {
    return dlsym(handle, name);
}
int vos_dlclose(void *) {
    return 0;
}

namespace {

struct BuildIdSearch {
    uintptr_t address;
    unsigned char *id;
    size_t capacity;
    size_t length;
};

// The build-id note among the notes of `size` bytes at `notes`; 0 when none.
size_t find_build_id(const unsigned char *notes, size_t size, BuildIdSearch &search) {
    constexpr uint32_t kBuildIdNote = 3;  // NT_GNU_BUILD_ID
    auto align4 = [](size_t n) { return (n + 3) & ~size_t{3}; };
    size_t at = 0;
    // A last note without its padding leaves `at` up to three bytes past the end.
    while (at <= size && size - at >= sizeof(ElfW(Nhdr))) {
        ElfW(Nhdr) note;
        memcpy(&note, notes + at, sizeof note);
        const size_t name = at + sizeof note;
        if (note.n_namesz > size - name) return 0;
        const size_t desc = name + align4(note.n_namesz);
        if (desc > size || note.n_descsz > size - desc) return 0;
        if (note.n_type == kBuildIdNote && note.n_namesz == 4 &&
            memcmp(notes + name, "GNU", 4) == 0 && note.n_descsz > 0) {
            if (search.capacity > 0)
                memcpy(search.id, notes + desc,
                       note.n_descsz < search.capacity ? note.n_descsz : search.capacity);
            return note.n_descsz;
        }
        at = desc + align4(note.n_descsz);
    }
    return 0;
}

int build_id_of_module(struct dl_phdr_info *info, size_t, void *data) {
    auto &search = *static_cast<BuildIdSearch *>(data);
    bool holds = false;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr) &segment = info->dlpi_phdr[i];
        const uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
        if (segment.p_type == PT_LOAD && search.address >= begin &&
            search.address - begin < segment.p_memsz)
            holds = true;
    }
    if (!holds) return 0;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum && search.length == 0; ++i) {
        const ElfW(Phdr) &segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_NOTE) continue;
        search.length = find_build_id(
            reinterpret_cast<const unsigned char *>(info->dlpi_addr + segment.p_vaddr),
            segment.p_memsz, search);
    }
    return 1;
}

}  // namespace

size_t vos_build_id(const void *address, unsigned char *id, size_t capacity) {
    BuildIdSearch search{reinterpret_cast<uintptr_t>(address), id, capacity, 0};
    if (!id && capacity > 0) return 0;
    dl_iterate_phdr(build_id_of_module, &search);
    return search.length;
}

int MutexInit(void *, VosMutex *mutex, unsigned flags) {
    if (g_prepared == 0) {
        int rc = prepare_once();
        if (rc != 0) return rc;
    }
    if (g_prepared < 0) return 0;
    if (!mutex) return -14;
    if (mutex->state != 2) *mutex = VosMutex{};
    mutex->flags = static_cast<uint16_t>(flags);
    mutex->count = 0;
    mutex->owner = 0;
    int rc = pthread_mutex_init(os_mutex(mutex), &g_attr);
    if (rc != 0) return rc == ENOMEM ? -22 : -105;
    mutex->state = 2;
    return 0;
}

int MutexLock(void *, VosMutex *mutex) {
    if (g_prepared < 0) return 0;
    if (!mutex || mutex->state != 2) return -2;
    if (!(mutex->flags & VOS_MUTEX_RECURSIVE)) {
        return pthread_mutex_lock(os_mutex(mutex)) == 0 ? 0 : -2;
    }
    if (pthread_mutex_trylock(os_mutex(mutex)) != 0) {
        if (mutex->count > 0 && mutex->owner == self_id()) {
            ++mutex->count;
            return 0;
        }
        if (pthread_mutex_lock(os_mutex(mutex)) != 0) return -2;
    }
    mutex->count = 1;
    mutex->owner = self_id();
    return 0;
}

int MutexUnlock(void *, VosMutex *mutex) {
    if (g_prepared < 0) return 0;
    if (!mutex || mutex->state != 2) return -2;
    if (mutex->flags & VOS_MUTEX_RECURSIVE) {
        if (mutex->owner != self_id() || mutex->count == 0) return -2;
        if (--mutex->count > 0) return 0;
        mutex->owner = 0;
    }
    return pthread_mutex_unlock(os_mutex(mutex)) == 0 ? 0 : -2;
}

int MutexDestroy(void *, VosMutex *mutex) {
    if (g_prepared < 0) return 0;
    if (!mutex || mutex->state != 2) return -14;
    mutex->state = 0;
    pthread_mutex_destroy(os_mutex(mutex));
    if (mutex->pool) free(mutex);
    return 0;
}

}  // extern "C"
