// catalog_text.cpp - GNU gettext message catalogs, binary and source.
#include "filters/dxfilter/catalog_text.h"

#include <algorithm>

#include "filters/dxfilter/bytes.h"
#include "filters/dxfilter/compress_text.h"
#include "filters/dxfilter/dx_module.h"

namespace dxf {
namespace {

constexpr uint32_t kMagic = 0x950412DEu;
constexpr uint32_t kMagicSwapped = 0xDE120495u;
// Entries (or lines of a `.po` file) between two looks at the clock.
constexpr size_t kClockEvery = 4096;

uint32_t le32(std::string_view b, size_t at) {
    return dxf::le32(reinterpret_cast<const unsigned char *>(b.data()) + at);
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool is_blank(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
    });
}

// Appends the NUL-separated pieces of `s` that are not empty.
void add_pieces(std::string_view s, std::vector<std::string_view> &out) {
    size_t at = 0;
    while (at <= s.size()) {
        size_t end = s.find('\0', at);
        if (end == std::string_view::npos) end = s.size();
        if (end > at) out.push_back(s.substr(at, end - at));
        at = end + 1;
    }
}

// The messages in UTF-8, in the charset the header names or the bytes tell.
void convert(const std::vector<std::string_view> &messages, std::string_view header, bool bom,
             CatalogText &out) {
    // ASCII, which catalogs name for 8-bit text too, the template's
    // "CHARSET" and the Unicode forms leave it to the bytes.
    std::string charset = bom ? "UTF-8" : UsableCharset(CatalogHeaderCharset(header), true);
    if (charset.empty()) {
        std::string all;
        for (std::string_view m : messages) {
            all.append(m);
            all += '\n';
        }
        charset = GuessCharset(all, true, false);
    }
    TextDecoder decoder(charset, false);
    out.charset = decoder.charset();
    std::string utf8;
    for (std::string_view m : messages) {
        utf8.clear();
        decoder.Decode(m, true, utf8);
        if (!is_blank(utf8)) out.lines.push_back(std::move(utf8));
    }
    out.ok = true;
}

// Messages gathered, and their bytes against the bound.
struct Gathered {
    std::vector<std::string_view> messages;
    size_t bytes = 0;
    void Add(std::string_view s, size_t max) {
        if (bytes >= max) return;
        add_pieces(s, messages);
        bytes += s.size();
    }
};

// A msgid without its context ("context\x04msgid").
std::string_view without_context(std::string_view id) {
    const size_t eot = id.find('\x04');
    return eot == std::string_view::npos ? id : id.substr(eot + 1);
}

// ---- `.po` -------------------------------------------------------------------------

// The bytes a C string literal's content stands for.
void unescape(std::string_view s, std::string &out) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        switch (c) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'a':
                out += '\a';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'v':
                out += '\v';
                break;
            case 'x': {
                unsigned v = 0;
                size_t k = i + 1;
                for (; k < s.size() && hex_digit(s[k]) >= 0; ++k)
                    v = (v << 4 | static_cast<unsigned>(hex_digit(s[k]))) & 0xFF;
                if (k == i + 1) {
                    out += 'x';
                } else {
                    out += static_cast<char>(v);
                    i = k - 1;
                }
                break;
            }
            default:
                if (c >= '0' && c <= '7') {
                    unsigned v = 0;
                    size_t k = i;
                    for (; k < s.size() && k < i + 3 && s[k] >= '0' && s[k] <= '7'; ++k)
                        v = v * 8 + static_cast<unsigned>(s[k] - '0');
                    out += static_cast<char>(v & 0xFF);
                    i = k - 1;
                } else {
                    out += c;  // \\, \", \', \? and escapes C does not have
                }
        }
    }
}

// One entry of a `.po` file as it is read.
struct PoEntry {
    bool context = false;
    std::string id, plural;
    std::vector<std::string> strs;
};

class PoReader {
  public:
    explicit PoReader(const CatalogBounds &bounds) : bounds_(bounds) {}

