// Message catalogs: the format rules that tell gettext, Qt and XLIFF
// catalogs, the text a catalog gives (order, plural forms, header,
// templates, charsets, what is left out) and the refusal of damaged binary
// catalogs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "dxfilter_test_support.h"
#include "filters/dxfilter/catalog_text.h"
#include "filters/dxfilter/sniff.h"

namespace {

using dxf::CatalogText;
using dxf::PoCatalogKind;
using dxf::PoKind;
using dxfilter_test::AsBytes;
using dxfilter_test::Sniffed;

struct Message {
    std::string id, str;
};

// A binary catalog as msgfmt lays it out: the header, the table of
// original strings, the table of translations, no hash table, then the
// strings, each followed by its NUL.
std::string Mo(const std::vector<Message> &messages, bool bigEndian = false,
               uint32_t revision = 0) {
    const auto n = static_cast<uint32_t>(messages.size());
    std::string out(28 + 16 * size_t{n}, '\0');
    const auto put = [&](size_t at, uint32_t v) {
        if (bigEndian) v = __builtin_bswap32(v);
        std::memcpy(&out[at], &v, 4);
    };
    put(0, 0x950412DEu);
    put(4, revision);
    put(8, n);
    put(12, 28);
    put(16, 28 + 8 * n);
    put(24, 28 + 16 * n);
    for (int table = 0; table < 2; ++table) {
        for (uint32_t i = 0; i < n; ++i) {
            const std::string &s = table == 0 ? messages[i].id : messages[i].str;
            put(28 + 8 * size_t{n} * table + 8 * i, static_cast<uint32_t>(s.size()));
            put(32 + 8 * size_t{n} * table + 8 * i, static_cast<uint32_t>(out.size()));
            out += s;
            out += '\0';
        }
    }
    return out;
}

std::string Header(const std::string &charset) {
    return "Project-Id-Version: demo 1.0\nMIME-Version: 1.0\nContent-Type: text/plain; charset=" +
           charset +
           "\nContent-Transfer-Encoding: 8bit\nPlural-Forms: nplurals=2; plural=(n != 1);\n";
}

// The lines of a catalog joined with '|'.
std::string Joined(const CatalogText &text) {
    std::string out;
    for (const std::string &line : text.lines) out += (out.empty() ? "" : "|") + line;
    return out;
}

// A catalog refused with a reason and no text.
void ExpectRefused(const CatalogText &text, const std::string &what) {
    EXPECT_FALSE(text.ok) << what << ": " << Joined(text);
    EXPECT_FALSE(text.error.empty()) << what;
    EXPECT_TRUE(text.lines.empty()) << what;
}

const std::vector<Message> kGerman = {
    {"", Header("UTF-8")},
    {"Open file", "Datei öffnen"},
    {"menu\x04Quit", "Beenden"},
    {std::string("%d file\0%d files", 16), std::string("%d Datei\0%d Dateien", 19)},
    {"Untranslated", ""},
};

TEST(DxfCatalogRule, BinaryCatalogsOfBothOrdersAreToldAndRead) {
    for (bool big : {false, true}) {
        const std::string mo = Mo(kGerman, big);
        EXPECT_TRUE(dxf::IsBinaryCatalog(AsBytes(mo)));
        EXPECT_EQ(Sniffed(mo), 349) << big;
        EXPECT_EQ(Sniffed(Mo(kGerman, big, 0x00010001)), 349) << big;
        // A revision this reader does not know is some other binary file.
        EXPECT_NE(Sniffed(Mo(kGerman, big, 0x00020000)), 349) << big;
        // Translations in table order, plural forms apart.
        const CatalogText text = dxf::ReadBinaryCatalog(mo, {});
        ASSERT_TRUE(text.ok) << text.error;
        EXPECT_FALSE(text.sourceMessages);
        EXPECT_EQ(Joined(text), "Datei öffnen|Beenden|%d Datei|%d Dateien");
        EXPECT_EQ(text.charset, "UTF-8");
    }
    EXPECT_NE(Sniffed("\xDE\x12\x04"), 349);
}

TEST(DxfCatalogText, HeaderCharsetsAreReadAndUnusableOnesFallBackOnTheBytes) {
    const std::string latin1 =
        "Gr\xFC\xDF"
        "e aus K\xF6ln, sch\xF6ne Gr\xFC\xDF"
        "e";
    const std::string fromLatin1 = "Grüße aus Köln, schöne Grüße";
    const struct {
        std::string header, bytes, utf8;
    } cases[] = {
        {Header("ISO-8859-2"), "Za\xBF\xF3\xB3\xE6 g\xEA\xB6l\xB1 ja\xBC\xF1", "Zażółć gęślą jaźń"},
        {Header("EUC-JP"),
         "\xC6\xFC\xCB\xDC\xB8\xEC\xA4\xCE\xA5\xE1\xA5\xC3\xA5\xBB\xA1\xBC\xA5\xB8",
         "日本語のメッセージ"},
        {Header("\"ISO-8859-1\""),
         "Gr\xFC\xDF"
         "e aus K\xF6ln",
         "Grüße aus Köln"},
        // Names the decoder cannot use (UsableCharset's own test has the
        // others), UTF-8 for bytes that are not UTF-8, and no header at all.
        {Header("CHARSET"), latin1, fromLatin1},
        {Header("UTF-8"), latin1, fromLatin1},
        {"Content-Type: text/plain; charset=\n", latin1, fromLatin1},
        {"", latin1, fromLatin1},
        // Valid UTF-8 stays UTF-8 whatever an unknown name says.
        {Header("bogus"), "Datei öffnen", "Datei öffnen"},
    };
    for (const auto &c : cases) {
        std::vector<Message> messages = {{"a", c.bytes}};
        if (!c.header.empty()) messages.insert(messages.begin(), {"", c.header});
        const CatalogText text = dxf::ReadBinaryCatalog(Mo(messages), {});
        ASSERT_TRUE(text.ok) << c.header;
        EXPECT_EQ(Joined(text), c.utf8) << c.header;
    }
    // Bytes no charset reads do not stop the text.
    EXPECT_NE(
        Joined(dxf::ReadBinaryCatalog(Mo({{"", Header("UTF-8")}, {"a", "ok \xFF\xFE text"}}), {}))
            .find("ok"),
        std::string::npos);
    EXPECT_EQ(
        dxf::ReadBinaryCatalog(Mo({{"", Header("bogus")}, {"a", "Datei öffnen"}}), {}).charset,
        "UTF-8");
    EXPECT_EQ(dxf::CatalogHeaderCharset("Content-Type: text/plain; charset=KOI8-R\n"), "KOI8-R");
    EXPECT_EQ(dxf::CatalogHeaderCharset("content-type:text/plain;charset=utf-8"), "utf-8");
    EXPECT_EQ(dxf::CatalogHeaderCharset("Project-Id-Version: x\n"), "");
}

TEST(DxfCatalogText, TemplatesGiveTheirMsgids) {
    const CatalogText text = dxf::ReadBinaryCatalog(
        Mo({{"", Header("UTF-8")},
            {"menu\x04Open the file", ""},
            {std::string("one file\0many files", 19), std::string("\0", 1)}}),
        {});
    ASSERT_TRUE(text.ok);
    EXPECT_TRUE(text.sourceMessages);
    EXPECT_EQ(Joined(text), "Open the file|one file|many files");
    // A catalog of nothing but its header is empty, not damaged.
    const CatalogText empty = dxf::ReadBinaryCatalog(Mo({{"", Header("UTF-8")}}), {});
    EXPECT_TRUE(empty.ok);
    EXPECT_TRUE(empty.lines.empty());
    EXPECT_TRUE(dxf::ReadBinaryCatalog(Mo({}), {}).ok);
}

TEST(DxfCatalogText, DamagedBinaryCatalogsAreRefused) {
    const std::string good = Mo(kGerman);
    const auto set = [](std::string mo, size_t at, uint32_t v) {
        std::memcpy(&mo[at], &v, 4);
        return mo;
    };
    const uint32_t n = static_cast<uint32_t>(kGerman.size());
    const std::string damaged[] = {
        good.substr(0, 27),              // shorter than the header
        set(good, 4, 0x00020000),        // revision 2
        set(good, 8, 0xFFFFFFFFu),       // an absurd count
        set(good, 8, n + 1),             // one message more than the tables hold
        set(good, 12, 0xFFFFFFF8u),      // a table past the end
        set(good, 12, 28 + 8),           // the tables overlap
        set(good, 16, 28),               // the same table twice
        set(good, 12, 20),               // a table over the header
        set(good, 28 + 8, 0xFFFFFFF0u),  // a string longer than the file
        set(good, 32 + 8, static_cast<uint32_t>(good.size())),  // a string past the end
        set(good, 28 + 8, 3),                                   // a string whose NUL is not there
        Mo(kGerman, false, 0x00010001).substr(0, 40),           // revision 1.1: a longer header
    };
    for (const std::string &mo : damaged)
        ExpectRefused(dxf::ReadBinaryCatalog(mo, {}), "damage " + std::to_string(&mo - damaged));
    // Every cut of a catalog loses the NUL of its last string at least.
    for (size_t cut = 0; cut < good.size(); ++cut)
        ExpectRefused(dxf::ReadBinaryCatalog(good.substr(0, cut), {}),
                      "cut " + std::to_string(cut));
    // Strings may share their bytes; the hash table is not read.
    std::string shared = good;
    const size_t translations = 28 + 8 * size_t{n};
    shared.replace(translations + 16, 8, good.substr(translations + 8, 8));
    EXPECT_TRUE(dxf::ReadBinaryCatalog(set(shared, 20, 0xFFFFFFFFu), {}).ok);
}

// A part of a system-dependent string: static bytes, then the index of a
// segment (-1 after the last part).
struct Part {
    std::string bytes;
    int segment;
};
using Sysdep = std::vector<Part>;

// A catalog of revision 0.1 as msgfmt lays it out for messages with
// system-dependent parts: the 48-byte header, the tables of plain strings,
// the segment table, the tables of the system-dependent strings' descriptor
// offsets, the descriptors, then the bytes.
std::string MoSysdep(const std::vector<Message> &plain, const std::vector<std::string> &segments,
                     const std::vector<std::pair<Sysdep, Sysdep>> &messages) {
    const auto n = static_cast<uint32_t>(plain.size()), m = static_cast<uint32_t>(segments.size()),
               p = static_cast<uint32_t>(messages.size());
    const uint32_t origTable = 48, transTable = origTable + 8 * n,
                   segmentTable = transTable + 8 * n, origSysdep = segmentTable + 8 * m,
                   transSysdep = origSysdep + 4 * p, descriptors = transSysdep + 4 * p;
    size_t descriptorBytes = 0;
    for (const auto &[id, str] : messages) descriptorBytes += 8 + 8 * id.size() + 8 * str.size();
    std::string out(descriptors + descriptorBytes, '\0');
    const auto put = [&](size_t at, uint32_t v) { std::memcpy(&out[at], &v, 4); };
    const auto bytes = [&](const std::string &s) {
        const auto at = static_cast<uint32_t>(out.size());
        out += s;
        return at;
    };
    for (auto [at, v] : std::vector<std::pair<size_t, uint32_t>>{{0, 0x950412DEu},
                                                                 {4, 1},
                                                                 {8, n},
                                                                 {12, origTable},
                                                                 {16, transTable},
                                                                 {28, m},
                                                                 {32, segmentTable},
                                                                 {36, p},
                                                                 {40, origSysdep},
                                                                 {44, transSysdep}})
        put(at, v);
    for (uint32_t i = 0; i < n; ++i) {
        put(origTable + 8 * i, static_cast<uint32_t>(plain[i].id.size()));
        put(origTable + 8 * i + 4, bytes(plain[i].id + '\0'));
        put(transTable + 8 * i, static_cast<uint32_t>(plain[i].str.size()));
        put(transTable + 8 * i + 4, bytes(plain[i].str + '\0'));
    }
    for (uint32_t i = 0; i < m; ++i) {
        put(segmentTable + 8 * i, static_cast<uint32_t>(segments[i].size() + 1));
        put(segmentTable + 8 * i + 4, bytes(segments[i] + '\0'));
    }
    size_t descriptor = descriptors;
    for (uint32_t i = 0; i < p; ++i) {
        for (int side = 0; side < 2; ++side) {
            const Sysdep &parts = side == 0 ? messages[i].first : messages[i].second;
            put((side == 0 ? origSysdep : transSysdep) + 4 * i, static_cast<uint32_t>(descriptor));
            std::string all;
            for (const Part &part : parts) all += part.bytes;
            put(descriptor, bytes(all + '\0'));
            for (size_t k = 0; k < parts.size(); ++k) {
                const bool last = k + 1 == parts.size();
                put(descriptor + 4 + 8 * k,
                    static_cast<uint32_t>(parts[k].bytes.size() + (last ? 1 : 0)));
                put(descriptor + 8 + 8 * k,
                    last ? 0xFFFFFFFFu : static_cast<uint32_t>(parts[k].segment));
            }
            descriptor += 4 + 8 * parts.size();
        }
    }
    return out;
}

TEST(DxfCatalogText, SystemDependentMessagesAreReadAsTheirPoFileWritesThem) {
    const std::vector<Message> plain = {{"", Header("UTF-8")}, {"Open file", "Datei öffnen"}};
    const std::vector<std::pair<Sysdep, Sysdep>> sysdep = {
        {{{"%", 0}, {" bytes read", -1}}, {{"%", 0}, {" Bytes gelesen", -1}}},
        {{{"%", 1}, {"d of %", 0}, {" done", -1}}, {{"%", 1}, {"d von %", 0}, {" fertig", -1}}},
        {{{std::string("ctx\x04one %", 5 + 4), 0},
          {std::string(" file\0many %", 12), 0},
          {" files", -1}},
         {{"eine %", 0}, {std::string(" Datei\0viele %", 14), 0}, {" Dateien", -1}}},
    };
    const std::string mo = MoSysdep(plain, {"PRIu64", "I"}, sysdep);
    CatalogText text = dxf::ReadBinaryCatalog(mo, {});
    ASSERT_TRUE(text.ok) << text.error;
    EXPECT_FALSE(text.sourceMessages);
    EXPECT_EQ(Joined(text),
              "Datei öffnen|%<PRIu64> Bytes gelesen|%Id von %<PRIu64> fertig|"
              "eine %<PRIu64> Datei|viele %<PRIu64> Dateien");
    // A template of such messages gives their msgids.
    auto untranslated = sysdep;
    for (auto &message : untranslated) message.second = {{"", -1}};
    text = dxf::ReadBinaryCatalog(MoSysdep({{"", Header("UTF-8")}}, {"PRIu64", "I"}, untranslated),
                                  {});
    ASSERT_TRUE(text.ok) << text.error;
    EXPECT_TRUE(text.sourceMessages);
    EXPECT_EQ(Joined(text),
              "%<PRIu64> bytes read|%Id of %<PRIu64> done|one %<PRIu64> file|many %<PRIu64> files");

    // Damage: a table or a descriptor that does not lie in the file, a
    // segment not in the table, parts that run past the end, descriptors
    // that share their parts over and over.
    const auto set = [](std::string bytes, size_t at, uint32_t v) {
        std::memcpy(&bytes[at], &v, 4);
        return bytes;
    };
    const auto at = [&](size_t offset) {
        uint32_t v;
        std::memcpy(&v, &mo[offset], 4);
        return v;
    };
    const uint32_t firstDescriptor = at(at(40));
    // 200 strings that all point at a descriptor of 300 parts.
    Sysdep longest(300, Part{"", 0});
    longest.push_back({" x", -1});
    std::vector<std::pair<Sysdep, Sysdep>> many(100, {{{" y", -1}}, {{" z", -1}}});
    many[0] = {longest, longest};
    std::string shared = MoSysdep(plain, {"PRIu64"}, many);
    ASSERT_TRUE(dxf::ReadBinaryCatalog(shared, {}).ok);
    uint32_t sharedTable, sharedDescriptor;
    std::memcpy(&sharedTable, &shared[40], 4);
    std::memcpy(&sharedDescriptor, &shared[sharedTable], 4);
    for (uint32_t i = 0; i < 200; ++i) shared = set(shared, sharedTable + 4 * i, sharedDescriptor);
    // Without such messages the offsets of their tables do not matter.
    std::string none = MoSysdep(plain, {}, {});
    for (size_t field : {32, 40, 44}) none = set(none, field, 0);
    EXPECT_EQ(Joined(dxf::ReadBinaryCatalog(none, {})), "Datei öffnen");
    // Msgids that all name one long part (a context of 64 KiB): it is
    // copied while the bytes copied stay within the file's size and twice
    // the text bound, then gathering stops.
    std::vector<std::pair<Sysdep, Sysdep>> repeated(100, {{{"b", -1}}, {{"", -1}}});
    repeated[0].first = {{std::string(64 * 1024, 'c') + '\x04' + "a", -1}};
    std::string same = MoSysdep({{"", Header("UTF-8")}}, {}, repeated);
    uint32_t idTable, idDescriptor;
    std::memcpy(&idTable, &same[40], 4);
    std::memcpy(&idDescriptor, &same[idTable], 4);
    for (uint32_t i = 0; i < 100; ++i) same = set(same, idTable + 4 * i, idDescriptor);
    dxf::CatalogBounds small;
    small.maxText = 4096;
    text = dxf::ReadBinaryCatalog(same, small);
    ASSERT_TRUE(text.ok) << text.error;
    EXPECT_EQ(Joined(text), "a");
    const std::string damaged[] = {
        set(mo, 32, 0xFFFFFFF0u),                           // the segment table past the end
        set(mo, 36, 0x40000000u),                           // an absurd count of strings
        set(mo, 44, 8),                                     // a table over the header
        set(mo, at(40), static_cast<uint32_t>(mo.size())),  // a descriptor past the end
        set(mo, firstDescriptor + 8, 7),                    // a segment not in the table
        set(mo, firstDescriptor + 4, 0xFFFFFF00u),          // a part longer than the file
        set(mo, firstDescriptor, static_cast<uint32_t>(mo.size() - 1)),  // parts past the end
        mo.substr(0, mo.size() - 40),                                    // cut
        shared,
    };
    for (const std::string &bytes : damaged)
        ExpectRefused(dxf::ReadBinaryCatalog(bytes, {}),
                      "sysdep damage " + std::to_string(&bytes - damaged));
}

const std::string kPo =
    "# German translation of demo.\n"
    "# Copyright (C) 2024 the demo authors\n"
    "msgid \"\"\n"
    "msgstr \"\"\n"
    "\"Project-Id-Version: demo 1.0\\n\"\n"
    "\"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n"
    "\n"
    "#: src/main.c:10\n"
    "msgid \"Open the file\"\n"
    "msgstr \"Die Datei \\\"\"\n"
    "\"\xF6"
    "ffnen\\n\"\n"
    "\n"
    "#, fuzzy\n"
    "msgctxt \"menu\"\n"
    "msgid \"Quit\"\n"
    "msgstr \"Beenden\\tjetzt\"\n"
    "\n"
    "msgid \"%d file\"\n"
    "msgid_plural \"%d files\"\n"
    "msgstr[0] \"%d Datei\"\n"
    "msgstr[1] \"%d Dateien \\344\\x{}\"\n"
    "\n"
    "msgid \"Untranslated\"\n"
    "msgstr \"\"\n"
    "\n"
    "#~ msgid \"Old\"\n"
    "#~ msgstr \"Veraltet\"\n";

TEST(DxfCatalogRule, PoCatalogsAreToldStrictly) {
    EXPECT_EQ(PoCatalogKind(kPo, true), PoKind::kTranslated);
    EXPECT_EQ(Sniffed(kPo), 349);
    EXPECT_EQ(Sniffed("\xEF\xBB\xBF" + kPo), 349);
    // Cut in the head: the line the cut falls in is not looked at.
    EXPECT_EQ(PoCatalogKind(kPo.substr(0, kPo.find("Die Datei") + 3), false), PoKind::kTemplate);
    EXPECT_EQ(PoCatalogKind(kPo.substr(0, kPo.find("Die Datei") + 3), true), PoKind::kNone);
    // A template stays text.
    const std::string pot =
        "msgid \"\"\nmsgstr \"\"\n\"Project-Id-Version: PACKAGE VERSION\\n\"\n"
        "\"Content-Type: text/plain; charset=CHARSET\\n\"\n\nmsgid \"Open\"\nmsgstr \"\"\n";
    EXPECT_EQ(PoCatalogKind(pot, true), PoKind::kTemplate);
    EXPECT_EQ(Sniffed(pot), 2);
    // Without a header entry three pairs are needed.
    const std::string pairs = "msgid \"a\"\nmsgstr \"b\"\nmsgid \"c\"\nmsgstr \"d\"\n";
    EXPECT_EQ(PoCatalogKind(pairs, true), PoKind::kNone);
    EXPECT_EQ(PoCatalogKind(pairs + "msgid \"e\"\nmsgstr \"f\"\n", true), PoKind::kTranslated);
    const char *others[] = {
        // C source that calls its variable msgid
        "#include <libintl.h>\nmsgid \"a\"\nmsgstr \"b\"\nint main(void) { return 0; }\n",
        // prose and documentation that show catalog lines
        "A catalog entry looks like this:\n\nmsgid \"Open\"\nmsgstr \"Ouvrir\"\n",
        "msgid \"\"\nmsgstr \"\"\n\"Project-Id-Version: x\\n\"\n\nThis is not a catalog.\n",
        // keywords out of order, strings unquoted or open
        "msgstr \"x\"\nmsgid \"a\"\nmsgstr \"b\"\nmsgid \"c\"\nmsgstr \"d\"\nmsgid \"e\"\n",
        "msgid \"a\"\nmsgid \"b\"\nmsgstr \"c\"\nmsgid \"d\"\nmsgstr \"e\"\nmsgid \"f\"\nmsgstr "
        "\"g\"\n",
        "msgid a\nmsgstr b\nmsgid c\nmsgstr d\nmsgid e\nmsgstr f\n",
        "msgid \"\"\nmsgstr \"\"\n\"Project-Id-Version: x\\\"\n",
        // a Debian copyright file, a shell script
        "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
        "Files: po/*\nCopyright: 2020 translators\n",
        "#!/bin/sh\n# msgid \"x\"\nmsgfmt -o de.mo de.po\n",
        "",
    };
    for (const char *text : others) {
        EXPECT_EQ(PoCatalogKind(text, true), PoKind::kNone) << text;
        EXPECT_NE(Sniffed(text), 349) << text;
    }
}

TEST(DxfCatalogRule, APoHeaderThatNamesItsLanguageDecidesBeyondTheHead) {
    // The first translation may come after the 8 KiB the rules look at
    // (long comment blocks, new messages not yet translated): a header
    // entry that names a language and a charset makes the head a catalog.
    const auto po = [](const std::string &language, const std::string &charset) {
        std::string text =
            "# A long comment block.\nmsgid \"\"\nmsgstr \"\"\n\"Language: " + language +
            "\\n\"\n\"Content-Type: text/plain; charset=" + charset + "\\n\"\n\n";
        for (int i = 0; i < 300; ++i)
            text += "msgid \"New message " + std::to_string(i) + "\"\nmsgstr \"\"\n\n";
        return text +
               "msgid \"Open\"\nmsgstr \"\xC3\x96"
               "ffnen\"\n";
    };
    const std::string de = po("de", "UTF-8");
    ASSERT_GT(de.find("\xC3\x96"
                      "ffnen"),
              dxf::kSniffBytes);
    const std::string head = de.substr(0, dxf::kSniffBytes);
    EXPECT_EQ(PoCatalogKind(head, false), PoKind::kTranslated);
    EXPECT_EQ(Sniffed(de), 349);
    // The header's fields may share one string.
    std::string oneLine = head;
    const size_t from = oneLine.find("msgstr \"\"\n"), to = oneLine.find("\n\n", from);
    oneLine.replace(from, to - from,
                    "msgstr \"Language: de\\nContent-Type: text/plain; charset=UTF-8\\n\"");
    EXPECT_EQ(PoCatalogKind(oneLine, false), PoKind::kTranslated);
    // A whole document without a translation is a template, whatever its header.
    EXPECT_EQ(PoCatalogKind(head.substr(0, head.rfind("\n\n") + 2), true), PoKind::kTemplate);
    // A template's header names no language, or its charset placeholder.
    for (auto [language, charset] : {std::pair{"", "CHARSET"}, {"de", "CHARSET"}, {" ", "UTF-8"}})
        EXPECT_EQ(PoCatalogKind(po(language, charset).substr(0, dxf::kSniffBytes), false),
                  PoKind::kTemplate)
            << language << charset;
    EXPECT_EQ(Sniffed(po("", "UTF-8")), 2);
    // Any line that is not catalog syntax in the head still makes it text.
    const std::string other = head.substr(0, 4000) + "echo done\n" + head.substr(4000);
    EXPECT_EQ(PoCatalogKind(other, false), PoKind::kNone);
    // Without a header the head must show a translation.
    const std::string noHeader = head.substr(head.find("msgid \"New"));
    EXPECT_EQ(PoCatalogKind(noHeader, false), PoKind::kTemplate);
}

TEST(DxfCatalogRule, AHeadOfCommentsIsDecidedByOneMoreBoundedRead) {
    // A comment block longer than the head before the header entry: the
    // head alone cannot tell; the rules read the first kPoCatalogBytes.
    std::string credits;
    for (int n = 0; credits.size() < 10000; ++n)
        credits += "# Translator " + std::to_string(n) + " <t" + std::to_string(n) +
                   "@example.net>, 2024.\n";
    const std::string po = credits + kPo;
    struct Sniff {
        dxf::SniffResult result;
        int reads = 0;
        size_t farthest = 0;  // the end of the farthest read
    };
    const auto sniff = [](const std::string &doc, bool reader, bool failing = false) {
        Sniff s{{}, 0, 0};
        const auto head = AsBytes(std::string_view(doc).substr(0, dxf::kSniffBytes));
        const dxf::ReadAtFn readAt = [&](uint64_t at, void *buffer, size_t count) {
            ++s.reads;
            s.farthest = std::max(s.farthest, static_cast<size_t>(at + count));
            if (failing || at > doc.size() || count > doc.size() - at) return false;
            std::memcpy(buffer, doc.data() + at, count);
            return true;
        };
        s.result = dxf::SniffHead(head, doc.size(), reader ? readAt : dxf::ReadAtFn());
        return s;
    };
    EXPECT_EQ(PoCatalogKind(po.substr(0, dxf::kSniffBytes), false), PoKind::kUndecided);
    EXPECT_EQ(PoCatalogKind(credits, true), PoKind::kNone);
    // Only the head: text, marked as one that bytes past the head decide.
    Sniff s = sniff(po, false);
    EXPECT_EQ(s.result.format, 2);
    EXPECT_TRUE(s.result.beyondHead);
    // With a reader: a catalog, with one read of the rest of the first
    // kPoCatalogBytes (here the whole document).
    s = sniff(po, true);
    EXPECT_EQ(s.result.format, 349);
    EXPECT_FALSE(s.result.beyondHead);
    EXPECT_EQ(s.reads, 1);
    EXPECT_EQ(s.farthest, po.size());
    EXPECT_EQ(sniff("\xEF\xBB\xBF" + po, true).result.format, 349);
    // A template, a header past the bounded read, a reader that fails, a
    // comment block that ends in other text: text.
    const std::string pot =
        credits +
        "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=CHARSET\\n\"\n\n"
        "msgid \"Open\"\nmsgstr \"\"\n";
    EXPECT_EQ(sniff(pot, true).result.format, 2);
    std::string far = credits;
    while (far.size() < dxf::kPoCatalogBytes) far += credits;
    s = sniff(far + kPo, true);
    EXPECT_EQ(s.result.format, 2);
    EXPECT_EQ(s.farthest, dxf::kPoCatalogBytes);
    EXPECT_EQ(sniff(po, true, true).result.format, 2);
    EXPECT_EQ(sniff(credits + "set -e\nmsgfmt -o de.mo de.po\n" + kPo, true).result.format, 2);
    // Heads that are no catalog so far are never read past: a line that is
    // not catalog syntax, a head without a whole line, a whole document.
    for (const std::string &doc : {"#!/bin/sh\nset -e\n" + std::string(9000, 'x'),
                                   std::string(9000, '#'), credits.substr(0, 4000)}) {
        s = sniff(doc, true);
        EXPECT_EQ(s.reads, 0) << doc.substr(0, 16);
        EXPECT_FALSE(sniff(doc, false).result.beyondHead) << doc.substr(0, 16);
    }
}

TEST(DxfCatalogText, PoTranslationsEscapesAndCharset) {
    const CatalogText text = dxf::ReadPoCatalog(kPo, {});
    ASSERT_TRUE(text.ok);
    EXPECT_FALSE(text.sourceMessages);
    EXPECT_EQ(text.charset, "iso-8859-1");
    // Continuations joined, escapes decoded, the fuzzy entry read, the
    // obsolete one and the header left out.
    EXPECT_EQ(Joined(text), "Die Datei \"öffnen\n|Beenden\tjetzt|%d Datei|%d Dateien äx{}");
    // The template gives its msgids; a byte-order mark means UTF-8.
    const CatalogText pot = dxf::ReadPoCatalog(
        "\xEF\xBB\xBFmsgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n"
        "msgid \"Grüße\"\nmsgid_plural \"Grüßen\"\nmsgstr[0] \"\"\nmsgstr[1] \"\"\n",
        {});
    EXPECT_TRUE(pot.sourceMessages);
    EXPECT_EQ(Joined(pot), "Grüße|Grüßen");
    // Lines that are not catalog syntax are passed over.
    EXPECT_EQ(Joined(dxf::ReadPoCatalog("garbage\nmsgid \"a\"\nmsgstr \"b\nmsgstr \"c\"\n", {})),
              "c");
    EXPECT_EQ(Joined(dxf::ReadCatalog(Mo(kGerman), {})),
              "Datei öffnen|Beenden|%d Datei|%d Dateien");
}

// ---- Qt and XLIFF ------------------------------------------------------------------

// The big-endian bytes of `v`.
std::string Be32(uint32_t v) {
    return dxfilter_test::Be(v, 4);
}

std::string Field(unsigned char tag, const std::string &data) {
    return static_cast<char>(tag) + Be32(static_cast<uint32_t>(data.size())) + data;
}

// UTF-16BE of ASCII and Latin-1 text given as UTF-8.
std::string Utf16Be(const std::u16string &s) {
    std::string out;
    for (char16_t c : s) {
        out += static_cast<char>(c >> 8);
        out += static_cast<char>(c & 0xFF);
    }
    return out;
}

// A message as lrelease writes it: translations, an empty comment, the
// source text, the context, the end.
std::string QmMessage(const std::vector<std::u16string> &forms, const std::string &source) {
    std::string out;
    for (const std::u16string &f : forms) out += Field(3, Utf16Be(f));
    return out + Field(8, "") + Field(6, source) + Field(7, "MainWindow") + '\x01';
}

std::string Qm(const std::string &messages) {
    return std::string(dxf::kQtCatalogMagic) + Field(0xA7, "de_DE") +
           Field(0x42, Be32(0x598C5) + Be32(0)) + Field(0x69, messages) + Field(0x88, "\x01\x01");
}

const std::string kQtGerman = QmMessage({u"Datei öffnen"}, "Open file") +
                              QmMessage({u"%n Datei", u"%n Dateien"}, "%n file(s)") +
                              QmMessage({u"Beenden"}, "Quit");

// Translators leave a message not translated yet with its source copied in
// (a Hebrew glib20.mo begins with dozens of them): such a copy is in the
// source language, not the catalog's, in every kind of catalog (XML
// catalogs: XliffTargetsWithoutCodesProposalsAndNotes).
TEST(DxfCatalogText, TranslationsThatCopyTheirSourceAreLeftOut) {
    const std::vector<Message> mo = {
        {"", Header("UTF-8")},
        {"  FILE      An elf file", "  FILE      An elf file"},
        {"menu\x04Quit", "Quit"},
        {std::string("%d file\0%d files", 16), std::string("%d file\0%d files\0%d files", 26)},
        {std::string("%d day\0%d days", 14), std::string("%d Tag\0%d days", 14)},
        {"Open file", "Datei öffnen"},
    };
    const CatalogText text = dxf::ReadBinaryCatalog(Mo(mo), {});
    ASSERT_TRUE(text.ok) << text.error;
    EXPECT_FALSE(text.sourceMessages);
    EXPECT_EQ(Joined(text), "%d Tag|Datei öffnen");
    const CatalogText po = dxf::ReadPoCatalog(
        "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n"
        "msgid \"Quit\"\nmsgstr \"Quit\"\n"
        "msgid \"%d day\"\nmsgid_plural \"%d days\"\nmsgstr[0] \"%d Tag\"\nmsgstr[1] \"%d days\"\n"
        "msgid \"Open file\"\nmsgstr \"Datei \"\n\"öffnen\"\n",
        {});
    EXPECT_EQ(Joined(po), "%d Tag|Datei öffnen");
    const CatalogText qm = dxf::ReadQtCatalog(
        Qm(QmMessage({u"Quit"}, "Quit") + QmMessage({u"Datei öffnen"}, "Open file")), {});
    EXPECT_EQ(Joined(qm), "Datei öffnen");
    // A catalog of nothing but copies (English into English) gives its
    // source texts, as a template does.
    const CatalogText copies =
        dxf::ReadBinaryCatalog(Mo({{"", Header("UTF-8")}, {"Quit", "Quit"}, {"Open", "Open"}}), {});
    ASSERT_TRUE(copies.ok);
    EXPECT_TRUE(copies.sourceMessages);
    EXPECT_EQ(Joined(copies), "Quit|Open");
}

TEST(DxfCatalogRule, QtAndXliffCatalogsAreToldFromTheirHead) {
    const std::string ts =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n"
        "<TS version=\"2.1\" language=\"de_DE\">\n<context>";
    std::vector<std::string> catalogs = {
        Qm(kQtGerman), std::string(dxf::kQtCatalogMagic), ts,
        "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- exported -->\n"
        "<xliff version=\"1.2\" xmlns=\"urn:oasis:names:tc:xliff:document:1.2\">",
        "<xliff xmlns=\"urn:oasis:names:tc:xliff:document:2.0\" version=\"2.0\">"};
    // UTF-16 either way, with and without a byte-order mark.
    for (bool big : {false, true}) {
        for (const std::string &mark :
             {std::string(), std::string(big ? "\xFE\xFF" : "\xFF\xFE")}) {
            catalogs.push_back(mark);
            for (char c : ts) catalogs.back() += big ? std::string{'\0', c} : std::string{c, '\0'};
        }
    }
    for (const std::string &catalog : catalogs) EXPECT_EQ(Sniffed(catalog), 349) << catalog;
    EXPECT_NE(Sniffed(std::string(dxf::kQtCatalogMagic).substr(0, 15)), 349);
    // Ordinary XML stays XML: other roots, the names inside another root, a
    // name cut by the end of the head.
    for (const char *xml :
         {"<?xml version=\"1.0\"?>\n<TSX version=\"1\"/>\n",
          "<?xml version=\"1.0\"?>\n<ts:doc xmlns:ts=\"urn:x\"/>\n",
          "<?xml version=\"1.0\"?>\n<project>\n<TS version=\"2.1\"/></project>\n"})
        EXPECT_EQ(Sniffed(xml), 285) << xml;
    EXPECT_NE(Sniffed("<?xml version=\"1.0\"?>\n<ts version=\"2.1\"></ts>\n"), 349);
    EXPECT_NE(Sniffed("<?xml version=\"1.0\"?>\n<xliffs version=\"1\"></xliffs>\n"), 349);
    EXPECT_FALSE(dxf::IsCatalogXml("<?xml version=\"1.0\"?>\n<xliff"));
    EXPECT_EQ(dxf::XmlRootElement("<fb:FictionBook xmlns:fb=\"x\">"), "FictionBook");
}

TEST(DxfCatalogText, QtBinaryCatalogsGiveTheirTranslationsOnly) {
    const CatalogText text = dxf::ReadCatalog(Qm(kQtGerman), {});
    ASSERT_TRUE(text.ok) << text.error;
    EXPECT_FALSE(text.sourceMessages);
    EXPECT_EQ(Joined(text), "Datei öffnen|%n Datei|%n Dateien|Beenden");
    // Null and empty translations, old fields skipped by their length,
    // a non-BMP character and a lone surrogate.
    const std::string odd =
        Field(3, "") + std::string("\x03\xFF\xFF\xFF\xFF", 5) + Field(2, Utf16Be(u"Source")) +
        Field(4, Utf16Be(u"Context")) + std::string("\x05\0\0\0\0", 5) +
        Field(3, Utf16Be(u"Zeichen \U0001F600")) + Field(3, Utf16Be(u"lone \xD800 surrogate")) +
        Field(8, "a comment") + '\x01';
    const CatalogText more = dxf::ReadQtCatalog(Qm(odd + kQtGerman), {});
    ASSERT_TRUE(more.ok) << more.error;
    EXPECT_EQ(Joined(more),
              "Zeichen \xF0\x9F\x98\x80|lone \xEF\xBF\xBD surrogate|Datei öffnen|%n Datei|%n "
              "Dateien|Beenden");
    // Unknown sections are skipped by their length.
    const std::string extra =
        std::string(dxf::kQtCatalogMagic) + Field(0x11, "????") + Field(0x69, kQtGerman);
    EXPECT_EQ(Joined(dxf::ReadQtCatalog(extra, {})), "Datei öffnen|%n Datei|%n Dateien|Beenden");
    // Without any translation, the source texts; without messages, nothing.
    const CatalogText sources =
        dxf::ReadQtCatalog(Qm(QmMessage({}, "Open file") + QmMessage({}, "Quit")), {});
    ASSERT_TRUE(sources.ok);
    EXPECT_TRUE(sources.sourceMessages);
    EXPECT_EQ(Joined(sources), "Open file|Quit");
    const CatalogText empty = dxf::ReadQtCatalog(std::string(dxf::kQtCatalogMagic), {});
    EXPECT_TRUE(empty.ok);
    EXPECT_TRUE(empty.lines.empty());
}

TEST(DxfCatalogText, DamagedQtCatalogsKeepWhatCameBefore) {
    // Damage before any message: refused.
    const std::string magic(dxf::kQtCatalogMagic);
    const std::string refused[] = {
        magic.substr(0, 15) + Field(0x69, kQtGerman),  // no magic
        magic + "\x42\0\0",                            // a cut section header
        magic + Field(0x42, "12345678").substr(0, 9),  // a cut section
        magic + Field(0x69, "\x0A" + kQtGerman),       // a field of unknown tag
        magic + Field(0x69,
                      "\x03\0\0\0\x03"
                      "abc\x01"),  // an odd length
        magic + Field(0x69,
                      "\x03\0\0\0\x10"
                      "ab\x01"),                          // a field past its section
        magic + Field(0x69, std::string("\x05\0\0", 3)),  // obsolete field cut
        magic + Field(0x69, std::string("\x03\0\0", 3)),  // a length cut
        // Every length is checked against the file, however large.
        magic + Field(0x69,
                      "\x03\xFF\xFF\xFF\xFE"
                      "ab"),
        magic + "\x69\xFF\xFF\xFF\xFF\x01",
    };
    for (const std::string &qm : refused)
        ExpectRefused(dxf::ReadQtCatalog(qm, {}), "damage " + std::to_string(&qm - refused));
    // Damage after a message: what came before is kept.
    const std::string first = QmMessage({u"Datei öffnen"}, "Open file");
    EXPECT_EQ(Joined(dxf::ReadQtCatalog(Qm(first + "\x0A" + kQtGerman), {})), "Datei öffnen");
    // A cut file: refused before its first message ends (but for a cut
    // between two sections), read up to the cut after it.
    const std::string whole = Qm(kQtGerman);
    const size_t firstEnd = whole.find(first) + first.size();
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        const CatalogText text = dxf::ReadQtCatalog(whole.substr(0, cut), {});
        EXPECT_EQ(text.ok, text.error.empty()) << cut;
        if (cut >= firstEnd) {
            ASSERT_TRUE(text.ok) << cut;
            EXPECT_EQ(text.lines.front(), "Datei öffnen") << cut;
        } else {
            EXPECT_TRUE(text.lines.empty()) << cut;
        }
    }
}

