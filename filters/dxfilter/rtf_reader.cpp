// rtf_reader.cpp - a small RTF reader: control words, groups, destinations
// that hold no body text, and \'hh and \uN escapes decoded with the code page
// of the document (\ansicpg) or of the current font (\fcharset).
#include "filters/dxfilter/rtf_reader.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "filters/dxfilter/bytes.h"
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
    "filetbl",   "footer",   "footerf",  "footerl",   "footerr",      "footnote",
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
           word == "colorschememapping" || word == "objdata" || word == "nonshppict" ||
           word == "shppict" || word == "bkmkstart" || word == "bkmkend" || word == "pn" ||
           word == "fonttbl";
}

// Windows code page of an RTF font charset; 0 for "the document's".
int charset_code_page(int charset) {
    switch (charset) {
        case 77:
            return 10000;
        case 128:
            return 932;
        case 129:
            return 949;
        case 130:
            return 1361;
        case 134:
            return 936;
        case 136:
            return 950;
        case 161:
            return 1253;
        case 162:
            return 1254;
        case 163:
            return 1258;
        case 177:
            return 1255;
        case 178:
            return 1256;
        case 186:
            return 1257;
        case 204:
            return 1251;
        case 222:
            return 874;
        case 238:
            return 1250;
        case 254:
            return 437;
        case 255:
            return 850;
        default:
            return 0;
    }
}

std::string iconv_name(int codePage) {
    switch (codePage) {
        case 936:
            return "GBK";
        case 950:
            return "BIG5";
        case 949:
            return "CP949";
        case 1361:
            return "JOHAB";
        case 10000:
            return "MACINTOSH";
        case 65001:
            return "UTF-8";
        default:
            return "CP" + std::to_string(codePage);
    }
}

struct GroupState {
    bool skip = false;
    int uc = 1;  // fallback characters after \uN
    int font = -1;
};

class RtfExtractor : public Extractor {
  public:
    RtfExtractor(DXStream *stream, int64_t deadline) : in_(stream), deadline_(deadline) {
        stack_.push_back(GroupState{});
    }
    ~RtfExtractor() override {
        for (auto &[page, cd] : converters_)
            if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }

    int Step(TextSink &sink) override {
        sink_ = &sink;
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
            if (sink.full()) return 0;
        }
        Flush(false);
        return DXM_CpuNs() > deadline_ ? 0 : 1;
    }

  private:
    GroupState &state() { return stack_.back(); }
    bool skipping() const { return stack_.back().skip || depthOverflow_ > 0; }

    // Handles one token starting with byte c; false ends the document.
    bool Token(int c) {
        switch (c) {
            case '{':
                Flush();
                if (stack_.size() >= kMaxDepth) {
                    ++depthOverflow_;
                } else {
                    stack_.push_back(stack_.back());
                }
                pendingStar_ = false;
                return true;
            case '}':
                Flush();
                if (depthOverflow_ > 0) {
                    --depthOverflow_;
                } else {
                    if (inFontTable_ == stack_.size()) inFontTable_ = 0;
                    if (stack_.size() > 1)
                        stack_.pop_back();
                    else
                        return false;  // the closing brace of the document
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
            Flush();
            EndUnits();
            sink_->AddCodePoint(U' ');
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
                fontCodePages_[fontTableFont_] = charset_code_page(static_cast<int>(param));
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
            Emit(U' ');
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
        units_.Unit(static_cast<char16_t>(v), [this](char32_t cp) { sink_->AddCodePoint(cp); });
    }

    // Other text comes: a high surrogate of a \uN escape found no pair.
    void EndUnits() {
        units_.Finish([this](char32_t cp) { sink_->AddCodePoint(cp); });
    }

    void Emit(char32_t cp) {
        if (skipping()) return;
        Flush();
        EndUnits();
        sink_->AddCodePoint(cp);
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
        iconv_t cd = iconv_open("UTF-8", iconv_name(codePage).c_str());
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
            sink_->AddUtf8(bytes_);
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
            sink_->AddUtf8(std::string_view(out, sizeof out - dstLeft));
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
    TextSink *sink_ = nullptr;
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

}  // namespace dxf
