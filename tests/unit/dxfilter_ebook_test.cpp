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

#include "dxfilter_test_support.h"
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
using dxfilter_test::Be;
using dxfilter_test::Sniffed;

std::string Be16(uint32_t v) {
    return Be(v, 2);
}
std::string Be32(uint32_t v) {
    return Be(v, 4);
}
// `s` with `bytes` at `at`.
std::string With(std::string s, size_t at, const std::string &bytes) {
    s.replace(at, bytes.size(), bytes);
    return s;
}

// A Palm database of `records` with type and creator `kind`.
std::string Pdb(const std::vector<std::string> &records, const std::string &kind = "BOOKMOBI") {
    std::string out = "Book" + std::string(56, '\0') + kind + std::string(8, '\0') +
                      Be16(static_cast<uint32_t>(records.size()));
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
    std::string r = Be16(z.compression) + Be16(0) + Be32(z.textLength) + Be16(z.textRecords) +
                    Be16(4096) + Be16(z.encryption) + Be16(0) + "MOBI" + Be32(z.headerLength) +
                    Be32(0) + Be32(z.encoding) + std::string(80 - 32, '\0') + Be32(z.firstNonBook) +
                    std::string(112 - 84, '\0') + Be32(z.huffRecord) + Be32(z.huffCount);
    r.resize(16 + 0xE8);
    return With(r, 242, Be16(z.flags));
}

PalmBook Read(const std::string &file, size_t maxBytes = 16u << 20) {
    EbookBounds bounds;
    bounds.maxBytes = maxBytes;
    return ReadPalmBook(file, bounds);
}

TEST(PalmDocLz77, LiteralsSpacePairsBackReferencesAndDamage) {
    const struct {
        std::string in;
        const char *out;  // nullptr: refused
    } cases[] = {
        {"abc", "abc"},
        // A literal run carries bytes that would otherwise be codes.
        {std::string("\x03\x01\xC3\xA9", 4), "\x01\xC3\xA9"},
        // 0xC0-0xFF: a space and the byte without its high bit.
        {"a\xE2\xEF", "a b o"},
        // A back reference of distance 3 and length 3 + 4, overlapping itself.
        {"abc" + Be16(0x8000 | 3 << 3 | 4), "abcabcabca"},
        // A reference before the start or of distance 0; a pair or a literal
        // run cut by the end.
        {Be16(0x8000 | 1 << 3), nullptr},
        {"ab" + Be16(0x8000 | 0 << 3), nullptr},
        {"ab\x80", nullptr},
        {"\x05xy", nullptr},
    };
    for (const auto &c : cases) {
        std::string out;
        EXPECT_EQ(PalmDocExpand(c.in, 1 << 20, out), c.out != nullptr) << c.in;
        if (c.out) {
            EXPECT_EQ(out, c.out) << c.in;
        }
    }
    // Each record decompresses on its own: a reference reaches only back
    // to the start of the record's own output.
    std::string out = "previous record";
    EXPECT_FALSE(PalmDocExpand("a" + Be16(0x8000 | 2 << 3), 1 << 20, out));
    EXPECT_EQ(out, "previous recorda");
    // Output stops at the cap, however far the codes would take it.
    std::string bomb = "a";
    for (int i = 0; i < 100000; ++i) bomb += Be16(0x8000 | 1 << 3 | 7);
    out.clear();
    EXPECT_TRUE(PalmDocExpand(bomb, 5000, out));
    EXPECT_EQ(out.size(), 5000u);
}

