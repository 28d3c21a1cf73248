// iwork_module.cpp - dxfilter_iwork.so: the text of Apple iWork documents
// (Pages, Keynote, Numbers).
//
// A document of iWork 2013 and later (a package holding `Index/Document.iwa`
// or the older `Index.zip` with the `.iwa` parts inside) is read by the
// module itself: the package is opened with libzip over its bytes, each
// `Index/*.iwa` part inflated within the bounds of an archive member, its
// chunks decoded (snappy.h) and its objects' text gathered (iwa.h); the
// text then goes to the sink piece by piece in reading order.
//
// A package kept as a folder and zipped (`Report.pages/` at the archive's
// root, see zip_scan.h) is read the same way, its members named under the
// folder: the module's own reader looks for them there, and libetonyek is
// given a stream of the folder's members (PackageFolder).
//
// An iWork '09 document is read by libetonyek. The package (a zip archive) is read into memory
// whole (up to the bound of one archive member) and handed to libetonyek through librevenge's
// string stream, which opens the archive's members. libetonyek tells the application; its document
// goes to librevenge's plain text generator of that kind (text, presentation, spreadsheet), whose
// output then goes to the sink line by line: a Pages document's paragraphs, a Keynote
// presentation's slides, a Numbers document's sheets (cells separated by tabs, which the sink takes
// as spaces).
//
// libetonyek reads a document in one call and catches every exception, so
// the generators check the document's CPU time on each paragraph, cell and
// run of text and throw once it is spent (revenge_text.h): libetonyek's
// parse ends at once, and the text generated so far is kept, a Numbers
// document's open sheet closed first.
#include <libetonyek/libetonyek.h>
#include <librevenge-generators/librevenge-generators.h>
#include <librevenge-stream/librevenge-stream.h>
#include <librevenge/librevenge.h>
#include <zip.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/iwa.h"
#include "filters/dxfilter/module_stream.h"
#include "filters/dxfilter/revenge_text.h"
#include "filters/dxfilter/zip_scan.h"

namespace {

using dxf::BudgetedGenerator;
using dxf::BudgetedSheets;
using dxf::TextBudget;

// ---- iWork 2013 and later ------------------------------------------------

constexpr std::string_view kIndexPart = "Index/Document.iwa", kIndexArchive = "Index.zip";
constexpr size_t kMaxHeldText = 8u << 20;  // text gathered before it is handed out
constexpr size_t kReadPiece = 64 * 1024;

// A zip archive over bytes the caller keeps.
class Zip {
  public:
    explicit Zip(std::string_view bytes) {
        zip_error_t error;
        zip_error_init(&error);
        if (zip_source_t *src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error)) {
            zip_ = zip_open_from_source(src, ZIP_RDONLY, &error);
            if (!zip_) zip_source_free(src);
        }
        zip_error_fini(&error);
    }
    ~Zip() {
        if (zip_) zip_discard(zip_);
    }
    Zip(const Zip &) = delete;
    Zip &operator=(const Zip &) = delete;
    zip_t *get() const { return zip_; }
    bool Has(std::string_view name) const {
        return zip_ && zip_name_locate(zip_, std::string(name).c_str(), 0) >= 0;
    }

  private:
    zip_t *zip_ = nullptr;
};

// Where the package's members are: the archive's root (empty), or the
// package's folder with its slash (zip_scan.h).
std::string PackageFolderOf(const Zip &zip) {
    dxf::IworkLayout layout;
    const zip_int64_t n = zip.get() ? zip_get_num_entries(zip.get(), 0) : 0;
    for (zip_int64_t i = 0; i < n; ++i)
        if (const char *name = zip_get_name(zip.get(), static_cast<zip_uint64_t>(i), 0))
            layout.Add(name);
    return std::string(layout.Folder());
}

// The later layout: the document's main part, or the archive holding it.
bool IsIwaPackage(const Zip &zip, std::string_view folder) {
    return zip.Has(std::string(folder) + std::string(kIndexPart)) ||
           zip.Has(std::string(folder) + std::string(kIndexArchive));
}

