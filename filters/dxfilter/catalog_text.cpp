// catalog_text.cpp - message catalogs: GNU gettext .mo/.po, Qt .qm/.ts,
// XLIFF.
#include "filters/dxfilter/catalog_text.h"

#include <algorithm>
#include <deque>

#include "filters/dxfilter/bytes.h"
#include "filters/dxfilter/compress_text.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/sniff.h"
#include "filters/dxfilter/utf8.h"
#include "filters/dxfilter/xml_push.h"

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

// Calls `f` on the NUL-separated pieces of `s` that are not empty (the
// forms of a message), until it answers true; whether it did.
template <typename F>
bool any_piece(std::string_view s, F f) {
    size_t at = 0;
    while (at <= s.size()) {
        size_t end = s.find('\0', at);
        if (end == std::string_view::npos) end = s.size();
        if (end > at && f(s.substr(at, end - at))) return true;
        at = end + 1;
    }
    return false;
}

// A message of UTF-8 as a line of the catalog's text, unless it is blank.
void add_line(std::string utf8, CatalogText &out) {
    if (!is_blank(utf8)) out.lines.push_back(std::move(utf8));
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
    for (std::string_view m : messages) {
        std::string utf8;
        decoder.Decode(m, true, utf8);
        add_line(std::move(utf8), out);
    }
    out.ok = true;
}

// Messages kept whole, and their bytes against the bound.
struct Kept {
    std::vector<std::string> messages;
    size_t bytes = 0;
    void Add(std::string s, size_t max) {
        if (s.empty() || bytes >= max) return;
        bytes += s.size();
        messages.push_back(std::move(s));
    }
};

// The lines of a catalog whose messages are UTF-8 already: its translations,
// or its source texts when it has none.
void utf8_lines(Kept &translations, Kept &sources, CatalogText &out) {
    out.sourceMessages = translations.messages.empty();
    for (std::string &m : out.sourceMessages ? sources.messages : translations.messages)
        add_line(std::move(m), out);
    out.charset = "UTF-8";
    out.ok = true;
}

// Whether a translation (or one plural form of it) only copies its source
// text, one of the NUL-separated forms of `source`: what translators and
// their tools leave for a message not translated yet. Such a copy is in the
// source language, not the catalog's, and is not read as a translation.
bool copies_source(std::string_view form, std::string_view source) {
    return any_piece(source, [form](std::string_view piece) { return piece == form; });
}

// Messages gathered, and their bytes against the bound. The forms of a
// translation that copy its source `id` are left out.
struct Gathered {
    std::vector<std::string_view> messages;
    size_t bytes = 0;
    void Add(std::string_view s, size_t max, std::string_view id = {}) {
        if (bytes >= max) return;
        any_piece(s, [this, id](std::string_view form) {
            if (id.empty() || !copies_source(form, id)) messages.push_back(form);
            return false;
        });
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
    Kept translations, ids;

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
                    if (s != entry_.id && s != entry_.plural)  // not a copy (copies_source)
                        translations.Add(std::move(s), bounds_.maxText);
                ids.Add(std::move(entry_.id), bounds_.maxText);
                ids.Add(std::move(entry_.plural), bounds_.maxText);
            }
        }
        entry_ = PoEntry();
        open_ = false;
        target_ = Target::kNone;
    }

    const CatalogBounds &bounds_;
    PoEntry entry_;
    bool open_ = false;  // an entry has begun
    Target target_ = Target::kNone;
};

// ---- Qt `.qm` ----------------------------------------------------------------------

// The section that holds the messages; the others (hashes 0x42, contexts
// 0x2F, numerus rules 0x88, dependencies 0x96, language 0xA7) are skipped.
constexpr unsigned char kQmMessages = 0x69;

// The fields of a message.
enum QmField : unsigned char {
    kQmEnd = 1,           // ends the message
    kQmSourceText16 = 2,  // old catalogs: length, UTF-16
    kQmTranslation = 3,   // length (0xFFFFFFFF: none), UTF-16BE
    kQmContext16 = 4,     // old catalogs: length, UTF-16
    kQmObsolete1 = 5,     // 4 bytes
    kQmSourceText = 6,    // length, UTF-8
    kQmContext = 7,       // length, UTF-8
    kQmComment = 8,       // length, UTF-8
};

constexpr uint32_t kQmNull = 0xFFFFFFFFu;

uint32_t be32(std::string_view b, size_t at) {
    return dxf::be32(reinterpret_cast<const unsigned char *>(b.data()) + at);
}

class QmReader {
  public:
    explicit QmReader(const CatalogBounds &bounds) : bounds_(bounds) {}

