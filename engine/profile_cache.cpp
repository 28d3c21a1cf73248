// profile_cache.cpp - the compiled, memory-mapped form of the loaded
// language profiles and their model index.
//
// File layout (native byte order; every block starts at a multiple of 8):
//   CacheHeader            magic, version, the image's size, checksum of the
//                          rest of the image
//   ProgramId              the build of the engine that wrote the cache
//   strings                data directory, list path, then per profile its
//                          name, language id and charset, each ending in 0
//   ProfileRecord[count]   per profile: its file's signature, its strings
//                          and its numbers
//   index image            NgramIdxImageWrite of the model index
//   zeros                  up to a multiple of 2 MiB (not part of the image)
//
// The file is padded with zeros to a multiple of 2 MiB, which is not part of
// the image (the header's size) and never read: where the kernel keeps the
// file in huge pages, such a file is mapped with one entry per 2 MiB instead
// of one per 4 KiB page, and the start-up's one pass over it runs about as
// fast as over memory it has just read.
//
// The profiles' own n-gram tables are not kept: with the index in place
// scoring never reads them (a list holds at most LANGLIST_MAX_PROFILES
// profiles, which the index always scores without allocating), and leaving
// them out keeps the file, and what start-up reads and checks of it, small.
#include "engine/profile_cache.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <dirent.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/langlist.h"
#include "ngram/model_index.h"

// What identifies a file's content without reading it.
struct FileSignature {
    uint64_t device;
    uint64_t inode;
    uint64_t size;
    int64_t modifiedSeconds;
    int64_t modifiedNanoseconds;
    int64_t changedSeconds;
    int64_t changedNanoseconds;
    uint32_t mode;
    uint32_t reserved;

    bool operator==(const FileSignature &) const = default;
};
static_assert(sizeof(FileSignature) == 64);

// The build of the engine: the build id its linker gave the program or
// library it lies in, else the signature of the program file. A build id
// stays the same wherever the build is installed, and under tools that run
// the program from a file of their own.
struct ProgramId {
    uint32_t kind;    // 0: none, 1: build id, 2: program file signature
    uint32_t length;  // bytes of `bytes` in use
    unsigned char bytes[64];

    bool operator==(const ProgramId &) const = default;
};
static_assert(sizeof(ProgramId) == 72);
static_assert(sizeof(FileSignature) <= sizeof(ProgramId::bytes));

struct ProfileCache {
    // A cache in use: the mapping that the profiles' tables and the index
    // lie in.
    const unsigned char *map = nullptr;
    size_t mapSize = 0;
    // What a normal load needs to write the cache afterwards.
    bool pending = false;
    std::string dir;
    size_t base = 0;  // length of the part of `dir` that must exist
    std::string path;
    std::string stem;      // "profiles-LISTHASH": the file names of this list's caches
    std::string dataPath;  // absolute
    std::string listPath;  // absolute
    std::vector<std::string> names;
    std::vector<FileSignature> files;
    bool signed_ = false;  // `files` taken up front, not by the load
    ProgramId program{};
};

namespace {

constexpr char kMagic[8] = {'G', 'L', 'O', 'T', 'P', 'R', 'F', '\n'};
// Raise whenever the layout or the meaning of anything stored changes.
constexpr uint32_t kVersion = 4;
// A profile file changed this recently could change again within the file
// system's time resolution without its times telling.
constexpr int64_t kSettleSeconds = 2;
// Caches of one list written by other builds of the engine (glotta and
// glotta-scan, the build before an upgrade) that are kept beside this one, so
// that programs used in turn do not rewrite each other's cache; older ones
// are removed when a cache is written.
constexpr size_t kOtherBuildsKept = 3;
int64_t g_settleSeconds = kSettleSeconds;
static_assert(int{LANGLIST_MAX_PROFILES} <= int{NGRAM_INDEX_ALLOCATION_FREE_MODELS});

struct CacheHeader {
    char magic[8];
    uint32_t version;
    uint32_t profileCount;
    uint64_t size;
    uint64_t checksum;
    uint64_t stringsOffset;
    uint64_t stringsSize;
    uint64_t recordsOffset;
    uint64_t indexOffset;
};
static_assert(sizeof(CacheHeader) == 64);

}  // namespace

