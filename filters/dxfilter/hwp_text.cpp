// hwp_text.cpp - HWP 5 documents: the file header, the sections of the
// `BodyText` storage, their records and the text of their paragraphs.
#include "filters/dxfilter/hwp_text.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>

#include "filters/dxfilter/bytes.h"
#include "filters/dxfilter/cfb_reader.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/inflate.h"
#include "filters/dxfilter/utf8.h"

namespace dxf {
namespace {

constexpr size_t kMaxEntries = 1u << 16;  // directory entries read
constexpr size_t kRecordsPerCheck = 256;  // records between looks at the clock

// The file header: the signature padded with zero bytes to 32, the version
// (major number in the high byte), the property bits.
constexpr std::string_view kSignature = "HWP Document File";
constexpr size_t kHeaderBytes = 40;
constexpr uint32_t kCompressed = 1u << 0, kPassword = 1u << 1, kDistribution = 1u << 2;

constexpr uint32_t kParaText = 0x10 + 51;  // the tag of paragraph text records
constexpr uint32_t kLongSize = 0xFFF;      // a 32-bit size follows the header

// What a control unit (0 to 31) of paragraph text is.
enum class Control : uint8_t {
    kNothing,  // a one-unit control without text
    kSpace,    // fixed-width and non-breaking spaces
    kHyphen,
    kLineEnd,  // line break, paragraph end
    kLong,     // eight units: the code, its parameters, the code again
    kTab,      // a long one that stands for a space
};
constexpr std::array<Control, 32> kControls = [] {
    std::array<Control, 32> c{};
    for (auto &k : c) k = Control::kLong;
    c[0] = Control::kNothing;
    c[9] = Control::kTab;
    c[10] = c[13] = Control::kLineEnd;
    c[24] = Control::kHyphen;
    for (int k = 25; k <= 29; ++k) c[k] = Control::kNothing;
    c[30] = c[31] = Control::kSpace;
    return c;
}();
constexpr size_t kLongUnits = 8;

// Builds the lines of paragraph text records, a unit at a time.
class LineBuilder {
  public:
    LineBuilder(size_t maxText, HwpLines &out) : maxText_(maxText), out_(out) {}

    // False once the text bound is reached.
    bool Record(std::string_view data) {
        const auto *p = reinterpret_cast<const unsigned char *>(data.data());
        const size_t units = data.size() / 2;
        for (size_t i = 0; i < units; ++i) {
            const char16_t unit = static_cast<char16_t>(le16(p + 2 * i));
            if (unit >= kControls.size()) {
                joiner_.Unit(unit, [&](char32_t cp) { append_utf8(line_, cp); });
                continue;
            }
            joiner_.Finish([&](char32_t cp) { append_utf8(line_, cp); });
            switch (kControls[unit]) {
                case Control::kNothing:
                    break;
                case Control::kSpace:
                case Control::kTab:
                    line_ += ' ';
                    break;
                case Control::kHyphen:
                    line_ += '-';
                    break;
                case Control::kLineEnd:
                    if (!EndLine()) return false;
                    break;
                case Control::kLong:
                    break;
            }
            // A long control's parameters are not text; one cut by the
            // record's end ends it.
            if (kControls[unit] == Control::kLong || kControls[unit] == Control::kTab)
                i += kLongUnits - 1;
        }
        // A paragraph's text is one record: its end ends the line even
        // without a paragraph end.
        return EndLine();
    }

  private:
    bool EndLine() {
        joiner_.Finish([&](char32_t cp) { append_utf8(line_, cp); });
        const bool blank = line_.find_first_not_of(' ') == std::string::npos;
        if (!blank && !out_.full) {
            const size_t room = maxText_ - std::min(maxText_, out_.bytes);
            if (line_.size() > room) {
                // Cut between characters.
                size_t end = room;
                while (end > 0 && (static_cast<unsigned char>(line_[end]) & 0xC0) == 0x80) --end;
                line_.resize(end);
                out_.full = true;
            }
            if (!line_.empty()) {
                out_.bytes += line_.size();
                out_.lines.push_back(std::move(line_));
            }
            if (out_.bytes >= maxText_) out_.full = true;
        }
        line_.clear();
        return !out_.full;
    }

