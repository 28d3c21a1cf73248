// Excel binary workbooks (XLSB): the record splitter and the cell records
// (xlsb.h) on bytes built here, and whole workbooks through the filter
// plug-in (dxfilter_office.so): the samples scripts/make_xlsb_fixtures.js
// writes with SheetJS, whose text must be what SheetJS reads back from them,
// packages built here, and what cut, damaged and hostile parts give.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "doctype/dx_abi.h"
#include "dxfilter_test_support.h"
#include "dxfilter_zip_writer.h"
#include "filters/dxfilter/xlsb.h"

namespace {

using namespace dxfilter_test;
namespace xlsb = dxf::xlsb;

// ---- writing records --------------------------------------------------------------

// `value` seven bits a byte, the high bit on every byte but the last.
std::string Varint(uint32_t value) {
    std::string out;
    do {
        const auto low = static_cast<char>(value & 0x7F);
        value >>= 7;
        out += value ? static_cast<char>(low | 0x80) : low;
    } while (value);
    return out;
}

std::string U32(uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
            static_cast<char>(v >> 24)};
}

std::string Rec(uint32_t type, const std::string &body) {
    return Varint(type) + Varint(static_cast<uint32_t>(body.size())) + body;
}

// A string: its count of UTF-16 units and the units.
std::string Wide(std::u16string_view units) {
    std::string out = U32(static_cast<uint32_t>(units.size()));
    for (char16_t u : units) out += {static_cast<char>(u), static_cast<char>(u >> 8)};
    return out;
}

std::string Cell(uint32_t column) {
    return U32(column) + U32(0);
}

std::string Zeros(size_t n) {
    return std::string(n, '\0');
}

std::string Own(std::u16string_view text) {
    return Rec(xlsb::kCellString, Cell(0) + Wide(text));
}
std::string Shared(uint32_t n) {
    return Rec(xlsb::kCellSharedString, Cell(0) + U32(n));
}
std::string Item(std::u16string_view text) {
    return Rec(xlsb::kSharedStringItem, Zeros(1) + Wide(text));
}
std::string Number() {
    return Rec(5, Cell(1) + Zeros(8));
}

// The records of `bytes` pushed in pieces of `piece` bytes (of odd types
// only, when `odd`).
std::vector<std::pair<uint32_t, std::string>> Split(const std::string &bytes, size_t piece,
                                                    dxf::Biff12Records *records = nullptr,
                                                    bool odd = false) {
    dxf::Biff12Records own;
    dxf::Biff12Records &r = records ? *records : own;
    std::vector<std::pair<uint32_t, std::string>> out;
    for (size_t at = 0; at < bytes.size(); at += piece)
        r.Push(
            std::string_view(bytes).substr(at, piece),
            [&](uint32_t type, std::string_view body) {
                out.emplace_back(type, std::string(body));
                return true;
            },
            [&](uint32_t type) { return !odd || type % 2 == 1; });
    return out;
}

// ---- the record splitter ----------------------------------------------------------

TEST(Biff12Records, HeadersOfEveryLengthInPiecesOfAnySize) {
    const std::string big(300, 'x');  // a size of two bytes
    const std::string bytes = Rec(0, "") + Rec(0x7F, "a") + Rec(0x80, "bc") + Rec(0x3FFF, big) +
                              Rec(19, std::string(20000, 'y'));  // a size of three bytes
    const std::vector<std::pair<uint32_t, std::string>> want = {
        {0, ""}, {0x7F, "a"}, {0x80, "bc"}, {0x3FFF, big}, {19, std::string(20000, 'y')}};
    const std::vector<std::pair<uint32_t, std::string>> odd = {
        {0x7F, "a"}, {0x3FFF, big}, {19, std::string(20000, 'y')}};
    for (size_t piece : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{4096}, bytes.size()}) {
        dxf::Biff12Records r, s;
        EXPECT_EQ(Split(bytes, piece, &r), want) << "pieces of " << piece;
        EXPECT_TRUE(r.between());
        EXPECT_FALSE(r.damaged());
        // Records of types not wanted are passed over, short or long.
        EXPECT_EQ(Split(bytes + Rec(2, "zz"), piece, &s, true), odd) << "pieces of " << piece;
        EXPECT_TRUE(s.between());
    }
}

