// visio_module.cpp - dxfilter_visio.so: the text of the shapes of Microsoft
// Visio drawings, read by libvisio: binary drawings (`.vsd`, a compound file
// with a `VisioDocument` stream), XML drawings (`.vdx`) and packages
// (`.vsdx`, `.vsdm`, `.vstx` and their kin).
//
// The drawing is read into memory whole (up to the bound of one archive
// member) and handed to libvisio through librevenge's string stream, which
// opens the compound file or the zip package. libvisio draws each page in
// turn on a drawing interface; ours keeps only the text: each paragraph and
// line break of a shape's text ends a line, as does each shape and each page,
// so that the text comes in page order, one shape after another. A page's
// name is a property of the page, not text, and is not read. A shape placed
// from a master (a stencil's shape) that has no text of its own draws the
// master's text, which is what the drawing shows; the masters themselves
// (libvisio's stencil pages) are not read.
//
// As for the other librevenge-based modules (revenge_text.h), the interface
// checks the document's CPU time on each page, shape and run of text and
// throws once it is spent or the text budget is full, which ends libvisio's
// parse; the text collected so far is kept.
#include <libvisio/libvisio.h>
#include <librevenge-generators/librevenge-generators.h>
#include <librevenge-stream/librevenge-stream.h>
#include <librevenge/librevenge.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/module_stream.h"
#include "filters/dxfilter/revenge_text.h"

namespace {

using dxf::ParseEnded;
using dxf::TextBudget;

struct VisioDrawing {
    std::string bytes;
    int64_t deadlineNs = 0;
    bool done = false;
};

// The text of a drawing's shapes. librevenge's text drawing generator does
// nothing for the calls that draw; the calls that carry text fill `text`
// instead of the generator's pages, with a line end after each paragraph,
// line break, shape and page (never two in a row).
class ShapeText final : public librevenge::RVNGTextDrawingGenerator {
  public:
    ShapeText(std::string &text, TextBudget &budget)
        : RVNGTextDrawingGenerator(unused_), text_(text), budget_(budget) {}

    void startPage(const librevenge::RVNGPropertyList &) override { budget_.Tick(); }
    void endPage() override { EndLine(); }
    void startMasterPage(const librevenge::RVNGPropertyList &) override { ++masters_; }
    void endMasterPage() override {
        if (masters_ > 0) --masters_;
    }
    void startTextObject(const librevenge::RVNGPropertyList &) override { budget_.Tick(); }
    void endTextObject() override { EndLine(); }
    void openParagraph(const librevenge::RVNGPropertyList &) override { budget_.Tick(); }
    void closeParagraph() override { EndLine(); }
    void insertLineBreak() override { EndLine(); }
    void insertTab() override { Add("\t"); }
    void insertSpace() override { Add(" "); }
    void insertText(const librevenge::RVNGString &text) override {
        budget_.Tick();
        Add(std::string_view(text.cstr(), text.size()));
    }
    // A table's cells run on, apart.
    void closeTableCell() override { Add("\t"); }
    void closeTableRow() override { EndLine(); }

  private:
    // Keeps `piece` when it fits; the parse ends once none does.
    void Add(std::string_view piece) {
        if (masters_ > 0 || piece.empty()) return;
        if (!budget_.Take(piece.size())) budget_.Fill();
        text_.append(piece);
    }
    void EndLine() {
        if (masters_ > 0 || text_.empty() || text_.back() == '\n') return;
        if (!budget_.Take(1)) budget_.Fill();
        text_.push_back('\n');
    }

    librevenge::RVNGStringVector unused_;  // the generator's pages, never filled
    std::string &text_;
    TextBudget &budget_;
    int masters_ = 0;  // open master pages
};

DXMExtractor *visio_open(DXStream *stream, int64_t size, int format, const DXMLimits *limits) {
    if (!stream || !limits || format != DX_FMT_VISIO || size <= 0 ||
        static_cast<uint64_t>(size) > limits->maxPartBytes ||
        static_cast<uint64_t>(size) > UINT32_MAX)
        return nullptr;
    try {
        auto drawing = std::make_unique<VisioDrawing>();
        drawing->deadlineNs = limits->deadlineNs;
        if (!dxf::ReadWholeStream(stream, size, drawing->bytes)) return nullptr;
        // A drawing libvisio does not take (a version it does not read, a
        // package without its document part) is refused here.
        librevenge::RVNGStringStream input(
            reinterpret_cast<const unsigned char *>(drawing->bytes.data()),
            static_cast<unsigned>(drawing->bytes.size()));
        if (!libvisio::VisioDocument::isSupported(&input)) return nullptr;
        return reinterpret_cast<DXMExtractor *>(drawing.release());
    } catch (...) {
        return nullptr;
    }
}

int visio_step(DXMExtractor *extractor, DXMSink *sink) {
    auto *drawing = reinterpret_cast<VisioDrawing *>(extractor);
    if (drawing->done) return 0;
    drawing->done = true;
    try {
        TextBudget budget(drawing->deadlineNs, dxf::kMaxGeneratedText);
        std::string text;
        bool parsed = false;
        {
            librevenge::RVNGStringStream input(
                reinterpret_cast<const unsigned char *>(drawing->bytes.data()),
                static_cast<unsigned>(drawing->bytes.size()));
            ShapeText out(text, budget);
            try {
                parsed = libvisio::VisioDocument::parse(&input, &out);
            } catch (const ParseEnded &) {
            }
        }
        librevenge::RVNGStringVector parts;
        parts.append(librevenge::RVNGString(text.c_str()));
        return dxf::HandOverText(sink, parts, parsed, budget);
    } catch (...) {
        return -1;
    }
}

void visio_close(DXMExtractor *extractor) {
    delete reinterpret_cast<VisioDrawing *>(extractor);
}

constexpr DXModule kModule = {DXM_ABI_VERSION, nullptr,    nullptr,
                              visio_open,      visio_step, visio_close};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DXModule *DXM_GetModule(void) {
    return &kModule;
}
