// iwa.cpp - iWork `.iwa` parts: chunks, archive objects, their text (see iwa.h).
#include "filters/dxfilter/iwa.h"

#include <algorithm>
#include <set>

#include "filters/dxfilter/snappy.h"

namespace dxf::iwa {
namespace {

// Message types and field numbers the text is read from.
constexpr uint32_t kShow = 2, kSlideNode = 4, kSlide = 5, kOldSlide = 6;
constexpr uint32_t kStorage = 2001, kDataList = 6005;
constexpr uint32_t kStorageKind = 1, kStorageText = 3;
constexpr uint32_t kListType = 1, kListEntries = 3, kEntryString = 3;
constexpr uint64_t kStringList = 1;
constexpr uint32_t kShowTree = 3, kTreeRoot = 1, kTreeSlides = 2;
constexpr uint32_t kNodeChildren = 1, kNodeSlide = 2, kReferenceId = 1;
constexpr uint32_t kHeaderId = 1, kHeaderMessage = 2, kInfoType = 1, kInfoLength = 3;

// A storage's kind (field 1; a text box when absent) and its place in the
// reading order; -1 leaves it out.
constexpr uint64_t kTextBoxKind = 3;
constexpr int kKindRank[] = {
    0,   // body
    1,   // header or footer
    2,   // footnote
    3,   // text box, shape
    5,   // presenter notes, comment
    4,   // table cell
    3,   // unclassified
    -1,  // table of contents
};
constexpr int kCellRank = 4, kOtherKindRank = 3;

constexpr size_t kMaxNodes = 1u << 16;  // Keynote slide nodes and slides kept
constexpr size_t kChunkHeader = 4;

// The identifier of a reference (a message whose field 1 it is); 0 if none.
uint64_t ReferenceId(std::string_view reference) {
    ProtoReader r(reference);
    uint64_t id = 0;
    for (Field f; r.Next(f);)
        if (f.number == kReferenceId && f.wire == kVarint) id = f.value;
    return id;
}

// Line breaks and other controls of a storage's text become line feeds;
// the marks of attachments and footnotes (U+FFFC, controls without a line)
// go.
void AppendText(std::string_view text, std::string &out) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 0xE2 && i + 2 < text.size() && text[i + 1] == '\x80' &&
            (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
            out += '\n';  // U+2028, U+2029
            i += 2;
        } else if (c == 0xEF && i + 2 < text.size() && text[i + 1] == '\xBF' &&
                   text[i + 2] == '\xBC') {
            i += 2;  // U+FFFC
        } else if (c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == 4 || c == 5) {
            out += '\n';  // 4: page or section break, 5: column break
        } else if (c >= 0x20 || c == '\t') {
            out += static_cast<char>(c);
        }
    }
}

}  // namespace

bool ReadVarint(std::string_view in, size_t &at, uint64_t &value) {
    value = 0;
    for (unsigned shift = 0; shift < 64; shift += 7) {
        if (at >= in.size()) return false;
        const auto byte = static_cast<unsigned char>(in[at++]);
        value |= uint64_t{byte & 0x7Fu} << shift;
        if (!(byte & 0x80)) return shift < 63 || byte <= 1;
    }
    return false;
}

bool ProtoReader::Next(Field &field) {
    if (damaged_ || at_ >= in_.size()) return false;
    uint64_t key = 0;
    damaged_ = true;
    if (!ReadVarint(in_, at_, key) || key >> 3 == 0 || key >> 3 > UINT32_MAX) return false;
    field.number = static_cast<uint32_t>(key >> 3);
    field.value = 0;
    field.bytes = {};
    switch (key & 7) {
        case kVarint:
            if (!ReadVarint(in_, at_, field.value)) return false;
            break;
        case kFixed64:
        case kFixed32: {
            const size_t n = (key & 7) == kFixed64 ? 8 : 4;
            if (in_.size() - at_ < n) return false;
            for (size_t i = 0; i < n; ++i)
                field.value |= uint64_t{static_cast<unsigned char>(in_[at_ + i])} << (8 * i);
            at_ += n;
            break;
        }
        case kBytes: {
            uint64_t length = 0;
            if (!ReadVarint(in_, at_, length) || length > in_.size() - at_) return false;
            field.bytes = in_.substr(at_, length);
            at_ += length;
            break;
        }
        default:  // groups, and wire types that do not exist
            return false;
    }
    field.wire = static_cast<WireType>(key & 7);
    damaged_ = false;
    return true;
}

bool UnpackPart(std::string_view part, size_t maxBytes, std::string &out,
                const std::function<bool()> &goOn) {
    const size_t start = out.size();
    for (size_t at = 0; at < part.size();) {
        if (!goOn() || part.size() - at < kChunkHeader || part[at] != 0) return false;
        const size_t length = static_cast<unsigned char>(part[at + 1]) |
                              static_cast<size_t>(static_cast<unsigned char>(part[at + 2])) << 8 |
                              static_cast<size_t>(static_cast<unsigned char>(part[at + 3])) << 16;
        at += kChunkHeader;
        if (length > part.size() - at ||
            !SnappyDecode(part.substr(at, length), maxBytes - (out.size() - start), out))
            return false;
        at += length;
    }
    return true;
}

