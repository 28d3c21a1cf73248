// Excel 97-2003 and Excel 5/95 workbooks through the filter plug-in
// (dxfilter_msdoc.so): the text of workbooks gnumeric wrote, and of
// workbooks built here record by record to reach the rest of the format
// (strings split over CONTINUE records, rich and phonetic strings, Excel 95
// code pages, charts inside sheets) and to damage them; Excel 2.x, 3.0 and
// 4.0 files, which are no compound files, built the same way.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dxfilter_ole_writer.h"
#include "dxfilter_test_support.h"

namespace {

using namespace dxfilter_test;
using namespace dxfilter_ole;
using pipeline_test::Utf16;

std::string Record(uint16_t type, const std::string &body) {
    std::string r;
    put16(r, 0, type), put16(r, 2, static_cast<uint16_t>(body.size()));
    return r + body;
}
std::string Bof(uint16_t version, uint16_t type) {
    std::string b;
    put16(b, 0, version), put16(b, 2, type), put16(b, 4, 0x0DBB), put16(b, 6, 1996);
    if (version == 0x0600) b.resize(16);
    return Record(0x0809, b);
}
const std::string kEof = Record(0x000A, "");

// A cell's row, column and format.
std::string Cell(uint16_t row, uint16_t col) {
    std::string b;
    put16(b, 0, row), put16(b, 2, col), put16(b, 4, 15);
    return b;
}
// A BIFF8 string: character count, flags, characters (8-bit or UTF-16).
std::string Str(std::u16string_view text, bool wide) {
    std::string b;
    put16(b, 0, static_cast<uint16_t>(text.size()));
    b += wide ? '\x01' : '\x00';
    if (wide) return b + Utf16(text);
    for (char16_t c : text) b += static_cast<char>(c);
    return b;
}
std::string LabelSst(uint16_t row, uint32_t index) {
    std::string b = Cell(row, 0);
    put32(b, 6, index);
    return Record(0x00FD, b);
}
std::string Number(uint16_t row) {
    return Record(0x0203, Cell(row, 1) + std::string("\0\0\0\0\0\0\x45\x40", 8));
}
// A string cell of Excel 3.0 to 95 (`type` 0x0204, or 0x00D6 with rich text
// runs after it): a 16-bit count and the bytes of the code page.
std::string ByteLabel(uint16_t row, const std::string &bytes, uint16_t type = 0x0204) {
    std::string b = Cell(row, 0);
    put16(b, 6, static_cast<uint16_t>(bytes.size()));
    return Record(type, b + bytes + (type == 0x00D6 ? std::string("\x01\0\0\0\x05\0", 6) : ""));
}

// An SST record and its CONTINUE records from the bytes of each: the table's
// counts are put in front of the first.
std::string Sst(uint32_t unique, std::vector<std::string> parts) {
    std::string head;
    put32(head, 0, unique), put32(head, 4, unique);
    std::string out = Record(0x00FC, head + parts[0]);
    for (size_t i = 1; i < parts.size(); ++i) out += Record(0x003C, parts[i]);
    return out;
}

struct Workbook {
    uint16_t version = 0x0600;
    std::string globals;              // records after the BOF
    std::vector<std::string> sheets;  // records of each worksheet
    std::string streamName = "Workbook";

