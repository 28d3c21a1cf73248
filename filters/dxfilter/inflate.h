// inflate.h - raw deflate data (no zlib or gzip framing, as zip's method 8
// and HWP sections store it) inflated within a cap and a deadline.
#ifndef GLOTTA_FILTERS_DXFILTER_INFLATE_H
#define GLOTTA_FILTERS_DXFILTER_INFLATE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dxf {

// Inflates `in`, appending to `out`, which stops growing at `cap` bytes
// more; a step at a time, no step started once DXM_CpuNs has passed
// `deadlineNs`. What was inflated stays in `out`. Returns zlib's last
// answer: Z_STREAM_END when the stream ended, Z_OK when the cap or the
// deadline stopped it, Z_BUF_ERROR when the input was cut, another code when
// it is damaged (or zlib could not start).
int InflateRaw(std::string_view in, size_t cap, int64_t deadlineNs, std::string &out);

}  // namespace dxf

#endif
