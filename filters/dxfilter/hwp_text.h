// hwp_text.h - the text of a Hangul word processor document, HWP 5 (`.hwp`):
// a compound file whose `FileHeader` stream holds the signature, version and
// property bits (compressed, password, distribution document) and whose
// `BodyText` storage holds the sections (`Section0`, `Section1`, ...), each a
// run of records, raw deflate when the document is compressed. A record
// opens with a 32-bit word: its tag (10 bits), its level (10 bits) and its
// size (12 bits; 0xFFF: a 32-bit size follows). Paragraph text records hold
// UTF-16LE text in which units 0 to 31 are controls: one unit (line break,
// paragraph end, hyphen, spaces) or eight (the code, six units of its
// parameters, the code again; tabs, fields, tables, pictures, notes ...).
#ifndef GLOTTA_FILTERS_DXFILTER_HWP_TEXT_H
#define GLOTTA_FILTERS_DXFILTER_HWP_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dxf {

struct HwpBounds {
    size_t maxSectionBytes = 64u << 20;  // bytes of one section, as stored and inflated
    size_t maxTotalBytes = 192u << 20;   // inflated bytes of all sections
    size_t maxText = 16u << 20;          // UTF-8 bytes of text gathered
    size_t maxSections = 4096;           // sections read
    int64_t deadlineNs = INT64_MAX;      // DXM_CpuNs time to stop at
};

// Paragraph text gathered from section records.
struct HwpLines {
    std::vector<std::string> lines;  // UTF-8, without empty ones
    size_t bytes = 0;                // UTF-8 bytes in `lines`
    bool full = false;               // the text bound was reached
};

// Appends the text of the paragraph text records among `records` (one
// section's, inflated) to `out`: each paragraph and each line break ends a
// line; tabs and fixed and non-breaking spaces give a space, a hyphen '-',
// other controls nothing. Paragraphs of tables, text boxes and notes come
// where their records stand. Reading stops at a record that runs past the
// end (what came before stays), at `maxText` bytes of text and at the
// deadline (checked every few hundred records); false when it stopped
// before the last record.
bool HwpSectionText(std::string_view records, size_t maxText, int64_t deadlineNs, HwpLines &out);

struct HwpText {
    bool ok = false;
    std::string error;  // why the document was refused (ok false)
    HwpLines text;
};

// The paragraphs of the document in `file` (the whole compound file),
// section by section in the order of their numbers. Refused: no compound
// file, no `FileHeader` with the signature and version 5, a password or a
// distribution document (their sections are encrypted; the unencrypted
// preview stream is not read in their stead), no section that can be read.
// A section damaged in its records or its deflate stream gives what came
// before the damage; reading ends at the inflated bytes' bound.
HwpText ReadHwp(std::string_view file, const HwpBounds &bounds);

}  // namespace dxf

#endif
