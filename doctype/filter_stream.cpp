// filter_stream.cpp - the stream through which the filter plug-in reads a
// document, and the text extraction that drives it.
#include "doctype/filter_stream.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "engine/lang_api.h"
#include "engine/lang_context.h"
#include "ngram/text_helpers.h"
#include "platform/vos.h"

namespace {

constexpr int32_t kClosed = -1;

// Noise units, except the line breaks, which the recognisers keep as
// separators.
constexpr bool is_noise_unit(uint32_t unit) {
    return lang_is_noise(unit) && unit != 0x000A && unit != 0x000D;
}

DXStreamRecord *record_of(DXStream *stream) {
    return stream ? static_cast<DXStreamRecord *>(stream->record) : nullptr;
}

// The growing UTF-16 output of one extraction, with the byte limit.
class FilterText {
  public:
    explicit FilterText(int64_t limit) : limit_(limit) {}
    ~FilterText() { vos_free(data_); }
    FilterText(const FilterText &) = delete;
    FilterText &operator=(const FilterText &) = delete;

    // Makes room for `more` bytes past the current length (plus a UTF-16
    // terminator). False when memory is exhausted; the text is then dropped.
    bool reserve(int32_t more) {
        const size_t size = static_cast<size_t>(length_) + static_cast<size_t>(more) + 2;
        auto *grown = static_cast<unsigned char *>(vos_realloc(data_, size));
        if (!grown) {
            vos_free(data_);
            data_ = nullptr;
            length_ = 0;
            return false;
        }
        data_ = grown;
        return true;
    }

    // Appends the units of one chunk while below the limit. Each run of noise
    // units becomes one space before the next kept unit; a run that ends the
    // chunk is dropped.
    void append_chunk(const unsigned char *bytes, int32_t size) {
        bool noisePending = false;
        for (int32_t i = 0; i + 1 < size && length_ < limit_; i += 2) {
            const uint32_t unit = bytes[i] | (static_cast<uint32_t>(bytes[i + 1]) << 8);
            if (is_noise_unit(unit)) {
                noisePending = true;
                continue;
            }
            if (noisePending) {
                data_[length_++] = 0x20;
                data_[length_++] = 0x00;
                noisePending = false;
            }
            data_[length_++] = bytes[i];
            data_[length_++] = bytes[i + 1];
        }
    }

    // True when the text went past the limit (it is then cut back to it).
    bool clamp() {
        if (length_ <= limit_) return false;
        length_ = static_cast<int32_t>(limit_);
        return true;
    }

    void release_to(unsigned char **text, int32_t *length) {
        if (data_) {
            data_[length_] = 0;
            data_[length_ + 1] = 0;
        }
        *text = data_;
        *length = data_ ? length_ : 0;
        data_ = nullptr;
        length_ = 0;
    }

  private:
    unsigned char *data_ = nullptr;
    int32_t length_ = 0;
    int64_t limit_;
};

// Pulls the text of an opened document chunk by chunk into `out`.
int read_document(LangContext *ctx, void *document, FilterText &out) {
    const DXReadTextFn readText = ctx->filterInterface.readText;
    if (!readText) return LANG_ERR_DXREAD;
    for (;;) {
        DXTextChunk chunk{};
        if (readText(ctx->filterHandle, document, &chunk, 0) != 0) return LANG_ERR_DXREAD;
        if (chunk.length == 0) {
            free(chunk.data);
            return LANG_OK;
        }
        if (chunk.length < 0 || !chunk.data) {
            free(chunk.data);
            return LANG_ERR_DXREAD;
        }
        if (!out.reserve(chunk.length)) {
            free(chunk.data);
            return LANG_ERR_NOMEM;
        }
        out.append_chunk(static_cast<const unsigned char *>(chunk.data), chunk.length);
        free(chunk.data);
        // Exactly at the limit the document is still read to its end, so the
        // plug-in sees the same conversation whatever the limit.
        if (out.clamp()) return LANG_OK;
    }
}

}  // namespace

int DXOpen(DXStream *stream) {
    DXStreamRecord *record = record_of(stream);
    if (!record || !record->path) return 0;
    // A document swapped for a FIFO or a device since the flow checked it
    // fails to open instead of blocking the plug-in.
    record->descriptor = vos_open_regular(record->path, VOS_O_RDONLY, nullptr);
    if (record->descriptor < 0) {
        record->descriptor = kClosed;
        return 0;
    }
    if (record->start != 0 && vos_lseek(record->descriptor, record->start, SEEK_SET) < 0) return 0;
    return 1;
}

