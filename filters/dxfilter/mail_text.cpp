// mail_text.cpp - the text of e-mail messages: header block, MIME parts,
// transfer encodings, encoded words and charsets (through the text decoder
// of compressed documents, ICU).
#include "filters/dxfilter/mail_text.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>

#include "filters/dxfilter/bytes.h"
#include "filters/dxfilter/compress_text.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/sniff.h"
#include "filters/dxfilter/tnef_text.h"
#include "filters/dxfilter/utf8.h"

namespace dxf {
namespace {

constexpr std::string_view kBlank = " \t\r\n";
constexpr size_t kMaxSubject = 16 * 1024;  // bytes of a subject decoded

std::string_view trim(std::string_view s) {
    const size_t first = s.find_first_not_of(kBlank);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(kBlank) - first + 1);
}

// One line of `text` from `at`, without its line break; `at` moves past it.
std::string_view next_line(std::string_view text, size_t &at) {
    const size_t end = text.find('\n', at);
    std::string_view line =
        end == std::string_view::npos ? text.substr(at) : text.substr(at, end - at);
    at = end == std::string_view::npos ? text.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// The header fields the text needs, unfolded.
struct Headers {
    std::string contentType;
    std::string encoding;
    std::string disposition;
    std::string subject;
    bool reply = false;  // In-Reply-To or References: the message answers another
};

// Splits an entity into its header fields and its body (empty when the
// empty line that ends the header block is missing).
std::string_view split_entity(std::string_view entity, Headers &h) {
    size_t at = 0;
    std::string *current = nullptr;
    while (at < entity.size()) {
        const std::string_view line = next_line(entity, at);
        if (line.empty()) return entity.substr(at);
        if (line[0] == ' ' || line[0] == '\t') {
            if (current) current->append(" ").append(trim(line));
            continue;
        }
        const size_t colon = line.find(':');
        current = nullptr;
        if (colon == std::string_view::npos) continue;
        const std::string name = ascii_lowered(trim(line.substr(0, colon)));
        if (name == "in-reply-to" || name == "references") h.reply = true;
        if (name == "content-type") current = &h.contentType;
        if (name == "content-transfer-encoding") current = &h.encoding;
        if (name == "content-disposition") current = &h.disposition;
        if (name == "subject") current = &h.subject;
        if (current) current->assign(trim(line.substr(colon + 1)));
    }
    return {};
}

// The value before the first ";" of a structured field, lower case.
std::string field_value(std::string_view field) {
    return ascii_lowered(trim(field.substr(0, field.find(';'))));
}

// A value of RFC 2231's extended form ("charset'language'%XX..."): its
// percent escapes decoded; `lead`: the first segment, which carries the
// charset and language to drop (parameters the text needs are ASCII).
std::string extended_value(std::string_view v, bool lead) {
    if (lead) {
        const size_t q1 = v.find('\'');
        const size_t q2 = q1 == std::string_view::npos ? q1 : v.find('\'', q1 + 1);
        if (q2 != std::string_view::npos) v.remove_prefix(q2 + 1);
    }
    return percent_decode(v);
}

// The parameter `name` of a structured field ("; name=value" or a quoted
// value, or RFC 2231's "name*=" extended value or "name*0=", "name*1*=" ...
// continuations, joined in order); empty when it is not there.
std::string field_param(std::string_view field, std::string_view name) {
    constexpr size_t kMaxSegments = 64;
    std::string plain;
    std::vector<std::string> segments;
    bool found = false, extended = false;
    size_t at = field.find(';');
    while (at != std::string_view::npos && at < field.size()) {
        ++at;
        const size_t eq = field.find('=', at);
        if (eq == std::string_view::npos) break;
        const std::string key = ascii_lowered(trim(field.substr(at, eq - at)));
        size_t p = eq + 1;
        while (p < field.size() && (field[p] == ' ' || field[p] == '\t')) ++p;
        std::string value;
        if (p < field.size() && field[p] == '"') {
            for (++p; p < field.size() && field[p] != '"'; ++p) {
                if (field[p] == '\\' && p + 1 < field.size()) ++p;
                value += field[p];
            }
            at = field.find(';', p);
        } else {
            at = field.find(';', p);
            value = trim(field.substr(p, at == std::string_view::npos ? at : at - p));
        }
        if (!key.starts_with(name)) continue;
        std::string_view rest = std::string_view(key).substr(name.size());
        if (rest.empty()) {
            if (!found) plain = std::move(value), found = true;
            continue;
        }
        if (rest == "*") {
            extended = true;
            segments.assign(1, extended_value(value, true));
            continue;
        }
        if (rest[0] != '*' || extended) continue;
        rest.remove_prefix(1);
        const bool encoded = rest.ends_with('*');
        if (encoded) rest.remove_suffix(1);
        size_t index = 0;
        if (rest.empty() || rest.size() > 2 ||
            rest.find_first_not_of("0123456789") != std::string_view::npos)
            continue;
        for (char c : rest) index = index * 10 + static_cast<size_t>(c - '0');
        if (index >= kMaxSegments) continue;
        if (segments.size() <= index) segments.resize(index + 1);
        segments[index] = encoded ? extended_value(value, index == 0) : value;
    }
    if (segments.empty()) return plain;
    std::string joined;
    for (const std::string &segment : segments) joined += segment;
    return joined;
}

std::string decode_transfer(std::string_view encoding, std::string_view body) {
    const std::string name = field_value(encoding);
    if (name == "base64") return DecodeBase64(body);
    if (name == "quoted-printable") return DecodeQuotedPrintable(body);
    return std::string(body);  // 7bit, 8bit, binary and unknown encodings
}

}  // namespace

namespace {

// How a line introducing a quote ends ("On Monday, A wrote:"): in a colon,
// or in the full-width one Chinese and Japanese mail programs write
// ("…写道：", "…さんは書きました：").
constexpr std::string_view kIntroEnds[] = {":", "\xEF\xBC\x9A"};  // ':', U+FF1A
// The same colons as character references, as HTML may write them
// (compared in lower case).
constexpr std::string_view kIntroEndReferences[] = {"&#58;", "&#x3a;", "&colon;", "&#65306;",
                                                    "&#xff1a;"};

bool ends_intro(std::string_view text) {
    return std::any_of(std::begin(kIntroEnds), std::end(kIntroEnds),
                       [&](std::string_view end) { return text.ends_with(end); });
}

// Whether HTML text ends as a line introducing a quote: in a colon, written
// as a character or as a reference to one.
bool ends_intro_html(std::string_view text) {
    return ends_intro(text) ||
           std::any_of(std::begin(kIntroEndReferences), std::end(kIntroEndReferences),
                       [&](std::string_view end) { return iends_with(text, end); });
}

// A line that opens a quoted message without quote marks, as mail programs
// write it under a reply or a forward note, in any language: a few words
// between runs of dashes ("-----Original Message-----", "-------- Original-
// Nachricht --------", "---------- Forwarded message ---------"). The words
// hold letters (ASCII ones or any character beyond ASCII): the rules of a
// text table ("------ ---- ------", "----+----") are not words.
bool opens_message(std::string_view body) {
    if (!body.starts_with("--") || !body.ends_with("--")) return false;
    const size_t first = body.find_first_not_of('-');
    if (first == std::string_view::npos) return false;  // a rule, or "--"
    const std::string_view words = trim(body.substr(first, body.find_last_not_of('-') - first + 1));
    const bool letters = std::any_of(words.begin(), words.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b >= 0x80 || ((b | 0x20) >= 'a' && (b | 0x20) <= 'z');
    });
    return letters && words.size() <= 48 &&
           words.find_first_of("0123456789") == std::string_view::npos;
}

// A header line of a quoted message: a label of one to three words, a
// colon (French puts a space before it; Chinese and Japanese mail programs
// may write the full-width one) and a value ("From: A <a@b>", "Gesendet:
// Montag, 5. Dezember", "Objet : Re: ...", "发件人：A").
bool header_line(std::string_view body, std::string_view &label, std::string_view &value) {
    const size_t ascii = body.find(':');
    const size_t wide = body.find(kIntroEnds[1]);
    const size_t colon = std::min(ascii, wide);
    if (colon == std::string_view::npos || colon == 0 || colon > 24) return false;
    label = trim(body.substr(0, colon));
    if (label.empty() || label.find_first_of("0123456789<>@()[]\"/") != std::string_view::npos)
        return false;
    if (std::count(label.begin(), label.end(), ' ') > 2) return false;
    value = trim(body.substr(colon + (colon == ascii ? 1 : kIntroEnds[1].size())));
    return !value.empty();
}

// What a field of a quoted message's header block names.
enum class HeaderField : uint8_t { kFrom = 1, kSent = 2, kTo = 4, kSubject = 8 };

// The labels mail programs (Outlook above all) write in the header block
// over a quoted message, in the languages they are most used in. Latin
// labels compare ignoring ASCII case.
struct HeaderLabel {
    std::string_view label;
    HeaderField field;
};
constexpr HeaderLabel kHeaderLabels[] = {
    // English
    {"From", HeaderField::kFrom},
    {"Sent", HeaderField::kSent},
    {"Date", HeaderField::kSent},
    {"To", HeaderField::kTo},
    {"Cc", HeaderField::kTo},
    {"Subject", HeaderField::kSubject},
    // German
    {"Von", HeaderField::kFrom},
    {"Gesendet", HeaderField::kSent},
    {"Datum", HeaderField::kSent},
    {"An", HeaderField::kTo},
    {"Betreff", HeaderField::kSubject},
    // French, Spanish, Portuguese
    {"De", HeaderField::kFrom},
    {"Envoy\xC3\xA9", HeaderField::kSent},
    {"\xC3\x80", HeaderField::kTo},
    {"A", HeaderField::kTo},
    {"Objet", HeaderField::kSubject},
    {"Enviado", HeaderField::kSent},
    {"Enviado el", HeaderField::kSent},
    {"Enviada em", HeaderField::kSent},
    {"Fecha", HeaderField::kSent},
    {"Para", HeaderField::kTo},
    {"Asunto", HeaderField::kSubject},
    {"Assunto", HeaderField::kSubject},
    // Italian
    {"Da", HeaderField::kFrom},
    {"Inviato", HeaderField::kSent},
    {"Data", HeaderField::kSent},
    {"Oggetto", HeaderField::kSubject},
    // Dutch
    {"Van", HeaderField::kFrom},
    {"Verzonden", HeaderField::kSent},
    {"Aan", HeaderField::kTo},
    {"Onderwerp", HeaderField::kSubject},
    // Swedish, Danish, Norwegian
    {"Fr\xC3\xA5n", HeaderField::kFrom},
    {"Skickat", HeaderField::kSent},
    {"Till", HeaderField::kTo},
    {"\xC3\x84mne", HeaderField::kSubject},
    {"Fra", HeaderField::kFrom},
    {"Sendt", HeaderField::kSent},
    {"Til", HeaderField::kTo},
    {"Emne", HeaderField::kSubject},
    // Polish, Czech
    {"Od", HeaderField::kFrom},
    {"Wys\xC5\x82"
     "ano",
     HeaderField::kSent},
    {"Do", HeaderField::kTo},
    {"Temat", HeaderField::kSubject},
    {"Odesl\xC3\xA1no", HeaderField::kSent},
    {"Komu", HeaderField::kTo},
    {"P\xC5\x99"
     "edm\xC4\x9Bt",
     HeaderField::kSubject},
    // Russian
    {"\xD0\x9E\xD1\x82", HeaderField::kFrom},  // От
    {"\xD0\x9E\xD1\x82\xD0\xBF\xD1\x80\xD0\xB0\xD0\xB2\xD0\xBB\xD0\xB5\xD0\xBD\xD0\xBE",
     HeaderField::kSent},                                         // Отправлено
    {"\xD0\x9A\xD0\xBE\xD0\xBC\xD1\x83", HeaderField::kTo},       // Кому
    {"\xD0\xA2\xD0\xB5\xD0\xBC\xD0\xB0", HeaderField::kSubject},  // Тема
    // Japanese
    {"\xE5\xB7\xAE\xE5\x87\xBA\xE4\xBA\xBA", HeaderField::kFrom},              // 差出人
    {"\xE9\x80\x81\xE4\xBF\xA1\xE6\x97\xA5\xE6\x99\x82", HeaderField::kSent},  // 送信日時
    {"\xE5\xAE\x9B\xE5\x85\x88", HeaderField::kTo},                            // 宛先
    {"\xE4\xBB\xB6\xE5\x90\x8D", HeaderField::kSubject},                       // 件名
    // Chinese (simplified, then traditional)
    {"\xE5\x8F\x91\xE4\xBB\xB6\xE4\xBA\xBA", HeaderField::kFrom},              // 发件人
    {"\xE5\x8F\x91\xE9\x80\x81\xE6\x97\xB6\xE9\x97\xB4", HeaderField::kSent},  // 发送时间
    {"\xE6\x94\xB6\xE4\xBB\xB6\xE4\xBA\xBA", HeaderField::kTo},                // 收件人
    {"\xE4\xB8\xBB\xE9\xA2\x98", HeaderField::kSubject},                       // 主题
    {"\xE5\xAF\x84\xE4\xBB\xB6\xE8\x80\x85", HeaderField::kFrom},              // 寄件者
    {"\xE5\xAF\x84\xE4\xBB\xB6\xE6\x97\xA5\xE6\x9C\x9F", HeaderField::kSent},  // 寄件日期
    {"\xE6\x94\xB6\xE4\xBB\xB6\xE8\x80\x85", HeaderField::kTo},                // 收件者
    {"\xE4\xB8\xBB\xE6\x97\xA8", HeaderField::kSubject},                       // 主旨
    // Korean
    {"\xEB\xB3\xB4\xEB\x82\xB8 \xEC\x82\xAC\xEB\x9E\x8C", HeaderField::kFrom},  // 보낸 사람
    {"\xEB\xB3\xB4\xEB\x82\xB8 \xEB\x82\xA0\xEC\xA7\x9C", HeaderField::kSent},  // 보낸 날짜
    {"\xEB\xB0\x9B\xEB\x8A\x94 \xEC\x82\xAC\xEB\x9E\x8C", HeaderField::kTo},    // 받는 사람
    {"\xEC\xA0\x9C\xEB\xAA\xA9", HeaderField::kSubject},                        // 제목
};

// The field a header label names; 0 when it is not one of kHeaderLabels.
uint8_t header_field(std::string_view label) {
    for (const HeaderLabel &known : kHeaderLabels)
        if (iequals(known.label, label)) return static_cast<uint8_t>(known.field);
    return 0;
}

// Whether `value` holds a time of day ("10:00", "9:05:31").
bool holds_time(std::string_view value) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    for (size_t colon = value.find(':'); colon != std::string_view::npos;
         colon = value.find(':', colon + 1)) {
        if (colon > 0 && colon + 2 < value.size() && digit(value[colon - 1]) &&
            digit(value[colon + 1]) && digit(value[colon + 2]))
            return true;
    }
    return false;
}

