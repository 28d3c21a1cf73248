// msdoc_module.cpp - dxfilter_msdoc.so: the text of Word 97-2003 documents.
//
// libgsf reads the compound file (its allocation tables, directory and
// streams) through an input over the engine's stream callbacks, fetching only
// the sectors asked for. The Word layer is our own: the file information block
// of the WordDocument stream names the piece table in the table stream
// (0Table or 1Table), and the piece table maps character positions to runs of
// 8-bit or UTF-16LE text in the WordDocument stream. The main text comes
// first, then footnotes, endnotes and text boxes; headers, footers and
// comments are left out, as they are for the other word processor formats.
//
// Everything a document says about itself is checked against the sizes of
// the streams before it is used: a damaged, truncated or encrypted document
// fails to open and is never read out of bounds.
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-impl.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"

namespace {

int64_t now_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

}  // namespace

// ---- a GsfInput over a DXStream ----------------------------------------------------

extern "C" {

// Every input made from one document (libgsf duplicates its source for each
// stream it opens) shares the engine's stream and seeks it before each read.
typedef struct DxGsfInput {
    GsfInput parent;
    DXStream *dx;
    int64_t deadlineNs; /* reads fail after this time, ending the document */
    guint8 *buffer;     /* for reads that ask for no buffer of their own */
    size_t bufferSize;
} DxGsfInput;

typedef struct DxGsfInputClass {
    GsfInputClass parentClass;
} DxGsfInputClass;

G_DEFINE_TYPE(DxGsfInput, dx_gsf_input, GSF_INPUT_TYPE)

static DxGsfInput *dx_gsf_input_new(DXStream *dx, gsf_off_t size, int64_t deadlineNs) {
    auto *self = static_cast<DxGsfInput *>(g_object_new(dx_gsf_input_get_type(), nullptr));
    self->dx = dx;
    self->deadlineNs = deadlineNs;
    gsf_input_set_size(GSF_INPUT(self), size);
    return self;
}

static GsfInput *dx_gsf_input_dup(GsfInput *input, GError **) {
    auto *self = reinterpret_cast<DxGsfInput *>(input);
    return GSF_INPUT(dx_gsf_input_new(self->dx, input->size, self->deadlineNs));
}

static const guint8 *dx_gsf_input_read(GsfInput *input, size_t count, guint8 *out) {
    auto *self = reinterpret_cast<DxGsfInput *>(input);
    if (count > INT_MAX || now_ns() > self->deadlineNs) return nullptr;
    if (!out) {
        if (self->bufferSize < count) {
            g_free(self->buffer);
            self->buffer = static_cast<guint8 *>(g_try_malloc(count));
            self->bufferSize = self->buffer ? count : 0;
            if (!self->buffer) return nullptr;
        }
        out = self->buffer;
    }
    if (!self->dx->seek(self->dx, input->cur_offset, DX_SEEK_SET)) return nullptr;
    size_t done = 0;
    while (done < count) {
        int got = self->dx->read(self->dx, out + done, static_cast<int>(count - done));
        if (got <= 0) return nullptr;
        done += static_cast<size_t>(got);
    }
    return out;
}

// Positions are kept by GsfInput itself; every read seeks the stream anew.
static gboolean dx_gsf_input_seek(GsfInput *, gsf_off_t, GSeekType) {
    return FALSE;
}

static void dx_gsf_input_finalize(GObject *object) {
    g_free(reinterpret_cast<DxGsfInput *>(object)->buffer);
    G_OBJECT_CLASS(dx_gsf_input_parent_class)->finalize(object);
}

static void dx_gsf_input_class_init(DxGsfInputClass *klass) {
    G_OBJECT_CLASS(klass)->finalize = dx_gsf_input_finalize;
    GsfInputClass *input = GSF_INPUT_CLASS(klass);
    input->Dup = dx_gsf_input_dup;
    input->Read = dx_gsf_input_read;
    input->Seek = dx_gsf_input_seek;
}

static void dx_gsf_input_init(DxGsfInput *self) {
    self->dx = nullptr;
    self->deadlineNs = 0;
    self->buffer = nullptr;
    self->bufferSize = 0;
}

}  // extern "C"

