// office_module.cpp - dxfilter_office.so: zip-based documents (DOCX, XLSX
// and its binary twin XLSB, PPTX, ODT, ODS, ODP, ODG, the OpenOffice.org 1.x
// documents they succeeded, EPUB, XPS and OpenXPS, HWPX), flat OpenDocument
// files (one XML document, `office:document`), Office's flat packages (one
// XML document, `pkg:package`, whose parts are read as a package's) and the
// Word 2003 and Excel 2003 XML documents. The archive is read with
// libzip through a source over the engine's stream callbacks; each XML
// member (or the flat file) is pushed in small pieces through libxml2's SAX
// parser, so memory stays bounded however large a member inflates. No
// network, no DTD loading, no entity expansion. The record streams of an
// XLSB workbook are split into records a piece at a time as well (xlsb.h).
#include <libxml/parser.h>
#include <zip.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "doctype/dx_abi.h"
#include "filters/dxfilter/bytes.h"
#include "filters/dxfilter/dx_module.h"
#include "filters/dxfilter/sniff.h"
#include "filters/dxfilter/xlsb.h"
#include "filters/dxfilter/xml_push.h"
#include "filters/dxfilter/zip_scan.h"

namespace {

constexpr size_t kPushBytes = 32 * 1024;     // compressed-side piece per step
constexpr size_t kMaxCellBytes = 64 * 1024;  // one spreadsheet cell or shared string
constexpr size_t kMaxSharedBytes = 32u << 20;
constexpr size_t kMaxSharedStrings = 1u << 20;
constexpr size_t kMaxSmallPart = 1u << 20;         // container.xml, OPF
constexpr zip_int64_t kMaxNamedEntries = 1 << 20;  // archive entries whose names tell XPS, iWork
constexpr zip_int64_t kMaxLenientEntries = 4096;   // archive entries looked at for a part's name
constexpr size_t kMaxPackageParts = 16384;         // parts of a flat package indexed
constexpr size_t kMaxPackageName = 512;  // bytes of a flat part's name or content type kept

// ---- libzip source over the engine's stream ----------------------------------

// The archive the source gives: the stream's first `cut` bytes, then
// `tail` (a rebuilt directory, see dxf::SalvageZipDirectory; empty when the
// stream is read whole).
struct StreamSource {
    StreamSource(DXStream *s, int64_t size) : stream(s), cut(size) {}
    DXStream *stream;
    int64_t pos = 0;
    zip_error_t error{};
    int64_t cut;
    std::string tail;
};

zip_int64_t source_callback(void *userdata, void *data, zip_uint64_t length, zip_source_cmd_t cmd) {
    auto *s = static_cast<StreamSource *>(userdata);
    switch (cmd) {
        case ZIP_SOURCE_OPEN:
            if (!s->stream->seek(s->stream, 0, DX_SEEK_SET)) {
                zip_error_set(&s->error, ZIP_ER_SEEK, 0);
                return -1;
            }
            s->pos = 0;
            return 0;
        case ZIP_SOURCE_READ: {
            // The stream's position is `pos` while `pos` is before the cut.
            const size_t want = length > INT_MAX ? INT_MAX : static_cast<size_t>(length);
            size_t done = 0;
            while (done < want && s->pos < s->cut) {
                const auto ask = static_cast<int>(
                    std::min<int64_t>(static_cast<int64_t>(want - done), s->cut - s->pos));
                int got = s->stream->read(s->stream, static_cast<char *>(data) + done, ask);
                if (got < 0) {
                    zip_error_set(&s->error, ZIP_ER_READ, 0);
                    return -1;
                }
                if (got == 0) break;
                done += static_cast<size_t>(got);
                s->pos += got;
            }
            if (done < want && s->pos >= s->cut) {
                const auto from = static_cast<size_t>(s->pos - s->cut);
                const size_t n =
                    from < s->tail.size() ? std::min(want - done, s->tail.size() - from) : 0;
                std::memcpy(static_cast<char *>(data) + done, s->tail.data() + from, n);
                done += n;
                s->pos += static_cast<int64_t>(n);
            }
            return static_cast<zip_int64_t>(done);
        }
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto *st = static_cast<zip_stat_t *>(data);
            zip_stat_init(st);
            st->size = static_cast<zip_uint64_t>(s->cut) + s->tail.size();
            st->valid |= ZIP_STAT_SIZE;
            return sizeof *st;
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&s->error, data, length);
        case ZIP_SOURCE_FREE:
            return 0;
        case ZIP_SOURCE_SEEK: {
            zip_int64_t to = zip_source_seek_compute_offset(
                static_cast<zip_uint64_t>(s->pos),
                static_cast<zip_uint64_t>(s->cut) + s->tail.size(), data, length, &s->error);
            if (to < 0) return -1;
            if (to < s->cut && !s->stream->seek(s->stream, to, DX_SEEK_SET)) {
                zip_error_set(&s->error, ZIP_ER_SEEK, 0);
                return -1;
            }
            s->pos = to;
            return 0;
        }
        case ZIP_SOURCE_TELL:
            return s->pos;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(
                ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL,
                ZIP_SOURCE_SUPPORTS, -1);
        default:
            zip_error_set(&s->error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

// An archive opened over a stream; owns its source record.
struct Archive {
    std::unique_ptr<StreamSource> source;
    zip_t *zip = nullptr;
    ~Archive() {
        if (zip) zip_discard(zip);
    }
};

// The archive over `source`; null when libzip cannot open it.
std::unique_ptr<Archive> open_source(std::unique_ptr<StreamSource> source) {
    auto a = std::make_unique<Archive>();
    a->source = std::move(source);
    zip_error_init(&a->source->error);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *src = zip_source_function_create(source_callback, a->source.get(), &error);
    if (src) a->zip = zip_open_from_source(src, ZIP_RDONLY, &error);
    zip_error_fini(&error);
    if (!a->zip) {
        if (src) zip_source_free(src);
        return nullptr;
    }
    return a;
}

// The archive of a stream; one whose directory is lost or damaged (a
// document cut short) is opened with the directory rebuilt from its local
// headers, of the entries that lie whole before the cut.
std::unique_ptr<Archive> open_archive(DXStream *stream, int64_t size) {
    if (auto a = open_source(std::make_unique<StreamSource>(stream, size))) return a;
    const dxf::ReadAtFn readAt = [stream](uint64_t at, void *buffer, size_t count) {
        if (!stream->seek(stream, static_cast<int64_t>(at), DX_SEEK_SET)) return false;
        for (size_t done = 0; done < count;) {
            const int got = stream->read(stream, static_cast<char *>(buffer) + done,
                                         static_cast<int>(std::min<size_t>(count - done, INT_MAX)));
            if (got <= 0) return false;
            done += static_cast<size_t>(got);
        }
        return true;
    };
    auto salvaged = dxf::SalvageZipDirectory(static_cast<uint64_t>(size), readAt);
    if (!salvaged) return nullptr;
    auto source = std::make_unique<StreamSource>(stream, size);
    source->cut = static_cast<int64_t>(salvaged->cut);
    source->tail = std::move(salvaged->directory);
    return open_source(std::move(source));
}

// The entry of the part `name`: the entry of that name, or else, in an
// archive of at most kMaxLenientEntries entries, the first that holds it by
// the package rules (dxf::SamePartName: another case, backslashes); -1 for
// none. The bound keeps a package that names many missing parts from
// costing entries times names.
zip_int64_t locate(zip_t *zip, std::string_view name) {
    const zip_int64_t exact = zip_name_locate(zip, std::string(name).c_str(), 0);
    if (exact >= 0) return exact;
    const zip_int64_t n = zip_get_num_entries(zip, 0);
    if (n > kMaxLenientEntries) return -1;
    for (zip_int64_t i = 0; i < n; ++i) {
        const char *entry = zip_get_name(zip, static_cast<zip_uint64_t>(i), 0);
        if (entry && dxf::SamePartName(entry, name)) return i;
    }
    return -1;
}

bool has_entry(zip_t *zip, const char *name) {
    return locate(zip, name) >= 0;
}

// Opens the part `name` (locate); null when there is none or it cannot be
// opened.
zip_file_t *open_entry(zip_t *zip, std::string_view name) {
    const zip_int64_t at = locate(zip, name);
    return at >= 0 ? zip_fopen_index(zip, static_cast<zip_uint64_t>(at), 0) : nullptr;
}

// Reads a small member whole; empty when missing or too large. A member
// that cannot be read to its end (damaged data, a checksum that does not
// hold) gives what could be read, and `whole` (when given) false.
std::string read_small(zip_t *zip, const std::string &name, size_t cap = kMaxSmallPart,
                       bool *whole = nullptr) {
    std::string out;
    if (whole) *whole = false;
    zip_file_t *f = open_entry(zip, name);
    if (!f) return out;
    char buffer[8192];
    for (;;) {
        zip_int64_t got = zip_fread(f, buffer, sizeof buffer);
        if (whole) *whole = got == 0;
        if (got <= 0) break;
        out.append(buffer, static_cast<size_t>(got));
        if (out.size() > cap) {
            out.clear();
            break;
        }
    }
    zip_fclose(f);
    return out;
}

// A layout of zip_scan.h with every entry name of the archive added.
template <typename Layout>
Layout LayoutOfNames(zip_t *zip) {
    Layout layout;
    const zip_int64_t n = std::min(zip_get_num_entries(zip, 0), kMaxNamedEntries);
    for (zip_int64_t i = 0; i < n; ++i)
        if (const char *name = zip_get_name(zip, static_cast<zip_uint64_t>(i), 0)) layout.Add(name);
    return layout;
}

// Whether the archive's entry names make the layout of `Layout`.
template <typename Layout>
bool FoundInNames(zip_t *zip) {
    return LayoutOfNames<Layout>(zip).Found();
}

// An XPS package, by the rule of the directory scan (zip_scan.h): root
// relationships that can be read decide, the layout otherwise.
bool is_xps(zip_t *zip) {
    zip_int64_t rels = zip_name_locate(zip, "_rels/.rels", ZIP_FL_NOCASE);
    if (rels >= 0) {
        const char *name = zip_get_name(zip, static_cast<zip_uint64_t>(rels), 0);
        std::string content = name ? read_small(zip, name, 64u << 10) : std::string();
        if (!content.empty()) return dxf::NamesXpsRepresentation(content);
    }
    return FoundInNames<dxf::XpsLayout>(zip);
}

// The value of the attribute `local` in the namespace `uri` (empty: in no
// namespace) among SAX2 attributes (localname, prefix, URI, value start,
// value end, for each).
std::string_view attribute_in(const xmlChar **attributes, int count, std::string_view local,
                              std::string_view uri) {
    for (int i = 0; i < count; ++i) {
        const xmlChar **a = attributes + 5 * i;
        const std::string_view in = a[2] ? reinterpret_cast<const char *>(a[2]) : "";
        if (reinterpret_cast<const char *>(a[0]) == local && in == uri)
            return {reinterpret_cast<const char *>(a[3]), static_cast<size_t>(a[4] - a[3])};
    }
    return {};
}

// The manifests of the two package families: an OpenDocument manifest, and
// the OpenOffice.org 1.x one it grew out of, which differs in its namespace
// alone. Each names the kinds of its own family.
struct ManifestFamily {
    std::string_view uri;
    int (*format)(std::string_view mediaType);
};
constexpr ManifestFamily kManifestFamilies[] = {
    {"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0", dxf::FormatFromOpenDocumentMime},
    {"http://openoffice.org/2001/manifest", dxf::FormatFromStarOfficeMime},
};

// The kind a package manifest's root entry names: the first
// `manifest:file-entry` whose `manifest:full-path` is "/" and whose
// `manifest:media-type` is not empty (both attributes of one family's
// manifest namespace, under any prefix), in a manifest that parses without
// an error to the end of its root element `manifest`.
class ManifestRoot {
  public:
    void Start(std::string_view local, const xmlChar **attributes, int count) {
        if (++depth_ == 1) manifest_ = local == "manifest";
        if (depth_ != 2 || !manifest_ || local != "file-entry" || family_) return;
        for (const ManifestFamily &family : kManifestFamilies) {
            if (attribute_in(attributes, count, "full-path", family.uri) != "/") continue;
            mediaType_ = attribute_in(attributes, count, "media-type", family.uri);
            if (!mediaType_.empty()) family_ = &family;
            return;
        }
    }
    void End() { ended_ = --depth_ == 0; }
    void Characters(std::string_view) {}
    bool full() const { return ended_; }
    bool root() const { return manifest_; }
    void Finish(bool wellFormed) { wellFormed_ = wellFormed; }
    // The root entry's kind as its family's `mimetype` entry would give it
    // (ODT, ODS, ODP, ODG); ZIP when the manifest names another media type,
    // has no root entry or is damaged.
    int Format() const {
        return family_ && manifest_ && ended_ && wellFormed_ ? family_->format(mediaType_)
                                                             : DX_FMT_ZIP;
    }

  private:
    int depth_ = 0;
    bool manifest_ = false, ended_ = false, wellFormed_ = false;
    const ManifestFamily *family_ = nullptr;
    std::string mediaType_;
};

// Walks the elements of a small part, read whole, with `handler`
// (xml_push.h: the handler's Finish tells whether it was well formed);
// false when the part is missing or cannot be read whole.
template <typename Handler>
bool read_elements_of(zip_t *zip, const std::string &name, Handler &handler) {
    bool whole = false;
    const std::string part = read_small(zip, name, kMaxSmallPart, &whole);
    return whole && dxf::ReadElements(part, handler, [] { return false; });
}

// The kind of an OpenDocument or OpenOffice.org 1.x package that has no
// `mimetype` entry, from its manifest's root entry (as a `mimetype` entry
// would give it: ODT, ODS, ODP, ODG); ZIP when the manifest is missing,
// damaged, cannot be read whole or names anything else. The package's
// entries are under `folder` (empty: the root).
int format_from_manifest(zip_t *zip, const std::string &folder) {
    ManifestRoot root;
    return read_elements_of(zip, folder + "META-INF/manifest.xml", root) ? root.Format()
                                                                         : DX_FMT_ZIP;
}

// The media type of an EPUB package document, as its container names it.
constexpr std::string_view kEpubPackageType = "application/oebps-package+xml";

// Whether an EPUB package's container names an EPUB package document: the
// first `rootfile` (in `rootfiles`, in the root element `container`) has
// the `media-type` "application/oebps-package+xml" and a `full-path` (the
// part an EPUB's text is read from), in a container that parses without an
// error to the end of its root element.
class ContainerRoot {
  public:
    void Start(std::string_view local, const xmlChar **attributes, int count) {
        ++depth_;
        if (depth_ == 1) container_ = local == "container";
        if (depth_ == 2) rootfiles_ = local == "rootfiles";
        if (depth_ != 3 || !container_ || !rootfiles_ || local != "rootfile" || seen_) return;
        seen_ = true;
        package_ = attribute_in(attributes, count, "media-type", "") == kEpubPackageType &&
                   !attribute_in(attributes, count, "full-path", "").empty();
    }
    void End() { ended_ = --depth_ == 0; }
    void Characters(std::string_view) {}
    bool full() const { return ended_; }
    bool root() const { return container_; }
    void Finish(bool wellFormed) { wellFormed_ = wellFormed; }
    bool NamesPackage() const { return container_ && ended_ && wellFormed_ && package_; }

  private:
    int depth_ = 0;
    bool container_ = false, rootfiles_ = false, seen_ = false, package_ = false;
    bool ended_ = false, wellFormed_ = false;
};

// EPUB for an archive without a `mimetype` entry whose container
// (`META-INF/container.xml`) names an EPUB package document, as zipping an
// EPUB's folder leaves it; ZIP when the container is missing, damaged,
// cannot be read whole or names anything else. The package's entries are
// under `folder` (empty: the root).
int format_from_container(zip_t *zip, const std::string &folder) {
    ContainerRoot root;
    if (!read_elements_of(zip, folder + "META-INF/container.xml", root)) return DX_FMT_ZIP;
    return root.NamesPackage() ? DX_FMT_EPUB : DX_FMT_ZIP;
}

// The content types of a Visio package's main part: a drawing, a template
// or a stencil, each with or without macros.
constexpr std::string_view kVisioMainTypes[] = {
    "application/vnd.ms-visio.drawing.main+xml",
    "application/vnd.ms-visio.drawing.macroEnabled.main+xml",
    "application/vnd.ms-visio.template.main+xml",
    "application/vnd.ms-visio.template.macroEnabled.main+xml",
    "application/vnd.ms-visio.stencil.main+xml",
    "application/vnd.ms-visio.stencil.macroEnabled.main+xml",
};

// The first `Override` of a package's content types (`[Content_Types].xml`,
// root element `Types`) whose part name and content type `match` takes;
// the walk ends there.
template <typename Match>
class ContentTypeOverride {
  public:
    explicit ContentTypeOverride(Match match) : match_(std::move(match)) {}
    void Start(std::string_view local, const xmlChar **attributes, int count) {
        if (++depth_ == 1) types_ = local == "Types";
        if (depth_ != 2 || !types_ || found_ || local != "Override") return;
        const std::string_view type = attribute_in(attributes, count, "ContentType", "");
        found_ = match_(attribute_in(attributes, count, "PartName", ""), type);
        if (found_) type_ = type;
    }
    void End() { ended_ = --depth_ == 0; }
    void Characters(std::string_view) {}
    bool full() const { return found_ || ended_; }
    bool root() const { return types_; }
    void Finish() {}
    bool Found() const { return found_; }
    // The content type of the override found; empty when there is none.
    const std::string &Type() const { return type_; }

  private:
    Match match_;
    std::string type_;
    int depth_ = 0;
    bool types_ = false, found_ = false, ended_ = false;
};

// The first content type override of a package that `match` takes (see
// ContentTypeOverride); empty when there is none or the content types
// cannot be read whole.
template <typename Match>
std::optional<std::string> content_type_override(zip_t *zip, Match match) {
    ContentTypeOverride<Match> types(std::move(match));
    if (!read_elements_of(zip, "[Content_Types].xml", types) || !types.Found()) return {};
    return types.Type();
}

// Whether an Office Open XML package is a Visio drawing, template or
// stencil, as its content types tell: an override gives a part one of the
// Visio main part's content types.
bool is_visio_package(zip_t *zip) {
    return content_type_override(zip,
                                 [](std::string_view, std::string_view type) {
                                     return std::ranges::find(kVisioMainTypes, type) !=
                                            std::end(kVisioMainTypes);
                                 })
        .has_value();
}

// The relationship type of a package's main part, in the transitional and
// the strict edition of Office Open XML.
constexpr std::string_view kMainPartRelationships[] = {
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument",
    "http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument",
};

// The relationship type of a slide's notes page, in the transitional and
// the strict edition of Office Open XML.
constexpr std::string_view kNotesSlideRelationships[] = {
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/notesSlide",
    "http://purl.oclc.org/ooxml/officeDocument/relationships/notesSlide",
};

// The placeholders of a slide or a notes page whose text is not the
// presentation's: the page number, the header, the footer and the date, and
// on a notes page the slide's image.
constexpr std::string_view kPlaceholdersSkipped[] = {"sldImg", "sldNum", "hdr", "ftr", "dt"};

// Whether a text field (`a:fld`) of this type is a page number or a date.
bool number_or_date_field(std::string_view type) {
    return type == "slidenum" || type.starts_with("datetime");
}

// The target of the first main part relationship of root relationships
// (root element `Relationships`) that is not external.
class MainPartRelationship {
  public:
    void Start(std::string_view local, const xmlChar **attributes, int count) {
        if (++depth_ == 1) relationships_ = local == "Relationships";
        if (depth_ != 2 || !relationships_ || !target_.empty() || local != "Relationship") return;
        const std::string_view type = attribute_in(attributes, count, "Type", "");
        if (std::ranges::find(kMainPartRelationships, type) != std::end(kMainPartRelationships) &&
            attribute_in(attributes, count, "TargetMode", "") != "External")
            target_ = attribute_in(attributes, count, "Target", "");
    }
    void End() { --depth_; }
    void Characters(std::string_view) {}
    bool full() const { return !target_.empty(); }
    bool root() const { return relationships_; }
    void Finish() {}
    const std::string &Target() const { return target_; }

  private:
    int depth_ = 0;
    bool relationships_ = false;
    std::string target_;
};

// The content types of a word processing document's main part: a document
// or a template, each with or without macros.
constexpr std::string_view kDocumentMainTypes[] = {
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml",
    "application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml",
    "application/vnd.ms-word.document.macroEnabled.main+xml",
    "application/vnd.ms-word.template.macroEnabledTemplate.main+xml",
};

std::string resolve(const std::string &base, std::string_view href);

// The entry of a word processing document's main part that is not
// `word/document.xml`, as packages written by other programs than Word may
// name it (`word/document2.xml`): the target of the root relationships'
// main part relationship, when the package has that entry and its content
// types give it a word processing document's type. Empty otherwise.
std::string renamed_document_part(zip_t *zip) {
    MainPartRelationship relationship;
    if (!read_elements_of(zip, "_rels/.rels", relationship) || relationship.Target().empty())
        return {};
    const std::string_view target = relationship.Target();
    std::string name = resolve("", target.starts_with('/') ? target.substr(1) : target);
    if (name.empty() || !has_entry(zip, name.c_str())) return {};
    // Its override (part names compared without regard to ASCII case, as the
    // package rules have it).
    const std::string partName = "/" + name;
    const auto type = content_type_override(
        zip, [&](std::string_view part, std::string_view) { return dxf::iequals(part, partName); });
    if (!type || std::ranges::find(kDocumentMainTypes, *type) == std::end(kDocumentMainTypes))
        return {};
    return name;
}

// Whether `uri` is the namespace `name` of the Hangul word processor's
// markup in any of its editions: `http://www.hancom.co.kr/hwpml/` (2011,
// and the 2016 additions) or `http://www.owpml.org/owpml/` (the later
// editions), the year, a slash and the name, as `.../2011/paragraph`.
bool hwpml_namespace(std::string_view uri, std::string_view name) {
    for (const std::string_view base :
         {"http://www.hancom.co.kr/hwpml/", "http://www.owpml.org/owpml/"}) {
        if (!uri.starts_with(base)) continue;
        const std::string_view year = uri.substr(base.size(), 4);
        return year.size() == 4 &&
               std::ranges::all_of(year, [](char c) { return c >= '0' && c <= '9'; }) &&
               uri.substr(base.size() + 4) == "/" + std::string(name);
    }
    return false;
}

// The root element of a part, from its first bytes: whether it is `local`
// in the markup namespace `name` (hwpml_namespace).
class HwpmlRoot {
  public:
    HwpmlRoot(std::string_view local, std::string_view name) : local_(local), name_(name) {}
    void Start(std::string_view local, std::string_view uri, const xmlChar **, int) {
        if (!seen_) found_ = local == local_ && hwpml_namespace(uri, name_);
        seen_ = true;
    }
    void End() {}
    void Characters(std::string_view) {}
    bool full() const { return seen_; }
    bool root() const { return seen_; }
    void Finish() {}
    bool Found() const { return found_; }

  private:
    std::string_view local_, name_;
    bool seen_ = false, found_ = false;
};

// Inflated bytes of a part read to find its root element: a section's
// namespace declarations come first, a few hundred bytes of them.
constexpr size_t kRootBytes = 16 * 1024;

// Whether the part `entry` opens with the root element `local` in the
// markup namespace `name`; false when it cannot be read.
bool has_hwpml_root(zip_t *zip, const std::string &entry, std::string_view local,
                    std::string_view name) {
    zip_file_t *f = open_entry(zip, entry);
    if (!f) return false;
    std::string head(kRootBytes, '\0');
    size_t got = 0;
    while (got < head.size()) {
        const zip_int64_t n = zip_fread(f, head.data() + got, head.size() - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    zip_fclose(f);
    head.resize(got);
    HwpmlRoot root(local, name);
    return dxf::ReadElements(head, root, [] { return false; }) && root.Found();
}

// A Hangul word processor package (HWPX) without its `mimetype` entry: its
// package file `Contents/content.hpf` and first section
// `Contents/section0.xml` together, or a `version.xml` whose root is
// `HCFVersion` in the markup's version namespace.
bool is_hwpx(zip_t *zip) {
    return (has_entry(zip, "Contents/content.hpf") && has_entry(zip, "Contents/section0.xml")) ||
           (has_entry(zip, "version.xml") &&
            has_hwpml_root(zip, "version.xml", "HCFVersion", "version"));
}

// Where an OpenDocument or EPUB package's entries are: empty for the root,
// else the folder of a package zipped as a folder, with its slash
// (zip_scan.h).
std::string package_folder(zip_t *zip) {
    return std::string(LayoutOfNames<dxf::PackageLayout>(zip).Folder());
}

// The kind of an OpenDocument or EPUB package whose entries are under
// `folder`, as its `mimetype` entry there tells it, or without one, its
// manifest or its container.
int package_format(zip_t *zip, const std::string &folder) {
    if (has_entry(zip, (folder + "mimetype").c_str()))
        return dxf::FormatFromPackageMime(read_small(zip, folder + "mimetype", 256));
    const int format = format_from_manifest(zip, folder);
    return format != DX_FMT_ZIP ? format : format_from_container(zip, folder);
}

int classify(zip_t *zip) {
    const bool mimetype = has_entry(zip, "mimetype");
    if (mimetype) {
        int format = dxf::FormatFromPackageMime(read_small(zip, "mimetype", 256));
        if (format != DX_FMT_ZIP) return format;
    }
    if (has_entry(zip, "[Content_Types].xml")) {
        if (has_entry(zip, "word/document.xml")) return DX_FMT_DOCX;
        if (has_entry(zip, "xl/workbook.xml")) return DX_FMT_XLSX;
        if (has_entry(zip, "ppt/presentation.xml")) return DX_FMT_PPTX;
        // A binary workbook is read as its XML twin is, and answers as it.
        if (has_entry(zip, "xl/workbook.bin")) return DX_FMT_XLSX;
        // Every Visio package names its main part so, as the directory scan
        // knows it.
        if (has_entry(zip, "visio/document.xml") && is_visio_package(zip)) return DX_FMT_VISIO;
        if (!renamed_document_part(zip).empty()) return DX_FMT_DOCX;
    }
    if (is_xps(zip)) return DX_FMT_XPS;
    if (FoundInNames<dxf::IworkLayout>(zip)) return DX_FMT_IWORK;
    if (mimetype) return DX_FMT_ZIP;
    const int format = package_format(zip, package_folder(zip));
    return format == DX_FMT_ZIP && is_hwpx(zip) ? DX_FMT_HWPX : format;
}

int probe_path(const char *path) {
    int error = 0;
    zip_t *zip = zip_open(path, ZIP_RDONLY, &error);
    if (!zip) return DX_FMT_UNKNOWN;
    int format = classify(zip);
    zip_discard(zip);
    return format;
}

int probe_stream(DXStream *stream, int64_t size) {
    auto archive = open_archive(stream, size);
    return archive ? classify(archive->zip) : DX_FMT_UNKNOWN;
}

// ---- member names -------------------------------------------------------------

// Of `names`, those that are `prefix` N `suffix`, in the order of N (slides,
// sheets).
std::vector<std::string> numbered_names(const std::vector<std::string_view> &names,
                                        std::string_view prefix, std::string_view suffix) {
    std::vector<std::pair<long, std::string>> found;
    for (const std::string_view s : names) {
        if (s.size() <= prefix.size() + suffix.size() ||
            !dxf::SamePartName(s.substr(0, prefix.size()), prefix) ||
            !dxf::SamePartName(s.substr(s.size() - suffix.size()), suffix))
            continue;
        std::string_view digits = s.substr(prefix.size(), s.size() - prefix.size() - suffix.size());
        if (digits.size() > 9 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        found.emplace_back(std::stol(std::string(digits)), std::string(s));
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> ordered;
    for (auto &f : found) ordered.push_back(std::move(f.second));
    return ordered;
}

// Members `prefix` N `suffix` in the order of N (slides, sheets).
std::vector<std::string> numbered_members(zip_t *zip, std::string_view prefix,
                                          std::string_view suffix) {
    std::vector<std::string_view> names;
    const zip_int64_t n = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < n; ++i)
        if (const char *name = zip_get_name(zip, static_cast<zip_uint64_t>(i), 0))
            names.emplace_back(name);
    return numbered_names(names, prefix, suffix);
}

// Resolves `href` against the directory `base` (ending in '/' or empty).
std::string resolve(const std::string &base, std::string_view href) {
    size_t cut = href.find_first_of("#?");
    std::string path = base + dxf::percent_decode(href.substr(0, cut));
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        std::string seg = path.substr(start, slash - start);
        if (seg == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!seg.empty() && seg != ".") {
            parts.push_back(seg);
        }
        start = slash + 1;
    }
    std::string out;
    for (auto &p : parts) out += (out.empty() ? "" : "/") + p;
    return out;
}

// ---- SAX handling ---------------------------------------------------------------

enum class PartKind {
    kDocx,           // word/document.xml
    kPptx,           // ppt/slides/slideN.xml
    kPptxNotes,      // ppt/notesSlides/notesSlideN.xml, a slide's notes page
    kSlideRels,      // a slide's relationships: its notes page (gathered)
    kXlsxShared,     // xl/sharedStrings.xml (gathered, not emitted)
    kXlsxSheet,      // xl/worksheets/sheetN.xml
    kXlsbShared,     // xl/sharedStrings.bin (gathered, not emitted)
    kXlsbSheet,      // xl/worksheets/sheetN.bin
    kXlsbOrder,      // workbook.bin: sheet order (gathered)
    kOdf,            // content.xml, or a flat OpenDocument file
    kXhtml,          // an EPUB content document
    kContainer,      // META-INF/container.xml (gathered)
    kOpf,            // the EPUB package document (gathered)
    kRels,           // a relationships part (gathered)
    kOrder,          // presentation.xml or workbook.xml: slide or sheet order (gathered)
    kXpsRels,        // an XPS package's root relationships (gathered)
    kXpsSeq,         // an XPS fixed document sequence (gathered)
    kXpsDoc,         // an XPS fixed document: its pages (gathered)
    kXpsPage,        // an XPS fixed page
    kHwpxMeta,       // a Hangul package's META-INF/manifest.xml: encryption (gathered)
    kHwpx,           // a Hangul package's section, Contents/sectionN.xml
    kPackageIndex,   // a flat package's parts: names, content types (gathered)
    kWordml,         // a Word 2003 XML document
    kSpreadsheetml,  // an Excel 2003 XML workbook
};

// Whether a part is a record stream rather than XML.
bool is_binary(PartKind kind) {
    return kind == PartKind::kXlsbShared || kind == PartKind::kXlsbSheet ||
           kind == PartKind::kXlsbOrder;
}

struct Part {
    std::string name;
    PartKind kind;
    // The archive entries that hold the part, in order (the pieces of an
    // interleaved part); empty: the entry called `name`.
    std::vector<zip_uint64_t> entries = {};
};

bool is(const xmlChar *name, const char *want) {
    return std::strcmp(reinterpret_cast<const char *>(name), want) == 0;
}

// Whether an element is `want` of the text namespace of OpenOffice.org 1.x
// documents, whose few names that OpenDocument changed mean what its own
// do: `text:tab-stop` a tab, `text:footnote-citation` and
// `text:endnote-citation` a note's mark (the notes themselves,
// `text:footnote` and `text:endnote` with their bodies, hold text as
// `text:note` does).
bool star_office_text(const xmlChar *local, const xmlChar *uri, const char *want) {
    return uri && is(local, want) && is(uri, "http://openoffice.org/2000/text");
}

// The namespaces of Office's flat packages, of Word 2003 XML documents, of
// the annotations (comments, tracked changes) in them, and of Excel 2003 XML
// workbooks.
constexpr char kPackageNamespace[] = "http://schemas.microsoft.com/office/2006/xmlPackage";
constexpr char kWordml2003Namespace[] = "http://schemas.microsoft.com/office/word/2003/wordml";
constexpr char kAnnotationNamespace[] = "http://schemas.microsoft.com/aml/2001/core";
constexpr char kSpreadsheetml2003Namespace[] = "urn:schemas-microsoft-com:office:spreadsheet";

bool in_namespace(const xmlChar *uri, const char *want) {
    return uri && is(uri, want);
}

// The elements of a Word 2003 XML document's body that hold no text of the
// document: pictures and field data in base64, field codes, paragraph and
// run properties (tab stops among them), and section properties with the
// headers, footers and note separators in them.
constexpr std::string_view kWordmlSkipped[] = {
    "binData", "fldData", "instrText", "pPr", "rPr", "sectPr", "footnotePr", "endnotePr",
};

bool wordml_skipped(const xmlChar *local) {
    return std::ranges::find(kWordmlSkipped, reinterpret_cast<const char *>(local)) !=
           std::end(kWordmlSkipped);
}

// Markup compatibility: an `mc:AlternateContent` holds the same content
// written more than once, as one or more `mc:Choice` for the producers that
// read newer markup and an `mc:Fallback` for the others (Word writes a text
// box as a DrawingML shape and again as a VML shape, both with the text).
constexpr char kMarkupCompatibility[] =
    "http://schemas.openxmlformats.org/markup-compatibility/2006";

// The source of a generated index: `text:table-of-content-source`,
// `text:bibliography-source`, `text:alphabetical-index-source` and the other
// `text:*-index-source` elements.
bool index_source(const xmlChar *local) {
    const std::string_view name = reinterpret_cast<const char *>(local);
    return name == "table-of-content-source" || name == "bibliography-source" ||
           (name.ends_with("-index-source") && name.size() > 13);
}

std::string attribute(int count, const xmlChar **attrs, const char *local) {
    // SAX2 attributes: localname, prefix, URI, value start, value end.
    for (int i = 0; i < count; ++i) {
        const xmlChar **a = attrs + 5 * i;
        if (is(a[0], local))
            return std::string(reinterpret_cast<const char *>(a[3]),
                               static_cast<size_t>(a[4] - a[3]));
    }
    return {};
}

// An attribute in the relationships namespace (r:id).
std::string relationship_attribute(int count, const xmlChar **attrs, const char *local) {
    constexpr std::string_view kSuffix = "/relationships";
    for (int i = 0; i < count; ++i) {
        const xmlChar **a = attrs + 5 * i;
        std::string_view uri = a[2] ? reinterpret_cast<const char *>(a[2]) : "";
        if (is(a[0], local) && uri.size() >= kSuffix.size() &&
            uri.substr(uri.size() - kSuffix.size()) == kSuffix)
            return std::string(reinterpret_cast<const char *>(a[3]),
                               static_cast<size_t>(a[4] - a[3]));
    }
    return {};
}

constexpr std::string_view kXhtmlBlocks[] = {
    "address",    "article", "aside", "blockquote", "br",      "caption", "dd", "div",   "dt",
    "figcaption", "footer",  "h1",    "h2",         "h3",      "h4",      "h5", "h6",    "header",
    "hr",         "li",      "p",     "pre",        "section", "td",      "th", "title", "tr",
};

bool xhtml_block(const xmlChar *name) {
    std::string_view n(reinterpret_cast<const char *>(name));
    return std::find(std::begin(kXhtmlBlocks), std::end(kXhtmlBlocks), n) != std::end(kXhtmlBlocks);
}

// ---- XPS ------------------------------------------------------------------------

// The text of a glyph run's UnicodeString: a value that starts with "{}"
// is the rest of it ("{}" lets a text start with a brace); any other value
// that starts with '{' is a markup extension, not text.
std::string_view xps_glyph_text(std::string_view unicodeString) {
    if (unicodeString.starts_with("{}")) return unicodeString.substr(2);
    if (unicodeString.starts_with("{")) return {};
    return unicodeString;
}

// The key of a part in an XPS package: its name with percent escapes
// decoded (by resolve, or by xps_entry_key) and ASCII letters in lower case,
// as part names compare without case.
std::string xps_key(std::string_view name) {
    return dxf::ascii_lowered(name);
}

// The key of the part an archive entry holds.
std::string xps_entry_key(std::string_view entryName, long *piece, bool *last) {
    return xps_key(resolve("", dxf::PartNameOf(entryName, piece, last)));
}

// The parts of an XPS package by key: a whole entry, or the pieces of an
// interleaved part when they run from [0] to a last piece without a gap.
class XpsNames {
  public:
    explicit XpsNames(zip_t *zip) {
        const zip_int64_t n = std::min(zip_get_num_entries(zip, 0), kMaxNamedEntries);
        for (zip_int64_t i = 0; i < n; ++i) {
            const char *name = zip_get_name(zip, static_cast<zip_uint64_t>(i), 0);
            if (!name) continue;
            long piece = -1;
            bool last = false;
            const std::string key = xps_entry_key(name, &piece, &last);
            if (piece < 0)
                whole_.emplace(key, static_cast<zip_uint64_t>(i));
            else if (pieces_[key].size() < kMaxPieces)
                pieces_[key].push_back({piece, last, static_cast<zip_uint64_t>(i)});
        }
    }

    // The entries of the part called `key` (xps_key); empty when it is missing.
    std::vector<zip_uint64_t> Entries(const std::string &key) const {
        if (auto it = whole_.find(key); it != whole_.end()) return {it->second};
        auto it = pieces_.find(key);
        if (it == pieces_.end()) return {};
        std::vector<Piece> sorted = it->second;
        std::sort(sorted.begin(), sorted.end(),
                  [](const Piece &a, const Piece &b) { return a.number < b.number; });
        std::vector<zip_uint64_t> entries;
        for (size_t i = 0; i < sorted.size(); ++i) {
            if (sorted[i].number != static_cast<long>(i)) return {};
            entries.push_back(sorted[i].entry);
            if (sorted[i].last)
                return i + 1 == sorted.size() ? entries : std::vector<zip_uint64_t>{};
        }
        return {};  // no last piece
    }

    // The first part (in archive order of its first entry) whose key ends in `suffix`.
    std::string FirstEndingIn(std::string_view suffix) const {
        std::string best;
        zip_uint64_t bestEntry = UINT64_MAX;
        auto consider = [&](const std::string &key, zip_uint64_t entry) {
            if (key.ends_with(suffix) && entry < bestEntry) best = key, bestEntry = entry;
        };
        for (const auto &[key, entry] : whole_) consider(key, entry);
        for (const auto &[key, pieces] : pieces_)
            for (const Piece &p : pieces) consider(key, p.entry);
        return best;
    }

  private:
    static constexpr size_t kMaxPieces = 4096;
    struct Piece {
        long number;
        bool last;
        zip_uint64_t entry;
    };
    std::map<std::string, zip_uint64_t> whole_;
    std::map<std::string, std::vector<Piece>> pieces_;
};

class OfficeExtractor {
  public:
    OfficeExtractor(std::unique_ptr<Archive> archive, int format, const DXMLimits &limits)
        : archive_(std::move(archive)), format_(format), limits_(limits) {}
    // A flat file (an OpenDocument file, a flat package, a Word or Excel
    // 2003 XML document), read from `stream` itself.
    OfficeExtractor(DXStream *stream, int format, const DXMLimits &limits)
        : format_(format), limits_(limits), flat_(stream) {}
    ~OfficeExtractor() { ClosePart(); }

    bool Plan();
    int Step(DXMSink *sink);

    // SAX callbacks.
    void Start(const xmlChar *local, const xmlChar *uri, int nAttrs, const xmlChar **attrs);
    void End(const xmlChar *local, const xmlChar *uri);
    void Characters(const xmlChar *text, int length);

  private:
    bool OpenPart(const Part &part, bool chain = false);
    void ClosePart();
    void ResetElements();
    void DocxStart(const xmlChar *local);
    void DocxEnd(const xmlChar *local);
    void WordmlStart(const xmlChar *local, const xmlChar *uri, int nAttrs, const xmlChar **attrs);
    void SpreadsheetmlStart(const xmlChar *local, const xmlChar *uri, int nAttrs,
                            const xmlChar **attrs);
    void SpreadsheetmlEnd(const xmlChar *local, const xmlChar *uri);
    bool HasPart(const std::string &name);
    bool PushPiece();
    bool RunWhole(const Part &part);  // parse a gathered part in one go
    bool Reading() const { return parser_ || records_; }
    bool Record(uint32_t type, std::string_view body);  // one record of a binary part
    bool Wants(uint32_t type) const;                    // whether Record reads the type
    void AddShared(std::string text);
    zip_int64_t Read(char *buffer, size_t size);
    void Emit(std::string_view text) {
        if (sink_ && !full_ && sink_->text(sink_->self, text.data(), text.size())) full_ = true;
    }
    void Break() {
        if (sink_) sink_->brk(sink_->self);
    }

    std::unique_ptr<Archive> archive_;
    int format_;
    DXMLimits limits_;
    DXStream *flat_ = nullptr;  // the flat file, when there is no archive
    std::vector<Part> parts_;
    size_t next_ = 0;
    uint64_t totalBytes_ = 0;
    DXMSink *sink_ = nullptr;
    bool full_ = false;

    // The member being parsed (a parser while there is one).
    zip_file_t *file_ = nullptr;
    xmlParserCtxtPtr parser_ = nullptr;
    std::optional<dxf::Biff12Records> records_;  // instead of a parser, for a binary part
    PartKind kind_ = PartKind::kDocx;
    uint64_t partBytes_ = 0;

    // Element state.
    int textDepth_ = 0;  // inside elements whose character data is text
    int skipDepth_ = 0;  // inside elements whose text is dropped
    bool inBody_ = false;
    std::string cell_;  // the current cell, shared string or value
    std::string cellType_;
    bool inValue_ = false;
    bool inPhonetic_ = false;
    bool shapeSkipped_ = false;  // in a slide's or notes page's shape whose text is not read
    // One entry per open `mc:AlternateContent`: whether one of its
    // alternatives has been read (the others are then skipped).
    std::vector<bool> alternativeRead_;
    std::vector<std::string> shared_;
    size_t sharedBytes_ = 0;

    // EPUB package.
    std::string packageFile_, rootFile_;  // from an EPUB's container
    std::map<std::string, std::string> manifest_;
    std::vector<std::string> spine_;

    // OOXML slide and sheet order.
    std::map<std::string, std::string> relations_;
    std::vector<std::string> order_;
    std::vector<std::string> OrderedMembers(const std::string &dir, const std::string &main);
    void AddSlides(const std::vector<std::string> &slides);
    std::string notesTarget_;  // of a slide's relationships (kSlideRels)

    // A flat package (`pkg:package`): one XML document whose `pkg:part`
    // elements are the parts, each XML part's markup in its `pkg:xmlData`.
    // A pass reads the file from its start and hands the markup of the part
    // it looks for (`target_`) to the part's handler, then of the planned
    // parts that follow it in the file, and stops before the first that does
    // not: parts in the file's order take one pass.
    bool PlanPackage();
    bool PackageStart(const xmlChar *local, const xmlChar *uri, int nAttrs, const xmlChar **attrs);
    bool PackageEnd(const xmlChar *local, const xmlChar *uri);
    void PackageTargetEnded();
    std::optional<size_t> PackagePart(const std::string &name) const;
    bool package_ = false;        // the flat file is a package
    int packageDepth_ = 0;        // elements open in the file
    bool packageRoot_ = false;    // its root is `pkg:package`
    bool inPackagePart_ = false;  // a `pkg:part` is open
    size_t packagePart_ = 0;      // the parts begun so far in this pass
    size_t target_ = SIZE_MAX;    // the number (from 1) of the part read in this pass
    int dataDepth_ = 0;           // packageDepth_ of the target's `pkg:xmlData`; 0 outside
    bool chain_ = false;          // the pass goes on with the planned parts after the target
    struct PackageEntry {
        std::string name;  // without its leading slash
        std::string type;  // its content type
        bool xml = false;  // it holds XML (`pkg:xmlData`), not base64
    };
    std::vector<PackageEntry> packageParts_;      // in the file's order (kPackageIndex)
    std::map<std::string, size_t> packageIndex_;  // XML parts by ascii_lowered name
    bool stopped_ = false;                        // the pass has read what it was for

    // Hangul package (HWPX).
    bool PlanHwpx();
    void HwpxStart(std::string_view local, std::string_view uri);
    void HwpxEnd(std::string_view local, std::string_view uri);
    int depth_ = 0;           // elements open in the part
    bool encrypted_ = false;  // the manifest gives a part encryption data

    // XPS package.
    bool PlanXps();
    bool ReadsWhole(const Part &part);
    void XpsGlyphs(int nAttrs, const xmlChar **attrs);
    std::vector<std::string> xpsLinks_;  // representation, documents or pages of a gathered part
    bool partFailed_ = false;            // the member being read could not be inflated
    std::vector<zip_uint64_t> pieces_;   // the entries of the member being read
    size_t piece_ = 0;                   // the next of them
    bool lineHasText_ = false;           // a glyph run gave text on this page
    double lineY_ = 0;                   // the baseline of the page's last run with text
};

// The members that `dir` + `main` lists in its order, through its
// relationships; empty when the package does not say.
std::vector<std::string> OfficeExtractor::OrderedMembers(const std::string &dir,
                                                         const std::string &main) {
    RunWhole({dir + "_rels/" + main + ".rels", PartKind::kRels});
    RunWhole({dir + main, main.ends_with(".bin") ? PartKind::kXlsbOrder : PartKind::kOrder});
    std::vector<std::string> names;
    for (const auto &id : order_) {
        auto it = relations_.find(id);
        if (it == relations_.end() || it->second.empty()) continue;
        std::string name =
            it->second[0] == '/' ? resolve("", it->second.substr(1)) : resolve(dir, it->second);
        if (HasPart(name)) names.push_back(name);
    }
    return names;
}

// Each slide, then its notes page: the part the slide's relationships name
// as its notes slide, when the package has it and no slide before named it.
// A notes page that cannot be read ends early or gives nothing; the slides
// are read all the same.
void OfficeExtractor::AddSlides(const std::vector<std::string> &slides) {
    std::set<std::string> notes;
    for (const auto &slide : slides) {
        if (parts_.size() >= limits_.maxParts) break;
        parts_.push_back({slide, PartKind::kPptx});
        if (DXM_CpuNs() > limits_.deadlineNs) continue;
        const size_t file = slide.rfind('/') + 1;  // 0 without a folder
        const std::string dir = slide.substr(0, file);
        notesTarget_.clear();
        RunWhole({dir + "_rels/" + slide.substr(file) + ".rels", PartKind::kSlideRels});
        if (notesTarget_.empty()) continue;
        std::string name = notesTarget_[0] == '/' ? resolve("", notesTarget_.substr(1))
                                                  : resolve(dir, notesTarget_);
        if (!name.empty() && HasPart(name) && notes.insert(dxf::ascii_lowered(name)).second &&
            parts_.size() < limits_.maxParts)
            parts_.push_back({name, PartKind::kPptxNotes});
    }
}

void sax_start(void *ctx, const xmlChar *local, const xmlChar *, const xmlChar *uri, int,
               const xmlChar **, int nAttrs, int, const xmlChar **attrs) {
    static_cast<OfficeExtractor *>(ctx)->Start(local, uri, nAttrs, attrs);
}
void sax_end(void *ctx, const xmlChar *local, const xmlChar *, const xmlChar *uri) {
    static_cast<OfficeExtractor *>(ctx)->End(local, uri);
}
void sax_characters(void *ctx, const xmlChar *text, int length) {
    static_cast<OfficeExtractor *>(ctx)->Characters(text, length);
}

void OfficeExtractor::Start(const xmlChar *local, const xmlChar *uri, int nAttrs,
                            const xmlChar **attrs) {
    if (package_ && !PackageStart(local, uri, nAttrs, attrs)) return;
    ++depth_;
    if (skipDepth_ > 0) {
        ++skipDepth_;
        return;
    }
    if ((kind_ == PartKind::kDocx || kind_ == PartKind::kPptx || kind_ == PartKind::kPptxNotes) &&
        in_namespace(uri, kMarkupCompatibility)) {
        // The first alternative is read: a text extractor understands every
        // markup a choice may require.
        if (is(local, "AlternateContent")) {
            alternativeRead_.push_back(false);
        } else if ((is(local, "Choice") || is(local, "Fallback")) && !alternativeRead_.empty()) {
            if (alternativeRead_.back())
                skipDepth_ = 1;
            else
                alternativeRead_.back() = true;
        }
        return;
    }
    switch (kind_) {
        case PartKind::kDocx:
            DocxStart(local);
            break;
        case PartKind::kWordml:
            WordmlStart(local, uri, nAttrs, attrs);
            break;
        case PartKind::kSpreadsheetml:
            SpreadsheetmlStart(local, uri, nAttrs, attrs);
            break;
        case PartKind::kPptx:
        case PartKind::kPptxNotes:
            // A slide, or a notes page (root `notes`; not the notes master,
            // nor the handout master): the text of its shapes, but for those
            // of the placeholders that hold no text of the presentation
            // (kPlaceholdersSkipped, named in the shape's properties before
            // its text) and for the page number and date fields, of these
            // and of text boxes that stand in for them. Headers and footers
            // are no document's text, and numbers and dates carry no language.
            if (kind_ == PartKind::kPptxNotes && depth_ == 1 && !is(local, "notes"))
                skipDepth_ = 1;
            else if (is(local, "ph") &&
                     std::ranges::find(kPlaceholdersSkipped, attribute(nAttrs, attrs, "type")) !=
                         std::end(kPlaceholdersSkipped))
                shapeSkipped_ = true;
            else if (is(local, "fld") && number_or_date_field(attribute(nAttrs, attrs, "type")))
                skipDepth_ = 1;
            else if (is(local, "t"))
                ++textDepth_;
            else if (is(local, "br") && !shapeSkipped_)
                Break();
            break;
        case PartKind::kSlideRels:
            if (is(local, "Relationship") && notesTarget_.empty() &&
                std::ranges::find(kNotesSlideRelationships, attribute(nAttrs, attrs, "Type")) !=
                    std::end(kNotesSlideRelationships) &&
                attribute(nAttrs, attrs, "TargetMode") != "External")
                notesTarget_ = attribute(nAttrs, attrs, "Target");
            break;
        case PartKind::kXlsxShared:
            if (is(local, "si"))
                cell_.clear();
            else if (is(local, "rPh"))
                inPhonetic_ = true;
            else if (is(local, "t") && !inPhonetic_)
                inValue_ = true;
            break;
        case PartKind::kXlsxSheet:
            if (is(local, "c")) {
                cell_.clear();
                cellType_ = attribute(nAttrs, attrs, "t");
            } else if (is(local, "v") || is(local, "t")) {
                inValue_ = true;
            }
            break;
        case PartKind::kOdf:
            if (is(local, "body"))
                inBody_ = true;
            else if (!inBody_)
                break;
            else if (is(local, "tab") || is(local, "s") || star_office_text(local, uri, "tab-stop"))
                Emit(" ");
            else if (is(local, "p") || is(local, "h") || is(local, "title") || is(local, "desc"))
                // A paragraph starts a line: that of a text box or a shape
                // anchored within a paragraph, and a frame's caption, must not
                // run into the word before the anchor.
                Break();
            else if (is(local, "line-break") || is(local, "note-body") ||
                     star_office_text(local, uri, "footnote-body") ||
                     star_office_text(local, uri, "endnote-body"))
                // A note's text, read where its mark stands, starts a line of its
                // own: it must not run into the word the mark follows.
                Break();
            else if (is(local, "table-cell") && !attribute(nAttrs, attrs, "value-type").empty() &&
                     attribute(nAttrs, attrs, "value-type") != "string")
                // Numbers, dates and truth values carry no language.
                skipDepth_ = 1;
            else if (is(local, "note-citation") || is(local, "tracked-changes") ||
                     is(local, "annotation") || star_office_text(local, uri, "footnote-citation") ||
                     star_office_text(local, uri, "endnote-citation"))
                // Note marks, deleted text and comments are not the document's text.
                skipDepth_ = 1;
            else if (index_source(local))
                // The templates a table of contents or an index is made from
                // (its title's and entries' patterns), not its text.
                skipDepth_ = 1;
            else if (is(local, "binary-data") || is(local, "object") || is(local, "object-ole"))
                // Pictures in base64, and embedded objects (charts, formulas), which
                // a flat file holds inline and a package as parts of their own.
                skipDepth_ = 1;
            break;
        case PartKind::kXhtml:
            if (is(local, "body"))
                inBody_ = true;
            else if (is(local, "script") || is(local, "style"))
                skipDepth_ = 1;
            else if (inBody_ && xhtml_block(local))
                Break();
            break;
        case PartKind::kContainer:
            // The book is the first rootfile that is a package document;
            // other renditions (a PDF) may come before it. Without one, the
            // first rootfile whatever its type, as loose containers name it.
            if (is(local, "rootfile") && packageFile_.empty()) {
                std::string path = attribute(nAttrs, attrs, "full-path");
                if (attribute(nAttrs, attrs, "media-type") == kEpubPackageType)
                    packageFile_ = path;
                else if (rootFile_.empty())
                    rootFile_ = std::move(path);
            }
            break;
        case PartKind::kRels:
            if (is(local, "Relationship") && relations_.size() < limits_.maxParts)
                relations_[attribute(nAttrs, attrs, "Id")] = attribute(nAttrs, attrs, "Target");
            break;
        case PartKind::kOrder:
            if ((is(local, "sldId") || is(local, "sheet")) && order_.size() < limits_.maxParts)
                order_.push_back(relationship_attribute(nAttrs, attrs, "id"));
            break;
        case PartKind::kOpf:
            if (is(local, "item") && manifest_.size() < limits_.maxParts)
                manifest_[attribute(nAttrs, attrs, "id")] = attribute(nAttrs, attrs, "href");
            else if (is(local, "itemref") && spine_.size() < limits_.maxParts)
                spine_.push_back(attribute(nAttrs, attrs, "idref"));
            break;
        case PartKind::kXpsRels:
            if (is(local, "Relationship") && xpsLinks_.empty() &&
                dxf::NamesXpsRepresentation(attribute(nAttrs, attrs, "Type")))
                xpsLinks_.push_back(attribute(nAttrs, attrs, "Target"));
            break;
        case PartKind::kXpsSeq:
            if (is(local, "DocumentReference") && xpsLinks_.size() < limits_.maxParts)
                xpsLinks_.push_back(attribute(nAttrs, attrs, "Source"));
            break;
        case PartKind::kXpsDoc:
            if (is(local, "PageContent") && xpsLinks_.size() < limits_.maxParts)
                xpsLinks_.push_back(attribute(nAttrs, attrs, "Source"));
            break;
        case PartKind::kXpsPage:
            // Glyph runs anywhere in the page: in canvases, nested or not,
            // and in the visuals of brushes; everything else draws no text.
            if (is(local, "Glyphs")) XpsGlyphs(nAttrs, attrs);
            break;
        case PartKind::kHwpxMeta:
            if (is(local, "encryption-data") && uri &&
                is(uri, "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"))
                encrypted_ = true;
            break;
        case PartKind::kHwpx:
            HwpxStart(reinterpret_cast<const char *>(local),
                      uri ? reinterpret_cast<const char *>(uri) : "");
            break;
        case PartKind::kXlsbShared:
        case PartKind::kXlsbSheet:
        case PartKind::kXlsbOrder:
            break;  // records, not XML (Record)
        case PartKind::kPackageIndex:
            break;  // the package's own elements (PackageStart)
    }
}

// An element of a word processing document's part: the text is the
// character data of `t` elements; a tab gives a space, a break ends a line.
void OfficeExtractor::DocxStart(const xmlChar *local) {
    if (is(local, "t"))
        ++textDepth_;
    else if (is(local, "tab"))
        Emit(" ");
    else if (is(local, "br") || is(local, "cr") || is(local, "txbxContent"))
        // A text box anchored within a paragraph starts a line of its
        // own: its text must not run into the word before its anchor.
        Break();
}

// A paragraph and a table cell end a line.
void OfficeExtractor::DocxEnd(const xmlChar *local) {
    if (is(local, "t"))
        --textDepth_;
    else if (is(local, "p") || is(local, "tc"))
        Break();
}

// An element of a Word 2003 XML document: in its body (`w:body`), the
// elements of the word processing namespace are read as a DOCX part's
// (DocxStart), but for those that hold no text (kWordmlSkipped). A note
// (`w:footnote`, `w:endnote`, within the run of its mark) and a text box's
// content (`w:txbxContent`) are read where they stand, on lines of their
// own. Deleted text and comments (`aml:annotation` of the types
// `Word.Deletion` and `Word.Comment`) are not the document's text; the
// document's properties, settings, fonts, styles and lists lie outside the
// body.
void OfficeExtractor::WordmlStart(const xmlChar *local, const xmlChar *uri, int nAttrs,
                                  const xmlChar **attrs) {
    if (in_namespace(uri, kAnnotationNamespace)) {
        if (inBody_ && is(local, "annotation")) {
            const std::string type = attribute(nAttrs, attrs, "type");
            if (type == "Word.Deletion" || type == "Word.Comment") skipDepth_ = 1;
        }
        return;
    }
    if (!in_namespace(uri, kWordml2003Namespace)) return;
    if (is(local, "body")) {
        inBody_ = true;
    } else if (!inBody_) {
        return;
    } else if (wordml_skipped(local)) {
        skipDepth_ = 1;
    } else {
        if (is(local, "footnote") || is(local, "endnote")) Break();
        DocxStart(local);
    }
}

// An element of an Excel 2003 XML workbook: each cell (`Cell`, in the
// worksheets' tables in order, row by row) ends a line, with the text of its
// `Data` when that is a string (`ss:Type="String"`; a rich string's HTML
// elements give their text); numbers, dates, truth values and errors carry
// no language. Comments are not the cells' text; the document's properties
// and settings hold no cells.
void OfficeExtractor::SpreadsheetmlStart(const xmlChar *local, const xmlChar *uri, int nAttrs,
                                         const xmlChar **attrs) {
    if (inValue_ || !in_namespace(uri, kSpreadsheetml2003Namespace)) return;
    if (is(local, "Cell")) {
        inBody_ = true;
        cell_.clear();
        cellType_.clear();
    } else if (is(local, "Comment")) {
        skipDepth_ = 1;
    } else if (inBody_ && is(local, "Data")) {
        cellType_ = attribute(nAttrs, attrs, "Type");
        inValue_ = true;
    }
}

void OfficeExtractor::SpreadsheetmlEnd(const xmlChar *local, const xmlChar *uri) {
    if (!in_namespace(uri, kSpreadsheetml2003Namespace)) return;
    if (is(local, "Data")) {
        inValue_ = false;
    } else if (is(local, "Cell") && inBody_) {
        inBody_ = false;
        if (cellType_ == "String") Emit(cell_);
        Break();
    }
}

// An element of a flat package, in a pass that reads the part `target_` (or
// indexes the package's parts: kPackageIndex): whether it lies in the
// markup of the part the pass reads and goes to the part's handler.
bool OfficeExtractor::PackageStart(const xmlChar *local, const xmlChar *uri, int nAttrs,
                                   const xmlChar **attrs) {
    ++packageDepth_;
    if (dataDepth_ > 0) return true;
    const bool package = in_namespace(uri, kPackageNamespace);
    if (packageDepth_ == 1) packageRoot_ = package && is(local, "package");
    if (!packageRoot_ || !package) return false;
    if (packageDepth_ == 2 && is(local, "part")) {
        inPackagePart_ = true;
        ++packagePart_;
        if (kind_ == PartKind::kPackageIndex && packageParts_.size() < kMaxPackageParts) {
            std::string_view name = attribute_in(attrs, nAttrs, "name", kPackageNamespace);
            if (name.starts_with('/')) name.remove_prefix(1);
            const std::string_view type =
                attribute_in(attrs, nAttrs, "contentType", kPackageNamespace);
            packageParts_.push_back({std::string(name.substr(0, kMaxPackageName)),
                                     std::string(type.substr(0, kMaxPackageName))});
        }
    } else if (packageDepth_ == 3 && inPackagePart_ && is(local, "xmlData")) {
        if (kind_ == PartKind::kPackageIndex && packagePart_ <= packageParts_.size())
            packageParts_[packagePart_ - 1].xml = true;
        if (packagePart_ == target_) {
            dataDepth_ = packageDepth_;
            ResetElements();
        }
    }
    return false;
}

bool OfficeExtractor::PackageEnd(const xmlChar *, const xmlChar *) {
    if (dataDepth_ > 0 && packageDepth_ > dataDepth_) {
        --packageDepth_;
        return true;
    }
    if (packageDepth_ == dataDepth_) dataDepth_ = 0;
    if (packageDepth_ == 2 && inPackagePart_) {
        inPackagePart_ = false;
        if (packagePart_ == target_) PackageTargetEnded();
    }
    --packageDepth_;
    return false;
}

// The part a pass reads has ended: the pass reads the next planned part
// too when it lies further on in the file, and stops otherwise (the next
// pass starts from the file's start).
void OfficeExtractor::PackageTargetEnded() {
    if (chain_ && next_ < parts_.size()) {
        const auto at = PackagePart(parts_[next_].name);
        if (at && *at + 1 > packagePart_) {
            target_ = *at + 1;
            kind_ = parts_[next_++].kind;
            // Each slide and sheet ends a line of its own (as Step has it).
            Break();
            return;
        }
    }
    target_ = SIZE_MAX;
    stopped_ = true;
    xmlStopParser(parser_);
}

// The number (from 0, in the file's order) of a flat package's XML part
// called `name` (without its leading slash; compared ignoring ASCII case).
std::optional<size_t> OfficeExtractor::PackagePart(const std::string &name) const {
    const auto it = packageIndex_.find(dxf::ascii_lowered(name));
    if (it == packageIndex_.end()) return std::nullopt;
    return it->second;
}

bool OfficeExtractor::HasPart(const std::string &name) {
    return package_ ? PackagePart(name).has_value() : has_entry(archive_->zip, name.c_str());
}

// An element of a section: the root must be `sec` of the section namespace.
// A paragraph (`p`), nested or not, starts and ends a line: the paragraphs
// of a table's cells, a text box or a note come where their anchor stands,
// a line each, and the text of the paragraph around them goes on after
// them on a line of its own. The text is the character data of `t`
// elements, in which a line break ends a line, a tab and the non-breaking
// and fixed-width spaces give a space and a hyphen '-'; the marks of
// highlighting, title marks and tracked changes give nothing.
void OfficeExtractor::HwpxStart(std::string_view local, std::string_view uri) {
    if (depth_ == 1) inBody_ = local == "sec" && hwpml_namespace(uri, "section");
    if (!inBody_ || !hwpml_namespace(uri, "paragraph")) return;
    if (local == "p")
        Break();
    else if (local == "t")
        ++textDepth_;
    else if (textDepth_ == 0)
        return;
    else if (local == "lineBreak")
        Break();
    else if (local == "tab" || local == "nbSpace" || local == "fwSpace")
        Emit(" ");
    else if (local == "hyphen")
        Emit("-");
}

void OfficeExtractor::HwpxEnd(std::string_view local, std::string_view uri) {
    if (!inBody_ || !hwpml_namespace(uri, "paragraph")) return;
    if (local == "p")
        Break();
    else if (local == "t" && textDepth_ > 0)
        --textDepth_;
}

// One glyph run: its text, on the line of the previous run when it shares
// its baseline (OriginY), on a new line otherwise.
void OfficeExtractor::XpsGlyphs(int nAttrs, const xmlChar **attrs) {
    const std::string value = attribute(nAttrs, attrs, "UnicodeString");
    const std::string_view text = xps_glyph_text(value);
    if (text.empty()) return;
    const std::string origin = attribute(nAttrs, attrs, "OriginY");
    double y = NAN;
    const char *first = origin.data(), *last = origin.data() + origin.size();
    while (first < last && (*first == ' ' || *first == '+')) ++first;
    if (std::from_chars(first, last, y).ec != std::errc()) y = NAN;
    if (lineHasText_ && !(y == lineY_)) Break();
    lineHasText_ = true;
    lineY_ = y;
    Emit(text);
}

void OfficeExtractor::End(const xmlChar *local, const xmlChar *uri) {
    if (package_ && !PackageEnd(local, uri)) return;
    --depth_;
    if (skipDepth_ > 0) {
        --skipDepth_;
        return;
    }
    if (is(local, "AlternateContent") && in_namespace(uri, kMarkupCompatibility) &&
        !alternativeRead_.empty()) {
        alternativeRead_.pop_back();
        return;
    }
    switch (kind_) {
        case PartKind::kDocx:
            DocxEnd(local);
            break;
        case PartKind::kWordml:
            if (!in_namespace(uri, kWordml2003Namespace)) break;
            if (is(local, "body"))
                inBody_ = false;
            else if (inBody_)
                DocxEnd(local);
            break;
        case PartKind::kSpreadsheetml:
            SpreadsheetmlEnd(local, uri);
            break;
        case PartKind::kPptx:
        case PartKind::kPptxNotes:
            if (is(local, "t"))
                --textDepth_;
            else if (is(local, "p") && !shapeSkipped_)
                Break();
            else if (is(local, "sp") || is(local, "pic") || is(local, "graphicFrame") ||
                     is(local, "cxnSp"))
                shapeSkipped_ = false;
            break;
        case PartKind::kXlsxShared:
            if (is(local, "rPh"))
                inPhonetic_ = false;
            else if (is(local, "t"))
                inValue_ = false;
            else if (is(local, "si")) {
                AddShared(cell_);
            }
            break;
        case PartKind::kXlsxSheet:
            if (is(local, "v") || is(local, "t")) {
                inValue_ = false;
            } else if (is(local, "c")) {
                if (cellType_ == "s") {
                    char *end = nullptr;
                    unsigned long i = std::strtoul(cell_.c_str(), &end, 10);
                    if (end != cell_.c_str() && i < shared_.size()) Emit(shared_[i]);
                } else if (cellType_ == "inlineStr" || cellType_ == "str") {
                    Emit(cell_);
                }
                // Numbers and booleans carry no language.
                Break();
            }
            break;
        case PartKind::kOdf:
            if (!inBody_) break;
            if (is(local, "body"))
                inBody_ = false;
            else if (is(local, "p") || is(local, "h") || is(local, "table-cell") ||
                     is(local, "page") || is(local, "title") || is(local, "desc"))
                Break();  // a shape's title and description end lines too
            break;
        case PartKind::kXhtml:
            if (is(local, "body"))
                inBody_ = false;
            else if (inBody_ && xhtml_block(local))
                Break();
            break;
        case PartKind::kHwpx:
            HwpxEnd(reinterpret_cast<const char *>(local),
                    uri ? reinterpret_cast<const char *>(uri) : "");
            break;
        default:
            break;
    }
}

void OfficeExtractor::Characters(const xmlChar *text, int length) {
    if (skipDepth_ > 0 || length <= 0 || (package_ && dataDepth_ == 0)) return;
    std::string_view s(reinterpret_cast<const char *>(text), static_cast<size_t>(length));
    switch (kind_) {
        case PartKind::kDocx:
        case PartKind::kWordml:
            if (textDepth_ > 0) Emit(s);
            break;
        case PartKind::kPptx:
        case PartKind::kPptxNotes:
            if (textDepth_ > 0 && !shapeSkipped_) Emit(s);
            break;
        case PartKind::kXlsxShared:
        case PartKind::kXlsxSheet:
        case PartKind::kSpreadsheetml:
            if (inValue_ && cell_.size() < kMaxCellBytes)
                cell_.append(s.substr(0, kMaxCellBytes - cell_.size()));
            break;
        case PartKind::kOdf:
        case PartKind::kXhtml:
            if (inBody_) Emit(s);
            break;
        case PartKind::kHwpx:
            if (inBody_ && textDepth_ > 0) Emit(s);
            break;
        default:
            break;
    }
}

// Keeps one string of a shared string table. Past either bound later strings
// are dropped, and the cells that refer to them stay empty.
void OfficeExtractor::AddShared(std::string text) {
    sharedBytes_ += text.size();
    if (sharedBytes_ <= kMaxSharedBytes && shared_.size() < kMaxSharedStrings)
        shared_.push_back(std::move(text));
}

// Whether a record of an XLSB part is one Record reads; the others are
// passed over unread.
bool OfficeExtractor::Wants(uint32_t type) const {
    switch (kind_) {
        case PartKind::kXlsbShared:
            return type == dxf::xlsb::kSharedStringItem;
        case PartKind::kXlsbSheet:
            return dxf::xlsb::CellText(type);
        case PartKind::kXlsbOrder:
            return type == dxf::xlsb::kSheetBundle;
        default:
            return false;
    }
}

// One record of an XLSB part: the strings of the shared string table, each
// cell's string (its own, a formula's result or a shared one) on a line of
// its own as for XLSX, and the sheets of the workbook in its order. Numbers,
// booleans and errors carry no language. False once the sink is full.
bool OfficeExtractor::Record(uint32_t type, std::string_view body) {
    switch (kind_) {
        case PartKind::kXlsbShared:
            if (type == dxf::xlsb::kSharedStringItem)
                // A damaged item still takes its place: later numbers stay right.
                AddShared(dxf::XlsbSharedItem(body, kMaxCellBytes).value_or(std::string()));
            break;
        case PartKind::kXlsbSheet: {
            const dxf::XlsbCell cell = dxf::XlsbCellOf(type, body, kMaxCellBytes);
            if (cell.kind == dxf::XlsbCell::Kind::kText)
                Emit(cell.text);
            else if (cell.kind == dxf::XlsbCell::Kind::kShared && cell.shared < shared_.size())
                Emit(shared_[cell.shared]);
            if (cell.kind != dxf::XlsbCell::Kind::kNone) Break();
            break;
        }
        case PartKind::kXlsbOrder:
            if (type == dxf::xlsb::kSheetBundle && order_.size() < limits_.maxParts)
                order_.push_back(dxf::XlsbSheetRelationship(body));
            break;
        default:
            break;
    }
    return !full_;
}

// ---- parts ------------------------------------------------------------------------

bool OfficeExtractor::OpenPart(const Part &part, bool chain) {
    ClosePart();
    pieces_ = part.entries;
    piece_ = 0;
    if (flat_) {
        // A pass over a flat package finds the part by its name; the pass
        // that indexes the package looks for none.
        target_ = SIZE_MAX;
        if (package_ && part.kind != PartKind::kPackageIndex) {
            const auto at = PackagePart(part.name);
            if (!at) return false;
            target_ = *at + 1;
        }
        packageDepth_ = dataDepth_ = 0;
        packagePart_ = 0;
        packageRoot_ = inPackagePart_ = stopped_ = false;
        chain_ = chain;
        if (!flat_->seek(flat_, 0, DX_SEEK_SET)) return false;
    } else {
        file_ = pieces_.empty() ? open_entry(archive_->zip, part.name)
                                : zip_fopen_index(archive_->zip, pieces_[piece_++], 0);
        if (!file_) return false;
    }
    if (is_binary(part.kind))
        records_.emplace();
    else
        parser_ = dxf::NewElementPushParser(sax_start, sax_end, sax_characters, this);
    if (!Reading()) {
        ClosePart();
        return false;
    }
    kind_ = part.kind;
    partBytes_ = 0;
    ResetElements();
    partFailed_ = lineHasText_ = false;
    return true;
}

// Element state as at the start of a part.
void OfficeExtractor::ResetElements() {
    textDepth_ = skipDepth_ = depth_ = 0;
    inBody_ = inValue_ = inPhonetic_ = shapeSkipped_ = false;
    alternativeRead_.clear();
}

void OfficeExtractor::ClosePart() {
    records_.reset();
    if (parser_) {
        dxf::FreeElementPushParser(parser_);
        parser_ = nullptr;
    }
    if (file_) {
        zip_fclose(file_);
        file_ = nullptr;
    }
}

// The next bytes of the current member (or of the flat file): 0 at its end,
// -1 when it cannot be read.
zip_int64_t OfficeExtractor::Read(char *buffer, size_t size) {
    if (flat_) {
        const int got =
            flat_->read(flat_, buffer, static_cast<int>(std::min<size_t>(size, INT_MAX)));
        return got < 0 ? -1 : got;
    }
    zip_int64_t got = zip_fread(file_, buffer, size);
    // An interleaved part goes on in its next piece.
    while (got == 0 && piece_ < pieces_.size()) {
        zip_fclose(file_);
        file_ = zip_fopen_index(archive_->zip, pieces_[piece_++], 0);
        got = file_ ? zip_fread(file_, buffer, size) : -1;
    }
    return got;
}

// Feeds the parser one piece of the current member; false when it is done.
bool OfficeExtractor::PushPiece() {
    char buffer[kPushBytes];
    const zip_int64_t got = Read(buffer, sizeof buffer);
    if (got < 0) partFailed_ = true;
    if (got > 0) {
        partBytes_ += static_cast<uint64_t>(got);
        totalBytes_ += static_cast<uint64_t>(got);
    }
    // Past a bound the member simply ends: what it gave so far stands.
    bool last =
        got <= 0 || partBytes_ > limits_.maxPartBytes || totalBytes_ > limits_.maxTotalBytes;
    if (records_) {
        if (got > 0)
            records_->Push(
                {buffer, static_cast<size_t>(got)},
                [this](uint32_t type, std::string_view body) { return Record(type, body); },
                [this](uint32_t type) { return Wants(type); });
        if (last || full_) ClosePart();
        return !last && !full_;
    }
    int rc = xmlParseChunk(parser_, buffer, got > 0 ? static_cast<int>(got) : 0, last ? 1 : 0);
    if (last || stopped_ || (rc != 0 && parser_->disableSAX)) {
        ClosePart();
        return false;
    }
    return true;
}

// Whether the whole of a part inflates (up to the bound of one member).
bool OfficeExtractor::ReadsWhole(const Part &part) {
    if (part.entries.empty()) return false;
    uint64_t bytes = 0;
    char buffer[kPushBytes];
    for (zip_uint64_t entry : part.entries) {
        zip_file_t *f = zip_fopen_index(archive_->zip, entry, 0);
        if (!f) return false;
        zip_int64_t got;
        while ((got = zip_fread(f, buffer, sizeof buffer)) > 0 && bytes <= limits_.maxPartBytes)
            bytes += static_cast<uint64_t>(got);
        zip_fclose(f);
        if (got < 0) return false;
    }
    return true;
}

// The pages of an XPS package in document order: the root relationships
// name the fixed document sequence (or, when they do not, the first part
// named *.fdseq stands for it, or the usual first document alone), the
// sequence its documents, each document its pages. Part names are found
// without case and with percent escapes decoded, relative to the part
// that names them or absolute. The first page must inflate whole.
bool OfficeExtractor::PlanXps() {
    const XpsNames names(archive_->zip);
    auto part = [&](const std::string &key, PartKind kind) {
        return Part{key, kind, names.Entries(key)};
    };
    auto gather = [&](const Part &p) {
        xpsLinks_.clear();
        if (!p.entries.empty()) RunWhole(p);
        return std::move(xpsLinks_);
    };
    auto target = [](const std::string &dir, const std::string &link) {
        return link.starts_with("/") ? xps_key(resolve("", link.substr(1)))
                                     : xps_key(resolve(dir, link));
    };
    auto dirOf = [](const std::string &key) { return key.substr(0, key.rfind('/') + 1); };

    std::vector<std::string> documents;
    std::string sequence;
    if (auto root = gather(part("_rels/.rels", PartKind::kXpsRels)); !root.empty())
        sequence = target("", root.front());
    if (sequence.empty() || names.Entries(sequence).empty())
        sequence = names.FirstEndingIn(".fdseq");
    if (!sequence.empty()) {
        for (const auto &link : gather(part(sequence, PartKind::kXpsSeq)))
            documents.push_back(target(dirOf(sequence), link));
    } else {
        documents.push_back("documents/1/fixeddocument.fdoc");
    }
    for (const auto &document : documents) {
        if (parts_.size() >= limits_.maxParts || DXM_CpuNs() > limits_.deadlineNs) break;
        for (const auto &link : gather(part(document, PartKind::kXpsDoc))) {
            if (parts_.size() >= limits_.maxParts) break;
            parts_.push_back(part(target(dirOf(document), link), PartKind::kXpsPage));
        }
    }
    return !parts_.empty() && ReadsWhole(parts_.front());
}

// The sections of a Hangul package in the order of its spine: the items of
// `Contents/content.hpf` (a package document) that the spine names, each
// found as the package names them, from the package's root, or else
// relative to the package document's folder, and kept when its root is a
// section (the spine names the header part as well). Without a package
// document, or when its spine names no section, `Contents/section0.xml`,
// `section1.xml` ... in the order of their numbers. A package whose manifest
// gives a part encryption data is refused: its sections are encrypted.
bool OfficeExtractor::PlanHwpx() {
    zip_t *zip = archive_->zip;
    if (has_entry(zip, "META-INF/manifest.xml"))
        RunWhole({"META-INF/manifest.xml", PartKind::kHwpxMeta});
    if (encrypted_) return false;
    constexpr std::string_view kPackage = "Contents/content.hpf";
    std::vector<std::string> names;
    if (has_entry(zip, std::string(kPackage).c_str())) {
        RunWhole({std::string(kPackage), PartKind::kOpf});
        const std::string base(kPackage.substr(0, kPackage.rfind('/') + 1));
        for (const auto &id : spine_) {
            const auto it = manifest_.find(id);
            if (it == manifest_.end()) continue;
            std::string name = resolve("", it->second);
            if (!has_entry(zip, name.c_str())) name = resolve(base, it->second);
            if (std::ranges::find(names, name) == names.end() && has_entry(zip, name.c_str()))
                names.push_back(std::move(name));
        }
    }
    auto sections = [&](const std::vector<std::string> &candidates) {
        for (const auto &name : candidates) {
            if (parts_.size() >= limits_.maxParts || DXM_CpuNs() > limits_.deadlineNs) break;
            if (has_hwpml_root(zip, name, "sec", "section"))
                parts_.push_back({name, PartKind::kHwpx});
        }
    };
    sections(names);
    if (parts_.empty()) sections(numbered_members(zip, "Contents/section", ".xml"));
    return !parts_.empty();
}

bool OfficeExtractor::RunWhole(const Part &part) {
    if (!OpenPart(part)) return false;
    while (Reading() && DXM_CpuNs() < limits_.deadlineNs && PushPiece()) {
    }
    ClosePart();
    return true;
}

// The parts of a flat package, planned as a package's (Plan): an indexing
// pass finds its XML parts; the main part is the first whose content type
// is the package kind's (dxf::FormatFromMainPartType), or else the part of
// the usual name; slides and sheets follow the main part's order through
// its relationships, as in a package. The first part must be there.
bool OfficeExtractor::PlanPackage() {
    package_ = true;
    RunWhole({"", PartKind::kPackageIndex});
    for (size_t i = 0; i < packageParts_.size(); ++i)
        if (packageParts_[i].xml)
            packageIndex_.try_emplace(dxf::ascii_lowered(packageParts_[i].name), i);
    std::string main;
    for (const PackageEntry &part : packageParts_)
        if (part.xml && dxf::FormatFromMainPartType(part.type) == format_) {
            main = part.name;
            break;
        }
    auto folder = [&](std::string_view usual) {
        if (main.empty()) main = usual;
        return main.substr(0, main.rfind('/') + 1);
    };
    std::vector<std::string_view> names;
    for (const PackageEntry &part : packageParts_)
        if (part.xml) names.emplace_back(part.name);
    switch (format_) {
        case DX_FMT_DOCX:
            folder("word/document.xml");
            parts_.push_back({main, PartKind::kDocx});
            for (const char *notes : {"word/footnotes.xml", "word/endnotes.xml"})
                if (HasPart(notes)) parts_.push_back({notes, PartKind::kDocx});
            break;
        case DX_FMT_PPTX: {
            const std::string dir = folder("ppt/presentation.xml");
            auto slides = OrderedMembers(dir, main.substr(dir.size()));
            if (slides.empty()) slides = numbered_names(names, dir + "slides/slide", ".xml");
            AddSlides(slides);
            break;
        }
        case DX_FMT_XLSX: {
            const std::string dir = folder("xl/workbook.xml");
            if (HasPart(dir + "sharedStrings.xml"))
                parts_.push_back({dir + "sharedStrings.xml", PartKind::kXlsxShared});
            auto sheets = OrderedMembers(dir, main.substr(dir.size()));
            if (sheets.empty()) sheets = numbered_names(names, dir + "worksheets/sheet", ".xml");
            for (auto &name : sheets) parts_.push_back({name, PartKind::kXlsxSheet});
            break;
        }
        default:
            return false;
    }
    if (parts_.size() > limits_.maxParts) parts_.resize(limits_.maxParts);
    // A presentation without slides or a workbook without sheets opens as
    // an empty text, as in a package.
    return HasPart(parts_.empty() ? main : parts_.front().name);
}

bool OfficeExtractor::Plan() {
    if (flat_) {
        if (format_ == DX_FMT_DOCX || format_ == DX_FMT_PPTX || format_ == DX_FMT_XLSX)
            return PlanPackage();
        // A flat file opens when it can be read; what it holds decides the text.
        parts_.push_back({"", format_ == DX_FMT_WORDML          ? PartKind::kWordml
                              : format_ == DX_FMT_SPREADSHEETML ? PartKind::kSpreadsheetml
                                                                : PartKind::kOdf});
        char byte;
        return flat_->seek(flat_, 0, DX_SEEK_SET) && flat_->read(flat_, &byte, 1) == 1;
    }
    zip_t *zip = archive_->zip;
    // The part that must be readable for the document to open: the first to
    // read, or, in a presentation without slides or a workbook without
    // sheets, the presentation or workbook itself (such a document opens
    // as an empty text, as a word processor document without text does).
    std::string first;
    switch (format_) {
        case DX_FMT_DOCX:
            parts_.push_back({has_entry(zip, "word/document.xml") ? "word/document.xml"
                                                                  : renamed_document_part(zip),
                              PartKind::kDocx});
            // The notes follow the main text, as in Word 97-2003 documents.
            for (const char *notes : {"word/footnotes.xml", "word/endnotes.xml"})
                if (has_entry(zip, notes)) parts_.push_back({notes, PartKind::kDocx});
            break;
        case DX_FMT_PPTX: {
            auto slides = OrderedMembers("ppt/", "presentation.xml");
            if (slides.empty()) slides = numbered_members(zip, "ppt/slides/slide", ".xml");
            AddSlides(slides);
            if (parts_.empty()) first = "ppt/presentation.xml";
            break;
        }
        case DX_FMT_XLSX: {
            // A binary workbook (XLSB) has the same parts as records.
            const bool binary =
                !has_entry(zip, "xl/workbook.xml") && has_entry(zip, "xl/workbook.bin");
            const std::string ext = binary ? ".bin" : ".xml";
            if (has_entry(zip, ("xl/sharedStrings" + ext).c_str()))
                parts_.push_back({"xl/sharedStrings" + ext,
                                  binary ? PartKind::kXlsbShared : PartKind::kXlsxShared});
            auto sheets = OrderedMembers("xl/", "workbook" + ext);
            if (sheets.empty()) sheets = numbered_members(zip, "xl/worksheets/sheet", ext);
            for (auto &name : sheets)
                parts_.push_back({name, binary ? PartKind::kXlsbSheet : PartKind::kXlsxSheet});
            if (parts_.empty()) first = "xl/workbook" + ext;
            break;
        }
        case DX_FMT_ODT:
        case DX_FMT_ODS:
        case DX_FMT_ODP:
        case DX_FMT_ODG:
            parts_.push_back({package_folder(zip) + "content.xml", PartKind::kOdf});
            break;
        case DX_FMT_EPUB: {
            // Paths resolve inside the package; its folder comes before them.
            const std::string folder = package_folder(zip);
            RunWhole({folder + "META-INF/container.xml", PartKind::kContainer});
            if (packageFile_.empty() && rootFile_.empty()) return false;
            std::string opf = resolve("", packageFile_.empty() ? rootFile_ : packageFile_);
            RunWhole({folder + opf, PartKind::kOpf});
            std::string base = opf.substr(0, opf.rfind('/') + 1);
            for (const auto &id : spine_) {
                auto it = manifest_.find(id);
                if (it != manifest_.end())
                    parts_.push_back({folder + resolve(base, it->second), PartKind::kXhtml});
            }
            break;
        }
        case DX_FMT_XPS:
            return PlanXps();
        case DX_FMT_HWPX:
            if (!PlanHwpx()) return false;
            break;
        default:
            return false;
    }
    if (parts_.size() > limits_.maxParts) parts_.resize(limits_.maxParts);
    if (!parts_.empty()) first = parts_.front().name;
    if (first.empty()) return false;
    // The first member must be readable: a damaged or encrypted archive
    // fails here rather than yielding an empty text.
    zip_file_t *probe = open_entry(zip, first);
    if (!probe) return false;
    char byte;
    zip_int64_t got = zip_fread(probe, &byte, 1);
    zip_fclose(probe);
    return got == 1;
}

int OfficeExtractor::Step(DXMSink *sink) {
    sink_ = sink;
    if (full_ || DXM_CpuNs() > limits_.deadlineNs) return 0;
    if (!Reading()) {
        if (next_ >= parts_.size()) return 0;
        const Part &part = parts_[next_++];
        // A page of an XPS package that cannot be read ends its text.
        if (!OpenPart(part, package_)) return next_ == 1 ? -1 : format_ == DX_FMT_XPS ? 0 : 1;
        // Each slide, sheet, chapter and page ends a line of its own.
        Break();
    }
    PushPiece();
    if (partFailed_ && format_ == DX_FMT_XPS) return 0;
    return full_ ? 0 : 1;
}

// ---- the module table -----------------------------------------------------------------

// Whether a document of `format` is a flat file: a Word or Excel 2003 XML
// document; a flat OpenDocument file, an ODF kind whose bytes do not open
// as a zip archive does; a flat package, a DOCX, PPTX or XLSX whose bytes do
// not open as a zip archive does and whose head identifies as that kind's
// flat package (dxf::SniffHead).
bool is_flat(DXStream *stream, int64_t size, int format) {
    if (format == DX_FMT_WORDML || format == DX_FMT_SPREADSHEETML) return true;
    const bool odf = format == DX_FMT_ODT || format == DX_FMT_ODS || format == DX_FMT_ODP ||
                     format == DX_FMT_ODG;
    const bool ooxml = format == DX_FMT_DOCX || format == DX_FMT_PPTX || format == DX_FMT_XLSX;
    if (!odf && !ooxml) return false;
    std::string head(odf ? 4 : dxf::kSniffBytes, '\0');
    if (!stream->seek(stream, 0, DX_SEEK_SET)) return false;
    size_t done = 0;
    for (int got = 1; done < head.size() && got > 0; done += static_cast<size_t>(got)) {
        got = stream->read(stream, head.data() + done, static_cast<int>(head.size() - done));
        if (got < 0) return false;
    }
    head.resize(std::max<size_t>(done, 4));
    const std::string_view h(head.data(), 4);
    if (h == std::string_view("PK\x03\x04", 4) || h == std::string_view("PK\x05\x06", 4))
        return false;
    if (odf) return true;
    const auto r = dxf::SniffHead({reinterpret_cast<const unsigned char *>(head.data()), done},
                                  static_cast<uint64_t>(size));
    return r.next == dxf::SniffNext::kDone && r.format == format;
}

DXMExtractor *module_open(DXStream *stream, int64_t size, int format, const DXMLimits *limits) {
    try {
        if (!stream || !limits) return nullptr;
        if (is_flat(stream, size, format)) {
            auto ex = std::make_unique<OfficeExtractor>(stream, format, *limits);
            if (!ex->Plan()) return nullptr;
            return reinterpret_cast<DXMExtractor *>(ex.release());
        }
        auto archive = open_archive(stream, size);
        if (!archive) return nullptr;
        auto ex = std::make_unique<OfficeExtractor>(std::move(archive), format, *limits);
        if (!ex->Plan()) return nullptr;
        return reinterpret_cast<DXMExtractor *>(ex.release());
    } catch (...) {
        return nullptr;
    }
}

int module_step(DXMExtractor *extractor, DXMSink *sink) {
    try {
        return reinterpret_cast<OfficeExtractor *>(extractor)->Step(sink);
    } catch (...) {
        return -1;
    }
}

void module_close(DXMExtractor *extractor) {
    delete reinterpret_cast<OfficeExtractor *>(extractor);
}

int module_probe_path(const char *path) {
    try {
        return probe_path(path);
    } catch (...) {
        return DX_FMT_UNKNOWN;
    }
}

int module_probe_stream(DXStream *stream, int64_t size) {
    try {
        return probe_stream(stream, size);
    } catch (...) {
        return DX_FMT_UNKNOWN;
    }
}

constexpr DXModule kModule = {DXM_ABI_VERSION, module_probe_path, module_probe_stream,
                              module_open,     module_step,       module_close};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DXModule *DXM_GetModule(void) {
    return &kModule;
}