// What a header line of a quoted message tells of its block: the field
// its label names (0 when it is none of kHeaderLabels), and whether its
// value names an address and a time.
struct HeaderFacts {
    uint8_t field = 0;
    bool address = false;
    bool time = false;
};

// The facts of `line` when it is a header line (header_line).
std::optional<HeaderFacts> header_facts(std::string_view line) {
    std::string_view label, value;
    if (!header_line(line, label, value)) return std::nullopt;
    return HeaderFacts{header_field(label), value.find('@') != std::string_view::npos,
                       holds_time(value)};
}

// A header line in a run of them: its facts, and for HTML where its line
// starts in the markup and whether the writer's own text came before it.
struct HeaderLine {
    HeaderFacts facts;
    size_t from = 0;
    bool own = false;
};

constexpr size_t kHeaderWindow = 8;  // lines of a header block looked at

// Whether header lines in a row, `lines` (the first kHeaderWindow of them
// from where the block would start), open the header block of a quoted
// message: three lines or more, among them one naming an address and one a
// time ("Sent: Monday, 5 December 2026 10:00"), which fields of a web form
// or a list of settings seldom have both. Labels that name the sender, the
// time sent and the recipient or subject in one of the languages of
// kHeaderLabels need only one of the two (a sender known by name alone, a
// time written "10.00").
bool opens_header_block(std::span<const HeaderLine> lines) {
    bool address = false;
    bool time = false;
    uint8_t fields = 0;
    for (const HeaderLine &line : lines.first(std::min(lines.size(), kHeaderWindow))) {
        address = address || line.facts.address;
        time = time || line.facts.time;
        fields |= line.facts.field;
    }
    constexpr auto bit = [](HeaderField f) { return static_cast<uint8_t>(f); };
    const bool named = (fields & bit(HeaderField::kFrom)) && (fields & bit(HeaderField::kSent)) &&
                       (fields & (bit(HeaderField::kTo) | bit(HeaderField::kSubject)));
    return lines.size() >= 3 && ((address && time) || (named && (address || time)));
}

