// tex_fuzz.cpp - fuzz target: LaTeX and Texinfo sources: the format rule
// that tells them from plain text, the charset of their head, the stripper
// (comments, preamble, math, environments and blocks, commands and their
// arguments, accents) fed in one piece and in pieces whose size the input
// chooses, which must give the same text, and the text read to its end
// through the compression module as the worker opens it (formats 380 and
// 381).
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "dxfilter_fuzz.h"
#include "filters/dxfilter/sniff.h"
#include "filters/dxfilter/tex_text.h"
#include "fuzz_support.h"

extern "C" const DXModule *DXM_GetModule(void);

namespace {

// The stripper's text of `source` fed in pieces of `step` bytes.
std::string Stripped(std::string_view source, dxf::TexKind kind, size_t step) {
    std::string out;
    DXMSink sink{&out,
                 [](void *self, const char *utf8, size_t n) {
                     static_cast<std::string *>(self)->append(utf8, n);
                     return 0;
                 },
                 [](void *) {}};
    dxf::TexStripper stripper(kind);
    if (source.empty()) FUZZ_CHECK(stripper.Feed("", true, &sink));
    for (size_t i = 0; i < source.size(); i += step)
        FUZZ_CHECK(stripper.Feed(source.substr(i, step), i + step >= source.size(), &sink));
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    dxf::TexKindOf(bytes.substr(0, dxf::kSniffBytes));
    for (const dxf::TexKind kind : {dxf::TexKind::kLatex, dxf::TexKind::kTexinfo}) {
        FUZZ_CHECK(!dxf::TexCharset(bytes, kind, true).empty());
        FUZZ_CHECK(!dxf::TexCharset(bytes, kind, false).empty());
        const std::string whole = Stripped(bytes, kind, size + 1);
        // A piece size from the input's first byte: 1 to 64.
        const size_t step = size > 0 ? 1 + data[0] % 64 : 1;
        FUZZ_CHECK(Stripped(bytes, kind, step) == whole);
        // No byte gives more than three of text (a backquote, a quotation
        // mark in UTF-8), and the text ends in one line feed.
        FUZZ_CHECK(whole.size() <= 3 * size + 1);
    }

    // The module's reader, read to the end.
    dxfuzz::ExtractWithModule(DXM_GetModule(), data, size, DX_FMT_TEX);
    dxfuzz::ExtractWithModule(DXM_GetModule(), data, size, DX_FMT_TEXINFO);
    return 0;
}
