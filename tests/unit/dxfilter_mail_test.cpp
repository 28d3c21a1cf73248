// E-mail messages: the format rule that tells them, the transfer and header
// decoders, and the text a message gives (parts, charsets, bounds, damage).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dxfilter_test_support.h"
#include "filters/dxfilter/bytes.h"
#include "filters/dxfilter/mail_text.h"
#include "filters/dxfilter/sniff.h"

namespace {

using dxf::DecodeBase64;
using dxf::DecodeHeaderValue;
using dxf::DecodeQuotedPrintable;
using dxf::DropQuotedHtml;
using dxf::DropQuotedLines;
using dxf::LooksLikeMail;
using dxfilter_test::Sniffed;

// The pieces of a message joined, HTML marked "[html]".
std::string Text(const std::string &message, dxf::MailBounds bounds = {}) {
    std::string out;
    for (const dxf::MailPiece &p : dxf::ReadMail(message, bounds)) {
        if (!out.empty()) out += '|';
        out += p.html ? "[html]" + p.utf8 : p.utf8;
    }
    return out;
}

const std::string kHead =
    "Received: from mx.example.org by mail.example.net\r\n"
    "\tfor <b@example.net>; Mon, 1 Jan 2024 10:00:00 +0000\r\n"
    "From: A <a@example.org>\r\nTo: b@example.net\r\nDate: Mon, 1 Jan 2024 10:00:00 +0000\r\n"
    "MIME-Version: 1.0\r\n";

TEST(DxfMailRule, MessagesAndMboxesAreTold) {
    EXPECT_TRUE(LooksLikeMail(kHead + "Subject: x\r\n\r\nbody\r\n", true));
    EXPECT_TRUE(LooksLikeMail("From a@b Mon Jan  1 10:00:00 2024\nFrom: a\nDate: x\n\nhi\n", true));
    // git format-patch output is a message.
    EXPECT_TRUE(
        LooksLikeMail("From 0123abc Mon Sep 17 00:00:00 2001\nFrom: A <a@b>\n"
                      "Date: Tue, 2 Jan 2024 10:00:00 +0100\nSubject: [PATCH] fix\n\nmsg\n",
                      true));
    // A header block longer than the head counts on the lines seen.
    std::string longHead = "Message-ID: <x@y>\nSubject: s\n";
    while (longHead.size() < 9000) longHead += "X-Filler: 0123456789012345678901234567890123\n";
    EXPECT_FALSE(LooksLikeMail(longHead, true));
    EXPECT_TRUE(LooksLikeMail(longHead.substr(0, 8192), false));
}

TEST(DxfMailRule, LookalikesStayWhatTheyAre) {
    const char *others[] = {
        // Debian copyright and control files
        "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
        "Upstream-Name: foo\nSource: https://foo.org\n\nFiles: *\nCopyright: 2020 A\n",
        "Package: foo\nVersion: 1.0\nMaintainer: A <a@b>\nDescription: x\n y\n\n",
        // an HTTP exchange
        "HTTP/1.1 200 OK\r\nDate: Mon, 1 Jan 2024\r\nContent-Type: text/html\r\n\r\n<html>",
        "Date: Mon, 1 Jan 2024\r\nServer: x\r\nContent-Type: text/plain\r\n\r\nbody",
        // a desktop entry, YAML front matter, prose
        "[Desktop Entry]\nName=Foo\nExec=foo\n",
        "---\ntitle: x\ndate: 2024-01-01\n---\n\ntext\n",
        "From: the author's notes\nThis is prose that mentions Date: once.\n\nMore.\n",
        // a patch description (DEP-3): From and Subject alone
        "From: A <a@b>\nSubject: Fix the build\nForwarded: no\n\n--- a/x\n+++ b/x\n",
        // header syntax broken, no empty line, one field only
        "From: a\nDate: x\nnot a header line\n\nbody\n",
        "From: a\nDate: x\n",
        "Subject: hello\n\nbody\n",
        " From: a\nDate: x\n\n",
        "From : a\nDate: x\n\n",
        "",
    };
    for (const char *text : others) EXPECT_FALSE(LooksLikeMail(text, true)) << text;
}

TEST(DxfMailRule, SniffGivesTheMailFormatForTextOnly) {
    const std::string msg = kHead + "Subject: x\r\n\r\nbody\r\n";
    EXPECT_EQ(Sniffed(msg), 348);
    // A UTF-8 byte-order mark before the header block changes nothing, in
    // the rule or in the text.
    const std::string bom = "\xEF\xBB\xBF" + msg;
    EXPECT_EQ(Sniffed(bom), 348);
    EXPECT_EQ(Text(bom), "x|body\r\n");
    EXPECT_EQ(Text("\xEF\xBB\xBF"
                   "From a@b Mon Jan  1 10:00:00 2024\nFrom: a\nDate: x\n"
                   "Subject: one\n\nfirst\n"),
              "one|first\n");
    // Text with a byte-order mark that is no message stays text.
    EXPECT_EQ(Sniffed("\xEF\xBB\xBF"
                      "Date: today\nJust a note.\n"),
              2);
}

TEST(DxfMailRule, RoutingFieldsFillingTheHeadStillTell) {
    // Servers put Received, DKIM and ARC fields before all others; when they
    // fill the whole head, two of them with a Received field are enough.
    std::string head;
    while (head.size() < 9000)
        head +=
            "Received: from relay.example.net by mx.example.org;\n"
            "\tMon, 1 Jan 2024 10:00:00 +0000\n"
            "ARC-Seal: i=1; a=rsa-sha256; cv=none; d=example.org; b=" +
            std::string(120, 'A') + "\n";
    EXPECT_TRUE(LooksLikeMail(head.substr(0, 8192), false));
    std::string dkim;
    while (dkim.size() < 9000)
        dkim += "DKIM-Signature: v=1; a=rsa-sha256; b=" + std::string(100, 'B') + "\n";
    EXPECT_FALSE(LooksLikeMail(dkim.substr(0, 8192), false));  // none that dates or routes
    std::string received;
    while (received.size() < 9000) received += "Received: from a by b; Mon, 1 Jan 2024\n";
    EXPECT_FALSE(LooksLikeMail(received.substr(0, 8192), false));  // one field name only
}

// An Apple Mail message file: a count line, the message, its property list.
const std::string kPlist =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
    "\t<key>flags</key>\n\t<integer>8590195713</integer>\n"
    "\t<key>subject</key>\n\t<string>property words</string>\n</dict>\n</plist>\n";
const std::string kEmlxMessage = kHead + "Subject: s\n\nbody\n";
const std::string kCount = std::to_string(kEmlxMessage.size());

TEST(DxfMailRule, AppleMailFilesNeedACountLineAndAHeaderBlock) {
    const std::string &msg = kEmlxMessage;
    const std::string told[] = {
        kCount + "\n" + msg + kPlist,
        kCount + "      \n" + msg + kPlist,  // padded to ten characters
        kCount + " \t\n" + msg + kPlist,
        std::to_string(msg.size() + 5000) + "\n" + msg,  // cut: the message is what is there
        kCount + "\n" + msg,                             // no property list
        "\xEF\xBB\xBF" + kCount + "\n" + msg + kPlist,
    };
    for (const std::string &doc : told) EXPECT_EQ(Sniffed(doc), 348) << doc;
    const std::string others[] = {
        "0\n" + msg + kPlist,                     // a zero count
        "0" + kCount + "\n" + msg + kPlist,       // a leading zero
        "+" + kCount + "\n" + msg + kPlist,       // a sign
        " " + kCount + "\n" + msg + kPlist,       // a leading blank
        kCount + "\r\n" + msg + kPlist,           // not what Apple Mail writes
        kCount + "x\n" + msg + kPlist,            // not a number alone
        "12345678901\n" + msg + kPlist,           // more digits than any count
        "18446744073709551617\n" + msg + kPlist,  // past 64 bits
        "40\n" + msg + kPlist,                    // the header block ends past the count
        kCount + "\n",                            // a count line alone
        kCount + "\n" + kPlist,                   // a property list alone
        kCount + "\nDate: 2024\nFrom: a\nnot a field\n\nbody\n",  // no header block
        kCount + "\nSubject: figures\n\n1984\n2310\n",            // one field only
        "1984\n2310\n2875\n\nVisitors per quarter.\n",            // a list of figures
    };
    for (const std::string &doc : others) EXPECT_NE(Sniffed(doc), 348) << doc;
    // A header block longer than the head counts on the lines seen, as for
    // other messages; one cut by its own count does not.
    std::string longHead = "Message-ID: <x@y>\nSubject: s\n";
    while (longHead.size() < 9000) longHead += "X-Filler: 0123456789012345678901234567890123\n";
    const std::string longFile = "30000     \n" + longHead + "\nbody\n";
    EXPECT_EQ(Sniffed(longFile.substr(0, 8192), 30000), 348);
    const std::string shortCount = "4000\n" + longHead + "\nbody\n";
    EXPECT_NE(Sniffed(shortCount.substr(0, 8192), 30000), 348);
}

// The transfer decoders, and the escapes of parameter values (and of the
// office module's links).
TEST(DxfMailDecode, TransferEncodingsAndPercentEscapes) {
    const struct {
        std::string (*decode)(std::string_view);
        std::string in, out;
    } cases[] = {
        {DecodeBase64, "SGVsbG8sIHdvcmxkIQ==", "Hello, world!"},
        {DecodeBase64, "SGVs\r\nbG8s\n IHdv cmxk", "Hello, world"},
        {DecodeBase64, "SGVsbG8", "Hello"},  // unpadded
        {DecodeBase64, "S*G#V!s", "Hel"},    // junk skipped
        {DecodeBase64, "SGk=SGk=", "Hi"},    // padding ends the data
        {DecodeBase64, "S", ""},             // a lone sextet is nothing
        {DecodeBase64, "", ""},
        {DecodeQuotedPrintable, "Gr=C3=BC=C3=9Fe",
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        {DecodeQuotedPrintable, "soft=\r\nbreak=  \nhere", "softbreakhere"},
        {DecodeQuotedPrintable, "a=ZZb", "a=ZZb"},  // no escape: "=" stands
        {DecodeQuotedPrintable, "a=4", "a=4"},      // cut escape
        {DecodeQuotedPrintable, "end=", "end"},     // soft break at the end
        {DecodeQuotedPrintable, "=e9t=E9", "\xE9t\xE9"},
        {dxf::percent_decode, "caf%C3%a9%20au%2", "caf\xC3\xA9 au%2"},
        {dxf::percent_decode, "%%41%g1%", "%A%g1%"},
    };
    for (const auto &c : cases) EXPECT_EQ(c.decode(c.in), c.out) << c.in;
    EXPECT_EQ(dxf::hex_digit(-1), -1);
    EXPECT_EQ(dxf::hex_digit('F') + dxf::hex_digit('f'), 30);
}

TEST(DxfMailDecode, EncodedWordsInHeaders) {
    EXPECT_EQ(DecodeHeaderValue("plain subject"), "plain subject");
    EXPECT_EQ(DecodeHeaderValue("=?UTF-8?B?R3LDvMOfZQ==?="),
              "Gr\xC3\xBC\xC3\x9F"
              "e");
    EXPECT_EQ(DecodeHeaderValue("=?iso-8859-1?q?Caf=E9_cr=E8me?="), "Caf\xC3\xA9 cr\xC3\xA8me");
    // White space between two words goes; around plain text it stays.
    EXPECT_EQ(DecodeHeaderValue("=?utf-8?q?a?= =?utf-8?q?b?= c =?utf-8?q?d?="), "ab c d");
    // A UTF-8 character split across two words comes out whole.
    EXPECT_EQ(DecodeHeaderValue("=?UTF-8?B?w6k=?= =?UTF-8?B?w6k=?="), "\xC3\xA9\xC3\xA9");
    EXPECT_EQ(DecodeHeaderValue("=?KOI8-R?B?8NLJ18XU?="),
              "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2"
              "\xD0\xB5\xD1\x82");
    EXPECT_EQ(DecodeHeaderValue("=?utf-8*de?q?Hallo?="), "Hallo");  // RFC 2231 language
    // Malformed words are text; an unknown charset lets the bytes decide.
    EXPECT_EQ(DecodeHeaderValue("=?utf-8?X?abc?="), "=?utf-8?X?abc?=");
    EXPECT_EQ(DecodeHeaderValue("=?utf-8?q?no end"), "=?utf-8?q?no end");
    EXPECT_EQ(DecodeHeaderValue("=?x-unknown?q?caf=C3=A9?="), "caf\xC3\xA9");
    // A blank inside ends a would-be word; the "?=" past it may close a
    // later word, also after words that close nowhere.
    EXPECT_EQ(DecodeHeaderValue("=?utf-8?q?a b?= =?utf-8?q?c?="), "=?utf-8?q?a b?= c");
    EXPECT_EQ(DecodeHeaderValue("=?a?B?x =?a b?B?x =?utf-8?B?w6k=?="),
              "=?a?B?x =?a b?B?x \xC3\xA9");
    // Raw 8-bit headers: UTF-8 when valid.
    EXPECT_EQ(DecodeHeaderValue("Gr\xC3\xBC\xC3\x9F"
                                "e"),
              "Gr\xC3\xBC\xC3\x9F"
              "e");
}

TEST(DxfMailText, SubjectThenPlainPartsInOrderThenHtml) {
    const std::string msg =
        kHead +
        "Subject: =?utf-8?q?Gr=C3=BC=C3=9Fe?=\r\n"
        "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
        "preamble\r\n--b1\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
        "<p>html one</p>\r\n--b1\r\n"
        "Content-Type: text/plain; charset=iso-8859-1\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
        "Caf=E9\r\n--b1\r\nContent-Type: application/pdf\r\n\r\n%PDF-1.4\r\n"
        "--b1\r\nContent-Type: text/plain\r\nContent-Disposition: attachment;"
        " filename=x.txt\r\n\r\nattached\r\n--b1\r\n"
        "Content-Type: text/plain; charset=utf-8\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nendv\r\n--b1--\r\nepilogue\r\n";
    EXPECT_EQ(Text(msg),
              "Gr\xC3\xBC\xC3\x9F"
              "e|Caf\xC3\xA9|zwo|[html]<p>html one</p>");
}

TEST(DxfMailText, AlternativesNestingAndInnerMessages) {
    const std::string alt =
        "Content-Type: multipart/alternative; boundary=alt\n\n"
        "--alt\nContent-Type: text/html\n\n<b>rich</b>\n"
        "--alt\nContent-Type: text/plain\n\nplain\n--alt--\n";
    EXPECT_EQ(Text(kHead + alt), "plain");
    const std::string htmlOnly =
        "Content-Type: multipart/alternative; boundary=alt\n\n"
        "--alt\nContent-Type: text/html\n\n<b>rich</b>\n--alt--\n";
    EXPECT_EQ(Text(kHead + htmlOnly), "[html]<b>rich</b>");
    // An alternative that is itself a multipart (related HTML with images).
    const std::string related =
        "Content-Type: multipart/alternative; boundary=a\n\n--a\n"
        "Content-Type: multipart/related; boundary=r\n\n--r\nContent-Type: text/html\n\n"
        "<i>x</i>\n--r\nContent-Type: image/png\n\nPNG\n--r--\n--a--\n";
    EXPECT_EQ(Text(kHead + related), "[html]<i>x</i>");
    const std::string inner =
        "Subject: outer\nContent-Type: multipart/mixed; boundary=m\n\n"
        "--m\n\nnew text\n--m\nContent-Type: message/rfc822\n\n"
        "From: c\nDate: d\nSubject: inner\n\ninner body\n--m--\n";
    EXPECT_EQ(Text(kHead + inner), "outer|new text|inner|inner body");
    // A digest's parts are messages unless they name another type; the
    // parts of other multiparts are plain text.
    const std::string digest =
        "Subject: digest\nContent-Type: multipart/digest; boundary=d\n\n"
        "--d\n\nFrom: c\nSubject: first\nContent-Transfer-Encoding: quoted-printable\n\n"
        "caf=C3=A9\n"
        "--d\nContent-Type: message/rfc822\n\nSubject: second\n\nbody 2\n"
        "--d\nContent-Type: text/plain\n\nFrom: a note\n--d--\n";
    EXPECT_EQ(Text(kHead + digest), "digest|first|café|second|body 2|From: a note");
    const std::string mixed =
        "Content-Type: multipart/mixed; boundary=m\n\n--m\n\nFrom: c\n\nx\n--m--\n";
    EXPECT_EQ(Text(kHead + mixed), "From: c\n\nx");
}

TEST(DxfMailText, CharsetsDeclaredMissingAndWrong) {
    const auto part = [](const std::string &type, const std::string &body) {
        return kHead + "Content-Type: " + type + "\nContent-Transfer-Encoding: 8bit\n\n" + body;
    };
    EXPECT_EQ(Text(part("text/plain; charset=windows-1251", "\xCF\xF0\xE8\xE2\xE5\xF2")),
              "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    // Declared ASCII or nothing: valid UTF-8 is UTF-8, else the bytes decide.
    EXPECT_EQ(Text(part("text/plain; charset=us-ascii",
                        "Gr\xC3\xBC\xC3\x9F"
                        "e")),
              "Gr\xC3\xBC\xC3\x9F"
              "e");
    const std::string latin1 =
        "Le caf\xE9 est tr\xE8s bon, la cr\xE8me br\xFBl\xE9"
        "e aussi. "
        "Voil\xE0 un d\xE9jeuner o\xF9 l'on mange \xE0 la fran\xE7"
        "aise.";
    const std::string utf8 =
        "Le caf\xC3\xA9 est tr\xC3\xA8s bon, la cr\xC3\xA8me br\xC3\xBBl"
        "\xC3\xA9"
        "e aussi. Voil\xC3\xA0 un d\xC3\xA9jeuner o\xC3\xB9 l'on "
        "mange \xC3\xA0 la fran\xC3\xA7"
        "aise.";
    EXPECT_EQ(Text(part("text/plain", latin1)), utf8);
    EXPECT_EQ(Text(part("text/plain; charset=\"no-such-set\"", latin1)), utf8);
    // HTML declares its own charset when the part does not.
    EXPECT_EQ(Text(part("text/html", "<meta charset=iso-8859-7><p>\xE3\xE5\xE9\xE1</p>")),
              "[html]<meta charset=iso-8859-7><p>\xCE\xB3\xCE\xB5\xCE\xB9\xCE\xB1</p>");
}

TEST(DxfMailText, OtherTextTypes) {
    const auto part = [](const std::string &type, const std::string &body) {
        return kHead + "Content-Type: " + type + "\n\n" + body;
    };
    EXPECT_EQ(Text(part("text/enriched",
                        "<bold>Bold</bold> and <color><param>red</param>red</color> <<x>\n")),
              "Bold and red <x>\n");
    EXPECT_EQ(Text(part("text/markdown; charset=utf-8", "# Title\n\nText\n")), "# Title\n\nText\n");
    EXPECT_EQ(Text(part("text/x-log", "a log\n")), "a log\n");
    // A type without its subtype is no type: plain text, in its charset.
    EXPECT_EQ(Text(part("text; charset=iso-8859-1", "caf\xE9\n")), "café\n");
    EXPECT_EQ(Text(part("application", "data\n")), "data\n");
    // Data in text form is no text.
    EXPECT_EQ(Text(part("text/calendar", "BEGIN:VCALENDAR\n")), "");
    EXPECT_EQ(Text(part("text/x-vcard", "BEGIN:VCARD\n")), "");
    EXPECT_EQ(Text(part("text/csv", "a,b\n")), "");
    // Alternatives: plain first, then other text, then HTML.
    const std::string alt =
        "Content-Type: multipart/alternative; boundary=a\n\n"
        "--a\nContent-Type: text/html\n\n<b>h</b>\n"
        "--a\nContent-Type: text/enriched\n\n<bold>e</bold>\n"
        "--a\nContent-Type: text/calendar\n\nBEGIN\n--a--\n";
    EXPECT_EQ(Text(kHead + alt), "e");
}

TEST(DxfMailText, FlowedLinesJoin) {
    const auto part = [](const std::string &params, const std::string &body) {
        return kHead + "Content-Type: text/plain; charset=utf-8; format=flowed" + params + "\n\n" +
               body;
    };
    EXPECT_EQ(Text(part("", "one two \r\nthree\r\n\r\nnext \nend\n")),
              "one two three\n\nnext end\n");
    EXPECT_EQ(Text(part("; delsp=yes", "Donners\x20\ntag\n")), "Donnerstag\n");
    // A stuffed space goes; the signature line stays fixed; a line goes on
    // only in a line of its own quote depth.
    EXPECT_EQ(Text(part("", " From here\n-- \nsig\n")), "From here\n-- \nsig\n");
    EXPECT_EQ(Text(part("", "mine \n> quoted \n> on\nmore\n")), "mine \nmore\n");
    EXPECT_EQ(Text(part("", "> a \n> b\n")), "> a b\n");
    // Without format=flowed the lines stay as they are.
    EXPECT_EQ(Text(kHead + "Content-Type: text/plain\n\none \ntwo\n"), "one \ntwo\n");
}

TEST(DxfMailText, ExtendedParameters) {
    // A charset in RFC 2231 form, and a boundary given in continuations.
    EXPECT_EQ(Text(kHead + "Content-Type: text/plain; charset*=windows-1251'ru'koi8-r\n\n"
                           "\xF0\xD2\xC9\xD7\xC5\xD4"),
              "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    EXPECT_EQ(Text(kHead + "Content-Type: text/plain; charset*0*=''windows%2D; charset*1=1251\n\n"
                           "\xEC\xE8\xF0"),
              "\xD0\xBC\xD0\xB8\xD1\x80");
    EXPECT_EQ(
        Text(kHead + "Content-Type: multipart/mixed;\n boundary*1=\"-two\"; boundary*0=\"one\"\n\n"
                     "--one-two\n\npart\n--one-two--\n"),
        "part");
    // A plain parameter stays when no other form is there.
    EXPECT_EQ(Text(kHead + "Content-Type: text/plain; charset=\"koi8-r\"; name*=x\n\n"
                           "\xCD\xC9\xD2"),
              "\xD0\xBC\xD0\xB8\xD1\x80");
}

TEST(DxfMailText, QuotedReplyLinesGoUnlessTheyAreAll) {
    EXPECT_EQ(Text(kHead + "\nMy answer.\n> the question\n  > more\nBye\n"), "My answer.\nBye\n");
    EXPECT_EQ(Text(kHead + "\n> only a quote\n"), "> only a quote\n");
}

// What mail programs write above and below a reply, in any language: the
// line introducing a quote, a separator line, an Outlook header block.
TEST(DxfMailText, QuotedMessagesGoWithWhatIntroducesThem) {
    EXPECT_EQ(DropQuotedLines("Danke!\n\nOn Mon, 5 Dec 2026, A <a@b.c> wrote:\n\n> Hi\n> there\n"),
              "Danke!\n\n");
    EXPECT_EQ(DropQuotedLines("Oui.\nLe 5 d\xC3\xA9"
                              "c. 2026, A a \xC3\xA9"
                              "crit :\n> Hi\nMerci\n"),
              "Oui.\nMerci\n");
    // A colon not right before the quote stays; an intro alone keeps all.
    EXPECT_EQ(DropQuotedLines("Steps:\nfirst\n> q\n"), "Steps:\nfirst\n");
    EXPECT_EQ(DropQuotedLines("A wrote:\n> q\n"), "A wrote:\n> q\n");

    const std::string original = "Hello Jane,\nthe meeting moves to Tuesday.\n";
    EXPECT_EQ(DropQuotedLines("Gerne.\n\n-----Original Message-----\nFrom: Jane\n" + original),
              "Gerne.\n\n");
    EXPECT_EQ(DropQuotedLines("Vale.\r\n-------- Mensaje original --------\r\n" + original),
              "Vale.\r\n");
    EXPECT_EQ(DropQuotedLines("Bien.\n\nDe : Jane <jane@example.com>\nEnvoy\xC3\xA9 : lundi 10:05\n"
                              "\xC3\x80 : Paul\nObjet : Re: r\xC3\xA9union\n\n" +
                              original),
              "Bien.\n\n");
    // Forwarded alone: the message is all there is.
    const std::string forward = "---------- Forwarded message ---------\n" + original;
    EXPECT_EQ(DropQuotedLines(forward), forward);
    // Not quoted messages: rules and signatures, the rules of text tables
    // (columns under dashes, a database client's "----+----"), a list of
    // fields without an address, too few header lines, a web form's fields
    // without a time, a separator holding a date.
    for (const std::string_view text :
         {"Text\n-- \nJane\n", "Text\n----------\nmore\n",
          "Prices\n  ------- ----- -------\n  Apples  3     Oslo\n",
          "Result:\n id | name\n----+------\n  1 | Jane\n", "Text\n-- - -- --\nmore\n",
          "Order:\nName: Jane\nCity: Oslo\nZip: 0150\n", "Text\nFrom: a@b.c\nTo: d@e.f\n\nmore\n",
          "New entry:\nName: Jane\nEmail: jane@example.com\nMessage: Hallo\n",
          "Text\n-- 5 Dec 2026 --\nmore\n"}) {
        EXPECT_EQ(DropQuotedLines(std::string(text)), text);
    }
}

// Chinese and Japanese mail programs end the line introducing a quote in a
// full-width colon (U+FF1A); in plain and HTML parts it goes with the quote.
TEST(DxfMailText, FullWidthColonIntroducesQuotes) {
    const std::string zh = "\xE5\x86\x99\xE9\x81\x93\xEF\xBC\x9A";  // "wrote" and U+FF1A
    const std::string ja =
        "\xE6\x9B\xB8\xE3\x81\x8D\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F\xEF\xBC\x9A";
    EXPECT_EQ(DropQuotedLines("\xE5\xA5\xBD\xE7\x9A\x84\n\n2026-12-05 10:00, Jane " + zh +
                              "\n\n> Hi\n> there\n"),
              "\xE5\xA5\xBD\xE7\x9A\x84\n\n");
    EXPECT_EQ(DropQuotedLines("OK\r\nJane " + ja + "\r\n> Hi\r\n"), "OK\r\n");
    EXPECT_EQ(DropQuotedHtml("<p>OK</p><div>Jane " + zh +
                                 "&nbsp;<br></div><blockquote type=cite>"
                                 "<p>Hi</p></blockquote>",
                             false),
              "<p>OK</p>");
    // A full-width colon on a line no quote follows, inside a line, or on
    // the last line or the only one the writer wrote: nothing more goes.
    const std::string note = "\xE6\xB3\xA8\xE6\x84\x8F\xEF\xBC\x9A\n";  // "note" and U+FF1A
    EXPECT_EQ(DropQuotedLines(note + "first\n> q\n"), note + "first\n");
    EXPECT_EQ(DropQuotedLines("a\xEF\xBC\x9A b\n> q\n"), "a\xEF\xBC\x9A b\n");
    for (const std::string &text : {"OK\n" + note, "Jane " + zh + "\n> q\n"})
        EXPECT_EQ(DropQuotedLines(text), text);
    const std::string tail = "<p>OK</p><p>Jane " + zh + "</p>";
    EXPECT_EQ(DropQuotedHtml(tail, true), tail);
}

// HTML may write the colon ending a line that introduces a quote as a
// character reference.
TEST(DxfMailHtml, ColonReferencesIntroduceQuotes) {
    const std::string wrote = "Jane \xE5\x86\x99\xE9\x81\x93";  // "Jane wrote"
    for (const std::string_view colon : {"&#65306;", "&#xFF1A;", "&#58;", "&colon;", "&#x3A;"}) {
        EXPECT_EQ(DropQuotedHtml("<p>OK</p><div>" + wrote + std::string(colon) +
                                     "<br></div><blockquote type=cite><p>Hi</p></blockquote>",
                                 false),
                  "<p>OK</p>")
            << colon;
    }
    // Not at the end of the line before the quote: it stays.
    const std::string note = "<p>Note&#65306; first</p>";
    EXPECT_EQ(DropQuotedHtml(note + "<blockquote type=cite>q</blockquote>", false), note);
    const std::string last = "<p>OK</p><p>" + wrote + "&#65306;</p>";
    EXPECT_EQ(DropQuotedHtml(last, true), last);
}

// Outlook's header block over a quoted message in the languages it writes
// it in: with labels it knows, a sender named without an address or a time
// written without a colon still open the quoted message; the full-width
// colon separates labels as the ASCII one does.
TEST(DxfMailText, OutlookHeaderBlocksInTheirLanguages) {
    const std::string original = "\nHello Jane,\nthe meeting moves to Tuesday.\n";
    // Sender, time sent, recipient, subject, as Outlook labels them.
    const std::string_view labels[][4] = {
        {"From", "Sent", "To", "Subject"},
        {"Von", "Gesendet", "An", "Betreff"},
        {"De", "Envoy\xC3\xA9", "\xC3\x80", "Objet"},
        {"\xD0\x9E\xD1\x82",
         "\xD0\x9E\xD1\x82\xD0\xBF\xD1\x80\xD0\xB0\xD0\xB2\xD0\xBB\xD0\xB5\xD0\xBD\xD0\xBE",
         "\xD0\x9A\xD0\xBE\xD0\xBC\xD1\x83", "\xD0\xA2\xD0\xB5\xD0\xBC\xD0\xB0"},
        {"\xE5\x8F\x91\xE4\xBB\xB6\xE4\xBA\xBA", "\xE5\x8F\x91\xE9\x80\x81\xE6\x97\xB6\xE9\x97\xB4",
         "\xE6\x94\xB6\xE4\xBB\xB6\xE4\xBA\xBA", "\xE4\xB8\xBB\xE9\xA2\x98"},
    };
    for (const auto &l : labels) {
        const std::string block = std::string(l[0]) + ": Jane Doe\n" + std::string(l[1]) +
                                  ": 05.12.2026 10:00\n" + std::string(l[2]) + ": Paul\n" +
                                  std::string(l[3]) + ": Re: 42\n";
        EXPECT_EQ(DropQuotedLines("Ok.\n\n" + block + original), "Ok.\n\n") << l[0];
    }
    // Full-width colons; a time written "10.00" where an address is given.
    const std::string wide = "\xEF\xBC\x9A";
    EXPECT_EQ(DropQuotedLines(
                  "\xE5\xA5\xBD\xE7\x9A\x84\n\n\xE5\x8F\x91\xE4\xBB\xB6\xE4\xBA\xBA" + wide +
                  "Jane <jane@example.com>\n\xE5\x8F\x91\xE9\x80\x81\xE6\x97\xB6" + "\xE9\x97\xB4" +
                  wide + "2026\xE5\xB9\xB4 10:00\n\xE6\x94\xB6\xE4\xBB" + "\xB6\xE4\xBA\xBA" +
                  wide + "Paul\n\xE4\xB8\xBB\xE9\xA2\x98" + wide + "x\n" + original),
              "\xE5\xA5\xBD\xE7\x9A\x84\n\n");
    EXPECT_EQ(DropQuotedLines("Ja.\nFra: Jane <jane@example.com>\nSendt: 5. december 2026 10.00\n"
                              "Til: Paul\nEmne: M\xC3\xB8"
                              "de\n" +
                              original),
              "Ja.\n");
    // Known labels but neither an address nor a time, no label of the time
    // sent, or too few lines: the writer's own text.
    for (const std::string_view text :
         {"Text\nVon: Berlin\nAn: Hamburg\nDatum: morgen\nBetreff: Lieferung\n",
          "Text\nFrom: Jane Doe\nTo: Paul\nSubject: Plans for 10:00\n",
          "Text\n\xE5\x8F\x91\xE4\xBB\xB6\xE4\xBA\xBA\xEF\xBC\x9A"
          "Jane\n\xE4\xB8\xBB\xE9\xA2\x98"
          "\xEF\xBC\x9A"
          "10:00\n",
          "Text\nName\xEF\xBC\x9A Jane <jane@example.com>\nZeit\xEF\xBC\x9A 10.00\nOrt: Oslo\n"}) {
        EXPECT_EQ(DropQuotedLines(std::string(text)), text);
    }
}

// HTML replies: what mail programs mark as quoted goes, with the line
// that introduces it, when the writer's own text is left.
TEST(DxfMailHtml, QuotesAsMailProgramsMarkThem) {
    const std::string quote = "<p>Hello Jane, the meeting moves to Tuesday.</p>";
    // Thunderbird: an intro of class moz-cite-prefix, a blockquote of type cite.
    EXPECT_EQ(DropQuotedHtml("<p>Danke!</p><div class=\"moz-cite-prefix\">Am 5.12.26 schrieb "
                             "Jane:<br></div><blockquote type=\"cite\" cite=\"mid:1@x\">" +
                                 quote + "</blockquote><p>Gru\xC3\x9F</p>",
                             false),
              "<p>Danke!</p><p>Gru\xC3\x9F</p>");
    // Apple Mail: an intro line of its own right before the quote goes too.
    EXPECT_EQ(DropQuotedHtml("<div>Gracias.</div><div><br><div>On 5 Dec 2026, at 10:00, Jane "
                             "wrote:</div><br><blockquote type=\"cite\">" +
                                 quote + "</blockquote></div>",
                             false),
              "<div>Gracias.</div><div><br></div>");
    // Gmail, older and newer classes; the intro is inside the quote's element.
    for (std::string_view cls : {"gmail_quote", "gmail_quote gmail_quote_container"}) {
        EXPECT_EQ(
            DropQuotedHtml("<div dir=\"ltr\">Vale.</div><br><div class=\"" + std::string(cls) +
                               "\"><div dir=\"ltr\" class=\"gmail_attr\">El lun, Jane "
                               "escribi\xC3\xB3:<br></div><blockquote class=\"gmail_quote\">" +
                               quote + "</blockquote></div>",
                           false),
            "<div dir=\"ltr\">Vale.</div><br>");
    }
    EXPECT_EQ(DropQuotedHtml("<p>Vale.</p><div class=gmail_attr>Jane wrote:</div>", false),
              "<p>Vale.</p>");
    // Yahoo: a class ending in yahoo_quoted.
    EXPECT_EQ(DropQuotedHtml("<div>Oui.</div><div id=\"yahoo_quoted_1\" "
                             "class=\"ydp1a2yahoo_quoted\"><div>" +
                                 quote + "</div></div>",
                             false),
              "<div>Oui.</div>");
    // Proton Mail: its div holds the intro and a blockquote of the same class.
    EXPECT_EQ(DropQuotedHtml("<div>Tak.</div><div class=\"protonmail_signature_block\">Sent "
                             "with Proton Mail</div><div class=\"protonmail_quote\">On Monday, "
                             "Jane &lt;jane@x&gt; wrote:<br><br><blockquote "
                             "class=\"protonmail_quote\" type=\"cite\">" +
                                 quote + "</blockquote><br></div>",
                             false),
              "<div>Tak.</div><div class=\"protonmail_signature_block\">Sent with Proton "
              "Mail</div>");
    // Tuta: a blockquote of class tutanota_quote under its intro line, in a
    // reply and in a forward (which answers no message).
    EXPECT_EQ(DropQuotedHtml("<div>Tak.</div><br>05.12.2026, 10:00 von jane@x:<br><blockquote "
                             "class=\"tutanota_quote\">" +
                                 quote + "</blockquote>",
                             false),
              "<div>Tak.</div>");
    EXPECT_EQ(DropQuotedHtml("<div>Tak.</div><br>Datum: 05.12.2026<br>Von: jane@x<br><br>"
                             "<blockquote class=\"tutanota_quote\">" +
                                 quote + "</blockquote><p>Max</p>",
                             false),
              "<div>Tak.</div><br>Datum: 05.12.2026<br>Von: jane@x<br><br><p>Max</p>");
    // Only the class itself: a page's own names that hold it stay.
    for (std::string_view cls : {"protonmail_quote_x", "my-tutanota_quote"}) {
        const std::string html =
            "<div>Tak.</div><div class=\"" + std::string(cls) + "\">" + quote + "</div>";
        EXPECT_EQ(DropQuotedHtml(html, false), html) << cls;
    }
    // Outlook: everything from its markers to the end.
    const std::string header = "<b>From:</b> Jane<br><b>Sent:</b> Monday 10:00<br>";
    EXPECT_EQ(DropQuotedHtml("<div>Gerne.</div><div id=\"appendonsend\"></div><hr><div "
                             "id=\"divRplyFwdMsg\">" +
                                 header + "</div>" + quote,
                             false),
              "<div>Gerne.</div>");
    EXPECT_EQ(DropQuotedHtml("<p>Gerne.</p><hr><div id=divRplyFwdMsg>" + header + "</div>" + quote,
                             false),
              "<p>Gerne.</p><hr>");
}

// Older Outlook and other programs write the quoted message's separator
// as text, or open it with a div of class OutlookMessageHeader.
TEST(DxfMailHtml, SeparatorLinesAndOutlookMessageHeader) {
    const std::string original =
        "<b>From:</b> Jane<br><b>Sent:</b> Monday 10:00<br>"
        "<p>Hello Jane, the meeting moves to Tuesday.</p>";
    EXPECT_EQ(DropQuotedHtml("<p>Gerne.</p><p>-----Original Message-----<br>" + original, false),
              "<p>Gerne.</p>");
    EXPECT_EQ(DropQuotedHtml("<div>Vale.</div><div><font size=2>-------- Mensaje original "
                             "--------</font></div>" +
                                 original,
                             true),
              "<div>Vale.</div>");
    // A separator among lines of one run of text, as in preformatted text.
    EXPECT_EQ(DropQuotedHtml("<pre>Gerne.\n\n-----Original Message-----\n" + original, false),
              "<pre>Gerne.\n\n");
    EXPECT_EQ(DropQuotedHtml("<div>Gerne.</div><div><div class=OutlookMessageHeader lang=en-us "
                             "dir=ltr align=left><hr><font face=Tahoma>-----Original "
                             "Message-----<br>" +
                                 original + "</font></div></div>",
                             false),
              "<div>Gerne.</div><div>");
    // Not a quoted message: a separator or header div above the writer's
    // text (a forward), "Original Message" in running text or sharing its
    // line, dashes around a date, a rule, the class on another element.
    const std::string kept[] = {
        "<p>-----Original Message-----<br>" + original,
        "<div class=\"OutlookMessageHeader\">From: Jane</div><p>Hello, see below.</p>",
        "<p>Our column -----Original Message----- returns.</p><p>Read the Original Message "
        "series.</p><p>Weekly news</p><p>--- 5 Dec 2026 ---</p><p>------------</p>"
        "<span class=OutlookMessageHeader>x</span>",
        "<p>News <b>today</b>-----Original Message-----</p>"};
    for (const std::string &html : kept) EXPECT_EQ(DropQuotedHtml(html, true), html);
}

// A quoted message's header block written as lines of text, without an
// element marking it (Outlook without its border, web mail programs,
// Outlook for Mac), runs to the end as in plain text.
TEST(DxfMailHtml, HeaderBlocksWrittenAsText) {
    const std::string quote = "<p>Hello Max, the meeting moves to Tuesday.</p>";
    EXPECT_EQ(DropQuotedHtml("<div><p>Gerne, bis Dienstag.</p><p><b>Von:</b> Jane Doe "
                             "&lt;jane@example.org&gt;<br><b>Gesendet:</b> Montag, 5. Dezember "
                             "2026 10:00<br><b>An:</b> Max<br><b>Betreff:</b> Treffen</p>" +
                                 quote + "</div>",
                             false),
              "<div><p>Gerne, bis Dienstag.</p>");
    // A line a paragraph; a field split over source lines and inline tags.
    EXPECT_EQ(DropQuotedHtml("<p>Vale.</p><p>De: Jane</p><p>Enviado el: <span>lunes, 5 de "
                             "diciembre de 2026\n10:00</span></p><p>Para: Max</p>" +
                                 quote,
                             true),
              "<p>Vale.</p>");
    // Labels with accented letters written as references, as Outlook's
    // HTML writes them, French blanks before the colon as non-breaking
    // spaces; the time written "10.00" (the labels and the address make
    // the block).
    EXPECT_EQ(DropQuotedHtml("<p>Merci, &agrave; mardi.</p><p><b>De&nbsp;:</b> Jane "
                             "&lt;jane@example.org&gt;<br><b>Envoy&eacute;&nbsp;:</b> lundi 5 "
                             "d&eacute;cembre 2026 10.00<br><b>&Agrave;&#160;:</b> Max<br><b>Objet"
                             "&nbsp;:</b> R&eacute;union</p>" +
                                 quote,
                             false),
              "<p>Merci, &agrave; mardi.</p>");
    // Not a header block: lines above the writer's text (a newsletter's own
    // or a forward's), a table with labels and values in cells of their
    // own, two lines, fields naming neither address nor time.
    const std::string kept[] = {
        "<p><b>From:</b> news@example.org<br><b>Date:</b> Monday 10:00<br><b>To:</b> "
        "members</p><p>This week in the club.</p>",
        "<p>Weekly news</p><table><tr><td><b>From:</b></td><td>Editors "
        "&lt;news@example.org&gt;</td></tr><tr><td><b>Date:</b></td><td>Monday "
        "10:00</td></tr><tr><td><b>To:</b></td><td>Members</td></tr></table>" +
            quote,
        "<p>Ja.</p><p>From: jane@example.org<br>Sent: Monday 10:00</p>" + quote,
        "<p>Order placed.</p><p>Name: Max<br>Colour: red<br>Size: large<br>Notes: none</p>"};
    for (const std::string &html : kept) EXPECT_EQ(DropQuotedHtml(html, true), html);
    // A reply whose own text is empty keeps everything.
    const std::string empty =
        "<div><br></div><div>&nbsp;</div><div><b>Von:</b> Jane "
        "&lt;jane@example.org&gt;<br><b>Gesendet:</b> Montag 10:00<br>"
        "<b>An:</b> Max</div>" +
        quote;
    EXPECT_EQ(DropQuotedHtml(empty, true), empty);
    // A long run of lines that look like header lines reads in linear time.
    std::string notes = "<p>Ja.</p>";
    for (int i = 0; i < 100000; ++i) notes += "<b>Note:</b> see 10:00<br>";
    EXPECT_EQ(DropQuotedHtml(notes, true), notes);
}

// Plain text shown as HTML (web mail programs, `<pre>` and its kin): a
// line break in preformatted content ends a line, for the header block
// rule and for the line introducing a quote; outside it, it is a blank.
TEST(DxfMailHtml, LinesOfPreformattedText) {
    const std::string original = "Hello Max,\nthe meeting moves to Tuesday.\n";
    // Inline tags, line ends as CR LF.
    EXPECT_EQ(DropQuotedHtml("<div><pre wrap>Ja.\r\n<b>From:</b> Jane "
                             "&lt;jane@example.org&gt;\r\n<b>Sent:</b> Monday 10:00\r\n<b>To:"
                             "</b> Max\r\n\r\n" +
                                 original + "</pre></div>",
                             true),
              "<div><pre wrap>Ja.\r\n");
    // A line introducing a quote ends at its line break, and goes alone.
    EXPECT_EQ(DropQuotedHtml("<pre>Danke.\nAm Montag schrieb Jane:\n</pre><blockquote "
                             "type=\"cite\"><pre>" +
                                 original + "</pre></blockquote>",
                             false),
              "<pre>Danke.\n");
    // Not a header block: a newsletter's own fields at the top, two lines,
    // a list of settings, fields naming neither address nor time; the same
    // lines outside preformatted content, where a line break is a blank
    // (also after a preformatted element, nested ones and quoted ones).
    const std::string kept[] = {
        "<pre>From: The Editors &lt;news@example.org&gt;\nDate: Monday 10:00\nTo: Members\n\n"
        "This week in the club.\n</pre>",
        "<pre>Ja.\nFrom: jane@example.org\nSent: Monday 10:00\n\n" + original + "</pre>",
        "<pre>Order placed.\nName: Max\nColour: red\nSize: large\nNotes: none\n</pre>",
        "<pre>Here is the notice:\n\nFrom: The library\nTo: All readers\nSubject: Hours\n\n" +
            original + "</pre>",
        "<p>Ja.\nFrom: jane@example.org\nSent: Monday 10:00\nTo: Max\n" + original + "</p>",
        "<pre>x<pre>y</pre>z</pre><p>Ja.\nFrom: jane@example.org\nSent: Monday 10:00\nTo: "
        "Max</p>"};
    for (const std::string &html : kept) EXPECT_EQ(DropQuotedHtml(html, false), html);
    const std::string after = "<p>x\nFrom: jane@example.org\nSent: Monday 10:00\nTo: Max</p>";
    EXPECT_EQ(DropQuotedHtml("<p>Ja.</p><pre class=gmail_quote>q</pre>" + after, false),
              "<p>Ja.</p>" + after);
    // A long preformatted text of header-like lines reads in linear time.
    std::string notes = "<pre>Ja.\n";
    for (int i = 0; i < 100000; ++i) notes += "<b>Note:</b> see 10:00\n";
    EXPECT_EQ(DropQuotedHtml(notes, true), notes);
}

// Plain text shown as HTML quotes as plain text does: a line of
// preformatted content whose text begins with ">" (as a reference or as the
// character) goes with the line introducing the quote, as in a plain part.
TEST(DxfMailHtml, QuotedLinesOfPreformattedText) {
    const auto escaped = [](std::string_view plain, std::string_view gt) {
        std::string out;
        for (char c : plain) out += c == '>' ? std::string(gt) : std::string(1, c);
        return out;
    };
    // Each plain text, in a <pre> with ">" spelled three ways, loses what
    // DropQuotedLines drops: a quote below the reply and its intro, nested
    // and indented quote marks, replies between quotes, CR LF line ends, a
    // colon line that introduces no quote, a part that is all quote, a
    // header block under a quote (not below the writer's own text).
    for (const std::string_view plain :
         {"Danke, bis Dienstag.\n\nAm Montag schrieb Jane:\n> Hello Max,\n> > the meeting\n"
          ">  moves.\n",
          "Am 04.03.24 um 10:00 schrieb Jane:\n\n> Frage eins?\nAntwort eins.\n  > Frage zwei?\n"
          "Antwort zwei.",
          "Ja.\r\n> q\r\nNein.\r\n", "Schritte:\nerstens\n> q\n", "Jane schrieb:\n> q\n",
          "> nur Zitat\n> > mehr\n",
          "> q\nFrom: jane@example.org\nSent: Monday 10:00\nTo: Max\n\nHello.\n"}) {
        for (const std::string_view gt : {"&gt;", ">", "&#62;"}) {
            EXPECT_EQ(DropQuotedHtml("<pre>" + escaped(plain, gt) + "</pre>", false),
                      "<pre>" + escaped(DropQuotedLines(std::string(plain)), gt) + "</pre>")
                << plain << " " << gt;
        }
    }
    // Inline tags around the quote mark, an intro in a block of its own, a
    // quote left open, the other preformatted elements.
    EXPECT_EQ(DropQuotedHtml("<pre>Ja.\n<span class=gp>&gt;&gt;&gt; </span>print(1)\n</pre>", true),
              "<pre>Ja.\n</pre>");
    EXPECT_EQ(DropQuotedHtml("<p>Ja.</p><p>Jane wrote:</p><pre>&gt; q\n&gt; r", true),
              "<p>Ja.</p><p>");
    EXPECT_EQ(DropQuotedHtml("<xmp>Ja.\n&gt; q\n</xmp><textarea>&gt; r\nNein.</textarea>", true),
              "<xmp>Ja.\n</xmp><textarea>Nein.</textarea>");
    // Outside preformatted content a line break is a blank: the line is
    // not a quote.
    for (const std::string_view html :
         {"<p>Ja.\n&gt; q\n</p>", "<p>Ja.<br>&gt; q</p>", "<pre>Ja.</pre>\n&gt; q"})
        EXPECT_EQ(DropQuotedHtml(html, true), html) << html;
}

// An element whose own style keeps line breaks ("white-space: pre" and
// its kin) reads as a <pre>, up to the end tag that balances it.
TEST(DxfMailHtml, WhiteSpaceStylesKeepLineBreaks) {
    const std::string original = "Hello Max,\nthe meeting moves to Tuesday.\n";
    for (const std::string_view open :
         {"<div style=\"white-space: pre-wrap\">", "<p style='color:red;white-space:pre'>",
          "<td STYLE=\"WHITE-SPACE: pre-line !important\">", "<span style=white-space:pre>",
          "<div style=\"white-space:normal; white-space: pre\">"}) {
        EXPECT_EQ(DropQuotedHtml(std::string(open) + "Ja.\n&gt; q\nNein.\n</x>", true),
                  std::string(open) + "Ja.\nNein.\n</x>")
            << open;
        EXPECT_EQ(DropQuotedHtml(std::string(open) +
                                     "Ja.\nFrom: jane@example.org\nSent: Monday 10:00\nTo: "
                                     "Max\n\n" +
                                     original,
                                 false),
                  std::string(open) + "Ja.\n")
            << open;
    }
    // Styles that keep no line breaks, the last declaration counting; a
    // style sheet's rule; an element without content; after the element's
    // end (nested elements of its name count).
    for (const std::string_view html :
         {"<div style=\"white-space: nowrap\">Ja.\n&gt; q</div>",
          "<div style=\"white-space: pre; white-space: normal\">Ja.\n&gt; q</div>",
          "<div style=\"x-white-space: pre\">Ja.\n&gt; q</div>",
          "<style>div { white-space: pre }</style><div>Ja.\n&gt; q</div>",
          "<br style=\"white-space:pre\">Ja.\n&gt; q",
          "<div style=\"white-space:pre\"><div>a</div>\n</div>Ja.\n&gt; q",
          "<p>Ja.<span class=\"Apple-tab-span\" style=\"white-space:pre\">\t</span>x\n&gt; q</p>"})
        EXPECT_EQ(DropQuotedHtml(html, true), html) << html;
}

// A start tag closed in itself ("<pre/>", as XML writers put an empty
// element) opens no preformatted content: what follows reads as before it.
TEST(DxfMailHtml, SelfClosedPreformattedTags) {
    const std::string fields =
        "<p>Ja.\nFrom: jane@example.org\nSent: Monday 10:00\nTo: Max\n\nHello.\n&gt; q</p>";
    for (const std::string_view tag :
         {"<pre/>", "<pre />", "<PRE class=\"moz-signature\" cols=\"72\"/>", "<xmp/>",
          "<div style=\"white-space:pre\"/>", "<pre>x<pre/>y</pre>"})
        EXPECT_EQ(DropQuotedHtml(std::string(tag) + fields, false), std::string(tag) + fields)
            << tag;
    // A slash in an unquoted value closes nothing: the <pre> is open.
    EXPECT_EQ(DropQuotedHtml("<pre class=x/>Ja.\n&gt; q\n", false), "<pre class=x/>Ja.\n");
}

// Outlook's rule over the header block, its parts in any order as Outlook
// for Mac writes them; other borders are a page's design.
TEST(DxfMailHtml, OutlookRuleInAnyOrder) {
    // Labels the header rule does not know, no time of day: only the rule
    // over them tells the quoted message.
    const std::string block =
        "<b>De:</b> Jane &lt;jane@example.org&gt;<br><b>Data:</b> dilluns, 5 de desembre de "
        "2026 a les 10.00<br><b>Per a:</b> Max<br></div><p>Hello Max, the meeting moves.</p>";
    for (std::string_view style :
         {"BORDER-TOP: #b5c4df 1pt solid", "border-top:1pt solid #B5C4DF",
          "padding:0;border-top: #E1E1E1 solid 1.0pt;", "border:none;border-top:solid #E1E1E1",
          "border-top:solid #B5C4DF 1.0pt", "mso-border-top-alt:#b5c4df .5pt solid",
          "BORDER-TOP:\n#b5c4df\t1.5pt   SOLID",
          // Written back by a browser (a web mail program passing it on).
          "border: none; border-top: solid rgb(225, 225, 225) 1pt; padding: 3pt 0in 0in 0in",
          "border-top: 1pt solid rgb(181, 196, 223); border-right: none",
          "border-top:solid RGB(181,196,223)"}) {
        EXPECT_EQ(
            DropQuotedHtml("<p>Vale.</p><div style=\"" + std::string(style) + "\">" + block, false),
            "<p>Vale.</p>")
            << style;
    }
    // Pixels, another grey or style, a part twice or another part, another
    // side or property, another element (a table, a cell), above the
    // writer's text.
    for (std::string_view open : {"<div style=\"border-top:1px solid #e1e1e1\">",
                                  "<div style=\"border-top:#b5c4df solid 2px\">",
                                  "<div style=\"border-top:#b5c4dd 1pt solid\">",
                                  "<div style=\"border-top:#b5c4df 1pt dashed\">",
                                  "<div style=\"border-top:#b5c4df 1pt solid 1pt\">",
                                  "<div style=\"border-top:#b5c4df #e1e1e1 solid\">",
                                  "<div style=\"border-top:#b5c4df 1pt solid inset\">",
                                  "<div style=\"border-top:1px solid rgb(225, 225, 225)\">",
                                  "<div style=\"border-top:solid rgb(225, 225, 224) 1pt\">",
                                  "<div style=\"border-top:solid rgba(225, 225, 225, 1)\">",
                                  "<div style=\"border-top:solid rgb(225, 225, 225\">",
                                  "<div style=\"border-bottom:#b5c4df 1pt solid\">",
                                  "<div style=\"border:#b5c4df 1pt solid\">",
                                  "<div style=\"x-border-top:#b5c4df 1pt solid\">",
                                  "<table style=\"border-top:#b5c4df 1pt solid\"><tr><td>",
                                  "<td style=\"BORDER-TOP: #e1e1e1 1pt solid\">"}) {
        const std::string html = "<p>Vale.</p>" + std::string(open) + block;
        EXPECT_EQ(DropQuotedHtml(html, false), html) << open;
    }
    const std::string forward = "<div style=\"BORDER-TOP: #b5c4df 1pt solid\">" + block;
    EXPECT_EQ(DropQuotedHtml(forward, true), forward);
    // As Outlook for Windows writes it, in the page's frame.
    const std::string header = "<b>From:</b> Jane<br><b>Sent:</b> Monday 10:00<br>";
    const std::string quote = "<p>Hello Jane, the meeting moves to Tuesday.</p>";
    for (std::string_view style : {"border:none;border-top:solid #E1E1E1 1.0pt;padding:3.0pt",
                                   "border:none; BORDER-TOP: SOLID #b5c4df 1pt"}) {
        EXPECT_EQ(DropQuotedHtml("<div class=WordSection1><p>Gerne.</p><div><div style='" +
                                     std::string(style) + "'><p>" + header + "</p></div></div>" +
                                     quote + "</div>",
                                 false),
                  "<div class=WordSection1><p>Gerne.</p><div>");
    }
    // Other borders, greys and elements are layout.
    const std::string boxed = "<p>Gerne.</p><div style=\"border-top:solid #000000 1pt\">" + quote +
                              "</div><div style=\"border-bottom:solid #E1E1E1\">x</div>"
                              "<div style=\"border-top:1px solid #e1e1e1\">y</div>"
                              "<td style=\"border-top:solid #e1e1e1\">z</td>";
    EXPECT_EQ(DropQuotedHtml(boxed, false), boxed);
}

// A run of the writer's own "label: value" lines right above a header
// block does not hide it: each line of the run is tried as the block's
// first, with the lines after it.
TEST(DxfMailHtml, HeaderBlockBelowARunOfLabels) {
    std::string labels, html = "<p>Ok.</p><p>";
    for (std::string_view label :
         {"Name", "Colour", "Size", "Shape", "Notes", "Place", "Room", "Floor", "Desk", "Seat"}) {
        labels += std::string(label) + ": none\n";
        html += "<b>" + std::string(label) + ":</b> none<br>";
    }
    const std::string block =
        "From: Jane &lt;jane@example.org&gt;\nSent: Monday 10:00\nTo: Max\nSubject: Plan\n";
    const std::string original = "\nHello Max,\nthe meeting moves to Tuesday.\n";
    const std::string plain = dxf::DropQuotedLines("Ok.\n" + labels + block + original);
    EXPECT_TRUE(plain.starts_with("Ok.\nName: none\n")) << plain;
    EXPECT_EQ(plain.find("Jane"), std::string::npos) << plain;
    // With a blank line between them, the run and the block are apart.
    EXPECT_EQ(dxf::DropQuotedLines("Ok.\n" + labels + "\n" + block + original),
              "Ok.\n" + labels + "\n");
    std::string lines = block;
    for (size_t at = 0; (at = lines.find('\n', at)) != std::string::npos; at += 4)
        lines.replace(at, 1, "<br>");
    const std::string kept =
        dxf::DropQuotedHtml(html + lines + "</p><p>Hello Max, the meeting moves.</p>", false);
    EXPECT_TRUE(kept.starts_with("<p>Ok.</p><p><b>Name:</b> none<br>")) << kept;
    EXPECT_EQ(kept.find("Jane"), std::string::npos) << kept;
    EXPECT_EQ(
        dxf::DropQuotedHtml(html + "</p><p>&nbsp;</p><hr><p>" + lines + "</p><p>Hello.</p>", false)
            .find("Jane"),
        std::string::npos);
}

// Markers of other mail programs: Outlook for Mac's quote, Zimbra's rule
// over the quoted message, the separator line of Chinese mail programs.
TEST(DxfMailHtml, MarkersOfOtherMailPrograms) {
    const std::string quote = "<div>Hello Max, the meeting moves to Tuesday.</div>";
    EXPECT_EQ(
        DropQuotedHtml("<div>Ja.</div><blockquote id=\"MAC_OUTLOOK_ATTRIBUTION_BLOCKQUOTE\">" +
                           quote + "</blockquote><div>Max</div>",
                       false),
        "<div>Ja.</div><div>Max</div>");
    EXPECT_EQ(DropQuotedHtml("<div>Ja.</div><hr id=\"zwchr\" data-marker=\"__DIVIDER__\"><div "
                             "data-marker=\"__HEADERS__\"><b>From: </b>Jane</div>" +
                                 quote,
                             false),
              "<div>Ja.</div>");
    EXPECT_EQ(DropQuotedHtml("<div>\xE5\xA5\xBD\xE7\x9A\x84\xE3\x80\x82</div><div><div "
                             "style=\"font-size:12px\">------------------&nbsp;"
                             "\xE5\x8E\x9F\xE5\xA7\x8B\xE9\x82\xAE\xE4\xBB\xB6&nbsp;"
                             "------------------</div><div><b>\xE5\x8F\x91\xE4\xBB\xB6\xE4\xBA\xBA:"
                             "</b>&nbsp;Jane</div></div>" +
                                 quote,
                             false),
              "<div>\xE5\xA5\xBD\xE7\x9A\x84\xE3\x80\x82</div><div>");
    // Look-alikes: Zimbra's rule above the writer's text (a forward) or
    // another id, the separator's words in running text.
    const std::string kept[] = {
        "<hr id=\"zwchr\"><div><b>From: </b>Jane</div>" + quote,
        "<div>Ja.</div><hr id=\"zwchr2\">" + quote,
        "<div>Ja.</div><blockquote id=\"MAC_OUTLOOK_QUOTE\">" + quote + "</blockquote>",
        "<p>Ja.</p><p>\xE5\x8E\x9F\xE5\xA7\x8B\xE9\x82\xAE\xE4\xBB\xB6 ------------------</p>"};
    for (const std::string &html : kept) EXPECT_EQ(DropQuotedHtml(html, false), html);
}

TEST(DxfMailHtml, WhatStaysWhole) {
    const std::string quote = "<blockquote type=\"cite\"><p>Hello Jane.</p></blockquote>";
    // A forward or reply with nothing above the quote, an intro alone, or
    // only white space and a title beside it: the markup stays whole.
    for (const std::string &html :
         {quote, "<div class=\"moz-cite-prefix\">Jane wrote:</div>" + quote,
          "<p>Jane wrote:</p>" + quote,
          "<html><head><title>Fwd: Tuesday</title></head><body><p>&nbsp;\xC2\xA0</p>" + quote +
              "</body></html>"}) {
        EXPECT_EQ(DropQuotedHtml(html, true), html);
    }
    // Outlook's markers above the writer's text are a forward's, not a quote.
    const std::string forward =
        "<div id=\"divRplyFwdMsg\"><b>From:</b> Jane</div><p>Hello Jane, see below.</p>";
    EXPECT_EQ(DropQuotedHtml(forward, true), forward);
    // A plain blockquote is a quote only in a reply and below the writer's text.
    const std::string plain = "<p>Wie Goethe schrieb:</p><blockquote>Mehr Licht!</blockquote>";
    EXPECT_EQ(DropQuotedHtml(plain, false), plain);
    EXPECT_EQ(DropQuotedHtml(plain, true), plain);  // the intro was all the writer's text
    EXPECT_EQ(DropQuotedHtml("<p>Ja.</p>" + plain, true), "<p>Ja.</p>");
    EXPECT_EQ(DropQuotedHtml("<blockquote>Zitat</blockquote><p>Ja.</p>", true),
              "<blockquote>Zitat</blockquote><p>Ja.</p>");
    // No markers: the very markup back.
    const std::string none = "<P>x</P><!-- <blockquote type=cite> --><div class=quote>y</div>";
    EXPECT_EQ(DropQuotedHtml(none, true), none);
}

TEST(DxfMailHtml, MarkupAsItComes) {
    // Upper case, attributes in any order, quoted either way or not at all,
    // blanks around '=', a '>' inside a quoted value.
    for (std::string_view open :
         {"<BLOCKQUOTE TYPE=CITE>", "<blockquote cite='mid:a>b' type = 'cite'>",
          "<blockquote\nstyle=\"margin:0\"\ntype=\"Cite\">",
          "<blockquote data-x=\"type=cite\" type=cite class=x>"}) {
        EXPECT_EQ(
            DropQuotedHtml("<p>Ja.</p>" + std::string(open) + "<p>q</p></BlockQuote><p>Nein.</p>",
                           false),
            "<p>Ja.</p><p>Nein.</p>")
            << open;
    }
    // Nested quotes go with the outer one; an element of the same name inside
    // counts; a quote left open runs to the end.
    EXPECT_EQ(DropQuotedHtml("a<blockquote type=cite>b<blockquote type=cite>c</blockquote>d"
                             "<blockquote>e</blockquote>f</blockquote>g",
                             false),
              "ag");
    EXPECT_EQ(DropQuotedHtml("a<div class=gmail_quote><div>b</div><div>c</div></div>g", false),
              "ag");
    EXPECT_EQ(DropQuotedHtml("a<blockquote type=cite>b<p>c", false), "a");
    EXPECT_EQ(DropQuotedHtml("a<blockquote type=cite", false), "a");
    // Comments, script and style hide what looks like markers and end tags.
    EXPECT_EQ(DropQuotedHtml("a<blockquote type=cite>b<!-- </blockquote> -->c<script>"
                             "x='</blockquote>'</script></blockquote>g",
                             false),
              "ag");
    const std::string hidden =
        "a<style>.x{}</style><script>'<blockquote type=cite>'</script>"
        "<!-- <div id=appendonsend> -->b";
    EXPECT_EQ(DropQuotedHtml(hidden, true), hidden);
    // An intro line ends at block tags; a colon further up is no intro.
    EXPECT_EQ(DropQuotedHtml("Steps:<br>first<blockquote type=cite>q</blockquote>", false),
              "Steps:<br>first");
    EXPECT_EQ(DropQuotedHtml("Ok<br>Jane <b>wrote</b>: <br>&nbsp;<blockquote type=cite>q"
                             "</blockquote>",
                             false),
              "Ok");
    // Damaged markup of every kind reads without harm, in linear time.
    const std::string msg =
        "<p>A</p><div class=\"moz-cite-prefix\">B:</div><blockquote "
        "type='cite'><!--c--><script>d</script>e</blockquote>&nbsp;f";
    for (size_t n = 0; n <= msg.size(); ++n) DropQuotedHtml(msg.substr(0, n), true);
    std::string deep = "x";
    for (int i = 0; i < 100000; ++i) deep += "<blockquote type=cite><div class=gmail_quote>";
    EXPECT_EQ(DropQuotedHtml(deep, true), "x");
    std::string opens = "x";
    for (int i = 0; i < 100000; ++i) opens += "<a '<!--<script x=\"";
    EXPECT_EQ(DropQuotedHtml(opens, true), opens);
}

TEST(DxfMailHtml, HtmlOnlyRepliesAnswerInTheirOwnText) {
    const std::string body =
        "Content-Type: text/html; charset=utf-8\n\n"
        "<html><body><p>Danke, passt.</p><p>Am Montag schrieb A:</p>"
        "<blockquote>The library is closed on Monday.</blockquote></body></html>\n";
    // A reply (In-Reply-To or References): a plain blockquote is its quote.
    EXPECT_EQ(Text(kHead + "In-Reply-To: <1@example.org>\n" + body),
              "[html]<html><body><p>Danke, passt.</p></body></html>\n");
    EXPECT_EQ(Text(kHead + "References: <1@example.org>\n" + body),
              "[html]<html><body><p>Danke, passt.</p></body></html>\n");
    EXPECT_EQ(Text(kHead + body), "[html]" + body.substr(body.find('<')));
    // A message inside a message is a reply or not on its own headers.
    const std::string inner = "Content-Type: message/rfc822\n\nFrom: b\nDate: x\n" + body;
    EXPECT_EQ(Text(kHead + "In-Reply-To: <1@example.org>\n" + inner),
              "[html]" + body.substr(body.find('<')));
}

TEST(DxfMailText, AppleMailFilesGiveTheCountedMessageOnly) {
    // The property list after the message is never text.
    EXPECT_EQ(Text(kCount + "\n" + kEmlxMessage + kPlist), "s|body\n");
    EXPECT_EQ(Text(kCount + "    \n" + kEmlxMessage + kPlist), "s|body\n");
    // The count ends the message, in its body too; a file cut short gives
    // what is there.
    const std::string shorter = std::to_string(kEmlxMessage.size() - 3);
    EXPECT_EQ(Text(shorter + "\n" + kEmlxMessage + kPlist), "s|bo");
    EXPECT_EQ(Text("9999999999\n" + kEmlxMessage.substr(0, kEmlxMessage.size() - 3)), "s|bo");
}

TEST(DxfMailText, MboxMessagesInOrder) {
    const std::string mbox =
        "From a@b Mon Jan  1 10:00:00 2024\nFrom: a\nDate: x\nSubject: one\n\nfirst\n"
        "From here on, a line of the body\n\n"
        "From c@d Tue Jan  2 10:00:00 2024\nFrom: c\nDate: y\nSubject: two\n\nsecond\n";
    EXPECT_EQ(Text(mbox), "one|first\nFrom here on, a line of the body\n\n|two|second\n");
}

TEST(DxfMailText, DamageGivesTheTextSoFar) {
    // No empty line: headers only, the subject is the text.
    EXPECT_EQ(Text(kHead + "Subject: s\n"), "s");
    // An unterminated last part runs to the end; a multipart without
    // boundary has no text; garbage transfer encodings decode what they can.
    const std::string open =
        "Subject: s\nContent-Type: multipart/mixed; boundary=q\n\n"
        "--q\n\nfirst\n--q\n\nsecond, cut";
    EXPECT_EQ(Text(kHead + open), "s|first|second, cut");
    EXPECT_EQ(Text(kHead + "Content-Type: multipart/mixed\n\n--q\n\nx\n"), "");
    EXPECT_EQ(Text(kHead + "Content-Transfer-Encoding: base64\n\n!!!SGk\n"), "Hi");
    EXPECT_EQ(Text(kHead + "Content-Transfer-Encoding: x-uuencode\n\nraw\n"), "raw\n");
    // Every cut of a message reads without harm.
    const std::string msg = kHead +
                            "Subject: =?utf-8?b?w6k=?=\nContent-Type: multipart/mixed;"
                            " boundary=z\n\n--z\nContent-Type: text/plain; charset=utf-8\n"
                            "Content-Transfer-Encoding: quoted-printable\n\ncaf=C3=A9\n"
                            "--z--\n";
    for (size_t n = 0; n <= msg.size(); ++n) Text(msg.substr(0, n));
    const std::string emlx = std::to_string(msg.size()) + "\n" + msg + kPlist;
    for (size_t n = 0; n <= emlx.size(); ++n) {
        Text(emlx.substr(0, n));
        Sniffed(emlx.substr(0, n), n);
    }
}

TEST(DxfMailText, BoundsHold) {
    // Nesting deeper than the bound is not read.
    std::string deep = kHead;
    for (int i = 0; i < 20; ++i)
        deep += "Content-Type: multipart/mixed; boundary=d" + std::to_string(i) + "\n\n--d" +
                std::to_string(i) + "\n";
    deep += "\ndeep text\n";
    EXPECT_EQ(Text(deep), "");
    dxf::MailBounds shallow;
    shallow.maxDepth = 30;
    EXPECT_EQ(Text(deep, shallow), "deep text\n");
    // Part count and text size.
    std::string many = kHead + "Content-Type: multipart/mixed; boundary=p\n\n";
    for (int i = 0; i < 1000; ++i) many += "--p\n\npart" + std::to_string(i) + "\n";
    EXPECT_EQ(dxf::ReadMail(many, {}).size(), 255u);  // the multipart itself is one
    dxf::MailBounds small;
    small.maxText = 100;
    std::string big = kHead + "\n" + std::string(10000, 'x');
    const auto pieces = dxf::ReadMail(big, small);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_LE(pieces[0].utf8.size(), 400u);
    // A huge subject of unfinished encoded words is cut, not scanned over and over.
    std::string subject = "Subject: ";
    for (int i = 0; i < 200000; ++i) subject += "=?a?q?";
    EXPECT_LE(Text(kHead + subject + "\n\nbody\n").size(), 16 * 1024 + 20);
    // A deadline already passed gives nothing beyond the subject.
    dxf::MailBounds late;
    late.deadlineNs = 0;
    EXPECT_EQ(Text(kHead + "Subject: s\n\nbody\n", late), "s");
}

}  // namespace