    std::string Stream() const {
        std::string s = Bof(version, 0x0005) + globals + kEof;
        for (const std::string &sheet : sheets) s += Bof(version, 0x0010) + sheet + kEof;
        return s;
    }
    std::string File() const { return CompoundFile({{streamName, Stream()}}); }
};

// Excel 2.x, 3.0 and 4.0 files (`biff` 2, 3, 4): no compound file, the
// records from the file's first byte, each sheet opening with the BOF of its
// version (a version word, the kind of sheet, a build word after Excel 2.x).
std::string OldBof(int biff, uint16_t kind) {
    std::string b;
    put16(b, 0, 0), put16(b, 2, kind);
    if (biff > 2) put16(b, 4, 0x1000);
    return Record(biff == 2 ? 0x0009 : biff == 3 ? 0x0209 : 0x0409, b);
}
std::string OldSheet(int biff, const std::string &records, uint16_t kind = 0x0010) {
    return OldBof(biff, kind) + records + kEof;
}
// A string cell: Excel 2.x's has three bytes of attributes and an 8-bit
// count, the later ones are Excel 95's.
std::string OldLabel(int biff, uint16_t row, const std::string &bytes) {
    if (biff > 2) return ByteLabel(row, bytes);
    std::string b = Cell(row, 0) + '\0';
    b += static_cast<char>(bytes.size());
    return Record(0x0004, b + bytes);
}
// A formula and its string result, with an 8-bit count in Excel 2.x.
std::string OldFormulaString(int biff, const std::string &bytes) {
    const std::string count = biff == 2 ? Le(bytes.size(), 1) : Le(bytes.size(), 2);
    return Record(biff == 2   ? 0x0006
                  : biff == 3 ? 0x0206
                              : 0x0406,
                  std::string(20, '\0')) +
           Record(biff == 2 ? 0x0007 : 0x0207, count + bytes);
}

class DxFilterExcel : public OleReaderTest {
  protected:
    DxFilterExcel() : OleReaderTest("t.xls") {}
};

}  // namespace

TEST_F(DxFilterExcel, GnumericWorkbooksReadAsTheirXlsxTwins) {
    for (const char *lang : {"en", "de", "fr", "es", "ru", "zh"}) {
        std::string base = std::string("docs/") + lang;
        std::string text = plugin->Extract(Data(base + ".xls")).utf8();
        EXPECT_EQ(text, plugin->Extract(Data(base + ".xlsx")).utf8()) << lang;
        EXPECT_EQ(text.find("42"), std::string::npos) << lang;  // numbers are left out
    }
}

TEST_F(DxFilterExcel, CellsInStoredOrderWithSharedStringsResolved) {
    Workbook w;
    w.globals =
        Record(0x0042, std::string("\xB0\x04", 2)) +  // code page 1200
        Sst(3, {Str(u"zero", false) + Str(u"один", true) + Str(u"two\tcells\nline", false)}) +
        Record(0x0085, std::string(6, '\0') + Str(u"SheetName", false));
    w.sheets = {
        LabelSst(0, 1) + Number(0) + LabelSst(1, 0) + LabelSst(2, 7) /* no such string */ +
            Record(0x0204, Cell(3, 0) + Str(u"label 😀", true)) +
            Record(0x00D6,
                   Cell(4, 0) + Str(u"rich", false) + std::string("\x01\x00\x00\x00\x05\x00", 6)) +
            Record(0x0006, std::string(20, '\0')) + Record(0x0207, Str(u"formula result", false)) +
            // A chart inside the sheet has text of its own, which is not the sheet's.
            Bof(0x0600, 0x0020) + Record(0x0204, Cell(0, 0) + Str(u"chart", false)) + kEof +
            LabelSst(5, 2),
        Record(0x0204, Cell(0, 0) + Str(u"second sheet", false)),
    };
    EXPECT_EQ(Text(w.File()),
              "один\nzero\nlabel 😀\nrich\nformula result\ntwo cells line\nsecond sheet\n");
    // A chart sheet's text is not read either.
    std::string chart = Bof(0x0600, 0x0005) + kEof + Bof(0x0600, 0x0020) +
                        Record(0x0204, Cell(0, 0) + Str(u"chart sheet", false)) + kEof;
    Extraction r = Run(CompoundFile({{"Workbook", chart}}));
    EXPECT_EQ(r.openText, 0);
    EXPECT_TRUE(r.text.empty()) << r.utf8();
}