    void Read(std::string_view bytes) {
        size_t at = 0, lines = 0;
        while (at < bytes.size()) {
            if (++lines % kClockEvery == 0 && DXM_CpuNs() > bounds_.deadlineNs) break;
            size_t end = bytes.find('\n', at);
            if (end == std::string_view::npos) end = bytes.size();
            Line(trim(bytes.substr(at, end - at)));
            at = end + 1;
        }
        End();
    }

    std::string header;
    bool haveHeader = false;
    std::vector<std::string> translations, ids;
    size_t translationBytes = 0, idBytes = 0;

  private:
    enum class Target { kNone, kContext, kId, kPlural, kStr };

    void Line(std::string_view line) {
        if (line.empty() || line.front() == '#') return;  // comments, obsolete entries
        if (line.front() == '"') {
            if (line.size() >= 2 && line.back() == '"')
                Append(line.substr(1, line.size() - 2));
            else
                target_ = Target::kNone;
            return;
        }
        size_t k = 0;
        while (k < line.size() && ((line[k] >= 'a' && line[k] <= 'z') || line[k] == '_')) ++k;
        const std::string_view word = line.substr(0, k);
        if (word == "msgstr" && k < line.size() && line[k] == '[') {
            const size_t close = line.find(']', k);
            k = close == std::string_view::npos ? line.size() : close + 1;
        }
        const std::string_view rest = trim(line.substr(k));
        const bool quoted = rest.size() >= 2 && rest.front() == '"' && rest.back() == '"';
        if (!quoted) {
            target_ = Target::kNone;
            return;
        }
        if (word == "msgctxt") {
            End();
            entry_.context = true;
            target_ = Target::kContext;
        } else if (word == "msgid") {
            if (target_ != Target::kContext) End();
            target_ = Target::kId;
        } else if (word == "msgid_plural") {
            target_ = Target::kPlural;
        } else if (word == "msgstr") {
            entry_.strs.emplace_back();
            target_ = Target::kStr;
        } else {
            target_ = Target::kNone;
            return;
        }
        open_ = true;
        Append(rest.substr(1, rest.size() - 2));
    }

    void Append(std::string_view literal) {
        switch (target_) {
            case Target::kNone:
            case Target::kContext:
                return;
            case Target::kId:
                if (entry_.id.size() < bounds_.maxText) unescape(literal, entry_.id);
                return;
            case Target::kPlural:
                if (entry_.plural.size() < bounds_.maxText) unescape(literal, entry_.plural);
                return;
            case Target::kStr:
                if (entry_.strs.back().size() < bounds_.maxText)
                    unescape(literal, entry_.strs.back());
                return;
        }
    }

    void End() {
        if (open_) {
            if (!entry_.context && entry_.id.empty()) {
                if (!haveHeader && !entry_.strs.empty()) header = entry_.strs.front();
                haveHeader = true;
            } else {
                for (std::string &s : entry_.strs)
                    Keep(std::move(s), translations, translationBytes);
                Keep(std::move(entry_.id), ids, idBytes);
                Keep(std::move(entry_.plural), ids, idBytes);
            }
        }
        entry_ = PoEntry();
        open_ = false;
        target_ = Target::kNone;
    }

    void Keep(std::string s, std::vector<std::string> &list, size_t &bytes) {
        if (s.empty() || bytes >= bounds_.maxText) return;
        bytes += s.size();
        list.push_back(std::move(s));
    }

    const CatalogBounds &bounds_;
    PoEntry entry_;
    bool open_ = false;  // an entry has begun
    Target target_ = Target::kNone;
};

}  // namespace

std::string CatalogHeaderCharset(std::string_view header) {
    size_t at = 0;
    while (at < header.size()) {
        size_t end = header.find('\n', at);
        if (end == std::string_view::npos) end = header.size();
        const std::string_view line = trim(header.substr(at, end - at));
        at = end + 1;
        std::string low;
        for (char c : line) low += ascii_lower(c);
        if (!low.starts_with("content-type:")) continue;
        size_t from = low.find("charset=");
        if (from == std::string::npos) return {};
        from += 8;
        while (from < low.size() && (low[from] == '"' || low[from] == '\'' || low[from] == ' '))
            ++from;
        size_t to = from;
        while (to < low.size() && low[to] != ';' && low[to] != ' ' && low[to] != '"' &&
               low[to] != '\'' && to - from < 40)
            ++to;
        return std::string(line.substr(from, to - from));
    }
    return {};
}