// Inflates member `index` into `out`, at most `max` bytes; false when it
// cannot be read to its end within them (`out` keeps what was read).
bool ReadMember(zip_t *zip, zip_uint64_t index, size_t max, std::string &out) {
    out.clear();
    zip_file_t *f = zip_fopen_index(zip, index, 0);
    if (!f) return false;
    bool ok = true;
    for (;;) {
        const size_t at = out.size();
        out.resize(at + kReadPiece);
        const zip_int64_t got = zip_fread(f, out.data() + at, kReadPiece);
        out.resize(at + static_cast<size_t>(std::max<zip_int64_t>(got, 0)));
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        if (out.size() > max) {
            out.resize(max);
            ok = false;
            break;
        }
    }
    zip_fclose(f);
    return ok;
}

struct IwaReading {
    std::string index;  // `Index.zip`, when the parts are inside it
    bool damaged = false;
    bool timedOut = false;
};

// A part whose text is a theme's: the master slides' placeholders.
bool IsMasterPart(std::string_view name) {
    return name.starts_with("Index/MasterSlide") || name.starts_with("Index/TemplateSlide");
}

// Gathers the text of the package's parts (under `folder`) into `text`.
void ReadIwaParts(const Zip &outer, std::string_view folder, const DXMLimits &limits,
                  IwaReading &reading, std::unique_ptr<dxf::iwa::Text> &text) {
    auto goOn = [&] {
        if (DXM_CpuNs() <= limits.deadlineNs) return true;
        reading.timedOut = true;
        return false;
    };
    std::unique_ptr<Zip> inner;
    const Zip *zip = &outer;
    std::string prefix(folder);  // the parts' names start with it
    uint64_t inflated = 0, decoded = 0;
    if (!outer.Has(prefix + std::string(kIndexPart))) {
        // The parts in the older nested archive, named from its root.
        const std::string name = prefix + std::string(kIndexArchive);
        prefix.clear();
        const zip_int64_t at = zip_name_locate(outer.get(), name.c_str(), 0);
        if (at < 0 || !ReadMember(outer.get(), static_cast<zip_uint64_t>(at), limits.maxPartBytes,
                                  reading.index)) {
            reading.damaged = true;
            return;
        }
        inflated = reading.index.size();
        inner = std::make_unique<Zip>(reading.index);
        zip = inner.get();
        if (!zip->get()) {
            reading.damaged = true;
            return;
        }
    }
    // The `.iwa` parts in archive order, a theme's master slides left out.
    std::vector<zip_uint64_t> parts;
    bool presentation = false;  // a Keynote presentation: it has slides' parts
    const zip_int64_t n = zip_get_num_entries(zip->get(), 0);
    for (zip_int64_t i = 0; i < n && parts.size() < limits.maxParts; ++i) {
        const char *raw = zip_get_name(zip->get(), static_cast<zip_uint64_t>(i), 0);
        std::string_view name = raw ? raw : "";
        if (!name.starts_with(prefix)) continue;
        name.remove_prefix(prefix.size());
        if (!name.starts_with("Index/") || !name.ends_with(".iwa") || IsMasterPart(name)) continue;
        presentation = presentation || name.starts_with("Index/Slide");
        parts.push_back(static_cast<zip_uint64_t>(i));
    }
    text = std::make_unique<dxf::iwa::Text>(presentation, kMaxHeldText);
    std::string part, stream;
    for (size_t i = 0; i < parts.size() && text->room() && goOn(); ++i) {
        const uint64_t left = limits.maxTotalBytes - std::min(limits.maxTotalBytes, inflated);
        const bool whole =
            ReadMember(zip->get(), parts[i], std::min<uint64_t>(limits.maxPartBytes, left), part);
        inflated += part.size();
        stream.clear();
        const uint64_t room = limits.maxTotalBytes - std::min(limits.maxTotalBytes, decoded);
        const bool unpacked =
            dxf::iwa::UnpackPart(part, std::min<uint64_t>(limits.maxPartBytes, room), stream, goOn);
        decoded += stream.size();
        reading.damaged = reading.damaged || !whole || !unpacked;
        text->AddPart(i, stream, goOn);
    }
    // A package whose parts hold no object at all is not a document.
    reading.damaged = reading.damaged || text->damaged() || text->messages() == 0;
}

