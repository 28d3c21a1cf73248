// msword_reader.cpp - the text of Word 97-2003 documents and of Word 6 and
// 95 ones (the `WordDocument` stream), and of Word for Windows 1.x and 2.0
// ones (no compound file: the file is the stream, laid out as Word 6's).
//
// The file information block
// of the WordDocument stream names the piece table in the table stream
// (0Table or 1Table; Word 6/95 keep it in the WordDocument stream), and the
// piece table maps character positions to runs of 8-bit or UTF-16LE text in
// the WordDocument stream (Word 6/95: 8-bit text in the code page of the
// document's language, in one run when it was not fast-saved). The main text comes
// first, then footnotes, endnotes and text boxes; headers, footers and
// comments are left out, as they are for the other word processor formats.
//
// Everything a document says about itself is checked against the sizes of
// the streams before it is used: a damaged, truncated or encrypted document
// fails to open and is never read out of bounds.
#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/code_pages.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/ole_file.h"

namespace msdoc {
namespace {

constexpr uint16_t kWordIdent = 0xA5EC;
// Word 97 and every later version write 0xC1 (a few early writers 0xC0 or
// 0xC2, LibreOffice 0x101); Word 6 and Word 95 wrote 101 to 105, with another
// layout and 8-bit text in the code page of their language.
constexpr uint16_t kMinNFib97 = 0xC0;
constexpr uint16_t kMinNFib6 = 101, kMaxNFib6 = 105;
// Word 6 and 95 wrote other identifiers as well: 0xA5DC (Word 6.0 for
// Windows) and 0xA699 (seen on Word 6 documents of other writers).
constexpr uint16_t kWordIdents6[] = {kWordIdent, 0xA5DC, 0xA699};
constexpr uint16_t kComplex = 1u << 2;  // flags of the FIB base
constexpr uint16_t kEncrypted = 1u << 8;
constexpr uint16_t kWhichTable = 1u << 9;   // Word 97: 1Table rather than 0Table
constexpr uint16_t kObfuscated = 1u << 15;  // Word 97

// The stories of a document in character position order, as the FIB counts
// their characters (Word 97: fibRgLw from index 3; Word 6: from 0x34).
enum Story : int {
    kMainText,
    kFootnotes,
    kHeaders,
    kMacros,
    kComments,
    kEndnotes,
    kTextBoxes,
    kHeaderTextBoxes,
    kStories
};
// The stories whose text is extracted.
constexpr std::array<Story, 4> kReadStories = {kMainText, kFootnotes, kEndnotes, kTextBoxes};
constexpr size_t kStoryCounts97 = 3;  // index of ccpText in fibRgLw
constexpr size_t kClxPair97 = 33;     // index of fcClx/lcbClx in fibRgFcLcbBlob
// Word 6/95 FIB: fixed places.
constexpr size_t kCharset6 = 0x14, kFcMin6 = 0x18, kFcMac6 = 0x1C, kStoryCounts6 = 0x34,
                 kFcClx6 = 0x160, kFib6End = 0x168;
constexpr uint16_t kMacCharset6 = 256, kMacRoman = 10000;  // its charset, and code page
// Word for Windows 1.x (0xA59B, 0xA59C) and 2.0 (0xA5DB): their FIB has
// Word 6's first fields up to the story counts (five: main text, footnotes,
// headers, macros, comments), then pairs of a 32-bit offset and a 16-bit
// length, the piece table's at 0x11E (Word 2.0). Text is 8-bit, in the code
// page of the document's language.
constexpr uint16_t kWord1Idents[] = {0xA59B, 0xA59C};
constexpr uint16_t kWord2Ident = 0xA5DB;
constexpr size_t kStories2 = 5, kFcClx2 = 0x11E, kFib2End = 0x124;

constexpr size_t kFibBytes = 4096;         // the FIB is read from this much of its stream
constexpr uint32_t kStepChars = 8192;      // characters decoded per step
constexpr size_t kMaxFieldDepth = 256;     // deeper fields are read, their text dropped
constexpr uint64_t kMaxPieces = 1u << 20;  // piece table entries

// Bytes 0x80-0x9F of Word 97 8-bit pieces that stand for other characters;
// every other byte is the code point of the same value. Word stores only
// text that fits this mapping in 8-bit pieces.
constexpr char16_t kCompressedHigh[32] = {
    0x0080, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x008E, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x009E, 0x0178};

// iconv's name for the 8-bit text of a Word 6/95 or Word 1.x/2.0 document:
// Mac Roman for a Word 6 document of the Macintosh charset, else the code
// page of its language.
std::string legacy_code_page(uint16_t lid, uint16_t charset) {
    return dxf::OfficeIconvName(charset == kMacCharset6 ? kMacRoman
                                                        : dxf::WordLanguageCodePage(lid));
}

struct Piece {
    uint32_t cpStart, cpEnd;  // character positions [cpStart, cpEnd)
    uint32_t offset;          // byte offset of cpStart in the WordDocument stream
    bool compressed;          // one byte per character, else two
};

struct Range {
    uint32_t start, end;
};

// What the two FIB layouts tell about where the text is.
struct FibFacts {
    uint16_t flags = 0;
    std::array<uint32_t, kStories> counts{};  // characters of each story
    uint32_t fcClx = 0, lcbClx = 0;           // the piece table
    bool word6 = false;                       // Word 6 and 95, or Word for Windows 1.x and 2.0
    size_t fibEnd = 0;                        // Word 6: where the text may start
    bool pieceTable = true;                   // Word 6: whether a fast-saved document is read
    uint32_t fcMin = 0, fcMac = 0;            // Word 6: the text when there is no piece table
    std::string codePage;                     // Word 6: iconv's name of its 8-bit text
};

// Reads a Word 97 FIB, whose parts have counted lengths: fibRgW (csw 16-bit
// words), fibRgLw (cslw 32-bit words), fibRgFcLcbBlob (cbRgFcLcb pairs).
bool read_fib97(const std::vector<unsigned char> &fib, FibFacts &facts) {
    const unsigned char *f = fib.data();
    auto fits = [&](size_t at, size_t n) { return at <= fib.size() && n <= fib.size() - at; };
    size_t at = 0x20;
    if (!fits(at, 2)) return false;
    at += 2 + 2 * size_t{le16(f + at)};
    if (!fits(at, 2)) return false;
    const size_t cslw = le16(f + at);
    const size_t rgLw = at + 2;
    at = rgLw + 4 * cslw;
    if (cslw < kStoryCounts97 + kStories || !fits(at, 2)) return false;
    const size_t pairs = le16(f + at);
    const size_t blob = at + 2;
    if (pairs <= kClxPair97 || !fits(blob, 8 * (kClxPair97 + 1))) return false;
    for (size_t i = 0; i < kStories; ++i)
        facts.counts[i] = le32(f + rgLw + 4 * (kStoryCounts97 + i));
    facts.fcClx = le32(f + blob + 8 * kClxPair97);
    facts.lcbClx = le32(f + blob + 8 * kClxPair97 + 4);
    return true;
}

// The fields Word 6/95 and Word for Windows 1.x and 2.0 keep at the same
// places: the text's limits and the counts of the first `stories` stories.
void read_fixed_fib(const unsigned char *f, size_t stories, FibFacts &facts) {
    facts.word6 = true;
    for (size_t i = 0; i < stories; ++i) facts.counts[i] = le32(f + kStoryCounts6 + 4 * i);
    facts.fcMin = le32(f + kFcMin6);
    facts.fcMac = le32(f + kFcMac6);
}

bool read_fib6(const std::vector<unsigned char> &fib, FibFacts &facts) {
    const unsigned char *f = fib.data();
    if (fib.size() < kFib6End) return false;
    read_fixed_fib(f, kStories, facts);
    facts.fcClx = le32(f + kFcClx6);
    facts.lcbClx = le32(f + kFcClx6 + 4);
    facts.codePage = legacy_code_page(le16(f + 6), le16(f + kCharset6));
    facts.fibEnd = kFib6End;
    return true;
}

// Word for Windows 1.x and 2.0. The piece table's place is known for Word
// 2.0 only: a fast-saved Word 1.x document is refused.
bool read_fib2(const std::vector<unsigned char> &fib, FibFacts &facts) {
    const unsigned char *f = fib.data();
    const uint16_t ident = le16(f);
    const bool word1 = std::find(std::begin(kWord1Idents), std::end(kWord1Idents), ident) !=
                       std::end(kWord1Idents);
    if ((!word1 && ident != kWord2Ident) || le16(f + 2) >= kMinNFib6 || fib.size() < kFib2End)
        return false;
    read_fixed_fib(f, kStories2, facts);
    facts.fcClx = le32(f + kFcClx2);
    facts.lcbClx = le16(f + kFcClx2 + 4);
    facts.codePage = legacy_code_page(le16(f + 6), 0);
    facts.fibEnd = kFib2End;
    facts.pieceTable = !word1;
    return true;
}

struct DocExtractor final : OleReader {
    std::unique_ptr<OleFile> file;
    InputRef word;  // the WordDocument stream
    std::vector<Piece> pieces;
    std::vector<Range> ranges;  // what is still to be read, in order
    size_t range = 0;
    uint32_t cp = 0;  // next character position within ranges[range]
    DXMLimits limits{};
    uint64_t bytesRead = 0;
    iconv_t legacy = reinterpret_cast<iconv_t>(-1);  // Word 6/95: code page to UTF-32LE