int DXRead(DXStream *stream, void *buffer, int count) {
    DXStreamRecord *record = record_of(stream);
    if (!record || record->descriptor == kClosed || !buffer || count < 0) return -1;
    return static_cast<int>(vos_read(record->descriptor, buffer, static_cast<size_t>(count)));
}

int DXSeek(DXStream *stream, int64_t offset, int origin) {
    DXStreamRecord *record = record_of(stream);
    if (!record) return 0;
    if (record->descriptor == kClosed) return 1;
    int whence = origin;
    if (origin == DX_SEEK_SET) {
        offset += record->start;
        whence = SEEK_SET;
    } else if (origin == DX_SEEK_CUR) {
        whence = SEEK_CUR;
    } else if (origin == DX_SEEK_END) {
        if (record->length > 0) {
            offset += static_cast<int64_t>(record->start) + record->length;
            whence = SEEK_SET;
        } else {
            whence = SEEK_END;
        }
    }
    return vos_lseek(record->descriptor, static_cast<off_t>(offset), whence) >= 0 ? 1 : 0;
}

int64_t DXTell(DXStream *stream) {
    DXStreamRecord *record = record_of(stream);
    if (!record || record->descriptor == kClosed) return -1;
    const off_t position = vos_lseek(record->descriptor, 0, SEEK_CUR);
    if (position < 0) return -1;
    return static_cast<int64_t>(position) - record->start;
}

int DXClose(DXStream *stream) {
    DXStreamRecord *record = record_of(stream);
    if (!record) return -1;
    const int32_t descriptor = record->descriptor;
    record->descriptor = kClosed;
    if (descriptor == kClosed) return -1;
    return vos_close(descriptor);
}

int InitStream(DXStream *stream, const char *path) {
    if (!stream || !path) return LANG_ERR_IDENTIFY;
    auto *record = static_cast<DXStreamRecord *>(vos_calloc(1, sizeof(DXStreamRecord)));
    if (!record) return LANG_ERR_NOMEM;
    record->path = lang_strdup(path);
    if (!record->path) {
        vos_free(record);
        return LANG_ERR_NOMEM;
    }
    // Until DXOpen the stream behaves as a closed one, so a plug-in that
    // reads before opening gets an error instead of reading descriptor 0.
    record->descriptor = kClosed;
    stream->record = record;
    stream->open = DXOpen;
    stream->read = DXRead;
    stream->seek = DXSeek;
    stream->tell = DXTell;
    stream->close = DXClose;
    return LANG_OK;
}

int FreeStream(DXStream *stream) {
    if (!stream) return LANG_ERR_IDENTIFY;
    DXStreamRecord *record = record_of(stream);
    if (!record) return LANG_OK;
    // A plug-in that opened the stream and never closed it must not leak
    // the descriptor.
    if (record->descriptor != kClosed) vos_close(record->descriptor);
    vos_free(record->path);
    vos_free(record);
    stream->record = nullptr;
    return LANG_OK;
}

int DXFilterFile(LangContext *ctx, const char *path, int32_t maxChars, unsigned char **text,
                 int32_t *length) {
    if (!ctx || !path || !text || !length) return LANG_ERR_IDENTIFY;
    *text = nullptr;
    *length = 0;
    struct stat st;
    if (vos_stat(path, &st) != 0) return LANG_ERR_NOFILE;

    DXStream stream{};
    int rc = InitStream(&stream, path);
    if (rc != LANG_OK) return rc;
    if (ctx->filterMutex && MutexLock(nullptr, ctx->filterMutex) != 0) {
        FreeStream(&stream);
        return LANG_ERR_MUTEX;
    }

    const DXFilterInterface &dx = ctx->filterInterface;
    void *document = dx.openDocument ? dx.openDocument(ctx->filterHandle, &stream) : nullptr;
    FilterText out(2 * static_cast<int64_t>(maxChars > 0 ? maxChars : 0));
    if (!document) {
        rc = LANG_ERR_DXOPEN;
    } else if (!dx.openText || dx.openText(ctx->filterHandle, document) != 0) {
        rc = LANG_ERR_NOTFILTERABLE;
    } else {
        rc = read_document(ctx, document, out);
        out.release_to(text, length);
    }

    if (document && dx.closeDocument) dx.closeDocument(ctx->filterHandle, document);
    if (ctx->filterMutex && MutexUnlock(nullptr, ctx->filterMutex) != 0) rc = LANG_ERR_MUTEX;
    FreeStream(&stream);
    return rc;
}
