// E-books: the format rules that tell Palm database books and FictionBook
// documents, the decompressors (PalmDoc LZ77, HUFF/CDIC) and trailing
// entries of Palm books, the refusal of damaged and encrypted books, and
// the text a FictionBook gives (what is read, what is left out, charsets,
// the zipped form).
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dxfilter_zip_writer.h"
#include "filters/dxfilter/ebook_text.h"
#include "filters/dxfilter/sniff.h"

namespace {

using dxf::EbookBounds;
using dxf::HuffCdicDecoder;
using dxf::PalmBook;
using dxf::PalmDocExpand;
using dxf::ReadFictionBook;
using dxf::ReadPalmBook;
using dxf::TrimTrailingEntries;

void Put16(std::string &s, size_t at, uint32_t v) {
    s[at] = static_cast<char>(v >> 8);
    s[at + 1] = static_cast<char>(v);
}
void Put32(std::string &s, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) s[at + k] = static_cast<char>(v >> (24 - 8 * k));
}
std::string Be16(uint32_t v) {
    std::string s(2, '\0');
    Put16(s, 0, v);
    return s;
}
std::string Be32(uint32_t v) {
    std::string s(4, '\0');
    Put32(s, 0, v);
    return s;
}

// A Palm database of `records` with type and creator `kind`.
std::string Pdb(const std::vector<std::string> &records, const std::string &kind = "BOOKMOBI") {
    std::string out(78, '\0');
    out.replace(0, 4, "Book");
    out.replace(60, 8, kind);
    Put16(out, 76, static_cast<uint32_t>(records.size()));
    size_t offset = 78 + 8 * records.size() + 2;
    for (const std::string &r : records) {
        out += Be32(static_cast<uint32_t>(offset)) + std::string(4, '\0');
        offset += r.size();
    }
    out += std::string(2, '\0');
    for (const std::string &r : records) out += r;
    return out;
}

struct Zero {
    uint16_t compression = 1;
    uint32_t textLength = 1u << 20;
    uint16_t textRecords = 1;
    uint16_t encryption = 0;
    uint32_t encoding = 65001;
    uint32_t firstNonBook = 0xFFFFFFFF;
    uint32_t huffRecord = 0, huffCount = 0;
    uint16_t flags = 0;
    uint32_t headerLength = 0xE8;
};

// Record 0: the PalmDoc header, then the MOBI header.
std::string Record0(const Zero &z) {
    std::string r(16 + 0xE8, '\0');
    Put16(r, 0, z.compression);
    Put32(r, 4, z.textLength);
    Put16(r, 8, z.textRecords);
    Put16(r, 10, 4096);
    Put16(r, 12, z.encryption);
    r.replace(16, 4, "MOBI");
    Put32(r, 20, z.headerLength);
    Put32(r, 28, z.encoding);
    Put32(r, 80, z.firstNonBook);
    Put32(r, 112, z.huffRecord);
    Put32(r, 116, z.huffCount);
    Put16(r, 242, z.flags);
    return r;
}

PalmBook Read(const std::string &file, size_t maxBytes = 16u << 20) {
    EbookBounds bounds;
    bounds.maxBytes = maxBytes;
    return ReadPalmBook(file, bounds);
}