namespace {

// ---- the Word binary format ----------------------------------------------------------

constexpr uint16_t kWordIdent = 0xA5EC;
// Word 97 and every later version write 0xC1 (a few early writers 0xC0 or
// 0xC2); Word 6 and Word 95 wrote 101 to 105, with another layout.
constexpr uint16_t kMinNFib = 0xC0;
constexpr uint16_t kEncrypted = 1u << 8;  // flags of the FIB base
constexpr uint16_t kWhichTable = 1u << 9;
constexpr uint16_t kObfuscated = 1u << 15;

// The character counts of the FIB's fibRgLw, by index, in character
// position order of their stories.
enum Story : int {
    kMainText = 3,
    kFootnotes,
    kHeaders,
    kMacros,
    kComments,
    kEndnotes,
    kTextBoxes,
    kHeaderTextBoxes,
    kStoryEnd
};
// The stories whose text is extracted.
constexpr std::array<Story, 4> kReadStories = {kMainText, kFootnotes, kEndnotes, kTextBoxes};
constexpr size_t kClxPair = 33;  // index of fcClx/lcbClx in fibRgFcLcbBlob

constexpr size_t kFibBytes = 4096;         // the FIB is read from this much of its stream
constexpr uint32_t kStepChars = 8192;      // characters decoded per step
constexpr size_t kMaxFieldDepth = 256;     // deeper fields are read, their text dropped
constexpr uint64_t kMaxPieces = 1u << 20;  // piece table entries

uint16_t le16(const unsigned char *p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t le32(const unsigned char *p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Bytes 0x80-0x9F of 8-bit pieces that stand for other characters; every
// other byte is the code point of the same value. Word stores only text that
// fits this mapping in 8-bit pieces.
constexpr char16_t kCompressedHigh[32] = {
    0x0080, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x008E, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x009E, 0x0178};

struct Piece {
    uint32_t cpStart, cpEnd;  // character positions [cpStart, cpEnd)
    uint32_t offset;          // byte offset of cpStart in the WordDocument stream
    bool compressed;          // one byte per character, else two
};

struct Range {
    uint32_t start, end;
};

void append_utf8(std::string &out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Reads `count` bytes at `offset` of a stream; false when they are not all there.
bool read_at(GsfInput *input, uint64_t offset, size_t count, unsigned char *out) {
    if (count == 0) return true;
    if (offset > static_cast<uint64_t>(gsf_input_size(input)) ||
        count > static_cast<uint64_t>(gsf_input_size(input)) - offset)
        return false;
    return !gsf_input_seek(input, static_cast<gsf_off_t>(offset), G_SEEK_SET) &&
           gsf_input_read(input, count, out) != nullptr;
}

struct DocExtractor {
    DxGsfInput *source = nullptr;
    GsfInfile *ole = nullptr;
    GsfInput *word = nullptr;  // the WordDocument stream
    std::vector<Piece> pieces;
    std::vector<Range> ranges;  // what is still to be read, in order
    size_t range = 0;
    uint32_t cp = 0;  // next character position within ranges[range]
    DXMLimits limits{};
    uint64_t bytesRead = 0;

    // Fields: for each open field, whether its instruction is still running.
    std::vector<bool> fields;
    size_t instructions = 0;  // open fields still in their instruction
    size_t deepFields = 0;    // open fields beyond kMaxFieldDepth
    char16_t highSurrogate = 0;
    std::vector<unsigned char> bytes;
    std::string utf8;

    ~DocExtractor() {
        if (word) g_object_unref(word);
        if (ole) g_object_unref(ole);
        if (source) g_object_unref(source);
    }

    bool Open(DXStream *stream, int64_t size);
    bool ReadPieceTable(GsfInput *table, uint32_t fcClx, uint32_t lcbClx);
    int Step(DXMSink *sink);
    void Character(char16_t c, DXMSink *sink);
    bool Flush(DXMSink *sink) {
        int full = utf8.empty() ? 0 : sink->text(sink->self, utf8.data(), utf8.size());
        utf8.clear();
        return full == 0;
    }
};

bool DocExtractor::Open(DXStream *stream, int64_t size) {
    source = dx_gsf_input_new(stream, size, limits.deadlineNs);
    GError *error = nullptr;
    ole = gsf_infile_msole_new(GSF_INPUT(source), &error);
    if (error) g_error_free(error);
    if (!ole) return false;
    word = gsf_infile_child_by_name(ole, "WordDocument");
    if (!word) return false;

    const uint64_t wordSize = static_cast<uint64_t>(gsf_input_size(word));
    std::vector<unsigned char> fib(std::min<uint64_t>(wordSize, kFibBytes));
    if (fib.size() < 0x22 || !read_at(word, 0, fib.size(), fib.data())) return false;
    const unsigned char *f = fib.data();
    const uint16_t flags = le16(f + 0x0A);
    if (le16(f) != kWordIdent || le16(f + 2) < kMinNFib) return false;
    if (flags & (kEncrypted | kObfuscated)) return false;

    // The FIB's parts have counted lengths: fibRgW (csw 16-bit words),
    // fibRgLw (cslw 32-bit words), fibRgFcLcbBlob (cbRgFcLcb offset-size pairs).
    auto fits = [&](size_t at, size_t n) { return at <= fib.size() && n <= fib.size() - at; };
    size_t at = 0x20;
    const size_t csw = le16(f + at);
    at += 2 + 2 * csw;
    if (!fits(at, 2)) return false;
    const size_t cslw = le16(f + at);
    const size_t rgLw = at + 2;
    at = rgLw + 4 * cslw;
    if (cslw < kStoryEnd || !fits(at, 2)) return false;
    const size_t pairs = le16(f + at);
    const size_t blob = at + 2;
    if (pairs <= kClxPair || !fits(blob, 8 * (kClxPair + 1))) return false;
    const uint32_t fcClx = le32(f + blob + 8 * kClxPair);
    const uint32_t lcbClx = le32(f + blob + 8 * kClxPair + 4);

    GsfInput *table = gsf_infile_child_by_name(ole, (flags & kWhichTable) ? "1Table" : "0Table");
    if (!table) return false;
    const bool piecesRead = ReadPieceTable(table, fcClx, lcbClx);
    g_object_unref(table);
    if (!piecesRead) return false;

    // Each piece must lie inside the WordDocument stream.
    for (const Piece &p : pieces) {
        const uint64_t length = uint64_t{p.cpEnd - p.cpStart} * (p.compressed ? 1 : 2);
        if (p.offset > wordSize || length > wordSize - p.offset) return false;
    }

    // The stories follow one another in character positions, main text first.
    const uint32_t lastCp = pieces.empty() ? 0 : pieces.back().cpEnd;
    uint64_t start = 0;
    for (int story = kMainText; story < kStoryEnd; ++story) {
        const uint32_t count = le32(f + rgLw + 4 * story);
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
// n + 1 character positions followed by n 8-byte piece descriptors.
bool DocExtractor::ReadPieceTable(GsfInput *table, uint32_t fcClx, uint32_t lcbClx) {
    if (lcbClx == 0 || lcbClx > limits.maxPartBytes) return false;
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
        Piece p{from, to, fc & 0x3FFFFFFF, (fc & 0x40000000) != 0};
        if (p.compressed) p.offset /= 2;
        if (to > from) pieces.push_back(p);
    }
    return true;
}

// Fields are begin (0x13) instruction [separator (0x14) result] end (0x15);
// only their results are text, nested fields included.
void DocExtractor::Character(char16_t c, DXMSink *sink) {
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
    if (c >= 0xD800 && c <= 0xDBFF) {
        highSurrogate = c;
        return;
    }
    char32_t cp = c;
    if (c >= 0xDC00 && c <= 0xDFFF) {
        if (!highSurrogate) return;
        cp = 0x10000 + ((char32_t{highSurrogate} - 0xD800) << 10) + (c - 0xDC00);
    }
    highSurrogate = 0;
    switch (cp) {
        case 0x07:  // end of a table cell or row
        case 0x0B:  // line break
        case 0x0C:  // page or section break
        case 0x0D:  // end of a paragraph
            Flush(sink);
            sink->brk(sink->self);
            return;
        case 0x09:
        case 0xA0:
            utf8 += ' ';
            return;
        case 0x1E:  // non-breaking hyphen
            utf8 += '-';
            return;
        default:
            // Object anchors, note marks, optional hyphens and other controls.
            if (cp < 0x20) return;
            append_utf8(utf8, cp);
    }
}

int DocExtractor::Step(DXMSink *sink) {
    while (range < ranges.size() && cp >= ranges[range].end) {
        if (++range < ranges.size()) cp = ranges[range].start;
        // A story starts outside any field of the one before.
        fields.clear();
        instructions = deepFields = 0;
        if (!Flush(sink)) return 0;
        sink->brk(sink->self);
    }
    if (range >= ranges.size()) return 0;
    if (now_ns() > limits.deadlineNs || bytesRead > limits.maxTotalBytes) return 0;
    auto piece = std::upper_bound(pieces.begin(), pieces.end(), cp,
                                  [](uint32_t at, const Piece &p) { return at < p.cpEnd; });
    // The piece table covers every story (checked on opening).
    if (piece == pieces.end() || cp < piece->cpStart) return -1;
    const uint32_t end = std::min({piece->cpEnd, ranges[range].end, cp + kStepChars});
    const size_t width = piece->compressed ? 1 : 2;
    bytes.resize(size_t{end - cp} * width);
    if (!read_at(word, piece->offset + uint64_t{cp - piece->cpStart} * width, bytes.size(),
                 bytes.data()))
        return -1;
    bytesRead += bytes.size();
    cp = end;
    for (size_t i = 0; i < bytes.size(); i += width) {
        char16_t c = bytes[i];
        if (width == 2)
            c = static_cast<char16_t>(c | (bytes[i + 1] << 8));
        else if (c >= 0x80 && c < 0xA0)
            c = kCompressedHigh[c - 0x80];
        Character(c, sink);
    }
    return Flush(sink) ? 1 : 0;
}

void silent_log(const gchar *, GLogLevelFlags, const gchar *, gpointer) {}

DXMExtractor *msdoc_open(DXStream *stream, int64_t size, int format, const DXMLimits *limits) {
    if (format != DX_FMT_DOC || !limits || size <= 0) return nullptr;
    // libgsf reports damaged compound files through GLib's log; the engine
    // prints nothing. Installed once: every call would add another handler.
    static const bool initialised = [] {
        gsf_init();
        for (const char *domain : {"libgsf", "libgsf:msole"})
            g_log_set_handler(domain,
                              static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL |
                                                          G_LOG_FLAG_RECURSION),
                              silent_log, nullptr);
        return true;
    }();
    (void)initialised;
    auto *ex = new (std::nothrow) DocExtractor();
    if (!ex) return nullptr;
    ex->limits = *limits;
    bool opened = false;
    try {
        opened = ex->Open(stream, size);
    } catch (...) {
        opened = false;
    }
    if (!opened) {
        delete ex;
        return nullptr;
    }
    return reinterpret_cast<DXMExtractor *>(ex);
}

int msdoc_step(DXMExtractor *extractor, DXMSink *sink) {
    try {
        return reinterpret_cast<DocExtractor *>(extractor)->Step(sink);
    } catch (...) {
        return -1;
    }
}

void msdoc_close(DXMExtractor *extractor) {
    delete reinterpret_cast<DocExtractor *>(extractor);
}

constexpr DXModule kModule = {DXM_ABI_VERSION, nullptr,    nullptr,
                              msdoc_open,      msdoc_step, msdoc_close};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DXModule *DXM_GetModule(void) {
    return &kModule;
}
