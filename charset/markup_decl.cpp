// markup_decl.cpp - the language and charset that HTML, SGML and XML
// documents declare about themselves.
//
// This is a small tag reader, not an HTML parser: it looks at html and meta
// tags only, skips comments, and stops at the first declaration. Every search
// stops at the end of the text and at the first NUL byte, whichever comes
// first, so a NUL inside a document ends the scan there.
#include "charset/markup_decl.h"

#include <string.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "charset/charset_names.h"
#include "engine/lang_api.h"
#include "ngram/text_helpers.h"
#include "platform/vos.h"

namespace {

constexpr bool is_name_byte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

// True when the bytes at p begin with `word` (ASCII case folded), all of
// them lying before `limit`.
bool starts_with_ci(const char *p, const char *limit, std::string_view word) {
    if (limit - p < static_cast<std::ptrdiff_t>(word.size())) return false;
    return lang_starts_nocase(std::string_view(p, word.size()), word);
}

const char *skip_space(const char *p, const char *limit) {
    while (p < limit && lang_ascii_space(*p)) ++p;
    return p;
}

// First `c` before `limit` and before any NUL; null when there is none.
const char *find_byte(const char *p, const char *limit, char c) {
    for (; p < limit && *p; ++p) {
        if (*p == c) return p;
    }
    return nullptr;
}

const char *find_text(const char *p, const char *limit, std::string_view text) {
    for (; p < limit && *p; ++p) {
        if (limit - p < static_cast<std::ptrdiff_t>(text.size())) return nullptr;
        if (std::string_view(p, text.size()) == text) return p;
    }
    return nullptr;
}

// A declared language is only taken when it is a token of 1 to 31 name bytes
// (ASCII letters, digits, '-', '_'): it names files and fills records
// downstream, so a value with path or line characters must not get there.
constexpr size_t kMaxDeclaredLanguage = 31;

bool is_language_token(std::string_view value) {
    if (value.empty() || value.size() > kMaxDeclaredLanguage) return false;
    for (char c : value) {
        if (!is_name_byte(c)) return false;
    }
    return true;
}

char *copy_range(const char *begin, const char *end) {
    size_t size = static_cast<size_t>(end - begin);
    char *copy = static_cast<char *>(vos_malloc(size + 1));
    if (!copy) return nullptr;
    memcpy(copy, begin, size);
    copy[size] = '\0';
    return copy;
}

// A copy of a declared language, or null when it is no token: the document
// then counts as declaring none, and its content decides.
char *declared_language(std::string_view value) {
    return is_language_token(value) ? copy_range(value.data(), value.data() + value.size())
                                    : nullptr;
}

// The byte classes that the attribute reader searches for.
enum ByteClass {
    kNonSpace,
    kSpace,
    kSpaceOrEquals,  // end of an attribute name
    kDoubleQuote,
    kSingleQuote,
    kCharsetSemicolon,  // a ';' that white space and "charset" follow
    kByteClasses
};

// Scans shorter than this are not remembered: repeating them costs a bounded
// amount per query.
constexpr std::ptrdiff_t kRememberedScan = 16;

// The body of one tag, from the first byte after its name up to its '>'.
//
// Every html or meta tag is read from its name to the next '>', so in a page
// like "<html<html<html ... >" each tag's body holds all the tags after it.
// Reading each body afresh would cost the square of its length. A TagBody is
// shared by all the tags that end at the same '>' (the scan moves forward, so
// they come one after another) and remembers, per byte class, the stretches
// it has already searched: every byte of the body is searched at most once
// per class, however many tags start inside it. The answers are exactly
// those of a plain search.
class TagBody {
  public:
    // `start` is the first (leftmost) tag's body start, `close` its '>'.
    TagBody(const char *start, const char *close) : close_(close), end_(close) {
        // A self-closing tag's '/' and the white space before '>' are not
        // part of the last value. For a later start s the trimmed end is
        // max(end_, s): the bytes between are all white space.
        if (end_ > start && end_[-1] == '/') --end_;
        while (end_ > start && lang_ascii_space(end_[-1])) --end_;
    }
    TagBody(const TagBody &) = delete;
    TagBody &operator=(const TagBody &) = delete;

    const char *close() const { return close_; }

    // End of the attribute text of the tag whose body starts at `start`.
    const char *end_for(const char *start) const { return std::max(end_, start); }

