// compress_text.cpp - charsets (ICU) and tags of text found inside a
// compressed document.
#include "filters/dxfilter/compress_text.h"

#include <libxml/HTMLparser.h>
#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <span>

#include "filters/dxfilter/bytes.h"
#include "filters/dxfilter/code_pages.h"
#include "filters/dxfilter/sniff.h"
#include "filters/dxfilter/utf8.h"

namespace dxf {
namespace {

constexpr char kFallbackCharset[] = "windows-1252";
// Bytes ICU's detector looks at; bytes that are not ASCII it waits for
// before it decides.
constexpr size_t kDetectBytes = 64 * 1024;
constexpr size_t kDecideBytes = 64;

bool is_alpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_alnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// ASCII that is the same in every charset the detector may name; ESC, SO
// and SI start ISO-2022 sequences.
bool is_plain_ascii(unsigned char c) {
    return c < 0x80 && c != 0x1B && c != 0x0E && c != 0x0F;
}

// UTF-16 and UTF-32 under any of their names ("UTF-16LE", "utf16be", "utf32"):
// code units that the bytes, not a declaration, must settle.
bool is_unicode_units(std::string_view name) {
    constexpr std::array<std::string_view, 4> kPrefixes = {"utf-16", "utf-32", "utf16", "utf32"};
    std::string low;
    for (char c : name.substr(0, 6)) low += ascii_lower(c);
    return std::any_of(kPrefixes.begin(), kPrefixes.end(),
                       [&](std::string_view p) { return low.starts_with(p); });
}

bool valid_utf8(std::string_view s, bool allowCut) {
    const auto *b = reinterpret_cast<const unsigned char *>(s.data());
    const size_t n = s.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = b[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        char32_t cp, min;
        if ((c & 0xE0) == 0xC0) {
            len = 2, cp = c & 0x1F, min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3, cp = c & 0x0F, min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4, cp = c & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (i + len > n) {
            if (!allowCut) return false;
            for (size_t k = i + 1; k < n; ++k)
                if ((b[k] & 0xC0) != 0x80) return false;
            return true;
        }
        for (size_t k = 1; k < len; ++k) {
            if ((b[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (b[i + k] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}

// The value of the first `charset=` or `encoding=` in the head, without
// quotes; empty when there is none.
std::string declared_charset(std::string_view head) {
    std::string low;
    low.reserve(head.size());
    for (char c : head) low += ascii_lower(c);
    for (std::string_view key : {"charset=", "encoding="}) {
        size_t at = low.find(key);
        if (at == std::string::npos) continue;
        at += key.size();
        while (at < low.size() && (low[at] == ' ' || low[at] == '"' || low[at] == '\'')) ++at;
        size_t end = at;
        while (end < low.size() && end - at < 40 &&
               (is_alnum(low[end]) || low[end] == '-' || low[end] == '_' || low[end] == '.' ||
                low[end] == ':'))
            ++end;
        if (end > at) return std::string(head.substr(at, end - at));
    }
    return {};
}

// HTML block elements: their tags end a line.
constexpr std::array<std::string_view, 44> kBlocks = {
    "address", "article", "aside", "blockquote", "body",   "br",     "caption", "center", "dd",
    "div",     "dl",      "dt",    "figcaption", "figure", "footer", "form",    "h1",     "h2",
    "h3",      "h4",      "h5",    "h6",         "head",   "header", "hr",      "html",   "li",
    "main",    "nav",     "ol",    "option",     "p",      "pre",    "section", "table",  "tbody",
    "td",      "tfoot",   "th",    "thead",      "title",  "tr",     "ul",      "dir",
};

constexpr size_t kMaxName = 32;  // element and reference names kept

}  // namespace

bool IsHtmlBlock(std::string_view name) {
    return std::find(kBlocks.begin(), kBlocks.end(), name) != kBlocks.end();
}

std::string InitialCharset(std::string_view head, bool markup) {
    const auto bytes = std::span(reinterpret_cast<const unsigned char *>(head.data()), head.size());
    if (const char *unicode = TextFormCharset(TextFormOf(bytes))) return unicode;
    if (!markup) return {};
    std::string declared = declared_charset(head);
    if (declared.empty() || is_unicode_units(declared) || !CharsetKnown(declared)) return {};
    return declared;
}

std::string DecodeText(std::string_view bytes, const std::string &charset, bool markup) {
    TextDecoder decoder(charset, markup);
    std::string out;
    decoder.Decode(bytes, true, out);
    return out;
}

std::string UsableCharset(std::string_view declared, bool unicodeFromBytes) {
    constexpr std::string_view kBlank = " \t\r\n";
    constexpr std::array<std::string_view, 3> kAscii = {"ascii", "us-ascii", "ansi_x3.4-1968"};
    const size_t first = declared.find_first_not_of(kBlank);
    if (first == std::string_view::npos) return {};
    std::string low;
    for (char c : declared.substr(first, declared.find_last_not_of(kBlank) - first + 1))
        low += ascii_lower(c);
    if (std::find(kAscii.begin(), kAscii.end(), low) != kAscii.end()) return {};
    if (unicodeFromBytes && (low == "utf-8" || low == "utf8" || is_unicode_units(low))) return {};
    return CharsetKnown(low) ? low : std::string();
}

std::string CodePageCharset(uint32_t codePage) {
    std::string name = IcuCodePageName(codePage);
    return name.empty() || CharsetKnown(name) ? name : std::string();
}

bool CharsetKnown(const std::string &name) {
    UErrorCode e = U_ZERO_ERROR;
    UConverter *c = ucnv_open(name.c_str(), &e);
    if (c) ucnv_close(c);
    return U_SUCCESS(e) && c;
}

std::string GuessCharset(std::string_view bytes, bool last, bool markup) {
    // ISO-2022 text is 7-bit, so valid UTF-8 too; its escapes tell it.
    if (bytes.find('\x1B') == std::string_view::npos && valid_utf8(bytes, !last)) return "UTF-8";
    UErrorCode e = U_ZERO_ERROR;
    std::unique_ptr<UCharsetDetector, decltype(&ucsdet_close)> detector(ucsdet_open(&e),
                                                                        ucsdet_close);
    if (U_FAILURE(e) || !detector) return kFallbackCharset;
    ucsdet_setText(detector.get(), bytes.data(),
                   static_cast<int32_t>(std::min(bytes.size(), kDetectBytes)), &e);
    ucsdet_enableInputFilter(detector.get(), markup);
    const UCharsetMatch *match = ucsdet_detect(detector.get(), &e);
    const char *name = U_SUCCESS(e) && match ? ucsdet_getName(match, &e) : nullptr;
    if (U_FAILURE(e) || !name || is_unicode_units(name)) return kFallbackCharset;
    return name;
}

TextDecoder::TextDecoder(std::string charset, bool markup) : markup_(markup) {
    if (!charset.empty() && !Open(charset)) Open(kFallbackCharset);
}

TextDecoder::~TextDecoder() {
    if (conv_) ucnv_close(conv_);
}

bool TextDecoder::Open(const std::string &name) {
    UErrorCode e = U_ZERO_ERROR;
    UConverter *conv = ucnv_open(name.c_str(), &e);
    if (U_FAILURE(e) || !conv) {
        if (conv) ucnv_close(conv);
        return false;
    }
    ucnv_setToUCallBack(conv, UCNV_TO_U_CALLBACK_SKIP, nullptr, nullptr, nullptr, &e);
    conv_ = conv;
    charset_ = name;
    return true;
}

void TextDecoder::Decode(std::string_view bytes, bool last, std::string &out) {
    if (!conv_) {
        if (held_.empty()) {
            size_t ascii = 0;
            while (ascii < bytes.size() && is_plain_ascii(static_cast<unsigned char>(bytes[ascii])))
                ++ascii;
            out.append(bytes.substr(0, ascii));
            bytes.remove_prefix(ascii);
        }
        held_.append(bytes);
        for (char c : bytes) heldOther_ += !is_plain_ascii(static_cast<unsigned char>(c));
        // Bytes wait until there is enough evidence: a stray sign in an ASCII
        // preamble does not decide the charset of the text after it.
        if (held_.empty() || (!last && heldOther_ < kDecideBytes && held_.size() < kDetectBytes))
            return;
        const std::string held = std::move(held_);
        held_.clear();
        if (!Open(GuessCharset(held, last, markup_)) && !Open(kFallbackCharset)) return;
        Convert(held, last, out);
        return;
    }
    Convert(bytes, last, out);
}

void TextDecoder::Convert(std::string_view bytes, bool last, std::string &out) {
    const char *source = bytes.data();
    const char *const end = source + bytes.size();
    UChar units[4096];
    for (;;) {
        UChar *target = units;
        UErrorCode e = U_ZERO_ERROR;
        ucnv_toUnicode(conv_, &target, units + std::size(units), &source, end, nullptr, last, &e);
        const auto emit = [&out](char32_t cp) { append_utf8(out, cp); };
        for (const UChar *u = units; u < target; ++u) joiner_.Unit(*u, emit);
        if (e != U_BUFFER_OVERFLOW_ERROR) {
            if (last) joiner_.Finish(emit);
            break;
        }
    }
}

// ---- markup -------------------------------------------------------------------------

char32_t ReferencedCodePoint(std::string_view name) {
    char32_t cp = 0;
    if (!name.empty() && name[0] == '#') {
        const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        for (size_t i = hex ? 2 : 1; i < name.size() && cp <= 0x10FFFF; ++i) {
            const char d = name[i];
            const int v = hex ? hex_digit(d) : d >= '0' && d <= '9' ? d - '0' : -1;
            if (v < 0) return 0;
            cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(v);
        }
    } else if (name == "apos") {
        cp = '\'';
    } else if (!name.empty() && name.size() <= kMaxName) {
        const std::string zeroEnded(name);
        const htmlEntityDesc *entity =
            htmlEntityLookup(reinterpret_cast<const xmlChar *>(zeroEnded.c_str()));
        if (entity) cp = entity->value;
    }
    return cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) ? 0 : cp;
}

bool MarkupStripper::Feed(std::string_view utf8, DXMSink *sink) {
    for (char c : utf8) {
        Put(c);
        if (out_.size() >= 4096 && !Flush(sink)) return false;
    }
    return Flush(sink);
}

bool MarkupStripper::Flush(DXMSink *sink) {
    if (!out_.empty() && !full_) full_ = sink->text(sink->self, out_.data(), out_.size()) != 0;
    out_.clear();
    return !full_;
}

void MarkupStripper::Text(char c) {
    switch (c) {
        case '<':
            state_ = State::kLess;
            break;
        case '&':
            state_ = State::kEntity;
            pending_.clear();
            break;
        case '\n':
        case '\r':
        case '\t':
            out_ += ' ';  // line breaks of the source are white space in markup
            break;
        default:
            out_ += c;
    }
}

void MarkupStripper::EndTag() {
    state_ = State::kText;
    if (!html_) {
        out_ += ' ';
    } else {
        if (!closing_ && !selfClosed_ && (name_ == "script" || name_ == "style")) {
            rawEnd_ = "</" + name_;
            rawMatched_ = 0;
            state_ = State::kRaw;
        }
        if (IsHtmlBlock(name_)) out_ += '\n';
    }
    selfClosed_ = false;
}

void MarkupStripper::Entity() {
    const char32_t cp = ReferencedCodePoint(pending_);
    if (cp == 0) {
        // Not a reference this reader knows: kept as written.
        out_ += '&';
        out_ += pending_;
        out_ += ';';
        return;
    }
    append_utf8(out_, cp);
}

void MarkupStripper::Put(char c) {
    switch (state_) {
        case State::kText:
            Text(c);
            break;
        case State::kLess:
            if (c == '/' || is_alpha(c)) {
                closing_ = c == '/';
                name_.clear();
                if (!closing_) name_ += ascii_lower(c);
                selfClosed_ = false;
                state_ = State::kName;
            } else if (c == '!') {
                pending_.clear();
                state_ = State::kBang;
            } else if (c == '?') {
                run_ = 0;
                state_ = State::kPi;
            } else {
                // A '<' that opens no tag is text.
                out_ += '<';
                state_ = State::kText;
                Text(c);
            }
            break;
        case State::kName:
            if (is_alnum(c) || c == ':' || c == '-' || c == '_' || c == '.') {
                if (name_.size() < kMaxName) name_ += ascii_lower(c);
            } else {
                state_ = State::kAttrs;
                Put(c);
            }
            break;
        case State::kAttrs:
            if (c == '"' || c == '\'') {
                quote_ = c;
                state_ = State::kQuote;
            } else if (c == '>') {
                EndTag();
            } else if (c == '/') {
                selfClosed_ = true;
            } else if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
                selfClosed_ = false;
            }
            break;
        case State::kQuote:
            if (c == quote_) state_ = State::kAttrs;
            break;
        case State::kBang: {
            pending_ += c;
            constexpr std::string_view comment = "--", cdata = "[CDATA[";
            run_ = 0;
            if (pending_ == comment) {
                state_ = State::kComment;
            } else if (pending_ == cdata) {
                state_ = State::kCdata;
            } else if (!comment.starts_with(pending_) && !cdata.starts_with(pending_)) {
                state_ = State::kDecl;
                Put(c);
            }
            break;
        }
        case State::kDecl:
            if (c == '[') {
                ++run_;
            } else if (c == ']') {
                --run_;
            } else if (c == '>' && run_ <= 0) {
                state_ = State::kText;
                out_ += ' ';
            }
            break;
        case State::kComment:
            if (c == '>' && run_ >= 2) {
                state_ = State::kText;
            } else {
                run_ = c == '-' ? run_ + 1 : 0;
            }
            break;
        case State::kPi:
            if (c == '>' && run_ == 1) {
                state_ = State::kText;
                out_ += ' ';
            } else {
                run_ = c == '?' ? 1 : 0;
            }
            break;
        case State::kCdata:
            if (c == ']') {
                ++run_;
            } else if (c == '>' && run_ >= 2) {
                state_ = State::kText;
            } else {
                run_ = 0;
                out_ += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
            }
            break;
        case State::kEntity:
            if (c == ';') {
                Entity();
                state_ = State::kText;
            } else if ((is_alnum(c) || c == '#') && pending_.size() < kMaxName) {
                pending_ += c;
            } else {
                // A reference without its ';' (older pages leave it out).
                const htmlEntityDesc *entity =
                    pending_.empty() || pending_[0] == '#'
                        ? nullptr
                        : htmlEntityLookup(reinterpret_cast<const xmlChar *>(pending_.c_str()));
                if (entity) {
                    append_utf8(out_, entity->value);
                } else {
                    out_ += '&';
                    out_ += pending_;
                }
                state_ = State::kText;
                Text(c);
            }
            break;
        case State::kRaw:
            if (ascii_lower(c) == rawEnd_[rawMatched_]) {
                if (++rawMatched_ == rawEnd_.size()) {
                    closing_ = true;
                    name_ = rawEnd_.substr(2);
                    state_ = State::kAttrs;
                }
            } else {
                rawMatched_ = c == '<' ? 1 : 0;
            }
            break;
    }
}

}  // namespace dxf
