// revenge_drawing.h - a document that a librevenge-based drawing library
// (libvisio, libmspub, libstaroffice, libqxp, libzmf) reads from memory and draws, page by page, on
// an interface that keeps only the text: the document read whole, the library asked whether it
// takes it, the drawing and the hand-over of its text. The MacWrite module (libmwaw, a text
// library) reads its documents whole and hands their text over the same way. Header only: each
// module links its library and librevenge itself.
#ifndef GLOTTA_FILTERS_DXFILTER_REVENGE_DRAWING_H
#define GLOTTA_FILTERS_DXFILTER_REVENGE_DRAWING_H

#include <librevenge-generators/librevenge-generators.h>
#include <librevenge-stream/librevenge-stream.h>
#include <librevenge/librevenge.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/module_stream.h"
#include "filters/dxfilter/revenge_text.h"

namespace dxf {

// The text of a drawing. librevenge's text drawing generator does nothing
// for the calls that draw; the calls that carry text fill `text` instead of
// the generator's pages, with a line end after each paragraph, line break,
// text object, table row and page (never two in a row); a table's cells run
// on, apart. The budget's clock is checked on each page, text object,
// paragraph and run of text.
class DrawingText : public librevenge::RVNGTextDrawingGenerator {
  public:
    DrawingText(std::string &text, TextBudget &budget)
        : RVNGTextDrawingGenerator(unused_), text_(text), budget_(budget) {}

    void startPage(const librevenge::RVNGPropertyList &) override { budget_.Tick(); }
    void endPage() override { EndLine(); }
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
    void closeTableCell() override { Add("\t"); }
    void closeTableRow() override { EndLine(); }

  protected:
    // Whether what is drawn now is left out of the text.
    virtual bool Skipped() const { return false; }
    // Keeps `piece` when it fits; the parse ends once none does.
    void Add(std::string_view piece) {
        if (Skipped() || piece.empty()) return;
        if (!budget_.Take(piece.size())) budget_.Fill();
        text_.append(piece);
    }
    void EndLine() {
        if (Skipped() || text_.empty() || text_.back() == '\n') return;
        if (!budget_.Take(1)) budget_.Fill();
        text_.push_back('\n');
    }

    std::string &text_;
    TextBudget &budget_;

  private:
    librevenge::RVNGStringVector unused_;  // the generator's pages, never filled
};

// The text of a drawing's pages (libvisio's shapes, StarDraw's objects): a
// line end after each paragraph, line break, shape and page; nothing of the
// master pages, which the library draws on their own.
class PagesText final : public DrawingText {
  public:
    using DrawingText::DrawingText;

    void startMasterPage(const librevenge::RVNGPropertyList &) override { ++masters_; }
    void endMasterPage() override {
        if (masters_ > 0) --masters_;
    }

  private:
    bool Skipped() const override { return masters_ > 0; }

    int masters_ = 0;  // open master pages
};

// A drawing read whole, its format, and the CPU deadline of its extraction.
struct WholeDrawing {
    std::string bytes;
    int format = 0;  // a DX_FMT_* code
    int64_t deadlineNs = 0;
    bool done = false;

    // librevenge's string stream over the bytes, which opens a compound
    // file or a zip package.
    std::unique_ptr<librevenge::RVNGStringStream> Input() const {
        return std::make_unique<librevenge::RVNGStringStream>(
            reinterpret_cast<const unsigned char *>(bytes.data()),
            static_cast<unsigned>(bytes.size()));
    }
};

// The open operation of a drawing module for `format`: the document of
// that format read whole (up to the bound of one archive member), null when
// it cannot be or `supported` (the library's check, given the input) does
// not take it.
template <typename Supported>
DXMExtractor *OpenDrawing(DXStream *stream, int64_t size, int format, int wanted,
                          const DXMLimits *limits, Supported supported) {
    if (!stream || !limits || format != wanted || size <= 0 ||
        static_cast<uint64_t>(size) > limits->maxPartBytes ||
        static_cast<uint64_t>(size) > UINT32_MAX)
        return nullptr;
    try {
        auto drawing = std::make_unique<WholeDrawing>();
        drawing->format = format;
        drawing->deadlineNs = limits->deadlineNs;
        if (!ReadWholeStream(stream, size, drawing->bytes)) return nullptr;
        if (!supported(drawing->Input().get())) return nullptr;
        return reinterpret_cast<DXMExtractor *>(drawing.release());
    } catch (...) {
        return nullptr;
    }
}

// The whole text, for the hand-over.
inline librevenge::RVNGString WholeText(const std::string &text) {
    return librevenge::RVNGString(text.c_str());
}
inline const librevenge::RVNGString &WholeText(const librevenge::RVNGString &text) {
    return text;
}

// The step operation: `parse` (the library's, given the input and the
// interface) draws the document once on a `Text` interface, which collects
// its text in an `Output` (a drawing's std::string, or the RVNGString of
// librevenge's text generator), whose text goes to the sink.
template <typename Text, typename Output = std::string, typename Parse>
int StepDrawing(DXMExtractor *extractor, DXMSink *sink, Parse parse) {
    return StepParts(*reinterpret_cast<WholeDrawing *>(extractor), sink,
                     [&parse](const WholeDrawing &drawing, TextBudget &budget,
                              librevenge::RVNGStringVector &parts) {
                         Output text;
                         const auto input = drawing.Input();
                         const bool parsed = Generate<Text>(
                             text, budget, [&](Text *out) { return parse(input.get(), out); });
                         parts.append(WholeText(text));
                         return parsed;
                     });
}

inline void CloseDrawing(DXMExtractor *extractor) {
    delete reinterpret_cast<WholeDrawing *>(extractor);
}

}  // namespace dxf

#endif