TEST(Biff12Records, DamagedCutAndOverlongRecords) {
    struct Case {
        const char *what;
        std::string bytes;
        std::vector<uint32_t> types;  // of the records given
        bool damaged, between;
    };
    const std::string huge = Varint(6) + "\xFF\xFF\xFF\x7F";  // 256 MiB
    const Case cases[] = {
        {"type of three bytes", Rec(1, "") + "\x81\x81\x01\x00" + Rec(2, ""), {1}, true, false},
        {"size of five bytes",
         Rec(1, "") + "\x01\x80\x80\x80\x80\x01" + Rec(2, ""),
         {1},
         true,
         false},
        {"cut in a header", Rec(1, "") + "\x81", {1}, false, false},
        {"cut in a body", Rec(1, "") + Varint(2) + Varint(10) + "abc", {1}, false, false},
        {"body beyond the stream", Rec(1, "") + huge + "abc", {1}, false, false},
        {"overlong body passed over",
         Rec(1, "") + Varint(2) + Varint(dxf::Biff12Records::kMaxBody + 1) +
             std::string(dxf::Biff12Records::kMaxBody + 1, 'z') + Rec(3, "ok"),
         {1, 3},
         false,
         true},
    };
    for (const Case &c : cases) {
        for (size_t piece : {size_t{1}, size_t{5}, size_t{1} << 16}) {
            dxf::Biff12Records r;
            std::vector<uint32_t> types;
            for (const auto &rec : Split(c.bytes, piece, &r)) types.push_back(rec.first);
            EXPECT_EQ(types, c.types) << c.what;
            EXPECT_EQ(r.damaged(), c.damaged) << c.what;
            EXPECT_EQ(r.between(), c.between) << c.what;
        }
    }
}

TEST(Biff12Records, ARecordThatAnswersFalseEndsTheStream) {
    dxf::Biff12Records r;
    int seen = 0;
    r.Push(Rec(1, "") + Rec(2, "") + Rec(3, ""),
           [&](uint32_t, std::string_view) { return ++seen < 2; });
    r.Push(Rec(4, ""), [&](uint32_t, std::string_view) {
        ++seen;
        return true;
    });
    EXPECT_EQ(seen, 2);
}

// ---- strings and cells ------------------------------------------------------------

TEST(XlsbRecords, StringsAreBoundByTheirRecord) {
    size_t next = 0;
    EXPECT_EQ(dxf::Biff12String("xx" + Wide(u"Straße") + "tail", 2, 100, &next), "Straße");
    EXPECT_EQ(next, 2 + 4 + 12u);
    EXPECT_EQ(dxf::Biff12String(Wide(u""), 0, 100), "");
    // Counts past the body, a count cut, an offset past the body.
    EXPECT_FALSE(dxf::Biff12String(U32(4) + "a\0b\0c\0", 0, 100));
    EXPECT_FALSE(dxf::Biff12String(U32(0xFFFFFFFF) + "a\0", 0, 100));
    EXPECT_FALSE(dxf::Biff12String("\x01\x00", 0, 100));
    EXPECT_FALSE(dxf::Biff12String(Wide(u"a"), 7, 100));
    // Pairs join; lone surrogates stand as U+FFFD.
    EXPECT_EQ(dxf::Biff12String(Wide(u"\U0001F600x"), 0, 100), "\xF0\x9F\x98\x80x");
    EXPECT_EQ(dxf::Biff12String(Wide(std::u16string{0xD800, u'a', 0xDC00}), 0, 100),
              "\xEF\xBF\xBD"
              "a"
              "\xEF\xBF\xBD");
    // A cap cuts at a character.
    EXPECT_EQ(dxf::Biff12String(Wide(u"aäb"), 0, 2), "a");
    EXPECT_EQ(dxf::Biff12String(Wide(u"aäb"), 0, 3), "aä");
}