bool ForEachMessage(std::string_view stream, const std::function<bool(const Message &)> &visit) {
    for (size_t at = 0; at < stream.size();) {
        uint64_t length = 0;
        if (!ReadVarint(stream, at, length) || length > stream.size() - at) return false;
        ProtoReader header(stream.substr(at, length));
        at += length;
        Message message;
        std::vector<std::pair<uint32_t, uint64_t>> infos;  // type, length
        for (Field f; header.Next(f);) {
            if (f.number == kHeaderId && f.wire == kVarint) message.object = f.value;
            if (f.number != kHeaderMessage || f.wire != kBytes) continue;
            ProtoReader info(f.bytes);
            uint64_t type = 0, size = 0;
            for (Field g; info.Next(g);) {
                if (g.number == kInfoType && g.wire == kVarint) type = g.value;
                if (g.number == kInfoLength && g.wire == kVarint) size = g.value;
            }
            if (info.damaged() || type > UINT32_MAX) return false;
            infos.emplace_back(static_cast<uint32_t>(type), size);
        }
        if (header.damaged()) return false;
        for (const auto &[type, size] : infos) {
            if (size > stream.size() - at) return false;
            message.type = type;
            message.payload = stream.substr(at, size);
            at += size;
            if (!visit(message)) return false;
        }
    }
    return true;
}

void Text::Add(size_t part, int rank, std::string_view text, bool cell) {
    if (rank < 0 || !room()) return;
    Piece piece{{}, cell};
    AppendText(text.substr(0, max_ - held_), piece.text);
    if (piece.text.find_first_not_of(" \t\n") == std::string::npos) return;
    held_ += piece.text.size();
    held_pieces_.push_back({part, held_pieces_.size(), rank, std::move(piece)});
}

void Text::AddMessage(size_t part, const Message &message) {
    ProtoReader r(message.payload);
    Field f;
    switch (message.type) {
        case kStorage: {
            uint64_t kind = kTextBoxKind;
            std::vector<std::string_view> texts;
            while (r.Next(f)) {
                if (f.number == kStorageKind && f.wire == kVarint) kind = f.value;
                if (f.number == kStorageText && f.wire == kBytes) texts.push_back(f.bytes);
            }
            const int rank = kind < std::size(kKindRank) ? kKindRank[kind] : kOtherKindRank;
            for (std::string_view text : texts) Add(part, rank, text, false);
            break;
        }
        case kDataList: {
            uint64_t type = 0;
            std::vector<std::string_view> entries;
            while (r.Next(f)) {
                if (f.number == kListType && f.wire == kVarint) type = f.value;
                if (f.number == kListEntries && f.wire == kBytes) entries.push_back(f.bytes);
            }
            if (type != kStringList) break;
            for (std::string_view entry : entries) {
                ProtoReader e(entry);
                for (Field g; e.Next(g);)
                    if (g.number == kEntryString && g.wire == kBytes)
                        Add(part, kCellRank, g.bytes, true);
            }
            break;
        }
        default:
            break;
    }
    if (!presentation_ || nodes_.size() + slide_parts_.size() >= kMaxNodes) return;
    switch (message.type) {
        case kShow:
            while (r.Next(f)) {
                if (f.number != kShowTree || f.wire != kBytes) continue;
                ProtoReader tree(f.bytes);
                for (Field g; tree.Next(g);)
                    if ((g.number == kTreeRoot || g.number == kTreeSlides) && g.wire == kBytes &&
                        top_.size() < kMaxNodes)
                        top_.push_back(ReferenceId(g.bytes));
            }
            break;
        case kSlideNode: {
            Node &node = nodes_[message.object];
            while (r.Next(f)) {
                if (f.wire != kBytes) continue;
                if (f.number == kNodeChildren && node.children.size() < kMaxNodes)
                    node.children.push_back(ReferenceId(f.bytes));
                if (f.number == kNodeSlide) node.slide = ReferenceId(f.bytes);
            }
            break;
        }
        case kSlide:
        case kOldSlide:
            slide_parts_.emplace(message.object, part);
            break;
        default:
            break;
    }
}

void Text::AddPart(size_t part, std::string_view stream, const std::function<bool()> &goOn) {
    const bool whole = ForEachMessage(stream, [&](const Message &message) {
        // The clock is asked every 256 messages.
        if (++messages_ % 256 == 0 && !goOn()) return false;
        AddMessage(part, message);
        return room();
    });
    damaged_ = damaged_ || (!whole && room());
}

std::vector<const Text::Piece *> Text::Ordered() const {
    // A presentation's parts by the order of their slides in the show: the
    // slide nodes in pre-order, each once.
    std::map<size_t, size_t> partRank;
    std::set<uint64_t> seen;
    std::vector<uint64_t> pending(top_.rbegin(), top_.rend());
    while (!pending.empty()) {
        const uint64_t id = pending.back();
        pending.pop_back();
        const auto node = nodes_.find(id);
        if (node == nodes_.end() || !seen.insert(id).second) continue;
        if (const auto slide = slide_parts_.find(node->second.slide); slide != slide_parts_.end())
            partRank.emplace(slide->second, partRank.size());
        pending.insert(pending.end(), node->second.children.rbegin(), node->second.children.rend());
    }
    std::vector<const Held *> order;
    for (const Held &h : held_pieces_) order.push_back(&h);
    auto rankOf = [&](const Held *h) {
        const auto r = partRank.find(h->part);
        return r == partRank.end() ? partRank.size() : r->second;
    };
    std::stable_sort(order.begin(), order.end(), [&](const Held *a, const Held *b) {
        const size_t ra = rankOf(a), rb = rankOf(b);
        if (ra != rb) return ra < rb;
        if (a->rank != b->rank) return a->rank < b->rank;
        return a->part != b->part ? a->part < b->part : a->order < b->order;
    });
    std::vector<const Piece *> pieces;
    for (const Held *h : order) pieces.push_back(&h->piece);
    return pieces;
}

}  // namespace dxf::iwa
