// Compound files (OLE2) built byte by byte, for the tests of the legacy
// Office readers: small, with every stream where a test wants it, and open
// to damage.
#ifndef GLOTTA_TESTS_UNIT_DXFILTER_OLE_WRITER_H
#define GLOTTA_TESTS_UNIT_DXFILTER_OLE_WRITER_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
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

// A compound file of 512-byte sectors: the allocation table first, then one
// directory sector, then each stream in consecutive sectors. Streams are
// padded with zero bytes to 4096 bytes, so that none goes to the mini stream;
// with `mini`, every stream (each under 4096 bytes) goes to the mini stream
// instead, in 64-byte sectors after the mini allocation table. `tamper` may
// change the allocation table before it is written.
inline std::string CompoundFile(
    const std::vector<std::pair<std::string, std::string>> &streams,
    const std::function<void(std::vector<uint32_t> &fat, const std::vector<uint32_t> &starts)>
        &tamper = {},
    bool mini = false) {
    constexpr size_t kMiniSector = 64;
    std::vector<std::string> data;  // what goes to sectors of their own, after the directory
    std::vector<uint32_t> sizes, miniStarts;
    std::string miniStream, miniFat;
    for (const auto &[name, bytes] : streams) {
        if (mini) {
            EXPECT_LT(bytes.size(), 4096u);
            uint32_t first = static_cast<uint32_t>(miniStream.size() / kMiniSector);
            size_t n = std::max<size_t>(1, (bytes.size() + kMiniSector - 1) / kMiniSector);
            for (size_t k = 0; k < n; ++k)
                put32(miniFat, miniFat.size(),
                      k + 1 < n ? first + static_cast<uint32_t>(k) + 1 : kEndOfChain);
            miniStarts.push_back(first);
            sizes.push_back(static_cast<uint32_t>(bytes.size()));
            miniStream += bytes;
            miniStream.resize((first + n) * kMiniSector);
            continue;
        }
        std::string padded = bytes;
        if (padded.size() < 4096) padded.resize(4096);
        sizes.push_back(static_cast<uint32_t>(padded.size()));
        data.push_back(padded);
    }
    if (mini) {
        miniFat.resize((miniFat.size() + kSector - 1) / kSector * kSector, '\xFF');
        data = {miniFat, miniStream};
    }
    size_t dataSectors = 0;
    for (std::string &d : data) {
        d.resize((d.size() + kSector - 1) / kSector * kSector);
        dataSectors += d.size() / kSector;
    }
    size_t fatSectors = 1;
    while (fatSectors * 128 < fatSectors + 1 + dataSectors) ++fatSectors;
    EXPECT_LE(fatSectors, 109u);
    EXPECT_LE(streams.size(), 3u);  // one directory sector
    std::vector<uint32_t> fat(fatSectors * 128, kFreeSector), starts;
    for (size_t i = 0; i < fatSectors; ++i) fat[i] = kFatSector;
    fat[fatSectors] = kEndOfChain;
    uint32_t next = static_cast<uint32_t>(fatSectors + 1);
    for (const std::string &d : data) {
        starts.push_back(next);
        size_t n = d.size() / kSector;
        for (size_t i = 0; i + 1 < n; ++i) fat[next + i] = next + static_cast<uint32_t>(i) + 1;
        fat[next + n - 1] = kEndOfChain;
        next += static_cast<uint32_t>(n);
    }
    if (tamper) tamper(fat, starts);

    std::string header(kSector, '\0');
    header.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    put16(header, 0x18, 0x3E), put16(header, 0x1A, 3), put16(header, 0x1C, 0xFFFE);
    put16(header, 0x1E, 9), put16(header, 0x20, 6);
    put32(header, 0x2C, static_cast<uint32_t>(fatSectors));
    put32(header, 0x30, static_cast<uint32_t>(fatSectors));  // the directory
    put32(header, 0x38, 4096);
    put32(header, 0x3C, mini ? starts[0] : kEndOfChain);
    put32(header, 0x40, mini ? static_cast<uint32_t>(data[0].size() / kSector) : 0);
    put32(header, 0x44, kEndOfChain);
    for (size_t i = 0; i < 109; ++i)
        put32(header, 0x4C + 4 * i, i < fatSectors ? static_cast<uint32_t>(i) : kFreeSector);

    std::string fatBytes;
    for (size_t i = 0; i < fat.size(); ++i) put32(fatBytes, 4 * i, fat[i]);

    std::string dir(kSector, '\0');
    auto entry = [&](size_t index, const std::string &name, int type, uint32_t right,
                     uint32_t child, uint32_t start, uint32_t size) {
        size_t at = index * 128;
        for (size_t i = 0; i < name.size(); ++i) put16(dir, at + 2 * i, name[i]);
        put16(dir, at + 64, static_cast<uint16_t>(2 * name.size() + 2));
        dir[at + 66] = static_cast<char>(type), dir[at + 67] = 1;
        put32(dir, at + 68, kFreeSector), put32(dir, at + 72, right), put32(dir, at + 76, child);
        put32(dir, at + 116, start), put32(dir, at + 120, size);
    };
    for (size_t i = 0; i < 4; ++i) {
        put32(dir, i * 128 + 68, kFreeSector), put32(dir, i * 128 + 72, kFreeSector);
        put32(dir, i * 128 + 76, kFreeSector);
    }
    entry(0, "Root Entry", 5, kFreeSector, 1, mini ? starts[1] : kEndOfChain,
          static_cast<uint32_t>(miniStream.size()));
    for (size_t i = 0; i < streams.size(); ++i)
        entry(i + 1, streams[i].first, 2,
              i + 1 < streams.size() ? static_cast<uint32_t>(i + 2) : kFreeSector, kFreeSector,
              mini ? miniStarts[i] : starts[i], sizes[i]);

    std::string file = header + fatBytes + dir;
    for (const std::string &d : data) file += d;
    return file;
}

}  // namespace dxfilter_ole

#endif
