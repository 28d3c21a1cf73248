// lm_file.cpp - the .lm profile files: reading a model (NgramPrfLoad) and
// writing a training profile (NgramPrfSave).
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/lang_api.h"
#include "ngram/hash_internal.h"
#include "ngram/profile.h"
#include "ngram/text_helpers.h"
#include "platform/vos.h"

using namespace glotta::ngram;

namespace {

// Profile files are read in pieces of at most 255 bytes.
constexpr int kLineBuffer = 256;
constexpr char kUnknownLanguage[] = "un";
constexpr char kUnknownCharset[] = "Unknown";
constexpr char kIdTag[] = "ID:";
constexpr char kCharsetTag[] = "CHARSET:";

// A trimmed header value, or `fallback` with the bad-format result when the
// value is empty. Returns the new load result, or LANG_ERR_NOMEM.
int read_header(char *value, char **field, const char *fallback, int result) {
    value = lang_skipheadspace(value);
    lang_removetrailigspace(value);
    if (value[0] != 0) return lang_setstring(field, value) ? result : LANG_ERR_NOMEM;
    return lang_setstring(field, fallback) ? LANG_ERR_BADPROFILE : LANG_ERR_NOMEM;
}

struct FileCloser {
    void operator()(FILE *file) const noexcept { fclose(file); }
};

// Reads a file in large blocks and hands it out in the pieces fgets with a
// kLineBuffer-byte buffer would return: up to and including the next line
// feed, at most kLineBuffer - 1 bytes (zero bytes of the file included as
// they are). One read call per block instead of a locked stream call per
// line, and no copy of a piece.
class PieceReader {
  public:
    explicit PieceReader(FILE *file) : file_(file) {}

    // The bytes the next piece is taken from: at most kLineBuffer - 1 of
    // them, valid until `consume`. False at the end of the file or on a read
    // error (ferror tells which).
    bool window(std::string_view &bytes) {
        if (end_ - pos_ < kLineBuffer - 1 && !eof_) refill();
        if (pos_ == end_) return false;
        bytes = std::string_view(block_ + pos_, std::min<size_t>(end_ - pos_, kLineBuffer - 1));
        return true;
    }

    // Ends the piece that starts the window; its line feed, if any, is at
    // `from` or after.
    void consume(std::string_view window, size_t from) {
        size_t at = from;
        while (at < window.size() && window[at] != '\n') ++at;
        pos_ += at < window.size() ? at + 1 : window.size();
    }

  private:
    void refill() {
        memmove(block_, block_ + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
        while (end_ < sizeof block_ && !eof_) {
            const size_t want = sizeof block_ - end_;
            const size_t got = fread(block_ + end_, 1, want, file_);
            end_ += got;
            if (got < want) eof_ = true;
        }
    }

    FILE *file_;
    char block_[8192];
    size_t pos_ = 0;
    size_t end_ = 0;
    bool eof_ = false;
};

bool write_ngram_line(FILE *file, const NgramHashEntry &entry) {
    const size_t key_length = strnlen(entry.key, sizeof entry.key);
    return fwrite(entry.key, 1, key_length, file) == key_length &&
           fprintf(file, " %d\n", static_cast<int>(entry.length)) > 0;
}

// A new version of a file, written under a temporary name in the same
// directory. `commit` puts it on disk and renames it over the file; until
// then the old version stays as it was, and without a commit the temporary
// file is removed again. Failures leave errno set to the system's reason.
class ReplacingFile {
  public:
    explicit ReplacingFile(const char *path) : path_(path) {
        // Created with 0666 less the umask, as a new file of fopen's would
        // be; a file being replaced passes its own permissions on.
        for (int attempt = 0; attempt < kAttempts && !stream_; ++attempt) {
            temp_ = path_ + '.' + std::to_string(getpid()) + '.' + std::to_string(attempt) + ".tmp";
            const int fd =
                open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (fd < 0) {
                if (errno == EEXIST) continue;
                break;
            }
            struct stat old;
            if (stat(path, &old) == 0 && S_ISREG(old.st_mode))
                (void)!fchmod(fd, old.st_mode & 07777);
            stream_ = fdopen(fd, "w");
            if (!stream_) {
                discard(fd);
                break;
            }
        }
    }
    ~ReplacingFile() {
        if (stream_) discard(-1);
    }
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    FILE *stream() const { return stream_; }

    bool commit() {
        if (!stream_) return false;
        FILE *stream = stream_;
        stream_ = nullptr;
        if (fflush(stream) != 0 || ferror(stream) || fsync(fileno(stream)) != 0) {
            const int error = errno != 0 ? errno : EIO;
            fclose(stream);
            remove_temp(error);
            return false;
        }
        if (fclose(stream) != 0 || rename(temp_.c_str(), path_.c_str()) != 0) {
            remove_temp(errno);
            return false;
        }
        // The rename itself reaches the disk with the directory.
        const size_t slash = path_.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : path_.substr(0, slash + 1);
        const int dir_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir_fd >= 0) {
            fsync(dir_fd);
            close(dir_fd);
        }
        return true;
    }

  private:
    static constexpr int kAttempts = 100;

