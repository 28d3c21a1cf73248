// flow.cpp - the file and buffer detection flows: the cheap evidence first
// (hints, markup declarations, charsets the bytes prove), a recogniser last.
#include <stdint.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <limits>
#include <memory>

#include "charset/charset_guess.h"
#include "charset/charset_names.h"
#include "charset/markup_decl.h"
#include "conv/zi18n_conv.h"
#include "doctype/doctype.h"
#include "doctype/dx_abi.h"
#include "engine/lang_api.h"
#include "engine/lang_log.h"
#include "ngram/text_helpers.h"
#include "pipeline/charset_norm.h"
#include "pipeline/detect.h"
#include "pipeline/lang_tables.h"
#include "pipeline/recognise.h"
#include "platform/vos.h"

namespace {

// Plain text beyond the detection size is read in blocks of this size to
// make up for the noise that cleaning removed.
constexpr int32_t kRefillBlock = 2048;

// The regular-file bit of st_mode.
constexpr unsigned kRegularFileBit = 0100000;

class File {
  public:
    explicit File(int fd) : fd_(fd) {}
    ~File() {
        if (fd_ >= 0) vos_close(fd_);
    }
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    int fd() const { return fd_; }

    // Reads up to `count` bytes, retrying short reads; returns the bytes read.
    int32_t read_up_to(unsigned char *buffer, int32_t count) {
        int32_t got = 0;
        while (got < count) {
            const ssize_t n = vos_read(fd_, buffer + got, static_cast<size_t>(count - got));
            if (n <= 0) break;
            got += static_cast<int32_t>(n);
        }
        return got;
    }

  private:
    int fd_;
};

// Evidence gathered so far by one flow call.
struct Evidence {
    int32_t language = 0;
    int32_t declared = 0;
    int32_t guessed = 0;
    int32_t finalCharset = 0;
    glotta::VosPtr<char> extracted;
};

bool is_16bit(int32_t charset) {
    return charset == CS_UNICODE || charset == CS_UTF16LE || charset == CS_UTF16BE;
}

// The detection size the recognisers work with; the entry point has already
// replaced 0 by the default, a negative size is taken as the default too.
int32_t detect_size(const LangDetectInArg *in) {
    return in->detectSize > 0 ? in->detectSize : LANG_DEFAULT_DETECT_SIZE;
}

// The caller's hints, first in both flows: both hints are the answer; else a
// charset hint becomes the declared charset, or a language hint the language
// number. In the buffer flow (`unknownLanguageAnswers`) a language hint that
// neither the table nor the profiles know is the answer too, with "Unknown".
// Sets `done` when the list is the answer.
int take_hints(LangContext *ctx, const LangDetectInArg *in, bool unknownLanguageAnswers,
               Evidence &ev, CandidateList &list, bool &done) {
    done = false;
    LangCandidate *raw = nullptr;
    int rc = LANG_OK;
    if (in->language && in->charsetName) {
        rc = GenLangList(in->language, in->charsetName, &raw);
        done = true;
    } else if (in->charsetName) {
        ev.declared = Zi18nGetCharsetEnum(in->charsetName);
    } else if (in->language) {
        ev.language = GetLangCodeEnum(ctx, in->language);
        if (ev.language == 0 && unknownLanguageAnswers) {
            rc = GenLangList(in->language, "Unknown", &raw);
            done = true;
        }
    }
    list.reset(raw);
    return rc;
}

// The answers a declared language or an implied one give (file flow steps
// shared with the buffer flow). Sets `done` when the list is the answer.
int settle_by_declaration(LangContext *ctx, Evidence &ev, CandidateList &list, bool &done) {
    done = false;
    LangCandidate *raw = nullptr;
    int rc;
    if (ev.extracted && ev.finalCharset != 0) {
        rc = GenLangList(ev.extracted.get(), DXCharsetID2Name(ev.finalCharset), &raw);
        list.reset(raw);
        done = true;
        return rc;
    }
    if (ev.extracted && ev.language == 0) {
        rc = GenLangList(ev.extracted.get(), "Unknown", &raw);
        list.reset(raw);
        done = true;
        return rc;
    }
    if (ev.guessed != 0) {
        rc = RecLangByCharset(ctx, ev.guessed, &ev.language);
        if (rc != LANG_OK) return rc;
        if (ev.language != 0) {
            rc = LangCode2List(ev.language, ev.finalCharset, &raw);
            list.reset(raw);
            done = true;
            return rc;
        }
    }
    return LANG_OK;
}

// The rest of a document after its first `length` bytes: bytes already read
// (`ahead`, `aheadLength` of them) and then the file from where it was left.
struct Rest {
    File &file;
    unsigned char *ahead;
    int32_t aheadLength;
    bool fileRead;          // the bytes ahead end the file: nothing to read
    unsigned char covered;  // the first byte ahead while a terminator covers it