namespace {

struct ProfileRecord {
    FileSignature file;
    uint64_t name;
    uint64_t id;       // 0: none
    uint64_t charset;  // 0: none
    uint32_t nameLength;
    uint32_t idLength;
    uint32_t charsetLength;
    uint32_t reserved;
    ProfileIds ids;  // as the normal load numbered the profile
};
static_assert(sizeof(ProfileRecord) == 112);

constexpr size_t kProgramOffset = sizeof(CacheHeader);
constexpr uint64_t kFileAlignment = uint64_t{2} << 20;
// Linux 5.14 and later; older kernels refuse it.
#ifdef MADV_POPULATE_READ
constexpr int kPopulateRead = MADV_POPULATE_READ;
#else
constexpr int kPopulateRead = 22;
#endif
constexpr size_t kStringsOffset = kProgramOffset + sizeof(ProgramId);

size_t round8(size_t n) {
    return (n + 7) & ~size_t{7};
}

// The size of the file that holds an image of `size` bytes.
uint64_t file_size_of(uint64_t size) {
    return (size + kFileAlignment - 1) / kFileAlignment * kFileAlignment;
}

FileSignature signature_of(const struct stat &st) {
    FileSignature sig{};
    sig.device = static_cast<uint64_t>(st.st_dev);
    sig.inode = static_cast<uint64_t>(st.st_ino);
    sig.size = static_cast<uint64_t>(st.st_size);
    sig.modifiedSeconds = st.st_mtim.tv_sec;
    sig.modifiedNanoseconds = st.st_mtim.tv_nsec;
    sig.changedSeconds = st.st_ctim.tv_sec;
    sig.changedNanoseconds = st.st_ctim.tv_nsec;
    sig.mode = static_cast<uint32_t>(st.st_mode);
    return sig;
}

// The signature of the file a path leads to; all zero when there is none.
FileSignature signature_of(const char *path) {
    struct stat st;
    return vos_stat(path, &st) == 0 ? signature_of(st) : FileSignature{};
}

// The signatures of the profiles, each the file that the data directory, a
// slash and its name lead to. They are looked up relative to the directory
// opened once, which spares the kernel walking the directory's path for each.
std::vector<FileSignature> profile_signatures(const char *dataPath,
                                              const std::vector<std::string> &names) {
    std::vector<FileSignature> files;
    files.reserve(names.size());
    const int dir = open(dataPath, O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (const std::string &name : names) {
        struct stat st;
        if (dir < 0) {
            files.push_back(signature_of((std::string(dataPath) + '/' + name).c_str()));
            continue;
        }
        // "dir//name" is "dir/name": the name's leading slashes lead nowhere else.
        const char *relative = name.c_str() + name.find_first_not_of('/');
        const bool found = name.find_first_not_of('/') == std::string::npos
                               ? fstat(dir, &st) == 0
                               : fstatat(dir, relative, &st, 0) == 0;
        files.push_back(found ? signature_of(st) : FileSignature{});
    }
    if (dir >= 0) close(dir);
    return files;
}

ProgramId program_id() {
    ProgramId id{};
    id.length = static_cast<uint32_t>(
        vos_build_id(reinterpret_cast<const void *>(&ProfileCacheOpen), id.bytes, sizeof id.bytes));
    if (id.length > 0 && id.length <= sizeof id.bytes) {
        id.kind = 1;
        return id;
    }
    id = ProgramId{};
    const FileSignature file = signature_of("/proc/self/exe");
    if (file.inode == 0) return id;
    id.kind = 2;
    id.length = sizeof file;
    memcpy(id.bytes, &file, sizeof file);
    return id;
}

// Four independent lanes of multiply-xor over 8-byte words: every change of
// one word changes the sum, and the lanes keep the multiplier busy.
uint64_t checksum(const unsigned char *bytes, size_t size) {
    constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
    uint64_t lane[4] = {size, 0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull};
    size_t i = 0;
    for (; i + 32 <= size; i += 32) {
        for (int k = 0; k < 4; ++k) {
            uint64_t word;
            memcpy(&word, bytes + i + 8 * k, sizeof word);
            lane[k] = (lane[k] ^ word) * kMul;
        }
    }
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        memcpy(&word, bytes + i, sizeof word);
        lane[0] = (lane[0] ^ word) * kMul;
    }
    uint64_t sum = 0;
    for (int k = 0; k < 4; ++k) sum = (std::rotl(sum, 23) ^ lane[k]) * kMul;
    return sum ^ (sum >> 29);
}

uint64_t fnv1a(std::string_view text, uint64_t h = 0xCBF29CE484222325ull) {
    for (unsigned char c : text) h = (h ^ c) * 0x100000001B3ull;
    return h;
}

std::string absolute(const char *path) {
    if (path[0] == '/') return path;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return "";
    return std::string(cwd) + '/' + path;
}

// $XDG_CACHE_HOME/glotta, else $HOME/.cache/glotta; "" when neither names an
// absolute directory. `base` is the length of the part that is not created
// when missing: none of $XDG_CACHE_HOME, all of $HOME.
std::string cache_dir(size_t &base) {
    const char *xdg = getenv("XDG_CACHE_HOME");
    base = 0;
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/glotta";
    const char *home = getenv("HOME");
    if (!home || home[0] != '/') return "";
    base = strlen(home);
    return std::string(home) + "/.cache/glotta";
}

// The string of `length` bytes at `offset`, or false when it does not lie,
// zero-terminated and without inner zero bytes, in the strings block.
bool string_at(const unsigned char *map, const CacheHeader &header, uint64_t offset,
               uint32_t length, std::string_view &out) {
    const uint64_t begin = header.stringsOffset;
    const uint64_t end = header.stringsOffset + header.stringsSize;
    if (offset < begin || offset >= end || length >= end - offset) return false;
    const char *text = reinterpret_cast<const char *>(map + offset);
    if (text[length] != 0 || memchr(text, 0, length)) return false;
    out = std::string_view(text, length);
    return true;
}

// Optional strings (language id, charset): offset 0 is none.
bool optional_string_at(const unsigned char *map, const CacheHeader &header, uint64_t offset,
                        uint32_t length, std::string_view &out, bool &present) {
    present = offset != 0;
    return !present || string_at(map, header, offset, length, out);
}

char *dup_view(std::string_view text) {
    char *copy = static_cast<char *>(vos_malloc(text.size() + 1));
    if (!copy) return nullptr;
    memcpy(copy, text.data(), text.size());
    copy[text.size()] = 0;
    return copy;
}

// A validated profile of the cache as a loaded model without a table (the
// index scores it); null when memory runs out.
NgramProfile *mapped_profile(const std::string &path, std::string_view id, bool hasId,
                             std::string_view charset, bool hasCharset) {
    auto *profile = static_cast<NgramProfile *>(vos_calloc(1, sizeof(NgramProfile)));
    if (!profile) return nullptr;
    profile->sourcePath = dup_view(path);
    if (hasId) profile->languageId = dup_view(id);
    if (hasCharset) profile->charset = dup_view(charset);
    if (!profile->sourcePath || (hasId && !profile->languageId) ||
        (hasCharset && !profile->charset)) {
        NgramPrfDestroy(profile);
        return nullptr;
    }
    return profile;
}

// Takes the profiles and the index from a mapped cache when it is intact and
// matches the list and its files; false leaves ctx as it was.
bool adopt(LangContext *ctx, const ProfileCache &state, const unsigned char *map, size_t fileSize) {
    CacheHeader header;
    if (fileSize < kStringsOffset) return false;
    memcpy(&header, map, sizeof header);
    if (header.size > fileSize || file_size_of(header.size) != fileSize) return false;
    const size_t size = static_cast<size_t>(header.size);
    if (size < kStringsOffset || size % 8 != 0) return false;
    if (memcmp(header.magic, kMagic, sizeof kMagic) != 0 || header.version != kVersion ||
        header.profileCount != state.names.size())
        return false;
    if (header.stringsOffset != kStringsOffset || header.stringsSize > size - kStringsOffset ||
        header.recordsOffset % 8 != 0 ||
        header.recordsOffset < kStringsOffset + header.stringsSize || header.recordsOffset > size ||
        header.indexOffset % 8 != 0 || header.indexOffset > size ||
        (header.indexOffset - std::min<uint64_t>(header.indexOffset, header.recordsOffset)) /
                sizeof(ProfileRecord) <
            header.profileCount)
        return false;
    ProgramId program;
    memcpy(&program, map + kProgramOffset, sizeof program);
    if (!(program == state.program)) return false;

    std::string_view dataPath, listPath;
    if (!string_at(map, header, header.stringsOffset, static_cast<uint32_t>(state.dataPath.size()),
                   dataPath) ||
        dataPath != state.dataPath ||
        !string_at(map, header, header.stringsOffset + dataPath.size() + 1,
                   static_cast<uint32_t>(state.listPath.size()), listPath) ||
        listPath != state.listPath)
        return false;

    const size_t count = state.names.size();
    const auto *records = reinterpret_cast<const ProfileRecord *>(map + header.recordsOffset);
    for (size_t i = 0; i < count; ++i) {
        const ProfileRecord &record = records[i];
        std::string_view name, id, charset;
        bool hasId, hasCharset;
        if (!(record.file == state.files[i]) ||
            !string_at(map, header, record.name, record.nameLength, name) ||
            name != state.names[i] ||
            !optional_string_at(map, header, record.id, record.idLength, id, hasId) ||
            !optional_string_at(map, header, record.charset, record.charsetLength, charset,
                                hasCharset))
            return false;
    }
    // Last, as the costliest check: what matched above, and everything else,
    // is what was written.
    if (checksum(map + kProgramOffset, size - kProgramOffset) != header.checksum) return false;
    // The image is the one build_image checked entry by entry before writing.
    NgramModelIndex *index =
        NgramIdxFromVerifiedImage(map + header.indexOffset, size - header.indexOffset);
    if (!index || NgramIdxModelCount(index) != static_cast<int32_t>(count)) {
        NgramIdxDestroy(index);
        return false;
    }

    for (size_t i = 0; i < count; ++i) {
        const ProfileRecord &record = records[i];
        std::string_view name, id, charset;
        bool hasId, hasCharset;
        string_at(map, header, record.name, record.nameLength, name);
        optional_string_at(map, header, record.id, record.idLength, id, hasId);
        optional_string_at(map, header, record.charset, record.charsetLength, charset, hasCharset);
        NgramProfile *profile = mapped_profile(std::string(ctx->dataPath) + '/' + state.names[i],
                                               id, hasId, charset, hasCharset);
        auto *ids = static_cast<ProfileIds *>(vos_malloc(sizeof(ProfileIds)));
        if (!profile || !ids) {
            NgramPrfDestroy(profile);
            vos_free(ids);
            for (size_t k = 0; k < i; ++k) {
                NgramPrfDestroy(ctx->profiles[k]);
                ctx->profiles[k] = nullptr;
                vos_free(ctx->profileIds[k]);
                ctx->profileIds[k] = nullptr;
            }
            NgramIdxDestroy(index);
            return false;
        }
        *ids = record.ids;
        ctx->profiles[i] = profile;
        ctx->profileIds[i] = ids;
    }
    ctx->profileCount = static_cast<int32_t>(count);
    ctx->modelIndex = index;
    return true;
}

// The cache image of the loaded profiles, or an empty string when they
// cannot be written.
std::string build_image(const LangContext *ctx, const ProfileCache &state) {
    const size_t count = state.names.size();
    std::string strings;
    auto add = [&](std::string_view text) {
        const uint64_t offset = kStringsOffset + strings.size();
        strings.append(text);
        strings.push_back('\0');
        return offset;
    };
    add(state.dataPath);
    add(state.listPath);
    std::vector<ProfileRecord> records(count);
    for (size_t i = 0; i < count; ++i) {
        const NgramProfile *profile = ctx->profiles[i];
        if (!profile) return "";
        ProfileRecord &record = records[i];
        record.file = state.files[i];
        record.name = add(state.names[i]);
        record.nameLength = static_cast<uint32_t>(state.names[i].size());
        if (profile->languageId) {
            record.idLength = static_cast<uint32_t>(strlen(profile->languageId));
            record.id = add(profile->languageId);
        }
        if (profile->charset) {
            record.charsetLength = static_cast<uint32_t>(strlen(profile->charset));
            record.charset = add(profile->charset);
        }
        if (!ctx->profileIds || !ctx->profileIds[i]) return "";
        record.ids = *ctx->profileIds[i];
    }
    CacheHeader header{};
    memcpy(header.magic, kMagic, sizeof kMagic);
    header.version = kVersion;
    header.profileCount = static_cast<uint32_t>(count);
    header.stringsOffset = kStringsOffset;
    header.stringsSize = strings.size();
    header.recordsOffset = round8(kStringsOffset + strings.size());
    const size_t offset = header.recordsOffset + count * sizeof(ProfileRecord);
    header.indexOffset = offset;
    const size_t indexSize = NgramIdxImageSize(ctx->modelIndex);
    if (indexSize == 0) return "";
    header.size = offset + indexSize;

    std::string image(header.size, '\0');
    auto *out = reinterpret_cast<unsigned char *>(image.data());
    memcpy(out + kProgramOffset, &state.program, sizeof(ProgramId));
    memcpy(out + kStringsOffset, strings.data(), strings.size());
    if (count > 0)
        memcpy(out + header.recordsOffset, records.data(), count * sizeof(ProfileRecord));
    // The index image wants 8-byte alignment; a std::string's storage of
    // this size comes from operator new, which gives at least 16.
    if (NgramIdxImageWrite(ctx->modelIndex, out + header.indexOffset, indexSize) != LANG_OK)
        return "";
    // Every entry is checked here, once: a start-up from the cache then
    // checks only that the bytes are still these (the checksum).
    NgramModelIndex *check = NgramIdxFromImage(out + header.indexOffset, indexSize);
    if (!check) return "";
    NgramIdxDestroy(check);
    header.checksum = checksum(out + kProgramOffset, header.size - kProgramOffset);
    memcpy(out, &header, sizeof header);
    image.resize(file_size_of(header.size), '\0');
    return image;
}

bool write_all(int fd, const std::string &bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The cache directory, opened, when it belongs to this user and no one else
// may write to it, so that whatever lies in it was written by this user: a
// cache that someone else prepared is never used. -1 otherwise.
int open_private_dir(const std::string &dir) {
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || st.st_uid != geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH))) {
        close(fd);
        return -1;
    }
    return fd;
}

