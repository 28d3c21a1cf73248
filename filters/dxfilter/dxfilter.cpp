// dxfilter.cpp - the document filter plug-in: the operation table the engine
// calls, document and text handles, and on-demand loading of the extraction
// modules.
#include <dlfcn.h>
#include <fcntl.h>
#include <magic.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <type_traits>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/extractor.h"
#include "filters/dxfilter/ole_scan.h"
#include "filters/dxfilter/rtf_reader.h"
#include "filters/dxfilter/sniff.h"
#include "filters/dxfilter/text_sink.h"
#include "filters/dxfilter/zip_scan.h"

namespace dxf {
namespace {

// A module loaded from the filter directory on first need.
struct Module {
    void *handle = nullptr;
    const DXModule *api = nullptr;
    bool tried = false;
};

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
    Module office, pdf, msdoc;

    ~Filter() {
        if (magic) magicApi.close(magic);
        if (magicLibrary) dlclose(magicLibrary);
        for (Module *m : {&office, &pdf, &msdoc})
            if (m->handle) dlclose(m->handle);
    }

    const DXModule *LoadModule(Module &m, const char *name) {
        std::lock_guard<std::mutex> guard(lock);
        if (!m.tried) {
            m.tried = true;
            // The filter directory first, then the directory of this file.
            for (const std::string &d : {dir, OwnDirectory()}) {
                if (d.empty()) continue;
                std::string path = d + name;
                // Kept loaded for the life of the process: GLib types registered by a
                // module cannot be registered again after an unload.
                m.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
                if (m.handle) break;
            }
            auto get = m.handle
                           ? reinterpret_cast<DXMGetModuleFn>(dlsym(m.handle, DXM_SYM_GET_MODULE))
                           : nullptr;
            const DXModule *api = get ? get() : nullptr;
            if (api && api->abi == DXM_ABI_VERSION) m.api = api;
        }
        return m.api;
    }
    const DXModule *Office() { return LoadModule(office, DXM_OFFICE_NAME); }
    const DXModule *Pdf() { return LoadModule(pdf, DXM_PDF_NAME); }
    const DXModule *Msdoc() { return LoadModule(msdoc, DXM_MSDOC_NAME); }

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

bool pread_fully(int fd, void *buffer, size_t count, uint64_t offset) {
    auto *out = static_cast<unsigned char *>(buffer);
    while (count > 0) {
        ssize_t n = pread(fd, out, count, static_cast<off_t>(offset));
        if (n <= 0) return false;
        out += n, offset += static_cast<uint64_t>(n), count -= static_cast<size_t>(n);
    }
    return true;
}

// A module's extractor seen through the core's interface.
class ModuleExtractor : public Extractor {
  public:
    ModuleExtractor(const DXModule *api, DXMExtractor *ex) : api_(api), ex_(ex) {}
    ~ModuleExtractor() override { api_->close(ex_); }
    int Step(TextSink &sink) override {
        DXMSink c = sink.c_sink();
        return api_->step(ex_, &c);
    }

