// VdXmlParser: builds a request document (VdXmlDoc) from XML text, one parser per request.
//
// The reader is Xerces-C's SAX2 reader, without validation or namespace processing, so
// names arrive as written. It lives in the SAX module (vd_xml_sax_module.h), loaded on the
// first parse of the process. A document is refused, with a VdXmlParseException whose
// message says why, when it is not well-formed or not UTF-8 as it declares, carries a
// DOCTYPE ("DTDs not supported"), is larger than MAX_DOCUMENT_BYTES, nests deeper than
// MAX_DEPTH, or holds a name or text the server's character set cannot represent.
#ifndef XMLPROTO_XML_VD_XML_PARSER_H
#define XMLPROTO_XML_VD_XML_PARSER_H

#include <cstddef>

#include "core/sum/sum_string.h"
#include "xmlproto/xml/vd_auto_ptr.h"
#include "xmlproto/xml/vd_xml_doc.h"

// A request text the parser refused; the message is in the server's character set.
class VdXmlParseException {
public:
    explicit VdXmlParseException(const SUM_String& message) : message_(message) {}
    const SUM_String& get_message() const { return message_; }

private:
    SUM_String message_;
};

class VdXmlParser {
public:
    // A request document is a few elements per resource of one request: 4 MiB holds
    // tens of thousands of them, and bounds what one request makes the parser allocate.
    static constexpr size_t MAX_DOCUMENT_BYTES = 4u << 20;
    static constexpr int MAX_DEPTH = 256;

    VdXmlParser();
    ~VdXmlParser();
    VdXmlParser(const VdXmlParser&) = delete;
    VdXmlParser& operator=(const VdXmlParser&) = delete;

    // Each returns the parser's own holder of the document; the caller releases the
    // document from it and owns it. Throws VdXmlParseException.
    VdAutoPtr<VdXmlDoc>& parse_string(const char* text);
    VdAutoPtr<VdXmlDoc>& parse_string(const char* text, size_t length);
    VdAutoPtr<VdXmlDoc>& parse_file(const char* path);
    VdAutoPtr<VdXmlDoc>& parse_stdin();

    // Whether the SAX module can be loaded (it is loaded once per process).
    static bool module_available();

private:
    struct Source;
    VdAutoPtr<VdXmlDoc>& parse_impl(const Source& source);

    VdAutoPtr<VdXmlDoc> doc_;
};

#endif
