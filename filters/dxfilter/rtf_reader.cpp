// rtf_reader.cpp - a small RTF reader: control words, groups, destinations
// that hold no body text, and \'hh and \uN escapes decoded with the code page
// of the document (\ansicpg) or of the current font (\fcharset); the same
// reader takes the HTML out of an RTF body that encapsulates it.
#include "filters/dxfilter/rtf_reader.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "filters/dxfilter/bytes.h"
#include "filters/dxfilter/code_pages.h"
#include "filters/dxfilter/module_stream.h"
#include "filters/dxfilter/utf8.h"

namespace dxf {
namespace {

constexpr size_t kMaxDepth = 256;  // deeper groups are read but their text dropped
constexpr size_t kMaxWord = 32;    // control word letters kept
constexpr int kMaxFonts = 4096;    // fonts remembered from the font table
constexpr int kBytesPerStep = 64 * 1024;
constexpr size_t kMaxPendingBytes = 4096;  // undecoded text bytes held back

// Destinations whose text is not part of the document body.
constexpr std::array<std::string_view, 44> kSkipDestinations = {
    "author",    "buptim",   "colortbl", "comment",   "creatim",      "datafield",
    "datastore", "do",       "doccomm",  "docvar",    "falt",         "fldinst",
    "filetbl",   "footer",   "footerf",  "footerl",   "footerr",      "nonshppict",
    "ftncn",     "ftnsep",   "ftnsepc",  "generator", "header",       "headerf",
    "headerl",   "headerr",  "info",     "keywords",  "latentstyles", "listoverridetable",
    "listtable", "listtext", "object",   "operator",  "pict",         "pntext",
    "printim",   "revtim",   "revtbl",   "rsidtbl",   "stylesheet",   "subject",
    "themedata", "xmlnstbl",
};

bool skip_destination(std::string_view word) {
    for (std::string_view d : kSkipDestinations)
        if (d == word) return true;
    return word == "title" || word == "pgdsctbl" || word == "mmathPr" ||
           word == "colorschememapping" || word == "objdata" || word == "shppict" ||
           word == "bkmkstart" || word == "bkmkend" || word == "pn" || word == "fonttbl";
}

struct GroupState {
    bool skip = false;
    int uc = 1;  // fallback characters after \uN
    int font = -1;
    bool htmlRtf = false;  // in a \htmlrtf run: RTF that encapsulated HTML does not hold
    bool htmlTag = false;  // in a {\*\htmltag} group: markup of encapsulated HTML
    bool note = false;     // the group of a \footnote (not its inner groups)
};

// Where the reader's text goes: the text sink of an extraction, or a string
// that keeps it as written.
class RtfOutput {
  public:
    virtual ~RtfOutput() = default;
    virtual void Utf8(std::string_view utf8) = 0;
    virtual void CodePoint(char32_t cp) = 0;
    virtual void Break() = 0;
    virtual void Tab() = 0;
    virtual bool full() const = 0;
};

class SinkOutput final : public RtfOutput {
  public:
    explicit SinkOutput(TextSink &sink) : sink_(sink) {}
    void Utf8(std::string_view utf8) override { sink_.AddUtf8(utf8); }
    void CodePoint(char32_t cp) override { sink_.AddCodePoint(cp); }
    void Break() override { sink_.Break(); }
    void Tab() override { sink_.AddCodePoint(U' '); }
    bool full() const override { return sink_.full(); }

  private:
    TextSink &sink_;
};

// UTF-8 up to a cap, cut before a character that does not fit whole.
class StringOutput final : public RtfOutput {
  public:
    explicit StringOutput(size_t cap) : cap_(cap) {}
    void Utf8(std::string_view utf8) override {
        if (full_) return;
        if (utf8.size() > cap_ - text_.size()) {
            size_t cut = cap_ - text_.size();
            while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
            utf8 = utf8.substr(0, cut);
            full_ = true;
        }
        text_.append(utf8);
    }
    void CodePoint(char32_t cp) override {
        std::string utf8;
        append_utf8(utf8, cp);
        Utf8(utf8);
    }
    void Break() override { Utf8("\n"); }
    void Tab() override { Utf8("\t"); }
    bool full() const override { return full_; }
    std::string &text() { return text_; }

