// Lotus 1-2-3, Quattro Pro and Microsoft Works files through the filter
// plug-in (dxfilter_works.so, libwps): the format rules for their first
// records, for Works compound files and for Works for DOS documents, the
// text of the fixtures (sheets and word processor documents,
// scripts/make_works_fixtures.py) and of sheets built here, and what
// happens to protected, unknown, cut and mutated files.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "dxfilter_ole_writer.h"
#include "dxfilter_test_support.h"

namespace {

using namespace dxfilter_test;
using dxfilter_ole::BuildCompoundFile;
using dxfilter_ole::Placement;

std::string Record(uint16_t type, std::string_view data) {
    std::string r;
    dxfilter_ole::put16(r, 0, type);
    dxfilter_ole::put16(r, 2, static_cast<uint16_t>(data.size()));
    return r + std::string(data);
}

std::string Word(uint16_t v) {
    std::string s;
    dxfilter_ole::put16(s, 0, v);
    return s;
}

// A Lotus 1-2-3 label cell: format, column, row, alignment prefix, the
// label's bytes and a zero byte.
std::string Label(uint16_t col, uint16_t row, std::string_view text) {
    return Record(0x0F, "\xFF" + Word(col) + Word(row) + "'" + std::string(text) + '\0');
}

// A worksheet: the beginning-of-file record (type bytes `first`, version
// word), the active range, calculation mode and order, `cells`, the
// end-of-file record.
std::string Sheet(const std::string &cells, uint16_t version = 0x0406,
                  std::string_view first = std::string_view("\0\0", 2)) {
    return std::string(first) + Word(2) + Word(version) + Record(0x06, std::string(8, '\0')) +
           Record(0x02, "\xFF") + Record(0x03, std::string(1, '\0')) + cells + Record(0x01, "");
}

// The `MN0` stream of works/de.wps. The fixture script stores it alone in
// the compound file's mini stream, whose sectors follow one another from
// the file's second sector on; the stream's header tells its length (at
// 0x2A).
std::string WorksStream(const std::string &file) {
    const size_t at = file.find("\x06\xFE\x75\x53");
    if (at == std::string::npos || at + 0x2E > file.size()) return {};
    const auto *p = reinterpret_cast<const unsigned char *>(file.data() + at + 0x2A);
    return file.substr(at, p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
}

class DxFilterWorks : public OleReaderTest {
  protected:
    DxFilterWorks() : OleReaderTest("d.wk1") {}
    static std::string Sample(const std::string &name) { return Bytes("works/" + name); }
};

TEST_F(DxFilterWorks, FirstRecordsOfEachProgramTakeTheSheetFormat) {
    const std::string cell = Label(0, 0, "Markt");
    struct {
        std::string_view first;
        uint16_t version;
    } known[] = {
        {{"\0\0", 2}, 0x0404},     {{"\0\0", 2}, 0x0405},     {{"\0\0", 2}, 0x0406},
        {{"\0\0", 2}, 0x5120},     {{"\0\0", 2}, 0x5121},     {{"\0\0", 2}, 0x1001},
        {{"\0\0", 2}, 0x1002},     {{"\0\0", 2}, 0x1007},     {{"\xFF\0", 2}, 0x0404},
        {{"\x20\x54", 2}, 0x0000}, {{"\xFF\x54", 2}, 0x0000},
    };
    for (const auto &k : known)
        EXPECT_EQ(FormatOf(Sheet(cell, k.version, k.first)), DX_FMT_WORKS_SHEET) << k.version;
    // Lotus 1-2-3 release 3 and later: a 26-byte first record.
    for (uint16_t version = 0x1000; version <= 0x1005; ++version)
        EXPECT_EQ(FormatOf(Record(0, Word(version) + std::string(24, '\0')) + Record(1, "")),
                  DX_FMT_WORKS_SHEET)
            << version;
}

TEST_F(DxFilterWorks, LookAlikesAreNoSheets) {
    // The sheet rule is the one rule these bytes meet first: what it does
    // not take keeps the answer it had before.
    const std::string sheet = Sheet(Label(0, 0, "Markt"));
    struct {
        std::string bytes;
        const char *what;
    } others[] = {
        {Sheet("", 0x0407), "a version no program writes"},
        {Sheet("", 0x0404, std::string_view("\xFF\x54", 2)), "a database with a version"},
        {Sheet("", 0x0000, std::string_view("\x20\x00", 2)), "other type bytes"},
        {Record(0, Word(0x1006) + std::string(24, '\0')) + Record(1, ""), "release 3, later"},
        {Record(0, Word(0x0406) + std::string(24, '\0')) + Record(1, ""), "release 2, long"},
        {sheet.substr(0, 6) + Record(0x06, "").substr(0, 2) + "\xF0\xFF",
         "a second record past the end"},
        {sheet.substr(0, 11), "shorter than a cell"},
    };
    for (const auto &o : others) EXPECT_NE(FormatOf(o.bytes), DX_FMT_WORKS_SHEET) << o.what;
}

TEST_F(DxFilterWorks, WorksCompoundFilesAreToldByTheirStreams) {
    const auto sectors = [](std::string_view) { return Placement::kPadded; };
    const auto mini = [](std::string_view) { return Placement::kMini; };
    const std::string chunks = "CHNKWKS" + std::string(64, '\x01');
    EXPECT_EQ(FormatOf(BuildCompoundFile({{"MN0", "x"}}, mini)), DX_FMT_WORKS);
    EXPECT_EQ(FormatOf(BuildCompoundFile({{"CONTENTS", chunks}}, sectors)), DX_FMT_WORKS);
    EXPECT_EQ(FormatOf(BuildCompoundFile({{"CONTENTS", "CHNKINK" + chunks}}, sectors)),
              DX_FMT_WORKS);
    // A CONTENTS stream is any program's: only the chunk index tells Works,
    // and only when it is read with one sector read.
    EXPECT_EQ(FormatOf(BuildCompoundFile({{"CONTENTS", "Quill" + chunks}}, sectors)), DX_FMT_OLE);
    EXPECT_EQ(FormatOf(BuildCompoundFile({{"CONTENTS", chunks}}, mini)), DX_FMT_OLE);
    // Office streams win.
    EXPECT_EQ(FormatOf(BuildCompoundFile({{"MN0", "x"}, {"WordDocument", "x"}}, mini)), DX_FMT_DOC);
}

TEST_F(DxFilterWorks, SheetsGiveTheirCellsRowByRowInTheirCodePage) {
    // Code page 850 labels (the DOS programs' own) come out as UTF-8;
    // cells are separated by a space, rows end a line; numbers are kept.
    // (The sink wraps a row longer than 72 characters at a space.)
    EXPECT_EQ(Text(Sample("de.wk1")),
              "Der Wochenmarkt Samstag 1994\n"
              "Auf dem Marktplatz verkaufen die Bäuerinnen Äpfel, Käse und frische Kräuter.\n"
              "Die Kinder laufen zwischen den Ständen und probieren süße Birnen.\n"
              "Gegen Mittag räumen die Händler ihre Tische und fahren über die Brücke heim.\n");
    EXPECT_EQ(Text(Sample("fr.wks")),
              "Le marché du samedi Printemps\n"
              "Sur la place, les fermières vendent des pommes, du fromage et des herbes\n"
              "fraîches. Les enfants courent entre les étals et goûtent les poires sucrées.\n"
              "Vers midi, les marchands rangent leurs tables et rentrent à la ferme.\n");
    EXPECT_EQ(Text(Sample("es.wq1")),
              "El mercado del sábado Primavera\n"
              "En la plaza, las campesinas venden manzanas, queso y hierbas frescas. Los\n"
              "niños corren entre los puestos y prueban las peras dulces.\n"
              "Al mediodía, los comerciantes recogen sus mesas y vuelven al pueblo.\n");
}

TEST_F(DxFilterWorks, SheetsWithoutCellsAreEmpty) {
    Extraction r = Run(Sample("empty.wk1"));
    EXPECT_TRUE(r.opened && r.openText == 0 && r.readError == 0);
    EXPECT_TRUE(r.text.empty()) << r.utf8();
}

TEST_F(DxFilterWorks, ProtectedAndUnknownFilesAreRefused) {
    for (const char *name : {"bad/password.wk1", "bad/release3.wk3", "bad/mn0.wps"})
        ExpectRefused(Sample(name), name);
}

TEST_F(DxFilterWorks, CutSheetsGiveTheRowsBeforeTheCut) {
    EXPECT_EQ(Text(Sample("bad/cut.wk1")), "Der Wochenmarkt Samstag 1994\n");
    // Every cut is bounded and balanced.
    ExpectCutsBounded(Sample("de.wk1"), 3, 400);
}

TEST_F(DxFilterWorks, LongSheetsStopAtTheTextCap) {
    // 1.6 M characters in 8,000 labels of 200: beyond the sink's cap.
    std::string cells;
    const std::string label(194, 'x');
    for (uint16_t row = 0; row < 4000; ++row)
        cells += Label(0, row, "Markt " + label) + Label(1, row, "Brot " + label);
    Extraction r = Run(Sheet(cells));
    ASSERT_TRUE(r.opened && r.openText == 0) << r.readError;
    EXPECT_EQ(r.readError, 0);
    EXPECT_GE(r.text.size(), kTextCap - 400);
    EXPECT_LE(r.text.size(), kTextCap);
    EXPECT_EQ(r.utf8().rfind("Markt x", 0), 0u);
}

// works/de.wps and works/fr.wps as the sink gives them (lines wrapped at 72
// characters).
constexpr std::string_view kGermanDocument =
    "Ein Herbsttag an der Fähre\n"
    "Am frühen Morgen liegt Nebel über den Wiesen, und die Fähre wartet still\n"
    "am Ufer. Der Fährmann öffnet die Tür seines Häuschens, grüßt die ersten Pendler\n"
    "und zählt die Münzen für die Überfahrt.\n"
    "Gegen Mittag wird es wärmer. Kinder werfen flache Steine ins Wasser, während\n"
    "ihre Großmütter auf der Bank sitzen und über das Wetter, die Äpfel im Garten\n"
    "und die nächste Woche sprechen. „Morgen regnet es“, sagt eine von ihnen,\n"
    "und alle nicken.\n";
constexpr std::string_view kFrenchDocument =
    "Un jour d’automne au bac\n"
    "Le matin, la brume couvre les prés et le bac attend en silence près de la\n"
    "rive. Le passeur ouvre la porte de sa cabane, salue les premiers voyageurs\n"
    "et compte les pièces de la traversée.\n"
    "Vers midi, il fait plus chaud. Les enfants lancent des galets dans l’eau\n"
    "pendant que leurs grands-mères, assises sur le banc, parlent du temps, des\n"
    "pommes du verger et de la semaine à venir. « Demain il pleuvra », dit l’une\n"
    "d’elles, et toutes hochent la tête ; même le chœur des oiseaux se tait.\n";

constexpr std::string_view kDosDocument =
    "Une matinée au marché\n"
    "Le samedi, les maraîchers arrivent avant l'aube et dressent leurs étals devant\n"
    "la mairie. On y trouve des légumes frais, du miel, des fromages de chèvre\n"
    "et des fleurs coupées.\n"
    "Vers dix heures, la place est pleine : les enfants goûtent les fraises, les\n"
    "voisins échangent les nouvelles du quartier et le boulanger vend ses dernières\n"
    "baguettes.\n";

TEST_F(DxFilterWorks, DocumentsGiveTheirParagraphsInOrder) {
    // Works 4: code page 1252 text (the German quotation marks are not in
    // Latin-1) in runs of bold, italic and plain characters.
    const std::string de = Sample("de.wps");
    EXPECT_EQ(Text(de), kGermanDocument);
    // The same stream under a Works 3 header reads alike.
    std::string works3 = de;
    const size_t version = works3.find("\x06\xFE\x75\x53");
    ASSERT_NE(version, std::string::npos);
    works3.replace(version, 4, "\x04\xFE\x27\x4E");
    EXPECT_EQ(Text(works3), kGermanDocument);
    // Works 8: UTF-16 text (the curly apostrophe, the ligature œ).
    EXPECT_EQ(Text(Sample("fr.wps")), kFrenchDocument);
    EXPECT_EQ(FormatOf(de), DX_FMT_WORKS);
}

TEST_F(DxFilterWorks, DocumentsCutInsideTheirTextGiveNone) {
    // libwps reads a Works 4 document's tables before its first paragraph:
    // a stream cut inside the text gives no text, one cut after it (the
    // property pages and font names lost) all of it, in the default font.
    // libwps tells the damage once it reads: read text fails.
    Extraction cut = Run(Sample("bad/cut.wps"));
    EXPECT_TRUE(cut.opened && cut.openText == 0) << cut.openText;
    EXPECT_NE(cut.readError, 0);
    EXPECT_TRUE(cut.text.empty()) << cut.utf8();
    EXPECT_EQ(Text(Sample("bad/bare.wps")), kGermanDocument);
    const std::string mn0 = WorksStream(Sample("de.wps"));
    ASSERT_GT(mn0.size(), 0x100u);
    const size_t textEnd =
        static_cast<unsigned char>(mn0[0x26]) | static_cast<unsigned char>(mn0[0x27]) << 8;
    const auto mini = [](std::string_view) { return Placement::kMini; };
    for (size_t cut = 0; cut <= mn0.size(); cut += 11) {
        Extraction r =
            Run(BuildCompoundFile({{"MN0", std::string_view(mn0).substr(0, cut)}}, mini));
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << cut;
        if (cut < textEnd)
            EXPECT_TRUE(r.text.empty()) << cut << " " << r.utf8();
        else
            EXPECT_EQ(r.utf8(), kGermanDocument) << cut;
    }
    // Cuts of the files themselves: every one bounded and balanced.
    for (const char *name : {"de.wps", "fr.wps"}) ExpectCutsBounded(Sample(name), 97, 1024, name);
}

TEST_F(DxFilterWorks, DosDocumentsAreReadOutsideACompoundFile) {
    // The stream of a Works 4 document as a file of its own: Works for DOS
    // (version byte 1, code page 850) and Works 3 for Windows (4, code page
    // 1252).
    const std::string dos = Sample("dos-fr.wps");
    EXPECT_EQ(FormatOf(dos), DX_FMT_WORKS);
    EXPECT_EQ(Text(dos), kDosDocument);
    EXPECT_EQ(Text(Sample("win3-de.wps")), kGermanDocument);
    // Cut after its text: all of it, in the default font.
    EXPECT_EQ(Text(Sample("bad/dos-bare.wps")), kDosDocument);
    // Every cut and mutation is bounded and balanced; a cut inside the text
    // leaves a header that names text beyond the file: no Works document.
    ExpectCutsBounded(dos, 13, 1024);
    Mutator m(1989);
    ExpectDamageBounded(m, dos, {.rounds = 60, .most = 8, .cutEvery = 4}, 4096);
}

TEST_F(DxFilterWorks, DosLookAlikesAreNoDocuments) {
    const std::string dos = Sample("dos-fr.wps");
    const auto with = [&dos](size_t at, std::string_view bytes) {
        std::string changed = dos;
        changed.replace(at, bytes.size(), bytes);
        return changed;
    };
    struct {
        std::string bytes;
        const char *what;
    } others[] = {
        {with(0, "\x06"), "the version byte of Works 4 (a compound file's stream)"},
        {with(0, "\x02"), "a version byte no Works writes"},
        {with(1, "\xFD"), "no 0xFE"},
        {with(0x26, std::string_view("\xFF\x00\x00\x00", 4)), "the text ending inside the header"},
        {with(0x1E, std::string_view("\x00\x00\x01\x00", 4)), "a limit past the file's end"},
        {with(0x1A, std::string_view("\x00\x00\x01\x00", 4)), "the header beginning past it"},
        {dos.substr(0, 0xFF), "shorter than the header"},
        {Sample("bad/dos-cut.wps"), "cut inside its text"},
        {Sample("other/limits.wps"), "its text ending past the file's end"},
    };
    for (const auto &o : others) EXPECT_NE(FormatOf(o.bytes), DX_FMT_WORKS) << o.what;
    // All ones for a header or footer that is not there.
    EXPECT_EQ(FormatOf(with(0x1E, std::string_view("\xFF\xFF\xFF\xFF", 4))), DX_FMT_WORKS);
}

TEST_F(DxFilterWorks, MutatedFilesNeverBreakThePlugin) {
    Mutator m(2024);
    for (const char *name : {"de.wk1", "es.wq1", "bad/mn0.wps", "de.wps", "fr.wps"})
        ExpectDamageBounded(m, Sample(name), {.rounds = 60, .most = 8, .cutEvery = 4}, 4096, name);
}

}  // namespace