// ---- the module ------------------------------------------------------------

// The members of a package kept as a folder, as libetonyek opens a package:
// the archive's members under `folder`, named from the folder. Everything
// else (the bytes, their position) is the archive's. An empty folder is the
// archive itself.
class PackageFolder final : public librevenge::RVNGInputStream {
  public:
    PackageFolder(librevenge::RVNGInputStream &archive, std::string_view folder)
        : archive_(archive), folder_(folder) {}
    bool isStructured() override { return archive_.isStructured(); }
    unsigned subStreamCount() override { return static_cast<unsigned>(Members().size()); }
    const char *subStreamName(unsigned id) override {
        return id < Members().size() ? Members()[id].second.c_str() : nullptr;
    }
    bool existsSubStream(const char *name) override {
        return name && archive_.existsSubStream(InArchive(name).c_str());
    }
    librevenge::RVNGInputStream *getSubStreamByName(const char *name) override {
        return name ? archive_.getSubStreamByName(InArchive(name).c_str()) : nullptr;
    }
    librevenge::RVNGInputStream *getSubStreamById(unsigned id) override {
        return id < Members().size() ? archive_.getSubStreamById(Members()[id].first) : nullptr;
    }
    const unsigned char *read(unsigned long numBytes, unsigned long &numBytesRead) override {
        return archive_.read(numBytes, numBytesRead);
    }
    int seek(long offset, librevenge::RVNG_SEEK_TYPE seekType) override {
        return archive_.seek(offset, seekType);
    }
    long tell() override { return archive_.tell(); }
    bool isEnd() override { return archive_.isEnd(); }

  private:
    std::string InArchive(const char *name) const { return folder_ + name; }
    // The archive's id and the name in the folder of each member inside it,
    // listed when first asked for.
    const std::vector<std::pair<unsigned, std::string>> &Members() {
        if (listed_) return members_;
        listed_ = true;
        const unsigned n = archive_.isStructured() ? archive_.subStreamCount() : 0;
        for (unsigned id = 0; id < n; ++id) {
            const char *raw = archive_.subStreamName(id);
            const std::string_view name = raw ? raw : "";
            if (name.size() > folder_.size() && name.starts_with(folder_))
                members_.emplace_back(id, std::string(name.substr(folder_.size())));
        }
        return members_;
    }

    librevenge::RVNGInputStream &archive_;
    const std::string folder_;
    std::vector<std::pair<unsigned, std::string>> members_;
    bool listed_ = false;
};

struct IworkDocument {
    std::string bytes;
    std::string folder;  // the package's folder in the archive (PackageFolder)
    libetonyek::EtonyekDocument::Type type = libetonyek::EtonyekDocument::TYPE_UNKNOWN;
    DXMLimits limits{};
    std::unique_ptr<dxf::iwa::Text> iwaText;  // a later document's, read at open
    bool done = false;
};