  private:
    size_t cap_;
    std::string text_;
    bool full_ = false;
};

class RtfExtractor : public Extractor {
  public:
    // `html`: take out the HTML an RTF body encapsulates rather than its text.
    RtfExtractor(DXStream *stream, int64_t deadline, bool html = false)
        : in_(stream), deadline_(deadline), html_(html) {
        stack_.push_back(GroupState{});
    }
    ~RtfExtractor() override {
        for (auto &[page, cd] : converters_)
            if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }

    int Step(TextSink &sink) override {
        SinkOutput out(sink);
        return Run(out);
    }

    // As Step, into `out`.
    int Run(RtfOutput &out) {
        sink_ = &out;
        for (int n = 0; n < kBytesPerStep; ++n) {
            int c = in_.Get();
            if (binSkip_ > 0 && c >= 0) {
                --binSkip_;
                continue;
            }
            if (c < 0) {
                Flush();
                EndUnits();
                return in_.failed() ? -1 : 0;
            }
            if (!Token(c)) {
                Flush();
                EndUnits();
                return 0;
            }
            if (out.full()) return 0;
        }
        Flush(false);
        return DXM_CpuNs() > deadline_ ? 0 : 1;
    }

    bool sawTag() const { return sawTag_; }

  private:
    GroupState &state() { return stack_.back(); }
    bool skipping() const {
        const GroupState &s = stack_.back();
        return s.skip || depthOverflow_ > 0 || (html_ && s.htmlRtf && !s.htmlTag);
    }

    // Handles one token starting with byte c; false ends the document.
    bool Token(int c) {
        switch (c) {
            case '{':
                Flush();
                if (stack_.size() >= kMaxDepth) {
                    ++depthOverflow_;
                } else {
                    stack_.push_back(stack_.back());
                    stack_.back().note = false;
                }
                pendingStar_ = false;
                return true;
            case '}':
                Flush();
                if (depthOverflow_ > 0) {
                    --depthOverflow_;
                } else {
                    if (inFontTable_ == stack_.size()) inFontTable_ = 0;
                    if (stack_.size() <= 1) return false;  // the closing brace of the document
                    const bool note = stack_.back().note;
                    stack_.pop_back();
                    if (note) Paragraph();  // the text after a note on a line of its own
                }
                skipFallback_ = 0;
                return true;
            case '\\':
                return ControlWord();
            case '\r':
            case '\n':
                return true;
            default:
                Text(static_cast<unsigned char>(c));
                return true;
        }
    }

    void Text(unsigned char c) {
        if (skipFallback_ > 0) {
            --skipFallback_;
            return;
        }
        if (skipping()) return;
        if (c == '\t') {
            Tab();
            return;
        }
        // Text of encapsulated HTML outside its tags stays text to a reader of the markup.
        if (html_ && !state().htmlTag && (c == '<' || c == '&')) {
            bytes_.append(c == '<' ? "&lt;" : "&amp;");
            return;
        }
        bytes_.push_back(static_cast<char>(c));
        if (bytes_.size() >= kMaxPendingBytes) Flush(false);
    }

    bool ControlWord() {
        int c = in_.Get();
        if (c < 0) return true;
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return ControlSymbol(c);
        std::string word;
        while ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            if (word.size() < kMaxWord) word.push_back(static_cast<char>(c));
            c = in_.Get();
        }
        bool hasParam = false, negative = false;
        long param = 0;
        if (c == '-') {
            negative = true;
            c = in_.Get();
        }
        while (c >= '0' && c <= '9') {
            hasParam = true;
            if (param < 100000000) param = param * 10 + (c - '0');
            c = in_.Get();
        }
        if (negative) param = -param;
        if (c != ' ' && c >= 0) in_.Unget();
        Word(word, hasParam, param);
        return true;
    }

    bool ControlSymbol(int c) {
        switch (c) {
            case '\'': {
                int hi = hex_digit(in_.Get()), lo = hex_digit(in_.Get());
                if (hi < 0 || lo < 0) return true;
                Text(static_cast<unsigned char>(hi * 16 + lo));
                return true;
            }
            case '*':
                pendingStar_ = true;
                return true;
            case '~':
                Emit(0x00A0);
                return true;
            case '_':
                Emit(U'-');
                return true;
            case '{':
            case '}':
            case '\\':
                Text(static_cast<unsigned char>(c));
                return true;
            case '\r':
            case '\n':
                Paragraph();
                return true;
            default:  // \- \| \: and others carry no text
                return true;
        }
    }

