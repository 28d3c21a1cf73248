// msppt_reader.cpp - the text of PowerPoint 95 and 97-2003 presentations.
//
// The `PowerPoint Document` stream is a tree of records, each with an 8-byte
// header: version (4 bits; 0xF marks a container, whose body is more
// records) and instance (12 bits), type (16 bits) and body length (32 bits).
// Text lies in text atoms anywhere in the tree: TextCharsAtom (UTF-16LE) and
// TextBytesAtom (8-bit, each byte the character of that code point), in the
// slide list of the document and in the text boxes of the slides' drawings.
// The records are walked in stream order; the subtrees of the masters and
// handouts are skipped (their text is the template's prompts), as are names
// (CString atoms: fonts, templates, shows).
//
// Which top-level records are walked: those the persist directory holds.
// The current user record names the last user edit atom, each edit atom its
// persist directory and the edit before it; the newest edit's place of each
// object wins. The stream may hold other bytes besides: the older copies of
// objects saved again (whose text would come twice), and space that is no
// record at all. A presentation without a usable directory is walked from
// the stream's start to its end.
//
// Speaker notes: each slide's notes page is walked right after the slide.
// The slide atom gives a notes id; the document's notes list (the slide
// list of instance 2) pairs notes ids with persist ids, and the directory
// gives the place of the notes container. A page is read once, after the
// first slide that names it, and only when its notes atom names a slide:
// the notes master's names none, and it stays skipped, as do the notes
// pages no slide names and, without a directory (no persist ids to
// follow), all notes. On a notes page the shapes of the slide image, the
// date, the page number, the footer and the header give no text: their
// placeholder atom (or the atom later versions write for the last four),
// in the shape's client data, comes before the shape's text box.
//
// Each text atom ends a line, and so do its paragraph (0x0D) and line (0x0B)
// breaks. A presentation is encrypted when its current user record says so,
// when it has an `EncryptedSummary` stream or a crypt session record: it
// fails to open, as does one whose top-level records do not fit the stream
// (all are checked on opening). A container whose records do not fit inside
// it is passed over whole.
//
// PowerPoint 95 (7.0) wrote a tree of records too, the same walk reads it,
// but its headers are 16 bytes: type, a second word that is 0xFFFF for a
// container, body length, and a tag (the field of its parent the record
// fills). Its stream is one container of the whole presentation, written
// anew on every save, so there is no persist directory to follow and no
// older copy to tell apart (its `Current User` stream is only the user's
// name). The slides are the list tagged 0x0A of the document container, in
// slide order; the masters are the list tagged 0x0B, and they, the notes
// (inside each slide, and the notes master) and the handout are left out.
// A text box's characters are the atom tagged 0x35 of its text container:
// 8-bit, in the code page of the summary information (1252 when there is
// none). A presentation saved as "PowerPoint 95 & 97" also holds a 97 copy
// of the same slides in a `PP97_DUALSTORAGE` storage; the root stream is
// the one read.
#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/ole_file.h"

