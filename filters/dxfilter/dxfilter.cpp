// dxfilter.cpp - the document filter plug-in: the operation table the engine
// calls and document and text handles. Formats the core reads itself (RTF and
// the identification of every format) are read here; the extraction modules
// run in a worker process (see worker_client.h).
#include <dlfcn.h>
#include <fcntl.h>
#include <magic.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <span>
#include <string>
#include <type_traits>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/extractor.h"
#include "filters/dxfilter/ole_scan.h"
#include "filters/dxfilter/rtf_reader.h"
#include "filters/dxfilter/sniff.h"
#include "filters/dxfilter/text_sink.h"
#include "filters/dxfilter/worker_client.h"
#include "filters/dxfilter/worker_protocol.h"
#include "filters/dxfilter/zip_scan.h"

namespace dxf {
namespace {

// The directory of dxfilter.so itself, ending in '/'; empty when unknown.
std::string OwnDirectory() {
    Dl_info info{};
    static const int anchor = 0;
    if (!dladdr(&anchor, &info) || !info.dli_fname) return {};
    std::string path = info.dli_fname;
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// libmagic, loaded on first use rather than linked: our own rules settle
// nearly every document, and loading it (with its compression libraries)
// would add to the start-up of every run.
constexpr char kMagicLibrary[] = "libmagic.so.1";

struct MagicApi {
    decltype(&magic_open) open = nullptr;
    decltype(&magic_load) load = nullptr;
    decltype(&magic_close) close = nullptr;
    decltype(&magic_buffer) buffer = nullptr;
    decltype(&magic_descriptor) descriptor = nullptr;

    // Resolves every entry point in `library`; false when one is missing.
    bool Resolve(void *library) {
        auto get = [library](auto &fn, const char *name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(library, name));
            return fn != nullptr;
        };
        return get(open, "magic_open") && get(load, "magic_load") && get(close, "magic_close") &&
               get(buffer, "magic_buffer") && get(descriptor, "magic_descriptor");
    }
};

struct Filter {
    std::string dir;  // ends in '/'
    std::mutex lock;  // guards the lazily made members below
    void *magicLibrary = nullptr;
    MagicApi magicApi;
    magic_t magic = nullptr;
    bool magicTried = false;
    // Runs the extraction modules: the worker program next to this file, which
    // looks for the modules in the filter directory, then next to this file.
    std::unique_ptr<WorkerClient> worker;

    explicit Filter(std::string filterDir) : dir(std::move(filterDir)) {
        if (!dir.empty() && dir.back() != '/') dir.push_back('/');
        std::string own = OwnDirectory();
        worker =
            std::make_unique<WorkerClient>((own.empty() ? dir : own) + wire::kWorkerName, dir, own);
    }
    ~Filter() {
        worker.reset();
        if (magic) magicApi.close(magic);
        if (magicLibrary) dlclose(magicLibrary);
    }

    // The libmagic cookie, the library and its database loaded on first use;
    // null when either is missing.
    magic_t Magic() {
        std::lock_guard<std::mutex> guard(lock);
        if (!magicTried) {
            magicTried = true;
            magicLibrary = dlopen(kMagicLibrary, RTLD_NOW | RTLD_LOCAL);
            if (magicLibrary && magicApi.Resolve(magicLibrary)) {
                magic = magicApi.open(MAGIC_MIME_TYPE | MAGIC_NO_CHECK_COMPRESS | MAGIC_ERROR);
                if (magic && magicApi.load(magic, nullptr) != 0) {
                    magicApi.close(magic);
                    magic = nullptr;
                }
            }
        }
        return magic;
    }

    int FormatByMagic(const unsigned char *head, size_t length, int fd, int fallback) {
        magic_t m = Magic();
        if (!m) return fallback;
        std::lock_guard<std::mutex> guard(lock);
        const char *mime = fd >= 0 ? magicApi.descriptor(m, fd) : magicApi.buffer(m, head, length);
        if (!mime) return fallback;
        int format = FormatFromMime(mime);
        // libmagic judges text by stricter rules than ours; what we did not
        // take for text is not text.
        if (format == DX_FMT_TEXT || format == DX_FMT_UNKNOWN) return fallback;
        return format;
    }
};

// Closes a descriptor on every path out of file information.
struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) close(fd);
    }
};

