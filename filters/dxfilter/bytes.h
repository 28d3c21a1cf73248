// bytes.h - little- and big-endian integers, ASCII hex digits, percent
// escapes and ASCII case in the byte formats the filter reads (compound
// files, zip archives, message catalogs, headers, escapes).
#ifndef GLOTTA_FILTERS_DXFILTER_BYTES_H
#define GLOTTA_FILTERS_DXFILTER_BYTES_H

#include <cstdint>
#include <string>
#include <string_view>

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

// The value of an ASCII hex digit (either case), -1 for any other byte or
// for EOF.
constexpr int hex_digit(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// `s` with its percent escapes ("%XX", two hex digits) decoded; a '%' without
// two hex digits after it stays as it is.
inline std::string percent_decode(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const int hi = s[i] == '%' && i + 2 < s.size() ? hex_digit(s[i + 1]) : -1;
        const int lo = hi >= 0 ? hex_digit(s[i + 2]) : -1;
        if (lo < 0) {
            out += s[i];
            continue;
        }
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

// Lower case for ASCII letters only; every other byte is left as it is.
constexpr char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Equal but for the case of ASCII letters (names in archives and markup).
constexpr bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

constexpr bool iends_with(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && iequals(s.substr(s.size() - tail.size()), tail);
}

// A copy of `s` with its ASCII letters in lower case.
inline std::string ascii_lowered(std::string_view s) {
    std::string out(s);
    for (char &c : out) c = ascii_lower(c);
    return out;
}

}  // namespace dxf

#endif  // GLOTTA_FILTERS_DXFILTER_BYTES_H