// Maps the cache file `name` of the private directory `dir` when it is a
// regular file of this user; null otherwise.
const unsigned char *map_cache(int dir, const char *name, size_t &size) {
    const int fd = openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    void *map = MAP_FAILED;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && st.st_size > 0 &&
        static_cast<uint64_t>(st.st_size) <= SIZE_MAX) {
        size = static_cast<size_t>(st.st_size);
        map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        // Read in at once, where the kernel can, into huge pages of the page
        // cache (see the file layout); else page by page.
        if (map != MAP_FAILED) {
            madvise(map, size, MADV_HUGEPAGE);
            if (madvise(map, size, kPopulateRead) != 0) {
                munmap(map, size);
                map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
            }
        }
    }
    close(fd);
    return map == MAP_FAILED ? nullptr : static_cast<const unsigned char *>(map);
}

// Creates the cache directory and its missing parents below `base` (which
// must exist), for the user alone.
bool make_dirs(const std::string &dir, size_t base) {
    for (size_t slash = dir.find('/', base + 1);; slash = dir.find('/', slash + 1)) {
        const std::string part = dir.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

// After a cache of the list is written: removes the caches of the same list
// by other builds beyond the kOtherBuildsKept most recently written, and one
// in the older single-file naming ("STEM.bin"). Other lists' caches and
// anything that is not a regular file are left alone. `privateDir` is the
// cache directory as open_private_dir opened it.
void prune(const ProfileCache &state, int privateDir) {
    const int fd = dup(privateDir);
    if (fd < 0) return;
    DIR *dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return;
    }
    const std::string_view own = std::string_view(state.path).substr(state.dir.size() + 1);
    // What follows the list's stem in another build's cache: "-" and eight hex digits.
    constexpr size_t kBuildPartLength = std::string_view("-0123abcd.bin").size();
    std::vector<std::pair<struct timespec, std::string>> others;
    while (const struct dirent *entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == own || !name.starts_with(state.stem)) continue;
        const std::string_view rest = name.substr(state.stem.size());
        const bool oldNaming = rest == ".bin";
        const bool otherBuild =
            rest.size() == kBuildPartLength && rest.starts_with('-') && rest.ends_with(".bin");
        struct stat st;
        if ((!oldNaming && !otherBuild) ||
            fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (oldNaming)
            unlinkat(fd, entry->d_name, 0);
        else
            others.emplace_back(st.st_mtim, entry->d_name);
    }
    if (others.size() > kOtherBuildsKept) {
        std::sort(others.begin(), others.end(), [](const auto &a, const auto &b) {
            return a.first.tv_sec != b.first.tv_sec ? a.first.tv_sec > b.first.tv_sec
                                                    : a.first.tv_nsec > b.first.tv_nsec;
        });
        for (size_t i = kOtherBuildsKept; i < others.size(); ++i)
            unlinkat(fd, others[i].second.c_str(), 0);
    }
    closedir(dir);
}

// Writes the image under a temporary name in the cache directory and renames
// it over the cache, so a reader sees the old file or the new one, whole.
void store(const ProfileCache &state, int privateDir, const std::string &image) {
    std::string temp = state.dir + "/profiles-XXXXXX.tmp";
    const int fd = vos_mkstemps(temp.data(), 4);
    if (fd < 0) return;
    const bool written = write_all(fd, image);
    if (close(fd) != 0 || !written || rename(temp.c_str(), state.path.c_str()) != 0) {
        unlink(temp.c_str());
        return;
    }
    prune(state, privateDir);
}

}  // namespace

