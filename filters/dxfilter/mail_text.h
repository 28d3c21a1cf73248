// mail_text.h - the text of an e-mail message (RFC 5322 with MIME) or of an
// mbox of messages: the decoded subject and the text parts of the body, as
// UTF-8 pieces for the text sink.
#ifndef GLOTTA_FILTERS_DXFILTER_MAIL_TEXT_H
#define GLOTTA_FILTERS_DXFILTER_MAIL_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dxf {

// Content-Transfer-Encoding decoders. Bytes outside the base64 alphabet are
// skipped and padding ends the data; a quoted-printable "=" that starts no
// escape or soft line break stands for itself.
std::string DecodeBase64(std::string_view in);
std::string DecodeQuotedPrintable(std::string_view in);

// A header field's value with its RFC 2047 encoded words ("=?charset?B?...?="
// and "?Q?") decoded, as UTF-8; white space between two encoded words goes.
// Bytes outside encoded words that are not ASCII are taken for UTF-8 when
// they are valid UTF-8, else for the charset ICU's detector names.
std::string DecodeHeaderValue(std::string_view value);

// A piece of a message's text.
struct MailPiece {
    std::string utf8;
    bool html = false;  // markup, for the tag stripper
    bool rtf = false;   // RTF, for the RTF reader
    // The text of RTF the RTF reader has read (RtfToUtf8 as kRtf or kText),
    // to be laid out as the reader's own text is.
    bool rtfText = false;
};

struct MailBounds {
    int maxDepth = 8;                // multiparts and messages inside messages
    int maxParts = 256;              // body parts visited, over all messages
    size_t maxText = 1u << 20;       // UTF-8 bytes gathered
    int64_t deadlineNs = INT64_MAX;  // DXM_CpuNs time to stop at
};

// A part's text without what it quotes: lines whose first character that
// is not blank is ">", the line ending in ':' (or a full-width colon,
// U+FF1A, as Chinese and Japanese mail programs write it) that introduces
// them, and,
// below the writer's own text, a quoted message opened by a separator line
// ("-----Original Message-----") or a header block of three lines or more
// ("label: value", either colon) naming an address and a time ("From: A
// <a@b>", "Sent: Monday 10:00", "To: ..."), or only one of the two when
// its labels are those Outlook writes for the sender, the time and the
// recipient or subject in a common language ("Von:", "Gesendet:", "An:";
// "发件人：", "发送时间：", "主题："), to the end of the part. A part that is
// all quote stays whole.
std::string DropQuotedLines(const std::string &text);

// An HTML part without what it quotes, as mail programs mark it: elements
// (with what they hold, nested ones too) that are a `<blockquote
// type="cite">` (Apple Mail, Thunderbird), of class `gmail_quote`,
// `gmail_quote_container` or `gmail_attr` (Gmail's quote and the line
// introducing it), `moz-cite-prefix` (Thunderbird's line introducing a
// quote) or a class ending in `yahoo_quoted`, or of the id
// `MAC_OUTLOOK_ATTRIBUTION_BLOCKQUOTE` (Outlook for Mac); with `reply` (the
// message answers another), any `<blockquote>` below the writer's own text;
// and a line of text ending in ':' (or U+FF1A, either also as a character
// reference such as "&#65306;") right before such an element.
// Below the writer's own text, an element with the id `divRplyFwdMsg` or
// `appendonsend` (Outlook) or `zwchr` (Zimbra), a div of class
// `OutlookMessageHeader` (Outlook 2003), a div with Outlook's header border
// as Outlook writes it (`border-top:solid #E1E1E1` or `#B5C4DF`, or solid,
// the grey and a width in points in another order: `BORDER-TOP: #b5c4df
// 1pt solid`, also as `mso-border-top-alt`), a line of text that is a
// separator line as DropQuotedLines tells it (from the block tag before
// it), or lines of text (between block tags and line breaks, and in
// preformatted content, `<pre>` and its kin, between line breaks of the
// source too; inline tags dropped, character references resolved, lines
// without text skipped) that open a header block
// as DropQuotedLines tells it (from the start of the first) starts
// a quoted message that runs to the end. A line of preformatted content
// whose text begins with '>' ("&gt; text") goes as DropQuotedLines drops
// it, with the line introducing the quote. Preformatted content is that of
// `<pre>` and its kin, or of an element whose own style attribute keeps
// line breaks (`white-space: pre`, `pre-wrap` or `pre-line`), up to the end
// tag that balances it; a start tag closed in itself (`<pre/>`) opens none.
// An element left open runs to the end. Markup that keeps no text of its
// own but in `<title>` stays whole. One pass, in time linear in the markup.
std::string DropQuotedHtml(std::string_view html, bool reply);

// The text of `bytes`, a message, an mbox of messages (split at "From "
// lines after an empty line) or an Apple Mail message file (the message its
// count line counts, never the property list after it), in order: per
// message its subject, then its text/plain parts in document order, then its
// text/html parts (from a multipart/alternative only the plain alternative
// when it has one);
// attachments and other types are skipped, messages inside messages
// (message/rfc822) read in place. A message without a plain or HTML part of
// its own gives the body of its first TNEF part that has one
// (`application/ms-tnef`, sent as an attachment; ReadTnef without the
// subject), read after the subject; a multipart/alternative chooses such a
// part last. What a part quotes is dropped as
// DropQuotedLines (plain parts) and DropQuotedHtml (HTML parts; a message
// with In-Reply-To or References is a reply) say.
std::vector<MailPiece> ReadMail(std::string_view bytes, const MailBounds &bounds);

}  // namespace dxf

#endif