int Sniffed(const std::string &bytes) {
    const auto span =
        std::span(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
    return dxf::SniffHead(span, bytes.size()).format;
}

std::string Expand(const std::string &in, size_t cap = 1 << 20, bool *ok = nullptr) {
    std::string out;
    const bool good = PalmDocExpand(in, cap, out);
    if (ok) *ok = good;
    return good ? out : "<refused>" + out;
}

TEST(PalmDocLz77, LiteralsSpacePairsAndBackReferences) {
    EXPECT_EQ(Expand("abc"), "abc");
    // A literal run carries bytes that would otherwise be codes.
    EXPECT_EQ(Expand(std::string("\x03\x01\xC3\xA9", 4)), "\x01\xC3\xA9");
    // 0xC0-0xFF: a space and the byte without its high bit.
    EXPECT_EQ(Expand("a\xE2\xEF"), "a b o");
    // A back reference of distance 3 and length 3 + 4, overlapping itself.
    EXPECT_EQ(Expand("abc" + Be16(0x8000 | 3 << 3 | 4)), "abcabcabca");
    // Each record decompresses on its own: a reference reaches only back
    // to the start of the record's own output.
    std::string out = "previous record";
    EXPECT_FALSE(PalmDocExpand("a" + Be16(0x8000 | 2 << 3), 1 << 20, out));
    EXPECT_EQ(out, "previous recorda");
}

TEST(PalmDocLz77, MalformedRecordsAndBombs) {
    bool ok = true;
    Expand(Be16(0x8000 | 1 << 3), 1 << 20, &ok);  // before the start
    EXPECT_FALSE(ok);
    Expand("ab" + Be16(0x8000 | 0 << 3), 1 << 20, &ok);  // distance 0
    EXPECT_FALSE(ok);
    Expand("ab\x80", 1 << 20, &ok);  // a pair cut by the end
    EXPECT_FALSE(ok);
    Expand("\x05xy", 1 << 20, &ok);  // a literal run past the end
    EXPECT_FALSE(ok);
    // Output stops at the cap, however far the codes would take it.
    std::string bomb = "a";
    for (int i = 0; i < 100000; ++i) bomb += Be16(0x8000 | 1 << 3 | 7);
    EXPECT_EQ(Expand(bomb, 5000, &ok).size(), 5000u);
    EXPECT_TRUE(ok);
}

TEST(TrailingEntries, SizesAndMultibyteOverlap) {
    std::string_view r =
        "text"
        "\x05\x06\x83";
    ASSERT_TRUE(TrimTrailingEntries(r, 0b10));
    EXPECT_EQ(r, "text");
    // Two entries, the outer one's size in two groups (0x01 0x02 = 130).
    std::string two = "text" + std::string("\x01\x82", 2) + std::string(128, 'x') + "\x81\x02";
    r = two;
    ASSERT_TRUE(TrimTrailingEntries(r, 0b110));
    EXPECT_EQ(r, "text");
    // The multibyte overlap (the byte that ends the last character, then
    // its count) is innermost.
    r = "text\xD0\xB0\xD0\xB1\x01\x81";
    ASSERT_TRUE(TrimTrailingEntries(r, 0b11));
    EXPECT_EQ(r, "text\xD0\xB0\xD0");
    r = "text";
    ASSERT_TRUE(TrimTrailingEntries(r, 0));
    EXPECT_EQ(r, "text");
}

TEST(TrailingEntries, EntriesLargerThanTheRecordAreRefused) {
    std::string_view r = "ab\x8F";
    EXPECT_FALSE(TrimTrailingEntries(r, 0b10));
    r = std::string_view("ab\x80", 3);  // size 0
    EXPECT_FALSE(TrimTrailingEntries(r, 0b10));
    r = "\x03";
    EXPECT_FALSE(TrimTrailingEntries(r, 0b1));
    r = "";
    EXPECT_FALSE(TrimTrailingEntries(r, 0b1));
    r = "x\x81";
    EXPECT_FALSE(TrimTrailingEntries(r, 0b1110));  // the second entry finds nothing
}

// A HUFF record of `codes` (256 code table values) and `ranges` (the
// minimum and maximum code of each length, 32 pairs).
std::string Huff(const std::vector<uint32_t> &codes, const std::vector<uint32_t> &ranges) {
    std::string h = "HUFF" + Be32(24) + Be32(24) + Be32(24 + 1024) + std::string(8, '\0');
    for (uint32_t v : codes) h += Be32(v);
    for (uint32_t v : ranges) h += Be32(v);
    return h;
}
// 8-bit codes only: byte b names phrase 255 - b.
std::string ByteHuff() {
    std::vector<uint32_t> ranges(64, 0);
    ranges[2 * 7 + 1] = 255;
    return Huff(std::vector<uint32_t>(256, 255u << 8 | 0x80 | 8), ranges);
}
struct Phrase {
    std::string bytes;
    bool literal;
};
std::string Cdic(const std::vector<Phrase> &phrases, uint32_t bits = 8) {
    std::string offsets, data;
    for (const Phrase &p : phrases) {
        offsets += Be16(static_cast<uint32_t>(2 * phrases.size() + data.size()));
        data += Be16(static_cast<uint32_t>(p.bytes.size()) | (p.literal ? 0x8000 : 0)) + p.bytes;
    }
    return "CDIC" + Be32(16) + Be32(static_cast<uint32_t>(phrases.size())) + Be32(bits) + offsets +
           data;
}
std::string Codes(std::initializer_list<int> phrases) {
    std::string s;
    for (int p : phrases) s += static_cast<char>(255 - p);
    return s;
}

TEST(HuffCdic, PhrasesLiteralAndCompressed) {
    const std::string huff = ByteHuff();
    const std::string cdic =
        Cdic({{"Hola", true}, {" ", true}, {"mundo", true}, {Codes({1, 2}), false}});
    const std::vector<std::string_view> cdics{cdic};
    HuffCdicDecoder decoder;
    std::string error;
    ASSERT_TRUE(decoder.Load(huff, cdics, error)) << error;
    std::string out;
    ASSERT_TRUE(decoder.Expand(Codes({0, 3, 3}), 1 << 20, out));
    EXPECT_EQ(out, "Hola mundo mundo");
    out.clear();
    ASSERT_TRUE(decoder.Expand(Codes({0, 3, 3}), 7, out));
    EXPECT_EQ(out, "Hola mu");
}

TEST(HuffCdic, CodesOfSeveralLengths) {
    // Codes 0xxxxxxx name phrases by their first bit (length 1, not
    // terminal in the table: the ranges decide); codes 1xxxxxxx are 2 bits
    // long and terminal.
    std::vector<uint32_t> codes(256);
    for (int b = 0; b < 256; ++b)
        codes[b] = b < 128 ? 1 : (3u << 8 | 0x80 | 2);  // max code 3 of length 2
    std::vector<uint32_t> ranges(64, 0);
    ranges[0] = 0, ranges[1] = 0;  // length 1: code 0, phrase 0
    const std::string huff = Huff(codes, ranges);
    const std::string cdic = Cdic({{"a", true}, {"b", true}, {"c", true}});
    const std::vector<std::string_view> cdics{cdic};
    HuffCdicDecoder decoder;
    std::string error;
    ASSERT_TRUE(decoder.Load(huff, cdics, error)) << error;
    // Bits: 0 (phrase 0 "a"), 11 (3 - 3 = phrase 0 "a"), 10 (phrase 1 "b"),
    // then padding zeros, which name "a" while whole codes fit.
    std::string out;
    ASSERT_TRUE(decoder.Expand(std::string(1, static_cast<char>(0b01110000)), 1 << 20, out));
    EXPECT_EQ(out, "aabaaa");
}

TEST(HuffCdic, MalformedTablesAndLoops) {
    const std::string huff = ByteHuff();
    std::string error;
    HuffCdicDecoder decoder;
    const std::string good = Cdic({{"x", true}});
    // Tables or phrases that do not lie in their records.
    EXPECT_FALSE(decoder.Load(huff.substr(0, 600), std::vector<std::string_view>{good}, error));
    EXPECT_FALSE(decoder.Load("HUFF", std::vector<std::string_view>{good}, error));
    std::vector<uint32_t> zero(256, 0);
    EXPECT_FALSE(decoder.Load(Huff(zero, std::vector<uint32_t>(64, 0)),
                              std::vector<std::string_view>{good}, error));
    const std::string cut = good.substr(0, good.size() - 1);
    EXPECT_FALSE(decoder.Load(huff, std::vector<std::string_view>{cut}, error));
    std::string badOffset = good;
    Put16(badOffset, 16, 0x7000);
    EXPECT_FALSE(decoder.Load(huff, std::vector<std::string_view>{badOffset}, error));
    EXPECT_FALSE(decoder.Load(huff, std::vector<std::string_view>{Cdic({{"x", true}}, 17)}, error));
    EXPECT_FALSE(decoder.Load(huff, std::vector<std::string_view>{}, error));

    // A phrase that contains itself, directly or through another.
    const std::string loop = Cdic({{Codes({0}), false}, {Codes({2}), false}, {Codes({1}), false}});
    ASSERT_TRUE(decoder.Load(huff, std::vector<std::string_view>{loop}, error));
    std::string out;
    EXPECT_FALSE(decoder.Expand(Codes({0}), 1 << 20, out));
    EXPECT_FALSE(decoder.Expand(Codes({1}), 1 << 20, out));
    // A code past the dictionary.
    ASSERT_TRUE(decoder.Load(huff, std::vector<std::string_view>{good}, error));
    EXPECT_FALSE(decoder.Expand(Codes({5}), 1 << 20, out));

    // Phrases that double at each level: refused once one expands past
    // its bound, never built in full.
    std::vector<Phrase> doubling{{std::string(200, 'z'), true}};
    for (int i = 1; i < 40; ++i) doubling.push_back({Codes({i - 1, i - 1}), false});
    const std::string bomb = Cdic(doubling);
    ASSERT_TRUE(decoder.Load(huff, std::vector<std::string_view>{bomb}, error));
    out.clear();
    EXPECT_FALSE(decoder.Expand(Codes({39}), 1u << 30, out));
    EXPECT_LT(out.size(), 1u << 20);
}

// A Mobipocket book of one uncompressed text record.
std::string Book(const std::string &text, Zero z = {}) {
    z.textLength = static_cast<uint32_t>(text.size());
    return Pdb({Record0(z), text});
}

TEST(PalmBookReader, HeadersCharsetsAndRecords) {
    PalmBook book = Read(Book("<p>Hola</p>"));
    ASSERT_TRUE(book.ok) << book.error;
    EXPECT_TRUE(book.html);
    EXPECT_EQ(book.charset, "UTF-8");
    EXPECT_EQ(book.bytes, "<p>Hola</p>");
    Zero latin;
    latin.encoding = 1252;
    EXPECT_EQ(Read(Book("x", latin)).charset, "windows-1252");
    latin.encoding = 1250;  // not one the header may name: the bytes decide
    EXPECT_EQ(Read(Book("x", latin)).charset, "");

    // Three LZ77 records with trailing entries; the text stops at the
    // length the header gives.
    Zero z;
    z.compression = 2;
    z.textRecords = 3;
    z.textLength = 11;
    z.flags = 0b11;
    const std::string trail("\x00\x81", 2);
    book = Read(Pdb({Record0(z), "abc" + trail, "def" + trail, "ghijkl" + trail, "\xE9\x8E\r\n"}));
    ASSERT_TRUE(book.ok) << book.error;
    EXPECT_EQ(book.bytes, "abcdefghijk");
    // A short header has no extra data flags: the bytes are text.
    z.compression = 1;
    z.headerLength = 0xE0;
    z.textLength = 100;
    book = Read(Pdb({Record0(z), "abc" + trail, "def", "ghi", "x"}));
    ASSERT_TRUE(book.ok) << book.error;
    EXPECT_EQ(book.bytes, "abc" + trail + "defghi");

    // A PalmDoc book: plain text, no MOBI header, the bytes decide.
    std::string zero(16, '\0');
    Put16(zero, 0, 1);
    Put32(zero, 4, 5);
    Put16(zero, 8, 1);
    Put16(zero, 12, 7);  // a reading position, not encryption
    book = Read(Pdb({zero, "Hello"}, "TEXtREAd"));
    ASSERT_TRUE(book.ok) << book.error;
    EXPECT_FALSE(book.html);
    EXPECT_EQ(book.charset, "");
    EXPECT_EQ(book.bytes, "Hello");
}

TEST(PalmBookReader, HuffCdicBook) {
    Zero z;
    z.compression = 17480;
    z.textLength = 100;
    z.huffRecord = 2;
    z.huffCount = 2;
    const std::string cdic = Cdic({{"Guten ", true}, {"Tag", true}});
    PalmBook book = Read(Pdb({Record0(z), Codes({0, 1}), ByteHuff(), cdic}));
    ASSERT_TRUE(book.ok) << book.error;
    EXPECT_EQ(book.bytes, "Guten Tag");
    // The HUFF records among the text records, or past the list.
    for (const auto &[record, count] :
         std::vector<std::pair<uint32_t, uint32_t>>{{1, 2}, {2, 3}, {2, 1}, {9, 2}}) {
        z.huffRecord = record, z.huffCount = count;
        EXPECT_FALSE(Read(Pdb({Record0(z), Codes({0, 1}), ByteHuff(), cdic})).ok)
            << record << " " << count;
    }
    // HUFF/CDIC is Mobipocket's: a PalmDoc book with it is refused.
    std::string zero(16, '\0');
    Put16(zero, 0, 17480);
    Put16(zero, 8, 1);
    EXPECT_FALSE(Read(Pdb({zero, "x"}, "TEXtREAd")).ok);
}

TEST(PalmBookReader, DamagedAndEncryptedBooksAreRefused) {
    const std::string good = Book("<p>text</p>");
    ASSERT_TRUE(Read(good).ok);
    const auto refused = [](std::string file, const char *what) {
        const PalmBook book = Read(file);
        EXPECT_FALSE(book.ok) << what;
        EXPECT_FALSE(book.error.empty()) << what;
        EXPECT_TRUE(book.bytes.empty()) << what;
    };
    refused(good.substr(0, 70), "shorter than the header");
    std::string s = good;
    s.replace(60, 8, "TEXtXXXX");
    refused(s, "another database type");
    s = good;
    Put16(s, 76, 0);
    refused(s, "no records");
    s = good;
    Put16(s, 76, 500);
    refused(s, "a record list past the end");
    s = good;
    Put32(s, 78, 40);
    refused(s, "a record inside the list");
    s = good;
    Put32(s, 86, static_cast<uint32_t>(good.size() + 1));
    refused(s, "a record past the end");
    s = good;
    Put32(s, 86, 95);
    refused(s, "offsets that do not grow");
    refused(Pdb({std::string(10, '\0'), "x"}), "record 0 shorter than its header");
    Zero z;
    z.encryption = 2;
    refused(Book("x", z), "encrypted");
    z = {};
    z.compression = 3;
    refused(Book("x", z), "unknown compression");
    z = {};
    z.textRecords = 2;
    refused(Book("x", z), "text records past the list");
    z = {};
    z.firstNonBook = 1;
    refused(Pdb({Record0(z), "x", "y"}), "text records past the first non-book record");
    s = Record0({});
    s.replace(16, 4, "XXXX");
    refused(Pdb({s, "x"}), "no MOBI header");
    z = {};
    z.compression = 2;
    refused(Book(Be16(0x8000 | 9 << 3), z), "a back reference before the start");
    z.flags = 0b10;
    refused(Book("ab\xFF", z), "a trailing entry larger than the record");
}

TEST(PalmBookReader, OutputStopsAtItsBound) {
    // A record of back references expands 5 times; 200 of them would give
    // about 8 MB.
    std::string record = "a";
    for (int i = 0; i < 4000; ++i) record += Be16(0x8000 | 1 << 3 | 7);
    Zero z;
    z.compression = 2;
    z.textRecords = 200;
    z.textLength = 0xFFFFFFFF;
    std::vector<std::string> records{Record0(z)};
    for (int i = 0; i < 200; ++i) records.push_back(record);
    const PalmBook book = Read(Pdb(records), 1u << 20);
    ASSERT_TRUE(book.ok) << book.error;
    EXPECT_EQ(book.bytes.size(), 1u << 20);
}

TEST(EbookRules, PalmDatabasesAreTakenStrictly) {
    const std::string good = Book("<p>text</p>");
    EXPECT_EQ(Sniffed(good), 350);
    std::string zero(16, '\0');
    Put16(zero, 0, 2);
    EXPECT_EQ(Sniffed(Pdb({zero, "x"}, "TEXtREAd")), 350);
    // Another type, a name without its NUL or with control bytes, no
    // records, offsets out of order or past the end, a compression that is
    // none of the three: not a book.
    std::string s = good;
    s.replace(60, 8, "DATAappl");
    EXPECT_NE(Sniffed(s), 350);
    s = good;
    s.replace(0, 32, std::string(32, 'N'));
    EXPECT_NE(Sniffed(s), 350);
    s = good;
    s[1] = '\x01';
    EXPECT_NE(Sniffed(s), 350);
    s = good;
    s[0] = '\0';
    EXPECT_NE(Sniffed(s), 350);
    s = good;
    Put16(s, 76, 0);
    EXPECT_NE(Sniffed(s), 350);
    s = good;
    Put32(s, 86, 80);
    EXPECT_NE(Sniffed(s), 350);
    EXPECT_NE(Sniffed(good.substr(0, 90)), 350);
    s = good;
    Put16(s, 96, 5);
    EXPECT_NE(Sniffed(s), 350);
}

TEST(EbookRules, FictionBookByItsRootElement) {
    const std::string body =
        "<FictionBook xmlns=\"http://www.gribuser.ru/xml/fictionbook/2.0\">"
        "<body><p>Текст</p></body></FictionBook>";
    EXPECT_EQ(Sniffed(body), 351);
    EXPECT_EQ(Sniffed("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- c -->\n"
                      "<?pi x?><!DOCTYPE FictionBook [<!ENTITY a \"b\">]>\n" +
                      body),
              351);
    EXPECT_EQ(Sniffed("<fb:FictionBook xmlns:fb=\"urn:x\"><fb:body/></fb:FictionBook>"), 351);
    // UTF-16 with its mark.
    std::string wide = "\xFF\xFE";
    for (char c : std::string("<?xml version=\"1.0\" encoding=\"UTF-16\"?><FictionBook/>")) {
        wide += c;
        wide += '\0';
    }
    EXPECT_EQ(Sniffed(wide), 351);
    // Other roots, and FictionBook only as content or a child: XML.
    EXPECT_EQ(Sniffed("<?xml version=\"1.0\"?><FictionBooks/>"), 285);
    EXPECT_EQ(Sniffed("<?xml version=\"1.0\"?><x:a xmlns:x=\"u\"><FictionBook/></x:a>"), 285);
    EXPECT_NE(Sniffed("FictionBook <FictionBook>"), 351);
    EXPECT_NE(Sniffed("<?xml version=\"1.0\"<FictionBook>"), 351);
}

std::string Fb2(const std::string &body, const std::string &encoding = "utf-8") {
    return "<?xml version=\"1.0\" encoding=\"" + encoding +
           "\"?>\n<FictionBook xmlns=\"http://www.gribuser.ru/xml/fictionbook/2.0\">"
           "<description><title-info><genre>sf_history</genre><author><first-name>John"
           "</first-name></author><book-title>Der Titel</book-title><annotation><p>Eine "
           "Einleitung.</p></annotation><lang>de</lang></title-info><src-title-info><book-title>"
           "Original Title</book-title></src-title-info><document-info><program-used>Some "
           "Program</program-used><id>abc-123</id></document-info></description>"
           "<binary id=\"c\" content-type=\"image/png\">QUJDREVGR0g=</binary>" +
           body + "<binary id=\"d\" content-type=\"image/png\">SUpLTE1O</binary></FictionBook>";
}

std::string Lines(const dxf::FictionBookText &text) {
    std::string out;
    for (const std::string &line : text.lines) out += line + "\n";
    return out;
}

TEST(FictionBookReader, TitleAnnotationAndBodies) {
    const std::string doc =
        Fb2("<body><title><p>Kapitel</p></title><epigraph><p>Ein Spruch</p><text-author>Jemand"
            "</text-author></epigraph><section><p>Erster <emphasis>Absatz</emphasis> hier.</p>"
            "<empty-line/><poem><stanza><v>Zeile eins</v><v>Zeile\nzwei</v></stanza></poem>"
            "<table><tr><td>A</td><td>B</td></tr></table></section></body>"
            "<body name=\"notes\"><section><p>Eine Fußnote.</p></section></body>");
    const auto text = ReadFictionBook(doc, EbookBounds{});
    ASSERT_TRUE(text.ok) << text.error;
    EXPECT_EQ(Lines(text),
              "Der Titel\nEine Einleitung.\nKapitel\nEin Spruch\nJemand\nErster Absatz hier.\n"
              "Zeile eins\nZeile zwei\nA\nB\nEine Fußnote.\n");
}

TEST(FictionBookReader, CharsetsAndTheZippedForm) {
    // windows-1251, as its declaration says.
    const std::string cp1251 = Fb2("<body><p>\xCF\xF0\xE8\xE2\xE5\xF2</p></body>", "windows-1251");
    auto text = ReadFictionBook(cp1251, EbookBounds{});
    ASSERT_TRUE(text.ok) << text.error;
    EXPECT_EQ(text.lines.back(), "Привет");

    // A zip archive holding it, stored and deflated.
    const std::string doc = Fb2("<body><p>Im Zip</p></body>");
    const auto zip = [&](bool deflated, int entries) {
        std::string data = doc;
        if (deflated) {
            z_stream z{};
            deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
            data.assign(compressBound(static_cast<uLong>(doc.size())) + 64, '\0');
            z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(doc.data()));
            z.avail_in = static_cast<uInt>(doc.size());
            z.next_out = reinterpret_cast<Bytef *>(data.data());
            z.avail_out = static_cast<uInt>(data.size());
            deflate(&z, Z_FINISH);
            data.resize(z.total_out);
            deflateEnd(&z);
        }
        const std::string name = "book.fb2";
        std::string local = "PK\x03\x04" + std::string(26, '\0');
        local[8] = deflated ? 8 : 0;
        for (int k = 0; k < 4; ++k) {
            local[18 + k] = static_cast<char>(data.size() >> (8 * k));
            local[22 + k] = static_cast<char>(doc.size() >> (8 * k));
        }
        local[26] = static_cast<char>(name.size());
        std::string central = "PK\x01\x02" + std::string(42, '\0');
        central[10] = deflated ? 8 : 0;
        for (int k = 0; k < 4; ++k) central[20 + k] = local[18 + k];
        central[28] = static_cast<char>(name.size());
        const std::string file = local + name + data;
        std::string end = "PK\x05\x06" + std::string(18, '\0');
        end[10] = static_cast<char>(entries);
        end[12] = static_cast<char>(central.size() + name.size());
        for (int k = 0; k < 4; ++k) end[16 + k] = static_cast<char>(file.size() >> (8 * k));
        return file + central + name + end;
    };
    for (bool deflated : {false, true}) {
        text = ReadFictionBook(zip(deflated, 1), EbookBounds{});
        ASSERT_TRUE(text.ok) << text.error;
        EXPECT_TRUE(text.error.empty()) << text.error;
        EXPECT_EQ(text.lines.back(), "Im Zip");
    }
    EXPECT_FALSE(ReadFictionBook(zip(true, 2), EbookBounds{}).ok);
    std::string damaged = zip(true, 1);
    damaged[damaged.size() - 3] = 0x7F;  // the directory past the end
    EXPECT_FALSE(ReadFictionBook(damaged, EbookBounds{}).ok);
    damaged = zip(true, 1);
    damaged[damaged.size() - 10] = 46;  // a directory too short for the member's name
    EXPECT_FALSE(ReadFictionBook(damaged, EbookBounds{}).ok);
}