    // Reads the sections of a catalog after its magic.
    void Read(std::string_view b) {
        for (size_t at = 16; at < b.size() && damage.empty() && !stopped_;) {
            if (b.size() - at < 5) {
                damage = "a section header is cut by the end of the file";
                break;
            }
            const auto tag = static_cast<unsigned char>(b[at]);
            const uint32_t length = be32(b, at + 1);
            at += 5;
            const bool inFile = length <= b.size() - at;
            if (tag == kQmMessages) Messages(b.substr(at, inFile ? length : b.size() - at));
            if (!inFile && damage.empty())
                damage = "section " + std::to_string(tag) + " does not lie in the file";
            at += inFile ? length : 0;
        }
    }

    bool gathered() const { return !translations.messages.empty() || !sources.empty(); }

    std::string damage;  // why reading ended early
    Kept translations;
    std::vector<std::string_view> sources;  // UTF-8 as a rule, decoded as the bytes tell

  private:
    void Messages(std::string_view data) {
        std::vector<std::string> forms;
        std::string_view source;
        size_t fields = 0;
        for (size_t at = 0; at < data.size();) {
            if (++fields % kClockEvery == 0 && DXM_CpuNs() > bounds_.deadlineNs) {
                stopped_ = true;
                return;
            }
            const auto tag = static_cast<unsigned char>(data[at++]);
            if (tag == kQmEnd) {
                for (std::string &form : forms)
                    if (form != source)  // not a copy (copies_source)
                        translations.Add(std::move(form), bounds_.maxText);
                if (!source.empty() && sourceBytes_ < bounds_.maxText) {
                    sources.push_back(source);
                    sourceBytes_ += source.size();
                }
                forms.clear();
                source = {};
                if (translations.bytes >= bounds_.maxText) {
                    stopped_ = true;
                    return;
                }
                continue;
            }
            if (tag == kQmObsolete1) {
                if (data.size() - at < 4)
                    return Damage("a message is cut by the end of its section");
                at += 4;
                continue;
            }
            if (tag != kQmTranslation && tag != kQmSourceText16 && tag != kQmContext16 &&
                tag != kQmSourceText && tag != kQmContext && tag != kQmComment)
                return Damage("a message field of unknown tag " + std::to_string(tag));
            if (data.size() - at < 4) return Damage("a message is cut by the end of its section");
            const uint32_t length = be32(data, at);
            at += 4;
            if (length == kQmNull) continue;
            if (length > data.size() - at)
                return Damage("a message field does not lie in its section");
            const std::string_view field = data.substr(at, length);
            at += length;
            if (tag == kQmTranslation) {
                if (length % 2 != 0) return Damage("a translation of an odd number of bytes");
                forms.push_back(utf16_to_utf8(field, true));
            } else if (tag == kQmSourceText) {
                source = field;
            }
        }
    }

    void Damage(std::string why) { damage = std::move(why); }

    const CatalogBounds &bounds_;
    size_t sourceBytes_ = 0;
    bool stopped_ = false;  // the bound or the deadline was reached
};

// ---- Qt Linguist `.ts` and XLIFF -----------------------------------------------------

class XmlCatalogReader {
  public:
    explicit XmlCatalogReader(const CatalogBounds &bounds) : bounds_(bounds) {}

    void Start(std::string_view name, const xmlChar **attributes, int count) {
        if (stack_.empty()) {
            kind_ = name == "TS" ? Kind::kTs : name == "xliff" ? Kind::kXliff : Kind::kOther;
            stack_.push_back({Mode::kNone, false});
            return;
        }
        const Mode parent = stack_.back().mode;
        Open open{parent, false};
        if (parent == Mode::kSkip || kind_ == Kind::kOther) {
            open.mode = Mode::kSkip;
        } else if (kind_ == Kind::kTs) {
            if (name == "translation" && parent == Mode::kNone) {
                const std::string_view type = attribute(attributes, count, "type");
                open = {type == "obsolete" || type == "vanished" ? Mode::kSkip : Mode::kTarget,
                        true};
            } else if (name == "source" && parent == Mode::kNone) {
                open = {Mode::kSource, true};
            } else if ((name == "numerusform" || name == "lengthvariant") &&
                       parent == Mode::kTarget) {
                open.line = true;
            }
        } else if (name == "alt-trans" || name == "seg-source") {
            open.mode = Mode::kSkip;
        } else if (name == "target" && parent == Mode::kNone) {
            open = {Mode::kTarget, true};
        } else if (name == "source" && parent == Mode::kNone) {
            open = {Mode::kSource, true};
        } else if (name == "ph" || name == "bpt" || name == "ept" || name == "it") {
            open.mode = Mode::kSkip;  // native code
        }
        if (open.line) Break(open.mode);
        stack_.push_back(open);
    }

    void End() {
        if (stack_.empty()) return;
        const Open open = stack_.back();
        stack_.pop_back();
        if (open.line) Break(open.mode);
    }

