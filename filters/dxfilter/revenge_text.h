// revenge_text.h - the text of a document read by a librevenge-based library
// (libwps, libetonyek through librevenge's plain text generators; libwpd
// through a text interface of its module's own): a budget of CPU time and of
// generated text that the generators check as the library calls them (a
// spreadsheet's cells too), and the hand-over of the generated text to the
// sink. Header only: each module links librevenge and its generators itself.
#ifndef GLOTTA_FILTERS_DXFILTER_REVENGE_TEXT_H
#define GLOTTA_FILTERS_DXFILTER_REVENGE_TEXT_H

#include <librevenge-generators/librevenge-generators.h>
#include <librevenge/librevenge.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "filters/dxfilter/dx_module.h"

namespace dxf {

// Thrown by a generator or text interface to end the library's parse at
// once: the document's CPU time is spent, or its text has nowhere to go (the
// sink is full). Libraries that catch every exception end their parse with
// an error, which the caller then reads through TextBudget::Passed and
// TextBudget::Ended.
struct ParseEnded {};

// The document's CPU time and the UTF-8 bytes of text the generators may
// still take.
class TextBudget {
  public:
    TextBudget(int64_t deadlineNs, size_t maxBytes) : deadlineNs_(deadlineNs), left_(maxBytes) {}
    // Throws ParseEnded once the time is spent.
    void Tick() {
        if (DXM_CpuNs() <= deadlineNs_) return;
        passed_ = true;
        throw ParseEnded{};
    }
    // Ends the parse because the text has nowhere to go: none fits any more.
    [[noreturn]] void Fill() {
        left_ = 0;
        filled_ = true;
        throw ParseEnded{};
    }
    // Whether `bytes` more of text fit; once they do not, none ever does.
    bool Take(size_t bytes) {
        const bool fits = bytes <= left_;
        left_ = fits ? left_ - bytes : 0;
        return fits;
    }
    bool Spent() const { return left_ == 0; }
    // The time is spent.
    bool Passed() const { return passed_; }
    // The parse was ended here: the time is spent or the text had nowhere
    // to go.
    bool Ended() const { return passed_ || filled_; }

  private:
    int64_t deadlineNs_;
    size_t left_;
    bool passed_ = false, filled_ = false;
};

// A librevenge plain text generator that checks the budget on each
// paragraph and run of text, and drops the text that no longer fits.
template <typename Generator, typename Output>
class BudgetedGenerator : public Generator {
  public:
    BudgetedGenerator(Output &out, TextBudget &budget) : Generator(out), budget_(budget) {}
    void openParagraph(const librevenge::RVNGPropertyList &props) override {
        Tick();
        Generator::openParagraph(props);
    }
    void insertText(const librevenge::RVNGString &text) override {
        Tick();
        if (budget_.Take(text.size())) Generator::insertText(text);
    }

  protected:
    // The budget's clock, on each call that generates text.
    virtual void Tick() { budget_.Tick(); }