struct Document {
    Filter *filter;
    DXStream *stream;
    int format = DX_FMT_UNKNOWN;
    int64_t size = 0;
    int64_t wallLimit = 0;                 // the wall-clock backstop of the whole document
    std::unique_ptr<DocumentBytes> bytes;  // read once for the worker
    // Text the core extracts itself.
    std::unique_ptr<TextPump> local;
    // Text from the worker: the job, its first chunk until handed out, and
    // how it ended.
    bool remote = false;
    uint64_t job = 0;
    WorkerChunk first;
    bool haveFirst = false;
    bool remoteEnd = false;
    bool remoteFailed = false;

    // The document's bytes for the worker, read on first need; null when
    // they cannot be read in time.
    const DocumentBytes *Bytes() {
        if (!bytes) {
            auto b = std::make_unique<DocumentBytes>();
            if (!ReadDocument(stream, size, wallLimit, *b)) return nullptr;
            bytes = std::move(b);
        }
        return bytes.get();
    }
};

int64_t stream_size(DXStream *stream) {
    if (!stream->seek(stream, 0, DX_SEEK_END)) return -1;
    int64_t size = stream->tell(stream);
    if (!stream->seek(stream, 0, DX_SEEK_SET)) return -1;
    return size;
}

// Settles the format of an opened document from its bytes.
int document_format(Document &doc) {
    unsigned char head[kSniffBytes];
    long got = ReadFully(doc.stream, head, sizeof head);
    if (got < 0) return DX_FMT_UNKNOWN;
    const ReadAtFn readAt = [&](uint64_t at, void *buffer, size_t count) {
        return doc.stream->seek(doc.stream, static_cast<int64_t>(at), DX_SEEK_SET) &&
               ReadFully(doc.stream, buffer, count) == static_cast<long>(count);
    };
    SniffResult r =
        SniffHead({head, static_cast<size_t>(got)}, static_cast<uint64_t>(doc.size), readAt);
    switch (r.next) {
        case SniffNext::kDone:
            return r.format;
        case SniffNext::kZip: {
            int scanned = ZipFormatFromDirectory(static_cast<uint64_t>(doc.size), readAt);
            if (scanned != DX_FMT_UNKNOWN) return scanned;
            const DocumentBytes *bytes = doc.Bytes();
            int format = bytes ? doc.filter->worker->Probe(*bytes, doc.wallLimit) : DX_FMT_UNKNOWN;
            return format == DX_FMT_UNKNOWN ? DX_FMT_ZIP : format;
        }
        case SniffNext::kOle: {
            int kind = OleFormatFromDirectory({head, static_cast<size_t>(got)}, readAt);
            return kind == DX_FMT_UNKNOWN ? DX_FMT_OLE : kind;
        }
        case SniffNext::kMagic:
            return doc.filter->FormatByMagic(head, static_cast<size_t>(got), -1, r.format);
    }
    return r.format;
}

bool extractable(int format) {
    return format == DX_FMT_RTF || ModuleFor(format) != nullptr;
}

// Starts the extraction of an opened document; false when its text cannot
// be read.
bool open_text(Document &doc) {
    if (!extractable(doc.format)) return false;
    if (doc.format == DX_FMT_RTF) {
        if (!doc.stream->seek(doc.stream, 0, DX_SEEK_SET)) return false;
        // Read here, on the thread that reads its text: the document's
        // time is that thread's CPU time from now.
        const int64_t deadline = DXM_CpuNs() + kMaxDocumentCpuNs;
        auto rtf = NewRtfExtractor(doc.stream, deadline);
        if (!rtf) return false;
        doc.local = std::make_unique<TextPump>(std::move(rtf), deadline);
        return true;
    }
    // The first chunk comes now, so that a document that breaks the worker
    // fails here, as one whose text cannot be extracted.
    const DocumentBytes *bytes = doc.Bytes();
    if (!bytes) return false;
    doc.job = doc.filter->worker->Extract(*bytes, doc.format, kMaxDocumentCpuNs, doc.wallLimit,
                                          doc.first);
    if (!doc.job) return false;
    doc.bytes.reset();
    doc.remote = doc.haveFirst = true;
    return true;
}

