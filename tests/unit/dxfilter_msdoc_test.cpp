// Word 97-2003 documents through the filter plug-in (dxfilter_msdoc.so): the
// text of the documents of the fixtures, and of documents built here byte
// by byte to reach what the fixtures do not hold (pieces of both widths in
// one document, pieces out of order, property records, every story) and to
// damage them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "dxfilter_ole_writer.h"
#include "dxfilter_test_support.h"
#include "filters/dxfilter/sniff.h"

namespace {

using namespace dxfilter_test;
using pipeline_test::Utf16;
using namespace dxfilter_ole;

// ---- Word documents ------------------------------------------------------------------

// Places in the file information block of the documents built here.
constexpr size_t kFlags = 0x0A, kCcpText = 0x4C, kFcClx = 0x1A2, kLcbClx = 0x1A6;
constexpr size_t kTextStart = 0x400;

struct TextRun {
    std::string bytes;  // as stored: one byte per character, or UTF-16LE
    bool compressed;
};
TextRun Bytes8(std::string bytes) {
    return {std::move(bytes), true};
}
TextRun Wide(std::u16string_view text) {
    return {Utf16(text), false};
}

struct WordDoc {
    std::vector<TextRun> runs;  // the document's characters, one piece each
    // Characters of the main text, footnotes, headers, macros, comments,
    // endnotes, text boxes and header text boxes; all zero: all is main text.
    std::array<uint32_t, 8> stories{};
    uint16_t nFib = 0xC1;
    uint16_t flags = 1u << 9;     // the table stream is 1Table
    std::string propertyRecords;  // before the piece table
    bool storeBackwards = false;  // pieces in the stream in reverse order

    std::string word, table;  // built by Streams(), to be damaged by a test

    void Streams() {
        word.assign(kTextStart, '\0');
        put16(word, 0, 0xA5EC), put16(word, 2, nFib), put16(word, kFlags, flags);
        put16(word, 0x20, 14), put16(word, 0x3E, 22), put16(word, 0x98, 93);
        std::vector<uint32_t> cps{0}, fcs(runs.size());
        for (const TextRun &r : runs)
            cps.push_back(cps.back() +
                          static_cast<uint32_t>(r.bytes.size() / (r.compressed ? 1 : 2)));
        for (size_t k = 0; k < runs.size(); ++k) {
            size_t i = storeBackwards ? runs.size() - 1 - k : k;
            uint32_t at = static_cast<uint32_t>(word.size());
            fcs[i] = runs[i].compressed ? (at * 2) | 0x40000000u : at;
            word += runs[i].bytes;
        }
        uint32_t total = cps.back();
        std::array<uint32_t, 8> counts = stories;
        if (counts == std::array<uint32_t, 8>{}) counts[0] = total;
        for (size_t i = 0; i < 8; ++i) put32(word, kCcpText + 4 * i, counts[i]);

        std::string plc;
        for (uint32_t cp : cps) put32(plc, plc.size(), cp);
        for (uint32_t fc : fcs) {
            size_t at = plc.size();
            put16(plc, at, 0), put32(plc, at + 2, fc), put16(plc, at + 6, 0);
        }
        table = propertyRecords + '\x02';
        put32(table, table.size(), static_cast<uint32_t>(plc.size()));
        table += plc;
        put32(word, kFcClx, 0), put32(word, kLcbClx, static_cast<uint32_t>(table.size()));
    }
    std::string wordName = "WordDocument";
    std::string File(const std::string &tableName = "1Table") const {
        return CompoundFile({{wordName, word}, {tableName, table}});
    }
};

// A document of the given runs, ready to write.
WordDoc Doc(std::vector<TextRun> runs) {
    WordDoc d;
    d.runs = std::move(runs);
    d.Streams();
    return d;
}

// A Word 6/95 document (one stream, the FIB's fields at fixed places) of
// 8-bit runs in the code page of `lid`: fast-saved, each run a piece (stored
// in reverse order, the piece table after them), or else in one run.
struct Word6Doc {
    std::vector<std::string> runs;
    uint16_t lid = 0x0409, charset = 0, nFib = 104, ident = 0xA5EC;
    bool fastSaved = false;
    bool word2 = false;  // Word for Windows 2.0: no compound file, its piece table's place
    std::array<uint32_t, 8> stories{};  // all zero: all is main text
    std::string word;

