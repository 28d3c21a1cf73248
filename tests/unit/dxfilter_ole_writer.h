// Compound files (OLE2) built byte by byte, for the unit tests of the legacy
// Office readers and for the fuzz targets that wrap the fuzzer's bytes in a
// file: small, with every stream where a caller wants it, and open to damage.
#ifndef GLOTTA_TESTS_UNIT_DXFILTER_OLE_WRITER_H
#define GLOTTA_TESTS_UNIT_DXFILTER_OLE_WRITER_H

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dxfilter_ole {

inline void put16(std::string &s, size_t at, uint16_t v) {
    if (s.size() < at + 2) s.resize(at + 2);
    s[at] = static_cast<char>(v), s[at + 1] = static_cast<char>(v >> 8);
}
inline void put32(std::string &s, size_t at, uint32_t v) {
    put16(s, at, static_cast<uint16_t>(v));
    put16(s, at + 2, static_cast<uint16_t>(v >> 16));
}

constexpr uint32_t kFreeSector = 0xFFFFFFFF, kEndOfChain = 0xFFFFFFFE, kFatSector = 0xFFFFFFFD;
constexpr size_t kSector = 512;
constexpr size_t kMiniSector = 64;
constexpr size_t kMiniCutoff = 4096;  // streams this long or longer have sectors of their own

// A stream's name and bytes.
using Streams = std::vector<std::pair<std::string, std::string_view>>;
// Changes the allocation table before it is written; `starts` are the first
// sectors of what follows the directory, in order.
using Tamper = std::function<void(std::vector<uint32_t> &fat, const std::vector<uint32_t> &starts)>;

// Where a stream is stored.
enum class Placement {
    kMini,     // in the mini stream, in 64-byte sectors
    kSectors,  // in 512-byte sectors of its own, with its exact length
    kPadded,   // likewise, padded with zero bytes to at least 4096 bytes
};

// A compound file of 512-byte sectors holding up to three `streams` at the
// root, each stored as `place` says: the allocation table, one directory
// sector, then the mini allocation table and the mini stream (when a stream
// is stored there), then the streams with sectors of their own, each in
// consecutive sectors. An empty stream in the mini stream has no sector, as
// writers store it. Empty for more than three streams or more than 109
// allocation table sectors.
inline std::string BuildCompoundFile(const Streams &streams,
                                     const std::function<Placement(std::string_view)> &place,
                                     const Tamper &tamper = {}) {
    if (streams.size() > 3) return {};
    auto sectors = [](size_t bytes, size_t unit) { return (bytes + unit - 1) / unit; };

    std::string miniStream, miniFat;
    std::vector<std::string> own;  // streams with sectors of their own, in order
    std::vector<uint32_t> sizes, starts(streams.size(), kEndOfChain);
    std::vector<bool> inMini;
    for (size_t i = 0; i < streams.size(); ++i) {
        std::string_view bytes = streams[i].second;
        const Placement where = place(bytes);
        inMini.push_back(where == Placement::kMini);
        if (where != Placement::kMini) {
            std::string stored(bytes);
            if (where == Placement::kPadded && stored.size() < kMiniCutoff)
                stored.resize(kMiniCutoff);
            sizes.push_back(static_cast<uint32_t>(stored.size()));
            own.push_back(std::move(stored));
            continue;
        }
        sizes.push_back(static_cast<uint32_t>(bytes.size()));
        if (bytes.empty()) continue;
        const uint32_t first = static_cast<uint32_t>(miniStream.size() / kMiniSector);
        const size_t n = sectors(bytes.size(), kMiniSector);
        for (size_t k = 0; k < n; ++k)
            put32(miniFat, miniFat.size(),
                  k + 1 < n ? first + static_cast<uint32_t>(k) + 1 : kEndOfChain);
        starts[i] = first;
        miniStream.append(bytes);
        miniStream.resize((first + n) * kMiniSector);
    }
    const size_t miniFatSectors = sectors(miniFat.size(), kSector);
    const size_t miniSectors = sectors(miniStream.size(), kSector);
    size_t dataSectors = 1 + miniFatSectors + miniSectors;  // from the directory on
    for (const std::string &b : own) dataSectors += sectors(b.size(), kSector);
    size_t fatSectors = 1;
    while (fatSectors * (kSector / 4) < fatSectors + dataSectors) ++fatSectors;
    if (fatSectors > 109) return {};  // would need a second allocation table index

    std::vector<uint32_t> fat(fatSectors * (kSector / 4), kFreeSector);
    std::fill_n(fat.begin(), fatSectors, kFatSector);
    uint32_t next = static_cast<uint32_t>(fatSectors);
    std::vector<uint32_t> blobs;  // first sectors after the directory, for `tamper`
    auto chain = [&](size_t n) {  // allocates n consecutive sectors; the first, or kEndOfChain
        if (n == 0) return kEndOfChain;
        const uint32_t first = next;
        for (size_t k = 0; k < n; ++k, ++next) fat[next] = k + 1 < n ? next + 1 : kEndOfChain;
        return first;
    };
    const uint32_t directory = chain(1);
    const uint32_t miniFatStart = chain(miniFatSectors);
    const uint32_t miniStart = chain(miniSectors);
    if (miniFatSectors > 0) blobs = {miniFatStart, miniStart};
    for (size_t i = 0, b = 0; i < streams.size(); ++i) {
        if (inMini[i]) continue;
        starts[i] = chain(sectors(own[b++].size(), kSector));
        blobs.push_back(starts[i]);
    }
    if (tamper) tamper(fat, blobs);

    std::string file(kSector, '\0');
    file.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    put16(file, 0x18, 0x3E), put16(file, 0x1A, 3), put16(file, 0x1C, 0xFFFE);
    put16(file, 0x1E, 9), put16(file, 0x20, 6);
    put32(file, 0x2C, static_cast<uint32_t>(fatSectors));
    put32(file, 0x30, directory);
    put32(file, 0x38, kMiniCutoff);
    put32(file, 0x3C, miniFatStart), put32(file, 0x40, static_cast<uint32_t>(miniFatSectors));
    put32(file, 0x44, kEndOfChain);
    for (size_t i = 0; i < 109; ++i)
        put32(file, 0x4C + 4 * i, i < fatSectors ? static_cast<uint32_t>(i) : kFreeSector);
    for (uint32_t link : fat) put32(file, file.size(), link);

    // The root, then each stream as the right sibling of the one before.
    std::string dir(kSector, '\0');
    auto entry = [&](size_t index, std::string_view name, char type, uint32_t right, uint32_t child,
                     uint32_t start, uint32_t size) {
        const size_t at = index * 128;
        for (size_t i = 0; i < name.size() && i < 31; ++i) put16(dir, at + 2 * i, name[i]);
        put16(dir, at + 64, static_cast<uint16_t>(2 * std::min<size_t>(name.size(), 31) + 2));
        dir[at + 66] = type, dir[at + 67] = 1;
        put32(dir, at + 68, kFreeSector), put32(dir, at + 72, right), put32(dir, at + 76, child);
        put32(dir, at + 116, start), put32(dir, at + 120, size);
    };
    for (size_t at = 0; at < kSector; at += 128)
        put32(dir, at + 68, kFreeSector), put32(dir, at + 72, kFreeSector),
            put32(dir, at + 76, kFreeSector);
    entry(0, "Root Entry", 5, kFreeSector, streams.empty() ? kFreeSector : 1, miniStart,
          static_cast<uint32_t>(miniStream.size()));
    for (size_t i = 0; i < streams.size(); ++i)
        entry(i + 1, streams[i].first, 2,
              i + 1 < streams.size() ? static_cast<uint32_t>(i + 2) : kFreeSector, kFreeSector,
              starts[i], sizes[i]);
    file += dir;
    file += miniFat;
    file.resize(file.size() + miniFatSectors * kSector - miniFat.size(), '\xFF');
    file += miniStream;
    file.resize(file.size() + miniSectors * kSector - miniStream.size());
    for (const std::string &b : own) {
        file += b;
        file.resize(file.size() + sectors(b.size(), kSector) * kSector - b.size());
    }
    return file;
}

// The unit tests' file: every stream padded to 4096 bytes in sectors of its
// own, or with `mini` every stream in the mini stream.
inline std::string CompoundFile(const Streams &streams, const Tamper &tamper = {},
                                bool mini = false) {
    const Placement where = mini ? Placement::kMini : Placement::kPadded;
    return BuildCompoundFile(
        streams, [where](std::string_view) { return where; }, tamper);
}

// The file a writer makes: streams under 4096 bytes in the mini stream, as
// every writer stores them, so that each keeps its exact length.
inline std::string WrittenCompoundFile(const Streams &streams) {
    return BuildCompoundFile(streams, [](std::string_view bytes) {
        return bytes.size() < kMiniCutoff ? Placement::kMini : Placement::kSectors;
    });
}

}  // namespace dxfilter_ole

#endif