    void Characters(std::string_view text) {
        if (stack_.empty()) return;
        const Mode mode = stack_.back().mode;
        if (mode != Mode::kTarget && mode != Mode::kSource) return;
        std::string &line = line_[mode == Mode::kTarget];
        line.append(text);
        if (line.size() > bounds_.maxText) Break(mode);
    }

    // Messages cut by the end of a damaged document count as read.
    void Finish() {
        Break(Mode::kTarget);
        Break(Mode::kSource);
    }

    // A root element was seen, and it is a catalog's.
    bool root() const { return kind_ == Kind::kTs || kind_ == Kind::kXliff; }
    bool full() const { return translations.bytes >= bounds_.maxText; }

    Kept translations, sources;

  private:
    enum class Kind { kNone, kTs, kXliff, kOther };
    enum class Mode { kNone, kSource, kTarget, kSkip };
    struct Open {
        Mode mode;  // what text inside it is
        bool line;  // its start and end end a message
    };

    static std::string_view attribute(const xmlChar **attributes, int count,
                                      std::string_view name) {
        for (int i = 0; i < count; ++i) {
            const xmlChar **a = attributes + 5 * i;  // name, prefix, URI, value, end
            if (a[1] == nullptr && name == reinterpret_cast<const char *>(a[0]))
                return {reinterpret_cast<const char *>(a[3]), static_cast<size_t>(a[4] - a[3])};
        }
        return {};
    }

    // A target that only copies its source (what some tools write for a
    // message not translated yet) is not a translation.
    void Break(Mode mode) {
        if (mode != Mode::kTarget && mode != Mode::kSource) return;
        std::string &line = line_[mode == Mode::kTarget];
        if (!is_blank(line)) {
            if (mode == Mode::kSource) {
                lastSource_ = line;
                sources.Add(std::move(line), bounds_.maxText);
            } else if (line != lastSource_) {
                translations.Add(std::move(line), bounds_.maxText);
            }
        }
        line.clear();
    }

    const CatalogBounds &bounds_;
    Kind kind_ = Kind::kNone;
    std::vector<Open> stack_;
    std::string line_[2];  // the message being read: source, target
    std::string lastSource_;
};

// Whether the first character of `bytes`, after a byte-order mark and white
// space, is '<' in UTF-8, UTF-16 or UTF-32 (whose zero bytes are passed over).
bool opens_as_xml(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    for (char c : bytes.substr(0, 256)) {
        if (c == '<') return true;
        if (c != '\0' && c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\xFF' &&
            c != '\xFE')
            return false;
    }
    return false;
}

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

