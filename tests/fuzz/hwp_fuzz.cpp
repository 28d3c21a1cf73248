// hwp_fuzz.cpp - fuzz target: a Hangul word processor document through the
// HWP reader of the compression module: the compound file rule that tells
// it, the file header, the `BodyText` sections and their raw deflate, the
// same bytes as one section's records and as its deflate stream, and the
// text read to its end through the module as the worker opens it (format
// 368).
#include <algorithm>
#include <span>
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "dxfilter_fuzz.h"
#include "filters/dxfilter/hwp_text.h"
#include "filters/dxfilter/inflate.h"
#include "filters/dxfilter/ole_scan.h"
#include "fuzz_support.h"

extern "C" const DXModule *DXM_GetModule(void);

namespace {

// The lines of `lines` are not empty and add up to its count, which the
// bound holds (a line is cut between characters at it).
void CheckLines(const dxf::HwpLines &lines, size_t maxText) {
    size_t total = 0;
    for (const std::string &line : lines.lines) {
        FUZZ_CHECK(!line.empty());
        total += line.size();
    }
    FUZZ_CHECK(total == lines.bytes);
    FUZZ_CHECK(total <= maxText);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const dxf::ReadAtFn readAt = [&](uint64_t at, void *buffer, size_t count) {
        if (at > size || count > size - at) return false;
        std::copy_n(data + at, count, static_cast<uint8_t *>(buffer));
        return true;
    };
    if (size >= 512)
        dxf::OleFormatFromDirectory(std::span(data, std::min<size_t>(size, 8192)), readAt);

    dxf::HwpBounds bounds;
    bounds.maxSectionBytes = 1u << 20;
    bounds.maxTotalBytes = 4u << 20;
    bounds.maxText = 64 * 1024;
    const dxf::HwpText text = dxf::ReadHwp(bytes, bounds);
    FUZZ_CHECK(text.ok == text.error.empty());
    FUZZ_CHECK(text.ok || text.text.lines.empty());
    CheckLines(text.text, bounds.maxText);

    // The bytes as one section's records, and as its deflate stream.
    dxf::HwpLines records;
    dxf::HwpSectionText(bytes, bounds.maxText, INT64_MAX, records);
    CheckLines(records, bounds.maxText);
    std::string inflated;
    dxf::InflateRaw(bytes, bounds.maxSectionBytes, INT64_MAX, inflated);
    FUZZ_CHECK(inflated.size() <= bounds.maxSectionBytes);
    dxf::HwpLines packed;
    dxf::HwpSectionText(inflated, bounds.maxText, INT64_MAX, packed);
    CheckLines(packed, bounds.maxText);

    dxfuzz::ExtractWithModule(DXM_GetModule(), data, size, DX_FMT_HWP);
    return 0;
}