    size_t maxText_;
    HwpLines &out_;
    std::string line_;
    Utf16Joiner joiner_;
};

// The document's compound file, read whole from memory: the root's streams
// and the sections of its `BodyText` storage, by number.
class HwpFile {
  public:
    bool Open(std::string_view file) {
        const unsigned char *root = file_.OpenRoot(file, kMaxEntries);
        if (!root) return false;
        std::optional<CompoundFile::EntryInfo> body;
        const bool walked = file_.Walk(
            CompoundFile::Info(root).child, kMaxEntries, [&](uint32_t, const unsigned char *entry) {
                const CompoundFile::EntryInfo info = CompoundFile::Info(entry);
                const std::string name = CompoundFile::Name(entry);
                if (info.type == CompoundFile::kStreamEntry && name == "FILEHEADER") header_ = info;
                if (info.type == CompoundFile::kStorageEntry && name == "BODYTEXT") body = info;
            });
        if (!walked) return false;
        if (body) {
            const bool sections =
                file_.Walk(body->child, kMaxEntries, [&](uint32_t, const unsigned char *entry) {
                    const auto number = SectionNumber(CompoundFile::StreamName(entry));
                    if (number) sections_.emplace(*number, CompoundFile::Info(entry));
                });
            if (!sections) return false;
        }
        // Without small streams there is no mini stream to read.
        const uint32_t cutoff = file_.MiniCutoff();
        bool small = header_ && header_->size < cutoff;
        for (const auto &s : sections_) small = small || s.second.size < cutoff;
        return !small || file_.LoadMiniStream();
    }

    std::optional<std::string> Header() const {
        if (!header_) return std::nullopt;
        return file_.Read(header_->start, header_->size, kHeaderBytes);
    }
    const std::map<uint32_t, CompoundFile::EntryInfo> &sections() const { return sections_; }
    std::optional<std::string> Read(const CompoundFile::EntryInfo &info, size_t cap) const {
        return file_.Read(info.start, info.size, cap);
    }

  private:
    // The number of a section's stream name (`SECTION12`), none for any
    // other name.
    static std::optional<uint32_t> SectionNumber(std::string_view name) {
        constexpr std::string_view kPrefix = "SECTION";
        if (!name.starts_with(kPrefix)) return std::nullopt;
        name.remove_prefix(kPrefix.size());
        if (name.empty() || name.size() > 6) return std::nullopt;
        uint32_t n = 0;
        for (const char c : name) {
            if (c < '0' || c > '9') return std::nullopt;
            n = n * 10 + static_cast<uint32_t>(c - '0');
        }
        return n;
    }

    CompoundFile file_;
    std::optional<CompoundFile::EntryInfo> header_;
    std::map<uint32_t, CompoundFile::EntryInfo> sections_;
};

HwpText refuse(std::string why) {
    HwpText t;
    t.error = std::move(why);
    return t;
}

}  // namespace

bool HwpSectionText(std::string_view records, size_t maxText, int64_t deadlineNs, HwpLines &out) {
    LineBuilder builder(maxText, out);
    const auto *p = reinterpret_cast<const unsigned char *>(records.data());
    size_t at = 0;
    for (size_t count = 0; at < records.size(); ++count) {
        if (count % kRecordsPerCheck == 0 && DXM_CpuNs() > deadlineNs) return false;
        if (records.size() - at < 4) return false;
        const uint32_t header = le32(p + at);
        at += 4;
        uint64_t size = header >> 20;
        if (size == kLongSize) {
            if (records.size() - at < 4) return false;
            size = le32(p + at);
            at += 4;
        }
        if (size > records.size() - at) return false;
        if ((header & 0x3FF) == kParaText && !builder.Record(records.substr(at, size)))
            return false;
        at += size;
    }
    return true;
}

HwpText ReadHwp(std::string_view file, const HwpBounds &bounds) {
    HwpFile hwp;
    if (!hwp.Open(file)) return refuse("no compound file that can be read");
    const auto header = hwp.Header();
    if (!header || header->size() < kHeaderBytes || !header->starts_with(kSignature))
        return refuse("no HWP file header");
    const auto *h = reinterpret_cast<const unsigned char *>(header->data());
    if (le32(h + 32) >> 24 != 5) return refuse("not a version 5 document");
    const uint32_t properties = le32(h + 36);
    if (properties & kPassword) return refuse("password-protected document");
    if (properties & kDistribution) return refuse("distribution document");
    const bool compressed = (properties & kCompressed) != 0;

    HwpText t;
    size_t inflated = 0, read = 0, tried = 0;
    bool outOfTime = false;
    for (const auto &[number, info] : hwp.sections()) {
        if (t.text.full || inflated >= bounds.maxTotalBytes || tried++ >= bounds.maxSections) break;
        if (DXM_CpuNs() > bounds.deadlineNs) {
            outOfTime = true;
            break;
        }
        auto stored = hwp.Read(info, bounds.maxSectionBytes);
        if (!stored) continue;
        ++read;
        if (compressed) {
            std::string records;
            const size_t cap = std::min(bounds.maxSectionBytes, bounds.maxTotalBytes - inflated);
            InflateRaw(*stored, cap, bounds.deadlineNs, records);
            inflated += records.size();
            stored = std::move(records);
        }
        HwpSectionText(*stored, bounds.maxText, bounds.deadlineNs, t.text);
    }
    if (read == 0) return refuse(outOfTime ? "out of time" : "no section that can be read");
    t.ok = true;
    return t;
}

}  // namespace dxf
