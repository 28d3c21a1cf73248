// chm_module.cpp - dxfilter_chm.so: the HTML topics of Microsoft Compiled
// HTML Help files (`ITSF`, `.chm`).
//
// The file is read into memory whole (up to the bound of one archive
// member). Its directory (the `ITSP` header and its listing chunks, `PMGL`,
// and index chunks, `PMGI`) is walked here, each chunk once: a damaged
// directory (entries running past their chunk, a chain or an index that
// loops, LZX parameters that make no window or reset interval) is refused,
// and the topics' places come from this walk. Stored topics are read from
// the file's bytes; compressed ones (LZX) are decompressed by lzx.cpp, only
// the frames a topic needs, from the reset before them, with the document's
// CPU deadline checked before each 32 KiB frame.
//
// Reading order: the topics the table of contents (the `.hhc` sitemap the
// `#SYSTEM` file names, else the first one in the directory) points to with
// `<param name="Local" value="...">`, in its order, then the other HTML
// topics in directory order. System files (`/#...`, `/$...`) and files that
// are not HTML are skipped. Each topic goes through the charset layer and
// tag stripper of the compress module: the charset a page declares, else
// UTF-8 when its bytes are valid UTF-8, else the Windows code page of the
// file's locale (LCID, from `#SYSTEM` or the `ITSF` header), else the guess
// from its bytes. A topic ends a paragraph.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/bytes.h"
#include "filters/dxfilter/code_pages.h"
#include "filters/dxfilter/compress_text.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/lzx.h"
#include "filters/dxfilter/module_stream.h"

namespace {

// Directory entries collected; later ones are not read.
constexpr size_t kMaxEntries = 65536;
// Decompressed bytes of one topic (further bytes are dropped) and of the
// table of contents and `#SYSTEM` file.
constexpr uint64_t kMaxTopicBytes = 16u << 20;
constexpr uint64_t kMaxTocBytes = 4u << 20;
// Longest path of a directory entry.
constexpr uint64_t kMaxPath = 512;
// Bytes of a page in which its charset declaration is looked for.
constexpr size_t kHeadBytes = 8192;
// Directory chunk sizes accepted (writers use 4 KiB).
constexpr uint32_t kMinChunk = 0x80, kMaxChunk = 1u << 20;

constexpr std::string_view kResetTable =
    "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/"
    "InstanceData/ResetTable";
constexpr std::string_view kControlData = "::DataSpace/Storage/MSCompressed/ControlData";
constexpr std::string_view kContent = "::DataSpace/Storage/MSCompressed/Content";

uint32_t le32(std::string_view b, size_t at) {
    return dxf::le32(reinterpret_cast<const unsigned char *>(b.data()) + at);
}
uint64_t le64(std::string_view b, size_t at) {
    return le32(b, at) | uint64_t{le32(b, at + 4)} << 32;
}

// A file of the archive as its directory lists it.
struct Entry {
    std::string path;
    uint64_t space = 0;  // 0 stored, 1 LZX-compressed
    uint64_t start = 0;
    uint64_t length = 0;
};

// The bytes of a stored entry that the file `b`, whose data section starts
// at `dataOffset`, holds: all of them, or those before the file's end when
// it is cut short; none for a compressed entry.
std::string_view HeldBytes(std::string_view b, uint64_t dataOffset, const Entry &e) {
    if (e.space != 0 || dataOffset > b.size() || e.start >= b.size() - dataOffset) return {};
    return b.substr(dataOffset + e.start, std::min(e.length, b.size() - dataOffset - e.start));
}

// A compressed integer of the directory: 7 bits a byte, most significant
// first, the top bit set on every byte but the last.
bool EncInt(std::string_view b, size_t &at, size_t end, uint64_t &value) {
    value = 0;
    for (int i = 0; i < 9 && at < end; ++i) {
        const auto c = static_cast<unsigned char>(b[at++]);
        value = value << 7 | (c & 0x7F);
        if (!(c & 0x80)) return true;
    }
    return false;
}

// The directory of a file; empty when it is damaged: every chunk's entries
// lie within the chunk, names are of at most 512 bytes, the listing chain
// and the index end, the LZX parameters are usable.
class Directory {
  public:
    bool Read(std::string_view b) {
        if (b.size() < 0x58) return false;
        const uint32_t version = le32(b, 4);
        if (version != 2 && version != 3) return false;
        if (version == 3 && b.size() < 0x60) return false;
        lcid_ = le32(b, 0x14);
        const uint64_t dirOffset = le64(b, 0x48), dirLength = le64(b, 0x50);
        if (dirOffset > b.size() || dirLength > b.size() - dirOffset || dirLength < 0x54)
            return false;
        dataOffset_ = dirOffset + dirLength;
        if (version == 3 && le64(b, 0x58) >= dataOffset_) dataOffset_ = le64(b, 0x58);
        const std::string_view itsp = b.substr(dirOffset, dirLength);
        if (itsp.compare(0, 4, "ITSP") != 0 || le32(itsp, 4) != 1) return false;
        const uint32_t headerLength = le32(itsp, 8);
        chunk_ = le32(itsp, 0x10);
        if (headerLength < 0x54 || headerLength > dirLength || chunk_ < kMinChunk ||
            chunk_ > kMaxChunk)
            return false;
        const int32_t root = static_cast<int32_t>(le32(itsp, 0x1C));
        const int32_t head = static_cast<int32_t>(le32(itsp, 0x20));
        chunks_ = b.substr(dirOffset + headerLength, dirLength - headerLength);
        count_ = chunks_.size() / chunk_;
        if (head < 0 || static_cast<size_t>(head) >= count_) return false;
        if (root != -1 && !IndexEnds(root)) return false;
        if (!Listing(head) || !CompressionUsable(b)) return false;
        backed_ = BackedBytes(b);
        return true;
    }

