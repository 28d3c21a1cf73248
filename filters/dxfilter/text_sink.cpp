// text_sink.cpp - whitespace folding, wrapping and capping of extracted text.
#include "filters/dxfilter/text_sink.h"

namespace dxf {
namespace {

bool is_space(char32_t cp) {
    return cp == U' ' || cp == U'\t' || cp == 0x00A0 || cp == 0x1680 ||
           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

bool is_break(char32_t cp) {
    return cp == U'\n' || cp == U'\r' || cp == 0x0B || cp == 0x0C || cp == 0x85 || cp == 0x2028 ||
           cp == 0x2029;
}

// Characters that carry nothing for a reader: controls, byte-order marks,
// non-characters, lone surrogates and values beyond Unicode.
bool is_dropped(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || cp == 0xFEFF || cp == 0xFFFE || cp == 0xFFFF ||
           (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF;
}

int sink_text(void *self, const char *utf8, size_t length) {
    auto *sink = static_cast<TextSink *>(self);
    return sink->AddUtf8(std::string_view(utf8, length)) ? 0 : 1;
}

void sink_break(void *self) {
    static_cast<TextSink *>(self)->Break();
}

}  // namespace

void TextSink::Emit(char16_t unit) {
    pending_.push_back(unit);
    ++produced_;
}

void TextSink::EmitLineFeed() {
    Emit(u'\n');
    line_ = 0;
    space_ = false;
}

bool TextSink::AddCodePoint(char32_t cp) {
    if (full()) return false;
    if (is_break(cp)) {
        Break();
        return true;
    }
    if (is_space(cp)) {
        if (line_ > 0) space_ = true;
        return true;
    }
    if (is_dropped(cp)) return true;
    const size_t width = cp >= 0x10000 ? 2 : 1;
    // A pair must fit whole, so that the cap never leaves half a character.
    if (produced_ + width + 1 > cap_) {
        produced_ = cap_;
        return false;
    }
    if (space_) {
        if (line_ >= kSoftWrap)
            EmitLineFeed();
        else
            Emit(u' '), ++line_;
        space_ = false;
    } else if (line_ >= kHardWrap) {
        EmitLineFeed();
    }
    if (width == 2) {
        cp -= 0x10000;
        Emit(static_cast<char16_t>(0xD800 + (cp >> 10)));
        Emit(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        Emit(static_cast<char16_t>(cp));
    }
    ++line_;
    return !full();
}

bool TextSink::AddUtf8(std::string_view utf8) {
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (full()) return false;
        if (need_ == 0 && (c == ' ' || c == '\t')) {
            // A run of blanks folds to one space at most: pass over it at
            // once (documents padded with megabytes of blanks are common
            // enough, and each byte would otherwise go the whole way).
            while (i + 1 < utf8.size() && (utf8[i + 1] == ' ' || utf8[i + 1] == '\t')) ++i;
            if (line_ > 0) space_ = true;
            continue;
        }
        if (need_ > 0) {
            if ((c & 0xC0) == 0x80) {
                high_ = (high_ << 6) | (c & 0x3F);
                if (--need_ == 0 && high_ >= min_) AddCodePoint(high_);
                continue;
            }
            need_ = 0;  // cut sequence: drop it and read c afresh
        }
        if (c < 0x80) {
            AddCodePoint(c);
        } else if ((c & 0xE0) == 0xC0) {
            high_ = c & 0x1F, need_ = 1, min_ = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            high_ = c & 0x0F, need_ = 2, min_ = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            high_ = c & 0x07, need_ = 3, min_ = 0x10000;
        }
    }
    return !full();
}

void TextSink::Break() {
    if (line_ > 0 && produced_ < cap_) EmitLineFeed();
    space_ = false;
}

void TextSink::Finish() {
    need_ = 0;
    if (line_ > 0) {
        // The closing line feed may pass the cap by one unit.
        Emit(u'\n');
        line_ = 0;
    }
}

void TextSink::Take(size_t maxUnits, std::u16string &out) {
    size_t n = pending_.size() < maxUnits ? pending_.size() : maxUnits;
    if (n > 0 && n < pending_.size() && pending_[n - 1] >= 0xD800 && pending_[n - 1] <= 0xDBFF) --n;
    out.assign(pending_, 0, n);
    pending_.erase(0, n);
}

DXMSink TextSink::c_sink() {
    return DXMSink{this, sink_text, sink_break};
}

}  // namespace dxf