TEST_F(DxFilterExcel, SharedStringsSplitOverContinueRecords) {
    // Each continuation of a string's characters starts with a flag byte
    // that may change their width (0x00 8-bit, 0x01 UTF-16); rich text runs
    // (0x08) and extended data (0x04) run on without one.
    std::string first = Str(u"abc", false);
    first.resize(3 + 2);  // "ab" in the SST record
    std::string rich;     // 2 runs, 6 bytes of phonetic data, split inside the runs
    put16(rich, 0, 5), rich += '\x0D', put16(rich, 3, 2), put32(rich, 5, 6);
    rich += Utf16(u"Ωμέγ");
    std::string runs(8, '\x07'), phonetic = "PHONET";
    std::vector<std::string> parts = {
        first,
        // Continued: the flag byte says UTF-16 from here.
        std::string("\x01", 1) + Utf16(u"ц") + rich,
        // Continued: the last character, 8-bit now, then half the runs.
        std::string("\x00", 1) + "a" + runs.substr(0, 3),
        // Runs and phonetic data go on without a flag byte.
        runs.substr(3) + phonetic.substr(0, 2),
        phonetic.substr(2) + Str(u"next", false),
        // A string whose header ends its record: its characters start with a flag.
        std::string("\x05\x00\x00", 3),
        std::string("\x01", 1) + Utf16(u"жёлтый"),
    };
    Workbook w;
    w.globals = Sst(4, parts);
    w.sheets = {LabelSst(0, 0) + LabelSst(1, 1) + LabelSst(2, 2) + LabelSst(3, 3)};
    EXPECT_EQ(Text(w.File()), "abц\nΩμέγa\nnext\nжёлты\n");
    // Rich and phonetic strings whole in one record.
    std::string ext;
    put16(ext, 0, 5), ext += '\x0C', put16(ext, 3, 2), put32(ext, 5, 6);
    Workbook whole;
    whole.globals = Sst(2, {Str(u"abц", true) + ext + "caf\xE9s" + runs + phonetic});
    whole.sheets = {LabelSst(0, 0) + LabelSst(0, 1)};
    EXPECT_EQ(Text(whole.File()), "abц\ncafés\n");
}

TEST_F(DxFilterExcel, Excel95TextInTheWorkbookCodePage) {
    // BIFF5: a 16-bit count and the bytes of the code page, in a `Book` stream.
    struct {
        std::string codePage;  // CODEPAGE record body; empty: none (1252)
        std::string bytes, text;
    } cases[] = {
        {std::string("\xE3\x04", 2), "\xCF\xF0\xE8\xE2\xE5\xF2", "Привет"},  // 1251
        {"", "caf\xE9 \x80", "café €"},
        {std::string("\x00\x80", 2), "caf\x8E", "café"},           // Mac Roman
        {std::string("\xA4\x03", 2), "\x93\xFA\x96\x7B", "日本"},  // 932
    };
    for (const auto &c : cases) {
        Workbook w;
        w.version = 0x0500;
        w.streamName = "Book";
        if (!c.codePage.empty()) w.globals = Record(0x0042, c.codePage);
        w.sheets = {ByteLabel(0, c.bytes) + Number(1) + ByteLabel(2, "end")};
        EXPECT_EQ(plugin->Format(Temp("b.xls", w.File())), DX_FMT_XLS);
        EXPECT_EQ(Text(w.File()), c.text + "\nend\n") << c.text;
    }
}