    const std::vector<Entry> &entries() const { return entries_; }
    uint32_t lcid() const { return lcid_; }
    // Decompressed bytes whose LZX frames lie whole in the file.
    uint64_t backed() const { return backed_; }
    uint64_t dataOffset() const { return dataOffset_; }

    // The compressed section, when the file has one that can be read.
    std::optional<dxf::LzxSection> Section(std::string_view b) const {
        const Entry *content = Find(kContent), *reset = Find(kResetTable),
                    *control = Find(kControlData);
        if (!content || !reset || !control) return std::nullopt;
        const auto table = Stored(b, *reset), data = Stored(b, *control);
        if (!table || !data) return std::nullopt;
        return dxf::LzxSection::Open(*data, *table, HeldBytes(b, dataOffset_, *content));
    }

  private:
    std::string_view Chunk(size_t n) const { return chunks_.substr(n * chunk_, chunk_); }

    // The entries of a listing or index chunk: each calls `visit` with its
    // name and the bytes after it; false when one runs past the chunk.
    template <typename Visit>
    bool Entries(std::string_view c, size_t first, Visit visit) const {
        const uint32_t free = le32(c, 4);
        if (free > chunk_ - first) return false;
        const size_t end = chunk_ - free;
        for (size_t at = first; at < end;) {
            uint64_t length = 0;
            if (!EncInt(c, at, end, length) || length > kMaxPath || length > end - at) return false;
            const std::string_view name = c.substr(at, length);
            at += length;
            if (!visit(name, at, end)) return false;
        }
        return true;
    }

    // The entries of listing chunk `n`, each checked; `add`: collected.
    bool ListingEntries(size_t n, bool add) {
        const std::string_view c = Chunk(n);
        return Entries(c, 0x14, [&](std::string_view name, size_t &at, size_t end) {
            Entry e{std::string(name)};
            if (!EncInt(c, at, end, e.space) || !EncInt(c, at, end, e.start) ||
                !EncInt(c, at, end, e.length))
                return false;
            // These are checked wherever they stand, in the chain or
            // reached through the index.
            if (IsLzxPart(e.path) && specials_.size() < kMaxEntries) specials_.push_back(e);
            if (add && entries_.size() < kMaxEntries) entries_.push_back(std::move(e));
            return true;
        });
    }

