// xml_push.h - the one way the filter's readers parse XML with libxml2.
#ifndef GLOTTA_FILTERS_DXFILTER_XML_PUSH_H
#define GLOTTA_FILTERS_DXFILTER_XML_PUSH_H

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cstring>

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

}  // namespace dxf

#endif
