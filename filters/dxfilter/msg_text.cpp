// msg_text.cpp - Outlook message files: the message's property streams at
// the root of the compound file (read whole from memory by the compound file
// reader), code pages, and compressed RTF bodies.
#include "filters/dxfilter/msg_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>

#include "filters/dxfilter/bytes.h"
#include "filters/dxfilter/cfb_reader.h"
#include "filters/dxfilter/compress_text.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/rtf_reader.h"
#include "filters/dxfilter/utf8.h"

namespace dxf {
namespace {

constexpr size_t kMaxEntries = 1u << 16;  // directory entries read

uint32_t le32(std::string_view s, size_t at) {
    return dxf::le32(reinterpret_cast<const unsigned char *>(s.data() + at));
}

// The name of the stream of property `id` of `type`.
std::string stream_name(uint16_t id, uint16_t type) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string name = "__SUBSTG1.0_";
    for (int shift = 28; shift >= 0; shift -= 4)
        name += kHex[((uint32_t{id} << 16 | type) >> shift) & 0xF];
    return name;
}

// The message's compound file, read whole from memory: its streams at the
// root of the directory, by name (upper case ASCII; other names are not
// kept).
class MessageFile final : public MessageProperties {
  public:
    bool Open(std::string_view file) {
        const unsigned char *root = file_.OpenRoot(file, kMaxEntries);
        if (!root) return false;
        const bool walked = file_.Walk(
            CompoundFile::Info(root).child, kMaxEntries, [&](uint32_t, const unsigned char *entry) {
                std::string name = CompoundFile::StreamName(entry);
                if (!name.empty()) streams_[std::move(name)] = CompoundFile::Info(entry);
            });
        if (!walked) return false;
        // Without small streams there is no mini stream to read.
        const uint32_t cutoff = file_.MiniCutoff();
        const bool needed = std::any_of(streams_.begin(), streams_.end(),
                                        [&](const auto &s) { return s.second.size < cutoff; });
        return !needed || file_.LoadMiniStream();
    }

    // The stream `name` (upper case) at the root, at most `cap` bytes; null
    // when there is none or its chain is broken.
    std::optional<std::string> Stream(const std::string &name, size_t cap) const {
        const auto it = streams_.find(name);
        if (it == streams_.end()) return std::nullopt;
        return file_.Read(it->second.start, it->second.size, cap);
    }

    std::optional<std::string> Value(uint16_t id, uint16_t type, size_t cap) const override {
        return Stream(stream_name(id, type), cap);
    }

  private:
    CompoundFile file_;
    std::map<std::string, CompoundFile::EntryInfo> streams_;
};

constexpr std::string_view kPropertyTable = "__PROPERTIES_VERSION1.0";
constexpr size_t kTopHeaderBytes = 32;  // before the rows of the message's table
constexpr size_t kRowBytes = 16;
// A conversation index longer than its 22-byte header holds a block per
// reply: the message answers another.
constexpr size_t kConversationHeaderBytes = 22;

// Drops the terminating zero characters writers leave in string streams.
std::string_view without_zeros(std::string_view s, size_t unit) {
    while (s.size() >= unit &&
           s.substr(s.size() - unit).find_first_not_of('\0') == std::string_view::npos)
        s.remove_suffix(unit);
    return s;
}

// The charset of a message's 8-bit strings: the first of `codePages` ICU
// knows, else windows-1252.
std::string code_page_charset(std::initializer_list<uint32_t> codePages) {
    for (uint32_t cp : codePages)
        if (std::string name = CodePageCharset(cp); !name.empty()) return name;
    return "windows-1252";
}

// The charset of the 8-bit strings of the message whose property table is
// `file`'s; null when it has no table.
std::optional<std::string> table_charset(const MessageFile &file) {
    const auto table = file.Stream(std::string(kPropertyTable), kMaxMsgStream);
    if (!table) return std::nullopt;
    uint32_t internet = 0, message = 0;
    for (size_t at = kTopHeaderBytes; at + kRowBytes <= table->size(); at += kRowBytes) {
        const uint32_t tag = le32(*table, at);
        if ((tag & 0xFFFF) != kTypeLong) continue;
        if (tag >> 16 == kInternetCodePage) internet = le32(*table, at + 8);
        if (tag >> 16 == kMessageCodePage) message = le32(*table, at + 8);
    }
    return code_page_charset({internet, message});
}

class MessageReader {
  public:
    MessageReader(const MessageProperties &file, std::string codePage, const MailBounds &bounds)
        : file_(file), bounds_(bounds), codePage_(std::move(codePage)) {}