// Whether the lines of plain text from `at` open a header block.
bool opens_header_block(std::string_view text, size_t at) {
    std::array<HeaderLine, kHeaderWindow> lines;
    size_t count = 0;
    while (at < text.size() && count < lines.size()) {
        const std::optional<HeaderFacts> facts = header_facts(trim(next_line(text, at)));
        if (!facts) break;
        lines[count++].facts = *facts;
    }
    return opens_header_block(std::span(lines).first(count));
}

// Whether a line of plain text (the blanks around it trimmed) quotes the
// message it answers, as mail programs mark it: "> text", "> > text".
bool quoting_line(std::string_view body) {
    return body.starts_with('>');
}

}  // namespace

std::string DropQuotedLines(const std::string &text) {
    std::string kept;
    bool other = false;  // a line of the writer's own text was kept
    // The last line kept that is not blank, and whether only blank lines
    // followed it: a line ending in a colon right before a quote introduces it
    // ("On Monday, A wrote:", "Am Montag schrieb A:") and goes with it.
    size_t lastStart = std::string::npos;
    bool lastIsIntro = false;
    bool dropped = false;
    size_t at = 0;
    while (at < text.size()) {
        const size_t start = at;
        const std::string_view line = next_line(text, at);
        const std::string_view body = trim(line);
        if (quoting_line(body)) {
            if (lastIsIntro) {
                kept.resize(lastStart);
                lastStart = std::string::npos;
                lastIsIntro = false;
            }
            dropped = true;
            continue;
        }
        // Below the writer's own text, the quoted message that a separator
        // line or a header block opens runs to the end of the part.
        if (other && (opens_message(body) || opens_header_block(text, start))) {
            dropped = true;
            break;
        }
        if (!body.empty()) {
            lastStart = kept.size();
            lastIsIntro = ends_intro(body);
            other = true;
        }
        kept.append(text, start, at - start);
    }
    if (!dropped) return text;
    // Only what a quote leaves: the text stays whole.
    return trim(kept).empty() ? text : kept;
}

namespace {

// ---- quotes in HTML ------------------------------------------------------------------

bool html_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool tag_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' ||
           c == '-' || c == '_' || c == '.';
}

constexpr size_t kMaxTagName = 32;     // element name bytes kept
constexpr size_t kMaxAttrValue = 512;  // attribute value bytes kept

// What the quote finder needs of a tag: its name and the attributes mail
// programs mark quotes with, in lower case (the first of each name counts).
struct HtmlTag {
    std::string name;
    bool closing = false;
    bool selfClosing = false;  // a start tag ending in "/>"
    std::string classes, id, type, style;
};

// Whether `value` is one of the strings of `table`.
template <size_t N>
bool listed(const std::string_view (&table)[N], std::string_view value) {
    return std::find(std::begin(table), std::end(table), value) != std::end(table);
}

// HTML elements that have no content, so no end tag to wait for.
constexpr std::string_view kVoidElements[] = {"area",  "base",   "br",    "col",  "embed",
                                              "hr",    "img",    "input", "link", "meta",
                                              "param", "source", "track", "wbr"};

// Tokens of markup, one at a time, as the markup stripper reads them: a
// run of text, a tag (a quote char inside a tag opens a quoted run up to
// the same char), or markup without text (a comment, a declaration, a
// processing instruction, the content of a script or style element). An
// unclosed tag or comment runs to the end.
class HtmlLexer {
  public:
    enum class Kind { kEnd, kText, kTag, kOther };

    explicit HtmlLexer(std::string_view html) : html_(html) {}

    Kind Next() {
        start_ = at_;
        if (at_ >= html_.size()) return Kind::kEnd;
        if (!rawEnd_.empty()) return Raw();
        if (html_[at_] != '<' || !opens_markup(at_)) {
            // Text up to the next '<' that opens markup.
            for (++at_; at_ < html_.size(); ++at_)
                if (html_[at_] == '<' && opens_markup(at_)) break;
            return Kind::kText;
        }
        const char next = html_[at_ + 1];
        if (next == '!') {
            if (html_.substr(at_, 9) == "<![CDATA[") {
                const size_t end = html_.find("]]>", at_ + 9);
                at_ = end == std::string_view::npos ? html_.size() : end + 3;
                return Kind::kOther;
            }
            const bool comment = html_.substr(at_, 4) == "<!--";
            const size_t end = comment ? html_.find("-->", at_ + 4) : html_.find('>', at_ + 2);
            at_ = end == std::string_view::npos ? html_.size() : end + (comment ? 3 : 1);
            return Kind::kOther;
        }
        if (next == '?') {
            const size_t end = html_.find('>', at_ + 2);
            at_ = end == std::string_view::npos ? html_.size() : end + 1;
            return Kind::kOther;
        }
        Tag();
        return Kind::kTag;
    }

    size_t start() const { return start_; }
    size_t end() const { return at_; }
    std::string_view token() const { return html_.substr(start_, at_ - start_); }
    const HtmlTag &tag() const { return tag_; }

  private:
    bool opens_markup(size_t at) const {
        if (at + 1 >= html_.size()) return false;
        const char c = html_[at + 1];
        return c == '!' || c == '?' || c == '/' || (ascii_lower(c) >= 'a' && ascii_lower(c) <= 'z');
    }

    // The content of a script or style element, up to its end tag.
    Kind Raw() {
        for (; at_ < html_.size(); ++at_) {
            if (html_[at_] != '<') continue;
            const std::string_view rest = html_.substr(at_, rawEnd_.size());
            if (rest.size() == rawEnd_.size() && ascii_lowered(rest) == rawEnd_) break;
        }
        rawEnd_.clear();
        return Kind::kOther;
    }

    // A quoted run that opens at `at`: its content; `at` moves past it.
    std::string_view Quoted(size_t &at) const {
        const size_t close = html_.find(html_[at], at + 1);
        const size_t end = close == std::string_view::npos ? html_.size() : close;
        const std::string_view content = html_.substr(at + 1, end - at - 1);
        at = end;  // on the closing quote (or the end)
        return content;
    }