    static constexpr size_t kFcMin = 0x18, kFcMac = 0x1C, kCcpText = 0x34, kFcClx = 0x160,
                            kFcClx2 = 0x11E;

    Word6Doc &Streams() {
        word.assign(kTextStart, '\0');
        put16(word, 0, ident), put16(word, 2, nFib), put16(word, 6, lid);
        put16(word, kFlags, fastSaved ? 0x0004 : 0), put16(word, 0x14, charset);
        std::vector<uint32_t> cps{0}, fcs(runs.size());
        for (const std::string &r : runs)
            cps.push_back(cps.back() + static_cast<uint32_t>(r.size()));
        put32(word, kFcMin, kTextStart);
        for (size_t k = 0; k < runs.size(); ++k) {
            size_t i = fastSaved ? runs.size() - 1 - k : k;
            fcs[i] = static_cast<uint32_t>(word.size());
            word += runs[i];
        }
        put32(word, kFcMac, static_cast<uint32_t>(word.size()));
        std::array<uint32_t, 8> counts = stories;
        if (counts == std::array<uint32_t, 8>{}) counts[0] = cps.back();
        for (size_t i = 0; i < 8; ++i) put32(word, kCcpText + 4 * i, counts[i]);
        if (fastSaved) {
            std::string plc;
            for (uint32_t cp : cps) put32(plc, plc.size(), cp);
            for (uint32_t fc : fcs) {
                size_t at = plc.size();
                put16(plc, at, 0), put32(plc, at + 2, fc), put16(plc, at + 6, 0);
            }
            if (word2) {
                put32(word, kFcClx2, static_cast<uint32_t>(word.size()));
                put16(word, kFcClx2 + 4, static_cast<uint16_t>(5 + plc.size()));
            } else {
                put32(word, kFcClx, static_cast<uint32_t>(word.size()));
                put32(word, kFcClx + 4, static_cast<uint32_t>(5 + plc.size()));
            }
            word += '\x02';
            put32(word, word.size(), static_cast<uint32_t>(plc.size()));
            word += plc;
        }
        put32(word, 0x20, static_cast<uint32_t>(word.size()));  // cbMac
        return *this;
    }
    std::string File() const { return word2 ? word : CompoundFile({{"WordDocument", word}}); }
};

// A Word for Windows 2.0 document (1.x with `ident` 0xA59B or 0xA59C).
Word6Doc Word2(std::vector<std::string> runs, bool fastSaved, uint16_t lid = 0x0409) {
    Word6Doc d;
    d.runs = std::move(runs), d.fastSaved = fastSaved, d.lid = lid;
    d.word2 = true, d.ident = 0xA5DB, d.nFib = 45;
    d.Streams();
    return d;
}

// A change to a built Word 6 or 2.0 document, saved whole or fast-saved.
struct FibDamage {
    const char *what;
    bool fastSaved;
    std::function<void(std::string &)> damage;
};

class DxFilterWord : public OleReaderTest {
  protected:
    DxFilterWord() : OleReaderTest("t.doc") {}
};

}  // namespace

TEST_F(DxFilterWord, FixtureDocumentsKeepFieldResultsAndNotes) {
    std::string text = plugin->Extract(Data("docs/fr-fields.doc")).utf8();
    for (const char *present :
         {"sa boutique du village et vend", "compte 1 page et fut écrit le 07/02/2004.",
          "\nbaguette\ndeux euros\n", "\nUne note de bas de page sur le chien endormi.\n"})
        EXPECT_NE(text.find(present), std::string::npos) << present << " in " << text;
    for (const char *absent : {"HYPERLINK", "example.org", "NUMPAGES", "DATE", "TOC", "PAGE"})
        EXPECT_EQ(text.find(absent), std::string::npos) << absent << " in " << text;
    // Every language reads as its DOCX twin does.
    for (const char *lang : {"en", "de", "fr", "es", "ru", "zh"}) {
        std::string base = std::string("docs/") + lang;
        EXPECT_EQ(plugin->Extract(Data(base + ".doc")).utf8(),
                  plugin->Extract(Data(base + ".docx")).utf8())
            << lang;
    }
}