    // A string property as UTF-8 (empty when it is not there), at most
    // `room` bytes of it read.
    std::optional<std::string> String(uint16_t id, bool markup) const {
        const size_t room = Room();
        if (auto s = file_.Value(id, kTypeUnicode, std::min(room * 2, kMaxMsgStream)))
            return utf16_to_utf8(without_zeros(*s, 2), false);
        if (auto s = file_.Value(id, kType8Bit, std::min(room, kMaxMsgStream)))
            return DecodeText(without_zeros(*s, 1), codePage_, markup);
        return std::nullopt;
    }

    std::vector<MailPiece> Read(bool subject) {
        std::vector<MailPiece> out;
        if (auto s = subject ? String(kSubject, false) : std::nullopt)
            Add(out, std::move(*s), false);
        if (DXM_CpuNs() > bounds_.deadlineNs) return out;
        if (auto body = String(kBody, false); body && !trim_blank(*body).empty()) {
            Add(out, DropQuotedLines(*body), false);
            return out;
        }
        if (auto html = String(kBodyHtml, true); html && !trim_blank(*html).empty()) {
            Add(out, DropQuotedHtml(*html, Reply()), true);
            return out;
        }
        // HTML kept as bytes: in the charset its head declares, else the
        // message's code page.
        if (auto html = file_.Value(kBodyHtml, kTypeBinary, std::min(Room() * 4, kMaxMsgStream))) {
            std::string charset = InitialCharset(*html, true);
            if (charset.empty()) charset = codePage_;
            Add(out, DropQuotedHtml(DecodeText(without_zeros(*html, 1), charset, true), Reply()),
                true);
            return out;
        }
        if (auto rtf = file_.Value(kRtfCompressed, kTypeBinary, kMaxMsgStream)) {
            if (auto plain = DecompressRtfBody(*rtf, std::min(kMaxMsgRtf, Room() * 8))) {
                if (trim_blank(*plain).empty()) return out;
                RtfPiece(std::move(*plain), out);
            }
        }
        return out;
    }

  private:
    // The piece of an RTF body. When it quotes, what it keeps without the
    // quote: the HTML it encapsulates as DropQuotedHtml leaves it, else its
    // text as DropQuotedLines leaves it. When nothing goes, the text read
    // for that (the body is read once), unless it was cut or is the HTML the
    // body encapsulates; else, or when the body cannot be read so, the RTF.
    void RtfPiece(std::string rtf, std::vector<MailPiece> &out) {
        const RtfSource source = RtfBodySource(rtf);
        bool cut = false;
        auto text =
            RtfToUtf8(rtf, source, std::min(kMaxMsgRtf, Room() * 4), bounds_.deadlineNs, &cut);
        const bool html = source == RtfSource::kHtml;
        if (text) {
            std::string kept = html ? DropQuotedHtml(*text, Reply()) : DropQuotedLines(*text);
            if (kept.size() != text->size()) {
                Add(out, std::move(kept), html);
                return;
            }
        }
        MailPiece piece;
        if (text && !html && !cut) {
            piece.utf8 = std::move(*text);
            piece.rtfText = true;
        } else {
            piece.utf8 = std::move(rtf);
            piece.rtf = true;
        }
        out.push_back(std::move(piece));
    }