    // The listing chunks from the first, following their chain; false when
    // an entry is damaged or the chain loops or leaves the directory.
    bool Listing(int32_t first) {
        std::vector<bool> seen(count_);
        for (int32_t n = first; n != -1;) {
            if (n < 0 || static_cast<size_t>(n) >= count_ || seen[n]) return false;
            seen[n] = true;
            const std::string_view c = Chunk(n);
            if (c.compare(0, 4, "PMGL") != 0 || !ListingEntries(n, true)) return false;
            n = static_cast<int32_t>(le32(c, 0x10));
        }
        return true;
    }

    // Whether every path from the index root ends, through whole chunks:
    // the index chunks form no loop (a look-up follows them, a child's
    // number cut to 32 bits, until it reaches a listing chunk, whose
    // entries it then reads).
    bool IndexEnds(int32_t root) {
        if (root < 0 || static_cast<size_t>(root) >= count_) return false;
        enum : char { kNew, kOpen, kDone };
        std::vector<char> state(count_, kNew);
        std::vector<std::pair<size_t, std::vector<size_t>>> stack;
        auto children = [&](size_t n, std::vector<size_t> &out) {
            const std::string_view c = Chunk(n);
            if (c.compare(0, 4, "PMGL") == 0) return ListingEntries(n, false);
            if (c.compare(0, 4, "PMGI") != 0) return true;  // a look-up ends there
            return Entries(c, 8, [&](std::string_view, size_t &at, size_t end) {
                uint64_t child = 0;
                if (!EncInt(c, at, end, child)) return false;
                const auto page = static_cast<int32_t>(static_cast<uint32_t>(child));
                if (page >= 0 && static_cast<size_t>(page) < count_)
                    out.push_back(static_cast<size_t>(page));
                return true;
            });
        };
        stack.emplace_back(static_cast<size_t>(root), std::vector<size_t>());
        if (!children(root, stack.back().second)) return false;
        state[root] = kOpen;
        while (!stack.empty()) {
            auto &[node, next] = stack.back();
            if (next.empty()) {
                state[node] = kDone;
                stack.pop_back();
                continue;
            }
            const size_t child = next.back();
            next.pop_back();
            if (state[child] == kOpen) return false;
            if (state[child] == kDone) continue;
            state[child] = kOpen;
            stack.emplace_back(child, std::vector<size_t>());
            if (!children(child, stack.back().second)) return false;
        }
        return true;
    }

    // The bytes of a stored entry; empty when they lie outside the file.
    std::optional<std::string_view> Stored(std::string_view b, const Entry &e) const {
        if (e.space != 0 || dataOffset_ > b.size() || e.start > b.size() - dataOffset_ ||
            e.length > b.size() - dataOffset_ - e.start)
            return std::nullopt;
        return b.substr(dataOffset_ + e.start, e.length);
    }

    // Whether the LZX parameters are usable: a reset table of 32 KiB
    // frames, control data of a window of 32 KiB to 2 MiB and a reset
    // interval of whole half windows (see dxf::ReadLzxControl). Parts that
    // are missing or compressed themselves leave only stored files to read.
    bool CompressionUsable(std::string_view b) const {
        for (const Entry &e : specials_) {
            // A space other than the stored (0) and the compressed (1) one.
            if (e.space > 1) return false;
            if (dxf::iequals(e.path, kResetTable)) {
                const auto t = Stored(b, e);
                if (t && t->size() >= 0x28 && le64(*t, 0x20) != 0x8000) return false;
            } else if (dxf::iequals(e.path, kControlData) && e.space == 0) {
                // Read whole (256 bytes at most) when the other two are there.
                const auto d = Stored(b, e);
                if (!d || d->size() > 256 || !dxf::ReadLzxControl(*d)) return false;
            }
        }
        return true;
    }

