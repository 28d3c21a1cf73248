// dxfilter_fuzz.h - what the fuzz targets of the document filter share: a
// document held in memory behind the engine's stream callbacks, text
// extraction driven as the plug-in's read-text operation drives it, and
// compound files (OLE2) built around streams the fuzzer writes.
#ifndef GLOTTA_TESTS_FUZZ_DXFILTER_FUZZ_H
#define GLOTTA_TESTS_FUZZ_DXFILTER_FUZZ_H

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/extractor.h"
#include "filters/dxfilter/text_sink.h"

namespace dxfuzz {

// A document in memory read through the five stream callbacks.
class MemoryStream {
  public:
    MemoryStream(const uint8_t *data, size_t size) : data_(data), size_(size) {
        stream_.record = this;
        stream_.open = [](DXStream *s) {
            self(s)->pos_ = 0;
            return 1;
        };
        stream_.read = [](DXStream *s, void *buffer, int count) {
            MemoryStream *m = self(s);
            if (count < 0) return -1;
            const size_t left = m->pos_ < m->size_ ? m->size_ - m->pos_ : 0;
            const size_t n = std::min(left, static_cast<size_t>(count));
            if (n > 0) std::memcpy(buffer, m->data_ + m->pos_, n);
            m->pos_ += n;
            return static_cast<int>(n);
        };
        stream_.seek = [](DXStream *s, int64_t offset, int origin) {
            MemoryStream *m = self(s);
            const int64_t base = origin == DX_SEEK_SET   ? 0
                                 : origin == DX_SEEK_CUR ? static_cast<int64_t>(m->pos_)
                                 : origin == DX_SEEK_END ? static_cast<int64_t>(m->size_)
                                                         : -1;
            if (base < 0 || offset < -base || offset > INT64_MAX - base) return 0;
            m->pos_ = static_cast<size_t>(base + offset);
            return 1;
        };
        stream_.tell = [](DXStream *s) { return static_cast<int64_t>(self(s)->pos_); };
        stream_.close = [](DXStream *) { return 0; };
    }
    MemoryStream(const MemoryStream &) = delete;
    MemoryStream &operator=(const MemoryStream &) = delete;

    DXStream *stream() { return &stream_; }
    int64_t size() const { return static_cast<int64_t>(size_); }

  private:
    static MemoryStream *self(DXStream *s) { return static_cast<MemoryStream *>(s->record); }

