// ole_file.h - inside dxfilter_msdoc.so: the compound file (OLE2) layer that
// the Word, Excel and PowerPoint readers share, and the readers' common
// interface.
//
// libgsf reads the compound file (its allocation tables, directory and
// streams) through an input over the engine's stream callbacks, fetching only
// the sectors asked for; the readers parse the streams themselves and check
// everything a document says about itself against the sizes of its streams.
#ifndef GLOTTA_FILTERS_DXFILTER_OLE_FILE_H
#define GLOTTA_FILTERS_DXFILTER_OLE_FILE_H

#include <gsf/gsf-infile.h>
#include <gsf/gsf-input.h>
#include <errno.h>
#include <iconv.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "filters/dxfilter/bytes.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/utf8.h"

namespace msdoc {

using dxf::le16;
using dxf::le32;

using dxf::append_utf8;
using dxf::Utf16Joiner;

// Reads `count` bytes at `offset` of a stream; false when they are not all
// there (nothing is read past the stream's end).
bool read_at(GsfInput *input, uint64_t offset, size_t count, unsigned char *out);

// A reference to a GObject, released when it goes.
struct GObjectUnref {
    void operator()(void *object) const;
};
using InputRef = std::unique_ptr<GsfInput, GObjectUnref>;

// The compound file of one document.
class OleFile {
  public:
    OleFile() = default;
    OleFile(const OleFile &) = delete;
    OleFile &operator=(const OleFile &) = delete;
    ~OleFile();

    // Reads the header and directory of the `size`-byte document `stream`;
    // reads through it fail after `deadlineNs`. False when it is no compound
    // file libgsf can read.
    bool Open(DXStream *stream, int64_t size, int64_t deadlineNs);
    // Takes a document that is no compound file (Word for Windows 1.x and
    // 2.0, Excel 2.x to 4.0) as one stream, Whole(); it has no children.
    void OpenWhole(DXStream *stream, int64_t size, int64_t deadlineNs);

    // Whether Open read a compound file's directory.
    bool Compound() const { return ole_ != nullptr; }

    // The stream `name` at the root of the directory; null when there is
    // none.
    InputRef Child(const char *name) const;
    // The whole document as one stream.
    InputRef Whole() const;

  private:
    void Source(DXStream *stream, int64_t size, int64_t deadlineNs);

    GsfInput *source_ = nullptr;
    GsfInfile *ole_ = nullptr;
};

// The code page of the document's summary information (its `CODEPAGE`
// property); 0 when there is none, or it cannot be read.
unsigned SummaryCodePage(const OleFile &file);

// An iconv converter to `to` from the Windows code page of 8-bit text, by
// its Office name (OfficeIconvName: Mac Roman for 10000 and 32768, ASCII
// for 367, Windows-1252 for 32769 and 1200); Windows-1252 for a code page
// iconv does not know; (iconv_t)-1 when not even that opens.
iconv_t OpenCodePage(unsigned codePage, const char *to);

// Converts `run`, 8-bit text without control bytes (no multibyte character
// of the code pages these documents use holds a byte below 0x20), through
// `cd`, a converter to UTF-32LE, and hands each character to `character`; a
// byte the code page does not know is dropped. Gives where a character cut
// by the run's end starts (run.size() when none), and leaves `cd` reset.
template <typename Character>
size_t ConvertRun(iconv_t cd, std::string_view run, Character character) {
    char *from = const_cast<char *>(run.data());  // iconv only reads it
    size_t left = run.size();
    while (left > 0) {
        unsigned char out[1024];
        char *to = reinterpret_cast<char *>(out);
        size_t room = sizeof out;
        const size_t r = iconv(cd, &from, &left, &to, &room);
        const int error = r == static_cast<size_t>(-1) ? errno : 0;
        for (size_t k = 0; k + 4 <= sizeof out - room; k += 4) character(char32_t{le32(out + k)});
        if (error == EINVAL) break;
        if (error == EILSEQ) ++from, --left;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    return run.size() - left;
}

// What the module's step and close operations work on: one reader per format.
class OleReader {
  public:
    virtual ~OleReader() = default;
    // As the module's step: 1 when more may follow, 0 at the end, -1 on an
    // error that ends extraction.
    virtual int Step(DXMSink *sink) = 0;
};

// The reader of a document of each format over its opened compound file;
// null when the document cannot be read (damaged, encrypted, a version
// without a reader, over a bound).
std::unique_ptr<OleReader> OpenWordReader(std::unique_ptr<OleFile> file, const DXMLimits &limits);
std::unique_ptr<OleReader> OpenWorkbookReader(std::unique_ptr<OleFile> file,
                                              const DXMLimits &limits);
std::unique_ptr<OleReader> OpenPresentationReader(std::unique_ptr<OleFile> file,
                                                  const DXMLimits &limits);

// Gathers UTF-8 text for a sink (set before each step): UTF-16 units joined
// as Utf16Joiner joins them (a half without its partner is U+FFFD, a break
// ends a pair left open); tabs become spaces,
// other control characters are dropped (the callers make the breaks).
class TextOut {
  public:
    DXMSink *sink = nullptr;

    void Unit(char16_t unit);
    void Char(char32_t c);
    // Hands the text gathered so far to the sink; false once it is full.
    bool Flush();
    // Flushes and ends a line; false once the sink is full.
    bool Break();

  private:
    Utf16Joiner units_;
    std::string utf8_;
};

}  // namespace msdoc

#endif