TEST_F(DxFilterWord, PiecesOfBothWidthsInAnyOrder) {
    // 8-bit pieces: bytes are code points but for 0x80-0x9F, which follow
    // Windows-1252 where it has a character and stay controls (dropped) where
    // it has none.
    WordDoc d;
    d.runs = {Bytes8("caf\xE9 \x93quoted\x94 \x85 \x80\x81\x8D\x8E\x9F euro\r"),
              Wide(u"Привет, мир! 😀 \U0001F600\r"), Bytes8("fin \x8C\x9C\x99\r")};
    for (bool backwards : {false, true}) {
        d.storeBackwards = backwards;
        d.Streams();
        EXPECT_EQ(Text(d.File()), "café “quoted” … Ÿ euro\nПривет, мир! 😀 😀\nfin Œœ™\n")
            << backwards;
    }
    // A surrogate pair split over two pieces, and lone halves (U+FFFD each,
    // the last one left open at the end of the text).
    EXPECT_EQ(Text(Doc({Wide(u"a \xD83D"), Wide(u"\xDE00 b \xDC00 c \xD83D")}).File()),
              "a 😀 b \uFFFD c \uFFFD\n");
    // An 8-bit piece between the halves parts them.
    EXPECT_EQ(Text(Doc({Wide(u"a \xD83D"), Bytes8("b"), Wide(u"\xDE00")}).File()),
              "a \uFFFDb\uFFFD\n");
}