    void Word(const std::string &w, bool hasParam, long param) {
        if (html_ && w == "htmltag") {
            // Markup of encapsulated HTML, shown whatever \htmlrtf says around it.
            pendingStar_ = false;
            Flush();
            state().htmlTag = true;
            sawTag_ = true;
            return;
        }
        if (html_ && w == "htmlrtf") {
            Flush();
            state().htmlRtf = !hasParam || param != 0;
            return;
        }
        if (pendingStar_) {
            // An ignorable destination: nothing in it is body text.
            pendingStar_ = false;
            Flush();
            state().skip = true;
            return;
        }
        if (skipFallback_ > 0 && w != "bin") {
            --skipFallback_;
            return;
        }
        if (w == "fonttbl") {
            Flush();
            state().skip = true;
            inFontTable_ = stack_.size();
            return;
        }
        if (inFontTable_) {
            if (w == "f" && hasParam)
                fontTableFont_ = static_cast<int>(param);
            else if (w == "fcharset" && hasParam && fontTableFont_ >= 0 &&
                     fontCodePages_.size() < kMaxFonts)
                fontCodePages_[fontTableFont_] = FontCharsetCodePage(static_cast<int>(param));
            else if (w == "cpg" && hasParam && fontTableFont_ >= 0 &&
                     fontCodePages_.size() < kMaxFonts)
                fontCodePages_[fontTableFont_] = static_cast<int>(param);
            return;
        }
        if (skip_destination(w)) {
            Flush();
            state().skip = true;
            return;
        }
        if (w == "footnote") {
            // A footnote or endnote, read where its mark stands (as the
            // notes of OpenDocument text are) on lines of its own.
            Paragraph();
            state().note = true;
            return;
        }
        if (w == "bin") {
            // Binary data: skipped by the step loop, which keeps to the deadline.
            if (hasParam && param > 0) binSkip_ = param;
            return;
        }
        if (w == "ansicpg" && hasParam) {
            Flush();
            docCodePage_ = static_cast<int>(param);
        } else if (w == "mac") {
            docCodePage_ = 10000;
        } else if (w == "pc") {
            docCodePage_ = 437;
        } else if (w == "pca") {
            docCodePage_ = 850;
        } else if (w == "f" && hasParam) {
            Flush();
            state().font = static_cast<int>(param);
        } else if (w == "uc" && hasParam) {
            state().uc = param < 0 ? 0 : static_cast<int>(param > 16 ? 16 : param);
        } else if (w == "u" && hasParam) {
            long v = param < 0 ? param + 65536 : param;
            Unicode(static_cast<char32_t>(v & 0xFFFF));
            skipFallback_ = state().uc;
        } else if (w == "par" || w == "line" || w == "sect" || w == "page" || w == "cell" ||
                   w == "row" || w == "nestcell" || w == "nestrow" || w == "softline") {
            Paragraph();
        } else if (w == "tab") {
            Tab();
        } else if (w == "emdash") {
            Emit(0x2014);
        } else if (w == "endash") {
            Emit(0x2013);
        } else if (w == "bullet") {
            Emit(0x2022);
        } else if (w == "lquote") {
            Emit(0x2018);
        } else if (w == "rquote") {
            Emit(0x2019);
        } else if (w == "ldblquote") {
            Emit(0x201C);
        } else if (w == "rdblquote") {
            Emit(0x201D);
        } else if (w == "emspace" || w == "enspace" || w == "qmspace") {
            Emit(U' ');
        }
    }

    // A \uN escape: a UTF-16 unit, joined with the next one when they are a
    // surrogate pair.
    void Unicode(char32_t v) {
        if (skipping()) return;
        Flush();
        units_.Unit(static_cast<char16_t>(v), [this](char32_t cp) { sink_->CodePoint(cp); });
    }

    // Other text comes: a high surrogate of a \uN escape found no pair.
    void EndUnits() {
        units_.Finish([this](char32_t cp) { sink_->CodePoint(cp); });
    }

    void Emit(char32_t cp) {
        if (skipping()) return;
        Flush();
        EndUnits();
        sink_->CodePoint(cp);
    }

    void Tab() {
        if (skipping()) return;
        Flush();
        EndUnits();
        sink_->Tab();
    }

    void Paragraph() {
        if (skipping()) return;
        Flush();
        EndUnits();
        sink_->Break();
    }

