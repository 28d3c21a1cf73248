// tnef_text.cpp - TNEF streams: their attributes, the MAPI property block
// of the message (named properties, multiple values, padding), and the
// message's text through the body choice of Outlook message files.
#include "filters/dxfilter/tnef_text.h"

#include <algorithm>
#include <map>
#include <string>

#include "filters/dxfilter/bytes.h"
#include "filters/dxfilter/msg_text.h"

namespace dxf {
namespace {

constexpr uint32_t kSignature = 0x223E9F78;
constexpr size_t kStreamHeadBytes = 6;     // signature and key
constexpr size_t kAttributeHeadBytes = 9;  // level, id, length
constexpr size_t kChecksumBytes = 2;
constexpr uint8_t kMessageLevel = 1;

// Attributes of the message.
constexpr uint32_t kSubjectAttribute = 0x00018004;
constexpr uint32_t kBodyAttribute = 0x0002800C;
constexpr uint32_t kPropertiesAttribute = 0x00069003;
constexpr uint32_t kCodePageAttribute = 0x00069007;

constexpr uint16_t kMultiValued = 0x1000;
constexpr uint16_t kFirstNamed = 0x8000;  // ids from here on name a property by GUID
constexpr size_t kGuidBytes = 16;
constexpr size_t kVariable = 0;  // a counted value, padded to four bytes
// Properties the text is chosen by; no other is kept.
constexpr uint16_t kKept[] = {kSubject,          kConversationIndex, kBody,
                              kRtfCompressed,    kBodyHtml,          kInReplyTo,
                              kInternetCodePage, kMessageCodePage};

// The bytes of a value of `type` in the block (variable-length values are
// counted); null for a type whose values cannot be framed.
std::optional<size_t> value_bytes(uint16_t type) {
    switch (type) {
        case 0x0001:  // null
        case 0x0002:  // 16-bit integer, padded
        case 0x0003:  // 32-bit integer
        case 0x0004:  // float
        case 0x000A:  // error code
        case 0x000B:  // boolean, padded
            return 4;
        case 0x0005:  // double
        case 0x0006:  // currency
        case 0x0007:  // application time
        case 0x0014:  // 64-bit integer
        case 0x0040:  // file time
            return 8;
        case 0x0048:  // GUID
            return kGuidBytes;
        case kType8Bit:
        case kTypeUnicode:
        case kTypeBinary:
        case 0x000D:  // object: its interface GUID, then its bytes
            return kVariable;
        default:
            return std::nullopt;
    }
}

// Reads little-endian fields off a block; a read past its end gives what
// is there and stops the reading.
class Cursor {
  public:
    explicit Cursor(std::string_view bytes) : bytes_(bytes) {}

    bool ok() const { return ok_; }

    std::string_view Take(uint64_t count) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count, bytes_.size() - at_));
        ok_ = ok_ && n == count;
        const std::string_view out = bytes_.substr(at_, n);
        at_ += n;
        return out;
    }

    uint32_t U32() {
        const std::string_view b = Take(4);
        return b.size() == 4 ? le32(reinterpret_cast<const unsigned char *>(b.data())) : 0;
    }

    void Pad() { Take((4 - at_ % 4) % 4); }

  private:
    std::string_view bytes_;
    size_t at_ = 0;
    bool ok_ = true;
};

// The message's properties from its property block, with its subject and
// body attributes standing in for the 8-bit subject and body.
class TnefProperties final : public MessageProperties {
  public:
    std::optional<std::string> Value(uint16_t id, uint16_t type, size_t cap) const override {
        if (const auto it = values_.find(uint32_t{id} << 16 | type); it != values_.end())
            return std::string(it->second.substr(0, cap));
        if (type == kType8Bit && id == kSubject && subject_)
            return std::string(subject_->substr(0, cap));
        if (type == kType8Bit && id == kBody && body_) return std::string(body_->substr(0, cap));
        return std::nullopt;
    }

    uint32_t Long(uint16_t id) const {
        const auto it = values_.find(uint32_t{id} << 16 | kTypeLong);
        return it == values_.end() || it->second.size() < 4
                   ? 0
                   : le32(reinterpret_cast<const unsigned char *>(it->second.data()));
    }

    // Reads a property block: a count, then per property its tag (type in
    // the low word), for a named one its GUID and either a number or a
    // counted UTF-16 name, then its value, or for a multi-valued or
    // variable-length type a count of values. Only the first block counts;
    // a property the block cannot frame ends it.
    void Block(std::string_view block) {
        if (read_) return;
        read_ = true;
        Cursor c(block);
        const uint32_t count = c.U32();
        for (uint32_t i = 0; i < count && c.ok(); ++i) {
            const uint32_t tag = c.U32();
            const uint16_t type = tag & 0xFFFF, id = tag >> 16;
            if (id >= kFirstNamed) {
                c.Take(kGuidBytes);
                const uint32_t kind = c.U32();
                if (kind > 1) return;
                if (kind == 0) {
                    c.U32();
                } else {
                    c.Take(c.U32());
                    c.Pad();
                }
            }
            const bool multi = type & kMultiValued;
            const auto size = value_bytes(type & ~kMultiValued);
            if (!size) return;
            const uint32_t values = multi || *size == kVariable ? c.U32() : 1;
            std::string_view first;
            for (uint32_t v = 0; v < values && c.ok(); ++v) {
                const std::string_view value = c.Take(*size == kVariable ? c.U32() : *size);
                c.Pad();
                if (v == 0) first = value;
            }
            if (!multi && values > 0 &&
                std::find(std::begin(kKept), std::end(kKept), id) != std::end(kKept))
                values_.emplace(tag, first);
        }
    }

    std::optional<std::string_view> subject_, body_;

  private:
    std::map<uint32_t, std::string_view> values_;
    bool read_ = false;
};

}  // namespace

bool IsTnef(std::string_view bytes) {
    return bytes.size() >= kStreamHeadBytes &&
           le32(reinterpret_cast<const unsigned char *>(bytes.data())) == kSignature;
}

std::optional<std::vector<MailPiece>> ReadTnef(std::string_view bytes, const MailBounds &bounds,
                                               bool subject) {
    if (!IsTnef(bytes)) return std::nullopt;
    TnefProperties props;
    uint32_t codePage = 0;
    for (size_t at = kStreamHeadBytes; at + kAttributeHeadBytes <= bytes.size();) {
        const auto *head = reinterpret_cast<const unsigned char *>(bytes.data() + at);
        const uint8_t level = head[0];
        const uint32_t id = le32(head + 1);
        const size_t start = at + kAttributeHeadBytes;
        const std::string_view data = bytes.substr(start, le32(head + 5));
        at = start + data.size() + kChecksumBytes;
        if (level != kMessageLevel) continue;
        if (id == kSubjectAttribute && !props.subject_) props.subject_ = data;
        if (id == kBodyAttribute && !props.body_) props.body_ = data;
        if (id == kPropertiesAttribute) props.Block(data);
        if (id == kCodePageAttribute && data.size() >= 4 && !codePage)
            codePage = le32(reinterpret_cast<const unsigned char *>(data.data()));
    }
    return ReadMessageProperties(
        props, {codePage, props.Long(kInternetCodePage), props.Long(kMessageCodePage)}, bounds,
        subject);
}

}  // namespace dxf
