// The Xerces-side classes of the SAX module: the handler that forwards the reader's events
// through the module's C interface, and the two guards that keep documents from reaching
// anything outside themselves. Included only by the module's own source.
#ifndef XMLPROTO_XML_VD_XML_SAX_H
#define XMLPROTO_XML_VD_XML_SAX_H

#include <xercesc/sax/DTDHandler.hpp>
#include <xercesc/sax/EntityResolver.hpp>
#include <xercesc/sax/InputSource.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>

#include "xmlproto/xml/vd_xml_sax_module.h"

// Every external entity resolves to an empty in-memory input ("fakeId"): no file or
// network resource is ever read.
class VdXmlNoExternalEntities : public XERCES_CPP_NAMESPACE::EntityResolver {
public:
    XERCES_CPP_NAMESPACE::InputSource* resolveEntity(const XMLCh* const public_id,
                                                     const XMLCh* const system_id) override;
};

// Notation and unparsed-entity declarations end the parse with "DTDs not supported".
class VdXmlNoDTDs : public XERCES_CPP_NAMESPACE::DTDHandler {
public:
    void notationDecl(const XMLCh* const name, const XMLCh* const public_id,
                      const XMLCh* const system_id) override;
    void unparsedEntityDecl(const XMLCh* const name, const XMLCh* const public_id,
                            const XMLCh* const system_id,
                            const XMLCh* const notation_name) override;
    void resetDocType() override;
};

// Content, error and lexical handler: forwards to the module's event table; a handler
// that returns non-zero stops the parse. A DOCTYPE ends it with "DTDs not supported".
class VdSaxHandler : public XERCES_CPP_NAMESPACE::DefaultHandler {
public:
    explicit VdSaxHandler(const vdxml_events_t* events);

    void setDocumentLocator(const XERCES_CPP_NAMESPACE::Locator* const locator) override;
    void startDocument() override;
    void endDocument() override;
    void startElement(const XMLCh* const uri, const XMLCh* const localname,
                      const XMLCh* const qname,
                      const XERCES_CPP_NAMESPACE::Attributes& attrs) override;
    void endElement(const XMLCh* const uri, const XMLCh* const localname,
                    const XMLCh* const qname) override;
    void characters(const XMLCh* const chars, const XMLSize_t length) override;
    void ignorableWhitespace(const XMLCh* const chars, const XMLSize_t length) override;
    void processingInstruction(const XMLCh* const target, const XMLCh* const data) override;
    void warning(const XERCES_CPP_NAMESPACE::SAXParseException& e) override;
    void error(const XERCES_CPP_NAMESPACE::SAXParseException& e) override;
    void fatalError(const XERCES_CPP_NAMESPACE::SAXParseException& e) override;
    void startDTD(const XMLCh* const name, const XMLCh* const public_id,
                  const XMLCh* const system_id) override;

    bool stopped() const { return stopped_; }
    int errors() const { return errors_; }

private:
    // Stops the parse (as a parse exception at the current place) when `rc` is non-zero.
    void check(int rc);

    const vdxml_events_t* events_;
    const XERCES_CPP_NAMESPACE::Locator* locator_ = nullptr;
    bool stopped_ = false;
    int errors_ = 0;
};

#endif
