// ebook_text.cpp - Mobipocket, PalmDoc and FictionBook 2 e-books: the text
// records of a Palm database, decompressed; the title, annotation and
// bodies of a FictionBook document.
#include "filters/dxfilter/ebook_text.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "filters/dxfilter/bytes.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/inflate.h"
#include "filters/dxfilter/xml_push.h"
#include "filters/dxfilter/zip_scan.h"

namespace dxf {
namespace {

const unsigned char *bytes_of(std::string_view s) {
    return reinterpret_cast<const unsigned char *>(s.data());
}

// ---- Palm database layout ------------------------------------------------------------

constexpr size_t kRecordList = 78;  // the database header's size; the record list follows
constexpr size_t kTypeCreator = 60;
constexpr uint16_t kNoCompression = 1;
constexpr uint16_t kPalmDocCompression = 2;
constexpr uint16_t kHuffCdicCompression = 17480;
// Offsets in record 0: the PalmDoc header, then the MOBI header at 16.
constexpr size_t kMobiHeader = 16;
constexpr size_t kMobiEncoding = 28;
constexpr size_t kMobiFirstNonBook = 80;
constexpr size_t kMobiHuffRecord = 112;
constexpr size_t kMobiHuffCount = 116;
constexpr size_t kMobiExtraFlags = 242;
constexpr size_t kMobiExtraFlagsHeader = 0xE4;  // header length that holds the flags

constexpr size_t kMaxPhraseBytes = 64 * 1024;
constexpr size_t kMaxCachedBytes = 32u << 20;
constexpr int kMaxPhraseDepth = 32;
constexpr unsigned kMaxCdicBits = 16;

// ---- FictionBook -----------------------------------------------------------------------

constexpr size_t kMaxMemberBytes = 64u << 20;

}  // namespace

bool PalmDocExpand(std::string_view in, size_t cap, std::string &out) {
    const size_t start = out.size();
    for (size_t i = 0; i < in.size() && out.size() < cap;) {
        const unsigned char c = static_cast<unsigned char>(in[i++]);
        if (c >= 1 && c <= 8) {
            // A run of literal bytes.
            if (in.size() - i < c) return false;
            out.append(in.substr(i, std::min<size_t>(c, cap - out.size())));
            i += c;
        } else if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c >= 0xC0) {
            // A space and a character.
            out.push_back(' ');
            if (out.size() < cap) out.push_back(static_cast<char>(c ^ 0x80));
        } else {
            // A back reference: 11 bits of distance, 3 of length (3 to 10).
            if (i >= in.size()) return false;
            const unsigned pair = (c << 8 | static_cast<unsigned char>(in[i++])) & 0x3FFF;
            const size_t distance = pair >> 3;
            const size_t length = (pair & 7) + 3;
            if (distance == 0 || distance > out.size() - start) return false;
            for (size_t k = 0; k < length && out.size() < cap; ++k)
                out.push_back(out[out.size() - distance]);
        }
    }
    return true;
}

bool TrimTrailingEntries(std::string_view &record, uint16_t flags) {
    for (unsigned bits = flags >> 1u; bits != 0; bits >>= 1u) {
        if ((bits & 1u) == 0) continue;
        // The entry's size, in 7-bit groups among the record's last four
        // bytes; the group with its high bit set is the first.
        size_t size = 0;
        for (size_t k = record.size() - std::min<size_t>(4, record.size()); k < record.size();
             ++k) {
            const unsigned char b = static_cast<unsigned char>(record[k]);
            if (b & 0x80) size = 0;
            size = size << 7 | (b & 0x7Fu);
        }
        if (size == 0 || size > record.size()) return false;
        record.remove_suffix(size);
    }
    if (flags & 1u) {
        if (record.empty()) return false;
        const size_t overlap = (static_cast<unsigned char>(record.back()) & 3u) + 1;
        if (overlap > record.size()) return false;
        record.remove_suffix(overlap);
    }
    return true;
}