    // First byte at or after p of the class, or the end when none.
    const char *next(ByteClass c, const char *p) {
        if (p >= end_) return end_;
        std::map<const char *, const char *> &known = known_[c];
        auto after = known.upper_bound(p);
        if (after != known.begin()) {
            auto before = std::prev(after);
            if (p <= before->second) return before->second;
        }
        const char *stop = after == known.end() ? end_ : after->first;
        const char *q = p;
        while (q < stop && !is_member(c, q)) ++q;
        const char *answer = q;
        if (q == stop && after != known.end()) {
            answer = after->second;
            known.erase(after);
        } else if (q - p < kRememberedScan) {
            return answer;
        }
        known.emplace(p, answer);
        return answer;
    }

    // `value_end` moved back over the white space that ends the value.
    const char *trim(const char *value, const char *value_end) {
        auto known = trimmed_.find(value_end);
        if (known != trimmed_.end() && known->second.first == value) return known->second.second;
        const char *p = value_end;
        while (p > value && lang_ascii_space(p[-1])) --p;
        if (value_end - p >= kRememberedScan) trimmed_[value_end] = {value, p};
        return p;
    }

  private:
    bool is_member(ByteClass c, const char *p) {
        switch (c) {
            case kNonSpace:
                return !lang_ascii_space(*p);
            case kSpace:
                return lang_ascii_space(*p);
            case kSpaceOrEquals:
                return lang_ascii_space(*p) || *p == '=';
            case kDoubleQuote:
                return *p == '"';
            case kSingleQuote:
                return *p == '\'';
            case kCharsetSemicolon:
                return *p == ';' && starts_with_ci(next(kNonSpace, p + 1), end_, "charset");
            case kByteClasses:
                break;
        }
        return false;
    }

    const char *close_;
    const char *end_;
    std::map<const char *, const char *> known_[kByteClasses];
    std::map<const char *, std::pair<const char *, const char *>> trimmed_;
};

// One attribute as positions in the document: what GetMetaAttr copies.
// A null name marks an unused slot; a null value an attribute whose name was
// read before the tag failed.
struct AttrSpan {
    const char *name = nullptr;
    const char *name_end = nullptr;
    const char *value = nullptr;
    const char *value_end = nullptr;

    std::string_view value_view() const {
        return std::string_view(value, static_cast<size_t>(value_end - value));
    }
};

bool name_begins_with(std::string_view have, std::string_view wanted) {
    return starts_with_ci(have.data(), have.data() + have.size(), wanted);
}

// The attribute reader shared by GetMetaAttr and the tag scans: fills the
// spans from the first; false when the tag does not parse (the spans read so
// far stay filled).
bool parse_attributes(TagBody &body, const char *start, AttrSpan spans[META_ATTR_SLOTS]) {
    for (int i = 0; i < META_ATTR_SLOTS; ++i) spans[i] = AttrSpan{};
    const char *const end = body.end_for(start);
    int count = 0;
    const char *p = start;
    while (p < end) {
        p = body.next(kNonSpace, p);
        const char *name = p;
        p = body.next(kSpaceOrEquals, p);
        if (p >= end) return false;
        spans[count].name = name;
        spans[count].name_end = p;

        p = body.next(kNonSpace, p);
        if (p >= end || *p != '=') return false;
        p = body.next(kNonSpace, p + 1);
        if (p >= end) return false;

        ByteClass value_end = kSpace;
        if (*p == '"' || *p == '\'') {
            const char quote = *p;
            value_end = quote == '"' ? kDoubleQuote : kSingleQuote;
            p = body.next(kNonSpace, p + 1);
            if (p >= end || *p == quote) return false;
        }
        const char *value = p;
        p = body.next(value_end, p);
        spans[count].value = value;
        spans[count].value_end = body.trim(value, p);

        if (++count == META_ATTR_SLOTS) return false;
        p = p + 1;
    }
    return true;
}

// Value of the first attribute whose name begins with `name` (ASCII case
// folded), or null.
const AttrSpan *find_attribute(const AttrSpan spans[META_ATTR_SLOTS], std::string_view name) {
    for (int i = 0; i < META_ATTR_SLOTS && spans[i].name; ++i) {
        const std::string_view have(spans[i].name,
                                    static_cast<size_t>(spans[i].name_end - spans[i].name));
        if (name_begins_with(have, name)) return &spans[i];
    }
    return nullptr;
}

// Walks the tags of a document. next() positions the cursor at the first
// byte of the next tag's name (past '<', its white space and any comment
// that opens right there); false ends the scan.
class TagScanner {
  public:
    TagScanner(const char *buffer, int32_t length) : p_(buffer), end_(buffer + length) {}