// A system-dependent string of a binary catalog, as its `.po` file writes
// it: from the descriptor at `at` (the offset of its static parts, then
// pairs of a static part's length and a segment's index, ~0 after the last
// part), each segment named in angle brackets ("%<PRIu64>"), the segment "I"
// (the flag of locale digits) as it is. False when any of it does not lie
// in the file or a segment index is not in the table. Each pair walked
// takes one from `pairs`, which the strings of a file share: descriptors
// that share their pairs over and over are damage too. Each byte copied
// takes one from `budget`, shared alike: descriptors that name the same long
// part over and over would otherwise copy it for every string.
enum class Sysdep { kRead, kDamaged, kSpent };
template <class Word>
Sysdep sysdep_string(std::string_view b, const Word &word, uint64_t at, uint64_t segments,
                     uint64_t segmentTable, size_t maxBytes, uint64_t &pairs, uint64_t &budget,
                     std::string &out) {
    constexpr uint32_t kLastPart = 0xFFFFFFFFu;
    const uint64_t size = b.size();
    const auto copy = [&](std::string_view part) {
        if (part.size() > budget) return false;
        budget -= part.size();
        out.append(part);
        return true;
    };
    if (at > size - 4) return Sysdep::kDamaged;
    uint64_t from = word(at);
    for (at += 4;; at += 8) {
        if (at > size - 8 || pairs == 0) return Sysdep::kDamaged;
        --pairs;
        const uint64_t length = word(at), segment = word(at + 4);
        if (from > size || length > size - from) return Sysdep::kDamaged;
        if (out.size() < maxBytes && !copy(b.substr(from, length))) return Sysdep::kSpent;
        from += length;
        if (segment == kLastPart) break;
        if (segment >= segments) return Sysdep::kDamaged;
        const uint64_t nameLength = word(segmentTable + 8 * segment),
                       nameOffset = word(segmentTable + 8 * segment + 4);
        if (nameOffset > size || nameLength > size - nameOffset) return Sysdep::kDamaged;
        std::string_view name = b.substr(nameOffset, nameLength);
        if (name.ends_with('\0')) name.remove_suffix(1);
        if (out.size() >= maxBytes) continue;
        if (name == "I") {
            out += 'I';
        } else {
            out += '<';
            if (!copy(name)) return Sysdep::kSpent;
            out += '>';
        }
    }
    if (out.ends_with('\0')) out.pop_back();  // the last part's NUL
    return Sysdep::kRead;
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
        const std::string_view source = without_context(id);
        translations.Add(str, bounds.maxText, source);
        ids.Add(source, bounds.maxText);
    }
    // Minor revision 1: messages with system-dependent parts (`<PRIu64>` …)
    // kept apart, each a string put together from the file's bytes.
    std::deque<std::string> joined;
    if ((revision & 0xFFFF) != 0 && word(36) != 0) {
        const uint64_t segments = word(28), segmentTable = word(32), strings = word(36),
                       origSysdep = word(40), transSysdep = word(44);
        const auto table_in_file = [&](uint64_t at, uint64_t entries, uint64_t width) {
            return entries == 0 ||
                   (entries <= size / width && at >= headerSize && at + entries * width <= size);
        };
        if (!table_in_file(segmentTable, segments, 8) || !table_in_file(origSysdep, strings, 4) ||
            !table_in_file(transSysdep, strings, 4))
            return refuse("a table of system-dependent strings does not lie in the file");
        // Each pair and each byte of a well-formed catalog is walked once; a
        // translation no longer gathered is checked but not copied (the
        // source always is: a translation is compared with it). Gathering
        // stops when the bytes copied would pass the budget.
        uint64_t pairs = size / 8, budget = size + 2 * uint64_t{bounds.maxText};
        for (uint64_t i = 0; i < strings; ++i) {
            if (i % kClockEvery == kClockEvery - 1 && DXM_CpuNs() > bounds.deadlineNs) break;
            const bool wantStr = translations.bytes < bounds.maxText,
                       wantId = ids.bytes < bounds.maxText;
            if (!wantStr && !wantId) break;
            std::string id, str;
            const Sysdep readId = sysdep_string(b, word, word(origSysdep + 4 * i), segments,
                                                segmentTable, bounds.maxText, pairs, budget, id);
            const Sysdep readStr =
                readId == Sysdep::kRead
                    ? sysdep_string(b, word, word(transSysdep + 4 * i), segments, segmentTable,
                                    wantStr ? bounds.maxText : 0, pairs, budget, str)
                    : readId;
            if (readStr == Sysdep::kDamaged)
                return refuse("system-dependent message " + std::to_string(i) +
                              " does not lie in the file");
            if (readStr == Sysdep::kSpent) break;
            const std::string_view source = without_context(joined.emplace_back(std::move(id)));
            if (wantStr)
                translations.Add(joined.emplace_back(std::move(str)), bounds.maxText, source);
            if (wantId) ids.Add(source, bounds.maxText);
        }
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
    out.sourceMessages = reader.translations.messages.empty();
    const std::vector<std::string> &chosen =
        out.sourceMessages ? reader.ids.messages : reader.translations.messages;
    std::vector<std::string_view> messages(chosen.begin(), chosen.end());
    convert(messages, reader.header, bom, out);
    return out;
}

CatalogText ReadQtCatalog(std::string_view bytes, const CatalogBounds &bounds) {
    CatalogText out;
    if (!bytes.starts_with(kQtCatalogMagic)) {
        out.error = "no Qt catalog magic";
        return out;
    }
    QmReader reader(bounds);
    reader.Read(bytes);
    if (!reader.damage.empty() && !reader.gathered()) {
        out.error = std::move(reader.damage);
        return out;
    }
    if (!reader.translations.messages.empty()) {
        Kept none;
        utf8_lines(reader.translations, none, out);
        return out;
    }
    out.sourceMessages = true;
    convert(reader.sources, {}, false, out);
    return out;
}

CatalogText ReadXmlCatalog(std::string_view bytes, const CatalogBounds &bounds) {
    CatalogText out;
    XmlCatalogReader reader(bounds);
    if (!ReadElements(bytes, reader, [&] { return DXM_CpuNs() > bounds.deadlineNs; })) {
        out.error = "no XML parser";
        return out;
    }
    if (!reader.root()) {
        out.error = "the root element is neither TS nor xliff";
        return out;
    }
    utf8_lines(reader.translations, reader.sources, out);
    return out;
}

CatalogText ReadCatalog(std::string_view bytes, const CatalogBounds &bounds) {
    if (bytes.size() >= 4) {
        const uint32_t magic = le32(bytes, 0);
        if (magic == kMagic || magic == kMagicSwapped) return ReadBinaryCatalog(bytes, bounds);
    }
    if (bytes.starts_with(kQtCatalogMagic)) return ReadQtCatalog(bytes, bounds);
    if (opens_as_xml(bytes)) return ReadXmlCatalog(bytes, bounds);
    return ReadPoCatalog(bytes, bounds);
}

}  // namespace dxf