    // Fields: for each open field, whether its instruction is still running.
    std::vector<bool> fields;
    size_t instructions = 0;  // open fields still in their instruction
    size_t deepFields = 0;    // open fields beyond kMaxFieldDepth
    Utf16Joiner units;        // Word 97 pieces' units to characters
    std::string carry;        // Word 6/95: a multibyte character cut by the end of a step
    std::vector<unsigned char> bytes;
    TextOut textOut;

    ~DocExtractor() override {
        if (legacy != reinterpret_cast<iconv_t>(-1)) iconv_close(legacy);
    }

    bool Open();
    bool ReadPieceTable(GsfInput *table, uint32_t fcClx, uint32_t lcbClx, bool word6);
    int Step(DXMSink *sink) override;
    void Unit(char16_t unit);
    void Legacy(const unsigned char *text, size_t length);
    void Character(char32_t c);
};

bool DocExtractor::Open() {
    const bool compound = file->Compound();
    word = compound ? file->Child("WordDocument") : file->Whole();
    if (!word) return false;

    const uint64_t wordSize = static_cast<uint64_t>(gsf_input_size(word.get()));
    std::vector<unsigned char> fib(std::min<uint64_t>(wordSize, kFibBytes));
    if (fib.size() < 0x20 || !read_at(word.get(), 0, fib.size(), fib.data())) return false;
    FibFacts facts;
    facts.flags = le16(&fib[0x0A]);
    const uint16_t nFib = le16(&fib[2]);
    const uint16_t ident = le16(&fib[0]);
    if (!compound            ? !read_fib2(fib, facts)
        : nFib >= kMinNFib97 ? ident != kWordIdent || !read_fib97(fib, facts)
                             : nFib < kMinNFib6 || nFib > kMaxNFib6 ||
                                   std::find(std::begin(kWordIdents6), std::end(kWordIdents6),
                                             ident) == std::end(kWordIdents6) ||
                                   !read_fib6(fib, facts))
        return false;
    if ((facts.flags & kEncrypted) || (!facts.word6 && (facts.flags & kObfuscated))) return false;

    if (facts.word6) {
        legacy = iconv_open("UTF-32LE", facts.codePage.c_str());
        if (legacy == reinterpret_cast<iconv_t>(-1)) return false;
    }
    if (facts.word6 && !(facts.flags & kComplex)) {
        // Not fast-saved: the text lies in one run from fcMin to fcMac.
        if (facts.fcMin < facts.fibEnd || facts.fcMin > facts.fcMac ||
            facts.fcMac - facts.fcMin > INT32_MAX)
            return false;
        if (facts.fcMac > facts.fcMin)
            pieces.push_back({0, facts.fcMac - facts.fcMin, facts.fcMin, true});
    } else {
        if (!facts.pieceTable) return false;
        // Word 6/95 keeps the piece table in its one stream.
        InputRef own =
            facts.word6 ? nullptr : file->Child((facts.flags & kWhichTable) ? "1Table" : "0Table");
        GsfInput *table = facts.word6 ? word.get() : own.get();
        if (!table || !ReadPieceTable(table, facts.fcClx, facts.lcbClx, facts.word6)) return false;
    }

    // Each piece must lie inside the WordDocument stream.
    for (const Piece &p : pieces) {
        const uint64_t length = uint64_t{p.cpEnd - p.cpStart} * (p.compressed ? 1 : 2);
        if (p.offset > wordSize || length > wordSize - p.offset) return false;
    }

    // The stories follow one another in character positions, main text first.
    const uint32_t lastCp = pieces.empty() ? 0 : pieces.back().cpEnd;
    uint64_t start = 0;
    for (int story = kMainText; story < kStories; ++story) {
        const uint32_t count = facts.counts[story];
        if (count > INT32_MAX) return false;
        const uint64_t end = start + count;
        if (story == kMainText && end > lastCp) return false;
        if (std::find(kReadStories.begin(), kReadStories.end(), story) != kReadStories.end() &&
            start < lastCp && count > 0)
            ranges.push_back({static_cast<uint32_t>(start),
                              static_cast<uint32_t>(std::min<uint64_t>(end, lastCp))});
        start = end;
    }
    if (!ranges.empty()) cp = ranges.front().start;
    return true;
}

// Reads the piece table out of the CLX: any number of property records
// (0x01, 16-bit length), then the piece table itself (0x02, 32-bit length):
// n + 1 character positions followed by n 8-byte piece descriptors. Word 97
// pieces are UTF-16LE, or 8-bit at half their offset when bit 30 is set;
// Word 6/95 pieces are all 8-bit.
bool DocExtractor::ReadPieceTable(GsfInput *table, uint32_t fcClx, uint32_t lcbClx, bool word6) {
    // Checked against the stream before anything is allocated for it.
    if (lcbClx == 0 || lcbClx > limits.maxPartBytes ||
        uint64_t{fcClx} + lcbClx > static_cast<uint64_t>(gsf_input_size(table)))
        return false;
    std::vector<unsigned char> clx(lcbClx);
    if (!read_at(table, fcClx, clx.size(), clx.data())) return false;
    size_t at = 0;
    while (at < clx.size() && clx[at] == 0x01) {
        if (clx.size() - at < 3) return false;
        at += 3 + le16(&clx[at + 1]);
    }
    if (at >= clx.size() || clx[at] != 0x02 || clx.size() - at < 5) return false;
    const uint64_t length = le32(&clx[at + 1]);
    at += 5;
    if (length > clx.size() - at || length < 4 + 12 || (length - 4) % 12 != 0) return false;
    const uint64_t n = (length - 4) / 12;
    if (n > kMaxPieces) return false;
    const unsigned char *cps = &clx[at];
    const unsigned char *pcds = cps + 4 * (n + 1);
    if (le32(cps) != 0) return false;
    pieces.reserve(n);
    for (uint64_t i = 0; i < n; ++i) {
        const uint32_t from = le32(cps + 4 * i), to = le32(cps + 4 * (i + 1));
        if (to < from || to > INT32_MAX) return false;
        const uint32_t fc = le32(pcds + 8 * i + 2);
        Piece p{from, to, fc, true};
        if (!word6) {
            p.compressed = (fc & 0x40000000) != 0;
            p.offset = p.compressed ? (fc & 0x3FFFFFFF) / 2 : fc & 0x3FFFFFFF;
        }
        if (to > from) pieces.push_back(p);
    }
    return true;
}

// One UTF-16 unit of a Word 97 piece, joined as Utf16Joiner joins them.
void DocExtractor::Unit(char16_t unit) {
    units.Unit(unit, [this](char32_t c) { Character(c); });
}

// 8-bit text of a Word 6/95 document, in its code page. Control characters
// are single bytes in every code page Word used (no multibyte character
// holds a byte below 0x20), so they are taken as they are and the text
// between them goes through iconv; a character cut by the end of a step is
// completed by the next one.
void DocExtractor::Legacy(const unsigned char *text, size_t length) {
    size_t i = 0;
    while (i < length) {
        if (text[i] < 0x20) {
            carry.clear();
            Character(text[i++]);
            continue;
        }
        size_t j = i;
        while (j < length && text[j] >= 0x20) ++j;
        const std::string in = carry + std::string(reinterpret_cast<const char *>(text + i), j - i);
        carry.clear();
        const size_t cut = ConvertRun(legacy, in, [this](char32_t c) { Character(c); });
        // Incomplete at the end: kept only when the step cut it.
        if (cut < in.size() && j == length) carry = in.substr(cut);
        i = j;
    }
}

// Fields are begin (0x13) instruction [separator (0x14) result] end (0x15);
// only their results are text, nested fields included.
void DocExtractor::Character(char32_t c) {
    switch (c) {
        case 0x13:
            if (fields.size() < kMaxFieldDepth)
                fields.push_back(true), ++instructions;
            else
                ++deepFields;
            return;
        case 0x14:
            if (deepFields == 0 && !fields.empty() && fields.back())
                fields.back() = false, --instructions;
            return;
        case 0x15:
            if (deepFields > 0) {
                --deepFields;
            } else if (!fields.empty()) {
                instructions -= fields.back();
                fields.pop_back();
            }
            return;
        default:
            break;
    }
    if (deepFields > 0 || instructions > 0) return;
    switch (c) {
        case 0x07:  // end of a table cell or row
        case 0x0B:  // line break
        case 0x0C:  // page or section break
        case 0x0D:  // end of a paragraph
            textOut.Break();
            return;
        case 0x09:
        case 0xA0:
            textOut.Char(' ');
            return;
        case 0x1E:  // non-breaking hyphen
            textOut.Char('-');
            return;
        default:
            // Object anchors, note marks, optional hyphens and other controls
            // (TextOut drops them).
            textOut.Char(c);
    }
}

int DocExtractor::Step(DXMSink *sink) {
    textOut.sink = sink;
    while (range < ranges.size() && cp >= ranges[range].end) {
        // A surrogate half left open at the end of a story has no partner.
        units.Finish([this](char32_t c) { Character(c); });
        if (++range < ranges.size()) cp = ranges[range].start;
        // A story starts outside any field of the one before.
        fields.clear();
        instructions = deepFields = 0;
        carry.clear();
        if (!textOut.Flush()) return 0;
        sink->brk(sink->self);
    }
    if (range >= ranges.size()) return 0;
    if (DXM_CpuNs() > limits.deadlineNs || bytesRead > limits.maxTotalBytes) return 0;
    auto piece = std::upper_bound(pieces.begin(), pieces.end(), cp,
                                  [](uint32_t at, const Piece &p) { return at < p.cpEnd; });
    // The piece table covers every story (checked on opening).
    if (piece == pieces.end() || cp < piece->cpStart) return -1;
    const uint32_t end = std::min({piece->cpEnd, ranges[range].end, cp + kStepChars});
    const size_t width = piece->compressed ? 1 : 2;
    bytes.resize(size_t{end - cp} * width);
    if (!read_at(word.get(), piece->offset + uint64_t{cp - piece->cpStart} * width, bytes.size(),
                 bytes.data()))
        return -1;
    bytesRead += bytes.size();
    cp = end;
    if (legacy != reinterpret_cast<iconv_t>(-1)) {
        Legacy(bytes.data(), bytes.size());
    } else if (width == 2) {
        for (size_t i = 0; i < bytes.size(); i += 2)
            Unit(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    } else {
        // An 8-bit piece after a high surrogate half: the half has no partner.
        units.Finish([this](char32_t c) { Character(c); });
        for (unsigned char b : bytes)
            Character(b >= 0x80 && b < 0xA0 ? kCompressedHigh[b - 0x80] : b);
    }
    return textOut.Flush() ? 1 : 0;
}

}  // namespace

std::unique_ptr<OleReader> OpenWordReader(std::unique_ptr<OleFile> file, const DXMLimits &limits) {
    auto reader = std::make_unique<DocExtractor>();
    reader->file = std::move(file);
    reader->limits = limits;
    if (!reader->Open()) return nullptr;
    return reader;
}

}  // namespace msdoc
