// The interface between libvdweb and its SAX module, the one shared object that links
// Xerces-C. Xerces and the libraries it pulls in are loaded only by a request that parses
// XML (the first VdXmlParser of the process dlopens the module), so every other request
// starts without them.
//
// Only C types cross this interface: the module may bring its own C++ runtime, so neither
// objects nor exceptions pass between the two sides. The module reports the document as
// events with UTF-16 names and text; an event handler that returns non-zero ends the parse.
#ifndef XMLPROTO_XML_VD_XML_SAX_MODULE_H
#define XMLPROTO_XML_VD_XML_SAX_MODULE_H

#include <cstddef>

extern "C" {

// Where the document comes from.
enum vdxml_source_t { VDXML_SOURCE_MEMORY = 0, VDXML_SOURCE_FILE = 1, VDXML_SOURCE_STDIN = 2 };

// How a parse ended.
enum vdxml_result_t {
    VDXML_OK = 0,
    VDXML_PARSE_ERROR = 1,  // not well-formed, a DOCTYPE, a limit: the message says which
    VDXML_STOPPED = 2,      // an event handler returned non-zero
    VDXML_FAILED = 3,       // the parser could not be set up or run
};

// Kinds of `report`: diagnostics the parse continues after.
enum vdxml_report_t { VDXML_WARNING = 0, VDXML_ERROR = 1, VDXML_PROCESSING_INSTRUCTION = 2 };

struct vdxml_events_t {
    void* ctx;
    int (*start_document)(void* ctx);
    // `count` attributes: qualified names and values, in document order.
    int (*start_element)(void* ctx, const char16_t* qname, size_t count,
                         const char16_t* const* names, const char16_t* const* values);
    int (*characters)(void* ctx, const char16_t* text, size_t length);
    int (*end_element)(void* ctx, const char16_t* qname);
    int (*end_document)(void* ctx);
    void (*report)(void* ctx, int kind, long line, long column, const char16_t* message);
};

struct vdxml_input_t {
    int source;            // vdxml_source_t
    const char* data;      // VDXML_SOURCE_MEMORY: the document's bytes
    size_t length;         //   and their number
    const char16_t* path;  // VDXML_SOURCE_FILE: the file, zero-terminated UTF-16
};

// Parses without validation or namespace processing; a DOCTYPE fails with "DTDs not
// supported", external entities resolve to nothing, entity expansion is bounded. On
// VDXML_PARSE_ERROR and VDXML_FAILED `message` (zero-terminated, truncated to `size`
// units) says why. `errors` receives the number of (non-fatal) errors reported.
typedef int (*vdxml_parse_fn)(const vdxml_input_t* input, const vdxml_events_t* events,
                              char16_t* message, size_t size, int* errors);

int vdxml_sax_parse(const vdxml_input_t* input, const vdxml_events_t* events, char16_t* message,
                    size_t size, int* errors);
}

#endif