    // Whether the message answers another: it names the message it replies
    // to, or its conversation index holds a reply.
    bool Reply() const {
        constexpr size_t kCap = 4096;
        if (auto id = file_.Value(kInReplyTo, kTypeUnicode, kCap);
            id && !without_zeros(*id, 2).empty())
            return true;
        if (auto id = file_.Value(kInReplyTo, kType8Bit, kCap);
            id && !without_zeros(*id, 1).empty())
            return true;
        const auto index = file_.Value(kConversationIndex, kTypeBinary, kCap);
        return index && index->size() > kConversationHeaderBytes;
    }

    static std::string_view trim_blank(std::string_view s) {
        const size_t first = s.find_first_not_of(" \t\r\n");
        return first == std::string_view::npos ? std::string_view{} : s.substr(first);
    }

    size_t Room() const { return bounds_.maxText - std::min(text_, bounds_.maxText) + 16; }

    void Add(std::vector<MailPiece> &out, std::string text, bool html) {
        if (trim_blank(text).empty()) return;
        text_ += text.size();
        out.push_back({std::move(text), html});
    }

    const MessageProperties &file_;
    const MailBounds &bounds_;
    std::string codePage_;
    size_t text_ = 0;
};

// The dictionary every compressed RTF body starts from.
constexpr std::string_view kRtfPreset =
    "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern "
    "\\fscript \\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0"
    "\\blue0\r\n\\par \\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
constexpr uint32_t kCompressed = 0x75465A4C;    // "LZFu"
constexpr uint32_t kUncompressed = 0x414C454D;  // "MELA"
constexpr size_t kRtfHeaderBytes = 16;

}  // namespace

std::optional<std::string> DecompressRtfBody(std::string_view body, size_t cap) {
    if (body.size() < kRtfHeaderBytes) return std::nullopt;
    const uint32_t compressedSize = le32(body, 0);  // the bytes after this field
    const uint32_t rawSize = le32(body, 4);
    const uint32_t kind = le32(body, 8);
    const std::string_view data =
        body.substr(kRtfHeaderBytes, std::min<uint64_t>(compressedSize, body.size()) -
                                         std::min<uint64_t>(compressedSize, 12));
    const size_t want = std::min<size_t>(rawSize, cap);
    if (kind == kUncompressed) return std::string(data.substr(0, want));
    if (kind != kCompressed) return std::nullopt;
    std::array<char, 4096> dict{};
    std::copy(kRtfPreset.begin(), kRtfPreset.end(), dict.begin());
    size_t write = kRtfPreset.size();
    std::string out;
    size_t at = 0;
    while (at < data.size() && out.size() < want) {
        const unsigned flags = static_cast<unsigned char>(data[at++]);
        for (int bit = 0; bit < 8 && at < data.size() && out.size() < want; ++bit) {
            if (!(flags & (1u << bit))) {
                const char c = data[at++];
                out += c;
                dict[write] = c;
                write = (write + 1) % dict.size();
                continue;
            }
            if (at + 2 > data.size()) return out;
            const unsigned ref = static_cast<unsigned char>(data[at]) << 8 |
                                 static_cast<unsigned char>(data[at + 1]);
            at += 2;
            const size_t offset = ref >> 4;
            const size_t length = (ref & 0xF) + 2;
            if (offset == write) return out;  // the end marker
            for (size_t i = 0; i < length && out.size() < want; ++i) {
                const char c = dict[(offset + i) % dict.size()];
                out += c;
                dict[write] = c;
                write = (write + 1) % dict.size();
            }
        }
    }
    return out;
}

std::optional<std::vector<MailPiece>> ReadOutlookMessage(std::string_view file,
                                                         const MailBounds &bounds) {
    MessageFile cfb;
    if (!cfb.Open(file)) return std::nullopt;
    auto charset = table_charset(cfb);
    if (!charset) return std::nullopt;
    return MessageReader(cfb, std::move(*charset), bounds).Read(true);
}

std::vector<MailPiece> ReadMessageProperties(const MessageProperties &properties,
                                             std::initializer_list<uint32_t> codePages,
                                             const MailBounds &bounds, bool subject) {
    return MessageReader(properties, code_page_charset(codePages), bounds).Read(subject);
}

}  // namespace dxf