  private:
    const DXModule *api_;
    DXMExtractor *ex_;
};

struct Document {
    Filter *filter;
    DXStream *stream;
    int format = DX_FMT_UNKNOWN;
    int64_t size = 0;
    int64_t deadline = 0;
    std::unique_ptr<Extractor> extractor;
    TextSink sink{kMaxTextUnits};
    bool done = false;      // no more text will be produced
    bool failed = false;    // extraction ended on an error, reported once text is out
    bool finished = false;  // the sink's last line was closed
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
    SniffResult r = SniffHead({head, static_cast<size_t>(got)}, static_cast<uint64_t>(doc.size));
    switch (r.next) {
        case SniffNext::kDone:
            return r.format;
        case SniffNext::kZip: {
            int scanned = ZipFormatFromDirectory(
                static_cast<uint64_t>(doc.size), [&](uint64_t at, void *buffer, size_t count) {
                    return doc.stream->seek(doc.stream, static_cast<int64_t>(at), DX_SEEK_SET) &&
                           ReadFully(doc.stream, buffer, count) == static_cast<long>(count);
                });
            if (scanned != DX_FMT_UNKNOWN) return scanned;
            const DXModule *office = doc.filter->Office();
            if (!office || !office->probeStream) return DX_FMT_ZIP;
            int format = office->probeStream(doc.stream, doc.size);
            return format == DX_FMT_UNKNOWN ? DX_FMT_ZIP : format;
        }
        case SniffNext::kOle: {
            int kind = OleFormatFromDirectory(
                {head, static_cast<size_t>(got)}, [&](uint64_t at, void *buffer, size_t count) {
                    return doc.stream->seek(doc.stream, static_cast<int64_t>(at), DX_SEEK_SET) &&
                           ReadFully(doc.stream, buffer, count) == static_cast<long>(count);
                });
            return kind == DX_FMT_UNKNOWN ? DX_FMT_OLE : kind;
        }
        case SniffNext::kMagic:
            return doc.filter->FormatByMagic(head, static_cast<size_t>(got), -1, r.format);
    }
    return r.format;
}

bool extractable(int format) {
    switch (format) {
        case DX_FMT_PDF:
        case DX_FMT_DOCX:
        case DX_FMT_XLSX:
        case DX_FMT_PPTX:
        case DX_FMT_ODT:
        case DX_FMT_ODS:
        case DX_FMT_ODP:
        case DX_FMT_EPUB:
        case DX_FMT_RTF:
        case DX_FMT_DOC:
        case DX_FMT_XLS:
        case DX_FMT_PPT:
            return true;
        default:
            return false;
    }
}

std::unique_ptr<Extractor> new_extractor(Document &doc) {
    if (!extractable(doc.format)) return nullptr;
    if (!doc.stream->seek(doc.stream, 0, DX_SEEK_SET)) return nullptr;
    if (doc.format == DX_FMT_RTF) return NewRtfExtractor(doc.stream, doc.deadline);
    const DXModule *api = nullptr;
    if (doc.format == DX_FMT_PDF)
        api = doc.filter->Pdf();
    else if (doc.format == DX_FMT_DOC || doc.format == DX_FMT_XLS || doc.format == DX_FMT_PPT)
        api = doc.filter->Msdoc();
    else
        api = doc.filter->Office();
    if (!api) return nullptr;
    DXMLimits limits{doc.deadline, kMaxPartBytes, kMaxTotalBytes, kMaxParts};
    DXMExtractor *ex = api->open(doc.stream, doc.size, doc.format, &limits);
    if (!ex) return nullptr;
    return std::make_unique<ModuleExtractor>(api, ex);
}

// ---- the operations ---------------------------------------------------------

void *dx_initialise(void *, void *, const char *filterDir, int charset, int) {
    try {
        if (charset != DX_INIT_CHARSET_UNICODE) return nullptr;
        auto filter = std::make_unique<Filter>();
        if (filterDir) filter->dir = filterDir;
        if (!filter->dir.empty() && filter->dir.back() != '/') filter->dir.push_back('/');
        return filter.release();
    } catch (...) {
        return nullptr;
    }
}

void dx_shutdown(void *filter) {
    delete static_cast<Filter *>(filter);
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
        doc->deadline = DXM_NowNs() + kMaxDocumentNs;
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
    doc->extractor.reset();
    delete doc;
    if (stream && stream->close) stream->close(stream);
}

int dx_open_text(void *, void *document) {
    auto *doc = static_cast<Document *>(document);
    if (!doc) return -1;
    if (doc->extractor) return 0;
    try {
        doc->extractor = new_extractor(*doc);
        return doc->extractor ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

int dx_read_text(void *, void *document, DXTextChunk *chunk, int) {
    if (!chunk) return -1;
    chunk->data = nullptr;
    chunk->length = 0;
    auto *doc = static_cast<Document *>(document);
    if (!doc || !doc->extractor) return -1;
    try {
        TextSink &sink = doc->sink;
        while (!doc->done && sink.pending_units() < kChunkUnits) {
            int r = sink.full() || DXM_NowNs() > doc->deadline ? 0 : doc->extractor->Step(sink);
            if (r <= 0) {
                doc->done = true;
                doc->failed = r < 0;
            }
        }
        if (doc->done && !doc->finished) {
            sink.Finish();
            doc->finished = true;
        }
        std::u16string units;
        sink.Take(kChunkUnits, units);
        if (units.empty()) return doc->failed ? -1 : 0;
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

int dx_file_information(void *filter, const char *path, DXFileInfo *info) {
    if (!info) return -1;
    std::memset(info, 0, sizeof *info);
    info->word[DX_FILEINFO_SIZE_WORD] = sizeof *info;
    if (!filter || !path) return -1;
    try {
        auto *f = static_cast<Filter *>(filter);
        // Non-blocking, so that a FIFO cannot hold the call up; it is refused below.
        Fd fd{open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
        struct stat st {};
        if (fd.fd < 0 || fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
        unsigned char head[kSniffBytes];
        size_t want = st.st_size < static_cast<off_t>(sizeof head) ? static_cast<size_t>(st.st_size)
                                                                   : sizeof head;
        if (!pread_fully(fd.fd, head, want, 0)) return -1;
        size_t got = want;
        SniffResult r = SniffHead({head, got}, static_cast<uint64_t>(st.st_size));
        int format = r.format;
        if (r.next == SniffNext::kZip) {
            format = ZipFormatFromDirectory(static_cast<uint64_t>(st.st_size),
                                            [&](uint64_t at, void *buffer, size_t count) {
                                                return pread_fully(fd.fd, buffer, count, at);
                                            });
            const DXModule *office = format == DX_FMT_UNKNOWN ? f->Office() : nullptr;
            if (format == DX_FMT_UNKNOWN) format = DX_FMT_ZIP;
            if (office && office->probePath) {
                int probed = office->probePath(path);
                if (probed != DX_FMT_UNKNOWN) format = probed;
            }
        } else if (r.next == SniffNext::kOle) {
            // Word documents, workbooks and presentations are told apart by
            // their streams; encrypted packages and the rest stay OLE
            // documents. libmagic decides only when the directory cannot be read.
            format =
                OleFormatFromDirectory({head, got}, [&](uint64_t at, void *buffer, size_t count) {
                    return pread_fully(fd.fd, buffer, count, at);
                });
            if (format == DX_FMT_UNKNOWN) {
                format = f->FormatByMagic(head, got, fd.fd, DX_FMT_OLE);
                if (format != DX_FMT_DOC && format != DX_FMT_XLS && format != DX_FMT_PPT)
                    format = DX_FMT_OLE;
            }
        } else if (r.next == SniffNext::kMagic) {
            format = f->FormatByMagic(head, got, -1, r.format);
        }
        info->word[DX_FILEINFO_FORMAT_WORD] = static_cast<uint32_t>(format);
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