bool ProfileCacheOpen(LangContext *ctx, const std::string &listPath,
                      const std::vector<std::string> &names) {
    if (!ctx || !ctx->dataPath || ctx->profileCache || names.size() < PROFILE_CACHE_MIN_PROFILES)
        return false;
    size_t base = 0;
    const std::string dir = cache_dir(base);
    if (dir.empty()) return false;
    auto *state = new ProfileCache;
    ctx->profileCache = state;
    state->program = program_id();
    state->dataPath = absolute(ctx->dataPath);
    state->listPath = absolute(listPath.c_str());
    if (state->program.kind == 0 || state->dataPath.empty() || state->listPath.empty())
        return false;
    // One file per list and build: "profiles-LISTHASH-BUILDHASH.bin".
    char name[64];
    snprintf(name, sizeof name, "profiles-%016llx",
             static_cast<unsigned long long>(fnv1a(
                 state->listPath,
                 fnv1a(std::string_view(state->dataPath.c_str(), state->dataPath.size() + 1)))));
    state->stem = name;
    const ProgramId &program = state->program;
    const uint64_t build =
        fnv1a(std::string_view(reinterpret_cast<const char *>(program.bytes), program.length),
              fnv1a(std::string_view(reinterpret_cast<const char *>(&program.kind),
                                     sizeof program.kind)));
    snprintf(name, sizeof name, "%s-%08llx.bin", state->stem.c_str(),
             static_cast<unsigned long long>(build & 0xFFFFFFFFu));
    state->dir = dir;
    state->base = base;
    state->path = dir + '/' + name;
    state->names = names;
    state->files.assign(names.size(), FileSignature{});
    state->pending = true;

    const int private_dir = open_private_dir(dir);
    size_t size = 0;
    const unsigned char *map = private_dir >= 0 ? map_cache(private_dir, name, size) : nullptr;
    if (private_dir >= 0) close(private_dir);
    // Without a cache there is nothing to compare: the normal load takes
    // each profile's signature as it opens the file (ProfileCacheNoteFile).
    if (!map) return false;
    // Taken before any profile is read: a file that changes during a normal
    // load then no longer matches the cache written after it.
    state->files = profile_signatures(ctx->dataPath, names);
    state->signed_ = true;
    if (reinterpret_cast<uintptr_t>(map) % 8 != 0 || !adopt(ctx, *state, map, size)) {
        munmap(const_cast<unsigned char *>(map), size);
        return false;
    }
    state->map = map;
    state->mapSize = size;
    state->pending = false;
    // No log line of its own: a cached start logs exactly what a normal one does.
    return true;
}