TEST_F(DxFilterExcel, EncryptedDamagedAndOlderWorkbooksAreRefused) {
    Workbook good;
    good.globals = Sst(1, {Str(u"shared", false)});
    good.sheets = {LabelSst(0, 0)};
    ASSERT_EQ(Text(good.File()), "shared\n");
    struct {
        const char *what;
        std::function<std::string()> stream;
    } cases[] = {
        {"encrypted",
         [&] {
             Workbook w = good;
             w.globals = Record(0x002F, std::string(54, '\x01')) + w.globals;
             return w.Stream();
         }},
        {"Excel 4 version",
         [&] {
             Workbook w = good;
             w.version = 0x0400;
             return w.Stream();
         }},
        {"no BOF first", [&] { return good.Stream().substr(20); }},
        {"a sheet first", [&] { return Bof(0x0600, 0x0010) + kEof; }},
        {"globals without their end",
         [&] { return Bof(0x0600, 0x0005) + Record(0x0042, "\xE4\x04"); }},
        {"record past the stream",
         [&] {
             std::string s = good.Stream();
             put16(s, 20 + 2, 0xFFFF);  // the SST's length
             s.resize(4096);            // what the compound file gives the stream anyway
             return s;
         }},
        {"string longer than the table",
         [&] {
             Workbook w = good;
             w.globals = Sst(1, {Str(u"shared", false).substr(0, 5)});
             return w.Stream();
         }},
        {"a string cut by the end of the table",
         [&] {
             Workbook w = good;
             w.globals = Sst(2, {Str(u"shared", false) + Str(u"next", false).substr(0, 2)});
             return w.Stream();
         }},
        {"half a character at a record end",
         [&] {
             Workbook w = good;
             w.globals = Sst(1, {Str(u"ab", true).substr(0, 4), std::string("\x01", 1) + "b"});
             return w.Stream();
         }},
        {"phonetic data past the table",
         [&] {
             Workbook w = good;
             std::string s = Str(u"ab", false);
             s[2] = '\x04';
             s.insert(3, std::string("\xFF\xFF\x00\x00", 4));
             w.globals = Sst(1, {s});
             return w.Stream();
         }},
    };
    for (auto &c : cases) {
        // The stream is padded to 4096 zero bytes by the writer: records of
        // type 0 and length 0, which readers skip.
        ExpectRefused(CompoundFile({{"Workbook", c.stream()}}), c.what);
    }
    // A table that counts more strings than it holds keeps those it holds.
    Workbook more = good;
    more.globals = Sst(1000, {Str(u"shared", false)});
    more.sheets = {LabelSst(0, 0) + LabelSst(1, 1)};
    EXPECT_EQ(Text(more.File()), "shared\n");
    // A cell cut by the end of the stream ends the text after the cells
    // before it, as a cut PDF does; cut before any cell's text, the workbook
    // cannot be read.
    for (const bool textBefore : {true, false}) {
        Workbook cut = good;
        const std::string cell = Record(0x0204, Cell(1, 0) + Str(u"cut", false)).substr(0, 9);
        cut.sheets = {(textBefore ? LabelSst(0, 0) : Number(0)) + cell};
        std::string stream = cut.Stream();
        stream.resize(stream.size() - kEof.size());
        Extraction r = Run(CompoundFile({{"Workbook", stream}}, {}, true));  // unpadded
        EXPECT_EQ(r.openText, 0);
        EXPECT_EQ(r.readError != 0, !textBefore);
        EXPECT_EQ(r.utf8(), textBefore ? "shared\n" : "");
    }
    // So does damage after the first cell: a shared string cell too short to
    // name its string.
    Workbook damaged = good;
    damaged.sheets = {LabelSst(0, 0) + Record(0x00FD, std::string(4, '\0')) + LabelSst(0, 1)};
    Extraction r = Run(damaged.File());
    EXPECT_EQ(r.readError, 0);
    EXPECT_EQ(r.utf8(), "shared\n");
}

TEST_F(DxFilterExcel, OnlyTheRootStreamsDecideTheFormat) {
    const std::string book = Workbook{}.Stream();
    EXPECT_EQ(plugin->Format(Temp("a.xls", CompoundFile({{"Workbook", book}}))), DX_FMT_XLS);
    const std::string capitals = CompoundFile({{"WORKBOOK", book}});
    EXPECT_EQ(plugin->Format(Temp("b.xls", capitals)), DX_FMT_XLS);
    EXPECT_EQ(Run(capitals).openText, 0);
    // Word wins over a workbook beside it; other documents are only OLE.
    EXPECT_EQ(
        plugin->Format(Temp("c.doc", CompoundFile({{"Workbook", book}, {"WordDocument", ""}}))),
        DX_FMT_DOC);
    std::string other = Temp("d.bin", CompoundFile({{"Contents", book}, {"Workbook2", book}}));
    EXPECT_EQ(plugin->Format(other), DX_FMT_OLE);
    ExpectRefused(glotta_test::ReadFile(other), "other OLE document");
}

