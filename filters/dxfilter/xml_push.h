// xml_push.h - the one way the filter's readers parse XML with libxml2.
#ifndef GLOTTA_FILTERS_DXFILTER_XML_PUSH_H
#define GLOTTA_FILTERS_DXFILTER_XML_PUSH_H

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace dxf {

namespace xml_push_detail {
inline void silent_structured(void *, xmlErrorPtr) {}
inline void silent_generic(void *, const char *, ...) {}
}  // namespace xml_push_detail

// A push parser (fed with xmlParseChunk) that reports to `ctx` only the
// start and end of elements and character data, CDATA sections included.
// Without entity declaration and lookup handlers no entity is ever stored or
// expanded; nothing is fetched from the network; errors are recovered from
// and never printed (libxml2's global error handlers are silenced as well).
// No file name is given, so the parser never looks up the working directory
// to resolve relative references. Null when memory runs out; release it
// with FreeElementPushParser.
inline xmlParserCtxtPtr NewElementPushParser(startElementNsSAX2Func start, endElementNsSAX2Func end,
                                             charactersSAXFunc characters, void *ctx) {
    xmlSetStructuredErrorFunc(nullptr, xml_push_detail::silent_structured);
    xmlSetGenericErrorFunc(nullptr, xml_push_detail::silent_generic);
    xmlSAXHandler handler;  // copied by the parser
    std::memset(&handler, 0, sizeof handler);
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = start;
    handler.endElementNs = end;
    handler.characters = characters;
    handler.cdataBlock = characters;
    handler.serror = xml_push_detail::silent_structured;
    xmlParserCtxtPtr parser = xmlCreatePushParserCtxt(&handler, ctx, nullptr, 0, nullptr);
    if (parser)
        xmlCtxtUseOptions(parser, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING |
                                      XML_PARSE_RECOVER | XML_PARSE_NOCDATA);
    return parser;
}

// Releases a parser of NewElementPushParser and any document it holds.
inline void FreeElementPushParser(xmlParserCtxtPtr parser) {
    if (!parser) return;
    if (parser->myDoc) xmlFreeDoc(parser->myDoc);
    xmlFreeParserCtxt(parser);
}

// Reads a whole document held in memory into `reader`, 64 KiB a piece,
// through a parser of NewElementPushParser. The reader has
//   void Start(std::string_view localName, const xmlChar **attributes, int count)
//     (the attributes as libxml2's SAX2 gives them: name, prefix, URI, value,
//     end of value, for each), or instead
//   void Start(std::string_view localName, std::string_view uri,
//              const xmlChar **attributes, int count)
//     (and the element's namespace, empty for none),
//   void End(), void Characters(std::string_view utf8),
//   bool full() (it has what it needs), bool root() (its root element was
//   seen), and void Finish() (the document ended, however), or instead
//   void Finish(bool wellFormed) (and whether the parser met no error in
//   what it was fed).
// The piece before which `full()` or `timeUp()` holds is the last one: the
// parser ends the document there. Feeding stops without ending it once a
// piece has been fed and the reader has not seen its root element, or once
// the parser stopped on an error it does not recover from. False when no
// parser could be made.
template <typename Reader, typename TimeUp>
bool ReadElements(std::string_view bytes, Reader &reader, TimeUp timeUp) {
    const startElementNsSAX2Func start = [](void *ctx, const xmlChar *local, const xmlChar *,
                                            const xmlChar *uri, int, const xmlChar **, int count,
                                            int, const xmlChar **attributes) {
        Reader &reader = *static_cast<Reader *>(ctx);
        const std::string_view name = reinterpret_cast<const char *>(local);
        if constexpr (requires { reader.Start(name, name, attributes, count); })
            reader.Start(name, uri ? reinterpret_cast<const char *>(uri) : "", attributes, count);
        else
            reader.Start(name, attributes, count);
    };
    const endElementNsSAX2Func end = [](void *ctx, const xmlChar *, const xmlChar *,
                                        const xmlChar *) { static_cast<Reader *>(ctx)->End(); };
    const charactersSAXFunc characters = [](void *ctx, const xmlChar *text, int length) {
        static_cast<Reader *>(ctx)->Characters(
            std::string_view(reinterpret_cast<const char *>(text), static_cast<size_t>(length)));
    };
    xmlParserCtxtPtr parser = NewElementPushParser(start, end, characters, &reader);
    if (!parser) return false;
    constexpr size_t kPiece = 64 * 1024;
    for (size_t at = 0;;) {
        const size_t n = std::min(kPiece, bytes.size() - at);
        const bool last = at + n == bytes.size() || reader.full() || timeUp();
        const int rc = xmlParseChunk(parser, bytes.data() + at, static_cast<int>(n), last ? 1 : 0);
        at += n;
        if (last || (rc != 0 && parser->disableSAX) || (at > 0 && !reader.root())) break;
    }
    const bool wellFormed = parser->wellFormed != 0;
    FreeElementPushParser(parser);
    if constexpr (requires { reader.Finish(wellFormed); })
        reader.Finish(wellFormed);
    else
        reader.Finish();
    return true;
}

}  // namespace dxf

#endif
