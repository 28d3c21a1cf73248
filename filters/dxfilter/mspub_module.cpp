// mspub_module.cpp - dxfilter_mspub.so: the text of Microsoft Publisher
// documents (`.pub`), read by libmspub: a compound file with a `Contents`
// stream and, from Publisher 98 on, the story text in
// `Quill/QuillSub/CONTENTS`.
//
// The document is read into memory whole (up to the bound of one archive
// member) and handed to libmspub through librevenge's string stream, which
// opens the compound file. libmspub draws each page in turn on a drawing
// interface; ours keeps only the text: each paragraph, line break (the
// stories' carriage returns and vertical tabs as well), text box, table row
// and page ends a line, so that the text comes in page order, one text box
// after another. libmspub draws a master page's text boxes again on each
// page that uses it: a text box drawn at the same place with the same text
// as on an earlier page is read once.
//
// As for the other librevenge-based modules (revenge_text.h,
// revenge_drawing.h), the interface checks the document's CPU time on each
// page, text box and run of text and throws once it is spent or the text
// budget is full, which ends libmspub's parse; the text collected so far is
// kept.
#include <libmspub/libmspub.h>
#include <librevenge-stream/librevenge-stream.h>
#include <librevenge/librevenge.h>

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/revenge_drawing.h"

namespace {

// The text of a publication's text boxes and tables (revenge_drawing.h): a
// line end after each paragraph, line break, text box, table row and page;
// a box drawn again where an earlier page had it with the same text, once.
class BoxText final : public dxf::DrawingText {
  public:
    using DrawingText::DrawingText;

    void endPage() override {
        EndLine();
        earlier_.merge(page_);
        page_.clear();
    }
    void startTextObject(const librevenge::RVNGPropertyList &props) override { OpenBox(props); }
    void endTextObject() override { CloseBox(); }
    void startTableObject(const librevenge::RVNGPropertyList &props) override { OpenBox(props); }
    void endTableObject() override { CloseBox(); }
    void insertText(const librevenge::RVNGString &text) override {
        budget_.Tick();
        // A story's paragraphs and lines end with a carriage return or a
        // vertical tab, which libmspub leaves in the text; other controls
        // are dropped.
        std::string_view rest(text.cstr(), text.size());
        while (!rest.empty()) {
            size_t end = 0;
            while (end < rest.size() && static_cast<unsigned char>(rest[end]) >= 0x20) ++end;
            Add(rest.substr(0, end));
            if (end == rest.size()) break;
            const char control = rest[end];
            if (control == '\r' || control == '\n' || control == '\v' || control == '\f')
                EndLine();
            else if (control == '\t')
                Add("\t");
            rest.remove_prefix(end + 1);
        }
    }

  private:
    void OpenBox(const librevenge::RVNGPropertyList &props) {
        budget_.Tick();
        EndLine();
        boxStart_ = text_.size();
        // Where the box stands: with its text, what tells a master page's
        // box drawn again.
        place_.clear();
        for (const char *key : {"svg:x", "svg:y", "svg:width", "svg:height"}) {
            if (const librevenge::RVNGProperty *p = props[key]) place_ += p->getStr().cstr();
            place_ += ';';
        }
    }
    void CloseBox() {
        EndLine();
        if (boxStart_ > text_.size()) return;
        std::string key = place_ + text_.substr(boxStart_);
        if (boxStart_ < text_.size() && earlier_.contains(key))
            text_.resize(boxStart_);
        else
            page_.insert(std::move(key));
        boxStart_ = std::string::npos;
    }

    size_t boxStart_ = std::string::npos;  // where the open box's text starts
    std::string place_;                    // the open box's place
    // The boxes (place and text) of the pages drawn before this one, and of
    // this page.
    std::set<std::string> earlier_, page_;
};

DXMExtractor *mspub_open(DXStream *stream, int64_t size, int format, const DXMLimits *limits) {
    // A publication libmspub does not take (a version it does not read, a
    // later one without its drawing stream) is refused here.
    return dxf::OpenDrawing(stream, size, format, DX_FMT_PUBLISHER, limits,
                            [](librevenge::RVNGInputStream *input) {
                                return libmspub::MSPUBDocument::isSupported(input);
                            });
}

int mspub_step(DXMExtractor *extractor, DXMSink *sink) {
    return dxf::StepDrawing<BoxText>(
        extractor, sink,
        [](librevenge::RVNGInputStream *input, librevenge::RVNGDrawingInterface *out) {
            return libmspub::MSPUBDocument::parse(input, out);
        });
}

constexpr DXModule kModule = {DXM_ABI_VERSION, nullptr,    nullptr,
                              mspub_open,      mspub_step, dxf::CloseDrawing};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DXModule *DXM_GetModule(void) {
    return &kModule;
}