TEST(XlsbRecords, CellsOfEveryStringRecord) {
    using Kind = dxf::XlsbCell::Kind;
    const std::string runs = U32(0) + U32(0);
    struct Case {
        uint32_t type;
        std::string body;
        Kind kind;
        std::string text;
        uint32_t shared;
    };
    const Case cases[] = {
        {xlsb::kCellString, Cell(3) + Wide(u"eigen"), Kind::kText, "eigen", 0},
        {xlsb::kFormulaString, Cell(0) + Wide(u"Formel") + Zeros(2) + U32(0) + U32(0), Kind::kText,
         "Formel", 0},
        {xlsb::kCellRichString, Cell(0) + "\x01" + Wide(u"reich") + runs, Kind::kText, "reich", 0},
        {xlsb::kShortCellString, U32(0) + Wide(u"kurz"), Kind::kText, "kurz", 0},
        {xlsb::kCellSharedString, Cell(0) + U32(42), Kind::kShared, "", 42},
        {xlsb::kShortCellShared, U32(0) + U32(7), Kind::kShared, "", 7},
        // Numbers, cut records and strings past their record give nothing.
        {5, Cell(0) + Zeros(8), Kind::kNone, "", 0},
        {xlsb::kCellString, Cell(0), Kind::kNone, "", 0},
        {xlsb::kCellString, Cell(0) + U32(9) + "ab", Kind::kNone, "", 0},
        {xlsb::kCellSharedString, Cell(0) + "\x01\x02", Kind::kNone, "", 0},
        {xlsb::kShortCellShared, "", Kind::kNone, "", 0},
    };
    for (const Case &c : cases) {
        const dxf::XlsbCell cell = dxf::XlsbCellOf(c.type, c.body, 1024);
        EXPECT_EQ(cell.kind, c.kind) << c.type;
        EXPECT_EQ(cell.text, c.text) << c.type;
        EXPECT_EQ(cell.shared, c.shared) << c.type;
    }
    EXPECT_EQ(dxf::XlsbSharedItem("\x03" + Wide(u"geteilt") + runs, 100), "geteilt");
    EXPECT_FALSE(dxf::XlsbSharedItem("", 100));
    EXPECT_EQ(dxf::XlsbSheetRelationship(U32(0) + U32(1) + Wide(u"rId7") + Wide(u"Blatt")), "rId7");
    EXPECT_EQ(dxf::XlsbSheetRelationship(U32(0) + U32(1) + U32(0xFFFFFFFF) + Wide(u"B")), "");
}

// ---- workbooks through the plug-in ------------------------------------------------