    // Closes the stream (or `fd` when there is none yet) and removes the
    // temporary file, keeping errno.
    void discard(int fd) {
        const int error = errno;
        if (stream_) {
            fclose(stream_);
            stream_ = nullptr;
        } else {
            close(fd);
        }
        remove_temp(error);
    }
    void remove_temp(int error) {
        unlink(temp_.c_str());
        errno = error;
    }

    std::string path_;
    std::string temp_;
    FILE *stream_ = nullptr;
};

}  // namespace

int NgramPrfLoad(NgramProfile *profile, const char *path) {
    return NgramPrfLoadFile(profile, path, nullptr);
}

int NgramPrfLoadFile(NgramProfile *profile, const char *path, struct stat *status) {
    if (!profile || !path) return LANG_ERR_NULL;
    if (!lang_setstring(&profile->sourcePath, path)) return LANG_ERR_NOMEM;
    if (!profile->table || !profile->table->entries) return LANG_ERR_NULL;
    // A FIFO or a device is no profile; it is refused as unopenable.
    const int fd = vos_open_regular(path, VOS_O_RDONLY, status);
    std::unique_ptr<FILE, FileCloser> file(fd >= 0 ? fdopen(fd, "r") : nullptr);
    if (!file) {
        if (fd >= 0) close(fd);
        return LANG_ERR_OPEN;
    }
    // The reader has its own block: a stream buffer would only add a copy,
    // an allocation and a status query per file.
    setvbuf(file.get(), nullptr, _IONBF, 0);

    int result = LANG_OK;
    int32_t ngram_lines = 0;
    NgramHashTable &table = *profile->table;
    std::string_view window;
    PieceReader reader(file.get());
    while (reader.window(window)) {
        const char first = window[0];
        if (first == '#' || first == '\n' || first == '\r') {
            reader.consume(window, 0);
            continue;
        }
        const bool id = window.starts_with(kIdTag);
        if (id || window.starts_with(kCharsetTag)) {
            // The header value as the line buffer would hold it: the piece
            // up to its line feed, cut at a zero byte.
            size_t length = 0;
            while (length < window.size() && window[length] != '\n' && window[length] != 0)
                ++length;
            if (length < window.size() && window[length] == '\n') ++length;
            char line[kLineBuffer];
            memcpy(line, window.data(), length);
            line[length] = 0;
            reader.consume(window, 0);
            if (id) {
                result = read_header(line + strlen(kIdTag), &profile->languageId, kUnknownLanguage,
                                     result);
            } else {
                result = read_header(line + strlen(kCharsetTag), &profile->charset, kUnknownCharset,
                                     result);
            }
            if (result == LANG_ERR_NOMEM) return result;
            continue;
        }
        // An n-gram line: the key is everything before the first space, and
        // is hashed as it is scanned. A piece without a space before its end
        // or a zero byte is malformed, and so is a key that does not fit an
        // entry (it cannot be any document n-gram: the file is not a profile
        // this engine wrote).
        uint32_t h = kHashSeed;
        int32_t key_length = 0;
        for (;; ++key_length) {
            if (key_length > NGRAM_KEY_MAX || static_cast<size_t>(key_length) == window.size()) {
                return LANG_ERR_BADPROFILE;
            }
            const char c = window[static_cast<size_t>(key_length)];
            if (c == ' ') break;
            if (c == '\n' || c == 0) return LANG_ERR_BADPROFILE;
            h = hash_step(h, static_cast<unsigned char>(c));
        }
        // HashInsert's own steps, inline: this loop runs for every line of
        // every profile at start-up.
        result = hash_insert_at(table, hash_bucket(h), pack_key(window.data(), key_length),
                                key_length, ++ngram_lines);
        reader.consume(window, static_cast<size_t>(key_length));
        if (result != LANG_OK) return result;
    }
    if (ferror(file.get())) return LANG_ERR_OPEN;
    return result;
}

int NgramPrfSave(NgramProfile *profile, const char *path) {
    if (!profile || !path || !profile->table || !profile->table->entries) return LANG_ERR_NULL;
    const NgramHashEntry *top[NGRAM_COMPARE_DEPTH];
    int32_t lines = 0;
    if (profile->ranked) {
        lines = NgramPrfTopNgrams(profile, top);
        if (lines < 0) return LANG_ERR_NULL;
    }
    ReplacingFile file(path);
    if (!file.stream()) return LANG_ERR_OPEN;

    bool ok = true;
    if (profile->languageId) ok = fprintf(file.stream(), "ID:%s\n", profile->languageId) > 0;
    if (ok && profile->charset) ok = fprintf(file.stream(), "CHARSET:%s\n", profile->charset) > 0;
    if (profile->ranked) {
        for (int32_t p = 0; ok && p < lines; ++p) ok = write_ngram_line(file.stream(), *top[p]);
    } else {
        const int rc = HashSort(profile->table);
        if (rc != LANG_OK) return rc;
        // Fewer than 400 n-grams leave empty heads (count 0) at the end of
        // the sorted array; they are written too, as " 0".
        const NgramHashTable &table = *profile->table;
        const int32_t limit =
            table.nextFree < NGRAM_COMPARE_DEPTH ? table.nextFree : NGRAM_COMPARE_DEPTH;
        for (int32_t i = 0; ok && i < limit; ++i)
            ok = write_ngram_line(file.stream(), table.entries[i]);
    }
    // Without a commit the old file stays and the new one is removed.
    return ok && file.commit() ? LANG_OK : LANG_ERR_OPEN;
}
