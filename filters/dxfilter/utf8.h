// utf8.h - UTF-8 output and the UTF-16 decoder shared by the filter's
// extraction modules.
#ifndef GLOTTA_FILTERS_DXFILTER_UTF8_H
#define GLOTTA_FILTERS_DXFILTER_UTF8_H

#include <string>
#include <string_view>

namespace dxf {

// Appends code point `cp` (at most U+10FFFF; callers drop anything above)
// to `out` as UTF-8.
inline void append_utf8(std::string &out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The character that stands for a UTF-16 unit that is no character.
inline constexpr char32_t kReplacementChar = 0xFFFD;

// Joins UTF-16 code units into code points, a unit at a time (a pair may
// come in two calls): a surrogate pair gives its character; a high surrogate
// that no low one follows, and a low one that no high one comes before, give
// U+FFFD each (the unit after an unpaired high surrogate then counts for
// itself, so a high one before a high one gives U+FFFD and waits again).
class Utf16Joiner {
  public:
    // Calls emit(char32_t) for what `unit` completes: nothing, one code
    // point, or U+FFFD and then one.
    template <typename Emit>
    void Unit(char16_t unit, Emit &&emit) {
        if (high_ != 0) {
            const char16_t high = high_;
            high_ = 0;
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                emit(0x10000 + ((char32_t{high} - 0xD800) << 10) + (unit - 0xDC00));
                return;
            }
            emit(kReplacementChar);
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            high_ = unit;
        } else {
            emit(unit >= 0xDC00 && unit <= 0xDFFF ? kReplacementChar : char32_t{unit});
        }
    }

    // The units end (or other text comes between): a high surrogate still
    // waiting gives U+FFFD.
    template <typename Emit>
    void Finish(Emit &&emit) {
        if (high_ == 0) return;
        high_ = 0;
        emit(kReplacementChar);
    }

    // Whether a high surrogate waits for its pair.
    bool waiting() const { return high_ != 0; }

  private:
    char16_t high_ = 0;
};

// Appends UTF-16 units to `out` as UTF-8, as Utf16Joiner joins them; a
// high surrogate left at the end gives U+FFFD.
inline void append_utf16_units(std::string &out, std::u16string_view units) {
    Utf16Joiner joiner;
    const auto emit = [&out](char32_t cp) { append_utf8(out, cp); };
    for (const char16_t unit : units) joiner.Unit(unit, emit);
    joiner.Finish(emit);
}

// UTF-16 bytes, big-endian or little-endian, as UTF-8 (see Utf16Joiner); an
// odd byte at the end, half a unit, is dropped.
inline std::string utf16_to_utf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size() / 2 * 3);
    Utf16Joiner joiner;
    const auto emit = [&out](char32_t cp) { append_utf8(out, cp); };
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        joiner.Unit(static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first),
                    emit);
    }
    joiner.Finish(emit);
    return out;
}

}  // namespace dxf

#endif