bool HuffCdicDecoder::Load(std::string_view huff, std::span<const std::string_view> cdics,
                           std::string &error) {
    const unsigned char *h = bytes_of(huff);
    if (huff.size() < 24 || huff.substr(0, 4) != "HUFF" || be32(h + 4) != 24) {
        error = "no HUFF record";
        return false;
    }
    const uint64_t codeTable = be32(h + 8), rangeTable = be32(h + 12);
    if (codeTable + 256 * 4 > huff.size() || rangeTable + 64 * 4 > huff.size()) {
        error = "HUFF tables past their record";
        return false;
    }
    for (size_t i = 0; i < 256; ++i) {
        const uint32_t v = be32(h + codeTable + 4 * i);
        const unsigned length = v & 0x1Fu;
        if (length == 0) {
            error = "HUFF code of length 0";
            return false;
        }
        codes_[i] = {static_cast<uint8_t>(length), (v & 0x80u) != 0,
                     ((uint64_t{v >> 8} + 1) << (32 - length)) - 1};
    }
    for (unsigned length = 1; length <= 32; ++length) {
        const unsigned char *range = h + rangeTable + 8 * (length - 1);
        min_[length] = uint64_t{be32(range)} << (32 - length);
        max_[length] = ((uint64_t{be32(range + 4)} + 1) << (32 - length)) - 1;
    }
    phrases_.clear();
    cached_ = 0;
    for (std::string_view cdic : cdics) {
        const unsigned char *c = bytes_of(cdic);
        if (cdic.size() < 16 || cdic.substr(0, 4) != "CDIC" || be32(c + 4) != 16) {
            error = "no CDIC record";
            return false;
        }
        const uint32_t total = be32(c + 8), bits = be32(c + 12);
        if (bits > kMaxCdicBits) {
            error = "CDIC record of too many phrases";
            return false;
        }
        const size_t count =
            std::min<size_t>(size_t{1} << bits, total - std::min<size_t>(total, phrases_.size()));
        if (16 + 2 * count > cdic.size()) {
            error = "CDIC offsets past their record";
            return false;
        }
        for (size_t j = 0; j < count; ++j) {
            const size_t at = 16 + size_t{be16(c + 16 + 2 * j)};
            if (at + 2 > cdic.size()) {
                error = "CDIC phrase past its record";
                return false;
            }
            const uint16_t head = be16(c + at);
            const size_t length = head & 0x7FFFu;
            if (at + 2 + length > cdic.size()) {
                error = "CDIC phrase past its record";
                return false;
            }
            Phrase phrase;
            phrase.bytes = cdic.substr(at + 2, length);
            phrase.literal = (head & 0x8000u) != 0;
            phrases_.push_back(std::move(phrase));
        }
    }
    if (phrases_.empty()) {
        error = "no CDIC phrases";
        return false;
    }
    return true;
}

bool HuffCdicDecoder::Expand(std::string_view in, size_t cap, std::string &out) {
    return Unpack(in, cap, out, 0);
}

bool HuffCdicDecoder::Unpack(std::string_view in, size_t cap, std::string &out, int depth) {
    if (depth > kMaxPhraseDepth) return false;
    const unsigned char *p = bytes_of(in);
    const uint64_t bits = uint64_t{in.size()} * 8;
    uint64_t at = 0;
    while (out.size() < cap) {
        // The next 32 bits from `at`, zeros past the end.
        uint64_t window = 0;
        const size_t byte = static_cast<size_t>(at / 8);
        for (size_t k = 0; k < 5; ++k)
            window = window << 8 | (byte + k < in.size() ? p[byte + k] : 0);
        const uint64_t code = (window >> (8 - at % 8)) & 0xFFFFFFFFu;
        const Code &entry = codes_[code >> 24];
        unsigned length = entry.length;
        uint64_t max = entry.max;
        if (!entry.terminal) {
            while (length < 32 && code < min_[length]) ++length;
            if (code < min_[length]) return false;
            max = max_[length];
        }
        if (at + length > bits) break;  // the padding of the last byte
        at += length;
        if (max < code) return false;
        const uint64_t index = (max - code) >> (32 - length);
        if (index >= phrases_.size()) return false;
        Phrase &phrase = phrases_[index];
        if (!phrase.literal && phrase.state != 2) {
            if (phrase.state == 1) return false;  // the phrase contains itself
            phrase.state = 1;
            std::string expanded;
            if (!Unpack(phrase.bytes, kMaxPhraseBytes + 1, expanded, depth + 1) ||
                expanded.size() > kMaxPhraseBytes || cached_ + expanded.size() > kMaxCachedBytes) {
                phrase.state = 0;
                return false;
            }
            cached_ += expanded.size();
            phrase.expanded = std::move(expanded);
            phrase.state = 2;
        }
        const std::string_view piece = phrase.literal ? phrase.bytes : phrase.expanded;
        out.append(piece.substr(0, cap - out.size()));
    }
    return true;
}

