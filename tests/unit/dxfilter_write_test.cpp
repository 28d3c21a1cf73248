// Microsoft Write, Word for DOS and Pocket Word documents through the filter
// plug-in (dxfilter_works.so, libwps): the format rules for the header Write
// and Word for DOS share and for Pocket Word's header and zones, the text of
// the fixtures (scripts/make_write_fixtures.py), and what happens to refused,
// cut, damaged and look-alike files.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "dxfilter_test_support.h"

namespace {

using namespace dxfilter_test;

class DxFilterWrite : public OleReaderTest {
  protected:
    DxFilterWrite() : OleReaderTest("d.wri") {}
    static std::string Sample(const std::string &name) { return Bytes("write/" + name); }
};

// `bytes` with the little-endian word (or, for `width` 4, double word)
// `value` at `at`.
std::string With(std::string bytes, size_t at, uint32_t value, int width = 2) {
    for (int k = 0; k < width; ++k) bytes[at + k] = static_cast<char>(value >> (8 * k));
    return bytes;
}

// The fixtures as the sink gives them (lines wrapped at a space).
constexpr std::string_view kGermanWrite =
    "Die Bibliothek am Fluss\n"
    "Jeden Dienstag öffnet die kleine Bibliothek am Fluss ihre Türen, und die\n"
    "Leserinnen bringen Körbe voller Bücher zurück. Die Bibliothekarin grüßt jeden\n"
    "mit Namen und stempelt die Karten.\n"
    "Im Winter heizt ein alter Ofen den Lesesaal, während draußen der Schnee auf\n"
    "die Brücke fällt. Kinder blättern in Märchenbüchern, und die Großväter lesen\n"
    "die Zeitung von gestern.\n";
constexpr std::string_view kSpanishWrite =
    "La biblioteca junto al río\n"
    "Cada martes la pequeña biblioteca junto al río abre sus puertas, y las lectoras\n"
    "devuelven cestas llenas de libros. La bibliotecaria saluda a todos por su\n"
    "nombre y sella las tarjetas.\n"
    "En invierno una vieja estufa calienta la sala de lectura, mientras afuera\n"
    "la nieve cae sobre el puente. Los niños hojean cuentos y los abuelos leen\n"
    "el periódico de ayer.\n";
constexpr std::string_view kGermanDos =
    "Der Winter im Dorf\n"
    "Wenn der erste Schnee fällt, holen die Nachbarn ihre Schlitten aus dem Schuppen\n"
    "und fahren den Hügel hinter der Kirche hinunter. Danach trinken alle heißen\n"
    "Tee in der Küche der Bäckerin.\n"
    "Am Abend zählen die Kinder die Sterne über dem Teich, und die Älteren erzählen\n"
    "Geschichten von früheren Wintern.\n";
constexpr std::string_view kItalianPocket =
    "La biblioteca sul fiume\n"
    "Ogni martedì la piccola biblioteca sul fiume apre le porte e le lettrici\n"
    "riportano cesti pieni di libri. La bibliotecaria saluta tutti per nome e\n"
    "timbra le tessere.\n"
    "D'inverno una vecchia stufa scalda la sala di lettura, mentre fuori la neve\n"
    "cade sul ponte. I bambini sfogliano le fiabe e i nonni leggono il giornale\n"
    "di ieri. Perché no?\n";
constexpr std::string_view kFrenchDos =
    "La bibliothèque au bord de l'eau\n"
    "Chaque mardi, la petite bibliothèque au bord de la rivière ouvre ses portes\n"
    "et les lectrices rapportent des paniers pleins de livres. La bibliothécaire\n"
    "salue chacun par son nom et tamponne les cartes.\n"
    "En hiver, un vieux poêle chauffe la salle de lecture pendant que la neige\n"
    "tombe sur le pont. Les enfants feuillettent des contes et les grands-pères\n"
    "lisent le journal de la veille.\n";

TEST_F(DxFilterWrite, HeadersOfBothProgramsTakeTheFormat) {
    // Bytes may follow the last page the header counts, and that page may be
    // short.
    const std::string de = Sample("de.wri");
    EXPECT_EQ(FormatOf(de + std::string(300, '\0')), DX_FMT_MSWRITE);
    EXPECT_EQ(FormatOf(de.substr(0, de.size() - 100)), DX_FMT_MSWRITE);
}

TEST_F(DxFilterWrite, LookAlikesAreNoDocuments) {
    const std::string de = Sample("de.wri"), fr = Sample("fr-dos.doc");
    const uint32_t pages = static_cast<uint32_t>(de.size() / 128);
    struct {
        std::string bytes;
        const char *what;
    } others[] = {
        {With(de, 0, 0xBE33), "another identification word"},
        {With(de, 2, 1), "a document type"},
        {With(de, 4, 0xAB01), "another tool word"},
        {With(de, 6, 1), "the first reserved word set"},
        {With(de, 12, 0x100), "the last reserved word set"},
        {With(de, 14, 127, 4), "the text ending inside the header"},
        {With(de, 14, static_cast<uint32_t>(de.size()) + 1, 4), "the text ending past the file"},
        {With(de, 14, 0xFFFFFFFF, 4), "the text ending at 4 GiB"},
        {With(de, 18, 2), "the paragraph pages inside the text"},
        {With(de, 18, pages), "the paragraph pages at the page count"},
        {With(de, 96, pages + 1), "a page count past the file"},
        {With(de, 28, pages + 1), "the font table past the page count"},
        {With(de, 20, 1), "the footnote table before the paragraph pages"},
        {With(fr, 106, 0), "Word for DOS without a page count"},
        {With(fr, 106, 0xFFFF), "Word for DOS with 65,535 pages"},
        {de.substr(0, 3 * 128 - 1), "shorter than three pages"},
        {std::string("1\xBE\0\0\0\xAB", 6) + std::string(500, 'a'), "a header over text"},
        {Sample("bad/cut.wri"), "cut inside its text"},
        {Sample("bad/pages.wri"), "its page count past its end"},
        {Sample("bad/huge.doc"), "its text ending at 2 GiB"},
        {Sample("other/tool.wri"), "another tool word (fixture)"},
        {Sample("other/reserved.wri"), "a reserved word set (fixture)"},
        {Sample("other/early.doc"), "its paragraph pages inside its text"},
    };
    for (const auto &o : others) EXPECT_NE(FormatOf(o.bytes), DX_FMT_MSWRITE) << o.what;
    // A table page may be 0 (none), or anywhere from the paragraph pages to
    // the page count.
    EXPECT_EQ(FormatOf(With(de, 20, 0)), DX_FMT_MSWRITE);
    EXPECT_EQ(FormatOf(With(de, 28, pages)), DX_FMT_MSWRITE);
}

TEST_F(DxFilterWrite, DocumentsGiveTheirParagraphsInTheirCodePage) {
    const struct {
        const char *name;
        std::string_view text;
    } samples[] = {
        // Write: code page 1252, a centred bold title, an italic word in
        // the second font of the font table; the same gzipped.
        {"de.wri", kGermanWrite},
        {"de.wri.gz", kGermanWrite},
        // Write with OLE objects' identification, no font table: the
        // default font.
        {"es.wri", kSpanishWrite},
        // Word 5 for DOS naming code page 850; Word 4 naming none (code
        // page 437, which has the German letters at the same bytes).
        {"fr-dos.doc", kFrenchDos},
        {"de-dos.doc", kGermanDos},
        // Pocket Word: code page 1252 with its code bytes escaped (è, ì, é),
        // a bold centred title, an italic word; the same gzipped.
        {"it.psw", kItalianPocket},
        {"it.psw.gz", kItalianPocket},
    };
    for (const auto &s : samples) {
        Extraction r = plugin->Extract(Data(std::string("write/") + s.name));
        EXPECT_TRUE(r.opened && r.openText == 0 && r.readError == 0) << s.name;
        EXPECT_EQ(r.utf8(), s.text) << s.name;
    }
}

TEST_F(DxFilterWrite, DocumentsLibwpsDoesNotReadGiveNoText) {
    // An automatic save of Word for DOS: libwps refuses it when it opens.
    ExpectRefused(Sample("bad/autosave.doc"), "autosave.doc");
    // No paragraph runs: libwps tells once it reads; read text fails.
    Extraction r = Run(Sample("bad/no-runs.wri"));
    EXPECT_TRUE(r.opens == 1 && r.closes == 1);
    EXPECT_TRUE(r.text.empty()) << r.utf8();
    EXPECT_TRUE(r.openText != 0 || r.readError != 0);
}

TEST_F(DxFilterWrite, CutAndDamagedDocumentsAreBounded) {
    // Runs whose ends lie far past the text and the file: the text up to
    // the header's end of the text at most.
    const std::string de = Sample("de.wri"), fr = Sample("fr-dos.doc");
    const size_t runs = static_cast<size_t>(static_cast<unsigned char>(de[18])) * 128;
    for (size_t at = runs + 4; at < runs + 4 + 6 * 3; at += 6)
        ExpectBounded(With(de, at, 0xFFFFFFF0, 4), 1024, "run end at " + std::to_string(at));
    ExpectCutsBounded(de, 7, 1024, "de.wri");
    ExpectCutsBounded(fr, 7, 1024, "fr-dos.doc");
    Mutator m(1985);
    for (const std::string &doc : {de, fr, Sample("es.wri")}) {
        ExpectDamageBounded(m, doc, {.rounds = 60, .most = 8, .cutEvery = 4}, 4096);
        // The header's words alone.
        ExpectDamageBounded(m, doc.substr(0, 128), {.rounds = 20, .most = 4}, 4096, "header");
        ExpectDamageBounded(m, doc, {.rounds = 40, .most = 3, .from = 14}, 4096, "fields");
    }
}

TEST_F(DxFilterWrite, PocketWordHeadersAndZonesTakeTheirFormat) {
    const std::string it = Sample("it.psw");
    EXPECT_EQ(FormatOf(it), DX_FMT_POCKETWORD);
    EXPECT_EQ(FormatOf(With(it, 10, 7)), DX_FMT_POCKETWORD);
    struct {
        std::string bytes;
        const char *what;
    } others[] = {
        {With(it, 10, 5), "version 5"},
        {With(it, 4, 0x16), "another byte after the name"},
        {With(it, 8, 0x102), "another word after the name"},
        {With(it, 18, 0xFFFF), "the font zone longer than the file"},
        {it.substr(0, 0x73), "shorter than the header and a font"},
        {std::string("{\\pwi") + std::string(200, 'a'), "the name over text"},
        {Sample("bad/cut.psw"), "cut inside its last zone"},
        {Sample("other/version.psw"), "version 8"},
    };
    for (const auto &o : others) EXPECT_NE(FormatOf(o.bytes), DX_FMT_POCKETWORD) << o.what;
}

TEST_F(DxFilterWrite, PocketWordWithoutParagraphListOrDamagedIsBounded) {
    // No paragraph list: libwps sends no paragraph.
    Extraction r = Run(Sample("bad/no-list.psw"));
    EXPECT_TRUE(r.opens == 1 && r.closes == 1);
    EXPECT_TRUE(r.text.empty()) << r.utf8();
    const std::string it = Sample("it.psw");
    ExpectCutsBounded(it, 5, 1024, "it.psw");
    Mutator m(2000);
    ExpectDamageBounded(m, it, {.rounds = 80, .most = 8, .from = 14, .cutEvery = 4}, 4096);
}

}  // namespace