CatalogText ReadBinaryCatalog(std::string_view b, const CatalogBounds &bounds) {
    CatalogText out;
    const auto refuse = [&out](std::string why) {
        out.error = std::move(why);
        return out;
    };
    if (b.size() < 28) return refuse("shorter than a catalog header");
    const uint32_t magic = le32(b, 0);
    if (magic != kMagic && magic != kMagicSwapped) return refuse("no catalog magic");
    const bool swapped = magic == kMagicSwapped;
    const auto word = [&](uint64_t at) {
        const uint32_t v = le32(b, static_cast<size_t>(at));
        return swapped ? __builtin_bswap32(v) : v;
    };
    const uint32_t revision = word(4);
    if (revision >> 16 > 1)
        return refuse("revision " + std::to_string(revision >> 16) + " is not one of 0 and 1");
    // Minor revision 1 adds the fields of system-dependent strings to the header.
    const uint64_t headerSize = (revision & 0xFFFF) != 0 ? 48 : 28;
    const uint64_t size = b.size();
    if (size < headerSize) return refuse("shorter than a catalog header");
    const uint64_t count = word(8), origTable = word(12), transTable = word(16);
    if (count > (size - headerSize) / 16)
        return refuse("a count of " + std::to_string(count) + " messages does not fit the file");
    const uint64_t tableBytes = count * 8;
    if (count > 0) {
        const auto in_file = [&](uint64_t at) {
            return at >= headerSize && at + tableBytes <= size;
        };
        if (!in_file(origTable) || !in_file(transTable))
            return refuse("a string table does not lie in the file");
        if (origTable < transTable + tableBytes && transTable < origTable + tableBytes)
            return refuse("the string tables overlap");
    }
    // A string's descriptor: its length, then its offset; the NUL after it
    // must be in the file too.
    const auto string_at = [&](uint64_t descriptor, std::string_view &s) {
        const uint64_t length = word(descriptor), offset = word(descriptor + 4);
        if (offset + length >= size || b[offset + length] != '\0') return false;
        s = b.substr(offset, length);
        return true;
    };
    std::string_view header;
    bool haveHeader = false;
    Gathered translations, ids;
    for (uint64_t i = 0; i < count; ++i) {
        if (i % kClockEvery == kClockEvery - 1 && DXM_CpuNs() > bounds.deadlineNs) break;
        std::string_view id, str;
        if (!string_at(origTable + 8 * i, id) || !string_at(transTable + 8 * i, str))
            return refuse("message " + std::to_string(i) +
                          " does not lie in the file or has no terminating NUL");
        if (id.empty()) {
            if (!haveHeader) header = str;
            haveHeader = true;
            continue;
        }
        translations.Add(str, bounds.maxText);
        ids.Add(without_context(id), bounds.maxText);
    }
    out.sourceMessages = translations.messages.empty();
    convert(out.sourceMessages ? ids.messages : translations.messages, header, false, out);
    return out;
}

CatalogText ReadPoCatalog(std::string_view bytes, const CatalogBounds &bounds) {
    const bool bom = bytes.starts_with("\xEF\xBB\xBF");
    if (bom) bytes.remove_prefix(3);
    PoReader reader(bounds);
    reader.Read(bytes);
    CatalogText out;
    out.sourceMessages = reader.translations.empty();
    const std::vector<std::string> &chosen = out.sourceMessages ? reader.ids : reader.translations;
    std::vector<std::string_view> messages(chosen.begin(), chosen.end());
    convert(messages, reader.header, bom, out);
    return out;
}

CatalogText ReadCatalog(std::string_view bytes, const CatalogBounds &bounds) {
    if (bytes.size() >= 4) {
        const uint32_t magic = le32(bytes, 0);
        if (magic == kMagic || magic == kMagicSwapped) return ReadBinaryCatalog(bytes, bounds);
    }
    return ReadPoCatalog(bytes, bounds);
}

}  // namespace dxf