    void Keep(std::string &name, std::string &value, bool hasValue) {
        std::string *field = name == "class"   ? &tag_.classes
                             : name == "id"    ? &tag_.id
                             : name == "type"  ? &tag_.type
                             : name == "style" ? &tag_.style
                                               : nullptr;
        if (field && hasValue && field->empty() && !value.empty()) *field = ascii_lowered(value);
        name.clear();
        value.clear();
    }

    void Tag() {
        tag_ = HtmlTag{};
        size_t p = at_ + 1;
        tag_.closing = html_[p] == '/';
        if (tag_.closing) ++p;
        for (; p < html_.size() && tag_name_char(html_[p]); ++p)
            if (tag_.name.size() < kMaxTagName) tag_.name += ascii_lower(html_[p]);
        enum class At { kBefore, kName, kAfterName, kBeforeValue, kValue } state = At::kBefore;
        std::string name, value;
        const auto add = [](std::string &s, std::string_view more) {
            s.append(more.substr(0, kMaxAttrValue - std::min(s.size(), kMaxAttrValue)));
        };
        for (; p < html_.size(); ++p) {
            const char c = html_[p];
            if (c == '>') break;
            const bool quote = c == '"' || c == '\'';
            switch (state) {
                case At::kBefore:
                    if (quote) {
                        Quoted(p);
                    } else if (!html_blank(c) && c != '/') {
                        name.assign(1, ascii_lower(c));
                        state = At::kName;
                    }
                    break;
                case At::kName:
                    if (c == '=') {
                        state = At::kBeforeValue;
                    } else if (html_blank(c)) {
                        state = At::kAfterName;
                    } else if (c == '/') {
                        Keep(name, value, false);
                        state = At::kBefore;
                    } else if (quote) {
                        Quoted(p);
                    } else if (name.size() < kMaxTagName) {
                        name += ascii_lower(c);
                    }
                    break;
                case At::kAfterName:
                    if (c == '=') {
                        state = At::kBeforeValue;
                    } else if (!html_blank(c)) {
                        Keep(name, value, false);
                        state = At::kBefore;
                        --p;  // the next attribute starts here
                    }
                    break;
                case At::kBeforeValue:
                    if (quote) {
                        add(value, Quoted(p));
                        Keep(name, value, true);
                        state = At::kBefore;
                    } else if (!html_blank(c)) {
                        value.assign(1, c);
                        state = At::kValue;
                    }
                    break;
                case At::kValue:
                    if (html_blank(c)) {
                        Keep(name, value, true);
                        state = At::kBefore;
                    } else if (quote) {
                        add(value, Quoted(p));
                    } else if (value.size() < kMaxAttrValue) {
                        value += c;
                    }
                    break;
            }
        }
        Keep(name, value, state == At::kValue || state == At::kBeforeValue);
        // "/" right before the '>', not in an unquoted value ("<a href=x/>").
        tag_.selfClosing =
            !tag_.closing && p < html_.size() && html_[p - 1] == '/' && state != At::kValue;
        at_ = p < html_.size() ? p + 1 : html_.size();
        if (!tag_.closing && (tag_.name == "script" || tag_.name == "style"))
            rawEnd_ = "</" + tag_.name;
    }

    std::string_view html_;
    size_t at_ = 0;
    size_t start_ = 0;
    HtmlTag tag_;
    std::string rawEnd_;  // "</script" or "</style" while in their content
};

// How a start tag bears on quotes.
enum class QuoteMark {
    kNone,
    kQuote,  // the element is a quote, or the line introducing one
    kToEnd,  // a quoted message starts here and runs to the end
};

bool has_class(std::string_view classes, std::string_view wanted, bool suffix) {
    size_t at = 0;
    while (at < classes.size()) {
        while (at < classes.size() && html_blank(classes[at])) ++at;
        size_t end = at;
        while (end < classes.size() && !html_blank(classes[end])) ++end;
        const std::string_view token = classes.substr(at, end - at);
        if (token == wanted || (suffix && token.ends_with(wanted))) return true;
        at = end;
    }
    return false;
}

// The greys Outlook draws the rule over a header block in (lower case).
constexpr std::string_view kHeaderGreys[] = {"#e1e1e1", "#b5c4df"};
// The same greys as a browser writes them back when a web mail program
// passes the message on ("1pt solid rgb(181, 196, 223)"; without blanks).
constexpr std::string_view kHeaderGreysRgb[] = {"rgb(225,225,225)", "rgb(181,196,223)"};

bool header_grey(std::string_view part) {
    return listed(kHeaderGreys, part) || listed(kHeaderGreysRgb, part);
}

// Whether `part` of a border's value is a width in points ("1pt", "1.0pt",
// ".5pt"), as Outlook writes it; page designs write pixels.
bool points_width(std::string_view part) {
    if (!part.ends_with("pt")) return false;
    part.remove_suffix(2);
    return part.find_first_of("0123456789") != std::string_view::npos &&
           part.find_first_not_of("0123456789.") == std::string_view::npos;
}

// Whether the value of a top border (lower case) is Outlook's rule in any
// order of its parts: solid, one of the greys, and at most a width in
// points ("#b5c4df 1pt solid", as Outlook for Mac writes it; "1pt solid
// rgb(181, 196, 223)", as a browser writes Outlook's rule back).
bool outlook_rule(std::string_view value) {
    bool solid = false, grey = false, width = false;
    for (size_t at = 0; at < value.size();) {
        while (at < value.size() && html_blank(value[at])) ++at;
        // A part ends at a blank outside parentheses; blanks inside go.
        std::string part;
        bool open = false;
        for (; at < value.size() && (open || !html_blank(value[at])); ++at) {
            if (value[at] == '(') open = true;
            if (value[at] == ')') open = false;
            if (!html_blank(value[at])) part += value[at];
        }
        if (part.empty()) continue;
        bool *seen = part == "solid"      ? &solid
                     : header_grey(part)  ? &grey
                     : points_width(part) ? &width
                                          : nullptr;
        if (!seen || *seen) return false;  // another part, or one part twice
        *seen = true;
    }
    return solid && grey;
}

// Whether a declaration of a style attribute ("name: value; ..."), its
// name and value trimmed, is one `wanted` takes, in order.
template <class Wanted>
bool any_declaration(std::string_view style, Wanted wanted) {
    for (size_t at = 0; at < style.size();) {
        size_t end = style.find(';', at);
        if (end == std::string_view::npos) end = style.size();
        const std::string_view declaration = style.substr(at, end - at);
        at = end + 1;
        const size_t colon = declaration.find(':');
        if (colon != std::string_view::npos &&
            wanted(trim(declaration.substr(0, colon)), trim(declaration.substr(colon + 1))))
            return true;
    }
    return false;
}

// Outlook's header block over a quoted message: a div whose top border is
// solid, in one of the two greys Outlook draws it in, as Outlook writes it:
// "border-top:solid #E1E1E1 1.0pt" (blanks and case aside, whatever
// follows), or its parts in another order with at most a width in points
// ("BORDER-TOP: #b5c4df 1pt solid", Outlook for Mac; the greys also in
// rgb(), as web mail programs pass Outlook's rule on), also as the
// "mso-border-top-alt" Outlook adds. Page designs seldom write either.
bool outlook_header_block(const HtmlTag &t) {
    if (t.name != "div") return false;
    std::string flat;
    for (char c : t.style)
        if (!html_blank(c)) flat += c;
    for (std::string_view grey : kHeaderGreys)
        if (flat.find("border-top:solid" + std::string(grey)) != std::string::npos) return true;
    return any_declaration(t.style, [](std::string_view name, std::string_view value) {
        return (name == "border-top" || name == "mso-border-top-alt") && outlook_rule(value);
    });
}