PalmBook ReadPalmBook(std::string_view file, const EbookBounds &bounds) {
    PalmBook book;
    const auto fail = [&book](const char *why) {
        book.ok = false;
        book.error = why;
        book.bytes.clear();
        return book;
    };
    if (file.size() < kRecordList) return fail("shorter than a database header");
    const std::string_view type = file.substr(kTypeCreator, 8);
    const bool mobi = type == "BOOKMOBI";
    if (!mobi && type != "TEXtREAd") return fail("not a book database");
    const unsigned char *p = bytes_of(file);
    const size_t count = be16(p + 76);
    const size_t listEnd = kRecordList + 8 * count;
    if (count == 0 || listEnd > file.size()) return fail("record list past the end");
    std::vector<size_t> starts(count + 1, file.size());
    for (size_t i = 0; i < count; ++i) {
        starts[i] = be32(p + kRecordList + 8 * i);
        if (starts[i] < listEnd || starts[i] > file.size() || (i > 0 && starts[i] < starts[i - 1]))
            return fail("record offsets out of order or past the end");
    }
    const auto record = [&](size_t i) { return file.substr(starts[i], starts[i + 1] - starts[i]); };

    const std::string_view zero = record(0);
    const unsigned char *r0 = bytes_of(zero);
    if (zero.size() < 16) return fail("record 0 shorter than its header");
    const uint16_t compression = be16(r0);
    const size_t textLength = be32(r0 + 4);
    const size_t textRecords = be16(r0 + 8);
    uint16_t flags = 0;
    size_t firstNonBook = count;
    size_t huffRecord = 0, huffCount = 0;
    if (mobi) {
        if (be16(r0 + 12) != 0) return fail("encrypted");
        if (zero.size() < kMobiHeader + 8 || zero.substr(kMobiHeader, 4) != "MOBI")
            return fail("no MOBI header");
        const size_t headerEnd =
            std::min<size_t>(zero.size(), kMobiHeader + size_t{be32(r0 + kMobiHeader + 4)});
        const auto field = [&](size_t at, uint32_t fallback) {
            return at + 4 <= headerEnd ? be32(r0 + at) : fallback;
        };
        switch (field(kMobiEncoding, 1252)) {
            case 65001:
                book.charset = "UTF-8";
                break;
            case 1252:
                book.charset = "windows-1252";
                break;
            default:
                break;  // the bytes decide
        }
        const uint32_t nonBook = field(kMobiFirstNonBook, 0);
        if (nonBook > 0 && nonBook < firstNonBook) firstNonBook = nonBook;
        huffRecord = field(kMobiHuffRecord, 0);
        huffCount = field(kMobiHuffCount, 0);
        if (headerEnd >= kMobiHeader + kMobiExtraFlagsHeader && kMobiExtraFlags + 2 <= headerEnd)
            flags = be16(r0 + kMobiExtraFlags);
    }
    book.html = mobi;
    if (compression != kNoCompression && compression != kPalmDocCompression &&
        !(mobi && compression == kHuffCdicCompression))
        return fail("unknown compression");
    if (textRecords >= count || textRecords >= firstNonBook)
        return fail("text records past the record list");

    HuffCdicDecoder huff;
    if (compression == kHuffCdicCompression) {
        if (huffRecord <= textRecords || huffCount < 2 || huffRecord >= count ||
            huffCount > count - huffRecord)
            return fail("HUFF/CDIC records past the record list");
        std::vector<std::string_view> cdics;
        for (size_t i = huffRecord + 1; i < huffRecord + huffCount; ++i) cdics.push_back(record(i));
        std::string error;
        if (!huff.Load(record(huffRecord), cdics, error)) return fail(error.c_str());
    }

    const size_t cap = std::min(bounds.maxBytes, textLength);
    for (size_t i = 1; i <= textRecords && book.bytes.size() < cap; ++i) {
        if (DXM_CpuNs() > bounds.deadlineNs) break;
        std::string_view data = record(i);
        if (mobi && !TrimTrailingEntries(data, flags)) return fail("malformed trailing entries");
        bool ok = true;
        switch (compression) {
            case kNoCompression:
                book.bytes.append(data.substr(0, cap - book.bytes.size()));
                break;
            case kPalmDocCompression:
                ok = PalmDocExpand(data, cap, book.bytes);
                break;
            default:
                ok = huff.Expand(data, cap, book.bytes);
                break;
        }
        if (!ok) return fail("malformed compressed record");
    }
    book.ok = true;
    return book;
}