const std::string kTs = R"(<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>MainWindow</name>
    <message>
        <location filename="main.cpp" line="10"/>
        <source>Open file</source>
        <comment>menu</comment>
        <extracomment>Shown in the menu</extracomment>
        <translatorcomment>Kurz halten</translatorcomment>
        <translation>Datei &amp;öffnen</translation>
    </message>
    <message numerus="yes">
        <source>%n file(s)</source>
        <translation>
            <numerusform>%n Datei</numerusform>
            <numerusform>%n Dateien</numerusform>
        </translation>
    </message>
    <message>
        <source>Print</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save</source>
        <translation type="unfinished">Speichern</translation>
    </message>
    <message>
        <source>Old</source>
        <translation type="obsolete">Old text</translation>
    </message>
    <message>
        <source>Gone</source>
        <translation type="vanished">Gone text</translation>
    </message>
    <message>
        <source>Long label</source>
        <translation variants="yes"><lengthvariant>Eine lange Beschriftung</lengthvariant><lengthvariant>Kurz</lengthvariant></translation>
    </message>
</context>
</TS>
)";

TEST(DxfCatalogText, LinguistCatalogsGiveTheirTranslations) {
    const CatalogText text = dxf::ReadCatalog(kTs, {});
    ASSERT_TRUE(text.ok) << text.error;
    EXPECT_FALSE(text.sourceMessages);
    EXPECT_EQ(Joined(text),
              "Datei &öffnen|%n Datei|%n Dateien|Speichern|Eine lange Beschriftung|Kurz");
    // In UTF-16 as well.
    std::string wide = "\xFF\xFE";
    for (char16_t c :
         u"<?xml version=\"1.0\" encoding=\"utf-16\"?>\n<TS version=\"2.1\">"
         u"<context><message><source>Quit</source>"
         u"<translation>終了</translation></message></context></TS>") {
        if (c == 0) break;
        wide += static_cast<char>(c & 0xFF);
        wide += static_cast<char>(c >> 8);
    }
    EXPECT_EQ(Joined(dxf::ReadCatalog(wide, {})), "終了");
    // Nothing translated: the sources.
    const CatalogText sources = dxf::ReadCatalog(
        "<TS><context><message><source>Open</source><translation type=\"unfinished\"/>"
        "</message><message><source>Old</source><translation type=\"vanished\">Alt"
        "</translation></message></context></TS>",
        {});
    ASSERT_TRUE(sources.ok);
    EXPECT_TRUE(sources.sourceMessages);
    EXPECT_EQ(Joined(sources), "Open|Old");
}