// Ids (in lower case) of the element at which mail programs start the
// quoted message, which runs to the end: Outlook's header div and the
// empty div it writes before it, Zimbra's rule over the header block.
constexpr std::string_view kMessageIds[] = {"divrplyfwdmsg", "appendonsend", "zwchr"};

// `own`: the writer's own text came before the tag; `reply`: the message
// answers another.
QuoteMark quote_mark(const HtmlTag &t, bool own, bool reply) {
    if (t.closing) return QuoteMark::kNone;
    if (own && (listed(kMessageIds, t.id) || outlook_header_block(t) ||
                (t.name == "div" && has_class(t.classes, "outlookmessageheader", false))))
        return QuoteMark::kToEnd;
    if (listed(kVoidElements, t.name)) return QuoteMark::kNone;
    // Outlook for Mac's quote, under the header block it writes as text.
    if (t.id == "mac_outlook_attribution_blockquote") return QuoteMark::kQuote;
    for (std::string_view name : {"gmail_quote", "gmail_quote_container", "gmail_attr",
                                  "moz-cite-prefix", "protonmail_quote", "tutanota_quote"})
        if (has_class(t.classes, name, false)) return QuoteMark::kQuote;
    if (has_class(t.classes, "yahoo_quoted", true)) return QuoteMark::kQuote;
    if (t.name == "blockquote" && (t.type == "cite" || (reply && own))) return QuoteMark::kQuote;
    return QuoteMark::kNone;
}

// What a run of text tells: whether it holds more than white space (and
// non-breaking spaces), and whether it ends as a line introducing a quote.
struct TextRun {
    bool words = false;
    bool intro = false;
};

TextRun scan_text(std::string_view run) {
    TextRun r;
    size_t end = 0;  // past the last character that is not blank
    for (size_t i = 0; i < run.size(); ++i) {
        const char c = run[i];
        if (html_blank(c)) continue;
        if (c == '\xC2' && i + 1 < run.size() && run[i + 1] == '\xA0') {
            ++i;
            continue;
        }
        if (c == '&') {
            size_t end = i + 1;
            while (end < run.size() && end - i <= kMaxTagName &&
                   (tag_name_char(run[end]) || run[end] == '#'))
                ++end;
            const std::string name = ascii_lowered(run.substr(i + 1, end - i - 1));
            if (name == "nbsp" || name == "#160" || name == "#xa0") {
                i = end < run.size() && run[end] == ';' ? end : end - 1;
                continue;
            }
        }
        r.words = true;
        end = i + 1;
    }
    r.intro = ends_intro_html(run.substr(0, end));
    return r;
}

// Where in a run of text a separator line that opens a quoted message
// starts (opens_message), below the writer's own text: `own`, some came
// before the run; `lineOpen`, some came before the run on its line, which
// is then no line of its own. npos when there is none.
size_t separator_at(std::string_view run, bool own, bool lineOpen) {
    for (size_t at = 0; at < run.size();) {
        const size_t start = at;
        const std::string_view line = next_line(run, at);
        if (own && !(start == 0 && lineOpen) && opens_message(trim(line))) return start;
        own = own || scan_text(line).words;
    }
    return std::string_view::npos;
}

// Elements whose content keeps its line breaks: each ends a line.
constexpr std::string_view kPreformatted[] = {"pre", "listing", "xmp", "plaintext", "textarea"};

// The values of "white-space" that keep line breaks as those elements do.
constexpr std::string_view kPreformattedSpace[] = {"pre", "pre-wrap", "pre-line"};

// Whether the element a start tag opens keeps the line breaks of its
// content: one of kPreformatted, or another that has content and whose own
// style attribute says so ("white-space: pre-wrap", the last such
// declaration counting; style sheets are not read). A tag closed in
// itself ("<pre/>") has no content.
bool keeps_line_breaks(const HtmlTag &t) {
    if (t.closing || t.selfClosing) return false;
    if (listed(kPreformatted, t.name)) return true;
    if (t.style.empty() || listed(kVoidElements, t.name)) return false;
    bool keeps = false;
    any_declaration(t.style, [&](std::string_view name, std::string_view value) {
        if (name != "white-space") return false;
        if (value.ends_with("!important")) value = trim(value.substr(0, value.size() - 10));
        keeps = listed(kPreformattedSpace, value);
        return false;
    });
    return keeps;
}

constexpr size_t kMaxLineText = 1024;  // bytes of a line of HTML text kept for the header rule

// Appends a run of HTML text to `line`, a line's text for the header rule:
// character references resolved ("Envoy&eacute;&nbsp;:"), blanks and
// non-breaking spaces as one space.
void append_line_text(std::string &line, std::string_view run) {
    constexpr size_t kMaxReference = 34;  // '&', a name of up to 32 bytes, ';'
    for (size_t i = 0; i < run.size() && line.size() < kMaxLineText; ++i) {
        char32_t cp = 0;  // a character written as a reference, or U+00A0 as bytes
        if (run.substr(i, 2) == "\xC2\xA0") {
            cp = 0xA0, ++i;
        } else if (run[i] == '&') {
            const size_t semi = run.substr(i, kMaxReference).find(';');
            if (semi != std::string_view::npos &&
                (cp = ReferencedCodePoint(run.substr(i + 1, semi - 1))) != 0)
                i += semi;
        }
        const bool blank = cp == 0 ? html_blank(run[i])
                                   : cp == 0xA0 || (cp < 0x80 && html_blank(static_cast<char>(cp)));
        if (blank) {
            if (!line.empty() && line.back() != ' ') line += ' ';
        } else if (cp == 0) {
            line += run[i];
        } else {
            append_utf8(line, cp);
        }
    }
}

// Lines of HTML text in a row that are header lines, with where each
// starts in the markup and whether the writer's own text came before it,
// for the plain text's header block rule in one pass: a line opens a
// header block when it and the lines after it in the run do.
class HeaderRun {
  public:
    // The next line of text; where a header block opens (the start of one of
    // the lines so far), or npos.
    size_t Line(std::string_view text, size_t from, bool own) {
        const std::optional<HeaderFacts> facts = header_facts(trim(text));
        if (!facts) return Finish();
        lines_[count_] = {*facts, from, own};
        if (++count_ < kHeaderWindow) return std::string_view::npos;
        if (lines_[0].own && opens_header_block(lines_)) return End(lines_[0].from);
        Drop();
        return std::string_view::npos;
    }

    // The run ends: where a header block among its lines opens, or npos.
    size_t Finish() {
        for (; count_ > 0; Drop())
            if (lines_[0].own && opens_header_block(std::span(lines_).first(count_)))
                return End(lines_[0].from);
        return std::string_view::npos;
    }

  private:
    size_t End(size_t at) {
        count_ = 0;
        return at;
    }

    // The first line can open no block any more: the window moves on.
    void Drop() {
        std::copy(lines_.begin() + 1, lines_.begin() + count_, lines_.begin());
        --count_;
    }

    std::array<HeaderLine, kHeaderWindow> lines_;
    size_t count_ = 0;
};

}  // namespace

