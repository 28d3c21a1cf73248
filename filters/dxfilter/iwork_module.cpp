// iwork_module.cpp - dxfilter_iwork.so: the text of Apple iWork documents
// (Pages, Keynote, Numbers), read by libetonyek.
//
// The package (a zip archive) is read into memory whole (up to the bound of
// one archive member) and handed to libetonyek through librevenge's string
// stream, which opens the archive's members. libetonyek tells the
// application; its document goes to librevenge's plain text generator of
// that kind (text, presentation, spreadsheet), whose output then goes to the
// sink line by line: a Pages document's paragraphs, a Keynote presentation's
// slides, a Numbers document's sheets (cells separated by tabs, which the
// sink takes as spaces).
//
// libetonyek reads a document in one call and catches every exception, so
// the generators below check the document's CPU time on each paragraph and
// run of text and throw once it is spent: libetonyek's parse ends at once,
// and the text generated so far is kept.
#include <libetonyek/libetonyek.h>
#include <librevenge-generators/librevenge-generators.h>
#include <librevenge-stream/librevenge-stream.h>
#include <librevenge/librevenge.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/module_stream.h"

namespace {

// Ends libetonyek's parse: the document's CPU time is spent.
struct Stop {};

// The clock the generators below check.
class Deadline {
  public:
    explicit Deadline(int64_t ns) : ns_(ns) {}
    void Tick() {
        if (DXM_CpuNs() <= ns_) return;
        passed_ = true;
        throw Stop{};
    }
    bool Passed() const { return passed_; }

  private:
    int64_t ns_;
    bool passed_ = false;
};

// A librevenge plain text generator that checks the deadline on each
// paragraph and run of text.
template <typename Generator, typename Output>
class Timed final : public Generator {
  public:
    Timed(Output &out, Deadline &deadline) : Generator(out), deadline_(deadline) {}
    void openParagraph(const librevenge::RVNGPropertyList &props) override {
        deadline_.Tick();
        Generator::openParagraph(props);
    }
    void insertText(const librevenge::RVNGString &text) override {
        deadline_.Tick();
        Generator::insertText(text);
    }

  private:
    Deadline &deadline_;
};

struct IworkDocument {
    std::string bytes;
    libetonyek::EtonyekDocument::Type type = libetonyek::EtonyekDocument::TYPE_UNKNOWN;
    int64_t deadlineNs = 0;
    bool done = false;
};

// Hands generated text to the sink, a line at a time; true once it is full.
bool Emit(DXMSink *sink, std::string_view text) {
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        if (end > 0 && sink->text(sink->self, text.data(), end)) return true;
        sink->brk(sink->self);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return false;
}

// The text of the document, by its kind; false when libetonyek failed
// before it ended.
bool Parse(const IworkDocument &doc, Deadline &deadline, librevenge::RVNGStringVector &parts) {
    librevenge::RVNGStringStream input(reinterpret_cast<const unsigned char *>(doc.bytes.data()),
                                       static_cast<unsigned>(doc.bytes.size()));
    using libetonyek::EtonyekDocument;
    switch (doc.type) {
        case EtonyekDocument::TYPE_PAGES: {
            librevenge::RVNGString text;
            Timed<librevenge::RVNGTextTextGenerator, librevenge::RVNGString> out(text, deadline);
            const bool ok = EtonyekDocument::parse(&input, &out);
            parts.append(text);
            return ok;
        }
        case EtonyekDocument::TYPE_KEYNOTE: {
            Timed<librevenge::RVNGTextPresentationGenerator, librevenge::RVNGStringVector> out(
                parts, deadline);
            return EtonyekDocument::parse(&input, &out);
        }
        case EtonyekDocument::TYPE_NUMBERS: {
            Timed<librevenge::RVNGTextSpreadsheetGenerator, librevenge::RVNGStringVector> out(
                parts, deadline);
            return EtonyekDocument::parse(&input, &out);
        }
        default:
            return false;
    }
}

DXMExtractor *iwork_open(DXStream *stream, int64_t size, int format, const DXMLimits *limits) {
    if (!stream || !limits || format != DX_FMT_IWORK || size <= 0 ||
        static_cast<uint64_t>(size) > limits->maxPartBytes ||
        static_cast<uint64_t>(size) > UINT32_MAX)
        return nullptr;
    try {
        auto doc = std::make_unique<IworkDocument>();
        doc->deadlineNs = limits->deadlineNs;
        if (!dxf::ReadWholeStream(stream, size, doc->bytes)) return nullptr;
        // A package libetonyek does not take for a document of one of the
        // three applications is refused here.
        librevenge::RVNGStringStream input(
            reinterpret_cast<const unsigned char *>(doc->bytes.data()),
            static_cast<unsigned>(doc->bytes.size()));
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
        Deadline deadline(doc->deadlineNs);
        librevenge::RVNGStringVector parts;
        const bool ok = Parse(*doc, deadline, parts);
        bool any = false;
        for (unsigned i = 0; i < parts.size(); ++i) {
            const std::string_view text(parts[i].cstr(), parts[i].size());
            any = any || text.find_first_not_of(" \t\n") != std::string_view::npos;
            if (Emit(sink, text)) return 0;
            sink->brk(sink->self);
        }
        // Out of time: the pump tells. A damaged document keeps the text
        // read before the damage; one without any fails.
        if (deadline.Passed()) return 0;
        return ok || any ? 0 : -1;
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