TEST(TrailingEntries, SizesMultibyteOverlapAndEntriesLargerThanTheRecord) {
    const struct {
        std::string record;
        uint16_t flags;
        const char *left;  // nullptr: refused
    } cases[] = {
        {"text\x05\x06\x83", 0b10, "text"},
        // Two entries, the outer one's size in two groups (0x01 0x02 = 130).
        {"text\x01\x82" + std::string(128, 'x') + "\x81\x02", 0b110, "text"},
        // The multibyte overlap (the byte that ends the last character, then
        // its count) is innermost.
        {"text\xD0\xB0\xD0\xB1\x01\x81", 0b11, "text\xD0\xB0\xD0"},
        {"text", 0, "text"},
        {"ab\x8F", 0b10, nullptr},
        {std::string("ab\x80", 3), 0b10, nullptr},  // size 0
        {"\x03", 0b1, nullptr},
        {"", 0b1, nullptr},
        {"x\x81", 0b1110, nullptr},  // the second entry finds nothing
    };
    for (const auto &c : cases) {
        std::string_view r = c.record;
        EXPECT_EQ(TrimTrailingEntries(r, c.flags), c.left != nullptr) << c.record;
        if (c.left) {
            EXPECT_EQ(r, c.left) << c.record;
        }
    }
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

// `decoder` loaded with `huff` and one CDIC record, whose phrases it goes on
// reading: the record must outlive the decoding.
bool Load(HuffCdicDecoder &decoder, const std::string &huff, const std::string &cdic) {
    std::string error;
    const std::string_view cdics[] = {cdic};
    return decoder.Load(huff, cdics, error);
}
bool Load(HuffCdicDecoder &, const std::string &, std::string &&) = delete;

TEST(HuffCdic, PhrasesLiteralAndCompressed) {
    HuffCdicDecoder decoder;
    const std::string cdic =
        Cdic({{"Hola", true}, {" ", true}, {"mundo", true}, {Codes({1, 2}), false}});
    ASSERT_TRUE(Load(decoder, ByteHuff(), cdic));
    for (auto [cap, text] : {std::pair{size_t{1} << 20, "Hola mundo mundo"}, {7, "Hola mu"}}) {
        std::string out;
        ASSERT_TRUE(decoder.Expand(Codes({0, 3, 3}), cap, out));
        EXPECT_EQ(out, text);
    }
}

TEST(HuffCdic, CodesOfSeveralLengths) {
    // Codes 0xxxxxxx name phrases by their first bit (length 1, not
    // terminal in the table: the ranges decide); codes 1xxxxxxx are 2 bits
    // long and terminal.
    std::vector<uint32_t> codes(256);
    for (int b = 0; b < 256; ++b)
        codes[b] = b < 128 ? 1 : (3u << 8 | 0x80 | 2);  // max code 3 of length 2
    // Length 1: code 0, phrase 0.
    HuffCdicDecoder decoder;
    const std::string cdic = Cdic({{"a", true}, {"b", true}, {"c", true}});
    ASSERT_TRUE(Load(decoder, Huff(codes, std::vector<uint32_t>(64, 0)), cdic));
    // Bits: 0 (phrase 0 "a"), 11 (3 - 3 = phrase 0 "a"), 10 (phrase 1 "b"),
    // then padding zeros, which name "a" while whole codes fit.
    std::string out;
    ASSERT_TRUE(decoder.Expand(std::string(1, static_cast<char>(0b01110000)), 1 << 20, out));
    EXPECT_EQ(out, "aabaaa");
}

TEST(HuffCdic, MalformedTablesAndLoops) {
    const std::string huff = ByteHuff();
    HuffCdicDecoder decoder;
    const std::string good = Cdic({{"x", true}});
    // Tables or phrases that do not lie in their records.
    EXPECT_FALSE(Load(decoder, huff.substr(0, 600), good));
    EXPECT_FALSE(Load(decoder, "HUFF", good));
    EXPECT_FALSE(
        Load(decoder, Huff(std::vector<uint32_t>(256, 0), std::vector<uint32_t>(64, 0)), good));
    for (const std::string &bad :
         {good.substr(0, good.size() - 1), With(good, 16, Be16(0x7000)), Cdic({{"x", true}}, 17)})
        EXPECT_FALSE(Load(decoder, huff, bad));
    std::string error;
    EXPECT_FALSE(decoder.Load(huff, {}, error));

    // A phrase that contains itself, directly or through another.
    const std::string loop = Cdic({{Codes({0}), false}, {Codes({2}), false}, {Codes({1}), false}});
    ASSERT_TRUE(Load(decoder, huff, loop));
    std::string out;
    EXPECT_FALSE(decoder.Expand(Codes({0}), 1 << 20, out));
    EXPECT_FALSE(decoder.Expand(Codes({1}), 1 << 20, out));
    // A code past the dictionary.
    ASSERT_TRUE(Load(decoder, huff, good));
    EXPECT_FALSE(decoder.Expand(Codes({5}), 1 << 20, out));

    // Phrases that double at each level: refused once one expands past
    // its bound, never built in full.
    std::vector<Phrase> doubling{{std::string(200, 'z'), true}};
    for (int i = 1; i < 40; ++i) doubling.push_back({Codes({i - 1, i - 1}), false});
    const std::string bomb = Cdic(doubling);
    ASSERT_TRUE(Load(decoder, huff, bomb));
    out.clear();
    EXPECT_FALSE(decoder.Expand(Codes({39}), 1u << 30, out));
    EXPECT_LT(out.size(), 1u << 20);
}

// A Mobipocket book of one uncompressed text record.
std::string Book(const std::string &text, Zero z = {}) {
    z.textLength = static_cast<uint32_t>(text.size());
    return Pdb({Record0(z), text});
}

// Record 0 of a PalmDoc book of one text record: no MOBI header.
std::string PalmDocZero(uint32_t compression, uint32_t textLength = 0, uint32_t position = 0) {
    return Be16(compression) + Be16(0) + Be32(textLength) + Be16(1) + Be16(0) + Be16(position) +
           Be16(0);
}

TEST(PalmBookReader, HeadersCharsetsAndRecords) {
    PalmBook book = Read(Book("<p>Hola</p>"));
    ASSERT_TRUE(book.ok) << book.error;
    EXPECT_TRUE(book.html);
    EXPECT_EQ(book.charset, "UTF-8");
    EXPECT_EQ(book.bytes, "<p>Hola</p>");
    EXPECT_EQ(Read(Book("x", {.encoding = 1252})).charset, "windows-1252");
    // Not one the header may name: the bytes decide.
    EXPECT_EQ(Read(Book("x", {.encoding = 1250})).charset, "");

    // Three LZ77 records with trailing entries; the text stops at the
    // length the header gives.
    const std::string trail("\x00\x81", 2);
    book = Read(Pdb({Record0({.compression = 2, .textLength = 11, .textRecords = 3, .flags = 0b11}),
                     "abc" + trail, "def" + trail, "ghijkl" + trail, "\xE9\x8E\r\n"}));
    ASSERT_TRUE(book.ok) << book.error;
    EXPECT_EQ(book.bytes, "abcdefghijk");
    // A short header has no extra data flags: the bytes are text.
    book = Read(
        Pdb({Record0({.textLength = 100, .textRecords = 3, .flags = 0b11, .headerLength = 0xE0}),
             "abc" + trail, "def", "ghi", "x"}));
    ASSERT_TRUE(book.ok) << book.error;
    EXPECT_EQ(book.bytes, "abc" + trail + "defghi");

    // A PalmDoc book: plain text, no MOBI header, the bytes decide; 7 is a
    // reading position, not encryption.
    book = Read(Pdb({PalmDocZero(1, 5, 7), "Hello"}, "TEXtREAd"));
    ASSERT_TRUE(book.ok) << book.error;
    EXPECT_FALSE(book.html);
    EXPECT_EQ(book.charset, "");
    EXPECT_EQ(book.bytes, "Hello");
}

TEST(PalmBookReader, HuffCdicBook) {
    const auto book = [](uint32_t record, uint32_t count) {
        return Read(Pdb({Record0({.compression = 17480,
                                  .textLength = 100,
                                  .huffRecord = record,
                                  .huffCount = count}),
                         Codes({0, 1}), ByteHuff(), Cdic({{"Guten ", true}, {"Tag", true}})}));
    };
    const PalmBook good = book(2, 2);
    ASSERT_TRUE(good.ok) << good.error;
    EXPECT_EQ(good.bytes, "Guten Tag");
    // The HUFF records among the text records, or past the list.
    for (auto [record, count] : {std::pair{1, 2}, {2, 3}, {2, 1}, {9, 2}})
        EXPECT_FALSE(book(record, count).ok) << record << " " << count;
    // HUFF/CDIC is Mobipocket's: a PalmDoc book with it is refused.
    EXPECT_FALSE(Read(Pdb({PalmDocZero(17480), "x"}, "TEXtREAd")).ok);
}

TEST(PalmBookReader, DamagedAndEncryptedBooksAreRefused) {
    const std::string good = Book("<p>text</p>");
    ASSERT_TRUE(Read(good).ok);
    const std::pair<std::string, const char *> cases[] = {
        {good.substr(0, 70), "shorter than the header"},
        {With(good, 60, "TEXtXXXX"), "another database type"},
        {With(good, 76, Be16(0)), "no records"},
        {With(good, 76, Be16(500)), "a record list past the end"},
        {With(good, 78, Be32(40)), "a record inside the list"},
        {With(good, 86, Be32(static_cast<uint32_t>(good.size() + 1))), "a record past the end"},
        {With(good, 86, Be32(95)), "offsets that do not grow"},
        {Pdb({std::string(10, '\0'), "x"}), "record 0 shorter than its header"},
        {Book("x", {.encryption = 2}), "encrypted"},
        {Book("x", {.compression = 3}), "unknown compression"},
        {Book("x", {.textRecords = 2}), "text records past the list"},
        {Pdb({Record0({.firstNonBook = 1}), "x", "y"}),
         "text records past the first non-book record"},
        {Pdb({With(Record0({}), 16, "XXXX"), "x"}), "no MOBI header"},
        {Book(Be16(0x8000 | 9 << 3), {.compression = 2}), "a back reference before the start"},
        {Book("ab\xFF", {.compression = 2, .flags = 0b10}),
         "a trailing entry larger than the record"},
    };
    for (const auto &[file, what] : cases) {
        const PalmBook book = Read(file);
        EXPECT_FALSE(book.ok) << what;
        EXPECT_FALSE(book.error.empty()) << what;
        EXPECT_TRUE(book.bytes.empty()) << what;
    }
}

TEST(PalmBookReader, OutputStopsAtItsBound) {
    // A record of back references expands 5 times; 200 of them would give
    // about 8 MB.
    std::string record = "a";
    for (int i = 0; i < 4000; ++i) record += Be16(0x8000 | 1 << 3 | 7);
    std::vector<std::string> records{
        Record0({.compression = 2, .textLength = 0xFFFFFFFF, .textRecords = 200})};
    records.resize(201, record);
    const PalmBook book = Read(Pdb(records), 1u << 20);
    ASSERT_TRUE(book.ok) << book.error;
    EXPECT_EQ(book.bytes.size(), 1u << 20);
}

TEST(EbookRules, PalmDatabasesAreTakenStrictly) {
    const std::string good = Book("<p>text</p>");
    EXPECT_EQ(Sniffed(good), 350);
    EXPECT_EQ(Sniffed(Pdb({PalmDocZero(2), "x"}, "TEXtREAd")), 350);
    // Another type, a name without its NUL or with control bytes, no
    // records, offsets out of order or past the end, a compression that is
    // none of the three: not a book.
    const std::string others[] = {
        With(good, 60, "DATAappl"), With(good, 0, std::string(32, 'N')),
        With(good, 1, "\x01"),      With(good, 0, std::string(1, '\0')),
        With(good, 76, Be16(0)),    With(good, 86, Be32(80)),
        good.substr(0, 90),         With(good, 96, Be16(5)),
    };
    for (const std::string &s : others) EXPECT_NE(Sniffed(s), 350) << &s - others;
}

TEST(EbookRules, FictionBookByItsRootElement) {
    const std::string body =
        "<FictionBook xmlns=\"http://www.gribuser.ru/xml/fictionbook/2.0\">"
        "<body><p>Текст</p></body></FictionBook>";
    std::string wide = "\xFF\xFE";  // UTF-16 with its mark
    for (char c : std::string("<?xml version=\"1.0\" encoding=\"UTF-16\"?><FictionBook/>"))
        wide += std::string{c, '\0'};
    for (const std::string &doc :
         {body, wide, std::string("<fb:FictionBook xmlns:fb=\"urn:x\"><fb:body/></fb:FictionBook>"),
          "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- c -->\n"
          "<?pi x?><!DOCTYPE FictionBook [<!ENTITY a \"b\">]>\n" +
              body})
        EXPECT_EQ(Sniffed(doc), 351) << doc;
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

    // A zip archive holding it, stored and deflated (method 8 in the local
    // and the central header, the inflated size after the stored one).
    const std::string doc = Fb2("<body><p>Im Zip</p></body>");
    // A zlib stream is the deflated data between a 2-byte header and a
    // 4-byte checksum.
    uLongf size = compressBound(static_cast<uLong>(doc.size()));
    std::string zlib(size, '\0');
    ASSERT_EQ(compress2(reinterpret_cast<Bytef *>(zlib.data()), &size,
                        reinterpret_cast<const Bytef *>(doc.data()), doc.size(), 9),
              Z_OK);
    const std::string deflated = zlib.substr(2, size - 6);
    std::string zipped = dxfilter_zip::StoredZip({{"book.fb2", deflated}});
    const size_t central = 30 + 8 + deflated.size(), end = zipped.size() - 22;
    for (size_t at : {size_t{8}, central + 10}) zipped[at] = 8;
    for (size_t at : {size_t{22}, central + 24})
        for (int k = 0; k < 4; ++k) zipped[at + k] = static_cast<char>(doc.size() >> (8 * k));
    for (const std::string &zip : {dxfilter_zip::StoredZip({{"book.fb2", doc}}), zipped}) {
        text = ReadFictionBook(zip, EbookBounds{});
        ASSERT_TRUE(text.ok) << text.error;
        EXPECT_TRUE(text.error.empty()) << text.error;
        EXPECT_EQ(text.lines.back(), "Im Zip");
    }
    // Two entries counted, the directory past the end, a directory too
    // short for the member's name: refused.
    for (auto [at, value] : {std::pair{end + 10, 2}, {end + 19, 0x7F}, {end + 12, 46}}) {
        std::string damaged = zipped;
        damaged[at] = static_cast<char>(value);
        EXPECT_FALSE(ReadFictionBook(damaged, EbookBounds{}).ok) << at - end;
    }
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
    for (const char *other :
         {"<?xml version=\"1.0\"?><html><body><p>x</p></body></html>", "", "PK\x03\x04 not really"})
        EXPECT_FALSE(ReadFictionBook(other, EbookBounds{}).ok) << other;
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