TEST(DxfCatalogText, XliffTargetsWithoutCodesProposalsAndNotes) {
    const std::string v12 = R"(<?xml version="1.0" encoding="UTF-8"?>
<xliff version="1.2" xmlns="urn:oasis:names:tc:xliff:document:1.2">
  <file original="ui" source-language="en" target-language="ru" datatype="plaintext">
    <header><note>Exported</note></header>
    <body>
      <trans-unit id="1">
        <source>Open <g id="1">the</g> file</source>
        <seg-source><mrk mtype="seg" mid="1">Open the file</mrk></seg-source>
        <target state="translated">Открыть <g id="1">этот</g> файл<x id="2"/></target>
        <alt-trans><source>Open</source><target>Ouvrir</target></alt-trans>
        <note>A note</note>
      </trans-unit>
      <group id="g">
        <trans-unit id="2">
          <source>Bold</source>
          <target><bpt id="1">&lt;b&gt;</bpt>Жирный<ept id="1">&lt;/b&gt;</ept><ph id="2">%s<sub>x</sub></ph> <mrk mtype="term">шрифт</mrk></target>
        </trans-unit>
      </group>
      <trans-unit id="3"><source>Untranslated</source></trans-unit>
      <trans-unit id="4"><source>Copied <g id="1">as</g> is</source>
        <target state="needs-translation">Copied <g id="1">as</g> is</target></trans-unit>
    </body>
  </file>
</xliff>
)";
    const CatalogText text = dxf::ReadCatalog(v12, {});
    ASSERT_TRUE(text.ok) << text.error;
    EXPECT_EQ(Joined(text), "Открыть этот файл|Жирный шрифт");
    const std::string v20 =
        R"(<xliff xmlns="urn:oasis:names:tc:xliff:document:2.0" version="2.0" srcLang="en" trgLang="ja">
  <file id="f1">
    <unit id="u1">
      <notes><note>Main window</note></notes>
      <originalData><data id="d1">&lt;br/&gt;</data></originalData>
      <segment><source>Open <pc id="1">the</pc> file<ph id="2" dataRef="d1"/></source>
        <target>ファイル<pc id="1">を</pc>開く<ph id="2" dataRef="d1"/></target></segment>
      <ignorable><source> </source><target> </target></ignorable>
      <segment><source>Save</source><target><mrk id="m1" type="term">保存</mrk></target></segment>
    </unit>
  </file>