// The next chunk of an opened text into `units`; false on an error that ends
// the text.
bool next_chunk(Document &doc, std::u16string &units) {
    if (doc.local) return doc.local->Next(units);
    WorkerChunk chunk;
    if (doc.haveFirst) {
        chunk = std::move(doc.first);
        doc.haveFirst = false;
    } else if (doc.remoteEnd) {
        chunk.failed = doc.remoteFailed;
    } else if (!doc.filter->worker->Next(
                   // Past its time the worker only hands out text it already has.
                   doc.job, std::max(doc.wallLimit, DXM_WallNs() + kWorkerGraceNs), chunk)) {
        doc.remoteEnd = doc.remoteFailed = true;
        return false;
    }
    if (chunk.end) {
        doc.remoteEnd = true;
        doc.remoteFailed = chunk.failed;
    }
    units = std::move(chunk.units);
    return !(units.empty() && chunk.failed);
}

// ---- the operations ---------------------------------------------------------

void *dx_initialise(void *, void *, const char *filterDir, int charset, int) {
    try {
        if (charset != DX_INIT_CHARSET_UNICODE) return nullptr;
        return new Filter(filterDir ? filterDir : "");
    } catch (...) {
        return nullptr;
    }
}

void dx_shutdown(void *filter) {
    try {
        delete static_cast<Filter *>(filter);
    } catch (...) {
    }
}

void *dx_open_document(void *filter, DXStream *stream) {
    if (!filter || !stream || !stream->open || !stream->read || !stream->seek || !stream->tell)
        return nullptr;
    // Closed again on every failure once opened, and never before: closing
    // an unopened stream could close a descriptor that is not the document's.
    bool opened = false;
    try {
        auto doc = std::make_unique<Document>();
        doc->filter = static_cast<Filter *>(filter);
        doc->stream = stream;
        doc->wallLimit = DXM_WallNs() + kMaxDocumentWallNs;
        opened = true;  // a failed open may still leave a descriptor to close
        if (stream->open(stream) != 1) {
            if (stream->close) stream->close(stream);
            return nullptr;
        }
        doc->size = stream_size(stream);
        if (doc->size > 0) doc->format = document_format(*doc);
        // A readable document of a format without extractable text still
        // opens; open text then refuses it, so the engine reports a document
        // it cannot filter rather than a stream it cannot open.
        return doc.release();
    } catch (...) {
        if (opened && stream->close) stream->close(stream);
        return nullptr;
    }
}

void dx_close_document(void *, void *document) {
    auto *doc = static_cast<Document *>(document);
    if (!doc) return;
    DXStream *stream = doc->stream;
    try {
        if (doc->remote && !doc->remoteEnd) doc->filter->worker->Close(doc->job);
        delete doc;
    } catch (...) {
    }
    if (stream && stream->close) stream->close(stream);
}

