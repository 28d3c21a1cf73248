// module_stream.h - a document handed to an extraction module, read whole;
// bytes in memory seen as a stream.
#ifndef GLOTTA_FILTERS_DXFILTER_MODULE_STREAM_H
#define GLOTTA_FILTERS_DXFILTER_MODULE_STREAM_H

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

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

// A byte string as a stream, for the RTF reader.
class MemoryStream {
  public:
    explicit MemoryStream(std::string_view bytes) : bytes_(bytes) {
        stream.record = this;
        stream.read = [](DXStream *s, void *buffer, int count) {
            auto *self = static_cast<MemoryStream *>(s->record);
            const size_t n =
                std::min(static_cast<size_t>(std::max(count, 0)), self->bytes_.size() - self->at_);
            std::memcpy(buffer, self->bytes_.data() + self->at_, n);
            self->at_ += n;
            return static_cast<int>(n);
        };
        stream.seek = [](DXStream *s, int64_t offset, int origin) {
            auto *self = static_cast<MemoryStream *>(s->record);
            const int64_t base = origin == DX_SEEK_SET ? 0
                                 : origin == DX_SEEK_CUR
                                     ? static_cast<int64_t>(self->at_)
                                     : static_cast<int64_t>(self->bytes_.size());
            if (offset < -base || base + offset > static_cast<int64_t>(self->bytes_.size()))
                return 0;
            self->at_ = static_cast<size_t>(base + offset);
            return 1;
        };
        stream.tell = [](DXStream *s) {
            return static_cast<int64_t>(static_cast<MemoryStream *>(s->record)->at_);
        };
    }
    MemoryStream(const MemoryStream &) = delete;
    MemoryStream &operator=(const MemoryStream &) = delete;

    DXStream stream{};

  private:
    std::string_view bytes_;
    size_t at_ = 0;
};

}  // namespace dxf

#endif