</xliff>)";
    EXPECT_EQ(Joined(dxf::ReadCatalog(v20, {})), "ファイルを開く|保存");
    // Without targets, the sources; any other root is refused.
    const CatalogText sources = dxf::ReadXmlCatalog(
        "<xliff version=\"1.2\"><file><body><trans-unit id=\"1\"><source>Open</source>"
        "<note>n</note></trans-unit></body></file></xliff>",
        {});
    ASSERT_TRUE(sources.ok);
    EXPECT_TRUE(sources.sourceMessages);
    EXPECT_EQ(Joined(sources), "Open");
    for (const char *other : {"<catalog><target>x</target></catalog>", "", "<", "not xml"})
        ExpectRefused(dxf::ReadXmlCatalog(other, {}), other);
    // Damage: what was read before it counts; entities are not expanded.
    EXPECT_EQ(Joined(dxf::ReadXmlCatalog("<xliff><file><unit><segment><target>Eins</target>"
                                         "</segment><segment><target>Zwei <b></xliff",
                                         {})),
              "Eins|Zwei ");
    const CatalogText entity = dxf::ReadXmlCatalog(
        "<?xml version=\"1.0\"?><!DOCTYPE xliff [<!ENTITY e \"Erweitert\">]>"
        "<xliff><file><unit><segment><target>Text &e; hier</target></segment></unit></file>"
        "</xliff>",
        {});
    EXPECT_EQ(Joined(entity).find("Erweitert"), std::string::npos);
}

TEST(DxfCatalogText, EveryKindOfCatalogKeepsToTheBound) {
    std::vector<Message> mo;
    std::string ts = "<TS><context>", qm;
    for (int i = 0; i < 1000; ++i) {
        mo.push_back({"id" + std::to_string(i), "Übersetzung"});
        ts += "<message><source>id</source><translation>Übersetzung</translation></message>";
        qm += QmMessage({u"Übersetzung"}, "id");
    }
    ts += "</context></TS>";
    dxf::CatalogBounds bounds;
    bounds.maxText = 100;
    for (const std::string &catalog : {Mo(mo), ts, Qm(qm)}) {
        const CatalogText text = dxf::ReadCatalog(catalog, bounds);
        ASSERT_TRUE(text.ok);
        EXPECT_GE(text.lines.size(), 8u);
        EXPECT_LE(text.lines.size(), 10u);
    }
}

}  // namespace
