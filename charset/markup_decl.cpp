// markup_decl.cpp - the language and charset that HTML, SGML and XML
// documents declare about themselves.
//
// This is a small tag reader, not an HTML parser: it looks at html and meta
// tags only, skips comments, and stops at the first declaration. Every search
// stops at the end of the text and at the first NUL byte, whichever comes
// first, so a NUL inside a document ends the scan there.
#include "charset/markup_decl.h"

#include <string.h>

#include <string>
#include <string_view>

#include "charset/charset_names.h"
#include "engine/lang_api.h"
#include "platform/vos.h"

namespace {

// White space of the C locale.
constexpr bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool is_name_byte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

// True when the bytes at p begin with `word` (ASCII case folded), all of
// them lying before `limit`.
bool starts_with_ci(const char *p, const char *limit, std::string_view word) {
    if (limit - p < static_cast<std::ptrdiff_t>(word.size())) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        if (ascii_lower(p[i]) != ascii_lower(word[i])) return false;
    }
    return true;
}

bool equals_ci(std::string_view a, std::string_view b) {
    return a.size() == b.size() && starts_with_ci(a.data(), a.data() + a.size(), b);
}

const char *skip_space(const char *p, const char *limit) {
    while (p < limit && is_space(*p)) ++p;
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

// Owns the attribute slots of the tag being looked at.
class AttrList {
  public:
    AttrList() = default;
    AttrList(const AttrList &) = delete;
    AttrList &operator=(const AttrList &) = delete;
    ~AttrList() { clear(); }

    void clear() {
        for (MetaAttr &slot : slots_) {
            vos_free(slot.name);
            vos_free(slot.value);
            slot = MetaAttr{};
        }
    }

    // Parses the tag body [start, end); false when it does not parse.
    bool parse(const char *start, const char *end) {
        clear();
        return GetMetaAttr(start, end, slots_) == LANG_OK;
    }

    // Value of the first attribute whose name begins with `name`, or null.
    const char *value(const char *name) const {
        int slot = AttrFind(slots_, name);
        return slot ? slots_[slot - 1].value : nullptr;
    }

  private:
    MetaAttr slots_[META_ATTR_SLOTS] = {};
};

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

    bool at_space() const { return p_ < end_ && is_space(*p_); }
    const char *cursor() const { return p_; }
    const char *tag_end() const { return find_byte(p_, end_, '>'); }

  private:
    const char *p_;
    const char *end_;
};

// The charset parameter of a Content-Type value: the name after the first
// "; charset =" found. False when there is no such parameter; an empty
// name (a quoted one, say) still counts as found.
bool charset_parameter(std::string_view content, std::string_view *name) {
    const char *p = content.data();
    const char *limit = p + content.size();
    for (;;) {
        const char *semicolon = find_byte(p, limit, ';');
        if (!semicolon) return false;
        p = skip_space(semicolon + 1, limit);
        if (starts_with_ci(p, limit, "charset")) break;
    }
    p = skip_space(p + 7, limit);
    if (p >= limit || *p != '=') return false;
    p = skip_space(p + 1, limit);
    const char *begin = p;
    while (p < limit && is_name_byte(*p)) ++p;
    *name = std::string_view(begin, static_cast<size_t>(p - begin));
    return true;
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
    AttrList attrs;
    while (scan.next()) {
        if (scan.take("html")) {
            const char *close = scan.tag_end();
            if (!close) break;
            if (!attrs.parse(scan.cursor(), close)) continue;
            if (const char *lang = attrs.value("lang")) {
                *language = declared_language(lang);
                break;
            }
            attrs.clear();
            // An html tag without a language still gets the meta check at the
            // same place.
        }
        if (!scan.take("meta")) continue;
        if (!scan.at_space()) break;
        const char *close = scan.tag_end();
        if (!close) break;
        if (!attrs.parse(scan.cursor(), close)) continue;
        const char *equiv = attrs.value("http-equiv");
        if (equiv && equals_ci(equiv, "Content-Language")) {
            if (const char *content = attrs.value("content")) {
                *language = declared_language(content);
                break;
            }
        }
        attrs.clear();
    }
    return LANG_OK;
}

int MetaExtract(const char *buffer, int32_t length, int32_t *charset) {
    if (!charset) return LANG_ERR_NULL;
    if (!buffer || length <= 0) return LANG_OK;

    TagScanner scan(buffer, length);
    AttrList attrs;
    while (scan.next()) {
        if (!scan.take("meta")) continue;
        if (!scan.at_space()) break;
        const char *close = scan.tag_end();
        if (!close) break;
        if (!attrs.parse(scan.cursor(), close)) continue;
        const char *equiv = attrs.value("http-equiv");
        const char *content = attrs.value("content");
        std::string_view name;
        if (!equiv || !equals_ci(equiv, "Content-Type") || !content ||
            !charset_parameter(content, &name)) {
            attrs.clear();
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
    // A self-closing tag's '/' is not part of the last value.
    if (end > start && end[-1] == '/') --end;
    while (end > start && is_space(end[-1])) --end;

    int count = 0;
    const char *p = start;
    while (p < end) {
        p = skip_space(p, end);
        const char *name = p;
        while (p < end && !is_space(*p) && *p != '=') ++p;
        if (p >= end) return LANG_ERR_IDENTIFY;
        attributes[count].name = copy_range(name, p);
        if (!attributes[count].name) return LANG_ERR_IDENTIFY;

        p = skip_space(p, end);
        if (p >= end || *p != '=') return LANG_ERR_IDENTIFY;
        p = skip_space(p + 1, end);
        if (p >= end) return LANG_ERR_IDENTIFY;

        char quote = 0;
        if (*p == '"' || *p == '\'') {
            quote = *p;
            p = skip_space(p + 1, end);
            if (p >= end || *p == quote) return LANG_ERR_IDENTIFY;
        }
        const char *value = p;
        while (p < end && (quote ? *p != quote : !is_space(*p))) ++p;
        const char *value_end = p;
        while (value_end > value && is_space(value_end[-1])) --value_end;
        attributes[count].value = copy_range(value, value_end);
        if (!attributes[count].value) return LANG_ERR_IDENTIFY;

        if (++count == META_ATTR_SLOTS) return LANG_ERR_IDENTIFY;
        p = p + 1;
    }
    attributes[count].name = nullptr;
    return LANG_OK;
}

int AttrFind(const MetaAttr attributes[META_ATTR_SLOTS], const char *name) {
    if (!attributes || !name) return 0;
    std::string_view wanted(name);
    for (int i = 0; i < META_ATTR_SLOTS && attributes[i].name; ++i) {
        const char *have = attributes[i].name;
        if (starts_with_ci(have, have + strlen(have), wanted)) return i + 1;
    }
    return 0;
}
