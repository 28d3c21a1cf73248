// plist.cpp - the binary and XML property list readers (see plist.h).
//
// The binary form: the magic `bplist00`, the objects, the offset table (one
// big-endian offset per object, of the trailer's offset size) and a trailer of
// 32 bytes: six unused bytes, the offset size and the reference size (1 to 8
// bytes each), the number of objects, the top object and where the offset
// table starts (big-endian 64-bit each). An object opens with a marker byte:
// its type in the high nibble, in the low one a size or a count (15: the count
// follows as an integer object).
#include "filters/dxfilter/plist.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/mail_text.h"
#include "filters/dxfilter/utf8.h"
#include "filters/dxfilter/xml_push.h"

namespace dxf {

const PropertyList::Value *PropertyList::Find(const Value &dict, std::string_view key) const {
    if (dict.kind != Kind::kDict) return nullptr;
    for (uint32_t i = 0; i < dict.count; ++i) {
        const Value &k = values_[items_[dict.first + 2 * i]];
        if (k.kind == Kind::kString && k.bytes == key)
            return &values_[items_[dict.first + 2 * i + 1]];
    }
    return nullptr;
}

namespace {

constexpr size_t kTrailerBytes = 32;
constexpr uint32_t kUnvisited = UINT32_MAX;

// An unsigned big-endian integer of 1 to 8 bytes.
uint64_t be_uint(const unsigned char *p, size_t n) {
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v = v << 8 | p[i];
    return v;
}

}  // namespace

// Reads the objects the top object of a binary list reaches, depth first with
// a stack of its own, each object once.
class BinaryPlistReader {
  public:
    BinaryPlistReader(PropertyList &list, std::string_view bytes, const PlistBounds &bounds)
        : list_(list),
          b_(reinterpret_cast<const unsigned char *>(bytes.data())),
          size_(bytes.size()),
          bounds_(bounds) {}

    bool Read(std::string &error) {
        if (!Trailer(error)) return false;
        index_.assign(count_, kUnvisited);
        open_.assign(count_, false);
        if (!Visit(top_, error)) return false;
        for (uint64_t steps = 1; !stack_.empty(); ++steps) {
            if (steps % 4096 == 0 && DXM_CpuNs() > bounds_.deadlineNs)
                return Fail(error, "out of time");
            Frame &f = stack_.back();
            if (f.next == f.refs) {
                open_[f.object] = false;
                stack_.pop_back();
                continue;
            }
            const uint64_t ref = be_uint(b_ + f.at + f.next * refSize_, refSize_);
            if (ref >= count_) return Fail(error, "a reference past the objects");
            if (open_[ref]) return Fail(error, "a container holds itself");
            if (index_[ref] == kUnvisited) {
                // Visited now; the element is filled in when the loop comes
                // back to it.
                if (!Visit(ref, error)) return false;
                continue;
            }
            Frame &parent = stack_.back();
            // A dictionary's references are its keys, then its values; the
            // item list alternates them.
            const uint64_t pairs = parent.refs / 2;
            const uint64_t slot = !parent.dict          ? parent.next
                                  : parent.next < pairs ? 2 * parent.next
                                                        : 2 * (parent.next - pairs) + 1;
            list_.items_[parent.item + slot] = index_[ref];
            ++parent.next;
        }
        return true;
    }

  private:
    // A container whose elements are being visited.
    struct Frame {
        uint64_t object;
        size_t at;      // its first reference
        uint64_t refs;  // references (a dictionary: keys, then values)
        uint64_t next;  // the next one to visit
        uint32_t item;  // where its elements go in the item list
        bool dict;
    };

    static bool Fail(std::string &error, const char *why) {
        error = why;
        return false;
    }