    TextBudget &budget_;
};

// What a cell's value (a number, a date) adds to its text, about: each cell
// is charged as much, so that a sheet of numbers is bounded too.
inline constexpr size_t kCellValueBytes = 16;

// The spreadsheet generator checks each cell too; once the text budget is
// spent, cells lose the values they carry, so that only empty cells are
// generated until the sheet ends. The generator hands a sheet over when it
// closes: when the time is spent inside one, the open cell, row and sheet
// are closed before the parse ends, so that the cells generated so far are
// kept.
class BudgetedSheets final : public BudgetedGenerator<librevenge::RVNGTextSpreadsheetGenerator,
                                                      librevenge::RVNGStringVector> {
    using Base = librevenge::RVNGTextSpreadsheetGenerator;

  public:
    using BudgetedGenerator::BudgetedGenerator;
    void openSheet(const librevenge::RVNGPropertyList &props) override {
        ++sheets_;
        Base::openSheet(props);
    }
    void closeSheet() override {
        if (sheets_ > 0) --sheets_;
        Base::closeSheet();
    }
    void openSheetRow(const librevenge::RVNGPropertyList &props) override {
        ++rows_;
        Base::openSheetRow(props);
    }
    void closeSheetRow() override {
        if (rows_ > 0) --rows_;
        Base::closeSheetRow();
    }
    void openSheetCell(const librevenge::RVNGPropertyList &props) override {
        Tick();
        ++cells_;
        if (budget_.Take(kCellValueBytes))
            Base::openSheetCell(props);
        else
            Base::openSheetCell(librevenge::RVNGPropertyList());
    }
    void closeSheetCell() override {
        if (cells_ > 0) --cells_;
        Base::closeSheetCell();
    }

  private:
    // The budget's clock; when the time is spent, closes what is open.
    void Tick() override {
        try {
            budget_.Tick();
        } catch (const ParseEnded &) {
            for (; cells_ > 0; --cells_) Base::closeSheetCell();
            for (; rows_ > 0; --rows_) Base::closeSheetRow();
            for (; sheets_ > 0; --sheets_) Base::closeSheet();
            throw;
        }
    }

    int sheets_ = 0, rows_ = 0, cells_ = 0;  // open
};

// UTF-8 bytes of text the generators take: more than the sink takes
// (512 Ki UTF-16 units) in any script.
inline constexpr size_t kMaxGeneratedText = 2u << 20;

// Hands `text` to the sink a line at a time, then ends the line; true once
// the sink is full.
inline bool HandOverLines(DXMSink *sink, std::string_view text) {
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        if (end > 0 && sink->text(sink->self, text.data(), end)) return true;
        sink->brk(sink->self);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    sink->brk(sink->self);
    return false;
}

// Runs `parse` (the library's call on the interface it is given; true when
// it read the document to its end) on an `Out` generator built over
// `target` (the text or the parts it fills) and `budget`; false when the
// library failed, or the budget ended the parse. The text generated before
// the end is kept, and the generator is gone on return.
template <typename Out, typename Target, typename Parse>
bool Generate(Target &target, TextBudget &budget, Parse parse) {
    Out out(target, budget);
    try {
        return parse(&out);
    } catch (const ParseEnded &) {
        return false;
    }
}

// Generate on librevenge's plain text generator (a text document's
// paragraphs), its text one more of `parts`.
template <typename Parse>
bool GeneratePlainText(librevenge::RVNGStringVector &parts, TextBudget &budget, Parse parse) {
    librevenge::RVNGString text;
    const bool parsed =
        Generate<BudgetedGenerator<librevenge::RVNGTextTextGenerator, librevenge::RVNGString>>(
            text, budget, parse);
    parts.append(text);
    return parsed;
}

// Hands the generated `parts` (a document's text, or one part per slide or
// sheet) to the sink, each part ending a line. The step's answer: 0 when
// the sink filled up, the time was spent (the pump tells both), the library
// ended its parse (`parsed`) or some text came; -1 for a document the
// library failed on before any text.
inline int HandOverText(DXMSink *sink, const librevenge::RVNGStringVector &parts, bool parsed,
                        const TextBudget &budget) {
    bool any = false;
    for (unsigned i = 0; i < parts.size(); ++i) {
        const std::string_view text(parts[i].cstr(), parts[i].size());
        any = any || text.find_first_not_of(" \t\n") != std::string_view::npos;
        if (HandOverLines(sink, text)) return 0;
    }
    return budget.Passed() || parsed || any ? 0 : -1;
}

// The step operation of a module whose document (with its `done` flag and
// CPU `deadlineNs`) is parsed once: `parse` (given the document, the budget
// and the parts to fill; false when the library failed before it ended)
// generates its text, which goes to the sink.
template <typename Document, typename Parse>
int StepParts(Document &doc, DXMSink *sink, Parse parse) {
    if (doc.done) return 0;
    doc.done = true;
    try {
        TextBudget budget(doc.deadlineNs, kMaxGeneratedText);
        librevenge::RVNGStringVector parts;
        const bool parsed = parse(doc, budget, parts);
        return HandOverText(sink, parts, parsed, budget);
    } catch (...) {
        return -1;
    }
}

}  // namespace dxf

#endif