    // The decompressed bytes of the leading LZX frames whose compressed
    // bytes (from the reset table) lie inside the content file and the file
    // itself: a topic that needs a frame cut by the file's end is not read.
    uint64_t BackedBytes(std::string_view b) const {
        const Entry *content = Find(kContent), *reset = Find(kResetTable);
        if (!content || !reset) return 0;
        const auto table = Stored(b, *reset);
        if (!table || table->size() < 0x28) return 0;
        const uint64_t have = HeldBytes(b, dataOffset_, *content).size();
        const uint64_t frames = le32(*table, 4), at = le32(*table, 0xC);
        const uint64_t compressed = le64(*table, 0x18);
        uint64_t backed = 0;
        for (uint64_t i = 0; i < frames; ++i) {
            if (at > table->size() || (i + 1) * 8 > table->size() - at) break;
            const uint64_t start = le64(*table, at + i * 8);
            const uint64_t end = i + 1 < frames && (i + 2) * 8 <= table->size() - at
                                     ? le64(*table, at + (i + 1) * 8)
                                 : i + 1 < frames ? UINT64_MAX
                                                  : compressed;
            if (end < start || end > have) break;
            backed = (i + 1) * 0x8000;
        }
        return backed;
    }

    static bool IsLzxPart(std::string_view path) {
        return dxf::iequals(path, kResetTable) || dxf::iequals(path, kControlData) ||
               dxf::iequals(path, kContent);
    }

    const Entry *Find(std::string_view name) const {
        for (const Entry &e : entries_)
            if (dxf::iequals(e.path, name)) return &e;
        return nullptr;
    }

    std::vector<Entry> specials_;  // the LZX parts, in every listing chunk visited
    uint32_t lcid_ = 0;
    uint64_t backed_ = 0;
    uint64_t dataOffset_ = 0;
    uint32_t chunk_ = 0;
    std::string_view chunks_;
    size_t count_ = 0;
    std::vector<Entry> entries_;
};

// `path` (a value of the table of contents) as a path of the archive,
// relative to the directory `base` ends with a slash.
std::string ArchivePath(std::string value, std::string_view base) {
    if (const size_t at = value.find("::"); at != std::string::npos) value.erase(0, at + 2);
    if (const size_t at = value.find('#'); at != std::string::npos) value.resize(at);
    std::replace(value.begin(), value.end(), '\\', '/');
    std::string joined = value.starts_with('/') ? value : std::string(base) + value;
    std::vector<std::string_view> parts;
    std::string_view rest = joined;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
    }
    std::string out;
    for (std::string_view part : parts) (out += '/') += part;
    return out;
}

// The `value` of every `<param name="Local" value="...">` of a sitemap, in
// order.
std::vector<std::string> SitemapLocals(std::string_view html) {
    std::vector<std::string> out;
    const std::string low = dxf::ascii_lowered(html);
    auto attribute = [&](size_t from, size_t end,
                         std::string_view key) -> std::optional<std::string> {
        for (size_t at = low.find(key, from); at < end; at = low.find(key, at + 1)) {
            if (at > 0 &&
                (std::isalnum(static_cast<unsigned char>(low[at - 1])) || low[at - 1] == '-'))
                continue;
            size_t v = at + key.size();
            while (v < end && low[v] == ' ') ++v;
            if (v >= end || low[v] != '=') continue;
            ++v;
            while (v < end && low[v] == ' ') ++v;
            const char quote = v < end && (low[v] == '"' || low[v] == '\'') ? low[v] : 0;
            if (quote) ++v;
            size_t stop = v;
            while (stop < end &&
                   (quote ? low[stop] != quote : low[stop] != ' ' && low[stop] != '>'))
                ++stop;
            return std::string(html.substr(v, stop - v));
        }
        return std::nullopt;
    };
    for (size_t at = low.find("<param"); at != std::string::npos; at = low.find("<param", at + 6)) {
        const size_t end = std::min(low.find('>', at), low.size());
        const auto name = attribute(at + 6, end, "name");
        if (!name || !dxf::iequals(*name, "local")) continue;
        if (auto value = attribute(at + 6, end, "value")) {
            // The one character reference paths carry.
            for (size_t amp = value->find("&amp;"); amp != std::string::npos;
                 amp = value->find("&amp;", amp + 1))
                value->erase(amp + 1, 4);
            out.push_back(std::move(*value));
        }
    }
    return out;
}