namespace msdoc {
namespace {

enum Record : uint16_t {
    kSlide = 0x03EE,
    kSlideAtom = 0x03EF,
    kNotes = 0x03F0,
    kNotesAtom = 0x03F1,
    kSlidePersist = 0x03F3,  // in the notes list too, naming a notes page
    kMainMaster = 0x03F8,
    kPlaceholder = 0x0BC3,
    kHeaderFooterPlaceholder = 0x0420,  // later versions' placeholder atom of these kinds
    kTextChars = 0x0FA0,
    kTextBytes = 0x0FA8,
    kHandout = 0x0FC9,
    kSlideListWithText = 0x0FF0,
    kUserEdit = 0x0FF5,
    kPersistDirectory = 0x1772,
    kCryptSession = 0x2F14,
};
// PowerPoint 95's.
enum Record95 : uint32_t {
    kList95 = 0x07D0,
    kField95 = 0x07EE,      // an atom filling one field of its parent
    kString95 = 0x0FBA,     // an atom, though its second word says container
    kWhole95 = 0x0003,      // the container of the whole stream
    kContainer95 = 0xFFFF,  // the second word of a container
};
// Tags: of the document's list of masters, of a text's characters.
constexpr uint32_t kMasters95 = 0x0B, kCharacters95 = 0x35;
// Instances of the slide list: 0 slides, 1 masters, 2 notes.
constexpr uint16_t kSlidesList = 0, kNotesList = 2;
// Where the ids lie: the notes id of a slide atom; the persist id and the
// notes id of a notes list's persist atom; the slide id of a notes atom
// (that of the slide; none, 0, or a master's, from 0x80000000 on, in the
// notes master's); the kind of a placeholder, in either atom.
constexpr size_t kSlideNotesId = 16, kPersistId = 0, kNotesId = 12, kNotesSlideId = 0,
                 kPlacement = 4, kHeaderFooterPlacement = 0;
constexpr uint32_t kFirstSlideId = 0x100, kFirstMasterId = 0x80000000;
// The placeholders of a notes page that hold no notes: the slide's image,
// the date, the page number, the footer and the header (of the notes
// master's kinds, which a notes page's copies keep).
constexpr unsigned char kNotesPlaceholdersSkipped[] = {0x05, 0x07, 0x08, 0x09, 0x0A, 0x0B};

constexpr uint32_t kEncryptedToken = 0xF3D1C4DF;  // of the current user atom
constexpr size_t kHeaderBytes = 8, kHeaderBytes95 = 16;
constexpr size_t kMaxDepth = 64;              // deeper containers are skipped whole
constexpr uint32_t kMaxAtomBytes = 2u << 20;  // of one text atom, read; the rest dropped
constexpr size_t kStepBytes = 64 * 1024;      // text bytes read per step
constexpr int kStepRecords = 4096;            // records looked at per step
constexpr int kMaxEdits = 4096;               // user edits followed back
constexpr size_t kMaxPlaces = 1u << 20;       // persist directory entries, in all
constexpr uint32_t kUserEditBytes = 0x1C;     // of a user edit atom's body, at least
constexpr size_t kOffsetToCurrentEdit = 16;   // in the current user stream

// A record header of either version; `instance` is 95's tag.
struct Header {
    uint32_t type, instance, length;
    bool container;
};

Header parse_header(const unsigned char *h) {
    const uint16_t vi = le16(h);
    return {le16(h + 2), static_cast<uint16_t>(vi >> 4), le32(h + 4), (vi & 0xF) == 0xF};
}

Header parse_header95(const unsigned char *h) {
    const uint32_t type = le32(h);
    return {type, le32(h + 12), le32(h + 8), le32(h + 4) == kContainer95 && type != kString95};
}

// A PowerPoint 95 stream starts with the container of the whole
// presentation. No 97 stream starts so: read as a 97 header, its type is 0.
bool is_95(GsfInput *stream) {
    unsigned char h[kHeaderBytes95];
    if (!read_at(stream, 0, sizeof h, h)) return false;
    const Header header = parse_header95(h);
    return header.type == kWhole95 && header.container;
}

// Subtrees whose text is left out (a notes page is read when its slide
// names it: PresentationReader::Skipped).
bool skipped(const Header &h, bool v95) {
    if (v95)
        return h.type == kMainMaster || h.type == kHandout || h.type == kNotes ||
               (h.type == kList95 && h.instance == kMasters95);
    return h.type == kMainMaster || h.type == kHandout || h.type == kNotes ||
           (h.type == kSlideListWithText && h.instance != kSlidesList);
}

// The atoms of text.
bool is_text(const Header &h, bool v95) {
    if (v95) return h.type == kField95 && h.instance == kCharacters95 && !h.container;
    return !h.container && (h.type == kTextChars || h.type == kTextBytes);
}

class PresentationReader final : public OleReader {
  public:
    PresentationReader(std::unique_ptr<OleFile> file, InputRef stream, const DXMLimits &limits)
        : file_(std::move(file)),
          stream_(std::move(stream)),
          size_(static_cast<uint64_t>(gsf_input_size(stream_.get()))),
          limits_(limits),
          v95_(is_95(stream_.get())),
          headerBytes_(v95_ ? kHeaderBytes95 : kHeaderBytes) {}
    ~PresentationReader() override {
        if (legacy_ != reinterpret_cast<iconv_t>(-1)) iconv_close(legacy_);
    }

