// extractor.cpp - reading through the engine's stream callbacks.
#include "filters/dxfilter/extractor.h"

#include <climits>

namespace dxf {

long ReadFully(DXStream *stream, void *buffer, size_t count) {
    auto *out = static_cast<unsigned char *>(buffer);
    size_t done = 0;
    while (done < count) {
        size_t want = count - done;
        if (want > INT_MAX) want = INT_MAX;
        int got = stream->read(stream, out + done, static_cast<int>(want));
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return static_cast<long>(done);
}

bool StreamReader::Fill() {
    if (eof_ || failed_) return false;
    long got = ReadFully(stream_, buffer_.data(), buffer_.size());
    if (got < 0) failed_ = true;
    if (got <= 0) {
        eof_ = true;
        return false;
    }
    pos_ = 0;
    end_ = static_cast<size_t>(got);
    return true;
}

}  // namespace dxf
