// module_stream.h - a document handed to an extraction module, read whole.
#ifndef GLOTTA_FILTERS_DXFILTER_MODULE_STREAM_H
#define GLOTTA_FILTERS_DXFILTER_MODULE_STREAM_H

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

#include "filters/dxfilter/dx_module.h"

namespace dxf {

// The first `size` bytes of `stream` from its start into `out`, fewer when
// the stream ends or fails first. False when the stream cannot be positioned
// or gives no byte at all. The caller has bounded `size`.
inline bool ReadWholeStream(DXStream *stream, int64_t size, std::string &out) {
    if (size <= 0 || !stream->seek(stream, 0, DX_SEEK_SET)) return false;
    out.resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < out.size()) {
        const int want = static_cast<int>(std::min<size_t>(out.size() - done, INT_MAX));
        const int got = stream->read(stream, out.data() + done, want);
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    out.resize(done);
    return done > 0;
}

}  // namespace dxf

#endif
