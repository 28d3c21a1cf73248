// compress_text.h - text and markup found inside a compressed document,
// turned into UTF-8 for the text sink a piece at a time: the charset decision
// and conversion (ICU), and a tag stripper for HTML, XML and SGML.
#ifndef GLOTTA_FILTERS_DXFILTER_COMPRESS_TEXT_H
#define GLOTTA_FILTERS_DXFILTER_COMPRESS_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/utf8.h"

struct UConverter;

namespace dxf {

// The charset to read a text with from its first bytes: the Unicode form the
// format rules find (byte-order mark, UTF-16/32 without one), for markup a
// charset declared in the head (`charset=`, `encoding=`) that ICU knows;
// empty when the bytes themselves must decide.
std::string InitialCharset(std::string_view head, bool markup);

// Whether ICU has a converter of this name.
bool CharsetKnown(const std::string &name);

// The ICU name of a Windows code page number; empty when there is none.
std::string CodePageCharset(uint32_t codePage);

// The charset a document declares (a MIME charset parameter or encoded
// word, a message catalog's Content-Type), as TextDecoder is to use it:
// without surrounding white space, in lower case. Empty when the bytes must
// decide instead: no name, a name ICU does not know, ASCII (`ascii`,
// `us-ascii`, `ansi_x3.4-1968`: 8-bit text often declares it wrongly) and,
// with `unicodeFromBytes`, UTF-8, UTF-16 and UTF-32 (the catalog reader's
// rule: GuessCharset still finds valid UTF-8, and a catalog that declares
// UTF-8 but holds 8-bit bytes gets its charset guessed).
std::string UsableCharset(std::string_view declared, bool unicodeFromBytes);

// The charset of bytes that are not all ASCII: UTF-8 when they are valid
// UTF-8 (a sequence cut by their end counts as valid unless `last`) without
// an ISO-2022 escape, else
// the one ICU's detector names (not UTF-16 or UTF-32, which the format rules
// would have found), else windows-1252. `markup`: tags do not count.
std::string GuessCharset(std::string_view bytes, bool last, bool markup);

// Bytes in one charset to UTF-8, chunk by chunk; malformed bytes are dropped.
// Without a charset, ASCII passes as it is; from the first byte that is not
// ASCII (or an ISO-2022 escape) on, bytes are held until 64 such bytes, 64 KiB
// or the end have come, and decide it.
class TextDecoder {
  public:
    TextDecoder(std::string charset, bool markup);
    ~TextDecoder();
    TextDecoder(const TextDecoder &) = delete;
    TextDecoder &operator=(const TextDecoder &) = delete;

    // Appends the UTF-8 of `bytes` to `out`; `last`: nothing follows.
    void Decode(std::string_view bytes, bool last, std::string &out);
    // The charset in use; empty while undecided.
    const std::string &charset() const { return charset_; }

  private:
    bool Open(const std::string &name);
    void Convert(std::string_view bytes, bool last, std::string &out);

    std::string charset_;
    bool markup_;
    UConverter *conv_ = nullptr;
    std::string held_;      // bytes waiting for the charset decision
    size_t heldOther_ = 0;  // of them, bytes that are not plain ASCII
    Utf16Joiner joiner_;    // ICU's units to code points (a pair may span two calls)
};

// The whole of `bytes` in UTF-8, decoded as a TextDecoder of `charset` and
// `markup` decodes it.
std::string DecodeText(std::string_view bytes, const std::string &charset, bool markup);

// Whether the HTML element `name` (lower case) is a block: its tags end a
// line of the text.
bool IsHtmlBlock(std::string_view name);

// The character a character reference names, given what stands between
// its '&' and ';' ("eacute", "#233", "#xE9"); 0 when it names none (an
// unknown name, a surrogate, beyond U+10FFFF).
char32_t ReferencedCodePoint(std::string_view name);

// The text of markup: tags, comments, declarations and processing
// instructions dropped; script and style content dropped (HTML); character
// references resolved; CDATA sections kept. In HTML the tags of blocks end a
// line and other tags vanish; in XML and SGML every tag separates words.
class MarkupStripper {
  public:
    explicit MarkupStripper(bool html) : html_(html) {}
    // Feeds UTF-8 markup into `sink`; false once the sink is full.
    bool Feed(std::string_view utf8, DXMSink *sink);

  private:
    enum class State {
        kText,
        kLess,     // after '<'
        kName,     // the element name
        kAttrs,    // inside a tag after its name
        kQuote,    // a quoted attribute value
        kBang,     // after "<!"
        kComment,  // inside "<!--"
        kDecl,     // a declaration, "<!DOCTYPE ...>"
        kPi,       // "<?...?>"
        kCdata,    // "<![CDATA[...]]>"
        kEntity,   // after '&'
        kRaw,      // the content of a script or style element
    };
    void Put(char c);
    void Text(char c);
    void EndTag();
    void Entity();
    bool Flush(DXMSink *sink);

    bool html_;
    State state_ = State::kText;
    std::string out_;       // text not yet handed to the sink
    std::string name_;      // element name, lower case (at most kMaxName)
    std::string pending_;   // "<!" prefix, or a reference's name
    bool closing_ = false;  // "</name"
    bool selfClosed_ = false;
    char quote_ = 0;
    int run_ = 0;         // dashes or brackets in a row; declaration depth
    std::string rawEnd_;  // "</script" or "</style"
    size_t rawMatched_ = 0;
    bool full_ = false;
};

}  // namespace dxf

#endif