// Whitespace runs as one space, none at the ends: the sink wraps long lines.
std::string Words(const std::string &text) {
    std::string out;
    for (char c : text) {
        const bool space = c == ' ' || c == '\n' || c == '\r' || c == '\t';
        if (!space)
            out += c;
        else if (!out.empty() && out.back() != ' ')
            out += ' ';
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

// One sheet of a package: the number of its part (sheetN.bin) and its records.
struct Sheet {
    int number;
    std::string records;
};

// An XLSB package of stored parts whose workbook lists `sheets` in their
// order (with `listed` false, none: the workbook has no sheet records).
std::string Package(const std::vector<Sheet> &sheets, const std::string &shared,
                    bool listed = true) {
    std::string book = Rec(131, "") + Rec(143, "");
    std::string rels = "<Relationships>";
    std::vector<std::pair<std::string, std::string>> parts = {{"[Content_Types].xml", "<Types/>"}};
    for (const Sheet &sheet : sheets) {
        const std::string n = std::to_string(sheet.number);
        const std::string name = "worksheets/sheet" + n + ".bin";
        if (listed)
            book += Rec(xlsb::kSheetBundle, U32(0) + U32(sheet.number) +
                                                Wide(u"rId" + std::u16string(n.begin(), n.end())) +
                                                Wide(u"S"));
        rels += "<Relationship Id=\"rId" + n + "\" Target=\"" + name + "\"/>";
        parts.emplace_back("xl/" + name, sheet.records);
    }
    book += Rec(144, "") + Rec(132, "");
    rels += "</Relationships>";
    parts.emplace_back("xl/workbook.bin", book);
    parts.emplace_back("xl/_rels/workbook.bin.rels", rels);
    if (!shared.empty()) parts.emplace_back("xl/sharedStrings.bin", shared);
    return dxfilter_zip::StoredZip(parts);
}

class XlsbWorkbook : public OleReaderTest {
  protected:
    XlsbWorkbook() : OleReaderTest("book.xlsb") {}
};

TEST_F(XlsbWorkbook, SamplesGiveTheTextSheetJsReadsBack) {
    for (const char *file : {"xlsb/de.xlsb", "xlsb/fr.xlsb", "xlsb/es-mixed.xlsb"}) {
        Extraction r = plugin->Extract(Data(file));
        ASSERT_TRUE(r.opened && r.openText == 0 && r.readError == 0) << file;
        EXPECT_EQ(Words(r.utf8()), Words(Bytes(std::string(file) + ".txt"))) << file;
        EXPECT_TRUE(recognisable_as_utf16(r.text)) << file;
    }
}

TEST_F(XlsbWorkbook, DamagedSamplesKeepTheCellsBeforeTheDamage) {
    struct Case {
        const char *file;
        const char *text;  // the second sheet's
    };
    const Case cases[] = {
        // cut inside the formula's string: the string is dropped, not cut
        {"xlsb/bad/cut-part.xlsb",
         "Los niños compran caramelos con las monedas de sus abuelos. "
         "Por la tarde el panadero cierra su tienda y vuelve a casa."},
        {"xlsb/bad/counts.xlsb",
         "Antes del daño la hoja se lee entera. Después del daño la lectura sigue."},
        {"xlsb/bad/huge.xlsb", "Antes del daño la hoja se lee entera."},
        {"xlsb/bad/header.xlsb", "Antes del daño la hoja se lee entera."},
        {"xlsb/bad/bomb.xlsb",
         "Antes del daño la hoja se lee entera. Después del daño la lectura sigue."},
    };
    // The first sheet's two lines, sound in every sample.
    const std::string mixed = Bytes("xlsb/es-mixed.xlsb.txt");
    const std::string first = Words(mixed.substr(0, mixed.find('\n', mixed.find('\n') + 1)));
    for (const Case &c : cases) {
        EXPECT_EQ(plugin->Format(Data(c.file)), DX_FMT_XLSX) << c.file;
        Extraction r = plugin->Extract(Data(c.file));
        ASSERT_TRUE(r.opened && r.openText == 0 && r.readError == 0) << c.file;
        const std::string want = first + " " + c.text;
        EXPECT_EQ(Words(r.utf8()), want) << c.file;
    }
    // A cut archive is no package; its text is refused.
    EXPECT_NE(plugin->Extract(Data("xlsb/bad/cut.xlsb")).openText, 0);
}

TEST_F(XlsbWorkbook, SheetsInWorkbookOrderWithSharedAndOwnStrings) {
    const std::string shared =
        Rec(159, U32(3) + U32(3)) + Item(u"null") + Item(u"eins") + Item(u"zwei") + Rec(160, "");
    const std::string a = Shared(2) + Number() + Own(u"eigen") + Shared(99) + Shared(0);
    const std::string b = Own(u"zweites Blatt");
    // The workbook lists the second part first.
    EXPECT_EQ(Words(Text(Package({{2, b}, {1, a}}, shared))), "zweites Blatt zwei eigen null");
    // Without a list, the parts in the order of their numbers.
    EXPECT_EQ(Words(Text(Package({{2, b}, {1, a}}, shared, false))),
              "zwei eigen null zweites Blatt");
    // Without shared strings, the cells that name them stay empty.
    EXPECT_EQ(Words(Text(Package({{1, a}}, ""))), "eigen");
    // A workbook without sheets opens as an empty text.
    EXPECT_EQ(Text(Package({}, "")), "");
}

TEST_F(XlsbWorkbook, CutAndDamagedPartsStayBounded) {
    std::string sheet;
    for (int i = 0; i < 40; ++i) sheet += Own(u"Zeile mit etwas Text") + Shared(i % 3) + Number();
    const std::string shared =
        Rec(159, U32(3) + U32(3)) + Item(u"null") + Item(u"eins") + Item(u"zwei") + Rec(160, "");
    const std::string book = Package({{1, sheet}}, shared);
    const size_t parts = book.find("Zeile") - 100;
    ExpectCutsBounded(book, 97, 4000, "package");
    Mutator m(20261208);
    ExpectDamageBounded(m, book, {120, 6, parts, 10}, 4000, "package");
    // Each cell of a cut sheet that is whole comes out, none after the cut.
    for (size_t cut = 0; cut < sheet.size(); cut += 13) {
        const std::string text = Text(Package({{1, sheet.substr(0, cut)}}, shared));
        EXPECT_LE(text.size(), 40u * 30) << cut;
    }
}

TEST_F(XlsbWorkbook, HostileCountsAndSizes) {
    const std::string shared = Rec(159, U32(1) + U32(1)) + Item(u"eins") +
                               // an item whose count runs past it, another past the part
                               Rec(xlsb::kSharedStringItem, Zeros(1) + U32(0x7FFFFFFF) + "ab") +
                               Item(u"drei") + Varint(19) + "\xFF\xFF\xFF\x7F" + Zeros(1);
    const std::string sheet = Shared(0) + Shared(1) + Shared(2) + Shared(3) +
                              Rec(xlsb::kCellString, Cell(0) + U32(0xFFFFFFFF) + "xy") +
                              Own(u"Ende");
    // The damaged item keeps its place: "drei" is still the third string.
    EXPECT_EQ(Words(Text(Package({{1, sheet}}, shared))), "eins drei Ende");
    // Many empty records: the part is read to its end in its time.
    const std::string many = Own(u"vorher") + std::string(8u << 20, '\0') + Own(u"nachher");
    EXPECT_EQ(Words(Text(Package({{1, many}}, ""))), "vorher nachher");
}

}  // namespace
