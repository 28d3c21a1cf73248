// xlsb.h - the records of an Excel binary workbook's parts (`.xlsb`: a zip
// package like XLSX whose workbook, shared strings and sheets are record
// streams instead of XML) and the text of their cells.
//
// A record is its type (1 or 2 bytes) and the size of its body (1 to 4
// bytes), each seven bits a byte with the high bit set on every byte but
// the last, least significant first, then the body. A string in a body is
// a count of UTF-16 units (32 bits, little-endian) and the units.
#ifndef GLOTTA_FILTERS_DXFILTER_XLSB_H
#define GLOTTA_FILTERS_DXFILTER_XLSB_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dxf {

// The record types read for text.
namespace xlsb {
inline constexpr uint32_t kCellString = 6;         // a cell's own string
inline constexpr uint32_t kCellSharedString = 7;   // a cell's shared string number
inline constexpr uint32_t kFormulaString = 8;      // a formula's string result
inline constexpr uint32_t kShortCellString = 17;   // a cell's own string, column implied
inline constexpr uint32_t kShortCellShared = 18;   // a shared string number, column implied
inline constexpr uint32_t kSharedStringItem = 19;  // one string of the shared string table
inline constexpr uint32_t kCellRichString = 62;    // a cell's own string with its runs
inline constexpr uint32_t kSheetBundle = 156;      // a sheet of the workbook: its relationship

// Whether a sheet's record of this type holds a cell's string or its number.
constexpr bool CellText(uint32_t type) {
    return type == kCellString || type == kCellSharedString || type == kFormulaString ||
           type == kShortCellString || type == kShortCellShared || type == kCellRichString;
}
}  // namespace xlsb

// Splits a record stream pushed in pieces of any size into records. A record
// whose body is longer than kMaxBody is passed over unread (no record the
// text needs is that long), as is a record of a type the reader does not
// want; memory stays within one record. A header that no record has (a type
// or size with too many bytes) ends the stream: the records after it cannot
// be found.
class Biff12Records {
  public:
    static constexpr uint32_t kMaxBody = 1u << 20;

    // Calls record(type, body) for each record the bytes complete whose type
    // wanted(type) takes; a record that answers false ends the stream.
    template <typename Record, typename Wanted>
    void Push(std::string_view bytes, Record &&record, Wanted &&wanted) {
        while (!bytes.empty() && !ended_) {
            if (between()) {
                // Most records have a header of two bytes (a type and a size
                // below 128) and lie whole in the piece: read them in place.
                size_t at = 0;
                while (bytes.size() - at >= 2) {
                    const auto type = static_cast<unsigned char>(bytes[at]);
                    const auto size = static_cast<unsigned char>(bytes[at + 1]);
                    if (((type | size) & 0x80u) != 0 || bytes.size() - at - 2 < size) break;
                    at += 2;
                    if (wanted(uint32_t{type}) && !record(uint32_t{type}, bytes.substr(at, size)))
                        ended_ = true;
                    at += size;
                    if (ended_) break;
                }
                bytes.remove_prefix(at);
                if (bytes.empty() || ended_) break;
            }
            if (skip_ > 0) {
                const size_t n = bytes.size() < skip_ ? bytes.size() : static_cast<size_t>(skip_);
                skip_ -= n;
                bytes.remove_prefix(n);
            } else if (!haveHeader_) {
                Header(static_cast<unsigned char>(bytes.front()));
                bytes.remove_prefix(1);
                if (haveHeader_ && (size_ > kMaxBody || !wanted(type_)))
                    skip_ = size_, haveHeader_ = false;
            } else {
                const size_t want = size_ - body_.size();
                const size_t n = bytes.size() < want ? bytes.size() : want;
                body_.append(bytes.substr(0, n));
                bytes.remove_prefix(n);
            }
            if (haveHeader_ && body_.size() == size_) {
                haveHeader_ = false;
                if (!record(type_, std::string_view(body_))) ended_ = true;
                body_.clear();
            }
        }
    }

    // The same, for every type.
    template <typename Record>
    void Push(std::string_view bytes, Record &&record) {
        Push(bytes, record, [](uint32_t) { return true; });
    }

    // Whether a header no record has was met.
    bool damaged() const { return damaged_; }
    // Whether the bytes so far end between two records.
    bool between() const { return !haveHeader_ && skip_ == 0 && headerBytes_ == 0; }

  private:
    void Header(unsigned char byte);

    std::string body_;
    uint64_t skip_ = 0;  // bytes of an overlong body still to pass over
    uint32_t type_ = 0, size_ = 0;
    int headerBytes_ = 0;  // bytes of the header read so far
    int typeBytes_ = 0;    // of them, the type's (0 while it goes on)
    bool haveHeader_ = false;
    bool damaged_ = false, ended_ = false;
};

// A string of a record's body at `offset`: its count of UTF-16 units and
// the units, as UTF-8 of at most `maxBytes` bytes (a longer string is cut at
// a character). Nothing when the count runs past the body. `next` (when
// given) gets the offset after the string.
std::optional<std::string> Biff12String(std::string_view body, size_t offset, size_t maxBytes,
                                        size_t *next = nullptr);

// The text of one shared string item: its string without its runs and
// phonetic text; nothing when the item is damaged.
std::optional<std::string> XlsbSharedItem(std::string_view body, size_t maxBytes);

// What a sheet's cell record holds: the cell's own string (`text`), a shared
// string's number (`shared`), or, for any other record, nothing.
struct XlsbCell {
    enum class Kind { kNone, kText, kShared } kind = Kind::kNone;
    std::string text;
    uint32_t shared = 0;
};
XlsbCell XlsbCellOf(uint32_t type, std::string_view body, size_t maxBytes);

// The relationship id of a workbook's sheet record (kSheetBundle); empty
// for a sheet without one or a damaged record.
std::string XlsbSheetRelationship(std::string_view body);

}  // namespace dxf

#endif
