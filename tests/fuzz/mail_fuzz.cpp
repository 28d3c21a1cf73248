// mail_fuzz.cpp - fuzz target: an e-mail message or mbox through the mail
// reader of the compression module: the header rule, header block and MIME
// parts, transfer encodings, encoded words and charsets; the same bytes as
// an Outlook message file (compound file, property streams, code pages), as
// a compressed RTF body, and as a TNEF stream (as they are, behind a
// signature, and as its property block); the same bytes as an HTML part
// losing its quotes and as UTF-16 in either byte order; Apple Mail message
// files by their count line; the format rules on the head, with and without
// a reader of the rest; and the text read to its end through the
// module as the worker opens it (format 348, which takes compound files for
// Outlook message files and TNEF streams).
#include <algorithm>
#include <span>
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "dxfilter_fuzz.h"
#include "filters/dxfilter/mail_text.h"
#include "filters/dxfilter/msg_text.h"
#include "filters/dxfilter/sniff.h"
#include "filters/dxfilter/zip_scan.h"
#include "filters/dxfilter/tnef_text.h"
#include "filters/dxfilter/utf8.h"
#include "fuzz_support.h"

extern "C" const DXModule *DXM_GetModule(void);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    dxf::LooksLikeMail(bytes, true);
    dxf::LooksLikeMail(bytes, false);
    // An Apple Mail message file: the counted message lies inside the bytes,
    // behind its count line; the rules tell it from the head alone.
    if (const auto message = dxf::EmlxMessage(bytes)) {
        const std::string_view line = bytes.substr(0, message->data() - bytes.data());
        const size_t digits = line.find_first_not_of("0123456789");
        FUZZ_CHECK(digits >= 1 && digits <= 10 && line[0] != '0' && line.back() == '\n');
        FUZZ_CHECK(line.find_first_not_of(" \t", digits) == line.size() - 1);
        FUZZ_CHECK(message->size() <= size - line.size());
    }
    const size_t headSize = std::min<size_t>(size, 8192);
    dxf::SniffHead(std::span(data, headSize), size);
    // The rules that read past the head (a DOS EPS section, a PDF header's
    // end-of-file marker, a catalog's first 64 KiB), reading the input.
    const std::string_view whole(reinterpret_cast<const char *>(data), size);
    const dxf::SniffResult read =
        dxf::SniffHead(std::span(data, headSize), size, dxf::ReadAtOf(whole));
    FUZZ_CHECK(!read.beyondHead);

    dxf::MailBounds bounds;
    bounds.maxText = 64 * 1024;
    size_t total = 0;
    for (const dxf::MailPiece &piece : dxf::ReadMail(bytes, bounds)) {
        FUZZ_CHECK(!piece.utf8.empty());
        total += piece.utf8.size();
    }
    // Gathering stops at the bound; the piece that crosses it is at most
    // four times the room left (HTML), converted to UTF-8 (three bytes a byte).
    FUZZ_CHECK(total <= bounds.maxText + 12 * bounds.maxText + 65536);
    FUZZ_CHECK(dxf::DecodeBase64(bytes).size() <= size / 4 * 3 + 2);
    FUZZ_CHECK(dxf::DecodeQuotedPrintable(bytes).size() <= size);
    dxf::DecodeHeaderValue(bytes.substr(0, 4096));
    // Quotes only go from HTML; UTF-16 gives at most three bytes a unit.
    FUZZ_CHECK(dxf::DropQuotedHtml(bytes, true).size() <= size);
    FUZZ_CHECK(dxf::DropQuotedHtml(bytes, false).size() <= size);
    FUZZ_CHECK(dxf::utf16_to_utf8(bytes, true).size() <= size / 2 * 3);
    FUZZ_CHECK(dxf::utf16_to_utf8(bytes, false).size() <= size / 2 * 3);

    // An Outlook message file: each piece within the text bound's reach
    // (UTF-16 units read for the room left, or 8-bit bytes as UTF-8).
    if (const auto pieces = dxf::ReadOutlookMessage(bytes, bounds))
        for (const dxf::MailPiece &piece : *pieces)
            FUZZ_CHECK(piece.rtf || piece.utf8.size() <= 4 * (bounds.maxText + 16) * 3);
    if (const auto rtf = dxf::DecompressRtfBody(bytes, 4096)) FUZZ_CHECK(rtf->size() <= 4096);

    // A TNEF stream: the bytes as they are, as the attributes after a
    // signature, and as the message's property block; the same reach.
    const std::string signature("\x78\x9F\x3E\x22\x01\x00", 6);
    const std::string block = std::string("\x01\x03\x90\x06\x00", 5) +
                              std::string(1, static_cast<char>(size)) +
                              std::string(1, static_cast<char>(size >> 8)) +
                              std::string(1, static_cast<char>(size >> 16)) +
                              std::string(1, static_cast<char>(size >> 24));
    for (const std::string &stream : {std::string(bytes), signature + std::string(bytes),
                                      signature + block + std::string(bytes)}) {
        const auto pieces = dxf::ReadTnef(stream, bounds, true);
        FUZZ_CHECK(pieces.has_value() == dxf::IsTnef(stream));
        if (pieces)
            for (const dxf::MailPiece &piece : *pieces)
                FUZZ_CHECK(piece.rtf || piece.utf8.size() <= 4 * (bounds.maxText + 16) * 3);
    }

    // The module's reader, read to the end.
    dxfuzz::ExtractWithModule(DXM_GetModule(), data, size, DX_FMT_MAIL);
    return 0;
}
