// profile.cpp - n-gram profiles: extraction, ranking, scoring and the .lm
// file format.
#include "ngram/profile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <iterator>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "engine/lang_api.h"
#include "ngram/hash_internal.h"
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

// Words up to this many bytes are padded and hashed in stack buffers; longer
// ones use one heap buffer per call.
constexpr int32_t kStackWord = 256;
// pack_key_padded reads 8 bytes from any n-gram start.
constexpr int32_t kPadSlack = 8;

// The complement of lang_isnoisy: bytes 0x40-0xFF.
inline bool is_word_byte(unsigned char c) {
    return c >= 0x40;
}

// Scratch for one padded word: its bytes and the running hash of the n-gram
// starting at each position.
struct WordScratch {
    unsigned char stack_bytes[kStackWord + 2 + kPadSlack];
    uint32_t stack_states[kStackWord + 2];
    unsigned char *heap_bytes = nullptr;
    uint32_t *heap_states = nullptr;
    int32_t heap_word = 0;

    WordScratch() = default;
    WordScratch(const WordScratch &) = delete;
    WordScratch &operator=(const WordScratch &) = delete;
    ~WordScratch() {
        vos_free(heap_bytes);
        vos_free(heap_states);
    }

    // Buffers for a word of `length` bytes, or false when memory runs out.
    bool reserve(int32_t length, int32_t longest, unsigned char **bytes, uint32_t **states) {
        if (length <= kStackWord) {
            *bytes = stack_bytes;
            *states = stack_states;
            return true;
        }
        if (heap_word < length) {
            vos_free(heap_bytes);
            vos_free(heap_states);
            heap_states = nullptr;
            heap_word = 0;
            // Sized for the longest word the rest of the text can hold, so one
            // allocation serves the whole call.
            heap_bytes = static_cast<unsigned char *>(
                vos_malloc(static_cast<size_t>(longest) + 2 + kPadSlack));
            if (!heap_bytes) return false;
            heap_states = static_cast<uint32_t *>(
                vos_malloc((static_cast<size_t>(longest) + 2) * sizeof(uint32_t)));
            if (!heap_states) return false;
            heap_word = longest;
        }
        *bytes = heap_bytes;
        *states = heap_states;
        return true;
    }
};

// Inserts the n-grams of one word of `length` >= 2 bytes: its bytes as
// 1-grams, then every 2-, 3-, 4- and 5-gram of the word padded with '_' on
// both sides, each length in order of position. The hash of an n-gram is the
// hash of its first n - 1 bytes advanced by one byte, so each length costs
// one hash step per position.
int insert_word(NgramHashTable &table, KeyFinder &finder, const unsigned char *word, int32_t length,
                unsigned char *padded, uint32_t *states) {
    const int32_t size = length + 2;
    padded[0] = '_';
    memcpy(padded + 1, word, static_cast<size_t>(length));
    padded[size - 1] = '_';
    memset(padded + size, 0, kPadSlack);

    for (int32_t i = 0; i < size; ++i) states[i] = hash_step(kHashSeed, padded[i]);
    for (int32_t i = 1; i <= length; ++i) {
        const int rc = finder.insert(table, states[i], pack_key_padded(padded + i, 1), 1, 0);
        if (rc != LANG_OK) return rc;
    }
    for (int32_t n = 2; n <= NGRAM_MAX_LEN && n <= size; ++n) {
        for (int32_t i = 0; i + n <= size; ++i) {
            states[i] = hash_step(states[i], padded[i + n - 1]);
            const int rc = finder.insert(table, states[i], pack_key_padded(padded + i, n), n, 0);
            if (rc != LANG_OK) return rc;
        }
    }
    return LANG_OK;
}

// Replaces an owned string with a copy of `value`; false when memory runs out
// (the old string is kept then).
bool replace_string(char **field, const char *value) {
    char *copy = lang_strdup(value);
    if (!copy) return false;
    vos_free(*field);
    *field = copy;
    return true;
}