std::string DropQuotedHtml(std::string_view html, bool reply) {
    HtmlLexer lex(html);
    std::string kept;
    size_t copied = 0;  // bytes of `html` up to which `kept` holds what stays
    bool dropped = false;
    bool own = false;  // the writer's own text is among what stays
    bool title = false;
    // Preformatted content (the element's name and its nesting), where a
    // line break of the source ends a line as well (keeps_line_breaks).
    std::string preformatted;
    int preDepth = 0;
    // The line of text being read: where it starts in `html` (the block
    // tag before it, or in preformatted content the line break), whether it
    // holds words, and its text for the header block rule.
    size_t lineFrom = 0;
    // Where what the line holds starts: past that tag or line break, or
    // past the tag opening preformatted content when no words came before.
    size_t lineBody = 0;
    bool lineOpen = false;
    bool lineOwn = false;  // the writer's own text came before the line
    std::string lineText;
    HeaderRun headers;
    // The last line of words that stays, for a line ending in a colon right
    // before a quote introduces it: where it starts and what it holds
    // starts, and whether the writer's own text came before it.
    size_t introFrom = std::string::npos;
    size_t introBody = 0;
    bool lineIntro = false;
    bool ownBeforeLine = false;
    // A line of preformatted text that quotes as a plain part's line does
    // ("&gt; text"): where what goes with it starts (in the line
    // introducing it, or in the line itself: past the block tag or line
    // break), to the line's end; npos when the line is none.
    size_t quoteFrom = std::string::npos;
    // What stays of `html`: from `copied` to `to`, or to where the quoting
    // line being read goes from.
    const auto keep = [&](size_t to) {
        kept.append(html, copied, std::min(to, quoteFrom) - copied);
        quoteFrom = std::string::npos;
    };
    const auto end_line = [&] {
        if (lineText.empty()) return std::string_view::npos;
        const size_t at = headers.Line(lineText, lineFrom, lineOwn);
        lineText.clear();
        return at;
    };
    // Below the writer's own text, a header block runs to the end: whether
    // one opens among the lines so far (`last`: no more lines come).
    const auto header_block = [&](bool last) {
        size_t at = end_line();
        if (at == std::string_view::npos && last) at = headers.Finish();
        if (at == std::string_view::npos) return false;
        keep(at);
        copied = html.size();
        dropped = true;
        return true;
    };
    // A line ends at `at`: when it quotes, it goes.
    const auto drop_quoting = [&](size_t at) {
        if (quoteFrom == std::string::npos) return;
        keep(quoteFrom);
        copied = at;
        dropped = true;
    };
    // A line ends and the next starts at `at`, what it holds at `body`;
    // true when the pass ends.
    const auto new_line = [&](size_t at, size_t body) {
        if (header_block(false)) return true;
        drop_quoting(at);
        lineFrom = at;
        lineBody = body;
        lineOpen = false;
        return false;
    };
    // Text of `html` from `from` to `to`, on one line or more; true when
    // the pass ends.
    const auto text = [&](size_t from, size_t to) {
        const std::string_view run = html.substr(from, to - from);
        // Below the writer's own text, a separator line starts a quoted
        // message that runs to the end, from the block tag before it when
        // it opens its line.
        if (const size_t line = separator_at(run, own, lineOpen); line != std::string_view::npos) {
            if (header_block(true)) return true;
            const bool opens = !lineOpen && !scan_text(run.substr(0, line)).words;
            keep(opens ? lineFrom : from + line);
            copied = html.size();
            dropped = own = true;  // the writer's text came before the line
            return true;
        }
        if (lineText.empty()) lineOwn = own;
        append_line_text(lineText, run);
        const TextRun words = scan_text(run);
        if (!words.words) return false;
        if (!lineOpen) {
            lineOpen = true;
            // The plain parts' rule for quote marks, in preformatted
            // content: the line goes, and with the first of a quote the
            // line ending in a colon that introduces it.
            if (!preformatted.empty() && quoting_line(trim(lineText))) {
                const bool intro = lineIntro && introFrom != std::string::npos;
                quoteFrom = intro ? introBody : lineBody;
                if (intro) own = ownBeforeLine;
                introFrom = std::string::npos;
                lineIntro = false;
                return false;
            }
            introFrom = lineFrom;
            introBody = lineBody;
            ownBeforeLine = own;
        }
        if (quoteFrom != std::string::npos) return false;  // the rest of a quoting line
        lineIntro = words.intro;
        own = true;
        return false;
    };
    for (HtmlLexer::Kind kind; (kind = lex.Next()) != HtmlLexer::Kind::kEnd;) {
        if (kind == HtmlLexer::Kind::kText) {
            if (title) continue;
            if (preformatted.empty()) {
                if (text(lex.start(), lex.end())) break;
                continue;
            }
            const std::string_view run = lex.token();
            bool stop = false;
            for (size_t at = 0; !stop;) {
                const size_t lineEnd = std::min(run.find('\n', at), run.size());
                stop = text(lex.start() + at, lex.start() + lineEnd);
                if (stop || lineEnd == run.size()) break;
                at = lineEnd + 1;
                stop = new_line(lex.start() + at, lex.start() + at);
            }
            if (stop) break;
            continue;
        }
        if (kind != HtmlLexer::Kind::kTag) continue;
        const HtmlTag &tag = lex.tag();
        if (tag.name == "title") title = !tag.closing;
        const QuoteMark mark = quote_mark(tag, own, reply);
        if (mark == QuoteMark::kNone) {
            if (preformatted.empty() && keeps_line_breaks(tag)) {
                preformatted = tag.name;
                if (!lineOpen) lineBody = lex.end();
            }
            if (!preformatted.empty() && tag.name == preformatted && !tag.selfClosing &&
                (preDepth += tag.closing ? -1 : 1) == 0)
                preformatted.clear();
            if (IsHtmlBlock(tag.name) && new_line(lex.start(), lex.end())) break;
            continue;
        }
        if (header_block(true)) break;
        // A line introducing the quote goes with it.
        const bool intro = mark == QuoteMark::kQuote && lineIntro && introFrom != std::string::npos;
        keep(intro ? introFrom : lex.start());
        dropped = true;
        if (mark == QuoteMark::kToEnd) {
            copied = html.size();
            break;
        }
        if (intro) own = ownBeforeLine;
        // The element ends with the end tag that balances it (nested
        // elements of its name count), or with the markup.
        const std::string name = tag.name;
        for (int depth = 1; depth > 0 && (kind = lex.Next()) != HtmlLexer::Kind::kEnd;)
            if (kind == HtmlLexer::Kind::kTag && lex.tag().name == name)
                depth += lex.tag().closing ? -1 : 1;
        copied = lineFrom = lineBody = lex.end();
        lineOpen = false;
        introFrom = std::string::npos;
        lineIntro = false;
    }
    if (copied < html.size() && !header_block(true)) drop_quoting(html.size());
    if (!dropped || !own) return std::string(html);
    kept.append(html, copied);
    return kept;
}

namespace {

// A text/plain part sent with "format=flowed": a line that ends with a
// space goes on in the next line of the same quote depth (the space dropped
// as well with "delsp=yes"); a space that opens a line (stuffed) goes.
std::string unflow(std::string_view text, bool delsp) {
    std::string out;
    size_t at = 0;
    size_t openDepth = std::string_view::npos;  // quote depth of a line that goes on
    while (at < text.size()) {
        std::string_view line = next_line(text, at);
        size_t depth = 0;
        while (depth < line.size() && line[depth] == '>') ++depth;
        std::string_view content = line.substr(depth);
        if (content.starts_with(' ')) content.remove_prefix(1);
        if (openDepth != depth) {
            if (openDepth != std::string_view::npos) out += '\n';
            out.append(line.substr(0, depth));
            if (depth > 0) out += ' ';
        }
        const bool soft = content.ends_with(' ') && content != "-- ";
        if (soft && delsp) content.remove_suffix(1);
        out.append(content);
        if (soft) {
            openDepth = depth;
            continue;
        }
        openDepth = std::string_view::npos;
        out += '\n';
    }
    if (openDepth != std::string_view::npos) out += '\n';
    return out;
}

// The text of text/enriched: its formatting commands ("<bold>") dropped
// with the parameters they carry ("<param>...</param>"), "<<" a "<".
std::string strip_enriched(std::string_view text) {
    std::string out;
    int param = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '<') {
            if (param == 0) out += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '<') {
            if (param == 0) out += '<';
            ++i;
            continue;
        }
        const size_t end = text.find('>', i);
        if (end == std::string_view::npos) break;
        const std::string command = ascii_lowered(text.substr(i + 1, end - i - 1));
        if (command == "param") ++param;
        if (command == "/param" && param > 0) --param;
        i = end;
    }
    return out;
}