    DXStream stream_{};
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

// The plug-in's bounds, without its clock: a document that takes too long
// shows up as a slow input rather than as text cut short.
inline DXMLimits Limits() {
    return DXMLimits{INT64_MAX, dxf::kMaxPartBytes, dxf::kMaxTotalBytes, dxf::kMaxParts};
}

// Steps an extraction to its end, handing out the text in chunks as the
// read-text operation does. `step` adds to the sink: 1 more, 0 end, -1 error.
template <typename Step>
void Drain(Step step) {
    dxf::TextSink sink(dxf::kMaxTextUnits);
    std::u16string units;
    for (int r = 1; r > 0;) {
        r = sink.full() ? 0 : step(sink);
        if (sink.pending_units() >= dxf::kChunkUnits) sink.Take(dxf::kChunkUnits, units);
    }
    sink.Finish();
    do {
        sink.Take(dxf::kChunkUnits, units);
    } while (!units.empty());
}

// Opens the document in `module` as `format` and reads all its text.
inline void ExtractWithModule(const DXModule *module, const uint8_t *data, size_t size,
                              int format) {
    MemoryStream doc(data, size);
    const DXMLimits limits = Limits();
    DXMExtractor *ex = module->open(doc.stream(), doc.size(), format, &limits);
    if (!ex) return;
    Drain([&](dxf::TextSink &sink) {
        DXMSink c = sink.c_sink();
        return module->step(ex, &c);
    });
    module->close(ex);
}

// ---- compound files --------------------------------------------------------

inline void Put16(std::string &s, size_t at, uint16_t v) {
    if (s.size() < at + 2) s.resize(at + 2);
    s[at] = static_cast<char>(v), s[at + 1] = static_cast<char>(v >> 8);
}
inline void Put32(std::string &s, size_t at, uint32_t v) {
    Put16(s, at, static_cast<uint16_t>(v));
    Put16(s, at + 2, static_cast<uint16_t>(v >> 16));
}

// A well-formed compound file of 512-byte sectors holding `streams` (the
// first three; each of any length up to a few MiB) at the root: streams shorter
// than 4096 bytes in the mini stream, as every writer stores them, so that
// each keeps its exact length. Layout: allocation table, directory, mini
// allocation table, mini stream, then the other streams.
inline std::string CompoundFile(
    const std::vector<std::pair<std::string, std::string_view>> &streams) {
    constexpr uint32_t kFree = 0xFFFFFFFF, kEnd = 0xFFFFFFFE, kFat = 0xFFFFFFFD;
    constexpr size_t kSector = 512, kMini = 64, kCutoff = 4096;
    auto sectors = [](size_t bytes, size_t unit) { return (bytes + unit - 1) / unit; };

    std::string miniStream, miniFat;
    std::vector<uint32_t> starts(streams.size(), kEnd);
    std::vector<std::string_view> big;  // streams with sectors of their own, in order
    for (size_t i = 0; i < streams.size(); ++i) {
        std::string_view bytes = streams[i].second;
        if (bytes.size() >= kCutoff) {
            big.push_back(bytes);
            continue;
        }
        if (bytes.empty()) continue;
        const uint32_t first = static_cast<uint32_t>(miniStream.size() / kMini);
        const size_t n = sectors(bytes.size(), kMini);
        for (size_t k = 0; k < n; ++k)
            Put32(miniFat, miniFat.size(), k + 1 < n ? first + static_cast<uint32_t>(k) + 1 : kEnd);
        starts[i] = first;
        miniStream.append(bytes);
        miniStream.resize((first + n) * kMini);
    }
    const size_t miniFatSectors = sectors(miniFat.size(), kSector);
    const size_t miniSectors = sectors(miniStream.size(), kSector);
    size_t dataSectors = 1 + miniFatSectors + miniSectors;  // from the directory on
    for (std::string_view b : big) dataSectors += sectors(b.size(), kSector);
    size_t fatSectors = 1;
    while (fatSectors * (kSector / 4) < fatSectors + dataSectors) ++fatSectors;
    if (fatSectors > 109) return {};  // would need a second allocation table index
    const size_t count = std::min<size_t>(streams.size(), 3);

    std::vector<uint32_t> fat(fatSectors * (kSector / 4), kFree);
    std::fill_n(fat.begin(), fatSectors, kFat);
    uint32_t next = static_cast<uint32_t>(fatSectors);
    auto chain = [&](size_t n) {  // allocates n consecutive sectors; the first, or kEnd
        if (n == 0) return kEnd;
        const uint32_t first = next;
        for (size_t k = 0; k < n; ++k, ++next) fat[next] = k + 1 < n ? next + 1 : kEnd;
        return first;
    };
    const uint32_t directory = chain(1);
    const uint32_t miniFatStart = chain(miniFatSectors);
    const uint32_t miniStart = chain(miniSectors);
    for (size_t i = 0, b = 0; i < streams.size(); ++i)
        if (streams[i].second.size() >= kCutoff)
            starts[i] = chain(sectors(big[b++].size(), kSector));

    std::string file(kSector, '\0');
    file.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    Put16(file, 0x18, 0x3E), Put16(file, 0x1A, 3), Put16(file, 0x1C, 0xFFFE);
    Put16(file, 0x1E, 9), Put16(file, 0x20, 6);
    Put32(file, 0x2C, static_cast<uint32_t>(fatSectors));
    Put32(file, 0x30, directory);
    Put32(file, 0x38, kCutoff);
    Put32(file, 0x3C, miniFatStart), Put32(file, 0x40, static_cast<uint32_t>(miniFatSectors));
    Put32(file, 0x44, kEnd);
    for (size_t i = 0; i < 109; ++i)
        Put32(file, 0x4C + 4 * i, i < fatSectors ? static_cast<uint32_t>(i) : kFree);
    for (uint32_t link : fat) Put32(file, file.size(), link);

    // The root, then each stream as the right sibling of the one before.
    std::string dir(kSector, '\0');
    auto entry = [&](size_t index, std::string_view name, char type, uint32_t right, uint32_t child,
                     uint32_t start, size_t size) {
        const size_t at = index * 128;
        for (size_t i = 0; i < name.size() && i < 31; ++i) Put16(dir, at + 2 * i, name[i]);
        Put16(dir, at + 64, static_cast<uint16_t>(2 * std::min<size_t>(name.size(), 31) + 2));
        dir[at + 66] = type, dir[at + 67] = 1;
        Put32(dir, at + 68, kFree), Put32(dir, at + 72, right), Put32(dir, at + 76, child);
        Put32(dir, at + 116, start), Put32(dir, at + 120, static_cast<uint32_t>(size));
    };
    for (size_t at = 0; at < kSector; at += 128)
        Put32(dir, at + 68, kFree), Put32(dir, at + 72, kFree), Put32(dir, at + 76, kFree);
    entry(0, "Root Entry", 5, kFree, streams.empty() ? kFree : 1, miniStart, miniStream.size());
    for (size_t i = 0; i < count; ++i)
        entry(i + 1, streams[i].first, 2, i + 1 < count ? static_cast<uint32_t>(i + 2) : kFree,
              kFree, starts[i], streams[i].second.size());
    file += dir;
    file += miniFat;
    file.resize(file.size() + miniFatSectors * kSector - miniFat.size(), '\xFF');
    file += miniStream;
    file.resize(file.size() + miniSectors * kSector - miniStream.size());
    for (std::string_view b : big) {
        file.append(b);
        file.resize(file.size() + sectors(b.size(), kSector) * kSector - b.size());
    }
    return file;
}

}  // namespace dxfuzz

#endif