// The text of the document, by its kind; false when libetonyek failed
// before it ended.
bool Parse(const IworkDocument &doc, TextBudget &budget, librevenge::RVNGStringVector &parts) {
    librevenge::RVNGStringStream archive(reinterpret_cast<const unsigned char *>(doc.bytes.data()),
                                         static_cast<unsigned>(doc.bytes.size()));
    PackageFolder input(archive, doc.folder);
    using libetonyek::EtonyekDocument;
    switch (doc.type) {
        case EtonyekDocument::TYPE_PAGES: {
            librevenge::RVNGString text;
            BudgetedGenerator<librevenge::RVNGTextTextGenerator, librevenge::RVNGString> out(
                text, budget);
            const bool ok = EtonyekDocument::parse(&input, &out);
            parts.append(text);
            return ok;
        }
        case EtonyekDocument::TYPE_KEYNOTE: {
            BudgetedGenerator<librevenge::RVNGTextPresentationGenerator,
                              librevenge::RVNGStringVector>
                out(parts, budget);
            return EtonyekDocument::parse(&input, &out);
        }
        case EtonyekDocument::TYPE_NUMBERS: {
            BudgetedSheets out(parts, budget);
            return EtonyekDocument::parse(&input, &out);
        }
        default:
            return false;
    }
}

// Hands out the text of a later document read at open.
int IwaStep(const IworkDocument &doc, DXMSink *sink) {
    for (const dxf::iwa::Text::Piece *piece : doc.iwaText->Ordered()) {
        if (dxf::HandOverLines(sink, piece->text)) return 0;
    }
    return 0;
}

DXMExtractor *iwork_open(DXStream *stream, int64_t size, int format, const DXMLimits *limits) {
    if (!stream || !limits || format != DX_FMT_IWORK || size <= 0 ||
        static_cast<uint64_t>(size) > limits->maxPartBytes ||
        static_cast<uint64_t>(size) > UINT32_MAX)
        return nullptr;
    try {
        auto doc = std::make_unique<IworkDocument>();
        doc->limits = *limits;
        if (!dxf::ReadWholeStream(stream, size, doc->bytes)) return nullptr;
        // A document of iWork 2013 or later is the module's own to read, at
        // once: a damaged one without any text fails to open. Out of time,
        // the pump tells.
        bool later = false;
        {
            const Zip zip(doc->bytes);
            doc->folder = PackageFolderOf(zip);
            later = IsIwaPackage(zip, doc->folder);
            if (later) {
                IwaReading reading;
                ReadIwaParts(zip, doc->folder, doc->limits, reading, doc->iwaText);
                if (!doc->iwaText ||
                    (doc->iwaText->Ordered().empty() && reading.damaged && !reading.timedOut))
                    return nullptr;
            }
        }
        if (later) {
            std::string().swap(doc->bytes);
            return reinterpret_cast<DXMExtractor *>(doc.release());
        }
        // A package libetonyek does not take for a document of one of the
        // three applications is refused here.
        librevenge::RVNGStringStream archive(
            reinterpret_cast<const unsigned char *>(doc->bytes.data()),
            static_cast<unsigned>(doc->bytes.size()));
        PackageFolder input(archive, doc->folder);
        if (!input.isStructured() || libetonyek::EtonyekDocument::isSupported(&input, &doc->type) !=
                                         libetonyek::EtonyekDocument::CONFIDENCE_EXCELLENT)
            return nullptr;
        return reinterpret_cast<DXMExtractor *>(doc.release());
    } catch (...) {
        return nullptr;
    }
}

int iwork_step(DXMExtractor *extractor, DXMSink *sink) {
    auto *doc = reinterpret_cast<IworkDocument *>(extractor);
    if (doc->done) return 0;
    doc->done = true;
    try {
        if (doc->iwaText) return IwaStep(*doc, sink);
        TextBudget budget(doc->limits.deadlineNs, dxf::kMaxGeneratedText);
        librevenge::RVNGStringVector parts;
        const bool ok = Parse(*doc, budget, parts);
        // Out of time: the pump tells. A damaged document keeps the text
        // read before the damage; one without any fails.
        return dxf::HandOverText(sink, parts, ok, budget);
    } catch (...) {
        return -1;
    }
}

void iwork_close(DXMExtractor *extractor) {
    delete reinterpret_cast<IworkDocument *>(extractor);
}

constexpr DXModule kModule = {DXM_ABI_VERSION, nullptr,    nullptr,
                              iwork_open,      iwork_step, iwork_close};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DXModule *DXM_GetModule(void) {
    return &kModule;
}