bool IsTopic(std::string_view path) {
    return path.size() > 1 && path[0] == '/' && path[1] != '#' && path[1] != '$' &&
           (dxf::iends_with(path, ".htm") || dxf::iends_with(path, ".html"));
}

// The charset to decode a page with (see the file's head); empty when its
// bytes decide.
std::string PageCharset(std::string_view page, const std::string &localeCharset) {
    std::string declared = dxf::InitialCharset(page.substr(0, kHeadBytes), true);
    if (!declared.empty() || localeCharset.empty()) return declared;
    const bool ascii = std::all_of(page.begin(), page.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii && dxf::GuessCharset(page, true, true) == "UTF-8") return "UTF-8";
    return localeCharset;
}

class ChmDocument {
  public:
    explicit ChmDocument(const DXMLimits &limits) : limits_(limits) {}

    // Walks the directory of `bytes` (kept), orders the topics and reads
    // the first. False for a file that cannot be read.
    bool Open(std::string bytes) {
        bytes_ = std::move(bytes);
        Directory dir;
        if (!dir.Read(bytes_)) return false;
        entries_ = dir.entries();
        backed_ = dir.backed();
        dataOffset_ = dir.dataOffset();
        lzx_ = dir.Section(bytes_);
        std::unordered_map<std::string, size_t> byPath;
        for (size_t i = 0; i < entries_.size(); ++i)
            byPath.emplace(dxf::ascii_lowered(entries_[i].path), i);

        // The locale and the table of contents `#SYSTEM` names.
        uint32_t lcid = dir.lcid();
        std::string tocName;
        if (const auto it = byPath.find("/#system"); it != byPath.end()) {
            std::string system;
            if (Retrieve(entries_[it->second], kMaxTocBytes, system))
                ReadSystem(system, lcid, tocName);
        }
        localeCharset_ = dxf::CodePageCharset(dxf::LocaleCodePage(lcid));
        const Entry *toc = nullptr;
        if (!tocName.empty())
            if (const auto it = byPath.find(dxf::ascii_lowered(ArchivePath(tocName, "/")));
                it != byPath.end())
                toc = &entries_[it->second];
        for (size_t i = 0; !toc && i < entries_.size(); ++i)
            if (dxf::iends_with(entries_[i].path, ".hhc") && entries_[i].path.starts_with('/'))
                toc = &entries_[i];

        std::vector<bool> taken(entries_.size());
        std::string sitemap;
        if (toc && Retrieve(*toc, kMaxTocBytes, sitemap)) {
            const std::string base = toc->path.substr(0, toc->path.rfind('/') + 1);
            for (const std::string &local : SitemapLocals(sitemap)) {
                const auto it = byPath.find(dxf::ascii_lowered(ArchivePath(local, base)));
                if (it == byPath.end() || taken[it->second] || !IsTopic(entries_[it->second].path))
                    continue;
                taken[it->second] = true;
                order_.push_back(it->second);
            }
        }
        for (size_t i = 0; i < entries_.size(); ++i)
            if (!taken[i] && IsTopic(entries_[i].path)) order_.push_back(i);
        if (order_.size() > limits_.maxParts && limits_.maxParts) order_.resize(limits_.maxParts);
        // The first topic is read here, so that a file whose first topic
        // cannot be read is refused rather than empty.
        return order_.empty() || Retrieve(entries_[order_[0]], TopicCap(), first_);
    }

    // The text of the next topic: 1 when more follow, 0 at the end. A later
    // topic that cannot be read, or the document's time or bytes running
    // out, ends the text after the topics before it.
    int Step(DXMSink *sink) {
        if (next_ >= order_.size()) return 0;
        std::string page = std::move(first_);
        first_.clear();
        if (next_ > 0 && !Retrieve(entries_[order_[next_]], TopicCap(), page)) {
            next_ = order_.size();
            return 0;
        }
        ++next_;
        const std::string utf8 = dxf::DecodeText(page, PageCharset(page, localeCharset_), true);
        page.clear();
        dxf::MarkupStripper stripper(true);
        const bool full = !stripper.Feed(utf8, sink);
        sink->brk(sink->self);
        return !full && next_ < order_.size() ? 1 : 0;
    }

