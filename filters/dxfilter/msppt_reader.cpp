// msppt_reader.cpp - the text of PowerPoint 97-2003 presentations.
//
// The `PowerPoint Document` stream is a tree of records, each with an 8-byte
// header: version (4 bits; 0xF marks a container, whose body is more
// records) and instance (12 bits), type (16 bits) and body length (32 bits).
// Text lies in text atoms anywhere in the tree: TextCharsAtom (UTF-16LE) and
// TextBytesAtom (8-bit, each byte the character of that code point), in the
// slide list of the document and in the text boxes of the slides' drawings.
// The records are walked in stream order; the subtrees of the masters,
// handouts and notes are skipped (their text is the template's prompts, or
// not on the slides; PPTX gives the slides only too), as are names
// (CString atoms: fonts, templates, shows).
//
// Each text atom ends a line, and so do its paragraph (0x0D) and line (0x0B)
// breaks. A presentation is encrypted when its current user record says so,
// when it has an `EncryptedSummary` stream or a crypt session record: it
// fails to open, as does one whose records do not fit inside one another and
// the stream (all are checked on opening).
#include <algorithm>
#include <memory>
#include <vector>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/ole_file.h"

namespace msdoc {
namespace {

enum Record : uint16_t {
    kNotes = 0x03F0,
    kMainMaster = 0x03F8,
    kTextChars = 0x0FA0,
    kTextBytes = 0x0FA8,
    kHandout = 0x0FC9,
    kSlideListWithText = 0x0FF0,
    kCryptSession = 0x2F14,
};
// Instances of the slide list: 0 slides, 1 masters, 2 notes.
constexpr uint16_t kSlidesList = 0;

constexpr uint32_t kEncryptedToken = 0xF3D1C4DF;  // of the current user atom
constexpr size_t kHeaderBytes = 8;
constexpr size_t kMaxDepth = 64;              // deeper containers are skipped whole
constexpr uint32_t kMaxAtomBytes = 2u << 20;  // of one text atom, read; the rest dropped
constexpr size_t kStepBytes = 64 * 1024;      // text bytes read per step
constexpr int kStepRecords = 4096;            // records looked at per step

struct Header {
    uint16_t version, instance, type;
    uint32_t length;
    bool container() const { return version == 0xF; }
};

Header parse_header(const unsigned char *h) {
    const uint16_t vi = le16(h);
    return {static_cast<uint16_t>(vi & 0xF), static_cast<uint16_t>(vi >> 4), le16(h + 2),
            le32(h + 4)};
}

// Subtrees whose text is left out.
bool skipped(const Header &h) {
    return h.type == kMainMaster || h.type == kHandout || h.type == kNotes ||
           (h.type == kSlideListWithText && h.instance != kSlidesList);
}

class PresentationReader final : public OleReader {
  public:
    PresentationReader(std::unique_ptr<OleFile> file, InputRef stream, const DXMLimits &limits)
        : file_(std::move(file)),
          stream_(std::move(stream)),
          size_(static_cast<uint64_t>(gsf_input_size(stream_.get()))),
          limits_(limits) {}

    bool Open();
    int Step(DXMSink *sink) override;

  private:
    int Text(const Header &h, uint64_t body);

    std::unique_ptr<OleFile> file_;
    InputRef stream_;
    uint64_t size_;
    DXMLimits limits_;
    uint64_t at_ = 0;             // the next record header
    std::vector<uint64_t> ends_;  // where each open container ends, innermost last
    uint64_t bytesRead_ = 0;
    std::vector<unsigned char> bytes_;
    TextOut out_;
};

// Every record must fit inside its container (or the stream), down to the
// depth the text is read from; a crypt session record anywhere marks an
// encrypted presentation.
bool PresentationReader::Open() {
    if (size_ < kHeaderBytes) return false;
    std::vector<uint64_t> ends;
    uint64_t at = 0;
    for (int n = 0;; ++n) {
        if (n % kStepRecords == 0 && DXM_CpuNs() > limits_.deadlineNs) return false;
        while (!ends.empty() && at == ends.back()) ends.pop_back();
        const uint64_t end = ends.empty() ? size_ : ends.back();
        // A few bytes too short for a record header may follow the last record.
        if (end - at < kHeaderBytes) {
            if (ends.empty()) return true;
            return false;
        }
        unsigned char h[kHeaderBytes];
        if (!read_at(stream_.get(), at, sizeof h, h)) return false;
        const Header header = parse_header(h);
        const uint64_t body = at + kHeaderBytes;
        if (header.type == kCryptSession || header.length > end - body) return false;
        at = body + header.length;
        if (header.container() && header.length > 0 && ends.size() < kMaxDepth) {
            ends.push_back(at);
            at = body;
        }
    }
}

// A text atom whose body starts at `body`: 1, 0 once the sink is full, -1
// when it cannot be read.
int PresentationReader::Text(const Header &h, uint64_t body) {
    const bool wide = h.type == kTextChars;
    uint32_t length = std::min(h.length, kMaxAtomBytes);
    if (wide) length &= ~1u;
    bytes_.resize(length);
    if (!read_at(stream_.get(), body, length, bytes_.data())) return -1;
    bytesRead_ += length;
    for (size_t i = 0; i < length; i += wide ? 2 : 1) {
        const char16_t c = wide ? static_cast<char16_t>(bytes_[i] | (bytes_[i + 1] << 8))
                                : static_cast<char16_t>(bytes_[i]);
        if (c == 0x0D || c == 0x0B) {
            if (!out_.Break()) return 0;
        } else {
            out_.Unit(c);
        }
    }
    return out_.Break() ? 1 : 0;
}

int PresentationReader::Step(DXMSink *sink) {
    out_.sink = sink;
    if (DXM_CpuNs() > limits_.deadlineNs || bytesRead_ > limits_.maxTotalBytes) return 0;
    const uint64_t budget = bytesRead_ + kStepBytes;
    for (int n = 0; n < kStepRecords && bytesRead_ < budget; ++n) {
        while (!ends_.empty() && at_ >= ends_.back()) ends_.pop_back();
        const uint64_t end = ends_.empty() ? size_ : ends_.back();
        if (end - at_ < kHeaderBytes) {
            if (ends_.empty()) return 0;  // the end of the stream
            return -1;
        }
        unsigned char h[kHeaderBytes];
        if (!read_at(stream_.get(), at_, sizeof h, h)) return -1;
        const Header header = parse_header(h);
        const uint64_t body = at_ + kHeaderBytes;
        if (header.length > end - body) return -1;  // past its container or the stream
        at_ = body + header.length;
        if (header.container()) {
            if (!skipped(header) && ends_.size() < kMaxDepth && header.length > 0) {
                ends_.push_back(at_);
                at_ = body;
            }
        } else if (header.type == kTextChars || header.type == kTextBytes) {
            if (int r = Text(header, body); r <= 0) return r;
        }
    }
    return 1;
}

}  // namespace

std::unique_ptr<OleReader> OpenPresentationReader(std::unique_ptr<OleFile> file,
                                                  const DXMLimits &limits) {
    if (file->Child("EncryptedSummary")) return nullptr;
    // The current user atom: its header, its size, then its token.
    if (InputRef user = file->Child("Current User")) {
        unsigned char token[4];
        if (read_at(user.get(), 12, 4, token) && le32(token) == kEncryptedToken) return nullptr;
    }
    InputRef stream = file->Child("PowerPoint Document");
    if (!stream) return nullptr;
    auto reader = std::make_unique<PresentationReader>(std::move(file), std::move(stream), limits);
    if (!reader->Open()) return nullptr;
    return reader;
}

}  // namespace msdoc