// How a body part of a text type is read.
enum class TextKind { kNone, kPlain, kHtml, kEnriched };

// Text types other than plain and HTML whose content is prose; text/x-*
// types read as plain but for these data formats.
constexpr std::string_view kPlainTypes[] = {"text/markdown", "text/x-markdown"};
constexpr std::string_view kDataTypes[] = {"text/x-vcard", "text/x-vcalendar", "text/x-vcf"};

TextKind text_kind(std::string_view type) {
    if (type == "text/plain") return TextKind::kPlain;
    if (type == "text/html") return TextKind::kHtml;
    if (type == "text/enriched" || type == "text/richtext") return TextKind::kEnriched;
    for (std::string_view data : kDataTypes)
        if (type == data) return TextKind::kNone;
    for (std::string_view plain : kPlainTypes)
        if (type == plain) return TextKind::kPlain;
    return type.starts_with("text/x-") ? TextKind::kPlain : TextKind::kNone;
}

// Outlook's TNEF part: the message's own properties, sent as an attachment.
bool tnef_type(std::string_view type) {
    return type == "application/ms-tnef" || type == "application/vnd.ms-tnef";
}

// The body parts of a multipart body, between its delimiter lines.
std::vector<std::string_view> split_multipart(std::string_view body, std::string_view boundary,
                                              size_t maxParts) {
    std::vector<std::string_view> parts;
    const std::string delimiter = "--" + std::string(boundary);
    size_t at = 0;
    size_t partStart = std::string_view::npos;
    while (at < body.size()) {
        const size_t lineStart = at;
        const std::string_view line = next_line(body, at);
        if (!line.starts_with(delimiter)) continue;
        const std::string_view rest = line.substr(delimiter.size());
        const bool close = rest.starts_with("--");
        if (!trim(close ? rest.substr(2) : rest).empty()) continue;
        if (partStart != std::string_view::npos) {
            // The line break before a delimiter belongs to it.
            size_t end = lineStart;
            if (end > partStart && body[end - 1] == '\n') --end;
            if (end > partStart && body[end - 1] == '\r') --end;
            parts.push_back(body.substr(partStart, end - partStart));
            if (parts.size() >= maxParts) return parts;
        }
        if (close) return parts;
        partStart = at;
    }
    // An unterminated last part runs to the end.
    if (partStart != std::string_view::npos && partStart < body.size())
        parts.push_back(body.substr(partStart));
    return parts;
}

// The type an entity's `Content-Type:` names; one that names none, or no
// type and subtype ("text"), is plain text, as RFC 2045 has it.
std::string content_type(const Headers &h) {
    std::string type = field_value(h.contentType);
    if (type.find('/') == std::string::npos) type = "text/plain";
    return type;
}

class Reader {
  public:
    explicit Reader(const MailBounds &bounds) : bounds_(bounds) {}

    // The pieces of one message: its subject, its plain parts, its HTML.
    void Message(std::string_view bytes, int depth, std::vector<MailPiece> &out) {
        Headers h;
        const std::string_view body = split_entity(bytes, h);
        // A subject is a line or two; a longer one is cut before decoding.
        if (!h.subject.empty())
            Add(out, DecodeHeaderValue(std::string_view(h.subject).substr(0, kMaxSubject)), false);
        std::vector<MailPiece> plain, html, tnef;
        const bool outer = reply_;
        std::vector<MailPiece> *outerTnef = tnef_;
        reply_ = h.reply;
        tnef_ = &tnef;
        Entity(h, body, depth, plain, html);
        reply_ = outer;
        tnef_ = outerTnef;
        // A TNEF part's body stands for a message without one of its own.
        if (plain.empty() && html.empty()) {
            for (const MailPiece &piece : tnef) text_ += piece.utf8.size();
            plain = std::move(tnef);
        }
        for (auto *list : {&plain, &html})
            for (MailPiece &piece : *list) out.push_back(std::move(piece));
    }

    bool Stopped() {
        return parts_ >= bounds_.maxParts || text_ >= bounds_.maxText ||
               DXM_CpuNs() > bounds_.deadlineNs;
    }

  private:
    void Add(std::vector<MailPiece> &list, std::string text, bool html) {
        if (trim(text).empty()) return;
        text_ += text.size();
        list.push_back({std::move(text), html});
    }

    void Entity(const Headers &h, std::string_view body, int depth, std::vector<MailPiece> &plain,
                std::vector<MailPiece> &html) {
        if (Stopped()) return;
        ++parts_;
        std::string type = content_type(h);
        // Outlook sends it as an attachment (`winmail.dat`); the first is read.
        if (tnef_type(type)) {
            if (!tnef_ || !tnef_->empty()) return;
            MailBounds room = bounds_;
            room.maxText -= std::min(text_, bounds_.maxText);
            if (auto pieces = ReadTnef(decode_transfer(h.encoding, body), room, false))
                *tnef_ = std::move(*pieces);
            return;
        }
        if (field_value(h.disposition) == "attachment") return;
        if (type.starts_with("multipart/")) {
            Multipart(h, type, body, depth, plain, html);
        } else if (type == "message/rfc822" || type == "message/global") {
            if (depth >= bounds_.maxDepth) return;
            const std::string inner = decode_transfer(h.encoding, body);
            Message(inner, depth + 1, plain);
        } else if (const TextKind kind = text_kind(type); kind != TextKind::kNone) {
            const bool markup = kind == TextKind::kHtml;
            std::string bytes = decode_transfer(h.encoding, body);
            // Text beyond the bound would be thrown away anyway.
            const size_t room = (bounds_.maxText - std::min(text_, bounds_.maxText)) * 4;
            if (bytes.size() > room) bytes.resize(room);
            std::string charset = UsableCharset(field_param(h.contentType, "charset"), false);
            if (charset.empty() && markup) charset = InitialCharset(bytes, true);
            std::string text = DecodeText(bytes, charset, markup);
            if (markup) {
                Add(html, DropQuotedHtml(text, reply_), true);
                return;
            }
            if (kind == TextKind::kEnriched) text = strip_enriched(text);
            if (ascii_lowered(field_param(h.contentType, "format")) == "flowed")
                text = unflow(text, ascii_lowered(field_param(h.contentType, "delsp")) == "yes");
            Add(plain, DropQuotedLines(text), false);
        }
    }

    void Multipart(const Headers &h, const std::string &type, std::string_view body, int depth,
                   std::vector<MailPiece> &plain, std::vector<MailPiece> &html) {
        if (depth >= bounds_.maxDepth) return;
        const std::string boundary = field_param(h.contentType, "boundary");
        if (boundary.empty()) return;
        const size_t room =
            static_cast<size_t>(bounds_.maxParts - std::min(parts_, bounds_.maxParts));
        struct Part {
            Headers h;
            std::string_view body;
            std::string type;
        };
        std::vector<Part> parts;
        for (std::string_view bytes : split_multipart(body, boundary, room)) {
            Part p;
            p.body = split_entity(bytes, p.h);
            // A digest's parts are messages unless they say otherwise.
            if (type == "multipart/digest" && field_value(p.h.contentType).empty())
                p.h.contentType = "message/rfc822";
            p.type = content_type(p.h);
            parts.push_back(std::move(p));
        }
        if (type == "multipart/alternative") {
            // The plain alternative, else another of text, else the HTML
            // one, else the first multipart, else a TNEF one.
            const auto rank = [](const std::string &t) {
                const TextKind kind = text_kind(t);
                return kind == TextKind::kPlain && t == "text/plain"             ? 0
                       : kind == TextKind::kPlain || kind == TextKind::kEnriched ? 1
                       : kind == TextKind::kHtml                                 ? 2
                       : t.starts_with("multipart/")                             ? 3
                       : tnef_type(t)                                            ? 4
                                                                                 : 5;
            };
            const Part *chosen = nullptr;
            for (const Part &p : parts)
                if ((field_value(p.h.disposition) != "attachment" || tnef_type(p.type)) &&
                    rank(p.type) < 5 && (!chosen || rank(p.type) < rank(chosen->type)))
                    chosen = &p;
            if (chosen) Entity(chosen->h, chosen->body, depth + 1, plain, html);
            return;
        }
        for (const Part &p : parts) Entity(p.h, p.body, depth + 1, plain, html);
    }