  private:
    uint64_t TopicCap() const {
        uint64_t cap = std::min<uint64_t>(kMaxTopicBytes, limits_.maxPartBytes);
        return std::min(cap, limits_.maxTotalBytes - std::min(read_, limits_.maxTotalBytes));
    }

    // The bytes of `e`, at most `cap` of them, into `out`; false when they
    // cannot be read whole (damaged, cut, past the deadline).
    bool Retrieve(const Entry &e, uint64_t cap, std::string &out) {
        out.clear();
        const uint64_t want = std::min(e.length, cap);
        if (e.space > 1 || e.path.size() > kMaxPath ||
            (e.space == 1 && (lzxFailed_ || e.start > backed_ || want > backed_ - e.start)))
            return false;
        if (want == 0) return true;
        if (DXM_CpuNs() > limits_.deadlineNs) return false;
        if (e.space == 0) {
            const std::string_view held = HeldBytes(bytes_, dataOffset_, e);
            if (held.size() < want) return false;
            out.assign(held.substr(0, want));
            read_ += want;
            return true;
        }
        const bool whole = lzx_ && lzx_->Read(e.start, want, out,
                                              [this] { return DXM_CpuNs() <= limits_.deadlineNs; });
        read_ += out.size();
        // Nothing compressed is read after a failure.
        if (!whole) lzxFailed_ = true;
        return whole;
    }

    // The locale (code 4) and the table of contents' name (code 0) of the
    // `#SYSTEM` file: a version, then records of a code, a length and data.
    static void ReadSystem(std::string_view s, uint32_t &lcid, std::string &toc) {
        for (size_t at = 4; at + 4 <= s.size();) {
            const uint16_t code = static_cast<uint16_t>(le32(s, at) & 0xFFFF);
            const uint16_t length = static_cast<uint16_t>(le32(s, at) >> 16);
            at += 4;
            if (length > s.size() - at) break;
            const std::string_view data = s.substr(at, length);
            if (code == 4 && length >= 4 && le32(data, 0) != 0) lcid = le32(data, 0);
            if (code == 0) toc = std::string(data.substr(0, data.find('\0')));
            at += length;
        }
    }

    DXMLimits limits_;
    std::string bytes_;  // the file
    std::optional<dxf::LzxSection> lzx_;
    uint64_t dataOffset_ = 0;
    std::vector<Entry> entries_;
    std::vector<size_t> order_;  // topics, as indices of entries_, in reading order
    std::string localeCharset_;
    std::string first_;  // the first topic's bytes, read on opening
    size_t next_ = 0;
    uint64_t read_ = 0;    // decompressed bytes read
    uint64_t backed_ = 0;  // see Directory::backed
    bool lzxFailed_ = false;
};

DXMExtractor *chm_open_document(DXStream *stream, int64_t size, int format,
                                const DXMLimits *limits) {
    if (!stream || !limits || format != DX_FMT_CHM || size <= 0 ||
        static_cast<uint64_t>(size) > limits->maxPartBytes)
        return nullptr;
    try {
        std::string bytes;
        if (!dxf::ReadWholeStream(stream, size, bytes)) return nullptr;
        auto doc = std::make_unique<ChmDocument>(*limits);
        if (!doc->Open(std::move(bytes))) return nullptr;
        return reinterpret_cast<DXMExtractor *>(doc.release());
    } catch (...) {
        return nullptr;
    }
}

int chm_step(DXMExtractor *extractor, DXMSink *sink) {
    try {
        return reinterpret_cast<ChmDocument *>(extractor)->Step(sink);
    } catch (...) {
        return -1;
    }
}

void chm_close_document(DXMExtractor *extractor) {
    delete reinterpret_cast<ChmDocument *>(extractor);
}

constexpr DXModule kModule = {DXM_ABI_VERSION,   nullptr,  nullptr,
                              chm_open_document, chm_step, chm_close_document};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DXModule *DXM_GetModule(void) {
    return &kModule;
}
