// msxls_reader.cpp - the text of Excel 97-2003 workbooks (BIFF8, the
// `Workbook` stream), of Excel 5 and 95 ones (BIFF5/7, `Book`), and of
// Excel 2.x, 3.0 and 4.0 files (BIFF2, BIFF3, BIFF4: no compound file, the
// file is the stream).
//
// The stream is a run of records (16-bit type, 16-bit length, body). The
// workbook globals come first, up to their EOF: they hold the code page
// (BIFF2-7 text is 8-bit in it), the encryption marker and, in BIFF8, the
// shared string table, whose strings run on into CONTINUE records. The
// sheets follow, each from its BOF to its EOF (charts inside a sheet nest
// their own BOF/EOF). A BIFF2-4 file of one sheet has no globals: the
// sheet's own records up to its EOF hold the code page and the encryption
// marker. An Excel 4.0 workbook has globals of its own kind and its sheets
// after them, each opening with a BIFF4 BOF. Text comes from the worksheets'
// cells in the order they are stored (row by row): shared string cells
// (LABELSST), the older string cells (LABEL, RSTRING) and the string results
// of formulas (STRING), BIFF2's own LABEL and STRING with an 8-bit count;
// every cell ends a line, as for XLSX. Numbers carry no language and are
// left out, as are sheet names, comments, headers and footers and charts.
#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/ole_file.h"

namespace msdoc {
namespace {

enum Record : uint16_t {
    kLabel2 = 0x0004,  // BIFF2
    kString2 = 0x0007,
    kBof2 = 0x0009,
    kEof = 0x000A,
    kFilePass = 0x002F,
    kContinue = 0x003C,
    kCodePage = 0x0042,
    kRString = 0x00D6,
    kSst = 0x00FC,
    kLabelSst = 0x00FD,
    kBof3 = 0x0209,
    kLabel = 0x0204,
    kString = 0x0207,
    kBof4 = 0x0409,
    kBof = 0x0809,
};
constexpr uint16_t kBiff8 = 0x0600, kBiff5 = 0x0500;  // BOF versions
// BOF substream types; an Excel 4.0 workbook's globals are a workspace.
constexpr uint16_t kGlobals = 0x0005, kWorksheet = 0x0010, kChart = 0x0020, kMacroSheet = 0x0040,
                   kWorkspace = 0x0100;

constexpr size_t kMaxCellBytes = 64 * 1024;  // one cell or shared string, UTF-8
constexpr size_t kMaxSharedBytes = 32u << 20;
constexpr size_t kMaxSharedStrings = 1u << 20;
constexpr size_t kMaxNesting = 16;  // substreams inside substreams
constexpr int kStepRecords = 4096;  // records looked at per step

// Flags of a BIFF8 string.
constexpr unsigned char kHighByte = 0x01, kExtended = 0x04, kRich = 0x08;

// UTF-16 units as UTF-8, joined as Utf16Joiner joins them; tabs and line
// breaks inside a cell are spaces, other controls dropped. Stops adding at
// `cap` bytes.
void append_units(std::string &out, const std::u16string &units, size_t cap) {
    Utf16Joiner joiner;
    const auto emit = [&out, cap](char32_t c) {
        if (out.size() >= cap) return;
        if (c == '\t' || c == '\n' || c == '\r')
            out += ' ';
        else if (c >= 0x20)
            append_utf8(out, c);
    };
    for (size_t i = 0; i < units.size() && out.size() < cap; ++i) joiner.Unit(units[i], emit);
    joiner.Finish(emit);
}

// The records of a workbook stream, in order.
class Records {
  public:
    explicit Records(GsfInput *stream)
        : stream_(stream), size_(static_cast<uint64_t>(gsf_input_size(stream))) {}

    // Reads the next record into type and body: 1, 0 at the end of the
    // stream (a few bytes too short for a record header end it too), -1 when
    // a record is cut by it.
    int Next() {
        if (size_ - at_ < 4) return 0;
        unsigned char head[4];
        if (!read_at(stream_, at_, 4, head)) return -1;
        type = le16(head);
        body.resize(le16(head + 2));
        if (!read_at(stream_, at_ + 4, body.size(), body.data())) return -1;
        at_ += 4 + body.size();
        return 1;
    }
    // Where the next record starts, to come back to with Seek.
    uint64_t At() const { return at_; }
    void Seek(uint64_t at) { at_ = at; }
    // The type of the record after the current one; 0 when none follows.
    uint16_t Peek() const {
        unsigned char head[2];
        return read_at(stream_, at_, 2, head) ? le16(head) : 0;
    }

