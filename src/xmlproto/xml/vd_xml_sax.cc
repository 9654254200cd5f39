// The SAX module: Xerces-C's SAX2 reader behind the C interface of vd_xml_sax_module.h.
// This file and vd_xml_sax.h are the only ones that include Xerces headers.
//
// Hostile documents: a DOCTYPE ends the parse as soon as it begins ("DTDs not supported"),
// so no entity can be declared and no external subset is read; any external entity that
// could still be asked for resolves to an empty input; Xerces' security manager bounds
// entity expansion. The size and depth of a document are bounded by the caller.
#include "xmlproto/xml/vd_xml_sax.h"

#include <memory>
#include <mutex>
#include <vector>
#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

XERCES_CPP_NAMESPACE_USE

static_assert(sizeof(XMLCh) == sizeof(char16_t), "Xerces' XMLCh is UTF-16");

namespace {

// Entity references expanded per document at most (Xerces counts them).
constexpr XMLSize_t kEntityExpansionLimit = 100;

const XMLCh* x(const char16_t* s) {
    return reinterpret_cast<const XMLCh*>(s);
}
const char16_t* u(const XMLCh* s) {
    return reinterpret_cast<const char16_t*>(s);
}

const XMLCh kFakeId[] = u"fakeId";
const XMLCh kStdinId[] = u"stdin";
const XMLCh kNoDtds[] = u"DTDs not supported";
const XMLCh kEmptySystemId[] = u"empty-system-id";
const XMLCh kEmptyPublicId[] = u"empty-public-id";
const XMLCh kStopped[] = u"Parse stopped by its handler";

void copy_message(const XMLCh* text, char16_t* out, size_t size) {
    if (!out || size == 0) return;
    size_t n = 0;
    for (; text && text[n] && n + 1 < size; ++n) out[n] = text[n];
    out[n] = 0;
}

[[noreturn]] void throw_no_dtds() {
    throw SAXParseException(kNoDtds, kEmptySystemId, kEmptyPublicId, 0, 0);
}

}  // namespace

InputSource* VdXmlNoExternalEntities::resolveEntity(const XMLCh* const, const XMLCh* const) {
    static const XMLByte kNothing[] = {0};
    return new MemBufInputSource(kNothing, 0, kFakeId, false);
}

void VdXmlNoDTDs::notationDecl(const XMLCh* const, const XMLCh* const, const XMLCh* const) {
    throw_no_dtds();
}

void VdXmlNoDTDs::unparsedEntityDecl(const XMLCh* const, const XMLCh* const, const XMLCh* const,
                                     const XMLCh* const) {
    throw_no_dtds();
}

void VdXmlNoDTDs::resetDocType() {
    // The reader calls this when it meets a DOCTYPE, with or without declarations.
    throw_no_dtds();
}

VdSaxHandler::VdSaxHandler(const vdxml_events_t* events) : events_(events) {}

void VdSaxHandler::setDocumentLocator(const Locator* const locator) {
    locator_ = locator;
}

void VdSaxHandler::check(int rc) {
    if (rc == 0) return;
    stopped_ = true;
    const long line = locator_ ? static_cast<long>(locator_->getLineNumber()) : 0;
    const long column = locator_ ? static_cast<long>(locator_->getColumnNumber()) : 0;
    throw SAXParseException(kStopped, kFakeId, kFakeId, line, column);
}

void VdSaxHandler::startDocument() {
    check(events_->start_document(events_->ctx));
}

void VdSaxHandler::endDocument() {
    check(events_->end_document(events_->ctx));
}

void VdSaxHandler::startElement(const XMLCh* const, const XMLCh* const, const XMLCh* const qname,
                                const Attributes& attrs) {
    const XMLSize_t n = attrs.getLength();
    std::vector<const char16_t*> names(n), values(n);
    for (XMLSize_t i = 0; i < n; ++i) {
        names[i] = u(attrs.getQName(i));
        values[i] = u(attrs.getValue(i));
    }
    check(events_->start_element(events_->ctx, u(qname), n, names.data(), values.data()));
}

void VdSaxHandler::endElement(const XMLCh* const, const XMLCh* const, const XMLCh* const qname) {
    check(events_->end_element(events_->ctx, u(qname)));
}