namespace {

// The directory record of the one member of a zip archive beside the
// Finder's entries (IsFinderEntry); false when there is not exactly one or
// the directory cannot be read.
bool only_member(std::string_view zip, ZipEntry &member) {
    ZipDirectory directory;
    if (!FindZipDirectory(zip.size(), ReadAtOf(zip), directory)) return false;
    ZipRecords records(zip.substr(directory.offset, directory.size), directory.entries);
    bool found = false;
    for (ZipEntry entry; records.Next(entry);) {
        if (IsFinderEntry(entry.name)) continue;
        if (found) return false;
        member = entry;
        found = true;
    }
    return found && !records.Damaged();
}

// The one `.fb2` member of a zip archive (beside the Finder's entries),
// inflated; false when the archive holds anything else or cannot be read.
bool fictionbook_member(std::string_view zip, std::string &out, std::string &error) {
    error = "not a zip archive of one FictionBook";
    ZipEntry member;
    if (!only_member(zip, member)) return false;
    if (member.flags & 1u) {
        error = "encrypted member";
        return false;
    }
    uint64_t data = 0;
    if (!FindZipEntryData(member, zip.size(), ReadAtOf(zip), data)) return false;
    const uint16_t method = member.method;
    const std::string_view in = zip.substr(data, member.packedSize);
    if (method == 0) {
        out.assign(in.substr(0, kMaxMemberBytes));
        return true;
    }
    if (method != 8) return false;
    const int rc = InflateRaw(in, kMaxMemberBytes, INT64_MAX, out);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) return !out.empty();
    return true;
}

// Elements whose start and end end a line.
constexpr std::string_view kBlocks[] = {
    "annotation", "body",        "book-title", "cite",    "date",   "empty-line",
    "epigraph",   "p",           "poem",       "section", "stanza", "subtitle",
    "td",         "text-author", "th",         "title",   "tr",     "v",
};

class FictionBookReader {
  public:
    explicit FictionBookReader(const EbookBounds &bounds, FictionBookText &out)
        : bounds_(bounds), out_(out) {}

    void Start(std::string_view name, const xmlChar **, int) {
        const bool top = stack_.size() == 1;
        bool keep = false;
        if (stack_.empty()) {
            root_ = name == "FictionBook";
        } else if (name == "binary") {
            keep = false;
        } else if (stack_.back().keep) {
            keep = true;
        } else if (top) {
            keep = name == "body";
        } else if ((name == "book-title" || name == "annotation") && stack_.size() == 3 &&
                   stack_[1].name == "description" && stack_[2].name == "title-info") {
            keep = true;
        }
        stack_.push_back({std::string(name.substr(0, 32)), keep});
        if (keep && is_block(name)) Break();
    }
    void End() {
        if (stack_.empty()) return;
        const bool block = stack_.back().keep && is_block(stack_.back().name);
        stack_.pop_back();
        if (block) Break();
    }
    void Characters(std::string_view text) {
        if (stack_.empty() || !stack_.back().keep || full_) return;
        for (char c : text) line_.push_back(c == '\n' || c == '\r' || c == '\t' ? ' ' : c);
        if (line_.size() > bounds_.maxText) Break();
    }
    void Finish() { Break(); }
    bool root() const { return root_; }
    bool full() const { return full_; }

  private:
    struct Open {
        std::string name;
        bool keep;
    };
    static bool is_block(std::string_view name) {
        return std::find(std::begin(kBlocks), std::end(kBlocks), name) != std::end(kBlocks);
    }
    void Break() {
        const size_t first = line_.find_first_not_of(' ');
        if (first != std::string::npos && !full_) {
            const size_t last = line_.find_last_not_of(' ');
            std::string line = line_.substr(first, last - first + 1);
            total_ += line.size();
            out_.lines.push_back(std::move(line));
            full_ = total_ >= bounds_.maxText;
        }
        line_.clear();
    }

    const EbookBounds &bounds_;
    FictionBookText &out_;
    std::vector<Open> stack_;
    std::string line_;
    size_t total_ = 0;
    bool root_ = false;
    bool full_ = false;
};

}  // namespace

FictionBookText ReadFictionBook(std::string_view bytes, const EbookBounds &bounds) {
    FictionBookText text;
    std::string member;
    if (bytes.starts_with("PK\x03\x04")) {
        if (!fictionbook_member(bytes, member, text.error)) return text;
        text.error.clear();
        bytes = member;
    }
    FictionBookReader reader(bounds, text);
    if (!ReadElements(bytes, reader, [&] { return DXM_CpuNs() > bounds.deadlineNs; })) {
        text.error = "no XML parser";
        return text;
    }
    if (!reader.root()) {
        text.lines.clear();
        text.error = "the root element is not FictionBook";
        return text;
    }
    text.ok = true;
    return text;
}

}  // namespace dxf
