// bytes.h - little- and big-endian integers and ASCII case in the byte formats the
// filter reads (compound files, zip archives, message catalogs, headers).
#ifndef GLOTTA_FILTERS_DXFILTER_BYTES_H
#define GLOTTA_FILTERS_DXFILTER_BYTES_H

#include <cstdint>

namespace dxf {

inline uint16_t le16(const unsigned char *p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t le32(const unsigned char *p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline uint16_t be16(const unsigned char *p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
inline uint32_t be32(const unsigned char *p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

// Lower case for ASCII letters only; every other byte is left as it is.
constexpr char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace dxf

#endif  // GLOTTA_FILTERS_DXFILTER_BYTES_H
