// MacWrite documents through the filter plug-in (dxfilter_mwaw.so,
// libmwaw): the rule for the data fork's header and windows, the text of
// the fixtures (scripts/make_macwrite_fixtures.py) and what happens to cut,
// hostile and refused documents.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "dxfilter_test_support.h"

namespace {

using namespace dxfilter_test;

class DxFilterMacWrite : public OleReaderTest {
  protected:
    DxFilterMacWrite() : OleReaderTest("d.mcw") {}
    static std::string Sample(const std::string &name) { return Bytes("macwrite/" + name); }
};

// `bytes` with the big-endian word (or, for `width` 4, double word) `value`
// at `at`.
std::string With(std::string bytes, size_t at, uint32_t value, int width = 2) {
    for (int k = 0; k < width; ++k)
        bytes[at + k] = static_cast<char>(value >> (8 * (width - 1 - k)));
    return bytes;
}

// The fixtures as the sink gives them (lines wrapped at a space, a tab as a
// space).
constexpr std::string_view kEnglish =
    "The Orchard Lane Choir\n"
    "Rehearsals start again on the first Tuesday of September in the village hall.\n"
    "New singers are welcome, and nobody has to read music to join us.\n"
    "This autumn we are learning old harvest songs from the valley, and we hope\n"
    "to sing them at the market in October.\n"
    "Tea and biscuits are served after every rehearsal; please bring your own\n"
    "cup.\n";
constexpr std::string_view kFrench =
    "La bibliothèque du quartier\n"
    "Depuis le mois de mars, la bibliothèque ouvre aussi le mercredi après-midi\n"
    "pour les enfants et leurs parents.\n"
    "Les livres empruntés doivent être rendus au bout de trois semaines ; on peut\n"
    "les prolonger une fois au comptoir.\n";
constexpr std::string_view kGerman =
    "Neues aus dem Heimatverein\n"
    "Am Samstag treffen sich die Mitglieder zum Frühjahrsputz an der alten Mühle.\n"
    "Handschuhe und Rechen liegen bereit.\n"
    "Nach der Arbeit gibt es Kaffee und Kuchen im Gasthaus zur Post; für die Kinder\n"
    "ist ein kleines Fußballspiel geplant.\n";
constexpr std::string_view kSpanish =
    "Club de lectura del barrio\n"
    "Este mes leemos una novela sobre un pueblo de pescadores en la costa de Galicia.\n"
    "Reunión: el jueves a las siete, en la cafetería de la plaza. Trae tu ejemplar\n"
    "y un amigo, si quieres.\n";
constexpr std::string_view kItalian =
    "Notizie dalla biblioteca\n"
    "Da lunedì la biblioteca comunale resta aperta fino alle sette di sera, così\n"
    "anche chi lavora può passare a prendere un libro.\n"
    "Sabato mattina i bambini ascolteranno una storia sul mare e disegneranno\n"
    "le barche dei pescatori.\n";

TEST_F(DxFilterMacWrite, DataForksAreToldByTheirHeaderAndWindows) {
    const std::string en = Sample("en.mcw"), it = Sample("it-2.mcw");
    // The main window's paragraph table: offset at 0x108, length at 0x10C.
    const struct {
        std::string bytes;
        int format;
        const char *what;
    } cases[] = {
        {en, DX_FMT_MACWRITE, "the sample"},
        {With(en, 8, 0xFF00), DX_FMT_MACWRITE, "no header on the first page"},
        {With(en, 0, 3), DX_FMT_BINARY, "MacWrite 2's version word"},
        {With(en, 8, 0x0100), DX_FMT_BINARY, "another first-page flag"},
        {With(en, 2, 0), DX_FMT_BINARY, "no paragraph in the main text"},
        {With(en, 2, 0x8005), DX_FMT_BINARY, "a negative count"},
        {With(en, 0x10C, 0x40), DX_FMT_BINARY, "a table shorter than the count"},
        {With(en, 0x108, 0x20, 4), DX_FMT_BINARY, "a table inside the header"},
        {With(en, 0x108, static_cast<uint32_t>(en.size()) - 0x40, 4), DX_FMT_BINARY,
         "a table past the end"},
        {With(en, 0x112, 0xFFFF), DX_FMT_BINARY, "line heights past the end"},
        {With(en, 18, 0x100, 4), DX_FMT_BINARY, "the free list inside the windows"},
        // The header's paragraphs need a table of their own.
        {With(en, 4, 1), DX_FMT_BINARY, "a header without its table"},
        {en.substr(0, 0x12A), DX_FMT_BINARY, "the fixed part alone"},
        // MacWrite 2: the data right after the table of 8 bytes per
        // paragraph (four here: the data at 0x112).
        {it, DX_FMT_MACWRITE, "MacWrite 2"},
        {With(it, 2, 0x112 + 8), DX_FMT_BINARY, "MacWrite 2, data past the table"},
        {With(it, 6, 1), DX_FMT_BINARY, "MacWrite 2, a header paragraph more"},
        {With(With(it, 4, 0), 6, 4), DX_FMT_BINARY, "MacWrite 2, none in the main text"},
        {it.substr(0, 0x100), DX_FMT_BINARY, "MacWrite 2 cut before its data"},
    };
    for (const auto &c : cases) EXPECT_EQ(FormatOf(c.bytes), c.format) << c.what;
}

TEST_F(DxFilterMacWrite, DocumentsGiveTheirParagraphs) {
    const struct {
        const char *name;
        std::string_view text;
    } samples[] = {
        {"en.mcw", kEnglish},
        // Packed two letters to a byte, as MacWrite 5 saved its text.
        {"fr.mcw", kFrench},
        // A paragraph on the second page.
        {"de.mcw", kGerman},
        // A tab and a bold run.
        {"es.mcw", kSpanish},
        // MacWrite 2's layout.
        {"it-2.mcw", kItalian},
    };
    for (const auto &s : samples) EXPECT_EQ(Text(Sample(s.name)), s.text) << s.name;
}

TEST_F(DxFilterMacWrite, DamagedAndRefusedDocuments) {
    // Each paragraph claims 64 KiB of characters: libmwaw reads none.
    Extraction r = Run(Sample("bad/huge.mcw"));
    EXPECT_TRUE(r.opened && r.openText == 0) << r.openText;
    EXPECT_TRUE(r.text.empty()) << r.utf8();
    // A cut file has lost the free list libmwaw looks for.
    ExpectRefused(Sample("bad/cut.mcw"), "cut");
}

TEST_F(DxFilterMacWrite, ManyParagraphsStopAtTheTextCap) {
    ExpectFilledToTheCap(Run(Sample("bad/long.mcw")));
}

TEST_F(DxFilterMacWrite, CutAndMutatedDocumentsAreBounded) {
    Mutator m(0x4D435731);
    for (const char *name : {"en.mcw", "fr.mcw", "it-2.mcw"}) {
        const std::string bytes = Sample(name);
        ExpectCutsBounded(bytes, 37, 2048, name);
        ExpectDamageBounded(m, bytes, {.rounds = 120, .most = 8, .cutEvery = 9}, 2048, name);
    }
}

}  // namespace