    int CurrentCodePage() const {
        int font = stack_.back().font;
        if (font >= 0) {
            auto it = fontCodePages_.find(font);
            if (it != fontCodePages_.end() && it->second != 0) return it->second;
        }
        return docCodePage_;
    }

    iconv_t Converter(int codePage) {
        auto it = converters_.find(codePage);
        if (it != converters_.end()) return it->second;
        iconv_t cd = iconv_open("UTF-8", RtfIconvName(codePage).c_str());
        converters_[codePage] = cd;
        // An unknown code page reads as the commonest one.
        if (cd == reinterpret_cast<iconv_t>(-1) && codePage != 1252) return Converter(1252);
        return cd;
    }

    // Decodes the bytes gathered since the last control word. Unless `final`,
    // a multibyte character cut at the end waits for its remaining bytes.
    void Flush(bool final = true) {
        if (bytes_.empty()) return;
        EndUnits();
        bool ascii = true;
        for (char b : bytes_) ascii = ascii && static_cast<unsigned char>(b) < 0x80;
        if (ascii) {
            sink_->Utf8(bytes_);
            bytes_.clear();
            return;
        }
        iconv_t cd = Converter(CurrentCodePage());
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            bytes_.clear();
            return;
        }
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char *src = bytes_.data();
        size_t srcLeft = bytes_.size();
        char out[1024];
        while (srcLeft > 0) {
            char *dst = out;
            size_t dstLeft = sizeof out;
            size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
            sink_->Utf8(std::string_view(out, sizeof out - dstLeft));
            if (r == static_cast<size_t>(-1) && errno == EINVAL && !final) {
                bytes_.erase(0, bytes_.size() - srcLeft);
                return;
            }
            if (r == static_cast<size_t>(-1) && errno != E2BIG) {
                // An invalid or cut sequence: drop one byte and go on.
                ++src;
                --srcLeft;
            }
        }
        bytes_.clear();
    }

    StreamReader in_;
    int64_t deadline_;
    RtfOutput *sink_ = nullptr;
    bool html_;
    bool sawTag_ = false;
    std::vector<GroupState> stack_;
    size_t depthOverflow_ = 0;
    bool pendingStar_ = false;
    size_t inFontTable_ = 0;  // stack depth of the font table group, 0 outside it
    int fontTableFont_ = -1;
    std::map<int, int> fontCodePages_;
    int docCodePage_ = 1252;
    int skipFallback_ = 0;
    long binSkip_ = 0;   // bytes of \bin data still to skip
    Utf16Joiner units_;  // \uN escapes to code points
    std::string bytes_;
    std::map<int, iconv_t> converters_;
};

}  // namespace

std::unique_ptr<Extractor> NewRtfExtractor(DXStream *stream, int64_t deadlineNs) {
    return std::make_unique<RtfExtractor>(stream, deadlineNs);
}

RtfSource RtfBodySource(std::string_view rtf) {
    // The control words of the document's group before its first group.
    if (!rtf.starts_with("{\\rtf")) return RtfSource::kRtf;
    const std::string_view head = rtf.substr(1, rtf.find('{', 1) - 1);
    const auto has = [&](std::string_view word, bool html) {
        for (size_t at = head.find(word); at != std::string_view::npos;
             at = head.find(word, at + 1)) {
            const size_t end = at + word.size();
            const char next = end < head.size() ? head[end] : ' ';
            if ((next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z')) continue;
            // "\fromhtml0" or another number but 1 says no HTML.
            if (html && next >= '0' && next <= '9')
                return head.substr(end, head.find_first_not_of("0123456789", end) - end) == "1";
            return true;
        }
        return false;
    };
    if (has("\\fromhtml", true)) return RtfSource::kHtml;
    if (has("\\fromtext", false)) return RtfSource::kText;
    return RtfSource::kRtf;
}

std::optional<std::string> RtfToUtf8(std::string_view rtf, RtfSource as, size_t maxBytes,
                                     int64_t deadlineNs, bool *cut) {
    MemoryStream memory(rtf);
    const bool html = as == RtfSource::kHtml;
    RtfExtractor reader(&memory.stream, deadlineNs, html);
    StringOutput out(maxBytes);
    while (reader.Run(out) > 0) {
    }
    if (DXM_CpuNs() > deadlineNs || (html && !reader.sawTag())) return std::nullopt;
    if (cut) *cut = out.full();
    return std::move(out.text());
}

}  // namespace dxf