int dx_open_text(void *, void *document) {
    auto *doc = static_cast<Document *>(document);
    if (!doc) return -1;
    if (doc->local || doc->remote) return 0;
    try {
        return open_text(*doc) ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

int dx_read_text(void *, void *document, DXTextChunk *chunk, int) {
    if (!chunk) return -1;
    chunk->data = nullptr;
    chunk->length = 0;
    auto *doc = static_cast<Document *>(document);
    if (!doc || !(doc->local || doc->remote)) return -1;
    try {
        std::u16string units;
        if (!next_chunk(*doc, units)) return -1;
        if (units.empty()) return 0;
        size_t bytes = units.size() * sizeof(char16_t);
        void *data = std::malloc(bytes);
        if (!data) return -1;
        std::memcpy(data, units.data(), bytes);
        chunk->data = data;
        chunk->length = static_cast<int32_t>(bytes);
        return 0;
    } catch (...) {
        return -1;
    }
}

static_assert(kSniffBytes == DX_HEAD_BYTES, "the engine hands over the bytes the rules read");

// Fills the information record with `format`.
void set_format(DXFileInfo *info, int format) {
    info->word[DX_FILEINFO_FORMAT_WORD] = static_cast<uint32_t>(format);
}

// Starts an information record: zero-filled with its size set; false for a
// null record.
bool start_record(DXFileInfo *info) {
    if (!info) return false;
    std::memset(info, 0, sizeof *info);
    info->word[DX_FILEINFO_SIZE_WORD] = sizeof *info;
    return true;
}

// The format of a document of `size` bytes open as `fd`, whose first bytes
// are `head`. Reads the descriptor only by position.
int identify(Filter *f, std::span<const unsigned char> head, int64_t size, int fd) {
    const ReadAtFn readAt = [fd](uint64_t at, void *buffer, size_t count) {
        return PreadFully(fd, buffer, count, at);
    };
    SniffResult r = SniffHead(head, static_cast<uint64_t>(size), readAt);
    int format = r.format;
    if (r.next == SniffNext::kZip) {
        format = ZipFormatFromDirectory(static_cast<uint64_t>(size), readAt);
        if (format == DX_FMT_UNKNOWN) {
            // The worker reads the archive's directory with the office module.
            DocumentBytes bytes;
            bytes.fd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
            bytes.size = size;
            int probed = bytes.fd >= 0 ? f->worker->Probe(bytes, DXM_WallNs() + kMaxDocumentWallNs)
                                       : DX_FMT_UNKNOWN;
            format = probed == DX_FMT_UNKNOWN ? DX_FMT_ZIP : probed;
        }
    } else if (r.next == SniffNext::kOle) {
        // Word documents, workbooks and presentations are told apart by
        // their streams; encrypted packages and the rest stay OLE
        // documents. libmagic decides only when the directory cannot be read.
        format = OleFormatFromDirectory(head, readAt);
        if (format == DX_FMT_UNKNOWN) {
            format = f->FormatByMagic(head.data(), head.size(), fd, DX_FMT_OLE);
            if (format != DX_FMT_DOC && format != DX_FMT_XLS && format != DX_FMT_PPT)
                format = DX_FMT_OLE;
        }
    } else if (r.next == SniffNext::kMagic) {
        format = f->FormatByMagic(head.data(), head.size(), -1, r.format);
    }
    return format;
}

// The head of a document record as the sniffing rules take it; false when
// the record cannot be right.
bool head_bytes(const DXDocumentHead *head, std::span<const unsigned char> &bytes) {
    if (!head || head->length < 0 || head->size < 0 || (head->length > 0 && !head->bytes))
        return false;
    const auto length = static_cast<size_t>(std::min<int64_t>(head->length, kSniffBytes));
    bytes = {head->bytes, length};
    return true;
}

int dx_file_information(void *filter, const char *path, DXFileInfo *info) {
    if (!start_record(info)) return -1;
    if (!filter || !path) return -1;
    try {
        // Non-blocking, so that a FIFO cannot hold the call up; it is refused below.
        Fd fd{open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
        struct stat st {};
        if (fd.fd < 0 || fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
        unsigned char head[kSniffBytes];
        size_t want = st.st_size < static_cast<off_t>(sizeof head) ? static_cast<size_t>(st.st_size)
                                                                   : sizeof head;
        if (!PreadFully(fd.fd, head, want, 0)) return -1;
        set_format(info, identify(static_cast<Filter *>(filter), {head, want}, st.st_size, fd.fd));
        return 0;
    } catch (...) {
        return -1;
    }
}

int dx_identify_head(void *, const DXDocumentHead *head, DXFileInfo *info) {
    if (!start_record(info)) return -1;
    std::span<const unsigned char> bytes;
    if (!head_bytes(head, bytes)) return -1;
    SniffResult r = SniffHead(bytes, static_cast<uint64_t>(head->size));
    if (r.next != SniffNext::kDone || r.beyondHead) return 1;
    set_format(info, r.format);
    return 0;
}

int dx_identify_open_file(void *filter, const DXDocumentHead *head, DXFileInfo *info) {
    if (!start_record(info)) return -1;
    std::span<const unsigned char> bytes;
    if (!filter || !head_bytes(head, bytes) || head->fd < 0) return -1;
    try {
        set_format(info, identify(static_cast<Filter *>(filter), bytes, head->size, head->fd));
        return 0;
    } catch (...) {
        return -1;
    }
}

}  // namespace
}  // namespace dxf

extern "C" __attribute__((visibility("default"))) void DX_GetFilterInterface(
    DXFilterInterface *table) {
    if (!table) return;
    std::memset(table, 0, sizeof *table);
    table->initialise = dxf::dx_initialise;
    table->shutdown = dxf::dx_shutdown;
    table->openDocument = dxf::dx_open_document;
    table->closeDocument = dxf::dx_close_document;
    table->openText = dxf::dx_open_text;
    table->readText = dxf::dx_read_text;
    table->fileInformation = dxf::dx_file_information;
}

extern "C" __attribute__((visibility("default"))) void DXGlotta_GetIdentifyInterface(
    DXIdentifyInterface *table) {
    if (!table) return;
    table->identifyHead = dxf::dx_identify_head;
    table->identifyOpenFile = dxf::dx_identify_open_file;
}
