// Outlook message files: how they are told among compound files, the text a
// message gives (strings in UTF-16 and in code pages, HTML and RTF bodies),
// compressed RTF, and damaged files.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "doctype/dx_abi.h"
#include "dxfilter_ole_writer.h"
#include "filters/dxfilter/compress_text.h"
#include "filters/dxfilter/msg_text.h"
#include "filters/dxfilter/ole_scan.h"
#include "filters/dxfilter/rtf_reader.h"

namespace {

using dxfilter_ole::put32;
using dxfilter_ole::Streams;
using dxfilter_ole::WrittenCompoundFile;

constexpr uint32_t kLong = 0x0003, k8Bit = 0x001E, kUnicode = 0x001F, kBinary = 0x0102;

std::string Utf16(std::u16string_view s) {
    std::string out;
    for (char16_t c : s) out += static_cast<char>(c & 0xFF), out += static_cast<char>(c >> 8);
    return out;
}

std::string StreamName(uint16_t id, uint32_t type) {
    char name[32];
    snprintf(name, sizeof name, "__substg1.0_%04X%04X", id, type);
    return name;
}

// A property table: its 32-byte header, then a row per (id, type, value).
std::string Table(std::initializer_list<std::tuple<uint16_t, uint32_t, uint32_t>> rows) {
    std::string table(32, '\0');
    for (auto [id, type, value] : rows) {
        const size_t at = table.size();
        put32(table, at, uint32_t{id} << 16 | type);
        put32(table, at + 4, 6);
        put32(table, at + 8, value);
        put32(table, at + 12, 0);
    }
    return table;
}

// A message file of its property table and up to two property streams.
struct Prop {
    uint16_t id;
    uint32_t type;
    std::string bytes;
};
std::string Message(const std::string &table, const std::vector<Prop> &props) {
    Streams streams{{"__properties_version1.0", table}};
    std::vector<std::string> names;
    for (const Prop &p : props) names.push_back(StreamName(p.id, p.type));
    for (size_t i = 0; i < props.size(); ++i) streams.emplace_back(names[i], props[i].bytes);
    return WrittenCompoundFile(streams);
}

// The pieces of a message joined, HTML marked "[html]", RTF "[rtf]", the
// text read from RTF "[rtf text]";
// "null" when the file cannot be read.
std::string Text(const std::string &file, dxf::MailBounds bounds = {}) {
    const auto pieces = dxf::ReadOutlookMessage(file, bounds);
    if (!pieces) return "null";
    std::string out;
    for (const dxf::MailPiece &p : *pieces) {
        if (!out.empty()) out += '|';
        out += (p.html ? "[html]" : p.rtf ? "[rtf]" : p.rtfText ? "[rtf text]" : "") + p.utf8;
    }
    return out;
}

int Format(const std::string &file) {
    const auto head = std::span(reinterpret_cast<const unsigned char *>(file.data()),
                                std::min<size_t>(file.size(), 8192));
    return dxf::OleFormatFromDirectory(head, [&](uint64_t at, void *out, size_t n) {
        if (at + n > file.size()) return false;
        std::copy_n(file.data() + at, n, static_cast<char *>(out));
        return true;
    });
}

// A message whose directory runs to `sectors` sectors of 512 bytes, as that
// of a message with a thousand recipients does: the property table is the
// root's only child and the directory's last entry (the entries before it
// unused), in sectors of its own after the directory.
std::string LongDirectoryMessage(size_t sectors) {
    using dxfilter_ole::kEndOfChain, dxfilter_ole::kFreeSector, dxfilter_ole::kSector;
    using dxfilter_ole::put16;
    const std::string table = Table({}) + std::string(4096, '\0');
    const size_t tableSectors = (table.size() + kSector - 1) / kSector, perFat = kSector / 4;
    size_t fats = 1;
    while (fats * perFat < fats + sectors + tableSectors) ++fats;
    const size_t directory = fats, tableAt = fats + sectors;
    std::string file(kSector * (1 + tableAt + tableSectors), '\0');
    auto sectorAt = [&](size_t id) { return kSector * (id + 1); };
    file.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    put16(file, 0x18, 0x3E), put16(file, 0x1A, 3), put16(file, 0x1C, 0xFFFE);
    put16(file, 0x1E, 9), put16(file, 0x20, 6);
    put32(file, 0x2C, static_cast<uint32_t>(fats)), put32(file, 0x30, directory);
    put32(file, 0x38, 4096), put32(file, 0x3C, kEndOfChain), put32(file, 0x44, kEndOfChain);
    for (size_t i = 0; i < 109; ++i)
        put32(file, 0x4C + 4 * i, i < fats ? static_cast<uint32_t>(i) : kFreeSector);
    std::vector<uint32_t> fat(fats * perFat, kFreeSector);
    for (size_t i = 0; i < fats; ++i) fat[i] = dxfilter_ole::kFatSector;
    for (auto [first, count] : {std::pair{directory, sectors}, {tableAt, tableSectors}})
        for (size_t i = 0; i < count; ++i)
            fat[first + i] = i + 1 < count ? static_cast<uint32_t>(first + i + 1) : kEndOfChain;
    for (size_t i = 0; i < fat.size(); ++i)
        put32(file, sectorAt(i / perFat) + 4 * (i % perFat), fat[i]);
    const size_t last = sectors * (kSector / 128) - 1;
    auto entry = [&](size_t index, std::u16string_view name, char type, uint32_t child,
                     uint32_t start, uint32_t size) {
        const size_t at = sectorAt(directory) + 128 * index;
        file.replace(at, 2 * name.size(), Utf16(name));
        put16(file, at + 64, static_cast<uint16_t>(2 * name.size() + 2));
        file[at + 66] = type;
        put32(file, at + 68, 0xFFFFFFFF), put32(file, at + 72, 0xFFFFFFFF);
        put32(file, at + 76, child), put32(file, at + 116, start), put32(file, at + 120, size);
    };
    entry(0, u"Root Entry", 5, static_cast<uint32_t>(last), kEndOfChain, 0);
    entry(last, u"__properties_version1.0", 2, 0xFFFFFFFF, static_cast<uint32_t>(tableAt),
          static_cast<uint32_t>(table.size()));
    file.replace(sectorAt(tableAt), table.size(), table);
    return file;
}

const std::string kSubjectU16 = Utf16(u"Gr\u00FC\u00DFe aus K\u00F6ln");
const std::string kSubjectUtf8 =
    "Gr\xC3\xBC\xC3\x9F"
    "e aus K\xC3\xB6ln";

TEST(DxfMsgFormat, ThePropertyTableTellsAMessage) {
    EXPECT_EQ(Format(Message(Table({}), {{0x0037, kUnicode, kSubjectU16}})), DX_FMT_MAIL);
    // Names compare ignoring case; without the table it is another compound file.
    EXPECT_EQ(Format(WrittenCompoundFile({{"__PROPERTIES_VERSION1.0", "x"}})), DX_FMT_MAIL);
    EXPECT_EQ(Format(WrittenCompoundFile({{"__substg1.0_0037001F", kSubjectU16}})), DX_FMT_OLE);
    // A Word document wins over a stray table.
    EXPECT_EQ(Format(WrittenCompoundFile(
                  {{"__properties_version1.0", "x"}, {"WordDocument", std::string(600, 'w')}})),
              DX_FMT_DOC);
}

TEST(DxfMsgFormat, ALongDirectoryIsReadToTheTable) {
    // Entries beyond 256 sectors of directory: 1,200 and 4,000 of them.
    for (size_t sectors : {300, 1000}) {
        const std::string file = LongDirectoryMessage(sectors);
        EXPECT_EQ(Format(file), DX_FMT_MAIL) << sectors;
        EXPECT_EQ(Text(file), "") << sectors;
    }
}

TEST(DxfMsgText, SubjectThenPlainBodyInUtf16) {
    const std::string body = Utf16(u"Hallo zusammen,\r\nbis morgen.\r\n> quoted line\r\n");
    EXPECT_EQ(Text(Message(Table({}), {{0x0037, kUnicode, kSubjectU16 + std::string(2, '\0')},
                                       {0x1000, kUnicode, body}})),
              kSubjectUtf8 + "|Hallo zusammen,\r\nbis morgen.\r\n");
    // A body that is all quote stays; one longer than the mini stream's
    // cutoff lies in sectors of its own.
    const std::string longBody = Utf16(std::u16string(3000, u'x'));
    EXPECT_EQ(Text(Message(Table({}), {{0x1000, kUnicode, longBody}})), std::string(3000, 'x'));
    EXPECT_EQ(Text(Message(Table({}), {{0x1000, kUnicode, Utf16(u"> all quote")}})), "> all quote");
}

TEST(DxfMsgText, AttachmentsAndRecipientsAreNotRead) {
    // The second stream becomes a storage (an attachment) holding the third,
    // a body of its own (an embedded message's): the root has no body.
    std::string file = WrittenCompoundFile({{"__properties_version1.0", Table({})},
                                            {"__attach_version1.0_#00000000", ""},
                                            {"__substg1.0_1000001F", Utf16(u"attached")}});
    const size_t directory = (dxfilter_ole::kSector * (1 + (file[0x30] & 0xFF)));
    file[directory + 2 * 128 + 66] = 1;                 // a storage
    put32(file, directory + 2 * 128 + 72, 0xFFFFFFFF);  // without a right sibling
    put32(file, directory + 2 * 128 + 76, 3);           // whose child is the body
    EXPECT_EQ(Format(file), DX_FMT_MAIL);
    EXPECT_EQ(Text(file), "");
}

TEST(DxfMsgText, EightBitStringsInTheMessageCodePage) {
    const std::vector<Prop> ru = {{0x0037, k8Bit, std::string("\xCF\xF0\xE8\xE2\xE5\xF2\0", 7)},
                                  {0x1000, k8Bit, "\xEC\xE8\xF0"}};
    const std::string privet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
    const std::string mir = "\xD0\xBC\xD0\xB8\xD1\x80";
    EXPECT_EQ(Text(Message(Table({{0x3FFD, kLong, 1251}}), ru)), privet + "|" + mir);
    // The internet code page wins over the message code page; an unknown
    // code page or none at all means windows-1252.
    EXPECT_EQ(Text(Message(Table({{0x3FFD, kLong, 1252}, {0x3FDE, kLong, 1251}}), ru)),
              privet + "|" + mir);
    EXPECT_EQ(Text(Message(Table({{0x3FFD, kLong, 99999}}), {{0x1000, k8Bit, "caf\xE9"}})),
              "caf\xC3\xA9");
    EXPECT_EQ(Text(Message(Table({}), {{0x1000, k8Bit, "caf\xE9"}})), "caf\xC3\xA9");
    EXPECT_EQ(dxf::CodePageCharset(20866), "KOI8-R");
    EXPECT_EQ(dxf::CodePageCharset(1250), "windows-1250");
    EXPECT_EQ(dxf::CodePageCharset(0), "");
}

TEST(DxfMsgText, HtmlWhenThereIsNoPlainBody) {
    EXPECT_EQ(Text(Message(Table({}), {{0x0037, kUnicode, kSubjectU16},
                                       {0x1013, kUnicode, Utf16(u"<p>Gr\u00FC\u00DFe</p>")}})),
              kSubjectUtf8 +
                  "|[html]<p>Gr\xC3\xBC\xC3\x9F"
                  "e</p>");
    // HTML kept as bytes: its declared charset, else the message code page.
    EXPECT_EQ(Text(Message(Table({}), {{0x1013, kBinary, "<meta charset=iso-8859-7>\xE3"}})),
              "[html]<meta charset=iso-8859-7>\xCE\xB3");
    EXPECT_EQ(Text(Message(Table({{0x3FFD, kLong, 1251}}), {{0x1013, kBinary, "<b>\xEC</b>"}})),
              "[html]<b>\xD0\xBC</b>");
    // A blank plain body does not hide the HTML one.
    EXPECT_EQ(Text(Message(Table({}), {{0x1000, kUnicode, Utf16(u" \r\n")},
                                       {0x1013, kUnicode, Utf16(u"<p>x</p>")}})),
              "[html]<p>x</p>");
}

// An HTML body loses its quote as an HTML part of a message does; a reply
// is told by its In-Reply-To id or a conversation index with a reply block.
TEST(DxfMsgText, HtmlRepliesLoseTheirQuote) {
    const std::string html = Utf16(u"<p>Gerne.</p><blockquote>Hello Jane.</blockquote>");
    const std::string whole = "[html]<p>Gerne.</p><blockquote>Hello Jane.</blockquote>";
    EXPECT_EQ(Text(Message(Table({}), {{0x1013, kUnicode, html}})), whole);
    EXPECT_EQ(Text(Message(Table({}),
                           {{0x0071, kBinary, std::string(22, '\1')}, {0x1013, kUnicode, html}})),
              whole);
    EXPECT_EQ(Text(Message(Table({}),
                           {{0x0071, kBinary, std::string(27, '\1')}, {0x1013, kUnicode, html}})),
              "[html]<p>Gerne.</p>");
    EXPECT_EQ(Text(Message(Table({}), {{0x1042, kUnicode, Utf16(u"<1@example.org>")},
                                       {0x1013, kUnicode, html}})),
              "[html]<p>Gerne.</p>");
    EXPECT_EQ(
        Text(Message(Table({}), {{0x1042, k8Bit, "<1@example.org>"}, {0x1013, kUnicode, html}})),
        "[html]<p>Gerne.</p>");
    // Outlook's header block, in HTML kept as bytes, in any message.
    EXPECT_EQ(Text(Message(Table({}), {{0x1013, kBinary,
                                        "<p>Gerne.</p><div style='border:none;border-top:solid "
                                        "#E1E1E1 1.0pt'><b>From:</b> Jane</div><p>Hello</p>"}})),
              "[html]<p>Gerne.</p>");
}

// UTF-16 strings: a half of a surrogate pair alone is U+FFFD.
TEST(DxfMsgText, LoneSurrogatesInStrings) {
    EXPECT_EQ(Text(Message(Table({}), {{0x0037, kUnicode,
                                        Utf16(u"a\xD800"
                                              u"b\xDC00")}})),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
    EXPECT_EQ(Text(Message(Table({}), {{0x0037, kUnicode, Utf16(u"\xD83D\xDE00!")}})),
              "\xF0\x9F\x98\x80!");
}

// A compressed RTF body: its header, then `data`.
std::string RtfBody(const std::string &data, uint32_t rawSize, uint32_t kind = 0x75465A4C) {
    std::string body;
    put32(body, 0, static_cast<uint32_t>(data.size() + 12));
    put32(body, 4, rawSize);
    put32(body, 8, kind);
    put32(body, 12, 0);
    return body + data;
}

TEST(DxfMsgRtf, CompressedBodiesExpand) {
    // A reference to the preset's first six bytes, four literals, the end
    // (a reference to where the next byte would go: 207 + 6 + 4).
    const std::string data = std::string("\x21\x00\x04", 3) + " hi}" + "\x0D\x90";
    EXPECT_EQ(dxf::DecompressRtfBody(RtfBody(data, 10), 1 << 20), "{\\rtf1 hi}");
    // A reference to text written before: "abab" from "ab" and itself.
    const std::string again = std::string("\x0C", 1) + "ab" + "\x0C\xF2" + "\x0D\x50";
    EXPECT_EQ(dxf::DecompressRtfBody(RtfBody(again, 6), 1 << 20), "ababab");
    // Uncompressed bodies; the output cap; a cut body gives what came before.
    EXPECT_EQ(dxf::DecompressRtfBody(RtfBody("{\\rtf1 x}", 9, 0x414C454D), 100), "{\\rtf1 x}");
    EXPECT_EQ(dxf::DecompressRtfBody(RtfBody(data, 10), 3), "{\\r");
    EXPECT_EQ(dxf::DecompressRtfBody(RtfBody(data.substr(0, 5), 10), 100), "{\\rtf1 h");
    EXPECT_EQ(dxf::DecompressRtfBody(RtfBody(data, 10, 0x12345678), 100), std::nullopt);
    EXPECT_EQ(dxf::DecompressRtfBody("short", 100), std::nullopt);
    // The last resort of a message, read once: its text.
    EXPECT_EQ(Text(Message(Table({}), {{0x1009, kBinary, RtfBody(data, 10)}})), "[rtf text]hi");
    EXPECT_EQ(Text(Message(Table({}), {{0x1000, kUnicode, Utf16(u"plain")},
                                       {0x1009, kBinary, RtfBody(data, 10)}})),
              "plain");
}

// An RTF body that encapsulates HTML: its tags, its text outside \htmlrtf
// runs, as one document.
const std::string kRtfHead =
    "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss Arial;}"
    "{\\f1\\fswiss\\fcharset204 Arial Cyr;}}\r\n";
std::string HtmlRtf(const std::string &inner) {
    return kRtfHead + "{\\*\\htmltag19 <html>}{\\*\\htmltag50 <body>}\\htmlrtf \\f0 \\htmlrtf0 " +
           inner + "{\\*\\htmltag58 </body>}{\\*\\htmltag27 </html>}}";
}
// A paragraph of encapsulated HTML as Outlook writes it.
std::string HtmlRtfParagraph(const std::string &text) {
    return "{\\*\\htmltag64 <p>}\\htmlrtf {\\htmlrtf0 " + text +
           "\\htmlrtf\\par}\\htmlrtf0\r\n{\\*\\htmltag72 </p>}";
}

TEST(DxfMsgRtf, EncapsulatedHtmlAndText) {
    using dxf::RtfSource;
    EXPECT_EQ(dxf::RtfBodySource(kRtfHead), RtfSource::kHtml);
    EXPECT_EQ(dxf::RtfBodySource("{\\rtf1\\ansi\\fromtext\\deff0{}}"), RtfSource::kText);
    for (const std::string_view rtf :
         {"{\\rtf1\\fromhtml0 x}", "{\\rtf1\\fromhtmlx x}", "{\\rtf1{\\*\\x\\fromhtml1}}",
          "{\\rtf1 x}", "\\fromhtml1", ""})
        EXPECT_EQ(dxf::RtfBodySource(rtf), RtfSource::kRtf) << rtf;

    // Tags whole, text outside \htmlrtf runs (in the fonts' code pages) with
    // "<" and "&" as references, nested groups, a tag inside a run.
    const std::string html =
        HtmlRtf(HtmlRtfParagraph("Gr\\'fc\\'dfe 1<2 & {\\f1 \\'ec\\'e8\\'f0}") +
                "\\htmlrtf {\\*\\htmltag84 <br>}\\u8364?\\htmlrtf0\\tab x");
    EXPECT_EQ(dxf::RtfToUtf8(html, RtfSource::kHtml, 1000, INT64_MAX),
              "<html><body><p>Gr\xC3\xBC\xC3\x9F"
              "e 1&lt;2 &amp; \xD0\xBC\xD0\xB8\xD1\x80</p><br>\tx</body></html>");
    // Text with its lines; a cap that does not cut a character; no tag, or
    // the deadline passed: nothing.
    EXPECT_EQ(
        dxf::RtfToUtf8("{\\rtf1\\fromtext a\\par\\par\r\n> b\\tab c\\line d{\\*\\htmltag <p>}}",
                       RtfSource::kText, 100, INT64_MAX),
        "a\n\n> b\tc\nd");
    EXPECT_EQ(dxf::RtfToUtf8("{\\rtf1 \\u252?\\u252?}", RtfSource::kRtf, 3, INT64_MAX), "\xC3\xBC");
    EXPECT_EQ(dxf::RtfToUtf8(kRtfHead + "<p>x</p>}", RtfSource::kHtml, 100, INT64_MAX),
              std::nullopt);
    EXPECT_EQ(dxf::RtfToUtf8(html, RtfSource::kHtml, 1000, 0), std::nullopt);
}

// A message whose only body is RTF loses its quote as its HTML or plain
// body would: it is then read as the HTML or text left. A body that quotes
// nothing, or cannot be read so, stays RTF.
TEST(DxfMsgText, RtfBodiesLoseTheirQuote) {
    const auto rtf_message = [](const std::string &rtf, bool reply) {
        std::vector<Prop> props = {{0x1009, kBinary, RtfBody(rtf, rtf.size(), 0x414C454D)}};
        if (reply) props.push_back({0x1042, kUnicode, Utf16(u"<1@example.org>")});
        return Message(Table({}), props);
    };
    const std::string own = HtmlRtfParagraph("Gerne, bis Dienstag.");
    const std::string header =
        "{\\*\\htmltag96 <div id=divRplyFwdMsg>}\\htmlrtf {\\htmlrtf0 From: Jane\\htmlrtf\\par}"
        "\\htmlrtf0{\\*\\htmltag104 </div>}" +
        HtmlRtfParagraph("Hello Jane, the meeting moves to Tuesday.");
    EXPECT_EQ(Text(rtf_message(HtmlRtf(own + header), false)),
              "[html]<html><body><p>Gerne, bis Dienstag.</p>");
    const std::string quote = "{\\*\\htmltag240 <blockquote>}" + HtmlRtfParagraph("Hello Jane.") +
                              "{\\*\\htmltag248 </blockquote>}";
    EXPECT_EQ(Text(rtf_message(HtmlRtf(own + quote), true)),
              "[html]<html><body><p>Gerne, bis Dienstag.</p></body></html>");
    // Plain text kept as RTF, and RTF of its own: their lines.
    const std::string text =
        "{\\rtf1\\ansi\\ansicpg1251\\fromtext \\deff0{\\fonttbl{\\f0\\fswiss\\fcharset204 Arial;}}"
        "\\pard\\plain\\f0 \\'ec\\'e8\\'f0\\par\\par\r\nOn Mon, Jane wrote:\\par\r\n> "
        "Hello\\par\r\n"
        "> there\\par\r\n}";
    EXPECT_EQ(Text(rtf_message(text, false)), "\xD0\xBC\xD0\xB8\xD1\x80\n\n");
    std::string native = text;
    native.replace(native.find("\\fromtext "), 10, "");
    EXPECT_EQ(Text(rtf_message(native, false)), "\xD0\xBC\xD0\xB8\xD1\x80\n\n");
    // Kept whole: a blockquote in a message that answers none, HTML without
    // its tags (the RTF, read again as RTF); a list of fields, a quote that
    // is all there is (the text read once, as the RTF reader gives it).
    const std::pair<std::string, bool> html[] = {
        {HtmlRtf(own + quote), false},
        {kRtfHead + "<p>Gerne.</p><blockquote>Hello</blockquote>}", true}};
    for (const auto &[rtf, reply] : html) EXPECT_EQ(Text(rtf_message(rtf, reply)), "[rtf]" + rtf);
    EXPECT_EQ(
        Text(rtf_message(
            "{\\rtf1\\fromtext Order:\\par Name: Jane\\par City: Oslo\\par Zip: 0150\\par}", true)),
        "[rtf text]Order:\nName: Jane\nCity: Oslo\nZip: 0150\n");
    EXPECT_EQ(Text(rtf_message("{\\rtf1\\fromtext > all quote\\par}", true)),
              "[rtf text]> all quote\n");
}

TEST(DxfMsgText, DamageAndBounds) {
    const std::string good = Message(
        Table({}), {{0x0037, kUnicode, kSubjectU16}, {0x1000, kUnicode, Utf16(u"body text")}});
    EXPECT_EQ(Text(std::string(good.size(), '\0')), "null");
    EXPECT_EQ(Text("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"), "null");
    // Without its property table a file is no message.
    EXPECT_EQ(Text(WrittenCompoundFile({{"__substg1.0_0037001F", kSubjectU16}})), "null");
    // Every cut of the file reads without harm; cut inside the mini stream
    // (the file's last sector), it cannot be read; ended where the mini
    // stream ends, as some writers end it, it can.
    for (size_t n = 0; n <= good.size(); n += 7) Text(good.substr(0, n));
    const auto byte = [&](size_t at) { return size_t{static_cast<unsigned char>(good[at])}; };
    const size_t root = dxfilter_ole::kSector * (1 + byte(0x30)) + 120;
    const size_t end = good.size() - dxfilter_ole::kSector + (byte(root) | byte(root + 1) << 8);
    EXPECT_EQ(Text(good.substr(0, end - 1)), "null");
    EXPECT_EQ(Text(good.substr(0, end)), kSubjectUtf8 + "|body text");
    // A stream whose chain loops or leaves the file is skipped.
    const std::string looped = dxfilter_ole::CompoundFile(
        {{"__properties_version1.0", Table({})},
         {"__substg1.0_1000001F", Utf16(std::u16string(2100, u'y'))}},
        [](std::vector<uint32_t> &fat, const std::vector<uint32_t> &starts) {
            fat[starts[1] + 1] = starts[1];
        });
    EXPECT_EQ(Text(looped), "");
    const std::string outside = dxfilter_ole::CompoundFile(
        {{"__properties_version1.0", Table({})},
         {"__substg1.0_1000001F", Utf16(std::u16string(2100, u'y'))}},
        [](std::vector<uint32_t> &fat, const std::vector<uint32_t> &starts) {
            fat[starts[1]] = 0x00FFFFFF;
        });
    EXPECT_EQ(Text(outside), "");
    // The text bound cuts the body; a deadline already passed leaves the subject.
    dxf::MailBounds small;
    small.maxText = 100;
    const std::string big =
        Message(Table({}), {{0x1000, kUnicode, Utf16(std::u16string(5000, u'z'))}});
    EXPECT_LE(Text(big, small).size(), 200u);
    dxf::MailBounds late;
    late.deadlineNs = 0;
    EXPECT_EQ(Text(good, late), kSubjectUtf8);
}

}  // namespace