    bool Trailer(std::string &error) {
        if (size_ < kBinaryPlistMagic.size() + 1 + kTrailerBytes ||
            std::memcmp(b_, kBinaryPlistMagic.data(), kBinaryPlistMagic.size()) != 0)
            return Fail(error, "no binary property list");
        const unsigned char *t = b_ + size_ - kTrailerBytes;
        offsetSize_ = t[6];
        refSize_ = t[7];
        count_ = be_uint(t + 8, 8);
        top_ = be_uint(t + 16, 8);
        table_ = be_uint(t + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8)
            return Fail(error, "bad offset or reference size");
        if (count_ == 0 || count_ > bounds_.maxObjects) return Fail(error, "bad object count");
        if (top_ >= count_) return Fail(error, "the top object is past the objects");
        // The table lies between the first object and the trailer.
        const uint64_t end = size_ - kTrailerBytes;
        if (table_ <= kBinaryPlistMagic.size() || table_ > end ||
            count_ > (end - table_) / offsetSize_)
            return Fail(error, "the offset table is outside the list");
        for (uint64_t i = 0; i < count_; ++i) {
            const uint64_t at = be_uint(b_ + table_ + i * offsetSize_, offsetSize_);
            if (at < kBinaryPlistMagic.size() || at >= table_)
                return Fail(error, "an object offset outside the objects");
        }
        return true;
    }

    uint64_t OffsetOf(uint64_t object) const {
        return be_uint(b_ + table_ + object * offsetSize_, offsetSize_);
    }