    const MailBounds &bounds_;
    bool reply_ = false;                      // the message being read answers another
    std::vector<MailPiece> *tnef_ = nullptr;  // the body of the message's TNEF part
    int parts_ = 0;
    size_t text_ = 0;
};

constexpr std::array<int8_t, 256> kBase64 = [] {
    std::array<int8_t, 256> t{};
    t.fill(-1);
    constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; i < alphabet.size(); ++i)
        t[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
    return t;
}();

// Where the scan of a header value for encoded words finds the next "?="
// and the next blank from a position that only moves on: each is searched
// for again only once the scan has passed it, so that a value full of "=?"
// that close nowhere (or only past a blank) takes time linear in its length.
class WordMarks {
  public:
    explicit WordMarks(std::string_view v) : v_(v) {}

    size_t Close(size_t from) {
        return Next(from, close_, [&] { return v_.find("?=", from); });
    }
    size_t Blank(size_t from) {
        return Next(from, blank_, [&] { return v_.find_first_of(kBlank, from); });
    }

  private:
    template <class Find>
    size_t Next(size_t from, size_t &mark, Find find) {
        if (mark < from) mark = find();
        return mark;
    }

    std::string_view v_;
    size_t close_ = 0;  // npos once there is none further on
    size_t blank_ = 0;
};

// Where one encoded word ("=?charset?B?text?=") that starts at `at` ends
// (after "?="), with its parts; npos when it is none. `marks`: of `v`, asked
// from positions that never go back.
size_t encoded_word(std::string_view v, size_t at, WordMarks &marks, std::string_view &charset,
                    char &kind, std::string_view &text) {
    if (v.substr(at, 2) != "=?") return std::string_view::npos;
    const size_t q1 = v.find('?', at + 2);
    if (q1 == std::string_view::npos || q1 + 3 > v.size() || v[q1 + 2] != '?')
        return std::string_view::npos;
    kind = static_cast<char>(v[q1 + 1] & ~0x20);
    if (kind != 'B' && kind != 'Q') return std::string_view::npos;
    const size_t end = marks.Close(q1 + 3);
    if (end == std::string_view::npos) return std::string_view::npos;
    charset = v.substr(at + 2, q1 - at - 2);
    text = v.substr(q1 + 3, end - q1 - 3);
    // Neither the charset nor the text holds a blank (the two bytes
    // between them are a letter and '?').
    if (charset.empty() || marks.Blank(at + 2) < end) return std::string_view::npos;
    charset = charset.substr(0, charset.find('*'));  // RFC 2231 language
    return end + 2;
}

}  // namespace

std::string DecodeBase64(std::string_view in) {
    std::string out;
    out.reserve(in.size() / 4 * 3 + 3);
    uint32_t bits = 0;
    int count = 0;
    for (char c : in) {
        if (c == '=') break;
        const int v = kBase64[static_cast<unsigned char>(c)];
        if (v < 0) continue;
        bits = (bits << 6) | static_cast<uint32_t>(v);
        if (++count == 4) {
            out += static_cast<char>(bits >> 16);
            out += static_cast<char>(bits >> 8);
            out += static_cast<char>(bits);
            bits = 0, count = 0;
        }
    }
    if (count >= 2) out += static_cast<char>(bits >> (6 * count - 8));
    if (count == 3) out += static_cast<char>(bits >> 2);
    return out;
}

std::string DecodeQuotedPrintable(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '=') {
            out += in[i];
            continue;
        }
        // A soft line break: "=", maybe trailing blanks, a line break.
        size_t j = i + 1;
        while (j < in.size() && (in[j] == ' ' || in[j] == '\t')) ++j;
        if (j < in.size() && (in[j] == '\n' || in[j] == '\r')) {
            if (in[j] == '\r' && j + 1 < in.size() && in[j + 1] == '\n') ++j;
            i = j;
            continue;
        }
        if (j == in.size()) break;  // a soft break at the very end
        const int hi = i + 2 < in.size() ? hex_digit(in[i + 1]) : -1;
        const int lo = hi >= 0 ? hex_digit(in[i + 2]) : -1;
        if (lo < 0) {
            out += '=';
            continue;
        }
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

std::string DecodeHeaderValue(std::string_view value) {
    std::string out;
    std::string pending;  // bytes of consecutive words in one charset, or of plain text
    std::string pendingCharset;
    bool pendingWord = false;
    const auto flush = [&] {
        if (!pending.empty()) out += DecodeText(pending, pendingCharset, false);
        pending.clear();
    };
    WordMarks marks(value);
    size_t at = 0;
    size_t plainFrom = 0;
    bool afterWord = false;
    while (at < value.size()) {
        std::string_view charset, text;
        char kind = 0;
        const size_t end = encoded_word(value, at, marks, charset, kind, text);
        if (end == std::string_view::npos) {
            ++at;
            continue;
        }
        // The plain text before this word; white space alone between two words goes.
        const std::string_view between = value.substr(plainFrom, at - plainFrom);
        if (!between.empty() && !(afterWord && trim(between).empty())) {
            if (pendingWord) flush();
            pendingWord = false, pendingCharset.clear();
            pending.append(between);
        }
        std::string bytes;
        if (kind == 'B') {
            bytes = DecodeBase64(text);
        } else {
            std::string q(text);
            std::replace(q.begin(), q.end(), '_', ' ');
            bytes = DecodeQuotedPrintable(q);
        }
        const std::string wordCharset = UsableCharset(charset, false);
        if (!pendingWord || wordCharset != pendingCharset) {
            flush();
            pendingCharset = wordCharset;
        }
        pendingWord = true;
        pending += bytes;
        at = plainFrom = end;
        afterWord = true;
    }
    if (plainFrom < value.size()) {
        if (pendingWord) flush();
        pendingCharset.clear();
        pending.append(value.substr(plainFrom));
    }
    flush();
    return out;
}

std::vector<MailPiece> ReadMail(std::string_view bytes, const MailBounds &bounds) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);  // a UTF-8 byte-order mark
    // An Apple Mail message file: the counted message, not the property list.
    if (const auto message = EmlxMessage(bytes)) bytes = *message;
    Reader reader(bounds);
    std::vector<MailPiece> out;
    if (!bytes.starts_with("From ")) {
        reader.Message(bytes, 0, out);
        return out;
    }
    // An mbox: each message starts with a "From " line after an empty line.
    size_t at = 0;
    while (at < bytes.size() && !reader.Stopped()) {
        next_line(bytes, at);  // the "From " line
        const size_t start = at;
        size_t end = bytes.size();
        bool blank = false;
        while (at < bytes.size()) {
            const size_t lineStart = at;
            const std::string_view line = next_line(bytes, at);
            if (blank && line.starts_with("From ")) {
                end = lineStart;
                at = lineStart;
                break;
            }
            blank = line.empty();
        }
        reader.Message(bytes.substr(start, end - start), 0, out);
    }
    return out;
}

}  // namespace dxf
