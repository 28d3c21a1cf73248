// xlsb.cpp - Excel binary workbook records: headers read a byte at a time,
// strings and cells read with every bound checked against the body.
#include "filters/dxfilter/xlsb.h"

#include "filters/dxfilter/bytes.h"
#include "filters/dxfilter/utf8.h"

namespace dxf {
namespace {

constexpr int kMaxTypeBytes = 2;
constexpr int kMaxSizeBytes = 4;
constexpr size_t kCell = 8;       // column, style and flags before a cell's value
constexpr size_t kShortCell = 4;  // style and flags: the column follows the cell before
constexpr size_t kMaxRelationshipId = 255;

const unsigned char *bytes_of(std::string_view body, size_t offset) {
    return reinterpret_cast<const unsigned char *>(body.data()) + offset;
}

std::optional<uint32_t> u32_at(std::string_view body, size_t offset) {
    if (body.size() < offset || body.size() - offset < 4) return std::nullopt;
    return le32(bytes_of(body, offset));
}

}  // namespace

void Biff12Records::Header(unsigned char byte) {
    if (headerBytes_ == 0) type_ = size_ = 0;
    const uint32_t bits = byte & 0x7Fu;
    const bool more = (byte & 0x80u) != 0;
    if (typeBytes_ == 0) {
        type_ |= bits << (7 * headerBytes_);
        ++headerBytes_;
        if (!more)
            typeBytes_ = headerBytes_;
        else if (headerBytes_ == kMaxTypeBytes)
            damaged_ = ended_ = true;
        return;
    }
    const int k = headerBytes_ - typeBytes_;
    size_ |= bits << (7 * k);
    ++headerBytes_;
    if (more) {
        if (k + 1 == kMaxSizeBytes) damaged_ = ended_ = true;
        return;
    }
    headerBytes_ = typeBytes_ = 0;
    haveHeader_ = true;
}

std::optional<std::string> Biff12String(std::string_view body, size_t offset, size_t maxBytes,
                                        size_t *next) {
    const std::optional<uint32_t> count = u32_at(body, offset);
    if (!count || *count > (body.size() - offset - 4) / 2) return std::nullopt;
    const size_t start = offset + 4;
    if (next) *next = start + 2 * size_t{*count};
    std::string out;
    bool full = false;
    auto add = [&](char32_t cp) {
        if (full) return;
        const size_t before = out.size();
        append_utf8(out, cp);
        if (out.size() > maxBytes) out.resize(before), full = true;
    };
    Utf16Joiner joiner;
    for (size_t i = 0; i < *count && !full; ++i)
        joiner.Unit(static_cast<char16_t>(le16(bytes_of(body, start + 2 * i))), add);
    joiner.Finish(add);
    return out;
}

std::optional<std::string> XlsbSharedItem(std::string_view body, size_t maxBytes) {
    // A byte of flags (runs, phonetic text) comes before the string; the
    // runs and the phonetic text after it are not the string's text.
    if (body.empty()) return std::nullopt;
    return Biff12String(body, 1, maxBytes);
}

XlsbCell XlsbCellOf(uint32_t type, std::string_view body, size_t maxBytes) {
    XlsbCell cell;
    std::optional<std::string> text;
    std::optional<uint32_t> shared;
    switch (type) {
        case xlsb::kCellString:
        case xlsb::kFormulaString:
            text = Biff12String(body, kCell, maxBytes);
            break;
        case xlsb::kCellRichString:
            text = Biff12String(body, kCell + 1, maxBytes);  // after its byte of flags
            break;
        case xlsb::kShortCellString:
            text = Biff12String(body, kShortCell, maxBytes);
            break;
        case xlsb::kCellSharedString:
            shared = u32_at(body, kCell);
            break;
        case xlsb::kShortCellShared:
            shared = u32_at(body, kShortCell);
            break;
        default:
            break;
    }
    if (text) {
        cell.kind = XlsbCell::Kind::kText;
        cell.text = std::move(*text);
    } else if (shared) {
        cell.kind = XlsbCell::Kind::kShared;
        cell.shared = *shared;
    }
    return cell;
}

std::string XlsbSheetRelationship(std::string_view body) {
    // The sheet's state and tab number come before its relationship id; a
    // sheet without one has the count 0xFFFFFFFF, which no body holds.
    return Biff12String(body, 8, kMaxRelationshipId).value_or(std::string());
}

}  // namespace dxf