    // The count of the object whose marker is at `at`, and where its
    // content starts.
    bool Count(size_t at, uint64_t &count, size_t &content, std::string &error) const {
        count = b_[at] & 0x0F;
        content = at + 1;
        if (count != 0x0F) return true;
        if (content >= table_ || (b_[content] & 0xF0) != 0x10)
            return Fail(error, "a count that is no integer");
        const size_t n = size_t{1} << (b_[content] & 0x0F);
        if (n > 8 || n > table_ - content - 1) return Fail(error, "a bad count");
        count = be_uint(b_ + content + 1, n);
        if (n == 8 && count > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
            return Fail(error, "a negative count");
        content += 1 + n;
        return true;
    }

    // Whether `count` elements of `unit` bytes from `content` lie before the
    // offset table.
    bool Fits(size_t content, uint64_t count, uint64_t unit) const {
        return content <= table_ && count <= (table_ - content) / unit;
    }

    // Makes the value of `object` (a scalar whole; a container with its
    // elements to come, on the stack).
    bool Visit(uint64_t object, std::string &error) {
        if (list_.values_.size() >= bounds_.maxObjects) return Fail(error, "too many values");
        const size_t at = OffsetOf(object);
        const unsigned char marker = b_[at];
        const unsigned kind = marker >> 4, low = marker & 0x0F;
        PropertyList::Value v;
        using Kind = PropertyList::Kind;
        uint64_t count = 0;
        size_t content = at + 1;
        switch (kind) {
            case 0x0:
                if (marker == 0x08 || marker == 0x09) {
                    v.kind = Kind::kBool;
                    v.flag = marker == 0x09;
                } else if (marker != 0x00 && marker != 0x0F) {
                    return Fail(error, "an unknown marker");
                }
                break;
            case 0x1: {  // 1, 2, 4, 8 bytes; 16 (a value beyond 64 bits: its low half)
                if (low > 4) return Fail(error, "a bad integer size");
                const uint64_t n = uint64_t{1} << low;
                if (!Fits(content, 1, n)) return Fail(error, "an integer past the objects");
                v.kind = Kind::kInteger;
                v.integer = static_cast<int64_t>(
                    be_uint(b_ + content + (n > 8 ? n - 8 : 0), std::min<uint64_t>(n, 8)));
                break;
            }
            case 0x2:
            case 0x3: {
                // A real of 4 or 8 bytes; a date is an 8-byte real.
                if ((kind == 0x2 && low != 2 && low != 3) || (kind == 0x3 && low != 3))
                    return Fail(error, "a bad real size");
                const size_t n = size_t{1} << low;
                if (!Fits(content, 1, n)) return Fail(error, "a real past the objects");
                const uint64_t raw = be_uint(b_ + content, n);
                if (n == 4) {
                    float f;
                    const auto bits = static_cast<uint32_t>(raw);
                    std::memcpy(&f, &bits, 4);
                    v.real = f;
                } else {
                    std::memcpy(&v.real, &raw, 8);
                }
                v.kind = kind == 0x2 ? Kind::kReal : Kind::kDate;
                break;
            }
            case 0x4:
            case 0x5:
            case 0x6: {
                if (!Count(at, count, content, error)) return false;
                const uint64_t unit = kind == 0x6 ? 2 : 1;
                if (!Fits(content, count, unit)) return Fail(error, "a string past the objects");
                const auto raw =
                    std::string_view(reinterpret_cast<const char *>(b_ + content), count * unit);
                v.kind = kind == 0x4 ? Kind::kData : Kind::kString;
                v.bytes = kind == 0x6                    ? list_.Keep(utf16_to_utf8(raw, true))
                          : kind == 0x5 && !IsAscii(raw) ? list_.Keep(Latin1(raw))
                                                         : raw;
                break;
            }
            case 0x8: {
                const size_t n = size_t{low} + 1;
                if (n > 8 || !Fits(content, 1, n)) return Fail(error, "a bad reference number");
                v.kind = Kind::kUid;
                v.integer = static_cast<int64_t>(be_uint(b_ + content, n));
                break;
            }
            case 0xA:
            case 0xC:
            case 0xD: {
                if (!Count(at, count, content, error)) return false;
                const uint64_t refs =
                    kind == 0xD ? 2 * std::min<uint64_t>(count, UINT64_MAX / 2) : count;
                if ((kind == 0xD && count > UINT64_MAX / 2) || !Fits(content, refs, refSize_))
                    return Fail(error, "a container past the objects");
                if (refs > bounds_.maxItems - list_.items_.size())
                    return Fail(error, "too many elements");
                if (stack_.size() >= bounds_.maxDepth) return Fail(error, "nested too deeply");
                v.kind = kind == 0xA ? Kind::kArray : kind == 0xC ? Kind::kSet : Kind::kDict;
                v.first = static_cast<uint32_t>(list_.items_.size());
                v.count = static_cast<uint32_t>(count);
                stack_.push_back({object, content, refs, 0, v.first, kind == 0xD});
                list_.items_.resize(list_.items_.size() + refs);
                open_[object] = true;
                break;
            }
            default:
                return Fail(error, "an unknown marker");
        }
        index_[object] = static_cast<uint32_t>(list_.values_.size());
        list_.values_.push_back(v);
        return true;
    }

    static bool IsAscii(std::string_view s) {
        return std::all_of(s.begin(), s.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    }

    static std::string Latin1(std::string_view s) {
        std::string out;
        for (char c : s) append_utf8(out, static_cast<unsigned char>(c));
        return out;
    }

    PropertyList &list_;
    const unsigned char *b_;
    size_t size_;
    const PlistBounds &bounds_;
    size_t offsetSize_ = 0, refSize_ = 0;
    uint64_t count_ = 0, top_ = 0, table_ = 0;
    std::vector<uint32_t> index_;  // each object's value, kUnvisited before its visit
    std::vector<bool> open_;       // containers on the stack
    std::vector<Frame> stack_;
};

void PropertyList::Clear() {
    values_.clear();
    items_.clear();
    owned_.clear();
}

bool PropertyList::ReadBinary(std::string_view bytes, const PlistBounds &bounds,
                              std::string &error) {
    Clear();
    BinaryPlistReader reader(*this, bytes, bounds);
    if (reader.Read(error)) return true;
    Clear();
    return false;
}

// Builds the table from the elements of a plist document, as ReadElements
// hands them over.
class XmlPlistReader {
  public:
    XmlPlistReader(PropertyList &list, const PlistBounds &bounds) : list_(list), bounds_(bounds) {}

    void Start(std::string_view name, const xmlChar **, int) {
        if (!error_.empty()) return;
        if (open_.empty()) {
            seenRoot_ = true;
            if (name != "plist") error_ = "the root element is not plist";
            open_.push_back({Tag::kPlist});
            return;
        }
        Open &parent = open_.back();
        if (parent.tag != Tag::kPlist && parent.tag != Tag::kArray && parent.tag != Tag::kDict) {
            error_ = "an element inside a value";
            return;
        }
        if (parent.tag == Tag::kPlist && parent.elements.size() == 1) {
            error_ = "more than one value in plist";
            return;
        }
        const Tag tag = TagOf(name);
        if (tag == Tag::kNone || tag == Tag::kPlist) {
            error_ = "an element of another type";
            return;
        }
        // A dictionary alternates keys and values; a key is nowhere else.
        const bool wantKey = parent.tag == Tag::kDict && parent.elements.size() % 2 == 0;
        if ((tag == Tag::kKey) != wantKey) {
            error_ = "keys and values do not alternate";
            return;
        }
        if (open_.size() > bounds_.maxDepth) {
            error_ = "nested too deeply";
            return;
        }
        open_.push_back({tag});
    }

    void End() {
        if (!error_.empty() || open_.empty()) return;
        Open done = std::move(open_.back());
        open_.pop_back();
        if (done.tag == Tag::kPlist) {
            if (done.elements.size() != 1) error_ = "no value in plist";
            ended_ = true;
            return;
        }
        if (list_.values_.size() >= bounds_.maxObjects) {
            error_ = "too many values";
            return;
        }
        PropertyList::Value v;
        using Kind = PropertyList::Kind;
        switch (done.tag) {
            case Tag::kDict:
                if (done.elements.size() % 2 != 0) {
                    error_ = "a key without a value";
                    return;
                }
                [[fallthrough]];
            case Tag::kArray:
                if (done.elements.size() > bounds_.maxItems - list_.items_.size()) {
                    error_ = "too many elements";
                    return;
                }
                v.kind = done.tag == Tag::kDict ? Kind::kDict : Kind::kArray;
                v.first = static_cast<uint32_t>(list_.items_.size());
                v.count = static_cast<uint32_t>(done.tag == Tag::kDict ? done.elements.size() / 2
                                                                       : done.elements.size());
                list_.items_.insert(list_.items_.end(), done.elements.begin(), done.elements.end());
                break;
            case Tag::kKey:
            case Tag::kString:
                v.kind = Kind::kString;
                v.bytes = list_.Keep(std::move(done.text));
                break;
            case Tag::kData:
                v.kind = Kind::kData;
                v.bytes = list_.Keep(DecodeBase64(done.text));
                break;
            case Tag::kDate:
                v.kind = Kind::kDate;
                v.bytes = list_.Keep(std::move(done.text));
                break;
            case Tag::kInteger:
                v.kind = Kind::kInteger;
                if (!Integer(done.text, v.integer)) error_ = "a bad integer";
                break;
            case Tag::kReal:
                v.kind = Kind::kReal;
                if (!Real(done.text, v.real)) error_ = "a bad real";
                break;
            case Tag::kTrue:
            case Tag::kFalse:
                v.kind = Kind::kBool;
                v.flag = done.tag == Tag::kTrue;
                if (!Blank(done.text)) error_ = "text inside a boolean";
                break;
            case Tag::kNone:
            case Tag::kPlist:
                break;
        }
        if (!error_.empty()) return;
        open_.back().elements.push_back(static_cast<uint32_t>(list_.values_.size()));
        list_.values_.push_back(v);
    }

    void Characters(std::string_view text) {
        if (!error_.empty() || open_.empty()) return;
        Open &o = open_.back();
        if (o.tag == Tag::kPlist || o.tag == Tag::kArray || o.tag == Tag::kDict) {
            if (!Blank(text)) error_ = "text between values";
            return;
        }
        o.text.append(text);
    }

    bool full() const { return !error_.empty() || ended_; }
    bool root() const { return seenRoot_; }
    bool timeUp() const { return DXM_CpuNs() > bounds_.deadlineNs; }

    void Finish(bool wellFormed) {
        if (!error_.empty()) return;
        if (!wellFormed)
            error_ = "not well formed";
        else if (!ended_)
            error_ = "no plist element";
    }

    // The top value ends up last in the table; readers find it at index 0.
    bool Done(std::string &error) {
        if (error_.empty() && timeUp()) error_ = "out of time";
        if (!error_.empty()) {
            error = error_;
            return false;
        }
        const auto top = static_cast<uint32_t>(list_.values_.size() - 1);
        std::swap(list_.values_.front(), list_.values_.back());
        for (uint32_t &item : list_.items_) item = item == top ? 0 : item == 0 ? top : item;
        return true;
    }

  private:
    enum class Tag {
        kNone,
        kPlist,
        kDict,
        kArray,
        kKey,
        kString,
        kData,
        kDate,
        kInteger,
        kReal,
        kTrue,
        kFalse
    };
    struct Open {
        Tag tag;
        std::vector<uint32_t> elements = {};  // containers: their values so far
        std::string text = {};                // scalars: their text
    };

    static Tag TagOf(std::string_view name) {
        struct Row {
            std::string_view name;
            Tag tag;
        };
        static constexpr Row kTags[] = {
            {"dict", Tag::kDict},       {"array", Tag::kArray}, {"key", Tag::kKey},
            {"string", Tag::kString},   {"data", Tag::kData},   {"date", Tag::kDate},
            {"integer", Tag::kInteger}, {"real", Tag::kReal},   {"true", Tag::kTrue},
            {"false", Tag::kFalse},     {"plist", Tag::kPlist},
        };
        for (const Row &row : kTags)
            if (row.name == name) return row.tag;
        return Tag::kNone;
    }

    static bool Blank(std::string_view s) {
        return s.find_first_not_of(" \t\r\n") == std::string_view::npos;
    }

    static std::string_view Trimmed(std::string_view s) {
        const size_t first = s.find_first_not_of(" \t\r\n");
        if (first == std::string_view::npos) return {};
        return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
    }

    // A decimal integer with an optional sign, or hexadecimal after "0x".
    static bool Integer(std::string_view text, int64_t &value) {
        std::string_view s = Trimmed(text);
        const bool negative = !s.empty() && s[0] == '-';
        if (!s.empty() && (s[0] == '-' || s[0] == '+')) s.remove_prefix(1);
        const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
        if (hex) s.remove_prefix(2);
        if (s.empty()) return false;
        uint64_t v = 0;
        const uint64_t base = hex ? 16 : 10;
        for (char c : s) {
            const int d = c >= '0' && c <= '9'          ? c - '0'
                          : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                        : -1;
            if (d < 0 || v > (UINT64_MAX - static_cast<uint64_t>(d)) / base) return false;
            v = v * base + static_cast<uint64_t>(d);
        }
        value = static_cast<int64_t>(negative ? 0 - v : v);
        return true;
    }

    static bool Real(std::string_view text, double &value) {
        const std::string s(Trimmed(text));
        if (s.empty() || s.size() > 64) return false;
        char *end = nullptr;
        value = std::strtod(s.c_str(), &end);
        return end == s.c_str() + s.size();
    }

    PropertyList &list_;
    const PlistBounds &bounds_;
    std::vector<Open> open_;
    std::string error_;
    bool seenRoot_ = false;
    bool ended_ = false;
};

bool PropertyList::ReadXml(std::string_view bytes, const PlistBounds &bounds, std::string &error) {
    Clear();
    XmlPlistReader reader(*this, bounds);
    const bool parsed = ReadElements(bytes, reader, [&reader] { return reader.timeUp(); });
    if (parsed && reader.Done(error)) return true;
    if (!parsed) error = "out of memory";
    Clear();
    return false;
}

}  // namespace dxf