    // Puts back the byte that a terminator covered.
    void uncover() {
        if (aheadLength > 0) *ahead = covered;
    }

    // The next `count` bytes of the document at most, as one read of the
    // file would give them; the bytes placed.
    int32_t read(unsigned char *buffer, int32_t count) {
        const int32_t taken = std::min(count, aheadLength);
        if (taken > 0) {
            memcpy(buffer, ahead, static_cast<size_t>(taken));
            ahead += taken;
            aheadLength -= taken;
        }
        return taken +
               (taken < count && !fileRead ? file.read_up_to(buffer + taken, count - taken) : 0);
    }
};

// Cleans plain text read from a file and tops it up from `rest` until it is
// as long as what was first read. `atEnd`: the whole file has been read
// already, so there is nothing to top up from (which spares most small
// documents a read that could only report the end of the file).
int32_t clean_and_refill(Rest &rest, unsigned char *text, int32_t length, bool atEnd) {
    int32_t cleaned = lang_removenoisydata(text, length);
    unsigned char block[kRefillBlock + 1];
    while (!atEnd && cleaned < length) {
        const int32_t got = rest.read(block, kRefillBlock);
        if (got <= 0) break;
        const int32_t kept = lang_removenoisydata(block, got);
        const int32_t take = std::min(kept, length - cleaned);
        memcpy(text + cleaned, block, static_cast<size_t>(take));
        cleaned += take;
    }
    text[cleaned] = '\0';
    return cleaned;
}

void store(LangDetectOutArg *out, CandidateList &list) {
    out->count = CountCandidates(list.get());
    out->candidates = list.release();
}

}  // namespace