    bool V95() const { return v95_; }
    bool Open(GsfInput *currentUser);
    int Step(DXMSink *sink) override;

  private:
    Header Parse(const unsigned char *h) const {
        return v95_ ? parse_header95(h) : parse_header(h);
    }
    bool LiveRecords(GsfInput *currentUser);
    bool Legacy(size_t length);
    bool Opaque(uint64_t at) const {
        return std::binary_search(opaque_.begin(), opaque_.end(), at);
    }
    bool Skipped(const Header &h, uint64_t at) const {
        if (h.type == kNotes && !v95_ && ends_.empty())
            return !std::binary_search(notes_.begin(), notes_.end(), at);
        return skipped(h, v95_);
    }
    uint64_t Place(uint32_t id) const;
    bool IsNotesPage(uint64_t at) const;
    void PlaceNotes(const std::vector<std::pair<uint64_t, uint32_t>> &slides,
                    std::vector<std::pair<uint32_t, uint32_t>> notesList);
    bool Dropped(const Header &h, uint64_t body);
    int Text(const Header &h, uint64_t body);

    std::unique_ptr<OleFile> file_;
    InputRef stream_;
    uint64_t size_;
    DXMLimits limits_;
    const bool v95_;
    const size_t headerBytes_;
    iconv_t legacy_ = reinterpret_cast<iconv_t>(-1);  // 95: the code page to UTF-32LE
    uint64_t at_ = 0;                                 // the next record header
    std::vector<uint64_t> ends_;  // where each open container ends, innermost last
    // The top-level records walked, in stream order (empty: the whole
    // stream), and the next of them; the containers passed over whole.
    std::vector<uint64_t> tops_;
    size_t nextTop_ = 0;
    std::vector<uint64_t> opaque_;
    // Persist ids and their places (sorted by id); the notes pages read,
    // each after its slide in tops_ (sorted); where the notes page being
    // read ends (0 outside one), and the end of its shape whose text is
    // dropped.
    std::vector<std::pair<uint32_t, uint64_t>> places_;
    std::vector<uint64_t> notes_;
    uint64_t notesEnd_ = 0, droppedUntil_ = 0;
    uint64_t bytesRead_ = 0;
    std::vector<unsigned char> bytes_;
    TextOut out_;
};

// The places of the live top-level records in tops_, from the persist
// directories of the user edits; false when there is no usable directory.
bool PresentationReader::LiveRecords(GsfInput *currentUser) {
    unsigned char word[4];
    if (!currentUser || !read_at(currentUser, kOffsetToCurrentEdit, 4, word)) return false;
    std::vector<std::pair<uint32_t, uint32_t>> places;  // persist id, offset; newest first
    std::vector<uint64_t> edits;
    uint32_t document = 0;        // the persist id of the document container
    uint64_t directoryBytes = 0;  // read in all; the directories of a sound stream do not overlap
    for (uint64_t edit = le32(word); edit != 0;) {
        if (edits.size() >= kMaxEdits ||
            std::find(edits.begin(), edits.end(), edit) != edits.end() ||
            DXM_CpuNs() > limits_.deadlineNs)
            return false;
        edits.push_back(edit);
        unsigned char h[kHeaderBytes + kUserEditBytes];
        if (edit > size_ || size_ - edit < sizeof h || !read_at(stream_.get(), edit, sizeof h, h))
            return false;
        const Header header = parse_header(h);
        if (header.type != kUserEdit || header.length < kUserEditBytes) return false;
        const uint64_t previous = le32(h + kHeaderBytes + 8),
                       directory = le32(h + kHeaderBytes + 12);
        if (edits.size() == 1) document = le32(h + kHeaderBytes + 16);
        unsigned char d[kHeaderBytes];
        if (directory > size_ || size_ - directory < kHeaderBytes ||
            !read_at(stream_.get(), directory, kHeaderBytes, d))
            return false;
        const Header dh = parse_header(d);
        directoryBytes += dh.length;
        if (dh.type != kPersistDirectory || dh.length > size_ - directory - kHeaderBytes ||
            dh.length > limits_.maxPartBytes || directoryBytes > size_)
            return false;
        std::vector<unsigned char> body(dh.length);
        if (!read_at(stream_.get(), directory + kHeaderBytes, body.size(), body.data()))
            return false;
        // Entries: a persist id (20 bits) and a count (12 bits), then that
        // many offsets, of the objects with that id and the ids after it.
        for (size_t at = 0; body.size() - at >= 4;) {
            const uint32_t entry = le32(&body[at]), count = entry >> 20;
            at += 4;
            if ((body.size() - at) / 4 < count || places.size() + count > kMaxPlaces) return false;
            for (uint32_t k = 0; k < count; ++k, at += 4) {
                const uint32_t offset = le32(&body[at]);
                if (offset > size_ - kHeaderBytes) return false;
                places.emplace_back((entry & 0xFFFFF) + k, offset);
            }
        }
        edit = previous;
    }
    // The newest place of each id (stable: the newest edit's came first), in
    // stream order but the document's first: its slide list holds the text
    // of the slides' placeholders.
    std::stable_sort(places.begin(), places.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    uint64_t documentAt = UINT64_MAX;
    for (size_t i = 0; i < places.size(); ++i) {
        if (i > 0 && places[i].first == places[i - 1].first) continue;
        tops_.push_back(places[i].second);
        places_.push_back(places[i]);
        if (places[i].first == document) documentAt = places[i].second;
    }
    std::sort(tops_.begin(), tops_.end());
    tops_.erase(std::unique(tops_.begin(), tops_.end()), tops_.end());
    auto first = std::find(tops_.begin(), tops_.end(), documentAt);
    if (first != tops_.end()) std::rotate(tops_.begin(), first, first + 1);
    return !tops_.empty();
}

// Every top-level record must fit the stream; a container whose records do
// not fit inside it, down to the depth the text is read from, is noted to be
// passed over; a crypt session record anywhere marks an encrypted 97
// presentation.
bool PresentationReader::Open(GsfInput *currentUser) {
    if (size_ < headerBytes_) return false;
    if (v95_) {
        legacy_ = OpenCodePage(SummaryCodePage(*file_), "UTF-32LE");
        if (legacy_ == reinterpret_cast<iconv_t>(-1)) return false;
    } else if (!LiveRecords(currentUser)) {
        tops_.clear();  // the whole stream, then
    }
    struct Open {
        uint64_t start, end;
        Header header;
    };
    std::vector<Open> open;
    // The notes ids the top-level slides name, and the notes list's pages:
    // notes id, persist id.
    std::vector<std::pair<uint64_t, uint32_t>> slides;
    std::vector<std::pair<uint32_t, uint32_t>> notesList;
    size_t top = 0;
    uint64_t at = tops_.empty() ? 0 : tops_[top++];
    for (int n = 0;; ++n) {
        if (n % kStepRecords == 0 && DXM_CpuNs() > limits_.deadlineNs) return false;
        while (!open.empty() && at == open.back().end) open.pop_back();
        if (open.empty() && !tops_.empty() && n > 0) {
            if (top == tops_.size()) break;
            at = tops_[top++];
        }
        const uint64_t end = open.empty() ? size_ : open.back().end;
        // A few bytes too short for a record header may follow the last record.
        if (end - at < headerBytes_) {
            if (open.empty()) {
                if (!tops_.empty()) return false;
                break;
            }
            opaque_.push_back(open.back().start);
            at = open.back().end;
            open.pop_back();
            continue;
        }
        unsigned char h[kHeaderBytes95];
        if (!read_at(stream_.get(), at, headerBytes_, h)) return false;
        const Header header = Parse(h);
        const uint64_t body = at + headerBytes_;
        if (header.type == kCryptSession && !v95_) return false;
        if (header.length > end - body) {
            if (open.empty()) return false;
            opaque_.push_back(open.back().start);
            at = open.back().end;
            open.pop_back();
            continue;
        }
        const uint64_t start = at;
        at = body + header.length;
        if (header.container && header.length > 0 && open.size() < kMaxDepth) {
            open.push_back({start, at, header});
            at = body;
        } else if (!v95_ && !tops_.empty() && !open.empty() && !header.container) {
            const Header &parent = open.back().header;
            unsigned char b[20];
            if (header.type == kSlideAtom && parent.type == kSlide && open.size() == 1 &&
                header.length >= kSlideNotesId + 4 && read_at(stream_.get(), body, 20, b))
                slides.emplace_back(open.back().start, le32(b + kSlideNotesId));
            else if (header.type == kSlidePersist && parent.type == kSlideListWithText &&
                     parent.instance == kNotesList && header.length >= kNotesId + 4 &&
                     read_at(stream_.get(), body, 16, b))
                notesList.emplace_back(le32(b + kNotesId), le32(b + kPersistId));
        }
    }
    std::sort(opaque_.begin(), opaque_.end());
    if (!tops_.empty()) PlaceNotes(slides, notesList);
    return true;
}

// The place of the live object with persist id `id`; UINT64_MAX when none.
uint64_t PresentationReader::Place(uint32_t id) const {
    auto it = std::lower_bound(places_.begin(), places_.end(), std::make_pair(id, uint64_t{0}));
    return it != places_.end() && it->first == id ? it->second : UINT64_MAX;
}

// Whether the record at `at` (of a persist id) is a notes page: a notes
// container whose notes atom names a slide (the notes master's does not).
bool PresentationReader::IsNotesPage(uint64_t at) const {
    unsigned char h[2 * kHeaderBytes + 4];
    if (at > size_ || size_ - at < sizeof h || !read_at(stream_.get(), at, sizeof h, h))
        return false;
    const Header notes = parse_header(h), atom = parse_header(h + kHeaderBytes);
    if (notes.type != kNotes || !notes.container || atom.type != kNotesAtom || atom.container ||
        atom.length < kNotesSlideId + 4)
        return false;
    const uint32_t slide = le32(h + 2 * kHeaderBytes + kNotesSlideId);
    return slide >= kFirstSlideId && slide < kFirstMasterId;
}

// Each slide's notes page after the slide in tops_: the slide atom's notes
// id, through the notes list to a persist id, through the directory to the
// page. A page comes once, after the first slide that names it; the pages
// no slide names are passed over where they lie.
void PresentationReader::PlaceNotes(const std::vector<std::pair<uint64_t, uint32_t>> &slides,
                                    std::vector<std::pair<uint32_t, uint32_t>> notesList) {
    // The first page of each notes id.
    std::stable_sort(notesList.begin(), notesList.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    std::map<uint64_t, uint64_t> pages;  // slide, its notes page
    std::set<uint64_t> placed;
    for (const auto &[slide, notesId] : slides) {
        if (notesId == 0) continue;
        const auto named =
            std::lower_bound(notesList.begin(), notesList.end(), notesId,
                             [](const auto &n, uint32_t id) { return n.first < id; });
        if (named == notesList.end() || named->first != notesId) continue;
        // Place() knows only the live objects, each of which is in tops_.
        const uint64_t page = Place(named->second);
        if (page == UINT64_MAX || placed.count(page) || !IsNotesPage(page)) continue;
        pages.emplace(slide, page);
        placed.insert(page);
    }
    if (pages.empty()) return;
    notes_.assign(placed.begin(), placed.end());
    std::vector<uint64_t> ordered;
    for (const uint64_t top : tops_) {
        if (placed.count(top)) continue;
        ordered.push_back(top);
        if (auto it = pages.find(top); it != pages.end()) ordered.push_back(it->second);
    }
    tops_ = std::move(ordered);
}

// Whether the text of a record inside a notes page is dropped: that of a
// shape whose placeholder holds no notes (its atom comes in the shape's
// client data, before the shape's text box).
bool PresentationReader::Dropped(const Header &h, uint64_t body) {
    const size_t at = h.type == kPlaceholder               ? kPlacement
                      : h.type == kHeaderFooterPlaceholder ? kHeaderFooterPlacement
                                                           : SIZE_MAX;
    if (at != SIZE_MAX && h.length > at && ends_.size() >= 2) {
        unsigned char kind;
        if (read_at(stream_.get(), body + at, 1, &kind) &&
            std::ranges::find(kNotesPlaceholdersSkipped, kind) !=
                std::end(kNotesPlaceholdersSkipped))
            droppedUntil_ = std::max(droppedUntil_, ends_[ends_.size() - 2]);
    }
    return body < droppedUntil_;
}

// A text atom whose body starts at `body`: 1, 0 once the sink is full, -1
// when it cannot be read.
int PresentationReader::Text(const Header &h, uint64_t body) {
    const bool wide = !v95_ && h.type == kTextChars;
    uint32_t length = std::min(h.length, kMaxAtomBytes);
    if (wide) length &= ~1u;
    bytes_.resize(length);
    if (!read_at(stream_.get(), body, length, bytes_.data())) return -1;
    bytesRead_ += length;
    if (v95_) return Legacy(length) && out_.Break() ? 1 : 0;
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

// PowerPoint 95's 8-bit text in bytes_, through the code page; false once
// the sink is full. Its breaks are single bytes in every code page (no
// multibyte character holds a byte below 0x20), so the text between control
// bytes goes through iconv; a byte the code page does not know, or a
// character cut by the end of the atom, is dropped.
bool PresentationReader::Legacy(size_t length) {
    for (size_t i = 0; i < length;) {
        if (bytes_[i] < 0x20) {
            if (bytes_[i] != 0x0D && bytes_[i] != 0x0B)
                out_.Char(bytes_[i]);
            else if (!out_.Break())
                return false;
            ++i;
            continue;
        }
        size_t j = i;
        while (j < length && bytes_[j] >= 0x20) ++j;
        ConvertRun(legacy_, {reinterpret_cast<const char *>(&bytes_[i]), j - i},
                   [this](char32_t c) { out_.Char(c); });
        i = j;
    }
    return true;
}

int PresentationReader::Step(DXMSink *sink) {
    out_.sink = sink;
    if (DXM_CpuNs() > limits_.deadlineNs || bytesRead_ > limits_.maxTotalBytes) return 0;
    const uint64_t budget = bytesRead_ + kStepBytes;
    for (int n = 0; n < kStepRecords && bytesRead_ < budget; ++n) {
        while (!ends_.empty() && at_ >= ends_.back()) ends_.pop_back();
        if (ends_.empty() && !tops_.empty()) {
            if (nextTop_ == tops_.size()) return 0;  // the last live record read
            at_ = tops_[nextTop_++];
            notesEnd_ = droppedUntil_ = 0;
        }
        const uint64_t end = ends_.empty() ? size_ : ends_.back();
        if (end - at_ < headerBytes_) {
            if (ends_.empty()) return 0;  // the end of the stream
            return -1;
        }
        unsigned char h[kHeaderBytes95];
        if (!read_at(stream_.get(), at_, headerBytes_, h)) return -1;
        const Header header = Parse(h);
        const uint64_t body = at_ + headerBytes_;
        if (header.length > end - body) return -1;  // past its container or the stream
        at_ = body + header.length;
        if (header.container) {
            if (!Skipped(header, body - headerBytes_) && ends_.size() < kMaxDepth &&
                header.length > 0 && !Opaque(body - headerBytes_)) {
                if (header.type == kNotes && ends_.empty()) notesEnd_ = at_;
                ends_.push_back(at_);
                at_ = body;
            }
        } else if (notesEnd_ != 0 && Dropped(header, body)) {
            continue;
        } else if (is_text(header, v95_)) {
            if (int r = Text(header, body); r <= 0) return r;
        }
    }
    return 1;
}

}  // namespace

std::unique_ptr<OleReader> OpenPresentationReader(std::unique_ptr<OleFile> file,
                                                  const DXMLimits &limits) {
    if (file->Child("EncryptedSummary")) return nullptr;
    InputRef stream = file->Child("PowerPoint Document");
    if (!stream) return nullptr;
    InputRef user = file->Child("Current User");
    auto reader = std::make_unique<PresentationReader>(std::move(file), std::move(stream), limits);
    if (reader->V95()) {
        user.reset();  // the user's name only
    } else if (user) {
        // The current user atom: its header, its size, then its token.
        unsigned char token[4];
        if (read_at(user.get(), 12, 4, token) && le32(token) == kEncryptedToken) return nullptr;
    }
    if (!reader->Open(user.get())) return nullptr;
    return reader;
}

}  // namespace msdoc
