// TNEF streams: the format rule, the text of the samples, the body chosen
// among attributes and properties, code pages, hostile property blocks, and
// TNEF parts of MIME messages.
#include <gtest/gtest.h>

#include <string>

#include "doctype/dx_abi.h"
#include "dxfilter_test_support.h"
#include "filters/dxfilter/mail_text.h"
#include "filters/dxfilter/sniff.h"
#include "filters/dxfilter/tnef_text.h"

namespace {

std::string U32(uint32_t v) {
    return dxfilter_test::Le(v, 4);
}

// An attribute (its checksum left zero: checksums are not checked).
std::string Attr(uint8_t level, uint32_t id, const std::string &data) {
    return std::string(1, static_cast<char>(level)) + U32(id) + U32(data.size()) + data +
           std::string(2, '\0');
}
std::string Tnef(const std::string &attributes) {
    return std::string("\x78\x9F\x3E\x22\x01\x00", 6) + attributes;
}
std::string Msg(uint32_t id, const std::string &data) {
    return Attr(1, id, data);
}
constexpr uint32_t kSubject = 0x00018004, kBody = 0x0002800C, kProps = 0x00069003,
                   kCodePage = 0x00069007;

// A property: its tag, then the value (counted and padded when `counted`).
std::string Prop(uint16_t type, uint16_t id, std::string value, bool counted) {
    if (counted) value = U32(1) + U32(value.size()) + value + std::string(-value.size() % 4, '\0');
    return U32(uint32_t{id} << 16 | type) + value;
}
std::string Str(uint16_t id, const std::string &s) {
    return Prop(0x001E, id, s + '\0', true);
}
std::string Long(uint16_t id, uint32_t v) {
    return Prop(0x0003, id, U32(v), false);
}
std::string Block(uint32_t count, const std::string &props) {
    return Msg(kProps, U32(count) + props);
}

// The pieces joined, HTML marked "[html]", RTF "[rtf]", the text read from
// RTF "[rtf text]"; "null" for no stream.
std::string Text(const std::string &bytes, bool subject = true) {
    const auto pieces = dxf::ReadTnef(bytes, {}, subject);
    if (!pieces) return "null";
    std::string out;
    for (const dxf::MailPiece &p : *pieces)
        out += (out.empty() ? "" : "|") +
               std::string(p.html      ? "[html]"
                           : p.rtf     ? "[rtf]"
                           : p.rtfText ? "[rtf text]"
                                       : "") +
               p.utf8;
    return out;
}

std::string Sample(const std::string &name) {
    return glotta_test::ReadFile(dxfilter_test::kData + "mail/" + name);
}

TEST(DxfTnef, SamplesGiveTheirSubjectAndOneBody) {
    struct Row {
        const char *file, *start, *word;
    };
    const Row rows[] = {
        {"it-tnef-attbody.dat", "Riunione spostata a venerd\xC3\xAC|Cari colleghi", "trattoria"},
        {"it-tnef-cut.dat", "Riunione spostata a venerd\xC3\xAC|Cari colleghi", "vicino alla"},
        {"fr-tnef-body-1252.dat", "Reprise des r\xC3\xA9p\xC3\xA9titions de la chorale|Bonjour",
         "solf\xC3\xA8ge."},
        {"fr-tnef-badsum.dat", "Reprise des r\xC3\xA9p\xC3\xA9titions de la chorale|Bonjour",
         "solf\xC3\xA8ge."},
        {"pl-tnef-body-utf16.dat", "Wycieczka do muzeum w czwartek|Drodzy", "\xC5\x9Bniadanie"},
        {"es-tnef-rtf.dat",
         "Comida anual del club de monta\xC3\xB1"
         "a|[rtf text]",
         "refugio"},
        {"de-tnef-html.dat", "Heizung im zweiten Stock|[html]<html>", "B\xC3\xBCros"},
    };
    for (const Row &r : rows) {
        const std::string text = Text(Sample(r.file));
        EXPECT_TRUE(text.starts_with(r.start)) << r.file << ": " << text.substr(0, 80);
        EXPECT_NE(text.find(r.word), std::string::npos) << r.file;
        // One body, and never the attachment.
        EXPECT_EQ(text.find("Cari", text.find("Cari") + 1), std::string::npos) << r.file;
        EXPECT_EQ(text.find("Minutes"), std::string::npos) << r.file;
    }
}

TEST(DxfTnef, BodiesAndCodePages) {
    const std::string cyr = "\xCC\xE8\xF0", mir = "\xD0\x9C\xD0\xB8\xD1\x80";
    struct Row {
        std::string bytes, text;
    };
    const Row rows[] = {
        {Tnef(Msg(kSubject, "caf\xE9") + Msg(kBody, "attr")), "caf\xC3\xA9|attr"},
        // The body property wins over the body attribute, in either order.
        {Tnef(Msg(kBody, "attr") + Block(1, Str(0x1000, "prop"))), "prop"},
        {Tnef(Block(1, Str(0x1000, "prop")) + Msg(kBody, "attr")), "prop"},
        // The code page attribute, else the internet code page, else the
        // message code page.
        {Tnef(Msg(kCodePage, U32(1251) + U32(0)) + Msg(kBody, cyr)), mir},
        {Tnef(Block(2, Long(0x3FFD, 1252) + Long(0x3FDE, 1251)) + Msg(kBody, cyr)), mir},
        {Tnef(Msg(kCodePage, U32(1)) + Block(1, Long(0x3FFD, 1251)) + Msg(kBody, cyr)), mir},
        // Attachments are not read; a blank body gives way to the HTML one.
        {Tnef(Attr(2, kBody, "attached") + Attr(2, kSubject, "file.txt")), ""},
        {Tnef(Msg(kBody, " \r\n") + Block(1, Prop(0x0102, 0x1013, "<p>x</p>", true))),
         "[html]<p>x</p>"},
        {"\x78\x9F\x3E", "null"},
        {"PK\x03\x04zzzzzz", "null"},
    };
    for (const Row &r : rows) EXPECT_EQ(Text(r.bytes), r.text) << r.text;
    EXPECT_EQ(Text(Tnef(Msg(kSubject, "s") + Msg(kBody, "b")), false), "b");
}

// Property blocks that lie: each reads to where it can be framed, in time
// and memory bounded by its bytes.
TEST(DxfTnef, HostilePropertyBlocks) {
    const std::string body = Str(0x1000, "kept");
    const std::string guid(16, 'g');
    struct Row {
        std::string block, text;
    };
    const Row rows[] = {
        {U32(0xFFFFFFFF) + body, "kept"},
        // A multi-valued property counting more values than there are.
        {U32(2) + body + U32(0x1003 | 0x00AA0000u) + U32(0x7FFFFFFF) + U32(1), "kept"},
        {U32(2) + U32(0x101E | 0x10000000u) + U32(0xFFFFFFFF) + U32(0xFFFFFF00) + body, ""},
        // Named properties: by number, by name (padded), of an unknown kind.
        {U32(3) + U32(0x80010003) + guid + U32(0) + U32(7) + U32(1) + U32(0x8002001E) + guid +
             U32(1) + U32(6) + std::string("n\0m\0e\0\0\0", 8) + U32(1) + U32(2) +
             std::string("x\0\0\0", 4) + body,
         "kept"},
        {U32(2) + body + U32(0x80010003) + guid + U32(9) + body, "kept"},
        // A type the block cannot frame ends it; an object is counted.
        {U32(2) + U32(0x00010099) + body, ""},
        {U32(2) + Prop(0x000D, 0x3701, std::string(16, 'i') + "obj", true) + body, "kept"},
        // A value cut short by the end of the block gives what is there.
        {U32(1) + U32(0x1000001E) + U32(1) + U32(1000) + "cut sho", "cut sho"},
        {U32(1) + U32(0x1000001E), ""},
    };
    for (const Row &r : rows) EXPECT_EQ(Text(Tnef(Msg(kProps, r.block))), r.text) << r.text;
    // An attribute whose length runs past the end gives what is there.
    EXPECT_EQ(Text(Tnef(std::string("\x01\x0C\x80\x02\x00\xFF\xFF\xFF\x7F", 9) + "cut")), "cut");
}

TEST(DxfTnef, RuleTellsAStream) {
    EXPECT_EQ(dxfilter_test::Sniffed(Sample("it-tnef-attbody.dat")), DX_FMT_MAIL);
    EXPECT_EQ(dxfilter_test::Sniffed(std::string("\x78\x9F\x3E\x22\x01\x00", 6)), DX_FMT_MAIL);
    EXPECT_NE(dxfilter_test::Sniffed(std::string("\x78\x9F\x3E\x22\x01\x00\x07zzzzzzzz", 15)),
              DX_FMT_MAIL);
}

// A message without a body of its own reads its TNEF part's, without the
// part's subject; one with a body leaves the part alone.
TEST(DxfTnef, PartsOfMimeMessages) {
    const std::string tnef = Tnef(Msg(kSubject, "Betreff") + Msg(kBody, "Inhalt"));
    const std::string head =
        "From: a@b\r\nDate: Mon, 1 Jan 2024 10:00:00 +0000\r\nSubject: Betreff\r\n"
        "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
    const std::string part =
        "--b\r\nContent-Type: application/ms-tnef\r\nContent-Disposition: attachment; "
        "filename=winmail.dat\r\nContent-Transfer-Encoding: binary\r\n\r\n" +
        tnef + "\r\n";
    const auto text = [](const std::string &message) {
        std::string out;
        for (const dxf::MailPiece &p : dxf::ReadMail(message, {})) out += "|" + p.utf8;
        return out;
    };
    EXPECT_EQ(text(head + part + "--b--\r\n"), "|Betreff|Inhalt");
    EXPECT_EQ(text(head + "--b\r\nContent-Type: text/plain\r\n\r\n \r\n" + part + part + "--b--"),
              "|Betreff|Inhalt");
    EXPECT_EQ(
        text(head + "--b\r\nContent-Type: text/plain\r\n\r\nEigener Text\r\n" + part + "--b--"),
        "|Betreff|Eigener Text");
    EXPECT_EQ(text("From: a@b\r\nDate: x\r\nContent-Type: application/vnd.ms-tnef\r\n"
                   "Content-Transfer-Encoding: base64\r\n\r\neJ8+IgEAAQyAAgAGAAAASW5oYWx0AAA=\r\n"),
              "|Inhalt");
}

}  // namespace