TEST_F(DxFilterExcel, MutatedWorkbooksNeverBreakThePlugin) {
    Workbook w;
    w.globals = Record(0x0042, std::string("\xB0\x04", 2)) +
                Sst(3, {Str(u"alpha", false) + Str(u"бета", true).substr(0, 7),
                        std::string("\x00", 1) + "ta" + Str(u"gamma", false)});
    w.sheets = {LabelSst(0, 0) + LabelSst(1, 1) + Number(2) + LabelSst(3, 2) +
                    Record(0x0204, Cell(4, 0) + Str(u"label", true)),
                Bof(0x0600, 0x0020) + kEof + Record(0x0207, Str(u"result", false))};
    const std::string stream = w.Stream();
    ASSERT_EQ(Text(CompoundFile({{"Workbook", stream}})), "alpha\nбеta\ngamma\nlabel\nresult\n");
    Mutator m(1997);
    for (int variant = 0; variant < 300; ++variant) {
        std::string s = m.Overwrite(stream, variant % 6 + 1);
        if (variant % 5 == 0) s = m.Cut(s);
        Extraction r = Run(CompoundFile({{"Workbook", s}}, {}, variant % 2 == 0));
        EXPECT_TRUE(r.opened) << variant;
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << variant;
        EXPECT_LE(r.text.size(), kTextCap) << variant;
    }
    // An Excel 4.0 workbook, which is no compound file.
    const std::string old = OldBof(4, 0x0100) + Record(0x0042, std::string("\xE4\x04", 2)) + kEof +
                            OldSheet(4, ByteLabel(0, "first") + OldFormulaString(4, "result")) +
                            OldSheet(4, Number(0) + ByteLabel(1, "rich", 0x00D6));
    ASSERT_EQ(Text(old), "first\nresult\nrich\n");
    for (int variant = 0; variant < 300; ++variant) {
        std::string s = m.Overwrite(old, variant % 6 + 1);
        if (variant % 5 == 0) s = m.Cut(s);
        Extraction r = Run(s);
        EXPECT_TRUE(r.opens == r.closes) << variant;
        EXPECT_LE(r.text.size(), kTextCap) << variant;
    }
}

TEST_F(DxFilterExcel, Excel2To4SheetsReadInTheirCodePage) {
    struct {
        int biff;
        std::string codePage;  // CODEPAGE record body; empty: none (1252)
        std::string bytes, text;
    } cases[] = {
        {2, "", "caf\xE9 \x80", "café €"},
        {2, std::string("\x00\x80", 2), "caf\x8E", "café"},               // Mac Roman
        {3, std::string("\x01\x80", 2), "na\xEFve\tcell", "naïve cell"},  // 32769: Windows-1252
        {3, std::string("\xE3\x04", 2), "\xCF\xF0\xE8\xE2\xE5\xF2", "Привет"},
        {4, std::string("\xA4\x03", 2), "\x93\xFA\x96\x7B", "日本"},
    };
    for (const auto &c : cases) {
        const std::string last =
            c.biff == 2 ? OldLabel(2, 3, "last") : ByteLabel(3, "last", 0x00D6);  // rich text
        const std::string file =
            OldSheet(c.biff, (c.codePage.empty() ? "" : Record(0x0042, c.codePage)) +
                                 OldLabel(c.biff, 0, c.bytes) + Number(1) +
                                 OldFormulaString(c.biff, "result") + last);
        EXPECT_EQ(Sniffed(file), DX_FMT_XLS) << c.text;
        EXPECT_EQ(plugin->Format(Temp("s.xls", file)), DX_FMT_XLS) << c.text;
        EXPECT_EQ(Text(file), c.text + "\nresult\nlast\n") << c.text;
    }
    // A chart or a macro sheet has no cell text.
    for (const uint16_t kind : {0x0020, 0x0040}) {
        Extraction r = Run(OldSheet(3, ByteLabel(0, "not a cell"), kind));
        EXPECT_EQ(r.openText, 0) << kind;
        EXPECT_TRUE(r.text.empty()) << r.utf8();
    }
}