TEST(FictionBookReader, TheFindersEntriesBesideTheBook) {
    // Zipped by the macOS Finder: the book and its AppleDouble file.
    using dxfilter_zip::StoredZip;
    const std::string doc = Fb2("<body><p>Vom Mac</p></body>");
    for (const auto &zip :
         {StoredZip({{"book.fb2", doc}, {"__MACOSX/", ""}, {"__MACOSX/._book.fb2", "x"}}),
          StoredZip({{"._book.fb2", "x"}, {".DS_Store", "x"}, {"book.fb2", doc}})}) {
        const auto text = ReadFictionBook(zip, EbookBounds{});
        ASSERT_TRUE(text.ok) << text.error;
        EXPECT_EQ(text.lines.back(), "Vom Mac");
    }
    // No book beside them, or a second member: refused.
    EXPECT_FALSE(ReadFictionBook(StoredZip({{"__MACOSX/._book.fb2", doc}}), EbookBounds{}).ok);
    EXPECT_FALSE(
        ReadFictionBook(StoredZip({{"book.fb2", doc}, {"__MACOSX/._book.fb2", "x"}, {"a", "x"}}),
                        EbookBounds{})
            .ok);
}

TEST(FictionBookReader, OtherDocumentsAndBounds) {
    EXPECT_FALSE(
        ReadFictionBook("<?xml version=\"1.0\"?><html><body><p>x</p></body></html>", EbookBounds{})
            .ok);
    EXPECT_FALSE(ReadFictionBook("", EbookBounds{}).ok);
    EXPECT_FALSE(ReadFictionBook("PK\x03\x04 not really", EbookBounds{}).ok);
    // No entity is expanded, and no DTD is loaded.
    const auto entities = ReadFictionBook(
        "<?xml version=\"1.0\"?><!DOCTYPE FictionBook SYSTEM \"/etc/passwd\" [<!ENTITY e "
        "\"expanded\">]><FictionBook><body><p>a &e; b</p></body></FictionBook>",
        EbookBounds{});
    ASSERT_TRUE(entities.ok);
    EXPECT_EQ(Lines(entities).find("expanded"), std::string::npos);
    EXPECT_EQ(Lines(entities).find("root:"), std::string::npos);
    // Damage after some text: what came before stays.
    const auto cut = ReadFictionBook(Fb2("<body><p>Vorher</p><p>Nach").substr(0, 900), {});
    EXPECT_TRUE(cut.ok);
    // Gathering stops at its bound.
    std::string many = "<FictionBook><body>";
    for (int i = 0; i < 20000; ++i) many += "<p>Ein Absatz mit einigen Wörtern.</p>";
    many += "</body></FictionBook>";
    EbookBounds bounds;
    bounds.maxText = 10000;
    const auto capped = ReadFictionBook(many, bounds);
    ASSERT_TRUE(capped.ok);
    size_t total = 0;
    for (const std::string &line : capped.lines) total += line.size();
    EXPECT_GE(total, 10000u);
    EXPECT_LT(total, 10100u);
}

}  // namespace