TEST_F(DxFilterWord, FieldsKeepOnlyTheirResults) {
    struct {
        std::u16string text;
        std::string expected;
    } cases[] = {
        {u"see \x13 HYPERLINK \"http://x.org\" \x14the site\x15 now", "see the site now"},
        // The instruction of the outer field holds a whole field; the result
        // of the inner one is part of the outer result.
        {u"a \x13 IF \x13 PAGE \x14 1\x15 = 1 \"x\" \x14yes \x13 DATE \x14today\x15\x15 b",
         "a yes today b"},
        {u"no result \x13 PAGE \x15 here", "no result here"},
        {u"stray end \x15 and separator \x14 kept", "stray end and separator kept"},
        {u"open \x13 INCLUDETEXT lost to the end", "open"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Text(Doc({Wide(c.text)}).File()), c.expected + "\n") << c.expected;
    // Fields nested deeper than the reader follows drop their text but keep
    // their ends counted, so the text after them comes back.
    std::u16string deep = u"before ";
    for (int i = 0; i < 600; ++i) deep += u"\x13 X \x14";
    deep += u"deep";
    for (int i = 0; i < 600; ++i) deep += u"\x15";
    EXPECT_EQ(Text(Doc({Wide(deep + u" after")}).File()), "before after\n");
    // A field left open at the end of the main text does not swallow the notes.
    WordDoc d;
    d.runs = {Wide(u"main \x13 REF x\r"), Wide(u"note\r")};
    d.stories = {13, 5, 0, 0, 0, 0, 0, 0};
    d.Streams();
    EXPECT_EQ(Text(d.File()), "main\nnote\n");
}

TEST_F(DxFilterWord, ControlCharactersBecomeBreaksSpacesOrNothing) {
    EXPECT_EQ(Text(Doc({Wide(u"cell one\x07"
                             u"cell two\x07\x07"
                             u"line\x0Bpage\x0Csection\r\r\r"
                             u"non\x1E"
                             u"breaking soft\x1Fhyphen\r"
                             u"tab\tand\xA0nbsp\x01picture\x08shape\x02note\x05mark\r")})
                       .File()),
              "cell one\ncell two\nline\npage\nsection\nnon-breaking softhyphen\n"
              "tab and nbsppictureshapenotemark\n");
}

TEST_F(DxFilterWord, MainTextNotesAndTextBoxesButNoHeadersOrComments) {
    WordDoc d;
    d.runs = {Bytes8("main text\r"),  Bytes8("footnote\r"), Bytes8("header\r"),
              Bytes8("comment\r"),    Bytes8("endnote\r"),  Bytes8("text box\r"),
              Bytes8("header box\r"), Bytes8("\r")};
    d.stories = {10, 9, 7, 0, 8, 8, 9, 11};
    d.Streams();
    EXPECT_EQ(Text(d.File()), "main text\nfootnote\nendnote\ntext box\n");
    // Counts beyond the piece table are cut to it, but for the main text's.
    d.stories = {10, 9, 7, 0, 8, 8, 1000, 11};
    d.Streams();
    EXPECT_EQ(Text(d.File()), "main text\nfootnote\nendnote\ntext box\nheader box\n");
}

TEST_F(DxFilterWord, PropertyRecordsAndEitherTableStream) {
    WordDoc d;
    d.runs = {Bytes8("first "), Wide(u"second\r")};
    d.propertyRecords = std::string("\x01\x03\x00\xAA\xBB\xCC\x01\x00\x00", 9);
    d.Streams();
    EXPECT_EQ(Text(d.File()), "first second\n");
    d.flags = 0;  // 0Table
    d.Streams();
    EXPECT_EQ(Text(d.File("0Table")), "first second\n");
    Extraction wrong = Run(d.File("1Table"));
    EXPECT_TRUE(wrong.opened && wrong.openText != 0);
}

TEST_F(DxFilterWord, DamagedDocumentsAreRefused) {
    const WordDoc good = Doc({Bytes8("some text here\r"), Wide(u"and more\r")});
    ASSERT_EQ(Text(good.File()), "some text here\nand more\n");
    struct {
        const char *what;
        std::function<void(WordDoc &)> damage;
    } cases[] = {
        {"encrypted", [](WordDoc &d) { put16(d.word, kFlags, 0x0300); }},
        {"obfuscated", [](WordDoc &d) { put16(d.word, kFlags, 0x8200); }},
        {"Word 95 version on a Word 97 FIB", [](WordDoc &d) { put16(d.word, 2, 104); }},
        {"not a FIB", [](WordDoc &d) { put16(d.word, 0, 0x1234); }},
        {"FIB counts past its end", [](WordDoc &d) { put16(d.word, 0x20, 0xFFFF); }},
        {"too few offsets", [](WordDoc &d) { put16(d.word, 0x98, 20); }},
        {"huge main text", [](WordDoc &d) { put32(d.word, kCcpText, 0x7FFFFFF0); }},
        {"negative main text", [](WordDoc &d) { put32(d.word, kCcpText, 0xFFFFFFFF); }},
        {"main text past the pieces", [](WordDoc &d) { put32(d.word, kCcpText, 25); }},
        {"no piece table", [](WordDoc &d) { put32(d.word, kLcbClx, 0); }},
        {"piece table past its stream", [](WordDoc &d) { put32(d.word, kFcClx, 4090); }},
        {"huge piece table", [](WordDoc &d) { put32(d.word, kLcbClx, 0xFFFFFFF0); }},
        {"piece table longer than its stream",
         [](WordDoc &d) { put32(d.word, kLcbClx, 32 << 20); }},
        {"unknown record", [](WordDoc &d) { d.table[0] = 0x07; }},
        {"piece table length", [](WordDoc &d) { put32(d.table, 1, 0x7FFFFFFF); }},
        {"uneven piece table", [](WordDoc &d) { put32(d.table, 1, 27); }},
        {"first position", [](WordDoc &d) { put32(d.table, 5, 1); }},
        {"positions backwards", [](WordDoc &d) { put32(d.table, 9, 30); }},
        {"piece outside the stream", [](WordDoc &d) { put32(d.table, 5 + 12 + 2, 0x3FFFF000); }},
        {"8-bit piece outside the stream",
         [](WordDoc &d) { put32(d.table, 5 + 12 + 2, 0x7FFFFFFE); }},
        {"piece across the end",
         [](WordDoc &d) { put32(d.table, 5 + 12 + 2, ((4096 - 10) * 2) | 0x40000000); }},
        {"no text stream", [](WordDoc &d) { d.wordName = "WordDocumenx"; }},
    };
    for (auto &c : cases) {
        WordDoc d = good;
        c.damage(d);
        Extraction r = Run(d.File());
        EXPECT_TRUE(r.opened) << c.what;
        EXPECT_NE(r.openText, 0) << c.what;
        EXPECT_TRUE(r.text.empty()) << c.what;
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << c.what;
    }
}

TEST_F(DxFilterWord, BrokenCompoundFilesEndCleanly) {
    const WordDoc good = Doc({Bytes8(std::string(6000, 'a') + "\r")});
    using Fat = std::vector<uint32_t>;
    using Starts = const std::vector<uint32_t>;
    std::vector<std::pair<const char *, std::string>> files = {
        {"circular text chain", CompoundFile({{"WordDocument", good.word}, {"1Table", good.table}},
                                             [](Fat &fat, Starts &s) { fat[s[0] + 3] = s[0]; })},
        {"chain into the table", CompoundFile({{"WordDocument", good.word}, {"1Table", good.table}},
                                              [](Fat &fat, Starts &s) { fat[s[0]] = s[1]; })},
        {"chain past the file", CompoundFile({{"WordDocument", good.word}, {"1Table", good.table}},
                                             [](Fat &fat, Starts &s) { fat[s[0] + 1] = 5000; })},
        {"allocation table marks itself free",
         CompoundFile({{"WordDocument", good.word}, {"1Table", good.table}},
                      [](Fat &fat, Starts &) { fat[0] = kFreeSector; })},
    };
    std::string file = good.File();
    std::string loop = file;
    put32(loop, kSector + 4 * 1, 1);  // the directory sector follows itself
    files.push_back({"circular directory", loop});
    std::string self = file;
    put32(self, kSector * 2 + 128 + 76, 1);  // a stream is its own child
    files.push_back({"directory entry its own child", self});
    std::string size = file;
    put32(size, kSector * 2 + 128 + 120, 0x7FFFFFFF);  // stream larger than the file
    files.push_back({"stream size", size});
    for (size_t cut : {size_t{100}, size_t{600}, size_t{1100}, file.size() / 2, file.size() - 1})
        files.push_back({"truncated", file.substr(0, cut)});
    const WordDoc small = Doc({Bytes8("short text\r")});
    const std::string inMini =
        CompoundFile({{"WordDocument", small.word}, {"1Table", small.table}}, {}, true);
    for (size_t cut : {inMini.size() / 2, inMini.size() - kSector})
        files.push_back({"mini stream truncated", inMini.substr(0, cut)});
    for (const auto &[what, bytes] : files) {
        // libgsf warns about a stream it cannot open; nothing may reach the
        // tool's standard error.
        testing::internal::CaptureStderr();
        Extraction r = Run(bytes);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << what;
        EXPECT_TRUE(r.opened) << what;
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << what;
        EXPECT_LE(r.text.size(), 7000u) << what;
    }
}

TEST_F(DxFilterWord, LongDocumentsAreChunkedAndCapped) {
    // Some 590,000 characters in 1,200 pieces.
    std::string words;
    for (int i = 0; i < 100; ++i) words += "word" + std::to_string(i) + " ";
    std::vector<TextRun> runs(1200, Bytes8(words));
    WordDoc d = Doc(std::move(runs));
    Extraction r = Run(d.File());
    EXPECT_EQ(r.openText, 0);
    EXPECT_EQ(r.readError, 0);
    EXPECT_GT(r.chunks, 10);
    EXPECT_GT(r.text.size(), 500000u);
    EXPECT_LE(r.text.size(), kTextCap);
    EXPECT_TRUE(recognisable_as_utf16(r.text));
    EXPECT_EQ(r.utf8().substr(0, 12), "word0 word1 ");

    // A piece table larger than what the reader fetches ahead at a time.
    std::vector<TextRun> many(4000, Wide(u"слово "));
    std::string text = Run(Doc(std::move(many)).File()).utf8();
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::string expected;
    for (int i = 0; i < 4000; ++i) expected += "слово ";
    EXPECT_EQ(text, expected);
}

TEST_F(DxFilterWord, Word6And95TextInTheCodePageOfTheirLanguage) {
    struct {
        uint16_t lid, charset;
        std::vector<std::string> runs;
        std::string text;
    } cases[] = {
        {0x0419, 0, {"\xCF\xF0\xE8\xE2\xE5\xF2 ", "\xEC\xE8\xF0\r"}, "Привет мир\n"},
        {0x0409,
         0,
         {"caf\xE9 \x80 5 ",
          "\x13 PAGE \x14"
          "1\x15\r"},
         "café € 5 1\n"},
        {0x0408, 0, {"\xE1\xE2\xE3\x07\xE4"}, "αβγ\nδ\n"},
        {0x0409, 256, {"caf\x8E"}, "café\n"},  // Macintosh
        // Shift-JIS characters cut by the end of a piece are joined again;
        // one cut by a control character is dropped.
        {0x0411, 0, {"\x93\xFA\x96", "\x7B\x8C\xEA\r\x93\r"}, "日本語\n"},
        {0x0804, 0, {"\xD6\xD0\xCE\xC4"}, "中文\n"},
        {0x0404, 0, {"\xA4\xA4\xA4\xE5"}, "中文\n"},
        // Locales whose script is not their language's usual one: Serbian
        // and Bosnian in Cyrillic, Azeri in Cyrillic, Uzbek in either.
        {0x1C1A, 0, {"\xC7\xE4\xF0\xE0\xE2\xEE\r"}, "Здраво\n"},
        {0x201A, 0, {"\xC1\xEE\xF1\xED\xE0\r"}, "Босна\n"},
        {0x082C, 0, {"\xD1\xE0\xEB\xE0\xEC\r"}, "Салам\n"},
        {0x0843, 0, {"\xA1\xE7\xE1\xE5\xEA\r"}, "Ўзбек\n"},
        {0x0443,
         0,
         {"\xDE"
          "ahar\r"},
         "Şahar\n"},
        // Neutral locales, which no table row names, in the script of most
        // of the language's.
        {0x7C1A, 0, {"\xC8\xE6\r"}, "Čć\n"},
        {0x002C, 0, {"\xDE\xFD\r"}, "Şı\n"},
    };
    for (const auto &c : cases) {
        for (bool fastSaved : {false, true}) {
            Word6Doc d;
            d.runs = c.runs, d.lid = c.lid, d.charset = c.charset, d.fastSaved = fastSaved;
            EXPECT_EQ(Text(d.Streams().File()), c.text) << c.text << fastSaved;
        }
    }
    // Word 6.0 for Windows, and other Word 6 writers, wrote other
    // identifiers.
    for (uint16_t ident : {0xA5DC, 0xA699}) {
        Word6Doc d;
        d.runs = {"Word 6\r"}, d.ident = ident, d.nFib = 101;
        EXPECT_EQ(Text(d.Streams().File()), "Word 6\n") << ident;
    }
    Word6Doc notes;
    notes.runs = {"main\r", "note\r", "header\r", "\r"};
    notes.stories = {5, 5, 7, 0, 0, 0, 0, 0};
    EXPECT_EQ(Text(notes.Streams().File()), "main\nnote\n");
}

TEST_F(DxFilterWord, DamagedWord6DocumentsAreRefused) {
    Word6Doc good;
    good.runs = {"some text\r"};
    ASSERT_EQ(Text(good.Streams().File()), "some text\n");
    const FibDamage cases[] = {
        {"encrypted", false, [](std::string &w) { put16(w, kFlags, 0x0100); }},
        {"not a Word identifier", false, [](std::string &w) { put16(w, 0, 0xA5DD); }},
        {"Word 2", false, [](std::string &w) { put16(w, 2, 45); }},
        {"between Word 95 and 97", false, [](std::string &w) { put16(w, 2, 150); }},
        {"text ends before it starts", false,
         [](std::string &w) { put32(w, Word6Doc::kFcMac, kTextStart - 1); }},
        {"text past the stream", false,
         [](std::string &w) { put32(w, Word6Doc::kFcMac, 0x7FFFFF00); }},
        {"main text longer than the text", false,
         [](std::string &w) { put32(w, Word6Doc::kCcpText, 11); }},
        {"piece table past the stream", true,
         [](std::string &w) { put32(w, Word6Doc::kFcClx, 0x10000); }},
        {"piece past the stream", true,
         [](std::string &w) { put32(w, kTextStart + 10 + 5 + 8 + 2, 0x10000); }},
    };
    for (const auto &c : cases) {
        Word6Doc d = good;
        d.fastSaved = c.fastSaved;
        d.Streams();
        c.damage(d.word);
        Extraction r = Run(d.File());
        EXPECT_TRUE(r.opened) << c.what;
        EXPECT_NE(r.openText, 0) << c.what;
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << c.what;
    }
}

TEST_F(DxFilterWord, MutatedFileInformationAndPieceTablesNeverBreakThePlugin) {
    // Bytes of the FIB, the text and the piece table overwritten at random
    // (a fixed sequence): every document must end, release its stream and
    // stay within the text bound, whether its text opens or not.
    WordDoc word97;
    word97.runs = {Bytes8("caf\xE9 \x13 PAGE \x14"
                          "1\x15\r"),
                   Wide(u"Привет \x07 мир\r")};
    word97.stories = {16, 13, 0, 0, 0, 0, 0, 0};
    word97.Streams();
    Word6Doc word6;
    word6.runs = {"\x93\xFA\x96", "\x7B\x8C\xEA\r"};
    word6.lid = 0x0411, word6.fastSaved = true;
    word6.Streams();
    Mutator m(2004);
    for (int variant = 0; variant < 400; ++variant) {
        std::string file;
        if (variant % 2 == 0) {
            WordDoc d = word97;
            std::string &target = variant % 4 == 0 ? d.word : d.table;
            target = m.Overwrite(target, variant % 8 + 1);
            file = d.File();
        } else {
            Word6Doc d = word6;
            d.word = m.Overwrite(d.word, variant % 8 + 1);
            file = d.File();
        }
        Extraction r = Run(file);
        EXPECT_TRUE(r.opened) << variant;
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << variant;
        EXPECT_LE(r.text.size(), kTextCap) << variant;
    }
}

TEST_F(DxFilterWord, TextStreamsShorterThanTheirFibAreRefused) {
    // The mini stream keeps a stream exactly as long as it says, so the FIB
    // ends where the stream does: at its fixed part, inside its first
    // count, or inside the counted parts.
    const WordDoc d = Doc({Bytes8("some text here\r")});
    for (size_t length :
         {size_t{0x20}, size_t{0x21}, size_t{0x22}, size_t{0x3F}, size_t{0x99}, size_t{0x1A5}}) {
        Extraction r = Run(CompoundFile(
            {{"WordDocument", d.word.substr(0, length)}, {"1Table", d.table}}, {}, true));
        EXPECT_TRUE(r.opened) << length;
        EXPECT_NE(r.openText, 0) << length;
        EXPECT_TRUE(r.text.empty()) << length;
        EXPECT_TRUE(r.opens == 1 && r.closes == 1) << length;
    }
}

TEST_F(DxFilterWord, SmallStreamsComeFromTheMiniStream) {
    WordDoc d = Doc({Bytes8("petit "), Wide(u"документ\r")});
    EXPECT_EQ(Text(CompoundFile({{"WordDocument", d.word}, {"1Table", d.table}}, {}, true)),
              "petit документ\n");
    Word6Doc w6;
    w6.runs = {"\xEC\xE0\xEB\xFB\xE9\r"};
    w6.lid = 0x0419;
    w6.Streams();
    EXPECT_EQ(Text(CompoundFile({{"WordDocument", w6.word}}, {}, true)), "малый\n");
}

TEST_F(DxFilterWord, Word2DocumentsAreRecognisedByTheirFileInformation) {
    // The format rule alone (libmagic names some files that open with the
    // identifier Word documents as well).
    const auto ruleSays = [](const std::string &file) {
        const std::string head = file.substr(0, dxf::kSniffBytes);
        return dxf::SniffHead({reinterpret_cast<const unsigned char *>(head.data()), head.size()},
                              file.size(), dxf::ReadAtFn())
            .format;
    };
    for (bool fastSaved : {false, true}) {
        const Word6Doc d = Word2({"caf\xE9\r", "text\r"}, fastSaved);
        EXPECT_EQ(ruleSays(d.File()), DX_FMT_DOC) << fastSaved;
        EXPECT_EQ(plugin->Format(Temp("f.bin", d.File())), DX_FMT_DOC) << fastSaved;
        // Word 1.x, and a file with bytes past what it uses.
        Word6Doc w1 = d;
        put16(w1.word, 0, 0xA59B);
        EXPECT_EQ(ruleSays(w1.File() + std::string(64, '\0')), DX_FMT_DOC) << fastSaved;
    }
    const std::string plain = Word2({"some text\r"}, false).File();
    const std::string fast = Word2({"some ", "text\r"}, true).File();
    struct {
        const char *what;
        const std::string &file;
        std::function<void(std::string &)> change;
    } misses[] = {
        {"Word 6 identifier", plain, [](std::string &w) { put16(w, 0, 0xA5DC); }},
        {"Word 6 version", plain, [](std::string &w) { put16(w, 2, 101); }},
        {"text before the end of the block", plain,
         [](std::string &w) { put32(w, Word6Doc::kFcMin, 0x100); }},
        {"text ends before it starts", plain,
         [](std::string &w) { put32(w, Word6Doc::kFcMac, kTextStart - 1); }},
        {"text past the file", plain, [](std::string &w) { put32(w, Word6Doc::kFcMac, 0x10000); }},
        {"bytes in use end before the text", plain, [](std::string &w) { put32(w, 0x20, 0x401); }},
        {"stories longer than the text", plain,
         [](std::string &w) { put32(w, Word6Doc::kCcpText + 8, 2); }},
        {"piece table past the file", fast,
         [](std::string &w) { put32(w, Word6Doc::kFcClx2, 0x10000); }},
        {"empty piece table", fast, [](std::string &w) { put16(w, Word6Doc::kFcClx2 + 4, 0); }},
        {"cut inside the block", plain, [](std::string &w) { w.resize(0x120); }},
        {"cut inside the text", plain, [](std::string &w) { w.resize(kTextStart + 4); }},
        {"text", plain,
         [](std::string &w) { w = "\xDB\xA5 Wort und Text, " + std::string(400, 'x'); }},
    };
    for (const auto &m : misses) {
        std::string file = m.file;
        m.change(file);
        EXPECT_NE(ruleSays(file), DX_FMT_DOC) << m.what;
    }
}

TEST_F(DxFilterWord, Word2TextInTheCodePageOfItsLanguage) {
    struct {
        uint16_t lid;
        std::vector<std::string> runs;
        std::string text;
    } cases[] = {
        {0x0409,
         {"caf\xE9 \x80 5 ",
          "\x13 PAGE \x14"
          "1\x15\r",
          "\x93\xC4\x94\tcell\x07\x0Bx\x1Ey\r"},
         "café € 5 1\n“Ä” cell\nx-y\n"},
        {0x0419, {"\xCF\xF0\xE8\xE2\xE5\xF2 ", "\xEC\xE8\xF0\r"}, "Привет мир\n"},
    };
    for (const auto &c : cases)
        for (bool fastSaved : {false, true})
            EXPECT_EQ(Text(Word2(c.runs, fastSaved, c.lid).File()), c.text) << c.text << fastSaved;
    // Main text and footnotes; headers, macros and comments are left out.
    for (bool fastSaved : {false, true}) {
        Word6Doc notes = Word2({"main\r", "note\r", "header\r", "\r"}, fastSaved);
        notes.stories = {5, 5, 7, 0, 1, 0, 0, 0};
        EXPECT_EQ(Text(notes.Streams().File()), "main\nnote\n") << fastSaved;
    }
    // Word 1.x saved whole.
    Word6Doc w1 = Word2({"Word 1\r"}, false);
    put16(w1.word, 0, 0xA59C), put16(w1.word, 2, 33);
    EXPECT_EQ(Text(w1.File()), "Word 1\n");
}

TEST_F(DxFilterWord, DamagedWord2DocumentsAreRefused) {
    const FibDamage cases[] = {
        {"encrypted", false, [](std::string &w) { put16(w, kFlags, 0x0100); }},
        {"fast-saved Word 1.x", true, [](std::string &w) { put16(w, 0, 0xA59B); }},
        {"no piece table", true, [](std::string &w) { w[kTextStart + 10] = '\x03'; }},
        {"piece past the file", true,
         [](std::string &w) { put32(w, kTextStart + 10 + 5 + 12 + 2, 0x10000); }},
        {"piece table cut", true, [](std::string &w) { put16(w, Word6Doc::kFcClx2 + 4, 9); }},
    };
    for (const auto &c : cases) {
        Word6Doc d = Word2({"some ", "text\r"}, c.fastSaved);
        c.damage(d.word);
        ExpectRefused(d.File(), c.what);
    }
    // A Word 2.0 block inside a compound file is no Word 6 document.
    const Word6Doc d = Word2({"some text\r"}, false);
    ExpectRefused(CompoundFile({{"WordDocument", d.word}}), "Word 2.0 in a compound file");
    // Cut anywhere, or its bytes overwritten, a document ends cleanly.
    const Word6Doc fast = Word2({"\xE9t\xE9 ", "\x13 PAGE \x14", "2\x15\r"}, true);
    ExpectCutsBounded(fast.File(), 7, kTextCap, "Word 2.0");
    Mutator m(1992);
    for (int variant = 0; variant < 200; ++variant) {
        const std::string file = m.Overwrite(variant % 2 ? fast.word : d.word, variant % 8 + 1);
        ExpectBounded(file, kTextCap, std::to_string(variant));
    }
}