    bool next() {
        if (p_ >= end_) return false;
        const char *open = find_byte(p_, end_, '<');
        if (!open) return false;
        p_ = skip_space(open + 1, end_);
        if (end_ - p_ >= 3 && std::string_view(p_, 3) == "!--") {
            // The element checks go on right after the comment's end, without
            // looking for another '<' first.
            const char *close = find_text(p_, end_, "-->");
            if (!close) return false;
            p_ = close + 3;
        }
        return true;
    }

    // Consumes `word` at the cursor when it is there (case folded).
    bool take(std::string_view word) {
        if (!starts_with_ci(p_, end_, word)) return false;
        p_ += word.size();
        return true;
    }

    bool at_space() const { return p_ < end_ && lang_ascii_space(*p_); }
    const char *cursor() const { return p_; }

    // The body of the tag at the cursor, up to the next '>'; null when there
    // is none. Tags that end at the same '>' share one body.
    TagBody *body() {
        if (!body_ || body_->close() < p_) {
            const char *close = find_byte(p_, end_, '>');
            if (!close) return nullptr;
            body_.emplace(p_, close);
        }
        return &*body_;
    }

    // Reads the attributes of the tag at the cursor into `spans`; false when
    // they do not parse.
    bool attributes(TagBody &body, AttrSpan spans[META_ATTR_SLOTS]) {
        return parse_attributes(body, p_, spans);
    }

  private:
    const char *p_;
    const char *end_;
    std::optional<TagBody> body_;
};

// The charset parameter of a Content-Type value [value, value_end): the name
// after the first "; charset =" found. False when there is no such
// parameter; an empty name (a quoted one, say) still counts as found.
bool charset_parameter(TagBody &body, const char *value, const char *value_end,
                       std::string_view *name) {
    // The first ';' that white space and "charset" follow within the tag is
    // the first one within the value, unless its "charset" runs past the
    // value's end (then no ';' of the value is followed by "charset").
    const char *semicolon = body.next(kCharsetSemicolon, value);
    if (semicolon >= value_end) return false;
    const char *p = std::min(body.next(kNonSpace, semicolon + 1), value_end);
    if (!starts_with_ci(p, value_end, "charset")) return false;
    p = std::min(body.next(kNonSpace, p + 7), value_end);
    if (p >= value_end || *p != '=') return false;
    p = std::min(body.next(kNonSpace, p + 1), value_end);
    const char *begin = p;
    while (p < value_end && is_name_byte(*p)) ++p;
    *name = std::string_view(begin, static_cast<size_t>(p - begin));
    return true;
}

// Reads the attributes of a meta tag at the scanner into spans and returns
// its body. Null when the tag is no meta tag or its attributes cannot be
// read (the scan goes on), or when *stop is set: "meta" not followed by a
// blank, or a tag that never closes, ends the scan.
TagBody *read_meta(TagScanner &scan, AttrSpan *spans, bool *stop) {
    if (!scan.take("meta")) return nullptr;
    if (!scan.at_space()) {
        *stop = true;
        return nullptr;
    }
    TagBody *body = scan.body();
    if (!body) {
        *stop = true;
        return nullptr;
    }
    return scan.attributes(*body, spans) ? body : nullptr;
}

}  // namespace

int ExtractCharset(int32_t kind, char *buffer, int32_t length, int32_t *charset) {
    if (!charset) return LANG_ERR_NULL;
    *charset = 0;
    switch (kind) {
        case 4:
            return XmlExtract(buffer, length, charset);
        case 2:
        case 3:
            return MetaExtract(buffer, length, charset);
        default:
            return LANG_OK;
    }
}

int ExtractLanguage(int32_t kind, const char *buffer, int32_t length, char **language) {
    if (!language) return LANG_ERR_NULL;
    *language = nullptr;
    if (kind == 2 || kind == 3) return HtmlLangExtract(buffer, length, language);
    return LANG_OK;
}

