// msg_text.h - the text of an Outlook message file (.msg): a compound file
// whose root holds the message's property streams (`__substg1.0_IIIITTTT`,
// property id and type in hex) and its property table
// (`__properties_version1.0`); recipients, attachments and messages embedded
// in attachments lie in storages and are not read.
#ifndef GLOTTA_FILTERS_DXFILTER_MSG_TEXT_H
#define GLOTTA_FILTERS_DXFILTER_MSG_TEXT_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filters/dxfilter/mail_text.h"

namespace dxf {

// Bytes of one property stream read; a longer stream is cut there.
inline constexpr size_t kMaxMsgStream = 16u << 20;
// Bytes of RTF a compressed RTF body may expand to.
inline constexpr size_t kMaxMsgRtf = 16u << 20;

// The text of the message in `file` (the whole compound file): its subject,
// then its plain body (quoted reply lines dropped as in ReadMail); without
// one its HTML body (a piece for the tag stripper, quotes dropped as in
// ReadMail; the message is a reply when it has an In-Reply-To id or a
// conversation index longer than its header); without either its RTF
// body, decompressed: when it quotes, what it keeps without the quote (the
// HTML it encapsulates through DropQuotedHtml, else its text through
// DropQuotedLines), else the RTF (a piece with `rtf` set). 8-bit strings are in the
// message's code page (its internet code page, else its message code page,
// else windows-1252). Null when `file` is no compound file whose directory
// and property table can be read.
std::optional<std::vector<MailPiece>> ReadOutlookMessage(std::string_view file,
                                                         const MailBounds &bounds);

// The RTF of a compressed RTF body (the LZ77 form with a 4 KiB dictionary
// whose preset holds common RTF words, or an uncompressed one), at most
// `cap` bytes; null when its header is damaged. A body damaged after its
// header gives what came before the damage.
std::optional<std::string> DecompressRtfBody(std::string_view body, size_t cap);

}  // namespace dxf

#endif
