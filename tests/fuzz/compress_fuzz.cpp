// compress_fuzz.cpp - fuzz target: a compressed document through the
// compression module, as the worker opens it: decompression, the format
// rules on the decompressed head (and on the stream past it, for a DOS EPS
// section and a `.po` head left undecided), and the text of text, troff and
// markup (charset decision, conversion, tag and request stripping) read to
// its end.
//
// An input that starts with the signature of a gzip, bzip2, xz, zstd, lzip,
// LZ4, `.lzma` or `.Z` stream is that stream; any other input is the document inside, gzipped
// here, so that mutations reach the layers behind decompression too.
#include <unistd.h>
#include <zlib.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string>

#include "doctype/dx_abi.h"
#include "dxfilter_fuzz.h"
#include "filters/dxfilter/decompress.h"
#include "filters/dxfilter/dx_module.h"

extern "C" const DXModule *DXM_GetModule(void);

namespace {

std::string gzip(const uint8_t *data, size_t size) {
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::string out(deflateBound(&z, size), '\0');
    z.next_in = const_cast<Bytef *>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END ? out : std::string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string packed;
    if (!dxf::CodecOf({data, size})) {
        packed = gzip(data, size);
        data = reinterpret_cast<const uint8_t *>(packed.data());
        size = packed.size();
    }
    const auto *module = reinterpret_cast<const DXMUnpackModule *>(DXM_GetModule());
    dxfuzz::MemoryStream doc(data, size);
    // A smaller cap than the plug-in's keeps bombs quick to fuzz.
    DXMLimits limits = dxfuzz::Limits();
    limits.maxPartBytes = 4u << 20;
    DXMExtractor *extractor = nullptr;
    DXMInner inner{-1, 0, 0};
    switch (module->unpack(doc.stream(), doc.size(), &limits, &extractor, &inner)) {
        case 0:
            if (extractor || inner.fd >= 0) std::abort();
            return 0;
        case 1:
            if (!extractor || inner.fd >= 0) std::abort();
            dxfuzz::Drain(std::make_unique<dxf::ModuleExtractor>(&module->module, extractor));
            return 0;
        case 2: {
            if (extractor || inner.fd < 0) std::abort();
            const off_t end = lseek(inner.fd, 0, SEEK_END);
            close(inner.fd);
            // The whole document, within the cap, of a format some reader takes.
            if (end != inner.size || inner.size <= 0 ||
                static_cast<uint64_t>(inner.size) > limits.maxPartBytes)
                std::abort();
            // A gzipped `.fb2.zip` is a FictionBook, read by this module again;
            // a stream inside a stream is never handed on.
            const bool readable =
                inner.format == DX_FMT_ZIP || inner.format == DX_FMT_RTF ||
                (dxf::ModuleFor(inner.format) != nullptr && inner.format != DX_FMT_COMPRESSED);
            if (!readable) std::abort();
            return 0;
        }
        default:
            std::abort();
    }
}
