// Zip archives built byte by byte, for the unit tests of the filter's zip
// readers and for the fuzz targets that wrap the fuzzer's bytes in a
// package: every member stored, so that a member's bytes are where a caller
// put them and its checksum holds.
#ifndef GLOTTA_TESTS_UNIT_DXFILTER_ZIP_WRITER_H
#define GLOTTA_TESTS_UNIT_DXFILTER_ZIP_WRITER_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace dxfilter_zip {

// A zip archive of `members` (name, content), stored without compression,
// in the order given.
inline std::string StoredZip(const std::vector<std::pair<std::string, std::string>> &members) {
    auto crc32 = [](const std::string &bytes) {
        uint32_t crc = 0xFFFFFFFFu;
        for (unsigned char c : bytes) {
            crc ^= c;
            for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        return ~crc;
    };
    auto le = [](std::string &out, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    std::string out, directory;
    for (const auto &[name, content] : members) {
        const uint32_t crc = crc32(content), offset = static_cast<uint32_t>(out.size());
        const auto size = static_cast<uint32_t>(content.size());
        const auto nameSize = static_cast<uint32_t>(name.size());
        le(out, 0x04034B50, 4);
        for (uint32_t v : {20u, 0u, 0u, 0u, 0u})
            le(out, v, 2);  // version, flags, method, time, date
        for (uint32_t v : {crc, size, size}) le(out, v, 4);
        le(out, nameSize, 2);
        le(out, 0, 2);
        out += name + content;
        le(directory, 0x02014B50, 4);
        for (uint32_t v : {20u, 20u, 0u, 0u, 0u, 0u}) le(directory, v, 2);
        for (uint32_t v : {crc, size, size}) le(directory, v, 4);
        for (uint32_t v : {nameSize, 0u, 0u, 0u, 0u}) le(directory, v, 2);
        le(directory, 0, 4);  // external attributes
        le(directory, offset, 4);
        directory += name;
    }
    const auto count = static_cast<uint32_t>(members.size());
    const auto at = static_cast<uint32_t>(out.size());
    out += directory;
    le(out, 0x06054B50, 4);
    for (uint32_t v : {0u, 0u, count, count}) le(out, v, 2);
    le(out, static_cast<uint32_t>(directory.size()), 4);
    le(out, at, 4);
    le(out, 0, 2);
    return out;
}

}  // namespace dxfilter_zip

#endif