    uint16_t type = 0;
    std::vector<unsigned char> body;

  private:
    GsfInput *stream_;
    uint64_t size_, at_ = 0;
};

// The bodies of an SST record and its CONTINUE records, read as one run of
// bytes that knows where each record began: a string's characters that run
// on into the next record start there with a new flag byte.
class SstBytes {
  public:
    std::vector<unsigned char> data;
    std::vector<size_t> starts;  // where each CONTINUE body begins in `data`

    // Copies (or skips, with a null `out`) `n` bytes, across record ends.
    bool Raw(size_t n, unsigned char *out) {
        if (n > data.size() - at_) return false;
        if (out) std::copy_n(data.begin() + static_cast<ptrdiff_t>(at_), n, out);
        at_ += n;
        return true;
    }
    bool AtEnd() const { return at_ == data.size(); }
    bool Skip(uint64_t n) {
        if (n > data.size() - at_) return false;
        at_ += static_cast<size_t>(n);
        return true;
    }
    // Reads `count` characters, one or two bytes each as `wide` says at the
    // start and each continuation's flag byte says after it.
    bool Chars(size_t count, bool wide, std::u16string &out) {
        while (count > 0) {
            const size_t end = NextStart();
            if (at_ == end && end != data.size()) {
                wide = (data[at_++] & kHighByte) != 0;
                continue;
            }
            const size_t width = wide ? 2 : 1;
            const size_t fit = std::min(count, (end - at_) / width);
            if (fit == 0) return false;  // half a character, or the end of the table
            for (size_t i = 0; i < fit; ++i, at_ += width)
                out += wide ? static_cast<char16_t>(data[at_] | (data[at_ + 1] << 8))
                            : static_cast<char16_t>(data[at_]);
            count -= fit;
        }
        return true;
    }

  private:
    // The start of the first record at or after the current position, or
    // the end.
    size_t NextStart() {
        while (next_ < starts.size() && starts[next_] < at_) ++next_;
        return next_ < starts.size() ? starts[next_] : data.size();
    }

    size_t at_ = 0, next_ = 0;
};

class WorkbookReader final : public OleReader {
  public:
    WorkbookReader(std::unique_ptr<OleFile> file, InputRef stream, const DXMLimits &limits)
        : file_(std::move(file)),
          stream_(std::move(stream)),
          records_(stream_.get()),
          limits_(limits) {}
    ~WorkbookReader() override {
        if (legacy_ != reinterpret_cast<iconv_t>(-1)) iconv_close(legacy_);
    }

    // `whole`: the stream is a file of its own (BIFF2-4), not a compound
    // file's.
    bool Open(bool whole);
    int Step(DXMSink *sink) override;

  private:
    bool ReadSst();
    // The string at `at` of the current record, its count `countBytes` (1
    // or 2) long.
    bool CellText(size_t at, std::string &text, size_t countBytes = 2);
    void Legacy(const unsigned char *bytes, size_t length, std::string &out);
    // One cell's text and the end of its line; false once the sink is full.
    bool Emit(const std::string &text) {
        if (text.empty()) return out_.Break();
        wrote_ = true;
        if (out_.sink->text(out_.sink->self, text.data(), text.size())) return false;
        return out_.Break();
    }
    // A record cut by the end of the stream, or damaged, after the first
    // cell's text ends the text there, as a cut PDF or DjVu document does;
    // before it, the workbook cannot be read.
    int Damaged() const { return wrote_ ? 0 : -1; }

