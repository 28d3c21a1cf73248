// webarchive_text.cpp - the pages of a web archive (see webarchive_text.h).
#include "filters/dxfilter/webarchive_text.h"

#include "filters/dxfilter/bytes.h"
#include "filters/dxfilter/compress_text.h"
#include "filters/dxfilter/dx_module.h"

namespace dxf {
namespace {

// Bytes of a page in which its charset declaration is looked for.
constexpr size_t kHeadBytes = 8192;

// A resource's MIME type without its parameters and blanks, in lower case.
std::string MimeType(std::string_view type) {
    type = type.substr(0, type.find(';'));
    const size_t first = type.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return ascii_lowered(type.substr(first, type.find_last_not_of(" \t") - first + 1));
}

}  // namespace

bool WebArchive::Read(std::string_view bytes, const WebArchiveBounds &bounds) {
    bounds_ = bounds;
    pages_.clear();
    archives_ = 0;
    error_.clear();
    PlistBounds plist;
    plist.deadlineNs = bounds.deadlineNs;
    const bool read = bytes.starts_with(kBinaryPlistMagic) ? list_.ReadBinary(bytes, plist, error_)
                                                           : list_.ReadXml(bytes, plist, error_);
    if (!read) return false;
    const PropertyList::Value *main = list_.Find(list_.root(), "WebMainResource");
    if (!main || main->kind != PropertyList::Kind::kDict) {
        error_ = "no main resource";
        return false;
    }
    Archive(list_.root(), 0);
    return true;
}

void WebArchive::Archive(const PropertyList::Value &archive, size_t nesting) {
    // An archive that several frames hold is visited for each, as often as
    // the bound allows.
    if (archives_ >= bounds_.maxArchives || DXM_CpuNs() > bounds_.deadlineNs) return;
    ++archives_;
    const PropertyList::Value *main = list_.Find(archive, "WebMainResource");
    if (main) Resource(*main);
    const PropertyList::Value *frames = list_.Find(archive, "WebSubframeArchives");
    if (!frames || frames->kind != PropertyList::Kind::kArray || nesting >= bounds_.maxNesting)
        return;
    for (uint32_t i = 0; i < frames->count && archives_ < bounds_.maxArchives; ++i)
        Archive(list_.Item(*frames, i), nesting + 1);
}

void WebArchive::Resource(const PropertyList::Value &resource) {
    using Kind = PropertyList::Kind;
    const PropertyList::Value *data = list_.Find(resource, "WebResourceData");
    const PropertyList::Value *type = list_.Find(resource, "WebResourceMIMEType");
    if (!data || data->kind != Kind::kData || !type || type->kind != Kind::kString) return;
    const std::string mime = MimeType(type->bytes);
    const bool html = mime == "text/html" || mime == "application/xhtml+xml";
    if (!html && mime != "text/plain") return;
    WebPage page;
    page.bytes = data->bytes.substr(0, bounds_.maxPageBytes);
    page.html = html;
    const std::string_view head = page.bytes.substr(0, kHeadBytes);
    page.charset = InitialCharset(head, false);
    if (page.charset.empty())
        if (const PropertyList::Value *name = list_.Find(resource, "WebResourceTextEncodingName");
            name && name->kind == Kind::kString)
            page.charset = UsableCharset(name->bytes, false);
    if (page.charset.empty() && html) page.charset = InitialCharset(head, true);
    pages_.push_back(std::move(page));
}

}  // namespace dxf
