// staroffice_module.cpp - dxfilter_staroffice.so: the text of StarOffice 3 to
// 5 documents, read by libstaroffice: StarWriter documents (`.sdw`, `.sgl`),
// StarCalc spreadsheets (`.sdc`), StarDraw drawings and StarImpress
// presentations (`.sda`, `.sdd`), compound files whose root stream tells the
// application (ole_scan.cpp).
//
// The document is read into memory whole (up to the bound of one archive
// member, as the drawing modules read theirs: revenge_drawing.h) and handed
// to libstaroffice through librevenge's string stream, which opens the
// compound file. libstaroffice tells the kind, which must be the one the
// stream's name told: a text goes to librevenge's plain text generator (its
// paragraphs, as for the other text libraries), a spreadsheet to its spreadsheet generator (each
// sheet's cells row by row), a presentation to its presentation generator (slide by slide) and a
// drawing to the page interface the Visio module draws on (each page's text, no master page). The
// characters are in the document's code pages, which libstaroffice converts: its text is UTF-8.
//
// A document protected by a password is refused: libstaroffice reads none
// without it (its flag for StarWriter; for StarCalc and StarDraw, the marks
// of a plain stream, checked here). libstaroffice reads a document in one call and catches every
// exception, so the generators (revenge_text.h) check the document's CPU
// time on each paragraph, cell and run of text and throw once it is spent:
// the parse ends at once, and the text generated so far is kept. Text beyond
// what the sink can take is dropped as it comes.
#include <libstaroffice/libstaroffice.hxx>
#include <librevenge-generators/librevenge-generators.h>
#include <librevenge-stream/librevenge-stream.h>
#include <librevenge/librevenge.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/revenge_drawing.h"
#include "filters/dxfilter/revenge_text.h"

namespace {

using dxf::BudgetedGenerator;
using dxf::BudgetedSheets;
using dxf::TextBudget;

// Whether the first bytes of the compound file's stream `name` are `mark`.
bool StreamOpensWith(librevenge::RVNGInputStream *input, const char *name, std::string_view mark,
                     size_t at = 0) {
    const std::unique_ptr<librevenge::RVNGInputStream> stream(input->getSubStreamByName(name));
    if (!stream) return false;
    unsigned long read = 0;
    const unsigned char *bytes = stream->read(at + mark.size(), read);
    return bytes && read == at + mark.size() &&
           std::string_view(reinterpret_cast<const char *>(bytes) + at, mark.size()) == mark;
}

// Whether a spreadsheet's or drawing's document stream is plain: libstaroffice
// (0.0.7) reports every StarCalc and StarDraw document as encrypted, having
// read its mark in another stream or in the other byte order, so the marks
// it looks for are checked here: the `B` of a StarCalc stream's second byte,
// the `Dr` a StarDraw stream opens with. A stream without them is taken for
// encrypted.
bool IsPlainStream(librevenge::RVNGInputStream *input, STOFFDocument::Kind kind) {
    if (!input->isStructured()) return false;
    switch (kind) {
        case STOFFDocument::STOFF_K_SPREADSHEET:
            return StreamOpensWith(input, "StarCalcDocument", "B", 1);
        case STOFFDocument::STOFF_K_DRAW:
        case STOFFDocument::STOFF_K_PRESENTATION:
            return StreamOpensWith(input, "StarDrawDocument3", "Dr") ||
                   StreamOpensWith(input, "StarDrawDocument", "Dr");
        default:
            return false;
    }
}

// The kind libstaroffice reads the document as, when it reads it without a
// password; STOFF_K_UNKNOWN otherwise.
STOFFDocument::Kind ReadKind(librevenge::RVNGInputStream *input) {
    STOFFDocument::Kind kind = STOFFDocument::STOFF_K_UNKNOWN;
    switch (STOFFDocument::isFileFormatSupported(input, kind)) {
        case STOFFDocument::STOFF_C_EXCELLENT:
            return kind;
        case STOFFDocument::STOFF_C_SUPPORTED_ENCRYPTION:
            return IsPlainStream(input, kind) ? kind : STOFFDocument::STOFF_K_UNKNOWN;
        default:
            return STOFFDocument::STOFF_K_UNKNOWN;
    }
}

// Whether libstaroffice's kind is the one the format rules told.
bool IsToldKind(int format, STOFFDocument::Kind kind) {
    switch (format) {
        case DX_FMT_STARWRITER:
            return kind == STOFFDocument::STOFF_K_TEXT;
        case DX_FMT_STARCALC:
            return kind == STOFFDocument::STOFF_K_SPREADSHEET;
        case DX_FMT_STARDRAW:
            return kind == STOFFDocument::STOFF_K_DRAW ||
                   kind == STOFFDocument::STOFF_K_PRESENTATION;
        default:
            return false;
    }
}

// The text of the document, by its kind; false when libstaroffice failed
// before it ended.
bool Parse(const dxf::WholeDrawing &doc, TextBudget &budget, librevenge::RVNGStringVector &parts) {
    const auto kindInput = doc.Input();
    const STOFFDocument::Kind kind = ReadKind(kindInput.get());
    const auto input = doc.Input();
    const auto parse = [&input](auto *out) {
        return STOFFDocument::parse(input.get(), out) == STOFFDocument::STOFF_R_OK;
    };
    switch (kind) {
        case STOFFDocument::STOFF_K_TEXT:
            return dxf::GeneratePlainText(parts, budget, parse);
        case STOFFDocument::STOFF_K_SPREADSHEET:
            return dxf::Generate<BudgetedSheets>(parts, budget, parse);
        case STOFFDocument::STOFF_K_PRESENTATION:
            return dxf::Generate<BudgetedGenerator<librevenge::RVNGTextPresentationGenerator,
                                                   librevenge::RVNGStringVector>>(parts, budget,
                                                                                  parse);
        case STOFFDocument::STOFF_K_DRAW: {
            std::string text;
            const bool parsed = dxf::Generate<dxf::PagesText>(text, budget, parse);
            parts.append(dxf::WholeText(text));
            return parsed;
        }
        default:
            return false;
    }
}

DXMExtractor *staroffice_open(DXStream *stream, int64_t size, int format, const DXMLimits *limits) {
    // A document libstaroffice does not read without a password, or takes
    // for another kind than its stream told, is refused here.
    return dxf::OpenDrawing(stream, size, format, format, limits,
                            [format](librevenge::RVNGInputStream *input) {
                                return IsToldKind(format, ReadKind(input));
                            });
}

int staroffice_step(DXMExtractor *extractor, DXMSink *sink) {
    return dxf::StepParts(*reinterpret_cast<dxf::WholeDrawing *>(extractor), sink, Parse);
}

constexpr DXModule kModule = {DXM_ABI_VERSION, nullptr,         nullptr,
                              staroffice_open, staroffice_step, dxf::CloseDrawing};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DXModule *DXM_GetModule(void) {
    return &kModule;
}