int LangDetectFile(LangContext *ctx, LangDetectInArg *in, LangDetectOutArg *out) {
    if (!ctx || !in || !out || !in->docData) return LANG_ERR_NULL;
    const char *path = static_cast<const char *>(in->docData);
    LangLogf(ctx, "Detecting file %s", path);

    Evidence ev;
    CandidateList list;
    LangCandidate *raw = nullptr;
    int rc = LANG_OK;

    bool done = false;
    rc = take_hints(ctx, in, false, ev, list, done);
    if (rc != LANG_OK) return rc;
    if (done) {
        store(out, list);
        return LANG_OK;
    }

    // The document is opened before anything reads it, and the descriptor is
    // what is checked and read: a name swapped for a FIFO or a device after
    // the check is refused, and the open itself cannot block. Only a name
    // that cannot be opened is looked up again, to tell a missing file from
    // one that is not ordinary or not readable; an unreadable one goes on as
    // before and fails where it is read.
    struct stat st;
    File file(vos_open_regular(path, VOS_O_RDONLY, &st));
    if (file.fd() == VOS_NOT_REGULAR) return LANG_ERR_NOTREGULAR;
    if (file.fd() < 0) {
        if (vos_stat(path, &st) != 0) return LANG_ERR_NOFILE;
        if ((st.st_mode & kRegularFileBit) == 0) return LANG_ERR_NOTREGULAR;
    }
    if (st.st_size == 0) {
        rc = LangCode2List(ev.language, 0, &raw);
        if (rc != LANG_OK) return rc;
        list.reset(raw);
        store(out, list);
        return LANG_OK;
    }

    // One read serves the identification of the type and the detection: it
    // takes what the plug-in looks at and what plain text needs, and markup
    // is read on from there. A length is a signed 32-bit count.
    int32_t type = DOC_UNKNOWN;
    if (in->mimeType) MimeTypeMapping(in->mimeType, &type);
    const bool filtered = type == DOC_UNKNOWN || type == DOC_OTHER;
    constexpr int64_t kMaxLength = std::numeric_limits<int32_t>::max() - 1;
    const int64_t firstRead =
        std::min({st.st_size, std::max<int64_t>(DX_HEAD_BYTES, detect_size(in)), kMaxLength});
    glotta::VosPtr<unsigned char> text;
    int32_t got = 0;
    if (file.fd() >= 0 && !(in->mimeType && filtered)) {
        text.reset(static_cast<unsigned char *>(vos_malloc(static_cast<size_t>(firstRead) + 1)));
        if (!text) return LANG_ERR_NOMEM;
        got = file.read_up_to(text.get(), static_cast<int32_t>(firstRead));
    }
    if (!in->mimeType) {
        const DXDocumentHead head{text.get(), std::min<int64_t>(got, DX_HEAD_BYTES), st.st_size,
                                  file.fd()};
        if (GetMimeTypeOfHead(ctx, path, &head, &type) != LANG_OK) {
            type = DOC_UNKNOWN;  // unidentified documents go to the filter
        }
    }

    if (type == DOC_UNKNOWN || type == DOC_OTHER) {
        text.reset();
        rc = RecDX(ctx, ev.language, 0, path, detect_size(in), &raw);
        if (rc != LANG_OK) return rc;
        list.reset(raw);
        ResetCharsetName(0, list.get());
        store(out, list);
        return LANG_OK;
    }

    // Plain text is read up to the detection size, markup in full (its
    // declarations may sit anywhere).
    if (file.fd() < 0) return LANG_ERR_OPEN;
    int64_t wanted = std::min<int64_t>(st.st_size, kMaxLength);
    if (type == DOC_TEXT) wanted = std::min<int64_t>(wanted, detect_size(in));
    int32_t length = static_cast<int32_t>(std::min<int64_t>(got, wanted));
    if (got == firstRead && firstRead < wanted) {
        auto *grown =
            static_cast<unsigned char *>(vos_realloc(text.get(), static_cast<size_t>(wanted) + 1));
        if (!grown) return LANG_ERR_NOMEM;
        static_cast<void>(text.release());
        text.reset(grown);
        length += file.read_up_to(grown + got, static_cast<int32_t>(wanted - got));
    }
    // Plain text read beyond the detection size is where its refill starts;
    // the terminator covers the first byte of it until then.
    Rest rest{file, text.get() + length, std::max(got - length, 0), got >= st.st_size, 0};
    if (rest.aheadLength > 0) rest.covered = text.get()[length];
    text.get()[length] = '\0';
    if (LangLogEnabled(ctx)) {
        LangLogf(ctx, "Reading file %d: ", length);
        LangLogBytes(ctx, text.get(), length);
    }

    if (type != DOC_TEXT) {
        if (ev.declared == 0) {
            rc = ExtractCharset(type, reinterpret_cast<char *>(text.get()), length, &ev.declared);
            if (rc != LANG_OK) return rc;
        }
        if (ev.language == 0) {
            char *found = nullptr;
            rc = ExtractLanguage(type, reinterpret_cast<const char *>(text.get()), length, &found);
            ev.extracted.reset(found);
            if (rc != LANG_OK) return rc;
            if (ev.extracted) {
                LangLogf(ctx, "Extracted language id is %s", ev.extracted.get());
                ev.language = GetLangCodeEnum(ctx, ev.extracted.get());
            }
        }
    }

    rc = GuessCharset(text.get(), length, &ev.guessed);
    if (rc != LANG_OK) return rc;
    // The name lookup is not free; only a debug run needs it.
    if (LangLogEnabled(ctx)) LangLogf(ctx, "Guessed charset is %s", DXCharsetID2Name(ev.guessed));
    ev.finalCharset = ev.declared != 0 ? ev.declared : ev.guessed;

    rc = settle_by_declaration(ctx, ev, list, done);
    if (rc != LANG_OK) return rc;

    if (!done) {
        if (type == DOC_TEXT) {
            if (!is_16bit(ev.finalCharset)) {
                rest.uncover();
                length = clean_and_refill(rest, text.get(), length, length >= st.st_size);
            }
            if (LangLogEnabled(ctx)) {
                LangLogf(ctx, "After remove noisy data %d: ", length);
                LangLogBytes(ctx, text.get(), length);
            }
            rc = RecPlainText(ctx, ev.language, ev.finalCharset, text.get(), length, &raw);
        } else {
            rc = RecMarkup(ctx, ev.language, ev.declared, ev.guessed, text.get(), length,
                           detect_size(in), type == DOC_XML ? 0 : 1, &raw);
        }
        if (rc != LANG_OK) return rc;
        list.reset(raw);
    }

    if (ev.finalCharset != 0) ResetCharsetName(ev.finalCharset, list.get());
    store(out, list);
    return LANG_OK;
}