    std::unique_ptr<OleFile> file_;
    InputRef stream_;
    Records records_;
    DXMLimits limits_;
    unsigned biff_ = 8;                               // 2, 3, 4, 5 (also BIFF7) or 8
    iconv_t legacy_ = reinterpret_cast<iconv_t>(-1);  // BIFF2-7: code page to UTF-8
    std::vector<std::string> shared_;
    std::vector<uint16_t> substreams_;  // types of the open BOFs, innermost last
    TextOut out_;
    bool wrote_ = false;  // a cell's text has gone to the sink
};

bool WorkbookReader::Open(bool whole) {
    if (records_.Next() != 1 || records_.body.size() < 4) return false;
    const uint16_t version = le16(records_.body.data()), kind = le16(&records_.body[2]);
    if (whole) {
        biff_ = records_.type == kBof2   ? 2
                : records_.type == kBof3 ? 3
                : records_.type == kBof4 ? 4
                                         : 0;
        if (biff_ == 0 || (kind != kWorksheet && kind != kChart && kind != kMacroSheet &&
                           !(biff_ == 4 && kind == kWorkspace)))
            return false;
    } else {
        biff_ = records_.type != kBof ? 0 : version == kBiff8 ? 8 : version == kBiff5 ? 5 : 0;
        if (biff_ == 0 || kind != kGlobals) return false;
    }
    // A file of one sheet is read again from its first record after this.
    const bool oneSheet = whole && kind != kWorkspace;
    const uint64_t sheetStart = records_.At();
    unsigned codePage = 1252;
    // The globals, to their EOF; a file of one sheet, to its EOF or its end.
    for (int seen = 0;; ++seen) {
        if (seen % kStepRecords == 0 && DXM_CpuNs() > limits_.deadlineNs) return false;
        if (records_.Next() != 1) {
            if (oneSheet) break;  // the text ends where the sheet does
            return false;
        }
        const std::vector<unsigned char> &b = records_.body;
        if (records_.type == kEof) break;
        if (records_.type == kFilePass) return false;  // encrypted
        if (records_.type == kCodePage && b.size() >= 2) codePage = le16(b.data());
        if (records_.type == kSst && biff_ == 8 && !ReadSst()) return false;
    }
    if (oneSheet) {
        records_.Seek(sheetStart);
        substreams_.push_back(kind);
    }
    if (biff_ != 8) {
        // Code page 1200 (UTF-16) is BIFF8's.
        legacy_ = OpenCodePage(codePage, "UTF-8");
        if (legacy_ == reinterpret_cast<iconv_t>(-1)) return false;
    }
    return true;
}

// The shared string table: the total and unique string counts, then the
// unique strings, each a character count, flags, the counts of its rich
// text runs and of its extended (phonetic) data when the flags say so, the
// characters, the runs and the extended data.
bool WorkbookReader::ReadSst() {
    SstBytes sst;
    sst.data = records_.body;
    while (records_.Peek() == kContinue) {
        if (records_.Next() != 1) return false;
        if (sst.data.size() + records_.body.size() > limits_.maxPartBytes) return false;
        sst.starts.push_back(sst.data.size());
        sst.data.insert(sst.data.end(), records_.body.begin(), records_.body.end());
    }
    unsigned char head[8];
    if (!sst.Raw(8, head)) return false;
    const uint32_t unique = le32(head + 4);
    size_t sharedBytes = 0;
    std::u16string units;
    for (uint32_t i = 0; i < unique; ++i) {
        if (i % kStepRecords == 0 && DXM_CpuNs() > limits_.deadlineNs) return false;
        // Some writers count more strings than they write.
        if (sst.AtEnd()) break;
        unsigned char h[3], n[4];
        if (!sst.Raw(3, h)) return false;
        const size_t count = le16(h);
        uint16_t runs = 0;
        uint32_t extended = 0;
        if (h[2] & kRich) {
            if (!sst.Raw(2, n)) return false;
            runs = le16(n);
        }
        if (h[2] & kExtended) {
            if (!sst.Raw(4, n)) return false;
            extended = le32(n);
        }
        units.clear();
        if (!sst.Chars(count, h[2] & kHighByte, units) || !sst.Skip(4ull * runs) ||
            !sst.Skip(extended))
            return false;
        // Past either bound later strings are dropped, and the cells that
        // refer to them stay empty.
        if (shared_.size() >= kMaxSharedStrings || sharedBytes > kMaxSharedBytes) continue;
        std::string text;
        append_units(text, units, kMaxCellBytes);
        sharedBytes += text.size();
        shared_.push_back(std::move(text));
    }
    return true;
}

// The text of a string at `at` of the current record: BIFF8 a 16-bit count,
// flags and 8-bit or UTF-16 characters; BIFF2-7 a 16-bit (BIFF2's own
// records: 8-bit) count and 8-bit characters in the code page. False when
// the string runs past its record.
bool WorkbookReader::CellText(size_t at, std::string &text, size_t countBytes) {
    const std::vector<unsigned char> &b = records_.body;
    if (b.size() < at + countBytes + (biff_ == 8 ? 1 : 0)) return false;
    const size_t count = countBytes == 1 ? b[at] : le16(&b[at]);
    at += countBytes;
    if (biff_ != 8) {
        if (count > b.size() - at) return false;
        Legacy(&b[at], count, text);
        return true;
    }
    const bool wide = b[at++] & kHighByte;
    if (count * (wide ? 2 : 1) > b.size() - at) return false;
    std::u16string units;
    for (size_t i = 0; i < count; ++i)
        units += wide ? static_cast<char16_t>(b[at + 2 * i] | (b[at + 2 * i + 1] << 8))
                      : static_cast<char16_t>(b[at + i]);
    append_units(text, units, kMaxCellBytes);
    return true;
}

// 8-bit text in the workbook's code page; bytes it does not know are dropped.
void WorkbookReader::Legacy(const unsigned char *bytes, size_t length, std::string &out) {
    std::string in(reinterpret_cast<const char *>(bytes), length);
    for (char &c : in)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    char *from = in.data();
    size_t left = in.size();
    while (left > 0 && out.size() < kMaxCellBytes) {
        char buffer[1024];
        char *to = buffer;
        size_t room = sizeof buffer;
        const size_t r = iconv(legacy_, &from, &left, &to, &room);
        out.append(buffer, static_cast<size_t>(to - buffer));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            if (left == 0) break;
            ++from, --left;  // a byte the code page does not know, or a cut character
        }
    }
    iconv(legacy_, nullptr, nullptr, nullptr, nullptr);
}

int WorkbookReader::Step(DXMSink *sink) {
    out_.sink = sink;
    if (DXM_CpuNs() > limits_.deadlineNs) return 0;
    for (int n = 0; n < kStepRecords; ++n) {
        const int got = records_.Next();
        if (got <= 0) return got == 0 ? 0 : Damaged();
        const std::vector<unsigned char> &b = records_.body;
        uint16_t type = records_.type;
        // The sheets of an Excel 4.0 workbook open with BIFF4 BOFs.
        if (biff_ <= 4 && (type == kBof2 || type == kBof3 || type == kBof4)) type = kBof;
        switch (type) {
            case kBof:
                if (substreams_.size() >= kMaxNesting || b.size() < 4) return Damaged();
                substreams_.push_back(le16(&b[2]));
                // Each sheet starts a line of its own.
                if (substreams_.back() == kWorksheet && !out_.Break()) return 0;
                continue;
            case kEof:
                if (!substreams_.empty()) substreams_.pop_back();
                continue;
            case kFilePass:
                return Damaged();
            default:
                break;
        }
        if (substreams_.empty() || substreams_.back() != kWorksheet) continue;
        std::string text;
        switch (type) {
            case kLabelSst:
                if (biff_ != 8 || b.size() < 10) return Damaged();
                if (le32(&b[6]) < shared_.size()) text = shared_[le32(&b[6])];
                break;
            case kLabel:
            case kRString:
                if (!CellText(6, text)) return Damaged();
                break;
            case kString:
                if (!CellText(0, text)) return Damaged();
                break;
            case kLabel2:  // the row, column and three bytes of cell attributes first
                if (biff_ > 4) continue;
                if (!CellText(7, text, 1)) return Damaged();
                break;
            case kString2:
                if (biff_ > 4) continue;
                if (!CellText(0, text, 1)) return Damaged();
                break;
            default:
                continue;
        }
        if (!Emit(text)) return 0;
    }
    return 1;
}

}  // namespace

std::unique_ptr<OleReader> OpenWorkbookReader(std::unique_ptr<OleFile> file,
                                              const DXMLimits &limits) {
    // Some writers spell the names in capitals. An Excel 2.x to 4.0 file is
    // no compound file.
    const bool whole = !file->Compound();
    InputRef stream = whole ? file->Whole() : nullptr;
    for (const char *name : {"Workbook", "WORKBOOK", "Book", "BOOK"})
        if (!stream) stream = file->Child(name);
    if (!stream) return nullptr;
    auto reader = std::make_unique<WorkbookReader>(std::move(file), std::move(stream), limits);
    if (!reader->Open(whole)) return nullptr;
    return reader;
}

}  // namespace msdoc
