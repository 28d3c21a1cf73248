// tnef_text.h - the text of a TNEF stream: how Outlook wraps a message's
// properties for other mail programs (a `winmail.dat` file, an
// `application/ms-tnef` part of a message). After its signature and a
// 2-byte key the stream is a row of attributes, each a level byte (1 the
// message, 2 an attachment), a 32-bit id (its type in the high word), a
// 32-bit length, the data and a 16-bit checksum of the data.
#ifndef GLOTTA_FILTERS_DXFILTER_TNEF_TEXT_H
#define GLOTTA_FILTERS_DXFILTER_TNEF_TEXT_H

#include <optional>
#include <string_view>
#include <vector>

#include "filters/dxfilter/mail_text.h"

namespace dxf {

// Whether `bytes` open with the signature of a TNEF stream.
bool IsTnef(std::string_view bytes);

// The text of the TNEF stream `bytes`: its subject (the subject property,
// else the subject attribute) unless not `subject`, then its body as
// ReadOutlookMessage chooses it among the plain body (the body property,
// else the body attribute), the HTML body and the compressed RTF body of
// the message's property block. 8-bit strings are in the stream's code page
// (its code page attribute, else the internet code page, else the message
// code page, else windows-1252). Attachments are not read, nor messages
// embedded in them. Checksums are not checked: a damaged attribute gives
// what it holds, and one cut short by the end of the stream what is there,
// as a property cut short by the end of the property block does. Null when
// `bytes` is no TNEF stream.
std::optional<std::vector<MailPiece>> ReadTnef(std::string_view bytes, const MailBounds &bounds,
                                               bool subject);

}  // namespace dxf

#endif