// A trimmed header value, or `fallback` with the bad-format result when the
// value is empty. Returns the new load result, or LANG_ERR_NOMEM.
int read_header(char *value, char **field, const char *fallback, int result) {
    value = lang_skipheadspace(value);
    lang_removetrailigspace(value);
    if (value[0] != 0) return replace_string(field, value) ? result : LANG_ERR_NOMEM;
    return replace_string(field, fallback) ? LANG_ERR_BADPROFILE : LANG_ERR_NOMEM;
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

NgramProfile *NgramPrfNew(const char *id, const char *charset, int ranked) {
    auto *profile = static_cast<NgramProfile *>(vos_calloc(1, sizeof(NgramProfile)));
    if (!profile) return nullptr;
    bool ok = true;
    if (id) ok = (profile->languageId = lang_strdup(id)) != nullptr;
    if (ok && charset) ok = (profile->charset = lang_strdup(charset)) != nullptr;
    // A document of the usual 2 KB fills one growth step; a loaded model or a
    // training profile gets the plain table.
    if (ok) {
        profile->table = ranked ? hash_new(2 * NGRAM_HASH_GROWTH) : HashNew(NGRAM_HASH_BUCKETS);
        ok = profile->table != nullptr;
    }
    if (ok && ranked) {
        profile->ranked = 1;
        // Only the member counts are read before NgramPrfSort writes the
        // lists, so the 200 KB of members are left as they come.
        profile->rankLists = static_cast<int32_t(*)[NGRAM_RANK_MEMBERS + 1]>(
            vos_malloc(sizeof(int32_t) * NGRAM_RANK_LISTS * (NGRAM_RANK_MEMBERS + 1)));
        ok = profile->rankLists != nullptr;
        if (ok) {
            for (int32_t b = 0; b < NGRAM_RANK_LISTS; ++b) profile->rankLists[b][0] = 0;
        }
    }
    if (!ok) {
        NgramPrfDestroy(profile);
        return nullptr;
    }
    return profile;
}

namespace {

// NgramPrfInsert into a table whose arguments are checked, with the caller's
// finder (built here for this run of insertions).
int insert_text(NgramHashTable &table, KeyFinder &finder, unsigned char *text, int32_t length) {
    WordScratch scratch;
    // About two new n-grams per byte of text is what natural text gives.
    if (length > 0) finder.build(table, length > INT32_MAX / 2 ? INT32_MAX : 2 * length);
    int32_t pos = 0;
    while (pos < length) {
        if (!is_word_byte(text[pos])) {
            ++pos;
            continue;
        }
        const int32_t start = pos;
        for (; pos < length && is_word_byte(text[pos]); ++pos) {
            if (text[pos] >= 'A' && text[pos] <= 'Z') text[pos] += 'a' - 'A';
        }
        const int32_t word = pos - start;
        if (word < 2) continue;
        unsigned char *padded;
        uint32_t *states;
        if (!scratch.reserve(word, length - start, &padded, &states)) return LANG_ERR_NOMEM;
        const int rc = insert_word(table, finder, text + start, word, padded, states);
        if (rc != LANG_OK) return rc;
    }
    return LANG_OK;
}

}  // namespace

namespace {

// Counts the n-grams of one document for NgramPrfBuildDocument. Every
// n-gram is counted in an open-addressing table keyed by its packed bytes
// (n-gram bytes are never zero, so a zero key marks a free slot and the key
// alone tells the length). The bytes are read once: at each word byte the
// 1- to 5-grams ending there are counted, with the table hash of each kept
// running in registers. Only the distinct n-grams are then written to the
// profile's table, in the order NgramPrfInsert would have created them.
class DocCounter {
  public:
    DocCounter() = default;
    DocCounter(const DocCounter &) = delete;
    DocCounter &operator=(const DocCounter &) = delete;
    ~DocCounter() {
        vos_free(slots_);
        vos_free(lists_);
    }

    // Counts the n-grams of `text`, folding its capitals; false when memory
    // runs out.
    bool count(unsigned char *text, int32_t length);
    // The distinct n-grams in creation order, as slot numbers.
    const int32_t *order() const { return lists_; }
    int32_t distinct() const { return distinct_; }

    struct Slot {
        uint64_t key;  // 0: free
        int32_t count;
        uint32_t hash;  // HashValue of the key
    };
    const Slot *slots() const { return slots_; }

  private:
    // Creation order is that of NgramPrfInsert: word by word, within a word
    // all 1-grams by position, then all 2-grams, and so on. The bytes are
    // visited by position instead, so the n-grams a word adds are kept in
    // one list per length (in position order) and appended when it ends.
    static constexpr int kStaged = NGRAM_MAX_LEN;

    static constexpr uint32_t kSlotMix = 0x9E3779B1u;
    // Texts longer than this are scanned for their longest word first.
    static constexpr int32_t kMeasuredWords = 8192;

    // Takes the free slot `s` that the probe for `key` ended on (after
    // growing the table when it is half full); false when it cannot grow.
    bool create(uint32_t s, uint64_t key, uint32_t hash, int n);
    bool reserve(int32_t length, int32_t longest_word);
    bool rehash();
    bool allocate_lists(int32_t capacity);

    Slot *slots_ = nullptr;
    int bits_ = 0;
    uint32_t mask_ = 0;
    int shift_ = 32;
    int32_t taken_ = 0;     // slots in use
    int32_t limit_ = 0;     // slots in use before the table grows
    int32_t distinct_ = 0;  // appended to the creation order so far
    // One block: the creation order (lists_ [0, limit_)) and the staged
    // lists of the current word (kStaged lists of word_room_ each).
    int32_t *lists_ = nullptr;
    int32_t lists_capacity_ = 0;
    int32_t *staged_[kStaged] = {};
    int32_t staged_count_[kStaged] = {};
    int32_t word_room_ = 0;
    bool failed_ = false;  // the table could not grow
};

bool DocCounter::allocate_lists(int32_t capacity) {
    if (capacity <= lists_capacity_) return true;
    auto *lists = static_cast<int32_t *>(
        vos_realloc(lists_, static_cast<size_t>(capacity) * sizeof(int32_t)));
    if (!lists) return false;
    lists_ = lists;
    lists_capacity_ = capacity;
    return true;
}

// Empties the table and makes room for a document of `length` bytes whose
// words have at most `longest_word` bytes: a word of L bytes adds at most
// L + 1 n-grams of each length.
bool DocCounter::reserve(int32_t length, int32_t longest_word) {
    // A failed count may leave keys that the creation order does not hold.
    if (failed_) {
        vos_free(slots_);
        slots_ = nullptr;
        bits_ = 0;
        failed_ = false;
    }
    for (int32_t i = 0; i < distinct_ && slots_; ++i) slots_[lists_[i]].key = 0;
    distinct_ = 0;
    taken_ = 0;
    // About two distinct n-grams per byte is what natural text gives; the
    // table grows for more, and one huge text does not reserve a huge table
    // up front.
    const int64_t expected = std::min<int64_t>(2 * int64_t{length}, int64_t{1} << 16);
    int bits = 10;
    while (bits < 30 && (int64_t{1} << bits) < 2 * expected) ++bits;
    if (bits > bits_) {
        vos_free(slots_);
        slots_ = static_cast<Slot *>(vos_calloc(size_t{1} << bits, sizeof(Slot)));
        if (!slots_) {
            bits_ = 0;
            return false;
        }
        bits_ = bits;
    }
    mask_ = (uint32_t{1} << bits_) - 1;
    shift_ = 32 - bits_;
    limit_ = static_cast<int32_t>((uint64_t{1} << bits_) / 2);
    word_room_ = longest_word + 2;
    const int64_t capacity = int64_t{limit_} + int64_t{kStaged} * word_room_;
    if (capacity > INT32_MAX || !allocate_lists(static_cast<int32_t>(capacity))) return false;
    for (int n = 0; n < kStaged; ++n) {
        staged_[n] = lists_ + limit_ + n * word_room_;
        staged_count_[n] = 0;
    }
    return true;
}

// Doubles the table; every slot number held in the lists moves with its key.
bool DocCounter::rehash() {
    if (bits_ >= 30) return false;
    const int bits = bits_ + 1;
    auto *slots = static_cast<Slot *>(vos_calloc(size_t{1} << bits, sizeof(Slot)));
    if (!slots) return false;
    const uint32_t mask = (uint32_t{1} << bits) - 1;
    const int shift = 32 - bits;
    auto move = [&](int32_t &slot) {
        const Slot &old = slots_[slot];
        uint32_t s = (old.hash * kSlotMix) >> shift;
        while (slots[s].key != 0) s = (s + 1) & mask;
        slots[s] = old;
        slot = static_cast<int32_t>(s);
    };
    for (int32_t i = 0; i < distinct_; ++i) move(lists_[i]);
    for (int n = 0; n < kStaged; ++n) {
        for (int32_t i = 0; i < staged_count_[n]; ++i) move(staged_[n][i]);
    }
    // The staged lists sit behind the creation order, whose room doubles.
    const int32_t limit = static_cast<int32_t>((uint64_t{1} << bits) / 2);
    const int64_t capacity = int64_t{limit} + int64_t{kStaged} * word_room_;
    if (capacity > INT32_MAX || !allocate_lists(static_cast<int32_t>(capacity))) {
        vos_free(slots);
        return false;
    }
    for (int n = kStaged - 1; n >= 0; --n) {
        int32_t *moved = lists_ + limit + n * word_room_;
        memmove(moved, lists_ + limit_ + n * word_room_,
                static_cast<size_t>(staged_count_[n]) * sizeof(int32_t));
        staged_[n] = moved;
    }
    vos_free(slots_);
    slots_ = slots;
    bits_ = bits;
    mask_ = mask;
    shift_ = shift;
    limit_ = limit;
    return true;
}

bool DocCounter::create(uint32_t s, uint64_t key, uint32_t hash, int n) {
    if (taken_ >= limit_) {
        if (!rehash()) return false;
        s = (hash * kSlotMix) >> shift_;
        while (slots_[s].key != 0) s = (s + 1) & mask_;
    }
    slots_[s] = {key, 1, hash};
    staged_[n - 1][staged_count_[n - 1]++] = static_cast<int32_t>(s);
    ++taken_;
    return true;
}

bool DocCounter::count(unsigned char *text, int32_t length) {
    // The staged lists are sized for the longest word; for a short text the
    // text's length bounds it well enough.
    int32_t longest = length;
    if (length > kMeasuredWords) {
        longest = 0;
        for (int32_t pos = 0, run = 0; pos < length; ++pos) {
            run = is_word_byte(text[pos]) ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    if (!reserve(length, longest)) return false;
    // The probe state lives in locals so that it stays in registers while
    // counts are written; only create(), when the table is half full, can
    // change it.
    Slot *slots = slots_;
    uint32_t mask = mask_;
    int shift = shift_;
    int32_t taken = taken_;
    int32_t limit = limit_;
    int32_t *ends[kStaged];  // the current word's staged lists end here
    for (int k = 0; k < kStaged; ++k) ends[k] = staged_[k];
    bool ok = true;
    auto add = [&](uint64_t key, uint32_t hash, int n) {
        uint32_t s = (hash * kSlotMix) >> shift;
        for (;;) {
            Slot &slot = slots[s];
            if (slot.key == key) {
                ++slot.count;
                return;
            }
            if (slot.key == 0) break;
            s = (s + 1) & mask;
        }
        if (taken < limit) {
            slots[s] = {key, 1, hash};
            *ends[n - 1]++ = static_cast<int32_t>(s);
            ++taken;
            return;
        }
        taken_ = taken;
        for (int k = 0; k < kStaged; ++k) {
            staged_count_[k] = static_cast<int32_t>(ends[k] - staged_[k]);
        }
        ok = create(s, key, hash, n) && ok;
        slots = slots_;
        mask = mask_;
        shift = shift_;
        taken = taken_;
        limit = limit_;
        for (int k = 0; k < kStaged; ++k) ends[k] = staged_[k] + staged_count_[k];
    };
    constexpr uint64_t kPad = '_';
    constexpr uint32_t kPadHash = hash_step(kHashSeed, '_');
    int32_t pos = 0;
    while (pos < length) {
        unsigned char c = text[pos];
        if (!is_word_byte(c)) {
            ++pos;
            continue;
        }
        if (c >= 'A' && c <= 'Z') text[pos] = c += 'a' - 'A';
        // A one-byte word is only folded.
        if (pos + 1 >= length || !is_word_byte(text[pos + 1])) {
            pos += 2;
            continue;
        }
        // Bytes enter `window` at the top: the n-gram ending at the newest
        // byte is its top n bytes, which shifted down are the packed key.
        uint64_t window = kPad << 56;
        uint32_t h1 = kPadHash, h2 = 0, h3 = 0, h4 = 0;
        int32_t at = 0;  // position in the padded word of the newest byte
        for (; pos < length && is_word_byte(c = text[pos]); ++pos) {
            if (c >= 'A' && c <= 'Z') text[pos] = c += 'a' - 'A';
            window = (window >> 8) | (uint64_t{c} << 56);
            ++at;
            const uint32_t h5 = hash_step(h4, c);
            h4 = hash_step(h3, c);
            h3 = hash_step(h2, c);
            h2 = hash_step(h1, c);
            h1 = hash_step(kHashSeed, c);
            add(window >> 56, h1, 1);
            add(window >> 48, h2, 2);
            if (at >= 2) add(window >> 40, h3, 3);
            if (at >= 3) add(window >> 32, h4, 4);
            if (at >= 4) add(window >> 24, h5, 5);
        }
        // The closing pad: no 1-gram, n-grams up to the whole padded word.
        window = (window >> 8) | (kPad << 56);
        ++at;
        add(window >> 48, hash_step(h1, '_'), 2);
        if (at >= 2) add(window >> 40, hash_step(h2, '_'), 3);
        if (at >= 3) add(window >> 32, hash_step(h3, '_'), 4);
        if (at >= 4) add(window >> 24, hash_step(h4, '_'), 5);
        if (!ok) {
            failed_ = true;
            return false;
        }
        for (int k = 0; k < kStaged; ++k) {
            for (const int32_t *staged = staged_[k]; staged != ends[k]; ++staged) {
                lists_[distinct_++] = *staged;
            }
            ends[k] = staged_[k];
        }
    }
    taken_ = taken;
    return true;
}

}  // namespace

struct NgramDocScratch {
    NgramProfile *document; /* ranked, rebuilt by each build */
    DocCounter counter;
    uint64_t heads[(NGRAM_HASH_BUCKETS + 63) / 64]; /* buckets whose head is taken */
    int32_t tails[NGRAM_HASH_BUCKETS];              /* last entry of each taken bucket */
};

int NgramPrfInsert(NgramProfile *profile, unsigned char *text, int32_t length) {
    if (!profile || !text || !profile->table || !profile->table->entries) return LANG_ERR_NULL;
    KeyFinder finder;
    return insert_text(*profile->table, finder, text, length);
}

NgramDocScratch *NgramPrfScratchNew(void) {
    auto *scratch = static_cast<NgramDocScratch *>(vos_malloc(sizeof(NgramDocScratch)));
    if (!scratch) return nullptr;
    new (scratch) NgramDocScratch{};
    scratch->document = NgramPrfNew(nullptr, nullptr, 1);
    if (!scratch->document) {
        NgramPrfScratchDestroy(scratch);
        return nullptr;
    }
    return scratch;
}

void NgramPrfScratchDestroy(NgramDocScratch *scratch) {
    if (!scratch) return;
    NgramPrfDestroy(scratch->document);
    scratch->~NgramDocScratch();
    vos_free(scratch);
}

int NgramPrfBuildDocument(NgramDocScratch *scratch, unsigned char *text, int32_t length,
                          const NgramProfile **out) {
    if (out) *out = nullptr;
    if (!scratch || !scratch->document || !text || !out) return LANG_ERR_NULL;
    NgramProfile &document = *scratch->document;
    NgramHashTable &table = *document.table;
    // Emptied as HashNew leaves a table: the heads the last document took
    // are zeroed, no overflow entry is in use. A capacity grown by an
    // earlier document is kept; it only moves the points where the array
    // would grow, never what the table holds.
    uint64_t *heads = scratch->heads;
    for (int32_t w = 0; w < static_cast<int32_t>(std::size(scratch->heads)); ++w) {
        for (uint64_t bits = heads[w]; bits != 0; bits &= bits - 1) {
            table.entries[w * 64 + std::countr_zero(bits)] = NgramHashEntry{};
        }
        heads[w] = 0;
    }
    table.nextFree = NGRAM_HASH_BUCKETS;
    for (int32_t b = 0; b < NGRAM_RANK_LISTS; ++b) document.rankLists[b][0] = 0;

    DocCounter &counter = scratch->counter;
    if (length > 0 && !counter.count(text, length)) return LANG_ERR_NOMEM;
    const int32_t distinct = length > 0 ? counter.distinct() : 0;

    // Each n-gram goes where HashInsert would have put it: the head of its
    // bucket when it is the bucket's first, else the next overflow entry,
    // linked behind the bucket's last. The array grows first, in the steps
    // HashInsert takes, to hold every n-gram as an overflow entry.
    const int64_t needed = int64_t{NGRAM_HASH_BUCKETS} + distinct + 1;
    if (table.capacity < needed) {
        const int64_t capacity =
            table.capacity + (needed - table.capacity + NGRAM_HASH_GROWTH - 1) / NGRAM_HASH_GROWTH *
                                 NGRAM_HASH_GROWTH;
        if (capacity > INT32_MAX) return LANG_ERR_NOMEM;
        void *grown =
            vos_realloc(table.entries, static_cast<size_t>(capacity) * sizeof(NgramHashEntry));
        if (!grown) return LANG_ERR_NOMEM;
        table.entries = static_cast<NgramHashEntry *>(grown);
        table.capacity = static_cast<int32_t>(capacity);
    }
    const int32_t *order = counter.order();
    const DocCounter::Slot *counted = counter.slots();
    NgramHashEntry *entries = table.entries;
    int32_t *tails = scratch->tails;
    int32_t next = NGRAM_HASH_BUCKETS;
    for (int32_t i = 0; i < distinct; ++i) {
        const DocCounter::Slot &ngram = counted[order[i]];
        const uint32_t bucket = hash_bucket(ngram.hash);
        int32_t at = static_cast<int32_t>(bucket);
        if (entries[bucket].count != 0) {
            at = next++;
            entries[tails[bucket]].next = at;
        } else {
            heads[bucket / 64] |= uint64_t{1} << (bucket % 64);
        }
        tails[bucket] = at;
        NgramHashEntry &entry = entries[at];
        memcpy(entry.key, &ngram.key, sizeof entry.key);
        entry.count = ngram.count;
        // The key's bytes are never zero: its length is that of its value.
        entry.length = (71 - __builtin_clzll(ngram.key)) >> 3;
        entry.next = 0;
    }
    table.nextFree = next;

    // The rank lists, in table order: heads by bucket, then overflow.
    auto *lists = document.rankLists;
    auto rank = [lists](int32_t index, int32_t count) {
        int32_t *list = lists[count < NGRAM_RANK_LISTS ? NGRAM_RANK_LISTS - count : 0];
        if (list[0] < NGRAM_RANK_MEMBERS) list[++list[0]] = index;
    };
    for (int32_t w = 0; w < static_cast<int32_t>(std::size(scratch->heads)); ++w) {
        for (uint64_t bits = heads[w]; bits != 0; bits &= bits - 1) {
            const int32_t b = w * 64 + std::countr_zero(bits);
            rank(b, entries[b].count);
        }
    }
    for (int32_t index = NGRAM_HASH_BUCKETS; index < next; ++index) {
        rank(index, entries[index].count);
    }
    *out = &document;
    return LANG_OK;
}

int NgramPrfSort(NgramProfile *profile) {
    if (!profile || !profile->table || !profile->table->entries || !profile->rankLists) {
        return LANG_ERR_NULL;
    }
    auto *lists = profile->rankLists;
    for (int32_t b = 0; b < NGRAM_RANK_LISTS; ++b) lists[b][0] = 0;
    const NgramHashTable &table = *profile->table;
    const int32_t used = table.nextFree < table.capacity ? table.nextFree : table.capacity;
    for (int32_t index = 0; index < used; ++index) {
        const int32_t count = table.entries[index].count;
        if (count <= 0) continue;
        int32_t *list = lists[count < NGRAM_RANK_LISTS ? NGRAM_RANK_LISTS - count : 0];
        if (list[0] < NGRAM_RANK_MEMBERS) list[++list[0]] = index;
    }
    return LANG_OK;
}

int32_t NgramPrfTopNgrams(const NgramProfile *document,
                          const NgramHashEntry *out[NGRAM_COMPARE_DEPTH]) {
    if (!document || !document->rankLists || !document->table || !document->table->entries) {
        return -1;
    }
    const NgramHashTable &table = *document->table;
    // Every member must name an entry in use; one bound covers both limits.
    const auto used = static_cast<uint32_t>(std::max(0, std::min(table.nextFree, table.capacity)));
    int32_t p = 0;
    for (int32_t b = 0; b < NGRAM_RANK_LISTS && p < NGRAM_COMPARE_DEPTH; ++b) {
        const int32_t *list = document->rankLists[b];
        const int32_t members = list[0];
        if (members == 0) continue;
        if (members < 0 || members > NGRAM_RANK_MEMBERS) return -1;
        const int32_t take = std::min(members, NGRAM_COMPARE_DEPTH - p);
        for (int32_t k = 1; k <= take; ++k) {
            const int32_t index = list[k];
            if (static_cast<uint32_t>(index) >= used) return -1;
            out[p++] = &table.entries[index];
        }
    }
    return p;
}

float NgramPrfScore(int64_t distance, int32_t compared) {
    if (compared <= 0) return 0.0f;
    return static_cast<float>(1.0 - static_cast<double>(distance) /
                                        (static_cast<double>(NGRAM_MISSING_PENALTY) * compared));
}

float NgramPrfCompute(const NgramProfile *document, const NgramProfile *model) {
    if (!model || !model->table || !model->table->entries) return 0.0f;
    const NgramHashEntry *top[NGRAM_COMPARE_DEPTH];
    const int32_t compared = NgramPrfTopNgrams(document, top);
    if (compared <= 0) return 0.0f;
    int64_t distance = 0;
    for (int32_t p = 0; p < compared; ++p) {
        const int64_t rank = HashSearch(model->table, top[p]->key, top[p]->length);
        if (rank > 0) {
            const int64_t d = p + 1 - rank;
            distance += d < 0 ? -d : d;
        } else {
            distance += NGRAM_MISSING_PENALTY;
        }
    }
    return NgramPrfScore(distance, compared);
}

int NgramPrfLoad(NgramProfile *profile, const char *path) {
    if (!profile || !path) return LANG_ERR_NULL;
    if (!replace_string(&profile->sourcePath, path)) return LANG_ERR_NOMEM;
    if (!profile->table || !profile->table->entries) return LANG_ERR_NULL;
    // A FIFO or a device is no profile; it is refused as unopenable.
    std::unique_ptr<FILE, FileCloser> file(vos_fopen_regular(path, "r", nullptr));
    if (!file) return LANG_ERR_OPEN;
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

void NgramPrfDestroy(NgramProfile *profile) {
    if (!profile) return;
    vos_free(profile->sourcePath);
    vos_free(profile->languageId);
    vos_free(profile->charset);
    HashDestroy(profile->table);
    vos_free(profile->rankLists);
    vos_free(profile);
}
