// msg_text.h - the text of an Outlook message file (.msg): a compound file
// whose root holds the message's property streams (`__substg1.0_IIIITTTT`,
// property id and type in hex) and its property table
// (`__properties_version1.0`); recipients, attachments and messages embedded
// in attachments lie in storages and are not read.
#ifndef GLOTTA_FILTERS_DXFILTER_MSG_TEXT_H
#define GLOTTA_FILTERS_DXFILTER_MSG_TEXT_H

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filters/dxfilter/mail_text.h"

namespace dxf {

// Property ids and types of a message.
inline constexpr uint16_t kSubject = 0x0037;
inline constexpr uint16_t kConversationIndex = 0x0071;
inline constexpr uint16_t kBody = 0x1000;
inline constexpr uint16_t kRtfCompressed = 0x1009;
inline constexpr uint16_t kBodyHtml = 0x1013;
inline constexpr uint16_t kInReplyTo = 0x1042;
inline constexpr uint16_t kInternetCodePage = 0x3FDE;
inline constexpr uint16_t kMessageCodePage = 0x3FFD;
inline constexpr uint16_t kTypeLong = 0x0003;
inline constexpr uint16_t kType8Bit = 0x001E;
inline constexpr uint16_t kTypeUnicode = 0x001F;
inline constexpr uint16_t kTypeBinary = 0x0102;

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

// The properties of a message, wherever it keeps them.
class MessageProperties {
  public:
    virtual ~MessageProperties() = default;
    // The bytes of property `id` of `type`, at most `cap` of them; null when
    // the message has none.
    virtual std::optional<std::string> Value(uint16_t id, uint16_t type, size_t cap) const = 0;
};

// The text of a message of `properties` as ReadOutlookMessage chooses it,
// without the subject unless `subject`; 8-bit strings in the first of
// `codePages` ICU knows, else windows-1252.
std::vector<MailPiece> ReadMessageProperties(const MessageProperties &properties,
                                             std::initializer_list<uint32_t> codePages,
                                             const MailBounds &bounds, bool subject);

// The RTF of a compressed RTF body (the LZ77 form with a 4 KiB dictionary
// whose preset holds common RTF words, or an uncompressed one), at most
// `cap` bytes; null when its header is damaged. A body damaged after its
// header gives what came before the damage.
std::optional<std::string> DecompressRtfBody(std::string_view body, size_t cap);

}  // namespace dxf

#endif