int HtmlLangExtract(const char *buffer, int32_t length, char **language) {
    if (!language) return LANG_ERR_NULL;
    if (!buffer || length <= 0) return LANG_OK;

    TagScanner scan(buffer, length);
    AttrSpan spans[META_ATTR_SLOTS];
    while (scan.next()) {
        if (scan.take("html")) {
            TagBody *body = scan.body();
            if (!body) break;
            if (!scan.attributes(*body, spans)) continue;
            if (const AttrSpan *lang = find_attribute(spans, "lang")) {
                *language = declared_language(lang->value_view());
                break;
            }
            // An html tag without a language still gets the meta check at the
            // same place.
        }
        bool stop = false;
        if (!read_meta(scan, spans, &stop)) {
            if (stop) break;
            continue;
        }
        const AttrSpan *equiv = find_attribute(spans, "http-equiv");
        if (equiv && lang_equals_nocase(equiv->value_view(), "Content-Language")) {
            if (const AttrSpan *content = find_attribute(spans, "content")) {
                *language = declared_language(content->value_view());
                break;
            }
        }
    }
    return LANG_OK;
}

int MetaExtract(const char *buffer, int32_t length, int32_t *charset) {
    if (!charset) return LANG_ERR_NULL;
    if (!buffer || length <= 0) return LANG_OK;

    TagScanner scan(buffer, length);
    AttrSpan spans[META_ATTR_SLOTS];
    while (scan.next()) {
        bool stop = false;
        TagBody *body = read_meta(scan, spans, &stop);
        if (!body) {
            if (stop) break;
            continue;
        }
        const AttrSpan *equiv = find_attribute(spans, "http-equiv");
        const AttrSpan *content = find_attribute(spans, "content");
        std::string_view name;
        if (!equiv || !lang_equals_nocase(equiv->value_view(), "Content-Type") || !content ||
            !charset_parameter(*body, content->value, content->value_end, &name)) {
            continue;
        }
        // The first Content-Type meta with a charset parameter decides, even
        // when its name maps to nothing.
        return MapCharsetName(std::string(name).c_str(), charset);
    }
    return LANG_OK;
}

int XmlExtract(char *buffer, int32_t length, int32_t *charset) {
    if (!charset) return LANG_ERR_NULL;
    if (!buffer || length <= 0) return LANG_OK;
    *charset = 0;

    const char *end = buffer + length;
    if (!starts_with_ci(buffer, end, "<?xml") || length < 6 || buffer[5] != ' ') return LANG_OK;
    const char *close = find_byte(buffer, end, '>');
    if (!close) return LANG_OK;

    std::string_view decl(buffer, static_cast<size_t>(close - buffer));
    size_t at = decl.find("encoding");
    if (at == std::string_view::npos) return LANG_OK;
    const char *p = skip_space(decl.data() + at + 8, close);
    if (p >= close || *p != '=') return LANG_OK;
    p = skip_space(p + 1, close);
    // Only double quotes delimit the name here.
    if (p >= close || *p != '"') return LANG_OK;
    const char *begin = p + 1;
    const char *quote = find_byte(begin, close, '"');
    if (!quote) return LANG_OK;
    return MapCharsetName(std::string(begin, quote).c_str(), charset);
}

int GetMetaAttr(const char *start, const char *end, MetaAttr attributes[META_ATTR_SLOTS]) {
    if (!start || !end || !attributes) return LANG_ERR_NULL;
    TagBody body(start, end);
    AttrSpan spans[META_ATTR_SLOTS];
    const bool parsed = parse_attributes(body, start, spans);
    int count = 0;
    for (; count < META_ATTR_SLOTS && spans[count].name; ++count) {
        const AttrSpan &span = spans[count];
        attributes[count].name = copy_range(span.name, span.name_end);
        if (!attributes[count].name) return LANG_ERR_IDENTIFY;
        if (!span.value) break;
        attributes[count].value = copy_range(span.value, span.value_end);
        if (!attributes[count].value) return LANG_ERR_IDENTIFY;
    }
    if (!parsed) return LANG_ERR_IDENTIFY;
    attributes[count].name = nullptr;
    return LANG_OK;
}

int AttrFind(const MetaAttr attributes[META_ATTR_SLOTS], const char *name) {
    if (!attributes || !name) return 0;
    for (int i = 0; i < META_ATTR_SLOTS && attributes[i].name; ++i) {
        if (name_begins_with(attributes[i].name, name)) return i + 1;
    }
    return 0;
}
