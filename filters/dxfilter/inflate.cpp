// inflate.cpp - raw deflate within bounds (see inflate.h).
#include "filters/dxfilter/inflate.h"

#include <zlib.h>

#include <algorithm>

#include "filters/dxfilter/dx_module.h"

namespace dxf {
namespace {

constexpr size_t kStep = 256 * 1024;  // bytes inflated between looks at the clock

}  // namespace

int InflateRaw(std::string_view in, size_t cap, int64_t deadlineNs, std::string &out) {
    z_stream z{};
    int rc = inflateInit2(&z, -MAX_WBITS);
    if (rc != Z_OK) return rc;
    z.next_in = const_cast<Bytef *>(reinterpret_cast<const Bytef *>(in.data()));
    z.avail_in = static_cast<uInt>(std::min<size_t>(in.size(), UINT32_MAX));
    const size_t limit = out.size() + cap;
    while (rc == Z_OK && out.size() < limit && DXM_CpuNs() <= deadlineNs) {
        const size_t before = out.size();
        const size_t step = std::min(kStep, limit - before);
        out.resize(before + step);
        z.next_out = reinterpret_cast<Bytef *>(out.data() + before);
        z.avail_out = static_cast<uInt>(step);
        rc = inflate(&z, Z_NO_FLUSH);
        out.resize(before + (step - z.avail_out));
    }
    inflateEnd(&z);
    return rc;
}

}  // namespace dxf