int LangDetectBuffer(LangContext *ctx, LangDetectInArg *in, LangDetectOutArg *out) {
    if (!ctx || !in || !out || !in->docData) return LANG_ERR_NULL;

    Evidence ev;
    CandidateList list;
    LangCandidate *raw = nullptr;
    int rc = LANG_OK;

    bool done = false;
    rc = take_hints(ctx, in, true, ev, list, done);
    if (rc != LANG_OK) return rc;
    if (done) {
        store(out, list);
        return LANG_OK;
    }

    if (in->docLength <= 0) {
        rc = LangCode2List(0, 0, &raw);
        if (rc != LANG_OK) return rc;
        list.reset(raw);
        store(out, list);
        return LANG_OK;
    }
    int32_t length = in->docLength;
    if (LangLogEnabled(ctx)) {
        LangLogf(ctx, "Detecting the language/encoding for the buffer of data");
        LangLogBytes(ctx, in->docData, length);
    }

    // The stages work on a private, NUL-terminated copy: the declaration
    // scanners need the terminator, and n-gram profiling folds capitals in
    // place, which must not show in the caller's bytes.
    glotta::VosPtr<unsigned char> text(
        static_cast<unsigned char *>(vos_malloc(static_cast<size_t>(length) + 1)));
    if (!text) return LANG_ERR_NOMEM;
    memcpy(text.get(), in->docData, static_cast<size_t>(length));
    text.get()[length] = '\0';

    int32_t type = DOC_UNKNOWN;
    if (in->mimeType) {
        LangLogf(ctx, "Given mime-type: %s", in->mimeType);
        MimeTypeMapping(in->mimeType, &type);
    } else {
        rc = GuessMimeType(text.get(), length, &type);
        if (rc != LANG_OK) return rc;
    }

    if (ev.declared == 0 && type != DOC_TEXT) {
        rc = ExtractCharset(type, reinterpret_cast<char *>(text.get()), length, &ev.declared);
        if (rc != LANG_OK) return rc;
    }
    rc = GuessCharset(text.get(), length, &ev.guessed);
    if (rc != LANG_OK) return rc;
    // The name lookup is not free; only a debug run needs it.
    if (LangLogEnabled(ctx)) LangLogf(ctx, "Guessed charset is %s", DXCharsetID2Name(ev.guessed));
    ev.finalCharset = ev.declared != 0 ? ev.declared : ev.guessed;

    if (ev.language == 0) {
        char *found = nullptr;
        rc = ExtractLanguage(type, reinterpret_cast<const char *>(text.get()), length, &found);
        ev.extracted.reset(found);
        if (rc != LANG_OK) return rc;
        if (ev.extracted) ev.language = GetLangCodeEnum(ctx, ev.extracted.get());
    }

    rc = settle_by_declaration(ctx, ev, list, done);
    if (rc != LANG_OK) return rc;

    if (!done) {
        if (type == DOC_SGML || type == DOC_HTML || type == DOC_XML) {
            LangLogf(ctx, "Removing tags in the document");
            rc = RecMarkup(ctx, ev.language, ev.declared, ev.guessed, text.get(), length,
                           detect_size(in), type == DOC_XML ? 0 : 1, &raw);
        } else {
            length = std::min(length, detect_size(in));
            rc = RecPlainText(ctx, ev.language, ev.finalCharset, text.get(), length, &raw);
        }
        if (rc != LANG_OK) return rc;
        list.reset(raw);
    }

    if (ev.finalCharset != 0) ResetCharsetName(ev.finalCharset, list.get());
    store(out, list);
    return LANG_OK;
}
