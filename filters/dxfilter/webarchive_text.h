// webarchive_text.h - the pages of a web archive as Safari saves it
// (`.webarchive`; Mail keeps messages' HTML bodies so too): a property list,
// binary or XML, whose root dictionary holds the page as `WebMainResource`,
// its images, style sheets and scripts as `WebSubresources`, and the archives
// of its frames as `WebSubframeArchives`.
#ifndef GLOTTA_FILTERS_DXFILTER_WEBARCHIVE_TEXT_H
#define GLOTTA_FILTERS_DXFILTER_WEBARCHIVE_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "filters/dxfilter/plist.h"

namespace dxf {

struct WebArchiveBounds {
    size_t maxArchives = 256;         // archives visited: the page's and its frames'
    size_t maxNesting = 8;            // frames inside frames
    size_t maxPageBytes = 16u << 20;  // bytes of one page read (further bytes are not)
    int64_t deadlineNs = INT64_MAX;   // DXM_CpuNs time to stop at
};

// A page to read: the data of a main resource whose type is HTML
// (`text/html`, `application/xhtml+xml`) or plain text (`text/plain`).
struct WebPage {
    std::string_view bytes;  // the resource's data, at most maxPageBytes of it
    // The charset to decode it with: the Unicode form its bytes show (a
    // byte-order mark), else the resource's text encoding name when ICU
    // knows it (not ASCII, see UsableCharset), else for HTML the charset its
    // head declares; empty when the bytes must decide.
    std::string charset;
    bool html = false;
};

class WebArchive {
  public:
    // Reads the archive in `bytes` (which must outlive it). False, with
    // error(), when the property list is refused, its root is no dictionary
    // or holds no `WebMainResource` dictionary. The pages are the main
    // resource's, then those of the frames' archives, depth first in their
    // order, down to maxNesting frames deep; resources of another type, and
    // subresources of any type, are no pages.
    bool Read(std::string_view bytes, const WebArchiveBounds &bounds);

    const std::vector<WebPage> &pages() const { return pages_; }
    const std::string &error() const { return error_; }

  private:
    void Archive(const PropertyList::Value &archive, size_t nesting);
    void Resource(const PropertyList::Value &resource);

    WebArchiveBounds bounds_;
    PropertyList list_;
    std::vector<WebPage> pages_;
    size_t archives_ = 0;
    std::string error_;
};

}  // namespace dxf

#endif