void ProfileCacheNoteFile(LangContext *ctx, size_t index, const struct stat &status) {
    ProfileCache *state = ctx ? ctx->profileCache : nullptr;
    if (!state || !state->pending || state->signed_ || index >= state->files.size()) return;
    state->files[index] = signature_of(status);
}

void ProfileCacheSave(LangContext *ctx, int loadResult) {
    ProfileCache *state = ctx ? ctx->profileCache : nullptr;
    if (!state || !state->pending || loadResult != LANG_OK) return;
    state->pending = false;
    const size_t count = state->names.size();
    if (ctx->profileCount != static_cast<int32_t>(count) || !ctx->modelIndex ||
        NgramIdxModelCount(ctx->modelIndex) != ctx->profileCount)
        return;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    for (const FileSignature &file : state->files) {
        if (!S_ISREG(file.mode) || file.changedSeconds > now.tv_sec - g_settleSeconds ||
            file.modifiedSeconds > now.tv_sec - g_settleSeconds)
            return;
    }
    // Where no cache can be kept, or none would be used, nothing is built.
    if (!make_dirs(state->dir, state->base) || access(state->dir.c_str(), W_OK) != 0) return;
    const int private_dir = open_private_dir(state->dir);
    if (private_dir < 0) return;
    const std::string image = build_image(ctx, *state);
    if (!image.empty()) store(*state, private_dir, image);
    close(private_dir);
}

void ProfileCacheRelease(LangContext *ctx) {
    ProfileCache *state = ctx ? ctx->profileCache : nullptr;
    if (!state) return;
    if (state->map) munmap(const_cast<unsigned char *>(state->map), state->mapSize);
    delete state;
    ctx->profileCache = nullptr;
}

bool ProfileCacheInUse(const LangContext *ctx) {
    return ctx && ctx->profileCache && ctx->profileCache->map;
}

void ProfileCacheSettleSeconds(int seconds) {
    g_settleSeconds = seconds < 0 ? kSettleSeconds : seconds;
}