void VdSaxHandler::characters(const XMLCh* const chars, const XMLSize_t length) {
    check(events_->characters(events_->ctx, u(chars), length));
}

void VdSaxHandler::ignorableWhitespace(const XMLCh* const, const XMLSize_t) {}

void VdSaxHandler::processingInstruction(const XMLCh* const, const XMLCh* const) {
    events_->report(events_->ctx, VDXML_PROCESSING_INSTRUCTION, 0, 0, nullptr);
}

void VdSaxHandler::warning(const SAXParseException& e) {
    events_->report(events_->ctx, VDXML_WARNING, static_cast<long>(e.getLineNumber()),
                    static_cast<long>(e.getColumnNumber()), u(e.getMessage()));
}

void VdSaxHandler::error(const SAXParseException& e) {
    ++errors_;
    events_->report(events_->ctx, VDXML_ERROR, static_cast<long>(e.getLineNumber()),
                    static_cast<long>(e.getColumnNumber()), u(e.getMessage()));
}

void VdSaxHandler::fatalError(const SAXParseException& e) {
    throw e;
}

void VdSaxHandler::startDTD(const XMLCh* const, const XMLCh* const, const XMLCh* const) {
    throw_no_dtds();
}

extern "C" int vdxml_sax_parse(const vdxml_input_t* input, const vdxml_events_t* events,
                               char16_t* message, size_t size, int* errors) {
    if (errors) *errors = 0;
    copy_message(nullptr, message, size);
    static std::once_flag once;
    static bool initialized = false;
    std::call_once(once, [] {
        try {
            XMLPlatformUtils::Initialize(XMLUni::fgXercescDefaultLocale);
            initialized = true;
        } catch (const XMLException&) {
        }
    });
    if (!initialized) {
        copy_message(u"XML parser library could not be initialised", message, size);
        return VDXML_FAILED;
    }
    VdSaxHandler handler(events);
    VdXmlNoExternalEntities no_entities;
    VdXmlNoDTDs no_dtds;
    SecurityManager security;
    security.setEntityExpansionLimit(kEntityExpansionLimit);
    try {
        std::unique_ptr<SAX2XMLReader> reader(
            XMLReaderFactory::createXMLReader(XMLPlatformUtils::fgMemoryManager));
        reader->setFeature(XMLUni::fgSAX2CoreValidation, false);
        reader->setFeature(XMLUni::fgSAX2CoreNameSpaces, false);
        reader->setFeature(XMLUni::fgXercesSchema, false);
        reader->setFeature(XMLUni::fgXercesSchemaFullChecking, false);
        reader->setFeature(XMLUni::fgSAX2CoreNameSpacePrefixes, false);
        reader->setFeature(XMLUni::fgXercesLoadExternalDTD, false);
        reader->setFeature(XMLUni::fgXercesDisableDefaultEntityResolution, true);
        reader->setProperty(XMLUni::fgXercesSecurityManager, &security);
        reader->setEntityResolver(&no_entities);
        reader->setDTDHandler(&no_dtds);
        reader->setContentHandler(&handler);
        reader->setErrorHandler(&handler);
        reader->setLexicalHandler(&handler);
        switch (input->source) {
            case VDXML_SOURCE_FILE: {
                LocalFileInputSource source(x(input->path));
                reader->parse(source);
                break;
            }
            default: {
                MemBufInputSource source(
                    reinterpret_cast<const XMLByte*>(input->data), input->length,
                    input->source == VDXML_SOURCE_STDIN ? kStdinId : kFakeId, false);
                reader->parse(source);
                break;
            }
        }
        if (errors) *errors = static_cast<int>(reader->getErrorCount());
        return VDXML_OK;
    } catch (const SAXParseException& e) {
        if (handler.stopped()) return VDXML_STOPPED;
        copy_message(e.getMessage(), message, size);
        return VDXML_PARSE_ERROR;
    } catch (const XMLException& e) {
        if (handler.stopped()) return VDXML_STOPPED;
        copy_message(e.getMessage(), message, size);
        return VDXML_PARSE_ERROR;
    } catch (const OutOfMemoryException&) {
        copy_message(u"XML parser: out of memory", message, size);
        return VDXML_FAILED;
    } catch (...) {
        copy_message(u"XML parser: unexpected failure", message, size);
        return VDXML_FAILED;
    }
}