TEST_F(DxFilterExcel, Excel4WorkbooksReadTheirWorksheetsInTheGlobalsCodePage) {
    const std::string globals = OldBof(4, 0x0100) + Record(0x0042, std::string("\xE3\x04", 2)) +
                                Record(0x008F, Le(0, 4) + Le(0, 2) + "\x06Sheet1") + kEof;
    const std::string file = globals + OldSheet(4, ByteLabel(0, "\xEF\xE5\xF0\xE2\xFB\xE9")) +
                             OldSheet(4, ByteLabel(0, "chart"), 0x0020) +
                             OldSheet(4, ByteLabel(0, "macro"), 0x0040) +
                             OldSheet(4, Number(0) + ByteLabel(1, "\xE2\xF2\xEE\xF0\xEE\xE9"));
    EXPECT_EQ(Sniffed(file), DX_FMT_XLS);
    // The sheet names are left out, as Excel 5's are.
    EXPECT_EQ(Text(file), "первый\nвторой\n");
}

TEST_F(DxFilterExcel, Excel2To4FilesAreToldByTheirFirstRecord) {
    for (const int biff : {2, 3, 4})
        EXPECT_EQ(Sniffed(OldSheet(biff, OldLabel(biff, 0, "text"))), DX_FMT_XLS) << biff;
    const std::string label = ByteLabel(0, "text");
    const std::string sheet = OldSheet(3, label);
    std::string tooLong = OldBof(3, 0x0010);
    put16(tooLong, 2, 18), tooLong += std::string(12, '\0');
    std::string excel5 = Bof(0x0500, 0x0010);
    struct {
        const char *what;
        std::string file;
    } misses[] = {
        {"the BOF alone", OldBof(3, 0x0010)},
        {"cut inside a record", sheet.substr(0, sheet.size() - kEof.size() - 2)},
        // (The bytes where its kind would be start the next record: a worksheet's.)
        {"a BOF too short for its kind", Record(0x0209, std::string(2, '\0')) +
                                             Record(0x0010, std::string(2, '\0')) + label + kEof},
        {"a BOF longer than any", tooLong + label + kEof},
        {"a record past the end",
         OldBof(3, 0x0010) + std::string("\x04\x02\xFF\x7F", 4) + "text" + kEof},
        {"no such record type", Record(0x0309, OldBof(3, 0x0010).substr(4)) + label + kEof},
        {"an Excel 5 BOF", excel5 + label + kEof},
        {"a workbook in Excel 3.0", OldSheet(3, label, 0x0100)},
        {"Excel 5's globals", OldSheet(4, label, 0x0005)},
        {"text after the same bytes",
         OldBof(3, 0x0010) + "Quarterly report of the northern region, in thousands.\n"},
    };
    for (const auto &m : misses) EXPECT_NE(Sniffed(m.file), DX_FMT_XLS) << m.what;
}

TEST_F(DxFilterExcel, EncryptedAndDamagedExcel2To4FilesAreRefused) {
    const std::string filePass = Record(0x002F, std::string(4, '\x01'));
    const std::string label = ByteLabel(0, "text");
    struct {
        const char *what;
        std::string file;
    } cases[] = {
        {"an encrypted sheet", OldSheet(3, filePass + label)},
        {"an encrypted workbook", OldBof(4, 0x0100) + filePass + kEof + OldSheet(4, label)},
        {"workbook globals without their end",
         OldBof(4, 0x0100) + Record(0x0042, std::string("\xE4\x04", 2))},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(Sniffed(c.file), DX_FMT_XLS) << c.what;
        ExpectRefused(c.file, c.what);
    }
    // A sheet without its EOF reads to the file's end.
    EXPECT_EQ(Text(OldBof(2, 0x0010) + OldLabel(2, 0, "no end")), "no end\n");
    // A string running past its cell ends the text after the cells before
    // it; before any cell's text, it is a read error.
    for (const int biff : {2, 4}) {
        std::string damaged = OldLabel(biff, 1, "past");
        damaged[biff == 2 ? 4 + 7 : 4 + 6] = '\x30';  // its count
        for (const bool textBefore : {true, false}) {
            Extraction r = Run(OldSheet(biff, (textBefore ? OldLabel(biff, 0, "kept") : "") +
                                                  damaged + OldLabel(biff, 2, "after")));
            EXPECT_EQ(r.openText, 0) << biff;
            EXPECT_EQ(r.readError != 0, !textBefore) << biff;
            EXPECT_EQ(r.utf8(), textBefore ? "kept\n" : "") << biff;
        }
    }
}
